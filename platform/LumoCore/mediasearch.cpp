// Record search: hands out, in batches, the results of the record source an engine registered
// with LumoFS (or of the source a test set).
#include <cstring>

#include "lumocore_internal.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoFS/LumoRecordSource.h"

namespace lumocore {
namespace {

const int kMaxBatch = 256;

struct Search {
    ILumoFSSearchParam param;
    uint64_t cursor = 0;
    bool done = false;
    std::mutex m;
};

HandleRegistry<Search>& Searches() {
    static HandleRegistry<Search> r;
    return r;
}

std::atomic<LumoMediaSearchSource> g_source{nullptr};  // any thread

int RunSource(const ILumoFSSearchParam* param, uint64_t* cursor, CLumoFileDescList* out, int max) {
    LumoMediaSearchSource s = g_source.load();
    return s ? s(param, cursor, out, max) : LumoFSSearchRecords(param, cursor, out, max);
}

// Criteria that cannot match anything sensible are refused before the index is asked.
bool CriteriaUsable(const ILumoFSSearchParam* param) {
    if (!param) return false;
    if (param->GetTimeS().IsEmpty() || param->GetTimeE().IsEmpty()) return false;
    if (param->GetTimeE() < param->GetTimeS()) return false;
    return param->GetChannelMask(0) || param->GetChannelMask(1) || param->GetChannelMask(2);
}

bool IsMediaUrl(const char* url) {
    LumoRecordAddress a;
    return url && LumoRecordAddress::Parse(url, &a) && a.GetScheme() == LumoRecordAddress::SCHEME_LUMOFS &&
           (a.GetHost() == "localhost" || a.GetHost() == "local") && a.GetResource() == "media" &&
           a.Params().empty();
}

// The disk a record of the engine lies on ("disk=" of its address); empty when it names none.
std::string DiskOf(const CLumoFileDesc* d) {
    LumoRecordAddress a;
    return LumoRecordAddress::Parse(d->GetURI(), &a) && a.GetScheme() == LumoRecordAddress::SCHEME_LUMOFS
               ? a.Get("disk")
               : std::string();
}

}  // namespace
}  // namespace lumocore

using namespace lumocore;

void LumoMediaSearchSetSource(LumoMediaSearchSource source) {
    g_source = source;
}

int LumoMediaSearchCreate(void** search, const char* url, ILumoFSSearchParam* param, int, int) {
    if (!search) return LUMO_ERR_BADPARAM;
    *search = nullptr;
    if (!url) return LUMO_ERR_BADPARAM;
    if (!IsMediaUrl(url)) return LUMO_ERR_UNSUPPORTED;
    if (!CriteriaUsable(param)) return LUMO_ERR_BADPARAM;
    auto s = std::make_shared<Search>();
    s->param = *param;
    *search = Searches().Add(s);
    return LUMO_OK;
}

int LumoMediaSearchNext(void* search, CLumoFileDescList* list, int max) {
    auto s = search ? Searches().Get(search) : nullptr;
    if (!s) return LUMO_ERR_PARAM;
    if (!list || max <= 0) return LUMO_ERR_BADPARAM;
    if (max > kMaxBatch) max = kMaxBatch;
    std::lock_guard<std::mutex> lock(s->m);
    if (s->done) return LUMO_ERR_NOMORE;
    int before = list->GetCount();
    int r = RunSource(&s->param, &s->cursor, list, max);
    // The batch limit holds whatever the source does.
    while (list->GetCount() - before > max) list->Del(list->GetTail());
    if (r < 0) {
        s->done = true;  // a failing index is not asked again: the caller's loop must end
        return r == LUMO_ERR_NOMORE ? LUMO_ERR_NOMORE : LUMO_ERR_FAIL;
    }
    int added = list->GetCount() - before;
    if (added <= 0) {
        s->done = true;
        return LUMO_ERR_NOMORE;
    }
    return added;
}

int LumoMediaSearchDelete(void* search) {
    return Searches().Remove(search) ? LUMO_OK : LUMO_ERR_PARAM;
}

int LumoMediaSearch(const char* disk, ILumoFSSearchParam* param, CLumoFileDescList* found, unsigned, int,
                    int) {
    if (!disk || !*disk || !found || !CriteriaUsable(param)) return LUMO_ERR_BADPARAM;
    if (disk[0] == '/') return SearchRecorderDisk(disk, param, found);
    // The disks are searched through the same index; only the files of the named disk are kept.
    uint64_t cursor = 0;
    int total = 0;
    for (;;) {
        CLumoFileDescList batch(1);
        int r = RunSource(param, &cursor, &batch, kMaxBatch);
        if (r < 0) return total > 0 ? LUMO_OK : LUMO_ERR_FAIL;
        if (batch.IsEmpty()) break;
        for (CLumoFileDesc* d : batch)
            if (DiskOf(d) == disk) {
                found->Append(new CLumoFileDesc(*d));
                ++total;
            }
    }
    return total > 0 ? LUMO_OK : LUMO_ERR_NOMORE;
}
