// Internals shared by the parts of the media library: handle registries and settings.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "LumoCore/LumoCore.h"

namespace lumocore {

// Reads the block folders of the recorder disk mounted at `disk` (disksearch.cpp); appends to
// found only on success. Criteria are checked by the caller.
int SearchRecorderDisk(const char* disk, const ILumoFSSearchParam* param, CLumoFileDescList* found);

// Handles are numbers that are never reused, so a stale handle can never reach a newer object.
uintptr_t NextHandleValue();

template <class T>
class HandleRegistry {
public:
    void* Add(std::shared_ptr<T> item) {
        std::lock_guard<std::mutex> lock(m_mutex);
        uintptr_t h = NextHandleValue();
        m_items[h] = std::move(item);
        return reinterpret_cast<void*>(h);
    }
    std::shared_ptr<T> Get(void* handle) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_items.find(reinterpret_cast<uintptr_t>(handle));
        return it == m_items.end() ? nullptr : it->second;
    }
    std::shared_ptr<T> Remove(void* handle) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_items.find(reinterpret_cast<uintptr_t>(handle));
        if (it == m_items.end()) return nullptr;
        std::shared_ptr<T> item = it->second;
        m_items.erase(it);
        return item;
    }
    template <class F>
    void ForEach(F f) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& kv : m_items) f(reinterpret_cast<void*>(kv.first), kv.second);
    }
    template <class Pred>
    void RemoveIf(Pred p) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_items.begin(); it != m_items.end();) {
            if (p(it->second))
                it = m_items.erase(it);
            else
                ++it;
        }
    }

private:
    mutable std::mutex m_mutex;
    std::map<uintptr_t, std::shared_ptr<T>> m_items;  // guarded by m_mutex
};

struct Settings {
    std::atomic<int> openTimeoutMs{5000};
    std::atomic<int> readTimeoutMs{5000};
    std::atomic<int> decoderThreads{0};
};
Settings& GetSettings();

// The speed holder shared by a task's players.
struct Task {
    std::atomic<int> speed{LUMO_SPEED_NORMAL};
    int size = 1;  // set at creation, constant afterwards
};
std::shared_ptr<Task> GetTask(void* handle);

// Speed code to a rate factor.
inline double SpeedRate(int code) {
    return code >= 1 ? double(code) : (code <= -2 ? 1.0 / double(-code) : 1.0);
}

}  // namespace lumocore
