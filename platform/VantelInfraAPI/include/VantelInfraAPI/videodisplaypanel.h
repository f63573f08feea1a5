// Video display panel: a grid of video cells. Each cell has a player window into which a media
// player hands decoded pictures through a thread-safe frame sink; the window paints the latest
// picture on the GUI thread (black background, aspect ratio kept unless told otherwise).
#pragma once

#include <QImage>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>

#include "LumoCore/framesink.h"

class QGridLayout;
class QLayout;
class QScreen;

namespace INFRA {

class VideoWindow;

// Where a player puts its pictures: the media core's frame-sink interface, kept by the window.
// Any thread may call it; it never touches the widget directly. It outlives the window: once
// the window is gone Present refuses everything. Refused also while stopped (SetStopped(true))
// or delegated to another source.
class VideoFrameSink : public lumocore::VideoFrameSink {
public:
    using lumocore::VideoFrameSink::PresentPicture;
    quint64 PresentPicture(const void* source, const QImage& frame, const QSize& displaySize) override;
    bool Accepts(const void* source) const override;
    quint64 PaintedSerial() const override;
    QSize TargetSize() const override;
    QSize ShownSize(const QSize& displaySize) const override;
    void SetScale(int mode, float ratio) override;
    void Refresh() override;
    bool IsAlive() const override;

    // Window side.
    QImage Frame() const;
    void GetScale(int* mode, float* ratio) const;
    void SetStopped(bool stopped);
    bool IsStopped() const;
    void SetDelegate(const void* source);
    const void* Delegate() const;
    void Clear();

private:
    friend class VideoWindow;
    void PostUpdateLocked();
    // All fields are guarded by m_mutex; players' threads write the picture, the GUI thread
    // paints it. (A standard mutex: the thread sanitizer sees its locking, not QMutex's.)
    mutable std::mutex m_mutex;
    QPointer<VideoWindow> m_window;
    QImage m_frame;
    QSize m_displaySize;
    quint64 m_serial = 0;
    quint64 m_paintedSerial = 0;
    QSize m_target;
    int m_mode = SCALE_ORIGIN;
    float m_ratio = 0.0f;
    bool m_stopped = false;
    const void* m_delegate = nullptr;
    const void* m_lastSource = nullptr;
    bool m_updatePending = false;
};

// The widget a cell's player paints into: a frame-sink host, so a media player given it as its
// window draws into its sink.
class VideoWindow : public QWidget, public lumocore::FrameSinkHost {
    Q_OBJECT
public:
    explicit VideoWindow(QWidget* parent = nullptr);
    ~VideoWindow() override;

    std::shared_ptr<VideoFrameSink> GetFrameSink() const { return m_sink; }
    std::shared_ptr<lumocore::VideoFrameSink> FrameSink() const override { return m_sink; }
    // The sink of a widget that is a VideoWindow, else null.
    static std::shared_ptr<VideoFrameSink> FrameSinkOf(QWidget* widget);

    // Text shown on a black window without a picture (e.g. an error); empty for none.
    void SetInfoText(const QString& text);
    void SetLogo(const QImage& logo);
    QImage CurrentFrame() const { return m_sink->Frame(); }

signals:
    void SignalClicked();
    void SignalDoubleClicked();
    void SignalContextMenu(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    Q_INVOKABLE void OnFrameArrived();
    friend class VideoFrameSink;
    std::shared_ptr<VideoFrameSink> m_sink;
    QString m_info;
    QImage m_logo;
};

// One cell of the panel.
class VideoGrid : public QWidget {
    Q_OBJECT
public:
    VideoGrid(int index, QWidget* parent = nullptr);
    ~VideoGrid() override;

    int GetIndex() const { return m_index; }
    // The player window (made by VideoDisplayPanel::CreatePlayerWnd); null before.
    QWidget* GetPlayerWnd() const;
    VideoWindow* GetVideoWindow() const { return m_window; }
    int CreatePlayerWnd();

    // Stopped: pictures are refused and the cell shows black (or its logo).
    void SetStop(bool stop);
    bool IsStop() const;
    // Only pictures of `player` are shown from now on; null accepts any source.
    void DelegatePainting(void* player);
    void* GetDelegate() const;
    // Stops showing video: refuses pictures and clears the picture.
    void StopVideo();
    // Clears the picture and the info text; the cell paints black until the next picture.
    void ResetDisplay();
    // Ends the given player (stop and close through the hook set with SetPlayerEndHook), then
    // stops the video of the cell.
    void OnStopPlay(void* player);
    void SetSelected(bool selected);
    bool IsSelected() const { return m_selected; }
    void SetVideoLostLogo(const QImage& logo);
    void SetShowErrInfo(bool show) { m_showErr = show; }

    // The call that ends a player (stop + close), installed by the layer above that joins the
    // panel to the media library (LumoPanel); none: OnStopPlay only stops the video.
    typedef std::function<void(void*)> PlayerEndHook;
    static void SetPlayerEndHook(PlayerEndHook hook);

signals:
    void SignalSelected(int index);
    void SignalDoubleClicked(int index);
    void SignalContextMenu(int index, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int m_index;
    VideoWindow* m_window = nullptr;
    bool m_selected = false;
    bool m_showErr = true;
    QImage m_logo;
};

// Base of the panels: the full-screen signals.
class VideoPanel : public QWidget {
    Q_OBJECT
public:
    explicit VideoPanel(QWidget* parent = nullptr) : QWidget(parent) {}

signals:
    void SignalPanelFullScreen();
    void SignalPanelExitFullScreen();
    void SignalGridSelected(int index);
    void SignalGridContextMenu(int index, const QPoint& globalPos);
};

// The grid of cells: 1x1 up to 4x4. Cells are made on demand and kept when the layout shrinks,
// so a player keeps its window; only the first rows x columns are shown.
class VideoDisplayPanel : public VideoPanel {
    Q_OBJECT
public:
    enum { MAX_GRIDS = 16 };
    explicit VideoDisplayPanel(QWidget* parent = nullptr);
    ~VideoDisplayPanel() override;

    // Lays the panel out as rows x columns (each 1 to 4). The last two values are reserved (-1).
    // 0, or -1 for a layout outside 1..4.
    int SetGridLayout(int rows, int columns, int reserved1 = -1, int reserved2 = -1);
    int GetRows() const { return m_rows; }
    int GetColumns() const { return m_columns; }
    int GetGridCount() const { return m_rows * m_columns; }

    // Makes the cell's player window; 0, or -1 for an index outside 0..15.
    int CreatePlayerWnd(int index);
    QWidget* GetPlayerWnd(int index) const;
    // The cell, made on demand for 0..15; null outside.
    VideoGrid* GetIndexGrid(int index);

    void SetCurrentGrid(int index);
    int GetCurrentGrid() const { return m_current; }
    void SetShowErrInfo(bool show);
    void SetVideoLostLogoJPG(const QString& path);
    void SetVideoLostLogoPNG(const QString& path);

    // Shows the panel alone on a screen (null: the panel's screen); Escape or a double click
    // returns.
    void FullScreen(QScreen* screen = nullptr);
    void ExitFullScreen();
    bool IsFullScreen() const { return m_fullScreen; }

    // Double-clicking a cell toggles full screen while set.
    bool m_bDoubleClickFullScreen = true;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Relayout();
    void OnGridSelected(int index);
    void OnGridDoubleClicked(int index);

    QVector<VideoGrid*> m_grids;
    int m_rows = 1;
    int m_columns = 1;
    int m_current = 0;
    bool m_showErr = true;
    QImage m_logo;
    bool m_fullScreen = false;
    QWidget* m_oldParent = nullptr;
    QRect m_oldGeometry;
    Qt::WindowFlags m_oldFlags;
    // Where the panel sat in its parent's layout, to put it back there.
    QPointer<QLayout> m_oldLayout;
    int m_oldLayoutIndex = -1;
    int m_oldGridPos[4] = {0, 0, 1, 1};
};

}  // namespace INFRA
