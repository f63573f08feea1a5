#include "sharememory.h"

#include <QSharedMemory>
#include <QString>
#include <algorithm>
#include <cstring>

namespace {

struct ShareMem {
    QSharedMemory mem;
};

ShareMem* cast(SHAREMEMHANDLE h) {
    return static_cast<ShareMem*>(h);
}

}  // namespace

SHAREMEMHANDLE ShareMemoryCreate(const char* name, int create, int size) {
    if (!name || !*name || size <= 0) return nullptr;
    auto* sm = new ShareMem;
    sm->mem.setKey(QString::fromUtf8(name));
    // Attach first: the other side may have made it already.
    if (sm->mem.attach()) return sm;
    if (create && sm->mem.create(size)) {
        sm->mem.lock();
        std::memset(sm->mem.data(), 0, static_cast<size_t>(sm->mem.size()));
        sm->mem.unlock();
        return sm;
    }
    // Lost a race with another creator: attach to theirs.
    if (create && sm->mem.error() == QSharedMemory::AlreadyExists && sm->mem.attach()) return sm;
    delete sm;
    return nullptr;
}

int ShareMemoryRead(SHAREMEMHANDLE handle, int lock, void* buffer, int size) {
    ShareMem* sm = cast(handle);
    if (!sm || !buffer || size <= 0 || !sm->mem.isAttached()) return -1;
    if (lock && !sm->mem.lock()) return -1;
    const int n = std::min(size, sm->mem.size());
    std::memcpy(buffer, sm->mem.constData(), static_cast<size_t>(n));
    if (lock) sm->mem.unlock();
    return 0;
}

int ShareMemoryWrite(SHAREMEMHANDLE handle, int blockSize, int lock, const void* data, int length) {
    ShareMem* sm = cast(handle);
    if (!sm || !data || length < 0 || !sm->mem.isAttached()) return -1;
    if (length > blockSize || length > sm->mem.size()) return -1;
    if (lock && !sm->mem.lock()) return -1;
    std::memcpy(sm->mem.data(), data, static_cast<size_t>(length));
    if (lock) sm->mem.unlock();
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
    delete sm;
    return 0;
}
