// The table model base: row ownership, check flags, sorting and row mapping, header labels.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "VantelInfraAPI/vanteldatamodel.h"

namespace {

// Column 1: the row's number; column 2: its text; column 3: a signed number (id - 3).
class TextModel : public VantelTableDataModel {
public:
    explicit TextModel(IVantelList* list = nullptr, QObject* parent = nullptr) : VantelTableDataModel(list, parent) {
        SetHeaderLabels({{0, QString()}, {1, "No"}, {2, "Text"}, {3, "Delta"}});
    }
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 4; }

protected:
    QVariant GetDisplayData(IVantelData* row, int column) const override {
        auto* t = dynamic_cast<IVantelText*>(row);
        if (!t) return QVariant();
        switch (column) {
        case 1:
            return static_cast<uint>(t->GetID());
        case 2:
            return QString::fromUtf8(t->GetText());
        case 3:
            return static_cast<int>(t->GetID()) - 3;
        default:
            return QVariant();
        }
    }
};

// A list of text rows numbered from 1; the list holds the only reference on each row.
IVantelList* makeList(const QStringList& texts) {
    IVantelList* list = IVantelList::CreateObject();
    int id = 1;
    for (const QString& t : texts) {
        IVantelText* row = IVantelText::CreateObject(t.toStdString());
        row->SetID(id++);
        list->Add(row, false, false);
    }
    return list;
}

QStringList column(const QAbstractItemModel& m, int col) {
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r) out << m.index(r, col).data().toString();
    return out;
}

}  // namespace

class TestVantelDataModel : public QObject {
    Q_OBJECT
private slots:
    void keepsRowsAfterCallerReleasesList();
    void clearWithoutReleaseKeepsRowsUntilNextSetup();
    void sorting_data();
    void sorting();
    void sortMapsViewRowsBackToRowObjects();
    void sortIsKeptForNewRows();
    void persistentIndexesFollowSort();
    void checkFlags();
    void checkFlagsIgnoreOtherColumnsAndRows();
    void headerLabels();
    void defaultColumnCountFollowsLabels();
    void refreshColumeAndToolTips();
    void outOfRangeAccessIsHarmless();
};

void TestVantelDataModel::keepsRowsAfterCallerReleasesList() {
    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    IVantelList* list = makeList({"a", "b", "c"});
    IVantelData* watched = list->GetAt(1);
    watched->AddRef();  // our own reference, to watch the count
    QCOMPARE(watched->GetRefCount(), 2);

    model.SetupModelData(list);
    QCOMPARE(watched->GetRefCount(), 3);
    list->Release();  // what the window does right after handing the list over
    QCOMPARE(watched->GetRefCount(), 2);

    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(column(model, 2), QStringList({"a", "b", "c"}));
    QCOMPARE(model.GetRowData(1), watched);

    model.Clear(true);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(watched->GetRefCount(), 1);
    QCOMPARE(model.GetRowData(0), nullptr);

    // A second list replaces the first, also without a Clear between them.
    IVantelList* first = makeList({"a"});
    first->GetAt(0)->AddRef();
    IVantelData* old = first->GetAt(0);
    model.SetupModelData(first);
    first->Release();
    IVantelList* second = makeList({"x", "y"});
    model.SetupModelData(second);
    second->Release();
    QCOMPARE(column(model, 2), QStringList({"x", "y"}));
    QCOMPARE(model.GetSourceRow(1), 1);
    QCOMPARE(old->GetRefCount(), 1);
    old->Release();
    watched->Release();
}

void TestVantelDataModel::clearWithoutReleaseKeepsRowsUntilNextSetup() {
    auto* model = new TextModel;
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    IVantelList* list = makeList({"a"});
    IVantelData* row = list->GetAt(0);
    row->AddRef();
    model->SetupModelData(list);
    list->Release();
    QCOMPARE(row->GetRefCount(), 2);

    model->Clear(false);
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(row->GetRefCount(), 2);  // still held for a late reader

    IVantelList* next = makeList({"x"});
    model->SetupModelData(next);
    next->Release();
    QCOMPARE(row->GetRefCount(), 1);

    // The destructor returns every reference, retired ones included.
    model->Clear(false);
    IVantelData* shown = nullptr;
    {
        IVantelList* third = makeList({"y"});
        shown = third->GetAt(0);
        shown->AddRef();
        model->SetupModelData(third);
        third->Release();
    }
    model->Clear(false);
    QCOMPARE(shown->GetRefCount(), 2);
    delete model;
    QCOMPARE(shown->GetRefCount(), 1);
    shown->Release();
    row->Release();
}

void TestVantelDataModel::sorting_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("expectedIds");

    const QStringList texts = {"b", "a", "B", "", "10/20", "9/20", "a"};
    // Texts compare naturally and without case; equal values keep the order they came in.
    QTest::newRow("text ascending") << texts << 2 << int(Qt::AscendingOrder)
                                    << QStringList({"4", "6", "5", "2", "7", "1", "3"});
    QTest::newRow("text descending keeps ties in coming order")
        << texts << 2 << int(Qt::DescendingOrder) << QStringList({"1", "3", "2", "7", "5", "6", "4"});
    QTest::newRow("unsigned numbers descending")
        << texts << 1 << int(Qt::DescendingOrder) << QStringList({"7", "6", "5", "4", "3", "2", "1"});
    QTest::newRow("signed numbers with negatives")
        << QStringList({"p", "q", "r", "s", "t"}) << 3 << int(Qt::AscendingOrder)
        << QStringList({"1", "2", "3", "4", "5"});
    QTest::newRow("empty column keeps coming order")
        << texts << 0 << int(Qt::DescendingOrder) << QStringList({"1", "2", "3", "4", "5", "6", "7"});
    QTest::newRow("column -1 restores coming order")
        << texts << -1 << int(Qt::DescendingOrder) << QStringList({"1", "2", "3", "4", "5", "6", "7"});
}

void TestVantelDataModel::sorting() {
    QFETCH(QStringList, texts);
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QStringList, expectedIds);

    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    IVantelList* list = makeList(texts);
    model.SetupModelData(list);
    list->Release();
    model.sort(2, Qt::DescendingOrder);  // start from another order
    model.sort(column, Qt::SortOrder(order));
    QCOMPARE(::column(model, 1), expectedIds);
}

void TestVantelDataModel::sortMapsViewRowsBackToRowObjects() {
    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    IVantelList* list = makeList({"c", "a", "b"});
    const std::vector<IVantelData*> objects = list->GetTable();
    model.SetupModelData(list);
    list->Release();

    model.SetItemCheckState(0, true);  // "c"
    model.sort(2, Qt::AscendingOrder);
    QCOMPARE(column(model, 2), QStringList({"a", "b", "c"}));
    // Model row 2 now shows "c": the object, its position as handed over and its check follow it.
    QCOMPARE(model.GetRowData(2), objects[0]);
    QCOMPARE(model.GetSourceRow(2), 0);
    QCOMPARE(model.GetRowOfSource(0), 2);
    QCOMPARE(model.FindRow(objects[0]), 2);
    QCOMPARE(model.FindRow(nullptr), -1);
    QVERIFY(model.GetItemCheckState(2));
    QVERIFY(!model.GetItemCheckState(0));
    QCOMPARE(model.GetCheckedRowData(), QList<IVantelData*>({objects[0]}));
    QCOMPARE(model.GetCheckedRows(), QList<int>({2}));
    for (int r = 0; r < model.rowCount(); ++r)
        QCOMPARE(QString::fromUtf8(static_cast<IVantelText*>(model.GetRowData(r))->GetText()),
                 model.index(r, 2).data().toString());
}

void TestVantelDataModel::sortIsKeptForNewRows() {
    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.sort(2, Qt::DescendingOrder);
    QCOMPARE(model.GetSortColumn(), 2);
    IVantelList* list = makeList({"a", "c", "b"});
    model.SetupModelData(list);
    list->Release();
    QCOMPARE(column(model, 2), QStringList({"c", "b", "a"}));
    QCOMPARE(model.GetSourceRow(0), 1);
}

void TestVantelDataModel::persistentIndexesFollowSort() {
    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    IVantelList* list = makeList({"c", "a", "b"});
    model.SetupModelData(list);
    list->Release();
    QPersistentModelIndex pa(model.index(1, 2));  // "a"
    QSignalSpy about(&model, &QAbstractItemModel::layoutAboutToBeChanged);
    QSignalSpy changed(&model, &QAbstractItemModel::layoutChanged);
    model.sort(2, Qt::DescendingOrder);
    QCOMPARE(about.count(), 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(pa.row(), 2);
    QCOMPARE(pa.data().toString(), QString("a"));
}

void TestVantelDataModel::checkFlags() {
    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    IVantelList* list = makeList({"a", "b", "c"});
    model.SetupModelData(list);
    list->Release();
    QCOMPARE(int(VantelDataModel::CheckRole), 1256);

    QCOMPARE(model.index(0, 0).data(1256), QVariant(false));
    QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
    QVERIFY(!(model.flags(model.index(0, 1)) & Qt::ItemIsUserCheckable));

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy itemChanged(&model, &VantelDataModel::itemCheckStateChanged);
    QVERIFY(model.setData(model.index(1, 0), true, 1256));
    QCOMPARE(model.index(1, 0).data(1256), QVariant(true));
    QCOMPARE(model.index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(itemChanged.count(), 1);
    QCOMPARE(model.GetDetailCheckedCount(), 1);

    QVERIFY(model.setData(model.index(2, 0), int(Qt::Checked), Qt::CheckStateRole));
    QCOMPARE(model.GetDetailCheckedCount(), 2);
    // Setting the same state again tells nobody.
    changed.clear();
    model.SetItemCheckState(2, true);
    QCOMPARE(changed.count(), 0);

    model.SetAllItemCheckState(true);
    QCOMPARE(model.GetDetailCheckedCount(), model.GetRowCount());
    QCOMPARE(changed.count(), 1);
    model.SetAllItemCheckState(false);
    QCOMPARE(model.GetDetailCheckedCount(), 0);

    // New rows come unticked.
    model.SetAllItemCheckState(true);
    model.Clear(true);
    IVantelList* again = makeList({"x", "y"});
    model.SetupModelData(again);
    again->Release();
    QCOMPARE(model.GetDetailCheckedCount(), 0);
}

void TestVantelDataModel::checkFlagsIgnoreOtherColumnsAndRows() {
    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    IVantelList* list = makeList({"a"});
    model.SetupModelData(list);
    list->Release();
    QVERIFY(!model.setData(model.index(0, 1), true, 1256));
    QVERIFY(!model.setData(model.index(0, 0), "text", Qt::EditRole));
    QVERIFY(!model.index(0, 1).data(1256).isValid());
    model.SetItemCheckState(5, true);
    model.SetItemCheckState(-1, true);
    QCOMPARE(model.GetDetailCheckedCount(), 0);
    // An empty model has nothing to tick.
    TextModel empty;
    empty.SetAllItemCheckState(true);
    QCOMPARE(empty.GetDetailCheckedCount(), 0);
}

void TestVantelDataModel::headerLabels() {
    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QString("No"));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString());
    QVERIFY(!model.headerData(4, Qt::Horizontal).isValid());

    QSignalSpy header(&model, &QAbstractItemModel::headerDataChanged);
    model.SetHeaderLabels({{1, "Nummer"}, {2, "Text"}});
    QCOMPARE(header.count(), 1);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QString("Nummer"));
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QString());  // no label: empty
    QCOMPARE(model.columnCount(), 4);  // fixed by the model, not by its labels
}

void TestVantelDataModel::defaultColumnCountFollowsLabels() {
    VantelTableDataModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QCOMPARE(model.columnCount(), 0);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.SetHeaderLabels({{0, ""}, {2, "two"}, {-1, "ignored"}});
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.columnCount(), 3);
    IVantelList* list = makeList({"a"});
    model.SetupModelData(list);
    list->Release();
    QVERIFY(!model.index(0, 2).data().isValid());  // the base shows nothing by itself
    QCOMPARE(model.headerData(0, Qt::Vertical).toInt(), 1);
}

void TestVantelDataModel::refreshColumeAndToolTips() {
    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    IVantelList* list = makeList({"alpha", " "});
    model.SetupModelData(list);
    list->Release();
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.RefreshColume(2);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, 2));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(1, 2));
    model.RefreshColume(9);
    QCOMPARE(changed.count(), 1);

    QCOMPARE(model.index(0, 2).data(Qt::ToolTipRole).toString(), QString("alpha"));
    QVERIFY(!model.index(1, 2).data(Qt::ToolTipRole).isValid());
    QVERIFY(!model.index(0, 0).data(Qt::ToolTipRole).isValid());
}

void TestVantelDataModel::outOfRangeAccessIsHarmless() {
    TextModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QCOMPARE(model.GetRowData(0), nullptr);
    QCOMPARE(model.GetRowData(-1), nullptr);
    QCOMPARE(model.GetSourceRow(0), -1);
    QCOMPARE(model.GetRowOfSource(0), -1);
    QVERIFY(!model.index(0, 0).isValid());
    model.SetupModelData(nullptr);
    QCOMPARE(model.rowCount(), 0);
    model.sort(1);
    model.RefreshColume(1);
    model.Clear(true);
}

QTEST_MAIN(TestVantelDataModel)
#include "tst_vanteldatamodel.moc"
