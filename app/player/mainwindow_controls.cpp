// The main window's control row: play or pause, stop, frame step, speed, progress slider, volume,
// mute and snapshot, each on the selected view.
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStyle>

#include "LumoBase/LumoResult.h"
#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoRecordAddress.h"
#include "VantelCore/urlmask.h"
#include "common/playlist/playlistwidget.h"
#include "player/dialogs/dialogtip.h"
#include "player/mainwindow.h"
#include "player/playcontroler.h"
#include "player/playercontext.h"

namespace {

CPlayControler* Ctl() { return CPlayControler::Instance(); }
void* Panel() { return CPlayControler::Instance()->GetPanelHandle(); }

}  // namespace

void MainWindow::on_btnPlayorPause_clicked() {
    PlayOrPause();
}

void MainWindow::PlayOrPause() {
    const int view = SelectedView();
    const int state = ViewState(view);
    if (state & STATE_OPEN) {
        if (state & STATE_PAUSED) {
            const bool ok = Ctl()->Resume(Panel(), view) == 0;
            btnPlayorPause->setChecked(ok);
            if (ok) btnPlayorPause->setToolTip(tr("pause"));
        } else {
            const bool ok = Ctl()->Pause(Panel(), view) == 0;
            btnPlayorPause->setChecked(!ok);
            if (ok) btnPlayorPause->setToolTip(tr("play"));
        }
    } else {
        // Nothing open: the button shows what the view does, not the click.
        btnPlayorPause->setChecked(false);
        if (m_playfileList->currentRow() >= 0) OpenRow(view, m_playfileList->currentRow());
    }
    UpdateFileInfo(view);
}

void MainWindow::on_btnStop_clicked() {
    CloseView(SelectedView());
}

void MainWindow::on_btnFrame_clicked() {
    StepFrame(SelectedView());
}

void MainWindow::StepFrame(int view) {
    Ctl()->Step(Panel(), view);
    if (view == SelectedView()) {
        btnPlayorPause->setChecked(false);
        btnPlayorPause->setToolTip(tr("play"));
    }
    UpdateFileInfo(view);
}

void MainWindow::on_btnFaster_clicked() {
    SpeedUpView(SelectedView());
}

void MainWindow::on_btnSlower_clicked() {
    SlowDownView(SelectedView());
}

void MainWindow::SpeedUpView(int view) {
    int code = 1;
    Ctl()->SpeedUp(Panel(), view, &code);
    UpdateFileInfo(view);
}

void MainWindow::SlowDownView(int view) {
    int code = 1;
    Ctl()->SlowDown(Panel(), view, &code);
    UpdateFileInfo(view);
}

void MainWindow::on_sliderProgress_sliderPressed() {
    m_sliderDragging = true;
    ShowPlayState(SelectedView());
}

void MainWindow::on_sliderProgress_sliderMoved(int value) {
    if (m_sliderDragging && SeekSelectedView(value) == 0) UpdateFileInfo(SelectedView());
}

void MainWindow::on_sliderProgress_sliderReleased() {
    m_sliderDragging = false;
}

void MainWindow::on_sliderVoiceValue_changed(int value) {
    SetVolume(value);
}

void MainWindow::SetVolume(int volume) {
    volume = qBound(0, volume, 100);
    if (sliderVoice->value() != volume) {
        sliderVoice->setValue(volume);  // comes back here through valueChanged
        return;
    }
    sliderVoice->setToolTip(QStringLiteral("%1%").arg(volume));
    // Also unmutes: a volume the operator sets is meant to be heard.
    Ctl()->SetVolume(Panel(), static_cast<unsigned short>(volume));
    btnVoice->setChecked(false);
    btnVoice->setToolTip(tr("voice_audio_on"));
    btnVoice->setIcon(style()->standardIcon(QStyle::SP_MediaVolume));
}

void MainWindow::on_btnVoice_clicked() {
    ToggleMute();
}

void MainWindow::ToggleMute() {
    const bool mute = !Ctl()->GetMute();
    Ctl()->SetMute(Panel(), mute);
    btnVoice->setChecked(mute);
    btnVoice->setToolTip(mute ? tr("voice_mute") : tr("voice_audio_on"));
    btnVoice->setIcon(style()->standardIcon(mute ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
}

void MainWindow::on_btnSnap_clicked() {
    Snapshot(SelectedView());
}

int MainWindow::Snapshot(int view, QString* path, bool showTip) {
    CPlayerContext* ctx = CPlayerContext::Instance();
    const int format = ctx->settings.capPicFormat;
    const QString folder = ctx->settings.capPicFolder;
    int result = LUMO_ERR_WRITE;
    CLumoString saved;
    // The folder may not exist yet (the default one on a first run, or one removed since).
    if (QDir().mkpath(folder)) {
        const std::string target =
            LumoRecordAddress::WriteFolder("pic", format == 3 ? "jpg" : "bmp", QDir::cleanPath(folder).toUtf8().toStdString())
                .Build();
        result = Ctl()->Snapshot(Panel(), view, CLumoString(target), format, &saved);
    }
    const QString savedPath = QString::fromUtf8(saved.GetBuffer());
    if (path) *path = result == 0 ? savedPath : QString();
    if (showTip)
        ShowTip(tr("snap_done"), result == 0 ? tr("snap_success") : tr("snap_fail"), result == 0 ? savedPath : QString(),
                3000);
    return result;
}

void MainWindow::ShowTip(const QString& title, const QString& text, const QString& path, int autoCloseMs) {
    // A result tip with a file shows its path; one that closes by itself is a result tip (mode 1).
    DialogTip tip(title, text, this, autoCloseMs > 0 ? 1 : 0, !path.isEmpty());
    if (!path.isEmpty()) tip.SetFileInfo(QString(), path);
    if (autoCloseMs > 0) tip.StartAutoClose(autoCloseMs);
    tip.exec();
}

void MainWindow::OnStreamLost(int view, void* player, const QString& url, int result) {
    if (view < 0 || view >= VIEW_COUNT) return;
    // A view stopped or given something else since the report holds no longer this player: the
    // operator moved on himself, there is nothing to tell.
    if (!player || Ctl()->GetPlayer(view) != player) return;
    const QString masked = VantelMaskUrl(url);
    qWarning("view %d lost the stream %s (%s)", view + 1, qPrintable(masked), LumoCoreGetErrorText(result));
    CloseView(view);
    ShowTip(tr("tip"), tr("stream_lost") + QStringLiteral(": %1 %2, %3").arg(tr("stream_view")).arg(view + 1).arg(masked),
            QString(), 0);
}
