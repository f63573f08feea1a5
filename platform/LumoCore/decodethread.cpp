#include "decodethread.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <sched.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/time.h>
}

#include "LumoRecord/avopen.h"
#include "VantelCore/urlmask.h"

namespace lumocore {

namespace {

int64_t NowUs() {
    return av_gettime_relative();
}

// Whether an audio output exists; asked at most every 10 s (the query can be slow without one).
bool AudioDeviceLikely() {
    static std::mutex m;
    static int64_t checkedUs = -1;  // guarded by m
    static bool present = false;    // guarded by m
    std::lock_guard<std::mutex> lock(m);
    int64_t now = NowUs();
    if (checkedUs < 0 || now - checkedUs > 10000000) {
        checkedUs = now;
        present = QCoreApplication::instance() && !qEnvironmentVariableIsSet("LUMO_NO_AUDIO");
    }
    return present;
}

// The cores this process may run on (a cpuset or taskset counts, not the machine's).
int UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1, int(std::thread::hardware_concurrency()));
}

// Decoding runs below the GUI thread's priority, so that painting and input keep their share
// when many views decode at once. Threads made from here (the decoder's own) inherit it. The
// level is the program's (its main thread's) plus four, not this thread's: a run started from
// the thread of another run (a restart from the player's own report) starts out at that run's
// level already, and would sink four lower with each restart until it hardly ran on a busy machine.
void LowerThisThreadsPriority() {
    const pid_t tid = pid_t(syscall(SYS_gettid));
    errno = 0;
    const int program = getpriority(PRIO_PROCESS, id_t(getpid()));
    if (errno == 0) setpriority(PRIO_PROCESS, id_t(tid), std::min(19, program + 4));
}

// Formats that find a time only by searching time stamps, without a key-frame index (MPEG-TS,
// MPEG-PS, raw streams), can land on a frame that is not a key frame; their start is found
// exactly by its byte position.
bool StartsByByte(const AVFormatContext* fmt) {
    const int flags = fmt->iformat->flags;
    return !(flags & AVFMT_NO_BYTE_SEEK) && (flags & (AVFMT_TS_DISCONT | AVFMT_GENERIC_INDEX)) && fmt->pb;
}

}  // namespace

std::atomic<int>& ActiveDecoders() {
    static std::atomic<int> count{0};
    return count;
}

int DecoderThreadCount() {
    const int set = GetSettings().decoderThreads.load();
    if (set > 0) return set;
    // One decoder thread per core, shared by the players decoding now: more threads than cores
    // only add switching, and every view gets its fair share. A player decoding alone gets one
    // more than the cores, as FFmpeg's own choice does: with frame threads one of them is often
    // waiting for its reference picture.
    const int players = std::max(1, ActiveDecoders().load());
    if (players == 1) return std::min(8, UsableCores() + 1);
    return std::max(1, std::min(8, UsableCores() / players));
}

// ---------------------------------------------------------------------------------------------

Decoder::Decoder(std::shared_ptr<Player> player, std::shared_ptr<PlayerRun> r)
    : p(std::move(player)), run(std::move(r)), intr(run->intr) {}

Decoder::~Decoder() {
    av_channel_layout_uninit(&swrInLayout);
}

int64_t Decoder::FramePtsMs(const AVFrame* f) const {
    int64_t ts = f->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) ts = f->pts;
    if (ts == AV_NOPTS_VALUE) return lastPtsMs + int64_t(mf.frameMs);
    return av_rescale_q(ts - mf.vstart, mf.vtb, AVRational{1, 1000});
}

int64_t Decoder::PacketPtsMs(const AVPacket* packet) const {
    int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (ts == AV_NOPTS_VALUE) return INT64_MIN;
    return av_rescale_q(ts - mf.vstart, mf.vtb, AVRational{1, 1000});
}

lumoav::CodecContextPtr Decoder::OpenDecoder(AVStream* st) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return nullptr;
    lumoav::CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0) return nullptr;
    ctx->pkt_timebase = st->time_base;
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        ctx->thread_count = DecoderThreadCount();
        ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
    return ctx;
}

int Decoder::SetupMedia(lumoav::InputPtr fmt) {
    mf.Close();
    AVFormatContext* f = fmt.get();
    mf.fmt = std::move(fmt);
    const int v = av_find_best_stream(f, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int a = av_find_best_stream(f, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (v >= 0) {
        mf.vdec = OpenDecoder(f->streams[v]);
        if (mf.vdec) {
            mf.vidx = v;
            mf.decoderThreads = mf.vdec->thread_count;
            AVStream* st = f->streams[v];
            mf.vtb = st->time_base;
            mf.vstart = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
            AVRational fr = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
            mf.frameMs = (fr.num > 0 && fr.den > 0) ? 1000.0 * fr.den / fr.num : 40.0;
            if (mf.frameMs <= 0.5 || mf.frameMs > 2000.0) mf.frameMs = 40.0;
        }
    }
    if (a >= 0) {
        mf.adec = OpenDecoder(f->streams[a]);
        if (mf.adec) mf.aidx = a;
    }
    // Everything else is read and thrown away cheaply.
    for (unsigned i = 0; i < f->nb_streams; ++i)
        if (int(i) != mf.vidx && int(i) != mf.aidx) f->streams[i]->discard = AVDISCARD_ALL;
    if (mf.vidx < 0 && mf.aidx < 0) {
        mf.Close();
        return LUMO_ERR_NOVIDEO;
    }
    mf.packetsRead = 0;
    mf.playedFromStart = true;
    mf.anyOutput = false;
    return LUMO_OK;
}

void Decoder::FileFailed(int idx, int result) {
    CLumoFileDesc desc;
    if (!Publish([&] {
            p->lastError = result;
            if (idx >= 0 && idx < int(p->files.size())) desc = p->files[size_t(idx)];
        }))
        return;
    LumoPrintf("LumoCore: cannot play %s: %s\n", VantelMaskUrl(desc.GetURI()).c_str(),
               LumoCoreGetErrorText(result));
    LumoFileFailedEvent ev{&desc, result};
    p->Emit(*run, LUMO_EVENT_FILE_FAILED, &ev, nullptr);
}

bool Decoder::OpenIndex(int idx, lumoav::InputPtr pre, bool report) {
    mf.Close();
    CLumoFileDesc desc;
    bool isUrl = false;
    {
        std::lock_guard<std::mutex> lock(p->m);
        if (run->abort || idx < 0 || idx >= int(p->files.size())) return false;
        desc = p->files[size_t(idx)];
        isUrl = p->isUrl;
    }
    sink = p->Sink();
    LumoRecordSource src;
    int r = LumoRecordParseUri(desc.GetURI(), &src);
    if (r != 0 && isUrl) r = LUMO_ERR_UNSUPPORTED;  // only a scheme we have no protocol for gets here
    if (!pre && r == 0) {
        AVFormatContext* raw = nullptr;
        r = LumoAVOpenInput(&raw, src, &intr, GetSettings().openTimeoutMs.load());
        pre.reset(raw);
    }
    if (r == 0) r = SetupMedia(std::move(pre));
    if (Stopped()) return false;
    if (isUrl && report) {
        LumoLoginEvent ev{desc.GetURI(), r};
        p->Emit(*run, LUMO_EVENT_LOGIN, &ev, nullptr);
    }
    if (r != 0) {
        if (report) FileFailed(idx, r);
        return false;
    }
    if (!Publish([&] {
            p->currentFile = idx;
            p->positionMs = 0;
            if (mf.vdec) {
                p->videoW = mf.vdec->width;
                p->videoH = mf.vdec->height;
            }
            p->stats.decoderThreads = mf.decoderThreads;
        }))
        return false;
    clockValid = false;
    forcePresent = true;
    lastPtsMs = 0;
    waitKey = true;
    heldBack = 0;
    lastKeyMs = INT64_MIN;
    gopMs = 0;
    skipToKey = false;
    SetLighter(false);
    picture.Reset();
    if (audio) audio->Clear();
    return true;
}

namespace {

// A live source has no end of its own: its end is a loss. A file reached by URL (a path, http)
// may end as files do.
bool IsLiveUrl(const char* uri) {
    static const char* const schemes[] = {"rtsp://", "rtsps://", "rtmp://", "rtmps://", "rtp://", "udp://", "srt://"};
    for (const char* scheme : schemes)
        if (strncasecmp(uri, scheme, strlen(scheme)) == 0) return true;
    return false;
}

}  // namespace

void Decoder::StreamLost(int readError) {
    CLumoFileDesc desc;
    if (!Publish([&] {
            const int idx = p->currentFile;
            if (idx >= 0 && idx < int(p->files.size())) desc = p->files[size_t(idx)];
        }))
        return;
    // A broken read is a loss whatever the source; a clean end only for a live one.
    if (readError == LUMO_OK && !IsLiveUrl(desc.GetURI())) return;
    const int result = readError == LUMO_OK ? LUMO_ERR_IO : readError;
    LumoPrintf("LumoCore: stream lost %s: %s\n", VantelMaskUrl(desc.GetURI()).c_str(), LumoCoreGetErrorText(result));
    LumoStreamLostEvent ev{desc.GetURI(), result};
    p->Emit(*run, LUMO_EVENT_STREAM_LOST, &ev, nullptr);
}

void Decoder::EndOfList() {
    int error = LUMO_OK;
    Publish([&] {
        p->ended = true;
        p->busy = false;
        p->steps = 0;
        error = p->lastError;
    });
    seekActive = false;
    mf.Close();
    p->Emit(*run, LUMO_EVENT_END_OF_LIST, nullptr, reinterpret_cast<void*>(intptr_t(error)));
}

void Decoder::AdvanceFile() {
    int next = 0;
    bool isUrl = false;
    {
        std::lock_guard<std::mutex> lock(p->m);
        next = p->currentFile + 1;
        isUrl = p->isUrl;
    }
    const int mode = p->playMode.load();
    // Whether the file that ends gave something: a loop over files that give nothing would spin.
    const bool gaveOutput = mf.fmt && !(mf.playedFromStart && !mf.anyOutput);
    if (gaveOutput) roundOutput = true;
    if (isUrl || mode == LUMO_PLAYMODE_SINGLE) {
        EndOfList();
        return;
    }
    if (mode == LUMO_PLAYMODE_SINGLE_LOOP) {
        if (!gaveOutput || !OpenIndex(next - 1, nullptr, false)) {
            if (!Stopped()) EndOfList();
        }
        return;
    }
    for (;; ++next) {
        size_t count;
        {
            std::lock_guard<std::mutex> lock(p->m);
            if (run->abort) return;
            count = p->files.size();
        }
        if (next >= int(count)) {
            // The head again in a list loop, unless a whole round gave nothing.
            if (mode != LUMO_PLAYMODE_LIST_LOOP || !roundOutput || count == 0) {
                EndOfList();
                return;
            }
            roundOutput = false;
            next = 0;
        }
        if (OpenIndex(next, nullptr, true)) {
            CLumoFileDesc now;
            if (!Publish([&] { now = p->files[size_t(next)]; })) return;
            p->Emit(*run, LUMO_EVENT_NEXT_FILE, &now, nullptr);
            return;
        }
        if (Stopped()) return;
        // A file that cannot be opened is reported and passed over.
    }
}

// Back to the first packet of the file. Time-stamp searches in formats without a key-frame
// index may land past the first key frame (and lose the whole first group, or everything when
// the file has a single key frame): such formats go back by byte position. When neither works
// the file is opened again.
bool Decoder::SeekToFileStart() {
    AVFormatContext* fmt = mf.fmt.get();
    if (!fmt) return false;
    if (mf.packetsRead == 0) return true;  // nothing read since the open: already there
    intr.Arm(GetSettings().readTimeoutMs.load());
    int r = -1;
    if (StartsByByte(fmt)) r = avformat_seek_file(fmt, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
    if (r < 0 && mf.vidx >= 0) r = avformat_seek_file(fmt, mf.vidx, INT64_MIN, mf.vstart, mf.vstart, 0);
    if (r < 0)
        r = avformat_seek_file(fmt, -1, INT64_MIN, fmt->start_time != AV_NOPTS_VALUE ? fmt->start_time : 0,
                               fmt->start_time != AV_NOPTS_VALUE ? fmt->start_time : 0, 0);
    intr.Disarm();
    if (r >= 0) {
        mf.packetsRead = 0;
        return true;
    }
    int idx;
    {
        std::lock_guard<std::mutex> lock(p->m);
        idx = p->currentFile;
    }
    seekReopened = true;
    return OpenIndex(idx, nullptr, false);
}

// Seeks to the key frame at or before `fromMs` and decodes forward to `targetMs`.
void Decoder::StartSeek(int64_t targetMs, int64_t fromMs) {
    if (!mf.fmt) return;
    seekFromStart = fromMs <= 0;
    if (seekFromStart) {
        if (!SeekToFileStart()) return;
        mf.playedFromStart = true;
        mf.anyOutput = false;
    } else {
        AVFormatContext* fmt = mf.fmt.get();
        const int stream = mf.vidx >= 0 ? mf.vidx : mf.aidx;
        const AVStream* st = fmt->streams[stream];
        const AVRational tb = st->time_base;
        const int64_t start =
            mf.vidx >= 0 ? mf.vstart : (st->start_time != AV_NOPTS_VALUE ? st->start_time : 0);
        const int64_t ts = start + av_rescale_q(fromMs, AVRational{1, 1000}, tb);
        intr.Arm(GetSettings().readTimeoutMs.load());
        int r = avformat_seek_file(fmt, stream, INT64_MIN, ts, ts, 0);
        if (r < 0) r = av_seek_frame(fmt, stream, ts, AVSEEK_FLAG_BACKWARD);
        intr.Disarm();
        if (r < 0) {
            // No index: from the start, decoding forward.
            seekFromStart = true;
            if (!SeekToFileStart()) return;
        }
        mf.playedFromStart = seekFromStart;
    }
    if (mf.vdec) avcodec_flush_buffers(mf.vdec.get());
    if (mf.adec) avcodec_flush_buffers(mf.adec.get());
    if (audio) audio->Clear();
    waitKey = true;
    heldBack = 0;
    lastKeyMs = INT64_MIN;
    seekActive = true;
    seekFirstFrame = true;
    seekRestarted = true;
    seekTargetMs = targetMs;
    seekFromMs = std::max<int64_t>(0, fromMs);
    clockValid = false;
    lastPtsMs = seekFromMs;
    skipToKey = false;
    SetLighter(false);
}

// The first picture after a seek came later than asked (the seek landed past the key frame
// before the target): starts over further back, and finally from the file's start.
bool Decoder::RetrySeekIfLate(int64_t landedMs) {
    if (double(landedMs) <= double(seekTargetMs) + mf.frameMs / 2.0) return false;
    if (!seekFromStart && seekRetries < 5) {
        ++seekRetries;
        const int64_t back = int64_t(1000) << seekRetries;
        StartSeek(seekTargetMs, seekFromMs > back ? seekFromMs - back : 0);
        return true;
    }
    if (!seekFromStart) {
        StartSeek(seekTargetMs, 0);
        return true;
    }
    if (!seekReopened && landedMs > 0) {
        // Even the file's start landed late: open it again, which reads from its first packet.
        int idx;
        {
            std::lock_guard<std::mutex> lock(p->m);
            idx = p->currentFile;
        }
        seekReopened = true;
        const int64_t target = seekTargetMs;
        if (!OpenIndex(idx, nullptr, false)) return false;
        StartSeek(target, 0);
        return true;
    }
    return false;
}

void Decoder::TakeSeekRequest() {
    int file = 0, cur = 0;
    int64_t offset = 0;
    if (!Publish([&] {
            file = p->seekFile;
            offset = p->seekOffsetMs;
            p->seekPending = false;
            p->ended = false;
            p->busy = true;
            cur = p->currentFile;
        }))
        return;
    const bool changed = file != cur || !mf.fmt;
    if (changed) {
        if (!OpenIndex(file, nullptr, true)) {
            // The asked file cannot be read: go on with the next one.
            if (!Publish([&] { p->currentFile = file; })) return;
            AdvanceFile();
            Publish([&] { p->busy = false; });
            return;
        }
        if (file != cur) {
            CLumoFileDesc now;
            if (!Publish([&] { now = p->files[size_t(file)]; })) return;
            p->Emit(*run, LUMO_EVENT_NEXT_FILE, &now, nullptr);
        }
    }
    seekRetries = 0;
    seekReopened = false;
    if (!Publish([&] { p->positionMs = offset; })) return;
    StartSeek(offset, offset);
}

bool Decoder::WaitUntilDue(int64_t ptsMs, int64_t* lateUs) {
    *lateUs = 0;
    std::unique_lock<std::mutex> lock(p->m);
    for (;;) {
        if (run->abort || p->seekPending) return false;
        if (p->paused && p->steps == 0) {
            p->cv.wait(lock, [this] { return run->abort || p->seekPending || !p->paused || p->steps > 0; });
            clockValid = false;
            continue;
        }
        if (p->paused) return true;  // a frame step shows the next picture at once
        const int speed = p->Speed();
        const int64_t now = NowUs();
        const double rate = SpeedRate(speed);
        if (!clockValid || speed != anchorSpeed) {
            clockValid = true;
            anchorWallUs = now;
            anchorMediaMs = ptsMs;
            anchorSpeed = speed;
            return true;
        }
        const int64_t due = anchorWallUs + int64_t(double(ptsMs - anchorMediaMs) * 1000.0 / rate);
        const int64_t ahead = due - now;
        if (ahead <= 0) {
            *lateUs = -ahead;
            // At normal speed and slower, frames are left out to keep real time (LeaveOut); a stall
            // of seconds (a slow disk, a jump back in time) is followed rather than rushed
            // through. Fast forward follows the decoder as soon as it falls behind.
            const int64_t follow = speed > 1 ? 300000 : 3000000;
            if (-ahead > follow) {
                anchorWallUs = now;
                anchorMediaMs = ptsMs;
                *lateUs = 0;
            }
            return true;
        }
        const int64_t maxGap = std::max<int64_t>(2000000, int64_t(4.0 * mf.frameMs * 1000.0 / rate));
        if (ahead > maxGap) {  // a jump forward in time stamps: do not sit in it
            anchorWallUs = now;
            anchorMediaMs = ptsMs;
            return true;
        }
        // Short slices so that a change of speed takes effect at once.
        p->cv.wait_for(lock, std::chrono::microseconds(std::min<int64_t>(ahead, 20000)));
    }
}

void Decoder::SetLighter(bool on) {
    if (on == lighter) return;
    lighter = on;
    onTimeSinceUs = 0;
    if (!mf.vdec) return;
    // The loop filter only smooths block edges; in a view shown at half size or less nobody
    // sees them, and it is a good part of the decoding.
    bool small = false;
    if (on && sink) {
        const QSize shown = sink->ShownSize(QSize(mf.vdec->width, mf.vdec->height));
        small = !shown.isEmpty() && shown.width() * 2 <= mf.vdec->width;
    }
    mf.vdec->skip_loop_filter = small ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
}

// Keeps a view in real time when its decoding falls behind (at normal speed and slower), by
// leaving packets out before they are decoded: first the pictures no other picture refers to,
// one whenever the view is a frame late, so the losses spread evenly; then, when the view is
// later than the time left to the next key frame (which it would reach late as well), the rest
// of the group, so that decoding starts again on time there. Each group thus keeps as many
// pictures as the machine decodes in its time. Small views also skip the loop filter while
// behind, and for ten seconds after: a view that takes it back at once falls behind again, and
// views that keep it take more than their share of the cores.
bool Decoder::LeaveOut(const AVPacket* packet) {
    if (skipToKey) return true;
    if (!clockValid || seekActive || forcePresent || !mf.vdec) return false;
    int speed;
    {
        std::lock_guard<std::mutex> lock(p->m);
        if (p->paused) return false;
        speed = p->Speed();
    }
    if (speed > LUMO_SPEED_NORMAL || speed != anchorSpeed) return false;
    const int64_t ms = PacketPtsMs(packet);
    if (ms == INT64_MIN) return false;
    const double rate = SpeedRate(speed);
    const int64_t now = NowUs();
    const int64_t lateUs = now - (anchorWallUs + int64_t(double(ms - anchorMediaMs) * 1000.0 / rate));
    const int64_t frameUs = int64_t(mf.frameMs * 1000.0 / rate);
    if (lateUs < frameUs / 2) {
        if (lighter) {
            if (!onTimeSinceUs)
                onTimeSinceUs = now;
            else if (now - onTimeSinceUs > 10000000)
                SetLighter(false);
        }
        return false;
    }
    onTimeSinceUs = 0;
    if (lateUs > 2 * frameUs) SetLighter(true);
    if (lateUs <= frameUs) return false;
    if (LumoAVIsNonReference(mf.fmt->streams[mf.vidx]->codecpar, packet)) return true;
    int64_t untilKeyUs = 1000000;  // before the length of a group is known
    if (gopMs > 0 && lastKeyMs != INT64_MIN)
        untilKeyUs = std::max<int64_t>(0, int64_t(double(lastKeyMs + gopMs - ms) * 1000.0 / rate));
    // The key frame itself takes time: aim to reach it early by the margin the last ones needed.
    if (lateUs > 2 * frameUs && lateUs + keyMarginUs >= untilKeyUs) {
        skipToKey = true;
        landingKey = true;
        return true;
    }
    return false;
}

void Decoder::Show(AVFrame* f, bool force) {
    const int64_t now = NowUs();
    const bool fast = p->Speed() > 1;
    sink = p->Sink();
    const PictureOut::Outcome o = picture.Present(f, p->handle, sink.get(), force, fast);
    if (o == PictureOut::PRESENTED) lastPresentUs = now;
    const int painted = picture.TakePainted(sink.get());
    Publish([&] {
        if (o == PictureOut::PRESENTED) p->stats.framesPresented++;
        if (o == PictureOut::WAITING) p->stats.framesDropped++;
        p->stats.framesPainted += uint64_t(painted);
    });
}

void Decoder::OnVideoFrame(AVFrame* f) {
    const int64_t ptsMs = FramePtsMs(f);
    lastPtsMs = ptsMs;
    mf.anyOutput = true;
    if (!Publish([&] {
            p->stats.framesDecoded++;
            if (p->stats.firstFrameUs < 0) p->stats.firstFrameUs = NowUs() - p->openStartUs;
            p->videoW = f->width;
            p->videoH = f->height;
        }))
        return;
    {
        // The snapshot takes the last decoded picture.
        std::lock_guard<std::mutex> lock(p->frameMutex);
        if (!run->abort) {
            if (!p->lastFrame) p->lastFrame = lumoav::MakeFrame();
            av_frame_unref(p->lastFrame.get());
            av_frame_ref(p->lastFrame.get(), f);
        }
    }
    if (seekActive) {
        if (seekFirstFrame) {
            seekFirstFrame = false;
            if (RetrySeekIfLate(ptsMs)) return;
        }
        if (double(ptsMs) + mf.frameMs / 2.0 < double(seekTargetMs)) return;  // before the asked time
        seekActive = false;
        forcePresent = false;
        Show(f, true);
        clockValid = false;
        Publish([&] {
            p->positionMs = ptsMs;
            p->busy = false;
            if (p->steps > 0) p->steps--;
        });
        return;
    }
    int64_t lateUs = 0;
    if (!WaitUntilDue(ptsMs, &lateUs)) return;
    if (landingKey) {
        // The first picture after leaving the rest of a group out: learn how early to leave.
        landingKey = false;
        const int64_t frameUs = int64_t(mf.frameMs * 1000.0);
        if (lateUs > frameUs / 2)
            keyMarginUs =
                std::min<int64_t>(keyMarginUs + lateUs, std::max<int64_t>(gopMs * 500, 2 * frameUs));
        else
            keyMarginUs = std::max<int64_t>(2 * frameUs, keyMarginUs * 4 / 5);
    }
    bool stepping = false;
    int speed = LUMO_SPEED_NORMAL;
    {
        std::lock_guard<std::mutex> lock(p->m);
        stepping = p->paused;
        speed = p->Speed();
    }
    const int64_t now = NowUs();
    // Fast forward shows only as many pictures as a screen does, and fewer, to leave the time to
    // decoding: 30 a second up to 4x; at 8x and 16x, where every picture is a jump of a second or
    // more anyway, 10 a second (converting and painting 30 pictures of 1080p a second took a
    // tenth of what one player decodes on two cores).
    const int64_t interval = speed >= 8 ? 100000 : speed > 1 ? 33000 : 0;
    if (forcePresent || stepping || now - lastPresentUs >= interval) {
        Show(f, forcePresent || stepping);
        forcePresent = false;
    } else {
        Publish([&] { p->stats.framesDropped++; });
    }
    Publish([&] {
        p->positionMs = ptsMs;
        if (stepping && p->steps > 0) p->steps--;
    });
}

// Decoder threads are fixed when a decoder opens; when the number of players decoding changes,
// the decoder is opened again with its new share at the next key frame (after giving out what it
// holds, so no picture is lost).
void Decoder::ResizeDecoderThreads() {
    if (!mf.vdec || seekActive || DecoderThreadCount() == mf.decoderThreads) return;
    avcodec_send_packet(mf.vdec.get(), nullptr);
    seekRestarted = false;
    while (avcodec_receive_frame(mf.vdec.get(), frm.get()) == 0) {
        OnVideoFrame(frm.get());
        av_frame_unref(frm.get());
        if (Stopped() || seekRestarted) return;
    }
    lumoav::CodecContextPtr fresh = OpenDecoder(mf.fmt->streams[mf.vidx]);
    if (!fresh) return;  // keep the drained one: it is flushed and decodes on
    mf.vdec = std::move(fresh);
    mf.decoderThreads = mf.vdec->thread_count;
    const bool wasLighter = lighter;
    lighter = false;
    SetLighter(wasLighter);
    Publish([&] { p->stats.decoderThreads = mf.decoderThreads; });
}

void Decoder::DecodeVideo(AVPacket* packet) {
    if (!mf.vdec) return;
    if (packet && (packet->flags & AV_PKT_FLAG_KEY)) {
        ResizeDecoderThreads();
        if (Stopped() || !mf.vdec) return;
    }
    for (;;) {
        const int r = avcodec_send_packet(mf.vdec.get(), packet);
        const bool full = r == AVERROR(EAGAIN);          // take the pictures out, then send again
        if (r < 0 && !full && r != AVERROR_EOF) return;  // a damaged packet: skip it
        seekRestarted = false;
        while (avcodec_receive_frame(mf.vdec.get(), frm.get()) == 0) {
            OnVideoFrame(frm.get());
            av_frame_unref(frm.get());
            if (seekRestarted) return;  // the decoder was flushed for a new landing
            std::lock_guard<std::mutex> lock(p->m);
            if (run->abort || p->seekPending) return;
        }
        if (!full) return;
    }
}

void Decoder::OnAudioFrame(AVFrame* f) {
    if (!audio) return;
    const int outRate = audio->SampleRate(), outCh = audio->Channels();
    if (!swr || swrInRate != f->sample_rate || swrInFmt != f->format ||
        av_channel_layout_compare(&swrInLayout, &f->ch_layout) != 0) {
        swr.reset();
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, outCh);
        SwrContext* s = nullptr;
        if (swr_alloc_set_opts2(&s, &outLayout, AV_SAMPLE_FMT_S16, outRate, &f->ch_layout,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0) {
            swr_free(&s);
            return;
        }
        swr.reset(s);
        if (swr_init(swr.get()) < 0) {
            swr.reset();
            return;
        }
        swrInRate = f->sample_rate;
        swrInFmt = f->format;
        av_channel_layout_uninit(&swrInLayout);
        av_channel_layout_copy(&swrInLayout, &f->ch_layout);
    }
    const int maxOut = int(av_rescale_rnd(f->nb_samples, outRate, f->sample_rate, AV_ROUND_UP)) + 64;
    std::vector<int16_t> buf(size_t(maxOut) * size_t(outCh));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(buf.data())};
    const int n =
        swr_convert(swr.get(), out, maxOut, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    if (n <= 0) return;
    const int vol = p->volume.load();
    if (vol < 100)
        for (int i = 0; i < n * outCh; ++i) buf[size_t(i)] = int16_t(int(buf[size_t(i)]) * vol / 100);
    audio->Push(reinterpret_cast<const char*>(buf.data()), qint64(n) * outCh * 2);
}

void Decoder::DecodeAudio(AVPacket* packet) {
    if (!mf.adec) return;
    mf.anyOutput = true;  // sound to play, whether or not it is decoded now
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
    if (avcodec_send_packet(mf.adec.get(), packet) < 0) return;
    while (avcodec_receive_frame(mf.adec.get(), frm.get()) == 0) {
        OnAudioFrame(frm.get());
        av_frame_unref(frm.get());
    }
}

void Decoder::OnPacket(AVPacket* packet) {
    if (packet->stream_index == mf.aidx) {
        DecodeAudio(packet);
        return;
    }
    if (packet->stream_index != mf.vidx) return;
    const bool key = packet->flags & AV_PKT_FLAG_KEY;
    if (waitKey && !key) {
        // After a seek: a packet already past the target shows the landing is late.
        const int64_t ms = PacketPtsMs(packet);
        if (seekActive && seekFirstFrame && ms != INT64_MIN && RetrySeekIfLate(ms)) return;
        // A stream that never marks a key frame is decoded all the same, after a while.
        if (++heldBack < 250) return;
    }
    waitKey = false;
    if (key) {
        skipToKey = false;
        // The length of a group of pictures, for LeaveOut.
        const int64_t ms = PacketPtsMs(packet);
        if (ms != INT64_MIN) {
            if (lastKeyMs != INT64_MIN && ms > lastKeyMs && ms - lastKeyMs < 30000) gopMs = ms - lastKeyMs;
            lastKeyMs = ms;
        }
    } else if (LeaveOut(packet)) {
        Publish([&] { p->stats.framesSkipped++; });
        return;
    }
    DecodeVideo(packet);
}

void Decoder::Run() {
    LowerThisThreadsPriority();
    lumoav::InputPtr pre;
    int first = 0;
    {
        std::lock_guard<std::mutex> lock(p->m);
        pre = std::move(run->preopened);
        first = p->currentFile;
    }
    if (pre && first != 0) pre.reset();  // a seek before the start chose another file
    if (!OpenIndex(first, std::move(pre), true) && !Stopped()) {
        Publish([&] { p->currentFile = first; });
        AdvanceFile();
    }
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(p->m);
            if (run->abort) break;
            if (p->seekPending) {
                lock.unlock();
                TakeSeekRequest();
                continue;
            }
            const bool idle = p->ended || !mf.fmt || (p->paused && p->steps == 0 && !seekActive);
            if (idle) {
                p->cv.wait(lock, [this] {
                    return run->abort || p->seekPending ||
                           (!p->ended && mf.fmt && (!p->paused || p->steps > 0 || seekActive));
                });
                continue;
            }
        }
        intr.timedOut = false;
        intr.Arm(GetSettings().readTimeoutMs.load());
        const int r = av_read_frame(mf.fmt.get(), pkt.get());
        intr.Disarm();
        if (r == AVERROR(EAGAIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (r < 0) {
            if (Stopped()) break;
            const int readError = r == AVERROR_EOF ? LUMO_OK : LumoAVMapError(r, &intr);
            if (r != AVERROR_EOF)
                LumoPrintf("LumoCore: read stopped (%s)\n", LumoCoreGetErrorText(readError));
            // The end of the file (or its unreadable rest): show what the decoder still holds.
            waitKey = false;
            DecodeVideo(nullptr);
            if (Stopped()) break;
            if (seekActive) {
                // Nothing came out after the seek: the seek passed the file's last key frame.
                if (seekFirstFrame && RetrySeekIfLate(INT64_MAX / 2)) continue;
                // Asked beyond the last picture: stay on the last one.
                seekActive = false;
                if (!seekFirstFrame) {
                    lumoav::FramePtr last = lumoav::MakeFrame();
                    {
                        std::lock_guard<std::mutex> lock(p->frameMutex);
                        if (p->lastFrame) av_frame_ref(last.get(), p->lastFrame.get());
                    }
                    if (last->width > 0) Show(last.get(), true);
                }
                Publish([&] {
                    if (!seekFirstFrame) p->positionMs = lastPtsMs;
                    p->busy = false;
                    if (p->steps > 0) p->steps--;
                });
            }
            if (mf.playedFromStart && !mf.anyOutput) {
                int idx = 0;
                Publish([&] { idx = p->currentFile; });
                FileFailed(idx, LUMO_ERR_NOFRAME);
            }
            bool isUrl = false;
            {
                std::lock_guard<std::mutex> lock(p->m);
                if (run->abort || p->seekPending) continue;
                isUrl = p->isUrl;
            }
            if (isUrl) StreamLost(readError);
            AdvanceFile();
            continue;
        }
        ++mf.packetsRead;
        OnPacket(pkt.get());
        av_packet_unref(pkt.get());
    }
    av_packet_unref(pkt.get());
}

void RunDecodeThread(std::shared_ptr<Player> player, std::shared_ptr<PlayerRun> run) {
    {
        Decoder d(player, run);
        d.Run();
        // Out of the loop: no longer one of the players decoding. What is left (closing the
        // file, the decoder and the sound output) no longer counts.
        player->decoding--;
        ActiveDecoders()--;
    }
}

}  // namespace lumocore
