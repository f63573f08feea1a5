// LumoBase: the base objects every engine call passes through: the object root, the observer
// pair, 8-bit strings, calendar times, a mutex with its guard, a thread and the trace output.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Root of every platform object that hands itself to a callback.
class CLumoObject {
public:
    CLumoObject() = default;
    virtual ~CLumoObject() = default;
};

// Handler of a callback: (owner, code, sender, first pointer, second pointer).
typedef int (*LumoCallbackHandler)(CLumoObject* owner, int code, void* sender, void* p1, void* p2);

// A callback object: an engine or task calls OnSignal; the handler receives the owner first.
class ILumoCallback {
public:
    ILumoCallback(CLumoObject* owner, LumoCallbackHandler handler);
    virtual ~ILumoCallback();
    virtual int OnSignal(void* sender, int code, void* p1, void* p2);
    CLumoObject* GetOwner() const { return m_owner; }

private:
    CLumoObject* m_owner;
    LumoCallbackHandler m_handler;
};

typedef int (ILumoCallback::*LumoSignalMember)(void* sender, int code, void* p1, void* p2);

// Keeps attached observers and notifies each of them on Commit. Thread-safe; an observer may
// detach itself (or another) from inside its handler.
class ILumoSignal {
public:
    explicit ILumoSignal(int code = 0);
    ~ILumoSignal();
    int Attach(ILumoCallback* observer, LumoSignalMember member);  // 0, or -1 when already attached / null
    int Detach(ILumoCallback* observer, LumoSignalMember member);  // 0, or -1 when not attached
    int Commit(void* sender, int code, void* p1, void* p2);        // number of observers notified
    int GetCount() const;
    int GetCode() const { return m_code; }

private:
    struct Entry {
        ILumoCallback* observer;
        LumoSignalMember member;
    };
    int m_code;
    mutable std::recursive_mutex m_mutex;
    std::vector<Entry> m_entries;
};

// 8-bit engine string (UTF-8 on this platform).
class CLumoString {
public:
    CLumoString() = default;
    CLumoString(const char* text) : m_text(text ? text : "") {}
    CLumoString(const std::string& text) : m_text(text) {}

    const char* GetBuffer() const { return m_text.c_str(); }
    const std::string& Str() const { return m_text; }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    void Copy(const char* text) { m_text = text ? text : ""; }
    // A heap copy of the text that the caller frees with delete[].
    char* Clone() const;
    // Position of the first occurrence of `what` at or after `from`, or -1.
    int Find(const char* what, int from = 0) const;
    // printf-style append.
    CLumoString& Append(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ToLower();

    static bool IsEqual(const char* a, const char* b);
    static bool IsEmpty(const char* a) { return a == nullptr || *a == '\0'; }

    bool operator==(const CLumoString& o) const { return m_text == o.m_text; }
    bool operator!=(const CLumoString& o) const { return m_text != o.m_text; }

private:
    std::string m_text;
};

// Calendar time in local wall-clock terms with millisecond precision.
// The engine's packed 4-byte date-time word: second in bits 0-5, minute 6-11, hour 12-16,
// day 17-21, month 22-25, year - 2000 in 26-31 (so 2000 to 2063); the second word carries
// the milliseconds.
class CLumoTime {
public:
    CLumoTime() = default;
    CLumoTime(const CLumoTime&) = default;
    CLumoTime& operator=(const CLumoTime&) = default;
    // From the packed engine word and the second word (milliseconds).
    CLumoTime(uint32_t packed, int ms);

    void SetYear(int v) { m_year = v; }
    void SetMonth(int v) { m_month = v; }
    void SetDay(int v) { m_day = v; }
    void SetHour(int v) { m_hour = v; }
    void SetMinute(int v) { m_minute = v; }
    void SetSecond(int v) { m_second = v; }
    void SetMS(int v) { m_ms = v; }
    int GetYear() const { return m_year; }
    int GetMonth() const { return m_month; }
    int GetDay() const { return m_day; }
    int GetHour() const { return m_hour; }
    int GetMinute() const { return m_minute; }
    int GetSecond() const { return m_second; }
    int GetMS() const { return m_ms; }

    bool IsEmpty() const { return m_year == 0; }
    void Empty() { *this = CLumoTime(); }
    // Adds a signed number of milliseconds (normalising across days, months and years).
    void Add(int64_t ms);
    // The packed word, or 0 for an empty time or one outside 2000-2063.
    uint32_t ToPacked() const;
    uint32_t GetPacked() const { return ToPacked(); }
    // Difference in whole seconds.
    int64_t operator-(const CLumoTime& earlier) const { return GetTimeSpan(*this, earlier) / 1000; }

    // Milliseconds since the Unix epoch, reading the fields as local time; 0 for an empty time.
    int64_t ToEpochMs() const;
    static CLumoTime FromEpochMs(int64_t ms);
    static CLumoTime Now();

    // later - earlier in milliseconds.
    static int64_t GetTimeSpan(const CLumoTime& later, const CLumoTime& earlier);

    // "yyyy-MM-dd HH:mm:ss", with ".zzz" appended when withMs is true.
    void ToString(CLumoString& out, bool withMs) const;
    // "yyyy-MM-ddTHH:mm:ss[.zzz]" (a trailing zone designator is accepted and ignored).
    bool ParseISO8601(const char* text);
    void BuildISO8601(CLumoString& out) const;

    bool operator<(const CLumoTime& o) const { return Compare(o) < 0; }
    bool operator<=(const CLumoTime& o) const { return Compare(o) <= 0; }
    bool operator>(const CLumoTime& o) const { return Compare(o) > 0; }
    bool operator==(const CLumoTime& o) const { return Compare(o) == 0; }
    bool operator!=(const CLumoTime& o) const { return Compare(o) != 0; }
    int Compare(const CLumoTime& o) const;

private:
    int m_year = 0, m_month = 0, m_day = 0, m_hour = 0, m_minute = 0, m_second = 0, m_ms = 0;
};

class CLumoMutex {
public:
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

class CLumoGuard {
public:
    explicit CLumoGuard(CLumoMutex& m) : m_mutex(m) { m_mutex.Lock(); }
    ~CLumoGuard() { m_mutex.Unlock(); }
    CLumoGuard(const CLumoGuard&) = delete;
    CLumoGuard& operator=(const CLumoGuard&) = delete;

private:
    CLumoMutex& m_mutex;
};

// A joinable worker thread; Stop asks the body to end (IsStopping) and joins it.
//
// Contract: one dedicated thread per object, running one body at a time. Start fails (-1) while a
// thread is running or has ended without being joined: Stop comes between two Starts. The body
// polls IsStopping and returns soon after; Stop and the destructor block until it has returned,
// except when called on the thread itself, which is then detached and ends on its own (the object
// must outlive it). Start and Stop are not safe against each other: the owner serialises them
// (the download's locks do). Nothing is handed back to another thread; the body reports by itself.
class CLumoThread {
public:
    CLumoThread() = default;
    virtual ~CLumoThread();
    int Start(std::function<void(CLumoThread&)> body);
    void Stop();
    bool IsRunning() const { return m_running.load(); }
    bool IsStopping() const { return m_stop.load(); }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
};

void LumoPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LumoSleepMS(int ms);
