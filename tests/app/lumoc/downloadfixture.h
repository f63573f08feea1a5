// Fixtures of the download queue's tests: record files made at test time with the ffmpeg tool, a
// client configuration of the test's own, and a wait for a task's end.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include "testsupport.h"

#include "LumoBase/LumoResult.h"
#include "LumoCClient/LumoCClient.h"
#include "LumoFS/LumoFS.h"
#include "LumoRecord/LumoRecord.h"
#include "lumoc/playback/downloadrecmanager.h"

namespace downloadfixture {

// 2024-05-01 at h:m:s.
inline CLumoTime At(int h, int m, int s) {
    CLumoTime t;
    t.SetYear(2024);
    t.SetMonth(5);
    t.SetDay(1);
    t.SetHour(h);
    t.SetMinute(m);
    t.SetSecond(s);
    return t;
}

inline bool HaveFfmpeg() { return vt::HaveTool(QStringLiteral("ffmpeg")); }

// A record file of `seconds` (H.264, key frame every second; dav is MPEG-TS).
inline bool MakeRecord(const QString& path, int seconds, const QString& size = "320x240") {
    QStringList args{"-hide_banner", "-loglevel",
                     "error",        "-y",
                     "-f",           "lavfi",
                     "-i",           QString("testsrc=size=%1:rate=25").arg(size),
                     "-t",           QString::number(seconds),
                     "-c:v",         "libx264",
                     "-preset",      "ultrafast",
                     "-g",           "25",
                     "-pix_fmt",     "yuv420p"};
    if (path.endsWith(".dav"))
        args << "-f"
             << "mpegts";
    args << path;
    QProcess p;
    p.start("ffmpeg", args);
    return p.waitForFinished(60000) && p.exitCode() == 0 && QFileInfo(path).size() > 0;
}

inline QString FilerUri(const QString& path) {
    return QString("filer://local/type=rec&format=%1&filename=%2").arg(QFileInfo(path).suffix(), path);
}

// A description of a local record file, probed (times, size) as the record pages hand them over.
inline CLumoFileDesc* ProbedDesc(const QString& path) {
    auto* d = new CLumoFileDesc();
    d->SetURI(FilerUri(path).toUtf8().constData());
    LumoRecordProbeDesc(d);
    return d;
}

inline double Seconds(const QString& path) {
    CLumoFileDesc d;
    d.SetURI(FilerUri(path).toUtf8().constData());
    if (LumoRecordProbeDesc(&d) != 0) return -1;
    return CLumoTime::GetTimeSpan(d.GetTimeE(), d.GetTimeS()) / 1000.0;
}

// Points the client configuration at an ini file in `dir` with the given record folder and rule.
inline void UseConfig(const QString& dir, const QString& recordFolder, const QString& rule) {
    LumoCConfiguration* c = LumoCConfiguration::GetLumoCConfig();
    c->SetFilePath(QDir(dir).filePath("lumoc.ini"));
    c->GetFileOption()->recordFolder = recordFolder;
    c->GetFileOption()->recordRule = rule;
}

// Polls the named task until the library says it finished; its result (LUMO_ERR_TIMEOUT when not).
inline int WaitForEnd(DownloadRecManager* m, const QByteArray& name, int timeoutMs = 30000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        int flags = 0;
        const int r =
            m->GetProgress(0, 0, &flags, nullptr, nullptr, nullptr, nullptr, nullptr, name.constData());
        if (r == -1 || r == -2) return r;
        if (flags & DownloadRecManager::FlagFinished) return r;
        QTest::qWait(20);
    }
    return LUMO_ERR_TIMEOUT;
}

}  // namespace downloadfixture
