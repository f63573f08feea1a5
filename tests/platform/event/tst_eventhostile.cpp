// The event engine against hostile peers over loopback, each case with a good device served
// alongside: floods of idle connections and the per-address cap, the registration deadline,
// peers of other machines without a security file, unknown names, wrong passwords and guessing
// with one, and a listener that runs out of file descriptors. 127.0.0.1 is the good device's
// address; the hostile peers come from 127.0.0.2 (taken as this machine) and 127.0.0.3 (taken
// as another machine).
#include <QtNetwork>
#include <QtSql>
#include <QtTest>
#include <QtWebSockets>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "eventdevice.h"
#include "eventengine.h"
#include "testsupport.h"

using namespace eventtest;
using lumose::EngineParams;
using lumose::EventEngine;

namespace {

const QHostAddress kLocal2(QStringLiteral("127.0.0.2"));
const QHostAddress kForeign(QStringLiteral("127.0.0.3"));

enum Case {
    IdleFlood,
    Deadline,
    ForeignWithoutFile,
    ForeignWithFile,
    ForeignAfterFileRemoved,
    UnknownName,
    WrongPassword,
    ServerWithoutAccount,
    NoPasswordAccount,
    Guessing,
};

bool isRefused(const QJsonObject& reply, const QString& part = QString()) {
    return reply.value("msg").toString() == "refused" && reply.value("reason").toString().contains(part);
}

bool online(EventEngine& e, const char* name) {
    for (const LumoSDTODevice& d : e.Devices())
        if (d.name == name) return d.online;
    return false;
}

}  // namespace

Q_DECLARE_METATYPE(Case)

class TestEventHostile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    std::unique_ptr<EventEngine> start(const QString& sub, bool security, int deadlineMs = 60000,
                                       int cap = 64) {
        EngineParams p;
        p.port = vt::ReservePort();
        p.maxDevNum = 16;
        p.maxPicDays = 30;
        p.maxEventRows = 1000;
        p.pathPic = m_dir.filePath(sub + "/pic");
        p.pathDbs = m_dir.filePath(sub + "/dbs");
        p.securityFile = m_dir.filePath(sub + "/security.xml");
        if (security) {
            QDir().mkpath(m_dir.filePath(sub));
            QFile f(p.securityFile);
            if (!f.open(QIODevice::WriteOnly)) return nullptr;
            f.write(
                "<SecurityFile>\n"
                "  <Client name=\"good\" password=\"g00d\"/>\n"
                "  <Client name=\"cam\" password=\"c4m &amp; more\"/>\n"
                "  <Client name=\"viewer\"/>\n"
                "</SecurityFile>\n");
        }
        p.isLocalPeer = [](const QHostAddress& a) { return a == QHostAddress::LocalHost || a == kLocal2; };
        p.registerTimeoutMs = deadlineMs;
        p.maxPerAddress = cap;
        p.loginDelayMs = 400;
        p.acceptRetryMs = 200;
        auto e = std::make_unique<EventEngine>(p);
        if (!e->StartAndWait()) return nullptr;
        return e;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void hostilePeers_data() {
        QTest::addColumn<Case>("kind");
        QTest::addColumn<bool>("security");
        QTest::newRow("flood of idle connections over the per-address cap") << IdleFlood << false;
        QTest::newRow("connections that never register") << Deadline << true;
        QTest::newRow("another machine without a security file") << ForeignWithoutFile << false;
        QTest::newRow("another machine with an account") << ForeignWithFile << true;
        QTest::newRow("another machine, the security file removed before it registers")
            << ForeignAfterFileRemoved << true;
        QTest::newRow("name not in the security file") << UnknownName << true;
        QTest::newRow("wrong password") << WrongPassword << true;
        QTest::newRow("recording server without an account") << ServerWithoutAccount << true;
        QTest::newRow("account without a password") << NoPasswordAccount << true;
        QTest::newRow("password guessing") << Guessing << true;
    }
    void hostilePeers() {
        QFETCH(Case, kind);
        QFETCH(bool, security);
        const int cap = 5;
        const int deadline = kind == Deadline ? 800 : 60000;
        const QString sub = QString("hostile-%1").arg(int(kind));
        auto engine = start(sub, security, deadline, cap);
        QVERIFY(engine);
        const quint16 port = engine->Port();
        const QString goodPassword = security ? QString("g00d") : QString();

        Device good(port);
        QVERIFY(good.waitConnected());
        QCOMPARE(good.reg("good", 0, goodPassword).value("msg").toString(), QString("registered"));

        switch (kind) {
            case IdleFlood: {
                // Only `cap` connections of one address are served; the others are refused at once.
                std::vector<std::unique_ptr<RawDevice>> flood;
                for (int i = 0; i < 30; ++i) {
                    flood.push_back(std::make_unique<RawDevice>(port, kLocal2));
                    QVERIFY(flood.back()->handshake());
                }
                QVERIFY(vt::WaitUntil(
                    [&] {
                        int closed = 0;
                        for (auto& d : flood) {
                            d->poll();
                            closed += d->closed() ? 1 : 0;
                        }
                        return closed == 30 - cap;
                    },
                    20000));
                for (int i = 0; i < 30; ++i) {
                    QCOMPARE(flood[i]->closed(), i >= cap);
                    if (i >= cap) QVERIFY(isRefused(flood[i]->next(), "too many connections"));
                }
                // This machine's other address is not counted with them.
                Device second(port);
                QVERIFY(second.waitConnected());
                QCOMPARE(second.reg("second").value("msg").toString(), QString("registered"));
                // A place that frees up is taken again.
                flood.clear();
                QVERIFY(vt::WaitUntil(
                    [&] {
                        RawDevice again(port, kLocal2);
                        return again.handshake() && again.reg("late").value("msg").toString() == "registered";
                    },
                    10000));
                break;
            }
            case Deadline: {
                std::vector<std::unique_ptr<RawDevice>> idle;
                for (int i = 0; i < 20; ++i) {
                    idle.push_back(std::make_unique<RawDevice>(port, kLocal2));
                    QVERIFY(idle.back()->handshake());
                }
                for (auto& d : idle) QVERIFY(d->waitClosed(20000));
                // The registered device is not touched by the deadline.
                QCOMPARE(good.socket().state(), QAbstractSocket::ConnectedState);
                break;
            }
            case ForeignWithoutFile: {
                RawDevice d(port, kForeign);
                QVERIFY(d.handshake());
                QVERIFY(isRefused(d.next(), "only this machine"));
                QVERIFY(d.waitClosed());
                break;
            }
            case ForeignWithFile: {
                RawDevice d(port, kForeign);
                QVERIFY(d.handshake());
                QCOMPARE(d.reg("cam", 0, "c4m & more").value("msg").toString(), QString("registered"));
                QVERIFY(online(*engine, "cam"));
                break;
            }
            case ForeignAfterFileRemoved: {
                RawDevice d(port, kForeign);
                QVERIFY(d.handshake());
                QVERIFY(QFile::remove(m_dir.filePath(sub + "/security.xml")));
                QVERIFY(isRefused(d.reg("cam", 0, "c4m & more"), "only this machine"));
                QVERIFY(d.waitClosed());
                QCOMPARE(int(engine->Devices().size()), 1);
                break;
            }
            case UnknownName:
            case WrongPassword:
            case ServerWithoutAccount: {
                RawDevice d(port, kLocal2);
                QVERIFY(d.handshake());
                const QJsonObject r = kind == UnknownName     ? d.reg("intruder", 0, "g00d")
                                      : kind == WrongPassword ? d.reg("cam", 0, "c4m")
                                                              : d.reg("recorder", LUMOSE_TYPE_RECORDSERVER);
                QVERIFY2(isRefused(r, "wrong password"), QJsonDocument(r).toJson().constData());
                QVERIFY(d.waitClosed());
                QCOMPARE(int(engine->Devices().size()), 1);
                break;
            }
            case NoPasswordAccount: {
                RawDevice d(port, kLocal2);
                QVERIFY(d.handshake());
                QCOMPARE(d.reg("viewer", LUMOSE_TYPE_CLIENT).value("msg").toString(), QString("registered"));
                break;
            }
            case Guessing: {
                // Three wrong guesses, then even the right password waits; the good device's address
                // is not slowed down.
                for (const char* guess : {"a", "b", "c"}) {
                    RawDevice d(port, kLocal2);
                    QVERIFY(d.handshake());
                    QVERIFY(isRefused(d.reg("cam", 0, guess), "wrong password"));
                }
                {
                    RawDevice d(port, kLocal2);
                    QVERIFY(d.handshake());
                    QVERIFY(isRefused(d.reg("cam", 0, "c4m & more"), "try again"));
                }
                Device other(port);
                QVERIFY(other.waitConnected());
                QCOMPARE(other.reg("viewer", 0, "").value("msg").toString(), QString("registered"));
                QVERIFY(vt::WaitUntil(
                    [&] {
                        RawDevice d(port, kLocal2);
                        return d.handshake() &&
                               d.reg("cam", 0, "c4m & more").value("msg").toString() == "registered";
                    },
                    20000));
                break;
            }
        }
        // The good device goes on.
        QCOMPARE(good.event("after").value("msg").toString(), QString("stored"));
        QVERIFY(online(*engine, "good"));
    }

    // With no file descriptor left the listener cannot accept; once some are free again it
    // accepts without anyone restarting it.
    void acceptResumesAfterDescriptorsRunOut() {
        auto engine = start("fds", false);
        QVERIFY(engine);
        const quint16 port = engine->Port();
        Device good(port);
        QVERIFY(good.waitConnected());
        QCOMPARE(good.reg("good").value("msg").toString(), QString("registered"));

        // The late device's socket is made first: once no descriptor is left, only the
        // engine's side of its connection lacks one.
        RawDevice late(port, kLocal2, false);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &old), 0);
        rlimit low = old;
        low.rlim_cur = std::min<rlim_t>(old.rlim_cur, 2048);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
        std::vector<int> fillers;
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(fd);
        late.connectNow();
        const bool failed = vt::WaitUntil([&] { return engine->AcceptErrors() > 0; }, 20000);
        for (int fd : fillers) ::close(fd);
        setrlimit(RLIMIT_NOFILE, &old);
        QVERIFY(failed);

        QVERIFY(late.handshake(20000));
        QCOMPARE(late.reg("late").value("msg").toString(), QString("registered"));
        QCOMPARE(good.event("after").value("msg").toString(), QString("stored"));
    }
};

QTEST_GUILESS_MAIN(TestEventHostile)
#include "tst_eventhostile.moc"
