#include "engine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <future>

#include <cerrno>
#include <sys/eventfd.h>
#include <unistd.h>

#include "LumoBase/atomicfile.h"
#include "state.h"

namespace lumos {
namespace {

// A refused login is answered, then closed after this delay (slows password guessing).
const int kRefuseCloseDelayMs = 500;
const int kMaxAccountBytes = 128;
// Addresses whose failed logins are remembered; past that the longest-expired are forgotten.
const size_t kMaxPenalties = 4096;
// Failures older than this (after the penalty ended) are forgotten.
const qint64 kForgetFailuresMs = 15 * 60 * 1000;

QString PeerText(const QHostAddress& address) {
    bool ok = false;
    quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

}  // namespace

LumoSDTOClient Worker::ClientOf(const Session& s) {
    LumoSDTOClient dto;
    dto.ip = s.ip.toStdString();
    dto.account = s.account.toUtf8().toStdString();
    dto.loginTime = s.loginTime;
    dto.id = s.order;
    return dto;
}

int Worker::Listen(quint16 port) {
    m_server = new QWebSocketServer(QStringLiteral("VantelServer"), QWebSocketServer::SecureMode, this);
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    QSslKey key(m_engine->Keys().keyPem, QSsl::Ec, QSsl::Pem);
    QSslCertificate cert(m_engine->Keys().certPem, QSsl::Pem);
    if (key.isNull() || cert.isNull()) {
        Log(QStringLiteral("the engine's key or certificate cannot be used"));
        delete m_server;
        m_server = nullptr;
        return LUMO_ERR_FAIL;
    }
    ssl.setPrivateKey(key);
    ssl.setLocalCertificate(cert);
    ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
    ssl.setProtocol(QSsl::TlsV1_2OrLater);
    m_server->setSslConfiguration(ssl);
    m_server->setMaxPendingConnections(512);
    if (!m_server->listen(QHostAddress::Any, port)) {
        Log(QStringLiteral("cannot listen on port %1: %2").arg(port).arg(m_server->errorString()));
        delete m_server;
        m_server = nullptr;
        return LUMO_ERR_BIND;
    }
    connect(m_server, &QWebSocketServer::newConnection, this, &Worker::OnNewConnection);
    m_engine->SetBoundPort(m_server->serverPort());
    Log(QStringLiteral("listening on port %1").arg(m_server->serverPort()));
    return LUMO_OK;
}

void Worker::Shutdown() {
    if (!m_server) return;
    m_server->close();
    bool hadClients = false;
    for (auto& entry : m_sessions) {
        hadClients = hadClients || entry.second.loggedIn;
        if (entry.second.loggedIn) m_engine->RemoveOnline(entry.second.order);
        entry.first->disconnect(this);
        entry.first->abort();
        delete entry.first;
    }
    m_sessions.clear();
    m_waiting.clear();
    delete m_server;
    m_server = nullptr;
    m_engine->SetBoundPort(0);
    Log(QStringLiteral("stopped"));
    if (hadClients) m_engine->Notify(LUMOS_SIGNAL_CLIENTS, nullptr);
}

void Worker::OnNewConnection() {
    while (QWebSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        if (static_cast<int>(m_sessions.size()) >= State::MaxClients()) {
            Log(QStringLiteral("connection from %1 refused: all %2 connections are taken")
                    .arg(PeerText(socket->peerAddress()))
                    .arg(m_sessions.size()));
            socket->close(QWebSocketProtocol::CloseCodeAbnormalDisconnection,
                          QStringLiteral("too many clients"));
            socket->deleteLater();
            continue;
        }
        const QString ip = PeerText(socket->peerAddress());
        bool usable = true;
        const bool noPassword = State::Password(&usable).isEmpty() && usable;
        if (noPassword && !State::PeerIsLocal(socket->peerAddress())) {
            // Without a password only this machine's clients are served.
            Log(QStringLiteral("connection from %1 refused: no password is set, only clients on this "
                               "machine are served")
                    .arg(ip));
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not allowed"));
            socket->deleteLater();
            continue;
        }
        // Idle connections of one address cannot take the slots of everyone else.
        const int cap = State::Limits().maxPendingPerAddress;
        auto waiting = m_waiting.find(ip);
        if (waiting != m_waiting.end() && waiting->second >= cap) {
            Log(QStringLiteral("connection from %1 refused: %2 connections from that address are not logged in")
                    .arg(ip)
                    .arg(waiting->second));
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("too many connections"));
            socket->deleteLater();
            continue;
        }
        // Oversized messages and frames end that connection (Qt closes it with "too much data").
        socket->setMaxAllowedIncomingMessageSize(LUMOS_MAX_MESSAGE_BYTES);
        socket->setMaxAllowedIncomingFrameSize(LUMOS_MAX_MESSAGE_BYTES);
        Session s;
        s.ip = ip;
        s.local = State::PeerIsLocal(socket->peerAddress());
        Session& added = m_sessions[socket];
        added = s;
        StartWaitingForLogin(socket, added);
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { OnText(socket, text); });
        connect(socket, &QWebSocket::binaryMessageReceived, this, [this, socket](const QByteArray&) {
            Reply(socket, QStringLiteral("error"), LUMO_ERR_PARAM, QStringLiteral("text messages only"));
        });
        connect(socket, &QWebSocket::disconnected, this, [this, socket]() { OnGone(socket); });
    }
}

void Worker::StartWaitingForLogin(QWebSocket* socket, Session& s) {
    ++m_waiting[s.ip];
    const quint64 gen = ++s.timerGen;
    const int timeout = State::Limits().loginTimeoutMs;
    // A connection that has not logged in by then is closed, so idle sockets cannot pile up.
    QTimer::singleShot(timeout, socket, [this, socket, gen, timeout]() {
        auto it = m_sessions.find(socket);
        if (it == m_sessions.end() || it->second.loggedIn || it->second.timerGen != gen) return;
        Log(QStringLiteral("connection from %1 closed: not logged in within %2 ms").arg(it->second.ip).arg(timeout));
        socket->close();
    });
}

void Worker::StopWaitingForLogin(Session& s) {
    ++s.timerGen;
    auto it = m_waiting.find(s.ip);
    if (it != m_waiting.end() && --it->second <= 0) m_waiting.erase(it);
}

void Worker::OnText(QWebSocket* socket, const QString& text) {
    auto it = m_sessions.find(socket);
    if (it == m_sessions.end() || it->second.refused) return;
    Session& s = it->second;
    QJsonParseError perr;
    QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &perr);
    const QString type = doc.isObject() ? doc.object().value(QStringLiteral("type")).toString() : QString();
    if (perr.error != QJsonParseError::NoError || !doc.isObject() || type.isEmpty()) {
        Reply(socket, QStringLiteral("error"), LUMO_ERR_PARAM, QStringLiteral("malformed message"));
        return;
    }
    const QJsonObject msg = doc.object();
    if (type == QLatin1String("login")) {
        const QJsonValue account = msg.value(QStringLiteral("account"));
        const QJsonValue password = msg.value(QStringLiteral("password"));
        if (!account.isString() || !password.isString() || account.toString().isEmpty() ||
            account.toString().toUtf8().size() > kMaxAccountBytes) {
            Reply(socket, type, LUMO_ERR_PARAM, QStringLiteral("account and password expected"));
            return;
        }
        if (s.loggedIn) {
            Reply(socket, type, LUMO_ERR_STATE, QStringLiteral("already logged in"));
            return;
        }
        // A guesser is slowed per address: while its penalty runs, tries are refused unchecked.
        if (const qint64 left = PenaltyLeft(s.ip)) {
            Refuse(socket, s, account.toString(),
                   QStringLiteral("too many wrong passwords from this address, try again in %1 s")
                       .arg((left + 999) / 1000));
            return;
        }
        bool usable = true;
        const QByteArray expected = State::Password(&usable);
        if (!usable || (expected.isEmpty() && !s.local)) {
            Refuse(socket, s, account.toString(),
                   usable ? QStringLiteral("no password is set, only clients on this machine are served")
                          : QStringLiteral("no usable password is set on the server"));
            return;
        }
        if (password.toString().toUtf8() != expected) {
            CountFailure(s.ip);
            Refuse(socket, s, account.toString(), QStringLiteral("wrong account or password"));
            return;
        }
        m_penalties.erase(s.ip);
        s.loggedIn = true;
        StopWaitingForLogin(s);
        s.account = account.toString();
        s.order = m_nextOrder++;
        s.loginTime =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toStdString();
        m_engine->AddOnline(ClientOf(s));
        Reply(socket, type, LUMO_OK);
        Log(QStringLiteral("%1 logged in from %2").arg(s.account, s.ip));
        NotifyClient(LUMOS_CLIENT_LOGGED_IN, s);
    } else if (type == QLatin1String("logout")) {
        if (!s.loggedIn) {
            Reply(socket, type, LUMO_ERR_STATE, QStringLiteral("not logged in"));
            return;
        }
        s.loggedIn = false;
        // Logged out, the connection waits for a login again like a new one: it cannot keep a slot.
        StartWaitingForLogin(socket, s);
        m_engine->RemoveOnline(s.order);
        Reply(socket, type, LUMO_OK);
        Log(QStringLiteral("%1 logged out from %2").arg(s.account, s.ip));
        NotifyClient(LUMOS_CLIENT_GONE, s);
    } else {
        Reply(socket, QStringLiteral("error"), LUMO_ERR_UNSUPPORTED, QStringLiteral("unknown message type"));
    }
}

qint64 Worker::PenaltyLeft(const QString& ip) {
    auto it = m_penalties.find(ip);
    if (it == m_penalties.end()) return 0;
    const qint64 left = it->second.until - m_clock.elapsed();
    return left > 0 ? left : 0;
}

void Worker::CountFailure(const QString& ip) {
    const LumoSLimits limits = State::Limits();
    if (limits.penaltyBaseMs <= 0) return;
    const qint64 now = m_clock.elapsed();
    if (m_penalties.size() >= kMaxPenalties && !m_penalties.count(ip)) {
        // Many addresses at once: forget the one whose penalty ended longest ago (or ends first).
        auto oldest = m_penalties.begin();
        for (auto it = m_penalties.begin(); it != m_penalties.end(); ++it)
            if (it->second.until < oldest->second.until) oldest = it;
        m_penalties.erase(oldest);
    }
    Penalty& p = m_penalties[ip];
    if (p.failures > 0 && now - p.until > kForgetFailuresMs) p.failures = 0;
    p.failures = std::min(p.failures + 1, 30);
    const qint64 wait = std::min<qint64>(qint64(limits.penaltyBaseMs) << std::min(p.failures - 1, 20),
                                         limits.penaltyMaxMs);
    p.until = now + wait;
}

void Worker::Refuse(QWebSocket* socket, Session& s, const QString& account, const QString& why) {
    s.refused = true;
    Reply(socket, QStringLiteral("login"), LUMO_ERR_REFUSED, why);
    Log(QStringLiteral("login of %1 from %2 refused: %3").arg(account, s.ip, why));
    QTimer::singleShot(kRefuseCloseDelayMs, socket, [socket]() { socket->close(); });
}

void Worker::OnGone(QWebSocket* socket) {
    auto it = m_sessions.find(socket);
    if (it == m_sessions.end()) return;
    const Session s = it->second;
    if (!s.loggedIn) StopWaitingForLogin(it->second);
    m_sessions.erase(it);
    socket->deleteLater();
    if (s.loggedIn) {
        m_engine->RemoveOnline(s.order);
        Log(QStringLiteral("%1 disconnected from %2").arg(s.account, s.ip));
        NotifyClient(LUMOS_CLIENT_GONE, s);
    }
}

void Worker::Reply(QWebSocket* socket, const QString& type, int result, const QString& error) {
    QJsonObject o{{QStringLiteral("type"), type}, {QStringLiteral("result"), result}};
    if (!error.isEmpty()) o.insert(QStringLiteral("error"), error);
    socket->sendTextMessage(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
}

void Worker::NotifyClient(int kind, const Session& s) {
    LumoSClientChange change{kind, ClientOf(s)};
    m_engine->Notify(LUMOS_SIGNAL_CLIENTS, &change);
}

void Worker::Log(const QString& line) {
    CLumoString text(line.toUtf8().toStdString());
    m_engine->Notify(LUMOS_SIGNAL_LOG, &text);
}

Engine::Engine(uint16_t port, const QString& dataFolder) : m_port(port), m_dataFolder(dataFolder) {}

Engine::~Engine() {
    Stop();
}

bool Engine::EnsureKeys(QString* error) {
    if (m_keysLoaded) return true;
    m_keysLoaded = LoadOrCreateKeyPair(m_dataFolder, &m_keys, error);
    return m_keysLoaded;
}

int Engine::Start() {
    std::lock_guard<std::mutex> lock(m_lifeMutex);
    if (m_thread.joinable()) return LUMO_ERR_STATE;
    QString error;
    if (!EnsureKeys(&error)) {
        CLumoString text(error.toUtf8().toStdString());
        Notify(LUMOS_SIGNAL_LOG, &text);
        return LUMO_ERR_FAIL;
    }
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) return LUMO_ERR_FAIL;
    std::promise<int> listening;
    std::future<int> result = listening.get_future();
    // A plain thread with an event loop of its own: its start, its wake-up (an eventfd) and its
    // join are all seen by the thread checker, which cannot see into Qt's own locks.
    m_thread = std::thread([this, &listening] {
        QEventLoop loop;
        Worker worker(this);
        const int r = worker.Listen(m_port);
        QSocketNotifier wake(m_wakeFd, QSocketNotifier::Read);
        QObject::connect(&wake, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        listening.set_value(r);
        if (r != LUMO_OK) return;
        loop.exec();
        worker.Shutdown();
    });
    const int r = result.get();
    if (r != LUMO_OK) JoinThread();
    return r;
}

void Engine::JoinThread() {
    m_thread.join();
    ::close(m_wakeFd);
    m_wakeFd = -1;
}

int Engine::Stop() {
    std::lock_guard<std::mutex> lock(m_lifeMutex);
    if (!m_thread.joinable()) return LUMO_OK;
    const uint64_t one = 1;
    while (::write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    JoinThread();
    return LUMO_OK;
}

int Engine::ExportCertificate(const char* path) {
    if (!path || !*path) return LUMO_ERR_PARAM;
    QByteArray pem = CertificatePem();
    if (pem.isEmpty()) return LUMO_ERR_FAIL;
    // Written beside and renamed over: a full disk never leaves an empty export in place of a good one.
    const QByteArray xml = CertificateXml(pem);
    const LumoSaveResult r = LumoSaveFileAtomic(path, xml.constData(), static_cast<size_t>(xml.size()), 0644);
    if (!r.ok()) {
        CLumoString text("certificate export failed: " + r.message);
        Notify(LUMOS_SIGNAL_LOG, &text);
        return r.code;
    }
    return LUMO_OK;
}

QByteArray Engine::CertificatePem() {
    std::lock_guard<std::mutex> lock(m_lifeMutex);
    QString error;
    return EnsureKeys(&error) ? m_keys.certPem : QByteArray();
}

uint16_t Engine::BoundPort() {
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    return m_boundPort;
}

void Engine::SetBoundPort(uint16_t port) {
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    m_boundPort = port;
}

void Engine::OnlineClients(std::list<LumoSDTOClient>& out) {
    out.clear();
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    for (const auto& c : m_online) out.push_back(c.second);
}

void Engine::AddOnline(const LumoSDTOClient& client) {
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    m_online[client.id] = client;
}

void Engine::RemoveOnline(quint64 id) {
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    m_online.erase(id);
}

}  // namespace lumos
