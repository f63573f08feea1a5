// The program's one log: Qt messages, LumoPrintf and VantelDBG lines all reach the log file
// (as well as stderr), each line whole, whichever thread writes it.
#include <QRegularExpression>
#include <QtTest>
#include <thread>

#include "LumoBase/LumoBase.h"
#include "LumoBase/lumoprint.h"
#include "VantelCore/VantelCore.h"
#include "VantelCore/VantelLog.h"

Q_LOGGING_CATEGORY(lcProbe, "vantel.probe")

namespace {

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

const QString kStamp = QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ");

}  // namespace

class TestVantelLog : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_log;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_log = m_dir.filePath(QStringLiteral("probe.log"));
        VantelDBG_SetLogFile(QFile::encodeName(m_log).toStdString());
        VantelDBG_SetLevelMask(0x7fff, 7);
        VantelLogInstall();
    }
    void cleanupTestCase() {
        qInstallMessageHandler(nullptr);
        LumoSetPrintSink(nullptr);
        VantelDBG_SetLogFile(std::string());
    }

    // Every kind of message, with its level and where it comes from.
    void everyKindReachesTheFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("tail");  // what the line holds after its time
        QTest::newRow("qDebug") << "qDebug" << "[4] %1";
        QTest::newRow("qInfo") << "qInfo" << "[3] %1";
        QTest::newRow("qWarning") << "qWarning" << "[2] %1";
        QTest::newRow("qCritical") << "qCritical" << "[1] %1";
        QTest::newRow("category") << "category" << "[2] vantel.probe: %1";
        QTest::newRow("LumoPrintf") << "LumoPrintf" << "[3] %1";
        QTest::newRow("VantelDBG") << "VantelDBG" << "[2] Probe::Run: %1";
    }
    void everyKindReachesTheFile() {
        QFETCH(QString, kind);
        QFETCH(QString, tail);
        const QString text = QStringLiteral("kind %1 says: engine refused, disk missing").arg(kind);
        const QByteArray bytes = text.toUtf8();
        if (kind == QLatin1String("qDebug")) qDebug("%s", bytes.constData());
        if (kind == QLatin1String("qInfo")) qInfo("%s", bytes.constData());
        if (kind == QLatin1String("qWarning")) qWarning("%s", bytes.constData());
        if (kind == QLatin1String("qCritical")) qCritical("%s", bytes.constData());
        if (kind == QLatin1String("category")) qCWarning(lcProbe, "%s", bytes.constData());
        if (kind == QLatin1String("LumoPrintf")) LumoPrintf("%s\n", bytes.constData());
        if (kind == QLatin1String("VantelDBG")) VantelDBG_Printf_f(0x7fff, 2, "Probe::Run", "%s", bytes.constData());
        const QRegularExpression line(QStringLiteral("^") + kStamp +
                                      QRegularExpression::escape(tail.arg(text)) + QStringLiteral("$"));
        QCOMPARE(readLines(m_log).filter(line).size(), 1);
    }

    // Two threads at once, long lines of Qt and LumoPrintf: each line lands whole, none is lost.
    void linesOfTwoThreadsLandWhole() {
        const int perThread = 300;
        const QByteArray pad(2000, 'x');
        auto body = [&](int thread) {
            for (int i = 0; i < perThread; ++i) {
                qInfo("thread %d qinfo %d %s", thread, i, pad.constData());
                LumoPrintf("thread %d lumo %d %s\n", thread, i, pad.constData());
            }
        };
        std::thread a(body, 0), b(body, 1);
        a.join();
        b.join();
        const QRegularExpression whole(QStringLiteral("^") + kStamp +
                                       QStringLiteral("\\[3\\] (thread [01] (qinfo|lumo) \\d+) x{2000}$"));
        QSet<QString> seen;
        int ours = 0;
        for (const QString& l : readLines(m_log)) {
            if (!l.contains(QLatin1String(" thread "))) continue;
            ++ours;
            const QRegularExpressionMatch m = whole.match(l);
            QVERIFY2(m.hasMatch(), qPrintable(l.left(200)));
            seen.insert(m.captured(1));
        }
        QCOMPARE(ours, 4 * perThread);
        QCOMPARE(seen.size(), 4 * perThread);
    }

    // The kept-open file still moves on: another file named, and the old one set aside when it
    // grows past its limit (4 MiB).
    void theFileMovesOn() {
        const QString next = m_dir.filePath(QStringLiteral("next.log"));
        VantelDBG_SetLogFile(QFile::encodeName(next).toStdString());
        qInfo("first line of the next file");
        QVERIFY(readLines(next).filter(QStringLiteral("first line of the next file")).size() == 1);
        QVERIFY(readLines(m_log).filter(QStringLiteral("first line of the next file")).isEmpty());
        const QByteArray pad(4096, 'y');
        for (int i = 0; i < 1100; ++i) qInfo("filler %d %s", i, pad.constData());
        qInfo("after the limit");
        QVERIFY(QFileInfo::exists(next + QStringLiteral(".1")));
        QVERIFY(QFileInfo(next).size() < QFileInfo(next + QStringLiteral(".1")).size());
        QCOMPARE(readLines(next).filter(QStringLiteral("after the limit")).size(), 1);
        QCOMPARE(readLines(next + QStringLiteral(".1")).filter(QStringLiteral("first line of the next file")).size(), 1);
        VantelDBG_SetLogFile(QFile::encodeName(m_log).toStdString());
    }
};

QTEST_GUILESS_MAIN(TestVantelLog)
#include "tst_vantellog.moc"
