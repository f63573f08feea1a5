// VantelServer as a process and its server list driving the real hosts. The console runs from a
// temporary copy of the program directory under a virtual X server: its engine serves secure
// WebSocket clients pinned to its certificate, with the password stored in its settings, and a
// second start is silent only with "-s" or "--silent". The server list (the console's own page,
// run in this process on the same copy) starts KestoServer and PavoServer by their absolute
// paths, sees them with their ports, stops them through their shared memory, and a host that was
// killed without reading a stop stays up when started again. Stopping a host asks first, naming
// it; declined, the host keeps running.
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStandardItemModel>
#include <QWebSocket>
#include <QtNetwork>
#include <QtTest>
#include <signal.h>
#include <unistd.h>

#include "LumoSServer/LumoSServer.h"
#include "VantelInfraAPI/customization.h"
#include "VantelProcess/sharememory.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"
#include "e2esupport.h"
#include "pageserverlist.h"
#include "processwatch.h"
#include "serverdata.h"
#include "vantelserver.h"

namespace {

QString scope() {
    return QStringLiteral("tst_vantelserver_e2e-%1").arg(getpid());
}

// Pids of live processes running exactly this executable.
QList<qint64> pidsOf(const QString& exe) {
    QList<qint64> out;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const qint64 n = pid.toLongLong(&ok);
        if (!ok || QFile::symLinkTarget("/proc/" + pid + "/exe") != exe) continue;
        QFile stat("/proc/" + pid + "/stat");
        if (stat.open(QIODevice::ReadOnly)) {
            const QByteArray t = stat.readAll();
            const int close = t.lastIndexOf(')');
            if (close > 0 && close + 2 < t.size() && t.at(close + 2) == 'Z') continue;
        }
        out << n;
    }
    return out;
}

// A copy of the programs with their files, and the folders of one run.
struct Installation : e2e::ProgramCopy {
    quint16 consolePort = 0, kestoPort = 0, pavoPort = 0;

    bool make() {
        if (!MakeCopy({"VantelServer", "KestoServer", "PavoServer"})) return false;
        consolePort = vt::ReservePort();
        kestoPort = vt::ReservePort();
        pavoPort = vt::ReservePort();
        {
            QSettings vs(prog + "/VantelServer.ini", QSettings::IniFormat);
            vs.setIniCodec("UTF-8");
            vs.setValue("PgConfigData/port", consolePort);
            vs.setValue("info/pwd", VantelUtility::EncryptStringEx(QString::fromUtf8("管理-pw")));
            vs.setValue("skin/language", "English");
        }
        return WriteProgramFile("kestoconfig.ini",
                                "port=" + QByteArray::number(kestoPort) + "\nHDDFull=0\n\n[skin]\nlanguage=English\n") &&
               WriteProgramFile("PavoServer.ini", "port=" + QByteArray::number(pavoPort) + "\n");
    }

    // The environment of every program of the run (this process's own, for what it starts).
    void apply(const QString& display) const {
        e2e::ClearForeignVariables();
        const QMap<QString, QString> v = RunVariables(display, scope());
        for (auto it = v.begin(); it != v.end(); ++it) {
            if (it.value().isEmpty())
                qunsetenv(it.key().toUtf8().constData());
            else
                qputenv(it.key().toUtf8().constData(), it.value().toUtf8());
        }
    }

    QStringList logLines(const QString& kind) const { return LogLines(kind); }

    QString translate(const char* context, const char* key) const {
        return Translate(QStringLiteral("English"), context, key);
    }

    void killHosts() const {
        for (const char* name : {"KestoServer", "PavoServer", "VantelServer"})
            for (qint64 pid : pidsOf(prog + '/' + name)) ::kill(pid_t(pid), SIGKILL);
    }
};

}  // namespace

class TestVantelServerE2E : public QObject {
    Q_OBJECT
    e2e::Xvfb m_xvfb;
    QString m_display;
    QList<QProcess*> m_procs;
    std::unique_ptr<Installation> m_inst;

    // Whether the stop channel of the host in that row of the list holds a command.
    static bool holdsStop(int row) {
        const QString link = row == PageServerList::RowRecorder
                                 ? INFRA::Customization::GetRecorderServerLnkName()
                                 : INFRA::Customization::GetEventServerLnkName();
        SHAREMEMHANDLE channel = ShareMemoryCreate(ConsoleShell::StopChannelName(link).constData(), 0);
        if (!channel) return false;
        char block[1024] = {};
        const bool stop = ShareMemoryRead(channel, 1, block, sizeof block) == 0 &&
                          ConsoleShell::IsStopCommand(block, sizeof block);
        ShareMemoryDelete(channel);
        return stop;
    }

    QProcess* start(const QStringList& args = {}, const QString& reply = QString()) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!reply.isEmpty()) env.insert("VANTEL_UI_REPLY", reply);
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(m_inst->root.path());  // not the program directory
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(m_inst->prog + "/VantelServer", args);
        m_procs << p;
        p->waitForStarted(30000);
        return p;
    }

private slots:
    void initTestCase() {
        VT_REQUIRE(e2e::Xvfb::Installed(), "Xvfb is not installed");
        m_display = m_xvfb.Start();
        QVERIFY2(!m_display.isEmpty(), "Xvfb did not report a display");
        m_inst = std::make_unique<Installation>();
        QVERIFY(m_inst->make());
        m_inst->apply(m_display);
    }

    void cleanup() {
        e2e::EndAll(&m_procs);
        m_inst->killHosts();
    }

    void cleanupTestCase() {
        LumoSInvalidate();
        if (m_inst) m_inst->killHosts();
        m_xvfb.Stop();
    }

    void consoleServesPinnedClients() {
        QProcess* console = start();
        const QString started = m_inst->translate("QObject", "K4504_VantelServerSuccess");
        QVERIFY(!started.startsWith("K4504"));
        QVERIFY2(
            vt::WaitUntil([&] { return !m_inst->logLines("balloon").filter(started).isEmpty(); }, 30000),
            "the console did not report its engine started");
        QCOMPARE(console->state(), QProcess::Running);
        // The engine keeps its identity with its data, beside the program; the key is the owner's.
        const QString certFile = m_inst->prog + "/LumoSData/lumos_cert.pem";
        QVERIFY(QFile::exists(certFile));
        QCOMPARE(int(QFile::permissions(m_inst->prog + "/LumoSData/lumos_key.pem") &
                     (QFile::ReadGroup | QFile::ReadOther)),
                 0);
        const QList<QSslCertificate> pinned = QSslCertificate::fromPath(certFile);
        QCOMPARE(pinned.size(), 1);

        struct Result {
            bool connected = false, closed = false;
            QJsonObject reply;
        };
        auto tryLogin = [&](const QString& password) {
            Result r;
            QWebSocket ws;
            QSslConfiguration cfg = QSslConfiguration::defaultConfiguration();
            cfg.setCaCertificates(pinned);
            cfg.setPeerVerifyMode(QSslSocket::VerifyPeer);
            ws.setSslConfiguration(cfg);
            connect(&ws, &QWebSocket::connected, [&] {
                r.connected = true;
                ws.sendTextMessage(QString::fromUtf8(
                    QJsonDocument(QJsonObject{{"type", "login"}, {"account", "ops"}, {"password", password}})
                        .toJson(QJsonDocument::Compact)));
            });
            connect(&ws, &QWebSocket::disconnected, [&] { r.closed = true; });
            connect(&ws, &QWebSocket::textMessageReceived,
                    [&](const QString& t) { r.reply = QJsonDocument::fromJson(t.toUtf8()).object(); });
            ws.open(QUrl(QStringLiteral("wss://127.0.0.1:%1").arg(m_inst->consolePort)));
            vt::WaitUntil([&] { return !r.reply.isEmpty() || r.closed; }, 30000);
            if (r.reply.value("result").toInt() != 0) vt::WaitUntil([&] { return r.closed; }, 5000);
            return r;
        };
        const Result good = tryLogin(QString::fromUtf8("管理-pw"));
        QVERIFY(good.connected);
        QCOMPARE(good.reply.value("result").toInt(-1), 0);
        const Result bad = tryLogin("wrong");
        QCOMPARE(bad.reply.value("result").toInt(), int(LUMO_ERR_REFUSED));
        QVERIFY(bad.closed);
        QCOMPARE(console->state(), QProcess::Running);
    }

    void secondStart_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("box");
        QTest::newRow("-s") << QStringList{"-s"} << false;
        QTest::newRow("--silent") << QStringList{"--silent"} << false;
        QTest::newRow("-S") << QStringList{"-S"} << true;
        QTest::newRow("two arguments") << QStringList{"-s", "--silent"} << true;
        QTest::newRow("none") << QStringList() << true;
    }
    void secondStart() {
        QFETCH(QStringList, args);
        QFETCH(bool, box);
        QProcess* first = start();
        QVERIFY(vt::WaitUntil([&] { return vt::CanConnect(m_inst->consolePort, 200); }, 30000));
        const int boxesBefore = m_inst->logLines("messagebox").size();
        QProcess* second = start(args, "ok");
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        const QStringList boxes = m_inst->logLines("messagebox").mid(boxesBefore);
        QCOMPARE(boxes.size(), box ? 1 : 0);
        if (box)
            QCOMPARE(boxes.first(), QStringLiteral("messagebox\t\tVantelServer %1")
                                        .arg(m_inst->translate("QObject", "K6859_Runnig")));
        QCOMPARE(first->state(), QProcess::Running);
    }

    void serverListStartsAndStopsHosts_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("name");
        QTest::newRow("KestoServer") << int(PageServerList::RowRecorder) << "KestoServer";
        QTest::newRow("PavoServer") << int(PageServerList::RowEvent) << "PavoServer";
    }
    void serverListStartsAndStopsHosts() {
        QFETCH(int, row);
        QFETCH(QString, name);
        const QString exe = m_inst->prog + '/' + name;
        QVERIFY2(QFile::exists(exe), qPrintable(name + " was not copied"));
        const quint16 port = row == PageServerList::RowRecorder ? m_inst->kestoPort : m_inst->pavoPort;

        // The console's own page, on the copied program directory, with an engine of its own.
        INFRA::TestSeams::SetProgramDir(m_inst->prog);
        ServerDataStore::UseSettingsFile(m_inst->root.filePath("page-VantelServer.ini"));
        {
            QSettings s(ServerDataStore::SettingsFile(), QSettings::IniFormat);
            s.setValue("PgConfigData/port", vt::ReservePort());
        }
        LumoSSetDataPath(m_inst->root.filePath("page-engine").toUtf8().constData());
        VantelServer window(nullptr, nullptr);
        auto* page = static_cast<PageServerList*>(window.Page(VantelServer::PageServers));
        auto check = [&] {
            page->CheckStatus();
            return vt::WaitUntil([&] { return !page->IsChecking(); }, 10000);
        };
        INFRA::TestSeams::SetScriptedReply("yes");  // the operator confirms each stop
        // A check lasts until its result is in the list: the worker's end alone is not that
        // (the result reaches the list through this thread's events, which do not run here).
        page->CheckStatus();
        QThread::msleep(500);
        QVERIFY(page->IsChecking());
        QVERIFY(check());
        QVERIFY(!page->Status(row)->IsRunning());
        QCOMPARE(page->Ope(row)->State(), int(OpeWidget::Stopped));
        QCOMPARE(page->Model()->item(row, 2)->text(), QString::number(port));

        // Start from the list: running, with its port.
        emit page->Ope(row)->Button()->pressed();
        QVERIFY2(vt::WaitUntil([&] { return check() && page->Status(row)->IsRunning(); }, 30000),
                 "the host did not come up");
        QCOMPARE(page->Ope(row)->State(), int(OpeWidget::Running));
        QVERIFY(vt::WaitUntil([&] { return vt::CanConnect(port, 200); }, 30000));
        QCOMPARE(pidsOf(exe).size(), 1);

        // Stop through its shared memory: gone within seconds.
        emit page->Ope(row)->Button()->pressed();
        QCOMPARE(page->Ope(row)->State(), int(OpeWidget::Stopping));
        // A process leaves the list of running programs before the kernel has closed its files: its
        // port is free only a moment later, and a start before that finds it taken.
        QVERIFY2(vt::WaitUntil([&] { return pidsOf(exe).isEmpty() && vt::PortIsFree(port); }, 15000),
                 "the host did not stop");
        QVERIFY(
            vt::WaitUntil([&] { return check() && page->Ope(row)->State() == OpeWidget::Stopped; }, 10000));
        QVERIFY(!page->Status(row)->IsRunning());

        // Killed without reading a stop that was written for it: a new start stays up.
        emit page->Ope(row)->Button()->pressed();
        QVERIFY(vt::WaitUntil([&] { return pidsOf(exe).size() == 1 && vt::CanConnect(port, 200); }, 30000));
        ::kill(pid_t(pidsOf(exe).first()), SIGSTOP);  // it can no longer read its channel
        QVERIFY(check());
        emit page->Ope(row)->Button()->pressed();  // "stop" stays unread in the block
        QVERIFY2(vt::WaitUntil([&] { return holdsStop(row); }, 15000), "the list wrote no stop");
        for (qint64 pid : pidsOf(exe)) ::kill(pid_t(pid), SIGKILL);
        QVERIFY(vt::WaitUntil([&] { return pidsOf(exe).isEmpty() && vt::PortIsFree(port); }, 15000));
        QVERIFY(
            vt::WaitUntil([&] { return check() && page->Ope(row)->State() == OpeWidget::Stopped; }, 10000));
        const int stopsBefore = m_inst->logLines("exiting").size();  // the hosts log to the run's UI log
        emit page->Ope(row)->Button()->pressed();
        QVERIFY(vt::WaitUntil([&] { return pidsOf(exe).size() == 1 && vt::CanConnect(port, 200); }, 30000));
        // It met the old stop in its constructor (before it took its port) and cleared it...
        QVERIFY(!holdsStop(row));
        // ...rather than leave it for a tick to obey: three of its channel polls, and it is up.
        QTest::qWait(3000);
        QCOMPARE(pidsOf(exe).size(), 1);
        QCOMPARE(m_inst->logLines("exiting").size(), stopsBefore);
        QVERIFY(vt::WaitUntil([&] { return vt::CanConnect(port, 200); }, 30000));
        QVERIFY(check());
        QVERIFY(page->Status(row)->IsRunning());

        emit page->Ope(row)->Button()->pressed();
        QVERIFY(vt::WaitUntil([&] { return pidsOf(exe).isEmpty() && vt::PortIsFree(port); }, 15000));
    }

    // A stop from the list ends the host's work: the operator is asked first, with its name;
    // "no" writes no stop and the host serves on, "yes" ends it.
    void serverListAsksBeforeStop() {
        const int row = PageServerList::RowRecorder;
        const QString name = "KestoServer";
        const QString exe = m_inst->prog + '/' + name;
        INFRA::TestSeams::SetProgramDir(m_inst->prog);
        ServerDataStore::UseSettingsFile(m_inst->root.filePath("ask-VantelServer.ini"));
        {
            QSettings s(ServerDataStore::SettingsFile(), QSettings::IniFormat);
            s.setValue("PgConfigData/port", vt::ReservePort());
        }
        LumoSSetDataPath(m_inst->root.filePath("ask-engine").toUtf8().constData());
        VantelServer window(nullptr, nullptr);
        auto* page = static_cast<PageServerList*>(window.Page(VantelServer::PageServers));
        auto check = [&] {
            page->CheckStatus();
            return vt::WaitUntil([&] { return !page->IsChecking(); }, 10000);
        };
        QVERIFY(
            vt::WaitUntil([&] { return check() && page->Ope(row)->State() == OpeWidget::Stopped; }, 10000));

        // Starting asks nothing.
        const int boxesBefore = m_inst->logLines("messagebox").size();
        INFRA::TestSeams::SetScriptedReply("no");
        emit page->Ope(row)->Button()->pressed();
        QVERIFY2(vt::WaitUntil([&] { return check() && page->Status(row)->IsRunning(); }, 30000),
                 "the host did not come up");
        QVERIFY(vt::WaitUntil([&] { return vt::CanConnect(m_inst->kestoPort, 200); }, 30000));
        QCOMPARE(m_inst->logLines("messagebox").size(), boxesBefore);
        const QList<qint64> pids = pidsOf(exe);
        QCOMPARE(pids.size(), 1);

        // Declined: asked once, naming the host; no stop written, the same host serves on.
        emit page->Ope(row)->Button()->pressed();
        const QStringList boxes = m_inst->logLines("messagebox").mid(boxesBefore);
        QCOMPARE(boxes.size(), 1);
        const QString question =
            QCoreApplication::translate("VantelServer", "K4596_StopRecorderQuestion").arg(name);
        QVERIFY2(boxes.first().endsWith('\t' + question) && question.contains(name),
                 qPrintable(boxes.first()));
        QVERIFY(!holdsStop(row));
        QCOMPARE(page->Ope(row)->State(), int(OpeWidget::Running));
        QVERIFY(check());
        QVERIFY(page->Status(row)->IsRunning());
        QCOMPARE(pidsOf(exe), pids);
        QVERIFY(vt::CanConnect(m_inst->kestoPort, 200));

        // Confirmed: it stops.
        INFRA::TestSeams::SetScriptedReply("yes");
        emit page->Ope(row)->Button()->pressed();
        QCOMPARE(m_inst->logLines("messagebox").size(), boxesBefore + 2);
        QCOMPARE(page->Ope(row)->State(), int(OpeWidget::Stopping));
        QVERIFY2(vt::WaitUntil([&] { return pidsOf(exe).isEmpty() && vt::PortIsFree(m_inst->kestoPort); }, 15000),
                 "the host did not stop");
        INFRA::TestSeams::SetScriptedReply(QString());
    }
};

QTEST_MAIN(TestVantelServerE2E)
#include "tst_vantelserver_e2e.moc"
