// The parts of "scheme://[user@]host[:port]..." that the suite's network URLs share (recorder
// URLs, camera stream URLs): one reading of hosts and ports for all of them.
#pragma once

#include <cstdint>
#include <string>

namespace lumofs {

// The length of prefix ("rtsp://") when text starts with it, compared without case; else 0.
size_t SchemeLength(const std::string& text, const char* prefix);

// True when text holds white space or a control character (a URL holds them escaped).
bool HasSpaceOrControl(const std::string& text);

struct UrlAuthority {
    bool hasUser = false;
    std::string user;  // as written (escapes kept), up to the last '@' of the authority
    std::string host;  // a name or IPv4 address, or an IPv6 address without its brackets; lower case
    bool hasPort = false;
    uint16_t port = 0;  // 1 to 65535 when hasPort
};

// Splits text at `from` (just after "scheme://") into its authority, which ends at the first '/',
// '?' or '#', and the rest (from that character on). The host must be a name of letters, digits,
// '-', '.' and '_', or an IPv6 address in brackets; "host:" names no port. False, and *error says
// why in English, for anything else.
bool ReadAuthority(const std::string& text, size_t from, UrlAuthority* out, std::string* rest,
                   std::string* error);

}  // namespace lumofs
