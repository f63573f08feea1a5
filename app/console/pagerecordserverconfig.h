// PageRecordServerConfig: the record-server page, a frameless dialog bound to one recorder of the
// client's device list: its disks and disk states, the storage blocks of a disk, disk formats, its
// channels and their streams, and the search, playback and download of its record files. Every
// request goes to the bound recorder's URL; the GUI thread never waits for it (reads run on a
// background reader, the operator's requests under the busy indicator).
#pragma once

#include <QByteArray>
#include <QModelIndex>
#include <QString>
#include <memory>

#include "LumoBase/LumoBase.h"
#include "VantelInfraAPI/frameless.h"
#include "storagepages.h"
#include "ui_pagerecordserverconfig.h"

class QAbstractItemView;
class QTableView;
class QTimer;
class IVantelData;
class DownLoadDialog;
class DownloadRecManager;

class PageRecordServerConfig : public INFRA::FrameLessDialog, public StoragePagesHost {
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
    // The storage pages (StoragePagesHost), shared with the recording console's window. True
    // while a disk or channel read runs.
    bool IsRefreshing() const { return m_storage->IsRefreshing(); }
    // The download window the page hands its downloads to (null before the first download).
    DownLoadDialog* GetDownloadDialog() const { return m_downloadDialog; }

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
    // The storage pages over the bound recorder.
    StoragePages* MakeStorage();
    void InitTitle();
    // The recorder URL for a request, or empty after telling the operator that the page has no
    // recorder.
    QByteArray RequestUrl();
    // The record search of the bound recorder (the storage pages' search worker).
    static void SearchRecordFiles(StorageSearchJob* job);

    std::unique_ptr<Ui::PageRecordServerConfig> ui;
    IVantelData* m_device = nullptr;  // one reference held
    QTimer* m_timer = nullptr;
    DownloadRecManager* m_downloads = nullptr;   // the process's queue, taken at the first download
    DownLoadDialog* m_downloadDialog = nullptr;  // polls and stops the page's downloads; a child
    bool m_noDeviceTold = false;                 // GUI thread
};
