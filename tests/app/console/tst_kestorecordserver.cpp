// The recording console's window with a real engine on loopback-testable ports: start outcome
// and balloons, the console tick and its stop channel, the exit question, the disk-full policy
// across a language change, and the language switch.
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <QScopeGuard>
#include <QTextCodec>
#include <unistd.h>
#include "testsupport.h"

#include "../consoletesthome.h"
#include "LumoFS/LumoFS.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"
#include "kestorecordserver.h"

namespace {

// The exit thread posts quit() to the application; a test run has no event loop of its own to
// end, and a quit would make every later modal box return at once. Count and swallow it.
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

class TestKestoRecordServer : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_prog, m_log;
    QuitCatcher m_quit;
    SHAREMEMHANDLE m_manager = nullptr;
    QPointer<KestoRecordServer> m_window;

    QString settingsPath() const { return m_prog + QStringLiteral("/kestoconfig.ini"); }

    void writeSettings(const QByteArray& text) {
        QFile f(settingsPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    QStringList logLines(const QString& kind = QString()) {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList out;
        for (const QString& l : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (kind.isEmpty() || l.startsWith(kind + QLatin1Char('\t'))) out << l;
        return out;
    }

    KestoRecordServer* open() {
        m_window = new KestoRecordServer(nullptr);
        return m_window;
    }

    void writeStop() { QCOMPARE(ConsoleShell::WriteStopCommand(m_manager), 0); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_prog = consoletest::MakeProgramDir(m_dir);
        QVERIFY(!m_prog.isEmpty());
        QDir::setCurrent(m_prog);
        consoletest::UsePrivateFolders(m_dir, "tst_kestorecordserver");
        LumoSRSetStorageConfig(m_dir.filePath(QStringLiteral("kestostorage.ini")).toUtf8().constData());
        QCOMPARE(LumoSRInitialize(nullptr), 0);
        qApp->installEventFilter(&m_quit);
        m_manager = ShareMemoryCreate(
            ConsoleShell::StopChannelName(INFRA::Customization::GetRecorderServerLnkName()).constData(), 1);
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
            if (m_window->IsExiting()) QTRY_COMPARE(m_quit.quits, 1);  // the exit thread is done with it
            delete m_window;
        }
        LumoSRStop();
    }

    void cleanupTestCase() {
        ShareMemoryDelete(m_manager);
        LumoSRInvalidate();
    }

    void startsOnItsPort() {
        const quint16 port = vt::ReservePort();
        writeSettings("port=" + QByteArray::number(port) + "\n");
        KestoRecordServer* w = open();
        QVERIFY(w->IsEngineStarted());
        QCOMPARE(w->GetPort(), port);
        QVERIFY(vt::CanConnect(port));
        QCOMPARE(
            logLines(QStringLiteral("balloon")),
            QStringList{QStringLiteral("balloon\tMessage\tThe recording server has started.\tinformation")});
        QCOMPARE(w->GetForm().m_lbl_portvalue->text(), QString::number(port));
        QCOMPARE(w->GetForm().m_edit_port->text(), QString::number(port));
        QVERIFY(!w->GetForm().m_edit_port->isEnabled());
        QVERIFY(w->GetConsoleTimer() && w->GetConsoleTimer()->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(w->GetForm().m_lbl_runtimevalue->text(), QStringLiteral("00:00:01"), 3000);
        QCOMPARE(w->GetForm().m_lbl_runtime->text(), QStringLiteral("Running time : "));
        QVERIFY(w->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(w->windowType(), Qt::Window);  // not a splash-screen window
        // No tray here: the window shows itself so that the console stays reachable.
        if (!QSystemTrayIcon::isSystemTrayAvailable()) QVERIFY(w->isVisible());
    }

    // A "stop" left in the channel before the console's process started (for a console that
    // ended without reading it) is not meant for this one; a stop written once it runs is.
    void staleStopIsCleared_data() {
        QTest::addColumn<bool>("stamped");
        QTest::newRow("written before the process started") << true;
        QTest::newRow("without a time") << false;
    }
    void staleStopIsCleared() {
        QFETCH(bool, stamped);
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\n");
        if (stamped)
            QCOMPARE(ConsoleShell::WriteStopCommand(m_manager, ConsoleShell::ProcessStartMs() - 1), 0);
        else
            QCOMPARE(ShareMemoryWrite(m_manager, 1024, 1, "stop", 5), 0);
        KestoRecordServer* w = open();
        QVERIFY(w->IsEngineStarted());
        char block[1024];
        QCOMPARE(ShareMemoryRead(m_manager, 1, block, sizeof block), 0);
        QCOMPARE(QByteArray(block, sizeof block), QByteArray(1024, '\0'));
        // Two ticks of the console, each of which reads the channel.
        QSignalSpy ticks(w->GetConsoleTimer(), &QTimer::timeout);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 2, 20000);
        QVERIFY(!w->IsExiting());
        writeStop();
        QTRY_VERIFY_WITH_TIMEOUT(w->IsExiting(), 3000);
    }

    // A stop written while the console's process starts (here: this test process, before the
    // window opens its channel) is obeyed.
    void stopDuringStartIsObeyed() {
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\n");
        writeStop();
        KestoRecordServer* w = open();
        QVERIFY(!w->IsExiting());
        QTRY_VERIFY_WITH_TIMEOUT(w->IsExiting(), 5000);
        QCOMPARE(logLines(QStringLiteral("exiting")).size(), 1);
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 0);
    }

    // The engine runs with the disk-full policy that the settings page shows.
    void diskFullPolicyHandedOverAtStart_data() {
        QTest::addColumn<int>("stored");
        QTest::newRow("overwrite") << 1;
        QTest::newRow("stop") << 0;
    }
    void diskFullPolicyHandedOverAtStart() {
        QFETCH(int, stored);
        ILumoFS* fs = nullptr;
        LumoFSGetFileSystem(&fs);
        QVERIFY(fs);
        const int32_t other = stored ? 0 : 1;
        fs->SetDiskFullPolicy(&other);
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\nHDDFull=" + QByteArray::number(stored) +
                      "\n");
        KestoRecordServer* w = open();
        QVERIFY(w->IsEngineStarted());
        QCOMPARE(w->GetForm().m_cbHDDFull->currentIndex(), stored);
        QCOMPARE(fs->GetDiskFullPolicy(), stored);
        fs->Release();
    }

    // A port that is taken is a failed start: the error balloon, not the success one; the console
    // still reads its stop channel.
    void portTakenFailsLoudlyAndStillStops() {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, vt::ReservePort()));
        writeSettings("port=" + QByteArray::number(squatter.serverPort()) + "\n");
        KestoRecordServer* w = open();
        QVERIFY(!w->IsEngineStarted());
        QCOMPARE(
            logLines(QStringLiteral("balloon")),
            QStringList{QStringLiteral("balloon\tError\tThe recording server failed to start. Check that its "
                                       "port is free.\tcritical")});
        QVERIFY(w->GetConsoleTimer() && w->GetConsoleTimer()->isActive());
        writeStop();
        QTRY_VERIFY_WITH_TIMEOUT(w->IsExiting(), 3000);
        QCOMPARE(logLines(QStringLiteral("exiting")).size(), 1);
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 0);  // no question on a stop command
        QVERIFY(!w->GetTrayIcon());
        QVERIFY(!w->isVisible());
    }

    void settingsPortRepaired() {
        writeSettings("port=74967\nHDDFull=0\n");
        KestoRecordServer* w = open();
        QCOMPARE(int(w->GetPort()), 8431);
        QSettings s(settingsPath(), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("port")).toInt(), 8431);
    }

    void exitQuestion_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("exits");
        QTest::newRow("yes") << "yes" << true;
        QTest::newRow("no") << "no" << false;
        QTest::newRow("closed without an answer") << "close" << false;
    }
    void exitQuestion() {
        QFETCH(QString, reply);
        QFETCH(bool, exits);
        const quint16 port = vt::ReservePort();
        writeSettings("port=" + QByteArray::number(port) + "\n");
        KestoRecordServer* w = open();
        QVERIFY(w->IsEngineStarted());
        INFRA::TestSeams::SetScriptedReply(reply);
        w->OnExitApp();
        QCOMPARE(logLines(QStringLiteral("messagebox")),
                 QStringList{QStringLiteral("messagebox\tMessage\tStop the recording server and exit?")});
        QCOMPARE(w->IsExiting(), exits);
        if (exits) {
            QCOMPARE(logLines(QStringLiteral("exiting")),
                     QStringList{QStringLiteral("exiting\tWarning\tThe server is stopping, please wait...")});
            QTRY_COMPARE(m_quit.quits, 1);
            QVERIFY(!LumoSRIsStarted());
            QVERIFY(!vt::CanConnect(port));
        } else {
            QVERIFY(LumoSRIsStarted());
            QVERIFY(w->GetConsoleTimer());
        }
    }

    // "stop" arrives while the operator looks at the exit question: the console exits once, and
    // the question goes away with it.
    void stopWhileQuestionIsOpen() {
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\n");
        KestoRecordServer* w = open();
        QTimer::singleShot(200, this, [this]() { writeStop(); });
        QElapsedTimer clock;
        clock.start();
        w->OnExitApp();  // returns when the box is closed by the exit
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(w->IsExiting());
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 1);
        QCOMPARE(logLines(QStringLiteral("exiting")).size(), 1);
        QVERIFY(!QApplication::activeModalWidget());
        w->OnExitApp();  // too late: nothing more happens
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 1);
        QTRY_COMPARE(m_quit.quits, 1);
        QTest::qWait(100);
        QCOMPARE(m_quit.quits, 1);
    }

    // A language change refills the disk-full choice without passing the policy through "stop".
    void diskFullPolicyAcrossLanguageChange() {
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\nHDDFull=1\n");
        KestoRecordServer* w = open();
        QComboBox* cb = w->GetForm().m_cbHDDFull;
        QCOMPARE(cb->currentIndex(), 1);
        QSignalSpy changes(cb, SIGNAL(currentIndexChanged(int)));
        QVERIFY(VantelUtility::initLanguage(QStringLiteral("Chinese")));
        QTRY_COMPARE(cb->itemText(1), QStringLiteral("覆盖最早的录像"));
        QCOMPARE(cb->currentIndex(), 1);
        QCOMPARE(changes.count(), 0);
        QSettings s(settingsPath(), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("HDDFull")).toInt(), 1);

        // The operator's choice goes to the file system object and the file.
        cb->setCurrentIndex(0);
        ILumoFS* fs = nullptr;
        LumoFSGetFileSystem(&fs);
        QVERIFY(fs);
        QCOMPARE(fs->GetDiskFullPolicy(), 0);
        QSettings again(settingsPath(), QSettings::IniFormat);
        QCOMPARE(again.value(QStringLiteral("HDDFull")).toInt(), 0);
        cb->setCurrentIndex(1);
        QCOMPARE(fs->GetDiskFullPolicy(), 1);
        fs->Release();
    }

    // The port editor's apply (hidden in the window, still a slot): only valid, bindable ports.
    void portChange() {
        const quint16 port = vt::ReservePort();
        writeSettings("port=" + QByteArray::number(port) + "\n");
        KestoRecordServer* w = open();
        QVERIFY(w->IsEngineStarted());
        Ui::KestoRecordServer& ui = w->GetForm();

        ui.m_edit_port->setText(QStringLiteral("not a port"));
        w->OnChangeKestoPort();
        QCOMPARE(w->GetPort(), port);
        QCOMPARE(ui.m_edit_port->text(), QString::number(port));
        QVERIFY(vt::CanConnect(port));

        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, vt::ReservePort()));
        ui.m_edit_port->setText(QString::number(squatter.serverPort()));
        w->OnChangeKestoPort();
        QCOMPARE(w->GetPort(), port);  // stays where it works
        QVERIFY(vt::CanConnect(port));
        QCOMPARE(logLines(QStringLiteral("balloon")).last(),
                 QStringLiteral("balloon\tError\tThe recording server failed to start. Check that its port "
                                "is free.\tcritical"));
        QSettings before(settingsPath(), QSettings::IniFormat);
        QCOMPARE(before.value(QStringLiteral("port")).toInt(), int(port));

        const quint16 moved = vt::ReservePort();
        ui.m_edit_port->setText(QString::number(moved));
        w->OnChangeKestoPort();
        QCOMPARE(w->GetPort(), moved);
        QVERIFY(vt::CanConnect(moved));
        QCOMPARE(ui.m_lbl_portvalue->text(), QString::number(moved));
        QSettings after(settingsPath(), QSettings::IniFormat);
        QCOMPARE(after.value(QStringLiteral("port")).toInt(), int(moved));
    }

    void autostartSwitch() {
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\n");
        KestoRecordServer* w = open();
        QCheckBox* box = w->GetForm().m_check_autoboot;
        QCOMPARE(box->isChecked(), VantelUtility::AutoRunWithSystem());
        box->setChecked(false);
        box->click();  // on
        QVERIFY(VantelUtility::AutoRunWithSystem());
        QVERIFY(QFile::exists(VantelUtility::AutoRunEntryPath()));
        QVERIFY(box->isChecked());
        box->click();  // off
        QVERIFY(!VantelUtility::AutoRunWithSystem());
        QVERIFY(!box->isChecked());
    }

    void securityFileImport_data() {
        QTest::addColumn<QByteArray>("content");  // "-": the chooser is cancelled
        QTest::addColumn<QString>("balloon");
        QTest::newRow("cancelled") << QByteArray("-") << QString();
        QTest::newRow("valid") << QByteArray("<SecurityFile><Client name=\"console\"/></SecurityFile>")
                               << "balloon\tMessage\tThe security file was imported.\tinformation";
        QTest::newRow("not a security file")
            << QByteArray("<html/>") << "balloon\tError\tImporting the security file failed.\tcritical";
        // The path reaches the engine in UTF-8 whatever the locale's encoding.
        QTest::newRow("valid, sécurité under a Latin-1 locale")
            << QByteArray("<SecurityFile><Client name=\"console\"/></SecurityFile>")
            << "balloon\tMessage\tThe security file was imported.\tinformation";
    }
    void securityFileImport() {
        QFETCH(QByteArray, content);
        QFETCH(QString, balloon);
        QTextCodec* locale = QTextCodec::codecForLocale();
        if (QString::fromUtf8(QTest::currentDataTag()).contains(QLatin1String("Latin-1")))
            QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
        auto restore = qScopeGuard([locale]() { QTextCodec::setCodecForLocale(locale); });
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\n");
        KestoRecordServer* w = open();
        const int balloonsBefore = logLines(QStringLiteral("balloon")).size();
        const QString file = m_dir.filePath(QStringLiteral("security-%1.xml")
                                                .arg(QString::fromUtf8(QTest::currentDataTag()))
                                                .replace(' ', '_'));
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
                // As typed by the operator (the dialog's file list fills in the background).
                auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                name->setText(file);
                static_cast<QDialog*>(dlg)->accept();  // QFileDialog::accept checks the chosen file
            }
        });
        w->OnSecurityFileImport();
        const QStringList balloons = logLines(QStringLiteral("balloon")).mid(balloonsBefore);
        QCOMPARE(balloons, balloon.isEmpty() ? QStringList() : QStringList{balloon});
    }

    void languageSwitchFromTheCombo() {
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\n[skin]\nlanguage=English\n");
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        QCOMPARE(ui.CbLanguage->currentText(), QStringLiteral("English"));
        ui.m_listWidget->setCurrentRow(4);
        ui.CbLanguage->setCurrentText(QStringLiteral("简体中文"));
        QTRY_COMPARE(ui.m_lbl_runtime->text(), QStringLiteral("运行时间 : "));
        QCOMPARE(ui.m_listWidget->item(4)->text(), QStringLiteral("参数配置"));
        QCOMPARE(ui.m_listWidget->item(4)->toolTip(), QStringLiteral("参数配置"));
        QCOMPARE(ui.LTitle->text(), QStringLiteral("Kesto 录像服务器"));
        QCOMPARE(ui.stackedWidget->currentIndex(), 4);  // the page shown stays
        QVERIFY(!ui.m_lbl_portvalue->text().isEmpty());
        QCOMPARE(ui.m_lbl_portvalue->text(), QString::number(w->GetPort()));
        QSettings s(settingsPath(), QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        QCOMPARE(s.value(QStringLiteral("skin/language")).toString(), QStringLiteral("Chinese"));
        ui.CbLanguage->setCurrentText(QStringLiteral("English"));
        QTRY_COMPARE(ui.m_lbl_runtime->text(), QStringLiteral("Running time : "));
    }
};

QTEST_MAIN(TestKestoRecordServer)
#include "tst_kestorecordserver.moc"
