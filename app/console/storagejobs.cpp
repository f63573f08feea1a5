#include "storagejobs.h"

#include "LumoSRecord/LumoSRecord.h"

int RunBlockJob(KestoBlockJob* job, int timeoutMs) {
    if (!job) return -1;
    // A fresh list: the one the block model shows is not touched off the GUI thread.
    job->blocks = IVantelList::CreateObject();
    const auto query = EngineAccess::Current().blockInfo;
    const char* url = job->url.isEmpty() ? nullptr : job->url.constData();
    job->rc = query ? query(url, job->diskId, 0, &job->blocks, timeoutMs) : LUMOSR_ERR_FAIL;
    if (job->rc != 0) job->why = EngineAccess::LastFailure();  // this thread's, right after the call
    return job->rc == 0 ? 0 : -1;
}

int RunFormatJob(KestoFormatJob* job, int count, int timeoutMs) {
    if (!job || job->diskIds.isEmpty()) return -1;
    const char* url = job->url.isEmpty() ? nullptr : job->url.constData();
    const int n = count < 0 ? job->diskIds.size() : qMin(count, job->diskIds.size());
    bool ok = true;
    for (int i = 0; i < n; ++i) {
        EngineAccess::Failure why;
        const int rc = EngineAccess::FormatDisk(job->diskIds.at(i), timeoutMs, &why, url);
        job->results << rc;
        job->failures << why;
        ok = ok && rc == 0;
    }
    return ok ? 0 : -1;
}
