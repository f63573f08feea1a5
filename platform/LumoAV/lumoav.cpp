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

namespace {

// Calls f(first byte of the NAL unit) for each NAL unit of an H.264/H.265 packet, stored with
// length prefixes (MP4, as the extradata's configuration record says) or start codes (MPEG-TS).
// Stops when f returns false.
template <class F>
void ForEachNal(const AVCodecParameters* par, const uint8_t* data, int size, F f) {
    const bool hevc = par->codec_id == AV_CODEC_ID_HEVC;
    const uint8_t* x = par->extradata;
    const int xs = par->extradata_size;
    if (x && xs > 0 && x[0] == 1) {
        // A configuration record: the NAL length size is in its header.
        const int at = hevc ? 21 : 4;
        if (xs <= at) return;
        const int lengthSize = (x[at] & 3) + 1;
        int pos = 0;
        while (pos + lengthSize < size) {
            uint32_t len = 0;
            for (int i = 0; i < lengthSize; ++i) len = (len << 8) | data[pos + i];
            pos += lengthSize;
            if (len == 0 || len > uint32_t(size - pos)) return;
            if (!f(data[pos])) return;
            pos += int(len);
        }
        return;
    }
    for (int i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (!f(data[i + 3])) return;
            i += 2;
        }
    }
}

}  // namespace

bool LumoAVIsNonReference(const AVCodecParameters* par, const AVPacket* pkt) {
    if (!par || !pkt || !pkt->data || pkt->size <= 4 || (pkt->flags & AV_PKT_FLAG_KEY)) return false;
    if (pkt->flags & AV_PKT_FLAG_DISPOSABLE) return true;
    switch (par->codec_id) {
        case AV_CODEC_ID_H264: {
            bool picture = false, reference = false;
            ForEachNal(par, pkt->data, pkt->size, [&](uint8_t b) {
                const int type = b & 0x1F;
                if (type >= 1 && type <= 5) {  // a slice
                    picture = true;
                    if (b & 0x60) reference = true;
                }
                return !reference;
            });
            return picture && !reference;
        }
        case AV_CODEC_ID_HEVC: {
            bool picture = false, reference = false;
            ForEachNal(par, pkt->data, pkt->size, [&](uint8_t b) {
                const int type = (b >> 1) & 0x3F;
                if (type < 32) {  // a slice; the even types below 16 are sub-layer non-reference
                    picture = true;
                    if (type >= 16 || (type & 1)) reference = true;
                }
                return !reference;
            });
            return picture && !reference;
        }
        case AV_CODEC_ID_MPEG4:
            // The picture's coding type follows its start code: 2 is a B-picture.
            for (int i = 0; i + 4 < pkt->size; ++i)
                if (pkt->data[i] == 0 && pkt->data[i + 1] == 0 && pkt->data[i + 2] == 1 &&
                    pkt->data[i + 3] == 0xB6)
                    return (pkt->data[i + 4] >> 6) == 2;
            return false;
        default:
            return false;
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
