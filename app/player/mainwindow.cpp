// The main window's frame, its views and the state poll, and the hand-over of player events from
// the media layer's threads to the GUI thread.
#include "player/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopWidget>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSizeGrip>
#include <QSlider>
#include <QStyle>
#include <QTime>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <QWidgetAction>

#include "LumoCore/LumoCore.h"
#include "VantelCore/urlmask.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "common/playlist/playlistwidget.h"
#include "player/downloadmanager.h"
#include "player/playcontroler.h"
#include "player/playercontext.h"

std::atomic<MainWindow*> MainWindow::s_current{nullptr};

namespace {

CPlayControler* Ctl() { return CPlayControler::Instance(); }
void* Panel() { return CPlayControler::Instance()->GetPanelHandle(); }

const Qt::WindowFlags kFrameFlags = Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                                    Qt::WindowMaximizeButtonHint | Qt::Window;

QPushButton* MakeButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon = QStyle::SP_CustomBase) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setFlat(true);
    b->setFocusPolicy(Qt::NoFocus);
    // The skin styles the buttons by name; the style's icons stand in when it does not.
    if (icon != QStyle::SP_CustomBase) b->setIcon(parent->style()->standardIcon(icon));
    return b;
}

// The time of day of a record time ("HH:mm:ss"); empty for an empty time.
QString TimeOfDay(const CLumoTime& t) {
    if (t.IsEmpty()) return QString();
    return QTime(t.GetHour(), t.GetMinute(), t.GetSecond()).toString(Qt::TextDate);
}

// A frame picture (maximise, full screen) in the button's text colour: the style's own title-bar
// pictures are dark and vanish on a dark skin.
QIcon FrameIcon(const QWidget* button, bool corners) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(button->palette().color(QPalette::ButtonText), 1.5));
    if (corners) {
        for (const QPoint& c : {QPoint(2, 2), QPoint(14, 2), QPoint(2, 14), QPoint(14, 14)}) {
            const int dx = c.x() < 8 ? 4 : -4, dy = c.y() < 8 ? 4 : -4;
            p.drawLine(c, c + QPoint(dx, 0));
            p.drawLine(c, c + QPoint(0, dy));
        }
    } else {
        p.drawRect(QRectF(2.5, 3.5, 11, 9));
    }
    return QIcon(pm);
}

void Repolish(QWidget* w) {
    w->style()->unpolish(w);
    w->style()->polish(w);
    w->update();
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    s_current.store(this);
    setObjectName(QStringLiteral("MainWindow"));
    setWindowFlags(kFrameFlags);
    InitUi();
    InitPanel();
    InitPlayList();
    InitMenus();

    connect(this, &MainWindow::onViewSel, this, &MainWindow::on_viewWindow_sel);
    connect(this, &MainWindow::onHandoffFile, this, &MainWindow::on_playfile_handoff, Qt::QueuedConnection);
    connect(this, &MainWindow::onLoginResult, this, &MainWindow::on_login_result, Qt::QueuedConnection);
    connect(this, &MainWindow::onCutDone, this, &MainWindow::on_cut_done, Qt::QueuedConnection);

    m_playerCallback.reset(new ILumoCallback(this, &MainWindow::OnPlayerEvent));
    m_clipCallback.reset(new ILumoCallback(this, &MainWindow::OnClipEvent));
    m_timerId = startTimer(1000);
}

MainWindow::~MainWindow() {
    // No player and no clip may report to this window once it is gone: end them before the
    // callbacks go. A clip stopped half-way leaves no file.
    CDownloadManager::Instance()->StopAll();
    Ctl()->StopAllViews();
    s_current.store(nullptr);
    Ctl()->DestroyPanel();
}

// ---------------------------------------------------------------------------------------------
// Construction.

void MainWindow::InitUi() {
    resize(1040, 624);
    setMinimumSize(1040, 624);
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Title bar.
    widgetTittle = new QWidget(central);
    widgetTittle->setObjectName(QStringLiteral("widgetTittle"));
    widgetTittle->setMinimumHeight(36);
    auto* title = new QHBoxLayout(widgetTittle);
    title->setContentsMargins(8, 2, 4, 2);
    labelLogo = new QLabel(widgetTittle);
    labelLogo->setObjectName(QStringLiteral("labelLogo"));
    labelLogo->setFixedSize(26, 26);
    labelLogo->setScaledContents(true);
    labelLogo->setPixmap(QApplication::windowIcon().pixmap(26, 26));
    labelAppName = new QLabel(widgetTittle);
    labelAppName->setObjectName(QStringLiteral("labelAppName"));
    btnBasicMenu = MakeButton(widgetTittle, "btnBasicMenu", QStyle::SP_TitleBarMenuButton);
    btnStick = MakeButton(widgetTittle, "btnStick", QStyle::SP_TitleBarShadeButton);
    btnMin = MakeButton(widgetTittle, "btnMin", QStyle::SP_TitleBarMinButton);
    btnMax = MakeButton(widgetTittle, "btnMax", QStyle::SP_TitleBarMaxButton);
    btnClose = MakeButton(widgetTittle, "btnClose", QStyle::SP_TitleBarCloseButton);
    title->addWidget(labelLogo);
    title->addWidget(labelAppName);
    title->addStretch(1);
    for (QPushButton* b : {btnBasicMenu, btnStick, btnMin, btnMax, btnClose}) title->addWidget(b);
    outer->addWidget(widgetTittle);

    auto* body = new QHBoxLayout();
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    outer->addLayout(body, 1);

    // Play-list pane.
    widgetList = new QWidget(central);
    widgetList->setObjectName(QStringLiteral("widgetList"));
    widgetList->setFixedWidth(270);
    auto* list = new QVBoxLayout(widgetList);
    list->setContentsMargins(0, 0, 0, 0);
    list->setSpacing(0);
    auto* listHead = new QHBoxLayout();
    listHead->setContentsMargins(8, 4, 4, 4);
    labelListName = new QLabel(widgetList);
    labelListName->setObjectName(QStringLiteral("labelListName"));
    btnAddFiles = MakeButton(widgetList, "btnAddFiles", QStyle::SP_FileDialogNewFolder);
    listHead->addWidget(labelListName, 1);
    listHead->addWidget(btnAddFiles);
    list->addLayout(listHead);
    widgetSearch = new QWidget(widgetList);
    widgetSearch->setObjectName(QStringLiteral("widgetSearch"));
    auto* search = new QHBoxLayout(widgetSearch);
    search->setContentsMargins(4, 2, 4, 2);
    labelSearchName = new QLabel(widgetSearch);
    labelSearchName->setObjectName(QStringLiteral("labelSearchName"));
    lineEditSearchParam = new QLineEdit(widgetSearch);
    lineEditSearchParam->setObjectName(QStringLiteral("lineEditSearchParam"));
    btnSearch = new QPushButton(widgetSearch);
    btnSearch->setObjectName(QStringLiteral("btnSearch"));
    search->addWidget(labelSearchName);
    search->addWidget(lineEditSearchParam, 1);
    search->addWidget(btnSearch);
    list->addWidget(widgetSearch);
    m_playfileList = new PlayListWidget(widgetList);
    m_playfileList->setObjectName(QStringLiteral("m_playfileList"));
    m_playfileList->setContextMenuPolicy(Qt::CustomContextMenu);
    m_playfileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_playfileList->setFrameShape(QFrame::NoFrame);
    list->addWidget(m_playfileList, 1);
    auto* listFoot = new QHBoxLayout();
    listFoot->setContentsMargins(4, 4, 4, 4);
    btnClearList = MakeButton(widgetList, "btnClearList", QStyle::SP_DialogResetButton);
    btnListMode = MakeButton(widgetList, "btnListMode", QStyle::SP_BrowserReload);
    btnFilter = MakeButton(widgetList, "btnFilter", QStyle::SP_FileDialogContentsView);
    listFoot->addWidget(btnClearList);
    listFoot->addStretch(1);
    listFoot->addWidget(btnListMode);
    listFoot->addWidget(btnFilter);
    list->addLayout(listFoot);
    body->addWidget(widgetList);

    // Playing area.
    auto* play = new QVBoxLayout();
    play->setContentsMargins(0, 0, 0, 0);
    play->setSpacing(2);
    widgetPlayWindow = new QWidget(central);
    widgetPlayWindow->setObjectName(QStringLiteral("widgetPlayWindow"));
    auto* panelLayout = new QVBoxLayout(widgetPlayWindow);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    play->addWidget(widgetPlayWindow, 1);
    labelFileInfo = new QLabel(central);
    labelFileInfo->setObjectName(QStringLiteral("labelFileInfo"));
    labelFileInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    labelFileInfo->setMinimumWidth(1);
    labelFileInfo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    labelFileInfo->setContentsMargins(8, 0, 8, 0);
    play->addWidget(labelFileInfo);
    auto* progress = new QHBoxLayout();
    progress->setContentsMargins(8, 0, 8, 0);
    labelProgressS = new QLabel(QStringLiteral("00:00:00"), central);
    labelProgressS->setObjectName(QStringLiteral("labelProgressS"));
    sliderProgress = new QSlider(Qt::Horizontal, central);
    sliderProgress->setObjectName(QStringLiteral("sliderProgress"));
    labelProgressE = new QLabel(QStringLiteral("00:00:00"), central);
    labelProgressE->setObjectName(QStringLiteral("labelProgressE"));
    progress->addWidget(labelProgressS);
    progress->addWidget(sliderProgress, 1);
    progress->addWidget(labelProgressE);
    play->addLayout(progress);
    auto* controls = new QHBoxLayout();
    controls->setContentsMargins(8, 0, 16, 4);
    btnHide = MakeButton(central, "btnHide", QStyle::SP_ArrowLeft);
    btnSlower = MakeButton(central, "btnSlower", QStyle::SP_MediaSeekBackward);
    btnPlayorPause = MakeButton(central, "btnPlayorPause", QStyle::SP_MediaPlay);
    btnStop = MakeButton(central, "btnStop", QStyle::SP_MediaStop);
    btnFrame = MakeButton(central, "btnFrame", QStyle::SP_MediaSkipForward);
    btnFaster = MakeButton(central, "btnFaster", QStyle::SP_MediaSeekForward);
    btnSnap = MakeButton(central, "btnSnap", QStyle::SP_DialogSaveButton);
    btnCut = MakeButton(central, "btnCut");
    btnCut->setIcon(QIcon(QStringLiteral(":/VantelPlayer/Resources/btn_cut.png")));
    if (btnCut->icon().isNull()) btnCut->setText(QStringLiteral("\u2702"));
    btnFullScreen = MakeButton(central, "btnFullScreen", QStyle::SP_TitleBarMaxButton);
    btnSplit = MakeButton(central, "btnSplit", QStyle::SP_FileDialogDetailedView);
    btnVoice = MakeButton(central, "btnVoice", QStyle::SP_MediaVolume);
    sliderVoice = new QSlider(Qt::Horizontal, central);
    sliderVoice->setObjectName(QStringLiteral("sliderVoice"));
    sliderVoice->setMaximumWidth(70);
    controls->addWidget(btnHide);
    controls->addStretch(1);
    for (QPushButton* b : {btnSlower, btnPlayorPause, btnStop, btnFrame, btnFaster}) controls->addWidget(b);
    controls->addStretch(1);
    for (QPushButton* b : {btnCut, btnSnap, btnFullScreen, btnSplit, btnVoice}) controls->addWidget(b);
    controls->addWidget(sliderVoice);
    play->addLayout(controls);
    body->addLayout(play, 1);

    m_sizeGrip = new QSizeGrip(this);
    m_sizeGrip->setFixedSize(12, 12);

    // The icon buttons keep the skin's colours but not the size of its text buttons.
    setStyleSheet(QStringLiteral("QPushButton[flat=\"true\"] { min-width: 0px; padding: 3px; }"));
    btnMax->setIcon(FrameIcon(btnMax, false));
    btnFullScreen->setIcon(FrameIcon(btnFullScreen, true));
    m_playfileList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    CPlayerContext* ctx = CPlayerContext::Instance();
    widgetSearch->hide();
    labelAppName->setText(ctx->appTitle);
    setWindowTitle(ctx->appTitle);
    btnPlayorPause->setCheckable(true);
    btnVoice->setCheckable(true);
    btnHide->setCheckable(true);
    btnCut->setCheckable(true);
    ResetControlButtons();
    ResetProgress();
    sliderVoice->setRange(0, 100);
    sliderVoice->setValue(Ctl()->GetVolume());
    sliderVoice->setToolTip(QStringLiteral("%1%").arg(sliderVoice->value()));
    sliderVoice->setToolTipDuration(10000);
    btnSplit->setProperty("SplitWindow", QStringLiteral("one"));
    ApplyStick(ctx->settings.stick);
    setAcceptDrops(true);
    sliderProgress->installEventFilter(this);

    // Checked means playing: the button then offers the pause.
    connect(btnPlayorPause, &QPushButton::toggled, this, [this](bool playing) {
        btnPlayorPause->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    });
    connect(btnClose, &QPushButton::clicked, this, &MainWindow::on_btnClose_clicked);
    connect(btnMax, &QPushButton::clicked, this, &MainWindow::on_btnMax_clicked);
    connect(btnMin, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(btnStick, &QPushButton::clicked, this, &MainWindow::on_btnStick_clicked);
    connect(btnSplit, &QPushButton::clicked, this, &MainWindow::on_btnSplit_clicked);
    connect(btnFullScreen, &QPushButton::clicked, this, &MainWindow::on_btnFullScreen_clicked);
    connect(btnHide, &QPushButton::clicked, this, &MainWindow::on_btnHide_clicked);
    connect(btnAddFiles, &QPushButton::clicked, this, &MainWindow::on_btnAddFiles_clicked);
    connect(btnClearList, &QPushButton::clicked, this, &MainWindow::on_btnClearList_clicked);
    connect(btnListMode, &QPushButton::clicked, this, &MainWindow::on_btnListMode_clicked);
    connect(btnFilter, &QPushButton::clicked, this, &MainWindow::on_btnFilter_clicked);
    connect(btnSearch, &QPushButton::clicked, this, &MainWindow::on_btnSearch_clicked);
    connect(lineEditSearchParam, &QLineEdit::returnPressed, this, &MainWindow::on_btnSearch_clicked);
    connect(m_playfileList, &QListWidget::doubleClicked, this, &MainWindow::on_m_playfileList_doubleClicked);
    connect(m_playfileList, &PlayListWidget::deleteItem, this, &MainWindow::on_item_deleted);
    connect(btnPlayorPause, &QPushButton::clicked, this, &MainWindow::on_btnPlayorPause_clicked);
    connect(btnStop, &QPushButton::clicked, this, &MainWindow::on_btnStop_clicked);
    connect(btnFrame, &QPushButton::clicked, this, &MainWindow::on_btnFrame_clicked);
    connect(btnFaster, &QPushButton::clicked, this, &MainWindow::on_btnFaster_clicked);
    connect(btnSlower, &QPushButton::clicked, this, &MainWindow::on_btnSlower_clicked);
    connect(sliderProgress, &QSlider::sliderPressed, this, &MainWindow::on_sliderProgress_sliderPressed);
    connect(sliderProgress, &QSlider::sliderMoved, this, &MainWindow::on_sliderProgress_sliderMoved);
    connect(sliderProgress, &QSlider::sliderReleased, this, &MainWindow::on_sliderProgress_sliderReleased);
    connect(sliderVoice, &QSlider::valueChanged, this, &MainWindow::on_sliderVoiceValue_changed);
    connect(btnVoice, &QPushButton::clicked, this, &MainWindow::on_btnVoice_clicked);
    connect(btnSnap, &QPushButton::clicked, this, &MainWindow::on_btnSnap_clicked);
    connect(btnCut, &QPushButton::clicked, this, &MainWindow::on_btnCut_clicked);
}

void MainWindow::InitPanel() {
    CPlayControler* ctl = Ctl();
    ctl->CoreInitialize();
    ctl->CreatePanel(widgetPlayWindow, 1, 1, CPlayerContext::Instance()->lostVideoLogoPath);
    INFRA::VideoDisplayPanel* panel = ctl->GetPanel();
    if (!panel) return;
    if (widgetPlayWindow->layout()->indexOf(panel) < 0) widgetPlayWindow->layout()->addWidget(panel);
    connect(panel, &INFRA::VideoPanel::SignalPanelFullScreen, this, &QWidget::hide);
    connect(panel, &INFRA::VideoPanel::SignalPanelExitFullScreen, this, &QWidget::show);
    // The controller's own connection comes first, so its selected view is already the new one.
    connect(panel, &INFRA::VideoPanel::SignalGridSelected, this, &MainWindow::on_viewWindow_sel);
    connect(panel, &INFRA::VideoPanel::SignalGridContextMenu, this, &MainWindow::onRightViewSel);
}

void MainWindow::InitPlayList() {
    CPlayerContext* ctx = CPlayerContext::Instance();
    const QByteArray name = ctx->settings.currentListName.toUtf8();
    CPlayControler* ctl = Ctl();
    ctl->CreatePlayList(name.constData(), 100);
    ctl->SelectPlayList(name.constData());
    ctl->SetPlayMode(Panel(), 1, 0);
    SetListModeButton(0);
    if (ctx->settings.exitKeepPlaylistFiles && !ctx->loadedPlayList.IsEmpty()) {
        std::vector<CLumoFile*> added;
        if (ctl->AddPlayListFiles(name.constData(), &ctx->loadedPlayList, &added) == 0) AddRows(added);
    }
    m_playfileList->setMouseTracking(true);
    const QList<QColor>& c = ctx->playListColors;
    // Without a skin file every colour would read black: the list keeps its own then.
    if (c.size() >= 6 && QFileInfo::exists(ctx->customIniPath))
        m_playfileList->SetColors(c[0], c[1], c[2], c[3], c[4], c[5]);
    Retranslate();
}

// ---------------------------------------------------------------------------------------------
// Views.

int MainWindow::SelectedView() const {
    return Ctl()->GetSelectedView(Panel());
}

void MainWindow::SelectView(int view) {
    INFRA::VideoDisplayPanel* panel = Ctl()->GetPanel();
    if (!panel || view < 0 || view >= VIEW_COUNT) return;
    panel->SetCurrentGrid(view);
    // The panel reports a selection made by hand only; say it here for one made in code.
    Ctl()->OnGridSelected(view);
    on_viewWindow_sel(view);
}

int MainWindow::ViewState(int view) const {
    int state = 0;
    if (Ctl()->GetState(Panel(), view, &state) != 0) return 0;
    return state;
}

CLumoFile* MainWindow::ViewFile(int view) const {
    CLumoFile* file = nullptr;
    Ctl()->GetViewFile(Panel(), view, &file);
    return file;
}

std::string MainWindow::ViewUrl(int view) const {
    CLumoString url;
    Ctl()->GetViewUrl(Panel(), view, &url);
    return url.Str();
}

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timerId) return;
    const int sel = SelectedView();
    for (int v = 0; v < VIEW_COUNT; ++v) {
        const int state = ViewState(v);
        if (v == sel) {
            if (!(state & STATE_OPEN)) continue;
            if (state & STATE_END)
                CloseView(v);
            else if (!m_sliderDragging)
                handlePlaySliderPerSec(v);
        } else if ((state & (STATE_OPEN | STATE_END)) == (STATE_OPEN | STATE_END)) {
            CloseView(v);
        }
    }
}

int MainWindow::CloseView(int view) {
    if (view < 0 || view >= VIEW_COUNT) return LUMO_ERR_PARAM;
    playlistClearPlayState(view);
    const int result = Ctl()->StopView(Panel(), view, m_playerCallback.get());
    m_cutMarked[view] = false;
    m_aspect[view] = ASPECT_FILL;
    m_playingViews &= quint16(~(1u << view));
    ApplyStick(m_stick);
    if (view == SelectedView()) {
        ResetControlButtons();
        ResetProgress();
        labelFileInfo->clear();
    }
    return result;
}

int MainWindow::playlistClearPlayState(int view) {
    if (view < 0 || view >= VIEW_COUNT) return -1;
    // A view plays one entry at a time: its mark goes from every row, also from one whose entry
    // the view no longer names (a removed current file).
    int found = -1;
    for (int row = 0; row < m_playfileList->count(); ++row) {
        if (m_playfileList->GetItemFlags(m_playfileList->item(row)) & (quint64(1) << view)) {
            m_playfileList->SetItemFlag(row, unsigned(view), false);
            LumoPrintf("playlistClearPlayState::idv = %d, lastrow = %d\n", view, row);
            found = row;
        }
    }
    return found >= 0 ? 0 : -1;
}

void MainWindow::MarkViewOpened(int view, int fileType) {
    m_cutMarked[view] = false;
    m_playingViews |= quint16(1u << view);
    RefreshControls(view, fileType);
    ApplyStick(m_stick);
}

void MainWindow::handlePlaySliderPerSec(int view) {
    // The progress row shows the selected view only.
    if (view != SelectedView()) return;
    CLumoFile* file = ViewFile(view);
    if (!file || file->type == CLumoFile::TYPE_STREAM) return;
    CLumoTime now;
    if (Ctl()->GetPlaybackTime(Panel(), view, &now) != 0) now.Empty();
    const qint64 length = file->timeE - file->timeS;
    const qint64 at = now.IsEmpty() ? 0 : now - file->timeS;
    sliderProgress->setMaximum(int(qMax<qint64>(0, length)));
    sliderProgress->setValue(int(qBound<qint64>(0, at, length)));
    const QString end = TimeOfDay(file->timeE);
    labelProgressE->setText(end.isEmpty() ? QStringLiteral("00:00:00") : end);
    const QString nowText = TimeOfDay(now);
    labelProgressS->setText(nowText.isEmpty() ? QStringLiteral("00:00:00") : nowText);
    sliderProgress->setToolTip(labelProgressS->text());
}

int MainWindow::SeekSelectedView(int seconds) {
    return SeekView(SelectedView(), seconds);
}

int MainWindow::SeekView(int view, qint64 seconds) {
    if ((ViewState(view) & (STATE_OPEN | STATE_END)) == (STATE_OPEN | STATE_END)) {
        if (view == SelectedView()) {
            ResetControlButtons();
            ResetProgress();
            UpdateFileInfo(view);
        }
        return LUMO_ERR_STATE;
    }
    CLumoFile* file = ViewFile(view);
    if (!file) return LUMO_ERR_BADPARAM;
    CLumoTime target = file->timeS;
    const qint64 length = qMax<qint64>(0, file->timeE - file->timeS);
    target.Add(qBound<qint64>(0, seconds, length) * 1000);
    return Ctl()->SeekTime(Panel(), view, &target);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == sliderProgress && event->type() == QEvent::MouseButtonPress && sliderProgress->isEnabled()) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && sliderProgress->width() > 0) {
            const double span = double(sliderProgress->maximum() - sliderProgress->minimum());
            const int v = int(sliderProgress->minimum() + double(me->pos().x()) / sliderProgress->width() * span);
            if (v != sliderProgress->value() && SeekSelectedView(v) == 0) {
                sliderProgress->setValue(v);
                UpdateFileInfo(SelectedView());
                ShowPlayState(SelectedView());
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::SetControlButtonsEnabled(bool on) {
    for (QPushButton* b : {btnStop, btnFaster, btnSlower, btnFrame, btnSnap, btnCut}) b->setEnabled(on);
}

void MainWindow::SetProgressEnabled(bool on) {
    sliderProgress->setEnabled(on);
    if (!on) {
        labelProgressS->setText(QStringLiteral("00:00:00"));
        labelProgressE->setText(QStringLiteral("00:00:00"));
        sliderProgress->setValue(0);
    }
}

void MainWindow::ShowPlayState(int view) {
    if (view != SelectedView()) return;
    const int state = ViewState(view);
    const bool playing = (state & (STATE_OPEN | STATE_END)) == STATE_OPEN && !(state & STATE_PAUSED);
    btnPlayorPause->setChecked(playing);
    btnPlayorPause->setToolTip(playing ? tr("pause") : tr("play"));
}

void MainWindow::ResetControlButtons() {
    SetControlButtonsEnabled(false);
    btnPlayorPause->setChecked(false);
    btnPlayorPause->setEnabled(true);
    btnPlayorPause->setToolTip(tr("play"));
    btnCut->setChecked(false);
}

void MainWindow::ResetProgress() {
    SetProgressEnabled(false);
    sliderProgress->setRange(0, 0);
    sliderProgress->setValue(0);
    sliderProgress->setToolTip(QStringLiteral("00:00:00"));
}

void MainWindow::RefreshControls(int view, int fileType) {
    // The control row shows the selected view only.
    if (view != SelectedView()) return;
    const int state = ViewState(view);
    const bool open = (state & (STATE_OPEN | STATE_END)) == STATE_OPEN;
    if (!open) {
        ResetControlButtons();
        ResetProgress();
        UpdateFileInfo(view);
        if (view >= 0 && view < VIEW_COUNT) m_cutMarked[view] = false;
        return;
    }
    if (fileType == CLumoFile::TYPE_STREAM) {
        ResetControlButtons();
        ResetProgress();
        UpdateFileInfo(view);
        btnPlayorPause->setEnabled(false);
        btnPlayorPause->setChecked(true);
        btnPlayorPause->setToolTip(tr("pause"));
        btnStop->setEnabled(true);
        btnSnap->setEnabled(true);
    } else if (fileType == CLumoFile::TYPE_LOCAL || fileType == CLumoFile::TYPE_DISK || fileType == 3) {
        SetControlButtonsEnabled(true);
        sliderProgress->setEnabled(true);
        UpdateFileInfo(view);
        handlePlaySliderPerSec(view);
        btnPlayorPause->setEnabled(true);
        ShowPlayState(view);
        btnCut->setChecked(m_cutMarked[view]);
    } else {
        // Open on a file the view no longer names (its row was removed): the rest of the row
        // stays, but the file line does not go on naming what another view showed.
        UpdateFileInfo(view);
    }
}

QString MainWindow::StatusText(int view) const {
    if (ViewState(view) & STATE_PAUSED) return tr("pause");
    int code = 1;
    Ctl()->GetSpeed(Panel(), view, &code);
    if (code == 1) return tr("play");
    if (code >= 2) return QStringLiteral("%1 x %2").arg(tr("speed")).arg(code);
    return QStringLiteral("%1 x 1/%2").arg(tr("speed")).arg(qAbs(code));
}

void MainWindow::UpdateFileInfo(int view) {
    if (view < 0 || view >= VIEW_COUNT || view != SelectedView()) return;
    CLumoFile* file = ViewFile(view);
    if (!file || file->name.empty() || (ViewState(view) & STATE_END)) {
        labelFileInfo->clear();
        return;
    }
    const QString name = QString::fromUtf8(file->name.c_str());
    QString text;
    if (file->type != CLumoFile::TYPE_UNKNOWN && file->type != CLumoFile::TYPE_STREAM)
        text = QStringLiteral("%1  %2  [%3]").arg(StatusText(view), name, QString::fromUtf8(CPlayerContext::FormatClipName(file->timeS, file->timeE).GetBuffer()));
    else
        text = QStringLiteral("%1  %2").arg(StatusText(view), name);
    labelFileInfo->setToolTip(text);
    const int width = qMax(40, labelFileInfo->width() - 16);
    labelFileInfo->setText(labelFileInfo->fontMetrics().elidedText(text, Qt::ElideRight, width));
}

// ---------------------------------------------------------------------------------------------
// Player events: on the media layer's threads, handed to the GUI thread by queued signals.

int MainWindow::OnPlayerEvent(CLumoObject* owner, int code, void* sender, void* p1, void* /*p2*/) {
    auto* window = dynamic_cast<MainWindow*>(owner);
    if (!window || !sender) return 0;
    // The view that holds the sending player; a player that no view holds any more is not
    // anyone's, and its report is dropped rather than laid on view 0.
    const int view = CPlayControler::Instance()->GetViewOfPlayer(sender);
    if (view < 0 || view >= VIEW_COUNT) return 0;
    if (code == LUMO_EVENT_NEXT_FILE) {
        const auto* desc = static_cast<const CLumoFileDesc*>(p1);
        if (desc && desc->GetURI()[0]) emit window->onHandoffFile(view, QString::fromUtf8(desc->GetURI()));
    } else if (code == LUMO_EVENT_LOGIN) {
        LumoPrintf("login result\n");
        const auto* login = static_cast<const LumoLoginEvent*>(p1);
        if (login)
            emit window->onLoginResult(view, QString::fromUtf8(login->url ? login->url : ""), login->result);
    } else if (code == LUMO_EVENT_STREAM_LOST) {
        const auto* lost = static_cast<const LumoStreamLostEvent*>(p1);
        if (!lost) return 0;
        const QString url = QString::fromUtf8(lost->url ? lost->url : "");
        const int result = lost->result;
        // Queued: the window checks on its own thread that the view still holds this player.
        QMetaObject::invokeMethod(
            window, [window, view, sender, url, result] { window->OnStreamLost(view, sender, url, result); },
            Qt::QueuedConnection);
    }
    return 0;
}

void MainWindow::on_playfile_handoff(int view, const QString& url) {
    if (view < 0 || view >= VIEW_COUNT) return;
    if (url.isEmpty()) {
        m_cutMarked[view] = false;
        return;
    }
    const std::string text = url.toUtf8().toStdString();
    playlistClearPlayState(view);
    const int row = FindRowByUrl(text);
    LumoPrintf("==== on_playfile_handoff, idv = %d, row = %d\n==== url = %s\n", view, row,
               VantelMaskUrl(text).c_str());
    if (row >= 0) m_playfileList->SetItemFlag(row, unsigned(view), true);
    CLumoFile* file = nullptr;
    const QByteArray name = CPlayerContext::Instance()->settings.currentListName.toUtf8();
    if (Ctl()->FindFile(name.constData(), text.c_str(), &file) == 0 && file) {
        // A report of the file the view already shows (the player settling on the file it was
        // opened on) changes nothing; a new file starts at normal speed.
        const bool moved = ViewFile(view) != file;
        // A clip mark belongs to its file: it goes when the view moves on, not when the player
        // reports again the file it shows (it does after a seek, and the report may come late).
        if (moved) m_cutMarked[view] = false;
        Ctl()->SetViewFile(Panel(), view, file);
        Ctl()->SetViewUrl(Panel(), view, CLumoString(file->url));
        if (moved && file->type != CLumoFile::TYPE_STREAM) Ctl()->ResetSpeed(Panel(), view);
        handlePlaySliderPerSec(view);
        if (view == SelectedView()) UpdateFileInfo(view);
    } else {
        qDebug("==== on_playfile_handoff, idv = %d, find hFile NULL !!!", view);
        CloseView(view);  // clears the mark too
    }
}

void MainWindow::on_login_result(int view, const QString& text, int code) {
    LumoPrintf("on_login_result, idv = %d, error = %d\n", view, code);
    // A report that comes after the view moved on to something else is stale.
    if (QString::fromUtf8(ViewUrl(view).c_str()) != text) return;
    if (code != 0) {
        CloseView(view);
        ShowTip(tr("tip"), tr("stream_login_fail") + QStringLiteral(": ") + VantelMaskUrl(text), QString(), 0);
        return;
    }
    on_playfile_handoff(view, text);
}

void MainWindow::on_viewWindow_sel(int view) {
    CLumoFile* file = ViewFile(view);
    if ((ViewState(view) & (STATE_OPEN | STATE_END)) == STATE_OPEN && file) {
        RefreshControls(view, file->type);
        Ctl()->SetMute(Panel(), Ctl()->GetMute());
        return;
    }
    if (!(m_playingViews & (1u << view))) {
        Ctl()->SetViewFile(Panel(), view, nullptr);
        Ctl()->SetViewUrl(Panel(), view, CLumoString());
        playlistClearPlayState(view);
    }
    RefreshControls(view, 0);
}

// ---------------------------------------------------------------------------------------------
// Frame.

void MainWindow::ApplyStick(int mode) {
    if (mode < 0 || mode > 2) mode = 0;
    static const char* const keys[] = {"stick_never", "stick_always", "stick_playing"};
    static const char* const values[] = {"nerver", "always", "play"};
    btnStick->setToolTip(tr(keys[mode]));
    btnStick->setProperty("Stick", QLatin1String(values[mode]));
    Repolish(btnStick);
    const bool onTop = mode == 1 || (mode == 2 && m_playingViews != 0);
    Qt::WindowFlags flags = kFrameFlags;
    if (onTop) flags |= Qt::WindowStaysOnTopHint;
    if (windowFlags() != flags) {
        const bool visible = isVisible();
        setWindowFlags(flags);
        if (visible) show();
    }
    m_stick = mode;
    CPlayerContext::Instance()->settings.stick = mode;
}

void MainWindow::on_btnStick_clicked() {
    ApplyStick(m_stick == 0 ? 1 : m_stick == 1 ? 2 : 0);
}

void MainWindow::SetSplit(int n) {
    static const char* const names[] = {"one", "four", "nine", "sixteen"};
    if (n < 1 || n > 4) return;
    Ctl()->SetLayout(n, n);
    btnSplit->setProperty("SplitWindow", QLatin1String(names[n - 1]));
    Repolish(btnSplit);
    if (m_splitPopup) m_splitPopup->close();
}

void MainWindow::on_btnSplit_clicked() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto* row = new QWidget(menu);
    auto* layout = new QHBoxLayout(row);
    layout->setSpacing(10);
    layout->setContentsMargins(10, 10, 10, 10);
    static const char* const names[] = {"btnSplit1", "btnSplit4", "btnSplit9", "btnSplit16"};
    static const char* const tips[] = {"split_1", "split_4", "split_9", "split_16"};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QPushButton(QString::number((i + 1) * (i + 1)), row);
        b->setObjectName(QLatin1String(names[i]));
        b->setFixedSize(20, 20);
        b->setToolTip(tr(tips[i]));
        connect(b, &QPushButton::clicked, this, [this, i]() { SetSplit(i + 1); });
        layout->addWidget(b);
    }
    auto* action = new QWidgetAction(menu);
    action->setDefaultWidget(row);
    menu->addAction(action);
    m_splitPopup = menu;
    menu->popup(btnSplit->mapToGlobal(QPoint(btnSplit->width() / 2 - 65, btnSplit->height())));
}

void MainWindow::on_btnFullScreen_clicked() {
    Ctl()->SetFullScreen(Panel(), true);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) Ctl()->SetFullScreen(Panel(), false);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_titlePressed = true;
        m_dragOffset = event->globalPos() - pos();
        m_pressOutsideTitle = !widgetTittle->geometry().contains(widgetTittle->parentWidget()->mapFrom(this, event->pos()));
        event->accept();
    }
    QMainWindow::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!isMaximized() && event->buttons() && m_titlePressed && !m_pressOutsideTitle) {
        move(event->globalPos() - m_dragOffset);
        event->accept();
    }
    QMainWindow::mouseMoveEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    m_titlePressed = false;
    QMainWindow::mouseReleaseEvent(event);
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (widgetTittle->geometry().contains(widgetTittle->parentWidget()->mapFrom(this, event->pos())))
        ToggleMaximized();
}

void MainWindow::ToggleMaximized() {
    setUpdatesEnabled(false);
    if (isMaximized())
        showNormal();
    else
        showMaximized();
    UpdateFileInfo(SelectedView());
    setUpdatesEnabled(true);
}

void MainWindow::on_btnMax_clicked() {
    ToggleMaximized();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Ctl()->SetPanelSize(Panel(), widgetPlayWindow->width(), widgetPlayWindow->height());
    m_sizeGrip->move(width() - m_sizeGrip->width(), height() - m_sizeGrip->height());
    m_sizeGrip->raise();
    UpdateFileInfo(SelectedView());
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) Retranslate();
    QMainWindow::changeEvent(event);
}

void MainWindow::on_btnHide_clicked() {
    const bool hide = widgetList->isVisible();
    widgetList->setVisible(!hide);
    btnHide->setChecked(hide);
    btnHide->setToolTip(hide ? tr("play_list_spread") : tr("play_list_hide"));
    btnHide->setIcon(style()->standardIcon(hide ? QStyle::SP_ArrowRight : QStyle::SP_ArrowLeft));
}

void MainWindow::on_btnClose_clicked() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    SaveState();
    QMainWindow::closeEvent(event);
}

void MainWindow::CenterDialog(QWidget* dialog) {
    if (!dialog) return;
    QPoint p = mapToGlobal(QPoint((width() - dialog->width()) / 2, (height() - dialog->height()) / 2));
    const QRect desk = (screen() ? screen()->availableGeometry() : QRect(0, 0, 1920, 1080));
    if (p.x() < 20)
        p.setX(20);
    else if (p.x() + dialog->width() > desk.width() - 20)
        p.setX(desk.width() - dialog->width() - 20);
    if (p.y() < 20)
        p.setY(20);
    else if (p.y() + dialog->height() > desk.height() - 60)
        p.setY(desk.height() - dialog->height() - 60);
    dialog->move(p);
}

void MainWindow::Retranslate() {
    CPlayerContext* ctx = CPlayerContext::Instance();
    labelListName->setText(tr(ctx->settings.currentListName.toUtf8().constData()));
    labelSearchName->setText(tr("file_name"));
    btnSearch->setText(tr("OK"));
    const std::pair<QPushButton*, const char*> tips[] = {
        {btnClose, "close"},       {btnMax, "maxisize"},         {btnMin, "minisize"},
        {btnBasicMenu, "main_menu"}, {btnAddFiles, "add_to_play_list"}, {btnFilter, "file_filter"},
        {btnClearList, "clear"},   {btnSnap, "snap"}, {btnCut, "cut"},            {btnStop, "stop"},
        {btnSlower, "play_slower"}, {btnFaster, "play_faster"},   {btnFrame, "frame"},
        {btnSplit, "split_window"}, {btnFullScreen, "full_screen"}};
    for (const auto& t : tips) t.first->setToolTip(tr(t.second));
    btnHide->setToolTip(widgetList->isVisible() ? tr("play_list_hide") : tr("play_list_spread"));
    ApplyStick(m_stick);
    const int state = ViewState(SelectedView());
    btnPlayorPause->setToolTip((state & STATE_OPEN) && !(state & STATE_PAUSED) ? tr("pause") : tr("play"));
    SetListModeButton(int(Ctl()->GetListMode()));
    btnVoice->setToolTip(Ctl()->GetMute() ? tr("voice_mute") : tr("voice_audio_on"));
    UpdateFileInfo(SelectedView());
}

void MainWindow::SetListModeButton(int mode) {
    static const char* const values[] = {"Singel", "SingelLoop", "List", "ListLoop"};
    static const char* const keys[] = {"list_mode_single", "list_mode_single_loop", "list_mode_list",
                                       "list_mode_loop"};
    if (mode < 0 || mode > 3) mode = 0;
    btnListMode->setProperty("ListMode", QLatin1String(values[mode]));
    btnListMode->setToolTip(tr(keys[mode]));
    Repolish(btnListMode);
}
