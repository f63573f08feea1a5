// The thread a player or a download demuxes on, and its stop.
#pragma once

#include <atomic>
#include <thread>

#include "LumoAV/LumoAV.h"

namespace lumocore {

struct MediaWorker {
    std::thread thread;
    // Raising it ends the worker's loop and every FFmpeg read it is blocked in.
    std::atomic<bool> abort{false};
    // The interrupt state of every demuxer the worker opens. FFmpeg copies the callback into the
    // I/O layer at open time, so it must stay at one address for as long as the context lives.
    LumoAVInterrupt intr;

    MediaWorker() { intr.abortFlag = &abort; }
    MediaWorker(const MediaWorker&) = delete;
    MediaWorker& operator=(const MediaWorker&) = delete;

    // Waits for the thread to end. A callback that stops its own job runs on the thread itself:
    // the thread is then let go to end by itself (it holds its own reference to the job).
    void JoinThread() {
        if (!thread.joinable()) return;
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
};

}  // namespace lumocore
