#include "consolehost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QWidget>
#include <thread>

#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/serverexiting.h"
#include "VantelProcess/singleapp.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"

namespace {
const char kLanguagesDir[] = "./Languages";
const char kLanguagesIni[] = "./Languages/languages.ini";
}  // namespace

ConsoleHost::ConsoleHost(QWidget* window, const Config& config)
    : QObject(window), m_window(window), m_config(config) {
    // The stop channel opens before the engine takes its port. A "stop" written before this
    // process started was meant for a host that ended without reading it, and is cleared; one
    // written while this host starts stays for the first tick to obey.
    m_stopMem = ShareMemoryCreate(ConsoleShell::StopChannelName(config.linkName).constData(), 1);
    if (ConsoleShell::ClearStaleStop(m_stopMem, ConsoleShell::ProcessStartMs()))
        VantelDBG_Printf_f(0x7fff, 2, "ConsoleHost", "cleared a stop command left from before the start");
}

ConsoleHost::~ConsoleHost() {
    ShareMemoryDelete(m_stopMem);
}

// ---- tray ----------------------------------------------------------------------------------

bool ConsoleHost::HasTray() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void ConsoleHost::InitSystemTray() {
    m_actConfig = new QAction(QObject::tr("K3740_Config"), this);
    connect(m_actConfig, &QAction::triggered, this, [this]() {
        m_window->showNormal();
        m_window->raise();
        m_window->activateWindow();
    });
    m_actExit = new QAction(QObject::tr("K3740_Exit"), this);
    connect(m_actExit, &QAction::triggered, this, &ConsoleHost::AskExit);
    m_trayMenu = new QMenu(m_window);
    m_trayMenu->addAction(m_actConfig);
    m_trayMenu->addAction(m_actExit);

    m_tray = new QSystemTrayIcon(QIcon(m_config.iconPath), this);
    m_tray->setToolTip(VantelUtility::GetTrayName(m_config.trayName));
    m_tray->setContextMenu(m_trayMenu);
    m_tray->show();
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
            m_window->showNormal();
            m_window->activateWindow();
        }
    });
}

void ConsoleHost::DeleteSystemTray() {
    if (!m_tray) return;
    m_tray->hide();
    m_tray->deleteLater();
    m_tray = nullptr;
}

void ConsoleHost::RetranslateTray() {
    if (m_actConfig) m_actConfig->setText(QObject::tr("K3740_Config"));
    if (m_actExit) m_actExit->setText(QObject::tr("K3740_Exit"));
}

void ConsoleHost::ShowBalloon(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon,
                              int ms) {
    INFRA::ShowTrayMessage(m_tray, title, text, icon, ms);
}

void ConsoleHost::ShowAtStart() {
    if (HasTray()) {
        m_window->showMinimized();
        m_window->hide();
    } else {
        m_window->show();
    }
}

void ConsoleHost::Minimize() {
    if (HasTray())
        m_window->hide();
    else
        m_window->showMinimized();
}

// ---- tick and stop channel -------------------------------------------------------------------

void ConsoleHost::StartConsoleTimer() {
    // The tick runs whatever the engine did: it also reads the stop channel, through which the
    // management console must be able to end a host whose engine failed.
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &ConsoleHost::OnTimeout);
    m_timer->start(1000);
    m_seconds = 0;
}

void ConsoleHost::OnTimeout() {
    ++m_seconds;
    emit Tick(m_seconds);
    if (m_exiting) return;
    if (ConsoleShell::PollStopChannel(m_stopMem)) {
        VantelDBG_Printf_f(0x7fff, 3, "ConsoleHost", "stop command received");
        m_tendrel.TearDown(QCoreApplication::applicationPid());
        Exit();
    }
}

// ---- languages, autostart, security file, maximise ------------------------------------------

void ConsoleHost::InitLanguageCombo(QComboBox* combo) {
    {
        const QSignalBlocker block(combo);
        combo->clear();
        combo->addItems(
            ConsoleShell::ListLanguages(QLatin1String(kLanguagesDir), QLatin1String(kLanguagesIni)));
        const QString key = ConsoleShell::SavedLanguage(m_config.settingsFile);
        const QString name = ConsoleShell::LanguageNameForKey(QLatin1String(kLanguagesIni), key);
        for (int i = 0; i < combo->count(); ++i)
            if (combo->itemText(i) == name) combo->setCurrentIndex(i);
    }
    // The new translator reaches the windows as QEvent::LanguageChange.
    connect(combo, &QComboBox::currentTextChanged, this, [this](const QString& name) {
        ConsoleShell::SwitchLanguage(name, QLatin1String(kLanguagesIni), m_config.settingsFile);
    });
}

void ConsoleHost::ToggleAutoBoot(QCheckBox* box) {
    const bool wanted = box->isChecked();
    if (!VantelUtility::AutoRunWithSystem(wanted))
        VantelDBG_Printf_f(0x7fff, 1, "ConsoleHost", "autostart entry could not be %s",
                           wanted ? "written" : "removed");
    // Show what is really stored, not what was asked for.
    box->setChecked(VantelUtility::AutoRunWithSystem());
}

void ConsoleHost::ImportSecurityFile(const std::function<int(const char*)>& import) {
    const QString path = GetOpenFileName(QStringLiteral("*.xml"));
    if (path.isEmpty()) return;
    // Paths reach the engine in UTF-8, whatever the locale's encoding.
    const int rc = import(path.toUtf8().constData());
    if (rc != 0)
        ShowBalloon(QObject::tr("K3745_Error"), QObject::tr("K3765_ImportSecurityFail"),
                    QSystemTrayIcon::Critical, 20000);
    else
        ShowBalloon(QObject::tr("K3741_Msg"), QObject::tr("K3766_ImportSecurityOK"),
                    QSystemTrayIcon::Information, 20000);
    if (m_tray) m_tray->show();
}

void ConsoleHost::InstallFrameless(QWidget* titleBar, QPushButton* maximizeButton) {
    m_titleBar = titleBar;
    m_maximizeButton = maximizeButton;
    m_maximizeButton->setProperty("MaximizeState", false);
    m_window->installEventFilter(this);
    m_titleBar->installEventFilter(this);
}

void ConsoleHost::ToggleMaximize() {
    if (m_maximized)
        m_window->showNormal();
    else
        m_window->showMaximized();
    if (m_maximizeButton) {
        m_maximizeButton->setProperty("MaximizeState", !m_maximized);
        m_maximizeButton->style()->unpolish(m_maximizeButton);
        m_maximizeButton->style()->polish(m_maximizeButton);
        m_maximizeButton->update();
    }
    m_maximized = !m_maximized;
}

bool ConsoleHost::eventFilter(QObject* o, QEvent* e) {
    if (o == m_titleBar && e->type() == QEvent::MouseButtonDblClick) {
        ToggleMaximize();
        return true;
    }
    if (o != m_window) return QObject::eventFilter(o, e);
    switch (e->type()) {
        case QEvent::MouseButtonPress:
            m_dragOffset = static_cast<QMouseEvent*>(e)->globalPos() - m_window->pos();
            m_dragging = true;
            break;
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(e);
            if (me->buttons() == Qt::LeftButton && m_dragging && !m_maximized)
                m_window->move(me->globalPos() - m_dragOffset);
            break;
        }
        case QEvent::MouseButtonRelease:
            m_dragging = false;
            break;
        case QEvent::Close:
            // Closing the window never ends the host by surprise: with a tray it goes there,
            // without one the operator is asked as with the tray's exit.
            e->ignore();
            if (m_exiting) return true;
            if (HasTray())
                m_window->hide();
            else
                QTimer::singleShot(0, this, &ConsoleHost::AskExit);
            return true;
        default:
            break;
    }
    return QObject::eventFilter(o, e);
}

// ---- exit ------------------------------------------------------------------------------------

void ConsoleHost::AskExit() {
    if (m_askOpen || m_exiting) return;
    m_askOpen = true;
    const QByteArray title = m_config.exitTitleKey.toUtf8(), text = m_config.exitTextKey.toUtf8();
    const int answer = INFRA::MessageBox::Warning(m_window, QObject::tr(title.constData()), QObject::tr(text.constData()),
                                                  INFRA::MessageBox::Yes | INFRA::MessageBox::No);
    m_askOpen = false;
    // A stop command may have ended the host while the question was open.
    if (m_exiting) return;
    // Only Yes stops the server; No and a box closed without an answer leave it running.
    if (answer != INFRA::MessageBox::Yes) return;
    m_tendrel.TearDown(QCoreApplication::applicationPid());
    Exit();
}

void ConsoleHost::Exit() {
    if (m_exiting) return;
    m_exiting = true;
    INFRA::MessageBox::CloseAll();  // e.g. the exit question, when "stop" came meanwhile
    m_window->hide();
    DeleteSystemTray();
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();  // we may be inside its timeout
        m_timer = nullptr;
    }
    // Stays until the process ends.
    auto* exiting =
        new INFRA::ServerExiting(QObject::tr("K4604_LbWarning"), QObject::tr("K4536_ServerExiting"));
    exiting->show();
    exiting->raise();
    if (m_singleApp) m_singleApp->KillByTime(m_config.forcedKillMs, false);
    std::thread([stop = m_stop]() {
        if (stop) stop();
        // quit() belongs to the GUI thread: post it there.
        QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection);
    }).detach();
}
