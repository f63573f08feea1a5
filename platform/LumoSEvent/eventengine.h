// The engine of one port: a thread with its own event loop running the WebSocket server, the
// device table and the event database.
#pragma once

#include <QHash>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QThread>
#include <atomic>
#include <future>
#include <mutex>
#include <vector>

#include "LumoSEvent/LumoSEvent.h"

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
    };
    void OnNewConnection();
    void OnText(QWebSocket* socket, const QString& text);
    void OnBinary(QWebSocket* socket);
    void OnDisconnected(QWebSocket* socket);
    void HandleRegister(QWebSocket* socket, Peer& peer, const QJsonObject& msg);
    void HandleEvent(QWebSocket* socket, Peer& peer, const QJsonObject& msg);
    void Refuse(QWebSocket* socket, const QString& reason, bool close);
    void Reply(QWebSocket* socket, const QJsonObject& msg);
    bool StoreEvent(const QString& device, const QString& time, const QString& kind, const QString& text,
                    const QByteArray& jpeg, qint64* id, QString* why);
    void TrimEvents();

    EventEngine* m_owner;
    EngineParams m_params;
    QWebSocketServer* m_server = nullptr;
    QTimer* m_purgeTimer = nullptr;
    QString m_dbName;
    QHash<QWebSocket*, Peer> m_peers;
    quint64 m_pictureSeq = 0;
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

protected:
    void run() override;

private:
    EngineParams m_params;
    std::promise<bool> m_opened;
    // Set by StopAndWait; the engine thread ends its own loop when it sees it (no other thread
    // wakes the loop, whose wake-up file the thread closes as it ends).
    std::atomic<bool> m_stop{false};
    ILumoSignal m_signal;  // thread-safe by itself
    mutable std::mutex m_tableMutex;
    std::vector<LumoSDTODevice> m_devices;  // guarded by m_tableMutex
};

}  // namespace lumose
