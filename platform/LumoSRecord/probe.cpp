#include "probe.h"

#include <cmath>

#include "LumoAV/LumoAV.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace kesto {

ProbeResult ProbeMediaFile(const std::string& path, int timeoutMs, const std::function<bool()>& aborted) {
    ProbeResult r;
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_FATAL);  // broken files are expected here; their noise is not useful
        return true;
    }();
    (void)quiet;

    // One deadline for the whole probe; a stop of the engine ends it at once.
    LumoAVInterrupt intr;
    intr.abortCheck = aborted;
    LumoAVOpenLimits limits;
    limits.timeoutMs = timeoutMs;
    limits.deadlineEachStep = false;
    limits.probeBytes = 2000000;
    limits.analyzeUs = 2000000;
    AVFormatContext* ctx = nullptr;
    LumoAVOpenStep step = LUMOAV_OPEN_OK;
    int rc = LumoAVOpenDemuxer(&ctx, path, nullptr, &intr, limits, &step);
    if (rc < 0) {
        if (step == LUMOAV_STREAM_INFO_FAILED) {
            r.error = "no stream information";
        } else {
            char buf[128];
            av_strerror(rc, buf, sizeof buf);
            r.error = buf;
        }
        r.aborted = intr.aborted;
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
        r.videoCodec = static_cast<uint8_t>(LumoAVCodecCode(video->codecpar->codec_id));
        r.width = static_cast<uint16_t>(std::max(0, std::min(65535, video->codecpar->width)));
        r.height = static_cast<uint16_t>(std::max(0, std::min(65535, video->codecpar->height)));
        AVRational fr = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
        if (fr.num > 0 && fr.den > 0) r.frameRate = static_cast<int>(std::lround(av_q2d(fr)));
    }
    if (audio) r.audioCodec = static_cast<uint8_t>(LumoAVCodecCode(audio->codecpar->codec_id));
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
    r.aborted = intr.aborted;
    if (r.aborted) r.readable = false;
    avformat_close_input(&ctx);
    return r;
}

}  // namespace kesto
