// A recorder's network URL, read in one place for every caller (the record engine's remote calls,
// the client library's device table):
//   lumofs://[account[:password]@]host[:port][/media]
//   http://[account[:password]@]host[:port][/]
// The scheme compares without case. A host is a name (kept in lower case), an IPv4 address or an
// IPv6 address in brackets. The port is 1 to 65535 (kLumoRecorderDefaultPort when none is given,
// "host:" included). Account and password are percent-decoded: an '@' or ':' in them is written
// %40 or %3A, though the last '@' of the authority ends the account, so a bare '@' in a password
// is read as meant. Anything else (another scheme or path, a query, white space, an empty
// account before '@', a bad escape) is refused with a reason.
#pragma once

#include <cstdint>
#include <string>

// The port a recorder listens on when its URL names none.
constexpr uint16_t kLumoRecorderDefaultPort = 8431;

struct LumoRecorderUrl {
    enum Scheme { SCHEME_LUMOFS, SCHEME_HTTP };

    Scheme scheme = SCHEME_LUMOFS;
    std::string host;  // without brackets
    uint16_t port = kLumoRecorderDefaultPort;
    bool hasPort = false;  // the URL names a port
    bool hasAccount = false;
    std::string account, password;  // decoded

    // False (and *error says why, in English) for text that is not a recorder URL.
    static bool Parse(const std::string& text, LumoRecorderUrl* out, std::string* error = nullptr);

    // "host:port", an IPv6 host in brackets ("[::1]:8431"); never the account.
    std::string HostPort() const;
    // The usual name of this machine's recorder: lumofs://localhost/media (or local), with neither
    // port nor account.
    bool NamesThisMachine() const;
};
