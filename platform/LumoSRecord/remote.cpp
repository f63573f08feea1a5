// Remote LumoSR* calls. Each call makes its own httplib client (no state shared between calls or
// threads); the caller's time-out bounds the connection, every read and write, and the whole of a
// search that takes several pages.
#include "remote.h"

#include <QByteArray>
#include <QJsonDocument>
#include <cstring>
#include <chrono>
#include <vector>
#include <httplib.h>

#include "LumoFS/LumoRecorderUrl.h"
#include "lasterror.h"
#include "wire.h"

namespace kesto {

namespace {

const int kDefaultTimeoutMs = 5000;
const int kPageFiles = 4096;

std::string percentEncode(const std::string& s) {
    std::string out;
    wire::AppendPercentEncoded(&out, s);
    return out;
}

class Call {
public:
    Call(const RecorderUrl& url, int timeoutMs)
        : m_url(url),
          m_timeoutMs(timeoutMs > 0 ? timeoutMs : kDefaultTimeoutMs),
          m_deadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMs)),
          m_client(url.host, url.port) {
        m_client.set_keep_alive(true);   // the pages of one search share a connection
        m_client.set_tcp_nodelay(true);  // a request goes out as header and body: no waiting between them
        if (url.hasAccount) m_client.set_basic_auth(url.account.c_str(), url.password.c_str());
        // Nothing to gain from compressing JSON on the way to us.
        m_client.set_default_headers({{"Accept-Encoding", "identity"}});
    }

    int Get(const std::string& path, QJsonObject* out) { return json("GET", path, QByteArray(), out); }
    int Post(const std::string& path, const QByteArray& body, QJsonObject* out) {
        return json("POST", path, body, out);
    }
    // The answer's body as it came (a successful answer only).
    int PostRaw(const std::string& path, const QByteArray& body, std::string* out) {
        return run("POST", path, body, out);
    }
    int Remaining() const {
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline -
                                                                         std::chrono::steady_clock::now())
                       .count());
    }

private:
    int json(const char* method, const std::string& path, const QByteArray& body, QJsonObject* out) {
        std::string answer;
        const int rc = run(method, path, body, &answer);
        if (rc != LUMOSR_OK) return rc;
        QJsonParseError perr{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(answer), &perr);
        if (perr.error != QJsonParseError::NoError || !doc.isObject()) {
            SetLastError(LUMOSR_REASON_IO, where() + ": the answer is not JSON");
            return LUMOSR_ERR_IO;
        }
        *out = doc.object();
        return LUMOSR_OK;
    }

    int run(const char* method, const std::string& path, const QByteArray& body, std::string* out) {
        const int left = Remaining();
        if (left <= 0) {
            SetLastError(LUMOSR_REASON_UNREACHABLE,
                         where() + ": no answer within " + std::to_string(m_timeoutMs) + " ms");
            return LUMOSR_ERR_TIMEOUT;
        }
        const auto limit = std::chrono::milliseconds(left);
        m_client.set_connection_timeout(limit);
        m_client.set_read_timeout(limit);
        m_client.set_write_timeout(limit);
        const std::string target =
            path + (path.find('?') == std::string::npos ? "?" : "&") + "timeoutMs=" + std::to_string(left);
        httplib::Result r = std::strcmp(method, "GET") == 0
                                ? m_client.Get(target.c_str())
                                : m_client.Post(target.c_str(), body.constData(), size_t(body.size()),
                                                "application/json; charset=utf-8");
        if (!r) {
            const httplib::Error e = r.error();
            const bool late = Remaining() <= 0 || e == httplib::Error::ConnectionTimeout;
            SetLastError(LUMOSR_REASON_UNREACHABLE, where() + ": " + httplib::to_string(e));
            return late ? int(LUMOSR_ERR_TIMEOUT) : int(LUMO_ERR_CONNECT);
        }
        if (r->status != 200) {
            // The recorder's own result and reason when it gave them (a refused account comes as
            // LUMOSR_ERR_REFUSED with LUMOSR_REASON_ACCESS_DENIED, a folder of foreign files as
            // LUMOSR_ERR_REFUSED with its own reason); a bare refusal is taken as one of access.
            const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object();
            const int code = o.value("code").toInt(0);
            if (code < 0) {
                SetLastError(o.value("reason").toInt(LUMOSR_REASON_NONE),
                             o.value("detail").toString().toStdString());
                return code;
            }
            if (r->status == 401 || r->status == 403) {
                SetLastError(LUMOSR_REASON_ACCESS_DENIED, where() + ": HTTP " + std::to_string(r->status));
                return LUMOSR_ERR_REFUSED;
            }
            SetLastError(LUMOSR_REASON_IO, where() + ": HTTP " + std::to_string(r->status));
            return LUMOSR_ERR_FAIL;
        }
        *out = std::move(r->body);
        return LUMOSR_OK;
    }

    std::string where() const { return m_url.host + ":" + std::to_string(m_url.port); }

    const RecorderUrl& m_url;
    const int m_timeoutMs;
    const std::chrono::steady_clock::time_point m_deadline;
    httplib::Client m_client;
};

// A row of the answer that cannot be taken (a number its field cannot hold): the whole call fails.
int badRow(const RecorderUrl& url, const std::string& why) {
    SetLastError(LUMOSR_REASON_IO, url.host + ":" + std::to_string(url.port) + ": " + why);
    return LUMOSR_ERR_IO;
}

template <class Make>
int listCall(const RecorderUrl& url, const std::string& path, const char* key, IVantelList** out,
             int timeoutMs, Make make) {
    Call call(url, timeoutMs);
    QJsonObject o;
    const int rc = call.Get(path, &o);
    if (rc != LUMOSR_OK) return rc;
    IVantelList* list = IVantelList::CreateObject();
    std::string why;
    for (const QJsonValue& v : o.value(QLatin1String(key)).toArray()) {
        IVantelData* row = make(v, &why);
        if (!row) {
            list->Release();
            return badRow(url, why);
        }
        list->Add(row, false, false);
    }
    *out = list;
    return LUMOSR_OK;
}

}  // namespace

std::string RecorderUrl::HttpBase() const {
    std::string s = "http://";
    if (hasAccount) {
        s += percentEncode(account);
        if (!password.empty()) s += ":" + percentEncode(password);
        s += "@";
    }
    s += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return s + ":" + std::to_string(port);
}

int ParseRecorderUrl(const char* url, bool engineInitialised, RecorderUrl* out) {
    *out = RecorderUrl();
    if (!url || !*url) {
        out->inProcess = true;
        return LUMOSR_OK;
    }
    LumoRecorderUrl parsed;
    if (!LumoRecorderUrl::Parse(url, &parsed)) return LUMOSR_ERR_PARAM;
    // This machine's recorder, named the way the client library names it.
    if (parsed.NamesThisMachine() && engineInitialised) {
        out->inProcess = true;
        return LUMOSR_OK;
    }
    out->host = parsed.NamesThisMachine() ? "127.0.0.1" : parsed.host;
    out->port = parsed.port;
    out->hasAccount = parsed.hasAccount;
    out->account = parsed.account;
    out->password = parsed.password;
    return LUMOSR_OK;
}

int RemoteDiskInfo(const RecorderUrl& url, IVantelList** out, int timeoutMs) {
    return listCall(url, "/api/v1/disks", "disks", out, timeoutMs,
                    [](const QJsonValue& v, std::string* why) -> IVantelData* {
                        return wire::DiskFromJson(v.toObject(), why);
                    });
}

int RemoteChanInfo(const RecorderUrl& url, IVantelList** out, int timeoutMs) {
    return listCall(url, "/api/v1/channels", "channels", out, timeoutMs,
                    [](const QJsonValue& v, std::string* why) -> IVantelData* {
                        return wire::ChannelFromJson(v.toObject(), why);
                    });
}

int RemoteCUIDInfo(const RecorderUrl& url, IVantelList** out, int timeoutMs) {
    return listCall(url, "/api/v1/cuids", "cuids", out, timeoutMs,
                    [](const QJsonValue& v, std::string*) -> IVantelData* {
                        return IVantelText::CreateObject(v.toString().toStdString());
                    });
}

int RemoteBlockInfo(const RecorderUrl& url, int64_t diskId, IVantelList* list, int timeoutMs) {
    Call call(url, timeoutMs);
    QJsonObject o;
    const int rc = call.Get("/api/v1/disks/" + std::to_string(diskId) + "/blocks", &o);
    if (rc != LUMOSR_OK) return rc;
    // Rows are taken only once every one of them reads: a bad answer adds nothing to the list.
    std::vector<IVantelData*> rows;
    std::string why;
    for (const QJsonValue& v : o.value("blocks").toArray()) {
        IVantelData* row = wire::BlockFromJson(v.toObject(), &why);
        if (!row) {
            for (IVantelData* r : rows) r->Release();
            return badRow(url, why);
        }
        rows.push_back(row);
    }
    for (IVantelData* row : rows) list->Add(row, false, false);
    return LUMOSR_OK;
}

int RemoteFormatDisk(const RecorderUrl& url, int64_t diskId, int access, int timeoutMs) {
    Call call(url, timeoutMs);
    QJsonObject body;
    body.insert("access", access);
    QJsonObject o;
    return call.Post("/api/v1/disks/" + std::to_string(diskId) + "/format", wire::Compact(body), &o);
}

int RemoteSearch(const RecorderUrl& url, const ILumoFSSearchParam& param,
                 const std::function<void(const CLumoFileDesc&)>& each, int timeoutMs) {
    Call call(url, timeoutMs);
    const std::string base = url.HttpBase() + "/records/";
    QJsonObject request = wire::SearchParamToJson(param);
    request.insert("max", kPageFiles);
    uint64_t cursor = 0;
    for (;;) {
        request.insert("cursor", wire::U64ToJson(cursor));
        std::string answer, why;
        const int rc = call.PostRaw("/api/v1/search", wire::Compact(request), &answer);
        if (rc != LUMOSR_OK) return rc;
        bool more = false;
        const uint64_t before = cursor;
        if (!wire::ReadSearchAnswer(answer, base, each, &cursor, &more, &why)) {
            SetLastError(LUMOSR_REASON_IO, url.host + ":" + std::to_string(url.port) + ": " + why);
            return LUMOSR_ERR_IO;
        }
        // A page that does not move the cursor on would be asked for again and again.
        if (!more || cursor == before) return LUMOSR_OK;
    }
}

}  // namespace kesto
