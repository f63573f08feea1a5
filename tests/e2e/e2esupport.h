// What the end-to-end tests share: a virtual X server of their own, copies of program folders
// with the folders and environment of one run, free ports, waiting for a condition, and ending
// the processes a test started.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <functional>

namespace e2e {

inline bool CopyTree(const QString& from, const QString& to) {
    QDir().mkpath(to);
    const QFileInfoList entries = QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& fi : entries) {
        const QString target = to + QLatin1Char('/') + fi.fileName();
        if (fi.isDir()) {
            if (!CopyTree(fi.absoluteFilePath(), target)) return false;
        } else if (!QFile::copy(fi.absoluteFilePath(), target)) {
            return false;
        }
    }
    return true;
}

// Polls cond (handling events meanwhile) until it holds or ms have passed.
inline bool WaitUntil(const std::function<bool()>& cond, int ms) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(50);
    }
    return true;
}

// A TCP port nobody listens on now.
inline quint16 FreePort() {
    QTcpServer s;
    s.listen(QHostAddress::AnyIPv4, 0);
    return s.serverPort();
}

inline bool CanConnect(quint16 port, int ms = 1000) {
    QTcpSocket sock;
    sock.connectToHost(QHostAddress::LocalHost, port);
    return sock.waitForConnected(ms);
}

inline bool PortIsFree(quint16 port) {
    QTcpServer s;
    return s.listen(QHostAddress::AnyIPv4, port);
}

// A copy of the built programs with their run-time files (resource bundle, languages, style
// sheets) in <root>/prog, and the folders of one run beside it: home, configuration, runtime,
// logs, temporary. The programs log their message boxes and balloons to <root>/ui.log.
struct ProgramCopy {
    QTemporaryDir root;
    QString prog, log;

    // Copies the named executables of the build's bin folder; a name ending in '?' is copied
    // only when the build has it.
    bool MakeCopy(const QStringList& programs) {
        if (!root.isValid()) return false;
        prog = root.filePath(QStringLiteral("prog"));
        const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
        if (!QDir().mkpath(prog)) return false;
        for (QString name : programs) {
            const bool optional = name.endsWith(QLatin1Char('?'));
            if (optional) name.chop(1);
            const QString from = bin + QLatin1Char('/') + name, to = prog + QLatin1Char('/') + name;
            if (optional && !QFileInfo::exists(from)) continue;
            if (!QFile::copy(from, to) ||
                !QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
                return false;
        }
        if (!QFile::copy(bin + QStringLiteral("/vantelres.xdll"), prog + QStringLiteral("/vantelres.xdll")) ||
            !CopyTree(bin + QStringLiteral("/Languages"), prog + QStringLiteral("/Languages")) ||
            !CopyTree(bin + QStringLiteral("/res"), prog + QStringLiteral("/res")))
            return false;
        for (const char* d : {"home", "config", "runtime", "logs", "tmp"})
            QDir().mkpath(root.filePath(QLatin1String(d)));
        QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        log = root.filePath(QStringLiteral("ui.log"));
        return true;
    }

    // Writes a file of the program folder whole.
    bool WriteProgramFile(const QString& name, const QByteArray& data) const {
        QFile f(prog + QLatin1Char('/') + name);
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
    }

    // The variables of one run: the display, the folders, the instance scope (so that runs do
    // not meet each other or a console in use), the UI log and the scripted answer to message
    // boxes (none when reply is empty).
    QMap<QString, QString> RunVariables(const QString& display, const QString& scope,
                                        const QString& reply = QString()) const {
        QMap<QString, QString> v;
        v.insert(QStringLiteral("DISPLAY"), display);
        v.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        v.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
        v.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
        v.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));
        v.insert(QStringLiteral("VANTEL_LOG_DIR"), root.filePath(QStringLiteral("logs")));
        v.insert(QStringLiteral("TMPDIR"), root.filePath(QStringLiteral("tmp")));
        v.insert(QStringLiteral("VANTEL_INSTANCE_SCOPE"), scope);
        v.insert(QStringLiteral("VANTEL_UI_LOG"), log);
        v.insert(QStringLiteral("VANTEL_UI_REPLY"), reply);
        return v;
    }
    QProcessEnvironment Environment(const QString& display, const QString& scope,
                                    const QString& reply = QString()) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QMap<QString, QString> v = RunVariables(display, scope, reply);
        for (auto it = v.begin(); it != v.end(); ++it) {
            if (it.value().isEmpty())
                env.remove(it.key());
            else
                env.insert(it.key(), it.value());
        }
        return env;
    }

    // The UI log's lines of one kind ("box", "balloon" ...).
    QStringList LogLines(const QString& kind) const {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList out;
        for (const QString& l : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (l.startsWith(kind + QLatin1Char('\t'))) out << l;
        return out;
    }

    // A text as the copy's language file gives it.
    QString Translate(const QString& language, const char* context, const char* key) const {
        QTranslator t;
        if (!t.load(prog + QStringLiteral("/Languages/") + language + QStringLiteral(".qm"))) return QString();
        return t.translate(context, key);
    }
};

// Kills and deletes the processes that are still running.
inline void EndAll(QList<QProcess*>* procs) {
    for (QProcess* p : qAsConst(*procs)) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(3000);
        }
        delete p;
    }
    procs->clear();
}

// A virtual X server on a display number it picks itself.
class Xvfb {
public:
    static bool Installed() { return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(); }

    // The display (":N"), or empty when the server did not come up.
    QString Start(const QString& screen = QStringLiteral("1280x800x24")) {
        // -displayfd: the server picks a free display number and writes it to us when ready.
        m_proc.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                              QStringLiteral("0"), screen, QStringLiteral("-nolisten"),
                                              QStringLiteral("tcp")});
        if (!m_proc.waitForStarted(5000)) return QString();
        WaitUntil([this]() { return m_proc.canReadLine() || m_proc.state() != QProcess::Running; }, 10000);
        const QByteArray number = m_proc.readLine().trimmed();
        return number.isEmpty() ? QString() : QStringLiteral(":") + QString::fromLatin1(number);
    }

    void Stop() {
        if (m_proc.state() != QProcess::Running) return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(3000)) m_proc.kill();
    }

private:
    QProcess m_proc;
};

}  // namespace e2e
