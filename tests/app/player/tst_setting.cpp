// The settings dialog: what it loads from the context, what Ok stores, what Cancel and the close
// button undo, and the folder choosers.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include "testsupport.h"

#include "dialogtesting.h"
#include "player/dialogs/setting.h"
#include "player/playercontext.h"

namespace {

PlayerSettings& Settings() {
    return CPlayerContext::Instance()->settings;
}

template <typename T>
T* Child(QWidget* dialog, const char* name) {
    auto* child = dialog->findChild<T*>(name);
    if (!child) qFatal("no %s", name);
    return child;
}

QString CheckedStick(QWidget* dialog) {
    for (const char* name : {"radioButtonNerverStick", "radioButtonAlwaysStick", "radioButtonPlayStick"})
        if (Child<QRadioButton>(dialog, name)->isChecked()) return name;
    return QString();
}

void SetContext(int stick, int snap, int cut, int backup, int keep) {
    PlayerSettings& s = Settings();
    s.stick = stick;
    s.capPicFormat = snap;
    s.cutRecordFormat = cut;
    s.backupFormat = backup;
    s.exitKeepPlaylistFiles = keep;
    s.capPicFolder = "/home/u/Snaps";
    s.cutRecordFolder = "/home/u/Clips";
    s.backupFolder = "/home/u/Backups";
}

}  // namespace

class TestSetting : public QObject {
    Q_OBJECT
private slots:
    void loadAndStore_data();
    void loadAndStore();
    void formatChoices();
    void stickModeGoesOutBeforeTheRest();
    void cancelAndCloseDropEdits_data();
    void cancelAndCloseDropEdits();
    void folderChooser_data();
    void folderChooser();
    void hiddenDialogFollowsTheLanguage();
    void languages_data();
    void languages();
};

// Values the dialog cannot show fall back to the first choice; Ok stores what it shows.
void TestSetting::loadAndStore_data() {
    QTest::addColumn<QList<int>>("context");  // stick, snapshot, clip, backup, keep list
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QStringList>("shown");  // snapshot, clip, backup format
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QList<int>>("stored");
    QTest::newRow("defaults") << QList<int>{0, 3, 0, 1, 1} << "radioButtonNerverStick"
                              << QStringList{"JPEG", "DAV", "DAV"} << true << QList<int>{0, 3, 0, 1, 1};
    QTest::newRow("all second choices") << QList<int>{2, 35, 1, 2, 0} << "radioButtonPlayStick"
                                        << QStringList{"BMP", "AVI", "AVI"} << false << QList<int>{2, 35, 1, 2, 0};
    QTest::newRow("always") << QList<int>{1, 3, 0, 1, 1} << "radioButtonAlwaysStick"
                            << QStringList{"JPEG", "DAV", "DAV"} << true << QList<int>{1, 3, 0, 1, 1};
    QTest::newRow("unknown values") << QList<int>{5, 0, 7, 9, 7} << "radioButtonNerverStick"
                                    << QStringList{"BMP", "DAV", "DAV"} << true << QList<int>{0, 35, 0, 1, 1};
}

void TestSetting::loadAndStore() {
    QFETCH(QList<int>, context);
    QFETCH(QString, radio);
    QFETCH(QStringList, shown);
    QFETCH(bool, keep);
    QFETCH(QList<int>, stored);
    SetContext(context[0], context[1], context[2], context[3], context[4]);
    Setting dialog;
    QSignalSpy stick(&dialog, &Setting::onStickSel);
    dialog.show();
    QCOMPARE(CheckedStick(&dialog), radio);
    QCOMPARE(Child<QComboBox>(&dialog, "comboBoxFormatSnap")->currentText(), shown[0]);
    QCOMPARE(Child<QComboBox>(&dialog, "comboBoxFormatCut")->currentText(), shown[1]);
    QCOMPARE(Child<QComboBox>(&dialog, "comboBoxFormatBackup")->currentText(), shown[2]);
    QCOMPARE(Child<QCheckBox>(&dialog, "checkBoxSavePlayList")->isChecked(), keep);
    QCOMPARE(Child<QLineEdit>(&dialog, "lineEditFolderSnap")->text(), QString("/home/u/Snaps"));
    QVERIFY(Child<QWidget>(&dialog, "widgetBackupInfo")->isHidden());
    QVERIFY(Child<QWidget>(&dialog, "widgetBackup")->isHidden());

    StandardButton(&dialog, QDialogButtonBox::Ok)->click();
    QVERIFY(!dialog.isVisible());
    const PlayerSettings& s = Settings();
    QCOMPARE((QList<int>{s.stick, s.capPicFormat, s.cutRecordFormat, s.backupFormat, s.exitKeepPlaylistFiles}),
             stored);
    QCOMPARE(s.cutRecordFolder, QString("/home/u/Clips"));
    QCOMPARE(s.backupFolder, QString("/home/u/Backups"));
    // Every Ok hands the mode on, changed or not.
    QCOMPARE(stick.count(), 1);
    QCOMPARE(stick.at(0).at(0).toUInt(), uint(stored[0]));
    dialog.show();
    StandardButton(&dialog, QDialogButtonBox::Ok)->click();
    QCOMPARE(stick.count(), 2);
}

// The snapshot formats read "BMP" and "JPEG" and store the codes 35 and 3.
void TestSetting::formatChoices() {
    Setting dialog;
    for (const auto& [name, texts, codes] :
         {std::make_tuple("comboBoxFormatSnap", QStringList{"BMP", "JPEG"}, QList<int>{35, 3}),
          std::make_tuple("comboBoxFormatCut", QStringList{"DAV", "AVI"}, QList<int>{0, 1}),
          std::make_tuple("comboBoxFormatBackup", QStringList{"DAV", "AVI"}, QList<int>{1, 2})}) {
        auto* combo = Child<QComboBox>(&dialog, name);
        QCOMPARE(combo->count(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(combo->itemText(i), texts[i]);
            QCOMPARE(combo->itemData(i).toInt(), codes[i]);
        }
    }
}

// The window applies the mode while the rest of the settings is not yet stored.
void TestSetting::stickModeGoesOutBeforeTheRest() {
    SetContext(0, 3, 0, 1, 1);
    Setting dialog;
    dialog.show();
    Child<QRadioButton>(&dialog, "radioButtonAlwaysStick")->setChecked(true);
    Child<QComboBox>(&dialog, "comboBoxFormatSnap")->setCurrentIndex(0);
    QList<int> seen;
    connect(&dialog, &Setting::onStickSel, this,
            [&seen](uint stick) { seen << int(stick) << Settings().stick << Settings().capPicFormat; });
    StandardButton(&dialog, QDialogButtonBox::Ok)->click();
    QCOMPARE(seen, (QList<int>{1, 1, 3}));
    QCOMPARE(Settings().capPicFormat, 35);
}

// Edits are dropped by Cancel at once and by the close button at the next show.
void TestSetting::cancelAndCloseDropEdits_data() {
    QTest::addColumn<bool>("cancel");
    QTest::newRow("Cancel") << true;
    QTest::newRow("close button, then shown again") << false;
}

void TestSetting::cancelAndCloseDropEdits() {
    QFETCH(bool, cancel);
    SetContext(2, 3, 1, 1, 1);
    const PlayerSettings before = Settings();
    Setting dialog;
    dialog.SetFolderChooser([](QWidget*, const QString&, const QString&) { return QString("/elsewhere"); });
    QSignalSpy stick(&dialog, &Setting::onStickSel);
    dialog.show();
    Child<QRadioButton>(&dialog, "radioButtonNerverStick")->setChecked(true);
    Child<QComboBox>(&dialog, "comboBoxFormatSnap")->setCurrentIndex(0);
    Child<QComboBox>(&dialog, "comboBoxFormatCut")->setCurrentIndex(0);
    Child<QCheckBox>(&dialog, "checkBoxSavePlayList")->setChecked(false);
    Child<QPushButton>(&dialog, "btnBrowseSnap")->click();
    QCOMPARE(Child<QLineEdit>(&dialog, "lineEditFolderSnap")->text(), QString("/elsewhere"));
    if (cancel) {
        StandardButton(&dialog, QDialogButtonBox::Cancel)->click();
    } else {
        Child<QPushButton>(&dialog, "btnClose")->click();
        QVERIFY(!dialog.isVisible());
        dialog.show();
    }
    QVERIFY(Settings() == before);
    QCOMPARE(stick.count(), 0);
    QCOMPARE(CheckedStick(&dialog), QString("radioButtonPlayStick"));
    QCOMPARE(Child<QComboBox>(&dialog, "comboBoxFormatSnap")->currentText(), QString("JPEG"));
    QCOMPARE(Child<QComboBox>(&dialog, "comboBoxFormatCut")->currentText(), QString("AVI"));
    QVERIFY(Child<QCheckBox>(&dialog, "checkBoxSavePlayList")->isChecked());
    QCOMPARE(Child<QLineEdit>(&dialog, "lineEditFolderSnap")->text(), QString("/home/u/Snaps"));
}

// The chooser starts in the folder shown; a cancelled chooser keeps it; a chosen folder is kept
// with the platform's separators ("/" here) and no trailing one.
void TestSetting::folderChooser_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("shown");
    QTest::newRow("snapshots") << "btnBrowseSnap" << "lineEditFolderSnap" << "/video/snaps" << "/video/snaps";
    QTest::newRow("clips, trailing slash") << "btnBrowseCut" << "lineEditFolderCut" << "/video//clips/"
                                           << "/video/clips";
    QTest::newRow("backups") << "btnBrowseBackup" << "lineEditFolderBackup" << "/video/b" << "/video/b";
    QTest::newRow("cancelled") << "btnBrowseSnap" << "lineEditFolderSnap" << "" << "/home/u/Snaps";
}

void TestSetting::folderChooser() {
    QFETCH(QString, button);
    QFETCH(QString, edit);
    QFETCH(QString, chosen);
    QFETCH(QString, shown);
    SetContext(0, 3, 0, 1, 1);
    Setting dialog;
    QString caption, start;
    dialog.SetFolderChooser([&](QWidget* parent, const QString& c, const QString& s) {
        caption = c;
        start = s;
        return parent == &dialog ? chosen : QString("/wrong parent");
    });
    dialog.show();
    const QString old = Child<QLineEdit>(&dialog, qPrintable(edit))->text();
    Child<QPushButton>(&dialog, qPrintable(button))->click();
    QCOMPARE(caption, QString("select_folder"));
    QCOMPARE(start, old);
    QCOMPARE(Child<QLineEdit>(&dialog, qPrintable(edit))->text(), shown);
    StandardButton(&dialog, QDialogButtonBox::Ok)->click();
    const PlayerSettings& s = Settings();
    const QString stored = edit.contains("Snap") ? s.capPicFolder : edit.contains("Cut") ? s.cutRecordFolder
                                                                                          : s.backupFolder;
    QCOMPARE(stored, shown);
}

// Texts follow a language change while the dialog is hidden; the format names stay.
void TestSetting::hiddenDialogFollowsTheLanguage() {
    SetContext(0, 3, 0, 1, 1);
    Setting dialog;
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QTRY_COMPARE(Child<QLabel>(&dialog, "labelTittle")->text(), QString("Setting:setting"));
    QCOMPARE(Child<QRadioButton>(&dialog, "radioButtonPlayStick")->text(), QString("Setting:stick_playing"));
    QCOMPARE(Child<QCheckBox>(&dialog, "checkBoxSavePlayList")->text(), QString("Setting:record_playlist"));
    QCOMPARE(Child<QLabel>(&dialog, "labelFolderCut")->text(), QString("Setting:saving_path"));
    QCOMPARE(StandardButton(&dialog, QDialogButtonBox::Ok)->text(), QString("Setting:OK"));
    QCOMPARE(Child<QComboBox>(&dialog, "comboBoxFormatSnap")->currentText(), QString("JPEG"));
    QCoreApplication::removeTranslator(&translator);
    QTRY_COMPARE(Child<QLabel>(&dialog, "labelTittle")->text(), QString("setting"));
    QVERIFY(!dialog.isVisible());
}

void TestSetting::languages_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::newRow("English") << 0 << "Settings";
    QTest::newRow("Chinese") << 1 << QString::fromUtf8("设置");
}

void TestSetting::languages() {
    QFETCH(int, language);
    QFETCH(QString, title);
    VT_REQUIRE(LoadShippedLanguage(language), "VANTEL_BIN_DIR is not set");
    Setting dialog;
    QCOMPARE(Child<QLabel>(&dialog, "labelTittle")->text(), title);
    QCOMPARE(FirstUntranslated(&dialog), QString());
    QCOMPARE(Child<QComboBox>(&dialog, "comboBoxFormatSnap")->itemText(1), QString("JPEG"));
    QVERIFY(LoadShippedLanguage(0));
}

QTEST_MAIN(TestSetting)
#include "tst_setting.moc"
