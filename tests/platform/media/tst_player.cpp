// End-to-end tests of the media library's player on generated files: painting, pause, speed,
// seeking, snapshots, list events and bad input.
#include <QImage>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#include <atomic>
#include <memory>
#include <mutex>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "LumoCore/LumoCore.h"
#include "audioout.h"
#include "LumoRecord/LumoRecord.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "mediafixture.h"
#include "pictureout.h"
#include "testsupport.h"

extern "C" {
#include <libswscale/swscale.h>
}

using namespace mediafixture;

namespace {

struct EventLog : CLumoObject {
    std::mutex m;
    QList<int> codes;
    QStringList nextUris;
    QList<int> loginResults;
    QList<int> failedResults;  // LUMO_EVENT_FILE_FAILED, in order
    QStringList failedUris;
    QList<int> endResults;  // LUMO_EVENT_END_OF_LIST's p2
    std::atomic<int> fromOtherThread{0};
    QThread* gui = nullptr;
};

int OnPlayerEvent(CLumoObject* owner, int code, void*, void* p1, void* p2) {
    auto* log = static_cast<EventLog*>(owner);
    std::lock_guard<std::mutex> lock(log->m);
    log->codes << code;
    if (QThread::currentThread() != log->gui) log->fromOtherThread++;
    if (code == LUMO_EVENT_NEXT_FILE && p1)
        log->nextUris << QString::fromUtf8(static_cast<const CLumoFileDesc*>(p1)->GetURI());
    if (code == LUMO_EVENT_LOGIN && p1) log->loginResults << static_cast<const LumoLoginEvent*>(p1)->result;
    if (code == LUMO_EVENT_FILE_FAILED && p1) {
        const auto* ev = static_cast<const LumoFileFailedEvent*>(p1);
        log->failedResults << ev->result;
        log->failedUris << QString::fromUtf8(ev->file->GetURI());
    }
    if (code == LUMO_EVENT_END_OF_LIST) log->endResults << int(reinterpret_cast<intptr_t>(p2));
    return 0;
}

// Stops its player from the player's own next-file report, and opens and starts it again there
// until it has done so `wanted` times.
struct Restarter : CLumoObject {
    CLumoFileDescList* list = nullptr;
    void* task = nullptr;
    int wanted = 0;
    std::atomic<int> restarts{0};
    std::atomic<int> failures{0};
    std::atomic<int> mostDecoding{0};  // decode threads of the player seen in a report
    std::atomic<int> mostNice{-100};   // the lowest priority a report's thread (a decode thread) had
    std::atomic<bool> done{false};
};

int RestartOnNextFile(CLumoObject* owner, int code, void* sender, void*, void*) {
    auto* r = static_cast<Restarter*>(owner);
    if (code != LUMO_EVENT_NEXT_FILE || r->done) return 0;
    LumoPlayerStats s;
    LumoPlayerGetStats(sender, &s);
    if (s.decodeThreads > r->mostDecoding) r->mostDecoding = s.decodeThreads;
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
    if (errno == 0 && nice > r->mostNice) r->mostNice = nice;
    if (r->restarts == r->wanted) {
        // The last stop comes at normal speed: a player that went on decoding would be seen.
        LumoPlayerTaskSetSpeed(r->task, 1);
        if (LumoPlayerStop(sender) != 0) r->failures++;
        r->done = true;
        return 0;
    }
    if (LumoPlayerStop(sender) != 0 || LumoPlayerOpenFile(sender, r->list) != 0 ||
        LumoPlayerStart(sender) != 0)
        r->failures++;
    r->restarts++;
    return 0;
}

// The pixel at the middle of a picture.
QRgb Middle(const QImage& img) {
    return img.convertToFormat(QImage::Format_RGB32).pixel(img.width() / 2, img.height() / 2);
}

bool Near(QRgb a, QRgb b, int tolerance) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString RgbText(QRgb c) {
    return QString("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

// Share of pixels that are clearly not black.
double LitShare(const QImage& img) {
    if (img.isNull()) return 0.0;
    QImage s = img.convertToFormat(QImage::Format_RGB32);
    int lit = 0, total = 0;
    for (int y = 0; y < s.height(); y += 4)
        for (int x = 0; x < s.width(); x += 4) {
            QRgb c = s.pixel(x, y);
            ++total;
            if (qRed(c) + qGreen(c) + qBlue(c) > 60) ++lit;
        }
    return total ? double(lit) / total : 0.0;
}

int64_t OffsetMs(void* player, const CLumoTime& start) {
    CLumoTime now;
    if (LumoPlayerGetPlaybackTime(player, &now) != 0) return -1;
    return CLumoTime::GetTimeSpan(now, start);
}

bool Settled(void* player) {
    int s = 0;
    return LumoPlayerGetState(player, &s) == 0 && !(s & LUMO_STATE_BUSY);
}

// A 4:2:0 frame of `size` showing `picture` (scaled to it), with the given matrix and range, as a
// decoder gives it (full range as the JPEG format).
lumoav::FramePtr YuvFrame(const QImage& picture, const QSize& size, AVColorSpace space, bool fullRange) {
    const QImage rgb = picture.scaled(size).convertToFormat(QImage::Format_RGB32);
    lumoav::FramePtr f = lumoav::MakeFrame();
    f->format = fullRange ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    f->width = size.width();
    f->height = size.height();
    f->colorspace = space;
    f->color_range = fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    if (av_frame_get_buffer(f.get(), 64) < 0) return nullptr;
    lumoav::SwsPtr sws(sws_getContext(size.width(), size.height(), AV_PIX_FMT_BGRA, size.width(), size.height(),
                                      AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr));
    if (!sws) return nullptr;
    const int matrix = space == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : int(space);
    sws_setColorspaceDetails(sws.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(matrix),
                             fullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
    const uint8_t* src[4] = {rgb.constBits(), nullptr, nullptr, nullptr};
    const int stride[4] = {int(rgb.bytesPerLine()), 0, 0, 0};
    if (sws_scale(sws.get(), src, stride, 0, size.height(), f->data, f->linesize) != size.height()) return nullptr;
    return f;
}

}  // namespace

class TestPlayer : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString clipMp4;  // 8 s, H.264 + AAC, 25 fps, key frame every second
    QString clipDav;  // 8 s, MPEG-4 part 2 in MPEG-TS (our record container), 25 fps
    QString shortA;   // 1 s
    QString shortB;   // 1 s
    QWidget* host = nullptr;
    INFRA::VideoDisplayPanel* panel = nullptr;
    void* task = nullptr;

    QString P(const QString& name) const { return dir.filePath(name); }

    // A player on cell 0 of the panel, open on the given files (times probed).
    void* OpenOn(const QStringList& paths, CLumoFileDescList* keep = nullptr) {
        panel->CreatePlayerWnd(0);
        void* player = nullptr;
        if (LumoPlayerCreate(&player, panel->GetPlayerWnd(0), task) != 0) return nullptr;
        CLumoFileDescList list(1);
        for (const QString& p : paths) list.Append(Desc(FilerUri(p)));
        LumoRecordGetFileDesc(&list);
        if (keep) *keep = list;
        if (LumoPlayerOpenFile(player, &list) != 0) {
            LumoPlayerClose(player);
            return nullptr;
        }
        return player;
    }

    // Starts the player as the record player does (start, then seek to the file's start) and
    // holds the first picture; the picture the window was given.
    QImage FirstPicture(void* player, const CLumoTime& start) {
        INFRA::VideoGrid* grid = panel->GetIndexGrid(0);
        grid->SetStop(false);
        grid->DelegatePainting(player);
        if (LumoPlayerStart(player) != 0 || LumoPlayerSeekTime(player, start) != 0 ||
            LumoPlayerPause(player) != 0)
            return QImage();
        QElapsedTimer t;
        t.start();
        while (!(Settled(player) && !grid->GetVideoWindow()->CurrentFrame().isNull()) && t.elapsed() < 15000)
            QTest::qWait(10);
        return grid->GetVideoWindow()->CurrentFrame();
    }

    // The snapshot of the shown picture, read back.
    QImage Snapshot(void* player, const QString& format, int code, QString* saved = nullptr) {
        const QString folder = P("snapshots");
        const QString url = QString("filew://local/type=pic&format=%1&pathname=%2").arg(format, folder);
        CLumoString path;
        if (LumoPlayerSnapshot(player, 0, CLumoString(url.toUtf8().constData()), &path, code) != 0)
            return QImage();
        if (saved) *saved = QString::fromUtf8(path.GetBuffer());
        return QImage(QString::fromUtf8(path.GetBuffer()));
    }

    // Attaches the log to the player and starts it at the given speed.
    int StartListened(void* player, EventLog* log, ILumoCallback* cb, int speed) {
        log->gui = QThread::currentThread();
        const int r = LumoPlayerAttachStream(player, cb, &ILumoCallback::OnSignal);
        if (r != 0) return r;
        LumoPlayerTaskSetSpeed(task, speed);
        return LumoPlayerStart(player);
    }

    void Finish(void* player) {
        panel->GetIndexGrid(0)->DelegatePainting(nullptr);
        LumoPlayerStop(player);
        LumoPlayerClose(player);
        LumoPlayerTaskSetSpeed(task, 1);
    }

private slots:
    void initTestCase() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the fixtures");
        QVERIFY(dir.isValid());
        clipMp4 = P("clip.mp4");
        clipDav = P("clip.dav");
        shortA = P("a.mp4");
        shortB = P("b.mp4");
        QVERIFY(Ffmpeg(Source(8) + H264() + Aac(), clipMp4));
        QVERIFY(Ffmpeg(Source(8, "320x240", 25, false) + Mpeg4() + QStringList{"-f", "mpegts"}, clipDav));
        QVERIFY(Ffmpeg(Source(1, "160x120") + H264() + Aac(), shortA));
        QVERIFY(Ffmpeg(Source(1, "160x120") + H264() + Aac(), shortB));
        LumoCoreInitialize(nullptr);
        LumoCoreSetTimeouts(1500, 1500);
        host = new QWidget();
        host->resize(400, 300);
        panel = new INFRA::VideoDisplayPanel(host);
        panel->SetGridLayout(1, 1, -1, -1);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host));
        QCOMPARE(LumoPlayerTaskCreate(&task, 1), 0);
    }

    void cleanupTestCase() {
        LumoCoreInvalidate();
        LumoPlayerTaskDelete(task);
        delete host;
    }

    void playPaintsFrames() {
        void* player = OpenOn({clipMp4});
        QVERIFY(player);
        QCOMPARE(LumoPlayerStart(player), 0);
        INFRA::VideoGrid* grid = panel->GetIndexGrid(0);
        grid->SetStop(false);
        grid->DelegatePainting(player);
        QTRY_VERIFY_WITH_TIMEOUT(LitShare(grid->GetPlayerWnd()->grab().toImage()) > 0.3, 15000);
        int state = 0;
        QCOMPARE(LumoPlayerGetState(player, &state), 0);
        QVERIFY(state & LUMO_STATE_OPEN);
        QVERIFY(state & LUMO_STATE_PLAYING);
        int w = 0, h = 0;
        QCOMPARE(LumoPlayerGetVideoSize(player, &w, &h), 0);
        QCOMPARE(w, 320);
        QCOMPARE(h, 240);

        // A stopped cell paints black again.
        grid->StopVideo();
        grid->ResetDisplay();
        QTRY_VERIFY_WITH_TIMEOUT(LitShare(grid->GetPlayerWnd()->grab().toImage()) < 0.01, 15000);
        Finish(player);
    }

    void pauseHoldsAndResumeGoesOn() {
        CLumoFileDescList list;
        void* player = OpenOn({clipMp4}, &list);
        QVERIFY(player);
        const CLumoTime start = list.GetHead()->GetTimeS();
        QCOMPARE(LumoPlayerStart(player), 0);
        QTRY_VERIFY_WITH_TIMEOUT(OffsetMs(player, start) > 300, 15000);
        QCOMPARE(LumoPlayerPause(player), 0);
        int state = 0;
        LumoPlayerGetState(player, &state);
        QVERIFY(state & LUMO_STATE_PAUSED);
        QVERIFY(!(state & LUMO_STATE_PLAYING));
        // Paused while playing, it may still show the picture it had in hand as the pause came
        // (one, however late its thread runs), and then holds: the position changes once at most.
        int changes = 0;
        int64_t last = OffsetMs(player, start);
        QElapsedTimer watch;
        watch.start();
        while (watch.elapsed() < 600) {
            QTest::qWait(20);
            const int64_t at = OffsetMs(player, start);
            if (at != last) ++changes;
            last = at;
        }
        QVERIFY2(changes <= 1, qPrintable(QString("a paused player moved %1 times, to %2 ms").arg(changes).arg(last)));

        // Paused on a picture it has landed on (nothing is in hand after a seek), it does not move.
        CLumoTime target = start;
        target.Add(2000);
        QCOMPARE(LumoPlayerSeekTime(player, target), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Settled(player), 10000);
        const int64_t held = OffsetMs(player, start);
        QTest::qWait(300);
        QCOMPARE(OffsetMs(player, start), held);

        // A frame step moves one picture and stays paused.
        QCOMPARE(LumoPlayerStep(player), 0);
        QTRY_VERIFY_WITH_TIMEOUT(OffsetMs(player, start) > held, 10000);
        const int64_t stepped = OffsetMs(player, start);
        QVERIFY2(stepped - held <= 80, qPrintable(QString("step moved %1 ms").arg(stepped - held)));
        QTest::qWait(300);
        QCOMPARE(OffsetMs(player, start), stepped);
        LumoPlayerGetState(player, &state);
        QVERIFY(state & LUMO_STATE_PAUSED);

        QCOMPARE(LumoPlayerResume(player), 0);
        QTRY_VERIFY_WITH_TIMEOUT(OffsetMs(player, start) > stepped + 300, 10000);
        Finish(player);
    }

    // The pace is checked against the clock the player paces itself by (the monotonic clock), so
    // that it holds however busy the machine is. A player never shows a picture before it is due:
    // from its start call on, it is never further into the file than the speed allows (a load
    // only holds it back, and one that falls behind drops the lost time rather than rushing to
    // make it up). And in some window of two seconds it keeps up with the speed to within a
    // quarter: a machine that holds it back now and then leaves it such a window sooner or later,
    // while a player that ignores the speed, or takes the next one, never has one.
    void speedChangesThePace_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<double>("rate");
        QTest::newRow("normal") << 1 << 1.0;
        QTest::newRow("twice") << 2 << 2.0;
        QTest::newRow("4 times") << 4 << 4.0;
        QTest::newRow("8 times") << 8 << 8.0;
        QTest::newRow("half") << -2 << 0.5;
        QTest::newRow("quarter") << -4 << 0.25;
    }
    void speedChangesThePace() {
        QFETCH(int, code);
        QFETCH(double, rate);
        // Long and cheap to decode: 8 times lasts 15 s of the clock, and a loaded machine keeps up.
        const int64_t lengthMs = 120000;
        const QString file = P("pace.mp4");
        if (!QFile::exists(file)) QVERIFY(Ffmpeg(Source(lengthMs / 1000, "160x120", 25, false) + H264(), file));
        CLumoFileDescList list;
        void* player = OpenOn({file}, &list);
        QVERIFY(player);
        const CLumoTime start = list.GetHead()->GetTimeS();
        // The speed lives on the task: set before the start, it holds from the first picture.
        QCOMPARE(LumoPlayerTaskSetSpeed(task, code), 0);
        struct Sample {
            double before, after;  // ms of the clock since the start call, around the reading
            int64_t offsetMs;      // where the player was in the file
        };
        QElapsedTimer clock;
        auto now = [&clock] { return double(clock.nsecsElapsed()) / 1e6; };
        clock.start();
        QCOMPARE(LumoPlayerStart(player), 0);
        const double windowMs = 2000, keepUp = 0.75;
        const int64_t slackMs = 120;  // where the first picture lies, and a picture's length
        std::vector<Sample> samples;
        bool keptUp = false;
        QString best = "none";
        double bestShare = 0;
        while (!keptUp && clock.elapsed() < 30000) {
            Sample s;
            s.before = now();
            s.offsetMs = OffsetMs(player, start);
            s.after = now();
            QVERIFY2(s.offsetMs <= int64_t(rate * s.after) + slackMs,
                     qPrintable(QString("speed %1: %2 ms into the file %3 ms after the start")
                                    .arg(code)
                                    .arg(s.offsetMs)
                                    .arg(s.after, 0, 'f', 0)));
            if (s.offsetMs > lengthMs - 2000) break;  // near the end: the file is over
            for (const Sample& e : samples) {
                if (s.before - e.after < windowMs) break;
                // The longest the window can have been, against the media time it gave.
                const double share = double(s.offsetMs - e.offsetMs) / (rate * (s.after - e.before));
                if (share > bestShare) {
                    bestShare = share;
                    best = QString("%1 ms of video in %2 ms").arg(s.offsetMs - e.offsetMs).arg(s.after - e.before, 0, 'f', 0);
                }
                if (share >= keepUp) keptUp = true;
            }
            samples.push_back(s);
            QTest::qWait(20);
        }
        QVERIFY2(keptUp, qPrintable(QString("speed %1 never kept up; best window: %2").arg(code).arg(best)));
        int speed = 0;
        QCOMPARE(LumoPlayerGetSpeed(player, &speed), 0);
        QCOMPARE(speed, code);
        Finish(player);
    }

    void speedCodesAreChecked() {
        for (int bad : {0, -1, 3, 32, -32, 5})
            QCOMPARE(LumoPlayerTaskSetSpeed(task, bad), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPlayerTaskGetSpeed(task), 1);
        QCOMPARE(LumoPlayerTaskGetSpeed(nullptr), 1);
        // The speed survives a stop and a new open on the same task.
        QCOMPARE(LumoPlayerTaskSetSpeed(task, -8), 0);
        void* player = OpenOn({shortA});
        QVERIFY(player);
        LumoPlayerStop(player);
        QCOMPARE(LumoPlayerTaskGetSpeed(task), -8);
        Finish(player);
    }

    void seekLandsOnTheAskedTime_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("offsetMs");
        QTest::newRow("mp4 start") << "clip.mp4" << 0;
        QTest::newRow("mp4 on a key frame") << "clip.mp4" << 3000;
        QTest::newRow("mp4 between key frames") << "clip.mp4" << 2520;
        QTest::newRow("mp4 near the end") << "clip.mp4" << 7480;
        QTest::newRow("ts 1 s") << "clip.dav" << 1000;
        QTest::newRow("ts between key frames") << "clip.dav" << 4760;
        QTest::newRow("ts back to the start") << "clip.dav" << 40;
    }
    void seekLandsOnTheAskedTime() {
        QFETCH(QString, file);
        QFETCH(int, offsetMs);
        CLumoFileDescList list;
        void* player = OpenOn({P(file)}, &list);
        QVERIFY(player);
        const CLumoTime start = list.GetHead()->GetTimeS();
        QCOMPARE(LumoPlayerStart(player), 0);
        QTRY_VERIFY_WITH_TIMEOUT(OffsetMs(player, start) > 200, 15000);
        LumoPlayerPause(player);
        CLumoTime target = start;
        target.Add(offsetMs);
        QCOMPARE(LumoPlayerSeekTime(player, target), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Settled(player), 15000);
        int64_t landed = OffsetMs(player, start);
        QVERIFY2(qAbs(landed - offsetMs) <= 40,
                 qPrintable(QString("asked %1 ms, landed on %2 ms").arg(offsetMs).arg(landed)));
        // Paused after a seek: the picture of that time stays.
        QTest::qWait(200);
        QCOMPARE(OffsetMs(player, start), landed);
        Finish(player);
    }

    // The record player opens, starts and then seeks to the file's own start: whatever the
    // container and however far apart its key frames, the first picture is the file's first.
    void playsFromTheFirstFrame_data() {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("gop");
        QTest::newRow("dav, key frame every 25") << "dav"
                                                 << "mpeg4" << 25;
        QTest::newRow("dav, key frame every 100") << "dav"
                                                  << "mpeg4" << 100;
        QTest::newRow("dav, key frame every 250") << "dav"
                                                  << "mpeg4" << 250;
        QTest::newRow("dav, one key frame") << "dav"
                                            << "mpeg4" << 1000;
        QTest::newRow("dav h264, key frame every 100") << "dav"
                                                       << "h264" << 100;
        QTest::newRow("dav h264, one key frame") << "dav"
                                                 << "h264" << 1000;
        QTest::newRow("mp4, key frame every 25") << "mp4"
                                                 << "h264" << 25;
        QTest::newRow("mp4, key frame every 100") << "mp4"
                                                  << "h264" << 100;
        QTest::newRow("mp4, key frame every 250") << "mp4"
                                                  << "h264" << 250;
        QTest::newRow("mp4, one key frame") << "mp4"
                                            << "h264" << 1000;
    }
    void playsFromTheFirstFrame() {
        QFETCH(QString, container);
        QFETCH(QString, codec);
        QFETCH(int, gop);
        const QString file = P(QString("numbered_%1_%2.%3").arg(codec).arg(gop).arg(container));
        if (!QFile::exists(file)) {
            // B-frames, as cameras send them: the key frame is not the first packet by time stamp.
            QStringList args = NumberedSource(12) + (codec == "h264" ? H264(gop) : Mpeg4(gop)) +
                               QStringList{"-bf", "2", "-sc_threshold", "0"};
            if (container == "dav")
                args << "-f"
                     << "mpegts";
            QVERIFY(Ffmpeg(args, file));
        }
        CLumoFileDescList list;
        void* player = OpenOn({file}, &list);
        QVERIFY(player);
        const CLumoTime start = list.GetHead()->GetTimeS();
        INFRA::VideoWindow* window = panel->GetIndexGrid(0)->GetVideoWindow();
        panel->GetIndexGrid(0)->SetStop(false);
        panel->GetIndexGrid(0)->DelegatePainting(player);
        QCOMPARE(LumoPlayerStart(player), 0);
        QCOMPARE(LumoPlayerSeekTime(player, start), 0);
        QCOMPARE(LumoPlayerPause(player), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Settled(player) && FrameNumberOf(window->CurrentFrame()) >= 0, 15000);
        QCOMPARE(FrameNumberOf(window->CurrentFrame()), 0);
        QCOMPARE(OffsetMs(player, start), int64_t(0));
        int state = 0;
        LumoPlayerGetState(player, &state);
        QVERIFY(!(state & LUMO_STATE_END));
        // ... and it plays on from there.
        QCOMPARE(LumoPlayerResume(player), 0);
        QTRY_VERIFY_WITH_TIMEOUT(FrameNumberOf(window->CurrentFrame()) >= 10, 15000);
        Finish(player);
    }

    // Widths and heights that are odd or no multiple of 8, 16 or 32: the conversion for the
    // window (at the video's size in a large window, scaled down in a small one) and for the
    // snapshot must stay inside the picture's memory (the address sanitizer build checks it) and
    // give the picture itself.
    void oddPictureSizes_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("pixels");
        QTest::addColumn<QSize>("window");
        const QSize large(1000, 800), small(160, 120);
        const struct {
            int w, h;
            const char* pixels;
        } sizes[] = {{636, 358, "yuv420p"},   {638, 360, "yuv420p"}, {333, 199, "yuv444p"},
                     {1918, 1078, "yuv420p"}, {176, 144, "yuv420p"}, {98, 54, "yuv420p"}};
        for (const auto& z : sizes)
            for (const QSize& w : {large, small})
                QTest::addRow("%dx%d %s, window %dx%d", z.w, z.h, z.pixels, w.width(), w.height())
                    << QSize(z.w, z.h) << QString(z.pixels) << w;
    }
    void oddPictureSizes() {
        QFETCH(QSize, size);
        QFETCH(QString, pixels);
        QFETCH(QSize, window);
        const QString file = P(QString("odd_%1x%2.mp4").arg(size.width()).arg(size.height()));
        if (!QFile::exists(file))
            QVERIFY(Ffmpeg(NumberedSource(1, QString("%1x%2").arg(size.width()).arg(size.height())) + H264() +
                               QStringList{"-pix_fmt", pixels},
                           file));
        host->resize(window);
        QCoreApplication::processEvents();
        CLumoFileDescList list;
        void* player = OpenOn({file}, &list);
        QVERIFY(player);
        const QImage shown = FirstPicture(player, list.GetHead()->GetTimeS());
        QVERIFY(!shown.isNull());
        QCOMPARE(FrameNumberOf(shown), 0);
        // The window paints the picture (a grab paints it) without reading outside it.
        QVERIFY(!panel->GetPlayerWnd(0)->grab().isNull());
        const QImage saved = Snapshot(player, "bmp", LUMO_PICTURE_BMP);
        QCOMPARE(saved.size(), size);
        QCOMPARE(FrameNumberOf(saved), 0);
        Finish(player);
        host->resize(400, 300);
    }

    // Pictures converted to a view's size, the fast way included (views among many), keep the
    // colours and the layout of the frame: a four-coloured frame gives the same four colours in
    // the same quarters, at the asked size, whatever the frame's size, matrix and range.
    void shrunkPicturesKeepColoursAndLayout_data() {
        QTest::addColumn<QSize>("video");
        QTest::addColumn<QSize>("out");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("space");
        QTest::addRow("720p to a 4x4 view") << QSize(1280, 720) << QSize(480, 270) << int(AV_PIX_FMT_YUV420P)
                                            << int(AVCOL_SPC_BT709);
        QTest::addRow("1080p to a 4x4 view") << QSize(1920, 1080) << QSize(480, 270) << int(AV_PIX_FMT_YUV420P)
                                             << int(AVCOL_SPC_BT709);
        QTest::addRow("1080p to a 2x2 view, full range")
            << QSize(1920, 1080) << QSize(960, 540) << int(AV_PIX_FMT_YUVJ420P) << int(AVCOL_SPC_UNSPECIFIED);
        QTest::addRow("4:3 to an 8th") << QSize(640, 480) << QSize(80, 60) << int(AV_PIX_FMT_YUV420P)
                                       << int(AVCOL_SPC_SMPTE170M);
        QTest::addRow("odd sizes") << QSize(1279, 719) << QSize(481, 271) << int(AV_PIX_FMT_YUV420P)
                                   << int(AVCOL_SPC_BT709);
        QTest::addRow("a little smaller") << QSize(1280, 720) << QSize(960, 540) << int(AV_PIX_FMT_YUV420P)
                                          << int(AVCOL_SPC_BT709);
    }
    void shrunkPicturesKeepColoursAndLayout() {
        QFETCH(QSize, video);
        QFETCH(QSize, out);
        QFETCH(int, format);
        QFETCH(int, space);
        const QRgb colours[4] = {qRgb(112, 64, 32), qRgb(40, 160, 200), qRgb(220, 220, 40), qRgb(90, 30, 150)};
        QImage picture(64, 36, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, colours[(y * 2 / picture.height()) * 2 + x * 2 / picture.width()]);
        const bool fullRange = format == AV_PIX_FMT_YUVJ420P;
        const lumoav::FramePtr f = YuvFrame(picture, video, AVColorSpace(space), fullRange);
        QVERIFY(f);
        lumocore::PictureConverter converter;
        for (const bool fast : {true, false}) {
            // Twice each: the second goes through the kept conversion.
            for (int round = 0; round < 2; ++round) {
                const QImage img = converter.Convert(f.get(), out.width(), out.height(), fast);
                QCOMPARE(img.size(), out);
                for (int q = 0; q < 4; ++q) {
                    // The middle of each quarter, and a point a few pixels from the dividing lines.
                    const int qx = q % 2, qy = q / 2;
                    const QPoint middle(out.width() * (1 + 2 * qx) / 4, out.height() * (1 + 2 * qy) / 4);
                    const QPoint nearEdge(qx ? out.width() / 2 + 3 : out.width() / 2 - 4,
                                          qy ? out.height() / 2 + 3 : out.height() / 2 - 4);
                    for (const QPoint& at : {middle, nearEdge}) {
                        const QRgb c = img.pixel(at);
                        QVERIFY2(Near(c, colours[q], 10), qPrintable(QString("fast %1, quarter %2 at (%3, %4): %5")
                                                                         .arg(fast)
                                                                         .arg(q)
                                                                         .arg(at.x())
                                                                         .arg(at.y())
                                                                         .arg(RgbText(c))));
                    }
                }
            }
        }
    }

    // Pictures reuse the buffers of pictures the window has let go of, never one still shown:
    // each picture keeps its own colours while later ones are made, at the same size or at
    // another, and after the converter itself is gone.
    void convertedPicturesKeepTheirBuffers() {
        const QRgb colours[3] = {qRgb(200, 40, 40), qRgb(40, 60, 210), qRgb(40, 190, 60)};
        std::vector<lumoav::FramePtr> frames;
        for (const QRgb c : colours) {
            QImage solid(16, 16, QImage::Format_RGB32);
            solid.fill(c);
            frames.push_back(YuvFrame(solid, QSize(1280, 720), AVCOL_SPC_BT709, false));
            QVERIFY(frames.back());
        }
        auto colourOf = [](const QImage& img) { return img.pixel(img.width() / 2, img.height() / 2); };
        auto converter = std::make_unique<lumocore::PictureConverter>();
        std::vector<QImage> kept;  // the last picture of each round, as a window keeps its last
        for (int round = 0; round < 4; ++round) {
            const QSize size = round == 2 ? QSize(960, 540) : QSize(480, 270);
            std::vector<QImage> made;
            for (int i = 0; i < 3; ++i) {
                made.push_back(converter->Convert(frames[size_t(i)].get(), size.width(), size.height(), true));
                QCOMPARE(made.back().size(), size);
            }
            for (int i = 0; i < 3; ++i)
                QVERIFY2(Near(colourOf(made[size_t(i)]), colours[i], 10),
                         qPrintable(QString("round %1, picture %2").arg(round).arg(i)));
            kept.push_back(made.back());
        }
        converter.reset();
        for (const QImage& img : kept) QVERIFY2(Near(colourOf(img), colours[2], 10), qPrintable(RgbText(colourOf(img))));
        QCOMPARE(kept[2].size(), QSize(960, 540));
    }

    // A view resized while playing gets pictures of its new size: smaller ones when it shrinks,
    // the video's own size again when it grows back, the proportions kept.
    void viewResizedWhilePlayingGetsPicturesOfItsSize() {
        const QString file = P("resize_640x360.mp4");
        QVERIFY(Ffmpeg(NumberedSource(6, "640x360") + H264(), file));
        host->resize(700, 400);
        CLumoFileDescList list;
        void* player = OpenOn({file}, &list);
        QVERIFY(player);
        INFRA::VideoGrid* grid = panel->GetIndexGrid(0);
        grid->SetStop(false);
        grid->DelegatePainting(player);
        QCOMPARE(LumoPlayerStart(player), 0);
        INFRA::VideoWindow* window = grid->GetVideoWindow();
        QTRY_COMPARE_WITH_TIMEOUT(window->CurrentFrame().size(), QSize(640, 360), 15000);
        for (const QSize& hostSize : {QSize(240, 200), QSize(330, 180), QSize(700, 400)}) {
            host->resize(hostSize);
            QTRY_VERIFY_WITH_TIMEOUT(window->isVisible() && window->size().width() <= hostSize.width(), 15000);
            const QSize video(640, 360);
            const QSize wanted = lumocore::DisplayConversionSize(
                video, INFRA::VideoWindow::FrameSinkOf(window)->ShownSize(video));
            QVERIFY(wanted.width() <= window->width() + 16);
            QTRY_COMPARE_WITH_TIMEOUT(window->CurrentFrame().size(), wanted, 15000);
            const QImage got = window->CurrentFrame();
            QVERIFY2(qAbs(double(got.width()) / got.height() - 16.0 / 9.0) < 0.05,
                     qPrintable(QString("%1x%2").arg(got.width()).arg(got.height())));
            QVERIFY(FrameNumberOf(got) >= 0);
        }
        Finish(player);
        host->resize(400, 300);
    }

    // Every pixel format a decoder gives goes through the one conversion, for the window and the
    // snapshot alike: a dark brown picture stays that colour, whatever its format and range.
    void everyPixelFormatKeepsItsColours_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("codec");
        QTest::newRow("h264 4:2:0") << "c420.mp4" << QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p"};
        QTest::newRow("h264 4:2:2") << "c422.mp4" << QStringList{"-c:v", "libx264", "-pix_fmt", "yuv422p"};
        QTest::newRow("h264 4:4:4") << "c444.mp4" << QStringList{"-c:v", "libx264", "-pix_fmt", "yuv444p"};
        QTest::newRow("h264 full range")
            << "cj420.mp4" << QStringList{"-c:v", "libx264", "-pix_fmt", "yuvj420p"};
        QTest::newRow("h264 10 bits")
            << "c10.mp4" << QStringList{"-c:v", "libx264", "-pix_fmt", "yuv420p10le"};
        QTest::newRow("mjpeg 4:2:2") << "cj422.avi"
                                     << QStringList{"-c:v", "mjpeg", "-q:v", "2", "-pix_fmt", "yuvj422p"};
        QTest::newRow("mjpeg 4:4:4") << "cj444.avi"
                                     << QStringList{"-c:v", "mjpeg", "-q:v", "2", "-pix_fmt", "yuvj444p"};
        QTest::newRow("mpeg4 in dav")
            << "c4.dav" << QStringList{"-c:v", "mpeg4", "-q:v", "2", "-f", "mpegts"};
    }
    void everyPixelFormatKeepsItsColours() {
        QFETCH(QString, file);
        QFETCH(QStringList, codec);
        const QRgb brown = qRgb(112, 64, 32);
        if (!QFile::exists(P(file)))
            QVERIFY(Ffmpeg(
                QStringList{"-f", "lavfi", "-i", "color=c=0x704020:size=320x240:rate=25", "-t", "1"} + codec,
                P(file)));
        CLumoFileDescList list;
        void* player = OpenOn({P(file)}, &list);
        QVERIFY(player);
        const QImage shown = FirstPicture(player, list.GetHead()->GetTimeS());
        QVERIFY(!shown.isNull());
        QVERIFY2(Near(Middle(shown), brown, 8), qPrintable("shown " + RgbText(Middle(shown))));
        for (const auto& f : {std::make_pair(QString("bmp"), int(LUMO_PICTURE_BMP)),
                              std::make_pair(QString("jpg"), int(LUMO_PICTURE_JPEG))}) {
            const QImage saved = Snapshot(player, f.first, f.second);
            QVERIFY(!saved.isNull());
            QVERIFY2(Near(Middle(saved), brown, 8), qPrintable(f.first + " saved " + RgbText(Middle(saved))));
        }
        Finish(player);
    }

    // A file that opens but holds no picture it can show is reported, and the list goes on.
    void fileWithoutPicturesIsReported() {
        QVERIFY(Ffmpeg(NumberedSource(2) + H264(), P("blank_source.mp4")));
        QFile source(P("blank_source.mp4"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QByteArray data = source.readAll();
        // The index stays whole, the pictures become zeros.
        const int mdat = data.indexOf("mdat");
        const int moov = data.lastIndexOf("moov");
        QVERIFY(mdat > 0 && moov > mdat);
        for (int i = mdat + 4; i < moov - 4; ++i) data[i] = 0;
        QFile blank(P("blank.mp4"));
        QVERIFY(blank.open(QIODevice::WriteOnly));
        blank.write(data);
        blank.close();

        CLumoFileDescList list;
        void* player = OpenOn({P("blank.mp4"), shortA}, &list);
        QVERIFY(player);
        EventLog log;
        log.gui = QThread::currentThread();
        ILumoCallback cb(&log, &OnPlayerEvent);
        QCOMPARE(LumoPlayerAttachStream(player, &cb, &ILumoCallback::OnSignal), 0);
        QCOMPARE(LumoPlayerStart(player), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                std::lock_guard<std::mutex> lock(log.m);
                return log.codes.contains(LUMO_EVENT_END_OF_LIST);
            }(),
            8000);
        {
            std::lock_guard<std::mutex> lock(log.m);
            QCOMPARE(log.failedResults, QList<int>{LUMO_ERR_NOFRAME});
            QCOMPARE(log.failedUris.value(0), QString::fromUtf8(list.GetHead()->GetURI()));
            QCOMPARE(log.nextUris.value(0), QString::fromUtf8(list.GetAt(1)->GetURI()));
            QCOMPARE(log.endResults, QList<int>{LUMO_ERR_NOFRAME});
        }
        int error = 0;
        QCOMPARE(LumoPlayerGetError(player, &error), 0);
        QCOMPARE(error, int(LUMO_ERR_NOFRAME));
        Finish(player);
        QCOMPARE(LumoPlayerDetachStream(player, &cb, &ILumoCallback::OnSignal), 0);
    }

    // A player stopped from its own next-file report stops there, and one opened and started
    // again from that report runs a single decoder; many times over.
    void stopAndRestartFromItsOwnReport() {
        CLumoFileDescList list;
        void* player = OpenOn({shortA, clipMp4}, &list);
        QVERIFY(player);
        Restarter r;
        r.list = &list;
        r.task = task;
        r.wanted = 25;
        ILumoCallback cb(&r, &RestartOnNextFile);
        QCOMPARE(LumoPlayerAttachStream(player, &cb, &ILumoCallback::OnSignal), 0);
        QCOMPARE(LumoPlayerTaskSetSpeed(task, 16), 0);
        QCOMPARE(LumoPlayerStart(player), 0);
        QTRY_VERIFY_WITH_TIMEOUT(r.done, 120000);
        QCOMPARE(r.failures.load(), 0);
        QCOMPARE(r.restarts.load(), r.wanted);
        // Each report came from the one decoder of its run: the one before had ended.
        QCOMPARE(r.mostDecoding.load(), 1);
        // Each run decodes a little below the program, as the first did: a run started from the
        // thread of the one before does not sink lower each time (on a busy machine it would
        // hardly get to run any more).
        errno = 0;
        const int programNice = getpriority(PRIO_PROCESS, id_t(getpid()));
        QCOMPARE(errno, 0);
        QVERIFY2(r.mostNice <= std::min(19, programNice + 4),
                 qPrintable(QString("decoding at nice %1, the program at %2").arg(r.mostNice.load()).arg(programNice)));
        LumoPlayerStats stats;
        QTRY_VERIFY_WITH_TIMEOUT(LumoPlayerGetStats(player, &stats) == 0 && stats.decodeThreads == 0, 15000);
        const uint64_t decoded = stats.framesDecoded;
        QTest::qWait(400);
        QCOMPARE(LumoPlayerGetStats(player, &stats), 0);
        QCOMPARE(stats.framesDecoded, decoded);
        int state = -1;
        QCOMPARE(LumoPlayerGetState(player, &state), 0);
        QCOMPARE(state, 0);
        QCOMPARE(LumoPlayerDetachStream(player, &cb, &ILumoCallback::OnSignal), 0);
        Finish(player);
    }

    // A picture is converted only once the window has painted the one before: a window that
    // does not paint (hidden) costs no conversion of every frame; one that paints gets them all.
    void picturesWaitForTheWindowToPaint() {
        INFRA::VideoWindow hidden;
        hidden.resize(320, 240);
        void* player = nullptr;
        QCOMPARE(LumoPlayerCreate(&player, &hidden, nullptr), 0);
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(clipMp4)));
        QCOMPARE(LumoPlayerOpenFile(player, &list), 0);
        QCOMPARE(LumoPlayerStart(player), 0);
        LumoPlayerStats stats;
        QTRY_VERIFY_WITH_TIMEOUT(LumoPlayerGetStats(player, &stats) == 0 && stats.framesDecoded >= 20, 15000);
        QVERIFY2(
            stats.framesPresented * 2 < stats.framesDecoded,
            qPrintable(QString("%1 of %2 converted").arg(stats.framesPresented).arg(stats.framesDecoded)));
        QVERIFY(stats.framesDropped > 0);
        QCOMPARE(stats.framesPainted, uint64_t(0));
        // Shown, it paints what it gets.
        hidden.show();
        QVERIFY(QTest::qWaitForWindowExposed(&hidden));
        const uint64_t before = stats.framesPainted;
        QTRY_VERIFY_WITH_TIMEOUT(LumoPlayerGetStats(player, &stats) == 0 && stats.framesPainted > before + 5, 15000);
        LumoPlayerStop(player);
        LumoPlayerClose(player);
    }

    // Decoder threads: as set, or (0) the cores this process may use shared among the players
    // decoding, taken up at the next key frame when that number changes.
    void decoderThreadsFollowTheSetting() {
        cpu_set_t set;
        CPU_ZERO(&set);
        QCOMPARE(sched_getaffinity(0, sizeof(set), &set), 0);
        const int cores = CPU_COUNT(&set);
        std::vector<void*> players;
        auto startOne = [&] {
            void* player = nullptr;
            LumoPlayerCreate(&player, nullptr, nullptr);
            CLumoFileDescList list(1);
            list.Append(Desc(FilerUri(clipMp4)));
            LumoPlayerOpenFile(player, &list);
            LumoPlayerStart(player);
            players.push_back(player);
        };
        auto threadsOf = [](void* player) {
            LumoPlayerStats s;
            LumoPlayerGetStats(player, &s);
            return s.decoderThreads;
        };
        LumoCoreSetDecoderThreads(3);
        startOne();
        QTRY_COMPARE_WITH_TIMEOUT(threadsOf(players[0]), 3, 15000);
        LumoCoreSetDecoderThreads(0);
        // Alone, a player takes one thread more than the cores; shared, the cores are divided.
        QTRY_COMPARE_WITH_TIMEOUT(threadsOf(players[0]), std::min(8, cores + 1), 15000);
        for (int i = 0; i < 3; ++i) startOne();
        const int share = std::max(1, std::min(8, cores / 4));
        for (void* player : players) QTRY_COMPARE_WITH_TIMEOUT(threadsOf(player), share, 15000);
        for (void* player : players) {
            LumoPlayerStop(player);
            LumoPlayerClose(player);
        }
    }

    // Paths cross the media layer in UTF-8: a file and a snapshot folder named outside ASCII.
    void namesOutsideAscii() {
        const QString folder = P(QString::fromUtf8("录像 é"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = QDir(folder).filePath(QString::fromUtf8("通道 ü#1.mp4"));
        QVERIFY(QFile::copy(shortA, file));
        CLumoFileDescList list;
        void* player = OpenOn({file}, &list);
        QVERIFY(player);
        QCOMPARE(LumoPlayerStart(player), 0);
        LumoPlayerStats stats;
        QTRY_VERIFY_WITH_TIMEOUT(LumoPlayerGetStats(player, &stats) == 0 && stats.framesDecoded > 2, 15000);
        CLumoFileDesc cur;
        QCOMPARE(LumoPlayerGetCurrentFile(player, &cur), 0);
        QVERIFY(QString::fromUtf8(cur.GetURI()).endsWith(file));
        const QString pictures = P(QString::fromUtf8("快照 ß/子&x=1"));
        const QString url = QString("filew://local/type=pic&format=jpg&pathname=%1").arg(pictures);
        CLumoString saved;
        QCOMPARE(
            LumoPlayerSnapshot(player, 0, CLumoString(url.toUtf8().constData()), &saved, LUMO_PICTURE_JPEG),
            0);
        const QString path = QString::fromUtf8(saved.GetBuffer());
        QVERIFY2(path.startsWith(pictures), qPrintable(path));
        QVERIFY(QFileInfo(path).isFile());
        QVERIFY(!QImage(path).isNull());
        Finish(player);
    }

    void seekAcrossFilesAndEndOfList() {
        CLumoFileDescList list;
        void* player = OpenOn({shortA, shortB}, &list);
        QVERIFY(player);
        EventLog log;
        log.gui = QThread::currentThread();
        ILumoCallback cb(&log, &OnPlayerEvent);
        QCOMPARE(LumoPlayerAttachStream(player, &cb, &ILumoCallback::OnSignal), 0);
        QCOMPARE(LumoPlayerListen(player, 1), 0);
        QCOMPARE(LumoPlayerStart(player), 0);
        // The list plays through: next file, then the end of the list, from the player's thread.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                std::lock_guard<std::mutex> lock(log.m);
                return log.codes.contains(LUMO_EVENT_END_OF_LIST);
            }(),
            8000);
        {
            std::lock_guard<std::mutex> lock(log.m);
            QCOMPARE(log.codes.count(LUMO_EVENT_NEXT_FILE), 1);
            QCOMPARE(log.codes.count(LUMO_EVENT_END_OF_LIST), 1);
            QCOMPARE(log.codes.last(), int(LUMO_EVENT_END_OF_LIST));
            QCOMPARE(log.nextUris.value(0), QString::fromUtf8(list.GetAt(1)->GetURI()));
            QVERIFY(log.fromOtherThread > 0);
        }
        int state = 0;
        LumoPlayerGetState(player, &state);
        QCOMPARE(state & (LUMO_STATE_OPEN | LUMO_STATE_END), LUMO_STATE_OPEN | LUMO_STATE_END);

        // Seeking back into the first file after the end plays again from there.
        CLumoTime t = list.GetHead()->GetTimeS();
        t.Add(400);
        QCOMPARE(LumoPlayerSeekTime(player, t), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Settled(player), 15000);
        LumoPlayerGetState(player, &state);
        QVERIFY(!(state & LUMO_STATE_END));
        CLumoFileDesc cur;
        QCOMPARE(LumoPlayerGetCurrentFile(player, &cur), 0);
        QCOMPARE(QString(cur.GetURI()), QString(list.GetHead()->GetURI()));
        Finish(player);
        QCOMPARE(LumoPlayerDetachStream(player, &cb, &ILumoCallback::OnSignal), 0);
    }

    // A play list may mix files of any dates in any order: local files of one day, some of them
    // overlapping, and a recorder's file of 2024 between them. A time goes to the file playing
    // when that file holds it, else to the first file that holds it; only a time that no file
    // holds goes by the list's order (the start of the first file after it, or the last file).
    // A player that has run off the end of its list plays no file: there the list decides.
    void seekTimeFindsItsFileInAMixedList_data() {
        QTest::addColumn<int>("playing");  // the file playing; -1: the list has played to its end
        QTest::addColumn<QString>("time");
        QTest::addColumn<int>("file");      // where the seek goes
        QTest::addColumn<int>("offsetMs");  // into that file; -1: at its end or past it
        // The list: 0 local 10:00:00-10:00:01, 1 recorder 2024-05-14 08:00:00-08:00:01,
        // 2 local 10:00:05-10:00:06, 3 local 10:00:00.5-10:00:01.5 (overlaps 0).
        QTest::newRow("in the playing file, which an earlier one also holds")
            << 3 << "2026-03-02T10:00:00.700" << 3 << 200;
        QTest::newRow("in the recorder's file, out of time order")
            << 0 << "2024-05-14T08:00:00.600" << 1 << 600;
        QTest::newRow("from the recorder's file back to the local ones")
            << 1 << "2026-03-02T10:00:05.400" << 2 << 400;
        QTest::newRow("not in the playing file: the first that holds it")
            << 2 << "2026-03-02T10:00:00.700" << 0 << 700;
        QTest::newRow("in no file: the start of the next one in the list")
            << 0 << "2026-03-02T10:00:03" << 2 << 0;
        QTest::newRow("before every file: the head") << 2 << "2023-12-31T23:00:00" << 0 << 0;
        QTest::newRow("after every file: the last one") << 0 << "2026-03-02T10:00:09" << 3 << -1;
        QTest::newRow("after the end of the list: the list decides")
            << -1 << "2026-03-02T10:00:00.700" << 0 << 700;
        QTest::newRow("after the end of the list, in the recorder's file")
            << -1 << "2024-05-14T08:00:00.300" << 1 << 300;
    }
    void seekTimeFindsItsFileInAMixedList() {
        QFETCH(int, playing);
        QFETCH(QString, time);
        QFETCH(int, file);
        QFETCH(int, offsetMs);
        const struct {
            const char* name;
            const char* from;
            const char* to;
        } files[] = {{"local_0.mp4", "2026-03-02T10:00:00", "2026-03-02T10:00:01"},
                     {"recorder_2024.mp4", "2024-05-14T08:00:00", "2024-05-14T08:00:01"},
                     {"local_2.mp4", "2026-03-02T10:00:05", "2026-03-02T10:00:06"},
                     {"local_3.mp4", "2026-03-02T10:00:00.500", "2026-03-02T10:00:01.500"}};
        CLumoFileDescList list(1);
        for (const auto& f : files) {
            // One-second clips of their own (a seek to a file finds it by its address).
            if (!QFile::exists(P(f.name))) QVERIFY(QFile::copy(shortA, P(f.name)));
            CLumoFileDesc* d = Desc(FilerUri(P(f.name)));
            CLumoTime from, to;
            QVERIFY(from.ParseISO8601(f.from) && to.ParseISO8601(f.to));
            d->SetTimeS(from);
            d->SetTimeE(to);
            list.Append(d);
        }
        CLumoTime t;
        QVERIFY(t.ParseISO8601(qPrintable(time)));
        void* player = nullptr;
        QCOMPARE(LumoPlayerCreate(&player, nullptr, task), 0);
        QCOMPARE(LumoPlayerOpenFile(player, &list), 0);
        if (playing >= 0) {
            // Not started, a seek only says where to go, and that file is the current one at once.
            QCOMPARE(LumoPlayerSeekFile(player, list.GetAt(playing)), 0);
            CLumoFileDesc cur;
            QCOMPARE(LumoPlayerGetCurrentFile(player, &cur), 0);
            QCOMPARE(QString(cur.GetURI()), QString(list.GetAt(playing)->GetURI()));
        } else {
            LumoPlayerTaskSetSpeed(task, 16);
            QCOMPARE(LumoPlayerStart(player), 0);
            QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    int state = 0;
                    return LumoPlayerGetState(player, &state) == 0 && (state & LUMO_STATE_END);
                }(),
                30000);
            LumoPlayerTaskSetSpeed(task, 1);
            // It ended in the last file, which holds 10:00:00.700 too.
            CLumoFileDesc cur;
            QCOMPARE(LumoPlayerGetCurrentFile(player, &cur), 0);
            QCOMPARE(QString(cur.GetURI()), QString(list.GetTail()->GetURI()));
            QCOMPARE(LumoPlayerPause(player), 0);
        }
        QCOMPARE(LumoPlayerSeekTime(player, &t), 0);
        if (playing < 0) QTRY_VERIFY_WITH_TIMEOUT(Settled(player), 15000);
        CLumoFileDesc cur;
        QCOMPARE(LumoPlayerGetCurrentFile(player, &cur), 0);
        QCOMPARE(QString(cur.GetURI()), QString(list.GetAt(file)->GetURI()));
        const int64_t at = OffsetMs(player, list.GetAt(file)->GetTimeS());
        if (offsetMs < 0)
            QVERIFY2(at >= 1000, qPrintable(QString("at %1 ms").arg(at)));
        else if (playing >= 0)
            QCOMPARE(at, int64_t(offsetMs));
        else  // landed on a picture
            QVERIFY2(qAbs(at - offsetMs) <= 40, qPrintable(QString("asked %1 ms, at %2 ms").arg(offsetMs).arg(at)));
        LumoPlayerStop(player);
        LumoPlayerClose(player);
    }

    void snapshotWritesThePicture_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("format");
        QTest::newRow("jpg") << int(LUMO_PICTURE_JPEG) << "jpg";
        QTest::newRow("bmp") << int(LUMO_PICTURE_BMP) << "bmp";
    }
    void snapshotWritesThePicture() {
        QFETCH(int, code);
        QFETCH(QString, format);
        void* player = OpenOn({clipMp4});
        QVERIFY(player);
        // Nothing decoded yet: nothing to save.
        CLumoString saved;
        QString folder = P("pictures/" + format + "/nested");
        QString url = QString("filew://local/type=pic&format=%1&pathname=%2").arg(format, folder);
        QCOMPARE(LumoPlayerSnapshot(player, 0, CLumoString(url.toUtf8().constData()), &saved, code),
                 int(LUMO_ERR_NOFRAME));
        QCOMPARE(LumoPlayerStart(player), 0);
        LumoPlayerStats stats;
        QTRY_VERIFY_WITH_TIMEOUT(LumoPlayerGetStats(player, &stats) == 0 && stats.framesDecoded > 3, 15000);
        QCOMPARE(LumoPlayerSnapshot(player, 0, CLumoString(url.toUtf8().constData()), &saved, code), 0);
        QString path = QString::fromUtf8(saved.GetBuffer());
        QVERIFY(path.startsWith(folder));
        QVERIFY(path.endsWith("." + format));
        QImage img(path);
        QVERIFY(!img.isNull());
        QCOMPARE(img.size(), QSize(320, 240));
        QVERIFY(LitShare(img) > 0.3);
        Finish(player);
    }

    void badInputFailsAndThePlayerStaysUsable_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<int>("error");
        QTest::newRow("missing") << FilerUri(dir.filePath("missing.mp4")) << int(LUMO_ERR_NOTFOUND);
        QTest::newRow("zero bytes") << FilerUri(dir.filePath("zero.mp4")) << int(LUMO_ERR_EMPTY);
        QTest::newRow("truncated mp4") << FilerUri(dir.filePath("truncated.mp4")) << int(LUMO_ERR_FORMAT);
        QTest::newRow("text named dav") << FilerUri(dir.filePath("notes.dav")) << int(LUMO_ERR_FORMAT);
        QTest::newRow("closed port") << QString("tcp://127.0.0.1:%1").arg(closedPort)
                                     << int(LUMO_ERR_CONNECT);
        QTest::newRow("no such scheme") << QString("gopher://127.0.0.1/x") << int(LUMO_ERR_PARAM);
    }
    void badInputFailsAndThePlayerStaysUsable() {
        QFETCH(QString, uri);
        QFETCH(int, error);
        static bool made = false;
        if (!made) {
            made = true;
            QFile(P("zero.mp4")).open(QIODevice::WriteOnly);
            // An mp4 whose index sits at the end, cut in the middle.
            QVERIFY(Ffmpeg(Source(3) + H264() + Aac(), P("whole.mp4")));
            QFile whole(P("whole.mp4"));
            QVERIFY(whole.open(QIODevice::ReadOnly));
            QByteArray data = whole.readAll();
            QFile cut(P("truncated.mp4"));
            QVERIFY(cut.open(QIODevice::WriteOnly));
            cut.write(data.left(data.size() / 2));
            QFile text(P("notes.dav"));
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write(QByteArray("these are not pictures\n").repeated(500));
        }
        panel->CreatePlayerWnd(0);
        void* player = nullptr;
        QCOMPARE(LumoPlayerCreate(&player, panel->GetPlayerWnd(0), task), 0);
        CLumoFileDescList bad(1);
        bad.Append(Desc(uri));
        // Bad input is refused at once, not when the open gives up: with a long open timeout, an
        // open that waited for it would take far longer than any busy machine takes to refuse.
        LumoCoreSetTimeouts(60000, 1500);
        const auto restore = qScopeGuard([] { LumoCoreSetTimeouts(1500, 1500); });
        QElapsedTimer t;
        t.start();
        int r = LumoPlayerOpenFile(player, &bad);
        QVERIFY2(r == error, qPrintable(QString("got %1 (%2)").arg(r).arg(LumoCoreGetErrorText(r))));
        QVERIFY2(t.elapsed() < 30000, qPrintable(QString("refused after %1 ms").arg(t.elapsed())));
        int state = -1;
        QCOMPARE(LumoPlayerGetState(player, &state), 0);
        QCOMPARE(state, 0);
        QCOMPARE(LumoPlayerStart(player), int(LUMO_ERR_STATE));

        // The same handle opens and plays a good file afterwards.
        CLumoFileDescList good(1);
        good.Append(Desc(FilerUri(shortA)));
        QCOMPARE(LumoPlayerOpenFile(player, &good), 0);
        QCOMPARE(LumoPlayerStart(player), 0);
        LumoPlayerStats stats;
        QTRY_VERIFY_WITH_TIMEOUT(LumoPlayerGetStats(player, &stats) == 0 && stats.framesDecoded > 2, 15000);
        Finish(player);
    }

    void truncatedStreamPlaysWhatItHolds() {
        // A record cut while being written: the readable part plays, then the list ends.
        QFile whole(clipDav);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QByteArray data = whole.readAll();
        QFile cut(P("cut.dav"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(data.left(data.size() / 3 + 77));
        cut.close();
        void* player = OpenOn({P("cut.dav")});
        QVERIFY(player);
        LumoPlayerTaskSetSpeed(task, 16);
        QCOMPARE(LumoPlayerStart(player), 0);
        int state = 0;
        QTRY_VERIFY_WITH_TIMEOUT(LumoPlayerGetState(player, &state) == 0 && (state & LUMO_STATE_END), 15000);
        LumoPlayerStats stats;
        LumoPlayerGetStats(player, &stats);
        QVERIFY(stats.framesDecoded > 20);
        Finish(player);
    }

    void deadSourceTimesOut() {
        // A server that takes the connection and never answers.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        void* player = nullptr;
        QCOMPARE(LumoPlayerCreate(&player, nullptr, nullptr), 0);
        CLumoFileDescList list(1);
        list.Append(Desc(QString("http://127.0.0.1:%1/live.mp4").arg(server.serverPort())));
        // The open waits its set time for the silent peer, and no longer: a short timeout, far
        // below the one the setting replaces (5 s), so that a busy machine cannot blur the two.
        const int timeoutMs = 300;
        LumoCoreSetTimeouts(timeoutMs, 1500);
        const auto restore = qScopeGuard([] { LumoCoreSetTimeouts(1500, 1500); });
        QElapsedTimer t;
        t.start();
        int r = LumoPlayerOpenFile(player, &list);
        const qint64 took = t.elapsed();
        QCOMPARE(r, int(LUMO_ERR_TIMEOUT));
        QVERIFY2(took >= timeoutMs - 5 && took < 4500, qPrintable(QString("took %1 ms").arg(took)));
        LumoPlayerClose(player);
    }

    // A stream that cannot be had, by a protocol we have or one we do not, ends in the login
    // report with its error and the end state: the caller waiting for the login always hears.
    void streamOpenReportsTheLoginResult_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("result");  // 0: any failure
        QTest::newRow("rtsp, closed port") << QString("rtsp://127.0.0.1:%1/mode=real&idc=1&ids=1").arg(closedPort)
                                           << 0;
        QTest::newRow("protocol we do not have") << QString("quii://127.0.0.1:%1/mode=real&idc=1&ids=1").arg(closedPort)
                                                 << int(LUMO_ERR_UNSUPPORTED);
    }
    void streamOpenReportsTheLoginResult() {
        QFETCH(QString, url);
        QFETCH(int, result);
        void* player = nullptr;
        QCOMPARE(LumoPlayerCreate(&player, nullptr, nullptr), 0);
        EventLog log;
        log.gui = QThread::currentThread();
        ILumoCallback cb(&log, &OnPlayerEvent);
        LumoPlayerAttachStream(player, &cb, &ILumoCallback::OnSignal);
        QCOMPARE(LumoPlayerOpen(player, qPrintable(url), 0), 0);
        QCOMPARE(LumoPlayerStart(player), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                std::lock_guard<std::mutex> lock(log.m);
                return log.codes.contains(LUMO_EVENT_END_OF_LIST);
            }(),
            5000);
        {
            std::lock_guard<std::mutex> lock(log.m);
            QCOMPARE(log.loginResults.size(), 1);
            QVERIFY(log.loginResults.first() != 0);
            if (result != 0) QCOMPARE(log.loginResults.first(), result);
            QVERIFY(log.codes.indexOf(LUMO_EVENT_LOGIN) < log.codes.indexOf(LUMO_EVENT_END_OF_LIST));
        }
        int state = 0;
        LumoPlayerGetState(player, &state);
        QCOMPARE(state & (LUMO_STATE_OPEN | LUMO_STATE_END), LUMO_STATE_OPEN | LUMO_STATE_END);
        LumoPlayerStop(player);
        LumoPlayerClose(player);
    }

    void malformedStreamUrlsAreRefused_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("empty") << QString();
        QTest::newRow("no address after the scheme") << QString("quii://");
        QTest::newRow("scheme of digits") << QString("1x://host/a");
    }
    void malformedStreamUrlsAreRefused() {
        QFETCH(QString, url);
        void* player = nullptr;
        QCOMPARE(LumoPlayerCreate(&player, nullptr, nullptr), 0);
        QCOMPARE(LumoPlayerOpen(player, url.toUtf8().constData(), 0), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPlayerStart(player), int(LUMO_ERR_STATE));
        LumoPlayerClose(player);
    }

    // What a player of a two-file list does at the end of a file, by its play mode.
    void playModeDecidesTheEndOfAFile_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("single: stops at the end of the file") << int(LUMO_PLAYMODE_SINGLE);
        QTest::newRow("single loop: the file again") << int(LUMO_PLAYMODE_SINGLE_LOOP);
        QTest::newRow("list: next file, then the end") << int(LUMO_PLAYMODE_LIST);
        QTest::newRow("list loop: the head after the last") << int(LUMO_PLAYMODE_LIST_LOOP);
    }
    void playModeDecidesTheEndOfAFile() {
        QFETCH(int, mode);
        CLumoFileDescList list;
        void* player = OpenOn({shortA, shortB}, &list);
        QVERIFY(player);
        int got = -1;
        QCOMPARE(LumoPlayerGetPlayMode(player, &got), 0);
        QCOMPARE(got, int(LUMO_PLAYMODE_LIST));  // a new player plays its list through
        QCOMPARE(LumoPlayerSetPlayMode(player, 4), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPlayerSetPlayMode(player, -1), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPlayerSetPlayMode(player, mode), 0);
        QCOMPARE(LumoPlayerGetPlayMode(player, &got), 0);
        QCOMPARE(got, mode);
        EventLog log;
        ILumoCallback cb(&log, &OnPlayerEvent);
        QCOMPARE(StartListened(player, &log, &cb, 4), 0);
        const QString uriA = QString::fromUtf8(list.GetAt(0)->GetURI());
        const QString uriB = QString::fromUtf8(list.GetAt(1)->GetURI());
        auto nexts = [&] {
            // A list of its own: the player's thread goes on appending to the log's.
            std::lock_guard<std::mutex> lock(log.m);
            QStringList copy;
            for (const QString& uri : log.nextUris) copy << uri;
            return copy;
        };
        auto ended = [&] {
            std::lock_guard<std::mutex> lock(log.m);
            return log.codes.contains(LUMO_EVENT_END_OF_LIST);
        };
        int state = 0;
        CLumoFileDesc cur;
        switch (mode) {
            case LUMO_PLAYMODE_SINGLE:
                QTRY_VERIFY_WITH_TIMEOUT(ended(), 15000);
                QVERIFY(nexts().isEmpty());
                QCOMPARE(LumoPlayerGetCurrentFile(player, &cur), 0);
                QCOMPARE(QString::fromUtf8(cur.GetURI()), uriA);
                break;
            case LUMO_PLAYMODE_SINGLE_LOOP: {
                // The position runs up into the file and comes back to its start.
                // Seen as a reading below the one before, whenever the readings come.
                const CLumoTime start = list.GetHead()->GetTimeS();
                int64_t before = OffsetMs(player, start);
                bool back = false;  // once seen, stays (the macro asks once more at the end)
                auto cameBack = [&] {
                    const int64_t at = OffsetMs(player, start);
                    back = back || at < before;
                    before = at;
                    return back;
                };
                QTRY_VERIFY_WITH_TIMEOUT(OffsetMs(player, start) > 600, 15000);
                before = OffsetMs(player, start);
                QTRY_VERIFY_WITH_TIMEOUT(cameBack(), 15000);
                QTRY_VERIFY_WITH_TIMEOUT(OffsetMs(player, start) > 600, 15000);
                QVERIFY(!ended());
                QVERIFY(nexts().isEmpty());
                QCOMPARE(LumoPlayerGetCurrentFile(player, &cur), 0);
                QCOMPARE(QString::fromUtf8(cur.GetURI()), uriA);
                break;
            }
            case LUMO_PLAYMODE_LIST:
                QTRY_VERIFY_WITH_TIMEOUT(ended(), 15000);
                QCOMPARE(nexts(), QStringList{uriB});
                break;
            case LUMO_PLAYMODE_LIST_LOOP:
                QTRY_VERIFY_WITH_TIMEOUT(nexts().size() >= 3, 12000);
                QCOMPARE(nexts().mid(0, 3), (QStringList{uriB, uriA, uriB}));
                QVERIFY(!ended());
                break;
        }
        LumoPlayerGetState(player, &state);
        const bool shouldEnd = mode == LUMO_PLAYMODE_SINGLE || mode == LUMO_PLAYMODE_LIST;
        QCOMPARE(state & (LUMO_STATE_OPEN | LUMO_STATE_END),
                 shouldEnd ? LUMO_STATE_OPEN | LUMO_STATE_END : int(LUMO_STATE_OPEN));
        Finish(player);
        QCOMPARE(LumoPlayerDetachStream(player, &cb, &ILumoCallback::OnSignal), 0);
        // The mode is the player's: it stays for its next list.
        QCOMPARE(LumoPlayerGetPlayMode(player, &got), 0);
        QCOMPARE(got, mode);
    }

    // A list loop whose files give nothing ends instead of spinning.
    void listLoopOfUnplayableFilesEnds() {
        QFile text(P("loop.dav"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray("these are not pictures\n").repeated(500));
        text.close();
        const QString head = P("loophead.mp4");
        QFile::remove(head);
        QVERIFY(QFile::copy(shortA, head));
        CLumoFileDescList list;
        void* player = OpenOn({head, P("loop.dav")}, &list);
        QVERIFY(player);
        QCOMPARE(LumoPlayerSetPlayMode(player, LUMO_PLAYMODE_LIST_LOOP), 0);
        EventLog log;
        ILumoCallback cb(&log, &OnPlayerEvent);
        QCOMPARE(StartListened(player, &log, &cb, 8), 0);
        // The good head plays again after the bad file.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                std::lock_guard<std::mutex> lock(log.m);
                return log.nextUris.size() >= 1 && log.failedResults.size() >= 2;
            }(),
            10000);
        // With the head gone bad too, a whole round gives nothing and the list ends.
        QVERIFY(QFile::remove(head));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                std::lock_guard<std::mutex> lock(log.m);
                return log.codes.contains(LUMO_EVENT_END_OF_LIST);
            }(),
            10000);
        int state = 0;
        LumoPlayerGetState(player, &state);
        QCOMPARE(state & (LUMO_STATE_OPEN | LUMO_STATE_END), LUMO_STATE_OPEN | LUMO_STATE_END);
        Finish(player);
        QCOMPARE(LumoPlayerDetachStream(player, &cb, &ILumoCallback::OnSignal), 0);
    }

    void stoppedHandleReopensAndClosedHandleFails() {
        CLumoFileDescList list;
        void* player = OpenOn({shortA}, &list);
        QVERIFY(player);
        QCOMPARE(LumoPlayerStart(player), 0);
        QCOMPARE(LumoPlayerStop(player), 0);
        QCOMPARE(LumoPlayerClose(player), 0);
        // Closed: every call fails without effect, stop and close again are harmless.
        int state = -1;
        QCOMPARE(LumoPlayerGetState(player, &state), 0);
        QCOMPARE(state, 0);
        QCOMPARE(LumoPlayerSeekTime(player, list.GetHead()->GetTimeS()), int(LUMO_ERR_STATE));
        QCOMPARE(LumoPlayerSeekFile(player, list.GetHead()), int(LUMO_ERR_STATE));
        QCOMPARE(LumoPlayerPause(player), int(LUMO_ERR_STATE));
        QCOMPARE(LumoPlayerListen(player, 1), int(LUMO_ERR_STATE));
        QCOMPARE(LumoPlayerStop(player), 0);
        QCOMPARE(LumoPlayerClose(player), 0);
        // ... and a later play opens the list again on the same handle.
        QCOMPARE(LumoPlayerOpenFile(player, &list), 0);
        QCOMPARE(LumoPlayerStart(player), 0);
        LumoPlayerStats stats;
        QTRY_VERIFY_WITH_TIMEOUT(LumoPlayerGetStats(player, &stats) == 0 && stats.framesDecoded > 2, 15000);
        Finish(player);
    }

    void soundRingNeverStarvesTheOutput() {
        // The output pulls at its own pace: what is missing is silence, what overflows is the oldest.
        lumocore::AudioRing ring(8);
        ring.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        ring.Push("abcdefghij", 10);
        QCOMPARE(ring.Buffered(), qint64(8));
        char buf[12];
        QCOMPARE(ring.read(buf, 12), qint64(12));
        QCOMPARE(QByteArray(buf, 8), QByteArray("cdefghij"));
        QCOMPARE(QByteArray(buf + 8, 4), QByteArray(4, '\0'));
        ring.Push("xy", 2);
        ring.Clear();
        QCOMPARE(ring.Buffered(), qint64(0));
    }

    void nullHandlesFail() {
        int state = 7;
        QVERIFY(LumoPlayerGetState(nullptr, &state) != 0);
        QCOMPARE(state, 0);
        CLumoTime t;
        QVERIFY(LumoPlayerGetPlaybackTime(nullptr, &t) != 0);
        QVERIFY(LumoPlayerStart(nullptr) != 0);
        QVERIFY(LumoPlayerPause(nullptr) != 0);
        QVERIFY(LumoPlayerResume(nullptr) != 0);
        QVERIFY(LumoPlayerStop(nullptr) != 0);
        QVERIFY(LumoPlayerClose(nullptr) != 0);
        QVERIFY(LumoPlayerOpenFile(nullptr, nullptr) != 0);
        QVERIFY(LumoPlayerRefresh(nullptr, nullptr, 0) != 0);
        QCOMPARE(LumoPlayerSetPlayMode(nullptr, LUMO_PLAYMODE_LIST), int(LUMO_ERR_PARAM));
        int mode = 0;
        QCOMPARE(LumoPlayerGetPlayMode(nullptr, &mode), int(LUMO_ERR_PARAM));
        CLumoString saved;
        QVERIFY(LumoPlayerSnapshot(nullptr, 0, "filew://local/type=pic&format=jpg&pathname=/tmp", &saved,
                                   3) != 0);
        // A handle of another kind is not a player.
        QVERIFY(LumoPlayerStart(task) != 0);
    }

private:
    // A port nobody listens on: reserved for this process, so no other test takes it meanwhile.
    quint16 closedPort = vt::ReservePort();
};

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
