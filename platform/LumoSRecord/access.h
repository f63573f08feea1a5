// Who may use the engine's network API: without a security file only this machine (loopback
// peers); with one only the accounts it lists, each request carrying one by HTTP Basic auth.
#pragma once

#include <QString>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>

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

}  // namespace kesto
