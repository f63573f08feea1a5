// The console shell's pure parts: style sheets, run-time text, the port setting, languages, the
// stop command, and the default route.
#include <QtTest>
#include <sys/mman.h>
#include <unistd.h>

#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// Two pages, the second one unreadable: bytes put at the end of the first page cannot be read past.
struct GuardedBlock {
    char* base = nullptr;
    size_t page = 0;
    GuardedBlock() {
        page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* p = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base = static_cast<char*>(p);
        mprotect(base + page, page, PROT_NONE);
    }
    ~GuardedBlock() { munmap(base, 2 * page); }
    char* endBlock(const QByteArray& bytes) {
        char* at = base + page - bytes.size();
        memcpy(at, bytes.constData(), static_cast<size_t>(bytes.size()));
        return at;
    }
};

const char* kRoute =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "%1";

}  // namespace

class TestConsoleShell : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        // This run's own stop channels: other runs of the suite on the machine have theirs.
        qputenv("VANTEL_INSTANCE_SCOPE", QByteArray("tst_consoleshell-") + QByteArray::number(getpid()));
    }

    void styleSheet_data() {
        QTest::addColumn<QString>("defaultQss");
        QTest::addColumn<QString>("pictureQss");
        QTest::addColumn<QString>("expected");
        QTest::newRow("known key, several on one line")
            << "QLabel { color: #TextColor#; border: 1px solid #TextColor#; } QPushButton { color: "
               "#TextColor#; }"
            << ""
            << "QLabel { color: #262b33; border: 1px solid #262b33; } QPushButton { color: #262b33; }";
        QTest::newRow("several keys and lines")
            << "a { color: #MainColor#; }\nb { background: #PanelColor#; }\n"
            << ""
            << "a { color: #1f6fb2; }\nb { background: #ffffff; }\n";
        QTest::newRow("unknown key kept") << "a { color: #NoSuchColor#; }"
                                          << ""
                                          << "a { color: #NoSuchColor#; }";
        QTest::newRow("keys are case-sensitive") << "a { color: #textcolor#; }"
                                                 << ""
                                                 << "a { color: #textcolor#; }";
        QTest::newRow("selectors with number signs untouched")
            << "#InfraTitleBar { background: #TitleColor#; }"
            << ""
            << "#InfraTitleBar { background: #232a34; }";
        QTest::newRow("picture sheet appended last, unchanged")
            << "a { color: #MainColor#; }\n"
            << "#BtnMaximize { image: url(#MainColor#.png); }"
            << "a { color: #1f6fb2; }\n#BtnMaximize { image: url(#MainColor#.png); }";
        QTest::newRow("no default sheet") << ""
                                          << "p {}"
                                          << "p {}";
    }
    void styleSheet() {
        QFETCH(QString, defaultQss);
        QFETCH(QString, pictureQss);
        QFETCH(QString, expected);
        QMap<QString, QColor> colors;
        colors.insert(QStringLiteral("TextColor"), QColor(0x26, 0x2b, 0x33));
        colors.insert(QStringLiteral("MainColor"), QColor(0x1f, 0x6f, 0xb2));
        colors.insert(QStringLiteral("PanelColor"), QColor(Qt::white));
        colors.insert(QStringLiteral("TitleColor"), QColor(0x23, 0x2a, 0x34));
        QCOMPARE(ConsoleShell::BuildStyleSheet(defaultQss, pictureQss, colors), expected);
    }

    // Every colour key of the shipped default sheet is one the customisation knows.
    void shippedSheetHasNoUnknownKeys() {
        const QString path = qEnvironmentVariable("VANTEL_SOURCE_DIR") +
                             QStringLiteral("/resources/KestoServer/qss/default.qss");
        const QString text = QString::fromUtf8(readFile(path));
        QVERIFY(!text.isEmpty());
        const QString filled = ConsoleShell::SubstituteColors(text, INFRA::Customization::GetUxColor());
        QRegularExpression placeholder(QStringLiteral("#[A-Za-z]+Color#"));
        QVERIFY2(!placeholder.match(filled).hasMatch(), qPrintable(placeholder.match(filled).captured()));
    }

    void runTime_data() {
        QTest::addColumn<quint64>("ms");
        QTest::addColumn<QString>("text");
        const QString day = QObject::tr("K6590_Day");
        QTest::newRow("zero") << quint64(0) << "00:00:00";
        QTest::newRow("first tick") << quint64(1000) << "00:00:01";
        QTest::newRow("59 s") << quint64(59000) << "00:00:59";
        QTest::newRow("below a second") << quint64(999) << "00:00:00";
        QTest::newRow("last second of a day") << quint64(86399999) << "23:59:59";
        QTest::newRow("one day") << quint64(86400000) << QStringLiteral("1 %1 00:00:00").arg(day);
        QTest::newRow("1d 1h 1m 1s") << quint64(90061000) << QStringLiteral("1 %1 01:01:01").arg(day);
        QTest::newRow("a long run") << quint64(400) * 86400000ULL + 3600000ULL
                                    << QStringLiteral("400 %1 01:00:00").arg(day);
    }
    void runTime() {
        QFETCH(quint64, ms);
        QFETCH(QString, text);
        QCOMPARE(ConsoleShell::FormatRunTime(ms), text);
    }

    void portSetting_data() {
        QTest::addColumn<QByteArray>("ini");  // "-": no port line at all
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("repaired");
        QTest::newRow("absent") << QByteArray("-") << 8431 << true;
        QTest::newRow("not a number") << QByteArray("abc") << 8431 << true;
        QTest::newRow("empty") << QByteArray("") << 8431 << true;
        QTest::newRow("zero") << QByteArray("0") << 8431 << true;
        QTest::newRow("negative") << QByteArray("-5") << 8431 << true;
        QTest::newRow("lowest port") << QByteArray("1") << 1 << false;
        QTest::newRow("default") << QByteArray("8431") << 8431 << false;
        QTest::newRow("32767") << QByteArray("32767") << 32767 << false;
        QTest::newRow("40000 is a valid port") << QByteArray("40000") << 40000 << false;
        QTest::newRow("highest port") << QByteArray("65535") << 65535 << false;
        QTest::newRow("one above") << QByteArray("65536") << 8431 << true;
        QTest::newRow("far above, not its low bits") << QByteArray("74967") << 8431 << true;
        QTest::newRow("a list") << QByteArray("80,81") << 8431 << true;
        QTest::newRow("fraction") << QByteArray("80.5") << 8431 << true;
    }
    void portSetting() {
        QFETCH(QByteArray, ini);
        QFETCH(int, port);
        QFETCH(bool, repaired);
        const QString file =
            m_dir.filePath(QStringLiteral("port-%1.ini").arg(QTest::currentDataTag()).replace(' ', '_'));
        const QByteArray before =
            (ini == "-" ? QByteArray() : "port=" + ini + "\n") + "HDDFull=1\n\n[skin]\nlanguage=Chinese\n";
        writeFile(file, before);
        bool wasRepaired = !repaired;
        QCOMPARE(int(ConsoleShell::ReadPortSetting(file, QStringLiteral("port"), 8431, &wasRepaired)), port);
        QCOMPARE(wasRepaired, repaired);
        const QByteArray after = readFile(file);
        if (!repaired) {
            QCOMPARE(after, before);  // a valid port is never rewritten
        } else {
            QVERIFY2(after.contains("port=8431\n"), after.constData());
            // The other settings survive the repair.
            QVERIFY(after.contains("HDDFull=1"));
            QVERIFY(after.contains("language=Chinese"));
        }
    }

    void parsePort_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("port");
        QTest::newRow("plain") << "8080" << true << 8080;
        QTest::newRow("blanks") << " 9000 " << true << 9000;
        QTest::newRow("zero") << "0" << false << 0;
        QTest::newRow("too big") << "70000" << false << 0;
        QTest::newRow("hex") << "0x50" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
    }
    void parsePort() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, port);
        quint16 p = 0;
        QCOMPARE(ConsoleShell::ParsePort(text, &p), ok);
        if (ok) QCOMPARE(int(p), port);
    }

    void languages() {
        const QString dir = m_dir.filePath(QStringLiteral("Languages"));
        writeFile(dir + QStringLiteral("/languages.ini"),
                  "[Languages]\nEnglish=English\nChinese=简体中文\nDeutsch=Deutsch\nEmpty=\nSpare=Spare\n");
        for (const char* f : {"English.qm", "Chinese.qm", "Empty.qm", "Unlisted.qm", "more/Deutsch.qm"})
            writeFile(dir + QLatin1Char('/') + QLatin1String(f), "x");
        QDir().mkpath(dir + QStringLiteral("/nothing"));
        const QString ini = dir + QStringLiteral("/languages.ini");
        // Files with a name (the subfolder's too); not the unnamed, unlisted or languages.ini itself;
        // "Spare" has a name but no file.
        QCOMPARE(
            ConsoleShell::ListLanguages(dir, ini),
            (QStringList{QStringLiteral("简体中文"), QStringLiteral("English"), QStringLiteral("Deutsch")}));
        QCOMPARE(ConsoleShell::LanguageKeyForName(ini, QStringLiteral("简体中文")),
                 QStringLiteral("Chinese"));
        QCOMPARE(ConsoleShell::LanguageKeyForName(ini, QStringLiteral("Klingon")), QString());
        QCOMPARE(ConsoleShell::LanguageKeyForName(ini, QString()), QString());
        QCOMPARE(ConsoleShell::LanguageNameForKey(ini, QStringLiteral("Deutsch")), QStringLiteral("Deutsch"));
        QCOMPARE(ConsoleShell::LanguageNameForKey(ini, QStringLiteral("Empty")), QString());
        // Without languages.ini nothing is offered.
        QCOMPARE(ConsoleShell::ListLanguages(dir, dir + QStringLiteral("/missing.ini")), QStringList());
    }

    void switchLanguage_data() {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("dayWord");
        QTest::newRow("chinese") << "简体中文"
                                 << "Chinese"
                                 << "天";
        QTest::newRow("english") << "English"
                                 << "English"
                                 << "day(s)";
        QTest::newRow("listed, no file: english") << "Deutsch"
                                                  << "English"
                                                  << "day(s)";
        QTest::newRow("unknown name: english") << "Klingon"
                                               << "English"
                                               << "day(s)";
    }
    void switchLanguage() {
        QFETCH(QString, shown);
        QFETCH(QString, stored);
        QFETCH(QString, dayWord);
        const QString prog = m_dir.filePath(QStringLiteral("prog"));
        const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
        QDir().mkpath(prog + QStringLiteral("/Languages"));
        for (const char* f : {"English.qm", "Chinese.qm"}) {
            QFile::remove(prog + QStringLiteral("/Languages/") + QLatin1String(f));
            QVERIFY(QFile::copy(bin + QStringLiteral("/Languages/") + QLatin1String(f),
                                prog + QStringLiteral("/Languages/") + QLatin1String(f)));
        }
        writeFile(prog + QStringLiteral("/Languages/languages.ini"),
                  "[Languages]\nEnglish=English\nChinese=简体中文\nDeutsch=Deutsch\n");
        INFRA::TestSeams::SetProgramDir(prog);
        const QString settings = prog + QStringLiteral("/kestoconfig.ini");
        writeFile(settings, "port=9000\n[skin]\nlanguage=Chinese\n");
        VantelUtility::initLanguage(QStringLiteral("Chinese"));
        QCOMPARE(
            ConsoleShell::SwitchLanguage(shown, prog + QStringLiteral("/Languages/languages.ini"), settings),
            stored);
        QCOMPARE(ConsoleShell::SavedLanguage(settings), stored);
        QCOMPARE(QObject::tr("K6590_Day"), dayWord);
        QVERIFY(readFile(settings).contains("port=9000"));
        INFRA::TestSeams::SetProgramDir(QString());
    }

    void stopCommand_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("stop");
        QTest::newRow("stop and its zero") << QByteArray("stop\0\0\0", 7) << true;
        QTest::newRow("stop, zero, old bytes") << QByteArray("stop\0xyz", 8) << true;
        QTest::newRow("longer word") << QByteArray("stopped\0", 8) << false;
        QTest::newRow("upper case") << QByteArray("STOP\0", 5) << false;
        QTest::newRow("too short") << QByteArray("sto\0", 4) << false;
        QTest::newRow("empty block") << QByteArray(1024, '\0') << false;
        QTest::newRow("no zero within the block") << QByteArray("stop") << false;
        QTest::newRow("full block without a zero") << QByteArray(1024, 'x') << false;
    }
    void stopCommand() {
        QFETCH(QByteArray, block);
        QFETCH(bool, stop);
        // The block ends where readable memory ends: a read past it would crash the test.
        GuardedBlock guard;
        QCOMPARE(ConsoleShell::IsStopCommand(guard.endBlock(block), block.size()), stop);
    }

    void stopChannel() {
        const QByteArray name = ConsoleShell::StopChannelName(QStringLiteral("Probe%1").arg(getpid()));
        QVERIFY(name.endsWith("ShareMem"));
        SHAREMEMHANDLE host = ShareMemoryCreate(name.constData(), 1);
        SHAREMEMHANDLE manager = ShareMemoryCreate(name.constData(), 1);
        QVERIFY(host && manager);
        QVERIFY(!ConsoleShell::PollStopChannel(host));
        QCOMPARE(ShareMemoryWrite(manager, 1024, 1, "stop", 5), 0);
        QVERIFY(ConsoleShell::PollStopChannel(host));
        char block[1024];
        QCOMPARE(ShareMemoryRead(manager, 1, block, sizeof block), 0);
        QCOMPARE(QByteArray(block, sizeof block), QByteArray(1024, '\0'));  // cleared whole
        QVERIFY(!ConsoleShell::PollStopChannel(host));                      // acted on once
        // A stamped stop is a stop too.
        QCOMPARE(ConsoleShell::WriteStopCommand(manager), 0);
        QVERIFY(ConsoleShell::PollStopChannel(host));
        // 1024 bytes without a terminating zero: no command.
        const QByteArray junk(1024, 's');
        QCOMPARE(ShareMemoryWrite(manager, 1024, 1, junk.constData(), junk.size()), 0);
        QVERIFY(!ConsoleShell::PollStopChannel(host));
        QVERIFY(!ConsoleShell::PollStopChannel(nullptr));
        QVERIFY(!ConsoleShell::ClearStaleStop(nullptr, 0));
        QCOMPARE(ConsoleShell::WriteStopCommand(nullptr), -1);
        ShareMemoryDelete(manager);
        ShareMemoryDelete(host);
    }

    // At start, only a stop older than the process is cleared: one written while the console
    // starts is obeyed at its first poll.
    void staleStopAtStart_data() {
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("no stop") << "none" << false;
        QTest::newRow("without a time (an older writer)") << "plain" << true;
        QTest::newRow("before the process started") << "before" << true;
        QTest::newRow("while the process starts") << "after" << false;
    }
    void staleStopAtStart() {
        QFETCH(QString, written);
        QFETCH(bool, cleared);
        const QByteArray name = ConsoleShell::StopChannelName(QStringLiteral("Start%1").arg(getpid()));
        SHAREMEMHANDLE host = ShareMemoryCreate(name.constData(), 1);
        SHAREMEMHANDLE manager = ShareMemoryCreate(name.constData(), 1);
        QVERIFY(host && manager);
        const qint64 start = ConsoleShell::ProcessStartMs();
        QVERIFY(start > 0 && start <= ConsoleShell::BootClockMs());
        if (written == QLatin1String("plain")) QCOMPARE(ShareMemoryWrite(manager, 1024, 1, "stop", 5), 0);
        if (written == QLatin1String("before"))
            QCOMPARE(ConsoleShell::WriteStopCommand(manager, start - 1000), 0);
        if (written == QLatin1String("after")) QCOMPARE(ConsoleShell::WriteStopCommand(manager), 0);
        char block[1024];
        QCOMPARE(ShareMemoryRead(manager, 1, block, sizeof block), 0);
        if (written == QLatin1String("before"))
            QCOMPARE(ConsoleShell::StopCommandTime(block, 1024), start - 1000);
        if (written == QLatin1String("plain"))
            QCOMPARE(ConsoleShell::StopCommandTime(block, 1024), qint64(-1));

        QCOMPARE(ConsoleShell::ClearStaleStop(host, start), cleared);
        QCOMPARE(ConsoleShell::PollStopChannel(host), written == QLatin1String("after"));
        ShareMemoryDelete(manager);
        ShareMemoryDelete(host);
    }

    void defaultRoute_data() {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("iface");
        QTest::newRow("one default") << "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                                        "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
                                     << "eth0";
        QTest::newRow("lowest metric wins")
            << "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
               "eth1\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
            << "eth1";
        QTest::newRow("route that is down")
            << "eth0\t00000000\t0102A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"
            << "";
        QTest::newRow("no default route") << "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                                          << "";
        QTest::newRow("header only") << ""
                                     << "";
        QTest::newRow("broken line") << "eth0 00000000\n"
                                     << "";
    }
    void defaultRoute() {
        QFETCH(QString, rows);
        QFETCH(QString, iface);
        QCOMPARE(ConsoleShell::DefaultRouteInterface(QString::fromLatin1(kRoute).arg(rows).toLatin1()),
                 iface);
    }

    void localAddressIsIPv4() {
        const QHostAddress a(ConsoleShell::GetLocalIPv4());
        QCOMPARE(a.protocol(), QAbstractSocket::IPv4Protocol);
        QVERIFY(QHostAddress(ConsoleShell::GetInterfaceIPv4()).protocol() == QAbstractSocket::IPv4Protocol);
    }
};

QTEST_MAIN(TestConsoleShell)
#include "tst_consoleshell.moc"
