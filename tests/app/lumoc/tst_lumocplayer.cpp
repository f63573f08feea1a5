#include <QtTest>

#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWindow>
#include "testsupport.h"

#include "LumoCClient/LumoCClient.h"
#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoRecord/LumoRecord.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "lumoc/playback/lumocplayer.h"
#include "lumoc/playback/playerwidget.h"

namespace {

QString ButtonTable(const PlayerWidget& w) {
    QStringList parts;
    for (const char* name : {"playerbtnsnap", "playerbtnslower", "playerbtnplay", "playerbtnpause",
                             "playerbtnstop", "playerbtnfaster"}) {
        auto* b = w.findChild<QToolButton*>(name);
        parts << (b->isHidden() ? "hidden" : (b->isEnabled() ? "on" : "off"));
    }
    return parts.join(' ');
}

// A record-file row of the engine for a file that does not exist.
IKestoFileInfoAV* MissingRow() {
    IKestoFileInfoAV* row = IKestoFileInfoAV::CreateObject();
    CLumoTime s = CLumoTime::Now();
    CLumoTime e = s;
    e.Add(60000);
    row->GetInfo()->timeStart = s.ToPacked();
    row->GetInfo()->timeEnd = e.ToPacked();
    row->SetURI(LumoRecordAddress::ReadFile("dav", "/nowhere/at/all/r.dav").Build());
    return row;
}

// Plays and waits for the answer of the open: 0 when playing, else the media library's result.
int PlayNow(LumoCPlayer& dlg) {
    PlayerWidget* w = dlg.GetPlayerWidget();
    QSignalSpy started(w, &PlayerWidget::OnSignalStarted);
    QSignalSpy failed(w, &PlayerWidget::OnSignalPlayFailed);
    const int rc = dlg.Play();
    if (rc != 0 || w->GetState() != PlayerWidget::StateOpening) return rc;
    if (!QTest::qWaitFor([&]() { return started.count() + failed.count() > 0; }, 20000)) return -999;
    return failed.isEmpty() ? 0 : failed.first().first().toInt();
}

}  // namespace

class TestLumoCPlayer : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString clip;
    bool media = false;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        LumoCConfiguration::GetLumoCConfig()->SetFilePath(dir.filePath("lumoc.ini"));
        void* task = nullptr;
        media = LumoPlayerTaskCreate(&task, 1) == 0 && task;
        LumoPlayerTaskDelete(task);
        if (!media) return;
        clip = dir.filePath("yard.mp4");
        QProcess ff;
        ff.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc=size=320x240:rate=25", "-t", "6", "-c:v", "mpeg4", "-q:v", "5", clip});
        QVERIFY2(ff.waitForFinished(60000) && ff.exitCode() == 0, ff.readAllStandardError().constData());
    }

    void shape() {
        LumoCPlayer dlg(nullptr);
        QCOMPARE(dlg.size(), QSize(800, 600));
        QVERIFY(dlg.IsResizable());
        QVERIFY(dlg.windowFlags() & Qt::WindowCloseButtonHint);
        PlayerWidget* w = dlg.GetPlayerWidget();
        QVERIFY(w);
        QCOMPARE(w->GetMode(), 1);
        QVERIFY(dlg.isAncestorOf(w));
        QCOMPARE(dlg.GetMainWidget(), static_cast<QWidget*>(w));
        QCOMPARE(dlg.contentsMargins(), QMargins(0, 0, 0, 0));
        dlg.resize(1000, 700);
        QCOMPARE(dlg.size(), QSize(1000, 700));
    }

    void forwarders() {
        LumoCPlayer dlg(nullptr);
        PlayerWidget* w = dlg.GetPlayerWidget();
        QCOMPARE(dlg.AddFile(nullptr), -1);
        dlg.SetTitle("mine");
        QCOMPARE(w->GetTitle(), QString("mine"));
        IKestoFileInfoAV* row = MissingRow();
        QCOMPARE(dlg.SetFileInfo(row), 0);
        row->Release();
        QCOMPARE(int(w->GetState()), 8);
        CLumoFileDescList list(1);
        list.Append(new CLumoFileDesc());
        list.Append(new CLumoFileDesc());
        QCOMPARE(dlg.SetFileList(&list), 0);
        QCOMPARE(w->GetFiles().GetCount(), 2);
        QCOMPARE(dlg.AddFile(new CLumoFileDesc()), 0);
        QCOMPARE(w->GetFiles().GetCount(), 3);
    }

    // The console's way: play mode 1, a row, play; the file cannot be opened.
    void failedPlayFromTheTable() {
        VT_REQUIRE(media, "the media library cannot play here");
        LumoCPlayer dlg(nullptr);
        dlg.GetPlayerWidget()->SetPlayMode(1);
        IKestoFileInfoAV* row = MissingRow();
        dlg.SetFileInfo(row);
        row->Release();
        dlg.show();
        QVERIFY(PlayNow(dlg) != 0);
        QCOMPARE(dlg.GetTitle(), QString());
        QCOMPARE(ButtonTable(*dlg.GetPlayerWidget()), QString("off off on hidden off off"));
        QVERIFY(!dlg.GetPlayerWidget()->GetLastError().isEmpty());
    }

    // A descriptor list and a failing play leave nothing to press but the close button.
    void failedPlayOfAList() {
        VT_REQUIRE(media, "the media library cannot play here");
        LumoCPlayer dlg(nullptr);
        CLumoFileDescList list(1);
        auto* d = new CLumoFileDesc();
        d->SetURI("file:/nowhere/at/all/x.mp4");
        list.Append(d);
        dlg.SetFileList(&list);
        dlg.show();
        QVERIFY(PlayNow(dlg) != 0);
        QCOMPARE(ButtonTable(*dlg.GetPlayerWidget()), QString("off off off hidden off off"));
        QCOMPARE(dlg.GetTitle(), QString());
    }

    // Play, run modally, close while playing: the title follows the widget and closing the
    // dialog ends the player.
    void playModalAndClose() {
        VT_REQUIRE(media, "the media library cannot play here");
        void* handle = nullptr;
        {
            LumoCPlayer dlg(nullptr);
            dlg.GetPlayerWidget()->SetPlayMode(1);
            CLumoFileDescList probe(1);
            auto* d = new CLumoFileDesc();
            d->SetURI(LumoRecordAddress::ReadFile("mp4", clip.toUtf8().toStdString()).Build().c_str());
            d->SetCUID("CAM-01");
            probe.Append(d);
            QCOMPARE(LumoRecordGetFileDesc(&probe), 0);
            dlg.AddFile(new CLumoFileDesc(*probe.GetHead()));
            QCOMPARE(PlayNow(dlg), 0);
            QCOMPARE(dlg.GetTitle(), QString("K4781_CUID: CAM-01K4782_--->K3706_FileName : yard.mp4"));
            handle = dlg.GetPlayerWidget()->GetPlayer();
            QVERIFY(handle);

            int stateDuringExec = -1;

            QImage shot;
            QTimer::singleShot(1500, &dlg, [&] {
                stateDuringExec = int(dlg.GetPlayerWidget()->GetState());
                shot = dlg.grab().toImage();
                const QString keep = qEnvironmentVariable("LUMOC_SHOT");
                if (!keep.isEmpty()) shot.save(keep);
                dlg.reject();
            });
            dlg.exec(INFRA::ShowApplicationModal);
            QCOMPARE(stateDuringExec, 1);
            QVERIFY(!shot.isNull());
            unsigned bits = 0;
            QCOMPARE(LumoPlayerGetState(handle, &bits), 0);
        }
        // Closed with the dialog: the handle answers no more, or answers that nothing is open.
        unsigned bits = 0;
        const int rc = LumoPlayerGetState(handle, &bits);
        QVERIFY2(rc != 0 || bits == 0, "the player outlived its dialog");
    }

    // The player window is application-modal: its view, full screen on a window of its own,
    // still hears the operator (the dialog steps aside meanwhile, or it would block the window):
    // Escape brings the view back into the dialog, which shows again.
    void fullScreenAndBack() {
        LumoCPlayer dlg;
        dlg.setWindowModality(Qt::ApplicationModal);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        INFRA::VideoDisplayPanel* panel = dlg.GetPlayerWidget()->GetPanel();
        panel->FullScreen();
        QVERIFY(panel->IsFullScreen());
        QVERIFY(panel->isWindow());
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        QWindow* window = panel->windowHandle();
        QVERIFY(window);
        // Through the window system's path, where a modal window blocks the others. A press
        // only: going back ends the full-screen window, which a release would then be sent to.
        QTest::keyPress(window, Qt::Key_Escape);
        QTRY_VERIFY(!panel->IsFullScreen());
        QVERIFY(!panel->isWindow());
        QCOMPARE(panel->window(), static_cast<QWidget*>(&dlg));
        QTRY_VERIFY(dlg.isVisible());
    }
};

QTEST_MAIN(TestLumoCPlayer)
#include "tst_lumocplayer.moc"
