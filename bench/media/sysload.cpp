#include "sysload.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <algorithm>

namespace bench {

double ProcessCpuSec() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSecOf(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray s = f.readAll();
    // After the command name (which may hold spaces) in parentheses: state is field 3, utime 14
    // and stime 15.
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

double AffinityBusySec() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return -1;
    QFile f("/proc/stat");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    long long ticks = 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        // "cpuN user nice system idle iowait irq softirq steal ..."
        if (!line.startsWith("cpu") || line.size() < 4 || line[3] < '0' || line[3] > '9') continue;
        const QList<QByteArray> v = line.simplified().split(' ');
        const int cpu = v[0].mid(3).toInt();
        if (v.size() < 9 || cpu >= CPU_SETSIZE || !CPU_ISSET(cpu, &set)) continue;
        for (int i : {1, 2, 3, 6, 7, 8}) ticks += v[i].toLongLong();
    }
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

namespace {
qint64 MonotonicNs() {
    static QElapsedTimer t;
    if (!t.isValid()) t.start();
    return t.nsecsElapsed();
}
}  // namespace

OtherLoad::OtherLoad(qint64 xServerPid)
    : m_xpid(xServerPid),
      m_busy0(AffinityBusySec()),
      m_own0(ProcessCpuSec()),
      m_x0(ProcessCpuSecOf(xServerPid)),
      m_startNs(MonotonicNs()) {}

double OtherLoad::Percent() const {
    const double busy = AffinityBusySec(), own = ProcessCpuSec(), x = ProcessCpuSecOf(m_xpid);
    const double sec = double(MonotonicNs() - m_startNs) / 1e9;
    if (m_busy0 < 0 || busy < 0 || sec <= 0) return -1;
    double other = (busy - m_busy0) - (own - m_own0);
    if (m_x0 >= 0 && x >= 0) other -= x - m_x0;
    return std::max(0.0, 100.0 * other / sec);
}

}  // namespace bench
