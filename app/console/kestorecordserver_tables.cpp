// The storage tables of the window: built by InitTables when the window is made (whether or not
// the engine started), with their headers, models, delegates, row buttons and the navigation
// list. They are filled while the engine runs.
#include <QHeaderView>
#include <QScreen>
#include <QWindow>
#include <QListWidget>
#include <QTableView>

#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/tableheaderview.h"
#include "VantelInfraAPI/vantelutility.h"
#include "delegates/vmrdelegates.h"
#include "kestorecordserver.h"
#include "models/vmrmodels.h"
#include "storagetables.h"

using StorageTables::RepoFor;

void KestoRecordServer::InitTables() {
    Retranslate();
    SetupNavigationAndSearch();
    SetupDiskTable();
    SetupChannelTable();
    SetupStreamTable();
    SetupDiskStatusTable();
    SetupBlockTable();
    SetupRecordFileTable();
    ConnectTableSignals();
    RefreshDiskList();
    RefreshChannelList();
    InitStreamCombo();
}

void KestoRecordServer::SetupNavigationAndSearch() {
    static const struct {
        const char* icon;
        const char* key;
    } pages[] = {{"diskcfg.png", "K3719_DiskInit"},
                 {"chnmng.png", "K3720_ChnManage"},
                 {"diskstatus.png", "K3713_DiskStatus"},
                 {"filesearch.png", "K3721_RecordSearch"},
                 {"basiccfg.png", "K3769_PgConfig"}};
    QListWidget* list = ui.m_listWidget;
    for (int i = 0; i < 5 && i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        item->setIcon(
            VantelUtility::getIcon(QStringLiteral("remotecfg"), QLatin1String(pages[i].icon), 30, 30));
        item->setText(QObject::tr(pages[i].key));
        item->setToolTip(QObject::tr(pages[i].key));
    }
    list->setCurrentRow(0);  // the window opens on the disk page
    SetupSearchControls();
}

void KestoRecordServer::SetupTable(QTableView* view, INFRA::TableHeaderView** header,
                                   VantelTableDataModel* model, VantelTableDelegate* delegate,
                                   const QSet<int>& unsortable, int columns, const QMap<int, int>& widths) {
    StorageTables::SetupTable(view, header, model, delegate, unsortable, columns, widths);
}

void KestoRecordServer::FitColumns(QTableView* view, const QList<int>& contentColumns) {
    StorageTables::FitColumns(view, contentColumns);
}

void KestoRecordServer::CentreDialog(QWidget* dialog) const {
    if (!dialog->testAttribute(Qt::WA_Resized)) dialog->adjustSize();
    QRect area = isVisible() ? frameGeometry() : QRect();
    if (area.isEmpty() && windowHandle() && windowHandle()->screen())
        area = windowHandle()->screen()->availableGeometry();
    if (area.isEmpty()) return;
    dialog->move(area.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
}

void KestoRecordServer::SetupDiskTable() {
    m_diskModel = new VMRDiskModel(nullptr, this);
    m_diskDelegate = new VMRDiskDelegate(ui.m_table_vmr_disk, this);
    SetupTable(ui.m_table_vmr_disk, &m_diskHeader, m_diskModel, m_diskDelegate, {0, 4}, 5,
               {{0, 40}, {1, 120}, {2, 120}, {3, 200}});
}

void KestoRecordServer::SetupChannelTable() {
    m_chnModel = new VMRChnModel(nullptr, this);
    m_chnDelegate = new VMRChnDelegate(ui.m_table_channel, this);
    SetupTable(ui.m_table_channel, &m_chnHeader, m_chnModel, m_chnDelegate, {4}, 8,
               {{0, 50}, {2, 150}, {3, 150}, {6, 150}});
}

void KestoRecordServer::SetupStreamTable() {
    m_streamModel = new VMRStreamModel(nullptr, this);
    m_streamDelegate = new VMRStreamDelegate(ui.m_table_stream, this);
    SetupTable(
        ui.m_table_stream, &m_streamHeader, m_streamModel, m_streamDelegate, {9}, 10,
        {{0, 40}, {1, 50}, {2, 100}, {3, 100}, {4, 120}, {5, 100}, {6, 120}, {7, 100}, {8, 100}, {9, 100}});
}

void KestoRecordServer::SetupDiskStatusTable() {
    m_diskStatusModel = new VMRDiskStatusModel(nullptr, this);
    m_diskStatusDelegate = new VMRDiskStatusDelegate(ui.m_table_disk_status, this);
    SetupTable(ui.m_table_disk_status, &m_diskStatusHeader, m_diskStatusModel, m_diskStatusDelegate, {5}, 8,
               {{0, 40}, {1, 80}, {2, 100}, {3, 150}, {6, 120}, {7, 150}});
}

void KestoRecordServer::SetupBlockTable() {
    m_blockModel = new VMRBlockModel(nullptr, this);
    m_blockDelegate = new VMRBlockDelegate(ui.m_table_block_status, this);
    SetupTable(ui.m_table_block_status, &m_blockHeader, m_blockModel, m_blockDelegate, {7}, 14,
               {{0, 40},
                {1, 50},
                {2, 50},
                {3, 100},
                {4, 120},
                {5, 100},
                {6, 100},
                {7, 100},
                {8, 150},
                {9, 150},
                {10, 100},
                {11, 100},
                {12, 100},
                {13, 100}});
    ui.m_table_block_status->hideColumn(7);  // its button has nothing to do
}

void KestoRecordServer::SetupRecordFileTable() {
    m_fileModel = new VMRRecordFileModel(nullptr, this);
    m_fileDelegate = new VMRRecordFileDelegate(ui.m_table_record_files, this);
    SetupTable(
        ui.m_table_record_files, &m_fileHeader, m_fileModel, m_fileDelegate, {8}, 12,
        {{0, 40}, {1, 50}, {2, 160}, {3, 160}, {4, 130}, {5, 100}, {6, 100}, {7, 120}, {8, 100}, {10, 300}});
    // The play button comes right after the number: the columns are wider together than the
    // window, and the action must not need a scroll to the right.
    StorageTables::ShowColumnAt(ui.m_table_record_files, 8, 2);
}

void KestoRecordServer::SetActionRepos() {
    StorageTables::RetranslateActions();
    if (m_diskDelegate) m_diskDelegate->SetActionButtonRepo(RepoFor(StorageTables::DiskActions(), 4));
    if (m_chnDelegate) m_chnDelegate->SetActionButtonRepo(RepoFor(StorageTables::ChnActions(), 4));
    if (m_diskStatusDelegate)
        m_diskStatusDelegate->SetActionButtonRepo(RepoFor(StorageTables::DiskStatusActions(), 5));
    if (m_blockDelegate) m_blockDelegate->SetActionButtonRepo(RepoFor(StorageTables::BlockActions(), 7));
    if (m_fileDelegate) m_fileDelegate->SetActionButtonRepo(RepoFor(StorageTables::FileActions(), 8));
}

void KestoRecordServer::ConnectTableSignals() {
    SetActionRepos();
    connect(ui.m_button_format, SIGNAL(clicked()), this, SLOT(OnDiskFormat()));
    connect(ui.m_button_refresh, SIGNAL(clicked()), this, SLOT(OnDiskRefresh()));
    connect(ui.m_button_search, SIGNAL(clicked()), this, SLOT(OnRecordFileSearch()));
    connect(ui.m_button_chn_refresh, SIGNAL(clicked()), this, SLOT(OnChnRefresh()));
    connect(ui.m_btn_diskstatus_refresh, SIGNAL(clicked()), this, SLOT(OnDiskStatusRefresh()));
    connect(ui.m_btn_block_refresh, SIGNAL(clicked()), this, SLOT(OnBlockRefresh()));

    const char* action = SIGNAL(SignalActionTriggered(QAbstractItemView*, const QModelIndex&, int));
    const char* onAction = SLOT(OnActionTriggered(QAbstractItemView*, const QModelIndex&, int));
    for (QObject* d : {static_cast<QObject*>(m_diskDelegate), static_cast<QObject*>(m_diskStatusDelegate),
                       static_cast<QObject*>(m_chnDelegate), static_cast<QObject*>(m_blockDelegate),
                       static_cast<QObject*>(m_fileDelegate)})
        connect(d, action, this, onAction);

    connect(m_diskHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnDiskHeaderCheckChange(bool)));
    connect(m_chnHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnChnHeaderCheckChange(bool)));
    connect(m_streamHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnStreamHeaderCheckChange(bool)));
    connect(m_diskStatusHeader, SIGNAL(checkStausChange(bool)), this,
            SLOT(OnDiskStatusHeaderCheckChange(bool)));
    connect(m_blockHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnBlockHeaderCheckChange(bool)));
    connect(m_fileHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnFileHeaderCheckChange(bool)));

    const char* check = SIGNAL(SignalItemCheckStateChange(QAbstractItemView*, const QModelIndex&));
    const char* onCheck = SLOT(OnItemCheckStateChange(QAbstractItemView*, const QModelIndex&));
    for (QObject* d : {static_cast<QObject*>(m_diskDelegate), static_cast<QObject*>(m_chnDelegate),
                       static_cast<QObject*>(m_streamDelegate), static_cast<QObject*>(m_diskStatusDelegate),
                       static_cast<QObject*>(m_blockDelegate), static_cast<QObject*>(m_fileDelegate)})
        connect(d, check, this, onCheck);
}

void KestoRecordServer::RetranslateTables() {
    if (m_diskModel) m_diskModel->SetHeaderLabels(VMRDiskModel::HeaderLabels());
    if (m_chnModel) m_chnModel->SetHeaderLabels(VMRChnModel::HeaderLabels());
    if (m_streamModel) m_streamModel->SetHeaderLabels(VMRStreamModel::HeaderLabels());
    if (m_diskStatusModel) m_diskStatusModel->SetHeaderLabels(VMRDiskStatusModel::HeaderLabels());
    if (m_blockModel) m_blockModel->SetHeaderLabels(VMRBlockModel::HeaderLabels());
    if (m_fileModel) m_fileModel->SetHeaderLabels(VMRRecordFileModel::HeaderLabels());
    SetActionRepos();
    for (QTableView* v : {ui.m_table_vmr_disk, ui.m_table_channel, ui.m_table_stream, ui.m_table_disk_status,
                          ui.m_table_block_status, ui.m_table_record_files})
        if (v->model()) FitColumns(v);
    // Cells painted from keys (states, stream and record types) follow at once.
    for (QTableView* v : {ui.m_table_vmr_disk, ui.m_table_channel, ui.m_table_stream, ui.m_table_disk_status,
                          ui.m_table_block_status, ui.m_table_record_files})
        v->viewport()->update();
}

VantelTableDelegate* KestoRecordServer::GetDelegate(QTableView* view) const {
    if (view == ui.m_table_vmr_disk) return m_diskDelegate;
    if (view == ui.m_table_channel) return m_chnDelegate;
    if (view == ui.m_table_stream) return m_streamDelegate;
    if (view == ui.m_table_disk_status) return m_diskStatusDelegate;
    if (view == ui.m_table_block_status) return m_blockDelegate;
    if (view == ui.m_table_record_files) return m_fileDelegate;
    return nullptr;
}

INFRA::TableHeaderView* KestoRecordServer::GetHeader(QTableView* view) const {
    if (view == ui.m_table_vmr_disk) return m_diskHeader;
    if (view == ui.m_table_channel) return m_chnHeader;
    if (view == ui.m_table_stream) return m_streamHeader;
    if (view == ui.m_table_disk_status) return m_diskStatusHeader;
    if (view == ui.m_table_block_status) return m_blockHeader;
    if (view == ui.m_table_record_files) return m_fileHeader;
    return nullptr;
}

// ---- row buttons and check boxes -------------------------------------------------------------

void KestoRecordServer::OnActionTriggered(QAbstractItemView* view, const QModelIndex& index, int action) {
    // The models sort themselves, so the view row is the model row: the row the operator sees.
    const int row = index.row();
    if (view == ui.m_table_vmr_disk) {
        if (action == 0) {
            auto* disk = m_diskModel ? dynamic_cast<IKestoDiskInfo*>(m_diskModel->GetRowData(row)) : nullptr;
            if (!disk) return;
            // The question is modal and the disk refresh may replace the rows meanwhile: the disk
            // is named by its engine number, taken before asking.
            disk->AddRef();
            const qint64 id = disk->GetID();
            disk->Release();
            if (!ConfirmFormat()) return;
            StartFormat({id}, false);
        } else if (action == 1) {
            ShowDiskStatus(row);
        }
    } else if (view == ui.m_table_channel) {
        if (action == 0) ShowChannelStreams(row);
    } else if (view == ui.m_table_disk_status) {
        if (action == 0)
            LoadBlocksOfRow(row);
        else if (action == 1)
            ShowDiskStatusFromStatusTable(row);
    } else if (view == ui.m_table_record_files) {
        if (action == 0) OnPlayback(row);
    }
}

void KestoRecordServer::OnItemCheckStateChange(QAbstractItemView* view, const QModelIndex&) {
    SyncHeaderCheck(qobject_cast<QTableView*>(view));
}

void KestoRecordServer::SyncHeaderCheck(QTableView* view) {
    StorageTables::SyncHeaderCheck(GetHeader(view),
                                   view ? qobject_cast<VantelDataModel*>(view->model()) : nullptr);
}

void KestoRecordServer::OnDiskHeaderCheckChange(bool checked) {
    if (m_diskModel) m_diskModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui.m_table_vmr_disk);
}

void KestoRecordServer::OnChnHeaderCheckChange(bool checked) {
    if (m_chnModel) m_chnModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui.m_table_channel);
}

void KestoRecordServer::OnStreamHeaderCheckChange(bool checked) {
    if (m_streamModel) m_streamModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui.m_table_stream);
}

void KestoRecordServer::OnDiskStatusHeaderCheckChange(bool checked) {
    if (m_diskStatusModel) m_diskStatusModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui.m_table_disk_status);
}

void KestoRecordServer::OnBlockHeaderCheckChange(bool checked) {
    if (m_blockModel) m_blockModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui.m_table_block_status);
}

void KestoRecordServer::OnFileHeaderCheckChange(bool checked) {
    if (m_fileModel) m_fileModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui.m_table_record_files);
}
