// CPU time of this process, of another one, and of the cores this process may run on, to tell
// how much of the cores' time other programs took while a figure was measured.
#pragma once

#include <QtGlobal>

namespace bench {

// User + system CPU seconds of this process so far (all its threads).
double ProcessCpuSec();
// The same for another process; -1 when it cannot be read.
double ProcessCpuSecOf(qint64 pid);
// Busy seconds (everything but idle and I/O wait) of the cores in this process's affinity mask,
// whoever used them; -1 when /proc/stat cannot be read.
double AffinityBusySec();

// The share of the cores that other programs took over a measuring window, in % of one core:
// busy time of the cores minus this process's (and the X server's when known).
class OtherLoad {
public:
    explicit OtherLoad(qint64 xServerPid = 0);
    // Percent of one core since construction; -1 when unknown.
    double Percent() const;

private:
    qint64 m_xpid;
    double m_busy0, m_own0, m_x0;
    qint64 m_startNs;
};

}  // namespace bench
