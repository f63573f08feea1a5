// Watchdog registration records and the crash-report client.
#include <QtTest>
#include <csignal>
#include <sys/types.h>

#include "CrashReport/CrashReport.h"
#include "Tendrel/Tendrel.h"

class TestTendrel : public QObject {
    Q_OBJECT
    QTemporaryDir m_runtime;

    static void writeScript(const QString& path, const QByteArray& body) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body);
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
    }

private slots:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit()); }

    void registrationRecord() {
        Tendrel t;
        const qint64 pid = QCoreApplication::applicationPid();
        const QString record = m_runtime.path() + QStringLiteral("/vantel-watchdog/%1.reg").arg(pid);
        QCOMPARE(QString::fromStdString(Tendrel::RecordPath(pid)), record);
        QVERIFY(t.Init("/opt/vantel/KestoServer", pid));
        QFile f(record);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(
            text.startsWith("path=/opt/vantel/KestoServer\npid=" + QByteArray::number(pid) + "\nstarted="));
        f.close();
        QVERIFY(t.TearDown(pid));
        QVERIFY(!QFile::exists(record));
        QVERIFY(!t.TearDown(pid));  // nothing left to remove
    }

    void databaseCreatedWithUploadsOff() {
        QTemporaryDir dir;
        const std::string path = (dir.path() + QStringLiteral("/vantelcrashrpt/r")).toStdString();
        auto db = crashreport::ReportDatabase::Initialize(path);
        QVERIFY(db);
        QVERIFY(QFileInfo(QString::fromStdString(path) + QStringLiteral("/reports")).isDir());
        bool uploads = true;
        QVERIFY(db->GetSettings()->GetUploadsEnabled(&uploads));
        QVERIFY(!uploads);
        QVERIFY(db->GetSettings()->SetUploadsEnabled(true));
        auto again = crashreport::ReportDatabase::Initialize(path);
        QVERIFY(again->GetSettings()->GetUploadsEnabled(&uploads));
        QVERIFY(uploads);  // kept across openings
    }

    void databaseInUnwritablePlace() {
        QTemporaryDir dir;
        QFile blocker(dir.path() + QStringLiteral("/file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!crashreport::ReportDatabase::Initialize(
            (dir.path() + QStringLiteral("/file/db")).toStdString()));
    }

    void handlerStart_data() {
        QTest::addColumn<QByteArray>("script");  // empty: no handler file at all
        QTest::addColumn<bool>("started");
        QTest::addColumn<bool>("ready");
        QTest::newRow("missing handler") << QByteArray() << false << false;
        QTest::newRow("handler reports ready") << QByteArray(
                                                      "for a in \"$@\"; do case \"$a\" in --ready-file=*) "
                                                      "touch \"${a#--ready-file=}\";; esac; done\n"
                                                      "exec sleep 5\n")
                                               << true << true;
        QTest::newRow("handler ends at once") << QByteArray("exit 3\n") << true << false;
        QTest::newRow("handler never ready") << QByteArray("exec sleep 5\n") << true << false;
    }
    void handlerStart() {
        QFETCH(QByteArray, script);
        QFETCH(bool, started);
        QFETCH(bool, ready);
        QTemporaryDir dir;
        const QString handler = dir.path() + QStringLiteral("/bin/vantel_crash_handler_x64.exe");
        const std::string db = (dir.path() + QStringLiteral("/r")).toStdString();
        QVERIFY(crashreport::ReportDatabase::Initialize(db));
        if (!script.isEmpty()) {
            QDir().mkpath(dir.path() + QStringLiteral("/bin"));
            writeScript(handler, script);
        }
        crashreport::ReportClient client;
        QCOMPARE(client.StartHandler(handler.toStdString(), db, db, "", {}, {}, false, true, {}), started);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(
            client.WaitForHandlerStart(started && !ready && script.startsWith("exec sleep") ? 300 : 3000),
            ready);
        QVERIFY(clock.elapsed() < 3500);
        if (client.HandlerPid() > 0) ::kill(static_cast<pid_t>(client.HandlerPid()), SIGKILL);
    }
};

QTEST_GUILESS_MAIN(TestTendrel)
#include "tst_tendrel.moc"
