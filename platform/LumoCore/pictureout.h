// The picture output: decoded frames become pictures through one conversion, whatever the pixel
// format the decoder gives, for the window and for saved pictures alike.
#pragma once

#include <QImage>
#include <QSize>
#include <array>
#include <cstdint>
#include <vector>

#include "LumoAV/LumoAVPtr.h"
#include "LumoCore/framesink.h"

namespace lumocore {

// Converts frames to RGB32 pictures. The rows are written into a buffer laid out as FFmpeg's own
// frame buffers are: aligned and padded as swscale's vector code needs (it writes whole blocks of
// pixels, past a row's last pixel), so no width or height can make it write past the picture. The
// returned image shares that buffer and frees it when its last copy goes.
class PictureConverter {
public:
    // `f` at outW x outH (its own size when either is 0); `fast` trades quality for speed when
    // scaling. A null image when the frame cannot be converted.
    QImage Convert(const AVFrame* f, int outW = 0, int outH = 0, bool fast = false);

private:
    // One swscale context, made again only when what it converts changes.
    struct Scaler {
        lumoav::SwsPtr sws;
        std::array<int, 7> setup{};  // source size and format, output size and format, flags
        int colorSpace = -1;  // the colour details last set (-1: none yet)
        bool fullRange = false;
        SwsContext* Get(int sw, int sh, int sf, int ow, int oh, int of, int flags);
    };
    bool Shrink(const AVFrame* f, int outW, int outH);
    // An RGB32 frame of outW x outH whose buffer comes from m_pool.
    lumoav::FramePtr PooledRgbFrame(int outW, int outH);

    Scaler m_rgb;               // to RGB32, from the frame or from m_small
    lumoav::FramePtr m_small;   // the frame shrunk to the picture's size, before RGB (reused)
    std::vector<int> m_columns; // Shrink's source column of each output column
    // Buffers of the RGB pictures, of one size: a picture's buffer comes back when the window
    // lets go of it, so a playing view reuses two or three instead of asking the system for a
    // new one (and faulting its pages in) per picture. Buffers are returned from any thread.
    lumoav::BufferPoolPtr m_pool;
    int m_poolW = 0, m_poolH = 0;  // the picture size m_pool's buffers are made for
};

// The size a picture of `video` pixels is converted to, to be shown over `shown` device pixels:
// the video's own size when it is shown at about that size or larger (conversion without scaling
// is swscale's fastest path; the painter does the rest), else a width that is a multiple of 16
// (swscale's vector code is several times slower on others) with the shown area's proportions.
QSize DisplayConversionSize(const QSize& video, const QSize& shown);

// Hands decoded frames to a window: converts a frame only when the window will show it and has
// painted the picture before it. Used by one decode thread.
class PictureOut {
public:
    enum Outcome {
        PRESENTED,  // converted and handed over
        WAITING,    // the window has not painted the previous picture yet: not converted
        REFUSED,    // the window does not show this player (stopped, delegated, gone)
        FAILED,     // the frame could not be converted
    };
    // `force` hands the frame over even when the previous picture is still unpainted (the
    // picture after a seek or a frame step must be the one shown).
    Outcome Present(const AVFrame* f, const void* source, VideoFrameSink* sink, bool force, bool fast);
    // Pictures handed over that the window has painted since the last call.
    int TakePainted(VideoFrameSink* sink);
    void Reset();

private:
    void CountPainted(VideoFrameSink* sink);
    // `f` converted for `sink`'s shown size; *display gets the size to show it at.
    QImage ConvertFor(const AVFrame* f, VideoFrameSink* sink, bool fast, QSize* display);

    PictureConverter m_converter;
    uint64_t m_lastSerial = 0;    // serial of the last picture handed over (0: none pending)
    int64_t m_lastPresentUs = 0;  // when it was handed over
    bool m_lastCounted = true;    // whether its painting was counted
    int m_painted = 0;            // painted pictures not yet taken
};

}  // namespace lumocore
