#include "LumoBase/LumoBase.h"

#include <chrono>
#include <cstdio>
#include <ctime>

CLumoTime::CLumoTime(uint32_t packed, int ms) {
    if (packed == 0) return;
    m_year = static_cast<int>(packed >> 26) + 2000;
    m_month = static_cast<int>((packed >> 22) & 0xF);
    m_day = static_cast<int>((packed >> 17) & 0x1F);
    m_hour = static_cast<int>((packed >> 12) & 0x1F);
    m_minute = static_cast<int>((packed >> 6) & 0x3F);
    m_second = static_cast<int>(packed & 0x3F);
    m_ms = (ms >= 0 && ms < 1000) ? ms : 0;
}

uint32_t CLumoTime::ToPacked() const {
    if (IsEmpty() || m_year < 2000 || m_year > 2063) return 0;
    return (static_cast<uint32_t>(m_year - 2000) << 26) | (static_cast<uint32_t>(m_month & 0xF) << 22) |
           (static_cast<uint32_t>(m_day & 0x1F) << 17) | (static_cast<uint32_t>(m_hour & 0x1F) << 12) |
           (static_cast<uint32_t>(m_minute & 0x3F) << 6) | static_cast<uint32_t>(m_second & 0x3F);
}

int64_t CLumoTime::ToEpochMs() const {
    if (IsEmpty()) return 0;
    std::tm tm{};
    tm.tm_year = m_year - 1900;
    tm.tm_mon = m_month - 1;
    tm.tm_mday = m_day;
    tm.tm_hour = m_hour;
    tm.tm_min = m_minute;
    tm.tm_sec = m_second;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm)) * 1000 + m_ms;
}

CLumoTime CLumoTime::FromEpochMs(int64_t ms) {
    CLumoTime t;
    int64_t secs = ms / 1000;
    int64_t rem = ms % 1000;
    if (rem < 0) {
        rem += 1000;
        secs -= 1;
    }
    std::time_t tt = static_cast<std::time_t>(secs);
    std::tm tm{};
    localtime_r(&tt, &tm);
    t.m_year = tm.tm_year + 1900;
    t.m_month = tm.tm_mon + 1;
    t.m_day = tm.tm_mday;
    t.m_hour = tm.tm_hour;
    t.m_minute = tm.tm_min;
    t.m_second = tm.tm_sec;
    t.m_ms = static_cast<int>(rem);
    return t;
}

CLumoTime CLumoTime::Now() {
    using namespace std::chrono;
    return FromEpochMs(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

void CLumoTime::Add(int64_t ms) {
    if (IsEmpty()) return;
    *this = FromEpochMs(ToEpochMs() + ms);
}

int64_t CLumoTime::GetTimeSpan(const CLumoTime& later, const CLumoTime& earlier) {
    return later.ToEpochMs() - earlier.ToEpochMs();
}

int CLumoTime::Compare(const CLumoTime& o) const {
    const int a[] = {m_year, m_month, m_day, m_hour, m_minute, m_second, m_ms};
    const int b[] = {o.m_year, o.m_month, o.m_day, o.m_hour, o.m_minute, o.m_second, o.m_ms};
    for (int i = 0; i < 7; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

void CLumoTime::ToString(CLumoString& out, bool withMs) const {
    char buf[64];
    if (withMs)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", m_year, m_month, m_day, m_hour, m_minute,
                      m_second, m_ms);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", m_year, m_month, m_day, m_hour, m_minute,
                      m_second);
    out.Copy(buf);
}

bool CLumoTime::ParseISO8601(const char* text) {
    if (!text) return false;
    int y, mo, d, h = 0, mi = 0, s = 0, n = 0;
    if (std::sscanf(text, "%4d-%2d-%2d%n", &y, &mo, &d, &n) != 3) return false;
    const char* p = text + n;
    int ms = 0;
    if (*p == 'T' || *p == ' ') {
        int m = 0;
        if (std::sscanf(p + 1, "%2d:%2d:%2d%n", &h, &mi, &s, &m) != 3) return false;
        p += 1 + m;
        if (*p == '.' || *p == ',') {
            ++p;
            int digits = 0;
            while (*p >= '0' && *p <= '9') {
                if (digits < 3) ms = ms * 10 + (*p - '0');
                ++digits;
                ++p;
            }
            if (digits == 0) return false;
            for (int i = digits; i < 3; ++i) ms *= 10;
        }
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60) return false;
    m_year = y;
    m_month = mo;
    m_day = d;
    m_hour = h;
    m_minute = mi;
    m_second = s;
    m_ms = ms;
    return true;
}

void CLumoTime::BuildISO8601(CLumoString& out) const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", m_year, m_month, m_day, m_hour, m_minute,
                  m_second, m_ms);
    out.Copy(buf);
}
