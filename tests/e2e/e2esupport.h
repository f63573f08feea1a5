// What the end-to-end tests share: a virtual X server of their own, copies of program folders,
// waiting for a condition, and ending the processes a test started.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
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
