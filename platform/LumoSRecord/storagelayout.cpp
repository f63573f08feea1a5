#include "storagelayout.h"

#include <cctype>
#include <cstdio>

#include "LumoBase/LumoBase.h"

namespace kesto {

const char* const kMarkerName = "kestodisk.marker";
const char* const kRecorderMarkName = "index.bin";
const char* const kBlockIniName = "block.ini";
const char* const kIndexCacheName = ".kestoindex";

namespace {
bool allDigits(const std::string& s, size_t from, size_t n) {
    if (from + n > s.size()) return false;
    for (size_t i = from; i < from + n; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}
int number(const std::string& s, size_t from, size_t n) {
    return std::stoi(s.substr(from, n));
}
}  // namespace

int ParseBlockDirName(const std::string& name) {
    if (name.size() != 8 || name.compare(0, 3, "blk") != 0 || !allDigits(name, 3, 5)) return -1;
    return number(name, 3, 5);
}

std::string MakeBlockDirName(int n) {
    if (n < 0 || n > 99999) return std::string();
    char buf[16];
    std::snprintf(buf, sizeof buf, "blk%05d", n);
    return buf;
}

bool IsRecordExtension(const std::string& ext) {
    return ext == "dav" || ext == "mp4" || ext == "avi";
}

bool ParseRecordFileName(const std::string& name, RecordName* out) {
    // cCC_sS_rR_YYYYMMDD_HHMMSS.ext ; R may have two digits.
    if (name.size() < 26 || name[0] != 'c' || !allDigits(name, 1, 2) || name.compare(3, 2, "_s") != 0 ||
        !allDigits(name, 5, 1) || name.compare(6, 2, "_r") != 0)
        return false;
    size_t p = 8;
    size_t rLen = allDigits(name, p, 2) ? 2 : (allDigits(name, p, 1) ? 1 : 0);
    if (!rLen) return false;
    RecordName r;
    r.channel = number(name, 1, 2);
    r.stream = number(name, 5, 1);
    r.recordType = number(name, p, rLen);
    p += rLen;
    if (p + 17 > name.size() || name[p] != '_' || !allDigits(name, p + 1, 8) || name[p + 9] != '_' ||
        !allDigits(name, p + 10, 6) || name[p + 16] != '.')
        return false;
    CLumoTime t;
    t.SetYear(number(name, p + 1, 4));
    t.SetMonth(number(name, p + 5, 2));
    t.SetDay(number(name, p + 7, 2));
    t.SetHour(number(name, p + 10, 2));
    t.SetMinute(number(name, p + 12, 2));
    t.SetSecond(number(name, p + 14, 2));
    std::string ext = name.substr(p + 17);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (r.channel < 1 || r.stream > 2 || r.recordType > 15 || !IsRecordExtension(ext)) return false;
    if (t.GetYear() < 2000 || t.GetYear() > 2200 || t.GetMonth() < 1 || t.GetMonth() > 12 || t.GetDay() < 1 ||
        t.GetDay() > 31 || t.GetHour() > 23 || t.GetMinute() > 59 || t.GetSecond() > 59)
        return false;
    // Reject dates that do not exist (31 February): they would come back as another day.
    const int64_t ms = t.ToEpochMs();
    CLumoTime back = CLumoTime::FromEpochMs(ms);
    if (back.GetDay() != t.GetDay() || back.GetMonth() != t.GetMonth()) return false;
    r.startMs = ms;
    r.extension = ext;
    if (out) *out = r;
    return true;
}

std::string MakeRecordFileName(const RecordName& r) {
    if (r.channel < 1 || r.channel > 99 || r.stream < 0 || r.stream > 2 || r.recordType < 0 ||
        r.recordType > 15 || !IsRecordExtension(r.extension))
        return std::string();
    const CLumoTime t = CLumoTime::FromEpochMs(r.startMs);
    char buf[64];
    std::snprintf(buf, sizeof buf, "c%02d_s%d_r%d_%04d%02d%02d_%02d%02d%02d.%s", r.channel, r.stream,
                  r.recordType, t.GetYear(), t.GetMonth(), t.GetDay(), t.GetHour(), t.GetMinute(),
                  t.GetSecond(), r.extension.c_str());
    return buf;
}

}  // namespace kesto
