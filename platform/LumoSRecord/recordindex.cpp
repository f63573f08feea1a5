#include "recordindex.h"

#include <algorithm>
#include <limits>
#include <queue>
#include <unordered_set>

namespace kesto {

namespace {
// Cursor: the start of the last delivered entry (+1, so that 0 means "from the beginning") in
// the high 44 bits, and how many matches starting at that same millisecond were delivered.
const int kTieBits = 20;
const uint64_t kTieMask = (uint64_t(1) << kTieBits) - 1;
}  // namespace

uint32_t RecordIndex::InternCUID(const std::string& cuid) {
    auto it = m_cuidIds.find(cuid);
    if (it != m_cuidIds.end()) return it->second;
    uint32_t id = static_cast<uint32_t>(m_cuids.size());
    m_cuids.push_back(cuid);
    m_cuidIds.emplace(cuid, id);
    return id;
}

const std::string& RecordIndex::CUID(uint32_t id) const {
    return id < m_cuids.size() ? m_cuids[id] : m_cuids[0];
}

uint32_t RecordIndex::newSlot(const RecordEntry& e) {
    uint32_t id;
    if (!m_free.empty()) {
        id = m_free.back();
        m_free.pop_back();
        m_slots[id] = e;
    } else {
        id = static_cast<uint32_t>(m_slots.size());
        m_slots.push_back(e);
    }
    ++m_live;
    return id;
}

bool RecordIndex::laneLess(const Item& a, const Item& b) const {
    if (a.start != b.start) return a.start < b.start;
    const RecordEntry& x = m_slots[a.id];
    const RecordEntry& y = m_slots[b.id];
    if (x.disk != y.disk) return x.disk < y.disk;
    if (x.block != y.block) return x.block < y.block;
    return x.fileIndex < y.fileIndex;
}

void RecordIndex::sortLane(Lane& lane) {
    if (lane.sortedPrefix == lane.items.size()) return;
    auto less = [this](const Item& a, const Item& b) { return laneLess(a, b); };
    auto mid = lane.items.begin() + static_cast<std::ptrdiff_t>(lane.sortedPrefix);
    std::sort(mid, lane.items.end(), less);
    std::inplace_merge(lane.items.begin(), mid, lane.items.end(), less);
    lane.sortedPrefix = lane.items.size();
}

void RecordIndex::Finalize() {
    for (auto& lanes : m_lanes)
        for (Lane& lane : lanes) sortLane(lane);
}

bool RecordIndex::Add(const RecordEntry& e) {
    if (e.stream >= kStreams || e.channel >= kChannels) return false;
    uint32_t id = newSlot(e);
    m_blocks[blockKey(e.disk, e.block)].push_back(id);
    Lane& lane = m_lanes[e.stream][e.channel];
    lane.items.push_back({e.startMs, id});
    lane.maxDurationMs = std::max(lane.maxDurationMs, e.endMs - e.startMs);
    return true;
}

void RecordIndex::dropIds(const std::vector<uint32_t>& ids) {
    if (ids.empty()) return;
    std::unordered_set<uint32_t> dead(ids.begin(), ids.end());
    bool touched[kStreams][kChannels] = {};
    for (uint32_t id : ids) touched[m_slots[id].stream][m_slots[id].channel] = true;
    for (int s = 0; s < kStreams; ++s)
        for (int c = 0; c < kChannels; ++c) {
            if (!touched[s][c]) continue;
            Lane& lane = m_lanes[s][c];
            size_t keptSorted = 0, out = 0;
            for (size_t i = 0; i < lane.items.size(); ++i) {
                if (dead.count(lane.items[i].id)) continue;
                if (i < lane.sortedPrefix) ++keptSorted;
                lane.items[out++] = lane.items[i];
            }
            lane.items.resize(out);
            lane.sortedPrefix = keptSorted;
            if (lane.items.empty()) lane.maxDurationMs = 0;
        }
    for (uint32_t id : ids) {
        m_slots[id] = RecordEntry();
        m_free.push_back(id);
        --m_live;
    }
}

void RecordIndex::ReplaceBlock(int disk, uint32_t block, std::vector<RecordEntry> files) {
    RemoveBlock(disk, block);
    for (RecordEntry& e : files) {
        e.disk = static_cast<uint16_t>(disk);
        e.block = block;
        Add(e);
    }
}

void RecordIndex::RemoveBlock(int disk, uint32_t block) {
    auto it = m_blocks.find(blockKey(disk, block));
    if (it == m_blocks.end()) return;
    std::vector<uint32_t> ids = std::move(it->second);
    m_blocks.erase(it);
    dropIds(ids);
}

void RecordIndex::RemoveDisk(int disk) {
    std::vector<uint32_t> ids;
    for (auto it = m_blocks.begin(); it != m_blocks.end();) {
        if ((it->first >> 32) == uint16_t(disk)) {
            ids.insert(ids.end(), it->second.begin(), it->second.end());
            it = m_blocks.erase(it);
        } else {
            ++it;
        }
    }
    dropIds(ids);
}

void RecordIndex::Clear() {
    m_slots.clear();
    m_free.clear();
    m_blocks.clear();
    m_live = 0;
    for (auto& lanes : m_lanes)
        for (Lane& lane : lanes) lane = Lane();
}

const std::vector<uint32_t>* RecordIndex::BlockEntries(int disk, uint32_t block) const {
    auto it = m_blocks.find(blockKey(disk, block));
    return it == m_blocks.end() ? nullptr : &it->second;
}

std::map<int, unsigned> RecordIndex::ChannelStreams() const {
    std::map<int, unsigned> result;
    for (int s = 0; s < kStreams; ++s)
        for (int c = 0; c < kChannels; ++c)
            if (!m_lanes[s][c].items.empty()) result[c] |= 1u << s;
    return result;
}

const RecordEntry* RecordIndex::Latest(int stream, int channel) {
    if (stream < 0 || stream >= kStreams || channel < 0 || channel >= kChannels) return nullptr;
    Lane& lane = m_lanes[stream][channel];
    sortLane(lane);
    return lane.items.empty() ? nullptr : &m_slots[lane.items.back().id];
}

int RecordIndex::Search(const RecordQuery& q, uint64_t* cursor, std::vector<const RecordEntry*>& out,
                        int max) {
    if (max <= 0 || q.endMs < q.startMs) return 0;

    int64_t lastStart = std::numeric_limits<int64_t>::min();
    uint64_t deliveredAtLast = 0;
    if (cursor && *cursor) {
        lastStart = static_cast<int64_t>(*cursor >> kTieBits) - 1;
        deliveredAtLast = *cursor & kTieMask;
    }

    std::vector<uint32_t> wanted;
    if (!q.cuids.empty()) {
        for (const std::string& c : q.cuids) {
            auto it = m_cuidIds.find(c);
            if (it != m_cuidIds.end()) wanted.push_back(it->second);
        }
        if (wanted.empty()) return 0;
    }

    // One read position per selected lane; a heap merges them in key order.
    struct Pos {
        const Lane* lane;
        size_t at;
        int stream, channel;
    };
    std::vector<Pos> positions;
    for (int s = 0; s < kStreams; ++s) {
        if (q.streamType >= 0 && s != q.streamType) continue;
        const uint64_t mask = q.channelMask[s];
        if (!mask) continue;
        for (int c = 0; c < kChannels; ++c) {
            if (!(mask & (uint64_t(1) << c))) continue;
            Lane& lane = m_lanes[s][c];
            if (lane.items.empty()) continue;
            sortLane(lane);
            // A file that overlaps the range starts no earlier than range start minus the
            // lane's longest file; a continued search also skips what it already delivered.
            int64_t from = std::max(q.startMs - lane.maxDurationMs, lastStart);
            auto it = std::lower_bound(lane.items.begin(), lane.items.end(), from,
                                       [](const Item& item, int64_t v) { return item.start < v; });
            size_t at = static_cast<size_t>(it - lane.items.begin());
            if (at < lane.items.size() && lane.items[at].start <= q.endMs)
                positions.push_back({&lane, at, s, c});
        }
    }

    auto key = [this](const Pos& p) { return &m_slots[p.lane->items[p.at].id]; };
    auto greater = [&](const Pos& a, const Pos& b) {
        const RecordEntry* x = key(a);
        const RecordEntry* y = key(b);
        if (x->startMs != y->startMs) return x->startMs > y->startMs;
        if (a.stream != b.stream) return a.stream > b.stream;
        if (a.channel != b.channel) return a.channel > b.channel;
        return laneLess(b.lane->items[b.at], a.lane->items[a.at]);
    };
    std::priority_queue<Pos, std::vector<Pos>, decltype(greater)> heap(greater, std::move(positions));

    int appended = 0;
    int64_t curStart = lastStart;
    uint64_t curCount = deliveredAtLast;
    while (!heap.empty() && appended < max) {
        Pos p = heap.top();
        heap.pop();
        const RecordEntry* e = key(p);
        if (p.at + 1 < p.lane->items.size() && p.lane->items[p.at + 1].start <= q.endMs) {
            Pos next = p;
            ++next.at;
            heap.push(next);
        }
        if (e->endMs <= q.startMs && !(e->endMs == e->startMs && e->startMs >= q.startMs)) continue;
        if (e->recordType >= 32 || !(q.recordTypeMask & (1u << e->recordType))) continue;
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), e->cuid) == wanted.end()) continue;
        if (e->startMs == lastStart && deliveredAtLast > 0) {
            --deliveredAtLast;  // already handed out by an earlier call
            continue;
        }
        if (e->startMs != curStart) {
            curStart = e->startMs;
            curCount = 0;
        }
        ++curCount;
        out.push_back(e);
        ++appended;
    }
    if (cursor && appended > 0)
        *cursor = (static_cast<uint64_t>(curStart + 1) << kTieBits) | (curCount & kTieMask);
    return appended;
}

}  // namespace kesto
