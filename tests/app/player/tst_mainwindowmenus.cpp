// The main window's menus and the dialogs they open, with real players on generated files: the
// language switch (and the same language again), the menus after a switch, locating by seconds
// and by time (bounds, 64-bit offsets), the aspect choice per view, what the menus offer for a
// stream view and for list selections, the URL dialog's result (listed, not played), removing a
// playing stream's row, the settings' stay-on-top mode, and the control seam's commands over the
// same paths.
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QDialogButtonBox>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QSlider>
#include <QtTest>
#include "testsupport.h"

#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/testseams.h"
#include "common/playlist/playlistwidget.h"
#include "player/dialogs/about.h"
#include "player/dialogs/addurl.h"
#include "player/dialogs/setting.h"
#include "player/mainwindow.h"
#include "player/playcontroler.h"
#include "player/playercontext.h"
#include "player/playerfiles.h"
#include "windowtesting.h"
#include "player/playercontrolseam.h"

namespace {

QTemporaryDir* g_home = nullptr;
const QString kChinese = QString::fromUtf8("简体中文");

void* Panel() { return CPlayControler::Instance()->GetPanelHandle(); }

bool Ffmpeg(const QString& path, int seconds, const QStringList& codec) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QProcess ff;
    ff.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                   "testsrc=size=320x240:rate=25", "-t", QString::number(seconds)} +
                           codec + QStringList{path});
    return ff.waitForFinished(60000) && ff.exitStatus() == QProcess::NormalExit && ff.exitCode() == 0;
}

// The entry of a menu (or of its submenus) named by its key.
// The settings file as it is on disk now.
PlayerSettings StoredSettings() {
    PlayerSettings s;
    QString error;
    ReadSettings(CPlayerContext::Instance()->settingsPath, &s, &error);
    return s;
}

QAction* Entry(QMenu* menu, const QString& key) {
    for (QAction* a : menu->findChildren<QAction*>())
        if (a->objectName() == key) return a;
    return nullptr;
}

QStringList VisibleKeys(QMenu* menu) {
    QStringList keys;
    for (QAction* a : menu->actions())
        if (a->isVisible() && !a->isSeparator()) keys << a->objectName();
    return keys;
}

}  // namespace

class TestMainWindowMenus : public QObject {
    Q_OBJECT
    MainWindow* w = nullptr;
    PlayerControlSeam* seam = nullptr;
    QString clip, clipOther, stream;
    QProcess* rtsp = nullptr;
    QString rtspUrl;
    int languageChanges = 0;

    bool Open(int view) { return (w->ViewState(view) & 0x30) == 0x10; }
    std::string Url(const QString& path) { return LocalRecordUrl(path, QString()); }
    std::string ViewUrl(int view) {
        CLumoString url;
        CPlayControler::Instance()->GetViewUrl(Panel(), view, &url);
        return url.Str();
    }
    bool PlayIn(int view, const QString& path) {
        w->SelectView(view);
        w->OpenPaths({path}, true);
        return QTest::qWaitFor([&]() { return w->PendingIntakes() == 0 && Open(view) && ViewUrl(view) == Url(path); },
                               20000);
    }
    // Seconds since the file's start the view plays at (-1 unknown).
    qint64 PlayedSeconds(int view) {
        CLumoFile* file = nullptr;
        CLumoTime now;
        CPlayControler* ctl = CPlayControler::Instance();
        if (ctl->GetViewFile(Panel(), view, &file) != 0 || !file) return -1;
        if (ctl->GetPlaybackTime(Panel(), view, &now) != 0 || now.IsEmpty()) return -1;
        return now - file->timeS;
    }
    bool PausedAt(int view) {
        w->PlayOrPause();
        return QTest::qWaitFor([&]() { return (w->ViewState(view) & 0x40) != 0; }, 30000);
    }
    void Switch(const QString& name) {
        std::unique_ptr<QMenu> menu(w->BuildBasicMenu());
        QAction* a = Entry(menu.get(), name);
        QVERIFY(a);
        QVERIFY(a->isEnabled());
        a->trigger();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == w && event->type() == QEvent::LanguageChange) ++languageChanges;
        return QObject::eventFilter(watched, event);
    }

private slots:
    void initTestCase() {
        INFRA::TestSeams::SetUiLogPath(g_home->filePath("ui.log"));
        INFRA::TestSeams::SetScriptedReply("ok");
        CPlayerContext* ctx = CPlayerContext::Instance();
        ctx->LoadConfig();
        // The languages as the program ships them, from its folder.
        const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
        QVERIFY2(!bin.isEmpty(), "VANTEL_BIN_DIR is not set");
        CPlayerContext shipped(bin, g_home->filePath("shipped/config"), g_home->filePath("shipped/data"));
        shipped.LoadConfig();
        ctx->languageDir = shipped.languageDir;
        ctx->languageNames = shipped.languageNames;
        QVERIFY2(ctx->languageNames.contains(kChinese), "the program's language files are not built");
        ctx->settings.language = "English";
        QVERIFY(ctx->LoadLanguage("English"));
        const QString media = g_home->filePath("media");
        clip = media + "/long.mp4";
        clipOther = media + "/other.mp4";
        stream = media + "/stream.ts";
        QVERIFY(Ffmpeg(clip, 120, {"-c:v", "mpeg4", "-q:v", "5"}));
        QVERIFY(Ffmpeg(clipOther, 60, {"-c:v", "mpeg4", "-q:v", "5"}));
        w = new MainWindow();
        w->installEventFilter(this);
        seam = new PlayerControlSeam(w, QStringLiteral("vantel-menus-test-%1").arg(QCoreApplication::applicationPid()));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }

    void cleanupTestCase() {
        delete w;
        CPlayControler::Instance()->CoreInvalidate();
        if (rtsp) {
            rtsp->terminate();
            rtsp->waitForFinished(5000);
        }
    }

    void cleanup() {
        if (CPlayerContext::Instance()->settings.language != "English") w->SwitchLanguage("English");
        w->SetSplit(1);
        w->SelectView(0);
        w->ApplyStick(0);
        w->ClearPlayList(true);
        QCOMPARE(w->PlayingViews(), quint16(0));
    }

    // -----------------------------------------------------------------------------------------
    // Languages.

    void languageSwitchAndBack() {
        QVERIFY(w->MenuButton()->isVisible());
        const QString englishList = w->ListNameLabel()->text();
        QCOMPARE(englishList, QString("Play list"));
        w->OpenUrlDialog();  // an open dialog follows the language too
        QTRY_VERIFY(w->UrlDialog()->isVisible());
        auto* title = w->UrlDialog()->findChild<QLabel*>("labelTittle");
        QVERIFY(title);
        const QString englishTitle = title->text();

        Switch(kChinese);
        QCOMPARE(CPlayerContext::Instance()->settings.language, kChinese);
        QCOMPARE(StoredSettings().language, kChinese);  // on disk at once, not only at exit
        QCOMPARE(w->ListNameLabel()->text(), QString::fromUtf8("播放列表"));
        QCOMPARE(w->SearchButton()->text(), QString::fromUtf8("确定"));
        QCOMPARE(w->AddButton()->toolTip(), QCoreApplication::translate("MainWindow", "add_to_play_list"));
        QTRY_VERIFY(title->text() != englishTitle);  // dialogs retranslate just after
        // The menus work in the new language: their texts follow it, their entries still act.
        std::unique_ptr<QMenu> add(w->BuildAddMenu());
        QCOMPARE(Entry(add.get(), "add_file")->text(), QString::fromUtf8("添加文件"));
        w->UrlDialog()->hide();
        Entry(add.get(), "add_URL")->trigger();
        QTRY_VERIFY(w->UrlDialog()->isVisible());
        w->UrlDialog()->hide();
        std::unique_ptr<QMenu> basic(w->BuildBasicMenu());
        // The languages, the settings and About: the backup list has no entry of its own.
        QCOMPARE(VisibleKeys(basic.get()), (QStringList{"language", "setting", "about"}));
        QVERIFY(Entry(basic.get(), kChinese)->isChecked());
        QVERIFY(!Entry(basic.get(), "English")->isChecked());
        Entry(basic.get(), "about")->trigger();
        QTRY_VERIFY(w->AboutDialog()->isVisible());
        w->AboutDialog()->hide();

        Switch("English");
        QCOMPARE(CPlayerContext::Instance()->settings.language, QString("English"));
        // Nothing of the previous language remains.
        QCOMPARE(w->ListNameLabel()->text(), englishList);
        QCOMPARE(w->SearchButton()->text(), QString("OK"));
        QTRY_COMPARE(title->text(), englishTitle);
        for (QWidget* widget : w->findChildren<QWidget*>()) {
            for (const QString& text : {widget->toolTip(), widget->property("text").toString()})
                for (const QChar c : text) QVERIFY2(c.unicode() < 0x2E80, qPrintable(widget->objectName() + ": " + text));
        }
    }

    void sameLanguageAgainDoesNothing() {
        languageChanges = 0;
        Switch("English");
        QCOMPARE(w->SwitchLanguage("English"), -9);
        QCoreApplication::processEvents();
        QCOMPARE(languageChanges, 0);
        // An unknown name or one without its language file changes nothing either.
        QCOMPARE(w->SwitchLanguage("Klingon"), -11);
        QCOMPARE(CPlayerContext::Instance()->settings.language, QString("English"));
        // The seam goes the same way.
        QCOMPARE(seam->Execute("language " + kChinese), QString("ok"));
        QTRY_COMPARE(w->ListNameLabel()->text(), QString::fromUtf8("播放列表"));
        QCOMPARE(seam->Execute("language " + kChinese), QString("error -9"));
    }

    // -----------------------------------------------------------------------------------------
    // Locating.

    void locateBySeconds_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("inside") << qint64(30) << qint64(30);
        QTest::newRow("before the start") << qint64(-5) << qint64(0);
        QTest::newRow("beyond the end") << qint64(100000) << qint64(120);
        // Cut to 32 bits it would read 5 seconds.
        QTest::newRow("64-bit offset") << (qint64(1) << 32) + 5 << qint64(120);
    }
    void locateBySeconds() {
        QFETCH(qint64, seconds);
        QFETCH(qint64, expected);
        QVERIFY(PlayIn(0, clip));
        QVERIFY(PausedAt(0));
        QCOMPARE(w->LocateSeconds(0, seconds), 0);
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(PlayedSeconds(0) - expected) <= 1, 30000);
        // The view stays paused, and the play button says so.
        QVERIFY(w->ViewState(0) & 0x40);
        QVERIFY(!w->PlayButton()->isChecked());
    }

    // Every way of seeking leaves the play button showing what the view does: paused stays
    // paused, playing stays playing.
    void playButtonFollowsTheViewAfterASeek_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("paused");
        for (const char* how : {"locate", "click on the slider", "slider press"}) {
            QTest::addRow("%s, paused", how) << QString(how) << true;
            QTest::addRow("%s, playing", how) << QString(how) << false;
        }
    }
    void playButtonFollowsTheViewAfterASeek() {
        QFETCH(QString, how);
        QFETCH(bool, paused);
        QVERIFY(PlayIn(0, clip));
        if (paused) QVERIFY(PausedAt(0));
        QSlider* slider = w->ProgressSlider();
        QTRY_VERIFY_WITH_TIMEOUT(slider->isEnabled() && slider->maximum() > 0, 30000);
        if (how == "locate") {
            QCOMPARE(w->LocateSeconds(0, 60), 0);
        } else if (how == "click on the slider") {
            slider->resize(qMax(slider->width(), 200), qMax(slider->height(), 20));
            QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(slider->width() * 3 / 4, slider->height() / 2));
        } else {
            QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, slider->rect().center());
            QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, slider->rect().center());
        }
        QCOMPARE(bool(w->ViewState(0) & 0x40), paused);
        QCOMPARE(w->PlayButton()->isChecked(), !paused);
        QCOMPARE(w->PlayButton()->toolTip().toLower(), paused ? QString("play") : QString("pause"));
    }

    void locateByTime_data() {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("result");
        QTest::newRow("inside") << 50 << 0;
        QTest::newRow("the start") << 0 << 0;
        QTest::newRow("the end") << 120 << 0;
        QTest::newRow("a second before") << -1 << -4;
        QTest::newRow("a second after") << 121 << -4;
    }
    void locateByTime() {
        QFETCH(int, offset);
        QFETCH(int, result);
        QVERIFY(PlayIn(0, clip));
        QVERIFY(PausedAt(0));
        QVERIFY(w->LocateSeconds(0, 70) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(PlayedSeconds(0) - 70) <= 1, 30000);
        CLumoFile* file = nullptr;
        CPlayControler::Instance()->GetViewFile(Panel(), 0, &file);
        QVERIFY(file);
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(file->timeS.ToEpochMs());
        QCOMPARE(w->LocateTime(0, start.addSecs(offset)), result);
        const qint64 expected = result == 0 ? qMin(offset, 120) : 70;
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(PlayedSeconds(0) - expected) <= 1, 30000);
        // The seam's "locatetime" takes the time of day on the file's start day.
        if (result == 0)
            QCOMPARE(seam->Execute("locatetime " + start.addSecs(offset).toString("HH:mm:ss")), QString("ok"));
    }

    void locateWithoutFileDoesNothing() {
        QCOMPARE(w->LocateSeconds(3, 10), -9);
        QCOMPARE(seam->Execute("locate 10"), QString("error -9"));
        QCOMPARE(seam->Execute("info 0"), QString("error -9"));
        QVERIFY(!w->BuildViewMenu(0));
    }

    // -----------------------------------------------------------------------------------------
    // View menu.

    void aspectKeptPerViewAndResetOnClose() {
        w->SetSplit(2);
        QVERIFY(PlayIn(0, clip));
        QVERIFY(PlayIn(1, clipOther));
        {
            std::unique_ptr<QMenu> menu(w->BuildViewMenu(0));
            QVERIFY(menu);
            QVERIFY(Entry(menu.get(), "aspect_ratio_fill")->isChecked());
            Entry(menu.get(), "aspect_ratio_16_9")->trigger();
        }
        QCOMPARE(w->AspectChoice(0), int(MainWindow::ASPECT_16_9));
        const auto checked = [&](int view) {
            std::unique_ptr<QMenu> menu(w->BuildViewMenu(view));
            QStringList keys;
            for (const char* k : {"aspect_ratio_fill", "aspect_ratio_original", "aspect_ratio_4_3", "aspect_ratio_16_9"})
                if (Entry(menu.get(), k)->isChecked()) keys << k;
            return keys;
        };
        QCOMPARE(checked(0), QStringList{"aspect_ratio_16_9"});
        QCOMPARE(checked(1), QStringList{"aspect_ratio_fill"});
        QCOMPARE(seam->Execute("aspect 1 4:3"), QString("ok"));
        QCOMPARE(checked(1), QStringList{"aspect_ratio_4_3"});
        QCOMPARE(seam->Execute("aspect 1 5:4"), QString("error usage"));
        w->CloseView(0);
        QVERIFY(PlayIn(0, clip));
        QCOMPARE(checked(0), QStringList{"aspect_ratio_fill"});
        QCOMPARE(checked(1), QStringList{"aspect_ratio_4_3"});
    }

    void recordViewMenu() {
        QVERIFY(PlayIn(0, clip));
        std::unique_ptr<QMenu> menu(w->BuildViewMenu(0));
        QCOMPARE(VisibleKeys(menu.get()), (QStringList{"snap", "play_control", "local_time_stamp", "local_time_global",
                                                       "aspect_ratio", "file_info"}));
        for (const char* k : {"snap", "play_control", "local_time_stamp", "local_time_global", "aspect_ratio", "file_info"})
            QVERIFY2(Entry(menu.get(), k)->isEnabled(), k);
        // Play control acts on the menu's view.
        Entry(menu.get(), "play_faster")->trigger();
        QCOMPARE(w->StatusText(0), QString("Speed x 2"));
        Entry(menu.get(), "play_normal_speed")->trigger();
        QCOMPARE(w->StatusText(0), QString("Play"));
        // The information the dialog would show.
        const QJsonObject info = QJsonDocument::fromJson(seam->Execute("info 0").toUtf8()).object();
        QVERIFY(!info.isEmpty());
        bool named = false;
        for (const QJsonValue v : info) named |= v.toString().contains("long.mp4");
        QVERIFY2(named, qPrintable(QJsonDocument(info).toJson()));
    }

    void streamViewMenuGreysWhatAStreamLacks() {
        if (!rtsp) {
            QVERIFY(Ffmpeg(stream, 60, {"-c:v", "libx264", "-preset", "ultrafast", "-f", "mpegts"}));
            rtsp = new QProcess(this);
            rtsp->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            rtsp->start("/usr/bin/python3", {qEnvironmentVariable("VANTEL_SOURCE_DIR") + "/tests/e2e/rtsp_server.py",
                                             stream, "--port", "0", "--mount", "/live"});
            rtsp->waitForStarted(10000);
            int port = 0;
            (void)QTest::qWaitFor([&]() {
                while (rtsp->canReadLine()) {
                    const QByteArray line = rtsp->readLine().trimmed();
                    if (line.startsWith("READY ")) port = line.mid(6).toInt();
                }
                return port > 0 || rtsp->state() != QProcess::Running;
            }, 30000);
            if (port > 0) rtspUrl = QString("rtsp://127.0.0.1:%1/live").arg(port);
        }
        VT_REQUIRE(!rtspUrl.isEmpty(), "no RTSP test server (python3-gi with GstRtspServer)");
        w->SetSplit(2);
        w->SelectView(3);
        // As the URL dialog hands it over: listed once, played by no view.
        QString url = rtspUrl;
        w->OpenUrlDialog();
        emit w->UrlDialog()->onAddUrl(&url);
        emit w->UrlDialog()->onAddUrl(&url);
        QCOMPARE(w->PlayList()->count(), 1);
        const int row = w->FindRowByUrl(rtspUrl.toStdString());
        QCOMPARE(row, 0);
        QCOMPARE(w->PlayingViews(), quint16(0));
        QVERIFY(!Open(3));
        // Started from the list, it plays in the selected view.
        QCOMPARE(w->PlayRow(row), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Open(3) && ViewUrl(3) == rtspUrl.toStdString(), 30000);
        QCOMPARE(w->PlayingViews(), quint16(1u << 3));
        {
            std::unique_ptr<QMenu> menu(w->BuildViewMenu(3));
            QVERIFY(menu);
            // Every entry stays in its place; only snap and the aspect choice can be taken.
            const QStringList keys{"snap", "play_control", "local_time_stamp", "local_time_global", "aspect_ratio",
                                   "file_info"};
            QCOMPARE(VisibleKeys(menu.get()), keys);
            for (const QString& key : keys)
                QVERIFY2(Entry(menu.get(), key)->isEnabled() == (key == "snap" || key == "aspect_ratio"),
                         qPrintable(key));
        }
        // The seam's "url" takes the dialog's road: already listed, nothing more happens.
        w->SelectView(1);
        QCOMPARE(seam->Execute("url " + rtspUrl), QString("ok"));
        QCOMPARE(w->PlayList()->count(), 1);
        QVERIFY(!Open(1));
        QCOMPARE(seam->Execute("url nonsense"), QString("error not_playable"));
        // The same row plays in a second view too.
        QCOMPARE(w->PlayRow(row), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Open(1) && ViewUrl(1) == rtspUrl.toStdString(), 30000);
        // A stream has nothing else to go on with: removing its row closes both views.
        w->RemoveFiles({row});
        QCOMPARE(w->PlayList()->count(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!Open(1) && !Open(3), 30000);
        QCOMPARE(w->PlayingViews(), quint16(0));
    }

    // -----------------------------------------------------------------------------------------
    // Play-list menu.

    void openSourceOnlyForOneLocalFile() {
        w->OpenPaths({clip, clipOther}, false);
        QTRY_COMPARE_WITH_TIMEOUT(w->PlayList()->count(), 2, 20000);
        w->PlayList()->clearSelection();
        QVERIFY(!w->BuildListMenu());  // nothing selected: no menu
        w->PlayList()->item(0)->setSelected(true);
        {
            std::unique_ptr<QMenu> menu(w->BuildListMenu());
            QVERIFY(menu);
            QVERIFY(Entry(menu.get(), "open_src")->isEnabled());
            Entry(menu.get(), "open_src")->trigger();
            QFile log(g_home->filePath("ui.log"));
            QVERIFY(log.open(QIODevice::ReadOnly));
            QVERIFY(log.readAll().contains(QFileInfo(clip).absolutePath().toUtf8()));
        }
        w->PlayList()->item(1)->setSelected(true);
        {
            std::unique_ptr<QMenu> menu(w->BuildListMenu());
            QCOMPARE(VisibleKeys(menu.get()), (QStringList{"delete", "clear", "open_src"}));
            QVERIFY(!Entry(menu.get(), "open_src")->isEnabled());
            Entry(menu.get(), "delete")->trigger();
        }
        QCOMPARE(w->PlayList()->count(), 0);
        // A stream row has no folder either.
        QCOMPARE(w->AddStreamUrl("rtsp://127.0.0.1:9/none", false), 0);
        w->PlayList()->item(0)->setSelected(true);
        std::unique_ptr<QMenu> menu(w->BuildListMenu());
        QVERIFY(!Entry(menu.get(), "open_src")->isEnabled());
    }

    // The recorder-disk search hands over a list it keeps: the play list takes copies (the
    // dialog's next search may free them), lists the files in order and plays none.
    void diskSearchResultIsListedNotPlayed() {
        std::unique_ptr<QMenu> menu(w->BuildAddMenu());
        QVERIFY(Entry(menu.get(), "add_disk_file")->isEnabled());
        const char* uris[] = {
            "lumofs://local/disk=/media/rec&path=/media/rec/blk00000&filename=c01_s0_r0_20260101_080000.dav",
            "lumofs://local/disk=/media/rec&path=/media/rec/blk00000&filename=c03_s1_r0_20260101_081000.dav"};
        auto* found = new CLumoFileDescList();
        for (const char* uri : uris) {
            auto* d = new CLumoFileDesc();
            d->SetURI(uri);
            found->Append(d);
        }
        w->on_diskFile_add(found);
        delete found;
        QCOMPARE(w->PlayList()->count(), 2);
        for (int row = 0; row < 2; ++row) {
            const auto* f = reinterpret_cast<const CLumoFile*>(quintptr(w->PlayList()->GetItemId(row)));
            QVERIFY(f);
            QCOMPARE(f->url, std::string(uris[row]));
            QCOMPARE(int(f->type), int(CLumoFile::TYPE_DISK));
        }
        QCOMPARE(w->PlayingViews(), quint16(0));
    }

    // -----------------------------------------------------------------------------------------
    // Settings.

    void settingsOkAppliesStayOnTop() {
        w->ApplyStick(0);
        QVERIFY(!(w->windowFlags() & Qt::WindowStaysOnTopHint));
        std::unique_ptr<QMenu> menu(w->BuildBasicMenu());
        Entry(menu.get(), "setting")->trigger();
        Setting* setting = w->SettingDialog();
        QTRY_VERIFY(setting->isVisible());
        auto* always = setting->findChild<QRadioButton*>("radioButtonAlwaysStick");
        QVERIFY(always);
        always->setChecked(true);
        auto* box = setting->findChild<QDialogButtonBox*>();
        QVERIFY(box);
        box->button(QDialogButtonBox::Ok)->click();
        QTRY_VERIFY(!setting->isVisible());
        QCOMPARE(w->StickMode(), 1);
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
        // Written at once: a program killed right after the Ok keeps them.
        QCOMPARE(StoredSettings().stick, 1);
    }
};

int main(int argc, char** argv) {
    return RunWindowTest<TestMainWindowMenus>(argc, argv, &g_home);
}

#include "tst_mainwindowmenus.moc"
