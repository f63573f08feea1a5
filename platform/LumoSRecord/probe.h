// Reads what the index needs of one media file with libavformat, never hanging on a broken file:
// the probe reads at most kProbeByteBudget bytes of the file, gives up at its deadline, and ends
// at once when asked to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kesto {

// The most a probe reads of one file, wherever it reads: enough for the stream information, the
// first pictures and the end of a record file, little enough that a gigabyte of garbage is
// judged at once.
extern const int64_t kProbeByteBudget;

struct ProbeResult {
    bool readable = false;  // a video stream with a decoded picture and a positive duration
    bool aborted = false;   // given up because the caller asked to: says nothing about the file
    bool timedOut = false;  // given up at the deadline: says nothing sure about the file either
    int64_t durationMs = 0;
    uint8_t videoCodec = 0, audioCodec = 0;  // LumoCodecCode
    uint16_t width = 0, height = 0;
    int frameRate = -1;
    uint32_t frames = 0;
    int bitRateKbps = 0;
    int64_t bytesRead = 0;  // of the file, seeks aside
    std::string error;
};

// Gives up after timeoutMs (the file then counts as unreadable, timedOut set), or as soon as
// `aborted` returns true (aborted set). Safe from any thread.
ProbeResult ProbeMediaFile(const std::string& path, int timeoutMs, const std::function<bool()>& aborted = {});

// A hook run at the start of every probe, in the probing thread, with the file and the probe's
// abort check (tests hold a probe there to see what goes on meanwhile). Null removes it.
using ProbeHook = std::function<void(const std::string& path, const std::function<bool()>& aborted)>;
void SetProbeHook(ProbeHook hook);

}  // namespace kesto
