#include "storagejobs.h"

#include "LumoSRecord/LumoSRecord.h"

namespace {

const char* urlOf(const QByteArray& url) {
    return url.isEmpty() ? nullptr : url.constData();
}

}  // namespace

int RunBlockJob(StorageBlockJob* job, int timeoutMs) {
    if (!job) return -1;
    // A fresh list: the one the block model shows is not touched off the GUI thread.
    job->blocks = IVantelList::CreateObject();
    const auto query = EngineAccess::Current().blockInfo;
    job->rc = query ? query(urlOf(job->url), job->diskId, 0, &job->blocks, timeoutMs) : LUMOSR_ERR_FAIL;
    if (job->rc != 0) job->why = EngineAccess::LastFailure();  // this thread's, right after the call
    return job->rc == 0 ? 0 : -1;
}

int RunFormatJob(StorageFormatJob* job, int count, int timeoutMs) {
    if (!job || job->diskIds.isEmpty()) return -1;
    const int n = count < 0 ? job->diskIds.size() : qMin(count, job->diskIds.size());
    bool ok = true;
    for (int i = 0; i < n; ++i) {
        EngineAccess::Failure why;
        const int rc = EngineAccess::FormatDisk(job->diskIds.at(i), timeoutMs, &why, urlOf(job->url));
        job->results << rc;
        job->failures << why;
        ok = ok && rc == 0;
    }
    return ok ? 0 : -1;
}

void RunDiskQuery(StorageDiskQuery* job, int timeoutMs) {
    const auto query = EngineAccess::Current().diskInfo;
    job->rc = query ? query(urlOf(job->url), 0, &job->disks, timeoutMs) : LUMOSR_ERR_FAIL;
    if (job->rc == 0) return;
    job->why = EngineAccess::LastFailure();
    // A failed read shows nothing of what it may have left in the list.
    if (job->disks) job->disks->Release();
    job->disks = nullptr;
}

void RunChannelQuery(StorageChannelQuery* job, int timeoutMs) {
    const EngineAccess::Calls calls = EngineAccess::Current();
    const char* url = urlOf(job->url);
    job->chnRc = calls.chanInfo ? calls.chanInfo(url, 0, &job->channels, timeoutMs) : LUMOSR_ERR_FAIL;
    if (job->chnRc != 0) {
        job->chnWhy = EngineAccess::LastFailure();
        if (job->channels) job->channels->Release();
        job->channels = nullptr;
    }
    job->cuidRc = calls.cuidInfo ? calls.cuidInfo(url, 0, &job->cuids, timeoutMs) : LUMOSR_ERR_FAIL;
    if (job->cuidRc != 0) {
        job->cuidWhy = EngineAccess::LastFailure();
        if (job->cuids) job->cuids->Release();
        job->cuids = nullptr;
    }
}

void FillSearchParam(const StorageSearchJob& job, ILumoFSSearchParam* param) {
    param->SetTimeS(job.start);
    param->SetTimeE(job.end);
    param->SetChannelMask(job.stream, ~0ULL);  // channels 1 to 64
    param->SetMediaType(1);
    param->SetRecordType(0xDF);
    param->SetStreamType(job.stream);
    if (!job.cuid.isEmpty()) param->AddCUID(job.cuid.constData());
}
