// The download queue: output names from the naming rule, numbering apart, downloads into each
// format, restarts that would share or overwrite a file, stops, a full disk, and tasks that are
// removed or cleared while they download.
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>
#include "testsupport.h"

#include "LumoCore/LumoCore.h"
#include "VantelCore/VantelCore.h"
#include "downloadfixture.h"

using namespace downloadfixture;

namespace {

// One description spanning `ms` from 2024-05-01 08:00:00 on channel/stream.
CLumoFileDesc* Span(int64_t ms, int channel = 0, int stream = 0, const QString& uri = "filer://local/x") {
    auto* d = new CLumoFileDesc();
    d->SetURI(uri.toUtf8().constData());
    d->SetChannel(channel);
    d->SetStreamType(stream);
    const CLumoTime start = At(8, 0, 0);
    CLumoTime end = start;
    end.Add(ms);
    d->SetTimeS(start);
    d->SetTimeE(end);
    return d;
}

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

}  // namespace

class TestDownloadRecManager : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString shortRec, longRec;
    DownloadRecManager* m = nullptr;
    QString P(const QString& n) const { return dir.filePath(n); }

    // Queues one task of `files` and starts it by name; the task.
    DownloadRecTask* Start(CLumoFileDescList& files, int format, const QString& folder) {
        if (m->AddTasks(&files, 0, 0, format, 0) != 0) return nullptr;
        DownloadRecTask* t = m->GetTaskList()->last();
        QByteArray url;
        if (DownloadRecManager::MakeTargetUrl(format, &url, folder) != 0) return nullptr;
        return m->StartDown(0, 0, url.constData(), "", t->name.constData()) == 0 ? t : nullptr;
    }

private slots:
    void initTestCase() {
        UseConfig(dir.path(), P("records"), "GUID-CHN-STREAM-YYYYMMDD-HHMMSS");
        LumoCAddDev(1, "10.0.0.1", "A1:B2");
        LumoCAddDev(2, "10.0.0.2", "../../etc/x:y");
        LumoCAddDev(3, "10.0.0.3", "CHN9\x01");
        if (HaveFfmpeg()) {
            shortRec = P("short.dav");
            longRec = P("long.mp4");
            QVERIFY(MakeRecord(shortRec, 3));
            QVERIFY(MakeRecord(longRec, 20));
        }
    }

    void init() { m = new DownloadRecManager(); }
    void cleanup() {
        delete m;
        m = nullptr;
    }

    void saveFileName_data() {
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("stream");
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("name");
        const QString rule = "GUID-CHN-STREAM-YYYYMMDD-HHMMSS";
        QTest::newRow("example") << 1 << 0 << 0 << qint64(3723000) << 3 << rule
                                 << "A1-B2-1-1-20240501-080000-1H2M3S.mp4";
        QTest::newRow("0 ms") << 1 << 2 << 1 << qint64(0) << 1 << rule << "A1-B2-3-2-20240501-080000-1S.dav";
        QTest::newRow("999 ms") << 1 << 0 << 0 << qint64(999) << 2 << rule
                                << "A1-B2-1-1-20240501-080000-1S.avi";
        QTest::newRow("60 s") << 1 << 0 << 0 << qint64(60000) << 3 << rule
                              << "A1-B2-1-1-20240501-080000-1M.mp4";
        QTest::newRow("61 s") << 1 << 0 << 0 << qint64(61000) << 3 << rule
                              << "A1-B2-1-1-20240501-080000-1M1S.mp4";
        QTest::newRow("3600 s") << 1 << 0 << 0 << qint64(3600000) << 3 << rule
                                << "A1-B2-1-1-20240501-080000-1H.mp4";
        QTest::newRow("3601 s") << 1 << 0 << 0 << qint64(3601000) << 3 << rule
                                << "A1-B2-1-1-20240501-080000-1H1S.mp4";
        QTest::newRow("3660 s") << 1 << 0 << 0 << qint64(3660000) << 3 << rule
                                << "A1-B2-1-1-20240501-080000-1H1M.mp4";
        QTest::newRow("negative span")
            << 1 << 0 << 0 << qint64(-5000) << 3 << rule << "A1-B2-1-1-20240501-080000-.mp4";
        QTest::newRow("format without extension")
            << 1 << 0 << 0 << qint64(4000) << 0 << rule << "A1-B2-1-1-20240501-080000-4S.";
        QTest::newRow("picture") << 1 << 0 << 0 << qint64(4000) << 4 << rule
                                 << "A1-B2-1-1-20240501-080000-4S.jpg";
        QTest::newRow("rule of the operator") << 1 << 4 << 0 << qint64(4000) << 3 << "HHMMSS_GUID_CHN"
                                              << "080000_A1-B2_5-4S.mp4";
        QTest::newRow("identity with separators")
            << 2 << 0 << 0 << qint64(4000) << 3 << rule << "____etc_x-y-1-1-20240501-080000-4S.mp4";
        QTest::newRow("identity holding a token")
            << 3 << 0 << 0 << qint64(4000) << 3 << rule << "CHN9_-1-1-20240501-080000-4S.mp4";
        QTest::newRow("unknown device")
            << 77 << 0 << 0 << qint64(4000) << 3 << rule << "DEV77-1-1-20240501-080000-4S.mp4";
        QTest::newRow("separator in the rule") << 1 << 0 << 0 << qint64(4000) << 3 << "../GUID/CHN"
                                               << "__A1-B2_1-4S.mp4";
    }
    void saveFileName() {
        QFETCH(int, device);
        QFETCH(int, channel);
        QFETCH(int, stream);
        QFETCH(qint64, ms);
        QFETCH(int, format);
        QFETCH(QString, rule);
        QFETCH(QString, name);
        LumoCConfiguration::GetLumoCConfig()->GetFileOption()->recordRule = rule;
        CLumoFileDescList list(1);
        list.Append(Span(ms, channel, stream));
        QCOMPARE(m->AddTasks(&list, device, 0, format, 1), 0);
        LumoCConfiguration::GetLumoCConfig()->GetFileOption()->recordRule = "GUID-CHN-STREAM-YYYYMMDD-HHMMSS";
        DownloadRecTask* t = m->GetTaskList()->last();
        QCOMPARE(QString::fromUtf8(t->name), name);
        QCOMPARE(QString::fromUtf8(t->fileList->GetHead()->GetSaveFileName()), name);
        QCOMPARE(t->state, int(DownloadRecTask::StateQueued));
        QVERIFY(!t->name.contains('/'));
        // The caller keeps its own list, unnamed.
        QCOMPARE(QString::fromUtf8(list.GetHead()->GetSaveFileName()), QString());
    }

    // The length runs from the first file's start to the last file's end.
    void nameSpansTheWholeList() {
        CLumoFileDescList list(1);
        list.Append(Span(1000));
        CLumoFileDesc* last = Span(0);
        CLumoTime end = At(9, 2, 3);
        last->SetTimeE(end);
        list.Append(last);
        QCOMPARE(m->AddTasks(&list, 1, 0, 3, 1), 0);
        QCOMPARE(m->GetTaskList()->last()->name, QByteArray("A1-B2-1-1-20240501-080000-1H2M3S.mp4"));
    }

    void numberedName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("numbered");
        QTest::newRow("extension") << "a.mp4"
                                   << "a(1).mp4";
        QTest::newRow("extension text repeated") << "x.mp4-y.mp4"
                                                 << "x.mp4-y(1).mp4";
        QTest::newRow("ends in a dot") << "a-4S."
                                       << "a-4S(1).";
        QTest::newRow("no dot") << "abc"
                                << "abc(1)";
    }
    void numberedName() {
        QFETCH(QString, name);
        QFETCH(QString, numbered);
        QCOMPARE(DownloadRecManager::NumberedName(name, 1), numbered);
    }

    void queuedNamesAreNumberedApart_data() {
        QTest::addColumn<int>("nameInUrl");
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("names");
        const QString base = "A1-B2-1-1-20240501-080000-4S";
        QTest::newRow("flag 0") << 0 << 3 << QStringList{base + ".mp4", base + "(1).mp4", base + "(2).mp4"};
        QTest::newRow("flag 0 without extension")
            << 0 << 0 << QStringList{base + ".", base + "(1).", base + "(2)."};
        QTest::newRow("flag 1") << 1 << 3 << QStringList{base + ".mp4", base + ".mp4", base + ".mp4"};
    }
    void queuedNamesAreNumberedApart() {
        QFETCH(int, nameInUrl);
        QFETCH(int, format);
        QFETCH(QStringList, names);
        CLumoFileDescList list(1);
        list.Append(Span(4000));
        for (int i = 0; i < 3; ++i) QCOMPARE(m->AddTasks(&list, 1, 0, format, nameInUrl), 0);
        CLumoFileDescList other(1);
        other.Append(Span(4000, 0, 0, "filer://local/y"));
        QCOMPARE(m->AddTasks(&other, 1, 0, format, nameInUrl), 0);
        QStringList got;
        for (DownloadRecTask* t : *m->GetTaskList()) got << QString::fromUtf8(t->name);
        QCOMPARE(got.mid(0, 3), names);
        // The same name from another first file is numbered only to stay apart from the others.
        QCOMPARE(got[3], nameInUrl == 0 ? names[0].left(names[0].lastIndexOf('.')) + "(3)" +
                                              names[0].mid(names[0].lastIndexOf('.'))
                                        : names[0]);
    }

    void targetUrl_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("query");
        QTest::newRow("mp4") << 3 << "type=rec&format=mp4&pathname=";
        QTest::newRow("dav") << 1 << "type=rec&format=dav&pathname=";
        QTest::newRow("no format") << 0 << "type=rec&pathname=";
    }
    void targetUrl() {
        QFETCH(int, format);
        QFETCH(QString, query);
        QByteArray url;
        QCOMPARE(DownloadRecManager::MakeTargetUrl(format, &url), 0);
        const QString folder = P("records/Kesto");
        QCOMPARE(QString::fromUtf8(url), "filew://local/" + query + folder);
        QVERIFY(QFileInfo(folder).isDir());
        // A folder that cannot be made starts nothing.
        QFile blocker(P("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QCOMPARE(DownloadRecManager::MakeTargetUrl(format, &url, P("blocker/sub")), -1);
    }

    void nothingToDo() {
        QCOMPARE(m->AddTasks(nullptr, 0, 0, 3, 0), -1);
        CLumoFileDescList empty(1);
        QCOMPARE(m->AddTasks(&empty, 0, 0, 3, 0), -1);
        QVERIFY(!m->GetTaskList());
        QCOMPARE(m->StartDown(0, 0, "filew://local/type=rec&pathname=/tmp", nullptr, ""), -1);
        QCOMPARE(m->StopTask(0, 0, ""), -1);
        QCOMPARE(m->GetProgress(0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, ""), -1);
        CLumoFileDescList list(1);
        list.Append(Span(4000));
        QCOMPARE(m->AddTasks(&list, 1, 0, 3, 0), 0);
        QCOMPARE(m->StopTask(0, 0, ""), -2);  // none holds a download
        QCOMPARE(m->GetProgress(0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, ""), -2);
        QCOMPARE(m->StartDown(0, 0, nullptr, nullptr, ""), -1);
        QCOMPARE(m->GetTaskFormat(0, 0, ""), 3);
        QCOMPARE(m->GetTaskFormat(0, 0, "none"), -1);
        QCOMPARE(m->RemoveTask(0, 0, "none"), -1);
        QVERIFY(!m->HasActiveTask());
    }

    // Each format: the file plays back with the record's duration, and the task ends complete.
    void downloadsIntoEachFormat_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("dav") << 1;
        QTest::newRow("avi") << 2;
        QTest::newRow("mp4") << 3;
    }
    void downloadsIntoEachFormat() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the records");
        QFETCH(int, format);
        CLumoFileDescList list(1);
        list.Append(ProbedDesc(shortRec));
        list.Append(ProbedDesc(shortRec));
        QCOMPARE(m->AddTasks(&list, 1, 0, format, 0), 0);
        QByteArray url;
        const QString folder = P("each/" + DownloadRecManager::FormatExtension(format));
        QCOMPARE(DownloadRecManager::MakeTargetUrl(format, &url, folder), 0);
        QCOMPARE(m->StartDown(0, 0, url.constData(), "", ""), 0);
        DownloadRecTask* t = m->GetTaskList()->first();
        QCOMPARE(t->state, int(DownloadRecTask::StateTaken));
        QCOMPARE(m->StartDown(0, 0, url.constData(), "", ""), -1);  // nothing else is queued
        QVERIFY(!m->HasActiveTask());                               // taken, not yet shown
        QCOMPARE(WaitForEnd(m, t->name), 0);
        unsigned percent = 0;
        uint64_t done = 0, total = 0;
        m->GetProgress(0, 0, nullptr, &percent, nullptr, &done, &total, nullptr, t->name.constData());
        QCOMPARE(percent, 100u);
        QVERIFY(done > 0 && total >= done);
        QCOMPARE(m->StopTask(0, 0, t->name.constData()), 0);
        QCOMPARE(t->state, int(DownloadRecTask::StateEnded));
        QVERIFY(t->complete);
        QVERIFY(!t->handle);
        QCOMPARE(FilesIn(folder), QStringList{QString::fromUtf8(t->name)});
        QCOMPARE(t->filePath, QDir(folder).filePath(QString::fromUtf8(t->name)));
        QVERIFY2(qAbs(Seconds(t->filePath) - 6.0) < 0.3, qPrintable(QString::number(Seconds(t->filePath))));
    }

    // A running task is not started again (two writers of one file); a finished one is not
    // downloaded over its file; a stopped one may start again and writes a file of its own.
    void restartsNeverShareOrOverwrite() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the records");
        const QString folder = P("again");
        CLumoFileDescList list(1);
        for (int i = 0; i < 1500; ++i) list.Append(ProbedDesc(longRec));
        DownloadRecTask* t = Start(list, 3, folder);
        QVERIFY(t);
        void* handle = t->handle;
        QByteArray url;
        DownloadRecManager::MakeTargetUrl(3, &url, folder);
        QCOMPARE(m->StartDown(0, 0, url.constData(), "", t->name.constData()), int(LUMO_ERR_STATE));
        QCOMPARE(t->handle, handle);
        QCOMPARE(t->state, int(DownloadRecTask::StateDownloading));
        QCOMPARE(m->StopTask(0, 0, t->name.constData()), 0);
        QVERIFY(!t->complete);
        QCOMPARE(FilesIn(folder), QStringList());

        CLumoFileDescList one(1);
        one.Append(ProbedDesc(shortRec));
        DownloadRecTask* done = Start(one, 3, folder);
        QVERIFY(done);
        QCOMPARE(WaitForEnd(m, done->name), 0);
        QCOMPARE(m->StopTask(0, 0, done->name.constData()), 0);
        const QFileInfo before(done->filePath);
        QCOMPARE(m->StartDown(0, 0, url.constData(), "", done->name.constData()), int(LUMO_ERR_EXISTS));
        QCOMPARE(done->state, int(DownloadRecTask::StateEnded));
        QVERIFY(!done->handle);
        QCOMPARE(FilesIn(folder).size(), 1);
        QCOMPARE(QFileInfo(done->filePath).lastModified(), before.lastModified());
    }

    // Stopped mid-way: no writer runs on, no file under any name.
    void stopMidWay() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the records");
        const QString folder = P("stopped");
        CLumoFileDescList list(1);
        for (int i = 0; i < 1500; ++i) list.Append(ProbedDesc(longRec));
        DownloadRecTask* t = Start(list, 2, folder);
        QVERIFY(t);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(t->filePath + ".part").size() > 0, 30000);
        QVERIFY(m->HasActiveTask());
        QVERIFY(m->IsDownloading(0, 0));
        QVERIFY(m->IsChannelDownloading(1 << 16));
        QCOMPARE(m->StopTask(0, 0, ""), 0);
        QCOMPARE(t->state, int(DownloadRecTask::StateEnded));
        QVERIFY(!t->handle);
        QVERIFY(!m->HasActiveTask());
        QCOMPARE(FilesIn(folder), QStringList());
        QCOMPARE(m->StopTask(0, 0, t->name.constData()), -2);
    }

    // The process's file-size limit stands for a full disk: the task fails as such, no file stays.
    void fullDisk() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the records");
        struct rlimit old {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit small = old;
        small.rlim_cur = 100 * 1024;
        const QString folder = P("full");
        CLumoFileDescList list(1);
        for (int i = 0; i < 4; ++i) list.Append(ProbedDesc(longRec));
        QByteArray url;
        QCOMPARE(DownloadRecManager::MakeTargetUrl(3, &url, folder), 0);
        QCOMPARE(m->AddTasks(&list, 1, 0, 3, 0), 0);
        DownloadRecTask* t = m->GetTaskList()->first();
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        QCOMPARE(m->StartDown(0, 0, url.constData(), nullptr, t->name.constData()), 0);
        const int r = WaitForEnd(m, t->name);
        setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(r, int(LUMO_ERR_DISKFULL));
        unsigned percent = 100;
        int flags = 0;
        QCOMPARE(m->GetProgress(0, 0, &flags, &percent, nullptr, nullptr, nullptr, nullptr, t->name.constData()),
                 int(LUMO_ERR_DISKFULL));
        QVERIFY(flags & DownloadRecManager::FlagFinished);
        QVERIFY2(percent < 100, qPrintable(QString::number(percent)));
        QCOMPARE(m->StopTask(0, 0, t->name.constData()), 0);
        QCOMPARE(t->state, int(DownloadRecTask::StateFailed));
        QCOMPARE(t->result, int(LUMO_ERR_DISKFULL));
        QVERIFY(!t->complete);
        QCOMPARE(FilesIn(folder), QStringList());
        // The failed task shows where it stopped, never a whole download.
        QVERIFY2(t->percent < 100, qPrintable(QString::number(t->percent)));
    }

    // A refused download fails its task at once and says why.
    void refusedStart() {
        CLumoFileDescList list(1);
        list.Append(ProbedDesc(P("missing.dav")));
        QCOMPARE(m->AddTasks(&list, 1, 0, 1, 0), 0);
        QByteArray url;
        QCOMPARE(DownloadRecManager::MakeTargetUrl(1, &url, P("refused")), 0);
        DownloadRecTask* t = m->GetTaskList()->first();
        QVERIFY(m->StartDown(0, 0, url.constData(), "", "") < 0);
        QCOMPARE(t->state, int(DownloadRecTask::StateFailed));
        QVERIFY(t->result < 0);
        QVERIFY(!t->handle);
        QCOMPARE(FilesIn(P("refused")), QStringList());
    }

    // Removing or clearing tasks that download ends their downloads: no writer runs for a task
    // that is gone, and no half file stays.
    void removedAndClearedTasksStopTheirDownloads() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the records");
        const QString folder = P("gone");
        CLumoFileDescList list(1);
        for (int i = 0; i < 1500; ++i) list.Append(ProbedDesc(longRec));
        DownloadRecTask* a = Start(list, 1, folder);
        DownloadRecTask* b = Start(list, 1, folder);
        DownloadRecTask* c = Start(list, 1, folder);
        QVERIFY(a && b && c);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(a->filePath + ".part").size() > 0, 30000);
        const QByteArray name = a->name;
        QCOMPARE(m->RemoveTask(0, 0, name.constData()), 0);
        QVERIFY(!m->FindTask(0, 0, name.constData()));
        QCOMPARE(m->GetTaskList()->size(), 2);
        m->ClearTasks();
        QVERIFY(!m->GetTaskList());
        QVERIFY(!m->HasActiveTask());
        QVERIFY2(FilesIn(folder).isEmpty(), qPrintable(FilesIn(folder).join(",")));
    }

    // The queue's end stops what still downloads.
    void destructionStopsDownloads() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the records");
        const QString folder = P("ended");
        CLumoFileDescList list(1);
        for (int i = 0; i < 1500; ++i) list.Append(ProbedDesc(longRec));
        QVERIFY(Start(list, 3, folder));
        delete m;
        m = nullptr;
        QCOMPARE(FilesIn(folder), QStringList());
    }
};

QTEST_MAIN(TestDownloadRecManager)
#include "tst_downloadrecmanager.moc"
