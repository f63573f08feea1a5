#include "eventengine.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <atomic>

#include "VantelCore/VantelCore.h"

namespace lumose {

namespace {

const char kLog[] = "LumoSEvent";
const int kPurgeIntervalMs = 24 * 3600 * 1000;
const int kStopCheckMs = 20;
const size_t kMaxOfflineRows = 1024;

// Names are shown in tables and stored in the database: printable UTF-8 of bounded length.
bool ValidName(const QString& name, QString* why) {
    if (name.isEmpty()) {
        *why = QStringLiteral("name missing");
        return false;
    }
    if (name.toUtf8().size() > int(LUMOSE_MAX_NAME)) {
        *why = QStringLiteral("name longer than %1 bytes").arg(int(LUMOSE_MAX_NAME));
        return false;
    }
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
            *why = QStringLiteral("name holds control characters");
            return false;
        }
    return true;
}

// The peer's address as people write it: an IPv4 peer of the dual-stack socket without its
// IPv6 prefix.
QString PeerText(const QWebSocket* socket) {
    const QHostAddress a = socket->peerAddress();
    bool v4 = false;
    const quint32 ip4 = a.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip4).toString() : a.toString();
}

bool IsJpeg(const QByteArray& data) {
    return data.size() >= 4 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xD8 && uchar(data[2]) == 0xFF &&
           uchar(data[data.size() - 2]) == 0xFF && uchar(data[data.size() - 1]) == 0xD9;
}

}  // namespace

// ---- EngineCore ------------------------------------------------------------------------------

EngineCore::EngineCore(EventEngine* owner, const EngineParams& params) : m_owner(owner), m_params(params) {
    static std::atomic<int> counter{0};
    m_dbName = QStringLiteral("LumoSEvent-%1").arg(++counter);
}

EngineCore::~EngineCore() {
    Close();
}

bool EngineCore::Open() {
    for (const QString& dir : {m_params.pathPic, m_params.pathDbs})
        if (!QDir().mkpath(dir)) {
            VantelDBG_Printf_f(0x7fff, 1, kLog, "folder %s cannot be made", qUtf8Printable(dir));
            return false;
        }

    m_server = new QWebSocketServer(QStringLiteral("LumoSEvent"), QWebSocketServer::NonSecureMode, this);
    if (!m_server->listen(QHostAddress::Any, m_params.port)) {
        VantelDBG_Printf_f(0x7fff, 1, kLog, "port %u: %s", unsigned(m_params.port),
                           qUtf8Printable(m_server->errorString()));
        return false;
    }

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_dbName);
        db.setDatabaseName(QString::fromStdString(LumoSEDatabaseFile(m_params.pathDbs.toUtf8().constData())));
        if (!db.open()) {
            VantelDBG_Printf_f(0x7fff, 1, kLog, "database: %s", qUtf8Printable(db.lastError().text()));
            return false;
        }
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
            !q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS events (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                   "received TEXT NOT NULL, time TEXT, device TEXT NOT NULL, kind TEXT, "
                                   "text TEXT, picture TEXT)"))) {
            VantelDBG_Printf_f(0x7fff, 1, kLog, "database: %s", qUtf8Printable(q.lastError().text()));
            return false;
        }
    }
    // A smaller limit than last time applies at once.
    TrimEvents();

    connect(m_server, &QWebSocketServer::newConnection, this, &EngineCore::OnNewConnection);
    PurgeOldPictureDays();
    m_purgeTimer = new QTimer(this);
    connect(m_purgeTimer, &QTimer::timeout, this, &EngineCore::PurgeOldPictureDays);
    m_purgeTimer->start(kPurgeIntervalMs);
    return true;
}

void EngineCore::Close() {
    if (m_server) {
        m_server->close();
        for (auto it = m_peers.begin(); it != m_peers.end(); ++it) {
            it.key()->disconnect(this);
            it.key()->abort();
            delete it.key();
        }
        m_peers.clear();
        delete m_server;
        m_server = nullptr;
    }
    if (QSqlDatabase::contains(m_dbName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_dbName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_dbName);
    }
}

void EngineCore::PurgeOldPictureDays() {
    // Only the day folders the engine makes are removed; anything else there is left alone.
    const QDate oldest = QDate::currentDate().addDays(-qint64(m_params.maxPicDays));
    QDir root(m_params.pathPic);
    for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDate day = QDate::fromString(name, QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid() || day >= oldest) continue;
        if (!QDir(root.filePath(name)).removeRecursively())
            VantelDBG_Printf_f(0x7fff, 1, kLog, "picture folder %s not removed", qUtf8Printable(name));
    }
}

void EngineCore::OnNewConnection() {
    while (QWebSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(nullptr);
        // A larger message closes the socket before it is held in memory whole.
        socket->setMaxAllowedIncomingMessageSize(LUMOSE_MAX_MESSAGE);
        socket->setMaxAllowedIncomingFrameSize(LUMOSE_MAX_MESSAGE);
        m_peers.insert(socket, Peer());
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { OnText(socket, text); });
        connect(socket, &QWebSocket::binaryMessageReceived, this,
                [this, socket](const QByteArray&) { OnBinary(socket); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket]() { OnDisconnected(socket); });
    }
}

void EngineCore::Reply(QWebSocket* socket, const QJsonObject& msg) {
    socket->sendTextMessage(QString::fromUtf8(QJsonDocument(msg).toJson(QJsonDocument::Compact)));
}

void EngineCore::Refuse(QWebSocket* socket, const QString& reason, bool close) {
    VantelDBG_Printf_f(0x7fff, 2, kLog, "refused from %s: %s", qUtf8Printable(PeerText(socket)),
                       qUtf8Printable(reason));
    Reply(socket, QJsonObject{{QStringLiteral("msg"), QStringLiteral("refused")},
                              {QStringLiteral("reason"), reason}});
    if (close) socket->close(QWebSocketProtocol::CloseCodePolicyViolated, reason);
}

void EngineCore::OnBinary(QWebSocket* socket) {
    Refuse(socket, QStringLiteral("binary messages are not understood"), false);
}

void EngineCore::OnText(QWebSocket* socket, const QString& text) {
    auto it = m_peers.find(socket);
    if (it == m_peers.end()) return;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) {
        Refuse(socket, QStringLiteral("not a JSON object"), false);
        return;
    }
    const QJsonObject msg = doc.object();
    const QString kind = msg.value(QStringLiteral("msg")).toString();
    if (kind == QLatin1String("register"))
        HandleRegister(socket, it.value(), msg);
    else if (kind == QLatin1String("event"))
        HandleEvent(socket, it.value(), msg);
    else
        Refuse(socket, QStringLiteral("unknown message"), false);
}

void EngineCore::HandleRegister(QWebSocket* socket, Peer& peer, const QJsonObject& msg) {
    const QString name = msg.value(QStringLiteral("name")).toString();
    QString why;
    if (!ValidName(name, &why)) {
        Refuse(socket, why, false);
        return;
    }
    const QJsonValue typeValue = msg.value(QStringLiteral("type"));
    if (!typeValue.isDouble() || typeValue.toDouble() != double(typeValue.toInt()) || typeValue.toInt() < 0) {
        Refuse(socket, QStringLiteral("type must be a whole number"), false);
        return;
    }
    const qint32 type = typeValue.toInt();
    if (!peer.name.isEmpty()) {
        if (peer.name != name || peer.type != type)
            Refuse(socket, QStringLiteral("already registered"), false);
        else
            Reply(socket, QJsonObject{{QStringLiteral("msg"), QStringLiteral("registered")},
                                      {QStringLiteral("name"), name}});
        return;
    }
    const QByteArray nameUtf8 = name.toUtf8();
    const QByteArray address = PeerText(socket).toUtf8();
    if (type == LUMOSE_TYPE_CLIENT) {
        peer.name = name;
        peer.type = type;
        Reply(socket, QJsonObject{{QStringLiteral("msg"), QStringLiteral("registered")},
                                  {QStringLiteral("name"), name}});
        LumoSELoginRecord rec{type, nameUtf8.constData(), address.constData()};
        m_owner->Signal().Commit(m_owner, LUMOSE_CB_CLIENT, &rec, nullptr);
        return;
    }
    const int taken = m_owner->TakeRow(name, PeerText(socket), type, m_params.maxDevNum);
    if (taken == 1) {
        Refuse(socket, QStringLiteral("a device of that name is online"), true);
        return;
    }
    if (taken == 2) {
        Refuse(socket, QStringLiteral("too many devices (at most %1)").arg(m_params.maxDevNum), true);
        return;
    }
    peer.name = name;
    peer.type = type;
    Reply(socket,
          QJsonObject{{QStringLiteral("msg"), QStringLiteral("registered")}, {QStringLiteral("name"), name}});
    m_owner->Signal().Commit(m_owner, LUMOSE_CB_DEVICES, nullptr, nullptr);
    if (type == LUMOSE_TYPE_RECORDSERVER || type == LUMOSE_TYPE_EVENTSERVER) {
        LumoSELoginRecord rec{type, nameUtf8.constData(), address.constData()};
        m_owner->Signal().Commit(m_owner, LUMOSE_CB_SERVER, &rec, nullptr);
    }
}

void EngineCore::HandleEvent(QWebSocket* socket, Peer& peer, const QJsonObject& msg) {
    if (peer.name.isEmpty()) {
        Refuse(socket, QStringLiteral("register first"), false);
        return;
    }
    const QString time = msg.value(QStringLiteral("time")).toString();
    if (!time.isEmpty() && !QDateTime::fromString(time, Qt::ISODateWithMs).isValid()) {
        Refuse(socket, QStringLiteral("time is not an ISO 8601 date and time"), false);
        return;
    }
    const QString kind = msg.value(QStringLiteral("kind")).toString();
    const QString text = msg.value(QStringLiteral("text")).toString();
    QByteArray jpeg;
    const QJsonValue picture = msg.value(QStringLiteral("picture"));
    if (!picture.isUndefined() && !picture.isNull()) {
        const auto decoded = QByteArray::fromBase64Encoding(picture.toString().toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!picture.isString() || !decoded || !IsJpeg(decoded.decoded)) {
            Refuse(socket, QStringLiteral("picture is not a base64 JPEG"), false);
            return;
        }
        jpeg = decoded.decoded;
    }
    qint64 id = 0;
    QString why;
    if (!StoreEvent(peer.name, time, kind, text, jpeg, &id, &why)) {
        Refuse(socket, why, false);
        return;
    }
    Reply(socket, QJsonObject{{QStringLiteral("msg"), QStringLiteral("stored")}, {QStringLiteral("id"), id}});
}

bool EngineCore::StoreEvent(const QString& device, const QString& time, const QString& kind,
                            const QString& text, const QByteArray& jpeg, qint64* id, QString* why) {
    const QDateTime now = QDateTime::currentDateTime();
    QString relative;
    if (!jpeg.isEmpty()) {
        // The day folder goes by the time of receipt, so that a device's clock cannot place a
        // picture among the days about to be removed.
        const QString day = now.toString(QStringLiteral("yyyy-MM-dd"));
        QDir root(m_params.pathPic);
        if (!root.mkpath(day)) {
            *why = QStringLiteral("picture folder cannot be made");
            return false;
        }
        relative = day + QLatin1Char('/') + now.toString(QStringLiteral("HHmmsszzz")) + QLatin1Char('-') +
                   QString::number(++m_pictureSeq) + QStringLiteral(".jpg");
        QSaveFile f(root.filePath(relative));
        if (!f.open(QIODevice::WriteOnly) || f.write(jpeg) != jpeg.size() || !f.commit()) {
            *why = QStringLiteral("picture not written: ") + f.errorString();
            return false;
        }
    }
    QSqlDatabase db = QSqlDatabase::database(m_dbName, false);
    QSqlQuery q(db);
    q.prepare(
        QStringLiteral("INSERT INTO events (received, time, device, kind, text, picture) "
                       "VALUES (?, ?, ?, ?, ?, ?)"));
    q.addBindValue(now.toString(Qt::ISODateWithMs));
    q.addBindValue(time);
    q.addBindValue(device);
    q.addBindValue(kind);
    q.addBindValue(text);
    q.addBindValue(relative);
    if (!q.exec()) {
        *why = QStringLiteral("event not stored: ") + q.lastError().text();
        if (!relative.isEmpty()) QFile::remove(QDir(m_params.pathPic).filePath(relative));
        return false;
    }
    *id = q.lastInsertId().toLongLong();
    TrimEvents();
    return true;
}

void EngineCore::TrimEvents() {
    QSqlDatabase db = QSqlDatabase::database(m_dbName, false);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM events")) || !q.next()) return;
    const qint64 excess = q.value(0).toLongLong() - qint64(m_params.maxEventRows);
    if (excess <= 0) return;
    // The oldest rows go first, with their pictures.
    QSqlQuery sel(db);
    sel.prepare(QStringLiteral("SELECT id, picture FROM events ORDER BY id LIMIT ?"));
    sel.addBindValue(excess);
    if (!sel.exec()) return;
    qint64 lastId = -1;
    QStringList pictures;
    while (sel.next()) {
        lastId = sel.value(0).toLongLong();
        const QString pic = sel.value(1).toString();
        if (!pic.isEmpty()) pictures << pic;
    }
    QSqlQuery del(db);
    del.prepare(QStringLiteral("DELETE FROM events WHERE id <= ?"));
    del.addBindValue(lastId);
    if (!del.exec()) {
        VantelDBG_Printf_f(0x7fff, 1, kLog, "old events not removed: %s",
                           qUtf8Printable(del.lastError().text()));
        return;
    }
    const QDir root(m_params.pathPic);
    for (const QString& pic : pictures)
        if (!pic.contains(QLatin1String(".."))) QFile::remove(root.filePath(pic));
}

void EngineCore::OnDisconnected(QWebSocket* socket) {
    const auto it = m_peers.find(socket);
    if (it == m_peers.end()) return;
    const Peer peer = it.value();
    m_peers.erase(it);
    socket->deleteLater();
    if (peer.name.isEmpty() || peer.type == LUMOSE_TYPE_CLIENT) return;
    m_owner->SetOffline(peer.name);
    m_owner->Signal().Commit(m_owner, LUMOSE_CB_DEVICES, nullptr, nullptr);
}

// ---- EventEngine -----------------------------------------------------------------------------

EventEngine::EventEngine(const EngineParams& params) : m_params(params) {}

EventEngine::~EventEngine() {
    StopAndWait();
}

bool EventEngine::StartAndWait() {
    std::future<bool> opened = m_opened.get_future();
    start();
    if (opened.get()) return true;
    wait();
    return false;
}

void EventEngine::StopAndWait() {
    m_stop = true;
    wait();
}

void EventEngine::run() {
    EngineCore core(this, m_params);
    if (!core.Open()) {
        core.Close();
        m_opened.set_value(false);
        return;
    }
    m_opened.set_value(true);
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, [this]() {
        if (m_stop) exit(0);
    });
    stopCheck.start(kStopCheckMs);
    exec();
    core.Close();
}

std::vector<LumoSDTODevice> EventEngine::Devices() const {
    std::lock_guard<std::mutex> lock(m_tableMutex);
    return m_devices;
}

int EventEngine::OnlineCount() const {
    std::lock_guard<std::mutex> lock(m_tableMutex);
    int n = 0;
    for (const LumoSDTODevice& d : m_devices) n += d.online ? 1 : 0;
    return n;
}

int EventEngine::TakeRow(const QString& name, const QString& ip, qint32 type, quint32 maxDevNum) {
    std::lock_guard<std::mutex> lock(m_tableMutex);
    const std::string key = name.toStdString();
    LumoSDTODevice* row = nullptr;
    quint32 online = 0;
    for (LumoSDTODevice& d : m_devices) {
        if (d.name == key) row = &d;
        online += d.online ? 1 : 0;
    }
    if (row && row->online) return 1;
    if (online >= maxDevNum) return 2;
    if (!row) {
        // Offline rows are kept for devices that come back, but not without end: past the limit
        // the oldest offline row makes room.
        if (m_devices.size() - online >= kMaxOfflineRows) {
            const auto oldest = std::find_if(m_devices.begin(), m_devices.end(),
                                             [](const LumoSDTODevice& d) { return !d.online; });
            if (oldest != m_devices.end()) m_devices.erase(oldest);
        }
        m_devices.push_back(LumoSDTODevice());
        row = &m_devices.back();
        row->name = key;
    }
    row->ip = ip.toStdString();
    row->type = type;
    row->online = true;
    return 0;
}

void EventEngine::SetOffline(const QString& name) {
    std::lock_guard<std::mutex> lock(m_tableMutex);
    const std::string key = name.toStdString();
    for (LumoSDTODevice& d : m_devices)
        if (d.name == key) d.online = false;
}

}  // namespace lumose
