#include "VantelInfraAPI/videodisplaypanel.h"

#include <QApplication>
#include <QBoxLayout>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>
#include <QScreen>
#include <QWindow>

namespace INFRA {

// ---------------------------------------------------------------------------------------------
// VideoFrameSink

namespace {

QRect FitRect(const QRect& area, double aspect) {
    if (aspect <= 0.0 || area.isEmpty()) return area;
    int w = area.width();
    int h = static_cast<int>(w / aspect + 0.5);
    if (h > area.height()) {
        h = area.height();
        w = static_cast<int>(h * aspect + 0.5);
    }
    return QRect(area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2, w, h);
}

// Where a picture standing for `display` pixels is painted within `area`, by the scale mode.
QRect ShownRect(const QRect& area, const QSize& display, int mode, float ratio) {
    if (mode == VideoFrameSink::SCALE_RATIO && ratio > 0.0f) return FitRect(area, ratio);
    if (mode == VideoFrameSink::SCALE_FILL || display.isEmpty()) return area;
    return FitRect(area, double(display.width()) / display.height());
}

}  // namespace

void VideoFrameSink::PostUpdateLocked() {
    // One queued repaint at a time: a slow GUI thread sees the newest picture, never a backlog.
    if (m_window && !m_updatePending) {
        m_updatePending = true;
        QMetaObject::invokeMethod(m_window.data(), "OnFrameArrived", Qt::QueuedConnection);
    }
}

quint64 VideoFrameSink::PresentPicture(const void* source, const QImage& frame, const QSize& displaySize) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_window || m_stopped) return 0;
    if (m_delegate && m_delegate != source) return 0;
    m_frame = frame;
    m_displaySize = displaySize.isEmpty() ? frame.size() : displaySize;
    m_lastSource = source;
    ++m_serial;
    PostUpdateLocked();
    return m_serial;
}

bool VideoFrameSink::Accepts(const void* source) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_window && !m_stopped && (!m_delegate || m_delegate == source);
}

quint64 VideoFrameSink::PaintedSerial() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_paintedSerial;
}

QSize VideoFrameSink::TargetSize() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_window ? m_target : QSize();
}

QSize VideoFrameSink::ShownSize(const QSize& displaySize) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_window || m_target.isEmpty()) return QSize();
    return ShownRect(QRect(QPoint(), m_target), displaySize, m_mode, m_ratio).size();
}

void VideoFrameSink::SetScale(int mode, float ratio) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = mode;
    m_ratio = ratio;
    PostUpdateLocked();
}

void VideoFrameSink::Refresh() {
    std::lock_guard<std::mutex> lock(m_mutex);
    PostUpdateLocked();
}

bool VideoFrameSink::IsAlive() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_window.isNull();
}

QImage VideoFrameSink::Frame() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frame;
}

void VideoFrameSink::GetScale(int* mode, float* ratio) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (mode) *mode = m_mode;
    if (ratio) *ratio = m_ratio;
}

void VideoFrameSink::SetStopped(bool stopped) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = stopped;
}

bool VideoFrameSink::IsStopped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopped;
}

void VideoFrameSink::SetDelegate(const void* source) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delegate = source;
    // A picture of another source must not stay on screen under the new delegate.
    if (source && m_lastSource && m_lastSource != source) {
        m_frame = QImage();
        m_paintedSerial = m_serial;
    }
}

const void* VideoFrameSink::Delegate() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_delegate;
}

void VideoFrameSink::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frame = QImage();
    m_lastSource = nullptr;
    // Nothing is left to paint: a player waiting for its picture to be painted goes on.
    m_paintedSerial = m_serial;
}

// ---------------------------------------------------------------------------------------------
// VideoWindow

VideoWindow::VideoWindow(QWidget* parent) : QWidget(parent), m_sink(std::make_shared<VideoFrameSink>()) {
    m_sink->m_window = this;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMinimumSize(16, 16);
}

VideoWindow::~VideoWindow() {
    // After this no player thread can post to the window.
    std::lock_guard<std::mutex> lock(m_sink->m_mutex);
    m_sink->m_window = nullptr;
    m_sink->m_frame = QImage();
}

std::shared_ptr<VideoFrameSink> VideoWindow::FrameSinkOf(QWidget* widget) {
    auto* w = qobject_cast<VideoWindow*>(widget);
    return w ? w->m_sink : nullptr;
}

void VideoWindow::SetInfoText(const QString& text) {
    m_info = text;
    update();
}

void VideoWindow::SetLogo(const QImage& logo) {
    m_logo = logo;
    update();
}

void VideoWindow::OnFrameArrived() {
    {
        std::lock_guard<std::mutex> lock(m_sink->m_mutex);
        m_sink->m_updatePending = false;
    }
    update();
}

void VideoWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QImage frame;
    QSize display;
    quint64 serial;
    int mode;
    float ratio;
    bool stopped;
    {
        std::lock_guard<std::mutex> lock(m_sink->m_mutex);
        frame = m_sink->m_frame;
        display = m_sink->m_displaySize;
        serial = m_sink->m_serial;
        mode = m_sink->m_mode;
        ratio = m_sink->m_ratio;
        stopped = m_sink->m_stopped;
    }
    if (!frame.isNull() && !stopped) {
        const QRect target = ShownRect(rect(), display, mode, ratio);
        const double dpr = devicePixelRatioF();
        const double sx = double(target.width()) * dpr / frame.width();
        const double sy = double(target.height()) * dpr / frame.height();
        QRect painted = target;
        if (qAbs(sx - 1.0) <= 0.02 && qAbs(sy - 1.0) <= 0.02) {
            // Players convert to an aligned width next to the shown size: the picture is
            // painted as it is, centred on its area (a pixel or two of its edges fall outside),
            // which costs a copy instead of a scaling.
            const QSize size = frame.size() / dpr;
            painted = QRect(QPoint(target.x() + (target.width() - size.width()) / 2,
                                   target.y() + (target.height() - size.height()) / 2),
                            size);
            p.save();
            p.setClipRect(target);
            p.drawImage(painted, frame);
            p.restore();
            painted &= target;
        } else {
            // A real change of size gets the smooth filter.
            p.setRenderHint(QPainter::SmoothPixmapTransform, qAbs(sx - 1.0) > 0.05 || qAbs(sy - 1.0) > 0.05);
            p.drawImage(target, frame);
        }
        // Only what the picture leaves uncovered is blacked out: filling it all first would write
        // every pixel twice, for each picture of each view.
        for (const QRect& r : QRegion(rect()).subtracted(QRegion(painted))) p.fillRect(r, Qt::black);
        std::lock_guard<std::mutex> lock(m_sink->m_mutex);
        m_sink->m_paintedSerial = qMax(m_sink->m_paintedSerial, serial);
        return;
    }
    p.fillRect(rect(), Qt::black);
    if (!m_logo.isNull()) {
        QRect target = FitRect(QRect(QPoint(), m_logo.size()).intersected(rect()).isEmpty() ? rect() : rect(),
                               double(m_logo.width()) / qMax(1, m_logo.height()));
        if (m_logo.width() <= width() && m_logo.height() <= height())
            target = QRect((width() - m_logo.width()) / 2, (height() - m_logo.height()) / 2, m_logo.width(),
                           m_logo.height());
        p.drawImage(target, m_logo);
    }
    if (!m_info.isEmpty()) {
        p.setPen(Qt::white);
        p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_info);
    }
}

void VideoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    std::lock_guard<std::mutex> lock(m_sink->m_mutex);
    m_sink->m_target = event->size() * devicePixelRatioF();
}

void VideoWindow::mousePressEvent(QMouseEvent* event) {
    // Handled here: the cell below must not see the same press again.
    if (event->button() == Qt::LeftButton) emit SignalClicked();
    event->accept();
}

void VideoWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit SignalDoubleClicked();
    event->accept();
}

void VideoWindow::contextMenuEvent(QContextMenuEvent* event) {
    emit SignalContextMenu(event->globalPos());
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// VideoGrid

static VideoGrid::PlayerEndHook& EndHook() {
    static VideoGrid::PlayerEndHook hook;
    return hook;
}

void VideoGrid::SetPlayerEndHook(PlayerEndHook hook) {
    EndHook() = std::move(hook);
}

VideoGrid::VideoGrid(int index, QWidget* parent) : QWidget(parent), m_index(index) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(16, 16);
}

VideoGrid::~VideoGrid() = default;

QWidget* VideoGrid::GetPlayerWnd() const {
    return m_window;
}

int VideoGrid::CreatePlayerWnd() {
    if (m_window) return 0;
    m_window = new VideoWindow(this);
    m_window->setGeometry(rect().adjusted(1, 1, -1, -1));
    m_window->SetLogo(m_logo);
    connect(m_window, &VideoWindow::SignalClicked, this, [this] { emit SignalSelected(m_index); });
    connect(m_window, &VideoWindow::SignalDoubleClicked, this, [this] { emit SignalDoubleClicked(m_index); });
    connect(m_window, &VideoWindow::SignalContextMenu, this, [this](const QPoint& pos) {
        emit SignalSelected(m_index);
        emit SignalContextMenu(m_index, pos);
    });
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_window);
    m_window->show();
    return 0;
}

void VideoGrid::SetStop(bool stop) {
    if (!m_window) return;
    m_window->GetFrameSink()->SetStopped(stop);
    m_window->update();
}

bool VideoGrid::IsStop() const {
    return m_window ? m_window->GetFrameSink()->IsStopped() : true;
}

void VideoGrid::DelegatePainting(void* player) {
    if (!m_window) return;
    m_window->GetFrameSink()->SetDelegate(player);
    m_window->update();
}

void* VideoGrid::GetDelegate() const {
    return m_window ? const_cast<void*>(m_window->GetFrameSink()->Delegate()) : nullptr;
}

void VideoGrid::StopVideo() {
    if (!m_window) return;
    auto sink = m_window->GetFrameSink();
    sink->SetStopped(true);
    sink->Clear();
    m_window->update();
}

void VideoGrid::ResetDisplay() {
    if (!m_window) return;
    m_window->GetFrameSink()->Clear();
    m_window->SetInfoText(QString());
    m_window->update();
}

void VideoGrid::OnStopPlay(void* player) {
    if (player && EndHook()) EndHook()(player);
    if (m_window) m_window->GetFrameSink()->SetDelegate(nullptr);
    StopVideo();
}

void VideoGrid::SetSelected(bool selected) {
    if (m_selected == selected) return;
    m_selected = selected;
    update();
}

void VideoGrid::SetVideoLostLogo(const QImage& logo) {
    m_logo = logo;
    if (m_window) m_window->SetLogo(logo);
    update();
}

void VideoGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    // A thin frame marks the selected cell.
    p.setPen(m_selected ? QColor(0, 160, 233) : QColor(48, 48, 48));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void VideoGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) emit SignalSelected(m_index);
    QWidget::mousePressEvent(event);
}

// ---------------------------------------------------------------------------------------------
// VideoDisplayPanel

VideoDisplayPanel::VideoDisplayPanel(QWidget* parent) : VideoPanel(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    // The callers place the panel in a bare parent widget: follow its size.
    if (parent) {
        parent->installEventFilter(this);
        setGeometry(parent->rect());
    }
    Relayout();
}

VideoDisplayPanel::~VideoDisplayPanel() {
    if (m_fullScreen && m_oldParent) m_oldParent->removeEventFilter(this);
}

bool VideoDisplayPanel::eventFilter(QObject* watched, QEvent* event) {
    if (!m_fullScreen && watched == parentWidget() && event->type() == QEvent::Resize) {
        QLayout* pl = parentWidget()->layout();
        if (!pl || pl->indexOf(this) < 0) setGeometry(parentWidget()->rect());
    }
    return VideoPanel::eventFilter(watched, event);
}

int VideoDisplayPanel::SetGridLayout(int rows, int columns, int, int) {
    if (rows < 1 || rows > 4 || columns < 1 || columns > 4) return -1;
    m_rows = rows;
    m_columns = columns;
    if (m_current >= rows * columns) SetCurrentGrid(0);
    Relayout();
    return 0;
}

VideoGrid* VideoDisplayPanel::GetIndexGrid(int index) {
    if (index < 0 || index >= MAX_GRIDS) return nullptr;
    if (m_grids.size() <= index) m_grids.resize(index + 1);
    if (!m_grids[index]) {
        auto* g = new VideoGrid(index, this);
        g->SetVideoLostLogo(m_logo);
        g->SetShowErrInfo(m_showErr);
        g->SetSelected(index == m_current);
        connect(g, &VideoGrid::SignalSelected, this, &VideoDisplayPanel::OnGridSelected);
        connect(g, &VideoGrid::SignalDoubleClicked, this, &VideoDisplayPanel::OnGridDoubleClicked);
        connect(g, &VideoGrid::SignalContextMenu, this, &VideoPanel::SignalGridContextMenu);
        g->hide();
        m_grids[index] = g;
        Relayout();
    }
    return m_grids[index];
}

int VideoDisplayPanel::CreatePlayerWnd(int index) {
    VideoGrid* g = GetIndexGrid(index);
    if (!g) return -1;
    return g->CreatePlayerWnd();
}

QWidget* VideoDisplayPanel::GetPlayerWnd(int index) const {
    if (index < 0 || index >= m_grids.size() || !m_grids[index]) return nullptr;
    return m_grids[index]->GetPlayerWnd();
}

void VideoDisplayPanel::SetCurrentGrid(int index) {
    if (index < 0 || index >= MAX_GRIDS) return;
    m_current = index;
    for (VideoGrid* g : qAsConst(m_grids))
        if (g) g->SetSelected(g->GetIndex() == index);
}

void VideoDisplayPanel::SetShowErrInfo(bool show) {
    m_showErr = show;
    for (VideoGrid* g : qAsConst(m_grids))
        if (g) g->SetShowErrInfo(show);
}

void VideoDisplayPanel::SetVideoLostLogoJPG(const QString& path) {
    if (path.isEmpty()) return;
    QImage img(path);
    if (img.isNull()) return;
    m_logo = img;
    for (VideoGrid* g : qAsConst(m_grids))
        if (g) g->SetVideoLostLogo(m_logo);
}

void VideoDisplayPanel::SetVideoLostLogoPNG(const QString& path) {
    SetVideoLostLogoJPG(path);
}

void VideoDisplayPanel::Relayout() {
    auto* layout = static_cast<QGridLayout*>(this->layout());
    // Every cell of the layout first, so that hidden ones keep their windows.
    int count = m_rows * m_columns;
    for (int i = 0; i < count; ++i) GetIndexGrid(i);
    for (VideoGrid* g : qAsConst(m_grids)) {
        if (!g) continue;
        layout->removeWidget(g);
        g->hide();
    }
    for (int r = 0; r < 4; ++r) {
        layout->setRowStretch(r, r < m_rows ? 1 : 0);
        layout->setColumnStretch(r, r < m_columns ? 1 : 0);
    }
    for (int i = 0; i < count && i < m_grids.size(); ++i) {
        VideoGrid* g = m_grids[i];
        layout->addWidget(g, i / m_columns, i % m_columns);
        g->show();
    }
    // The lines between the cells move with the layout: what lay there before (a picture of the
    // old layout) must not stay on screen.
    update();
}

void VideoDisplayPanel::OnGridSelected(int index) {
    SetCurrentGrid(index);
    emit SignalGridSelected(index);
}

void VideoDisplayPanel::OnGridDoubleClicked(int index) {
    OnGridSelected(index);
    if (!m_bDoubleClickFullScreen) return;
    if (m_fullScreen)
        ExitFullScreen();
    else
        FullScreen(nullptr);
}

void VideoDisplayPanel::FullScreen(QScreen* screen) {
    if (m_fullScreen) return;
    m_fullScreen = true;
    m_oldParent = parentWidget();
    m_oldGeometry = geometry();
    m_oldFlags = windowFlags();
    m_oldLayout = m_oldParent ? m_oldParent->layout() : nullptr;
    m_oldLayoutIndex = m_oldLayout ? m_oldLayout->indexOf(this) : -1;
    if (auto* grid = qobject_cast<QGridLayout*>(m_oldLayout.data()); grid && m_oldLayoutIndex >= 0)
        grid->getItemPosition(m_oldLayoutIndex, &m_oldGridPos[0], &m_oldGridPos[1], &m_oldGridPos[2],
                              &m_oldGridPos[3]);
    QScreen* target =
        screen ? screen : (window()->windowHandle() ? window()->windowHandle()->screen() : nullptr);
    setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
    if (target) setGeometry(target->geometry());
    showFullScreen();
    activateWindow();
    setFocus();
    emit SignalPanelFullScreen();
}

void VideoDisplayPanel::ExitFullScreen() {
    if (!m_fullScreen) return;
    m_fullScreen = false;
    setParent(m_oldParent, m_oldFlags);
    if (m_oldLayout && m_oldLayoutIndex >= 0) {
        if (auto* box = qobject_cast<QBoxLayout*>(m_oldLayout.data()))
            box->insertWidget(m_oldLayoutIndex, this);
        else if (auto* grid = qobject_cast<QGridLayout*>(m_oldLayout.data()))
            grid->addWidget(this, m_oldGridPos[0], m_oldGridPos[1], m_oldGridPos[2], m_oldGridPos[3]);
        else
            m_oldLayout->addWidget(this);
    } else if (m_oldParent) {
        setGeometry(m_oldParent->rect());
    } else {
        setGeometry(m_oldGeometry);
    }
    show();
    emit SignalPanelExitFullScreen();
}

void VideoDisplayPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_fullScreen) {
        ExitFullScreen();
        return;
    }
    VideoPanel::keyPressEvent(event);
}

void VideoDisplayPanel::resizeEvent(QResizeEvent* event) {
    VideoPanel::resizeEvent(event);
}

void VideoDisplayPanel::paintEvent(QPaintEvent* event) {
    // The panel is opaque (no automatic fill): only the lines between the cells and what no cell
    // covers are its own, and Qt clips the cells out of the region already.
    QPainter p(this);
    for (const QRect& r : event->region()) p.fillRect(r, palette().color(QPalette::Window));
}

}  // namespace INFRA
