// ConsoleHost: the tray, run-time tick, stop channel, exit sequence, language switch, autostart,
// security-file import and frameless-window handling that every server host's window shares.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

#include "Tendrel/Tendrel.h"
#include "VantelProcess/sharememory.h"

class QAction;
class QCheckBox;
class QComboBox;
class QMenu;
class QPushButton;
class QTimer;
class QWidget;
class SingleApp;

// Everything here runs on the GUI thread; only the stop function runs on the exit thread.
class ConsoleHost : public QObject {
    Q_OBJECT
public:
    struct Config {
        QString settingsFile;      // relative name of the host's ini file (language key goes there)
        QString iconPath;          // tray and window icon
        QString trayName;          // VantelUtility::GetTrayName key, e.g. "RecorderServer"
        QString linkName;          // stop channel: this name followed by "ShareMem"
        QString exitTextKey;       // translation key of the exit question
        int forcedKillMs = 30000;  // the process ends at the latest this long after the exit began
        QString exitTitleKey = QStringLiteral("K3741_Msg");  // translation key of its title
    };

    // Opens the stop channel at once (clearing a stop older than this process). The host is a
    // child of `window`, which it hides, shows and maximises.
    ConsoleHost(QWidget* window, const Config& config);
    ~ConsoleHost() override;

    void SetSingleApp(SingleApp* app) { m_singleApp = app; }
    Tendrel& GetTendrel() { return m_tendrel; }

    // ---- tray: icon with "K3740_Config" (shows the window) and "K3740_Exit" (AskExit) ----
    void InitSystemTray();
    void DeleteSystemTray();
    void RetranslateTray();
    QSystemTrayIcon* GetTrayIcon() const { return m_tray; }
    QMenu* GetTrayMenu() const { return m_trayMenu; }
    // A balloon on the tray icon (a corner notice without a tray); recorded in the UI log.
    void ShowBalloon(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon, int ms);
    static bool HasTray();
    // Start in the tray; without a tray the window is shown, as the only way to reach the host.
    void ShowAtStart();
    // The minimise button: to the tray, or to the task bar without one.
    void Minimize();

    // ---- one-second tick: emits Tick, then obeys a "stop" of the stop channel (no question) ----
    void StartConsoleTimer();
    QTimer* GetConsoleTimer() const { return m_timer; }
    quint64 RunSeconds() const { return m_seconds; }

    // ---- languages: fills the combo from ./Languages and switches on a choice ----
    void InitLanguageCombo(QComboBox* combo);
    // ---- autostart check box: writes or removes the entry, then shows what is stored ----
    void ToggleAutoBoot(QCheckBox* box);
    // ---- security file: chooser for "*.xml", the import, and the OK or fail balloon ----
    void ImportSecurityFile(const std::function<int(const char* utf8Path)>& import);
    // ---- frameless window ----
    // The window is dragged with the mouse (not while maximised), a double click on the title
    // bar toggles maximise, and closing it goes to the tray (without a tray: the exit question).
    void InstallFrameless(QWidget* titleBar, QPushButton* maximizeButton);
    // The maximise toggle of the title bar's button ("MaximizeState" property).
    void ToggleMaximize();
    bool IsMaximized() const { return m_maximized; }

    // ---- exit ----
    // The exit question (once at a time); Yes runs Exit.
    void AskExit();
    // The exit sequence, at most once: hide the window, tray and timer go (the timer later, as
    // this may run in its own slot), the forced kill is armed, the exiting frame shows, and a
    // detached thread runs `stop` and then quits the event loop with 0.
    void Exit();
    bool IsExiting() const { return m_exiting; }
    // The window is being destroyed: no exit sequence and no tick act any more.
    void MarkExiting() { m_exiting = true; }
    // What the exit thread runs before it quits the loop (the engine's stop). Set before Exit.
    void SetStopFunction(std::function<void()> stop) { m_stop = std::move(stop); }

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

signals:
    // Each second, with the number of ticks so far (GUI thread).
    void Tick(quint64 seconds);

private:
    void OnTimeout();

    QWidget* m_window;
    Config m_config;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_actConfig = nullptr;
    QAction* m_actExit = nullptr;
    QTimer* m_timer = nullptr;
    quint64 m_seconds = 0;
    Tendrel m_tendrel;
    SingleApp* m_singleApp = nullptr;
    SHAREMEMHANDLE m_stopMem = nullptr;
    std::function<void()> m_stop;
    // GUI thread only.
    bool m_askOpen = false;
    bool m_exiting = false;
    bool m_maximized = false;
    QWidget* m_titleBar = nullptr;
    QPushButton* m_maximizeButton = nullptr;
    bool m_dragging = false;
    QPoint m_dragOffset;
};
