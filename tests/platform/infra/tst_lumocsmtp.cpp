// The test-mail sender against a real local SMTP server: delivery, login, refusals, TLS.
#include <QtTest>
#include "testsupport.h"

#include "VantelMail/lumocsmtp.h"
#include "smtptestserver.h"

Q_DECLARE_METATYPE(LumoCSmtp*)

class TestLumoCSmtp : public QObject {
    Q_OBJECT

    // Sends and waits for the one report; the report's status. The reports come in queued, as
    // a receiver on the GUI thread gets them (a spy would record them on the worker's thread).
    static int SendAndWait(LumoCSmtp& smtp, const QString& from, const QString& to, const QString& subject,
                           int* count = nullptr) {
        QObject receiver;
        QList<int> statuses;
        connect(
            &smtp, &LumoCSmtp::SignalStatus, &receiver,
            [&](int status, bool, bool, void*) { statuses << status; }, Qt::QueuedConnection);
        smtp.SendMail(from, to, subject, QStringLiteral("A test email from vantel!"));
        for (int waited = 0; statuses.isEmpty() && waited < 90000; waited += 20) QTest::qWait(20);
        if (statuses.isEmpty()) return 9999;
        QTest::qWait(50);  // a second report would arrive now
        if (count) *count = statuses.size();
        return statuses.first();
    }

private slots:
    void splitRecipients_data() {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one") << "a@example.com" << QStringList{"a@example.com"};
        QTest::newRow("empty items skipped") << ";;c@example.com" << QStringList{"c@example.com"};
        QTest::newRow("blanks trimmed")
            << " a@example.com ; ;b@example.com" << QStringList{"a@example.com", "b@example.com"};
        QTest::newRow("nothing") << ";;" << QStringList{};
    }
    void splitRecipients() {
        QFETCH(QString, to);
        QFETCH(QStringList, expected);
        QCOMPARE(LumoCSmtp::SplitRecipients(to), expected);
    }

    void deliversToEveryGivenRecipient() {
        SmtpTestServer server;
        QVERIFY(server.Start());
        LumoCSmtp smtp("127.0.0.1", QString(), QString(), server.Port(), LumoCSmtp::SecurityNone);
        int reports = 0;
        QCOMPARE(
            SendAndWait(smtp, "camera@example.com", "a@example.com;;b@example.org", "Door 1 — 门", &reports),
            0);
        QCOMPARE(reports, 1);
        const QList<QVariantMap> mail = server.Messages();
        QCOMPARE(mail.size(), 1);
        QCOMPARE(mail[0]["from"].toString(), QString("camera@example.com"));
        QCOMPARE(mail[0]["to"].toStringList(), (QStringList{"a@example.com", "b@example.org"}));
        const QString data = mail[0]["data"].toString();
        QVERIFY2(data.contains("Subject: =?UTF-8?B?" + QString("Door 1 — 门").toUtf8().toBase64() + "?="),
                 qPrintable(data));
        QVERIFY(data.contains("From: camera@example.com"));
        QVERIFY(data.contains("A test email from vantel!"));
    }

    void logsIn_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        QTest::newRow("right password") << "secret" << 0;
        QTest::newRow("wrong password") << "guess" << int(LumoCSmtp::StatusLoginDenied);
    }
    void logsIn() {
        QFETCH(QString, password);
        QFETCH(int, status);
        SmtpTestServer server;
        QVERIFY(server.Start("alice", "secret"));
        LumoCSmtp smtp("127.0.0.1", "alice", password, server.Port(), LumoCSmtp::SecurityNone);
        QCOMPARE(SendAndWait(smtp, "alice@example.com", "b@example.com", "hello"), status);
        QCOMPARE(server.Messages().size(), status == 0 ? 1 : 0);
    }

    void refusedConnectionIsReported() {
        const quint16 port = vt::ReservePort();  // nothing listens on it
        LumoCSmtp smtp("127.0.0.1", QString(), QString(), port, LumoCSmtp::SecurityNone);
        const int status = SendAndWait(smtp, "a@example.com", "b@example.com", "x");
        QCOMPARE(status, 7);  // libcurl: could not connect
    }

    void headerInjectionIsRefused_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("subject");
        QTest::newRow("LF in the subject") << "a@example.com"
                                           << "b@example.com"
                                           << "hi\nBcc: c@example.com";
        QTest::newRow("CR in the subject") << "a@example.com"
                                           << "b@example.com"
                                           << "hi\rX: y";
        QTest::newRow("CRLF in the sender") << "a@example.com\r\nBcc: c@example.com"
                                            << "b@example.com"
                                            << "hi";
        QTest::newRow("LF in a recipient") << "a@example.com"
                                           << "b@example.com\nc@example.com"
                                           << "hi";
        QTest::newRow("no recipient at all") << "a@example.com"
                                             << " ; ;"
                                             << "hi";
    }
    void headerInjectionIsRefused() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, subject);
        SmtpTestServer server;
        QVERIFY(server.Start());
        LumoCSmtp smtp("127.0.0.1", QString(), QString(), server.Port(), LumoCSmtp::SecurityNone);
        int reports = 0;
        QCOMPARE(SendAndWait(smtp, from, to, subject, &reports), int(LumoCSmtp::StatusBadInput));
        QCOMPARE(reports, 1);
        QCOMPARE(server.Messages().size(), 0);
    }

    void startTlsWithTheServersCertificate() {
        QTemporaryDir dir;
        VT_REQUIRE(SmtpTestServer::MakeCertificate(dir.path()), "openssl could not make a certificate");
        SmtpTestServer server;
        QVERIFY(server.Start(QString(), QString(), dir.filePath("cert.pem"), dir.filePath("key.pem")));
        LumoCSmtp::SetCaFile(dir.filePath("cert.pem"));
        LumoCSmtp tls("127.0.0.1", QString(), QString(), server.Port(), LumoCSmtp::SecurityStartTls);
        QCOMPARE(SendAndWait(tls, "a@example.com", "b@example.com", "over TLS"), 0);
        QCOMPARE(server.Messages().size(), 1);
        // The server wants STARTTLS: a plain mail is turned away.
        LumoCSmtp plain("127.0.0.1", QString(), QString(), server.Port(), LumoCSmtp::SecurityNone);
        QVERIFY(SendAndWait(plain, "a@example.com", "b@example.com", "plain") > 0);
        QCOMPARE(server.Messages().size(), 1);
        LumoCSmtp::SetCaFile(QString());
    }

    void sslFromTheFirstByte() {
        QTemporaryDir dir;
        VT_REQUIRE(SmtpTestServer::MakeCertificate(dir.path()), "openssl could not make a certificate");
        SmtpTestServer server;
        QVERIFY(server.Start(QString(), QString(), dir.filePath("cert.pem"), dir.filePath("key.pem"), true));
        // Unknown authority: refused.
        LumoCSmtp untrusted("127.0.0.1", QString(), QString(), server.Port(), LumoCSmtp::SecuritySsl);
        QVERIFY(SendAndWait(untrusted, "a@example.com", "b@example.com", "x") > 0);
        QCOMPARE(server.Messages().size(), 0);
        LumoCSmtp::SetCaFile(dir.filePath("cert.pem"));
        LumoCSmtp ssl("127.0.0.1", QString(), QString(), server.Port(), LumoCSmtp::SecuritySsl);
        QCOMPARE(SendAndWait(ssl, "a@example.com", "b@example.com", "over SSL"), 0);
        QCOMPARE(server.Messages().size(), 1);
        LumoCSmtp::SetCaFile(QString());
    }

    void destroyingASenderStopsItsMail() {
        // A server that accepts and never answers: the mail hangs until the sender goes.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, vt::ReservePort()));
        auto* smtp =
            new LumoCSmtp("127.0.0.1", QString(), QString(), silent.serverPort(), LumoCSmtp::SecurityNone);
        QCOMPARE(smtp->SendMail("a@example.com", "b@example.com", "x", "y"), 0);
        QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 30000);  // the transfer is under way
        QElapsedTimer t;
        t.start();
        delete smtp;  // aborts the transfer and joins the worker
        QVERIFY(t.elapsed() < 15000);
    }
};

QTEST_GUILESS_MAIN(TestLumoCSmtp)
#include "tst_lumocsmtp.moc"
