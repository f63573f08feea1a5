#include "consoleshell.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QSettings>
#include <QStandardPaths>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "CrashReport/CrashReport.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/vantelutility.h"

bool StartCrashReporter(const QString& appDir, const QString& databaseFolder) {
    const std::string handler =
        (appDir + QStringLiteral("/vantelcrashrpt/bin/vantel_crash_handler_x64.exe")).toStdString();
    const std::string database = (appDir + QStringLiteral("/vantelcrashrpt/") + databaseFolder).toStdString();
    // Without the handler there is nothing to report to: do not leave an empty database behind.
    if (access(handler.c_str(), X_OK) != 0) return false;
    std::unique_ptr<crashreport::ReportDatabase> db = crashreport::ReportDatabase::Initialize(database);
    if (db) db->GetSettings()->SetUploadsEnabled(false);
    crashreport::ReportClient client;
    if (!client.StartHandler(handler, database, database, std::string(), {}, {}, true, true, {}))
        return false;
    return client.WaitForHandlerStart(5000);
}

void LoadStyleSheet() {
    INFRA::Customization custom;
    qApp->setFont(custom.GetFont());
    auto readAll = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/res/default/qss/");
    qApp->setStyleSheet(ConsoleShell::BuildStyleSheet(readAll(dir + QStringLiteral("default.qss")),
                                                      readAll(dir + QStringLiteral("picture.qss")),
                                                      custom.GetUxColor()));
}

QString GetOpenFileName(const QString& filter) {
    QFileDialog dialog(nullptr);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    if (!filter.isEmpty()) dialog.setNameFilter(filter);
    dialog.setAttribute(Qt::WA_QuitOnClose, false);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

namespace ConsoleShell {

QString SubstituteColors(QString qss, const QMap<QString, QColor>& colors) {
    for (auto it = colors.constBegin(); it != colors.constEnd(); ++it)
        qss.replace(QLatin1Char('#') + it.key() + QLatin1Char('#'), it.value().name(), Qt::CaseSensitive);
    return qss;
}

QString BuildStyleSheet(const QString& defaultQss, const QString& pictureQss,
                        const QMap<QString, QColor>& colors) {
    return SubstituteColors(defaultQss, colors) + pictureQss;
}

QString FormatRunTime(quint64 ms) {
    const quint64 days = ms / 86400000ULL;
    const quint64 rest = ms % 86400000ULL;
    const quint64 hours = rest / 3600000ULL;
    const quint64 minutes = (rest % 3600000ULL) / 60000ULL;
    const quint64 seconds = (rest % 60000ULL) / 1000ULL;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(hours, 2, 10, QLatin1Char('0'))
                              .arg(minutes, 2, 10, QLatin1Char('0'))
                              .arg(seconds, 2, 10, QLatin1Char('0'));
    if (days == 0) return clock;
    return QStringLiteral("%1 %2 %3").arg(days).arg(QObject::tr("K6590_Day"), clock);
}

bool ParsePort(const QString& text, quint16* port) {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok, 10);
    if (!ok || v < 1 || v > 65535) return false;
    if (port) *port = static_cast<quint16>(v);
    return true;
}

quint16 ReadPortSetting(const QString& iniFile, const QString& key, quint16 defaultPort, bool* repaired) {
    QSettings settings(iniFile, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    quint16 port = 0;
    const QVariant value = settings.value(key);
    if (value.isValid() && ParsePort(value.toString(), &port)) {
        if (repaired) *repaired = false;
        return port;
    }
    settings.setValue(key, defaultPort);
    settings.sync();
    if (repaired) *repaired = true;
    return defaultPort;
}

namespace {

void collectLanguages(const QString& dir, QSettings& ini, QStringList& names) {
    const QFileInfoList entries =
        QDir(dir).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::DirsLast);
    for (const QFileInfo& fi : entries) {
        if (fi.isDir()) {
            collectLanguages(fi.absoluteFilePath(), ini, names);
            continue;
        }
        const QString name = ini.value(fi.baseName()).toString();
        if (!name.isEmpty() && !names.contains(name)) names << name;
    }
}

}  // namespace

QStringList ListLanguages(const QString& dir, const QString& languagesIni) {
    QSettings ini(languagesIni, QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    ini.beginGroup(QStringLiteral("Languages"));
    QStringList names;
    collectLanguages(dir, ini, names);
    return names;
}

QString LanguageNameForKey(const QString& languagesIni, const QString& key) {
    if (key.isEmpty()) return QString();
    QSettings ini(languagesIni, QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    return ini.value(QStringLiteral("Languages/") + key).toString();
}

QString LanguageKeyForName(const QString& languagesIni, const QString& name) {
    QSettings ini(languagesIni, QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    ini.beginGroup(QStringLiteral("Languages"));
    for (const QString& key : ini.childKeys())
        if (!name.isEmpty() && ini.value(key).toString() == name) return key;
    return QString();
}

QString SavedLanguage(const QString& settingsFile) {
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    const QString key = settings.value(QStringLiteral("skin/language")).toString();
    return key.isEmpty() ? QStringLiteral("English") : key;
}

QString SwitchLanguage(const QString& name, const QString& languagesIni, const QString& settingsFile) {
    QString key = LanguageKeyForName(languagesIni, name);
    if (key.isEmpty() || !VantelUtility::initLanguage(key)) {
        key = QStringLiteral("English");
        VantelUtility::initLanguage(key);
    }
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue(QStringLiteral("skin/language"), key);
    settings.sync();
    return key;
}

bool IsStopCommand(const char* block, int size) {
    static const char command[] = "stop";  // with its zero: 5 bytes
    if (!block || size < static_cast<int>(sizeof command)) return false;
    return std::memcmp(block, command, sizeof command) == 0;
}

qint64 StopCommandTime(const char* block, int size) {
    if (!IsStopCommand(block, size) || size < STOP_STAMP_OFFSET + static_cast<int>(sizeof(quint64)))
        return -1;
    quint64 stamp = 0;
    std::memcpy(&stamp, block + STOP_STAMP_OFFSET, sizeof stamp);
    return stamp == 0 ? -1 : static_cast<qint64>(stamp - 1);
}

int WriteStopCommand(SHAREMEMHANDLE handle, qint64 whenMs) {
    char block[STOP_STAMP_OFFSET + sizeof(quint64)] = "stop";
    const quint64 stamp = static_cast<quint64>(whenMs < 0 ? BootClockMs() : whenMs) + 1;
    std::memcpy(block + STOP_STAMP_OFFSET, &stamp, sizeof stamp);
    return ShareMemoryWrite(handle, SHAREMEM_DEFAULT_SIZE, 1, block, sizeof block);
}

qint64 BootClockMs() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

qint64 ProcessStartMs(qint64 pid) {
    // Field 22 of /proc/<pid>/stat, after the command name in parentheses: clock ticks since boot.
    QFile stat(pid > 0 ? QStringLiteral("/proc/%1/stat").arg(pid) : QStringLiteral("/proc/self/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const int close = text.lastIndexOf(')');
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        bool ok = false;
        const qint64 ticks = fields.size() > 19 ? fields.at(19).toLongLong(&ok) : 0;
        const long hz = sysconf(_SC_CLK_TCK);
        // The end of that tick: a stop from the tick in which the process started counts as older.
        if (close > 0 && ok && hz > 0) return (ticks + 1) * 1000 / hz;
    }
    if (pid > 0) return -1;
    // Without /proc: the earliest moment this code knows of.
    static const qint64 firstAsked = BootClockMs();
    return firstAsked;
}

bool ClearStaleStop(SHAREMEMHANDLE handle, qint64 processStartMs) {
    char block[SHAREMEM_DEFAULT_SIZE];
    std::memset(block, 0, sizeof block);
    if (ShareMemoryRead(handle, 1, block, sizeof block) != 0) return false;
    const int size = qMin(ShareMemorySize(handle), static_cast<int>(sizeof block));
    if (!IsStopCommand(block, size)) return false;
    const qint64 written = StopCommandTime(block, size);
    if (written >= processStartMs) return false;  // written while this console was starting
    std::memset(block, 0, sizeof block);
    ShareMemoryWrite(handle, size, 1, block, size);
    return true;
}

bool PollStopChannel(SHAREMEMHANDLE handle) {
    char block[SHAREMEM_DEFAULT_SIZE];
    std::memset(block, 0, sizeof block);
    if (ShareMemoryRead(handle, 1, block, sizeof block) != 0) return false;
    const int size = qMin(ShareMemorySize(handle), static_cast<int>(sizeof block));
    if (!IsStopCommand(block, size)) return false;
    std::memset(block, 0, sizeof block);
    ShareMemoryWrite(handle, size, 1, block, size);
    return true;
}

QByteArray StopChannelName(const QString& linkName) {
    return (linkName + QStringLiteral("ShareMem")).toLocal8Bit();
}

QString DefaultRouteInterface(const QByteArray& routeTable) {
    QString best;
    qlonglong bestMetric = -1;
    const QList<QByteArray> lines = routeTable.split('\n');
    for (int i = 1; i < lines.size(); ++i) {  // line 0 is the header
        const QList<QByteArray> f = lines.at(i).simplified().split(' ');
        if (f.size() < 8) continue;
        bool ok = false;
        const uint flags = f.at(3).toUInt(&ok, 16);
        if (!ok || !(flags & 0x1)) continue;                           // RTF_UP
        if (f.at(1) != "00000000" || f.at(7) != "00000000") continue;  // destination and mask 0: default
        const qlonglong metric = f.at(6).toLongLong(&ok);
        if (!ok) continue;
        if (bestMetric < 0 || metric < bestMetric) {
            bestMetric = metric;
            best = QString::fromLatin1(f.at(0));
        }
    }
    return best;
}

QString GetInterfaceIPv4() {
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress& a : all) {
        if (a == QHostAddress(QHostAddress::LocalHost) || a.isLoopback()) continue;
        bool ok = false;
        const quint32 v4 = a.toIPv4Address(&ok);
        if (ok && v4 != 0) return a.toString();
    }
    return QHostAddress(QHostAddress::LocalHost).toString();
}

QString GetLocalIPv4() {
    const QString first = GetInterfaceIPv4();
    QFile route(QStringLiteral("/proc/net/route"));
    if (!route.open(QIODevice::ReadOnly)) return first;
    const QString name = DefaultRouteInterface(route.readAll());
    if (name.isEmpty()) return first;
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(name);
    for (const QNetworkAddressEntry& e : iface.addressEntries()) {
        const QHostAddress ip = e.ip();
        if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback()) return ip.toString();
    }
    return first;
}

}  // namespace ConsoleShell
