// The restart at the end of the event console: the new instance starts with the guard already
// released, so it does not find the old one still running.
#include <QtTest>
#include <unistd.h>

#include "VantelProcess/singleapp.h"
#include "restart.h"

class TestPavoRestart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qputenv("VANTEL_INSTANCE_SCOPE", QByteArray("tst_pavorestart-") + QByteArray::number(getpid()));
    }

    void guardIsReleasedBeforeTheStart() {
        QTemporaryDir dir;
        auto guard = std::make_unique<SingleApp>(QStringLiteral("PavoRestartProbe"));
        QVERIFY(!guard->IsRunning());  // holds the lock now
        const QString lock = guard->LockFilePath();
        QVERIFY(!lock.isEmpty());
        // The new instance looks at the guard's lock as soon as it runs: it must find it free
        // (flock answers whether another holder has it).
        const QString seen = dir.filePath(QStringLiteral("seen"));
        const QString script =
            QStringLiteral("if flock -n \"%1\" true; then echo free > \"%2\"; else echo held > \"%2\"; fi")
                .arg(lock, seen);
        QVERIFY(RestartAfterGuard(guard, QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}));
        QVERIFY(!guard);
        QTRY_VERIFY(QFileInfo(seen).size() > 0);
        QFile f(seen);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().trimmed(), QByteArray("free"));
        QFile::remove(lock);  // the probe's own empty file
    }

    void missingProgramIsReported() {
        auto guard = std::make_unique<SingleApp>(QStringLiteral("PavoRestartProbe2"));
        QVERIFY(!guard->IsRunning());
        QVERIFY(!RestartAfterGuard(guard, QStringLiteral("/nonexistent/PavoServer")));
        QVERIFY(!guard);
    }
};

QTEST_GUILESS_MAIN(TestPavoRestart)
#include "tst_pavorestart.moc"
