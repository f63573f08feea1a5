// The engine's network service: binds in the caller's thread (so a taken port is reported at once),
// accepts on a thread of its own and serves each connection's HTTP requests (httpapi.h) on a pool
// of workers until stopped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "access.h"
#include "httpapi.h"

namespace kesto {

class ApiServer;

class Listener {
public:
    explicit Listener(const ApiContext& context);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // 0, or LUMOSR_ERR_BIND when the port cannot be bound, LUMOSR_ERR_FAIL otherwise.
    // requestTimeoutMs: how long a client may take to send a whole request (head and body), and
    // the most any single read or write may wait.
    int Start(uint16_t port, int requestTimeoutMs);
    // Idempotent and safe from any thread except the serving threads themselves. Ends every
    // connection at once (a transfer in progress is cut) and returns when the workers are done.
    void Stop();
    bool IsStarted() const;
    // The bound port (useful when started on port 0), 0 when stopped.
    uint16_t Port() const;

private:
    struct Run;  // one start's accept thread, workers and connections
    void acceptLoop(const std::shared_ptr<Run>& run);
    static void serve(const std::shared_ptr<Run>& run, int fd);

    const ApiContext m_context;  // immutable
    AccountCache m_accounts;     // locks itself; used by the workers

    mutable std::mutex m_mutex;
    std::shared_ptr<Run> m_run;  // guarded by m_mutex; a Run locks itself
    std::thread m_thread;        // guarded by m_mutex (joined outside it)
    uint16_t m_port = 0;         // guarded by m_mutex
};

}  // namespace kesto
