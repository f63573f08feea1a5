// Message boxes: the answers (also when closed without one), the scripted replies and the UI log
// that end-to-end runs read; tray balloons and notifier pop-ups in the same log.
#include <QtTest>
#include <QtWidgets>

#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/testseams.h"

using INFRA::MessageBox;

namespace {

// Runs `act` on the box as soon as it is open.
void whenBoxOpens(std::function<void(MessageBox*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act]() {
        auto* box = qobject_cast<MessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(box);
    });
    timer->start();
}

QPushButton* buttonWithText(QWidget* box, const QString& text) {
    for (QPushButton* b : box->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

}  // namespace

class TestMessageBox : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_log;

    QStringList logLines() {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void init() {
        m_log = m_tmp.filePath(QStringLiteral("ui-%1.log").arg(QTest::currentTestFunction()));
        QFile::remove(m_log);
        INFRA::TestSeams::SetUiLogPath(m_log);
        INFRA::TestSeams::SetScriptedReply(QString());
    }

    void scriptedReplies_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("answer");
        const int yesNo = MessageBox::Yes | MessageBox::No;
        QTest::newRow("yes to yes/no") << "yes" << yesNo << int(MessageBox::Yes);
        QTest::newRow("no to yes/no") << "no" << yesNo << int(MessageBox::No);
        QTest::newRow("close to yes/no") << "close" << yesNo << int(MessageBox::Closed);
        QTest::newRow("ok to ok") << "ok" << int(MessageBox::Ok) << int(MessageBox::Ok);
        QTest::newRow("yes to ok only") << "yes" << int(MessageBox::Ok) << int(MessageBox::Ok);
        QTest::newRow("no to ok only") << "no" << int(MessageBox::Ok) << int(MessageBox::Closed);
        QTest::newRow("upper case") << "YES" << yesNo << int(MessageBox::Yes);
        QTest::newRow("unknown word") << "maybe" << yesNo << int(MessageBox::Closed);
    }
    void scriptedReplies() {
        QFETCH(QString, reply);
        QFETCH(int, buttons);
        QFETCH(int, answer);
        INFRA::TestSeams::SetScriptedReply(reply);
        QCOMPARE(MessageBox::Warning(nullptr, QStringLiteral("Title"), QStringLiteral("Question?"), buttons),
                 answer);
        QCOMPARE(logLines(), QStringList{QStringLiteral("messagebox\tTitle\tQuestion?")});
    }

    void logKeepsOneLinePerBox() {
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("ok"));
        MessageBox::Information(nullptr, QString(), QStringLiteral("KestoServer is running\twith\ntabs"));
        MessageBox::Information(nullptr, QStringLiteral("T"), QStringLiteral("second"));
        QCOMPARE(logLines(), (QStringList{QStringLiteral("messagebox\t\tKestoServer is running with tabs"),
                                          QStringLiteral("messagebox\tT\tsecond")}));
    }

    // A person answers: the pressed button, or Closed for Escape and the close button.
    void personAnswers_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << "Yes" << int(MessageBox::Yes);
        QTest::newRow("no") << "No" << int(MessageBox::No);
        QTest::newRow("escape") << "escape" << int(MessageBox::Closed);
        QTest::newRow("close button") << "close" << int(MessageBox::Closed);
        QTest::newRow("closed by the program") << "closeall" << int(MessageBox::Closed);
    }
    void personAnswers() {
        QFETCH(QString, action);
        QFETCH(int, answer);
        whenBoxOpens([action](MessageBox* box) {
            if (action == QLatin1String("escape")) {
                QTest::keyClick(box, Qt::Key_Escape);
            } else if (action == QLatin1String("close")) {
                box->findChild<QPushButton*>(QStringLiteral("InfraCloseButton"))->click();
            } else if (action == QLatin1String("closeall")) {
                MessageBox::CloseAll();
            } else {
                QPushButton* b = buttonWithText(box, action);
                QVERIFY(b);
                b->click();
            }
        });
        const int got = MessageBox::Warning(nullptr, QStringLiteral("Exit"), QStringLiteral("Really?"),
                                            MessageBox::Yes | MessageBox::No);
        QCOMPARE(got, answer);
        QVERIFY(answer != MessageBox::Yes || got != MessageBox::Closed);
    }

    void balloonAndNotifierAreRecorded() {
        QSystemTrayIcon tray;
        INFRA::ShowTrayMessage(&tray, QStringLiteral("Error"), QStringLiteral("Engine failed"),
                               QSystemTrayIcon::Critical, 20000);
        INFRA::ShowTrayMessage(nullptr, QStringLiteral("Message"), QStringLiteral("Started"),
                               QSystemTrayIcon::Information, 10000);
        INFRA::NotifierManager::instance()->notify(QStringLiteral("Download"), QStringLiteral("done"), 0,
                                                   QStringLiteral("#"));
        QCOMPARE(logLines(), (QStringList{QStringLiteral("balloon\tError\tEngine failed\tcritical"),
                                          QStringLiteral("balloon\tMessage\tStarted\tinformation"),
                                          QStringLiteral("notify\tDownload\tdone\t0")}));
        // Offscreen there is no tray: the operator still sees the balloons as pop-ups.
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            QCOMPARE(INFRA::NotifierManager::instance()->OpenCount(), 3);
    }

    void noLogNoFile() {
        INFRA::TestSeams::SetUiLogPath(QString());
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("ok"));
        MessageBox::Information(nullptr, QStringLiteral("T"), QStringLiteral("x"));
        QVERIFY(!QFile::exists(m_log));
    }
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
