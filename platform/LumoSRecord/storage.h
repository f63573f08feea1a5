// The engine's storage: its disks (folders), their blocks and record files, the record index built
// from them, and the snapshot that the disk, channel, camera-identity and block queries answer
// from. Every public call is thread-safe; see storage.cpp for the locks and what they keep true.
#pragma once

#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "LumoSRecord/LumoSRecord.h"
#include "probe.h"
#include "recordindex.h"
#include "storageconfig.h"
#include "storagelayout.h"
#include "timedlock.h"

namespace kesto {

class Storage {
public:
    explicit Storage(const StorageConf& conf);
    // Ends the reading thread (as Shutdown).
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    const StorageConf& Conf() const { return m_conf; }

    // Asks for a reading of every disk in the background (the file system's mount).
    void Mount();
    // Forgets what was read (the file system's unmount).
    int Unmount(int timeoutMs);
    // Ends the probes and the reading in progress at once (the engine is stopping); a later query
    // or search reads again.
    void AbortProbes();
    // Ends the reading thread for good: probes in progress end at once, waiters are released.
    void Shutdown();

    int DiskRows(IVantelList** out, int timeoutMs);
    int ChannelRows(IVantelList** out, int timeoutMs);
    int CuidRows(IVantelList** out, int timeoutMs);
    int BlockRows(int64_t diskId, IVantelList* list, int timeoutMs);
    int Format(int64_t diskId, int timeoutMs);
    int Search(const ILumoFSSearchParam& param, uint64_t* cursor, CLumoFileDescList* out, int max,
               int timeoutMs);
    // One found file, valid during the call that hands it over (which holds the storage lock).
    struct Found {
        const RecordEntry* entry;
        const std::string* diskName;  // short name
        int diskNumber;               // N of [diskN]
        const std::string* cuid;
    };
    // The search of Search, handing each file to `each` under the storage lock instead of building
    // descriptors (the network API writes its answer straight from the index); keep `each` short.
    int SearchEach(const ILumoFSSearchParam& param, uint64_t* cursor, int max, int timeoutMs,
                   const std::function<void(const Found&)>& each);
    int StoreRecordFile(const std::string& source, int channel, int stream, int recordType, int64_t startMs,
                        int timeoutMs, std::string* uri);
    int ResolveUri(const std::string& uri, std::string* path) const;
    // Opens a record file of a disk (by short name) for reading, for serving it to a network
    // client: only a file the record index names, and still the very file the engine read (not
    // one put under its name since), in a block folder of a disk folder that still is the real
    // folder its settings named, no link followed on the way. *fd is the caller's to close; on
    // failure *why says what was wrong (in English); LUMOSR_ERR_TIMEOUT when the storage lock
    // stayed taken for timeoutMs.
    int OpenRecordFile(const std::string& disk, const std::string& block, const std::string& name, int* fd,
                       std::string* why, int timeoutMs = 5000);
    // Adds entries to the index that no file backs (benchmarks of large indexes); they stay until
    // their disk is dropped. Their block numbers must be ones no block folder of the disk uses.
    void AddIndexEntries(const std::vector<RecordEntry>& entries);
    // The settings' problems and those of the disks as last read, one "<file>:<line>: ..." each.
    QStringList Problems(int timeoutMs);

private:
    // FileRec, BlockRow and Block live in Disk::blocks: guarded by m_mutex like the rest of it.
    struct FileRec {
        std::string name;
        int64_t size = 0;
        int64_t mtimeNs = 0;
        uint64_t device = 0, inode = 0;  // as listed: the file a network client may be served
        RecordName rn;
        bool probed = false;  // false: waiting for a probe (not in the index yet)
        ProbeResult probe;
    };
    // What the block query shows of a block, kept up to date with the block's files.
    struct BlockRow {
        uint32_t number = 0;
        int clusters = 0;
        uint32_t state = 0;
        uint8_t stream = 0;
        std::string cuid;
        int mediaType = 0;
        uint16_t recTypes = 0;
        int64_t firstMs = 0, lastMs = 0;
        bool timed = false;
        uint32_t usedSec = 0;
        int fileNum = 0;
        uint32_t frames = 0;
    };
    struct Block {
        uint32_t number = 0;
        int64_t mtimeNs = -1;  // of the folder when last listed; -1: list again
        uint64_t inode = 0;
        std::vector<FileRec> files;  // record files in start order, probed or waiting
        uint64_t bytes = 0;          // every regular file in the folder
        std::string cuid;            // from block.ini
        bool memoLoaded = false;
        // Probe results by file name (read from .kestoindex, then from probes): valid for a file
        // while its size and mtime are those of the entry.
        std::map<std::string, FileRec> memo;
        BlockRow row;
        std::set<std::string> cuids;  // of its readable files
    };
    struct Disk {
        DiskConf conf;                // immutable
        std::string path;             // immutable: shown to the operator
        std::string io;               // immutable: the real folder, which every file operation uses
        std::atomic<int> readers{0};  // any thread: live "reading" bit of the disk rows
        std::atomic<int> writers{0};  // any thread: live "writing" bit; a format waits for 0
        // Everything below: guarded by Storage::m_mutex.
        bool present = false, accessible = false, writable = false, formatted = false, faulty = false;
        bool formatting = false;  // a format is removing its files: neither read nor written meanwhile
        std::string missing;      // why the disk is not there, for the problem list; empty when it is
        uint64_t epoch = 0;       // counts the times its blocks were dropped: a probe result of an
                                  // older epoch is stale
        int64_t dirMtimeNs = -1;
        uint64_t dirInode = 0;
        uint64_t fsAvail = 0;
        uint64_t markerBytes = 0;
        std::map<uint32_t, Block> blocks;
        std::map<uint32_t, int> busyBlocks;  // blocks a writer is filling
    };
    // A file to probe, collected under the lock and probed without it. Owned by the reading
    // thread; while probing, each probe thread writes only the job it took.
    struct ProbeJob {
        size_t disk = 0;
        uint64_t epoch = 0;
        uint32_t block = 0;
        std::string name, path;
        int64_t size = 0, mtimeNs = 0;
        bool done = false;
        ProbeResult result;
    };
    struct DiskView {
        uint32_t state = 0;
        int64_t totalKB = 0, usedKB = 0;
        std::vector<BlockRow> blocks;
        std::string missing;
    };
    struct ChannelView {
        int number = 0;
        std::string cuid, name;
        std::vector<std::pair<int, tag_STMDATA>> streams;  // (row id 1..3, data)
    };
    // What the queries answer from: built under m_mutex, then only read (by any thread).
    struct Snapshot {
        std::vector<DiskView> disks;  // as m_disks
        std::vector<ChannelView> channels;
        std::vector<std::string> cuids;
    };

    // -- under m_mutex --
    bool statDisk(Disk& d, struct stat* dirStat);
    void readDisks(std::vector<ProbeJob>* jobs);
    void readDisk(size_t index, std::vector<ProbeJob>* jobs);
    void dropDisk(size_t index);
    void listBlock(size_t diskIndex, Block& b, int64_t mtimeNs, uint64_t inode);
    void loadMemo(const std::string& blockPath, Block& b);
    void indexBlock(size_t diskIndex, Block& b);
    void applyProbes(std::vector<ProbeJob>& jobs);
    void writeCache(const Disk& d, const Block& b);
    void summarize(const Disk& d, Block& b) const;
    void publish();
    std::string cuidFor(const Block& b, int channel) const;
    uint64_t diskBytes(const Disk& d) const;
    // Bytes the engine may still write on the disk, were `freedBytes` of its files removed.
    uint64_t roomOf(const Disk& d, uint64_t freedBytes) const;
    bool isFull(const Disk& d, uint64_t extraBytes) const;
    int removeBlock(size_t diskIndex, uint32_t number, std::string* error);
    // -- without m_mutex --
    int indexOf(int64_t diskId) const;
    std::string blockPath(const Disk& d, uint32_t number) const;
    void probeAll(std::vector<ProbeJob>& jobs, const std::function<bool()>& aborted);
    void fillDiskRow(size_t index, const DiskView& view, IKestoDiskInfo* row) const;
    // The reading thread and its requests.
    uint64_t requestReadLocked();  // m_readMutex held
    void readLoop();
    bool readOnce(uint64_t abortGeneration);
    // The last snapshot; before the disks' first reading, waits for it at most timeoutMs.
    std::shared_ptr<const Snapshot> snapshot(int timeoutMs);
    // Waits (at most timeoutMs) for a reading that starts after this call; a LUMOSR_* code.
    int waitForIndex(int timeoutMs);

    const StorageConf m_conf;                    // immutable
    std::vector<std::unique_ptr<Disk>> m_disks;  // the vector is immutable; see Disk for its fields
    RecordIndex m_index;                         // guarded by m_mutex
    TimedLock m_mutex;  // the storage lock: held for short steps only, never while probing
                        // or removing files
    std::condition_variable_any m_writersDone;  // with m_mutex

    std::mutex m_snapMutex;
    std::shared_ptr<const Snapshot> m_snapshot;  // guarded by m_snapMutex

    std::mutex m_readMutex;
    std::condition_variable m_readCv;            // with m_readMutex
    std::thread m_reader;                        // guarded by m_readMutex (started on the first request)
    uint64_t m_readsWanted = 0;                  // guarded by m_readMutex
    uint64_t m_readsStarted = 0;                 // guarded by m_readMutex
    uint64_t m_readsDone = 0;                    // guarded by m_readMutex
    bool m_lastReadComplete = true;              // guarded by m_readMutex
    bool m_firstReadDone = false;                // guarded by m_readMutex: a snapshot of the disks exists
    std::atomic<bool> m_quit{false};             // any thread
    std::atomic<uint64_t> m_abortGeneration{0};  // any thread
};

}  // namespace kesto
