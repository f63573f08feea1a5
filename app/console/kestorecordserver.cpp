#include "kestorecordserver.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QListView>
#include <QMenu>
#include <QSettings>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QTcpServer>
#include <QTimerEvent>
#include <thread>

#include "LumoFS/LumoFS.h"
#include "LumoFS/LumoRecorderUrl.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/serverexiting.h"
#include "VantelProcess/singleapp.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"

namespace {

const char kSettingsFile[] = "kestoconfig.ini";
const quint16 kDefaultPort = kLumoRecorderDefaultPort;
const int kRefreshTicks = 15;
const int kForcedKillMs = 150000;

// Code texts are looked up in the QObject context, where the language files keep them.
QString colon(const char* key) {
    return QObject::tr(key) + QStringLiteral(" : ");
}

}  // namespace

KestoRecordServer::KestoRecordServer(QWidget* parent) : QWidget(parent, Qt::WindowMinMaxButtonsHint) {
    // The stop channel opens first, before the engine takes its port.
    ConsoleHost::Config shell;
    shell.settingsFile = QLatin1String(kSettingsFile);
    shell.iconPath = QStringLiteral(":res/vantelrecord/image/Kesto.ico");
    shell.trayName = QStringLiteral("RecorderServer");
    shell.linkName = INFRA::Customization::GetRecorderServerLnkName();
    shell.exitTextKey = QStringLiteral("K3742_MsgContent");
    shell.forcedKillMs = kForcedKillMs;
    m_host = new ConsoleHost(this, shell);
    m_host->SetStopFunction([this]() { StopEngine(); });
    connect(m_host, &ConsoleHost::Tick, this, &KestoRecordServer::OnTimer);

    ui.setupUi(this);
    m_storage = MakeStorage();
    // A plain frameless top-level window. (The window-type bits 0x000F together with the frameless
    // hint would make a splash-screen window on X11: no taskbar entry, odd stacking.)
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(QStringLiteral("KestoRecordServer"));
    setMinimumSize(1024, 600);

    // The port is set in kestoconfig.ini; while the engine runs the window only shows it, and
    // while it does not (its port is taken) the operator can choose another one here.
    ui.m_listWidget->setFixedWidth(200);

    InitServer();

    m_chnTimerId = startTimer(1000);
    m_diskTimerId = startTimer(1000);
    m_chnCountdown = kRefreshTicks;
    m_diskCountdown = kRefreshTicks;

    setWindowIcon(QIcon(QStringLiteral(":res/vantelrecord/image/Kesto.ico")));
}

KestoRecordServer::~KestoRecordServer() {
    // Workers under a busy indicator call into this window: they end before any of it goes.
    INFRA::BusyLoading::WaitForWorkers(this);
    // The storage pages wait for their workers and the read that runs (within the engine's
    // timeout) and drop their delegates before the tables go; no answer is shown now.
    m_host->MarkExiting();
    delete m_storage;
    m_storage = nullptr;
}

void KestoRecordServer::SetSingleApp(SingleApp* app) {
    m_host->SetSingleApp(app);
}

void KestoRecordServer::InitServer() {
    ui.LbLogo->setPixmap(QIcon(QStringLiteral(":res/vantelrecord/image/Kesto.png")).pixmap(15, 15));
    VantelUtility::InitLanguageByFile(QLatin1String(kSettingsFile));

    m_host->InitSystemTray();
    m_host->InitLanguageCombo(ui.CbLanguage);
    ui.CbLanguage->setView(new QListView(ui.CbLanguage));

    ReadPort();
    InitHDDFullCombo();

    const int started = StartEngine();
    m_engineStarted = started == 0;
    if (!m_engineStarted) {
        VantelDBG_Printf_f(0x7fff, 1, "KestoRecordServer::InitServer", "engine start on port %u failed: %d",
                           unsigned(m_port), started);
        NoteStartFailure(m_port, started);
        ShowBalloon(QObject::tr("K3745_Error"), QObject::tr("K3746_KestoFail"), QSystemTrayIcon::Critical,
                    20000);
        if (GetTrayIcon()) GetTrayIcon()->show();
    } else {
        ShowBalloon(QObject::tr("K3741_Msg"), QObject::tr("K3744_KestoStart"), QSystemTrayIcon::Information,
                    10000);
        if (GetTrayIcon()) GetTrayIcon()->show();
        // The engine honours the policy that the settings page shows.
        ApplyDiskFullPolicy(ui.m_cbHDDFull->currentIndex());
    }
    // The window is whole either way: navigation, tables with their headers (empty until the
    // engine runs), and the line that says why the engine does not run.
    InitTables();
    ShowEngineState();

    // Problems the engine found in its settings, told once at start (whether or not it runs).
    StartProblemsQuery();

    const QString address = GetLocalIPv4();
    ui.m_lbl_ipvalue->setText(address);
    ui.m_lbl_portvalue->setText(QString::number(m_port));
    ui.m_lab_ipvalue1->setText(address);
    ui.m_edit_port->setText(QString::number(m_port));

    connect(ui.m_cbHDDFull, SIGNAL(currentIndexChanged(int)), this, SLOT(OnCbHDDFullChanged(int)));
    connect(ui.m_button_import, SIGNAL(clicked()), this, SLOT(OnSecurityFileImport()));

    m_host->StartConsoleTimer();

    m_host->InstallFrameless(ui.titleWidget, ui.BtnMaximize);
    ui.titleWidget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui.titleWidget, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_host->GetTrayMenu()->popup(ui.titleWidget->mapToGlobal(pos)); });
    ui.BtnMinimize->setFixedSize(16, 16);
    ui.BtnMaximize->setFixedSize(16, 16);
    connect(ui.BtnMinimize, SIGNAL(clicked()), this, SLOT(OnMinimize()));
    connect(ui.BtnMaximize, SIGNAL(clicked()), this, SLOT(OnMaximize()));

    connect(ui.m_button_edit, SIGNAL(clicked(bool)), this, SLOT(OnChangeKestoPort()));
    connect(ui.m_check_autoboot, SIGNAL(clicked(bool)), this, SLOT(OnAutoBoot()));
    ui.m_check_autoboot->setChecked(VantelUtility::AutoRunWithSystem());

    m_host->ShowAtStart();
}

void KestoRecordServer::ShowBalloon(const QString& title, const QString& text,
                                    QSystemTrayIcon::MessageIcon icon, int ms) {
    m_host->ShowBalloon(title, text, icon, ms);
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
    if (m_engineStarted) {
        if (port == m_port) return;
        LumoSRStop();
        const int rc = LumoSRStart(port);
        if (rc != 0) {
            // The new port is taken: go back to the one that worked and keep it in the file.
            const int back = LumoSRStart(m_port);
            ui.m_edit_port->setText(QString::number(m_port));
            ShowBalloon(QObject::tr("K3745_Error"), QObject::tr("K3746_KestoFail"), QSystemTrayIcon::Critical,
                        20000);
            if (back != 0) {
                // The old port went meanwhile: the engine is down, and the window says so.
                m_engineStarted = false;
                NoteStartFailure(m_port, back);
                ShowEngineState();
            }
            return;
        }
    } else {
        // Not running (its port was taken): the same or another port is tried; the file keeps
        // the old one unless the engine now runs.
        const int rc = LumoSRStart(port);
        if (rc != 0) {
            VantelDBG_Printf_f(0x7fff, 1, "KestoRecordServer::OnChangeKestoPort",
                               "engine start on port %u failed: %d", unsigned(port), rc);
            NoteStartFailure(port, rc);
            ShowEngineState();
            ShowBalloon(QObject::tr("K3745_Error"), EngineStateText(), QSystemTrayIcon::Critical, 20000);
            return;
        }
        m_engineStarted = true;
        ApplyDiskFullPolicy(ui.m_cbHDDFull->currentIndex());
    }
    m_port = port;
    ui.m_lbl_portvalue->setText(QString::number(m_port));
    ui.m_edit_port->setText(QString::number(m_port));
    if (!SavePort(m_port))
        ShowBalloon(QObject::tr("K3745_Error"), QObject::tr("K3792_PortSaveFail").arg(m_port),
                    QSystemTrayIcon::Critical, 20000);
    if (m_startFailure.code != 0) {
        // The engine came up: the window comes alive.
        m_startFailure = StartFailure();
        ShowEngineState();
        ShowBalloon(QObject::tr("K3741_Msg"), QObject::tr("K3744_KestoStart"), QSystemTrayIcon::Information,
                    10000);
        RefreshDiskList();
        RefreshChannelList();
    }
}

bool KestoRecordServer::SavePort(quint16 port) {
    {
        QSettings settings(QLatin1String(kSettingsFile), QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        settings.setValue(QStringLiteral("port"), int(port));
        settings.sync();
        if (settings.status() != QSettings::NoError) return false;
    }
    // What the next start will read, not what this process believes it wrote.
    QSettings check(QLatin1String(kSettingsFile), QSettings::IniFormat);
    return check.status() == QSettings::NoError && check.value(QStringLiteral("port")).toInt() == int(port);
}

void KestoRecordServer::NoteStartFailure(quint16 port, int code) {
    m_startFailure.port = port;
    m_startFailure.code = code == 0 ? LUMOSR_ERR_FAIL : code;
    m_startFailure.kind = StartFailure::Other;
    if (code == LUMOSR_ERR_BIND) {
        // Why the bind failed: a trial listen on the same port tells taken from not permitted.
        QTcpServer probe;
        if (!probe.listen(QHostAddress::AnyIPv4, port))
            m_startFailure.kind =
                probe.serverError() == QAbstractSocket::SocketAccessError ? StartFailure::Denied : StartFailure::InUse;
        else
            m_startFailure.kind = StartFailure::InUse;  // it was taken a moment ago
    }
}

QString KestoRecordServer::EngineStateText() const {
    if (m_engineStarted || m_startFailure.code == 0) return QString();
    switch (m_startFailure.kind) {
    case StartFailure::InUse:
        return QObject::tr("K3789_EngineDownPortInUse").arg(m_startFailure.port);
    case StartFailure::Denied:
        return QObject::tr("K3790_EngineDownPortDenied").arg(m_startFailure.port);
    case StartFailure::Other:
        break;
    }
    return QObject::tr("K3791_EngineDownFailed").arg(m_startFailure.port).arg(m_startFailure.code);
}

void KestoRecordServer::ShowEngineState() {
    const QString text = EngineStateText();
    ui.m_lbl_engine_state->setText(text);
    ui.m_lbl_engine_state->setVisible(!text.isEmpty());
    // The port is changed here only while the engine is down; a running engine keeps its port.
    ui.m_edit_port->setEnabled(!m_engineStarted);
    ui.m_button_edit->setVisible(!m_engineStarted);
    ui.m_button_edit->setEnabled(!m_engineStarted);
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

// The shell's tick: the shell itself then reads the stop channel.
void KestoRecordServer::OnTimer() {
    ui.m_lbl_runtimevalue->setText(FormatRunTime(m_host->RunSeconds() * 1000));
}

// ---- languages -----------------------------------------------------------------------------

void KestoRecordServer::OnCbLanguageChanged(const QString& name) {
    // The shell's combo switches by itself; this slot serves callers that name a language.
    const QSignalBlocker block(ui.CbLanguage);
    ui.CbLanguage->setCurrentText(name);
    ConsoleShell::SwitchLanguage(name, QStringLiteral("./Languages/languages.ini"),
                                 QLatin1String(kSettingsFile));
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
    m_host->RetranslateTray();
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
    ShowEngineState();

    InitHDDFullCombo();

    // The file keeps a valid port; the labels show the port the engine runs on.
    bool repaired = false;
    ConsoleShell::ReadPortSetting(QLatin1String(kSettingsFile), QStringLiteral("port"), kDefaultPort,
                                  &repaired);
    const QString address = GetLocalIPv4();
    ui.m_lbl_ipvalue->setText(address);
    ui.m_lbl_portvalue->setText(QString::number(m_port));
    ui.m_lab_ipvalue1->setText(address);

    // The storage pages' texts and navigation, the tables' header labels and row-button
    // tooltips, and the calendars' language.
    m_storage->Retranslate();
}

// ---- autostart and security file -------------------------------------------------------------

void KestoRecordServer::OnAutoBoot() {
    m_host->ToggleAutoBoot(ui.m_check_autoboot);
}

void KestoRecordServer::OnSecurityFileImport() {
    m_host->ImportSecurityFile([](const char* path) { return LumoSRImportSecurityFile(path); });
}

// ---- frameless window ------------------------------------------------------------------------

void KestoRecordServer::OnMaximize() {
    m_host->ToggleMaximize();
}

void KestoRecordServer::OnMinimize() {
    m_host->Minimize();
}

void KestoRecordServer::AppendStyleSheetFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return;
    qApp->setStyleSheet(qApp->styleSheet() + QString::fromUtf8(f.readAll()));
}

// ---- refresh timers --------------------------------------------------------------------------

void KestoRecordServer::timerEvent(QTimerEvent* e) {
    // The reads run on workers, whatever else runs (a format, a block read, a search); a read
    // still running when the next is due lets that one pass. A stopped engine has nothing to
    // show: no read, and no failure to tell every 15 s.
    if (!IsExiting() && m_engineStarted) {
        if (e->timerId() == m_diskTimerId) {
            if (--m_diskCountdown <= 0) {
                if (!m_storage->DiskReadRunning()) OnDiskRefresh();
                m_diskCountdown = kRefreshTicks;
            }
        } else if (e->timerId() == m_chnTimerId) {
            if (--m_chnCountdown <= 0) {
                if (!m_storage->ChannelReadRunning()) OnChnRefresh();
                m_chnCountdown = kRefreshTicks;
            }
        }
    }
    QObject::timerEvent(e);
}

// ---- exit ------------------------------------------------------------------------------------

void KestoRecordServer::OnExitApp() {
    m_host->AskExit();
}
