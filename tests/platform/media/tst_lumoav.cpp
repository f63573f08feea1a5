// The media layer's codec helpers: telling, before decoding, which pictures no other picture
// refers to (a player that falls behind leaves those undecoded first).
#include <QTemporaryDir>
#include <QtTest>
#include "testsupport.h"

#include "LumoAV/LumoAV.h"
#include "LumoAV/LumoAVPtr.h"
#include "mediafixture.h"

using namespace mediafixture;

namespace {

struct Count {
    int packets = 0;       // video packets
    int nonReference = 0;  // of them, told apart as non-reference
    int decoded = 0;       // pictures out of a decoder told to skip non-reference ones itself
};

// Reads the file with FFmpeg alone: our verdict per packet, and the decoder's own.
bool CountPictures(const QString& path, Count* c) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0) return false;
    lumoav::InputPtr in(raw);
    if (avformat_find_stream_info(in.get(), nullptr) < 0) return false;
    const int v = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0) return false;
    const AVCodecParameters* par = in->streams[v]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    lumoav::CodecContextPtr dec(avcodec_alloc_context3(codec));
    if (!dec || avcodec_parameters_to_context(dec.get(), par) < 0) return false;
    dec->thread_count = 1;
    dec->skip_frame = AVDISCARD_NONREF;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0) return false;
    lumoav::PacketPtr pkt = lumoav::MakePacket();
    lumoav::FramePtr frame = lumoav::MakeFrame();
    auto drain = [&] {
        while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
            c->decoded++;
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == v) {
            c->packets++;
            if (LumoAVIsNonReference(par, pkt.get())) c->nonReference++;
            avcodec_send_packet(dec.get(), pkt.get());
            drain();
        }
        av_packet_unref(pkt.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    drain();
    return true;
}

}  // namespace

class TestLumoAV : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the fixtures");
        QVERIFY(dir.isValid());
    }

    // Our verdict agrees with the decoder's own: what it skips as non-reference is exactly what
    // we told apart, in length-prefixed (MP4) and start-code (MPEG-TS) streams alike.
    void nonReferencePictures_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<bool>("some");  // whether the stream has any
        const QStringList h264 = H264(50);
        QTest::newRow("h264 with B-frames, mp4") << "b.mp4" << h264 + QStringList{"-bf", "3"} << true;
        QTest::newRow("h264 with B-frames, dav")
            << "b.dav" << h264 + QStringList{"-bf", "3", "-f", "mpegts"} << true;
        QTest::newRow("h264 with B-pyramid, mp4")
            << "pyramid.mp4" << h264 + QStringList{"-bf", "3", "-x264-params", "b-pyramid=normal"} << true;
        QTest::newRow("h264 without B-frames") << "p.mp4" << h264 << false;
        QTest::newRow("mpeg4 with B-frames, dav")
            << "m.dav" << Mpeg4(50) + QStringList{"-bf", "2", "-f", "mpegts"} << true;
        QTest::newRow("mpeg4 without B-frames, avi") << "m.avi" << Mpeg4(50) << false;
    }
    void nonReferencePictures() {
        QFETCH(QString, file);
        QFETCH(QStringList, codec);
        QFETCH(bool, some);
        const QString path = dir.filePath(file);
        QVERIFY(Ffmpeg(Source(3, "320x240", 25, false) + codec, path));
        Count c;
        QVERIFY(CountPictures(path, &c));
        QCOMPARE(c.packets, 75);
        QCOMPARE(c.nonReference > 0, some);
        QCOMPARE(c.decoded, c.packets - c.nonReference);
    }

    void keyFramesAndOtherCodecsAreNeverNonReference() {
        AVCodecParameters par{};
        par.codec_id = AV_CODEC_ID_H264;
        uint8_t slice[] = {0, 0, 0, 1, 0x01, 0x88, 0x84};  // a slice of reference index 0
        AVPacket pkt{};
        pkt.data = slice;
        pkt.size = int(sizeof(slice));
        QVERIFY(LumoAVIsNonReference(&par, &pkt));
        pkt.flags = AV_PKT_FLAG_KEY;
        QVERIFY(!LumoAVIsNonReference(&par, &pkt));
        pkt.flags = 0;
        par.codec_id = AV_CODEC_ID_MJPEG;
        QVERIFY(!LumoAVIsNonReference(&par, &pkt));
        QVERIFY(!LumoAVIsNonReference(nullptr, &pkt));
        par.codec_id = AV_CODEC_ID_H264;
        slice[4] = 0x41;  // the same slice, now a reference
        QVERIFY(!LumoAVIsNonReference(&par, &pkt));
    }
};

QTEST_MAIN(TestLumoAV)
#include "tst_lumoav.moc"
