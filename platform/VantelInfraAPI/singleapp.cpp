#include "singleapp.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QMetaObject>
#include <chrono>
#include <thread>

QString SingleApp::RuntimeFolder() {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        dir = QDir::tempPath() + QStringLiteral("/vantel-runtime-%1").arg(getuid());
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return dir;
}

SingleApp::SingleApp(const QString& name) : m_name(name) {
    if (m_name.isEmpty()) m_name = QCoreApplication::applicationName();
    if (m_name.isEmpty()) m_name = QStringLiteral("VantelApp");
}

SingleApp::~SingleApp() = default;

QString SingleApp::LockFilePath() const {
    return RuntimeFolder() + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

bool SingleApp::IsRunning() {
    if (m_checked) return m_running;
    m_checked = true;
    m_lock = std::make_unique<QLockFile>(LockFilePath());
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
