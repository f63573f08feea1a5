// The engine's network service: binds in the caller's thread (so a taken port is reported at once)
// and serves the HTTP API (httpapi.h) on a thread of its own and httplib's workers until stopped.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "access.h"
#include "httpapi.h"

namespace kesto {

class Listener {
public:
    explicit Listener(const ApiContext& context) : m_context(context) {}
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // 0, or LUMOSR_ERR_BIND when the port cannot be bound, LUMOSR_ERR_FAIL otherwise.
    // requestTimeoutMs: how long a client may take to send each part of its request.
    int Start(uint16_t port, int requestTimeoutMs);
    // Idempotent and safe from any thread except the serving threads themselves. Waits for the
    // requests in progress (each bounded by the request time-out).
    void Stop();
    bool IsStarted() const;
    // The bound port (useful when started on port 0), 0 when stopped.
    uint16_t Port() const;

private:
    const ApiContext m_context;  // immutable
    AccountCache m_accounts;     // locks itself; used by the workers

    mutable std::mutex m_mutex;
    std::shared_ptr<httplib::Server> m_server;  // guarded by m_mutex; the server locks itself
    std::thread m_thread;                       // guarded by m_mutex (joined outside it)
    uint16_t m_port = 0;                        // guarded by m_mutex
};

}  // namespace kesto
