#include "lumoc/playback/playerwidget.h"

#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QMutexLocker>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "LumoCClient/LumoCClient.h"
#include "LumoCore/LumoCore.h"
#include "LumoCore/playeropener.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/vantelutility.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "lumoc/appsignal.h"
#include "lumoc/playback/playericons.h"
#include "ui_lumocplayer.h"

namespace {

// The file name in a path written with '/' or '\\'.
QString LastComponent(const QString& path) {
    const int cut = qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

}  // namespace

PlayerWidget::PlayerWidget(int mode, QWidget* parent)
    : QWidget(parent), opener(std::make_unique<lumocore::PlayerOpener>(this)), mode(mode) {
    ui = new Ui::lumocplayer;
    ui->setupUi(this);
    setObjectName(QStringLiteral("lumocplayer"));
    SetUp();
    connect(panel, &INFRA::VideoPanel::SignalPanelFullScreen, this, &PlayerWidget::SignalPanelFullScreen);
    connect(panel, &INFRA::VideoPanel::SignalPanelExitFullScreen, this,
            &PlayerWidget::SignalPanelExitFullScreen);
}

PlayerWidget::~PlayerWidget() {
    CancelOpen();
    DetachAppSignal(appCallback, &ILumoCallback::OnSignal);
    delete appCallback;
    appCallback = nullptr;
    // Stopping and closing ends the player's thread, so no event reaches the callback after this.
    void* p = player.exchange(nullptr);
    LumoPlayerStop(p);
    LumoPlayerClose(p);
    LumoPlayerTaskDelete(task);
    task = nullptr;
    delete panel;
    panel = nullptr;
    delete timer;
    timer = nullptr;
    delete playerCallback;
    playerCallback = nullptr;
    if (!files.IsEmpty()) files.Clear();
    delete ui;
}

void PlayerWidget::SetUp() {
    ui->widgetList->hide();
    files.Clear();

    playerCallback = new ILumoCallback(this, &PlayerWidget::OnPlayerSignal);

    panel = new INFRA::VideoDisplayPanel(ui->widgetPlayWindow);
    auto* layout = new QVBoxLayout(ui->widgetPlayWindow);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(panel);
    panel->SetGridLayout(1, 1, -1, -1);

    LumoPlayerTaskCreate(&task, 1);

    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &PlayerWidget::OnTimer);
    connect(this, &PlayerWidget::OnSignalStopPlay, this, &PlayerWidget::OnStopPlay);
    connect(ui->playerbtnstop, &QToolButton::clicked, this, &PlayerWidget::OnStopPlay);
    connect(ui->playerbtnplay, &QToolButton::clicked, this, &PlayerWidget::Play);
    connect(ui->playerbtnfaster, &QToolButton::clicked, this, &PlayerWidget::OnFaster);
    connect(ui->playerbtnsnap, &QToolButton::clicked, this, &PlayerWidget::OnSnap);
    connect(ui->playerbtnpause, &QToolButton::clicked, this, &PlayerWidget::OnPause);
    connect(ui->playerbtnslower, &QToolButton::clicked, this, &PlayerWidget::OnSlower);
    connect(ui->sliderProgress, &QSlider::valueChanged, this, &PlayerWidget::OnSetProgress);
    connect(ui->sliderProgress, &QSlider::sliderPressed, this, &PlayerWidget::OnSliderPressed);
    connect(ui->sliderProgress, &QSlider::sliderReleased, this, &PlayerWidget::OnSliderReleased);

    // A drag seeks once, when the slider is let go.
    ui->sliderProgress->setTracking(false);

    timer->start(1000);
    OnUpdateState(StateIdle);

    appCallback = new ILumoCallback(this, &PlayerWidget::OnAppSignal);
    AttachAppSignal(appCallback, &ILumoCallback::OnSignal);

    // Default pictures; the program's style sheets may replace them.
    const struct {
        QToolButton* button;
        PlayerIcon icon;
    } pictures[] = {{ui->playerbtnsnap, PlayerIcon::Snapshot}, {ui->playerbtnslower, PlayerIcon::Slower},
                    {ui->playerbtnplay, PlayerIcon::Play},     {ui->playerbtnpause, PlayerIcon::Pause},
                    {ui->playerbtnstop, PlayerIcon::Stop},     {ui->playerbtnfaster, PlayerIcon::Faster}};
    for (const auto& p : pictures) {
        p.button->setIcon(MakePlayerIcon(p.icon));
        p.button->setToolTipDuration(10000);
    }
    RetranslateTips();
}

void PlayerWidget::RetranslateTips() {
    ui->playerbtnsnap->setToolTip(QObject::tr("K3540_Snapshot"));
    ui->playerbtnslower->setToolTip(QObject::tr("K3531_Slow"));
    ui->playerbtnplay->setToolTip(QObject::tr("K3533_Play"));
    ui->playerbtnpause->setToolTip(QObject::tr("K3530_Pause"));
    ui->playerbtnstop->setToolTip(QObject::tr("K3534_Stop"));
    ui->playerbtnfaster->setToolTip(QObject::tr("K3532_Fast"));
}

void PlayerWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        RetranslateTips();
    }
    QWidget::changeEvent(event);
}

INFRA::VideoGrid* PlayerWidget::Cell() const {
    return panel ? panel->GetIndexGrid(0) : nullptr;
}

QWidget* PlayerWidget::CellWindow() const {
    INFRA::VideoGrid* cell = Cell();
    return cell ? cell->GetPlayerWnd() : nullptr;
}

void PlayerWidget::ShowError(const QString& text) {
    lastError = text;
    INFRA::VideoGrid* cell = Cell();
    if (cell && cell->GetVideoWindow()) cell->GetVideoWindow()->SetInfoText(text);
}

// ---------------------------------------------------------------------------------------------
// The list.

int PlayerWidget::SetFileInfo(IVantelData* row) {
    auto* file = dynamic_cast<IKestoFileInfoAV*>(row);
    if (!file) return 0;
    auto* desc = new CLumoFileDesc();
    desc->Setup(file->GetInfo());
    desc->SetURI(file->GetURI());
    files.Append(desc);
    if (!files.IsEmpty()) OnUpdateState(StateLoaded);
    return 0;
}

int PlayerWidget::SetFileList(CLumoFileDescList* list) {
    if (!files.IsEmpty()) files.Clear();
    if (list) files = *list;
    return 0;
}

int PlayerWidget::AddFile(CLumoFileDesc* desc) {
    if (!desc) return -1;
    files.Append(desc);
    OnUpdateState(StateLoaded);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Texts and arithmetic.

QString PlayerWidget::ClockText(qint64 ms) {
    const qint64 seconds = ms > 0 ? ms / 1000 : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg((seconds % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString PlayerWidget::MakeTitle(const CLumoFileDesc& head) {
    QString name = QString::fromUtf8(head.GetFileName());
    if (name.isEmpty()) {
        const std::string uri = head.GetURI();
        LumoRecordAddress address;
        if (LumoRecordAddress::Parse(uri, &address)) {
            // A record address names its file (a path for local records).
            name = LastComponent(QString::fromUtf8(address.Get("filename").c_str()));
        } else if (LumoRecordAddress::HasRecordScheme(uri)) {
            name = QString::fromUtf8(uri.c_str());  // malformed: shown as it is
        } else {
            // "file:" URLs and plain paths.
            name = LastComponent(QString::fromUtf8(uri.c_str()));
        }
    }
    const CLumoString cuid = head.GetCUID();
    const QString fileName = QObject::tr("K3706_FileName") + QStringLiteral(" : ") + name;
    if (CLumoString::IsEmpty(cuid.GetBuffer())) return fileName;
    return QObject::tr("K4781_CUID: ") + QString::fromUtf8(cuid.GetBuffer()) + QObject::tr("K4782_--->") +
           fileName;
}

int PlayerWidget::SliderValue(qint64 elapsed, qint64 span) {
    if (span <= 0) return 0;
    const double percent = double(qMin(elapsed, span)) * 100.0 / double(span);
    return qBound(0, int(percent), 99);
}

CLumoTime PlayerWidget::SeekTarget(const CLumoTime& start, const CLumoTime& end, int value) {
    CLumoTime target = start;
    const qint64 span = CLumoTime::GetTimeSpan(end, start);
    if (span <= 0) return target;
    // 64-bit signed and clamped: no wrap for long or inverted spans.
    const qint64 offset = qBound<qint64>(0, span * qBound(0, value, 100) / 100, span);
    target.Add(offset);
    return target;
}

int PlayerWidget::FasterSpeed(int s) {
    const int n = s > 0 ? 2 * s : (s < 0 ? s / 2 : 0);
    if (n == -1) return 1;
    if (n > 8) return s;
    return n;
}

int PlayerWidget::SlowerSpeed(int s) {
    if (s == 1) return -2;
    const int n = s > 0 ? s / 2 : (s < 0 ? 2 * s : 0);
    if (n < -8) return s;
    return n;
}

QString PlayerWidget::PlayErrorText(int code) {
    switch (code) {
        case LUMO_ERR_NOTFOUND:
            return QObject::tr("K7901_PlayFileMissing");
        case LUMO_ERR_EMPTY:
            return QObject::tr("K7902_PlayFileEmpty");
        case LUMO_ERR_FORMAT:
        case LUMO_ERR_NOVIDEO:
        case LUMO_ERR_IO:
            return QObject::tr("K7903_PlayFileDamaged");
        default:
            return QObject::tr("K7904_PlayFailed");
    }
}

void PlayerWidget::ScaleOfOption(int displayScale, int* mode, float* ratio) {
    // The video page's display scale, in the order of its list: 0 adaptive (fill the view),
    // 1 16:9, 2 4:3, 3 1:1 (the video's own shape).
    switch (displayScale) {
        case 0:
            *mode = LUMO_SCALE_FILL;
            *ratio = 0.0f;
            break;
        case 1:
            *mode = LUMO_SCALE_RATIO;
            *ratio = 16.0f / 9.0f;
            break;
        case 2:
            *mode = LUMO_SCALE_RATIO;
            *ratio = 4.0f / 3.0f;
            break;
        default:
            *mode = LUMO_SCALE_ORIGIN;
            *ratio = 0.0f;
            break;
    }
}

void PlayerWidget::ApplyDisplayScale(void* p) {
    if (!p) return;
    int mode = LUMO_SCALE_FILL;
    float ratio = 0.0f;
    ScaleOfOption(LumoCConfiguration::GetLumoCConfig()->GetVideoOption()->displayScale, &mode, &ratio);
    LumoPlayerSetDisplayScale(p, mode, ratio);
}

// ---------------------------------------------------------------------------------------------
// Play, poll, seek.

int PlayerWidget::Play() {
    if (state == StatePaused && player.load()) {
        OnUpdateState(StatePlaying);
        return LumoPlayerResume(player.load());
    }
    if (state == StateOpening) return 0;  // one open at a time: its answer is on the way

    // Nothing to play: no player is made and nothing changes.
    CLumoFileDesc* head = files.GetHead();
    if (!head) return -1;

    panel->CreatePlayerWnd(0);
    QWidget* window = CellWindow();
    if (!window) return -1;

    // Playing again while playing starts the list over, on a new player.
    if (void* old = player.exchange(nullptr)) {
        Cell()->DelegatePainting(nullptr);
        LumoPlayerStop(old);
        LumoPlayerClose(old);
    }
    void* made = nullptr;
    const int rc = LumoPlayerCreate(&made, window, task);
    if (rc != 0) {
        ShowError(PlayErrorText(rc));
        return rc;
    }
    player.store(made);
    LumoPlayerAttachStream(made, playerCallback, &ILumoCallback::OnSignal);

    timeStart = head->GetTimeS();
    qint64 total = 0;
    for (const CLumoFileDesc* d : files) {
        total += CLumoTime::GetTimeSpan(d->GetTimeE(), d->GetTimeS());
        timeEnd = d->GetTimeE();
    }
    ui->labelProgressE->setText(ClockText(total));
    ui->labelProgressS->setText(ClockText(total));

    if (title.isEmpty()) title = MakeTitle(*head);

    stateBeforeOpen = state == StatePlaying ? StateLoaded : state;
    OnUpdateState(StateOpening);
    ShowError(QObject::tr("K7920_PlayOpening"));
    opener->Open(made, files, [this](void* p, int rc) { OnOpenFinished(p, rc); });
    return 0;
}

void PlayerWidget::OnOpenFinished(void* p, int rc) {
    if (rc == 0) rc = LumoPlayerStart(p);
    if (rc != 0) {
        VantelDBG_Printf_f(0x7fff, 2, "PlayerWidget::Play", "open failed: %d (%s)", rc,
                           LumoCoreGetErrorText(rc));
        player.store(nullptr);
        LumoPlayerStop(p);
        LumoPlayerClose(p);
        ShowError(PlayErrorText(rc));
        OnUpdateState(stateBeforeOpen);
        if (stateBeforeOpen == StateStopped) ui->playerbtnplay->setEnabled(true);  // as after a stop
        emit OnSignalPlayFailed(rc);
        return;
    }

    // The player plays from the start of the list's first file.
    ApplyDisplayScale(p);
    LumoPlayerListen(p, 1);

    INFRA::VideoGrid* cell = Cell();
    cell->SetStop(false);
    cell->DelegatePainting(p);
    ShowError(QString());

    OnUpdateState(StatePlaying);
    emit OnSignalStarted();
}

void PlayerWidget::CancelOpen() {
    if (!opener->Pending()) return;
    player.store(nullptr);
    opener->Cancel();
}

void PlayerWidget::OnTimer() {
    if (state == StateOpening) return;
    void* p = player.load();
    unsigned bits = 0;
    if (LumoPlayerGetState(p, &bits) != 0) return;
    if (bits & (0x20 | 0x01)) return;
    if (bits & 0x40) LumoPlayerRefresh(p, CellWindow(), 0);

    CLumoTime now;
    if (LumoPlayerGetPlaybackTime(p, &now) != 0) return;
    const qint64 elapsed = CLumoTime::GetTimeSpan(now, timeStart);
    ui->labelProgressS->setText(ClockText(elapsed));
    if (!sliderHeld) SetSliderQuietly(SliderValue(elapsed, CLumoTime::GetTimeSpan(timeEnd, timeStart)));
}

void PlayerWidget::SetSliderQuietly(int value) {
    const QSignalBlocker quiet(ui->sliderProgress);
    ui->sliderProgress->setValue(value);
}

void PlayerWidget::OnSetProgress(int value) {
    if (state == StateOpening) return;  // nothing to seek in yet
    QMutexLocker lock(&seekMutex);
    void* p = player.load();
    if (!p) return;
    LumoPlayerSeekTime(p, SeekTarget(timeStart, timeEnd, value));
}

void PlayerWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (void* p = player.load()) LumoPlayerRefresh(p, CellWindow(), 0);
}

// ---------------------------------------------------------------------------------------------
// Buttons.

void PlayerWidget::OnFaster() {
    const int s = LumoPlayerTaskGetSpeed(task);
    const int n = FasterSpeed(s);
    if (n != s) LumoPlayerTaskSetSpeed(task, n);
}

void PlayerWidget::OnSlower() {
    const int s = LumoPlayerTaskGetSpeed(task);
    const int n = SlowerSpeed(s);
    if (n != s) LumoPlayerTaskSetSpeed(task, n);
}

void PlayerWidget::OnPause() {
    void* p = player.load();
    if (!p || state == StateOpening) return;
    LumoPlayerPause(p);
    LumoPlayerRefresh(p, CellWindow(), 0);
    OnUpdateState(StatePaused);
}

void PlayerWidget::OnStopPlay() {
    if (state == StateOpening) {
        // The operator gives up waiting: whatever the open answers later is not shown.
        CancelOpen();
        ShowError(QString());
        SetSliderQuietly(0);
        ui->labelProgressS->setText(QStringLiteral("00:00:00"));
        ui->labelProgressE->setText(QStringLiteral("00:00:00"));
        OnUpdateState(StateStopped);
        ui->playerbtnplay->setEnabled(true);
        return;
    }
    void* p = player.load();
    if (!p) return;
    SetSliderQuietly(0);
    ui->labelProgressS->setText(QStringLiteral("00:00:00"));
    ui->labelProgressE->setText(QStringLiteral("00:00:00"));
    INFRA::VideoGrid* cell = Cell();
    cell->DelegatePainting(nullptr);
    LumoPlayerStop(p);
    LumoPlayerClose(p);
    // Closing frees the player: the next play makes a new one on the same task (and speed).
    player.store(nullptr);
    OnUpdateState(StateStopped);
    ui->playerbtnplay->setEnabled(true);
    cell->StopVideo();
    cell->ResetDisplay();
}

void PlayerWidget::OnSnap() {
    LumoCConfiguration* config = LumoCConfiguration::GetLumoCConfig();
    const QString folder =
        QDir(config->GetFileOption()->pictureFolder).filePath(VantelUtility::GetSnapshotPath(2, 0, 0));
    const bool bmp = config->GetVideoOption()->captureFormat == 1;
    const char* formatText = bmp ? "bmp" : "jpg";
    const int code = bmp ? LUMO_PICTURE_BMP : LUMO_PICTURE_JPEG;

    // Paths cross the media layer in UTF-8.
    const CLumoString url(
        LumoRecordAddress::WriteFolder("pic", formatText, folder.toUtf8().toStdString()).Build());
    CLumoString saved;
    const int rc = LumoPlayerSnapshot(player.load(), 0, url, &saved, code);
    if (rc != 0) {
        INFRA::MessageBox::Warning(this, QString(), QObject::tr("K0805_CaptureFailed"));
        return;
    }
    // The desktop's viewer opens the picture; the path never passes through a shell.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromUtf8(saved.GetBuffer())));
}

// ---------------------------------------------------------------------------------------------
// State display and events.

void PlayerWidget::OnUpdateState(PlayerWidget::State s) {
    state = s;
    QToolButton* all[] = {ui->playerbtnsnap,  ui->playerbtnslower, ui->playerbtnplay,
                          ui->playerbtnpause, ui->playerbtnstop,   ui->playerbtnfaster};
    for (QToolButton* b : all) b->setEnabled(false);
    ui->playerbtnpause->hide();
    ui->playerbtnplay->show();

    if ((s & ~StateStopped) == 0) return;
    if (s & StateOpening) {
        ui->playerbtnstop->setEnabled(true);  // gives up the open
        return;
    }
    if (s & StateLoaded) {
        if (playMode != 1) ui->playerbtnstop->setEnabled(true);
        ui->playerbtnplay->setEnabled(true);
        return;
    }
    if (s & StatePlaying) {
        ui->playerbtnpause->show();
        ui->playerbtnpause->setEnabled(true);
        ui->playerbtnplay->hide();
        ui->playerbtnstop->setEnabled(true);
        ui->playerbtnfaster->setEnabled(true);
        ui->playerbtnslower->setEnabled(true);
        ui->playerbtnsnap->setEnabled(true);
        return;
    }
    if (s & StatePaused) {
        ui->playerbtnsnap->setEnabled(true);
        ui->playerbtnplay->show();
        ui->playerbtnpause->hide();
        ui->playerbtnpause->setEnabled(false);
        ui->playerbtnstop->setEnabled(true);
        ui->playerbtnplay->setEnabled(true);
        return;
    }
}

int PlayerWidget::OnPlayerSignal(CLumoObject* owner, int code, void* sender, void*, void*) {
    auto* self = dynamic_cast<PlayerWidget*>(owner);
    if (!self) return 0;
    const void* own = self->player.load();
    // Runs on the player's thread: only the signal crosses to the GUI thread (queued).
    if (code == EventEndOfList && own && sender == own) emit self->OnSignalStopPlay();
    return 0;
}

int PlayerWidget::OnAppSignal(CLumoObject* owner, int code, void*, void*, void*) {
    auto* self = dynamic_cast<PlayerWidget*>(owner);
    if (!self) return 0;
    if (code == AppCodeVideoOptions) {
        if (void* p = self->player.load()) ApplyDisplayScale(p);
    }
    return 0;
}
