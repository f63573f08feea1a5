// The management console's own start-up pieces: the silent second start, the 8-bit path check,
// and the crash-dump fallback in a real crashing child process.
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QWebSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LumoSServer/LumoSServer.h"
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

    // The stored password decides who may log in; one that cannot be used refuses everyone and is
    // told to the operator, never turned into the empty password.
    void storedPassword_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("problem");
        QTest::addColumn<QString>("accepted");  // a password that logs in; null: none does
        QTest::addColumn<QStringList>("refused");
        QTest::newRow("none stored") << QByteArray("[info]\nmdev=false\n") << false << "" << QStringList{"x"};
        QTest::newRow("stored") << QByteArray("[info]\npwd=b64:cHc=\n") << false << "pw" << QStringList{"", "x"};
        QTest::newRow("plain text") << QByteArray("[info]\npwd=secret\n") << true << QString()
                                    << QStringList{"", "secret"};
        QTest::newRow("not base64") << QByteArray("[info]\npwd=b64:***\n") << true << QString()
                                    << QStringList{"", "***"};
        QTest::newRow("1024 bytes") << "[info]\npwd=b64:" + QByteArray(1024, 'a').toBase64() + "\n" << true
                                    << QString() << QStringList{"", QString(1023, 'a')};
        QTest::newRow("1023 bytes") << "[info]\npwd=b64:" + QByteArray(1023, 'a').toBase64() + "\n" << false
                                    << QString(1023, 'a') << QStringList{""};
    }
    void storedPassword() {
        QFETCH(QByteArray, ini);
        QFETCH(bool, problem);
        QFETCH(QString, accepted);
        QFETCH(QStringList, refused);
        QTemporaryDir dir;
        const QString file = dir.filePath("VantelServer.ini");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ini);
            QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup));
        }
        LumoSSetDefaultPassword("left over");
        LumoSLimits limits;
        limits.penaltyBaseMs = 0;  // each try here is judged on its own
        LumoSSetLimits(limits);
        const QString told = VantelServerStartup::ApplyInfoSettings(file);
        QCOMPARE(!told.isEmpty(), problem);
        if (problem) QVERIFY2(told.contains(file), qPrintable(told));
        // The file holds the password: the owner's only.
        QCOMPARE(int(QFile(file).permissions() & (QFile::ReadOther | QFile::ReadGroup)), 0);

        LumoSSetDataPath(dir.filePath("data").toUtf8().constData());
        void* engine = LumoSCreateServer(0);
        QCOMPARE(LumoSStartServer(engine), int(LUMO_OK));
        const quint16 port = LumoSBoundPort(engine);
        QStringList tries = refused;
        if (!accepted.isNull()) tries << accepted;
        for (const QString& pw : tries) {
            QWebSocket ws;
            QSslConfiguration cfg = QSslConfiguration::defaultConfiguration();
            cfg.setPeerVerifyMode(QSslSocket::VerifyNone);
            ws.setSslConfiguration(cfg);
            int result = 1;
            QObject::connect(&ws, &QWebSocket::textMessageReceived, [&](const QString& t) {
                result = QJsonDocument::fromJson(t.toUtf8()).object().value("result").toInt(1);
            });
            bool connected = false;
            QObject::connect(&ws, &QWebSocket::connected, [&] { connected = true; });
            ws.open(QUrl(QStringLiteral("wss://127.0.0.1:%1").arg(port)));
            QTRY_VERIFY_WITH_TIMEOUT(connected, 10000);
            ws.sendTextMessage(QJsonDocument(QJsonObject{{"type", "login"}, {"account", "a"}, {"password", pw}})
                                   .toJson(QJsonDocument::Compact));
            QTRY_VERIFY_WITH_TIMEOUT(result != 1, 10000);
            QCOMPARE(result, !accepted.isNull() && pw == accepted ? int(LUMO_OK) : int(LUMO_ERR_REFUSED));
        }
        LumoSReleaseServer(engine);
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
