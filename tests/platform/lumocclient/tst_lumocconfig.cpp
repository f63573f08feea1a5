// The client configuration: defaults that work, records written whole and read back, broken
// values that keep their defaults, change notices; and the device lookups.
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "LumoCClient/LumoCClient.h"
#include "testsupport.h"

namespace {

struct Notices : CLumoObject {
    QList<int> codes;
};

int OnNotice(CLumoObject* owner, int code, void*, void*, void*) {
    static_cast<Notices*>(owner)->codes << code;
    return 0;
}

}  // namespace

class TestLumoCConfig : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    LumoCConfiguration* cfg = nullptr;

    QString Ini() const { return dir.filePath("conf/lumoc.ini"); }
    void WriteIni(const QByteArray& text) {
        QDir().mkpath(dir.filePath("conf"));
        QFile f(Ini());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        cfg = LumoCConfiguration::GetLumoCConfig();
        QCOMPARE(LumoCConfiguration::GetLumoCConfig(), cfg);
    }
    void init() { cfg->SetFilePath(Ini()); }
    void cleanup() {
        QFile::remove(Ini());
        cfg->SetFilePath(Ini());
    }

    void defaultsWork() {
        LumoC::FileSaveOption* f = cfg->GetFileOption();
        QVERIFY(f->pictureFolder.startsWith(QDir::homePath()));
        QVERIFY(f->recordFolder.startsWith(QDir::homePath()));
        QCOMPARE(f->recordRule, QString("GUID-CHN-STREAM-YYYYMMDD-HHMMSS"));
        QCOMPARE(cfg->GetVideoOption()->captureFormat, 0);
        QCOMPARE(cfg->GetCommonOption()->logKeepTime, 4);
        QCOMPARE(cfg->GetEmailOption()->ports.at(1), uint16_t(465));
        QVERIFY(cfg->GetAlarmOption()->alarms.size() > 0);
        // Nothing is written until a record is saved.
        QVERIFY(!QFile::exists(Ini()));
    }

    void writeAndReadBack() {
        LumoC::FileSaveOption* f = cfg->GetFileOption();
        f->pictureFolder = dir.filePath("pics & more");
        f->recordRule = "CHN-YYYYMMDD";
        QCOMPARE(f->Write(), 0);
        LumoC::VideoOption* v = cfg->GetVideoOption();
        v->captureFormat = 1;
        QCOMPARE(v->Write(), 0);
        LumoC::ToolbarOption* t = cfg->GetToolBarOption();
        t->playbackButtons = {5, 3, 1};
        QCOMPARE(t->Write(), 0);
        LumoC::AlarmOption* a = cfg->GetAlarmOption();
        a->alarms.push_back(LumoC::CustomizeAlarm{42, "Door", "/usr/share/sounds/door.wav"});
        QCOMPARE(a->Write(), 0);
        // Fresh values from the file.
        f->Reset(true);
        v->Reset(true);
        t->Reset(true);
        a->Reset(true);
        cfg->SetFilePath(Ini());
        QCOMPARE(cfg->GetFileOption()->pictureFolder, dir.filePath("pics & more"));
        QCOMPARE(cfg->GetFileOption()->recordRule, QString("CHN-YYYYMMDD"));
        QCOMPARE(cfg->GetVideoOption()->captureFormat, 1);
        QCOMPARE(cfg->GetToolBarOption()->playbackButtons, (QList<int>{5, 3, 1}));
        QCOMPARE(QString(cfg->GetAlarmOption()->GetAlarmSound(42)), QString("/usr/share/sounds/door.wav"));
        QCOMPARE(QString(cfg->GetAlarmOption()->GetAlarmSound(4242)), QString());
    }

    void writingOneRecordKeepsTheOthers() {
        cfg->GetCommonOption()->autoFullScreen = true;
        QCOMPARE(cfg->GetCommonOption()->Write(), 0);
        cfg->GetPlaybackOption()->priorPlayTime = 60;
        QCOMPARE(cfg->GetPlaybackOption()->Write(), 0);
        cfg->SetFilePath(Ini());
        QCOMPARE(cfg->GetCommonOption()->autoFullScreen, true);
        QCOMPARE(cfg->GetPlaybackOption()->priorPlayTime, 60);
    }

    void brokenValuesKeepTheirDefaults_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("out of range") << QByteArray(
            "[Video]\nCaptureFormat=7\nDisplayScale=-1\n[Common]\nLogKeepTime=99\n"
            "[Playback]\nPriorPlayTime=17\nPacketType=9\n");
        QTest::newRow("not numbers") << QByteArray(
            "[Video]\nCaptureFormat=jpeg\nDisplayScale=\n[Common]\nLogKeepTime=x\n"
            "AutoFullScreen=perhaps\n[Toolbar]\nPlaybackButtons=1, two, 3\n");
        QTest::newRow("garbage file") << QByteArray("\x01\x02\xff\xfe not an ini [[[ ===\n");
    }
    void brokenValuesKeepTheirDefaults() {
        QFETCH(QByteArray, text);
        WriteIni(text);
        cfg->SetFilePath(Ini());
        QCOMPARE(cfg->GetVideoOption()->captureFormat, 0);
        QCOMPARE(cfg->GetVideoOption()->displayScale, 3);
        QCOMPARE(cfg->GetCommonOption()->logKeepTime, 4);
        QCOMPARE(cfg->GetCommonOption()->autoFullScreen, false);
        QCOMPARE(cfg->GetPlaybackOption()->priorPlayTime, 30);
        QCOMPARE(cfg->GetPlaybackOption()->packetType, 3);
        QCOMPARE(cfg->GetToolBarOption()->playbackButtons, (QList<int>{0, 1, 2, 3, 4, 5}));
    }

    void unwritableFolderFails() {
        WriteIni("");
        QFile::remove(Ini());
        QFile blocker(dir.filePath("blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        // A file where the folder should be: the write fails and says so.
        cfg->SetFilePath(dir.filePath("blocked/lumoc.ini"));
        QCOMPARE(cfg->GetVideoOption()->Write(), -1);
    }

    // On a full disk a write fails and the file keeps what it held, whole; the file (it holds the
    // mail account's password) stays owner-only.
    void fullDiskKeepsTheFile() {
        vt::SmallTmpfs disk;
        QString why;
        VT_REQUIRE(disk.Mount(128 * 1024, &why), why);
        const QString ini = disk.filePath("lumoc.ini");
        cfg->SetFilePath(ini);
        cfg->GetVideoOption()->captureFormat = 1;
        QCOMPARE(cfg->GetVideoOption()->Write(), 0);
        // Nobody but the owner: no group or other bits.
        QCOMPARE(int(QFile::permissions(ini) & 0x00ff), 0);
        QFile f(ini);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        QVERIFY(disk.Fill());
        cfg->GetVideoOption()->captureFormat = 0;
        cfg->GetFileOption()->recordRule = QString(2000, QLatin1Char('x'));
        QCOMPARE(cfg->GetFileOption()->Write(), -1);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        cfg->SetFilePath(Ini());
    }

    void notices() {
        Notices n;
        ILumoCallback cb(&n, &OnNotice);
        QCOMPARE(cfg->Attach(&cb, &ILumoCallback::OnSignal), 0);
        QCOMPARE(cfg->Reload(), 0);
        QCOMPARE(cfg->SelectPage(3), 0);
        QCOMPARE(cfg->SelectPage(300), -1);
        QCOMPARE(n.codes,
                 (QList<int>{LumoCConfiguration::NOTICE_RELOAD, LumoCConfiguration::NOTICE_SELECT_PAGE | 3}));
        QCOMPARE(cfg->Detach(&cb, &ILumoCallback::OnSignal), 0);
        cfg->Reload();
        QCOMPARE(n.codes.size(), 2);
    }

    void devices() {
        IVantelDataDEV* dev = IVantelDataDEV::CreateObject();
        QCOMPARE(LumoCGetDev(nullptr, 0, dev), 0);
        QString guid = dev->GetGUID();
        QVERIFY(guid.contains(':'));
        QCOMPARE(LumoCGetDev(nullptr, 77, dev), -1);
        QCOMPARE(LumoCAddDev(77, "127.0.0.1", "A1:B2"), 0);
        QCOMPARE(LumoCGetDev(nullptr, 77, dev), 0);
        QCOMPARE(QString(dev->GetGUID()), QString("A1:B2"));
        dev->Release();
        IVantelData* chn = LumoCGetVantelObject(nullptr, VANTEL_OBJ_CHANNEL_REF, (int64_t(77) << 16) | 5);
        QVERIFY(chn);
        QCOMPARE(static_cast<IVantelDataCHN*>(chn)->GetChnIndex(), 5);
        QCOMPARE(static_cast<IVantelDataCHN*>(chn)->GetDeviceId(), int64_t(77));
        chn->Release();
        QVERIFY(!LumoCGetVantelObject(nullptr, VANTEL_OBJ_CHANNEL_REF, int64_t(999) << 16));
        CLumoString url;
        QCOMPARE(LumoCRECGetDeviceURL(nullptr, 0, &url), 0);
        QCOMPARE(QString(url.GetBuffer()), QString("lumofs://localhost/media"));
    }

    // A recorder is registered by the URL the engine's remote calls read: the same URLs are
    // refused, and its address is "host:port" with the port the engine would use.
    void recorders_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("address");  // empty: refused
        QTest::newRow("default port") << "lumofs://10.0.0.5/media"
                                      << "10.0.0.5:8431";
        QTest::newRow("port and account") << "http://ops:pw@Rec.Example:8500/"
                                          << "rec.example:8500";
        QTest::newRow("IPv6") << "lumofs://[FD00::5]:9000/media"
                              << "[fd00::5]:9000";
        QTest::newRow("bare @ in the password") << "lumofs://ops:p@ss@10.0.0.6/media"
                                                << "10.0.0.6:8431";
        QTest::newRow("another path") << "lumofs://10.0.0.5/other"
                                      << "";
        QTest::newRow("a query") << "http://10.0.0.5/?x=1"
                                 << "";
        QTest::newRow("port 0") << "http://10.0.0.5:0/"
                                << "";
        QTest::newRow("empty account") << "http://:pw@10.0.0.5/"
                                       << "";
        QTest::newRow("no host") << "lumofs:///media"
                                 << "";
        QTest::newRow("other scheme") << "ftp://10.0.0.5/"
                                      << "";
    }
    void recorders() {
        QFETCH(QString, url);
        QFETCH(QString, address);
        const int64_t id = LumoCAddRecorder(url.toUtf8().constData());
        if (address.isEmpty()) {
            QCOMPARE(id, int64_t(-1));
            return;
        }
        QVERIFY(id > 0);
        QCOMPARE(LumoCAddRecorder(url.toUtf8().constData()), id);  // the same URL again: the same device
        IVantelDataDEV* dev = IVantelDataDEV::CreateObject();
        QCOMPARE(LumoCGetDev(nullptr, id, dev), 0);
        QCOMPARE(QString(dev->GetAddress()), address);
        QCOMPARE(QString(dev->GetGUID()), address);
        dev->Release();
        CLumoString back;
        QCOMPARE(LumoCRECGetDeviceURL(nullptr, id, &back), 0);
        QCOMPARE(QString(back.GetBuffer()), url);
    }
};

QTEST_MAIN(TestLumoCConfig)
#include "tst_lumocconfig.moc"
