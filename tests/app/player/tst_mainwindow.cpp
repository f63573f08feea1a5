// The player's main window with real players on generated record files: what comes into the play
// list and what plays (drops, duplicates, same names in other folders, a relative command-line
// path), the state poll closing ended views, player events reaching their own view, a failed
// stream closing only its view, click-to-seek, the speed status, volume and mute, the snapshot
// folder, clearing the list, and the list kept across starts.
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include "testsupport.h"

#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "common/playlist/playlistwidget.h"
#include "player/mainwindow.h"
#include "player/playcontroler.h"
#include "player/playercontext.h"
#include "windowtesting.h"

namespace {

// The folders of the whole run; set before the application (and so the context) exists.
QTemporaryDir* g_home = nullptr;

void* Panel() { return CPlayControler::Instance()->GetPanelHandle(); }

bool MakeClip(const QString& path, int seconds, const QString& format = QString()) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QStringList args = {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc=size=320x240:rate=25", "-t", QString::number(seconds), "-c:v", "mpeg4", "-q:v", "5"};
    if (!format.isEmpty()) args << "-f" << format;
    args << path;
    QProcess ff;
    ff.start("ffmpeg", args);
    return ff.waitForFinished(60000) && ff.exitStatus() == QProcess::NormalExit && ff.exitCode() == 0;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    MainWindow* w = nullptr;
    QString clipLong, clipShort, clipOther, davUpper, text;
    bool media = false;

    std::string Url(const QString& path) { return LocalRecordUrl(path, QString()); }
    std::string ViewUrl(int view) {
        CLumoString url;
        CPlayControler::Instance()->GetViewUrl(Panel(), view, &url);
        return url.Str();
    }
    bool Open(int view) { return (w->ViewState(view) & 0x30) == 0x10; }
    std::string RowUrl(int row) {
        auto* f = reinterpret_cast<CLumoFile*>(quintptr(w->PlayList()->GetItemId(row)));
        return f ? f->url : std::string();
    }
    quint64 RowFlags(int row) { return w->PlayList()->GetItemFlags(w->PlayList()->item(row)); }
    void Drop(const QStringList& paths) {
        auto* mime = new QMimeData();
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        mime->setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &drop);
        delete mime;
    }
    // Plays a file in a view, as the operator would: select it, then drop the file.
    bool PlayIn(int view, const QString& path) {
        w->SelectView(view);
        w->OpenPaths({path}, true);
        return QTest::qWaitFor([&]() { return w->PendingIntakes() == 0 && Open(view) && ViewUrl(view) == Url(path); },
                               20000);
    }

private slots:
    void initTestCase() {
        INFRA::TestSeams::SetUiLogPath(g_home->filePath("ui.log"));
        INFRA::TestSeams::SetScriptedReply("ok");
        void* task = nullptr;
        media = LumoPlayerTaskCreate(&task, 1) == 0 && task;
        LumoPlayerTaskDelete(task);
        const QString media = g_home->filePath("media");
        clipLong = media + "/long.mp4";
        clipShort = media + "/short.mp4";
        clipOther = media + "/other/long.mp4";
        davUpper = media + "/CAM1.DAV";
        text = media + "/notes.txt";
        QVERIFY(MakeClip(clipLong, 120));
        QVERIFY(MakeClip(clipShort, 2));
        QVERIFY(MakeClip(clipOther, 120));
        QVERIFY(MakeClip(davUpper, 20, "mpegts"));
        QFile t(text);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write("not a record\n");
        t.close();

        w = new MainWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }

    void cleanupTestCase() {
        delete w;
        CPlayControler::Instance()->CoreInvalidate();
    }

    void cleanup() {
        w->SetSplit(1);
        w->SelectView(0);
        w->ApplyStick(0);
        w->ClearPlayList(true);
        while (CPlayControler::Instance()->GetListMode() != 0) w->CycleListMode();
        QCOMPARE(w->PlayingViews(), quint16(0));
    }

    // -----------------------------------------------------------------------------------------
    // Intake.

    void dropPlaysOnlyTheRecord() {
        Drop({davUpper, text});
        QTRY_COMPARE_WITH_TIMEOUT(w->PendingIntakes(), 0, 20000);
        QCOMPARE(w->PlayList()->count(), 1);
        QCOMPARE(RowUrl(0), Url(davUpper));
        QTRY_VERIFY_WITH_TIMEOUT(Open(0), 20000);
        QCOMPARE(ViewUrl(0), Url(davUpper));
        QCOMPARE(RowFlags(0), quint64(1));
    }

    void duplicateAndSameNameElsewhere() {
        QVERIFY(PlayIn(0, clipLong));
        QCOMPARE(w->PlayList()->count(), 1);
        // The same file again, by another spelling of its path: no second row, it plays again.
        w->OpenPaths({QFileInfo(clipLong).absolutePath() + "/../media/./long.mp4"}, true);
        QTRY_COMPARE_WITH_TIMEOUT(w->PendingIntakes(), 0, 20000);
        QCOMPARE(w->PlayList()->count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(Open(0), 20000);
        // The same name in another folder is another file, and it is the one that plays.
        QVERIFY(PlayIn(0, clipOther));
        QCOMPARE(w->PlayList()->count(), 2);
        QCOMPARE(RowFlags(1), quint64(1));
        QCOMPARE(RowFlags(0), quint64(0));
    }

    // The probe takes its time: files meant for view 0 play there, although view 1 was chosen
    // for the next files meanwhile; each view gets its own row mark.
    void intakePlaysInTheViewItWasMeantFor() {
        w->SetSplit(2);
        w->SelectView(0);
        w->OpenPaths({clipLong}, true);
        w->SelectView(1);
        w->OpenPaths({clipOther}, true);
        QTRY_VERIFY_WITH_TIMEOUT(w->PendingIntakes() == 0 && Open(0) && Open(1), 20000);
        QCOMPARE(ViewUrl(0), Url(clipLong));
        QCOMPARE(ViewUrl(1), Url(clipOther));
        QCOMPARE(RowFlags(0), quint64(1));
        QCOMPARE(RowFlags(1), quint64(2));
    }

    void commandLineRelativePath() {
        const QString before = QDir::currentPath();
        QDir::setCurrent(QFileInfo(clipOther).absolutePath());
        w->OpenCommandLineFile("long.mp4");
        QDir::setCurrent(before);
        QTRY_COMPARE_WITH_TIMEOUT(w->PendingIntakes(), 0, 20000);
        QCOMPARE(w->PlayList()->count(), 1);
        QCOMPARE(RowUrl(0), Url(clipOther));
        QTRY_VERIFY_WITH_TIMEOUT(Open(0), 20000);
    }

    // A folder on the command line (a recorder's storage): the record files of it and of its
    // sub-folders are listed in name order, nothing else, and none plays.
    void commandLineFolderListsItsRecords() {
        const QString media = QFileInfo(clipLong).absolutePath();
        w->OpenCommandLineFile(media, true);
        QTRY_COMPARE_WITH_TIMEOUT(w->PendingIntakes(), 0, 20000);
        QStringList expected{davUpper, clipLong, clipOther, clipShort};
        expected.sort();
        QCOMPARE(w->PlayList()->count(), expected.size());
        for (int row = 0; row < expected.size(); ++row) QCOMPARE(RowUrl(row), Url(expected.at(row)));
        QCOMPARE(w->PlayingViews(), quint16(0));
    }

    // -----------------------------------------------------------------------------------------
    // Views.

    void pollClosesEndedView() {
        w->SetSplit(2);
        w->ApplyStick(2);
        QVERIFY(PlayIn(1, clipShort));
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
        w->SelectView(0);
        // Not selected: closed by the poll once it has ended, with its mark and the top mode.
        QTRY_COMPARE_WITH_TIMEOUT(w->PlayingViews(), quint16(0), 20000);
        QCOMPARE(w->ViewState(1), 0);
        QCOMPARE(RowFlags(0), quint64(0));
        QVERIFY(!(w->windowFlags() & Qt::WindowStaysOnTopHint));
    }

    // Never, always, while playing, never; "while playing" is on top only with a view open.
    void stickCycle() {
        w->ApplyStick(0);
        const QList<QPair<int, bool>> steps = {{1, true}, {2, false}, {0, false}};
        for (const auto& step : steps) {
            w->on_btnStick_clicked();
            QCOMPARE(w->StickMode(), step.first);
            QCOMPARE(bool(w->windowFlags() & Qt::WindowStaysOnTopHint), step.second);
            QCOMPARE(CPlayerContext::Instance()->settings.stick, step.first);
        }
        w->ApplyStick(7);  // out of range: never
        QCOMPARE(w->StickMode(), 0);
    }

    // Full screen hides the window; Escape in the panel brings it back.
    void fullScreenAndEscape() {
        w->on_btnFullScreen_clicked();
        QTRY_VERIFY(!w->isVisible());
        INFRA::VideoDisplayPanel* panel = CPlayControler::Instance()->GetPanel();
        QVERIFY(panel->IsFullScreen());
        QTest::keyClick(panel, Qt::Key_Escape);
        QTRY_VERIFY(w->isVisible());
        QVERIFY(!panel->IsFullScreen());
    }

    void handoverReachesItsView() {
        w->SetSplit(2);
        w->OpenPaths({clipShort, clipLong}, false);
        QTRY_COMPARE_WITH_TIMEOUT(w->PlayList()->count(), 2, 20000);
        w->CycleListMode();
        w->CycleListMode();
        QCOMPARE(CPlayControler::Instance()->GetListMode(), 2u);  // "List": go on to the next file
        QVERIFY(PlayIn(0, clipLong));
        QVERIFY(PlayIn(2, clipShort));
        QVERIFY(RowFlags(0) & (1u << 2));
        // View 2 moves on from the short file to the long one and says so from its player's
        // thread: the mark moves on view 2's rows, view 0 keeps its own.
        QTRY_VERIFY_WITH_TIMEOUT(RowFlags(1) & (1u << 2), 20000);
        QVERIFY(!(RowFlags(0) & (1u << 2)));
        QVERIFY(RowFlags(1) & 1u);
        QCOMPARE(ViewUrl(2), Url(clipLong));
        QCOMPARE(ViewUrl(0), Url(clipLong));
        QVERIFY(Open(0));
    }

    void failedStreamClosesOnlyItsView() {
        w->SetSplit(2);
        QVERIFY(PlayIn(0, clipLong));
        w->SelectView(1);
        const QString url = QString("rtsp://127.0.0.1:%1/none").arg(vt::ReservePort());
        w->AddStreamUrl(url, true);
        QTRY_VERIFY_WITH_TIMEOUT(!(w->PlayingViews() & 2u), 30000);
        QVERIFY(Open(0));
        QCOMPARE(ViewUrl(0), Url(clipLong));
        QCOMPARE(w->PlayingViews(), quint16(1));
        // The operator is told (the box may come a moment after the view stopped).
        const auto told = [] {
            QFile log(g_home->filePath("ui.log"));
            return log.open(QIODevice::ReadOnly) && log.readAll().contains("stream_login_fail");
        };
        QTRY_VERIFY_WITH_TIMEOUT(told(), 20000);
    }

    // -----------------------------------------------------------------------------------------
    // Controls.

    void sliderClickSeeks() {
        QVERIFY(PlayIn(0, clipLong));
        QTRY_VERIFY_WITH_TIMEOUT(w->ProgressSlider()->maximum() >= 19, 30000);
        w->PlayOrPause();
        QTRY_VERIFY_WITH_TIMEOUT(w->ViewState(0) & 0x40, 30000);
        QSlider* s = w->ProgressSlider();
        const int expected = int(s->maximum() * 0.75);
        QTest::mouseClick(s, Qt::LeftButton, Qt::NoModifier, QPoint(s->width() * 3 / 4, s->height() / 2));
        CLumoFile* file = nullptr;
        CPlayControler::Instance()->GetViewFile(Panel(), 0, &file);
        QVERIFY(file);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&]() {
                CLumoTime now;
                return CPlayControler::Instance()->GetPlaybackTime(Panel(), 0, &now) == 0 &&
                       qAbs((now - file->timeS) - expected) <= 1;
            }(),
            30000);
    }

    void speedStatus_data() {
        QTest::addColumn<int>("faster");
        QTest::addColumn<int>("slower");
        QTest::addColumn<QString>("status");
        QTest::newRow("normal") << 0 << 0 << "play";
        QTest::newRow("2x") << 1 << 0 << "speed x 2";
        QTest::newRow("16x is the top") << 5 << 0 << "speed x 16";
        QTest::newRow("half") << 0 << 1 << "speed x 1/2";
        QTest::newRow("1/16 is the bottom") << 0 << 6 << "speed x 1/16";
        QTest::newRow("back to normal") << 1 << 1 << "play";
    }
    void speedStatus() {
        QFETCH(int, faster);
        QFETCH(int, slower);
        QFETCH(QString, status);
        QVERIFY(PlayIn(0, clipLong));
        for (int i = 0; i < slower; ++i) w->SlowDownView(0);
        for (int i = 0; i < faster; ++i) w->SpeedUpView(0);
        QCOMPARE(w->StatusText(0), status);
        QVERIFY(w->FileInfoLabel()->toolTip().startsWith(status + "  long.mp4  ["));
    }

    void volumeWhileMutedUnmutes() {
        w->ToggleMute();
        QVERIFY(CPlayControler::Instance()->GetMute());
        QVERIFY(w->VoiceButton()->isChecked());
        w->VolumeSlider()->setValue(w->VolumeSlider()->value() == 30 ? 31 : 30);
        QVERIFY(!CPlayControler::Instance()->GetMute());
        QVERIFY(!w->VoiceButton()->isChecked());
        QCOMPARE(int(CPlayControler::Instance()->GetVolume()), w->VolumeSlider()->value());
    }

    void snapshotMakesItsFolder() {
        QVERIFY(PlayIn(0, clipLong));
        CPlayerContext* ctx = CPlayerContext::Instance();
        ctx->settings.capPicFolder = g_home->filePath("pictures/not/yet");
        QVERIFY(!QFileInfo::exists(ctx->settings.capPicFolder));
        QString path;
        QTRY_COMPARE_WITH_TIMEOUT(w->Snapshot(0, &path, true), 0, 30000);
        QVERIFY(path.startsWith(ctx->settings.capPicFolder));
        QCOMPARE(QImage(path).size(), QSize(320, 240));
        QFile log(g_home->filePath("ui.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("snap_success"));
    }

    // -----------------------------------------------------------------------------------------
    // The list.

    void clearResetsMarksAndStick() {
        w->ApplyStick(2);
        QVERIFY(PlayIn(0, clipLong));
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(w->ClearPlayList(true), 0);
        QCOMPARE(w->PlayList()->count(), 0);
        QCOMPARE(w->PlayingViews(), quint16(0));
        QCOMPARE(w->ViewState(0), 0);
        QVERIFY(!(w->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(!w->ProgressSlider()->isEnabled());
    }

    // Removing the row of a file that plays: its player goes on with the file, the view forgets
    // the freed entry (no file line, the menu entries that need a file greyed); the other view
    // plays on.
    void removingAPlayingFileRowLeavesItsViewPlaying() {
        w->SetSplit(2);
        QVERIFY(PlayIn(0, clipLong));
        QVERIFY(PlayIn(1, clipOther));
        w->SelectView(0);
        CLumoTime before;
        QTRY_VERIFY_WITH_TIMEOUT(
            CPlayControler::Instance()->GetPlaybackTime(Panel(), 0, &before) == 0 && !before.IsEmpty(), 30000);
        w->RemoveFiles({0});
        QCOMPARE(w->PlayList()->count(), 1);
        QCOMPARE(RowUrl(0), Url(clipOther));
        QCOMPARE(RowFlags(0), quint64(2));
        QVERIFY(Open(0));
        QVERIFY(Open(1));
        QCOMPARE(w->PlayingViews(), quint16(3));
        CLumoFile* file = nullptr;
        CPlayControler::Instance()->GetViewFile(Panel(), 0, &file);
        QVERIFY(!file);
        QCOMPARE(ViewUrl(0), std::string());
        QCOMPARE(ViewUrl(1), Url(clipOther));
        // The file line names no file for it, not even after another view was shown.
        QVERIFY(w->FileInfoLabel()->text().isEmpty());
        w->SelectView(1);
        QVERIFY(w->FileInfoLabel()->text().contains("long.mp4"));
        w->SelectView(0);
        QVERIFY(w->FileInfoLabel()->text().isEmpty());
        // Still playing: its time goes on.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&]() {
                CLumoTime now;
                return CPlayControler::Instance()->GetPlaybackTime(Panel(), 0, &now) == 0 && now - before >= 1;
            }(),
            30000);
        std::unique_ptr<QMenu> menu(w->BuildViewMenu(0));
        QVERIFY(menu);
        for (QAction* a : menu->actions())
            if (a->objectName() == "file_info" || a->objectName() == "local_time_stamp") QVERIFY(!a->isEnabled());
    }

    void listSavedAfterChangeAndRestored() {
        w->OpenPaths({clipLong, clipOther}, false);
        QTRY_COMPARE_WITH_TIMEOUT(w->PlayList()->count(), 2, 20000);
        // Saved at once, not only at exit: a new context over the same folders reads it back.
        CPlayerContext* ctx = CPlayerContext::Instance();
        CPlayerContext again(ctx->appDir, ctx->userDir, ctx->userDataDir);
        again.LoadConfig();
        QCOMPARE(again.loadedPlayList.GetCount(), 2);
        QCOMPARE(again.loadedPlayList.GetAt(0)->url, Url(clipLong));
        QCOMPARE(again.loadedPlayList.GetAt(1)->url, Url(clipOther));
        // Removing a row is saved too.
        w->RemoveFiles({0});
        QCOMPARE(w->PlayList()->count(), 1);
        CPlayerContext third(ctx->appDir, ctx->userDir, ctx->userDataDir);
        third.LoadConfig();
        QCOMPARE(third.loadedPlayList.GetCount(), 1);
        QCOMPARE(third.loadedPlayList.GetAt(0)->url, Url(clipOther));
    }
};

int main(int argc, char** argv) {
    return RunWindowTest<TestMainWindow>(argc, argv, &g_home);
}

#include "tst_mainwindow.moc"
