// The engine's storage.
//
// Locks and threads:
//  - m_mutex, the storage lock, guards what was read of the disks, their blocks and files, and the
//    index. It is held for short steps only: listing folders, reading and writing the engine's
//    small caches and marks, updating the index, building a snapshot, removing one block when a
//    full disk is overwritten. It is never held while a media file is probed, while a record file
//    is copied in, or while a format removes a disk's files.
//  - Only the reading thread probes for the index, in readings: (1) under the lock, list what
//    changed, take each record file whose probe result is not known as a job, publish a snapshot;
//    (2) without the lock, probe the jobs, a few at a time, each with a deadline and a byte budget;
//    (3) under the lock, apply each result only to a file that is still the same (same disk
//    epoch, block, name, size and mtime, still waiting for it), then publish again.
//  - A writer probes the file it stored itself, without the lock, before indexing it.
//  - m_snapMutex guards only the pointer to the last snapshot. The disk, channel, camera-identity
//    and block queries build their rows from it: they never take the storage lock and never wait
//    for a probe (only the first query waits for the disks' first listing, which probes nothing).
//    Each query asks for a reading without waiting for it.
//  - m_readMutex guards the reading requests; a new search waits (within its timeout) for a reading
//    that started after it asked, then takes the storage lock briefly to search the index.
//  - AbortProbes and Shutdown change what every probe's interrupt check and the loop between files
//    read: the reading in progress ends at once, and no further file of it is probed.
//
// What holds (relied on by every query):
//  1. Every index row has its file and every readable record file of a formatted disk has its row,
//     as of the last listing of its block and the probes applied since. A block is listed again
//     whenever its folder changed (mtime or inode); a file waiting for its probe is counted in its
//     block but has no row.
//  2. Create = write to a work file, sync, rename into the block, sync the folder, probe, then
//     index. A reader never sees a half-written record file: names starting with '.' are never
//     records.
//  3. Delete = unindex, then remove. A format unindexes the whole disk and marks it as formatting
//     (no reading, no writer) before removing anything, and keeps the disk mark until every file
//     of the engine is gone, so a failed format leaves a formatted disk that is simply read again.
//  4. Removal never follows a symbolic link (the link is removed, not its target), never enters
//     another file system, and never touches anything outside the disk folder or anything in it
//     that is not the engine's (its mark, block folders and work files).
//  5. Only folders bearing the engine's mark are indexed or formatted; a folder with foreign
//     content and no mark is refused, and a missing disk folder is never created.
//  6. Disks are the real folders their settings named when read: no disk is another's folder or
//     lies inside or around it (storageconfig.cpp), and a disk folder that has come to lead
//     elsewhere since is taken as missing.
//  7. The probe results cached per block (.kestoindex) are only a cache: a file whose size or
//     mtime differs from its cached line is probed again, a lost cache costs probes only, and a
//     result given up at the deadline or by a stop is neither cached nor kept.
#include "storage.h"

#include <QSettings>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "LumoBase/atomicfile.h"
#include "LumoFS/LumoRecordAddress.h"
#include "fsutil.h"
#include "lasterror.h"

namespace kesto {

namespace {

// The longest a probe may take. A garbage file is judged by its first bytes (the probe's byte
// budget) long before; the deadline is for a disk that answers slowly.
const int kProbeTimeoutMs = 1500;
const char* const kCacheHeader = "KESTOINDEX 2";  // 2: readable means a picture was decoded

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

std::string systemError(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
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
        d->io = dc.realPath;
        m_disks.push_back(std::move(d));
    }
    for (const ConfProblem& p : m_conf.problems)
        LumoPrintf("kestostorage: %s\n", ProblemLine(m_conf, p).toUtf8().constData());
}

Storage::~Storage() {
    Shutdown();
}

// ---- the reading thread ----

uint64_t Storage::requestReadLocked() {
    if (m_quit.load()) return m_readsWanted;
    if (!m_reader.joinable()) m_reader = std::thread(&Storage::readLoop, this);
    // A reading that has not started yet sees whatever changed before it: share it.
    if (m_readsWanted == m_readsStarted) ++m_readsWanted;
    m_readCv.notify_all();
    return m_readsWanted;
}

void Storage::readLoop() {
    std::unique_lock<std::mutex> lk(m_readMutex);
    for (;;) {
        m_readCv.wait(lk, [this] { return m_quit.load() || m_readsWanted > m_readsStarted; });
        if (m_quit.load()) break;
        const uint64_t reading = m_readsWanted;
        m_readsStarted = reading;
        const uint64_t generation = m_abortGeneration.load();
        lk.unlock();
        const bool complete = readOnce(generation);
        lk.lock();
        m_readsDone = reading;
        m_lastReadComplete = complete;
        m_readCv.notify_all();
    }
    m_readCv.notify_all();
}

bool Storage::readOnce(uint64_t generation) {
    auto aborted = [this, generation] { return m_quit.load() || m_abortGeneration.load() != generation; };
    std::vector<ProbeJob> jobs;
    {
        std::lock_guard<TimedLock> lock(m_mutex);
        readDisks(&jobs);
        publish();
    }
    {
        std::lock_guard<std::mutex> lk(m_readMutex);
        m_firstReadDone = true;
        m_readCv.notify_all();
    }
    if (jobs.empty()) return !aborted();
    probeAll(jobs, aborted);
    {
        std::lock_guard<TimedLock> lock(m_mutex);
        applyProbes(jobs);
        publish();
    }
    return !aborted();
}

void Storage::probeAll(std::vector<ProbeJob>& jobs, const std::function<bool()>& aborted) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next++) < jobs.size();) {
            if (aborted()) continue;  // after a stop, no further file is started
            ProbeJob& j = jobs[i];
            CountGuard reading(m_disks[j.disk]->readers);
            j.result = ProbeMediaFile(j.path, kProbeTimeoutMs, aborted);
            j.done = true;
        }
    };
    const size_t threads =
        std::min<size_t>(jobs.size(), std::max(1u, std::min(4u, std::thread::hardware_concurrency())));
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
}

void Storage::Mount() {
    std::lock_guard<std::mutex> lk(m_readMutex);
    requestReadLocked();
}

void Storage::AbortProbes() {
    std::lock_guard<std::mutex> lk(m_readMutex);
    ++m_abortGeneration;
    // Readings asked for but not started are dropped too; their waiters learn of the stop.
    m_readsStarted = m_readsWanted;
    m_readCv.notify_all();
}

void Storage::Shutdown() {
    std::thread reader;
    {
        std::lock_guard<std::mutex> lk(m_readMutex);
        m_quit = true;
        ++m_abortGeneration;
        m_readCv.notify_all();
        reader = std::move(m_reader);
    }
    if (reader.joinable()) {
        if (reader.get_id() == std::this_thread::get_id())
            reader.detach();
        else
            reader.join();
    }
}

std::shared_ptr<const Storage::Snapshot> Storage::snapshot(int timeoutMs) {
    {
        std::unique_lock<std::mutex> lk(m_readMutex);
        requestReadLocked();
        m_readCv.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                          [this] { return m_firstReadDone || m_quit.load(); });
    }
    std::lock_guard<std::mutex> s(m_snapMutex);
    return m_snapshot;
}

int Storage::waitForIndex(int timeoutMs) {
    std::unique_lock<std::mutex> lk(m_readMutex);
    const uint64_t generation = m_abortGeneration.load();
    const uint64_t ticket = requestReadLocked();
    // A stop meanwhile ends the wait: the reading it waited for is given up.
    auto stopped = [&] { return m_quit.load() || m_abortGeneration.load() != generation; };
    if (!m_readCv.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                           [&] { return stopped() || m_readsDone >= ticket; }))
        return LUMOSR_ERR_TIMEOUT;
    if (m_readsDone < ticket || m_quit.load()) return LUMOSR_ERR_STATE;
    return m_lastReadComplete ? LUMOSR_OK : LUMOSR_ERR_STATE;
}

// ---- reading the disks (under m_mutex) ----

void Storage::dropDisk(size_t index) {
    Disk& d = *m_disks[index];
    m_index.RemoveDisk(static_cast<int>(index));
    d.blocks.clear();
    d.dirMtimeNs = -1;
    d.dirInode = 0;
    ++d.epoch;
}

void Storage::readDisks(std::vector<ProbeJob>* jobs) {
    for (size_t i = 0; i < m_disks.size(); ++i) readDisk(i, jobs);
}

bool Storage::statDisk(Disk& d, struct stat* dirStat) {
    struct stat& st = *dirStat;
    d.faulty = false;
    d.missing.clear();
    const int statError = ::stat(d.io.c_str(), &st) == 0 ? 0 : errno;
    d.present = statError == 0 && S_ISDIR(st.st_mode);
    if (statError == EIO) d.faulty = true;
    if (statError == ENOENT || statError == ENOTDIR)
        d.missing = "does not exist";
    else if (statError != 0)
        d.missing = std::string("cannot be reached (") + std::strerror(statError) + ")";
    else if (!d.present)
        d.missing = "is not a folder";
    if (d.present) {
        // A link put in place of a disk folder (or above it) since the settings were read makes
        // it another folder, possibly another disk's: not this disk.
        char real[PATH_MAX];
        if (::realpath(d.io.c_str(), real) && d.io != real) {
            d.present = false;
            d.missing = std::string("now leads to ") + real +
                        ", not to the folder read with the settings; the disk is left alone until the engine "
                        "reads its settings again";
        }
    }
    if (!d.missing.empty() && d.missing.compare(0, 10, "now leads ") != 0)
        d.missing +=
            "; the disk is shown as missing, and the engine neither creates its folder nor writes there";
    d.accessible = d.present && ::access(d.io.c_str(), R_OK | X_OK) == 0;
    d.writable = d.accessible && ::access(d.io.c_str(), W_OK) == 0;
    d.formatted = false;
    if (!d.accessible) return false;
    struct statvfs vfs;
    if (::statvfs(d.io.c_str(), &vfs) == 0) {
        d.fsAvail = uint64_t(vfs.f_bavail) * vfs.f_frsize;
    } else {
        d.fsAvail = 0;
        d.faulty = true;
    }
    struct stat mk;
    const std::string marker = d.io + "/" + kMarkerName;
    const int markError = ::lstat(marker.c_str(), &mk) == 0 ? 0 : errno;
    if (markError == 0 && S_ISREG(mk.st_mode)) {
        d.formatted = true;
        d.markerBytes = static_cast<uint64_t>(mk.st_size);
    } else if (markError == EIO) {
        d.faulty = true;
    }
    return true;
}

void Storage::readDisk(size_t index, std::vector<ProbeJob>* jobs) {
    Disk& d = *m_disks[index];
    if (d.formatting) return;  // its files are going; the format reads it again when done
    struct stat st;
    if (!statDisk(d, &st) || !d.formatted) {
        // Only the engine's own disks are indexed: an unformatted folder may hold anything.
        if (!d.blocks.empty() || d.dirMtimeNs != -1) dropDisk(index);
        return;
    }

    if (mtimeNs(st) != d.dirMtimeNs || uint64_t(st.st_ino) != d.dirInode) {
        const int64_t seen = mtimeNs(st);
        bool ok = false;
        const std::vector<std::string> names = listDir(d.io, &ok);
        if (!ok) {
            d.faulty = true;
        } else {
            std::set<uint32_t> found;
            for (const std::string& n : names) {
                const int number = ParseBlockDirName(n);
                struct stat bs;
                if (number < 0 || ::lstat((d.io + "/" + n).c_str(), &bs) != 0 || !S_ISDIR(bs.st_mode))
                    continue;
                found.insert(static_cast<uint32_t>(number));
                d.blocks[static_cast<uint32_t>(number)].number = static_cast<uint32_t>(number);
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
        if (::lstat(blockPath(d, b.number).c_str(), &bs) != 0 || !S_ISDIR(bs.st_mode)) {
            b.mtimeNs = -1;  // gone since the listing: the next listing drops it
            d.dirMtimeNs = -1;
            continue;
        }
        if (mtimeNs(bs) != b.mtimeNs || uint64_t(bs.st_ino) != b.inode)
            listBlock(index, b, mtimeNs(bs), bs.st_ino);
        if (!jobs) continue;
        for (const FileRec& f : b.files)
            if (!f.probed) {
                ProbeJob j;
                j.disk = index;
                j.epoch = d.epoch;
                j.block = b.number;
                j.name = f.name;
                j.path = blockPath(d, b.number) + "/" + f.name;
                j.size = f.size;
                j.mtimeNs = f.mtimeNs;
                jobs->push_back(std::move(j));
            }
    }
}

void Storage::loadMemo(const std::string& bpath, Block& b) {
    if (b.memoLoaded) return;
    b.memoLoaded = true;
    std::ifstream in(bpath + "/" + kIndexCacheName);
    std::string line;
    // Another header is another engine's judgement of the files: probe them again.
    if (!std::getline(in, line) || line != kCacheHeader) return;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        FileRec f;
        int readable = 0, v = 0, a = 0, w = 0, h = 0, fps = 0;
        if (!std::getline(ls, f.name, '\t')) continue;
        if (!(ls >> f.size >> f.mtimeNs >> readable >> f.probe.durationMs >> v >> a >> w >> h >> fps >>
              f.probe.frames >> f.probe.bitRateKbps))
            continue;
        f.probed = true;
        f.probe.readable = readable != 0;
        f.probe.videoCodec = static_cast<uint8_t>(v);
        f.probe.audioCodec = static_cast<uint8_t>(a);
        f.probe.width = static_cast<uint16_t>(w);
        f.probe.height = static_cast<uint16_t>(h);
        f.probe.frameRate = fps;
        b.memo.emplace(f.name, f);  // what a probe of this run found stays
    }
}

void Storage::listBlock(size_t diskIndex, Block& b, int64_t seenMtime, uint64_t inode) {
    Disk& d = *m_disks[diskIndex];
    CountGuard reading(d.readers);
    const std::string bpath = blockPath(d, b.number);

    bool ok = false;
    const std::vector<std::string> names = listDir(bpath, &ok);
    if (!ok) {
        d.faulty = true;
        return;
    }
    loadMemo(bpath, b);

    std::vector<FileRec> files;
    uint64_t bytes = 0;
    std::string cuid;
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
        f.device = static_cast<uint64_t>(fs.st_dev);
        f.inode = static_cast<uint64_t>(fs.st_ino);
        auto m = b.memo.find(n);
        if (m != b.memo.end() && m->second.size == f.size && m->second.mtimeNs == f.mtimeNs) {
            f.probed = true;
            f.probe = m->second.probe;
        }
        files.push_back(std::move(f));
    }
    std::sort(files.begin(), files.end(), [](const FileRec& x, const FileRec& y) {
        return x.rn.startMs != y.rn.startMs ? x.rn.startMs < y.rn.startMs : x.name < y.name;
    });

    // Results of files that are gone or changed are forgotten, and the cache follows.
    std::set<std::string> current;
    for (const FileRec& f : files)
        if (f.probed) current.insert(f.name);
    bool cacheStale = false;
    for (auto it = b.memo.begin(); it != b.memo.end();) {
        if (!current.count(it->first)) {
            it = b.memo.erase(it);
            cacheStale = true;
        } else {
            ++it;
        }
    }

    b.files = std::move(files);
    b.bytes = bytes;
    b.cuid = cuid;
    indexBlock(diskIndex, b);
    summarize(d, b);
    if (cacheStale) writeCache(d, b);
    // The time taken before the listing: whatever changed after it is listed next time.
    b.mtimeNs = seenMtime;
    b.inode = inode;
}

void Storage::indexBlock(size_t diskIndex, Block& b) {
    std::vector<RecordEntry> entries;
    entries.reserve(b.files.size());
    for (size_t i = 0; i < b.files.size(); ++i) {
        const FileRec& f = b.files[i];
        if (!f.probed || !f.probe.readable || f.rn.channel > RecordIndex::kChannels) continue;
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
}

void Storage::applyProbes(std::vector<ProbeJob>& jobs) {
    std::set<std::pair<size_t, uint32_t>> touched;
    for (ProbeJob& j : jobs) {
        if (!j.done || j.result.aborted) continue;  // tried again by a later reading
        Disk& d = *m_disks[j.disk];
        if (d.epoch != j.epoch || d.formatting) continue;
        auto b = d.blocks.find(j.block);
        if (b == d.blocks.end()) continue;
        for (FileRec& f : b->second.files) {
            if (f.name != j.name || f.size != j.size || f.mtimeNs != j.mtimeNs || f.probed) continue;
            if (j.result.timedOut) {
                LumoPrintf("kestostorage: %s took longer than %d ms to read; tried again later\n",
                           j.path.c_str(), kProbeTimeoutMs);
                break;
            }
            f.probed = true;
            f.probe = j.result;
            b->second.memo[f.name] = f;
            if (!f.probe.readable)
                LumoPrintf("kestostorage: %s is not a record (%s); left out of the index\n", j.path.c_str(),
                           f.probe.error.c_str());
            touched.insert({j.disk, j.block});
            break;
        }
    }
    for (const auto& t : touched) {
        Disk& d = *m_disks[t.first];
        Block& b = d.blocks[t.second];
        indexBlock(t.first, b);
        summarize(d, b);
        writeCache(d, b);
    }
}

void Storage::writeCache(const Disk& d, const Block& b) {
    const std::string bpath = blockPath(d, b.number);
    std::ostringstream out;
    out << kCacheHeader << '\n';
    for (const FileRec& f : b.files) {
        if (!f.probed) continue;
        const ProbeResult& p = f.probe;
        out << f.name << '\t' << f.size << ' ' << f.mtimeNs << ' ' << (p.readable ? 1 : 0) << ' '
            << p.durationMs << ' ' << int(p.videoCodec) << ' ' << int(p.audioCodec) << ' ' << p.width << ' '
            << p.height << ' ' << p.frameRate << ' ' << p.frames << ' ' << p.bitRateKbps << '\n';
    }
    // Only a cache: a failure costs a probe on the next start, nothing else; the old cache stays
    // whole (its lines are checked against each file's size and mtime).
    const std::string text = out.str();
    const LumoSaveResult saved = LumoSaveFileAtomic(bpath + "/" + kIndexCacheName, text.data(), text.size());
    if (!saved.ok())
        LumoPrintf("kestostorage: cannot write the index cache of %s: %s\n", bpath.c_str(), saved.message.c_str());
}

void Storage::summarize(const Disk& d, Block& b) const {
    BlockRow& r = b.row;
    r = BlockRow();
    r.number = b.number;
    const int scale = clusterScale();
    const uint64_t capacity = uint64_t(m_conf.blockCapacityMB) << 20;
    r.clusters = static_cast<int>(std::min<uint64_t>(scale, (b.bytes * uint64_t(scale)) / capacity));
    if (b.bytes > 0 && r.clusters == 0) r.clusters = 1;  // a block holding anything never shows as empty
    uint64_t usedMs = 0, frames = 0;
    b.cuids.clear();
    for (const FileRec& f : b.files) {
        ++r.fileNum;
        if (!f.probed || !f.probe.readable) continue;
        const int64_t end = f.rn.startMs + f.probe.durationMs;
        const std::string cuid = cuidFor(b, f.rn.channel);
        if (!cuid.empty()) b.cuids.insert(cuid);
        if (!r.timed) {
            r.firstMs = f.rn.startMs;
            r.lastMs = end;
            r.stream = static_cast<uint8_t>(f.rn.stream);
            r.cuid = cuid;
            r.timed = true;
        }
        r.firstMs = std::min(r.firstMs, f.rn.startMs);
        r.lastMs = std::max(r.lastMs, end);
        usedMs += static_cast<uint64_t>(f.probe.durationMs);
        frames += f.probe.frames;
        r.recTypes |= modeOfRecordType(f.rn.recordType);
    }
    if (r.timed) {
        r.state = CLumoFSBlockInfo::STATE_IN_USE;
        r.mediaType = 1;
    } else {
        r.cuid = b.cuid;
    }
    r.usedSec = static_cast<uint32_t>(usedMs / 1000);
    r.frames = static_cast<uint32_t>(std::min<uint64_t>(frames, 0xFFFFFFFFu));
    (void)d;
}

void Storage::publish() {
    auto s = std::make_shared<Snapshot>();
    std::set<std::string> cuids;
    for (const ChannelConf& c : m_conf.channels)
        if (!c.cuid.empty()) cuids.insert(c.cuid);
    for (const auto& dp : m_disks) {
        const Disk& d = *dp;
        DiskView v;
        if (d.accessible) v.state |= CLumoFSDiskInfo::STATE_MOUNTED;
        if (d.formatted) v.state |= CLumoFSDiskInfo::STATE_FORMATTED;
        if (d.accessible && d.formatted && !d.faulty) v.state |= CLumoFSDiskInfo::STATE_READY;
        if (d.faulty) v.state |= CLumoFSDiskInfo::STATE_FAULTY;
        if (d.accessible && d.formatted) {
            if (isFull(d, 0)) v.state |= CLumoFSDiskInfo::STATE_FULL;
            const uint64_t used = diskBytes(d);
            uint64_t total = used + d.fsAvail;
            if (d.conf.capacityMB > 0) total = std::min(total, uint64_t(d.conf.capacityMB) << 20);
            v.usedKB = static_cast<int64_t>(used >> 10);
            v.totalKB = static_cast<int64_t>(std::max(total, used) >> 10);
        }
        v.missing = d.present ? std::string() : d.missing;
        v.blocks.reserve(d.blocks.size());
        for (const auto& kv : d.blocks) {
            v.blocks.push_back(kv.second.row);
            cuids.insert(kv.second.cuids.begin(), kv.second.cuids.end());
        }
        s->disks.push_back(std::move(v));
    }
    s->cuids.assign(cuids.begin(), cuids.end());

    std::map<int, const ChannelConf*> configured;
    for (const ChannelConf& c : m_conf.channels) configured[c.number] = &c;
    const std::map<int, unsigned> recorded = m_index.ChannelStreams();
    std::set<int> numbers;
    for (const auto& kv : configured) numbers.insert(kv.first);
    for (const auto& kv : recorded) numbers.insert(kv.first + 1);
    for (int number : numbers) {
        ChannelView c;
        c.number = number;
        const ChannelConf* conf = configured.count(number) ? configured[number] : nullptr;
        auto rec = recorded.find(number - 1);
        const unsigned recStreams = rec == recorded.end() ? 0u : rec->second;
        c.cuid = conf ? conf->cuid : std::string();
        if (conf) c.name = conf->name;
        for (int st = 0; st < 3; ++st) {
            const StreamConf* sc = conf && conf->streams[st].present ? &conf->streams[st] : nullptr;
            const RecordEntry* latest = (recStreams & (1u << st)) ? m_index.Latest(st, number - 1) : nullptr;
            if (!sc && !latest) continue;
            tag_STMDATA data{};
            if (sc) {
                data.recordMode = sc->recordMode;
                data.videoCodec = sc->videoCodec;
                data.audioCodec = sc->audioCodec;
                data.width = sc->width;
                data.height = sc->height;
                data.frameRate = sc->frameRate;
                data.bitRateKbps = sc->bitRateKbps;
            } else {
                // Known only from its files: described by the latest one, and not recording.
                data.recordMode = 0;
                data.videoCodec = latest->videoCodec;
                data.audioCodec = latest->audioCodec;
                data.width = latest->width;
                data.height = latest->height;
                data.frameRate = static_cast<uint16_t>(latest->frameRate > 0 ? latest->frameRate : 0);
                const int64_t ms = latest->endMs - latest->startMs;
                data.bitRateKbps = ms > 0 ? static_cast<int32_t>(latest->size * 8 / uint64_t(ms)) : 0;
            }
            if (c.cuid.empty() && latest) c.cuid = m_index.CUID(latest->cuid);
            c.streams.emplace_back(st + 1, data);
        }
        s->channels.push_back(std::move(c));
    }

    std::lock_guard<std::mutex> lock(m_snapMutex);
    m_snapshot = std::move(s);
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

int Storage::indexOf(int64_t diskId) const {
    for (size_t i = 0; i < m_disks.size(); ++i)
        if (m_disks[i]->conf.number == diskId) return static_cast<int>(i);
    return -1;
}

std::string Storage::blockPath(const Disk& d, uint32_t number) const {
    return d.io + "/" + MakeBlockDirName(static_cast<int>(number));
}

// ---- queries ----

int Storage::Unmount(int timeoutMs) {
    std::unique_lock<TimedLock> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return LUMOSR_ERR_TIMEOUT;
    for (size_t i = 0; i < m_disks.size(); ++i)
        if (!m_disks[i]->formatting) dropDisk(i);
    publish();
    return LUMOSR_OK;
}

void Storage::fillDiskRow(size_t index, const DiskView& view, IKestoDiskInfo* row) const {
    const Disk& d = *m_disks[index];
    row->SetID(d.conf.number);
    CLumoFSDiskInfo* info = row->GetInfo();
    info->SetShortName(d.conf.shortName);
    info->SetName(d.path);
    info->SetType(d.conf.type);
    info->SetSpace(view.totalKB, view.usedKB);
    uint32_t state = view.state;
    // Live bits: true while the engine reads or writes, whoever holds the storage.
    if (d.readers.load() > 0) state |= CLumoFSDiskInfo::STATE_READING;
    if (d.writers.load() > 0) state |= CLumoFSDiskInfo::STATE_WRITING;
    info->SetState(state);
}

int Storage::DiskRows(IVantelList** out, int timeoutMs) {
    const std::shared_ptr<const Snapshot> s = snapshot(timeoutMs);
    if (!s) return m_quit.load() ? LUMOSR_ERR_STATE : LUMOSR_ERR_TIMEOUT;
    IVantelList* list = IVantelList::CreateObject();
    for (size_t i = 0; i < m_disks.size(); ++i) {
        IKestoDiskInfo* row = IKestoDiskInfo::CreateObject();
        fillDiskRow(i, s->disks[i], row);
        list->Add(row, false, false);
    }
    *out = list;
    return LUMOSR_OK;
}

int Storage::ChannelRows(IVantelList** out, int timeoutMs) {
    const std::shared_ptr<const Snapshot> s = snapshot(timeoutMs);
    if (!s) return m_quit.load() ? LUMOSR_ERR_STATE : LUMOSR_ERR_TIMEOUT;
    IVantelList* list = IVantelList::CreateObject();
    for (const ChannelView& c : s->channels) {
        IKestoChanInfo* chan = IKestoChanInfo::CreateObject();
        chan->SetID(c.number);
        chan->SetName(c.name);
        chan->SetCUID(c.cuid);
        for (const auto& st : c.streams) {
            IKestoStreamInfo* row = IKestoStreamInfo::CreateObject();
            row->SetID(st.first);
            *row->GetData() = st.second;
            chan->AddStream(row);
        }
        list->Add(chan, false, false);
    }
    *out = list;
    return LUMOSR_OK;
}

int Storage::CuidRows(IVantelList** out, int timeoutMs) {
    const std::shared_ptr<const Snapshot> s = snapshot(timeoutMs);
    if (!s) return m_quit.load() ? LUMOSR_ERR_STATE : LUMOSR_ERR_TIMEOUT;
    IVantelList* list = IVantelList::CreateObject();
    for (const std::string& c : s->cuids) list->Add(IVantelText::CreateObject(c), false, false);
    *out = list;
    return LUMOSR_OK;
}

int Storage::BlockRows(int64_t diskId, IVantelList* list, int timeoutMs) {
    const int index = indexOf(diskId);
    if (index < 0) {
        SetLastError(LUMOSR_REASON_NO_DISK, std::to_string(diskId));
        return LUMOSR_ERR_NOTFOUND;
    }
    const std::shared_ptr<const Snapshot> s = snapshot(timeoutMs);
    if (!s) return m_quit.load() ? LUMOSR_ERR_STATE : LUMOSR_ERR_TIMEOUT;
    const Disk& d = *m_disks[static_cast<size_t>(index)];
    for (const BlockRow& b : s->disks[static_cast<size_t>(index)].blocks) {
        IKestoBlockInfo* row = IKestoBlockInfo::CreateObject();
        row->SetID(b.number);
        CLumoFSBlockInfo* info = row->GetInfo();
        info->SetIDB(static_cast<int>(b.number));
        info->SetIDD(d.conf.number - 1);
        info->SetClusterUsed(b.clusters);
        info->SetState(b.state);
        info->SetCUID(b.cuid);
        if (b.timed) {
            info->SetIDS(b.stream);
            info->SetMediaType(b.mediaType);
            info->SetRecType(b.recTypes);
            info->SetTimeS(CLumoTime::FromEpochMs(b.firstMs));
            info->SetTimeE(CLumoTime::FromEpochMs(b.lastMs));
        }
        info->SetUsedTime(b.usedSec);
        info->SetFileNum(b.fileNum);
        info->SetFrameNum(b.frames);
        list->Add(row, false, false);
    }
    return LUMOSR_OK;
}

QStringList Storage::Problems(int timeoutMs) {
    std::vector<ConfProblem> all = m_conf.problems;
    if (const std::shared_ptr<const Snapshot> s = snapshot(timeoutMs))
        for (size_t i = 0; i < m_disks.size(); ++i)
            if (!s->disks[i].missing.empty()) {
                const Disk& d = *m_disks[i];
                all.push_back({d.conf.pathLine, QStringLiteral("disk %1's folder %2 %3")
                                                    .arg(d.conf.number)
                                                    .arg(QString::fromStdString(d.path))
                                                    .arg(QString::fromStdString(s->disks[i].missing))});
            }
    std::stable_sort(all.begin(), all.end(),
                     [](const ConfProblem& a, const ConfProblem& b) { return a.line < b.line; });
    QStringList lines;
    for (const ConfProblem& p : all) lines << ProblemLine(m_conf, p);
    return lines;
}

// ---- removing ----

int Storage::removeBlock(size_t diskIndex, uint32_t number, std::string* error) {
    Disk& d = *m_disks[diskIndex];
    // Unindex first, then remove: a row never points at a file that is gone.
    m_index.RemoveBlock(static_cast<int>(diskIndex), number);
    d.blocks.erase(number);
    int fd = ::open(d.io.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = systemError(d.io, errno);
        return -1;
    }
    int rc = RemoveEntryAt(fd, d.io, MakeBlockDirName(static_cast<int>(number)), error);
    ::close(fd);
    d.dirMtimeNs = -1;
    return rc;
}

int Storage::Format(int64_t diskId, int timeoutMs) {
    const int found = indexOf(diskId);
    if (found < 0) {
        SetLastError(LUMOSR_REASON_NO_DISK, std::to_string(diskId));
        return LUMOSR_ERR_NOTFOUND;
    }
    const size_t index = static_cast<size_t>(found);
    Disk& d = *m_disks[index];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<TimedLock> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_until(deadline)) {
        SetLastError(LUMOSR_REASON_DISK_BUSY, d.path);
        return LUMOSR_ERR_TIMEOUT;
    }
    // A disk that is being written (or formatted) is formatted once that is done, or not at all.
    if (!m_writersDone.wait_until(lock, deadline, [&] { return d.writers.load() == 0; })) {
        LumoPrintf("kestostorage: %s is being written; not formatted\n", d.path.c_str());
        SetLastError(LUMOSR_REASON_DISK_BUSY, d.path);
        return LUMOSR_ERR_STATE;
    }
    struct stat st;
    statDisk(d, &st);  // no need to read the blocks that are about to go
    if (!d.present) {
        // Never create the folder: a missing disk may be an unmounted one, and its folder on the
        // parent file system is not ours to fill.
        LumoPrintf("kestostorage: %s %s; not formatted\n", d.path.c_str(), d.missing.c_str());
        SetLastError(LUMOSR_REASON_NO_FOLDER, d.path);
        return LUMOSR_ERR_NOTFOUND;
    }
    if (!d.accessible) {
        SetLastError(LUMOSR_REASON_IO, systemError(d.path, EACCES));
        return LUMOSR_ERR_IO;
    }
    bool ok = false;
    const std::vector<std::string> names = listDir(d.io, &ok);
    if (!ok) {
        SetLastError(LUMOSR_REASON_IO, systemError(d.path, errno));
        return LUMOSR_ERR_IO;
    }
    if (!d.formatted && !names.empty()) {
        LumoPrintf("kestostorage: %s holds files but no disk mark; not formatted\n", d.path.c_str());
        SetLastError(LUMOSR_REASON_FOREIGN_FILES, d.path);
        return LUMOSR_ERR_REFUSED;
    }
    int fd = ::open(d.io.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat opened;
    if (fd < 0 || ::fstat(fd, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
        // Replaced between the check and now: not the folder that was checked.
        const int error = fd < 0 ? errno : ESTALE;
        if (fd >= 0) ::close(fd);
        SetLastError(LUMOSR_REASON_IO, systemError(d.path, error));
        return LUMOSR_ERR_IO;
    }

    // Out of service while its files go: no reading, no writer, no row of its blocks.
    d.formatting = true;
    ++d.writers;
    dropDisk(index);
    publish();
    lock.unlock();

    std::string error;
    int failures = 0;
    for (const std::string& n : names) {
        // The engine's own entries only: block folders (and anything under a block name, a link
        // included, which is removed itself) and its work files (what a save of its marks cut
        // short by the end of the process left). Whatever else lies there stays.
        const bool ours = ParseBlockDirName(n) >= 0 || n == kIndexCacheName || n.compare(0, 5, ".tmp.") == 0 ||
                          n.compare(0, std::strlen(kMarkerName) + 5, std::string(kMarkerName) + ".tmp-") == 0 ||
                          n.compare(0, std::strlen(kRecorderMarkName) + 5, std::string(kRecorderMarkName) + ".tmp-") == 0;
        if (ours && RemoveEntryAt(fd, d.io, n, &error) != 0) ++failures;
    }
    ::close(fd);
    SyncDirectory(d.io);
    int result = LUMOSR_OK;
    if (failures) {
        // The old mark stays: what could not be removed is still the engine's and is read again.
        LumoPrintf("kestostorage: format of %s incomplete: %s\n", d.path.c_str(), error.c_str());
        SetLastError(LUMOSR_REASON_NOT_REMOVABLE, error);
        result = LUMOSR_ERR_IO;
    } else {
        CLumoString when;
        CLumoTime::Now().BuildISO8601(when);
        const std::string mark = std::string("KestoDisk 1\nformatted=") + when.GetBuffer() + "\n";
        // With the engine's mark, the one a player looks for at a removable drive's root.
        if (WriteFileDurably(d.io + "/" + kMarkerName, mark, &error) != 0 ||
            WriteFileDurably(d.io + "/" + kRecorderMarkName, mark, &error) != 0) {
            LumoPrintf("kestostorage: cannot mark %s: %s\n", d.path.c_str(), error.c_str());
            SetLastError(LUMOSR_REASON_IO, error);
            result = LUMOSR_ERR_IO;
        }
    }

    lock.lock();
    d.formatting = false;
    --d.writers;
    readDisk(index, nullptr);
    publish();
    m_writersDone.notify_all();
    lock.unlock();
    Mount();  // the reading thread probes whatever was left
    return result;
}

int Storage::Search(const ILumoFSSearchParam& param, uint64_t* cursor, CLumoFileDescList* out, int max,
                    int timeoutMs) {
    return SearchEach(param, cursor, max, timeoutMs, [out](const Found& f) {
        const RecordEntry* e = f.entry;
        auto* desc = new CLumoFileDesc();
        desc->SetURI(LumoRecordAddress::DiskRecord(*f.diskName, MakeBlockDirName(static_cast<int>(e->block)),
                                                   e->fileName)
                         .Build()
                         .c_str());
        desc->SetFileName(e->fileName.c_str());
        desc->SetSaveFileName(e->fileName.c_str());
        desc->SetTimeS(CLumoTime::FromEpochMs(e->startMs));
        desc->SetTimeE(CLumoTime::FromEpochMs(e->endMs));
        desc->SetChannel(e->channel);
        desc->SetStreamType(e->stream);
        desc->SetRecordType(e->recordType);
        desc->SetCUID(f.cuid->c_str());
        desc->SetSize(e->size);
        desc->SetResolution(e->width, e->height);
        desc->SetCodecs(e->videoCodec, e->audioCodec);
        desc->SetFrameRate(e->frameRate);
        desc->SetLocation(f.diskNumber - 1, static_cast<int>(e->block), e->fileIndex);
        out->Append(desc);
    });
}

int Storage::SearchEach(const ILumoFSSearchParam& param, uint64_t* cursor, int max, int timeoutMs,
                        const std::function<void(const Found&)>& each) {
    if (param.GetMediaType() != 0 && param.GetMediaType() != 1) return 0;  // only video records are kept
    RecordQuery q;
    q.startMs = param.GetTimeS().IsEmpty() ? INT64_MIN / 2 : param.GetTimeS().ToEpochMs();
    q.endMs = param.GetTimeE().IsEmpty() ? INT64_MAX / 2 : param.GetTimeE().ToEpochMs();
    for (int s = 0; s < 3; ++s) q.channelMask[s] = param.GetChannelMask(s);
    q.streamType = param.GetStreamType();
    q.recordTypeMask = param.GetRecordType();
    q.cuids = param.GetCUIDs();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!cursor || *cursor == 0) {
        // A new search sees what changed on the disks; a continued one the index it started on.
        const int rc = waitForIndex(timeoutMs);
        if (rc != LUMOSR_OK) return rc;
    }
    std::unique_lock<TimedLock> lock(m_mutex, std::defer_lock);
    if (!lock.try_lock_until(deadline)) return LUMOSR_ERR_TIMEOUT;
    std::vector<const RecordEntry*> found;
    const int n = m_index.Search(q, cursor, found, max);
    for (const RecordEntry* e : found) {
        const Disk& d = *m_disks[e->disk];
        each(Found{e, &d.conf.shortName, d.conf.number, &m_index.CUID(e->cuid)});
    }
    return n;
}

int Storage::ResolveUri(const std::string& uri, std::string* path) const {
    LumoRecordAddress a;
    if (!LumoRecordAddress::Parse(uri, &a) || a.GetScheme() != LumoRecordAddress::SCHEME_LUMOFS ||
        a.GetHost() != "local")
        return LUMOSR_ERR_PARAM;
    const std::string disk = a.Get("disk");
    const std::string block = a.Get("path");
    const std::string name = a.Get("filename");
    RecordName rn;
    // Only a block folder and a record file name: nothing that could climb out of the disk.
    if (ParseBlockDirName(block) < 0 || !ParseRecordFileName(name, &rn)) return LUMOSR_ERR_PARAM;
    for (const auto& d : m_disks)
        if (d->conf.shortName == disk) {
            if (path) *path = d->io + "/" + block + "/" + name;
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
    std::string bpath;
    {
        std::unique_lock<TimedLock> lock(m_mutex, std::defer_lock);
        if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) return LUMOSR_ERR_TIMEOUT;
        readDisks(nullptr);  // what is there; probing new files is the reading thread's
        auto usable = [](const Disk& d) { return d.writable && d.formatted && !d.faulty && !d.formatting; };
        int chosen = -1;
        for (size_t i = 0; i < m_disks.size() && chosen < 0; ++i) {
            const Disk& d = *m_disks[i];
            if (usable(d) && !isFull(d, size)) chosen = static_cast<int>(i);
        }
        if (chosen < 0) {
            if (!overwriteWhenFull()) return LUMOSR_ERR_FULL;
            // Overwrite: give up the oldest blocks of the first usable disk until the file fits.
            for (size_t i = 0; i < m_disks.size() && chosen < 0; ++i) {
                Disk& d = *m_disks[i];
                if (!usable(d)) continue;
                // Give nothing up unless giving up every block that may go would make room.
                uint64_t freeable = 0;
                for (const auto& kv : d.blocks)
                    if (!d.busyBlocks.count(kv.first) && !kv.second.files.empty())
                        freeable += kv.second.bytes;
                if (roomOf(d, freeable) < (uint64_t(m_conf.freeSpaceFloorMB) << 20) + size) continue;
                // A block that cannot be removed whole (a mount point in it, a file that stays) is
                // passed over for the next oldest.
                std::set<uint32_t> kept;
                while (isFull(d, size)) {
                    int64_t oldest = INT64_MAX;
                    int64_t victim = -1;
                    for (const auto& kv : d.blocks) {
                        if (d.busyBlocks.count(kv.first) || kv.second.files.empty() || kept.count(kv.first))
                            continue;
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
                        kept.insert(static_cast<uint32_t>(victim));
                    }
                    readDisk(i, nullptr);
                }
                if (!isFull(d, size)) chosen = static_cast<int>(i);
            }
            publish();
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
            bpath = blockPath(d, static_cast<uint32_t>(found));
            if (::mkdir(bpath.c_str(), 0755) != 0) {
                SetLastError(LUMOSR_REASON_IO, systemError(bpath, errno));
                return LUMOSR_ERR_IO;
            }
            std::string cuid;
            for (const ChannelConf& c : m_conf.channels)
                if (c.number == channel) cuid = c.cuid;
            if (!cuid.empty() &&
                WriteFileDurably(bpath + "/" + kBlockIniName, "cuid=" + cuid + "\n", &error) != 0)
                LumoPrintf("kestostorage: %s\n", error.c_str());
            SyncDirectory(d.io);
        }
        blockNo = static_cast<uint32_t>(found);
        bpath = blockPath(d, blockNo);
        struct stat exists;
        if (::lstat((bpath + "/" + name).c_str(), &exists) == 0) return LUMOSR_ERR_REFUSED;
        ++d.writers;
        ++d.busyBlocks[blockNo];
    }

    // Write, sync and read back outside the lock (queries go on); the writer count keeps a format
    // away.
    std::string error;
    const std::string part = bpath + "/.part." + name;
    const std::string target = bpath + "/" + name;
    int rc = CopyFileDurably(source, part, &error);
    if (rc == 0 && ::rename(part.c_str(), target.c_str()) != 0) {
        error = systemError(target, errno);
        ::unlink(part.c_str());
        rc = -1;
    }
    if (rc == 0) SyncDirectory(bpath);
    ProbeResult probe;
    struct stat stored;
    if (rc == 0) {
        const uint64_t generation = m_abortGeneration.load();
        probe = ProbeMediaFile(target, kProbeTimeoutMs, [this, generation] {
            return m_quit.load() || m_abortGeneration.load() != generation;
        });
        if (::lstat(target.c_str(), &stored) != 0) probe.readable = false;
    }

    std::unique_lock<TimedLock> lock(m_mutex);
    Disk& d = *m_disks[diskIndex];
    int result = LUMOSR_OK;
    if (rc != 0) {
        LumoPrintf("kestostorage: cannot store %s: %s\n", name.c_str(), error.c_str());
        SetLastError(LUMOSR_REASON_IO, error);
        result = LUMOSR_ERR_IO;
    } else if (!probe.readable) {
        // A file that cannot be read back is not kept; the source is still the caller's.
        LumoPrintf("kestostorage: %s is not a record (%s); not kept\n", target.c_str(), probe.error.c_str());
        ::unlink(target.c_str());
        result = probe.aborted ? LUMOSR_ERR_STATE : LUMOSR_ERR_PARAM;
    } else {
        // Known before the block is listed again, so that it is indexed at once.
        Block& b = d.blocks[blockNo];
        b.number = blockNo;
        loadMemo(bpath, b);
        FileRec f;
        f.name = name;
        f.size = stored.st_size;
        f.mtimeNs = mtimeNs(stored);
        f.rn = rn;
        f.probed = true;
        f.probe = probe;
        b.memo[name] = f;
        b.mtimeNs = -1;
        if (uri)
            *uri =
                LumoRecordAddress::DiskRecord(d.conf.shortName, MakeBlockDirName(int(blockNo)), name).Build();
    }
    if (--d.busyBlocks[blockNo] == 0) d.busyBlocks.erase(blockNo);
    --d.writers;
    readDisk(diskIndex, nullptr);
    if (result == LUMOSR_OK) {
        auto b = d.blocks.find(blockNo);
        if (b != d.blocks.end()) writeCache(d, b->second);
    }
    publish();
    m_writersDone.notify_all();
    return result;
}

}  // namespace kesto

namespace kesto {

int Storage::OpenRecordFile(const std::string& disk, const std::string& block, const std::string& name,
                            int* fd, std::string* why, int timeoutMs) {
    *fd = -1;
    RecordName rn;
    const int blockNo = ParseBlockDirName(block);
    if (blockNo < 0 || !ParseRecordFileName(name, &rn)) {
        *why = "not a block and record file name of the engine";
        return LUMOSR_ERR_NOTFOUND;
    }
    const Disk* found = nullptr;
    size_t diskIndex = 0;
    for (size_t i = 0; i < m_disks.size(); ++i)
        if (m_disks[i]->conf.shortName == disk) {
            found = m_disks[i].get();
            diskIndex = i;
        }
    if (!found) {
        *why = "no disk named " + disk;
        return LUMOSR_ERR_NOTFOUND;
    }
    // Only what the index names is served, and only the file the engine listed under that name:
    // anything else put in a block (a hard link to a file outside the disks, a file renamed over
    // a record since) is no record of the engine's.
    uint64_t device = 0, inode = 0;
    {
        std::unique_lock<TimedLock> lock(m_mutex, std::defer_lock);
        if (!lock.try_lock_for(std::chrono::milliseconds(timeoutMs))) {
            *why = "the storage stayed busy";
            return LUMOSR_ERR_TIMEOUT;
        }
        bool indexed = false;
        if (const std::vector<uint32_t>* ids = m_index.BlockEntries(static_cast<int>(diskIndex), uint32_t(blockNo)))
            for (uint32_t id : *ids)
                if (m_index.At(id).fileName == name) indexed = true;
        auto b = found->blocks.find(uint32_t(blockNo));
        if (indexed && b != found->blocks.end())
            for (const FileRec& f : b->second.files)
                if (f.name == name) {
                    device = f.device;
                    inode = f.inode;
                }
        if (!indexed || inode == 0) {
            *why = "no record of the engine's index";
            return LUMOSR_ERR_NOTFOUND;
        }
    }
    // The disk folder must still be the real folder it was when the settings were read: a folder
    // that has come to lead elsewhere (a link put in its place) is not served.
    char real[PATH_MAX];
    if (!::realpath(found->io.c_str(), real) || found->io != real) {
        *why = "the disk folder of " + disk + " is not there";
        return LUMOSR_ERR_NOTFOUND;
    }
    // One component at a time, none of them a link: nothing outside the block folder is reached.
    const int diskFd = ::open(real, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (diskFd < 0) {
        *why = systemError(found->path, errno);
        return LUMOSR_ERR_NOTFOUND;
    }
    const int blockFd = ::openat(diskFd, block.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int blockErr = errno;
    ::close(diskFd);
    if (blockFd < 0) {
        *why = blockErr == ELOOP || blockErr == ENOTDIR ? "not a block folder" : systemError(block, blockErr);
        return LUMOSR_ERR_NOTFOUND;
    }
    const int f = ::openat(blockFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    const int fileErr = errno;
    ::close(blockFd);
    struct stat st;
    if (f < 0 || ::fstat(f, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (f >= 0) ::close(f);
        *why = f < 0 && fileErr != ELOOP ? systemError(name, fileErr) : "not a record file";
        return LUMOSR_ERR_NOTFOUND;
    }
    if (uint64_t(st.st_dev) != device || uint64_t(st.st_ino) != inode) {
        ::close(f);
        *why = "not the record file the engine read under that name";
        return LUMOSR_ERR_NOTFOUND;
    }
    *fd = f;
    return LUMOSR_OK;
}

}  // namespace kesto

namespace kesto {

void Storage::AddIndexEntries(const std::vector<RecordEntry>& entries) {
    std::lock_guard<TimedLock> lock(m_mutex);
    for (const RecordEntry& e : entries)
        if (e.disk < m_disks.size()) m_index.Add(e);
    m_index.Finalize();
}

}  // namespace kesto
