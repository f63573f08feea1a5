// The engine's network service: binds in the caller's thread (so a taken port is reported at once),
// reads each request's head on a thread of its own (where a slow or idle client costs no worker),
// and serves whole heads' requests (httpapi.h) on a pool of workers until stopped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "access.h"
#include "httpapi.h"

namespace kesto {

class ApiServer;

// What one client may take of the engine. The defaults are the engine's; tests lower them.
struct ListenerLimits {
    size_t maxHeadBytes = 32 * 1024;  // request line and headers (above it: 431)
    int maxHeaders = 100;             // header lines (above it: 431)
    size_t maxBodyBytes = 1024 * 1024;  // a request's body (above it: 413)
    int maxConnectionsPerPeer = 16;   // open connections of one peer address
    int maxConnections = 512;         // open connections in all
};

// How a request's head reads: its framing, or why it is refused.
struct RequestHead {
    enum Verdict { Incomplete, Complete, Refused };
    Verdict verdict = Incomplete;
    int status = 0;           // when refused: 400, 413 or 431
    std::string why;          // when refused, in English
    size_t length = 0;        // bytes of the head as received, blank line included
    std::string head;         // the head as httplib is given it, blank line excluded
    bool chunked = false;     // the body comes in chunks (decoded before httplib sees it)
    bool expectContinue = false;  // the client waits for "100 Continue" before its body
    uint64_t bodyLength = 0;  // Content-Length (0 when none or chunked)
};

// Reads the head at the start of `data` (which may hold less or more than the head).
RequestHead ReadRequestHead(const std::string& data, const ListenerLimits& limits);

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
    // Limits of the next start.
    void SetLimits(const ListenerLimits& limits);
    // Wrong passwords per peer address (its policy may be set at any time).
    LoginGuard& Logins() { return m_logins; }

    struct Conn;  // one client connection

private:
    struct Run;  // one start's accept thread, workers and connections
    static void acceptLoop(const std::shared_ptr<Run>& run);
    static void serve(const std::shared_ptr<Run>& run, const std::shared_ptr<Conn>& conn);
    static void handBack(const std::shared_ptr<Run>& run, const std::shared_ptr<Conn>& conn);

    const ApiContext m_context;  // immutable
    AccountCache m_accounts;     // locks itself; used by the workers
    LoginGuard m_logins;         // locks itself; used by the workers

    mutable std::mutex m_mutex;
    std::shared_ptr<Run> m_run;  // guarded by m_mutex; a Run locks itself
    std::thread m_thread;        // guarded by m_mutex (joined outside it)
    uint16_t m_port = 0;         // guarded by m_mutex
    ListenerLimits m_limits;     // guarded by m_mutex
};

}  // namespace kesto
