#include "fixtures.h"

#include <sys/resource.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <memory>
#include <vector>

#include "sysload.h"

namespace bench {

namespace {

// The tool's own arguments: quiet, and never waiting on the terminal.
QStringList ToolArgs(const QStringList& args) {
    return QStringList{"-hide_banner", "-nostdin", "-loglevel", "error"} + args;
}

double ChildrenCpuSec() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Makes `path` with the tool writing to a side file first, so that an interrupted run never
// leaves a half file that a later run would take for a good one.
QString Make(const QString& path, QStringList args, const QString& format = "mp4") {
    if (QFileInfo(path).size() > 0) return path;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        std::fprintf(stderr, "cannot make the folder of %s\n", qPrintable(path));
        return QString();
    }
    const QString part = path + ".part";
    args << "-y"
         << "-f" << format << part;
    std::printf("making %s ...\n", qPrintable(QFileInfo(path).fileName()));
    std::fflush(stdout);
    ToolRun run = RunTool(args, 20 * 60 * 1000);
    if (!run.ok || !QFile::rename(part, path)) {
        QFile::remove(part);
        std::fprintf(stderr, "the ffmpeg tool could not make %s: %s\n", qPrintable(path),
                     qPrintable(run.errors));
        return QString();
    }
    return path;
}

}  // namespace

QString DefaultCacheDir() {
    QString dir = qEnvironmentVariable("VANTEL_BENCH_CACHE");
    if (!dir.isEmpty()) return dir;
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty()) base = QDir::home().filePath(".cache");
    return QDir(base).filePath("vantel-bench");
}

QString EnsureH264(const QString& dir, int width, int height, int seconds) {
    // The recipe is in the name: a changed recipe makes a new file rather than reusing an old one.
    const QString name = QString("h264_%1x%2_25fps_%3s_g50_fast.mp4").arg(width).arg(height).arg(seconds);
    return Make(QDir(dir).filePath(name),
                {"-f", "lavfi", "-i", QString("testsrc2=size=%1x%2:rate=25").arg(width).arg(height), "-t",
                 QString::number(seconds), "-c:v", "libx264", "-preset", "fast", "-g", "50", "-pix_fmt",
                 "yuv420p", "-an"});
}

QString EnsureRetimed(const QString& dir, const QString& source, int factor, int frames) {
    const QString name =
        QString("%1_x%2_%3f.mp4").arg(QFileInfo(source).completeBaseName()).arg(factor).arg(frames);
    return Make(QDir(dir).filePath(name), {"-itsscale", QString::number(1.0 / factor), "-i", source, "-c",
                                           "copy", "-frames:v", QString::number(frames), "-an"});
}

QString EnsureTs(const QString& dir, const QString& source) {
    const QString name = QString("%1.ts").arg(QFileInfo(source).completeBaseName());
    return Make(QDir(dir).filePath(name), {"-i", source, "-c", "copy", "-an"}, "mpegts");
}

ToolRun RunTool(const QStringList& args, int timeoutMs) {
    ToolRun run;
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.setStandardOutputFile(QProcess::nullDevice());
    const double cpu0 = ChildrenCpuSec();
    QElapsedTimer t;
    t.start();
    p.start("ffmpeg", ToolArgs(args));
    const bool finished = p.waitForFinished(timeoutMs);
    run.wallSec = t.nsecsElapsed() / 1e9;
    run.errors = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    if (!finished) {
        p.kill();
        p.waitForFinished(5000);
        if (run.errors.isEmpty()) run.errors = p.errorString();
        return run;
    }
    run.cpuSec = ChildrenCpuSec() - cpu0;
    run.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return run;
}

double ToolRealTimeCpuPercent(const QString& file, int count, double warmup, double seconds, QString* error) {
    std::vector<std::unique_ptr<QProcess>> tools;
    const QString length = QString::number(warmup + seconds + 2, 'f', 1);
    for (int i = 0; i < count; ++i) {
        tools.emplace_back(new QProcess);
        QProcess& p = *tools.back();
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start("ffmpeg", ToolArgs({"-threads", "1", "-re", "-i", file, "-t", length, "-f", "null", "-"}));
        if (!p.waitForStarted(10000)) {
            *error = "the ffmpeg tool could not be started: " + p.errorString();
            return -1;
        }
    }
    auto cpuOfAll = [&]() {
        double sum = 0;
        for (auto& p : tools) {
            // A tool that ended early (its stream broke off) leaves nothing to read.
            const double s = ProcessCpuSecOf(p->processId());
            if (s < 0) return -1.0;
            sum += s;
        }
        return sum;
    };
    QThread::msleep(static_cast<unsigned long>(warmup * 1000));
    QElapsedTimer t;
    t.start();
    const double cpu0 = cpuOfAll();
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    const double cpu1 = cpuOfAll();
    const double wall = t.nsecsElapsed() / 1e9;
    for (auto& p : tools) {
        p->kill();
        p->waitForFinished(5000);
    }
    if (cpu0 < 0 || cpu1 < 0) {
        *error = "the ffmpeg tool did not play all the streams through the measuring window";
        return -1;
    }
    return 100.0 * (cpu1 - cpu0) / wall;
}

}  // namespace bench
