// The consoles' stop channel: a named block that two handles (as two processes would) share,
// whatever runtime and temporary folders each side was started with.
#include <QtTest>
#include <cstring>
#include <unistd.h>

#include "VantelProcess/sharememory.h"

class TestShareMemory : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QByteArray m_oldTmp, m_oldRuntime;

    void setFolders(const QString& dir) {
        QDir().mkpath(dir);
        qputenv("TMPDIR", dir.toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
    }

    QByteArray uniqueName(const char* stem) {
        return QByteArray(stem) + QByteArray::number(QCoreApplication::applicationPid()) + "ShareMem";
    }

private slots:
    void initTestCase() {
        m_oldTmp = qgetenv("TMPDIR");
        m_oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        setFolders(m_tmp.filePath(QStringLiteral("a")));
        // This run's own names: other runs of the suite on the machine have channels of their own.
        qputenv("VANTEL_INSTANCE_SCOPE", QByteArray("tst_sharememory-") + QByteArray::number(getpid()));
    }
    void cleanupTestCase() {
        qputenv("TMPDIR", m_oldTmp);
        qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
    }

    // A writer started with other runtime and temporary folders reaches the same block; the
    // block's files lie in the user's own folder.
    void sameBlockWhateverTheEnvironment() {
        const QByteArray name = uniqueName("Scope");
        SHAREMEMHANDLE host = ShareMemoryCreate(name.constData(), 1);
        QVERIFY(host);
        setFolders(m_tmp.filePath(QStringLiteral("b")));
        SHAREMEMHANDLE manager = ShareMemoryCreate(name.constData(), 0);
        setFolders(m_tmp.filePath(QStringLiteral("a")));
        QVERIFY2(manager, "the block was not found with other environment folders");
        QCOMPARE(ShareMemoryWrite(manager, 1024, 1, "stop", 5), 0);
        char block[8] = {};
        QCOMPARE(ShareMemoryRead(host, 1, block, sizeof block), 0);
        QCOMPARE(QByteArray(block), QByteArray("stop"));
        QVERIFY(QDir(m_tmp.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name).isEmpty() &&
                QDir(m_tmp.filePath(QStringLiteral("a"))).entryList(QDir::Files).isEmpty());
        QVERIFY(QDir(QStringLiteral("/tmp/vantel-%1").arg(geteuid()))
                    .entryList({QString::fromLatin1(name) + QStringLiteral("*")}, QDir::Files)
                    .size() >= 1);
        QCOMPARE(ShareMemoryDelete(manager), 0);
        QCOMPARE(ShareMemoryDelete(host), 0);
    }

    // Another scope tag is another block; a name cannot leave the user's folder.
    void scopeTagsAndNames() {
        const QByteArray name = uniqueName("Tagged");
        SHAREMEMHANDLE mine = ShareMemoryCreate(name.constData(), 1);
        QVERIFY(mine);
        const QByteArray tag = qgetenv("VANTEL_INSTANCE_SCOPE");
        qputenv("VANTEL_INSTANCE_SCOPE", tag + "-other");
        QVERIFY(ShareMemoryCreate(name.constData(), 0) == nullptr);
        qputenv("VANTEL_INSTANCE_SCOPE", tag);
        QVERIFY(ShareMemoryCreate("../escape", 1) == nullptr);
        QVERIFY(ShareMemoryCreate("..", 1) == nullptr);
        QCOMPARE(ShareMemoryDelete(mine), 0);
    }

    void nullHandleFailsEverywhere() {
        char buf[16] = {};
        QCOMPARE(ShareMemoryRead(nullptr, 1, buf, sizeof buf), -1);
        QCOMPARE(ShareMemoryWrite(nullptr, 1024, 1, "stop", 5), -1);
        QCOMPARE(ShareMemorySize(nullptr), -1);
        QCOMPARE(ShareMemoryDelete(nullptr), -1);
        QVERIFY(ShareMemoryCreate(nullptr, 1) == nullptr);
        QVERIFY(ShareMemoryCreate("", 1) == nullptr);
    }

    void openWithoutCreateFindsNothing() {
        QVERIFY(ShareMemoryCreate(uniqueName("Absent").constData(), 0) == nullptr);
    }

    // Writer puts "stop\0", the reader sees it, clears the whole block, a second read is all zeros.
    void stopProtocol() {
        const QByteArray name = uniqueName("Host");
        SHAREMEMHANDLE host = ShareMemoryCreate(name.constData(), 1);
        SHAREMEMHANDLE manager = ShareMemoryCreate(name.constData(), 1);
        QVERIFY(host);
        QVERIFY(manager);
        QCOMPARE(ShareMemorySize(host), 1024);

        char block[1024];
        std::memset(block, 0x55, sizeof block);
        QCOMPARE(ShareMemoryRead(host, 1, block, sizeof block), 0);
        QCOMPARE(QByteArray(block, sizeof block), QByteArray(1024, '\0'));  // a new block is empty

        QCOMPARE(ShareMemoryWrite(manager, 1024, 1, "stop", 5), 0);
        std::memset(block, 0, sizeof block);
        QCOMPARE(ShareMemoryRead(host, 1, block, sizeof block), 0);
        QCOMPARE(QByteArray(block), QByteArray("stop"));

        std::memset(block, 0, sizeof block);
        QCOMPARE(ShareMemoryWrite(host, 1024, 1, block, 1024), 0);
        std::memset(block, 0x55, sizeof block);
        QCOMPARE(ShareMemoryRead(manager, 1, block, sizeof block), 0);
        QCOMPARE(QByteArray(block, sizeof block), QByteArray(1024, '\0'));

        QCOMPARE(ShareMemoryDelete(manager), 0);
        QCOMPARE(ShareMemoryDelete(host), 0);
    }

    // A read never writes past the block's size into the caller's buffer, nor past the buffer.
    void readCopiesAtMostTheBlock() {
        const QByteArray name = uniqueName("Bounds");
        SHAREMEMHANDLE h = ShareMemoryCreate(name.constData(), 1, 1024);
        QVERIFY(h);
        const QByteArray full(1024, 'x');
        QCOMPARE(ShareMemoryWrite(h, 1024, 1, full.constData(), full.size()), 0);

        QByteArray big(2048, '#');
        QCOMPARE(ShareMemoryRead(h, 1, big.data(), big.size()), 0);
        QCOMPARE(big.left(1024), full);
        QCOMPARE(big.mid(1024), QByteArray(1024, '#'));

        char small[8];
        std::memset(small, 0, sizeof small);
        QCOMPARE(ShareMemoryRead(h, 0, small, 4), 0);
        QCOMPARE(QByteArray(small, 8), QByteArray("xxxx\0\0\0\0", 8));
        QCOMPARE(ShareMemoryDelete(h), 0);
    }

    void writeBeyondTheBlockIsRefused_data() {
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("result");
        QTest::newRow("fits") << 1024 << 1024 << 0;
        QTest::newRow("longer than the caller's block") << 16 << 17 << -1;
        QTest::newRow("longer than the real block") << 4096 << 1025 << -1;
        QTest::newRow("negative length") << 1024 << -1 << -1;
    }
    void writeBeyondTheBlockIsRefused() {
        QFETCH(int, blockSize);
        QFETCH(int, length);
        QFETCH(int, result);
        const QByteArray name = uniqueName("Write");
        SHAREMEMHANDLE h = ShareMemoryCreate(name.constData(), 1, 1024);
        QVERIFY(h);
        QByteArray data(qMax(length, 0), 'a');
        QCOMPARE(ShareMemoryWrite(h, blockSize, 1, data.constData(), length), result);
        char block[1024];
        QCOMPARE(ShareMemoryRead(h, 1, block, sizeof block), 0);
        if (result != 0) QCOMPARE(block[0], '\0');  // nothing was written
        ShareMemoryDelete(h);
    }
};

QTEST_GUILESS_MAIN(TestShareMemory)
#include "tst_sharememory.moc"
