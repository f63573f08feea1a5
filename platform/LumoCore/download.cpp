// Downloads: copy the packets of one or more record files (or a time range of them) into one new
// file without decoding, on a thread of their own. The file is written under a temporary name
// and renamed when complete, so a failed or stopped download never leaves a half file behind a
// real name.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/time.h>
#include <libswscale/swscale.h>
}

#include "LumoCore/lumocore_internal.h"
#include "LumoCore/mediaworker.h"
#include "LumoRecord/avopen.h"

namespace lumocore {
namespace {

std::atomic<uint64_t> g_spaceLimit{0};

struct Target {
    std::string type, format, folder, fileName;
};

bool ParseTarget(const char* url, Target* t) {
    if (!url) return false;
    std::string u(url);
    if (u.compare(0, 8, "filew://") != 0) return false;
    t->type = LumoRecordUriParam(u, "type");
    t->format = LumoRecordUriParam(u, "format");
    for (char& c : t->format) c = char(std::tolower(static_cast<unsigned char>(c)));
    size_t p = u.find("pathname=");
    if (p == std::string::npos) return false;
    size_t f = u.find("&filename=", p);
    t->folder = u.substr(p + 9, f == std::string::npos ? std::string::npos : f - p - 9);
    if (f != std::string::npos) t->fileName = u.substr(f + 10);
    if (t->folder.find('/') == std::string::npos) std::replace(t->folder.begin(), t->folder.end(), '\\', '/');
    return !t->folder.empty();
}

const char* MuxerOf(const std::string& format) {
    if (format == "dav" || format == "ts") return "mpegts";  // our record container
    if (format == "avi") return "avi";
    if (format == "mp4") return "mp4";
    return nullptr;
}

// Whether the container can carry the codec. FFmpeg only knows for some muxers; for MPEG-TS it
// would write an unknown audio codec as an opaque data stream, so the list is ours.
bool Carries(const AVOutputFormat* fmt, AVCodecID id) {
    if (std::strcmp(fmt->name, "mpegts") == 0) {
        switch (id) {
            case AV_CODEC_ID_H264:
            case AV_CODEC_ID_HEVC:
            case AV_CODEC_ID_MPEG4:
            case AV_CODEC_ID_MPEG2VIDEO:
            case AV_CODEC_ID_MPEG1VIDEO:
            case AV_CODEC_ID_AAC:
            case AV_CODEC_ID_MP3:
            case AV_CODEC_ID_MP2:
            case AV_CODEC_ID_AC3:
            case AV_CODEC_ID_OPUS:
                return true;
            default:
                return false;
        }
    }
    return avformat_query_codec(fmt, id, FF_COMPLIANCE_NORMAL) != 0;  // 1 yes, 0 no, < 0 unknown: try
}

// AVI keeps H.264/H.265 as start-code streams; sources from MP4 carry length-prefixed ones.
AVBSFContext* AnnexBFilter(const AVOutputFormat* fmt, const AVStream* in) {
    const AVCodecParameters* par = in->codecpar;
    if (std::strcmp(fmt->name, "avi") != 0) return nullptr;
    if (par->codec_id != AV_CODEC_ID_H264 && par->codec_id != AV_CODEC_ID_HEVC) return nullptr;
    if (par->extradata_size < 1 || par->extradata[0] != 1) return nullptr;  // already start codes
    const AVBitStreamFilter* f =
        av_bsf_get_by_name(par->codec_id == AV_CODEC_ID_H264 ? "h264_mp4toannexb" : "hevc_mp4toannexb");
    AVBSFContext* ctx = nullptr;
    if (!f || av_bsf_alloc(f, &ctx) < 0) return nullptr;
    avcodec_parameters_copy(ctx->par_in, par);
    ctx->time_base_in = in->time_base;
    if (av_bsf_init(ctx) < 0) av_bsf_free(&ctx);
    return ctx;
}

QString SafeName(QString n) {
    // A name, never a path: separators and control characters become '_'.
    for (QChar& c : n)
        if (c == '/' || c == '\\' || c.unicode() < 32) c = '_';
    return n.trimmed();
}

// One source of a download: a file, or the range of one.
struct Source {
    CLumoFileDesc desc;
    LumoRecordSource src;
    int64_t fromMs = 0;  // offset into the file where the copy starts
    int64_t lenMs = -1;  // length to copy; -1: to the end
};

}  // namespace

class Download : public std::enable_shared_from_this<Download>, public MediaWorker {
public:
    void* handle = nullptr;
    std::vector<Source> sources;
    std::string format;
    QString path;      // final file
    QString partPath;  // written first
    CLumoObject* owner = nullptr;
    LumoCallbackHandler handler = nullptr;
    std::string key;

    std::mutex m;
    bool started = false;
    bool finished = false;
    int result = 0;
    int percent = 0;
    uint64_t bytes = 0;
    // Rate: bytes at the start of the current one-second window.
    int64_t rateWindowUs = 0;
    uint64_t rateWindowBytes = 0;
    unsigned bitsPerSecond = 0;

    ~Download() {
        abort = true;
        JoinThread();
    }

    void Run();
    int Copy();
    int Picture();
    void Progress(int64_t doneMs, int64_t totalMs, uint64_t written);
};

namespace {

HandleRegistry<Download>& Downloads() {
    static HandleRegistry<Download> r;
    return r;
}

}  // namespace

void Download::Progress(int64_t doneMs, int64_t totalMs, uint64_t written) {
    std::lock_guard<std::mutex> lock(m);
    if (totalMs > 0) percent = int(std::min<int64_t>(99, std::max<int64_t>(0, doneMs * 100 / totalMs)));
    bytes = written;
    int64_t now = av_gettime_relative();
    if (rateWindowUs == 0) {
        rateWindowUs = now;
        rateWindowBytes = written;
    } else if (now - rateWindowUs >= 500000) {
        bitsPerSecond = unsigned(double(written - rateWindowBytes) * 8.0 * 1e6 / double(now - rateWindowUs));
        rateWindowUs = now;
        rateWindowBytes = written;
    }
}

// Stream copy of every source into the part file.
int Download::Copy() {
    const char* muxer = MuxerOf(format);
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, muxer, partPath.toUtf8().constData()) < 0 || !out)
        return LUMO_ERR_FAIL;
    int64_t totalMs = 0;
    for (const Source& s : sources) {
        int64_t len =
            s.lenMs >= 0 ? s.lenMs : CLumoTime::GetTimeSpan(s.desc.GetTimeE(), s.desc.GetTimeS()) - s.fromMs;
        totalMs += std::max<int64_t>(len, 1);
    }
    int64_t doneBeforeMs = 0;      // copied length of the finished sources
    std::vector<int64_t> lastDts;  // per output stream (output time base)
    std::vector<int64_t> baseTs;   // per output stream: where the next source starts (output time base)
    int outVideo = -1, outAudio = -1;
    AVCodecParameters* videoPar = nullptr;
    AVCodecParameters* audioPar = nullptr;
    bool headerWritten = false;
    int rc = LUMO_OK;
    AVPacket* pkt = av_packet_alloc();

    for (size_t si = 0; si < sources.size() && rc == LUMO_OK && !abort; ++si) {
        const Source& s = sources[si];
        AVFormatContext* in = nullptr;
        int r = LumoAVOpenInput(&in, s.src, &intr, GetSettings().openTimeoutMs.load());
        if (r != 0) {
            rc = abort ? LUMO_ERR_STATE : r;
            break;
        }
        int iv = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        int ia = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        AVBSFContext* bsf = iv >= 0 ? AnnexBFilter(out->oformat, in->streams[iv]) : nullptr;
        if (!headerWritten) {
            // The first source decides the streams of the file; a codec the container cannot hold
            // is left out rather than written broken.
            if (iv >= 0 && Carries(out->oformat, in->streams[iv]->codecpar->codec_id)) {
                AVStream* st = avformat_new_stream(out, nullptr);
                avcodec_parameters_copy(st->codecpar, bsf ? bsf->par_out : in->streams[iv]->codecpar);
                st->codecpar->codec_tag = 0;
                st->time_base = in->streams[iv]->time_base;
                st->avg_frame_rate = in->streams[iv]->avg_frame_rate;
                outVideo = st->index;
                videoPar = avcodec_parameters_alloc();
                avcodec_parameters_copy(videoPar, in->streams[iv]->codecpar);
            }
            if (ia >= 0 && Carries(out->oformat, in->streams[ia]->codecpar->codec_id)) {
                AVStream* st = avformat_new_stream(out, nullptr);
                avcodec_parameters_copy(st->codecpar, in->streams[ia]->codecpar);
                st->codecpar->codec_tag = 0;
                st->time_base = in->streams[ia]->time_base;
                outAudio = st->index;
                audioPar = avcodec_parameters_alloc();
                avcodec_parameters_copy(audioPar, in->streams[ia]->codecpar);
            }
            if (outVideo < 0 && outAudio < 0) {
                av_bsf_free(&bsf);
                avformat_close_input(&in);
                rc = LUMO_ERR_NOVIDEO;
                break;
            }
            if (!(out->oformat->flags & AVFMT_NOFILE)) {
                AVIOInterruptCB cb{&LumoAVInterrupt::Callback, &intr};
                r = avio_open2(&out->pb, partPath.toUtf8().constData(), AVIO_FLAG_WRITE, &cb, nullptr);
                if (r < 0) {
                    av_bsf_free(&bsf);
                    avformat_close_input(&in);
                    rc = r == AVERROR(ENOSPC) ? LUMO_ERR_DISKFULL : LUMO_ERR_WRITE;
                    break;
                }
            }
            r = avformat_write_header(out, nullptr);
            if (r < 0) {
                av_bsf_free(&bsf);
                avformat_close_input(&in);
                rc = r == AVERROR(ENOSPC) ? LUMO_ERR_DISKFULL : LUMO_ERR_WRITE;
                break;
            }
            headerWritten = true;
            lastDts.assign(out->nb_streams, AV_NOPTS_VALUE);
            baseTs.assign(out->nb_streams, 0);
        }
        // A later source joins only with the streams that match the file's.
        auto same = [](AVCodecParameters* a, AVCodecParameters* b) {
            return a && b && a->codec_id == b->codec_id && a->width == b->width && a->height == b->height &&
                   a->sample_rate == b->sample_rate;
        };
        int mapV = (iv >= 0 && outVideo >= 0 && same(videoPar, in->streams[iv]->codecpar)) ? outVideo : -1;
        int mapA = (ia >= 0 && outAudio >= 0 && same(audioPar, in->streams[ia]->codecpar)) ? outAudio : -1;
        if (mapV < 0 && mapA < 0) {
            LumoPrintf("LumoCore: %s does not match the download's streams and is left out\n",
                       s.desc.GetURI());
            av_bsf_free(&bsf);
            avformat_close_input(&in);
            continue;
        }
        int ref = mapV >= 0 ? iv : ia;
        AVStream* refSt = in->streams[ref];
        int64_t refStart = refSt->start_time != AV_NOPTS_VALUE ? refSt->start_time : 0;
        int64_t fromTs = refStart + av_rescale_q(s.fromMs, AVRational{1, 1000}, refSt->time_base);
        int64_t endTs =
            s.lenMs >= 0 ? fromTs + av_rescale_q(s.lenMs, AVRational{1, 1000}, refSt->time_base) : INT64_MAX;
        if (s.fromMs > 0) {
            intr.Arm(GetSettings().readTimeoutMs.load());
            if (avformat_seek_file(in, ref, INT64_MIN, fromTs, fromTs, 0) < 0)
                av_seek_frame(in, ref, fromTs, AVSEEK_FLAG_BACKWARD);
        }
        // Input time (per input stream) that maps to the source's start in the output.
        std::vector<int64_t> inStart(in->nb_streams, AV_NOPTS_VALUE);
        int64_t srcEndOut[2] = {0, 0};  // furthest end reached per output stream, output tb
        bool copying = mapV < 0;        // video copies begin on a key frame
        int64_t copiedMs = 0;
        for (;;) {
            if (abort) {
                rc = LUMO_ERR_STATE;
                break;
            }
            intr.Arm(GetSettings().readTimeoutMs.load());
            r = av_read_frame(in, pkt);
            intr.Disarm();
            if (r < 0) {
                if (r != AVERROR_EOF && abort) rc = LUMO_ERR_STATE;
                break;  // the end of the file, or its unreadable rest
            }
            int os = pkt->stream_index == iv ? mapV : (pkt->stream_index == ia ? mapA : -1);
            if (os < 0 || pkt->dts == AV_NOPTS_VALUE) {
                av_packet_unref(pkt);
                continue;
            }
            AVStream* ist = in->streams[pkt->stream_index];
            int64_t tsRef = av_rescale_q(pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts, ist->time_base,
                                         refSt->time_base);
            if (tsRef >= endTs && (pkt->stream_index == ref || os == mapA)) {
                av_packet_unref(pkt);
                if (pkt->stream_index == ref) break;
                continue;
            }
            if (os == mapV && !copying) {
                if (!(pkt->flags & AV_PKT_FLAG_KEY)) {
                    av_packet_unref(pkt);
                    continue;
                }
                copying = true;
            }
            if (!copying) {  // audio before the first key frame
                av_packet_unref(pkt);
                continue;
            }
            if (inStart[size_t(pkt->stream_index)] == AV_NOPTS_VALUE) {
                // Every stream of this source starts from the same instant: the reference start.
                int64_t startRef = std::min(tsRef, fromTs);
                inStart[size_t(pkt->stream_index)] = av_rescale_q(startRef, refSt->time_base, ist->time_base);
            }
            AVStream* ost = out->streams[os];
            int64_t shift = inStart[size_t(pkt->stream_index)];
            int64_t base = baseTs[size_t(os)];
            pkt->pts = pkt->pts == AV_NOPTS_VALUE
                           ? AV_NOPTS_VALUE
                           : av_rescale_q(pkt->pts - shift, ist->time_base, ost->time_base) + base;
            pkt->dts = av_rescale_q(pkt->dts - shift, ist->time_base, ost->time_base) + base;
            pkt->duration = av_rescale_q(pkt->duration, ist->time_base, ost->time_base);
            if (lastDts[size_t(os)] != AV_NOPTS_VALUE && pkt->dts <= lastDts[size_t(os)])
                pkt->dts = lastDts[size_t(os)] + 1;
            if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < pkt->dts) pkt->pts = pkt->dts;
            lastDts[size_t(os)] = pkt->dts;
            int64_t endOut =
                (pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts) + std::max<int64_t>(pkt->duration, 1);
            srcEndOut[os == outVideo ? 0 : 1] = std::max(srcEndOut[os == outVideo ? 0 : 1], endOut);
            if (os == outVideo || outVideo < 0)
                copiedMs = av_rescale_q(endOut - base, ost->time_base, AVRational{1, 1000});
            pkt->stream_index = os;
            pkt->pos = -1;
            if (bsf && os == mapV) {
                // The filter keeps the time stamps; it only rewrites the payload.
                r = av_bsf_send_packet(bsf, pkt);
                av_packet_unref(pkt);
                while (r >= 0 && av_bsf_receive_packet(bsf, pkt) == 0) {
                    pkt->stream_index = os;
                    r = av_interleaved_write_frame(out, pkt);
                    av_packet_unref(pkt);
                }
                if (r == AVERROR(EAGAIN)) r = 0;
            } else {
                r = av_interleaved_write_frame(out, pkt);
                av_packet_unref(pkt);
            }
            uint64_t written = out->pb ? uint64_t(std::max<int64_t>(0, avio_tell(out->pb))) : 0;
            uint64_t limit = g_spaceLimit.load();
            if (r == AVERROR(ENOSPC) || (limit && written > limit)) {
                rc = LUMO_ERR_DISKFULL;
                break;
            }
            if (r < 0) {
                rc = LUMO_ERR_WRITE;
                break;
            }
            Progress(doneBeforeMs + copiedMs, totalMs, written);
        }
        // The next source continues where this one ended, on every stream alike.
        int64_t endMs = 0;
        if (outVideo >= 0)
            endMs = std::max(
                endMs, av_rescale_q(srcEndOut[0], out->streams[outVideo]->time_base, AVRational{1, 1000}));
        if (outAudio >= 0)
            endMs = std::max(
                endMs, av_rescale_q(srcEndOut[1], out->streams[outAudio]->time_base, AVRational{1, 1000}));
        for (unsigned k = 0; k < out->nb_streams; ++k)
            baseTs[k] =
                std::max(baseTs[k], av_rescale_q(endMs, AVRational{1, 1000}, out->streams[k]->time_base));
        int64_t len =
            s.lenMs >= 0 ? s.lenMs : CLumoTime::GetTimeSpan(s.desc.GetTimeE(), s.desc.GetTimeS()) - s.fromMs;
        doneBeforeMs += std::max<int64_t>(len, 1);
        av_bsf_free(&bsf);
        avformat_close_input(&in);
    }
    av_packet_free(&pkt);
    if (headerWritten) {
        int r = av_write_trailer(out);
        if (rc == LUMO_OK && r < 0) rc = r == AVERROR(ENOSPC) ? LUMO_ERR_DISKFULL : LUMO_ERR_WRITE;
        if (rc == LUMO_OK && out->pb && out->pb->error < 0)
            rc = out->pb->error == AVERROR(ENOSPC) ? LUMO_ERR_DISKFULL : LUMO_ERR_WRITE;
    }
    uint64_t written = out->pb ? uint64_t(std::max<int64_t>(0, avio_tell(out->pb))) : 0;
    if (out->pb && !(out->oformat->flags & AVFMT_NOFILE)) avio_closep(&out->pb);
    avformat_free_context(out);
    avcodec_parameters_free(&videoPar);
    avcodec_parameters_free(&audioPar);
    if (rc == LUMO_OK && !headerWritten) rc = LUMO_ERR_NOVIDEO;
    std::lock_guard<std::mutex> lock(m);
    bytes = written;
    return rc;
}

// A picture (format "jpg"): the first frame at the start of the range.
int Download::Picture() {
    const Source& s = sources.front();
    AVFormatContext* in = nullptr;
    int r = LumoAVOpenInput(&in, s.src, &intr, GetSettings().openTimeoutMs.load());
    if (r != 0) return r;
    int iv = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = iv >= 0 ? avcodec_find_decoder(in->streams[iv]->codecpar->codec_id) : nullptr;
    AVCodecContext* dec = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!dec || avcodec_parameters_to_context(dec, in->streams[iv]->codecpar) < 0 ||
        avcodec_open2(dec, codec, nullptr) < 0) {
        avcodec_free_context(&dec);
        avformat_close_input(&in);
        return LUMO_ERR_NOVIDEO;
    }
    AVStream* st = in->streams[iv];
    int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    int64_t target = start + av_rescale_q(s.fromMs, AVRational{1, 1000}, st->time_base);
    if (s.fromMs > 0) avformat_seek_file(in, iv, INT64_MIN, target, target, 0);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* f = av_frame_alloc();
    bool got = false;
    while (!got && !abort && av_read_frame(in, pkt) >= 0) {
        if (pkt->stream_index == iv && avcodec_send_packet(dec, pkt) >= 0)
            while (!got && avcodec_receive_frame(dec, f) == 0) {
                int64_t ts = f->best_effort_timestamp;
                if (ts == AV_NOPTS_VALUE || ts >= target)
                    got = true;
                else
                    av_frame_unref(f);
            }
        av_packet_unref(pkt);
    }
    if (!got) {  // the range lies past the last picture: take the last one the decoder holds
        avcodec_send_packet(dec, nullptr);
        while (avcodec_receive_frame(dec, f) == 0) got = true;
    }
    int rc = got ? LUMO_OK : LUMO_ERR_NOFRAME;
    if (got) {
        SwsContext* sws = sws_getContext(f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                         AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
        QImage img(f->width, f->height, QImage::Format_RGB32);
        if (sws && !img.isNull()) {
            uint8_t* dst[4] = {img.bits(), nullptr, nullptr, nullptr};
            int lines[4] = {int(img.bytesPerLine()), 0, 0, 0};
            sws_scale(sws, f->data, f->linesize, 0, f->height, dst, lines);
            QImageWriter w(partPath, "JPG");
            if (!w.write(img)) rc = LUMO_ERR_WRITE;
        } else {
            rc = LUMO_ERR_FAIL;
        }
        if (sws) sws_freeContext(sws);
    }
    av_frame_free(&f);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&in);
    std::lock_guard<std::mutex> lock(m);
    bytes = uint64_t(QFileInfo(partPath).size());
    return rc;
}

void Download::Run() {
    int rc = format == "jpg" ? Picture() : Copy();
    if (rc == LUMO_OK && abort) rc = LUMO_ERR_STATE;
    if (rc == LUMO_OK) {
        // Complete: the file takes its real name (never over another file).
        QFile::remove(path);
        if (!QFile::rename(partPath, path)) rc = LUMO_ERR_WRITE;
    }
    if (rc != LUMO_OK) QFile::remove(partPath);
    {
        std::lock_guard<std::mutex> lock(m);
        finished = true;
        result = rc;
        if (rc == LUMO_OK) percent = 100;
        bitsPerSecond = 0;
    }
    if (owner && handler)
        handler(owner, LUMO_DOWNLOAD_FINISHED, handle, reinterpret_cast<void*>(intptr_t(rc)), nullptr);
}

}  // namespace lumocore

using namespace lumocore;

void LumoDownloadSetSpaceLimit(uint64_t bytes) {
    g_spaceLimit = bytes;
}

int LumoDownloadOpenFile(void** download, const char* url, CLumoFileDescList* list) {
    if (!download) return LUMO_ERR_PARAM;
    *download = nullptr;
    Target t;
    if (!ParseTarget(url, &t) || !list || list->IsEmpty()) return LUMO_ERR_PARAM;
    if (t.format != "jpg" && !MuxerOf(t.format)) return LUMO_ERR_UNSUPPORTED;
    auto d = std::make_shared<Download>();
    d->format = t.format;
    for (CLumoFileDesc* desc : *list) {
        if (!desc) continue;
        Source s;
        s.desc = *desc;
        if (LumoRecordParseUri(desc->GetURI(), &s.src) != 0) return LUMO_ERR_PARAM;
        if (s.src.isNetwork) return LUMO_ERR_UNSUPPORTED;
        if (!QFileInfo(QString::fromStdString(s.src.path)).isFile()) return LUMO_ERR_NOTFOUND;
        // Strip the range so the descriptor names the whole file when it is probed.
        CLumoFileDesc whole = s.desc;
        std::string uri = desc->GetURI();
        size_t from = uri.rfind("&from=");
        if (s.src.hasRange && from != std::string::npos) whole.SetURI(uri.substr(0, from).c_str());
        if (whole.GetTimeS().IsEmpty() || whole.GetTimeE().IsEmpty()) {
            int r = LumoRecordProbeDesc(&whole);
            if (r != 0) return r;
            s.desc.SetTimeS(whole.GetTimeS());
            s.desc.SetTimeE(whole.GetTimeE());
        }
        if (s.src.hasRange) {
            s.fromMs = std::max<int64_t>(0, CLumoTime::GetTimeSpan(s.src.from, s.desc.GetTimeS()));
            s.lenMs = s.src.lengthSec * 1000;
            if (s.lenMs <= 0) return LUMO_ERR_PARAM;
        }
        d->sources.push_back(s);
    }
    if (d->sources.empty()) return LUMO_ERR_PARAM;

    const Source& first = d->sources.front();
    QString name = SafeName(QString::fromUtf8(t.fileName.c_str()));
    if (name.isEmpty()) name = SafeName(QString::fromUtf8(first.desc.GetSaveFileName()));
    if (name.isEmpty()) {
        // <file name>_<yyyyMMddhhmmss of the start>_<seconds>s
        QString stem = QFileInfo(QString::fromStdString(first.src.path)).completeBaseName();
        CLumoTime start = first.desc.GetTimeS();
        start.Add(first.fromMs);
        QDateTime st = QDateTime::fromMSecsSinceEpoch(start.ToEpochMs());
        int64_t lenMs = 0;
        for (const Source& s : d->sources)
            lenMs += s.lenMs >= 0 ? s.lenMs
                                  : CLumoTime::GetTimeSpan(s.desc.GetTimeE(), s.desc.GetTimeS()) - s.fromMs;
        name = QString("%1_%2_%3s")
                   .arg(stem, st.toString("yyyyMMddhhmmss"))
                   .arg(std::max<int64_t>(1, lenMs / 1000));
    }
    QString ext = "." + QString::fromStdString(t.format);
    if (!name.endsWith(ext, Qt::CaseInsensitive)) name += ext;
    QString folder = QString::fromUtf8(t.folder.c_str());
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) return LUMO_ERR_WRITE;
    // An existing file is never overwritten: the new one is numbered apart.
    QString path = QDir(folder).filePath(name);
    QString stem = QFileInfo(name).completeBaseName();
    for (int n = 1; QFileInfo::exists(path) || QFileInfo::exists(path + ".part"); ++n)
        path = QDir(folder).filePath(QString("%1(%2)%3").arg(stem).arg(n).arg(ext));
    d->path = path;
    d->partPath = path + ".part";
    d->handle = Downloads().Add(d);
    *download = d->handle;
    return LUMO_OK;
}

int LumoDownloadAttachStream(void* download, CLumoObject* owner, LumoCallbackHandler handler) {
    auto d = Downloads().Get(download);
    if (!d) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(d->m);
    if (d->started) return LUMO_ERR_STATE;
    d->owner = owner;
    d->handler = handler;
    return LUMO_OK;
}

int LumoDownloadDetachStream(void* download, CLumoObject* owner, LumoCallbackHandler) {
    auto d = Downloads().Get(download);
    if (!d) return LUMO_ERR_PARAM;
    if (d->thread.joinable() && !d->finished) return LUMO_ERR_STATE;  // detach after the stop
    if (owner && d->owner != owner) return LUMO_ERR_PARAM;
    d->owner = nullptr;
    d->handler = nullptr;
    return LUMO_OK;
}

int LumoDownloadSetKey(void* download, const char* key1, const char*, const char*) {
    auto d = Downloads().Get(download);
    if (!d) return LUMO_ERR_PARAM;
    // Records of this system are not enciphered; the key is kept for the record only.
    d->key = key1 ? key1 : "";
    return LUMO_OK;
}

int LumoDownloadStart(void* download, int) {
    auto d = Downloads().Get(download);
    if (!d) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(d->m);
    if (d->started) return LUMO_ERR_STATE;
    d->started = true;
    std::shared_ptr<Download> self = d;
    d->thread = std::thread([self] { self->Run(); });
    return LUMO_OK;
}

int LumoDownloadGetProgressEx(void* download, int* flags, int* result, int* percent, uint64_t* bytes) {
    auto d = Downloads().Get(download);
    if (!d) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(d->m);
    if (flags) *flags = d->finished ? LUMO_DOWNLOAD_FINISHED : (d->started ? LUMO_DOWNLOAD_RUNNING : 0);
    if (result) *result = d->result;
    if (percent) *percent = d->percent;
    if (bytes) *bytes = d->bytes;
    return LUMO_OK;
}

int LumoDownloadGetProgress(void* download, int* state, int* error, int* progress) {
    return LumoDownloadGetProgressEx(download, state, error, progress, nullptr);
}

int LumoDownloadGetBitrate(void* download, unsigned* bitsPerSecond) {
    auto d = Downloads().Get(download);
    if (!d || !bitsPerSecond) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(d->m);
    *bitsPerSecond = d->bitsPerSecond;
    return LUMO_OK;
}

int LumoDownloadGetFileName(void* download, CLumoString* path) {
    auto d = Downloads().Get(download);
    if (!d || !path) return LUMO_ERR_PARAM;
    path->Copy(d->path.toUtf8().constData());
    return LUMO_OK;
}

int LumoDownloadStop(void* download) {
    auto d = Downloads().Get(download);
    if (!d) return LUMO_ERR_PARAM;
    d->abort = true;
    d->JoinThread();
    return LUMO_OK;
}

int LumoDownloadClose(void* download) {
    auto d = Downloads().Remove(download);
    if (!d) return LUMO_ERR_PARAM;
    d->abort = true;
    d->JoinThread();
    return LUMO_OK;
}
