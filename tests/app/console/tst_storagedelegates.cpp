// The storage delegates: the bar rules as tables, and what each delegate paints into a cell.
#include <QPainter>
#include <QResource>
#include <QScopeGuard>
#include <QTableView>
#include <QtTest>
#include <memory>

#include "LumoSRecord/LumoSRecord.h"
#include "delegates/storagebars.h"
#include "delegates/vmrdelegates.h"
#include "models/vmrmodels.h"
#include "storagetables.h"

using StorageBars::Bar;
using StorageBars::Fill;
Q_DECLARE_METATYPE(StorageBars::Bar::Mode)
Q_DECLARE_METATYPE(StorageBars::Fill)

namespace {

const QColor kGreen(53, 183, 74);
const QColor kDarkGrey(75, 75, 75);
const QColor kGrey(Qt::gray);
const QColor kRed(Qt::red);
const QColor kSentinel(255, 0, 255);

QVector<Fill> fills(std::initializer_list<Fill> f) { return QVector<Fill>(f); }

IKestoDiskInfo* disk(qint64 totalKB, qint64 usedKB, quint32 state) {
    IKestoDiskInfo* d = IKestoDiskInfo::CreateObject();
    d->SetID(1);
    d->GetInfo()->SetShortName("D");
    d->GetInfo()->SetSpace(totalKB, usedKB);
    d->GetInfo()->SetState(state);
    return d;
}

// One table, one model, one delegate; paints single cells into images.
template <typename Model, typename Delegate>
struct Cell {
    QTableView view;
    Model model;
    Delegate* delegate;
    explicit Cell(IVantelData* row) : delegate(nullptr) {
        IVantelList* list = IVantelList::CreateObject();
        list->Add(row, false, false);
        model.SetupModelData(list);
        list->Release();
        view.setModel(&model);
        delegate = new Delegate(&view, &view);
        view.setItemDelegate(delegate);
    }
    QImage paint(int column, bool selected = false, int width = 200, int height = 40) {
        QStyleOptionViewItem opt;
        opt.initFrom(view.viewport());
        opt.widget = &view;
        opt.rect = QRect(0, 0, width, height);
        opt.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        opt.showDecorationSelected = true;  // as a table view asks
        opt.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
        opt.palette.setColor(QPalette::Highlight, QColor(0, 0, 200));
        QImage img(opt.rect.size(), QImage::Format_RGB32);
        img.fill(kSentinel);
        QPainter p(&img);
        delegate->paint(&p, opt, model.index(0, column));
        return img;
    }
};

// The bar of a 200 x 40 cell is 180 wide from x 5, from y 5; y 7 lies above any text.
QColor barAt(const QImage& img, int x) { return img.pixelColor(5 + x, 7); }

bool hasWhiteText(const QImage& img) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y) == QColor(Qt::white)) return true;
    return false;
}

}  // namespace

class TestStorageDelegates : public QObject {
    Q_OBJECT
private slots:
    void barRect();
    void spaceBar_data();
    void spaceBar();
    void diskStateBar_data();
    void diskStateBar();
    void recordStateBar_data();
    void recordStateBar();
    void blockUsageBar_data();
    void blockUsageBar();
    void diskDelegatePaintsSpaceBars();
    void diskDelegateLeavesUnsplittableCellsToTheBase();
    void diskStatusDelegate();
    void recordStateDelegates();
    void blockDelegateLeavesAnEmptyCellBlank();
    void recordFileDelegatePaintsLikeTheBase();
    void actionIconsShowOnASelectedRow_data();
    void actionIconsShowOnASelectedRow();
};

void TestStorageDelegates::barRect() {
    QCOMPARE(StorageBars::BarRect(QRect(0, 0, 100, 30)), QRect(5, 5, 80, 25));
    QCOMPARE(StorageBars::BarRect(QRect(10, 20, 200, 20)), QRect(15, 25, 180, 15));
}

void TestStorageDelegates::spaceBar_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("unformattedLabel");
    QTest::addColumn<Bar::Mode>("mode");
    QTest::addColumn<QVector<Fill>>("expectedFills");
    QTest::addColumn<QString>("expectedText");
    // Bar width 90.
    QTest::newRow("300 of 900: a third, green") << "300/900" << true << Bar::Draw << fills({{30, kGreen}}) << "300/900";
    QTest::newRow("700 of 900: red") << "700/900" << true << Bar::Draw << fills({{70, kRed}}) << "700/900";
    QTest::newRow("600 of 900: not above two thirds") << "600/900" << true << Bar::Draw << fills({{60, kGreen}})
                                                      << "600/900";
    QTest::newRow("66 of 100 green") << "66/100" << false << Bar::Draw << fills({{59, kGreen}}) << "66/100";
    QTest::newRow("67 of 100 red") << "67/100" << false << Bar::Draw << fills({{60, kRed}}) << "67/100";
    QTest::newRow("0 of 0 on the disk table") << "0/0" << true << Bar::Draw << fills({{90, kDarkGrey}})
                                              << "K3710_UnFormat";
    QTest::newRow("0 of 0 on the status table") << "0/0" << false << Bar::Draw << fills({{90, kDarkGrey}}) << "0/0";
    QTest::newRow("more used than there is") << "900/300" << true << Bar::Draw << fills({{90, kRed}}) << "900/300";
    QTest::newRow("not a number reads 0") << "x/100" << true << Bar::Draw << fills({{0, kGreen}}) << "x/100";
    QTest::newRow("terabytes in KB do not overflow")
        << "3000000000/4000000000" << true << Bar::Draw << fills({{67, kRed}}) << "3000000000/4000000000";
    QTest::newRow("empty") << "" << true << Bar::Decline << fills({}) << "";
    QTest::newRow("no slash") << "900" << true << Bar::Decline << fills({}) << "";
    QTest::newRow("nothing before the slash") << "/900" << true << Bar::Decline << fills({}) << "";
    QTest::newRow("nothing after the slash") << "9/" << true << Bar::Decline << fills({}) << "";
}

void TestStorageDelegates::spaceBar() {
    QFETCH(QString, text);
    QFETCH(bool, unformattedLabel);
    QFETCH(Bar::Mode, mode);
    QFETCH(QVector<Fill>, expectedFills);
    QFETCH(QString, expectedText);
    const Bar bar = StorageBars::SpaceBar(text, 90, unformattedLabel);
    QCOMPARE(bar.mode, mode);
    if (mode != Bar::Draw) return;
    QCOMPARE(bar.fills, expectedFills);
    QCOMPARE(bar.text, expectedText);
}

void TestStorageDelegates::diskStateBar_data() {
    QTest::addColumn<QVariant>("state");
    QTest::addColumn<QVector<Fill>>("expectedFills");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("0x1A formatted, reading and writing") << QVariant(0x1Au) << fills({{90, kGreen}}) << "K3717_OnRW";
    QTest::newRow("0x02 formatted, idle") << QVariant(0x02u) << fills({}) << "K3709_Idle";
    QTest::newRow("0x18 unformatted but busy") << QVariant(0x18u) << fills({{90, kDarkGrey}, {90, kGreen}})
                                               << "K3710_UnFormat";
    QTest::newRow("0x12 writing") << QVariant(0x12u) << fills({{90, kGreen}}) << "K3781_OnWrite";
    QTest::newRow("0x0A reading") << QVariant(0x0Au) << fills({{90, kGreen}}) << "K3708_OnRead";
    QTest::newRow("0 unformatted") << QVariant(0u) << fills({{90, kDarkGrey}}) << "K3710_UnFormat";
    QTest::newRow("0x1FFF every bit") << QVariant(0x1FFFu) << fills({{90, kGreen}}) << "K3717_OnRW";
    QTest::newRow("high bit set") << QVariant(0x80000002u) << fills({}) << "K3709_Idle";
    QTest::newRow("not a number") << QVariant("busy") << fills({{90, kDarkGrey}}) << "K3710_UnFormat";
}

void TestStorageDelegates::diskStateBar() {
    QFETCH(QVariant, state);
    QFETCH(QVector<Fill>, expectedFills);
    QFETCH(QString, expectedText);
    const Bar bar = StorageBars::DiskStateBar(state, 90);
    QCOMPARE(bar.mode, Bar::Draw);
    QCOMPARE(bar.fills, expectedFills);
    QCOMPARE(bar.text, expectedText);
}

void TestStorageDelegates::recordStateBar_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVector<Fill>>("expectedFills");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("3 recording") << QVariant(3) << fills({{90, kGreen}}) << "K3707_OnRecord";
    QTest::newRow("16 manual") << QVariant(16) << fills({{90, kGreen}}) << "K3707_OnRecord";
    QTest::newRow("0 idle") << QVariant(0) << fills({}) << "K3709_Idle";
    QTest::newRow("negative: text only") << QVariant(-1) << fills({}) << "K3707_OnRecord";
    QTest::newRow("not a number") << QVariant("x") << fills({}) << "K3709_Idle";
}

void TestStorageDelegates::recordStateBar() {
    QFETCH(QVariant, value);
    QFETCH(QVector<Fill>, expectedFills);
    QFETCH(QString, expectedText);
    const Bar bar = StorageBars::RecordStateBar(value, 90);
    QCOMPARE(bar.mode, Bar::Draw);
    QCOMPARE(bar.fills, expectedFills);
    QCOMPARE(bar.text, expectedText);
}

void TestStorageDelegates::blockUsageBar_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Bar::Mode>("mode");
    QTest::addColumn<QVector<Fill>>("expectedFills");
    QTest::addColumn<QString>("expectedText");
    // Bar width 90.
    QTest::newRow("16/256 full, green") << "16/256" << Bar::Draw << fills({{90, kGreen}}) << "100%";
    QTest::newRow("0/128 half, dark grey") << "0/128" << Bar::Draw << fills({{45, kDarkGrey}}) << "50%";
    QTest::newRow("16/0 nothing used") << "16/0" << Bar::Draw << fills({}) << "0%";
    QTest::newRow("17/1 a sliver") << "17/1" << Bar::Draw << fills({{0, kGreen}}) << "0%";
    QTest::newRow("16/100") << "16/100" << Bar::Draw << fills({{35, kGreen}}) << "39%";
    QTest::newRow("more than full stays in the bar") << "16/512" << Bar::Draw << fills({{90, kGreen}}) << "200%";
    QTest::newRow("empty") << "" << Bar::Blank << fills({}) << "";
    QTest::newRow("no used count") << "16/" << Bar::Blank << fills({}) << "";
    QTest::newRow("no state") << "/16" << Bar::Blank << fills({}) << "";
}

void TestStorageDelegates::blockUsageBar() {
    QFETCH(QString, text);
    QFETCH(Bar::Mode, mode);
    QFETCH(QVector<Fill>, expectedFills);
    QFETCH(QString, expectedText);
    const Bar bar = StorageBars::BlockUsageBar(text, 90);
    QCOMPARE(bar.mode, mode);
    if (mode != Bar::Draw) return;
    QCOMPARE(bar.fills, expectedFills);
    QCOMPARE(bar.text, expectedText);
}

void TestStorageDelegates::diskDelegatePaintsSpaceBars() {
    {
        // 300 of 900 (the model shifts KB by 10 bits): 60 of the 180 pixels green.
        Cell<VMRDiskModel, VMRDiskDelegate> c(disk(900 << 10, 300 << 10, 0x2));
        const QImage img = c.paint(3, true);
        QCOMPARE(barAt(img, 0), kGreen);
        QCOMPARE(barAt(img, 59), kGreen);
        QCOMPARE(barAt(img, 60), kGrey);
        QCOMPARE(barAt(img, 179), kGrey);
        // No selection colour, no focus frame: the margins keep what was there.
        QCOMPARE(img.pixelColor(2, 2), kSentinel);
        QCOMPARE(img.pixelColor(195, 20), kSentinel);
        QVERIFY(hasWhiteText(img));
    }
    {
        Cell<VMRDiskModel, VMRDiskDelegate> c(disk(900 << 10, 700 << 10, 0x2));
        const QImage img = c.paint(3);
        QCOMPARE(barAt(img, 100), kRed);
        QCOMPARE(barAt(img, 140), kGrey);
    }
    {
        Cell<VMRDiskModel, VMRDiskDelegate> c(disk(0, 0, 0));
        const QImage img = c.paint(3);
        QCOMPARE(barAt(img, 0), kDarkGrey);
        QCOMPARE(barAt(img, 179), kDarkGrey);
    }
}

void TestStorageDelegates::diskDelegateLeavesUnsplittableCellsToTheBase() {
    // A row of another kind has no space text: the base paints the cell, selection included.
    Cell<VMRDiskModel, VMRDiskDelegate> c(IVantelText::CreateObject("x"));
    const QImage img = c.paint(3, true);
    QCOMPARE(img.pixelColor(100, 20), QColor(0, 0, 200));
    // Ordinary columns are the base's too.
    Cell<VMRDiskModel, VMRDiskDelegate> d(disk(900, 0, 0x2));
    QCOMPARE(d.paint(2, true).pixelColor(150, 20), QColor(0, 0, 200));
}

void TestStorageDelegates::diskStatusDelegate() {
    Cell<VMRDiskStatusModel, VMRDiskStatusDelegate> busy(disk(0, 0, 0x18));
    QImage img = busy.paint(3);
    QCOMPARE(barAt(img, 0), kGreen);
    QCOMPARE(barAt(img, 179), kGreen);
    // Column 6 is the space bar without the unformatted label: same dark grey bar.
    img = busy.paint(6);
    QCOMPARE(barAt(img, 90), kDarkGrey);

    Cell<VMRDiskStatusModel, VMRDiskStatusDelegate> idle(disk(900 << 10, 300 << 10, 0x02));
    img = idle.paint(3);
    QCOMPARE(barAt(img, 0), kGrey);
    img = idle.paint(6);
    QCOMPARE(barAt(img, 30), kGreen);
    QCOMPARE(barAt(img, 90), kGrey);
}

void TestStorageDelegates::recordStateDelegates() {
    IKestoChanInfo* chn = IKestoChanInfo::CreateObject();
    IKestoStreamInfo* s = IKestoStreamInfo::CreateObject();
    s->SetID(1);
    s->GetData()->recordMode = 1;
    s->AddRef();  // also shown in the stream table below
    chn->AddStream(s);
    Cell<VMRChnModel, VMRChnDelegate> c(chn);
    QCOMPARE(barAt(c.paint(6), 120), kGreen);
    Cell<VMRStreamModel, VMRStreamDelegate> st(s);
    QCOMPARE(barAt(st.paint(8), 120), kGreen);
    s->GetData()->recordMode = 0;
    QCOMPARE(barAt(c.paint(6), 120), kGrey);
    QCOMPARE(barAt(st.paint(8), 120), kGrey);
}

void TestStorageDelegates::blockDelegateLeavesAnEmptyCellBlank() {
    IKestoBlockInfo* b = IKestoBlockInfo::CreateObject();
    b->GetInfo()->SetState(0);
    b->GetInfo()->SetClusterUsed(128);
    Cell<VMRBlockModel, VMRBlockDelegate> c(b);
    QImage img = c.paint(3);
    QCOMPARE(barAt(img, 0), kDarkGrey);
    QCOMPARE(barAt(img, 89), kDarkGrey);
    QCOMPARE(barAt(img, 91), kGrey);

    // A row whose cell is empty: not even the selection colour.
    Cell<VMRBlockModel, VMRBlockDelegate> empty(IVantelText::CreateObject("x"));
    img = empty.paint(3, true);
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3) QCOMPARE(img.pixelColor(x, y), kSentinel);
}

void TestStorageDelegates::recordFileDelegatePaintsLikeTheBase() {
    IKestoFileInfoAV* f = IKestoFileInfoAV::CreateObject();
    Cell<VMRRecordFileModel, VMRRecordFileDelegate> c(f);
    for (int col : {1, 5, 7}) QCOMPARE(c.paint(col, true).pixelColor(150, 20), QColor(0, 0, 200));
}

// The row buttons are drawn in the accent colour, which is also the selection's: on a selected row
// they stand out in the selection's text colour, as on any other row against the base.
void TestStorageDelegates::actionIconsShowOnASelectedRow_data() {
    QTest::addColumn<bool>("selected");
    QTest::newRow("selected") << true;
    QTest::newRow("not selected") << false;
}
void TestStorageDelegates::actionIconsShowOnASelectedRow() {
    QFETCH(bool, selected);
    QVERIFY(QResource::registerResource(qEnvironmentVariable("VANTEL_BIN_DIR") + QStringLiteral("/vantelres.xdll")));
    auto cleanup = qScopeGuard([]() {
        QResource::unregisterResource(qEnvironmentVariable("VANTEL_BIN_DIR") + QStringLiteral("/vantelres.xdll"));
    });
    const QColor accent(0x1f, 0x6f, 0xb2);  // the consoles' accent, their selection colour
    Cell<VMRDiskModel, VMRDiskDelegate> c(disk(1000, 10, 0));
    c.delegate->SetActionButtonRepo(StorageTables::RepoFor(StorageTables::DiskActions(), 4));
    QStyleOptionViewItem opt;
    opt.initFrom(c.view.viewport());
    opt.widget = &c.view;
    opt.rect = QRect(0, 0, 100, 30);
    opt.showDecorationSelected = true;
    opt.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
    opt.palette.setColor(QPalette::Highlight, accent);
    opt.palette.setColor(QPalette::HighlightedText, Qt::white);
    opt.palette.setColor(QPalette::Base, Qt::white);
    QImage img(opt.rect.size(), QImage::Format_RGB32);
    img.fill(selected ? accent : QColor(Qt::white));
    {
        QPainter p(&img);
        c.delegate->paint(&p, opt, c.model.index(0, 4));
    }
    // Each of the two buttons has pixels that differ clearly from the row's background.
    const QColor background = selected ? accent : QColor(Qt::white);
    const QVector<QRect> rects = c.delegate->ActionButtonRects(opt, c.model.index(0, 4));
    QCOMPARE(rects.size(), 2);
    for (const QRect& r : rects) {
        int visible = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor px = img.pixelColor(x, y);
                const int d = qAbs(px.red() - background.red()) + qAbs(px.green() - background.green()) +
                              qAbs(px.blue() - background.blue());
                if (d > 150) ++visible;
            }
        QVERIFY2(visible >= 15, qPrintable(QStringLiteral("%1 pixels of the button show").arg(visible)));
    }
}

QTEST_MAIN(TestStorageDelegates)
#include "tst_storagedelegates.moc"
