// The alarm sound page: built-in rows, the operator's own rows with stable numbers, refused
// files and names, and a save that takes in a name still being typed.
#include <QHeaderView>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTranslator>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "VantelSound/alarmsound.h"
#include "settings/alarmconfig.h"
#include "settings/sysconfig.h"
#include "settingstestsupport.h"

class TestAlarmConfig : public QObject {
    Q_OBJECT
    SettingsEnv env;

    QString Wav(const QString& name) {
        QFile f(env.Path(name));
        if (!f.open(QIODevice::WriteOnly)) return QString();
        f.write(QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16));
        return f.fileName();
    }
    static QPushButton* Button(QTableView* tv, int row, int col) {
        return qobject_cast<QPushButton*>(tv->indexWidget(tv->model()->index(row, col)));
    }
    static QStringList Column(AlarmConfig* page, int col) {
        QStringList out;
        for (int r = 0; r < page->GetModel()->rowCount(); ++r) out << page->GetModel()->item(r, col)->text();
        return out;
    }

private slots:
    void init() { env.Reset(); }
    void cleanup() { SettingsEnv::CloseNotices(); }

    void builtInRowsAreLocked() {
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowAlarm);
        auto* page = static_cast<AlarmConfig*>(dialog.GetPage(SysConfig::RowAlarm));
        auto* tv = dialog.findChild<QTableView*>("tvAlarmOption");
        QCOMPARE(page->GetBuiltInCount(), 8);
        QCOMPARE(Column(page, 0), (QStringList{"1", "2", "3", "4", "5", "6", "7", "8"}));
        QCOMPARE(page->GetModel()->item(0, 1)->text(), QString("K2220_MobeileDetection"));
        for (int r = 0; r < 8; ++r) {
            QVERIFY(!(page->GetModel()->item(r, 1)->flags() & Qt::ItemIsEditable));
            QVERIFY(!Button(tv, r, AlarmConfig::ColDelete)->isEnabled());
            QVERIFY(Button(tv, r, AlarmConfig::ColChoose)->isEnabled());
        }
        QCOMPARE(page->GetModel()->data(page->GetModel()->index(0, 2), Qt::ToolTipRole).toString(),
                 QString());
    }

    void ownRowsKeepTheirNumbers() {
        QStringList files{Wav("a.wav"), Wav("b.wav"), Wav("c.wav")};
        SysConfigPage::SetChooser([&](QWidget*, const QString&, const QString& filter) {
            return filter.contains("*.wav") && !files.isEmpty() ? files.takeFirst() : QString();
        });
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowAlarm);
        auto* page = static_cast<AlarmConfig*>(dialog.GetPage(SysConfig::RowAlarm));
        auto* tv = dialog.findChild<QTableView*>("tvAlarmOption");
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(dialog.findChild<QPushButton*>("addAudio"), Qt::LeftButton);
        QCOMPARE(Column(page, 0).mid(8), (QStringList{"9", "10", "11"}));
        QVERIFY(page->GetModel()->item(8, 1)->flags() & Qt::ItemIsEditable);
        QCOMPARE(page->GetModel()->data(page->GetModel()->index(9, 2), Qt::ToolTipRole).toString(),
                 env.Path("b.wav"));
        QTest::mouseClick(Button(tv, 8, AlarmConfig::ColDelete), Qt::LeftButton);
        // The rows below moved up and keep their numbers; their buttons act on their new rows.
        QCOMPARE(Column(page, 0).mid(8), (QStringList{"10", "11"}));
        QCOMPARE(Button(tv, 8, AlarmConfig::ColDelete)->property("row").toInt(), 8);
        QCOMPARE(Button(tv, 9, AlarmConfig::ColChoose)->property("row").toInt(), 9);
        QTest::mouseClick(Button(tv, 9, AlarmConfig::ColDelete), Qt::LeftButton);
        QCOMPARE(Column(page, 0).mid(8), QStringList{"10"});
        QCOMPARE(page->Save(), 0);
        const auto& alarms = SettingsEnv::Config()->GetAlarmOption()->alarms;
        QCOMPARE(alarms.size(), size_t(9));
        QCOMPARE(alarms.back().number, 10);
        QCOMPARE(QString::fromStdString(alarms.back().soundPath), env.Path("b.wav"));
        QCOMPARE(QString::fromUtf8(SettingsEnv::Config()->GetAlarmOption()->GetAlarmSound(10)),
                 env.Path("b.wav"));
        // The next start shows the same numbers.
        env.ReloadFromFile();
        SysConfig again(nullptr);
        again.OnSwitchPage(SysConfig::RowAlarm);
        QCOMPARE(Column(static_cast<AlarmConfig*>(again.GetPage(SysConfig::RowAlarm)), 0).last(),
                 QString("10"));
    }

    void onlySoundFilesAreTaken_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("taken");
        QTest::newRow("wav") << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) << true;
        QTest::newRow("text named .wav") << QByteArray("not a sound at all") << false;
    }
    void onlySoundFilesAreTaken() {
        QFETCH(QByteArray, content);
        QFETCH(bool, taken);
        QFile f(env.Path("alarm.wav"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        SysConfigPage::SetChooser([&](QWidget*, const QString&, const QString&) { return f.fileName(); });
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowAlarm);
        auto* page = static_cast<AlarmConfig*>(dialog.GetPage(SysConfig::RowAlarm));
        auto* tv = dialog.findChild<QTableView*>("tvAlarmOption");
        page->OnAddAudioClicked();
        QTest::mouseClick(Button(tv, 0, AlarmConfig::ColChoose), Qt::LeftButton);
        QCOMPARE(page->GetModel()->rowCount(), taken ? 9 : 8);
        QCOMPARE(page->GetModel()->item(0, 2)->text(), taken ? f.fileName() : QString());
        QCOMPARE(env.Boxes(),
                 taken ? QStringList()
                       : (QStringList{"K2356_Fail|K2215_NotAudioFile", "K2356_Fail|K2215_NotAudioFile"}));
    }

    void refusedNamesChangeNothing_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("saved");
        QTest::newRow("slash") << "Door/1" << -2 << "";
        QTest::newRow("bar") << "Door|1" << -2 << "";
        QTest::newRow("backslash") << "Door\\1" << -2 << "";
        QTest::newRow("hyphen, blanks trimmed") << "  Door-1 " << 0 << "Door-1";
    }
    void refusedNamesChangeNothing() {
        QFETCH(QString, name);
        QFETCH(int, result);
        QFETCH(QString, saved);
        SettingsEnv::Config()->GetAlarmOption()->alarms.push_back(
            LumoC::CustomizeAlarm{9, "Gate", "/srv/gate.wav"});
        QCOMPARE(SettingsEnv::Config()->GetAlarmOption()->Write(), 0);
        const QByteArray before = env.IniBytes();
        SysConfigPage::SetChooser([&](QWidget*, const QString&, const QString&) { return Wav("new.wav"); });
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowAlarm);
        auto* page = static_cast<AlarmConfig*>(dialog.GetPage(SysConfig::RowAlarm));
        page->OnAddAudioClicked();
        page->GetModel()->item(9, 1)->setText(name);
        QCOMPARE(page->Save(), result);
        const auto& alarms = SettingsEnv::Config()->GetAlarmOption()->alarms;
        if (result == -2) {
            QCOMPARE(env.Notices(), QStringList{"K2356_Fail|K0103_SpecChars|1"});
            QCOMPARE(alarms.size(), size_t(9));  // the whole list as it was
            QCOMPARE(alarms.back().typeName, std::string("Gate"));
            QCOMPARE(env.IniBytes(), before);
        } else {
            QCOMPARE(alarms.size(), size_t(10));
            QCOMPARE(QString::fromStdString(alarms.back().typeName), saved);
            QCOMPARE(alarms.back().number, 10);
        }
    }

    void saveTakesInANameBeingTyped() {
        SettingsEnv::Config()->GetAlarmOption()->alarms.push_back(LumoC::CustomizeAlarm{9, "Gate", ""});
        SysConfig dialog(nullptr);
        dialog.resize(985, 740);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.OnSwitchPage(SysConfig::RowAlarm);
        auto* tv = dialog.findChild<QTableView*>("tvAlarmOption");
        tv->edit(tv->model()->index(8, 1));
        auto* editor = tv->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText("Back gate");
        dialog.OnSave();
        QCOMPARE(SettingsEnv::Config()->GetAlarmOption()->alarms.back().typeName, std::string("Back gate"));
        QCOMPARE(env.Notices(), QStringList{"K2354_Success|K2355_SaveSuccessfully|0"});
    }

    void unsavedRowsAreNoticed() {
        SysConfigPage::SetChooser([&](QWidget*, const QString&, const QString&) { return Wav("x.wav"); });
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowAlarm);
        auto* page = static_cast<AlarmConfig*>(dialog.GetPage(SysConfig::RowAlarm));
        QVERIFY(!page->CheckUnsaved(true));
        // Another sound for a built-in row: same row count, still an unsaved edit.
        QTest::mouseClick(Button(dialog.findChild<QTableView*>("tvAlarmOption"), 2, AlarmConfig::ColChoose),
                          Qt::LeftButton);
        QVERIFY(page->CheckUnsaved(true));
        QCOMPARE(env.Notices(), QStringList{"K2352_Unsaved|K2353_ChangesLost K2200_AlarmSound|1"});
    }

    void playingAMissingSoundStaysSilent() {
        SettingsEnv::Config()->GetAlarmOption()->alarms[0].soundPath = env.Path("gone.wav").toStdString();
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowAlarm);
        QTest::mouseClick(Button(dialog.findChild<QTableView*>("tvAlarmOption"), 0, AlarmConfig::ColPlay),
                          Qt::LeftButton);
        QVERIFY(INFRA::AlarmSound::LastReason().contains("gone.wav"));
    }

    void customNamesShowAsTyped() {
        SettingsEnv::Config()->GetAlarmOption()->alarms.push_back(
            LumoC::CustomizeAlarm{12, "K2222_AlarmIn", ""});
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowAlarm);
        auto* page = static_cast<AlarmConfig*>(dialog.GetPage(SysConfig::RowAlarm));
        QCOMPARE(page->GetModel()->item(8, 0)->text(), QString("12"));
        QCOMPARE(page->GetModel()->item(8, 1)->text(), QString("K2222_AlarmIn"));
    }

    // Every label of the table shows whole, in both languages, at the dialog's own size and in a
    // narrow one (where the text columns give way).
    void headerLabelsShowWhole_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("width");  // 0: the dialog's own
        QTest::newRow("English") << "English" << 0;
        QTest::newRow("Chinese") << "Chinese" << 0;
        QTest::newRow("English, narrow") << "English" << 700;
    }
    void headerLabelsShowWhole() {
        QFETCH(QString, language);
        QFETCH(int, width);
        QTranslator translator;
        QVERIFY(translator.load(qEnvironmentVariable("VANTEL_BIN_DIR") + "/Languages/" + language + ".qm"));
        qApp->installTranslator(&translator);
        auto restore = qScopeGuard([&]() { qApp->removeTranslator(&translator); });
        SysConfig dialog(nullptr);
        if (width > 0) dialog.resize(width, dialog.height());
        dialog.show();
        dialog.OnSwitchPage(SysConfig::RowAlarm);
        auto* tv = dialog.findChild<QTableView*>("tvAlarmOption");
        QTRY_VERIFY(tv->isVisible());
        QHeaderView* header = tv->horizontalHeader();
        for (int c = 0; c < AlarmConfig::ColDelete; ++c) {
            const QString text = tv->model()->headerData(c, Qt::Horizontal).toString();
            QVERIFY2(!text.startsWith('K'), qPrintable(text));  // translated
            const int needed = header->fontMetrics().horizontalAdvance(text);
            QVERIFY2(header->sectionSize(c) >= needed + 8,
                     qPrintable(QString("%1: %2 < %3").arg(text).arg(header->sectionSize(c)).arg(needed + 8)));
        }
    }
};

QTEST_MAIN(TestAlarmConfig)
#include "tst_alarmconfig.moc"
