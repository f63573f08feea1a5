// Opening a record source with a deadline for the media library. Every blocking call of FFmpeg
// made through an AVFormatContext opened here returns once the deadline passes or the abort flag
// is raised (LumoAVInterrupt is checked inside every read).
#pragma once

#include <string>

#include "LumoAV/LumoAV.h"
#include "LumoRecord/LumoRecord.h"

// Opens `src` for demuxing with the interrupt state (which must outlive the context) and reads
// the stream information. 0, or a LumoCore result code (-11 missing, -12 empty, -13 not media,
// -15 timeout, -16 unreachable, -17 read error, -18 unsupported). The context is null on failure.
int LumoAVOpenInput(AVFormatContext** ctx, const LumoRecordSource& src, LumoAVInterrupt* intr, int timeoutMs);
// Fills codecs, picture size, frame rate and (when the descriptor has none) the times of a
// descriptor from an open context; `path` is the local file (for its modification time).
void LumoAVFillDesc(CLumoFileDesc* desc, AVFormatContext* ctx, const std::string& path);
// Maps an FFmpeg error to a LumoCore result code.
int LumoAVMapError(int averr, const LumoAVInterrupt* intr);
