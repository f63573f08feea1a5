// Who may use the engine's network API: without a security file only this machine (loopback
// peers); with one only the accounts it lists, each request carrying one by HTTP Basic auth.
#pragma once

#include <QString>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <unordered_map>

namespace kesto {

enum class Access {
    Allowed,
    NeedAccount,  // 401: no account or a wrong one (the answer asks for Basic auth)
    Refused,      // 403: a peer that may not use the API at all
};

// The accounts of a security file: <Client name="..." password="..."/> (no password: an empty one).
struct Accounts {
    bool fileExists = false;  // false: only loopback peers
    bool valid = false;       // false: the file exists but cannot be read: nobody is let in
    std::map<std::string, std::string> passwords;
};

// Peers on this machine: 127.0.0.0/8, ::1 and IPv4-mapped 127.0.0.0/8.
bool IsLoopbackPeer(const std::string& address);

// Decodes "Basic <base64 of account:password>"; false for anything else.
bool ParseBasicAuth(const std::string& header, std::string* account, std::string* password);

// The decision for one request; *why says why it was not allowed (in English).
Access DecideAccess(const std::string& peerAddress, const std::string& authorization,
                    const Accounts& accounts, std::string* why);

// Reads a security file's accounts (the file may be absent).
Accounts ReadAccounts(const QString& path);

// The accounts of one file, read again only when the file changed (size, time or inode).
class AccountCache {
public:
    Accounts Get(const QString& path);

private:
    std::mutex m_mutex;
    QString m_path;          // guarded by m_mutex
    bool m_known = false;    // guarded by m_mutex
    int64_t m_mtimeNs = -1;  // guarded by m_mutex
    int64_t m_size = -1;     // guarded by m_mutex
    uint64_t m_inode = 0;    // guarded by m_mutex
    Accounts m_accounts;     // guarded by m_mutex
};

// Wrong accounts or passwords per peer address. After a few, the address is refused for a while,
// and each further wrong one doubles that while, so that nobody guesses passwords at speed. A refused
// address is answered at once (no worker waits out a penalty). A right password does not clear the
// count (one known account must not reset the guessing of another); a quiet address is forgotten.
// The table is bounded: when it is full, the entry of the longest-quiet address makes room.
class LoginGuard {
public:
    struct Policy {
        int freeFailures = 5;             // wrong tries before the first penalty
        int firstPenaltyMs = 1000;        // doubled with each wrong try after that
        int maxPenaltyMs = 5 * 60 * 1000;
        int forgetMs = 15 * 60 * 1000;    // a quiet address is forgiven after this
        size_t maxPeers = 4096;
    };
    void SetPolicy(const Policy& policy);
    // 0 when peer may try an account now, else how long (ms) its penalty still lasts.
    int64_t PenaltyLeftMs(const std::string& peer);
    // A wrong account or password from peer: the penalty (ms) it now has, 0 for none yet.
    int64_t Failed(const std::string& peer);
    // Counts a refusal during a penalty; true when it should be logged now (at most once a second
    // per address), with *suppressed the refusals not logged since the last line.
    bool ShouldLogRefusal(const std::string& peer, int* suppressed);

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        int failures = 0;
        Clock::time_point until;    // refused before this
        Clock::time_point last;     // the last wrong try
        Clock::time_point loggedAt; // the last refusal logged
        int unlogged = 0;           // refusals since
    };
    void makeRoom(Clock::time_point now);  // m_mutex held

    std::mutex m_mutex;
    Policy m_policy;                                 // guarded by m_mutex
    std::unordered_map<std::string, Entry> m_peers;  // guarded by m_mutex
};

}  // namespace kesto
