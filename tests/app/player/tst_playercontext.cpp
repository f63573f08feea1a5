// The application context's utilities: language switching, font and skin, eliding, the 8-bit
// conversions, opening the file manager and the clip name.
#include <QtTest>

#include <QApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QTemporaryDir>

#include "VantelInfraAPI/testseams.h"
#include "player/playercontext.h"
#include "urlrecorder.h"

namespace {

// Compiles a translation of (context "T") source -> text pairs into path.
bool WriteQm(const QString& path, const QList<QPair<QString, QString>>& texts) {
    QString ts = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\">\n"
                 "<context><name>T</name>\n";
    for (const auto& t : texts)
        ts += QString("<message><source>%1</source><translation>%2</translation></message>\n").arg(t.first, t.second);
    ts += "</context>\n</TS>\n";
    const QString tsPath = path + ".ts";
    QFile file(tsPath);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(ts.toUtf8());
    file.close();
    QProcess lrelease;
    lrelease.start(qEnvironmentVariable("LRELEASE", "lrelease"), {"-silent", tsPath, "-qm", path});
    return lrelease.waitForFinished(30000) && lrelease.exitCode() == 0 && QFileInfo::exists(path);
}

QString T(const char* source) {
    return QCoreApplication::translate("T", source);
}

}  // namespace

class TestPlayerContext : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void languageSwitch();
    void languageRefused_data();
    void languageRefused();
    void fontAndSkin();
    void elideText_data();
    void elideText();
    void toLocal8Bit_data();
    void toLocal8Bit();
    void fromLocal8Bit();
    void folderToOpen_data();
    void folderToOpen();
    void openInExplorer();
    void formatClipName_data();
    void formatClipName();

private:
    QTemporaryDir m_dir;
    CPlayerContext* m_context = nullptr;
};

void TestPlayerContext::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_context = new CPlayerContext(m_dir.filePath("app"), m_dir.filePath("config"), m_dir.filePath("data"));
    m_context->languageNames = QStringList{"English", QString::fromUtf8("简体中文"), "Italiano"};
    while (m_context->languageNames.size() < CPlayerContext::LanguageKeys().size())
        m_context->languageNames << QString("Language %1").arg(m_context->languageNames.size());
    QVERIFY(QDir().mkpath(m_context->languageDir));
    const QString dir = m_context->languageDir;
    QVERIFY(WriteQm(dir + "/English.qm", {{"hello", "Hello"}, {"only_english", "Only English"}}));
    QVERIFY(WriteQm(dir + "/Chinese.qm",
                    {{"hello", QString::fromUtf8("你好")}, {"bye", QString::fromUtf8("再见")},
                     {"only_english", QString::fromUtf8("中文")}}));
    QVERIFY(WriteQm(dir + "/Italian.qm", {{"hello", "Ciao"}}));  // a partial translation
    QFile broken(dir + "/Polish.qm");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a translation");
}

void TestPlayerContext::init() {
    INFRA::TestSeams::SetScriptedReply(QString());
    INFRA::TestSeams::SetUiLogPath(QString());
}

// Each switch replaces the texts of the language before: none of them is left behind, and
// what a partial translation lacks comes out in English.
void TestPlayerContext::languageSwitch() {
    QVERIFY(m_context->LoadLanguage(QString::fromUtf8("简体中文")));
    QCOMPARE(T("hello"), QString::fromUtf8("你好"));
    QCOMPARE(T("bye"), QString::fromUtf8("再见"));

    QVERIFY(m_context->LoadLanguage("Italiano"));
    QCOMPARE(T("hello"), QString("Ciao"));
    QCOMPARE(T("only_english"), QString("Only English"));
    QCOMPARE(T("bye"), QString("bye"));  // not the Chinese text

    QVERIFY(m_context->LoadLanguage("English"));
    QCOMPARE(T("hello"), QString("Hello"));
    QCOMPARE(T("bye"), QString("bye"));

    QVERIFY(m_context->LoadLanguage(QString::fromUtf8("简体中文")));
    QVERIFY(m_context->LoadLanguage("English"));  // and back again
    QCOMPARE(T("only_english"), QString("Only English"));
    QCOMPARE(T("bye"), QString("bye"));
}

// A language that cannot be loaded leaves the one shown as it was.
void TestPlayerContext::languageRefused_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("no such display name") << "Klingon";
    QTest::newRow("file missing") << "Language 13";  // Czech
    QTest::newRow("file unreadable") << "Language 3";  // Polish
}

void TestPlayerContext::languageRefused() {
    QFETCH(QString, name);
    QVERIFY(m_context->LoadLanguage(QString::fromUtf8("简体中文")));
    QVERIFY(!m_context->LoadLanguage(name));
    QCOMPARE(T("hello"), QString::fromUtf8("你好"));
    QCOMPARE(T("bye"), QString::fromUtf8("再见"));
}

void TestPlayerContext::fontAndSkin() {
    m_context->fontFamily = "DejaVu Sans";
    m_context->ApplyFont();
    QCOMPARE(QApplication::font().family(), QString("DejaVu Sans"));

    QVERIFY(QDir().mkpath(QFileInfo(m_context->styleSheetPath).absolutePath()));
    QFile qss(m_context->styleSheetPath);
    QVERIFY(qss.open(QIODevice::WriteOnly));
    qss.write(QString::fromUtf8("QLabel { font-family: \"简体\"; }").toUtf8());
    qss.close();
    m_context->LoadSkin();
    QCOMPARE(qApp->styleSheet(), QString::fromUtf8("QLabel { font-family: \"简体\"; }"));
    QVERIFY(qss.remove());
    m_context->LoadSkin();
    QCOMPARE(qApp->styleSheet(), QString());
}

void TestPlayerContext::elideText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<unsigned>("width");
    QTest::addColumn<int>("charWidth");
    QTest::addColumn<int>("reserve");
    QTest::addColumn<QString>("expected");
    QTest::newRow("12 into 10 keeps 7") << "abcdefghijkl" << 100u << 10 << 3 << "abcdefg...";
    QTest::newRow("10 into 10 unchanged") << "abcdefghij" << 100u << 10 << 3 << "abcdefghij";
    QTest::newRow("41 at 200/5 keeps 30") << QString(41, 'x') << 200u << 5 << 10 << QString(30, 'x') + "...";
    QTest::newRow("reserve above the room") << "abcdefghijkl" << 20u << 10 << 5 << "...";
    QTest::newRow("character width 0 taken as 1") << "abcdef" << 4u << 0 << 1 << "abc...";
    QTest::newRow("empty") << "" << 0u << 5 << 10 << "";
}

void TestPlayerContext::elideText() {
    QFETCH(QString, text);
    QFETCH(unsigned, width);
    QFETCH(int, charWidth);
    QFETCH(int, reserve);
    QFETCH(QString, expected);
    CPlayerContext::ElideText(text, width, static_cast<unsigned char>(charWidth), reserve);
    QCOMPARE(text, expected);
}

void TestPlayerContext::toLocal8Bit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("fits") << "/tmp/a.dav" << 256 << 0 << QByteArray("/tmp/a.dav");
    // A cut path would name another file: a text that does not fit whole is not handed on.
    QTest::newRow("too long: nothing, not a cut text") << "abcdef" << 4 << -1 << QByteArray("");
    QTest::newRow("one byte: only the end") << "abc" << 1 << -1 << QByteArray("");
    QTest::newRow("UTF-8 whole") << QString::fromUtf8("录像") << 256 << 0
                                 << QByteArray("\xe5\xbd\x95\xe5\x83\x8f");
    QTest::newRow("UTF-8 too long: nothing") << QString::fromUtf8("录像") << 6 << -1 << QByteArray("");
    QTest::newRow("a character without an encoding")
        << QString("a") + QChar(ushort(0xDC00)) << 256 << -1 << QByteArray("");
}

void TestPlayerContext::toLocal8Bit() {
    QFETCH(QString, text);
    QFETCH(int, size);
    QFETCH(QByteArray, expected);
    QByteArray buffer(size + 8, '#');  // guard bytes after the given size
    QTEST(CPlayerContext::ToLocal8Bit(text, buffer.data(), size), "result");
    QCOMPARE(QByteArray(buffer.constData()), expected);
    QCOMPARE(buffer.mid(size), QByteArray(8, '#'));
}

void TestPlayerContext::fromLocal8Bit() {
    QString out = "unchanged";
    QCOMPARE(CPlayerContext::FromLocal8Bit(nullptr, out), -1);
    QCOMPARE(out, QString("unchanged"));
    QCOMPARE(CPlayerContext::FromLocal8Bit("\xe5\xbd\x95/a.dav", out), 0);
    QCOMPARE(out, QString::fromUtf8("录/a.dav"));
    char buffer[4];
    QCOMPARE(CPlayerContext::ToLocal8Bit("x", nullptr, 256), -1);
    QCOMPARE(CPlayerContext::ToLocal8Bit("x", buffer, 0), -1);
}

void TestPlayerContext::folderToOpen_data() {
    QTest::addColumn<QString>("path");    // relative to the temporary folder; "" for the empty path
    QTest::addColumn<QString>("folder");  // relative to it; "-" for none
    QTest::newRow("existing file") << "out/a b.jpg" << "out";
    QTest::newRow("file that is gone") << "out/gone.jpg" << "out";
    QTest::newRow("folder itself") << "out" << "out";
    QTest::newRow("folder with trailing slash") << "out/" << "out";
    QTest::newRow("missing folders") << "out/x/y/z.dav" << "out";
    QTest::newRow("empty path") << "" << "-";
}

void TestPlayerContext::folderToOpen() {
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QVERIFY(QDir().mkpath(m_dir.filePath("out")));
    QFile file(m_dir.filePath("out/a b.jpg"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString full = path.isEmpty() ? QString() : m_dir.filePath(path);
    const QString expected = folder == "-" ? QString() : QDir::cleanPath(m_dir.filePath(folder));
    QCOMPARE(CPlayerContext::FolderToOpen(full), expected);
    QVERIFY(!QFileInfo::exists(m_dir.filePath("out/x")));
}

void TestPlayerContext::openInExplorer() {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    const QString log = m_dir.filePath("ui.log");
    INFRA::TestSeams::SetUiLogPath(log);
    QVERIFY(QDir().mkpath(m_dir.filePath("with space")));
    CPlayerContext::OpenInExplorer(m_dir.filePath("with space/clip.dav"));
    CPlayerContext::OpenInExplorer(QString());
    INFRA::TestSeams::SetScriptedReply("ok");  // a scripted run records but opens nothing
    CPlayerContext::OpenInExplorer(m_dir.filePath("with space"));
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(recorder.urls, QList<QUrl>{QUrl::fromLocalFile(QDir::cleanPath(m_dir.filePath("with space")))});
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray line = "explorer\t" + QDir::cleanPath(m_dir.filePath("with space")).toUtf8() + "\n";
    QCOMPARE(file.readAll(), line + line);
}

void TestPlayerContext::formatClipName_data() {
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("end");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QDateTime({2024, 5, 1}, {8, 0, 10}) << QDateTime({2024, 5, 1}, {8, 0, 40})
                           << "2024/05/01  08:00:10_08:00:40";
    QTest::newRow("over midnight") << QDateTime({2023, 12, 31}, {23, 59, 59}) << QDateTime({2024, 1, 1}, {0, 0, 9})
                                   << "2023/12/31  23:59:59_00:00:09";
}

void TestPlayerContext::formatClipName() {
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, end);
    QFETCH(QString, expected);
    auto make = [](const QDateTime& t) {
        CLumoTime time;
        time.SetYear(t.date().year());
        time.SetMonth(t.date().month());
        time.SetDay(t.date().day());
        time.SetHour(t.time().hour());
        time.SetMinute(t.time().minute());
        time.SetSecond(t.time().second());
        return time;
    };
    QCOMPARE(QString::fromUtf8(CPlayerContext::FormatClipName(make(start), make(end)).GetBuffer()), expected);
}

QTEST_MAIN(TestPlayerContext)
#include "tst_playercontext.moc"
