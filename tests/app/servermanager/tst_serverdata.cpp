// The page-data store reads VantelServer.ini beside the executable, whatever the working
// directory, and reads broken values as the defaults without touching the file.
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "serverdata.h"
#include "testsupport.h"

class TestServerData : public QObject {
    Q_OBJECT
    QString m_file;
    QTemporaryDir m_elsewhere;

    void writeFile(const QByteArray& text) {
        QFile::remove(m_file);
        if (text.isNull()) return;
        QFile f(m_file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.flush();
        // Qt reuses a parsed file while its size and time look unchanged: give each row its own time.
        QVERIFY(
            f.setFileTime(QDateTime::currentDateTime().addSecs(++m_rows), QFileDevice::FileModificationTime));
    }
    int m_rows = 0;
    QByteArray readFile() {
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase() {
        m_file = QCoreApplication::applicationDirPath() + QStringLiteral("/VantelServer.ini");
        QCOMPARE(ServerDataStore::SettingsFile(), m_file);
        // The store must not depend on the directory the program was started from.
        QVERIFY(QDir::setCurrent(m_elsewhere.path()));
    }
    void cleanupTestCase() { QFile::remove(m_file); }

    void readAndRepair_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("runstartup");
        QTest::newRow("no file") << QByteArray() << 8088 << false;
        QTest::newRow("empty file") << QByteArray("") << 8088 << false;
        QTest::newRow("stored") << QByteArray("[PgConfigData]\nport=9000\nrunstartup=true\n") << 9000 << true;
        QTest::newRow("zero stays zero") << QByteArray("[PgConfigData]\nport=0\n") << 0 << false;
        QTest::newRow("highest") << QByteArray("[PgConfigData]\nport=65535\n") << 65535 << false;
        QTest::newRow("above 16 bits, no wrap")
            << QByteArray("[PgConfigData]\nport=65616\n") << 8088 << false;
        QTest::newRow("negative") << QByteArray("[PgConfigData]\nport=-5\n") << 8088 << false;
        QTest::newRow("text") << QByteArray("[PgConfigData]\nport=abc\nrunstartup=maybe\n") << 8088 << false;
        QTest::newRow("empty value") << QByteArray("[PgConfigData]\nport=\n") << 8088 << false;
        QTest::newRow("spaces") << QByteArray("[PgConfigData]\nport= 9001 \nrunstartup= true\n") << 9001
                                << true;
        QTest::newRow("default group ignored")
            << QByteArray("[DefaultPgConfigData]\nport=1234\nrunstartup=true\n") << 8088 << false;
        QTest::newRow("garbage lines")
            << QByteArray("\x01\x02garbage\nport=7\n[Other]\nport=9\n") << 8088 << false;
    }
    void readAndRepair() {
        QFETCH(QByteArray, file);
        QFETCH(int, port);
        QFETCH(bool, runstartup);
        writeFile(file);
        ServerDataStore& store = ServerDataStore::Instance();
        QVERIFY(store.LoadAll());
        QCOMPARE(int(store.ConfigData().port), port);
        QCOMPARE(store.ConfigData().runstartup, runstartup);
        // Reading never writes: a broken value stays for the operator to see until a save.
        QCOMPARE(readFile(), file.isNull() ? QByteArray() : file);
        QCOMPARE(QFile::exists(m_file), !file.isNull());
    }

    void saveWritesBesideTheExecutable() {
        writeFile("[info]\npwd=b64:eA==\n[skin]\nlanguage=Chinese\n");
        ServerDataStore& store = ServerDataStore::Instance();
        store.LoadAll();
        PgConfigData copy = store.ConfigData();
        copy.port = 9100;
        QVERIFY(copy.Save());
        QVERIFY(!QFile::exists(m_elsewhere.filePath("VantelServer.ini")));
        QSettings s(m_file, QSettings::IniFormat);
        QCOMPARE(s.value("PgConfigData/port").toInt(), 9100);
        QCOMPARE(s.value("PgConfigData/runstartup").toBool(), false);
        // Other groups are kept.
        QCOMPARE(s.value("skin/language").toString(), QString("Chinese"));
        QCOMPARE(s.value("info/pwd").toString(), QString("b64:eA=="));
        // The store's own record keeps what was loaded until the next load.
        QCOMPARE(int(store.ConfigData().port), 8088);
        store.LoadAll();
        QCOMPARE(int(store.ConfigData().port), 9100);
    }

    // The file holds the password: a save leaves it owner-only, and on a full disk fails and keeps
    // the old file whole instead of leaving an empty one behind.
    void saveIsOwnerOnlyAndKeepsTheFileOnAFullDisk() {
        writeFile("[info]\npwd=b64:eA==\n");
        QVERIFY(QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        PgConfigData data;
        data.port = 9200;
        QVERIFY(data.Save());
        QCOMPARE(int(QFile::permissions(m_file) & (QFile::ReadOther | QFile::ReadGroup | QFile::WriteOther)), 0);
        QCOMPARE(QSettings(m_file, QSettings::IniFormat).value("info/pwd").toString(), QString("b64:eA=="));

        vt::SmallTmpfs disk;
        QString why;
        VT_REQUIRE(disk.Mount(64 * 1024, &why), why);
        const QString full = disk.filePath("VantelServer.ini");
        const QByteArray old = "[PgConfigData]\nport=9300\n[info]\npwd=b64:eA==\n";
        {
            QFile f(full);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(old), qint64(old.size()));
        }
        QVERIFY(disk.Fill());
        ServerDataStore::UseSettingsFile(full);
        data.port = 9400;
        const bool saved = data.Save();
        ServerDataStore::UseSettingsFile(QString());
        QVERIFY(!saved);
        QFile f(full);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
    }
};

QTEST_GUILESS_MAIN(TestServerData)
#include "tst_serverdata.moc"
