#include "processwatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace ProcessWatch {
namespace {

// The state letter of /proc/<pid>/stat: after the last ')' (the command name may hold anything).
char ProcessState(const QString& statPath) {
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly)) return '?';
    const QByteArray text = stat.read(4096);
    const int close = text.lastIndexOf(')');
    if (close < 0 || close + 2 >= text.size()) return '?';
    return text.at(close + 2);
}

// The instance scope a process was started with (VANTEL_INSTANCE_SCOPE in /proc/<pid>/environ;
// empty when it has none).
QByteArray ProcessScope(const QString& environPath) {
    QFile f(environPath);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    static const QByteArray key("VANTEL_INSTANCE_SCOPE=");
    for (const QByteArray& entry : f.readAll().split('\0'))
        if (entry.startsWith(key)) return entry.mid(key.size());
    return QByteArray();
}

}  // namespace

bool IsProcessRunning(const QString& name, const QString& procRoot) {
    if (name.isEmpty()) return false;
    const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : entries) {
        bool numeric = false;
        pid.toLongLong(&numeric);
        if (!numeric) continue;
        const QString dir = procRoot + QLatin1Char('/') + pid;
        // Processes of other users cannot be read (and could not be told to stop anyway).
        QString exe = QFile::symLinkTarget(dir + QStringLiteral("/exe"));
        if (exe.isEmpty()) continue;
        if (exe.endsWith(QLatin1String(" (deleted)"))) exe.chop(10);  // replaced by a newer build
        if (QFileInfo(exe).fileName() != name) continue;
        const char state = ProcessState(dir + QStringLiteral("/stat"));
        if (state == 'Z' || state == 'X' || state == '?') continue;
        // A host of another instance scope has its own guard and stop channel: it is not the
        // one this list would stop, nor one that keeps this list's host from starting.
        if (ProcessScope(dir + QStringLiteral("/environ")) != qgetenv("VANTEL_INSTANCE_SCOPE")) continue;
        return true;
    }
    return false;
}

QVector<HostState> Scan(const QStringList& names, const QStringList& iniFiles,
                        const QStringList& defaultPorts, const QString& procRoot) {
    QVector<HostState> out(names.size());
    for (int i = 0; i < names.size(); ++i) {
        out[i].running = IsProcessRunning(names[i], procRoot);
        QSettings ini(iniFiles.value(i), QSettings::IniFormat);
        ini.setIniCodec("UTF-8");
        out[i].port = ini.value(QStringLiteral("port"), defaultPorts.value(i)).toString().trimmed().toInt();
    }
    return out;
}

}  // namespace ProcessWatch
