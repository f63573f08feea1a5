// The backup list window: its tabs, empty tables, headings and texts in both languages.
#include <QtTest>
#include "testsupport.h"

#include "dialogtesting.h"
#include "player/dialogs/backupmanager.h"

namespace {

QStringList Headers(QWidget* dialog, const char* table) {
    auto* t = dialog->findChild<QTableWidget*>(table);
    QStringList texts;
    for (int i = 0; i < t->columnCount(); ++i) texts << t->horizontalHeaderItem(i)->text();
    return texts;
}

}  // namespace

class TestBackupManager : public QObject {
    Q_OBJECT
private slots:
    void opensOnFinishedBackups();
    void buttonsChangeNothingAndCloseHides();
    void languageChangeRetranslatesEverything();
    void languages_data();
    void languages();
};

void TestBackupManager::opensOnFinishedBackups() {
    BackupManager dialog;
    auto* tabs = dialog.findChild<QTabWidget*>("tabWidget");
    QCOMPARE(tabs->tabPosition(), QTabWidget::West);
    QCOMPARE(tabs->currentWidget()->objectName(), QString("tabDone"));
    QCOMPARE(dialog.windowFlags() & PlayerDialog::kWindowFlags, PlayerDialog::kWindowFlags);
    QCOMPARE(Headers(&dialog, "tableWidgetIng"), (QStringList{"name", "time", "size", "progress"}));
    QCOMPARE(Headers(&dialog, "tableWidgetDone"), (QStringList{"name", "time", "size", "result"}));
    for (const char* name : {"tableWidgetIng", "tableWidgetDone"}) {
        auto* table = dialog.findChild<QTableWidget*>(name);
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(table->columnWidth(0), 300);
        QCOMPARE(table->columnWidth(1), 160);
    }
    auto* ing = dialog.findChild<QTableWidget*>("tableWidgetIng");
    QCOMPARE(ing->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(ing->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!ing->horizontalHeader()->sectionsClickable());
}

void TestBackupManager::buttonsChangeNothingAndCloseHides() {
    BackupManager dialog;
    dialog.show();
    for (const char* name : {"btnDelete", "btnOpenSrc", "btnClear"}) dialog.findChild<QPushButton*>(name)->click();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.findChild<QTableWidget*>("tableWidgetDone")->rowCount(), 0);
    dialog.findChild<QPushButton*>("btnClose")->click();
    QVERIFY(!dialog.isVisible());
}

void TestBackupManager::languageChangeRetranslatesEverything() {
    BackupManager dialog;
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QTRY_COMPARE(dialog.findChild<QLabel*>("labelTittle")->text(), QString("BackupManager:backup_list"));
    QCOMPARE(Headers(&dialog, "tableWidgetDone"),
             (QStringList{"BackupManager:name", "BackupManager:time", "BackupManager:size", "BackupManager:result"}));
    QCOMPARE(dialog.findChild<QPushButton*>("btnOpenSrc")->text(), QString("BackupManager:open_src"));
    QCOMPARE(dialog.findChild<QTabWidget*>("tabWidget")->tabText(0), QString("BackupManager:backup_ing"));
    QCoreApplication::removeTranslator(&translator);
    QTRY_COMPARE(dialog.findChild<QLabel*>("labelTittle")->text(), QString("backup_list"));
}

// No form placeholder ("TextLabel", "PushButton", "Tab 1") and no bare key shows.
void TestBackupManager::languages_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts");  // title, three buttons, two tabs
    QTest::newRow("English") << 0 << QStringList{"Backups", "Delete", "Open the folder", "Clear", "Under way", "Finished"};
    QTest::newRow("Chinese") << 1
                             << QString::fromUtf8("备份列表 删除 打开所在文件夹 清空 正在备份 已完成").split(' ');
}

void TestBackupManager::languages() {
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    VT_REQUIRE(LoadShippedLanguage(language), "VANTEL_BIN_DIR is not set");
    BackupManager dialog;
    auto* tabs = dialog.findChild<QTabWidget*>("tabWidget");
    QCOMPARE((QStringList{dialog.findChild<QLabel*>("labelTittle")->text(),
                          dialog.findChild<QPushButton*>("btnDelete")->text(),
                          dialog.findChild<QPushButton*>("btnOpenSrc")->text(),
                          dialog.findChild<QPushButton*>("btnClear")->text(), tabs->tabText(0), tabs->tabText(1)}),
             texts);
    QCOMPARE(FirstUntranslated(&dialog), QString());
    QVERIFY(LoadShippedLanguage(0));
}

QTEST_MAIN(TestBackupManager)
#include "tst_backupmanager.moc"
