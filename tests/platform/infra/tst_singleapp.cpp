// Single-instance guard across processes, stale locks of killed processes, and the forced end.
#include <QtTest>
#include <csignal>
#include <thread>

#include "VantelInfraAPI/singleapp.h"

namespace {

// Child modes of this executable, so that a second process really holds the lock.
int childMain(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString mode = QString::fromLocal8Bit(argv[1]);
    if (mode == QLatin1String("--hold")) {
        SingleApp guard(QString::fromLocal8Bit(argv[2]));
        const bool running = guard.IsRunning();
        printf("%s\n", running ? "running" : "locked");
        fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;
    }
    if (mode == QLatin1String("--kill-after")) {
        SingleApp guard(QStringLiteral("KillProbe"));
        guard.KillByTime(QString::fromLocal8Bit(argv[2]).toInt(), false);
        printf("armed\n");
        fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;  // never reached: the timer ends the process first
    }
    return 2;
}

}  // namespace

class TestSingleApp : public QObject {
    Q_OBJECT
    QTemporaryDir m_runtime;

    QProcess* startChild(const QStringList& args) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        p->setProcessEnvironment(env);
        p->start(QCoreApplication::applicationFilePath(), args);
        return p;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }

    void lockInRuntimeFolder() {
        SingleApp guard(QStringLiteral("FolderProbe"));
        QCOMPARE(SingleApp::RuntimeFolder(), m_runtime.path());
        QVERIFY(!guard.IsRunning());
        QVERIFY(QFileInfo::exists(m_runtime.path() + QStringLiteral("/FolderProbe.lock")));
        QCOMPARE(guard.GetAppName(), QStringLiteral("FolderProbe"));
    }

    void secondInstanceInAnotherProcess() {
        QProcess* child = startChild({QStringLiteral("--hold"), QStringLiteral("CrossProbe")});
        QVERIFY(child->waitForReadyRead(10000));
        QCOMPARE(child->readLine().trimmed(), QByteArray("locked"));
        {
            SingleApp second(QStringLiteral("CrossProbe"));
            QVERIFY(second.IsRunning());
            QVERIFY(second.IsRunning());  // asked again: same answer
        }
        child->kill();  // SIGKILL: the lock file stays behind
        child->waitForFinished(5000);
        QVERIFY(QFileInfo::exists(m_runtime.path() + QStringLiteral("/CrossProbe.lock")));
        // The holder is gone: its stale lock must not keep the program from starting.
        SingleApp third(QStringLiteral("CrossProbe"));
        QVERIFY(!third.IsRunning());
    }

    void otherNamesDoNotCollide() {
        SingleApp a(QStringLiteral("ProbeA"));
        SingleApp b(QStringLiteral("ProbeB"));
        QVERIFY(!a.IsRunning());
        QVERIFY(!b.IsRunning());
    }

    void lockReleasedWithTheGuard() {
        {
            SingleApp first(QStringLiteral("ReleaseProbe"));
            QVERIFY(!first.IsRunning());
        }
        SingleApp again(QStringLiteral("ReleaseProbe"));
        QVERIFY(!again.IsRunning());
    }

    void killByTimeEndsTheProcess() {
        QElapsedTimer clock;
        clock.start();
        QProcess* child = startChild({QStringLiteral("--kill-after"), QStringLiteral("300")});
        QVERIFY(child->waitForReadyRead(10000));
        QVERIFY(child->waitForFinished(10000));
        QVERIFY2(clock.elapsed() < 8000, "the timer should end the child long before its 30 s sleep");
        QCOMPARE(child->exitStatus(), QProcess::NormalExit);
        QCOMPARE(child->exitCode(), EXIT_FAILURE);
    }
};

int main(int argc, char** argv) {
    if (argc >= 3 && (qstrcmp(argv[1], "--hold") == 0 || qstrcmp(argv[1], "--kill-after") == 0))
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TestSingleApp t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_singleapp.moc"
