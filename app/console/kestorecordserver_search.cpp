// The record-search page: the search form, the search itself (a worker under the busy
// indicator over the media library's "lumofs" search), the result table and the player.
#include <QComboBox>
#include <QDateTimeEdit>
#include <QTableView>

#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/vantelutility.h"
#include "kestorecordserver.h"
#include "lumoc/playback/lumocplayer.h"
#include "lumoc/playback/playerwidget.h"
#include "models/vmrmodels.h"
#include "storagejobs.h"
#include "storagetables.h"

namespace {

// The record search of the local engine: lumofs://localhost/media.
std::string searchAddress() {
    LumoRecordAddress address(LumoRecordAddress::SCHEME_LUMOFS, "localhost");
    address.SetResource("media");
    return address.Build();
}
const int kSearchBatch = 256;
using StorageTables::LumoTimeOf;

}  // namespace

void KestoRecordServer::SetupSearchControls() {
    StorageTables::SetupSearchDates(
        ui.m_dateTimeEdit_stime, ui.m_dateTimeEdit_etime,
        QDateTime::fromString(QStringLiteral("2000-01-01 00:00:00"), QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

void KestoRecordServer::ApplyDateLocale() {
    // The calendar's month and day names follow the console's language.
    StorageTables::ApplyDateLocale(ui.m_dateTimeEdit_stime, ui.m_dateTimeEdit_etime);
}

void KestoRecordServer::OnRecordFileSearch() {
    if (!m_fileModel || m_searchJob) return;
    const QDateTime start = ui.m_dateTimeEdit_stime->dateTime();
    const QDateTime end = ui.m_dateTimeEdit_etime->dateTime();
    if (start.toSecsSinceEpoch() > end.toSecsSinceEpoch()) {
        INFRA::MessageBox::Warning(this, QObject::tr("K3721_RecordSearch"),
                                   QObject::tr("K7910_SearchTimeOrder"));
        return;
    }
    // The form is read here, on the GUI thread; the worker gets a copy.
    auto* job = new KestoSearchJob;
    job->start = LumoTimeOf(start);
    job->end = LumoTimeOf(end);
    job->stream = ui.m_cmb_stream->currentData(Qt::UserRole).toInt();
    job->cuid = ui.m_cmb_cuid->currentText().toUtf8();
    m_searchJob = job;

    m_fileModel->Clear(true);  // empty while the search runs
    SyncHeaderCheck(ui.m_table_record_files);
    INFRA::BusyLoading* busy = INFRA::BusyLoading::animate(this, this, &KestoRecordServer::SearchRecordFiles,
                                                           static_cast<void*>(job));
    connect(busy, &INFRA::BusyLoading::returned, this, &KestoRecordServer::OnSearchReturn);
}

int KestoRecordServer::SearchRecordFiles(void* arg) {
    auto* job = static_cast<KestoSearchJob*>(arg);
    if (!job) return -1;
    ILumoFSSearchParam param(1);
    param.SetTimeS(job->start);
    param.SetTimeE(job->end);
    param.SetChannelMask(job->stream, 0xFFFFFFFFFFFFFFFFULL);
    param.SetMediaType(1);
    param.SetRecordType(0xDF);
    param.SetStreamType(job->stream);
    if (!job->cuid.isEmpty()) param.AddCUID(job->cuid.constData());

    void* handle = nullptr;
    job->createRc = LumoMediaSearchCreate(&handle, searchAddress().c_str(), &param, 0, 0);
    if (job->createRc != 0 || !handle) {
        LumoPrintf("LumoMediaSearchCreate Fail[ret = %d]!\n", job->createRc);
        if (handle) LumoMediaSearchDelete(handle);
        if (job->createRc == 0) job->createRc = LUMO_ERR_FAIL;
        return -1;
    }
    CLumoFileDescList found(1);
    for (;;) {
        const int before = found.GetCount();
        const int rc = LumoMediaSearchNext(handle, &found, kSearchBatch);
        if (rc == LUMO_ERR_NOMORE) break;
        if (rc < 0) {
            // Any other failure ends the search too; what was found so far is shown.
            LumoPrintf("LumoMediaSearchNext Fail[ret = %d]!\n", rc);
            job->nextRc = rc;
            break;
        }
        if (found.GetCount() == before) break;  // a success without rows: nothing more comes
    }
    if (!found.IsEmpty()) {
        job->files = IVantelList::CreateObject();
        LumoSRFileDesc2KestoFileInfo(&found, job->files);
    }
    LumoMediaSearchDelete(handle);
    return job->files && job->files->GetCount() > 0 ? 0 : -1;
}

void KestoRecordServer::OnSearchReturn(int result) {
    KestoSearchJob* job = m_searchJob;
    m_searchJob = nullptr;
    if (!job) return;
    // No match leaves the table empty, without a message: an empty table is the answer.
    if (result == 0 && m_fileModel && job->files) {
        if (m_recordFileList) m_recordFileList->Release();
        m_recordFileList = job->files;
        job->files = nullptr;
        m_fileModel->Clear(true);
        m_fileModel->SetupModelData(m_recordFileList);
        FitColumns(ui.m_table_record_files, {2, 3, 4, 7});
        SyncHeaderCheck(ui.m_table_record_files);
    }
    const int createRc = job->createRc;
    const int nextRc = job->nextRc;
    delete job;
    if (createRc != 0)
        INFRA::MessageBox::Warning(this, QObject::tr("K3721_RecordSearch"), QObject::tr("K7911_SearchFail"));
    else if (nextRc != 0)
        INFRA::MessageBox::Warning(this, QObject::tr("K3721_RecordSearch"),
                                   QObject::tr("K7912_SearchIncomplete"));
}

void KestoRecordServer::OnPlayback(int row) {
    auto* file = m_fileModel ? dynamic_cast<IKestoFileInfoAV*>(m_fileModel->GetRowData(row)) : nullptr;
    if (!file) return;
    file->AddRef();  // the row stays ours while the player is open
    {
        LumoCPlayer dlg(this);
        if (PlayerWidget* widget = dlg.GetPlayerWidget()) widget->SetPlayMode(1);
        dlg.SetFileInfo(file);
        dlg.Play();  // a file that cannot be played says so in the player's picture
        CentreDialog(&dlg);
        dlg.exec(INFRA::ShowApplicationModal);
    }
    file->Release();
}
