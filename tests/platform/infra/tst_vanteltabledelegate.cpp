// The table delegate: action buttons (press, hit-testing, tool tips, painting) and row check boxes.
#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include "VantelInfraAPI/vanteldatamodel.h"
#include "VantelInfraAPI/vanteltabledelegate.h"

namespace {

class TextModel : public VantelTableDataModel {
public:
    TextModel() { SetHeaderLabels({{0, ""}, {1, "text"}, {2, "actions"}}); }
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 3; }

protected:
    QVariant GetDisplayData(IVantelData* row, int column) const override {
        if (column != 1) return QVariant();
        return QString::fromUtf8(static_cast<IVantelText*>(row)->GetText());
    }
};

QList<ActionInfo>* g_actions = nullptr;

struct Fixture {
    QTemporaryDir dir;
    QString redIcon;
    QList<ActionInfo> actions;
    QTableView view;
    TextModel model;
    VantelTableDelegate* delegate;

    Fixture() {
        QImage img(16, 16, QImage::Format_ARGB32);
        img.fill(Qt::red);
        redIcon = dir.filePath("red.png");
        img.save(redIcon);
        actions << ActionInfo(20, redIcon, "first", -1, "", "")
                << ActionInfo(20, dir.filePath("missing.png"), "second", -1, "", "");
        g_actions = &actions;

        IVantelList* list = IVantelList::CreateObject();
        for (const char* t : {"c", "a", "b"}) list->Add(IVantelText::CreateObject(t), false, false);
        model.SetupModelData(list);
        list->Release();

        view.setModel(&model);
        delegate = new VantelTableDelegate(&view, &view);
        delegate->SetActionButtonRepo(
            [](QAbstractItemView*, const QStyleOptionViewItem&, const QModelIndex& index) -> QList<ActionInfo>* {
                return index.column() == 2 ? g_actions : nullptr;
            });
        view.setItemDelegate(delegate);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setEditTriggers(QAbstractItemView::NoEditTriggers);
        view.verticalHeader()->setDefaultSectionSize(30);
        view.setColumnWidth(0, 40);
        view.setColumnWidth(1, 80);
        view.setColumnWidth(2, 120);
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
    }
    ~Fixture() { g_actions = nullptr; }

    QStyleOptionViewItem option(const QModelIndex& index) const {
        QStyleOptionViewItem opt;
        opt.initFrom(view.viewport());
        opt.widget = &view;
        opt.rect = view.visualRect(index);
        return opt;
    }
    QRect button(int row, int action) const {
        const QModelIndex i = model.index(row, 2);
        return delegate->ActionButtonRects(option(i), i).value(action);
    }
    QPoint checkBox(int row) const { return delegate->CheckBoxRect(option(model.index(row, 0))).center(); }
};

}  // namespace

class TestVantelTableDelegate : public QObject {
    Q_OBJECT
private slots:
    void actionInfoFields();
    void buttonLayoutAndHitTest();
    void pressingAButtonReportsRowAndButton_data();
    void pressingAButtonReportsRowAndButton();
    void pressReportsTheRowShownAfterSorting();
    void noPressOutsideOrDisabledOrDragged();
    void doubleClickPressesOnce();
    void checkBoxClickAndSpaceToggleRow();
    void toolTipOfAButton();
    void paintsIconsAndAVisibleStandInForMissingOnes();
};

void TestVantelTableDelegate::actionInfoFields() {
    const ActionInfo a(20, ":res/x.png", "tip", -1, "", "");
    QCOMPARE(a.icon, QString(":res/x.png"));
    QVERIFY(a.hoverIcon.isEmpty() && a.pressedIcon.isEmpty());
    QVERIFY(a.pixmap.isNull() && a.hoverPixmap.isNull() && a.pressedPixmap.isNull());
    QCOMPARE(a.size, 20);
    QCOMPARE(a.margin, 1);
    QCOMPARE(a.spacing, 4);
    QCOMPARE(a.disabled, false);
    QCOMPARE(a.id, -1);
    QVERIFY(!a.checkable && !a.checked);
    QCOMPARE(a.tooltip, QString("tip"));
    const ActionInfo copy = a;
    QCOMPARE(copy.tooltip, a.tooltip);
    QCOMPARE(copy.icon, a.icon);
}

void TestVantelTableDelegate::buttonLayoutAndHitTest() {
    Fixture f;
    const QModelIndex i = f.model.index(1, 2);
    const QRect cell = f.view.visualRect(i);
    const QVector<QRect> rects = f.delegate->ActionButtonRects(f.option(i), i);
    QCOMPARE(rects.size(), 2);
    QCOMPARE(rects[0], QRect(cell.left() + 4, cell.top() + (cell.height() - 20) / 2, 20, 20));
    QCOMPARE(rects[1].left(), rects[0].right() + 1 + 4);
    QCOMPARE(f.delegate->ActionAt(f.option(i), i, rects[1].center()), 1);
    QCOMPARE(f.delegate->ActionAt(f.option(i), i, QPoint(rects[1].right() + 3, rects[1].center().y())), -1);
    const QModelIndex text = f.model.index(1, 1);
    QVERIFY(f.delegate->ActionButtonRects(f.option(text), text).isEmpty());
    QVERIFY(f.delegate->sizeHint(f.option(i), i).width() >= 4 + 20 + 4 + 20 + 4);
}

void TestVantelTableDelegate::pressingAButtonReportsRowAndButton_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("action");
    QTest::newRow("row 0, first") << 0 << 0;
    QTest::newRow("row 2, second") << 2 << 1;
    QTest::newRow("row 1, first") << 1 << 0;
}

void TestVantelTableDelegate::pressingAButtonReportsRowAndButton() {
    QFETCH(int, row);
    QFETCH(int, action);
    Fixture f;
    QSignalSpy spy(f.delegate, &VantelDelegate::SignalActionTriggered);
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, f.button(row, action).center());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QAbstractItemView*>(), static_cast<QAbstractItemView*>(&f.view));
    const QModelIndex index = spy.at(0).at(1).toModelIndex();
    QCOMPARE(index.row(), row);
    QCOMPARE(index.column(), 2);
    QCOMPARE(spy.at(0).at(2).toInt(), action);
}

void TestVantelTableDelegate::pressReportsTheRowShownAfterSorting() {
    Fixture f;
    f.model.sort(1, Qt::AscendingOrder);  // a, b, c
    QSignalSpy spy(f.delegate, &VantelDelegate::SignalActionTriggered);
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, f.button(0, 0).center());
    QCOMPARE(spy.count(), 1);
    const int row = spy.at(0).at(1).toModelIndex().row();
    auto* object = static_cast<IVantelText*>(f.model.GetRowData(row));
    QCOMPARE(QString(object->GetText()), QString("a"));
    QCOMPARE(f.model.GetSourceRow(row), 1);
}

void TestVantelTableDelegate::noPressOutsideOrDisabledOrDragged() {
    Fixture f;
    QSignalSpy spy(f.delegate, &VantelDelegate::SignalActionTriggered);
    const QRect b0 = f.button(0, 0);
    const QRect b1 = f.button(0, 1);
    // Beside the buttons, in a cell without buttons.
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(b1.right() + 10, b1.center().y()));
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, f.view.visualRect(f.model.index(0, 1)).center());
    // Right button.
    QTest::mouseClick(f.view.viewport(), Qt::RightButton, Qt::NoModifier, b0.center());
    QCOMPARE(spy.count(), 0);
    // Pressed on one button, released on the other.
    QTest::mousePress(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, b0.center());
    QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, b1.center());
    QCOMPARE(spy.count(), 0);
    // A disabled button.
    f.actions[0].disabled = true;
    QVERIFY(!f.delegate->IsActionButtonEnabled(f.model.index(0, 2), 0));
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, b0.center());
    QCOMPARE(spy.count(), 0);
    // No list at all.
    f.delegate->SetActionButtonRepo(nullptr);
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, b1.center());
    QCOMPARE(spy.count(), 0);
}

void TestVantelTableDelegate::doubleClickPressesOnce() {
    Fixture f;
    QSignalSpy spy(f.delegate, &VantelDelegate::SignalActionTriggered);
    const QPoint p = f.button(1, 0).center();
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseDClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseRelease(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, p);
    QCOMPARE(spy.count(), 1);
    // The next single click presses again.
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, p, 800);
    QCOMPARE(spy.count(), 2);
}

void TestVantelTableDelegate::checkBoxClickAndSpaceToggleRow() {
    Fixture f;
    QSignalSpy spy(f.delegate, &VantelDelegate::SignalItemCheckStateChange);
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, f.checkBox(1));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toModelIndex(), f.model.index(1, 0));
    QCOMPARE(f.model.index(1, 0).data(VantelDataModel::CheckRole).toBool(), true);
    QCOMPARE(f.model.GetDetailCheckedCount(), 1);

    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, f.checkBox(1), 800);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(f.model.GetDetailCheckedCount(), 0);

    // A click in column 0 beside the box selects the row without ticking it.
    const QRect cell0 = f.view.visualRect(f.model.index(2, 0));
    QTest::mouseClick(f.view.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(cell0.left() + 1, cell0.top() + 1),
                      800);
    QCOMPARE(spy.count(), 2);

    // Space ticks the current row, whatever its current column.
    f.view.setFocus();
    f.view.setCurrentIndex(f.model.index(2, 1));
    QTest::keyClick(&f.view, Qt::Key_Space);
    QCOMPARE(spy.count(), 3);
    QVERIFY(f.model.GetItemCheckState(2));
}

void TestVantelTableDelegate::toolTipOfAButton() {
    Fixture f;
    const QModelIndex i = f.model.index(0, 2);
    const QPoint p = f.button(0, 1).center();
    QHelpEvent help(QEvent::ToolTip, p, f.view.viewport()->mapToGlobal(p));
    QVERIFY(f.delegate->helpEvent(&help, &f.view, f.option(i), i));
    QCOMPARE(QToolTip::text(), QString("second"));
    QToolTip::hideText();
}

void TestVantelTableDelegate::paintsIconsAndAVisibleStandInForMissingOnes() {
    Fixture f;
    const QModelIndex i = f.model.index(0, 2);
    QStyleOptionViewItem opt = f.option(i);
    opt.rect = QRect(0, 0, 120, 30);
    opt.palette.setColor(QPalette::Base, Qt::white);
    opt.palette.setColor(QPalette::Text, Qt::black);
    QImage img(opt.rect.size(), QImage::Format_ARGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        f.delegate->paint(&p, opt, i);
    }
    const QVector<QRect> rects = f.delegate->ActionButtonRects(opt, i);
    QCOMPARE(QColor(img.pixel(rects[0].center())), QColor(Qt::red));
    int dark = 0;
    for (int y = rects[1].top(); y <= rects[1].bottom(); ++y)
        for (int x = rects[1].left(); x <= rects[1].right(); ++x)
            if (qGray(img.pixel(x, y)) < 128) ++dark;
    QVERIFY2(dark > 10, "a button whose icon is missing is still drawn");
}

QTEST_MAIN(TestVantelTableDelegate)
#include "tst_vanteltabledelegate.moc"
