// The recording engine: a TCP listener on the console's port and the storage of record files.
//
// Storage invariants (kept by storage.cpp, relied on by every query):
//  1. Every index row has its file, and every readable record file in a block of a formatted
//     disk has its row, as of the last read of that block. A block is read again whenever its
//     folder changed (mtime or inode), before a query answers.
//  2. Create = write to a work file, sync, rename into the block, sync the folder, then index.
//     A reader never sees a half-written record file: names starting with '.' are never records.
//  3. Delete = unindex, then remove. A format unindexes the whole disk before removing anything
//     and keeps the disk mark until every file of the engine is gone, so a failed format leaves
//     a formatted disk that is simply read again.
//  4. Removal never follows a symbolic link (the link is removed, not its target), never enters
//     another file system, and never touches anything outside the disk folder or anything in it
//     that is not the engine's (its mark, block folders and work files).
//  5. Only folders bearing the engine's mark are indexed or formatted; a folder with foreign
//     content and no mark is refused, and a missing disk folder is never created.
//  6. The probe results cached per block (.kestoindex) are only a cache: a file whose size or
//     mtime differs from its cached line is probed again, and a lost cache costs probes only.
#include "LumoSRecord/LumoSRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "listener.h"
#include "security.h"
#include "storage.h"

namespace kesto {
namespace {

const int kDefaultTimeoutMs = 5000;
const int kMountTimeoutMs = 60000;

QString executableDir() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return QDir::currentPath();
    buf[n] = '\0';
    return QFileInfo(QString::fromLocal8Bit(buf)).absolutePath();
}

struct Engine {
    std::mutex lifeMutex;  // Initialize, Invalidate, Start, Stop
    Listener listener;
    QString configPath;  // empty: "kestostorage.ini" next to the executable

    std::mutex storageMutex;  // the pointer only; the storage locks itself
    std::shared_ptr<Storage> storage;

    QString settingsFile() {
        std::lock_guard<std::mutex> lock(storageMutex);
        return configPath.isEmpty() ? executableDir() + QStringLiteral("/kestostorage.ini") : configPath;
    }
    // The storage, read from the settings file on first use.
    std::shared_ptr<Storage> get() {
        const QString file = settingsFile();
        std::lock_guard<std::mutex> lock(storageMutex);
        if (!storage) storage = std::make_shared<Storage>(LoadStorageConf(file));
        return storage;
    }
    std::shared_ptr<Storage> peek() {
        std::lock_guard<std::mutex> lock(storageMutex);
        return storage;
    }
};

Engine& engine() {
    static Engine* e = new Engine();  // never destroyed: the exit thread may still stop it
    return *e;
}

int onMount(void*, int mount) {
    if (mount) return engine().get()->Mount(kMountTimeoutMs);
    std::shared_ptr<Storage> s = engine().peek();
    return s ? s->Unmount(kMountTimeoutMs) : 0;
}

int timeoutOf(int ms) {
    return ms > 0 ? ms : kDefaultTimeoutMs;
}

}  // namespace
}  // namespace kesto

using kesto::engine;

int LumoSRInitialize(void*) {
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    {
        std::lock_guard<std::mutex> s(engine().storageMutex);
        engine().storage.reset();  // read the settings again
    }
    engine().get();
    LumoFSSetMountHandler(kesto::onMount, nullptr);
    return LUMOSR_OK;
}

int LumoSRInvalidate() {
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    engine().listener.Stop();
    LumoFSSetMountHandler(nullptr, nullptr);
    std::lock_guard<std::mutex> s(engine().storageMutex);
    if (engine().storage) engine().storage->AbortProbes();
    engine().storage.reset();  // queries still running keep their own reference
    return LUMOSR_OK;
}

void LumoSRSetStorageConfig(const char* path) {
    std::lock_guard<std::mutex> lock(engine().storageMutex);
    engine().configPath = (path && *path) ? QFileInfo(QString::fromUtf8(path)).absoluteFilePath() : QString();
}

int LumoSRStart(uint16_t port) {
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    engine().listener.Stop();  // a start while started moves the listener to the new port
    return engine().listener.Start(port);
}

int LumoSRStop() {
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    engine().listener.Stop();
    if (std::shared_ptr<kesto::Storage> s = engine().peek()) s->AbortProbes();
    return LUMOSR_OK;
}

bool LumoSRIsStarted() {
    return engine().listener.IsStarted();
}

uint16_t LumoSRGetPort() {
    return engine().listener.Port();
}

int LumoSRImportSecurityFile(const char* path) {
    if (!path || !*path) return LUMOSR_ERR_NOTFOUND;
    const QString target =
        QFileInfo(engine().settingsFile()).absolutePath() + QStringLiteral("/kestosecurity.xml");
    QString why;
    int rc = kesto::ImportSecurityFile(QString::fromUtf8(path), target, &why);
    if (rc != LUMOSR_OK) LumoPrintf("LumoSRImportSecurityFile: %s: %s\n", path, why.toUtf8().constData());
    return rc;
}

int LumoSRGetDiskInfo(const char* url, int, IVantelList** out, int timeoutMs) {
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    if (url && *url) return LUMOSR_ERR_PARAM;  // only the in-process engine is served
    return engine().get()->DiskRows(out, kesto::timeoutOf(timeoutMs));
}

int LumoSRGetChanInfo(const char* url, int, IVantelList** out, int timeoutMs) {
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    if (url && *url) return LUMOSR_ERR_PARAM;
    return engine().get()->ChannelRows(out, kesto::timeoutOf(timeoutMs));
}

int LumoSRGetCUIDInfo(const char* url, int, IVantelList** out, int timeoutMs) {
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    if (url && *url) return LUMOSR_ERR_PARAM;
    return engine().get()->CuidRows(out, kesto::timeoutOf(timeoutMs));
}

int LumoSRGetBlockInfo(const char* url, int64_t diskId, int, IVantelList** list, int timeoutMs) {
    if (!list || !*list || (url && *url)) return LUMOSR_ERR_PARAM;
    return engine().get()->BlockRows(diskId, *list, kesto::timeoutOf(timeoutMs));
}

int LumoSRFormatDisk(const char* url, IKestoDiskFormat* request, IVantelData** out, int timeoutMs) {
    if (out) *out = nullptr;
    if (!request || (url && *url)) return LUMOSR_ERR_PARAM;
    return engine().get()->Format(request->GetID(), kesto::timeoutOf(timeoutMs));
}

int LumoSRSearchFiles(const ILumoFSSearchParam* param, uint64_t* cursor, CLumoFileDescList* out, int max) {
    if (!param || !cursor || !out || max <= 0) return LUMOSR_ERR_PARAM;
    return engine().get()->Search(*param, cursor, out, max, kesto::kDefaultTimeoutMs);
}

int LumoSRFileDesc2KestoFileInfo(const CLumoFileDescList* descs, IVantelList* list) {
    if (!descs || !list) return LUMOSR_ERR_PARAM;
    int serial = list->GetCount();
    for (const CLumoFileDesc* d : *descs) {
        IKestoFileInfoAV* row = IKestoFileInfoAV::CreateObject();
        row->SetID(++serial);
        d->ToAVInfo(row->GetInfo());
        row->SetFileName(d->GetFileName());
        row->SetURI(d->GetURI());
        list->Add(row, false, false);
    }
    return LUMOSR_OK;
}

int LumoSRGetRecordFilePath(const char* uri, CLumoString* path) {
    if (!uri || !path) return LUMOSR_ERR_PARAM;
    std::string p;
    int rc = engine().get()->ResolveUri(uri, &p);
    if (rc == LUMOSR_OK) path->Copy(p.c_str());
    return rc;
}

int LumoSRStoreRecordFile(const char* source, int channel, int stream, int recordType, const CLumoTime& start,
                          CLumoString* uri, int timeoutMs) {
    if (!source || !*source || start.IsEmpty()) return LUMOSR_ERR_PARAM;
    std::string u;
    int rc = engine().get()->StoreRecordFile(source, channel, stream, recordType, start.ToEpochMs(),
                                             kesto::timeoutOf(timeoutMs), &u);
    if (rc == LUMOSR_OK && uri) uri->Copy(u.c_str());
    return rc;
}
