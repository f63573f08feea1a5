// The fallback crash dump: a fatal signal leaves a dump file with the signal and a backtrace,
// and the process still ends by that signal.
#include <QtTest>
#include <csignal>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "VantelProcess/crashcoredump.h"

namespace {

void crashWith(int sig) {
    if (sig == SIGSEGV) {
        // A real fault on a page that may not be written (not a null store, which the
        // undefined-behaviour sanitizer would catch and end the process by itself).
        void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (page != MAP_FAILED) *static_cast<volatile int*>(page) = 1;
    }
    if (sig == SIGABRT) abort();
    raise(sig);
}

}  // namespace

class TestCrashCoreDump : public QObject {
    Q_OBJECT
private slots:
    void defaultFolderIsNextToTheExecutable() {
        QCOMPARE(QString::fromLocal8Bit(CrashCoreDumpFolder()),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/dumps"));
    }

    void dumpWritten_data() {
        QTest::addColumn<int>("sig");
        QTest::addColumn<QString>("name");
        QTest::newRow("segfault") << int(SIGSEGV) << "SIGSEGV";
        QTest::newRow("abort") << int(SIGABRT) << "SIGABRT";
        QTest::newRow("bus error") << int(SIGBUS) << "SIGBUS";
    }
    void dumpWritten() {
        QFETCH(int, sig);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QByteArray folder = (dir.path() + QStringLiteral("/dumps")).toLocal8Bit();
        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            CrashCoreDumpSetFolder(folder.constData());
            CrashCoreDump();
            crashWith(sig);
            _exit(0);  // not reached
        }
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY2(WIFSIGNALED(status), "the process must still end by its signal");
        QCOMPARE(WTERMSIG(status), sig);

        const QStringList dumps = QDir(QString::fromLocal8Bit(folder)).entryList({QStringLiteral("*.dmp")});
        QCOMPARE(dumps.size(), 1);
        QVERIFY(dumps.first().contains(QStringLiteral("-%1-").arg(pid)));
        QFile f(QString::fromLocal8Bit(folder) + QLatin1Char('/') + dumps.first());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.startsWith(QStringLiteral("signal %1 (%2)\n").arg(sig).arg(name)), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("pid %1\n").arg(pid)));
        QVERIFY(text.contains(QLatin1String("backtrace:\n")));
        QVERIFY(text.count(QLatin1Char('\n')) > 5);  // some frames
    }
};

QTEST_GUILESS_MAIN(TestCrashCoreDump)
#include "tst_crashcoredump.moc"
