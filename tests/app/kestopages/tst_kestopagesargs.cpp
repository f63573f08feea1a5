// KestoPages' command line: what each line opens, and the lines it refuses with a reason.
#include <QProcess>
#include <QTcpServer>
#include <QtTest>
#include "testsupport.h"

#include "kestopagesargs.h"

Q_DECLARE_METATYPE(KestoPagesArgs::Mode)

class TestKestoPagesArgs : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<KestoPagesArgs::Mode>("mode");
        QTest::addColumn<QString>("recorder");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("error");
        QTest::newRow("settings") << QStringList{"--settings"} << KestoPagesArgs::Settings << "" << -1 << "";
        QTest::newRow("settings on the e-mail page, Chinese")
            << QStringList{"--settings", "--page", "6", "--language", "Chinese"} << KestoPagesArgs::Settings
            << "" << 6 << "";
        QTest::newRow("playback only")
            << QStringList{"--preview"} << KestoPagesArgs::Preview << "" << -1 << "";
        QTest::newRow("recorder") << QStringList{"--recorder", "http://admin:pw@10.0.0.5:9000"}
                                  << KestoPagesArgs::Recorder << "http://admin:pw@10.0.0.5:9000" << -1 << "";
        QTest::newRow("recorder by its record URL")
            << QStringList{"--recorder", "lumofs://10.0.0.5:8431/media"} << KestoPagesArgs::Recorder
            << "lumofs://10.0.0.5:8431/media" << -1 << "";
        QTest::newRow("recorder on its search page")
            << QStringList{"--recorder", "http://10.0.0.5", "--page", "3"} << KestoPagesArgs::Recorder
            << "http://10.0.0.5" << 3 << "";
        QTest::newRow("recorder page out of range")
            << QStringList{"--recorder", "http://10.0.0.5", "--page", "4"} << KestoPagesArgs::Invalid << ""
            << -1 << "0 to 3";
        QTest::newRow("recorder of another scheme") << QStringList{"--recorder", "ftp://10.0.0.5"}
                                                    << KestoPagesArgs::Invalid << "" << -1 << "recorder URL";
        QTest::newRow("help") << QStringList{"--help"} << KestoPagesArgs::Help << "" << -1 << "";
        QTest::newRow("nothing") << QStringList{} << KestoPagesArgs::Invalid << "" << -1 << "Nothing to open";
        QTest::newRow("two pages") << QStringList{"--settings", "--recorder", "http://h:1"}
                                   << KestoPagesArgs::Invalid << "" << -1 << "only one";
        QTest::newRow("recorder without URL")
            << QStringList{"--recorder"} << KestoPagesArgs::Invalid << "" << -1 << "Missing value";
        QTest::newRow("recorder not a URL") << QStringList{"--recorder", "just-a-name"}
                                            << KestoPagesArgs::Invalid << "" << -1 << "recorder URL";
        QTest::newRow("page out of range")
            << QStringList{"--settings", "--page", "7"} << KestoPagesArgs::Invalid << "" << -1 << "0 to 6";
        QTest::newRow("page not a number")
            << QStringList{"--settings", "--page", "x"} << KestoPagesArgs::Invalid << "" << -1 << "0 to 6";
        QTest::newRow("page without settings") << QStringList{"--preview", "--page", "2"}
                                               << KestoPagesArgs::Invalid << "" << -1 << "with --settings";
        QTest::newRow("unknown option")
            << QStringList{"--format-disk"} << KestoPagesArgs::Invalid << "" << -1 << "Unknown option";
        QTest::newRow("stray argument") << QStringList{"--settings", "extra"} << KestoPagesArgs::Invalid << ""
                                        << -1 << "Unexpected argument";
    }
    void parse() {
        QFETCH(QStringList, args);
        QFETCH(KestoPagesArgs::Mode, mode);
        QFETCH(QString, recorder);
        QFETCH(int, page);
        QFETCH(QString, error);
        const KestoPagesArgs parsed = ParseKestoPagesArgs(QStringList{"KestoPages"} + args);
        QCOMPARE(parsed.mode, mode);
        QCOMPARE(parsed.recorder, recorder);
        QCOMPARE(parsed.page, page);
        QVERIFY2(parsed.error.contains(error, Qt::CaseInsensitive), qPrintable(parsed.error));
        QCOMPARE(parsed.error.isEmpty(), error.isEmpty());
        QVERIFY(parsed.usage.contains("--recorder <url>"));
    }

    // The program itself refuses a line it cannot read.
    void theProgramSaysWhatItCannotOpen_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("recorder of another scheme")
            << QStringList{"--recorder", "ftp://127.0.0.1:9000"} << 2 << "recorder URL";
        QTest::newRow("bad line") << QStringList{"--page", "9"} << 2 << "Usage:";
    }
    void theProgramSaysWhatItCannotOpen() {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        QProcess p;
        p.start(QDir(qEnvironmentVariable("VANTEL_BIN_DIR")).filePath("KestoPages"), args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), code);
        QVERIFY2(QString::fromLocal8Bit(p.readAllStandardError()).contains(message), "no reason given");
    }

    // The record-server page opens bound to the recorder of the line; a recorder that nobody
    // answers for is told to the operator (not shown as an empty recorder).
    void recorderPageTellsAnUnreachableRecorder() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const quint16 port = vt::ReservePort();  // nothing listens on it
        const QString log = dir.filePath("ui.log");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VANTEL_UI_LOG", log);
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("VANTEL_LOG_DIR", dir.filePath("logs"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QDir(qEnvironmentVariable("VANTEL_BIN_DIR")).filePath("KestoPages"),
                {"--recorder", QStringLiteral("http://127.0.0.1:%1").arg(port), "--language", "English"});
        QVERIFY(p.waitForStarted(10000));
        auto logText = [&log]() {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        const bool told = QTest::qWaitFor([&]() { return logText().contains("cannot be reached"); }, 20000);
        const bool running = p.state() == QProcess::Running;
        p.kill();
        p.waitForFinished(5000);
        QVERIFY2(told, qPrintable(logText()));
        QVERIFY(running);  // the page stays open for the operator
        QVERIFY2(logText().contains(QStringLiteral("127.0.0.1:%1").arg(port)), qPrintable(logText()));
    }
};

QTEST_GUILESS_MAIN(TestKestoPagesArgs)
#include "tst_kestopagesargs.moc"
