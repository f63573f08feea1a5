// The exported calls: a registry of live engines keyed by handle, so that a released or unknown
// handle is refused instead of being used.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <map>
#include <memory>
#include <mutex>

#include "LumoSServer/LumoSServer.h"
#include "engine.h"
#include "state.h"

namespace lumos {
namespace {

std::mutex g_mutex;
QByteArray g_password;  // guarded by g_mutex
bool g_passwordUsable = true;  // guarded by g_mutex
LumoSLimits g_limits;          // guarded by g_mutex
bool (*g_isLocal)(const char*) = nullptr;  // guarded by g_mutex
bool g_many = false;    // guarded by g_mutex
QString g_dataFolder;   // guarded by g_mutex
// Never destroyed: an engine still alive at exit must not be stopped by a static destructor,
// after Qt is gone (the application's end stops them, see StopAllAtAppEnd).
std::map<uintptr_t, std::shared_ptr<Engine>>& g_live =
    *new std::map<uintptr_t, std::shared_ptr<Engine>>;  // guarded by g_mutex
bool g_postRoutine = false;                             // guarded by g_mutex
// Handles are numbers that are never reused, so a stale handle can never name a newer engine.
uintptr_t g_nextHandle = 0x5a000;  // guarded by g_mutex

std::shared_ptr<Engine> Find(void* handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_live.find(reinterpret_cast<uintptr_t>(handle));
    return it == g_live.end() ? nullptr : it->second;
}

QString ExeFolder() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

}  // namespace

namespace State {
QByteArray Password(bool* usable) {
    std::lock_guard<std::mutex> lock(g_mutex);
    *usable = g_passwordUsable;
    return g_passwordUsable ? g_password : QByteArray();
}
void SetPassword(const QByteArray& password) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_password = password;
    g_passwordUsable = true;
}
void RefusePasswordLogins() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_password.clear();
    g_passwordUsable = false;
}
LumoSLimits Limits() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_limits;
}
void SetLimits(const LumoSLimits& limits) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_limits = limits;
}
bool PeerIsLocal(const QHostAddress& peer) {
    bool (*check)(const char*) = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        check = g_isLocal;
    }
    if (!check) return peer.isLoopback();
    bool ok = false;
    const quint32 v4 = peer.toIPv4Address(&ok);
    return check((ok ? QHostAddress(v4) : peer).toString().toUtf8().constData());
}
void SetLocalPeerCheck(bool (*isLocal)(const char*)) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_isLocal = isLocal;
}
int MaxClients() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_many ? LUMOS_MAX_CLIENTS_MANY : LUMOS_MAX_CLIENTS;
}
void SetManyDevices(bool many) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_many = many;
}
QString DataFolder() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_dataFolder.isEmpty() ? ExeFolder() + QStringLiteral("/LumoSData") : g_dataFolder;
}
void SetDataFolder(const QString& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dataFolder = folder;
}
}  // namespace State

}  // namespace lumos

using lumos::Engine;
using lumos::Find;

int LumoSInitialize() {
    return LUMO_OK;
}

int LumoSInvalidate() {
    std::map<uintptr_t, std::shared_ptr<Engine>> all;
    {
        std::lock_guard<std::mutex> lock(lumos::g_mutex);
        all.swap(lumos::g_live);
    }
    for (auto& e : all) e.second->Stop();
    return LUMO_OK;
}

int LumoSSetDefaultPassword(const char* password) {
    lumos::State::SetPassword(QByteArray(password ? password : ""));
    return LUMO_OK;
}

int LumoSRefusePasswordLogins() {
    lumos::State::RefusePasswordLogins();
    return LUMO_OK;
}

int LumoSSetLimits(const LumoSLimits& limits) {
    if (limits.maxPendingPerAddress < 1 || limits.loginTimeoutMs < 1 || limits.penaltyBaseMs < 0 ||
        limits.penaltyMaxMs < 0)
        return LUMO_ERR_PARAM;
    lumos::State::SetLimits(limits);
    return LUMO_OK;
}

LumoSLimits LumoSGetLimits() {
    return lumos::State::Limits();
}

int LumoSSetLocalPeerCheck(bool (*isLocal)(const char* ip)) {
    lumos::State::SetLocalPeerCheck(isLocal);
    return LUMO_OK;
}

int LumoSSetSupportManyDevices(bool many) {
    lumos::State::SetManyDevices(many);
    return LUMO_OK;
}

int LumoSSetDataPath(const char* utf8Folder) {
    lumos::State::SetDataFolder(QString::fromUtf8(utf8Folder ? utf8Folder : ""));
    return LUMO_OK;
}

std::string LumoSGetDataPath() {
    return lumos::State::DataFolder().toUtf8().toStdString();
}

void* LumoSCreateServer(uint16_t port) {
    auto engine = std::make_shared<Engine>(port, lumos::State::DataFolder());
    std::lock_guard<std::mutex> lock(lumos::g_mutex);
    // Engines run event loops of their own: they are stopped while the application still exists,
    // also when the program forgot LumoSInvalidate.
    if (!lumos::g_postRoutine && QCoreApplication::instance()) {
        qAddPostRoutine([] { LumoSInvalidate(); });
        lumos::g_postRoutine = true;
    }
    uintptr_t id = lumos::g_nextHandle++;
    lumos::g_live[id] = engine;
    return reinterpret_cast<void*>(id);
}

int LumoSStartServer(void* handle) {
    auto e = Find(handle);
    return e ? e->Start() : LUMO_ERR_PARAM;
}

int LumoSStopServer(void* handle) {
    auto e = Find(handle);
    return e ? e->Stop() : LUMO_ERR_PARAM;
}

int LumoSReleaseServer(void* handle) {
    std::shared_ptr<Engine> e;
    {
        std::lock_guard<std::mutex> lock(lumos::g_mutex);
        auto it = lumos::g_live.find(reinterpret_cast<uintptr_t>(handle));
        if (it == lumos::g_live.end()) return LUMO_ERR_PARAM;
        e = it->second;
        lumos::g_live.erase(it);
    }
    e->Stop();
    return LUMO_OK;
}

int LumoSAttachServer(void* handle, ILumoCallback* callback, LumoSignalMember member) {
    auto e = Find(handle);
    if (!e || !callback || !member) return LUMO_ERR_PARAM;
    return e->Attach(callback, member) == 0 ? LUMO_OK : LUMO_ERR_EXISTS;
}

int LumoSDetachServer(void* handle, ILumoCallback* callback, LumoSignalMember member) {
    auto e = Find(handle);
    if (!e) return LUMO_ERR_PARAM;
    return e->Detach(callback, member) == 0 ? LUMO_OK : LUMO_ERR_NOTFOUND;
}

int LumoSExportCertification(void* handle, const char* path) {
    auto e = Find(handle);
    return e ? e->ExportCertificate(path) : LUMO_ERR_PARAM;
}

std::string LumoSCertificatePem(void* handle) {
    auto e = Find(handle);
    return e ? e->CertificatePem().toStdString() : std::string();
}

uint16_t LumoSBoundPort(void* handle) {
    auto e = Find(handle);
    return e ? e->BoundPort() : 0;
}

int LumoSOnlineClients(void* handle, std::list<LumoSDTOClient>& out) {
    auto e = Find(handle);
    if (!e) return LUMO_ERR_PARAM;
    e->OnlineClients(out);
    return LUMO_OK;
}

int LumoSServerCount() {
    std::lock_guard<std::mutex> lock(lumos::g_mutex);
    return static_cast<int>(lumos::g_live.size());
}
