// The engine of one port: a thread with its own event loop running the WebSocket server, the
// device table and the event database.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "LumoSEvent/LumoSEvent.h"

class QSocketNotifier;
class QSqlQuery;
class QTimer;
class QWebSocket;
class QWebSocketServer;

namespace lumose {

struct EngineParams {
    quint16 port = 0;
    quint32 maxDevNum = 0;
    quint32 maxPicDays = 0;
    quint32 maxEventRows = 0;
    QString pathPic;
    QString pathDbs;
    // The accounts file (<SecurityFile> of <Client name=".." password=".."/>). While it exists
    // only its accounts register, from any address; while it does not, only this machine's
    // peers are served. Read again whenever it changes.
    QString securityFile;
    // What counts as this machine (the IPv4 form of a dual-stack peer); empty: loopback.
    std::function<bool(const QHostAddress&)> isLocalPeer;
    // A connection that has not registered within this time is closed.
    int registerTimeoutMs = 10000;
    // Connections one address may hold open at once (registered or not).
    int maxPerAddress = 64;
    // Failed logins an address may make before it has to wait; the wait starts at the base and
    // doubles with every further failure, up to the most.
    int freeLoginFailures = 3;
    int loginDelayMs = 1000;
    int maxLoginDelayMs = 60000;
    // While no file descriptor is left, accepting pauses and is tried again after this time
    // (or sooner, when a connection closes).
    int acceptRetryMs = 500;
};

class EventEngine;

// Lives on the engine's thread: every member below is touched only there, but the device
// table, which m_tableMutex guards for the readers of other threads.
class EngineCore : public QObject {
    Q_OBJECT
public:
    EngineCore(EventEngine* owner, const EngineParams& params);
    ~EngineCore() override;

    // Folders, database, listening socket; false (with the reason logged) when one fails.
    bool Open();
    void Close();
    void PurgeOldPictureDays();

private:
    struct Peer {
        QString name;  // registered name; empty until registered
        qint32 type = -1;
        QString address;       // as PeerText gives it; counted in m_perAddress unless refused
        bool refused = false;  // closed at once (refused at connection or closing after a refusal)
    };
    // The accounts of the security file as last read; reloaded when the file changes.
    struct Accounts {
        bool present = false;  // the file exists (readable or not)
        bool valid = false;    // it was read and understood; if not, nobody gets in
        QDateTime modified;
        qint64 size = -1;
        QHash<QString, QByteArray> passwords;  // name -> SHA-256 of the password
    };
    // Failed logins of one address.
    struct Failures {
        int count = 0;
        qint64 blockedUntilMs = 0;  // steady-clock ms; 0 when not blocked
        qint64 lastMs = 0;
    };
    // Makes the day's picture folder with the engine's mark in it; false with the reason.
    bool MakeDayFolder(const QString& day, QString* why);
    const Accounts& CurrentAccounts();
    bool IsLocal(const QHostAddress& address) const;
    // Checks name and password against the security file (in constant time for the password);
    // false with the reason when it does not let the peer in.
    bool CheckLogin(const QHostAddress& peer, const QString& address, const QString& name,
                    const QString& password, QString* why);
    void OnNewConnection();
    // Pauses the listener while no descriptor is left (ProbeDescriptors looks).
    void ProbeDescriptors();
    void OnAcceptError(const QString& why);
    void ResumeAccepting();
    void CloseSoon(QWebSocket* socket);
    void OnText(QWebSocket* socket, const QString& text);
    void OnBinary(QWebSocket* socket);
    void OnDisconnected(QWebSocket* socket);
    void HandleRegister(QWebSocket* socket, Peer& peer, const QJsonObject& msg);
    void HandleEvent(QWebSocket* socket, Peer& peer, const QJsonObject& msg);
    void Refuse(QWebSocket* socket, const QString& reason, bool close);
    void Reply(QWebSocket* socket, const QJsonObject& msg);
    bool StoreEvent(const QString& device, const QString& time, const QString& kind, const QString& text,
                    const QByteArray& jpeg, qint64* id, QString* why);
    // Removes the oldest rows (with their pictures) down to the limit once the table holds more
    // than the limit and the margin.
    void TrimEvents();
    qint64 TrimMargin() const;

    EventEngine* m_owner;
    EngineParams m_params;
    QWebSocketServer* m_server = nullptr;
    QTimer* m_purgeTimer = nullptr;
    QString m_dbName;
    QHash<QWebSocket*, Peer> m_peers;
    QHash<QString, int> m_perAddress;  // open connections by address (refused ones not counted)
    QHash<QString, Failures> m_failures;
    Accounts m_accounts;
    bool m_acceptPaused = false;
    bool m_acceptErrorLogged = false;          // until the next accepted connection
    QSocketNotifier* m_acceptProbe = nullptr;  // watches m_probeFd, a duplicate of the listener's
    int m_probeFd = -1;
    QTimer* m_acceptTimer = nullptr;
    quint64 m_pictureSeq = 0;
    QString m_markedDay;                  // the day folder last made and marked
    std::unique_ptr<QSqlQuery> m_insert;  // the event insert, prepared at the first event
    qint64 m_rowCount = 0;  // rows of the events table: counted at open, kept by insert and trim
};

class EventEngine : public QThread {
    Q_OBJECT
public:
    explicit EventEngine(const EngineParams& params);
    ~EventEngine() override;

    // Starts the thread; false when the engine could not open (the thread has ended then).
    bool StartAndWait();
    // Ends the loop and joins the thread; the database is closed when it returns.
    void StopAndWait();

    quint16 Port() const { return m_params.port; }
    ILumoSignal& Signal() { return m_signal; }

    // The device table: the engine thread writes, any thread reads.
    std::vector<LumoSDTODevice> Devices() const;
    // Device-table edits of the engine thread (m_tableMutex held inside).
    int OnlineCount() const;
    // 0 taken; 1 refused: name online elsewhere; 2 refused: too many devices.
    int TakeRow(const QString& name, const QString& ip, qint32 type, quint32 maxDevNum);
    void SetOffline(const QString& name);
    // Times the listener could not accept a connection (no descriptor left), for the log's
    // reader and the tests.
    int AcceptErrors() const { return m_acceptErrors.load(); }
    void CountAcceptError() { ++m_acceptErrors; }

protected:
    void run() override;

private:
    EngineParams m_params;
    std::promise<bool> m_opened;
    // Set by StopAndWait; the engine thread ends its own loop when it sees it (no other thread
    // wakes the loop, whose wake-up file the thread closes as it ends).
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_acceptErrors{0};
    ILumoSignal m_signal;  // thread-safe by itself
    mutable std::mutex m_tableMutex;
    std::vector<LumoSDTODevice> m_devices;  // guarded by m_tableMutex
};

}  // namespace lumose
