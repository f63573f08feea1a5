#include "kestorecordserver.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QSettings>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QTimerEvent>
#include <thread>

#include "LumoFS/LumoFS.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/serverexiting.h"
#include "VantelInfraAPI/singleapp.h"
#include "VantelInfraAPI/vantelutility.h"
#include "backgroundreader.h"
#include "consoleshell.h"
#include "delegates/vmrdelegates.h"
#include "storagejobs.h"

namespace {

const char kSettingsFile[] = "kestoconfig.ini";
const char kLanguagesDir[] = "./Languages";
const char kLanguagesIni[] = "./Languages/languages.ini";
const quint16 kDefaultPort = 8431;
const int kRefreshTicks = 15;
const int kForcedKillMs = 150000;

// Code texts are looked up in the QObject context, where the language files keep them.
QString colon(const char* key) {
    return QObject::tr(key) + QStringLiteral(" : ");
}

}  // namespace

KestoRecordServer::KestoRecordServer(QWidget* parent) : QWidget(parent, Qt::WindowMinMaxButtonsHint) {
    // The stop channel opens first, before the engine takes its port. A "stop" written before
    // this process started was meant for a console that ended without reading it, and is
    // cleared; one written while this console starts stays for the first tick to obey.
    m_stopMem = ShareMemoryCreate(
        ConsoleShell::StopChannelName(INFRA::Customization::GetRecorderServerLnkName()).constData(), 1);
    if (ConsoleShell::ClearStaleStop(m_stopMem, ConsoleShell::ProcessStartMs()))
        VantelDBG_Printf_f(0x7fff, 2, "KestoRecordServer",
                           "cleared a stop command left from before the start");

    m_reader = new BackgroundReader(this);

    ui.setupUi(this);
    // A plain frameless top-level window. (The window-type bits 0x000F together with the frameless
    // hint would make a splash-screen window on X11: no taskbar entry, odd stacking.)
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(QStringLiteral("KestoRecordServer"));
    setMinimumSize(1024, 600);

    // The port is set in kestoconfig.ini; the window only shows it.
    ui.m_button_edit->hide();
    ui.m_edit_port->setEnabled(false);
    ui.m_listWidget->setFixedWidth(200);
    ui.BtnMaximize->setProperty("MaximizeState", false);

    InitServer();

    m_chnTimerId = startTimer(1000);
    m_diskTimerId = startTimer(1000);
    m_chnCountdown = kRefreshTicks;
    m_diskCountdown = kRefreshTicks;

    m_recordFileList = IVantelList::CreateObject();
    m_blockList = IVantelList::CreateObject();

    setWindowIcon(QIcon(QStringLiteral(":res/vantelrecord/image/Kesto.ico")));
}

KestoRecordServer::~KestoRecordServer() {
    // Running workers write into their jobs: wait for them (a busy indicator waits for its
    // worker when it is destroyed) before the jobs go.
    qDeleteAll(findChildren<INFRA::BusyLoading*>());
    // The row delegates watch their tables' viewports: they go before the tables, so that no
    // event of a table being destroyed reaches them.
    for (VantelTableDelegate* d :
         std::initializer_list<VantelTableDelegate*>{m_diskDelegate, m_diskStatusDelegate, m_chnDelegate,
                                                     m_streamDelegate, m_blockDelegate, m_fileDelegate})
        delete d;
    // The background read that runs ends within the engine's timeout; no answer is shown now.
    m_exiting = true;
    delete m_reader;
    m_reader = nullptr;
    delete m_blockJob;
    delete m_formatJob;
    delete m_searchJob;
    if (m_recordFileList) m_recordFileList->Release();
    if (m_blockList) m_blockList->Release();
    ShareMemoryDelete(m_stopMem);
}

void KestoRecordServer::SetSingleApp(SingleApp* app) {
    m_singleApp = app;
}

bool KestoRecordServer::HasTray() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void KestoRecordServer::InitServer() {
    ui.LbLogo->setPixmap(QIcon(QStringLiteral(":res/vantelrecord/image/Kesto.png")).pixmap(15, 15));
    VantelUtility::InitLanguageByFile(QLatin1String(kSettingsFile));

    InitSystemTray();
    InitLanguageCombo();
    ui.CbLanguage->setView(new QListView(ui.CbLanguage));

    ReadPort();
    InitHDDFullCombo();

    const int started = StartEngine();
    m_engineStarted = started == 0;
    if (!m_engineStarted) {
        VantelDBG_Printf_f(0x7fff, 1, "KestoRecordServer::InitServer", "engine start on port %u failed: %d",
                           unsigned(m_port), started);
        ShowBalloon(QObject::tr("K3745_Error"), QObject::tr("K3746_KestoFail"), QSystemTrayIcon::Critical,
                    20000);
        if (m_tray) m_tray->show();
        // No tables without an engine; the texts still follow the language.
        Retranslate();
    } else {
        ShowBalloon(QObject::tr("K3741_Msg"), QObject::tr("K3744_KestoStart"), QSystemTrayIcon::Information,
                    10000);
        if (m_tray) m_tray->show();
        // The engine honours the policy that the settings page shows.
        ApplyDiskFullPolicy(ui.m_cbHDDFull->currentIndex());
        InitTables();
    }

    // Problems the engine found in its settings, told once at start (whether or not it runs).
    StartProblemsQuery();

    const QString address = GetLocalIPv4();
    ui.m_lbl_ipvalue->setText(address);
    ui.m_lbl_portvalue->setText(QString::number(m_port));
    ui.m_lab_ipvalue1->setText(address);
    ui.m_edit_port->setText(QString::number(m_port));

    connect(ui.m_cbHDDFull, SIGNAL(currentIndexChanged(int)), this, SLOT(OnCbHDDFullChanged(int)));
    connect(ui.m_button_import, SIGNAL(clicked()), this, SLOT(OnSecurityFileImport()));

    // The console tick runs whatever the engine did: it also reads the stop channel, through
    // which the management console must be able to end a console whose engine failed.
    m_consoleTimer = new QTimer(this);
    connect(m_consoleTimer, SIGNAL(timeout()), this, SLOT(OnTimer()));
    m_consoleTimer->start(1000);
    m_runSeconds = 0;

    ui.titleWidget->installEventFilter(this);
    ui.titleWidget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui.titleWidget, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_trayMenu->popup(ui.titleWidget->mapToGlobal(pos)); });
    ui.BtnMinimize->setFixedSize(16, 16);
    ui.BtnMaximize->setFixedSize(16, 16);
    connect(ui.BtnMinimize, SIGNAL(clicked()), this, SLOT(OnMinimize()));
    connect(ui.BtnMaximize, SIGNAL(clicked()), this, SLOT(OnMaximize()));

    connect(ui.m_button_edit, SIGNAL(clicked(bool)), this, SLOT(OnChangeKestoPort()));
    connect(ui.m_check_autoboot, SIGNAL(clicked(bool)), this, SLOT(OnAutoBoot()));
    ui.m_check_autoboot->setChecked(VantelUtility::AutoRunWithSystem());

    if (HasTray()) {
        showMinimized();
        hide();  // the console starts in the tray
    } else {
        // Without a tray the window is the only way to reach the console.
        show();
    }
}

void KestoRecordServer::ShowBalloon(const QString& title, const QString& text,
                                    QSystemTrayIcon::MessageIcon icon, int ms) {
    INFRA::ShowTrayMessage(m_tray, title, text, icon, ms);
}

void KestoRecordServer::ReadPort() {
    bool repaired = false;
    m_port = ConsoleShell::ReadPortSetting(QLatin1String(kSettingsFile), QStringLiteral("port"), kDefaultPort,
                                           &repaired);
    if (repaired)
        VantelDBG_Printf_f(0x7fff, 2, "KestoRecordServer::ReadPort", "no valid port in %s: using %u",
                           kSettingsFile, unsigned(kDefaultPort));
}

int KestoRecordServer::StartEngine() {
    ILumoFS* fs = nullptr;
    LumoFSGetFileSystem(&fs);
    if (!fs) return -1;
    fs->SetBlockClusters(256);
    fs->SetOpenFlags(0);
    fs->Open();
    fs->Release();
    // A port that is taken or not permitted is a failed start, not a success.
    const int rc = LumoSRStart(m_port);
    return rc == 0 ? 0 : rc;
}

int KestoRecordServer::StopEngine() {
    LumoSRStop();
    ILumoFS* fs = nullptr;
    LumoFSGetFileSystem(&fs);
    if (!fs) return -1;
    fs->Close();
    fs->Release();
    return 0;
}

void KestoRecordServer::InitHDDFullCombo() {
    QSettings settings(QLatin1String(kSettingsFile), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    const int stored = settings.value(QStringLiteral("HDDFull"), 0).toInt();
    // Refilling moves the current index; the policy must not pass through "stop" on the way.
    const QSignalBlocker block(ui.m_cbHDDFull);
    ui.m_cbHDDFull->clear();
    ui.m_cbHDDFull->addItem(QObject::tr("K3534_Stop"));
    ui.m_cbHDDFull->addItem(QObject::tr("K6107_Overwrite"));
    ui.m_cbHDDFull->setCurrentIndex(stored != 0 ? 1 : 0);
}

void KestoRecordServer::InitStreamCombo() {
    const int index = ui.m_cmb_stream->currentIndex();
    const QSignalBlocker block(ui.m_cmb_stream);
    ui.m_cmb_stream->clear();
    ui.m_cmb_stream->addItem(QObject::tr("K0435_MainStream"), 0);
    ui.m_cmb_stream->addItem(QObject::tr("K0436_SubStream"), 1);
    ui.m_cmb_stream->setCurrentIndex(index < 0 ? 0 : index);
}

bool KestoRecordServer::ApplyDiskFullPolicy(int index) {
    if (index < 0) return false;
    ILumoFS* fs = nullptr;
    LumoFSGetFileSystem(&fs);
    if (!fs) return false;
    const int32_t overwrite = index != 0 ? 1 : 0;
    fs->SetDiskFullPolicy(&overwrite);
    fs->Release();
    return true;
}

void KestoRecordServer::OnCbHDDFullChanged(int index) {
    if (!ApplyDiskFullPolicy(index)) return;
    const int32_t overwrite = index != 0 ? 1 : 0;
    QSettings settings(QLatin1String(kSettingsFile), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue(QStringLiteral("HDDFull"), static_cast<uint>(overwrite));
    settings.sync();
}

void KestoRecordServer::OnChangeKestoPort() {
    quint16 port = 0;
    if (!ConsoleShell::ParsePort(ui.m_edit_port->text(), &port)) {
        ui.m_edit_port->setText(QString::number(m_port));  // not a port: nothing changes
        return;
    }
    if (port == m_port) return;
    LumoSRStop();
    if (LumoSRStart(port) != 0) {
        // The new port is taken: go back to the one that worked and keep it in the file.
        LumoSRStart(m_port);
        ui.m_edit_port->setText(QString::number(m_port));
        ShowBalloon(QObject::tr("K3745_Error"), QObject::tr("K3746_KestoFail"), QSystemTrayIcon::Critical,
                    20000);
        return;
    }
    m_port = port;
    QSettings settings(QLatin1String(kSettingsFile), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue(QStringLiteral("port"), int(m_port));
    settings.sync();
    ui.m_lbl_portvalue->setText(QString::number(m_port));
}

// ---- tray ----------------------------------------------------------------------------------

void KestoRecordServer::InitSystemTray() {
    m_actConfig = new QAction(QObject::tr("K3740_Config"), this);
    connect(m_actConfig, &QAction::triggered, this, [this]() {
        showNormal();
        raise();
        activateWindow();
    });
    m_actExit = new QAction(QObject::tr("K3740_Exit"), this);
    connect(m_actExit, SIGNAL(triggered()), this, SLOT(OnExitApp()));
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(m_actConfig);
    m_trayMenu->addAction(m_actExit);

    m_tray = new QSystemTrayIcon(QIcon(QStringLiteral(":res/vantelrecord/image/Kesto.ico")), this);
    m_tray->setToolTip(VantelUtility::GetTrayName(QStringLiteral("RecorderServer")));
    m_tray->setContextMenu(m_trayMenu);
    m_tray->show();
    connect(m_tray, SIGNAL(activated(QSystemTrayIcon::ActivationReason)), this,
            SLOT(OnSystemTrayActivate(QSystemTrayIcon::ActivationReason)));
}

void KestoRecordServer::DeleteSystemTray() {
    if (!m_tray) return;
    m_tray->hide();
    m_tray->deleteLater();
    m_tray = nullptr;
}

void KestoRecordServer::OnSystemTrayActivate(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
        showNormal();
        activateWindow();
    }
}

// ---- address and run time ------------------------------------------------------------------

QString KestoRecordServer::GetInterfaceIPv4() {
    return ConsoleShell::GetInterfaceIPv4();
}

QString KestoRecordServer::GetLocalIPv4() {
    return ConsoleShell::GetLocalIPv4();
}

QString KestoRecordServer::FormatRunTime(quint64 ms) {
    return ConsoleShell::FormatRunTime(ms);
}

void KestoRecordServer::OnTimer() {
    ++m_runSeconds;
    ui.m_lbl_runtimevalue->setText(FormatRunTime(m_runSeconds * 1000));
    if (m_exiting) return;
    if (ConsoleShell::PollStopChannel(m_stopMem)) {
        VantelDBG_Printf_f(0x7fff, 3, "KestoRecordServer::OnTimer", "stop command received");
        m_tendrel.TearDown(QCoreApplication::applicationPid());
        ExitServer();
    }
}

// ---- languages -----------------------------------------------------------------------------

void KestoRecordServer::ListLanguages(const QString& dir) {
    ui.CbLanguage->addItems(ConsoleShell::ListLanguages(dir, QLatin1String(kLanguagesIni)));
}

void KestoRecordServer::InitLanguageCombo() {
    {
        const QSignalBlocker block(ui.CbLanguage);
        ui.CbLanguage->clear();
        ListLanguages(QLatin1String(kLanguagesDir));
        const QString key = ConsoleShell::SavedLanguage(QLatin1String(kSettingsFile));
        const QString name = ConsoleShell::LanguageNameForKey(QLatin1String(kLanguagesIni), key);
        for (int i = 0; i < ui.CbLanguage->count(); ++i)
            if (ui.CbLanguage->itemText(i) == name) ui.CbLanguage->setCurrentIndex(i);
    }
    connect(ui.CbLanguage, SIGNAL(currentTextChanged(QString)), this, SLOT(OnCbLanguageChanged(QString)));
}

void KestoRecordServer::OnCbLanguageChanged(const QString& name) {
    ConsoleShell::SwitchLanguage(name, QLatin1String(kLanguagesIni), QLatin1String(kSettingsFile));
    // The new translator reaches the window as QEvent::LanguageChange (changeEvent).
}

void KestoRecordServer::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) {
        ui.retranslateUi(this);
        Retranslate();
        return;
    }
    QWidget::changeEvent(e);
}

void KestoRecordServer::Retranslate() {
    if (m_actConfig) m_actConfig->setText(QObject::tr("K3740_Config"));
    if (m_actExit) m_actExit->setText(QObject::tr("K3740_Exit"));
    ui.m_button_format->setText(QObject::tr("K3718_Format"));
    ui.m_button_refresh->setText(QObject::tr("K0414_Refresh"));
    ui.m_button_chn_refresh->setText(QObject::tr("K0414_Refresh"));
    ui.m_btn_diskstatus_refresh->setText(QObject::tr("K0414_Refresh"));
    ui.m_btn_block_refresh->setText(QObject::tr("K0414_Refresh"));
    ui.m_lbl_chn_status->setText(QObject::tr("K3722_RecordChnList"));
    ui.m_lbl_diskstatus->setText(QObject::tr("K3713_DiskStatus"));
    // The caption names the disk whose blocks are shown, in the new language.
    if (m_blockDiskId >= 0)
        ui.m_lbl_block_status->setText(QObject::tr("K3711_DiskNo") + QStringLiteral(" : ") +
                                       QString::number(m_blockDiskId));
    else
        ui.m_lbl_block_status->setText(QObject::tr("K3724_BlockStatus"));
    ui.m_lbl_starttime->setText(colon("K3703_StartTime"));
    ui.m_lbl_endtime->setText(colon("K3704_EndTime"));
    ui.m_lbl_streamtype->setText(colon("K0637_StreamType"));
    ui.m_button_search->setText(QObject::tr("K0020_Search"));
    ui.m_lbl_tip->setText(QObject::tr("K3739_CUIDTip"));
    ui.m_lbl_ip->setText(colon("K0403_IPAddress"));
    ui.m_lbl_port->setText(colon("K0405_PortNum"));
    ui.m_lbl_runtime->setText(colon("K3747_RunTime"));
    ui.m_lbl_ip1->setText(colon("K3776_LbIP"));
    ui.m_lbl_edit_port->setText(colon("K3772_LbPortNum"));
    ui.m_lbl_security->setText(colon("K3770_LbSecurity"));
    ui.m_labelHDD->setText(colon("K6090_HDDFull"));
    ui.BtnMaximize->setToolTip(QObject::tr("K0071_strMaximize"));
    ui.BtnMaximize->setToolTipDuration(10000);
    ui.BtnMinimize->setToolTip(QObject::tr("K0072_Str_MinWindow"));
    ui.BtnMinimize->setToolTipDuration(10000);

    InitHDDFullCombo();
    InitStreamCombo();

    // The file keeps a valid port; the labels show the port the engine runs on.
    bool repaired = false;
    ConsoleShell::ReadPortSetting(QLatin1String(kSettingsFile), QStringLiteral("port"), kDefaultPort,
                                  &repaired);
    const QString address = GetLocalIPv4();
    ui.m_lbl_ipvalue->setText(address);
    ui.m_lbl_portvalue->setText(QString::number(m_port));
    ui.m_lab_ipvalue1->setText(address);

    static const char* const navKeys[] = {"K3719_DiskInit", "K3720_ChnManage", "K3713_DiskStatus",
                                          "K3721_RecordSearch", "K3769_PgConfig"};
    for (int i = 0; i < 5 && i < ui.m_listWidget->count(); ++i)
        ui.m_listWidget->item(i)->setToolTip(QObject::tr(navKeys[i]));

    // The tables' header labels and row-button tooltips, and the calendars' language.
    RetranslateTables();
    if (m_fileModel) ApplyDateLocale();
}

// ---- autostart and security file -------------------------------------------------------------

void KestoRecordServer::OnAutoBoot() {
    const bool wanted = ui.m_check_autoboot->isChecked();
    if (!VantelUtility::AutoRunWithSystem(wanted)) {
        VantelDBG_Printf_f(0x7fff, 1, "KestoRecordServer::OnAutoBoot", "autostart entry could not be %s",
                           wanted ? "written" : "removed");
    }
    // Show what is really stored, not what was asked for.
    ui.m_check_autoboot->setChecked(VantelUtility::AutoRunWithSystem());
}

void KestoRecordServer::OnSecurityFileImport() {
    const QString path = GetOpenFileName(QStringLiteral("*.xml"));
    if (path.isEmpty()) return;
    // Paths reach the engine in UTF-8, whatever the locale's encoding.
    const int rc = LumoSRImportSecurityFile(path.toUtf8().constData());
    if (rc != 0)
        ShowBalloon(QObject::tr("K3745_Error"), QObject::tr("K3765_ImportSecurityFail"),
                    QSystemTrayIcon::Critical, 20000);
    else
        ShowBalloon(QObject::tr("K3741_Msg"), QObject::tr("K3766_ImportSecurityOK"),
                    QSystemTrayIcon::Information, 20000);
    if (m_tray) m_tray->show();
}

// ---- frameless window ------------------------------------------------------------------------

void KestoRecordServer::mousePressEvent(QMouseEvent* e) {
    m_dragOffset = e->globalPos() - pos();
    m_dragging = true;
    QWidget::mousePressEvent(e);
}

void KestoRecordServer::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() == Qt::LeftButton && m_dragging && !m_maximized) move(e->globalPos() - m_dragOffset);
    QWidget::mouseMoveEvent(e);
}

void KestoRecordServer::mouseReleaseEvent(QMouseEvent* e) {
    m_dragging = false;
    QWidget::mouseReleaseEvent(e);
}

bool KestoRecordServer::eventFilter(QObject* o, QEvent* e) {
    if (o == ui.titleWidget && e->type() == QEvent::MouseButtonDblClick) {
        OnMaximize();
        return true;
    }
    return QObject::eventFilter(o, e);
}

void KestoRecordServer::OnMaximize() {
    if (m_maximized) {
        showNormal();
        ui.BtnMaximize->setProperty("MaximizeState", false);
    } else {
        showMaximized();
        ui.BtnMaximize->setProperty("MaximizeState", true);
    }
    ui.BtnMaximize->style()->unpolish(ui.BtnMaximize);
    ui.BtnMaximize->style()->polish(ui.BtnMaximize);
    ui.BtnMaximize->update();
    m_maximized = !m_maximized;
}

void KestoRecordServer::OnMinimize() {
    if (HasTray())
        hide();  // reachable through the tray
    else
        showMinimized();  // no tray: keep it on the task bar
}

void KestoRecordServer::closeEvent(QCloseEvent* e) {
    // Closing the window never ends the console by surprise: with a tray it goes there, without
    // one the operator is asked as with the tray's exit.
    e->ignore();
    if (m_exiting) return;
    if (HasTray())
        hide();
    else
        QTimer::singleShot(0, this, &KestoRecordServer::OnExitApp);
}

void KestoRecordServer::AppendStyleSheetFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return;
    qApp->setStyleSheet(qApp->styleSheet() + QString::fromUtf8(f.readAll()));
}

// ---- refresh timers --------------------------------------------------------------------------

void KestoRecordServer::timerEvent(QTimerEvent* e) {
    if (!m_exiting) {
        // The reads run on workers, whatever else runs (a format, a block read, a search); a
        // read still running when the next is due lets that one pass.
        if (e->timerId() == m_diskTimerId) {
            if (--m_diskCountdown <= 0) {
                if (!m_diskQuery.running) OnDiskRefresh();
                m_diskCountdown = kRefreshTicks;
            }
        } else if (e->timerId() == m_chnTimerId) {
            if (--m_chnCountdown <= 0) {
                if (!m_chnQuery.running) OnChnRefresh();
                m_chnCountdown = kRefreshTicks;
            }
        }
    }
    QObject::timerEvent(e);
}

// ---- exit ------------------------------------------------------------------------------------

void KestoRecordServer::OnExitApp() {
    if (m_exitDialogOpen || m_exiting) return;
    m_exitDialogOpen = true;
    const int answer =
        INFRA::MessageBox::Warning(this, QObject::tr("K3741_Msg"), QObject::tr("K3742_MsgContent"),
                                   INFRA::MessageBox::Yes | INFRA::MessageBox::No);
    m_exitDialogOpen = false;
    // A stop command may have ended the console while the question was open.
    if (m_exiting) return;
    // Only Yes stops the server; No and a box closed without an answer leave it running.
    if (answer != INFRA::MessageBox::Yes) return;
    m_tendrel.TearDown(QCoreApplication::applicationPid());
    ExitServer();
}

void KestoRecordServer::ExitServer() {
    if (m_exiting) return;
    m_exiting = true;
    INFRA::MessageBox::CloseAll();  // e.g. the exit question, when "stop" came meanwhile
    hide();
    DeleteSystemTray();
    if (m_consoleTimer) {
        m_consoleTimer->stop();
        m_consoleTimer->deleteLater();  // we may be inside its timeout
        m_consoleTimer = nullptr;
    }
    // Stays until the process ends.
    auto* exiting =
        new INFRA::ServerExiting(QObject::tr("K4604_LbWarning"), QObject::tr("K4536_ServerExiting"));
    exiting->show();
    exiting->raise();
    if (m_singleApp) m_singleApp->KillByTime(kForcedKillMs, false);
    std::thread(&KestoRecordServer::ExitThreadProc, this).detach();
}

void KestoRecordServer::ExitThreadProc(KestoRecordServer* self) {
    self->StopEngine();
    // quit() belongs to the GUI thread: post it there.
    QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection);
}
