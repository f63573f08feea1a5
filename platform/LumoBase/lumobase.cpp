#include "LumoBase/LumoBase.h"
#include "LumoBase/lumoprint.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

ILumoCallback::ILumoCallback(CLumoObject* owner, LumoCallbackHandler handler) : m_owner(owner), m_handler(handler) {}

ILumoCallback::~ILumoCallback() = default;

int ILumoCallback::OnSignal(void* sender, int code, void* p1, void* p2) {
    return m_handler ? m_handler(m_owner, code, sender, p1, p2) : -1;
}

ILumoSignal::ILumoSignal(int code) : m_code(code) {}

ILumoSignal::~ILumoSignal() = default;

int ILumoSignal::Attach(ILumoCallback* observer, LumoSignalMember member) {
    if (!observer || !member) return -1;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (const Entry& e : m_entries)
        if (e.observer == observer && e.member == member) return -1;
    m_entries.push_back({observer, member});
    return 0;
}

int ILumoSignal::Detach(ILumoCallback* observer, LumoSignalMember member) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [&](const Entry& e) { return e.observer == observer && e.member == member; });
    if (it == m_entries.end()) return -1;
    m_entries.erase(it);
    return 0;
}

int ILumoSignal::Commit(void* sender, int code, void* p1, void* p2) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    // Work on a copy so that a handler may detach observers while we walk the list; an observer
    // detached during the walk is not called afterwards.
    const std::vector<Entry> snapshot = m_entries;
    int notified = 0;
    for (const Entry& e : snapshot) {
        bool still = std::any_of(m_entries.begin(), m_entries.end(),
                                 [&](const Entry& x) { return x.observer == e.observer && x.member == e.member; });
        if (!still) continue;
        (e.observer->*e.member)(sender, code, p1, p2);
        ++notified;
    }
    return notified;
}

int ILumoSignal::GetCount() const {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

char* CLumoString::Clone() const {
    char* copy = new char[m_text.size() + 1];
    std::memcpy(copy, m_text.c_str(), m_text.size() + 1);
    return copy;
}

int CLumoString::Find(const char* what, int from) const {
    if (!what || from < 0) return -1;
    size_t pos = m_text.find(what, static_cast<size_t>(from));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CLumoString& CLumoString::Append(const char* format, ...) {
    if (!format) return *this;
    va_list ap;
    va_start(ap, format);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n > 0) {
        std::string buf(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(&buf[0], buf.size(), format, ap);
        buf.resize(static_cast<size_t>(n));
        m_text += buf;
    }
    va_end(ap);
    return *this;
}

void CLumoString::ToLower() {
    for (char& c : m_text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

bool CLumoString::IsEqual(const char* a, const char* b) {
    if (!a || !b) return a == b;
    return std::strcmp(a, b) == 0;
}

namespace {
// Set once by a program's start, read by every thread that prints.
std::atomic<LumoPrintSink> g_printSink{nullptr};
}  // namespace

void LumoSetPrintSink(LumoPrintSink sink) { g_printSink.store(sink); }

void LumoPrintf(const char* format, ...) {
    if (!format) return;
    va_list ap;
    va_start(ap, format);
    va_list copy;
    va_copy(copy, ap);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(&text[0], text.size(), format, ap);
        text.resize(static_cast<size_t>(n));
    }
    va_end(ap);
    if (LumoPrintSink sink = g_printSink.load()) {
        size_t size = text.size();
        while (size > 0 && (text[size - 1] == '\n' || text[size - 1] == '\r')) --size;
        sink(text.data(), size);
        return;
    }
    // One write per call, so that lines of two threads do not mix.
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void LumoSleepMS(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

CLumoThread::~CLumoThread() { Stop(); }

int CLumoThread::Start(std::function<void(CLumoThread&)> body) {
    if (m_running.load() || m_thread.joinable()) return -1;
    m_stop = false;
    m_running = true;
    m_thread = std::thread([this, body]() {
        body(*this);
        m_running = false;
    });
    return 0;
}

void CLumoThread::Stop() {
    m_stop = true;
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();
        else
            m_thread.join();
    }
}
