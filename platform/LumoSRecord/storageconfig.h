// The engine's settings file (Qt ini format, UTF-8, "kestostorage.ini" by default):
//
//   [storage]
//   root=demo-storage        folder that relative disk paths start from; relative to the settings
//                            file's folder (default: that folder)
//   freeSpaceFloorMB=256     a disk whose free space falls below this is full
//   blockCapacityMB=256      size of a block: its used clusters count against it
//   [disk1] ... [diskN]      one group per disk; N (from 1) is the disk's number for callers
//   path=disk1               the disk's folder (relative to root, or absolute)
//   name=disk1               short name shown and used in record URIs (letters, digits, . _ -)
//   type=0                   the disk type number shown by the console
//   capacityMB=0             the most the engine may use on this disk; 0: all free space
//   [channel1] ... [channelN] one group per channel, N from 1 to 64
//   cuid=CAM-0001            the camera identity
//   name=Gate                the channel name
//   main=H264 320x240 25 512 schedule AAC    stream: codec, size, frame rate, kbps, record mode
//   sub=...  third=...                       and optionally the audio codec
//
// Without the file (or with an empty one) the engine uses one disk, the folder "storage" next to
// the settings file. Whatever cannot be used is reported as a problem naming its line.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace kesto {

struct StreamConf {
    bool present = false;
    uint16_t recordMode = 0;  // 0 none, 1 schedule, 2 event, 16 manual
    uint8_t videoCodec = 0, audioCodec = 0;
    uint16_t width = 0, height = 0;
    uint16_t frameRate = 0;
    int32_t bitRateKbps = 0;
};

struct ChannelConf {
    int number = 0;  // from 1
    std::string cuid, name;
    StreamConf streams[3];
};

struct DiskConf {
    int number = 0;  // N of [diskN]: the disk's number for every caller
    int line = 0;    // of the [diskN] header (0: the default disk, no settings file)
    int pathLine = 0;
    QString path;          // absolute and clean, as configured: what the operator is shown
    std::string realPath;  // `path` with every link and ".." resolved when the settings were read
                           // (the part that did not exist then is taken as written): what the
                           // engine reads and writes
    std::string shortName;
    uint32_t type = 0;
    int64_t capacityMB = 0;
};

struct ConfProblem {
    int line = 0;  // in the settings file; 0 when no line applies
    QString text;  // what is wrong and what the engine does instead
};

struct StorageConf {
    QString settingsFile;
    bool fileFound = false;
    QString root;
    int64_t freeSpaceFloorMB = 256;
    int64_t blockCapacityMB = 256;
    std::vector<DiskConf> disks;        // in number order, none overlapping another
    std::vector<ChannelConf> channels;  // in number order, numbers unique
    std::vector<ConfProblem> problems;  // in line order
};

StorageConf LoadStorageConf(const QString& settingsFile);
// "<settings file>:<line>: <text>"
QString ProblemLine(const StorageConf& conf, const ConfProblem& p);
// Parses "H264 320x240 25 512 schedule [AAC]"; false with *why on a bad value.
bool ParseStreamLine(const QString& line, StreamConf* out, QString* why);
// The path with every link and ".." resolved as far as it exists; the rest as written, cleaned.
std::string ResolveRealPath(const QString& path);

}  // namespace kesto
