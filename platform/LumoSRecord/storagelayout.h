// How the engine lays out a disk folder:
//   <disk>/kestodisk.marker                 the engine's mark: the folder is a formatted disk
//   <disk>/index.bin                        written with the mark: a player that finds it at the
//                                           root of a removable drive reads the drive as a
//                                           recorder disk
//   <disk>/blkNNNNN/                        a block: record files of one channel and stream
//   <disk>/blkNNNNN/block.ini               optional, written with the block: cuid=<camera identity>
//   <disk>/blkNNNNN/.kestoindex             the engine's cache of what it read from each file
//   <disk>/blkNNNNN/cCC_sS_rR_YYYYMMDD_HHMMSS.<dav|mp4|avi>
//                                           a record file: channel CC (from 1), stream S (0 main,
//                                           1 sub, 2 third), record type R (0 schedule, 1 event,
//                                           4 manual), start in local time
// Names starting with '.' are work files and never record files.
#pragma once

#include <cstdint>
#include <string>

namespace kesto {

extern const char* const kMarkerName;      // "kestodisk.marker"
extern const char* const kRecorderMarkName;  // "index.bin"
extern const char* const kBlockIniName;    // "block.ini"
extern const char* const kIndexCacheName;  // ".kestoindex"

struct RecordName {
    int channel = 0;  // from 1
    int stream = 0;
    int recordType = 0;
    int64_t startMs = 0;    // local time as epoch milliseconds
    std::string extension;  // lower case, without the dot
};

// "blk" and five digits; -1 for any other name.
int ParseBlockDirName(const std::string& name);
std::string MakeBlockDirName(int number);
bool ParseRecordFileName(const std::string& name, RecordName* out);
// Null when the values cannot be named (channel outside 1..99, stream outside 0..2, record type
// outside 0..15, an unsupported extension).
std::string MakeRecordFileName(const RecordName& r);
bool IsRecordExtension(const std::string& ext);

}  // namespace kesto
