// Downloads: record files and time ranges copied into dav (MPEG-TS), avi and mp4 files, with
// progress, names that never overwrite, and failures that leave no half file.
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include "testsupport.h"

#include "LumoCore/LumoCore.h"
#include "LumoRecord/LumoRecord.h"
#include "mediafixture.h"

using namespace mediafixture;

namespace {

struct EndLog : CLumoObject {
    std::atomic<int> calls{0};
    std::atomic<int> result{1};
};

int OnEnd(CLumoObject* owner, int code, void*, void* p1, void*) {
    auto* log = static_cast<EndLog*>(owner);
    if (code == LUMO_DOWNLOAD_FINISHED) {
        log->calls++;
        log->result = int(reinterpret_cast<intptr_t>(p1));
    }
    return 0;
}

// Closes the download that reports its end, from the download's own thread.
int CloseOnEnd(CLumoObject* owner, int code, void* sender, void* p1, void* p2) {
    int r = OnEnd(owner, code, sender, p1, p2);
    if (code == LUMO_DOWNLOAD_FINISHED) LumoDownloadClose(sender);
    return r;
}

// Owners that are alive: a report to one that is not is a report to a destroyed object.
struct Owners {
    std::mutex m;
    std::set<const CLumoObject*> alive;  // guarded by m
    int reportsToGone = 0;               // guarded by m
};
Owners g_owners;

struct TrackedOwner : CLumoObject {
    TrackedOwner() {
        std::lock_guard<std::mutex> lock(g_owners.m);
        g_owners.alive.insert(this);
    }
    ~TrackedOwner() override {
        std::lock_guard<std::mutex> lock(g_owners.m);
        g_owners.alive.erase(this);
    }
    int reports = 0;  // guarded by g_owners.m
};

// A report that takes a moment before it reaches its owner, as a real one that updates a window
// does: a detach in that moment must wait for it.
int SlowReport(CLumoObject* owner, int code, void*, void*, void*) {
    if (code != LUMO_DOWNLOAD_FINISHED) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard<std::mutex> lock(g_owners.m);
    if (!g_owners.alive.count(owner)) {
        g_owners.reportsToGone++;
        return 0;
    }
    static_cast<TrackedOwner*>(owner)->reports++;
    return 0;
}

// Runs a download to its end; the result code, and the file in *path.
int RunDownload(const QString& url, CLumoFileDescList* list, QString* path, int* percentOut = nullptr) {
    void* h = nullptr;
    int r = LumoDownloadOpenFile(&h, url.toUtf8().constData(), list);
    if (r != 0) return r;
    CLumoString p;
    LumoDownloadGetFileName(h, &p);
    if (path) *path = QString::fromUtf8(p.GetBuffer());
    r = LumoDownloadStart(h, 0);
    if (r != 0) return r;
    int flags = 0, result = 0, percent = 0;
    uint64_t bytes = 0;
    QElapsedTimer t;
    t.start();
    while (LumoDownloadGetProgressEx(h, &flags, &result, &percent, &bytes) == 0 &&
           !(flags & LUMO_DOWNLOAD_FINISHED) && t.elapsed() < 20000)
        QTest::qWait(20);
    if (percentOut) *percentOut = percent;
    LumoDownloadStop(h);
    LumoDownloadClose(h);
    return (flags & LUMO_DOWNLOAD_FINISHED) ? result : LUMO_ERR_TIMEOUT;
}

CLumoFileDesc Probe(const QString& path) {
    CLumoFileDesc d;
    d.SetURI(FilerUri(path).toUtf8().constData());
    LumoRecordProbeDesc(&d);
    return d;
}

int64_t Seconds10(const CLumoFileDesc& d) {
    return (CLumoTime::GetTimeSpan(d.GetTimeE(), d.GetTimeS()) + 50) / 100;
}

QString Target(const QString& fmt, const QString& folder, const QString& name = QString()) {
    QString u = QString("filew://local/type=rec&format=%1&pathname=%2").arg(fmt, folder);
    if (!name.isEmpty()) u += "&filename=" + name;
    return u;
}

}  // namespace

class TestDownload : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString src;    // 4 s, H.264 + AAC, mp4
    QString lng;    // 8 s, key frame every second, mp4
    QString ts;     // 3 s, MPEG-4 part 2, TS
    QString partA;  // 1 s
    QString partB;  // 1 s
    QString P(const QString& n) const { return dir.filePath(n); }

private slots:
    void initTestCase() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the fixtures");
        src = P("src.mp4");
        lng = P("long.mp4");
        ts = P("src.dav");
        partA = P("a.mp4");
        partB = P("b.mp4");
        QVERIFY(Ffmpeg(Source(4) + H264() + Aac(), src));
        QVERIFY(Ffmpeg(Source(8) + H264(25) + Aac(), lng));
        QVERIFY(Ffmpeg(Source(3, "320x240", 25, false) + Mpeg4() + QStringList{"-f", "mpegts"}, ts));
        QVERIFY(Ffmpeg(Source(1) + H264() + Aac(), partA));
        QVERIFY(Ffmpeg(Source(1) + H264() + Aac(), partB));
    }

    void cleanup() { LumoDownloadSetSpaceLimit(0); }

    void formats_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("video");
        QTest::addColumn<int>("audio");
        QTest::newRow("mp4 to dav") << "src.mp4"
                                    << "dav" << int(LUMO_CODEC_H264) << int(LUMO_CODEC_AAC);
        QTest::newRow("mp4 to avi") << "src.mp4"
                                    << "avi" << int(LUMO_CODEC_H264) << int(LUMO_CODEC_AAC);
        QTest::newRow("mp4 to mp4") << "src.mp4"
                                    << "mp4" << int(LUMO_CODEC_H264) << int(LUMO_CODEC_AAC);
        QTest::newRow("ts to mp4") << "src.dav"
                                   << "mp4" << int(LUMO_CODEC_MPEG4) << int(LUMO_CODEC_NONE);
        QTest::newRow("ts to avi") << "src.dav"
                                   << "avi" << int(LUMO_CODEC_MPEG4) << int(LUMO_CODEC_NONE);
    }
    void formats() {
        QFETCH(QString, source);
        QFETCH(QString, format);
        QFETCH(int, video);
        QFETCH(int, audio);
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(P(source))));
        QString path;
        int percent = 0;
        QString folder = P("out/" + format);
        QCOMPARE(RunDownload(Target(format, folder), &list, &path, &percent), 0);
        QCOMPARE(percent, 100);
        QVERIFY(path.startsWith(folder));
        QVERIFY(path.endsWith("." + format));
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(!QFileInfo::exists(path + ".part"));
        CLumoFileDesc out = Probe(path);
        CLumoFileDesc in = Probe(P(source));
        QCOMPARE(int(out.GetVideoCodec()), video);
        QCOMPARE(int(out.GetAudioCodec()), audio);
        QCOMPARE(out.GetWidth(), in.GetWidth());
        QVERIFY2(qAbs(Seconds10(out) - Seconds10(in)) <= 1,
                 qPrintable(QString("%1 vs %2").arg(Seconds10(out)).arg(Seconds10(in))));
    }

    void timeRangeIsCut() {
        CLumoFileDesc whole = Probe(lng);
        CLumoTime from = whole.GetTimeS();
        from.Add(2000);
        CLumoString fromText;
        from.BuildISO8601(fromText);
        QString uri = FilerUri(lng) + QString("&from=%1&len=3").arg(fromText.GetBuffer());
        CLumoFileDescList list(1);
        list.Append(Desc(uri));
        list.GetHead()->SetTimeS(whole.GetTimeS());
        list.GetHead()->SetTimeE(whole.GetTimeE());
        QString path;
        QCOMPARE(RunDownload(Target("dav", P("cut")), &list, &path), 0);
        CLumoFileDesc out = Probe(path);
        // Copies start on a key frame (one a second here): between 3 and 4 seconds.
        QVERIFY2(Seconds10(out) >= 29 && Seconds10(out) <= 41,
                 qPrintable(QString("%1 tenths").arg(Seconds10(out))));
        QVERIFY(QFileInfo(path).size() < QFileInfo(lng).size());
    }

    // A copy starts at the last key frame at or before the asked time, never at the next one, so
    // a clip holds the whole range asked for (the range, plus at most one key-frame interval).
    void clipStartsAtTheKeyFrameAtOrBefore_data() {
        QTest::addColumn<QString>("container");
        QTest::addColumn<int>("fromS");
        QTest::addColumn<int>("lenS");
        QTest::newRow("ts, on a key frame late in the file") << "ts" << 240 << 6;
        QTest::newRow("ts, between key frames") << "ts" << 241 << 6;
        QTest::newRow("ts, near the start") << "ts" << 3 << 4;
        QTest::newRow("mp4, between key frames") << "mp4" << 241 << 6;
    }
    void clipStartsAtTheKeyFrameAtOrBefore() {
        QFETCH(QString, container);
        QFETCH(int, fromS);
        QFETCH(int, lenS);
        // 250 s, a key frame every 2 s (10 pictures a second, 20 to a group).
        const QString record = P("keyframes." + container);
        if (!QFileInfo::exists(record))
            QVERIFY(Ffmpeg(Source(250, "160x120", 10, false) + H264(20) +
                               (container == "ts" ? QStringList{"-f", "mpegts"} : QStringList{}),
                           record));
        CLumoFileDesc whole = Probe(record);
        CLumoTime from = whole.GetTimeS();
        from.Add(fromS * 1000);
        CLumoString fromText;
        from.BuildISO8601(fromText);
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(record) + QString("&from=%1&len=%2").arg(fromText.GetBuffer()).arg(lenS)));
        list.GetHead()->SetTimeS(whole.GetTimeS());
        list.GetHead()->SetTimeE(whole.GetTimeE());
        QString path;
        QCOMPARE(RunDownload(Target("dav", P("keycut")), &list, &path), 0);
        const int64_t tenths = Seconds10(Probe(path));
        const int64_t before = (fromS % 2) * 10;  // back to the key frame at or before
        QVERIFY2(tenths >= lenS * 10 + before - 2 && tenths <= lenS * 10 + before + 2,
                 qPrintable(QString("%1 s from %2 s gave %3 tenths").arg(lenS).arg(fromS).arg(tenths)));
    }

    void filesAreJoined() {
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(partA)));
        list.Append(Desc(FilerUri(partB)));
        QString path;
        QCOMPARE(RunDownload(Target("mp4", P("joined")), &list, &path), 0);
        CLumoFileDesc out = Probe(path);
        QVERIFY2(qAbs(Seconds10(out) - 20) <= 2, qPrintable(QString("%1 tenths").arg(Seconds10(out))));
        // The joined file plays through: every picture of both parts decodes.
        void* player = nullptr;
        QCOMPARE(LumoPlayerCreate(&player, nullptr, nullptr), 0);
        CLumoFileDescList play(1);
        play.Append(Desc(FilerUri(path)));
        QCOMPARE(LumoPlayerOpenFile(player, &play), 0);
        LumoPlayerSetSpeed(player, 16);
        QCOMPARE(LumoPlayerStart(player), 0);
        int state = 0;
        QTRY_VERIFY_WITH_TIMEOUT(LumoPlayerGetState(player, &state) == 0 && (state & LUMO_STATE_END), 8000);
        LumoPlayerStats stats;
        LumoPlayerGetStats(player, &stats);
        QVERIFY2(stats.framesDecoded >= 48, qPrintable(QString("%1 frames").arg(stats.framesDecoded)));
        LumoPlayerStop(player);
        LumoPlayerClose(player);
    }

    void namesNeverOverwrite() {
        QString folder = P("names");
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(src)));
        QString first, second, third;
        QCOMPARE(RunDownload(Target("avi", folder, "Gate-1.avi"), &list, &first), 0);
        QCOMPARE(QFileInfo(first).fileName(), QString("Gate-1.avi"));
        QCOMPARE(RunDownload(Target("avi", folder, "Gate-1"), &list, &second), 0);
        QCOMPARE(QFileInfo(second).fileName(), QString("Gate-1(1).avi"));
        // The first descriptor's save-file name when the target names none.
        list.GetHead()->SetSaveFileName("A1-B2-1-1-20240501-080000-4S.avi");
        QCOMPARE(RunDownload(Target("avi", folder), &list, &third), 0);
        QCOMPARE(QFileInfo(third).fileName(), QString("A1-B2-1-1-20240501-080000-4S.avi"));
        // A name is never a path.
        QString escaped;
        QCOMPARE(RunDownload(Target("avi", folder, "../../evil.avi"), &list, &escaped), 0);
        QCOMPARE(QFileInfo(escaped).absolutePath(), QDir(folder).absolutePath());
        // Without any name one is made from the file and its start.
        CLumoFileDescList plain(1);
        plain.Append(Desc(FilerUri(src)));
        QString made;
        QCOMPARE(RunDownload(Target("mp4", folder), &plain, &made), 0);
        QVERIFY(QFileInfo(made).fileName().startsWith("src_"));
    }

    void pictureOfTheStart() {
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(src)));
        QString path;
        QCOMPARE(RunDownload(Target("jpg", P("pics")), &list, &path), 0);
        QImage img(path);
        QCOMPARE(img.size(), QSize(320, 240));
    }

    void endIsReportedOnce() {
        EndLog log;
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(src)));
        void* h = nullptr;
        QCOMPARE(LumoDownloadOpenFile(&h, Target("dav", P("events")).toUtf8().constData(), &list), 0);
        QCOMPARE(LumoDownloadAttachStream(h, &log, &OnEnd), 0);
        QCOMPARE(LumoDownloadSetKey(h, "", "", ""), 0);
        QCOMPARE(LumoDownloadStart(h, 0), 0);
        QCOMPARE(LumoDownloadStart(h, 0), int(LUMO_ERR_STATE));
        QTRY_COMPARE_WITH_TIMEOUT(log.calls.load(), 1, 10000);
        QCOMPARE(log.result.load(), 0);
        int state = 0, error = -1, progress = 0;
        QCOMPARE(LumoDownloadGetProgress(h, &state, &error, &progress), 0);
        QVERIFY(state & LUMO_DOWNLOAD_FINISHED);
        QCOMPARE(error, 0);
        QCOMPARE(progress, 100);
        unsigned bps = 1;
        QCOMPARE(LumoDownloadGetBitrate(h, &bps), 0);
        QCOMPARE(LumoDownloadStop(h), 0);
        QCOMPARE(LumoDownloadDetachStream(h, &log, &OnEnd), 0);
        QCOMPARE(LumoDownloadClose(h), 0);
        QCOMPARE(LumoDownloadClose(h), int(LUMO_ERR_PARAM));
        QVERIFY(LumoDownloadGetProgress(h, &state, &error, &progress) != 0);
    }

    // A caller that closes the download from its end report must not wait for the very thread
    // it runs on; the file is complete all the same.
    void closeFromItsOwnReport() {
        EndLog log;
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(src)));
        void* h = nullptr;
        QString folder = P("selfclosed");
        QCOMPARE(LumoDownloadOpenFile(&h, Target("dav", folder).toUtf8().constData(), &list), 0);
        QCOMPARE(LumoDownloadAttachStream(h, &log, &CloseOnEnd), 0);
        QCOMPARE(LumoDownloadStart(h, 0), 0);
        QTRY_COMPARE_WITH_TIMEOUT(log.calls.load(), 1, 10000);
        QCOMPARE(log.result.load(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(LumoDownloadClose(h), int(LUMO_ERR_PARAM), 5000);
        const QStringList made = QDir(folder).entryList(QDir::Files);
        QCOMPARE(made.size(), 1);
        QVERIFY(made.first().endsWith(".dav"));
    }

    // The owner detaches as soon as the download says it has finished, and goes at once: no
    // report may reach it after the detach, however the two meet.
    void detachAsTheDownloadFinishes() {
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(partA)));
        const QString folder = P("detached");
        for (int i = 0; i < 30; ++i) {
            auto* owner = new TrackedOwner();
            void* h = nullptr;
            QCOMPARE(LumoDownloadOpenFile(&h, Target("dav", folder).toUtf8().constData(), &list), 0);
            QCOMPARE(LumoDownloadAttachStream(h, owner, &SlowReport), 0);
            QCOMPARE(LumoDownloadStart(h, 0), 0);
            int flags = 0;
            while (LumoDownloadGetProgressEx(h, &flags, nullptr, nullptr, nullptr) == 0 &&
                   !(flags & LUMO_DOWNLOAD_FINISHED))
                std::this_thread::yield();
            int r;
            while ((r = LumoDownloadDetachStream(h, owner, &SlowReport)) == LUMO_ERR_STATE)
                std::this_thread::yield();
            QCOMPARE(r, 0);
            delete owner;
            QCOMPARE(LumoDownloadStop(h), 0);
            QCOMPARE(LumoDownloadClose(h), 0);
        }
        std::lock_guard<std::mutex> lock(g_owners.m);
        QCOMPARE(g_owners.reportsToGone, 0);
    }

    // Folders and names outside ASCII go in and come out as UTF-8.
    void namesOutsideAscii() {
        const QString folder = P(QString::fromUtf8("下载 é/子"));
        const QString source = P(QString::fromUtf8("源 ü.mp4"));
        QVERIFY(QFile::copy(src, source));
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(source)));
        QString path;
        QCOMPARE(RunDownload(Target("mp4", folder, QString::fromUtf8("门口 1")), &list, &path), 0);
        QCOMPARE(path, QDir(folder).filePath(QString::fromUtf8("门口 1.mp4")));
        QVERIFY(QFileInfo(path).isFile());
        CLumoFileDesc out = Probe(path);
        QCOMPARE(int(out.GetVideoCodec()), int(LUMO_CODEC_H264));
        // Without a name, the source's own name is the stem.
        QString made;
        CLumoFileDescList plain(1);
        plain.Append(Desc(FilerUri(source)));
        QCOMPARE(RunDownload(Target("dav", folder), &plain, &made), 0);
        QVERIFY2(QFileInfo(made).fileName().startsWith(QString::fromUtf8("源 ü_")), qPrintable(made));
    }

    // Targets as callers write them: a folder given with backslashes only, '&' and '=' in names.
    void targetsAsCallersWriteThem() {
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(partA)));
        QString path;
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const int r = RunDownload("filew://local/type=rec&format=dav&pathname=back\\slashed", &list, &path);
        QDir::setCurrent(before);
        QCOMPARE(r, 0);
        QCOMPARE(QFileInfo(QDir(dir.path()).filePath(path)).absolutePath(),
                 QDir(P("back/slashed")).absolutePath());
        QCOMPARE(RunDownload(Target("dav", P("a&b=c"), "x&y=z"), &list, &path), 0);
        QCOMPARE(path, QDir(P("a&b=c")).filePath("x&y=z.dav"));
        QVERIFY(QFileInfo(path).isFile());
    }

    void badRequestsAreRefused_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("error");
        QTest::newRow("missing source") << Target("dav", dir.filePath("x"))
                                        << FilerUri(dir.filePath("none.mp4")) << int(LUMO_ERR_NOTFOUND);
        QTest::newRow("not a target") << "filer://local/type=rec&format=dav&filename=/tmp/x"
                                      << FilerUri(dir.filePath("src.mp4")) << int(LUMO_ERR_PARAM);
        QTest::newRow("no folder") << "filew://local/type=rec&format=dav" << FilerUri(dir.filePath("src.mp4"))
                                   << int(LUMO_ERR_PARAM);
        QTest::newRow("unknown format") << Target("mkv", dir.filePath("x"))
                                        << FilerUri(dir.filePath("src.mp4")) << int(LUMO_ERR_UNSUPPORTED);
        QTest::newRow("folder blocked by a file") << Target("dav", dir.filePath("blocker/sub"))
                                                  << FilerUri(dir.filePath("src.mp4")) << int(LUMO_ERR_WRITE);
        QTest::newRow("stream source") << Target("dav", dir.filePath("x")) << QString("rtsp://127.0.0.1:1/a")
                                       << int(LUMO_ERR_UNSUPPORTED);
    }
    void badRequestsAreRefused() {
        QFETCH(QString, url);
        QFETCH(QString, source);
        QFETCH(int, error);
        QFile blocker(P("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        CLumoFileDescList list(1);
        list.Append(Desc(source));
        void* h = reinterpret_cast<void*>(0x1);
        QCOMPARE(LumoDownloadOpenFile(&h, url.toUtf8().constData(), &list), error);
        QVERIFY(!h);
        CLumoFileDescList empty(1);
        QCOMPARE(LumoDownloadOpenFile(&h, Target("dav", P("x")).toUtf8().constData(), &empty),
                 int(LUMO_ERR_PARAM));
        QVERIFY(LumoDownloadStart(nullptr, 0) != 0);
    }

    void fullDiskLeavesNoFile() {
        LumoDownloadSetSpaceLimit(20000);
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(lng)));
        QString path;
        QString folder = P("full");
        QCOMPARE(RunDownload(Target("dav", folder), &list, &path), int(LUMO_ERR_DISKFULL));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 0);
    }

    void stopLeavesNoHalfFile() {
        CLumoFileDescList list(1);
        for (int i = 0; i < 20; ++i) list.Append(Desc(FilerUri(lng)));
        QString folder = P("stopped");
        void* h = nullptr;
        QCOMPARE(LumoDownloadOpenFile(&h, Target("mp4", folder).toUtf8().constData(), &list), 0);
        QCOMPARE(LumoDownloadStart(h, 0), 0);
        QCOMPARE(LumoDownloadStop(h), 0);
        int flags = 0, result = 0;
        QCOMPARE(LumoDownloadGetProgressEx(h, &flags, &result, nullptr, nullptr), 0);
        QVERIFY(flags & LUMO_DOWNLOAD_FINISHED);
        const QStringList left = QDir(folder).entryList(QDir::Files);
        if (result == 0)
            QCOMPARE(left.size(), 1);  // it was done before the stop came
        else
            QVERIFY2(left.isEmpty(), qPrintable(left.join(",")));
        QCOMPARE(LumoDownloadClose(h), 0);
    }

    // Downloads open at the same time under the same name each get a file of their own, and each
    // file is complete.
    void severalAtOnceNeverShareAFile() {
        const QString folder = P("together");
        const int n = 4;
        void* h[n] = {};
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(lng)));
        for (void*& one : h)
            QCOMPARE(LumoDownloadOpenFile(&one, Target("mp4", folder, "Gate").toUtf8().constData(), &list),
                     0);
        QSet<QString> parts;
        for (void* one : h) {
            CLumoString p;
            QCOMPARE(LumoDownloadGetFileName(one, &p), 0);
            parts.insert(QString::fromUtf8(p.GetBuffer()));
        }
        QCOMPARE(parts.size(), n);
        for (void* one : h) QCOMPARE(LumoDownloadStart(one, 0), 0);
        QSet<QString> made;
        for (void* one : h) {
            int flags = 0, result = 1;
            QTRY_VERIFY_WITH_TIMEOUT(LumoDownloadGetProgressEx(one, &flags, &result, nullptr, nullptr) == 0 &&
                                         (flags & LUMO_DOWNLOAD_FINISHED),
                                     20000);
            QCOMPARE(result, 0);
            CLumoString p;
            LumoDownloadGetFileName(one, &p);
            made.insert(QString::fromUtf8(p.GetBuffer()));
            QCOMPARE(LumoDownloadClose(one), 0);
        }
        QCOMPARE(made, parts);
        for (const QString& path : made) QVERIFY2(qAbs(Seconds10(Probe(path)) - 80) <= 2, qPrintable(path));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), n);
    }

    // A file that appears under the final name while the download runs is kept as it is; the
    // download's file is numbered apart. A leftover ".part" is never taken over.
    void nothingIsOverwritten() {
        const QString folder = P("kept");
        QVERIFY(QDir().mkpath(folder));
        QFile leftover(QDir(folder).filePath("Door.dav.part"));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.write("half of an older run");
        leftover.close();
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(src)));
        void* h = nullptr;
        QCOMPARE(LumoDownloadOpenFile(&h, Target("dav", folder, "Door").toUtf8().constData(), &list), 0);
        CLumoString p;
        LumoDownloadGetFileName(h, &p);
        QCOMPARE(QFileInfo(QString::fromUtf8(p.GetBuffer())).fileName(), QString("Door(1).dav"));
        QFile other(QDir(folder).filePath("Door(1).dav"));  // someone else's, made meanwhile
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("precious");
        other.close();
        QCOMPARE(LumoDownloadStart(h, 0), 0);
        int flags = 0, result = 1;
        QTRY_VERIFY_WITH_TIMEOUT(LumoDownloadGetProgressEx(h, &flags, &result, nullptr, nullptr) == 0 &&
                                     (flags & LUMO_DOWNLOAD_FINISHED),
                                 20000);
        QCOMPARE(result, 0);
        LumoDownloadGetFileName(h, &p);
        const QString made = QString::fromUtf8(p.GetBuffer());
        QCOMPARE(QFileInfo(made).fileName(), QString("Door(2).dav"));
        QVERIFY(Seconds10(Probe(made)) >= 38);
        QCOMPARE(LumoDownloadClose(h), 0);
        QVERIFY(other.open(QIODevice::ReadOnly));
        QCOMPARE(other.readAll(), QByteArray("precious"));
        QVERIFY(leftover.open(QIODevice::ReadOnly));
        QCOMPARE(leftover.readAll(), QByteArray("half of an older run"));
        QVERIFY(!QFileInfo::exists(QDir(folder).filePath("Door.dav")));
    }

    // An opened download that is closed without being started leaves nothing behind.
    void closeBeforeStartLeavesNothing() {
        const QString folder = P("unstarted");
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(src)));
        void* h = nullptr;
        QCOMPARE(LumoDownloadOpenFile(&h, Target("avi", folder).toUtf8().constData(), &list), 0);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);  // the reserved ".part"
        QCOMPARE(LumoDownloadClose(h), 0);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 0);
    }

    // The rate reads the writing speed while the download runs.
    void rateWhileRunning() {
        CLumoFileDescList list(1);
        for (int i = 0; i < 200; ++i) list.Append(Desc(FilerUri(lng)));
        void* h = nullptr;
        QCOMPARE(LumoDownloadOpenFile(&h, Target("dav", P("rate")).toUtf8().constData(), &list), 0);
        QCOMPARE(LumoDownloadStart(h, 0), 0);
        unsigned best = 0;
        int flags = 0;
        QElapsedTimer t;
        t.start();
        // However slow the machine (the sanitizer builds are several times slower), the rate is
        // read until the copy has ended.
        while (LumoDownloadGetProgressEx(h, &flags, nullptr, nullptr, nullptr) == 0 &&
               !(flags & LUMO_DOWNLOAD_FINISHED) && t.elapsed() < 240000) {
            unsigned bps = 0;
            QCOMPARE(LumoDownloadGetBitrate(h, &bps), 0);
            best = qMax(best, bps);
            QTest::qWait(50);
        }
        QVERIFY2(flags & LUMO_DOWNLOAD_FINISHED, "the copy did not end");
        QVERIFY2(best > 8 * 1024, qPrintable(QString::number(best)));
        unsigned after = 1;
        QCOMPARE(LumoDownloadGetBitrate(h, &after), 0);
        QCOMPARE(after, 0u);
        QCOMPARE(LumoDownloadClose(h), 0);
    }

    // The process's file-size limit (ulimit -f) is a full disk to the download: reported as such,
    // with nothing left under any name.
    void fileSizeLimitIsAFullDisk() {
        struct rlimit old {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit small = old;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        CLumoFileDescList list(1);
        for (int i = 0; i < 4; ++i) list.Append(Desc(FilerUri(lng)));
        QString path;
        const QString folder = P("limited");
        const int r = RunDownload(Target("mp4", folder), &list, &path);
        setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(r, int(LUMO_ERR_DISKFULL));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 0);
    }

    // A process killed while it downloads leaves at most its ".part", never a file under the
    // final name; the next download of that name does not take the ".part" for its own.
    void killedProcessLeavesNoFinalFile() {
        const QString folder = P("killed");
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {"--download-child", Target("mp4", folder, "Yard"), lng});
        QVERIFY(child.waitForStarted());
        const QString part = QDir(folder).filePath("Yard.mp4.part");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(part).size() > 0, 20000);
        child.kill();  // SIGKILL
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(!QFileInfo::exists(QDir(folder).filePath("Yard.mp4")));
        const qint64 leftSize = QFileInfo(part).size();
        CLumoFileDescList list(1);
        list.Append(Desc(FilerUri(src)));
        QString path;
        QCOMPARE(RunDownload(Target("mp4", folder, "Yard"), &list, &path), 0);
        QCOMPARE(QFileInfo(path).fileName(), QString("Yard(1).mp4"));
        QCOMPARE(QFileInfo(part).size(), leftSize);
        QVERIFY(!QFileInfo::exists(QDir(folder).filePath("Yard.mp4")));
    }
};

// The child of killedProcessLeavesNoFinalFile: downloads a long list until it is killed.
static int DownloadChild(const char* url, const char* source) {
    // Probed once: the open then has nothing to probe, however long the list.
    CLumoFileDesc probed;
    probed.SetURI(mediafixture::FilerUri(source).toUtf8().constData());
    LumoRecordProbeDesc(&probed);
    CLumoFileDescList list(1);
    for (int i = 0; i < 2000; ++i) list.Append(new CLumoFileDesc(probed));
    void* h = nullptr;
    if (LumoDownloadOpenFile(&h, url, &list) != 0 || LumoDownloadStart(h, 0) != 0) return 2;
    int flags = 0;
    while (LumoDownloadGetProgressEx(h, &flags, nullptr, nullptr, nullptr) == 0 &&
           !(flags & LUMO_DOWNLOAD_FINISHED))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    LumoDownloadClose(h);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--download-child") == 0) return DownloadChild(argv[2], argv[3]);
    QGuiApplication app(argc, argv);
    TestDownload t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}
#include "tst_download.moc"
