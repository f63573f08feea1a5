// Form widgets: the eliding label keeps its whole text, the line edit reports clicks, the button
// fits its (translated) text.
#include <QtTest>
#include <QtWidgets>

#include "VantelInfraAPI/formwidgets.h"

class TestFormWidgets : public QObject {
    Q_OBJECT
private slots:
    void elidedLabel_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("startKept");
        QTest::addColumn<bool>("endKept");
        QTest::newRow("middle") << int(Qt::ElideMiddle) << true << true;
        QTest::newRow("right") << int(Qt::ElideRight) << true << false;
        QTest::newRow("left") << int(Qt::ElideLeft) << false << true;
    }
    void elidedLabel() {
        QFETCH(int, mode);
        QFETCH(bool, startKept);
        QFETCH(bool, endKept);
        autoFitLabel label;
        label.SetElidedMode(mode);
        label.resize(120, 20);
        label.show();
        const QString full = QStringLiteral("AAAA-a-rather-long-record-file-name-of-a-camera-ZZZZ.mp4");
        label.setText(full);
        QCOMPARE(label.text(), full);
        QCOMPARE(label.FullText(), full);
        const QString shown = label.QLabel::text();
        QVERIFY(shown != full);
        QVERIFY(shown.contains(QChar(0x2026)));  // the ellipsis
        QCOMPARE(shown.startsWith(QLatin1String("AAAA")), startKept);
        QCOMPARE(shown.endsWith(QLatin1String(".mp4")), endKept);
        QCOMPARE(label.toolTip(), full);
        label.resize(2000, 20);  // room enough: the whole text, no tool tip
        QCOMPARE(label.QLabel::text(), full);
        QVERIFY(label.toolTip().isEmpty());
    }

    void clickLineEdit() {
        ClickLineEdit edit;
        QSignalSpy clicks(&edit, &ClickLineEdit::clicked);
        QTest::mouseClick(&edit, Qt::LeftButton);
        QTest::mouseClick(&edit, Qt::RightButton);
        QCOMPARE(clicks.count(), 1);
    }

    void buttonFitsItsText() {
        AutoPushButton button(QStringLiteral("OK"));
        const int shortWidth = button.sizeHint().width();
        button.setText(QStringLiteral("A much longer translated caption of a button"));
        QVERIFY(button.sizeHint().width() > shortWidth);
        QVERIFY(button.sizeHint().width() >= button.fontMetrics().horizontalAdvance(button.text()));
    }

    void comboPopupIsAListView() {
        ComboBox combo;
        QVERIFY(qobject_cast<QListView*>(combo.view()));
    }
};

QTEST_MAIN(TestFormWidgets)
#include "tst_formwidgets.moc"
