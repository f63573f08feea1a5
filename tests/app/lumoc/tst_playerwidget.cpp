#include <QtTest>

#include <QDesktopServices>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QSlider>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QScopeGuard>
#include <QToolButton>
#include "testsupport.h"

#include "LumoCClient/LumoCClient.h"
#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoRecord/LumoRecord.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "lumoc/appsignal.h"
#include "lumoc/playback/playerwidget.h"

namespace {

const char* const kButtons[] = {"playerbtnsnap",  "playerbtnslower", "playerbtnplay",
                                "playerbtnpause", "playerbtnstop",   "playerbtnfaster"};

// "on", "off" or "hidden" for each button, in the form's order.
QString ButtonTable(const PlayerWidget& w) {
    QStringList parts;
    for (const char* name : kButtons) {
        auto* b = w.findChild<QToolButton*>(name);
        parts << (b->isHidden() ? "hidden" : (b->isEnabled() ? "on" : "off"));
    }
    return parts.join(' ');
}

CLumoTime At(int h, int m, int s, int ms = 0) {
    CLumoTime t;
    t.SetYear(2026);
    t.SetMonth(3);
    t.SetDay(4);
    t.SetHour(h);
    t.SetMinute(m);
    t.SetSecond(s);
    t.SetMS(ms);
    return t;
}

CLumoFileDesc* LocalDesc(const QString& path, const QString& format = "mp4") {
    auto* d = new CLumoFileDesc();
    d->SetURI(LumoRecordAddress::ReadFile(format.toStdString(), path.toUtf8().toStdString()).Build().c_str());
    return d;
}

// Plays and waits for the answer of the open: 0 when playing, else the media library's result.
int PlayNow(PlayerWidget& w) {
    QSignalSpy started(&w, &PlayerWidget::OnSignalStarted);
    QSignalSpy failed(&w, &PlayerWidget::OnSignalPlayFailed);
    const int rc = w.Play();
    if (rc != 0 || w.GetState() != PlayerWidget::StateOpening) return rc;  // refused, or resumed
    if (!QTest::qWaitFor([&]() { return started.count() + failed.count() > 0; }, 20000)) return -999;
    return failed.isEmpty() ? 0 : failed.first().first().toInt();
}

bool IsMostlyBlack(const QImage& image) {
    if (image.isNull()) return true;
    const QImage small = image.scaled(32, 32).convertToFormat(QImage::Format_RGB32);
    int lit = 0;
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x)
            if (qGray(small.pixel(x, y)) > 40) ++lit;
    return lit < 32 * 32 / 4;
}

// Receives the URLs the player hands to the desktop instead of a viewer starting.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

}  // namespace

class TestPlayerWidget : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;        // a few seconds of moving test picture
    QString streamClip;  // the same as an MPEG-TS stream, for a network source
    bool media = false;  // the media library can play
    UrlCatcher catcher;

    // A widget shown on screen with one local file loaded (state 8).
    PlayerWidget* LoadedWidget(const QString& path, int playMode = 1) {
        auto* w = new PlayerWidget(1);
        w->SetPlayMode(playMode);
        w->resize(800, 560);
        w->show();
        CLumoFileDescList probe(1);
        probe.Append(LocalDesc(path));
        LumoRecordGetFileDesc(&probe);
        w->AddFile(new CLumoFileDesc(*probe.GetHead()));
        return w;
    }
    CLumoTime Now(PlayerWidget& w) {
        CLumoTime t;
        LumoPlayerGetPlaybackTime(w.GetPlayer(), &t);
        return t;
    }
    qint64 Elapsed(PlayerWidget& w) {
        return CLumoTime::GetTimeSpan(Now(w), w.GetFiles().GetHead()->GetTimeS());
    }

private slots:
    // The video page lists its display scales as adaptive, 16:9, 4:3, 1:1; the player takes
    // the one chosen, in that order.
    void displayScaleOfTheVideoOption_data() {
        QTest::addColumn<int>("option");
        QTest::addColumn<int>("mode");
        QTest::addColumn<float>("ratio");
        QTest::newRow("adaptive") << 0 << int(LUMO_SCALE_FILL) << 0.0f;
        QTest::newRow("16:9") << 1 << int(LUMO_SCALE_RATIO) << 16.0f / 9.0f;
        QTest::newRow("4:3") << 2 << int(LUMO_SCALE_RATIO) << 4.0f / 3.0f;
        QTest::newRow("1:1") << 3 << int(LUMO_SCALE_ORIGIN) << 0.0f;
        QTest::newRow("unknown") << 9 << int(LUMO_SCALE_ORIGIN) << 0.0f;
    }
    void displayScaleOfTheVideoOption() {
        QFETCH(int, option);
        QFETCH(int, mode);
        QFETCH(float, ratio);
        int gotMode = -1;
        float gotRatio = -1;
        PlayerWidget::ScaleOfOption(option, &gotMode, &gotRatio);
        QCOMPARE(gotMode, mode);
        QCOMPARE(gotRatio, ratio);
    }

    void initTestCase() {
        QVERIFY(dir.isValid());
        // Keep the client configuration and the UI log inside the test's folder.
        LumoCConfiguration::GetLumoCConfig()->SetFilePath(dir.filePath("lumoc.ini"));
        LumoCConfiguration::GetLumoCConfig()->GetFileOption()->pictureFolder = dir.filePath("pictures");
        INFRA::TestSeams::SetUiLogPath(dir.filePath("ui.log"));
        INFRA::TestSeams::SetScriptedReply("ok");
        QDesktopServices::setUrlHandler("file", &catcher, "open");

        void* task = nullptr;
        media = LumoPlayerTaskCreate(&task, 1) == 0 && task;
        LumoPlayerTaskDelete(task);
        if (!media) return;

        clip = dir.filePath("clip.mp4");
        QProcess ff;
        ff.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc=size=320x240:rate=25", "-t", "4", "-c:v", "mpeg4", "-q:v", "5", clip});
        QVERIFY2(ff.waitForFinished(60000) && ff.exitCode() == 0, ff.readAllStandardError().constData());
        streamClip = dir.filePath("clip.ts");
        // Longer than the demuxer's analysis, so that it opens without waiting for the end.
        ff.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc=size=320x240:rate=25", "-t", "12", "-c:v", "mpeg4", "-q:v", "5", "-f",
                            "mpegts", streamClip});
        QVERIFY2(ff.waitForFinished(60000) && ff.exitCode() == 0, ff.readAllStandardError().constData());
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("file"); }

    // -----------------------------------------------------------------------------------------
    // Without media.

    void speedLadder_data() {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("faster");
        QTest::addColumn<int>("slower");
        QTest::newRow("normal") << 1 << 2 << -2;
        QTest::newRow("2x") << 2 << 4 << 1;
        QTest::newRow("4x") << 4 << 8 << 2;
        QTest::newRow("8x is the top") << 8 << 8 << 4;
        QTest::newRow("half") << -2 << 1 << -4;
        QTest::newRow("quarter") << -4 << -2 << -8;
        QTest::newRow("eighth is the bottom") << -8 << -4 << -8;
    }
    void speedLadder() {
        QFETCH(int, current);
        QFETCH(int, faster);
        QFETCH(int, slower);
        QCOMPARE(PlayerWidget::FasterSpeed(current), faster);
        QCOMPARE(PlayerWidget::SlowerSpeed(current), slower);
    }

    // The buttons walk the ladder on the player task, and the speed survives on the task.
    void speedButtonsOnTask() {
        VT_REQUIRE(media, "the media library cannot make player tasks here");
        PlayerWidget w(1);
        QCOMPARE(LumoPlayerTaskGetSpeed(w.GetTask()), 1);
        QList<int> seen;
        for (int i = 0; i < 5; ++i) {
            w.OnFaster();
            seen << LumoPlayerTaskGetSpeed(w.GetTask());
        }
        QCOMPARE(seen, (QList<int>{2, 4, 8, 8, 8}));
        seen.clear();
        for (int i = 0; i < 8; ++i) {
            w.OnSlower();
            seen << LumoPlayerTaskGetSpeed(w.GetTask());
        }
        QCOMPARE(seen, (QList<int>{4, 2, 1, -2, -4, -8, -8, -8}));
        w.OnFaster();
        w.OnFaster();
        w.OnFaster();
        QCOMPARE(LumoPlayerTaskGetSpeed(w.GetTask()), 1);
    }

    void stateTable_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("playMode");
        QTest::addColumn<QString>("buttons");  // snap slower play pause stop faster
        QTest::newRow("idle") << 0 << 0 << "off off off hidden off off";
        QTest::newRow("loaded") << 8 << 0 << "off off on hidden on off";
        QTest::newRow("loaded from the table") << 8 << 1 << "off off on hidden off off";
        QTest::newRow("playing") << 1 << 1 << "on on hidden on on on";
        QTest::newRow("paused") << 2 << 1 << "on off on hidden on off";
        QTest::newRow("stopped (display only)") << 4 << 0 << "off off off hidden off off";
    }
    void stateTable() {
        QFETCH(int, state);
        QFETCH(int, playMode);
        QFETCH(QString, buttons);
        PlayerWidget w(1);
        QCOMPARE(ButtonTable(w), QString("off off off hidden off off"));
        w.SetPlayMode(playMode);
        w.OnUpdateState(PlayerWidget::State(state));
        QCOMPARE(int(w.GetState()), state);
        QCOMPARE(ButtonTable(w), buttons);
        // Going back to nothing loaded resets every button.
        w.OnUpdateState();
        QCOMPARE(ButtonTable(w), QString("off off off hidden off off"));
    }

    void title_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("cuid");
        QTest::addColumn<QString>("title");
        const QString fn = "K3706_FileName : ";
        QTest::newRow("file name wins") << "front.dav"
                                        << "lumofs://local/disk=1&filename=x.dav"
                                        << "" << fn + "front.dav";
        QTest::newRow("recorder address") << ""
                                          << "lumofs://local/disk=1&path=a&filename=ch1-0001.dav"
                                          << "" << fn + "ch1-0001.dav";
        QTest::newRow("'&' and '=' in the name") << ""
                                                 << "lumofs://local/disk=1&path=a&filename=a&b=c.dav"
                                                 << "" << fn + "a&b=c.dav";
        QTest::newRow("a key given twice: the address as it is")
            << ""
            << "lumofs://local/disk=1&path=a&filename=b&filename=ch1-0001.dav"
            << "" << fn + "lumofs://local/disk=1&path=a&filename=b&filename=ch1-0001.dav";
        QTest::newRow("non-ASCII local path") << ""
                                              << "filer://local/type=rec&format=dav&filename=/录像/前门.dav"
                                              << "" << fn + "前门.dav";
        QTest::newRow("windows path") << ""
                                      << "file:C:\\rec\\day\\yard.dav"
                                      << "" << fn + "yard.dav";
        QTest::newRow("slash path") << ""
                                    << "file:///home/op/rec/door.mp4"
                                    << "" << fn + "door.mp4";
        QTest::newRow("local record URL") << ""
                                          << "filer://local/type=rec&format=mp4&filename=/tmp/a/b.mp4"
                                          << "" << fn + "b.mp4";
        QTest::newRow("no name at all") << ""
                                        << ""
                                        << "" << fn;
        QTest::newRow("camera identity") << ""
                                         << "lumofs://local/disk=1&filename=c.dav"
                                         << "CAM-07"
                                         << "K4781_CUID: CAM-07K4782_--->" + fn + "c.dav";
    }
    void title() {
        QFETCH(QString, fileName);
        QFETCH(QString, uri);
        QFETCH(QString, cuid);
        QFETCH(QString, title);
        CLumoFileDesc d;
        d.SetFileName(fileName.toUtf8().constData());
        d.SetURI(uri.toUtf8().constData());
        d.SetCUID(cuid.toUtf8().constData());
        QCOMPARE(PlayerWidget::MakeTitle(d), title);
    }

    void clockText_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "00:00:00";
        QTest::newRow("under a second") << qint64(999) << "00:00:00";
        QTest::newRow("1h1m1s") << qint64(3661000) << "01:01:01";
        QTest::newRow("hours grow") << qint64(360000000) << "100:00:00";
        QTest::newRow("negative reads as zero") << qint64(-5000) << "00:00:00";
    }
    void clockText() {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(PlayerWidget::ClockText(ms), text);
    }

    void sliderValue_data() {
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<qint64>("span");
        QTest::addColumn<int>("value");
        QTest::newRow("start") << qint64(0) << qint64(4000) << 0;
        QTest::newRow("half") << qint64(2000) << qint64(4000) << 50;
        QTest::newRow("truncates") << qint64(3999) << qint64(4000) << 99;
        QTest::newRow("past the end shows 99") << qint64(9000) << qint64(4000) << 99;
        QTest::newRow("before the start shows 0") << qint64(-500) << qint64(4000) << 0;
        QTest::newRow("zero-length record") << qint64(10) << qint64(0) << 0;
        QTest::newRow("inverted times") << qint64(10) << qint64(-4000) << 0;
        QTest::newRow("60-day span") << qint64(2592000000LL) << qint64(5184000000LL) << 50;
    }
    void sliderValue() {
        QFETCH(qint64, elapsed);
        QFETCH(qint64, span);
        QFETCH(int, value);
        QCOMPARE(PlayerWidget::SliderValue(elapsed, span), value);
    }

    // Seeking stays within the record: no 32-bit wrap, nothing before the start or past the end.
    void seekTarget_data() {
        QTest::addColumn<qint64>("spanMs");
        QTest::addColumn<int>("value");
        QTest::addColumn<qint64>("offsetMs");
        QTest::newRow("start") << qint64(4000) << 0 << qint64(0);
        QTest::newRow("99%") << qint64(4000) << 99 << qint64(3960);
        QTest::newRow("100%") << qint64(4000) << 100 << qint64(4000);
        QTest::newRow("beyond 100 clamps") << qint64(4000) << 250 << qint64(4000);
        QTest::newRow("negative clamps") << qint64(4000) << -3 << qint64(0);
        QTest::newRow("zero-length record") << qint64(0) << 50 << qint64(0);
        QTest::newRow("end before start") << qint64(-60000) << 50 << qint64(0);
        // 60 days: more than 2^32 ms, where a 32-bit offset would wrap.
        QTest::newRow("60 days, half") << qint64(5184000000LL) << 50 << qint64(2592000000LL);
        QTest::newRow("60 days, 99%") << qint64(5184000000LL) << 99 << qint64(5132160000LL);
    }
    void seekTarget() {
        QFETCH(qint64, spanMs);
        QFETCH(int, value);
        QFETCH(qint64, offsetMs);
        const CLumoTime start = At(10, 0, 0);
        CLumoTime end = start;
        end.Add(spanMs);
        const CLumoTime target = PlayerWidget::SeekTarget(start, end, value);
        QCOMPARE(CLumoTime::GetTimeSpan(target, start), offsetMs);
    }

    void listFilling() {
        PlayerWidget w(1);
        QCOMPARE(w.AddFile(nullptr), -1);
        QCOMPARE(int(w.GetState()), 0);

        // A record-file row of the engine.
        IKestoFileInfoAV* row = IKestoFileInfoAV::CreateObject();
        row->GetInfo()->timeStart = At(10, 0, 0).ToPacked();
        row->GetInfo()->timeEnd = At(10, 5, 0).ToPacked();
        row->SetURI("lumofs://local/disk=1&path=b&filename=r.dav");
        QCOMPARE(w.SetFileInfo(row), 0);
        row->Release();
        QCOMPARE(int(w.GetState()), 8);
        QCOMPARE(w.GetFiles().GetCount(), 1);
        QCOMPARE(QString(w.GetFiles().GetHead()->GetURI()),
                 QString("lumofs://local/disk=1&path=b&filename=r.dav"));
        QCOMPARE(w.GetFiles().GetHead()->GetTimeE(), At(10, 5, 0));

        // A whole list replaces it (a copy) and leaves the state alone.
        w.OnUpdateState();
        CLumoFileDescList list(1);
        list.Append(LocalDesc("/nowhere/a.mp4"));
        list.Append(LocalDesc("/nowhere/b.mp4"));
        QCOMPARE(w.SetFileList(&list), 0);
        QCOMPARE(int(w.GetState()), 0);
        QCOMPARE(w.GetFiles().GetCount(), 2);
        QVERIFY(w.GetFiles().GetHead() != list.GetHead());
        QCOMPARE(w.AddFile(LocalDesc("/nowhere/c.mp4")), 0);
        QCOMPARE(int(w.GetState()), 8);
        QCOMPARE(w.GetFiles().GetCount(), 3);
    }

    void emptyListPlaysNothing() {
        PlayerWidget w(1);
        w.show();
        QCOMPARE(w.Play(), -1);
        QCOMPARE(int(w.GetState()), 0);
        QCOMPARE(w.GetTitle(), QString());
        QCOMPARE(w.findChild<QLabel*>("labelProgressE")->text(), QString("00:00:00"));
    }

    // Events of other players, other codes and a widget without a player are ignored.
    void foreignEventsIgnored() {
        PlayerWidget w(1);
        QSignalSpy stop(&w, &PlayerWidget::OnSignalStopPlay);
        int other = 0;
        QCOMPARE(PlayerWidget::OnPlayerSignal(&w, 2118, &other, nullptr, nullptr), 0);
        QCOMPARE(PlayerWidget::OnPlayerSignal(&w, 2118, nullptr, nullptr, nullptr), 0);
        QCOMPARE(stop.count(), 0);
    }

    void appSignalAttachment() {
        const int before = AppSignal.GetCount();
        {
            PlayerWidget w(1);
            QCOMPARE(AppSignal.GetCount(), before + 1);
            // Code 3 with no player, and other codes: nothing happens, nothing breaks.
            AppSignal.Commit(nullptr, 3, nullptr, nullptr);
            AppSignal.Commit(nullptr, 7, nullptr, nullptr);
        }
        QCOMPARE(AppSignal.GetCount(), before);
    }

    void tooltips() {
        PlayerWidget w(1);
        const QStringList tips{"K3540_Snapshot", "K3531_Slow", "K3533_Play",
                               "K3530_Pause",    "K3534_Stop", "K3532_Fast"};
        for (int i = 0; i < 6; ++i) {
            auto* b = w.findChild<QToolButton*>(kButtons[i]);
            QCOMPARE(b->toolTip(), tips[i]);
            QCOMPARE(b->toolTipDuration(), 10000);
        }
        QVERIFY(w.findChild<QWidget*>("widgetList")->isHidden());
        QCOMPARE(w.objectName(), QString("lumocplayer"));
    }

    // -----------------------------------------------------------------------------------------
    // With media: a real clip.

    void playPauseSeekStop() {
        VT_REQUIRE(media, "the media library cannot play here");
        std::unique_ptr<PlayerWidget> w(LoadedWidget(clip));
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        auto* slider = w->findChild<QSlider*>("sliderProgress");
        auto* elapsedLabel = w->findChild<QLabel*>("labelProgressS");
        QSignalSpy started(w.get(), &PlayerWidget::OnSignalStarted);
        QSignalSpy sliderChanges(slider, &QSlider::valueChanged);

        QCOMPARE(PlayNow(*w), 0);
        QCOMPARE(int(w->GetState()), 1);
        QCOMPARE(started.count(), 1);
        QCOMPARE(w->GetTitle(), QString("K3706_FileName : clip.mp4"));
        QCOMPARE(w->findChild<QLabel*>("labelProgressE")->text(), QString("00:00:04"));
        QVERIFY(w->GetLastError().isEmpty());

        // Frames reach the view: not black.
        INFRA::VideoWindow* view = w->GetPanel()->GetIndexGrid(0)->GetVideoWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!IsMostlyBlack(view->CurrentFrame()), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!IsMostlyBlack(view->grab().toImage()), 5000);

        // The poll moves the slider and the elapsed label without seeking.
        QTRY_VERIFY_WITH_TIMEOUT(Elapsed(*w) >= 1200, 5000);
        const qint64 before = Elapsed(*w);
        w->OnTimer();
        QVERIFY(slider->value() >= 25);
        QVERIFY(elapsedLabel->text() == "00:00:01" || elapsedLabel->text() == "00:00:02");
        QCOMPARE(sliderChanges.count(), 0);
        QTest::qWait(200);
        QVERIFY2(Elapsed(*w) >= before, "a programmatic slider move seeked back");

        // Pause holds the picture and the time.
        w->findChild<QToolButton*>("playerbtnpause")->click();
        QCOMPARE(int(w->GetState()), 2);
        // Frames already on their way may still land: wait until the picture and time stand
        // still, then check that they stay so.
        CLumoTime held = Now(*w);
        QImage heldFrame = view->CurrentFrame();
        QVERIFY(vt::WaitUntil(
            [&] {
                QTest::qWait(300);
                const CLumoTime now = Now(*w);
                const QImage frame = view->CurrentFrame();
                const bool still = now == held && frame == heldFrame;
                held = now;
                heldFrame = frame;
                return still;
            },
            15000));
        QTest::qWait(700);
        QCOMPARE(Now(*w), held);
        QCOMPARE(view->CurrentFrame(), heldFrame);

        // Play resumes.
        w->findChild<QToolButton*>("playerbtnplay")->click();
        QCOMPARE(int(w->GetState()), 1);
        QTRY_VERIFY_WITH_TIMEOUT(Now(*w) != held, 3000);

        // The operator's clicks on the groove seek: five page steps from the start to 50%.
        {
            const QSignalBlocker quiet(slider);
            slider->setValue(0);
        }
        const QPoint groove(slider->width() - 3, slider->height() / 2);
        for (int i = 0; i < 5; ++i) QTest::mouseClick(slider, Qt::LeftButton, {}, groove);
        QCOMPARE(slider->value(), 50);
        QCOMPARE(sliderChanges.count(), 5);
        QTRY_VERIFY_WITH_TIMEOUT(Elapsed(*w) >= 1900 && Elapsed(*w) < 3500, 2000);

        // Stop: labels and slider reset without a seek; the list, title and speed stay.
        w->OnFaster();
        w->findChild<QToolButton*>("playerbtnstop")->click();
        QCOMPARE(int(w->GetState()), 4);
        QCOMPARE(ButtonTable(*w), QString("off off on hidden off off"));
        QCOMPARE(elapsedLabel->text(), QString("00:00:00"));
        QCOMPARE(slider->value(), 0);
        QCOMPARE(sliderChanges.count(), 5);
        QCOMPARE(w->GetFiles().GetCount(), 1);
        QCOMPARE(LumoPlayerTaskGetSpeed(w->GetTask()), 2);

        // Play again from the stopped state.
        QCOMPARE(PlayNow(*w), 0);
        QCOMPARE(int(w->GetState()), 1);
        QCOMPARE(started.count(), 2);
    }

    void endOfListStops() {
        VT_REQUIRE(media, "the media library cannot play here");
        std::unique_ptr<PlayerWidget> w(LoadedWidget(clip));
        std::unique_ptr<PlayerWidget> other(LoadedWidget(clip));
        QCOMPARE(PlayNow(*w), 0);
        QCOMPARE(PlayNow(*other), 0);

        // Another player's end, and other codes of the own player, are ignored.
        PlayerWidget::OnPlayerSignal(w.get(), 2118, other->GetPlayer(), nullptr, nullptr);
        PlayerWidget::OnPlayerSignal(w.get(), 2116, w->GetPlayer(), nullptr, nullptr);
        QCoreApplication::processEvents();
        QCOMPARE(int(w->GetState()), 1);

        // The real end of the list, from the player's own thread: near the end, then wait.
        LumoPlayerSeekTime(w->GetPlayer(), PlayerWidget::SeekTarget(w->GetFiles().GetHead()->GetTimeS(),
                                                                    w->GetFiles().GetHead()->GetTimeE(), 90));
        QTRY_COMPARE_WITH_TIMEOUT(int(w->GetState()), 4, 5000);
        QVERIFY(w->findChild<QToolButton*>("playerbtnplay")->isEnabled());
        QCOMPARE(int(other->GetState()), 1);
        other->OnStopPlay();
        QCOMPARE(int(other->GetState()), 4);
    }

    // A record whose start equals its end plays, polls and seeks without dividing by zero.
    void zeroLengthRecord() {
        VT_REQUIRE(media, "the media library cannot play here");
        PlayerWidget w(1);
        w.resize(800, 560);
        w.show();
        CLumoFileDescList probe(1);
        probe.Append(LocalDesc(clip));
        LumoRecordGetFileDesc(&probe);
        auto* d = new CLumoFileDesc(*probe.GetHead());
        d->SetTimeE(d->GetTimeS());
        w.AddFile(d);
        QCOMPARE(PlayNow(w), 0);
        auto* slider = w.findChild<QSlider*>("sliderProgress");
        w.OnTimer();
        QCOMPARE(slider->value(), 0);
        QCOMPARE(w.findChild<QLabel*>("labelProgressE")->text(), QString("00:00:00"));
        // The operator's click seeks to the start (the only place in an empty span), and the
        // next poll puts the slider back at 0.
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() - 3, slider->height() / 2));
        QCOMPARE(slider->value(), 10);
        QTRY_COMPARE_WITH_TIMEOUT((w.OnTimer(), slider->value()), 0, 3000);
        QCOMPARE(int(w.GetState()), 1);
    }

    // The picture lands in the configured folder, also one with a non-ASCII name under a locale
    // that is not UTF-8: paths cross the media layer in UTF-8.
    void snapshot_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("localeCodec");
        QTest::newRow("plain folder") << "pictures" << QByteArray();
        QTest::newRow("non-ASCII folder, Latin-1 locale")
            << QStringLiteral("图片 ü") << QByteArray("ISO-8859-1");
    }
    void snapshot() {
        QFETCH(QString, folder);
        QFETCH(QByteArray, localeCodec);
        VT_REQUIRE(media, "the media library cannot play here");
        QTextCodec* before = QTextCodec::codecForLocale();
        if (!localeCodec.isEmpty()) QTextCodec::setCodecForLocale(QTextCodec::codecForName(localeCodec));
        auto restore = qScopeGuard([before]() { QTextCodec::setCodecForLocale(before); });
        LumoCConfiguration::GetLumoCConfig()->GetFileOption()->pictureFolder = dir.filePath(folder);
        std::unique_ptr<PlayerWidget> w(LoadedWidget(clip));
        QCOMPARE(PlayNow(*w), 0);
        INFRA::VideoWindow* view = w->GetPanel()->GetIndexGrid(0)->GetVideoWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!view->CurrentFrame().isNull(), 5000);

        catcher.urls.clear();
        w->findChild<QToolButton*>("playerbtnsnap")->click();
        QCOMPARE(catcher.urls.size(), 1);
        const QString saved = catcher.urls.first().toLocalFile();
        QVERIFY2(saved.startsWith(dir.filePath(folder) + QLatin1Char('/')), qPrintable(saved));
        QVERIFY(saved.endsWith(".jpg"));
        QVERIFY(QFileInfo::exists(saved));
        const QImage picture(saved);
        QCOMPARE(picture.size(), QSize(320, 240));
        QVERIFY(!IsMostlyBlack(picture));
        LumoCConfiguration::GetLumoCConfig()->GetFileOption()->pictureFolder = dir.filePath("pictures");
    }

    // The list opens on a worker: Play returns while the source has not answered yet, the widget
    // says that it opens and offers only stop; an answer to an open that the operator gave up
    // (stop, closing the player) is not shown, and its player is closed.
    void openRunsOffTheGuiThread_data() {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("the operator waits") << "wait";
        QTest::newRow("the operator stops") << "stop";
        QTest::newRow("the player is closed") << "close";
    }
    void openRunsOffTheGuiThread() {
        QFETCH(QString, meanwhile);
        VT_REQUIRE(media, "the media library cannot play here");
        QTcpServer source;  // answers only when the test says so
        QVERIFY(source.listen(QHostAddress::LocalHost, vt::ReservePort()));
        auto w = std::make_unique<PlayerWidget>(1);
        w->SetPlayMode(1);
        w->resize(800, 560);
        w->show();
        auto* d = new CLumoFileDesc();
        d->SetURI(QStringLiteral("tcp://127.0.0.1:%1").arg(source.serverPort()).toUtf8().constData());
        w->AddFile(d);
        QSignalSpy started(w.get(), &PlayerWidget::OnSignalStarted);
        QSignalSpy failed(w.get(), &PlayerWidget::OnSignalPlayFailed);

        QCOMPARE(w->Play(), 0);
        QCOMPARE(int(w->GetState()), int(PlayerWidget::StateOpening));
        QCOMPARE(ButtonTable(*w), QString("off off off hidden on off"));
        QCOMPARE(w->GetLastError(), QString("K7920_PlayOpening"));
        QCOMPARE(w->Play(), 0);  // pressed again: still the one open
        // The worker has connected and waits for the stream; this thread goes on.
        QTRY_VERIFY_WITH_TIMEOUT(source.hasPendingConnections(), 5000);
        QTcpSocket* peer = source.nextPendingConnection();
        QCOMPARE(int(w->GetState()), int(PlayerWidget::StateOpening));

        if (meanwhile == QLatin1String("stop")) {
            w->findChild<QToolButton*>("playerbtnstop")->click();
            QCOMPARE(int(w->GetState()), int(PlayerWidget::StateStopped));
            QCOMPARE(ButtonTable(*w), QString("off off on hidden off off"));
            QVERIFY(!w->GetPlayer());
            QVERIFY(w->GetLastError().isEmpty());
        } else if (meanwhile == QLatin1String("close")) {
            w.reset();
        }

        QFile stream(streamClip);
        QVERIFY(stream.open(QIODevice::ReadOnly));
        peer->write(stream.readAll());
        if (meanwhile == QLatin1String("wait")) {
            QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 30000);
            QCOMPARE(int(w->GetState()), int(PlayerWidget::StatePlaying));
            QVERIFY(w->GetLastError().isEmpty());
            QVERIFY(w->GetPlayer());
            QCOMPARE(failed.count(), 0);
            return;
        }
        // The given-up player is closed: the source loses its reader.
        QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QAbstractSocket::UnconnectedState, 30000);
        if (w) {
            QTRY_COMPARE_WITH_TIMEOUT(int(w->GetState()), int(PlayerWidget::StateStopped), 30000);
            QCOMPARE(started.count(), 0);
            QCOMPARE(failed.count(), 0);
            QVERIFY(!w->GetPlayer());
            // And it plays again from there.
            CLumoFileDescList good(1);
            good.Append(LocalDesc(clip));
            LumoRecordGetFileDesc(&good);
            w->SetFileList(&good);
            QCOMPARE(PlayNow(*w), 0);
            QCOMPARE(int(w->GetState()), int(PlayerWidget::StatePlaying));
        }
    }

    void snapshotFailureWarns() {
        QFile::remove(dir.filePath("ui.log"));
        PlayerWidget w(1);
        catcher.urls.clear();
        w.OnSnap();  // nothing plays: the media library refuses
        QCOMPARE(catcher.urls.size(), 0);
        QFile log(dir.filePath("ui.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("K0805_CaptureFailed"));
    }

    void badFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "missing"
                                 << "K7901_PlayFileMissing";
        QTest::newRow("zero bytes") << "empty"
                                    << "K7902_PlayFileEmpty";
        QTest::newRow("truncated") << "truncated"
                                   << "K7903_PlayFileDamaged";
        QTest::newRow("not media") << "garbage"
                                   << "K7903_PlayFileDamaged";
    }
    // A file that cannot be played: a clear message on the view, the loaded state kept with play
    // enabled, and the widget plays a good list afterwards.
    void badFiles() {
        VT_REQUIRE(media, "the media library cannot play here");
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString path = dir.filePath("bad-" + kind + ".mp4");
        QFile::remove(path);
        if (kind != "missing") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (kind == "truncated") {
                QFile good(clip);
                QVERIFY(good.open(QIODevice::ReadOnly));
                f.write(good.read(good.size() / 3));
            } else if (kind == "garbage") {
                f.write(QByteArray(5000, 'x'));
            }
        }
        std::unique_ptr<PlayerWidget> w(LoadedWidget(path));
        QSignalSpy started(w.get(), &PlayerWidget::OnSignalStarted);
        QVERIFY(PlayNow(*w) != 0);
        QCOMPARE(started.count(), 0);
        QCOMPARE(int(w->GetState()), 8);
        QCOMPARE(ButtonTable(*w), QString("off off on hidden off off"));
        QCOMPARE(w->GetLastError(), message);

        CLumoFileDescList good(1);
        good.Append(LocalDesc(clip));
        LumoRecordGetFileDesc(&good);
        w->SetFileList(&good);
        w->SetTitle(QString());
        QCOMPARE(PlayNow(*w), 0);
        QCOMPARE(int(w->GetState()), 1);
        QVERIFY(w->GetLastError().isEmpty());
    }

    // Two files with a gap: the total shows the sum of their lengths.
    void gapsInTheList() {
        VT_REQUIRE(media, "the media library cannot play here");
        PlayerWidget w(1);
        w.show();
        CLumoFileDescList list(1);
        auto* a = LocalDesc("/nowhere/a.mp4");
        a->SetTimeS(At(10, 0, 0));
        a->SetTimeE(At(10, 1, 0));
        auto* b = LocalDesc("/nowhere/b.mp4");
        b->SetTimeS(At(11, 0, 0));
        b->SetTimeE(At(11, 0, 30));
        list.Append(a);
        list.Append(b);
        w.SetFileList(&list);
        QVERIFY(PlayNow(w) != 0);  // the files do not exist
        QCOMPARE(w.findChild<QLabel*>("labelProgressE")->text(), QString("00:01:30"));
        QCOMPARE(int(w.GetState()), 0);
        QCOMPARE(ButtonTable(w), QString("off off off hidden off off"));
    }

    void pausedPlayOnlyResumes() {
        VT_REQUIRE(media, "the media library cannot play here");
        std::unique_ptr<PlayerWidget> w(LoadedWidget(clip));
        QCOMPARE(PlayNow(*w), 0);
        void* handle = w->GetPlayer();
        w->OnPause();
        CLumoFileDescList other(1);
        other.Append(LocalDesc("/nowhere/z.mp4"));
        w->SetFileList(&other);
        QCOMPARE(PlayNow(*w), 0);
        QCOMPARE(int(w->GetState()), 1);
        QCOMPARE(w->GetPlayer(), handle);
        QCOMPARE(w->GetTitle(), QString("K3706_FileName : clip.mp4"));
    }
};

QTEST_MAIN(TestPlayerWidget)
#include "tst_playerwidget.moc"
