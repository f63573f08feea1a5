#include "probe.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "LumoAV/LumoAV.h"
#include "LumoAV/LumoAVPtr.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/mem.h>
}

namespace kesto {

const int64_t kProbeByteBudget = int64_t(32) << 20;

namespace {

// Video packets read while looking for the first picture: a file cut in the middle of a group of
// pictures needs a few before its first key frame.
const int kMaxVideoPackets = 300;
const int kIoBufferBytes = 64 * 1024;

std::mutex g_hookMutex;
ProbeHook g_hook;  // guarded by g_hookMutex

// The file as the demuxer sees it: plain reads that count against the budget and ask the
// interrupt state before each read, so a stop or the deadline ends even a demuxer that scans.
struct BoundedFile {
    int fd = -1;
    int64_t size = 0;
    int64_t pos = 0;
    int64_t read = 0;
    bool overBudget = false;
    LumoAVInterrupt* intr = nullptr;

    ~BoundedFile() {
        if (fd >= 0) ::close(fd);
    }

    static int Read(void* opaque, uint8_t* buf, int want) {
        auto* f = static_cast<BoundedFile*>(opaque);
        if (LumoAVInterrupt::Callback(f->intr)) return AVERROR_EXIT;
        if (f->read >= kProbeByteBudget) {
            f->overBudget = true;
            return AVERROR_EOF;
        }
        want = static_cast<int>(std::min<int64_t>(want, kProbeByteBudget - f->read));
        ssize_t n;
        do {
            n = ::pread(f->fd, buf, static_cast<size_t>(want), f->pos);
        } while (n < 0 && errno == EINTR);
        if (n < 0) return AVERROR(errno);
        if (n == 0) return AVERROR_EOF;
        f->pos += n;
        f->read += n;
        return static_cast<int>(n);
    }

    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* f = static_cast<BoundedFile*>(opaque);
        if (whence & AVSEEK_SIZE) return f->size;
        int64_t target = 0;
        switch (whence & ~AVSEEK_FORCE) {
            case SEEK_SET:
                target = offset;
                break;
            case SEEK_CUR:
                target = f->pos + offset;
                break;
            case SEEK_END:
                target = f->size + offset;
                break;
            default:
                return AVERROR(EINVAL);
        }
        if (target < 0) return AVERROR(EINVAL);
        f->pos = target;
        return target;
    }
};


// Whether the video stream yields a picture: decoded when this build has the decoder, else a
// non-empty packet of it is the best evidence there is.
bool yieldsAPicture(AVFormatContext* ctx, int videoIndex) {
    const AVStream* st = ctx->streams[videoIndex];
    lumoav::CodecContextPtr dec;
    if (const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id)) {
        dec.reset(avcodec_alloc_context3(codec));
        if (dec) {
            dec->thread_count = 1;  // a picture per packet, without a pipeline to fill first
            if (avcodec_parameters_to_context(dec.get(), st->codecpar) < 0 ||
                avcodec_open2(dec.get(), codec, nullptr) < 0)
                dec.reset();
        }
    }
    lumoav::PacketPtr pkt = lumoav::MakePacket();
    lumoav::FramePtr frame = lumoav::MakeFrame();
    if (!pkt || !frame) return false;
    for (int videoPackets = 0; videoPackets < kMaxVideoPackets;) {
        if (av_read_frame(ctx, pkt.get()) < 0) break;  // the end, a read error, the budget or the deadline
        const bool ours = pkt->stream_index == videoIndex && pkt->size > 0;
        if (ours && !dec) {
            av_packet_unref(pkt.get());
            return true;
        }
        if (ours) {
            ++videoPackets;
            avcodec_send_packet(dec.get(), pkt.get());  // a damaged packet costs that packet only
            if (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
                av_packet_unref(pkt.get());
                return true;
            }
        }
        av_packet_unref(pkt.get());
    }
    if (!dec) return false;
    avcodec_send_packet(dec.get(), nullptr);  // what the decoder still holds
    return avcodec_receive_frame(dec.get(), frame.get()) == 0;
}

}  // namespace

void SetProbeHook(ProbeHook hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(hook);
}

ProbeResult ProbeMediaFile(const std::string& path, int timeoutMs, const std::function<bool()>& aborted) {
    ProbeResult r;
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_FATAL);  // broken files are expected here; their noise is not useful
        return true;
    }();
    (void)quiet;
    ProbeHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    if (hook) hook(path, aborted ? aborted : std::function<bool()>([] { return false; }));

    // One deadline for the whole probe; a stop of the engine ends it at once.
    LumoAVInterrupt intr;
    intr.abortCheck = aborted;
    intr.Arm(timeoutMs);
    auto finish = [&r, &intr](const char* error) {
        r.aborted = intr.aborted.load();
        r.timedOut = !r.aborted && intr.timedOut.load();
        if (r.aborted || r.timedOut) r.readable = false;
        if (!r.readable && r.error.empty())
            r.error = r.aborted ? "stopped" : r.timedOut ? "deadline passed" : error;
        return r;
    };

    BoundedFile file;
    file.intr = &intr;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0) return finish(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return finish("not a regular file");
    file.size = st.st_size;

    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (!buffer) return finish("out of memory");
    lumoav::IoPtr io(avio_alloc_context(
        buffer, kIoBufferBytes, 0, &file, &BoundedFile::Read, nullptr, &BoundedFile::Seek));
    if (!io) {
        av_free(buffer);
        return finish("out of memory");
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return finish("out of memory");
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    raw->probesize = 2000000;
    raw->max_analyze_duration = 2 * AV_TIME_BASE;
    intr.Attach(raw);
    // The name only guides the choice of the demuxer by its extension; the bytes come through `io`.
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);  // frees `raw` on failure
    lumoav::InputPtr ctx(rc < 0 ? nullptr : raw);
    if (rc >= 0) rc = avformat_find_stream_info(ctx.get(), nullptr);
    r.bytesRead = file.read;
    if (rc < 0) {
        char buf[128];
        av_strerror(rc, buf, sizeof buf);
        return finish(file.overBudget ? "nothing readable in its first bytes"
                      : ctx           ? "no stream information"
                                      : buf);
    }

    int videoIndex = -1;
    const AVStream* video = nullptr;
    const AVStream* audio = nullptr;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* s = ctx->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !video &&
            !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            video = s;
            videoIndex = static_cast<int>(i);
        } else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && !audio) {
            audio = s;
        }
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
    const bool described = video && r.width > 0 && r.height > 0 && r.durationMs > 0 && moreThanAFrame;
    // What the header says is not enough: a file whose sample tables promise pictures that are not
    // there (a header without its data) is not a record.
    const bool picture = described && yieldsAPicture(ctx.get(), videoIndex);
    r.bytesRead = file.read;
    r.readable = picture;
    return finish(!video              ? "no video stream"
                  : r.durationMs <= 0 ? "no duration"
                  : !described        ? "a single frame at most"
                                      : "no picture could be decoded");
}

}  // namespace kesto
