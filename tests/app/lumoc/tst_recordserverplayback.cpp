// The playback dialog: plays one record row to its end, shows the position without seeking, and
// survives a record of no length and a second play.
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>
#include "testsupport.h"

#include "LumoCore/LumoCore.h"
#include "LumoSRecord/LumoSRecord.h"
#include "downloadfixture.h"
#include "lumoc/playback/recordserverplayback.h"

using namespace downloadfixture;

class TestRecordServerPlayback : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString rec;

    // A row of the engine for the record file; `zeroLength` ends it where it starts.
    IKestoFileInfoAV* Row(bool zeroLength) {
        std::unique_ptr<CLumoFileDesc> d(ProbedDesc(rec));
        if (zeroLength) d->SetTimeE(d->GetTimeS());
        d->SetLocation(1, 12, 7);
        d->SetChannel(2);
        d->SetStreamType(1);
        d->SetCUID("cam-9");
        IKestoFileInfoAV* row = IKestoFileInfoAV::CreateObject();
        d->ToAVInfo(row->GetInfo());
        row->SetURI(d->GetURI());
        return row;
    }
    static QSlider* Slider(RecordServerPlayback& p) { return p.findChild<QSlider*>("m_player_slider"); }

private slots:
    void initTestCase() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the records");
        rec = dir.filePath("rec.dav");
        QVERIFY(MakeRecord(rec, 3));
    }

    void playWithoutRow() {
        RecordServerPlayback p;
        QCOMPARE(p.Play(), -1);
        QVERIFY(!p.GetPlayer());
        QCOMPARE(p.size(), QSize(1024, 600));
        QCOMPARE(Slider(p)->maximum(), 99);
    }

    void playsOneRowToItsEnd() {
        RecordServerPlayback p;
        IKestoFileInfoAV* row = Row(false);
        QCOMPARE(p.SetFileInfo(row), 0);
        row->Release();  // the dialog holds its own reference
        QSignalSpy played(&p, &RecordServerPlayback::OnSignalPlayed);
        QSignalSpy ended(&p, &RecordServerPlayback::OnEmitStopPlay);
        QCOMPARE(p.Play(), 0);
        QVERIFY(p.GetPlayer());
        QTRY_COMPARE_WITH_TIMEOUT(played.count(), 1, 30000);
        QCOMPARE(played.first().first().toInt(), 0);
        QCOMPARE(p.GetTitle(), QString("K4781_CUID: cam-9K4782_--->K3706_FileName : 01-0012-0007-03-2"));
        int best = 0;
        QElapsedTimer t;
        t.start();
        while (ended.isEmpty() && t.elapsed() < 15000) {
            p.OnTimer();
            best = qMax(best, Slider(p)->value());
            QTest::qWait(100);
        }
        QCOMPARE(ended.count(), 1);
        QVERIFY2(best > 0, "the slider followed the playback");
        QTRY_VERIFY(!p.GetPlayer());  // stopped and closed
        QCOMPARE(Slider(p)->value(), 0);
        QVERIFY(!Slider(p)->isEnabled());  // the operator cannot seek with it
    }

    void zeroLengthRecord() {
        RecordServerPlayback p;
        IKestoFileInfoAV* row = Row(true);
        p.SetFileInfo(row);
        row->Release();
        QSignalSpy played(&p, &RecordServerPlayback::OnSignalPlayed);
        QCOMPARE(p.Play(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(played.count(), 1, 30000);
        for (int i = 0; i < 10; ++i) {
            p.OnTimer();
            QCOMPARE(Slider(p)->value(), 0);
            QTest::qWait(50);
        }
        // Playing again starts over on a new player; the first is ended, not leaked.
        void* first = p.GetPlayer();
        QCOMPARE(p.Play(), 0);
        QVERIFY(p.GetPlayer() != first);
        unsigned state = 0;
        QVERIFY(LumoPlayerGetState(first, &state) != 0);
        QTRY_COMPARE_WITH_TIMEOUT(played.count(), 2, 30000);
        p.SetFileInfo(nullptr);
    }

    // Closing while the open still runs leaves nothing behind.
    void closeWhileOpening() {
        auto* p = new RecordServerPlayback();
        IKestoFileInfoAV* row = Row(false);
        p->SetFileInfo(row);
        row->Release();
        QCOMPARE(p->Play(), 0);
        delete p;
        QTest::qWait(200);
    }
};

QTEST_MAIN(TestRecordServerPlayback)
#include "tst_recordserverplayback.moc"
