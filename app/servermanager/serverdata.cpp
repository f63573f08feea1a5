#include "serverdata.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <atomic>
#include <memory>

#include "LumoBase/atomicfile.h"
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
    // QSettings writes the ini text (keeping the other groups) into a scratch copy; the file itself
    // is then replaced whole and owner-only (it holds the password), so a full disk or a crash
    // never leaves it empty or cut, and a failed save says so.
    const QString path = ServerDataStore::SettingsFile();
    QTemporaryDir scratch;
    if (!scratch.isValid()) return false;
    const QString copy = scratch.filePath(QStringLiteral("VantelServer.ini"));
    QFile current(path);
    if (current.exists() && (!current.open(QIODevice::ReadOnly) || !QFile::copy(path, copy))) return false;
    {
        QSettings s(copy, QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        s.beginGroup(QStringLiteral("PgConfigData"));
        s.setValue(QStringLiteral("port"), uint(port));
        s.setValue(QStringLiteral("runstartup"), runstartup);
        s.endGroup();
        s.sync();
        if (s.status() != QSettings::NoError) return false;
    }
    QFile written(copy);
    if (!written.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = written.readAll();
    // The scratch disk may be full too: what is written must read back as what was asked.
    {
        QSettings check(copy, QSettings::IniFormat);
        if (check.value(QStringLiteral("PgConfigData/port")).toUInt() != port) return false;
    }
    const LumoSaveResult r = LumoSaveFileAtomic(QFile::encodeName(path).toStdString(), text.constData(),
                                                static_cast<size_t>(text.size()), 0600);
    if (!r.ok()) {
        VantelDBG_Printf_f(0x7fff, 1, "PgConfigData::Save", "%s", r.message.c_str());
        return false;
    }
    // The records' settings object reads the file as it is now.
    SettingsObject().reset();
    return true;
}
