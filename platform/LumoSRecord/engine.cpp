// The recording engine's entry points: life cycle, listener, security import and the storage
// queries, which all go to the one process-wide engine.
#include "LumoSRecord/LumoSRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "listener.h"
#include "security.h"

namespace kesto {
namespace {

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
    bool initialized = false;

    QString settingsFile() const {
        return configPath.isEmpty() ? executableDir() + QStringLiteral("/kestostorage.ini") : configPath;
    }
    QString engineDir() const { return QFileInfo(settingsFile()).absolutePath(); }
};

Engine& engine() {
    static Engine* e = new Engine();  // never destroyed: the exit thread may still stop it
    return *e;
}

}  // namespace
}  // namespace kesto

using kesto::engine;

int LumoSRInitialize(void*) {
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    engine().initialized = true;
    return LUMOSR_OK;
}

int LumoSRInvalidate() {
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
    engine().listener.Stop();
    engine().initialized = false;
    return LUMOSR_OK;
}

void LumoSRSetStorageConfig(const char* path) {
    std::lock_guard<std::mutex> lock(engine().lifeMutex);
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
    return LUMOSR_OK;
}

bool LumoSRIsStarted() { return engine().listener.IsStarted(); }

uint16_t LumoSRGetPort() { return engine().listener.Port(); }

int LumoSRImportSecurityFile(const char* path) {
    if (!path || !*path) return LUMOSR_ERR_NOTFOUND;
    QString target;
    {
        std::lock_guard<std::mutex> lock(engine().lifeMutex);
        target = engine().engineDir() + QStringLiteral("/kestosecurity.xml");
    }
    QString why;
    int rc = kesto::ImportSecurityFile(QString::fromUtf8(path), target, &why);
    if (rc != LUMOSR_OK) LumoPrintf("LumoSRImportSecurityFile: %s: %s\n", path, why.toUtf8().constData());
    return rc;
}

int LumoSRGetDiskInfo(const char*, int, IVantelList** out, int) {
    if (out) *out = nullptr;
    return LUMOSR_ERR_STATE;
}
int LumoSRGetChanInfo(const char*, int, IVantelList** out, int) {
    if (out) *out = nullptr;
    return LUMOSR_ERR_STATE;
}
int LumoSRGetCUIDInfo(const char*, int, IVantelList** out, int) {
    if (out) *out = nullptr;
    return LUMOSR_ERR_STATE;
}
int LumoSRGetBlockInfo(const char*, int64_t, int, IVantelList**, int) { return LUMOSR_ERR_STATE; }
int LumoSRFormatDisk(const char*, IKestoDiskFormat*, IVantelData** out, int) {
    if (out) *out = nullptr;
    return LUMOSR_ERR_STATE;
}
int LumoSRSearchFiles(const ILumoFSSearchParam*, uint64_t*, CLumoFileDescList*, int) { return LUMOSR_ERR_STATE; }
int LumoSRFileDesc2KestoFileInfo(const CLumoFileDescList*, IVantelList*) { return LUMOSR_ERR_STATE; }
