#include <QtTest>

#include "LumoBase/LumoBase.h"
#include "VantelCore/VantelCore.h"

namespace {

struct Recorder : CLumoObject {
    QList<int> codes;
    ILumoSignal* detachFrom = nullptr;
    ILumoCallback* self = nullptr;
};

int recordHandler(CLumoObject* owner, int code, void*, void*, void*) {
    auto* r = static_cast<Recorder*>(owner);
    r->codes << code;
    if (r->detachFrom) r->detachFrom->Detach(r->self, &ILumoCallback::OnSignal);
    return 0;
}

}  // namespace

class TestLumoBase : public QObject {
    Q_OBJECT
private slots:
    void iso8601_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("shown");
        QTest::newRow("date and time") << "2026-03-04T05:06:07" << true << "2026-03-04 05:06:07.000";
        QTest::newRow("fraction") << "2026-03-04T05:06:07.5" << true << "2026-03-04 05:06:07.500";
        QTest::newRow("zone ignored") << "2026-03-04T05:06:07Z" << true << "2026-03-04 05:06:07.000";
        QTest::newRow("date only") << "2026-12-31" << true << "2026-12-31 00:00:00.000";
        QTest::newRow("bad month") << "2026-13-01T00:00:00" << false << "";
        QTest::newRow("garbage") << "yesterday" << false << "";
        QTest::newRow("cut time") << "2026-03-04T05:06" << false << "";
    }
    void iso8601() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, shown);
        CLumoTime t;
        QCOMPARE(t.ParseISO8601(text.toUtf8().constData()), ok);
        if (!ok) {
            QVERIFY(t.IsEmpty());
            return;
        }
        CLumoString out;
        t.ToString(out, true);
        QCOMPARE(QString(out.GetBuffer()), shown);
        CLumoString iso;
        t.BuildISO8601(iso);
        CLumoTime back;
        QVERIFY(back.ParseISO8601(iso.GetBuffer()));
        QCOMPARE(back, t);
    }

    void timeArithmetic() {
        CLumoTime t;
        QVERIFY(t.ParseISO8601("2026-12-31T23:59:59.900"));
        CLumoTime later = t;
        later.Add(200);  // crosses the year
        CLumoString s;
        later.ToString(s, true);
        QCOMPARE(QString(s.GetBuffer()), QString("2027-01-01 00:00:00.100"));
        QCOMPARE(CLumoTime::GetTimeSpan(later, t), qint64(200));
        QCOMPARE(CLumoTime::GetTimeSpan(t, later), qint64(-200));
        later.Add(-200);
        QCOMPARE(later, t);

        // The packed engine word keeps whole seconds from 2000 on.
        QCOMPARE(CLumoTime(t.ToPacked(), t.GetMS()), t);
        QCOMPARE(t.ToPacked() >> 26, 26u);
        QCOMPARE(t.ToPacked() & 0x3F, 59u);
        QCOMPARE(later - t, qint64(0));  // whole seconds
        CLumoTime before2000;
        QVERIFY(before2000.ParseISO8601("1999-12-31T23:59:59"));
        QCOMPARE(before2000.ToPacked(), 0u);
        QVERIFY(CLumoTime(0u, 0).IsEmpty());
    }

    void signalCommitAndDetachInHandler() {
        ILumoSignal signal(3);
        Recorder a, b;
        auto* ca = new ILumoCallback(&a, recordHandler);
        auto* cb = new ILumoCallback(&b, recordHandler);
        QCOMPARE(signal.Attach(ca, &ILumoCallback::OnSignal), 0);
        QCOMPARE(signal.Attach(ca, &ILumoCallback::OnSignal), -1);  // once only
        QCOMPARE(signal.Attach(cb, &ILumoCallback::OnSignal), 0);
        QCOMPARE(signal.GetCount(), 2);

        // a detaches itself while being notified; b is still called this time.
        a.detachFrom = &signal;
        a.self = ca;
        QCOMPARE(signal.Commit(nullptr, 3, nullptr, nullptr), 2);
        QCOMPARE(signal.GetCount(), 1);
        QCOMPARE(signal.Commit(nullptr, 4, nullptr, nullptr), 1);
        QCOMPARE(a.codes, QList<int>({3}));
        QCOMPARE(b.codes, QList<int>({3, 4}));
        QCOMPARE(signal.Detach(ca, &ILumoCallback::OnSignal), -1);
        QCOMPARE(signal.Detach(cb, &ILumoCallback::OnSignal), 0);
        delete ca;
        delete cb;
    }

    void stringHelpers() {
        CLumoString s("filer://local/type=rec");
        s.Append("&format=%s&filename=%s", "dav", "/tmp/a b.dav");
        QCOMPARE(QString(s.GetBuffer()), QString("filer://local/type=rec&format=dav&filename=/tmp/a b.dav"));
        QCOMPARE(s.Find("format="), 23);
        QCOMPARE(s.Find("nothing"), -1);
        QVERIFY(CLumoString::IsEqual("stop", "stop"));
        QVERIFY(!CLumoString::IsEqual("stop", "stopp"));
        QVERIFY(!CLumoString::IsEqual("stop", nullptr));
        char* copy = s.Clone();
        QCOMPARE(QString(copy), QString(s.GetBuffer()));
        delete[] copy;
    }

    void listOwnsItsRows() {
        IVantelList* list = IVantelList::CreateObject();
        IVantelText* row = IVantelText::CreateObject("cam-1");
        QCOMPARE(list->Add(row, true, true), 0);
        QCOMPARE(list->Add(row, true, true), -1);  // unique refuses a repeat
        QCOMPARE(row->GetRefCount(), 2);
        QCOMPARE(list->GetCount(), 1);
        list->Release();  // drops the list's reference only
        QCOMPARE(row->GetRefCount(), 1);
        QCOMPARE(QString(row->GetText()), QString("cam-1"));
        row->Release();
    }
};

QTEST_APPLESS_MAIN(TestLumoBase)
#include "tst_lumobase.moc"
