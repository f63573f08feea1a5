// The six storage table models over real engine rows, and their text helpers.
#include <QAbstractItemModelTester>
#include <QTranslator>
#include <QtTest>
#include <cstring>
#include <functional>
#include <memory>

#include "LumoSRecord/LumoSRecord.h"
#include "models/storagetext.h"
#include "models/vmrmodels.h"

namespace {

using ModelPtr = std::unique_ptr<VantelTableDataModel>;

// A model watched by the item-model tester for the whole test.
struct Watched {
    ModelPtr model;
    std::unique_ptr<QAbstractItemModelTester> tester;
    explicit Watched(VantelTableDataModel* m)
        : model(m),
          tester(new QAbstractItemModelTester(m, QAbstractItemModelTester::FailureReportingMode::Fatal)) {}
    // Shows the rows and releases the list, as the main window does.
    void show(IVantelList* list) {
        model->Clear(true);
        model->SetupModelData(list);
        list->Release();
    }
    QVariant cell(int row, int col) const { return model->index(row, col).data(); }
};

IVantelList* listOf(std::initializer_list<IVantelData*> rows) {
    IVantelList* list = IVantelList::CreateObject();
    for (IVantelData* r : rows) list->Add(r, false, false);
    return list;
}

IKestoDiskInfo* disk(int id, const char* shortName, qint64 totalKB, qint64 usedKB, quint32 state,
                     quint32 type, const char* path) {
    IKestoDiskInfo* d = IKestoDiskInfo::CreateObject();
    d->SetID(id);
    CLumoFSDiskInfo* i = d->GetInfo();
    i->SetShortName(shortName);
    i->SetName(path);
    i->SetSpace(totalKB, usedKB);
    i->SetState(state);
    i->SetType(type);
    return d;
}

IKestoStreamInfo* stream(int id, int mode, int video, int audio, int w, int h, int fps, int kbps) {
    IKestoStreamInfo* s = IKestoStreamInfo::CreateObject();
    s->SetID(id);
    tag_STMDATA* d = s->GetData();
    d->recordMode = static_cast<uint16_t>(mode);
    d->videoCodec = static_cast<uint8_t>(video);
    d->audioCodec = static_cast<uint8_t>(audio);
    d->width = static_cast<uint16_t>(w);
    d->height = static_cast<uint16_t>(h);
    d->frameRate = static_cast<uint16_t>(fps);
    d->bitRateKbps = kbps;
    return s;
}

IKestoChanInfo* channel(int id, const char* cuid, const char* name,
                        std::initializer_list<IKestoStreamInfo*> streams) {
    IKestoChanInfo* c = IKestoChanInfo::CreateObject();
    c->SetID(id);
    c->SetCUID(cuid);
    c->SetName(name);
    for (IKestoStreamInfo* s : streams) c->AddStream(s);
    return c;
}

CLumoTime timeOf(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    CLumoTime t;
    t.SetYear(y);
    t.SetMonth(mo);
    t.SetDay(d);
    t.SetHour(h);
    t.SetMinute(mi);
    t.SetSecond(s);
    t.SetMS(ms);
    return t;
}

IKestoBlockInfo* block(int idb, int idd, quint32 state, int clusters) {
    IKestoBlockInfo* b = IKestoBlockInfo::CreateObject();
    CLumoFSBlockInfo* i = b->GetInfo();
    i->SetIDB(idb);
    i->SetIDD(idd);
    i->SetState(state);
    i->SetClusterUsed(clusters);
    i->SetCUID("cam-7");
    i->SetMediaType(1);
    i->SetIDS(1);
    i->SetRecType(1);
    i->SetTimeS(timeOf(2024, 3, 4, 5, 6, 7, 8));
    i->SetTimeE(timeOf(2024, 3, 4, 6, 0, 0, 0));
    i->SetUsedTime(3233);
    i->SetFileNum(12);
    i->SetFrameNum(80825);
    return b;
}

IKestoFileInfoAV* file(int id, quint32 size, quint64 size64 = 0) {
    IKestoFileInfoAV* f = IKestoFileInfoAV::CreateObject();
    f->SetID(id);
    tag_LUMOFILEAVINFO* i = f->GetInfo();
    i->videoCodec = 1;
    i->audioCodec = 0;
    i->width = 1920;
    i->height = 1080;
    i->timeStart = timeOf(2024, 5, 6, 7, 8, 9).ToPacked();
    i->timeEnd = timeOf(2024, 5, 6, 7, 18, 9).ToPacked();
    i->msStart = 123;
    i->msEnd = 45;
    i->size = size;
    i->size64 = size64;
    i->recordType = 0;
    std::strcpy(i->cuid, "cam-01");
    f->SetFileName("/srv/rec/disk1/block003/0001.dav");
    return f;
}

// Answers a few keys in another language, to see cells follow a language change.
class FakeTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char*, int) const override {
        if (QByteArray(context) != "QObject") return QString();
        if (QByteArray(source) == "K0435_MainStream") return QStringLiteral("Hauptstrom");
        if (QByteArray(source) == "K3732_ScheduleRecord") return QStringLiteral("Zeitplan");
        if (QByteArray(source) == "K3711_DiskNo") return QStringLiteral("Platte");
        return QString();
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

class TestStorageModels : public QObject {
    Q_OBJECT
private slots:
    void fileSizeText_data();
    void fileSizeText();
    void codecText_data();
    void codecText();
    void everyCodecNamed();
    void headerLabels_data();
    void headerLabels();
    void diskModels();
    void diskListSharedByBothModelsOutlivesTheCaller();
    void channelModel();
    void channelModelShowsEmptyRowsForOtherObjects();
    void streamModel_data();
    void streamModel();
    void blockModel_data();
    void blockModel();
    void blockModelNamesItsDisk();
    void recordFileModel();
    void recordFileTypes_data();
    void recordFileTypes();
    void recordFileSizeOver4GiBAndUnterminatedCuid();
    void sortingMapsBackToTheRowObject();
    void keyCellsFollowTheLanguage();
};

void TestStorageModels::fileSizeText_data() {
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << quint64(0) << "  0.000B";
    QTest::newRow("1023") << quint64(1023) << "1023.000B";
    QTest::newRow("1024") << quint64(1024) << "  1.024KB";
    QTest::newRow("12345") << quint64(12345) << " 12.345KB";
    QTest::newRow("150000") << quint64(150000) << "150.000KB";
    QTest::newRow("2^20-1") << quint64(1048575) << "1048.575KB";
    QTest::newRow("2^20") << quint64(1048576) << "  1.049MB";
    QTest::newRow("99 999 999") << quint64(99999999) << "100.000MB";
    QTest::newRow("2^30") << quint64(1073741824) << "  1.074GB";
    QTest::newRow("2^32-1") << quint64(4294967295u) << "  4.295GB";
    QTest::newRow("5 GiB") << quint64(5368709120ull) << "  5.369GB";
    QTest::newRow("2 TiB") << quint64(2199023255552ull) << "2199.023GB";
}

void TestStorageModels::fileSizeText() {
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(StorageText::FileSizeText(bytes), text);
}

void TestStorageModels::codecText_data() {
    QTest::addColumn<int>("video");
    QTest::addColumn<int>("audio");
    QTest::addColumn<QString>("fallback");
    QTest::addColumn<QString>("text");
    QTest::newRow("H264") << 1 << 0 << "--"
                          << "H264";
    QTest::newRow("H265 PCMU") << 2 << 5 << "--"
                               << "H265/PCMU";
    QTest::newRow("16 H264P PCMA") << 16 << 4 << "--"
                                   << "H264P/PCMA";
    QTest::newRow("31 H264P PCM") << 31 << 9 << "--"
                                  << "H264P/PCM";
    QTest::newRow("32 H265P") << 32 << 0 << "--"
                              << "H265P";
    QTest::newRow("47 H265P") << 47 << 0 << "N/A"
                              << "H265P";
    QTest::newRow("48 unknown") << 48 << 0 << "N/A"
                                << "N/A";
    QTest::newRow("15 unknown") << 15 << 0 << "--"
                                << "--";
    QTest::newRow("none with PCMA") << 0 << 4 << "N/A"
                                    << "N/A/PCMA";
    QTest::newRow("MJPEG with PCMU") << int(LUMO_CODEC_JPEG) << 5 << "--"
                                     << "MJPEG/PCMU";
    QTest::newRow("MJPEG record") << int(LUMO_CODEC_JPEG) << 0 << "N/A"
                                  << "MJPEG";
    QTest::newRow("MPEG-4 record with AAC") << int(LUMO_CODEC_MPEG4) << int(LUMO_CODEC_AAC) << "N/A"
                                            << "MPEG4/AAC";
    QTest::newRow("a video code as sound") << 1 << int(LUMO_CODEC_H265) << "N/A"
                                           << "H264";
}

// Every codec code of the media layer has a name: none falls back to "N/A".
void TestStorageModels::everyCodecNamed() {
    for (int video : {LUMO_CODEC_H264, LUMO_CODEC_H265, LUMO_CODEC_JPEG, LUMO_CODEC_MPEG4})
        QVERIFY2(!StorageText::CodecText(video, LUMO_CODEC_NONE, QStringLiteral("N/A")).contains("N/A"),
                 qPrintable(QString::number(video)));
    for (int audio :
         {LUMO_CODEC_PCMA, LUMO_CODEC_PCMU, LUMO_CODEC_ADPCM, LUMO_CODEC_MP3, LUMO_CODEC_AAC, LUMO_CODEC_PCM})
        QVERIFY2(StorageText::CodecText(LUMO_CODEC_H264, audio, QStringLiteral("N/A")).startsWith("H264/"),
                 qPrintable(QString::number(audio)));
}

void TestStorageModels::codecText() {
    QFETCH(int, video);
    QFETCH(int, audio);
    QFETCH(QString, fallback);
    QFETCH(QString, text);
    QCOMPARE(StorageText::CodecText(video, audio, fallback), text);
}

void TestStorageModels::headerLabels_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("disk") << "disk" << 5
                          << QStringList{"", "K3711_DiskNo", "K3715_DiskName", "K3712_DiskSpace",
                                         "K0474_Operattion"};
    QTest::newRow("disk status") << "status" << 8
                                 << QStringList{"",
                                                "K3711_DiskNo",
                                                "K3715_DiskName",
                                                "K3713_DiskStatus",
                                                "K3714_DiskType",
                                                "K0474_Operattion",
                                                "K3712_DiskSpace",
                                                "K3716_DiskPath"};
    QTest::newRow("channel") << "channel" << 8 << QStringList{"",
                                                              "K0478_Channel",
                                                              "K4763_CUID",
                                                              "K3725_ChnName",
                                                              "K0474_Operattion",
                                                              "K3734_BitRate",
                                                              "K3726_RecordStatus",
                                                              ""};
    QTest::newRow("stream") << "stream" << 10
                            << QStringList{"",
                                           "K4779_ID",
                                           "K0637_StreamType",
                                           "K3705_RecordType",
                                           "K3527_EncodeingFormat",
                                           "K3734_BitRate",
                                           "K3735_FPS",
                                           "K3702_Resolution",
                                           "K3726_RecordStatus",
                                           ""};
    QTest::newRow("block") << "block" << 14
                           << QStringList{"",
                                          "K4779_ID",
                                          "K3711_DiskNo",
                                          "K3724_BlockStatus",
                                          "K4763_CUID",
                                          "K3738_MediaType",
                                          "K0637_StreamType",
                                          "K0474_Operattion",
                                          "K3703_StartTime",
                                          "K3704_EndTime",
                                          "K3705_RecordType",
                                          "K3727_TotalTime",
                                          "K3728_FileNum",
                                          "K3729_FrameNum"};
    QTest::newRow("record file") << "file" << 12
                                 << QStringList{"",
                                                "K3526_SerialNumber",
                                                "K3703_StartTime",
                                                "K3704_EndTime",
                                                "K4763_CUID",
                                                "K3701_FileSize",
                                                "K3702_Resolution",
                                                "K3527_EncodeingFormat",
                                                "K0474_Operattion",
                                                "K3705_RecordType",
                                                "K3706_FileName",
                                                ""};
}

void TestStorageModels::headerLabels() {
    QFETCH(QString, model);
    QFETCH(int, columns);
    QFETCH(QStringList, labels);
    VantelTableDataModel* m = nullptr;
    if (model == "disk") m = new VMRDiskModel(nullptr, this);
    if (model == "status") m = new VMRDiskStatusModel(nullptr, this);
    if (model == "channel") m = new VMRChnModel(nullptr, this);
    if (model == "stream") m = new VMRStreamModel(nullptr, this);
    if (model == "block") m = new VMRBlockModel(nullptr, this);
    if (model == "file") m = new VMRRecordFileModel(nullptr, this);
    Watched w(m);
    QCOMPARE(w.model->columnCount(), columns);
    QCOMPARE(w.model->rowCount(), 0);
    for (int c = 0; c < columns; ++c) QCOMPARE(w.model->headerData(c, Qt::Horizontal).toString(), labels[c]);
}

void TestStorageModels::diskModels() {
    Watched d(new VMRDiskModel(nullptr, nullptr));
    Watched s(new VMRDiskStatusModel(nullptr, nullptr));
    // 2 GiB of which 1 GiB used (KB); an unformatted disk with no space.
    IVantelList* list = listOf({disk(1, "D1", 2097152, 1048576, 0x1A, 3, "/srv/rec/disk1"),
                                disk(2, "", 0, 0, 0x1, 0, "/srv/rec/disk2")});
    d.model->SetupModelData(list);
    s.model->SetupModelData(list);
    list->Release();

    QCOMPARE(d.cell(0, 1), QVariant(1u));
    QCOMPARE(d.cell(0, 1).userType(), int(QMetaType::UInt));
    QCOMPARE(d.cell(0, 2).toString(), QString("D1"));
    QCOMPARE(d.cell(0, 3).toString(), QString("1024/2048"));
    QVERIFY(!d.cell(0, 0).isValid());
    QVERIFY(!d.cell(0, 4).isValid());
    QCOMPARE(d.cell(1, 2).toString(), QString());  // no short name: an empty name
    QCOMPARE(d.cell(1, 3).toString(), QString("0/0"));
    QVERIFY(!d.model->GetDisplayData(d.model->GetRowData(0), 5).isValid());

    QCOMPARE(s.cell(0, 1), QVariant(1u));
    QCOMPARE(s.cell(0, 2).toString(), QString("D1"));
    QCOMPARE(s.cell(0, 3), QVariant(0x1Au));
    QCOMPARE(s.cell(0, 4), QVariant(3u));
    QVERIFY(!s.cell(0, 5).isValid());
    QCOMPARE(s.cell(0, 6).toString(), QString("1024/2048"));
    QCOMPARE(s.cell(0, 7).toString(), QString("/srv/rec/disk1"));

    // Terabyte disks (values in KB): no overflow of the text.
    IVantelList* big = listOf({disk(3, "T", qint64(16) << 30, qint64(15) << 30, 0x2, 0, "/big")});
    d.show(big);
    QCOMPARE(d.cell(0, 3).toString(), QString("15728640/16777216"));
    // Row check boxes ride on column 0.
    QCOMPARE(d.model->index(0, 0).data(1256), QVariant(false));
}

void TestStorageModels::diskListSharedByBothModelsOutlivesTheCaller() {
    Watched d(new VMRDiskModel(nullptr, nullptr));
    Watched s(new VMRDiskStatusModel(nullptr, nullptr));
    IKestoDiskInfo* row = disk(4, "D4", 1024, 0, 0x2, 0, "/d4");
    IVantelList* list = listOf({row});
    row->AddRef();  // to watch the count
    d.model->SetupModelData(list);
    s.model->SetupModelData(list);
    list->Release();
    QCOMPARE(row->GetRefCount(), 3);
    QCOMPARE(d.cell(0, 2).toString(), QString("D4"));
    QCOMPARE(s.cell(0, 7).toString(), QString("/d4"));
    d.model->Clear(true);
    QCOMPARE(s.cell(0, 2).toString(), QString("D4"));
    s.model->Clear(true);
    QCOMPARE(row->GetRefCount(), 1);
    row->Release();
}

void TestStorageModels::channelModel() {
    Watched c(new VMRChnModel(nullptr, nullptr));
    c.show(listOf({channel(1, "cuid-1", "Gate",
                           {stream(1, 1, 1, 0, 1920, 1080, 25, 2048), stream(2, 0, 1, 0, 640, 480, 15, 512)}),
                   channel(2, "cuid-2", "Yard",
                           {stream(1, 16, 2, 4, 1280, 720, 25, 1024), stream(2, 2, 2, 4, 640, 360, 15, 256)}),
                   channel(3, "", "Empty", {})}));
    QCOMPARE(c.cell(0, 1), QVariant(1u));
    QCOMPARE(c.cell(0, 2).toString(), QString("cuid-1"));
    QCOMPARE(c.cell(0, 3).toString(), QString("Gate"));
    QVERIFY(!c.cell(0, 4).isValid());
    QCOMPARE(c.cell(0, 5).toString(), QString("2560Kbps"));
    QCOMPARE(c.cell(0, 6), QVariant(1));
    QCOMPARE(c.cell(0, 6).userType(), int(QMetaType::Int));
    QCOMPARE(c.cell(1, 5).toString(), QString("1280Kbps"));
    QCOMPARE(c.cell(1, 6), QVariant(18));
    QCOMPARE(c.cell(2, 5).toString(), QString("0Kbps"));
    QCOMPARE(c.cell(2, 6), QVariant(0));
    QVERIFY(!c.cell(0, 7).isValid());
}

void TestStorageModels::channelModelShowsEmptyRowsForOtherObjects() {
    Watched c(new VMRChnModel(nullptr, nullptr));
    Watched s(new VMRStreamModel(nullptr, nullptr));
    c.show(listOf({stream(1, 1, 1, 0, 1, 1, 1, 1), IVantelText::CreateObject("x")}));
    s.show(listOf({channel(1, "cuid", "n", {}), IVantelText::CreateObject("x")}));
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 8; ++col)
            QVERIFY2(!c.cell(row, col).isValid(), qPrintable(QString::number(col)));
        for (int col = 0; col < 10; ++col) QVERIFY(!s.cell(row, col).isValid());
        // The check box stays.
        QVERIFY(c.model->index(row, 0).data(1256).isValid());
    }
    QVERIFY(!c.model->GetDisplayData(nullptr, 1).isValid());
    QVERIFY(!s.model->GetDisplayData(nullptr, 1).isValid());
}

void TestStorageModels::streamModel_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("video");
    QTest::addColumn<int>("audio");
    QTest::addColumn<QVariantList>("cells");  // columns 1 to 8
    QTest::newRow("main, manual, H265/PCMA")
        << 1 << 16 << 2 << 4
        << QVariantList{
               1u, "K0435_MainStream", "K3731_ManualRecord", "H265/PCMA", "4096Kbps", 25, "1920X1080", 16};
    QTest::newRow("sub, schedule")
        << 2 << 1 << 1 << 0
        << QVariantList{2u, "K0436_SubStream", "K3732_ScheduleRecord", "H264", "4096Kbps", 25, "1920X1080",
                        1};
    QTest::newRow("third, event, unknown codec")
        << 3 << 2 << 99 << 5
        << QVariantList{3u, "K0642_ThirdStream", "K3733_EventRecord", "--/PCMU", "4096Kbps", 25, "1920X1080",
                        2};
    QTest::newRow("not recording shows dashes whatever the codec")
        << 1 << 0 << 2 << 4 << QVariantList{1u, "K0435_MainStream", "--", "--", "--", "--", "--", 0};
    QTest::newRow("stream 4, unknown mode")
        << 4 << 3 << 1 << 0 << QVariantList{4u, "--", "--", "H264", "4096Kbps", 25, "1920X1080", 3};
}

void TestStorageModels::streamModel() {
    QFETCH(int, id);
    QFETCH(int, mode);
    QFETCH(int, video);
    QFETCH(int, audio);
    QFETCH(QVariantList, cells);
    Watched s(new VMRStreamModel(nullptr, nullptr));
    s.show(listOf({stream(id, mode, video, audio, 1920, 1080, 25, 4096)}));
    QVERIFY(!s.cell(0, 0).isValid());
    for (int col = 1; col <= 8; ++col) {
        const QVariant v = s.cell(0, col);
        QCOMPARE(v, cells[col - 1]);
        if (cells[col - 1].userType() == QMetaType::Int) QCOMPARE(v.userType(), int(QMetaType::Int));
    }
    QVERIFY(!s.cell(0, 9).isValid());
}

void TestStorageModels::blockModel_data() {
    QTest::addColumn<uint>("state");
    QTest::addColumn<int>("clusters");
    QTest::addColumn<int>("ids");
    QTest::addColumn<int>("recType");
    QTest::addColumn<bool>("inUse");
    QTest::addColumn<QString>("streamText");
    QTest::addColumn<QVariant>("recordType");
    QTest::newRow("not in use") << 0u << 0 << 1 << 1 << false << "" << QVariant();
    QTest::newRow("in use by its state")
        << 0x10u << 0 << 0 << 1 << true << "K0435_MainStream" << QVariant("K3732_ScheduleRecord");
    QTest::newRow("in use by its clusters")
        << 0x0u << 128 << 2 << 0 << true << "K0642_ThirdStream" << QVariant();
    QTest::newRow("stream code 3") << 0x13u << 256 << 3 << 4 << true << "K4780_--" << QVariant();
}

void TestStorageModels::blockModel() {
    QFETCH(uint, state);
    QFETCH(int, clusters);
    QFETCH(int, ids);
    QFETCH(int, recType);
    QFETCH(bool, inUse);
    QFETCH(QString, streamText);
    QFETCH(QVariant, recordType);
    Watched b(new VMRBlockModel(nullptr, nullptr));
    IKestoBlockInfo* row = block(2, 0, state, clusters);
    row->GetInfo()->SetIDS(static_cast<uint8_t>(ids));
    row->GetInfo()->SetRecType(static_cast<uint16_t>(recType));
    b.show(listOf({row}));

    // Always shown.
    QCOMPARE(b.cell(0, 1), QVariant(3u));
    QCOMPARE(b.cell(0, 2), QVariant(1u));
    QCOMPARE(b.cell(0, 3).toString(), QString("%1/%2").arg(state).arg(clusters));
    QCOMPARE(b.cell(0, 4).toString(), QString("cam-7"));
    QVERIFY(!b.cell(0, 7).isValid());
    QCOMPARE(b.cell(0, 11), QVariant(3233u));
    QCOMPARE(b.cell(0, 12), QVariant(12));
    QCOMPARE(b.cell(0, 13), QVariant(80825u));
    // Only for a block in use.
    QCOMPARE(b.cell(0, 5).isValid(), inUse);
    QCOMPARE(b.cell(0, 6).isValid(), inUse);
    QCOMPARE(b.cell(0, 8).isValid(), inUse);
    QCOMPARE(b.cell(0, 9).isValid(), inUse);
    QCOMPARE(b.cell(0, 10), recordType);
    if (inUse) {
        QCOMPARE(b.cell(0, 5), QVariant(1u));
        QCOMPARE(b.cell(0, 6).toString(), streamText);
        QCOMPARE(b.cell(0, 8).toString(), QString("2024-03-04 05:06:07.008"));
        QCOMPARE(b.cell(0, 9).toString(), QString("2024-03-04 06:00:00.000"));
    }
}

// The disk column names the disk the blocks were read from (its settings number; numbers may
// have gaps), not the disk's position among the engine's disks.
void TestStorageModels::blockModelNamesItsDisk() {
    auto* model = new VMRBlockModel(nullptr, nullptr);
    Watched b(model);
    IKestoBlockInfo* row = block(2, 0, 0x10u, 16);
    row->GetInfo()->SetIDD(1);  // the second disk of [disk1] and [disk3]
    b.show(listOf({row}));
    QCOMPARE(b.cell(0, 2), QVariant(2u));  // nothing said yet: the position + 1
    model->SetDiskId(3);
    QCOMPARE(b.cell(0, 2), QVariant(3u));
}

void TestStorageModels::recordFileModel() {
    Watched f(new VMRRecordFileModel(nullptr, nullptr));
    IKestoFileInfoAV* small = file(2, 1024);
    small->GetInfo()->width = 640;
    small->GetInfo()->height = 480;
    small->GetInfo()->videoCodec = 0;
    small->GetInfo()->audioCodec = 4;
    f.show(listOf({file(1, 1048576), small}));

    QCOMPARE(f.cell(0, 1), QVariant(1u));
    QCOMPARE(f.cell(0, 2).toString(), QString("2024-05-06 07:08:09.123"));
    QCOMPARE(f.cell(0, 3).toString(), QString("2024-05-06 07:18:09.045"));
    QCOMPARE(f.cell(0, 4).toString(), QString("cam-01"));
    QCOMPARE(f.cell(0, 5).toString(), QString("  1.049MB"));
    QCOMPARE(f.cell(0, 6).toString(), QString("1920X1080"));
    QCOMPARE(f.cell(0, 7).toString(), QString("H264"));
    QVERIFY(!f.cell(0, 8).isValid());
    QCOMPARE(f.cell(0, 9).toString(), QString("K3732_ScheduleRecord"));
    QCOMPARE(f.cell(0, 10).toString(), QString("/srv/rec/disk1/block003/0001.dav"));
    QVERIFY(!f.cell(0, 11).isValid());

    QCOMPARE(f.cell(1, 5).toString(), QString("  1.024KB"));
    QCOMPARE(f.cell(1, 6).toString(), QString(" 640X 480"));
    QCOMPARE(f.cell(1, 7).toString(), QString("N/A/PCMA"));
}

void TestStorageModels::recordFileTypes_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("cell");
    QTest::newRow("schedule") << 0 << QVariant("K3732_ScheduleRecord");
    QTest::newRow("event") << 1 << QVariant("K3733_EventRecord");
    QTest::newRow("manual") << 4 << QVariant("K3731_ManualRecord");
    QTest::newRow("2 is shown as the number") << 2 << QVariant(2);
    QTest::newRow("65535 is shown as the number") << 65535 << QVariant(65535);
}

void TestStorageModels::recordFileTypes() {
    QFETCH(int, type);
    QFETCH(QVariant, cell);
    Watched f(new VMRRecordFileModel(nullptr, nullptr));
    IKestoFileInfoAV* row = file(1, 0);
    row->GetInfo()->recordType = static_cast<uint16_t>(type);
    f.show(listOf({row}));
    QCOMPARE(f.cell(0, 9), cell);
    QCOMPARE(f.cell(0, 9).userType(), cell.userType());
}

void TestStorageModels::recordFileSizeOver4GiBAndUnterminatedCuid() {
    Watched f(new VMRRecordFileModel(nullptr, nullptr));
    IKestoFileInfoAV* big = file(1, 0xFFFFFFFFu, 5368709120ull);
    IKestoFileInfoAV* noNul = file(2, 10);
    std::memset(noNul->GetInfo()->cuid, 'x', sizeof noNul->GetInfo()->cuid);
    f.show(listOf({big, noNul}));
    QCOMPARE(f.cell(0, 5).toString(), QString("  5.369GB"));
    QCOMPARE(f.cell(1, 4).toString(), QString(64, QLatin1Char('x')));
    QCOMPARE(f.cell(1, 5).toString(), QString(" 10.000B"));
}

void TestStorageModels::sortingMapsBackToTheRowObject() {
    Watched f(new VMRRecordFileModel(nullptr, nullptr));
    IKestoFileInfoAV* a = file(1, 2048);
    IKestoFileInfoAV* b = file(2, 1000);
    IKestoFileInfoAV* c = file(3, 0xFFFFFFFFu, 5368709120ull);
    IKestoFileInfoAV* d = file(4, 1048576);
    f.show(listOf({a, b, c, d}));
    // By bytes, not by the text ("  1.049MB" would sort before "  2.048KB").
    f.model->sort(5, Qt::AscendingOrder);
    QCOMPARE(f.model->GetRowData(0), static_cast<IVantelData*>(b));
    QCOMPARE(f.model->GetRowData(1), static_cast<IVantelData*>(a));
    QCOMPARE(f.model->GetRowData(2), static_cast<IVantelData*>(d));
    QCOMPARE(f.model->GetRowData(3), static_cast<IVantelData*>(c));
    QCOMPARE(f.model->GetSourceRow(3), 2);

    // The disk the operator points at after sorting by number is the one shown there.
    Watched dm(new VMRDiskModel(nullptr, nullptr));
    dm.show(listOf(
        {disk(1, "one", 0, 0, 0, 0, ""), disk(2, "two", 0, 0, 0, 0, ""), disk(3, "three", 0, 0, 0, 0, "")}));
    dm.model->sort(1, Qt::DescendingOrder);
    QCOMPARE(dm.cell(0, 2).toString(), QString("three"));
    auto* chosen = dynamic_cast<IKestoDiskInfo*>(dm.model->GetRowData(0));
    QVERIFY(chosen);
    QCOMPARE(chosen->GetID(), int64_t(3));
    QCOMPARE(dm.model->GetSourceRow(0), 2);
}

void TestStorageModels::keyCellsFollowTheLanguage() {
    Watched s(new VMRStreamModel(nullptr, nullptr));
    Watched d(new VMRDiskModel(nullptr, nullptr));
    s.show(listOf({stream(1, 1, 1, 0, 1, 1, 1, 1)}));
    QCOMPARE(s.cell(0, 2).toString(), QString("K0435_MainStream"));
    FakeTranslator tr;
    QCoreApplication::installTranslator(&tr);
    // Cells follow at once; labels when the window sets them again.
    QCOMPARE(s.cell(0, 2).toString(), QString("Hauptstrom"));
    QCOMPARE(s.cell(0, 3).toString(), QString("Zeitplan"));
    QCOMPARE(s.cell(0, 5).toString(), QString("1Kbps"));
    QCOMPARE(d.model->headerData(1, Qt::Horizontal).toString(), QString("K3711_DiskNo"));
    d.model->SetHeaderLabels(VMRDiskModel::HeaderLabels());
    QCOMPARE(d.model->headerData(1, Qt::Horizontal).toString(), QString("Platte"));
    QCoreApplication::removeTranslator(&tr);
    QCOMPARE(s.cell(0, 2).toString(), QString("K0435_MainStream"));
}

QTEST_MAIN(TestStorageModels)
#include "tst_storagemodels.moc"
