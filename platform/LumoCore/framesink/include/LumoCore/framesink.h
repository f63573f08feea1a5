// The frame sink: where a media player puts its pictures. The media core only uses it; the
// display layer implements it (a video window of a panel) and hands it down by implementing
// FrameSinkHost on the widget it gives a player. Neither side includes the other: this header is
// all they share (library LumoFrameSink, header only).
#pragma once

#include <QImage>
#include <QSize>
#include <QtGlobal>
#include <memory>

namespace lumocore {

// Any thread may call every member: an implementation never touches a widget directly. It may
// outlive its window: once the window is gone it refuses every picture (IsAlive false).
class VideoFrameSink {
public:
    // Scale modes: 0 stretch over the window, 1 fit `ratio` (width / height), 2 fit the picture's
    // own ratio.
    enum { SCALE_FILL = 0, SCALE_RATIO = 1, SCALE_ORIGIN = 2 };

    virtual ~VideoFrameSink() = default;

    // Shows `frame` (the sink keeps it; it must not be written afterwards) as the picture of
    // `source`. `displaySize` is the size the picture stands for (the video's own size, when the
    // frame was converted smaller or to an aligned width): it gives the aspect ratio the picture
    // is painted with; empty means the frame's own size. The picture's serial number (> 0), or 0
    // when refused (the window is gone, stopped, or shows another source only).
    virtual quint64 PresentPicture(const void* source, const QImage& frame, const QSize& displaySize) = 0;
    quint64 PresentPicture(const void* source, const QImage& frame) {
        return PresentPicture(source, frame, QSize());
    }
    bool Present(const void* source, const QImage& frame) { return PresentPicture(source, frame) != 0; }
    // Whether a picture of `source` would be shown now (cheap: ask before converting one).
    virtual bool Accepts(const void* source) const = 0;
    // Serial of the newest picture the window has painted, or that no longer needs painting
    // (cleared); 0 before any. A player converts its next picture once its last one is painted.
    virtual quint64 PaintedSerial() const = 0;
    // Size the window paints into (device pixels), for scaling on the player side; empty when
    // the window is gone.
    virtual QSize TargetSize() const = 0;
    // Size (device pixels) of the area a picture standing for `displaySize` is painted over, by
    // the scale mode; empty when the window is gone.
    virtual QSize ShownSize(const QSize& displaySize) const = 0;
    virtual void SetScale(int mode, float ratio) = 0;
    // Asks the window to repaint.
    virtual void Refresh() = 0;
    virtual bool IsAlive() const = 0;
};

// Implemented by a widget that a player can be given as its window (LumoPlayerCreate): the core
// asks it for its sink, on the calling thread; the sink must be ready when the widget is made.
class FrameSinkHost {
public:
    virtual ~FrameSinkHost() = default;
    virtual std::shared_ptr<VideoFrameSink> FrameSink() const = 0;
};

}  // namespace lumocore
