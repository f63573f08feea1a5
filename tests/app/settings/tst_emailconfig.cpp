// The e-mail page: stored values, the port of each security, address suggestions, and the test
// mail against a real local SMTP server.
#include <QPushButton>
#include <QStandardItemModel>
#include <QtTest>

#include "../../platform/infra/smtptestserver.h"
#include "settings/emailconfig.h"
#include "settings/sysconfig.h"
#include "settingstestsupport.h"

class TestEmailConfig : public QObject {
    Q_OBJECT
    SettingsEnv env;

    static EmailConfig* Page(SysConfig& d) {
        return static_cast<EmailConfig*>(d.GetPage(SysConfig::RowEmail));
    }
    static void Fill(SysConfig& d, quint16 port, const QString& user, const QString& password) {
        SetControl(&d, "smtpAddr", " 127.0.0.1 ");
        SetControl(&d, "noEncrypt", true);
        SetControl(&d, "port", port);
        SetControl(&d, "user", user);
        SetControl(&d, "password", password);
        SetControl(&d, "sender", "camera@example.com");
        SetControl(&d, "subject", "Test from the lobby");
        SetControl(&d, "receiver1", "");
        SetControl(&d, "receiver2", "");
        SetControl(&d, "receiver3", "guard@example.com");
    }

private slots:
    void init() { env.Reset(); }
    void cleanup() { SettingsEnv::CloseNotices(); }

    void eachSecurityShowsItsPort() {
        SettingsEnv::Config()->GetEmailOption()->ports = {{0, 2525}, {2, 1587}};
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowEmail);
        QCOMPARE(ControlState(&dialog, "port").toInt(), 2525);
        SetControl(&dialog, "smartTLS", true);
        QCOMPARE(ControlState(&dialog, "port").toInt(), 1587);
        SetControl(&dialog, "noEncrypt", true);
        QCOMPARE(ControlState(&dialog, "port").toInt(), 2525);
        QVERIFY(dialog.findChild<QWidget*>("ssl")->isHidden());
    }

    void aStoredSslStays() {
        SettingsEnv::Config()->GetEmailOption()->security = 1;
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowEmail);
        QVERIFY(ControlState(&dialog, "ssl").toBool());
        QCOMPARE(ControlState(&dialog, "port").toInt(), 465);
        QCOMPARE(Page(dialog)->Save(), 0);
        QCOMPARE(SettingsEnv::Config()->GetEmailOption()->security, 1);
    }

    void addressSuggestions() {
        SysConfig dialog(nullptr);
        QStandardItemModel* model = Page(dialog)->GetSuggestions();
        SetControl(&dialog, "sender", "bob");
        QCOMPARE(model->rowCount(), 6);
        QCOMPARE(model->item(0)->text(), QString("bob@mail.example.org"));
        QCOMPARE(model->item(5)->text(), QString("bob@example.com"));
        SetControl(&dialog, "sender", "bob@ex");
        QCOMPARE(model->rowCount(), 6);
        QCOMPARE(model->item(5)->text(), QString("bob@example.com"));
        Page(dialog)->OnEmailChoosed("bob@example.net");
        QCOMPARE(ControlState(&dialog, "sender").toString(), QString("bob@example.net"));
    }

    void refusedBeforeSending_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<QString>("notice");
        QTest::newRow("no server") << "  "
                                   << "a@example.com"
                                   << "K2356_Fail|K6935_SMTPNotEmpty|1";
        QTest::newRow("no recipient") << "127.0.0.1"
                                      << " "
                                      << "K2356_Fail|K6929_EmailNotEmpty|1";
    }
    void refusedBeforeSending() {
        QFETCH(QString, server);
        QFETCH(QString, recipient);
        QFETCH(QString, notice);
        SysConfig dialog(nullptr);
        SetControl(&dialog, "smtpAddr", server);
        SetControl(&dialog, "receiver2", recipient);
        QCOMPARE(Page(dialog)->SendTestEmail(), -1);
        QCOMPARE(env.Notices(), QStringList{notice});
        QVERIFY(dialog.findChild<QPushButton*>("btnSendTestEmail")->isEnabled());
    }

    void testMailArrives() {
        SmtpTestServer server;
        QVERIFY(server.Start());
        SysConfig dialog(nullptr);
        dialog.OnSwitchPage(SysConfig::RowEmail);
        Fill(dialog, server.Port(), QString(), QString());
        auto* button = dialog.findChild<QPushButton*>("btnSendTestEmail");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!button->isEnabled());  // one mail at a time
        QTRY_VERIFY_WITH_TIMEOUT(!env.Notices().isEmpty(), 90000);
        QCOMPARE(env.Notices(), QStringList{"K2354_Success|K2359_SendSuccess|0"});
        QVERIFY(button->isEnabled());
        const QList<QVariantMap> mail = server.Messages();
        QCOMPARE(mail.size(), 1);
        QCOMPARE(mail[0]["from"].toString(), QString("camera@example.com"));
        QCOMPARE(mail[0]["to"].toStringList(), QStringList{"guard@example.com"});
        QVERIFY(mail[0]["data"].toString().contains("Subject: Test from the lobby\r\n"));
        QVERIFY(mail[0]["data"].toString().contains("A test email from vantel!"));
        // Sent from the screen: nothing was saved.
        QCOMPARE(SettingsEnv::Config()->GetEmailOption()->smtpServer, std::string());
    }

    void failuresAreReported_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("notice");
        QTest::newRow("wrong password") << "login"
                                        << "K2356_Fail|K0461_PasswordErr|1";
        QTest::newRow("nobody listening") << "refused"
                                          << "K2356_Fail|K2359_SendErr(7)|1";
        QTest::newRow("line break in the subject") << "crlf"
                                                   << "K2356_Fail|K2359_SendErr(-2)|1";
        QTest::newRow("line break in a recipient") << "crlf-to"
                                                   << "K2356_Fail|K2359_SendErr(-2)|1";
    }
    void failuresAreReported() {
        QFETCH(QString, how);
        QFETCH(QString, notice);
        SmtpTestServer server;
        QVERIFY(how == "login" ? server.Start("alice", "secret") : server.Start());
        quint16 port = server.Port();
        if (how == "refused") server.Stop();
        SysConfig dialog(nullptr);
        Fill(dialog, port, how == "login" ? "alice" : "", how == "login" ? "guess" : "");
        if (how == "crlf") SetControl(&dialog, "subject", "Hi\r\nBcc: thief@example.com");
        if (how == "crlf-to") SetControl(&dialog, "receiver1", "a@example.com\nthief@example.com");
        QCOMPARE(Page(dialog)->SendTestEmail(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!env.Notices().isEmpty(), 90000);
        QCOMPARE(env.Notices(), QStringList{notice});
        QVERIFY(dialog.findChild<QPushButton*>("btnSendTestEmail")->isEnabled());
        QCOMPARE(server.Messages().size(), 0);
    }
};

QTEST_MAIN(TestEmailConfig)
#include "tst_emailconfig.moc"
