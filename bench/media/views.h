// The many-view case: one player per view of a 1920x1080 video display panel shown in a real
// window, all playing the same file at normal speed. Run in a process of its own so that the
// peak memory and the thread count are this case's alone.
#pragma once

#include <QMap>
#include <QString>
#include <QVector>

namespace bench {

struct ViewsOptions {
    QString file;
    int views = 1;
    double warmupSec = 3;
    double measureSec = 10;
    qint64 xServerPid = 0;     // the X server's CPU is measured too when known (0: not)
    bool measureLimit = true;  // the reference's decode fps around the views (off for profiling)
};

// Plays the case and prints one line "RESULT key=value ..." on stdout; 0 on success.
int RunViewsCase(const ViewsOptions& options);

// The parsed line of one case.
struct ViewsResult {
    bool ok = false;
    QString error;
    QVector<double> painted;    // per view: paint events of its video window per second
    QVector<double> presented;  // per view: pictures handed to the window per second
    QVector<double> decoded;    // per view: frames out of the decoder per second
    QVector<double> pace;       // per view: playback time advanced / wall time
    double cpuPercent = 0;      // process CPU over the measuring window (100 = one core)
    double xCpuPercent = -1;    // the X server's (-1: unknown)
    double otherPercent = -1;   // other programs' use of the same cores (-1: unknown)
    double refFps2 = 0;         // the reference's decode fps with 2 threads, around the views
    double refCpuMs = 0;        // the reference's CPU per frame with 1 thread, around the views (0: not measured)
    double peakMb = 0;          // VmHWM at the end
    int threads = 0;            // threads of the process while playing
};

ViewsResult ParseViewsResult(const QString& output);

}  // namespace bench
