#include "pgconfig.h"

#include <QIntValidator>
#include <QTimer>

#include "LumoSServer/LumoSServer.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/messagebox.h"
#include "consoleutility.h"
#include "engineholder.h"
#include "vantelserver.h"

namespace {
const char kStartStyle[] = "QPushButton{background:#1B6DC3;}QPushButton:hover{background:#298CF4;}";
const char kStopStyle[] = "QPushButton{background:#DD5044;}QPushButton:hover{background:#EC6153;}";
}  // namespace

PgConfig::PgConfig(int index, VantelServer* owner)
    : VantelServerPages(index, owner), m_data(ServerDataStore::Instance().ConfigData()) {
    Ui::VantelServer& ui = owner->GetForm();
    ui.EdtPort->setValidator(new QIntValidator(80, 65535, this));
    ui.CbAutostart->setChecked(m_data.runstartup);
    ui.BtnCanclePort->hide();
    ui.EdtPort->setEnabled(false);
    m_editing = false;
    connect(ui.BtnStopStartServer, SIGNAL(clicked()), this, SLOT(OnBtnStopStartServerClicked()));
    connect(ui.BtnEditPort, SIGNAL(clicked()), this, SLOT(OnBtnEditPortClicked()));
    connect(ui.BtnCanclePort, SIGNAL(clicked()), this, SLOT(OnBtnCanclePortClicked()));
    // Only the operator's click touches the autostart entry: showing its state (below, at start)
    // must leave the entry as it is.
    connect(ui.CbAutostart, SIGNAL(clicked()), this, SLOT(OnCbAutostartClicked()));
    connect(ui.BtnExportCetification, SIGNAL(clicked()), this, SLOT(OnBtnExportCetificationClicked()));
    if (m_data.port == 0) m_data.port = PgConfigData::DefaultPort;
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, SIGNAL(timeout()), this, SLOT(OnTimerTimeout()));
    StartServer();
    Init();
    ui.CbAutostart->setChecked(ConsoleUtility::Instance()->IsAutoStart());
    ui.BtnExportClient->hide();
}

PgConfig::~PgConfig() {
    DetachCallback();
}

void PgConfig::Init() {
    m_owner->GetForm().EdtPort->setText(QString::number(m_data.port));
    if (!EngineHolder::IsRunning()) LeaveEditMode();
}

void PgConfig::Retranslate() {
    Ui::VantelServer& ui = m_owner->GetForm();
    ui.BtnStopStartServer->setText(QCoreApplication::translate(
        "VantelServer", EngineHolder::IsRunning() ? "K4522_BtnStopServer" : "K4523_BtnStartServer"));
    ui.BtnEditPort->setText(
        QCoreApplication::translate("VantelServer", m_editing ? "K4529_BtnSavePort" : "K4528_BtnEditPort"));
}

int PgConfig::StartServer() {
    void* handle = LumoSCreateServer(m_data.port);
    const int r = LumoSStartServer(handle);
    if (r < 0) {
        // A handle that never ran is released at once: retries must not pile up engines.
        LumoSReleaseServer(handle);
        VantelDBG_Printf_f(0x7fff, 1, "PgConfig::StartServer", "engine start on port %u failed: %s",
                           unsigned(m_data.port), LumoResultText(r));
        m_owner->ShowBalloon(QObject::tr("K3745_Error"), QObject::tr("K4506_VantelServerFail"),
                             QSystemTrayIcon::Critical, 20000);
        ShowStopped();
        return r;
    }
    EngineHolder::SetHandle(handle);
    m_owner->ShowBalloon(QObject::tr("K3741_Msg"), QObject::tr("K4504_VantelServerSuccess"),
                         QSystemTrayIcon::Information, 10000);
    ShowRunning();
    if (!m_callback) m_callback = new ILumoCallback(this, &PgConfig::OnServerCallback);
    LumoSAttachServer(handle, m_callback, &ILumoCallback::OnSignal);
    return 0;
}

int PgConfig::OnServerCallback(CLumoObject* owner, int code, void* sender, void* p1, void*) {
    auto* page = dynamic_cast<PgConfig*>(owner);
    if (!page || !page->m_owner) return 0;
    return page->m_owner->OnServerSignal(sender, code, p1);
}

void PgConfig::DetachCallback() {
    if (!m_callback) return;
    // Detach waits for a call in flight, so the callback can be deleted right after.
    if (void* handle = EngineHolder::Handle())
        LumoSDetachServer(handle, m_callback, &ILumoCallback::OnSignal);
    delete m_callback;
    m_callback = nullptr;
}

void PgConfig::StopServer() {
    DetachCallback();
    VantelDBG_Printf_f(0x7fff, 3, "PgConfig::StopServer", "stop server");
    if (void* handle = EngineHolder::Take()) {
        LumoSStopServer(handle);
        LumoSReleaseServer(handle);
    }
    m_owner->ShowBalloon(QObject::tr("K4507_Close"), QObject::tr("K4508_VantelServerStop"),
                         QSystemTrayIcon::Information, 10000);
    ShowStopped();
    // No engine, no clients: the maintenance table empties (a queued event may still come).
    emit m_owner->SignalServerUser();
}

void PgConfig::OnBtnStopStartServerClicked() {
    if (!EngineHolder::IsRunning()) {
        StartServer();
        return;
    }
    const int answer = INFRA::MessageBox::Warning(this, QObject::tr("K4604_LbWarning"),
                                                  QObject::tr("K4524_LbWhetherStopServer"),
                                                  INFRA::MessageBox::Yes | INFRA::MessageBox::No);
    if (answer == INFRA::MessageBox::Yes && EngineHolder::IsRunning()) StopServer();
}

void PgConfig::ShowRunning() {
    Ui::VantelServer& ui = m_owner->GetForm();
    EngineHolder::SetRunning(true);
    ui.BtnStopStartServer->setStyleSheet(kStopStyle);
    ui.BtnStopStartServer->setText(QCoreApplication::translate("VantelServer", "K4522_BtnStopServer"));
    ui.BtnEditPort->setEnabled(false);
    ui.BtnExportCetification->setEnabled(true);
    ui.LbPortInfo->setText(QString::number(m_data.port));
    ui.LbIPInfo->setText(ConsoleUtility::Instance()->GetLocalIPv4());
    m_timer->start();
    m_uptime = 0;
}

void PgConfig::ShowStopped() {
    Ui::VantelServer& ui = m_owner->GetForm();
    EngineHolder::SetRunning(false);
    ui.BtnStopStartServer->setStyleSheet(kStartStyle);
    ui.BtnStopStartServer->setText(QCoreApplication::translate("VantelServer", "K4523_BtnStartServer"));
    ui.BtnEditPort->setEnabled(true);
    // There is no engine to export from while stopped.
    ui.BtnExportCetification->setEnabled(false);
    ui.LbPortInfo->setText(QStringLiteral("----"));
    ui.LbIPInfo->setText(QStringLiteral("0.0.0.0"));
    m_timer->stop();
}

void PgConfig::OnTimerTimeout() {
    Ui::VantelServer& ui = m_owner->GetForm();
    ++m_uptime;
    ui.LbUptime->setText(ConsoleUtility::Instance()->FormatRunTime(m_uptime * 1000));
    ui.LbIPInfo->setText(ConsoleUtility::Instance()->GetLocalIPv4());
    ui.LbPortInfo->setText(QString::number(m_data.port));
}

void PgConfig::OnBtnEditPortClicked() {
    if (!m_editing)
        EnterEditMode();
    else
        OnBtnSavePortClicked();
}

void PgConfig::EnterEditMode() {
    Ui::VantelServer& ui = m_owner->GetForm();
    m_editing = true;
    ui.BtnCanclePort->show();
    ui.EdtPort->setEnabled(true);
    ui.BtnStopStartServer->setEnabled(false);
    ui.BtnStopStartServer->setStyleSheet("QPushButton:disabled{background:#484D58;color:#757575;}");
    ui.BtnEditPort->setText(QCoreApplication::translate("VantelServer", "K4529_BtnSavePort"));
    ui.BtnEditPort->setStyleSheet(
        "QPushButton{background:#1B6DC3;width:50px;}QPushButton:hover{background:#298CF4;}");
}

void PgConfig::LeaveEditMode() {
    Ui::VantelServer& ui = m_owner->GetForm();
    m_editing = false;
    ui.BtnCanclePort->hide();
    ui.EdtPort->setEnabled(false);
    ui.BtnStopStartServer->setEnabled(true);
    ui.BtnStopStartServer->setStyleSheet(EngineHolder::IsRunning() ? kStopStyle : kStartStyle);
    ui.BtnEditPort->setText(QCoreApplication::translate("VantelServer", "K4528_BtnEditPort"));
    ui.BtnEditPort->setStyleSheet("QPushButton{background:#484D58;}QPushButton:hover{background:#6A6F7A;}");
}

void PgConfig::OnBtnCanclePortClicked() {
    m_owner->GetForm().EdtPort->setText(QString::number(m_data.port));
    LeaveEditMode();
}

void PgConfig::OnBtnSavePortClicked() {
    Ui::VantelServer& ui = m_owner->GetForm();
    bool ok = false;
    const uint value = ui.EdtPort->text().trimmed().toUInt(&ok);
    if (ok && value != 0 && value < 80) {
        // The field's range is 80..65535; a port below it needs privileges the console lacks.
        INFRA::MessageBox::Warning(this, QObject::tr("K4604_LbWarning"), QObject::tr("K4589_PortRange"));
        return;
    }
    m_data.port = (!ok || value == 0 || value > 65535) ? quint16(PgConfigData::DefaultPort) : quint16(value);
    ui.EdtPort->setText(QString::number(m_data.port));
    LeaveEditMode();
    if (!m_data.Save())
        INFRA::MessageBox::Warning(this, QObject::tr("K4604_LbWarning"), QObject::tr("K4590_SaveFailed"));
}

void PgConfig::OnCbAutostartClicked() {
    const bool on = m_owner->GetForm().CbAutostart->isChecked();
    if (!ConsoleUtility::Instance()->SetAutoStart(on))
        VantelDBG_Printf_f(0x7fff, 1, "PgConfig::OnCbAutostartClicked", "the autostart entry cannot be %s",
                           on ? "written" : "removed");
}

void PgConfig::OnBtnExportCetificationClicked() {
    if (!EngineHolder::Handle()) return;
    const QString path = ConsoleUtility::Instance()->GetSaveFileName(
        QStringLiteral("*.xml"), QCoreApplication::translate("VantelServer", "K4525_LbCetification"));
    if (path.isEmpty()) return;  // cancelled
    ExportCertificateTo(path);
}

int PgConfig::ExportCertificateTo(const QString& path) {
    QByteArray local;
    if (!ExportPath(path, &local)) return LUMO_ERR_PARAM;
    void* handle = EngineHolder::Handle();
    return ReportExport(handle ? LumoSExportCertification(handle, local.constData()) : LUMO_ERR_STATE, path);
}
