// The tool strip: buttons in the order added, each exactly its icon size, no gaps, left-aligned.
#include <QLayout>
#include <QToolButton>
#include <QtTest>

#include "lumoc/playback/toolwidget.h"

class TestToolWidget : public QObject {
    Q_OBJECT

private slots:
    void emptyStrip() {
        ToolWidget strip;
        QVERIFY(strip.GetButtons().isEmpty());
        QCOMPARE(strip.contentsMargins(), QMargins(0, 0, 0, 0));
        QCOMPARE(strip.layout()->spacing(), 0);
        QCOMPARE(strip.layout()->count(), 1);  // the spacer
    }

    void buttonsInOrder() {
        ToolWidget strip;
        strip.resize(400, 40);
        const QSize sizes[] = {{24, 24}, {32, 20}, {16, 16}};
        QToolButton* made[3];
        for (int i = 0; i < 3; ++i)
            made[i] = strip.AddButton(sizes[i], QString("tip %1").arg(i),
                                      i == 1 ? QString() : QString("b%1").arg(i));
        strip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&strip));
        const QList<QToolButton*> buttons = strip.GetButtons();
        QCOMPARE(buttons.size(), 3);
        int x = 0;
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(buttons[i], made[i]);
            QCOMPARE(buttons[i]->size(), sizes[i]);
            QCOMPARE(buttons[i]->iconSize(), sizes[i]);
            QCOMPARE(buttons[i]->geometry().x(), x);  // from the left, no gap
            x += sizes[i].width();
            QCOMPARE(buttons[i]->toolTip(), QString("tip %1").arg(i));
            QCOMPARE(buttons[i]->toolTipDuration(), 10000);
            QCOMPARE(buttons[i]->parentWidget(), &strip);
        }
        QCOMPARE(buttons[0]->objectName(), QString("b0"));
        QCOMPARE(buttons[1]->objectName(), QString());     // an empty name is not set
        QCOMPARE(strip.layout()->indexOf(buttons[2]), 2);  // before the spacer
    }
};

QTEST_MAIN(TestToolWidget)
#include "tst_toolwidget.moc"
