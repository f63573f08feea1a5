// The check-box header: clicking the box, showing a state, and which sections sort.
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include "VantelInfraAPI/tableheaderview.h"
#include "VantelInfraAPI/vanteldatamodel.h"

namespace {

class NumberModel : public VantelTableDataModel {
public:
    NumberModel() { SetHeaderLabels({{0, ""}, {1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}}); }
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 5; }

protected:
    // Column c of row id shows (id * (c + 1)) % 7, so each column orders the rows differently.
    QVariant GetDisplayData(IVantelData* row, int column) const override {
        if (column == 0) return QVariant();
        return static_cast<int>((row->GetID() * (column + 1)) % 7);
    }
};

struct Table {
    QTableView view;
    NumberModel model;
    INFRA::TableHeaderView* header;

    Table() {
        header = new INFRA::TableHeaderView(0, Qt::Horizontal, &view);
        view.setHorizontalHeader(header);
        IVantelList* list = IVantelList::CreateObject();
        for (int id = 1; id <= 5; ++id) {
            auto* row = IVantelText::CreateObject();
            row->SetID(id);
            list->Add(row, false, false);
        }
        model.SetupModelData(list);
        list->Release();
        view.setModel(&model);
        view.setSortingEnabled(true);
        view.resize(600, 300);
        for (int c = 0; c < 5; ++c) view.setColumnWidth(c, 80);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
    }
    QPoint sectionCenter(int section) const { return header->sectionRect(section).center(); }
    QPoint sectionTextSpot(int section) const {
        // Away from the middle, where section 0 has its check box.
        const QRect r = header->sectionRect(section);
        return QPoint(r.left() + r.width() / 4, r.center().y());
    }
};

}  // namespace

class TestTableHeaderView : public QObject {
    Q_OBJECT
private slots:
    void clickingTheBoxTogglesAndReports();
    void setCheckedShowsWithoutReporting();
    void sortableColumns_data();
    void sortableColumns();
    void clicksSortOnlySortableSections();
};

void TestTableHeaderView::clickingTheBoxTogglesAndReports() {
    Table t;
    QSignalSpy spy(t.header, &INFRA::TableHeaderView::checkStausChange);
    const QPoint box = t.header->checkBoxRect(t.header->sectionRect(0)).center();

    QTest::mouseClick(t.header->viewport(), Qt::LeftButton, Qt::NoModifier, box);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.last().at(0).toBool(), true);
    QCOMPARE(t.header->checkState(), Qt::Checked);

    QTest::mouseClick(t.header->viewport(), Qt::LeftButton, Qt::NoModifier, box);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.last().at(0).toBool(), false);
    QCOMPARE(t.header->checkState(), Qt::Unchecked);

    // From a partial state a click ticks every row.
    t.header->setChecked(Qt::PartiallyChecked);
    QTest::mouseClick(t.header->viewport(), Qt::LeftButton, Qt::NoModifier, box);
    QCOMPARE(spy.last().at(0).toBool(), true);

    // A click on the box never sorts.
    QCOMPARE(t.model.GetSortColumn(), -1);
    // A click elsewhere in another section is no click on the box.
    QTest::mouseClick(t.header->viewport(), Qt::LeftButton, Qt::NoModifier, t.sectionCenter(2));
    QCOMPARE(spy.count(), 3);
}

void TestTableHeaderView::setCheckedShowsWithoutReporting() {
    Table t;
    QSignalSpy spy(t.header, &INFRA::TableHeaderView::checkStausChange);
    t.header->setChecked(Qt::Checked);
    t.header->setChecked(Qt::PartiallyChecked);
    t.header->setChecked(Qt::Unchecked);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(t.header->checkState(), Qt::Unchecked);
    // It paints in each state without trouble.
    for (Qt::CheckState s : {Qt::Checked, Qt::PartiallyChecked, Qt::Unchecked}) {
        t.header->setChecked(s);
        QVERIFY(!t.header->grab().isNull());
    }
}

void TestTableHeaderView::sortableColumns_data() {
    QTest::addColumn<QList<int>>("set");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("exclude");
    QTest::addColumn<QList<int>>("sortable");
    QTest::newRow("exclusion of check and action columns") << QList<int>{0, 4} << 5 << true << QList<int>{1, 2, 3};
    QTest::newRow("exclusion of one column") << QList<int>{9} << 10 << true << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8};
    QTest::newRow("inclusion") << QList<int>{2, 3} << 5 << false << QList<int>{2, 3};
}

void TestTableHeaderView::sortableColumns() {
    QFETCH(QList<int>, set);
    QFETCH(int, count);
    QFETCH(bool, exclude);
    QFETCH(QList<int>, sortable);
    INFRA::TableHeaderView header(0, Qt::Horizontal);
    QVERIFY(header.isSectionSortable(3));  // everything sorts until told otherwise
    header.setSortableColumns(QSet<int>(set.begin(), set.end()), count, exclude);
    for (int c = -1; c <= count + 1; ++c) QCOMPARE(header.isSectionSortable(c), sortable.contains(c));
}

void TestTableHeaderView::clicksSortOnlySortableSections() {
    Table t;
    t.header->setSortableColumns({0, 4}, 5, true);
    QSignalSpy clicked(t.header, &QHeaderView::sectionClicked);

    QTest::mouseClick(t.header->viewport(), Qt::LeftButton, Qt::NoModifier, t.sectionTextSpot(4));
    QCOMPARE(t.model.GetSortColumn(), -1);
    QCOMPARE(clicked.count(), 0);
    QTest::mouseClick(t.header->viewport(), Qt::LeftButton, Qt::NoModifier, t.sectionTextSpot(0));
    QCOMPARE(t.model.GetSortColumn(), -1);

    QTest::mouseClick(t.header->viewport(), Qt::LeftButton, Qt::NoModifier, t.sectionTextSpot(2));
    QCOMPARE(t.model.GetSortColumn(), 2);
    // Column 2 shows (id * 3) % 7: 3, 6, 2, 5, 1 for ids 1..5.
    QStringList shown;
    for (int r = 0; r < t.model.rowCount(); ++r) shown << t.model.index(r, 2).data().toString();
    const Qt::SortOrder order = t.header->sortIndicatorOrder();
    QCOMPARE(shown, order == Qt::AscendingOrder ? QStringList({"1", "2", "3", "5", "6"})
                                                : QStringList({"6", "5", "3", "2", "1"}));
    // The header stays clickable for the sortable sections after refusing one.
    QVERIFY(t.header->sectionsClickable());
    QTest::mouseClick(t.header->viewport(), Qt::LeftButton, Qt::NoModifier, t.sectionTextSpot(4));
    QCOMPARE(t.model.GetSortColumn(), 2);
    QVERIFY(t.header->sectionsClickable());
}

QTEST_MAIN(TestTableHeaderView)
#include "tst_tableheaderview.moc"
