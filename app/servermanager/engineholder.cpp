#include "engineholder.h"

#include <atomic>

namespace EngineHolder {
namespace {
std::atomic<void*> g_handle{nullptr};  // GUI thread writes; the exit thread takes
std::atomic<bool> g_running{false};
}  // namespace

void* Handle() {
    return g_handle.load();
}
void SetHandle(void* handle) {
    g_handle.store(handle);
}
void* Take() {
    return g_handle.exchange(nullptr);
}
bool IsRunning() {
    return g_running.load();
}
void SetRunning(bool running) {
    g_running.store(running);
}

}  // namespace EngineHolder
