// KestoRecordServer: the recording console's window. It starts the recording engine on the port
// of kestoconfig.ini, lives in the tray, shows the engine's address, port and run time, the
// storage tables, and the settings (disk-full policy, language, autostart, security file), and
// stops the engine on the operator's request or on the "stop" command of its shared memory.
#pragma once

#include <QModelIndex>
#include <QPoint>
#include <QSystemTrayIcon>
#include <QWidget>

#include "LumoFS/LumoRecorderUrl.h"
#include "consolehost.h"
#include "storagepages.h"
#include "ui_kestorecordserver.h"

class QAbstractItemView;
class QAction;
class QMenu;
class QTimer;
class QTableView;
class SingleApp;
class VantelTableDelegate;
struct KestoProblemsQuery;

class KestoRecordServer : public QWidget, public StoragePagesHost {
    Q_OBJECT
public:
    explicit KestoRecordServer(QWidget* parent = nullptr);
    ~KestoRecordServer() override;

    // The single-instance guard of main; used to arm the forced end of the process at exit.
    void SetSingleApp(SingleApp* app);
    Tendrel& GetTendrel() { return m_host->GetTendrel(); }

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
    // The visible line saying why the engine does not run (empty while it runs).
    QString GetEngineStateText() const { return EngineStateText(); }
    bool IsExiting() const { return m_host->IsExiting(); }
    quint16 GetPort() const { return m_port; }
    QSystemTrayIcon* GetTrayIcon() const { return m_host->GetTrayIcon(); }
    QTimer* GetConsoleTimer() const { return m_host->GetConsoleTimer(); }
    Ui::KestoRecordServer& GetForm() { return ui; }

    // The storage pages (StoragePagesHost: built with the window, empty while the engine does
    // not run), shared with the record-server page.
    INFRA::TableHeaderView* GetDiskHeader() const { return m_storage->HeaderOf(ui.m_table_vmr_disk); }
    int GetDiskTimerId() const { return m_diskTimerId; }
    int GetChnTimerId() const { return m_chnTimerId; }

    // The disk tables, and the channel table with the camera list, are read again on a worker and
    // filled when the answer comes; a failed read is told to the operator once, until a read
    // works again. A request while the same read runs is made once that one is done.
    void RefreshDiskList() { m_storage->RefreshDiskList(); }
    void RefreshChannelList() { m_storage->RefreshChannelList(); }
    // True while a disk, channel or settings-problems read runs (tests wait for it).
    bool IsRefreshing() const { return m_storage->IsRefreshing() || m_problemsQueryRunning; }
    // Shows the streams of the channel in that row of the channel table.
    void ShowChannelStreams(int row) { m_storage->ShowChannelStreams(row); }
    // Loads, under the busy indicator, the blocks of the disk in that row of the disk-status
    // table.
    void LoadBlocksOfRow(int row) { m_storage->LoadBlocksOfRow(row); }
    // The disk-state dialog for a row of the disk table / of the disk-status table.
    void ShowDiskStatus(int row) { m_storage->ShowDiskStatusOfRow(ui.m_table_vmr_disk, row); }
    void ShowDiskStatusFromStatusTable(int row) { m_storage->ShowDiskStatusOfRow(ui.m_table_disk_status, row); }

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
    void OnFormatReturn(int result);

protected:
    void changeEvent(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void InitServer();
    void InitHDDFullCombo();
    // Hands the disk-full policy of the combo box's index to the file system object; false
    // without one.
    bool ApplyDiskFullPolicy(int index);
    void ReadPort();
    // Writes the port into kestoconfig.ini; true only when the file then holds it.
    bool SavePort(quint16 port);
    // Keeps why the engine could not start on the port (a trial listen tells a taken port from a
    // forbidden one), for the status line.
    void NoteStartFailure(quint16 port, int code);
    // The status line's text: empty while the engine runs.
    QString EngineStateText() const;
    // Shows or hides the status line and opens the port editor while the engine does not run.
    void ShowEngineState();
    // The storage pages over the engine in this process.
    StoragePages* MakeStorage();
    // The record search of the engine in this process (the storage pages' search worker): the
    // media library's search in batches; a failing batch ends it, keeping what was found.
    static void SearchRecordFiles(StorageSearchJob* job);
    // Builds the storage pages (first Retranslate), whether or not the engine runs.
    void InitTables();
    void Retranslate();
    // Places a dialog over the middle of the window (or of its screen while the window hides).
    void CentreDialog(QWidget* dialog) const;
    // The engine's settings problems, read on the storage pages' reader, answered on the GUI
    // thread.
    void StartProblemsQuery();
    void OnProblemsQueryReturn(KestoProblemsQuery& job);
    void ShowBalloon(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon, int ms);

    Ui::KestoRecordServer ui;
    bool m_problemsQueryRunning = false;  // GUI thread
    // Tray, tick, stop channel, exit sequence: the shell all hosts share.
    ConsoleHost* m_host = nullptr;
    quint16 m_port = kLumoRecorderDefaultPort;
    int m_chnTimerId = 0;
    int m_diskTimerId = 0;
    int m_chnCountdown = 15;
    int m_diskCountdown = 15;
    bool m_engineStarted = false;
    // Why the engine last failed to start (code 0: it did not fail); the status line says it.
    struct StartFailure {
        enum Kind { InUse, Denied, Other };
        quint16 port = 0;
        int code = 0;
        Kind kind = Other;
    };
    StartFailure m_startFailure;
};
