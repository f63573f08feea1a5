// Clip speed and accuracy: two minutes from the middle of a ten-minute 1080p25 H.264 record file,
// cut by the clip queue into dav and avi, against `ffmpeg -ss ... -t ... -c copy` into the same
// container on the same file in the same run. Prints, per container, the speed ratio (ffmpeg's
// time / ours; goal at least 0.9) and the clip's length against the asked length (goal: within
// one key-frame interval). Exit status 1 when a goal is missed.
//
// The source is made once with the ffmpeg tool into $VANTEL_BENCH_CACHE (default
// ~/.cache/vantel-bench). Usage: bench_clip [runs per container, default 3]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "../common/recordsource.h"
#include "LumoRecord/LumoRecord.h"
#include "player/downloadmanager.h"
#include "player/playfile.h"

namespace {

constexpr int kFileSeconds = 600;
constexpr int kFromSeconds = 240;
constexpr int kClipSeconds = 120;
constexpr int kGop = 50;  // frames: one key frame every 2 s, as recorders write
constexpr int kRate = 25;

using bench::CacheDir;
using bench::FilerUri;
using bench::RunFfmpeg;

QString MakeSource() { return bench::MakeRecordSource("clip_1080p25_600s.dav", kFileSeconds, kRate, kGop); }

CLumoFileDesc Probe(const QString& path) {
    CLumoFileDesc d;
    d.SetURI(FilerUri(path).toUtf8().constData());
    LumoRecordProbeDesc(&d);
    return d;
}

double Seconds(const QString& path) {
    const CLumoFileDesc d = Probe(path);
    return CLumoTime::GetTimeSpan(d.GetTimeE(), d.GetTimeS()) / 1000.0;
}

struct Reported : CLumoObject {
    Reported() : callback(this, &Reported::Handler) {}
    static int Handler(CLumoObject* owner, int code, void*, void*, void*) {
        static_cast<Reported*>(owner)->code = code;
        return 0;
    }
    std::atomic<int> code{0};
    ILumoCallback callback;
};

struct Run {
    double completeMs;  // until the clip file stood complete under its name
    double reportedMs;  // until the queue reported the result (adds the progress poll's delay)
    double seconds;     // the clip's length
};

// One clip through the queue; false when it failed.
bool ClipOnce(CDownloadManager& manager, const QString& source, const CLumoTime& fileStart, int format,
              const QString& folder, Run* run) {
    CLumoFile clip;
    clip.url = FilerUri(source).toStdString();
    clip.path = source.toStdString();
    clip.timeS = fileStart;
    clip.timeS.Add(int64_t(kFromSeconds) * 1000);
    clip.timeE = clip.timeS;
    clip.timeE.Add(int64_t(kClipSeconds) * 1000);
    clip.length = uint64_t(QFileInfo(source).size());
    Reported reported;
    CLumoDownload* task = nullptr;
    QElapsedTimer t;
    t.start();
    manager.AddTask(&task, &clip, CLumoString(folder.toStdString()), format, &reported.callback);
    double complete = -1;
    while (reported.code.load() == 0) {
        if (complete < 0) {
            const std::string out = task->GetOutputPath();
            if (!out.empty() && QFileInfo::exists(QString::fromStdString(out))) complete = t.nsecsElapsed() / 1e6;
        }
        QThread::usleep(500);
    }
    run->reportedMs = t.nsecsElapsed() / 1e6;
    if (reported.code.load() != CLumoDownload::RESULT_DONE) return false;
    const QString out = QString::fromStdString(task->GetOutputPath());
    run->completeMs = complete < 0 ? run->reportedMs : complete;
    run->seconds = Seconds(out);
    QFile::remove(out);
    return true;
}

bool FfmpegOnce(const QString& source, const QString& out, Run* run) {
    QElapsedTimer t;
    t.start();
    const QStringList args{"-ss", QString::number(kFromSeconds), "-t", QString::number(kClipSeconds), "-i", source,
                           "-c", "copy", "-f", out.endsWith(".avi") ? "avi" : "mpegts", out};
    if (!RunFfmpeg(args, 10 * 60 * 1000)) return false;
    run->completeMs = run->reportedMs = t.nsecsElapsed() / 1e6;
    run->seconds = Seconds(out);
    QFile::remove(out);
    return true;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    const CLumoTime fileStart = Probe(source).GetTimeS();
    QTemporaryDir out;
    CDownloadManager manager;
    const double gopSeconds = double(kGop) / kRate;
    bool ok = true;
    std::printf("source %s: %.0f MB, %d s; clip %d s from %d s; key frame every %.1f s; %d runs each\n",
                qPrintable(source), QFileInfo(source).size() / 1e6, kFileSeconds, kClipSeconds, kFromSeconds,
                gopSeconds, runs);
    std::printf("%-5s %12s %12s %12s %7s %10s %10s\n", "fmt", "ours ms", "reported ms", "ffmpeg ms", "ratio",
                "ours s", "ffmpeg s");
    for (int format : {0, 1}) {
        const char* ext = format == 1 ? "avi" : "dav";
        std::vector<double> ours, reportedMs, theirs;
        double oursSeconds = 0, theirSeconds = 0;
        for (int i = 0; i < runs; ++i) {
            Run a{}, b{};
            // Alternate who goes first, so that neither always finds the file in the page cache.
            const bool oursFirst = i % 2 == 0;
            bool good = true;
            if (oursFirst) good = ClipOnce(manager, source, fileStart, format, out.path(), &a);
            good = good && FfmpegOnce(source, out.filePath(QString("ff.%1").arg(ext)), &b);
            if (!oursFirst) good = good && ClipOnce(manager, source, fileStart, format, out.path(), &a);
            if (!good) {
                std::fprintf(stderr, "%s: a clip failed\n", ext);
                return 1;
            }
            ours.push_back(a.completeMs);
            reportedMs.push_back(a.reportedMs);
            theirs.push_back(b.completeMs);
            oursSeconds = a.seconds;
            theirSeconds = b.seconds;
        }
        const double ratio = Median(theirs) / Median(ours);
        std::printf("%-5s %12.0f %12.0f %12.0f %7.2f %10.2f %10.2f\n", ext, Median(ours), Median(reportedMs),
                    Median(theirs), ratio, oursSeconds, theirSeconds);
        if (ratio < 0.9) {
            std::printf("  %s: slower than 0.9 of ffmpeg\n", ext);
            ok = false;
        }
        if (std::abs(oursSeconds - kClipSeconds) > gopSeconds) {
            std::printf("  %s: length off by more than one key-frame interval\n", ext);
            ok = false;
        }
    }
    std::printf("ratio = ffmpeg's time / ours until the clip file is complete (goal >= 0.90); "
                "\"reported\" adds the queue's once-a-second progress poll\n");
    return ok ? 0 : 1;
}
