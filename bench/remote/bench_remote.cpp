// The recording engine over loopback against the same engine read in-process, in the same run:
//   1. record search of one day (every channel's main stream, the console's criteria) on an index
//      of 1 000 000 files: remote time at most 2 times the local time (median of pairs);
//   2. open -> first decoded frame of a 1080p record through the player: remote at most 1.5 times
//      the local time (median of pairs);
//   3. 20 clients searching while 4 downloads of the 1080p record run: no request may fail.
// Exit status 1 when a goal is missed, 2 when the bench cannot run (no ffmpeg tool).
//
//   bench_remote [runs]      (default 15 pairs per median)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "LumoCore/LumoCore.h"
#include "LumoSRecord/LumoSRecord.h"
#include "enginetools.h"
#include "recordindex.h"
#include "storage.h"

namespace {

const double kSearchGoal = 2.0;
const double kFirstFrameGoal = 1.5;
const size_t kIndexFiles = 1000000;
const int kChannels = 16;
const int kStreams = 2;
const int64_t kMinute = 60 * 1000;
const int64_t kDay = 24 * 60 * kMinute;

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool MakeClip(const QString& path) {
    QProcess probe;
    probe.start("ffmpeg", {"-hide_banner", "-encoders"});
    probe.waitForFinished(20000);
    const bool x264 = probe.readAll().contains(" libx264 ");
    QStringList args{"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25", "-t", "20"};
    if (x264)
        args << "-c:v"
             << "libx264"
             << "-preset"
             << "ultrafast"
             << "-g"
             << "50"
             << "-pix_fmt"
             << "yuv420p";
    else
        args << "-c:v"
             << "mpeg4"
             << "-q:v"
             << "4"
             << "-g"
             << "50";
    args << "-f"
         << "mpegts" << path;
    QProcess p;
    p.start("ffmpeg", args);
    return p.waitForFinished(300000) && p.exitCode() == 0;
}

ILumoFSSearchParam DayParam(const CLumoTime& day) {
    ILumoFSSearchParam p(1);
    CLumoTime end = day;
    end.Add(kDay - 1000);
    p.SetTimeS(day);
    p.SetTimeE(end);
    p.SetChannelMask(0, ~0ull);
    p.SetMediaType(1);
    p.SetRecordType(0xDF);
    p.SetStreamType(0);
    return p;
}

// Rows of a search, or -1 on failure; *ms its time.
int Search(const char* url, const ILumoFSSearchParam& p, double* ms) {
    QElapsedTimer t;
    t.start();
    IVantelList* rows = nullptr;
    const int rc = LumoSRGetFileInfo(url, &p, &rows, 20000);
    if (ms) *ms = t.nsecsElapsed() / 1e6;
    const int n = rc == 0 && rows ? rows->GetCount() : -1;
    if (rows) rows->Release();
    return n;
}

CLumoFileDesc Found(const char* url, const ILumoFSSearchParam& p) {
    CLumoFileDesc d;
    IVantelList* rows = nullptr;
    if (LumoSRGetFileInfo(url, &p, &rows, 20000) == 0 && rows && rows->GetCount() > 0) {
        auto* row = static_cast<IKestoFileInfoAV*>(rows->GetAt(0));
        d.Setup(row->GetInfo());
        d.SetURI(row->GetURI());
        d.SetFileName(row->GetFileName());
    }
    if (rows) rows->Release();
    return d;
}

// Open call -> first decoded frame, ms (-1 when none came).
double FirstFrame(const CLumoFileDesc& d) {
    void* player = nullptr;
    if (LumoPlayerCreate(&player, nullptr, nullptr) != 0) return -1;
    CLumoFileDescList list(1);
    list.Append(new CLumoFileDesc(d));
    double ms = -1;
    if (LumoPlayerOpenFile(player, &list) == 0 && LumoPlayerStart(player) == 0) {
        QElapsedTimer t;
        t.start();
        LumoPlayerStats s;
        while (t.elapsed() < 20000) {
            if (LumoPlayerGetStats(player, &s) == 0 && s.firstFrameUs >= 0) {
                ms = s.firstFrameUs / 1000.0;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    LumoPlayerStop(player);
    LumoPlayerClose(player);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 15;
    QTemporaryDir dir;
    const QString clip = dir.path() + "/clip1080.ts";
    std::printf("making a 1080p record with the ffmpeg tool ...\n");
    std::fflush(stdout);
    if (!MakeClip(clip)) {
        std::fprintf(stderr, "the ffmpeg tool could not make the 1080p record\n");
        return 2;
    }
    QDir(dir.path()).mkpath("d1");
    QFile ini(dir.path() + "/kestostorage.ini");
    ini.open(QIODevice::WriteOnly);
    ini.write(
        "[storage]\nfreeSpaceFloorMB=0\nblockCapacityMB=4096\n[disk1]\npath=d1\nname=disk1\n[channel1]\ncuid="
        "CAM-1\n");
    ini.close();
    LumoSRSetStorageConfig((dir.path() + "/kestostorage.ini").toUtf8().constData());
    LumoCoreInitialize(nullptr);
    if (LumoSRInitialize(nullptr) != 0 || LumoSRStart(0) != 0) {
        std::fprintf(stderr, "the engine did not start\n");
        return 2;
    }
    IKestoDiskFormat* format = IKestoDiskFormat::CreateObject();
    format->SetID(1);
    int rc = LumoSRFormatDisk(nullptr, format, nullptr, 20000);
    format->Release();
    CLumoTime clipStart = CLumoTime::Now();
    clipStart.Add(-3600 * 1000LL);
    if (rc != 0 ||
        LumoSRStoreRecordFile(clip.toUtf8().constData(), 1, 0, 0, clipStart, nullptr, 60000) != 0) {
        std::fprintf(stderr, "the 1080p record could not be stored (%d)\n", rc);
        return 2;
    }
    const QByteArray url = "lumofs://127.0.0.1:" + QByteArray::number(LumoSRGetPort()) + "/media";

    // The index: one-minute files every ten minutes on 16 channels and two streams, from a year
    // back, in blocks of 64 that no folder of the disk uses.
    const CLumoTime base = [] {
        CLumoTime t = CLumoTime::Now();
        t.Add(-400 * kDay);
        t.SetHour(0);
        t.SetMinute(0);
        t.SetSecond(0);
        t.SetMS(0);
        return t;
    }();
    {
        std::vector<kesto::RecordEntry> entries;
        entries.reserve(kIndexFiles);
        const size_t perLane = kIndexFiles / (kChannels * kStreams);
        for (int ch = 0; ch < kChannels; ++ch)
            for (int s = 0; s < kStreams; ++s)
                for (size_t i = 0; i < perLane; ++i) {
                    kesto::RecordEntry e;
                    e.startMs = base.ToEpochMs() + int64_t(i) * 10 * kMinute;
                    e.endMs = e.startMs + kMinute;
                    e.channel = uint8_t(ch);
                    e.stream = uint8_t(s);
                    e.block = uint32_t(80000 + (size_t(ch * kStreams + s) * perLane + i) / 64);
                    e.fileIndex = uint16_t(i % 64);
                    e.size = 2 << 20;
                    e.width = 704;
                    e.height = 576;
                    e.frameRate = 25;
                    e.videoCodec = 1;
                    char name[64];
                    std::snprintf(name, sizeof name, "c%02d_s%d_r0_20260101_%06d.dav", ch + 1, s,
                                  int(i % 1000000));
                    e.fileName = name;
                    entries.push_back(std::move(e));
                }
        kesto::CurrentStorage()->AddIndexEntries(entries);
    }
    CLumoTime day = base;
    day.Add(100 * kDay);
    const ILumoFSSearchParam dayParam = DayParam(day);

    // 1. Search.
    std::vector<double> local, remote, ratios;
    int localRows = 0, remoteRows = 0;
    for (int i = 0; i < runs + 1; ++i) {
        double l = 0, r = 0;
        // In turns first, so that a load that comes and goes falls on both.
        if (i % 2) {
            localRows = Search(nullptr, dayParam, &l);
            remoteRows = Search(url.constData(), dayParam, &r);
        } else {
            remoteRows = Search(url.constData(), dayParam, &r);
            localRows = Search(nullptr, dayParam, &l);
        }
        if (i == 0) continue;  // warm-up
        local.push_back(l);
        remote.push_back(r);
        ratios.push_back(r / l);
    }
    const double searchRatio = Median(ratios);
    const bool searchMet = searchRatio <= kSearchGoal && localRows == remoteRows && localRows > 0;

    // 2. First frame.
    ILumoFSSearchParam clipParam(1);
    CLumoTime from = clipStart;
    from.Add(-60000);
    CLumoTime to = clipStart;
    to.Add(60000);
    clipParam.SetTimeS(from);
    clipParam.SetTimeE(to);
    clipParam.SetChannelMask(0, 1);
    const CLumoFileDesc localClip = Found(nullptr, clipParam);
    const CLumoFileDesc remoteClip = Found(url.constData(), clipParam);
    std::vector<double> localFf, remoteFf, ffRatios;
    bool ffOk = *localClip.GetURI() && *remoteClip.GetURI();
    for (int i = 0; ffOk && i < runs + 1; ++i) {
        double l, r;
        if (i % 2) {
            l = FirstFrame(localClip);
            r = FirstFrame(remoteClip);
        } else {
            r = FirstFrame(remoteClip);
            l = FirstFrame(localClip);
        }
        if (l <= 0 || r <= 0) ffOk = false;
        if (i == 0) continue;
        localFf.push_back(l);
        remoteFf.push_back(r);
        ffRatios.push_back(r / l);
    }
    const double ffRatio = Median(ffRatios);
    const bool ffMet = ffOk && ffRatio <= kFirstFrameGoal;

    // 3. 20 clients searching while 4 downloads run.
    std::vector<void*> downloads;
    int downloadFailures = 0;
    for (int i = 0; i < 4 && ffOk; ++i) {
        CLumoFileDescList list(1);
        list.Append(new CLumoFileDesc(remoteClip));
        const QString target =
            QString("filew://local/type=rec&format=mp4&pathname=%1/downloads%2").arg(dir.path()).arg(i);
        void* h = nullptr;
        if (LumoDownloadOpenFile(&h, target.toUtf8().constData(), &list) != 0 ||
            LumoDownloadStart(h, 0) != 0) {
            ++downloadFailures;
            if (h) LumoDownloadClose(h);
            continue;
        }
        downloads.push_back(h);
    }
    std::atomic<int> searches{0}, searchFailures{0};
    std::atomic<bool> downloading{true};
    std::vector<std::thread> clients;
    for (int c = 0; c < 20; ++c)
        clients.emplace_back([&, c] {
            ILumoFSSearchParam p = dayParam;
            // Each client its own day, at least five searches, and on while the downloads run.
            CLumoTime d = base;
            d.Add(int64_t(10 + c) * kDay);
            p = DayParam(d);
            for (int n = 0; n < 5 || downloading.load(); ++n) {
                const int rows = Search(url.constData(), p, nullptr);
                ++searches;
                if (rows != kChannels * 144) ++searchFailures;
            }
        });
    for (void* h : downloads) {
        int flags = 0, result = 0;
        QElapsedTimer t;
        t.start();
        while (LumoDownloadGetProgressEx(h, &flags, &result, nullptr, nullptr) == 0 &&
               !(flags & LUMO_DOWNLOAD_FINISHED) && t.elapsed() < 120000)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!(flags & LUMO_DOWNLOAD_FINISHED) || result != 0) ++downloadFailures;
        LumoDownloadStop(h);
        LumoDownloadClose(h);
    }
    downloading = false;
    for (std::thread& t : clients) t.join();
    const bool loadMet = ffOk && downloadFailures == 0 && searchFailures.load() == 0;

    std::printf("\nRecording engine over loopback vs in-process, %d pairs per median\n", runs);
    std::printf("%-44s | %12s | %12s | %7s | %s\n", "case", "local ms", "remote ms", "ratio", "goal");
    std::printf("%-44s | %12.2f | %12.2f | %7.2f | <=%.1f %s\n",
                qPrintable(QString("search one day, %1 rows, 1 000 000-file index").arg(localRows)),
                Median(local), Median(remote), searchRatio, kSearchGoal, searchMet ? "met" : "MISSED");
    std::printf("%-44s | %12.2f | %12.2f | %7.2f | <=%.1f %s\n", "open -> first frame, 1080p record",
                Median(localFf), Median(remoteFf), ffRatio, kFirstFrameGoal, ffMet ? "met" : "MISSED");
    std::printf(
        "20 clients searching while 4 downloads run: %d searches, %d failed; 4 downloads, %d failed: %s\n",
        searches.load(), searchFailures.load(), downloadFailures, loadMet ? "met" : "MISSED");
    LumoSRStop();
    LumoSRInvalidate();
    LumoCoreInvalidate();
    return searchMet && ffMet && loadMet ? 0 : 1;
}
