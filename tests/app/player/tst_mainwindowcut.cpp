// Clips from the main window: the cut button's two presses propose the range between them, a
// cancelled dialog clears the mark, an accepted one cuts the clip through the queue and shows its
// result (the clip plays back with the asked duration), every result is taken once with both
// paths, requests outside the file are refused, and a window that goes while a clip runs leaves
// no half-written clip behind.
#include <QApplication>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <functional>
#include <QtTest>

#include "VantelInfraAPI/testseams.h"
#include "player/dialogs/cuttip.h"
#include "player/dialogs/dialogtip.h"
#include "player/downloadmanager.h"
#include "player/mainwindow.h"
#include "player/playcontroler.h"
#include "player/playercontext.h"
#include "player/playercontrolseam.h"
#include "windowtesting.h"

namespace {

QTemporaryDir* g_home = nullptr;

void* Panel() { return CPlayControler::Instance()->GetPanelHandle(); }

bool Ffmpeg(const QString& path, int seconds) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QProcess ff;
    // A key frame every second, so a stream-copied cut lands within a second of what was asked.
    ff.start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25",
                        "-t", QString::number(seconds), "-c:v", "libx264", "-preset", "ultrafast", "-g", "25", path});
    return ff.waitForFinished(60000) && ff.exitStatus() == QProcess::NormalExit && ff.exitCode() == 0;
}

// The duration of a media file in seconds as ffprobe reads it (-1 when it cannot).
double ProbeSeconds(const QString& path) {
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0) return -1;
    bool ok = false;
    const double d = probe.readAllStandardOutput().trimmed().toDouble(&ok);
    return ok ? d : -1;
}

CLumoTime At(const CLumoTime& start, qint64 seconds) {
    CLumoTime t = start;
    t.Add(seconds * 1000);
    return t;
}

}  // namespace

class TestMainWindowCut : public QObject {
    Q_OBJECT
    MainWindow* w = nullptr;
    PlayerControlSeam* seam = nullptr;
    QString media, clips;

    CLumoFile* ViewFile(int view) {
        CLumoFile* file = nullptr;
        CPlayControler::Instance()->GetViewFile(Panel(), view, &file);
        return file;
    }
    bool PlayPaused(const QString& path) {
        w->SelectView(0);
        w->OpenPaths({path}, true);
        if (!QTest::qWaitFor([&]() { return w->PendingIntakes() == 0 && (w->ViewState(0) & 0x30) == 0x10; }, 20000))
            return false;
        w->PlayOrPause();
        return QTest::qWaitFor([&]() { return (w->ViewState(0) & 0x40) != 0; }, 30000);
    }
    // The clip dialog and the result tip run modally inside the press or the result slot, so
    // the test answers them from a timer that fires in their own event loop: handler gets each
    // modal dialog that shows and returns true once it has dealt with it.
    void WhenModal(std::function<bool(QWidget*)> handler) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [timer, handler]() {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->isVisible() && handler(modal)) timer->deleteLater();
        });
        timer->start(50);
    }

private slots:
    void initTestCase() {
        INFRA::TestSeams::SetUiLogPath(g_home->filePath("ui.log"));
        CPlayerContext* ctx = CPlayerContext::Instance();
        ctx->LoadConfig();
        media = g_home->filePath("media/source.mp4");
        clips = g_home->filePath("clips");
        QVERIFY(QDir().mkpath(clips));
        ctx->settings.cutRecordFolder = clips;
        ctx->settings.cutRecordFormat = 0;
        QVERIFY(Ffmpeg(media, 60));
        CLumoDownload::SetPollIntervalMs(100);
        w = new MainWindow();
        seam = new PlayerControlSeam(w, QStringLiteral("vantel-cut-test-%1").arg(QCoreApplication::applicationPid()));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }

    void cleanupTestCase() {
        delete w;
        CPlayControler::Instance()->CoreInvalidate();
    }

    // Two presses at 10 s and 40 s propose 10 s to 40 s of the file; cancelling clears the mark
    // and the next press starts a new one.
    void twoPressesProposeTheRangeAndCancelClearsTheMark() {
        QVERIFY(PlayPaused(media));
        CLumoFile* file = ViewFile(0);
        QVERIFY(file && !file->timeS.IsEmpty());
        const CLumoTime start = file->timeS;
        QVERIFY(w->CutButton()->isEnabled());
        QCOMPARE(seam->Execute("cut 10"), QString("ok"));
        QTRY_VERIFY(w->IsCutMarked(0));
        QVERIFY(w->CutMark(0) == At(start, 10));
        QVERIFY(w->CutButton()->isChecked());

        CutInfo info;
        QVERIFY(w->BuildCutInfo(0, w->CutMark(0), At(start, 40), &info));
        QVERIFY(info.cutStart == At(start, 10));
        QVERIFY(info.cutEnd == At(start, 40));
        QCOMPARE(info.saveFolder, clips);
        QVERIFY(info.filePath.endsWith("source.mp4"));

        QString shown;
        WhenModal([&](QWidget* modal) {
            shown = seam->Execute("modal");
            return seam->Execute("reject") == "ok";
        });
        QCOMPARE(seam->Execute("cut 40"), QString("ok"));
        QTRY_COMPARE(shown, QString("CutTip"));
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(!w->IsCutMarked(0));
        QVERIFY(!w->CutButton()->isChecked());
        QCOMPARE(CDownloadManager::Instance()->GetWaitingCount() + CDownloadManager::Instance()->GetRunningCount(), 0);
        QCOMPARE(QDir(clips).entryList(QDir::Files).size(), 0);
        // The next press marks anew.
        QCOMPARE(seam->Execute("cut 5"), QString("ok"));
        QTRY_VERIFY(w->IsCutMarked(0));
        QVERIFY(w->CutMark(0) == At(start, 5));
        w->CutClip(-1);  // no such view: nothing happens
        w->CloseView(0);
        QVERIFY(!w->IsCutMarked(0));
    }

    // A mark belongs to its file: the player reporting again the file the view shows (it does
    // after a seek, and on a busy machine the report may come after the press) keeps it; a report
    // of another file clears it.
    void markSurvivesAReportOfTheSameFile() {
        QVERIFY(PlayPaused(media));
        CLumoFile* file = ViewFile(0);
        QVERIFY(file);
        QCOMPARE(seam->Execute("cut 10"), QString("ok"));
        QTRY_VERIFY(w->IsCutMarked(0));
        w->on_playfile_handoff(0, QString::fromStdString(file->url));
        QVERIFY(w->IsCutMarked(0));
        QVERIFY(w->CutButton()->isChecked());
        w->on_playfile_handoff(0, QString());  // the view lost its file
        QVERIFY(!w->IsCutMarked(0));
        w->CloseView(0);
    }

    // Accepted, the clip is cut in the background and its result shown; the file plays back with
    // about the duration asked (a stream copy starts on a key frame).
    void acceptedClipIsCutAndReported() {
        QVERIFY(PlayPaused(media));
        QCOMPARE(seam->Execute("cut 10"), QString("ok"));
        QTRY_VERIFY(w->IsCutMarked(0));
        bool tipShown = false, accepted = false;
        WhenModal([&](QWidget* modal) {
            if (qobject_cast<CutTip*>(modal)) {
                if (!accepted) accepted = seam->Execute("accept") == "ok";
                return false;  // the result tip comes next
            }
            if (!qobject_cast<DialogTip*>(modal)) return false;
            tipShown = true;
            static_cast<QDialog*>(modal)->reject();
            return true;
        });
        QCOMPARE(seam->Execute("cut 40"), QString("ok"));
        QTRY_VERIFY_WITH_TIMEOUT(tipShown, 60000);
        const QJsonObject last = QJsonDocument::fromJson(seam->Execute("lastcut").toUtf8()).object();
        QCOMPARE(last.value("result").toInt(), 1);
        QVERIFY(last.value("source").toString().endsWith("source.mp4"));
        const QString output = last.value("output").toString();
        QVERIFY2(output.startsWith(clips) && QFileInfo::exists(output), qPrintable(output));
        QTRY_VERIFY(!QApplication::activeModalWidget());
        const double seconds = ProbeSeconds(output);
        QVERIFY2(qAbs(seconds - 30.0) <= 1.5, qPrintable(QString::number(seconds)));
        QVERIFY(!w->IsCutMarked(0));
    }

    // Every result reaches the window once, with the clip's source and output paths, and shows
    // its text; the window then lets go of the clip, so a later report of it reaches no one.
    void resultIsTakenOnceWithBothPaths_data() {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("key");
        QTest::newRow("done") << 1 << "cut_success";
        QTest::newRow("failed") << 2 << "cut_fail";
        QTest::newRow("disk full") << 3 << "cut_disk_full";
    }
    void resultIsTakenOnceWithBothPaths() {
        QFETCH(int, result);
        QFETCH(QString, key);
        CLumoFile clip;
        clip.SetUrl(LocalRecordUrl(media, QString()));
        CLumoDownload task(clip, CLumoString(clips.toStdString()), 0);
        QCOMPARE(task.ResultSignal().Attach(w->ClipCallback(), &ILumoCallback::OnSignal), 0);
        bool tipShown = false;
        WhenModal([&](QWidget* modal) {
            if (!qobject_cast<DialogTip*>(modal)) return false;
            tipShown = true;
            static_cast<QDialog*>(modal)->reject();
            return true;
        });
        QByteArray source = media.toUtf8(), output = QDir(clips).filePath("clip.dav").toUtf8();
        void* sender = static_cast<CLumoObject*>(&task);
        QCOMPARE(task.ResultSignal().Commit(sender, result, source.data(), output.data()), 1);
        QCOMPARE(task.ResultSignal().GetCount(), 0);
        QCOMPARE(task.ResultSignal().Commit(sender, result, source.data(), output.data()), 0);
        QTRY_VERIFY_WITH_TIMEOUT(tipShown, 30000);
        QCOMPARE(w->LastCutResult().result, uint(result));
        QCOMPARE(w->LastCutResult().source, media);
        QCOMPARE(w->LastCutResult().output, QString::fromUtf8(output));
        QFile log(g_home->filePath("ui.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QStringList tip;
        for (const QString& line : QString::fromUtf8(log.readAll()).split('\n'))
            if (line.startsWith("tip\t")) tip = line.split('\t');
        QCOMPARE(tip.value(2), QCoreApplication::translate("MainWindow", key.toUtf8().constData()));
        QCOMPARE(tip.value(3), media);
        QCOMPARE(tip.value(4), QString::fromUtf8(output));
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }

    // A request from elsewhere than the dialog is held to the dialog's rule.
    void queueRefusesRangesOutsideTheFile_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("result");
        QTest::newRow("reversed") << 40 << 10 << -4;
        QTest::newRow("empty") << 10 << 10 << -4;
        QTest::newRow("before the file") << -5 << 10 << -4;
        QTest::newRow("past the file") << 50 << 75 << -4;
    }
    void queueRefusesRangesOutsideTheFile() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, result);
        QVERIFY(PlayPaused(media));
        const CLumoTime start = ViewFile(0)->timeS;
        CutInfo info;
        QVERIFY(w->BuildCutInfo(0, At(start, from), At(start, to), &info));
        QCOMPARE(w->QueueClip(0, info), result);
        QCOMPARE(w->QueueClip(5, info), -9);  // a view without a file
    }

    // Last: the window goes while a clip runs. The clip is stopped and waited for; whatever is
    // left under a final name is a whole clip, and no partial file stays.
    void windowGoingStopsTheRunningClip() {
        QVERIFY(PlayPaused(media));
        const QString folder = g_home->filePath("clips-exit");
        QVERIFY(QDir().mkpath(folder));
        const CLumoTime start = ViewFile(0)->timeS;
        CutInfo info;
        QVERIFY(w->BuildCutInfo(0, At(start, 1), At(start, 59), &info));
        info.saveFolder = folder;
        QCOMPARE(w->QueueClip(0, info), 0);
        delete w;
        w = nullptr;
        QCOMPARE(CDownloadManager::Instance()->GetRunningCount(), 0);
        for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files)) {
            QVERIFY2(!f.fileName().endsWith(".part"), qPrintable(f.fileName()));
            QVERIFY2(qAbs(ProbeSeconds(f.filePath()) - 58.0) <= 1.5, qPrintable(f.fileName()));
        }
    }
};

int main(int argc, char** argv) {
    return RunWindowTest<TestMainWindowCut>(argc, argv, &g_home);
}

#include "tst_mainwindowcut.moc"
