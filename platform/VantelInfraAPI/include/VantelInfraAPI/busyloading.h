// INFRA::BusyLoading: runs a long request off the GUI thread under a busy animation, and brings
// its integer result back to the GUI thread through `returned`.
//
// Contract: made and used on the GUI thread only. One worker per indicator, on Qt's global pool.
// The worker must not touch widgets or models; whatever it writes must outlive it. `returned`
// comes queued, once, on the GUI thread, and the indicator then deletes itself; an indicator
// destroyed first (with its parent, say) never emits. Destroying an indicator waits for its
// worker. Qt destroys a widget's children only after the widget's own class has been torn down,
// so an owner whose worker uses the owner's members calls WaitForWorkers(this) first thing in
// its destructor: the indicator's own wait would come too late.
#pragma once

#include <QFuture>
#include <QWidget>
#include <functional>

class QTimer;

namespace INFRA {

class BusyLoading : public QWidget {
    Q_OBJECT
public:
    // Runs (receiver->*worker)(arg) on a pool thread. The worker must not touch widgets or
    // models. The returned object covers `parent` with the animation until the worker ends,
    // emits returned(result) on the GUI thread and then deletes itself; connect to it right away.
    // A receiver that is the parent (or owns it) calls WaitForWorkers in its destructor.
    template <class T>
    static BusyLoading* animate(QWidget* parent, T* receiver, int (T::*worker)(void*), void* arg) {
        auto* b = new BusyLoading(parent);
        b->start([receiver, worker, arg]() { return (receiver->*worker)(arg); });
        return b;
    }
    // The same for any callable.
    static BusyLoading* animate(QWidget* parent, std::function<int()> job);

    // Waits for the worker that runs; emits nothing.
    ~BusyLoading() override;
    bool IsRunning() const { return m_running; }

    // Destroys every indicator among owner's descendants, each after its worker has ended; none
    // of them emits `returned` any more. For the destructor of an owner whose workers use it.
    static void WaitForWorkers(QObject* owner);

signals:
    void returned(int result);

protected:
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    explicit BusyLoading(QWidget* parent);
    void start(std::function<int()> job);
    void finish(int result);

    QFuture<int> m_future;
    QTimer* m_spin = nullptr;
    int m_angle = 0;
    bool m_running = false;
};

}  // namespace INFRA
