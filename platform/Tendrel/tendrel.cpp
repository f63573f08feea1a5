#include "Tendrel/Tendrel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "VantelCore/privatefolder.h"

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
    // The folder may sit in the shared temporary folder: one planted there (a link, another
    // user's folder) is refused, and names in it are never followed.
    const std::string folder = RecordFolder();
    if (!VantelPreparePrivateFolder(folder)) return false;
    const std::string file = RecordPath(pid);
    const std::string temp = file + ".tmp";
    // A leftover of an earlier process with this id goes (a link goes itself, not its target).
    if (unlink(temp.c_str()) != 0 && errno != ENOENT) return false;
    const int fd = VantelCreatePrivateFile(temp, 0600);
    if (fd < 0) return false;
    FILE* f = fdopen(fd, "w");
    if (!f) {
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    bool ok = std::fprintf(f, "path=%s\npid=%lld\nstarted=%lld\n", path.c_str(), static_cast<long long>(pid),
                           static_cast<long long>(std::time(nullptr))) > 0;
    ok = (std::fflush(f) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    // Written whole, then renamed: a watchdog never reads half a record. The rename replaces
    // whatever has the record's name, a link included, without writing through it.
    if (!ok || std::rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool Tendrel::TearDown(int64_t pid) {
    if (!VantelPreparePrivateFolder(RecordFolder())) return false;
    return unlink(RecordPath(pid).c_str()) == 0;
}
