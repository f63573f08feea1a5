// The record index: every readable record file of the engine's disks as one entry, kept per
// (stream, channel) lane sorted by start time, so that a search for a channel and a time range
// costs a binary search plus the files it finds, whatever the size of the index.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace kesto {

struct RecordEntry {
    int64_t startMs = 0;  // local wall-clock time as epoch milliseconds
    int64_t endMs = 0;
    uint64_t size = 0;  // bytes
    uint32_t frames = 0;
    uint32_t block = 0;  // block number on its disk
    uint16_t disk = 0;   // disk position, 0-based
    uint16_t fileIndex = 0;
    uint16_t width = 0, height = 0;
    int16_t frameRate = -1;
    uint8_t channel = 0;     // 0-based
    uint8_t stream = 0;      // 0 main, 1 sub, 2 third
    uint8_t recordType = 0;  // 0 schedule, 1 event, 4 manual
    uint8_t videoCodec = 0, audioCodec = 0;
    uint32_t cuid = 0;  // interned, see RecordIndex::InternCUID
    std::string fileName;
};

struct RecordQuery {
    int64_t startMs = 0;  // files overlapping [startMs, endMs] match
    int64_t endMs = 0;
    uint64_t channelMask[3] = {0, 0, 0};    // per stream, bit n = channel n (0-based)
    int streamType = -1;                    // -1 any
    uint32_t recordTypeMask = 0xFFFFFFFFu;  // type t matches when bit t is set
    std::vector<std::string> cuids;         // empty: any
};

class RecordIndex {
public:
    enum { kStreams = 3, kChannels = 64 };

    RecordIndex() = default;
    RecordIndex(const RecordIndex&) = delete;
    RecordIndex& operator=(const RecordIndex&) = delete;

    // Replaces every entry of one block by `files` (their disk and block fields are set here).
    // Entries whose channel or stream lies outside the lanes are ignored and counted.
    void ReplaceBlock(int disk, uint32_t block, std::vector<RecordEntry> files);
    void RemoveBlock(int disk, uint32_t block);
    void RemoveDisk(int disk);
    void Clear();
    // Adds one entry to its block (for building large indexes in memory).
    bool Add(const RecordEntry& e);
    // Sorts what was added since the last search; searches do it on demand.
    void Finalize();

    size_t Size() const { return m_live; }
    uint32_t InternCUID(const std::string& cuid);
    const std::string& CUID(uint32_t id) const;

    // Appends matches in (start, stream, channel, disk, block, file) order, at most `max`,
    // continuing after *cursor (0 = from the beginning) and advancing it. Returns the number
    // appended; 0 means there are no more.
    int Search(const RecordQuery& q, uint64_t* cursor, std::vector<const RecordEntry*>& out, int max);

    // Entries of one block in file order (null when the block has none).
    const std::vector<uint32_t>* BlockEntries(int disk, uint32_t block) const;
    const RecordEntry& At(uint32_t id) const { return m_slots[id]; }
    // Channels (0-based) and streams that have at least one entry: bit s of [channel].
    std::map<int, unsigned> ChannelStreams() const;
    // Latest entry of a lane, or null.
    const RecordEntry* Latest(int stream, int channel);

private:
    // A lane keeps the start next to the id so that its binary search stays in one array.
    struct Item {
        int64_t start;
        uint32_t id;
    };
    struct Lane {
        std::vector<Item> items;
        size_t sortedPrefix = 0;  // items[0, sortedPrefix) are sorted
        int64_t maxDurationMs = 0;
    };
    static uint64_t blockKey(int disk, uint32_t block) { return (uint64_t(uint16_t(disk)) << 32) | block; }
    bool laneLess(const Item& a, const Item& b) const;
    void sortLane(Lane& lane);
    uint32_t newSlot(const RecordEntry& e);
    void dropIds(const std::vector<uint32_t>& ids);

    std::vector<RecordEntry> m_slots;
    std::vector<uint32_t> m_free;
    size_t m_live = 0;
    std::unordered_map<uint64_t, std::vector<uint32_t>> m_blocks;
    Lane m_lanes[kStreams][kChannels];
    std::vector<std::string> m_cuids{std::string()};
    std::unordered_map<std::string, uint32_t> m_cuidIds{{std::string(), 0}};
};

}  // namespace kesto
