// INFRA::BusyLoading: runs a long request off the GUI thread under a busy animation, and brings
// its integer result back to the GUI thread through `returned`.
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
    // Destroying the parent waits for the worker, so a receiver never runs on freed memory.
    template <class T>
    static BusyLoading* animate(QWidget* parent, T* receiver, int (T::*worker)(void*), void* arg) {
        auto* b = new BusyLoading(parent);
        b->start([receiver, worker, arg]() { return (receiver->*worker)(arg); });
        return b;
    }
    // The same for any callable.
    static BusyLoading* animate(QWidget* parent, std::function<int()> job);

    ~BusyLoading() override;
    bool IsRunning() const { return m_running; }

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
