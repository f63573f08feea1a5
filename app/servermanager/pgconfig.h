// PgConfig: the configuration page: starts and stops the management engine, edits its port,
// switches autostart, exports the engine's certificate, and shows run time, address and port.
#pragma once

#include "LumoBase/LumoBase.h"
#include "pages.h"
#include "serverdata.h"

class QTimer;

class PgConfig : public VantelServerPages, public CLumoObject {
    Q_OBJECT
public:
    PgConfig(int index, VantelServer* owner);
    ~PgConfig() override;

    void Init() override;
    // The button texts that follow the state, after the form has been retranslated.
    void Retranslate() override;
    // 0 when the engine runs afterwards; the engine's failure otherwise (the handle is released).
    int StartServer();
    void StopServer();
    void ShowRunning();
    void ShowStopped();
    void EnterEditMode();
    void LeaveEditMode();
    // Detaches and deletes the engine callback (idempotent); no engine event reaches the page
    // afterwards.
    void DetachCallback();
    // Writes the engine's certificate to the path: 0, or the failure (also told to the operator).
    int ExportCertificateTo(const QString& path);

    quint16 Port() const { return m_data.port; }
    bool IsEditing() const { return m_editing; }
    quint64 UptimeSeconds() const { return m_uptime; }
    static int OnServerCallback(CLumoObject* owner, int code, void* sender, void* p1, void* p2);

public slots:
    void OnBtnStopStartServerClicked();
    void OnBtnEditPortClicked();
    void OnBtnCanclePortClicked();
    void OnBtnSavePortClicked();
    void OnCbAutostartClicked();
    void OnBtnExportCetificationClicked();
    void OnTimerTimeout();

private:
    PgConfigData m_data;
    ILumoCallback* m_callback = nullptr;  // GUI thread; the engine calls through it on its thread
    QTimer* m_timer = nullptr;
    quint64 m_uptime = 0;
    bool m_editing = false;
};
