// The recording engine: its HTTP API on the console's port and the storage of record files.
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
//  - The HTTP API (listener.cpp, httpapi.cpp) runs its handlers on httplib's worker threads; they
//    reach the storage only through Engine::peek (their own reference, null when not initialised)
//    and the security file's path, so they never hold an engine lock while they work.
//  - Calls with a network recorder URL (remote.cpp) touch no engine state at all.
//  - Each thread has its own last-error reason (LumoSRGetLastError); every call but that one
//    starts by clearing it.
//
// Storage invariants: see storage.cpp.
#include "LumoSRecord/LumoSRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "LumoFS/LumoRecordSource.h"
#include "enginetools.h"
#include "lasterror.h"
#include "listener.h"
#include "remote.h"
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

struct Engine;
Engine& engine();

struct Engine {
    Engine();
    std::mutex lifeMutex;                     // orders Initialize, Invalidate, Start, Stop
    Listener listener;                        // locks itself
    std::atomic<bool> initialised{false};     // any thread; written under lifeMutex
    std::atomic<int> requestTimeoutMs{5000};  // any thread

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
    QString securityFile() {
        return QFileInfo(settingsFile()).absolutePath() + QStringLiteral("/kestosecurity.xml");
    }
};

ApiContext apiContext() {
    ApiContext c;
    c.storage = [] { return engine().peek(); };
    c.securityFile = [] { return engine().securityFile(); };
    return c;
}

Engine::Engine() : listener(apiContext()) {}

Engine& engine() {
    static Engine* e = new Engine();  // never destroyed: the exit thread may still stop it
    return *e;
}

// A record-file row for a descriptor, appended to the list.
void addFileRow(IVantelList* list, const CLumoFileDesc& d, int serial) {
    IKestoFileInfoAV* row = IKestoFileInfoAV::CreateObject();
    row->SetID(serial);
    d.ToAVInfo(row->GetInfo());
    row->SetFileName(d.GetFileName());
    row->SetURI(d.GetURI());
    list->Add(row, false, false);
}

// The recorder a call names; LUMOSR_ERR_PARAM for a malformed URL.
int recorderOf(const char* url, RecorderUrl* out) {
    return ParseRecorderUrl(url, engine().initialised.load(), out);
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

std::shared_ptr<kesto::Storage> kesto::CurrentStorage() {
    return engine().peek();
}

using kesto::engine;

int LumoSRInitialize(void*) {
    kesto::ClearLastError();
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    if (std::shared_ptr<kesto::Storage> old = engine().take()) old->Shutdown();  // read the settings again
    engine().get()->Mount();
    LumoFSSetMountHandler(kesto::onMount, nullptr);
    const LumoFSRecordSource source{&LumoSRSearchFiles, &LumoSRGetRecordFilePath};
    LumoFSSetRecordSource(&source);
    engine().initialised = true;
    return LUMOSR_OK;
}

int LumoSRInvalidate() {
    kesto::ClearLastError();
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    engine().listener.Stop();
    engine().initialised = false;
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
    return engine().listener.Start(port, engine().requestTimeoutMs.load());
}

void LumoSRSetRequestTimeout(int ms) {
    kesto::ClearLastError();
    engine().requestTimeoutMs = ms > 0 ? ms : 5000;
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
    const QString target = engine().securityFile();
    QString why;
    int rc = kesto::ImportSecurityFile(QString::fromUtf8(path), target, &why);
    if (rc != LUMOSR_OK) {
        LumoPrintf("LumoSRImportSecurityFile: %s: %s\n", path, why.toUtf8().constData());
        kesto::SetLastError(rc == LUMOSR_ERR_IO || rc == LUMOSR_ERR_FULL ? LUMOSR_REASON_IO : LUMOSR_REASON_NONE,
                            std::string(path) + ": " + why.toStdString());
    }
    return rc;
}

int LumoSRGetDiskInfo(const char* url, int, IVantelList** out, int timeoutMs) {
    kesto::ClearLastError();
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    kesto::RecorderUrl r;
    if (int rc = kesto::recorderOf(url, &r)) return rc;
    if (!r.inProcess) return kesto::RemoteDiskInfo(r, out, kesto::timeoutOf(timeoutMs));
    return engine().get()->DiskRows(out, kesto::timeoutOf(timeoutMs));
}

int LumoSRGetChanInfo(const char* url, int, IVantelList** out, int timeoutMs) {
    kesto::ClearLastError();
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    kesto::RecorderUrl r;
    if (int rc = kesto::recorderOf(url, &r)) return rc;
    if (!r.inProcess) return kesto::RemoteChanInfo(r, out, kesto::timeoutOf(timeoutMs));
    return engine().get()->ChannelRows(out, kesto::timeoutOf(timeoutMs));
}

int LumoSRGetCUIDInfo(const char* url, int, IVantelList** out, int timeoutMs) {
    kesto::ClearLastError();
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    kesto::RecorderUrl r;
    if (int rc = kesto::recorderOf(url, &r)) return rc;
    if (!r.inProcess) return kesto::RemoteCUIDInfo(r, out, kesto::timeoutOf(timeoutMs));
    return engine().get()->CuidRows(out, kesto::timeoutOf(timeoutMs));
}

int LumoSRGetBlockInfo(const char* url, int64_t diskId, int, IVantelList** list, int timeoutMs) {
    kesto::ClearLastError();
    if (!list || !*list) return LUMOSR_ERR_PARAM;
    kesto::RecorderUrl r;
    if (int rc = kesto::recorderOf(url, &r)) return rc;
    if (!r.inProcess) return kesto::RemoteBlockInfo(r, diskId, *list, kesto::timeoutOf(timeoutMs));
    return engine().get()->BlockRows(diskId, *list, kesto::timeoutOf(timeoutMs));
}

int LumoSRFormatDisk(const char* url, IKestoDiskFormat* request, IVantelData** out, int timeoutMs) {
    kesto::ClearLastError();
    if (out) *out = nullptr;
    if (!request) return LUMOSR_ERR_PARAM;
    kesto::RecorderUrl r;
    if (int rc = kesto::recorderOf(url, &r)) return rc;
    if (!r.inProcess)
        return kesto::RemoteFormatDisk(r, request->GetID(), request->GetAccess(),
                                       kesto::timeoutOf(timeoutMs));
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

int LumoSRGetFileInfo(const char* url, const ILumoFSSearchParam* param, IVantelList** out, int timeoutMs) {
    kesto::ClearLastError();
    if (!out) return LUMOSR_ERR_PARAM;
    *out = nullptr;
    if (!param) return LUMOSR_ERR_PARAM;
    kesto::RecorderUrl r;
    if (int rc = kesto::recorderOf(url, &r)) return rc;
    CLumoFileDescList found(1);
    if (!r.inProcess) {
        // Rows straight from the answer: thousands of files need no descriptor list in between.
        IVantelList* list = IVantelList::CreateObject();
        int serial = 0;
        const int rc = kesto::RemoteSearch(
            r, *param, [&](const CLumoFileDesc& d) { kesto::addFileRow(list, d, ++serial); },
            kesto::timeoutOf(timeoutMs));
        if (rc != LUMOSR_OK) {
            list->Release();
            return rc;
        }
        *out = list;
        return LUMOSR_OK;
    } else {
        const std::shared_ptr<kesto::Storage> s = engine().get();
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kesto::timeoutOf(timeoutMs));
        uint64_t cursor = 0;
        for (;;) {
            const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     deadline - std::chrono::steady_clock::now())
                                     .count());
            if (left <= 0) return LUMOSR_ERR_TIMEOUT;
            const int n = s->Search(*param, &cursor, &found, 4096, left);
            if (n < 0) return n;
            if (n == 0) break;
        }
    }
    IVantelList* list = IVantelList::CreateObject();
    LumoSRFileDesc2KestoFileInfo(&found, list);
    *out = list;
    return LUMOSR_OK;
}

int LumoSRFileDesc2KestoFileInfo(const CLumoFileDescList* descs, IVantelList* list) {
    kesto::ClearLastError();
    if (!descs || !list) return LUMOSR_ERR_PARAM;
    int serial = list->GetCount();
    for (const CLumoFileDesc* d : *descs) kesto::addFileRow(list, *d, ++serial);
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
