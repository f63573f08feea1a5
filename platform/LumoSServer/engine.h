// One management engine: a secure WebSocket server running on a thread of its own, its sessions
// and the list of logged-in clients.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <list>
#include <map>
#include <mutex>
#include <thread>

#include "LumoSServer/LumoSServer.h"
#include "certificate.h"

class QWebSocket;
class QWebSocketServer;

namespace lumos {

class Engine;

// Lives on the engine's thread (made and destroyed there); every member is touched only there.
class Worker : public QObject {
    Q_OBJECT
public:
    explicit Worker(Engine* engine) : m_engine(engine) { m_clock.start(); }
    int Listen(quint16 port);  // LUMO_OK or LUMO_ERR_BIND / LUMO_ERR_FAIL
    void Shutdown();

private:
    struct Session {
        QString ip;
        QString account;
        std::string loginTime;  // of the current login
        bool loggedIn = false;
        bool local = false;    // the peer is on this machine
        bool refused = false;  // wrong password: ignored until the delayed close
        quint64 order = 0;     // login order in the client list
        quint64 timerGen = 0;  // the login timer that may still close it
    };
    void OnNewConnection();
    void OnText(QWebSocket* socket, const QString& text);
    void OnGone(QWebSocket* socket);
    // Answers a login with LUMO_ERR_REFUSED and why, logs it, and closes the connection shortly.
    void Refuse(QWebSocket* socket, Session& s, const QString& account, const QString& why);
    void Reply(QWebSocket* socket, const QString& type, int result, const QString& error = QString());
    void Log(const QString& line);
    // Tells observers that this session's client came or went.
    void NotifyClient(int kind, const Session& s);
    static LumoSDTOClient ClientOf(const Session& s);

    // Failed logins of one peer address: tries from it are refused until `until` (ms of m_clock).
    struct Penalty {
        int failures = 0;
        qint64 until = 0;
    };
    // > 0: ms left of the address's penalty (the try is refused); 0: it may try.
    qint64 PenaltyLeft(const QString& ip);
    void CountFailure(const QString& ip);
    // Not logged in (again): counts against the address's cap and must log in within the timeout.
    void StartWaitingForLogin(QWebSocket* socket, Session& s);
    void StopWaitingForLogin(Session& s);

    Engine* m_engine;
    QWebSocketServer* m_server = nullptr;
    QElapsedTimer m_clock;
    std::map<QString, Penalty> m_penalties;  // at most kMaxPenalties addresses
    std::map<QString, int> m_waiting;        // connections not logged in, per peer address
    std::map<QWebSocket*, Session> m_sessions;
    quint64 m_nextOrder = 1;
};

class Engine {
public:
    Engine(uint16_t port, const QString& dataFolder);
    ~Engine();

    int Start();
    int Stop();
    int Attach(ILumoCallback* cb, LumoSignalMember member) { return m_signal.Attach(cb, member); }
    int Detach(ILumoCallback* cb, LumoSignalMember member) { return m_signal.Detach(cb, member); }
    int ExportCertificate(const char* path);
    QByteArray CertificatePem();
    uint16_t BoundPort();
    void OnlineClients(std::list<LumoSDTOClient>& out);

    // Engine thread only (from Worker).
    const KeyPair& Keys() const { return m_keys; }
    void Notify(int code, void* p1) { m_signal.Commit(this, code, p1, nullptr); }
    void AddOnline(const LumoSDTOClient& client);
    void RemoveOnline(quint64 id);
    void SetBoundPort(uint16_t port);

private:
    bool EnsureKeys(QString* error);
    void JoinThread();

    const uint16_t m_port;
    const QString m_dataFolder;
    ILumoSignal m_signal;  // thread-safe by itself

    std::mutex m_lifeMutex;     // serialises Start, Stop and the key load
    std::thread m_thread;       // guarded by m_lifeMutex; runs the Worker and its event loop
    int m_wakeFd = -1;          // guarded by m_lifeMutex; written to end the thread's loop
    KeyPair m_keys;             // written under m_lifeMutex before the thread starts, then read-only
    bool m_keysLoaded = false;  // guarded by m_lifeMutex

    std::mutex m_clientsMutex;
    std::map<quint64, LumoSDTOClient> m_online;  // by id (login order); guarded by m_clientsMutex
    uint16_t m_boundPort = 0;                                // guarded by m_clientsMutex
};

}  // namespace lumos
