// KestoServer as a process: it binds its port, refuses a second instance (whatever folders it
// was started with), stops on the "stop" command of its shared memory (also one written while it
// starts, and one written with other folders), and reports a port that is taken. Each case runs
// a temporary copy of the program directory under a virtual X server, with home, configuration,
// runtime and log folders of its own.
#include <QtNetwork>
#include <QtTest>
#include <unistd.h>

#include "VantelInfraAPI/customization.h"
#include "VantelProcess/sharememory.h"
#include "consoleshell.h"
#include "e2esupport.h"
#include "testsupport.h"

namespace {

// One copy of the program with its own folders.
struct Installation : e2e::ProgramCopy {
    bool make(quint16 port, const QByteArray& language) {
        return MakeCopy({QStringLiteral("KestoServer")}) &&
               WriteProgramFile(QStringLiteral("kestoconfig.ini"), "port=" + QByteArray::number(port) +
                                                                       "\nHDDFull=0\n\n[skin]\nlanguage=" + language + "\n");
    }

    QProcessEnvironment environment(const QString& display, const QString& reply = QString()) const {
        // One scope for every console of this test run, apart from other runs of the suite.
        return Environment(display, scope(), reply);
    }

    QStringList logLines(const QString& kind) const { return LogLines(kind); }

    QString translate(const QByteArray& language, const char* key) const {
        return Translate(QString::fromLatin1(language), "QObject", key);
    }

    static QString scope() { return QStringLiteral("tst_kestoserver_e2e-%1").arg(getpid()); }

    // The host's stop channel, opened as the management console does: from this test process,
    // whose runtime and temporary folders are not the console's.
    SHAREMEMHANDLE openStopChannel() const {
        qputenv("VANTEL_INSTANCE_SCOPE", scope().toUtf8());
        return ShareMemoryCreate(
            ConsoleShell::StopChannelName(INFRA::Customization::GetRecorderServerLnkName()).constData(), 1);
    }
};

}  // namespace

class TestKestoServerE2E : public QObject {
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
        p->start(inst.prog + QStringLiteral("/KestoServer"), QStringList());
        m_procs << p;
        p->waitForStarted(30000);
        return p;
    }

    static bool waitUntil(std::function<bool()> cond, int ms) { return vt::WaitUntil(cond, ms); }

    // Whether the X server shows a window of the console: it has left its constructor (where it
    // opens its stop channel and starts its engine) and runs its loop.
    bool windowShown(QProcess* server) {
        e2e::XSession x;
        if (!x.Open(m_display)) return false;
        return waitUntil([&] {
            return !x.ViewableWindow(server->processId()).isNull() || server->state() != QProcess::Running;
        }, 30000) && server->state() == QProcess::Running;
    }

    // The stop block as the console's channel holds it: whether it holds a command.
    static bool holdsStop(SHAREMEMHANDLE channel) {
        char block[1024] = {};
        return ShareMemoryRead(channel, 1, block, sizeof block) == 0 &&
               ConsoleShell::IsStopCommand(block, sizeof block);
    }

private slots:
    void initTestCase() {
        VT_REQUIRE(e2e::Xvfb::Installed(), "Xvfb is not installed");
        m_display = m_xvfb.Start();
        QVERIFY2(!m_display.isEmpty(), "Xvfb did not report a display");
    }

    void cleanup() { e2e::EndAll(&m_procs); }

    void cleanupTestCase() { m_xvfb.Stop(); }

    void startsBindsAndStopsOnCommand_data() {
        QTest::addColumn<QByteArray>("language");
        QTest::newRow("english") << QByteArray("English");
        QTest::newRow("chinese") << QByteArray("Chinese");
    }
    void startsBindsAndStopsOnCommand() {
        QFETCH(QByteArray, language);
        const quint16 port = vt::ReservePort();
        Installation inst;
        QVERIFY(inst.make(port, language));
        QProcess* server = start(inst);
        QCOMPARE(server->state(), QProcess::Running);
        QVERIFY2(waitUntil([&]() { return vt::CanConnect(port, 200) || server->state() != QProcess::Running; },
                           30000) &&
                     server->state() == QProcess::Running,
                 "the server did not bind its port");
        QVERIFY(vt::WaitUntil([&] { return vt::CanConnect(port, 200); }, 30000));
        // The start balloon follows the bind: wait for it rather than race it.
        waitUntil([&]() { return !inst.logLines(QStringLiteral("balloon")).isEmpty(); }, 30000);
        QCOMPARE(inst.logLines(QStringLiteral("balloon")),
                 QStringList{QStringLiteral("balloon\t%1\t%2\tinformation")
                                 .arg(inst.translate(language, "K3741_Msg"),
                                      inst.translate(language, "K3744_KestoStart"))});
        QVERIFY(!inst.translate(language, "K3744_KestoStart").startsWith(QLatin1String("K3744")));

        SHAREMEMHANDLE stop = inst.openStopChannel();
        QVERIFY(stop);
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        // Obeyed at its next one-second tick; a busy machine may take longer than that to run it.
        QVERIFY2(server->waitForFinished(30000), "the server did not stop on the command");
        QCOMPARE(server->exitStatus(), QProcess::NormalExit);
        QCOMPARE(server->exitCode(), 0);
        QVERIFY(vt::PortIsFree(port));
        QCOMPARE(inst.logLines(QStringLiteral("exiting")).size(), 1);
        QCOMPARE(inst.logLines(QStringLiteral("messagebox")).size(), 0);  // no question on a stop command
        // The command was consumed.
        char block[1024];
        QCOMPARE(ShareMemoryRead(stop, 1, block, sizeof block), 0);
        QCOMPARE(QByteArray(block, sizeof block), QByteArray(1024, '\0'));
        ShareMemoryDelete(stop);
        // The watchdog registration went with the regular exit.
        QVERIFY(QDir(inst.root.filePath(QStringLiteral("runtime/vantel-watchdog")))
                    .entryList(QDir::Files)
                    .isEmpty());
    }

    // A second console is refused, also one of another copy started with other runtime and
    // temporary folders; a stop then reaches the one that runs.
    void secondStartIsRefused_data() {
        QTest::addColumn<bool>("otherFolders");
        QTest::newRow("the same folders") << false;
        QTest::newRow("another copy with other folders") << true;
    }
    void secondStartIsRefused() {
        QFETCH(bool, otherFolders);
        const quint16 port = vt::ReservePort();
        Installation inst;
        QVERIFY(inst.make(port, "English"));
        QProcess* first = start(inst);
        QVERIFY(
            waitUntil([&]() { return vt::CanConnect(port, 200) || first->state() != QProcess::Running; }, 30000));
        QCOMPARE(first->state(), QProcess::Running);

        Installation other;
        QVERIFY(other.make(vt::ReservePort(), "English"));
        const Installation& secondInst = otherFolders ? other : inst;
        QProcess* second = start(secondInst, QStringLiteral("ok"));
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 255);  // -1
        const QString running = inst.translate("English", "K6859_Runnig");
        QVERIFY(!running.startsWith(QLatin1String("K6859")));
        QStringList boxes = secondInst.logLines(QStringLiteral("messagebox"));
        QCOMPARE(boxes, QStringList{QStringLiteral("messagebox\t\tKestoServer %1").arg(running)});
        // The first one goes on as before.
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(vt::WaitUntil([&] { return vt::CanConnect(port, 200); }, 30000));

        SHAREMEMHANDLE stop = inst.openStopChannel();
        QVERIFY(stop);
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        QVERIFY(first->waitForFinished(15000));
        QCOMPARE(first->exitCode(), 0);
        ShareMemoryDelete(stop);
    }

    // A stop written while the console starts (before it opened its channel) is obeyed, not
    // cleared as a leftover; one left from before its start is cleared.
    void stopWrittenDuringStart() {
        const quint16 port = vt::ReservePort();
        Installation inst;
        QVERIFY(inst.make(port, "English"));
        SHAREMEMHANDLE stale = inst.openStopChannel();
        QVERIFY(stale);
        QCOMPARE(ConsoleShell::WriteStopCommand(stale), 0);
        QProcess* server = start(inst);
        // Through its constructor, where it met the old stop: cleared, not left for a tick to obey.
        QVERIFY2(windowShown(server), "the console did not come up");
        QVERIFY(!holdsStop(stale));
        // A stop obeyed would end it at its next tick (one second): it must not.
        QTest::qWait(1500);
        QCOMPARE(server->state(), QProcess::Running);
        QCOMPARE(inst.logLines(QStringLiteral("exiting")).size(), 0);
        server->kill();
        server->waitForFinished(5000);
        ShareMemoryDelete(stale);

        QProcess* again = start(inst);
        // Past the clock tick in which the process started (a stop from that tick counts as
        // older), and long before the console has opened its channel.
        const qint64 started = ConsoleShell::ProcessStartMs(again->processId());
        QVERIFY(started > 0);
        QVERIFY(waitUntil([&]() { return ConsoleShell::BootClockMs() >= started; }, 1000));
        SHAREMEMHANDLE stop = inst.openStopChannel();
        QVERIFY(stop);
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        QVERIFY2(again->waitForFinished(15000), "a stop written during the start was lost");
        QCOMPARE(again->exitStatus(), QProcess::NormalExit);
        QCOMPARE(again->exitCode(), 0);
        QCOMPARE(inst.logLines(QStringLiteral("exiting")).size(), 1);
        ShareMemoryDelete(stop);
    }

    // A taken port: the error balloon, the console stays up and its stop channel still ends it.
    void portTakenReportsAndStillStops() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, 0));
        const quint16 port = squatter.serverPort();
        Installation inst;
        QVERIFY(inst.make(port, "English"));
        QProcess* server = start(inst);
        QVERIFY(waitUntil([&]() { return !inst.logLines(QStringLiteral("balloon")).isEmpty(); }, 30000));
        QCOMPARE(inst.logLines(QStringLiteral("balloon")),
                 QStringList{QStringLiteral("balloon\t%1\t%2\tcritical")
                                 .arg(inst.translate("English", "K3745_Error"),
                                      inst.translate("English", "K3746_KestoFail"))});
        // It goes on after the failure: its window comes up.
        QVERIFY2(windowShown(server), "the console did not go on after the failed start");

        SHAREMEMHANDLE stop = inst.openStopChannel();
        QCOMPARE(ConsoleShell::WriteStopCommand(stop), 0);
        QVERIFY2(server->waitForFinished(15000), "the stop channel must work after a failed start");
        QCOMPARE(server->exitCode(), 0);
        ShareMemoryDelete(stop);
        QVERIFY(squatter.isListening());  // nobody took it from its owner
    }

    // A taken port mended through the window, as an operator would: a line under the title says
    // that the engine does not run; on the settings page another port is typed and applied; the
    // engine then answers there, the port is saved and the line is gone.
    void portTakenIsMendedInTheWindow() {
        VT_REQUIRE(vt::HaveTool(QStringLiteral("xdotool")) && vt::HaveTool(QStringLiteral("import")) &&
                       vt::HaveTool(QStringLiteral("convert")),
                   "xdotool and ImageMagick drive and look at the window");
        const quint16 taken = vt::ReservePort();
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, taken));
        Installation inst;
        QVERIFY(inst.make(taken, "English"));
        QProcess* server = start(inst);
        QVERIFY(waitUntil([&]() { return !inst.logLines(QStringLiteral("balloon")).isEmpty(); }, 30000));

        auto tool = [&](const QString& program, const QStringList& args) {
            QProcess p;
            p.setProcessEnvironment(inst.environment(m_display));
            p.start(program, args);
            p.waitForFinished(15000);
            return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        };
        // The console's main window (not its balloon) and where it lies.
        QString window;
        QMap<QString, int> geometry;
        QVERIFY2(waitUntil(
                     [&]() {
                         const QStringList ids = tool(QStringLiteral("xdotool"),
                                                      {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                       QStringLiteral("--pid"), QString::number(server->processId())})
                                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                         for (const QString& id : ids) {
                             QMap<QString, int> g;
                             for (const QString& l : tool(QStringLiteral("xdotool"),
                                                          {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id})
                                                         .split(QLatin1Char('\n')))
                                 g.insert(l.section(QLatin1Char('='), 0, 0), l.section(QLatin1Char('='), 1).toInt());
                             if (g.value(QStringLiteral("WIDTH")) >= 1000) {
                                 window = id;
                                 geometry = g;
                                 return true;
                             }
                         }
                         return false;
                     },
                     30000),
                 "the console's window did not show");
        // The colour under the title, at the window's right end (where no text of the line goes).
        const QString shot = inst.root.filePath(QStringLiteral("window.png"));
        auto lineShows = [&]() {
            tool(QStringLiteral("import"), {QStringLiteral("-window"), window, shot});
            const QString pixel = tool(QStringLiteral("convert"),
                                       {shot, QStringLiteral("-format"),
                                        QStringLiteral("%[pixel:p{%1,42}]").arg(geometry.value(QStringLiteral("WIDTH")) - 20),
                                        QStringLiteral("info:")});
            const QStringList rgb = pixel.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0).split(QLatin1Char(','));
            return rgb.size() >= 3 && rgb[0].toInt() >= 240 && rgb[0].toInt() - rgb[2].toInt() >= 12;  // the warning's pink
        };
        QVERIFY2(waitUntil(lineShows, 15000), "no line says that the engine does not run");

        // Settings is the last page of the list; the port field follows the list in the tab order.
        // Each step ends with a round trip to the X server, and the field is read back before the
        // port is applied, so a busy machine cannot lose a key.
        const quint16 free = vt::ReservePort();
        const int x = geometry.value(QStringLiteral("X")), y = geometry.value(QStringLiteral("Y"));
        const int h = geometry.value(QStringLiteral("HEIGHT"));
        e2e::XSession xs;
        QVERIFY(xs.Open(m_display));
        const QByteArray digits = QByteArray::number(free);
        QString held;
        for (int attempt = 0; attempt < 5 && held != QString::fromLatin1(digits); ++attempt) {
            xs.Click(QPoint(x + 100, y + h / 2 + 100));
            xs.Key(0xff57);  // End: the last page, Settings
            xs.Key(0xff09);  // Tab: the port field
            xs.Key(e2e::XSession::kLetterA, e2e::XSession::kControl);
            xs.Type(digits);
            held = xs.FieldText();
        }
        QVERIFY2(held == QString::fromLatin1(digits), qPrintable(QStringLiteral("the port field holds \"%1\"").arg(held)));
        xs.Key(0xff09);  // Tab: the apply button
        xs.Key(0x20);    // space presses it

        QVERIFY2(waitUntil([&]() { return vt::CanConnect(free, 200); }, 30000), "the engine did not start on the new port");
        QVERIFY(squatter.isListening());
        // The console saves the port once the engine runs there.
        // Read as text: QSettings of this process may keep an older reading of the same file.
        QVERIFY2(waitUntil(
                     [&]() {
                         QFile saved(inst.prog + QStringLiteral("/kestoconfig.ini"));
                         return saved.open(QIODevice::ReadOnly) &&
                                saved.readAll().contains("port=" + QByteArray::number(free) + "\n");
                     },
                     15000),
                 "the new port was not saved");
        QVERIFY(waitUntil([&]() { return inst.logLines(QStringLiteral("balloon")).size() == 2; }, 15000));
        QCOMPARE(inst.logLines(QStringLiteral("balloon")).last(),
                 QStringLiteral("balloon\t%1\t%2\tinformation")
                     .arg(inst.translate("English", "K3741_Msg"), inst.translate("English", "K3744_KestoStart")));
        QVERIFY2(waitUntil([&]() { return !lineShows(); }, 15000), "the line stayed after the engine started");
        QCOMPARE(server->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestKestoServerE2E)
#include "tst_kestoserver_e2e.moc"
