// The recording engine: a TCP listener on the console's port and the storage of record files.
//
// Threads and what holds:
//  - Engine::lifeMutex orders Initialize, Invalidate, Start and Stop; Stop may come from any
//    thread (the console stops on a detached exit thread) and never waits for a probe: it ends
//    the probes in progress (Storage::AbortProbes) and returns.
//  - Engine::storageMutex guards the settings path and the pointer to the storage only. A call
//    takes its own reference to the storage, so Invalidate never pulls it from under a query; a
//    storage that is shut down answers its remaining callers with LUMOSR_ERR_STATE.
//  - The storage keeps its own locks (storage.cpp): the disk, channel, camera-identity and block
//    queries answer from its last snapshot without waiting for probes, a search waits for the
//    index within its timeout, and no media file is ever probed under the storage lock.
//  - While initialised, the engine is the record source of LumoFS (LumoFS/LumoRecordSource.h):
//    the media layer reaches the index and the record paths only through that registry, so it
//    builds and runs without the engine.
//  - Each thread has its own last-error reason (LumoSRGetLastError); every call but that one
//    starts by clearing it.
//
// Storage invariants: see storage.cpp.
#include "LumoSRecord/LumoSRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "LumoFS/LumoRecordSource.h"
#include "lasterror.h"
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
    std::mutex lifeMutex;  // orders Initialize, Invalidate, Start, Stop
    Listener listener;     // locks itself

    std::mutex storageMutex;
    QString configPath;  // guarded by storageMutex; empty: "kestostorage.ini" next to the executable
    std::shared_ptr<Storage> storage;  // guarded by storageMutex; the storage locks itself

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
    std::shared_ptr<Storage> take() {
        std::lock_guard<std::mutex> lock(storageMutex);
        return std::move(storage);
    }
};

Engine& engine() {
    static Engine* e = new Engine();  // never destroyed: the exit thread may still stop it
    return *e;
}

int onMount(void*, int mount) {
    if (mount) {
        engine().get()->Mount();  // read in the background: a mount never waits for probes
        return 0;
    }
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
    kesto::ClearLastError();
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    if (std::shared_ptr<kesto::Storage> old = engine().take()) old->Shutdown();  // read the settings again
    engine().get()->Mount();
    LumoFSSetMountHandler(kesto::onMount, nullptr);
    const LumoFSRecordSource source{&LumoSRSearchFiles, &LumoSRGetRecordFilePath};
    LumoFSSetRecordSource(&source);
    return LUMOSR_OK;
}

int LumoSRInvalidate() {
    kesto::ClearLastError();
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    engine().listener.Stop();
    LumoFSSetRecordSource(nullptr);
    LumoFSSetMountHandler(nullptr, nullptr);
    // Queries still running keep their own reference; the reading ends here.
    if (std::shared_ptr<kesto::Storage> s = engine().take()) s->Shutdown();
    return LUMOSR_OK;
}

void LumoSRSetStorageConfig(const char* path) {
    kesto::ClearLastError();
    std::lock_guard<std::mutex> lock(engine().storageMutex);
    engine().configPath = (path && *path) ? QFileInfo(QString::fromUtf8(path)).absoluteFilePath() : QString();
}

int LumoSRStart(uint16_t port) {
    kesto::ClearLastError();
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    engine().listener.Stop();  // a start while started moves the listener to the new port
    return engine().listener.Start(port);
}

int LumoSRStop() {
    kesto::ClearLastError();
    // The probes end first, before the life lock, so that a stop never waits behind one.
    if (std::shared_ptr<kesto::Storage> s = engine().peek()) s->AbortProbes();
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    engine().listener.Stop();
    return LUMOSR_OK;
}

bool LumoSRIsStarted() {
    kesto::ClearLastError();
    return engine().listener.IsStarted();
}

uint16_t LumoSRGetPort() {
    kesto::ClearLastError();
    return engine().listener.Port();
}

int LumoSRImportSecurityFile(const char* path) {
    kesto::ClearLastError();
    if (!path || !*path) return LUMOSR_ERR_NOTFOUND;
    const QString target =
        QFileInfo(engine().settingsFile()).absolutePath() + QStringLiteral("/kestosecurity.xml");
    QString why;
    int rc = kesto::ImportSecurityFile(QString::fromUtf8(path), target, &why);
    if (rc != LUMOSR_OK) {
        LumoPrintf("LumoSRImportSecurityFile: %s: %s\n", path, why.toUtf8().constData());
        kesto::SetLastError(rc == LUMOSR_ERR_IO ? LUMOSR_REASON_IO : LUMOSR_REASON_NONE,
                            std::string(path) + ": " + why.toStdString());
    }
    return rc;
}

int LumoSRGetDiskInfo(const char* url, int, IVantelList** out, int timeoutMs) {
    kesto::ClearLastError();
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    if (url && *url) return LUMOSR_ERR_PARAM;  // only the in-process engine is served
    return engine().get()->DiskRows(out, kesto::timeoutOf(timeoutMs));
}

int LumoSRGetChanInfo(const char* url, int, IVantelList** out, int timeoutMs) {
    kesto::ClearLastError();
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    if (url && *url) return LUMOSR_ERR_PARAM;
    return engine().get()->ChannelRows(out, kesto::timeoutOf(timeoutMs));
}

int LumoSRGetCUIDInfo(const char* url, int, IVantelList** out, int timeoutMs) {
    kesto::ClearLastError();
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    if (url && *url) return LUMOSR_ERR_PARAM;
    return engine().get()->CuidRows(out, kesto::timeoutOf(timeoutMs));
}

int LumoSRGetBlockInfo(const char* url, int64_t diskId, int, IVantelList** list, int timeoutMs) {
    kesto::ClearLastError();
    if (!list || !*list || (url && *url)) return LUMOSR_ERR_PARAM;
    return engine().get()->BlockRows(diskId, *list, kesto::timeoutOf(timeoutMs));
}

int LumoSRFormatDisk(const char* url, IKestoDiskFormat* request, IVantelData** out, int timeoutMs) {
    kesto::ClearLastError();
    if (out) *out = nullptr;
    if (!request || (url && *url)) return LUMOSR_ERR_PARAM;
    return engine().get()->Format(request->GetID(), kesto::timeoutOf(timeoutMs));
}

int LumoSRGetLastError(int* reason, CLumoString* detail) {
    if (reason) *reason = kesto::LastErrorReason();
    if (detail) detail->Copy(kesto::LastErrorDetail().c_str());
    return LUMOSR_OK;
}

int LumoSRGetConfigProblems(CLumoString* text) {
    kesto::ClearLastError();
    const QStringList problems = engine().get()->Problems(kesto::kDefaultTimeoutMs);
    if (text) text->Copy(problems.join(QLatin1Char('\n')).toUtf8().constData());
    return problems.size();
}

int LumoSRSearchFiles(const ILumoFSSearchParam* param, uint64_t* cursor, CLumoFileDescList* out, int max) {
    kesto::ClearLastError();
    if (!param || !cursor || !out || max <= 0) return LUMOSR_ERR_PARAM;
    return engine().get()->Search(*param, cursor, out, max, kesto::kDefaultTimeoutMs);
}

int LumoSRFileDesc2KestoFileInfo(const CLumoFileDescList* descs, IVantelList* list) {
    kesto::ClearLastError();
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
    kesto::ClearLastError();
    if (!uri || !path) return LUMOSR_ERR_PARAM;
    std::string p;
    int rc = engine().get()->ResolveUri(uri, &p);
    if (rc == LUMOSR_OK) path->Copy(p.c_str());
    return rc;
}

int LumoSRStoreRecordFile(const char* source, int channel, int stream, int recordType, const CLumoTime& start,
                          CLumoString* uri, int timeoutMs) {
    kesto::ClearLastError();
    if (!source || !*source || start.IsEmpty()) return LUMOSR_ERR_PARAM;
    std::string u;
    int rc = engine().get()->StoreRecordFile(source, channel, stream, recordType, start.ToEpochMs(),
                                             kesto::timeoutOf(timeoutMs), &u);
    if (rc == LUMOSR_OK && uri) uri->Copy(u.c_str());
    return rc;
}
