#include "urlauthority.h"

#include <algorithm>
#include <cctype>

namespace lumofs {

namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

bool IsV6Char(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
}

}  // namespace

size_t SchemeLength(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return 0;
    return i;
}

bool HasSpaceOrControl(const std::string& text) {
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7f) return true;
    return false;
}

bool ReadAuthority(const std::string& text, size_t from, UrlAuthority* out, std::string* rest,
                   std::string* error) {
    *out = UrlAuthority();
    const size_t end = std::min(text.find_first_of("/?#", from), text.size());
    const std::string authority = text.substr(from, end - from);
    *rest = text.substr(end);

    std::string hostPort = authority;
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        out->hasUser = true;
        out->user = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
    }
    std::string port;
    if (!hostPort.empty() && hostPort[0] == '[') {
        const size_t close = hostPort.find(']');
        if (close == std::string::npos) return Fail(error, "an IPv6 address without its ']'");
        out->host = hostPort.substr(1, close - 1);
        const std::string after = hostPort.substr(close + 1);
        if (!after.empty() && after[0] != ':') return Fail(error, "text after the IPv6 address " + out->host);
        if (!after.empty()) port = after.substr(1);
        if (out->host.find(':') == std::string::npos) return Fail(error, "no IPv6 address in brackets");
        for (char c : out->host)
            if (!IsV6Char(c)) return Fail(error, "a character that no IPv6 address holds: " + out->host);
    } else {
        const size_t colon = hostPort.find(':');
        out->host = hostPort.substr(0, colon);
        if (colon != std::string::npos) port = hostPort.substr(colon + 1);
        for (char c : out->host)
            if (!IsNameChar(c)) return Fail(error, "a character that no host name holds: " + out->host);
    }
    if (out->host.empty()) return Fail(error, "no host in " + text);
    for (char& c : out->host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!port.empty()) {
        const bool digits = port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
        const int p = digits ? std::stoi(port) : 0;
        if (p < 1 || p > 65535) return Fail(error, "the port is not a number from 1 to 65535: " + port);
        out->hasPort = true;
        out->port = static_cast<uint16_t>(p);
    }
    return true;
}

}  // namespace lumofs
