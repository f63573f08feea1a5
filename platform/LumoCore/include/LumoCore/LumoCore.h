// LumoCore: the media library. Record search, players (decode on their own thread, paint into
// a view's widget, sound through the default output), player tasks that keep the speed, and
// downloads that cut a time range of record files into a new file.
//
// Every handle is an opaque pointer. Every call accepts a null or closed handle and fails it
// (LUMO_ERR_PARAM or LUMO_ERR_STATE) without effect. Results: 0 success, negative failure.
// Every path and address given or returned (URIs, folders, saved files) is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LumoBase/LumoBase.h"
#include "LumoBase/LumoResult.h"
#include "LumoFS/LumoFS.h"

// ---------------------------------------------------------------------------------------------
// Result codes: the shared table in LumoBase/LumoResult.h.

// A readable text for a result code (English, for logs): LumoResultText.
const char* LumoCoreGetErrorText(int code);

// ---------------------------------------------------------------------------------------------
// Library life. Both are optional: the first player or search initialises what it needs.
int LumoCoreInitialize(const char* config);
int LumoCoreInvalidate();
// Timeouts for opening a source and for one read (milliseconds; defaults 5000 and 5000).
void LumoCoreSetTimeouts(int openMs, int readMs);
// Decoder threads per player. 0 (the default) shares the cores this process may use among the
// players decoding at the time a decoder opens (at least 1, at most 8 each); a player takes its
// new share at its next key frame when that number changes.
void LumoCoreSetDecoderThreads(int count);

// ---------------------------------------------------------------------------------------------
// Player state bits (LumoPlayerGetState).
enum {
    LUMO_STATE_BUSY = 0x01,     // opening or seeking: the playback time is not settled yet
    LUMO_STATE_PLAYING = 0x02,  // started and decoding
    LUMO_STATE_OPEN = 0x10,     // a source is open (kept at the end, with LUMO_STATE_END)
    LUMO_STATE_END = 0x20,      // the end of the list was reached
    LUMO_STATE_PAUSED = 0x40,   // paused (also after a frame step): the picture holds
};

// Events delivered to the attached callback: OnSignal(sender = player handle, code, p1, p2).
// They may come from the player's own thread; p1 is valid only during the call.
// Reports of a stopped player are not delivered: once LumoPlayerStop returns (whatever the
// thread, the player's own included), nothing more comes from the run it stopped.
enum {
    LUMO_EVENT_NEXT_FILE = 2116,  // moved on to the next file; p1: const CLumoFileDesc* now playing
    // The last file ended (or the list could not go on); p1 null; p2: (void*)(intptr_t) the
    // result of the last file that could not be played since the open (0 when all played).
    LUMO_EVENT_END_OF_LIST = 2118,
    // A file of the list could not be played (it is passed over); p1: const LumoFileFailedEvent*.
    // A file that opens but gives no picture and no sound from its start fails LUMO_ERR_NOFRAME.
    LUMO_EVENT_FILE_FAILED = 2119,
    LUMO_EVENT_LOGIN = 4101,  // stream open result; p1: const LumoLoginEvent*
    // A source opened by LumoPlayerOpen broke off while playing: a read failed (its server went
    // away, or stalled past the read timeout), or a live stream (rtsp, rtmp, rtp, udp, srt)
    // ended; p1: const LumoStreamLostEvent*. The end state and LUMO_EVENT_END_OF_LIST follow.
    // A player stopped by LumoPlayerStop raises nothing.
    LUMO_EVENT_STREAM_LOST = 4102,
};

struct LumoFileFailedEvent {
    const CLumoFileDesc* file;  // the file of the list
    int result;                 // why (a result code)
};

struct LumoStreamLostEvent {
    const char* url;  // the stream URL as given to LumoPlayerOpen
    int result;       // why: LUMO_ERR_TIMEOUT (stalled), LUMO_ERR_IO (closed or broken), ...
};

struct LumoLoginEvent {
    const char* url;  // the stream URL as given to LumoPlayerOpen
    int result;       // 0 success, else a result code
};

// File play modes (LumoPlayerSetPlayMode): what a player of a list does at the end of a file.
enum {
    LUMO_PLAYMODE_SINGLE = 0,       // stops at the end of the file (state OPEN | END)
    LUMO_PLAYMODE_SINGLE_LOOP = 1,  // plays the file again from its start
    LUMO_PLAYMODE_LIST = 2,         // goes on with the next file (LUMO_EVENT_NEXT_FILE); ends after the last
    LUMO_PLAYMODE_LIST_LOOP = 3,    // after the last file, the head again (LUMO_EVENT_NEXT_FILE)
};

// Speed codes: 1 normal; 2, 4, 8, 16 that many times faster; -2, -4, -8, -16 for 1/2 to 1/16.
enum {
    LUMO_SPEED_NORMAL = 1,
    LUMO_SPEED_FASTEST = 16,
    LUMO_SPEED_SLOWEST = -16,
};
// True for the nine codes above.
bool LumoSpeedIsValid(int code);

// Snapshot picture formats.
enum {
    LUMO_PICTURE_JPEG = 3,
    LUMO_PICTURE_BMP = 35,
};

// Display scale modes (LumoPlayerSetDisplayScale).
enum {
    LUMO_SCALE_FILL = 0,    // stretch over the whole view
    LUMO_SCALE_RATIO = 1,   // fit the given width/height ratio
    LUMO_SCALE_ORIGIN = 2,  // fit the video's own ratio (the default)
};

// ---------------------------------------------------------------------------------------------
// Player task: holds the play speed of the players made on it; survives their stop and replay.
// `size` is the number of files a player of the task may hold in its list (1 to 256).
int LumoPlayerTaskCreate(void** task, int size);
int LumoPlayerTaskDelete(void* task);
// The task's speed code; 1 for a null task.
int LumoPlayerTaskGetSpeed(void* task);
// Sets a speed code (LUMO_ERR_PARAM for a code that is not one of the nine); players of the
// task follow at once.
int LumoPlayerTaskSetSpeed(void* task, int code);

// ---------------------------------------------------------------------------------------------
// Player. `window` is the widget the frames go to: one that implements lumocore::FrameSinkHost
// (LumoCore/framesink.h), as the player window of an INFRA::VideoGrid does; its frame sink is
// taken at once. A null window, or one that is no frame-sink host, gives a player that decodes
// without showing. The media library makes no window of its own.
// A null task gives the player a task of its own.
// Decoding runs on the player's own thread below the GUI's priority; a view that falls behind at
// normal speed or slower leaves pictures out (non-reference ones first, then the rest of a group
// up to its next key frame) to keep real time, and a picture is converted only once the window
// has painted the one before.
int LumoPlayerCreate(void** player, void* window, void* task);
// Event sink (one; a second attach replaces the first).
int LumoPlayerAttachStream(void* player, ILumoCallback* callback, LumoSignalMember member);
int LumoPlayerDetachStream(void* player, ILumoCallback* callback, LumoSignalMember member);
// Events reach the sink only while listening (on 1); 0 when the player is live.
int LumoPlayerListen(void* player, int on);

// Opens a list of record files (copied; the caller keeps its list). URIs:
//   "filer://local/type=rec&format=<ext>&filename=<path>",
//   "lumofs://local/disk=<d>&path=<dir>&filename=<name>", "file:<path>" or a plain path.
// The head file is opened at once: when it cannot be, its error is returned and nothing is open.
// Descriptors without times are probed (see LumoRecordProbeDesc). A later file that cannot be
// opened when it is reached is reported (LUMO_EVENT_FILE_FAILED) and skipped. The player is then
// open at the head, not yet started; playback starts at the first frame of the head file.
int LumoPlayerOpenFile(void* player, CLumoFileDescList* list);
// Test seam: called at the start of every LumoPlayerOpenFile with a valid player and list, on the
// calling thread, with the head file's URI (a test may block there to stand for a slow source).
// Null removes it.
typedef void (*LumoPlayerOpenHook)(const char* headUri);
void LumoPlayerSetOpenHook(LumoPlayerOpenHook hook);
// Opens one stream or file URL (rtsp://, http://, a path) when the player starts; the outcome
// comes as LUMO_EVENT_LOGIN (and, on failure, the end state with LUMO_EVENT_END_OF_LIST).
// A URL of a scheme this build has no protocol for is accepted here and fails at the start the
// same way, with LUMO_ERR_UNSUPPORTED. flags: 0. LUMO_ERR_PARAM for an empty or malformed URL.
int LumoPlayerOpen(void* player, const char* url, int flags);
// Adds files at the end of the open list / removes those whose URI matches (not the playing one).
int LumoPlayerAddFile(void* player, CLumoFileDescList* list);
int LumoPlayerDeleteFile(void* player, CLumoFileDescList* list);

int LumoPlayerStart(void* player);
// Stops decoding and forgets the list; the handle stays usable for a later open.
int LumoPlayerStop(void* player);
// Frees the player. The handle value is dead afterwards: later calls with it fail harmlessly.
int LumoPlayerClose(void* player);

int LumoPlayerPause(void* player);
int LumoPlayerResume(void* player);
// One frame forward; leaves the player paused.
int LumoPlayerStep(void* player);
// Speed of this player (its task's speed when it has one).
int LumoPlayerSetSpeed(void* player, int code);
int LumoPlayerGetSpeed(void* player, int* code);
// File play mode (LUMO_PLAYMODE_*; LUMO_PLAYMODE_LIST for a new player); kept across opens and
// followed from the next end of a file. A loop whose files give no picture and no sound ends.
int LumoPlayerSetPlayMode(void* player, int mode);
int LumoPlayerGetPlayMode(void* player, int* mode);
// Volume 0 to 100 (0 mutes).
int LumoPlayerSetVolume(void* player, int volume);
int LumoPlayerGetVolume(void* player, int* volume);
int LumoPlayerSetDisplayScale(void* player, int mode, float ratio);

// Seeks to an absolute record time (descriptor start + position) within the list; the next
// picture is the frame shown at that time.
int LumoPlayerSeekTime(void* player, const CLumoTime* time);
inline int LumoPlayerSeekTime(void* player, const CLumoTime& time) {
    return LumoPlayerSeekTime(player, &time);
}
// Jumps to the start of the list's file whose URI equals desc's.
int LumoPlayerSeekFile(void* player, const CLumoFileDesc* desc);

// State bits (0 for a player with nothing open). Writes 0 and fails for a null handle.
int LumoPlayerGetState(void* player, int* state);
inline int LumoPlayerGetState(void* player, unsigned* state) {
    return LumoPlayerGetState(player, reinterpret_cast<int*>(state));
}
// The record time of the picture shown (absolute: descriptor start + position).
int LumoPlayerGetPlaybackTime(void* player, CLumoTime* time);
// The file now playing (copied into *desc).
int LumoPlayerGetCurrentFile(void* player, CLumoFileDesc* desc);
// The result of the last file of the list that could not be played since the open (0: none).
int LumoPlayerGetError(void* player, int* result);
// Size of the video being played.
int LumoPlayerGetVideoSize(void* player, int* width, int* height);
// Counters since the last open.
struct LumoPlayerStats {
    uint64_t framesDecoded = 0;    // video frames out of the decoder
    uint64_t framesPresented = 0;  // pictures handed to the window
    int64_t firstFrameUs = -1;     // from the open call to the first decoded frame (-1: none yet)
    uint64_t framesPainted = 0;    // pictures handed over that the window painted (or cleared)
    // Decoded frames not converted: the window had not painted the picture before (or, in fast
    // forward, more than a screen shows).
    uint64_t framesDropped = 0;
    uint64_t framesSkipped = 0;  // frames not even decoded, to keep real time when decoding lags
    int decoderThreads = 0;      // threads the video decoder of the file now playing uses
    // Decode threads of this player running now: 1 while started, 0 after the stop (a stop from
    // the player's own report ends its thread as soon as the report returns).
    int decodeThreads = 0;
};
int LumoPlayerGetStats(void* player, LumoPlayerStats* stats);
// Repaints the window (a frame-sink host; null: the player's own).
int LumoPlayerRefresh(void* player, void* window, int flags);

// Saves the last decoded picture at the video's own size. target:
// "filew://local/type=pic&format=<jpg|bmp>&pathname=<folder>" (the folder is created; a
// backslash is taken as '/'); format: LUMO_PICTURE_JPEG or LUMO_PICTURE_BMP (it decides the file type).
// savedPath receives the file (UTF-8).
int LumoPlayerSnapshot(void* player, int reserved, const CLumoString& target, CLumoString* savedPath,
                       int format);

// ---------------------------------------------------------------------------------------------
// Record search over the recording engine's index: url "lumofs://localhost/media".
// Create fails with LUMO_ERR_BADPARAM for a null param, an empty time, an end before the start
// or no channel bit in any stream; with LUMO_ERR_UNSUPPORTED for another URL.
int LumoMediaSearchCreate(void** search, const char* url, ILumoFSSearchParam* param, int reserved1,
                          int reserved2);
// Appends up to `max` (1 to 256; more is taken as 256) descriptors; the number appended (> 0),
// or LUMO_ERR_NOMORE when nothing is left, or another negative error.
int LumoMediaSearchNext(void* search, CLumoFileDescList* list, int max);
int LumoMediaSearchDelete(void* search);
// One-shot search of one recorder disk (by name) into `found`; 0 with files, LUMO_ERR_NOMORE when
// none matched, LUMO_ERR_BADPARAM for bad criteria.
int LumoMediaSearch(const char* disk, ILumoFSSearchParam* param, CLumoFileDescList* found, unsigned flag,
                    int reserved1, int reserved2);

// A disk name starting with '/' is a recorder disk found by LumoDiskSearch (its mount point): its
// block folders are read directly. Each descriptor's URI is
// "lumofs://local/disk=<name>&path=<block folder>&filename=<record file>", the block folder being
// absolute; a file's end is the next file's start in its block (same channel and stream), or for
// the last one its last change, never before its start. LUMO_ERR_NOTFOUND when the folder bears
// no recorder mark; LUMO_ERR_IO when it cannot be read. `found` is appended to only on success.
//
// Test seam: replaces the engine's index search (null restores it). Same contract as
// LumoSRSearchFiles.
typedef int (*LumoMediaSearchSource)(const ILumoFSSearchParam* param, uint64_t* cursor,
                                     CLumoFileDescList* out, int max);
void LumoMediaSearchSetSource(LumoMediaSearchSource source);

// ---------------------------------------------------------------------------------------------
// Recorder disks: recording-engine disks at the root of a mounted removable drive (a drive whose
// /sys/block entry is removable, or that hangs off a USB bus), recognised by the mark file
// LUMO_RECORDER_DISK_MARK in the mount root. Names are the mount points (UTF-8).
#define LUMO_RECORDER_DISK_MARK "index.bin"

// A list of 8-bit texts (the disk search's names). The block is a growth hint.
class CLumoList {
public:
    explicit CLumoList(int block = 10) { m_items.reserve(block > 0 ? static_cast<size_t>(block) : 0); }
    void AddTail(const char* text) { m_items.emplace_back(text ? text : ""); }
    int GetCount() const { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    // Null outside 0..count-1.
    const char* GetAt(int i) const {
        return i >= 0 && i < GetCount() ? m_items[static_cast<size_t>(i)].c_str() : nullptr;
    }
    void RemoveAll() { m_items.clear(); }

private:
    std::vector<std::string> m_items;
};

// url: "lumofs://local/" (LUMO_ERR_UNSUPPORTED for another). disks may be null here.
int LumoDiskSearchCreate(void** search, const char* url, CLumoList* disks);
// Appends the recorder disks found now, in mount order; 0 (also when none is found), or a
// negative code when the system tables cannot be read. Reads files only: no disk is checked,
// repaired or mounted.
int LumoDiskSearch(void* search, CLumoList* disks);
int LumoDiskSearchDelete(void* search);
// Test seam: the sysfs folder (default "/sys") and the mount table (default
// "/proc/self/mountinfo") the search reads; null restores the default. The environment variables
// LUMO_DISK_SYSFS_ROOT and LUMO_DISK_MOUNTINFO, when set, replace the defaults for a whole run.
void LumoDiskSearchSetRoots(const char* sysfsRoot, const char* mountinfoPath);

// ---------------------------------------------------------------------------------------------
// Download: copies (remuxes, no re-encoding) a list of record files, or a time range of one,
// into one file. url: "filew://local/type=rec&format=<dav|avi|mp4>&pathname=<folder>[&filename=<name>]";
// without a file name the first descriptor's save-file name is used, else one is made from the
// first file's name and times. "dav" output is an MPEG-TS stream. A descriptor URI may end in
// "&from=<ISO 8601 time>&len=<seconds>" to cut that range. The folder is created.
// The written file takes its name only when it is complete (it is written as "<name>.part",
// which the open reserves, so several downloads open at once each have a file of their own); an
// existing file or ".part" is never overwritten or reused: the new one is numbered
// "<name>(1).<ext>" and so on. A failed or stopped download leaves no file, and a full disk (or
// the process's file-size limit) ends it with LUMO_ERR_DISKFULL. Each handle is independent:
// any number of downloads may run at once. Video and audio are copied when the container can
// carry them; a later file joins with the streams that match the first file's.
enum {
    LUMO_DOWNLOAD_RUNNING = 0x01,
    LUMO_DOWNLOAD_FINISHED = 0x20,  // ended (result in the result/error out value)
};
// The attached handler is called once when the download ends, on its thread:
// handler(owner, LUMO_DOWNLOAD_FINISHED, download handle, (void*)(intptr_t)result, null).
// Test seam: writing more than `bytes` fails as a full disk would (0: no limit).
void LumoDownloadSetSpaceLimit(uint64_t bytes);
int LumoDownloadOpenFile(void** download, const char* url, CLumoFileDescList* list);
int LumoDownloadAttachStream(void* download, CLumoObject* owner, LumoCallbackHandler handler);
// Detach after the download ended (LUMO_ERR_STATE while it runs): it waits for an end report
// under way, and once it returns no report reaches the owner.
int LumoDownloadDetachStream(void* download, CLumoObject* owner, LumoCallbackHandler handler);
int LumoDownloadSetKey(void* download, const char* key1, const char* key2, const char* key3);
int LumoDownloadStart(void* download, int flags = 0);
// flags: LUMO_DOWNLOAD_* bits; result: 0 while running or when done well, else the error
// (LUMO_ERR_DISKFULL when the disk filled); percent 0 to 100; bytes written so far.
int LumoDownloadGetProgressEx(void* download, int* flags, int* result, int* percent, uint64_t* bytes);
int LumoDownloadGetProgress(void* download, int* state, int* error, int* progress);
// The rate of the last half second or more of writing, in bits per second (0 once ended).
int LumoDownloadGetBitrate(void* download, unsigned* bitsPerSecond);
// The written file's path (final once the download has finished well).
int LumoDownloadGetFileName(void* download, CLumoString* path);
int LumoDownloadStop(void* download);
int LumoDownloadClose(void* download);
