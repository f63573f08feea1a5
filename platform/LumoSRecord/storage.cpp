#include "storage.h"

#include <QSaveFile>
#include <QSettings>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

#include "fsutil.h"

namespace kesto {

namespace {

const int kProbeTimeoutMs = 4000;
const int kDiskRowWaitMs = 100;  // the disk table is refreshed on the GUI thread: never stall it

int64_t mtimeNs(const struct stat& st) {
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

int clusterScale() {
    ILumoFS* fs = nullptr;
    int scale = 256;
    if (LumoFSGetFileSystem(&fs) == 0 && fs) {
        scale = fs->GetBlockClusters();
        fs->Release();
    }
    return scale > 0 ? scale : 256;
}

bool overwriteWhenFull() {
    ILumoFS* fs = nullptr;
    int policy = 0;
    if (LumoFSGetFileSystem(&fs) == 0 && fs) {
        policy = fs->GetDiskFullPolicy();
        fs->Release();
    }
    return policy != 0;
}

// Block record types follow the stream coding: 1 schedule, 2 event, 16 manual.
uint16_t modeOfRecordType(int t) {
    switch (t) {
        case 0:
            return 1;
        case 1:
            return 2;
        case 4:
            return 16;
        default:
            return 0;
    }
}

std::vector<std::string> listDir(const std::string& path, bool* ok) {
    std::vector<std::string> names;
    *ok = false;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return names;
    errno = 0;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    *ok = errno == 0;
    ::closedir(dir);
    return names;
}

struct CountGuard {
    explicit CountGuard(std::atomic<int>& c) : count(c) { ++count; }
    ~CountGuard() { --count; }
    std::atomic<int>& count;
};

}  // namespace

Storage::Storage(const StorageConf& conf) : m_conf(conf) {
    for (const DiskConf& dc : m_conf.disks) {
        auto d = std::make_unique<Disk>();
        d->conf = dc;
        d->path = dc.path.toStdString();
        m_disks.push_back(std::move(d));
    }
    m_snaps.resize(m_disks.size());
    for (const QString& p : m_conf.problems) LumoPrintf("kestostorage: %s\n", p.toUtf8().constData());
}

Storage::~Storage() = default;

// ---- reading the disks ----

void Storage::dropDisk(size_t index) {
    Disk& d = *m_disks[index];
    m_index.RemoveDisk(static_cast<int>(index));
    d.blocks.clear();
    d.dirMtimeNs = -1;
    d.dirInode = 0;
}

void Storage::refreshAll() {
    for (size_t i = 0; i < m_disks.size(); ++i) refreshDisk(i);
}

bool Storage::statDisk(Disk& d, struct stat* dirStat) {
    struct stat& st = *dirStat;
    d.faulty = false;
    const int statError = ::stat(d.path.c_str(), &st) == 0 ? 0 : errno;
    d.present = statError == 0 && S_ISDIR(st.st_mode);
    if (statError == EIO) d.faulty = true;
    d.accessible = d.present && ::access(d.path.c_str(), R_OK | X_OK) == 0;
    d.writable = d.accessible && ::access(d.path.c_str(), W_OK) == 0;
    d.formatted = false;
    if (!d.accessible) return false;
    struct statvfs vfs;
    if (::statvfs(d.path.c_str(), &vfs) == 0) {
        d.fsAvail = uint64_t(vfs.f_bavail) * vfs.f_frsize;
    } else {
        d.fsAvail = 0;
        d.faulty = true;
    }
    struct stat mk;
    const std::string marker = d.path + "/" + kMarkerName;
    const int markError = ::lstat(marker.c_str(), &mk) == 0 ? 0 : errno;
    if (markError == 0 && S_ISREG(mk.st_mode)) {
        d.formatted = true;
        d.markerBytes = static_cast<uint64_t>(mk.st_size);
    } else if (markError == EIO) {
        d.faulty = true;
    }
    return true;
}

void Storage::refreshDisk(size_t index) {
    Disk& d = *m_disks[index];
    struct stat st;
    if (!statDisk(d, &st) || !d.formatted) {
        // Only the engine's own disks are indexed: an unformatted folder may hold anything.
        dropDisk(index);
        return;
    }

    if (mtimeNs(st) != d.dirMtimeNs || uint64_t(st.st_ino) != d.dirInode) {
        const int64_t seen = mtimeNs(st);
        bool ok = false;
        const std::vector<std::string> names = listDir(d.path, &ok);
        if (!ok) {
            d.faulty = true;
        } else {
            std::set<uint32_t> found;
            for (const std::string& n : names) {
                const int number = ParseBlockDirName(n);
                struct stat bs;
                if (number < 0 || ::lstat((d.path + "/" + n).c_str(), &bs) != 0 || !S_ISDIR(bs.st_mode))
                    continue;
                found.insert(static_cast<uint32_t>(number));
                Block& b = d.blocks[static_cast<uint32_t>(number)];
                b.number = static_cast<uint32_t>(number);
            }
            for (auto it = d.blocks.begin(); it != d.blocks.end();) {
                if (!found.count(it->first)) {
                    m_index.RemoveBlock(static_cast<int>(index), it->first);
                    it = d.blocks.erase(it);
                } else {
                    ++it;
                }
            }
            d.dirMtimeNs = seen;
            d.dirInode = st.st_ino;
        }
    }

    for (auto& kv : d.blocks) {
        Block& b = kv.second;
        struct stat bs;
        const std::string bpath = d.path + "/" + MakeBlockDirName(static_cast<int>(b.number));
        if (::lstat(bpath.c_str(), &bs) != 0 || !S_ISDIR(bs.st_mode)) {
            b.mtimeNs = -1;  // gone since the listing: the next listing drops it
            d.dirMtimeNs = -1;
            continue;
        }
        if (mtimeNs(bs) != b.mtimeNs || uint64_t(bs.st_ino) != b.inode)
            rescanBlock(index, b, mtimeNs(bs), bs.st_ino);
    }
}

void Storage::rescanBlock(size_t diskIndex, Block& b, int64_t seenMtime, uint64_t inode) {
    Disk& d = *m_disks[diskIndex];
    CountGuard reading(d.readers);
    const std::string bpath = d.path + "/" + MakeBlockDirName(static_cast<int>(b.number));

    bool ok = false;
    const std::vector<std::string> names = listDir(bpath, &ok);
    if (!ok) {
        d.faulty = true;
        return;
    }
    if (!b.cacheLoaded) {
        b.cacheLoaded = true;
        std::ifstream in(bpath + "/" + kIndexCacheName);
        std::string line;
        if (std::getline(in, line) && line == "KESTOINDEX 1") {
            while (std::getline(in, line)) {
                std::istringstream ls(line);
                FileRec f;
                int readable = 0, v = 0, a = 0, w = 0, h = 0, fps = 0;
                if (!std::getline(ls, f.name, '\t')) continue;
                if (!(ls >> f.size >> f.mtimeNs >> readable >> f.probe.durationMs >> v >> a >> w >> h >>
                      fps >> f.probe.frames >> f.probe.bitRateKbps))
                    continue;
                f.probe.readable = readable != 0;
                f.probe.videoCodec = static_cast<uint8_t>(v);
                f.probe.audioCodec = static_cast<uint8_t>(a);
                f.probe.width = static_cast<uint16_t>(w);
                f.probe.height = static_cast<uint16_t>(h);
                f.probe.frameRate = fps;
                b.cache[f.name] = f;
            }
        }
    }

    std::map<std::string, const FileRec*> known;
    for (const FileRec& f : b.files) known[f.name] = &f;

    std::vector<FileRec> files;
    std::vector<size_t> toProbe;
    uint64_t bytes = 0;
    std::string cuid;
    bool cacheStale = false;
    for (const std::string& n : names) {
        struct stat fs;
        if (::lstat((bpath + "/" + n).c_str(), &fs) != 0 || !S_ISREG(fs.st_mode)) continue;
        bytes += static_cast<uint64_t>(fs.st_size);
        if (n == kBlockIniName) {
            QSettings ini(QString::fromStdString(bpath + "/" + n), QSettings::IniFormat);
            ini.setIniCodec("UTF-8");
            cuid = ini.value(QStringLiteral("cuid")).toString().trimmed().toStdString();
            continue;
        }
        if (n.compare(0, 6, ".part.") == 0 && !d.busyBlocks.count(b.number)) {
            // Left by a write that never finished (the process ended): never a record, only waste.
            if (::unlink((bpath + "/" + n).c_str()) == 0) {
                bytes -= static_cast<uint64_t>(fs.st_size);
                continue;
            }
        }
        if (n[0] == '.') continue;
        FileRec f;
        if (!ParseRecordFileName(n, &f.rn)) continue;
        f.name = n;
        f.size = fs.st_size;
        f.mtimeNs = mtimeNs(fs);
        auto k = known.find(n);
        auto c = b.cache.find(n);
        if (k != known.end() && k->second->size == f.size && k->second->mtimeNs == f.mtimeNs) {
            f.probe = k->second->probe;
        } else if (c != b.cache.end() && c->second.size == f.size && c->second.mtimeNs == f.mtimeNs) {
            f.probe = c->second.probe;
        } else {
            toProbe.push_back(files.size());
        }
        files.push_back(std::move(f));
    }

    // Probe what is new, a few files at a time.
    bool aborted = false;
    if (!toProbe.empty()) {
        const uint64_t generation = m_abortGeneration.load();
        std::function<bool()> abortCheck = [this, generation] {
            return m_abortGeneration.load() != generation;
        };
        std::atomic<size_t> next{0};
        auto work = [&] {
            for (size_t i; (i = next++) < toProbe.size();) {
                FileRec& f = files[toProbe[i]];
                f.probe = ProbeMediaFile(bpath + "/" + f.name, kProbeTimeoutMs, abortCheck);
            }
        };
        const size_t threads =
            std::min<size_t>(toProbe.size(), std::max(1u, std::min(4u, std::thread::hardware_concurrency())));
        std::vector<std::thread> pool;
        for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
        work();
        for (std::thread& t : pool) t.join();
        for (size_t i : toProbe) {
            if (files[i].probe.aborted) {
                aborted = true;
            } else {
                cacheStale = true;
                if (!files[i].probe.readable)
                    LumoPrintf("kestostorage: %s/%s is not readable (%s); left out of the index\n",
                               bpath.c_str(), files[i].name.c_str(), files[i].probe.error.c_str());
            }
        }
    }
    if (aborted) {
        files.erase(
            std::remove_if(files.begin(), files.end(), [](const FileRec& f) { return f.probe.aborted; }),
            files.end());
    }
    std::sort(files.begin(), files.end(), [](const FileRec& x, const FileRec& y) {
        return x.rn.startMs != y.rn.startMs ? x.rn.startMs < y.rn.startMs : x.name < y.name;
    });

    std::set<std::string> present;
    for (const FileRec& f : files) present.insert(f.name);
    for (const auto& kv : b.cache)
        if (!present.count(kv.first)) cacheStale = true;

    b.files = std::move(files);
    b.bytes = bytes;
    b.cuid = cuid;
    if (cacheStale) {
        b.cache.clear();
        for (const FileRec& f : b.files) b.cache[f.name] = f;
        writeCache(d, b);
    }

    std::vector<RecordEntry> entries;
    entries.reserve(b.files.size());
    for (size_t i = 0; i < b.files.size(); ++i) {
        const FileRec& f = b.files[i];
        if (!f.probe.readable || f.rn.channel > RecordIndex::kChannels) continue;
        RecordEntry e;
        e.startMs = f.rn.startMs;
        e.endMs = f.rn.startMs + f.probe.durationMs;
        e.size = static_cast<uint64_t>(f.size);
        e.frames = f.probe.frames;
        e.fileIndex = static_cast<uint16_t>(std::min<size_t>(i, 65535));
        e.width = f.probe.width;
        e.height = f.probe.height;
        e.frameRate = static_cast<int16_t>(f.probe.frameRate);
        e.channel = static_cast<uint8_t>(f.rn.channel - 1);
        e.stream = static_cast<uint8_t>(f.rn.stream);
        e.recordType = static_cast<uint8_t>(f.rn.recordType);
        e.videoCodec = f.probe.videoCodec;
        e.audioCodec = f.probe.audioCodec;
        e.cuid = m_index.InternCUID(cuidFor(b, f.rn.channel));
        e.fileName = f.name;
        entries.push_back(std::move(e));
    }
    m_index.ReplaceBlock(static_cast<int>(diskIndex), b.number, std::move(entries));
    // The time taken before the listing: whatever changed after it is read next time. A probe
    // that was given up is tried again then.
    b.mtimeNs = aborted ? -1 : seenMtime;
    b.inode = inode;
}

void Storage::writeCache(const Disk& d, const Block& b) {
    const std::string bpath = d.path + "/" + MakeBlockDirName(static_cast<int>(b.number));
    std::ostringstream out;
    out << "KESTOINDEX 1\n";
    for (const FileRec& f : b.files) {
        const ProbeResult& p = f.probe;
        out << f.name << '\t' << f.size << ' ' << f.mtimeNs << ' ' << (p.readable ? 1 : 0) << ' '
            << p.durationMs << ' ' << int(p.videoCodec) << ' ' << int(p.audioCodec) << ' ' << p.width << ' '
            << p.height << ' ' << p.frameRate << ' ' << p.frames << ' ' << p.bitRateKbps << '\n';
    }
    // Only a cache: a failure costs a probe on the next start, nothing else.
    QSaveFile file(QString::fromStdString(bpath + "/" + kIndexCacheName));
    const std::string text = out.str();
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit())
        LumoPrintf("kestostorage: cannot write the index cache of %s\n", bpath.c_str());
}

std::string Storage::cuidFor(const Block& b, int channel) const {
    if (!b.cuid.empty()) return b.cuid;
    for (const ChannelConf& c : m_conf.channels)
        if (c.number == channel) return c.cuid;
    return std::string();
}

uint64_t Storage::diskBytes(const Disk& d) const {
    uint64_t total = d.markerBytes;
    for (const auto& kv : d.blocks) total += kv.second.bytes;
    return total;
}

uint64_t Storage::roomOf(const Disk& d, uint64_t freedBytes) const {
    uint64_t room = d.fsAvail + freedBytes;
    if (d.conf.capacityMB > 0) {
        const uint64_t cap = uint64_t(d.conf.capacityMB) << 20;
        const uint64_t used = diskBytes(d) - std::min(diskBytes(d), freedBytes);
        room = std::min(room, cap > used ? cap - used : 0);
    }
    return room;
}

bool Storage::isFull(const Disk& d, uint64_t extraBytes) const {
    return roomOf(d, 0) < (uint64_t(m_conf.freeSpaceFloorMB) << 20) + extraBytes;
}

Storage::DiskSnap Storage::snapOf(const Disk& d) const {
    DiskSnap s;
    if (d.accessible) s.state |= CLumoFSDiskInfo::STATE_MOUNTED;
    if (d.formatted) s.state |= CLumoFSDiskInfo::STATE_FORMATTED;
    if (d.accessible && d.formatted && !d.faulty) s.state |= CLumoFSDiskInfo::STATE_READY;
    if (d.faulty) s.state |= CLumoFSDiskInfo::STATE_FAULTY;
    if (d.accessible && d.formatted) {
        if (isFull(d, 0)) s.state |= CLumoFSDiskInfo::STATE_FULL;
        const uint64_t used = diskBytes(d);
        uint64_t total = used + d.fsAvail;
        if (d.conf.capacityMB > 0) total = std::min(total, uint64_t(d.conf.capacityMB) << 20);
        s.usedKB = static_cast<int64_t>(used >> 10);
        s.totalKB = static_cast<int64_t>(std::max(total, used) >> 10);
    }
    return s;
}

void Storage::fillDiskRow(size_t index, const DiskSnap& snap, IKestoDiskInfo* row) const {
    const Disk& d = *m_disks[index];
    row->SetID(static_cast<int64_t>(index) + 1);
    CLumoFSDiskInfo* info = row->GetInfo();
    info->SetShortName(d.conf.shortName);
    info->SetName(d.path);
    info->SetType(d.conf.type);
    info->SetSpace(snap.totalKB, snap.usedKB);
    uint32_t state = snap.state;
    // Live bits: true while the engine reads or writes, whoever holds the storage.
    if (d.readers.load() > 0) state |= CLumoFSDiskInfo::STATE_READING;
    if (d.writers.load() > 0) state |= CLumoFSDiskInfo::STATE_WRITING;
    info->SetState(state);
}

// ---- queries ----

int Storage::Mount(int timeoutMs) {
    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return LUMOSR_ERR_TIMEOUT;
    refreshAll();
    return LUMOSR_OK;
}

int Storage::Unmount(int timeoutMs) {
    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return LUMOSR_ERR_TIMEOUT;
    for (size_t i = 0; i < m_disks.size(); ++i) dropDisk(i);
    return LUMOSR_OK;
}

int Storage::DiskRows(IVantelList** out, int timeoutMs) {
    std::vector<DiskSnap> snaps;
    {
        std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
        if (lock.try_lock_for(std::chrono::milliseconds(std::min(timeoutMs, kDiskRowWaitMs)))) {
            refreshAll();
            for (const auto& d : m_disks) snaps.push_back(snapOf(*d));
            std::lock_guard<std::mutex> s(m_snapMutex);
            m_snaps = snaps;
        } else {
            // Busy with a format or a long read: answer with what was last known.
            std::lock_guard<std::mutex> s(m_snapMutex);
            snaps = m_snaps;
        }
    }
    IVantelList* list = IVantelList::CreateObject();
    for (size_t i = 0; i < m_disks.size(); ++i) {
        IKestoDiskInfo* row = IKestoDiskInfo::CreateObject();
        fillDiskRow(i, snaps[i], row);
        list->Add(row, false, false);
    }
    *out = list;
    return LUMOSR_OK;
}

int Storage::ChannelRows(IVantelList** out, int timeoutMs) {
    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return LUMOSR_ERR_TIMEOUT;
    refreshAll();

    std::map<int, const ChannelConf*> configured;
    for (const ChannelConf& c : m_conf.channels) configured[c.number] = &c;
    const std::map<int, unsigned> recorded = m_index.ChannelStreams();
    std::set<int> numbers;
    for (const auto& kv : configured) numbers.insert(kv.first);
    for (const auto& kv : recorded) numbers.insert(kv.first + 1);

    IVantelList* list = IVantelList::CreateObject();
    for (int number : numbers) {
        IKestoChanInfo* chan = IKestoChanInfo::CreateObject();
        chan->SetID(number);
        const ChannelConf* conf = configured.count(number) ? configured[number] : nullptr;
        auto rec = recorded.find(number - 1);
        const unsigned recStreams = rec == recorded.end() ? 0u : rec->second;
        std::string cuid = conf ? conf->cuid : std::string();
        if (conf) chan->SetName(conf->name);
        for (int s = 0; s < 3; ++s) {
            const StreamConf* sc = conf && conf->streams[s].present ? &conf->streams[s] : nullptr;
            const RecordEntry* latest = (recStreams & (1u << s)) ? m_index.Latest(s, number - 1) : nullptr;
            if (!sc && !latest) continue;
            IKestoStreamInfo* st = IKestoStreamInfo::CreateObject();
            st->SetID(s + 1);
            tag_STMDATA* data = st->GetData();
            if (sc) {
                data->recordMode = sc->recordMode;
                data->videoCodec = sc->videoCodec;
                data->audioCodec = sc->audioCodec;
                data->width = sc->width;
                data->height = sc->height;
                data->frameRate = sc->frameRate;
                data->bitRateKbps = sc->bitRateKbps;
            } else {
                // Known only from its files: described by the latest one, and not recording.
                data->recordMode = 0;
                data->videoCodec = latest->videoCodec;
                data->audioCodec = latest->audioCodec;
                data->width = latest->width;
                data->height = latest->height;
                data->frameRate = static_cast<uint16_t>(latest->frameRate > 0 ? latest->frameRate : 0);
                const int64_t ms = latest->endMs - latest->startMs;
                data->bitRateKbps = ms > 0 ? static_cast<int32_t>(latest->size * 8 / uint64_t(ms)) : 0;
            }
            if (cuid.empty() && latest) cuid = m_index.CUID(latest->cuid);
            chan->AddStream(st);
        }
        chan->SetCUID(cuid);
        list->Add(chan, false, false);
    }
    *out = list;
    return LUMOSR_OK;
}

int Storage::CuidRows(IVantelList** out, int timeoutMs) {
    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return LUMOSR_ERR_TIMEOUT;
    refreshAll();
    std::set<std::string> cuids;
    for (const ChannelConf& c : m_conf.channels)
        if (!c.cuid.empty()) cuids.insert(c.cuid);
    for (const auto& d : m_disks)
        for (const auto& kv : d->blocks)
            for (const FileRec& f : kv.second.files) {
                if (!f.probe.readable) continue;
                const std::string c = cuidFor(kv.second, f.rn.channel);
                if (!c.empty()) cuids.insert(c);
            }
    IVantelList* list = IVantelList::CreateObject();
    for (const std::string& c : cuids) list->Add(IVantelText::CreateObject(c), false, false);
    *out = list;
    return LUMOSR_OK;
}

int Storage::BlockRows(int64_t diskId, IVantelList* list, int timeoutMs) {
    if (diskId < 1 || diskId > int64_t(m_disks.size())) return LUMOSR_ERR_NOTFOUND;
    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return LUMOSR_ERR_TIMEOUT;
    const size_t index = static_cast<size_t>(diskId - 1);
    refreshDisk(index);
    const Disk& d = *m_disks[index];
    const int scale = clusterScale();
    const uint64_t capacity = uint64_t(m_conf.blockCapacityMB) << 20;
    for (const auto& kv : d.blocks) {
        const Block& b = kv.second;
        IKestoBlockInfo* row = IKestoBlockInfo::CreateObject();
        row->SetID(b.number);
        CLumoFSBlockInfo* info = row->GetInfo();
        info->SetIDB(static_cast<int>(b.number));
        info->SetIDD(static_cast<int>(index));
        int clusters = static_cast<int>(std::min<uint64_t>(scale, (b.bytes * uint64_t(scale)) / capacity));
        if (b.bytes > 0 && clusters == 0) clusters = 1;  // a block holding anything never shows as empty
        info->SetClusterUsed(clusters);
        int64_t first = 0, last = 0;
        uint64_t usedMs = 0, frames = 0;
        uint16_t modes = 0;
        int fileNum = 0;
        bool any = false;
        for (const FileRec& f : b.files) {
            ++fileNum;
            if (!f.probe.readable) continue;
            const int64_t end = f.rn.startMs + f.probe.durationMs;
            if (!any) {
                first = f.rn.startMs;
                last = end;
                info->SetIDS(static_cast<uint8_t>(f.rn.stream));
                info->SetCUID(cuidFor(b, f.rn.channel));
                any = true;
            }
            first = std::min(first, f.rn.startMs);
            last = std::max(last, end);
            usedMs += static_cast<uint64_t>(f.probe.durationMs);
            frames += f.probe.frames;
            modes |= modeOfRecordType(f.rn.recordType);
        }
        if (any) {
            info->SetState(CLumoFSBlockInfo::STATE_IN_USE);
            info->SetMediaType(1);
            info->SetRecType(modes);
            info->SetTimeS(CLumoTime::FromEpochMs(first));
            info->SetTimeE(CLumoTime::FromEpochMs(last));
        } else if (!b.cuid.empty()) {
            info->SetCUID(b.cuid);
        }
        info->SetUsedTime(static_cast<uint32_t>(usedMs / 1000));
        info->SetFileNum(fileNum);
        info->SetFrameNum(static_cast<uint32_t>(std::min<uint64_t>(frames, 0xFFFFFFFFu)));
        list->Add(row, false, false);
    }
    return LUMOSR_OK;
}

int Storage::removeBlock(size_t diskIndex, uint32_t number, std::string* error) {
    Disk& d = *m_disks[diskIndex];
    // Unindex first, then remove: a row never points at a file that is gone.
    m_index.RemoveBlock(static_cast<int>(diskIndex), number);
    d.blocks.erase(number);
    int fd = ::open(d.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = d.path + ": " + std::strerror(errno);
        return -1;
    }
    int rc = RemoveEntryAt(fd, MakeBlockDirName(static_cast<int>(number)), error);
    ::close(fd);
    d.dirMtimeNs = -1;
    return rc;
}

int Storage::Format(int64_t diskId, int timeoutMs) {
    if (diskId < 1 || diskId > int64_t(m_disks.size())) return LUMOSR_ERR_NOTFOUND;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_until(deadline)) return LUMOSR_ERR_TIMEOUT;
    const size_t index = static_cast<size_t>(diskId - 1);
    Disk& d = *m_disks[index];
    // A disk that is being written is formatted once its writers are done, or not at all.
    if (!m_writersDone.wait_until(lock, deadline, [&] { return d.writers.load() == 0; })) {
        LumoPrintf("kestostorage: %s is being written; not formatted\n", d.path.c_str());
        return LUMOSR_ERR_STATE;
    }
    struct stat st;
    statDisk(d, &st);  // no need to read the blocks that are about to go
    if (!d.present) {
        // Never create the folder: a missing disk may be an unmounted one, and its folder on the
        // parent file system is not ours to fill.
        LumoPrintf("kestostorage: %s is missing; not formatted\n", d.path.c_str());
        return LUMOSR_ERR_NOTFOUND;
    }
    if (!d.accessible || !d.writable) return LUMOSR_ERR_IO;

    bool ok = false;
    const std::vector<std::string> names = listDir(d.path, &ok);
    if (!ok) return LUMOSR_ERR_IO;
    if (!d.formatted && !names.empty()) {
        LumoPrintf("kestostorage: %s holds files but no disk mark; not formatted\n", d.path.c_str());
        return LUMOSR_ERR_REFUSED;
    }

    CountGuard writing(d.writers);
    std::string error;
    int failures = 0;
    m_index.RemoveDisk(static_cast<int>(index));
    d.blocks.clear();
    d.dirMtimeNs = -1;
    int fd = ::open(d.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LUMOSR_ERR_IO;
    for (const std::string& n : names) {
        // The engine's own entries only: block folders (and anything under a block name, a link
        // included, which is removed itself) and its work files. Whatever else lies there stays.
        const bool ours = ParseBlockDirName(n) >= 0 || n == kIndexCacheName || n.compare(0, 5, ".tmp.") == 0;
        if (ours && RemoveEntryAt(fd, n, &error) != 0) ++failures;
    }
    ::close(fd);
    SyncDirectory(d.path);
    if (failures) {
        // The old mark stays: what could not be removed is still the engine's and is read again.
        LumoPrintf("kestostorage: format of %s incomplete: %s\n", d.path.c_str(), error.c_str());
        refreshDisk(index);
        return LUMOSR_ERR_IO;
    }
    CLumoString when;
    CLumoTime::Now().BuildISO8601(when);
    const std::string mark = std::string("KestoDisk 1\nformatted=") + when.GetBuffer() + "\n";
    if (WriteFileDurably(d.path + "/" + kMarkerName, mark, &error) != 0) {
        LumoPrintf("kestostorage: cannot mark %s: %s\n", d.path.c_str(), error.c_str());
        refreshDisk(index);
        return LUMOSR_ERR_IO;
    }
    refreshDisk(index);
    return LUMOSR_OK;
}

int Storage::Search(const ILumoFSSearchParam& param, uint64_t* cursor, CLumoFileDescList* out, int max,
                    int timeoutMs) {
    if (param.GetMediaType() != 0 && param.GetMediaType() != 1) return 0;  // only video records are kept
    RecordQuery q;
    q.startMs = param.GetTimeS().IsEmpty() ? INT64_MIN / 2 : param.GetTimeS().ToEpochMs();
    q.endMs = param.GetTimeE().IsEmpty() ? INT64_MAX / 2 : param.GetTimeE().ToEpochMs();
    for (int s = 0; s < 3; ++s) q.channelMask[s] = param.GetChannelMask(s);
    q.streamType = param.GetStreamType();
    q.recordTypeMask = param.GetRecordType();
    q.cuids = param.GetCUIDs();

    std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return LUMOSR_ERR_TIMEOUT;
    if (!cursor || *cursor == 0) refreshAll();  // a continued search reads the index it started on
    std::vector<const RecordEntry*> found;
    const int n = m_index.Search(q, cursor, found, max);
    for (const RecordEntry* e : found) {
        const Disk& d = *m_disks[e->disk];
        const std::string block = MakeBlockDirName(static_cast<int>(e->block));
        auto* desc = new CLumoFileDesc();
        const std::string uri =
            "lumofs://local/disk=" + d.conf.shortName + "&path=" + block + "&filename=" + e->fileName;
        desc->SetURI(uri.c_str());
        desc->SetFileName(e->fileName.c_str());
        desc->SetSaveFileName(e->fileName.c_str());
        desc->SetTimeS(CLumoTime::FromEpochMs(e->startMs));
        desc->SetTimeE(CLumoTime::FromEpochMs(e->endMs));
        desc->SetChannel(e->channel);
        desc->SetStreamType(e->stream);
        desc->SetRecordType(e->recordType);
        desc->SetCUID(m_index.CUID(e->cuid).c_str());
        desc->SetSize(e->size);
        desc->SetResolution(e->width, e->height);
        desc->SetCodecs(e->videoCodec, e->audioCodec);
        desc->SetFrameRate(e->frameRate);
        desc->SetLocation(e->disk, static_cast<int>(e->block), e->fileIndex);
        out->Append(desc);
    }
    return n;
}

int Storage::ResolveUri(const std::string& uri, std::string* path) const {
    static const std::string prefix = "lumofs://local/";
    if (uri.compare(0, prefix.size(), prefix) != 0) return LUMOSR_ERR_PARAM;
    std::map<std::string, std::string> fields;
    std::istringstream in(uri.substr(prefix.size()));
    std::string part;
    while (std::getline(in, part, '&')) {
        const size_t eq = part.find('=');
        if (eq == std::string::npos) return LUMOSR_ERR_PARAM;
        fields[part.substr(0, eq)] = part.substr(eq + 1);
    }
    const std::string& disk = fields["disk"];
    const std::string& block = fields["path"];
    const std::string& name = fields["filename"];
    RecordName rn;
    if (ParseBlockDirName(block) < 0 || !ParseRecordFileName(name, &rn)) return LUMOSR_ERR_PARAM;
    for (const auto& d : m_disks)
        if (d->conf.shortName == disk) {
            if (path) *path = d->path + "/" + block + "/" + name;
            return LUMOSR_OK;
        }
    return LUMOSR_ERR_NOTFOUND;
}

// ---- writing ----

int Storage::StoreRecordFile(const std::string& source, int channel, int stream, int recordType,
                             int64_t startMs, int timeoutMs, std::string* uri) {
    struct stat src;
    if (::stat(source.c_str(), &src) != 0) return LUMOSR_ERR_NOTFOUND;
    if (S_ISDIR(src.st_mode)) return LUMOSR_ERR_PARAM;
    std::string ext;
    const size_t dot = source.rfind('.');
    if (dot != std::string::npos && source.find('/', dot) == std::string::npos) ext = source.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "ts") ext = "dav";  // our .dav is an MPEG-TS stream
    RecordName rn;
    rn.channel = channel;
    rn.stream = stream;
    rn.recordType = recordType;
    rn.startMs = startMs - startMs % 1000;
    rn.extension = ext;
    const std::string name = MakeRecordFileName(rn);
    if (name.empty() || channel > RecordIndex::kChannels) return LUMOSR_ERR_PARAM;
    const uint64_t size = S_ISREG(src.st_mode) ? uint64_t(src.st_size) : 0;
    const uint64_t capacity = uint64_t(m_conf.blockCapacityMB) << 20;

    size_t diskIndex = 0;
    uint32_t blockNo = 0;
    std::string blockPath;
    {
        std::unique_lock<std::timed_mutex> lock(m_mutex, std::defer_lock);
        if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return LUMOSR_ERR_TIMEOUT;
        refreshAll();
        int chosen = -1;
        for (size_t i = 0; i < m_disks.size() && chosen < 0; ++i) {
            const Disk& d = *m_disks[i];
            if (d.writable && d.formatted && !d.faulty && !isFull(d, size)) chosen = static_cast<int>(i);
        }
        if (chosen < 0) {
            if (!overwriteWhenFull()) return LUMOSR_ERR_FULL;
            // Overwrite: give up the oldest blocks of the first usable disk until the file fits.
            for (size_t i = 0; i < m_disks.size() && chosen < 0; ++i) {
                Disk& d = *m_disks[i];
                if (!d.writable || !d.formatted || d.faulty) continue;
                // Give nothing up unless giving up every block that may go would make room.
                uint64_t freeable = 0;
                for (const auto& kv : d.blocks)
                    if (!d.busyBlocks.count(kv.first) && !kv.second.files.empty())
                        freeable += kv.second.bytes;
                if (roomOf(d, freeable) < (uint64_t(m_conf.freeSpaceFloorMB) << 20) + size) continue;
                while (isFull(d, size)) {
                    int64_t oldest = INT64_MAX;
                    int64_t victim = -1;
                    for (const auto& kv : d.blocks) {
                        if (d.busyBlocks.count(kv.first) || kv.second.files.empty()) continue;
                        if (kv.second.files.front().rn.startMs < oldest) {
                            oldest = kv.second.files.front().rn.startMs;
                            victim = kv.first;
                        }
                    }
                    if (victim < 0) break;
                    std::string error;
                    CountGuard writing(d.writers);
                    if (removeBlock(i, static_cast<uint32_t>(victim), &error) != 0) {
                        LumoPrintf("kestostorage: cannot overwrite a block of %s: %s\n", d.path.c_str(),
                                   error.c_str());
                        refreshDisk(i);
                        break;
                    }
                    refreshDisk(i);
                }
                if (!isFull(d, size)) chosen = static_cast<int>(i);
            }
            if (chosen < 0) return LUMOSR_ERR_FULL;
        }
        diskIndex = static_cast<size_t>(chosen);
        Disk& d = *m_disks[diskIndex];
        // The newest block of this channel and stream while it has room, else a new block.
        int64_t found = -1, highest = -1;
        for (const auto& kv : d.blocks) {
            highest = std::max<int64_t>(highest, kv.first);
            const Block& b = kv.second;
            const bool same =
                !b.files.empty() && std::all_of(b.files.begin(), b.files.end(), [&](const FileRec& f) {
                    return f.rn.channel == channel && f.rn.stream == stream;
                });
            if (same && b.bytes + size <= capacity) found = kv.first;
        }
        std::string error;
        if (found < 0) {
            if (highest + 1 > 99999) return LUMOSR_ERR_FULL;
            found = highest + 1;
            blockPath = d.path + "/" + MakeBlockDirName(static_cast<int>(found));
            if (::mkdir(blockPath.c_str(), 0755) != 0) return LUMOSR_ERR_IO;
            std::string cuid;
            for (const ChannelConf& c : m_conf.channels)
                if (c.number == channel) cuid = c.cuid;
            if (!cuid.empty() &&
                WriteFileDurably(blockPath + "/" + kBlockIniName, "cuid=" + cuid + "\n", &error) != 0)
                LumoPrintf("kestostorage: %s\n", error.c_str());
            SyncDirectory(d.path);
        }
        blockNo = static_cast<uint32_t>(found);
        blockPath = d.path + "/" + MakeBlockDirName(static_cast<int>(found));
        struct stat exists;
        if (::lstat((blockPath + "/" + name).c_str(), &exists) == 0) return LUMOSR_ERR_REFUSED;
        ++d.writers;
        ++d.busyBlocks[blockNo];
    }

    // Write and sync outside the lock (queries go on); the writer count keeps a format away.
    std::string error;
    const std::string part = blockPath + "/.part." + name;
    int rc = CopyFileDurably(source, part, &error);
    if (rc == 0 && ::rename(part.c_str(), (blockPath + "/" + name).c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(part.c_str());
        rc = -1;
    }
    if (rc == 0) SyncDirectory(blockPath);

    std::unique_lock<std::timed_mutex> lock(m_mutex);
    Disk& d = *m_disks[diskIndex];
    int result = LUMOSR_OK;
    if (rc != 0) {
        LumoPrintf("kestostorage: cannot store %s: %s\n", name.c_str(), error.c_str());
        result = LUMOSR_ERR_IO;
    } else {
        // Then index it. A file that turns out unreadable is not kept.
        refreshDisk(diskIndex);
        auto b = d.blocks.find(blockNo);
        bool indexed = false;
        if (b != d.blocks.end())
            for (const FileRec& f : b->second.files)
                if (f.name == name) indexed = f.probe.readable;
        if (!indexed) {
            ::unlink((blockPath + "/" + name).c_str());
            refreshDisk(diskIndex);
            result = LUMOSR_ERR_PARAM;
        } else if (uri) {
            *uri = "lumofs://local/disk=" + d.conf.shortName +
                   "&path=" + MakeBlockDirName(static_cast<int>(blockNo)) + "&filename=" + name;
        }
    }
    if (--d.busyBlocks[blockNo] == 0) d.busyBlocks.erase(blockNo);
    --d.writers;
    m_writersDone.notify_all();
    return result;
}

}  // namespace kesto
