// The management engine over loopback, with real secure WebSocket clients that trust only the
// certificate the engine exports.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QNetworkInterface>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QXmlStreamReader>
#include <QtTest>
#include <atomic>
#include <memory>
#include <sys/stat.h>
#include "testsupport.h"

#include "LumoSServer/LumoSServer.h"
#include "testsupport.h"

namespace {

const char kPassword[] = "s3cret-\xc3\xa4";

// Counts the engine's callbacks; called from the engine's thread.
class Observer : public CLumoObject {
public:
    Observer() : callback(this, &Observer::Handle) {}
    static int Handle(CLumoObject* owner, int code, void*, void* p1, void*) {
        auto* self = static_cast<Observer*>(owner);
        if (code == LUMOS_SIGNAL_CLIENTS) self->clientEvents++;
        if (code == LUMOS_SIGNAL_LOG && p1) {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->logs << QString::fromUtf8(static_cast<CLumoString*>(p1)->GetBuffer());
        }
        return 0;
    }
    QStringList Logs() {
        std::lock_guard<std::mutex> lock(mutex);
        return logs;
    }
    ILumoCallback callback;
    std::atomic<int> clientEvents{0};
    std::mutex mutex;
    QStringList logs;  // guarded by mutex
};

// A client socket with the replies it received and whether it is connected.
struct Client {
    std::unique_ptr<QWebSocket> ws{new QWebSocket};
    QList<QJsonObject> replies;
    bool connected = false;
    bool closed = false;
    QList<QSslError> sslErrors;
};

// A WebSocket client on a plain TLS socket, so that it can connect from a chosen local address
// (the engine tells peers apart by address). Text frames of any size, close frames, nothing else.
class RawClient {
public:
    RawClient(const QString& from, const QString& to, quint16 port) {
        m_sock.setPeerVerifyMode(QSslSocket::VerifyNone);
        QObject::connect(&m_sock, &QSslSocket::encrypted, [this, to, port] {
            m_sock.write(QStringLiteral("GET / HTTP/1.1\r\nHost: %1:%2\r\nUpgrade: websocket\r\n"
                                        "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                        "Sec-WebSocket-Version: 13\r\n\r\n")
                             .arg(to)
                             .arg(port)
                             .toLatin1());
        });
        QObject::connect(&m_sock, &QIODevice::readyRead, [this] { Parse(); });
        QObject::connect(&m_sock, &QAbstractSocket::disconnected, [this] { closed = true; });
        QObject::connect(&m_sock, &QAbstractSocket::errorOccurred,
                         [this](QAbstractSocket::SocketError) { closed = true; });
        bound = m_sock.bind(QHostAddress(from));
        m_sock.connectToHostEncrypted(to, port);
    }
    void Send(const QByteArray& text) {
        QByteArray frame(1, char(0x81));
        if (text.size() < 126) {
            frame += char(0x80 | text.size());
        } else {
            frame += char(0x80 | 126);
            frame += char((text.size() >> 8) & 0xff);
            frame += char(text.size() & 0xff);
        }
        const char mask[4] = {0x11, 0x22, 0x33, 0x44};
        frame.append(mask, 4);
        for (int i = 0; i < text.size(); ++i) frame += char(text[i] ^ mask[i % 4]);
        m_sock.write(frame);
    }
    void Login(const QString& account, const QString& password) {
        Send(QJsonDocument(QJsonObject{{"type", "login"}, {"account", account}, {"password", password}})
                 .toJson(QJsonDocument::Compact));
    }
    // The next reply, or an empty object when the connection ends (or nothing comes) first.
    QJsonObject Next(int ms = 10000) {
        if (!QTest::qWaitFor([&] { return !replies.isEmpty() || closed; }, ms) || replies.isEmpty()) return {};
        return replies.takeFirst();
    }
    bool bound = false;
    bool upgraded = false;
    bool closed = false;  // a close frame came, or the connection ended
    QList<QJsonObject> replies;

private:
    void Parse() {
        m_buf += m_sock.readAll();
        if (!upgraded) {
            const int end = m_buf.indexOf("\r\n\r\n");
            if (end < 0) return;
            upgraded = m_buf.startsWith("HTTP/1.1 101");
            m_buf.remove(0, end + 4);
            if (!upgraded) closed = true;
        }
        while (m_buf.size() >= 2) {
            const int opcode = m_buf[0] & 0x0f;
            qint64 len = m_buf[1] & 0x7f;
            int header = 2;
            if (len == 126) {
                if (m_buf.size() < 4) return;
                len = (quint8(m_buf[2]) << 8) | quint8(m_buf[3]);
                header = 4;
            } else if (len == 127) {
                return;  // the engine never sends that much
            }
            if (m_buf.size() < header + len) return;
            const QByteArray payload = m_buf.mid(header, int(len));
            m_buf.remove(0, header + int(len));
            if (opcode == 1) replies << QJsonDocument::fromJson(payload).object();
            if (opcode == 8) {
                closed = true;
                m_sock.disconnectFromHost();
            }
        }
    }
    QSslSocket m_sock;
    QByteArray m_buf;
};

// A route from an address of this machine that is not loopback to the engine: a second address
// when the machine has one, else a loopback address the engine is told is not local.
bool NonLocalCheck(const char* ip) {
    return QHostAddress(QString::fromUtf8(ip)).isLoopback() && qstrcmp(ip, "127.0.0.9") != 0;
}
void NonLocalRoute(QString* from, QString* to) {
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) {
            *from = *to = a.toString();
            LumoSSetLocalPeerCheck(nullptr);
            return;
        }
    }
    *from = QStringLiteral("127.0.0.9");
    *to = QStringLiteral("127.0.0.1");
    LumoSSetLocalPeerCheck(&NonLocalCheck);
}

}  // namespace

class TestLumoSServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void exportedCertificateIsTheOnePresented();
    void certificateAndKeyAreKept();
    void loginAndLogoutFollowTheClientList();
    void refusedLogins_data();
    void refusedLogins();
    void twoHundredClientsListedAndRemoved();
    void badMessagesAreRefusedOthersKeepWorking_data();
    void badMessagesAreRefusedOthersKeepWorking();
    void releasedOrUnknownHandleIsRefused();
    void portInUseAndRestart();
    void exportErrors();
    void fullDiskKeepsKeysAndExports();
    void passwordDecidesWhoMayLogIn_data();
    void guessingIsSlowedPerAddress();
    void idleConnectionsCannotHoldSlots_data();
    void idleConnectionsCannotHoldSlots();
    void passwordDecidesWhoMayLogIn();

private:
    std::unique_ptr<Client> Connect();
    QJsonObject Send(Client& c, const QJsonObject& msg);
    std::unique_ptr<Client> LoggedIn(const QString& account);
    int OnlineCount();

    QTemporaryDir m_dir;
    void* m_handle = nullptr;
    uint16_t m_port = 0;
    Observer m_observer;
    QSslCertificate m_pinned;
};

void TestLumoSServer::initTestCase() {
    QVERIFY(m_dir.isValid());
    LumoSInitialize();
    LumoSSetDataPath(m_dir.filePath("data").toUtf8().constData());
    LumoSSetDefaultPassword(kPassword);
    // Wrong passwords from this fixture's address must not slow the cases that follow; the
    // guessing case sets its own waits.
    LumoSLimits limits;
    limits.penaltyBaseMs = 0;
    QCOMPARE(LumoSSetLimits(limits), int(LUMO_OK));
    m_handle = LumoSCreateServer(0);
    QVERIFY(m_handle);
    QCOMPARE(LumoSStartServer(m_handle), int(LUMO_OK));
    m_port = LumoSBoundPort(m_handle);
    QVERIFY(m_port != 0);
    QCOMPARE(LumoSAttachServer(m_handle, &m_observer.callback, &ILumoCallback::OnSignal), int(LUMO_OK));

    // Clients trust only what the export wrote.
    const QString xmlPath = m_dir.filePath("K4525_LbCetification 20240101000000.xml");
    QCOMPARE(LumoSExportCertification(m_handle, QFile::encodeName(xmlPath).constData()), int(LUMO_OK));
    QFile xml(xmlPath);
    QVERIFY(xml.open(QIODevice::ReadOnly));
    QXmlStreamReader reader(&xml);
    QString pem;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("Certificate")) {
            QCOMPARE(reader.attributes().value("format").toString(), QString("PEM"));
            pem = reader.readElementText();
        }
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    const QList<QSslCertificate> certs = QSslCertificate::fromData(pem.toLatin1(), QSsl::Pem);
    QCOMPARE(certs.size(), 1);
    m_pinned = certs.first();
    QVERIFY(!m_pinned.isNull());
    QCOMPARE(QString::fromStdString(LumoSCertificatePem(m_handle)).trimmed(), pem.trimmed());
}

void TestLumoSServer::cleanupTestCase() {
    LumoSDetachServer(m_handle, &m_observer.callback, &ILumoCallback::OnSignal);
    LumoSReleaseServer(m_handle);
    LumoSInvalidate();
}

std::unique_ptr<Client> TestLumoSServer::Connect() {
    auto c = std::make_unique<Client>();
    QSslConfiguration cfg = QSslConfiguration::defaultConfiguration();
    cfg.setCaCertificates({m_pinned});
    cfg.setPeerVerifyMode(QSslSocket::VerifyPeer);
    c->ws->setSslConfiguration(cfg);
    Client* raw = c.get();
    QObject::connect(raw->ws.get(), &QWebSocket::connected, [raw] { raw->connected = true; });
    QObject::connect(raw->ws.get(), &QWebSocket::disconnected, [raw] { raw->closed = true; });
    QObject::connect(raw->ws.get(), QOverload<const QList<QSslError>&>::of(&QWebSocket::sslErrors),
                     [raw](const QList<QSslError>& e) { raw->sslErrors << e; });
    QObject::connect(raw->ws.get(), &QWebSocket::textMessageReceived, [raw](const QString& t) {
        raw->replies << QJsonDocument::fromJson(t.toUtf8()).object();
    });
    raw->ws->open(QUrl(QStringLiteral("wss://127.0.0.1:%1").arg(m_port)));
    return c;
}

QJsonObject TestLumoSServer::Send(Client& c, const QJsonObject& msg) {
    const int before = c.replies.size();
    c.ws->sendTextMessage(QString::fromUtf8(QJsonDocument(msg).toJson(QJsonDocument::Compact)));
    if (!QTest::qWaitFor([&] { return c.replies.size() > before || c.closed; }, 10000)) return {};
    return c.replies.size() > before ? c.replies.last() : QJsonObject();
}

std::unique_ptr<Client> TestLumoSServer::LoggedIn(const QString& account) {
    auto c = Connect();
    if (!QTest::qWaitFor([&] { return c->connected || c->closed; }, 10000) || !c->connected) return nullptr;
    QJsonObject r =
        Send(*c, {{"type", "login"}, {"account", account}, {"password", QString::fromUtf8(kPassword)}});
    return r.value("result").toInt(-1) == LUMO_OK ? std::move(c) : nullptr;
}

int TestLumoSServer::OnlineCount() {
    std::list<LumoSDTOClient> list{{"stale", "stale", ""}};  // cleared by the call
    if (LumoSOnlineClients(m_handle, list) != LUMO_OK) return -1;
    return static_cast<int>(list.size());
}

void TestLumoSServer::exportedCertificateIsTheOnePresented() {
    auto c = Connect();
    QTRY_VERIFY_WITH_TIMEOUT(c->connected || c->closed, 10000);
    QVERIFY2(c->connected, "the pinned certificate must verify the server");
    QVERIFY(c->sslErrors.isEmpty());
    QCOMPARE(c->ws->sslConfiguration().peerCertificate(), m_pinned);

    // A client pinning some other certificate refuses the server.
    QTemporaryDir other;
    LumoSSetDataPath(other.filePath("x").toUtf8().constData());
    void* h2 = LumoSCreateServer(0);
    const QByteArray otherPem = QByteArray::fromStdString(LumoSCertificatePem(h2));
    LumoSReleaseServer(h2);
    LumoSSetDataPath(m_dir.filePath("data").toUtf8().constData());
    QVERIFY(!otherPem.isEmpty());
    QVERIFY(QSslCertificate(otherPem) != m_pinned);
    Client stranger;
    QSslConfiguration cfg = QSslConfiguration::defaultConfiguration();
    cfg.setCaCertificates({QSslCertificate(otherPem)});
    cfg.setPeerVerifyMode(QSslSocket::VerifyPeer);
    stranger.ws->setSslConfiguration(cfg);
    bool gotErrors = false, connected = false;
    QObject::connect(stranger.ws.get(), QOverload<const QList<QSslError>&>::of(&QWebSocket::sslErrors),
                     [&](const QList<QSslError>&) { gotErrors = true; });
    QObject::connect(stranger.ws.get(), &QWebSocket::connected, [&] { connected = true; });
    stranger.ws->open(QUrl(QStringLiteral("wss://127.0.0.1:%1").arg(m_port)));
    QTRY_VERIFY_WITH_TIMEOUT(gotErrors, 10000);
    // The refused handshake ends the socket; only then is "never connected" known.
    QTRY_COMPARE_WITH_TIMEOUT(stranger.ws->state(), QAbstractSocket::UnconnectedState, 10000);
    QVERIFY(!connected);
}

void TestLumoSServer::certificateAndKeyAreKept() {
    const QString keyPath = m_dir.filePath("data/lumos_key.pem");
    QVERIFY(QFile::exists(keyPath));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(keyPath).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    // A second engine on the same data keeps the same identity (clients stay pinned).
    void* h2 = LumoSCreateServer(0);
    QCOMPARE(QSslCertificate(QByteArray::fromStdString(LumoSCertificatePem(h2))), m_pinned);
    LumoSReleaseServer(h2);
}

void TestLumoSServer::loginAndLogoutFollowTheClientList() {
    const int eventsBefore = m_observer.clientEvents;
    auto a = LoggedIn(QString::fromUtf8("操作员 a"));
    QVERIFY(a);
    auto b = LoggedIn("b");
    QVERIFY(b);
    std::list<LumoSDTOClient> list;
    QCOMPARE(LumoSOnlineClients(m_handle, list), int(LUMO_OK));
    QCOMPARE(int(list.size()), 2);
    QCOMPARE(QString::fromStdString(list.front().account), QString::fromUtf8("操作员 a"));
    QCOMPARE(QString::fromStdString(list.front().ip), QString("127.0.0.1"));
    QDateTime when = QDateTime::fromString(QString::fromStdString(list.front().loginTime), Qt::ISODate);
    QVERIFY(when.isValid());
    QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTime())) < 60);
    QTRY_COMPARE(m_observer.clientEvents - eventsBefore, 2);

    // Logging in twice on one connection is refused; the list keeps one row for it.
    QCOMPARE(Send(*a, {{"type", "login"}, {"account", "x"}, {"password", QString::fromUtf8(kPassword)}})
                 .value("result")
                 .toInt(),
             int(LUMO_ERR_STATE));
    QCOMPARE(OnlineCount(), 2);

    QCOMPARE(Send(*a, {{"type", "logout"}}).value("result").toInt(-1), int(LUMO_OK));
    QCOMPARE(OnlineCount(), 1);
    QCOMPARE(Send(*a, {{"type", "logout"}}).value("result").toInt(), int(LUMO_ERR_STATE));
    QTRY_COMPARE(m_observer.clientEvents - eventsBefore, 3);

    b->ws->close();
    QTRY_COMPARE(OnlineCount(), 0);
    QTRY_COMPARE(m_observer.clientEvents - eventsBefore, 4);
    const QStringList logs = m_observer.Logs();
    QVERIFY(logs.filter("logged in").size() >= 2);
    QVERIFY(!logs.filter("logged out").isEmpty());
    QVERIFY(!logs.filter("disconnected").isEmpty());
}

void TestLumoSServer::refusedLogins_data() {
    QTest::addColumn<QJsonObject>("message");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("closes");
    QTest::newRow("wrong password") << QJsonObject{{"type", "login"}, {"account", "a"}, {"password", "nope"}}
                                    << int(LUMO_ERR_REFUSED) << true;
    QTest::newRow("empty password") << QJsonObject{{"type", "login"}, {"account", "a"}, {"password", ""}}
                                    << int(LUMO_ERR_REFUSED) << true;
    QTest::newRow("password prefix") << QJsonObject{{"type", "login"},
                                                    {"account", "a"},
                                                    {"password", "s3cret"}}
                                     << int(LUMO_ERR_REFUSED) << true;
    QTest::newRow("no account") << QJsonObject{{"type", "login"}, {"password", QString::fromUtf8(kPassword)}}
                                << int(LUMO_ERR_PARAM) << false;
    QTest::newRow("number password") << QJsonObject{{"type", "login"}, {"account", "a"}, {"password", 5}}
                                     << int(LUMO_ERR_PARAM) << false;
    QTest::newRow("long account") << QJsonObject{{"type", "login"},
                                                 {"account", QString(200, 'a')},
                                                 {"password", QString::fromUtf8(kPassword)}}
                                  << int(LUMO_ERR_PARAM) << false;
}

void TestLumoSServer::refusedLogins() {
    QFETCH(QJsonObject, message);
    QFETCH(int, result);
    QFETCH(bool, closes);
    auto c = Connect();
    QTRY_VERIFY_WITH_TIMEOUT(c->connected, 10000);
    QCOMPARE(Send(*c, message).value("result").toInt(), result);
    QCOMPARE(OnlineCount(), 0);
    if (closes) {
        QTRY_VERIFY_WITH_TIMEOUT(c->closed, 5000);
    } else {
        QTest::qWait(700);  // longer than the refusal's close delay
        QVERIFY(!c->closed);
    }
}

void TestLumoSServer::twoHundredClientsListedAndRemoved() {
    // Many clients of one address connect at once here, before any has logged in.
    const LumoSLimits saved = LumoSGetLimits();
    LumoSLimits many = saved;
    many.maxPendingPerAddress = 256;
    QCOMPARE(LumoSSetLimits(many), int(LUMO_OK));
    auto restore = qScopeGuard([&] { LumoSSetLimits(saved); });
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 200; ++i) clients.push_back(Connect());
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(clients.begin(), clients.end(), [](auto& c) { return c->connected; }), 60000);
    for (int i = 0; i < 200; ++i)
        clients[i]->ws->sendTextMessage(
            QStringLiteral("{\"type\":\"login\",\"account\":\"c%1\",\"password\":\"%2\"}")
                .arg(i)
                .arg(QString::fromUtf8(kPassword)));
    QTRY_COMPARE_WITH_TIMEOUT(OnlineCount(), 200, 30000);
    std::list<LumoSDTOClient> list;
    LumoSOnlineClients(m_handle, list);
    QSet<QString> accounts;
    for (const auto& c : list) accounts.insert(QString::fromStdString(c.account));
    QCOMPARE(accounts.size(), 200);
    // Half close cleanly, half just drop the connection.
    for (int i = 0; i < 200; ++i) {
        if (i % 2)
            clients[i]->ws->close();
        else
            clients[i]->ws->abort();
    }
    QTRY_COMPARE_WITH_TIMEOUT(OnlineCount(), 0, 30000);
}

void TestLumoSServer::badMessagesAreRefusedOthersKeepWorking_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("binary");
    QTest::addColumn<bool>("closes");
    QTest::newRow("not json") << QByteArray("hello") << false << false;
    QTest::newRow("array") << QByteArray("[1,2]") << false << false;
    QTest::newRow("no type") << QByteArray("{\"account\":\"a\"}") << false << false;
    QTest::newRow("type not text") << QByteArray("{\"type\":5}") << false << false;
    QTest::newRow("unknown type") << QByteArray("{\"type\":\"format\"}") << false << false;
    QTest::newRow("truncated") << QByteArray("{\"type\":\"login\",\"acc") << false << false;
    QTest::newRow("binary") << QByteArray("\x00\x01\x02", 3) << true << false;
    QTest::newRow("oversized") << ("{\"type\":\"login\",\"account\":\"" +
                                   QByteArray(LUMOS_MAX_MESSAGE_BYTES, 'a') + "\"}")
                               << false << true;
}

void TestLumoSServer::badMessagesAreRefusedOthersKeepWorking() {
    QFETCH(QByteArray, payload);
    QFETCH(bool, binary);
    QFETCH(bool, closes);
    auto good = LoggedIn("good");
    QVERIFY(good);
    auto bad = Connect();
    QTRY_VERIFY_WITH_TIMEOUT(bad->connected, 10000);
    if (binary)
        bad->ws->sendBinaryMessage(payload);
    else
        bad->ws->sendTextMessage(QString::fromUtf8(payload));
    if (closes) {
        QTRY_VERIFY_WITH_TIMEOUT(bad->closed, 10000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!bad->replies.isEmpty(), 10000);
        QVERIFY(bad->replies.last().value("result").toInt() < 0);
        QVERIFY(!bad->closed);
        // The same connection can still log in afterwards.
        QCOMPARE(
            Send(*bad, {{"type", "login"}, {"account", "late"}, {"password", QString::fromUtf8(kPassword)}})
                .value("result")
                .toInt(-1),
            int(LUMO_OK));
    }
    QCOMPARE(OnlineCount(), closes ? 1 : 2);
    QCOMPARE(Send(*good, {{"type", "logout"}}).value("result").toInt(-1), int(LUMO_OK));
    good.reset();
    bad.reset();
    QTRY_COMPARE(OnlineCount(), 0);
}

void TestLumoSServer::releasedOrUnknownHandleIsRefused() {
    void* h = LumoSCreateServer(0);
    QCOMPARE(LumoSStartServer(h), int(LUMO_OK));
    QCOMPARE(LumoSStartServer(h), int(LUMO_ERR_STATE));
    QCOMPARE(LumoSStopServer(h), int(LUMO_OK));
    QCOMPARE(LumoSReleaseServer(h), int(LUMO_OK));
    std::list<LumoSDTOClient> list;
    const QByteArray path = QFile::encodeName(m_dir.filePath("after-release.xml"));
    QCOMPARE(LumoSStopServer(h), int(LUMO_ERR_PARAM));
    QCOMPARE(LumoSReleaseServer(h), int(LUMO_ERR_PARAM));
    QCOMPARE(LumoSStartServer(h), int(LUMO_ERR_PARAM));
    QCOMPARE(LumoSOnlineClients(h, list), int(LUMO_ERR_PARAM));
    QCOMPARE(LumoSExportCertification(h, path.constData()), int(LUMO_ERR_PARAM));
    QVERIFY(!QFile::exists(QFile::decodeName(path)));
    QCOMPARE(LumoSAttachServer(h, &m_observer.callback, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
    QCOMPARE(LumoSStopServer(nullptr), int(LUMO_ERR_PARAM));
    // A new engine never takes over an old handle.
    void* h2 = LumoSCreateServer(0);
    QVERIFY(h2 != h);
    LumoSReleaseServer(h2);
}

void TestLumoSServer::portInUseAndRestart() {
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::Any, vt::ReservePort()));
    void* h = LumoSCreateServer(taken.serverPort());
    QCOMPARE(LumoSStartServer(h), int(LUMO_ERR_BIND));
    QCOMPARE(LumoSBoundPort(h), uint16_t(0));
    taken.close();
    QCOMPARE(LumoSStartServer(h), int(LUMO_OK));
    QVERIFY(LumoSBoundPort(h) != 0);
    QCOMPARE(LumoSReleaseServer(h), int(LUMO_OK));
}

void TestLumoSServer::exportErrors() {
    QCOMPARE(LumoSExportCertification(m_handle, ""), int(LUMO_ERR_PARAM));
    QCOMPARE(LumoSExportCertification(m_handle, nullptr), int(LUMO_ERR_PARAM));
    const QByteArray missing = QFile::encodeName(m_dir.filePath("no/such/folder/c.xml"));
    QCOMPARE(LumoSExportCertification(m_handle, missing.constData()), int(LUMO_ERR_WRITE));
}

void TestLumoSServer::passwordDecidesWhoMayLogIn_data() {
    QTest::addColumn<QString>("password");  // "<unusable>": LumoSRefusePasswordLogins
    QTest::addColumn<bool>("fromElsewhere");
    QTest::addColumn<QString>("tried");
    QTest::addColumn<int>("result");  // 1: the connection is closed before any reply
    QTest::addColumn<QString>("logged");
    QTest::newRow("no password, this machine") << "" << false << "" << int(LUMO_OK) << "logged in";
    QTest::newRow("no password, elsewhere") << "" << true << "" << 1 << "no password is set";
    QTest::newRow("password, elsewhere") << "pw" << true << "pw" << int(LUMO_OK) << "logged in";
    QTest::newRow("password, elsewhere, empty tried")
        << "pw" << true << "" << int(LUMO_ERR_REFUSED) << "wrong account or password";
    QTest::newRow("unusable, empty tried")
        << "<unusable>" << false << "" << int(LUMO_ERR_REFUSED) << "no usable password";
    QTest::newRow("unusable, old password tried")
        << "<unusable>" << false << QString::fromUtf8(kPassword) << int(LUMO_ERR_REFUSED) << "no usable password";
}

void TestLumoSServer::passwordDecidesWhoMayLogIn() {
    QFETCH(QString, password);
    QFETCH(bool, fromElsewhere);
    QFETCH(QString, tried);
    QFETCH(int, result);
    QFETCH(QString, logged);
    QString from = QStringLiteral("127.0.0.1"), to = from;
    if (fromElsewhere) NonLocalRoute(&from, &to);
    if (password == QLatin1String("<unusable>"))
        LumoSRefusePasswordLogins();
    else
        LumoSSetDefaultPassword(password.toUtf8().constData());
    const int logsBefore = m_observer.Logs().size();
    RawClient c(from, to, m_port);
    QVERIFY(c.bound);
    QVERIFY(QTest::qWaitFor([&] { return c.upgraded || c.closed; }, 10000));
    if (result == 1) {
        // Refused before a login is even read.
        QTRY_VERIFY_WITH_TIMEOUT(c.closed, 10000);
        c.Login("a", tried);
        QTest::qWait(100);
        QVERIFY(c.replies.isEmpty());
    } else {
        QVERIFY(c.upgraded);
        c.Login("a", tried);
        QCOMPARE(c.Next().value("result").toInt(-1), result);
        if (result != LUMO_OK) QTRY_VERIFY_WITH_TIMEOUT(c.closed, 10000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!m_observer.Logs().mid(logsBefore).filter(logged).isEmpty(), 10000);
    QTRY_COMPARE(OnlineCount(), result == LUMO_OK ? 1 : 0);
    LumoSSetLocalPeerCheck(nullptr);
    LumoSSetDefaultPassword(kPassword);
    if (result == LUMO_OK) {
        c.Send("{\"type\":\"logout\"}");
        QCOMPARE(c.Next().value("result").toInt(-1), int(LUMO_OK));
    }
    QCOMPARE(OnlineCount(), 0);
}

// One login try on a connection of its own from that address: the reply's result and error.
static QJsonObject TryLogin(const QString& from, quint16 port, const QString& password) {
    RawClient c(from, QStringLiteral("127.0.0.1"), port);
    if (!QTest::qWaitFor([&] { return c.upgraded || c.closed; }, 10000) || !c.upgraded) return {};
    c.Login(QStringLiteral("guess"), password);
    return c.Next();
}

void TestLumoSServer::guessingIsSlowedPerAddress() {
    const LumoSLimits saved = LumoSGetLimits();
    LumoSLimits limits = saved;
    limits.penaltyBaseMs = 60000;
    limits.penaltyMaxMs = 60000;
    QCOMPARE(LumoSSetLimits(limits), int(LUMO_OK));
    auto good = LoggedIn("good");
    QVERIFY(good);
    const int logsBefore = m_observer.Logs().size();

    // A burst of guesses from one address: only the first is checked, the rest (the right password
    // too) are refused unchecked until the penalty ends, each one logged.
    const QString guesser = QStringLiteral("127.0.0.3");
    QCOMPARE(TryLogin(guesser, m_port, "guess 0").value("error").toString(), QString("wrong account or password"));
    const int tries = 12;
    for (int i = 1; i < tries; ++i) {
        const QJsonObject r = TryLogin(guesser, m_port, i == tries - 1 ? QString::fromUtf8(kPassword) : "guess");
        QCOMPARE(r.value("result").toInt(), int(LUMO_ERR_REFUSED));
        QVERIFY2(r.value("error").toString().contains("try again"), qPrintable(r.value("error").toString()));
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_observer.Logs().mid(logsBefore).filter("from 127.0.0.3 refused").size(), tries,
                              10000);
    QCOMPARE(OnlineCount(), 1);
    // Other addresses are not slowed, and the logged-in client is still served.
    QCOMPARE(TryLogin("127.0.0.4", m_port, QString::fromUtf8(kPassword)).value("result").toInt(-1), int(LUMO_OK));
    QCOMPARE(Send(*good, {{"type", "logout"}}).value("result").toInt(-1), int(LUMO_OK));

    // A short penalty ends by itself: the right password is then taken again.
    limits.penaltyBaseMs = 300;
    QCOMPARE(LumoSSetLimits(limits), int(LUMO_OK));
    const QString typo = QStringLiteral("127.0.0.5");
    QCOMPARE(TryLogin(typo, m_port, "typo").value("result").toInt(), int(LUMO_ERR_REFUSED));
    QVERIFY(QTest::qWaitFor(
        [&] { return TryLogin(typo, m_port, QString::fromUtf8(kPassword)).value("result").toInt(-1) == LUMO_OK; },
        20000));
    LumoSSetLimits(saved);
    QTRY_COMPARE_WITH_TIMEOUT(OnlineCount(), 0, 10000);
}

void TestLumoSServer::idleConnectionsCannotHoldSlots_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("connections");
    QTest::addColumn<bool>("logInAndOut");  // each logs in, then out (its first login timer still runs)
    QTest::addColumn<int>("loginTimeoutMs");
    QTest::addColumn<int>("open");  // connections left open in the end
    QTest::addColumn<QString>("logged");
    QTest::addColumn<int>("logLines");
    QTest::newRow("idle flood past the per-address cap")
        << "127.0.0.6" << 10 << false << 60000 << 4 << "connection from 127.0.0.6 refused" << 6;
    QTest::newRow("idle ones closed after the login timeout")
        << "127.0.0.7" << 3 << false << 300 << 0 << "127.0.0.7 closed: not logged in" << 3;
    QTest::newRow("logging out frees the slot")
        << "127.0.0.8" << 3 << true << 300 << 0 << "127.0.0.8 closed: not logged in" << 3;
}

void TestLumoSServer::idleConnectionsCannotHoldSlots() {
    QFETCH(QString, from);
    QFETCH(int, connections);
    QFETCH(bool, logInAndOut);
    QFETCH(int, loginTimeoutMs);
    QFETCH(int, open);
    QFETCH(QString, logged);
    QFETCH(int, logLines);
    auto good = LoggedIn("good");
    QVERIFY(good);
    const LumoSLimits saved = LumoSGetLimits();
    auto restore = qScopeGuard([&] { LumoSSetLimits(saved); });
    LumoSLimits limits = saved;
    limits.maxPendingPerAddress = 4;
    // Logging in must not race the short timeout: it applies from the logout on.
    limits.loginTimeoutMs = logInAndOut ? 60000 : loginTimeoutMs;
    QCOMPARE(LumoSSetLimits(limits), int(LUMO_OK));
    const int logsBefore = m_observer.Logs().size();

    std::vector<std::unique_ptr<RawClient>> peers;
    for (int i = 0; i < connections; ++i) {
        peers.push_back(std::make_unique<RawClient>(from, QStringLiteral("127.0.0.1"), m_port));
        QVERIFY(peers.back()->bound);
        // One at a time, so that the engine sees them in order.
        QVERIFY(QTest::qWaitFor([&] { return peers.back()->upgraded || peers.back()->closed; }, 10000));
    }
    if (logInAndOut) {
        for (auto& p : peers) {
            p->Login("later", QString::fromUtf8(kPassword));
            QCOMPARE(p->Next().value("result").toInt(-1), int(LUMO_OK));
        }
        limits.loginTimeoutMs = loginTimeoutMs;
        QCOMPARE(LumoSSetLimits(limits), int(LUMO_OK));
        for (auto& p : peers) {
            p->Send("{\"type\":\"logout\"}");
            QCOMPARE(p->Next().value("result").toInt(-1), int(LUMO_OK));
        }
    }
    auto closedCount = [&] {
        return int(std::count_if(peers.begin(), peers.end(), [](auto& p) { return p->closed; }));
    };
    QTRY_COMPARE_WITH_TIMEOUT(closedCount(), connections - open, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(m_observer.Logs().mid(logsBefore).filter(logged).size(), logLines, 10000);
    LumoSSetLimits(saved);

    // Served alongside: the logged-in client, and a new client of another address.
    QCOMPARE(Send(*good, {{"type", "logout"}}).value("result").toInt(-1), int(LUMO_OK));
    QCOMPARE(Send(*good, {{"type", "login"}, {"account", "again"}, {"password", QString::fromUtf8(kPassword)}})
                 .value("result")
                 .toInt(-1),
             int(LUMO_OK));
    auto fresh = LoggedIn("fresh");
    QVERIFY(fresh);
    QCOMPARE(closedCount(), connections - open);
    peers.clear();
    good.reset();
    fresh.reset();
    QTRY_COMPARE_WITH_TIMEOUT(OnlineCount(), 0, 10000);
}

// A full disk never replaces a good file with an empty one: the export fails as such and keeps
// the old export; a key pair that cannot be written fails the start instead of leaving an empty key
// (which would make a new identity, refused by every pinned client, at the next start).
void TestLumoSServer::fullDiskKeepsKeysAndExports() {
    vt::SmallTmpfs disk;
    QString why;
    VT_REQUIRE(disk.Mount(256 * 1024, &why), why);
    const QByteArray xml = QFile::encodeName(disk.filePath("cert.xml"));
    QCOMPARE(LumoSExportCertification(m_handle, xml.constData()), int(LUMO_OK));
    QFile f(QFile::decodeName(xml));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    QVERIFY(good.contains("BEGIN CERTIFICATE"));
    // A data folder whose certificate is gone: the pair is made again, on a disk that is full.
    const QString data = disk.filePath("data");
    LumoSSetDataPath(data.toUtf8().constData());
    void* made = LumoSCreateServer(0);
    QVERIFY(!LumoSCertificatePem(made).empty());
    LumoSReleaseServer(made);
    QFile keyFile(data + "/lumos_key.pem");
    QVERIFY(keyFile.open(QIODevice::ReadOnly));
    const QByteArray key = keyFile.readAll();
    keyFile.close();
    QVERIFY(QFile::remove(data + "/lumos_cert.pem"));
    QVERIFY(disk.Fill());

    QCOMPARE(LumoSExportCertification(m_handle, xml.constData()), int(LUMO_ERR_DISKFULL));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), good);
    f.close();

    void* h = LumoSCreateServer(0);
    LumoSSetDataPath(m_dir.filePath("data").toUtf8().constData());
    QCOMPARE(LumoSStartServer(h), int(LUMO_ERR_FAIL));
    LumoSReleaseServer(h);
    QVERIFY(keyFile.open(QIODevice::ReadOnly));
    QCOMPARE(keyFile.readAll(), key);
    QVERIFY(!QFile::exists(data + "/lumos_cert.pem"));
}

QTEST_MAIN(TestLumoSServer)
#include "tst_lumosserver.moc"
