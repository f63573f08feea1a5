// The disk status dialog: twelve bits of a disk's state word, its form and its frame.
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include "diskstatus/pagerecordserverdiskstatus.h"

namespace {

// The value labels in the order of their bits.
const struct {
    const char* label;
    int bit;
} kValues[] = {
    {"m_label_mount", 0},      {"m_label_format", 1},    {"m_label_ready", 2},    {"m_label_read", 3},
    {"m_label_write", 4},      {"m_label_sleep", 5},     {"m_label_diskfull", 6}, {"m_label_diskerror", 7},
    {"m_label_open", 9},       {"m_label_close", 10},    {"m_label_overtime", 11}, {"m_label_switchip", 12},
};

QString valueOf(const PageRecordServerDiskStatus& dlg, const char* label) {
    auto* l = dlg.findChild<QLabel*>(label);
    return l ? l->text() : QStringLiteral("<missing>");
}

// "1" for the labels whose bits are listed, "0" for the others.
QStringList expectedValues(std::initializer_list<int> setBits) {
    QStringList out;
    for (const auto& v : kValues) out << (std::find(setBits.begin(), setBits.end(), v.bit) != setBits.end() ? "1" : "0");
    return out;
}

QStringList shownValues(const PageRecordServerDiskStatus& dlg) {
    QStringList out;
    for (const auto& v : kValues) out << valueOf(dlg, v.label);
    return out;
}

class FormTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char*, int) const override {
        if (QByteArray(context) == "PageRecordServerDiskStatus" && QByteArray(source) == "K3777_FormatState")
            return QStringLiteral("Formatted");
        if (QByteArray(context) == "QObject" && QByteArray(source) == "K3713_DiskStatus")
            return QStringLiteral("Disk state");
        return QString();
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

class TestDiskStatusDialog : public QObject {
    Q_OBJECT
private slots:
    void stateWord_data();
    void stateWord();
    void eachLabelShowsItsOwnBit();
    void freshDialog();
    void textsComeFromTheTranslator();
    void widthStaysWithinItsBounds();
    void execEndsWhenTheFrameIsClosed();
};

void TestDiskStatusDialog::stateWord_data() {
    QTest::addColumn<uint>("state");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("0x2 formatted only") << 0x2u << expectedValues({1});
    QTest::newRow("0x1FFF every bit") << 0x1FFFu << expectedValues({0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12});
    QTest::newRow("0x100 the bit without a label") << 0x100u << expectedValues({});
    QTest::newRow("bits 13 and above are not shown") << 0xFFFFE100u << expectedValues({});
    QTest::newRow("0x1A formatted, reading, writing") << 0x1Au << expectedValues({1, 3, 4});
    QTest::newRow("0") << 0x0u << expectedValues({});
}

void TestDiskStatusDialog::stateWord() {
    QFETCH(uint, state);
    QFETCH(QStringList, values);
    PageRecordServerDiskStatus dlg(nullptr);
    dlg.SetDiskState(state);
    QCOMPARE(dlg.GetDiskState(), quint32(state));
    dlg.UpdateStateLabels();
    QCOMPARE(shownValues(dlg), values);
}

void TestDiskStatusDialog::eachLabelShowsItsOwnBit() {
    PageRecordServerDiskStatus dlg(nullptr);
    for (const auto& v : kValues) {
        dlg.SetDiskState(1u << v.bit);
        dlg.UpdateStateLabels();
        QCOMPARE(shownValues(dlg), expectedValues({v.bit}));
    }
}

void TestDiskStatusDialog::freshDialog() {
    PageRecordServerDiskStatus dlg(nullptr);
    QCOMPARE(dlg.GetDiskState(), quint32(0x100));
    // Values stay empty until asked for; captions carry their keys.
    for (const auto& v : kValues) QCOMPARE(valueOf(dlg, v.label), QString());
    QCOMPARE(valueOf(dlg, "label"), QString("K3777_FormatState"));
    QCOMPARE(valueOf(dlg, "label_23"), QString("K3788_SwitchIP"));
    QCOMPARE(dlg.findChildren<QLabel*>(QRegularExpression("^(label|m_label_)")).size(), 24);
    QCOMPARE(dlg.GetTitle(), QString("K3713_DiskStatus"));
    QCOMPARE(dlg.GetMainWidget()->windowTitle(), QString("Form"));
    QVERIFY(dlg.GetMainWidget()->findChild<QLayout*>("gridLayout_2"));
    // The dialog's own form has no buttons; closing is the frame's.
    QVERIFY(!dlg.GetMainWidget()->findChild<QPushButton*>());
    dlg.UpdateStateLabels();
    QCOMPARE(shownValues(dlg), expectedValues({}));
}

void TestDiskStatusDialog::textsComeFromTheTranslator() {
    FormTranslator tr;
    QCoreApplication::installTranslator(&tr);
    {
        PageRecordServerDiskStatus dlg(nullptr);
        QCOMPARE(valueOf(dlg, "label"), QString("Formatted"));
        QCOMPARE(valueOf(dlg, "label_3"), QString("K3778_MountState"));
        QCOMPARE(dlg.GetTitle(), QString("Disk state"));
    }
    QCoreApplication::removeTranslator(&tr);
}

void TestDiskStatusDialog::widthStaysWithinItsBounds() {
    PageRecordServerDiskStatus dlg(nullptr);
    QCOMPARE(dlg.minimumWidth(), 220);
    QCOMPARE(dlg.maximumWidth(), 450);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(dlg.width() >= 220 && dlg.width() <= 450);  // the form asks for 455
    dlg.resize(1000, 300);
    QCOMPARE(dlg.width(), 450);
    dlg.resize(50, 300);
    QCOMPARE(dlg.width(), 220);
}

void TestDiskStatusDialog::execEndsWhenTheFrameIsClosed() {
    QWidget parent;
    PageRecordServerDiskStatus dlg(&parent);
    dlg.SetDiskState(0x2);
    dlg.UpdateStateLabels();
    bool wasVisible = false;
    QTimer::singleShot(50, &dlg, [&]() {
        wasVisible = dlg.isVisible();
        auto* close = dlg.findChild<QPushButton*>("InfraCloseButton");
        QVERIFY(close);
        close->click();
    });
    QCOMPARE(dlg.exec(INFRA::ShowApplicationModal), 0);
    QVERIFY(wasVisible);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(valueOf(dlg, "m_label_format"), QString("1"));
}

QTEST_MAIN(TestDiskStatusDialog)
#include "tst_diskstatusdialog.moc"
