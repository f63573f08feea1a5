#include "VantelCore/VantelCore.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "VantelCore/VantelLog.h"

int IVantelList::Add(IVantelData* row, bool addRef, bool unique) {
    if (!row) return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (unique && std::find(m_rows.begin(), m_rows.end(), row) != m_rows.end()) return -1;
    if (addRef) row->AddRef();
    m_rows.push_back(row);
    return 0;
}

int IVantelList::GetCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_rows.size());
}

std::vector<IVantelData*> IVantelList::GetTable() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rows;
}

IVantelData* IVantelList::GetAt(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_rows.size())) return nullptr;
    return m_rows[static_cast<size_t>(index)];
}

void IVantelList::RemoveAll() {
    std::vector<IVantelData*> rows;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        rows.swap(m_rows);
    }
    for (IVantelData* r : rows) r->Release();
}

IVantelList::~IVantelList() { RemoveAll(); }

namespace {

// The log sink of the process: every VantelDBG line, every LumoPrintf and (once installed) every
// Qt message goes through VantelLogWrite. g_logMutex guards all the g_log* fields below and the
// writing of a line to stderr and to the file, so that lines of two threads never mix.
std::mutex g_logMutex;
uint32_t g_mask = 0x7fff;           // g_logMutex
int g_level = 7;                    // g_logMutex
bool g_fileChosen = false;          // g_logMutex: g_logFile is set (by the caller or the default)
std::string g_logFile;              // g_logMutex: the file's path; empty: stderr only
FILE* g_logStream = nullptr;        // g_logMutex: g_logFile kept open for appending
bool g_logOpenFailed = false;       // g_logMutex: not tried again until another file is named
long long g_logBytes = 0;           // g_logMutex: size of the open file
const long long kMaxLogBytes = 4 * 1024 * 1024;

std::string programName() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "vantel";
    buf[n] = '\0';
    std::string p(buf);
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

void makeDirs(const std::string& dir) {
    std::string cur;
    for (size_t i = 0; i < dir.size(); ++i) {
        cur += dir[i];
        if ((dir[i] == '/' && i > 0) || i + 1 == dir.size()) mkdir(cur.c_str(), 0755);
    }
}

std::string defaultLogFile() {
    std::string dir;
    if (const char* d = std::getenv("VANTEL_LOG_DIR")) {
        dir = d;
    } else if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s) {
        dir = std::string(s) + "/vantel";
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        dir = std::string(h) + "/.local/state/vantel";
    }
    if (dir.empty()) return std::string();
    makeDirs(dir);
    return dir + "/" + programName() + ".log";
}

void closeLogLocked() {
    if (g_logStream) std::fclose(g_logStream);
    g_logStream = nullptr;
    g_logBytes = 0;
}

void chooseFileLocked() {
    if (g_fileChosen) return;
    g_logFile = defaultLogFile();
    g_fileChosen = true;
}

// Opens the chosen file for appending, once; a failure leaves the log on stderr.
void openLogLocked() {
    if (g_logStream || g_logOpenFailed || g_logFile.empty()) return;
    const int fd = open(g_logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) g_logStream = fdopen(fd, "a");
    if (!g_logStream) {
        if (fd >= 0) close(fd);
        g_logOpenFailed = true;
        return;
    }
    struct stat st;
    g_logBytes = fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// Keeps one previous file: name.log -> name.log.1 once the file grows past the limit.
void rotateIfNeededLocked() {
    if (!g_logStream || g_logBytes <= kMaxLogBytes) return;
    closeLogLocked();
    std::rename(g_logFile.c_str(), (g_logFile + ".1").c_str());
    openLogLocked();
}

std::string stampedLine(int level, const char* where, const char* body, size_t size) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    std::string line = std::string(stamp) + " [" + std::to_string(level) + "] ";
    if (where && *where) line += std::string(where) + ": ";
    line.append(body, size);
    line += '\n';
    return line;
}

}  // namespace

void VantelLogWrite(int level, const char* where, const char* text, size_t size) {
    const std::string line = stampedLine(level, where, text ? text : "", text ? size : 0);
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    chooseFileLocked();
    openLogLocked();
    rotateIfNeededLocked();
    if (g_logStream) {
        // Flushed at once: a line must survive a crash that follows it.
        if (std::fwrite(line.data(), 1, line.size(), g_logStream) == line.size()) g_logBytes += line.size();
        std::fflush(g_logStream);
    }
}

void VantelDBG_SetLevelMask(uint32_t mask, int level) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_mask = mask;
    g_level = level;
}

void VantelDBG_SetLogFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    closeLogLocked();
    g_logFile = path;
    g_fileChosen = true;
    g_logOpenFailed = false;
}

std::string VantelDBG_GetLogFile() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    chooseFileLocked();
    return g_logFile;
}

void VantelDBG_Printf_f(uint32_t mask, int level, const char* function, const char* format, ...) {
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        if (!(mask & g_mask) || level > g_level) return;
    }
    char body[4096];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(body, sizeof body, format ? format : "", ap);
    va_end(ap);
    VantelLogWrite(level, function, body, std::strlen(body));
}

namespace {
std::mutex g_clientMutex;
std::string g_clientNo;
}  // namespace

void VantelCloudAccount::SetClientNo(const std::string& number) {
    std::lock_guard<std::mutex> lock(g_clientMutex);
    g_clientNo = number;
}

std::string VantelCloudAccount::GetClientNo() {
    std::lock_guard<std::mutex> lock(g_clientMutex);
    return g_clientNo;
}
