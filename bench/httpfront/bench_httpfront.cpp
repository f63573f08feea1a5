// The recording engine's HTTP front against hostile peers, in-process over loopback:
//   1. a good request's answer time (connect to whole answer, GET /api/v1/info) while 200 slow
//      clients stay connected, each sending a byte of an endless head every second (cut at the
//      request deadline and connecting again), from 200 addresses and from one; against the same
//      request with no slow client, in the same run. Goal: every answer under 1 s.
//   2. the engine's memory (RSS of this process) after 8 clients flooded it with headers for
//      8 s (each connection sending header lines until it is refused, then again), against its
//      memory before. Goal: under 64 MB above the start.
// Exit status 1 when a goal is missed.
//
//   bench_httpfront [seconds]      (default 8: the time of each slow-client run and of the flood)
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "LumoSRecord/LumoSRecord.h"

namespace {

using Clock = std::chrono::steady_clock;
const double kAnswerGoalMs = 1000;
const double kMemoryGoalMB = 64;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A socket from `from` to 127.0.0.1:port, non-blocking once connected; -1 on failure.
int Connect(const char* from, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &a.sin_addr);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// One good request on a new connection: ms to its whole answer, -1 when it failed or took 10 s.
double GoodRequest(uint16_t port) {
    const Clock::time_point start = Clock::now();
    const int fd = Connect("127.0.0.1", port);
    if (fd < 0) return -1;
    const std::string req = "GET /api/v1/info HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    std::string in;
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (msSince(start) > 10000) break;
        ::poll(&p, 1, 100);
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) in.append(buf, size_t(n));
        if (n == 0 || (n < 0 && errno != EAGAIN)) break;
    }
    ::close(fd);
    return in.compare(0, 12, "HTTP/1.1 200") == 0 ? msSince(start) : -1;
}

struct Answers {
    std::vector<double> ms;
    int failed = 0;
    double median() const {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
    double worst() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

// Good requests one after another (10 a second) for `seconds`.
Answers GoodRequests(uint16_t port, double seconds) {
    Answers a;
    const Clock::time_point start = Clock::now();
    while (msSince(start) < seconds * 1000) {
        const double ms = GoodRequest(port);
        if (ms < 0)
            ++a.failed;
        else
            a.ms.push_back(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return a;
}

// 200 connections that each send a byte of an endless head every second, connecting again
// when the engine lets one go; `addresses` of them distinct. Runs until `stop`.
void SlowClients(uint16_t port, int addresses, const std::atomic<bool>& stop, std::atomic<int>* connected) {
    const int n = 200;
    std::vector<int> fds(n, -1);
    std::vector<std::string> from(n);
    for (int i = 0; i < n; ++i) from[i] = "127.0.2." + std::to_string(1 + i % addresses);
    while (!stop.load()) {
        int open = 0;
        for (int i = 0; i < n; ++i) {
            if (fds[i] < 0) {
                fds[i] = Connect(from[i].c_str(), port);
                if (fds[i] >= 0) ::send(fds[i], "GET /api/v1/info HTTP/1.1\r\nX-Slow: ", 35, MSG_NOSIGNAL);
            }
            if (fds[i] < 0) continue;
            char buf[512];
            const ssize_t r = ::recv(fds[i], buf, sizeof buf, 0);
            if (r == 0 || (r < 0 && errno != EAGAIN) || ::send(fds[i], "a", 1, MSG_NOSIGNAL) != 1 || r > 0) {
                // Let go (or answered, a refusal): connect again in the next round.
                ::close(fds[i]);
                fds[i] = -1;
                continue;
            }
            ++open;
        }
        *connected = open;
        for (int i = 0; i < 10 && !stop.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (int fd : fds)
        if (fd >= 0) ::close(fd);
}

long RssKB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmRSS:", 6) == 0) kb = std::atol(line + 6);
    std::fclose(f);
    return kb;
}

// One client sending header lines as fast as the engine takes them, for `seconds`, connecting
// again each time it is refused; the bytes the sockets took (most never reach the engine: a
// refused connection's buffers are dropped) and *connections.
long long Flood(uint16_t port, const char* from, double seconds, int* connections) {
    std::string line = "X-Flood: " + std::string(4000, 'a') + "\r\n";
    std::string lines;
    for (int i = 0; i < 16; ++i) lines += line;
    long long sent = 0;
    const Clock::time_point start = Clock::now();
    while (msSince(start) < seconds * 1000) {
        const int fd = Connect(from, port);
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        ++*connections;
        ::send(fd, "GET /api/v1/info HTTP/1.1\r\n", 27, MSG_NOSIGNAL);
        while (msSince(start) < seconds * 1000) {
            pollfd p{fd, POLLOUT | POLLIN, 0};
            ::poll(&p, 1, 100);
            if (p.revents & (POLLIN | POLLERR | POLLHUP)) break;
            const ssize_t n = ::send(fd, lines.data(), lines.size(), MSG_NOSIGNAL);
            if (n > 0) sent += n;
            if (n < 0 && errno != EAGAIN) break;
        }
        ::close(fd);
    }
    return sent;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(2.0, std::atof(argv[1])) : 8;
    if (LumoSRStart(0) != 0) {
        std::fprintf(stderr, "the engine cannot start\n");
        return 2;
    }
    const uint16_t port = LumoSRGetPort();
    bool ok = true;

    // 1. Answer time with and without 200 slow clients.
    const Answers alone = GoodRequests(port, 2);
    std::printf("good request, no slow client:          median %7.2f ms, worst %7.2f ms (%zu answers, %d failed)\n",
                alone.median(), alone.worst(), alone.ms.size(), alone.failed);
    for (int addresses : {200, 1}) {
        std::atomic<bool> stop{false};
        std::atomic<int> connected{0};
        std::thread slow(SlowClients, port, addresses, std::cref(stop), &connected);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const int before = connected.load();
        const Answers crowd = GoodRequests(port, seconds);
        stop = true;
        slow.join();
        const bool met = crowd.failed == 0 && crowd.worst() < kAnswerGoalMs;
        ok = ok && met;
        std::printf("good request, 200 slow from %3d address%s: median %7.2f ms, worst %7.2f ms (%zu answers, %d "
                    "failed), %.1f x alone (median); %d slow connected; goal < %.0f ms: %s\n",
                    addresses, addresses == 1 ? "  " : "es", crowd.median(), crowd.worst(), crowd.ms.size(),
                    crowd.failed, alone.median() > 0 ? crowd.median() / alone.median() : 0, before, kAnswerGoalMs,
                    met ? "met" : "MISSED");
    }

    // 2. Memory after a header flood.
    const long startKB = RssKB();
    std::vector<std::thread> flooders;
    std::vector<long long> sent(8);
    std::vector<int> connections(8);
    for (int i = 0; i < 8; ++i)
        flooders.emplace_back([&, i] {
            const std::string from = "127.0.3." + std::to_string(i + 1);
            sent[i] = Flood(port, from.c_str(), seconds, &connections[i]);
        });
    long peakKB = startKB;
    for (int i = 0; i < int(seconds * 10); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peakKB = std::max(peakKB, RssKB());
    }
    for (auto& t : flooders) t.join();
    long long total = 0;
    int conns = 0;
    for (int i = 0; i < 8; ++i) total += sent[i], conns += connections[i];
    const double goodAfter = GoodRequest(port);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const long afterKB = RssKB();
    const double aboveMB = (afterKB - startKB) / 1024.0;
    const bool memMet = aboveMB < kMemoryGoalMB && goodAfter >= 0;
    ok = ok && memMet;
    std::printf("header flood, 8 clients for %.0f s: %d connections, %.1f MB taken by their sockets; RSS %.1f MB at the start, %.1f MB at the peak, "
                "%.1f MB after (%.1f MB above the start, %.2f x); good request after it: %.2f ms; goal < %.0f MB "
                "above: %s\n",
                seconds, conns, total / 1048576.0, startKB / 1024.0, peakKB / 1024.0, afterKB / 1024.0, aboveMB,
                startKB > 0 ? double(afterKB) / startKB : 0, goodAfter, kMemoryGoalMB, memMet ? "met" : "MISSED");
    LumoSRStop();
    return ok ? 0 : 1;
}
