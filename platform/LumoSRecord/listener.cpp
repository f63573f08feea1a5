#include "listener.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <httplib.h>
#include <sys/socket.h>
#include <thread>

#include "LumoSRecord/LumoSRecord.h"

namespace kesto {

namespace {

// Enough workers that a few stalled clients (each bounded by the request time-out) do not keep the
// others waiting; connections beyond them queue in the kernel.
const size_t kWorkers = 32;

}  // namespace

Listener::~Listener() {
    Stop();
}

int Listener::Start(uint16_t port, int requestTimeoutMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_server) return LUMOSR_ERR_STATE;

    auto server = std::make_shared<httplib::Server>();
    server->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    server->set_address_family(AF_INET);
    // SO_REUSEADDR lets a restart bind again while old connections linger in TIME_WAIT; unlike
    // httplib's default it leaves out SO_REUSEPORT, so a port in use still fails to bind.
    server->set_socket_options([](socket_t fd) {
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    });
    const int ms = requestTimeoutMs > 0 ? requestTimeoutMs : 5000;
    server->set_read_timeout(ms / 1000, (ms % 1000) * 1000);
    server->set_write_timeout(ms / 1000, (ms % 1000) * 1000);
    // An idle connection is let go soon: a stop waits for it.
    server->set_keep_alive_timeout(std::max(1, ms / 1000 / 2));
    server->set_keep_alive_max_count(100);
    server->set_payload_max_length(1024 * 1024);
    server->set_tcp_nodelay(true);
    InstallApi(*server, m_context, &m_accounts);

    int bound = port;
    if (port == 0)
        bound = server->bind_to_any_port("0.0.0.0");
    else if (!server->bind_to_port("0.0.0.0", port))
        bound = -1;
    if (bound <= 0) return LUMOSR_ERR_BIND;
    try {
        m_thread = std::thread([server] { server->listen_after_bind(); });
    } catch (...) {
        return LUMOSR_ERR_FAIL;
    }
    // A stop only reaches a server that is running: wait for it to be.
    for (int i = 0; i < 5000 && !server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_server = server;
    m_port = static_cast<uint16_t>(bound);
    return 0;
}

void Listener::Stop() {
    std::thread thread;
    std::shared_ptr<httplib::Server> server;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_server) return;
        server = std::move(m_server);
        thread = std::move(m_thread);
        m_port = 0;
    }
    server->stop();
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();  // the server object lives on in the thread's own reference
        else
            thread.join();
    }
}

bool Listener::IsStarted() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_server != nullptr;
}

uint16_t Listener::Port() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_port;
}

}  // namespace kesto
