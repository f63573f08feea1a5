// The demo storage script: what it makes is what the engine reads, and a second run changes
// nothing.
#include <QDir>
#include <QDirIterator>
#include <QSet>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include "testsupport.h"

#include "LumoSRecord/LumoSRecord.h"

class TestDemoStorage : public QObject {
    Q_OBJECT

private slots:
    void makesWhatTheEngineReads();
};

void TestDemoStorage::makesWhatTheEngineReads() {
    VT_REQUIRE(vt::HaveTool(QStringLiteral("ffmpeg")), "the ffmpeg tool is not installed");
    const QString script = qEnvironmentVariable("VANTEL_SOURCE_DIR") + "/scripts/make_demo_storage.sh";
    VT_REQUIRE(QFileInfo::exists(script), "VANTEL_SOURCE_DIR does not lead to the scripts");
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    auto run = [&] {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("bash"), {script, bin.path()});
        const bool finished = p.waitForFinished(120000);
        return QPair<bool, QString>(finished && p.exitCode() == 0, QString::fromUtf8(p.readAll()));
    };
    const auto first = run();
    QVERIFY2(first.first, qPrintable(first.second));
    const QString ini = bin.path() + "/kestostorage.ini";
    QVERIFY(QFileInfo::exists(ini));
    const QDateTime stamp = QFileInfo(ini).lastModified();
    const auto second = run();
    QVERIFY2(second.first, qPrintable(second.second));
    QCOMPARE(QFileInfo(ini).lastModified(), stamp);

    LumoSRSetStorageConfig(ini.toUtf8().constData());
    QCOMPARE(LumoSRInitialize(nullptr), 0);
    IVantelList* disks = nullptr;
    QCOMPARE(LumoSRGetDiskInfo(nullptr, 0, &disks, 5000), 0);
    QCOMPARE(disks->GetCount(), 2);
    for (int i = 0; i < 2; ++i) {
        auto* d = static_cast<IKestoDiskInfo*>(disks->GetAt(i));
        QVERIFY(d->GetInfo()->GetState() & CLumoFSDiskInfo::STATE_READY);
        QVERIFY(QString(d->GetInfo()->GetName()).startsWith(bin.path() + "/demo-storage/"));
    }
    disks->Release();

    IVantelList* chans = nullptr;
    QCOMPARE(LumoSRGetChanInfo(nullptr, 0, &chans, 5000), 0);
    QCOMPARE(chans->GetCount(), 4);
    for (int i = 0; i < 4; ++i) QCOMPARE(static_cast<IKestoChanInfo*>(chans->GetAt(i))->GetStreamNum(), 2);
    chans->Release();
    IVantelList* cuids = nullptr;
    QCOMPARE(LumoSRGetCUIDInfo(nullptr, 0, &cuids, 5000), 0);
    QCOMPARE(cuids->GetCount(), 4);
    cuids->Release();

    // The console's search: the last day, sub stream, all channels, record types 0xDF.
    ILumoFSSearchParam p(1);
    CLumoTime from = CLumoTime::Now();
    from.Add(-24 * 3600 * 1000LL);
    p.SetTimeS(from);
    p.SetTimeE(CLumoTime::Now());
    p.SetChannelMask(1, ~0ull);
    p.SetMediaType(1);
    p.SetRecordType(0xDF);
    p.SetStreamType(1);
    uint64_t cursor = 0;
    CLumoFileDescList found(1);
    // A first search waits a while for the engine's first reading of 144 files and then says it
    // timed out; asked again, it goes on waiting for the same reading (slow under the sanitizers).
    int rc = 0;
    for (int tries = 0; tries < 24; ++tries) {
        rc = LumoSRSearchFiles(&p, &cursor, &found, 256);
        if (rc != LUMOSR_ERR_TIMEOUT || cursor != 0) break;
    }
    while (rc > 0) rc = LumoSRSearchFiles(&p, &cursor, &found, 256);
    QCOMPARE(rc, 0);
    QCOMPARE(found.GetCount(), 4 * 18);
    const CLumoFileDesc* d = found.GetHead();
    QCOMPARE(d->GetWidth(), uint16_t(160));
    QVERIFY(d->GetTimeE().ToEpochMs() - d->GetTimeS().ToEpochMs() >= 59000);
    CLumoString path;
    QCOMPARE(LumoSRGetRecordFilePath(d->GetURI(), &path), 0);
    QVERIFY(QFileInfo(QString(path.GetBuffer())).isFile());
    LumoSRInvalidate();

    // Each record file carries its own time: a player reading one as a local file (no times in
    // the file) takes its end from the file's modification time, so that must be the end of the
    // minute its name gives, not one time shared by every record.
    QDirIterator it(bin.path() + "/demo-storage", {QStringLiteral("*.dav")}, QDir::Files, QDirIterator::Subdirectories);
    QSet<qint64> ends;
    int files = 0;
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        const QDateTime named =
            QDateTime::fromString(fi.completeBaseName().right(15), QStringLiteral("yyyyMMdd_HHmmss"));
        QVERIFY2(named.isValid(), qPrintable(fi.fileName()));
        QCOMPARE(fi.lastModified().toSecsSinceEpoch(), named.addSecs(60).toSecsSinceEpoch());
        ends.insert(fi.lastModified().toSecsSinceEpoch());
        ++files;
    }
    QCOMPARE(files, 4 * 2 * 18);
    QCOMPARE(ends.size(), 18);
}

QTEST_GUILESS_MAIN(TestDemoStorage)
#include "tst_demostorage.moc"
