#include "vantelserver.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDebug>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>
#include <thread>

#include "LumoSServer/LumoSServer.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/serverexiting.h"
#include "VantelProcess/singleapp.h"
#include "consoleshell.h"
#include "consoleutility.h"
#include "engineholder.h"
#include "linewidget.h"
#include "pageserverlist.h"
#include "pages.h"
#include "pgconfig.h"
#include "pgmaintain.h"
#include "serverdata.h"

void LineWidget::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(QColor(67, 67, 67), 1, Qt::SolidLine));
    painter.drawLine(18, 60, 540, 60);
}

PgLog::PgLog(int index, VantelServer* owner) : VantelServerPages(index, owner) {
    Init();
}

void PgLog::Init() {
    const bool running = EngineHolder::IsRunning();
    m_owner->GetForm().BtnRefreshLog->setEnabled(running);
    m_owner->GetForm().BtnExportLog->setEnabled(running);
}

VantelServer::VantelServer(QWidget* parent, SingleApp* guard)
    : QWidget(parent),
      m_host(new ConsoleHost(
          this, {QStringLiteral("VantelServer.ini"), QStringLiteral(":res/vantelserver/image/ServerIcon.ico"),
                 QStringLiteral("VantelServer"), QStringLiteral("VantelServer"),
                 QStringLiteral("K4515_LogoutInfo"), 30000, QStringLiteral("K4604_LbWarning")})) {
    m_host->SetSingleApp(guard);
    m_host->SetStopFunction(&VantelServer::ExitThreadProc);
    ui.setupUi(this);
    // A plain frameless top-level window (no splash-type hints, so it keeps a taskbar entry).
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_StyledBackground);
    resize(800, 500);
    ui.tabWidget->removeTab(1);
    ui.LbLogo->setPixmap(QIcon(QStringLiteral(":res/vantelserver/image/ServerIcon.ico")).pixmap(16, 16));
    setWindowIcon(QIcon(QStringLiteral(":res/vantelserver/image/ServerIcon.ico")));
    InitPages();
    Retranslate();
    // At start the menu reads "K4513_Set" and "K4514_Logout"; a language switch gives it the
    // shell's "K3740_Config" and "K3740_Exit".
    const QList<QAction*> actions = m_host->GetTrayMenu()->actions();
    if (actions.size() == 2) {
        actions[0]->setText(QObject::tr("K4513_Set"));
        actions[1]->setText(QObject::tr("K4514_Logout"));
    }
    m_host->ShowAtStart();
}

VantelServer::~VantelServer() {
    // The configuration page detaches from the engine when it goes, before the window does.
    for (auto& p : m_pages) delete p.second;
    m_pages.clear();
}

VantelServerPages* VantelServer::Page(int index) const {
    auto it = m_pages.find(index);
    return it == m_pages.end() ? nullptr : it->second;
}

void VantelServer::ShowBalloon(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon,
                               int ms) {
    m_host->ShowBalloon(title, text, icon, ms);
}

void VantelServer::InitPages() {
    ConsoleUtility::Instance()->LoadInitialLanguage();
    InitTrayIcon();
    InitLanguageCombo();
    m_dragging = false;
    ui.CbLanguage->setView(new QListView(ui.CbLanguage));
    ui.m_list_menu->setFixedWidth(200);
    ui.m_list_menu->setDragEnabled(false);

    m_pages[PageConfig] = new PgConfig(PageConfig, this);
    m_pages[PageMaintain] = new PgMaintain(PageMaintain, this);
    m_pages[PageLog] = new PgLog(PageLog, this);
    m_pages[PageServers] = new PageServerList(PageServers, this);

    connect(ui.m_list_menu, SIGNAL(currentRowChanged(int)), this, SLOT(OnSwitchPage(int)));
    ui.BtnMinimize->setFixedSize(16, 16);
    ui.BtnMinimize->setIcon(QIcon(QStringLiteral(":res/vantelrecord/image/btn_min.png")));
    ui.BtnMinimize->setToolTip(tr("K0072_Str_MinWindow"));
    ui.BtnMinimize->setToolTipDuration(10000);
    connect(ui.BtnMinimize, SIGNAL(clicked()), this, SLOT(OnBtnMinimizeClicked()));
    ui.m_list_menu->setCurrentRow(0);
    OnSwitchPage(0);
    ui.m_list_menu->setRowHidden(PageLog, true);
}

void VantelServer::InitTrayIcon() {
    m_host->InitSystemTray();
    if (QSystemTrayIcon* tray = m_host->GetTrayIcon())
        tray->setToolTip(ConsoleUtility::Instance()->GetCustomName(QStringLiteral("VantelServer")));
    // Without a tray the title bar's context menu offers the same two actions.
    ui.titleWidget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui.titleWidget, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_host->GetTrayMenu()->popup(ui.titleWidget->mapToGlobal(pos)); });
}

void VantelServer::InitLanguageCombo() {
    const QString ini = QStringLiteral("./Languages/languages.ini");
    m_fillingLanguages = true;
    ui.CbLanguage->clear();
    ui.CbLanguage->addItems(ConsoleShell::ListLanguages(QStringLiteral("./Languages"), ini));
    const QString current =
        ConsoleShell::LanguageNameForKey(ini, ConsoleShell::SavedLanguage(ServerDataStore::SettingsFile()));
    const int idx = ui.CbLanguage->findText(current);
    if (idx >= 0) ui.CbLanguage->setCurrentIndex(idx);
    m_fillingLanguages = false;
    connect(ui.CbLanguage, SIGNAL(currentTextChanged(QString)), this, SLOT(OnCbLanguageChanged(QString)));
}

void VantelServer::OnCbLanguageChanged(const QString& name) {
    if (m_fillingLanguages) return;
    ConsoleShell::SwitchLanguage(name, QStringLiteral("./Languages/languages.ini"),
                                 ServerDataStore::SettingsFile());
}

void VantelServer::OnSwitchPage(int index) {
    if (index < 0) return;
    if (index != m_current) {
        if (VantelServerPages* page = Page(m_current)) page->Leave();
    }
    m_current = index;
    ui.stackedWidget->setCurrentIndex(index);
}

int VantelServer::OnServerSignal(void*, int code, void* p1) {
    switch (code) {
        case LUMOS_SIGNAL_LOG:
            if (p1) {
                const QString text = QString::fromUtf8(static_cast<CLumoString*>(p1)->GetBuffer());
                qInfo().noquote() << "engine:" << text;
                emit SignalServerLog(text);
            }
            return 0;
        case LUMOS_SIGNAL_CLIENTS:
            if (p1) {
                // Only the row that changed is touched: re-reading the list on every login made
                // a crowd of clients cost the console time growing with its square.
                const auto* change = static_cast<const LumoSClientChange*>(p1);
                emit SignalClientChanged(change->kind == LUMOS_CLIENT_LOGGED_IN, change->client.id,
                                         QString::fromStdString(change->client.ip),
                                         QString::fromUtf8(change->client.account.c_str()),
                                         QString::fromStdString(change->client.loginTime));
            } else {
                emit SignalServerUser();
            }
            return 0;
        default:
            return -1;
    }
}

void VantelServer::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) {
        // retranslateUi puts the form's sample texts back into the live status labels.
        const QString uptime = ui.LbUptime->text(), ip = ui.LbIPInfo->text(), port = ui.LbPortInfo->text();
        const QString portEdit = ui.EdtPort->text();
        ui.retranslateUi(this);
        ui.LbUptime->setText(uptime);
        ui.LbIPInfo->setText(ip);
        ui.LbPortInfo->setText(port);
        ui.EdtPort->setText(portEdit);
        ui.tabWidget->setTabText(0, QCoreApplication::translate("VantelServer", "K4551_TbClient"));
        Retranslate();
    }
    QWidget::changeEvent(e);
}

void VantelServer::Retranslate() {
    m_host->RetranslateTray();
    const QString sep = QStringLiteral(" : ");
    ui.LbServer->setText(tr("K4521_LbServer") + sep);
    ui.m_LblPort_3->setText(tr("K4525_LbCetification") + sep);
    ui.m_LblPort_7->setText(tr("K4527_LbPortNum") + sep);
    ui.label_2->setText(tr("K0403_IPAddress") + sep);
    ui.label_4->setText(tr("K4512_LbPort") + sep);
    ui.label->setText(tr("K4510_LbTime") + sep);
    ui.tabWidget->setTabToolTip(0, tr("K4551_TbClient"));
    for (auto& p : m_pages) p.second->Retranslate();
}

void VantelServer::paintEvent(QPaintEvent*) {
    QStyleOption opt;
    opt.initFrom(this);
    QPainter p(this);
    style()->drawPrimitive(QStyle::PE_Widget, &opt, &p, this);
}

void VantelServer::IconActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
        showNormal();
        activateWindow();
        raise();
    }
}

void VantelServer::OnBtnMinimizeClicked() {
    m_host->Minimize();
}

void VantelServer::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton &&
        ui.titleWidget->geometry().contains(ui.mainWidget->mapFrom(this, e->pos()))) {
        m_dragging = true;
        m_dragOffset = e->globalPos() - frameGeometry().topLeft();
    }
    QWidget::mousePressEvent(e);
}

void VantelServer::mouseMoveEvent(QMouseEvent* e) {
    if (m_dragging && (e->buttons() & Qt::LeftButton)) move(e->globalPos() - m_dragOffset);
    QWidget::mouseMoveEvent(e);
}

void VantelServer::mouseReleaseEvent(QMouseEvent* e) {
    m_dragging = false;
    QWidget::mouseReleaseEvent(e);
}

void VantelServer::ExitApp() {
    m_host->AskExit();
}

void VantelServer::ExitThreadProc() {
    // Only an engine that still exists is stopped: a manual stop has already released it.
    if (void* handle = EngineHolder::Take()) {
        LumoSStopServer(handle);
        LumoSReleaseServer(handle);
    }
    EngineHolder::SetRunning(false);
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}
