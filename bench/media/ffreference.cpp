#include "ffreference.h"

#include "sysload.h"

#include <chrono>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace bench {

namespace {

struct FormatClose {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

QString AvError(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString("%1: %2").arg(what, text);
}

}  // namespace

DecodeRun ReferenceDecode(const QString& path, int threads, int64_t maxFrames) {
    using Clock = std::chrono::steady_clock;
    DecodeRun run;
    const double cpu0 = ProcessCpuSec();
    const Clock::time_point t0 = Clock::now();
    auto sinceStart = [&t0] { return std::chrono::duration<double>(Clock::now() - t0).count(); };

    // What the ffmpeg tool does for "-threads N -i file -f null -": open, probe, decode.
    AVFormatContext* raw = nullptr;
    int r = avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr);
    if (r < 0) {
        run.error = AvError("open", r);
        return run;
    }
    std::unique_ptr<AVFormatContext, FormatClose> fmt(raw);
    r = avformat_find_stream_info(fmt.get(), nullptr);
    if (r < 0) {
        run.error = AvError("probe", r);
        return run;
    }
    const AVCodec* codec = nullptr;
    const int vi = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (vi < 0 || !codec) {
        run.error = "no video stream";
        return run;
    }
    AVStream* st = fmt->streams[vi];
    std::unique_ptr<AVCodecContext, CodecFree> dec(avcodec_alloc_context3(codec));
    if (!dec || avcodec_parameters_to_context(dec.get(), st->codecpar) < 0) {
        run.error = "decoder set-up";
        return run;
    }
    dec->pkt_timebase = st->time_base;
    dec->thread_count = threads;  // frame and slice threading: FFmpeg's default kinds
    r = avcodec_open2(dec.get(), codec, nullptr);
    if (r < 0) {
        run.error = AvError("decoder open", r);
        return run;
    }
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (int(i) != vi) fmt->streams[i]->discard = AVDISCARD_ALL;

    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!pkt || !frame) {
        run.error = "out of memory";
        return run;
    }
    bool done = false;
    auto drain = [&] {
        while (!done && avcodec_receive_frame(dec.get(), frame.get()) == 0) {
            if (++run.frames == 1) run.firstFrameMs = sinceStart() * 1000.0;
            av_frame_unref(frame.get());
            if (maxFrames > 0 && run.frames >= maxFrames) done = true;
        }
    };
    while (!done) {
        r = av_read_frame(fmt.get(), pkt.get());
        if (r < 0) break;
        if (pkt->stream_index == vi) {
            avcodec_send_packet(dec.get(), pkt.get());  // a damaged packet is skipped, as the player does
            drain();
        }
        av_packet_unref(pkt.get());
    }
    if (!done) {
        avcodec_send_packet(dec.get(), nullptr);
        drain();
    }
    run.wallSec = sinceStart();
    run.cpuSec = ProcessCpuSec() - cpu0;
    run.ok = run.frames > 0;
    if (!run.ok) run.error = "no frame decoded";
    return run;
}

}  // namespace bench
