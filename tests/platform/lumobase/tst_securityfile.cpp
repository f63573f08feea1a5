// The security file reader that both engines and their imports use.
#include <QTemporaryDir>
#include <QtTest>

#include "VantelCore/securityfile.h"

using vantel::SecurityRead;

class TestSecurityFile : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("clients");  // "name=password;..." or "!" for a refusal
        QTest::newRow("two clients")
            << QByteArray(R"(<SecurityFile><Client name="ops" password="s3cret:@/x"/><Client name="view"/></SecurityFile>)")
            << "ops=s3cret:@/x;view=";
        QTest::newRow("names trimmed, other attributes ignored")
            << QByteArray("<?xml version=\"1.0\"?>\n<SecurityFile>\n  <Client name=\" ops \" address=\"10.0.0.5\" "
                          "password=\"a &amp; b\"/>\n</SecurityFile>\n")
            << "ops=a & b";
        QTest::newRow("a client's children are its own")
            << QByteArray(R"(<SecurityFile><Client name="a"><Note/></Client></SecurityFile>)") << "a=";
        QTest::newRow("same name twice, both in order")
            << QByteArray(R"(<SecurityFile><Client name="a" password="1"/><Client name="a" password="2"/></SecurityFile>)")
            << "a=1;a=2";
        QTest::newRow("wrong root") << QByteArray(R"(<Other><Client name="a"/></Other>)") << "!";
        QTest::newRow("unexpected element") << QByteArray(R"(<SecurityFile><User name="a"/></SecurityFile>)") << "!";
        QTest::newRow("client without name") << QByteArray(R"(<SecurityFile><Client password="p"/></SecurityFile>)")
                                             << "!";
        QTest::newRow("blank name") << QByteArray(R"(<SecurityFile><Client name="  "/></SecurityFile>)") << "!";
        QTest::newRow("no client") << QByteArray("<SecurityFile/>") << "!";
        QTest::newRow("unclosed") << QByteArray(R"(<SecurityFile><Client name="a"/>)") << "!";
        QTest::newRow("empty") << QByteArray() << "!";
        QTest::newRow("not xml") << QByteArray("name=a\npassword=b\n") << "!";
    }
    void parse() {
        QFETCH(QByteArray, xml);
        QFETCH(QString, clients);
        std::vector<vantel::SecurityClient> got{{"stale", "x"}};
        QString why;
        const bool ok = vantel::ParseSecurityFile(xml, &got, &why);
        if (clients == "!") {
            QVERIFY(!ok);
            QVERIFY2(!why.isEmpty(), "a refusal says why");
            QCOMPARE(got.size(), size_t(1));  // the caller's list is left alone
            return;
        }
        QVERIFY2(ok, qPrintable(why));
        QStringList pairs;
        for (const auto& c : got) pairs << c.name + "=" + c.password;
        QCOMPARE(pairs.join(';'), clients);
    }

    void read_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("expected");
        QTest::newRow("good") << "good" << int(SecurityRead::Ok);
        QTest::newRow("missing") << "missing" << int(SecurityRead::NotFound);
        QTest::newRow("empty path") << "" << int(SecurityRead::NotFound);
        QTest::newRow("a folder") << "folder" << int(SecurityRead::NotAFile);
        QTest::newRow("over the limit") << "large" << int(SecurityRead::TooLarge);
        QTest::newRow("malformed") << "bad" << int(SecurityRead::Malformed);
    }
    void read() {
        QFETCH(QString, what);
        QFETCH(int, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray good(R"(<SecurityFile><Client name="ops" password="pw"/></SecurityFile>)");
        QString path = what.isEmpty() ? QString() : dir.filePath(what);
        if (what == "good" || what == "bad" || what == "large") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (what == "good") f.write(good);
            if (what == "bad") f.write("<SecurityFile>");
            if (what == "large") {
                // A well-formed file just past the limit is refused all the same.
                f.write("<SecurityFile><Client name=\"a\"/>");
                f.write(QByteArray(int(vantel::kMaxSecurityFileBytes), ' '));
                f.write("</SecurityFile>");
            }
        }
        if (what == "folder") QVERIFY(QDir().mkpath(path));
        std::vector<vantel::SecurityClient> clients;
        QByteArray data = "stale";
        QString why;
        QCOMPARE(int(vantel::ReadSecurityFile(path, &clients, &data, &why)), expected);
        if (expected == int(SecurityRead::Ok)) {
            QCOMPARE(data, good);  // as it stands, for an import to store
            QCOMPARE(clients.size(), size_t(1));
            QCOMPARE(clients[0].name, QString("ops"));
        } else {
            QVERIFY(!why.isEmpty());
            QCOMPARE(data, QByteArray("stale"));
        }
    }
};

QTEST_GUILESS_MAIN(TestSecurityFile)
#include "tst_securityfile.moc"
