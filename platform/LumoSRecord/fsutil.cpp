#include "fsutil.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kesto {

namespace {

void note(std::string* error, const std::string& what) {
    if (error && error->empty()) *error = what + ": " + std::strerror(errno);
}

int removeIn(int parentFd, const std::string& parentPath, const std::string& name, dev_t device,
             std::string* error, int depth) {
    const std::string path = parentPath + "/" + name;
    struct stat st;
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return 0;
        note(error, path);
        return -1;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(parentFd, name.c_str(), 0) != 0 && errno != ENOENT) {
            note(error, path);
            return -1;
        }
        return 0;
    }
    if (st.st_dev != device || depth > 64) {
        errno = EXDEV;
        note(error, path);
        return -1;
    }
    int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        note(error, path);
        return -1;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        note(error, path);
        ::close(fd);
        return -1;
    }
    std::vector<std::string> names;
    errno = 0;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    int rc = 0;
    if (errno != 0) {
        note(error, path);
        rc = -1;
    }
    for (const std::string& n : names)
        if (removeIn(fd, path, n, device, error, depth + 1) != 0) rc = -1;
    ::closedir(dir);  // closes fd
    if (rc == 0 && ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        note(error, path);
        rc = -1;
    }
    return rc;
}

}  // namespace

int RemoveEntryAt(int parentFd, const std::string& parentPath, const std::string& name, std::string* error) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        errno = EINVAL;
        note(error, parentPath + "/" + name);
        return -1;
    }
    struct stat parent;
    if (::fstat(parentFd, &parent) != 0) {
        note(error, parentPath);
        return -1;
    }
    return removeIn(parentFd, parentPath, name, parent.st_dev, error, 0);
}

int SyncDirectory(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int rc = ::fsync(fd);
    ::close(fd);
    return rc;
}

namespace {
std::string dirOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".")
                                      : (slash == 0 ? std::string("/") : path.substr(0, slash));
}
bool writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}
}  // namespace

int WriteFileDurably(const std::string& path, const std::string& data, std::string* error) {
    std::string tmp =
        dirOf(path) + "/.tmp." + path.substr(path.rfind('/') + 1) + "." + std::to_string(::getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        note(error, tmp);
        return -1;
    }
    if (!writeAll(fd, data.data(), data.size()) || ::fsync(fd) != 0) {
        note(error, tmp);
        ::close(fd);
        ::unlink(tmp.c_str());
        return -1;
    }
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        note(error, path);
        ::unlink(tmp.c_str());
        return -1;
    }
    SyncDirectory(dirOf(path));
    return 0;
}

int CopyFileDurably(const std::string& source, const std::string& target, std::string* error) {
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        note(error, source);
        return -1;
    }
    int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (out < 0) {
        note(error, target);
        ::close(in);
        return -1;
    }
    std::vector<char> buf(1 << 16);
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            note(error, source);
            ok = false;
            break;
        }
        if (n == 0) break;
        if (!writeAll(out, buf.data(), static_cast<size_t>(n))) {
            note(error, target);
            ok = false;
            break;
        }
    }
    if (ok && ::fsync(out) != 0) {
        note(error, target);
        ok = false;
    }
    ::close(in);
    ::close(out);
    if (!ok) {
        ::unlink(target.c_str());
        return -1;
    }
    return 0;
}

}  // namespace kesto
