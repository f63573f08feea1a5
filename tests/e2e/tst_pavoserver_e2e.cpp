// PavoServer as a process: it binds its port, refuses a second instance, stops on the "stop"
// command of its shared memory within 3 s with its port free, reports a taken port and still
// saves its settings, and a saved change of the limits ends it and holds at the next start.
// Each case runs a temporary copy of the program directory under a virtual X server; the
// operator's clicks and keys come through the X test extension.
#include <QtNetwork>
#include <QtTest>
#include <QtWebSockets>
#include <dlfcn.h>
#include <unistd.h>

#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/sharememory.h"
#include "consoleshell.h"
#include "e2esupport.h"
#include "eventdevice.h"

using namespace eventtest;

namespace {

// Pointer and keyboard of an X display through the X test extension, loaded at run time (only
// the run-time libraries are needed).
class FakeInput {
public:
    bool Open(const QString& display) {
        m_x11 = dlopen("libX11.so.6", RTLD_NOW);
        m_xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!m_x11 || !m_xtst) return false;
        openDisplay = reinterpret_cast<void* (*)(const char*)>(dlsym(m_x11, "XOpenDisplay"));
        closeDisplay = reinterpret_cast<int (*)(void*)>(dlsym(m_x11, "XCloseDisplay"));
        flush = reinterpret_cast<int (*)(void*)>(dlsym(m_x11, "XFlush"));
        keysymToKeycode =
            reinterpret_cast<unsigned char (*)(void*, unsigned long)>(dlsym(m_x11, "XKeysymToKeycode"));
        motion = reinterpret_cast<int (*)(void*, int, int, int, unsigned long)>(
            dlsym(m_xtst, "XTestFakeMotionEvent"));
        button = reinterpret_cast<int (*)(void*, unsigned, int, unsigned long)>(
            dlsym(m_xtst, "XTestFakeButtonEvent"));
        key = reinterpret_cast<int (*)(void*, unsigned, int, unsigned long)>(
            dlsym(m_xtst, "XTestFakeKeyEvent"));
        if (!openDisplay || !closeDisplay || !flush || !keysymToKeycode || !motion || !button || !key)
            return false;
        m_display = openDisplay(display.toLatin1().constData());
        return m_display != nullptr;
    }
    ~FakeInput() {
        if (m_display) closeDisplay(m_display);
        if (m_xtst) dlclose(m_xtst);
        if (m_x11) dlclose(m_x11);
    }
    void Click(int x, int y) {
        motion(m_display, 0, x, y, 0);
        flush(m_display);
        QTest::qWait(150);
        button(m_display, 1, 1, 0);
        button(m_display, 1, 0, 0);
        flush(m_display);
        QTest::qWait(300);
    }
    void Key(unsigned long keysym, unsigned long modifier = 0) {
        const unsigned mod = modifier ? keysymToKeycode(m_display, modifier) : 0;
        const unsigned code = keysymToKeycode(m_display, keysym);
        if (mod) key(m_display, mod, 1, 0);
        key(m_display, code, 1, 0);
        key(m_display, code, 0, 0);
        if (mod) key(m_display, mod, 0, 0);
        flush(m_display);
        QTest::qWait(80);
    }
    void Type(const QByteArray& digits) {
        for (char c : digits) Key(static_cast<unsigned char>(c));  // digits are their own keysyms
    }

private:
    void* m_x11 = nullptr;
    void* m_xtst = nullptr;
    void* m_display = nullptr;
    void* (*openDisplay)(const char*) = nullptr;
    int (*closeDisplay)(void*) = nullptr;
    int (*flush)(void*) = nullptr;
    unsigned char (*keysymToKeycode)(void*, unsigned long) = nullptr;
    int (*motion)(void*, int, int, int, unsigned long) = nullptr;
    int (*button)(void*, unsigned, int, unsigned long) = nullptr;
    int (*key)(void*, unsigned, int, unsigned long) = nullptr;
};

// Where the settings page puts its controls: the window opens at the screen's top left (no
// window manager), 800 x 500, in English.
const QPoint kMaxDevNumEdit(520, 172);
const QPoint kSaveButton(250, 377);
const unsigned long kControl = 0xffe3, kLetterA = 0x61;

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
        p->waitForStarted(5000);
        return p;
    }

    static bool waitUntil(std::function<bool()> cond, int ms) { return e2e::WaitUntil(cond, ms); }

    // Types a new device limit into the settings page and saves.
    void saveDeviceLimit(const QByteArray& value) {
        FakeInput input;
        QVERIFY(input.Open(m_display));
        input.Click(kMaxDevNumEdit.x(), kMaxDevNumEdit.y());
        input.Key(kLetterA, kControl);
        input.Type(value);
        input.Click(kSaveButton.x(), kSaveButton.y());
    }

private slots:
    void initTestCase() {
        if (!e2e::Xvfb::Installed()) QSKIP("Xvfb is not installed");
        m_display = m_xvfb.Start();
        QVERIFY2(!m_display.isEmpty(), "Xvfb did not report a display");
    }

    void cleanup() { e2e::EndAll(&m_procs); }

    void cleanupTestCase() { m_xvfb.Stop(); }

    void startsAndStopsOnCommand() {
        const quint16 port = e2e::FreePort();
        Installation inst;
        QVERIFY(inst.make(port));
        QProcess* server = start(inst);
        QVERIFY2(waitUntil([&]() { return e2e::CanConnect(port, 200) || server->state() != QProcess::Running; },
                           15000) &&
                     server->state() == QProcess::Running,
                 "the server did not bind its port");
        waitUntil([&]() { return !inst.logLines(QStringLiteral("balloon")).isEmpty(); }, 10000);
        QCOMPARE(inst.logLines(QStringLiteral("balloon")),
                 QStringList{QStringLiteral("balloon\t%1\t%2\tinformation")
                                 .arg(inst.translate("K3741_Msg"), inst.translate("K5028_PavoStart"))});
        // A device reaches it.
        Device cam(port);
        QVERIFY(cam.waitConnected());
        QCOMPARE(cam.reg("cam").value("msg").toString(), QStringLiteral("registered"));

        SHAREMEMHANDLE stop = inst.openStopChannel();
        QVERIFY(stop);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        QVERIFY2(server->waitForFinished(3000), "the server did not stop within 3 s");
        QVERIFY(clock.elapsed() <= 3000);
        QCOMPARE(server->exitStatus(), QProcess::NormalExit);
        QCOMPARE(server->exitCode(), 0);
        QVERIFY(e2e::PortIsFree(port));
        QCOMPARE(inst.logLines(QStringLiteral("exiting")).size(), 1);
        QCOMPARE(inst.logLines(QStringLiteral("messagebox")).size(), 0);
        char block[1024];
        QCOMPARE(ShareMemoryRead(stop, 1, block, sizeof block), 0);
        QCOMPARE(QByteArray(block, sizeof block), QByteArray(1024, '\0'));
        ShareMemoryDelete(stop);
    }

    void secondStartIsRefused() {
        const quint16 port = e2e::FreePort();
        Installation inst;
        QVERIFY(inst.make(port));
        QProcess* first = start(inst);
        QVERIFY(
            waitUntil([&]() { return e2e::CanConnect(port, 200) || first->state() != QProcess::Running; }, 15000));
        QCOMPARE(first->state(), QProcess::Running);
        QProcess* second = start(inst, QStringLiteral("ok"));
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitCode(), 255);  // -1
        const QString running = inst.translate("K6859_Runnig");
        QCOMPARE(inst.logLines(QStringLiteral("messagebox")),
                 QStringList{QStringLiteral("messagebox\t\tPavoServer %1").arg(running)});
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(e2e::CanConnect(port));
        SHAREMEMHANDLE stop = inst.openStopChannel();
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        QVERIFY(first->waitForFinished(3000));
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
        QVERIFY(waitUntil([&]() { return !inst.logLines(QStringLiteral("balloon")).isEmpty(); }, 15000));
        QCOMPARE(inst.logLines(QStringLiteral("balloon")),
                 QStringList{QStringLiteral("balloon\t%1\t%2\tcritical")
                                 .arg(inst.translate("K3745_Error"), inst.translate("PV003_PavoFail"))});
        QTest::qWait(500);
        QCOMPARE(server->state(), QProcess::Running);
        saveDeviceLimit("7");
        // It may have ended already while the clicks were delivered.
        QVERIFY2(server->state() == QProcess::NotRunning || server->waitForFinished(10000),
                 "saving did not end the program");
        QCOMPARE(server->exitCode(), 0);
        QCOMPARE(inst.setting(QStringLiteral("EventHost/MaxDevNum")), QStringLiteral("7"));
        QCOMPARE(inst.logLines(QStringLiteral("messagebox")).size(), 1);  // the reset question
        QVERIFY(squatter.isListening());
    }

    // Saving a lower device limit ends the program; the next start lets no more devices in.
    void savedLimitsHoldAtNextStart() {
        const quint16 port = e2e::FreePort();
        Installation inst;
        QVERIFY(inst.make(port));
        QProcess* server = start(inst, QStringLiteral("yes"));
        QVERIFY(waitUntil([&]() { return e2e::CanConnect(port, 200) || server->state() != QProcess::Running; },
                          15000));
        waitUntil([&]() { return !inst.logLines(QStringLiteral("balloon")).isEmpty(); }, 10000);
        saveDeviceLimit("2");
        // It may have ended already while the clicks were delivered.
        QVERIFY2(server->state() == QProcess::NotRunning || server->waitForFinished(10000),
                 "saving did not end the program");
        QCOMPARE(server->exitCode(), 0);
        QCOMPARE(inst.setting(QStringLiteral("EventHost/MaxDevNum")), QStringLiteral("2"));
        QVERIFY(e2e::PortIsFree(port));

        QProcess* again = start(inst);
        QVERIFY(
            waitUntil([&]() { return e2e::CanConnect(port, 200) || again->state() != QProcess::Running; }, 15000));
        Device a(port), b(port), c(port);
        QVERIFY(a.waitConnected() && b.waitConnected() && c.waitConnected());
        QCOMPARE(a.reg("a").value("msg").toString(), QStringLiteral("registered"));
        QCOMPARE(b.reg("b").value("msg").toString(), QStringLiteral("registered"));
        QCOMPARE(c.reg("c").value("msg").toString(), QStringLiteral("refused"));
        SHAREMEMHANDLE stop = inst.openStopChannel();
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        QVERIFY(again->waitForFinished(3000));
        ShareMemoryDelete(stop);
    }
};

QTEST_GUILESS_MAIN(TestPavoServerE2E)
#include "tst_pavoserver_e2e.moc"
