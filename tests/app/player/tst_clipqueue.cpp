// The clip queue: clips wait their turn and run one at a time, every result (a failed start
// included) reaches the observer, a full disk is told apart from other failures, a real clip has
// the asked length and plays, and stopping at exit leaves no partial file.
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QTemporaryDir>
#include <QtTest>
#include <mutex>
#include <thread>
#include <vector>
#include "testsupport.h"

#include "../../platform/media/mediafixture.h"
#include "LumoBase/LumoResult.h"
#include "LumoCore/LumoCore.h"
#include "LumoRecord/LumoRecord.h"
#include "player/downloadmanager.h"
#include "player/playercontext.h"
#include "player/playfile.h"

using namespace mediafixture;

namespace {

// Collects the results a task's result signal delivers (on the task's thread).
struct ResultLog : CLumoObject {
    struct Entry {
        int code;
        QString output;
        QString source;
    };
    ResultLog() : callback(this, &ResultLog::Handler) {}

    static QString Text(void* p) { return p ? QString::fromUtf8(static_cast<const char*>(p)) : QString(); }
    static int Handler(CLumoObject* owner, int code, void*, void* source, void* output) {
        auto* log = static_cast<ResultLog*>(owner);
        std::lock_guard<std::mutex> lock(log->m);
        log->entries.push_back({code, Text(output), Text(source)});
        return 0;
    }
    int Count() {
        std::lock_guard<std::mutex> lock(m);
        return int(entries.size());
    }
    Entry At(int i) {
        std::lock_guard<std::mutex> lock(m);
        return entries.at(size_t(i));
    }

    std::mutex m;
    std::vector<Entry> entries;  // guarded by m
    ILumoCallback callback;
};

// A clip of [fromSec, toSec) of the record file at path, as the main window builds it.
void MakeClip(CLumoFile& clip, const QString& path, const CLumoTime& fileStart, int fromSec, int toSec) {
    clip.url = FilerUri(path).toStdString();
    clip.path = path.toStdString();
    clip.timeS = fileStart;
    clip.timeS.Add(int64_t(fromSec) * 1000);
    clip.timeE = fileStart;
    clip.timeE.Add(int64_t(toSec) * 1000);
    clip.length = uint64_t(QFileInfo(path).size());
}

CLumoFileDesc Probe(const QString& path) {
    CLumoFileDesc d;
    d.SetURI(FilerUri(path).toUtf8().constData());
    LumoRecordProbeDesc(&d);
    return d;
}

}  // namespace

class TestClipQueue : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_src;   // 20 s, H.264 (one key frame a second) + AAC, in our MPEG-TS record container
    QString m_long;  // 60 s at 640x480: long enough to be stopped while it is copied
    CLumoTime m_srcStart, m_longStart;

    QString NewFolder(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void engineErrorMapsToResult_data();
    void engineErrorMapsToResult();
    void resultCodes_data();
    void resultCodes();
    void secondClipWaitsThenRuns();
    void failedStartIsSeenAndEnds();
    void neverTwoClipsAtOnce();
    void clipHasAskedLengthAndPlays_data();
    void clipHasAskedLengthAndPlays();
    void stopAllLeavesNoPartialFile();
};

void TestClipQueue::initTestCase() {
    VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the record files");
    QVERIFY(m_dir.isValid());
    m_src = m_dir.filePath("src.dav");
    QVERIFY(Ffmpeg(Source(20) + H264(25) + Aac() + QStringList{"-f", "mpegts"}, m_src));
    m_long = m_dir.filePath("long.dav");
    QVERIFY(Ffmpeg(Source(60, "640x480") + H264(25) + QStringList{"-f", "mpegts"}, m_long));
    m_srcStart = Probe(m_src).GetTimeS();
    m_longStart = Probe(m_long).GetTimeS();
    QVERIFY(!m_srcStart.IsEmpty());
}

void TestClipQueue::init() {
    CLumoDownload::SetPollIntervalMs(20);
    LumoDownloadSetSpaceLimit(0);
}

void TestClipQueue::cleanup() {
    LumoDownloadSetSpaceLimit(0);
}

// The engine's codes, never errno values: only its disk-full code means a full disk.
void TestClipQueue::engineErrorMapsToResult_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("result");
    QTest::newRow("no error") << int(LUMO_OK) << 1;
    QTest::newRow("disk full") << int(LUMO_ERR_DISKFULL) << 3;
    QTest::newRow("write error") << int(LUMO_ERR_WRITE) << 2;
    QTest::newRow("stopped") << int(LUMO_ERR_STATE) << 2;
    QTest::newRow("negated ENOSPC is not the engine's code") << -28 << 2;
}

void TestClipQueue::engineErrorMapsToResult() {
    QFETCH(int, error);
    QFETCH(int, result);
    QCOMPARE(CLumoDownload::ResultOf(error), result);
}

// What a clip reports, and what it leaves in its folder.
void TestClipQueue::resultCodes_data() {
    QTest::addColumn<QString>("source");  // "src" or a missing file
    QTest::addColumn<quint64>("spaceLimit");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("named");  // the report names the clip file
    QTest::newRow("done") << "src" << quint64(0) << 1 << true;
    QTest::newRow("failed: no such source") << "missing.dav" << quint64(0) << 2 << false;
    QTest::newRow("disk full") << "src" << quint64(20000) << 3 << true;
}

void TestClipQueue::resultCodes() {
    QFETCH(QString, source);
    QFETCH(quint64, spaceLimit);
    QFETCH(int, result);
    QFETCH(bool, named);
    LumoDownloadSetSpaceLimit(spaceLimit);
    const QString folder = NewFolder(QString("codes-%1").arg(QTest::currentDataTag()));
    ResultLog log;
    CDownloadManager manager;
    CLumoFile clip;
    MakeClip(clip, source == "src" ? m_src : m_dir.filePath(source), m_srcStart, 2, 9);
    CLumoDownload* task = nullptr;
    QCOMPARE(manager.AddTask(&task, &clip, CLumoString(folder.toStdString()), 0, &log.callback), 0);
    QVERIFY(task);
    QTRY_COMPARE_WITH_TIMEOUT(log.Count(), 1, 30000);
    QCOMPARE(log.At(0).code, result);
    QCOMPARE(log.At(0).source, QString::fromStdString(clip.path));
    const QStringList left = QDir(folder).entryList(QDir::Files);
    if (result == 1) {
        QCOMPARE(left.size(), 1);
        QCOMPARE(log.At(0).output, QDir(folder).filePath(left.first()));
        // The result tip's open button opens the clip's folder.
        QCOMPARE(QDir(CPlayerContext::FolderToOpen(log.At(0).output)), QDir(folder));
    } else {
        QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
        // A clip that was being written is named, although nothing of it stays; one whose
        // download never started has no name.
        QCOMPARE(!log.At(0).output.isEmpty(), named);
        if (named) QCOMPARE(QFileInfo(log.At(0).output).absoluteDir(), QDir(folder));
    }
    QTRY_VERIFY(!task->IsPolling());
    QCOMPARE(manager.GetRunningCount(), 0);
}

// A clip added while another runs waits, and starts by itself when the first ends.
void TestClipQueue::secondClipWaitsThenRuns() {
    CLumoDownload::SetPollIntervalMs(1000);  // the first clip stays running for a while
    const QString folder = NewFolder("queue");
    ResultLog first, second;
    CDownloadManager manager;
    CLumoFile clip;
    MakeClip(clip, m_src, m_srcStart, 0, 5);
    CLumoDownload* a = nullptr;
    CLumoDownload* b = nullptr;
    manager.AddTask(&a, &clip, CLumoString(folder.toStdString()), 0, &first.callback);
    MakeClip(clip, m_src, m_srcStart, 5, 10);
    manager.AddTask(&b, &clip, CLumoString(folder.toStdString()), 1, &second.callback);
    QCOMPARE(manager.GetRunningCount(), 1);
    QCOMPARE(manager.GetWaitingCount(), 1);
    QCOMPARE(b->GetRunState(), int(CLumoDownload::STATE_NEW));
    QTRY_COMPARE_WITH_TIMEOUT(second.Count(), 1, 30000);
    QCOMPARE(first.Count(), 1);
    QCOMPARE(first.At(0).code, 1);
    QCOMPARE(second.At(0).code, 1);
    QVERIFY(first.At(0).output.endsWith(".dav"));
    QVERIFY(second.At(0).output.endsWith(".avi"));
    QCOMPARE(manager.GetWaitingCount(), 0);
    QCOMPARE(manager.GetPeakRunning(), 1);
}

// A clip whose download cannot start reports its failure to the observer given with it, no
// thread is left polling, and the queue goes on with the next clip.
void TestClipQueue::failedStartIsSeenAndEnds() {
    const QString folder = NewFolder("failed");
    ResultLog log, next;
    CDownloadManager manager;
    CLumoFile clip;
    MakeClip(clip, m_dir.filePath("nowhere.dav"), m_srcStart, 0, 5);
    CLumoDownload* task = nullptr;
    manager.AddTask(&task, &clip, CLumoString(folder.toStdString()), 0, &log.callback);
    QCOMPARE(log.Count(), 1);  // before AddTask returned
    QCOMPARE(log.At(0).code, 2);
    QVERIFY(log.At(0).output.isEmpty());
    QVERIFY(!task->IsPolling());
    QCOMPARE(task->GetRunState(), int(CLumoDownload::STATE_STOPPED));
    QCOMPARE(manager.GetRunningCount(), 0);

    MakeClip(clip, m_src, m_srcStart, 0, 3);
    CLumoDownload* good = nullptr;
    manager.AddTask(&good, &clip, CLumoString(folder.toStdString()), 0, &next.callback);
    QTRY_COMPARE_WITH_TIMEOUT(next.Count(), 1, 30000);
    QCOMPARE(next.At(0).code, 1);
    QCOMPARE(log.Count(), 1);  // nothing more for the failed one
}

// Clips added from two threads at once while others end on their own threads: never two run.
void TestClipQueue::neverTwoClipsAtOnce() {
    CLumoDownload::SetPollIntervalMs(1);
    const QString folder = NewFolder("stress");
    ResultLog log;
    CDownloadManager manager;
    constexpr int kPerThread = 12;
    CLumoFile clip;
    MakeClip(clip, m_src, m_srcStart, 3, 4);
    const CLumoString target(folder.toStdString());
    auto adder = [&]() {
        for (int i = 0; i < kPerThread; ++i) {
            CLumoDownload* t = nullptr;
            manager.AddTask(&t, &clip, target, i % 2, &log.callback);
        }
    };
    std::thread one(adder), two(adder);
    one.join();
    two.join();
    QTRY_COMPARE_WITH_TIMEOUT(log.Count(), 2 * kPerThread, 120000);
    QCOMPARE(manager.GetPeakRunning(), 1);
    for (int i = 0; i < log.Count(); ++i) QCOMPARE(log.At(i).code, 1);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2 * kPerThread);
}

// A clip from 5 s to 12 s into dav and avi lasts 7 s (within one key-frame interval) and can be
// opened and read as a video of the source's size.
void TestClipQueue::clipHasAskedLengthAndPlays_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("dav") << 0 << ".dav";
    QTest::newRow("avi") << 1 << ".avi";
}

void TestClipQueue::clipHasAskedLengthAndPlays() {
    QFETCH(int, format);
    QFETCH(QString, suffix);
    // A folder that does not exist yet, two levels deep.
    const QString folder = NewFolder(QString("clips-%1/%2").arg(QTest::currentDataTag()).arg("today"));
    ResultLog log;
    CDownloadManager manager;
    CLumoFile clip;
    MakeClip(clip, m_src, m_srcStart, 5, 12);
    CLumoDownload* task = nullptr;
    manager.AddTask(&task, &clip, CLumoString(folder.toStdString()), format, &log.callback);
    QTRY_COMPARE_WITH_TIMEOUT(log.Count(), 1, 30000);
    QCOMPARE(log.At(0).code, 1);
    const QString out = log.At(0).output;
    QVERIFY2(out.endsWith(suffix), qPrintable(out));
    QCOMPARE(QFileInfo(out).absolutePath(), QFileInfo(folder).absoluteFilePath());
    QVERIFY(!QFile::exists(out + ".part"));
    CLumoFileDesc desc = Probe(out);
    QCOMPARE(int(desc.GetWidth()), 320);
    QCOMPARE(int(desc.GetHeight()), 240);
    const int64_t ms = CLumoTime::GetTimeSpan(desc.GetTimeE(), desc.GetTimeS());
    QVERIFY2(qAbs(ms - 7000) <= 1000, qPrintable(QString("clip lasts %1 ms").arg(ms)));
}

// At exit: the waiting clips are dropped, the running one is stopped and waited for, and no
// partial file is left under a clip's name. The queue works again afterwards.
void TestClipQueue::stopAllLeavesNoPartialFile() {
    const QString folder = NewFolder("exit");
    ResultLog log;
    CDownloadManager manager;
    CLumoFile clip;
    MakeClip(clip, m_long, m_longStart, 0, 60);
    const CLumoString target(folder.toStdString());
    std::vector<CLumoDownload*> tasks(3, nullptr);
    for (CLumoDownload*& t : tasks) manager.AddTask(&t, &clip, target, 1, &log.callback);
    // Stopped while the first clip is being written: as soon as its part file shows.
    const QString part = QString::fromStdString(tasks[0]->GetOutputPath()) + ".part";
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(part) && log.Count() == 0 && waited.elapsed() < 30000) QThread::usleep(200);
    manager.StopAll();
    QCOMPARE(manager.GetRunningCount(), 0);
    QCOMPARE(manager.GetWaitingCount(), 0);
    for (CLumoDownload* t : tasks) {
        QVERIFY(!t->IsPolling());
        QCOMPARE(t->GetRunState(), int(CLumoDownload::STATE_STOPPED));
    }
    QVERIFY(tasks[2]->GetOutputPath().empty());  // dropped before it started
    // Only a clip that was complete before the stop may stand, and whole; nothing partial, under
    // its own name or the part file's.
    const QStringList left = QDir(folder).entryList(QDir::Files);
    for (const QString& name : left) {
        QVERIFY2(!name.endsWith(".part"), qPrintable(name));
        const CLumoFileDesc desc = Probe(QDir(folder).filePath(name));
        const int64_t ms = CLumoTime::GetTimeSpan(desc.GetTimeE(), desc.GetTimeS());
        QVERIFY2(ms > 59000, qPrintable(QString("%1 lasts %2 ms").arg(name).arg(ms)));
    }
    int done = 0;
    for (int i = 0; i < log.Count(); ++i) done += log.At(i).code == 1;
    QCOMPARE(done, left.size());
    if (left.isEmpty()) qInfo("the running clip was stopped while it was written");

    MakeClip(clip, m_src, m_srcStart, 0, 2);
    ResultLog after;
    CLumoDownload* t = nullptr;
    manager.AddTask(&t, &clip, target, 0, &after.callback);
    QTRY_COMPARE_WITH_TIMEOUT(after.Count(), 1, 30000);
    QCOMPARE(after.At(0).code, 1);
}

QTEST_MAIN(TestClipQueue)
#include "tst_clipqueue.moc"
