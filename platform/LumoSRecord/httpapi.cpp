// The engine's HTTP API.
//
// Threads: every handler runs on one of httplib's worker threads, at the same time as the
// console's own calls. They reach the engine only through ApiContext (each call takes its own
// reference to the storage, which locks itself, see storage.cpp) and the account cache (which
// locks itself); a handler keeps no state between requests. The engine's per-thread last error is
// read on the handler's own thread right after the storage call that set it.
//
// Every answer that is not a record file is JSON; every refusal and failure is an HTTP error with
// a JSON body {"error", "code", "reason", "detail"}. Byte ranges are served here and never by
// httplib, whose own range code accepts several ranges and ranges past the end.
#include "httpapi.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LumoBase/LumoBase.h"
#include "LumoFS/LumoRecordAddress.h"
#include "lasterror.h"
#include "storage.h"
#include "wire.h"

namespace kesto {

const char* const kRecordsPrefix = "/records/";
const char* const kRangeHeader = "X-Lumo-Range";

namespace {

const char* const kJson = "application/json; charset=utf-8";  // never compressed by httplib
const size_t kMaxPathBytes = 1024;
const int kMaxPageFiles = 4096;
const int kDefaultTimeoutMs = 5000;
const int kMaxTimeoutMs = 60000;

void sendJson(httplib::Response& res, const QByteArray& body, int status = 200) {
    res.status = status;
    res.set_content(body.constData(), static_cast<size_t>(body.size()), kJson);
}

void sendError(httplib::Response& res, int status, const QString& text, int code,
               int reason = LUMOSR_REASON_NONE, const std::string& detail = std::string()) {
    // After a bad request the connection's framing cannot be trusted, and a refused guesser must
    // come back on a new connection: both end (the listener closes on this header).
    if ((status == 400 || status == 413 || status == 429) && !res.has_header("Connection"))
        res.set_header("Connection", "close");
    sendJson(res, wire::ErrorBody(text, code, reason, detail), status);
}

// The failure of an engine call, with the reason it left on this thread.
void sendEngineError(httplib::Response& res, int rc, const char* what) {
    sendError(res, HttpStatusOf(rc), QStringLiteral("%1 failed (%2)").arg(QLatin1String(what)).arg(rc), rc,
              LastErrorReason(), LastErrorDetail());
}

// The caller's time-out ("?timeoutMs="), within bounds.
int timeoutOf(const httplib::Request& req) {
    if (!req.has_param("timeoutMs")) return kDefaultTimeoutMs;
    bool ok = false;
    const int ms = QString::fromStdString(req.get_param_value("timeoutMs")).toInt(&ok);
    if (!ok || ms <= 0) return kDefaultTimeoutMs;
    return std::min(ms, kMaxTimeoutMs);
}

bool diskIdOf(const httplib::Request& req, int64_t* id) {
    if (req.matches.size() < 2) return false;
    bool ok = false;
    *id = QString::fromStdString(req.matches[1].str()).toLongLong(&ok);
    return ok;
}

// The engine's storage, or an error answer.
std::shared_ptr<Storage> storageOr503(const ApiContext& ctx, httplib::Response& res) {
    std::shared_ptr<Storage> s = ctx.storage ? ctx.storage() : nullptr;
    if (!s) sendError(res, 503, QStringLiteral("the engine is not initialised"), LUMOSR_ERR_STATE);
    return s;
}

bool parseBody(const httplib::Request& req, httplib::Response& res, QJsonObject* out, bool optional) {
    if (req.body.empty() && optional) return true;
    QJsonParseError err{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromRawData(req.body.data(), int(req.body.size())), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) {
        sendError(
            res, 400,
            err.error != QJsonParseError::NoError
                ? QStringLiteral("malformed JSON at offset %1: %2").arg(err.offset).arg(err.errorString())
                : QStringLiteral("the body is not a JSON object"),
            LUMOSR_ERR_PARAM);
        return false;
    }
    *out = doc.object();
    return true;
}

void getInfo(const httplib::Request&, httplib::Response& res, const ApiContext& ctx) {
    QJsonObject o;
    o.insert("service", "LumoSRecord");
    o.insert("api", 1);
    o.insert("initialised", bool(ctx.storage && ctx.storage()));
    sendJson(res, wire::Compact(o));
}

// A whole-list query of the storage answered as {"<key>": [one JSON value per row]}.
template <class Query, class ToJson>
void sendRows(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx, Query query,
              const char* what, const char* key, ToJson toJson) {
    std::shared_ptr<Storage> s = storageOr503(ctx, res);
    if (!s) return;
    IVantelList* list = nullptr;
    const int rc = ((*s).*query)(&list, timeoutOf(req));
    if (rc != LUMOSR_OK) return sendEngineError(res, rc, what);
    QJsonArray rows;
    for (IVantelData* row : list->GetTable()) rows.append(toJson(row));
    list->Release();
    QJsonObject o;
    o.insert(QLatin1String(key), rows);
    sendJson(res, wire::Compact(o));
}

void getDisks(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    sendRows(req, res, ctx, &Storage::DiskRows, "disk query", "disks",
             [](IVantelData* row) { return wire::DiskToJson(*static_cast<IKestoDiskInfo*>(row)); });
}

void getDiskStates(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    sendRows(req, res, ctx, &Storage::DiskRows, "disk query", "states",
             [](IVantelData* row) { return wire::DiskStateToJson(*static_cast<IKestoDiskInfo*>(row)); });
}

void getChannels(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    sendRows(req, res, ctx, &Storage::ChannelRows, "channel query", "channels",
             [](IVantelData* row) { return wire::ChannelToJson(*static_cast<IKestoChanInfo*>(row)); });
}

void getCuids(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    sendRows(req, res, ctx, &Storage::CuidRows, "camera identity query", "cuids", [](IVantelData* row) {
        return QJsonValue(QString::fromUtf8(static_cast<IVantelText*>(row)->GetText()));
    });
}

// One disk row (by number) or an error answer.
IKestoDiskInfo* diskRow(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    int64_t id = 0;
    if (!diskIdOf(req, &id)) {
        sendError(res, 400, QStringLiteral("not a disk number"), LUMOSR_ERR_PARAM);
        return nullptr;
    }
    std::shared_ptr<Storage> s = storageOr503(ctx, res);
    if (!s) return nullptr;
    IVantelList* list = nullptr;
    const int rc = s->DiskRows(&list, timeoutOf(req));
    if (rc != LUMOSR_OK) {
        sendEngineError(res, rc, "disk query");
        return nullptr;
    }
    IKestoDiskInfo* found = nullptr;
    for (IVantelData* row : list->GetTable())
        if (row->GetID() == id) {
            found = static_cast<IKestoDiskInfo*>(row);
            found->AddRef();
        }
    list->Release();
    if (!found)
        sendError(res, 404, QStringLiteral("no disk %1").arg(id), LUMOSR_ERR_NOTFOUND, LUMOSR_REASON_NO_DISK,
                  std::to_string(id));
    return found;
}

void getDisk(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    if (IKestoDiskInfo* row = diskRow(req, res, ctx)) {
        sendJson(res, wire::Compact(wire::DiskToJson(*row)));
        row->Release();
    }
}

void getDiskState(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    if (IKestoDiskInfo* row = diskRow(req, res, ctx)) {
        sendJson(res, wire::Compact(wire::DiskStateToJson(*row)));
        row->Release();
    }
}

void getBlocks(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    int64_t id = 0;
    if (!diskIdOf(req, &id))
        return sendError(res, 400, QStringLiteral("not a disk number"), LUMOSR_ERR_PARAM);
    std::shared_ptr<Storage> s = storageOr503(ctx, res);
    if (!s) return;
    IVantelList* list = IVantelList::CreateObject();
    ClearLastError();
    const int rc = s->BlockRows(id, list, timeoutOf(req));
    if (rc != LUMOSR_OK) {
        list->Release();
        return sendEngineError(res, rc, "block query");
    }
    QJsonArray blocks;
    for (IVantelData* row : list->GetTable())
        blocks.append(wire::BlockToJson(*static_cast<IKestoBlockInfo*>(row)));
    list->Release();
    QJsonObject o;
    o.insert("disk", double(id));
    o.insert("blocks", blocks);
    sendJson(res, wire::Compact(o));
}

void postSearch(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    QJsonObject body;
    if (!parseBody(req, res, &body, false)) return;
    ILumoFSSearchParam param(1);
    QString why;
    if (!wire::SearchParamFromJson(body, &param, &why)) return sendError(res, 400, why, LUMOSR_ERR_PARAM);
    uint64_t cursor = 0;
    const QJsonValue c = body.value("cursor");
    if (!c.isUndefined() && !wire::U64FromJson(c, &cursor))
        return sendError(res, 400, QStringLiteral("cursor is not a 64-bit number"), LUMOSR_ERR_PARAM);
    int max = kMaxPageFiles;
    const QJsonValue m = body.value("max");
    if (!m.isUndefined()) {
        if (!m.isDouble() || m.toInt(0) <= 0)
            return sendError(res, 400, QStringLiteral("max is not a positive number"), LUMOSR_ERR_PARAM);
        max = std::min(m.toInt(), kMaxPageFiles);
    }
    std::shared_ptr<Storage> s = storageOr503(ctx, res);
    if (!s) return;
    std::string answer;
    wire::SearchAnswerWriter writer(&answer);
    const int n = s->SearchEach(param, &cursor, max, timeoutOf(req), [&writer](const Storage::Found& f) {
        const RecordEntry* e = f.entry;
        writer.Add(wire::WireFile{f.diskName, int(e->block), &e->fileName, e->startMs, e->endMs, e->channel,
                                  e->stream, e->recordType, f.cuid, e->size, e->width, e->height,
                                  e->videoCodec, e->audioCodec, e->frameRate, f.diskNumber - 1,
                                  e->fileIndex});
    });
    if (n < 0) return sendEngineError(res, n, "search");
    // A full page may be followed by more; a short one is the last.
    writer.Finish(cursor, n > 0 && n >= max);
    res.status = 200;
    res.set_content(std::move(answer), kJson);
}

void postFormat(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    int64_t id = 0;
    if (!diskIdOf(req, &id))
        return sendError(res, 400, QStringLiteral("not a disk number"), LUMOSR_ERR_PARAM);
    QJsonObject body;
    if (!parseBody(req, res, &body, true)) return;
    const QJsonValue access = body.value("access");
    if (!access.isUndefined() && (!access.isDouble() || access.toInt(-1) != 0))
        return sendError(res, 400, QStringLiteral("access must be 0"), LUMOSR_ERR_PARAM);
    std::shared_ptr<Storage> s = storageOr503(ctx, res);
    if (!s) return;
    ClearLastError();
    const int rc = s->Format(id, timeoutOf(req));
    if (rc != LUMOSR_OK) return sendEngineError(res, rc, "format");
    QJsonObject o;
    o.insert("disk", double(id));
    o.insert("result", 0);
    sendJson(res, wire::Compact(o));
}

void getRecord(const httplib::Request& req, httplib::Response& res, const ApiContext& ctx) {
    // The path arrives decoded: "%2F" is a '/' here, so a name holding one does not split into
    // three parts, and each part must be a disk name, block name or record name as the engine
    // writes them (no '/', no "..").
    const std::string rest = req.path.substr(std::strlen(kRecordsPrefix));
    const size_t a = rest.find('/');
    const size_t b = a == std::string::npos ? a : rest.find('/', a + 1);
    if (a == std::string::npos || b == std::string::npos || rest.find('/', b + 1) != std::string::npos)
        return sendError(res, 404, QStringLiteral("not a record file: /records/<disk>/<block>/<file>"),
                         LUMOSR_ERR_NOTFOUND);
    std::shared_ptr<Storage> s = storageOr503(ctx, res);
    if (!s) return;
    int fd = -1;
    std::string why;
    const int rc =
        s->OpenRecordFile(rest.substr(0, a), rest.substr(a + 1, b - a - 1), rest.substr(b + 1), &fd, &why);
    if (rc != LUMOSR_OK) return sendError(res, HttpStatusOf(rc), QString::fromStdString(why), rc);
    std::shared_ptr<int> file(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return sendError(res, 500, QString::fromLocal8Bit(std::strerror(errno)), LUMOSR_ERR_IO);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    uint64_t first = 0, last = size ? size - 1 : 0;
    res.set_header("Accept-Ranges", "bytes");
    const std::string name = rest.substr(b + 1);
    const std::string ext = name.substr(name.rfind('.') + 1);
    const char* type = ext == "mp4" ? "video/mp4" : ext == "avi" ? "video/x-msvideo" : "video/mp2t";
    if (req.has_header(kRangeHeader)) {
        if (req.get_header_value_count(kRangeHeader) != 1 ||
            !ParseSingleRange(req.get_header_value(kRangeHeader), size, &first, &last)) {
            res.set_header("Content-Range", "bytes */" + std::to_string(size));
            return sendError(
                res, 416,
                QStringLiteral("the range cannot be served: one range within %1 bytes").arg(qulonglong(size)),
                LUMOSR_ERR_PARAM);
        }
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                            std::to_string(size));
    } else {
        res.status = 200;
    }
    const size_t length = size == 0 ? 0 : static_cast<size_t>(last - first + 1);
    res.set_content_provider(
        length, type, [file, first](size_t offset, size_t want, httplib::DataSink& sink) {
            char buf[64 * 1024];
            const size_t n = std::min(want, sizeof buf);
            const ssize_t got = ::pread(*file, buf, n, static_cast<off_t>(first + offset));
            // A file cut short under the reader ends the answer early; the client sees it as such.
            if (got <= 0) return false;
            return sink.write(buf, static_cast<size_t>(got));
        });
}

}  // namespace

int HttpStatusOf(int rc) {
    switch (rc) {
        case LUMOSR_OK:
            return 200;
        case LUMOSR_ERR_PARAM:
        case LUMO_ERR_BADPARAM:
            return 400;
        case LUMOSR_ERR_NOTFOUND:
            return 404;
        case LUMOSR_ERR_REFUSED:
            return 403;
        case LUMOSR_ERR_STATE:
            return 409;
        case LUMOSR_ERR_TIMEOUT:
            return 504;
        case LUMOSR_ERR_FULL:
            return 507;
        default:
            return 500;
    }
}

bool ParseSingleRange(const std::string& header, uint64_t size, uint64_t* first, uint64_t* last) {
    const std::string prefix = "bytes=";
    if (header.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string range = header.substr(prefix.size());
    const size_t dash = range.find('-');
    if (dash == std::string::npos || range.find_first_not_of("0123456789-") != std::string::npos ||
        range.find('-', dash + 1) != std::string::npos)
        return false;  // several ranges, spaces, signs
    const std::string a = range.substr(0, dash), b = range.substr(dash + 1);
    if ((a.empty() && b.empty()) || a.size() > 19 || b.size() > 19) return false;
    if (size == 0) return false;
    if (a.empty()) {  // the last n bytes
        const uint64_t n = std::stoull(b);
        if (n == 0) return false;
        *first = n >= size ? 0 : size - n;
        *last = size - 1;
        return true;
    }
    *first = std::stoull(a);
    if (*first >= size) return false;
    *last = b.empty() ? size - 1 : std::min<uint64_t>(std::stoull(b), size - 1);
    return *last >= *first;
}

void InstallApi(httplib::Server& server, const ApiContext& ctx, AccountCache* accounts, LoginGuard* logins) {
    server.set_pre_routing_handler([ctx, accounts, logins](const httplib::Request& req,
                                                           httplib::Response& res) {
        // Ranges are this API's own business (getRecord): httplib must not apply them to any
        // answer. The request object is the server's own, not a constant one.
        const_cast<httplib::Request&>(req).ranges.clear();
        if (req.path.size() > kMaxPathBytes) {
            sendError(res, 414, QStringLiteral("the path is too long"), LUMOSR_ERR_PARAM);
            return httplib::Server::HandlerResponse::Handled;
        }
        const Accounts known = accounts->Get(ctx.securityFile());
        const std::string& peer = req.remote_addr;
        if (known.fileExists && known.valid) {
            // An address that guessed wrong too often is refused at once, whatever it sends now.
            const int64_t left = logins->PenaltyLeftMs(peer);
            if (left > 0) {
                int suppressed = 0;
                if (logins->ShouldLogRefusal(peer, &suppressed))
                    LumoPrintf("LumoSRecord: refused %s %s from %s: too many wrong accounts or passwords, "
                               "%lld ms of its penalty left%s\n",
                               req.method.c_str(), req.path.substr(0, 200).c_str(), peer.c_str(),
                               static_cast<long long>(left),
                               suppressed > 0 ? (" (and " + std::to_string(suppressed) +
                                                 " refusals since the last line)").c_str()
                                              : "");
                res.set_header("Retry-After", std::to_string((left + 999) / 1000));
                sendError(res, 429,
                          QStringLiteral("too many wrong accounts or passwords from this address; try again "
                                         "in %1 s").arg((left + 999) / 1000),
                          LUMOSR_ERR_REFUSED, LUMOSR_REASON_ACCESS_DENIED, "too many wrong passwords");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        std::string why;
        const std::string authorization = req.get_header_value("Authorization");
        const Access access = DecideAccess(peer, authorization, known, &why);
        if (access == Access::Allowed) return httplib::Server::HandlerResponse::Unhandled;
        if (access == Access::NeedAccount && !authorization.empty()) {
            const int64_t penalty = logins->Failed(peer);
            if (penalty > 0)
                LumoPrintf("LumoSRecord: wrong account or password from %s again; the address is refused "
                           "for %lld ms\n",
                           peer.c_str(), static_cast<long long>(penalty));
            res.set_header("Connection", "close");
        }
        if (access == Access::NeedAccount) res.set_header("WWW-Authenticate", "Basic realm=\"LumoSRecord\"");
        sendError(res, access == Access::NeedAccount ? 401 : 403, QString::fromStdString(why),
                  LUMOSR_ERR_REFUSED, LUMOSR_REASON_ACCESS_DENIED, why);
        return httplib::Server::HandlerResponse::Handled;
    });
    server.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request& req,
                                                                     httplib::Response& res) {
        const_cast<httplib::Request&>(req).ranges.clear();
        if (res.body.empty() && !res.content_provider_) {
            const int code = res.status == 404 ? LUMOSR_ERR_NOTFOUND : LUMOSR_ERR_PARAM;
            sendError(res, res.status,
                      res.status == 404 ? QStringLiteral("no such request") : QStringLiteral("bad request"),
                      code);
        }
        return httplib::Server::HandlerResponse::Handled;
    }));
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        sendError(res, 500, QStringLiteral("internal error"), LUMOSR_ERR_FAIL);
    });

    using Handler = void (*)(const httplib::Request&, httplib::Response&, const ApiContext&);
    auto bind = [ctx](Handler h) {
        return [ctx, h](const httplib::Request& req, httplib::Response& res) { h(req, res, ctx); };
    };
    server.Get("/api/v1/info", bind(getInfo));
    server.Get("/api/v1/disks", bind(getDisks));
    server.Get(R"(/api/v1/disks/(-?\d{1,18}))", bind(getDisk));
    server.Get("/api/v1/diskstates", bind(getDiskStates));
    server.Get(R"(/api/v1/disks/(-?\d{1,18})/state)", bind(getDiskState));
    server.Get(R"(/api/v1/disks/(-?\d{1,18})/blocks)", bind(getBlocks));
    server.Post(R"(/api/v1/disks/(-?\d{1,18})/format)", bind(postFormat));
    server.Get("/api/v1/channels", bind(getChannels));
    server.Get("/api/v1/cuids", bind(getCuids));
    server.Post("/api/v1/search", bind(postSearch));
    server.Get(R"(/records/.*)", bind(getRecord));
}

}  // namespace kesto
