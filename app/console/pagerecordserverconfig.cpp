// The record-server page: device binding, the six tables, and the disk, channel, stream and block
// work with disk formats. Disks and channels are named by their engine numbers (GetID), never by
// table rows: the tables sort, and refreshes replace their rows.
#include "pagerecordserverconfig.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QListWidget>
#include <QTableView>
#include <QTimer>
#include <algorithm>

#include "LumoCClient/LumoCClient.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/tableheaderview.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vantelutility.h"
#include "backgroundreader.h"
#include "delegates/vmrdelegates.h"
#include "diskstatus/pagerecordserverdiskstatus.h"
#include "models/vmrmodels.h"
#include "storagejobs.h"
#include "storagetables.h"

namespace {

const int kTimeoutMs = 5000;
const int kDeviceObject = 257;

using StorageTables::CheckedIds;
using StorageTables::FindRowById;
using StorageTables::RepoFor;
using StorageTables::RestoreChecks;

// Runs work(job) on the reader and (page->*done)(job) on the GUI thread; the reader's queue hands
// the job over both ways.
template <class Job>
void runQuery(PageRecordServerConfig* page, BackgroundReader* reader, std::shared_ptr<Job> job,
              std::function<void(Job&)> work, void (PageRecordServerConfig::*done)(Job&)) {
    reader->Post([job, work]() { work(*job); }, [page, job, done]() { (page->*done)(*job); });
}

}  // namespace

PageRecordServerConfig::PageRecordServerConfig(QWidget* parent)
    : INFRA::FrameLessDialog(parent, Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      ui(new Ui::PageRecordServerConfig) {
    ui->setupUi(GetMainWidget());
    setObjectName(QStringLiteral("RecordServerConfig"));
    setMinimumSize(1024, 600);
    SetResizable(true);
    ui->m_listWidget->setFixedWidth(180);
    ui->m_listWidget->setIconSize(QSize(30, 30));
    for (QPushButton* b :
         {static_cast<QPushButton*>(ui->m_button_format), static_cast<QPushButton*>(ui->m_button_refresh)})
        b->setProperty("uitype", QStringLiteral("LiteButton"));
    ui->m_lbl_stream_status->clear();

    m_timer = new QTimer(this);
    connect(m_timer, SIGNAL(timeout()), this, SLOT(OnTimer()));
    m_timer->start(1000);
    m_blockList = IVantelList::CreateObject();
    m_reader = new BackgroundReader(this);
}

PageRecordServerConfig::~PageRecordServerConfig() {
    // The reads in flight end (and their answers are dropped) before the models go.
    delete m_reader;
    m_reader = nullptr;
    // Workers under the busy indicator call into this page: they end before any of it goes.
    INFRA::BusyLoading::WaitForWorkers(this);
    delete m_blockJob;
    delete m_formatJob;
    delete m_searchJob;
    m_blockJob = nullptr;
    m_formatJob = nullptr;
    m_searchJob = nullptr;
    if (m_recordFileList) m_recordFileList->Release();
    if (m_device) m_device->Release();
    if (m_blockList) m_blockList->Release();
}

// ---- device -----------------------------------------------------------------------------------

int PageRecordServerConfig::SetDevice(IVantelData* device) {
    if (!device) return -1;
    if (device->GetObjectID() != kDeviceObject) return -4;
    device->AddRef();
    if (m_device) m_device->Release();
    m_device = device;
    const auto* dev = static_cast<IVantelDataDEV*>(device);
    SetTitle(QObject::tr("K3737_RecordServer") + QStringLiteral(" : ") +
             QString::fromUtf8(dev->GetAddress()));
    return 0;
}

qint64 PageRecordServerConfig::GetDeviceId() const {
    return m_device ? m_device->GetID() : -1;
}

int PageRecordServerConfig::GetDeviceUrl(CLumoString* url) const {
    if (!m_device || !url) return -1;
    return LumoCRECGetDeviceURL(nullptr, m_device->GetID(), url);
}

QByteArray PageRecordServerConfig::RequestUrl() {
    CLumoString url;
    if (GetDeviceUrl(&url) == 0 && *url.GetBuffer()) {
        m_noDeviceTold = false;
        return QByteArray(url.GetBuffer());
    }
    // Without a recorder every request would go to no one: said once.
    if (!m_noDeviceTold) {
        m_noDeviceTold = true;
        INFRA::MessageBox::Warning(this, QObject::tr("K3737_RecordServer"), QObject::tr("K7952_NoRecorder"));
    }
    return QByteArray();
}

QString PageRecordServerConfig::FailureText(const QString& what, int rc, const EngineAccess::Failure& why) {
    QString reason = EngineAccess::ReasonText(why);
    if (reason.isEmpty()) reason = QObject::tr("K7953_ResultCode").arg(rc);
    return what + QLatin1Char('\n') + reason;
}

void PageRecordServerConfig::NoticeReadFailure(bool* told, const char* key, int rc,
                                               const EngineAccess::Failure& why) {
    VantelDBG_Printf_f(0x7fff, 2, "PageRecordServerConfig", "%s: %d (reason %d: %s)", key, rc, why.reason,
                       why.detail.toUtf8().constData());
    if (*told) return;  // said once; said again only after a read has worked
    *told = true;
    // A box that stays until it is closed, without holding the page: the reads run by themselves.
    const QString title = QObject::tr("K3737_RecordServer");
    const QString text = FailureText(QObject::tr(key), rc, why);
    INFRA::TestSeams::RecordUiEvent({QStringLiteral("messagebox"), title, text});
    auto* box = new INFRA::MessageBox(this, title, text, INFRA::MessageBox::Ok, true);
    box->setModal(false);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->QDialog::show();
}

// ---- set-up ------------------------------------------------------------------------------------

void PageRecordServerConfig::Init() {
    if (m_diskModel) return;  // once
    InitTexts();
    InitNavigation();
    SetupDiskTable();
    SetupChannelTable();
    SetupStreamTable();
    SetupDiskStatusTable();
    SetupBlockTable();
    SetupRecordFileTable();
    ConnectSignals();
    RefreshDiskList();
    RefreshChannelList();
    InitStreamCombo();
}

void PageRecordServerConfig::InitTexts() {
    auto colon = [](const char* key) { return QObject::tr(key) + QStringLiteral(" :"); };
    ui->m_button_format->setText(QObject::tr("K3718_Format"));
    for (QPushButton* b : {static_cast<QPushButton*>(ui->m_button_refresh),
                           static_cast<QPushButton*>(ui->m_button_chn_refresh),
                           static_cast<QPushButton*>(ui->m_btn_diskstatus_refresh),
                           static_cast<QPushButton*>(ui->m_btn_block_refresh)})
        b->setText(QObject::tr("K0414_Refresh"));
    ui->m_lbl_chn_status->setText(QObject::tr("K3722_RecordChnList"));
    ui->m_lbl_diskstatus->setText(QObject::tr("K3713_DiskStatus"));
    if (m_blockDiskId >= 0)
        ui->m_lbl_block_status->setText(QObject::tr("K3711_DiskNo") + QStringLiteral(" : ") +
                                        QString::number(m_blockDiskId));
    else
        ui->m_lbl_block_status->setText(QObject::tr("K3724_BlockStatus"));
    ui->m_lbl_starttime->setText(colon("K3703_StartTime"));
    ui->m_lbl_endtime->setText(colon("K3704_EndTime"));
    ui->m_lbl_streamtype->setText(colon("K0637_StreamType"));
    ui->m_button_search->setText(QObject::tr("K0020_Search"));
    ui->m_lbl_tip->setText(QObject::tr("K3739_CUIDTip"));
    if (m_device)
        SetTitle(QObject::tr("K3737_RecordServer") + QStringLiteral(" : ") +
                 QString::fromUtf8(static_cast<IVantelDataDEV*>(m_device)->GetAddress()));
}

void PageRecordServerConfig::InitNavigation() {
    static const struct {
        const char* icon;
        const char* key;
    } pages[] = {{"diskcfg.png", "K3719_DiskInit"},
                 {"chnmng.png", "K3720_ChnManage"},
                 {"diskstatus.png", "K3713_DiskStatus"},
                 {"filesearch.png", "K3721_RecordSearch"}};
    QListWidget* list = ui->m_listWidget;
    for (int i = 0; i < 4 && i < list->count(); ++i) {
        list->setCurrentRow(i);
        QListWidgetItem* item = list->item(i);
        item->setIcon(
            VantelUtility::getIcon(QStringLiteral("remotecfg"), QLatin1String(pages[i].icon), 30, 30));
        item->setText(QObject::tr(pages[i].key));
        item->setToolTip(QObject::tr(pages[i].key));
    }
    list->setCurrentRow(0);  // the page opens on the disks
    SetupSearchControls();
}

void PageRecordServerConfig::InitStreamCombo() {
    StorageTables::FillStreamCombo(ui->m_cmb_stream);
}

void PageRecordServerConfig::SetupDiskTable() {
    m_diskModel = new VMRDiskModel(nullptr, this);
    m_diskDelegate = new VMRDiskDelegate(ui->m_table_vmr_disk, this);
    StorageTables::SetupTable(ui->m_table_vmr_disk, &m_diskHeader, m_diskModel, m_diskDelegate, {0, 4}, 5,
                              {{0, 40}, {1, 120}, {2, 120}, {3, 200}});
}

void PageRecordServerConfig::SetupChannelTable() {
    m_chnModel = new VMRChnModel(nullptr, this);
    m_chnDelegate = new VMRChnDelegate(ui->m_table_channel, this);
    StorageTables::SetupTable(ui->m_table_channel, &m_chnHeader, m_chnModel, m_chnDelegate, {4}, 8,
                              {{0, 50}, {2, 150}, {3, 150}, {6, 120}});
}

void PageRecordServerConfig::SetupStreamTable() {
    m_streamModel = new VMRStreamModel(nullptr, this);
    m_streamDelegate = new VMRStreamDelegate(ui->m_table_stream, this);
    StorageTables::SetupTable(ui->m_table_stream, &m_streamHeader, m_streamModel, m_streamDelegate, {9}, 10,
                              {{0, 40}, {1, 50}, {2, 80}, {8, 120}, {7, 80}, {5, 80}});
}

void PageRecordServerConfig::SetupDiskStatusTable() {
    m_diskStatusModel = new VMRDiskStatusModel(nullptr, this);
    m_diskStatusDelegate = new VMRDiskStatusDelegate(ui->m_table_disk_status, this);
    StorageTables::SetupTable(ui->m_table_disk_status, &m_diskStatusHeader, m_diskStatusModel,
                              m_diskStatusDelegate, {5}, 8, {{0, 40}, {1, 80}, {2, 100}, {7, 150}, {6, 120}});
}

void PageRecordServerConfig::SetupBlockTable() {
    m_blockModel = new VMRBlockModel(nullptr, this);
    m_blockDelegate = new VMRBlockDelegate(ui->m_table_block_status, this);
    StorageTables::SetupTable(
        ui->m_table_block_status, &m_blockHeader, m_blockModel, m_blockDelegate, {7}, 14,
        {{0, 40}, {1, 60}, {2, 60}, {4, 120}, {5, 60}, {6, 60}, {8, 150}, {9, 150}, {10, 60}});
    ui->m_table_block_status->hideColumn(7);  // its button has nothing to do
}

void PageRecordServerConfig::SetupRecordFileTable() {
    m_fileModel = new VMRRecordFileModel(nullptr, this);
    m_fileDelegate = new VMRRecordFileDelegate(ui->m_table_record_files, this);
    StorageTables::SetupTable(
        ui->m_table_record_files, &m_fileHeader, m_fileModel, m_fileDelegate, {8}, 12,
        {{0, 40}, {1, 50}, {4, 130}, {5, 100}, {6, 100}, {7, 80}, {8, 50}, {2, 160}, {3, 160}, {10, 300}});
    // Two buttons need more than the listed width.
    ui->m_table_record_files->setColumnWidth(8, 60);
    // The buttons come right after the number: the columns are wider together than the page.
    StorageTables::ShowColumnAt(ui->m_table_record_files, 8, 2);
}

void PageRecordServerConfig::SetActionRepos() {
    StorageTables::RetranslateActions();
    m_diskDelegate->SetActionButtonRepo(RepoFor(StorageTables::DiskActions(), 4));
    m_chnDelegate->SetActionButtonRepo(RepoFor(StorageTables::ChnActions(), 4));
    m_diskStatusDelegate->SetActionButtonRepo(RepoFor(StorageTables::DiskStatusActions(), 5));
    m_blockDelegate->SetActionButtonRepo(RepoFor(StorageTables::BlockActions(), 7));
    m_fileDelegate->SetActionButtonRepo(RepoFor(StorageTables::FileDownloadActions(), 8));
}

void PageRecordServerConfig::ConnectSignals() {
    SetActionRepos();
    connect(ui->m_button_format, SIGNAL(clicked()), this, SLOT(OnDiskFormat()));
    connect(ui->m_button_refresh, SIGNAL(clicked()), this, SLOT(OnDiskRefresh()));
    connect(ui->m_button_search, SIGNAL(clicked()), this, SLOT(OnRecordFileSearch()));
    connect(ui->m_button_chn_refresh, SIGNAL(clicked()), this, SLOT(OnChnRefresh()));
    connect(ui->m_btn_diskstatus_refresh, SIGNAL(clicked()), this, SLOT(OnDiskStatusRefresh()));
    connect(ui->m_btn_block_refresh, SIGNAL(clicked()), this, SLOT(OnBlockRefresh()));

    const char* action = SIGNAL(SignalActionTriggered(QAbstractItemView*, const QModelIndex&, int));
    const char* onAction = SLOT(OnActionTriggered(QAbstractItemView*, QModelIndex, int));
    for (QObject* d : {static_cast<QObject*>(m_diskDelegate), static_cast<QObject*>(m_diskStatusDelegate),
                       static_cast<QObject*>(m_chnDelegate), static_cast<QObject*>(m_blockDelegate),
                       static_cast<QObject*>(m_fileDelegate)})
        connect(d, action, this, onAction);
    const char* check = SIGNAL(SignalItemCheckStateChange(QAbstractItemView*, const QModelIndex&));
    const char* onCheck = SLOT(OnItemCheckStateChange(QAbstractItemView*, QModelIndex));
    for (QObject* d : {static_cast<QObject*>(m_diskDelegate), static_cast<QObject*>(m_chnDelegate),
                       static_cast<QObject*>(m_streamDelegate), static_cast<QObject*>(m_diskStatusDelegate),
                       static_cast<QObject*>(m_blockDelegate), static_cast<QObject*>(m_fileDelegate)})
        connect(d, check, this, onCheck);

    connect(m_diskHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnDiskHeaderCheckChange(bool)));
    connect(m_chnHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnChnHeaderCheckChange(bool)));
    connect(m_streamHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnStreamHeaderCheckChange(bool)));
    connect(m_diskStatusHeader, SIGNAL(checkStausChange(bool)), this,
            SLOT(OnDiskStatusHeaderCheckChange(bool)));
    connect(m_blockHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnBlockHeaderCheckChange(bool)));
    connect(m_fileHeader, SIGNAL(checkStausChange(bool)), this, SLOT(OnFileHeaderCheckChange(bool)));
}

void PageRecordServerConfig::RetranslateTables() {
    if (!m_diskModel) return;
    m_diskModel->SetHeaderLabels(VMRDiskModel::HeaderLabels());
    m_chnModel->SetHeaderLabels(VMRChnModel::HeaderLabels());
    m_streamModel->SetHeaderLabels(VMRStreamModel::HeaderLabels());
    m_diskStatusModel->SetHeaderLabels(VMRDiskStatusModel::HeaderLabels());
    m_blockModel->SetHeaderLabels(VMRBlockModel::HeaderLabels());
    m_fileModel->SetHeaderLabels(VMRRecordFileModel::HeaderLabels());
    SetActionRepos();
    for (QTableView* v : {ui->m_table_vmr_disk, ui->m_table_channel, ui->m_table_stream,
                          ui->m_table_disk_status, ui->m_table_block_status, ui->m_table_record_files}) {
        StorageTables::FitColumns(v);
        v->viewport()->update();
    }
}

void PageRecordServerConfig::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange && m_diskModel) {
        InitTexts();
        InitStreamCombo();
        ApplyDateLocale();
        for (int i = 0; i < ui->m_listWidget->count() && i < 4; ++i) {
            static const char* const keys[] = {"K3719_DiskInit", "K3720_ChnManage", "K3713_DiskStatus",
                                               "K3721_RecordSearch"};
            ui->m_listWidget->item(i)->setText(QObject::tr(keys[i]));
            ui->m_listWidget->item(i)->setToolTip(QObject::tr(keys[i]));
        }
        RetranslateTables();
    }
    INFRA::FrameLessDialog::changeEvent(e);
}

INFRA::TableHeaderView* PageRecordServerConfig::GetHeader(QTableView* view) const {
    if (view == ui->m_table_vmr_disk) return m_diskHeader;
    if (view == ui->m_table_channel) return m_chnHeader;
    if (view == ui->m_table_stream) return m_streamHeader;
    if (view == ui->m_table_disk_status) return m_diskStatusHeader;
    if (view == ui->m_table_block_status) return m_blockHeader;
    if (view == ui->m_table_record_files) return m_fileHeader;
    return nullptr;
}

void PageRecordServerConfig::OnTimer() {}

// ---- disks -------------------------------------------------------------------------------------

void PageRecordServerConfig::RefreshDiskList() {
    if (!m_diskModel) return;
    if (m_diskQuery.running) {
        m_diskQuery.again = true;
        return;
    }
    StartDiskQuery();
}

void PageRecordServerConfig::StartDiskQuery() {
    auto job = std::make_shared<PageDiskQuery>();
    job->url = RequestUrl();
    if (job->url.isEmpty()) return;
    m_diskQuery.running = true;
    runQuery<PageDiskQuery>(
        this, m_reader, job,
        [](PageDiskQuery& j) {
            const auto query = EngineAccess::Current().diskInfo;
            j.rc = query ? query(j.url.constData(), 0, &j.disks, kTimeoutMs) : LUMOSR_ERR_FAIL;
            if (j.rc != 0) j.why = EngineAccess::LastFailure();
            if (j.rc != 0 && j.disks) {
                j.disks->Release();
                j.disks = nullptr;
            }
        },
        &PageRecordServerConfig::OnDiskQueryReturn);
}

void PageRecordServerConfig::OnDiskQueryReturn(PageDiskQuery& job) {
    m_diskQuery.running = false;
    if (!job.disks) {
        NoticeReadFailure(&m_diskQuery.told, "K7921_DiskQueryFail", job.rc,
                          job.why);  // tables keep their rows
    } else {
        m_diskQuery.told = false;
        const QSet<qint64> ticked = CheckedIds(m_diskModel);
        const QSet<qint64> tickedStatus = CheckedIds(m_diskStatusModel);
        m_diskModel->Clear(true);
        m_diskStatusModel->Clear(true);
        m_diskModel->SetupModelData(job.disks);
        m_diskStatusModel->SetupModelData(job.disks);
        RestoreChecks(m_diskModel, ticked);
        RestoreChecks(m_diskStatusModel, tickedStatus);
        SyncHeaderCheck(ui->m_table_vmr_disk);
        SyncHeaderCheck(ui->m_table_disk_status);
        // The blocks shown belong to a disk: follow it to its new row, or let them go with it.
        if (m_blockDiskId >= 0) {
            m_selectedDiskRow = FindRowById(m_diskStatusModel, m_blockDiskId);
            if (m_selectedDiskRow < 0) ClearBlocks();
        }
    }
    if (m_diskQuery.again) {
        m_diskQuery.again = false;
        StartDiskQuery();
    }
}

void PageRecordServerConfig::OnDiskRefresh() {
    RefreshDiskList();
}

void PageRecordServerConfig::OnDiskStatusRefresh() {
    RefreshDiskList();
}

void PageRecordServerConfig::OnDiskStatusExport() {}
void PageRecordServerConfig::OnBlockExport() {}
void PageRecordServerConfig::OnChnExport() {}

// ---- channels, streams, camera identities ------------------------------------------------------

void PageRecordServerConfig::RefreshChannelList() {
    if (!m_chnModel) return;
    if (m_chnQuery.running) {
        m_chnQuery.again = true;
        return;
    }
    StartChannelQuery();
}

void PageRecordServerConfig::StartChannelQuery() {
    auto job = std::make_shared<PageChannelQuery>();
    job->url = RequestUrl();
    if (job->url.isEmpty()) return;
    m_chnQuery.running = true;
    runQuery<PageChannelQuery>(
        this, m_reader, job,
        [](PageChannelQuery& j) {
            const EngineAccess::Calls calls = EngineAccess::Current();
            j.chnRc = calls.chanInfo ? calls.chanInfo(j.url.constData(), 0, &j.channels, kTimeoutMs)
                                     : LUMOSR_ERR_FAIL;
            if (j.chnRc != 0) j.chnWhy = EngineAccess::LastFailure();
            j.cuidRc =
                calls.cuidInfo ? calls.cuidInfo(j.url.constData(), 0, &j.cuids, kTimeoutMs) : LUMOSR_ERR_FAIL;
            if (j.cuidRc != 0) j.cuidWhy = EngineAccess::LastFailure();
        },
        &PageRecordServerConfig::OnChannelQueryReturn);
}

void PageRecordServerConfig::OnChannelQueryReturn(PageChannelQuery& job) {
    m_chnQuery.running = false;
    if (job.chnRc != 0 || !job.channels) {
        NoticeReadFailure(&m_chnQuery.told, "K7922_ChnQueryFail", job.chnRc, job.chnWhy);
    } else if (job.cuidRc != 0 || !job.cuids) {
        // The camera choice stays: an empty box would widen the search to every camera.
        NoticeReadFailure(&m_chnQuery.told, "K7923_CuidQueryFail", job.cuidRc, job.cuidWhy);
    } else {
        m_chnQuery.told = false;
    }
    if (job.chnRc == 0 && job.channels) {
        const QSet<qint64> ticked = CheckedIds(m_chnModel);
        m_chnModel->Clear(true);
        m_chnModel->SetupModelData(job.channels);
        RestoreChecks(m_chnModel, ticked);
        SyncHeaderCheck(ui->m_table_channel);
        // The streams shown belong to a channel: follow it to its new row, or let them go.
        if (m_streamChnId >= 0) {
            const int row = FindRowById(m_chnModel, m_streamChnId);
            if (row >= 0)
                ShowChannelStreams(row);
            else
                ClearStreams();
        }
    }
    if (job.cuidRc == 0 && job.cuids) ApplyCuidList(job.cuids);
    if (m_chnQuery.again) {
        m_chnQuery.again = false;
        StartChannelQuery();
    }
}

void PageRecordServerConfig::ApplyCuidList(IVantelList* list) {
    StorageTables::ApplyCuidList(ui->m_cmb_cuid, list, &m_cuidFilled);
}

void PageRecordServerConfig::OnChnRefresh() {
    RefreshChannelList();
}

void PageRecordServerConfig::ShowChannelStreams(int row) {
    auto* chn = m_chnModel ? dynamic_cast<IKestoChanInfo*>(m_chnModel->GetRowData(row)) : nullptr;
    if (!chn || chn->GetStreamNum() <= 0) return;
    IVantelList* list = IVantelList::CreateObject();
    for (int i = 0; i < chn->GetStreamNum(); ++i)
        if (IKestoStreamInfo* stream = chn->GetStreamInfo(i)) list->Add(stream, true, false);
    ui->m_lbl_stream_status->setText(QStringLiteral("CUID : %1").arg(QString::fromUtf8(chn->GetCUID())));
    m_selectedChnRow = row;
    m_streamChnId = chn->GetID();
    m_streamModel->Clear(true);
    m_streamModel->SetupModelData(list);
    list->Release();
    SyncHeaderCheck(ui->m_table_stream);
}

void PageRecordServerConfig::ClearStreams() {
    m_streamModel->Clear(true);
    ui->m_lbl_stream_status->clear();
    m_selectedChnRow = -1;
    m_streamChnId = -1;
    SyncHeaderCheck(ui->m_table_stream);
}

// ---- disk states -------------------------------------------------------------------------------

void PageRecordServerConfig::ShowDiskStatusOfRow(QTableView* view, int row) {
    // Each table is sorted by itself: the row is looked up in the model the operator clicked.
    auto* model = qobject_cast<VantelDataModel*>(view->model());
    auto* disk = model ? dynamic_cast<IKestoDiskInfo*>(model->GetRowData(row)) : nullptr;
    if (!disk) return;
    PageRecordServerDiskStatus dlg(this);
    dlg.SetDiskState(disk->GetInfo()->GetState());
    dlg.UpdateStateLabels();
    dlg.exec(INFRA::ShowApplicationModal);
}

// ---- blocks ------------------------------------------------------------------------------------

void PageRecordServerConfig::OnBlockRefresh() {
    if (m_blockDiskId < 0) return;
    if (FindRowById(m_diskStatusModel, m_blockDiskId) < 0) {
        ClearBlocks();
        return;
    }
    StartBlockLoad(m_blockDiskId);
}

void PageRecordServerConfig::StartBlockLoad(qint64 diskId) {
    if (!m_blockModel || m_blockJob) return;  // one block read at a time
    const QByteArray url = RequestUrl();
    if (url.isEmpty()) return;
    m_blockJob = new KestoBlockJob;
    m_blockJob->url = url;
    m_blockJob->diskId = diskId;
    INFRA::BusyLoading* busy = INFRA::BusyLoading::animate(this, this, &PageRecordServerConfig::LoadBlockInfo,
                                                           static_cast<void*>(m_blockJob));
    connect(busy, &INFRA::BusyLoading::returned, this, &PageRecordServerConfig::OnGetBlockInfoReturn);
}

int PageRecordServerConfig::LoadBlockInfo(void* arg) {
    return RunBlockJob(static_cast<KestoBlockJob*>(arg), kTimeoutMs);
}

void PageRecordServerConfig::OnGetBlockInfoReturn(int result) {
    KestoBlockJob* job = m_blockJob;
    m_blockJob = nullptr;
    if (!job) return;
    if (result == 0 && job->blocks) {
        if (m_blockList) m_blockList->Release();
        m_blockList = job->blocks;
        job->blocks = nullptr;
        m_blockModel->Clear(true);
        m_blockModel->SetDiskId(job->diskId);
        m_blockModel->SetupModelData(m_blockList);
        StorageTables::FitColumns(ui->m_table_block_status, {4, 8, 9});
        m_blockDiskId = job->diskId;
        m_selectedDiskRow = FindRowById(m_diskStatusModel, job->diskId);
        ui->m_lbl_block_status->setText(QObject::tr("K3711_DiskNo") + QStringLiteral(" : ") +
                                        QString::number(job->diskId));
        SyncHeaderCheck(ui->m_table_block_status);
    } else {
        VantelDBG_Printf_f(0x7fff, 1, "PageRecordServerConfig::OnGetBlockInfoReturn",
                           "blocks of disk %lld: %d", static_cast<long long>(job->diskId), job->rc);
        INFRA::MessageBox::Warning(
            this, QObject::tr("K3724_BlockStatus"),
            FailureText(QObject::tr("K7913_BlockReadFail").arg(job->diskId), job->rc, job->why));
    }
    delete job;
}

void PageRecordServerConfig::ClearBlocks() {
    m_blockModel->Clear(true);
    if (m_blockList) m_blockList->RemoveAll();
    ui->m_lbl_block_status->setText(QObject::tr("K3724_BlockStatus"));
    m_selectedDiskRow = -1;
    m_blockDiskId = -1;
    SyncHeaderCheck(ui->m_table_block_status);
}

// ---- formats -----------------------------------------------------------------------------------

bool PageRecordServerConfig::ConfirmFormat() {
    return StorageTables::ConfirmFormat(this);
}

void PageRecordServerConfig::OnDiskFormat() {
    if (!m_diskModel || m_formatJob) return;
    // The ticked disks by engine number, taken before the question.
    const QVector<qint64> ids = StorageTables::CheckedDiskIds(m_diskModel);
    if (ids.isEmpty()) {
        INFRA::MessageBox::Information(this, QObject::tr("K4777_DiskFormat"), QObject::tr("K6948_SelectDisk"),
                                       INFRA::MessageBox::Ok);
        return;
    }
    if (!ConfirmFormat()) return;
    StartFormat(ids, true);
}

void PageRecordServerConfig::StartFormat(const QVector<qint64>& diskIds, bool checked) {
    if (m_formatJob || diskIds.isEmpty()) return;
    const QByteArray url = RequestUrl();
    if (url.isEmpty()) return;
    m_formatJob = new KestoFormatJob;
    m_formatJob->url = url;
    m_formatJob->diskIds = diskIds;
    INFRA::BusyLoading* busy = INFRA::BusyLoading::animate(
        this, this,
        checked ? &PageRecordServerConfig::FormatCheckedDisks : &PageRecordServerConfig::FormatDiskRow,
        static_cast<void*>(m_formatJob));
    connect(busy, &INFRA::BusyLoading::returned, this, &PageRecordServerConfig::OnFormatReturn);
}

int PageRecordServerConfig::FormatCheckedDisks(void* arg) {
    return RunFormatJob(static_cast<KestoFormatJob*>(arg), -1, kTimeoutMs);
}

int PageRecordServerConfig::FormatDiskRow(void* arg) {
    return RunFormatJob(static_cast<KestoFormatJob*>(arg), 1, kTimeoutMs);
}

void PageRecordServerConfig::OnFormatReturn(int) {
    KestoFormatJob* job = m_formatJob;
    m_formatJob = nullptr;
    if (!job) return;
    QStringList failed;
    bool blocksFormatted = false;
    for (int i = 0; i < job->diskIds.size(); ++i) {
        const qint64 id = job->diskIds.at(i);
        const int rc = i < job->results.size() ? job->results.at(i) : LUMOSR_ERR_FAIL;
        const EngineAccess::Failure why =
            i < job->failures.size() ? job->failures.at(i) : EngineAccess::Failure();
        if (rc != 0) {
            VantelDBG_Printf_f(0x7fff, 1, "PageRecordServerConfig::OnFormatReturn",
                               "format of disk %lld failed: %d (reason %d: %s)", static_cast<long long>(id),
                               rc, why.reason, why.detail.toUtf8().constData());
            failed << (EngineAccess::ReasonText(why).isEmpty()
                           ? FailureText(QObject::tr("K4784_DiskFormatFail").arg(id), rc, why)
                           : EngineAccess::FormatFailureText(id, why));
        } else if (id == m_blockDiskId) {
            blocksFormatted = true;
        }
    }
    delete job;
    // Done with: a second press must not format the same disks again.
    m_diskModel->SetAllItemCheckState(false);
    SyncHeaderCheck(ui->m_table_vmr_disk);
    RefreshDiskList();
    RefreshChannelList();  // the cameras known from records go with them
    if (blocksFormatted) {
        m_blockModel->Clear(true);
        if (m_blockList) m_blockList->RemoveAll();
        SyncHeaderCheck(ui->m_table_block_status);
    }
    if (!failed.isEmpty())
        INFRA::MessageBox::Warning(this, QObject::tr("K4777_DiskFormat"), failed.join(QLatin1Char('\n')));
}

// ---- row buttons and check boxes ---------------------------------------------------------------

void PageRecordServerConfig::OnActionTriggered(QAbstractItemView* view, const QModelIndex& index,
                                               int action) {
    // The models sort themselves, so the view row is the model row the operator sees.
    const int row = index.row();
    if (view == ui->m_table_vmr_disk) {
        if (action == 0) {
            auto* disk = dynamic_cast<IKestoDiskInfo*>(m_diskModel->GetRowData(row));
            if (!disk) return;
            // The question is modal and a refresh may replace the rows: the disk is named by its
            // engine number, taken before asking.
            const qint64 id = disk->GetID();
            if (!ConfirmFormat()) return;
            StartFormat({id}, false);
        } else if (action == 1) {
            ShowDiskStatusOfRow(ui->m_table_vmr_disk, row);
        }
    } else if (view == ui->m_table_channel) {
        if (action == 0) ShowChannelStreams(row);
    } else if (view == ui->m_table_disk_status) {
        auto* disk = dynamic_cast<IKestoDiskInfo*>(m_diskStatusModel->GetRowData(row));
        if (!disk) return;
        if (action == 0)
            StartBlockLoad(disk->GetID());
        else if (action == 1)
            ShowDiskStatusOfRow(ui->m_table_disk_status, row);
    } else if (view == ui->m_table_record_files) {
        if (action == 0)
            OnPlayback(row);
        else if (action == 1)
            OnDownload(row);
    }
}

void PageRecordServerConfig::OnItemCheckStateChange(QAbstractItemView* view, const QModelIndex&) {
    SyncHeaderCheck(qobject_cast<QTableView*>(view));
}

void PageRecordServerConfig::SyncHeaderCheck(QTableView* view) {
    StorageTables::SyncHeaderCheck(GetHeader(view),
                                   view ? qobject_cast<VantelDataModel*>(view->model()) : nullptr);
}

void PageRecordServerConfig::OnDiskHeaderCheckChange(bool checked) {
    if (m_diskModel) m_diskModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui->m_table_vmr_disk);
}

void PageRecordServerConfig::OnChnHeaderCheckChange(bool checked) {
    if (m_chnModel) m_chnModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui->m_table_channel);
}

void PageRecordServerConfig::OnStreamHeaderCheckChange(bool checked) {
    if (m_streamModel) m_streamModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui->m_table_stream);
}

void PageRecordServerConfig::OnDiskStatusHeaderCheckChange(bool checked) {
    if (m_diskStatusModel) m_diskStatusModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui->m_table_disk_status);
}

void PageRecordServerConfig::OnBlockHeaderCheckChange(bool checked) {
    if (m_blockModel) m_blockModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui->m_table_block_status);
}

void PageRecordServerConfig::OnFileHeaderCheckChange(bool checked) {
    if (m_fileModel) m_fileModel->SetAllItemCheckState(checked);
    SyncHeaderCheck(ui->m_table_record_files);
}
