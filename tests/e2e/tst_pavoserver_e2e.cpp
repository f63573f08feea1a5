// PavoServer as a process: it binds its port, refuses a second instance, stops on the "stop"
// command of its shared memory (at its next tick) with its port free, reports a taken port and still
// saves its settings, and a saved change of the limits restarts it, which then serves its port
// again with them.
// Each case runs a temporary copy of the program directory under a virtual X server; the
// operator's clicks and keys come through the X test extension.
#include <QLockFile>
#include <QtNetwork>
#include <QtTest>
#include <QtWebSockets>
#include <unistd.h>

#include "VantelInfraAPI/customization.h"
#include "VantelProcess/sharememory.h"
#include "VantelProcess/singleapp.h"
#include "consoleshell.h"
#include "e2esupport.h"
#include "eventdevice.h"

using namespace eventtest;

namespace {

// Where the settings page puts its controls in its window (800 x 500, in English).
const QSize kWindowSize(800, 500);
const QPoint kMaxDevNumEdit(520, 172);
const QPoint kSaveButton(250, 377);

struct Installation : e2e::ProgramCopy {
    bool make(quint16 port,
              const QByteArray& eventHost = "MaxDevNum=16\nMaxEventRows=100000\nMaxPicDays=30\n") {
        return MakeCopy({QStringLiteral("PavoServer")}) &&
               WriteProgramFile(QStringLiteral("PavoServer.ini"),
                                "port=" + QByteArray::number(port) + "\n\n[EventHost]\n" + eventHost +
                                    "PathDbs=" + root.filePath(QStringLiteral("dbs")).toUtf8() + "\nPathPic=" +
                                    root.filePath(QStringLiteral("pic")).toUtf8() + "\n\n[skin]\nlanguage=English\n");
    }

    QString iniPath() const { return prog + QStringLiteral("/PavoServer.ini"); }
    QString setting(const QString& key) const {
        QSettings s(iniPath(), QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        return s.value(key).toString();
    }

    QProcessEnvironment environment(const QString& display, const QString& reply = QString()) const {
        return Environment(display, scope(), reply);
    }

    QStringList logLines(const QString& kind) const { return LogLines(kind); }

    QString translate(const char* key) const { return Translate(QStringLiteral("English"), "QObject", key); }

    static QString scope() { return QStringLiteral("tst_pavoserver_e2e-%1").arg(getpid()); }

    SHAREMEMHANDLE openStopChannel() const {
        qputenv("VANTEL_INSTANCE_SCOPE", scope().toUtf8());
        return ShareMemoryCreate(
            ConsoleShell::StopChannelName(INFRA::Customization::GetEventServerLnkName()).constData(), 1);
    }
};

}  // namespace

class TestPavoServerE2E : public QObject {
    Q_OBJECT
    e2e::Xvfb m_xvfb;
    QString m_display;
    QList<QProcess*> m_procs;

    QProcess* start(const Installation& inst, const QString& reply = QString()) {
        auto* p = new QProcess(this);
        p->setProcessEnvironment(inst.environment(m_display, reply));
        p->setWorkingDirectory(inst.root.path());  // not the program directory: it must find its files anyway
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(inst.prog + QStringLiteral("/PavoServer"), QStringList());
        m_procs << p;
        p->waitForStarted(30000);
        return p;
    }

    static bool waitUntil(std::function<bool()> cond, int ms) { return vt::WaitUntil(cond, ms); }

    // The console's window as the X server shows it; empty (and a failure) when it is not shown.
    // The start balloon and the port come earlier than this: the window is built, and its
    // engine started, in its constructor, and it is mapped only once the program runs its loop.
    QRect shownWindow(e2e::XSession& x, QProcess* server) {
        QRect window;
        waitUntil([&] {
            window = x.ViewableWindow(server->processId(), kWindowSize);
            return !window.isNull() || server->state() != QProcess::Running;
        }, 30000);
        return window;
    }

    // Types a new device limit into the settings page and saves, as the operator does: into the
    // shown window, and again until the field holds the value; Save again until the program
    // asks its question (an answered question is logged) or ends.
    void saveDeviceLimit(QProcess* server, const Installation& inst, const QByteArray& value) {
        e2e::XSession x;
        QVERIFY(x.Open(m_display));
        const QRect window = shownWindow(x, server);
        QVERIFY2(!window.isNull(), "the console window was not shown");
        bool typed = false;
        QString held;
        for (int attempt = 0; attempt < 5 && !typed; ++attempt) {
            x.Click(window.topLeft() + kMaxDevNumEdit);
            x.Key(e2e::XSession::kLetterA, e2e::XSession::kControl);
            x.Type(value);
            held = x.FieldText();
            typed = held == QString::fromLatin1(value);
        }
        QVERIFY2(typed, qPrintable(QStringLiteral("the limit field holds \"%1\"").arg(held)));
        const int boxes = inst.logLines(QStringLiteral("messagebox")).size();
        bool saved = false;
        for (int attempt = 0; attempt < 3 && !saved; ++attempt) {
            x.Click(window.topLeft() + kSaveButton);
            saved = waitUntil([&] {
                return inst.logLines(QStringLiteral("messagebox")).size() > boxes ||
                       server->state() != QProcess::Running;
            }, 10000);
        }
        QVERIFY2(saved, "Save did not take the new limit");
    }

    // Whether a live PavoServer of this run's scope holds its single-instance guard (the instance
    // a save restarted is no child of this test: it is found by its guard). The guard is only
    // looked at, never taken: a probe holding it would turn a starting instance away.
    static bool instanceRunning() {
        qputenv("VANTEL_INSTANCE_SCOPE", Installation::scope().toUtf8());
        const QString path = SingleApp(INFRA::Customization::GetEventServerName()).LockFilePath();
        qint64 pid = 0;
        QString host, app;
        if (path.isEmpty() || !QLockFile(path).getLockInfo(&pid, &host, &app) || pid <= 0) return false;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) return false;
        const QByteArray t = stat.readAll();
        const int close = t.lastIndexOf(')');
        return close > 0 && close + 2 < t.size() && t.at(close + 2) != 'Z';  // an unreaped end is gone
    }

    // The instance a save started again: once it runs, "stop" ends it, and its guard is free.
    void stopRestartedInstance(const Installation& inst) {
        QVERIFY2(waitUntil(instanceRunning, 30000), "the program did not start again after the save");
        SHAREMEMHANDLE stop = inst.openStopChannel();
        QVERIFY(stop);
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        QVERIFY2(waitUntil([] { return !instanceRunning(); }, 30000), "the restarted program did not stop");
        ShareMemoryDelete(stop);
    }

private slots:
    void initTestCase() {
        VT_REQUIRE(e2e::Xvfb::Installed(), "Xvfb is not installed");
        m_display = m_xvfb.Start();
        QVERIFY2(!m_display.isEmpty(), "Xvfb did not report a display");
    }

    void cleanup() { e2e::EndAll(&m_procs); }

    void cleanupTestCase() { m_xvfb.Stop(); }

    void startsAndStopsOnCommand() {
        const quint16 port = vt::ReservePort();
        Installation inst;
        QVERIFY(inst.make(port));
        QProcess* server = start(inst);
        QVERIFY2(waitUntil([&]() { return vt::CanConnect(port, 200) || server->state() != QProcess::Running; },
                           30000) &&
                     server->state() == QProcess::Running,
                 "the server did not bind its port");
        waitUntil([&]() { return !inst.logLines(QStringLiteral("balloon")).isEmpty(); }, 30000);
        QCOMPARE(inst.logLines(QStringLiteral("balloon")),
                 QStringList{QStringLiteral("balloon\t%1\t%2\tinformation")
                                 .arg(inst.translate("K3741_Msg"), inst.translate("K5028_PavoStart"))});
        // A device reaches it.
        Device cam(port);
        QVERIFY(cam.waitConnected());
        QCOMPARE(cam.reg("cam").value("msg").toString(), QStringLiteral("registered"));

        SHAREMEMHANDLE stop = inst.openStopChannel();
        QVERIFY(stop);
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        // Obeyed at its next one-second tick; a busy machine may take longer than that to run it.
        QVERIFY2(server->waitForFinished(30000), "the server did not stop on the command");
        QCOMPARE(server->exitStatus(), QProcess::NormalExit);
        QCOMPARE(server->exitCode(), 0);
        QVERIFY(vt::PortIsFree(port));
        QCOMPARE(inst.logLines(QStringLiteral("exiting")).size(), 1);
        QCOMPARE(inst.logLines(QStringLiteral("messagebox")).size(), 0);
        char block[1024];
        QCOMPARE(ShareMemoryRead(stop, 1, block, sizeof block), 0);
        QCOMPARE(QByteArray(block, sizeof block), QByteArray(1024, '\0'));
        ShareMemoryDelete(stop);
    }

    void secondStartIsRefused() {
        const quint16 port = vt::ReservePort();
        Installation inst;
        QVERIFY(inst.make(port));
        QProcess* first = start(inst);
        QVERIFY(
            waitUntil([&]() { return vt::CanConnect(port, 200) || first->state() != QProcess::Running; }, 30000));
        QCOMPARE(first->state(), QProcess::Running);
        QProcess* second = start(inst, QStringLiteral("ok"));
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitCode(), 255);  // -1
        const QString running = inst.translate("K6859_Runnig");
        QCOMPARE(inst.logLines(QStringLiteral("messagebox")),
                 QStringList{QStringLiteral("messagebox\t\tPavoServer %1").arg(running)});
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(vt::WaitUntil([&] { return vt::CanConnect(port, 200); }, 30000));
        SHAREMEMHANDLE stop = inst.openStopChannel();
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        QVERIFY(first->waitForFinished(15000));
        QCOMPARE(first->exitCode(), 0);
        ShareMemoryDelete(stop);
    }

    // A taken port: the error balloon; the settings page still saves, which ends the program.
    void portTakenReportsAndSettingsStillSave() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, 0));
        Installation inst;
        QVERIFY(inst.make(squatter.serverPort()));
        QProcess* server = start(inst, QStringLiteral("yes"));
        QVERIFY(waitUntil([&]() { return !inst.logLines(QStringLiteral("balloon")).isEmpty(); }, 30000));
        QCOMPARE(inst.logLines(QStringLiteral("balloon")),
                 QStringList{QStringLiteral("balloon\t%1\t%2\tcritical")
                                 .arg(inst.translate("K3745_Error"), inst.translate("PV003_PavoFail"))});
        // It goes on after the failure: its window comes up and takes the settings.
        saveDeviceLimit(server, inst, "7");
        if (QTest::currentTestFailed()) return;
        // It may have ended already while the question was answered; it starts itself again.
        QVERIFY2(server->state() == QProcess::NotRunning || server->waitForFinished(30000),
                 "saving did not end the program");
        QCOMPARE(server->exitCode(), 773 & 0xff);  // the restart code, as the system keeps it
        QCOMPARE(inst.setting(QStringLiteral("EventHost/MaxDevNum")), QStringLiteral("7"));
        QCOMPARE(inst.logLines(QStringLiteral("messagebox")).size(), 1);  // the reset question
        QVERIFY(squatter.isListening());
        stopRestartedInstance(inst);
    }

    // Saving a lower device limit restarts the program by itself: it serves its port again and
    // lets no more devices in.
    void savedLimitsHoldAtNextStart() {
        const quint16 port = vt::ReservePort();
        Installation inst;
        QVERIFY(inst.make(port));
        QProcess* server = start(inst, QStringLiteral("yes"));
        QVERIFY(waitUntil([&]() { return vt::CanConnect(port, 200) || server->state() != QProcess::Running; },
                          30000));
        saveDeviceLimit(server, inst, "2");
        if (QTest::currentTestFailed()) return;
        // It may have ended already while the question was answered.
        QVERIFY2(server->state() == QProcess::NotRunning || server->waitForFinished(30000),
                 "saving did not end the program");
        QCOMPARE(server->exitCode(), 773 & 0xff);  // the restart code (its low byte: 5)
        QCOMPARE(inst.setting(QStringLiteral("EventHost/MaxDevNum")), QStringLiteral("2"));

        // No manual start: the new instance takes the port again.
        QVERIFY2(waitUntil([&]() { return vt::CanConnect(port, 200); }, 30000),
                 "the restarted program does not serve its port");
        QVERIFY(instanceRunning());
        Device a(port), b(port), c(port);
        QVERIFY(a.waitConnected() && b.waitConnected() && c.waitConnected());
        QCOMPARE(a.reg("a").value("msg").toString(), QStringLiteral("registered"));
        QCOMPARE(b.reg("b").value("msg").toString(), QStringLiteral("registered"));
        QCOMPARE(c.reg("c").value("msg").toString(), QStringLiteral("refused"));
        // Its start told the operator, as the first one did.
        QVERIFY(waitUntil([&]() { return inst.logLines(QStringLiteral("balloon")).size() >= 2; }, 30000));
        QCOMPARE(inst.logLines(QStringLiteral("balloon")).last(),
                 QStringLiteral("balloon\t%1\t%2\tinformation")
                     .arg(inst.translate("K3741_Msg"), inst.translate("K5028_PavoStart")));
        stopRestartedInstance(inst);
        QVERIFY(waitUntil([&]() { return vt::PortIsFree(port); }, 30000));
    }
};

QTEST_GUILESS_MAIN(TestPavoServerE2E)
#include "tst_pavoserver_e2e.moc"
