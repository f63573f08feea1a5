// The user's private folders and the files made in them: a folder or file planted in a shared
// place (a link, another user's folder) is never written through.
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Tendrel/Tendrel.h"
#include "VantelCore/privatefolder.h"
#include "testsupport.h"

namespace {

const uid_t kNobody = 65534;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

bool isLink(const QString& path) {
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

class TestPrivateFolder : public QObject {
    Q_OBJECT

private slots:
    // The watchdog record, with and without a runtime folder, in a place where someone planted
    // the record folder or a name inside it. The planted link's target keeps its content.
    void watchdogRecordNeverWritesThroughAPlant_data() {
        QTest::addColumn<bool>("runtime");    // $XDG_RUNTIME_DIR set (else the temporary folder)
        QTest::addColumn<QString>("planted"); // what is put in place before the record is made
        QTest::addColumn<bool>("recorded");   // whether the record is written (in a safe place)
        QTest::newRow("tmp: record folder is a link") << false << "folder-link" << false;
        QTest::newRow("runtime: record folder is a link") << true << "folder-link" << false;
        QTest::newRow("tmp: record folder of another user") << false << "folder-foreign" << false;
        QTest::newRow("tmp: record's temporary name is a link") << false << "temp-link" << true;
        QTest::newRow("tmp: record's name is a link") << false << "record-link" << true;
        QTest::newRow("tmp: record folder open to others is closed") << false << "folder-open" << true;
    }
    void watchdogRecordNeverWritesThroughAPlant() {
        QFETCH(bool, runtime);
        QFETCH(QString, planted);
        QFETCH(bool, recorded);
        QTemporaryDir base;
        QVERIFY(base.isValid());
        const QString shared = base.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(shared));
        if (runtime) {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(shared));
            qunsetenv("TMPDIR");
        } else {
            qunsetenv("XDG_RUNTIME_DIR");
            qputenv("TMPDIR", QFile::encodeName(shared));
        }
        const QString folder = QString::fromStdString(Tendrel::RecordFolder());
        QCOMPARE(folder, runtime ? shared + QStringLiteral("/vantel-watchdog")
                                 : shared + QStringLiteral("/vantel-watchdog-%1").arg(getuid()));
        const qint64 pid = QCoreApplication::applicationPid();
        const QString record = QString::fromStdString(Tendrel::RecordPath(pid));

        // The victims: a folder and a file of someone else's that a plant points at.
        const QString victimDir = base.filePath(QStringLiteral("victim-dir"));
        const QString victimFile = base.filePath(QStringLiteral("victim-file"));
        QVERIFY(QDir().mkpath(victimDir));
        QVERIFY(writeFile(victimFile, "precious\n"));

        if (planted == QLatin1String("folder-link")) {
            QVERIFY(QFile::link(victimDir, folder));
        } else if (planted == QLatin1String("folder-foreign")) {
            VT_REQUIRE(geteuid() == 0, "only root can give a folder to another user");
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(chown(QFile::encodeName(folder).constData(), kNobody, kNobody), 0);
            QCOMPARE(chmod(QFile::encodeName(folder).constData(), 0777), 0);
        } else if (planted == QLatin1String("folder-open")) {
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(chmod(QFile::encodeName(folder).constData(), 0777), 0);
        } else {
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(chmod(QFile::encodeName(folder).constData(), 0700), 0);
            const QString name = planted == QLatin1String("temp-link") ? record + QStringLiteral(".tmp") : record;
            QVERIFY(QFile::link(victimFile, name));
        }

        Tendrel t;
        QCOMPARE(t.Init("/opt/vantel/KestoServer", pid), recorded);
        QCOMPARE(readAll(victimFile), QByteArray("precious\n"));
        QCOMPARE(QDir(victimDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        if (planted == QLatin1String("folder-foreign"))
            QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        if (recorded) {
            QVERIFY(!isLink(record));
            QVERIFY(readAll(record).startsWith("path=/opt/vantel/KestoServer\npid="));
            QCOMPARE(QFileInfo(record).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
            QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                     QFile::Permissions());
            QVERIFY(!QFileInfo::exists(record + QStringLiteral(".tmp")));
            QVERIFY(t.TearDown(pid));
            QVERIFY(!QFileInfo::exists(record));
        } else {
            // Nor does an unregister remove a file the plant leads to.
            QVERIFY(writeFile(victimDir + QStringLiteral("/%1.reg").arg(pid), "theirs"));
            QVERIFY(!t.TearDown(pid));
            QCOMPARE(readAll(victimDir + QStringLiteral("/%1.reg").arg(pid)), QByteArray("theirs"));
        }
        qunsetenv("XDG_RUNTIME_DIR");
        qunsetenv("TMPDIR");
    }

    // The files in a private folder: a new one is never opened through a name already there; one
    // that is opened again (a lock) is ours and a regular file, not a link.
    void filesInThePrivateFolder_data() {
        QTest::addColumn<QString>("present");  // what is at the name already
        QTest::addColumn<bool>("created");     // VantelCreatePrivateFile succeeds
        QTest::addColumn<bool>("reopened");    // VantelOpenPrivateFile succeeds
        QTest::newRow("nothing") << "none" << true << true;
        QTest::newRow("our file") << "file" << false << true;
        QTest::newRow("a link to a file") << "link" << false << false;
        QTest::newRow("a dangling link") << "dangling" << false << false;
        QTest::newRow("another user's file") << "foreign" << false << false;
        QTest::newRow("a folder") << "folder" << false << false;
    }
    void filesInThePrivateFolder() {
        QFETCH(QString, present);
        QFETCH(bool, created);
        QFETCH(bool, reopened);
        QTemporaryDir base;
        const std::string folder = QFile::encodeName(base.filePath(QStringLiteral("private"))).toStdString();
        std::string error;
        QVERIFY2(VantelPreparePrivateFolder(folder, &error), error.c_str());
        QVERIFY(error.empty());
        const QString name = QString::fromStdString(folder) + QStringLiteral("/probe.lock");
        const QString victim = base.filePath(QStringLiteral("victim"));
        QVERIFY(writeFile(victim, "precious"));
        if (present == QLatin1String("file")) {
            QVERIFY(writeFile(name, "ours"));
        } else if (present == QLatin1String("link")) {
            QVERIFY(QFile::link(victim, name));
        } else if (present == QLatin1String("dangling")) {
            QVERIFY(QFile::link(base.filePath(QStringLiteral("nowhere")), name));
        } else if (present == QLatin1String("foreign")) {
            VT_REQUIRE(geteuid() == 0, "only root can give a file to another user");
            QVERIFY(writeFile(name, "theirs"));
            QCOMPARE(chown(QFile::encodeName(name).constData(), kNobody, kNobody), 0);
        } else if (present == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(name));
        }
        const std::string path = QFile::encodeName(name).toStdString();
        const int fd = VantelCreatePrivateFile(path);
        QCOMPARE(fd >= 0, created);
        if (fd >= 0) {
            QCOMPARE(::write(fd, "new", 3), ssize_t(3));
            ::close(fd);
            QCOMPARE(QFileInfo(name).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        }
        const int again = VantelOpenPrivateFile(path, O_RDWR | O_CREAT);
        QCOMPARE(again >= 0, reopened);
        if (again >= 0) ::close(again);
        QCOMPARE(readAll(victim), QByteArray("precious"));
        QVERIFY(!QFileInfo::exists(base.filePath(QStringLiteral("nowhere"))));
    }

    // The folder itself: made 0700, or refused with the reason when it is not ours.
    void folderChecks_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing: made") << "missing" << true << "";
        QTest::newRow("ours, open to others: closed") << "open" << true << "";
        QTest::newRow("a link to our folder") << "link" << false << "is a symbolic link";
        QTest::newRow("a file") << "file" << false << "is not a folder";
        QTest::newRow("another user's") << "foreign" << false << "belongs to user 65534";
        QTest::newRow("below a file") << "below-file" << false << "Not a directory";
    }
    void folderChecks() {
        QFETCH(QString, kind);
        QFETCH(bool, usable);
        QFETCH(QString, reason);
        QTemporaryDir base;
        QString path = base.filePath(QStringLiteral("scope"));
        const QByteArray native = QFile::encodeName(path);
        if (kind == QLatin1String("open")) {
            QVERIFY(QDir().mkpath(path));
            QCOMPARE(chmod(native.constData(), 0777), 0);
        } else if (kind == QLatin1String("link")) {
            QVERIFY(QDir().mkpath(base.filePath(QStringLiteral("ours"))));
            QCOMPARE(chmod(QFile::encodeName(base.filePath(QStringLiteral("ours"))).constData(), 0700), 0);
            QVERIFY(QFile::link(base.filePath(QStringLiteral("ours")), path));
        } else if (kind == QLatin1String("file")) {
            QVERIFY(writeFile(path, "x"));
        } else if (kind == QLatin1String("foreign")) {
            VT_REQUIRE(geteuid() == 0, "only root can give a folder to another user");
            QVERIFY(QDir().mkpath(path));
            QCOMPARE(chown(native.constData(), kNobody, kNobody), 0);
        } else if (kind == QLatin1String("below-file")) {
            QVERIFY(writeFile(path, "x"));
            path += QStringLiteral("/inner");
        }
        std::string error;
        QCOMPARE(VantelPreparePrivateFolder(QFile::encodeName(path).toStdString(), &error), usable);
        if (usable) {
            QVERIFY(error.empty());
            struct stat st;
            QCOMPARE(lstat(QFile::encodeName(path).constData(), &st), 0);
            QVERIFY(S_ISDIR(st.st_mode));
            QCOMPARE(int(st.st_mode & 07777), 0700);
        } else {
            QVERIFY2(QString::fromStdString(error).startsWith(path + QStringLiteral(": ")), error.c_str());
            QVERIFY2(QString::fromStdString(error).endsWith(reason), error.c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestPrivateFolder)
#include "tst_privatefolder.moc"
