// Recorder disks: finding the removable drives that carry a recording-engine disk at their root,
// and reading such a disk's block folders for the records a search asks for. Everything here only
// reads files: no drive is checked, repaired or mounted.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "LumoRecord/LumoRecord.h"
#include "lumocore_internal.h"
#include "LumoFS/LumoRecordAddress.h"

namespace lumocore {
namespace {

struct DiskSearch {
    std::mutex m;  // one search at a time per handle
};

HandleRegistry<DiskSearch>& DiskSearches() {
    static HandleRegistry<DiskSearch> r;
    return r;
}

std::mutex g_rootsMutex;  // guards the two paths below (any thread)
// The defaults, unless the environment names others (LUMO_DISK_SYSFS_ROOT, LUMO_DISK_MOUNTINFO):
// a whole program can then be run on a fixture tree that presents a folder as a removable drive.
std::string EnvOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}
std::string DefaultSysfsRoot() { return EnvOr("LUMO_DISK_SYSFS_ROOT", "/sys"); }
std::string DefaultMountinfo() { return EnvOr("LUMO_DISK_MOUNTINFO", "/proc/self/mountinfo"); }
std::string g_sysfsRoot = DefaultSysfsRoot();
std::string g_mountinfo = DefaultMountinfo();

std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A drive counts as removable when the kernel says so, or when its device hangs off a USB bus:
// USB hard disks and many card readers report removable 0.
bool IsRemovableDrive(const std::string& sysfs, const std::string& blockDir) {
    if (ReadFirstLine(blockDir + "/removable") == "1") return true;
    char real[PATH_MAX], top[PATH_MAX];
    if (!::realpath(blockDir.c_str(), real) || !::realpath(sysfs.c_str(), top)) return false;
    // Only the device path below the sysfs folder tells the bus.
    const std::string device(real), prefix(top);
    if (device.compare(0, prefix.size(), prefix) != 0) return false;
    return device.find("/usb", prefix.size()) != std::string::npos;
}

// "major:minor" of the drive and of each of its partitions.
std::vector<std::string> DeviceNumbers(const std::string& blockDir) {
    std::vector<std::string> numbers;
    const std::string own = ReadFirstLine(blockDir + "/dev");
    if (!own.empty()) numbers.push_back(own);
    for (const std::string& n : ListDir(blockDir)) {
        const std::string part = blockDir + "/" + n;
        if (!IsRegularFile(part + "/partition")) continue;
        const std::string dev = ReadFirstLine(part + "/dev");
        if (!dev.empty()) numbers.push_back(dev);
    }
    return numbers;
}

// The mount table writes space, tab, newline and backslash as \ooo.
std::string DecodeMountField(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct Mount {
    std::string device;  // "major:minor"
    std::string point;   // decoded
};

// Mounts of whole file systems (root "/"), in table order; bind mounts of a sub-folder are not
// a drive's root.
bool ReadMounts(const std::string& path, std::vector<Mount>* mounts) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string id, parent, device, root, point;
        if (!(ls >> id >> parent >> device >> root >> point)) continue;
        if (DecodeMountField(root) != "/") continue;
        mounts->push_back({device, DecodeMountField(point)});
    }
    return true;
}

int FindDisks(CLumoList* disks) {
    std::string sysfs, mountinfo;
    {
        std::lock_guard<std::mutex> lock(g_rootsMutex);
        sysfs = g_sysfsRoot;
        mountinfo = g_mountinfo;
    }
    std::vector<Mount> mounts;
    if (!ReadMounts(mountinfo, &mounts)) return LUMO_ERR_IO;
    std::vector<std::string> removable;  // device numbers of removable drives and their partitions
    const std::string blockRoot = sysfs + "/block";
    for (const std::string& drive : ListDir(blockRoot)) {
        const std::string dir = blockRoot + "/" + drive;
        if (!IsRemovableDrive(sysfs, dir)) continue;
        for (const std::string& n : DeviceNumbers(dir)) removable.push_back(n);
    }
    std::vector<std::string> listed;
    for (const Mount& m : mounts) {
        if (std::find(removable.begin(), removable.end(), m.device) == removable.end()) continue;
        if (std::find(listed.begin(), listed.end(), m.point) != listed.end()) continue;
        const std::string root = m.point == "/" ? std::string() : m.point;
        if (!IsRegularFile(root + "/" LUMO_RECORDER_DISK_MARK)) continue;
        listed.push_back(m.point);
        disks->AddTail(m.point.c_str());
    }
    return LUMO_OK;
}

// ---- one recorder disk ----------------------------------------------------------------------

struct RecordFile {
    std::string block;  // absolute folder
    std::string name;
    int channel = 0;  // from 1
    int stream = 0;
    int recordType = 0;
    int64_t startMs = 0;
    int64_t endMs = 0;
};

// "blk" and five digits.
bool IsBlockName(const std::string& n) {
    return n.size() == 8 && n.compare(0, 3, "blk") == 0 &&
           std::all_of(n.begin() + 3, n.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// cCC_sS_rR_YYYYMMDD_HHMMSS.<dav|mp4|avi>; the name must read back exactly as it was written.
bool ReadRecordName(const std::string& name, RecordFile* f, CLumoTime* start) {
    int ch = 0, st = 0, rt = 0, ymd = 0, hms = 0;
    char ext[8] = {0};
    if (name.size() > 40 ||
        std::sscanf(name.c_str(), "c%2d_s%1d_r%2d_%8d_%6d.%3[a-zA-Z0-9]", &ch, &st, &rt, &ymd, &hms, ext) != 6)
        return false;
    char back[64];
    std::snprintf(back, sizeof back, "c%02d_s%d_r%d_%08d_%06d.%s", ch, st, rt, ymd, hms, ext);
    if (name != back) return false;
    std::string e(ext);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (e != "dav" && e != "mp4" && e != "avi") return false;
    if (ch < 1 || st > 2 || rt > 15) return false;
    start->SetYear(ymd / 10000);
    start->SetMonth(ymd / 100 % 100);
    start->SetDay(ymd % 100);
    start->SetHour(hms / 10000);
    start->SetMinute(hms / 100 % 100);
    start->SetSecond(hms % 100);
    start->SetMS(0);
    if (start->GetMonth() < 1 || start->GetMonth() > 12 || start->GetDay() < 1 || start->GetDay() > 31 ||
        start->GetHour() > 23 || start->GetMinute() > 59 || start->GetSecond() > 59)
        return false;
    f->name = name;
    f->channel = ch;
    f->stream = st;
    f->recordType = rt;
    return true;
}

bool Wanted(const ILumoFSSearchParam* p, int channel, int stream, int recordType) {
    if (channel > 64) return false;
    if (!(p->GetChannelMask(stream) & (uint64_t(1) << (channel - 1)))) return false;
    if (p->GetStreamType() >= 0 && p->GetStreamType() != stream) return false;
    return (p->GetRecordType() >> recordType) & 1u;
}

int64_t ModifiedMs(const std::string& path, uint64_t* size) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return 0;
    if (size) *size = static_cast<uint64_t>(st.st_size);
    return int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

}  // namespace

int SearchRecorderDisk(const char* disk, const ILumoFSSearchParam* param, CLumoFileDescList* found) {
    const std::string root(disk);
    if (!IsRegularFile((root == "/" ? std::string() : root) + "/" LUMO_RECORDER_DISK_MARK)) return LUMO_ERR_NOTFOUND;
    if (param->GetMediaType() != 0 && param->GetMediaType() != 1) return LUMO_ERR_NOMORE;  // video records only
    DIR* top = ::opendir(root.c_str());
    if (!top) return LUMO_ERR_IO;
    ::closedir(top);
    const int64_t fromMs = param->GetTimeS().ToEpochMs();
    const int64_t toMs = param->GetTimeE().ToEpochMs();

    std::vector<RecordFile> hits;
    const std::string base = root == "/" ? std::string() : root;
    for (const std::string& b : ListDir(root)) {
        if (!IsBlockName(b)) continue;
        const std::string dir = base + "/" + b;
        // Files of one channel and stream in start order, so each one's end is the next's start.
        std::vector<RecordFile> files;
        for (const std::string& n : ListDir(dir)) {
            RecordFile f;
            CLumoTime start;
            if (!ReadRecordName(n, &f, &start) || !Wanted(param, f.channel, f.stream, f.recordType)) continue;
            f.block = dir;
            f.startMs = start.ToEpochMs();
            files.push_back(std::move(f));
        }
        std::stable_sort(files.begin(), files.end(), [](const RecordFile& a, const RecordFile& c) {
            if (a.channel != c.channel) return a.channel < c.channel;
            if (a.stream != c.stream) return a.stream < c.stream;
            return a.startMs < c.startMs;
        });
        for (size_t i = 0; i < files.size(); ++i) {
            RecordFile& f = files[i];
            const bool hasNext = i + 1 < files.size() && files[i + 1].channel == f.channel &&
                                 files[i + 1].stream == f.stream;
            if (f.startMs > toMs) continue;
            if (hasNext) {
                f.endMs = files[i + 1].startMs;
            } else {
                // Start times are read as local time into epoch milliseconds, as the change time is.
                f.endMs = std::max(f.startMs, ModifiedMs(dir + "/" + f.name, nullptr));
            }
            if (f.endMs < fromMs) continue;
            hits.push_back(f);
        }
    }
    if (hits.empty()) return LUMO_ERR_NOMORE;
    std::stable_sort(hits.begin(), hits.end(), [](const RecordFile& a, const RecordFile& c) {
        if (a.startMs != c.startMs) return a.startMs < c.startMs;
        if (a.channel != c.channel) return a.channel < c.channel;
        return a.stream < c.stream;
    });
    int listed = 0;
    for (const RecordFile& f : hits) {
        auto d = std::make_unique<CLumoFileDesc>();
        d->SetURI(LumoRecordAddress::DiskRecord(root, f.block, f.name).Build().c_str());
        d->SetFileName(f.name.c_str());
        d->SetSaveFileName(f.name.c_str());
        d->SetChannel(f.channel - 1);
        d->SetStreamType(f.stream);
        d->SetRecordType(f.recordType);
        // A record ends where its own media ends: a recorder may leave gaps between its files, so
        // the next file's start only bounds it. A file that cannot be read keeps that bound.
        d->SetTimeS(CLumoTime::FromEpochMs(f.startMs));
        int64_t endMs = f.endMs;
        if (LumoRecordProbeDesc(d.get()) == LUMO_OK && !d->GetTimeE().IsEmpty()) {
            const int64_t ownEnd = d->GetTimeE().ToEpochMs();
            if (ownEnd > f.startMs && (ownEnd < endMs || endMs <= f.startMs)) endMs = ownEnd;
        }
        if (endMs < fromMs) continue;
        d->SetTimeS(CLumoTime::FromEpochMs(f.startMs));
        d->SetTimeE(CLumoTime::FromEpochMs(endMs));
        uint64_t size = 0;
        ModifiedMs(f.block + "/" + f.name, &size);
        d->SetSize(size);
        found->Append(d.release());
        ++listed;
    }
    return listed ? LUMO_OK : LUMO_ERR_NOMORE;
}

}  // namespace lumocore

using namespace lumocore;

void LumoDiskSearchSetRoots(const char* sysfsRoot, const char* mountinfoPath) {
    std::lock_guard<std::mutex> lock(g_rootsMutex);
    g_sysfsRoot = sysfsRoot && *sysfsRoot ? sysfsRoot : DefaultSysfsRoot();
    g_mountinfo = mountinfoPath && *mountinfoPath ? mountinfoPath : DefaultMountinfo();
}

int LumoDiskSearchCreate(void** search, const char* url, CLumoList*) {
    if (!search) return LUMO_ERR_PARAM;
    *search = nullptr;
    LumoRecordAddress a;
    if (!url || !LumoRecordAddress::Parse(url, &a)) return LUMO_ERR_PARAM;
    if (a.GetScheme() != LumoRecordAddress::SCHEME_LUMOFS || a.GetHost() != "local" || !a.GetResource().empty() ||
        !a.Params().empty())
        return LUMO_ERR_UNSUPPORTED;
    *search = DiskSearches().Add(std::make_shared<DiskSearch>());
    return LUMO_OK;
}

int LumoDiskSearch(void* search, CLumoList* disks) {
    auto s = search ? DiskSearches().Get(search) : nullptr;
    if (!s || !disks) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(s->m);
    return FindDisks(disks);
}

int LumoDiskSearchDelete(void* search) {
    return DiskSearches().Remove(search) ? LUMO_OK : LUMO_ERR_PARAM;
}
