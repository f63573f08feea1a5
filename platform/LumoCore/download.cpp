// Downloads: copy the packets of one or more record files (or a time range of them) into one new
// file without decoding, on a thread of their own. The file is written under a temporary name
// and renamed when complete, so a failed or stopped download never leaves a half file behind a
// real name.
//
// Invariants of the files a download touches:
// - "<name>.part" is created exclusively when the download is opened, so downloads open at the
//   same time never share a file, and a leftover ".part" (a killed process) is never reused.
// - The final name only ever appears by an atomic rename of a complete, closed file, and never
//   replaces a file that is there (the complete file is numbered apart instead).
// - Whatever ends a download short of complete (stop, failure, close before start) removes its
//   ".part"; only a killed process leaves one, and it stays a ".part".
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/time.h>
}

#include "LumoAV/LumoAVPtr.h"
#include "lumocore_internal.h"
#include "mediaworker.h"
#include "pictureout.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoRecord/avopen.h"
#include "VantelCore/urlmask.h"

namespace lumocore {
namespace {

std::atomic<uint64_t> g_spaceLimit{0};

// "filew://local/type=rec&format=<ext>&pathname=<folder>[&filename=<name>]".
struct Target {
    std::string format;
    QString folder;
    QString fileName;
};

bool ParseTarget(const char* url, Target* t) {
    LumoRecordAddress a;
    if (!url || !LumoRecordAddress::Parse(url, &a) || a.GetScheme() != LumoRecordAddress::SCHEME_FILEW)
        return false;
    t->format = a.Get("format");
    for (char& c : t->format) c = char(std::tolower(static_cast<unsigned char>(c)));
    std::string folder = a.Get("pathname");
    // A folder written with backslashes only is one written the other platform's way.
    if (folder.find('/') == std::string::npos) std::replace(folder.begin(), folder.end(), '\\', '/');
    t->folder = QString::fromUtf8(folder.c_str());
    t->fileName = QString::fromUtf8(a.Get("filename").c_str());
    return !t->folder.isEmpty();
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
lumoav::BsfPtr AnnexBFilter(const AVOutputFormat* fmt, const AVStream* in) {
    const AVCodecParameters* par = in->codecpar;
    if (std::strcmp(fmt->name, "avi") != 0) return nullptr;
    if (par->codec_id != AV_CODEC_ID_H264 && par->codec_id != AV_CODEC_ID_HEVC) return nullptr;
    if (par->extradata_size < 1 || par->extradata[0] != 1) return nullptr;  // already start codes
    const AVBitStreamFilter* f =
        av_bsf_get_by_name(par->codec_id == AV_CODEC_ID_H264 ? "h264_mp4toannexb" : "hevc_mp4toannexb");
    AVBSFContext* raw = nullptr;
    if (!f || av_bsf_alloc(f, &raw) < 0) return nullptr;
    lumoav::BsfPtr ctx(raw);
    if (avcodec_parameters_copy(ctx->par_in, par) < 0) return nullptr;
    ctx->time_base_in = in->time_base;
    if (av_bsf_init(ctx.get()) < 0) return nullptr;
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

    int64_t LengthMs() const {
        return lenMs >= 0 ? lenMs : CLumoTime::GetTimeSpan(desc.GetTimeE(), desc.GetTimeS()) - fromMs;
    }
};

// The file being written. The first source decides its streams; later ones join those.
struct Output {
    lumoav::OutputPtr ctx;
    int video = -1, audio = -1;                     // output stream indexes
    lumoav::CodecParametersPtr videoPar, audioPar;  // the first source's, to match later ones with
    bool headerWritten = false;
    std::vector<int64_t> lastDts;  // per output stream (output time base)
    std::vector<int64_t> baseTs;   // per output stream: where the next source starts (output time base)

    uint64_t Written() const {
        return ctx && ctx->pb ? uint64_t(std::max<int64_t>(0, avio_tell(ctx->pb))) : 0;
    }
};

// No room: a full disk, a full quota, or the file-size limit of the process (ulimit -f).
bool IsNoRoom(int averr) {
    return averr == AVERROR(ENOSPC) || averr == AVERROR(EDQUOT) || averr == AVERROR(EFBIG);
}

int WriteError(int averr) {
    return IsNoRoom(averr) ? LUMO_ERR_DISKFULL : LUMO_ERR_WRITE;
}

// Creates `path` only when nothing is there: 0, or the errno.
int CreateExclusive(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

// Renames without replacing what is there: 0, or the errno (EEXIST when `to` exists).
int RenameNoReplace(const QString& from, const QString& to) {
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without the flag: a hard link fails on an existing name just the same.
    if (::link(f.constData(), t.constData()) != 0) return errno;
    ::unlink(f.constData());
    return 0;
}

// "<stem>(n).<ext>" in folder for n = 1, 2, ... ("<stem>.<ext>" for n = 0).
QString Numbered(const QString& folder, const QString& stem, const QString& ext, int n) {
    return QDir(folder).filePath(n == 0 ? stem + ext : QString("%1(%2)%3").arg(stem).arg(n).arg(ext));
}

// A process that runs into its file-size limit gets SIGXFSZ, which ends it by default: a download
// must report that as a full disk instead. A disposition the program chose is kept.
void IgnoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction old {};
        if (sigaction(SIGXFSZ, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
            std::signal(SIGXFSZ, SIG_IGN);
    });
}

bool SameStream(const AVCodecParameters* a, const AVCodecParameters* b) {
    return a && b && a->codec_id == b->codec_id && a->width == b->width && a->height == b->height &&
           a->sample_rate == b->sample_rate;
}

}  // namespace

class Download : public std::enable_shared_from_this<Download>, public MediaWorker {
public:
    // Set before the download is registered, constant afterwards.
    void* handle = nullptr;
    std::vector<Source> sources;
    std::string format;
    QString folder, stem, ext;  // where the final file goes and the parts of its name
    QString partPath;           // written first; reserved (created empty) at open

    // The final file: guarded by m (the worker may number it apart when it finishes).
    QString path;

    // The end report's receiver. Guarded by reportMutex, which the worker holds while it
    // reports: a detach waits for a report under way, and no report reaches a detached owner.
    std::recursive_mutex reportMutex;
    CLumoObject* owner = nullptr;
    LumoCallbackHandler handler = nullptr;

    // Guarded by m.
    std::mutex m;
    std::string key;
    bool started = false;
    bool finished = false;
    int result = 0;
    int percent = 0;
    uint64_t bytes = 0;
    // Rate: bytes at the start of the current one-second window.
    int64_t rateWindowUs = 0;
    uint64_t rateWindowBytes = 0;
    int64_t rateStartUs = 0;    // first write
    bool rateMeasured = false;  // a whole window has passed
    unsigned bitsPerSecond = 0;

    // Worker thread only.
    void Run();

private:
    int Copy();
    int StartOutput(Output& o, AVFormatContext* in, int iv, int ia, const AVBSFContext* bsf);
    int CopySource(const Source& s, Output& o, int64_t doneBeforeMs, int64_t totalMs);
    int WritePacket(Output& o, AVPacket* pkt, AVBSFContext* bsf);
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
    const int64_t now = av_gettime_relative();
    const auto rate = [&](int64_t sinceUs, uint64_t sinceBytes) {
        const double bps = double(written - sinceBytes) * 8.0 * 1e6 / double(now - sinceUs);
        return unsigned(std::min(bps, double(UINT32_MAX - 1)));  // all ones would read as "no rate"
    };
    if (rateWindowUs == 0) {
        rateWindowUs = rateStartUs = now;
        rateWindowBytes = written;
    } else if (now - rateWindowUs >= 500000) {
        bitsPerSecond = rate(rateWindowUs, rateWindowBytes);
        rateWindowUs = now;
        rateWindowBytes = written;
        rateMeasured = true;
    } else if (!rateMeasured && now - rateStartUs >= 20000) {
        bitsPerSecond = rate(rateStartUs, 0);  // a first estimate until a whole window has passed
    }
}

// The file's streams from the first source (a codec the container cannot hold is left out rather
// than written broken), then the file itself and its header.
int Download::StartOutput(Output& o, AVFormatContext* in, int iv, int ia, const AVBSFContext* bsf) {
    AVFormatContext* out = o.ctx.get();
    if (iv >= 0 && Carries(out->oformat, in->streams[iv]->codecpar->codec_id)) {
        AVStream* st = avformat_new_stream(out, nullptr);
        o.videoPar.reset(avcodec_parameters_alloc());
        if (!st || !o.videoPar ||
            avcodec_parameters_copy(st->codecpar, bsf ? bsf->par_out : in->streams[iv]->codecpar) < 0 ||
            avcodec_parameters_copy(o.videoPar.get(), in->streams[iv]->codecpar) < 0)
            return LUMO_ERR_FAIL;
        st->codecpar->codec_tag = 0;
        st->time_base = in->streams[iv]->time_base;
        st->avg_frame_rate = in->streams[iv]->avg_frame_rate;
        o.video = st->index;
    }
    if (ia >= 0 && Carries(out->oformat, in->streams[ia]->codecpar->codec_id)) {
        AVStream* st = avformat_new_stream(out, nullptr);
        o.audioPar.reset(avcodec_parameters_alloc());
        if (!st || !o.audioPar || avcodec_parameters_copy(st->codecpar, in->streams[ia]->codecpar) < 0 ||
            avcodec_parameters_copy(o.audioPar.get(), in->streams[ia]->codecpar) < 0)
            return LUMO_ERR_FAIL;
        st->codecpar->codec_tag = 0;
        st->time_base = in->streams[ia]->time_base;
        o.audio = st->index;
    }
    if (o.video < 0 && o.audio < 0) return LUMO_ERR_NOVIDEO;
    if (!(out->oformat->flags & AVFMT_NOFILE)) {
        AVIOInterruptCB cb{&LumoAVInterrupt::Callback, &intr};
        // The reserved ".part" is empty: opening it without truncating spares the file system's
        // flush-on-close that a truncated-and-rewritten file gets (ext4's auto_da_alloc).
        AVDictionary* opts = nullptr;
        av_dict_set(&opts, "truncate", "0", 0);
        const int r = avio_open2(&out->pb, partPath.toUtf8().constData(), AVIO_FLAG_WRITE, &cb, &opts);
        av_dict_free(&opts);
        if (r < 0) return WriteError(r);
    }
    const int r = avformat_write_header(out, nullptr);
    if (r < 0) return WriteError(r);
    o.headerWritten = true;
    o.lastDts.assign(out->nb_streams, AV_NOPTS_VALUE);
    o.baseTs.assign(out->nb_streams, 0);
    return LUMO_OK;
}

int Download::WritePacket(Output& o, AVPacket* pkt, AVBSFContext* bsf) {
    int r;
    if (bsf) {
        // The filter keeps the time stamps; it only rewrites the payload.
        const int os = pkt->stream_index;
        r = av_bsf_send_packet(bsf, pkt);
        av_packet_unref(pkt);
        while (r >= 0 && av_bsf_receive_packet(bsf, pkt) == 0) {
            pkt->stream_index = os;
            r = av_interleaved_write_frame(o.ctx.get(), pkt);
            av_packet_unref(pkt);
        }
        if (r == AVERROR(EAGAIN)) r = 0;
    } else {
        r = av_interleaved_write_frame(o.ctx.get(), pkt);
        av_packet_unref(pkt);
    }
    const uint64_t limit = g_spaceLimit.load();
    if (IsNoRoom(r) || (limit && o.Written() > limit)) return LUMO_ERR_DISKFULL;
    return r < 0 ? LUMO_ERR_WRITE : LUMO_OK;
}

// Copies one source into the file, continuing where the previous one ended.
int Download::CopySource(const Source& s, Output& o, int64_t doneBeforeMs, int64_t totalMs) {
    AVFormatContext* raw = nullptr;
    int r = LumoAVOpenInput(&raw, s.src, &intr, GetSettings().openTimeoutMs.load());
    if (r != 0) return abort ? LUMO_ERR_STATE : r;
    lumoav::InputPtr in(raw);
    const int iv = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int ia = av_find_best_stream(in.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    lumoav::BsfPtr bsf = iv >= 0 ? AnnexBFilter(o.ctx->oformat, in->streams[iv]) : nullptr;
    if (!o.headerWritten) {
        r = StartOutput(o, in.get(), iv, ia, bsf.get());
        if (r != LUMO_OK) return r;
    }
    // A later source joins only with the streams that match the file's.
    const int mapV =
        (iv >= 0 && o.video >= 0 && SameStream(o.videoPar.get(), in->streams[iv]->codecpar)) ? o.video : -1;
    const int mapA =
        (ia >= 0 && o.audio >= 0 && SameStream(o.audioPar.get(), in->streams[ia]->codecpar)) ? o.audio : -1;
    if (mapV < 0 && mapA < 0) {
        LumoPrintf("LumoCore: %s does not match the download's streams and is left out\n",
                   VantelMaskUrl(s.desc.GetURI()).c_str());
        return LUMO_OK;
    }
    const int ref = mapV >= 0 ? iv : ia;
    const AVStream* refSt = in->streams[ref];
    const int64_t refStart = refSt->start_time != AV_NOPTS_VALUE ? refSt->start_time : 0;
    const int64_t fromTs = refStart + av_rescale_q(s.fromMs, AVRational{1, 1000}, refSt->time_base);
    const int64_t endTs =
        s.lenMs >= 0 ? fromTs + av_rescale_q(s.lenMs, AVRational{1, 1000}, refSt->time_base) : INT64_MAX;
    // Input time (per input stream) that maps to the source's start in the output.
    std::vector<int64_t> inStart(in->nb_streams, AV_NOPTS_VALUE);
    int64_t srcEndOut[2] = {0, 0};  // furthest end reached per output stream (video, audio), output tb
    bool copying = mapV < 0;        // video copies begin on a key frame
    // Writes one packet of the copy, with its times moved to the output's timeline.
    auto copyOut = [&](AVPacket* p, int is, int os, int64_t tsRef) -> int {
        const AVStream* ist = in->streams[is];
        if (inStart[size_t(is)] == AV_NOPTS_VALUE) {
            // Every stream of this source starts from the same instant: the reference start.
            inStart[size_t(is)] = av_rescale_q(std::min(tsRef, fromTs), refSt->time_base, ist->time_base);
        }
        const AVStream* ost = o.ctx->streams[os];
        const int64_t shift = inStart[size_t(is)];
        const int64_t base = o.baseTs[size_t(os)];
        p->pts = p->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                          : av_rescale_q(p->pts - shift, ist->time_base, ost->time_base) + base;
        p->dts = av_rescale_q(p->dts - shift, ist->time_base, ost->time_base) + base;
        p->duration = av_rescale_q(p->duration, ist->time_base, ost->time_base);
        int64_t& last = o.lastDts[size_t(os)];
        if (last != AV_NOPTS_VALUE && p->dts <= last) p->dts = last + 1;
        if (p->pts != AV_NOPTS_VALUE && p->pts < p->dts) p->pts = p->dts;
        last = p->dts;
        const int64_t endOut = (p->pts != AV_NOPTS_VALUE ? p->pts : p->dts) + std::max<int64_t>(p->duration, 1);
        int64_t& reached = srcEndOut[os == o.video ? 0 : 1];
        reached = std::max(reached, endOut);
        p->stream_index = os;
        p->pos = -1;
        const int w = WritePacket(o, p, os == mapV ? bsf.get() : nullptr);
        if (w != LUMO_OK) return w;
        if (os == o.video || o.video < 0)
            Progress(doneBeforeMs + av_rescale_q(endOut - base, ost->time_base, AVRational{1, 1000}), totalMs,
                     o.Written());
        return LUMO_OK;
    };

    // A copy from inside the file starts at the last key frame at or before the asked time, so
    // that the clip holds the whole range. A seek of a file without an index (MPEG-TS) lands near
    // the time, not on that key frame: read from a little earlier and keep the pictures since the
    // latest key frame until the asked time is passed ("pre-roll"); where even the earlier place
    // is past the key frame, go back further.
    struct Held {
        lumoav::PacketPtr pkt;
        int is, os;
        int64_t tsRef;
    };
    std::vector<Held> held;  // the pre-roll: from the latest key frame at or before fromTs
    size_t heldBytes = 0;
    constexpr size_t kMaxHeldBytes = 64u << 20;  // a group of pictures larger than this starts late instead
    bool preroll = s.fromMs > 0 && mapV >= 0;
    int64_t backoffMs = 4000;
    auto seekBefore = [&](int64_t ms) {
        const int64_t target =
            std::max(refStart, fromTs - av_rescale_q(ms, AVRational{1, 1000}, refSt->time_base));
        intr.Arm(GetSettings().readTimeoutMs.load());
        if (avformat_seek_file(in.get(), ref, INT64_MIN, target, target, 0) < 0)
            av_seek_frame(in.get(), ref, target, AVSEEK_FLAG_BACKWARD);
        return target > refStart;  // whether going back further could still help
    };
    bool canGoBack = false;
    if (s.fromMs > 0) canGoBack = seekBefore(preroll ? backoffMs : 0);
    auto flushHeld = [&]() -> int {
        for (Held& h : held) {
            const int w = copyOut(h.pkt.get(), h.is, h.os, h.tsRef);
            av_packet_unref(h.pkt.get());
            if (w != LUMO_OK) return w;
        }
        held.clear();
        heldBytes = 0;
        return LUMO_OK;
    };

    lumoav::PacketPtr pkt = lumoav::MakePacket();
    if (!pkt) return LUMO_ERR_FAIL;
    for (;;) {
        if (abort) return LUMO_ERR_STATE;
        intr.Arm(GetSettings().readTimeoutMs.load());
        r = av_read_frame(in.get(), pkt.get());
        intr.Disarm();
        if (r < 0) {
            if (r != AVERROR_EOF && abort) return LUMO_ERR_STATE;
            break;  // the end of the file, or its unreadable rest
        }
        const int is = pkt->stream_index;
        const int os = is == iv ? mapV : (is == ia ? mapA : -1);
        if (os < 0 || pkt->dts == AV_NOPTS_VALUE) {
            av_packet_unref(pkt.get());
            continue;
        }
        const AVStream* ist = in->streams[is];
        const int64_t tsRef =
            av_rescale_q(pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts, ist->time_base, refSt->time_base);
        if (preroll) {
            const bool key = os == mapV && (pkt->flags & AV_PKT_FLAG_KEY);
            if (os == mapV && tsRef > fromTs) {
                if (held.empty() && canGoBack && backoffMs < 256000) {
                    // The group holding the asked time began before where we read from.
                    av_packet_unref(pkt.get());
                    backoffMs *= 4;
                    canGoBack = seekBefore(backoffMs);
                    continue;
                }
                preroll = false;  // the asked time is passed: the held pictures go first
                if (!held.empty()) {
                    copying = true;
                    r = flushHeld();
                    if (r != LUMO_OK) return r;
                }
            } else {
                if (key) {  // a later key frame at or before the time: start from it
                    held.clear();
                    heldBytes = 0;
                }
                if (key || !held.empty()) {
                    heldBytes += size_t(std::max(pkt->size, 0));
                    Held h{lumoav::MakePacket(), is, os, tsRef};
                    if (!h.pkt || heldBytes > kMaxHeldBytes) {
                        held.clear();
                        heldBytes = 0;
                        av_packet_unref(pkt.get());
                        continue;
                    }
                    av_packet_move_ref(h.pkt.get(), pkt.get());
                    held.push_back(std::move(h));
                } else {
                    av_packet_unref(pkt.get());
                }
                continue;
            }
        }
        if (tsRef >= endTs && (is == ref || os == mapA)) {
            av_packet_unref(pkt.get());
            if (is == ref) break;
            continue;
        }
        if (os == mapV && !copying) copying = pkt->flags & AV_PKT_FLAG_KEY;
        if (!copying) {  // before the first key frame
            av_packet_unref(pkt.get());
            continue;
        }
        r = copyOut(pkt.get(), is, os, tsRef);
        if (r != LUMO_OK) return r;
    }
    if (preroll && !held.empty()) {  // the file ended inside the group of the asked time
        r = flushHeld();
        if (r != LUMO_OK) return r;
    }
    // The next source continues where this one ended, on every stream alike.
    int64_t endMs = 0;
    if (o.video >= 0)
        endMs = std::max(endMs,
                         av_rescale_q(srcEndOut[0], o.ctx->streams[o.video]->time_base, AVRational{1, 1000}));
    if (o.audio >= 0)
        endMs = std::max(endMs,
                         av_rescale_q(srcEndOut[1], o.ctx->streams[o.audio]->time_base, AVRational{1, 1000}));
    for (unsigned k = 0; k < o.ctx->nb_streams; ++k)
        o.baseTs[k] =
            std::max(o.baseTs[k], av_rescale_q(endMs, AVRational{1, 1000}, o.ctx->streams[k]->time_base));
    return LUMO_OK;
}

// Stream copy of every source into the part file.
int Download::Copy() {
    Output o;
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, MuxerOf(format), partPath.toUtf8().constData()) < 0 ||
        !raw)
        return LUMO_ERR_FAIL;
    o.ctx.reset(raw);
    int64_t totalMs = 0;
    for (const Source& s : sources) totalMs += std::max<int64_t>(s.LengthMs(), 1);
    int64_t doneBeforeMs = 0;  // copied length of the finished sources
    int rc = LUMO_OK;
    for (const Source& s : sources) {
        if (abort) {
            rc = LUMO_ERR_STATE;
            break;
        }
        rc = CopySource(s, o, doneBeforeMs, totalMs);
        if (rc != LUMO_OK) break;
        doneBeforeMs += std::max<int64_t>(s.LengthMs(), 1);
    }
    if (o.headerWritten) {
        const int r = av_write_trailer(o.ctx.get());
        if (rc == LUMO_OK && r < 0) rc = WriteError(r);
        if (rc == LUMO_OK && o.ctx->pb && o.ctx->pb->error < 0) rc = WriteError(o.ctx->pb->error);
    } else if (rc == LUMO_OK) {
        rc = LUMO_ERR_NOVIDEO;
    }
    const uint64_t written = o.Written();
    o.ctx.reset();  // the file is closed before it is renamed or removed
    std::lock_guard<std::mutex> lock(m);
    bytes = written;
    return rc;
}

// A picture (format "jpg"): the first frame at the start of the range.
int Download::Picture() {
    const Source& s = sources.front();
    AVFormatContext* raw = nullptr;
    const int r = LumoAVOpenInput(&raw, s.src, &intr, GetSettings().openTimeoutMs.load());
    if (r != 0) return r;
    lumoav::InputPtr in(raw);
    const int iv = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = iv >= 0 ? avcodec_find_decoder(in->streams[iv]->codecpar->codec_id) : nullptr;
    lumoav::CodecContextPtr dec(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!dec || avcodec_parameters_to_context(dec.get(), in->streams[iv]->codecpar) < 0 ||
        avcodec_open2(dec.get(), codec, nullptr) < 0)
        return LUMO_ERR_NOVIDEO;
    const AVStream* st = in->streams[iv];
    const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const int64_t target = start + av_rescale_q(s.fromMs, AVRational{1, 1000}, st->time_base);
    if (s.fromMs > 0) avformat_seek_file(in.get(), iv, INT64_MIN, target, target, 0);
    lumoav::PacketPtr pkt = lumoav::MakePacket();
    lumoav::FramePtr f = lumoav::MakeFrame();
    if (!pkt || !f) return LUMO_ERR_FAIL;
    bool got = false;
    while (!got && !abort && av_read_frame(in.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == iv && avcodec_send_packet(dec.get(), pkt.get()) >= 0)
            while (!got && avcodec_receive_frame(dec.get(), f.get()) == 0) {
                const int64_t ts = f->best_effort_timestamp;
                if (ts == AV_NOPTS_VALUE || ts >= target)
                    got = true;
                else
                    av_frame_unref(f.get());
            }
        av_packet_unref(pkt.get());
    }
    if (!got) {  // the range lies past the last picture: take the last one the decoder holds
        avcodec_send_packet(dec.get(), nullptr);
        while (avcodec_receive_frame(dec.get(), f.get()) == 0) got = true;
    }
    if (!got) return LUMO_ERR_NOFRAME;
    PictureConverter converter;
    const QImage img = converter.Convert(f.get());
    if (img.isNull()) return LUMO_ERR_FAIL;
    QImageWriter w(partPath, "JPG");
    const int rc = w.write(img) ? LUMO_OK : LUMO_ERR_WRITE;
    std::lock_guard<std::mutex> lock(m);
    bytes = uint64_t(QFileInfo(partPath).size());
    return rc;
}

void Download::Run() {
    int rc = format == "jpg" ? Picture() : Copy();
    if (rc == LUMO_OK && abort) rc = LUMO_ERR_STATE;
    QString finalPath;
    {
        std::lock_guard<std::mutex> lock(m);
        finalPath = path;
    }
    if (rc == LUMO_OK) {
        // Complete: the file takes its real name, never over another file: a name taken since the
        // open (by another program, or a download of the same name) numbers this one apart.
        rc = LUMO_ERR_WRITE;
        for (int n = 0; n < 10000; ++n) {
            const QString candidate = n == 0 ? finalPath : Numbered(folder, stem, ext, n);
            if (n > 0 && QFileInfo::exists(candidate + ".part")) continue;  // another download's
            const int e = RenameNoReplace(partPath, candidate);
            if (e == EEXIST) continue;
            if (e == 0) {
                finalPath = candidate;
                rc = LUMO_OK;
            }
            break;
        }
    }
    if (rc != LUMO_OK) QFile::remove(partPath);
    {
        std::lock_guard<std::mutex> lock(m);
        path = finalPath;
        finished = true;
        result = rc;
        if (rc == LUMO_OK) percent = 100;
        bitsPerSecond = 0;
    }
    std::lock_guard<std::recursive_mutex> report(reportMutex);
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
        // A recorder's record over its HTTP API is copied like a local one; live streams are not files.
        const bool recorderFile =
            s.src.isNetwork && QString::fromStdString(s.src.path).startsWith("http://", Qt::CaseInsensitive);
        if (s.src.isNetwork && !recorderFile) return LUMO_ERR_UNSUPPORTED;
        if (!s.src.isNetwork && !QFileInfo(QString::fromUtf8(s.src.path.c_str())).isFile())
            return LUMO_ERR_NOTFOUND;
        // Strip the range so the descriptor names the whole file when it is probed.
        CLumoFileDesc whole = s.desc;
        const std::string uri = desc->GetURI();
        const size_t from = uri.rfind("&from=");
        if (s.src.hasRange && from != std::string::npos) whole.SetURI(uri.substr(0, from).c_str());
        if (whole.GetTimeS().IsEmpty() || whole.GetTimeE().IsEmpty()) {
            const int r = LumoRecordProbeDesc(&whole);
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
    QString name = SafeName(t.fileName);
    if (name.isEmpty()) name = SafeName(QString::fromUtf8(first.desc.GetSaveFileName()));
    if (name.isEmpty()) {
        // <file name>_<yyyyMMddhhmmss of the start>_<seconds>s
        const QString stem = QFileInfo(QString::fromUtf8(first.src.path.c_str())).completeBaseName();
        CLumoTime start = first.desc.GetTimeS();
        start.Add(first.fromMs);
        const QDateTime st = QDateTime::fromMSecsSinceEpoch(start.ToEpochMs());
        int64_t lenMs = 0;
        for (const Source& s : d->sources) lenMs += s.LengthMs();
        name = QString("%1_%2_%3s")
                   .arg(stem, st.toString("yyyyMMddhhmmss"))
                   .arg(std::max<int64_t>(1, lenMs / 1000));
    }
    const QString ext = "." + QString::fromUtf8(t.format.c_str());
    if (!name.endsWith(ext, Qt::CaseInsensitive)) name += ext;
    if (!QDir().mkpath(t.folder) || !QFileInfo(t.folder).isWritable()) return LUMO_ERR_WRITE;
    IgnoreFileSizeSignal();
    // An existing file is never overwritten and a ".part" of another download (or a leftover of
    // a killed one) never shared: the new one is numbered apart, and its ".part" is reserved now.
    d->folder = t.folder;
    d->stem = name.left(name.size() - ext.size());
    d->ext = name.right(ext.size());  // as the name writes it
    QString path;
    for (int n = 0;; ++n) {
        if (n >= 10000) return LUMO_ERR_EXISTS;
        path = Numbered(t.folder, d->stem, d->ext, n);
        if (QFileInfo::exists(path)) continue;
        const int e = CreateExclusive(path + ".part");
        if (e == EEXIST) continue;
        if (e == ENOSPC || e == EDQUOT) return LUMO_ERR_DISKFULL;
        if (e != 0) return LUMO_ERR_WRITE;
        break;
    }
    d->path = path;
    d->partPath = path + ".part";
    d->handle = Downloads().Add(d);
    *download = d->handle;
    return LUMO_OK;
}

int LumoDownloadAttachStream(void* download, CLumoObject* owner, LumoCallbackHandler handler) {
    auto d = Downloads().Get(download);
    if (!d) return LUMO_ERR_PARAM;
    std::lock_guard<std::recursive_mutex> report(d->reportMutex);
    {
        std::lock_guard<std::mutex> lock(d->m);
        if (d->started) return LUMO_ERR_STATE;
    }
    d->owner = owner;
    d->handler = handler;
    return LUMO_OK;
}

int LumoDownloadDetachStream(void* download, CLumoObject* owner, LumoCallbackHandler) {
    auto d = Downloads().Get(download);
    if (!d) return LUMO_ERR_PARAM;
    // Waits for an end report under way: once this returns, the owner may go.
    std::lock_guard<std::recursive_mutex> report(d->reportMutex);
    {
        std::lock_guard<std::mutex> lock(d->m);
        if (d->started && !d->finished) return LUMO_ERR_STATE;  // detach after the stop
    }
    if (owner && d->owner != owner) return LUMO_ERR_PARAM;
    d->owner = nullptr;
    d->handler = nullptr;
    return LUMO_OK;
}

int LumoDownloadSetKey(void* download, const char* key1, const char*, const char*) {
    auto d = Downloads().Get(download);
    if (!d) return LUMO_ERR_PARAM;
    // Records of this system are not enciphered; the key is kept for the record only.
    std::lock_guard<std::mutex> lock(d->m);
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
    d->StartThread([self] { self->Run(); });
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
    std::lock_guard<std::mutex> lock(d->m);
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
    bool started = false;
    {
        std::lock_guard<std::mutex> lock(d->m);
        started = d->started;
    }
    // Opened but never started: its reserved ".part" goes (a started one removes its own).
    if (!started) QFile::remove(d->partPath);
    return LUMO_OK;
}
