#include <QCryptographicHash>
#include <QFile>
#include <QHostInfo>
#include <map>
#include <mutex>

#include "LumoCClient/LumoCClient.h"
#include "LumoFS/LumoRecorderUrl.h"

namespace {

struct Device {
    std::string address;
    std::string guid;
    std::string recordUrl;  // a network recorder's own URL; empty: made from the address
};

std::mutex g_mutex;
std::map<int64_t, Device>& Devices() {
    static std::map<int64_t, Device> devices;
    return devices;
}

// The local recorder's identity: stable per machine, in the colon-separated form of device GUIDs.
std::string LocalGuid() {
    QByteArray seed;
    QFile f("/etc/machine-id");
    if (f.open(QIODevice::ReadOnly)) seed = f.readAll().trimmed();
    if (seed.isEmpty()) seed = QHostInfo::localHostName().toUtf8();
    QByteArray hex = QCryptographicHash::hash(seed, QCryptographicHash::Sha1).toHex().toUpper().left(12);
    std::string out;
    for (int i = 0; i < hex.size(); i += 2) {
        if (!out.empty()) out += ':';
        out += hex.mid(i, 2).toStdString();
    }
    return out;
}

const Device* Find(int64_t id) {
    auto& d = Devices();
    if (d.empty()) d[0] = Device{"127.0.0.1", LocalGuid(), {}};
    auto it = d.find(id);
    return it == d.end() ? nullptr : &it->second;
}

}  // namespace

int LumoCAddDev(int64_t deviceId, const char* address, const char* guid) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Find(0);
    Devices()[deviceId] = Device{address ? address : "", guid ? guid : "", {}};
    return 0;
}

int64_t LumoCAddRecorder(const char* recorderUrl) {
    LumoRecorderUrl url;
    if (!recorderUrl || !LumoRecorderUrl::Parse(recorderUrl, &url)) return -1;
    const std::string address = url.HostPort();
    std::lock_guard<std::mutex> lock(g_mutex);
    Find(0);
    auto& devices = Devices();
    for (const auto& d : devices)
        if (d.first > 0 && d.second.recordUrl == recorderUrl) return d.first;
    const int64_t id = devices.rbegin()->first + 1;
    devices[id] = Device{address, address, recorderUrl};
    return id;
}

int LumoCGetDev(void*, int64_t deviceId, IVantelDataDEV* dev) {
    if (!dev) return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    const Device* d = Find(deviceId);
    if (!d) return -1;
    dev->SetID(deviceId);
    dev->SetAddress(d->address);
    dev->SetGUID(d->guid);
    return 0;
}

IVantelData* LumoCGetVantelObject(void*, int objectType, int64_t id) {
    if (objectType != VANTEL_OBJ_CHANNEL_REF || id < 0) return nullptr;
    int64_t device = id >> 16;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!Find(device)) return nullptr;
    }
    IVantelDataCHN* chn = IVantelDataCHN::CreateObject();
    chn->SetID(id);
    chn->SetDeviceId(device);
    chn->SetChnIndex(static_cast<int>(id & 0xffff));
    return chn;
}

int LumoCRECGetDeviceURL(void*, int64_t deviceId, CLumoString* url) {
    if (!url) return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    const Device* d = Find(deviceId);
    if (!d) return -1;
    if (!d->recordUrl.empty())
        url->Copy(d->recordUrl.c_str());
    else if (deviceId == 0 || d->address == "127.0.0.1")
        url->Copy("lumofs://localhost/media");
    else {
        url->Empty();
        url->Append("lumofs://%s/media", d->address.c_str());
    }
    return 0;
}
