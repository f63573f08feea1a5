#include "LumoFS/LumoRecorderUrl.h"

#include "urlauthority.h"

namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX escapes decoded; false for a broken escape or an escaped NUL (which would cut the text).
bool PercentDecode(const std::string& in, std::string* out) {
    out->clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out->push_back(in[i]);
            continue;
        }
        const int hi = i + 2 < in.size() ? HexDigit(in[i + 1]) : -1;
        const int lo = i + 2 < in.size() ? HexDigit(in[i + 2]) : -1;
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
        out->push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

}  // namespace

bool LumoRecorderUrl::Parse(const std::string& text, LumoRecorderUrl* out, std::string* error) {
    if (!out) return false;
    *out = LumoRecorderUrl();
    if (lumofs::HasSpaceOrControl(text))
        return Fail(error, "white space or a control character in a recorder URL");
    size_t start = lumofs::SchemeLength(text, "lumofs://");
    if (start) {
        out->scheme = SCHEME_LUMOFS;
    } else if ((start = lumofs::SchemeLength(text, "http://")) != 0) {
        out->scheme = SCHEME_HTTP;
    } else {
        return Fail(error, "not a recorder URL (lumofs:// or http://): " + text);
    }
    lumofs::UrlAuthority a;
    std::string path, why;
    if (!lumofs::ReadAuthority(text, start, &a, &path, &why)) return Fail(error, "recorder URL: " + why);
    if (!path.empty() && path != "/" && !(out->scheme == SCHEME_LUMOFS && path == "/media"))
        return Fail(error, "a recorder URL ends with its port, \"/\" or \"/media\": " + text);
    if (a.hasUser) {
        const size_t colon = a.user.find(':');
        if (!PercentDecode(a.user.substr(0, colon), &out->account) ||
            (colon != std::string::npos && !PercentDecode(a.user.substr(colon + 1), &out->password)))
            return Fail(error, "a broken %-escape in the account of a recorder URL");
        if (out->account.empty()) return Fail(error, "an empty account before '@' in a recorder URL");
        out->hasAccount = true;
    }
    out->host = a.host;
    out->hasPort = a.hasPort;
    if (a.hasPort) out->port = a.port;
    return true;
}

std::string LumoRecorderUrl::HostPort() const {
    const std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return h + ":" + std::to_string(port);
}

bool LumoRecorderUrl::NamesThisMachine() const {
    return scheme == SCHEME_LUMOFS && (host == "localhost" || host == "local") && !hasPort && !hasAccount;
}
