#include "startup.h"

#include <QFile>
#include <QDebug>
#include <QSettings>
#include <sys/stat.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "LumoSServer/LumoSServer.h"
#include "VantelInfraAPI/vantelutility.h"

namespace VantelServerStartup {
namespace {

const char kBuildTag[] = "0x59976F.0";

// Prepared by InstallMiniDumpFilter; the handler only reads them.
char g_prefix[1536];   // "<folder>/<app>-0x59976F.0-"
long g_utcOffset = 0;  // seconds east of UTC when the filter was installed
char g_altStack[64 * 1024];
const int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// Appends `value` as exactly `width` decimal digits.
char* PutDigits(char* p, long value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        p[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return p + width;
}

// Civil date from days since 1970-01-01 (proleptic Gregorian), without the C library.
void CivilFromDays(long z, long* y, long* m, long* d) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2);
}

void WriteAll(int fd, const char* text, size_t len) {
    while (len > 0) {
        ssize_t w = write(fd, text, len);
        if (w <= 0) return;
        text += w;
        len -= static_cast<size_t>(w);
    }
}

bool Traced() {
    // TracerPid in /proc/self/status, read with plain system calls.
    int fd = open("/proc/self/status", O_RDONLY);
    if (fd < 0) return false;
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0) return false;
    buf[n] = '\0';
    const char* t = strstr(buf, "TracerPid:");
    if (!t) return false;
    t += 10;
    while (*t == ' ' || *t == '\t') ++t;
    return *t != '0';
}

void OnFatalSignal(int sig, siginfo_t* info, void*) {
    if (!Traced()) {
        char path[sizeof g_prefix + 32];
        size_t len = strlen(g_prefix);
        memcpy(path, g_prefix, len);
        const long local = static_cast<long>(time(nullptr)) + g_utcOffset;
        long days = local / 86400, secs = local % 86400;
        if (secs < 0) {
            secs += 86400;
            --days;
        }
        long y, m, d;
        CivilFromDays(days, &y, &m, &d);
        char* p = path + len;
        p = PutDigits(p, y, 4);
        p = PutDigits(p, m, 2);
        p = PutDigits(p, d, 2);
        *p++ = '-';
        p = PutDigits(p, secs / 3600, 2);
        p = PutDigits(p, secs / 60 % 60, 2);
        p = PutDigits(p, secs % 60, 2);
        memcpy(p, ".dmp", 5);
        int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            char line[96] = "signal ";
            char* q = line + 7;
            q = PutDigits(q, sig, 2);
            memcpy(q, "\nfault address 0x", 17);
            q += 17;
            unsigned long long addr = info ? reinterpret_cast<unsigned long long>(info->si_addr) : 0;
            for (int shift = 60; shift >= 0; shift -= 4) *q++ = "0123456789abcdef"[(addr >> shift) & 0xF];
            memcpy(q, "\nbacktrace:\n", 12);
            q += 12;
            WriteAll(fd, line, static_cast<size_t>(q - line));
            void* frames[64];
            backtrace_symbols_fd(frames, backtrace(frames, 64), fd);
            close(fd);
        }
    }
    // SA_RESETHAND put back the default action: the process ends as the signal would have it.
    raise(sig);
}

}  // namespace

bool IsSilentStart(const QStringList& args) {
    return args.size() == 1 && (args[0] == QLatin1String("-s") || args[0] == QLatin1String("--silent"));
}

QString ApplyInfoSettings(const QString& settingsFile) {
    // The file holds the clients' password: only its owner reads it.
    const QByteArray local = QFile::encodeName(settingsFile);
    struct stat st {};
    if (::stat(local.constData(), &st) == 0 && (st.st_mode & 077) != 0) ::chmod(local.constData(), 0600);
    QSettings s(settingsFile, QSettings::IniFormat);
    s.setIniCodec("UTF-8");
    const QString stored = s.value(QStringLiteral("info/pwd")).toString();
    const bool many = s.value(QStringLiteral("info/mdev"), false).toBool();
    LumoSSetSupportManyDevices(many);
    QString password;
    QString problem;
    char buffer[1024] = {};
    if (!stored.isEmpty() && VantelUtility::DecryptStringEx(stored, password) != 0)
        problem = QObject::tr("The password stored in %1 cannot be read: no client can log in until it is "
                              "set again.")
                      .arg(settingsFile);
    else if (VantelUtility::getLocalChar(password, buffer, sizeof buffer) < 0)
        problem = QObject::tr("The password stored in %1 is too long (at most %2 bytes): no client can log in "
                              "until it is set again.")
                      .arg(settingsFile)
                      .arg(sizeof buffer - 1);
    if (!problem.isEmpty()) {
        // Never the empty password instead: that would let anyone on this machine in.
        LumoSRefusePasswordLogins();
        qWarning().noquote() << problem;
        return problem;
    }
    LumoSSetDefaultPassword(buffer);
    return QString();
}

QString MiniDumpFileName(const QString& appName, const QDateTime& when) {
    return QStringLiteral("%1-%2-%3.dmp")
        .arg(appName, QLatin1String(kBuildTag), when.toString("yyyyMMdd-HHmmss"));
}

void InstallMiniDumpFilter(const QString& folder, const QString& appName) {
    const QByteArray prefix = QFile::encodeName(folder + QLatin1Char('/') + appName + QLatin1Char('-') +
                                                QLatin1String(kBuildTag) + QLatin1Char('-'));
    if (prefix.size() >= static_cast<int>(sizeof g_prefix)) return;  // no dump rather than one elsewhere
    memcpy(g_prefix, prefix.constData(), static_cast<size_t>(prefix.size()) + 1);
    time_t now = time(nullptr);
    struct tm tmLocal {};
    localtime_r(&now, &tmLocal);
    g_utcOffset = tmLocal.tm_gmtoff;
    // backtrace() loads its unwinder on first use, which may allocate: do it now, not in the handler.
    void* warm[1];
    backtrace(warm, 1);
    stack_t ss{};
    ss.ss_sp = g_altStack;
    ss.ss_size = sizeof g_altStack;
    sigaltstack(&ss, nullptr);
    struct sigaction sa {};
    sa.sa_sigaction = OnFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : kSignals) sigaction(sig, &sa, nullptr);
}

}  // namespace VantelServerStartup
