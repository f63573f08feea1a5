#include "CrashReport/CrashReport.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace crashreport {
namespace {

bool makeDir(const std::string& p) {
    if (p.empty()) return false;
    std::string partial;
    std::stringstream ss(p);
    std::string part;
    if (p[0] == '/') partial = "/";
    while (std::getline(ss, part, '/')) {
        if (part.empty()) continue;
        partial += part;
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
        partial += "/";
    }
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

ReportSettings::ReportSettings(std::string file) : m_file(std::move(file)) {}

bool ReportSettings::SetUploadsEnabled(bool enabled) {
    const std::string temp = m_file + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out) return false;
        out << "uploads_enabled=" << (enabled ? 1 : 0) << "\n";
        if (!out.flush()) return false;
    }
    return std::rename(temp.c_str(), m_file.c_str()) == 0;
}

bool ReportSettings::GetUploadsEnabled(bool* enabled) const {
    std::ifstream in(m_file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("uploads_enabled=", 0) == 0) {
            if (enabled) *enabled = line.substr(16) == "1";
            return true;
        }
    }
    return false;
}

ReportDatabase::ReportDatabase(std::string path) : m_path(path), m_settings(path + "/settings.dat") {}

std::unique_ptr<ReportDatabase> ReportDatabase::Initialize(const std::string& path) {
    if (!makeDir(path) || !makeDir(path + "/reports")) return nullptr;
    std::unique_ptr<ReportDatabase> db(new ReportDatabase(path));
    bool dummy;
    if (!db->GetSettings()->GetUploadsEnabled(&dummy)) db->GetSettings()->SetUploadsEnabled(false);
    return db;
}

bool ReportClient::StartHandler(const std::string& handler, const std::string& database,
                                const std::string& metrics, const std::string& url,
                                const std::map<std::string, std::string>& annotations,
                                const std::vector<std::string>& arguments, bool restartable,
                                bool asynchronous_start, const std::vector<std::string>& attachments) {
    if (handler.empty() || access(handler.c_str(), X_OK) != 0) return false;
    m_readyFile = database + "/handler.ready";
    std::remove(m_readyFile.c_str());
    m_argv = {handler, "--database=" + database, "--metrics-dir=" + metrics, "--ready-file=" + m_readyFile,
              "--monitor-pid=" + std::to_string(getpid())};
    if (!url.empty()) m_argv.push_back("--url=" + url);
    for (const auto& a : annotations) m_argv.push_back("--annotation=" + a.first + "=" + a.second);
    for (const auto& a : attachments) m_argv.push_back("--attachment=" + a);
    for (const auto& a : arguments) m_argv.push_back(a);
    m_restartable = restartable;
    if (!launch()) return false;
    if (!asynchronous_start) return WaitForHandlerStart(5000);
    return true;
}

bool ReportClient::launch() {
    std::vector<char*> argv;
    for (auto& a : m_argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    m_pid = pid;
    return true;
}

bool ReportClient::WaitForHandlerStart(unsigned int timeout_ms) {
    if (m_pid <= 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        struct stat st;
        if (stat(m_readyFile.c_str(), &st) == 0) return true;
        int status = 0;
        if (waitpid(static_cast<pid_t>(m_pid), &status, WNOHANG) == m_pid) {
            // The handler ended before it was ready.
            m_pid = -1;
            if (!m_restartable || !launch()) return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace crashreport
