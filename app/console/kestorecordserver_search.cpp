// The record search of the recording console: the media library's "lumofs" search over the
// engine in this process, run by the storage pages' search worker.
#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoSRecord/LumoSRecord.h"
#include "kestorecordserver.h"
#include "storagejobs.h"

namespace {

// The record search of the local engine: lumofs://localhost/media.
std::string searchAddress() {
    LumoRecordAddress address(LumoRecordAddress::SCHEME_LUMOFS, "localhost");
    address.SetResource("media");
    return address.Build();
}
const int kSearchBatch = 256;

}  // namespace

// Batches until the media library has no more; a failing batch ends the search, keeping what was
// found (job->nextRc says so); a search that cannot be opened sets job->rc.
void KestoRecordServer::SearchRecordFiles(StorageSearchJob* job) {
    ILumoFSSearchParam param(1);
    FillSearchParam(*job, &param);
    void* handle = nullptr;
    job->rc = LumoMediaSearchCreate(&handle, searchAddress().c_str(), &param, 0, 0);
    if (job->rc != 0 || !handle) {
        LumoPrintf("LumoMediaSearchCreate Fail[ret = %d]!\n", job->rc);
        if (handle) LumoMediaSearchDelete(handle);
        if (job->rc == 0) job->rc = LUMO_ERR_FAIL;
        return;
    }
    CLumoFileDescList found(1);
    for (;;) {
        const int before = found.GetCount();
        const int rc = LumoMediaSearchNext(handle, &found, kSearchBatch);
        if (rc == LUMO_ERR_NOMORE) break;
        if (rc < 0) {
            // Any other failure ends the search too; what was found so far is shown.
            LumoPrintf("LumoMediaSearchNext Fail[ret = %d]!\n", rc);
            job->nextRc = rc;
            break;
        }
        if (found.GetCount() == before) break;  // a success without rows: nothing more comes
    }
    if (!found.IsEmpty()) {
        job->files = IVantelList::CreateObject();
        LumoSRFileDesc2KestoFileInfo(&found, job->files);
    }
    LumoMediaSearchDelete(handle);
}
