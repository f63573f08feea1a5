#include "views.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "ffreference.h"
#include "sysload.h"
#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/videodisplaypanel.h"

namespace bench {

namespace {

// Counts the paint events of the watched widgets, from outside them.
class PaintCounter : public QObject {
public:
    void Watch(QWidget* w) {
        m_counts.insert(w, 0);
        w->installEventFilter(this);
    }
    qint64 Count(QObject* w) const { return m_counts.value(w); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto it = m_counts.find(watched);
            if (it != m_counts.end()) ++*it;
        }
        return false;
    }

private:
    QHash<QObject*, qint64> m_counts;  // GUI thread only
};

// Runs the event loop (it sleeps in it: no polling that would cost CPU of its own).
void Wait(double sec) {
    QEventLoop loop;
    QTimer::singleShot(int(sec * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// A "<key>: <n> kB" (or plain count) line of /proc/self/status.
qint64 StatusValue(const char* key) {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

struct ViewSample {
    LumoPlayerStats stats;
    int64_t playMs = 0;
    qint64 paints = 0;
};

QString Join(const std::vector<double>& v) {
    QStringList out;
    for (double x : v) out << QString::number(x, 'f', 3);
    return out.join(',');
}

QVector<double> Split(const QString& s) {
    QVector<double> out;
    for (const QString& x : s.split(',', Qt::SkipEmptyParts)) out << x.toDouble();
    return out;
}

}  // namespace

int RunViewsCase(const ViewsOptions& o) {
    const int side = o.views <= 1 ? 1 : o.views <= 4 ? 2 : o.views <= 9 ? 3 : 4;
    if (o.views < 1 || o.views > side * side || side > 4) {
        std::printf("RESULT error=views_must_be_1_to_16\n");
        return 2;
    }
    // A window as the programs lay it out: the panel fills a 1920x1080 top-level window.
    QWidget top;
    top.setWindowTitle("bench_player views");
    auto* layout = new QVBoxLayout(&top);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* panel = new INFRA::VideoDisplayPanel(&top);
    layout->addWidget(panel);
    panel->SetGridLayout(side, side);
    for (int i = 0; i < o.views; ++i) panel->CreatePlayerWnd(i);
    top.setGeometry(0, 0, 1920, 1080);
    top.show();
    QElapsedTimer exposing;
    exposing.start();
    while (!(top.windowHandle() && top.windowHandle()->isExposed()) && exposing.elapsed() < 5000) Wait(0.02);
    Wait(0.3);

    PaintCounter counter;
    std::vector<QWidget*> windows;
    for (int i = 0; i < o.views; ++i) {
        windows.push_back(panel->GetPlayerWnd(i));
        counter.Watch(windows.back());
    }

    // The decode-only limit measured here and now, around the views, under the same load from
    // other programs as they had: the reference decoding the same file with 2 threads, twice
    // before the players start and twice after they stop.
    // Its CPU per frame with one thread is taken the same way: the CPU the views need is set
    // against what decoding costs on these cores at the same time, not minutes before.
    std::vector<double> refFps, refCpuMs;
    auto measureLimit = [&] {
        for (int i = 0; o.measureLimit && i < 2; ++i) {
            const DecodeRun r = ReferenceDecode(o.file, 2, 0);
            if (r.ok) refFps.push_back(r.frames / r.wallSec);
            const DecodeRun one = ReferenceDecode(o.file, 1, 250);
            if (one.ok && one.frames > 0) refCpuMs.push_back(1000.0 * one.cpuSec / one.frames);
        }
    };
    measureLimit();

    // One player per view. Starts are spread over one key-frame interval (2 s), as cameras'
    // key frames are: all views decoding their key frames in the same instant is not the case.
    std::vector<void*> players(size_t(o.views), nullptr);
    const QByteArray uri = o.file.toUtf8();
    for (int i = 0; i < o.views; ++i) {
        CLumoFileDescList list(1);
        auto* d = new CLumoFileDesc();
        d->SetURI(uri.constData());
        list.Append(d);
        int r = LumoPlayerCreate(&players[size_t(i)], windows[size_t(i)], nullptr);
        if (r == 0) r = LumoPlayerOpenFile(players[size_t(i)], &list);
        if (r == 0) r = LumoPlayerStart(players[size_t(i)]);
        if (r != 0) {
            std::printf("RESULT error=view_%d_open_%d\n", i, r);
            return 2;
        }
        Wait(2.0 / o.views);
    }
    Wait(o.warmupSec);

    auto sample = [&](std::vector<ViewSample>* out) {
        out->assign(size_t(o.views), ViewSample());
        for (int i = 0; i < o.views; ++i) {
            ViewSample& s = (*out)[size_t(i)];
            LumoPlayerGetStats(players[size_t(i)], &s.stats);
            CLumoTime t;
            if (LumoPlayerGetPlaybackTime(players[size_t(i)], &t) == 0) s.playMs = t.ToEpochMs();
            s.paints = counter.Count(windows[size_t(i)]);
        }
    };
    std::vector<ViewSample> a, b;
    QElapsedTimer wall;
    sample(&a);
    const double cpu0 = ProcessCpuSec(), x0 = ProcessCpuSecOf(o.xServerPid);
    const OtherLoad other(o.xServerPid);
    wall.start();
    Wait(o.measureSec);
    sample(&b);
    const double sec = wall.nsecsElapsed() / 1e9;
    const double cpu1 = ProcessCpuSec(), x1 = ProcessCpuSecOf(o.xServerPid);
    const double otherPercent = other.Percent();
    const qint64 threads = StatusValue("Threads");
    const double peakMb = StatusValue("VmHWM") / 1024.0;

    std::vector<double> painted, presented, decoded, pace;
    bool ended = false;
    for (int i = 0; i < o.views; ++i) {
        const ViewSample& s0 = a[size_t(i)];
        const ViewSample& s1 = b[size_t(i)];
        painted.push_back(double(s1.paints - s0.paints) / sec);
        presented.push_back(double(s1.stats.framesPresented - s0.stats.framesPresented) / sec);
        decoded.push_back(double(s1.stats.framesDecoded - s0.stats.framesDecoded) / sec);
        pace.push_back(double(s1.playMs - s0.playMs) / 1000.0 / sec);
        int state = 0;
        LumoPlayerGetState(players[size_t(i)], &state);
        if (state & LUMO_STATE_END) ended = true;
    }
    for (void* p : players) {
        LumoPlayerStop(p);
        LumoPlayerClose(p);
    }
    if (ended) {
        // A view that ran out of file measured less than the whole window.
        std::printf("RESULT error=file_ended_while_measuring\n");
        return 2;
    }
    measureLimit();
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    };
    const double limitFps = median(refFps);
    std::printf(
        "RESULT painted=%s presented=%s decoded=%s pace=%s cpu=%.1f xcpu=%.1f other=%.1f ref_fps2=%.1f "
        "ref_cpu_ms=%.3f peak_mb=%.1f threads=%lld\n",
        qPrintable(Join(painted)), qPrintable(Join(presented)), qPrintable(Join(decoded)),
        qPrintable(Join(pace)), 100.0 * (cpu1 - cpu0) / sec,
        (x0 >= 0 && x1 >= 0) ? 100.0 * (x1 - x0) / sec : -1.0, otherPercent, limitFps, median(refCpuMs), peakMb,
        static_cast<long long>(threads));
    std::fflush(stdout);
    return 0;
}

ViewsResult ParseViewsResult(const QString& output) {
    ViewsResult r;
    QString line;
    for (const QString& l : output.split('\n'))
        if (l.startsWith("RESULT ")) line = l.mid(7).trimmed();
    if (line.isEmpty()) {
        r.error = "no result";
        return r;
    }
    QMap<QString, QString> kv;
    for (const QString& item : line.split(' ', Qt::SkipEmptyParts)) {
        const int eq = item.indexOf('=');
        if (eq > 0) kv.insert(item.left(eq), item.mid(eq + 1));
    }
    if (kv.contains("error")) {
        r.error = kv.value("error");
        return r;
    }
    r.painted = Split(kv.value("painted"));
    r.presented = Split(kv.value("presented"));
    r.decoded = Split(kv.value("decoded"));
    r.pace = Split(kv.value("pace"));
    r.cpuPercent = kv.value("cpu").toDouble();
    r.xCpuPercent = kv.value("xcpu", "-1").toDouble();
    r.otherPercent = kv.value("other", "-1").toDouble();
    r.refFps2 = kv.value("ref_fps2", "0").toDouble();
    r.refCpuMs = kv.value("ref_cpu_ms", "0").toDouble();
    r.peakMb = kv.value("peak_mb").toDouble();
    r.threads = kv.value("threads").toInt();
    r.ok = !r.painted.isEmpty();
    if (!r.ok) r.error = "empty result";
    return r;
}

}  // namespace bench
