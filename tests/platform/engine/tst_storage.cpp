// The recording engine's storage against real folders and real record files made at test time:
// disk rows, channels and streams, blocks, CUIDs, the record search, formatting, broken files,
// the probe cache, the writer with its disk-full policy, disk numbers and overlapping disks,
// format failure reasons, settings problems, and queries that never wait for a probe; and that
// nothing outside the disks is lost or served: mounts and links inside a disk, hard links to
// outside files, and the security file's import on a full disk.
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <linux/fs.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include "testsupport.h"

#include "LumoFS/LumoFS.h"
#include "LumoSRecord/LumoSRecord.h"
#include "enginefixture.h"
#include "probe.h"  // the engine's own probe, tested from outside
#include "testsupport.h"

namespace {

// Holds an engine list for the length of a test.
struct Rows {
    IVantelList* list = nullptr;
    ~Rows() {
        if (list) list->Release();
    }
    int count() const { return list ? list->GetCount() : -1; }
    template <class T>
    T* at(int i) const {
        return static_cast<T*>(list->GetAt(i));
    }
};

QString recordName(int channel, int stream, int type, const QDateTime& start, const QString& ext = "dav") {
    return QStringLiteral("c%1_s%2_r%3_%4.%5")
        .arg(channel, 2, 10, QLatin1Char('0'))
        .arg(stream)
        .arg(type)
        .arg(start.toString("yyyyMMdd_HHmmss"), ext);
}

CLumoTime lumoTime(const QDateTime& t) {
    return CLumoTime::FromEpochMs(t.toMSecsSinceEpoch());
}

// A base time away from daylight-saving changes.
const QDateTime kBase(QDate(2026, 3, 10), QTime(10, 0, 0));

}  // namespace

class TestStorage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void diskRows_data();
    void diskRows();
    void diskOrderAndNames();
    void channelsAndStreams();
    void cuidList();
    void blocksOfDisk();
    void search_data();
    void search();
    void searchOverlapAtFileEnd();
    void searchBatchesWithCursor();
    void searchDescriptorAndConversion();
    void rescanSeesNewAndRemovedFiles();
    void formatTwoDisksTouchesNothingElse();
    void formatRefusals_data();
    void formatRefusals();
    void brokenFilesAreSkipped();
    void probeCacheSurvivesRestart();
    void storeRecordFile();
    void diskFullPolicy_data();
    void diskFullPolicy();
    void formatWaitsForWriter();
    void overlappingDisks_data();
    void overlappingDisks();
    void diskNumbersAreTheSettingsOwn();
    void framelessFileIsNoRecord();
    void codecCodesOfRecords_data();
    void codecCodesOfRecords();
    void formatFailureReasons_data();
    void formatFailureReasons();
    void settingsProblems_data();
    void settingsProblems();
    void queriesDoNotWaitForProbes();
    void stopEndsProbesAtOnce();
    void garbageIsJudgedByItsFirstBytes();
    void removalNeverCrossesAMount_data();
    void removalNeverCrossesAMount();
    void formatOnAnOverlay();
    void servesOnlyIndexedRecords_data();
    void servesOnlyIndexedRecords();
    void securityImportOnFullDisk();

private:
    QString m_clipMain;  // 2 s, 64x48, H.264 + AAC, MPEG-TS
    QString m_clipSub;   // 3 s, 32x24, MPEG-4 part 2, MPEG-TS
    QTemporaryDir m_clips;
    QScopedPointer<QTemporaryDir> m_dir;

    QString root() const { return m_dir->path(); }
    QString disk(const QString& name) const { return root() + "/" + name; }
    void writeFile(const QString& path, const QByteArray& data) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    void writeIni(const QString& text) { writeFile(root() + "/kestostorage.ini", text.toUtf8()); }
    void makeDisk(const QString& name, bool marked = true) {
        QVERIFY(QDir().mkpath(disk(name)));
        if (marked) writeFile(disk(name) + "/kestodisk.marker", "KestoDisk 1\n");
    }
    QString place(const QString& diskName, int block, int channel, int stream, int type,
                  const QDateTime& start, bool sub = false) {
        const QString dir = disk(diskName) + QStringLiteral("/blk%1").arg(block, 5, 10, QLatin1Char('0'));
        QDir().mkpath(dir);
        const QString name = recordName(channel, stream, type, start);
        QFile::copy(sub ? m_clipSub : m_clipMain, dir + "/" + name);
        return name;
    }
    // Starts the engine and, unless told not to, lets its index take in the disks: the disk,
    // channel and block queries answer from what was read, and a search waits for the reading.
    void startEngine(bool settle = true) {
        LumoSRSetStorageConfig((root() + "/kestostorage.ini").toUtf8().constData());
        QCOMPARE(LumoSRInitialize(nullptr), 0);
        if (!settle) return;
        ILumoFSSearchParam nothing(1);
        uint64_t cursor = 0;
        CLumoFileDescList none(1);
        QCOMPARE(LumoSRSearchFiles(&nothing, &cursor, &none, 1), 0);
    }
    static int formatDisk(int id, int timeoutMs = 5000) {
        IKestoDiskFormat* req = IKestoDiskFormat::CreateObject();
        req->SetID(id);
        req->SetAccess(0);
        const int rc = LumoSRFormatDisk(nullptr, req, nullptr, timeoutMs);
        req->Release();
        return rc;
    }
    static QList<qint64> diskIds() {
        Rows rows;
        QList<qint64> ids;
        if (LumoSRGetDiskInfo(nullptr, 0, &rows.list, 5000) != 0) return {-1};
        for (int i = 0; i < rows.count(); ++i) ids << rows.at<IKestoDiskInfo>(i)->GetID();
        return ids;
    }
    static QPair<int, QString> lastError() {
        int reason = -1;
        CLumoString detail;
        LumoSRGetLastError(&reason, &detail);
        return {reason, QString::fromUtf8(detail.GetBuffer())};
    }
    // Makes a folder refuse new and removed entries: read-only for a user, immutable for root
    // (who passes permission bits). False when the file system cannot do it.
    bool lockFolder(const QString& path) {
        if (::geteuid() != 0) {
            if (::chmod(path.toUtf8().constData(), 0555) != 0) return false;
        } else {
            int fd = ::open(path.toUtf8().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            int flags = 0;
            const bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                            (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
            if (fd >= 0) ::close(fd);
            if (!ok) return false;
        }
        m_locked << path;
        return true;
    }
    void unlockFolders() {
        for (const QString& path : m_locked) {
            ::chmod(path.toUtf8().constData(), 0755);
            int fd = ::open(path.toUtf8().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            int flags = 0;
            if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0) ::close(fd);
        }
        m_locked.clear();
    }
    QStringList m_locked;
    // Binds `source` on `target` (made here); unmounted in cleanup.
    bool bindMount(const QString& source, const QString& target) {
        QDir().mkpath(target);
        if (::mount(QFile::encodeName(source).constData(), QFile::encodeName(target).constData(), nullptr,
                    MS_BIND, nullptr) != 0)
            return false;
        m_mounts.prepend(target);
        return true;
    }
    QStringList m_mounts;
    // An MP4 whose header promises 8 s of 640x360 pictures but that holds none of them; empty
    // when this ffmpeg has no such encoder.
    QString framelessMp4(const QString& encoder) {
        const QString full = m_clips.path() + "/full-" + encoder + ".mp4";
        const QString cut = m_clips.path() + "/frameless-" + encoder + ".mp4";
        if (QFile::exists(cut)) return cut;
        const QString pixels = encoder == "mjpeg" ? "yuvj420p" : "yuv420p";
        if (!makeClip({"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25:duration=8", "-c:v", encoder,
                       "-pix_fmt", pixels, "-movflags", "+faststart", full}))
            return QString();
        QFile in(full);
        if (!in.open(QIODevice::ReadOnly)) return QString();
        const QByteArray bytes = in.readAll();
        // Boxes up to and with the media data box's header, none of its data.
        for (int at = 0; at + 8 <= bytes.size();) {
            const quint32 size = (quint8(bytes[at]) << 24) | (quint8(bytes[at + 1]) << 16) |
                                 (quint8(bytes[at + 2]) << 8) | quint8(bytes[at + 3]);
            if (bytes.mid(at + 4, 4) == "mdat") {
                writeFile(cut, bytes.left(at + 8));
                return cut;
            }
            if (size < 8) break;
            at += int(size);
        }
        return QString();
    }
    QStringList searchNames(ILumoFSSearchParam& p, int max = 256) {
        QStringList names;
        uint64_t cursor = 0;
        for (int guard = 0; guard < 1000; ++guard) {
            CLumoFileDescList list(1);
            int n = LumoSRSearchFiles(&p, &cursor, &list, max);
            if (n < 0) {
                names << QStringLiteral("error %1").arg(n);
                break;
            }
            if (n == 0) break;
            for (const CLumoFileDesc* d : list) names << QString::fromUtf8(d->GetFileName());
        }
        return names;
    }
    static ILumoFSSearchParam allOf(const QDateTime& from, const QDateTime& to) {
        ILumoFSSearchParam p(1);
        p.SetTimeS(lumoTime(from));
        p.SetTimeE(lumoTime(to));
        for (int s = 0; s < 3; ++s) p.SetChannelMask(s, ~uint64_t(0));
        p.SetMediaType(1);
        return p;
    }
    static bool makeClip(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    void setPolicy(int overwrite) {
        ILumoFS* fs = nullptr;
        QCOMPARE(LumoFSGetFileSystem(&fs), 0);
        int32_t v = overwrite;
        fs->SetDiskFullPolicy(&v);
        fs->Release();
    }
};

void TestStorage::initTestCase() {
    VT_REQUIRE(vt::HaveTool(QStringLiteral("ffmpeg")), "the ffmpeg tool is not installed: no record files can be made");
    QVERIFY(m_clips.isValid());
    m_clipMain = m_clips.path() + "/main.ts";
    m_clipSub = m_clips.path() + "/sub.ts";
    QVERIFY(makeClip({"-f",       "lavfi",   "-i",        "testsrc=size=64x48:rate=10:duration=2",
                      "-f",       "lavfi",   "-i",        "sine=frequency=440:duration=2",
                      "-c:v",     "libx264", "-preset",   "ultrafast",
                      "-pix_fmt", "yuv420p", "-c:a",      "aac",
                      "-b:a",     "32k",     "-shortest", "-f",
                      "mpegts",   m_clipMain}) ||
            makeClip({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=2", "-c:v", "mpeg4", "-f",
                      "mpegts", m_clipMain}));
    QVERIFY(makeClip({"-f", "lavfi", "-i", "testsrc=size=32x24:rate=5:duration=3", "-c:v", "mpeg4", "-f",
                      "mpegts", m_clipSub}));
}

void TestStorage::init() {
    m_dir.reset(new QTemporaryDir());
    QVERIFY(m_dir->isValid());
    setPolicy(0);
}

void TestStorage::cleanup() {
    kesto::SetProbeHook(nullptr);
    LumoSRStop();
    LumoSRInvalidate();
    LumoSRSetStorageConfig(nullptr);
    unlockFolders();
    for (const QString& m : m_mounts) ::umount2(QFile::encodeName(m).constData(), MNT_DETACH);
    m_mounts.clear();
}

void TestStorage::diskRows_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("floorMB");
    QTest::addColumn<uint>("state");
    QTest::addColumn<bool>("hasSpace");
    const uint ready =
        CLumoFSDiskInfo::STATE_MOUNTED | CLumoFSDiskInfo::STATE_FORMATTED | CLumoFSDiskInfo::STATE_READY;
    QTest::newRow("formatted with records") << "records" << 0 << ready << true;
    QTest::newRow("formatted, empty") << "empty" << 0 << ready << true;
    QTest::newRow("below the free-space floor")
        << "records" << (1 << 30) << (ready | CLumoFSDiskInfo::STATE_FULL) << true;
    QTest::newRow("folder missing") << "missing" << 0 << 0u << false;
    QTest::newRow("no mark") << "unmarked" << 0 << uint(CLumoFSDiskInfo::STATE_MOUNTED) << false;
    QTest::newRow("mark is a link") << "linkmark" << 0 << uint(CLumoFSDiskInfo::STATE_MOUNTED) << false;
}

void TestStorage::diskRows() {
    QFETCH(QString, kind);
    QFETCH(int, floorMB);
    QFETCH(uint, state);
    QFETCH(bool, hasSpace);
    writeIni(QStringLiteral("[storage]\nfreeSpaceFloorMB=%1\n[disk1]\npath=d1\nname=first\ntype=3\n")
                 .arg(floorMB));
    qint64 bytes = 0;
    if (kind == "records" || kind == "empty") makeDisk("d1");
    if (kind == "records") {
        place("d1", 0, 1, 0, 0, kBase);
        place("d1", 1, 1, 1, 0, kBase, true);
        bytes = QFileInfo(m_clipMain).size() + QFileInfo(m_clipSub).size();
    }
    if (kind == "unmarked") {
        makeDisk("d1", false);
        writeFile(disk("d1") + "/foreign.txt", "x");
    }
    if (kind == "linkmark") {
        makeDisk("d1", false);
        writeFile(root() + "/elsewhere.marker", "KestoDisk 1\n");
        QVERIFY(QFile::link(root() + "/elsewhere.marker", disk("d1") + "/kestodisk.marker"));
    }
    startEngine();
    Rows rows;
    QCOMPARE(LumoSRGetDiskInfo(nullptr, 0, &rows.list, 5000), 0);
    QCOMPARE(rows.count(), 1);
    IKestoDiskInfo* d = rows.at<IKestoDiskInfo>(0);
    QCOMPARE(d->GetID(), int64_t(1));
    CLumoString name;
    d->GetInfo()->GetShortName(name);
    QCOMPARE(QString(name.GetBuffer()), QString("first"));
    QCOMPARE(QString(d->GetInfo()->GetName()), disk("d1"));
    QCOMPARE(d->GetInfo()->GetType(), 3u);
    // The live bits say whether the engine's first reading of the disk is still under way
    // (slow under a sanitizer): they come and go, the rest is the disk's state.
    const uint live = CLumoFSDiskInfo::STATE_READING | CLumoFSDiskInfo::STATE_WRITING;
    QCOMPARE(d->GetInfo()->GetState() & ~live, state);
    if (hasSpace) {
        // Used space is the engine's own files (plus the marker and the probe cache); the total
        // adds what the file system still has free.
        QVERIFY2(d->GetInfo()->GetSpaceUsed() >= bytes / 1024,
                 qPrintable(QString::number(d->GetInfo()->GetSpaceUsed())));
        QVERIFY(d->GetInfo()->GetSpaceUsed() <= bytes / 1024 + 16);
        QVERIFY(d->GetInfo()->GetSpaceTotal() > d->GetInfo()->GetSpaceUsed());
    } else {
        QCOMPARE(d->GetInfo()->GetSpaceTotal(), int64_t(0));
        QCOMPARE(d->GetInfo()->GetSpaceUsed(), int64_t(0));
    }
}

void TestStorage::diskOrderAndNames() {
    // Disks come in their number order, ids are the numbers of their groups, and names that
    // could break a record URI are made safe and unique.
    writeIni(
        "[disk10]\npath=ten\nname=same\n[disk2]\npath=two\nname=\"a&b=c d\"\n[disk3]\npath=three\nname=same\n"
        "[disk4]\npath=two/inner\n[disk5]\npath=/\n[disk6]\npath=nested\n");
    for (const char* n : {"ten", "two", "three"}) makeDisk(n);
    startEngine();
    Rows rows;
    QCOMPARE(LumoSRGetDiskInfo(nullptr, 0, &rows.list, 5000), 0);
    QStringList got;
    QList<qint64> ids;
    for (int i = 0; i < rows.count(); ++i) {
        IKestoDiskInfo* d = rows.at<IKestoDiskInfo>(i);
        ids << d->GetID();
        CLumoString n;
        d->GetInfo()->GetShortName(n);
        got << QString(n.GetBuffer()) + "@" + QFileInfo(d->GetInfo()->GetName()).fileName();
    }
    // disk4 lies inside disk2 and "/" holds every other disk: both are left out.
    QCOMPARE(got, QStringList({"a_b_c_d@two", "same@three", "disk6@nested", "same-2@ten"}));
    QCOMPARE(ids, (QList<qint64>{2, 3, 6, 10}));
}

void TestStorage::channelsAndStreams() {
    writeIni(
        "[disk1]\npath=d1\n"
        "[channel1]\ncuid=CAM-A\nname=Gate\nmain=H264 1920x1080 25 4096 schedule PCMA\nsub=H265 640x360 15 "
        "512 event\n"
        "[channel2]\ncuid=CAM-B\nname=Yard\nmain=H264 1280x720 20 2048 manual\nsub=BOGUS 1x1 1 1 none\n");
    makeDisk("d1");
    place("d1", 0, 5, 1, 0, kBase, true);  // a channel known only from its files
    writeFile(disk("d1") + "/blk00000/block.ini", "cuid=CAM-E\n");
    startEngine();
    Rows rows;
    QCOMPARE(LumoSRGetChanInfo(nullptr, 0, &rows.list, 5000), 0);
    QCOMPARE(rows.count(), 3);

    IKestoChanInfo* c1 = rows.at<IKestoChanInfo>(0);
    QCOMPARE(c1->GetObjectID(), int(VANTEL_OBJ_KESTO_CHANNEL));
    QCOMPARE(c1->GetID(), int64_t(1));
    QCOMPARE(QString(c1->GetCUID()), QString("CAM-A"));
    QCOMPARE(QString(c1->GetName()), QString("Gate"));
    QCOMPARE(c1->GetStreamNum(), 2);
    IKestoStreamInfo* main = c1->GetStreamInfo(0);
    QCOMPARE(main->GetObjectID(), int(VANTEL_OBJ_KESTO_STREAM));
    QCOMPARE(main->GetID(), int64_t(1));
    QCOMPARE(main->GetData()->recordMode, uint16_t(1));
    QCOMPARE(main->GetData()->videoCodec, uint8_t(LUMO_CODEC_H264));
    QCOMPARE(main->GetData()->audioCodec, uint8_t(LUMO_CODEC_PCMA));
    QCOMPARE(main->GetData()->width, uint16_t(1920));
    QCOMPARE(main->GetData()->height, uint16_t(1080));
    QCOMPARE(main->GetData()->frameRate, uint16_t(25));
    QCOMPARE(main->GetData()->bitRateKbps, 4096);
    IKestoStreamInfo* sub = c1->GetStreamInfo(1);
    QCOMPARE(sub->GetID(), int64_t(2));
    QCOMPARE(sub->GetData()->recordMode, uint16_t(2));
    QCOMPARE(sub->GetData()->videoCodec, uint8_t(LUMO_CODEC_H265));
    QVERIFY(!c1->GetStreamInfo(2));

    // A broken stream line costs that stream only.
    IKestoChanInfo* c2 = rows.at<IKestoChanInfo>(1);
    QCOMPARE(c2->GetID(), int64_t(2));
    QCOMPARE(c2->GetStreamNum(), 1);
    QCOMPARE(c2->GetStreamInfo(0)->GetData()->recordMode, uint16_t(16));
    QVERIFY(!c2->GetStreamInfo(1));

    IKestoChanInfo* c5 = rows.at<IKestoChanInfo>(2);
    QCOMPARE(c5->GetID(), int64_t(5));
    QCOMPARE(QString(c5->GetCUID()), QString("CAM-E"));
    QCOMPARE(c5->GetStreamNum(), 1);
    IKestoStreamInfo* s5 = c5->GetStreamInfo(0);
    QCOMPARE(s5->GetID(), int64_t(2));  // the sub stream
    QCOMPARE(s5->GetData()->recordMode, uint16_t(0));
    QCOMPARE(s5->GetData()->width, uint16_t(32));
    QCOMPARE(s5->GetData()->height, uint16_t(24));
    QCOMPARE(s5->GetData()->videoCodec, uint8_t(LUMO_CODEC_MPEG4));
    QVERIFY(s5->GetData()->bitRateKbps > 0);
}

void TestStorage::cuidList() {
    writeIni(
        "[disk1]\npath=d1\n[channel1]\ncuid=CAM-Z\n[channel2]\ncuid=CAM-A\n[channel3]\ncuid=CAM-Z\n[channel4]"
        "\n");
    makeDisk("d1");
    place("d1", 0, 7, 0, 0, kBase);
    writeFile(disk("d1") + "/blk00000/block.ini", "cuid=CAM-M\n");
    place("d1", 1, 2, 0, 0, kBase);  // channel 2: its configured identity
    startEngine();
    Rows rows;
    QCOMPARE(LumoSRGetCUIDInfo(nullptr, 0, &rows.list, 5000), 0);
    QStringList got;
    for (int i = 0; i < rows.count(); ++i) got << rows.at<IVantelText>(i)->GetText();
    QCOMPARE(got, QStringList({"CAM-A", "CAM-M", "CAM-Z"}));
}

void TestStorage::blocksOfDisk() {
    writeIni("[storage]\nblockCapacityMB=1\n[disk1]\npath=d1\n[disk2]\npath=d2\n[channel1]\ncuid=CAM-1\n");
    makeDisk("d1");
    makeDisk("d2");
    place("d1", 0, 1, 0, 0, kBase);  // another disk's block: not listed
    place("d2", 0, 1, 0, 0, kBase);
    place("d2", 0, 1, 0, 0, kBase.addSecs(60));
    place("d2", 3, 1, 1, 1, kBase.addSecs(120), true);
    QDir().mkpath(disk("d2") + "/blk00007");
    QDir().mkpath(disk("d2") + "/not-a-block");
    startEngine();

    Rows rows;
    rows.list = IVantelList::CreateObject();
    QCOMPARE(LumoSRGetBlockInfo(nullptr, 2, 0, &rows.list, 5000), 0);
    QCOMPARE(rows.count(), 3);
    const qint64 mainSize = QFileInfo(m_clipMain).size();

    const CLumoFSBlockInfo* b0 = rows.at<IKestoBlockInfo>(0)->GetInfo();
    QCOMPARE(b0->GetIDB(), 0);
    QCOMPARE(b0->GetIDD(), 1);
    QCOMPARE(b0->GetState(), uint32_t(CLumoFSBlockInfo::STATE_IN_USE));
    QCOMPARE(b0->GetFileNum(), 2);
    QCOMPARE(QString(b0->GetCUID()), QString("CAM-1"));
    QCOMPARE(int(b0->GetIDS()), 0);
    QCOMPARE(b0->GetRecType(), uint16_t(1));  // schedule, in the stream coding
    QCOMPARE(b0->GetMediaType(), 1);
    QVERIFY(qAbs(int(b0->GetUsedTime()) - 4) <= 1);
    QVERIFY(b0->GetFrameNum() >= 30 && b0->GetFrameNum() <= 50);
    // Clusters: bytes used against the 1 MB block capacity on the 256 scale (the probe cache
    // adds a little).
    const int expected = int(2 * mainSize * 256 / (1 << 20));
    QVERIFY2(b0->GetClusterUsed() >= expected && b0->GetClusterUsed() <= expected + 1,
             qPrintable(QString::number(b0->GetClusterUsed())));
    CLumoTime ts, te;
    b0->GetTimeS(ts);
    b0->GetTimeE(te);
    QCOMPARE(ts.ToEpochMs(), kBase.toMSecsSinceEpoch());
    QVERIFY(te.ToEpochMs() > kBase.addSecs(61).toMSecsSinceEpoch());

    const CLumoFSBlockInfo* b3 = rows.at<IKestoBlockInfo>(1)->GetInfo();
    QCOMPARE(b3->GetIDB(), 3);
    QCOMPARE(int(b3->GetIDS()), 1);
    QCOMPARE(b3->GetRecType(), uint16_t(2));  // event

    const CLumoFSBlockInfo* b7 = rows.at<IKestoBlockInfo>(2)->GetInfo();
    QCOMPARE(b7->GetIDB(), 7);
    QCOMPARE(b7->GetState(), 0u);
    QCOMPARE(b7->GetClusterUsed(), 0);
    QCOMPARE(b7->GetFileNum(), 0);

    // Unknown disk numbers fill nothing.
    Rows none;
    none.list = IVantelList::CreateObject();
    QCOMPARE(LumoSRGetBlockInfo(nullptr, 3, 0, &none.list, 5000), int(LUMOSR_ERR_NOTFOUND));
    QCOMPARE(LumoSRGetBlockInfo(nullptr, 0, 0, &none.list, 5000), int(LUMOSR_ERR_NOTFOUND));
    QCOMPARE(none.count(), 0);
}

// The search fixture: channel 1 main at 10:00:00, 10:10:00 (event); channel 1 sub at 10:00:00;
// channel 2 main at 10:05:00 (camera CAM-2), type 5 at 10:20:00; channel 3 main at 09:00:00.
void TestStorage::search_data() {
    QTest::addColumn<int>("fromMin");  // minutes after 10:00 (negative: before)
    QTest::addColumn<int>("toMin");
    QTest::addColumn<int>("stream");  // -1 any
    QTest::addColumn<qulonglong>("mask");
    QTest::addColumn<uint>("typeMask");
    QTest::addColumn<QString>("cuid");
    QTest::addColumn<QStringList>("expected");
    const QString a = recordName(1, 0, 0, kBase), b = recordName(1, 0, 1, kBase.addSecs(600)),
                  s = recordName(1, 1, 0, kBase), c = recordName(2, 0, 0, kBase.addSecs(300)),
                  t5 = recordName(2, 0, 5, kBase.addSecs(1200)),
                  old = recordName(3, 0, 0, kBase.addSecs(-3600));
    const qulonglong all = ~0ull;
    QTest::newRow("everything, start order")
        << -120 << 60 << -1 << all << 0xFFFFFFFFu << "" << QStringList{old, a, s, c, b, t5};
    QTest::newRow("main stream only")
        << -120 << 60 << 0 << all << 0xFFFFFFFFu << "" << QStringList{old, a, c, b, t5};
    QTest::newRow("sub stream only") << -120 << 60 << 1 << all << 0xFFFFFFFFu << "" << QStringList{s};
    QTest::newRow("channel 2 by mask")
        << -120 << 60 << 0 << 0x2ull << 0xFFFFFFFFu << "" << QStringList{c, t5};
    QTest::newRow("channels 1 and 3")
        << -120 << 60 << 0 << 0x5ull << 0xFFFFFFFFu << "" << QStringList{old, a, b};
    QTest::newRow("console's record types 0xDF")
        << -120 << 60 << 0 << all << 0xDFu << "" << QStringList{old, a, c, b};
    QTest::newRow("events only") << -120 << 60 << -1 << all << 0x2u << "" << QStringList{b};
    QTest::newRow("camera identity") << -120 << 60 << -1 << all << 0xFFFFFFFFu << "CAM-2"
                                     << QStringList{c, t5};
    QTest::newRow("unknown camera identity")
        << -120 << 60 << -1 << all << 0xFFFFFFFFu << "CAM-9" << QStringList{};
    QTest::newRow("range ends at a file's start")
        << -2 << 0 << 0 << 0x1ull << 0xFFFFFFFFu << "" << QStringList{a};
    QTest::newRow("range inside a file") << 0 << 0 << 0 << 0x1ull << 0xFFFFFFFFu << "" << QStringList{a};
    QTest::newRow("range between files") << 1 << 9 << 0 << 0x1ull << 0xFFFFFFFFu << "" << QStringList{};
    QTest::newRow("range after everything") << 30 << 90 << -1 << all << 0xFFFFFFFFu << "" << QStringList{};
    QTest::newRow("end before start") << 60 << -120 << -1 << all << 0xFFFFFFFFu << "" << QStringList{};
    QTest::newRow("no channel bits") << -120 << 60 << -1 << 0ull << 0xFFFFFFFFu << "" << QStringList{};
}

void TestStorage::search() {
    QFETCH(int, fromMin);
    QFETCH(int, toMin);
    QFETCH(int, stream);
    QFETCH(qulonglong, mask);
    QFETCH(uint, typeMask);
    QFETCH(QString, cuid);
    QFETCH(QStringList, expected);
    writeIni("[disk1]\npath=d1\n[disk2]\npath=d2\n[channel2]\ncuid=CAM-2\n");
    makeDisk("d1");
    makeDisk("d2");
    place("d1", 0, 1, 0, 0, kBase);
    place("d2", 4, 1, 0, 1, kBase.addSecs(600));
    place("d1", 1, 1, 1, 0, kBase, true);
    place("d2", 0, 2, 0, 0, kBase.addSecs(300));
    place("d2", 0, 2, 0, 5, kBase.addSecs(1200));
    place("d1", 2, 3, 0, 0, kBase.addSecs(-3600));
    startEngine();

    ILumoFSSearchParam p(1);
    p.SetTimeS(lumoTime(kBase.addSecs(fromMin * 60)));
    p.SetTimeE(lumoTime(kBase.addSecs(toMin * 60)));
    for (int s = 0; s < 3; ++s) p.SetChannelMask(s, mask);
    p.SetMediaType(1);
    p.SetRecordType(typeMask);
    p.SetStreamType(stream);
    if (!cuid.isEmpty()) p.AddCUID(cuid.toUtf8().constData());
    QCOMPARE(searchNames(p), expected);
}

void TestStorage::searchOverlapAtFileEnd() {
    writeIni("[disk1]\npath=d1\n");
    makeDisk("d1");
    const QString name = place("d1", 0, 1, 0, 0, kBase);
    startEngine();
    ILumoFSSearchParam p = allOf(kBase.addDays(-1), kBase.addDays(1));
    uint64_t cursor = 0;
    CLumoFileDescList list(1);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &list, 10), 1);
    const CLumoTime end = list.GetHead()->GetTimeE();
    const int64_t endMs = end.ToEpochMs();
    QVERIFY(endMs > kBase.toMSecsSinceEpoch());

    // A range starting exactly where the file ends does not hold it; one a millisecond earlier does.
    ILumoFSSearchParam at = allOf(kBase, kBase.addDays(1));
    at.SetTimeS(CLumoTime::FromEpochMs(endMs));
    QCOMPARE(searchNames(at), QStringList());
    at.SetTimeS(CLumoTime::FromEpochMs(endMs - 1));
    QCOMPARE(searchNames(at), QStringList{name});
}

void TestStorage::searchBatchesWithCursor() {
    writeIni("[disk1]\npath=d1\n[disk2]\npath=d2\n");
    makeDisk("d1");
    makeDisk("d2");
    // 4 channels x 2 streams x 3 starts over two disks, several files sharing a start.
    for (int ch = 1; ch <= 4; ++ch)
        for (int s = 0; s < 2; ++s)
            for (int k = 0; k < 3; ++k)
                place((ch + k) % 2 ? "d1" : "d2", ch * 10 + s, ch, s, 0, kBase.addSecs(k * 60), s == 1);
    startEngine();
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(600));
    const QStringList whole = searchNames(p, 1000);
    QCOMPARE(whole.size(), 24);
    for (int max : {1, 3, 5, 7, 24}) {
        const QStringList batched = searchNames(p, max);
        QCOMPARE(batched, whole);
    }
    // Start order, then stream, then channel.
    QCOMPARE(whole.first(), recordName(1, 0, 0, kBase));
    QCOMPARE(whole.at(4), recordName(1, 1, 0, kBase, "dav"));
    QCOMPARE(whole.last(), recordName(4, 1, 0, kBase.addSecs(120)));

    // The end of a search stays the end.
    uint64_t cursor = 0;
    CLumoFileDescList list(1);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &list, 100), 24);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &list, 100), 0);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &list, 100), 0);
    QCOMPARE(list.GetCount(), 24);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &list, 0), int(LUMOSR_ERR_PARAM));
    QCOMPARE(LumoSRSearchFiles(&p, nullptr, &list, 10), int(LUMOSR_ERR_PARAM));
}

void TestStorage::searchDescriptorAndConversion() {
    writeIni("[disk1]\npath=d1\nname=store-A\n[channel3]\ncuid=CAM-3\n");
    makeDisk("d1");
    const QString name = place("d1", 12, 3, 0, 4, kBase);
    place("d1", 12, 3, 0, 4, kBase.addSecs(60));
    startEngine();
    ILumoFSSearchParam p = allOf(kBase.addSecs(-10), kBase.addSecs(10));
    uint64_t cursor = 0;
    CLumoFileDescList list(1);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &list, 10), 1);
    const CLumoFileDesc* d = list.GetHead();
    const QString uri = QStringLiteral("lumofs://local/disk=store-A&path=blk00012&filename=") + name;
    QCOMPARE(QString(d->GetURI()), uri);
    QCOMPARE(QString(d->GetFileName()), name);
    QCOMPARE(d->GetChannel(), 2);
    QCOMPARE(d->GetStreamType(), 0);
    QCOMPARE(d->GetRecordType(), 4);
    QCOMPARE(QString(d->GetCUID().GetBuffer()), QString("CAM-3"));
    QCOMPARE(d->GetSize(), uint64_t(QFileInfo(m_clipMain).size()));
    QCOMPARE(d->GetWidth(), uint16_t(64));
    QCOMPARE(d->GetHeight(), uint16_t(48));
    QCOMPARE(d->GetFrameRate(), 10);
    QVERIFY(d->GetVideoCodec() == LUMO_CODEC_H264 || d->GetVideoCodec() == LUMO_CODEC_MPEG4);
    QCOMPARE(d->GetTimeS().ToEpochMs(), kBase.toMSecsSinceEpoch());
    const int64_t len = d->GetTimeE().ToEpochMs() - d->GetTimeS().ToEpochMs();
    QVERIFY2(len >= 1800 && len <= 2300, qPrintable(QString::number(len)));
    QCOMPARE(d->GetDisk(), 0);
    QCOMPARE(d->GetBlock(), 12);
    QCOMPARE(d->GetFileIndex(), 0);

    // The URI leads back to the file, and only to files of the engine's disks.
    CLumoString path;
    QCOMPARE(LumoSRGetRecordFilePath(d->GetURI(), &path), 0);
    QCOMPARE(QString(path.GetBuffer()), disk("d1") + "/blk00012/" + name);
    QCOMPARE(LumoSRGetRecordFilePath("lumofs://local/disk=store-A&path=../etc&filename=x", &path),
             int(LUMOSR_ERR_PARAM));
    QCOMPARE(
        LumoSRGetRecordFilePath(("lumofs://local/disk=other&path=blk00012&filename=" + name).toUtf8(), &path),
        int(LUMOSR_ERR_NOTFOUND));

    // Conversion into record-file rows.
    IVantelList* rows = IVantelList::CreateObject();
    QCOMPARE(LumoSRFileDesc2KestoFileInfo(&list, rows), 0);
    QCOMPARE(LumoSRFileDesc2KestoFileInfo(&list, rows), 0);
    QCOMPARE(rows->GetCount(), 2);
    auto* r1 = static_cast<IKestoFileInfoAV*>(rows->GetAt(0));
    auto* r2 = static_cast<IKestoFileInfoAV*>(rows->GetAt(1));
    QCOMPARE(r1->GetID(), int64_t(1));
    QCOMPARE(r2->GetID(), int64_t(2));
    QCOMPARE(QString(r1->GetFileName()), name);
    QCOMPARE(QString(r1->GetURI()), uri);
    const tag_LUMOFILEAVINFO* av = r1->GetInfo();
    QCOMPARE(av->width, uint16_t(64));
    QCOMPARE(av->recordType, uint16_t(4));
    QCOMPARE(av->channel, uint8_t(2));
    QCOMPARE(av->block, uint16_t(12));
    QCOMPARE(av->size, uint32_t(QFileInfo(m_clipMain).size()));
    QCOMPARE(QString(av->cuid), QString("CAM-3"));
    QCOMPARE(CLumoTime(av->timeStart, av->msStart).ToEpochMs(), kBase.toMSecsSinceEpoch());
    rows->Release();
    QCOMPARE(LumoSRFileDesc2KestoFileInfo(nullptr, nullptr), int(LUMOSR_ERR_PARAM));
}

void TestStorage::rescanSeesNewAndRemovedFiles() {
    writeIni("[disk1]\npath=d1\n");
    makeDisk("d1");
    const QString first = place("d1", 0, 1, 0, 0, kBase);
    startEngine();
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    QCOMPARE(searchNames(p), QStringList{first});
    const QString second = place("d1", 0, 1, 0, 0, kBase.addSecs(600));
    const QString third = place("d1", 5, 1, 0, 0, kBase.addSecs(1200));  // a new block
    QCOMPARE(searchNames(p), QStringList({first, second, third}));
    QVERIFY(QFile::remove(disk("d1") + "/blk00000/" + first));
    QVERIFY(QDir(disk("d1") + "/blk00005").removeRecursively());
    QCOMPARE(searchNames(p), QStringList{second});
}

void TestStorage::formatTwoDisksTouchesNothingElse() {
    writeIni("[disk1]\npath=d1\n[disk2]\npath=d2\n[disk3]\npath=d3\n");
    for (const char* n : {"d1", "d2", "d3"}) makeDisk(n);
    place("d1", 0, 1, 0, 0, kBase);
    place("d2", 0, 1, 0, 0, kBase.addSecs(60));
    const QString kept = place("d3", 0, 1, 0, 0, kBase.addSecs(120));
    // Things that are not the engine's to remove.
    writeFile(root() + "/beside.txt", "beside the disks");
    writeFile(root() + "/outside/precious.txt", "outside");
    writeFile(disk("d1") + "/notes.txt", "the operator's own file");
    writeFile(disk("d1") + "/kestodisk.marker.tmp-999-1", "a save of the mark cut short");
    QVERIFY(QFile::link(root() + "/outside/precious.txt", disk("d1") + "/blk00000/link-to-file"));
    QVERIFY(QFile::link(root() + "/outside", disk("d1") + "/blk00009"));  // named like a block
    QVERIFY(QFile::link(root() + "/outside", disk("d2") + "/blk00000/link-to-dir"));
    startEngine();

    for (int id : {1, 2}) {
        IKestoDiskFormat* req = IKestoDiskFormat::CreateObject();
        req->SetID(id);
        req->SetAccess(0);
        IVantelData* out = nullptr;
        QCOMPARE(LumoSRFormatDisk(nullptr, req, &out, 5000), 0);
        QVERIFY(!out);
        req->Release();
    }
    for (const char* n : {"d1", "d2"}) {
        QStringList left =
            QDir(disk(n)).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        left.removeAll("notes.txt");
        // The engine's mark and the one a player looks for at a removable drive's root.
        QCOMPARE(left, QStringList({"index.bin", "kestodisk.marker"}));
    }
    QVERIFY(QFile::exists(disk("d1") + "/notes.txt"));
    QVERIFY(QFile::exists(root() + "/beside.txt"));
    QFile precious(root() + "/outside/precious.txt");
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("outside"));
    QVERIFY(QFile::exists(disk("d3") + "/blk00000/" + kept));

    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    QCOMPARE(searchNames(p), QStringList{kept});
    Rows rows;
    QCOMPARE(LumoSRGetDiskInfo(nullptr, 0, &rows.list, 5000), 0);
    QVERIFY(rows.at<IKestoDiskInfo>(0)->GetInfo()->GetState() & CLumoFSDiskInfo::STATE_FORMATTED);
    QVERIFY(rows.at<IKestoDiskInfo>(0)->GetInfo()->GetSpaceUsed() < 4);
}

void TestStorage::formatRefusals_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("diskId");
    QTest::addColumn<int>("expected");
    QTest::newRow("foreign files, no mark") << "foreign" << 1 << int(LUMOSR_ERR_REFUSED);
    QTest::newRow("empty folder, no mark") << "empty" << 1 << int(LUMOSR_OK);
    QTest::newRow("missing folder") << "missing" << 1 << int(LUMOSR_ERR_NOTFOUND);
    QTest::newRow("disk number 0") << "foreign" << 0 << int(LUMOSR_ERR_NOTFOUND);
    QTest::newRow("disk number past the last") << "foreign" << 2 << int(LUMOSR_ERR_NOTFOUND);
}

void TestStorage::formatRefusals() {
    QFETCH(QString, kind);
    QFETCH(int, diskId);
    QFETCH(int, expected);
    writeIni("[disk1]\npath=d1\n");
    if (kind == "foreign") {
        makeDisk("d1", false);
        writeFile(disk("d1") + "/family-photos/one.jpg", "jpeg");
        writeFile(disk("d1") + "/blk00000/looks-like-ours.dav", "not ours");
    } else if (kind == "empty") {
        makeDisk("d1", false);
    }
    startEngine();
    IKestoDiskFormat* req = IKestoDiskFormat::CreateObject();
    req->SetID(diskId);
    QCOMPARE(LumoSRFormatDisk(nullptr, req, nullptr, 5000), expected);
    req->Release();
    if (kind == "foreign") {
        QVERIFY(QFile::exists(disk("d1") + "/family-photos/one.jpg"));
        QVERIFY(QFile::exists(disk("d1") + "/blk00000/looks-like-ours.dav"));
        QVERIFY(!QFile::exists(disk("d1") + "/kestodisk.marker"));
        QVERIFY(!QFile::exists(disk("d1") + "/index.bin"));
    } else if (kind == "empty") {
        QVERIFY(QFile::exists(disk("d1") + "/kestodisk.marker"));
        QVERIFY(QFile::exists(disk("d1") + "/index.bin"));
    } else if (kind == "missing") {
        QVERIFY(!QFileInfo::exists(disk("d1")));
    }
}

void TestStorage::brokenFilesAreSkipped() {
    writeIni("[disk1]\npath=d1\n");
    makeDisk("d1");
    const QString good = place("d1", 0, 1, 0, 0, kBase);
    QFile clip(m_clipMain);
    QVERIFY(clip.open(QIODevice::ReadOnly));
    const QByteArray bytes = clip.readAll();
    const QString dir = disk("d1") + "/blk00000/";
    writeFile(dir + recordName(1, 0, 0, kBase.addSecs(60)), QByteArray());       // zero bytes
    writeFile(dir + recordName(1, 0, 0, kBase.addSecs(120)), bytes.left(1500));  // truncated
    const QString half = recordName(1, 0, 0, kBase.addSecs(300));
    writeFile(dir + half, bytes.left(bytes.size() / 2 / 188 * 188));  // cut short: keeps what it holds
    QByteArray garbage(200000, '\0');
    for (int i = 0; i < garbage.size(); ++i) garbage[i] = char((i * 7919) ^ (i >> 3));
    writeFile(dir + recordName(1, 0, 0, kBase.addSecs(180)), garbage);  // garbage
    QByteArray fakeTs = garbage;
    for (int i = 0; i < fakeTs.size(); i += 188) fakeTs[i] = 0x47;  // sync bytes, nothing else
    writeFile(dir + recordName(1, 0, 0, kBase.addSecs(240)), fakeTs);
    writeFile(dir + "c01_s0_r0_20261340_990000.dav", bytes);  // impossible time
    writeFile(dir + "c01_s0_r0_20260230_100000.dav", bytes);  // 30 February
    startEngine();
    QElapsedTimer timer;
    timer.start();
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    QCOMPARE(searchNames(p), QStringList({good, half}));
    QVERIFY2(timer.elapsed() < 20000, "broken files must not hang the index");
    uint64_t cursor = 0;
    CLumoFileDescList found(1);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &found, 10), 2);
    const int64_t full = found.GetAt(0)->GetTimeE().ToEpochMs() - found.GetAt(0)->GetTimeS().ToEpochMs();
    const int64_t cut = found.GetAt(1)->GetTimeE().ToEpochMs() - found.GetAt(1)->GetTimeS().ToEpochMs();
    QVERIFY2(cut > 0 && cut < full, qPrintable(QStringLiteral("%1 of %2").arg(cut).arg(full)));
    Rows rows;
    rows.list = IVantelList::CreateObject();
    QCOMPARE(LumoSRGetBlockInfo(nullptr, 1, 0, &rows.list, 5000), 0);
    QCOMPARE(rows.at<IKestoBlockInfo>(0)->GetInfo()->GetFileNum(), 6);  // named as records, readable or not
}

void TestStorage::probeCacheSurvivesRestart() {
    writeIni("[disk1]\npath=d1\n");
    makeDisk("d1");
    const QString name = place("d1", 0, 1, 0, 0, kBase);
    startEngine();
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    QCOMPARE(searchNames(p), QStringList{name});
    LumoSRInvalidate();

    // The cache is trusted while the file is unchanged: give it a recognisable duration.
    const QString cachePath = disk("d1") + "/blk00000/.kestoindex";
    QFile cache(cachePath);
    QVERIFY(cache.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = cache.readAll().split('\n');
    cache.close();
    QCOMPARE(lines.value(0), QByteArray("KESTOINDEX 2"));
    QList<QByteArray> fields = lines[1].split(' ');
    QVERIFY(fields.size() >= 4);
    fields[3] = "7777000";  // duration in ms
    lines[1] = fields.join(' ');
    writeFile(cachePath, lines.join('\n'));

    startEngine();
    uint64_t cursor = 0;
    CLumoFileDescList list(1);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &list, 10), 1);
    QCOMPARE(list.GetHead()->GetTimeE().ToEpochMs() - list.GetHead()->GetTimeS().ToEpochMs(),
             int64_t(7777000));
    LumoSRInvalidate();

    // A changed file is read again.
    const QString file = disk("d1") + "/blk00000/" + name;
    QFile touched(file);
    QVERIFY(touched.open(QIODevice::ReadWrite));
    QVERIFY(touched.setFileTime(QDateTime::currentDateTime().addSecs(-5), QFileDevice::FileModificationTime));
    touched.close();
    startEngine();
    cursor = 0;
    list.Clear();
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &list, 10), 1);
    QVERIFY(list.GetHead()->GetTimeE().ToEpochMs() - list.GetHead()->GetTimeS().ToEpochMs() < 5000);
}

void TestStorage::storeRecordFile() {
    writeIni("[disk1]\npath=d1\n[disk2]\npath=d2\n[channel2]\ncuid=CAM-2\n");
    makeDisk("d1", false);  // not formatted: never written
    makeDisk("d2");
    startEngine();
    CLumoString uri;
    QCOMPARE(LumoSRStoreRecordFile(m_clipMain.toUtf8(), 2, 0, 1, lumoTime(kBase), &uri, 5000), 0);
    const QString name = recordName(2, 0, 1, kBase);
    QCOMPARE(QString(uri.GetBuffer()), "lumofs://local/disk=disk2&path=blk00000&filename=" + name);
    QVERIFY(QFile::exists(disk("d2") + "/blk00000/" + name));
    QVERIFY(QFile::exists(disk("d2") + "/blk00000/block.ini"));
    QCOMPARE(QDir(disk("d1")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
             QStringList());
    // The next file of the same channel and stream joins the block; another stream opens a new one.
    QCOMPARE(LumoSRStoreRecordFile(m_clipMain.toUtf8(), 2, 0, 1, lumoTime(kBase.addSecs(60)), nullptr, 5000),
             0);
    QCOMPARE(LumoSRStoreRecordFile(m_clipSub.toUtf8(), 2, 1, 0, lumoTime(kBase), nullptr, 5000), 0);
    QVERIFY(QFile::exists(disk("d2") + "/blk00001/" + recordName(2, 1, 0, kBase)));

    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    p.AddCUID("CAM-2");
    QCOMPARE(searchNames(p).size(), 3);

    // What an interrupted write leaves behind is cleared when the block is read again.
    const QString stale = disk("d2") + "/blk00001/.part." + recordName(2, 1, 0, kBase.addSecs(60));
    writeFile(stale, QByteArray(1000, 's'));
    QCOMPARE(searchNames(p).size(), 3);
    QVERIFY(!QFile::exists(stale));

    // Refusals: the same start again, something unreadable, a bad channel, a missing source.
    QCOMPARE(LumoSRStoreRecordFile(m_clipMain.toUtf8(), 2, 0, 1, lumoTime(kBase), nullptr, 5000),
             int(LUMOSR_ERR_REFUSED));
    writeFile(root() + "/junk.dav", QByteArray(5000, 'j'));
    QCOMPARE(LumoSRStoreRecordFile((root() + "/junk.dav").toUtf8(), 2, 0, 0, lumoTime(kBase.addSecs(900)),
                                   nullptr, 5000),
             int(LUMOSR_ERR_PARAM));
    QVERIFY(!QFile::exists(disk("d2") + "/blk00000/" + recordName(2, 0, 0, kBase.addSecs(900))));
    QCOMPARE(LumoSRStoreRecordFile(m_clipMain.toUtf8(), 0, 0, 0, lumoTime(kBase), nullptr, 5000),
             int(LUMOSR_ERR_PARAM));
    QCOMPARE(LumoSRStoreRecordFile((root() + "/none.dav").toUtf8(), 1, 0, 0, lumoTime(kBase), nullptr, 5000),
             int(LUMOSR_ERR_NOTFOUND));
    QCOMPARE(searchNames(p).size(), 3);
}

void TestStorage::diskFullPolicy_data() {
    QTest::addColumn<int>("overwrite");
    QTest::addColumn<int>("expected");
    QTest::newRow("stop") << 0 << int(LUMOSR_ERR_FULL);
    QTest::newRow("overwrite the oldest") << 1 << int(LUMOSR_OK);
}

void TestStorage::diskFullPolicy() {
    QFETCH(int, overwrite);
    QFETCH(int, expected);
    // 1 MB for the engine, of which an old block holds nearly all.
    writeIni("[storage]\nfreeSpaceFloorMB=0\n[disk1]\npath=d1\ncapacityMB=1\n");
    makeDisk("d1");
    const QString oldest = place("d1", 0, 1, 0, 0, kBase.addDays(-2));
    writeFile(disk("d1") + "/blk00000/padding.bin", QByteArray(1000 * 1024, 'p'));
    const QString newer = place("d1", 1, 1, 0, 0, kBase.addDays(-1));
    setPolicy(overwrite);
    startEngine();
    QCOMPARE(LumoSRStoreRecordFile(m_clipMain.toUtf8(), 1, 0, 0, lumoTime(kBase), nullptr, 5000), expected);
    ILumoFSSearchParam p = allOf(kBase.addDays(-3), kBase.addDays(1));
    if (overwrite)
        QCOMPARE(searchNames(p), QStringList({newer, recordName(1, 0, 0, kBase)}));
    else
        QCOMPARE(searchNames(p), QStringList({oldest, newer}));

    // Nothing is given up when even that would not make room.
    QCOMPARE(LumoSRStoreRecordFile(m_clipMain.toUtf8(), 1, 0, 0, lumoTime(kBase.addSecs(60)), nullptr, 5000),
             overwrite ? int(LUMOSR_OK) : int(LUMOSR_ERR_FULL));
    writeFile(root() + "/huge.dav", QByteArray(2 << 20, 'h'));
    const QStringList before = searchNames(p);
    QCOMPARE(LumoSRStoreRecordFile((root() + "/huge.dav").toUtf8(), 1, 0, 0, lumoTime(kBase.addSecs(120)),
                                   nullptr, 5000),
             int(LUMOSR_ERR_FULL));
    QCOMPARE(searchNames(p), before);
}

void TestStorage::formatWaitsForWriter() {
    writeIni("[disk1]\npath=d1\n");
    makeDisk("d1");
    startEngine();
    const QString fifo = root() + "/incoming.ts";
    QCOMPARE(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    std::atomic<int> stored{1};
    std::thread writer(
        [&] { stored = LumoSRStoreRecordFile(fifo.toUtf8(), 1, 0, 0, lumoTime(kBase), nullptr, 5000); });

    // While the writer waits for its data the disk shows it is being written, and a format fails
    // cleanly instead of pulling the block away.
    auto diskState = [] {
        IVantelList* l = nullptr;
        LumoSRGetDiskInfo(nullptr, 0, &l, 5000);
        uint32_t s = l ? static_cast<IKestoDiskInfo*>(l->GetAt(0))->GetInfo()->GetState() : 0;
        if (l) l->Release();
        return s;
    };
    QTRY_VERIFY_WITH_TIMEOUT(diskState() & CLumoFSDiskInfo::STATE_WRITING, 5000);
    IKestoDiskFormat* req = IKestoDiskFormat::CreateObject();
    req->SetID(1);
    QCOMPARE(LumoSRFormatDisk(nullptr, req, nullptr, 300), int(LUMOSR_ERR_STATE));

    QFile clip(m_clipMain);
    QVERIFY(clip.open(QIODevice::ReadOnly));
    const QByteArray bytes = clip.readAll();
    int fd = ::open(fifo.toUtf8().constData(), O_WRONLY);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
    writer.join();
    QCOMPARE(stored.load(), 0);
    QVERIFY(!(diskState() & CLumoFSDiskInfo::STATE_WRITING));
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(60));
    QCOMPARE(searchNames(p), QStringList{recordName(1, 0, 0, kBase)});

    QCOMPARE(LumoSRFormatDisk(nullptr, req, nullptr, 5000), 0);
    req->Release();
    QCOMPARE(searchNames(p), QStringList());
}

void TestStorage::overlappingDisks_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("path");  // of disk 2; disk 1 is "d1"
    QTest::addColumn<QString>("how");
    QTest::newRow("a link to another disk") << "link"
                                            << "link2"
                                            << "is the same folder as disk 1's";
    QTest::newRow("a link above another disk") << "alias"
                                               << "alias/d1"
                                               << "is the same folder as disk 1's";
    QTest::newRow("a/../b spelling") << "dotdot"
                                     << "sub/../d1"
                                     << "is the same folder as disk 1's";
    QTest::newRow("a link, then ..") << "linkdotdot"
                                     << "deep/../d1"
                                     << "is the same folder as disk 1's";
    QTest::newRow("the same folder twice") << "same"
                                           << "d1"
                                           << "is the same folder as disk 1's";
    QTest::newRow("inside another disk") << "inside"
                                         << "d1/inner"
                                         << "lies inside disk 1's folder";
    QTest::newRow("inside through a link") << "insidelink"
                                           << "link2/inner"
                                           << "lies inside disk 1's folder";
    QTest::newRow("holding another disk") << "holding"
                                          << "."
                                          << "holds disk 1's folder";
}

void TestStorage::overlappingDisks() {
    QFETCH(QString, kind);
    QFETCH(QString, path);
    QFETCH(QString, how);
    writeIni(QStringLiteral("[disk1]\npath=d1\n[disk2]\npath=%1\n").arg(path));
    makeDisk("d1");
    const QString record = place("d1", 0, 1, 0, 0, kBase);
    QVERIFY(QFile::link(disk("d1"), root() + "/link2"));
    QVERIFY(QFile::link(root(), root() + "/alias"));
    QVERIFY(QDir().mkpath(root() + "/sub"));
    QVERIFY(QDir().mkpath(root() + "/elsewhere/deeper"));
    QVERIFY(QFile::link(root() + "/elsewhere/deeper", root() + "/deep"));  // deep/.. is "elsewhere"
    QVERIFY(QDir().mkpath(root() + "/elsewhere/d1"));
    // The second disk's own things, where it has any: no format of the first may touch them.
    makeDisk("d1/inner");
    writeFile(disk("d1") + "/inner/blk00000/keep.dav", "the inner folder's");
    writeFile(root() + "/elsewhere/d1/kestodisk.marker", "KestoDisk 1\n");
    writeFile(root() + "/beside.txt", "the root's");
    startEngine();

    if (kind == "linkdotdot") {
        // The system reads deep/../d1 as elsewhere/d1: another folder, kept as a disk of its own.
        QCOMPARE(diskIds(), (QList<qint64>{1, 2}));
        return;
    }
    QCOMPARE(diskIds(), QList<qint64>{1});
    CLumoString text;
    QCOMPARE(LumoSRGetConfigProblems(&text), 1);
    const QString problem = QString::fromUtf8(text.GetBuffer());
    QVERIFY2(problem.startsWith(root() + "/kestostorage.ini:4: disk 2's folder "), qPrintable(problem));
    QVERIFY2(problem.contains(how) && problem.endsWith("; disk 2 is ignored"), qPrintable(problem));

    // Its records are listed once, through the disk that was kept.
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    QCOMPARE(searchNames(p), QStringList{record});

    // The ignored disk cannot be formatted; the kept one formats its own folder only.
    QCOMPARE(formatDisk(2), int(LUMOSR_ERR_NOTFOUND));
    QCOMPARE(lastError().first, int(LUMOSR_REASON_NO_DISK));
    QVERIFY(QFile::exists(disk("d1") + "/blk00000/" + record));
    QCOMPARE(formatDisk(1), 0);
    QVERIFY(!QFile::exists(disk("d1") + "/blk00000"));
    QVERIFY(QFile::exists(disk("d1") + "/inner/blk00000/keep.dav"));
    QVERIFY(QFile::exists(root() + "/beside.txt"));
    QVERIFY(QFileInfo(root() + "/link2").isSymLink());
    QCOMPARE(searchNames(p), QStringList());
}

void TestStorage::diskNumbersAreTheSettingsOwn() {
    // Without [disk2], disk 3 keeps its number: what is formatted is what was asked for.
    writeIni("[disk1]\npath=d1\n[disk3]\npath=d3\n");
    makeDisk("d1");
    makeDisk("d3");
    const QString one = place("d1", 0, 1, 0, 0, kBase);
    const QString three = place("d3", 4, 2, 0, 0, kBase);
    startEngine();
    QCOMPARE(diskIds(), (QList<qint64>{1, 3}));

    Rows blocks;
    blocks.list = IVantelList::CreateObject();
    QCOMPARE(LumoSRGetBlockInfo(nullptr, 3, 0, &blocks.list, 5000), 0);
    QCOMPARE(blocks.count(), 1);
    QCOMPARE(blocks.at<IKestoBlockInfo>(0)->GetInfo()->GetIDB(), 4);
    QCOMPARE(blocks.at<IKestoBlockInfo>(0)->GetInfo()->GetIDD(), 2);  // 0-based: disk 3
    QCOMPARE(LumoSRGetBlockInfo(nullptr, 2, 0, &blocks.list, 5000), int(LUMOSR_ERR_NOTFOUND));
    QCOMPARE(lastError(), qMakePair(int(LUMOSR_REASON_NO_DISK), QString("2")));
    QCOMPARE(blocks.count(), 1);

    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    uint64_t cursor = 0;
    CLumoFileDescList found(1);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &found, 10), 2);
    for (const CLumoFileDesc* d : found) QCOMPARE(d->GetDisk(), QString(d->GetFileName()) == three ? 2 : 0);

    QCOMPARE(formatDisk(2), int(LUMOSR_ERR_NOTFOUND));
    QCOMPARE(lastError(), qMakePair(int(LUMOSR_REASON_NO_DISK), QString("2")));
    QVERIFY(QFile::exists(disk("d3") + "/blk00004/" + three));
    QCOMPARE(formatDisk(3), 0);
    QVERIFY(!QFile::exists(disk("d3") + "/blk00004"));
    QVERIFY(QFile::exists(disk("d1") + "/blk00000/" + one));
    QCOMPARE(searchNames(p), QStringList{one});
}

void TestStorage::framelessFileIsNoRecord() {
    writeIni("[disk1]\npath=d1\n");
    makeDisk("d1");
    const QString good = place("d1", 0, 1, 0, 0, kBase);
    // Headers that give the picture size without a picture (H.264 when this ffmpeg has it).
    int n = 0;
    for (const QString& encoder : {QStringLiteral("mjpeg"), QStringLiteral("libx264")}) {
        const QString frameless = framelessMp4(encoder);
        if (frameless.isEmpty() && encoder == "libx264") continue;
        QVERIFY(!frameless.isEmpty());
        QVERIFY2(QFileInfo(frameless).size() < 4096,
                 qPrintable(QString::number(QFileInfo(frameless).size())));
        QVERIFY(QFile::copy(frameless,
                            disk("d1") + "/blk00000/" + recordName(1, 0, 0, kBase.addSecs(60 * ++n), "mp4")));
    }
    // A cache written before pictures were looked for took such a file for an 8 s record.
    const QString cached = recordName(1, 0, 0, kBase.addSecs(600), "mp4");
    QVERIFY(QDir().mkpath(disk("d1") + "/blk00001"));
    const QString cachedPath = disk("d1") + "/blk00001/" + cached;
    QVERIFY(QFile::copy(framelessMp4("mjpeg"), cachedPath));
    struct stat st;
    QCOMPARE(::stat(cachedPath.toUtf8().constData(), &st), 0);
    writeFile(disk("d1") + "/blk00001/.kestoindex",
              QStringLiteral("KESTOINDEX 1\n%1\t%2 %3 1 8000 3 0 640 360 25 200 300\n")
                  .arg(cached)
                  .arg(qint64(st.st_size))
                  .arg(qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec)
                  .toUtf8());
    startEngine();
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    QCOMPARE(searchNames(p), QStringList{good});
    Rows chans;
    QCOMPARE(LumoSRGetChanInfo(nullptr, 0, &chans.list, 5000), 0);
    QCOMPARE(chans.count(), 1);
    QCOMPARE(chans.at<IKestoChanInfo>(0)->GetStreamInfo(0)->GetData()->width, uint16_t(64));
}

void TestStorage::codecCodesOfRecords_data() {
    QTest::addColumn<QStringList>("codec");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<int>("code");
    QTest::newRow("MJPEG in AVI") << QStringList{"-c:v", "mjpeg", "-f", "avi"} << "avi"
                                  << int(LUMO_CODEC_JPEG);
    QTest::newRow("MJPEG in MP4") << QStringList{"-c:v", "mjpeg", "-f", "mp4"} << "mp4"
                                  << int(LUMO_CODEC_JPEG);
    QTest::newRow("MPEG-4 in AVI") << QStringList{"-c:v", "mpeg4", "-f", "avi"} << "avi"
                                   << int(LUMO_CODEC_MPEG4);
    QTest::newRow("MPEG-4 in MPEG-TS")
        << QStringList{"-c:v", "mpeg4", "-f", "mpegts"} << "dav" << int(LUMO_CODEC_MPEG4);
}

void TestStorage::codecCodesOfRecords() {
    QFETCH(QStringList, codec);
    QFETCH(QString, ext);
    QFETCH(int, code);
    writeIni("[disk1]\npath=d1\n");
    makeDisk("d1");
    const QString name = recordName(3, 1, 0, kBase, ext);
    QVERIFY(QDir().mkpath(disk("d1") + "/blk00000"));
    QVERIFY(makeClip(QStringList{"-f", "lavfi", "-i", "testsrc=size=96x64:rate=10:duration=2"} + codec +
                     QStringList{disk("d1") + "/blk00000/" + name}));
    startEngine();
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    uint64_t cursor = 0;
    CLumoFileDescList found(1);
    QCOMPARE(LumoSRSearchFiles(&p, &cursor, &found, 10), 1);
    QCOMPARE(int(found.GetHead()->GetVideoCodec()), code);
    IVantelList* rows = IVantelList::CreateObject();
    QCOMPARE(LumoSRFileDesc2KestoFileInfo(&found, rows), 0);
    QCOMPARE(int(static_cast<IKestoFileInfoAV*>(rows->GetAt(0))->GetInfo()->videoCodec), code);
    rows->Release();
    // A channel known only from its files is described by them.
    Rows chans;
    QCOMPARE(LumoSRGetChanInfo(nullptr, 0, &chans.list, 5000), 0);
    QCOMPARE(chans.count(), 1);
    QCOMPARE(int(chans.at<IKestoChanInfo>(0)->GetStreamInfo(0)->GetData()->videoCodec), code);
}

void TestStorage::formatFailureReasons_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("detail");  // "@" stands for the disk folder; a trailing "*" for anything
    QTest::newRow("files without the mark")
        << "foreign" << int(LUMOSR_ERR_REFUSED) << int(LUMOSR_REASON_FOREIGN_FILES) << "@";
    QTest::newRow("missing folder") << "missing" << int(LUMOSR_ERR_NOTFOUND) << int(LUMOSR_REASON_NO_FOLDER)
                                    << "@";
    QTest::newRow("a file instead of a folder")
        << "file" << int(LUMOSR_ERR_NOTFOUND) << int(LUMOSR_REASON_NO_FOLDER) << "@";
    QTest::newRow("no disk of that number")
        << "number" << int(LUMOSR_ERR_NOTFOUND) << int(LUMOSR_REASON_NO_DISK) << "7";
    QTest::newRow("a record that cannot be removed")
        << "pinned" << int(LUMOSR_ERR_IO) << int(LUMOSR_REASON_NOT_REMOVABLE) << "@/blk00000/c01_s0_r0_*";
    QTest::newRow("a folder that cannot be written")
        << "readonly" << int(LUMOSR_ERR_IO) << int(LUMOSR_REASON_IO) << "cannot write @/kestodisk.marker*";
    QTest::newRow("a full disk") << "full" << int(LUMOSR_ERR_IO) << int(LUMOSR_REASON_IO)
                                 << "the disk is full: @/kestodisk.marker";
    QTest::newRow("a disk being written")
        << "busy" << int(LUMOSR_ERR_STATE) << int(LUMOSR_REASON_DISK_BUSY) << "@";
}

void TestStorage::formatFailureReasons() {
    QFETCH(QString, kind);
    QFETCH(int, code);
    QFETCH(int, reason);
    QFETCH(QString, detail);
    writeIni("[disk1]\npath=d1\n");
    if (kind == "foreign") {
        makeDisk("d1", false);
        writeFile(disk("d1") + "/photos/one.jpg", "jpeg");
    } else if (kind == "file") {
        writeFile(disk("d1"), "not a folder");
    } else if (kind == "readonly") {
        makeDisk("d1", false);
        VT_REQUIRE(lockFolder(disk("d1")), "this file system cannot make a folder read-only here");
    } else if (kind == "full") {
        // A disk that the operator's own file fills: the format has nothing of the engine's to free.
        VT_REQUIRE(::geteuid() == 0, "mounting a small file system needs root");
        QVERIFY(QDir().mkpath(disk("d1")));
        QVERIFY2(::mount("tmpfs", QFile::encodeName(disk("d1")).constData(), "tmpfs", 0, "size=256k") == 0,
                 strerror(errno));
        m_mounts.prepend(disk("d1"));
        writeFile(disk("d1") + "/kestodisk.marker", "KestoDisk 1\n");
        QFile filler(disk("d1") + "/operator.bin");
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray chunk(4096, 'f');
        while (filler.write(chunk) == chunk.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
        filler.close();
    } else if (kind != "missing") {
        makeDisk("d1");
        place("d1", 0, 1, 0, 0, kBase);
    }
    if (kind == "pinned")
        VT_REQUIRE(lockFolder(disk("d1") + "/blk00000"), "this file system cannot make a folder read-only here");
    startEngine();

    std::thread writer;
    int fifoFd = -1;
    if (kind == "busy") {
        const QString fifo = root() + "/incoming.ts";
        QCOMPARE(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
        writer = std::thread([fifo] {
            LumoSRStoreRecordFile(fifo.toUtf8(), 1, 0, 0, lumoTime(kBase.addSecs(60)), nullptr, 5000);
        });
        fifoFd = ::open(fifo.toUtf8().constData(), O_WRONLY);  // the writer is reading it now
        QVERIFY(fifoFd >= 0);
    }
    QCOMPARE(formatDisk(kind == "number" ? 7 : 1, kind == "busy" ? 200 : 5000), code);
    const QPair<int, QString> got = lastError();
    if (writer.joinable()) {
        ::close(fifoFd);  // an empty source: the writer gives up
        writer.join();
    }
    unlockFolders();
    QCOMPARE(got.first, reason);
    QString expected = detail;
    expected.replace('@', disk("d1"));
    if (expected.endsWith('*'))
        QVERIFY2(got.second.startsWith(expected.chopped(1)) && got.second.contains(": "),
                 qPrintable(got.second));
    else
        QCOMPARE(got.second, expected);

    // The next call that succeeds leaves no reason behind.
    Rows rows;
    QCOMPARE(LumoSRGetDiskInfo(nullptr, 0, &rows.list, 5000), 0);
    QCOMPARE(lastError(), qMakePair(int(LUMOSR_REASON_NONE), QString()));
}

void TestStorage::settingsProblems_data() {
    QTest::addColumn<QByteArray>("content");  // "<folder>": the settings file is a folder
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("what");
    QTest::newRow("empty file") << QByteArray() << 0
                                << "the settings file is empty; the engine uses its defaults";
    QTest::newRow("only comments") << QByteArray("\n; nothing here\n\n") << 0 << "the settings file is empty";
    QTest::newRow("a folder, not a file") << QByteArray("<folder>") << 0 << "is not a file that can be read";
    QTest::newRow("channel1 and channel01")
        << QByteArray("[disk1]\npath=d1\n[channel1]\nname=a\n[channel01]\nname=b\n") << 5
        << "[channel01] names channel 1 again (first at line 3); the group is ignored";
    QTest::newRow("disk1 and disk01") << QByteArray("[disk01]\npath=d1\n[disk1]\npath=d1\n") << 3
                                      << "[disk1] names disk 1 again (first at line 1)";
    QTest::newRow("a disk path that is not UTF-8")
        << QByteArray(
               "[disk1]\npath=d1\n[disk2]\nname=two\npath=d\xff\xfe"
               "2\n")
        << 5 << "the path of [disk2] is not valid UTF-8; the disk is ignored";
    QTest::newRow("a number that cannot be read")
        << QByteArray("[storage]\nfreeSpaceFloorMB=lots\n[disk1]\npath=d1\n") << 2
        << "[storage] freeSpaceFloorMB: \"lots\" is not a number";
    QTest::newRow("a stream that cannot be read")
        << QByteArray("[disk1]\npath=d1\n[channel2]\nname=x\nmain=H264 big 25 512 schedule\n") << 5
        << "[channel2] main: bad size big; the stream is left out";
    QTest::newRow("a disk without a path") << QByteArray("[disk1]\npath=d1\n\n[disk2]\nname=x\n") << 4
                                           << "[disk2] has no path; the disk is ignored";
    QTest::newRow("a disk inside another")
        << QByteArray("[disk1]\npath=d1\n[disk2]\npath=d1/inner\n") << 4 << "lies inside disk 1's folder";
    QTest::newRow("a disk folder that is missing")
        << QByteArray("[disk1]\npath=d1\n[disk2]\n\npath=nowhere\n") << 5
        << "disk 2's folder " + QStringLiteral("%1/nowhere does not exist");
    QTest::newRow("no disk at all") << QByteArray("[channel1]\nname=x\n") << 0 << "no usable [diskN] group";
}

void TestStorage::settingsProblems() {
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QFETCH(QString, what);
    makeDisk("d1");
    if (content == "<folder>")
        QVERIFY(QDir().mkpath(root() + "/kestostorage.ini"));
    else
        writeFile(root() + "/kestostorage.ini", content);
    startEngine();
    CLumoString text;
    const int n = LumoSRGetConfigProblems(&text);
    const QStringList lines = QString::fromUtf8(text.GetBuffer()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(n, lines.size());
    const QString prefix = root() + QStringLiteral("/kestostorage.ini:%1: ").arg(line);
    const QString expected = what.contains("%1") ? what.arg(root()) : what;
    bool found = false;
    for (const QString& l : lines) found = found || (l.startsWith(prefix) && l.contains(expected));
    QVERIFY2(found, qPrintable(lines.join('\n')));

    // A clean file has none.
    LumoSRInvalidate();
    QDir(root() + "/kestostorage.ini").removeRecursively();
    writeIni(
        "[storage]\nfreeSpaceFloorMB=1\n[disk1]\npath=d1\n[channel1]\nmain=H264 64x48 10 100 schedule\n");
    startEngine();
    text.Copy("left over");
    QCOMPARE(LumoSRGetConfigProblems(&text), 0);
    QCOMPARE(QString(text.GetBuffer()), QString());
}

namespace {
// Holds the probes of the files whose names hold `held` until released or asked to stop. The
// hook shares it, so a probe still held when a check fails never outlives it.
struct ProbeGate : std::enable_shared_from_this<ProbeGate> {
    std::mutex m;
    std::condition_variable cv;
    QString held;
    bool released = false;
    int entered = 0, inside = 0, sawStop = 0;

    void install() {
        std::shared_ptr<ProbeGate> self = shared_from_this();
        kesto::SetProbeHook([self, this](const std::string& path, const std::function<bool()>& aborted) {
            if (!QString::fromStdString(path).contains(held)) return;
            std::unique_lock<std::mutex> lock(m);
            ++entered;
            ++inside;
            while (!released && !aborted()) cv.wait_for(lock, std::chrono::milliseconds(5));
            if (aborted()) ++sawStop;
            --inside;
        });
    }
    int get(int ProbeGate::*field) {
        std::lock_guard<std::mutex> lock(m);
        return this->*field;
    }
    void release() {
        std::lock_guard<std::mutex> lock(m);
        released = true;
        cv.notify_all();
    }
};
}  // namespace

void TestStorage::queriesDoNotWaitForProbes() {
    writeIni("[disk1]\npath=d1\n[channel1]\ncuid=CAM-1\n");
    makeDisk("d1");
    const QString good = place("d1", 0, 1, 0, 0, kBase);
    // A gigabyte of zeros named as a record (sparse: it costs no disk).
    const QString zeros = recordName(1, 0, 0, kBase.addSecs(60));
    QFile big(disk("d1") + "/blk00000/" + zeros);
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(qint64(1) << 30));
    big.close();

    auto gate = std::make_shared<ProbeGate>();
    gate->held = zeros;
    gate->install();
    startEngine(false);
    QTRY_VERIFY_WITH_TIMEOUT(gate->get(&ProbeGate::entered) == 1, 20000);

    // The probe of the big file is held: every console query still answers, from what was read.
    Rows disks, chans, cuids, blocks;
    QCOMPARE(LumoSRGetDiskInfo(nullptr, 0, &disks.list, 5000), 0);
    QCOMPARE(disks.count(), 1);
    QVERIFY(disks.at<IKestoDiskInfo>(0)->GetInfo()->GetState() & CLumoFSDiskInfo::STATE_READING);
    QCOMPARE(LumoSRGetChanInfo(nullptr, 0, &chans.list, 5000), 0);
    QCOMPARE(chans.count(), 1);
    QCOMPARE(LumoSRGetCUIDInfo(nullptr, 0, &cuids.list, 5000), 0);
    QCOMPARE(cuids.count(), 1);
    blocks.list = IVantelList::CreateObject();
    QCOMPARE(LumoSRGetBlockInfo(nullptr, 1, 0, &blocks.list, 5000), 0);
    QCOMPARE(blocks.count(), 1);
    QCOMPARE(blocks.at<IKestoBlockInfo>(0)->GetInfo()->GetFileNum(), 2);
    CLumoString problems;
    QCOMPARE(LumoSRGetConfigProblems(&problems), 0);
    QCOMPARE(gate->get(&ProbeGate::inside), 1);  // all of that while the probe was still held

    gate->release();
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    QCOMPARE(searchNames(p), QStringList{good});
    QCOMPARE(gate->get(&ProbeGate::sawStop), 0);
}

void TestStorage::stopEndsProbesAtOnce() {
    writeIni("[disk1]\npath=d1\n");
    makeDisk("d1");
    auto gate = std::make_shared<ProbeGate>();
    gate->held = "blk";
    gate->install();
    startEngine();
    // New files, more than probes run at once: only the search below asks for them to be read,
    // so a held probe means the search is waiting for it.
    for (int b = 0; b < 8; ++b)
        writeFile(disk("d1") + QStringLiteral("/blk%1/").arg(b, 5, 10, QLatin1Char('0')) +
                      recordName(1, 0, 0, kBase.addSecs(60 * b)),
                  QByteArray(4096, char('a' + b)));
    std::atomic<int> searched{1};
    std::thread search([&] {
        ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
        uint64_t cursor = 0;
        CLumoFileDescList list(1);
        searched = LumoSRSearchFiles(&p, &cursor, &list, 10);
    });
    QTRY_VERIFY_WITH_TIMEOUT(gate->get(&ProbeGate::entered) >= 1, 20000);

    // The stop ends the held probes and the search that waited for them.
    QCOMPARE(LumoSRStop(), 0);
    search.join();
    QCOMPARE(searched.load(), int(LUMOSR_ERR_STATE));
    LumoSRInvalidate();  // ends the reading thread: nothing runs after this
    const int entered = gate->get(&ProbeGate::entered);
    QVERIFY2(entered >= 1 && entered <= 4, qPrintable(QString::number(entered)));  // no further file
    QCOMPARE(gate->get(&ProbeGate::sawStop), entered);  // each held probe saw the stop
    QCOMPARE(gate->get(&ProbeGate::inside), 0);
}

void TestStorage::garbageIsJudgedByItsFirstBytes() {
    // A gigabyte of zeros under a record's name is judged by the bytes the probe may read, not by
    // its deadline.
    const QString path = root() + "/" + recordName(1, 0, 0, kBase);
    QFile big(path);
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(qint64(1) << 30));
    big.close();
    const kesto::ProbeResult r = kesto::ProbeMediaFile(path.toStdString(), 600000);
    QVERIFY(!r.readable);
    QVERIFY(!r.timedOut);
    QVERIFY(!r.aborted);
    QVERIFY2(r.bytesRead <= kesto::kProbeByteBudget, qPrintable(QString::number(r.bytesRead)));
}

void TestStorage::removalNeverCrossesAMount_data() {
    QTest::addColumn<QString>("action");  // format, or the overwrite of the oldest block of a full disk
    QTest::addColumn<QString>("mount");   // relative to the disk folder
    QTest::newRow("format, mount in a block") << "format" << "blk00000/mnt";
    QTest::newRow("format, mount as a block") << "format" << "blk00002";
    QTest::newRow("overwrite, mount in a block") << "overwrite" << "blk00000/mnt";
    QTest::newRow("overwrite, mount as a block") << "overwrite" << "blk00002";
}

void TestStorage::removalNeverCrossesAMount() {
    QFETCH(QString, action);
    QFETCH(QString, mount);
    VT_REQUIRE(::geteuid() == 0, "bind mounts need root");
    const bool format = action == "format";
    // The overwrite: 1 MB for the engine, of which the oldest blocks hold nearly all.
    writeIni(format ? "[disk1]\npath=d1\n" : "[storage]\nfreeSpaceFloorMB=0\n[disk1]\npath=d1\ncapacityMB=1\n");
    makeDisk("d1");
    place("d1", 0, 1, 0, 0, kBase.addDays(-2));
    writeFile(disk("d1") + "/blk00000/padding.bin", QByteArray(1000 * 1024, 'p'));
    const QString newer = place("d1", 1, 1, 0, 0, kBase.addDays(-1));
    // An outside folder (same file system) with a record older than any: bound as a block, it is
    // the oldest block of the disk.
    const QString outside = root() + "/outside";
    writeFile(outside + "/canary.txt", "outside");
    writeFile(outside + "/deeper/canary.txt", "deeper");
    const QString outsideRecord = recordName(1, 0, 0, kBase.addDays(-3));
    QVERIFY(QFile::copy(m_clipMain, outside + "/" + outsideRecord));
    const QString mountPoint = disk("d1") + "/" + mount;
    QVERIFY2(bindMount(outside, mountPoint), strerror(errno));
    // Links inside a block that lead outside: removed themselves, their targets untouched.
    QVERIFY(QFile::link(outside + "/canary.txt", disk("d1") + "/blk00001/link-to-file"));
    QVERIFY(QFile::link(outside + "/deeper", disk("d1") + "/blk00001/link-to-dir"));
    setPolicy(format ? 0 : 1);
    startEngine();

    int rc = 0;
    QPair<int, QString> why;
    if (format) {
        rc = formatDisk(1);
        why = lastError();
    } else {
        rc = LumoSRStoreRecordFile(m_clipMain.toUtf8(), 1, 0, 0, lumoTime(kBase), nullptr, 5000);
    }
    // Nothing outside the disk is lost, whether seen through the mount or where it lies.
    for (const QString& root : {outside, mountPoint}) {
        for (const QString& name : {QString("canary.txt"), QString("deeper/canary.txt")}) {
            QFile f(root + "/" + name);
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
            QCOMPARE(f.readAll(), QByteArray(name.startsWith("deeper") ? "deeper" : "outside"));
        }
        QVERIFY(QFileInfo(root + "/" + outsideRecord).size() > 0);
    }
    if (format) {
        QCOMPARE(rc, int(LUMOSR_ERR_IO));
        // The operator is told which path is a mount point that was left alone.
        QCOMPARE(why.first, int(LUMOSR_REASON_NOT_REMOVABLE));
        QVERIFY2(why.second.startsWith(mountPoint + ": a mount point"), qPrintable(why.second));
        QVERIFY(!QFileInfo::exists(disk("d1") + "/blk00001"));
    } else {
        // The block with the mount cannot go whole; the overwrite makes room with the next oldest.
        QCOMPARE(rc, 0);
        ILumoFSSearchParam p = allOf(kBase.addDays(-4), kBase.addDays(1));
        const QStringList names = searchNames(p);
        QVERIFY2(names.contains(newer) && names.contains(recordName(1, 0, 0, kBase)), qPrintable(names.join(' ')));
    }
}

void TestStorage::formatOnAnOverlay() {
    // A disk folder that is an overlay of two file systems: its files report the lower layer's
    // device, its folders the overlay's. They are the disk's own and go with a format.
    VT_REQUIRE(::geteuid() == 0, "mounting needs root");
    vt::SmallTmpfs lower, upper;
    QString why;
    VT_REQUIRE(lower.Mount(8 << 20, &why) && upper.Mount(8 << 20, &why), why);
    writeFile(lower.filePath("kestodisk.marker"), "KestoDisk 1\n");
    QVERIFY(QDir().mkpath(lower.filePath("blk00000")));
    const QString name = recordName(1, 0, 0, kBase);
    QVERIFY(QFile::copy(m_clipMain, lower.filePath("blk00000/" + name)));
    QVERIFY(QDir().mkpath(upper.filePath("up")) && QDir().mkpath(upper.filePath("work")));
    QVERIFY(QDir().mkpath(disk("d1")));
    const QByteArray options = "lowerdir=" + QFile::encodeName(lower.path()) +
                               ",upperdir=" + QFile::encodeName(upper.filePath("up")) +
                               ",workdir=" + QFile::encodeName(upper.filePath("work"));
    VT_REQUIRE(::mount("overlay", QFile::encodeName(disk("d1")).constData(), "overlay", 0, options.constData()) == 0,
               QString("cannot mount an overlay: %1").arg(strerror(errno)));
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(disk("d1"))};
    writeIni("[disk1]\npath=d1\n");
    startEngine();
    ILumoFSSearchParam p = allOf(kBase.addSecs(-60), kBase.addSecs(3600));
    QCOMPARE(searchNames(p), QStringList{name});

    QCOMPARE(formatDisk(1), 0);
    QVERIFY(!QFileInfo::exists(disk("d1") + "/blk00000"));
    QCOMPARE(searchNames(p), QStringList());
    LumoSRInvalidate();
}

void TestStorage::servesOnlyIndexedRecords_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::newRow("an indexed record") << "record" << 200;
    QTest::newRow("a hard link to an outside file") << "hard link" << 404;
    QTest::newRow("an indexed name, another file since") << "swapped" << 404;
    QTest::newRow("an outside record, not read yet") << "unread" << 404;
}

void TestStorage::servesOnlyIndexedRecords() {
    QFETCH(QString, kind);
    QFETCH(int, status);
    writeIni("[disk1]\npath=d1\n");
    makeDisk("d1");
    const QString record = place("d1", 0, 1, 0, 0, kBase);
    const QByteArray secret = "[storage]\nsecret=outside the disks\n";
    writeFile(root() + "/outside/secret.ini", secret);
    QVERIFY(QFile::copy(m_clipMain, root() + "/outside/clip.ts"));
    const QString block = disk("d1") + "/blk00000/";
    QString served = record;
    if (kind == "hard link") {
        served = recordName(1, 0, 0, kBase.addSecs(60));
        QCOMPARE(::link(QFile::encodeName(root() + "/outside/secret.ini").constData(),
                        QFile::encodeName(block + served).constData()),
                 0);
    }
    startEngine();  // the engine has read the disk: the link is no record of its index
    if (kind == "swapped") {
        // Another file put in place of an indexed record, after the engine read it.
        const QString tmp = block + "swap.tmp";
        QCOMPARE(::link(QFile::encodeName(root() + "/outside/secret.ini").constData(),
                        QFile::encodeName(tmp).constData()),
                 0);
        QCOMPARE(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(block + record).constData()), 0);
    } else if (kind == "unread") {
        served = recordName(1, 0, 0, kBase.addSecs(120));
        QCOMPARE(::link(QFile::encodeName(root() + "/outside/clip.ts").constData(),
                        QFile::encodeName(block + served).constData()),
                 0);
    }
    QCOMPARE(LumoSRStart(0), 0);
    const HttpAnswer a = RawHttp(LumoSRGetPort(), Request("GET", "/records/disk1/blk00000/" + served.toUtf8()));
    LumoSRStop();
    QCOMPARE(a.status, status);
    if (status == 200) {
        QFile clip(m_clipMain);
        QVERIFY(clip.open(QIODevice::ReadOnly));
        QVERIFY(a.body == clip.readAll());
    } else {
        QVERIFY(!a.body.contains("secret"));
    }
}

void TestStorage::securityImportOnFullDisk() {
    VT_REQUIRE(::geteuid() == 0, "mounting a small file system needs root");
    vt::SmallTmpfs small;
    QString why;
    VT_REQUIRE(small.Mount(256 * 1024, &why), why);
    LumoSRSetStorageConfig(small.filePath("kestostorage.ini").toUtf8().constData());
    const QByteArray old("<SecurityFile><Client name=\"ops\" password=\"old\"/></SecurityFile>\n");
    const QByteArray fresh("<SecurityFile><Client name=\"ops\" password=\"new\"/></SecurityFile>\n");
    writeFile(root() + "/old.xml", old);
    writeFile(root() + "/new.xml", fresh);
    QCOMPARE(LumoSRImportSecurityFile((root() + "/old.xml").toUtf8().constData()), 0);
    const QString target = small.filePath("kestosecurity.xml");
    QCOMPARE(QFileInfo(target).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

    QVERIFY(small.Fill());
    QCOMPARE(LumoSRImportSecurityFile((root() + "/new.xml").toUtf8().constData()), int(LUMOSR_ERR_FULL));
    const QPair<int, QString> got = lastError();
    QCOMPARE(got.first, int(LUMOSR_REASON_IO));
    QVERIFY2(got.second.contains("the disk is full: " + target), qPrintable(got.second));
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), old);
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(small.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({".filler", "kestosecurity.xml"}));
}

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"
