#include "player/diskmanager.h"

#include <atomic>

namespace {
std::atomic<CDiskManager*> g_replacement{nullptr};  // any thread; set by tests only
}

CDiskManager* CDiskManager::Instance() {
    if (CDiskManager* other = g_replacement.load()) return other;
    static CDiskManager* const manager = new CDiskManager();
    return manager;
}

CDiskManager* CDiskManager::Replace(CDiskManager* manager) {
    CDiskManager* previous = g_replacement.exchange(manager);
    return previous;
}

int CDiskManager::SearchDisks(const char* url, CLumoList* disks) {
    void* handle = nullptr;
    int r = LumoDiskSearchCreate(&handle, url, disks);
    if (r != LUMO_OK) return r;
    r = LumoDiskSearch(handle, disks);
    LumoDiskSearchDelete(handle);
    return r;
}

int CDiskManager::SearchMedia(const char* disk, ILumoFSSearchParam* param, CLumoFileDescList* found,
                              unsigned flag) {
    return LumoMediaSearch(disk, param, found, flag, 0, 0);
}
