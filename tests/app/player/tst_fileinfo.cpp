// The file information dialog: sizes, codec names, frame rate, the path row and its button.
#include <QtTest>

#include <QDesktopServices>
#include "testsupport.h"

#include "dialogtesting.h"
#include "player/dialogs/fileinfo.h"
#include "player/playfile.h"
#include "urlrecorder.h"

namespace {

CLumoTime Time(int y, int mo, int d, int h, int mi, int s) {
    CLumoTime t;
    t.SetYear(y);
    t.SetMonth(mo);
    t.SetDay(d);
    t.SetHour(h);
    t.SetMinute(mi);
    t.SetSecond(s);
    return t;
}

QString Text(QWidget* dialog, const char* label) {
    return dialog->findChild<QLabel*>(label)->text();
}

}  // namespace

class TestFileInfo : public QObject {
    Q_OBJECT
private slots:
    // Boxes answer as the tests script, not as the caller's environment says.
    void initTestCase() { qunsetenv("VANTEL_UI_REPLY"); }
    void sizeText_data();
    void sizeText();
    void codecName_data();
    void codecName();
    void shownFacts_data();
    void shownFacts();
    void longNameAndPathFitTheirLabels();
    void openButtonOpensTheFolder();
    void okAndCloseResults();
    void captionsFollowTheLanguage();
    void languages_data();
    void languages();
};

// Sizes in units of 1024 with a true decimal tenth, as the play list shows them.
void TestFileInfo::sizeText_data() {
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << quint64(0) << "0.0 B";
    QTest::newRow("1023") << quint64(1023) << "1023.0 B";
    QTest::newRow("1024") << quint64(1024) << "1024.0 B";
    QTest::newRow("1025") << quint64(1025) << "1.0 KB";
    QTest::newRow("1536 is one and a half, not 1.512") << quint64(1536) << "1.5 KB";
    QTest::newRow("1048576") << quint64(1048576) << "1024.0 KB";
    QTest::newRow("1.5 MiB") << quint64(1572864) << "1.5 MB";
    QTest::newRow("6 GiB, past 32 bits") << quint64(6442450944ULL) << "6.0 GB";
}

void TestFileInfo::sizeText() {
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    PlayFileInfo info;
    info.size = bytes;
    FileInfo dialog;
    dialog.SetFile(info);
    QCOMPARE(Text(&dialog, "labelFileLength"), text);
}

void TestFileInfo::codecName_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    const char* named[] = {"NONE", "H264", "H265", "JPEG", "PCMA", "PCMU", "ADPCM", "MP3", "AAC", "PCM", "SMART", "CURRC"};
    for (int code = 0; code < 12; ++code) QTest::addRow("%d", code) << code << QString(named[code]);
    QTest::newRow("33") << 33 << "UYVY";
    QTest::newRow("34") << 34 << "YV12";
    QTest::newRow("35") << 35 << "RGB";
    QTest::newRow("36") << 36 << "ARGB";
    QTest::newRow("12") << 12 << "H265+";
    QTest::newRow("15") << 15 << "H265+";
    QTest::newRow("16") << 16 << "H264+";
    QTest::newRow("31") << 31 << "H264+";
    QTest::newRow("32") << 32 << "H265+";
    QTest::newRow("37") << 37 << "H265+";
    QTest::newRow("40") << 40 << "H265+";
    QTest::newRow("255") << 255 << "H265+";
}

void TestFileInfo::codecName() {
    QFETCH(int, code);
    QFETCH(QString, name);
    QCOMPARE(FileInfo::CodecName(quint8(code)), name);
}

// From a play file to the labels: the path row only for a local file, "--" for an unknown
// (negative) rate, a rate of 0 as it is.
void TestFileInfo::shownFacts_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("frameRate");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<bool>("pathRow");
    QTest::newRow("local file, 25 fps") << "filer://local/type=rec&format=dav&filename=/rec/a.dav" << 25 << "25"
                                        << true;
    QTest::newRow("stream, no rate") << "rtsp://192.168.1.10:554/live" << -1 << "--" << false;
    QTest::newRow("recorder disk, rate 0") << "lumofs://disk=sdb1&filename=1_2_3_4_0_6.dav" << 0 << "0" << false;
}

void TestFileInfo::shownFacts() {
    QFETCH(QString, url);
    QFETCH(int, frameRate);
    QFETCH(QString, rate);
    QFETCH(bool, pathRow);
    CLumoFile file;
    file.SetUrl(url.toStdString());
    file.timeS = Time(2024, 5, 1, 10, 0, 0);
    file.timeE = Time(2024, 5, 1, 11, 30, 5);
    file.width = 1920;
    file.height = 1080;
    file.videoCodec = 2;
    file.audioCodec = 4;
    file.frameRate = frameRate;
    file.length = 1536;
    FileInfo dialog;
    dialog.SetFile(PlayFileInfo::FromFile(file));
    QCOMPARE(Text(&dialog, "labelFileTime"), QString("2024/05/01 10:00:00_11:30:05"));
    QCOMPARE(Text(&dialog, "labelFileLength"), QString("1.5 KB"));
    QCOMPARE(Text(&dialog, "labelResolutionInfo"), QString("1920*1080"));
    QCOMPARE(Text(&dialog, "labelVidoeFormatInfo"), QString("H265"));
    QCOMPARE(Text(&dialog, "labelAudioFormatInfo"), QString("PCMA"));
    QCOMPARE(Text(&dialog, "labelFrameRateInfo"), rate);
    for (const char* name : {"labelFilePath", "labelFilePathInfo", "btnOpen"})
        QCOMPARE(dialog.findChild<QWidget*>(name)->isHidden(), !pathRow);
    if (pathRow) QCOMPARE(dialog.findChild<QLabel*>("labelFilePathInfo")->toolTip(), QString("/rec/a.dav"));
    QVERIFY(!Text(&dialog, "labelFileName").isEmpty());
    QCOMPARE(dialog.windowFlags() & PlayerDialog::kCoverFlags, PlayerDialog::kCoverFlags);
}

// Elided texts fit the label they are in; the tool tip holds the whole text.
void TestFileInfo::longNameAndPathFitTheirLabels() {
    PlayFileInfo info;
    info.name = QString(120, QChar('n')) + ".dav";
    info.path = "/records/" + QString(200, QChar('p')) + "/end.dav";
    FileInfo dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.SetFile(info);
    for (const char* name : {"labelFileName", "labelFilePathInfo"}) {
        auto* label = dialog.findChild<QLabel*>(name);
        QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->width(), name);
        QVERIFY(label->text().contains(QChar(0x2026)));
        QCOMPARE(label->toolTipDuration(), 10000);
    }
    QCOMPARE(dialog.findChild<QLabel*>("labelFileName")->toolTip(), info.name);
    QCOMPARE(dialog.findChild<QLabel*>("labelFilePathInfo")->toolTip(), info.path);
    QVERIFY(dialog.findChild<QLabel*>("labelFilePathInfo")->text().endsWith("end.dav"));
}

void TestFileInfo::openButtonOpensTheFolder() {
    QTemporaryDir dir;
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    PlayFileInfo info;
    info.name = "a.dav";
    info.path = dir.filePath("a.dav");
    FileInfo dialog;
    dialog.SetFile(info);
    dialog.findChild<QPushButton*>("btnOpen")->click();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(recorder.urls, QList<QUrl>{QUrl::fromLocalFile(QDir::cleanPath(dir.path()))});
}

void TestFileInfo::okAndCloseResults() {
    FileInfo dialog;
    QTimer::singleShot(0, &dialog, [&dialog]() { StandardButton(&dialog, QDialogButtonBox::Ok)->click(); });
    QCOMPARE(dialog.exec(), 1);
    QTimer::singleShot(0, &dialog, [&dialog]() { dialog.findChild<QPushButton*>("btnClose")->click(); });
    QCOMPARE(dialog.exec(), 0);
}

// A language change sets the captions again and leaves the file's facts alone.
void TestFileInfo::captionsFollowTheLanguage() {
    PlayFileInfo info;
    info.size = 1536;
    info.videoCodec = 1;
    FileInfo dialog;
    dialog.SetFile(info);
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QTRY_COMPARE(Text(&dialog, "labelTittle"), QString("FileInfo:file_info"));
    QCOMPARE(Text(&dialog, "labelFrameRate"), QString("FileInfo:frame_rate"));
    QCOMPARE(StandardButton(&dialog, QDialogButtonBox::Ok)->text(), QString("FileInfo:OK"));
    QCOMPARE(Text(&dialog, "labelFileLength"), QString("1.5 KB"));
    QCOMPARE(Text(&dialog, "labelVidoeFormatInfo"), QString("H264"));
    QCoreApplication::removeTranslator(&translator);
    QTRY_COMPARE(Text(&dialog, "labelTittle"), QString("file_info"));
}

void TestFileInfo::languages_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::newRow("English") << 0 << "File information";
    QTest::newRow("Chinese") << 1 << QString::fromUtf8("文件信息");
}

void TestFileInfo::languages() {
    QFETCH(int, language);
    QFETCH(QString, title);
    VT_REQUIRE(LoadShippedLanguage(language), "VANTEL_BIN_DIR is not set");
    FileInfo dialog;
    PlayFileInfo info;
    info.path = "/r/a.dav";
    dialog.SetFile(info);
    QCOMPARE(Text(&dialog, "labelTittle"), title);
    QCOMPARE(FirstUntranslated(&dialog), QString());
    QVERIFY(LoadShippedLanguage(0));
}

QTEST_MAIN(TestFileInfo)
#include "tst_fileinfo.moc"
