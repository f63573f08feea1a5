#include "access.h"

#include <QByteArray>
#include <algorithm>
#include <cctype>
#include <QFile>
#include <arpa/inet.h>
#include <cstring>
#include <sys/stat.h>

#include "VantelCore/securityfile.h"

namespace kesto {

namespace {

// Compares without an early exit, so the time taken does not tell how much of a password matched.
bool sameSecret(const std::string& a, const std::string& b) {
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    const size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= static_cast<unsigned char>(x ^ y);
    }
    return diff == 0;
}

}  // namespace

bool IsLoopbackPeer(const std::string& address) {
    in_addr v4{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, address.c_str(), &v6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) return v6.s6_addr[12] == 127;
    return false;
}

bool ParseBasicAuth(const std::string& header, std::string* account, std::string* password) {
    const std::string prefix = "basic ";
    if (header.size() <= prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(header[i])) != prefix[i]) return false;
    QByteArray encoded = QByteArray::fromStdString(header.substr(prefix.size())).trimmed();
    auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return false;
    const QByteArray text = *decoded;
    const int colon = text.indexOf(':');
    if (colon <= 0) return false;
    *account = text.left(colon).toStdString();
    *password = text.mid(colon + 1).toStdString();
    return true;
}

Access DecideAccess(const std::string& peerAddress, const std::string& authorization,
                    const Accounts& accounts, std::string* why) {
    if (!accounts.fileExists) {
        if (IsLoopbackPeer(peerAddress)) return Access::Allowed;
        if (why) *why = "without a security file the recorder answers this machine only";
        return Access::Refused;
    }
    if (!accounts.valid) {
        if (why) *why = "the recorder's security file cannot be read; no account is accepted";
        return Access::Refused;
    }
    std::string account, password;
    if (authorization.empty()) {
        if (why) *why = "an account is required";
        return Access::NeedAccount;
    }
    if (!ParseBasicAuth(authorization, &account, &password)) {
        if (why) *why = "the credentials are not HTTP Basic";
        return Access::NeedAccount;
    }
    auto it = accounts.passwords.find(account);
    // The same comparison whether the account exists or not.
    const bool match =
        sameSecret(it == accounts.passwords.end() ? std::string("\x01no account") : it->second, password) &&
        it != accounts.passwords.end();
    if (match) return Access::Allowed;
    if (why) *why = "wrong account or password";
    return Access::NeedAccount;
}

Accounts ReadAccounts(const QString& path) {
    Accounts a;
    std::vector<vantel::SecurityClient> clients;
    const vantel::SecurityRead read = vantel::ReadSecurityFile(path, &clients, nullptr, nullptr);
    a.fileExists = read != vantel::SecurityRead::NotFound;
    if (read != vantel::SecurityRead::Ok) return a;
    for (const vantel::SecurityClient& c : clients) a.passwords[c.name.toStdString()] = c.password.toStdString();
    a.valid = true;
    return a;
}

Accounts AccountCache::Get(const QString& path) {
    struct stat st;
    const bool exists = ::stat(QFile::encodeName(path).constData(), &st) == 0;
    const int64_t mtime = exists ? int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec : -1;
    const int64_t size = exists ? int64_t(st.st_size) : -1;
    const uint64_t inode = exists ? uint64_t(st.st_ino) : 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_known || m_path != path || m_mtimeNs != mtime || m_size != size || m_inode != inode) {
        m_accounts = ReadAccounts(path);
        m_path = path;
        m_mtimeNs = mtime;
        m_size = size;
        m_inode = inode;
        m_known = true;
    }
    return m_accounts;
}

void LoginGuard::SetPolicy(const Policy& policy) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_policy = policy;
}

int64_t LoginGuard::PenaltyLeftMs(const std::string& peer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_peers.find(peer);
    if (it == m_peers.end()) return 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(it->second.until - Clock::now()).count();
    return left > 0 ? left : 0;
}

int64_t LoginGuard::Failed(const std::string& peer) {
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_peers.find(peer);
    if (it != m_peers.end() && now - it->second.last > std::chrono::milliseconds(m_policy.forgetMs)) {
        m_peers.erase(it);
        it = m_peers.end();
    }
    if (it == m_peers.end()) {
        if (m_peers.size() >= m_policy.maxPeers) makeRoom(now);
        it = m_peers.emplace(peer, Entry()).first;
    }
    Entry& e = it->second;
    e.last = now;
    ++e.failures;
    const int over = e.failures - m_policy.freeFailures;
    if (over <= 0) return 0;
    int64_t ms = m_policy.firstPenaltyMs;
    for (int i = 1; i < over && ms < m_policy.maxPenaltyMs; ++i) ms *= 2;
    ms = std::min<int64_t>(ms, m_policy.maxPenaltyMs);
    e.until = now + std::chrono::milliseconds(ms);
    return ms;
}

bool LoginGuard::ShouldLogRefusal(const std::string& peer, int* suppressed) {
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_peers.find(peer);
    if (it == m_peers.end()) return true;
    Entry& e = it->second;
    if (e.loggedAt != Clock::time_point() && now - e.loggedAt < std::chrono::seconds(1)) {
        ++e.unlogged;
        return false;
    }
    *suppressed = e.unlogged;
    e.unlogged = 0;
    e.loggedAt = now;
    return true;
}

void LoginGuard::makeRoom(Clock::time_point now) {
    // Forgotten addresses first; else the one quiet for longest.
    auto quietest = m_peers.end();
    for (auto it = m_peers.begin(); it != m_peers.end();) {
        if (now - it->second.last > std::chrono::milliseconds(m_policy.forgetMs)) {
            it = m_peers.erase(it);
            continue;
        }
        if (quietest == m_peers.end() || it->second.last < quietest->second.last) quietest = it;
        ++it;
    }
    if (m_peers.size() >= m_policy.maxPeers && quietest != m_peers.end()) m_peers.erase(quietest);
}

}  // namespace kesto
