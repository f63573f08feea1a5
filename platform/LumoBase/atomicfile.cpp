// Whole-file saves: write beside, sync, check, rename, sync the folder. See atomicfile.h.
#include "LumoBase/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "LumoBase/LumoResult.h"

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool IsDiskFull(int err) { return err == ENOSPC || err == EDQUOT; }

// A failure: the temporary file goes, the target stays as it was.
LumoSaveResult Fail(const std::string& temp, const std::string& path, const char* step, int err) {
    if (!temp.empty()) ::unlink(temp.c_str());
    LumoSaveResult r;
    // A writer that hides errno: a folder without a free block is a full disk all the same.
    if (err == 0) {
        struct statvfs vfs {};
        if (::statvfs(FolderOf(path).c_str(), &vfs) == 0 && vfs.f_bavail == 0) err = ENOSPC;
    }
    r.sysError = err;
    if (IsDiskFull(err)) {
        r.code = LUMO_ERR_DISKFULL;
        r.message = "the disk is full: " + path;
    } else {
        r.code = LUMO_ERR_WRITE;
        r.message = std::string("cannot write ") + path + " (" + step + (err ? std::string(": ") + std::strerror(err) : std::string()) + ")";
    }
    return r;
}

void SyncFolder(const std::string& path) {
    const int dfd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return;
    ::fsync(dfd);  // the rename is made durable where the file system allows; not all do
    ::close(dfd);
}

// Syncs and checks the finished temporary file (open as fd), then renames it over path.
LumoSaveResult Finish(int fd, const std::string& temp, const std::string& path, mode_t mode, long long expected,
                      bool allowEmpty) {
    if (::fchmod(fd, mode) != 0) {
        const int err = errno;
        ::close(fd);
        return Fail(temp, path, "set permissions", err);
    }
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        return Fail(temp, path, "sync", err);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return Fail(temp, path, "check size", err);
    }
    if (::close(fd) != 0) return Fail(temp, path, "close", errno);
    if ((expected >= 0 && st.st_size != expected) || (!allowEmpty && st.st_size == 0))
        return Fail(temp, path, "short file", 0);
    if (::rename(temp.c_str(), path.c_str()) != 0) return Fail(temp, path, "rename", errno);
    SyncFolder(path);
    return LumoSaveResult{};
}

}  // namespace

namespace lumobase_detail {

std::string TempPathBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

LumoSaveResult WriterFailed(const std::string& temp, const std::string& path) {
    return Fail(temp, path, "write", errno == 0 ? 0 : errno);
}

LumoSaveResult CommitTemp(const std::string& temp, const std::string& path, mode_t mode, bool allowEmpty) {
    const int fd = ::open(temp.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return Fail(temp, path, "reopen", errno);
    return Finish(fd, temp, path, mode, -1, allowEmpty);
}

}  // namespace lumobase_detail

LumoSaveResult LumoSaveFileAtomic(const std::string& path, const void* data, size_t size, mode_t mode) {
    if (path.empty()) return Fail(std::string(), path, "no file name", EINVAL);
    const std::string temp = lumobase_detail::TempPathBeside(path);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode & 0777);
    if (fd < 0) return Fail(std::string(), path, "create", errno);
    const char* p = static_cast<const char*>(data);
    size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return Fail(temp, path, "write", err);
        }
        if (n == 0) {
            ::close(fd);
            return Fail(temp, path, "write", ENOSPC);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return Finish(fd, temp, path, mode & 07777, static_cast<long long>(size), true);
}
