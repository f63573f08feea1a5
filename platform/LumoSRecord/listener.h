// The engine's TCP listener: binds in the caller's thread (so a taken port is reported at once)
// and accepts on a thread of its own until stopped.
#pragma once

#include <cstdint>
#include <mutex>
#include <thread>

namespace kesto {

class Listener {
public:
    Listener() = default;
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // 0, or LUMOSR_ERR_BIND when the port cannot be bound, LUMOSR_ERR_FAIL otherwise.
    int Start(uint16_t port);
    // Idempotent and safe from any thread except the accept thread itself.
    void Stop();
    bool IsStarted() const;
    // The bound port (useful when started on port 0), 0 when stopped.
    uint16_t Port() const;

private:
    void run(int listenFd, int wakeFd);

    mutable std::mutex m_mutex;
    std::thread m_thread;  // guarded by m_mutex (joined outside it)
    int m_listenFd = -1;   // guarded by m_mutex; the accept thread uses its own copy
    int m_wakeFd = -1;     // guarded by m_mutex; the accept thread uses its own copy
    uint16_t m_port = 0;   // guarded by m_mutex
};

}  // namespace kesto
