#include "VantelProcess/crashcoredump.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

namespace {

// Everything the handler needs is prepared beforehand: in a signal handler only async-signal-safe
// calls are allowed (no malloc, no stdio).
char g_folder[2048];
char g_program[256] = "program";
bool g_folderSet = false;
bool g_installed = false;
char g_altStack[64 * 1024];

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void appendText(char* buf, size_t size, const char* text) {
    size_t len = strlen(buf);
    while (*text && len + 1 < size) buf[len++] = *text++;
    buf[len] = '\0';
}

void appendNumber(char* buf, size_t size, long long v) {
    char digits[24];
    int n = 0;
    bool neg = v < 0;
    unsigned long long u = neg ? static_cast<unsigned long long>(-v) : static_cast<unsigned long long>(v);
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u && n < 22);
    if (neg) digits[n++] = '-';
    char out[24];
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = '\0';
    appendText(buf, size, out);
}

void writeText(int fd, const char* text) {
    size_t left = strlen(text);
    while (left > 0) {
        ssize_t w = write(fd, text, left);
        if (w <= 0) return;
        text += w;
        left -= static_cast<size_t>(w);
    }
}

const char* signalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}

void onFatalSignal(int sig, siginfo_t* info, void*) {
    mkdir(g_folder, 0755);
    char path[2400] = "";
    appendText(path, sizeof path, g_folder);
    appendText(path, sizeof path, "/");
    appendText(path, sizeof path, g_program);
    appendText(path, sizeof path, "-");
    appendNumber(path, sizeof path, getpid());
    appendText(path, sizeof path, "-");
    appendNumber(path, sizeof path, static_cast<long long>(time(nullptr)));
    appendText(path, sizeof path, ".dmp");
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        char line[256] = "signal ";
        appendNumber(line, sizeof line, sig);
        appendText(line, sizeof line, " (");
        appendText(line, sizeof line, signalName(sig));
        appendText(line, sizeof line, ")\npid ");
        appendNumber(line, sizeof line, getpid());
        appendText(line, sizeof line, "\nfault address 0x");
        writeText(fd, line);
        char hex[20];
        unsigned long long addr = info ? reinterpret_cast<unsigned long long>(info->si_addr) : 0;
        int n = 0;
        do {
            hex[n++] = "0123456789abcdef"[addr & 0xF];
            addr >>= 4;
        } while (addr && n < 16);
        char rev[20];
        for (int i = 0; i < n; ++i) rev[i] = hex[n - 1 - i];
        rev[n] = '\0';
        writeText(fd, rev);
        writeText(fd, "\nbacktrace:\n");
        void* frames[64];
        int count = backtrace(frames, 64);
        backtrace_symbols_fd(frames, count, fd);
        close(fd);
    }
    // SA_RESETHAND restored the default action: end as the signal would have.
    raise(sig);
}

void defaultFolder() {
    char exe[2048];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        strcpy(g_folder, "dumps");
        return;
    }
    exe[n] = '\0';
    char* slash = strrchr(exe, '/');
    if (slash) {
        g_program[0] = '\0';
        appendText(g_program, sizeof g_program, slash + 1);
        *slash = '\0';
    }
    g_folder[0] = '\0';
    appendText(g_folder, sizeof g_folder, exe);
    appendText(g_folder, sizeof g_folder, "/dumps");
}

}  // namespace

void CrashCoreDumpSetFolder(const char* folder) {
    if (!folder) return;
    g_folder[0] = '\0';
    appendText(g_folder, sizeof g_folder, folder);
    g_folderSet = true;
}

const char* CrashCoreDumpFolder() {
    if (!g_folderSet && g_folder[0] == '\0') defaultFolder();
    return g_folder;
}

void CrashCoreDump() {
    if (g_installed) return;
    // Learns the program's name (for the file names) and, unless set, the folder.
    char folder[sizeof g_folder];
    strcpy(folder, g_folder);
    defaultFolder();
    if (g_folderSet) strcpy(g_folder, folder);
    // backtrace() loads its unwinder on first use, which may allocate: do that now.
    void* warm[4];
    backtrace(warm, 4);

    stack_t ss;
    memset(&ss, 0, sizeof ss);
    ss.ss_sp = g_altStack;
    ss.ss_size = sizeof g_altStack;
    sigaltstack(&ss, nullptr);  // a stack overflow still gets its dump

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = onFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : kSignals) sigaction(sig, &sa, nullptr);
    g_installed = true;
}
