#include "Tendrel/Tendrel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

bool isDir(const std::string& p) {
    struct stat st;
    return !p.empty() && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string Tendrel::RecordFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && isDir(runtime)) return std::string(runtime) + "/vantel-watchdog";
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && isDir(tmp)) ? tmp : "/tmp";
    return base + "/vantel-watchdog-" + std::to_string(getuid());
}

std::string Tendrel::RecordPath(int64_t pid) {
    return RecordFolder() + "/" + std::to_string(pid) + ".reg";
}

bool Tendrel::Init(const std::string& path, int64_t pid) {
    const std::string folder = RecordFolder();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    const std::string file = RecordPath(pid);
    const std::string temp = file + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) return false;
    bool ok = std::fprintf(f, "path=%s\npid=%lld\nstarted=%lld\n", path.c_str(), static_cast<long long>(pid),
                           static_cast<long long>(std::time(nullptr))) > 0;
    ok = (std::fflush(f) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    // Written whole, then renamed: a watchdog never reads half a record.
    if (!ok || std::rename(temp.c_str(), file.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool Tendrel::TearDown(int64_t pid) {
    return std::remove(RecordPath(pid).c_str()) == 0;
}
