// The EventHost group of PavoServer.ini: the event-row clamp, the checks before a save, the first
// load that stores the work path, the repair of broken values at start, and the write.
#include <QtTest>

#include "eventhostsettings.h"
#include "testsupport.h"

class TestEventHostSettings : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_ini;

    void writeIni(const QByteArray& text) {
        QFile f(m_ini);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QByteArray iniBytes() {
        QFile f(m_ini);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init() {
        m_ini = m_dir.filePath(QStringLiteral("%1.ini").arg(QTest::currentTestFunction()));
        QFile::remove(m_ini);
    }

    void clampEventRows_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clamped");
        QTest::newRow("below") << "99999"
                               << "100000";
        QTest::newRow("zero") << "0"
                              << "100000";
        QTest::newRow("negative") << "-5"
                                  << "100000";
        QTest::newRow("not a number") << "abc"
                                      << "100000";
        QTest::newRow("empty") << ""
                               << "100000";
        QTest::newRow("bottom") << "100000"
                                << "100000";
        QTest::newRow("top") << "2147483647"
                             << "2147483647";
        QTest::newRow("above 31 bits") << "3000000000"
                                       << "2147483647";
        QTest::newRow("above 32 bits") << "5000000000"
                                       << "2147483647";
        QTest::newRow("beyond 64 bits") << "99999999999999999999"
                                        << "2147483647";
    }
    void clampEventRows() {
        QFETCH(QString, text);
        QFETCH(QString, clamped);
        QCOMPARE(EventHost::ClampEventRows(text), clamped);
    }

    void checkForSave_data() {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("problem");
        QTest::newRow("fine") << "256"
                              << "30"
                              << "";
        QTest::newRow("empty means defaults") << ""
                                              << ""
                                              << "";
        QTest::newRow("16-bit top") << "65535"
                                    << "65535"
                                    << "";
        QTest::newRow("devices above 16 bits") << "65536"
                                               << "30"
                                               << "PV001_MaxDevNumRange";
        QTest::newRow("devices 70000") << "70000"
                                       << "30"
                                       << "PV001_MaxDevNumRange";
        QTest::newRow("devices negative") << "-1"
                                          << "30"
                                          << "PV001_MaxDevNumRange";
        QTest::newRow("days negative") << "10"
                                       << "-3"
                                       << "PV002_MaxPicDayRange";
        QTest::newRow("days above 16 bits") << "10"
                                            << "65536"
                                            << "PV002_MaxPicDayRange";
        QTest::newRow("days not a number") << "10"
                                           << "x"
                                           << "PV002_MaxPicDayRange";
    }
    void checkForSave() {
        QFETCH(QString, devices);
        QFETCH(QString, days);
        QFETCH(QString, problem);
        EventHostSettings s;
        s.maxDevNum = devices;
        s.maxPicDays = days;
        s.maxEventRows = QStringLiteral("100000");
        QCOMPARE(EventHost::CheckForSave(s), problem);
    }

    // The first load stores the work path for both folders; stored folders stay, in UTF-8.
    void loadStoresTheWorkPath() {
        const EventHostSettings first = EventHost::Load(m_ini, QStringLiteral("/srv/事件"));
        QCOMPARE(first.pathDbs, QStringLiteral("/srv/事件"));
        QCOMPARE(first.pathPic, QStringLiteral("/srv/事件"));
        QVERIFY(first.maxDevNum.isEmpty());
        QVERIFY(iniBytes().contains(QStringLiteral("/srv/事件").toUtf8()));
        writeIni("[EventHost]\nPathDbs=/data/db\nPathPic=/data/pic\nMaxDevNum=7\n");
        const EventHostSettings second = EventHost::Load(m_ini, QStringLiteral("/elsewhere"));
        QCOMPARE(second.pathDbs, QStringLiteral("/data/db"));
        QCOMPARE(second.pathPic, QStringLiteral("/data/pic"));
        QCOMPARE(second.maxDevNum, QStringLiteral("7"));
    }

    void writeAndReadBack() {
        EventHostSettings s{QStringLiteral("12"), QStringLiteral("200000"), QStringLiteral("9"),
                            QStringLiteral("/d/数据"), QStringLiteral("/p")};
        QVERIFY(EventHost::Write(m_ini, s));
        QCOMPARE(EventHost::Read(m_ini), s);
        // A file where its folder should be: the failure is reported.
        QFile blocker(m_dir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QVERIFY(!EventHost::Write(m_dir.filePath(QStringLiteral("blocker/PavoServer.ini")), s));
    }

    // On a full disk the save says it failed and the file keeps its old values (and the keys of
    // other groups) instead of ending up empty.
    void writeOnAFullDiskKeepsTheFile() {
        vt::SmallTmpfs disk;
        QString why;
        VT_REQUIRE(disk.Mount(256 * 1024, &why), why);
        const QString ini = disk.filePath(QStringLiteral("PavoServer.ini"));
        {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[General]\nport=8432\n");
        }
        const EventHostSettings old{QStringLiteral("12"), QStringLiteral("200000"), QStringLiteral("9"),
                                    QStringLiteral("/d"), QStringLiteral("/p")};
        QVERIFY(EventHost::Write(ini, old));
        QVERIFY(disk.Fill());
        const QByteArray before = [&] {
            QFile f(ini);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        EventHostSettings changed = old;
        changed.maxDevNum = QStringLiteral("13");
        QVERIFY(!EventHost::Write(ini, changed));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QCOMPARE(EventHost::Read(ini), old);
        QVERIFY(before.contains("port=8432"));
    }

    void limitsForStart_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("devices");
        QTest::addColumn<int>("days");
        QTest::addColumn<uint>("rows");
        QTest::addColumn<QStringList>("repaired");
        QTest::newRow("fine") << QByteArray("MaxDevNum=12\nMaxPicDays=9\nMaxEventRows=200000\n") << 12 << 9
                              << 200000u << QStringList();
        QTest::newRow("missing: defaults") << QByteArray() << 0 << 0 << 0u << QStringList();
        QTest::newRow("devices too many")
            << QByteArray("MaxDevNum=70000\n") << 0 << 0 << 0u << QStringList{"MaxDevNum"};
        QTest::newRow("devices not a number")
            << QByteArray("MaxDevNum=lots\n") << 0 << 0 << 0u << QStringList{"MaxDevNum"};
        QTest::newRow("days negative")
            << QByteArray("MaxPicDays=-2\n") << 0 << 0 << 0u << QStringList{"MaxPicDays"};
        QTest::newRow("rows too few")
            << QByteArray("MaxEventRows=5\n") << 0 << 0 << 100000u << QStringList{"MaxEventRows"};
        QTest::newRow("rows wrapped") << QByteArray("MaxEventRows=5000000000\n") << 0 << 0 << 2147483647u
                                      << QStringList{"MaxEventRows"};
    }
    void limitsForStart() {
        QFETCH(QByteArray, ini);
        QFETCH(int, devices);
        QFETCH(int, days);
        QFETCH(uint, rows);
        QFETCH(QStringList, repaired);
        writeIni("port=8432\n\n[EventHost]\n" + ini + "PathDbs=/db\nPathPic=/pic\n");
        const QByteArray before = iniBytes();
        QStringList fixed;
        const EventEngineLimits l = EventHost::LimitsForStart(m_ini, &fixed);
        QCOMPARE(int(l.maxDevNum), devices);
        QCOMPARE(int(l.maxPicDays), days);
        QCOMPARE(l.maxEventRows, quint32(rows));
        QCOMPARE(l.pathDbs, QStringLiteral("/db"));
        QCOMPARE(l.pathPic, QStringLiteral("/pic"));
        QCOMPARE(fixed, repaired);
        if (repaired.isEmpty()) {
            QCOMPARE(iniBytes(), before);  // nothing rewritten
        } else {
            // Repaired once: the next start finds nothing to repair, and the rest of the file stays.
            QStringList again;
            EventHost::LimitsForStart(m_ini, &again);
            QVERIFY(again.isEmpty());
            QVERIFY(iniBytes().contains("port=8432"));
        }
    }
};

QTEST_GUILESS_MAIN(TestEventHostSettings)
#include "tst_eventhostsettings.moc"
