// A stream played from a real RTSP server (tests/e2e/rtsp_server.py over GStreamer): the login
// event reports success and pictures reach the window; a closed port reports a failed login; a
// server that goes away while it plays reports the stream lost, a stop by the caller does not.
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <mutex>
#include "testsupport.h"

#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "mediafixture.h"

using namespace mediafixture;

namespace {

const char* const kPython = "/usr/bin/python3";

struct LoginLog : CLumoObject {
    std::mutex m;  // guards the lists: events come on the player's thread
    QList<int> loginResults;
    QStringList loginUrls;
    QList<int> codes;
    QStringList lostUrls;
    QList<int> lostResults;
};

int OnPlayerEvent(CLumoObject* owner, int code, void*, void* p1, void*) {
    auto* log = static_cast<LoginLog*>(owner);
    std::lock_guard<std::mutex> lock(log->m);
    log->codes << code;
    if (code == LUMO_EVENT_LOGIN && p1) {
        const auto* login = static_cast<const LumoLoginEvent*>(p1);
        log->loginResults << login->result;
        log->loginUrls << QString::fromUtf8(login->url);
    } else if (code == LUMO_EVENT_STREAM_LOST && p1) {
        const auto* lost = static_cast<const LumoStreamLostEvent*>(p1);
        log->lostUrls << QString::fromUtf8(lost->url);
        log->lostResults << lost->result;
    }
    return 0;
}

// Opens url on player, starts it and waits for its one login report; the result, or 1 when none came.
int OpenAndLogin(void* player, LoginLog* log, const QString& url) {
    if (LumoPlayerOpen(player, url.toUtf8().constData(), 0) != 0 || LumoPlayerStart(player) != 0) return 1;
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        {
            std::lock_guard<std::mutex> lock(log->m);
            if (!log->loginResults.isEmpty()) return log->loginResults.first();
        }
        QTest::qWait(20);
    }
    return 1;
}

// A stream player whose events go to its log: over a shown window, or without one.
struct StreamPlayer {
    INFRA::VideoWindow window;
    void* player = nullptr;
    LoginLog log;
    ILumoCallback callback{&log, &OnPlayerEvent};

    bool Create(bool withWindow) {
        if (withWindow) {
            window.resize(320, 240);
            window.show();
            if (!QTest::qWaitForWindowExposed(&window)) return false;
        }
        return LumoPlayerCreate(&player, withWindow ? &window : nullptr, nullptr) == 0 &&
               LumoPlayerAttachStream(player, &callback, &ILumoCallback::OnSignal) == 0;
    }
};

}  // namespace

class TestRtspStream : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void streamPlays();
    void closedPortFailsTheLogin();
    void goneServerLosesTheStream();

private:
    bool StartServer(const QString& mount, int* port);

    QTemporaryDir m_dir;
    QString m_stream;
    QProcess m_server;
};

void TestRtspStream::initTestCase() {
    QVERIFY(m_dir.isValid());
    QProcess probe;
    probe.start(kPython, {"-c",
                          "import gi\n"
                          "gi.require_version('Gst', '1.0')\n"
                          "gi.require_version('GstRtspServer', '1.0')\n"
                          "from gi.repository import Gst, GstRtspServer\n"});
    VT_REQUIRE(probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0,
               "/usr/bin/python3 cannot import GstRtspServer: install python3-gi and "
               "gir1.2-gst-rtsp-server-1.0 (scripts/setup.sh does)");
    VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the stream");
    m_stream = m_dir.filePath("stream.ts");
    QVERIFY(Ffmpeg(Source(20, "320x240", 25, false) + H264(25) + QStringList{"-f", "mpegts"}, m_stream));
}

void TestRtspStream::cleanupTestCase() {
    if (m_server.state() == QProcess::NotRunning) return;
    m_server.terminate();
    if (!m_server.waitForFinished(10000)) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
}

// Starts the server on a port of its choice; true with *port once it listens.
bool TestRtspStream::StartServer(const QString& mount, int* port) {
    const QString script = qEnvironmentVariable("VANTEL_SOURCE_DIR") + "/tests/e2e/rtsp_server.py";
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(kPython, {script, m_stream, "--port", "0", "--mount", mount});
    if (!m_server.waitForStarted(10000)) return false;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000) {
        while (m_server.canReadLine()) {
            const QByteArray line = m_server.readLine().trimmed();
            if (line.startsWith("READY ")) {
                *port = line.mid(6).toInt();
                return *port > 0;
            }
        }
        if (m_server.state() == QProcess::NotRunning) return false;
        m_server.waitForReadyRead(500);
    }
    return false;
}

void TestRtspStream::streamPlays() {
    int port = 0;
    QVERIFY2(StartServer("/cam1", &port), "the RTSP server did not start");

    StreamPlayer s;
    QVERIFY(s.Create(true));
    void* player = s.player;
    LoginLog& log = s.log;
    const QString url = QString("rtsp://127.0.0.1:%1/cam1").arg(port);
    QCOMPARE(OpenAndLogin(player, &log, url), 0);
    {
        std::lock_guard<std::mutex> lock(log.m);
        QCOMPARE(log.loginUrls, QStringList{url});
    }
    LumoPlayerStats stats;
    QTRY_VERIFY_WITH_TIMEOUT((LumoPlayerGetStats(player, &stats), stats.framesPresented >= 10), 20000);
    QVERIFY(stats.framesDecoded >= stats.framesPresented);
    int width = 0, height = 0;
    QCOMPARE(LumoPlayerGetVideoSize(player, &width, &height), 0);
    QCOMPARE(QSize(width, height), QSize(320, 240));
    int state = 0;
    LumoPlayerGetState(player, &state);
    QCOMPARE(state & (LUMO_STATE_OPEN | LUMO_STATE_PLAYING | LUMO_STATE_END), LUMO_STATE_OPEN | LUMO_STATE_PLAYING);

    QCOMPARE(LumoPlayerStop(player), 0);
    QTRY_COMPARE_WITH_TIMEOUT((LumoPlayerGetStats(player, &stats), stats.decodeThreads), 0, 10000);
    QCOMPARE(LumoPlayerClose(player), 0);
    {
        std::lock_guard<std::mutex> lock(log.m);
        QCOMPARE(log.loginResults.size(), 1);
        QVERIFY(!log.codes.contains(LUMO_EVENT_END_OF_LIST));  // stopped, not ended
        QVERIFY(!log.codes.contains(LUMO_EVENT_STREAM_LOST));
    }

    m_server.terminate();
    QVERIFY(m_server.waitForFinished(10000));
    QCOMPARE(m_server.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_server.exitCode(), 0);
}

void TestRtspStream::closedPortFailsTheLogin() {
    const int closedPort = vt::ReservePort();  // nothing listens on it
    StreamPlayer s;
    QVERIFY(s.Create(false));
    void* player = s.player;
    LoginLog& log = s.log;
    const QString url = QString("rtsp://127.0.0.1:%1/cam1").arg(closedPort);
    QVERIFY(OpenAndLogin(player, &log, url) != 0);
    {
        std::lock_guard<std::mutex> lock(log.m);
        QCOMPARE(log.loginResults.size(), 1);
        QCOMPARE(log.loginUrls, QStringList{url});
    }
    LumoPlayerStats stats;
    LumoPlayerGetStats(player, &stats);
    QCOMPARE(stats.framesPresented, uint64_t(0));
    QCOMPARE(LumoPlayerStop(player), 0);
    QCOMPARE(LumoPlayerClose(player), 0);
}

// The server is killed while the stream plays: the loss is reported with the URL and a failure,
// before the end of the list.
void TestRtspStream::goneServerLosesTheStream() {
    int port = 0;
    QVERIFY2(StartServer("/cam2", &port), "the RTSP server did not start");
    StreamPlayer s;
    QVERIFY(s.Create(true));
    void* player = s.player;
    LoginLog& log = s.log;
    const QString url = QString("rtsp://127.0.0.1:%1/cam2").arg(port);
    QCOMPARE(OpenAndLogin(player, &log, url), 0);
    LumoPlayerStats stats;
    QTRY_VERIFY_WITH_TIMEOUT((LumoPlayerGetStats(player, &stats), stats.framesPresented >= 5), 20000);

    m_server.kill();
    QVERIFY(m_server.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            std::lock_guard<std::mutex> lock(log.m);
            return log.codes.contains(LUMO_EVENT_END_OF_LIST);
        }(),
        30000);
    {
        std::lock_guard<std::mutex> lock(log.m);
        QCOMPARE(log.lostUrls, QStringList{url});
        QVERIFY(log.lostResults.first() < 0);
        QVERIFY(log.codes.indexOf(LUMO_EVENT_STREAM_LOST) < log.codes.indexOf(LUMO_EVENT_END_OF_LIST));
    }
    QCOMPARE(LumoPlayerStop(player), 0);
    QCOMPARE(LumoPlayerClose(player), 0);
}

QTEST_MAIN(TestRtspStream)
#include "tst_rtspstream.moc"
