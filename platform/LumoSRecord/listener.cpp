#include "listener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LumoSRecord/LumoSRecord.h"

namespace kesto {

Listener::~Listener() {
    Stop();
}

int Listener::Start(uint16_t port) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_listenFd >= 0) return LUMOSR_ERR_STATE;

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
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return LUMOSR_ERR_BIND;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return LUMOSR_ERR_FAIL;
    }
    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        ::close(fd);
        return LUMOSR_ERR_FAIL;
    }
    m_listenFd = fd;
    m_wakeFd = wake;
    m_port = ntohs(addr.sin_port);
    try {
        m_thread = std::thread(&Listener::run, this, fd, wake);
    } catch (...) {
        ::close(fd);
        ::close(wake);
        m_listenFd = m_wakeFd = -1;
        m_port = 0;
        return LUMOSR_ERR_FAIL;
    }
    return 0;
}

void Listener::Stop() {
    std::thread thread;
    int fd, wake;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_listenFd < 0) return;
        fd = m_listenFd;
        wake = m_wakeFd;
        thread = std::move(m_thread);
        m_listenFd = m_wakeFd = -1;
        m_port = 0;
        uint64_t v = 1;
        ssize_t n = ::write(wake, &v, sizeof v);
        (void)n;
    }
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    ::close(fd);
    ::close(wake);
}

bool Listener::IsStarted() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listenFd >= 0;
}

uint16_t Listener::Port() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_port;
}

void Listener::run(int listenFd, int wakeFd) {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    for (;;) {
        fds[0].revents = fds[1].revents = 0;
        int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (fds[0].revents & POLLIN) {
            int c = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                // No protocol is spoken here yet: end the conversation cleanly so that the peer
                // sees an orderly close rather than a reset.
                ::shutdown(c, SHUT_WR);
                ::close(c);
            }
        } else if (fds[0].revents & (POLLERR | POLLNVAL)) {
            return;
        }
    }
}

}  // namespace kesto
