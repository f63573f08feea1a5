// VantelServer: the management console's main window: a frameless, paged window living in the
// tray, holding the configuration, maintenance, log and server-list pages, the engine-event
// dispatch and the exit sequence.
#pragma once

#include <QPoint>
#include <QSystemTrayIcon>
#include <QWidget>
#include <map>

#include "LumoBase/LumoBase.h"
#include "consolehost.h"
#include "ui_vantelserver.h"

class SingleApp;
class VantelServerPages;

class VantelServer : public QWidget, public CLumoObject {
    Q_OBJECT
public:
    enum { PageConfig = 0, PageMaintain = 1, PageLog = 2, PageServers = 3 };

    VantelServer(QWidget* parent, SingleApp* guard);
    ~VantelServer() override;

    Ui::VantelServer& GetForm() { return ui; }
    Tendrel& GetTendrel() { return m_host->GetTendrel(); }
    QSystemTrayIcon* GetTrayIcon() const { return m_host->GetTrayIcon(); }
    ConsoleHost* GetHost() const { return m_host; }
    VantelServerPages* Page(int index) const;
    int CurrentPage() const { return m_current; }
    bool IsExiting() const { return m_host->IsExiting(); }
    // A tray balloon (recorded for tests when the UI log is on).
    void ShowBalloon(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon, int ms);

    // Engine events, from the engine's thread: emits only.
    int OnServerSignal(void* sender, int code, void* p1);

signals:
    void SignalServerLog(QString text);
    // Read the whole client list again (the engine started or stopped).
    void SignalServerUser();
    // One client logged in (loggedIn) or went; id is the engine's number of that login.
    void SignalClientChanged(bool loggedIn, quint64 id, QString ip, QString account, QString loginTime);

public slots:
    void OnCbLanguageChanged(const QString& name);
    void ExitApp();
    void IconActivated(QSystemTrayIcon::ActivationReason reason);
    void OnBtnMinimizeClicked();
    void OnSwitchPage(int index);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void InitPages();
    void InitTrayIcon();
    void InitLanguageCombo();
    void Retranslate();
    // The exit thread's work: the engine that still exists is stopped and released.
    static void ExitThreadProc();

    Ui::VantelServer ui;
    std::map<int, VantelServerPages*> m_pages;  // owned; deleted with the window
    int m_current = 0;
    // The hosts' shared shell: tray, balloons, start in the tray, exit question and sequence,
    // watchdog registration. Its stop channel is not polled: this console writes stops, it
    // does not obey them.
    ConsoleHost* m_host;
    bool m_dragging = false;
    QPoint m_dragOffset;
    bool m_fillingLanguages = false;
};
