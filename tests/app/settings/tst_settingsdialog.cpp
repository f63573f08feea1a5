// The settings dialog: save notices, page switching, configuration notices, rows it does not
// have, the playback-only variant, sibling dialogs and the program-wide page signal.
#include <QListWidget>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QtTest>

#include "settings/alarmconfig.h"
#include "settings/sysconfig.h"
#include "settingstestsupport.h"

namespace {
QList<int> g_committed;  // GUI thread only
int RecordCommit(CLumoObject*, int code, void*, void*, void*) {
    g_committed << code;
    return 0;
}
QWidget* StackPage(SysConfig& d) {
    return d.findChild<QStackedWidget*>("stackWidgetSysConfig")->currentWidget();
}
}  // namespace

class TestSettingsDialog : public QObject {
    Q_OBJECT
    SettingsEnv env;

private slots:
    void init() { env.Reset(); }
    void cleanup() { SettingsEnv::CloseNotices(); }

    void startsOnTheGeneralPage() {
        SysConfig dialog(nullptr);
        QCOMPARE(dialog.GetCurrentRow(), 0);
        QCOMPARE(StackPage(dialog)->objectName(), QString("CommonOption"));
        QCOMPARE(dialog.GetPages().size(), size_t(7));
        auto* list = dialog.findChild<QListWidget*>("listWidget");
        QVERIFY(list->isRowHidden(SysConfig::RowToolbar));
        QCOMPARE(list->item(6)->toolTip(), QString("K2300_E-MAIL"));
        const int codes[] = {4, 1, 2, 3, 6, 5, 0};
        for (int row = 0; row < 7; ++row) QCOMPARE(dialog.GetPage(row)->GetPageCode(), codes[row]);
    }

    void saveTellsItsOutcome_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("notices");
        QTest::newRow("saved") << "ok" << QStringList{"K2354_Success|K2355_SaveSuccessfully|0"};
        QTest::newRow("file cannot be written")
            << "unwritable" << QStringList{"K2356_Fail|K2357_SaveFailed|1"};
        QTest::newRow("page reported it") << "bad name" << QStringList{"K2356_Fail|K0103_SpecChars|1"};
    }
    void saveTellsItsOutcome() {
        QFETCH(QString, how);
        QFETCH(QStringList, notices);
        SysConfig dialog(nullptr);
        QSignalSpy saved(&dialog, &SysConfig::sigSave);
        if (how == "unwritable") {
            QFile blocker(env.Path("blocker"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            SettingsEnv::Config()->SetFilePath(env.Path("blocker/lumoc.ini"));
        }
        if (how == "bad name") {
            dialog.OnSwitchPage(SysConfig::RowAlarm);
            auto* page = static_cast<AlarmConfig*>(dialog.GetPage(SysConfig::RowAlarm));
            page->GetModel()->appendRow(
                {new QStandardItem("9"), new QStandardItem("a/b"), new QStandardItem("")});
        }
        dialog.OnSave();
        QCOMPARE(saved.count(), 1);
        QCOMPARE(env.Notices(), notices);
    }

    void configurationNotices_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("reloaded");
        QTest::newRow("reload and select the video page") << (0x10002 | 3) << 3 << true;
        QTest::newRow("select the hidden toolbar page") << (0x10000 | 5) << 5 << false;
        QTest::newRow("reload only") << 0x2 << 0 << true;
        QTest::newRow("a row beyond the list") << (0x10000 | 200) << 0 << false;
        QTest::newRow("every bit") << -1 << 0 << true;
    }
    void configurationNotices() {
        QFETCH(int, code);
        QFETCH(int, row);
        QFETCH(bool, reloaded);
        SysConfig dialog(nullptr);
        SettingsEnv::Config()->GetVideoOption()->captureFormat = 1;  // changed behind the dialog
        SettingsEnv::Config()->GetCommonOption()->startWithLast = true;
        QCOMPARE(SysConfig::OnConfigChanged(&dialog, code, nullptr, nullptr, nullptr), 0);
        QCOMPARE(dialog.GetCurrentRow(), row);
        QCOMPARE(StackPage(dialog), dialog.findChild<QWidget*>(QStringList{
                                        "CommonOption", "FileSaveOption", "PreviewOption", "VideoOption",
                                        "AlarmOption", "ToolbarOption", "EmailOption"}[row]));
        QCOMPARE(ControlState(&dialog, "picfmt").toInt(), reloaded || row == 3 ? 1 : 0);
        QCOMPARE(ControlState(&dialog, "restorelast").toBool(), reloaded);
        QCOMPARE(dialog.GetPages().size(), size_t(7));
        QCOMPARE(SysConfig::OnConfigChanged(nullptr, code, nullptr, nullptr, nullptr), 0);
    }

    void theConfigurationReachesAttachedDialogs() {
        SysConfig dialog(nullptr);
        QCOMPARE(SettingsEnv::Config()->SelectPage(SysConfig::RowEmail), 0);
        QCOMPARE(dialog.GetCurrentRow(), int(SysConfig::RowEmail));
    }

    void rowsWithoutAPageAreIgnored_data() {
        QTest::addColumn<int>("row");
        QTest::newRow("no current row") << -1;
        QTest::newRow("past the last") << 7;
        QTest::newRow("far beyond") << 200;
    }
    void rowsWithoutAPageAreIgnored() {
        QFETCH(int, row);
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(2);
        const size_t pages = AllPages.size();
        dialog.OnSwitchPage(row);
        dialog.findChild<QListWidget*>("listWidget")->setCurrentRow(row);
        QCOMPARE(dialog.GetCurrentRow(), 2);
        QCOMPARE(StackPage(dialog)->objectName(), QString("PreviewOption"));
        QCOMPARE(AllPages.size(), pages);
        QCOMPARE(dialog.GetPage(row), static_cast<SysConfigPage*>(nullptr));
        dialog.OnSave();
        dialog.OnRestore();
    }

    void selectPageByCode_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("row");
        QTest::newRow("e-mail") << 0 << 6;
        QTest::newRow("toolbar") << 5 << 5;
        QTest::newRow("general") << 4 << 0;
        QTest::newRow("unknown code") << 9 << 1;
    }
    void selectPageByCode() {
        QFETCH(int, code);
        QFETCH(int, row);
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(1);
        dialog.SelectPageByCode(code);
        QCOMPARE(dialog.GetCurrentRow(), row);
    }

    void switchingPagesDropsEditsSilently() {
        SysConfig dialog(nullptr);
        SetControl(&dialog, "restorelast", true);
        dialog.OnSwitchPage(1);
        dialog.OnSwitchPage(0);
        QCOMPARE(ControlState(&dialog, "restorelast").toBool(), false);
        QCOMPARE(env.Notices(), QStringList());
    }

    void hidingWarnsOnceAndReverts_data() {
        QTest::addColumn<bool>("edited");
        QTest::newRow("edited") << true;
        QTest::newRow("untouched") << false;
    }
    void hidingWarnsOnceAndReverts() {
        QFETCH(bool, edited);
        SysConfig dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        if (edited) SetControl(&dialog, "openfullscreen", true);
        dialog.hide();
        QCOMPARE(env.Notices(),
                 edited ? QStringList{"K2352_Unsaved|K2353_ChangesLost K2002_Base|1"} : QStringList());
        QCOMPARE(ControlState(&dialog, "openfullscreen").toBool(), false);
        QCOMPARE(SettingsEnv::Config()->GetCommonOption()->autoFullScreen, false);
    }

    // The full-screen box changes the live record at its click; the file and the record kept past
    // the dialog follow a save only, and a failed or missing save takes the choice back.
    void fullScreenChoiceIsLiveButKeptOnlyBySave_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QStringList>("notices");
        const QString unsaved = "K2352_Unsaved|K2353_ChangesLost K2002_Base|1";
        QTest::newRow("saved") << "save" << true << QStringList{"K2354_Success|K2355_SaveSuccessfully|0"};
        QTest::newRow("closed unsaved") << "close" << false << QStringList{unsaved};
        QTest::newRow("save failed")
            << "fail" << false << QStringList{"K2356_Fail|K2357_SaveFailed|1", unsaved};
    }
    void fullScreenChoiceIsLiveButKeptOnlyBySave() {
        QFETCH(QString, how);
        QFETCH(bool, kept);
        QFETCH(QStringList, notices);
        if (how == "fail") {
            QFile blocker(env.Path("blocker"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            SettingsEnv::Config()->SetFilePath(env.Path("blocker/lumoc.ini"));
        }
        SysConfig dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* box = qobject_cast<QAbstractButton*>(Control(&dialog, "openfullscreen"));
        QVERIFY(box);
        box->click();
        QCOMPARE(SettingsEnv::Config()->GetCommonOption()->autoFullScreen, true);
        if (how != "close") dialog.OnSave();
        dialog.hide();
        QCOMPARE(env.Notices(), notices);
        QCOMPARE(SettingsEnv::Config()->GetCommonOption()->autoFullScreen, kept);
        QCOMPARE(ControlState(&dialog, "openfullscreen").toBool(), kept);
        QCOMPARE(env.Stored("Common/AutoFullScreen"), QString(kept ? "true" : ""));
    }

    void minimisingKeepsTheEdits() {
        SysConfig dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        SetControl(&dialog, "openfullscreen", true);
        dialog.setWindowState(Qt::WindowMinimized);  // hides the dialog spontaneously
        QVERIFY(dialog.isMinimized());
        QCOMPARE(env.Notices(), QStringList());
        QCOMPARE(ControlState(&dialog, "openfullscreen").toBool(), true);
    }

    void thePlaybackDialogBuildsItsPageAlone() {
        const size_t before = AllPages.size();
        {
            PreviewPageConfigure dialog(nullptr);
            QCOMPARE(AllPages.size(), before + 1);
            QCOMPARE(dialog.GetPages().size(), size_t(1));
            QCOMPARE(dialog.GetCurrentRow(), int(SysConfig::RowPlayback));
            auto* stack = dialog.findChild<QStackedWidget*>("stackWidgetSysConfig");
            QCOMPARE(stack->count(), 1);
            QCOMPARE(stack->currentWidget()->objectName(), QString("PreviewOption"));
            QVERIFY(dialog.findChild<QListWidget*>("listWidget")->isHidden());
            // Everything that reaches pages touches the playback page only.
            dialog.show();
            SetControl(&dialog, "wheresearch", 1);
            dialog.hide();
            QCOMPARE(env.Notices(), QStringList{"K2352_Unsaved|K2353_ChangesLost K6861_PlaybackConfig|1"});
            SysConfig::OnConfigChanged(&dialog, 0x10002, nullptr, nullptr, nullptr);
            dialog.SelectPageByCode(4);
            QCOMPARE(dialog.GetCurrentRow(), int(SysConfig::RowPlayback));
            dialog.OnRestore();
            SetControl(&dialog, "wheresearch", 1);
            dialog.OnSave();
            QCOMPARE(SettingsEnv::Config()->GetPlaybackOption()->searchLocation, 1);
            // A full dialog's save of the general page reaches no page of this one.
            SysConfig full(nullptr);
            full.OnSave();
        }
        QCOMPARE(AllPages.size(), before);
    }

    void siblingsShowASavedPage() {
        SysConfig first(nullptr);
        SysConfig second(nullptr);
        second.OnSwitchPage(SysConfig::RowVideo);
        first.OnSwitchPage(SysConfig::RowVideo);
        SetControl(&first, "picfmt", 1);
        ILumoCallback observer(nullptr, &RecordCommit);
        g_committed.clear();
        QCOMPARE(AttachAppSignal(&observer, &ILumoCallback::OnSignal), 0);
        first.OnSave();
        DetachAppSignal(&observer, &ILumoCallback::OnSignal);
        QCOMPARE(ControlState(&second, "picfmt").toInt(), 1);
        QCOMPARE(g_committed, QList<int>{3});
    }

    void destroyingADialogUnregistersItsPages() {
        const size_t before = AllPages.size();
        auto* dialog = new SysConfig(nullptr);
        QCOMPARE(AllPages.size(), before + 7);
        SysConfigPage* stranger = dialog->GetPage(0);
        delete dialog;
        QCOMPARE(AllPages.size(), before);
        QCOMPARE(UnregisterPage(stranger), 0);  // not listed any more: nothing happens
        QCOMPARE(AllPages.size(), before);
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
