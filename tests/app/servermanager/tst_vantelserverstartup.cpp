// The management console's own start-up pieces: the silent second start, the 8-bit path check,
// and the crash-dump fallback in a real crashing child process.
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "consoleutility.h"
#include "startup.h"

class TestVantelServerStartup : public QObject {
    Q_OBJECT
private slots:
    void silentSecondStart_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("silent");
        QTest::newRow("none") << QStringList() << false;
        QTest::newRow("-s") << QStringList{"-s"} << true;
        QTest::newRow("--silent") << QStringList{"--silent"} << true;
        QTest::newRow("-S") << QStringList{"-S"} << false;
        QTest::newRow("--SILENT") << QStringList{"--SILENT"} << false;
        QTest::newRow("-silent") << QStringList{"-silent"} << false;
        QTest::newRow("two arguments") << QStringList{"-s", "-s"} << false;
        QTest::newRow("-s then other") << QStringList{"-s", "x"} << false;
        QTest::newRow("empty argument") << QStringList{""} << false;
    }
    void silentSecondStart() {
        QFETCH(QStringList, args);
        QFETCH(bool, silent);
        QCOMPARE(VantelServerStartup::IsSilentStart(args), silent);
    }

    void localPathLimit_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("short") << "/tmp/a.xml" << true;
        QTest::newRow("1023 bytes") << "/" + QString(1022, 'a') << true;
        QTest::newRow("1024 bytes") << "/" + QString(1023, 'a') << false;
        // 342 three-byte characters = 1026 bytes: refused whole, never cut inside a character.
        QTest::newRow("multi-byte over") << "/" + QString(341, QChar(0x4e2d)) << false;
        QTest::newRow("empty") << "" << false;
    }
    void localPathLimit() {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        QByteArray out = "untouched";
        QCOMPARE(ConsoleUtility::LocalPath(path, &out), accepted);
        if (accepted)
            QCOMPARE(QFile::decodeName(out), path);
        else
            QCOMPARE(out, QByteArray("untouched"));
    }

    void dumpName() {
        const QDateTime when(QDate(2024, 5, 1), QTime(7, 8, 9));
        QCOMPARE(VantelServerStartup::MiniDumpFileName("VantelServer", when),
                 QString("VantelServer-0x59976F.0-20240501-070809.dmp"));
    }

    void crashLeavesADump_data() {
        QTest::addColumn<int>("sig");
        QTest::newRow("segv") << int(SIGSEGV);
        QTest::newRow("abort") << int(SIGABRT);
        QTest::newRow("fpe") << int(SIGFPE);
    }
    void crashLeavesADump() {
        QFETCH(int, sig);
        QTemporaryDir dir;
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            VantelServerStartup::InstallMiniDumpFilter(dir.path(), "VantelServer");
            raise(sig);
            _exit(0);  // not reached: the handler ends the process by the signal
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), sig);
        const QStringList dumps = QDir(dir.path()).entryList(QDir::Files);
        QCOMPARE(dumps.size(), 1);
        QRegularExpression re("^VantelServer-0x59976F\\.0-(\\d{8}-\\d{6})\\.dmp$");
        const auto m = re.match(dumps.first());
        QVERIFY2(m.hasMatch(), qPrintable(dumps.first()));
        const QDateTime stamped = QDateTime::fromString(m.captured(1), "yyyyMMdd-HHmmss");
        QVERIFY(stamped >= before.addSecs(-1) && stamped <= QDateTime::currentDateTime().addSecs(1));
        QFile f(dir.filePath(dumps.first()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.startsWith("signal " + QByteArray::number(sig).rightJustified(2, '0')));
        QVERIFY(text.contains("backtrace:"));
        QCOMPARE(int(f.permissions() & (QFile::ReadOther | QFile::ReadGroup)), 0);
    }
};

QTEST_GUILESS_MAIN(TestVantelServerStartup)
#include "tst_vantelserverstartup.moc"
