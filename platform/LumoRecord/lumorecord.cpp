#include <QDateTime>
#include <QString>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "LumoBase/LumoResult.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoFS/LumoRecordSource.h"
#include "LumoRecord/LumoRecord.h"
#include "LumoRecord/avopen.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/time.h>
}

namespace {

const int kProbeTimeoutMs = 5000;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool StartsWith(const std::string& s, const char* prefix) {
    size_t n = std::strlen(prefix);
    return s.size() >= n && Lower(s.substr(0, n)) == prefix;
}

std::string FixSlashes(std::string p) {
    // Paths written the other platform's way ("\home\u\a.dav", "C:\rec\a.dav") come with
    // backslashes only; a path that already has a '/' keeps its backslashes as name characters.
    if (p.find('/') == std::string::npos && p.find('\\') != std::string::npos)
        for (char& c : p)
            if (c == '\\') c = '/';
    return p;
}

bool IsNetworkScheme(const std::string& lower) {
    static const char* schemes[] = {"rtsp://", "rtsps://", "rtmp://", "http://", "https://",   "tcp://",
                                    "udp://",  "rtp://",   "srt://",  "mms://",  "hls+http://"};
    for (const char* s : schemes)
        if (StartsWith(lower, s)) return true;
    return false;
}

// A local path is the file system's bytes, which need not be UTF-8: it is looked at as it is,
// never through a QString, which would turn such a name into another that does not exist.
bool StatPath(const std::string& path, struct stat* st) {
    return ::stat(path.c_str(), st) == 0;
}

int64_t FileMTimeMs(const std::string& path) {
    struct stat st;
    if (!StatPath(path, &st)) return 0;
    return int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// creation_time tag (UTC) as local epoch ms, when it lies in the range the engine's time word holds.
int64_t CreationTimeMs(AVFormatContext* ctx) {
    AVDictionaryEntry* e = av_dict_get(ctx->metadata, "creation_time", nullptr, 0);
    if (!e || !e->value) return 0;
    QDateTime t = QDateTime::fromString(QString::fromLatin1(e->value), Qt::ISODateWithMs);
    if (!t.isValid()) t = QDateTime::fromString(QString::fromLatin1(e->value), Qt::ISODate);
    if (!t.isValid()) return 0;
    if (t.date().year() < 2000 || t.date().year() > 2063) return 0;
    return t.toMSecsSinceEpoch();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

int LumoAVMapError(int averr, const LumoAVInterrupt* intr) {
    if (intr && intr->timedOut) return LUMO_ERR_TIMEOUT;
    if (averr == AVERROR_EXIT)
        return (intr && intr->abortFlag && intr->abortFlag->load()) ? LUMO_ERR_IO : LUMO_ERR_TIMEOUT;
    if (averr == AVERROR(ENOENT) || averr == AVERROR(ENOTDIR)) return LUMO_ERR_NOTFOUND;
    if (averr == AVERROR(ETIMEDOUT)) return LUMO_ERR_TIMEOUT;
    if (averr == AVERROR(ECONNREFUSED) || averr == AVERROR(EHOSTUNREACH) || averr == AVERROR(ENETUNREACH) ||
        averr == AVERROR(ECONNRESET) || averr == AVERROR_HTTP_NOT_FOUND || averr == AVERROR(EADDRNOTAVAIL))
        return LUMO_ERR_CONNECT;
    if (averr == AVERROR_INVALIDDATA || averr == AVERROR_DEMUXER_NOT_FOUND ||
        averr == AVERROR_STREAM_NOT_FOUND)
        return LUMO_ERR_FORMAT;
    if (averr == AVERROR_PROTOCOL_NOT_FOUND || averr == AVERROR_OPTION_NOT_FOUND) return LUMO_ERR_UNSUPPORTED;
    if (averr == AVERROR_DECODER_NOT_FOUND) return LUMO_ERR_NOVIDEO;
    return LUMO_ERR_IO;
}

int LumoAVOpenInput(AVFormatContext** out, const LumoRecordSource& src, LumoAVInterrupt* intr,
                    int timeoutMs) {
    if (!out) return LUMO_ERR_PARAM;
    *out = nullptr;
    if (src.path.empty()) return LUMO_ERR_PARAM;
    if (!src.isNetwork) {
        struct stat st;
        if (!StatPath(src.path, &st) || S_ISDIR(st.st_mode)) return LUMO_ERR_NOTFOUND;
        if (::access(src.path.c_str(), R_OK) != 0) return LUMO_ERR_IO;
        if (st.st_size == 0) return LUMO_ERR_EMPTY;
    }
    AVDictionary* opts = nullptr;
    if (src.isNetwork) {
        // Socket-level limits as well, for protocols that check them between interrupt polls.
        std::string us = std::to_string(int64_t(timeoutMs > 0 ? timeoutMs : kProbeTimeoutMs) * 1000);
        av_dict_set(&opts, "rw_timeout", us.c_str(), 0);
        if (StartsWith(Lower(src.path), "rtsp")) {
            av_dict_set(&opts, "rtsp_transport", "tcp", 0);
            av_dict_set(&opts, "timeout", us.c_str(), 0);
        }
    }
    // Cap the probing of damaged or strange files: enough for record files, never minutes.
    LumoAVOpenLimits limits;
    limits.timeoutMs = timeoutMs;
    limits.probeBytes = 5 * 1024 * 1024;
    limits.analyzeUs = 5 * AV_TIME_BASE;
    AVFormatContext* ctx = nullptr;
    LumoAVOpenStep step = LUMOAV_OPEN_OK;
    int r = LumoAVOpenDemuxer(&ctx, src.path, &opts, intr, limits, &step);
    av_dict_free(&opts);
    if (r < 0) {
        int code = LumoAVMapError(r, intr);
        return step == LUMOAV_STREAM_INFO_FAILED && code == LUMO_ERR_IO ? LUMO_ERR_FORMAT : code;
    }
    bool any = false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        AVCodecParameters* p = ctx->streams[i]->codecpar;
        if ((p->codec_type == AVMEDIA_TYPE_VIDEO && p->width > 0) || p->codec_type == AVMEDIA_TYPE_AUDIO)
            any = true;
    }
    if (!any) {
        avformat_close_input(&ctx);
        return LUMO_ERR_FORMAT;
    }
    if (intr) intr->Disarm();
    *out = ctx;
    return 0;
}

// ---------------------------------------------------------------------------------------------

namespace {

// A clip range rides at the end of any address: "...&from=<ISO 8601>&len=<seconds>". Split off
// here for what is not a record address (those carry it as two of their parameters).
bool SplitRange(std::string* s, LumoRecordSource* out) {
    const size_t from = s->rfind("&from=");
    if (from == std::string::npos) return false;
    const size_t len = s->find("&len=", from);
    if (len == std::string::npos) return false;
    CLumoTime t;
    if (!t.ParseISO8601(s->substr(from + 6, len - from - 6).c_str())) return false;
    const std::string secs = s->substr(len + 5);
    char* end = nullptr;
    const long long n = std::strtoll(secs.c_str(), &end, 10);
    if (secs.empty() || !end || *end != '\0' || n < 0) return false;
    out->hasRange = true;
    out->from = t;
    out->lengthSec = n;
    s->erase(from);
    return true;
}

void TakeRange(const LumoRecordAddress& a, LumoRecordSource* out) {
    if (!a.Has("from") || !a.Has("len")) return;
    CLumoTime t;
    const std::string secs = a.Get("len");
    char* end = nullptr;
    const long long n = std::strtoll(secs.c_str(), &end, 10);
    if (!t.ParseISO8601(a.Get("from").c_str()) || secs.empty() || !end || *end != '\0' || n < 0) return;
    out->hasRange = true;
    out->from = t;
    out->lengthSec = n;
}

// The file a record address names, or false when it names none.
bool PathOfRecordAddress(const LumoRecordAddress& a, std::string* path) {
    if (a.GetScheme() == LumoRecordAddress::SCHEME_FILER ||
        a.GetScheme() == LumoRecordAddress::SCHEME_FILEW) {
        *path = FixSlashes(a.Get("filename"));
        return !path->empty();
    }
    // lumofs: an absolute file or folder is a recorder disk mounted here; a block name is one of
    // the recording engine's disks, found through the record source it registered.
    const std::string file = FixSlashes(a.Get("filename"));
    const std::string dir = FixSlashes(a.Get("path"));
    CLumoString resolved;
    if (!file.empty() && file[0] == '/') {
        *path = file;
    } else if (!dir.empty() && dir[0] == '/') {
        *path = dir + (dir.back() == '/' ? "" : "/") + file;
    } else {
        LumoRecordAddress plain =
            LumoRecordAddress::DiskRecord(a.Get("disk"), a.Get("path"), a.Get("filename"));
        if (LumoFSResolveRecord(plain.Build().c_str(), &resolved) == 0)
            *path = resolved.Str();
        else if (!dir.empty())
            *path = dir + "/" + file;
        else
            *path = file;
    }
    return !path->empty();
}

}  // namespace

int LumoRecordParseUri(const char* uri, LumoRecordSource* out) {
    if (!uri || !*uri || !out) return LUMO_ERR_PARAM;
    *out = LumoRecordSource();
    std::string s(uri);

    if (LumoRecordAddress::HasRecordScheme(s)) {
        LumoRecordAddress a;
        if (!LumoRecordAddress::Parse(s, &a) || !PathOfRecordAddress(a, &out->path)) return LUMO_ERR_PARAM;
        TakeRange(a, out);
        out->format = Lower(a.Get("format"));
    } else {
        SplitRange(&s, out);
        const std::string lower = Lower(s);
        if (StartsWith(lower, "file://")) {
            std::string rest = s.substr(7);
            // file:///path and file://localhost/path
            if (StartsWith(Lower(rest), "localhost/")) rest = rest.substr(9);
            out->path = FixSlashes(rest);
        } else if (StartsWith(lower, "file:")) {
            out->path = FixSlashes(s.substr(5));
        } else if (IsNetworkScheme(lower)) {
            out->path = s;
            out->isNetwork = true;
        } else if (lower.find("://") != std::string::npos) {
            return LUMO_ERR_PARAM;
        } else {
            out->path = FixSlashes(s);
        }
    }
    if (out->path.empty()) return LUMO_ERR_PARAM;
    if (out->format.empty() && !out->isNetwork) {
        size_t dot = out->path.find_last_of('.');
        size_t slash = out->path.find_last_of('/');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            out->format = Lower(out->path.substr(dot + 1));
    }
    return 0;
}

std::string LumoRecordUriParam(const std::string& uri, const char* key) {
    LumoRecordAddress a;
    if (!key || !LumoRecordAddress::Parse(uri, &a)) return std::string();
    return a.Get(key);
}

int LumoRecordCodecFromAV(int id) {
    return LumoAVCodecCode(id);
}

void LumoAVFillDesc(CLumoFileDesc* desc, AVFormatContext* ctx, const std::string& path) {
    if (!desc || !ctx) return;
    LumoRecordSource src;
    src.path = path;
    int v = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int a = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    uint8_t vc = LUMO_CODEC_NONE, ac = LUMO_CODEC_NONE;
    if (v >= 0) {
        AVStream* st = ctx->streams[v];
        vc = static_cast<uint8_t>(LumoAVCodecCode(st->codecpar->codec_id));
        desc->SetResolution(static_cast<uint16_t>(st->codecpar->width),
                            static_cast<uint16_t>(st->codecpar->height));
        AVRational fr = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        desc->SetFrameRate(fr.num > 0 && fr.den > 0 ? static_cast<int>(av_q2d(fr) + 0.5) : -1);
    } else {
        desc->SetResolution(0, 0);
        desc->SetFrameRate(-1);
    }
    if (a >= 0) ac = static_cast<uint8_t>(LumoAVCodecCode(ctx->streams[a]->codecpar->codec_id));
    desc->SetCodecs(vc, ac);

    int64_t durationMs = 0;
    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0)
        durationMs = ctx->duration / 1000;
    else if (v >= 0 && ctx->streams[v]->duration != AV_NOPTS_VALUE)
        durationMs = av_rescale_q(ctx->streams[v]->duration, ctx->streams[v]->time_base, AVRational{1, 1000});

    if (desc->GetTimeS().IsEmpty()) {
        int64_t startMs = CreationTimeMs(ctx);
        if (startMs == 0) {
            // No absolute time in the file: it ended when it was last written.
            int64_t mtime = FileMTimeMs(src.path);
            startMs = mtime > durationMs ? mtime - durationMs : mtime;
        }
        // Whole seconds, so that the time word and the descriptor agree.
        startMs -= startMs % 1000;
        CLumoTime ts = CLumoTime::FromEpochMs(startMs);
        CLumoTime te = CLumoTime::FromEpochMs(startMs + durationMs);
        desc->SetTimeS(ts);
        desc->SetTimeE(te);
    } else if (desc->GetTimeE().IsEmpty() || desc->GetTimeE() < desc->GetTimeS()) {
        CLumoTime te = desc->GetTimeS();
        te.Add(durationMs);
        desc->SetTimeE(te);
    }
}

int LumoRecordProbeDesc(CLumoFileDesc* desc) {
    if (!desc) return LUMO_ERR_PARAM;
    LumoRecordSource src;
    if (LumoRecordParseUri(desc->GetURI(), &src) != 0) return LUMO_ERR_PARAM;
    if (src.isNetwork) return LUMO_ERR_UNSUPPORTED;

    struct stat st;
    if (StatPath(src.path, &st) && S_ISREG(st.st_mode)) desc->SetSize(static_cast<uint64_t>(st.st_size));

    LumoAVInterrupt intr;
    AVFormatContext* ctx = nullptr;
    int r = LumoAVOpenInput(&ctx, src, &intr, kProbeTimeoutMs);
    if (r != 0) return r;

    LumoAVFillDesc(desc, ctx, src.path);
    avformat_close_input(&ctx);
    return 0;
}

int LumoRecordGetFileDesc(CLumoFileDescList* list) {
    if (!list) return LUMO_ERR_PARAM;
    int first = 0;
    for (CLumoFileDesc* d : *list) {
        int r = LumoRecordProbeDesc(d);
        if (r != 0 && first == 0) first = r;
    }
    return first;
}
