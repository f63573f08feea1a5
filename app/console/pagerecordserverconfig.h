// PageRecordServerConfig: the record-server page, a frameless dialog bound to one recorder of the
// client's device list: its disks and disk states, the storage blocks of a disk, disk formats, its
// channels and their streams, and the search, playback and download of its record files. Every
// request goes to the bound recorder's URL; the GUI thread never waits for it (reads run on a
// background reader, the operator's requests under the busy indicator).
#pragma once

#include <QByteArray>
#include <QModelIndex>
#include <QString>
#include <QVector>
#include <memory>

#include "LumoBase/LumoBase.h"
#include "VantelInfraAPI/frameless.h"
#include "engineaccess.h"
#include "ui_pagerecordserverconfig.h"

class QAbstractItemView;
class QTableView;
class QTimer;
class IVantelData;
class IVantelList;
class BackgroundReader;
class DownLoadDialog;
class DownloadRecManager;
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
struct PageDiskQuery;
struct PageChannelQuery;
struct PageSearchJob;

class PageRecordServerConfig : public INFRA::FrameLessDialog {
    Q_OBJECT
public:
    explicit PageRecordServerConfig(QWidget* parent = nullptr);
    ~PageRecordServerConfig() override;

    // Binds the page to a recorder device (a reference is held): 0, -1 for null, -4 for an
    // object that is not a device. The title names the device's address.
    int SetDevice(IVantelData* device);
    // Builds texts, navigation, tables and connections and starts reading the recorder. Once,
    // after SetDevice; without a device the page says so and reads nothing.
    void Init();
    // The bound recorder's URL (LumoCRECGetDeviceURL): 0 when valid.
    int GetDeviceUrl(CLumoString* url) const;

    // The download folder: the client's record folder + "/Kesto", or the user's video folder +
    // "/Kesto" when no record folder is set.
    static QString DownloadFolder();
    // "filew://local/type=rec[&format=<ext>]&pathname=<folder>" for a download.
    static QByteArray TargetUrl(int format, const QString& folder);

    // What tests and hosts look at.
    Ui::PageRecordServerConfig& GetForm() { return *ui; }
    qint64 GetDeviceId() const;
    VMRDiskModel* GetDiskModel() const { return m_diskModel; }
    VMRDiskStatusModel* GetDiskStatusModel() const { return m_diskStatusModel; }
    VMRChnModel* GetChnModel() const { return m_chnModel; }
    VMRStreamModel* GetStreamModel() const { return m_streamModel; }
    VMRBlockModel* GetBlockModel() const { return m_blockModel; }
    VMRRecordFileModel* GetRecordFileModel() const { return m_fileModel; }
    INFRA::TableHeaderView* GetHeader(QTableView* view) const;
    // True while a disk or channel read runs.
    bool IsRefreshing() const { return m_diskQuery.running || m_chnQuery.running; }
    // The disk whose blocks and the channel whose streams are shown (engine ids, -1: none).
    qint64 GetBlockDiskId() const { return m_blockDiskId; }
    qint64 GetStreamChnId() const { return m_streamChnId; }
    // The download window the page hands its downloads to (null before the first download).
    DownLoadDialog* GetDownloadDialog() const { return m_downloadDialog; }

    // Workers run under the busy indicator: they only call the recorder with what the starting
    // slot put into their job; the finishing slots show the results.
    int LoadBlockInfo(void* arg);
    int FormatCheckedDisks(void* arg);
    int FormatDiskRow(void* arg);
    int SearchRecordFiles(void* arg);

signals:
    // A download was queued (and started when none ran): device id, channel index, target URL,
    // key. Delivered directly: the texts are valid during the emission only.
    void signalDownLoadStar(long deviceId, uint channelIndex, const char* saveUrl, const char* key);

public slots:
    void OnGetBlockInfoReturn(int result);
    void OnSearchReturn(int result);
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
    void OnDownload(int row);
    void OnActionTriggered(QAbstractItemView* view, const QModelIndex& index, int action);
    void OnItemCheckStateChange(QAbstractItemView* view, const QModelIndex& index);
    void OnDiskHeaderCheckChange(bool checked);
    void OnChnHeaderCheckChange(bool checked);
    void OnStreamHeaderCheckChange(bool checked);
    void OnDiskStatusHeaderCheckChange(bool checked);
    void OnBlockHeaderCheckChange(bool checked);
    void OnFileHeaderCheckChange(bool checked);

protected:
    void changeEvent(QEvent* e) override;

private:
    void InitTexts();
    void InitNavigation();
    void InitStreamCombo();
    void SetupSearchControls();
    void ApplyDateLocale();
    void SetupDiskTable();
    void SetupChannelTable();
    void SetupStreamTable();
    void SetupDiskStatusTable();
    void SetupBlockTable();
    void SetupRecordFileTable();
    void SetActionRepos();
    void ConnectSignals();
    void RetranslateTables();

    void RefreshDiskList();
    void RefreshChannelList();
    void StartDiskQuery();
    void StartChannelQuery();
    void OnDiskQueryReturn(PageDiskQuery& job);
    void OnChannelQueryReturn(PageChannelQuery& job);
    void ApplyCuidList(IVantelList* list);
    void ShowChannelStreams(int row);
    void ClearStreams();
    // The disk-state dialog of a row of the disk or disk-status table.
    void ShowDiskStatusOfRow(QTableView* view, int row);
    void StartBlockLoad(qint64 diskId);
    void ClearBlocks();
    bool ConfirmFormat();
    void StartFormat(const QVector<qint64>& diskIds, bool checked);
    void OnFormatReturn(int result);
    void SyncHeaderCheck(QTableView* view);

    // The recorder URL for a request, or empty after telling the operator that the page has no
    // recorder.
    QByteArray RequestUrl();
    // Tells the operator once that a read failed (*told stays set until a read works).
    void NoticeReadFailure(bool* told, const char* key, int rc, const EngineAccess::Failure& why);
    // A failure's sentence: the key's text and the recorder's reason (or the result code).
    static QString FailureText(const QString& what, int rc, const EngineAccess::Failure& why);

    std::unique_ptr<Ui::PageRecordServerConfig> ui;
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

    IVantelData* m_device = nullptr;  // one reference held
    // The rows last shown, and the engine ids that refreshes and re-sorts follow them by.
    int m_selectedDiskRow = -1;
    int m_selectedChnRow = -1;
    qint64 m_blockDiskId = -1;
    qint64 m_streamChnId = -1;
    QTimer* m_timer = nullptr;
    IVantelList* m_recordFileList = nullptr;     // the rows the record-file model shows
    IVantelList* m_blockList = nullptr;          // the rows the block model shows
    DownloadRecManager* m_downloads = nullptr;   // the process's queue, taken at the first download
    DownLoadDialog* m_downloadDialog = nullptr;  // polls and stops the page's downloads; a child
    bool m_cuidFilled = false;

    // Background reads (GUI thread only): one of a kind at a time, another asked for meanwhile,
    // and whether the operator was told of a failure.
    struct QueryState {
        bool running = false;
        bool again = false;
        bool told = false;
    };
    QueryState m_diskQuery;
    QueryState m_chnQuery;
    bool m_noDeviceTold = false;
    BackgroundReader* m_reader = nullptr;  // its thread touches only the jobs and the recorder
    // Jobs of the running workers (one of each kind); owned by the page, GUI thread.
    KestoBlockJob* m_blockJob = nullptr;
    KestoFormatJob* m_formatJob = nullptr;
    PageSearchJob* m_searchJob = nullptr;
};
