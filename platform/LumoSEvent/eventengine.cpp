#include "eventengine.h"

#include <QDate>
#include <QDateTime>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "LumoBase/atomicfile.h"
#include "VantelCore/VantelCore.h"
#include "VantelCore/securityfile.h"

namespace lumose {

namespace {

const char kLog[] = "LumoSEvent";
const int kPurgeIntervalMs = 24 * 3600 * 1000;
const int kStopCheckMs = 20;
// The file in each picture day folder that the engine made.
const char kDayMarker[] = ".lumosevent-day";
const size_t kMaxOfflineRows = 1024;
// A refused peer that does not answer the closing handshake is cut off after this.
const int kCloseGraceMs = 2000;
// Addresses whose failed logins are remembered at once (the oldest go first past it).
const int kMaxFailureAddresses = 4096;

qint64 SteadyMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

QByteArray PasswordHash(const QString& password) {
    return QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha256);
}

// Equal hashes, compared without stopping at the first difference.
bool SameHash(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (int i = 0; i < a.size(); ++i) diff |= uchar(a[i]) ^ uchar(b[i]);
    return diff == 0;
}

QHostAddress PlainAddress(const QHostAddress& a) {
    bool v4 = false;
    const quint32 ip4 = a.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip4) : a;
}

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
    return PlainAddress(socket->peerAddress()).toString();
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

    if (!CurrentAccounts().present)
        VantelDBG_Printf_f(0x7fff, 2, kLog, "no security file: only this machine's peers are served");

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
    {
        // Counted once here; from then on the inserts and deletes of this engine keep it.
        QSqlQuery q(QSqlDatabase::database(m_dbName, false));
        if (!q.exec(QStringLiteral("SELECT count(*) FROM events")) || !q.next()) {
            VantelDBG_Printf_f(0x7fff, 1, kLog, "database: %s", qUtf8Printable(q.lastError().text()));
            return false;
        }
        m_rowCount = q.value(0).toLongLong();
    }
    // A smaller limit than last time applies at once.
    TrimEvents();

    connect(m_server, &QWebSocketServer::newConnection, this, &EngineCore::OnNewConnection);
    connect(m_server, &QWebSocketServer::acceptError, this,
            [this](QAbstractSocket::SocketError) { OnAcceptError(m_server->errorString()); });
    // Qt's listener takes a failed accept for want of a descriptor as a passing error and tries
    // again at once, for as long as a connection waits: a second watcher of the listening
    // socket sees whether a descriptor is left and, when none is, pauses the listener. It
    // watches a duplicate, since one event dispatcher keeps only one watcher per descriptor.
    m_probeFd = ::fcntl(int(m_server->nativeDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (m_probeFd < 0) {
        VantelDBG_Printf_f(0x7fff, 1, kLog, "port %u: no descriptor left", unsigned(m_params.port));
        return false;
    }
    m_acceptProbe = new QSocketNotifier(m_probeFd, QSocketNotifier::Read, this);
    connect(m_acceptProbe, &QSocketNotifier::activated, this, &EngineCore::ProbeDescriptors);
    m_acceptTimer = new QTimer(this);
    m_acceptTimer->setSingleShot(true);
    connect(m_acceptTimer, &QTimer::timeout, this, &EngineCore::ResumeAccepting);
    PurgeOldPictureDays();
    m_purgeTimer = new QTimer(this);
    connect(m_purgeTimer, &QTimer::timeout, this, &EngineCore::PurgeOldPictureDays);
    m_purgeTimer->start(kPurgeIntervalMs);
    return true;
}

void EngineCore::Close() {
    if (m_server) {
        delete m_acceptProbe;
        m_acceptProbe = nullptr;
        if (m_probeFd >= 0) ::close(m_probeFd);
        m_probeFd = -1;
        m_server->close();
        for (auto it = m_peers.begin(); it != m_peers.end(); ++it) {
            it.key()->disconnect(this);
            it.key()->abort();
            delete it.key();
        }
        m_peers.clear();
        m_perAddress.clear();
        delete m_server;
        m_server = nullptr;
    }
    m_insert.reset();
    if (QSqlDatabase::contains(m_dbName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_dbName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_dbName);
    }
}

bool EngineCore::MakeDayFolder(const QString& day, QString* why) {
    if (day == m_markedDay) return true;
    const QDir root(m_params.pathPic);
    const QString folder = root.filePath(day);
    const bool existed = QFileInfo(folder).isDir();
    if (!root.mkpath(day)) {
        *why = QStringLiteral("picture folder cannot be made");
        return false;
    }
    const QString marker = QDir(folder).filePath(QLatin1String(kDayMarker));
    if (!QFileInfo::exists(marker)) {
        // The mark tells the daily purge that the engine made this folder and may remove it.
        static const char kText[] = "pictures of the event engine; removed with their day\n";
        const LumoSaveResult saved =
            LumoSaveFileAtomic(QFile::encodeName(marker).toStdString(), kText, sizeof kText - 1, 0644);
        if (!saved.ok()) {
            if (!existed) root.rmdir(day);
            *why = saved.code == LUMO_ERR_DISKFULL
                       ? QStringLiteral("picture not stored: the disk is full")
                       : QStringLiteral("picture not stored: ") + QString::fromStdString(saved.message);
            VantelDBG_Printf_f(0x7fff, 1, kLog, "%s", saved.message.c_str());
            return false;
        }
    }
    m_markedDay = day;
    return true;
}

void EngineCore::PurgeOldPictureDays() {
    // Only the day folders the engine made (those with its mark) are removed, and of them only
    // its own pictures: a folder that holds anything else keeps that.
    const QDate oldest = QDate::currentDate().addDays(-qint64(m_params.maxPicDays));
    QDir root(m_params.pathPic);
    const QRegularExpression kPicture(QStringLiteral("^\\d{9}-\\d+\\.jpg$"));
    for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDate day = QDate::fromString(name, QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid() || day >= oldest) continue;
        QDir folder(root.filePath(name));
        if (!folder.exists(QLatin1String(kDayMarker))) continue;
        for (const QString& file : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (kPicture.match(file).hasMatch()) folder.remove(file);
        folder.remove(QLatin1String(kDayMarker));
        if (!root.rmdir(name))
            VantelDBG_Printf_f(0x7fff, 1, kLog, "picture folder %s kept: it holds other files",
                               qUtf8Printable(name));
        if (name == m_markedDay) m_markedDay.clear();
    }
}

bool EngineCore::IsLocal(const QHostAddress& address) const {
    const QHostAddress plain = PlainAddress(address);
    return m_params.isLocalPeer ? m_params.isLocalPeer(plain) : plain.isLoopback();
}

const EngineCore::Accounts& EngineCore::CurrentAccounts() {
    // Not cached: an import while the engine runs applies to the next peer.
    QFileInfo fi(m_params.securityFile);
    fi.setCaching(false);
    const bool present = !m_params.securityFile.isEmpty() && fi.exists();
    if (present == m_accounts.present &&
        (!present || (fi.lastModified() == m_accounts.modified && fi.size() == m_accounts.size)))
        return m_accounts;
    m_accounts = Accounts();
    m_accounts.present = present;
    if (!present) {
        VantelDBG_Printf_f(0x7fff, 2, kLog, "no security file: only this machine's peers are served");
        return m_accounts;
    }
    m_accounts.modified = fi.lastModified();
    m_accounts.size = fi.size();
    std::vector<vantel::SecurityClient> clients;
    QString why;
    if (vantel::ReadSecurityFile(m_params.securityFile, &clients, nullptr, &why) != vantel::SecurityRead::Ok) {
        VantelDBG_Printf_f(0x7fff, 1, kLog, "security file %s cannot be read (%s): nobody may register",
                           qUtf8Printable(m_params.securityFile), qUtf8Printable(why));
        return m_accounts;
    }
    for (const vantel::SecurityClient& c : clients) m_accounts.passwords.insert(c.name, PasswordHash(c.password));
    m_accounts.valid = true;
    VantelDBG_Printf_f(0x7fff, 2, kLog, "security file read: %d accounts", int(m_accounts.passwords.size()));
    return m_accounts;
}

bool EngineCore::CheckLogin(const QHostAddress& peer, const QString& address, const QString& name,
                            const QString& password, QString* why) {
    const Accounts& accounts = CurrentAccounts();
    if (!accounts.present) {
        // Looked at again here: the file may have gone since the peer connected.
        if (IsLocal(peer)) return true;
        *why = QStringLiteral("only this machine is served without a security file");
        return false;
    }
    const qint64 now = SteadyMs();
    Failures& f = m_failures[address];
    if (f.blockedUntilMs > now) {
        *why = QStringLiteral("too many failed logins from this address; try again in %1 s")
                   .arg((f.blockedUntilMs - now + 999) / 1000);
        return false;
    }
    // The hash is compared whether or not the name is known, so that the time taken tells
    // neither.
    static const QByteArray kNoAccount = PasswordHash(QStringLiteral("\x01no account"));
    const auto it = accounts.passwords.constFind(name);
    const bool known = it != accounts.passwords.constEnd();
    const bool same = SameHash(PasswordHash(password), known ? it.value() : kNoAccount);
    if (accounts.valid && known && same) {
        m_failures.remove(address);
        return true;
    }
    ++f.count;
    f.lastMs = now;
    if (f.count >= m_params.freeLoginFailures) {
        const int doublings = std::min(f.count - m_params.freeLoginFailures, 16);
        const qint64 delay =
            std::min<qint64>(qint64(m_params.loginDelayMs) << doublings, m_params.maxLoginDelayMs);
        f.blockedUntilMs = now + delay;
    }
    if (m_failures.size() > kMaxFailureAddresses) {
        // Forget the address that failed longest ago.
        auto oldest = m_failures.begin();
        for (auto i = m_failures.begin(); i != m_failures.end(); ++i)
            if (i.value().lastMs < oldest.value().lastMs) oldest = i;
        m_failures.erase(oldest);
    }
    *why = accounts.valid ? QStringLiteral("unknown name or wrong password")
                          : QStringLiteral("the security file cannot be read: nobody may register");
    return false;
}

void EngineCore::OnNewConnection() {
    m_acceptErrorLogged = false;
    while (QWebSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(nullptr);
        // A larger message closes the socket before it is held in memory whole.
        socket->setMaxAllowedIncomingMessageSize(LUMOSE_MAX_MESSAGE);
        socket->setMaxAllowedIncomingFrameSize(LUMOSE_MAX_MESSAGE);
        Peer peer;
        peer.address = PeerText(socket);
        connect(socket, &QWebSocket::disconnected, this, [this, socket]() { OnDisconnected(socket); });
        if (!CurrentAccounts().present && !IsLocal(socket->peerAddress())) {
            peer.refused = true;
            m_peers.insert(socket, peer);
            Refuse(socket, QStringLiteral("only this machine is served without a security file"), true);
            continue;
        }
        int& open = m_perAddress[peer.address];
        if (open >= m_params.maxPerAddress) {
            peer.refused = true;
            m_peers.insert(socket, peer);
            Refuse(socket,
                   QStringLiteral("too many connections from this address (at most %1)")
                       .arg(m_params.maxPerAddress),
                   true);
            continue;
        }
        ++open;
        m_peers.insert(socket, peer);
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { OnText(socket, text); });
        connect(socket, &QWebSocket::binaryMessageReceived, this,
                [this, socket](const QByteArray&) { OnBinary(socket); });
        QTimer::singleShot(m_params.registerTimeoutMs, socket, [this, socket]() {
            const auto it = m_peers.constFind(socket);
            if (it != m_peers.constEnd() && it->name.isEmpty() && !it->refused)
                Refuse(socket, QStringLiteral("not registered within %1 ms").arg(m_params.registerTimeoutMs),
                       true);
        });
    }
}

void EngineCore::ProbeDescriptors() {
    if (m_acceptPaused) return;
    const int fd = ::fcntl(int(m_server->nativeDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno == EMFILE || errno == ENFILE) OnAcceptError(QStringLiteral("no file descriptor left"));
}

void EngineCore::OnAcceptError(const QString& why) {
    // Accepting again at once would only fail again: the listener rests until a connection
    // closes or the retry time has passed.
    if (!m_acceptErrorLogged)
        VantelDBG_Printf_f(0x7fff, 1, kLog, "connections not accepted (%s): accepting pauses",
                           qUtf8Printable(why));
    m_acceptErrorLogged = true;
    m_owner->CountAcceptError();
    m_server->pauseAccepting();
    m_acceptProbe->setEnabled(false);
    m_acceptPaused = true;
    if (!m_acceptTimer->isActive()) m_acceptTimer->start(m_params.acceptRetryMs);
}

void EngineCore::ResumeAccepting() {
    if (!m_acceptPaused || !m_server) return;
    m_acceptPaused = false;
    m_acceptTimer->stop();
    m_acceptProbe->setEnabled(true);
    m_server->resumeAccepting();
}

void EngineCore::CloseSoon(QWebSocket* socket) {
    // A peer that does not answer the closing handshake is cut off.
    QTimer::singleShot(kCloseGraceMs, socket, [socket]() { socket->abort(); });
}

void EngineCore::Reply(QWebSocket* socket, const QJsonObject& msg) {
    socket->sendTextMessage(QString::fromUtf8(QJsonDocument(msg).toJson(QJsonDocument::Compact)));
}

void EngineCore::Refuse(QWebSocket* socket, const QString& reason, bool close) {
    VantelDBG_Printf_f(0x7fff, 2, kLog, "refused from %s: %s", qUtf8Printable(PeerText(socket)),
                       qUtf8Printable(reason));
    Reply(socket, QJsonObject{{QStringLiteral("msg"), QStringLiteral("refused")},
                              {QStringLiteral("reason"), reason}});
    if (!close) return;
    const auto it = m_peers.find(socket);
    if (it != m_peers.end() && !it->refused) {
        // Closing: it no longer holds a place of its address, and says nothing more.
        it->refused = true;
        if (--m_perAddress[it->address] <= 0) m_perAddress.remove(it->address);
        socket->disconnect(this);
        connect(socket, &QWebSocket::disconnected, this, [this, socket]() { OnDisconnected(socket); });
    }
    socket->close(QWebSocketProtocol::CloseCodePolicyViolated, reason);
    CloseSoon(socket);
}

void EngineCore::OnBinary(QWebSocket* socket) {
    Refuse(socket, QStringLiteral("binary messages are not understood"), false);
}

void EngineCore::OnText(QWebSocket* socket, const QString& text) {
    auto it = m_peers.find(socket);
    if (it == m_peers.end() || it->refused) return;
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
    const QJsonValue nameValue = msg.value(QStringLiteral("name"));
    if (!nameValue.isUndefined() && !nameValue.isString()) {
        Refuse(socket, QStringLiteral("name must be text"), false);
        return;
    }
    const QString name = nameValue.toString();
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
    const QJsonValue passwordValue = msg.value(QStringLiteral("password"));
    if (!passwordValue.isUndefined() && !passwordValue.isNull() && !passwordValue.isString()) {
        Refuse(socket, QStringLiteral("password must be text"), false);
        return;
    }
    if (!CheckLogin(socket->peerAddress(), peer.address, name, passwordValue.toString(), &why)) {
        Refuse(socket, why, true);
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
    // Optional text fields: absent or null is empty, any other type is refused (never stored
    // as an empty value).
    for (const char* field : {"time", "kind", "text"}) {
        const QJsonValue v = msg.value(QLatin1String(field));
        if (!v.isUndefined() && !v.isNull() && !v.isString()) {
            Refuse(socket, QStringLiteral("%1 must be text").arg(QLatin1String(field)), false);
            return;
        }
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
        if (!MakeDayFolder(day, why)) return false;
        const QDir root(m_params.pathPic);
        relative = day + QLatin1Char('/') + now.toString(QStringLiteral("HHmmsszzz")) + QLatin1Char('-') +
                   QString::number(++m_pictureSeq) + QStringLiteral(".jpg");
        // Whole or not at all: a row never points to a missing or short picture.
        const LumoSaveResult saved =
            LumoSaveFileAtomic(QFile::encodeName(root.filePath(relative)).toStdString(), jpeg.constData(),
                               size_t(jpeg.size()), 0644);
        if (!saved.ok()) {
            *why = saved.code == LUMO_ERR_DISKFULL
                       ? QStringLiteral("picture not stored: the disk is full")
                       : QStringLiteral("picture not stored: ") + QString::fromStdString(saved.message);
            VantelDBG_Printf_f(0x7fff, 1, kLog, "%s", saved.message.c_str());
            m_markedDay.clear();  // the folder is looked at again next time
            return false;
        }
    }
    if (!m_insert) {
        // Prepared once: a statement compiled for every event costs as much as its insert.
        m_insert.reset(new QSqlQuery(QSqlDatabase::database(m_dbName, false)));
        if (!m_insert->prepare(
                QStringLiteral("INSERT INTO events (received, time, device, kind, text, picture) "
                               "VALUES (?, ?, ?, ?, ?, ?)"))) {
            *why = QStringLiteral("event not stored: ") + m_insert->lastError().text();
            m_insert.reset();
            if (!relative.isEmpty()) QFile::remove(QDir(m_params.pathPic).filePath(relative));
            return false;
        }
    }
    QSqlQuery& q = *m_insert;
    q.addBindValue(now.toString(Qt::ISODateWithMs));
    q.addBindValue(time);
    q.addBindValue(device);
    q.addBindValue(kind);
    q.addBindValue(text);
    q.addBindValue(relative);
    const bool inserted = q.exec();
    const qint64 rowId = inserted ? q.lastInsertId().toLongLong() : 0;
    q.finish();  // the statement is reset, so that it holds no read of the table between events
    if (!inserted) {
        *why = QStringLiteral("event not stored: ") + q.lastError().text();
        if (!relative.isEmpty()) QFile::remove(QDir(m_params.pathPic).filePath(relative));
        return false;
    }
    *id = rowId;
    ++m_rowCount;
    TrimEvents();
    return true;
}

qint64 EngineCore::TrimMargin() const {
    // Trimming in batches of about a hundredth of the limit (at most 1000 rows) spreads the
    // cost of a delete over many inserts; a small limit is kept exactly.
    return std::min<qint64>(1000, qint64(m_params.maxEventRows) / 100);
}

void EngineCore::TrimEvents() {
    const qint64 limit = qint64(m_params.maxEventRows);
    if (m_rowCount <= limit + TrimMargin()) return;
    const qint64 excess = m_rowCount - limit;
    QSqlDatabase db = QSqlDatabase::database(m_dbName, false);
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
    sel.finish();
    QSqlQuery del(db);
    del.prepare(QStringLiteral("DELETE FROM events WHERE id <= ?"));
    del.addBindValue(lastId);
    if (!del.exec()) {
        VantelDBG_Printf_f(0x7fff, 1, kLog, "old events not removed: %s",
                           qUtf8Printable(del.lastError().text()));
        return;
    }
    m_rowCount -= std::max(0, del.numRowsAffected());
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
    if (!peer.refused && --m_perAddress[peer.address] <= 0) m_perAddress.remove(peer.address);
    // A descriptor is free again.
    ResumeAccepting();
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
