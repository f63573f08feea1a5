// Test media made with the ffmpeg tool at run time and kept in a cache folder, and the runs of
// the tool itself (its own decode, as a cross-check of the in-process reference).
#pragma once

#include <QString>
#include <QStringList>

namespace bench {

// $VANTEL_BENCH_CACHE, else $XDG_CACHE_HOME/vantel-bench, else ~/.cache/vantel-bench.
QString DefaultCacheDir();

// An H.264 file of width x height at 25 frames per second, `seconds` long, with a key frame every
// two seconds, made from the tool's test pattern. Reused when already in `dir`. Empty on failure
// (the reason on stderr).
QString EnsureH264(const QString& dir, int width, int height, int seconds);

// The first `frames` frames of `source` with their time stamps divided by `factor` (the same
// encoded pictures, played `factor` times faster): a file whose top-speed playback asks for more
// pictures than any decoder gives, so that only decoding limits it.
QString EnsureRetimed(const QString& dir, const QString& source, int factor, int frames);

// The same encoded pictures as `source` in an MPEG-TS file (the recorder's own container).
QString EnsureTs(const QString& dir, const QString& source);

struct ToolRun {
    bool ok = false;
    double wallSec = 0;
    double cpuSec = 0;  // user + system of the tool's process
    QString errors;
};

// Runs the ffmpeg tool with `args` (after -hide_banner -nostdin -loglevel error).
ToolRun RunTool(const QStringList& args, int timeoutMs);

// The ffmpeg tool decoding `count` copies of `file` at once, each read at its own rate ("-re")
// with one decoder thread, as `count` views play them: the CPU all of them use over `seconds`
// after `warmup` (start-up left out), in % of one core; -1 with *error set when not measured.
double ToolRealTimeCpuPercent(const QString& file, int count, double warmup, double seconds, QString* error);

}  // namespace bench
