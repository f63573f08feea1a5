#include "lumoc/playback/lumocplayer.h"

#include "lumoc/playback/playerwidget.h"

LumoCPlayer::LumoCPlayer(QWidget* parent)
    : INFRA::FrameLessDialog(parent, Qt::WindowCloseButtonHint), widget(new PlayerWidget(1, this)) {
    SetMainWidget(widget, true);
    resize(800, 600);
    SetResizable(true);
    setContentsMargins(0, 0, 0, 0);
    connect(widget, &PlayerWidget::OnSignalStarted, this, &LumoCPlayer::OnStart);
    // The view's full screen is a window of its own: this (modal) dialog steps aside meanwhile,
    // or it would block the Escape and the double click that bring the view back.
    connect(widget, &PlayerWidget::SignalPanelFullScreen, this, [this] { OnSigFullScreen(true); });
    connect(widget, &PlayerWidget::SignalPanelExitFullScreen, this, [this] { OnSigFullScreen(false); });
}

// The hosted widget's destructor stops and closes its player.
LumoCPlayer::~LumoCPlayer() = default;

int LumoCPlayer::Play() {
    return widget->Play();
}

int LumoCPlayer::AddFile(CLumoFileDesc* desc) {
    return widget->AddFile(desc);
}

int LumoCPlayer::SetFileList(CLumoFileDescList* list) {
    return widget->SetFileList(list);
}

int LumoCPlayer::SetFileInfo(IVantelData* row) {
    return widget->SetFileInfo(row);
}

void LumoCPlayer::SetTitle(const QString& title) {
    widget->SetTitle(title);
}

void LumoCPlayer::OnStart() {
    INFRA::FramelessForm::SetTitle(widget->GetTitle());
}

void LumoCPlayer::OnSigFullScreen(bool full) {
    if (full)
        hide();
    else
        show();
}
