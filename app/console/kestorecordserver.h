// KestoRecordServer: the recording console's window. It starts the recording engine on the port
// of kestoconfig.ini, lives in the tray, shows the engine's address, port and run time, the
// storage tables, and the settings (disk-full policy, language, autostart, security file), and
// stops the engine on the operator's request or on the "stop" command of its shared memory.
#pragma once

#include <QMap>
#include <QModelIndex>
#include <QPoint>
#include <QSet>
#include <QSystemTrayIcon>
#include <QVector>
#include <QWidget>

#include "LumoFS/LumoRecorderUrl.h"
#include "consolehost.h"
#include "ui_kestorecordserver.h"

class QAbstractItemView;
class QAction;
class QMenu;
class QTimer;
class QTableView;
class IVantelList;
class SingleApp;
class VantelTableDataModel;
class VantelTableDelegate;
class VMRDiskModel;
class VMRDiskStatusModel;
class VMRChnModel;
class VMRStreamModel;
class VMRBlockModel;
class VMRRecordFileModel;
class VMRDiskDelegate;
class VMRDiskStatusDelegate;
class VMRChnDelegate;
class VMRStreamDelegate;
class VMRBlockDelegate;
class VMRRecordFileDelegate;
namespace INFRA {
class TableHeaderView;
}
struct KestoBlockJob;
struct KestoFormatJob;
struct KestoSearchJob;
struct KestoDiskQuery;
struct KestoChannelQuery;
struct KestoProblemsQuery;
class BackgroundReader;

class KestoRecordServer : public QWidget {
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

    // The storage tables (built with the window, empty while the engine does not run).
    VMRDiskModel* GetDiskModel() const { return m_diskModel; }
    VMRDiskStatusModel* GetDiskStatusModel() const { return m_diskStatusModel; }
    VMRChnModel* GetChnModel() const { return m_chnModel; }
    VMRStreamModel* GetStreamModel() const { return m_streamModel; }
    VMRBlockModel* GetBlockModel() const { return m_blockModel; }
    VMRRecordFileModel* GetRecordFileModel() const { return m_fileModel; }
    INFRA::TableHeaderView* GetDiskHeader() const { return m_diskHeader; }
    VantelTableDelegate* GetDelegate(QTableView* view) const;
    INFRA::TableHeaderView* GetHeader(QTableView* view) const;
    int GetDiskTimerId() const { return m_diskTimerId; }
    int GetChnTimerId() const { return m_chnTimerId; }
    // The disk whose blocks and the channel whose streams are shown (-1: none).
    qint64 GetBlockDiskId() const { return m_blockDiskId; }
    qint64 GetStreamChnId() const { return m_streamChnId; }

    // The disk tables, and the channel table with the camera list, are read again on a worker and
    // filled when the answer comes; a failed read is told to the operator once, until a read
    // works again. A request while the same read runs is made once that one is done.
    void RefreshDiskList();
    void RefreshChannelList();
    // True while a disk, channel or settings-problems read runs (tests wait for it).
    bool IsRefreshing() const { return m_diskQuery.running || m_chnQuery.running || m_problemsQueryRunning; }
    // Shows the streams of the channel in that row of the channel table.
    void ShowChannelStreams(int row);
    // Loads, under the busy indicator, the blocks of the disk in that row of the disk-status
    // table.
    void LoadBlocksOfRow(int row);
    // The disk-state dialog for a row of the disk table / of the disk-status table.
    void ShowDiskStatus(int row);
    void ShowDiskStatusFromStatusTable(int row);

    // Workers run under the busy indicator: they only query the engine and the media library,
    // with what the starting slot put into their job; the finishing slots show the results.
    int LoadBlockInfo(void* arg);
    int FormatCheckedDisks(void* arg);
    int FormatDiskRow(void* arg);
    int SearchRecordFiles(void* arg);

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
    void InitStreamCombo();
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
    // Builds the storage tables and pages (first Retranslate), whether or not the engine runs.
    void InitTables();
    void Retranslate();
    // The tables' share of Retranslate: header labels and row-button tooltips.
    void RetranslateTables();
    void SetupNavigationAndSearch();
    void SetupSearchControls();
    void ApplyDateLocale();
    void SetupTable(QTableView* view, INFRA::TableHeaderView** header, VantelTableDataModel* model,
                    VantelTableDelegate* delegate, const QSet<int>& unsortable, int columns,
                    const QMap<int, int>& widths);
    // Widens (never narrows) the columns whose label, or for the given columns whose cells,
    // would not fit; the check-box column and the stretching last column keep their widths.
    void FitColumns(QTableView* view, const QList<int>& contentColumns = {});
    // Places a dialog over the middle of the window (or of its screen while the window hides).
    void CentreDialog(QWidget* dialog) const;
    void SetupDiskTable();
    void SetupChannelTable();
    void SetupStreamTable();
    void SetupDiskStatusTable();
    void SetupBlockTable();
    void SetupRecordFileTable();
    void ConnectTableSignals();
    void SetActionRepos();
    // Shows in the header check box whether none, some or all rows of the table are ticked.
    void SyncHeaderCheck(QTableView* view);
    // The row of the disk-status / channel model showing that engine id (-1: none).
    int FindDiskStatusRow(qint64 diskId) const;
    int FindChnRow(qint64 chnId) const;
    void ClearStreams();
    void ClearBlocks();
    void StartBlockLoad(qint64 diskId);
    void ShowDiskStateDialog(quint32 state);
    // Asks the operator before a format; true only for Yes.
    bool ConfirmFormat();
    void StartFormat(const QVector<qint64>& diskIds, bool checked);
    // The background reads: run by m_reader, answered on the GUI thread.
    void StartDiskQuery();
    void StartChannelQuery();
    void StartProblemsQuery();
    void OnDiskQueryReturn(KestoDiskQuery& job);
    void OnChannelQueryReturn(KestoChannelQuery& job);
    void OnProblemsQueryReturn(KestoProblemsQuery& job);
    void ApplyCuidList(IVantelList* list);
    // Tells the operator once that a read failed; *failed stays set until a read works.
    void NoticeQueryFailure(bool* failed, const char* key);
    void ShowBalloon(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon, int ms);

    Ui::KestoRecordServer ui;
    INFRA::TableHeaderView* m_diskHeader = nullptr;
    VMRDiskModel* m_diskModel = nullptr;
    VMRDiskDelegate* m_diskDelegate = nullptr;
    INFRA::TableHeaderView* m_chnHeader = nullptr;
    VMRChnModel* m_chnModel = nullptr;
    VMRChnDelegate* m_chnDelegate = nullptr;
    INFRA::TableHeaderView* m_streamHeader = nullptr;
    VMRStreamModel* m_streamModel = nullptr;
    VMRStreamDelegate* m_streamDelegate = nullptr;
    INFRA::TableHeaderView* m_diskStatusHeader = nullptr;
    VMRDiskStatusModel* m_diskStatusModel = nullptr;
    VMRDiskStatusDelegate* m_diskStatusDelegate = nullptr;
    INFRA::TableHeaderView* m_blockHeader = nullptr;
    VMRBlockModel* m_blockModel = nullptr;
    VMRBlockDelegate* m_blockDelegate = nullptr;
    INFRA::TableHeaderView* m_fileHeader = nullptr;
    VMRRecordFileModel* m_fileModel = nullptr;
    VMRRecordFileDelegate* m_fileDelegate = nullptr;
    // The rows last loaded, and the engine ids that the refreshes follow them by.
    int m_blockDiskRow = -1;
    int m_streamChnRow = -1;
    qint64 m_blockDiskId = -1;
    qint64 m_streamChnId = -1;
    bool m_cuidFilled = false;
    // The background reads (GUI thread only): whether one runs, whether another was asked for
    // meanwhile, and whether the last one failed (the operator has been told).
    struct QueryState {
        bool running = false;
        bool again = false;
        bool failed = false;
    };
    QueryState m_diskQuery;
    QueryState m_chnQuery;
    bool m_cuidFailed = false;
    bool m_problemsQueryRunning = false;
    // The thread of the background reads; it touches only their jobs and the engine.
    BackgroundReader* m_reader = nullptr;
    // Jobs of the running workers (at most one of each kind); owned by the window.
    KestoBlockJob* m_blockJob = nullptr;
    KestoFormatJob* m_formatJob = nullptr;
    KestoSearchJob* m_searchJob = nullptr;
    // Tray, tick, stop channel, exit sequence: the shell all hosts share.
    ConsoleHost* m_host = nullptr;
    IVantelList* m_recordFileList = nullptr;
    IVantelList* m_blockList = nullptr;
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
