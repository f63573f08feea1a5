// The video display panel: cells and layouts, the frame sink that players paint through, stop
// and delegation, selection and full screen.
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>
#include <atomic>
#include <thread>

#include "VantelInfraAPI/videodisplaypanel.h"

using namespace INFRA;

namespace {

QImage Solid(int w, int h, QColor c) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

bool IsColor(QRgb p, QColor c) {
    return qAbs(qRed(p) - c.red()) < 30 && qAbs(qGreen(p) - c.green()) < 30 && qAbs(qBlue(p) - c.blue()) < 30;
}

void* const kPlayerA = reinterpret_cast<void*>(0x1000);
void* const kPlayerB = reinterpret_cast<void*>(0x2000);

QList<void*> g_ended;

}  // namespace

class TestVideoPanel : public QObject {
    Q_OBJECT

    QWidget* host = nullptr;
    VideoDisplayPanel* panel = nullptr;

private slots:
    void init() {
        host = new QWidget();
        host->resize(400, 200);
        panel = new VideoDisplayPanel(host);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host));
    }
    void cleanup() {
        delete host;
        host = nullptr;
    }

    void layouts_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("shown");
        QTest::newRow("1x1") << 1 << 1 << 0 << 1;
        QTest::newRow("2x2") << 2 << 2 << 0 << 4;
        QTest::newRow("3x3") << 3 << 3 << 0 << 9;
        QTest::newRow("4x4") << 4 << 4 << 0 << 16;
        QTest::newRow("too many") << 5 << 5 << -1 << 1;
        QTest::newRow("none") << 0 << 1 << -1 << 1;
    }
    void layouts() {
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(int, result);
        QFETCH(int, shown);
        QCOMPARE(panel->SetGridLayout(1, 1, -1, -1), 0);
        QCOMPARE(panel->SetGridLayout(rows, columns, -1, -1), result);
        QCoreApplication::processEvents();
        int visible = 0;
        for (int i = 0; i < VideoDisplayPanel::MAX_GRIDS; ++i)
            if (panel->GetIndexGrid(i)->isVisible()) ++visible;
        QCOMPARE(visible, shown);
        QCOMPARE(panel->GetGridCount(), shown);
    }

    void cellsAndWindows() {
        QVERIFY(!panel->GetIndexGrid(-1));
        QVERIFY(!panel->GetIndexGrid(16));
        QCOMPARE(panel->CreatePlayerWnd(16), -1);
        QVERIFY(!panel->GetPlayerWnd(3));
        QCOMPARE(panel->CreatePlayerWnd(3), 0);
        QWidget* w = panel->GetPlayerWnd(3);
        QVERIFY(w);
        QCOMPARE(panel->GetIndexGrid(3)->GetPlayerWnd(), w);
        // Made once: a second call keeps the same window (a player keeps painting into it).
        QCOMPARE(panel->CreatePlayerWnd(3), 0);
        QCOMPARE(panel->GetPlayerWnd(3), w);
        // Shrinking the layout keeps the cell and its window.
        panel->SetGridLayout(4, 4);
        panel->SetGridLayout(1, 1);
        QCOMPARE(panel->GetPlayerWnd(3), w);
    }

    void panelFollowsItsParent() {
        QCOMPARE(panel->geometry(), host->rect());
        host->resize(640, 360);
        QCoreApplication::processEvents();
        QCOMPARE(panel->size(), QSize(640, 360));
    }

    void framesPaintWithTheAspectRatioKept() {
        panel->CreatePlayerWnd(0);
        QWidget* w = panel->GetPlayerWnd(0);
        auto sink = VideoWindow::FrameSinkOf(w);
        QVERIFY(sink);
        QVERIFY(sink->Present(kPlayerA, Solid(100, 100, Qt::red)));
        QTRY_VERIFY(IsColor(w->grab().toImage().pixel(w->width() / 2, w->height() / 2), Qt::red));
        QImage shot = w->grab().toImage();
        // A square picture in a wide window: black bars left and right.
        QVERIFY(IsColor(shot.pixel(3, shot.height() / 2), Qt::black));
        QVERIFY(IsColor(shot.pixel(shot.width() - 4, shot.height() / 2), Qt::black));
        // Stretched over the whole window when told so.
        sink->SetScale(VideoFrameSink::SCALE_FILL, 0.0f);
        QTRY_VERIFY(IsColor(w->grab().toImage().pixel(3, w->height() / 2), Qt::red));
        QVERIFY(!sink->TargetSize().isEmpty());
    }

    // A player converts to an aligned width near the shown size: the picture is painted with the
    // proportions of the size it stands for, and the player learns when it has been painted.
    void picturesStandForTheirDisplaySize() {
        host->resize(400, 200);
        QCoreApplication::processEvents();
        panel->CreatePlayerWnd(0);
        QWidget* w = panel->GetPlayerWnd(0);
        auto sink = VideoWindow::FrameSinkOf(w);
        QTRY_VERIFY(!sink->TargetSize().isEmpty());
        const QSize target = sink->TargetSize();
        // A square picture is shown as a square, a 2:1 one over the whole 2:1 window.
        QCOMPARE(sink->ShownSize(QSize(100, 100)), QSize(target.height(), target.height()));
        QCOMPARE(sink->ShownSize(QSize(target.width() * 3, target.height() * 3)), target);

        const quint64 first = sink->PresentPicture(kPlayerA, Solid(64, 64, Qt::red), target);
        QVERIFY(first > 0);
        QVERIFY(sink->PaintedSerial() < first);
        QImage shot = w->grab().toImage();
        QVERIFY(sink->PaintedSerial() >= first);
        // Stands for the window's proportions: no black bars at the sides.
        QVERIFY(IsColor(shot.pixel(3, shot.height() / 2), Qt::red));
        QVERIFY(IsColor(shot.pixel(shot.width() - 4, shot.height() / 2), Qt::red));

        const quint64 second = sink->PresentPicture(kPlayerA, Solid(64, 64, Qt::green));
        QVERIFY(second > first);
        QVERIFY(sink->PaintedSerial() < second);
        shot = w->grab().toImage();
        QVERIFY(IsColor(shot.pixel(shot.width() / 2, shot.height() / 2), Qt::green));
        QVERIFY(IsColor(shot.pixel(3, shot.height() / 2), Qt::black));

        // A cleared picture no longer waits to be painted; refused pictures get no number.
        const quint64 third = sink->PresentPicture(kPlayerA, Solid(64, 64, Qt::blue));
        sink->Clear();
        QVERIFY(sink->PaintedSerial() >= third);
        sink->SetStopped(true);
        QVERIFY(!sink->Accepts(kPlayerA));
        QCOMPARE(sink->PresentPicture(kPlayerA, Solid(8, 8, Qt::red)), quint64(0));
    }

    void stopAndDelegation() {
        panel->CreatePlayerWnd(0);
        VideoGrid* grid = panel->GetIndexGrid(0);
        auto sink = VideoWindow::FrameSinkOf(grid->GetPlayerWnd());
        grid->DelegatePainting(kPlayerA);
        QCOMPARE(grid->GetDelegate(), kPlayerA);
        QVERIFY(!sink->Present(kPlayerB, Solid(64, 64, Qt::blue)));
        QVERIFY(sink->Present(kPlayerA, Solid(64, 64, Qt::green)));
        QWidget* w = grid->GetPlayerWnd();
        QTRY_VERIFY(IsColor(w->grab().toImage().pixel(w->width() / 2, w->height() / 2), Qt::green));

        grid->StopVideo();
        QVERIFY(grid->IsStop());
        QVERIFY(!sink->Present(kPlayerA, Solid(64, 64, Qt::green)));
        QTRY_VERIFY(IsColor(w->grab().toImage().pixel(w->width() / 2, w->height() / 2), Qt::black));

        grid->SetStop(false);
        grid->DelegatePainting(nullptr);
        QVERIFY(sink->Present(kPlayerB, Solid(64, 64, Qt::blue)));
        QTRY_VERIFY(IsColor(w->grab().toImage().pixel(w->width() / 2, w->height() / 2), Qt::blue));
        grid->ResetDisplay();
        QTRY_VERIFY(IsColor(w->grab().toImage().pixel(w->width() / 2, w->height() / 2), Qt::black));
    }

    void framesFromAnotherThread() {
        panel->CreatePlayerWnd(0);
        QWidget* w = panel->GetPlayerWnd(0);
        auto sink = VideoWindow::FrameSinkOf(w);
        std::atomic<int> ok{0};
        std::atomic<bool> done{false};
        std::thread player([&] {
            for (int i = 0; i < 200; ++i)
                ok += sink->Present(kPlayerA, Solid(32, 32, i % 2 ? Qt::red : Qt::yellow)) ? 1 : 0;
            done = true;
        });
        while (!done) QCoreApplication::processEvents();
        player.join();
        QCOMPARE(ok.load(), 200);
        QTRY_VERIFY(!IsColor(w->grab().toImage().pixel(w->width() / 2, w->height() / 2), Qt::black));
    }

    void sinkOutlivesItsWindow() {
        panel->CreatePlayerWnd(0);
        auto sink = VideoWindow::FrameSinkOf(panel->GetPlayerWnd(0));
        delete host;
        host = nullptr;
        QVERIFY(!sink->IsAlive());
        QVERIFY(!sink->Present(kPlayerA, Solid(8, 8, Qt::red)));
        QVERIFY(sink->TargetSize().isEmpty());
        sink->Refresh();
    }

    void stopPlayEndsThePlayer() {
        g_ended.clear();
        VideoGrid::SetPlayerEndHook([](void* p) { g_ended << p; });
        panel->CreatePlayerWnd(1);
        VideoGrid* grid = panel->GetIndexGrid(1);
        grid->SetStop(false);
        grid->DelegatePainting(kPlayerA);
        grid->OnStopPlay(kPlayerA);
        QCOMPARE(g_ended, QList<void*>{kPlayerA});
        QVERIFY(grid->IsStop());
        QVERIFY(!grid->GetDelegate());
        grid->OnStopPlay(nullptr);
        QCOMPARE(g_ended.size(), 1);
        VideoGrid::SetPlayerEndHook(nullptr);
    }

    void selectionAndFullScreen() {
        panel->SetGridLayout(2, 2);
        panel->SetCurrentGrid(0);
        QSignalSpy selected(panel, &VideoPanel::SignalGridSelected);
        QSignalSpy full(panel, &VideoPanel::SignalPanelFullScreen);
        QSignalSpy back(panel, &VideoPanel::SignalPanelExitFullScreen);
        panel->CreatePlayerWnd(2);
        QCoreApplication::processEvents();
        QTest::mouseClick(panel->GetPlayerWnd(2), Qt::LeftButton);
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected.first().first().toInt(), 2);
        QCOMPARE(panel->GetCurrentGrid(), 2);
        QVERIFY(panel->GetIndexGrid(2)->IsSelected());
        QVERIFY(!panel->GetIndexGrid(0)->IsSelected());

        panel->FullScreen(nullptr);
        QVERIFY(panel->IsFullScreen());
        QVERIFY(panel->isWindow());
        QCOMPARE(full.count(), 1);
        QTest::keyClick(panel, Qt::Key_Escape);
        QVERIFY(!panel->IsFullScreen());
        QCOMPARE(back.count(), 1);
        QCOMPARE(panel->parentWidget(), host);
        QCOMPARE(panel->geometry(), host->rect());
    }

    void fullScreenReturnsToItsLayout() {
        // A panel placed in a layout goes back to the same place.
        QWidget frame;
        auto* box = new QVBoxLayout(&frame);
        auto* top = new QWidget();
        auto* below = new QWidget();
        box->addWidget(top);
        auto* laid = new VideoDisplayPanel();
        box->addWidget(laid);
        box->addWidget(below);
        frame.resize(300, 300);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        laid->FullScreen(nullptr);
        QCOMPARE(box->indexOf(laid), -1);
        laid->ExitFullScreen();
        QCOMPARE(box->indexOf(laid), 1);
        QCOMPARE(laid->parentWidget(), &frame);
    }
};

QTEST_MAIN(TestVideoPanel)
#include "tst_videopanel.moc"
