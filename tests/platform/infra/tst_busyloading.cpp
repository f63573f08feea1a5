// The busy indicator runs its worker off the GUI thread and brings the result back on it.
#include <QElapsedTimer>
#include <QtTest>
#include <atomic>
#include <vector>

#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/testseams.h"

class Worker : public QObject {
    Q_OBJECT
public:
    std::atomic<QThread*> ranOn{nullptr};
    std::atomic<int> finished{0};
    int Work(void* arg) {
        ranOn = QThread::currentThread();
        QThread::msleep(100);
        ++finished;
        return *static_cast<int*>(arg);
    }
    QThread* slotThread = nullptr;
    int got = -999;
public slots:
    void OnReturn(int r) {
        slotThread = QThread::currentThread();
        got = r;
    }
};

// A window whose worker runs on its own members, as the consoles' pages do: the indicator is its
// child, so Qt destroys the indicator only after the window's members are gone. The window waits
// for its workers in its own destructor.
class Owner : public QWidget {
    Q_OBJECT
public:
    std::atomic<bool>* ended;
    std::atomic<bool> started{false};
    std::vector<int> data = std::vector<int>(4096);  // what the worker writes: on the heap
    int returns = 0;
    explicit Owner(std::atomic<bool>* endedFlag) : ended(endedFlag) {}
    ~Owner() override { INFRA::BusyLoading::WaitForWorkers(this); }
    int Fill(void*) {
        started = true;
        // Long enough for the window to go while it runs; every write lands in the window's member.
        QElapsedTimer t;
        t.start();
        for (int pass = 0; t.elapsed() < 300; ++pass)
            for (size_t i = 0; i < data.size(); ++i) data[i] = pass;
        *ended = true;
        return int(data.size());
    }
public slots:
    void OnReturn(int) { ++returns; }
};

class TestBusyLoading : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { INFRA::TestSeams::SetBusySynchronous(false); }

    void workerOffGuiThreadResultOnGuiThread() {
        QWidget parent;
        parent.resize(300, 200);
        Worker w;
        int arg = 42;
        INFRA::BusyLoading* busy = INFRA::BusyLoading::animate(&parent, &w, &Worker::Work, &arg);
        QVERIFY(busy);
        QVERIFY(busy->IsRunning());
        QCOMPARE(busy->geometry(), parent.rect());  // covers its parent
        connect(busy, SIGNAL(returned(int)), &w, SLOT(OnReturn(int)));
        QSignalSpy destroyed(busy, &QObject::destroyed);
        QTRY_COMPARE(w.got, 42);
        QVERIFY(w.ranOn.load() != QThread::currentThread());
        QCOMPARE(w.slotThread, QThread::currentThread());
        QTRY_COMPARE(destroyed.count(), 1);  // the indicator removes itself
    }

    void negativeResultPassesThrough() {
        Worker w;
        int arg = -1;
        auto* busy = INFRA::BusyLoading::animate(nullptr, &w, &Worker::Work, &arg);
        QSignalSpy spy(busy, &INFRA::BusyLoading::returned);
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.takeFirst().at(0).toInt(), -1);
    }

    void synchronousSeamStillSignalsLater() {
        INFRA::TestSeams::SetBusySynchronous(true);
        Worker w;
        int arg = 7;
        auto* busy = INFRA::BusyLoading::animate(nullptr, &w, &Worker::Work, &arg);
        QCOMPARE(w.ranOn.load(), QThread::currentThread());
        QCOMPARE(w.finished.load(), 1);
        // Connected after animate returned, as the consoles do: the result is not lost.
        QSignalSpy spy(busy, &INFRA::BusyLoading::returned);
        QVERIFY(spy.wait(2000));
        QCOMPARE(spy.takeFirst().at(0).toInt(), 7);
    }

    // The window that owns the indicator goes away while its worker runs: the worker finishes
    // first, so it never uses a destroyed receiver.
    void destroyingTheParentWaitsForTheWorker() {
        Worker w;
        int arg = 1;
        auto* parent = new QWidget;
        INFRA::BusyLoading::animate(parent, &w, &Worker::Work, &arg);
        QTRY_VERIFY(w.ranOn.load() != nullptr);
        delete parent;
        QCOMPARE(w.finished.load(), 1);
    }

    // The owner is the receiver and goes while its worker runs: the worker ends before the
    // owner's members do (the address sanitizer build sees every write), and no result comes.
    void ownerGoesWhileItsWorkerRuns() {
        std::atomic<bool> ended{false};
        auto* owner = new Owner(&ended);
        auto* inner = new QWidget(owner);  // an indicator deeper down is waited for too
        INFRA::BusyLoading* busy = INFRA::BusyLoading::animate(inner, owner, &Owner::Fill, nullptr);
        connect(busy, &INFRA::BusyLoading::returned, owner, &Owner::OnReturn);
        QSignalSpy returned(busy, &INFRA::BusyLoading::returned);
        QTRY_VERIFY(owner->started.load());
        QVERIFY(!ended.load());
        delete owner;
        QVERIFY(ended.load());
        QCoreApplication::processEvents();
        QCOMPARE(returned.count(), 0);
    }
};

QTEST_MAIN(TestBusyLoading)
#include "tst_busyloading.moc"
