// The video display panel's own drawing: the lines between the views are the panel's background
// after every change of layout, never a left-over of the picture that lay there before.
#include <QtTest>
#include <QtWidgets>

#include "VantelInfraAPI/videodisplaypanel.h"

using INFRA::VideoDisplayPanel;

namespace {

// What the window shows now, as the screen has it (the backing store, stale pixels included).
QImage OnScreen(QWidget* window) {
    return window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The panel's pixels (in window coordinates) that no cell covers, with their colour, where it
// is not the background.
QStringList NotBackground(const QImage& shot, VideoDisplayPanel* panel, QWidget* window) {
    QRegion gaps(QRect(panel->mapTo(window, QPoint()), panel->size()));
    for (int i = 0; i < panel->GetGridCount(); ++i) {
        QWidget* cell = panel->GetIndexGrid(i);
        gaps -= QRect(cell->mapTo(window, QPoint()), cell->size());
    }
    const QRgb background = panel->palette().color(QPalette::Window).rgb();
    QStringList wrong;
    for (const QRect& r : gaps)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (shot.pixel(x, y) != background && wrong.size() < 5)
                    wrong
                        << QStringLiteral("%1,%2=#%3").arg(x).arg(y).arg(shot.pixel(x, y) & 0xffffff, 6, 16);
    return wrong;
}

}  // namespace

class TestVideoDisplayPanel : public QObject {
    Q_OBJECT
private slots:
    void gapsRepaintedAfterLayoutChange_data();
    void gapsRepaintedAfterLayoutChange();
};

void TestVideoDisplayPanel::gapsRepaintedAfterLayoutChange_data() {
    QTest::addColumn<int>("fromViews");
    QTest::addColumn<int>("toViews");
    QTest::addColumn<int>("panelWidthChange");  // the play list hidden: the panel grows
    QTest::newRow("1 to 4 views") << 1 << 2 << 0;
    QTest::newRow("1 to 16 views") << 1 << 4 << 0;
    QTest::newRow("4 to 9 views") << 2 << 3 << 0;
    QTest::newRow("4 views, panel grows") << 2 << 2 << 120;
}

void TestVideoDisplayPanel::gapsRepaintedAfterLayoutChange() {
    QFETCH(int, fromViews);
    QFETCH(int, toViews);
    QFETCH(int, panelWidthChange);
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* list = new QWidget(&window);  // stands for the play list beside the views
    list->setFixedWidth(120);
    layout->addWidget(list);
    auto* holder = new QWidget(&window);
    holder->setLayout(new QVBoxLayout);
    holder->layout()->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(holder, 1);
    auto* panel = new VideoDisplayPanel(holder);
    holder->layout()->addWidget(panel);
    window.resize(120 + 401, 301);
    QCOMPARE(panel->SetGridLayout(fromViews, fromViews), 0);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // A white picture over every view of the first layout.
    QImage white(64, 36, QImage::Format_RGB32);
    white.fill(Qt::white);
    QList<std::shared_ptr<INFRA::VideoFrameSink>> sinks;
    for (int i = 0; i < fromViews * fromViews; ++i) {
        QCOMPARE(panel->CreatePlayerWnd(i), 0);
        auto sink = INFRA::VideoWindow::FrameSinkOf(panel->GetPlayerWnd(i));
        QVERIFY(sink);
        sink->SetScale(INFRA::VideoFrameSink::SCALE_FILL, 0);
        const quint64 serial = sink->PresentPicture(this, white);
        QVERIFY(serial > 0);
        QVERIFY(QTest::qWaitFor([&sink, serial]() { return sink->PaintedSerial() >= serial; }));
        sinks << sink;
    }
    QVERIFY(QTest::qWaitFor([&]() { return NotBackground(OnScreen(&window), panel, &window).isEmpty(); }));

    if (toViews != fromViews) QCOMPARE(panel->SetGridLayout(toViews, toViews), 0);
    if (panelWidthChange) {
        list->hide();
        QVERIFY(QTest::qWaitFor([&]() { return panel->width() == 401 + panelWidthChange; }));
    }
    // Wait for the repaint that follows the change; the lines between views must then be the
    // background (a line of the old picture would stay white).
    QStringList wrong;
    const bool clean = QTest::qWaitFor(
        [&]() {
            QApplication::processEvents();
            wrong = NotBackground(OnScreen(&window), panel, &window);
            return wrong.isEmpty();
        },
        2000);
    QVERIFY2(clean, qPrintable(wrong.join(QLatin1Char(' '))));
}

QTEST_MAIN(TestVideoDisplayPanel)
#include "tst_videodisplaypanel.moc"
