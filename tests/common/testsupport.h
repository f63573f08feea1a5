// What every test may need and must not write again: TCP ports that no other test of this
// machine is handed at the same time, waiting for a condition, a tool that the run requires,
// and a small file system that fills up.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/mount.h>
#include <unistd.h>

namespace vt {

// True where the run is CI's (CI=true): there a missing tool is a failure, not a skip, since the
// set-up script installs every tool the tests use.
inline bool InCI() {
    const QByteArray ci = qgetenv("CI").toLower();
    return !ci.isEmpty() && ci != "0" && ci != "false";
}

// Polls cond (handling events meanwhile) until it holds or ms have passed.
inline bool WaitUntil(const std::function<bool()>& cond, int ms) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return cond();
        QTest::qWait(20);
    }
    return true;
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

// A TCP port that is free now and that no other test process on this machine will be handed
// while this one runs. The ports come from below the kernel's range for outgoing connections
// (32768 and up), so no client socket takes them either; each is reserved by a lock on a file
// that this process holds until it ends, so parallel tests never pick the same one.
inline quint16 ReservePort() {
    // One folder for every test process of the machine, whatever TMPDIR a test gives itself
    // (several do, to keep their runs apart): the locks only exclude each other there.
    static const QString folder = [] {
        const QString f = QStringLiteral("/tmp/vantel-test-ports");
        QDir().mkpath(f);
        return f;
    }();
    // Start at a place of our own, so that parallel tests rarely try the same ports first.
    static quint32 next = 20000 + static_cast<quint32>(getpid() * 7919u) % 12000u;
    for (int tries = 0; tries < 12000; ++tries) {
        const quint16 port = static_cast<quint16>(20000 + (next++ - 20000) % 12000);
        const QByteArray lock = QFile::encodeName(folder + QStringLiteral("/%1").arg(port));
        const int fd = ::open(lock.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        if (!PortIsFree(port)) {
            ::close(fd);
            continue;
        }
        return port;  // fd stays open (and locked) until the process ends
    }
    qFatal("no free TCP port between 20000 and 32000");
    return 0;
}

// The lines of a UI log (VANTEL_UI_LOG: a line an event, its fields parted by tabs) that tell of
// one kind of event ("messagebox", "balloon", "notify", "tip" ...).
inline QStringList UiLogLines(const QString& log, const QString& kind) {
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList out;
    for (const QString& l : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (l.startsWith(kind + QLatin1Char('\t'))) out << l;
    return out;
}

inline bool HaveTool(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

// /usr/bin/python3 with GStreamer's RTSP server bindings (the RTSP test server needs them).
inline bool HaveRtspServer() {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QStringLiteral("import gi; gi.require_version('GstRtspServer', '1.0'); "
                                                  "from gi.repository import GstRtspServer")});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A small tmpfs of its own (needs root, as CI has): where a test fills a disk.
class SmallTmpfs {
public:
    // Mounts size bytes; false (with why) where this process may not mount.
    bool Mount(qint64 size, QString* why) {
        if (!m_dir.isValid()) {
            *why = QStringLiteral("no temporary folder");
            return false;
        }
        const QByteArray opts = "size=" + QByteArray::number(size) + ",mode=0755";
        if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, opts.constData()) != 0) {
            *why = QStringLiteral("cannot mount a tmpfs here: %1").arg(QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
        m_mounted = true;
        return true;
    }
    ~SmallTmpfs() {
        if (m_mounted) ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Fills what is left with one file, so that the next write of any size fails.
    bool Fill() const {
        const int fd = ::open(QFile::encodeName(m_dir.filePath(QStringLiteral(".filler"))).constData(),
                              O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        static const char block[4096] = {};
        for (ssize_t chunk : {ssize_t(sizeof block), ssize_t(1)})
            while (::write(fd, block, size_t(chunk)) == chunk) {
            }
        ::close(fd);
        return true;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

}  // namespace vt

// Skips the test where a tool it needs is missing; in CI, where setup installs every tool, fails.
#define VT_REQUIRE(cond, why)                              \
    do {                                                   \
        if (!(cond)) {                                     \
            if (vt::InCI()) QFAIL(qPrintable(QString(why))); \
            QSKIP(qPrintable(QString(why)));               \
        }                                                  \
    } while (0)
