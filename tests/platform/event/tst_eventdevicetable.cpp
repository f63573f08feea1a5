// The engine's device table by itself: a name online elsewhere is refused, the device limit
// counts online rows only, a device that comes back takes its row, and offline rows are kept up
// to a limit with the oldest going first.
#include <QtTest>

#include "eventengine.h"

using lumose::EngineParams;
using lumose::EventEngine;

class TestEventDeviceTable : public QObject {
    Q_OBJECT

private slots:
    void rows() {
        EventEngine e{EngineParams()};
        QCOMPARE(e.TakeRow("a", "10.0.0.1", 0, 2), 0);
        QCOMPARE(e.TakeRow("a", "10.0.0.2", 0, 2), 1);  // online elsewhere
        QCOMPARE(e.TakeRow("b", "10.0.0.3", 1, 2), 0);
        QCOMPARE(e.TakeRow("c", "10.0.0.4", 1, 2), 2);  // over the limit
        e.SetOffline("a");
        QCOMPARE(e.OnlineCount(), 1);
        QCOMPARE(e.TakeRow("c", "10.0.0.4", 1, 2), 0);  // the offline row does not count
        e.SetOffline("c");
        QCOMPARE(e.TakeRow("a", "10.0.0.9", 2, 2), 0);  // back, in its own row
        const auto rows = e.Devices();
        QCOMPARE(int(rows.size()), 3);
        QCOMPARE(rows[0].name, std::string("a"));
        QCOMPARE(rows[0].ip, std::string("10.0.0.9"));
        QCOMPARE(rows[0].type, 2);
        QVERIFY(rows[0].online);
    }

    void offlineRowsAreBounded() {
        EventEngine e{EngineParams()};
        QCOMPARE(e.TakeRow("online", "10.0.0.1", 0, 65535), 0);
        for (int i = 0; i < 1100; ++i) {
            const QString name = QStringLiteral("dev-%1").arg(i);
            QCOMPARE(e.TakeRow(name, "10.0.0.2", 0, 65535), 0);
            e.SetOffline(name);
        }
        const auto rows = e.Devices();
        QCOMPARE(int(rows.size()), 1 + 1024);
        // The online row stays; the oldest offline ones went.
        QCOMPARE(rows.front().name, std::string("online"));
        QCOMPARE(rows[1].name, std::string("dev-76"));
        QCOMPARE(rows.back().name, std::string("dev-1099"));
    }
};

QTEST_GUILESS_MAIN(TestEventDeviceTable)
#include "tst_eventdevicetable.moc"
