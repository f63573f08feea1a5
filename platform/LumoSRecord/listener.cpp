// The engine's listener. httplib parses the requests and writes the answers (ApiServer), but the
// sockets are ours. Between requests a connection belongs to the accept thread, which reads each
// request's head without blocking, on every connection at once: a client that sends nothing or a
// byte now and then costs a small buffer there, never a worker, and is let go at the deadline of
// its whole request however its bytes trickle. The head is checked before httplib sees it (its
// size and number of lines, its framing: one Content-Length or chunked, a body within the limit),
// so a refused request is answered at once and nothing beyond the limits is read. A whole head goes
// to a worker, which reads the body through ApiStream (within the same deadline), serves the
// request, and gives the connection back for the next one. Connections are capped per peer address
// and in all, and a connection that waited in the workers' queue past its deadline is closed
// unserved. A stop shuts every connection down at once instead of waiting for clients.
//
// Threads: the accept thread owns the listening socket, the per-peer counts and the connections
// between requests; a worker owns the connection it serves; Run::mutex guards Run::connections
// (every open socket, so that a stop can shut them down), the connections handed back and whether
// the accept thread still takes them. A socket is closed under that mutex so that a stop never
// touches a number the system has handed out again.
#include "listener.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <httplib.h>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "LumoSRecord/LumoSRecord.h"
#include "wire.h"

namespace kesto {

namespace {

// Enough workers that a few slow bodies or downloads do not keep the others waiting; whole heads
// beyond them wait in the queue (and are ended by a stop like the others).
const size_t kWorkers = 32;
const int kKeepAliveRequests = 100;
const int kMaxKeepAliveIdleMs = 2000;
// A refused connection is read and dropped for a while after its answer before it is closed, so
// that the answer is not lost to the reset that closing on unread bytes sends.
const int kLingerMs = 500;
const size_t kLingerBytes = 256 * 1024;
const size_t kReadChunk = 16 * 1024;
const size_t kMaxChunkLine = 1024;

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

bool sameName(const std::string& s, size_t from, size_t n, const char* name) {
    if (std::strlen(name) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[from + i])) != name[i]) return false;
    return true;
}

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// An answer the listener writes itself, before or instead of httplib; the connection ends after it.
std::string refusal(int status, const std::string& why) {
    const char* text = status == 413   ? "Payload Too Large"
                       : status == 431 ? "Request Header Fields Too Large"
                       : status == 503 ? "Service Unavailable"
                                       : "Bad Request";
    const QByteArray body = wire::ErrorBody(QString::fromStdString(why),
                                            status == 503 ? LUMOSR_ERR_STATE : LUMOSR_ERR_PARAM);
    return "HTTP/1.1 " + std::to_string(status) + " " + text +
           "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body.toStdString();
}

RequestHead refused(int status, std::string why) {
    RequestHead h;
    h.verdict = RequestHead::Refused;
    h.status = status;
    h.why = std::move(why);
    return h;
}

// One connection's socket as httplib reads and writes it: reads from what the accept thread
// already read and then from the socket, all ending by the request's deadline; each write waiting
// at most the request time-out. It notes how much of the request was read and how the answer
// ends the connection.
class ApiStream : public httplib::Stream {
public:
    ApiStream(int fd, int timeoutMs, std::string data, Clock::time_point deadline)
        : m_fd(fd), m_timeoutMs(timeoutMs), m_deadline(deadline), m_buf(std::move(data)) {}

    // Puts bytes before those not yet read.
    void Prepend(const std::string& data) { m_buf = data + m_buf.substr(m_begin), m_begin = 0; }
    // The request begins at the next byte.
    void BeginRequest() {
        m_consumed = 0;
        m_answered = false;
        m_closes = false;
    }
    size_t Consumed() const { return m_consumed; }
    // The answer was a bad request's or said it ends the connection.
    bool AnswerCloses() const { return m_closes; }
    std::string TakeUnread() { return m_buf.substr(m_begin); }

    // A chunked body decoded into *body, at most max bytes of it. False when it could not be read:
    // *status 400 or 413 with *why to answer, or 0 when the client went or ran out of time.
    bool ReadChunkedBody(size_t max, const ListenerLimits& limits, std::string* body, int* status,
                         std::string* why) {
        *status = 0;
        std::string line;
        // What the chunks' sizes and extensions may add to the body: a body of one-byte chunks
        // with long extensions must not take a thousand times the limit to read.
        const size_t start = m_consumed, most = 2 * max + 64 * 1024;
        for (;;) {
            if (m_consumed - start > most) {
                *status = 413;
                *why = "the chunked body is larger than " + std::to_string(most) + " bytes as sent";
                return false;
            }
            if (!readLine(&line, kMaxChunkLine, status, why)) return false;
            const size_t semicolon = line.find(';');
            const std::string size = trimmed(line.substr(0, semicolon));
            if (size.empty() || size.size() > 15 || size.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                *status = 400;
                *why = "a chunk's size is not a hexadecimal number";
                return false;
            }
            const uint64_t n = std::stoull(size, nullptr, 16);
            if (n == 0) break;
            if (n > max - body->size()) {
                *status = 413;
                *why = "the body is larger than " + std::to_string(max) + " bytes";
                return false;
            }
            const size_t at = body->size();
            body->resize(at + n);
            for (size_t got = 0; got < n;) {
                const ssize_t r = read(&(*body)[at + got], n - got);
                if (r <= 0) return false;
                got += size_t(r);
            }
            if (!readLine(&line, kMaxChunkLine, status, why)) return false;
            if (!line.empty()) {
                *status = 400;
                *why = "a chunk does not end where its size says";
                return false;
            }
        }
        // Trailers, within the limits of a head, are read and dropped.
        size_t trailerBytes = 0;
        for (int lines = 0;; ++lines) {
            if (!readLine(&line, limits.maxHeadBytes, status, why)) return false;
            if (line.empty()) return true;
            trailerBytes += line.size() + 2;
            if (lines >= limits.maxHeaders || trailerBytes > limits.maxHeadBytes) {
                *status = 400;
                *why = "the body's trailer is too large";
                return false;
            }
        }
    }

    bool is_readable() const override {
        if (m_begin < m_buf.size()) return true;
        // Past the deadline nothing more is read, however the bytes still come.
        if (Clock::now() >= m_deadline) return false;
        return waitFor(m_fd, POLLIN, std::min(m_timeoutMs, std::max(1, msUntil(m_deadline))));
    }
    bool is_writable() const override { return waitFor(m_fd, POLLOUT, m_timeoutMs); }
    ssize_t read(char* ptr, size_t size) override {
        if (m_begin == m_buf.size()) {
            if (!is_readable()) return -1;
            m_buf.resize(kReadChunk);
            m_begin = 0;
            const ssize_t n = ::recv(m_fd, &m_buf[0], m_buf.size(), 0);
            m_buf.resize(n > 0 ? size_t(n) : 0);
            if (n <= 0) return n < 0 ? -1 : 0;
        }
        const size_t n = std::min(size, m_buf.size() - m_begin);
        std::memcpy(ptr, m_buf.data() + m_begin, n);
        m_begin += n;
        m_consumed += n;
        return ssize_t(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (!m_answered) noteAnswer(ptr, size);
        if (!is_writable()) return -1;
        const ssize_t n = ::send(m_fd, ptr, size, MSG_NOSIGNAL);
        return n < 0 ? (errno == EAGAIN ? 0 : -1) : n;
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
    // The status line and headers of an answer come in one write (an interim 100 first).
    void noteAnswer(const char* ptr, size_t size) {
        const std::string head(ptr, std::min(size, size_t(4096)));
        if (head.compare(0, 9, "HTTP/1.1 ") != 0 || head.size() < 12) return;
        const int status = std::atoi(head.c_str() + 9);
        if (status < 200) return;
        m_answered = true;
        const size_t end = head.find("\r\n\r\n");
        m_closes = status == 400 || status == 413 || status == 431 ||
                   head.substr(0, end).find("\r\nConnection: close\r\n") != std::string::npos;
    }
    // A line ending in CRLF, without it; false (and *status 400 when it is malformed) otherwise.
    bool readLine(std::string* line, size_t max, int* status, std::string* why) {
        line->clear();
        char c = 0;
        for (;;) {
            if (read(&c, 1) != 1) return false;
            if (c == '\n') break;
            line->push_back(c);
            if (line->size() > max + 1) {
                *status = 400;
                *why = "a line of the chunked body is too long";
                return false;
            }
        }
        if (line->empty() || line->back() != '\r') {
            *status = 400;
            *why = "a line of the chunked body does not end with CRLF";
            return false;
        }
        line->pop_back();
        return true;
    }

    const int m_fd;
    const int m_timeoutMs;
    const Clock::time_point m_deadline;
    std::string m_buf;  // read, from m_begin on not yet handed to httplib
    size_t m_begin = 0;
    size_t m_consumed = 0;  // of this request
    bool m_answered = false;
    bool m_closes = false;
};

}  // namespace

RequestHead ReadRequestHead(const std::string& data, const ListenerLimits& limits) {
    RequestHead h;
    std::string out;
    size_t pos = 0;
    int headers = 0;
    bool haveLength = false;
    std::string expect;
    for (;;) {
        const size_t nl = data.find('\n', pos);
        if (nl == std::string::npos || nl >= limits.maxHeadBytes) {
            if (data.size() > limits.maxHeadBytes || nl != std::string::npos)
                return refused(431, "the request's head is larger than " + std::to_string(limits.maxHeadBytes) +
                                        " bytes");
            return h;  // more to come
        }
        if (nl == pos || data[nl - 1] != '\r') return refused(400, "a line of the head does not end with CRLF");
        const std::string line = data.substr(pos, nl - 1 - pos);
        pos = nl + 1;
        if (out.empty()) {
            // Empty lines before a request (after a body, by old clients) are passed over.
            if (!line.empty()) out = line + "\r\n";
            continue;
        }
        if (line.empty()) break;
        if (++headers > limits.maxHeaders)
            return refused(431, "the request has more than " + std::to_string(limits.maxHeaders) + " headers");
        if (line[0] == ' ' || line[0] == '\t') return refused(400, "folded header lines are not accepted");
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) return refused(400, "a header line has no name");
        if (line.find_first_of(" \t") < colon) return refused(400, "a header's name holds a space");
        const std::string value = trimmed(line.substr(colon + 1));
        if (sameName(line, 0, colon, "content-length")) {
            if (value.empty() || value.size() > 19 || value.find_first_not_of("0123456789") != std::string::npos)
                return refused(400, "Content-Length is not a number");
            const uint64_t n = std::stoull(value);
            if (haveLength && n != h.bodyLength) return refused(400, "two different Content-Length values");
            haveLength = true;
            h.bodyLength = n;
        } else if (sameName(line, 0, colon, "transfer-encoding")) {
            if (h.chunked) return refused(400, "Transfer-Encoding is given twice");
            if (value.size() != 7 || !sameName(value, 0, 7, "chunked"))
                return refused(400, "the only transfer coding taken is chunked");
            h.chunked = true;
            continue;  // the body reaches httplib decoded, with its length
        } else if (sameName(line, 0, colon, "expect")) {
            // Kept for httplib only when it reads the body itself (not a chunked one).
            h.expectContinue = value.size() == 12 && sameName(value, 0, 12, "100-continue");
            expect += line + "\r\n";
            continue;
        } else if (sameName(line, 0, colon, "range")) {
            out += kRangeHeader + line.substr(colon) + "\r\n";
            continue;
        }
        out += line + "\r\n";
    }
    if (haveLength && h.chunked) return refused(400, "both Content-Length and chunked framing");
    if (h.bodyLength > limits.maxBodyBytes)
        return refused(413, "the body is larger than " + std::to_string(limits.maxBodyBytes) + " bytes");
    if (!h.chunked) out += expect;
    h.verdict = RequestHead::Complete;
    h.length = pos;
    h.head = std::move(out);
    return h;
}

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

struct Listener::Conn {
    int fd = -1;
    std::string peer;
    std::string buf;  // read and not yet served
    RequestHead head;  // of the request handed to a worker
    // No byte of the request yet: the end of the wait for one; after its first byte: the end of
    // the whole request.
    Clock::time_point deadline;
    bool started = false;
    bool fresh = false;  // bytes came that were not looked through yet
    bool away = false;   // at a worker (the accept thread's note; the worker does not read it)
    int requestsLeft = kKeepAliveRequests;
    bool closing = false;  // answered for the last time: drained until the end, then closed
    Clock::time_point lingerUntil;
    size_t drained = 0;
};

struct Listener::Run {
    ApiServer server;      // routes installed before the first connection, then only used
    int listenFd = -1;     // owned by the accept thread while it runs
    int wakeFd = -1;       // written by Stop and by workers giving back a connection
    int timeoutMs = 5000;  // immutable
    ListenerLimits limits;  // immutable
    std::atomic<bool> stopping{false};
    std::unique_ptr<httplib::ThreadPool> workers;  // made at start, shut down by Stop

    std::mutex mutex;
    std::set<int> connections;                     // guarded by mutex: every open connection's socket
    std::vector<std::shared_ptr<Conn>> returned;  // guarded by mutex: given back by the workers
    bool loopDone = false;                         // guarded by mutex: the accept thread takes no more

    void closeSocket(int fd) {
        std::lock_guard<std::mutex> lock(mutex);
        connections.erase(fd);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
    void wake() {
        uint64_t v = 1;
        const ssize_t w = ::write(wakeFd, &v, sizeof v);
        (void)w;
    }
};

Listener::Listener(const ApiContext& context) : m_context(context) {}

Listener::~Listener() {
    Stop();
}

void Listener::SetLimits(const ListenerLimits& limits) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_limits = limits;
}

int Listener::Start(uint16_t port, int requestTimeoutMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_run) return LUMOSR_ERR_STATE;

    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return LUMOSR_ERR_FAIL;
    // Lets a restart bind again while old connections linger in TIME_WAIT; on Linux it does not
    // let two listeners share a port, so a port in use still fails below.
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    // A long backlog: a burst of connections waits for the accept thread rather than for the
    // client's retry a second later.
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, SOMAXCONN) != 0) {
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
    run->limits = m_limits;
    run->server.set_payload_max_length(m_limits.maxBodyBytes);
    // What the answers' Keep-Alive header promises, as the accept thread keeps it.
    run->server.set_keep_alive_timeout(std::max(1, std::min(run->timeoutMs, kMaxKeepAliveIdleMs) / 1000));
    run->server.set_keep_alive_max_count(kKeepAliveRequests);
    InstallApi(run->server, m_context, &m_accounts, &m_logins);
    try {
        run->server.SetServing(fd);
        run->workers = std::make_unique<httplib::ThreadPool>(kWorkers);
        m_thread = std::thread(&Listener::acceptLoop, run);
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
    const ListenerLimits& limits = run->limits;
    std::vector<std::shared_ptr<Conn>> conns;  // between requests or closing
    std::map<std::string, int> perPeer;        // open connections (here and at the workers)
    int open = 0;
    std::vector<pollfd> fds;

    auto closeConn = [&](Conn& c) {
        run->closeSocket(c.fd);
        c.fd = -1;
        --open;
        auto it = perPeer.find(c.peer);
        if (it != perPeer.end() && --it->second <= 0) perPeer.erase(it);
    };
    auto startClosing = [&](Conn& c) {
        ::shutdown(c.fd, SHUT_WR);
        c.closing = true;
        c.lingerUntil = Clock::now() + std::chrono::milliseconds(kLingerMs);
        c.drained = 0;
        std::string().swap(c.buf);
    };
    // Looks through a connection's new bytes; false when it left for a worker.
    auto examine = [&](const std::shared_ptr<Conn>& c) {
        c->fresh = false;
        RequestHead h = ReadRequestHead(c->buf, limits);
        if (h.verdict == RequestHead::Incomplete) return true;
        if (h.verdict == RequestHead::Refused) {
            const std::string answer = refusal(h.status, h.why);
            const ssize_t w = ::send(c->fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            (void)w;
            startClosing(*c);
            return true;
        }
        c->buf = h.chunked ? c->buf.substr(h.length) : h.head + "\r\n" + c->buf.substr(h.length);
        c->head = std::move(h);
        c->away = true;
        run->workers->enqueue([run, c] { serve(run, c); });
        return false;
    };

    char scratch[kReadChunk];
    for (;;) {
        std::vector<std::shared_ptr<Conn>> back;
        {
            std::lock_guard<std::mutex> lock(run->mutex);
            back.swap(run->returned);
        }
        const Clock::time_point now = Clock::now();
        for (std::shared_ptr<Conn>& c : back) {
            c->away = false;
            if (c->closing) {
                startClosing(*c);
            } else {
                c->started = !c->buf.empty();
                c->deadline =
                    now + std::chrono::milliseconds(c->started ? run->timeoutMs
                                                               : std::min(run->timeoutMs, kMaxKeepAliveIdleMs));
                if (c->started && !examine(c)) continue;
            }
            conns.push_back(std::move(c));
        }

        fds.assign({{run->listenFd, POLLIN, 0}, {run->wakeFd, POLLIN, 0}});
        Clock::time_point next = Clock::time_point::max();
        for (const auto& c : conns) {
            fds.push_back({c->fd, POLLIN, 0});
            next = std::min(next, c->closing ? c->lingerUntil : c->deadline);
        }
        const int n = ::poll(fds.data(), fds.size(), next == Clock::time_point::max() ? -1 : msUntil(next) + 1);
        if (n < 0 && errno != EINTR) break;
        if (run->stopping.load()) break;
        if (n > 0 && fds[1].revents) {
            uint64_t v = 0;
            const ssize_t r = ::read(run->wakeFd, &v, sizeof v);
            (void)r;
        }
        if (n > 0 && (fds[0].revents & (POLLERR | POLLNVAL))) break;
        if (n > 0 && (fds[0].revents & POLLIN)) {
            for (;;) {
                sockaddr_storage a{};
                socklen_t alen = sizeof a;
                const int s = ::accept4(run->listenFd, reinterpret_cast<sockaddr*>(&a), &alen,
                                        SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (s < 0) {
                    // Out of descriptors: let the connections end rather than spin.
                    if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    if (errno == EINTR || errno == ECONNABORTED) continue;
                    break;
                }
                int peerPort = 0;
                std::string peer = addressOf(a, &peerPort);
                if (open >= limits.maxConnections || perPeer[peer] >= limits.maxConnectionsPerPeer) {
                    const std::string answer = refusal(
                        503, open >= limits.maxConnections ? "the recorder has too many connections"
                                                           : "too many connections from this address");
                    const ssize_t w = ::send(s, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                    (void)w;
                    if (perPeer[peer] == 0) perPeer.erase(peer);
                    ::close(s);
                    continue;
                }
                int one = 1;
                ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                {
                    std::lock_guard<std::mutex> lock(run->mutex);
                    run->connections.insert(s);
                }
                ++open;
                ++perPeer[peer];
                auto c = std::make_shared<Conn>();
                c->fd = s;
                c->peer = std::move(peer);
                c->deadline = Clock::now() + std::chrono::milliseconds(run->timeoutMs);
                conns.push_back(std::move(c));
            }
        }
        // fds[2 + i] belongs to conns[i] for the connections there before the accepts.
        const size_t polled = fds.size() - 2;
        for (size_t i = 0; i < polled && n > 0; ++i) {
            if (!fds[2 + i].revents) continue;
            Conn& c = *conns[i];
            if (c.closing) {
                ssize_t r = 1;
                while (c.drained <= kLingerBytes && (r = ::recv(c.fd, scratch, sizeof scratch, MSG_DONTWAIT)) > 0)
                    c.drained += size_t(r);
                if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR) || c.drained > kLingerBytes)
                    closeConn(c);
                continue;
            }
            ssize_t r = 0;
            // Never more than a head's limit and one read beyond it.
            while (c.buf.size() <= limits.maxHeadBytes &&
                   (r = ::recv(c.fd, scratch, sizeof scratch, MSG_DONTWAIT)) > 0) {
                if (!c.started) {
                    c.started = true;
                    c.deadline = Clock::now() + std::chrono::milliseconds(run->timeoutMs);
                }
                if (std::memchr(scratch, '\n', size_t(r))) c.fresh = true;
                c.buf.append(scratch, size_t(r));
            }
            if (c.buf.size() > limits.maxHeadBytes) c.fresh = true;
            // A client that sent its request and closed its side still gets its answer.
            const bool ended = r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR);
            if (c.fresh) examine(conns[i]);
            if (ended && !c.away) closeConn(c);
        }
        const Clock::time_point later = Clock::now();
        for (auto& c : conns)
            if (c->fd >= 0 && !c->away && later >= (c->closing ? c->lingerUntil : c->deadline)) closeConn(*c);
        conns.erase(std::remove_if(conns.begin(), conns.end(), [](const std::shared_ptr<Conn>& c) {
                        return c->fd < 0 || c->away;
                    }),
                    conns.end());
    }

    std::vector<std::shared_ptr<Conn>> back;
    {
        std::lock_guard<std::mutex> lock(run->mutex);
        run->loopDone = true;
        back.swap(run->returned);
    }
    for (auto& c : conns)
        if (c->fd >= 0) run->closeSocket(c->fd);
    for (auto& c : back) run->closeSocket(c->fd);
}

void Listener::serve(const std::shared_ptr<Run>& run, const std::shared_ptr<Conn>& c) {
    // A request that waited in the queue past its deadline is not served: its client has given
    // up or is one of a crowd that the workers cannot keep up with.
    if (run->stopping.load() || Clock::now() >= c->deadline) {
        c->closing = true;
        return handBack(run, c);
    }
    ApiStream stream(c->fd, run->timeoutMs, std::move(c->buf), c->deadline);
    size_t expected = c->head.head.size() + 2 + c->head.bodyLength;
    if (c->head.chunked) {
        std::string body, why;
        int status = 0;
        // The client waits for this before it sends the chunks (httplib says it for other bodies).
        if (c->head.expectContinue) stream.write("HTTP/1.1 100 Continue\r\n\r\n", 25);
        if (!stream.ReadChunkedBody(run->limits.maxBodyBytes, run->limits, &body, &status, &why)) {
            if (status) {
                const std::string answer = refusal(status, why);
                stream.write(answer.data(), answer.size());
            }
            c->closing = true;
            return handBack(run, c);
        }
        const std::string head = c->head.head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
        expected = head.size() + body.size();
        stream.Prepend(head + body);
    }
    stream.BeginRequest();
    bool closed = false;
    const bool ok = run->server.Serve(stream, c->requestsLeft <= 1, closed);
    --c->requestsLeft;
    // A body the answer did not read (a refusal before it) would be taken for the next request.
    c->closing = !ok || closed || stream.AnswerCloses() || stream.Consumed() < expected ||
                 c->requestsLeft <= 0 || run->stopping.load();
    c->buf = stream.TakeUnread();
    handBack(run, c);
}

void Listener::handBack(const std::shared_ptr<Run>& run, const std::shared_ptr<Conn>& c) {
    {
        std::lock_guard<std::mutex> lock(run->mutex);
        if (!run->loopDone) {
            run->returned.push_back(c);
            run->wake();
            return;
        }
    }
    run->closeSocket(c->fd);
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
    run->wake();
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    ::close(run->listenFd);
    {
        // Every connection ends now: its worker's next read or write fails at once.
        std::lock_guard<std::mutex> lock(run->mutex);
        for (int fd : run->connections) ::shutdown(fd, SHUT_RDWR);
    }
    run->workers->shutdown();  // joins the workers once each has ended its connection
    ::close(run->wakeFd);
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
