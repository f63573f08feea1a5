// LumoRecord: reads what a record file holds (times, size, codecs, picture size, frame rate) by
// probing it, and turns the record-file URIs of the suite into paths the demuxer can open.
#pragma once

#include <cstdint>
#include <string>

#include "LumoBase/LumoBase.h"
#include "LumoFS/LumoFS.h"

// Fills each descriptor of the list in place: size, start and end time, video and audio codec
// (LumoCodecCode), width, height and frame rate. A file without an absolute start time gets
// start = modification time - duration. Descriptors that cannot be probed keep their values.
// 0 when every descriptor was filled, else the first failure's code (LumoCore result codes:
// -4 null list, -11 missing, -12 zero bytes, -13 not a media file, -17 read error).
int LumoRecordGetFileDesc(CLumoFileDescList* list);
// The same for one descriptor.
int LumoRecordProbeDesc(CLumoFileDesc* desc);

// What a record-file URI names.
struct LumoRecordSource {
    std::string path;        // the file path, or the URL for a network source
    std::string format;      // "format=" value in lower case, or the file's extension
    bool isNetwork = false;  // path is a URL with a network scheme (rtsp, http, tcp ...)
    bool hasRange = false;   // the URI carried "&from=...&len=..."
    CLumoTime from;          // start of the range
    int64_t lengthSec = 0;   // length of the range in seconds
};
// Accepts "filer://local/type=rec&format=<ext>&filename=<path>",
// "lumofs://local/disk=<d>&path=<dir>&filename=<name>", "file:<path>", "file:///<path>",
// network URLs and plain paths; a trailing "&from=<ISO 8601>&len=<seconds>" is split off.
// A "lumofs" URI whose path is not absolute names a block of one of the recording engine's disks
// and is resolved through the record source registered with LumoFS (LumoFSResolveRecord); without
// one it is taken as "<path>/<filename>". Paths written with backslashes ("\home\u\a.dav",
// "C:\rec\a.dav") get forward slashes. Record addresses are read by LumoRecordAddress.
// 0, or -4 for an empty or unusable URI.
int LumoRecordParseUri(const char* uri, LumoRecordSource* out);

// Value of a parameter of a record address (LumoRecordAddress: "lumofs://", "filer://",
// "filew://"); empty when absent or when the text is not a record address.
std::string LumoRecordUriParam(const std::string& uri, const char* key);

// FFmpeg codec id -> LumoCodecCode (LUMO_CODEC_NONE when there is no match).
int LumoRecordCodecFromAV(int avCodecId);
