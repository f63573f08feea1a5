// The clip dialog: the range checks (bounds, order, files over midnight), how the request fills
// the dialog, what Ok, Cancel and the folder chooser store, and what the dialog hands back.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

#include "VantelInfraAPI/testseams.h"
#include "player/dialogs/cuttip.h"
#include "player/playercontext.h"

Q_DECLARE_METATYPE(CLumoTime)

namespace {

CLumoTime T(const char* iso) {
    CLumoTime t;
    t.ParseISO8601(iso);
    return t;
}

QString Text(const CLumoTime& t) {
    CLumoString s;
    t.ToString(s, false);
    return QString::fromUtf8(s.GetBuffer());
}

// A request for a file of 2024-05-01 08:00:00 to 09:00:00.
CutInfo Request(const CLumoTime& a, const CLumoTime& b, uint32_t format = 0) {
    CutInfo info;
    info.cutStart = a;
    info.cutEnd = b;
    info.fileStart = T("2024-05-01T08:00:00");
    info.fileEnd = T("2024-05-01T09:00:00");
    info.fileTimeText = "2024/05/01  08:00:00_09:00:00";
    info.filePath = "/rec/a.dav";
    info.saveFolder = "/clips";
    info.clipFormat = format;
    return info;
}

QPushButton* Button(CutTip& d, QDialogButtonBox::StandardButton which) {
    return d.findChild<QDialogButtonBox*>("buttonBox")->button(which);
}

}  // namespace

class TestCutTip : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_log;

    QString LoggedTip() {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly)) return QString();
        const QList<QByteArray> fields = f.readAll().trimmed().split('\t');
        return fields.size() > 2 ? QString::fromUtf8(fields.at(2)) : QString();
    }

private slots:
    void initTestCase();
    void init();
    void clipRange_data();
    void clipRange();
    void okChecksRange_data();
    void okChecksRange();
    void setInfoFillsDialog();
    void browseStoresTheChosenFolderOnOk();
    void cancelStoresNothing();
    void textsAreKeys();
};

void TestCutTip::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_log = m_dir.filePath("ui.log");
}

void TestCutTip::init() {
    QFile::remove(m_log);
    INFRA::TestSeams::SetUiLogPath(m_log);
    INFRA::TestSeams::SetScriptedReply("ok");
    CutTip::SetChosenFolderForTest(QString());
    CPlayerContext* context = CPlayerContext::Instance();
    context->settings.cutRecordFormat = 0;
    context->settings.cutRecordFolder = "/clips";
}

// The range two times of day give in a file, and whether it is valid.
void TestCutTip::clipRange_data() {
    QTest::addColumn<CLumoTime>("fileStart");
    QTest::addColumn<CLumoTime>("fileEnd");
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QTime>("end");
    QTest::addColumn<int>("check");
    QTest::addColumn<QString>("clipStart");
    QTest::addColumn<QString>("clipEnd");
    const CLumoTime s = T("2024-05-01T08:00:00"), e = T("2024-05-01T09:00:00");
    QTest::newRow("inside") << s << e << QTime(8, 10, 0) << QTime(8, 20, 0) << 0 << "2024-05-01 08:10:00"
                            << "2024-05-01 08:20:00";
    QTest::newRow("at the bounds") << s << e << QTime(8, 0, 0) << QTime(9, 0, 0) << 0 << "2024-05-01 08:00:00"
                                   << "2024-05-01 09:00:00";
    QTest::newRow("a second before the start") << s << e << QTime(7, 59, 59) << QTime(8, 30, 0) << 2
                                               << "2024-05-01 07:59:59" << "2024-05-01 08:30:00";
    QTest::newRow("a second after the end") << s << e << QTime(8, 30, 0) << QTime(9, 0, 1) << 2
                                            << "2024-05-01 08:30:00" << "2024-05-01 09:00:01";
    QTest::newRow("start after end") << s << e << QTime(8, 40, 0) << QTime(8, 20, 0) << 1 << "2024-05-01 08:40:00"
                                     << "2024-05-01 08:20:00";
    QTest::newRow("equal") << s << e << QTime(8, 20, 0) << QTime(8, 20, 0) << 1 << "2024-05-01 08:20:00"
                           << "2024-05-01 08:20:00";
    const CLumoTime ms = T("2024-05-01T23:30:00"), me = T("2024-05-02T00:30:00");
    QTest::newRow("over midnight: across") << ms << me << QTime(23, 50, 0) << QTime(0, 10, 0) << 0
                                           << "2024-05-01 23:50:00" << "2024-05-02 00:10:00";
    QTest::newRow("over midnight: wholly before") << ms << me << QTime(23, 40, 0) << QTime(23, 50, 0) << 0
                                                  << "2024-05-01 23:40:00" << "2024-05-01 23:50:00";
    QTest::newRow("over midnight: wholly after") << ms << me << QTime(0, 5, 0) << QTime(0, 15, 0) << 0
                                                 << "2024-05-02 00:05:00" << "2024-05-02 00:15:00";
    QTest::newRow("over midnight: at the bounds") << ms << me << QTime(23, 30, 0) << QTime(0, 30, 0) << 0
                                                  << "2024-05-01 23:30:00" << "2024-05-02 00:30:00";
    QTest::newRow("over midnight: swapped") << ms << me << QTime(0, 10, 0) << QTime(23, 50, 0) << 1
                                            << "2024-05-02 00:10:00" << "2024-05-01 23:50:00";
    QTest::newRow("over midnight: a second after the end") << ms << me << QTime(0, 0, 0) << QTime(0, 30, 1) << 2
                                                           << "2024-05-02 00:00:00" << "2024-05-02 00:30:01";
    QTest::newRow("over midnight: outside the file's hours") << ms << me << QTime(12, 0, 0) << QTime(12, 10, 0) << 2
                                                             << "2024-05-02 12:00:00" << "2024-05-02 12:10:00";
}

void TestCutTip::clipRange() {
    QFETCH(CLumoTime, fileStart);
    QFETCH(CLumoTime, fileEnd);
    QFETCH(QTime, start);
    QFETCH(QTime, end);
    QFETCH(int, check);
    QFETCH(QString, clipStart);
    QFETCH(QString, clipEnd);
    CLumoTime a, b;
    QCOMPARE(int(CutTip::ClipRange(fileStart, fileEnd, start, end, &a, &b)), check);
    QCOMPARE(Text(a), clipStart);
    QCOMPARE(Text(b), clipEnd);
}

// Ok on the dialog: a refused range shows its tip and keeps the dialog open; a valid one ends it
// with 1 and hands the range back.
void TestCutTip::okChecksRange_data() {
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QTime>("end");
    QTest::addColumn<QString>("tip");
    QTest::newRow("valid") << QTime(8, 10, 0) << QTime(8, 20, 0) << "";
    QTest::newRow("equal marks") << QTime(8, 10, 0) << QTime(8, 10, 0) << "error_cut_time";
    QTest::newRow("before the file") << QTime(7, 59, 59) << QTime(8, 20, 0) << "enter_valid_cut_time";
}

void TestCutTip::okChecksRange() {
    QFETCH(QTime, start);
    QFETCH(QTime, end);
    QFETCH(QString, tip);
    CutTip dialog;
    dialog.SetInfo(Request(T("2024-05-01T08:00:00"), T("2024-05-01T08:00:00")));
    dialog.findChild<QTimeEdit*>("timeEditS")->setTime(start);
    dialog.findChild<QTimeEdit*>("timeEditE")->setTime(end);
    dialog.setResult(-1);
    Button(dialog, QDialogButtonBox::Ok)->click();
    QCOMPARE(LoggedTip(), tip);
    QCOMPARE(dialog.result(), tip.isEmpty() ? 1 : -1);
    if (tip.isEmpty()) {
        CutInfo out;
        dialog.GetResult(out);
        QCOMPARE(Text(out.cutStart), QString("2024-05-01 08:10:00"));
        QCOMPARE(Text(out.cutEnd), QString("2024-05-01 08:20:00"));
    }
}

// The request fills the dialog: marks in order, an unknown format as DAV, long paths shortened
// for the label's width with the whole path in the tool tip.
void TestCutTip::setInfoFillsDialog() {
    CutTip dialog;
    CutInfo info = Request(T("2024-05-01T08:40:00"), T("2024-05-01T08:10:05"), 7);
    info.filePath = QString("/") + QString(59, QChar('p'));  // 60 characters
    dialog.SetInfo(info);
    QCOMPARE(dialog.findChild<QTimeEdit*>("timeEditS")->time(), QTime(8, 10, 5));
    QCOMPARE(dialog.findChild<QTimeEdit*>("timeEditE")->time(), QTime(8, 40, 0));
    QCOMPARE(dialog.findChild<QComboBox*>("comboBoxFormatCut")->currentText(), QString("DAV"));
    const QLabel* path = dialog.findChild<QLabel*>("labelFilePathInfo");
    QCOMPARE(path->toolTip(), info.filePath);
    QCOMPARE(path->text(), info.filePath.left(45) + "...");
    QCOMPARE(dialog.findChild<QLabel*>("labelFileTimeInfo")->text(), info.fileTimeText);
    QCOMPARE(dialog.findChild<QLabel*>("labelPathInfo")->text(), QString("/clips"));
}

// A chosen folder comes back as the file system names it (a backslash in a name is kept) and
// becomes the context's default on Ok, as does the format; Ok with nothing changed still ends
// with 1.
void TestCutTip::browseStoresTheChosenFolderOnOk() {
    CutTip dialog;
    dialog.SetInfo(Request(T("2024-05-01T08:10:00"), T("2024-05-01T08:20:00")));
    CutTip::SetChosenFolderForTest("/home/op/my clips\\2024");
    dialog.findChild<QPushButton*>("btnBrowseCut")->click();
    CutTip::SetChosenFolderForTest("-");  // a cancelled chooser changes nothing
    dialog.findChild<QPushButton*>("btnBrowseCut")->click();
    dialog.findChild<QComboBox*>("comboBoxFormatCut")->setCurrentIndex(1);
    Button(dialog, QDialogButtonBox::Ok)->click();
    QCOMPARE(dialog.result(), 1);
    CutInfo out;
    dialog.GetResult(out);
    QCOMPARE(out.saveFolder, QString("/home/op/my clips\\2024"));
    QCOMPARE(out.clipFormat, 1u);
    const CPlayerContext* context = CPlayerContext::Instance();
    QCOMPARE(context->settings.cutRecordFolder, out.saveFolder);
    QCOMPARE(context->settings.cutRecordFormat, 1);

    CutTip again;
    CutInfo same = Request(T("2024-05-01T08:10:00"), T("2024-05-01T08:20:00"), 1);
    same.saveFolder = out.saveFolder;
    again.SetInfo(same);
    Button(again, QDialogButtonBox::Ok)->click();
    QCOMPARE(again.result(), 1);
    QCOMPARE(context->settings.cutRecordFolder, out.saveFolder);
}

// Cancel and the close button end with 0 and store nothing, whatever was chosen.
void TestCutTip::cancelStoresNothing() {
    for (const char* how : {"cancel", "close"}) {
        CutTip dialog;
        dialog.SetInfo(Request(T("2024-05-01T08:10:00"), T("2024-05-01T08:20:00")));
        CutTip::SetChosenFolderForTest("/elsewhere");
        dialog.findChild<QPushButton*>("btnBrowseCut")->click();
        dialog.findChild<QComboBox*>("comboBoxFormatCut")->setCurrentIndex(1);
        dialog.setResult(-1);
        if (QByteArray(how) == "cancel")
            Button(dialog, QDialogButtonBox::Cancel)->click();
        else
            dialog.findChild<QPushButton*>("btnClose")->click();
        QCOMPARE(dialog.result(), 0);
        QCOMPARE(CPlayerContext::Instance()->settings.cutRecordFolder, QString("/clips"));
        QCOMPARE(CPlayerContext::Instance()->settings.cutRecordFormat, 0);
    }
}

// Without a translator the controls show their keys; the format items are literal.
void TestCutTip::textsAreKeys() {
    CutTip dialog;
    QCOMPARE(dialog.findChild<QLabel*>("labelTittle")->text(), QString("cut_Info"));
    QCOMPARE(Button(dialog, QDialogButtonBox::Ok)->text(), QString("cut_start"));
    QCOMPARE(dialog.findChild<QLabel*>("labelPath")->text(), QString("saving_path"));
    const QComboBox* format = dialog.findChild<QComboBox*>("comboBoxFormatCut");
    QCOMPARE(format->count(), 2);
    QCOMPARE(format->itemData(1).toInt(), 1);
    QCOMPARE(format->itemText(1), QString("AVI"));
    QCOMPARE(dialog.windowFlags() & PlayerDialog::kCoverFlags, PlayerDialog::kCoverFlags);
}

QTEST_MAIN(TestCutTip)
#include "tst_cuttip.moc"
