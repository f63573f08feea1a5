#include "probe.h"

#include <chrono>
#include <cmath>

#include "LumoFS/LumoFS.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace kesto {

namespace {

struct Deadline {
    std::chrono::steady_clock::time_point until;
    const std::function<bool()>* aborted;
    bool wasAborted = false;
};

int interruptCallback(void* opaque) {
    Deadline* d = static_cast<Deadline*>(opaque);
    if (*d->aborted && (*d->aborted)()) {
        d->wasAborted = true;
        return 1;
    }
    return std::chrono::steady_clock::now() > d->until ? 1 : 0;
}

uint8_t videoCode(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_H264:
            return LUMO_CODEC_H264;
        case AV_CODEC_ID_HEVC:
            return LUMO_CODEC_H265;
        case AV_CODEC_ID_MJPEG:
            return LUMO_CODEC_JPEG;
        case AV_CODEC_ID_MPEG4:
            return LUMO_CODEC_MPEG4;
        default:
            return LUMO_CODEC_NONE;
    }
}

uint8_t audioCode(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_PCM_ALAW:
            return LUMO_CODEC_PCMA;
        case AV_CODEC_ID_PCM_MULAW:
            return LUMO_CODEC_PCMU;
        case AV_CODEC_ID_ADPCM_G726:
        case AV_CODEC_ID_ADPCM_IMA_WAV:
            return LUMO_CODEC_ADPCM;
        case AV_CODEC_ID_MP3:
            return LUMO_CODEC_MP3;
        case AV_CODEC_ID_AAC:
            return LUMO_CODEC_AAC;
        case AV_CODEC_ID_PCM_S16LE:
            return LUMO_CODEC_PCM;
        default:
            return LUMO_CODEC_NONE;
    }
}

}  // namespace

ProbeResult ProbeMediaFile(const std::string& path, int timeoutMs, const std::function<bool()>& aborted) {
    ProbeResult r;
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_FATAL);  // broken files are expected here; their noise is not useful
        return true;
    }();
    (void)quiet;

    Deadline deadline{std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs), &aborted};
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx) {
        r.error = "out of memory";
        return r;
    }
    ctx->interrupt_callback.callback = interruptCallback;
    ctx->interrupt_callback.opaque = &deadline;
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "probesize", "2000000", 0);
    av_dict_set(&opts, "analyzeduration", "2000000", 0);
    int rc = avformat_open_input(&ctx, path.c_str(), nullptr, &opts);  // frees ctx on failure
    av_dict_free(&opts);
    if (rc < 0) {
        char buf[128];
        av_strerror(rc, buf, sizeof buf);
        r.error = buf;
        r.aborted = deadline.wasAborted;
        return r;
    }
    rc = avformat_find_stream_info(ctx, nullptr);
    if (rc < 0) {
        r.error = "no stream information";
        r.aborted = deadline.wasAborted;
        avformat_close_input(&ctx);
        return r;
    }

    const AVStream* video = nullptr;
    const AVStream* audio = nullptr;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !video &&
            !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            video = st;
        else if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && !audio)
            audio = st;
    }
    int64_t duration = AV_NOPTS_VALUE;
    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0) {
        duration = av_rescale(ctx->duration, 1000, AV_TIME_BASE);
    } else if (video && video->duration != AV_NOPTS_VALUE && video->duration > 0) {
        duration = av_rescale_q(video->duration, video->time_base, AVRational{1, 1000});
    }
    if (video) {
        r.videoCodec = videoCode(video->codecpar->codec_id);
        r.width = static_cast<uint16_t>(std::max(0, std::min(65535, video->codecpar->width)));
        r.height = static_cast<uint16_t>(std::max(0, std::min(65535, video->codecpar->height)));
        AVRational fr = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
        if (fr.num > 0 && fr.den > 0) r.frameRate = static_cast<int>(std::lround(av_q2d(fr)));
    }
    if (audio) r.audioCodec = audioCode(audio->codecpar->codec_id);
    if (duration != AV_NOPTS_VALUE && duration > 0) {
        r.durationMs = duration;
        if (video && video->nb_frames > 0)
            r.frames = static_cast<uint32_t>(video->nb_frames);
        else if (r.frameRate > 0)
            r.frames = static_cast<uint32_t>(duration * r.frameRate / 1000);
        if (ctx->bit_rate > 0) r.bitRateKbps = static_cast<int>(ctx->bit_rate / 1000);
    }
    // A file cut short keeps what it holds, but a single (possibly partial) frame is not a record.
    const bool moreThanAFrame = r.frameRate <= 0 || r.durationMs * r.frameRate > 1000;
    r.readable = video != nullptr && r.width > 0 && r.height > 0 && r.durationMs > 0 && moreThanAFrame;
    if (!r.readable && r.error.empty())
        r.error = !video ? "no video stream" : (r.durationMs > 0 ? "a single frame at most" : "no duration");
    r.aborted = deadline.wasAborted;
    if (r.aborted) r.readable = false;
    avformat_close_input(&ctx);
    return r;
}

}  // namespace kesto
