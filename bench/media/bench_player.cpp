// Compares the player with the ffmpeg tool on the same generated 1080p H.264 files, in one run:
//   1. time from open to the first decoded frame   (ours vs ffmpeg -frames:v 1 -f null -)
//   2. decoding throughput at the top speed (16x)  (ours vs ffmpeg -f null -, same threads)
// Usage: bench_player [threads ...]   (default: 1 4 0; 0 lets both pick the count)
// Run with QT_QPA_PLATFORM=offscreen on a machine without a display.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/videodisplaypanel.h"

namespace {

bool Make(const QStringList& args) {
    QProcess p;
    p.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args);
    return p.waitForFinished(600000) && p.exitCode() == 0;
}

double RunFfmpegMs(const QStringList& args) {
    QElapsedTimer t;
    QProcess p;
    t.start();
    p.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-nostdin"} + args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) return -1;
    return t.nsecsElapsed() / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

CLumoFileDescList* ListOf(const QString& path) {
    auto* l = new CLumoFileDescList(1);
    auto* d = new CLumoFileDesc();
    d->SetURI(QString("filer://local/type=rec&format=mp4&filename=%1").arg(path).toUtf8().constData());
    l->Append(d);
    return l;
}

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
}

// Open to first decoded frame, ms (wall clock of the calling thread).
double OursFirstFrameMs(const QString& file, QWidget* window) {
    void* player = nullptr;
    LumoPlayerCreate(&player, window, nullptr);
    CLumoFileDescList* list = ListOf(file);
    QElapsedTimer t;
    t.start();
    if (LumoPlayerOpenFile(player, list) != 0 || LumoPlayerStart(player) != 0) return -1;
    LumoPlayerStats s;
    while (LumoPlayerGetStats(player, &s) == 0 && s.framesDecoded == 0) QThread::usleep(100);
    double ms = t.nsecsElapsed() / 1e6;
    LumoPlayerStop(player);
    LumoPlayerClose(player);
    delete list;
    return ms;
}

// Frames per second decoded at speed 16 over the whole file, painting into the window.
double OursThroughputFps(const QString& file, QWidget* window, uint64_t* frames) {
    void* task = nullptr;
    LumoPlayerTaskCreate(&task, 1);
    LumoPlayerTaskSetSpeed(task, LUMO_SPEED_FASTEST);
    void* player = nullptr;
    LumoPlayerCreate(&player, window, task);
    CLumoFileDescList* list = ListOf(file);
    QElapsedTimer t;
    t.start();
    if (LumoPlayerOpenFile(player, list) != 0 || LumoPlayerStart(player) != 0) return -1;
    int state = 0;
    while (LumoPlayerGetState(player, &state) == 0 && !(state & LUMO_STATE_END)) Pump(2);
    double sec = t.nsecsElapsed() / 1e9;
    LumoPlayerStats s;
    LumoPlayerGetStats(player, &s);
    *frames = s.framesDecoded;
    LumoPlayerStop(player);
    LumoPlayerClose(player);
    LumoPlayerTaskDelete(task);
    delete list;
    return s.framesDecoded / sec;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<int> threads;
    for (int i = 1; i < argc; ++i) threads.push_back(atoi(argv[i]));
    if (threads.empty()) threads = {1, 4, 0};

    QTemporaryDir dir;
    const QString gop = dir.filePath("gop.mp4");  // 1080p, 25 fps, 4 s, key frame every 2 s
    const QString fast =
        dir.filePath("fast.mp4");  // 1080p, 120 fps, 10 s: 16x asks 1920 fps, more than any decoder gives
    std::printf("making the files (1080p H.264) ...\n");
    if (!Make({"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25", "-t", "4", "-c:v", "libx264",
               "-preset", "fast", "-g", "50", "-pix_fmt", "yuv420p", "-an", gop}) ||
        !Make({"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=120", "-t", "10", "-c:v", "libx264",
               "-preset", "fast", "-g", "120", "-pix_fmt", "yuv420p", "-an", fast})) {
        std::fprintf(stderr, "the ffmpeg tool could not make the files\n");
        return 1;
    }
    const uint64_t fastFrames = 1200;

    QWidget host;
    host.resize(960, 540);
    INFRA::VideoDisplayPanel panel(&host);
    panel.SetGridLayout(1, 1);
    panel.CreatePlayerWnd(0);
    host.show();
    Pump(100);
    QWidget* window = panel.GetPlayerWnd(0);
    LumoCoreInitialize(nullptr);

    std::printf("\n%-8s | %-28s | %-36s\n", "threads", "open -> first frame (median)", "throughput at 16x");
    std::printf("%-8s | %8s %8s %8s | %9s %9s %8s\n", "", "ours ms", "ffmpeg", "ratio", "ours fps", "ffmpeg",
                "ratio");
    for (int t : threads) {
        LumoCoreSetDecoderThreads(t);
        const QString th = QString::number(t);
        std::vector<double> ours, theirs;
        OursFirstFrameMs(gop, window);  // warm the file cache and the libraries
        RunFfmpegMs({"-threads", th, "-i", gop, "-frames:v", "1", "-f", "null", "-"});
        for (int i = 0; i < 7; ++i) {
            ours.push_back(OursFirstFrameMs(gop, window));
            theirs.push_back(RunFfmpegMs({"-threads", th, "-i", gop, "-frames:v", "1", "-f", "null", "-"}));
            Pump(20);
        }
        double o1 = Median(ours), f1 = Median(theirs);

        std::vector<double> oursFps, theirFps;
        for (int i = 0; i < 3; ++i) {
            uint64_t frames = 0;
            oursFps.push_back(OursThroughputFps(fast, window, &frames));
            if (frames != fastFrames)
                std::printf("  (ours decoded %llu of %llu frames)\n", (unsigned long long)frames,
                            (unsigned long long)fastFrames);
            double ms = RunFfmpegMs({"-threads", th, "-i", fast, "-f", "null", "-"});
            theirFps.push_back(fastFrames / (ms / 1000.0));
        }
        double o2 = Median(oursFps), f2 = Median(theirFps);
        std::printf("%-8s | %8.1f %8.1f %7.2fx | %9.1f %9.1f %7.2fx\n", t == 0 ? "auto" : qPrintable(th), o1,
                    f1, o1 / f1, o2, f2, o2 / f2);
        std::fflush(stdout);
    }
    std::printf(
        "\nfirst frame: ours should be at most 1.2x ffmpeg's time; throughput: at least 0.9x ffmpeg's "
        "fps.\n");
    LumoCoreInvalidate();
    return 0;
}
