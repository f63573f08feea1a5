#include "serverdata.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <atomic>
#include <memory>

#include "VantelCore/VantelCore.h"

namespace {
std::mutex g_storeMutex;
std::atomic<ServerDataStore*> g_store{nullptr};  // written once under g_storeMutex
}  // namespace

namespace {
QString g_settingsOverride;  // set before first use, then read-only
}  // namespace

void ServerDataStore::UseSettingsFile(const QString& path) {
    g_settingsOverride = path;
}

QString ServerDataStore::SettingsFile() {
    if (!g_settingsOverride.isEmpty()) return g_settingsOverride;
    static const QString path = [] {
        QString dir =
            QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
        if (dir.isEmpty() && QCoreApplication::instance()) dir = QCoreApplication::applicationDirPath();
        return dir + QStringLiteral("/VantelServer.ini");
    }();
    return path;
}

namespace {
// The records' one settings object; LoadAll replaces it so that a load reads the file as it is now.
std::unique_ptr<QSettings>& SettingsObject() {
    static std::unique_ptr<QSettings> settings;
    return settings;
}
}  // namespace

QSettings& ServerDataStore::Settings() {
    std::unique_ptr<QSettings>& s = SettingsObject();
    if (!s) {
        s = std::make_unique<QSettings>(SettingsFile(), QSettings::IniFormat);
        s->setIniCodec("UTF-8");
    }
    return *s;
}

ServerDataStore& ServerDataStore::Instance() {
    ServerDataStore* store = g_store.load(std::memory_order_acquire);
    if (store) return *store;
    std::lock_guard<std::mutex> lock(g_storeMutex);
    store = g_store.load(std::memory_order_relaxed);
    if (!store) {
        store = new ServerDataStore;
        store->LoadAll();
        g_store.store(store, std::memory_order_release);
    }
    return *store;
}

bool ServerDataStore::LoadAll() {
    SettingsObject().reset();
    m_config.Load(false);
    m_log.Load(false);
    m_maintain.Load(false);
    return true;
}

bool ServerDataStore::SaveAll() {
    m_config.Save();
    m_log.Save();
    m_maintain.Save();
    return true;
}

bool PgConfigData::Load(bool useDefault) {
    QSettings& s = ServerDataStore::Settings();
    s.beginGroup(useDefault ? QStringLiteral("DefaultPgConfigData") : QStringLiteral("PgConfigData"));
    const QVariant rawPort = s.value(QStringLiteral("port"));
    bool ok = true;
    const uint value = rawPort.isValid() ? rawPort.toString().trimmed().toUInt(&ok) : uint(DefaultPort);
    if (!ok || value > 65535) {
        // Keeping the low 16 bits would start the engine on some other port (65616 -> 80).
        VantelDBG_Printf_f(0x7fff, 2, "PgConfigData::Load", "port \"%s\" in %s is not a port: using %u",
                           rawPort.toString().toUtf8().constData(),
                           ServerDataStore::SettingsFile().toUtf8().constData(), unsigned(DefaultPort));
        port = DefaultPort;
    } else {
        port = static_cast<quint16>(value);
    }
    const QString run = s.value(QStringLiteral("runstartup"), false).toString().trimmed().toLower();
    runstartup = run == QLatin1String("true") || run == QLatin1String("1");
    s.endGroup();
    return true;
}

bool PgConfigData::Save() {
    QSettings& s = ServerDataStore::Settings();
    s.beginGroup(QStringLiteral("PgConfigData"));
    s.setValue(QStringLiteral("port"), uint(port));
    s.setValue(QStringLiteral("runstartup"), runstartup);
    s.endGroup();
    // Written now rather than at some later event-loop turn: a crash or kill loses nothing.
    s.sync();
    return s.status() != QSettings::AccessError;
}
