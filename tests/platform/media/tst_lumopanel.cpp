// The panel's player table: handles, views, the selection, and volume and play mode reaching the
// view's player now and the one registered later; lookups from other threads while it changes.
#include <QtTest>
#include <atomic>
#include <thread>
#include <vector>

#include "LumoCore/LumoCore.h"
#include "LumoPanel/LumoPanel.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "mediafixture.h"

using namespace mediafixture;

class TestLumoPanel : public QObject {
    Q_OBJECT

    QWidget* host = nullptr;
    INFRA::VideoDisplayPanel* display = nullptr;
    void* panel = nullptr;
    void* players[3] = {};

private slots:
    void init() {
        host = new QWidget();
        display = new INFRA::VideoDisplayPanel(host);
        display->SetGridLayout(2, 2);
        QCOMPARE(LumoPanelCreate(&panel, display), 0);
        QVERIFY(panel);
        for (void*& p : players) QCOMPARE(LumoPlayerCreate(&p, nullptr, nullptr), 0);
    }

    void cleanup() {
        LumoPanelDestroy(panel);
        for (void* p : players) LumoPlayerClose(p);
        delete host;
    }

    void nullAndDestroyedHandlesFail() {
        void* dead = nullptr;
        QCOMPARE(LumoPanelCreate(&dead, display), 0);
        QCOMPARE(LumoPanelDestroy(dead), 0);
        for (void* h : {static_cast<void*>(nullptr), dead}) {
            void* got = players[0];
            int value = 0;
            QCOMPARE(LumoPanelViewSetPlayer(h, 0, players[0]), int(LUMO_ERR_PARAM));
            QCOMPARE(LumoPanelViewGetPlayer(h, 0, &got), int(LUMO_ERR_PARAM));
            QVERIFY(!got);
            QCOMPARE(LumoPanelFindView(h, players[0]), int(LUMO_ERR_PARAM));
            QCOMPARE(LumoPanelGetSelectView(h), int(LUMO_ERR_PARAM));
            QCOMPARE(LumoPanelSetSelectView(h, 1), int(LUMO_ERR_PARAM));
            QCOMPARE(LumoPanelSetVolume(h, 0, 10), int(LUMO_ERR_PARAM));
            QCOMPARE(LumoPanelGetVolume(h, 0, &value), int(LUMO_ERR_PARAM));
            QCOMPARE(LumoPanelSetFilePlayMode(h, 0, 1), int(LUMO_ERR_PARAM));
            QCOMPARE(LumoPanelGetFilePlayMode(h, 0, &value), int(LUMO_ERR_PARAM));
            QCOMPARE(LumoPanelSetSize(h, 100, 100), int(LUMO_ERR_PARAM));
            QCOMPARE(LumoPanelDestroy(h), int(LUMO_ERR_PARAM));
        }
        // Nothing reached the player.
        QCOMPARE(PlayerVolume(players[0]), 100);
        QCOMPARE(PlayerMode(players[0]), int(LUMO_PLAYMODE_LIST));
        // A new panel never gets the dead handle's value.
        void* again = nullptr;
        QCOMPARE(LumoPanelCreate(&again, display), 0);
        QVERIFY(again != dead);
        LumoPanelDestroy(again);
        QCOMPARE(LumoPanelCreate(&again, nullptr), int(LUMO_ERR_PARAM));
    }

    void badViewsFail_data() {
        QTest::addColumn<int>("view");
        QTest::newRow("negative") << -1;
        QTest::newRow("one past the last") << int(LUMO_PANEL_VIEWS);
    }
    void badViewsFail() {
        QFETCH(int, view);
        void* got = players[0];
        int value = 0;
        QCOMPARE(LumoPanelViewSetPlayer(panel, view, players[0]), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPanelViewGetPlayer(panel, view, &got), int(LUMO_ERR_PARAM));
        QVERIFY(!got);
        QCOMPARE(LumoPanelSetSelectView(panel, view), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPanelSetVolume(panel, view, 10), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPanelGetVolume(panel, view, &value), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPanelSetFilePlayMode(panel, view, 1), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPanelGetFilePlayMode(panel, view, &value), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPanelFindView(panel, players[0]), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(LumoPanelGetSelectView(panel), 0);
    }

    void viewsKnowTheirPlayers() {
        QCOMPARE(LumoPanelViewSetPlayer(panel, 3, players[0]), 0);
        QCOMPARE(LumoPanelViewSetPlayer(panel, 15, players[1]), 0);
        void* got = nullptr;
        QCOMPARE(LumoPanelViewGetPlayer(panel, 3, &got), 0);
        QCOMPARE(got, players[0]);
        QCOMPARE(LumoPanelViewGetPlayer(panel, 0, &got), 0);
        QVERIFY(!got);
        QCOMPARE(LumoPanelFindView(panel, players[0]), 3);
        QCOMPARE(LumoPanelFindView(panel, players[1]), 15);
        QCOMPARE(LumoPanelFindView(panel, players[2]), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(LumoPanelFindView(panel, nullptr), int(LUMO_ERR_PARAM));
        // Unregistered: its events name no view any more.
        QCOMPARE(LumoPanelViewSetPlayer(panel, 3, nullptr), 0);
        QCOMPARE(LumoPanelFindView(panel, players[0]), int(LUMO_ERR_NOTFOUND));
        // Two panels keep apart.
        void* other = nullptr;
        QCOMPARE(LumoPanelCreate(&other, display), 0);
        QCOMPARE(LumoPanelFindView(other, players[1]), int(LUMO_ERR_NOTFOUND));
        LumoPanelDestroy(other);
    }

    void volumeAndModeReachThePlayerNowAndLater() {
        int value = 0;
        QCOMPARE(LumoPanelGetVolume(panel, 2, &value), int(LUMO_ERR_STATE));
        QCOMPARE(LumoPanelGetFilePlayMode(panel, 2, &value), int(LUMO_ERR_STATE));
        QCOMPARE(LumoPanelViewSetPlayer(panel, 2, players[0]), 0);
        // Nothing set yet: the player keeps its own.
        QCOMPARE(PlayerVolume(players[0]), 100);
        QCOMPARE(PlayerMode(players[0]), int(LUMO_PLAYMODE_LIST));

        QCOMPARE(LumoPanelSetVolume(panel, 2, 30), 0);
        QCOMPARE(LumoPanelSetFilePlayMode(panel, 2, LUMO_PLAYMODE_SINGLE_LOOP), 0);
        QCOMPARE(PlayerVolume(players[0]), 30);
        QCOMPARE(PlayerMode(players[0]), int(LUMO_PLAYMODE_SINGLE_LOOP));
        QCOMPARE(PlayerVolume(players[1]), 100);  // other players untouched

        QCOMPARE(LumoPanelSetVolume(panel, 2, 250), 0);
        QCOMPARE(PlayerVolume(players[0]), 100);
        QCOMPARE(LumoPanelSetVolume(panel, 2, -5), 0);
        QCOMPARE(PlayerVolume(players[0]), 0);
        QCOMPARE(LumoPanelSetFilePlayMode(panel, 2, 4), int(LUMO_ERR_PARAM));
        QCOMPARE(PlayerMode(players[0]), int(LUMO_PLAYMODE_SINGLE_LOOP));

        // The player registered there later gets the view's settings.
        QCOMPARE(LumoPanelViewSetPlayer(panel, 2, players[1]), 0);
        QCOMPARE(PlayerVolume(players[1]), 0);
        QCOMPARE(PlayerMode(players[1]), int(LUMO_PLAYMODE_SINGLE_LOOP));
        QCOMPARE(LumoPanelGetVolume(panel, 2, &value), 0);
        QCOMPARE(value, 0);
        QCOMPARE(LumoPanelGetFilePlayMode(panel, 2, &value), 0);
        QCOMPARE(value, int(LUMO_PLAYMODE_SINGLE_LOOP));
        // A closed player in a view fails the apply harmlessly.
        LumoPlayerClose(players[1]);
        QCOMPARE(LumoPanelSetVolume(panel, 2, 40), 0);
    }

    void selectionFollowsTheDisplay() {
        QCOMPARE(LumoPanelGetSelectView(panel), 0);
        emit display->SignalGridSelected(3);
        QCOMPARE(LumoPanelGetSelectView(panel), 3);
        QCOMPARE(LumoPanelSetSelectView(panel, 1), 0);
        QCOMPARE(LumoPanelGetSelectView(panel), 1);
        // A destroyed panel ignores the display.
        void* gone = panel;
        LumoPanelDestroy(gone);
        emit display->SignalGridSelected(2);
        QCOMPARE(LumoPanelGetSelectView(gone), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoPanelCreate(&panel, display), 0);
    }

    void sizeGoesToTheDisplayWhileItLives() {
        QCOMPARE(LumoPanelSetSize(panel, 320, 200), 0);
        QCOMPARE(display->size(), QSize(320, 200));
        QCOMPARE(LumoPanelSetSize(panel, -1, 200), int(LUMO_ERR_PARAM));
        delete display;
        display = nullptr;
        QCOMPARE(LumoPanelSetSize(panel, 320, 200), int(LUMO_ERR_STATE));
        // The table outlives the widget.
        QCOMPARE(LumoPanelViewSetPlayer(panel, 1, players[2]), 0);
        QCOMPARE(LumoPanelFindView(panel, players[2]), 1);
    }

    // Event threads look players up while the GUI thread registers and unregisters them.
    void lookupsFromOtherThreads() {
        std::atomic<bool> stop{false};
        std::atomic<int> wrong{0};
        std::vector<std::thread> readers;
        for (int i = 0; i < 4; ++i)
            readers.emplace_back([&, i] {
                while (!stop) {
                    const int v = LumoPanelFindView(panel, players[i % 2]);
                    if (v != LUMO_ERR_NOTFOUND && v != 4 + i % 2) wrong++;
                    void* p = nullptr;
                    LumoPanelViewGetPlayer(panel, 4, &p);
                    if (p && p != players[0]) wrong++;
                }
            });
        for (int round = 0; round < 2000; ++round) {
            LumoPanelViewSetPlayer(panel, 4, round % 2 ? players[0] : nullptr);
            LumoPanelViewSetPlayer(panel, 5, round % 3 ? players[1] : nullptr);
            LumoPanelSetVolume(panel, 4, round % 100);
        }
        stop = true;
        for (auto& t : readers) t.join();
        QCOMPARE(wrong.load(), 0);
    }
};

QTEST_MAIN(TestLumoPanel)
#include "tst_lumopanel.moc"
