// Record-file URIs and probing of local files into descriptors.
#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "LumoAV/LumoAV.h"
#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoFS/LumoRecordSource.h"
#include "LumoRecord/LumoRecord.h"
#include "LumoSRecord/LumoSRecord.h"
#include "probe.h"  // the engine's own probe, tested from outside
#include "mediafixture.h"

extern "C" {
#include <libavcodec/codec_id.h>
#include "testsupport.h"
}

using namespace mediafixture;

namespace {
// A record source as an engine registers it: resolves its disks' records under "/engine".
int StubResolve(const char* uri, CLumoString* path) {
    LumoRecordAddress a;
    if (!LumoRecordAddress::Parse(uri, &a) || !a.Require({"disk", "path", "filename"})) return LUMO_ERR_PARAM;
    path->Copy(("/engine/" + a.Get("disk") + "/" + a.Get("path") + "/" + a.Get("filename")).c_str());
    return 0;
}
const LumoFSRecordSource kStubSource{nullptr, &StubResolve};
}  // namespace

class TestLumoRecord : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString P(const QString& n) const { return dir.filePath(n); }

private slots:
    void initTestCase() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the fixtures");
        QVERIFY(dir.isValid());
        QVERIFY(Ffmpeg(Source(3, "320x240", 25) + H264() + Aac(), P("h264.mp4")));
        QVERIFY(
            Ffmpeg(Source(2, "176x144", 15, false) + Mpeg4() + QStringList{"-f", "mpegts"}, P("mpeg4.dav")));
        QVERIFY(Ffmpeg(Source(2, "160x120", 10) + Mpeg4() + QStringList{"-c:a", "pcm_s16le"}, P("pcm.avi")));
        QVERIFY(Ffmpeg(
            Source(2, "160x120", 10) + H264() + QStringList{"-c:a", "pcm_alaw", "-ar", "8000", "-ac", "1"},
            P("alaw.avi")));
        QVERIFY(Ffmpeg(Source(2, "160x120", 25, false) + H264() +
                           QStringList{"-metadata", "creation_time=2024-05-01T08:30:00Z"},
                       P("stamped.mp4")));
        // Sound the engine once left without a code.
        const QStringList mono{"-ar", "8000", "-ac", "1"};
        QVERIFY(
            Ffmpeg(Source(2, "160x120", 10) + Mpeg4() + QStringList{"-c:a", "pcm_u8"} + mono, P("u8.avi")));
        QVERIFY(Ffmpeg(Source(2, "160x120", 10) + Mpeg4() + QStringList{"-c:a", "adpcm_ms"} + mono,
                       P("msadpcm.avi")));
        QVERIFY(Ffmpeg(Source(2, "160x120", 10) + Mpeg4() + QStringList{"-c:a", "pcm_s16be"} + mono,
                       P("s16be.mov")));
        QFile(P("zero.dav")).open(QIODevice::WriteOnly);
        QFile text(P("text.mp4"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray("plain words, no pictures\n").repeated(200));
    }

    void parseUri_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("network");
        QTest::newRow("local record")
            << "filer://local/type=rec&format=dav&filename=/srv/rec/a.dav" << 0 << "/srv/rec/a.dav"
            << "dav" << false;
        QTest::newRow("upper-case format")
            << "filer://local/type=rec&format=MP4&filename=/srv/a.mp4" << 0 << "/srv/a.mp4"
            << "mp4" << false;
        QTest::newRow("backslash path")
            << "filer://local/type=rec&format=dav&filename=\\home\\u\\a.dav" << 0 << "/home/u/a.dav"
            << "dav" << false;
        QTest::newRow("name with ampersand")
            << "filer://local/type=rec&format=avi&filename=/srv/a&b.avi" << 0 << "/srv/a&b.avi"
            << "avi" << false;
        QTest::newRow("recorder disk, absolute folder")
            << "lumofs://local/disk=usb1&path=/media/usb1/blk00002&filename=0_1_2_3_0_5.dav" << 0
            << "/media/usb1/blk00002/0_1_2_3_0_5.dav"
            << "dav" << false;
        QTest::newRow("file url") << "file:///srv/x.mp4" << 0 << "/srv/x.mp4"
                                  << "mp4" << false;
        QTest::newRow("file: path") << "file:/srv/x.avi" << 0 << "/srv/x.avi"
                                    << "avi" << false;
        QTest::newRow("plain path") << "/srv/y.dav" << 0 << "/srv/y.dav"
                                    << "dav" << false;
        QTest::newRow("rtsp") << "rtsp://127.0.0.1:554/mode=real&idc=1&ids=1" << 0
                              << "rtsp://127.0.0.1:554/mode=real&idc=1&ids=1"
                              << "" << true;
        QTest::newRow("clip range")
            << "filer://local/type=rec&format=dav&filename=/srv/a.dav&from=2024-05-01T08:00:10&len=30" << 0
            << "/srv/a.dav"
            << "dav" << false;
        QTest::newRow("empty") << "" << -4 << ""
                               << "" << false;
        QTest::newRow("unknown scheme") << "gopher://127.0.0.1/a" << -4 << ""
                                        << "" << false;
        QTest::newRow("no file name") << "filer://local/type=rec&format=dav" << -4 << ""
                                      << "" << false;
        QTest::newRow("file url with host") << "file://localhost/srv/x.mp4" << 0 << "/srv/x.mp4"
                                            << "mp4" << false;
        QTest::newRow("name with & and =")
            << "filer://local/type=rec&format=dav&filename=/srv/a&b=c.dav" << 0 << "/srv/a&b=c.dav"
            << "dav" << false;
        QTest::newRow("plain path with a clip range")
            << "/srv/a.dav&from=2024-05-01T08:00:10&len=30" << 0 << "/srv/a.dav"
            << "dav" << false;
        QTest::newRow("engine disk, resolved by its record source")
            << "lumofs://local/disk=disk1&path=blk00001&filename=c01_s0_r0_20240501_080000.dav" << 0
            << "/engine/disk1/blk00001/c01_s0_r0_20240501_080000.dav"
            << "dav" << false;
        QTest::newRow("engine disk with a clip range")
            << "lumofs://local/disk=disk1&path=blk00001&filename=c01_s0_r0_20240501_080000.dav"
               "&from=2024-05-01T08:00:10&len=30"
            << 0 << "/engine/disk1/blk00001/c01_s0_r0_20240501_080000.dav"
            << "dav" << false;
        QTest::newRow("a parameter given twice")
            << "filer://local/type=rec&filename=/a.dav&filename=/b.dav" << -4 << ""
            << "" << false;
    }
    void parseUri() {
        QFETCH(QString, uri);
        QFETCH(int, result);
        QFETCH(QString, path);
        QFETCH(QString, format);
        QFETCH(bool, network);
        LumoRecordSource src;
        LumoFSSetRecordSource(&kStubSource);
        const int rc = LumoRecordParseUri(uri.toUtf8().constData(), &src);
        LumoFSSetRecordSource(nullptr);
        QCOMPARE(rc, result);
        if (result != 0) return;
        QCOMPARE(QString::fromStdString(src.path), path);
        QCOMPARE(QString::fromStdString(src.format), format);
        QCOMPARE(src.isNetwork, network);
    }

    void uriParam_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QString target = "filew://local/type=rec&format=dav&pathname=/srv/clips&filename=a.dav";
        QTest::newRow("first") << target << "type"
                               << "rec";
        QTest::newRow("middle") << target << "format"
                                << "dav";
        QTest::newRow("last runs to the end") << target << "filename"
                                              << "a.dav";
        QTest::newRow("absent") << target << "disk"
                                << "";
        QTest::newRow("empty value") << "filew://local/format=&pathname=/srv"
                                     << "format"
                                     << "";
        QTest::newRow("empty uri") << ""
                                   << "format"
                                   << "";
        QTest::newRow("a folder holding &") << "filew://local/type=pic&format=jpg&pathname=/srv/a&b"
                                            << "pathname"
                                            << "/srv/a&b";
        QTest::newRow("not a record address") << "rtsp://host/x&format=dav"
                                              << "format"
                                              << "";
    }
    void uriParam() {
        QFETCH(QString, uri);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(QString::fromStdString(LumoRecordUriParam(uri.toStdString(), key.toUtf8().constData())),
                 value);
    }

    // A record of the engine's disks is found through the record source the engine registers
    // while it runs; without one, the address is read as a folder and a file.
    void engineRecordsThroughTheRecordSource() {
        QTemporaryDir storage;
        QVERIFY(storage.isValid());
        QDir().mkpath(storage.filePath("d1"));
        QFile ini(storage.filePath("kestostorage.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[disk1]\npath=d1\nname=store\n");
        ini.close();
        const char* uri = "lumofs://local/disk=store&path=blk00002&filename=c01_s0_r0_20240501_080000.dav";
        LumoSRSetStorageConfig(storage.filePath("kestostorage.ini").toUtf8().constData());
        QCOMPARE(LumoSRInitialize(nullptr), 0);
        LumoRecordSource src;
        QCOMPARE(LumoRecordParseUri(uri, &src), 0);
        QCOMPARE(QString::fromStdString(src.path),
                 storage.filePath("d1/blk00002/c01_s0_r0_20240501_080000.dav"));
        LumoSRInvalidate();
        LumoSRSetStorageConfig(nullptr);
        QCOMPARE(LumoRecordParseUri(uri, &src), 0);
        QCOMPARE(QString::fromStdString(src.path), QString("blk00002/c01_s0_r0_20240501_080000.dav"));
    }

    void clipRangeIsSplitOff() {
        LumoRecordSource src;
        QCOMPARE(
            LumoRecordParseUri(
                "filer://local/type=rec&format=dav&filename=/a.dav&from=2024-05-01T08:00:10&len=30", &src),
            0);
        QVERIFY(src.hasRange);
        QCOMPARE(src.lengthSec, int64_t(30));
        QCOMPARE(src.from.GetHour(), 8);
        QCOMPARE(src.from.GetSecond(), 10);
    }

    void probeFillsTheDescriptor_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("fps");
        QTest::addColumn<int>("video");
        QTest::addColumn<int>("audio");
        QTest::addColumn<int>("seconds");
        QTest::newRow("h264 + aac in mp4")
            << "h264.mp4" << 320 << 240 << 25 << int(LUMO_CODEC_H264) << int(LUMO_CODEC_AAC) << 3;
        QTest::newRow("mpeg4 in ts") << "mpeg4.dav" << 176 << 144 << 15 << int(LUMO_CODEC_MPEG4)
                                     << int(LUMO_CODEC_NONE) << 2;
        QTest::newRow("mpeg4 + pcm in avi")
            << "pcm.avi" << 160 << 120 << 10 << int(LUMO_CODEC_MPEG4) << int(LUMO_CODEC_PCM) << 2;
        QTest::newRow("h264 + g711a in avi")
            << "alaw.avi" << 160 << 120 << 10 << int(LUMO_CODEC_H264) << int(LUMO_CODEC_PCMA) << 2;
    }
    void probeFillsTheDescriptor() {
        QFETCH(QString, file);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, fps);
        QFETCH(int, video);
        QFETCH(int, audio);
        QFETCH(int, seconds);
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(P(file))));
        QCOMPARE(LumoRecordGetFileDesc(&list), 0);
        const CLumoFileDesc* d = list.GetHead();
        QCOMPARE(int(d->GetWidth()), width);
        QCOMPARE(int(d->GetHeight()), height);
        QCOMPARE(d->GetFrameRate(), fps);
        QCOMPARE(int(d->GetVideoCodec()), video);
        QCOMPARE(int(d->GetAudioCodec()), audio);
        QCOMPARE(d->GetSize(), uint64_t(QFileInfo(P(file)).size()));
        int64_t span = CLumoTime::GetTimeSpan(d->GetTimeE(), d->GetTimeS());
        QVERIFY2(qAbs(span - seconds * 1000) <= 200, qPrintable(QString("span %1 ms").arg(span)));
        // No time in the file: the record ended when the file was last written.
        QDateTime mtime = QFileInfo(P(file)).lastModified();
        int64_t endGap =
            CLumoTime::GetTimeSpan(CLumoTime::FromEpochMs(mtime.toMSecsSinceEpoch()), d->GetTimeE());
        QVERIFY2(qAbs(endGap) <= 1000, qPrintable(QString("end %1 ms from the file time").arg(endGap)));
    }

    // One table for video and audio, used by the engine's index and the media library alike.
    void codecCodes_data() {
        QTest::addColumn<int>("avId");
        QTest::addColumn<int>("code");
        QTest::newRow("h264") << int(AV_CODEC_ID_H264) << int(LUMO_CODEC_H264);
        QTest::newRow("hevc") << int(AV_CODEC_ID_HEVC) << int(LUMO_CODEC_H265);
        QTest::newRow("mjpeg") << int(AV_CODEC_ID_MJPEG) << int(LUMO_CODEC_JPEG);
        QTest::newRow("mpeg4") << int(AV_CODEC_ID_MPEG4) << int(LUMO_CODEC_MPEG4);
        QTest::newRow("g711 a-law") << int(AV_CODEC_ID_PCM_ALAW) << int(LUMO_CODEC_PCMA);
        QTest::newRow("g711 mu-law") << int(AV_CODEC_ID_PCM_MULAW) << int(LUMO_CODEC_PCMU);
        QTest::newRow("g726") << int(AV_CODEC_ID_ADPCM_G726) << int(LUMO_CODEC_ADPCM);
        QTest::newRow("g726 le") << int(AV_CODEC_ID_ADPCM_G726LE) << int(LUMO_CODEC_ADPCM);
        QTest::newRow("ima adpcm") << int(AV_CODEC_ID_ADPCM_IMA_WAV) << int(LUMO_CODEC_ADPCM);
        QTest::newRow("ms adpcm") << int(AV_CODEC_ID_ADPCM_MS) << int(LUMO_CODEC_ADPCM);
        QTest::newRow("g722") << int(AV_CODEC_ID_ADPCM_G722) << int(LUMO_CODEC_ADPCM);
        QTest::newRow("mp3") << int(AV_CODEC_ID_MP3) << int(LUMO_CODEC_MP3);
        QTest::newRow("aac") << int(AV_CODEC_ID_AAC) << int(LUMO_CODEC_AAC);
        QTest::newRow("pcm s16le") << int(AV_CODEC_ID_PCM_S16LE) << int(LUMO_CODEC_PCM);
        QTest::newRow("pcm s16be") << int(AV_CODEC_ID_PCM_S16BE) << int(LUMO_CODEC_PCM);
        QTest::newRow("pcm u8") << int(AV_CODEC_ID_PCM_U8) << int(LUMO_CODEC_PCM);
        QTest::newRow("no codec") << int(AV_CODEC_ID_NONE) << int(LUMO_CODEC_NONE);
        QTest::newRow("vp9") << int(AV_CODEC_ID_VP9) << int(LUMO_CODEC_NONE);
        QTest::newRow("opus") << int(AV_CODEC_ID_OPUS) << int(LUMO_CODEC_NONE);
        QTest::newRow("unknown id") << 0x7ffffff0 << int(LUMO_CODEC_NONE);
    }
    void codecCodes() {
        QFETCH(int, avId);
        QFETCH(int, code);
        QCOMPARE(LumoAVCodecCode(avId), code);
        QCOMPARE(LumoRecordCodecFromAV(avId), code);
    }

    // The engine's index and the player describe the same file with the same codes.
    void engineAndLibraryAgree_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("video");
        QTest::addColumn<int>("audio");
        QTest::newRow("aac") << "h264.mp4" << int(LUMO_CODEC_H264) << int(LUMO_CODEC_AAC);
        QTest::newRow("a-law") << "alaw.avi" << int(LUMO_CODEC_H264) << int(LUMO_CODEC_PCMA);
        QTest::newRow("pcm u8") << "u8.avi" << int(LUMO_CODEC_MPEG4) << int(LUMO_CODEC_PCM);
        QTest::newRow("pcm s16be") << "s16be.mov" << int(LUMO_CODEC_MPEG4) << int(LUMO_CODEC_PCM);
        QTest::newRow("ms adpcm") << "msadpcm.avi" << int(LUMO_CODEC_MPEG4) << int(LUMO_CODEC_ADPCM);
    }
    void engineAndLibraryAgree() {
        QFETCH(QString, file);
        QFETCH(int, video);
        QFETCH(int, audio);
        kesto::ProbeResult probe = kesto::ProbeMediaFile(P(file).toStdString(), 5000);
        QVERIFY2(probe.readable, probe.error.c_str());
        QCOMPARE(int(probe.videoCodec), video);
        QCOMPARE(int(probe.audioCodec), audio);
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(P(file))));
        QCOMPARE(LumoRecordGetFileDesc(&list), 0);
        QCOMPARE(int(list.GetHead()->GetVideoCodec()), video);
        QCOMPARE(int(list.GetHead()->GetAudioCodec()), audio);
    }

    // A stop of the engine ends a probe at once, and says it was not the file's fault.
    void engineProbeStopsWhenAsked() {
        int asked = 0;
        kesto::ProbeResult probe =
            kesto::ProbeMediaFile(P("h264.mp4").toStdString(), 5000, [&asked] { return ++asked > 0; });
        QVERIFY(asked > 0);
        QVERIFY(probe.aborted);
        QVERIFY(!probe.readable);
        // Without the stop the same file is read in full.
        probe = kesto::ProbeMediaFile(P("h264.mp4").toStdString(), 5000, [] { return false; });
        QVERIFY(!probe.aborted);
        QVERIFY(probe.readable);
    }

    void creationTimeIsTheStart() {
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(P("stamped.mp4"))));
        QCOMPARE(LumoRecordGetFileDesc(&list), 0);
        QDateTime expected = QDateTime(QDate(2024, 5, 1), QTime(8, 30, 0), Qt::UTC).toLocalTime();
        QCOMPARE(list.GetHead()->GetTimeS().ToEpochMs(), expected.toMSecsSinceEpoch());
    }

    void givenTimesAreKept() {
        CLumoFileDescList list(1);
        CLumoFileDesc* d = Desc(FilerUri(P("h264.mp4")));
        CLumoTime s;
        QVERIFY(s.ParseISO8601("2023-01-02T03:04:05"));
        d->SetTimeS(s);
        list.Append(d);
        QCOMPARE(LumoRecordGetFileDesc(&list), 0);
        QCOMPARE(list.GetHead()->GetTimeS(), s);
        QVERIFY(list.GetHead()->GetTimeE() > s);
    }

    void badFilesGiveClearErrors_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<int>("error");
        QTest::newRow("missing") << FilerUri(dir.filePath("nothing.dav")) << int(LUMO_ERR_NOTFOUND);
        QTest::newRow("zero bytes") << FilerUri(dir.filePath("zero.dav")) << int(LUMO_ERR_EMPTY);
        QTest::newRow("not media") << FilerUri(dir.filePath("text.mp4")) << int(LUMO_ERR_FORMAT);
        QTest::newRow("folder") << FilerUri(dir.path()) << int(LUMO_ERR_NOTFOUND);
        QTest::newRow("stream") << QString("rtsp://127.0.0.1:1/x") << int(LUMO_ERR_UNSUPPORTED);
    }
    void badFilesGiveClearErrors() {
        QFETCH(QString, uri);
        QFETCH(int, error);
        // A bad file among good ones: the good ones are still filled.
        CLumoFileDescList list(1);
        list.Append(Desc(uri));
        list.Append(Desc(FilerUri(P("h264.mp4"))));
        QCOMPARE(LumoRecordGetFileDesc(&list), error);
        QCOMPARE(int(list.GetAt(1)->GetWidth()), 320);
        QVERIFY(list.GetHead()->GetTimeS().IsEmpty());
        QCOMPARE(LumoRecordGetFileDesc(nullptr), int(LUMO_ERR_PARAM));
    }
};

QTEST_MAIN(TestLumoRecord)
#include "tst_lumorecord.moc"
