#include "LumoFS/LumoRecordSource.h"

#include <mutex>

#include "LumoBase/LumoResult.h"

namespace {

std::mutex g_mutex;
LumoFSRecordSource g_source{nullptr, nullptr};  // guarded by g_mutex

LumoFSRecordSource Current() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_source;
}

}  // namespace

void LumoFSSetRecordSource(const LumoFSRecordSource* source) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_source = source ? *source : LumoFSRecordSource{nullptr, nullptr};
}

int LumoFSSearchRecords(const ILumoFSSearchParam* param, uint64_t* cursor, CLumoFileDescList* out, int max) {
    const LumoFSRecordSource s = Current();
    return s.search ? s.search(param, cursor, out, max) : LUMO_ERR_STATE;
}

int LumoFSResolveRecord(const char* uri, CLumoString* path) {
    const LumoFSRecordSource s = Current();
    return s.resolve ? s.resolve(uri, path) : LUMO_ERR_STATE;
}
