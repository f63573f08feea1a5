#include "pictureout.h"

#include <algorithm>
#include <cmath>
#include <vector>

extern "C" {
#include <libavutil/common.h>
#include <libavutil/pixdesc.h>
#include <libavutil/time.h>
}


namespace lumocore {

namespace {

void FreeFrame(void* frame) {
    AVFrame* f = static_cast<AVFrame*>(frame);
    av_frame_free(&f);
}

// The full-range JPEG formats are the plain YUV formats with full range: swscale wants the plain
// format and the range given apart (it warns about the old ones and may treat them wrongly).
AVPixelFormat PlainFormat(AVPixelFormat f, bool* fullRange) {
    switch (f) {
        case AV_PIX_FMT_YUVJ420P:
            *fullRange = true;
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            *fullRange = true;
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            *fullRange = true;
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            *fullRange = true;
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            *fullRange = true;
            return AV_PIX_FMT_YUV411P;
        default:
            return f;
    }
}

}  // namespace

SwsContext* PictureConverter::Scaler::Get(int sw, int sh, int sf, int ow, int oh, int of, int fl) {
    const std::array<int, 7> want{sw, sh, sf, ow, oh, of, fl};
    if (sws && setup == want) return sws.get();
    sws.reset(sws_getContext(sw, sh, AVPixelFormat(sf), ow, oh, AVPixelFormat(of), fl, nullptr, nullptr, nullptr));
    setup = want;
    colorSpace = -1;
    return sws.get();
}

// The nearest pixel of each output pixel, taken from the middle of the source area it stands for.
static void ShrinkPlane(const uint8_t* src, int srcStride, int srcW, int srcH, uint8_t* dst, int dstStride, int dstW,
                        int dstH, std::vector<int>* columns) {
    columns->resize(size_t(dstW));
    for (int x = 0; x < dstW; ++x) (*columns)[size_t(x)] = int(int64_t(2 * x + 1) * srcW / (2 * dstW));
    const int* cols = columns->data();
    auto rowOf = [&](int y) { return src + int64_t(2 * y + 1) * srcH / (2 * dstH) * srcStride; };
    // The frame was decoded a while ago (pictures come out of the decoder a few frames late, and
    // fifteen other views decode in between): its rows are no longer in the cache, and the
    // scattered reads of a row wait on memory one after the other. Asking for the row after next
    // while this one is shrunk lets the memory work meanwhile (a third of this function's time).
    constexpr int kAhead = 2;
    for (int y = 0; y < dstH; ++y) {
        const uint8_t* row = rowOf(y);
        if (y + kAhead < dstH) {
            const uint8_t* next = rowOf(y + kAhead);
            for (int x = 0; x < srcW; x += 64) __builtin_prefetch(next + x);
        }
        uint8_t* out = dst + int64_t(y) * dstStride;
        for (int x = 0; x < dstW; ++x) out[x] = row[cols[x]];
    }
}

// A picture of a quarter of the frame's area or less, when speed matters more than the last
// detail, is shrunk in YUV first, by taking the nearest pixel, and then turned into RGB at its
// own size: swscale's scaling path reads every row of the frame and writes RGB pixel by pixel,
// while this reads only the rows shown and its unscaled YUV to RGB conversion is vector code;
// twice as fast or more. A 2-tap filter over a factor of 2 or more leaves pixels out as well.
// The result lands in m_small; `f` is 8-bit 4:2:0, the picture's sizes even.
bool PictureConverter::Shrink(const AVFrame* f, int outW, int outH) {
    if (!m_small || m_small->width != outW || m_small->height != outH) {
        m_small = lumoav::MakeFrame();
        if (!m_small) return false;
        m_small->format = AV_PIX_FMT_YUV420P;
        m_small->width = outW;
        m_small->height = outH;
        if (av_frame_get_buffer(m_small.get(), 64) < 0) {
            m_small.reset();
            return false;
        }
    }
    ShrinkPlane(f->data[0], f->linesize[0], f->width, f->height, m_small->data[0], m_small->linesize[0], outW,
                outH, &m_columns);
    for (int plane = 1; plane < 3; ++plane)
        ShrinkPlane(f->data[plane], f->linesize[plane], (f->width + 1) / 2, (f->height + 1) / 2,
                    m_small->data[plane], m_small->linesize[plane], outW / 2, outH / 2, &m_columns);
    return true;
}

namespace {
// Rows aligned for every vector width swscale uses.
constexpr int kRowAlign = 64;

int RgbStride(int w) {
    return FFALIGN(w * 4, kRowAlign);
}
}  // namespace

// The layout av_frame_get_buffer(…, 64) gives: the height rounded up to 32 rows and padding at
// the end, so a vector write past the last row's end stays inside; plus room to align the start.
lumoav::FramePtr PictureConverter::PooledRgbFrame(int outW, int outH) {
    if (!m_pool || m_poolW != outW || m_poolH != outH) {
        const size_t size = size_t(RgbStride(outW)) * size_t(FFALIGN(outH, 32)) + 5 * kRowAlign;
        if (size > size_t(INT32_MAX)) return nullptr;
        m_pool.reset(av_buffer_pool_init(size, nullptr));
        if (!m_pool) return nullptr;
        m_poolW = outW;
        m_poolH = outH;
    }
    lumoav::FramePtr out = lumoav::MakeFrame();
    if (!out) return nullptr;
    out->buf[0] = av_buffer_pool_get(m_pool.get());
    if (!out->buf[0]) return nullptr;
    out->format = AV_PIX_FMT_BGRA;
    out->width = outW;
    out->height = outH;
    out->data[0] = reinterpret_cast<uint8_t*>(FFALIGN(reinterpret_cast<uintptr_t>(out->buf[0]->data), kRowAlign));
    out->linesize[0] = RgbStride(outW);
    return out;
}

QImage PictureConverter::Convert(const AVFrame* f, int outW, int outH, bool fast) {
    if (!f || f->width <= 0 || f->height <= 0 || !f->data[0]) return QImage();
    if (outW <= 0 || outH <= 0) {
        outW = f->width;
        outH = f->height;
    }
    bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat src = PlainFormat(static_cast<AVPixelFormat>(f->format), &fullRange);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(src);
    if (!desc || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL)) return QImage();
    const bool scaled = outW != f->width || outH != f->height;
    // Even sizes keep the shrunk chroma planes exactly half the picture.
    const bool shrink = fast && src == AV_PIX_FMT_YUV420P && outW * 2 <= f->width && outH * 2 <= f->height &&
                        outW % 2 == 0 && outH % 2 == 0;
    if (shrink && !Shrink(f, outW, outH)) return QImage();
    const AVFrame* in = shrink ? m_small.get() : f;
    const int flags = shrink || !scaled ? SWS_POINT : fast ? SWS_FAST_BILINEAR : SWS_BILINEAR;
    SwsContext* sws = m_rgb.Get(in->width, in->height, src, outW, outH, AV_PIX_FMT_BGRA, flags);
    if (!sws) return QImage();
    // The stream's own matrix (BT.601 when it names none) and range.
    int space = f->colorspace;
    if (space <= AVCOL_SPC_RGB || space == AVCOL_SPC_UNSPECIFIED || space > AVCOL_SPC_BT2020_CL)
        space = SWS_CS_DEFAULT;
    const bool yuv = !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
    if (yuv && (space != m_rgb.colorSpace || fullRange != m_rgb.fullRange)) {
        sws_setColorspaceDetails(sws, sws_getCoefficients(space), fullRange ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        m_rgb.colorSpace = space;
        m_rgb.fullRange = fullRange;
    }

    lumoav::FramePtr out = PooledRgbFrame(outW, outH);
    if (!out) return QImage();
    if (sws_scale(sws, in->data, in->linesize, 0, in->height, out->data, out->linesize) <= 0) return QImage();
    AVFrame* owner = out.release();
    QImage img(owner->data[0], outW, outH, owner->linesize[0], QImage::Format_RGB32, &FreeFrame, owner);
    if (img.isNull()) FreeFrame(owner);
    return img;
}

QSize DisplayConversionSize(const QSize& video, const QSize& shown) {
    if (video.isEmpty()) return QSize();
    if (shown.isEmpty() || shown.width() * 10 >= video.width() * 9) return video;
    const int w = std::max(16, (shown.width() + 8) / 16 * 16);
    if (w >= video.width()) return video;
    int h = int(std::lround(double(shown.height()) * w / shown.width()));
    h = std::max(2, (h + 1) / 2 * 2);
    return QSize(w, std::min(h, video.height()));
}

QImage PictureOut::ConvertFor(const AVFrame* f, VideoFrameSink* sink, bool fast, QSize* display) {
    const QSize video(f->width, f->height);
    *display = video;
    if (f->sample_aspect_ratio.num > 0 && f->sample_aspect_ratio.den > 0)
        display->setWidth(
            int(std::lround(double(f->width) * f->sample_aspect_ratio.num / f->sample_aspect_ratio.den)));
    const QSize out = DisplayConversionSize(video, sink->ShownSize(*display));
    // A picture shown at half its size or less is a view among many: the faster filter halves
    // the conversion, and nobody studies the last detail of a small view.
    const bool small = out.width() * 2 <= video.width();
    return m_converter.Convert(f, out.width(), out.height(), fast || small);
}

PictureOut::Outcome PictureOut::Present(const AVFrame* f, const void* source, VideoFrameSink* sink,
                                        bool force, bool fast) {
    if (!sink || !sink->Accepts(source)) return REFUSED;
    CountPainted(sink);
    const int64_t now = av_gettime_relative();
    // A window that does not paint (hidden, covered) still gets a picture now and then, so that
    // it shows a recent one when it paints again.
    if (!force && m_lastSerial && sink->PaintedSerial() < m_lastSerial && now - m_lastPresentUs < 500000)
        return WAITING;
    QSize display;
    const QImage img = ConvertFor(f, sink, fast, &display);
    if (img.isNull()) return FAILED;
    const uint64_t serial = sink->PresentPicture(source, img, display);
    if (!serial) return REFUSED;
    m_lastSerial = serial;
    m_lastPresentUs = now;
    m_lastCounted = false;
    return PRESENTED;
}

void PictureOut::CountPainted(VideoFrameSink* sink) {
    if (m_lastCounted || !m_lastSerial || !sink || sink->PaintedSerial() < m_lastSerial) return;
    m_lastCounted = true;
    ++m_painted;
}

int PictureOut::TakePainted(VideoFrameSink* sink) {
    CountPainted(sink);
    const int n = m_painted;
    m_painted = 0;
    return n;
}

void PictureOut::Reset() {
    m_painted = 0;
    m_lastSerial = 0;
    m_lastPresentUs = 0;
    m_lastCounted = true;
}

}  // namespace lumocore
