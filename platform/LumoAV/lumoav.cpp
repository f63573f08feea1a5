#include "LumoAV/LumoAV.h"

#include "LumoFS/LumoFS.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/time.h>
}

int LumoAVCodecCode(int id) {
    switch (static_cast<AVCodecID>(id)) {
        case AV_CODEC_ID_H264:
            return LUMO_CODEC_H264;
        case AV_CODEC_ID_HEVC:
            return LUMO_CODEC_H265;
        case AV_CODEC_ID_MJPEG:
            return LUMO_CODEC_JPEG;
        case AV_CODEC_ID_MPEG4:
            return LUMO_CODEC_MPEG4;
        case AV_CODEC_ID_PCM_ALAW:
            return LUMO_CODEC_PCMA;
        case AV_CODEC_ID_PCM_MULAW:
            return LUMO_CODEC_PCMU;
        case AV_CODEC_ID_ADPCM_G726:
        case AV_CODEC_ID_ADPCM_G726LE:
        case AV_CODEC_ID_ADPCM_IMA_WAV:
        case AV_CODEC_ID_ADPCM_MS:
        case AV_CODEC_ID_ADPCM_G722:
            return LUMO_CODEC_ADPCM;
        case AV_CODEC_ID_MP3:
            return LUMO_CODEC_MP3;
        case AV_CODEC_ID_AAC:
            return LUMO_CODEC_AAC;
        case AV_CODEC_ID_PCM_S16LE:
        case AV_CODEC_ID_PCM_S16BE:
        case AV_CODEC_ID_PCM_U8:
            return LUMO_CODEC_PCM;
        default:
            return LUMO_CODEC_NONE;
    }
}

void LumoAVInterrupt::Arm(int ms) {
    deadlineUs = ms > 0 ? av_gettime_relative() + int64_t(ms) * 1000 : 0;
}

int LumoAVInterrupt::Callback(void* opaque) {
    auto* self = static_cast<LumoAVInterrupt*>(opaque);
    if (!self) return 0;
    if ((self->abortFlag && self->abortFlag->load()) || (self->abortCheck && self->abortCheck())) {
        self->aborted = true;
        return 1;
    }
    int64_t d = self->deadlineUs.load();
    if (d > 0 && av_gettime_relative() > d) {
        self->timedOut = true;
        return 1;
    }
    return 0;
}

int LumoAVOpenDemuxer(AVFormatContext** out, const std::string& url, AVDictionary** opts,
                      LumoAVInterrupt* intr, const LumoAVOpenLimits& limits, LumoAVOpenStep* step) {
    LumoAVOpenStep dummy;
    if (!step) step = &dummy;
    *step = LUMOAV_OPEN_FAILED;
    *out = nullptr;
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx) return AVERROR(ENOMEM);
    if (intr) {
        intr->timedOut = false;
        intr->aborted = false;
        intr->Arm(limits.timeoutMs);
        intr->Attach(ctx);
    }
    if (limits.probeBytes > 0) ctx->probesize = limits.probeBytes;
    if (limits.analyzeUs > 0) ctx->max_analyze_duration = limits.analyzeUs;
    int r = avformat_open_input(&ctx, url.c_str(), nullptr, opts);  // frees the context on failure
    if (r < 0) return r;
    if (intr && limits.deadlineEachStep) intr->Arm(limits.timeoutMs);
    r = avformat_find_stream_info(ctx, nullptr);
    if (r < 0) {
        *step = LUMOAV_STREAM_INFO_FAILED;
        avformat_close_input(&ctx);
        return r;
    }
    *step = LUMOAV_OPEN_OK;
    *out = ctx;
    return 0;
}
