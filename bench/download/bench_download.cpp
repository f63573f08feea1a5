// Download speed: a five-minute 1080p25 H.264 record file copied (no re-encoding) by the media
// layer's download into dav, avi and mp4, against `ffmpeg -i <file> -c copy` into the same
// container on the same file in the same run; and four downloads of it at once against one.
// Prints, per container, the throughput ratio (ffmpeg's time / ours, best run of each; goal at
// least 0.9) with the CPU time of both, and the time of four at once over the time of one (goal at
// most 1.5 on two cores: run it under `taskset -c 0,1`) beside the same ratio of ffmpeg. Each output is
// probed: its length must be the source's. Exit status 1 when a goal is missed.
//
// The source is made once with the ffmpeg tool into $VANTEL_BENCH_CACHE (default
// ~/.cache/vantel-bench). Usage: bench_download [runs per measure, default 3]
//                            bench_download --one <dav|avi|mp4> [n]   (one or n downloads, for profiling)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <memory>
#include <vector>

#include "../common/recordsource.h"
#include "LumoCore/LumoCore.h"
#include "LumoRecord/LumoRecord.h"

namespace {

constexpr int kFileSeconds = 300;
constexpr int kGop = 50;  // one key frame every 2 s, as recorders write
constexpr int kRate = 25;

using bench::CacheDir;
using bench::FilerUri;
using bench::RunFfmpeg;

QString MakeSource() { return bench::MakeRecordSource("download_1080p25_300s.dav", kFileSeconds, kRate, kGop); }

double Seconds(const QString& path) {
    CLumoFileDesc d;
    d.SetURI(FilerUri(path).toUtf8().constData());
    if (LumoRecordProbeDesc(&d) != 0) return -1;
    return CLumoTime::GetTimeSpan(d.GetTimeE(), d.GetTimeS()) / 1000.0;
}

// Waits for the end reports of the downloads it was attached to.
struct Ends : CLumoObject {
    std::mutex m;
    std::condition_variable cv;
    int ended = 0;   // guarded by m
    int failed = 0;  // guarded by m
    static int Handler(CLumoObject* owner, int code, void*, void* p1, void*) {
        auto* self = static_cast<Ends*>(owner);
        if (code != LUMO_DOWNLOAD_FINISHED) return 0;
        std::lock_guard<std::mutex> lock(self->m);
        self->ended++;
        if (reinterpret_cast<intptr_t>(p1) != 0) self->failed++;
        self->cv.notify_all();
        return 0;
    }
};

// `count` downloads of the source at once into `folder`; the time until the last file stood
// complete (ms), or -1. The written files are listed in *outputs.
double Ours(const QString& source, const CLumoFileDesc& desc, const char* ext, const QString& folder,
            int count, QStringList* outputs) {
    Ends ends;
    std::vector<void*> handles;
    CLumoFileDescList list(1);
    list.Append(new CLumoFileDesc(desc));
    const QByteArray url =
        QString("filew://local/type=rec&format=%1&pathname=%2&filename=ours").arg(ext, folder).toUtf8();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        void* h = nullptr;
        if (LumoDownloadOpenFile(&h, url.constData(), &list) != 0) return -1;
        LumoDownloadAttachStream(h, &ends, &Ends::Handler);
        handles.push_back(h);
    }
    for (void* h : handles)
        if (LumoDownloadStart(h, 0) != 0) return -1;
    {
        std::unique_lock<std::mutex> lock(ends.m);
        ends.cv.wait(lock, [&] { return ends.ended == count; });
    }
    const double ms = t.nsecsElapsed() / 1e6;
    for (void* h : handles) {
        CLumoString p;
        LumoDownloadGetFileName(h, &p);
        outputs->append(QString::fromUtf8(p.GetBuffer()));
        LumoDownloadDetachStream(h, &ends, &Ends::Handler);
        LumoDownloadClose(h);
    }
    (void)source;
    return ends.failed ? -1 : ms;
}

double Theirs(const QString& source, const char* ext, const QString& out) {
    const char* muxer = std::strcmp(ext, "dav") == 0 ? "mpegts" : ext;
    QElapsedTimer t;
    t.start();
    if (!RunFfmpeg({"-i", source, "-c", "copy", "-f", muxer, out}, 10 * 60 * 1000)) return -1;
    return t.nsecsElapsed() / 1e6;
}

// The best of the runs: on a shared machine the others only add what other programs took.
double Best(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

// CPU seconds (user + system) of this process's threads, or of its ended children.
double CpuSeconds(int who) {
    struct rusage u {};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// `count` ffmpeg stream copies of the source at once; ms until the last ended, or -1.
double TheirsTogether(const QString& source, const QString& folder, int count) {
    std::vector<std::unique_ptr<QProcess>> ps;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        ps.emplace_back(new QProcess());
        ps.back()->start("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-i", source, "-c", "copy",
                                    "-f", "mpegts", QDir(folder).filePath(QString("ff%1.dav").arg(i))});
    }
    bool ok = true;
    for (auto& p : ps) ok = p->waitForFinished(10 * 60 * 1000) && p->exitCode() == 0 && ok;
    const double ms = t.nsecsElapsed() / 1e6;
    for (int i = 0; i < count; ++i) QFile::remove(QDir(folder).filePath(QString("ff%1.dav").arg(i)));
    return ok ? ms : -1;
}

void RemoveAll(const QStringList& files) {
    for (const QString& f : files) QFile::remove(f);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // "--one <dav|avi|mp4> [n]": one download (or n at once) and nothing else (for profiling).
    const bool oneOnly = argc > 2 && std::strcmp(argv[1], "--one") == 0;
    const int runs = argc > 1 && !oneOnly ? std::max(1, atoi(argv[1])) : 3;
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) {
        std::fprintf(stderr, "the ffmpeg tool is needed\n");
        return 2;
    }
    const QString source = MakeSource();
    if (source.isEmpty()) return 2;
    CLumoFileDesc desc;
    desc.SetURI(FilerUri(source).toUtf8().constData());
    if (LumoRecordProbeDesc(&desc) != 0) return 2;
    const double sourceSeconds = Seconds(source);
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    sched_getaffinity(0, sizeof cpus, &cpus);
    // The outputs go next to the source: the same disk for both tools.
    QTemporaryDir out(CacheDir() + "/download-XXXXXX");
    if (oneOnly) {
        QStringList made;
        const int count = argc > 3 ? std::max(1, atoi(argv[3])) : 1;
        const double ms = Ours(source, desc, argv[2], out.path(), count, &made);
        std::printf("%s: %.0f ms\n", argv[2], ms);
        RemoveAll(made);
        return ms < 0;
    }
    bool ok = true;
    std::printf("source %s: %.0f MB, %.0f s of 1080p25 H.264; %d cores; %d runs each\n", qPrintable(source),
                QFileInfo(source).size() / 1e6, sourceSeconds, CPU_COUNT(&cpus), runs);
    std::printf("%-5s %10s %10s %7s %10s %10s %9s %8s %8s\n", "fmt", "ours ms", "ffmpeg ms", "ratio",
                "ours cpu s", "ffmpeg cpu", "cpu ratio", "ours s", "ffmpeg s");
    for (const char* ext : {"dav", "avi", "mp4"}) {
        std::vector<double> ours, theirs, oursCpu, theirsCpu;
        double oursSeconds = 0, theirSeconds = 0;
        for (int i = 0; i < runs; ++i) {
            // Alternate who goes first, so that neither always finds the other's writes settling.
            QStringList made;
            const QString ff = out.filePath(QString("ff.%1").arg(ext));
            double a = -1, b = -1, ac = 0, bc = 0;
            const auto ours1 = [&] {
                const double c = CpuSeconds(RUSAGE_SELF);
                a = Ours(source, desc, ext, out.path(), 1, &made);
                ac = CpuSeconds(RUSAGE_SELF) - c;
            };
            if (i % 2 == 0) ours1();
            const double c = CpuSeconds(RUSAGE_CHILDREN);
            b = Theirs(source, ext, ff);
            bc = CpuSeconds(RUSAGE_CHILDREN) - c;
            if (i % 2 == 1) ours1();
            if (a < 0 || b < 0) {
                std::fprintf(stderr, "%s: a download failed\n", ext);
                return 1;
            }
            ours.push_back(a);
            theirs.push_back(b);
            oursCpu.push_back(ac);
            theirsCpu.push_back(bc);
            oursSeconds = Seconds(made.value(0));
            theirSeconds = Seconds(ff);
            RemoveAll(made);
            QFile::remove(ff);
        }
        const double ratio = Best(theirs) / Best(ours);
        std::printf("%-5s %10.0f %10.0f %7.2f %10.2f %10.2f %9.2f %8.2f %8.2f\n", ext, Best(ours),
                    Best(theirs), ratio, Best(oursCpu), Best(theirsCpu), Best(theirsCpu) / Best(oursCpu),
                    oursSeconds, theirSeconds);
        if (ratio < 0.9) {
            std::printf("  %s: below 0.9 of ffmpeg's throughput\n", ext);
            ok = false;
        }
        if (std::abs(oursSeconds - sourceSeconds) > 0.5) {
            std::printf("  %s: the download's length differs from the source's\n", ext);
            ok = false;
        }
    }

    std::vector<double> one, four, ffOne, ffFour;
    for (int i = 0; i < runs; ++i) {
        QStringList made;
        const double a = Ours(source, desc, "dav", out.path(), 1, &made);
        const double b = Ours(source, desc, "dav", out.path(), 4, &made);
        if (a < 0 || b < 0 || QSet<QString>(made.begin(), made.end()).size() != 5) {
            std::fprintf(stderr, "concurrent downloads failed\n");
            return 1;
        }
        for (const QString& f : made)
            if (std::abs(Seconds(f) - sourceSeconds) > 0.5) {
                std::printf("  %s: incomplete\n", qPrintable(f));
                ok = false;
            }
        RemoveAll(made);
        one.push_back(a);
        four.push_back(b);
        ffOne.push_back(TheirsTogether(source, out.path(), 1));
        ffFour.push_back(TheirsTogether(source, out.path(), 4));
    }
    const double together = Best(four) / Best(one);
    std::printf("four at once (dav): %.0f ms, one: %.0f ms, ratio %.2f (goal at most 1.5)\n", Best(four),
                Best(one), together);
    std::printf("ffmpeg, same run:   four %.0f ms, one %.0f ms, ratio %.2f\n", Best(ffFour), Best(ffOne),
                Best(ffFour) / Best(ffOne));
    if (together > 1.5) ok = false;
    std::printf("%s\n", ok ? "all goals met" : "a goal was missed");
    return ok ? 0 : 1;
}
