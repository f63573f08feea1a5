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
#include "models/vmrmodels.h"
#include "testsupport.h"

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
    QFont m_font;  // the application's font before a test put on the program's look

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

    // The program's font and style sheet (as LoadStyleSheet sets them); cleanup() takes them off.
    bool useProgramLook() {
        auto readQss = [](const char* name) {
            QFile f(qEnvironmentVariable("VANTEL_BIN_DIR") + QStringLiteral("/res/default/qss/") + QLatin1String(name));
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        const QString defaultQss = readQss("default.qss");
        if (defaultQss.isEmpty()) return false;
        INFRA::Customization custom;
        qApp->setFont(custom.GetFont());
        qApp->setStyleSheet(ConsoleShell::BuildStyleSheet(defaultQss, readQss("picture.qss"), custom.GetUxColor()));
        return true;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_prog = consoletest::MakeProgramDir(m_dir);
        QVERIFY(!m_prog.isEmpty());
        QDir::setCurrent(m_prog);
        consoletest::UsePrivateFolders(m_dir, "tst_kestorecordserver");
        LumoSRSetStorageConfig(m_dir.filePath(QStringLiteral("kestostorage.ini")).toUtf8().constData());
        QCOMPARE(LumoSRInitialize(nullptr), 0);
        // The pictures, as the program registers them.
        QVERIFY(QResource::registerResource(qEnvironmentVariable("VANTEL_BIN_DIR") + QStringLiteral("/vantelres.xdll")));
        qApp->installEventFilter(&m_quit);
        m_font = qApp->font();
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
        qApp->setStyleSheet(QString());
        qApp->setFont(m_font);
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

    // With its port taken the window is still whole (navigation, tables with headers), says on
    // a line of its own why the engine does not run, and lets the operator choose another port:
    // a port that is taken too is refused with the reason and not saved; a free one starts the
    // engine, is saved, and the window comes alive.
    void portTakenWindowIsWholeAndPortCanBeChanged() {
        const quint16 taken = vt::ReservePort();
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, taken));
        writeSettings("port=" + QByteArray::number(taken) + "\n");
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        w->show();
        QVERIFY(!w->IsEngineStarted());

        QVERIFY(ui.m_lbl_engine_state->isVisibleTo(w));
        QCOMPARE(ui.m_lbl_engine_state->text(),
                 QStringLiteral("The recording server is not running: port %1 is in use. Enter a free port "
                                "under Settings and apply it.")
                     .arg(taken));
        for (int i = 0; i < ui.m_listWidget->count(); ++i) {
            QVERIFY2(!ui.m_listWidget->item(i)->icon().isNull(), qPrintable(QString::number(i)));
            QVERIFY(!ui.m_listWidget->item(i)->text().startsWith(QLatin1Char('K')));  // translated
        }
        for (QTableView* v : {ui.m_table_vmr_disk, ui.m_table_channel, ui.m_table_stream, ui.m_table_disk_status,
                              ui.m_table_block_status, ui.m_table_record_files}) {
            QVERIFY2(v->model(), qPrintable(v->objectName()));
            QVERIFY(v->horizontalHeader()->count() > 2);
            QVERIFY2(!v->model()->headerData(1, Qt::Horizontal).toString().isEmpty(), qPrintable(v->objectName()));
            QCOMPARE(v->model()->rowCount(), 0);
        }
        // The refreshes leave a stopped engine alone: no read, no failure notice.
        QTRY_VERIFY(!w->IsRefreshing());  // the settings-problems read of the start
        w->OnDiskRefresh();
        w->OnChnRefresh();
        QVERIFY(!w->IsRefreshing());
        QVERIFY(ui.m_edit_port->isEnabled());
        QVERIFY(!ui.m_button_edit->isHidden());
        QVERIFY(ui.m_button_edit->isEnabled());
        QCOMPARE(logLines(QStringLiteral("balloon")).size(), 1);

        // Another taken port: refused with the reason, the file keeps the old one.
        const quint16 alsoTaken = vt::ReservePort();
        QTcpServer squatter2;
        QVERIFY(squatter2.listen(QHostAddress::AnyIPv4, alsoTaken));
        ui.m_edit_port->setText(QString::number(alsoTaken));
        QTest::mouseClick(ui.m_button_edit, Qt::LeftButton);
        QVERIFY(!w->IsEngineStarted());
        QVERIFY(ui.m_lbl_engine_state->text().contains(QStringLiteral("port %1 is in use").arg(alsoTaken)));
        QVERIFY(logLines(QStringLiteral("balloon")).last().contains(QStringLiteral("port %1 is in use").arg(alsoTaken)));
        QCOMPARE(QSettings(settingsPath(), QSettings::IniFormat).value(QStringLiteral("port")).toInt(), int(taken));
        QVERIFY(ui.m_edit_port->isEnabled());

        // A free port: the engine runs there, the port is saved, the window comes alive.
        const quint16 free = vt::ReservePort();
        ui.m_edit_port->setText(QString::number(free));
        QTest::mouseClick(ui.m_button_edit, Qt::LeftButton);
        QVERIFY(w->IsEngineStarted());
        QCOMPARE(w->GetPort(), free);
        QVERIFY(vt::CanConnect(free));
        QVERIFY(!ui.m_lbl_engine_state->isVisibleTo(w));
        QVERIFY(w->GetEngineStateText().isEmpty());
        QCOMPARE(ui.m_lbl_portvalue->text(), QString::number(free));
        QCOMPARE(QSettings(settingsPath(), QSettings::IniFormat).value(QStringLiteral("port")).toInt(), int(free));
        QVERIFY(!ui.m_edit_port->isEnabled());
        QVERIFY(ui.m_button_edit->isHidden());
        QVERIFY(logLines(QStringLiteral("balloon")).last().endsWith(QStringLiteral("\tinformation")));
        QTRY_VERIFY_WITH_TIMEOUT(w->GetDiskModel()->GetRowCount() > 0, 10000);
    }

    // The status line follows the language.
    void engineStateLineFollowsLanguage() {
        const quint16 taken = vt::ReservePort();
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, taken));
        writeSettings("port=" + QByteArray::number(taken) + "\n");
        KestoRecordServer* w = open();
        QVERIFY(VantelUtility::initLanguage(QStringLiteral("Chinese")));
        QTRY_COMPARE(w->GetForm().m_lbl_engine_state->text(),
                     QStringLiteral("录像服务未运行：端口 %1 已被占用。请在参数配置中输入空闲端口并应用。").arg(taken));
    }

    // Record search at the window's own size (and its smallest), in both languages: the play
    // column shows without a scroll, the time fields show the whole time with its seconds, and a
    // time typed into a field after a click into it is taken.
    void recordSearchFitsAndTakesTypedTimes_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("smallest");
        QTest::newRow("English") << "English" << false;
        QTest::newRow("Chinese") << "Chinese" << false;
        QTest::newRow("English, smallest window") << "English" << true;
    }
    void recordSearchFitsAndTakesTypedTimes() {
        QFETCH(QString, language);
        QFETCH(bool, smallest);
        // The program's font and style sheet: their padding and the calendar button take room.
        QVERIFY(useProgramLook());
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\n[skin]\nlanguage=" + language.toUtf8() +
                      "\n");
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        if (smallest) w->resize(w->minimumSize());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(VantelUtility::CurrentLanguage(), language);
        ui.m_listWidget->setCurrentRow(3);
        QTableView* tv = ui.m_table_record_files;
        QTRY_VERIFY(tv->isVisible());

        QHeaderView* header = tv->horizontalHeader();
        const int x = header->sectionViewportPosition(8);
        QVERIFY2(x >= 0 && x + header->sectionSize(8) <= tv->viewport()->width(),
                 qPrintable(QStringLiteral("action at %1+%2, viewport %3")
                                .arg(x)
                                .arg(header->sectionSize(8))
                                .arg(tv->viewport()->width())));
        const QString label = tv->model()->headerData(8, Qt::Horizontal).toString();
        QVERIFY(header->sectionSize(8) >= header->fontMetrics().horizontalAdvance(label));

        for (QDateTimeEdit* edit : {ui.m_dateTimeEdit_stime, ui.m_dateTimeEdit_etime}) {
            QLineEdit* line = edit->findChild<QLineEdit*>();
            QVERIFY(line);
            QCOMPARE(line->text().size(), int(strlen("2026-03-01 10:00:00")));
            QVERIFY2(line->fontMetrics().horizontalAdvance(line->text()) <= line->contentsRect().width() - 4,
                     qPrintable(QStringLiteral("%1 needs %2, has %3")
                                    .arg(line->text())
                                    .arg(line->fontMetrics().horizontalAdvance(line->text()))
                                    .arg(line->contentsRect().width())));
        }

        // A click into the day, then digits: the day, then the hour and the minute that follow.
        QDateTimeEdit* edit = ui.m_dateTimeEdit_stime;
        QLineEdit* line = edit->findChild<QLineEdit*>();
        edit->setDateTime(QDateTime(QDate(2026, 3, 1), QTime(10, 0, 0)));
        QApplication::setActiveWindow(w);
        edit->setFocus();
        const QPoint day(line->fontMetrics().horizontalAdvance(line->text().left(9)) + line->textMargins().left() + 2,
                         line->height() / 2);
        QTest::mouseClick(line, Qt::LeftButton, Qt::NoModifier, day);
        QTest::keyClicks(edit, QStringLiteral("05"));
        QCOMPARE(edit->dateTime(), QDateTime(QDate(2026, 3, 5), QTime(10, 0, 0)));
        QTest::keyClicks(edit, QStringLiteral("2315"));
        QCOMPARE(edit->dateTime(), QDateTime(QDate(2026, 3, 5), QTime(23, 15, 0)));
    }

    // The status bar's texts show whole, with the program's look, in both languages.
    void statusBarShowsWholeTexts_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "English";
        QTest::newRow("Chinese") << "Chinese";
    }
    void statusBarShowsWholeTexts() {
        QFETCH(QString, language);
        QVERIFY(useProgramLook());
        writeSettings("port=" + QByteArray::number(vt::ReservePort()) + "\n[skin]\nlanguage=" + language.toUtf8() +
                      "\n");
        KestoRecordServer* w = open();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(VantelUtility::CurrentLanguage(), language);
        const QList<QLabel*> labels = w->GetForm().statusWidget->findChildren<QLabel*>();
        QVERIFY(labels.size() >= 6);
        for (QLabel* l : labels) {
            const QRect text = l->fontMetrics().boundingRect(l->text());
            const QRect room = l->contentsRect();
            QVERIFY2(room.height() >= l->fontMetrics().height() && room.width() >= text.width(),
                     qPrintable(QStringLiteral("%1 \"%2\": %3x%4 for %5x%6")
                                    .arg(l->objectName(), l->text())
                                    .arg(room.width())
                                    .arg(room.height())
                                    .arg(text.width())
                                    .arg(l->fontMetrics().height())));
        }
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
