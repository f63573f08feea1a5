// The in-process FFmpeg reference the player is measured against: the same libraries, the same
// file, the same decoder thread count, and nothing but demuxing and decoding (no conversion, no
// painting, no pacing).
#pragma once

#include <QString>
#include <cstdint>

namespace bench {

struct DecodeRun {
    bool ok = false;
    QString error;
    double firstFrameMs = -1;  // from the open call to the first decoded frame
    int64_t frames = 0;        // video frames out of the decoder
    double wallSec = 0;        // from the open call to the last frame
    double cpuSec = 0;         // process CPU time (user + system, all threads) over the run
};

// Opens `path` and decodes its best video stream with `threads` decoder threads (0: FFmpeg's own
// count). Stops after `maxFrames` frames (0: decodes the whole file and drains the decoder).
DecodeRun ReferenceDecode(const QString& path, int threads, int64_t maxFrames);

}  // namespace bench
