// The play controller over real players on generated files: the speed ladder, the play lists,
// several views playing at once with their events found through the panel, failed streams and
// failed opens leaving their view empty, and sound and list mode reaching the playing view.
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <condition_variable>
#include <mutex>

#include "LumoCore/LumoCore.h"
#include "LumoCore/playeropener.h"
#include "LumoPanel/LumoPanel.h"
#include "LumoRecord/LumoRecord.h"
#include "../../platform/media/mediafixture.h"
#include "player/playcontroler.h"
#include "testsupport.h"

using namespace mediafixture;

namespace {

// What the main window's player callback sees: each event with the view the panel names for its
// sender, looked up on the player's thread.
struct Events : CLumoObject {
    CPlayControler* ctl = nullptr;
    std::mutex m;
    struct Event {
        int code;
        int view;
        QString text;
        int result;
    };
    QList<Event> list;

    QList<Event> Of(int code) {
        std::lock_guard<std::mutex> lock(m);
        QList<Event> out;
        for (const Event& e : list)
            if (e.code == code) out << e;
        return out;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m);
        list.clear();
    }
};

int OnEvent(CLumoObject* owner, int code, void* sender, void* p1, void*) {
    auto* ev = static_cast<Events*>(owner);
    if (!sender) return 0;
    Events::Event e{code, ev->ctl->GetViewOfPlayer(sender), QString(), 0};
    if (code == LUMO_EVENT_NEXT_FILE && p1) e.text = QString::fromUtf8(static_cast<const CLumoFileDesc*>(p1)->GetURI());
    if (code == LUMO_EVENT_LOGIN && p1) {
        e.text = QString::fromUtf8(static_cast<const LumoLoginEvent*>(p1)->url);
        e.result = static_cast<const LumoLoginEvent*>(p1)->result;
    }
    std::lock_guard<std::mutex> lock(ev->m);
    ev->list << e;
    return 0;
}


// Holds every file open at the media library's seam while set, as a slow source would; notes the
// threads the opens ran on.
struct OpenGate {
    static std::mutex& M() {
        static std::mutex m;
        return m;
    }
    static std::condition_variable& Cv() {
        static std::condition_variable cv;
        return cv;
    }
    static bool& Holding() {  // guarded by M()
        static bool on = false;
        return on;
    }
    static int& Waiting() {  // guarded by M()
        static int n = 0;
        return n;
    }
    static QSet<Qt::HANDLE>& Threads() {  // guarded by M()
        static QSet<Qt::HANDLE> t;
        return t;
    }
    static void Hook(const char*) {
        std::unique_lock<std::mutex> lock(M());
        Threads().insert(QThread::currentThreadId());
        ++Waiting();
        Cv().wait(lock, [] { return !Holding(); });
    }
    static void Hold(bool on) {
        {
            std::lock_guard<std::mutex> lock(M());
            Holding() = on;
            if (on) Waiting() = 0;
        }
        Cv().notify_all();
    }
    // Opens that reached the seam since the hold began.
    static int Held() {
        std::lock_guard<std::mutex> lock(M());
        return Waiting();
    }
    static bool OnThread(Qt::HANDLE t) {
        std::lock_guard<std::mutex> lock(M());
        return Threads().contains(t);
    }
};

int StateOf(CPlayControler& ctl, int view) {
    int s = 0;
    ctl.GetState(nullptr, view, &s);
    return s;
}

bool Playing(CPlayControler& ctl, int view) {
    return (StateOf(ctl, view) & (LUMO_STATE_OPEN | LUMO_STATE_END)) == LUMO_STATE_OPEN;
}


int64_t OffsetMs(CPlayControler& ctl, int view, const CLumoTime& start) {
    CLumoTime now;
    if (ctl.GetPlaybackTime(nullptr, view, &now) != 0) return -1;
    return CLumoTime::GetTimeSpan(now, start);
}

}  // namespace

class TestPlayControler : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString a, b, c;  // 1 s, 1 s, 6 s
    QWidget* host = nullptr;
    CPlayControler* ctl = nullptr;
    Events events;
    ILumoCallback* callback = nullptr;

    QString P(const QString& name) const { return dir.filePath(name); }

    CLumoFile* File(const QString& path) {
        CLumoFile* f = nullptr;
        ctl->FindFile("list", FilerUri(path).toUtf8().constData(), &f);
        return f;
    }

    // A stream entry of the list for url.
    CLumoFile* StreamEntry(const QString& url) {
        CLumoFileDesc d;
        d.SetURI(url.toUtf8().constData());
        CLumoFile* f = nullptr;
        if (ctl->AddFileDesc("list", &d, &f) == LUMO_ERR_EXISTS) ctl->FindFile("list", url.toUtf8().constData(), &f);
        return f;
    }

    // Plays and waits for the open's answer: the result of the play as a whole.
    int PlayOn(CPlayControler& on, int view, CLumoFile* file) {
        int answer = 1;
        const int r = on.PlayFile(on.GetPanelHandle(), view, file, callback, &ILumoCallback::OnSignal,
                                  [&answer](int result) { answer = result; });
        if (r != 0) return r;
        if (!vt::WaitUntil([&answer] { return answer != 1; }, 30000)) return 1;
        return answer;
    }
    int Play(int view, const QString& path) { return PlayOn(*ctl, view, File(path)); }

    void ExpectEmpty(int view) {
        QVERIFY(!ctl->GetPlayer(view));
        CLumoFile* f = reinterpret_cast<CLumoFile*>(1);
        QCOMPARE(ctl->GetViewFile(nullptr, view, &f), 0);
        QVERIFY(!f);
        CLumoString url("x");
        QCOMPARE(ctl->GetViewUrl(nullptr, view, &url), 0);
        QVERIFY(url.IsEmpty());
        void* registered = reinterpret_cast<void*>(1);
        QCOMPARE(LumoPanelViewGetPlayer(ctl->GetPanelHandle(), view, &registered), 0);
        QVERIFY(!registered);
    }

private slots:
    void initTestCase() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the fixtures");
        QVERIFY(dir.isValid());
        a = P("a.mp4");
        b = P("b.mp4");
        c = P("c.mp4");
        QVERIFY(Ffmpeg(Source(1, "160x120") + H264() + Aac(), a));
        QVERIFY(Ffmpeg(Source(1, "160x120") + H264() + Aac(), b));
        QVERIFY(Ffmpeg(Source(6, "160x120") + H264() + Aac(), c));
        LumoCoreSetTimeouts(1500, 1500);
        host = new QWidget();
        host->resize(640, 480);
        ctl = new CPlayControler();
        events.ctl = ctl;
        callback = new ILumoCallback(&events, &OnEvent);
        QCOMPARE(ctl->CoreInitialize(), 0);
        QCOMPARE(ctl->CreatePanel(host, 2, 2, QString()), 0);
        QVERIFY(ctl->GetPanelHandle());
        QCOMPARE(ctl->CreatePlayList("list", 100), 0);
        QCOMPARE(ctl->SelectPlayList("list"), 0);
        QCOMPARE(ctl->SetPlayMode(ctl->GetPanelHandle(), 1, LUMO_PLAYMODE_LIST), 0);
        CLumoFileDescList descs(1);
        for (const QString& p : {a, b, c}) descs.Append(Desc(FilerUri(p)));
        LumoRecordGetFileDesc(&descs);
        // Apart in time, so that a record time names one file of the list.
        const CLumoTime base = CLumoTime::Now();
        const int startsS[] = {0, 10, 20}, lengthsS[] = {1, 1, 6};
        for (int i = 0; i < 3; ++i) {
            CLumoTime s = base, e = base;
            s.Add(int64_t(startsS[i]) * 1000);
            e.Add(int64_t(startsS[i] + lengthsS[i]) * 1000);
            descs.GetAt(i)->SetTimeS(s);
            descs.GetAt(i)->SetTimeE(e);
        }
        std::vector<CLumoFile*> added;
        QCOMPARE(ctl->AddFileDescs("list", &descs, &added), 0);
        QCOMPARE(int(added.size()), 3);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host));
    }

    void cleanupTestCase() {
        if (ctl) {
            ctl->DestroyPanel();
            ctl->CoreInvalidate();
        }
        delete ctl;
        delete callback;
        delete host;
    }

    void cleanup() {
        if (ctl) ctl->StopAllViews();
        events.Clear();
    }

    // ---- speed

    void speedLadder_data() {
        QTest::addColumn<int>("from");  // reached from 1 by SpeedUp (> 1) or SlowDown (< 0)
        QTest::addColumn<bool>("up");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("code");
        const int codes[] = {-16, -8, -4, -2, 1, 2, 4, 8, 16};
        const int ups[] = {-8, -4, -2, 1, 2, 4, 8, 16, 0};
        const int downs[] = {0, -16, -8, -4, -2, 1, 2, 4, 8};
        for (int i = 0; i < 9; ++i) {
            const int from = codes[i];
            QTest::addRow("%d up", from) << from << true << (ups[i] ? 0 : int(LUMO_ERR_FAIL)) << (ups[i] ? ups[i] : from);
            QTest::addRow("%d down", from) << from << false << (downs[i] ? 0 : int(LUMO_ERR_FAIL))
                                           << (downs[i] ? downs[i] : from);
        }
    }
    void speedLadder() {
        QFETCH(int, from);
        QFETCH(bool, up);
        QFETCH(int, result);
        QFETCH(int, code);
        const int view = 6;
        QCOMPARE(Play(view, c), 0);
        int got = 0;
        while (ctl->GetSpeed(nullptr, view, &got) == 0 && got != from)
            QCOMPARE(from > 1 ? ctl->SpeedUp(nullptr, view, &got) : ctl->SlowDown(nullptr, view, &got), 0);
        got = 12345;
        QCOMPARE(up ? ctl->SpeedUp(nullptr, view, &got) : ctl->SlowDown(nullptr, view, &got), result);
        if (result == 0) QCOMPARE(got, code);
        QCOMPARE(ctl->GetSpeed(nullptr, view, &got), 0);
        QCOMPARE(got, code);
        // The view's player runs at the kept code.
        QCOMPARE(LumoPlayerGetSpeed(ctl->GetPlayer(view), &got), 0);
        QCOMPARE(got, code);
        QCOMPARE(ctl->ResetSpeed(nullptr, view), 0);
        QCOMPARE(ctl->GetSpeed(nullptr, view, &got), 0);
        QCOMPARE(got, 1);
    }

    void speedResets() {
        int got = 0;
        // PlayFile keeps the view's code and gives it to the new player.
        QCOMPARE(ctl->SpeedUp(nullptr, 2, &got), 0);
        QCOMPARE(Play(2, c), 0);
        QCOMPARE(ctl->GetSpeed(nullptr, 2, &got), 0);
        QCOMPARE(got, 2);
        QCOMPARE(LumoPlayerGetSpeed(ctl->GetPlayer(2), &got), 0);
        QCOMPARE(got, 2);
        // StopView resets it.
        QCOMPARE(ctl->StopView(nullptr, 2), 0);
        QCOMPARE(ctl->GetSpeed(nullptr, 2, &got), 0);
        QCOMPARE(got, 1);
        // So does PlayUrl.
        QCOMPARE(ctl->SlowDown(nullptr, 2, &got), 0);
        QCOMPARE(ctl->PlayUrl(nullptr, 2, StreamEntry(QString("quii://127.0.0.1:%1/mode=real&idc=1&ids=1").arg(closedPort)),
                              callback, &ILumoCallback::OnSignal),
                 0);
        QCOMPARE(ctl->GetSpeed(nullptr, 2, &got), 0);
        QCOMPARE(got, 1);
    }

    // ---- lists

    void playLists() {
        CPlayControler own;
        QCOMPARE(own.SelectPlayList("x"), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(own.CreatePlayList("x", 100), 0);
        CLumoPlayFileList* first = own.FindPlayList("x");
        QVERIFY(first);
        QCOMPARE(own.CreatePlayList("y", 100), int(LUMO_ERR_EXISTS));
        QCOMPARE(own.FindPlayList("x"), first);
        QVERIFY(!own.FindPlayList("y"));
        QCOMPARE(own.SelectPlayList("x"), 0);
        std::vector<std::string> names;
        QCOMPARE(own.ListPlayListNames(&names), 0);
        QCOMPARE(names, std::vector<std::string>{"x"});

        CLumoFileDesc d;
        d.SetURI(FilerUri(a).toUtf8().constData());
        CLumoFile* added = nullptr;
        QCOMPARE(own.AddFileDesc("x", &d, &added), 0);
        QVERIFY(added);
        CLumoFile* again = reinterpret_cast<CLumoFile*>(1);
        QCOMPARE(own.AddFileDesc("x", &d, &again), int(LUMO_ERR_EXISTS));
        QVERIFY(!again);
        QCOMPARE(first->GetCount(), 1);
        QCOMPARE(own.AddFileDesc("x", nullptr, &again), int(LUMO_ERR_PARAM));
        CLumoFile* found = nullptr;
        QCOMPARE(own.FindFile("x", added->url.c_str(), &found), 0);
        QCOMPARE(found, added);
        QCOMPARE(own.FindFile("x", "filer://local/type=rec&format=mp4&filename=/none.mp4", &found),
                 int(LUMO_ERR_NOTFOUND));
        QVERIFY(!found);

        // A list that is not there.
        CLumoFileDescList descs(1);
        CLumoPlayFileList source("s", 10, false);
        QCOMPARE(own.AddFileDesc("z", &d, &again), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(own.AddFileDescs("z", &descs, nullptr), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(own.AddPlayListFiles("z", &source, nullptr), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(own.ClearPlayList("z"), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(own.RemoveFile("z", added), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(own.FindFile("z", added->url.c_str(), &found), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(own.AddFileDescs("x", nullptr, nullptr), int(LUMO_ERR_PARAM));
        QCOMPARE(own.AddPlayListFiles("x", nullptr, nullptr), int(LUMO_ERR_PARAM));

        // A cleared list leaves no view holding a freed file.
        own.InitViews(4);
        // A file taken out of the list leaves the view that held it, and goes to the caller.
        CLumoFileDesc d2;
        d2.SetURI(FilerUri(b).toUtf8().constData());
        CLumoFile* taken = nullptr;
        QCOMPARE(own.AddFileDesc("x", &d2, &taken), 0);
        QCOMPARE(own.SetViewFile(nullptr, 2, taken), 0);
        QCOMPARE(own.RemoveFile("x", taken), 0);
        CLumoFile* held = taken;
        QCOMPARE(own.GetViewFile(nullptr, 2, &held), 0);
        QVERIFY(!held);
        QVERIFY(!taken->GetList());
        delete taken;
        QCOMPARE(own.RemoveFile("x", nullptr), 0);
        QCOMPARE(own.SetViewFile(nullptr, 1, added), 0);
        QCOMPARE(own.ClearPlayList("x"), 0);
        held = added;
        QCOMPARE(own.GetViewFile(nullptr, 1, &held), 0);
        QVERIFY(!held);
        // Without a panel a view cannot play.
        CLumoFile entry;
        entry.SetUrl(FilerUri(a).toStdString());
        QCOMPARE(own.PlayFile(nullptr, 0, &entry, callback, &ILumoCallback::OnSignal), int(LUMO_ERR_STATE));
    }

    void badViews_data() {
        QTest::addColumn<int>("view");
        QTest::newRow("negative") << -1;
        QTest::newRow("one past the last") << 16;
    }
    void badViews() {
        QFETCH(int, view);
        CLumoFile* f = nullptr;
        CLumoString url;
        int code = 0;
        QCOMPARE(ctl->GetViewFile(nullptr, view, &f), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->SetViewFile(nullptr, view, File(a)), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->GetViewUrl(nullptr, view, &url), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->SetViewUrl(nullptr, view, CLumoString("x")), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->GetSpeed(nullptr, view, &code), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->SpeedUp(nullptr, view, &code), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->SlowDown(nullptr, view, &code), int(LUMO_ERR_PARAM));
        QCOMPARE(Play(view, a), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->PlayUrl(nullptr, view, File(a), callback, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->StopView(nullptr, view), int(LUMO_ERR_FAIL));
        QVERIFY(ctl->GetState(nullptr, view, &code) != 0);
        QCOMPARE(code, 0);
        // Null files and entries.
        QCOMPARE(ctl->PlayFile(nullptr, 0, nullptr, callback, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->PlayUrl(nullptr, 0, nullptr, callback, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->SeekFile(nullptr, 0, nullptr), int(LUMO_ERR_FAIL));
    }

    // ---- views

    void severalViewsPlayAndEventsFindTheirView() {
        QCOMPARE(Play(0, a), 0);  // a, then b and c: next-file events
        QCOMPARE(Play(3, c), 0);  // the last and long file: none
        QVERIFY(ctl->GetPlayer(0) && ctl->GetPlayer(3) && ctl->GetPlayer(0) != ctl->GetPlayer(3));
        QCOMPARE(ctl->GetViewOfPlayer(ctl->GetPlayer(0)), 0);
        QCOMPARE(ctl->GetViewOfPlayer(ctl->GetPlayer(3)), 3);
        CLumoFile* f = nullptr;
        QCOMPARE(ctl->GetViewFile(nullptr, 3, &f), 0);
        QCOMPARE(f, File(c));
        CLumoString url;
        QCOMPARE(ctl->GetViewUrl(nullptr, 3, &url), 0);
        QCOMPARE(url.Str(), File(c)->url);

        // Each view's events carry its own files: view 0 goes on through b and c; view 3 at most
        // reports the jump to c when its start had opened the head first.
        auto textsOf = [&](int view) {
            QStringList out;
            for (const auto& e : events.Of(LUMO_EVENT_NEXT_FILE))
                if (e.view == view) out << e.text;
            return out;
        };
        QTRY_VERIFY_WITH_TIMEOUT(textsOf(0).size() >= 2, 15000);
        QCOMPARE(textsOf(0).mid(0, 2),
                 (QStringList{QString::fromStdString(File(b)->url), QString::fromStdString(File(c)->url)}));
        for (const QString& t : textsOf(3)) QCOMPARE(t, QString::fromStdString(File(c)->url));
        for (const auto& e : events.Of(LUMO_EVENT_NEXT_FILE)) QVERIFY(e.view == 0 || e.view == 3);
        QVERIFY(Playing(*ctl, 3));

        // Seek in view 3, then a frame step holds it paused a frame further.
        const CLumoTime start = File(c)->timeS;
        CLumoTime t = start;
        t.Add(3000);
        QCOMPARE(ctl->SeekTime(nullptr, 3, &t), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!(StateOf(*ctl, 3) & LUMO_STATE_BUSY) && OffsetMs(*ctl, 3, start) >= 3000, 15000);
        QCOMPARE(ctl->Pause(nullptr, 3), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!(StateOf(*ctl, 3) & LUMO_STATE_BUSY), 15000);
        const int64_t held = OffsetMs(*ctl, 3, start);
        ctl->Step(nullptr, 3);
        QTRY_VERIFY_WITH_TIMEOUT(OffsetMs(*ctl, 3, start) > held, 15000);
        QVERIFY(StateOf(*ctl, 3) & LUMO_STATE_PAUSED);
        QCOMPARE(ctl->Resume(nullptr, 3), 0);

        // Switching view 3 to another file of the list is that view's next-file event.
        events.Clear();
        QCOMPARE(ctl->SeekFile(nullptr, 3, File(a)), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!events.Of(LUMO_EVENT_NEXT_FILE).isEmpty(), 15000);
        QCOMPARE(events.Of(LUMO_EVENT_NEXT_FILE)[0].view, 3);
        QCOMPARE(events.Of(LUMO_EVENT_NEXT_FILE)[0].text, QString::fromStdString(File(a)->url));

        // Closing a view ends its player and empties it; the other views are not touched.
        QCOMPARE(Play(1, c), 0);
        void* closing = ctl->GetPlayer(3);
        QCOMPARE(ctl->StopView(nullptr, 3), 0);
        ExpectEmpty(3);
        QVERIFY(ctl->GetViewOfPlayer(closing) < 0);
        int s = -1;
        LumoPlayerGetState(closing, &s);
        QCOMPARE(s, 0);
        QVERIFY(Playing(*ctl, 1));
    }

    void failedStreamLeavesTheOtherViewsPlaying_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("rtsp, closed port") << QString("rtsp://127.0.0.1:%1/live").arg(closedPort);
        QTest::newRow("protocol we do not have") << QString("quii://127.0.0.1:%1/mode=real&idc=1&ids=1").arg(closedPort);
    }
    void failedStreamLeavesTheOtherViewsPlaying() {
        QFETCH(QString, url);
        QCOMPARE(ctl->SetPlayMode(ctl->GetPanelHandle(), 1, LUMO_PLAYMODE_SINGLE_LOOP), 0);
        QCOMPARE(Play(0, c), 0);
        QCOMPARE(Play(2, a), 0);
        CLumoFile* entry = StreamEntry(url);
        QVERIFY(entry);
        QCOMPARE(entry->type, uint16_t(CLumoFile::TYPE_STREAM));
        QCOMPARE(ctl->PlayUrl(ctl->GetPanelHandle(), 1, entry, callback, &ILumoCallback::OnSignal), 0);
        CLumoFile* f = nullptr;
        QCOMPARE(ctl->GetViewFile(nullptr, 1, &f), 0);
        QCOMPARE(f, entry);
        // The login report names view 1, as the main window needs to close the right view.
        QTRY_VERIFY_WITH_TIMEOUT(!events.Of(LUMO_EVENT_LOGIN).isEmpty(), 15000);
        const auto login = events.Of(LUMO_EVENT_LOGIN)[0];
        QCOMPARE(login.view, 1);
        QVERIFY(login.result != 0);
        QCOMPARE(login.text, url);
        QTRY_VERIFY_WITH_TIMEOUT(StateOf(*ctl, 1) & LUMO_STATE_END, 15000);
        QCOMPARE(ctl->StopView(nullptr, 1), 0);
        ExpectEmpty(1);
        QVERIFY(Playing(*ctl, 0));
        QVERIFY(Playing(*ctl, 2));
        QCOMPARE(ctl->SetPlayMode(ctl->GetPanelHandle(), 1, LUMO_PLAYMODE_LIST), 0);
    }

    void playUrlThatCannotOpenLeavesTheViewEmpty() {
        QCOMPARE(Play(4, c), 0);
        void* old = ctl->GetPlayer(4);
        CLumoFile bad;  // no address at all
        QCOMPARE(ctl->PlayUrl(nullptr, 4, &bad, callback, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
        ExpectEmpty(4);
        int s = -1;
        LumoPlayerGetState(old, &s);
        QCOMPARE(s, 0);  // the previous player was ended, not left running
        QVERIFY(ctl->GetViewOfPlayer(old) < 0);
    }

    void playFileThatCannotOpenLeavesTheViewEmpty() {
        CPlayControler own;
        QWidget parent;
        QCOMPARE(own.CreatePanel(&parent, 2, 2, QString()), 0);
        QCOMPARE(own.CreatePlayList("x", 100), 0);
        QCOMPARE(own.SelectPlayList("x"), 0);
        CLumoFileDesc missing, good, stream;
        missing.SetURI(FilerUri(P("missing.mp4")).toUtf8().constData());
        good.SetURI(FilerUri(a).toUtf8().constData());
        stream.SetURI("quii://127.0.0.1:1/mode=real&idc=1&ids=1");
        CLumoFile* streamEntry = nullptr;
        QCOMPARE(own.AddFileDesc("x", &stream, &streamEntry), 0);
        // Only a stream entry: no record file to open.
        QCOMPARE(own.PlayFile(nullptr, 0, streamEntry, callback, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
        QVERIFY(!own.GetPlayer(0));
        // The head file of the list is missing: the open fails and nothing stays behind.
        CLumoFile* m = nullptr;
        CLumoFile* g = nullptr;
        QCOMPARE(own.AddFileDesc("x", &missing, &m), 0);
        QCOMPARE(own.AddFileDesc("x", &good, &g), 0);
        QCOMPARE(PlayOn(own, 1, g), int(LUMO_ERR_NOTFOUND));
        QVERIFY(!own.GetPlayer(1));
        CLumoFile* f = g;
        QCOMPARE(own.GetViewFile(nullptr, 1, &f), 0);
        QVERIFY(!f);
        void* registered = reinterpret_cast<void*>(1);
        QCOMPARE(LumoPanelViewGetPlayer(own.GetPanelHandle(), 1, &registered), 0);
        QVERIFY(!registered);
        // A good list afterwards plays in the same view.
        QCOMPARE(own.RemoveFile("x", m), 0);
        delete m;
        QCOMPARE(PlayOn(own, 1, g), 0);
        void* playing = own.GetPlayer(1);
        QVERIFY(playing);
        // Destroying the panel ends the players first and forgets the panel handle.
        void* handle = own.GetPanelHandle();
        QCOMPARE(own.DestroyPanel(), 0);
        int s = -1;
        LumoPlayerGetState(playing, &s);
        QCOMPARE(s, 0);
        QVERIFY(!own.GetPanelHandle());
        QVERIFY(!own.GetPanel());
        QCOMPARE(LumoPanelFindView(handle, playing), int(LUMO_ERR_PARAM));
    }

    // ---- sound and modes

    void volumeAndMuteReachTheSelectedPlayingView() {
        void* panel = ctl->GetPanelHandle();
        ctl->SetVolume(panel, 50);
        QCOMPARE(Play(0, c), 0);
        QCOMPARE(Play(1, c), 0);
        QCOMPARE(PlayerVolume(ctl->GetPlayer(0)), 50);
        emit ctl->GetPanel()->SignalGridSelected(1);
        QCOMPARE(ctl->GetSelectedView(panel), 1);
        QCOMPARE(LumoPanelGetSelectView(panel), 1);
        ctl->SetVolume(panel, 30);
        QCOMPARE(PlayerVolume(ctl->GetPlayer(1)), 30);
        QCOMPARE(PlayerVolume(ctl->GetPlayer(0)), 50);
        ctl->SetMute(panel, true);
        QCOMPARE(PlayerVolume(ctl->GetPlayer(1)), 0);
        // A view opened while muted opens silent; one opened after opens at the volume.
        QCOMPARE(Play(2, c), 0);
        QCOMPARE(PlayerVolume(ctl->GetPlayer(2)), 0);
        ctl->SetMute(panel, false);
        QCOMPARE(PlayerVolume(ctl->GetPlayer(1)), 30);
        ctl->SetVolume(panel, 70);
        QVERIFY(!ctl->GetMute());
        QCOMPARE(PlayerVolume(ctl->GetPlayer(1)), 70);
        QCOMPARE(Play(3, c), 0);
        QCOMPARE(PlayerVolume(ctl->GetPlayer(3)), 70);
        emit ctl->GetPanel()->SignalGridSelected(0);
    }

    void listModeReachesThePlayers() {
        void* panel = ctl->GetPanelHandle();
        QCOMPARE(Play(0, a), 0);
        QCOMPARE(ctl->SetPlayMode(panel, 1, LUMO_PLAYMODE_LIST_LOOP), 0);
        QCOMPARE(PlayerMode(ctl->GetPlayer(0)), int(LUMO_PLAYMODE_LIST_LOOP));
        QCOMPARE(Play(1, a), 0);
        QCOMPARE(PlayerMode(ctl->GetPlayer(1)), int(LUMO_PLAYMODE_LIST_LOOP));
        QCOMPARE(ctl->SetPlayMode(panel, 1, 4), int(LUMO_ERR_PARAM));
        QCOMPARE(ctl->GetListMode(), unsigned(LUMO_PLAYMODE_LIST_LOOP));
        QCOMPARE(PlayerMode(ctl->GetPlayer(0)), int(LUMO_PLAYMODE_LIST_LOOP));
        // Single: the view stops at the end of its file, open and ended, with no next file.
        QCOMPARE(ctl->SetPlayMode(panel, 1, LUMO_PLAYMODE_SINGLE), 0);
        QCOMPARE(Play(2, a), 0);
        QTRY_VERIFY_WITH_TIMEOUT((StateOf(*ctl, 2) & (LUMO_STATE_OPEN | LUMO_STATE_END)) ==
                                     (LUMO_STATE_OPEN | LUMO_STATE_END), 15000);
        for (const auto& e : events.Of(LUMO_EVENT_NEXT_FILE)) QVERIFY(e.view != 2);
        QCOMPARE(ctl->SetPlayMode(panel, 1, LUMO_PLAYMODE_LIST), 0);
    }

    // The program's exit: every view's player ends before the media layer goes.
    void stopAllViewsEndsEveryPlayer() {
        QCOMPARE(Play(0, c), 0);
        QCOMPARE(Play(5, c), 0);
        QCOMPARE(ctl->PlayUrl(nullptr, 7, StreamEntry(QString("rtsp://127.0.0.1:%1/live").arg(closedPort)), callback,
                              &ILumoCallback::OnSignal),
                 0);
        void* players[] = {ctl->GetPlayer(0), ctl->GetPlayer(5), ctl->GetPlayer(7)};
        QCOMPARE(ctl->StopAllViews(), 0);
        for (int v : {0, 5, 7}) ExpectEmpty(v);
        for (void* p : players) {
            LumoPlayerStats stats;
            QCOMPARE(LumoPlayerGetStats(p, &stats), 0);
            QCOMPARE(stats.decodeThreads, 0);
            int s = -1;
            LumoPlayerGetState(p, &s);
            QCOMPARE(s, 0);
        }
    }

    // A file open runs off the GUI thread: while it is held up (a slow source) the GUI's timer
    // keeps ticking and the view shows nothing of it; a newer play of the view gives the held
    // open up (its player is closed, never shown), and the newest answers once let go.
    void guiStaysResponsiveWhileAnOpenBlocks() {
        OpenGate::Hold(true);
        LumoPlayerSetOpenHook(&OpenGate::Hook);
        int ticks = 0;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start();
        QList<int> answers;
        const auto note = [&answers](int r) { answers << r; };
        QCOMPARE(ctl->PlayFile(nullptr, 6, File(c), callback, &ILumoCallback::OnSignal, note), 0);
        QTRY_COMPARE_WITH_TIMEOUT(OpenGate::Held(), 1, 15000);
        QVERIFY(ctl->IsOpening(6));
        // The GUI thread goes on while the open is held.
        const int before = ticks;
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= before + 5, 15000);
        QVERIFY(ctl->IsOpening(6));
        QVERIFY(answers.isEmpty());
        QVERIFY(!ctl->GetPlayer(6));
        QVERIFY(!OpenGate::OnThread(QThread::currentThreadId()));

        // Played again meanwhile: the first open is given up.
        QCOMPARE(ctl->PlayFile(nullptr, 6, File(c), callback, &ILumoCallback::OnSignal, note), 0);
        QTRY_COMPARE_WITH_TIMEOUT(OpenGate::Held(), 2, 15000);
        OpenGate::Hold(false);
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 30000);
        QCOMPARE(answers[0], 0);
        QVERIFY(!ctl->IsOpening(6));
        QTRY_VERIFY_WITH_TIMEOUT(Playing(*ctl, 6), 15000);
        void* registered = nullptr;
        QCOMPARE(LumoPanelViewGetPlayer(ctl->GetPanelHandle(), 6, &registered), 0);
        QCOMPARE(registered, ctl->GetPlayer(6));
        QCOMPARE(answers.size(), 1);

        // A stop of the view while its open is held: no answer, and the view stays empty.
        OpenGate::Hold(true);
        answers.clear();
        QCOMPARE(ctl->PlayFile(nullptr, 6, File(c), callback, &ILumoCallback::OnSignal, note), 0);
        QTRY_COMPARE_WITH_TIMEOUT(OpenGate::Held(), 1, 15000);
        QCOMPARE(ctl->StopView(nullptr, 6), 0);
        QVERIFY(!ctl->IsOpening(6));
        OpenGate::Hold(false);
        QTRY_COMPARE_WITH_TIMEOUT(lumocore::PlayerOpener::Running(), 0, 15000);
        QCoreApplication::processEvents();
        QVERIFY(answers.isEmpty());
        ExpectEmpty(6);
        LumoPlayerSetOpenHook(nullptr);
    }

private:
    quint16 closedPort = [] {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        return s.serverPort();  // closed again when s goes
    }();
};

QTEST_MAIN(TestPlayControler)
#include "tst_playcontroler.moc"
