// A mutex whose acquisition can give up at a deadline, built on std::mutex and a condition
// variable: std::timed_mutex waits with pthread_mutex_clocklock, which the thread sanitizer of our
// toolchain does not see, so every field it guards would be reported as racing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kesto {

class TimedLock {
public:
    void lock() {
        std::unique_lock<std::mutex> l(m_mutex);
        m_free.wait(l, [this] { return !m_held; });
        m_held = true;
    }
    bool try_lock() {
        std::lock_guard<std::mutex> l(m_mutex);
        if (m_held) return false;
        m_held = true;
        return true;
    }
    template <class Clock, class Duration>
    bool try_lock_until(const std::chrono::time_point<Clock, Duration>& deadline) {
        std::unique_lock<std::mutex> l(m_mutex);
        if (!m_free.wait_until(l, deadline, [this] { return !m_held; })) return false;
        m_held = true;
        return true;
    }
    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& d) {
        return try_lock_until(std::chrono::steady_clock::now() + d);
    }
    void unlock() {
        {
            std::lock_guard<std::mutex> l(m_mutex);
            m_held = false;
        }
        m_free.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_free;  // with m_mutex
    bool m_held = false;             // guarded by m_mutex
};

}  // namespace kesto
