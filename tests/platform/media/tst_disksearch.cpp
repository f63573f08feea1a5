// Recorder disks: which mounted drives the disk search lists (removable or on a USB bus, mounted,
// marked at the root), and the search of one such disk by time, stream and channel.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <utime.h>

#include "LumoBase/LumoResult.h"
#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoRecordAddress.h"
#include "mediafixture.h"
#include "testsupport.h"

namespace {

void WriteFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(data);
}

CLumoTime TimeOf(const QDateTime& t) {
    return CLumoTime::FromEpochMs(t.toMSecsSinceEpoch());
}

QStringList FindDisks(int* result) {
    void* h = nullptr;
    CLumoList disks(10);
    *result = LumoDiskSearchCreate(&h, "lumofs://local/", &disks);
    if (*result == 0) {
        *result = LumoDiskSearch(h, &disks);
        LumoDiskSearchDelete(h);
    }
    QStringList names;
    for (int i = 0; i < disks.GetCount(); ++i) names << QString::fromUtf8(disks.GetAt(i));
    return names;
}

const QDateTime kDay(QDate(2024, 5, 1), QTime(0, 0, 0));

}  // namespace

class TestDiskSearch : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { LumoDiskSearchSetRoots(nullptr, nullptr); }

    void drives_data();
    void drives();
    void searchHandles();
    void search_data();
    void search();
    void resultsSurviveFailedSearch();
    void recordsEndWithTheirOwnLength();

private:
    // A recorder disk laid out as the engine lays out its disks, in `root`.
    void MakeRecorderDisk(const QString& root);
    QTemporaryDir m_tmp;
};

void TestDiskSearch::drives_data() {
    QTest::addColumn<QString>("removable");  // the drive's /sys/block removable file
    QTest::addColumn<bool>("usb");           // the device path runs through a USB bus
    QTest::addColumn<bool>("partition");     // the file system is on a partition (else the drive)
    QTest::addColumn<QString>("mountPoint"); // empty: not mounted
    QTest::addColumn<QString>("mountRoot");  // the root field of the mount
    QTest::addColumn<bool>("marked");
    QTest::addColumn<bool>("listed");
    QTest::newRow("removable, marked") << "1" << false << true << "rec" << "/" << true << true;
    QTest::newRow("removable, unmarked") << "1" << false << true << "plain" << "/" << false << false;
    QTest::newRow("fixed, marked") << "0" << false << true << "fixed" << "/" << true << false;
    QTest::newRow("removable, marked, unmounted") << "1" << false << true << "" << "/" << true << false;
    QTest::newRow("USB disk reporting removable 0") << "0" << true << true << "usb" << "/" << true << true;
    QTest::newRow("mount point with a space") << "1" << false << true << "my rec" << "/" << true << true;
    QTest::newRow("whole-drive file system") << "1" << false << false << "whole" << "/" << true << true;
    QTest::newRow("bind mount of a sub-folder") << "1" << false << true << "bound" << "/sub" << true << false;
    QTest::newRow("no removable file") << "" << false << true << "norem" << "/" << true << false;
}

void TestDiskSearch::drives() {
    QFETCH(QString, removable);
    QFETCH(bool, usb);
    QFETCH(bool, partition);
    QFETCH(QString, mountPoint);
    QFETCH(QString, mountRoot);
    QFETCH(bool, marked);
    QFETCH(bool, listed);
    QTemporaryDir dir;
    const QString sys = dir.path() + "/sys";
    // The drive's device folder, reached from /sys/block through a link as the kernel does.
    const QString device = sys + (usb ? "/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/block/sdx"
                                      : "/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sdx");
    if (!removable.isEmpty()) WriteFile(device + "/removable", removable.toUtf8() + "\n");
    WriteFile(device + "/dev", "8:16\n");
    if (partition) {
        WriteFile(device + "/sdx1/partition", "1\n");
        WriteFile(device + "/sdx1/dev", "8:17\n");
    }
    // A fixed system drive beside it, mounted and marked: never listed.
    WriteFile(sys + "/devices/virtual/block/sda/removable", "0\n");
    WriteFile(sys + "/devices/virtual/block/sda/dev", "8:0\n");
    QDir().mkpath(sys + "/block");
    QVERIFY(QFile::link(device, sys + "/block/sdx"));
    QVERIFY(QFile::link(sys + "/devices/virtual/block/sda", sys + "/block/sda"));
    const QString systemRoot = dir.path() + "/system";
    WriteFile(systemRoot + "/index.bin", "mark");

    QString mountinfo = QStringLiteral("22 1 8:0 / %1 rw,relatime shared:1 - ext4 /dev/sda rw\n").arg(systemRoot);
    QString point;
    if (!mountPoint.isEmpty()) {
        point = dir.path() + "/media/" + mountPoint;
        QDir().mkpath(point);
        if (marked) WriteFile(point + "/index.bin", "mark");
        QString written = point;
        written.replace(" ", "\\040");
        mountinfo += QStringLiteral("40 22 %1 %2 %3 rw,nosuid - vfat /dev/sdx1 rw\n")
                         .arg(partition ? "8:17" : "8:16", mountRoot, written);
    } else if (marked) {
        WriteFile(dir.path() + "/media/unmounted/index.bin", "mark");
    }
    WriteFile(dir.path() + "/mountinfo", mountinfo.toUtf8());
    LumoDiskSearchSetRoots(sys.toUtf8().constData(), (dir.path() + "/mountinfo").toUtf8().constData());

    int result = -100;
    const QStringList disks = FindDisks(&result);
    QCOMPARE(result, 0);
    QCOMPARE(disks, listed ? QStringList{point} : QStringList());
}

void TestDiskSearch::searchHandles() {
    void* h = nullptr;
    CLumoList disks;
    QCOMPARE(LumoDiskSearchCreate(&h, "lumofs://localhost/media", &disks), int(LUMO_ERR_UNSUPPORTED));
    QVERIFY(!h);
    QCOMPARE(LumoDiskSearchCreate(&h, "nonsense", &disks), int(LUMO_ERR_PARAM));
    QCOMPARE(LumoDiskSearch(nullptr, &disks), int(LUMO_ERR_PARAM));
    QCOMPARE(LumoDiskSearchCreate(&h, "lumofs://local/", &disks), 0);
    QCOMPARE(LumoDiskSearch(h, nullptr), int(LUMO_ERR_PARAM));
    QCOMPARE(LumoDiskSearchDelete(h), 0);
    QCOMPARE(LumoDiskSearch(h, &disks), int(LUMO_ERR_PARAM));  // a deleted handle fails harmlessly
    QCOMPARE(LumoDiskSearchDelete(h), int(LUMO_ERR_PARAM));
    // An unreadable mount table is a failure, not "no disk".
    LumoDiskSearchSetRoots(m_tmp.path().toUtf8().constData(), (m_tmp.path() + "/none").toUtf8().constData());
    int result = 0;
    QCOMPARE(FindDisks(&result), QStringList());
    QCOMPARE(result, int(LUMO_ERR_IO));
}

void TestDiskSearch::MakeRecorderDisk(const QString& root) {
    WriteFile(root + "/index.bin", "KestoDisk 1\n");
    WriteFile(root + "/kestodisk.marker", "KestoDisk 1\n");
    struct File {
        const char* block;
        const char* name;
        int lastMinutes;  // the file's last change, minutes after its start
    };
    const File files[] = {
        {"blk00001", "c01_s0_r0_20240501_100000.dav", 0},   // ends where the next one starts
        {"blk00001", "c01_s0_r0_20240501_101000.dav", 5},   // the last of its stream: its change time
        {"blk00002", "c03_s1_r4_20240501_120000.mp4", 30},
        {"blk00003", "c64_s0_r1_20240503_080000.dav", 60},  // two days later
        {"blk00003", "c02_s0_r0_20240501_100000.dav", 10},
        {"blk00003", "c1_s0_r0_20240501_100000.dav", 10},   // not the engine's name
        {"blk00003", "c05_s0_r0_20240501_100000.txt", 10},  // not a record
        {"other", "c01_s0_r0_20240501_100000.dav", 10},     // not a block
    };
    for (const File& f : files) {
        const QString path = root + "/" + f.block + "/" + f.name;
        WriteFile(path, "tiny");
        const QDateTime start = QDateTime::fromString(QString(f.name).mid(10, 15), "yyyyMMdd_HHmmss");
        const qint64 when = start.isValid() ? start.addSecs(60 * f.lastMinutes).toSecsSinceEpoch()
                                            : kDay.toSecsSinceEpoch();
        struct utimbuf times = {time_t(when), time_t(when)};
        QCOMPARE(::utime(path.toUtf8().constData(), &times), 0);
    }
}

void TestDiskSearch::search_data() {
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<quint64>("mainMask");
    QTest::addColumn<quint64>("subMask");
    QTest::addColumn<QString>("disk");  // "" the made disk, else a folder under the temporary one
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("files");  // block/file, in start order
    const QDateTime ten = kDay.addSecs(10 * 3600);
    QTest::newRow("channels 1 and 3, both streams, the day")
        << kDay << kDay.addSecs(86399) << quint64(5) << quint64(5) << "" << 0
        << QStringList{"blk00001/c01_s0_r0_20240501_100000.dav", "blk00001/c01_s0_r0_20240501_101000.dav",
                       "blk00002/c03_s1_r4_20240501_120000.mp4"};
    QTest::newRow("all 64 channels, a week")
        << kDay << kDay.addDays(7) << ~quint64(0) << ~quint64(0) << "" << 0
        << QStringList{"blk00001/c01_s0_r0_20240501_100000.dav", "blk00003/c02_s0_r0_20240501_100000.dav",
                       "blk00001/c01_s0_r0_20240501_101000.dav", "blk00002/c03_s1_r4_20240501_120000.mp4",
                       "blk00003/c64_s0_r1_20240503_080000.dav"};
    QTest::newRow("channel 64 only") << kDay << kDay.addDays(7) << (quint64(1) << 63) << quint64(0) << "" << 0
                                     << QStringList{"blk00003/c64_s0_r1_20240503_080000.dav"};
    QTest::newRow("channel 3 on the main stream only")
        << kDay << kDay.addDays(1) << quint64(4) << quint64(0) << "" << int(LUMO_ERR_NOMORE) << QStringList();
    // The first file ends at 10:10 (the next one's start); the second at its change, 10:15.
    QTest::newRow("inside the first file") << ten.addSecs(60) << ten.addSecs(120) << quint64(1) << quint64(0)
                                           << "" << 0 << QStringList{"blk00001/c01_s0_r0_20240501_100000.dav"};
    QTest::newRow("after the last file's change")
        << ten.addSecs(16 * 60) << ten.addSecs(3600) << quint64(1) << quint64(0) << "" << int(LUMO_ERR_NOMORE)
        << QStringList();
    QTest::newRow("no records: another year") << kDay.addYears(1) << kDay.addYears(1).addDays(1) << ~quint64(0)
                                              << ~quint64(0) << "" << int(LUMO_ERR_NOMORE) << QStringList();
    QTest::newRow("bad time range: end before start") << kDay.addDays(1) << kDay << quint64(1) << quint64(1)
                                                      << "" << int(LUMO_ERR_BADPARAM) << QStringList();
    QTest::newRow("no channel chosen") << kDay << kDay.addDays(1) << quint64(0) << quint64(0) << ""
                                       << int(LUMO_ERR_BADPARAM) << QStringList();
    QTest::newRow("failure: a folder without the mark") << kDay << kDay.addDays(1) << quint64(1) << quint64(1)
                                                        << "unmarked" << int(LUMO_ERR_NOTFOUND) << QStringList();
    QTest::newRow("failure: no such folder") << kDay << kDay.addDays(1) << quint64(1) << quint64(1) << "gone"
                                             << int(LUMO_ERR_NOTFOUND) << QStringList();
}

void TestDiskSearch::search() {
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(quint64, mainMask);
    QFETCH(quint64, subMask);
    QFETCH(QString, disk);
    QFETCH(int, result);
    QFETCH(QStringList, files);
    QTemporaryDir dir;
    const QString root = dir.path() + "/REC disk";
    MakeRecorderDisk(root);
    QDir().mkpath(dir.path() + "/unmarked/blk00001");
    const QString name = disk.isEmpty() ? root : dir.path() + "/" + disk;

    ILumoFSSearchParam p(1);
    p.SetTimeS(TimeOf(from));
    p.SetTimeE(TimeOf(to));
    p.SetChannelMask(0, mainMask);
    p.SetChannelMask(1, subMask);
    CLumoFileDescList found(1);
    QCOMPARE(LumoMediaSearch(name.toUtf8().constData(), &p, &found, 0, 0, 0), result);
    QStringList got;
    for (const CLumoFileDesc* d : found) {
        LumoRecordAddress a;
        QVERIFY(LumoRecordAddress::Parse(d->GetURI(), &a));
        QCOMPARE(QString::fromStdString(a.Get("disk")), root);
        const QString block = QString::fromStdString(a.Get("path"));
        QCOMPARE(QFileInfo(block).path(), root);
        const QString file = QString::fromStdString(a.Get("filename"));
        QVERIFY(QFile::exists(block + "/" + file));
        QCOMPARE(QString::fromUtf8(d->GetFileName()), file);
        QCOMPARE(d->GetSize(), quint64(4));
        QVERIFY(d->GetTimeS() < d->GetTimeE() || d->GetTimeS() == d->GetTimeE());
        QCOMPARE(d->GetChannel() + 1, file.mid(1, 2).toInt());
        QCOMPARE(d->GetStreamType(), file.mid(5, 1).toInt());
        got << QFileInfo(block).fileName() + "/" + file;
    }
    QCOMPARE(got, files);
}

void TestDiskSearch::resultsSurviveFailedSearch() {
    QTemporaryDir dir;
    MakeRecorderDisk(dir.path());
    ILumoFSSearchParam p(1);
    p.SetTimeS(TimeOf(kDay));
    p.SetTimeE(TimeOf(kDay.addDays(1)));
    p.SetChannelMask(0, 1);
    CLumoFileDescList found(1);
    QCOMPARE(LumoMediaSearch(dir.path().toUtf8().constData(), &p, &found, 0, 0, 0), 0);
    QCOMPARE(found.GetCount(), 2);
    const QString first = QString::fromUtf8(found.GetHead()->GetURI());
    // Failures append nothing: what an earlier search found stays as it was.
    QCOMPARE(LumoMediaSearch((dir.path() + "/x").toUtf8().constData(), &p, &found, 0, 0, 0),
             int(LUMO_ERR_NOTFOUND));
    p.SetChannelMask(0, 1ull << 40);
    QCOMPARE(LumoMediaSearch(dir.path().toUtf8().constData(), &p, &found, 0, 0, 0), int(LUMO_ERR_NOMORE));
    QCOMPARE(found.GetCount(), 2);
    QCOMPARE(QString::fromUtf8(found.GetHead()->GetURI()), first);
}

// A record lasts as long as its media, however far away the recorder's next file starts, and
// whatever time the file was last changed (a copied drive has the copy's times).
void TestDiskSearch::recordsEndWithTheirOwnLength() {
    VT_REQUIRE(mediafixture::HaveFfmpeg(), "the ffmpeg tool is needed to make the records");
    QTemporaryDir dir;
    const QString root = dir.path() + "/REC";
    WriteFile(root + "/index.bin", "KestoDisk 1\n");
    QDir().mkpath(root + "/blk00001");
    const QString first = root + "/blk00001/c01_s0_r0_20240501_041000.dav";
    QVERIFY(mediafixture::Ffmpeg(mediafixture::Source(4, "160x120", 10, false) + mediafixture::H264(10) +
                                     QStringList{"-f", "mpegts"},
                                 first));
    QVERIFY(QFile::copy(first, root + "/blk00001/c01_s0_r0_20240501_042000.dav"));
    WriteFile(root + "/blk00001/c01_s0_r0_20240501_043000.dav", "not media");  // keeps the old bound

    ILumoFSSearchParam p(1);
    const QDateTime four = kDay.addSecs(4 * 3600);
    p.SetTimeS(TimeOf(four));
    p.SetTimeE(TimeOf(four.addSecs(3600)));
    p.SetChannelMask(0, 1);
    CLumoFileDescList found(1);
    QCOMPARE(LumoMediaSearch(root.toUtf8().constData(), &p, &found, 0, 0, 0), 0);
    QList<qint64> seconds;
    for (const CLumoFileDesc* d : found)
        seconds << (d->GetTimeE().ToEpochMs() - d->GetTimeS().ToEpochMs() + 500) / 1000;
    QCOMPARE(seconds.size(), 3);
    QCOMPARE(seconds[0], qint64(4));
    QCOMPARE(seconds[1], qint64(4));
    QVERIFY(seconds[2] >= 0);

    // A search that starts after a record's own end leaves it out.
    p.SetTimeS(TimeOf(four.addSecs(10 * 60 + 30)));
    p.SetTimeE(TimeOf(four.addSecs(15 * 60)));
    CLumoFileDescList later(1);
    QCOMPARE(LumoMediaSearch(root.toUtf8().constData(), &p, &later, 0, 0, 0), int(LUMO_ERR_NOMORE));
}

QTEST_GUILESS_MAIN(TestDiskSearch)
#include "tst_disksearch.moc"
