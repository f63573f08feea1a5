#include "VantelCore/VantelCore.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

std::mutex g_logMutex;
uint32_t g_mask = 0x7fff;
int g_level = 7;
bool g_fileChosen = false;
std::string g_logFile;
const long kMaxLogBytes = 4 * 1024 * 1024;

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

// Keeps one previous file: name.log -> name.log.1 once the file grows past the limit.
void rotateIfNeeded(const std::string& file) {
    struct stat st;
    if (stat(file.c_str(), &st) == 0 && st.st_size > kMaxLogBytes) std::rename(file.c_str(), (file + ".1").c_str());
}

}  // namespace

void VantelDBG_SetLevelMask(uint32_t mask, int level) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_mask = mask;
    g_level = level;
}

void VantelDBG_SetLogFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_logFile = path;
    g_fileChosen = true;
}

std::string VantelDBG_GetLogFile() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (!g_fileChosen) {
        g_logFile = defaultLogFile();
        g_fileChosen = true;
    }
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

    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);

    std::string line = std::string(stamp) + " [" + std::to_string(level) + "] " + (function ? function : "") + ": " +
                       body + "\n";
    std::string file = VantelDBG_GetLogFile();
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fputs(line.c_str(), stderr);
    if (!file.empty()) {
        rotateIfNeeded(file);
        if (FILE* f = std::fopen(file.c_str(), "a")) {
            std::fputs(line.c_str(), f);
            std::fclose(f);
        }
    }
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
