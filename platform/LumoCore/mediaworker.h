// The thread a download copies on, its stop flag and its interrupt state.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "LumoAV/LumoAV.h"

namespace lumocore {

class MediaWorker {
public:
    // Raising it ends the worker's loop and every FFmpeg read it is blocked in.
    std::atomic<bool> abort{false};
    // The interrupt state of every demuxer the worker opens. FFmpeg copies the callback into the
    // I/O layer at open time, so it must stay at one address for as long as the context lives.
    LumoAVInterrupt intr;

    MediaWorker() { intr.abortFlag = &abort; }
    MediaWorker(const MediaWorker&) = delete;
    MediaWorker& operator=(const MediaWorker&) = delete;
    ~MediaWorker() {
        // The last reference may go on the worker itself (it holds one while it runs).
        if (!m_thread.joinable()) return;
        if (OnWorker())
            m_thread.detach();
        else
            m_thread.join();
    }

    void StartThread(std::function<void()> body) {
        std::lock_guard<std::mutex> lock(m_joinMutex);
        m_thread = std::thread([this, body = std::move(body)] {
            m_id = std::this_thread::get_id();
            body();
        });
        m_id = m_thread.get_id();
    }

    // Waits for the thread to end. Called on the worker itself (a report that stops its own job),
    // it returns at once: the thread ends by itself when the report returns.
    void JoinThread() {
        if (OnWorker()) return;
        std::lock_guard<std::mutex> lock(m_joinMutex);
        if (m_thread.joinable()) m_thread.join();
    }

private:
    bool OnWorker() const { return m_id.load() == std::this_thread::get_id(); }

    std::mutex m_joinMutex;               // serialises the joins of other threads
    std::thread m_thread;                 // guarded by m_joinMutex (the worker never touches it)
    std::atomic<std::thread::id> m_id{};  // the worker's id, once started
};

}  // namespace lumocore
