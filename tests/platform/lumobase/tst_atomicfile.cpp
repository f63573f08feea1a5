// Whole-file saves: a save replaces the file with every byte or leaves the old one, on a full
// disk it names the full disk, and the mode asked for is the file's.
#include <QtTest>
#include <sys/stat.h>

#include "LumoBase/LumoResult.h"
#include "LumoBase/atomicfile.h"
#include "testsupport.h"

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
std::string Native(const QString& path) { return QFile::encodeName(path).toStdString(); }
// Names in the folder other than the given ones (a leftover temporary file shows here).
QStringList Others(const QString& folder, const QStringList& known) {
    QStringList out;
    for (const QString& n : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot))
        if (!known.contains(n)) out << n;
    return out;
}
}  // namespace

class TestAtomicFile : public QObject {
    Q_OBJECT
private slots:
    void savesWholeWithItsMode_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("mode");
        QTest::newRow("empty, owner only") << QByteArray() << 0600;
        QTest::newRow("small") << QByteArray("k=v\n") << 0644;
        QTest::newRow("a megabyte") << QByteArray(1 << 20, 'z') << 0640;
    }
    void savesWholeWithItsMode() {
        QFETCH(QByteArray, data);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.ini"));
        QVERIFY(ReadAll(path) == "<missing>");
        for (int round = 0; round < 2; ++round) {  // made, then replaced
            const LumoSaveResult r = LumoSaveFileAtomic(Native(path), data.constData(), size_t(data.size()), mode_t(mode));
            QVERIFY2(r.ok(), r.message.c_str());
            QCOMPARE(ReadAll(path), data);
            struct stat st {};
            QCOMPARE(::stat(Native(path).c_str(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), mode);
        }
        QCOMPARE(Others(dir.path(), {QStringLiteral("a.ini")}), QStringList());
    }

    void failureKeepsTheOldFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kept.xml"));
        QVERIFY(LumoSaveFileAtomic(Native(path), "old", 3).ok());
        // A writer that fails, and one that leaves an empty file, change nothing.
        LumoSaveResult r = LumoSaveFileAtomicVia(Native(path), [](const std::string&) { return false; });
        QCOMPARE(r.code, int(LUMO_ERR_WRITE));
        r = LumoSaveFileAtomicVia(Native(path), [](const std::string& temp) {
            QFile f(QFile::decodeName(temp.c_str()));
            return f.open(QIODevice::WriteOnly);
        });
        QCOMPARE(r.code, int(LUMO_ERR_WRITE));
        QCOMPARE(ReadAll(path), QByteArray("old"));
        // A folder that does not exist.
        r = LumoSaveFileAtomic(Native(dir.filePath(QStringLiteral("no/such/file"))), "x", 1);
        QCOMPARE(r.code, int(LUMO_ERR_WRITE));
        QVERIFY(r.message.find("no/such/file") != std::string::npos);
        QCOMPARE(Others(dir.path(), {QStringLiteral("kept.xml")}), QStringList());
    }

    void fullDiskIsNamedAndLosesNothing_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("via");
        QTest::newRow("5 KB picture") << 5 * 1024 << false;
        QTest::newRow("15 KB picture") << 15 * 1024 << false;
        QTest::newRow("one byte") << 1 << false;
        QTest::newRow("a writer of its own") << 5 * 1024 << true;
    }
    void fullDiskIsNamedAndLosesNothing() {
        QFETCH(int, size);
        QFETCH(bool, via);
        vt::SmallTmpfs disk;
        QString why;
        VT_REQUIRE(disk.Mount(256 * 1024, &why), why);
        const QString path = disk.filePath(QStringLiteral("export.bin"));
        QVERIFY(LumoSaveFileAtomic(Native(path), "good", 4).ok());
        QVERIFY(disk.Fill());
        const QByteArray data(size, 'p');
        LumoSaveResult r;
        if (via) {
            r = LumoSaveFileAtomicVia(Native(path), [&](const std::string& temp) {
                QFile f(QFile::decodeName(temp.c_str()));
                // Like a library that does not check its writes: the result says nothing.
                if (f.open(QIODevice::WriteOnly)) f.write(data);
                return true;
            });
        } else {
            r = LumoSaveFileAtomic(Native(path), data.constData(), size_t(data.size()));
        }
        QCOMPARE(r.code, int(LUMO_ERR_DISKFULL));
        QVERIFY2(r.message.find("disk is full") != std::string::npos, r.message.c_str());
        QCOMPARE(ReadAll(path), QByteArray("good"));
        QCOMPARE(Others(disk.path(), {QStringLiteral("export.bin"), QStringLiteral(".filler")}), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
