#include "VantelProcess/singleapp.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QLockFile>
#include <QMetaObject>
#include <chrono>
#include <thread>

#include "VantelCore/VantelCore.h"
#include "VantelCore/privatefolder.h"

namespace InstanceScope {

bool PreparePrivateFolder(const QString& path, QString* error) {
    // Someone else's folder, or a link to one, would let another user take the guard or read and
    // write the stop channel: the suite's one private-folder check decides.
    std::string why;
    const bool ok = VantelPreparePrivateFolder(QFile::encodeName(path).toStdString(), &why);
    if (error) *error = ok ? QString() : QString::fromLocal8Bit(why.c_str());
    return ok;
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
