// The option pages: what a page saves is what the next start reads back; what the operator did
// not change stays as stored; Default and the unsaved-changes check change nothing stored.
#include <QListWidget>
#include <QtTest>

#include "VantelInfraAPI/vantelutility.h"
#include "settings/sysconfig.h"
#include "settingstestsupport.h"

class TestSettingsPages : public QObject {
    Q_OBJECT
    SettingsEnv env;

    static void Show(SysConfig& dialog, int row) {
        dialog.GetUi();
        dialog.OnSwitchPage(row);
        QCOMPARE(dialog.GetCurrentRow(), row);
    }

private slots:
    void init() { env.Reset(); }
    void cleanup() { SettingsEnv::CloseNotices(); }

    void savedValuesComeBack_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::newRow("general: last state") << 0 << "restorelast" << QVariant(true) << "Common/StartWithLast"
                                             << "true";
        QTest::newRow("general: full screen")
            << 0 << "openfullscreen" << QVariant(true) << "Common/AutoFullScreen"
            << "true";
        QTest::newRow("file: record folder")
            << 1 << "videopath" << QVariant("/srv/rec & more=1") << "File/RecordFolder"
            << "/srv/rec & more=1";
        QTest::newRow("file: picture folder")
            << 1 << "imgpath" << QVariant("/srv/pic\\ture") << "File/PictureFolder"
            << "/srv/pic\\ture";
        QTest::newRow("playback: search location")
            << 2 << "wheresearch" << QVariant(1) << "Playback/SearchLocation"
            << "1";
        QTest::newRow("playback: prior play 5 s")
            << 2 << "priorplay" << QVariant(1) << "Playback/PriorPlayTime"
            << "5";
        QTest::newRow("playback: prior play last item")
            << 2 << "priorplay" << QVariant(7) << "Playback/PriorPlayTime"
            << "3600";
        QTest::newRow("playback: merge last") << 2 << "mergerate" << QVariant(2) << "Playback/MergeRate"
                                              << "2";
        QTest::newRow("playback: avi") << 2 << "cbRecordFmt" << QVariant(2) << "Playback/PacketType"
                                       << "2";
        QTest::newRow("video: bmp") << 3 << "picfmt" << QVariant(1) << "Video/CaptureFormat"
                                    << "1";
        QTest::newRow("video: 4:3") << 3 << "videoratio" << QVariant(2) << "Video/DisplayScale"
                                    << "2";
        QTest::newRow("video: 144 fps") << 3 << "framerate" << QVariant(144) << "Video/FrameRate"
                                        << "144";
        QTest::newRow("video: smart rules") << 3 << "smartreg" << QVariant(true) << "Video/SmartRuleDisplay"
                                            << "true";
        QTest::newRow("video: dav") << 3 << "cbxrecfmt" << QVariant(1) << "Video/PacketType"
                                    << "1";
        QTest::newRow("toolbar: hidden") << 5 << "showonstartup" << QVariant(false) << "Toolbar/ShowToolbar"
                                         << "false";
        QTest::newRow("toolbar: record button")
            << 5 << "PRecord" << QVariant(true) << "Toolbar/PreviewButtons"
            << "0,1,2,3,4,5,8";
        QTest::newRow("toolbar: no snapshot")
            << 5 << "TSnapshot" << QVariant(false) << "Toolbar/PlaybackButtons"
            << "3,5,0,1,4";
        QTest::newRow("e-mail: server")
            << 6 << "smtpAddr" << QVariant("mail.example.com") << "Email/SmtpServer"
            << "mail.example.com";
        QTest::newRow("e-mail: STARTTLS") << 6 << "smartTLS" << QVariant(true) << "Email/Security"
                                          << "2";
        QTest::newRow("e-mail: port") << 6 << "port" << QVariant(2525) << "Email/Port0"
                                      << "2525";
        QTest::newRow("e-mail: third recipient")
            << 6 << "receiver3" << QVariant("ops@example.com") << "Email/Recipient3"
            << "ops@example.com";
        QTest::newRow("e-mail: password") << 6 << "password" << QVariant("p4ss;word") << "Email/Password"
                                          << "p4ss;word";
    }
    void savedValuesComeBack() {
        QFETCH(int, row);
        QFETCH(QString, control);
        QFETCH(QVariant, value);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        {
            SysConfig dialog(nullptr);
            Show(dialog, row);
            SetControl(&dialog, control, value);
            dialog.OnSave();
            QCOMPARE(env.Notices(), QStringList{"K2354_Success|K2355_SaveSuccessfully|0"});
        }
        QCOMPARE(env.Stored(key), stored);
        env.ReloadFromFile();
        SysConfig again(nullptr);
        Show(again, row);
        QCOMPARE(ControlState(&again, control), value);
        QVERIFY(!again.GetPage(row)->CheckUnsaved(true));
    }

    void theFileIsTheOwnersAlone() {
        SysConfig dialog(nullptr);
        Show(dialog, SysConfig::RowEmail);
        SetControl(&dialog, "password", "secret");
        dialog.OnSave();
        QCOMPARE(QFile::permissions(env.IniPath()) & 0x0077, QFileDevice::Permissions());
        QVERIFY(QFile::permissions(env.IniPath()) & QFileDevice::ReadOwner);
    }

    // Values the controls cannot show exactly stay as stored when the operator leaves them.
    void untouchedValuesStay_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("field");
        QTest::newRow("prior play of 45 s") << 2 << "priorPlayTime";
        QTest::newRow("frame rate of 200") << 3 << "frameRate";
        QTest::newRow("hard decoder on") << 3 << "hardDecoder";
        QTest::newRow("log keep time 9") << 0 << "logKeepTime";
        QTest::newRow("a naming rule not offered") << 1 << "recordRule";
        QTest::newRow("toolbar order and unknown id") << 5 << "previewButtons";
        QTest::newRow("no port entry for no encryption") << 6 << "ports";
    }
    void untouchedValuesStay() {
        QFETCH(int, row);
        QFETCH(QString, field);
        LumoCConfiguration* c = SettingsEnv::Config();
        if (field == "priorPlayTime") c->GetPlaybackOption()->priorPlayTime = 45;
        if (field == "frameRate") c->GetVideoOption()->frameRate = 200;
        if (field == "hardDecoder") c->GetVideoOption()->hardDecoder = true;
        if (field == "logKeepTime") c->GetCommonOption()->logKeepTime = 9;
        if (field == "recordRule") c->GetFileOption()->recordRule = "CHN-YYYYMMDD";
        if (field == "previewButtons") c->GetToolBarOption()->previewButtons = {8, 0, 10};
        if (field == "ports") c->GetEmailOption()->ports.erase(0);
        SysConfig dialog(nullptr);
        Show(dialog, row);
        QVERIFY2(!dialog.GetPage(row)->CheckUnsaved(true), "a spurious unsaved-changes notice");
        QCOMPARE(dialog.GetPage(row)->Save(), 0);
        QCOMPARE(c->GetPlaybackOption()->priorPlayTime, field == "priorPlayTime" ? 45 : 30);
        QCOMPARE(c->GetVideoOption()->frameRate, field == "frameRate" ? 200 : 25);
        QCOMPARE(c->GetVideoOption()->hardDecoder, field == "hardDecoder");
        QCOMPARE(c->GetCommonOption()->logKeepTime, field == "logKeepTime" ? 9 : 4);
        QCOMPARE(c->GetFileOption()->recordRule,
                 QString(field == "recordRule" ? "CHN-YYYYMMDD" : "GUID-CHN-STREAM-YYYYMMDD-HHMMSS"));
        if (field == "previewButtons")
            QCOMPARE(c->GetToolBarOption()->previewButtons, (QList<int>{8, 0, 10}));
        if (field == "ports") {
            QCOMPARE(c->GetEmailOption()->ports.count(0), size_t(0));
            QCOMPARE(ControlState(&dialog, "port").toInt(), 25);  // the usual port, shown, not stored
        }
        QCOMPARE(env.Notices(), QStringList());
    }

    void changedTogglesRebuildTheToolbarInBoxOrder() {
        SettingsEnv::Config()->GetToolBarOption()->previewButtons = {8, 0, 10};
        SysConfig dialog(nullptr);
        Show(dialog, SysConfig::RowToolbar);
        QVERIFY(ControlState(&dialog, "PRecord").toBool());
        QVERIFY(ControlState(&dialog, "PPause").toBool());
        SetControl(&dialog, "PLocate", true);
        QCOMPARE(dialog.GetPage(SysConfig::RowToolbar)->Save(), 0);
        // Box order; the id no box offers is kept.
        QCOMPARE(SettingsEnv::Config()->GetToolBarOption()->previewButtons, (QList<int>{0, 1, 8, 10}));
    }

    void showingThePagesLeavesTheLiveRecordsAlone() {
        const QList<int> preview = SettingsEnv::Config()->GetToolBarOption()->previewButtons;
        const QList<int> playback = SettingsEnv::Config()->GetToolBarOption()->playbackButtons;
        SysConfig dialog(nullptr);
        for (int row = 0; row < SysConfig::RowCount; ++row) Show(dialog, row);
        dialog.GetPage(SysConfig::RowToolbar)->Reload();
        QCOMPARE(SettingsEnv::Config()->GetToolBarOption()->previewButtons, preview);
        QCOMPARE(SettingsEnv::Config()->GetToolBarOption()->playbackButtons, playback);
        QVERIFY(!preview.isEmpty());
    }

    // Default shows the defaults; closing without a save leaves the live record and the file.
    void defaultThenCloseChangesNothing_data() {
        QTest::addColumn<int>("row");
        for (int row = 0; row < SysConfig::RowCount; ++row)
            QTest::newRow(qPrintable(QString("row %1").arg(row))) << row;
    }
    void defaultThenCloseChangesNothing() {
        QFETCH(int, row);
        LumoCConfiguration* c = SettingsEnv::Config();
        c->GetCommonOption()->startWithLast = true;
        c->GetFileOption()->recordFolder = "/srv/records";
        c->GetPlaybackOption()->searchLocation = 1;
        c->GetVideoOption()->captureFormat = 1;
        c->GetAlarmOption()->alarms.push_back(LumoC::CustomizeAlarm{9, "Door", "/srv/door.wav"});
        c->GetToolBarOption()->previewButtons = {8};
        c->GetEmailOption()->smtpServer = "mail.example.com";
        for (LumoC::OptionBase* o : std::initializer_list<LumoC::OptionBase*>{
                 c->GetCommonOption(), c->GetFileOption(), c->GetPlaybackOption(), c->GetVideoOption(),
                 c->GetAlarmOption(), c->GetToolBarOption(), c->GetEmailOption()})
            QCOMPARE(o->Write(), 0);
        const QByteArray before = env.IniBytes();

        SysConfig dialog(nullptr);
        dialog.show();
        Show(dialog, row);
        SysConfigPage* page = dialog.GetPage(row);
        dialog.OnRestore();
        QVERIFY2(page->CheckUnsaved(true), "the defaults differ from what is stored");
        env.ClearLog();
        dialog.hide();
        QCOMPARE(env.Notices().size(), 1);
        QVERIFY(env.Notices().first().startsWith("K2352_Unsaved|K2353_ChangesLost "));
        QCOMPARE(env.IniBytes(), before);
        QCOMPARE(c->GetCommonOption()->startWithLast, true);
        QCOMPARE(c->GetFileOption()->recordFolder, QString("/srv/records"));
        QCOMPARE(c->GetPlaybackOption()->searchLocation, 1);
        QCOMPARE(c->GetVideoOption()->captureFormat, 1);
        QCOMPARE(c->GetAlarmOption()->alarms.size(), size_t(9));
        QCOMPARE(c->GetToolBarOption()->previewButtons, QList<int>{8});
        QCOMPARE(c->GetEmailOption()->smtpServer, std::string("mail.example.com"));
        // Shown again: the stored values, nothing to warn about.
        QVERIFY(!page->CheckUnsaved(true));

        // Default and Save: the defaults are stored.
        dialog.OnRestore();
        dialog.OnSave();
        QVERIFY(!page->CheckUnsaved(true));
        QVERIFY(env.IniBytes() != before);
    }

    void autostartFollowsTheSaveOnly() {
        SysConfig dialog(nullptr);
        dialog.show();
        Show(dialog, SysConfig::RowCommon);
        const QString entry = VantelUtility::AutoRunEntryPath();
        QVERIFY(entry.startsWith(env.Path("xdg")));
        SetControl(&dialog, "runstartup", true);
        dialog.hide();  // warns, stores nothing
        QVERIFY(!QFile::exists(entry));
        QCOMPARE(env.Notices().size(), 1);
        QCOMPARE(ControlState(&dialog, "runstartup").toBool(), false);
        SetControl(&dialog, "runstartup", true);
        dialog.OnSave();
        QVERIFY(QFile::exists(entry));
        QCOMPARE(env.Stored("Common/AutoRun"), QString("true"));
        SetControl(&dialog, "runstartup", false);
        dialog.OnSave();
        QVERIFY(!QFile::exists(entry));
    }

    void systemAutostartWinsOverTheRecord() {
        QVERIFY(VantelUtility::AutoRunWithSystem(true));
        SettingsEnv::Config()->GetCommonOption()->autoRun = false;
        SysConfig dialog(nullptr);
        QCOMPARE(ControlState(&dialog, "runstartup").toBool(), true);
        QVERIFY(VantelUtility::AutoRunWithSystem(false));
    }

    void folderChooserKeepsTheChosenPath_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("shown");
        QTest::newRow("record folder") << "videopathPb"
                                       << "/srv/a\\b"
                                       << "/srv/a\\b";
        QTest::newRow("click into the picture folder") << "imgpath"
                                                       << "/srv/pictures"
                                                       << "/srv/pictures";
        QTest::newRow("cancelled") << "videopathPb"
                                   << ""
                                   << "unchanged";
    }
    void folderChooserKeepsTheChosenPath() {
        QFETCH(QString, control);
        QFETCH(QString, chosen);
        QFETCH(QString, shown);
        int calls = 0;
        SysConfigPage::SetChooser([&](QWidget*, const QString& caption, const QString& filter) {
            ++calls;
            return filter.isEmpty() && caption == "K2056_SelectFilePath" ? chosen : QString("wrong chooser");
        });
        SysConfig dialog(nullptr);
        dialog.show();
        Show(dialog, SysConfig::RowFile);
        const QString field = control.startsWith("video") ? "videopath" : "imgpath";
        SetControl(&dialog, field, "unchanged");
        QWidget* w = qobject_cast<QWidget*>(Control(&dialog, control));
        QTest::mouseClick(w, Qt::LeftButton);
        QCOMPARE(calls, 1);
        QCOMPARE(ControlState(&dialog, field).toString(), shown);
    }
};

QTEST_MAIN(TestSettingsPages)
#include "tst_settingspages.moc"
