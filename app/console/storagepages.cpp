#include "storagepages.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QStringList>
#include <QTableView>
#include <iterator>
#include <memory>

#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/tableheaderview.h"
#include "VantelInfraAPI/vantelutility.h"
#include "backgroundreader.h"
#include "delegates/vmrdelegates.h"
#include "diskstatus/pagerecordserverdiskstatus.h"
#include "lumoc/playback/lumocplayer.h"
#include "lumoc/playback/playerwidget.h"
#include "models/vmrmodels.h"
#include "storagejobs.h"
#include "storagetables.h"

namespace {

const int kTimeoutMs = 5000;

using StorageTables::CheckedIds;
using StorageTables::FindRowById;
using StorageTables::RepoFor;
using StorageTables::RestoreChecks;

QString colon(const char* key) {
    return QObject::tr(key) + QStringLiteral(" : ");
}

// The pages of the navigation list, in its order; a host's list may hold fewer.
const struct {
    const char* icon;
    const char* key;
} kPages[] = {{"diskcfg.png", "K3719_DiskInit"},
              {"chnmng.png", "K3720_ChnManage"},
              {"diskstatus.png", "K3713_DiskStatus"},
              {"filesearch.png", "K3721_RecordSearch"},
              {"basiccfg.png", "K3769_PgConfig"}};

// The earliest time the search form takes: the engine's times start in 2000.
QDateTime earliestSearch() {
    return QDateTime(QDate(2000, 1, 1), QTime(0, 0));
}

}  // namespace

StoragePages::StoragePages(const Widgets& widgets, const Host& host, QObject* parent)
    : QObject(parent), m_ui(widgets), m_host(host) {
    m_reader = new BackgroundReader(this);
}

StoragePages::~StoragePages() {
    // Running workers write into their jobs: a busy indicator waits for its worker when it goes.
    for (const QPointer<INFRA::BusyLoading>& busy : qAsConst(m_busy)) delete busy.data();
    // The read that runs ends within the engine's timeout; no answer is shown now.
    delete m_reader;
    m_reader = nullptr;
    // The row delegates watch their tables' viewports: they go before the tables, so that no
    // event of a table being destroyed reaches them.
    for (VantelTableDelegate* d : {m_diskDelegate, m_diskStatusDelegate, m_chnDelegate, m_streamDelegate,
                                   m_blockDelegate, m_fileDelegate})
        delete d;
    delete m_blockJob;
    delete m_formatJob;
    delete m_searchJob;
}

// ---- set-up ------------------------------------------------------------------------------------

void StoragePages::Init() {
    if (m_diskModel) return;  // once
    SetupNavigation();
    StorageTables::SetupSearchDates(m_ui.start, m_ui.end, earliestSearch());
    SetupTables();
    Connect();
    Retranslate();
    RefreshDiskList();
    RefreshChannelList();
}

void StoragePages::SetupNavigation() {
    QListWidget* list = m_ui.navigation;
    for (int i = 0; i < int(std::size(kPages)) && i < list->count(); ++i)
        list->item(i)->setIcon(
            VantelUtility::getIcon(QStringLiteral("remotecfg"), QLatin1String(kPages[i].icon), 30, 30));
    list->setCurrentRow(0);  // the pages open on the disks
}

void StoragePages::SetupTables() {
    m_diskModel = new VMRDiskModel(nullptr, this);
    m_diskDelegate = new VMRDiskDelegate(m_ui.disks, this);
    StorageTables::SetupTable(m_ui.disks, &m_diskHeader, m_diskModel, m_diskDelegate, {0, 4}, 5,
                              {{0, 40}, {1, 120}, {2, 120}, {3, 200}});

    m_chnModel = new VMRChnModel(nullptr, this);
    m_chnDelegate = new VMRChnDelegate(m_ui.channels, this);
    StorageTables::SetupTable(m_ui.channels, &m_chnHeader, m_chnModel, m_chnDelegate, {4}, 8,
                              {{0, 50}, {2, 150}, {3, 150}, {6, 150}});

    m_streamModel = new VMRStreamModel(nullptr, this);
    m_streamDelegate = new VMRStreamDelegate(m_ui.streams, this);
    StorageTables::SetupTable(
        m_ui.streams, &m_streamHeader, m_streamModel, m_streamDelegate, {9}, 10,
        {{0, 40}, {1, 50}, {2, 100}, {3, 100}, {4, 120}, {5, 100}, {6, 120}, {7, 100}, {8, 100}, {9, 100}});

    m_diskStatusModel = new VMRDiskStatusModel(nullptr, this);
    m_diskStatusDelegate = new VMRDiskStatusDelegate(m_ui.diskStatus, this);
    StorageTables::SetupTable(m_ui.diskStatus, &m_diskStatusHeader, m_diskStatusModel, m_diskStatusDelegate,
                              {5}, 8, {{0, 40}, {1, 80}, {2, 100}, {3, 150}, {6, 120}, {7, 150}});

    m_blockModel = new VMRBlockModel(nullptr, this);
    m_blockDelegate = new VMRBlockDelegate(m_ui.blocks, this);
    StorageTables::SetupTable(m_ui.blocks, &m_blockHeader, m_blockModel, m_blockDelegate, {7}, 14,
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
    m_ui.blocks->hideColumn(7);  // its button has nothing to do

    m_fileModel = new VMRRecordFileModel(nullptr, this);
    m_fileDelegate = new VMRRecordFileDelegate(m_ui.files, this);
    StorageTables::SetupTable(
        m_ui.files, &m_fileHeader, m_fileModel, m_fileDelegate, {8}, 12,
        {{0, 40}, {1, 50}, {2, 160}, {3, 160}, {4, 130}, {5, 100}, {6, 100}, {7, 120}, {8, 100}, {10, 300}});
    // The row buttons come right after the number: the columns are wider together than the
    // window, and the actions must not need a scroll to the right.
    StorageTables::ShowColumnAt(m_ui.files, 8, 2);
}

void StoragePages::SetActionRepos() {
    StorageTables::RetranslateActions();
    m_diskDelegate->SetActionButtonRepo(RepoFor(StorageTables::DiskActions(), 4));
    m_chnDelegate->SetActionButtonRepo(RepoFor(StorageTables::ChnActions(), 4));
    m_diskStatusDelegate->SetActionButtonRepo(RepoFor(StorageTables::DiskStatusActions(), 5));
    m_blockDelegate->SetActionButtonRepo(RepoFor(StorageTables::BlockActions(), 7));
    m_fileDelegate->SetActionButtonRepo(
        RepoFor(m_host.downloads ? StorageTables::FileDownloadActions() : StorageTables::FileActions(), 8));
}

void StoragePages::Connect() {
    connect(m_ui.format, &QPushButton::clicked, this, &StoragePages::OnDiskFormat);
    connect(m_ui.diskRefresh, &QPushButton::clicked, this, &StoragePages::RefreshDiskList);
    connect(m_ui.diskStatusRefresh, &QPushButton::clicked, this, &StoragePages::RefreshDiskList);
    connect(m_ui.chnRefresh, &QPushButton::clicked, this, &StoragePages::RefreshChannelList);
    connect(m_ui.blockRefresh, &QPushButton::clicked, this, &StoragePages::OnBlockRefresh);
    connect(m_ui.search, &QPushButton::clicked, this, &StoragePages::OnRecordFileSearch);

    for (VantelTableDelegate* d :
         {m_diskDelegate, m_diskStatusDelegate, m_chnDelegate, m_blockDelegate, m_fileDelegate})
        connect(d, &VantelDelegate::SignalActionTriggered, this, &StoragePages::OnActionTriggered);
    for (VantelTableDelegate* d : {m_diskDelegate, m_chnDelegate, m_streamDelegate, m_diskStatusDelegate,
                                   m_blockDelegate, m_fileDelegate})
        connect(d, &VantelDelegate::SignalItemCheckStateChange, this, &StoragePages::OnItemCheckStateChange);
    // The header check box ticks or unticks every row of its table.
    for (QTableView* v : {m_ui.disks, m_ui.channels, m_ui.streams, m_ui.diskStatus, m_ui.blocks, m_ui.files})
        connect(HeaderOf(v), &INFRA::TableHeaderView::checkStausChange, this,
                [this, v](bool checked) { SetAllChecked(v, checked); });
}

void StoragePages::Retranslate() {
    RetranslateTexts();
    if (!m_diskModel) return;
    m_diskModel->SetHeaderLabels(VMRDiskModel::HeaderLabels());
    m_chnModel->SetHeaderLabels(VMRChnModel::HeaderLabels());
    m_streamModel->SetHeaderLabels(VMRStreamModel::HeaderLabels());
    m_diskStatusModel->SetHeaderLabels(VMRDiskStatusModel::HeaderLabels());
    m_blockModel->SetHeaderLabels(VMRBlockModel::HeaderLabels());
    m_fileModel->SetHeaderLabels(VMRRecordFileModel::HeaderLabels());
    SetActionRepos();
    // Labels may have grown; cells painted from keys (states, stream and record types) follow.
    for (QTableView* v :
         {m_ui.disks, m_ui.channels, m_ui.streams, m_ui.diskStatus, m_ui.blocks, m_ui.files}) {
        StorageTables::FitColumns(v);
        v->viewport()->update();
    }
    StorageTables::ApplyDateLocale(m_ui.start, m_ui.end);
}

void StoragePages::RetranslateTexts() {
    m_ui.format->setText(QObject::tr("K3718_Format"));
    for (QPushButton* b : {m_ui.diskRefresh, m_ui.chnRefresh, m_ui.diskStatusRefresh, m_ui.blockRefresh})
        b->setText(QObject::tr("K0414_Refresh"));
    m_ui.chnCaption->setText(QObject::tr("K3722_RecordChnList"));
    m_ui.diskStatusCaption->setText(QObject::tr("K3713_DiskStatus"));
    ShowBlockCaption();
    m_ui.startLabel->setText(colon("K3703_StartTime"));
    m_ui.endLabel->setText(colon("K3704_EndTime"));
    m_ui.streamTypeLabel->setText(colon("K0637_StreamType"));
    m_ui.search->setText(QObject::tr("K0020_Search"));
    m_ui.cuidTip->setText(QObject::tr("K3739_CUIDTip"));
    QListWidget* list = m_ui.navigation;
    for (int i = 0; i < int(std::size(kPages)) && i < list->count(); ++i) {
        list->item(i)->setText(QObject::tr(kPages[i].key));
        list->item(i)->setToolTip(QObject::tr(kPages[i].key));
    }
    StorageTables::FillStreamCombo(m_ui.stream);
}

void StoragePages::ShowBlockCaption() {
    // The caption names the disk whose blocks are shown.
    if (m_blockDiskId >= 0)
        m_ui.blockCaption->setText(QObject::tr("K3711_DiskNo") + QStringLiteral(" : ") +
                                   QString::number(m_blockDiskId));
    else
        m_ui.blockCaption->setText(QObject::tr("K3724_BlockStatus"));
}

VantelTableDelegate* StoragePages::DelegateOf(QTableView* view) const {
    if (view == m_ui.disks) return m_diskDelegate;
    if (view == m_ui.channels) return m_chnDelegate;
    if (view == m_ui.streams) return m_streamDelegate;
    if (view == m_ui.diskStatus) return m_diskStatusDelegate;
    if (view == m_ui.blocks) return m_blockDelegate;
    if (view == m_ui.files) return m_fileDelegate;
    return nullptr;
}

INFRA::TableHeaderView* StoragePages::HeaderOf(QTableView* view) const {
    if (view == m_ui.disks) return m_diskHeader;
    if (view == m_ui.channels) return m_chnHeader;
    if (view == m_ui.streams) return m_streamHeader;
    if (view == m_ui.diskStatus) return m_diskStatusHeader;
    if (view == m_ui.blocks) return m_blockHeader;
    if (view == m_ui.files) return m_fileHeader;
    return nullptr;
}

void StoragePages::PlaceDialog(QWidget* dialog) const {
    if (m_host.placeDialog) m_host.placeDialog(dialog);
}

void StoragePages::Animate(int (StoragePages::*worker)(void*), void* job, void (StoragePages::*done)(int)) {
    m_busy.removeAll(nullptr);
    INFRA::BusyLoading* busy = INFRA::BusyLoading::animate(m_ui.host, this, worker, job);
    m_busy << busy;
    connect(busy, &INFRA::BusyLoading::returned, this, done);
}

// ---- background reads --------------------------------------------------------------------------

void StoragePages::NoticeReadFailure(bool* told, const char* key, int rc, const EngineAccess::Failure& why) {
    VantelDBG_Printf_f(0x7fff, 2, "StoragePages", "%s: %d (reason %d: %s)", key, rc, why.reason,
                       why.detail.toUtf8().constData());
    if (*told) return;  // said once; said again only after a read has worked
    *told = true;
    if (m_host.tellReadFailure) m_host.tellReadFailure(EngineAccess::FailureText(QObject::tr(key), why));
}

template <class Job>
void StoragePages::Read(QueryState* state, void (*work)(Job*, int), void (StoragePages::*show)(Job&)) {
    if (!m_diskModel || !m_host.active()) return;
    if (state->running) {
        state->again = true;  // the answer on its way may be older than what was asked for
        return;
    }
    auto job = std::make_shared<Job>();
    if (!m_host.target(&job->url)) return;
    state->running = true;
    // The reader's queue hands the job over both ways, never to two threads at once.
    m_reader->Post([job, work]() { work(job.get(), kTimeoutMs); },
                   [this, job, state, work, show]() {
                       state->running = false;
                       if (!m_host.active()) return;
                       (this->*show)(*job);
                       if (state->again) {
                           state->again = false;
                           Read(state, work, show);
                       }
                   });
}

void StoragePages::RefreshDiskList() {
    Read(&m_diskQuery, &RunDiskQuery, &StoragePages::ShowDisks);
}

void StoragePages::RefreshChannelList() {
    Read(&m_chnQuery, &RunChannelQuery, &StoragePages::ShowChannels);
}

void StoragePages::ShowDisks(StorageDiskQuery& job) {
    if (!job.disks) {
        NoticeReadFailure(&m_diskQuery.told, "K7921_DiskQueryFail", job.rc,
                          job.why);  // the tables keep their rows
        return;
    }
    m_diskQuery.told = false;
    const QSet<qint64> ticked = CheckedIds(m_diskModel);
    const QSet<qint64> tickedStatus = CheckedIds(m_diskStatusModel);
    m_diskModel->Clear(true);
    m_diskStatusModel->Clear(true);
    m_diskModel->SetupModelData(job.disks);
    m_diskStatusModel->SetupModelData(job.disks);
    RestoreChecks(m_diskModel, ticked);
    RestoreChecks(m_diskStatusModel, tickedStatus);
    SyncHeaderCheck(m_ui.disks);
    SyncHeaderCheck(m_ui.diskStatus);
    // The blocks shown belong to a disk: they go when the disk has gone.
    if (m_blockDiskId >= 0 && FindRowById(m_diskStatusModel, m_blockDiskId) < 0) ClearBlocks();
}

void StoragePages::ShowChannels(StorageChannelQuery& job) {
    if (!job.channels) {
        NoticeReadFailure(&m_chnQuery.told, "K7922_ChnQueryFail", job.chnRc, job.chnWhy);
    } else {
        m_chnQuery.told = false;
        const QSet<qint64> ticked = CheckedIds(m_chnModel);
        m_chnModel->Clear(true);
        m_chnModel->SetupModelData(job.channels);
        RestoreChecks(m_chnModel, ticked);
        SyncHeaderCheck(m_ui.channels);
        // The streams shown belong to a channel: follow it to its new row, or let them go with it.
        if (m_streamChnId >= 0) {
            const int row = FindRowById(m_chnModel, m_streamChnId);
            if (row >= 0)
                ShowChannelStreams(row);
            else
                ClearStreams();
        }
    }
    if (!job.cuids) {
        // The operator's choice stays: an empty box would widen the search to every camera.
        NoticeReadFailure(&m_cuidTold, "K7923_CuidQueryFail", job.cuidRc, job.cuidWhy);
    } else {
        m_cuidTold = false;
        StorageTables::ApplyCuidList(m_ui.cuid, job.cuids, &m_cuidFilled);
    }
}

// ---- streams -----------------------------------------------------------------------------------

void StoragePages::ShowChannelStreams(int row) {
    auto* chn = m_chnModel ? dynamic_cast<IKestoChanInfo*>(m_chnModel->GetRowData(row)) : nullptr;
    if (!chn) return;
    // Every stream of the channel: none for a channel that has none (not another channel's).
    IVantelList* list = IVantelList::CreateObject();
    const int count = chn->GetStreamNum();
    for (int i = 0; i < count; ++i)
        if (IKestoStreamInfo* stream = chn->GetStreamInfo(i)) list->Add(stream, true, false);
    m_ui.streamCaption->setText(QStringLiteral("CUID : %1").arg(QString::fromUtf8(chn->GetCUID())));
    m_streamChnId = chn->GetID();
    m_streamModel->Clear(true);
    m_streamModel->SetupModelData(list);
    list->Release();
    SyncHeaderCheck(m_ui.streams);
}

void StoragePages::ClearStreams() {
    if (m_streamModel) m_streamModel->Clear(true);
    m_ui.streamCaption->clear();
    m_streamChnId = -1;
    SyncHeaderCheck(m_ui.streams);
}

// ---- disk states -------------------------------------------------------------------------------

void StoragePages::ShowDiskStatusOfRow(QTableView* view, int row) {
    // Each table is sorted by itself: the row is looked up in the model the operator clicked.
    auto* model = view ? qobject_cast<VantelDataModel*>(view->model()) : nullptr;
    auto* disk = model ? dynamic_cast<IKestoDiskInfo*>(model->GetRowData(row)) : nullptr;
    if (!disk) return;
    PageRecordServerDiskStatus dlg(m_ui.host);
    dlg.SetDiskState(disk->GetInfo()->GetState());
    dlg.UpdateStateLabels();
    PlaceDialog(&dlg);
    dlg.exec(INFRA::ShowApplicationModal);
}

// ---- storage blocks ----------------------------------------------------------------------------

void StoragePages::LoadBlocksOfRow(int row) {
    auto* disk =
        m_diskStatusModel ? dynamic_cast<IKestoDiskInfo*>(m_diskStatusModel->GetRowData(row)) : nullptr;
    if (disk) StartBlockLoad(disk->GetID());
}

void StoragePages::OnBlockRefresh() {
    if (m_blockDiskId < 0) return;
    if (FindRowById(m_diskStatusModel, m_blockDiskId) < 0) {
        ClearBlocks();
        return;
    }
    StartBlockLoad(m_blockDiskId);
}

void StoragePages::StartBlockLoad(qint64 diskId) {
    if (!m_blockModel || m_blockJob) return;  // one block read at a time
    QByteArray url;
    if (!m_host.target(&url)) return;
    m_blockJob = new StorageBlockJob;
    m_blockJob->url = url;
    m_blockJob->diskId = diskId;
    Animate(&StoragePages::LoadBlockInfo, m_blockJob, &StoragePages::OnGetBlockInfoReturn);
}

int StoragePages::LoadBlockInfo(void* arg) {
    return RunBlockJob(static_cast<StorageBlockJob*>(arg), kTimeoutMs);
}

void StoragePages::OnGetBlockInfoReturn(int result) {
    std::unique_ptr<StorageBlockJob> job(m_blockJob);
    m_blockJob = nullptr;
    if (!job) return;
    if (result == 0 && job->blocks) {
        // The model takes its own references on the rows; the job's list goes with the job.
        m_blockModel->Clear(true);
        m_blockModel->SetDiskId(job->diskId);
        m_blockModel->SetupModelData(job->blocks);
        StorageTables::FitColumns(m_ui.blocks, {4, 8, 9});
        m_blockDiskId = job->diskId;
        ShowBlockCaption();
        SyncHeaderCheck(m_ui.blocks);
        return;
    }
    VantelDBG_Printf_f(0x7fff, 1, "StoragePages::OnGetBlockInfoReturn", "blocks of disk %lld: %d (reason %d)",
                       static_cast<long long>(job->diskId), job->rc, job->why.reason);
    INFRA::MessageBox::Warning(
        m_ui.host, QObject::tr("K3724_BlockStatus"),
        EngineAccess::FailureText(QObject::tr("K7913_BlockReadFail").arg(job->diskId), job->why));
}

void StoragePages::ClearBlocks() {
    if (m_blockModel) m_blockModel->Clear(true);
    m_blockDiskId = -1;
    ShowBlockCaption();
    SyncHeaderCheck(m_ui.blocks);
}

// ---- formats -----------------------------------------------------------------------------------

bool StoragePages::ConfirmFormat() {
    return StorageTables::ConfirmFormat(m_ui.host);
}

void StoragePages::OnDiskFormat() {
    if (!m_diskModel || m_formatJob) return;
    // The ticked disks as they are now, by engine number; a refresh during the question changes
    // nothing of what is formatted.
    const QVector<qint64> ids = StorageTables::CheckedDiskIds(m_diskModel);
    if (ids.isEmpty()) {
        INFRA::MessageBox::Information(m_ui.host, QObject::tr("K4777_DiskFormat"),
                                       QObject::tr("K6948_SelectDisk"), INFRA::MessageBox::Ok);
        return;
    }
    if (!ConfirmFormat()) return;
    StartFormat(ids, true);
}

void StoragePages::StartFormat(const QVector<qint64>& diskIds, bool checked) {
    if (m_formatJob || diskIds.isEmpty()) return;
    QByteArray url;
    if (!m_host.target(&url)) return;
    m_formatJob = new StorageFormatJob;
    m_formatJob->url = url;
    m_formatJob->diskIds = diskIds;
    Animate(checked ? &StoragePages::FormatCheckedDisks : &StoragePages::FormatDiskRow, m_formatJob,
            &StoragePages::OnFormatReturn);
}

int StoragePages::FormatCheckedDisks(void* arg) {
    return RunFormatJob(static_cast<StorageFormatJob*>(arg), -1, kTimeoutMs);
}

int StoragePages::FormatDiskRow(void* arg) {
    return RunFormatJob(static_cast<StorageFormatJob*>(arg), 1, kTimeoutMs);
}

void StoragePages::OnFormatReturn(int) {
    std::unique_ptr<StorageFormatJob> job(m_formatJob);
    m_formatJob = nullptr;
    if (!job) return;
    // One sentence per disk whose reason is known; the others together in one.
    QStringList reasons;
    QStringList plain;
    bool blocksFormatted = false;
    for (int i = 0; i < job->diskIds.size(); ++i) {
        const qint64 id = job->diskIds.at(i);
        const int rc = i < job->results.size() ? job->results.at(i) : LUMOSR_ERR_FAIL;
        const EngineAccess::Failure why =
            i < job->failures.size() ? job->failures.at(i) : EngineAccess::Failure();
        if (rc != 0) {
            VantelDBG_Printf_f(0x7fff, 1, "StoragePages::OnFormatReturn",
                               "format of disk %lld failed: %d (reason %d: %s)", static_cast<long long>(id),
                               rc, why.reason, why.detail.toUtf8().constData());
            if (EngineAccess::ReasonText(why).isEmpty())
                plain << QString::number(id);
            else
                reasons << EngineAccess::FormatFailureText(id, why);
        } else if (id == m_blockDiskId) {
            blocksFormatted = true;
        }
    }

    // Done with: a second press of the button must not format the same disks again.
    m_diskModel->SetAllItemCheckState(false);
    SyncHeaderCheck(m_ui.disks);
    RefreshDiskList();
    RefreshChannelList();  // the cameras known from records go with them
    // The blocks shown are gone with the format.
    if (blocksFormatted) {
        m_blockModel->Clear(true);
        SyncHeaderCheck(m_ui.blocks);
    }
    if (!plain.isEmpty())
        reasons << QObject::tr("K4784_DiskFormatFail").arg(plain.join(QStringLiteral(", ")));
    if (!reasons.isEmpty())
        INFRA::MessageBox::Warning(m_ui.host, QObject::tr("K4777_DiskFormat"),
                                   reasons.join(QLatin1Char('\n')));
}

// ---- record search and playback ----------------------------------------------------------------

void StoragePages::OnRecordFileSearch() {
    if (!m_fileModel || m_searchJob) return;
    const QDateTime start = m_ui.start->dateTime();
    const QDateTime end = m_ui.end->dateTime();
    // Compared as the form shows them: in whole seconds.
    if (start.toSecsSinceEpoch() > end.toSecsSinceEpoch()) {
        INFRA::MessageBox::Warning(m_ui.host, QObject::tr("K3721_RecordSearch"),
                                   QObject::tr("K7910_SearchTimeOrder"));
        return;
    }
    QByteArray url;
    if (!m_host.target(&url)) return;
    // The form is read here, on the GUI thread; the worker gets a copy.
    auto* job = new StorageSearchJob;
    job->url = url;
    job->start = StorageTables::LumoTimeOf(start);
    job->end = StorageTables::LumoTimeOf(end);
    job->stream = m_ui.stream->currentData(Qt::UserRole).toInt();
    job->cuid = m_ui.cuid->currentText().toUtf8();
    m_searchJob = job;
    m_fileModel->Clear(true);  // empty while the search runs
    SyncHeaderCheck(m_ui.files);
    Animate(&StoragePages::SearchRecordFiles, job, &StoragePages::OnSearchReturn);
}

int StoragePages::SearchRecordFiles(void* arg) {
    auto* job = static_cast<StorageSearchJob*>(arg);
    if (!job || !m_host.search) return -1;
    m_host.search(job);
    return job->rc == 0 && job->files && job->files->GetCount() > 0 ? 0 : -1;
}

void StoragePages::OnSearchReturn(int result) {
    std::unique_ptr<StorageSearchJob> job(m_searchJob);
    m_searchJob = nullptr;
    if (!job) return;
    // No match leaves the table empty, without a message: an empty table is the answer.
    if (result == 0 && job->files) {
        m_fileModel->Clear(true);
        m_fileModel->SetupModelData(job->files);
        StorageTables::FitColumns(m_ui.files, {2, 3, 4, 7});
        SyncHeaderCheck(m_ui.files);
    }
    const QString title = QObject::tr("K3721_RecordSearch");
    if (job->rc != 0) {
        // A search that could not be run is not "no records": the operator learns what failed.
        VantelDBG_Printf_f(0x7fff, 1, "StoragePages::OnSearchReturn", "search failed: %d (reason %d)",
                           job->rc, job->why.reason);
        INFRA::MessageBox::Warning(m_ui.host, title,
                                   EngineAccess::FailureText(QObject::tr("K7911_SearchFail"), job->why));
    } else if (job->nextRc != 0) {
        INFRA::MessageBox::Warning(m_ui.host, title, QObject::tr("K7912_SearchIncomplete"));
    }
}

void StoragePages::OnPlayback(int row) {
    auto* file = m_fileModel ? dynamic_cast<IKestoFileInfoAV*>(m_fileModel->GetRowData(row)) : nullptr;
    if (!file) return;
    file->AddRef();  // the row stays ours while the player is open
    {
        LumoCPlayer dlg(m_ui.host);
        if (PlayerWidget* widget = dlg.GetPlayerWidget()) widget->SetPlayMode(1);
        dlg.SetFileInfo(file);
        dlg.Play();  // a record that cannot be played says so in the player's picture
        PlaceDialog(&dlg);
        dlg.exec(INFRA::ShowApplicationModal);
    }
    file->Release();
}

// ---- row buttons and check boxes ---------------------------------------------------------------

void StoragePages::OnActionTriggered(QAbstractItemView* view, const QModelIndex& index, int action) {
    // The models sort themselves, so the view row is the model row: the row the operator sees.
    const int row = index.row();
    if (view == m_ui.disks) {
        if (action == 0) {
            auto* disk = dynamic_cast<IKestoDiskInfo*>(m_diskModel->GetRowData(row));
            if (!disk) return;
            // The question is modal and a refresh may replace the rows meanwhile: the disk is
            // named by its engine number, taken before asking.
            const qint64 id = disk->GetID();
            if (!ConfirmFormat()) return;
            StartFormat({id}, false);
        } else if (action == 1) {
            ShowDiskStatusOfRow(m_ui.disks, row);
        }
    } else if (view == m_ui.channels) {
        if (action == 0) ShowChannelStreams(row);
    } else if (view == m_ui.diskStatus) {
        if (action == 0)
            LoadBlocksOfRow(row);
        else if (action == 1)
            ShowDiskStatusOfRow(m_ui.diskStatus, row);
    } else if (view == m_ui.files) {
        if (action == 0)
            OnPlayback(row);
        else if (action == 1 && m_host.downloads)
            emit DownloadRequested(row);
    }
}

void StoragePages::OnItemCheckStateChange(QAbstractItemView* view, const QModelIndex&) {
    SyncHeaderCheck(qobject_cast<QTableView*>(view));
}

void StoragePages::SyncHeaderCheck(QTableView* view) {
    StorageTables::SyncHeaderCheck(HeaderOf(view),
                                   view ? qobject_cast<VantelDataModel*>(view->model()) : nullptr);
}

void StoragePages::SetAllChecked(QTableView* view, bool checked) {
    if (auto* model = view ? qobject_cast<VantelDataModel*>(view->model()) : nullptr)
        model->SetAllItemCheckState(checked);
    SyncHeaderCheck(view);
}
