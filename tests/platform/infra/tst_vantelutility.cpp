// Languages (translator files by key, in subfolders, refused keys), the saved language, the
// autostart entry, 8-bit texts, and the client number.
#include <QLibraryInfo>
#include <QtTest>
#include <QTextCodec>

#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vantelutility.h"
#include "testsupport.h"

namespace {

// Writes a one-message translator source and compiles it with lrelease.
bool makeQm(const QString& qmPath, const QString& translation) {
    const QString ts = qmPath + QStringLiteral(".ts");
    QFile f(ts);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\">\n"
                           "<context><name>QObject</name><message><source>K6859_Runnig</source>"
                           "<translation>%1</translation></message></context>\n</TS>\n")
                .arg(translation)
                .toUtf8());
    f.close();
    QDir().mkpath(QFileInfo(qmPath).absolutePath());
    const int rc = QProcess::execute(QStringLiteral(LRELEASE_EXECUTABLE),
                                     {QStringLiteral("-silent"), ts, QStringLiteral("-qm"), qmPath});
    QFile::remove(ts);
    return rc == 0 && QFileInfo(qmPath).size() > 0;
}

QString running() {
    return QObject::tr("K6859_Runnig");
}

}  // namespace

class TestVantelUtility : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_prog;

private slots:
    void initTestCase() {
        // Paths on this platform are UTF-8, whatever locale the test runs under.
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        QVERIFY(m_dir.isValid());
        m_prog = m_dir.filePath(QStringLiteral("prog"));
        QDir().mkpath(m_prog + QStringLiteral("/Languages/more"));
        INFRA::TestSeams::SetProgramDir(m_prog);
        QVERIFY(
            makeQm(m_prog + QStringLiteral("/Languages/English.qm"), QStringLiteral("is already running.")));
        QVERIFY(makeQm(m_prog + QStringLiteral("/Languages/Chinese.qm"), QStringLiteral("已在运行。")));
        QVERIFY(
            makeQm(m_prog + QStringLiteral("/Languages/more/Deutsch.qm"), QStringLiteral("läuft bereits.")));
        QFile broken(m_prog + QStringLiteral("/Languages/Broken.qm"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("this is no translator file");
    }

    void programDir() { QCOMPARE(VantelUtility::GetModuleFileInformations(), m_prog); }

    void switchLanguage_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("shown");
        QTest::newRow("english") << "English" << true << "is already running.";
        QTest::newRow("chinese") << "Chinese" << true << "已在运行。";
        QTest::newRow("in a subfolder") << "Deutsch" << true << "läuft bereits.";
        QTest::newRow("missing keeps chinese") << "Klingon" << false << "已在运行。";
        QTest::newRow("not a translator") << "Broken" << false << "已在运行。";
        QTest::newRow("empty key") << "" << false << "已在运行。";
        QTest::newRow("path in key") << "../Languages/English" << false << "已在运行。";
    }
    void switchLanguage() {
        QFETCH(QString, key);
        QFETCH(bool, loaded);
        QFETCH(QString, shown);
        if (!loaded) QVERIFY(VantelUtility::initLanguage(QStringLiteral("Chinese")));
        QCOMPARE(VantelUtility::initLanguage(key), loaded);
        QCOMPARE(running(), shown);
        if (loaded) QCOMPARE(VantelUtility::CurrentLanguage(), key);
    }

    // Qt's own texts (its file dialogs, standard buttons) follow the chosen language too.
    void qtTextsFollowTheLanguage() {
        const QString qtFolder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
        VT_REQUIRE(QFileInfo::exists(qtFolder + "/qtbase_zh_CN.qm"), "Qt's translations are not installed (qttranslations5-l10n)");
        auto open = [] { return QCoreApplication::translate("QFileDialog", "&Open"); };
        QVERIFY(VantelUtility::initLanguage(QStringLiteral("Chinese")));
        QVERIFY2(open() != QLatin1String("&Open"), qPrintable(open()));
        QVERIFY(VantelUtility::initLanguage(QStringLiteral("English")));
        QCOMPARE(open(), QStringLiteral("&Open"));
        QVERIFY(VantelUtility::initLanguage(QStringLiteral("Chinese")));
        QVERIFY(open() != QLatin1String("&Open"));
    }

    void languageChangeReachesWidgets() {
        QWidget w;
        struct Spy : QObject {
            int changes = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::LanguageChange) ++changes;
                return false;
            }
        } spy;
        w.installEventFilter(&spy);
        QVERIFY(VantelUtility::initLanguage(QStringLiteral("English")));
        QTRY_VERIFY(spy.changes > 0);
    }

    void savedLanguage_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("installed");
        QTest::newRow("saved chinese") << "[skin]\nlanguage=Chinese\n"
                                       << "Chinese";
        QTest::newRow("nothing saved") << ""
                                       << "English";
        QTest::newRow("saved key without file") << "[skin]\nlanguage=Klingon\n"
                                                << "English";
    }
    void savedLanguage() {
        QFETCH(QString, ini);
        QFETCH(QString, installed);
        QFile f(m_prog + QStringLiteral("/probe.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(ini.toUtf8());
        f.close();
        QCOMPARE(VantelUtility::InitLanguageByFile(QStringLiteral("probe.ini")), installed);
        QCOMPARE(VantelUtility::CurrentLanguage(), installed);
        // The bare name and "/name" both mean the file in the program directory.
        QCOMPARE(VantelUtility::InitLanguageByFile(QStringLiteral("/probe.ini")), installed);
    }

    void clientNumberIsKept() {
        const QString n1 = VantelUtility::SetP2PClinetID(QStringLiteral("client.ini"));
        QVERIFY(!n1.isEmpty());
        QCOMPARE(VantelUtility::SetP2PClinetID(QStringLiteral("client.ini")), n1);
        QSettings s(m_prog + QStringLiteral("/client.ini"), QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("client/number")).toString(), n1);
    }

    void autostartEntry() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        const QString entry = config.path() + QStringLiteral("/autostart/") +
                              QCoreApplication::applicationName() + QStringLiteral(".desktop");
        QCOMPARE(VantelUtility::AutoRunEntryPath(), entry);
        QVERIFY(!VantelUtility::AutoRunWithSystem());
        QVERIFY(VantelUtility::AutoRunWithSystem(true));
        QVERIFY(VantelUtility::AutoRunWithSystem());
        QFile f(entry);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.startsWith(QLatin1String("[Desktop Entry]\n")));
        QVERIFY(text.contains(QLatin1String("Type=Application\n")));
        QVERIFY(text.contains(QStringLiteral("Exec=") + QCoreApplication::applicationFilePath()) ||
                text.contains(QStringLiteral("Exec=\"")));
        f.close();

        // A desktop that switched the entry off.
        QVERIFY(f.open(QIODevice::Append));
        f.write("Hidden=true\n");
        f.close();
        QVERIFY(!VantelUtility::AutoRunWithSystem());

        QVERIFY(VantelUtility::AutoRunWithSystem(false));
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!VantelUtility::AutoRunWithSystem());
        QVERIFY(VantelUtility::AutoRunWithSystem(false));  // already off
        qunsetenv("XDG_CONFIG_HOME");
    }

    // Switching autostart on over an existing entry: the arguments of an entry that starts this
    // program stay as written; another program's entry is replaced whole.
    void autostartKeepsOurArguments_data() {
        const QString ours = QCoreApplication::applicationFilePath();
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("after");
        QTest::newRow("ours, -s") << ours + " -s" << ours + " -s";
        QTest::newRow("ours quoted, -s") << "\"" + ours + "\" -s" << ours + " -s";
        QTest::newRow("ours, no arguments") << ours << ours;
        QTest::newRow("ours, quoted arguments") << ours + " \"a b\" \\\\$x" << ours + " \"a b\" \\\\$x";
        QTest::newRow("another copy") << "\"/opt/vantel/VantelServer\" -s" << ours;
        QTest::newRow("another copy, same name")
            << "/opt/vantel/" + QFileInfo(ours).fileName() + " -s" << ours;
        QTest::newRow("open quote") << "\"" + ours + " -s" << ours;
        QTest::newRow("empty") << QString() << ours;
    }
    void autostartKeepsOurArguments() {
        QFETCH(QString, exec);
        QFETCH(QString, after);
        QVERIFY2(!QCoreApplication::applicationFilePath().contains(' '),
                 "the test program's path needs no quoting");
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        const QString entry = VantelUtility::AutoRunEntryPath();
        QVERIFY(QDir().mkpath(QFileInfo(entry).absolutePath()));
        QFile f(entry);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Desktop Entry]\nType=Application\nExec=" + exec.toUtf8() + "\nHidden=true\n");
        f.close();
        QVERIFY(!VantelUtility::AutoRunWithSystem());
        QVERIFY(VantelUtility::AutoRunWithSystem(true));
        QVERIFY(VantelUtility::AutoRunWithSystem());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(f.readAll()).split('\n').filter(QRegularExpression("^Exec="));
        QCOMPARE(lines, QStringList{"Exec=" + after});
        qunsetenv("XDG_CONFIG_HOME");
    }

    void localChar_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("result");
        QTest::newRow("fits") << "/home/op/security.xml" << 64 << 21;
        QTest::newRow("just fits") << "abcd" << 5 << 4;
        QTest::newRow("one too long") << "abcde" << 5 << -1;
        QTest::newRow("utf-8 counts bytes") << "安全.xml" << 8 << -1;
        QTest::newRow("empty") << "" << 1 << 0;
        QTest::newRow("a character without an encoding") << QString("a") + QChar(ushort(0xDC00)) << 64 << -1;
    }
    void localChar() {
        QFETCH(QString, text);
        QFETCH(int, size);
        QFETCH(int, result);
        QByteArray buf(size + 4, '#');
        QCOMPARE(VantelUtility::getLocalChar(text, buf.data(), size), result);
        if (result >= 0)
            QCOMPARE(QByteArray(buf.constData()), text.toUtf8());
        else
            QCOMPARE(buf.at(0), '\0');  // a cut path is never handed on
        QCOMPARE(buf.mid(size), QByteArray(4, '#'));
    }

    void storedPassword() {
        QString out;
        QCOMPARE(VantelUtility::DecryptStringEx(VantelUtility::EncryptStringEx(QStringLiteral("päss")), out),
                 0);
        QCOMPARE(out, QStringLiteral("päss"));
        QCOMPARE(VantelUtility::DecryptStringEx(QStringLiteral("plain"), out), -1);
        QVERIFY(out.isEmpty());
    }

    void trayNames() {
        QCOMPARE(VantelUtility::GetTrayName(QStringLiteral("RecorderServer")), QStringLiteral("KestoServer"));
        QCOMPARE(VantelUtility::GetTrayName(QStringLiteral("EventServer")), QStringLiteral("PavoServer"));
    }
};

QTEST_MAIN(TestVantelUtility)
#include "tst_vantelutility.moc"
