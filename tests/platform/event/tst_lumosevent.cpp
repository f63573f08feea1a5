// The event engine over loopback with real WebSocket clients: start refusals, the device table
// through register, disconnect and re-register, the callback codes, the device limit, the event
// row limit, the removal of old picture days, and bad messages refused while a good device on
// another socket keeps working.
#include <QtNetwork>
#include <QtSql>
#include <QtTest>
#include <QtWebSockets>
#include <atomic>
#include <mutex>
#include "testsupport.h"

#include "LumoSEvent/LumoSEvent.h"
#include "eventdevice.h"
#include "testsupport.h"

using namespace eventtest;

namespace {

quint16 freePort() {
    return vt::ReservePort();
}

// Records what the engine reports, from the engine's thread.
struct Recorder : CLumoObject {
    std::mutex mutex;
    QList<int> codes;       // guarded by mutex
    QStringList loginText;  // guarded by mutex
    static int Handler(CLumoObject* owner, int code, void*, void* p1, void*) {
        auto* self = static_cast<Recorder*>(owner);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->codes << code;
        if ((code == 2 || code == 3) && p1) {
            // The text is the second pointer-sized field of the record.
            const char* text = reinterpret_cast<const char* const*>(p1)[1];
            self->loginText << QString::number(code) + QLatin1Char(':') + QString::fromUtf8(text);
        }
        return 0;
    }
    int count(int code) {
        std::lock_guard<std::mutex> lock(mutex);
        return codes.count(code);
    }
    QStringList logins() {
        std::lock_guard<std::mutex> lock(mutex);
        return loginText;
    }
};

std::vector<LumoSDTODevice> table(void* h) {
    std::vector<LumoSDTODevice> rows;
    LumoSGetDeviceTable(h, &rows);
    return rows;
}

const LumoSDTODevice* row(const std::vector<LumoSDTODevice>& rows, const char* name) {
    for (const LumoSDTODevice& d : rows)
        if (d.name == name) return &d;
    return nullptr;
}

int eventRows(const QString& dbs, QList<qint64>* ids = nullptr) {
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(QString::fromStdString(LumoSEDatabaseFile(dbs.toUtf8().constData())));
        if (db.open()) {
            QSqlQuery q(db);
            q.exec("SELECT id FROM events ORDER BY id");
            n = 0;
            while (q.next()) {
                ++n;
                if (ids) *ids << q.value(0).toLongLong();
            }
        }
    }
    QSqlDatabase::removeDatabase("check");
    return n;
}

// The engine's mark in each picture day folder it makes.
const char kDayMarker[] = ".lumosevent-day";

bool isRefused(const QJsonObject& reply) {
    return reply.value("msg").toString() == "refused" && !reply.value("reason").toString().isEmpty();
}

}  // namespace

class TestLumoSEvent : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString& name) { return m_dir.filePath(name); }
    void* start(quint16 port, const QString& sub, uint16_t maxDev = 16, uint16_t picDays = 30,
                uint32_t rows = 1000) {
        return LumoSEStart(port, maxDev, picDays, rows, path(sub + "/pic").toUtf8().constData(),
                           path(sub + "/dbs").toUtf8().constData());
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QCOMPARE(LumoSEInitialize(nullptr), 0);
    }
    void cleanup() { LumoSEInvalidate(); }

    void startIsRefused_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("port 0") << 0;
        QTest::newRow("port taken") << 1;
        QTest::newRow("folder under a file") << 2;
    }
    void startIsRefused() {
        QFETCH(int, kind);
        QTcpServer holder;
        quint16 port = vt::ReservePort();
        QString pic = path("ok/pic");
        if (kind == 0) port = 0;
        if (kind == 1) {
            QVERIFY(holder.listen(QHostAddress::AnyIPv4, vt::ReservePort()));
            port = holder.serverPort();
        }
        if (kind == 2) {
            QFile f(path("afile"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            pic = path("afile/pic");
        }
        QVERIFY(
            !LumoSEStart(port, 4, 4, 1000, pic.toUtf8().constData(), path("ok/dbs").toUtf8().constData()));
    }

    void badHandlesAreRefused() {
        Recorder rec;
        ILumoCallback cb(&rec, &Recorder::Handler);
        std::vector<LumoSDTODevice> rows;
        QCOMPARE(LumoSGetDeviceTable(nullptr, &rows), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoSGetDeviceTable(reinterpret_cast<void*>(0x12345), &rows), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoSAttachEventServer(nullptr, &cb, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoSDetachEventServer(nullptr, &cb, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
        const quint16 port = vt::ReservePort();
        void* h = start(port, "handles");
        QVERIFY(h);
        QCOMPARE(LumoSGetDeviceTable(h, nullptr), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoSAttachEventServer(h, &cb, &ILumoCallback::OnSignal), 0);
        QCOMPARE(LumoSAttachEventServer(h, &cb, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoSEStop(port), 0);
        // Stopped: the handle is refused, the port is free again, a second stop is refused.
        QCOMPARE(LumoSGetDeviceTable(h, &rows), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoSDetachEventServer(h, &cb, &ILumoCallback::OnSignal), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoSEStop(port), int(LUMO_ERR_PARAM));
        QTcpServer again;
        QVERIFY(again.listen(QHostAddress::AnyIPv4, port));
        QVERIFY(rows.empty());
    }

    void devicesRegisterGoOfflineAndComeBack() {
        const quint16 port = vt::ReservePort();
        void* h = start(port, "table");
        QVERIFY(h);
        Recorder rec;
        ILumoCallback cb(&rec, &Recorder::Handler);
        QCOMPARE(LumoSAttachEventServer(h, &cb, &ILumoCallback::OnSignal), 0);

        auto cam = std::make_unique<Device>(port);
        Device nvr(port);
        QVERIFY(cam->waitConnected() && nvr.waitConnected());
        QCOMPARE(cam->reg("cam-1", 0).value("msg").toString(), QString("registered"));
        QCOMPARE(nvr.reg(QString::fromUtf8("录像机"), 1).value("msg").toString(), QString("registered"));
        auto rows = table(h);
        QCOMPARE(int(rows.size()), 2);
        QVERIFY(row(rows, "cam-1") && row(rows, "cam-1")->online && row(rows, "cam-1")->type == 0);
        QCOMPARE(QString::fromStdString(row(rows, "cam-1")->ip), QString("127.0.0.1"));
        QVERIFY(row(rows, "录像机") && row(rows, "录像机")->type == 1);
        QTRY_COMPARE(rec.count(1), 2);

        cam.reset();  // its socket closes
        QTRY_VERIFY(!row(table(h), "cam-1")->online);
        QTRY_COMPARE(rec.count(1), 3);
        QCOMPARE(int(table(h).size()), 2);  // the offline row stays

        // A second socket may not take a name that is online.
        Device twin(port);
        QVERIFY(twin.waitConnected());
        QVERIFY(isRefused(twin.reg(QString::fromUtf8("录像机"), 1)));
        QVERIFY(twin.waitClosed());

        Device back(port);
        QVERIFY(back.waitConnected());
        QCOMPARE(back.reg("cam-1", 2).value("msg").toString(), QString("registered"));
        rows = table(h);
        QCOMPARE(int(rows.size()), 2);  // its row again, not a new one
        QVERIFY(row(rows, "cam-1")->online && row(rows, "cam-1")->type == 2);
        QCOMPARE(LumoSDetachEventServer(h, &cb, &ILumoCallback::OnSignal), 0);
    }

    void serversBindAndClientsLogIn() {
        const quint16 port = vt::ReservePort();
        void* h = start(port, "codes");
        Recorder rec;
        ILumoCallback cb(&rec, &Recorder::Handler);
        QCOMPARE(LumoSAttachEventServer(h, &cb, &ILumoCallback::OnSignal), 0);
        Device server(port), client(port);
        QVERIFY(server.waitConnected() && client.waitConnected());
        QCOMPARE(server.reg("rec-server", LUMOSE_TYPE_RECORDSERVER).value("msg").toString(),
                 QString("registered"));
        QCOMPARE(client.reg("operator", LUMOSE_TYPE_CLIENT).value("msg").toString(), QString("registered"));
        QTRY_COMPARE(rec.logins(), QStringList({"2:rec-server", "3:operator"}));
        // A client takes no row.
        QCOMPARE(int(table(h).size()), 1);
        QCOMPARE(LumoSDetachEventServer(h, &cb, &ILumoCallback::OnSignal), 0);
    }

    void deviceLimitRefusesTheNext() {
        const quint16 port = vt::ReservePort();
        void* h = start(port, "limit", 2);
        Device a(port), b(port);
        auto c = std::make_unique<Device>(port);
        QVERIFY(a.waitConnected() && b.waitConnected() && c->waitConnected());
        QCOMPARE(a.reg("a").value("msg").toString(), QString("registered"));
        QCOMPARE(b.reg("b").value("msg").toString(), QString("registered"));
        const QJsonObject refused = c->reg("c");
        QVERIFY(isRefused(refused));
        QVERIFY(refused.value("reason").toString().contains("2"));
        QVERIFY(c->waitClosed());
        QCOMPARE(int(table(h).size()), 2);
        // With one gone there is room again.
        b.socket().close();
        QTRY_VERIFY(!row(table(h), "b")->online);
        Device d(port);
        QVERIFY(d.waitConnected());
        QCOMPARE(d.reg("c").value("msg").toString(), QString("registered"));
    }

    void eventRowsDropTheOldest() {
        const quint16 port = vt::ReservePort();
        void* h = start(port, "rows", 4, 30, 5);
        QVERIFY(h);
        Device cam(port);
        QVERIFY(cam.waitConnected());
        QCOMPARE(cam.reg("cam").value("msg").toString(), QString("registered"));
        QStringList pictures;
        for (int i = 1; i <= 8; ++i) {
            const QJsonObject r = cam.event(QString::number(i), fakeJpeg());
            QCOMPARE(r.value("msg").toString(), QString("stored"));
            QCOMPARE(r.value("id").toInt(), i);
        }
        QList<qint64> ids;
        QCOMPARE(eventRows(path("rows/dbs"), &ids), 5);
        QCOMPARE(ids, QList<qint64>({4, 5, 6, 7, 8}));
        // The dropped rows took their pictures along.
        const QString day = QDate::currentDate().toString("yyyy-MM-dd");
        QCOMPARE(QDir(path("rows/pic/") + day).entryList(QDir::Files).size(), 5);
        // The database is in WAL mode.
        QVERIFY(QFile::exists(
            QString::fromStdString(LumoSEDatabaseFile(path("rows/dbs").toUtf8().constData())) + "-wal"));
        // A restart with a smaller limit applies it at once; nothing else is lost.
        QCOMPARE(LumoSEStop(port), 0);
        QVERIFY(start(port, "rows", 4, 30, 3));
        ids.clear();
        QCOMPARE(eventRows(path("rows/dbs"), &ids), 3);
        QCOMPARE(ids, QList<qint64>({6, 7, 8}));
    }

    // The table is trimmed in batches of a hundredth of the limit: it never holds more than the
    // limit and the batch, a trim leaves the newest `limit` rows, and the pictures of the removed
    // rows go with them. The count is kept across a restart.
    void rowLimitHoldsInBatches_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("events");
        QTest::newRow("small limit, kept exactly") << 7 << 20;
        QTest::newRow("batch of 3 over 300") << 300 << 330;
    }
    void rowLimitHoldsInBatches() {
        QFETCH(int, limit);
        QFETCH(int, events);
        const int batch = limit / 100;
        const quint16 port = freePort();
        const QString sub = QString("batch-%1").arg(limit);
        QVERIFY(start(port, sub, 4, 30, uint32_t(limit)));
        const QString day = QDate::currentDate().toString("yyyy-MM-dd");
        int sent = 0;
        for (int round = 0; round < 2; ++round) {
            Device cam(port);
            QVERIFY(cam.waitConnected());
            QCOMPARE(cam.reg("cam").value("msg").toString(), QString("registered"));
            for (int i = 0; i < events / 2; ++i, ++sent)
                QCOMPARE(cam.event(QString::number(sent), sent % 3 ? fakeJpeg() : QByteArray())
                             .value("msg")
                             .toString(),
                         QString("stored"));
            QList<qint64> ids;
            const int rows = eventRows(path(sub + "/dbs"), &ids);
            QVERIFY2(rows >= std::min(sent, limit) && rows <= limit + batch,
                     qPrintable(QString::number(rows)));
            QCOMPARE(ids.last(), qint64(sent));
            QCOMPARE(ids.first(), qint64(sent - rows + 1));
            int withPicture = 0;
            for (qint64 id : ids) withPicture += (id - 1) % 3 ? 1 : 0;
            QCOMPARE(QDir(path(sub + "/pic/") + day).entryList({"*.jpg"}, QDir::Files).size(), withPicture);
            if (round == 0) {
                cam.socket().close();
                QCOMPARE(LumoSEStop(port), 0);
                QVERIFY(start(port, sub, 4, 30, uint32_t(limit)));
            }
        }
    }

    // A full picture disk: the picture is refused as such, no row points to it, and no empty or
    // partial picture is left; events without a picture are still stored (the database is
    // elsewhere).
    void picturesOnAFullDisk_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("dayExists");
        QTest::newRow("5 KB") << 5 * 1024 << true;
        QTest::newRow("15 KB") << 15 * 1024 << true;
        QTest::newRow("first picture of the day") << 5 * 1024 << false;
    }
    void picturesOnAFullDisk() {
        QFETCH(int, size);
        QFETCH(bool, dayExists);
        vt::SmallTmpfs disk;
        QString why;
        VT_REQUIRE(disk.Mount(1024 * 1024, &why), why);
        const quint16 port = freePort();
        const QString dbs = path(QString("full-%1-%2/dbs").arg(size).arg(dayExists));
        QVERIFY(LumoSEStart(port, 4, 30, 1000, disk.path().toUtf8().constData(), dbs.toUtf8().constData()));
        Device cam(port);
        QVERIFY(cam.waitConnected());
        QCOMPARE(cam.reg("cam").value("msg").toString(), QString("registered"));
        int stored = 0;
        if (dayExists) {
            QCOMPARE(cam.event("fits", fakeJpeg(2048)).value("msg").toString(), QString("stored"));
            ++stored;
        }
        QVERIFY(disk.Fill());
        const QJsonObject r = cam.event("too big", fakeJpeg(size));
        QVERIFY2(isRefused(r) && r.value("reason").toString().contains("the disk is full"),
                 QJsonDocument(r).toJson().constData());
        QCOMPARE(cam.event("no picture").value("msg").toString(), QString("stored"));
        ++stored;
        // Every row's picture is there and whole; nothing else is left behind.
        int rows = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "full");
            db.setDatabaseName(QString::fromStdString(LumoSEDatabaseFile(dbs.toUtf8().constData())));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT picture FROM events"));
            while (q.next()) {
                ++rows;
                const QString pic = q.value(0).toString();
                if (!pic.isEmpty()) QCOMPARE(QFileInfo(disk.filePath(pic)).size(), qint64(2048));
            }
        }
        QSqlDatabase::removeDatabase("full");
        QCOMPARE(rows, stored);
        QDirIterator it(disk.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        QStringList files;
        while (it.hasNext()) files << QFileInfo(it.next()).fileName();
        files.removeAll(".filler");
        files.removeAll(".lumosevent-day");
        QCOMPARE(files.size(), dayExists ? 1 : 0);
        QCOMPARE(LumoSEStop(port), 0);
    }

    // Only the day folders the engine made (they bear its mark) are purged, and of them only its
    // own pictures: a date-named folder of someone else's survives, and so does a file of
    // someone else's in the engine's folder.
    void oldPictureDaysAreRemoved() {
        const QString pic = path("days/pic");
        const QDate today = QDate::currentDate();
        const QString ownOld = today.addDays(-4).toString("yyyy-MM-dd");
        const QStringList own = {ownOld, "2000-01-01", today.toString("yyyy-MM-dd"),
                                 today.addDays(-3).toString("yyyy-MM-dd"), "2000-01-03"};
        const QStringList foreign = {"2000-01-02", "notes", "2000-13-40", "2000-01-04"};
        auto put = [&](const QString& file) {
            QVERIFY(QDir().mkpath(QFileInfo(pic + "/" + file).path()));
            QFile f(pic + "/" + file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        };
        for (const QString& d : own) {
            put(d + "/" + kDayMarker);
            put(d + "/093000123-1.jpg");
        }
        for (const QString& d : foreign) put(d + "/a.jpg");
        put("2000-01-03/notes.txt");
        put("2000-01-04/093000123-1.jpg");  // named like the engine's, but not in a folder it made

        QVERIFY(start(freePort(), "days", 4, 3));
        QVERIFY(!QDir(pic + "/" + ownOld).exists());
        QVERIFY(!QDir(pic + "/2000-01-01").exists());
        for (const QString& d : {today.toString("yyyy-MM-dd"), today.addDays(-3).toString("yyyy-MM-dd")})
            QVERIFY2(QFile::exists(pic + "/" + d + "/093000123-1.jpg"), qPrintable(d));
        for (const QString& d : foreign) QVERIFY2(QFile::exists(pic + "/" + d + "/a.jpg"), qPrintable(d));
        QVERIFY(QFile::exists(pic + "/2000-01-04/093000123-1.jpg"));
        QVERIFY(QFile::exists(pic + "/2000-01-03/notes.txt"));
        QVERIFY(!QFile::exists(pic + "/2000-01-03/093000123-1.jpg"));

        // The folder the engine makes for today's pictures bears its mark.
        LumoSEInvalidate();
        const quint16 port = freePort();
        QVERIFY(start(port, "days2"));
        Device cam(port);
        QVERIFY(cam.waitConnected());
        QCOMPARE(cam.reg("cam").value("msg").toString(), QString("registered"));
        QCOMPARE(cam.event("x", fakeJpeg()).value("msg").toString(), QString("stored"));
        QVERIFY(QFile::exists(path("days2/pic/") + today.toString("yyyy-MM-dd") + "/" + kDayMarker));
    }

    void badMessagesAreRefused_data() {
        QTest::addColumn<QByteArray>("first");  // sent before (a register), or empty
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("closes");
        const QByteArray reg = R"({"msg":"register","name":"bad","type":0})";
        QTest::newRow("malformed json") << QByteArray() << QByteArray(R"({"msg":"register",)") << false;
        QTest::newRow("json array") << QByteArray() << QByteArray("[1,2]") << false;
        QTest::newRow("unknown kind") << QByteArray() << QByteArray(R"({"msg":"hello"})") << false;
        QTest::newRow("no kind") << QByteArray() << QByteArray(R"({"name":"x"})") << false;
        QTest::newRow("event before register")
            << QByteArray() << QByteArray(R"({"msg":"event","text":"x"})") << false;
        QTest::newRow("name with control characters")
            << QByteArray() << QByteArray("{\"msg\":\"register\",\"name\":\"a\\u0007b\",\"type\":0}")
            << false;
        QTest::newRow("name of 10000 bytes")
            << QByteArray()
            << QByteArray(R"({"msg":"register","type":0,"name":")") + QByteArray(10000, 'n') + "\"}" << false;
        QTest::newRow("empty name") << QByteArray() << QByteArray(R"({"msg":"register","name":"","type":0})")
                                    << false;
        QTest::newRow("type as text")
            << QByteArray() << QByteArray(R"({"msg":"register","name":"t","type":"ipc"})") << false;
        QTest::newRow("negative type")
            << QByteArray() << QByteArray(R"({"msg":"register","name":"t","type":-1})") << false;
        QTest::newRow("picture not a jpeg") << reg
                                            << QByteArray(R"({"msg":"event","text":"x","picture":")") +
                                                   QByteArray("GIF89a...").toBase64() + "\"}"
                                            << false;
        QTest::newRow("picture not base64")
            << reg << QByteArray(R"({"msg":"event","text":"x","picture":"@@@@"})") << false;
        QTest::newRow("bad time") << reg << QByteArray(R"({"msg":"event","time":"yesterday","text":"x"})")
                                  << false;
        QTest::newRow("time as a number")
            << reg << QByteArray(R"({"msg":"event","time":5,"text":"x"})") << false;
        QTest::newRow("kind as an object")
            << reg << QByteArray(R"({"msg":"event","kind":{},"text":"x"})") << false;
        QTest::newRow("text as an array") << reg << QByteArray(R"({"msg":"event","text":["x"]})") << false;
        QTest::newRow("password as a number")
            << QByteArray() << QByteArray(R"({"msg":"register","name":"p","type":0,"password":1})") << false;
        QTest::newRow("second name on one socket")
            << reg << QByteArray(R"({"msg":"register","name":"other","type":0})") << false;
        QTest::newRow("over 1 MiB") << reg
                                    << QByteArray(R"({"msg":"event","text":")") +
                                           QByteArray(1100 * 1024, 'z') + "\"}"
                                    << true;
    }
    void badMessagesAreRefused() {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, message);
        QFETCH(bool, closes);
        const quint16 port = vt::ReservePort();
        const QString sub = QString("bad-%1").arg(QTest::currentDataTag()).replace(' ', '_');
        void* h = start(port, sub, 8, 30, 1000);
        QVERIFY(h);
        Device good(port), bad(port);
        QVERIFY(good.waitConnected() && bad.waitConnected());
        QCOMPARE(good.reg("good").value("msg").toString(), QString("registered"));
        QCOMPARE(good.event("before", fakeJpeg()).value("msg").toString(), QString("stored"));
        if (!first.isEmpty()) QCOMPARE(bad.send(first).value("msg").toString(), QString("registered"));

        const QJsonObject reply = bad.send(message);
        if (closes) {
            QVERIFY(bad.waitClosed());
        } else {
            QVERIFY2(isRefused(reply), QJsonDocument(reply).toJson().constData());
            QCOMPARE(bad.socket().state(), QAbstractSocket::ConnectedState);
        }
        // Nothing stored is lost and the good device goes on.
        QCOMPARE(good.event("after").value("msg").toString(), QString("stored"));
        QCOMPARE(eventRows(path(sub + "/dbs")), 2);
        QVERIFY(row(table(h), "good")->online);
        QCOMPARE(int(table(h).size()), first.isEmpty() ? 1 : 2);
    }

    void binaryMessageIsRefused() {
        const quint16 port = vt::ReservePort();
        QVERIFY(start(port, "binary"));
        Device bad(port);
        QVERIFY(bad.waitConnected());
        QSignalSpy replies(&bad.socket(), &QWebSocket::textMessageReceived);
        bad.socket().sendBinaryMessage(QByteArray("\x00\x01", 2));
        QTRY_COMPARE(replies.size(), 1);
        QVERIFY(isRefused(QJsonDocument::fromJson(replies.first().first().toString().toUtf8()).object()));
    }

    void detachWaitsAndInvalidateFreesPorts() {
        const quint16 p1 = vt::ReservePort(), p2 = vt::ReservePort();
        void* h1 = start(p1, "inv1");
        void* h2 = start(p2, "inv2");
        QVERIFY(h1 && h2 && h1 != h2);
        // A detach while the engine is inside the callback returns only once the call is over,
        // so the callback may be deleted right after.
        struct Slow : CLumoObject {
            std::atomic<int> state{0};  // 1 inside the call, 2 done
            static int Handler(CLumoObject* owner, int, void*, void*, void*) {
                auto* self = static_cast<Slow*>(owner);
                self->state = 1;
                QThread::msleep(300);
                self->state = 2;
                return 0;
            }
        } slow;
        auto* cb = new ILumoCallback(&slow, &Slow::Handler);
        QCOMPARE(LumoSAttachEventServer(h1, cb, &ILumoCallback::OnSignal), 0);
        Device d(p1);
        QVERIFY(d.waitConnected());
        d.socket().sendTextMessage(QStringLiteral(R"({"msg":"register","name":"slow","type":0})"));
        QTRY_COMPARE(slow.state.load(), 1);
        QCOMPARE(LumoSDetachEventServer(h1, cb, &ILumoCallback::OnSignal), 0);
        QCOMPARE(slow.state.load(), 2);
        delete cb;
        QCOMPARE(LumoSEInvalidate(), 0);
        QCOMPARE(LumoSGetDeviceTable(h2, nullptr), int(LUMO_ERR_PARAM));
        QTcpServer a, b;
        QVERIFY(a.listen(QHostAddress::AnyIPv4, p1));
        QVERIFY(b.listen(QHostAddress::AnyIPv4, p2));
    }

    void securityFileImport() {
        const QString good = path("sec-good.xml"), bad = path("sec-bad.xml");
        QFile g(good), b(bad);
        QVERIFY(g.open(QIODevice::WriteOnly) && b.open(QIODevice::WriteOnly));
        g.write("<SecurityFile><Client name=\"a\"/></SecurityFile>");
        b.write("<Other/>");
        g.close();
        b.close();
        QCOMPARE(LumoSEImportSecurityFile(path("missing.xml").toUtf8().constData()), int(LUMO_ERR_NOTFOUND));
        QCOMPARE(LumoSEImportSecurityFile(bad.toUtf8().constData()), int(LUMO_ERR_FORMAT));
        QCOMPARE(LumoSEImportSecurityFile(nullptr), int(LUMO_ERR_PARAM));
        QCOMPARE(LumoSEImportSecurityFile(good.toUtf8().constData()), 0);
        const QString stored = QString::fromUtf8(LumoSEGetWorkPath()) + "/security.xml";
        QVERIFY(QFile::exists(stored));
        QCOMPARE(QFile::permissions(stored) & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        QFile::remove(stored);
    }
};

QTEST_GUILESS_MAIN(TestLumoSEvent)
#include "tst_lumosevent.moc"
