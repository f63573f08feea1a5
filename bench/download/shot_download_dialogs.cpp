// Shows the download dialog with running downloads, the clip dialog and the playback dialog in
// one language and saves a picture of each, for a person to look at (run under an X server, e.g.
// xvfb-run). Usage: shot_download_dialogs <English|Chinese> <output folder>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "LumoCClient/LumoCClient.h"
#include "LumoRecord/LumoRecord.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vantelutility.h"
#include "lumoc/playback/downloaddialog.h"
#include "lumoc/playback/downloadrecmanager.h"
#include "lumoc/playback/recordclipdialog.h"
#include "lumoc/playback/recordserverplayback.h"

namespace {

void Wait(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool MakeRecord(const QString& path, int seconds) {
    QProcess p;
    p.start("ffmpeg", {"-hide_banner",
                       "-loglevel",
                       "error",
                       "-y",
                       "-f",
                       "lavfi",
                       "-i",
                       "testsrc=size=640x360:rate=25",
                       "-t",
                       QString::number(seconds),
                       "-c:v",
                       "libx264",
                       "-preset",
                       "ultrafast",
                       "-g",
                       "25",
                       "-pix_fmt",
                       "yuv420p",
                       "-f",
                       "mpegts",
                       path});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

CLumoFileDesc* Desc(const QString& path) {
    auto* d = new CLumoFileDesc();
    d->SetURI(("filer://local/type=rec&format=dav&filename=" + path).toUtf8().constData());
    LumoRecordProbeDesc(d);
    return d;
}

bool Save(QWidget* w, const QString& path) {
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "could not save", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: shot_download_dialogs <English|Chinese> <output folder>\n");
        return 2;
    }
    const QString lang = argv[1];
    const QString outDir = argv[2];
    QDir().mkpath(outDir);
    INFRA::TestSeams::SetProgramDir(QDir(QCoreApplication::applicationDirPath() + "/../bin").absolutePath());
    if (!VantelUtility::initLanguage(lang)) std::fprintf(stderr, "no language file for %s\n", argv[1]);

    QTemporaryDir work;
    LumoCConfiguration::GetLumoCConfig()->SetFilePath(work.filePath("lumoc.ini"));
    LumoCConfiguration::GetLumoCConfig()->GetFileOption()->recordFolder = work.filePath("records");
    const QString rec = work.filePath("rec.dav");
    if (!MakeRecord(rec, 20)) return 2;

    // The download dialog with a running download and two waiting ones.
    DownloadRecManager* queue = DownloadRecManager::Instance();
    for (int t = 0; t < 3; ++t) {
        CLumoFileDescList list(1);
        for (int i = 0; i < (t == 0 ? 3000 : 1); ++i) list.Append(Desc(rec));
        queue->AddTasks(&list, 0, t, 3, 0);
    }
    QByteArray url;
    DownloadRecManager::MakeTargetUrl(3, &url);
    queue->StartDown(0, 0, url.constData(), "", "");
    DownLoadDialog dialog;
    dialog.slotDownloadStar(0, 0, url.constData(), "");
    dialog.resize(420, 330);
    dialog.show();
    Wait(2500);
    Save(&dialog, QDir(outDir).filePath("download_dialog_" + lang + ".png"));
    dialog.ClearAll();
    dialog.hide();

    // The clip dialog in cut mode.
    RecordClipInfo clip;
    CLumoTime start = CLumoTime::Now(), end = start;
    end.Add(90000);
    clip.SetClipStart(start);
    clip.SetClipEnd(end);
    clip.SetUrl(url.constData());
    RecordClipDialog clipDialog(nullptr, RecordClipDialog::ModeCut);
    clipDialog.SetClipInfo(&clip);
    clipDialog.Init();
    clipDialog.show();
    Wait(500);
    Save(&clipDialog, QDir(outDir).filePath("clip_dialog_" + lang + ".png"));
    clipDialog.hide();

    // The playback dialog playing one record row.
    std::unique_ptr<CLumoFileDesc> d(Desc(rec));
    d->SetCUID("cam-entrance");
    d->SetLocation(0, 3, 12);
    IKestoFileInfoAV* row = IKestoFileInfoAV::CreateObject();
    d->ToAVInfo(row->GetInfo());
    row->SetURI(d->GetURI());
    RecordServerPlayback playback;
    playback.SetFileInfo(row);
    row->Release();
    playback.show();
    playback.Play();
    for (int i = 0; i < 8; ++i) {
        Wait(500);
        playback.OnTimer();
    }
    Save(&playback, QDir(outDir).filePath("playback_dialog_" + lang + ".png"));
    return 0;
}
