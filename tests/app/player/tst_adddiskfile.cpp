// The disk-file search dialog over a scripted disk manager: its checks before a search, the
// channel buttons and mask, what each search result leads to, the result list that outlives a
// failed search, the date limits; and one real search of a hand-made recorder disk whose results
// the play files read back.
#include <QtTest>

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimeEdit>

#include <mutex>

#include "LumoBase/LumoResult.h"
#include "LumoRecord/LumoRecord.h"
#include "VantelInfraAPI/testseams.h"
#include "player/diskmanager.h"
#include "player/dialogs/adddiskfile.h"
#include "player/playfile.h"

namespace {

// Answers with scripted codes and files and keeps what it was asked (from the worker thread).
class ScriptedDisks : public CDiskManager {
public:
    int SearchDisks(const char*, CLumoList* disks) override {
        std::lock_guard<std::mutex> lock(m);
        for (const QString& d : diskNames) disks->AddTail(d.toUtf8().constData());
        return diskResult;
    }
    int SearchMedia(const char* disk, ILumoFSSearchParam* param, CLumoFileDescList* found, unsigned) override {
        std::lock_guard<std::mutex> lock(m);
        ++searches;
        askedDisk = QString::fromUtf8(disk);
        masks = {param->GetChannelMask(0), param->GetChannelMask(1), param->GetChannelMask(2)};
        for (int i = 0; i < files; ++i) {
            auto* d = new CLumoFileDesc();
            d->SetURI(QStringLiteral("lumofs://local/disk=/d&path=/d/blk00001&filename=c01_s0_r0_20240501_%1.dav")
                          .arg(100000 + i)
                          .toUtf8()
                          .constData());
            found->Append(d);
        }
        return code;
    }
    std::mutex m;  // guards everything below (GUI thread and the dialog's worker)
    QStringList diskNames{"/media/rec"};
    int diskResult = 0;
    int code = 0;
    int files = 0;
    int searches = 0;
    QString askedDisk;
    QList<quint64> masks;
};

}  // namespace

class TestAddDiskFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void outcomes_data();
    void outcomes();
    void channelButtons();
    void resultSurvivesFailedSearch();
    void dateEditorsKeepToTheTimeWord();
    void noDiskLeavesOnlyScanControls();
    void realDiskRoundTrip();

private:
    // A dialog whose first scan has ended.
    AddDiskFile* makeDialog() {
        auto* dialog = new AddDiskFile();
        QSignalSpy scanned(dialog, &AddDiskFile::scanFinished);
        if (!scanned.wait(30000)) return dialog;
        return dialog;
    }
    // Presses Ok and waits for the search's end; the last tip's text, or "" when none was shown.
    QString pressOk(AddDiskFile* dialog) {
        const int before = tips().size();
        QSignalSpy done(dialog, &AddDiskFile::searchFinished);
        dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        if (done.isEmpty() && !done.wait(30000)) return "timeout";
        const QStringList all = tips();
        return all.size() > before ? all.last() : QString();
    }
    QStringList tips() {
        QFile f(m_log);
        QStringList texts;
        if (!f.open(QIODevice::ReadOnly)) return texts;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() >= 3 && fields[0] == "tip") texts << QString::fromUtf8(fields[1] + "/" + fields[2]);
        }
        return texts;
    }
    static QPushButton* channel(AddDiskFile* d, int n) {
        return d->findChild<QPushButton*>(QStringLiteral("btnChannal%1").arg(n));
    }
    static void setRange(AddDiskFile* d, const QDateTime& from, const QDateTime& to) {
        d->findChild<QDateEdit*>("dateEditS")->setDate(from.date());
        d->findChild<QTimeEdit*>("timeEditS")->setTime(from.time());
        d->findChild<QDateEdit*>("dateEditE")->setDate(to.date());
        d->findChild<QTimeEdit*>("timeEditE")->setTime(to.time());
    }

    QTemporaryDir m_dir;
    QString m_log;
    ScriptedDisks* m_disks = nullptr;
};

void TestAddDiskFile::initTestCase() {
    m_log = m_dir.path() + "/ui.log";
    INFRA::TestSeams::SetUiLogPath(m_log);
    INFRA::TestSeams::SetScriptedReply("ok");
}

void TestAddDiskFile::init() {
    QFile::remove(m_log);
    m_disks = new ScriptedDisks();
    CDiskManager::Replace(m_disks);
}

void TestAddDiskFile::cleanup() {
    CDiskManager::Replace(nullptr);
    delete m_disks;
    m_disks = nullptr;
    LumoDiskSearchSetRoots(nullptr, nullptr);
}

void TestAddDiskFile::outcomes_data() {
    QTest::addColumn<QString>("setup");   // "equal", "second", "none", "1+3", "all"
    QTest::addColumn<int>("code");        // the media search's answer
    QTest::addColumn<int>("files");       // files it hands back
    QTest::addColumn<QString>("tip");     // "" for success
    QTest::addColumn<int>("searches");    // media searches made
    QTest::addColumn<quint64>("mask");    // asked on the main and the sub stream
    QTest::newRow("equal start and end") << "equal" << 0 << 1 << "tip/error_search_time" << 0 << quint64(0);
    QTest::newRow("end one second later") << "second" << 0 << 1 << "" << 1 << quint64(1);
    QTest::newRow("no channel") << "none" << 0 << 1 << "tip/error_search_channel" << 0 << quint64(0);
    QTest::newRow("channels 1 and 3") << "1+3" << 0 << 2 << "" << 1 << quint64(5);
    QTest::newRow("all channels") << "all" << 0 << 1 << "" << 1 << ~quint64(0);
    QTest::newRow("no more, with files") << "1+3" << int(LUMO_ERR_NOMORE) << 12 << "" << 1 << quint64(5);
    QTest::newRow("no more, none") << "1+3" << int(LUMO_ERR_NOMORE) << 0 << "tip/no_record" << 1 << quint64(5);
    QTest::newRow("done, none") << "1+3" << 0 << 0 << "" << 1 << quint64(5);
    QTest::newRow("bad parameters") << "1+3" << int(LUMO_ERR_BADPARAM) << 0 << "warning/error_search_param" << 1
                                    << quint64(5);
    QTest::newRow("other failure") << "1+3" << int(LUMO_ERR_STATE) << 0 << "warning/fail_disk_file_search" << 1
                                   << quint64(5);
}

void TestAddDiskFile::outcomes() {
    QFETCH(QString, setup);
    QFETCH(int, code);
    QFETCH(int, files);
    QFETCH(QString, tip);
    QFETCH(int, searches);
    QFETCH(quint64, mask);
    m_disks->code = code;
    m_disks->files = files;
    QScopedPointer<AddDiskFile> dialog(makeDialog());
    QCOMPARE(dialog->findChild<QComboBox*>("comboBoxDisk")->currentText(), QString("/media/rec"));
    dialog->show();
    const QDateTime start(QDate(2024, 5, 1), QTime(10, 0, 0));
    setRange(dialog.data(), start, setup == "equal" ? start : start.addSecs(setup == "second" ? 1 : 3600));
    if (setup == "none") channel(dialog.data(), 1)->click();
    if (setup == "1+3") channel(dialog.data(), 3)->click();
    if (setup == "all") dialog->findChild<QPushButton*>("btnChannalAll")->click();

    QSignalSpy added(dialog.data(), &AddDiskFile::onAddDiskFile);
    QCOMPARE(pressOk(dialog.data()), tip);
    QCOMPARE(m_disks->searches, searches);
    if (searches) {
        QCOMPARE(m_disks->askedDisk, QString("/media/rec"));
        QCOMPARE(m_disks->masks, (QList<quint64>{mask, mask, 0}));
    }
    QCOMPARE(added.count(), tip.isEmpty() ? 1 : 0);
    QCOMPARE(dialog->isVisible(), !tip.isEmpty());
    if (tip.isEmpty()) {
        auto* list = static_cast<CLumoFileDescList*>(added.at(0).at(0).value<void*>());
        QCOMPARE(list, dialog->Result());
        QCOMPARE(list->GetCount(), files);
    }
    // Whatever the outcome, the controls are usable again.
    QVERIFY(dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->isEnabled());
    QVERIFY(channel(dialog.data(), 64)->isEnabled());
}

void TestAddDiskFile::channelButtons() {
    QScopedPointer<AddDiskFile> dialog(makeDialog());
    auto* all = dialog->findChild<QPushButton*>("btnChannalAll");
    QCOMPARE(dialog->GetSelectedChannels(), quint64(1));  // channel 1 from the start
    all->click();
    for (int n = 1; n <= 64; ++n) QVERIFY(channel(dialog.data(), n)->isChecked());
    QCOMPARE(dialog->GetSelectedChannels(), ~quint64(0));
    channel(dialog.data(), 17)->click();  // unchecking any one unchecks "all"
    QVERIFY(!all->isChecked());
    QCOMPARE(dialog->GetSelectedChannels(), ~quint64(0) & ~(quint64(1) << 16));
    all->click();
    all->click();  // and off again: every channel goes
    QCOMPARE(dialog->GetSelectedChannels(), quint64(0));
    for (int n = 1; n <= 64; ++n) {
        channel(dialog.data(), n)->click();
        QCOMPARE(all->isChecked(), n == 64);
    }
}

void TestAddDiskFile::resultSurvivesFailedSearch() {
    QScopedPointer<AddDiskFile> dialog(makeDialog());
    dialog->show();
    setRange(dialog.data(), QDateTime(QDate(2024, 5, 1), QTime(0, 0)), QDateTime(QDate(2024, 5, 2), QTime(0, 0)));
    m_disks->files = 2;
    QCOMPARE(pressOk(dialog.data()), QString());
    const CLumoFileDescList* result = dialog->Result();
    QCOMPARE(result->GetCount(), 2);
    const QString first = QString::fromUtf8(result->GetHead()->GetURI());
    // The working list of that search is gone; the result is the dialog's own copy.
    dialog->show();
    m_disks->code = LUMO_ERR_STATE;
    m_disks->files = 1;  // a failing search that had started filling its list
    QCOMPARE(pressOk(dialog.data()), QString("warning/fail_disk_file_search"));
    QCOMPARE(dialog->Result(), result);
    QCOMPARE(result->GetCount(), 2);
    QCOMPARE(QString::fromUtf8(result->GetHead()->GetURI()), first);
    m_disks->code = LUMO_ERR_NOMORE;
    m_disks->files = 0;
    QCOMPARE(pressOk(dialog.data()), QString("tip/no_record"));
    QCOMPARE(result->GetCount(), 2);
}

void TestAddDiskFile::dateEditorsKeepToTheTimeWord() {
    QScopedPointer<AddDiskFile> dialog(makeDialog());
    auto* from = dialog->findChild<QDateEdit*>("dateEditS");
    auto* to = dialog->findChild<QDateEdit*>("dateEditE");
    QCOMPARE(from->minimumDate(), QDate(2000, 1, 1));
    QCOMPARE(to->maximumDate(), QDate(2063, 12, 31));
    from->setDate(QDate(1999, 12, 31));
    to->setDate(QDate(2064, 1, 1));
    QCOMPARE(from->date(), QDate(2000, 1, 1));
    QCOMPARE(to->date(), QDate(2063, 12, 31));
    ILumoFSSearchParam p(1);
    QCOMPARE(dialog->FillSearchParam(&p), 0);
    // The widest range still packs into the time word.
    QVERIFY(p.GetTimeS().ToPacked() != 0);
    QVERIFY(p.GetTimeE().ToPacked() != 0);
    QCOMPARE(p.GetTimeE().GetYear(), 2063);
    QCOMPARE(dialog->FillSearchParam(nullptr), int(LUMO_ERR_BADPARAM));
}

void TestAddDiskFile::noDiskLeavesOnlyScanControls() {
    m_disks->diskNames.clear();
    QScopedPointer<AddDiskFile> dialog(makeDialog());
    QCOMPARE(dialog->findChild<QComboBox*>("comboBoxDisk")->count(), 0);
    auto* box = dialog->findChild<QDialogButtonBox*>("buttonBox");
    QVERIFY(!box->button(QDialogButtonBox::Ok)->isEnabled());
    QVERIFY(!box->button(QDialogButtonBox::Cancel)->isEnabled());
    QVERIFY(!dialog->findChild<QDateEdit*>("dateEditS")->isEnabled());
    QVERIFY(!channel(dialog.data(), 1)->isEnabled());
    QVERIFY(dialog->findChild<QComboBox*>("comboBoxDisk")->isEnabled());
    QVERIFY(dialog->findChild<QPushButton*>("btnRefresh")->isEnabled());
    QVERIFY(dialog->findChild<QPushButton*>("btnClose")->isEnabled());
    // A disk comes: Refresh lists it and the controls come back.
    m_disks->diskNames = QStringList{"/media/a", "/media/b c"};
    QSignalSpy scanned(dialog.data(), &AddDiskFile::scanFinished);
    dialog->findChild<QPushButton*>("btnRefresh")->click();
    QVERIFY(scanned.wait(30000));
    QCOMPARE(scanned.at(0).at(0).toInt(), 0);
    QCOMPARE(dialog->findChild<QComboBox*>("comboBoxDisk")->count(), 2);
    QVERIFY(box->button(QDialogButtonBox::Ok)->isEnabled());
    QVERIFY(channel(dialog.data(), 1)->isEnabled());
}

void TestAddDiskFile::realDiskRoundTrip() {
    CDiskManager::Replace(nullptr);  // the real manager over a fixture tree
    QTemporaryDir dir;
    const QString sys = dir.path() + "/sys";
    const QString device = sys + "/devices/usb1/1-1/host2/block/sdb";
    const QString root = dir.path() + "/media/REC 1";
    auto write = [](const QString& path, const QByteArray& data) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    };
    write(device + "/removable", "0\n");
    write(device + "/sdb1/partition", "1\n");
    write(device + "/sdb1/dev", "8:17\n");
    QDir().mkpath(sys + "/block");
    QVERIFY(QFile::link(device, sys + "/block/sdb"));
    write(dir.path() + "/mountinfo", QStringLiteral("40 22 8:17 / %1 rw - vfat /dev/sdb1 rw\n")
                                         .arg(dir.path() + "/media/REC\\0401")
                                         .toUtf8());
    write(root + "/index.bin", "KestoDisk 1\n");
    const QStringList names{"c03_s1_r0_20240501_100000.dav", "c03_s1_r0_20240501_101000.dav",
                            "c02_s0_r0_20240501_100500.dav"};
    for (const QString& n : names) write(root + "/blk00000/" + n, "tiny");
    LumoDiskSearchSetRoots(sys.toUtf8().constData(), (dir.path() + "/mountinfo").toUtf8().constData());

    QScopedPointer<AddDiskFile> dialog(makeDialog());
    QCOMPARE(dialog->findChild<QComboBox*>("comboBoxDisk")->currentText(), root);
    dialog->show();
    setRange(dialog.data(), QDateTime(QDate(2024, 5, 1), QTime(0, 0)), QDateTime(QDate(2024, 5, 1), QTime(23, 59)));
    dialog->findChild<QPushButton*>("btnChannalAll")->click();
    QSignalSpy added(dialog.data(), &AddDiskFile::onAddDiskFile);
    QCOMPARE(pressOk(dialog.data()), QString());
    QCOMPARE(added.count(), 1);
    const CLumoFileDescList* found = dialog->Result();
    QCOMPARE(found->GetCount(), 3);
    QStringList seen;
    for (const CLumoFileDesc* d : *found) {
        CLumoFile file;
        QCOMPARE(file.SetFromDesc(d), 0);
        QCOMPARE(int(file.type), int(CLumoFile::TYPE_DISK));
        QCOMPARE(QString::fromStdString(file.format), QString("lumofs"));
        const QString fileName = QString::fromUtf8(d->GetFileName());
        QCOMPARE(file.channel + 1, fileName.mid(1, 2).toInt());
        QCOMPARE(file.stream, fileName.mid(5, 1).toInt());
        QCOMPARE(QString::fromStdString(file.name),
                 QStringLiteral("lumofs://disk=%1&idc=%2&ids=%3").arg(root).arg(file.channel + 1).arg(file.stream + 1));
        // The media layer opens the file the address names.
        LumoRecordSource source;
        QCOMPARE(LumoRecordParseUri(d->GetURI(), &source), 0);
        QCOMPARE(QString::fromStdString(source.path), root + "/blk00000/" + fileName);
        seen << fileName;
    }
    QCOMPARE(seen, (QStringList{names[0], names[2], names[1]}));  // in start order
}

QTEST_MAIN(TestAddDiskFile)
#include "tst_adddiskfile.moc"
