// LumoAV: the FFmpeg helpers every media layer needs alike, so that the recording engine's index
// and the player describe a file the same way and give up on a stuck file the same way.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

// FFmpeg codec id -> LumoCodecCode (LumoFS/LumoFS.h), video and audio alike; LUMO_CODEC_NONE
// when the codec has no code of ours.
int LumoAVCodecCode(int avCodecId);

// Whether the packet holds a picture no other picture refers to (an H.264 picture of reference
// index 0, an H.265 sub-layer non-reference picture, an MPEG-4 B-picture): such a packet can be
// left undecoded without harming the pictures after it. False when it cannot tell.
bool LumoAVIsNonReference(const AVCodecParameters* par, const AVPacket* pkt);

// Interrupt state of a demuxer: every blocking FFmpeg call made through a context it is attached
// to returns once the deadline passes or the owner asks to stop.
struct LumoAVInterrupt {
    std::atomic<int64_t> deadlineUs{0};  // av_gettime_relative() limit; 0 = none
    std::atomic<bool> timedOut{false};
    std::atomic<bool> aborted{false};        // the last stop came from the owner, not the deadline
    std::atomic<bool>* abortFlag = nullptr;  // raised by the owner to end a read at once
    std::function<bool()> abortCheck;        // or asked: true ends a read at once

    // Starts a new deadline `ms` from now (<= 0: none).
    void Arm(int ms);
    void Disarm() { deadlineUs = 0; }
    void Attach(AVFormatContext* ctx) {
        ctx->interrupt_callback.callback = &LumoAVInterrupt::Callback;
        ctx->interrupt_callback.opaque = this;
    }
    static int Callback(void* opaque);
};

// How a demuxer is opened.
struct LumoAVOpenLimits {
    int timeoutMs = 0;             // deadline for opening (<= 0: none)
    bool deadlineEachStep = true;  // reading the stream information gets a fresh deadline
    int64_t probeBytes = 0;        // how much is read to find the format (0: FFmpeg's default)
    int64_t analyzeUs = 0;         // how much of the streams is read for their parameters (0: default)
};

// Which step of LumoAVOpenDemuxer failed.
enum LumoAVOpenStep { LUMOAV_OPEN_OK = 0, LUMOAV_OPEN_FAILED, LUMOAV_STREAM_INFO_FAILED };

// Opens `url` for demuxing with `intr` attached (it must outlive the context; may be null) and
// reads the stream information. `opts` (may be null) are the demuxer's options. 0 or FFmpeg's
// error; `*step` (may be null) says which step failed. The context is null on failure.
int LumoAVOpenDemuxer(AVFormatContext** ctx, const std::string& url, AVDictionary** opts,
                      LumoAVInterrupt* intr, const LumoAVOpenLimits& limits, LumoAVOpenStep* step = nullptr);
