// The management engine and console with many clients, against a bare secure WebSocket server in
// the same run:
//   ours:      N clients open, log in, and the console's client list (VantelServer's maintenance
//              page) shows all N rows; time from the first open to the last row.
//   reference: a QWebSocketServer in secure mode with the same EC key and certificate on a thread
//              of its own, answering each login; time from the first open to the last answer.
// Both are driven by the same clients on a thread of their own. Goal: ours at most 1.5 times the
// reference (median of the runs). The console's own CPU (the GUI thread) is reported as well, for
// 200 and for N clients: it should grow with the clients, not with their square.
// Exit status 1 when the goal is missed, 2 when the bench cannot run.
//
//   bench_mgmt [clients] [runs]      (default 1000 clients, 5 runs)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QResource>
#include <QSettings>
#include <QSslConfiguration>
#include <QSslKey>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QThread>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "LumoSServer/LumoSServer.h"
#include "VantelInfraAPI/testseams.h"
#include "engineholder.h"
#include "pgconfig.h"
#include "pgmaintain.h"
#include "serverdata.h"
#include "testsupport.h"
#include "vantelserver.h"

namespace {

const char kPassword[] = "bench-pw";
const double kGoal = 1.5;

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The clients, on a thread of their own: each opens, logs in on connect and counts the answer.
class Clients : public QObject {
    Q_OBJECT
public:
    std::atomic<int> answered{0};
    std::atomic<int> failed{0};

public slots:
    // At most kInFlight clients are between their open and their answer at any time (a crowd
    // logging in, not a flood of handshakes that time out).
    void Open(int port, int count) {
        m_closing = false;
        m_port = port;
        m_count = count;
        m_opened = 0;
        for (int i = 0; i < kInFlight && m_opened < m_count; ++i) OpenNext();
    }
    void CloseAll() {
        m_closing = true;
        for (QWebSocket* ws : m_sockets) {
            ws->disconnect(this);
            ws->abort();
            delete ws;
        }
        m_sockets.clear();
    }

private:
    static const int kInFlight = 64;
    void OpenNext() {
        const int i = m_opened++;
        QSslConfiguration cfg = QSslConfiguration::defaultConfiguration();
        cfg.setPeerVerifyMode(QSslSocket::VerifyNone);
        auto* ws = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
        ws->setSslConfiguration(cfg);
        auto done = std::make_shared<bool>(false);
        connect(ws, &QWebSocket::connected, ws, [ws, i] {
            ws->sendTextMessage(QStringLiteral("{\"type\":\"login\",\"account\":\"c%1\",\"password\":\"%2\"}")
                                    .arg(i)
                                    .arg(QLatin1String(kPassword)));
        });
        connect(ws, &QWebSocket::textMessageReceived, ws, [this, done](const QString& text) {
            if (*done) return;
            *done = true;
            if (QJsonDocument::fromJson(text.toUtf8()).object().value("result").toInt(-1) == 0)
                ++answered;
            else if (++failed == 1)
                fprintf(stderr, "a client was refused: %s\n", qPrintable(text));
            if (m_opened < m_count) OpenNext();
        });
        connect(ws, &QWebSocket::disconnected, ws, [this, ws, done] {
            if (*done || m_closing) return;
            *done = true;
            if (++failed == 1)
                fprintf(stderr, "client %d of %d was closed before its answer (%d answered): %s %d\n", m_opened, m_count,
                        int(answered), qPrintable(ws->errorString()), int(ws->closeCode()));
        });
        m_sockets.push_back(ws);
        ws->open(QUrl(QStringLiteral("wss://127.0.0.1:%1").arg(m_port)));
    }
    std::vector<QWebSocket*> m_sockets;
    int m_port = 0;
    int m_count = 0;
    int m_opened = 0;
    bool m_closing = false;
};

// The reference: a bare secure WebSocket server answering every login, on a thread of its own.
class Reference : public QObject {
    Q_OBJECT
public:
    std::atomic<int> port{0};
public slots:
    void Start(const QByteArray& keyPem, const QByteArray& certPem) {
        m_server = new QWebSocketServer(QStringLiteral("reference"), QWebSocketServer::SecureMode, this);
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setPrivateKey(QSslKey(keyPem, QSsl::Ec, QSsl::Pem));
        ssl.setLocalCertificate(QSslCertificate(certPem, QSsl::Pem));
        ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
        ssl.setProtocol(QSsl::TlsV1_2OrLater);
        m_server->setSslConfiguration(ssl);
        m_server->setMaxPendingConnections(512);
        connect(m_server, &QWebSocketServer::newConnection, this, [this] {
            while (QWebSocket* s = m_server->nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QWebSocket::textMessageReceived, s, [s](const QString&) {
                    s->sendTextMessage(QStringLiteral("{\"type\":\"login\",\"result\":0}"));
                });
                connect(s, &QWebSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        port = m_server->listen(QHostAddress::Any, 0) ? m_server->serverPort() : -1;
    }
    void Stop() {
        delete m_server;
        m_server = nullptr;
        qDeleteAll(findChildren<QWebSocket*>());
    }

private:
    QWebSocketServer* m_server = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? atoi(argv[1]) : 1000;
    const int runs = argc > 2 ? atoi(argv[2]) : 5;
    QTemporaryDir dir;
    const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    if (!dir.isValid() || !QResource::registerResource(bin + "/vantelres.xdll")) {
        fprintf(stderr, "cannot run: no temporary folder or no %s\n", qPrintable(bin + "/vantelres.xdll"));
        return 2;
    }
    qputenv("HOME", dir.filePath("home").toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    INFRA::TestSeams::SetScriptedReply("yes");
    INFRA::TestSeams::SetProgramDir(bin);
    ServerDataStore::UseSettingsFile(dir.filePath("VantelServer.ini"));
    {
        QSettings s(ServerDataStore::SettingsFile(), QSettings::IniFormat);
        s.setValue("PgConfigData/port", vt::ReservePort());
    }
    LumoSInitialize();
    LumoSSetDataPath(dir.filePath("engine").toUtf8().constData());
    LumoSSetDefaultPassword(kPassword);
    LumoSSetSupportManyDevices(true);
    LumoSLimits limits;
    limits.maxPendingPerAddress = n;  // every client comes from this machine, all at once
    LumoSSetLimits(limits);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
        if (type != QtDebugMsg && type != QtInfoMsg) fprintf(stderr, "%s\n", qPrintable(m));
    });

    auto* window = new VantelServer(nullptr, nullptr);
    auto* config = static_cast<PgConfig*>(window->Page(VantelServer::PageConfig));
    auto* maintain = static_cast<PgMaintain*>(window->Page(VantelServer::PageMaintain));
    QStandardItemModel* model = maintain->ClientModel();

    QThread clientThread, referenceThread;
    Clients clients;
    Reference reference;
    clients.moveToThread(&clientThread);
    reference.moveToThread(&referenceThread);
    clientThread.start();
    referenceThread.start();

    auto startEngine = [&]() -> int {
        if (!EngineHolder::IsRunning()) config->OnBtnStopStartServerClicked();  // the window starts it too
        return EngineHolder::IsRunning() ? LumoSBoundPort(EngineHolder::Handle()) : 0;
    };
    auto stopEngine = [&] {
        if (EngineHolder::IsRunning()) config->OnBtnStopStartServerClicked();  // a scripted "yes" confirms
        WaitFor([&] { return !EngineHolder::IsRunning(); }, 10000);
    };

    // ours: until the console lists every client. Returns wall seconds, *cpu the GUI thread's CPU.
    auto runOurs = [&](int count, double* cpu) -> double {
        const int port = startEngine();
        if (port <= 0) {
            fprintf(stderr, "the engine did not start\n");
            return -1;
        }
        clients.answered = 0;
        clients.failed = 0;
        const double cpu0 = ThreadCpuSeconds();
        QElapsedTimer t;
        t.start();
        QMetaObject::invokeMethod(&clients, [&, port, count] { clients.Open(port, count); });
        const bool ok = WaitFor([&] { return model->rowCount() == count || clients.failed > 0; }, 120000) &&
                        model->rowCount() == count;
        const double wall = t.nsecsElapsed() / 1e9;
        *cpu = ThreadCpuSeconds() - cpu0;
        QMetaObject::invokeMethod(&clients, [&] { clients.CloseAll(); }, Qt::BlockingQueuedConnection);
        WaitFor([&] { return model->rowCount() == 0; }, 60000);
        stopEngine();
        return ok ? wall : -1;
    };

    // Same key and certificate as the engine's.
    QFile keyFile(dir.filePath("engine/lumos_key.pem")), certFile(dir.filePath("engine/lumos_cert.pem"));
    void* probe = LumoSCreateServer(0);
    LumoSCertificatePem(probe);  // makes the pair
    LumoSReleaseServer(probe);
    if (!keyFile.open(QIODevice::ReadOnly) || !certFile.open(QIODevice::ReadOnly)) {
        fprintf(stderr, "cannot run: no key pair\n");
        return 2;
    }
    const QByteArray keyPem = keyFile.readAll(), certPem = certFile.readAll();
    QMetaObject::invokeMethod(&reference, [&] { reference.Start(keyPem, certPem); }, Qt::BlockingQueuedConnection);
    if (reference.port <= 0) {
        fprintf(stderr, "cannot run: the reference server cannot listen\n");
        return 2;
    }
    auto runReference = [&](int count) -> double {
        clients.answered = 0;
        clients.failed = 0;
        QElapsedTimer t;
        t.start();
        const int port = reference.port;
        QMetaObject::invokeMethod(&clients, [&, port, count] { clients.Open(port, count); });
        const bool ok = WaitFor([&] { return clients.answered + clients.failed >= count || clients.failed > 0; }, 300000) &&
                        clients.answered == count;
        const double wall = t.nsecsElapsed() / 1e9;
        QMetaObject::invokeMethod(&clients, [&] { clients.CloseAll(); }, Qt::BlockingQueuedConnection);
        return ok ? wall : -1;
    };

    auto finish = [&](int code) {
        QMetaObject::invokeMethod(&reference, [&] { reference.Stop(); }, Qt::BlockingQueuedConnection);
        QMetaObject::invokeMethod(&clients, [&] { clients.CloseAll(); }, Qt::BlockingQueuedConnection);
        clientThread.quit();
        referenceThread.quit();
        clientThread.wait();
        referenceThread.wait();
        delete window;
        LumoSInvalidate();
        return code;
    };

    // The console's CPU for a smaller crowd, to see how it grows.
    double cpuSmall = 0, cpuLarge = 0;
    runReference(50);  // warm-up
    if (runOurs(200, &cpuSmall) < 0) {
        fprintf(stderr, "200 clients were not all listed\n");
        return finish(1);
    }
    std::vector<double> ours, ref, cpu;
    for (int r = 0; r < runs; ++r) {
        const double a = runReference(n);
        const double b = runOurs(n, &cpuLarge);
        if (a < 0 || b < 0) {
            fprintf(stderr, "run %d: not every client was served (reference %.3f s, ours %.3f s)\n", r, a, b);
            return finish(1);
        }
        ref.push_back(a);
        ours.push_back(b);
        cpu.push_back(cpuLarge);
        printf("run %d: reference %.3f s, ours (listed in the console) %.3f s, console CPU %.3f s\n", r, a, b,
               cpuLarge);
        fflush(stdout);
    }
    const double ratio = Median(ours) / Median(ref);
    printf("%d clients: reference %.3f s, ours %.3f s (median of %d): ratio %.2f (goal <= %.1f)\n", n,
           Median(ref), Median(ours), runs, ratio, kGoal);
    printf("console CPU: 200 clients %.3f s, %d clients %.3f s (x%.1f for x%.1f clients)\n", cpuSmall, n,
           Median(cpu), Median(cpu) / std::max(cpuSmall, 1e-6), n / 200.0);

    return finish(ratio <= kGoal ? 0 : 1);
}

#include "bench_mgmt.moc"
