// Players: each open player runs one decode thread that demuxes the files of its list in order,
// decodes them, paces the pictures by the speed of its task and hands them to the window's frame
// sink; the window paints on the GUI thread. The calling thread only posts commands (pause,
// seek, step, stop) under the player's mutex and reads the state the decode thread publishes.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "LumoCore/audioout.h"
#include "LumoCore/lumocore_internal.h"
#include "LumoCore/mediaworker.h"
#include "LumoRecord/avopen.h"
#include "VantelInfraAPI/videodisplaypanel.h"

namespace lumocore {

namespace {

int64_t NowUs() {
    return av_gettime_relative();
}

// Keeps a plain QWidget's child video window over the widget's whole area.
class WindowFollower : public QObject {
public:
    WindowFollower(QWidget* host, QWidget* child) : QObject(host), m_child(child) {
        host->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && m_child)
            m_child->setGeometry(static_cast<QWidget*>(watched)->rect());
        return false;
    }

private:
    QPointer<QWidget> m_child;
};

std::shared_ptr<INFRA::VideoFrameSink> BindWindow(QWidget* w) {
    if (!w) return nullptr;
    if (auto sink = INFRA::VideoWindow::FrameSinkOf(w)) return sink;
    // Any other widget gets a video window of ours laid over it (made on the widget's thread).
    std::shared_ptr<INFRA::VideoFrameSink> sink;
    auto make = [w, &sink] {
        for (QObject* c : w->children())
            if (auto* vw = qobject_cast<INFRA::VideoWindow*>(c)) {
                sink = vw->GetFrameSink();
                return;
            }
        auto* vw = new INFRA::VideoWindow(w);
        vw->setGeometry(w->rect());
        new WindowFollower(w, vw);
        vw->show();
        sink = vw->GetFrameSink();
    };
    if (QThread::currentThread() == w->thread())
        make();
    else
        QMetaObject::invokeMethod(w, make, Qt::BlockingQueuedConnection);
    return sink;
}

// Whether an audio output exists; asked at most every 10 s (the query can be slow without one).
bool AudioDeviceLikely() {
    static std::mutex m;
    static int64_t checkedUs = -1;
    static bool present = false;
    std::lock_guard<std::mutex> lock(m);
    int64_t now = NowUs();
    if (checkedUs < 0 || now - checkedUs > 10000000) {
        checkedUs = now;
        present = QCoreApplication::instance() && !qEnvironmentVariableIsSet("LUMO_NO_AUDIO");
    }
    return present;
}

struct SnapshotTarget {
    std::string folder;
    std::string format;
};

bool ParseSnapshotTarget(const std::string& url, SnapshotTarget* out) {
    out->format = LumoRecordUriParam(url, "format");
    size_t p = url.find("pathname=");
    if (p == std::string::npos) return false;
    out->folder = url.substr(p + 9);
    // Stop at a following parameter, but let the folder itself hold '&' when none follows.
    for (const char* next : {"&filename=", "&type=", "&format="}) {
        size_t e = out->folder.find(next);
        if (e != std::string::npos) out->folder = out->folder.substr(0, e);
    }
    if (out->folder.find('/') == std::string::npos)
        std::replace(out->folder.begin(), out->folder.end(), '\\', '/');
    return !out->folder.empty();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

class Player : public std::enable_shared_from_this<Player>, public MediaWorker {
public:
    void* handle = nullptr;
    std::shared_ptr<Task> task;
    std::atomic<int> ownSpeed{LUMO_SPEED_NORMAL};
    std::shared_ptr<INFRA::VideoFrameSink> sink;
    std::atomic<bool> closed{false};

    std::recursive_mutex cbMutex;
    ILumoCallback* cb = nullptr;
    LumoSignalMember member = nullptr;
    std::atomic<bool> listening{true};

    std::mutex m;
    std::condition_variable cv;
    std::vector<CLumoFileDesc> files;
    bool isUrl = false;
    bool open = false, started = false, paused = false, ended = false, quit = false;
    bool seekPending = false;
    int seekFile = 0;
    int64_t seekOffsetMs = 0;
    int steps = 0;
    int currentFile = 0;
    int64_t positionMs = 0;
    bool busy = false;
    std::atomic<int> volume{100};
    int videoW = 0, videoH = 0;
    LumoPlayerStats stats;
    int64_t openStartUs = 0;
    AVFormatContext* preopened = nullptr;  // the head file, opened by OpenFile

    std::mutex frameMutex;
    AVFrame* lastFrame = nullptr;

    ~Player() {
        if (preopened) avformat_close_input(&preopened);
        if (lastFrame) av_frame_free(&lastFrame);
    }

    int Speed() const { return task ? task->speed.load() : ownSpeed.load(); }

    void Emit(int code, void* p1, void* p2) {
        if (!listening) return;
        std::lock_guard<std::recursive_mutex> lock(cbMutex);
        if (cb && member) (cb->*member)(handle, code, p1, p2);
    }

    void Run();
    void StopThread();
};

namespace {

HandleRegistry<Player>& Players() {
    static HandleRegistry<Player> r;
    return r;
}

std::shared_ptr<Player> GetPlayer(void* h) {
    return h ? Players().Get(h) : nullptr;
}

// Demux and decode state of the file being played (decode thread only).
struct MediaFile {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* vdec = nullptr;
    AVCodecContext* adec = nullptr;
    int vidx = -1, aidx = -1;
    AVRational vtb{1, 1000};
    int64_t vstart = 0;     // first timestamp of the video stream (its time base)
    double frameMs = 40.0;  // duration of one frame
    bool local = true;

    ~MediaFile() { Close(); }
    void Close() {
        if (vdec) avcodec_free_context(&vdec);
        if (adec) avcodec_free_context(&adec);
        if (fmt) avformat_close_input(&fmt);
        vidx = aidx = -1;
    }
};

AVCodecContext* OpenDecoder(AVStream* st) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) return nullptr;
    if (avcodec_parameters_to_context(ctx, st->codecpar) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    ctx->pkt_timebase = st->time_base;
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        ctx->thread_count = GetSettings().decoderThreads.load();
        ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

// Opens decoders on an open demuxer; takes over `fmt`. 0 or a result code.
int SetupMedia(MediaFile& mf, AVFormatContext* fmt) {
    mf.Close();
    mf.fmt = fmt;
    int v = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int a = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (v >= 0) {
        mf.vdec = OpenDecoder(fmt->streams[v]);
        if (mf.vdec) {
            mf.vidx = v;
            AVStream* st = fmt->streams[v];
            mf.vtb = st->time_base;
            mf.vstart = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
            AVRational fr = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
            mf.frameMs = (fr.num > 0 && fr.den > 0) ? 1000.0 * fr.den / fr.num : 40.0;
            if (mf.frameMs <= 0.5 || mf.frameMs > 2000.0) mf.frameMs = 40.0;
        }
    }
    if (a >= 0) {
        mf.adec = OpenDecoder(fmt->streams[a]);
        if (mf.adec) mf.aidx = a;
    }
    // Everything else is read and thrown away cheaply.
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (int(i) != mf.vidx && int(i) != mf.aidx) fmt->streams[i]->discard = AVDISCARD_ALL;
    if (mf.vidx < 0 && mf.aidx < 0) {
        mf.Close();
        return LUMO_ERR_NOVIDEO;
    }
    return LUMO_OK;
}

// Where an absolute record time falls in the list: the file and the offset into it.
bool LocateTime(const std::vector<CLumoFileDesc>& files, const CLumoTime& t, int* file, int64_t* offsetMs) {
    if (files.empty()) return false;
    for (size_t i = 0; i < files.size(); ++i) {
        const CLumoFileDesc& d = files[i];
        if (t < d.GetTimeS()) {  // before this file (a gap, or before the list): its start
            *file = int(i);
            *offsetMs = 0;
            return true;
        }
        if (t < d.GetTimeE() || i + 1 == files.size()) {
            *file = int(i);
            *offsetMs = std::max<int64_t>(0, CLumoTime::GetTimeSpan(t, d.GetTimeS()));
            return true;
        }
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The decode thread.

class Decoder {
public:
    explicit Decoder(Player* p) : p(p), intr(p->intr) {}
    ~Decoder() {
        if (sws) sws_freeContext(sws);
        if (swr) swr_free(&swr);
        av_packet_free(&pkt);
        av_frame_free(&frm);
    }
    void Run();

private:
    bool OpenIndex(int idx, AVFormatContext* pre);
    void AdvanceFile();
    void StartSeek(int64_t targetMs, int64_t fromMs);
    void TakeSeekRequest();
    void DecodeVideo(AVPacket* packet);
    void DecodeAudio(AVPacket* packet);
    void OnVideoFrame(AVFrame* f);
    void OnAudioFrame(AVFrame* f);
    bool WaitUntilDue(int64_t ptsMs);
    void Present(AVFrame* f);
    void EndOfList();
    int64_t FramePtsMs(AVFrame* f);

    Player* p;
    MediaFile mf;
    LumoAVInterrupt& intr;
    SwsContext* sws = nullptr;
    SwrContext* swr = nullptr;
    int swrInRate = 0, swrInFmt = -1;
    AVChannelLayout swrInLayout{};
    std::unique_ptr<AudioOut> audio;
    bool audioTried = false;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frm = av_frame_alloc();

    bool clockValid = false;
    int64_t anchorWallUs = 0, anchorMediaMs = 0;
    int anchorSpeed = 0;
    int64_t lastPresentUs = 0;
    int64_t lastPtsMs = 0;

    bool seekActive = false;
    bool seekFirstFrame = false;
    int64_t seekTargetMs = 0;
    int64_t seekFromMs = 0;
    int seekRetries = 0;
    bool forcePresent = true;
};

int64_t Decoder::FramePtsMs(AVFrame* f) {
    int64_t ts = f->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) ts = f->pts;
    if (ts == AV_NOPTS_VALUE) return lastPtsMs + int64_t(mf.frameMs);
    return av_rescale_q(ts - mf.vstart, mf.vtb, AVRational{1, 1000});
}

bool Decoder::OpenIndex(int idx, AVFormatContext* pre) {
    mf.Close();
    CLumoFileDesc desc;
    {
        std::lock_guard<std::mutex> lock(p->m);
        if (idx < 0 || idx >= int(p->files.size())) return false;
        desc = p->files[size_t(idx)];
    }
    LumoRecordSource src;
    int r = LumoRecordParseUri(desc.GetURI(), &src);
    AVFormatContext* fmt = pre;
    if (!fmt && r == 0) r = LumoAVOpenInput(&fmt, src, &intr, GetSettings().openTimeoutMs.load());
    if (r == 0)
        r = SetupMedia(mf, fmt);
    else if (fmt)
        avformat_close_input(&fmt);
    mf.local = !src.isNetwork;
    if (p->isUrl) {
        LumoLoginEvent ev{desc.GetURI(), r};
        p->Emit(LUMO_EVENT_LOGIN, &ev, nullptr);
    }
    if (r != 0) {
        LumoPrintf("LumoCore: cannot open %s: %s\n", desc.GetURI(), LumoCoreGetErrorText(r));
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(p->m);
        p->currentFile = idx;
        p->positionMs = 0;
        if (mf.vdec) {
            p->videoW = mf.vdec->width;
            p->videoH = mf.vdec->height;
        }
    }
    clockValid = false;
    forcePresent = true;
    lastPtsMs = 0;
    if (audio) audio->Clear();
    return true;
}

void Decoder::EndOfList() {
    {
        std::lock_guard<std::mutex> lock(p->m);
        p->ended = true;
        p->busy = false;
        p->steps = 0;
    }
    seekActive = false;
    mf.Close();
    p->Emit(LUMO_EVENT_END_OF_LIST, nullptr, nullptr);
}

void Decoder::AdvanceFile() {
    int next;
    {
        std::lock_guard<std::mutex> lock(p->m);
        next = p->currentFile + 1;
    }
    for (;; ++next) {
        size_t count;
        {
            std::lock_guard<std::mutex> lock(p->m);
            count = p->files.size();
            if (p->quit) return;
        }
        if (p->isUrl || next >= int(count)) {
            EndOfList();
            return;
        }
        if (OpenIndex(next, nullptr)) {
            CLumoFileDesc now;
            {
                std::lock_guard<std::mutex> lock(p->m);
                now = p->files[size_t(next)];
            }
            p->Emit(LUMO_EVENT_NEXT_FILE, &now, nullptr);
            return;
        }
        // A file that cannot be opened is passed over.
    }
}

// Seeks to the key frame at or before `fromMs` and decodes forward to `targetMs`.
void Decoder::StartSeek(int64_t targetMs, int64_t fromMs) {
    if (!mf.fmt) return;
    int stream = mf.vidx >= 0 ? mf.vidx : mf.aidx;
    AVRational tb = mf.fmt->streams[stream]->time_base;
    int64_t start = mf.vidx >= 0 ? mf.vstart
                                 : (mf.fmt->streams[stream]->start_time != AV_NOPTS_VALUE
                                        ? mf.fmt->streams[stream]->start_time
                                        : 0);
    int64_t ts = start + av_rescale_q(std::max<int64_t>(0, fromMs), AVRational{1, 1000}, tb);
    intr.Arm(GetSettings().readTimeoutMs.load());
    int r = avformat_seek_file(mf.fmt, stream, INT64_MIN, ts, ts, 0);
    if (r < 0) r = av_seek_frame(mf.fmt, stream, ts, AVSEEK_FLAG_BACKWARD);
    if (r < 0) {
        // No index: start over from the beginning of the file and decode forward.
        avio_seek(mf.fmt->pb, 0, SEEK_SET);
        avformat_seek_file(mf.fmt, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
    }
    if (mf.vdec) avcodec_flush_buffers(mf.vdec);
    if (mf.adec) avcodec_flush_buffers(mf.adec);
    if (audio) audio->Clear();
    seekActive = true;
    seekFirstFrame = true;
    seekTargetMs = targetMs;
    seekFromMs = fromMs;
    clockValid = false;
    lastPtsMs = fromMs;
}

void Decoder::TakeSeekRequest() {
    int file;
    int64_t offset;
    int cur;
    {
        std::lock_guard<std::mutex> lock(p->m);
        file = p->seekFile;
        offset = p->seekOffsetMs;
        p->seekPending = false;
        p->ended = false;
        p->busy = true;
        cur = p->currentFile;
    }
    bool changed = file != cur || !mf.fmt;
    if (changed) {
        if (!OpenIndex(file, nullptr)) {
            // The asked file cannot be read: go on with the next one.
            {
                std::lock_guard<std::mutex> lock(p->m);
                p->currentFile = file;
            }
            AdvanceFile();
            std::lock_guard<std::mutex> lock(p->m);
            p->busy = false;
            return;
        }
        if (file != cur) {
            CLumoFileDesc now;
            {
                std::lock_guard<std::mutex> lock(p->m);
                now = p->files[size_t(file)];
            }
            p->Emit(LUMO_EVENT_NEXT_FILE, &now, nullptr);
        }
    }
    seekRetries = 0;
    {
        std::lock_guard<std::mutex> lock(p->m);
        p->positionMs = offset;
    }
    StartSeek(offset, offset);
}

bool Decoder::WaitUntilDue(int64_t ptsMs) {
    std::unique_lock<std::mutex> lock(p->m);
    for (;;) {
        if (p->quit || p->seekPending) return false;
        if (p->paused && p->steps == 0) {
            p->cv.wait(lock, [this] { return p->quit || p->seekPending || !p->paused || p->steps > 0; });
            clockValid = false;
            continue;
        }
        if (p->paused) return true;  // a frame step shows the next picture at once
        int speed = p->Speed();
        int64_t now = NowUs();
        double rate = SpeedRate(speed);
        if (!clockValid || speed != anchorSpeed) {
            clockValid = true;
            anchorWallUs = now;
            anchorMediaMs = ptsMs;
            anchorSpeed = speed;
            return true;
        }
        int64_t due = anchorWallUs + int64_t(double(ptsMs - anchorMediaMs) * 1000.0 / rate);
        int64_t ahead = due - now;
        if (ahead <= 0) {
            // Falling behind (slow decoding, a jump back in time): follow, never rush to catch up.
            if (-ahead > 300000) {
                anchorWallUs = now;
                anchorMediaMs = ptsMs;
            }
            return true;
        }
        int64_t maxGap = std::max<int64_t>(2000000, int64_t(4.0 * mf.frameMs * 1000.0 / rate));
        if (ahead > maxGap) {  // a jump forward in time stamps: do not sit in it
            anchorWallUs = now;
            anchorMediaMs = ptsMs;
            return true;
        }
        // Short slices so that a change of speed takes effect at once.
        p->cv.wait_for(lock, std::chrono::microseconds(std::min<int64_t>(ahead, 20000)));
    }
}

void Decoder::Present(AVFrame* f) {
    int64_t now = NowUs();
    lastPresentUs = now;
    if (!p->sink) return;
    int w = f->width, h = f->height;
    if (w <= 0 || h <= 0) return;
    QSize target = p->sink->TargetSize();
    int mode = INFRA::VideoFrameSink::SCALE_ORIGIN;
    float ratio = 0.0f;
    p->sink->GetScale(&mode, &ratio);
    int ow = w, oh = h;
    if (target.width() > 0 && target.height() > 0) {
        // Scale down to what the window shows: the painter then only copies.
        double ar = mode == INFRA::VideoFrameSink::SCALE_FILL ? double(target.width()) / target.height()
                    : (mode == INFRA::VideoFrameSink::SCALE_RATIO && ratio > 0.0f) ? double(ratio)
                                                                                   : double(w) / h;
        int tw = target.width(), th = int(tw / ar + 0.5);
        if (th > target.height()) {
            th = target.height();
            tw = int(th * ar + 0.5);
        }
        if (tw < w || th < h) {
            ow = std::max(2, std::min(tw, w));
            oh = std::max(2, std::min(th, h));
        }
    }
    AVPixelFormat src = static_cast<AVPixelFormat>(f->format);
    // The full-range JPEG formats are plain YUV with a flag: avoids swscale's deprecation noise.
    switch (src) {
        case AV_PIX_FMT_YUVJ420P:
            src = AV_PIX_FMT_YUV420P;
            break;
        case AV_PIX_FMT_YUVJ422P:
            src = AV_PIX_FMT_YUV422P;
            break;
        case AV_PIX_FMT_YUVJ444P:
            src = AV_PIX_FMT_YUV444P;
            break;
        default:
            break;
    }
    // Fast forward shows pictures nobody studies: the cheaper filter leaves time for decoding.
    int filter = p->Speed() > 1 ? SWS_FAST_BILINEAR : SWS_BILINEAR;
    sws = sws_getCachedContext(sws, w, h, src, ow, oh, AV_PIX_FMT_BGRA, filter, nullptr, nullptr, nullptr);
    if (!sws) return;
    QImage img(ow, oh, QImage::Format_RGB32);
    if (img.isNull()) return;
    uint8_t* dst[4] = {img.bits(), nullptr, nullptr, nullptr};
    int lines[4] = {int(img.bytesPerLine()), 0, 0, 0};
    sws_scale(sws, f->data, f->linesize, 0, h, dst, lines);
    if (p->sink->Present(p->handle, img)) {
        std::lock_guard<std::mutex> lock(p->m);
        p->stats.framesPresented++;
    }
}

void Decoder::OnVideoFrame(AVFrame* f) {
    int64_t ptsMs = FramePtsMs(f);
    lastPtsMs = ptsMs;
    {
        std::lock_guard<std::mutex> lock(p->m);
        p->stats.framesDecoded++;
        if (p->stats.firstFrameUs < 0) p->stats.firstFrameUs = NowUs() - p->openStartUs;
        if (f->width != p->videoW || f->height != p->videoH) {
            p->videoW = f->width;
            p->videoH = f->height;
        }
    }
    {
        // The snapshot takes the last decoded picture.
        std::lock_guard<std::mutex> lock(p->frameMutex);
        if (!p->lastFrame) p->lastFrame = av_frame_alloc();
        av_frame_unref(p->lastFrame);
        av_frame_ref(p->lastFrame, f);
    }
    if (seekActive) {
        double half = mf.frameMs / 2.0;
        if (seekFirstFrame) {
            seekFirstFrame = false;
            // Landed after the asked time (a container without an exact index): go further back.
            if (double(ptsMs) > double(seekTargetMs) + half && seekFromMs > 0 && seekRetries < 5) {
                ++seekRetries;
                int64_t back = int64_t(1000) << seekRetries;
                StartSeek(seekTargetMs, std::max<int64_t>(0, seekFromMs - back));
                return;
            }
        }
        if (double(ptsMs) + half < double(seekTargetMs)) return;  // before the asked time
        seekActive = false;
        Present(f);
        clockValid = false;
        std::lock_guard<std::mutex> lock(p->m);
        p->positionMs = ptsMs;
        p->busy = false;
        if (p->steps > 0) p->steps--;
        return;
    }
    if (!WaitUntilDue(ptsMs)) return;
    bool stepping;
    {
        std::lock_guard<std::mutex> lock(p->m);
        stepping = p->paused;
    }
    int64_t now = NowUs();
    // At high speeds only as many pictures as a screen shows are converted (fewer when fast
    // forwarding, where decoding needs the time).
    int64_t interval = p->Speed() > 1 ? 33000 : 15000;
    if (forcePresent || stepping || now - lastPresentUs >= interval) {
        forcePresent = false;
        Present(f);
    }
    std::lock_guard<std::mutex> lock(p->m);
    p->positionMs = ptsMs;
    if (stepping && p->steps > 0) p->steps--;
}

void Decoder::DecodeVideo(AVPacket* packet) {
    if (!mf.vdec) return;
    int r = avcodec_send_packet(mf.vdec, packet);
    if (r < 0 && r != AVERROR(EAGAIN) && r != AVERROR_EOF) return;  // a damaged packet: skip it
    while (avcodec_receive_frame(mf.vdec, frm) == 0) {
        OnVideoFrame(frm);
        av_frame_unref(frm);
        std::lock_guard<std::mutex> lock(p->m);
        if (p->quit || p->seekPending) break;
    }
}

void Decoder::OnAudioFrame(AVFrame* f) {
    if (!audio) return;
    int outRate = audio->SampleRate(), outCh = audio->Channels();
    if (!swr || swrInRate != f->sample_rate || swrInFmt != f->format ||
        av_channel_layout_compare(&swrInLayout, &f->ch_layout) != 0) {
        if (swr) swr_free(&swr);
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, outCh);
        if (swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, outRate, &f->ch_layout,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
            swr_init(swr) < 0) {
            swr_free(&swr);
            return;
        }
        swrInRate = f->sample_rate;
        swrInFmt = f->format;
        av_channel_layout_uninit(&swrInLayout);
        av_channel_layout_copy(&swrInLayout, &f->ch_layout);
    }
    int maxOut = int(av_rescale_rnd(f->nb_samples, outRate, f->sample_rate, AV_ROUND_UP)) + 64;
    std::vector<int16_t> buf(size_t(maxOut) * size_t(outCh));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(buf.data())};
    int n = swr_convert(swr, out, maxOut, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    if (n <= 0) return;
    int vol = p->volume.load();
    if (vol < 100)
        for (int i = 0; i < n * outCh; ++i) buf[size_t(i)] = int16_t(int(buf[size_t(i)]) * vol / 100);
    audio->Push(reinterpret_cast<const char*>(buf.data()), qint64(n) * outCh * 2);
}

void Decoder::DecodeAudio(AVPacket* packet) {
    if (!mf.adec) return;
    bool audible;
    {
        std::lock_guard<std::mutex> lock(p->m);
        audible = !p->paused && !seekActive && p->Speed() == LUMO_SPEED_NORMAL && p->volume.load() > 0;
    }
    // Sound only at normal speed: otherwise the packets are not even decoded.
    if (!audible) {
        if (audio) audio->Clear();
        return;
    }
    if (!audio && !audioTried) {
        audioTried = true;
        if (AudioDeviceLikely())
            audio = AudioOut::Create(mf.adec->sample_rate, std::min(2, mf.adec->ch_layout.nb_channels));
    }
    if (!audio) return;
    if (avcodec_send_packet(mf.adec, packet) < 0) return;
    while (avcodec_receive_frame(mf.adec, frm) == 0) {
        OnAudioFrame(frm);
        av_frame_unref(frm);
    }
}

void Decoder::Run() {
    AVFormatContext* pre;
    int first = 0;
    {
        std::lock_guard<std::mutex> lock(p->m);
        pre = p->preopened;
        p->preopened = nullptr;
        first = p->currentFile;
    }
    if (pre && first != 0) avformat_close_input(&pre);  // a seek before the start chose another file
    if (!OpenIndex(first, pre)) {
        {
            std::lock_guard<std::mutex> lock(p->m);
            p->currentFile = first;
        }
        AdvanceFile();
    }
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(p->m);
            if (p->quit) break;
            if (p->seekPending) {
                lock.unlock();
                TakeSeekRequest();
                continue;
            }
            bool idle = p->ended || !mf.fmt || (p->paused && p->steps == 0 && !seekActive);
            if (idle) {
                p->cv.wait(lock, [this] {
                    return p->quit || p->seekPending ||
                           (!p->ended && mf.fmt && (!p->paused || p->steps > 0 || seekActive));
                });
                continue;
            }
        }
        intr.timedOut = false;
        intr.Arm(GetSettings().readTimeoutMs.load());
        int r = av_read_frame(mf.fmt, pkt);
        intr.Disarm();
        if (r == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (r < 0) {
            if (p->abort) continue;
            if (r != AVERROR_EOF)
                LumoPrintf("LumoCore: read stopped (%s) in file %d\n",
                           LumoCoreGetErrorText(LumoAVMapError(r, &intr)), p->currentFile);
            // End of the file (or the rest is unreadable): show what the decoder still holds.
            DecodeVideo(nullptr);
            if (seekActive) {  // asked beyond the last picture: stay on the last one
                seekActive = false;
                std::lock_guard<std::mutex> lock(p->m);
                p->busy = false;
            }
            {
                std::lock_guard<std::mutex> lock(p->m);
                if (p->quit || p->seekPending) continue;
            }
            AdvanceFile();
            continue;
        }
        if (pkt->stream_index == mf.vidx)
            DecodeVideo(pkt);
        else if (pkt->stream_index == mf.aidx)
            DecodeAudio(pkt);
        av_packet_unref(pkt);
    }
    av_packet_unref(pkt);
    mf.Close();
    audio.reset();
}

void Player::Run() {
    Decoder d(this);
    d.Run();
}

void Player::StopThread() {
    {
        std::lock_guard<std::mutex> lock(m);
        quit = true;
        abort = true;
    }
    cv.notify_all();
    JoinThread();
    std::lock_guard<std::mutex> lock(m);
    quit = false;
    abort = false;
    open = started = paused = ended = seekPending = busy = false;
    isUrl = false;
    steps = 0;
    files.clear();
    currentFile = 0;
    positionMs = 0;
    if (preopened) avformat_close_input(&preopened);
}

}  // namespace lumocore

using namespace lumocore;

// ---------------------------------------------------------------------------------------------

static void EndPlayerHook(void* h) {
    LumoPlayerStop(h);
    LumoPlayerClose(h);
}

int LumoPlayerCreate(void** player, void* window, void* task) {
    if (!player) return LUMO_ERR_PARAM;
    static std::once_flag hookOnce;
    std::call_once(hookOnce, [] {
        LumoCoreInitialize(nullptr);
        INFRA::VideoGrid::SetPlayerEndHook(&EndPlayerHook);
    });
    auto p = std::make_shared<Player>();
    if (task) {
        p->task = GetTask(task);
        if (!p->task) return LUMO_ERR_PARAM;
    }
    p->sink = BindWindow(static_cast<QWidget*>(window));
    // Closed players whose window has gone, or whose window a newer player now uses, can never
    // be asked for anything useful again.
    auto sink = p->sink;
    Players().RemoveIf([&sink](const std::shared_ptr<Player>& old) {
        return old->closed && (!old->sink || !old->sink->IsAlive() || old->sink == sink);
    });
    p->handle = Players().Add(p);
    *player = p->handle;
    return LUMO_OK;
}

int LumoPlayerAttachStream(void* player, ILumoCallback* callback, LumoSignalMember member) {
    auto p = GetPlayer(player);
    if (!p || !callback || !member) return LUMO_ERR_PARAM;
    std::lock_guard<std::recursive_mutex> lock(p->cbMutex);
    p->cb = callback;
    p->member = member;
    return LUMO_OK;
}

int LumoPlayerDetachStream(void* player, ILumoCallback* callback, LumoSignalMember) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::recursive_mutex> lock(p->cbMutex);
    if (callback && p->cb != callback) return LUMO_ERR_PARAM;
    p->cb = nullptr;
    p->member = nullptr;
    return LUMO_OK;
}

int LumoPlayerListen(void* player, int on) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open) return LUMO_ERR_STATE;
    p->listening = on != 0;
    return LUMO_OK;
}

static void ResetForOpen(Player* p) {
    p->StopThread();
    std::lock_guard<std::mutex> lock(p->frameMutex);
    if (p->lastFrame) av_frame_unref(p->lastFrame);
}

int LumoPlayerOpenFile(void* player, CLumoFileDescList* list) {
    auto p = GetPlayer(player);
    if (!p || !list || list->IsEmpty()) return LUMO_ERR_PARAM;
    int64_t startUs = NowUs();
    ResetForOpen(p.get());
    p->closed = false;
    std::vector<CLumoFileDesc> files;
    for (CLumoFileDesc* d : *list)
        if (d) files.push_back(*d);
    if (files.empty()) return LUMO_ERR_PARAM;

    LumoRecordSource src;
    if (LumoRecordParseUri(files[0].GetURI(), &src) != 0) return LUMO_ERR_PARAM;
    AVFormatContext* ctx = nullptr;
    int r = LumoAVOpenInput(&ctx, src, &p->intr, GetSettings().openTimeoutMs.load());
    if (r != 0) return r;
    if (files[0].GetTimeS().IsEmpty()) LumoAVFillDesc(&files[0], ctx, src.path);
    for (size_t i = 1; i < files.size(); ++i)
        if (files[i].GetTimeS().IsEmpty()) LumoRecordProbeDesc(&files[i]);

    std::lock_guard<std::mutex> lock(p->m);
    p->files = std::move(files);
    p->isUrl = false;
    p->open = true;
    p->preopened = ctx;
    p->currentFile = 0;
    p->positionMs = 0;
    p->stats = LumoPlayerStats();
    p->openStartUs = startUs;
    p->listening = true;
    return LUMO_OK;
}

int LumoPlayerOpen(void* player, const char* url, int) {
    auto p = GetPlayer(player);
    if (!p || !url || !*url) return LUMO_ERR_PARAM;
    LumoRecordSource src;
    if (LumoRecordParseUri(url, &src) != 0) return LUMO_ERR_PARAM;
    ResetForOpen(p.get());
    p->closed = false;
    CLumoFileDesc d;
    d.SetURI(url);
    CLumoTime now = CLumoTime::Now();
    d.SetTimeS(now);
    d.SetTimeE(now);
    std::lock_guard<std::mutex> lock(p->m);
    p->files.assign(1, d);
    p->isUrl = true;
    p->open = true;
    p->currentFile = 0;
    p->positionMs = 0;
    p->stats = LumoPlayerStats();
    p->openStartUs = NowUs();
    p->listening = true;
    return LUMO_OK;
}

int LumoPlayerAddFile(void* player, CLumoFileDescList* list) {
    auto p = GetPlayer(player);
    if (!p || !list) return LUMO_ERR_PARAM;
    std::vector<CLumoFileDesc> add;
    for (CLumoFileDesc* d : *list) {
        if (!d) continue;
        add.push_back(*d);
        if (add.back().GetTimeS().IsEmpty()) LumoRecordProbeDesc(&add.back());
    }
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open || p->isUrl) return LUMO_ERR_STATE;
    for (auto& d : add) p->files.push_back(d);
    // A list that had ended goes on with the new files.
    if (p->ended && !add.empty()) {
        p->seekPending = true;
        p->seekFile = int(p->files.size() - add.size());
        p->seekOffsetMs = 0;
        p->cv.notify_all();
    }
    return LUMO_OK;
}

int LumoPlayerDeleteFile(void* player, CLumoFileDescList* list) {
    auto p = GetPlayer(player);
    if (!p || !list) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open || p->isUrl) return LUMO_ERR_STATE;
    for (CLumoFileDesc* d : *list) {
        if (!d) continue;
        for (size_t i = 0; i < p->files.size();) {
            if (int(i) != p->currentFile && std::strcmp(p->files[i].GetURI(), d->GetURI()) == 0) {
                p->files.erase(p->files.begin() + long(i));
                if (int(i) < p->currentFile) p->currentFile--;
                if (p->seekPending && int(i) < p->seekFile) p->seekFile--;
            } else {
                ++i;
            }
        }
    }
    return LUMO_OK;
}

int LumoPlayerStart(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open) return LUMO_ERR_STATE;
    if (p->started) return LUMO_OK;
    p->started = true;
    p->ended = false;
    std::shared_ptr<Player> self = p;
    p->thread = std::thread([self] { self->Run(); });
    return LUMO_OK;
}

int LumoPlayerStop(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    p->StopThread();
    {
        std::lock_guard<std::mutex> lock(p->frameMutex);
        if (p->lastFrame) av_frame_unref(p->lastFrame);
    }
    if (p->sink) p->sink->Refresh();
    return LUMO_OK;
}

int LumoPlayerClose(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    p->StopThread();
    {
        std::lock_guard<std::mutex> lock(p->frameMutex);
        if (p->lastFrame) av_frame_free(&p->lastFrame);
    }
    p->closed = true;
    return LUMO_OK;
}

int LumoCoreInvalidate() {
    // Ends every player before the program tears down its windows.
    std::vector<void*> handles;
    Players().ForEach([&handles](void* h, const std::shared_ptr<Player>&) { handles.push_back(h); });
    for (void* h : handles) {
        LumoPlayerStop(h);
        LumoPlayerClose(h);
    }
    return LUMO_OK;
}

int LumoPlayerPause(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open) return LUMO_ERR_STATE;
    p->paused = true;
    p->steps = 0;
    p->cv.notify_all();
    return LUMO_OK;
}

int LumoPlayerResume(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open) return LUMO_ERR_STATE;
    p->paused = false;
    p->steps = 0;
    p->cv.notify_all();
    return LUMO_OK;
}

int LumoPlayerStep(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open || p->isUrl) return LUMO_ERR_STATE;
    p->paused = true;
    p->steps++;
    p->cv.notify_all();
    return LUMO_OK;
}

int LumoPlayerSetSpeed(void* player, int code) {
    auto p = GetPlayer(player);
    if (!p || !LumoSpeedIsValid(code)) return LUMO_ERR_PARAM;
    if (p->task)
        p->task->speed = code;
    else
        p->ownSpeed = code;
    p->cv.notify_all();
    return LUMO_OK;
}

int LumoPlayerGetSpeed(void* player, int* code) {
    auto p = GetPlayer(player);
    if (!p || !code) return LUMO_ERR_PARAM;
    *code = p->Speed();
    return LUMO_OK;
}

int LumoPlayerSetVolume(void* player, int volume) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    p->volume = std::max(0, std::min(100, volume));
    return LUMO_OK;
}

int LumoPlayerGetVolume(void* player, int* volume) {
    auto p = GetPlayer(player);
    if (!p || !volume) return LUMO_ERR_PARAM;
    *volume = p->volume.load();
    return LUMO_OK;
}

int LumoPlayerSetDisplayScale(void* player, int mode, float ratio) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    if (mode < LUMO_SCALE_FILL || mode > LUMO_SCALE_ORIGIN) return LUMO_ERR_PARAM;
    if (p->sink) p->sink->SetScale(mode, ratio);
    return LUMO_OK;
}

int LumoPlayerSeekTime(void* player, const CLumoTime* time) {
    auto p = GetPlayer(player);
    if (!p || !time || time->IsEmpty()) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open || p->isUrl) return LUMO_ERR_STATE;
    int file = 0;
    int64_t offset = 0;
    if (!LocateTime(p->files, *time, &file, &offset)) return LUMO_ERR_PARAM;
    p->seekPending = true;
    p->seekFile = file;
    p->seekOffsetMs = offset;
    p->busy = true;
    p->ended = false;
    if (!p->started) p->currentFile = file;
    p->cv.notify_all();
    return LUMO_OK;
}

int LumoPlayerSeekFile(void* player, const CLumoFileDesc* desc) {
    auto p = GetPlayer(player);
    if (!p || !desc) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open || p->isUrl) return LUMO_ERR_STATE;
    for (size_t i = 0; i < p->files.size(); ++i) {
        if (std::strcmp(p->files[i].GetURI(), desc->GetURI()) == 0) {
            p->seekPending = true;
            p->seekFile = int(i);
            p->seekOffsetMs = 0;
            p->busy = true;
            p->ended = false;
            if (!p->started) p->currentFile = int(i);
            p->cv.notify_all();
            return LUMO_OK;
        }
    }
    return LUMO_ERR_NOTFOUND;
}

int LumoPlayerGetState(void* player, int* state) {
    if (state) *state = 0;
    auto p = GetPlayer(player);
    if (!p || !state) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open) return LUMO_OK;
    int s = LUMO_STATE_OPEN;
    if (p->started && !p->ended && !p->paused) s |= LUMO_STATE_PLAYING;
    if (p->paused) s |= LUMO_STATE_PAUSED;
    if (p->ended) s |= LUMO_STATE_END;
    if (p->busy) s |= LUMO_STATE_BUSY;
    *state = s;
    return LUMO_OK;
}

int LumoPlayerGetPlaybackTime(void* player, CLumoTime* time) {
    auto p = GetPlayer(player);
    if (!p || !time) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open || p->files.empty()) return LUMO_ERR_STATE;
    int idx = p->seekPending ? p->seekFile : p->currentFile;
    idx = std::max(0, std::min(idx, int(p->files.size()) - 1));
    int64_t pos = p->seekPending ? p->seekOffsetMs : p->positionMs;
    CLumoTime t = p->files[size_t(idx)].GetTimeS();
    t.Add(pos);
    *time = t;
    return LUMO_OK;
}

int LumoPlayerGetCurrentFile(void* player, CLumoFileDesc* desc) {
    auto p = GetPlayer(player);
    if (!p || !desc) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open || p->files.empty()) return LUMO_ERR_STATE;
    *desc = p->files[size_t(std::max(0, std::min(p->currentFile, int(p->files.size()) - 1)))];
    return LUMO_OK;
}

int LumoPlayerGetVideoSize(void* player, int* width, int* height) {
    auto p = GetPlayer(player);
    if (!p || !width || !height) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->open) return LUMO_ERR_STATE;
    *width = p->videoW;
    *height = p->videoH;
    return (p->videoW > 0 && p->videoH > 0) ? LUMO_OK : LUMO_ERR_NOFRAME;
}

int LumoPlayerGetStats(void* player, LumoPlayerStats* stats) {
    auto p = GetPlayer(player);
    if (!p || !stats) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    *stats = p->stats;
    return LUMO_OK;
}

int LumoPlayerRefresh(void* player, void* window, int) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    if (window) {
        auto s = INFRA::VideoWindow::FrameSinkOf(static_cast<QWidget*>(window));
        if (s) s->Refresh();
    }
    if (p->sink) p->sink->Refresh();
    return LUMO_OK;
}

int LumoPlayerSnapshot(void* player, int, const CLumoString& target, CLumoString* savedPath, int format) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    SnapshotTarget t;
    if (!ParseSnapshotTarget(target.Str(), &t)) return LUMO_ERR_PARAM;
    const char* ext;
    const char* qfmt;
    if (format == LUMO_PICTURE_JPEG || (format != LUMO_PICTURE_BMP && t.format == "jpg")) {
        ext = "jpg";
        qfmt = "JPG";
    } else if (format == LUMO_PICTURE_BMP || t.format == "bmp") {
        ext = "bmp";
        qfmt = "BMP";
    } else {
        return LUMO_ERR_PARAM;
    }
    AVFrame* f = av_frame_alloc();
    {
        std::lock_guard<std::mutex> lock(p->frameMutex);
        if (p->lastFrame && p->lastFrame->width > 0) av_frame_ref(f, p->lastFrame);
    }
    if (f->width <= 0 || f->height <= 0) {
        av_frame_free(&f);
        return LUMO_ERR_NOFRAME;
    }
    // The picture at the video's own size, whatever the window shows.
    AVPixelFormat src = static_cast<AVPixelFormat>(f->format);
    if (src == AV_PIX_FMT_YUVJ420P) src = AV_PIX_FMT_YUV420P;
    SwsContext* sws = sws_getContext(f->width, f->height, src, f->width, f->height, AV_PIX_FMT_BGRA,
                                     SWS_BICUBIC, nullptr, nullptr, nullptr);
    QImage img(f->width, f->height, QImage::Format_RGB32);
    if (!sws || img.isNull()) {
        if (sws) sws_freeContext(sws);
        av_frame_free(&f);
        return LUMO_ERR_FAIL;
    }
    uint8_t* dst[4] = {img.bits(), nullptr, nullptr, nullptr};
    int lines[4] = {int(img.bytesPerLine()), 0, 0, 0};
    sws_scale(sws, f->data, f->linesize, 0, f->height, dst, lines);
    sws_freeContext(sws);
    av_frame_free(&f);

    QString folder = QString::fromUtf8(t.folder.c_str());
    if (!QDir().mkpath(folder)) return LUMO_ERR_WRITE;
    QString base =
        QDir(folder).filePath(QDateTime::currentDateTime().toString("'Snapshot_'yyyyMMdd_HHmmss_zzz"));
    QString path = base + "." + ext;
    for (int n = 1; QFileInfo::exists(path); ++n) path = QString("%1_%2.%3").arg(base).arg(n).arg(ext);
    QImageWriter writer(path, qfmt);
    if (format == LUMO_PICTURE_JPEG || std::strcmp(ext, "jpg") == 0) writer.setQuality(90);
    if (!writer.write(img)) {
        QFile::remove(path);
        return LUMO_ERR_WRITE;
    }
    if (savedPath) savedPath->Copy(path.toUtf8().constData());
    return LUMO_OK;
}
