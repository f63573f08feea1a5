// The players' C interface. Calls only post commands (under Player::m) and read what the decode
// thread publishes; the one that waits is a stop, for the decode thread of the run it ends (never
// when it is that thread). Nothing here waits on the GUI thread.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QObject>
#include <algorithm>
#include <cctype>
#include <cstring>

extern "C" {
#include <libavutil/time.h>
}

#include "pictureout.h"
#include "player.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoRecord/avopen.h"
#include "LumoCore/framesink.h"

namespace lumocore {

namespace {

int64_t NowUs() {
    return av_gettime_relative();
}

HandleRegistry<Player>& Players() {
    static HandleRegistry<Player> r;
    return r;
}

// The frame sink of the window a player was given: the display layer's widget implements
// FrameSinkHost. Anything else gives no sink: the player decodes without showing.
std::shared_ptr<VideoFrameSink> SinkOfWindow(void* window) {
    auto* host = dynamic_cast<FrameSinkHost*>(static_cast<QObject*>(window));
    return host ? host->FrameSink() : nullptr;
}

// Takes the current run out of the player and raises its stop; the caller ends its thread.
std::shared_ptr<PlayerRun> TakeRunLocked(Player* p) {
    std::shared_ptr<PlayerRun> r = std::move(p->run);
    p->run.reset();
    if (r) r->abort = true;
    return r;
}

void EndRunThread(const std::shared_ptr<PlayerRun>& r) {
    if (!r || !r->thread.joinable()) return;
    // A report that stops its own player runs on the run's thread: that thread is let go and ends
    // by itself as soon as the report returns (it holds its own references).
    if (r->thread.get_id() == std::this_thread::get_id())
        r->thread.detach();
    else
        r->thread.join();
}

// Where a time of the list falls: the file and the offset into it. A play list may mix files of
// any times in any order (local files may even overlap), so the file playing now (`current`, -1
// for none) wins when it holds the time, then the first file that holds it; only a time that no
// file holds goes by the list's order (the start of the first file after it, or the end of the
// last).
bool LocateTime(const std::vector<CLumoFileDesc>& files, const CLumoTime& t, int current, int* file,
                int64_t* offsetMs) {
    if (files.empty()) return false;
    const auto holds = [&t](const CLumoFileDesc& d) {
        return !d.GetTimeS().IsEmpty() && !(t < d.GetTimeS()) && (d.GetTimeE().IsEmpty() || !(d.GetTimeE() < t));
    };
    if (current >= 0 && current < int(files.size()) && holds(files[size_t(current)])) {
        *file = current;
        *offsetMs = std::max<int64_t>(0, CLumoTime::GetTimeSpan(t, files[size_t(current)].GetTimeS()));
        return true;
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (holds(files[i])) {
            *file = int(i);
            *offsetMs = std::max<int64_t>(0, CLumoTime::GetTimeSpan(t, files[i].GetTimeS()));
            return true;
        }
    }
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

struct SnapshotTarget {
    QString folder;
    std::string format;
};

// "filew://local/type=pic&format=<jpg|bmp>&pathname=<folder>", as the widgets build it.
bool ParseSnapshotTarget(const std::string& url, SnapshotTarget* out) {
    LumoRecordAddress a;
    if (!LumoRecordAddress::Parse(url, &a) || a.GetScheme() != LumoRecordAddress::SCHEME_FILEW) return false;
    std::string folder = a.Get("pathname");
    // A folder written with backslashes only is one written the other platform's way.
    if (folder.find('/') == std::string::npos) std::replace(folder.begin(), folder.end(), '\\', '/');
    out->folder = QString::fromUtf8(folder.c_str());
    out->format = a.Get("format");
    for (char& c : out->format) c = char(std::tolower(static_cast<unsigned char>(c)));
    return !out->folder.isEmpty();
}

}  // namespace

std::shared_ptr<Player> GetPlayer(void* h) {
    return h ? Players().Get(h) : nullptr;
}

std::shared_ptr<VideoFrameSink> Player::Sink() const {
    std::lock_guard<std::mutex> lock(m_sinkMutex);
    return m_sink;
}

void Player::SetSink(std::shared_ptr<VideoFrameSink> sink) {
    std::lock_guard<std::mutex> lock(m_sinkMutex);
    m_sink = std::move(sink);
}

void Player::Emit(const PlayerRun& r, int code, void* p1, void* p2) {
    if (!listening) return;
    std::lock_guard<std::recursive_mutex> lock(m_cbMutex);
    if (r.abort) return;
    if (m_cb && m_member) (m_cb->*m_member)(handle, code, p1, p2);
}

int Player::Attach(ILumoCallback* callback, LumoSignalMember member) {
    std::lock_guard<std::recursive_mutex> lock(m_cbMutex);
    m_cb = callback;
    m_member = member;
    return LUMO_OK;
}

int Player::Detach(ILumoCallback* callback) {
    // Waits for a report being delivered: after this, the callback is never called again.
    std::lock_guard<std::recursive_mutex> lock(m_cbMutex);
    if (callback && m_cb != callback) return LUMO_ERR_PARAM;
    m_cb = nullptr;
    m_member = nullptr;
    return LUMO_OK;
}

void Player::StopRun() {
    std::shared_ptr<PlayerRun> r;
    {
        std::lock_guard<std::mutex> lock(m);
        r = TakeRunLocked(this);
        started = paused = ended = seekPending = busy = false;
        isUrl = false;
        steps = 0;
        files.clear();
        currentFile = 0;
        positionMs = 0;
    }
    cv.notify_all();
    EndRunThread(r);
    std::lock_guard<std::mutex> lock(frameMutex);
    lastFrame.reset();
}

}  // namespace lumocore

using namespace lumocore;

// ---------------------------------------------------------------------------------------------

int LumoPlayerCreate(void** player, void* window, void* task) {
    if (!player) return LUMO_ERR_PARAM;
    static std::once_flag initOnce;
    std::call_once(initOnce, [] { LumoCoreInitialize(nullptr); });
    auto p = std::make_shared<Player>();
    if (task) {
        p->task = GetTask(task);
        if (!p->task) return LUMO_ERR_PARAM;
    }
    if (window) p->SetSink(SinkOfWindow(window));
    // Closed players whose window has gone, or whose window a newer player now uses, can never
    // be asked for anything useful again.
    auto sink = p->Sink();
    Players().RemoveIf([&sink](const std::shared_ptr<Player>& old) {
        if (!old->closed) return false;
        auto s = old->Sink();
        return !s || !s->IsAlive() || (sink && s == sink);
    });
    p->handle = Players().Add(p);
    *player = p->handle;
    return LUMO_OK;
}

int LumoPlayerAttachStream(void* player, ILumoCallback* callback, LumoSignalMember member) {
    auto p = GetPlayer(player);
    if (!p || !callback || !member) return LUMO_ERR_PARAM;
    return p->Attach(callback, member);
}

int LumoPlayerDetachStream(void* player, ILumoCallback* callback, LumoSignalMember) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    return p->Detach(callback);
}

int LumoPlayerListen(void* player, int on) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->run) return LUMO_ERR_STATE;
    p->listening = on != 0;
    return LUMO_OK;
}

// Installs a new run (the previous one, if another open came in between, is ended).
static void InstallRun(Player* p, std::shared_ptr<PlayerRun> r, std::vector<CLumoFileDesc> files, bool isUrl,
                       int64_t startUs) {
    std::shared_ptr<PlayerRun> old;
    {
        std::lock_guard<std::mutex> lock(p->m);
        old = TakeRunLocked(p);
        p->run = std::move(r);
        p->files = std::move(files);
        p->isUrl = isUrl;
        p->started = p->paused = p->ended = p->seekPending = p->busy = false;
        p->steps = 0;
        p->currentFile = 0;
        p->positionMs = 0;
        p->videoW = p->videoH = 0;
        p->lastError = LUMO_OK;
        p->stats = LumoPlayerStats();
        p->openStartUs = startUs;
        p->listening = true;
    }
    p->cv.notify_all();
    EndRunThread(old);
}

static std::atomic<LumoPlayerOpenHook> g_openHook{nullptr};

void LumoPlayerSetOpenHook(LumoPlayerOpenHook hook) {
    g_openHook = hook;
}

int LumoPlayerOpenFile(void* player, CLumoFileDescList* list) {
    auto p = GetPlayer(player);
    if (!p || !list || list->IsEmpty()) return LUMO_ERR_PARAM;
    if (LumoPlayerOpenHook hook = g_openHook.load()) hook(list->GetHead() ? list->GetHead()->GetURI() : "");
    const int64_t startUs = NowUs();
    p->StopRun();
    p->closed = false;
    std::vector<CLumoFileDesc> files;
    for (CLumoFileDesc* d : *list)
        if (d) files.push_back(*d);
    if (files.empty()) return LUMO_ERR_PARAM;

    LumoRecordSource src;
    if (LumoRecordParseUri(files[0].GetURI(), &src) != 0) return LUMO_ERR_PARAM;
    auto r = std::make_shared<PlayerRun>();
    AVFormatContext* raw = nullptr;
    const int rc = LumoAVOpenInput(&raw, src, &r->intr, GetSettings().openTimeoutMs.load());
    if (rc != 0) return rc;
    r->preopened.reset(raw);
    if (files[0].GetTimeS().IsEmpty()) LumoAVFillDesc(&files[0], raw, src.path);
    for (size_t i = 1; i < files.size(); ++i)
        if (files[i].GetTimeS().IsEmpty()) LumoRecordProbeDesc(&files[i]);
    InstallRun(p.get(), std::move(r), std::move(files), false, startUs);
    return LUMO_OK;
}

// "<scheme>://..." with a well-formed scheme name.
static bool HasUrlScheme(const char* url) {
    const char* sep = std::strstr(url, "://");
    if (!sep || sep == url || !std::isalpha(static_cast<unsigned char>(url[0]))) return false;
    for (const char* c = url; c < sep; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)) && *c != '+' && *c != '-' && *c != '.') return false;
    return sep[3] != '\0';
}

int LumoPlayerOpen(void* player, const char* url, int) {
    auto p = GetPlayer(player);
    if (!p || !url || !*url) return LUMO_ERR_PARAM;
    LumoRecordSource src;
    // A protocol we do not have is reported by the start, through the login event, as any other
    // stream that cannot be reached: the caller waiting for the login hears of it.
    if (LumoRecordParseUri(url, &src) != 0 && !HasUrlScheme(url)) return LUMO_ERR_PARAM;
    p->StopRun();
    p->closed = false;
    CLumoFileDesc d;
    d.SetURI(url);
    const CLumoTime now = CLumoTime::Now();
    d.SetTimeS(now);
    d.SetTimeE(now);
    InstallRun(p.get(), std::make_shared<PlayerRun>(), std::vector<CLumoFileDesc>(1, d), true, NowUs());
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
    if (!p->run || p->isUrl) return LUMO_ERR_STATE;
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
    if (!p->run || p->isUrl) return LUMO_ERR_STATE;
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
    if (!p->run) return LUMO_ERR_STATE;
    if (p->started) return LUMO_OK;
    p->decoding++;
    ActiveDecoders()++;
    try {
        p->run->thread = std::thread(&RunDecodeThread, p, p->run);
    } catch (const std::system_error&) {
        p->decoding--;
        ActiveDecoders()--;
        return LUMO_ERR_FAIL;
    }
    p->started = true;
    p->ended = false;
    return LUMO_OK;
}

int LumoPlayerStop(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    p->StopRun();
    if (auto sink = p->Sink()) sink->Refresh();
    return LUMO_OK;
}

int LumoPlayerClose(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    p->StopRun();
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
    if (!p->run) return LUMO_ERR_STATE;
    p->paused = true;
    p->steps = 0;
    p->cv.notify_all();
    return LUMO_OK;
}

int LumoPlayerResume(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->run) return LUMO_ERR_STATE;
    p->paused = false;
    p->steps = 0;
    p->cv.notify_all();
    return LUMO_OK;
}

int LumoPlayerStep(void* player) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->run || p->isUrl) return LUMO_ERR_STATE;
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

int LumoPlayerSetPlayMode(void* player, int mode) {
    auto p = GetPlayer(player);
    if (!p || mode < LUMO_PLAYMODE_SINGLE || mode > LUMO_PLAYMODE_LIST_LOOP) return LUMO_ERR_PARAM;
    p->playMode = mode;
    return LUMO_OK;
}

int LumoPlayerGetPlayMode(void* player, int* mode) {
    auto p = GetPlayer(player);
    if (!p || !mode) return LUMO_ERR_PARAM;
    *mode = p->playMode.load();
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
    if (auto sink = p->Sink()) sink->SetScale(mode, ratio);
    return LUMO_OK;
}

int LumoPlayerSeekTime(void* player, const CLumoTime* time) {
    auto p = GetPlayer(player);
    if (!p || !time || time->IsEmpty()) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->run || p->isUrl) return LUMO_ERR_STATE;
    int file = 0;
    int64_t offset = 0;
    // A player that ran off the end of its list plays nothing now: the list decides.
    if (!LocateTime(p->files, *time, p->ended ? -1 : p->currentFile, &file, &offset)) return LUMO_ERR_PARAM;
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
    if (!p->run || p->isUrl) return LUMO_ERR_STATE;
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
    if (!p->run) return LUMO_OK;
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
    if (!p->run || p->files.empty()) return LUMO_ERR_STATE;
    int idx = p->seekPending ? p->seekFile : p->currentFile;
    idx = std::max(0, std::min(idx, int(p->files.size()) - 1));
    const int64_t pos = p->seekPending ? p->seekOffsetMs : p->positionMs;
    CLumoTime t = p->files[size_t(idx)].GetTimeS();
    t.Add(pos);
    *time = t;
    return LUMO_OK;
}

int LumoPlayerGetCurrentFile(void* player, CLumoFileDesc* desc) {
    auto p = GetPlayer(player);
    if (!p || !desc) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->run || p->files.empty()) return LUMO_ERR_STATE;
    *desc = p->files[size_t(std::max(0, std::min(p->currentFile, int(p->files.size()) - 1)))];
    return LUMO_OK;
}

int LumoPlayerGetError(void* player, int* result) {
    if (result) *result = LUMO_OK;
    auto p = GetPlayer(player);
    if (!p || !result) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->run) return LUMO_ERR_STATE;
    *result = p->lastError;
    return LUMO_OK;
}

int LumoPlayerGetVideoSize(void* player, int* width, int* height) {
    auto p = GetPlayer(player);
    if (!p || !width || !height) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (!p->run) return LUMO_ERR_STATE;
    *width = p->videoW;
    *height = p->videoH;
    return (p->videoW > 0 && p->videoH > 0) ? LUMO_OK : LUMO_ERR_NOFRAME;
}

int LumoPlayerGetStats(void* player, LumoPlayerStats* stats) {
    auto p = GetPlayer(player);
    if (!p || !stats) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    *stats = p->stats;
    stats->decodeThreads = p->decoding.load();
    return LUMO_OK;
}

int LumoPlayerRefresh(void* player, void* window, int) {
    auto p = GetPlayer(player);
    if (!p) return LUMO_ERR_PARAM;
    if (window) {
        if (auto s = SinkOfWindow(window)) s->Refresh();
    }
    if (auto sink = p->Sink()) sink->Refresh();
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
    lumoav::FramePtr f = lumoav::MakeFrame();
    if (!f) return LUMO_ERR_FAIL;
    {
        std::lock_guard<std::mutex> lock(p->frameMutex);
        if (p->lastFrame && p->lastFrame->width > 0) av_frame_ref(f.get(), p->lastFrame.get());
    }
    if (f->width <= 0 || f->height <= 0) return LUMO_ERR_NOFRAME;
    // The picture at the video's own size, whatever the window shows, by the display's conversion.
    PictureConverter converter;
    const QImage img = converter.Convert(f.get());
    if (img.isNull()) return LUMO_ERR_FAIL;

    if (!QDir().mkpath(t.folder)) return LUMO_ERR_WRITE;
    const QString base =
        QDir(t.folder).filePath(QDateTime::currentDateTime().toString("'Snapshot_'yyyyMMdd_HHmmss_zzz"));
    QString path = base + "." + ext;
    for (int n = 1; QFileInfo::exists(path); ++n) path = QString("%1_%2.%3").arg(base).arg(n).arg(ext);
    QImageWriter writer(path, qfmt);
    if (std::strcmp(ext, "jpg") == 0) writer.setQuality(90);
    if (!writer.write(img)) {
        QFile::remove(path);
        return LUMO_ERR_WRITE;
    }
    if (savedPath) savedPath->Copy(path.toUtf8().constData());
    return LUMO_OK;
}
