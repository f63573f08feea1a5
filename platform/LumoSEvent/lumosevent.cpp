// The exported calls: a registry of running engines by handle number and port.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <map>
#include <memory>
#include <mutex>

#include "LumoBase/atomicfile.h"
#include "LumoSEvent/LumoSEvent.h"
#include "VantelCore/VantelCore.h"
#include "VantelCore/securityfile.h"
#include "eventengine.h"

namespace {

// Handles are numbers handed out once, never addresses: a stopped handle stays refused even
// when a later engine reuses the memory.
struct Registry {
    std::mutex mutex;
    uintptr_t next = 1;
    std::map<uintptr_t, std::shared_ptr<lumose::EventEngine>> engines;  // guarded by mutex
};

Registry& registry() {
    static Registry r;
    return r;
}

std::shared_ptr<lumose::EventEngine> find(void* handle) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.engines.find(reinterpret_cast<uintptr_t>(handle));
    return it == r.engines.end() ? nullptr : it->second;
}

QString workPath() {
    const QString base =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return base + QStringLiteral("/EventData");
}

}  // namespace

int LumoSEInitialize(void*) {
    return LUMO_OK;
}

int LumoSEInvalidate() {
    std::map<uintptr_t, std::shared_ptr<lumose::EventEngine>> engines;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        engines.swap(r.engines);
    }
    for (auto& e : engines) e.second->StopAndWait();
    return LUMO_OK;
}

void* LumoSEStart(uint16_t port, uint16_t maxDevNum, uint16_t maxPicDays, uint32_t maxEventRows,
                  const char* pathPic, const char* pathDbs) {
    if (port == 0) return nullptr;
    lumose::EngineParams p;
    p.port = port;
    p.maxDevNum = maxDevNum ? quint32(maxDevNum) : quint32(LUMOSE_DEFAULT_MAXDEVNUM);
    p.maxPicDays = maxPicDays ? quint32(maxPicDays) : quint32(LUMOSE_DEFAULT_MAXPICDAYS);
    p.maxEventRows = maxEventRows ? maxEventRows : quint32(LUMOSE_DEFAULT_MAXEVENTROWS);
    p.pathPic = CLumoString::IsEmpty(pathPic) ? workPath() : QString::fromUtf8(pathPic);
    p.pathDbs = CLumoString::IsEmpty(pathDbs) ? workPath() : QString::fromUtf8(pathDbs);
    p.securityFile = workPath() + QStringLiteral("/security.xml");
    auto engine = std::make_shared<lumose::EventEngine>(p);
    if (!engine->StartAndWait()) return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const uintptr_t id = r.next++;
    r.engines[id] = engine;
    return reinterpret_cast<void*>(id);
}

int LumoSEStop(uint16_t port) {
    std::shared_ptr<lumose::EventEngine> engine;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (auto it = r.engines.begin(); it != r.engines.end(); ++it)
            if (it->second->Port() == port) {
                engine = it->second;
                r.engines.erase(it);
                break;
            }
    }
    if (!engine) return LUMO_ERR_PARAM;
    engine->StopAndWait();
    return LUMO_OK;
}

int LumoSAttachEventServer(void* handle, ILumoCallback* callback, LumoSignalMember member) {
    const auto engine = find(handle);
    if (!engine || !callback || !member) return LUMO_ERR_PARAM;
    return engine->Signal().Attach(callback, member) == 0 ? LUMO_OK : LUMO_ERR_PARAM;
}

int LumoSDetachEventServer(void* handle, ILumoCallback* callback, LumoSignalMember member) {
    const auto engine = find(handle);
    if (!engine || !callback || !member) return LUMO_ERR_PARAM;
    // The signal's lock is held for a call in flight: this returns after it.
    return engine->Signal().Detach(callback, member) == 0 ? LUMO_OK : LUMO_ERR_PARAM;
}

int LumoSGetDeviceTable(void* handle, std::vector<LumoSDTODevice>* out) {
    const auto engine = find(handle);
    if (!engine || !out) return LUMO_ERR_PARAM;
    const std::vector<LumoSDTODevice> rows = engine->Devices();
    out->insert(out->end(), rows.begin(), rows.end());
    return LUMO_OK;
}

const char* LumoSEGetWorkPath() {
    // Made once: callers on any thread keep the pointer.
    static const std::string path = workPath().toStdString();
    return path.c_str();
}

std::string LumoSEDatabaseFile(const char* pathDbs) {
    const QString dir = CLumoString::IsEmpty(pathDbs) ? workPath() : QString::fromUtf8(pathDbs);
    return (dir + QStringLiteral("/PavoEvents.db")).toStdString();
}

int LumoSEImportSecurityFile(const char* path) {
    if (CLumoString::IsEmpty(path)) return LUMO_ERR_PARAM;
    QByteArray data;
    switch (vantel::ReadSecurityFile(QString::fromUtf8(path), nullptr, &data, nullptr)) {
        case vantel::SecurityRead::Ok:
            break;
        case vantel::SecurityRead::NotFound:
        case vantel::SecurityRead::Unreadable:
            return LUMO_ERR_NOTFOUND;
        case vantel::SecurityRead::NotAFile:
        case vantel::SecurityRead::TooLarge:
        case vantel::SecurityRead::Malformed:
            return LUMO_ERR_FORMAT;
    }
    const QString dir = workPath();
    if (!QDir().mkpath(dir)) return LUMO_ERR_WRITE;
    // It holds the devices' passwords: readable by the owner only.
    const LumoSaveResult saved =
        LumoSaveFileAtomic(QFile::encodeName(dir + QStringLiteral("/security.xml")).toStdString(),
                           data.constData(), size_t(data.size()), 0600);
    if (!saved.ok()) {
        VantelDBG_Printf_f(0x7fff, 1, "LumoSEvent", "security file not imported: %s", saved.message.c_str());
        return saved.code;
    }
    return LUMO_OK;
}
