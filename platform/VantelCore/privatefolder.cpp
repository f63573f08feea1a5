#include "VantelCore/privatefolder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fail(const std::string& path, const std::string& why, std::string* error) {
    if (error) *error = path + ": " + why;
    return false;
}

}  // namespace

bool VantelPreparePrivateFolder(const std::string& path, std::string* error) {
    if (path.empty()) return fail(path, "no folder named", error);
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return fail(path, std::strerror(errno), error);
    // O_NOFOLLOW: a link in the folder's place is refused here, not followed.
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode)) return fail(path, "is a symbolic link", error);
            if (!S_ISDIR(st.st_mode)) return fail(path, "is not a folder", error);
        }
        return fail(path, std::strerror(err), error);
    }
    struct stat st;
    std::string why;
    if (fstat(fd, &st) != 0)
        why = std::strerror(errno);
    else if (!S_ISDIR(st.st_mode))
        why = "is not a folder";
    // Someone else's folder would let that user read our files or put links in our place.
    else if (st.st_uid != geteuid())
        why = "belongs to user " + std::to_string(st.st_uid);
    else if ((st.st_mode & 077) != 0 && fchmod(fd, 0700) != 0)
        why = std::strerror(errno);
    close(fd);
    if (!why.empty()) return fail(path, why, error);
    if (error) error->clear();
    return true;
}

int VantelCreatePrivateFile(const std::string& path, mode_t mode) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

int VantelOpenPrivateFile(const std::string& path, int flags, mode_t mode) {
    const int fd = open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat st;
    int err = 0;
    if (fstat(fd, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode) || st.st_uid != geteuid())
        err = EPERM;
    if (err != 0) {
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}
