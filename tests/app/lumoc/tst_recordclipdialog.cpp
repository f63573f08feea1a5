// The clip dialog: URL keys read and replaced whole, the format offered, the folder chooser's
// cancel, and what the confirm writes into the clip.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include "downloadfixture.h"
#include "lumoc/playback/recordclipdialog.h"

using downloadfixture::At;

namespace {

const QString kTarget = "filew://local/type=rec&format=dav&pathname=/srv/rec";

}  // namespace

class TestRecordClipDialog : public QObject {
    Q_OBJECT

    static QLabel* Label(QWidget* d, const char* name) { return d->findChild<QLabel*>(name); }

private slots:
    void cleanup() { RecordClipDialog::SetFolderChooser(nullptr); }

    void getKey_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("pathname last") << kTarget << "pathname="
                                       << "/srv/rec";
        QTest::newRow("filename after") << kTarget + "&filename=Gate.mp4"
                                        << "pathname="
                                        << "/srv/rec";
        QTest::newRow("name is not pathname") << kTarget << "name="
                                              << "";
        QTest::newRow("key without =") << kTarget << "format"
                                       << "dav";
        QTest::newRow("value with = and &") << "filew://local/type=rec&format=dav&pathname=/a&b=c"
                                            << "pathname="
                                            << "/a&b=c";
        QTest::newRow("missing key") << kTarget << "filename="
                                     << "";
        QTest::newRow("not an address") << "pathname=/x"
                                        << "pathname="
                                        << "";
        QTest::newRow("empty") << ""
                               << "pathname="
                               << "";
    }
    void getKey() {
        QFETCH(QString, url);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(RecordClipDialog::get_string_by_key(url, key), value);
    }

    void setKey_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("result");
        QTest::newRow("format swap") << kTarget << "format="
                                     << "mp4"
                                     << "filew://local/type=rec&format=mp4&pathname=/srv/rec";
        QTest::newRow("pathname before filename")
            << kTarget + "&filename=Gate.mp4"
            << "pathname="
            << "/home/op/clips/"
            << "filew://local/type=rec&format=dav&pathname=/home/op/clips/&filename=Gate.mp4";
        QTest::newRow("missing key unchanged") << kTarget << "filename="
                                               << "x" << kTarget;
        QTest::newRow("part of another key unchanged") << kTarget << "name="
                                                       << "x" << kTarget;
        QTest::newRow("not an address unchanged") << "a=b"
                                                  << "a="
                                                  << "c"
                                                  << "a=b";
    }
    void setKey() {
        QFETCH(QString, url);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, result);
        const QString out = RecordClipDialog::set_string_by_key(url, key, value);
        QCOMPARE(out, result);
        if (out != url) QCOMPARE(RecordClipDialog::get_string_by_key(out, key), value);
    }

    void modes_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("times");
        QTest::newRow("download") << 0 << "K0069_strDownLoad" << false;
        QTest::newRow("cut") << 1 << "K3539_Cut" << true;
    }
    void modes() {
        QFETCH(int, mode);
        QFETCH(QString, title);
        QFETCH(bool, times);
        RecordClipDialog d(nullptr, mode);
        QCOMPARE(d.GetTitle(), title);
        QCOMPARE(d.width(), 500);
        QCOMPARE(!Label(&d, "timeEdit_start")->isHidden(), times);
        QCOMPARE(!Label(&d, "label_begin")->isHidden(), times);
        QVERIFY(Label(&d, "label_savePathContent")->isHidden());
        QVERIFY(!Label(&d, "label_format")->isHidden());
        auto* combo = d.findChild<QComboBox*>("comboBox_format");
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->currentText(), QString("mp4"));
        QCOMPARE(d.GetFormat(), 3);
        combo->setCurrentIndex(2);
        QCOMPARE(d.GetFormat(), 2);
    }

    void initFillsTheForm() {
        RecordClipInfo clip;
        clip.SetClipStart(At(8, 5, 9));
        clip.SetClipEnd(At(18, 0, 0));
        clip.SetUrl(kTarget.toUtf8().constData());
        RecordClipDialog d(nullptr, 1);
        d.SetClipInfo(&clip);
        d.Init();
        QCOMPARE(Label(&d, "timeEdit_start")->text(), QString("08:05:09"));
        QCOMPARE(Label(&d, "timeEdit_end")->text(), QString("18:00:00"));
        QCOMPARE(Label(&d, "label_savePathContent")->text(), QString("/srv/rec"));
        QCOMPARE(Label(&d, "label_begin")->text(), QString("K3703_StartTime :"));
        QCOMPARE(Label(&d, "label_format")->text(), QString("K3524_FileFormat"));
    }

    // A cancelled choice keeps the folder shown; a chosen one replaces it.
    void folderChooser() {
        RecordClipInfo clip;
        clip.SetUrl(kTarget.toUtf8().constData());
        RecordClipDialog d(nullptr, 1);
        d.SetClipInfo(&clip);
        d.Init();
        QString startedAt;
        QString answer;
        QString askedTitle;
        RecordClipDialog::SetFolderChooser(
            [&](QWidget*, const QString& title, const QString& start) -> QString {
                startedAt = start;
                askedTitle = title;
                return answer;
            });
        d.on_open_file();
        QCOMPARE(askedTitle, QString("K2350_Save"));
        QCOMPARE(startedAt, QString("/srv/rec"));
        QCOMPARE(Label(&d, "label_savePathContent")->text(), QString("/srv/rec"));
        answer = "/home/op/clips";
        d.on_open_file();
        QCOMPARE(Label(&d, "label_savePathContent")->text(), QString("/home/op/clips/"));
        answer.clear();
        d.on_open_file();
        QCOMPARE(startedAt, QString("/home/op/clips/"));
        QCOMPARE(Label(&d, "label_savePathContent")->text(), QString("/home/op/clips/"));
    }

    void confirmWritesTheTarget() {
        RecordClipInfo clip;
        clip.SetUrl((kTarget + "&filename=Gate.dav").toUtf8().constData());
        RecordClipDialog d(nullptr, 0);
        d.SetClipInfo(&clip);
        d.Init();
        RecordClipDialog::SetFolderChooser(
            [](QWidget*, const QString&, const QString&) { return QString(); });
        d.on_open_file();  // cancelled
        d.findChild<QComboBox*>("comboBox_format")->setCurrentIndex(0);
        int result = -1;
        QTimer::singleShot(0, &d, [&]() { d.findChild<QPushButton*>("InfraConfirmButton")->click(); });
        result = d.exec(INFRA::ShowWindowModal);
        QCOMPARE(result, 1);
        QCOMPARE(QString::fromUtf8(clip.GetUrl()),
                 QString("filew://local/type=rec&format=mp4&pathname=/srv/rec&filename=Gate.dav"));
    }

    void unsetUrl() {
        RecordClipInfo clip;
        RecordClipDialog d(nullptr, 0);
        d.SetClipInfo(&clip);
        d.Init();
        QCOMPARE(Label(&d, "label_savePathContent")->text(), QString());
        QTimer::singleShot(0, &d, [&]() { d.findChild<QPushButton*>("InfraConfirmButton")->click(); });
        QCOMPARE(d.exec(INFRA::ShowWindowModal), 1);
        QCOMPARE(QString::fromUtf8(clip.GetUrl()), QString());
        clip.Reset();
        QVERIFY(!clip.GetUrl());
        QVERIFY(clip.GetClipStart().IsEmpty());
    }
};

QTEST_MAIN(TestRecordClipDialog)
#include "tst_recordclipdialog.moc"
