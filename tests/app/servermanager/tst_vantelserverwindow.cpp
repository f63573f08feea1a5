// The management console's window with a real engine: it starts with the engine down (port
// taken) and still builds its tables, starts later, lists real secure WebSocket clients, exports
// them to a real .xlsx, exports the certificate, stops and exits without touching a released
// engine, and drives the server list's stop channels.
#include <QAbstractItemModelTester>
#include <QTimer>
#include <QPushButton>
#include <QApplication>
#include <QAction>
#include <QJsonDocument>
#include <QMenu>
#include <QJsonObject>
#include <QProcess>
#include <QResource>
#include <QTranslator>
#include <QSettings>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStandardItemModel>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>
#include <cstring>
#include <memory>
#include <unistd.h>
#include "testsupport.h"

#include "LumoSServer/LumoSServer.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelProcess/sharememory.h"
#include "VantelInfraAPI/testseams.h"
#include "consoleshell.h"
#include "engineholder.h"
#include "pageserverlist.h"
#include "pgconfig.h"
#include "pgmaintain.h"
#include "serverdata.h"
#include "testsupport.h"
#include "vantelserver.h"

namespace {

const char kPassword[] = "console-pw";

struct Client {
    std::unique_ptr<QWebSocket> ws{new QWebSocket};
    bool connected = false;
    QList<QJsonObject> replies;
};

QString Unzip(const QString& xlsx, const QString& member) {
    QProcess p;
    p.start("unzip", {"-p", xlsx, member});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

class TestVantelServerWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QTcpServer m_blocker;  // holds the console's port at start
    quint16 m_port = 0;
    VantelServer* m_window = nullptr;
    std::vector<std::unique_ptr<Client>> m_clients;

    PgConfig* config() { return static_cast<PgConfig*>(m_window->Page(VantelServer::PageConfig)); }
    PgMaintain* maintain() { return static_cast<PgMaintain*>(m_window->Page(VantelServer::PageMaintain)); }
    PageServerList* servers() {
        return static_cast<PageServerList*>(m_window->Page(VantelServer::PageServers));
    }

    QStringList uiLog(const QString& kind) {
        QFile f(INFRA::TestSeams::UiLogPath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList out;
        for (const QString& l : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts))
            if (l.startsWith(kind + '\t')) out << l;
        return out;
    }

    Client* login(const QString& account) {
        auto c = std::make_unique<Client>();
        QSslConfiguration cfg = QSslConfiguration::defaultConfiguration();
        cfg.setCaCertificates(QSslCertificate::fromData(
            QByteArray::fromStdString(LumoSCertificatePem(EngineHolder::Handle()))));
        cfg.setPeerVerifyMode(QSslSocket::VerifyPeer);
        c->ws->setSslConfiguration(cfg);
        Client* raw = c.get();
        connect(raw->ws.get(), &QWebSocket::connected, [raw] { raw->connected = true; });
        connect(raw->ws.get(), &QWebSocket::textMessageReceived,
                [raw](const QString& t) { raw->replies << QJsonDocument::fromJson(t.toUtf8()).object(); });
        raw->ws->open(QUrl(QStringLiteral("wss://127.0.0.1:%1").arg(m_port)));
        if (!QTest::qWaitFor([raw] { return raw->connected; }, 10000)) return nullptr;
        raw->ws->sendTextMessage(QStringLiteral("{\"type\":\"login\",\"account\":\"%1\",\"password\":\"%2\"}")
                                     .arg(account, QLatin1String(kPassword)));
        if (!QTest::qWaitFor([raw] { return !raw->replies.isEmpty(); }, 10000)) return nullptr;
        if (raw->replies.first().value("result").toInt(-1) != 0) return nullptr;
        m_clients.push_back(std::move(c));
        return raw;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("VANTEL_INSTANCE_SCOPE",
                QByteArray("tst_vantelserverwindow-") + QByteArray::number(getpid()));
        qputenv("HOME", m_dir.filePath("home").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
        INFRA::TestSeams::SetUiLogPath(m_dir.filePath("ui.log"));
        INFRA::TestSeams::SetScriptedReply("ok");
        const QString prog = m_dir.filePath("prog");
        QVERIFY(QDir().mkpath(prog));
        INFRA::TestSeams::SetProgramDir(prog);
        const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
        QVERIFY(QResource::registerResource(bin + "/vantelres.xdll"));
        QVERIFY(QDir().mkpath(prog + "/Languages"));
        for (const QString& f : QDir(bin + "/Languages").entryList(QDir::Files))
            QVERIFY(QFile::copy(bin + "/Languages/" + f, prog + "/Languages/" + f));
        QVERIFY(QDir::setCurrent(prog));
        QVERIFY(m_blocker.listen(QHostAddress::Any, vt::ReservePort()));
        m_port = m_blocker.serverPort();
        ServerDataStore::UseSettingsFile(m_dir.filePath("VantelServer.ini"));
        {
            QSettings s(ServerDataStore::SettingsFile(), QSettings::IniFormat);
            s.setValue("PgConfigData/port", m_port);
        }
        LumoSInitialize();
        LumoSSetDataPath(m_dir.filePath("engine").toUtf8().constData());
        LumoSSetDefaultPassword(kPassword);
        m_window = new VantelServer(nullptr, nullptr);
        new QAbstractItemModelTester(maintain()->ClientModel(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     m_window);
    }

    void cleanupTestCase() {
        m_clients.clear();
        delete m_window;
        LumoSInvalidate();
    }

    void engineDownAtStartStillHasTables() {
        QVERIFY(!EngineHolder::IsRunning());
        QVERIFY(!EngineHolder::Handle());
        const QList<QAction*> tray = m_window->GetHost()->GetTrayMenu()->actions();
        QCOMPARE(tray.size(), 2);
        QCOMPARE(tray[0]->text(), QObject::tr("K4513_Set"));
        QCOMPARE(tray[1]->text(), QObject::tr("K4514_Logout"));
        // The failed start released its engine.
        QCOMPARE(LumoSServerCount(), 0);
        QVERIFY(!uiLog("balloon").filter(QObject::tr("K4506_VantelServerFail")).isEmpty());
        QVERIFY(maintain()->ClientModel());
        QVERIFY(maintain()->ResourceModel());
        QCOMPARE(maintain()->ResourceModel()->rowCount(), 50);
        QCOMPARE(m_window->GetForm().LbPortInfo->text(), QString("----"));
        QVERIFY(!m_window->GetForm().BtnExportCetification->isEnabled());
        // An event now finds the tables and no engine.
        emit m_window->SignalServerUser();
        QCoreApplication::processEvents();
        QCOMPARE(maintain()->ClientModel()->rowCount(), 0);
        // Retrying while the port is still taken piles up no engines.
        config()->OnBtnStopStartServerClicked();
        QCOMPARE(LumoSServerCount(), 0);
    }

    void startLaterAndClientsFollow() {
        m_blocker.close();
        config()->OnBtnStopStartServerClicked();
        QVERIFY(EngineHolder::IsRunning());
        QCOMPARE(LumoSServerCount(), 1);
        QCOMPARE(m_window->GetForm().LbPortInfo->text(), QString::number(m_port));
        QVERIFY(m_window->GetForm().BtnExportCetification->isEnabled());
        Client* a = login(QString::fromUtf8("值班员"));
        QVERIFY(a);
        QVERIFY(login("bob"));
        QTRY_COMPARE(maintain()->ClientModel()->rowCount(), 2);
        QCOMPARE(maintain()->ClientModel()->item(0, 0)->text(), QString("127.0.0.1"));
        QCOMPARE(maintain()->ClientModel()->item(0, 1)->text(), QString::fromUtf8("值班员"));
        QVERIFY(
            QDateTime::fromString(maintain()->ClientModel()->item(0, 2)->text(), "yyyy-MM-dd HH:mm:ss.zzz")
                .isValid());
        a->ws->sendTextMessage("{\"type\":\"logout\"}");
        QTRY_COMPARE(maintain()->ClientModel()->rowCount(), 1);
        QCOMPARE(maintain()->ClientModel()->item(0, 1)->text(), QString("bob"));
        QVERIFY(login("carol"));
        QTRY_COMPARE(maintain()->ClientModel()->rowCount(), 2);
    }

    // A login or a logout touches its own row only: with many clients listed, rebuilding every
    // row on each change cost the console time growing with the square of the clients.
    void oneChangeTouchesOneRow() {
        QAbstractItemModel* model = maintain()->ClientModel();
        const int before = model->rowCount();
        const size_t ours = m_clients.size();
        for (int i = 0; i < 20; ++i) QVERIFY(login(QStringLiteral("c%1").arg(i)));
        QTRY_COMPARE(model->rowCount(), before + 20);
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QVERIFY(login("late"));
        QTRY_COMPARE(model->rowCount(), before + 21);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.first().at(1).toInt(), before + 20);
        for (const QList<QVariant>& c : changed) QCOMPARE(c.at(0).toModelIndex().row(), before + 20);
        QCOMPARE(model->index(before + 20, 1).data().toString(), QString("late"));

        changed.clear();
        inserted.clear();
        m_clients[ours + 5]->ws->sendTextMessage("{\"type\":\"logout\"}");
        QTRY_COMPARE(model->rowCount(), before + 20);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.first().at(1).toInt(), before + 5);
        QVERIFY(changed.isEmpty());
        QVERIFY(inserted.isEmpty());
        QCOMPARE(reset.size(), 0);
        QStringList accounts;
        for (int r = before; r < model->rowCount(); ++r) accounts << model->index(r, 1).data().toString();
        QStringList expected;
        for (int i = 0; i < 20; ++i)
            if (i != 5) expected << QStringLiteral("c%1").arg(i);
        QCOMPARE(accounts, expected << "late");

        // Dropped connections go the same way; the rows of the others stay as they were.
        m_clients.erase(m_clients.begin() + long(ours), m_clients.end());
        QTRY_COMPARE(model->rowCount(), before);
        QCOMPARE(reset.size(), 0);
    }

    void dispatch_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("withText");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("logs");
        QTest::addColumn<int>("users");
        QTest::newRow("log line") << 1 << true << 0 << 1 << 0;
        QTest::newRow("log without text") << 1 << false << 0 << 0 << 0;
        QTest::newRow("clients changed") << 2 << false << 0 << 0 << 1;
        QTest::newRow("unknown code") << 7 << true << -1 << 0 << 0;
    }
    void dispatch() {
        QFETCH(int, code);
        QFETCH(bool, withText);
        QFETCH(int, result);
        QFETCH(int, logs);
        QFETCH(int, users);
        QSignalSpy logSpy(m_window, &VantelServer::SignalServerLog);
        QSignalSpy userSpy(m_window, &VantelServer::SignalServerUser);
        CLumoString text("engine says");
        QCOMPARE(m_window->OnServerSignal(nullptr, code, withText ? &text : nullptr), result);
        QCOMPARE(logSpy.count(), logs);
        QCOMPARE(userSpy.count(), users);
        if (logs) QCOMPARE(logSpy.first().first().toString(), QString("engine says"));
    }

    void spreadsheetExport() {
        const QString path = m_dir.filePath(QString::fromUtf8("客户端 20240101000000.xlsx"));
        QCOMPARE(maintain()->ExportTo(path, maintain()->ClientModel()), 0);
        const QString sheet = Unzip(path, "xl/worksheets/sheet1.xml");
        QVERIFY2(!sheet.isEmpty(), "the workbook must unzip and hold a sheet");
        QCOMPARE(sheet.count("<row "), 3);  // header + two clients
        const QString strings = Unzip(path, "xl/sharedStrings.xml");
        QStringList texts{"bob", "carol", "127.0.0.1"};
        for (int c = 0; c < 3; ++c)
            texts << maintain()->ClientModel()->headerData(c, Qt::Horizontal).toString();
        for (const QString& text : texts) QVERIFY2(strings.contains(text.toHtmlEscaped()), qPrintable(text));
        QVERIFY(!uiLog("balloon").filter(QObject::tr("K4593_ExportDone")).isEmpty());

        // A table without rows still gets its header; an existing file is replaced whole.
        QStandardItemModel empty(0, 3);
        empty.setHorizontalHeaderLabels({"a", "b", "c"});
        QCOMPARE(maintain()->ExportTo(path, &empty), 0);
        QCOMPARE(Unzip(path, "xl/worksheets/sheet1.xml").count("<row "), 1);

        // A folder that does not exist: a failure the operator is told of.
        const int boxes = uiLog("messagebox").size();
        QVERIFY(maintain()->ExportTo(m_dir.filePath("missing/x.xlsx"), maintain()->ClientModel()) < 0);
        QCOMPARE(uiLog("messagebox").size(), boxes + 1);
        QVERIFY(uiLog("messagebox").last().contains(QObject::tr("K4592_ExportFailed")));
    }

    void certificateExport() {
        const QString path = m_dir.filePath("cert.xml");
        QCOMPARE(config()->ExportCertificateTo(path), 0);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains(
            QByteArray::fromStdString(LumoSCertificatePem(EngineHolder::Handle())).trimmed()));

        // Too long for the engine's buffer: refused whole, told, and nothing written anywhere.
        const QString longPath = m_dir.filePath(QString(1100, 'c') + ".xml");
        const int boxes = uiLog("messagebox").size();
        QCOMPARE(config()->ExportCertificateTo(longPath), int(LUMO_ERR_PARAM));
        QCOMPARE(uiLog("messagebox").size(), boxes + 1);
        QVERIFY(uiLog("messagebox").last().contains(QObject::tr("K4591_PathTooLong")));
        QVERIFY(QDir(m_dir.path()).entryList({"ccc*"}).isEmpty());
    }

    // On a full disk an export fails, says the disk is full, never says "written", and keeps the
    // good export that was there.
    void fullDiskKeepsExports_data() {
        QTest::addColumn<bool>("spreadsheet");
        QTest::newRow("clients spreadsheet") << true;
        QTest::newRow("certificate") << false;
    }
    void fullDiskKeepsExports() {
        QFETCH(bool, spreadsheet);
        vt::SmallTmpfs disk;
        QString why;
        VT_REQUIRE(disk.Mount(256 * 1024, &why), why);
        const QString path = disk.filePath(spreadsheet ? "clients.xlsx" : "cert.xml");
        auto exportNow = [&] {
            return spreadsheet ? maintain()->ExportTo(path, maintain()->ClientModel())
                               : config()->ExportCertificateTo(path);
        };
        QCOMPARE(exportNow(), 0);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray good = f.readAll();
        f.close();
        QVERIFY(good.size() > 0);
        QVERIFY(disk.Fill());
        const int balloons = uiLog("balloon").filter(QObject::tr("K4593_ExportDone")).size();
        const int boxes = uiLog("messagebox").size();
        QCOMPARE(exportNow(), int(LUMO_ERR_DISKFULL));
        QCOMPARE(uiLog("balloon").filter(QObject::tr("K4593_ExportDone")).size(), balloons);
        QCOMPARE(uiLog("messagebox").size(), boxes + 1);
        QVERIFY2(uiLog("messagebox").last().contains("disk is full"), qPrintable(uiLog("messagebox").last()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), good);
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // the export and the filler
    }

    void stopLeavesNoHandleBehind() {
        INFRA::TestSeams::SetScriptedReply("no");
        config()->OnBtnStopStartServerClicked();
        QVERIFY(EngineHolder::IsRunning());
        INFRA::TestSeams::SetScriptedReply("yes");
        // An event queued while the engine still ran is delivered after the stop.
        emit m_window->SignalServerUser();
        config()->OnBtnStopStartServerClicked();
        QVERIFY(!EngineHolder::IsRunning());
        QVERIFY(!EngineHolder::Handle());
        QCOMPARE(LumoSServerCount(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(maintain()->ClientModel()->rowCount(), 0);
        QVERIFY(!m_window->GetForm().BtnExportCetification->isEnabled());
        QCOMPARE(config()->ExportCertificateTo(m_dir.filePath("after-stop.xml")), int(LUMO_ERR_STATE));
        QVERIFY(!QFile::exists(m_dir.filePath("after-stop.xml")));
        QVERIFY(QFileInfo::exists(m_dir.filePath("VantelServer.ini")));
        // The debug trace of the stop goes to the log, never into a stray file.
        QVERIFY(!QFile::exists("D:\\vantelserver.txt"));
        INFRA::TestSeams::SetScriptedReply("ok");
    }

    void portEdit_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << "" << 8088 << true;
        QTest::newRow("zero") << "0" << 8088 << true;
        QTest::newRow("above range") << "70000" << 8088 << true;
        QTest::newRow("in range") << "9123" << 9123 << true;
        QTest::newRow("below 80 refused") << "8" << -1 << false;
    }
    void portEdit() {
        QFETCH(QString, text);
        QFETCH(int, port);
        QFETCH(bool, accepted);
        const quint16 before = config()->Port();
        config()->OnBtnEditPortClicked();
        QVERIFY(config()->IsEditing());
        m_window->GetForm().EdtPort->setText(text);
        config()->OnBtnEditPortClicked();
        QCOMPARE(!config()->IsEditing(), accepted);
        if (accepted) {
            QCOMPARE(int(config()->Port()), port);
            QSettings s(ServerDataStore::SettingsFile(), QSettings::IniFormat);
            QCOMPARE(s.value("PgConfigData/port").toInt(), port);
        } else {
            QCOMPARE(config()->Port(), before);
            QVERIFY(uiLog("messagebox").last().contains(QObject::tr("K4589_PortRange")));
            config()->OnBtnCanclePortClicked();
            QCOMPARE(m_window->GetForm().EdtPort->text(), QString::number(before));
        }
    }

    void serverListStopChannel() {
        PageServerList* page = servers();
        const QByteArray name =
            ConsoleShell::StopChannelName(INFRA::Customization::GetRecorderServerLnkName());
        SHAREMEMHANDLE host = ShareMemoryCreate(name.constData(), 1);
        QVERIFY(host);
        char block[SHAREMEM_DEFAULT_SIZE] = {};

        // A host that is running gets the stop; the switch waits disabled.
        QTemporaryDir proc;
        QVERIFY(QDir().mkpath(proc.filePath("4242")));
        QVERIFY(QFile::link("/opt/x/KestoServer", proc.filePath("4242/exe")));
        QFile stat(proc.filePath("4242/stat"));
        QVERIFY(stat.open(QIODevice::WriteOnly));
        stat.write("4242 (KestoServer) S 1\n");
        stat.close();
        // Started in this test's instance scope, as the list's own hosts are.
        QFile environ(proc.filePath("4242/environ"));
        QVERIFY(environ.open(QIODevice::WriteOnly));
        environ.write("VANTEL_INSTANCE_SCOPE=" + qgetenv("VANTEL_INSTANCE_SCOPE") + '\0');
        environ.close();
        page->SetProcRoot(proc.path());
        page->CheckStatus();
        QTRY_VERIFY(page->Status(PageServerList::RowRecorder)->IsRunning());
        QCOMPARE(page->Ope(PageServerList::RowRecorder)->State(), int(OpeWidget::Running));
        QVERIFY(!page->Status(PageServerList::RowEvent)->IsRunning());
        QCOMPARE(page->Model()->item(PageServerList::RowRecorder, 2)->text(), QString("8431"));
        QCOMPARE(page->Model()->item(PageServerList::RowEvent, 2)->text(), QString("8432"));

        emit page->Ope(PageServerList::RowRecorder)->Button()->pressed();
        QCOMPARE(page->Ope(PageServerList::RowRecorder)->State(), int(OpeWidget::Stopping));
        QVERIFY(!page->Ope(PageServerList::RowRecorder)->Button()->isEnabled());
        QCOMPARE(ShareMemoryRead(host, 1, block, sizeof block), 0);
        QVERIFY(ConsoleShell::IsStopCommand(block, sizeof block));
        // Still listed: still stopping.
        page->CheckStatus();
        QTRY_VERIFY(!page->IsChecking());
        QCOMPARE(page->Ope(PageServerList::RowRecorder)->State(), int(OpeWidget::Stopping));

        // The host died without reading it: the stop must not end the next host started.
        QVERIFY(QDir(proc.filePath("4242")).removeRecursively());
        page->CheckStatus();
        QTRY_COMPARE(page->Ope(PageServerList::RowRecorder)->State(), int(OpeWidget::Stopped));
        QVERIFY(
            !page->StartServerProcess(PageServerList::RowRecorder));  // no such program in the test's folder
        std::memset(block, 0x55, sizeof block);
        QCOMPARE(ShareMemoryRead(host, 1, block, sizeof block), 0);
        QVERIFY(std::all_of(block, block + sizeof block, [](char c) { return c == 0; }));
        ShareMemoryDelete(host);
        page->SetProcRoot("/proc");
    }

    // Stopping a running host ends its work: the list asks first, naming it, and only Yes
    // writes the stop; No or a closed box leave the host running and its channel empty.
    void serverListStopAsks_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("stops");
        QTest::newRow("recorder, yes") << int(PageServerList::RowRecorder) << "yes" << true;
        QTest::newRow("recorder, no") << int(PageServerList::RowRecorder) << "no" << false;
        QTest::newRow("recorder, closed") << int(PageServerList::RowRecorder) << "close" << false;
        QTest::newRow("event, yes") << int(PageServerList::RowEvent) << "yes" << true;
        QTest::newRow("event, no") << int(PageServerList::RowEvent) << "no" << false;
    }
    void serverListStopAsks() {
        QFETCH(int, row);
        QFETCH(QString, reply);
        QFETCH(bool, stops);
        const bool recorder = row == PageServerList::RowRecorder;
        const QString name = recorder ? INFRA::Customization::GetRecorderServerName()
                                      : INFRA::Customization::GetEventServerName();
        const QString link = recorder ? INFRA::Customization::GetRecorderServerLnkName()
                                      : INFRA::Customization::GetEventServerLnkName();
        SHAREMEMHANDLE host = ShareMemoryCreate(ConsoleShell::StopChannelName(link).constData(), 1);
        QVERIFY(host);
        char block[SHAREMEM_DEFAULT_SIZE] = {};
        QCOMPARE(ShareMemoryWrite(host, SHAREMEM_DEFAULT_SIZE, 1, block, sizeof block), 0);

        QTemporaryDir proc;
        QVERIFY(QDir().mkpath(proc.filePath("4243")));
        QVERIFY(QFile::link("/opt/x/" + name, proc.filePath("4243/exe")));
        QFile stat(proc.filePath("4243/stat"));
        QVERIFY(stat.open(QIODevice::WriteOnly));
        stat.write("4243 (" + name.toUtf8() + ") S 1\n");
        stat.close();
        QFile environ(proc.filePath("4243/environ"));
        QVERIFY(environ.open(QIODevice::WriteOnly));
        environ.write("VANTEL_INSTANCE_SCOPE=" + qgetenv("VANTEL_INSTANCE_SCOPE") + '\0');
        environ.close();
        PageServerList* page = servers();
        page->SetProcRoot(proc.path());
        page->CheckStatus();
        QTRY_VERIFY(!page->IsChecking() && page->Status(row)->IsRunning());
        QCOMPARE(page->Ope(row)->State(), int(OpeWidget::Running));

        const int boxes = uiLog("messagebox").size();
        INFRA::TestSeams::SetScriptedReply(reply);
        emit page->Ope(row)->Button()->pressed();
        INFRA::TestSeams::SetScriptedReply("ok");
        const QStringList asked = uiLog("messagebox");
        QCOMPARE(asked.size(), boxes + 1);
        const QString question = QCoreApplication::translate(
            "VantelServer", recorder ? "K4596_StopRecorderQuestion" : "K4597_StopEventQuestion");
        QVERIFY(!question.startsWith('K'));
        QVERIFY2(asked.last().endsWith('\t' + question.arg(name)), qPrintable(asked.last()));
        QVERIFY(asked.last().contains(name));

        std::memset(block, 0x55, sizeof block);
        QCOMPARE(ShareMemoryRead(host, 1, block, sizeof block), 0);
        QCOMPARE(ConsoleShell::IsStopCommand(block, sizeof block), stops);
        if (!stops) QVERIFY(std::all_of(block, block + sizeof block, [](char c) { return c == 0; }));
        page->CheckStatus();
        QTRY_VERIFY(!page->IsChecking());
        QCOMPARE(page->Ope(row)->State(), int(stops ? OpeWidget::Stopping : OpeWidget::Running));
        QVERIFY(page->Status(row)->IsRunning());

        // Gone: the list shows it stopped, and starting it again asks nothing.
        QVERIFY(QDir(proc.filePath("4243")).removeRecursively());
        page->CheckStatus();
        QTRY_COMPARE(page->Ope(row)->State(), int(OpeWidget::Stopped));
        emit page->Ope(row)->Button()->pressed();  // no such program in the test's folder: not started
        QCOMPARE(uiLog("messagebox").size(), boxes + 1);
        ShareMemoryDelete(host);
        page->SetProcRoot("/proc");
        page->CheckStatus();
        QTRY_VERIFY(!page->IsChecking());
    }

    // The host ends while the stop question is open (the list's check runs meanwhile): a Yes
    // then writes no stop, which would lie unread in its channel.
    void serverListHostEndsDuringQuestion() {
        const QString name = INFRA::Customization::GetRecorderServerName();
        SHAREMEMHANDLE host = ShareMemoryCreate(
            ConsoleShell::StopChannelName(INFRA::Customization::GetRecorderServerLnkName()).constData(), 1);
        QVERIFY(host);
        char block[SHAREMEM_DEFAULT_SIZE] = {};
        QCOMPARE(ShareMemoryWrite(host, SHAREMEM_DEFAULT_SIZE, 1, block, sizeof block), 0);
        QTemporaryDir proc;
        QVERIFY(QDir().mkpath(proc.filePath("4244")));
        QVERIFY(QFile::link("/opt/x/" + name, proc.filePath("4244/exe")));
        QFile stat(proc.filePath("4244/stat"));
        QVERIFY(stat.open(QIODevice::WriteOnly));
        stat.write("4244 (" + name.toUtf8() + ") S 1\n");
        stat.close();
        QFile environ(proc.filePath("4244/environ"));
        QVERIFY(environ.open(QIODevice::WriteOnly));
        environ.write("VANTEL_INSTANCE_SCOPE=" + qgetenv("VANTEL_INSTANCE_SCOPE") + '\0');
        environ.close();
        PageServerList* page = servers();
        const int row = PageServerList::RowRecorder;
        page->SetProcRoot(proc.path());
        page->CheckStatus();
        QTRY_VERIFY(!page->IsChecking() && page->Status(row)->IsRunning());

        // The operator answers once the list shows the host gone.
        bool checked = false, answered = false;
        QTimer operatorHand;
        connect(&operatorHand, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<INFRA::MessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            if (!checked) {
                QDir(proc.filePath("4244")).removeRecursively();
                page->CheckStatus();
                checked = true;
                return;
            }
            if (page->IsChecking() || page->Ope(row)->State() != OpeWidget::Stopped) return;
            for (QPushButton* b : box->findChildren<QPushButton*>())
                if (b->objectName() != QLatin1String("InfraCloseButton")) {
                    b->click();  // the first answer is Yes
                    answered = true;
                    break;
                }
        });
        operatorHand.start(20);
        INFRA::TestSeams::SetScriptedReply(QString());  // a real box
        emit page->Ope(row)->Button()->pressed();
        INFRA::TestSeams::SetScriptedReply("ok");
        operatorHand.stop();
        QVERIFY(answered);
        std::memset(block, 0x55, sizeof block);
        QCOMPARE(ShareMemoryRead(host, 1, block, sizeof block), 0);
        QVERIFY(!ConsoleShell::IsStopCommand(block, sizeof block));
        QCOMPARE(page->Ope(row)->State(), int(OpeWidget::Stopped));
        ShareMemoryDelete(host);
        page->SetProcRoot("/proc");
        page->CheckStatus();
        QTRY_VERIFY(!page->IsChecking());
    }

    // Every page in both languages; with VANTEL_SHOT_DIR set, each is also saved as a picture.
    void everyPageInBothLanguages_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("configText");
        QTest::newRow("Chinese") << QString::fromUtf8("简体中文") << QString::fromUtf8("配置");
        QTest::newRow("English") << "English"
                                 << "Configuration";
    }
    void everyPageInBothLanguages() {
        QFETCH(QString, language);
        QFETCH(QString, configText);
        m_window->OnCbLanguageChanged(language);
        QCoreApplication::processEvents();
        QCOMPARE(m_window->GetForm().m_list_menu->item(0)->text(), configText);
        QCOMPARE(m_window->GetHost()->GetTrayMenu()->actions()[0]->text(), QObject::tr("K3740_Config"));
        // One translator of ours at a time: keys missing in a language never show the previous
        // one's text (Qt's own texts have a translator of their own, named "qtbase").
        int ours = 0;
        for (const QTranslator* t : qApp->findChildren<QTranslator*>(QString(), Qt::FindDirectChildrenOnly))
            if (t->objectName() != QLatin1String("qtbase")) ++ours;
        QCOMPARE(ours, 1);
        QVERIFY(m_window->GetForm().m_list_menu->isRowHidden(VantelServer::PageLog));
        QCOMPARE(m_window->GetForm().tabWidget->count(), 1);
        QVERIFY(!m_window->GetForm().LbServer->text().startsWith("K"));
        QVERIFY(!maintain()->ClientModel()->headerData(0, Qt::Horizontal).toString().startsWith("K"));
        QVERIFY(!servers()->Model()->headerData(1, Qt::Horizontal).toString().startsWith("K"));
        QVERIFY(!servers()->Status(0)->Label()->text().trimmed().startsWith("K"));
        // The live values survive the new texts: the engine is stopped here.
        QCOMPARE(m_window->GetForm().LbPortInfo->text(), QString("----"));
        QCOMPARE(m_window->GetForm().BtnStopStartServer->text(),
                 QCoreApplication::translate("VantelServer", "K4523_BtnStartServer"));
        QSettings s(ServerDataStore::SettingsFile(), QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        QCOMPARE(s.value("skin/language").toString(),
                 language == "English" ? QString("English") : QString("Chinese"));
        const QString shots = qEnvironmentVariable("VANTEL_SHOT_DIR");
        m_window->resize(869, 547);
        for (int page : {VantelServer::PageConfig, VantelServer::PageMaintain, VantelServer::PageServers}) {
            m_window->GetForm().m_list_menu->setCurrentRow(page);
            QCOMPARE(m_window->GetForm().stackedWidget->currentIndex(), page);
            QCoreApplication::sendPostedEvents();  // the layouts follow the new texts before a picture
            QCoreApplication::processEvents();
            if (!shots.isEmpty())
                QVERIFY(m_window->grab().save(QStringLiteral("%1/vantelserver-%2-%3.png")
                                                  .arg(shots)
                                                  .arg(page)
                                                  .arg(QTest::currentDataTag())));
        }
        m_window->GetForm().m_list_menu->setCurrentRow(0);
    }

    void exitAfterManualStop() {
        // The engine was stopped by hand above: the exit must not touch it again.
        QCOMPARE(LumoSServerCount(), 0);
        INFRA::TestSeams::SetScriptedReply("no");
        m_window->ExitApp();
        QVERIFY(!m_window->IsExiting());
        // The question is a warning: its title says so.
        const QStringList asked = uiLog("messagebox").last().split('\t');
        QCOMPARE(asked.value(1), QObject::tr("K4604_LbWarning"));
        QCOMPARE(asked.value(2), QObject::tr("K4515_LogoutInfo").replace('\n', ' '));
        INFRA::TestSeams::SetScriptedReply("yes");
        m_window->ExitApp();
        QVERIFY(m_window->IsExiting());
        QVERIFY(!m_window->isVisible());
        QTRY_VERIFY(!uiLog("exiting").isEmpty());
        m_window->ExitApp();  // a second exit does nothing
        QTRY_COMPARE_WITH_TIMEOUT(LumoSServerCount(), 0, 10000);
        QTest::qWait(200);  // a second exit would have shown by now; closed boxes are deleted
        QCOMPARE(uiLog("exiting").size(), 1);
    }
};

QTEST_MAIN(TestVantelServerWindow)
#include "tst_vantelserverwindow.moc"
