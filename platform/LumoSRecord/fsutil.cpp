#include "fsutil.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "LumoBase/atomicfile.h"

#ifndef STATX_MNT_ID
#define STATX_MNT_ID 0x1000U  // Linux 5.8; the kernel leaves it out of stx_mask where it has none
#endif

namespace kesto {

namespace {

void note(std::string* error, const std::string& what) {
    if (error && error->empty()) *error = what + ": " + std::strerror(errno);
}

// What a removal compares each entry with: the mount the folder it started in lies on. A bind
// mount of the same file system shares its device number, so the device alone cannot tell.
struct Origin {
    uint64_t mount = 0;
    bool mountKnown = false;  // false: neither statx nor file handles tell mount IDs here
    dev_t device = 0;
};

// The mount ID of `name` in dirFd (of dirFd itself with an empty name), not following a final
// link; false where the system cannot tell (statx without STATX_MNT_ID, before Linux 5.8, and a
// file system without file handles).
bool mountIdAt(int dirFd, const char* name, uint64_t* id) {
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (*name ? 0 : AT_EMPTY_PATH);
    struct statx sx;
    if (::statx(dirFd, name, flags, STATX_MNT_ID, &sx) == 0 && (sx.stx_mask & STATX_MNT_ID)) {
        *id = sx.stx_mnt_id;
        return true;
    }
    union {
        struct file_handle handle;
        char bytes[sizeof(struct file_handle) + MAX_HANDLE_SZ];
    } h;
    h.handle.handle_bytes = MAX_HANDLE_SZ;
    int mountId = -1;
    if (::name_to_handle_at(dirFd, name, &h.handle, &mountId, *name ? 0 : AT_EMPTY_PATH) == 0) {
        *id = static_cast<uint64_t>(mountId);
        return true;
    }
    return false;
}

// Opens the folder `name` in dirFd without following a link and without crossing a mount point
// (openat2 with RESOLVE_NO_XDEV, Linux 5.6; else openat, and the caller compares mounts): a
// mount put there after the check fails with EXDEV instead of being entered.
int openFolderAt(int dirFd, const char* name) {
#ifdef SYS_openat2
    struct open_how how;
    std::memset(&how, 0, sizeof how);
    how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
    const long fd = ::syscall(SYS_openat2, dirFd, name, &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
#endif
    return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// True when the entry lies on another mount than the folder the removal started in. A folder on
// another device is never entered either (a file system inside another, a subvolume); a file's
// device number is not compared, since an overlay reports its lower layer's for files.
bool onOtherMount(const Origin& origin, int dirFd, const char* name, const struct stat& st) {
    if (S_ISDIR(st.st_mode) && st.st_dev != origin.device) return true;
    uint64_t id = 0;
    if (!origin.mountKnown || !mountIdAt(dirFd, name, &id)) return false;
    return id != origin.mount;
}

void noteMountPoint(std::string* error, const std::string& path) {
    if (error && error->empty())
        *error = path + ": a mount point (another file system or a bind mount); it and everything in it "
                        "were left alone";
}

int removeIn(int parentFd, const std::string& parentPath, const std::string& name, const Origin& origin,
             std::string* error, int depth) {
    const std::string path = parentPath + "/" + name;
    struct stat st;
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return 0;
        note(error, path);
        return -1;
    }
    // Whatever is mounted here (a folder or a single file bound over an entry) is not the
    // engine's: never entered, never removed.
    if (onOtherMount(origin, parentFd, name.c_str(), st)) {
        noteMountPoint(error, path);
        return -1;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(parentFd, name.c_str(), 0) != 0 && errno != ENOENT) {
            note(error, path);
            return -1;
        }
        return 0;
    }
    if (depth > 64) {
        errno = ELOOP;
        note(error, path);
        return -1;
    }
    int fd = openFolderAt(parentFd, name.c_str());
    if (fd < 0) {
        if (errno == EXDEV)
            noteMountPoint(error, path);
        else
            note(error, path);
        return -1;
    }
    // The folder opened must be the one checked, on the same mount (openat without openat2).
    struct stat opened;
    uint64_t id = 0;
    if (::fstat(fd, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino ||
        (origin.mountKnown && (!mountIdAt(fd, "", &id) || id != origin.mount))) {
        ::close(fd);
        noteMountPoint(error, path);
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
        if (removeIn(fd, path, n, origin, error, depth + 1) != 0) rc = -1;
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
    Origin origin;
    origin.device = parent.st_dev;
    origin.mountKnown = mountIdAt(parentFd, "", &origin.mount);
    return removeIn(parentFd, parentPath, name, origin, error, 0);
}

int SyncDirectory(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int rc = ::fsync(fd);
    ::close(fd);
    return rc;
}

namespace {
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
    const LumoSaveResult saved = LumoSaveFileAtomic(path, data.data(), data.size(), 0644);
    if (saved.ok()) return 0;
    errno = saved.sysError;
    if (error && error->empty()) *error = saved.message;
    return -1;
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
