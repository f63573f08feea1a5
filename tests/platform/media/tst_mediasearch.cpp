// Record search through the media library: batches, the end of a search, bad criteria, and a
// search over a real engine index whose results play.
#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>
#include "testsupport.h"

#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "LumoSRecord/LumoSRecord.h"
#include "mediafixture.h"

using namespace mediafixture;

namespace {

// A stand-in index of `g_total` files; optionally hands out more than asked, or fails.
int g_total = 0;
int g_overflow = 0;
int g_failAfter = -1;
int g_calls = 0;

int StubSource(const ILumoFSSearchParam*, uint64_t* cursor, CLumoFileDescList* out, int max) {
    ++g_calls;
    if (g_failAfter >= 0 && int(*cursor) >= g_failAfter) return -5;
    int n = 0;
    while (n < max + g_overflow && int(*cursor) < g_total) {
        auto* d = new CLumoFileDesc();
        d->SetURI(QString("lumofs://local/disk=d1&path=blk00001&filename=%1.dav")
                      .arg(*cursor)
                      .toUtf8()
                      .constData());
        out->Append(d);
        ++*cursor;
        ++n;
    }
    return n;
}

CLumoTime LumoTimeOf(const QDateTime& t) {
    return CLumoTime::FromEpochMs(t.toMSecsSinceEpoch());
}

ILumoFSSearchParam AllOf(const QDateTime& from, const QDateTime& to) {
    ILumoFSSearchParam p(1);
    p.SetTimeS(LumoTimeOf(from));
    p.SetTimeE(LumoTimeOf(to));
    p.SetChannelMask(0, ~uint64_t(0));
    p.SetMediaType(1);
    p.SetRecordType(0xDF);
    p.SetStreamType(0);
    return p;
}

}  // namespace

class TestMediaSearch : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        LumoMediaSearchSetSource(nullptr);
        g_overflow = 0;
        g_failAfter = -1;
        g_calls = 0;
    }

    void batchesOfAtMost256_data() {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("ask");
        QTest::addColumn<QList<int>>("batches");
        QTest::newRow("nothing") << 0 << 256 << QList<int>{};
        QTest::newRow("one") << 1 << 256 << QList<int>{1};
        QTest::newRow("exactly 256") << 256 << 256 << QList<int>{256};
        QTest::newRow("600") << 600 << 256 << QList<int>{256, 256, 88};
        QTest::newRow("asking more than 256") << 600 << 1000 << QList<int>{256, 256, 88};
        QTest::newRow("small batches") << 7 << 3 << QList<int>{3, 3, 1};
    }
    void batchesOfAtMost256() {
        QFETCH(int, total);
        QFETCH(int, ask);
        QFETCH(QList<int>, batches);
        g_total = total;
        LumoMediaSearchSetSource(&StubSource);
        ILumoFSSearchParam p = AllOf(QDateTime::currentDateTime().addDays(-1), QDateTime::currentDateTime());
        void* h = nullptr;
        QCOMPARE(LumoMediaSearchCreate(&h, "lumofs://localhost/media", &p, 0, 0), 0);
        QVERIFY(h);
        CLumoFileDescList list(1);
        QList<int> got;
        int r;
        while ((r = LumoMediaSearchNext(h, &list, ask)) != LUMO_ERR_NOMORE) {
            QVERIFY2(r > 0, qPrintable(QString("result %1").arg(r)));
            got << r;
            QVERIFY(got.size() < 10);
        }
        QCOMPARE(got, batches);
        QCOMPARE(list.GetCount(), total);
        // Asking again after the end keeps saying so, without asking the index again.
        int calls = g_calls;
        QCOMPARE(LumoMediaSearchNext(h, &list, 256), int(LUMO_ERR_NOMORE));
        QCOMPARE(g_calls, calls);
        QCOMPARE(LumoMediaSearchDelete(h), 0);
        QCOMPARE(LumoMediaSearchDelete(h), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoMediaSearchNext(h, &list, 256), int(LUMO_ERR_PARAM));
    }

    void anIndexThatHandsOutTooMuchIsCut() {
        g_total = 600;
        g_overflow = 40;
        LumoMediaSearchSetSource(&StubSource);
        ILumoFSSearchParam p = AllOf(QDateTime::currentDateTime().addDays(-1), QDateTime::currentDateTime());
        void* h = nullptr;
        QCOMPARE(LumoMediaSearchCreate(&h, "lumofs://localhost/media", &p, 0, 0), 0);
        CLumoFileDescList list(1);
        QCOMPARE(LumoMediaSearchNext(h, &list, 256), 256);
        QCOMPARE(list.GetCount(), 256);
        LumoMediaSearchDelete(h);
    }

    void aFailingIndexEndsTheSearch() {
        g_total = 600;
        g_failAfter = 256;
        LumoMediaSearchSetSource(&StubSource);
        ILumoFSSearchParam p = AllOf(QDateTime::currentDateTime().addDays(-1), QDateTime::currentDateTime());
        void* h = nullptr;
        QCOMPARE(LumoMediaSearchCreate(&h, "lumofs://localhost/media", &p, 0, 0), 0);
        CLumoFileDescList list(1);
        QCOMPARE(LumoMediaSearchNext(h, &list, 256), 256);
        QCOMPARE(LumoMediaSearchNext(h, &list, 256), int(LUMO_ERR_FAIL));
        // A caller looping until -3 still gets out.
        QCOMPARE(LumoMediaSearchNext(h, &list, 256), int(LUMO_ERR_NOMORE));
        LumoMediaSearchDelete(h);
    }

    void oneDiskSearch() {
        g_total = 5;
        LumoMediaSearchSetSource(&StubSource);
        ILumoFSSearchParam p = AllOf(QDateTime::currentDateTime().addDays(-1), QDateTime::currentDateTime());
        CLumoFileDescList found(1);
        QCOMPARE(LumoMediaSearch("d1", &p, &found, 0, 0, 0), 0);
        QCOMPARE(found.GetCount(), 5);
        CLumoFileDescList none(1);
        QCOMPARE(LumoMediaSearch("d2", &p, &none, 0, 0, 0), int(LUMO_ERR_NOMORE));
        QCOMPARE(LumoMediaSearch("d", &p, &none, 0, 0, 0),
                 int(LUMO_ERR_NOMORE));  // a name's start is not the name
        QCOMPARE(none.GetCount(), 0);
        QCOMPARE(LumoMediaSearch("", &p, &none, 0, 0, 0), int(LUMO_ERR_BADPARAM));
        QCOMPARE(LumoMediaSearch("d1", nullptr, &none, 0, 0, 0), int(LUMO_ERR_BADPARAM));
    }

    void badCriteriaAreRefused_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("what");
        QTest::addColumn<int>("error");
        QTest::newRow("no criteria") << "lumofs://localhost/media" << 0 << int(LUMO_ERR_BADPARAM);
        QTest::newRow("no start") << "lumofs://localhost/media" << 1 << int(LUMO_ERR_BADPARAM);
        QTest::newRow("end before start") << "lumofs://localhost/media" << 2 << int(LUMO_ERR_BADPARAM);
        QTest::newRow("no channel") << "lumofs://localhost/media" << 3 << int(LUMO_ERR_BADPARAM);
        QTest::newRow("no url") << "" << 4 << int(LUMO_ERR_BADPARAM);
        QTest::newRow("other url") << "lumofs://10.0.0.9/media" << 4 << int(LUMO_ERR_UNSUPPORTED);
    }
    void badCriteriaAreRefused() {
        QFETCH(QString, url);
        QFETCH(int, what);
        QFETCH(int, error);
        QDateTime now = QDateTime::currentDateTime();
        ILumoFSSearchParam p = AllOf(now.addDays(-1), now);
        if (what == 1) p.SetTimeS(CLumoTime());
        if (what == 2) p = AllOf(now, now.addDays(-1));
        if (what == 3) p.SetChannelMask(0, 0);
        void* h = reinterpret_cast<void*>(0x1);
        QByteArray u = url.toUtf8();
        int r = LumoMediaSearchCreate(&h, url.isEmpty() ? nullptr : u.constData(), what == 0 ? nullptr : &p,
                                      0, 0);
        QCOMPARE(r, error);
        QVERIFY(!h);
        // Bad arguments to the batch call.
        LumoMediaSearchSetSource(&StubSource);
        g_total = 3;
        p = AllOf(now.addDays(-1), now);
        QCOMPARE(LumoMediaSearchCreate(&h, "lumofs://localhost/media", &p, 0, 0), 0);
        QCOMPARE(LumoMediaSearchNext(h, nullptr, 256), int(LUMO_ERR_BADPARAM));
        CLumoFileDescList list(1);
        QCOMPARE(LumoMediaSearchNext(h, &list, 0), int(LUMO_ERR_BADPARAM));
        LumoMediaSearchDelete(h);
    }

    void engineIndexResultsPlay() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the fixtures");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString clip = dir.filePath("clip.dav");
        QVERIFY(Ffmpeg(Source(2, "160x120", 25, false) + H264() + QStringList{"-f", "mpegts"}, clip));
        QFile ini(dir.filePath("kestostorage.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(
            "[storage]\nfreeSpaceFloorMB=1\n[disk1]\npath=disk1\nname=disk1\n[channel1]\ncuid=CAM-1\nname="
            "Gate\n");
        ini.close();
        QDir().mkpath(dir.filePath("disk1"));
        QFile marker(dir.filePath("disk1/kestodisk.marker"));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.write("KestoDisk 1\n");
        marker.close();
        LumoSRSetStorageConfig(dir.filePath("kestostorage.ini").toUtf8().constData());
        QCOMPARE(LumoSRInitialize(nullptr), 0);

        // 260 records a minute apart: more than one batch.
        const int count = 260;
        QDateTime base(QDate(2024, 5, 1), QTime(8, 0, 0));
        for (int i = 0; i < count; ++i)
            QCOMPARE(LumoSRStoreRecordFile(clip.toUtf8().constData(), 1, 0, 0,
                                           LumoTimeOf(base.addSecs(60 * i)), nullptr, 5000),
                     0);
        ILumoFSSearchParam p = AllOf(base.addSecs(-10), base.addSecs(60 * count));
        void* h = nullptr;
        QCOMPARE(LumoMediaSearchCreate(&h, "lumofs://localhost/media", &p, 0, 0), 0);
        CLumoFileDescList list(1);
        QList<int> got;
        int r;
        while ((r = LumoMediaSearchNext(h, &list, 256)) != LUMO_ERR_NOMORE) {
            QVERIFY(r > 0);
            got << r;
        }
        QCOMPARE(got, (QList<int>{256, 4}));
        QCOMPARE(LumoMediaSearchDelete(h), 0);

        // A found record plays, and its record time maps onto the picture's time.
        CLumoFileDescList one(1);
        one.Append(new CLumoFileDesc(*list.GetAt(3)));
        INFRA::VideoWindow host;
        host.resize(200, 150);
        host.show();
        void* player = nullptr;
        QCOMPARE(LumoPlayerCreate(&player, &host, nullptr), 0);
        QCOMPARE(LumoPlayerOpenFile(player, &one), 0);
        QCOMPARE(LumoPlayerStart(player), 0);
        CLumoTime t = one.GetHead()->GetTimeS();
        t.Add(1000);
        QCOMPARE(LumoPlayerSeekTime(player, t), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                int s = 0;
                LumoPlayerGetState(player, &s);
                return !(s & LUMO_STATE_BUSY);
            }(),
            5000);
        LumoPlayerPause(player);
        CLumoTime now;
        QCOMPARE(LumoPlayerGetPlaybackTime(player, &now), 0);
        QVERIFY(CLumoTime::GetTimeSpan(now, one.GetHead()->GetTimeS()) >= 960);
        LumoPlayerStop(player);
        LumoPlayerClose(player);
        LumoSRInvalidate();
        LumoSRSetStorageConfig(nullptr);

        // The engine withdrew its records: a search has nothing to ask and says so.
        QCOMPARE(LumoMediaSearchCreate(&h, "lumofs://localhost/media", &p, 0, 0), 0);
        QCOMPARE(LumoMediaSearchNext(h, &list, 256), int(LUMO_ERR_FAIL));
        QCOMPARE(LumoMediaSearchDelete(h), 0);
    }

    // Without an engine in the process (the stand-alone player) there is no record source.
    void withoutARecordSourceASearchFails() {
        ILumoFSSearchParam p = AllOf(QDateTime::currentDateTime().addDays(-1), QDateTime::currentDateTime());
        void* h = nullptr;
        QCOMPARE(LumoMediaSearchCreate(&h, "lumofs://localhost/media", &p, 0, 0), 0);
        CLumoFileDescList list(1);
        QCOMPARE(LumoMediaSearchNext(h, &list, 256), int(LUMO_ERR_FAIL));
        QCOMPARE(LumoMediaSearchNext(h, &list, 256), int(LUMO_ERR_NOMORE));
        QCOMPARE(LumoMediaSearchDelete(h), 0);
        CLumoFileDescList found(1);
        QCOMPARE(LumoMediaSearch("d1", &p, &found, 0, 0, 0), int(LUMO_ERR_FAIL));
    }
};

QTEST_MAIN(TestMediaSearch)
#include "tst_mediasearch.moc"
