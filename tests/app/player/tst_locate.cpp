// The locate dialogs: a time inside the file's span, or seconds from its start, both bounds
// inclusive; anything else is refused with a tip and the dialog stays open.
#include <QtTest>

#include <QDateTimeEdit>
#include <QIntValidator>
#include <QLineEdit>

#include <limits>

#include "VantelInfraAPI/testseams.h"
#include "dialogtesting.h"
#include "player/dialogs/locatebyaccuratetime.h"
#include "player/dialogs/locatebytimestamp.h"
#include "testsupport.h"

namespace {

const QDateTime kStart(QDate(2024, 5, 1), QTime(10, 0, 0));
const QDateTime kEnd(QDate(2024, 5, 1), QTime(10, 59, 59));

// Presses Ok on a shown dialog: -1 when it stayed open, else its result.
int PressOk(QDialog* dialog) {
    dialog->show();
    dialog->setResult(-1);
    StandardButton(dialog, QDialogButtonBox::Ok)->click();
    return dialog->isVisible() ? -1 : dialog->result();
}

// The tips shown since the log was set (one line each).
QStringList Tips(const QString& log) {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeAll(QString());
    return lines;
}

}  // namespace

class TestLocate : public QObject {
    Q_OBJECT
private slots:
    void init();
    void accurateTimeBounds_data();
    void accurateTimeBounds();
    void editorHoldsOnlyPackableYears();
    void secondsBounds_data();
    void secondsBounds();
    void setMaxAgainReplacesTheRange();
    void closeAndCancelGiveZero();
    void languages_data();
    void languages();

private:
    QTemporaryDir m_dir;
    QString m_log;
};

void TestLocate::init() {
    // Every tip answers at once and is logged.
    m_log = m_dir.filePath(QString("ui-%1.log").arg(QTest::currentTestFunction()) + QTest::currentDataTag());
    QFile::remove(m_log);
    INFRA::TestSeams::SetUiLogPath(m_log);
    INFRA::TestSeams::SetScriptedReply("ok");
}

void TestLocate::accurateTimeBounds_data() {
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("the start") << kStart << true;
    QTest::newRow("the end") << kEnd << true;
    QTest::newRow("inside") << kStart.addSecs(1800) << true;
    QTest::newRow("a second before the start") << kStart.addSecs(-1) << false;
    QTest::newRow("a second after the end") << kEnd.addSecs(1) << false;
    QTest::newRow("a day later") << kEnd.addDays(1) << false;
}

void TestLocate::accurateTimeBounds() {
    QFETCH(QDateTime, time);
    QFETCH(bool, accepted);
    LocateByAccurateTime dialog;
    // Milliseconds of the bounds do not count: the editor shows whole seconds.
    dialog.SetRange(time, kStart.addMSecs(400), kEnd.addMSecs(600));
    QCOMPARE(dialog.findChild<QLabel*>("labelS")->text(), QString("2024/05/01 10:00:00"));
    QCOMPARE(dialog.findChild<QLabel*>("labelE")->text(), QString("2024/05/01 10:59:59"));
    QCOMPARE(PressOk(&dialog), accepted ? 1 : -1);
    QDateTime chosen;
    dialog.GetTime(chosen);
    QCOMPARE(chosen, time);
    QCOMPARE(Tips(m_log), accepted ? QStringList() : QStringList{"tip\ttip\tinvalid_time\t\t"});
}

// A packed record time holds the years 2000 to 2063: the editor holds no other.
void TestLocate::editorHoldsOnlyPackableYears() {
    LocateByAccurateTime dialog;
    auto* edit = dialog.findChild<QDateTimeEdit*>("dateTimeEdit");
    QCOMPARE(edit->minimumDateTime(), QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    QCOMPARE(edit->maximumDateTime(), QDateTime(QDate(2063, 12, 31), QTime(23, 59, 59)));
    QCOMPARE(edit->displayFormat(), QString("yyyy/MM/dd HH:mm:ss"));
    dialog.SetRange(QDateTime(QDate(2099, 1, 1), QTime(0, 0)), kStart, kEnd);
    QDateTime t;
    dialog.GetTime(t);
    QCOMPARE(t.date().year(), 2063);
    dialog.SetRange(QDateTime(QDate(1990, 1, 1), QTime(0, 0)), kStart, kEnd);
    dialog.GetTime(t);
    QCOMPARE(t.date().year(), 2000);
}

void TestLocate::secondsBounds_data() {
    QTest::addColumn<quint64>("max");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("typed");  // through the keyboard, so the validator has its say
    QTest::addColumn<int>("result");     // -1: stays open with the tip
    QTest::addColumn<int>("seconds");
    QTest::newRow("empty is the start") << quint64(3600) << "( 0 ~ 3600 s )" << "" << 1 << 0;
    QTest::newRow("0") << quint64(3600) << "( 0 ~ 3600 s )" << "0" << 1 << 0;
    QTest::newRow("the end") << quint64(3600) << "( 0 ~ 3600 s )" << "3600" << 1 << 3600;
    QTest::newRow("past the end") << quint64(3600) << "( 0 ~ 3600 s )" << "3601" << -1 << 0;
    QTest::newRow("the validator lets 5000 in") << quint64(3600) << "( 0 ~ 3600 s )" << "5000" << -1 << 0;
    QTest::newRow("letters are kept out") << quint64(3600) << "( 0 ~ 3600 s )" << "1x2" << 1 << 12;
    QTest::newRow("a 64-bit length is the largest int")
        << quint64(std::numeric_limits<quint64>::max()) << "( 0 ~ 2147483647 s )" << "2147483647" << 1
        << 2147483647;
    QTest::newRow("just over 32 bits") << quint64(4294967296ULL) << "( 0 ~ 2147483647 s )" << "2147483648" << -1
                                       << 0;
    QTest::newRow("an empty file") << quint64(0) << "( 0 ~ 0 s )" << "1" << -1 << 0;
}

void TestLocate::secondsBounds() {
    QFETCH(quint64, max);
    QFETCH(QString, unit);
    QFETCH(QString, typed);
    QFETCH(int, result);
    QFETCH(int, seconds);
    LocateByTimeStamp dialog;
    dialog.SetMax(max);
    QCOMPARE(dialog.findChild<QLabel*>("labelUnit")->text(), unit);
    dialog.show();
    auto* edit = dialog.findChild<QLineEdit*>("lineEdit");
    QTest::keyClicks(edit, typed);
    QCOMPARE(PressOk(&dialog), result);
    QCOMPARE(Tips(m_log), result == 1 ? QStringList() : QStringList{"tip\ttip\tinvalid_time\t\t"});
    int got = -1;
    dialog.GetSeconds(got);
    QCOMPARE(got, seconds);
}

// The dialog may be reused for another file: the new range replaces the old one.
void TestLocate::setMaxAgainReplacesTheRange() {
    LocateByTimeStamp dialog;
    dialog.SetMax(3600);
    dialog.SetMax(60);
    QCOMPARE(dialog.findChild<QLabel*>("labelUnit")->text(), QString("( 0 ~ 60 s )"));
    auto* edit = dialog.findChild<QLineEdit*>("lineEdit");
    QCOMPARE(edit->findChildren<QIntValidator*>().size(), 1);
    edit->setText("61");
    QCOMPARE(PressOk(&dialog), -1);
    edit->setText("60");
    QCOMPARE(PressOk(&dialog), 1);
}

void TestLocate::closeAndCancelGiveZero() {
    LocateByAccurateTime byTime;
    byTime.SetRange(kStart, kStart, kEnd);
    LocateByTimeStamp bySeconds;
    bySeconds.SetMax(60);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&byTime, &bySeconds}) {
        QTimer::singleShot(0, dialog, [dialog]() { dialog->findChild<QPushButton*>("btnClose")->click(); });
        QCOMPARE(dialog->exec(), 0);
        QTimer::singleShot(0, dialog, [dialog]() { StandardButton(dialog, QDialogButtonBox::Cancel)->click(); });
        QCOMPARE(dialog->exec(), 0);
        QCOMPARE(dialog->windowFlags() & PlayerDialog::kCoverFlags, PlayerDialog::kCoverFlags);
    }
    QVERIFY(Tips(m_log).isEmpty());
}

void TestLocate::languages_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("byTimeTitle");
    QTest::addColumn<QString>("bySecondsTitle");
    QTest::newRow("English") << 0 << "Go to a time" << "Go to a second";
    QTest::newRow("Chinese") << 1 << QString::fromUtf8("按时间定位") << QString::fromUtf8("按秒定位");
}

void TestLocate::languages() {
    QFETCH(int, language);
    QFETCH(QString, byTimeTitle);
    QFETCH(QString, bySecondsTitle);
    // The test runner names the folder of the shipped languages; a run without it cannot check them.
    VT_REQUIRE(!qEnvironmentVariableIsEmpty("VANTEL_BIN_DIR"), "VANTEL_BIN_DIR is not set");
    QVERIFY(LoadShippedLanguage(language));
    LocateByAccurateTime byTime;
    byTime.SetRange(kStart, kStart, kEnd);
    LocateByTimeStamp bySeconds;
    bySeconds.SetMax(60);
    QCOMPARE(byTime.findChild<QLabel*>("labelTittle")->text(), byTimeTitle);
    QCOMPARE(bySeconds.findChild<QLabel*>("labelTittle")->text(), bySecondsTitle);
    QCOMPARE(FirstUntranslated(&byTime), QString());
    QCOMPARE(FirstUntranslated(&bySeconds), QString());
    QVERIFY(LoadShippedLanguage(0));
}

QTEST_MAIN(TestLocate)
#include "tst_locate.moc"
