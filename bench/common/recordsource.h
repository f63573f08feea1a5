// What the copy benchmarks share: the cache folder of generated files, the ffmpeg tool, and the
// 1080p25 H.264 record file (MPEG-TS, as our recorders write) made once into that folder.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace bench {

// $VANTEL_BENCH_CACHE, or ~/.cache/vantel-bench.
inline QString CacheDir() {
    const QString env = qEnvironmentVariable("VANTEL_BENCH_CACHE");
    return env.isEmpty() ? QDir::homePath() + "/.cache/vantel-bench" : env;
}

// The ffmpeg tool with these arguments (quiet, overwriting); false, with its errors printed,
// when it fails or takes longer than timeoutMs.
inline bool RunFfmpeg(const QStringList& args, int timeoutMs) {
    QProcess p;
    p.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args);
    if (!p.waitForFinished(timeoutMs) || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// <cache>/<name>: `seconds` of 1080p at `rate` frames a second, a key frame every `gop` frames,
// made once (written aside and renamed, so a cut-short run leaves nothing under the name).
// Empty when it cannot be made.
inline QString MakeRecordSource(const QString& name, int seconds, int rate, int gop) {
    QDir().mkpath(CacheDir());
    const QString path = CacheDir() + "/" + name;
    if (QFileInfo(path).size() > 0) return path;
    std::printf("making %s (once)...\n", qPrintable(path));
    std::fflush(stdout);
    const QString part = path + ".making.ts";
    if (!RunFfmpeg({"-f", "lavfi", "-i", QString("testsrc2=size=1920x1080:rate=%1").arg(rate), "-t",
                    QString::number(seconds), "-c:v", "libx264", "-preset", "ultrafast", "-g",
                    QString::number(gop), "-pix_fmt", "yuv420p", "-f", "mpegts", part},
                   30 * 60 * 1000) ||
        !QFile::rename(part, path))
        return QString();
    return path;
}

// The media layer's address of a local record file.
inline QString FilerUri(const QString& path) {
    return "filer://local/type=rec&format=" + QFileInfo(path).suffix() + "&filename=" + path;
}

}  // namespace bench
