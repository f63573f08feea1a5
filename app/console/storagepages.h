// StoragePages: the storage pages of a recorder, as the recording console's window and the
// record-server page both show them: the six tables (disks, disk states, channels, the streams
// of a channel, the storage blocks of a disk, record files) with their headers, row buttons and
// check boxes; the background reads of disks, channels and camera identities, each failure told
// once; block loads, disk formats with their question and failure texts, and the record search
// and playback under the busy indicator. What differs between the two hosts comes in `Host`:
// which recorder a request goes to, whether reads may run, how a failed read is told, where a
// dialog opens, how the record search is made, and whether a record file can be downloaded.
//
// Disks and channels are named by their engine numbers (GetID), never by table rows: the tables
// sort, and the refreshes replace their rows. GUI thread only; the workers touch only their jobs.
#pragma once

#include <QByteArray>
#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QPointer>
#include <QVector>
#include <functional>

#include "engineaccess.h"

class QAbstractItemView;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QTableView;
class QWidget;
class BackgroundReader;
class VantelDataModel;
class VantelTableDataModel;
class VantelTableDelegate;
class VMRDiskModel;
class VMRDiskStatusModel;
class VMRChnModel;
class VMRStreamModel;
class VMRBlockModel;
class VMRRecordFileModel;
namespace INFRA {
class BusyLoading;
class TableHeaderView;
}  // namespace INFRA
struct StorageBlockJob;
struct StorageFormatJob;
struct StorageDiskQuery;
struct StorageChannelQuery;
struct StorageSearchJob;

class StoragePages : public QObject {
    Q_OBJECT
public:
    // The host's widgets of the storage pages (both forms name them alike: see WidgetsOf).
    struct Widgets {
        QWidget* host = nullptr;  // parent of the questions, dialogs and busy indicators
        QListWidget* navigation = nullptr;
        QTableView* disks = nullptr;
        QTableView* channels = nullptr;
        QTableView* streams = nullptr;
        QTableView* diskStatus = nullptr;
        QTableView* blocks = nullptr;
        QTableView* files = nullptr;
        QLabel* chnCaption = nullptr;
        QLabel* streamCaption = nullptr;
        QLabel* diskStatusCaption = nullptr;
        QLabel* blockCaption = nullptr;
        QLabel* startLabel = nullptr;
        QLabel* endLabel = nullptr;
        QLabel* streamTypeLabel = nullptr;
        QLabel* cuidTip = nullptr;
        QPushButton* format = nullptr;
        QPushButton* diskRefresh = nullptr;
        QPushButton* chnRefresh = nullptr;
        QPushButton* diskStatusRefresh = nullptr;
        QPushButton* blockRefresh = nullptr;
        QPushButton* search = nullptr;
        QDateTimeEdit* start = nullptr;
        QDateTimeEdit* end = nullptr;
        QComboBox* stream = nullptr;
        QComboBox* cuid = nullptr;
    };
    template <class Form>
    static Widgets WidgetsOf(QWidget* host, Form& ui);

    struct Host {
        // The recorder of a request: true with its URL (empty: the engine in this process), or
        // false when there is none to ask (the host has told the operator).
        std::function<bool(QByteArray* url)> target;
        // Whether reads may start, and their answers be shown, now.
        std::function<bool()> active;
        // Tells the operator that a read failed (the failure's sentence); the pages tell each
        // kind of failure once, until a read of that kind works again.
        std::function<void(const QString& text)> tellReadFailure;
        // Places a dialog before it opens (none: where it opens by itself).
        std::function<void(QWidget* dialog)> placeDialog;
        // The record search, run by a worker: fills the job's result (rc and why when it could
        // not be run, nextRc when it stopped early). Set before Init; read on the worker.
        std::function<void(StorageSearchJob* job)> search;
        // The record-file rows carry a download button besides play (DownloadRequested).
        bool downloads = false;
    };

    StoragePages(const Widgets& widgets, const Host& host, QObject* parent = nullptr);
    // Waits for the workers and the read that run; no answer is shown any more.
    ~StoragePages() override;

    // Builds the navigation, the search form and the tables with their texts, connects them and
    // starts reading the recorder. Once.
    void Init();
    // The pages' texts, the navigation, the tables' labels and row-button tooltips and the
    // calendars in the current language (the tables' part once they are built).
    void Retranslate();

    VMRDiskModel* DiskModel() const { return m_diskModel; }
    VMRDiskStatusModel* DiskStatusModel() const { return m_diskStatusModel; }
    VMRChnModel* ChnModel() const { return m_chnModel; }
    VMRStreamModel* StreamModel() const { return m_streamModel; }
    VMRBlockModel* BlockModel() const { return m_blockModel; }
    VMRRecordFileModel* RecordFileModel() const { return m_fileModel; }
    VantelTableDelegate* DelegateOf(QTableView* view) const;
    INFRA::TableHeaderView* HeaderOf(QTableView* view) const;
    // The thread of the background reads (the host may queue reads of its own).
    BackgroundReader* Reader() const { return m_reader; }
    // The disk whose blocks and the channel whose streams are shown (engine ids, -1: none).
    qint64 BlockDiskId() const { return m_blockDiskId; }
    qint64 StreamChnId() const { return m_streamChnId; }
    // Whether a disk / channel read runs.
    bool DiskReadRunning() const { return m_diskQuery.running; }
    bool ChannelReadRunning() const { return m_chnQuery.running; }
    bool IsRefreshing() const { return m_diskQuery.running || m_chnQuery.running; }

    // The disk tables, and the channel table with the camera list, are read again on the
    // background reader; a request while the same read runs is made once that one is done.
    void RefreshDiskList();
    void RefreshChannelList();
    // Shows the streams of the channel in that row of the channel table (none for a channel
    // without streams).
    void ShowChannelStreams(int row);
    // Loads the blocks of the disk in that row of the disk-status table.
    void LoadBlocksOfRow(int row);
    // The disk-state dialog of a row of the disk or the disk-status table.
    void ShowDiskStatusOfRow(QTableView* view, int row);
    // Shows in the header check box whether none, some or all rows of the table are ticked.
    void SyncHeaderCheck(QTableView* view);
    // Ticks or unticks every row of the table.
    void SetAllChecked(QTableView* view, bool checked);

    // Workers run under the busy indicator, with what the starting slot put into their job.
    int LoadBlockInfo(void* arg);
    int FormatCheckedDisks(void* arg);
    int FormatDiskRow(void* arg);
    int SearchRecordFiles(void* arg);

signals:
    // The download button of the record-file row was pressed.
    void DownloadRequested(int row);

public slots:
    void OnDiskFormat();
    void OnBlockRefresh();
    void OnRecordFileSearch();
    void OnPlayback(int row);
    void OnActionTriggered(QAbstractItemView* view, const QModelIndex& index, int action);
    void OnItemCheckStateChange(QAbstractItemView* view, const QModelIndex& index);
    void OnGetBlockInfoReturn(int result);
    void OnFormatReturn(int result);
    void OnSearchReturn(int result);

private:
    void SetupNavigation();
    void SetupTables();
    void SetActionRepos();
    void Connect();
    void RetranslateTexts();
    void ShowBlockCaption();

    struct QueryState;
    // A background read of its kind: work(job) on the reader, then show(job) on the GUI thread;
    // a read asked for while one runs is made once that one is answered.
    template <class Job>
    void Read(QueryState* state, void (*work)(Job*, int), void (StoragePages::*show)(Job&));
    void ShowDisks(StorageDiskQuery& job);
    void ShowChannels(StorageChannelQuery& job);
    // Tells the operator once that a read failed; *told stays set until a read works.
    void NoticeReadFailure(bool* told, const char* key, int rc, const EngineAccess::Failure& why);
    void ClearStreams();
    void StartBlockLoad(qint64 diskId);
    void ClearBlocks();
    bool ConfirmFormat();
    void StartFormat(const QVector<qint64>& diskIds, bool checked);
    // Runs the worker under a busy indicator over the host; `done` gets its result.
    void Animate(int (StoragePages::*worker)(void*), void* job, void (StoragePages::*done)(int));
    void PlaceDialog(QWidget* dialog) const;

    const Widgets m_ui;
    const Host m_host;  // not changed after construction: workers read `search`
    INFRA::TableHeaderView* m_diskHeader = nullptr;
    INFRA::TableHeaderView* m_chnHeader = nullptr;
    INFRA::TableHeaderView* m_streamHeader = nullptr;
    INFRA::TableHeaderView* m_diskStatusHeader = nullptr;
    INFRA::TableHeaderView* m_blockHeader = nullptr;
    INFRA::TableHeaderView* m_fileHeader = nullptr;
    VMRDiskModel* m_diskModel = nullptr;
    VMRDiskStatusModel* m_diskStatusModel = nullptr;
    VMRChnModel* m_chnModel = nullptr;
    VMRStreamModel* m_streamModel = nullptr;
    VMRBlockModel* m_blockModel = nullptr;
    VMRRecordFileModel* m_fileModel = nullptr;
    VantelTableDelegate* m_diskDelegate = nullptr;
    VantelTableDelegate* m_chnDelegate = nullptr;
    VantelTableDelegate* m_streamDelegate = nullptr;
    VantelTableDelegate* m_diskStatusDelegate = nullptr;
    VantelTableDelegate* m_blockDelegate = nullptr;
    VantelTableDelegate* m_fileDelegate = nullptr;
    // The engine ids that the refreshes follow the shown blocks and streams by.
    qint64 m_blockDiskId = -1;
    qint64 m_streamChnId = -1;
    bool m_cuidFilled = false;

    // The background reads (GUI thread only): whether one runs, whether another was asked for
    // meanwhile, and whether the operator was told of a failure.
    struct QueryState {
        bool running = false;
        bool again = false;
        bool told = false;
    };
    QueryState m_diskQuery;
    QueryState m_chnQuery;
    bool m_cuidTold = false;
    // Its thread touches only the reads' jobs and the recorder.
    BackgroundReader* m_reader = nullptr;
    // Jobs of the running workers (one of each kind), and their busy indicators; GUI thread.
    StorageBlockJob* m_blockJob = nullptr;
    StorageFormatJob* m_formatJob = nullptr;
    StorageSearchJob* m_searchJob = nullptr;
    QList<QPointer<INFRA::BusyLoading>> m_busy;
};

// What a host of the storage pages shows of them (its callers and tests look at it). The host
// makes m_storage, a child of its own, and deletes it first when it goes.
class StoragePagesHost {
public:
    StoragePages* GetStorage() const { return m_storage; }
    VMRDiskModel* GetDiskModel() const { return m_storage->DiskModel(); }
    VMRDiskStatusModel* GetDiskStatusModel() const { return m_storage->DiskStatusModel(); }
    VMRChnModel* GetChnModel() const { return m_storage->ChnModel(); }
    VMRStreamModel* GetStreamModel() const { return m_storage->StreamModel(); }
    VMRBlockModel* GetBlockModel() const { return m_storage->BlockModel(); }
    VMRRecordFileModel* GetRecordFileModel() const { return m_storage->RecordFileModel(); }
    INFRA::TableHeaderView* GetHeader(QTableView* view) const { return m_storage->HeaderOf(view); }
    VantelTableDelegate* GetDelegate(QTableView* view) const { return m_storage->DelegateOf(view); }
    // The disk whose blocks and the channel whose streams are shown (engine ids, -1: none).
    qint64 GetBlockDiskId() const { return m_storage->BlockDiskId(); }
    qint64 GetStreamChnId() const { return m_storage->StreamChnId(); }

protected:
    StoragePages* m_storage = nullptr;
};

template <class Form>
StoragePages::Widgets StoragePages::WidgetsOf(QWidget* host, Form& ui) {
    Widgets w;
    w.host = host;
    w.navigation = ui.m_listWidget;
    w.disks = ui.m_table_vmr_disk;
    w.channels = ui.m_table_channel;
    w.streams = ui.m_table_stream;
    w.diskStatus = ui.m_table_disk_status;
    w.blocks = ui.m_table_block_status;
    w.files = ui.m_table_record_files;
    w.chnCaption = ui.m_lbl_chn_status;
    w.streamCaption = ui.m_lbl_stream_status;
    w.diskStatusCaption = ui.m_lbl_diskstatus;
    w.blockCaption = ui.m_lbl_block_status;
    w.startLabel = ui.m_lbl_starttime;
    w.endLabel = ui.m_lbl_endtime;
    w.streamTypeLabel = ui.m_lbl_streamtype;
    w.cuidTip = ui.m_lbl_tip;
    w.format = ui.m_button_format;
    w.diskRefresh = ui.m_button_refresh;
    w.chnRefresh = ui.m_button_chn_refresh;
    w.diskStatusRefresh = ui.m_btn_diskstatus_refresh;
    w.blockRefresh = ui.m_btn_block_refresh;
    w.search = ui.m_button_search;
    w.start = ui.m_dateTimeEdit_stime;
    w.end = ui.m_dateTimeEdit_etime;
    w.stream = ui.m_cmb_stream;
    w.cuid = ui.m_cmb_cuid;
    return w;
}
