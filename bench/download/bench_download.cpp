// Download speed: a five-minute 1080p25 H.264 record file copied (no re-encoding) by the media
// layer's download into dav, avi and mp4, against `ffmpeg -i <file> -c copy` into the same
// container on the same file in the same run; and four downloads of it at once against one.
// Prints, per container, the throughput ratio (ffmpeg's time / ours; goal at least 0.9), and the
// time of four at once over the time of one (goal at most 1.5 on two cores: run it under
// `taskset -c 0,1`). Each output is probed: its length must be the source's. Exit status 1 when a
// goal is missed.
//
// The source is made once with the ffmpeg tool into $VANTEL_BENCH_CACHE (default
// ~/.cache/vantel-bench). Usage: bench_download [runs per measure, default 3]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "LumoCore/LumoCore.h"
#include "LumoRecord/LumoRecord.h"

namespace {

constexpr int kFileSeconds = 300;
constexpr int kGop = 50;  // one key frame every 2 s, as recorders write
constexpr int kRate = 25;

QString CacheDir() {
    const QString env = qEnvironmentVariable("VANTEL_BENCH_CACHE");
    return env.isEmpty() ? QDir::homePath() + "/.cache/vantel-bench" : env;
}

bool RunFfmpeg(const QStringList& args, int timeoutMs) {
    QProcess p;
    p.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args);
    if (!p.waitForFinished(timeoutMs) || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

QString MakeSource() {
    QDir().mkpath(CacheDir());
    const QString path = CacheDir() + "/download_1080p25_300s.dav";
    if (QFileInfo(path).size() > 0) return path;
    std::printf("making %s (once)...\n", qPrintable(path));
    std::fflush(stdout);
    const QString part = path + ".making.ts";
    if (!RunFfmpeg({"-f", "lavfi", "-i", QString("testsrc2=size=1920x1080:rate=%1").arg(kRate), "-t",
                    QString::number(kFileSeconds), "-c:v", "libx264", "-preset", "ultrafast", "-g",
                    QString::number(kGop), "-pix_fmt", "yuv420p", "-f", "mpegts", part},
                   30 * 60 * 1000) ||
        !QFile::rename(part, path))
        return QString();
    return path;
}

QString FilerUri(const QString& path) {
    return "filer://local/type=rec&format=" + QFileInfo(path).suffix() + "&filename=" + path;
}

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

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void RemoveAll(const QStringList& files) {
    for (const QString& f : files) QFile::remove(f);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
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
    bool ok = true;
    std::printf("source %s: %.0f MB, %.0f s of 1080p25 H.264; %d cores; %d runs each\n", qPrintable(source),
                QFileInfo(source).size() / 1e6, sourceSeconds, CPU_COUNT(&cpus), runs);
    std::printf("%-5s %10s %10s %7s %8s %8s\n", "fmt", "ours ms", "ffmpeg ms", "ratio", "ours s", "ffmpeg s");
    for (const char* ext : {"dav", "avi", "mp4"}) {
        std::vector<double> ours, theirs;
        double oursSeconds = 0, theirSeconds = 0;
        for (int i = 0; i < runs; ++i) {
            // Alternate who goes first, so that neither always finds the other's writes settling.
            QStringList made;
            const QString ff = out.filePath(QString("ff.%1").arg(ext));
            double a = -1, b = -1;
            if (i % 2 == 0) a = Ours(source, desc, ext, out.path(), 1, &made);
            b = Theirs(source, ext, ff);
            if (i % 2 == 1) a = Ours(source, desc, ext, out.path(), 1, &made);
            if (a < 0 || b < 0) {
                std::fprintf(stderr, "%s: a download failed\n", ext);
                return 1;
            }
            ours.push_back(a);
            theirs.push_back(b);
            oursSeconds = Seconds(made.value(0));
            theirSeconds = Seconds(ff);
            RemoveAll(made);
            QFile::remove(ff);
        }
        const double ratio = Median(theirs) / Median(ours);
        std::printf("%-5s %10.0f %10.0f %7.2f %8.2f %8.2f\n", ext, Median(ours), Median(theirs), ratio,
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

    std::vector<double> one, four;
    for (int i = 0; i < runs; ++i) {
        QStringList made;
        const double a = Ours(source, desc, "dav", out.path(), 1, &made);
        const double b = Ours(source, desc, "dav", out.path(), 4, &made);
        if (a < 0 || b < 0 || made.toSet().size() != 5) {
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
    }
    const double together = Median(four) / Median(one);
    std::printf("four at once (dav): %.0f ms, one: %.0f ms, ratio %.2f (goal at most 1.5)\n", Median(four),
                Median(one), together);
    if (together > 1.5) ok = false;
    std::printf("%s\n", ok ? "all goals met" : "a goal was missed");
    return ok ? 0 : 1;
}
