// Media fixtures made at test time with the ffmpeg tool (never stored in the repository).
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "LumoFS/LumoFS.h"

namespace mediafixture {

inline bool HaveFfmpeg() {
    return !QStandardPaths::findExecutable("ffmpeg").isEmpty();
}

// Runs ffmpeg with the arguments (quiet, overwrite); true when it wrote `out`.
inline bool Ffmpeg(const QStringList& args, const QString& out) {
    QProcess p;
    QStringList all{"-hide_banner", "-loglevel", "error", "-y"};
    all << args << out;
    p.start("ffmpeg", all);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("ffmpeg failed: %s", p.readAllStandardError().constData());
        return false;
    }
    return QFile::exists(out) && QFile(out).size() > 0;
}

// Test picture with a tone: `seconds` long, size and rate as given.
inline QStringList Source(double seconds, const QString& size = "320x240", int rate = 25, bool audio = true) {
    QStringList a{"-f", "lavfi", "-i", QString("testsrc=size=%1:rate=%2").arg(size).arg(rate)};
    if (audio)
        a << "-f"
          << "lavfi"
          << "-i"
          << "sine=frequency=800:sample_rate=44100";
    a << "-t" << QString::number(seconds);
    return a;
}

inline QStringList H264(int gop = 25) {
    return {"-c:v", "libx264", "-preset", "ultrafast", "-g", QString::number(gop), "-pix_fmt", "yuv420p"};
}
inline QStringList Mpeg4(int gop = 25) {
    return {"-c:v", "mpeg4", "-q:v", "5", "-g", QString::number(gop)};
}
inline QStringList Aac() {
    return {"-c:a", "aac", "-b:a", "64k"};
}

// A local record-file URI as the player's intake builds it.
inline QString FilerUri(const QString& path) {
    QString fmt = QFileInfo(path).suffix().toLower();
    return QString("filer://local/type=rec&format=%1&filename=%2").arg(fmt, path);
}

inline CLumoFileDesc* Desc(const QString& uri) {
    auto* d = new CLumoFileDesc();
    d->SetURI(uri.toUtf8().constData());
    return d;
}

}  // namespace mediafixture
