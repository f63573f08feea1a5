// The engine's listener. httplib parses the requests and writes the answers (ApiServer), but the
// sockets are ours: each connection is read through ApiStream, which gives a client a deadline for
// its whole request (a client that sends a byte now and then is let go as surely as one that sends
// nothing), and a stop shuts every connection down at once instead of waiting for clients.
//
// Threads: the accept thread owns the listening socket while it runs; each connection belongs to
// the worker that serves it; Run::connections (under Run::mutex) lists them so that a stop can shut
// them down, and a worker closes its socket under that mutex so a stop never touches a number the
// system has handed out again.
#include "listener.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LumoSRecord/LumoSRecord.h"

namespace kesto {

namespace {

// Enough workers that a few slow clients do not keep the others waiting; more connections wait in
// the queue (and are ended by a stop like the others).
const size_t kWorkers = 32;
const int kKeepAliveRequests = 100;
const int kMaxKeepAliveIdleMs = 2000;

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point t) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return left <= 0 ? 0 : int(std::min<long long>(left, 24LL * 3600 * 1000));
}

// Waits for `events` on fd for at most ms; true when it came.
bool waitFor(int fd, short events, int ms) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, ms);
        if (n < 0 && errno == EINTR) continue;
        return n > 0;
    }
}

std::string addressOf(const sockaddr_storage& a, int* port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (a.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        *port = ntohs(v4->sin_port);
    } else if (a.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        *port = ntohs(v6->sin6_port);
    }
    return text;
}

// One connection's socket as httplib reads and writes it: buffered reads, each read or write
// waiting at most the request time-out, and the reads of one request all ending by its deadline.
class ApiStream : public httplib::Stream {
public:
    ApiStream(int fd, int timeoutMs) : m_fd(fd), m_timeoutMs(timeoutMs) {}

    // The next request has until now + the request time-out to arrive whole.
    void StartRequest() { m_deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs); }
    // Waits at most ms for the first byte of a next request.
    bool WaitForRequest(int ms) { return m_begin < m_end || waitFor(m_fd, POLLIN, ms); }

    bool is_readable() const override {
        return m_begin < m_end || waitFor(m_fd, POLLIN, std::min(m_timeoutMs, msUntil(m_deadline)));
    }
    bool is_writable() const override { return waitFor(m_fd, POLLOUT, m_timeoutMs); }
    ssize_t read(char* ptr, size_t size) override {
        if (m_begin == m_end) {
            if (!is_readable()) return -1;
            const ssize_t n = ::recv(m_fd, m_buf, sizeof m_buf, 0);
            if (n <= 0) return n < 0 ? -1 : 0;
            m_begin = 0;
            m_end = size_t(n);
        }
        const size_t n = std::min(size, m_end - m_begin);
        std::memcpy(ptr, m_buf + m_begin, n);
        m_begin += n;
        return ssize_t(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable()) return -1;
        const ssize_t n = ::send(m_fd, ptr, size, MSG_NOSIGNAL);
        return n < 0 ? -1 : n;
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        port = -1;
        ip = ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 ? addressOf(a, &port)
                                                                             : std::string();
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        port = -1;
        ip = ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 ? addressOf(a, &port)
                                                                             : std::string();
    }
    socket_t socket() const override { return m_fd; }

private:
    const int m_fd;
    const int m_timeoutMs;
    Clock::time_point m_deadline = Clock::now();
    char m_buf[16 * 1024];
    size_t m_begin = 0, m_end = 0;
};

}  // namespace

// httplib's request parsing, routing and answers, on a stream of ours. httplib writes a file's
// bytes only while its server socket is set (a server being shut down has none): it is set to our
// listening socket for as long as we serve, which httplib never uses otherwise.
class ApiServer : public httplib::Server {
public:
    void SetServing(int listenFd) { svr_sock_ = listenFd; }
    void SetStopping() { svr_sock_ = INVALID_SOCKET; }
    bool Serve(httplib::Stream& stream, bool closeConnection, bool& connectionClosed) {
        return process_request(stream, closeConnection, connectionClosed, nullptr);
    }
};

struct Listener::Run {
    ApiServer server;      // routes installed before the first connection, then only used
    int listenFd = -1;     // owned by the accept thread while it runs
    int wakeFd = -1;       // written by Stop
    int timeoutMs = 5000;  // immutable
    std::atomic<bool> stopping{false};
    std::unique_ptr<httplib::ThreadPool> workers;  // made at start, shut down by Stop

    std::mutex mutex;
    std::set<int> connections;  // guarded by mutex: the sockets being served
};

Listener::Listener(const ApiContext& context) : m_context(context) {}

Listener::~Listener() {
    Stop();
}

int Listener::Start(uint16_t port, int requestTimeoutMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_run) return LUMOSR_ERR_STATE;

    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return LUMOSR_ERR_FAIL;
    // Lets a restart bind again while old connections linger in TIME_WAIT; on Linux it does not
    // let two listeners share a port, so a port in use still fails below.
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return LUMOSR_ERR_BIND;
    }
    socklen_t len = sizeof addr;
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || wake < 0) {
        ::close(fd);
        if (wake >= 0) ::close(wake);
        return LUMOSR_ERR_FAIL;
    }
    auto run = std::make_shared<Run>();
    run->listenFd = fd;
    run->wakeFd = wake;
    run->timeoutMs = requestTimeoutMs > 0 ? requestTimeoutMs : 5000;
    run->server.set_payload_max_length(1024 * 1024);
    // What the answers' Keep-Alive header promises, as serve() keeps it.
    run->server.set_keep_alive_timeout(std::max(1, std::min(run->timeoutMs, kMaxKeepAliveIdleMs) / 1000));
    run->server.set_keep_alive_max_count(kKeepAliveRequests);
    InstallApi(run->server, m_context, &m_accounts);
    try {
        run->server.SetServing(fd);
        run->workers = std::make_unique<httplib::ThreadPool>(kWorkers);
        m_thread = std::thread(&Listener::acceptLoop, this, run);
    } catch (...) {
        if (run->workers) run->workers->shutdown();
        run->server.SetStopping();
        ::close(fd);
        ::close(wake);
        return LUMOSR_ERR_FAIL;
    }
    m_run = run;
    m_port = ntohs(addr.sin_port);
    return 0;
}

void Listener::acceptLoop(const std::shared_ptr<Run>& run) {
    pollfd fds[2] = {{run->listenFd, POLLIN, 0}, {run->wakeFd, POLLIN, 0}};
    for (;;) {
        fds[0].revents = fds[1].revents = 0;
        const int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents || run->stopping.load()) return;
        if (fds[0].revents & POLLIN) {
            const int c = ::accept4(run->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) {
                // Out of descriptors: let the workers free some rather than spin.
                if (errno == EMFILE || errno == ENFILE)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            int one = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            {
                std::lock_guard<std::mutex> lock(run->mutex);
                run->connections.insert(c);
            }
            run->workers->enqueue([run, c] { serve(run, c); });
        } else if (fds[0].revents & (POLLERR | POLLNVAL)) {
            return;
        }
    }
}

void Listener::serve(const std::shared_ptr<Run>& run, int fd) {
    {
        ApiStream stream(fd, run->timeoutMs);
        // The first request may take the whole time-out to begin; later ones on the same
        // connection a shorter idle time.
        int idleMs = run->timeoutMs;
        for (int left = kKeepAliveRequests; left > 0 && !run->stopping.load(); --left) {
            if (!stream.WaitForRequest(idleMs) || run->stopping.load()) break;
            stream.StartRequest();
            bool closed = false;
            if (!run->server.Serve(stream, left == 1, closed) || closed) break;
            idleMs = std::min(run->timeoutMs, kMaxKeepAliveIdleMs);
        }
    }
    std::lock_guard<std::mutex> lock(run->mutex);
    run->connections.erase(fd);
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

void Listener::Stop() {
    std::shared_ptr<Run> run;
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_run) return;
        run = std::move(m_run);
        thread = std::move(m_thread);
        m_port = 0;
    }
    run->stopping = true;
    run->server.SetStopping();  // a file being written stops at its next piece
    uint64_t v = 1;
    const ssize_t w = ::write(run->wakeFd, &v, sizeof v);
    (void)w;
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    ::close(run->listenFd);
    ::close(run->wakeFd);
    {
        // Every connection ends now: its worker's next read or write fails at once.
        std::lock_guard<std::mutex> lock(run->mutex);
        for (int fd : run->connections) ::shutdown(fd, SHUT_RDWR);
    }
    run->workers->shutdown();  // joins the workers once each has ended its connection
}

bool Listener::IsStarted() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_run != nullptr;
}

uint16_t Listener::Port() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_port;
}

}  // namespace kesto
