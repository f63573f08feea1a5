// Media fixtures made at test time with the ffmpeg tool (never stored in the repository).
#pragma once

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "LumoCore/LumoCore.h"
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

// A picture that tells its own frame number: ten bars across, bar i light when bit i of the
// frame number is set (frames 0 to 1023), no sound.
inline QStringList NumberedSource(double seconds, const QString& size = "320x240", int rate = 25) {
    return {"-f",
            "lavfi",
            "-i",
            QString("color=c=black:size=%1:rate=%2,format=yuv444p,"
                    "geq=lum='if(gt(bitand(N,pow(2,floor(X*10/W))),0),235,16)':cb=128:cr=128")
                .arg(size)
                .arg(rate),
            "-t",
            QString::number(seconds)};
}

// The frame number a NumberedSource picture shows (at any scale); -1 when there is no picture or
// a bar is neither light nor dark.
inline int FrameNumberOf(const QImage& picture) {
    if (picture.isNull()) return -1;
    const QImage img = picture.convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int bit = 0; bit < 10; ++bit) {
        const QRgb c = img.pixel(int((bit + 0.5) * img.width() / 10), img.height() / 2);
        const int luma = (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000;
        if (luma > 170)
            n |= 1 << bit;
        else if (luma > 80)
            return -1;
    }
    return n;
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

// A player's volume and file play mode (-1 when it has none).
inline int PlayerVolume(void* player) {
    int v = -1;
    LumoPlayerGetVolume(player, &v);
    return v;
}
inline int PlayerMode(void* player) {
    int m = -1;
    LumoPlayerGetPlayMode(player, &m);
    return m;
}

}  // namespace mediafixture
