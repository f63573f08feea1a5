// The recorder file system object: one per process, reference counted. It keeps the set-up the
// console hands it (block-size word, open flags, disk-full policy) and mounts the disks through
// the engine that registered a mount handler.
#include "LumoFS/LumoFS.h"

#include <atomic>
#include <mutex>

namespace {

class CLumoFileSystem final : public ILumoFS {
public:
    int SetBlockClusters(int clusters) override {
        if (clusters <= 0 || clusters > 65536) return -1;
        m_clusters = clusters;
        return 0;
    }
    int SetOpenFlags(int flags) override {
        m_flags = flags;
        return 0;
    }
    int Open() override {
        // Serialises mounting only; the policy and the counters stay lock-free so that a writer
        // inside the engine may read them while a mount handler runs.
        std::lock_guard<std::mutex> lock(m_mountMutex);
        int rc = callHandler(1);
        if (rc == 0) m_open = true;
        return rc;
    }
    int Close() override {
        std::lock_guard<std::mutex> lock(m_mountMutex);
        int rc = callHandler(0);
        m_open = false;
        return rc;
    }
    int SetDiskFullPolicy(const int32_t* overwrite) override {
        if (!overwrite) return -1;
        m_overwrite = *overwrite != 0 ? 1 : 0;
        return 0;
    }
    int GetDiskFullPolicy() const override { return m_overwrite.load(); }
    int AddRef() override { return ++m_refs; }
    int Release() override {
        // The object lives for the whole process; the count only tells who still holds it.
        int left = --m_refs;
        return left < 0 ? (m_refs = 0, 0) : left;
    }
    int GetBlockClusters() const override { return m_clusters.load(); }
    int GetOpenFlags() const override { return m_flags.load(); }
    bool IsOpen() const override { return m_open.load(); }

    void SetHandler(LumoFSMountHandler handler, void* context) {
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        m_handler = handler;
        m_context = context;
    }

private:
    int callHandler(int mount) {
        LumoFSMountHandler handler;
        void* context;
        {
            std::lock_guard<std::mutex> lock(m_handlerMutex);
            handler = m_handler;
            context = m_context;
        }
        return handler ? handler(context, mount) : 0;
    }

    std::atomic<int> m_refs{0};
    std::atomic<int> m_clusters{256};
    std::atomic<int> m_flags{0};
    std::atomic<int> m_overwrite{0};
    std::atomic<bool> m_open{false};
    std::mutex m_mountMutex;
    std::mutex m_handlerMutex;
    LumoFSMountHandler m_handler = nullptr;
    void* m_context = nullptr;
};

CLumoFileSystem& fileSystem() {
    static CLumoFileSystem* fs = new CLumoFileSystem();  // never destroyed: engines may outlive statics
    return *fs;
}

}  // namespace

int LumoFSGetFileSystem(ILumoFS** fs) {
    if (!fs) return -1;
    CLumoFileSystem& obj = fileSystem();
    obj.AddRef();
    *fs = &obj;
    return 0;
}

void LumoFSSetMountHandler(LumoFSMountHandler handler, void* context) {
    fileSystem().SetHandler(handler, context);
}
