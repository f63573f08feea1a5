#include "pavoapplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QIntValidator>
#include <QListView>
#include <QSettings>
#include <QStandardItemModel>
#include <QTimer>
#include <vector>

#include "LumoSEvent/LumoSEvent.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelProcess/singleapp.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"

namespace {

const char kSettingsFile[] = "PavoServer.ini";
const quint16 kDefaultPort = 8432;
const int kForcedKillMs = 30000;

QString colon(const char* key) {
    return QObject::tr(key) + QStringLiteral(" : ");
}

// The settings file by its absolute name: the program directory is the current one, but the
// EventHost group is read and written wherever the program was started from.
QString settingsPath() {
    return QDir::current().absoluteFilePath(QLatin1String(kSettingsFile));
}

}  // namespace

PavoApplication::PavoApplication(QWidget* parent) : QWidget(parent) {
    ConsoleHost::Config shell;
    shell.settingsFile = QLatin1String(kSettingsFile);
    shell.iconPath = QStringLiteral(":res/vantelevent/image/Pavo.ico");
    shell.trayName = QStringLiteral("EventServer");
    shell.linkName = INFRA::Customization::GetEventServerLnkName();
    shell.exitTextKey = QStringLiteral("K6945_ExitEventServer");
    shell.forcedKillMs = kForcedKillMs;
    m_host = new ConsoleHost(this, shell);
    m_host->SetStopFunction([this]() { StopEventServer(); });
    connect(m_host, &ConsoleHost::Tick, this, &PavoApplication::OnTimer);

    m_callback = new ILumoCallback(this, &PavoApplication::OnServerSignal);
    ui.setupUi(this);
    // A plain frameless top-level window. (The splash-screen window type would give it no
    // taskbar entry and odd stacking on X11.)
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    // The form is drawn application-modal; the console window must not block every other window
    // of the program (notices, questions).
    setWindowModality(Qt::NonModal);
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(QStringLiteral("PavoApplication"));
    setWindowIcon(QIcon(QStringLiteral(":res/vantelevent/image/Pavo.ico")));
    InitUi();
    InitServer();
}

PavoApplication::~PavoApplication() {
    m_host->MarkExiting();
    // Normally the exit thread has stopped the engine; a window destroyed otherwise still lets
    // no callback reach it afterwards.
    StopEventServer();
}

void PavoApplication::SetSingleApp(SingleApp* app) {
    m_host->SetSingleApp(app);
}

bool PavoApplication::IsEngineRunning() const {
    std::lock_guard<std::mutex> lock(m_engineMutex);
    return m_handle != nullptr;
}

// ---- start-up ------------------------------------------------------------------------------

void PavoApplication::InitUi() {
    resize(800, 500);
    VantelUtility::InitLanguageByFile(QLatin1String(kSettingsFile));
    m_host->InitLanguageCombo(ui.CbLanguage);
    InitDeviceTable();
    Retranslate();
    LoadEventHostSettings();
    ui.CbLanguage->setView(new QListView(ui.CbLanguage));
    ui.m_listWidget->setFixedWidth(200);
    ui.m_listWidget->setIconSize(QSize(30, 30));
    const char* const icons[] = {"basiccfg.png", "chnmng.png"};
    for (int i = 0; i < 2 && i < ui.m_listWidget->count(); ++i) {
        ui.m_listWidget->item(i)->setIcon(
            VantelUtility::getIcon(QStringLiteral("remotecfg"), QLatin1String(icons[i]), 30, 30));
        ui.m_listWidget->item(i)->setSizeHint(QSize(0, 48));
    }
    ui.m_listWidget->setCurrentRow(0);
    // Whole numbers only; the ranges are checked when saving, with a message.
    auto* numbers = new QIntValidator(this);
    ui.m_editmaxdevnum->setValidator(numbers);
    ui.m_editmaxpicday->setValidator(numbers);
    ui.m_editmaxevtrows->setValidator(numbers);
    m_host->InstallFrameless(ui.titleWidget, ui.BtnMaximize);
    ui.BtnMinimize->setFixedSize(16, 16);
    ui.BtnMaximize->setFixedSize(16, 16);
    connect(ui.BtnMinimize, &QPushButton::clicked, this, &PavoApplication::OnMinimize);
    connect(ui.BtnMaximize, &QPushButton::clicked, this, &PavoApplication::OnMaximize);
    connect(ui.m_btnsave, &QPushButton::clicked, this, &PavoApplication::SaveEventHostSettings);
    connect(ui.m_btnrefresh, &QPushButton::clicked, this, &PavoApplication::LoadEventHostSettings);
    connect(ui.m_editmaxevtrows, &QLineEdit::editingFinished, this, &PavoApplication::ClampMaxEventRows);
    // The folder buttons are narrow: no room for the sheet's side padding around their "…".
    for (QPushButton* b : {ui.m_btnpathdbs, ui.m_btnpathpic})
        b->setStyleSheet(QStringLiteral("padding: 4px 0px; min-width: 30px;"));
    connect(ui.m_btnpathdbs, &QPushButton::clicked, this, &PavoApplication::OnSelectPathDbs);
    connect(ui.m_btnpathpic, &QPushButton::clicked, this, &PavoApplication::OnSelectPathPic);
    connect(this, &PavoApplication::SigServerLogin, this, &PavoApplication::OnServerLogin);
    connect(this, &PavoApplication::SigClientLogin, this, &PavoApplication::OnClientLogin);
    connect(this, &PavoApplication::SigDeviceLogin, this, &PavoApplication::OnDeviceLogin);
    connect(ui.m_check_autoboot, &QCheckBox::clicked, this, &PavoApplication::OnAutoBoot);
    ui.m_check_autoboot->setChecked(VantelUtility::AutoRunWithSystem());
    ui.m_button_edit->hide();
    ui.m_edit_port->setEnabled(false);
}

void PavoApplication::InitServer() {
    ui.LbLogo->setPixmap(QIcon(QStringLiteral(":res/vantelevent/image/Pavo.png")).pixmap(15, 15));
    m_host->InitSystemTray();
    bool repaired = false;
    m_port = ConsoleShell::ReadPortSetting(QLatin1String(kSettingsFile), QStringLiteral("port"), kDefaultPort,
                                           &repaired);
    if (repaired)
        VantelDBG_Printf_f(0x7fff, 2, "PavoApplication", "no valid port in %s: using %u", kSettingsFile,
                           unsigned(kDefaultPort));

    StartAndTell();
    if (m_host->GetTrayIcon()) m_host->GetTrayIcon()->show();

    const QString address = ConsoleShell::GetLocalIPv4();
    ui.m_lab_ipvalue1->setText(address);
    ui.m_lbl_ipvalue->setText(address);
    ui.m_lbl_portvalue->setText(QString::number(m_port));
    ui.m_edit_port->setText(QString::number(m_port));
    UpdatePortEdit();
    connect(ui.m_button_import, &QPushButton::clicked, this, &PavoApplication::OnSecurityFileImport);
    connect(ui.m_button_edit, &QPushButton::clicked, this, &PavoApplication::OnEditPort);

    // The tick runs whatever the engine did: the stop channel must reach a console whose engine
    // failed, too.
    m_host->StartConsoleTimer();
    m_host->ShowAtStart();
    OnDeviceLogin();
}

bool PavoApplication::StartEventServer() {
    QStringList repaired;
    const EventEngineLimits l = EventHost::LimitsForStart(settingsPath(), &repaired);
    if (!repaired.isEmpty())
        VantelDBG_Printf_f(0x7fff, 2, "PavoApplication", "broken values in %s repaired: %s", kSettingsFile,
                           qUtf8Printable(repaired.join(QLatin1Char(' '))));
    void* handle = LumoSEStart(m_port, l.maxDevNum, l.maxPicDays, l.maxEventRows,
                               l.pathPic.toUtf8().constData(), l.pathDbs.toUtf8().constData());
    if (!handle) {
        VantelDBG_Printf_f(0x7fff, 1, "PavoApplication", "event engine did not start on port %u",
                           unsigned(m_port));
        return false;
    }
    std::lock_guard<std::mutex> lock(m_engineMutex);
    m_handle = handle;
    if (!m_callback) m_callback = new ILumoCallback(this, &PavoApplication::OnServerSignal);
    LumoSAttachEventServer(m_handle, m_callback, &ILumoCallback::OnSignal);
    return true;
}

bool PavoApplication::StartAndTell() {
    // The balloon tells what really happened: a dead engine does not look started.
    const bool started = StartEventServer();
    if (started)
        m_host->ShowBalloon(QObject::tr("K3741_Msg"), QObject::tr("K5028_PavoStart"),
                            QSystemTrayIcon::Information, 10000);
    else
        m_host->ShowBalloon(QObject::tr("K3745_Error"), QObject::tr("PV003_PavoFail"),
                            QSystemTrayIcon::Critical, 20000);
    return started;
}

void PavoApplication::StopEventServer() {
    void* handle = nullptr;
    ILumoCallback* callback = nullptr;
    quint16 port = 0;
    {
        std::lock_guard<std::mutex> lock(m_engineMutex);
        handle = m_handle;
        callback = m_callback;
        port = m_port;
        m_handle = nullptr;
        m_callback = nullptr;
    }
    if (handle && callback) LumoSDetachEventServer(handle, callback, &ILumoCallback::OnSignal);
    // Detach has waited for a call in flight: nothing uses the callback any more.
    delete callback;
    if (handle) LumoSEStop(port);
}

int PavoApplication::OnServerSignal(CLumoObject* owner, int code, void*, void* p1, void*) {
    auto* self = dynamic_cast<PavoApplication*>(owner);
    if (!self) return -1;
    switch (code) {
        case LUMOSE_CB_DEVICES:
            emit self->SigDeviceLogin();
            return 0;
        case LUMOSE_CB_SERVER:
        case LUMOSE_CB_CLIENT: {
            if (!p1) return 0;
            // The text is the record's second pointer-sized field.
            const char* text = reinterpret_cast<const char* const*>(p1)[1];
            const QString value = QString::fromUtf8(text ? text : "");
            if (code == LUMOSE_CB_SERVER)
                emit self->SigServerLogin(value);
            else
                emit self->SigClientLogin(value);
            return 0;
        }
        default:
            return -1;
    }
}

void PavoApplication::OnServerLogin(const QString& text) {
    ui.m_labbindservalvalue->setText(text);
}

void PavoApplication::OnClientLogin(const QString&) {}

// ---- device table --------------------------------------------------------------------------

const char* PavoApplication::DeviceTypeKey(int type) {
    switch (type) {
        case 0:
            return "K0503_DevTypeIPC";
        case 1:
            return "K0504_DevTypeNVR";
        case 2:
            return "K0505_DevTypeUVR";
        case 50:
            return "K0506_DevTypeKesto";
        case 51:
            return "K0506_DevTypePavo";
        default:
            return "K0508_DevTypeUNK";
    }
}

void PavoApplication::InitDeviceTable() {
    m_deviceModel = new QStandardItemModel(0, 4, this);
    QTableView* view = ui.m_twclient;
    view->setModel(m_deviceModel);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setVisible(true);
    view->verticalHeader()->setVisible(false);
    view->setFocusPolicy(Qt::NoFocus);
    view->setAlternatingRowColors(true);
    // Name and address wide, type and state narrow; the state column takes what is left.
    const int widths[] = {200, 200, 100, 100};
    for (int i = 0; i < 4; ++i) view->setColumnWidth(i, widths[i]);
}

void PavoApplication::OnDeviceLogin() {
    void* handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_engineMutex);
        handle = m_handle;
    }
    // Without an engine the table keeps its last rows.
    if (!handle || !m_deviceModel) return;
    std::vector<LumoSDTODevice> rows;
    const int rc = LumoSGetDeviceTable(handle, &rows);
    m_deviceModel->removeRows(0, m_deviceModel->rowCount());
    if (rc != 0) return;
    m_deviceModel->setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const LumoSDTODevice& d = rows[size_t(i)];
        const QString cells[] = {QString::fromStdString(d.name), QString::fromStdString(d.ip),
                                 QObject::tr(DeviceTypeKey(d.type)),
                                 QObject::tr(d.online ? "K0475_Online" : "K0429_Offline")};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QStandardItem(cells[c]);
            item->setEditable(false);
            m_deviceModel->setItem(i, c, item);
        }
    }
}

// ---- settings page -------------------------------------------------------------------------

EventHostSettings PavoApplication::EditedSettings() const {
    EventHostSettings s;
    s.maxDevNum = ui.m_editmaxdevnum->text();
    s.maxEventRows = ui.m_editmaxevtrows->text();
    s.maxPicDays = ui.m_editmaxpicday->text();
    s.pathDbs = ui.m_editpathdbs->text();
    s.pathPic = ui.m_editpathpic->text();
    return s;
}

void PavoApplication::LoadEventHostSettings() {
    const EventHostSettings s = EventHost::Load(settingsPath(), QString::fromUtf8(LumoSEGetWorkPath()));
    ui.m_editmaxdevnum->setText(s.maxDevNum);
    ui.m_editmaxevtrows->setText(s.maxEventRows);
    ui.m_editmaxpicday->setText(s.maxPicDays);
    ui.m_editpathdbs->setText(s.pathDbs);
    ui.m_editpathpic->setText(s.pathPic);
}

bool PavoApplication::IsEventHostUnchanged(const EventHostSettings& edits) const {
    return edits == EventHost::Read(settingsPath());
}

void PavoApplication::ClampMaxEventRows() {
    const QString text = ui.m_editmaxevtrows->text();
    const QString clamped = EventHost::ClampEventRows(text);
    if (clamped != text) ui.m_editmaxevtrows->setText(clamped);
}

void PavoApplication::Fail(const char* key) {
    INFRA::NotifierManager::instance()->notify(QObject::tr("K2356_Fail"), QObject::tr(key), 1,
                                               QStringLiteral("#"));
}

bool PavoApplication::SaveEventHostSettings() {
    if (m_host->IsExiting()) return false;
    // The clamp runs again here: editing may have ended without its signal (a text the
    // validator holds as intermediate, such as a ten-digit number).
    ClampMaxEventRows();
    const EventHostSettings edits = EditedSettings();
    if (IsEventHostUnchanged(edits)) return false;
    const QString problem = EventHost::CheckForSave(edits);
    if (!problem.isEmpty()) {
        Fail(problem.toUtf8().constData());
        return false;
    }
    // Devices online now must fit under the new limit. Without an engine there are none, and the
    // settings can still be corrected (a folder or limit that kept it from starting).
    void* handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_engineMutex);
        handle = m_handle;
    }
    if (handle) {
        std::vector<LumoSDTODevice> rows;
        LumoSGetDeviceTable(handle, &rows);
        qint64 online = 0;
        for (const LumoSDTODevice& d : rows) online += d.online ? 1 : 0;
        qint64 limit = EventHost::DeviceLimit(edits);
        if (limit == 0) limit = LUMOSE_DEFAULT_MAXDEVNUM;
        if (limit < online) {
            Fail("K5344_MaxDevsLessthanConnect");
            return false;
        }
    }
    const int answer =
        INFRA::MessageBox::Warning(this, QObject::tr("K4602_LbTitle"), QObject::tr("K5341_EventServerReset"),
                                   INFRA::MessageBox::Yes | INFRA::MessageBox::No);
    if (m_host->IsExiting()) return false;  // a stop came while the question was open
    if (answer != INFRA::MessageBox::Yes) {
        LoadEventHostSettings();
        return false;
    }
    if (!EventHost::Write(settingsPath(), edits)) {
        Fail("K2356_Fail");
        return false;
    }
    // The program ends and starts again with the values (main does that on ExitCode): the
    // engine is stopped, its callback detached and its port freed on the way out, as at any exit.
    m_restartAfterExit = true;
    m_host->Exit();
    return true;
}

QString PavoApplication::SelectFolder(QWidget* parent) {
    const QString dir = QFileDialog::getExistingDirectory(parent, QObject::tr("K2056_SelectFilePath"),
                                                          QDir::currentPath(), QFileDialog::ShowDirsOnly);
    if (dir.isEmpty()) return QString();
    return QDir::toNativeSeparators(dir).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

void PavoApplication::OnSelectPathDbs() {
    const QString dir = SelectFolder(this);
    if (!dir.isEmpty()) ui.m_editpathdbs->setText(dir);
}

void PavoApplication::OnSelectPathPic() {
    const QString dir = SelectFolder(this);
    if (!dir.isEmpty()) ui.m_editpathpic->setText(dir);
}

// ---- port ----------------------------------------------------------------------------------

void PavoApplication::UpdatePortEdit() {
    const bool down = !IsEngineRunning();
    ui.m_edit_port->setEnabled(down);
    ui.m_button_edit->setVisible(down);
}

void PavoApplication::OnEditPort() {
    quint16 port = 0;
    if (!ConsoleShell::ParsePort(ui.m_edit_port->text(), &port)) {
        ui.m_edit_port->setText(QString::number(m_port));  // not a port: nothing changes
        return;
    }
    if (port == m_port && IsEngineRunning()) return;
    StopEventServer();
    {
        std::lock_guard<std::mutex> lock(m_engineMutex);
        m_port = port;
    }
    if (!EventHost::EditIni(QLatin1String(kSettingsFile),
                            [this](QSettings& s) { s.setValue(QStringLiteral("port"), int(m_port)); }))
        VantelDBG_Printf_f(0x7fff, 1, "PavoApplication", "the port was not saved to %s", kSettingsFile);
    ui.m_lbl_portvalue->setText(QString::number(m_port));
    StartAndTell();
    UpdatePortEdit();
    OnDeviceLogin();
}

// ---- shell ---------------------------------------------------------------------------------

void PavoApplication::OnTimer() {
    ui.m_lbl_runtimevalue->setText(ConsoleShell::FormatRunTime(m_host->RunSeconds() * 1000));
    ui.m_lbl_ipvalue->setText(ConsoleShell::GetLocalIPv4());
    ui.m_lbl_portvalue->setText(QString::number(m_port));
}

void PavoApplication::OnCbLanguageChanged(const QString& name) {
    const QSignalBlocker block(ui.CbLanguage);
    ui.CbLanguage->setCurrentText(name);
    ConsoleShell::SwitchLanguage(name, QStringLiteral("./Languages/languages.ini"),
                                 QLatin1String(kSettingsFile));
}

void PavoApplication::OnAutoBoot() {
    m_host->ToggleAutoBoot(ui.m_check_autoboot);
}

void PavoApplication::OnExitApp() {
    m_host->AskExit();
}

void PavoApplication::OnMinimize() {
    m_host->Minimize();
}

void PavoApplication::OnMaximize() {
    m_host->ToggleMaximize();
}

void PavoApplication::OnSecurityFileImport() {
    m_host->ImportSecurityFile([](const char* path) { return LumoSEImportSecurityFile(path); });
}

void PavoApplication::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) {
        ui.retranslateUi(this);
        Retranslate();
    }
    QWidget::changeEvent(e);
}

void PavoApplication::Retranslate() {
    m_host->RetranslateTray();
    ui.m_labmaxdevnum->setText(colon("K5031_MaxDevNum"));
    ui.m_labmaxpicday->setText(colon("K5032_MaxPicDay"));
    ui.m_labmaxevtrows->setText(colon("K5033_MaxEvtDay"));
    ui.m_labpathdbs->setText(colon("K5034_PathDBS"));
    ui.m_labpathpic->setText(colon("K2054_PicPath"));
    ui.m_labbindserver->setText(colon("K5030_BoundServer"));
    ui.m_lbl_ip1->setText(colon("K3776_LbIP"));
    ui.m_lbl_edit_port->setText(colon("K3772_LbPortNum"));
    ui.m_lbl_security->setText(colon("K3770_LbSecurity"));
    ui.m_lbl_ip->setText(colon("K0403_IPAddress"));
    ui.m_lbl_port->setText(colon("K0405_PortNum"));
    ui.m_lbl_runtime->setText(colon("K3747_RunTime"));
    ui.BtnMaximize->setToolTip(QObject::tr("K0071_strMaximize"));
    ui.BtnMaximize->setToolTipDuration(10000);
    ui.BtnMinimize->setToolTip(QObject::tr("K0072_Str_MinWindow"));
    ui.BtnMinimize->setToolTipDuration(10000);
    const QString address = ConsoleShell::GetLocalIPv4();
    ui.m_lbl_ipvalue->setText(address);
    ui.m_lab_ipvalue1->setText(address);
    // The labels show the port the engine runs on, at once (not the default until the tick).
    ui.m_lbl_portvalue->setText(QString::number(m_port));
    ui.m_edit_port->setText(QString::number(m_port));
    ui.m_lbl_runtimevalue->setText(ConsoleShell::FormatRunTime(m_host->RunSeconds() * 1000));
    if (m_deviceModel)
        m_deviceModel->setHorizontalHeaderLabels({QObject::tr("K0400_DeviceName"), QObject::tr("K4552_HvIP"),
                                                  QObject::tr("K0402_DeviceType"),
                                                  QObject::tr("K0407_OnlineStat")});
    ui.m_btnrefresh->setText(QObject::tr("K0414_Refresh"));
    ui.m_btnsave->setText(QObject::tr("K2350_Save"));
    OnDeviceLogin();
}
