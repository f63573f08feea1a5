// The recording console's storage tables against the real engine on a temporary storage made at
// test time (six disks, three channels, small generated record files): what the tables show,
// streams and blocks, the camera list, formatting (ticked disks, a sorted table, answers,
// failures and their reasons), the 15-second refreshes (off the GUI thread, failures told once),
// the engine's settings problems, a block load and a format under the asynchronous busy
// indicator while the refreshes fire, and the record search with its player. The record-server
// page, bound to the same engine over its network API, tells the same failures in the same words.
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <unistd.h>
#include <atomic>
#include <string>
#include "testsupport.h"

#include "../consoletesthome.h"
#include "LumoCClient/LumoCClient.h"
#include "LumoCore/LumoCore.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/tableheaderview.h"
#include "VantelInfraAPI/testseams.h"
#include "VantelInfraAPI/vanteltabledelegate.h"
#include "VantelInfraAPI/vantelutility.h"
#include "engineaccess.h"
#include "kestorecordserver.h"
#include "lumoc/playback/lumocplayer.h"
#include "lumoc/playback/playerwidget.h"
#include "models/vmrmodels.h"
#include "pagerecordserverconfig.h"
#include "storagetestsupport.h"

namespace {

// What the media layer's search seam saw and what it answers.
struct SearchSeam {
    QVector<ILumoFSSearchParam> params;  // the criteria of each search (first call of each)
    int calls = 0;
    int total = 0;    // results to hand out
    int failAt = -1;  // the call (from 1) that fails, -1: none
} g_seam;

int seamSource(const ILumoFSSearchParam* param, uint64_t* cursor, CLumoFileDescList* out, int max) {
    if (*cursor == 0) g_seam.params << *param;
    ++g_seam.calls;
    if (g_seam.failAt > 0 && g_seam.calls >= g_seam.failAt) return -1;
    int n = 0;
    const CLumoTime base = CLumoTime::Now();
    while (n < max && *cursor < uint64_t(g_seam.total)) {
        auto* d = new CLumoFileDesc();
        CLumoTime s = base, e = base;
        s.Add(qint64(*cursor) * 60000);
        e.Add(qint64(*cursor) * 60000 + 30000);
        d->SetTimeS(s);
        d->SetTimeE(e);
        d->SetFileName(QStringLiteral("seam-%1.dav").arg(*cursor).toUtf8().constData());
        out->Append(d);
        ++*cursor;
        ++n;
    }
    return n;
}

QString recordName(int channel, int stream, int type, const QDateTime& start) {
    return QStringLiteral("c%1_s%2_r%3_%4.dav")
        .arg(channel, 2, 10, QLatin1Char('0'))
        .arg(stream)
        .arg(type)
        .arg(start.toString(QStringLiteral("yyyyMMdd_HHmmss")));
}

const char kStream[] = "MPEG4 64x48 10 64 schedule";

// The console's engine calls during these tests: the engine's own, unless a case makes them fail,
// hold them at a gate, or give reasons and settings problems.
struct EngineFakes {
    std::atomic<bool> failDisks{false}, failChannels{false}, failCuids{false}, failBlocks{false};
    // The reason a failing disk or block read gives; set by the test before the read starts.
    int readReason = 0;
    std::string readDetail;
    std::atomic<int> diskCalls{0};
    // Disk reads wait here while holdDisks is set (diskHeld says one waits).
    std::atomic<bool> holdDisks{false}, diskHeld{false};
    QSemaphore diskGate;
    // Block reads and formats wait here while holdWork is set (workWaiting counts them).
    std::atomic<bool> holdWork{false};
    std::atomic<int> workWaiting{0};
    QSemaphore workGate;
    // Set by the test before the worker starts.
    qint64 formatFailDisk = -1;
    int formatReason = 0;
    std::string formatDetail;
    QMutex problemsMutex;
    QByteArray problems;  // guarded by problemsMutex
};
EngineFakes* g_fakes = nullptr;
// The reason of this thread's last format, as the engine keeps it per thread.
thread_local int t_reason = 0;
thread_local std::string t_detail;

int fakeDiskInfo(const char* url, int reserved, IVantelList** out, int timeoutMs) {
    ++g_fakes->diskCalls;
    if (g_fakes->holdDisks) {
        g_fakes->diskHeld = true;
        g_fakes->diskGate.tryAcquire(1, 30000);
        g_fakes->diskHeld = false;
    }
    if (g_fakes->failDisks) {
        t_reason = g_fakes->readReason;
        t_detail = g_fakes->readDetail;
        return LUMOSR_ERR_TIMEOUT;
    }
    return LumoSRGetDiskInfo(url, reserved, out, timeoutMs);
}
int fakeChanInfo(const char* url, int reserved, IVantelList** out, int timeoutMs) {
    if (g_fakes->failChannels) return LUMOSR_ERR_TIMEOUT;
    return LumoSRGetChanInfo(url, reserved, out, timeoutMs);
}
int fakeCuidInfo(const char* url, int reserved, IVantelList** out, int timeoutMs) {
    if (g_fakes->failCuids) return LUMOSR_ERR_TIMEOUT;
    return LumoSRGetCUIDInfo(url, reserved, out, timeoutMs);
}
void workGate() {
    if (!g_fakes->holdWork) return;
    ++g_fakes->workWaiting;
    g_fakes->workGate.tryAcquire(1, 30000);
    --g_fakes->workWaiting;
}
int fakeBlockInfo(const char* url, int64_t diskId, int reserved, IVantelList** list, int timeoutMs) {
    workGate();
    if (g_fakes->failBlocks) {
        t_reason = g_fakes->readReason;
        t_detail = g_fakes->readDetail;
        return LUMOSR_ERR_REFUSED;
    }
    return LumoSRGetBlockInfo(url, diskId, reserved, list, timeoutMs);
}
int fakeFormat(const char* url, IKestoDiskFormat* request, IVantelData** out, int timeoutMs) {
    workGate();
    t_reason = LUMOSR_REASON_NONE;
    t_detail.clear();
    if (request->GetID() == g_fakes->formatFailDisk) {
        t_reason = g_fakes->formatReason;
        t_detail = g_fakes->formatDetail;
        return LUMOSR_ERR_REFUSED;
    }
    return LumoSRFormatDisk(url, request, out, timeoutMs);
}
int fakeLastError(int* reason, CLumoString* detail) {
    *reason = t_reason;
    detail->Copy(t_detail.c_str());
    return 0;
}
int fakeProblems(CLumoString* text) {
    QMutexLocker lock(&g_fakes->problemsMutex);
    text->Copy(g_fakes->problems.constData());
    return g_fakes->problems.isEmpty() ? 0 : g_fakes->problems.count('\n') + 1;
}

EngineAccess::Calls fakeCalls() {
    EngineAccess::Calls c = EngineAccess::EngineCalls();
    c.diskInfo = fakeDiskInfo;
    c.chanInfo = fakeChanInfo;
    c.cuidInfo = fakeCuidInfo;
    c.blockInfo = fakeBlockInfo;
    c.formatDisk = fakeFormat;
    c.lastError = fakeLastError;
    c.configProblems = fakeProblems;
    return c;
}

}  // namespace

class TestKestoStorage : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_prog, m_clip, m_log;
    QScopedPointer<QTemporaryDir> m_storage;
    QPointer<KestoRecordServer> m_window;
    QPointer<PageRecordServerConfig> m_page;
    QDateTime m_base;
    bool m_media = false;

    QString root() const { return m_storage->path(); }
    QString disk(int n) const { return root() + QStringLiteral("/d%1").arg(n); }
    QString block(int n, int b) const {
        return disk(n) + QStringLiteral("/blk%1").arg(b, 5, 10, QLatin1Char('0'));
    }

    void place(int diskNo, int blk, int channel, int stream, int type, const QDateTime& start) {
        QDir().mkpath(block(diskNo, blk));
        QVERIFY(QFile::copy(
            m_clip, block(diskNo, blk) + QLatin1Char('/') + recordName(channel, stream, type, start)));
    }
    void writeFile(const QString& path, const QByteArray& data) { storagetest::WriteFile(path, data); }
    // disks: how many of the six; channels: the channel groups as ini text.
    void writeConfig(int disks, const QString& channels) {
        static const char* const names[] = {"zeta", "alpha", "mu", "foreign1", "foreign2", "spare"};
        QString ini = QStringLiteral("[storage]\nroot=.\nfreeSpaceFloorMB=0\nblockCapacityMB=16\n\n");
        for (int i = 1; i <= disks; ++i)
            ini += QStringLiteral("[disk%1]\npath=d%1\nname=%2\ntype=%3\n\n")
                       .arg(i)
                       .arg(QLatin1String(names[i - 1]))
                       .arg(i % 2);
        ini += channels;
        writeFile(root() + QStringLiteral("/kestostorage.ini"), ini.toUtf8());
        LumoSRSetStorageConfig((root() + QStringLiteral("/kestostorage.ini")).toUtf8().constData());
        QCOMPARE(LumoSRInitialize(nullptr), 0);  // the engine reads its settings again
        settleEngine();
    }
    // The engine's queries answer from its last reading of the disks; a search waits for a new
    // one, so that what the files now hold is what the next refresh shows.
    static void settleEngine() {
        ILumoFSSearchParam nothing(1);
        uint64_t cursor = 0;
        CLumoFileDescList none(1);
        QCOMPARE(LumoSRSearchFiles(&nothing, &cursor, &none, 1), 0);
    }
    static QString channel(int n, const QString& cuid, int streams) {
        QString t = QStringLiteral("[channel%1]\ncuid=%2\nname=Ch%1\n").arg(n).arg(cuid);
        static const char* const keys[] = {"main", "sub", "third"};
        for (int s = 0; s < streams; ++s)
            t += QStringLiteral("%1=%2\n").arg(QLatin1String(keys[s]), QLatin1String(kStream));
        return t + QLatin1Char('\n');
    }
    static QString defaultChannels() {
        return channel(2, QStringLiteral("CAM-2"), 1) + channel(3, QStringLiteral("CAM-3"), 3) +
               channel(5, QStringLiteral("CAM-5"), 1);
    }

    QStringList logLines(const QString& kind) { return storagetest::LogLines(m_log, kind); }

    KestoRecordServer* open() {
        m_window = new KestoRecordServer(nullptr);
        m_window->resize(1300, 700);
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window)) qWarning("window not exposed");
        settle();
        return m_window;
    }

    // The tables are read on workers: wait until the reads asked for have been answered.
    void settle() {
        if (!QTest::qWaitFor([this]() { return !m_window->IsRefreshing(); }, 15000))
            qWarning("the storage reads did not end");
    }

    // The engine disk numbers of a model's rows, in the order shown.
    static QList<qint64> ids(const VantelDataModel* model) { return storagetest::Ids(model); }
    static int rowOf(const VantelDataModel* model, qint64 id) { return ids(model).indexOf(id); }

    bool formatted(int diskNo) const {
        return QFile::exists(disk(diskNo) + QStringLiteral("/kestodisk.marker")) &&
               QDir(disk(diskNo)).entryList({QStringLiteral("blk*")}, QDir::Dirs).isEmpty();
    }
    int blocksOf(int diskNo) const {
        return QDir(disk(diskNo)).entryList({QStringLiteral("blk*")}, QDir::Dirs).size();
    }

    void tick(VantelDataModel* model, qint64 id) { model->SetItemCheckState(rowOf(model, id), true); }

    // Clicks a row button of a table as the operator would.
    void clickAction(QTableView* view, int row, int column, int action) {
        storagetest::ClickAction(view, row, column, action);
    }

    // The record-server page bound to the window's engine over its network API, its reads done.
    PageRecordServerConfig* openPage() {
        m_page = storagetest::OpenRecorderPage(QStringLiteral("http://127.0.0.1:%1").arg(m_window->GetPort()));
        return m_page;
    }

    // Makes the failure happen on a host's storage pages; what the operator was then told under
    // that title ("kind\ttitle"), or the lines told when it is not one.
    QString provoke(StoragePages* pages, const QString& failing, const QString& titled) {
        QFile::remove(m_log);
        if (failing == QLatin1String("format")) {
            g_fakes->formatFailDisk = 1;
            pages->DiskModel()->SetItemCheckState(rowOf(pages->DiskModel(), 1), true);
            INFRA::TestSeams::SetScriptedReply(QStringLiteral("yes"));
            pages->OnDiskFormat();
        } else if (failing == QLatin1String("blocks")) {
            g_fakes->failBlocks = true;
            pages->LoadBlocksOfRow(rowOf(pages->DiskStatusModel(), 1));
        } else {
            g_fakes->failDisks = true;
            pages->RefreshDiskList();
        }
        const QString question = QObject::tr("K4778_DiskFormatInfo");
        auto told = [&]() {
            QStringList out;
            for (const QString& l : logLines(titled.section(QLatin1Char('\t'), 0, 0)))
                if (l.startsWith(titled + QLatin1Char('\t')) && l.section(QLatin1Char('\t'), 2, 2) != question)
                    out << l.section(QLatin1Char('\t'), 2, 2);
            return out;
        };
        if (!vt::WaitUntil([&]() { return !told().isEmpty() && !pages->IsRefreshing(); }, 10000))
            qWarning("nothing was told");
        g_fakes->formatFailDisk = -1;
        g_fakes->failBlocks = false;
        g_fakes->failDisks = false;
        const QStringList lines = told();
        return lines.size() == 1 ? lines.first() : lines.join(QStringLiteral(" | "));
    }

    // Ticks of a refresh timer; the read that the 15th starts is waited for.
    void fireTimer(int id, int ticks = 15) {
        for (int i = 0; i < ticks; ++i) {
            QTimerEvent e(id);
            QCoreApplication::sendEvent(m_window, &e);
        }
        settle();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        VT_REQUIRE(vt::HaveTool(QStringLiteral("ffmpeg")), "the ffmpeg tool is needed");
        m_prog = consoletest::MakeProgramDir(m_dir);
        QVERIFY(!m_prog.isEmpty());
        const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
        QVERIFY(QResource::registerResource(bin + QStringLiteral("/vantelres.xdll")));
        QDir::setCurrent(m_prog);
        consoletest::UsePrivateFolders(m_dir, "tst_kestostorage");
        LumoCConfiguration::GetLumoCConfig()->SetFilePath(m_dir.filePath(QStringLiteral("lumoc.ini")));

        // One small record, copied wherever a record file is needed.
        m_clip = m_dir.filePath(QStringLiteral("clip.dav"));
        QVERIFY(storagetest::MakeClip(m_clip));
        m_media = storagetest::MediaCanPlay();
        // Whole minutes a day ago: inside the search form's default range.
        m_base = QDateTime::currentDateTime().addDays(-1);
        m_base.setTime(QTime(m_base.time().hour(), 0, 0));
        INFRA::TestSeams::SetBusySynchronous(true);
    }

    void init() {
        // Disks 1-3 formatted with records, 4-5 hold someone else's files, 6 is empty.
        m_storage.reset(new QTemporaryDir(m_dir.filePath(QStringLiteral("storage-XXXXXX"))));
        QVERIFY(m_storage->isValid());
        for (int d : {1, 2, 3}) writeFile(disk(d) + QStringLiteral("/kestodisk.marker"), "KestoDisk 1\n");
        place(1, 0, 2, 0, 0, m_base);
        place(1, 0, 2, 0, 0, m_base.addSecs(600));
        place(2, 0, 3, 0, 0, m_base);
        place(2, 1, 3, 1, 0, m_base);
        place(3, 0, 3, 2, 4, m_base.addSecs(1200));
        writeFile(disk(4) + QStringLiteral("/notes.txt"), "not the engine's\n");
        writeFile(disk(5) + QStringLiteral("/notes.txt"), "not the engine's\n");
        QDir().mkpath(disk(6));
        writeConfig(6, defaultChannels());

        writeFile(m_prog + QStringLiteral("/kestoconfig.ini"),
                  "port=" + QByteArray::number(vt::ReservePort()) + "\n");
        m_log = m_dir.filePath(
            QStringLiteral("ui-%1-%2.log")
                .arg(QTest::currentTestFunction(), QString(QTest::currentDataTag()).replace(' ', '_')));
        QFile::remove(m_log);
        INFRA::TestSeams::SetUiLogPath(m_log);
        // A box that nobody answers would hold the run: every box is answered.
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("ok"));
        VantelUtility::initLanguage(QStringLiteral("English"));
        g_seam = SearchSeam();
        g_fakes = new EngineFakes;
        EngineAccess::SetCalls(fakeCalls());
    }

    void cleanup() {
        // Nothing may stay held at a gate: the window waits for its workers when it goes.
        g_fakes->holdDisks = false;
        g_fakes->holdWork = false;
        g_fakes->diskGate.release(4);
        g_fakes->workGate.release(4);
        delete m_page;
        delete m_window;
        LumoSRStop();
        LumoMediaSearchSetSource(nullptr);
        INFRA::TestSeams::SetBusySynchronous(true);
        EngineAccess::SetCalls(EngineAccess::EngineCalls());
        delete g_fakes;
        g_fakes = nullptr;
    }

    void cleanupTestCase() { LumoSRInvalidate(); }

    // ---- what the tables show -------------------------------------------------------------

    void tablesShowTheStorage() {
        KestoRecordServer* w = open();
        QVERIFY(w->IsEngineStarted());
        Ui::KestoRecordServer& ui = w->GetForm();
        QCOMPARE(ids(w->GetDiskModel()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(ids(w->GetDiskStatusModel()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(w->GetDiskModel()->index(1, 2).data().toString(), QStringLiteral("alpha"));
        QCOMPARE(w->GetDiskStatusModel()->index(2, 7).data().toString(), disk(3));
        QCOMPARE(ids(w->GetChnModel()), (QList<qint64>{2, 3, 5}));
        QCOMPARE(w->GetChnModel()->index(1, 2).data().toString(), QStringLiteral("CAM-3"));
        QCOMPARE(ui.m_table_vmr_disk->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("Disk no."));
        QCOMPARE(ui.stackedWidget->currentIndex(), 0);
        for (int i = 0; i < 5; ++i) QVERIFY(!ui.m_listWidget->item(i)->icon().isNull());
        QVERIFY(ui.m_table_block_status->isColumnHidden(7));
        QCOMPARE(ui.m_table_vmr_disk->rowHeight(0), 20);
        // Every label fits its column.
        for (QTableView* v : {ui.m_table_vmr_disk, ui.m_table_channel, ui.m_table_stream,
                              ui.m_table_disk_status, ui.m_table_block_status, ui.m_table_record_files})
            for (int c = 1; c < v->horizontalHeader()->count() - 1; ++c)
                if (!v->isColumnHidden(c))
                    QVERIFY2(v->columnWidth(c) >= v->horizontalHeader()->sectionSizeHint(c),
                             qPrintable(QStringLiteral("%1 column %2").arg(v->objectName()).arg(c)));
        // The camera list, first camera chosen.
        QCOMPARE(ui.m_cmb_cuid->count(), 3);
        QCOMPARE(ui.m_cmb_cuid->currentText(), QStringLiteral("CAM-2"));
        // Search form.
        QCOMPARE(ui.m_dateTimeEdit_stime->displayFormat(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QCOMPARE(ui.m_dateTimeEdit_etime->minimumDateTime(), QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
        QVERIFY(ui.m_dateTimeEdit_stime->calendarPopup());
        QVERIFY(qAbs(ui.m_dateTimeEdit_stime->dateTime().daysTo(QDateTime::currentDateTime()) - 10) <= 1);
        QVERIFY(qAbs(QDateTime::currentDateTime().daysTo(ui.m_dateTimeEdit_etime->dateTime()) - 10) <= 1);
    }

    // The header check box of the disk table shows none, some or all ticked; the header box of
    // every table ticks and unticks all its rows.
    void headerCheckBoxes() {
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        QTableView* view = ui.m_table_vmr_disk;
        auto* model = w->GetDiskModel();
        auto changed = [&](int row) { w->OnItemCheckStateChange(view, model->index(row, 0)); };
        model->SetItemCheckState(0, true);
        changed(0);
        QCOMPARE(w->GetDiskHeader()->checkState(), Qt::PartiallyChecked);
        for (int r = 0; r < model->GetRowCount(); ++r) model->SetItemCheckState(r, true);
        changed(0);
        QCOMPARE(w->GetDiskHeader()->checkState(), Qt::Checked);
        for (int r = 0; r < model->GetRowCount(); ++r) model->SetItemCheckState(r, false);
        changed(0);
        QCOMPARE(w->GetDiskHeader()->checkState(), Qt::Unchecked);

        // Fill the three tables that start empty.
        w->ShowChannelStreams(rowOf(w->GetChnModel(), 3));
        w->LoadBlocksOfRow(rowOf(w->GetDiskStatusModel(), 2));
        QTRY_COMPARE(w->GetBlockModel()->GetRowCount(), 2);
        w->OnRecordFileSearch();
        QTRY_COMPARE(w->GetRecordFileModel()->GetRowCount(), 2);
        for (QTableView* v : {ui.m_table_vmr_disk, ui.m_table_channel, ui.m_table_stream,
                              ui.m_table_disk_status, ui.m_table_block_status, ui.m_table_record_files}) {
            auto* m = qobject_cast<VantelDataModel*>(v->model());
            INFRA::TableHeaderView* h = w->GetHeader(v);
            QVERIFY(m && h && m->GetRowCount() > 0);
            QVERIFY(QMetaObject::invokeMethod(h, "checkStausChange", Q_ARG(bool, true)));
            QVERIFY2(m->GetDetailCheckedCount() == m->GetRowCount(), qPrintable(v->objectName()));
            QCOMPARE(h->checkState(), Qt::Checked);
            QVERIFY(QMetaObject::invokeMethod(h, "checkStausChange", Q_ARG(bool, false)));
            QCOMPARE(m->GetDetailCheckedCount(), 0);
            QCOMPARE(h->checkState(), Qt::Unchecked);
        }
    }

    // A channel's every stream is shown, the third too.
    void streamsOfAChannel() {
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        ui.m_listWidget->setCurrentRow(1);
        ui.m_table_channel->sortByColumn(3, Qt::DescendingOrder);  // by name: Ch5, Ch3, Ch2
        QCOMPARE(ids(w->GetChnModel()), (QList<qint64>{5, 3, 2}));
        clickAction(ui.m_table_channel, 1, 4, 0);
        QCOMPARE(ids(w->GetStreamModel()), (QList<qint64>{1, 2, 3}));
        QCOMPARE(w->GetStreamModel()->index(2, 2).data().toString(), QStringLiteral("Third stream"));
        QCOMPARE(ui.m_lbl_stream_status->text(), QStringLiteral("CUID : CAM-3"));
        QCOMPARE(w->GetStreamChnId(), qint64(3));
        w->ShowChannelStreams(2);  // channel 2: one stream
        QCOMPARE(ids(w->GetStreamModel()), (QList<qint64>{1}));
        QCOMPARE(ui.m_lbl_stream_status->text(), QStringLiteral("CUID : CAM-2"));
    }

    // The blocks of the disk in the clicked row of the (sorted) disk-status table.
    void blocksOfADisk() {
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        ui.m_listWidget->setCurrentRow(2);
        ui.m_table_disk_status->sortByColumn(2, Qt::AscendingOrder);  // alpha (2) first
        QCOMPARE(ids(w->GetDiskStatusModel()).first(), qint64(2));
        clickAction(ui.m_table_disk_status, 0, 5, 0);
        QTRY_COMPARE(w->GetBlockModel()->GetRowCount(), 2);
        for (int r = 0; r < 2; ++r) QCOMPARE(w->GetBlockModel()->index(r, 2).data().toUInt(), 2u);
        QCOMPARE(ui.m_lbl_block_status->text(), QStringLiteral("Disk no. : 2"));
        QCOMPARE(w->GetBlockDiskId(), qint64(2));
        // A disk without blocks shows an empty table under its own caption.
        w->LoadBlocksOfRow(rowOf(w->GetDiskStatusModel(), 6));
        QTRY_COMPARE(ui.m_lbl_block_status->text(), QStringLiteral("Disk no. : 6"));
        QCOMPARE(w->GetBlockModel()->GetRowCount(), 0);
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 0);
    }

    // The camera list after a refresh: the choice stays while it exists; a chosen camera that
    // left falls back to the first; a typed or emptied text is the operator's and stays.
    void cuidList_data() {
        QTest::addColumn<QString>("text");   // what the operator leaves in the box
        QTest::addColumn<bool>("pick");      // chosen from the list (else typed)
        QTest::addColumn<bool>("dropCam5");  // CAM-5 leaves the engine's list
        QTest::addColumn<QString>("expected");
        QTest::newRow("chosen, still there") << "CAM-5" << true << false << "CAM-5";
        QTest::newRow("chosen, gone") << "CAM-5" << true << true << "CAM-2";
        QTest::newRow("typed") << "CAM-77" << false << true << "CAM-77";
        QTest::newRow("emptied: every camera") << "" << false << true << "";
    }
    void cuidList() {
        QFETCH(QString, text);
        QFETCH(bool, pick);
        QFETCH(bool, dropCam5);
        QFETCH(QString, expected);
        KestoRecordServer* w = open();
        QComboBox* box = w->GetForm().m_cmb_cuid;
        if (pick)
            box->setCurrentIndex(box->findText(text));
        else
            box->setEditText(text);
        QCOMPARE(box->currentText(), text);
        if (dropCam5)
            writeConfig(6, channel(2, QStringLiteral("CAM-2"), 1) + channel(3, QStringLiteral("CAM-3"), 3));
        fireTimer(w->GetChnTimerId());
        QCOMPARE(box->count(), dropCam5 ? 2 : 3);
        QCOMPARE(box->currentText(), expected);
    }

    // ---- formatting -------------------------------------------------------------------------

    // Two ticked disks, one question, exactly those two formatted.
    void formatTickedDisks() {
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        ui.m_table_vmr_disk->sortByColumn(1, Qt::DescendingOrder);
        tick(w->GetDiskModel(), 3);
        tick(w->GetDiskModel(), 1);
        // The 15-second refresh reads the disks again and keeps the ticks on them.
        fireTimer(w->GetDiskTimerId());
        QCOMPARE(w->GetDiskModel()->GetDetailCheckedCount(), 2);
        QVERIFY(w->GetDiskModel()->GetItemCheckState(rowOf(w->GetDiskModel(), 1)));
        QVERIFY(w->GetDiskModel()->GetItemCheckState(rowOf(w->GetDiskModel(), 3)));
        QCOMPARE(w->GetDiskHeader()->checkState(), Qt::PartiallyChecked);
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("yes"));
        QTest::mouseClick(ui.m_button_format, Qt::LeftButton);
        QTRY_VERIFY(formatted(1) && formatted(3));
        QCOMPARE(blocksOf(2), 2);  // untouched
        QVERIFY(QFile::exists(disk(4) + QStringLiteral("/notes.txt")));
        QCOMPARE(logLines(QStringLiteral("messagebox")),
                 QStringList{
                     QStringLiteral("messagebox\tFormat disk\tFormatting erases every record on the chosen "
                                    "disks. Continue?")});
        // Done: nothing stays ticked for a second press.
        QTRY_COMPARE(w->GetDiskModel()->GetDetailCheckedCount(), 0);
        QCOMPARE(w->GetDiskHeader()->checkState(), Qt::Unchecked);
    }

    // The operator sorts the table and presses the format button of the first row shown.
    void formatFromTheRowButtonOfASortedTable() {
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        ui.m_table_vmr_disk->sortByColumn(2, Qt::AscendingOrder);  // by name: alpha (disk 2) first
        QCOMPARE(ids(w->GetDiskModel()).first(), qint64(2));
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("yes"));
        clickAction(ui.m_table_vmr_disk, 0, 4, 0);
        QTRY_VERIFY(formatted(2));
        QCOMPARE(blocksOf(1), 1);
        QCOMPARE(blocksOf(3), 1);
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 1);
    }

    void formatAnswers_data() {
        QTest::addColumn<QString>("reply");
        QTest::newRow("no") << "no";
        QTest::newRow("closed without an answer") << "close";
    }
    void formatAnswers() {
        QFETCH(QString, reply);
        KestoRecordServer* w = open();
        tick(w->GetDiskModel(), 1);
        INFRA::TestSeams::SetScriptedReply(reply);
        w->OnDiskFormat();
        clickAction(w->GetForm().m_table_vmr_disk, 1, 4, 0);
        QTest::qWait(100);
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 2);
        QCOMPARE(blocksOf(1), 1);
        QCOMPARE(blocksOf(2), 2);
    }

    void formatWithNothingTicked() {
        KestoRecordServer* w = open();
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("yes"));
        w->OnDiskFormat();
        QCOMPARE(logLines(QStringLiteral("messagebox")),
                 QStringList{QStringLiteral("messagebox\tFormat disk\tChoose at least one disk first.")});
        QCOMPARE(blocksOf(1) + blocksOf(2) + blocksOf(3), 4);
    }

    // A refused format is reported, naming the disks in ascending order; what was there stays.
    void formatFailureIsReported() {
        KestoRecordServer* w = open();
        w->GetForm().m_table_vmr_disk->sortByColumn(1, Qt::DescendingOrder);
        tick(w->GetDiskModel(), 5);
        tick(w->GetDiskModel(), 4);
        tick(w->GetDiskModel(), 6);
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("yes"));
        w->OnDiskFormat();
        QTRY_COMPARE(logLines(QStringLiteral("messagebox")).size(), 2);
        QCOMPARE(logLines(QStringLiteral("messagebox")).last(),
                 QStringLiteral("messagebox\tFormat disk\tDisk no. 4, 5 could not be formatted."));
        QVERIFY(QFile::exists(disk(4) + QStringLiteral("/notes.txt")));
        QVERIFY(QFile::exists(disk(5) + QStringLiteral("/notes.txt")));
        QVERIFY(QFile::exists(disk(6) + QStringLiteral("/kestodisk.marker")));  // the empty one was
    }

    // A format that fails says why, in the operator's language, with what the engine named (a
    // folder, a file and the system's reason, the disk number); the reason is asked for on the
    // worker right after the failed call.
    void formatFailureReasons_data() {
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("detail");  // {d1}: disk 1's folder
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("text");
        const QString no = QStringLiteral("Disk no. 1 could not be formatted: ");
        QTest::newRow("foreign files")
            << 1 << "{d1}" << QByteArray("English")
            << no + "the folder {d1} holds files that are not the recording engine's, "
                    "and nothing was removed.";
        QTest::newRow("foreign files, Chinese")
            << 1 << "{d1}" << QByteArray("Chinese")
            << "磁盘 1 格式化失败：文件夹 {d1} 中有不属于录像引擎的文件，未删除任何内容。";
        QTest::newRow("not removable")
            << 2 << "{d1}/blk00000: Permission denied" << QByteArray("English")
            << no + "a file or folder could not be removed ({d1}/blk00000: Permission "
                    "denied).";
        QTest::newRow("disk busy") << 3 << "{d1}" << QByteArray("English")
                                   << no + "the disk {d1} stayed busy with recording. Try again later.";
        QTest::newRow("no folder") << 4 << "{d1}" << QByteArray("English")
                                   << no + "the disk's folder {d1} does not exist or is not a folder.";
        QTest::newRow("read or write")
            << 5 << "{d1}/kestodisk.marker: No space left on device" << QByteArray("English")
            << no + "a read or write failed ({d1}/kestodisk.marker: No space left on "
                    "device).";
        QTest::newRow("no such disk")
            << 6 << "1" << QByteArray("English") << no + "there is no disk no. 1 in the settings.";
        QTest::newRow("no reason given")
            << 0 << "" << QByteArray("English") << "Disk no. 1 could not be formatted.";
    }
    void formatFailureReasons() {
        QFETCH(int, reason);
        QFETCH(QString, detail);
        QFETCH(QByteArray, language);
        QFETCH(QString, text);
        detail.replace(QStringLiteral("{d1}"), disk(1));
        text.replace(QStringLiteral("{d1}"), disk(1));
        g_fakes->formatFailDisk = 1;
        g_fakes->formatReason = reason;
        g_fakes->formatDetail = detail.toStdString();
        KestoRecordServer* w = open();
        QVERIFY(VantelUtility::initLanguage(QString::fromLatin1(language)));
        tick(w->GetDiskModel(), 1);
        tick(w->GetDiskModel(), 2);
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("yes"));
        w->OnDiskFormat();
        QTRY_COMPARE(logLines(QStringLiteral("messagebox")).size(), 2);
        QCOMPARE(logLines(QStringLiteral("messagebox")).last().section(QLatin1Char('\t'), 2), text);
        QCOMPARE(blocksOf(1), 1);  // refused: untouched
        QVERIFY(formatted(2));     // the other one was formatted
    }

    // ---- both storage pages -------------------------------------------------------------------

    // The console's window and the record-server page show the same storage pages: a failure is
    // told in the same words on both (a failed read in the window's tray balloon, in a box on the
    // page), with the engine's reason in words where it gave one.
    void bothPagesTellAFailureAlike_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("detail");  // {d1}: disk 1's folder
        QTest::addColumn<QString>("text");
        QTest::newRow("format, no reason") << "format" << 0 << "" << "Disk no. 1 could not be formatted.";
        QTest::newRow("format, foreign files")
            << "format" << 1 << "{d1}"
            << "Disk no. 1 could not be formatted: the folder {d1} holds files that are not the recording "
               "engine's, and nothing was removed.";
        QTest::newRow("blocks, no reason")
            << "blocks" << 0 << "" << "The storage blocks of disk no. 1 could not be read.";
        QTest::newRow("blocks, access refused")
            << "blocks" << 7 << "wrong password"
            << "The storage blocks of disk no. 1 could not be read. The recorder refused access: wrong password";
        QTest::newRow("disks, no reason")
            << "disks" << 0 << ""
            << "The disks could not be read from the recording engine. The disk tables show what was read "
               "last.";
        QTest::newRow("disks, unreachable")
            << "disks" << 8 << "127.0.0.1:9: Connection refused"
            << "The disks could not be read from the recording engine. The disk tables show what was read "
               "last. The recorder cannot be reached: 127.0.0.1:9: Connection refused";
    }
    void bothPagesTellAFailureAlike() {
        QFETCH(QString, failing);
        QFETCH(int, reason);
        QFETCH(QString, detail);
        QFETCH(QString, text);
        detail.replace(QStringLiteral("{d1}"), disk(1));
        text.replace(QStringLiteral("{d1}"), disk(1));
        g_fakes->formatReason = reason;
        g_fakes->formatDetail = detail.toStdString();
        g_fakes->readReason = reason;
        g_fakes->readDetail = detail.toStdString();
        const QString title = failing == QLatin1String("format")   ? QStringLiteral("messagebox\tFormat disk")
                              : failing == QLatin1String("blocks") ? QStringLiteral("messagebox\tBlock status")
                                                                   : QString();
        KestoRecordServer* w = open();
        QCOMPARE(provoke(w->GetStorage(), failing, title.isEmpty() ? QStringLiteral("balloon\tError") : title),
                 text);
        PageRecordServerConfig* page = openPage();
        QCOMPARE(ids(page->GetDiskModel()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(provoke(page->GetStorage(), failing,
                         title.isEmpty() ? QStringLiteral("messagebox\tRecord server") : title),
                 text);
        QCOMPARE(blocksOf(1), 1);  // refused: untouched
        QCOMPARE(ids(page->GetDiskModel()), (QList<qint64>{1, 2, 3, 4, 5, 6}));  // the rows read last stay
    }

    // A channel without streams shows none under its own caption, on both hosts: not the streams
    // of the channel shown before.
    void channelWithoutStreams_data() {
        QTest::addColumn<bool>("page");
        QTest::newRow("window") << false;
        QTest::newRow("record-server page") << true;
    }
    void channelWithoutStreams() {
        QFETCH(bool, page);
        writeConfig(6, defaultChannels() + channel(7, QStringLiteral("CAM-7"), 0));
        KestoRecordServer* w = open();
        StoragePages* pages = page ? openPage()->GetStorage() : w->GetStorage();
        QLabel* caption = page ? m_page->GetForm().m_lbl_stream_status : w->GetForm().m_lbl_stream_status;
        QCOMPARE(ids(pages->ChnModel()), (QList<qint64>{2, 3, 5, 7}));
        pages->ShowChannelStreams(rowOf(pages->ChnModel(), 3));
        QCOMPARE(pages->StreamModel()->GetRowCount(), 3);
        pages->ShowChannelStreams(rowOf(pages->ChnModel(), 7));
        QCOMPARE(pages->StreamModel()->GetRowCount(), 0);
        QCOMPARE(caption->text(), QStringLiteral("CUID : CAM-7"));
        QCOMPARE(pages->StreamChnId(), qint64(7));
    }

    // ---- the 15-second refreshes ------------------------------------------------------------

    // A read that fails is told once, not at every refresh; the tables keep what they show; once
    // a read has worked, a new failure is told again.
    void queryFailuresAreToldOnce_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("text");
        QTest::newRow("disks")
            << "disks"
            << "The disks could not be read from the recording engine. The disk tables show "
               "what was read last.";
        QTest::newRow("channels") << "channels"
                                  << "The channels could not be read from the recording engine. The channel "
                                     "table shows what was read last.";
        QTest::newRow("cameras") << "cameras"
                                 << "The camera identities could not be read from the recording engine. The "
                                    "record search keeps the list read last.";
    }
    void queryFailuresAreToldOnce() {
        QFETCH(QString, failing);
        QFETCH(QString, text);
        std::atomic<bool>& flag = failing == QLatin1String("disks")      ? g_fakes->failDisks
                                  : failing == QLatin1String("channels") ? g_fakes->failChannels
                                                                         : g_fakes->failCuids;
        KestoRecordServer* w = open();
        const int before = logLines(QStringLiteral("balloon")).size();
        const QString notice = QStringLiteral("balloon\tError\t%1\tcritical").arg(text);
        auto notices = [&]() { return logLines(QStringLiteral("balloon")).mid(before); };
        auto refreshBoth = [&]() {
            fireTimer(w->GetDiskTimerId());
            fireTimer(w->GetChnTimerId());
        };

        flag = true;
        refreshBoth();
        refreshBoth();
        refreshBoth();
        QCOMPARE(notices(), QStringList{notice});
        QCOMPARE(ids(w->GetDiskModel()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(ids(w->GetChnModel()), (QList<qint64>{2, 3, 5}));
        QCOMPARE(w->GetForm().m_cmb_cuid->count(), 3);
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 0);  // no box to click away

        flag = false;
        refreshBoth();
        QCOMPARE(notices().size(), 1);
        flag = true;
        refreshBoth();
        QCOMPARE(notices(), (QStringList{notice, notice}));
    }

    // The engine's settings problems are shown once at start, naming their lines.
    void settingsProblemsAtStart_data() {
        QTest::addColumn<QByteArray>("problems");
        QTest::addColumn<QString>("notice");
        QTest::newRow("none") << QByteArray() << QString();
        QTest::newRow("two lines")
            << QByteArray(
                   "/srv/kestostorage.ini:7: [channel01] repeats channel 1; it is ignored\n"
                   "/srv/kestostorage.ini:12: disk path is not valid UTF-8; disk 3 is ignored")
            << "notice\tSettings problems\tThe recording engine found problems in its settings and went on "
               "as "
               "described:  /srv/kestostorage.ini:7: [channel01] repeats channel 1; it is ignored "
               "/srv/kestostorage.ini:12: disk path is not valid UTF-8; disk 3 is ignored";
    }
    void settingsProblemsAtStart() {
        QFETCH(QByteArray, problems);
        QFETCH(QString, notice);
        {
            QMutexLocker lock(&g_fakes->problemsMutex);
            g_fakes->problems = problems;
        }
        KestoRecordServer* w = open();
        fireTimer(w->GetDiskTimerId());
        fireTimer(w->GetChnTimerId());
        QCOMPARE(logLines(QStringLiteral("notice")), notice.isEmpty() ? QStringList() : QStringList{notice});
        // It stays until the operator closes it, without holding the console.
        auto* box = w->findChild<INFRA::MessageBox*>();
        QCOMPARE(box != nullptr, !notice.isEmpty());
        if (box) {
            QVERIFY(box->isVisible());
            QVERIFY(!box->isModal());
            QVERIFY(!QApplication::activeModalWidget());
        }
    }

    // The refresh reads on a worker: while the engine keeps it waiting the window goes on; a
    // refresh due meanwhile lets the running one be, and the operator's press is answered after it.
    void refreshNeverHoldsTheWindow() {
        KestoRecordServer* w = open();
        const int calls = g_fakes->diskCalls;
        g_fakes->holdDisks = true;
        auto ticks = [&](int n) {
            for (int i = 0; i < n; ++i) {
                QTimerEvent e(w->GetDiskTimerId());
                QCoreApplication::sendEvent(w, &e);
            }
        };
        ticks(15);
        QTRY_VERIFY_WITH_TIMEOUT(g_fakes->diskHeld.load(), 5000);
        QVERIFY(w->IsRefreshing());
        bool turned = false;
        QTimer::singleShot(0, w, [&turned]() { turned = true; });
        QTRY_VERIFY(turned);
        QVERIFY(g_fakes->diskHeld.load());  // still waiting: the window did not wait with it
        ticks(15);
        QCOMPARE(g_fakes->diskCalls.load(), calls + 1);
        QTest::mouseClick(w->GetForm().m_button_refresh, Qt::LeftButton);
        QCOMPARE(g_fakes->diskCalls.load(), calls + 1);

        g_fakes->holdDisks = false;
        g_fakes->diskGate.release();
        settle();
        QCOMPARE(g_fakes->diskCalls.load(), calls + 2);
        QCOMPARE(ids(w->GetDiskModel()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
    }

    // The busy indicator as the program runs it (its worker on a pool thread): a block load and a
    // format are under way while the refreshes fire and fill the tables; both then finish.
    void busyWorkWhileTheRefreshFires() {
        INFRA::TestSeams::SetBusySynchronous(false);
        KestoRecordServer* w = open();
        g_fakes->holdWork = true;
        w->LoadBlocksOfRow(rowOf(w->GetDiskStatusModel(), 2));
        tick(w->GetDiskModel(), 3);
        INFRA::TestSeams::SetScriptedReply(QStringLiteral("yes"));
        w->OnDiskFormat();
        QTRY_COMPARE_WITH_TIMEOUT(g_fakes->workWaiting.load(), 2, 5000);
        QCOMPARE(w->findChildren<INFRA::BusyLoading*>().size(), 2);

        // Disk 4 becomes formatted meanwhile: the refresh shows it.
        writeFile(disk(4) + QStringLiteral("/kestodisk.marker"), "KestoDisk 1\n");
        const QString stateBefore =
            w->GetDiskStatusModel()->index(rowOf(w->GetDiskStatusModel(), 4), 3).data().toString();
        for (int i = 0; i < 3; ++i) {
            fireTimer(w->GetDiskTimerId());
            fireTimer(w->GetChnTimerId());
        }
        QCOMPARE(ids(w->GetDiskModel()), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QVERIFY(w->GetDiskStatusModel()->index(rowOf(w->GetDiskStatusModel(), 4), 3).data().toString() !=
                stateBefore);
        QCOMPARE(ids(w->GetChnModel()), (QList<qint64>{2, 3, 5}));
        QCOMPARE(blocksOf(3), 1);  // the format waits still
        QVERIFY(w->GetDiskModel()->GetItemCheckState(rowOf(w->GetDiskModel(), 3)));

        g_fakes->holdWork = false;
        g_fakes->workGate.release(2);
        QTRY_VERIFY_WITH_TIMEOUT(w->findChildren<INFRA::BusyLoading*>().isEmpty(), 10000);
        QVERIFY(formatted(3));
        QCOMPARE(w->GetBlockModel()->GetRowCount(), 2);
        QCOMPARE(w->GetForm().m_lbl_block_status->text(), QStringLiteral("Disk no. : 2"));
        settle();
        QCOMPARE(w->GetDiskModel()->GetDetailCheckedCount(), 0);
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 1);  // the question, no failure
    }

    void refreshFollowsTheChannel() {
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        w->ShowChannelStreams(rowOf(w->GetChnModel(), 3));
        QCOMPARE(rowOf(w->GetChnModel(), 3), 1);
        // Channel 1 comes before it; channel 3 loses its third stream.
        writeConfig(6, channel(1, QStringLiteral("CAM-1"), 1) + channel(2, QStringLiteral("CAM-2"), 1) +
                           channel(3, QStringLiteral("CAM-3"), 2) + channel(5, QStringLiteral("CAM-5"), 1));
        fireTimer(w->GetChnTimerId(), 14);
        QCOMPARE(w->GetStreamModel()->GetRowCount(), 3);  // not yet
        fireTimer(w->GetChnTimerId(), 1);
        QCOMPARE(rowOf(w->GetChnModel(), 3), 2);
        QCOMPARE(w->GetStreamChnId(), qint64(3));
        QCOMPARE(ui.m_lbl_stream_status->text(), QStringLiteral("CUID : CAM-3"));
        // Streams 1 and 2 from the settings; the third is known from its record file only.
        QCOMPARE(ids(w->GetStreamModel()), (QList<qint64>{1, 2, 3}));
        QCOMPARE(w->GetStreamModel()->index(2, 8).data().toInt(), 0);  // not recording any more

        // A channel that leaves takes its streams with it.
        w->ShowChannelStreams(rowOf(w->GetChnModel(), 5));
        QCOMPARE(ui.m_lbl_stream_status->text(), QStringLiteral("CUID : CAM-5"));
        writeConfig(6, channel(2, QStringLiteral("CAM-2"), 1) + channel(3, QStringLiteral("CAM-3"), 3));
        fireTimer(w->GetChnTimerId());
        QCOMPARE(w->GetStreamModel()->GetRowCount(), 0);
        QCOMPARE(ui.m_lbl_stream_status->text(), QString());
        QCOMPARE(w->GetStreamChnId(), qint64(-1));
    }

    void refreshFollowsTheDisk() {
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        // By state: the unformatted disks first.
        ui.m_table_disk_status->sortByColumn(3, Qt::AscendingOrder);
        const int before = rowOf(w->GetDiskStatusModel(), 2);
        w->LoadBlocksOfRow(before);
        QTRY_COMPARE(w->GetBlockModel()->GetRowCount(), 2);
        // Disk 4 becomes formatted and moves; disk 2 gets a third block.
        writeFile(disk(4) + QStringLiteral("/kestodisk.marker"), "KestoDisk 1\n");
        place(2, 7, 3, 0, 1, m_base.addSecs(3600));
        settleEngine();
        fireTimer(w->GetDiskTimerId());
        QVERIFY(rowOf(w->GetDiskStatusModel(), 2) != before);
        w->OnBlockRefresh();
        QTRY_COMPARE(w->GetBlockModel()->GetRowCount(), 3);
        for (int r = 0; r < 3; ++r) QCOMPARE(w->GetBlockModel()->index(r, 2).data().toUInt(), 2u);
        QCOMPARE(ui.m_lbl_block_status->text(), QStringLiteral("Disk no. : 2"));

        // A disk that leaves takes its blocks with it.
        writeConfig(1, defaultChannels());
        fireTimer(w->GetDiskTimerId());
        QCOMPARE(ids(w->GetDiskStatusModel()), (QList<qint64>{1}));
        QCOMPARE(w->GetBlockModel()->GetRowCount(), 0);
        QCOMPARE(ui.m_lbl_block_status->text(), QStringLiteral("Block status"));
        QCOMPARE(w->GetBlockDiskId(), qint64(-1));
        w->OnBlockRefresh();  // nothing to reload
        QCOMPARE(w->GetBlockModel()->GetRowCount(), 0);
    }

    // ---- record search ----------------------------------------------------------------------

    void searchCriteria_data() {
        QTest::addColumn<int>("stream");
        QTest::addColumn<QString>("cuid");
        QTest::newRow("main, every camera") << 0 << "";
        QTest::newRow("sub, a typed camera") << 1 << "CAM 9/typed";
    }
    void searchCriteria() {
        QFETCH(int, stream);
        QFETCH(QString, cuid);
        LumoMediaSearchSetSource(seamSource);
        g_seam.total = 3;
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        const QDateTime start(QDate(2024, 2, 29), QTime(23, 59, 58));
        const QDateTime end(QDate(2024, 3, 1), QTime(0, 0, 1));
        ui.m_dateTimeEdit_stime->setDateTime(start);
        ui.m_dateTimeEdit_etime->setDateTime(end);
        ui.m_cmb_stream->setCurrentIndex(stream);
        ui.m_cmb_cuid->setEditText(cuid);
        QTest::mouseClick(ui.m_button_search, Qt::LeftButton);
        QTRY_COMPARE(w->GetRecordFileModel()->GetRowCount(), 3);
        QCOMPARE(g_seam.params.size(), 1);
        const ILumoFSSearchParam& p = g_seam.params.first();
        for (int s = 0; s < 3; ++s) QCOMPARE(p.GetChannelMask(s), s == stream ? ~quint64(0) : quint64(0));
        QCOMPARE(p.GetMediaType(), 1);
        QCOMPARE(p.GetRecordType(), 0xDFu);
        QCOMPARE(p.GetStreamType(), stream);
        QCOMPARE(p.GetCUIDs().size(), cuid.isEmpty() ? size_t(0) : size_t(1));
        if (!cuid.isEmpty()) QCOMPARE(QString::fromUtf8(p.GetCUIDs().front().c_str()), cuid);
        QCOMPARE(p.GetTimeS().GetYear(), 2024);
        QCOMPARE(p.GetTimeS().GetDay(), 29);
        QCOMPARE(p.GetTimeS().GetSecond(), 58);
        QCOMPARE(p.GetTimeE().GetMonth(), 3);
        QCOMPARE(p.GetTimeE().GetSecond(), 1);
        QCOMPARE(logLines(QStringLiteral("messagebox")).size(), 0);
    }

    // Batches of 256 until the media layer has no more; a failing batch ends the search and
    // says so; a search that cannot be opened says so; no match shows an empty table quietly.
    void searchBatches_data() {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("failAt");
        QTest::addColumn<int>("calls");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("message");
        QTest::newRow("600 results") << 600 << -1 << 4 << 600 << QString();
        QTest::newRow("exactly 256") << 256 << -1 << 2 << 256 << QString();
        QTest::newRow("nothing found") << 0 << -1 << 1 << 0 << QString();
        QTest::newRow("second batch fails")
            << 600 << 2 << 2 << 256 << "The record search stopped early; the list may be incomplete.";
        QTest::newRow("first batch fails")
            << 600 << 1 << 1 << 0 << "The record search stopped early; the list may be incomplete.";
    }
    void searchBatches() {
        QFETCH(int, total);
        QFETCH(int, failAt);
        QFETCH(int, calls);
        QFETCH(int, rows);
        QFETCH(QString, message);
        LumoMediaSearchSetSource(seamSource);
        g_seam.total = total;
        g_seam.failAt = failAt;
        KestoRecordServer* w = open();
        w->OnRecordFileSearch();
        QTRY_COMPARE(g_seam.calls, calls);
        QTRY_COMPARE(w->GetRecordFileModel()->GetRowCount(), rows);
        QTest::qWait(50);
        QCOMPARE(g_seam.calls, calls);
        QCOMPARE(logLines(QStringLiteral("messagebox")),
                 message.isEmpty() ? QStringList()
                                   : QStringList{QStringLiteral("messagebox\tRecord search\t") + message});
    }

    void searchThatCannotBeOpened() {
        LumoMediaSearchSetSource(seamSource);
        g_seam.total = 5;
        KestoRecordServer* w = open();
        // A stream word the media layer does not know: no channel to search.
        w->GetForm().m_cmb_stream->addItem(QStringLiteral("none"), 7);
        w->GetForm().m_cmb_stream->setCurrentIndex(2);
        w->OnRecordFileSearch();
        QTRY_COMPARE(
            logLines(QStringLiteral("messagebox")),
            QStringList{QStringLiteral("messagebox\tRecord search\tThe record search could not be run.")});
        QCOMPARE(g_seam.calls, 0);
        QCOMPARE(w->GetRecordFileModel()->GetRowCount(), 0);
    }

    void startAfterEndIsRefused() {
        LumoMediaSearchSetSource(seamSource);
        g_seam.total = 4;
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        w->OnRecordFileSearch();
        QTRY_COMPARE(w->GetRecordFileModel()->GetRowCount(), 4);
        const int calls = g_seam.calls;
        ui.m_dateTimeEdit_stime->setDateTime(QDateTime(QDate(2025, 5, 2), QTime(10, 0, 1)));
        ui.m_dateTimeEdit_etime->setDateTime(QDateTime(QDate(2025, 5, 2), QTime(10, 0, 0)));
        w->OnRecordFileSearch();
        QTest::qWait(50);
        QCOMPARE(logLines(QStringLiteral("messagebox")),
                 QStringList{QStringLiteral(
                     "messagebox\tRecord search\tThe start time must be before the end time.")});
        QCOMPARE(g_seam.calls, calls);
        QCOMPARE(w->GetRecordFileModel()->GetRowCount(), 4);  // the last result stays
        // Equal bounds are a search.
        ui.m_dateTimeEdit_etime->setDateTime(ui.m_dateTimeEdit_stime->dateTime());
        w->OnRecordFileSearch();
        QTRY_VERIFY(g_seam.calls > calls);
    }

    // The real search over the engine's files, then a found file plays in the player dialog.
    void searchAndPlay() {
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        ui.m_listWidget->setCurrentRow(3);
        ui.m_cmb_cuid->setCurrentIndex(ui.m_cmb_cuid->findText(QStringLiteral("CAM-2")));
        QTest::mouseClick(ui.m_button_search, Qt::LeftButton);
        QTRY_COMPARE(w->GetRecordFileModel()->GetRowCount(), 2);
        QCOMPARE(w->GetRecordFileModel()->index(0, 10).data().toString(), recordName(2, 0, 0, m_base));
        VT_REQUIRE(m_media, "the media library cannot play here");

        int state = -1;
        QString title;
        bool modal = false;
        QTimer::singleShot(1000, this, [&]() {
            auto* dlg = qobject_cast<LumoCPlayer*>(QApplication::activeModalWidget());
            if (!dlg) return;
            modal = true;
            state = int(dlg->GetPlayerWidget()->GetState());
            title = dlg->GetPlayerWidget()->GetTitle();
            dlg->reject();
        });
        QTimer::singleShot(8000, this, []() {  // never hang the run
            if (auto* dlg = qobject_cast<LumoCPlayer*>(QApplication::activeModalWidget())) dlg->reject();
        });
        clickAction(ui.m_table_record_files, 1, 8, 0);
        QVERIFY(modal);
        QCOMPARE(state, int(PlayerWidget::StatePlaying));
        QVERIFY2(title.endsWith(recordName(2, 0, 0, m_base.addSecs(600))), qPrintable(title));
        QCOMPARE(w->GetRecordFileModel()->GetRowCount(), 2);  // the same rows after closing
    }

    // ---- language ---------------------------------------------------------------------------

    void tablesFollowTheLanguage() {
        KestoRecordServer* w = open();
        Ui::KestoRecordServer& ui = w->GetForm();
        auto* delegate = qobject_cast<VantelDelegate*>(ui.m_table_disk_status->itemDelegate());
        const QModelIndex cell = w->GetDiskStatusModel()->index(0, 5);
        QStyleOptionViewItem option;
        QCOMPARE(delegate->GetIndexAction(option, cell)->at(0).tooltip, QStringLiteral("Block status"));
        w->LoadBlocksOfRow(rowOf(w->GetDiskStatusModel(), 2));
        QTRY_COMPARE(ui.m_lbl_block_status->text(), QStringLiteral("Disk no. : 2"));
        QVERIFY(VantelUtility::initLanguage(QStringLiteral("Chinese")));
        QTRY_COMPARE(ui.m_table_vmr_disk->model()->headerData(1, Qt::Horizontal).toString(),
                     QStringLiteral("磁盘号"));
        QCOMPARE(delegate->GetIndexAction(option, cell)->at(1).tooltip, QStringLiteral("磁盘状态"));
        QVERIFY(!delegate->GetIndexAction(option, w->GetDiskStatusModel()->index(0, 4)));
        QCOMPARE(ui.m_lbl_block_status->text(), QStringLiteral("磁盘号 : 2"));  // still names its disk
        QCOMPARE(ui.m_dateTimeEdit_stime->calendarWidget()->locale().language(), QLocale::Chinese);
        VantelUtility::initLanguage(QStringLiteral("English"));
        QTRY_COMPARE(delegate->GetIndexAction(option, cell)->at(1).tooltip, QStringLiteral("Disk status"));
    }
};

QTEST_MAIN(TestKestoStorage)
#include "tst_kestostorage.moc"
