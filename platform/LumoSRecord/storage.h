// The engine's storage: its disks (folders), their blocks and record files, and the record index
// built from them. Every public call is thread-safe.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "LumoSRecord/LumoSRecord.h"
#include "probe.h"
#include "recordindex.h"
#include "storageconfig.h"
#include "storagelayout.h"

namespace kesto {

class Storage {
public:
    explicit Storage(const StorageConf& conf);
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    const StorageConf& Conf() const { return m_conf; }

    // Reads every disk (probing new files); Unmount forgets what was read.
    int Mount(int timeoutMs);
    int Unmount(int timeoutMs);
    // Makes probes that are running give up (the engine is stopping); later probes run again.
    void AbortProbes() { ++m_abortGeneration; }

    int DiskRows(IVantelList** out, int timeoutMs);
    int ChannelRows(IVantelList** out, int timeoutMs);
    int CuidRows(IVantelList** out, int timeoutMs);
    int BlockRows(int64_t diskId, IVantelList* list, int timeoutMs);
    int Format(int64_t diskId, int timeoutMs);
    int Search(const ILumoFSSearchParam& param, uint64_t* cursor, CLumoFileDescList* out, int max,
               int timeoutMs);
    int StoreRecordFile(const std::string& source, int channel, int stream, int recordType, int64_t startMs,
                        int timeoutMs, std::string* uri);
    int ResolveUri(const std::string& uri, std::string* path) const;

private:
    struct FileRec {
        std::string name;
        int64_t size = 0;
        int64_t mtimeNs = 0;
        RecordName rn;
        ProbeResult probe;
    };
    struct Block {
        uint32_t number = 0;
        int64_t mtimeNs = -1;  // of the folder when last read; -1: read again
        uint64_t inode = 0;
        std::vector<FileRec> files;  // record files in start order
        uint64_t bytes = 0;          // every regular file in the folder
        std::string cuid;            // from block.ini
        bool cacheLoaded = false;
        std::map<std::string, FileRec> cache;  // from .kestoindex
    };
    struct Disk {
        DiskConf conf;
        std::string path;
        bool present = false, accessible = false, writable = false, formatted = false, faulty = false;
        int64_t dirMtimeNs = -1;
        uint64_t dirInode = 0;
        uint64_t fsAvail = 0;
        uint64_t markerBytes = 0;
        std::map<uint32_t, Block> blocks;
        std::atomic<int> readers{0}, writers{0};
        std::map<uint32_t, int> busyBlocks;  // blocks a writer is filling
    };
    struct DiskSnap {
        int64_t totalKB = 0, usedKB = 0;
        uint32_t state = 0;
    };

    // Presence, access, free space and mark of a disk; false when it cannot be read.
    bool statDisk(Disk& d, struct stat* dirStat);
    void refreshAll();
    void refreshDisk(size_t index);
    void dropDisk(size_t index);
    void rescanBlock(size_t diskIndex, Block& b, int64_t mtimeNs, uint64_t inode);
    void writeCache(const Disk& d, const Block& b);
    std::string cuidFor(const Block& b, int channel) const;
    uint64_t diskBytes(const Disk& d) const;
    DiskSnap snapOf(const Disk& d) const;
    // Bytes the engine may still write on the disk, were `freedBytes` of its files removed.
    uint64_t roomOf(const Disk& d, uint64_t freedBytes) const;
    bool isFull(const Disk& d, uint64_t extraBytes) const;
    int removeBlock(size_t diskIndex, uint32_t number, std::string* error);
    void fillDiskRow(size_t index, const DiskSnap& snap, IKestoDiskInfo* row) const;

    StorageConf m_conf;
    std::vector<std::unique_ptr<Disk>> m_disks;
    RecordIndex m_index;
    std::timed_mutex m_mutex;  // everything above except the atomics
    std::condition_variable_any m_writersDone;
    std::mutex m_snapMutex;
    std::vector<DiskSnap> m_snaps;  // last disk rows, for callers that cannot wait
    std::atomic<uint64_t> m_abortGeneration{0};
};

}  // namespace kesto
