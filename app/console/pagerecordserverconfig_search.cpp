// The record-server page's search page: the search over the bound recorder (every channel, a
// worker under the busy indicator), playback of a found record in the record player, and its
// download through the clip dialog into the process's download queue, whose window polls and
// stops it.
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QStandardPaths>
#include <QTableView>
#include <QToolButton>

#include "LumoCClient/LumoCClient.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/vantelutility.h"
#include "lumoc/playback/downloaddialog.h"
#include "lumoc/playback/downloadrecmanager.h"
#include "lumoc/playback/lumocplayer.h"
#include "lumoc/playback/playerwidget.h"
#include "lumoc/playback/recordclipdialog.h"
#include "models/vmrmodels.h"
#include "pagerecordserverconfig.h"
#include "storagejobs.h"
#include "storagetables.h"

namespace {

const int kTimeoutMs = 5000;
using StorageTables::LumoTimeOf;

}  // namespace

void PageRecordServerConfig::SetupSearchControls() {
    StorageTables::SetupSearchDates(ui->m_dateTimeEdit_stime, ui->m_dateTimeEdit_etime, QDateTime());
}

void PageRecordServerConfig::ApplyDateLocale() {
    StorageTables::ApplyDateLocale(ui->m_dateTimeEdit_stime, ui->m_dateTimeEdit_etime);
}

// ---- search ------------------------------------------------------------------------------------

void PageRecordServerConfig::OnRecordFileSearch() {
    if (!m_fileModel || m_searchJob) return;
    const QDateTime start = ui->m_dateTimeEdit_stime->dateTime();
    const QDateTime end = ui->m_dateTimeEdit_etime->dateTime();
    if (start > end) {
        INFRA::MessageBox::Warning(this, QObject::tr("K3721_RecordSearch"),
                                   QObject::tr("K7910_SearchTimeOrder"));
        return;
    }
    const QByteArray url = RequestUrl();
    if (url.isEmpty()) return;
    // The form is read here, on the GUI thread; the worker gets a copy.
    auto* job = new PageSearchJob;
    job->url = url;
    job->start = LumoTimeOf(start);
    job->end = LumoTimeOf(end);
    job->stream = ui->m_cmb_stream->currentData().toInt();
    job->cuid = ui->m_cmb_cuid->currentText().toUtf8();
    m_searchJob = job;
    m_fileModel->Clear(true);  // empty while the search runs
    SyncHeaderCheck(ui->m_table_record_files);
    INFRA::BusyLoading* busy = INFRA::BusyLoading::animate(
        this, this, &PageRecordServerConfig::SearchRecordFiles, static_cast<void*>(job));
    connect(busy, &INFRA::BusyLoading::returned, this, &PageRecordServerConfig::OnSearchReturn);
}

int PageRecordServerConfig::SearchRecordFiles(void* arg) {
    auto* job = static_cast<PageSearchJob*>(arg);
    if (!job) return -1;
    ILumoFSSearchParam param(1);
    param.SetTimeS(job->start);
    param.SetTimeE(job->end);
    param.SetChannelMask(job->stream, ~0ULL);  // channels 1 to 64
    param.SetMediaType(1);
    param.SetRecordType(0xDF);
    param.SetStreamType(job->stream);
    if (!job->cuid.isEmpty()) param.AddCUID(job->cuid.constData());
    job->rc = LumoSRGetFileInfo(job->url.constData(), &param, &job->files, kTimeoutMs);
    if (job->rc != 0) job->why = EngineAccess::LastFailure();
    return job->rc == 0 && job->files && job->files->GetCount() > 0 ? 0 : -1;
}

void PageRecordServerConfig::OnSearchReturn(int result) {
    PageSearchJob* job = m_searchJob;
    m_searchJob = nullptr;
    if (!job) return;
    if (result == 0 && job->files) {
        if (m_recordFileList) m_recordFileList->Release();
        m_recordFileList = job->files;
        job->files = nullptr;
        m_fileModel->Clear(true);
        m_fileModel->SetupModelData(m_recordFileList);
        StorageTables::FitColumns(ui->m_table_record_files, {2, 3, 4, 7});
        SyncHeaderCheck(ui->m_table_record_files);
    } else if (job->rc != 0 || !job->files) {
        // A failed search is not "no records": the operator learns what failed.
        VantelDBG_Printf_f(0x7fff, 1, "PageRecordServerConfig::OnSearchReturn",
                           "search failed: %d (reason %d)", job->rc, job->why.reason);
        INFRA::MessageBox::Warning(this, QObject::tr("K3721_RecordSearch"),
                                   FailureText(QObject::tr("K7911_SearchFail"), job->rc, job->why));
    }
    // A search that ran and found nothing leaves the table empty: the empty table is the answer.
    delete job;
}

// ---- playback ----------------------------------------------------------------------------------

void PageRecordServerConfig::OnPlayback(int row) {
    auto* file = m_fileModel ? dynamic_cast<IKestoFileInfoAV*>(m_fileModel->GetRowData(row)) : nullptr;
    if (!file) return;
    file->AddRef();  // the row stays ours while the player is open
    {
        LumoCPlayer dlg(this);
        if (PlayerWidget* widget = dlg.GetPlayerWidget()) widget->SetPlayMode(1);
        dlg.SetFileInfo(file);
        dlg.Play();  // a record that cannot be played says so in the player's picture
        dlg.exec(INFRA::ShowApplicationModal);
    }
    file->Release();
}

// ---- download ----------------------------------------------------------------------------------

QString PageRecordServerConfig::DownloadFolder() {
    const QString base = LumoCConfiguration::GetLumoCConfig()->GetFileOption()->recordFolder;
    if (!base.isEmpty()) return base + QStringLiteral("/Kesto");
    QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (videos.isEmpty()) videos = QDir::homePath();
    return videos + QStringLiteral("/Kesto");
}

QByteArray PageRecordServerConfig::TargetUrl(int format, const QString& folder) {
    // Built as an address: its parser splits only before a known key, so a folder holding "&" or
    // "=" comes back whole.
    return QByteArray::fromStdString(
        LumoRecordAddress::WriteFolder("rec", DownloadRecManager::FormatExtension(format).toStdString(),
                                       folder.toStdString())
            .Build());
}

void PageRecordServerConfig::OnDownload(int row) {
    if (!m_downloads) m_downloads = DownloadRecManager::Instance();
    auto* file = m_fileModel ? dynamic_cast<IKestoFileInfoAV*>(m_fileModel->GetRowData(row)) : nullptr;
    if (!file || !m_device) return;

    // The record as the queue takes it (it keeps a copy).
    CLumoFileDescList list(1);
    auto* desc = new CLumoFileDesc();
    desc->Setup(file->GetInfo());
    desc->SetURI(file->GetURI());
    desc->SetFileName(file->GetFileName());
    list.Append(desc);
    const int channel = file->GetInfo()->channel;

    // The clip dialog shows the record's range and the folder, and lets the operator choose both
    // the format and the folder.
    RecordClipInfo clip;
    clip.Setup(file->GetInfo());
    clip.SetURI(file->GetURI());
    clip.SetClipStart(desc->GetTimeS());
    clip.SetClipEnd(desc->GetTimeE());
    clip.SetUrl(TargetUrl(DownloadRecManager::FormatMp4, DownloadFolder()).constData());
    int format = 0;
    QString folder;
    {
        RecordClipDialog dlg(this, RecordClipDialog::ModeDownload);
        // The download mode hides them; a record download shows them (read-only times).
        for (const char* name : {"label_begin", "timeEdit_start", "label_end", "timeEdit_end",
                                 "label_savePath", "label_savePathContent", "toolButton"})
            if (QWidget* w = dlg.findChild<QWidget*>(QLatin1String(name))) w->show();
        dlg.SetClipInfo(&clip);
        dlg.Init();
        if (dlg.exec(INFRA::ShowWindowModal) != 1) return;  // cancelled: nothing is queued
        format = dlg.GetFormat();
        folder = RecordClipDialog::get_string_by_key(QString::fromUtf8(clip.GetUrl() ? clip.GetUrl() : ""),
                                                     QStringLiteral("pathname="));
    }
    if (folder.isEmpty()) folder = DownloadFolder();
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);

    const QString title = QObject::tr("K0069_strDownLoad");
    if (!QDir().mkpath(folder)) {
        INFRA::MessageBox::Warning(this, title, QObject::tr("K7954_DownloadFolderFail").arg(folder));
        return;  // nothing queued: the download could never be written
    }
    const QByteArray target = TargetUrl(format, folder);
    const int deviceId = int(m_device->GetID());
    if (m_downloads->AddTasks(&list, deviceId, channel, format, 0) != 0) {
        INFRA::MessageBox::Warning(this, title, QObject::tr("K3522_MsgDownloadFileErr"));
        return;
    }
    if (!m_downloads->HasActiveTask()) {
        const int rc = m_downloads->StartDown(deviceId, channel, target.constData(), nullptr, "");
        if (rc != 0) {
            // Any result but 0 is a failure, positive ones too; the refused task leaves the queue.
            VantelDBG_Printf_f(0x7fff, 1, "PageRecordServerConfig::OnDownload", "start failed: %d", rc);
            if (DownloadRecTaskList* tasks = m_downloads->GetTaskList())
                for (DownloadRecTask* t : QList<DownloadRecTask*>(*tasks))
                    if (t && t->state == DownloadRecTask::StateFailed && t->timerId == 0)
                        m_downloads->RemoveTask(t->deviceId, t->channelIndex, t->name.constData());
            INFRA::MessageBox::Warning(this, title,
                                       QObject::tr("K3522_MsgDownloadFileErr") + QLatin1Char('\n') +
                                           QObject::tr("K7953_ResultCode").arg(rc));
            return;
        }
    }
    INFRA::NotifierManager::instance()->notify(QObject::tr("K4712_Success"),
                                               QObject::tr("K3587_JoinDownloadQueueSuccess"),
                                               INFRA::NotifySuccess, QStringLiteral("#"));
    // The download window takes the queued task: it polls it, starts the next and stops on
    // request. The texts live through the (direct) emission.
    if (!m_downloadDialog) {
        m_downloadDialog = new DownLoadDialog(this);
        connect(this, &PageRecordServerConfig::signalDownLoadStar, m_downloadDialog,
                &DownLoadDialog::slotDownloadStar, Qt::DirectConnection);
    }
    emit signalDownLoadStar(deviceId, uint(channel), target.constData(), "");
    m_downloadDialog->show();
    m_downloadDialog->raise();
}
