// Single-instance guard across processes (whatever their runtime and temporary folders), stale
// locks of killed processes, the user's private folder, and the forced end.
#include <QtTest>
#include <csignal>
#include <unistd.h>
#include <thread>
#include "testsupport.h"

#include "VantelProcess/singleapp.h"

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
    QTemporaryDir m_dir;
    QString m_runtime;

    // A child with runtime and temporary folders of its own: the guard must not depend on them.
    QProcess* startChild(const QStringList& args, const QString& folders) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString dir = m_dir.filePath(folders);
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
        env.insert(QStringLiteral("TMPDIR"), dir);
        p->setProcessEnvironment(env);
        p->start(QCoreApplication::applicationFilePath(), args);
        return p;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_runtime = m_dir.filePath(QStringLiteral("runtime"));
        QDir().mkpath(m_runtime);
        qputenv("XDG_RUNTIME_DIR", m_runtime.toLocal8Bit());
        qputenv("TMPDIR", m_runtime.toLocal8Bit());
        // This run's own names: other runs of the suite on the machine hold guards of their own.
        qputenv("VANTEL_INSTANCE_SCOPE", QByteArray("tst_singleapp-") + QByteArray::number(getpid()));
    }

    // The lock lies in the user's own folder, not in the runtime or temporary folder.
    void lockInTheUsersFolder() {
        SingleApp guard(QStringLiteral("FolderProbe"));
        const QString folder = QStringLiteral("/tmp/vantel-%1").arg(geteuid());
        QCOMPARE(InstanceScope::Folder(), folder);
        QVERIFY(!guard.IsRunning());
        const QString lock = guard.LockFilePath();
        QVERIFY2(lock.startsWith(folder + QStringLiteral("/FolderProbe.")), qPrintable(lock));
        QVERIFY(QFileInfo::exists(lock));
        QVERIFY(!QFileInfo::exists(m_runtime + QStringLiteral("/FolderProbe.lock")));
        QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther |
                                                    QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup),
                 QFile::Permissions());
        QCOMPARE(guard.GetAppName(), QStringLiteral("FolderProbe"));
    }

    void secondInstanceInAnotherProcess_data() {
        QTest::addColumn<QString>("childFolders");
        QTest::newRow("the same folders") << "runtime";
        QTest::newRow("other runtime and temporary folders") << "elsewhere";
    }
    void secondInstanceInAnotherProcess() {
        QFETCH(QString, childFolders);
        const QString name = QStringLiteral("CrossProbe-%1").arg(QTest::currentDataTag()).replace(' ', '_');
        QProcess* child = startChild({QStringLiteral("--hold"), name}, childFolders);
        QVERIFY(child->waitForReadyRead(10000));
        QCOMPARE(child->readLine().trimmed(), QByteArray("locked"));
        {
            SingleApp second(name);
            QVERIFY(second.IsRunning());
            QVERIFY(second.IsRunning());  // asked again: same answer
        }
        child->kill();  // SIGKILL: the lock file stays behind
        child->waitForFinished(5000);
        SingleApp probe(name);
        QVERIFY(QFileInfo::exists(probe.LockFilePath()));
        // The holder is gone: its stale lock must not keep the program from starting.
        SingleApp third(name);
        QVERIFY(!third.IsRunning());
    }

    // A scope tag keeps two runs apart; without one they meet.
    void scopeTags() {
        SingleApp tagged(QStringLiteral("TagProbe"));
        QVERIFY(!tagged.IsRunning());
        const QByteArray tag = qgetenv("VANTEL_INSTANCE_SCOPE");
        qputenv("VANTEL_INSTANCE_SCOPE", tag + "-other/../x");
        QVERIFY(InstanceScope::Name(QStringLiteral("TagProbe")).endsWith(QLatin1String("-other____x")));
        SingleApp other(QStringLiteral("TagProbe"));
        QVERIFY(!other.IsRunning());
        qputenv("VANTEL_INSTANCE_SCOPE", tag);
        SingleApp same(QStringLiteral("TagProbe"));
        QVERIFY(same.IsRunning());
    }

    // The folder is used only when it is a real folder of this user; a mode open to others is
    // closed.
    void privateFolder_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("usable");
        QTest::newRow("missing: made") << "missing" << true;
        QTest::newRow("ours, open to others: tightened") << "open" << true;
        QTest::newRow("a symbolic link") << "link" << false;
        QTest::newRow("a file") << "file" << false;
        QTest::newRow("another user's") << "foreign" << false;
    }
    void privateFolder() {
        QFETCH(QString, kind);
        QFETCH(bool, usable);
        const QString path = m_dir.filePath(QStringLiteral("scope-") + kind);
        if (kind == QLatin1String("open")) {
            QVERIFY(QDir().mkpath(path));
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                    QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));
        } else if (kind == QLatin1String("link")) {
            QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("target"))));
            QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("target")), path));
        } else if (kind == QLatin1String("file")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (kind == QLatin1String("foreign")) {
            VT_REQUIRE(geteuid() == 0, "only root can give a folder to another user");
            QVERIFY(QDir().mkpath(path));
            QCOMPARE(chown(QFile::encodeName(path).constData(), 4242, 4242), 0);
        }
        QString error;
        QCOMPARE(InstanceScope::PreparePrivateFolder(path, &error), usable);
        QCOMPARE(error.isEmpty(), usable);
        if (usable) {
            QVERIFY(QFileInfo(path).isDir());
            QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                     QFile::Permissions());
        }
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
        QProcess* child =
            startChild({QStringLiteral("--kill-after"), QStringLiteral("300")}, QStringLiteral("runtime"));
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
