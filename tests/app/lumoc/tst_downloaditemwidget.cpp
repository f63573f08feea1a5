// A row of the download dialog: the speed, size and time-left texts, the buttons of each state,
// and the signals of its buttons and menu.
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <QLabel>

#include "lumoc/playback/downloaditemwidget.h"

namespace {

// The row's form widgets, by their object names.
struct RowUi {
    explicit RowUi(QWidget* w)
        : label_speed(w->findChild<QLabel*>("label_speed")),
          progressBar_downloadProgress(w->findChild<QProgressBar*>("progressBar_downloadProgress")),
          pushButton_cancel(w->findChild<QPushButton*>("pushButton_cancel")),
          pushButton_deltask(w->findChild<QPushButton*>("pushButton_deltask")),
          m_btnShowFile(w->findChild<QPushButton*>("m_btnShowFile")),
          m_btnPlay(w->findChild<QToolButton*>("m_btnPlay")),
          m_btnBlank(w->findChild<QToolButton*>("m_btnBlank")),
          m_btnOrderUp(w->findChild<QToolButton*>("m_btnOrderUp")),
          m_btnOrderDown(w->findChild<QToolButton*>("m_btnOrderDown")) {}
    QLabel* label_speed;
    QProgressBar* progressBar_downloadProgress;
    QPushButton *pushButton_cancel, *pushButton_deltask, *m_btnShowFile;
    QToolButton *m_btnPlay, *m_btnBlank, *m_btnOrderUp, *m_btnOrderDown;
};

}  // namespace

class TestDownLoadItemWidget : public QObject {
    Q_OBJECT

private slots:
    void speedText_data() {
        QTest::addColumn<uint>("bps");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0u << "0b/s";
        QTest::newRow("8") << 8u << "8b/s";
        QTest::newRow("9") << 9u << "1B/s";
        QTest::newRow("8192") << 8192u << "1024B/s";
        QTest::newRow("8193") << 8193u << "1KB/s";
        QTest::newRow("8388608") << 8388608u << "1024KB/s";
        QTest::newRow("8388609") << 8388609u << "1MB/s";
        QTest::newRow("largest") << 0xFFFFFFFEu << "511MB/s";
    }
    void speedText() {
        QFETCH(uint, bps);
        QFETCH(QString, text);
        QCOMPARE(DownLoadItemWidget::SpeedText(bps), text);
    }

    void sizeText_data() {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << quint64(0) << "0B";
        QTest::newRow("1024") << quint64(1024) << "1024B";
        QTest::newRow("1025") << quint64(1025) << "1KB";
        QTest::newRow("1048576") << quint64(1048576) << "1024KB";
        QTest::newRow("1048577") << quint64(1048577) << "1MB";
        QTest::newRow("past 4 GiB") << quint64(5) * 1024 * 1024 * 1024 << "5120MB";
    }
    void sizeText() {
        QFETCH(quint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(DownLoadItemWidget::SizeText(bytes), text);
    }

    void timeLeftText_data() {
        QTest::addColumn<quint64>("seconds");
        QTest::addColumn<QString>("text");
        const quint64 t[] = {0, 1, 2, 60, 61, 119, 120, 3600, 3601, 7199, 7200};
        const char* expected[] = {"0 K3554_Second", "1 K3554_Second", "2 K3582_Seconds", "60 K3582_Seconds",
                                  "1 K3553_Minute", "1 K3553_Minute", "2 K3583_Minutes", "60 K3583_Minutes",
                                  "1 K3552_Hour",   "1 K3552_Hour",   "2 K3584_Hours"};
        for (int i = 0; i < 11; ++i) QTest::newRow(qPrintable(QString::number(t[i]))) << t[i] << expected[i];
    }
    void timeLeftText() {
        QFETCH(quint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(DownLoadItemWidget::TimeLeftText(seconds), text);
    }

    void line() {
        DownLoadItemWidget w;
        w.SetState(DownLoadItemWidget::StateDownloading);
        w.UpdateText(16384, 10485760, 100ull * 1048576, 300);
        QCOMPARE(RowUi(&w).label_speed->text(),
                 QString("2KB/s - 10MB,K3556_TotalFileSize 100MB,K3555_FileSizeLeft 5 K3583_Minutes"));
        w.UpdateText(DownLoadItemWidget::NoSpeed, 1, 2, 3);  // a picture: no text
        QCOMPARE(RowUi(&w).label_speed->text(), QString());
    }

    void textsByState() {
        DownLoadItemWidget w;
        w.SetState(DownLoadItemWidget::StateWaiting);
        w.UpdateText(16384, 10, 20, 30);
        QCOMPARE(RowUi(&w).label_speed->text(), QString("K3557_Waiting"));
        w.SetProgress(40);
        w.SetState(DownLoadItemWidget::StateEnded);
        w.UpdateText(16384, 10, 20, 30);
        QCOMPARE(RowUi(&w).progressBar_downloadProgress->value(), 100);
        QCOMPARE(RowUi(&w).label_speed->text(), QString("K3557_Waiting"));  // not changed, and hidden
        w.SetFailText("full");
        w.SetState(DownLoadItemWidget::StateFailed);
        w.UpdateText(16384, 10, 20, 30);
        QCOMPARE(RowUi(&w).label_speed->text(), QString("full"));
    }

    void buttonsByState_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("del");
        QTest::addColumn<bool>("play");
        QTest::addColumn<bool>("showFile");
        QTest::addColumn<bool>("speed");
        QTest::newRow("waiting") << 0 << false << true << false << false << true;
        QTest::newRow("downloading") << 1 << true << false << false << false << true;
        QTest::newRow("ended") << 2 << false << true << true << true << false;
        QTest::newRow("failed") << 3 << false << true << false << false << true;
    }
    void buttonsByState() {
        QFETCH(int, state);
        QFETCH(bool, cancel);
        QFETCH(bool, del);
        QFETCH(bool, play);
        QFETCH(bool, showFile);
        QFETCH(bool, speed);
        QWidget host;
        auto* w = new DownLoadItemWidget(&host);
        host.show();
        w->SetOrderButtonsVisible(true);
        w->SetState(state);
        RowUi u(w);
        RowUi* ui = &u;
        QCOMPARE(ui->pushButton_cancel->isVisible(), cancel);
        QCOMPARE(ui->pushButton_deltask->isVisible(), del);
        QCOMPARE(ui->m_btnPlay->isVisible(), play);
        QCOMPARE(ui->m_btnShowFile->isVisible(), showFile);
        QCOMPARE(ui->label_speed->isVisible(), speed);
        QVERIFY(ui->m_btnBlank->isVisible());
        QVERIFY(ui->m_btnOrderUp->isVisible());  // the state leaves the order buttons alone
        w->SetState(9);                          // unknown: nothing changes
        QCOMPARE(w->GetState(), state);
        QCOMPARE(ui->pushButton_cancel->isVisible(), cancel);
        w->SetOrderButtonsVisible(false);
        QVERIFY(!ui->m_btnOrderUp->isVisible() && !ui->m_btnOrderDown->isVisible());
    }

    void signals_() {
        DownLoadItemWidget w;
        RowUi u(&w);
        RowUi* ui = &u;
        const struct {
            QAbstractButton* button;
            void (DownLoadItemWidget::*signal)();
        } pairs[] = {{ui->pushButton_cancel, &DownLoadItemWidget::signal_stopDown},
                     {ui->pushButton_deltask, &DownLoadItemWidget::signal_delTask},
                     {ui->m_btnShowFile, &DownLoadItemWidget::signal_showFile},
                     {ui->m_btnPlay, &DownLoadItemWidget::signal_playfile},
                     {ui->m_btnOrderUp, &DownLoadItemWidget::signal_orderUp},
                     {ui->m_btnOrderDown, &DownLoadItemWidget::signal_orderDown}};
        for (const auto& p : pairs) {
            QSignalSpy spy(&w, p.signal);
            p.button->click();
            QCOMPARE(spy.count(), 1);
        }
        QSignalSpy quick(&w, &DownLoadItemWidget::signal_quicktop);
        QSignalSpy clear(&w, &DownLoadItemWidget::signal_clear);
        const QList<QAction*> actions = w.GetMenu()->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0]->text(), QString("K5326_QuickTop"));
        actions[1]->trigger();
        QCOMPARE(clear.count(), 1);
        actions[0]->trigger();
        QCOMPARE(quick.count(), 1);
        QAction other("x");
        w.OnMenuTriggered(&other);
        QCOMPARE(quick.count() + clear.count(), 2);
    }

    // Texts are kept whole, however long.
    void longTexts() {
        DownLoadItemWidget w;
        const QByteArray url = "filew://local/type=rec&format=mp4&pathname=/" + QByteArray(2000, 'd');
        w.SetSaveUrl(url.constData());
        w.SetName(QByteArray(600, 'n').constData());
        w.SetKey(nullptr);
        QCOMPARE(w.GetSaveUrl(), url);
        QCOMPARE(w.GetName().size(), 600);
        QCOMPARE(w.GetKey(), QByteArray());
    }
};

QTEST_MAIN(TestDownLoadItemWidget)
#include "tst_downloaditemwidget.moc"
