// KestoRecordServer: the recording console's window. It starts the recording engine on the port
// of kestoconfig.ini, lives in the tray, shows the engine's address, port and run time, the
// storage tables, and the settings (disk-full policy, language, autostart, security file), and
// stops the engine on the operator's request or on the "stop" command of its shared memory.
#pragma once

#include <QModelIndex>
#include <QPoint>
#include <QSystemTrayIcon>
#include <QWidget>

#include "Tendrel/Tendrel.h"
#include "VantelInfraAPI/sharememory.h"
#include "ui_kestorecordserver.h"

class QAbstractItemView;
class QAction;
class QMenu;
class QTimer;
class IVantelList;
class SingleApp;

class KestoRecordServer : public QWidget {
    Q_OBJECT
public:
    explicit KestoRecordServer(QWidget* parent = nullptr);
    ~KestoRecordServer() override;

    // The single-instance guard of main; used to arm the forced end of the process at exit.
    void SetSingleApp(SingleApp* app);
    Tendrel& GetTendrel() { return m_tendrel; }

    // Mounts the file system and starts the engine on the port: 0, or the failure (-1 without a
    // file system object, else the engine's own code).
    int StartEngine();
    // Stops the engine and unmounts the file system: 0, or -1 without a file system object.
    int StopEngine();

    static QString FormatRunTime(quint64 ms);
    QString GetInterfaceIPv4();
    QString GetLocalIPv4();
    // Appends a style sheet file to the application's sheet.
    void AppendStyleSheetFile(const QString& path);

    // State that the exit sequence and the tests look at.
    bool IsEngineStarted() const { return m_engineStarted; }
    bool IsExiting() const { return m_exiting; }
    quint16 GetPort() const { return m_port; }
    QSystemTrayIcon* GetTrayIcon() const { return m_tray; }
    QTimer* GetConsoleTimer() const { return m_consoleTimer; }
    Ui::KestoRecordServer& GetForm() { return ui; }

public slots:
    void OnGetBlockInfoReturn(int result);
    void OnSearchReturn(int result);
    void OnExitApp();
    void OnMinimize();
    void OnChangeKestoPort();
    void OnAutoBoot();
    void OnMaximize();
    void OnTimer();
    void OnDiskFormat();
    void OnDiskRefresh();
    void OnRecordFileSearch();
    void OnChnRefresh();
    void OnChnExport();
    void OnDiskStatusRefresh();
    void OnDiskStatusExport();
    void OnBlockRefresh();
    void OnBlockExport();
    void OnPlayback(int row);
    void OnSecurityFileImport();
    void OnSystemTrayActivate(QSystemTrayIcon::ActivationReason reason);
    void OnActionTriggered(QAbstractItemView* view, const QModelIndex& index, int action);
    void OnItemCheckStateChange(QAbstractItemView* view, const QModelIndex& index);
    void OnCbLanguageChanged(const QString& name);
    void OnDiskHeaderCheckChange(bool checked);
    void OnChnHeaderCheckChange(bool checked);
    void OnStreamHeaderCheckChange(bool checked);
    void OnDiskStatusHeaderCheckChange(bool checked);
    void OnBlockHeaderCheckChange(bool checked);
    void OnFileHeaderCheckChange(bool checked);
    void OnCbHDDFullChanged(int index);

protected:
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void InitServer();
    void InitSystemTray();
    void DeleteSystemTray();
    void InitLanguageCombo();
    void ListLanguages(const QString& dir);
    void InitHDDFullCombo();
    void InitStreamCombo();
    void ReadPort();
    // Builds the storage tables and pages (first Retranslate); only after a successful start.
    void InitTables();
    void Retranslate();
    void ExitServer();
    static void ExitThreadProc(KestoRecordServer* self);
    bool HasTray() const;
    void ShowBalloon(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon, int ms);

    Ui::KestoRecordServer ui;
    int m_blockDiskRow = -1;
    int m_streamChnRow = -1;
    QTimer* m_consoleTimer = nullptr;
    quint64 m_runSeconds = 0;
    QSystemTrayIcon* m_tray = nullptr;
    IVantelList* m_recordFileList = nullptr;
    IVantelList* m_blockList = nullptr;
    quint16 m_port = 8431;
    int m_chnTimerId = 0;
    int m_diskTimerId = 0;
    int m_chnCountdown = 15;
    int m_diskCountdown = 15;
    QAction* m_actConfig = nullptr;
    QAction* m_actExit = nullptr;
    QMenu* m_trayMenu = nullptr;
    bool m_dragging = false;
    bool m_maximized = false;
    Tendrel m_tendrel;
    bool m_exitDialogOpen = false;
    SingleApp* m_singleApp = nullptr;
    SHAREMEMHANDLE m_stopMem = nullptr;

    QPoint m_dragOffset;
    bool m_engineStarted = false;
    bool m_exiting = false;
};
