// The management engine over loopback, with real secure WebSocket clients that trust only the
// certificate the engine exports.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
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

QTEST_MAIN(TestLumoSServer)
#include "tst_lumosserver.moc"
