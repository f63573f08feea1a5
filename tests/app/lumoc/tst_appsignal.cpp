#include <QtTest>

#include "lumoc/appsignal.h"

namespace {
struct Observer : CLumoObject {
    QList<int> codes;
};

int onSignal(CLumoObject* owner, int code, void* sender, void*, void*) {
    static_cast<Observer*>(owner)->codes << code;
    return sender ? -1 : 0;
}
}  // namespace

class TestAppSignal : public QObject {
    Q_OBJECT
private slots:
    void attachCommitDetach() {
        Observer a, b;
        ILumoCallback ca(&a, onSignal), cb(&b, onSignal);
        QCOMPARE(AttachAppSignal(&ca, &ILumoCallback::OnSignal), 0);
        QCOMPARE(AttachAppSignal(&cb, &ILumoCallback::OnSignal), 0);
        // A second attach of the same observer does not double its events.
        QVERIFY(AttachAppSignal(&ca, &ILumoCallback::OnSignal) != 0);

        // A settings page's save: sender null, its page code.
        QCOMPARE(AppSignal.Commit(nullptr, APPSIGNAL_VIDEO_OPTIONS, nullptr, nullptr), 2);
        AppSignal.Commit(nullptr, 5, nullptr, nullptr);
        QCOMPARE(a.codes, (QList<int>{3, 5}));
        QCOMPARE(b.codes, (QList<int>{3, 5}));

        QCOMPARE(DetachAppSignal(&ca, &ILumoCallback::OnSignal), 0);
        QVERIFY(DetachAppSignal(&ca, &ILumoCallback::OnSignal) != 0);
        AppSignal.Commit(nullptr, 3, nullptr, nullptr);
        QCOMPARE(a.codes, (QList<int>{3, 5}));
        QCOMPARE(b.codes, (QList<int>{3, 5, 3}));
        QCOMPARE(DetachAppSignal(&cb, &ILumoCallback::OnSignal), 0);
        QCOMPARE(AppSignal.GetCount(), 0);
    }
};

QTEST_MAIN(TestAppSignal)
#include "tst_appsignal.moc"
