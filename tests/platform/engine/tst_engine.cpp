// The recording engine's life cycle: the listener, the file system object and the security import.
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>
#include "testsupport.h"

#include "LumoFS/LumoFS.h"
#include "LumoSRecord/LumoSRecord.h"

class TestEngine : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startBindsRealPort();
    void portInUseGivesBindError();
    void stopIsIdempotentAndFreesPort();
    void stopFromAnotherThread();
    void restartOnAnotherPort();
    void fileSystemObject();
    void mountHandlerCalledByOpenAndClose();
    void openMountsTheEngineStorage();
    void securityImport_data();
    void securityImport();
    void securityImportMissingFile();
    void securityImportKeepsOldCopyOnBadFile();

private:
    static bool connectsTo(quint16 port) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        return s.waitForConnected(2000);
    }
    QTemporaryDir m_dir;
};

void TestEngine::init() {
    QVERIFY(m_dir.isValid());
    LumoSRSetStorageConfig(QString(m_dir.path() + "/kestostorage.ini").toUtf8().constData());
    QCOMPARE(LumoSRInitialize(nullptr), 0);
}

void TestEngine::cleanup() {
    LumoSRStop();
    LumoSRInvalidate();
}

void TestEngine::startBindsRealPort() {
    QCOMPARE(LumoSRStart(0), 0);
    QVERIFY(LumoSRIsStarted());
    const quint16 port = LumoSRGetPort();
    QVERIFY(port != 0);
    QVERIFY(connectsTo(port));
    // The port speaks HTTP: a request gets its answer.
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(s.waitForConnected(2000));
    s.write("GET /api/v1/info HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    while (s.waitForReadyRead(2000)) answer += s.readAll();
    answer += s.readAll();
    QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
}

void TestEngine::portInUseGivesBindError() {
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::Any, vt::ReservePort()));
    QCOMPARE(LumoSRStart(other.serverPort()), int(LUMOSR_ERR_BIND));
    QVERIFY(!LumoSRIsStarted());
    QCOMPARE(LumoSRGetPort(), quint16(0));
}

void TestEngine::stopIsIdempotentAndFreesPort() {
    QCOMPARE(LumoSRStop(), 0);  // not started
    QCOMPARE(LumoSRStart(0), 0);
    const quint16 port = LumoSRGetPort();
    QVERIFY(connectsTo(port));
    QCOMPARE(LumoSRStop(), 0);
    QCOMPARE(LumoSRStop(), 0);
    QVERIFY(!LumoSRIsStarted());
    QVERIFY(!connectsTo(port));
    QTcpServer probe;
    QVERIFY2(probe.listen(QHostAddress::Any, port), "the port stays taken after stop");
    probe.close();
    QCOMPARE(LumoSRStart(port), 0);  // and the engine can take it again
}

void TestEngine::stopFromAnotherThread() {
    QCOMPARE(LumoSRStart(0), 0);
    const quint16 port = LumoSRGetPort();
    // The console stops the engine on a detached thread while its GUI thread goes on; here the
    // GUI side keeps asking for the state while two threads stop at once.
    std::atomic<int> done{0};
    std::thread a([&] {
        LumoSRStop();
        ++done;
    });
    std::thread b([&] {
        LumoSRStop();
        ++done;
    });
    a.detach();
    b.detach();
    QTRY_COMPARE_WITH_TIMEOUT(done.load(), 2, 5000);
    QVERIFY(!LumoSRIsStarted());
    QVERIFY(!connectsTo(port));
}

void TestEngine::restartOnAnotherPort() {
    QCOMPARE(LumoSRStart(0), 0);
    const quint16 first = LumoSRGetPort();
    const quint16 second = vt::ReservePort();
    QCOMPARE(LumoSRStart(second), 0);
    QCOMPARE(LumoSRGetPort(), second);
    QVERIFY(!connectsTo(first));
    QVERIFY(connectsTo(second));
}

void TestEngine::fileSystemObject() {
    ILumoFS* fs = nullptr;
    QCOMPARE(LumoFSGetFileSystem(&fs), 0);
    QVERIFY(fs);
    ILumoFS* again = nullptr;
    QCOMPARE(LumoFSGetFileSystem(&again), 0);
    QCOMPARE(again, fs);  // one per process
    QCOMPARE(fs->SetBlockClusters(256), 0);
    QCOMPARE(fs->GetBlockClusters(), 256);
    QVERIFY(fs->SetBlockClusters(0) != 0);
    QCOMPARE(fs->GetBlockClusters(), 256);
    QCOMPARE(fs->SetOpenFlags(0), 0);

    int32_t overwrite = 1;
    QCOMPARE(fs->SetDiskFullPolicy(&overwrite), 0);
    QCOMPARE(again->GetDiskFullPolicy(), 1);
    overwrite = 0;
    QCOMPARE(fs->SetDiskFullPolicy(&overwrite), 0);
    QCOMPARE(fs->GetDiskFullPolicy(), 0);
    QVERIFY(fs->SetDiskFullPolicy(nullptr) != 0);
    QCOMPARE(fs->GetDiskFullPolicy(), 0);
    again->Release();
    fs->Release();
}

namespace {
int g_mountCalls[2];
int recordMount(void*, int mount) {
    ++g_mountCalls[mount ? 1 : 0];
    return mount ? 0 : -1;
}
}  // namespace

void TestEngine::mountHandlerCalledByOpenAndClose() {
    ILumoFS* fs = nullptr;
    QCOMPARE(LumoFSGetFileSystem(&fs), 0);
    g_mountCalls[0] = g_mountCalls[1] = 0;
    LumoFSSetMountHandler(recordMount, nullptr);
    QCOMPARE(fs->Open(), 0);
    QVERIFY(fs->IsOpen());
    QCOMPARE(fs->Close(), -1);  // the handler's result comes back
    QVERIFY(!fs->IsOpen());
    QCOMPARE(g_mountCalls[1], 1);
    QCOMPARE(g_mountCalls[0], 1);
    LumoFSSetMountHandler(nullptr, nullptr);
    fs->Release();
}

void TestEngine::openMountsTheEngineStorage() {
    // The console's start sequence: three set-up calls, then the engine reads its disks; without
    // a settings file that is one disk folder beside it, left alone when missing.
    ILumoFS* fs = nullptr;
    QCOMPARE(LumoFSGetFileSystem(&fs), 0);
    QCOMPARE(fs->SetBlockClusters(256), 0);
    QCOMPARE(fs->SetOpenFlags(0), 0);
    QCOMPARE(fs->Open(), 0);
    IVantelList* disks = nullptr;
    QCOMPARE(LumoSRGetDiskInfo(nullptr, 0, &disks, 5000), 0);
    QVERIFY(disks);
    QCOMPARE(disks->GetCount(), 1);
    auto* d = static_cast<IKestoDiskInfo*>(disks->GetAt(0));
    QCOMPARE(QString(d->GetInfo()->GetName()), m_dir.path() + "/storage");
    QCOMPARE(d->GetInfo()->GetState(), 0u);
    disks->Release();
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/storage"));
    QCOMPARE(fs->Close(), 0);
    fs->Release();
}

void TestEngine::securityImport_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expected");
    QTest::newRow("valid") << QByteArray(
                                  "<?xml version=\"1.0\"?>\n<SecurityFile version=\"1\">"
                                  "<Client name=\"ops\" address=\"10.0.0.5\"/>"
                                  "<Client name=\"desk\"/></SecurityFile>\n")
                           << int(LUMOSR_OK);
    QTest::newRow("not xml") << QByteArray("this is not xml") << int(LUMOSR_ERR_PARAM);
    QTest::newRow("unclosed") << QByteArray("<SecurityFile><Client name=\"a\"/>") << int(LUMOSR_ERR_PARAM);
    QTest::newRow("wrong root") << QByteArray("<Other><Client name=\"a\"/></Other>") << int(LUMOSR_ERR_PARAM);
    QTest::newRow("no client") << QByteArray("<SecurityFile/>") << int(LUMOSR_ERR_PARAM);
    QTest::newRow("nameless client") << QByteArray("<SecurityFile><Client/></SecurityFile>")
                                     << int(LUMOSR_ERR_PARAM);
    QTest::newRow("empty") << QByteArray() << int(LUMOSR_ERR_PARAM);
}

void TestEngine::securityImport() {
    QFETCH(QByteArray, content);
    QFETCH(int, expected);
    QTemporaryDir src;
    const QString path = src.path() + "/security file.xml";
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    const QString target = m_dir.path() + "/kestosecurity.xml";
    QFile::remove(target);
    QCOMPARE(LumoSRImportSecurityFile(path.toUtf8().constData()), expected);
    if (expected == LUMOSR_OK) {
        QFile copy(target);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), content);
    } else {
        QVERIFY(!QFile::exists(target));
    }
}

void TestEngine::securityImportMissingFile() {
    QCOMPARE(LumoSRImportSecurityFile(QString(m_dir.path() + "/nope.xml").toUtf8().constData()),
             int(LUMOSR_ERR_NOTFOUND));
    QCOMPARE(LumoSRImportSecurityFile(nullptr), int(LUMOSR_ERR_NOTFOUND));
    QCOMPARE(LumoSRImportSecurityFile(m_dir.path().toUtf8().constData()), int(LUMOSR_ERR_PARAM));  // a folder
}

void TestEngine::securityImportKeepsOldCopyOnBadFile() {
    QTemporaryDir src;
    const QByteArray good("<SecurityFile><Client name=\"ops\"/></SecurityFile>");
    QFile g(src.path() + "/good.xml");
    QVERIFY(g.open(QIODevice::WriteOnly));
    g.write(good);
    g.close();
    QCOMPARE(LumoSRImportSecurityFile(g.fileName().toUtf8().constData()), 0);
    QFile b(src.path() + "/bad.xml");
    QVERIFY(b.open(QIODevice::WriteOnly));
    b.write("<SecurityFile><Client name=\"x\">");
    b.close();
    QVERIFY(LumoSRImportSecurityFile(b.fileName().toUtf8().constData()) != 0);
    QFile copy(m_dir.path() + "/kestosecurity.xml");
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), good);
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
