#include "VantelInfraAPI/singleapp.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QLockFile>
#include <QMetaObject>
#include <chrono>
#include <thread>

#include "VantelCore/VantelCore.h"

namespace InstanceScope {

bool PreparePrivateFolder(const QString& path, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = path + QStringLiteral(": ") + why;
        return false;
    };
    if (path.isEmpty()) return fail(QStringLiteral("no folder named"));
    const QByteArray native = QFile::encodeName(path);
    if (mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return fail(QString::fromLocal8Bit(strerror(errno)));
    struct stat st;
    if (lstat(native.constData(), &st) != 0) return fail(QString::fromLocal8Bit(strerror(errno)));
    // Someone else's folder, or a link to one, would let another user take the guard or read and
    // write the stop channel.
    if (S_ISLNK(st.st_mode)) return fail(QStringLiteral("is a symbolic link"));
    if (!S_ISDIR(st.st_mode)) return fail(QStringLiteral("is not a folder"));
    if (st.st_uid != geteuid()) return fail(QStringLiteral("belongs to user %1").arg(st.st_uid));
    if ((st.st_mode & 077) != 0 && chmod(native.constData(), 0700) != 0)
        return fail(QString::fromLocal8Bit(strerror(errno)));
    if (error) error->clear();
    return true;
}

QString Folder(QString* error) {
    // Not QDir::tempPath() nor $XDG_RUNTIME_DIR: two programs started with different
    // environments must still find each other.
    const QString folder = QStringLiteral("/tmp/vantel-%1").arg(geteuid());
    return PreparePrivateFolder(folder, error) ? folder : QString();
}

QString Name(const QString& name) {
    const QString tag = qEnvironmentVariable("VANTEL_INSTANCE_SCOPE");
    if (tag.isEmpty()) return name;
    QString clean;
    for (QChar c : tag) {
        const ushort u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                        u == '-' || u == '_';
        clean += ok ? c : QLatin1Char('_');
    }
    return name + QLatin1Char('.') + clean;
}

}  // namespace InstanceScope

SingleApp::SingleApp(const QString& name) : m_name(name) {
    if (m_name.isEmpty()) m_name = QCoreApplication::applicationName();
    if (m_name.isEmpty()) m_name = QStringLiteral("VantelApp");
}

SingleApp::~SingleApp() = default;

QString SingleApp::LockFilePath() const {
    const QString folder = InstanceScope::Folder();
    if (folder.isEmpty()) return QString();
    return folder + QLatin1Char('/') + InstanceScope::Name(m_name) + QStringLiteral(".lock");
}

bool SingleApp::IsRunning() {
    if (m_checked) return m_running;
    m_checked = true;
    QString why;
    const QString folder = InstanceScope::Folder(&why);
    if (folder.isEmpty()) {
        // Without a safe folder there is no guard; that must not keep the program from starting.
        VantelDBG_Printf_f(0x7fff, 1, "SingleApp::IsRunning", "no single-instance guard: %s",
                           why.toUtf8().constData());
        return m_running = false;
    }
    m_lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + InstanceScope::Name(m_name) +
                                         QStringLiteral(".lock"));
    // A lock is stale only when its process is gone, never because of its age: a console runs
    // for months.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        m_running = false;
    } else {
        // LockFailedError: another live process holds it. Any other error (no permission, no
        // folder) must not keep the program from starting.
        m_running = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
    }
    return m_running;
}

void SingleApp::KillByTime(int ms, bool graceful) {
    if (ms < 0) ms = 0;
    if (graceful && QCoreApplication::instance())
        QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
    std::thread([ms]() {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        // The normal exit did not finish in time (a hung engine stop, say).
        _exit(EXIT_FAILURE);
    }).detach();
}
