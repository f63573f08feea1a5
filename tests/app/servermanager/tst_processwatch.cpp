// The process watch finds hosts by the real file name of their executable in a /proc-like tree,
// skipping zombies and names that only look alike.
#include <QTemporaryDir>
#include <QtTest>

#include "processwatch.h"

class TestProcessWatch : public QObject {
    Q_OBJECT
    QTemporaryDir m_proc;

    void addProcess(int pid, const QString& exe, char state, const QString& comm, const QByteArray& scope = {}) {
        const QString dir = m_proc.filePath(QString::number(pid));
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::link(exe, dir + "/exe"));
        QFile environ(dir + "/environ");
        QVERIFY(environ.open(QIODevice::WriteOnly));
        environ.write(QByteArray("HOME=/root") + '\0' +
                      (scope.isEmpty() ? QByteArray() : "VANTEL_INSTANCE_SCOPE=" + scope + '\0') + "LANG=C" + '\0');
        QFile stat(dir + "/stat");
        QVERIFY(stat.open(QIODevice::WriteOnly));
        stat.write(QStringLiteral("%1 (%2) %3 1 1 1 0 -1 4194560\n").arg(pid).arg(comm).arg(state).toUtf8());
    }

    // The scope this process was started in (its /proc environ, which qputenv does not change).
    static QByteArray StartScope() {
        QFile f(QStringLiteral("/proc/self/environ"));
        if (!f.open(QIODevice::ReadOnly)) return {};
        for (const QByteArray& entry : f.readAll().split('\0'))
            if (entry.startsWith("VANTEL_INSTANCE_SCOPE=")) return entry.mid(int(sizeof "VANTEL_INSTANCE_SCOPE=") - 1);
        return {};
    }

private slots:
    void initTestCase() {
        // The rows below are for a run outside any scope, whatever scope the caller gave.
        qunsetenv("VANTEL_INSTANCE_SCOPE");
        addProcess(100, "/opt/v/KestoServer", 'S', "KestoServer");
        addProcess(101, "/opt/v/PavoServer", 'Z', "PavoServer");
        addProcess(102, "/opt/v/kestoserver.exe", 'S', "kestoserver");
        addProcess(103, "/opt/v/VantelServerX", 'R', "VantelServerX");
        addProcess(104, "/opt/v/LongNameEventHostProgram (deleted)", 'S', "LongNameEventH");
        addProcess(105, "/opt/v/odd) S (name", 'S', "odd) S (name");
        // Hosts of another instance scope (another test run): not this list's hosts.
        addProcess(106, "/opt/w/ScopedHost", 'S', "ScopedHost", "other-run");
        addProcess(107, "/opt/w/ScopedHost2", 'S', "ScopedHost2", "other-run");
        QVERIFY(QDir().mkpath(m_proc.filePath("self")));
    }

    void detects_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("running");
        QTest::newRow("exact name") << "KestoServer" << true;
        QTest::newRow("zombie only") << "PavoServer" << false;
        QTest::newRow("other letter case") << "KestoServeR" << false;
        QTest::newRow("prefix of a longer name") << "VantelServer" << false;
        QTest::newRow("longer than the command name") << "LongNameEventHostProgram" << true;
        QTest::newRow("parentheses in the name") << "odd) S (name" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("another instance scope") << "ScopedHost" << false;
    }
    void detects() {
        QFETCH(QString, name);
        QFETCH(bool, running);
        QCOMPARE(ProcessWatch::IsProcessRunning(name, m_proc.path()), running);
    }

    // Within a scope only that scope's hosts count.
    void scopedRunSeesItsOwnHostsOnly() {
        qputenv("VANTEL_INSTANCE_SCOPE", "other-run");
        const bool scoped = ProcessWatch::IsProcessRunning("ScopedHost2", m_proc.path());
        const bool unscoped = ProcessWatch::IsProcessRunning("KestoServer", m_proc.path());
        qunsetenv("VANTEL_INSTANCE_SCOPE");
        QVERIFY(scoped);
        QVERIFY(!unscoped);
    }

    void seesItselfInTheRealProc() {
        // This process counts in the scope it was started in.
        const QByteArray start = StartScope();
        if (start.isEmpty()) qunsetenv("VANTEL_INSTANCE_SCOPE"); else qputenv("VANTEL_INSTANCE_SCOPE", start);
        const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        const bool found = ProcessWatch::IsProcessRunning(self);
        const bool foundOther = ProcessWatch::IsProcessRunning(self + "x");
        qunsetenv("VANTEL_INSTANCE_SCOPE");
        QVERIFY(found);
        QVERIFY(!foundOther);
    }

    void portsFromTheHostsSettings() {
        QTemporaryDir dir;
        auto write = [&](const QString& name, const QByteArray& text) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        };
        write("PavoServer.ini", "port=9000\n");
        write("kestoconfig.ini", "[General]\nport=abc\n");
        QVector<ProcessWatch::HostState> s = ProcessWatch::Scan(
            {"PavoServer", "KestoServer"}, {dir.filePath("PavoServer.ini"), dir.filePath("kestoconfig.ini")},
            {"8432", "8431"}, m_proc.path());
        QCOMPARE(s.size(), 2);
        QCOMPARE(s[0].port, 9000);
        QCOMPARE(s[0].running, false);
        QCOMPARE(s[1].port, 0);
        QCOMPARE(s[1].running, true);
        s = ProcessWatch::Scan({"PavoServer", "KestoServer"},
                               {dir.filePath("none.ini"), dir.filePath("none2.ini")}, {"8432", "8431"},
                               m_proc.path());
        QCOMPARE(s[0].port, 8432);
        QCOMPARE(s[1].port, 8431);
    }
};

QTEST_GUILESS_MAIN(TestProcessWatch)
#include "tst_processwatch.moc"
