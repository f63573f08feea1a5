// PavoApplication: the event console's window. It starts the event engine with the port, limits
// and folders of PavoServer.ini, lives in the tray, shows the engine's settings page and its
// device table, and ends on the operator's request, on a saved change of the limits (to start
// again with them), or on the "stop" command of its shared memory.
#pragma once

#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>
#include <mutex>

#include "LumoBase/LumoBase.h"
#include "consolehost.h"
#include "eventhostsettings.h"
#include "restart.h"
#include "ui_pavoapplication.h"

class QStandardItemModel;
class SingleApp;

class PavoApplication : public QWidget, public CLumoObject {
    Q_OBJECT
public:
    explicit PavoApplication(QWidget* parent = nullptr);
    ~PavoApplication() override;

    // The single-instance guard of main; used to arm the forced end of the process at exit.
    void SetSingleApp(SingleApp* app);
    Tendrel& GetTendrel() { return m_host->GetTendrel(); }

    // The handler of the window's engine callback (any thread): code 1 the device table changed,
    // 2 a server bound, 3 a client logged in; 0, or -1 for other codes.
    static int OnServerSignal(CLumoObject* owner, int code, void* sender, void* p1, void* p2);
    // Translation key of a device type, and of an online state.
    static const char* DeviceTypeKey(int type);

    // State the tests look at.
    bool IsEngineRunning() const;
    quint16 GetPort() const { return m_port; }
    ConsoleHost* GetHost() const { return m_host; }
    // The code the program ends with once its loop is done: kRestartExitCode after a saved
    // change of the settings (a fresh instance applies them), 0 otherwise.
    int ExitCode() const { return m_restartAfterExit ? kRestartExitCode : 0; }
    QStandardItemModel* GetDeviceModel() const { return m_deviceModel; }
    Ui::PavoApplication& GetForm() { return ui; }

    // Settings page: the stored values into the edits; the edits' values checked, confirmed,
    // written, and the program ended to start again with them (ExitCode). Save returns true
    // when it wrote the file.
    void LoadEventHostSettings();
    bool IsEventHostUnchanged(const EventHostSettings& edits) const;
    bool SaveEventHostSettings();
    void ClampMaxEventRows();
    QString SelectFolder(QWidget* parent);
    EventHostSettings EditedSettings() const;

signals:
    void SigServerLogin(QString text);
    void SigClientLogin(QString text);
    void SigDeviceLogin();

public slots:
    void OnServerLogin(const QString& text);
    void OnClientLogin(const QString& text);
    void OnDeviceLogin();
    void OnCbLanguageChanged(const QString& name);
    void OnAutoBoot();
    void OnExitApp();
    void OnMinimize();
    void OnMaximize();
    void OnTimer();
    void OnSecurityFileImport();
    void OnEditPort();
    void OnSelectPathDbs();
    void OnSelectPathPic();

protected:
    void changeEvent(QEvent* e) override;

private:
    void InitUi();
    void InitServer();
    void InitDeviceTable();
    void Retranslate();
    // Starts the engine with the stored limits and attaches the callback; true when it runs.
    bool StartEventServer();
    // The same, with the balloon that tells how it went.
    bool StartAndTell();
    // Detaches the callback and stops the engine (any thread; the exit thread calls it).
    void StopEventServer();
    // The port edit can be changed only while the engine is down (a taken port is mended there).
    void UpdatePortEdit();
    void Fail(const char* key);

    Ui::PavoApplication ui;
    QStandardItemModel* m_deviceModel = nullptr;
    // The engine handle and the callback: written by the GUI thread at start and taken by the
    // exit thread at stop; m_engineMutex guards both.
    mutable std::mutex m_engineMutex;
    void* m_handle = nullptr;
    ILumoCallback* m_callback = nullptr;
    ConsoleHost* m_host = nullptr;  // Qt child
    quint16 m_port = 8432;          // GUI thread; read by the exit thread after the GUI is done with it
    bool m_restartAfterExit = false;  // GUI thread: the exit began after a saved change of the settings
};
