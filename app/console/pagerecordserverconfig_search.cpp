// The record-server page's search page: the search over the bound recorder (every channel, run
// by the storage pages' worker), and the download of a found record through the clip dialog into
// the process's download queue, whose window polls and stops it.
#include <QDir>
#include <QLabel>
#include <QStandardPaths>

#include "LumoCClient/LumoCClient.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "lumoc/playback/downloaddialog.h"
#include "lumoc/playback/downloadrecmanager.h"
#include "lumoc/playback/recordclipdialog.h"
#include "models/vmrmodels.h"
#include "pagerecordserverconfig.h"
#include "storagejobs.h"

namespace {

const int kTimeoutMs = 5000;

}  // namespace

// ---- search ------------------------------------------------------------------------------------

void PageRecordServerConfig::SearchRecordFiles(StorageSearchJob* job) {
    ILumoFSSearchParam param(1);
    FillSearchParam(*job, &param);
    job->rc = LumoSRGetFileInfo(job->url.constData(), &param, &job->files, kTimeoutMs);
    if (job->rc != 0) job->why = EngineAccess::LastFailure();
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
    VMRRecordFileModel* model = GetRecordFileModel();
    auto* file = model ? dynamic_cast<IKestoFileInfoAV*>(model->GetRowData(row)) : nullptr;
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
