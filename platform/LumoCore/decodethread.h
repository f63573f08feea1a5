// The decode thread of one player run: demuxes the files of the list in order, decodes them,
// paces the pictures by the task's speed, keeps real time when decoding falls behind, and hands
// pictures to the picture output. Everything here belongs to that one thread, except what it
// publishes into the Player under Player::m (positions, state, counters) and Player::frameMutex.
#pragma once

#include <memory>

#include "audioout.h"
#include "pictureout.h"
#include "player.h"

namespace lumocore {

// Demux and decode state of the file being played.
struct MediaFile {
    lumoav::InputPtr fmt;
    lumoav::CodecContextPtr vdec;
    lumoav::CodecContextPtr adec;
    int vidx = -1, aidx = -1;
    AVRational vtb{1, 1000};
    int64_t vstart = 0;           // first time stamp of the video stream (its time base)
    double frameMs = 40.0;        // duration of one frame
    int decoderThreads = 0;       // threads the video decoder was opened with
    int64_t packetsRead = 0;      // since the open or the last seek to the file's start
    bool playedFromStart = true;  // no seek into the middle since the open or the last start seek
    bool anyOutput = false;       // a picture (or sound) came out since then

    void Close() {
        vdec.reset();
        adec.reset();
        fmt.reset();
        vidx = aidx = -1;
    }
};

class Decoder {
public:
    Decoder(std::shared_ptr<Player> player, std::shared_ptr<PlayerRun> run);
    ~Decoder();
    void Run();

private:
    // Publishing into the Player: under Player::m, and never once this run is stopped (a new
    // run may own the state by then).
    template <class F>
    bool Publish(F f) {
        std::lock_guard<std::mutex> lock(p->m);
        if (run->abort) return false;
        f();
        return true;
    }
    bool Stopped() const { return run->abort.load(); }

    bool OpenIndex(int idx, lumoav::InputPtr pre, bool report);
    int SetupMedia(lumoav::InputPtr fmt);
    lumoav::CodecContextPtr OpenDecoder(AVStream* st);
    void FileFailed(int idx, int result);
    // Reports the open stream as broken off (LUMO_EVENT_STREAM_LOST) after a read that failed
    // (readError) or ended (LUMO_OK).
    void StreamLost(int readError);
    void AdvanceFile();
    void EndOfList();
    void TakeSeekRequest();
    void StartSeek(int64_t targetMs, int64_t fromMs);
    bool SeekToFileStart();
    bool RetrySeekIfLate(int64_t landedMs);
    void OnPacket(AVPacket* pkt);
    void DecodeVideo(AVPacket* packet);
    void ResizeDecoderThreads();
    void DecodeAudio(AVPacket* packet);
    void OnVideoFrame(AVFrame* f);
    void OnAudioFrame(AVFrame* f);
    bool WaitUntilDue(int64_t ptsMs, int64_t* lateUs);
    bool LeaveOut(const AVPacket* packet);
    void SetLighter(bool on);
    void Show(AVFrame* f, bool force);
    int64_t FramePtsMs(const AVFrame* f) const;
    int64_t PacketPtsMs(const AVPacket* pkt) const;

    std::shared_ptr<Player> p;
    std::shared_ptr<PlayerRun> run;
    LumoAVInterrupt& intr;
    std::shared_ptr<VideoFrameSink> sink;  // the player's, as it was at the last file open

    MediaFile mf;
    PictureOut picture;
    lumoav::SwrPtr swr;
    int swrInRate = 0, swrInFmt = -1;
    AVChannelLayout swrInLayout{};
    std::unique_ptr<AudioOut> audio;
    bool audioTried = false;
    lumoav::PacketPtr pkt = lumoav::MakePacket();
    lumoav::FramePtr frm = lumoav::MakeFrame();

    // The clock: wall time anchorWallUs shows media time anchorMediaMs at anchorSpeed.
    bool clockValid = false;
    int64_t anchorWallUs = 0, anchorMediaMs = 0;
    int anchorSpeed = 0;
    int64_t lastPresentUs = 0;
    int64_t lastPtsMs = 0;
    bool forcePresent = true;

    // Keeping real time (LeaveOut).
    bool lighter = false;           // the loop filter of a small view is skipped while behind
    bool skipToKey = false;         // whole frames are left out up to the next key frame
    int64_t onTimeSinceUs = 0;      // on time since then (0: behind)
    bool landingKey = false;        // the next picture is the key frame after a group was cut short
    int64_t keyMarginUs = 80000;    // how early to leave a group for its next key frame
    int64_t lastKeyMs = INT64_MIN;  // time of the last key frame read
    int64_t gopMs = 0;              // distance between the last two key frames (0: not known yet)

    // Video packets are held back until a key frame after an open or a seek: a decoder fed from
    // the middle of a group either shows nothing or shows garbage until the next one.
    bool waitKey = true;
    int heldBack = 0;

    // A file of the list gave a picture or sound since the list loop last went back to its head.
    bool roundOutput = false;

    bool seekActive = false;
    bool seekFirstFrame = false;
    bool seekFromStart = false;
    bool seekReopened = false;
    bool seekRestarted = false;  // a landing check started the seek over: drop what is in flight
    int64_t seekTargetMs = 0;
    int64_t seekFromMs = 0;
    int seekRetries = 0;
};

}  // namespace lumocore
