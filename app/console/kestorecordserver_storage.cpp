// The window's storage requests: disks, channels and their streams, camera identities, the
// storage blocks of a disk, disk formatting and the disk-state dialog. Disk, channel and CUID
// reads run on background workers (the GUI thread never waits for the engine); block reads and
// formats run under the busy indicator.
//
// Disks and channels are named by their engine numbers (GetID), never by table rows: the tables
// sort, and the 15-second refreshes replace their rows.
#include <QComboBox>
#include <QStringList>
#include <QTableView>
#include <algorithm>
#include <memory>

#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/tableheaderview.h"
#include "VantelInfraAPI/testseams.h"
#include "backgroundreader.h"
#include "delegates/vmrdelegates.h"
#include "engineaccess.h"
#include "diskstatus/pagerecordserverdiskstatus.h"
#include "kestorecordserver.h"
#include "models/vmrmodels.h"
#include "storagejobs.h"
#include "storagetables.h"

namespace {

const int kEngineTimeoutMs = 5000;

using StorageTables::CheckedIds;
using StorageTables::RestoreChecks;

// Runs work(job) on the background reader and then (window->*done)(job) on the GUI thread. The
// reader's queue hands the job over both ways: never touched by two threads at once.
template <class Job>
void runQuery(KestoRecordServer* window, BackgroundReader* reader, std::function<void(Job&)> work,
              void (KestoRecordServer::*done)(Job&)) {
    auto job = std::make_shared<Job>();
    reader->Post([job, work]() { work(*job); }, [window, job, done]() { (window->*done)(*job); });
}

}  // namespace

// ---- disks -----------------------------------------------------------------------------------

void KestoRecordServer::RefreshDiskList() {
    // A stopped engine has no disks to tell of; the tables stay empty until it runs.
    if (!m_diskModel || !m_diskStatusModel || IsExiting() || !m_engineStarted) return;
    if (m_diskQuery.running) {
        m_diskQuery.again = true;  // the answer on its way may be older than what was asked for
        return;
    }
    StartDiskQuery();
}

void KestoRecordServer::StartDiskQuery() {
    m_diskQuery.running = true;
    runQuery<KestoDiskQuery>(
        this, m_reader,
        [](KestoDiskQuery& job) {
            const auto query = EngineAccess::Current().diskInfo;
            job.rc = query ? query(nullptr, 0, &job.disks, kEngineTimeoutMs) : LUMOSR_ERR_FAIL;
        },
        &KestoRecordServer::OnDiskQueryReturn);
}

void KestoRecordServer::OnDiskQueryReturn(KestoDiskQuery& job) {
    m_diskQuery.running = false;
    if (IsExiting()) return;
    if (!job.disks) {
        VantelDBG_Printf_f(0x7fff, 2, "KestoRecordServer::OnDiskQueryReturn", "disk query failed: %d",
                           job.rc);
        NoticeQueryFailure(&m_diskQuery.failed, "K7921_DiskQueryFail");  // the tables keep what they show
    } else {
        m_diskQuery.failed = false;
        const QSet<qint64> ticked = CheckedIds(m_diskModel);
        const QSet<qint64> tickedStatus = CheckedIds(m_diskStatusModel);
        m_diskModel->Clear(true);
        m_diskStatusModel->Clear(true);
        m_diskModel->SetupModelData(job.disks);
        m_diskStatusModel->SetupModelData(job.disks);
        RestoreChecks(m_diskModel, ticked);
        RestoreChecks(m_diskStatusModel, tickedStatus);
        SyncHeaderCheck(ui.m_table_vmr_disk);
        SyncHeaderCheck(ui.m_table_disk_status);

        // The blocks shown belong to a disk: follow it to its new row, or let them go with it.
        if (m_blockDiskId >= 0) {
            const int row = FindDiskStatusRow(m_blockDiskId);
            if (row < 0)
                ClearBlocks();
            else
                m_blockDiskRow = row;
        }
    }
    if (m_diskQuery.again) {
        m_diskQuery.again = false;
        StartDiskQuery();
    }
}

void KestoRecordServer::NoticeQueryFailure(bool* failed, const char* key) {
    if (*failed) return;  // said once; said again only after a read has worked
    *failed = true;
    ShowBalloon(QObject::tr("K3745_Error"), QObject::tr(key), QSystemTrayIcon::Critical, 20000);
}

void KestoRecordServer::OnDiskRefresh() {
    RefreshDiskList();
}

void KestoRecordServer::OnDiskStatusRefresh() {
    RefreshDiskList();
}

int KestoRecordServer::FindDiskStatusRow(qint64 diskId) const {
    return StorageTables::FindRowById(m_diskStatusModel, diskId);
}

// ---- channels, streams and camera identities -------------------------------------------------

void KestoRecordServer::RefreshChannelList() {
    if (!m_chnModel || IsExiting() || !m_engineStarted) return;
    if (m_chnQuery.running) {
        m_chnQuery.again = true;
        return;
    }
    StartChannelQuery();
}

void KestoRecordServer::StartChannelQuery() {
    m_chnQuery.running = true;
    runQuery<KestoChannelQuery>(
        this, m_reader,
        [](KestoChannelQuery& job) {
            const EngineAccess::Calls calls = EngineAccess::Current();
            job.chnRc = calls.chanInfo ? calls.chanInfo(nullptr, 0, &job.channels, kEngineTimeoutMs)
                                       : LUMOSR_ERR_FAIL;
            job.cuidRc =
                calls.cuidInfo ? calls.cuidInfo(nullptr, 0, &job.cuids, kEngineTimeoutMs) : LUMOSR_ERR_FAIL;
        },
        &KestoRecordServer::OnChannelQueryReturn);
}

void KestoRecordServer::OnChannelQueryReturn(KestoChannelQuery& job) {
    m_chnQuery.running = false;
    if (IsExiting()) return;
    if (!job.channels) {
        VantelDBG_Printf_f(0x7fff, 2, "KestoRecordServer::OnChannelQueryReturn", "channel query failed: %d",
                           job.chnRc);
        NoticeQueryFailure(&m_chnQuery.failed, "K7922_ChnQueryFail");
    } else {
        m_chnQuery.failed = false;
        const QSet<qint64> ticked = CheckedIds(m_chnModel);
        m_chnModel->Clear(true);
        m_chnModel->SetupModelData(job.channels);
        RestoreChecks(m_chnModel, ticked);
        SyncHeaderCheck(ui.m_table_channel);
        // The streams shown belong to a channel: follow it to its new row, or let them go with it.
        if (m_streamChnId >= 0) {
            const int row = FindChnRow(m_streamChnId);
            if (row >= 0)
                ShowChannelStreams(row);
            else
                ClearStreams();
        }
    }
    if (!job.cuids) {
        // The operator's choice stays: an empty box would widen the search to every camera.
        VantelDBG_Printf_f(0x7fff, 2, "KestoRecordServer::OnChannelQueryReturn", "CUID query failed: %d",
                           job.cuidRc);
        NoticeQueryFailure(&m_cuidFailed, "K7923_CuidQueryFail");
    } else {
        m_cuidFailed = false;
        ApplyCuidList(job.cuids);
    }
    if (m_chnQuery.again) {
        m_chnQuery.again = false;
        StartChannelQuery();
    }
}

void KestoRecordServer::ApplyCuidList(IVantelList* list) {
    StorageTables::ApplyCuidList(ui.m_cmb_cuid, list, &m_cuidFilled);
}

void KestoRecordServer::OnChnRefresh() {
    RefreshChannelList();
}

// ---- settings problems -------------------------------------------------------------------------

void KestoRecordServer::StartProblemsQuery() {
    m_problemsQueryRunning = true;
    runQuery<KestoProblemsQuery>(
        this, m_reader, [](KestoProblemsQuery& job) { job.lines = EngineAccess::ConfigProblems(); },
        &KestoRecordServer::OnProblemsQueryReturn);
}

void KestoRecordServer::OnProblemsQueryReturn(KestoProblemsQuery& job) {
    m_problemsQueryRunning = false;
    if (job.lines.isEmpty() || IsExiting()) return;
    for (const QString& line : qAsConst(job.lines))
        VantelDBG_Printf_f(0x7fff, 2, "KestoRecordServer", "settings problem: %s", line.toUtf8().constData());
    // A box that stays until the operator closes it, without holding the console: the lines are
    // long (file, line, what the engine did) and a passing notice would cut them.
    const QString title = QObject::tr("K7931_ConfigProblemsTitle");
    const QString text =
        QObject::tr("K7932_ConfigProblems") + QStringLiteral("\n\n") + job.lines.join(QLatin1Char('\n'));
    INFRA::TestSeams::RecordUiEvent({QStringLiteral("notice"), title, text});
    auto* box = new INFRA::MessageBox(this, title, text, INFRA::MessageBox::Ok, true);
    box->setModal(false);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setMinimumWidth(640);
    CentreDialog(box);
    box->QDialog::show();
    box->raise();
}

int KestoRecordServer::FindChnRow(qint64 chnId) const {
    return StorageTables::FindRowById(m_chnModel, chnId);
}

void KestoRecordServer::ShowChannelStreams(int row) {
    if (!m_chnModel || !m_streamModel) return;
    auto* chn = dynamic_cast<IKestoChanInfo*>(m_chnModel->GetRowData(row));
    if (!chn) return;
    IVantelList* list = IVantelList::CreateObject();
    const int count = chn->GetStreamNum();
    for (int i = 0; i < count; ++i)
        if (IKestoStreamInfo* stream = chn->GetStreamInfo(i)) list->Add(stream, true, false);
    ui.m_lbl_stream_status->setText(QStringLiteral("CUID : %1").arg(QString::fromUtf8(chn->GetCUID())));
    m_streamChnRow = row;
    m_streamChnId = chn->GetID();
    m_streamModel->Clear(true);
    m_streamModel->SetupModelData(list);
    list->Release();
    SyncHeaderCheck(ui.m_table_stream);
}

void KestoRecordServer::ClearStreams() {
    if (m_streamModel) m_streamModel->Clear(true);
    ui.m_lbl_stream_status->clear();
    m_streamChnRow = -1;
    m_streamChnId = -1;
    SyncHeaderCheck(ui.m_table_stream);
}

void KestoRecordServer::OnChnExport() {}

// ---- storage blocks --------------------------------------------------------------------------

void KestoRecordServer::LoadBlocksOfRow(int row) {
    if (!m_diskStatusModel) return;
    auto* disk = dynamic_cast<IKestoDiskInfo*>(m_diskStatusModel->GetRowData(row));
    if (!disk) return;
    StartBlockLoad(disk->GetID());
}

void KestoRecordServer::OnBlockRefresh() {
    if (m_blockDiskId < 0) return;
    if (FindDiskStatusRow(m_blockDiskId) < 0) {
        ClearBlocks();
        return;
    }
    StartBlockLoad(m_blockDiskId);
}

void KestoRecordServer::StartBlockLoad(qint64 diskId) {
    if (!m_blockModel || m_blockJob) return;  // one block read at a time
    m_blockJob = new KestoBlockJob;
    m_blockJob->diskId = diskId;
    INFRA::BusyLoading* busy = INFRA::BusyLoading::animate(this, this, &KestoRecordServer::LoadBlockInfo,
                                                           static_cast<void*>(m_blockJob));
    connect(busy, &INFRA::BusyLoading::returned, this, &KestoRecordServer::OnGetBlockInfoReturn);
}

int KestoRecordServer::LoadBlockInfo(void* arg) {
    return RunBlockJob(static_cast<KestoBlockJob*>(arg), kEngineTimeoutMs);
}

void KestoRecordServer::OnGetBlockInfoReturn(int result) {
    KestoBlockJob* job = m_blockJob;
    m_blockJob = nullptr;
    if (!job) return;
    if (result == 0 && m_blockModel && job->blocks) {
        if (m_blockList) m_blockList->Release();
        m_blockList = job->blocks;
        job->blocks = nullptr;
        m_blockModel->Clear(true);
        m_blockModel->SetDiskId(job->diskId);
        m_blockModel->SetupModelData(m_blockList);
        FitColumns(ui.m_table_block_status, {4, 8, 9});
        m_blockDiskId = job->diskId;
        m_blockDiskRow = FindDiskStatusRow(job->diskId);
        ui.m_lbl_block_status->setText(QObject::tr("K3711_DiskNo") + QStringLiteral(" : ") +
                                       QString::number(job->diskId));
        SyncHeaderCheck(ui.m_table_block_status);
    } else {
        VantelDBG_Printf_f(0x7fff, 1, "KestoRecordServer::OnGetBlockInfoReturn", "blocks of disk %lld: %d",
                           static_cast<long long>(job->diskId), job->rc);
        INFRA::MessageBox::Warning(this, QObject::tr("K3724_BlockStatus"),
                                   QObject::tr("K7913_BlockReadFail").arg(job->diskId));
    }
    delete job;
}

void KestoRecordServer::ClearBlocks() {
    if (m_blockModel) m_blockModel->Clear(true);
    if (m_blockList) m_blockList->RemoveAll();
    ui.m_lbl_block_status->setText(QObject::tr("K3724_BlockStatus"));
    m_blockDiskRow = -1;
    m_blockDiskId = -1;
    SyncHeaderCheck(ui.m_table_block_status);
}

void KestoRecordServer::OnDiskStatusExport() {}
void KestoRecordServer::OnBlockExport() {}

// ---- formatting ------------------------------------------------------------------------------

bool KestoRecordServer::ConfirmFormat() {
    return StorageTables::ConfirmFormat(this);
}

void KestoRecordServer::OnDiskFormat() {
    if (!m_diskModel || m_formatJob) return;
    // The ticked disks as they are now, by engine number; a refresh during the question changes
    // nothing of what is formatted.
    const QVector<qint64> ids = StorageTables::CheckedDiskIds(m_diskModel);
    if (ids.isEmpty()) {
        INFRA::MessageBox::Information(this, QObject::tr("K4777_DiskFormat"), QObject::tr("K6948_SelectDisk"),
                                       INFRA::MessageBox::Ok);
        return;
    }
    if (!ConfirmFormat()) return;
    StartFormat(ids, true);
}

void KestoRecordServer::StartFormat(const QVector<qint64>& diskIds, bool checked) {
    if (m_formatJob || diskIds.isEmpty()) return;
    m_formatJob = new KestoFormatJob;
    m_formatJob->diskIds = diskIds;
    INFRA::BusyLoading* busy = INFRA::BusyLoading::animate(
        this, this, checked ? &KestoRecordServer::FormatCheckedDisks : &KestoRecordServer::FormatDiskRow,
        static_cast<void*>(m_formatJob));
    connect(busy, &INFRA::BusyLoading::returned, this, &KestoRecordServer::OnFormatReturn);
}

int KestoRecordServer::FormatCheckedDisks(void* arg) {
    return RunFormatJob(static_cast<KestoFormatJob*>(arg), -1, kEngineTimeoutMs);
}

int KestoRecordServer::FormatDiskRow(void* arg) {
    return RunFormatJob(static_cast<KestoFormatJob*>(arg), 1, kEngineTimeoutMs);
}

void KestoRecordServer::OnFormatReturn(int) {
    KestoFormatJob* job = m_formatJob;
    m_formatJob = nullptr;
    if (!job) return;
    // One sentence per disk whose reason is known; the others together, as before.
    QStringList reasons;
    QStringList plain;
    bool blocksFormatted = false;
    for (int i = 0; i < job->diskIds.size(); ++i) {
        const qint64 id = job->diskIds.at(i);
        const int rc = i < job->results.size() ? job->results.at(i) : LUMOSR_ERR_FAIL;
        const EngineAccess::Failure why =
            i < job->failures.size() ? job->failures.at(i) : EngineAccess::Failure();
        if (rc != 0) {
            VantelDBG_Printf_f(0x7fff, 1, "KestoRecordServer::OnFormatReturn",
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
    delete job;

    // Done with: a second press of the button must not format the same disks again.
    if (m_diskModel) m_diskModel->SetAllItemCheckState(false);
    SyncHeaderCheck(ui.m_table_vmr_disk);
    RefreshDiskList();
    RefreshChannelList();  // the cameras known from records go with them
    // The blocks shown are gone with the format.
    if (blocksFormatted && m_blockModel) {
        m_blockModel->Clear(true);
        if (m_blockList) m_blockList->RemoveAll();
        SyncHeaderCheck(ui.m_table_block_status);
    }
    if (!plain.isEmpty())
        reasons << QObject::tr("K4784_DiskFormatFail").arg(plain.join(QStringLiteral(", ")));
    if (!reasons.isEmpty())
        INFRA::MessageBox::Warning(this, QObject::tr("K4777_DiskFormat"), reasons.join(QLatin1Char('\n')));
}

// ---- disk-state dialog -----------------------------------------------------------------------

namespace {

quint32* diskStateOf(VantelDataModel* model, int row, quint32* state) {
    auto* disk = model ? dynamic_cast<IKestoDiskInfo*>(model->GetRowData(row)) : nullptr;
    if (!disk) return nullptr;
    *state = disk->GetInfo()->GetState();
    return state;
}

}  // namespace

void KestoRecordServer::ShowDiskStatus(int row) {
    quint32 state = 0;
    if (diskStateOf(m_diskModel, row, &state)) ShowDiskStateDialog(state);
}

void KestoRecordServer::ShowDiskStatusFromStatusTable(int row) {
    quint32 state = 0;
    if (diskStateOf(m_diskStatusModel, row, &state)) ShowDiskStateDialog(state);
}

void KestoRecordServer::ShowDiskStateDialog(quint32 state) {
    PageRecordServerDiskStatus dlg(this);
    dlg.SetDiskState(state);
    dlg.UpdateStateLabels();
    CentreDialog(&dlg);
    dlg.exec(INFRA::ShowApplicationModal);
}
