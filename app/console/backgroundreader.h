// BackgroundReader: one thread that runs the console's background reads (the refreshes of the
// storage tables, the settings problems) one after the other, so that the GUI thread never waits
// for the engine and the engine is asked one question at a time. What a read found is handed
// back to the GUI thread, where its `done` runs.
//
// Contract: made, posted to and destroyed on the GUI thread. One dedicated thread per reader;
// reads run in the order posted, never two at once (unlike a pool job under a watcher, which
// may overlap the next). Destroying the reader drops the reads not begun, waits for the one that
// runs and runs no `done` any more; an owner whose reads use its members destroys the reader
// first in its own destructor.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class BackgroundReader : public QObject {
    Q_OBJECT
public:
    explicit BackgroundReader(QObject* parent = nullptr);
    // Waits for the read that runs (the engine's timeout at most); reads not begun are dropped,
    // and no `done` runs any more.
    ~BackgroundReader() override;

    // Runs work() on the reader's thread, then done() on the GUI thread. work must not touch a
    // widget or a model: it fills what done then shows.
    void Post(std::function<void()> work, std::function<void()> done);

private:
    Q_INVOKABLE void DeliverFinished();
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;                                              // signalled under m_mutex
    std::deque<std::pair<std::function<void()>, std::function<void()>>> m_todo;  // guarded by m_mutex
    std::deque<std::function<void()>> m_finished;  // guarded by m_mutex: the `done` of finished reads
    bool m_stop = false;                           // guarded by m_mutex
    std::thread m_thread;                          // started and joined by the GUI thread
};
