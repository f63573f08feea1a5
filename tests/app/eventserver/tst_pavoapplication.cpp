// The event console's window with a real engine and real WebSocket devices on loopback: the
// callback dispatch, the start outcome and its balloon, the device table, the settings page's
// save (checks, question, write, end, also while the engine is down), the clamps, the stop
// channel during the exit question, and the device-type texts.
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <unistd.h>
#include "testsupport.h"

#include "../consoletesthome.h"
#include "LumoSEvent/LumoSEvent.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"
#include "eventdevice.h"
#include "pavoapplication.h"

using namespace eventtest;

namespace {

// The exit thread posts quit() to the application; count and swallow it (see the recording
// console's test).
struct QuitCatcher : QObject {
    int quits = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == qApp && e->type() == QEvent::MetaCall) {
            ++quits;
            return true;
        }
        return false;
    }
};

}  // namespace

class TestPavoApplication : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_prog, m_log;
    QuitCatcher m_quit;
    SHAREMEMHANDLE m_manager = nullptr;
    QPointer<PavoApplication> m_window;

    QString settingsPath() const { return m_prog + QStringLiteral("/PavoServer.ini"); }
    QString data(const char* sub) const { return m_dir.filePath(QLatin1String(sub)); }

    void writeSettings(quint16 port, const QByteArray& eventHost = QByteArray()) {
        QFile f(settingsPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("port=" + QByteArray::number(port) + "\n\n[EventHost]\n");
        f.write(eventHost.isEmpty() ? "MaxDevNum=16\nMaxEventRows=100000\nMaxPicDays=30\n" : eventHost);
        f.write("PathDbs=" + data("dbs").toUtf8() + "\nPathPic=" + data("pic").toUtf8() + "\n");
    }
    QByteArray settingsBytes() {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QStringList logLines(const QString& kind) { return vt::UiLogLines(m_log, kind); }

    PavoApplication* open() {
        m_window = new PavoApplication(nullptr);
        return m_window;
    }

    QStringList column(PavoApplication* w, int c) {
        QStringList out;
        for (int r = 0; r < w->GetDeviceModel()->rowCount(); ++r)
            out << w->GetDeviceModel()->item(r, c)->text();
        return out;
    }

    void writeStop() { QCOMPARE(ConsoleShell::WriteStopCommand(m_manager), 0); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_prog = consoletest::MakeProgramDir(m_dir);
        QVERIFY(!m_prog.isEmpty());
        QDir::setCurrent(m_prog);
        consoletest::UsePrivateFolders(m_dir, "tst_pavoapplication");
        QCOMPARE(LumoSEInitialize(nullptr), 0);
        qApp->installEventFilter(&m_quit);
        m_manager = ShareMemoryCreate(
            ConsoleShell::StopChannelName(INFRA::Customization::GetEventServerLnkName()).constData(), 1);
        QVERIFY(m_manager);
    }

    void init() {
        m_log = m_dir.filePath(
            QStringLiteral("ui-%1-%2.log")
                .arg(QTest::currentTestFunction(), QString(QTest::currentDataTag()).replace(' ', '_')));
        QFile::remove(m_log);
        INFRA::TestSeams::SetUiLogPath(m_log);
        INFRA::TestSeams::SetScriptedReply(QString());
        VantelUtility::initLanguage(QStringLiteral("English"));
        char zero[1024] = {};
        ShareMemoryWrite(m_manager, 1024, 1, zero, 1024);
        m_quit.quits = 0;
    }

    void cleanup() {
        if (m_window) {
            if (m_window->GetHost()->IsExiting()) QTRY_COMPARE(m_quit.quits, 1);
            delete m_window;
        }
        LumoSEInvalidate();
    }

    void cleanupTestCase() { ShareMemoryDelete(m_manager); }

    void dispatch_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("withRecord");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("devices");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("client");
        QTest::newRow("1 devices") << 1 << false << 0 << 1 << ""
                                   << "";
        QTest::newRow("2 server") << 2 << true << 0 << 0 << "rec-1"
                                  << "";
        QTest::newRow("2 without record") << 2 << false << 0 << 0 << ""
                                          << "";
        QTest::newRow("3 client") << 3 << true << 0 << 0 << ""
                                  << "rec-1";
        QTest::newRow("3 without record") << 3 << false << 0 << 0 << ""
                                          << "";
        QTest::newRow("7 other") << 7 << true << -1 << 0 << ""
                                 << "";
    }
    void dispatch() {
        QFETCH(int, code);
        QFETCH(bool, withRecord);
        QFETCH(int, result);
        QFETCH(int, devices);
        QFETCH(QString, server);
        QFETCH(QString, client);
        writeSettings(vt::ReservePort());
        PavoApplication* w = open();
        QSignalSpy dev(w, &PavoApplication::SigDeviceLogin), srv(w, &PavoApplication::SigServerLogin),
            cli(w, &PavoApplication::SigClientLogin);
        LumoSELoginRecord rec{50, "rec-1", "10.0.0.1"};
        QCOMPARE(PavoApplication::OnServerSignal(w, code, nullptr, withRecord ? &rec : nullptr, nullptr),
                 result);
        QCOMPARE(dev.size(), devices);
        QCOMPARE(srv.isEmpty() ? QString() : srv.first().first().toString(), server);
        QCOMPARE(cli.isEmpty() ? QString() : cli.first().first().toString(), client);
        QCoreApplication::processEvents();
        QCOMPARE(w->GetForm().m_labbindservalvalue->text(), server);
    }

    void deviceTypeKeys_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("key");
        QTest::newRow("IPC") << 0 << "K0503_DevTypeIPC";
        QTest::newRow("NVR") << 1 << "K0504_DevTypeNVR";
        QTest::newRow("UVR") << 2 << "K0505_DevTypeUVR";
        QTest::newRow("3 unknown") << 3 << "K0508_DevTypeUNK";
        QTest::newRow("recording server") << 50 << "K0506_DevTypeKesto";
        QTest::newRow("event server") << 51 << "K0506_DevTypePavo";
    }
    void deviceTypeKeys() {
        QFETCH(int, type);
        QFETCH(QString, key);
        QCOMPARE(QString::fromLatin1(PavoApplication::DeviceTypeKey(type)), key);
    }

    // The engine runs on the port of the file; devices that connect appear, go offline, and the
    // server that binds shows as the bound server.
    void startsAndShowsDevices() {
        const quint16 port = vt::ReservePort();
        writeSettings(port);
        PavoApplication* w = open();
        QVERIFY(w->IsEngineRunning());
        QCOMPARE(w->GetPort(), port);
        QCOMPARE(logLines(QStringLiteral("balloon")),
                 QStringList{QStringLiteral("balloon\tMessage\tThe event server has started.\tinformation")});
        QCOMPARE(w->GetForm().m_lbl_portvalue->text(), QString::number(port));
        QVERIFY(!w->GetForm().m_edit_port->isEnabled());
        QVERIFY(w->GetForm().m_button_edit->isHidden());
        QCOMPARE(w->GetDeviceModel()->columnCount(), 4);
        QCOMPARE(w->GetDeviceModel()->headerData(3, Qt::Horizontal).toString(),
                 QStringLiteral("Online state"));
        // Name and address wide, the type narrow; the state column stretches over the rest.
        const QTableView* table = w->GetForm().m_twclient;
        QCOMPARE((QList<int>{table->columnWidth(0), table->columnWidth(1), table->columnWidth(2)}),
                 (QList<int>{200, 200, 100}));
        QVERIFY(table->horizontalHeader()->stretchLastSection());
        QTRY_COMPARE_WITH_TIMEOUT(w->GetForm().m_lbl_runtimevalue->text(), QStringLiteral("00:00:01"), 3000);

        Device cam(port), server(port);
        auto nvr = std::make_unique<Device>(port);
        QVERIFY(cam.waitConnected() && server.waitConnected() && nvr->waitConnected());
        QCOMPARE(cam.reg("cam-1", 0).value("msg").toString(), QStringLiteral("registered"));
        QCOMPARE(nvr->reg("nvr-1", 1).value("msg").toString(), QStringLiteral("registered"));
        QCOMPARE(server.reg("rec-server", 50).value("msg").toString(), QStringLiteral("registered"));
        QTRY_COMPARE(w->GetDeviceModel()->rowCount(), 3);
        QTRY_COMPARE(w->GetForm().m_labbindservalvalue->text(), QStringLiteral("rec-server"));
        QCOMPARE(column(w, 0), QStringList({"cam-1", "nvr-1", "rec-server"}));
        QCOMPARE(column(w, 1), QStringList({"127.0.0.1", "127.0.0.1", "127.0.0.1"}));
        QCOMPARE(column(w, 2), QStringList({"IP camera", "NVR", "Recording server"}));
        QCOMPARE(column(w, 3), QStringList({"Online", "Online", "Online"}));
        QVERIFY(!(w->GetDeviceModel()->item(0, 0)->flags() & Qt::ItemIsEditable));
        nvr.reset();
        QTRY_COMPARE(column(w, 3), QStringList({"Online", "Offline", "Online"}));
    }

    // A taken port: the error balloon, not the success one; the port can be changed; the
    // settings can still be saved, and saving ends the program to start it again.
    void portTakenShowsErrorAndSettingsStillSave() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, vt::ReservePort()));
        writeSettings(squatter.serverPort());
        PavoApplication* w = open();
        QVERIFY(!w->IsEngineRunning());
        QCOMPARE(
            logLines(QStringLiteral("balloon")),
            QStringList{QStringLiteral("balloon\tError\tThe event server could not start. Check its port and "
                                       "folders.\tcritical")});
        QVERIFY(w->GetForm().m_edit_port->isEnabled());
        QCOMPARE(w->GetDeviceModel()->rowCount(), 0);
        w->GetForm().m_editmaxdevnum->setText(QStringLiteral("8"));
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("yes"));
        QVERIFY(w->SaveEventHostSettings());
        QCOMPARE(EventHost::Read(settingsPath()).maxDevNum, QStringLiteral("8"));
        QVERIFY(w->GetHost()->IsExiting());
        QCOMPARE(w->ExitCode(), kRestartExitCode);
        QTRY_COMPARE(m_quit.quits, 1);
    }

    // The port edit, open while the engine is down, starts it on a free port and keeps that.
    void portChangedWhileDown() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, vt::ReservePort()));
        writeSettings(squatter.serverPort());
        PavoApplication* w = open();
        QVERIFY(!w->IsEngineRunning());
        const quint16 port = vt::ReservePort();
        w->GetForm().m_edit_port->setText(QString::number(port));
        w->OnEditPort();
        QVERIFY(w->IsEngineRunning());
        QVERIFY(!vt::PortIsFree(port));
        QCOMPARE(QSettings(settingsPath(), QSettings::IniFormat).value("port").toInt(), int(port));
        QVERIFY(!w->GetForm().m_edit_port->isEnabled());
        // The callback is attached to the new engine.
        Device cam(port);
        QVERIFY(cam.waitConnected());
        QCOMPARE(cam.reg("cam").value("msg").toString(), QStringLiteral("registered"));
        QTRY_COMPARE(w->GetDeviceModel()->rowCount(), 1);
    }

    void saveChecks_data() {
        QTest::addColumn<QString>("field");  // which edit
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("notice");  // notify text, or empty
        QTest::addColumn<bool>("asked");      // the reset question showed
        QTest::addColumn<QString>("stored");  // the value in the file afterwards
        QTest::newRow("devices above 16 bits")
            << "dev"
            << "70000"
            << "yes"
            << "The maximum number of devices must be a whole number from 0 to "
               "65535."
            << false << "16";
        QTest::newRow("devices wrap to 0")
            << "dev"
            << "65536"
            << "yes"
            << "The maximum number of devices must be a whole number from 0 to "
               "65535."
            << false << "16";
        QTest::newRow("negative picture days")
            << "days"
            << "-3"
            << "yes"
            << "The days pictures are kept must be a whole number from 0 to "
               "65535."
            << false << "30";
        QTest::newRow("fewer than connected")
            << "dev"
            << "1"
            << "yes"
            << "The maximum number of devices is less than the number of devices "
               "connected."
            << false << "16";
        QTest::newRow("as many as connected, yes") << "dev"
                                                   << "2"
                                                   << "yes"
                                                   << "" << true << "2";
        QTest::newRow("declined") << "dev"
                                  << "5"
                                  << "no"
                                  << "" << true << "16";
        QTest::newRow("ten-digit rows clamped at save") << "rows"
                                                        << "3000000000"
                                                        << "yes"
                                                        << "" << true << "2147483647";
    }
    void saveChecks() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, reply);
        QFETCH(QString, notice);
        QFETCH(bool, asked);
        QFETCH(QString, stored);
        const quint16 port = vt::ReservePort();
        writeSettings(port);
        PavoApplication* w = open();
        QVERIFY(w->IsEngineRunning());
        Device a(port), b(port);
        QVERIFY(a.waitConnected() && b.waitConnected());
        QCOMPARE(a.reg("a").value("msg").toString(), QStringLiteral("registered"));
        QCOMPARE(b.reg("b").value("msg").toString(), QStringLiteral("registered"));
        const QByteArray before = settingsBytes();
        QLineEdit* edit = field == "dev"    ? w->GetForm().m_editmaxdevnum
                          : field == "days" ? w->GetForm().m_editmaxpicday
                                            : w->GetForm().m_editmaxevtrows;
        edit->setText(text);  // typed, and editing never finished
        INFRA::TestSeams::SetScriptedReply(reply);
        const bool saved = w->SaveEventHostSettings();
        QCOMPARE(saved, asked && reply == "yes");
        QStringList notices = logLines(QStringLiteral("notify"));
        QCOMPARE(notices.size(), notice.isEmpty() ? 0 : 1);
        if (!notice.isEmpty()) QCOMPARE(notices.first(), QStringLiteral("notify\tFailed\t") + notice + "\t1");
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), asked ? 1 : 0);
        const EventHostSettings now = EventHost::Read(settingsPath());
        const QString value = field == "dev"    ? now.maxDevNum
                              : field == "days" ? now.maxPicDays
                                                : now.maxEventRows;
        QCOMPARE(value, stored);
        if (!saved) {
            QCOMPARE(settingsBytes(), before);
            QVERIFY(!w->GetHost()->IsExiting());
            QCOMPARE(w->ExitCode(), 0);
            // Refused: the edit keeps the typed text; declined: the stored one comes back.
            QCOMPARE(edit->text(), reply == "no" ? stored : text);
        } else {
            // Saving ends the program to start it again with the values (main does that on
            // this code): the engine is stopped and its port is free for the new instance.
            QVERIFY(w->GetHost()->IsExiting());
            QCOMPARE(w->ExitCode(), kRestartExitCode);
            QTRY_COMPARE(m_quit.quits, 1);
            QVERIFY(!w->IsEngineRunning());
            QVERIFY(vt::PortIsFree(port));
        }
    }

    void unchangedSaveDoesNothing() {
        writeSettings(vt::ReservePort());
        PavoApplication* w = open();
        const QByteArray before = settingsBytes();
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("yes"));
        QVERIFY(!w->SaveEventHostSettings());
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 0);
        QCOMPARE(logLines(QStringLiteral("notify")).size(), 0);
        QCOMPARE(settingsBytes(), before);
    }

    // The first start stores the engine's work path for both folders; the refresh drops typing.
    void firstStartStoresWorkPathAndRefreshReloads() {
        QFile f(settingsPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("port=" + QByteArray::number(vt::ReservePort()) + "\n");
        f.close();
        PavoApplication* w = open();
        const QString work = QString::fromUtf8(LumoSEGetWorkPath());
        QCOMPARE(w->GetForm().m_editpathdbs->text(), work);
        QCOMPARE(w->GetForm().m_editpathpic->text(), work);
        QCOMPARE(EventHost::Read(settingsPath()).pathDbs, work);
        QCOMPARE(EventHost::Read(settingsPath()).pathPic, work);
        w->GetForm().m_editpathpic->setText(QStringLiteral("/typed"));
        QTest::mouseClick(w->GetForm().m_btnrefresh, Qt::LeftButton);
        QCOMPARE(w->GetForm().m_editpathpic->text(), work);
    }

    void clampWhenEditingFinishes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("99999") << "99999"
                               << "100000";
        QTest::newRow("0") << "0"
                           << "100000";
        QTest::newRow("-5") << "-5"
                            << "100000";
        QTest::newRow("100000") << "100000"
                                << "100000";
        QTest::newRow("2147483647") << "2147483647"
                                    << "2147483647";
    }
    void clampWhenEditingFinishes() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        writeSettings(vt::ReservePort());
        PavoApplication* w = open();
        w->GetForm().m_editmaxevtrows->setText(text);
        emit w->GetForm().m_editmaxevtrows->editingFinished();
        QCOMPARE(w->GetForm().m_editmaxevtrows->text(), shown);
    }

    // "stop" while the exit question is open: one exit, one quit; the question goes with it.
    void stopWhileQuestionIsOpen() {
        const quint16 port = vt::ReservePort();
        writeSettings(port);
        PavoApplication* w = open();
        QTimer::singleShot(200, this, [this]() { writeStop(); });
        w->OnExitApp();  // returns when the exit closes the box
        QVERIFY(w->GetHost()->IsExiting());
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 1);
        QCOMPARE(logLines(QStringLiteral("exiting")).size(), 1);
        w->OnExitApp();
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 1);
        QTRY_COMPARE(m_quit.quits, 1);
        QTest::qWait(200);
        QCOMPARE(m_quit.quits, 1);
        QCOMPARE(w->ExitCode(), 0);  // a stop ends it for good
        QVERIFY(!w->IsEngineRunning());
        QVERIFY(vt::PortIsFree(port));
        // The timer went later, not inside its own slot.
        QVERIFY(!w->GetHost()->GetConsoleTimer());
    }

    // A language change relabels the window and keeps showing the engine's port.
    void languageChange() {
        const quint16 port = vt::ReservePort();
        writeSettings(port);
        PavoApplication* w = open();
        QCOMPARE(w->GetForm().m_labmaxdevnum->text(), QStringLiteral("Maximum devices : "));
        VantelUtility::initLanguage(QStringLiteral("Chinese"));
        QCoreApplication::processEvents();
        QCOMPARE(w->GetForm().m_labmaxdevnum->text(), QStringLiteral("最大设备数 : "));
        QCOMPARE(w->GetForm().m_listWidget->item(1)->text(), QStringLiteral("设备维护"));
        QCOMPARE(w->GetDeviceModel()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("设备名称"));
        QCOMPARE(w->GetForm().m_lbl_portvalue->text(), QString::number(port));
    }

    void securityFileImport_data() {
        QTest::addColumn<QByteArray>("content");  // "-": the chooser is cancelled
        QTest::addColumn<QString>("balloon");
        QTest::newRow("valid") << QByteArray("<SecurityFile><Client name=\"ops\"/></SecurityFile>")
                               << "balloon\tMessage\tThe security file was imported.\tinformation";
        QTest::newRow("not a security file")
            << QByteArray("<Other/>") << "balloon\tError\tImporting the security file failed.\tcritical";
        QTest::newRow("cancelled") << QByteArray("-") << "";
    }
    void securityFileImport() {
#if defined(__SANITIZE_THREAD__)
        // The file chooser's background file-information thread is Qt's own, locked with mutexes
        // the thread sanitizer cannot see: its reports would not be about this code.
        QSKIP("the file chooser's own thread is not instrumented");
#endif
        QFETCH(QByteArray, content);
        QFETCH(QString, balloon);
        writeSettings(vt::ReservePort());
        PavoApplication* w = open();
        const int before = logLines(QStringLiteral("balloon")).size();
        const QString file = m_dir.filePath(QStringLiteral("security.xml"));
        QFile::remove(file);
        if (content != "-") {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        QTimer::singleShot(300, this, [file, content]() {
            auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            if (content == "-") {
                dlg->reject();
            } else {
                auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                name->setText(file);
                static_cast<QDialog*>(dlg)->accept();
            }
        });
        w->OnSecurityFileImport();
        const QStringList balloons = logLines(QStringLiteral("balloon")).mid(before);
        QCOMPARE(balloons, balloon.isEmpty() ? QStringList() : QStringList{balloon});
        QFile::remove(QString::fromUtf8(LumoSEGetWorkPath()) + QStringLiteral("/security.xml"));
    }

    // The language combo switches the window and stores the choice in PavoServer.ini.
    void languageSwitchFromTheCombo() {
        writeSettings(vt::ReservePort());
        PavoApplication* w = open();
        Ui::PavoApplication& ui = w->GetForm();
        QCOMPARE(ui.CbLanguage->currentText(), QStringLiteral("English"));
        ui.CbLanguage->setCurrentText(QStringLiteral("简体中文"));
        QTRY_COMPARE(ui.m_lbl_runtime->text(), QStringLiteral("运行时间 : "));
        QCOMPARE(ui.LTitle->text(), QStringLiteral("事件服务器"));
        QSettings s(settingsPath(), QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        QCOMPARE(s.value(QStringLiteral("skin/language")).toString(), QStringLiteral("Chinese"));
        ui.CbLanguage->setCurrentText(QStringLiteral("English"));
        QTRY_COMPARE(ui.m_lbl_runtime->text(), QStringLiteral("Running time : "));
    }
};

QTEST_MAIN(TestPavoApplication)
#include "tst_pavoapplication.moc"
