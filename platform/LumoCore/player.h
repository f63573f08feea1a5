// A player's shared state: what the calling threads ask for (under Player::m) and what its decode
// thread publishes. The C interface (player_api.cpp) only posts commands and reads the state; the
// decode thread (decodethread.cpp) does the work; the picture output (pictureout.cpp) converts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "LumoAV/LumoAV.h"
#include "LumoAV/LumoAVPtr.h"
#include "LumoCore/LumoCore.h"
#include "LumoCore/framesink.h"
#include "lumocore_internal.h"

namespace lumocore {

// One run of a player, from its open to its stop. Each run has its own stop token: a stop ends
// exactly the run it was meant for, from whichever thread it comes (the run's own thread
// included), and a later open makes a new run that the old one can no longer touch.
struct PlayerRun {
    // Raised once, under Player::m, by the stop that ends this run; never lowered.
    std::atomic<bool> abort{false};
    // Interrupt state of every demuxer the run opens. FFmpeg keeps a pointer to it for as long as
    // the context lives, so it stays here, at one address, for the run's whole life.
    LumoAVInterrupt intr;
    // The head file, opened by LumoPlayerOpenFile; handed to the decode thread under Player::m.
    lumoav::InputPtr preopened;
    // Started by LumoPlayerStart under Player::m; joined (or, from the run's own thread, let go)
    // by the one stop that takes the run out of Player::run.
    std::thread thread;

    PlayerRun() { intr.abortFlag = &abort; }
    PlayerRun(const PlayerRun&) = delete;
    PlayerRun& operator=(const PlayerRun&) = delete;
};

class Player : public std::enable_shared_from_this<Player> {
public:
    // Set before the player is registered, constant afterwards.
    void* handle = nullptr;
    std::shared_ptr<Task> task;

    std::atomic<int> ownSpeed{LUMO_SPEED_NORMAL};
    std::atomic<int> volume{100};
    std::atomic<int> playMode{LUMO_PLAYMODE_LIST};  // read by the decode thread at each file's end
    std::atomic<bool> closed{false};
    std::atomic<bool> listening{true};
    // Decode threads of this player inside their decode loop (a stopped run leaves it as soon as
    // its thread returns from the report it is in).
    std::atomic<int> decoding{0};

    int Speed() const { return task ? task->speed.load() : ownSpeed.load(); }

    // The window's frame sink, as its frame-sink host gave it at the player's creation.
    std::shared_ptr<VideoFrameSink> Sink() const;
    void SetSink(std::shared_ptr<VideoFrameSink> sink);

    // Event sink. Reports of a stopped run are dropped, so after LumoPlayerStop returns (on any
    // thread) nothing more of that run reaches the callback.
    void Emit(const PlayerRun& run, int code, void* p1, void* p2);
    int Attach(ILumoCallback* callback, LumoSignalMember member);
    int Detach(ILumoCallback* callback);

    // Ends the current run (if any) and forgets the list. Waits for the run's thread, unless
    // called on that very thread, which then ends by itself once it returns from its report.
    void StopRun();

    // Everything below is guarded by m; cv is signalled on every command.
    std::mutex m;
    std::condition_variable cv;
    std::shared_ptr<PlayerRun> run;  // null when nothing is open
    std::vector<CLumoFileDesc> files;
    bool isUrl = false;
    bool started = false, paused = false, ended = false, busy = false;
    bool seekPending = false;
    int seekFile = 0;
    int64_t seekOffsetMs = 0;
    int steps = 0;
    int currentFile = 0;
    int64_t positionMs = 0;
    int videoW = 0, videoH = 0;
    int lastError = LUMO_OK;  // the last file of the list that could not be played, since the open
    LumoPlayerStats stats;
    int64_t openStartUs = 0;

    // The last decoded picture, for snapshots. Guarded by frameMutex; a stopped run never writes it.
    std::mutex frameMutex;
    lumoav::FramePtr lastFrame;

private:
    mutable std::mutex m_sinkMutex;
    std::shared_ptr<VideoFrameSink> m_sink;  // guarded by m_sinkMutex

    std::recursive_mutex m_cbMutex;       // held while a report is delivered
    ILumoCallback* m_cb = nullptr;        // guarded by m_cbMutex
    LumoSignalMember m_member = nullptr;  // guarded by m_cbMutex
};

std::shared_ptr<Player> GetPlayer(void* handle);

// The body of a run's decode thread (decodethread.cpp).
void RunDecodeThread(std::shared_ptr<Player> player, std::shared_ptr<PlayerRun> run);

// How many threads a video decoder gets: the configured count, or (0, the default) the machine's
// cores shared among the players decoding now.
int DecoderThreadCount();
// Players decoding now, for DecoderThreadCount.
std::atomic<int>& ActiveDecoders();

}  // namespace lumocore
