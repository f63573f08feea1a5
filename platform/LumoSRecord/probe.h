// Reads what the index needs of one media file with libavformat, never hanging on a broken file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kesto {

struct ProbeResult {
    bool readable = false;  // opened, has a video stream and a positive duration
    bool aborted = false;   // given up because the caller asked to: says nothing about the file
    int64_t durationMs = 0;
    uint8_t videoCodec = 0, audioCodec = 0;  // LumoCodecCode
    uint16_t width = 0, height = 0;
    int frameRate = -1;
    uint32_t frames = 0;
    int bitRateKbps = 0;
    std::string error;
};

// Gives up after timeoutMs (the file then counts as unreadable), or as soon as `aborted`
// returns true.
ProbeResult ProbeMediaFile(const std::string& path, int timeoutMs, const std::function<bool()>& aborted = {});

}  // namespace kesto
