#include "backgroundreader.h"

#include <QMetaObject>

BackgroundReader::BackgroundReader(QObject* parent)
    : QObject(parent), m_thread(&BackgroundReader::Run, this) {}

BackgroundReader::~BackgroundReader() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_todo.clear();
    }
    m_wake.notify_all();
    m_thread.join();
}

void BackgroundReader::Post(std::function<void()> work, std::function<void()> done) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_todo.emplace_back(std::move(work), std::move(done));
    }
    m_wake.notify_one();
}

void BackgroundReader::Run() {
    for (;;) {
        std::pair<std::function<void()>, std::function<void()>> next;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this]() { return m_stop || !m_todo.empty(); });
            if (m_stop) return;
            next = std::move(m_todo.front());
            m_todo.pop_front();
        }
        next.first();
        // What the read holds goes with it here; what it found lives on in `done` alone, and so
        // ends on the GUI thread.
        next.first = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop) return;
            m_finished.push_back(std::move(next.second));
        }
        // Only a wake-up crosses through Qt's event queue; what the read found goes through
        // m_finished. The object outlives this thread, which its destructor joins.
        QMetaObject::invokeMethod(this, "DeliverFinished", Qt::QueuedConnection);
    }
}

void BackgroundReader::DeliverFinished() {
    for (;;) {
        std::function<void()> done;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_finished.empty()) return;
            done = std::move(m_finished.front());
            m_finished.pop_front();
        }
        done();
    }
}
