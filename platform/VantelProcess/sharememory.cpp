#include "VantelProcess/sharememory.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QSharedMemory>
#include <QString>
#include <algorithm>
#include <cstring>

#include "VantelCore/VantelCore.h"
#include "VantelCore/privatefolder.h"
#include "VantelProcess/singleapp.h"

namespace {

// A block under a native key (a key file in the user's folder). Qt offers no lock for native
// keys: the block's lock is an flock on a lock file beside it, which also serialises making and
// removing the block between processes.
struct ShareMem {
    QSharedMemory mem;  // used by the thread that calls with this handle, under lockFd's flock
    int lockFd = -1;    // fixed after ShareMemoryCreate
};

ShareMem* cast(SHAREMEMHANDLE h) {
    return static_cast<ShareMem*>(h);
}

bool lockBlock(ShareMem* sm) {
    while (flock(sm->lockFd, LOCK_EX) != 0)
        if (errno != EINTR) return false;
    return true;
}

void unlockBlock(ShareMem* sm) {
    flock(sm->lockFd, LOCK_UN);
}

}  // namespace

SHAREMEMHANDLE ShareMemoryCreate(const char* name, int create, int size) {
    if (!name || !*name || size <= 0) return nullptr;
    const QString plain = QString::fromUtf8(name);
    if (plain.contains(QLatin1Char('/')) || plain == QLatin1String(".") || plain == QLatin1String(".."))
        return nullptr;
    QString why;
    const QString folder = InstanceScope::Folder(&why);
    if (folder.isEmpty()) {
        VantelDBG_Printf_f(0x7fff, 1, "ShareMemoryCreate", "no shared memory: %s", why.toUtf8().constData());
        return nullptr;
    }
    const QString base = folder + QLatin1Char('/') + InstanceScope::Name(plain);

    auto* sm = new ShareMem;
    // Opened again by every console and writer: never through a link, and only our own file.
    sm->lockFd = VantelOpenPrivateFile(QFile::encodeName(base + QStringLiteral(".shmlock")).toStdString(),
                                       O_RDWR | O_CREAT, 0600);
    if (sm->lockFd < 0 || !lockBlock(sm)) {
        if (sm->lockFd >= 0) close(sm->lockFd);
        delete sm;
        return nullptr;
    }
    sm->mem.setNativeKey(base + QStringLiteral(".shm"));
    // Attach first: the other side may have made it already.
    bool ok = sm->mem.attach();
    if (!ok && create) {
        ok = sm->mem.create(size);
        if (ok) std::memset(sm->mem.data(), 0, static_cast<size_t>(sm->mem.size()));
    }
    unlockBlock(sm);
    if (!ok) {
        close(sm->lockFd);
        delete sm;
        return nullptr;
    }
    return sm;
}

int ShareMemoryRead(SHAREMEMHANDLE handle, int lock, void* buffer, int size) {
    ShareMem* sm = cast(handle);
    if (!sm || !buffer || size <= 0 || !sm->mem.isAttached()) return -1;
    if (lock && !lockBlock(sm)) return -1;
    const int n = std::min(size, sm->mem.size());
    std::memcpy(buffer, sm->mem.constData(), static_cast<size_t>(n));
    if (lock) unlockBlock(sm);
    return 0;
}

int ShareMemoryWrite(SHAREMEMHANDLE handle, int blockSize, int lock, const void* data, int length) {
    ShareMem* sm = cast(handle);
    if (!sm || !data || length < 0 || !sm->mem.isAttached()) return -1;
    if (length > blockSize || length > sm->mem.size()) return -1;
    if (lock && !lockBlock(sm)) return -1;
    std::memcpy(sm->mem.data(), data, static_cast<size_t>(length));
    if (lock) unlockBlock(sm);
    return 0;
}

int ShareMemorySize(SHAREMEMHANDLE handle) {
    ShareMem* sm = cast(handle);
    if (!sm || !sm->mem.isAttached()) return -1;
    return sm->mem.size();
}

int ShareMemoryDelete(SHAREMEMHANDLE handle) {
    ShareMem* sm = cast(handle);
    if (!sm) return -1;
    // The last detach removes the block and its key file: not while another process makes it.
    const bool locked = lockBlock(sm);
    sm->mem.detach();
    if (locked) unlockBlock(sm);
    close(sm->lockFd);
    delete sm;
    return 0;
}
