// The open off the caller's thread: answers come on the caller's thread, for the newest open only;
// a player given up (newer open, cancel, the owner's end) is closed and never shown.
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include "testsupport.h"

#include "LumoCore/LumoCore.h"
#include "LumoCore/playeropener.h"
#include "mediafixture.h"

using lumocore::PlayerOpener;

namespace {

// Opens of a head URI that contains "slow" wait at the seam until the test lets them go; every
// open notes the thread it ran on.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;       // guarded by m
    int waiting = 0;         // guarded by m
    std::set<Qt::HANDLE> threads;  // guarded by m
};
Gate g_gate;

void SlowHook(const char* uri) {
    std::unique_lock<std::mutex> lock(g_gate.m);
    g_gate.threads.insert(QThread::currentThreadId());
    if (std::string(uri).find("slow") == std::string::npos) return;
    g_gate.waiting++;
    g_gate.cv.wait(lock, [] { return g_gate.open; });
    g_gate.waiting--;
}

int Waiting() {
    std::lock_guard<std::mutex> lock(g_gate.m);
    return g_gate.waiting;
}

void LetGo() {
    {
        std::lock_guard<std::mutex> lock(g_gate.m);
        g_gate.open = true;
    }
    g_gate.cv.notify_all();
}

// Waits for the workers without running the caller's event loop: an answer stays posted.
bool WorkersDone() {
    for (int i = 0; i < 3000 && PlayerOpener::Running() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return PlayerOpener::Running() == 0;
}

int StateOf(void* player) {
    int s = -1;
    LumoPlayerGetState(player, &s);
    return s;
}

struct Answer {
    void* player = nullptr;
    int result = 1;
    Qt::HANDLE thread = nullptr;
};

}  // namespace

class TestPlayerOpener : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString clip, slowClip;

    CLumoFileDescList ListOf(const QString& path) {
        CLumoFileDescList list(1);
        list.Append(mediafixture::Desc(mediafixture::FilerUri(path)));
        return list;
    }
    void* NewPlayer() {
        void* p = nullptr;
        return LumoPlayerCreate(&p, nullptr, nullptr) == 0 ? p : nullptr;
    }

private slots:
    void initTestCase() {
        VT_REQUIRE(mediafixture::HaveFfmpeg(), "ffmpeg is needed to make the clips");
        clip = dir.filePath("clip.ts");
        QVERIFY(mediafixture::Ffmpeg(mediafixture::Source(1, "320x240", 25, false) + mediafixture::Mpeg4() +
                                         QStringList{"-f", "mpegts"},
                                     clip));
        // The same clip under a name the seam holds back.
        slowClip = dir.filePath("slow.ts");
        QVERIFY(QFile::copy(clip, slowClip));
        LumoPlayerSetOpenHook(&SlowHook);
    }
    void cleanupTestCase() {
        LetGo();
        LumoPlayerSetOpenHook(nullptr);
    }
    void init() {
        std::lock_guard<std::mutex> lock(g_gate.m);
        g_gate.open = false;
        g_gate.threads.clear();
    }
    void cleanup() {
        LetGo();
        QVERIFY(WorkersDone());
    }

    // The answer comes on the caller's thread, with the player and the open's result; the open
    // itself ran on another thread, and the player is opened, not started.
    void answersOnTheCallersThread_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("withPlayer");
        QTest::addColumn<int>("result");
        QTest::newRow("good") << "clip.ts" << true << int(LUMO_OK);
        QTest::newRow("missing") << "none.ts" << true << int(LUMO_ERR_NOTFOUND);
        QTest::newRow("no player") << "clip.ts" << false << int(LUMO_ERR_PARAM);
    }
    void answersOnTheCallersThread() {
        QFETCH(QString, file);
        QFETCH(bool, withPlayer);
        QFETCH(int, result);
        QObject owner;
        PlayerOpener opener(&owner);
        void* player = withPlayer ? NewPlayer() : nullptr;
        QList<Answer> answers;
        opener.Open(player, ListOf(dir.filePath(file)), [&answers](void* p, int rc) {
            answers << Answer{p, rc, QThread::currentThreadId()};
        });
        QVERIFY(opener.Pending());
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 15000);
        QVERIFY(!opener.Pending());
        QCOMPARE(answers[0].player, player);
        QCOMPARE(answers[0].result, result);
        QCOMPARE(answers[0].thread, QThread::currentThreadId());
        if (withPlayer) {
            QCOMPARE(StateOf(player), result == LUMO_OK ? int(LUMO_STATE_OPEN) : 0);
            std::lock_guard<std::mutex> lock(g_gate.m);
            QCOMPARE(g_gate.threads.size(), size_t(1));
            QVERIFY(!g_gate.threads.count(QThread::currentThreadId()));
        }
        LumoPlayerStop(player);
        LumoPlayerClose(player);
    }

    // Several openers of one owner answer each their own open, in the order they finish.
    void openersAnswerEachTheirOwn() {
        QObject owner;
        PlayerOpener first(&owner), second(&owner);
        void* a = NewPlayer();
        void* b = NewPlayer();
        QList<void*> order;
        first.Open(a, ListOf(slowClip), [&order](void* p, int rc) { if (rc == 0) order << p; });
        QTRY_COMPARE_WITH_TIMEOUT(Waiting(), 1, 15000);
        second.Open(b, ListOf(clip), [&order](void* p, int rc) { if (rc == 0) order << p; });
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 1, 15000);
        LetGo();
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 2, 15000);
        QCOMPARE(order, (QList<void*>{b, a}));
        for (void* p : {a, b}) {
            QCOMPARE(StateOf(p), int(LUMO_STATE_OPEN));
            LumoPlayerClose(p);
        }
    }

    // A give-up while the open runs (a newer open, a cancel, the owner's end) or after it ended
    // with its answer still on the way: no answer, and the player is closed.
    void givenUpOpenClosesItsPlayer_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("afterFinish");
        for (bool after : {false, true}) {
            const char* when = after ? "answer posted" : "open running";
            QTest::newRow(qPrintable(QString("newer open, %1").arg(when))) << "newer" << after;
            QTest::newRow(qPrintable(QString("cancel, %1").arg(when))) << "cancel" << after;
            QTest::newRow(qPrintable(QString("owner gone, %1").arg(when))) << "owner" << after;
        }
    }
    void givenUpOpenClosesItsPlayer() {
        QFETCH(QString, how);
        QFETCH(bool, afterFinish);
        auto owner = std::make_unique<QObject>();
        auto opener = std::make_unique<PlayerOpener>(owner.get());
        void* late = NewPlayer();
        void* newer = NewPlayer();
        QList<Answer> answers;
        const auto note = [&answers](void* p, int rc) { answers << Answer{p, rc, QThread::currentThreadId()}; };
        opener->Open(late, ListOf(slowClip), note);
        QTRY_COMPARE_WITH_TIMEOUT(Waiting(), 1, 15000);
        if (afterFinish) {
            LetGo();
            QVERIFY(WorkersDone());  // answered, but the answer waits in the event queue
            QCOMPARE(StateOf(late), int(LUMO_STATE_OPEN));
        }
        if (how == "newer") {
            opener->Open(newer, ListOf(clip), note);
        } else if (how == "cancel") {
            opener->Cancel();
            QVERIFY(!opener->Pending());
        } else {
            opener.reset();  // the owner's end: its opener goes with it, then the owner
            owner.reset();
        }
        LetGo();
        QVERIFY(WorkersDone());
        QCoreApplication::processEvents();
        if (how == "newer") {
            QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 15000);
            QCOMPARE(answers[0].player, newer);
            QCOMPARE(answers[0].result, int(LUMO_OK));
        }
        for (const Answer& a : answers) QVERIFY(a.player != late);
        QCOMPARE(StateOf(late), 0);  // stopped and closed: nothing open
        LumoPlayerClose(late);
        LumoPlayerClose(newer);
    }
};

QTEST_MAIN(TestPlayerOpener)
#include "tst_playeropener.moc"
