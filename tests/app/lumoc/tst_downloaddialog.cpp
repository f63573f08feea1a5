// The download dialog over the download queue with real downloads: rows of three tasks and their
// order buttons, the per-second poll that starts the next row, failures that mark their row and
// move on, stalled rows, stop, delete, moves, quick top, clear, show-in-folder.
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QProgressBar>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>
#include <sys/resource.h>
#include <unistd.h>
#include "testsupport.h"

#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/formwidgets.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/testseams.h"
#include "downloadfixture.h"
#include "lumoc/playback/downloaddialog.h"
#include "lumoc/playback/downloaditemwidget.h"

using namespace downloadfixture;

// Receives the URLs the dialog asks the desktop to open.
class UrlSink : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// Gives keys texts of the test's own (with their "%1"); every other key stays as it is.
class KeyTranslator : public QTranslator {
public:
    explicit KeyTranslator(const QMap<QByteArray, QString>& texts) : texts(texts) {}
    bool isEmpty() const override { return false; }
    QString translate(const char*, const char* source, const char*, int) const override {
        return texts.value(source);
    }

private:
    QMap<QByteArray, QString> texts;
};

// The console's look for as long as it lives: a built language (none for an empty name), the
// console's font and its style sheet with its colours.
class ConsoleLook {
public:
    explicit ConsoleLook(const QString& language) {
        if (!language.isEmpty()) {
            const QString qm = qEnvironmentVariable("VANTEL_BIN_DIR") + "/Languages/" + language + ".qm";
            translated = translator.load(qm) && QCoreApplication::installTranslator(&translator);
        }
        font = QApplication::font();
        QApplication::setFont(INFRA::Customization::GetFont());
        QString qss;
        for (const char* name : {"default.qss", "picture.qss"}) {
            QFile f(qEnvironmentVariable("VANTEL_SOURCE_DIR") + "/resources/KestoServer/qss/" + name);
            styled = f.open(QIODevice::ReadOnly) && styled;
            qss += QString::fromUtf8(f.readAll());
        }
        const QMap<QString, QColor> colors = INFRA::Customization::GetUxColor();
        for (auto it = colors.begin(); it != colors.end(); ++it) qss.replace('#' + it.key() + '#', it.value().name());
        qApp->setStyleSheet(qss);
    }
    ~ConsoleLook() {
        QCoreApplication::removeTranslator(&translator);
        qApp->setStyleSheet(QString());
        QApplication::setFont(font);
    }
    bool translated = false;
    bool styled = true;

private:
    QTranslator translator;
    QFont font;
};

// What of a window's texts does not show whole (empty when all do): each shown label's and
// button's text must fit its room, and each part of a row must lie inside the row.
QString Clipped(QWidget* window) {
    QStringList cut;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(window)) continue;
        const QString shown = label->QLabel::text();
        if (shown.isEmpty()) continue;
        const QRect room = label->contentsRect();
        const QFontMetrics fm = label->fontMetrics();
        const QRect need = label->wordWrap() ? fm.boundingRect(room, Qt::TextWordWrap, shown)
                                             : QRect(0, 0, fm.horizontalAdvance(shown), fm.height());
        const auto* fitting = qobject_cast<autoFitLabel*>(label);
        if (need.width() > room.width() || need.height() > room.height() || (fitting && shown != fitting->FullText()))
            cut << QString("label %1 \"%2\" needs %3x%4, has %5x%6")
                       .arg(label->objectName(), shown)
                       .arg(need.width()).arg(need.height()).arg(room.width()).arg(room.height());
    }
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (!button->isVisibleTo(window) || button->text().isEmpty()) continue;
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
        const QFontMetrics fm = button->fontMetrics();
        if (fm.horizontalAdvance(button->text()) > room.width() || fm.height() > room.height())
            cut << QString("button %1 \"%2\" needs %3x%4, has %5x%6")
                       .arg(button->objectName(), button->text())
                       .arg(fm.horizontalAdvance(button->text())).arg(fm.height()).arg(room.width()).arg(room.height());
    }
    for (DownLoadItemWidget* row : window->findChildren<DownLoadItemWidget*>())
        for (QWidget* part : row->findChildren<QWidget*>()) {
            if (!part->isVisibleTo(row)) continue;
            const QRect at(part->mapTo(row, QPoint(0, 0)), part->size());
            if (!row->rect().contains(at))
                cut << QString("%1 of row %2 lies at %3,%4 %5x%6, the row is %7x%8")
                           .arg(part->objectName(), QString::fromUtf8(row->GetName()))
                           .arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height())
                           .arg(row->width()).arg(row->height());
        }
    return cut.join('\n');
}

class TestDownLoadDialog : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString rec, longRec;
    DownloadRecManager* queue = DownloadRecManager::Instance();
    DownLoadDialog* dialog = nullptr;
    QByteArray url;
    QString P(const QString& n) const { return dir.filePath(n); }

    QListWidget* List() const { return dialog->findChild<QListWidget*>("listWidget"); }
    DownLoadItemWidget* Row(int i) const { return dialog->RowWidget(i); }
    static QAbstractButton* Button(DownLoadItemWidget* w, const char* name) {
        return w->findChild<QAbstractButton*>(name);
    }
    static bool OrderButtons(DownLoadItemWidget* w) { return !Button(w, "m_btnOrderUp")->isHidden(); }
    static QString Text(DownLoadItemWidget* w) { return w->findChild<QLabel*>("label_speed")->text(); }
    int TimerOf(int row) const { return List()->item(row)->data(Qt::UserRole).toInt(); }
    QStringList Names() const {
        QStringList n;
        for (int i = 0; i < List()->count(); ++i) n << QString::fromUtf8(Row(i)->GetName());
        return n;
    }
    QStringList UiLog() const {
        QFile f(P("ui.log"));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    // Queues `count` tasks of `files` each, starts the first as the record page does, and shows them.
    void QueueAndShow(int count, const QStringList& files) {
        for (int i = 0; i < count; ++i) {
            CLumoFileDescList list(1);
            for (const QString& f : files) list.Append(ProbedDesc(f));
            QCOMPARE(queue->AddTasks(&list, 0, 0, 3, 0), 0);
        }
        QCOMPARE(queue->StartDown(0, 0, url.constData(), "", ""), 0);
        dialog->slotDownloadStar(0, 0, url.constData(), "key");
    }

    // Ticks row `row` until it leaves the downloading state (or `ticks` ran out).
    void TickUntilDone(int row, int ticks = 3000) {
        const int timer = TimerOf(row);
        for (int i = 0; i < ticks && Row(row)->GetState() == DownLoadItemWidget::StateDownloading; ++i) {
            dialog->PollRow(timer);
            QTest::qWait(10);
        }
    }

    QStringList LongList() const { return QStringList(QVector<QString>(1500, longRec).toList()); }

private slots:
    void initTestCase() {
        VT_REQUIRE(HaveFfmpeg(), "the ffmpeg tool is needed to make the records");
        UseConfig(dir.path(), P("records"), "GUID-CHN-STREAM-YYYYMMDD-HHMMSS");
        rec = P("rec.dav");
        longRec = P("long.mp4");
        QVERIFY(MakeRecord(rec, 2));
        QVERIFY(MakeRecord(longRec, 20));
        QCOMPARE(DownloadRecManager::MakeTargetUrl(3, &url, P("out")), 0);
        INFRA::TestSeams::SetUiLogPath(P("ui.log"));
    }

    void cleanupTestCase() {
        // Notices still up (they close themselves after five seconds) go with the test.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<INFRA::NotifierPopup*>(w)) w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void init() {
        QFile::remove(P("ui.log"));
        dialog = new DownLoadDialog();
    }
    void cleanup() {
        delete dialog;
        dialog = nullptr;
        queue->ClearTasks();
        QFile::remove(P("out"));  // a plain file a test put in the folder's place
        QDir(P("out")).removeRecursively();
        QDir().mkpath(P("out"));
    }

    void emptyQueue() {
        auto* label = dialog->findChild<QLabel*>("label_noTask");
        QCOMPARE(label->text(), QString("K3515_NoTask"));
        QVERIFY(!label->isHidden());
        QVERIFY(List()->isHidden());
        QCOMPARE(dialog->GetWholeProgress(), 100);  // nothing to weigh: no division by zero
        dialog->SlotClearAll();                     // nothing to clear
        QVERIFY(!dialog->HasActiveTask());
    }

    void threeTasks() {
        QueueAndShow(3, {rec});
        QCOMPARE(List()->count(), 3);
        QVERIFY(dialog->findChild<QLabel*>("label_noTask")->isHidden());
        QVERIFY(!List()->isHidden());
        QCOMPARE(Row(0)->GetState(), int(DownLoadItemWidget::StateDownloading));
        QCOMPARE(Row(1)->GetState(), int(DownLoadItemWidget::StateWaiting));
        QCOMPARE(Row(2)->GetState(), int(DownLoadItemWidget::StateWaiting));
        QVERIFY(!OrderButtons(Row(0)));
        QVERIFY(!OrderButtons(Row(1)));  // follows the downloading one
        QVERIFY(OrderButtons(Row(2)));
        QCOMPARE(Text(Row(1)), QString("K3557_Waiting"));
        QVERIFY(dialog->HasActiveTask());
        QCOMPARE(Row(0)->GetKey(), QByteArray("key"));
        // Showing again makes no second row of a task.
        dialog->slotDownloadStar(0, 0, url.constData(), "key");
        QCOMPARE(List()->count(), 3);
    }

    // The per-second poll: each finished row starts the next, until all have their files.
    void pollRunsTheQueue() {
        QueueAndShow(3, {rec});
        QSignalSpy whole(dialog, &DownLoadDialog::signal_showwholeprogress);
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(Row(row)->GetState(), int(DownLoadItemWidget::StateDownloading));
            TickUntilDone(row);
            QCOMPARE(Row(row)->GetState(), int(DownLoadItemWidget::StateEnded));
            if (row == 0) QVERIFY(!OrderButtons(Row(2)));  // now follows the downloading row
        }
        QCOMPARE(QDir(P("out")).entryList(QDir::Files).size(), 3);
        QVERIFY(!whole.isEmpty());
        QCOMPARE(whole.last().first().toInt(), 100);
        QVERIFY(!dialog->HasActiveTask());
        // The timers keep ticking the ended rows, which ignore them.
        dialog->PollRow(TimerOf(0));
        QCOMPARE(Row(0)->GetState(), int(DownLoadItemWidget::StateEnded));
    }

    // The rows' own one-second timers drive the poll.
    void timersDriveThePoll() {
        QueueAndShow(2, {rec});
        QTRY_COMPARE_WITH_TIMEOUT(Row(0)->GetState(), int(DownLoadItemWidget::StateEnded), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(Row(1)->GetState(), int(DownLoadItemWidget::StateEnded), 15000);
        QCOMPARE(QDir(P("out")).entryList(QDir::Files).size(), 2);
    }

    // A row whose start is refused, and one whose disk fills, are marked failed with the reason,
    // the operator is told, and the queue moves on.
    void failuresMoveTheQueueOn() {
        const QString doomed = P("doomed.dav");
        QVERIFY(QFile::copy(rec, doomed));
        {
            CLumoFileDescList a(1), b(1), c(1), d(1);
            for (int i = 0; i < 40; ++i) a.Append(ProbedDesc(longRec));
            b.Append(ProbedDesc(doomed));
            c.Append(ProbedDesc(rec));
            d.Append(ProbedDesc(rec));
            QCOMPARE(queue->AddTasks(&a, 0, 0, 3, 0), 0);
            QCOMPARE(queue->AddTasks(&b, 0, 0, 3, 0), 0);
            QCOMPARE(queue->AddTasks(&c, 0, 0, 3, 0), 0);
            QCOMPARE(queue->AddTasks(&d, 0, 0, 3, 0), 0);
        }
        QVERIFY(QFile::remove(doomed));  // gone before its turn
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 100 * 1024;
        setrlimit(RLIMIT_FSIZE, &small);
        QCOMPARE(queue->StartDown(0, 0, url.constData(), "", ""), 0);
        dialog->slotDownloadStar(0, 0, url.constData(), "");
        TickUntilDone(0);
        setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(Row(0)->GetState(), int(DownLoadItemWidget::StateFailed));
        QCOMPARE(Text(Row(0)), QString("K7931_DownloadDiskFull"));
        // Its bar stays where the download stopped, beside the reason.
        const int stoppedAt = Row(0)->findChild<QProgressBar*>("progressBar_downloadProgress")->value();
        QVERIFY2(stoppedAt < 100, qPrintable(QString::number(stoppedAt)));
        QCOMPARE(Row(1)->GetState(), int(DownLoadItemWidget::StateFailed));
        QCOMPARE(Text(Row(1)), QString("K3522_MsgDownloadFileErr"));
        QVERIFY2(Row(2)->GetState() == DownLoadItemWidget::StateDownloading,
                 qPrintable(QString::number(queue->FindTask(0, 0, Row(2)->GetName().constData())->result)));
        const QStringList log = UiLog();
        QCOMPARE(log.filter("K4711_Fail").size(), 2);
        // Failed tasks weigh nothing in the overall percent.
        TickUntilDone(2);
        TickUntilDone(3);
        QCOMPARE(Row(3)->GetState(), int(DownLoadItemWidget::StateEnded));
        QCOMPARE(dialog->GetWholeProgress(), 100);
        QCOMPARE(QDir(P("out")).entryList(QDir::Files).size(), 2);
    }

    // A download whose percent stays the same for 100 ticks is given up: its own download is
    // stopped, its row goes, and the next row starts.
    void stalledRowIsGivenUp() {
        QueueAndShow(2, LongList());
        const int timer = TimerOf(0);
        const QByteArray first = Row(0)->GetName();
        // The download runs meanwhile: a tick that sees its percent move starts the count again,
        // so tick until 100 in a row saw the same percent, however the machine schedules it.
        for (int tick = 0; tick < 1000000 && dialog->StallEntry(timer).second < 100; ++tick)
            dialog->PollRow(timer);
        QCOMPARE(List()->count(), 2);
        QCOMPARE(dialog->StallEntry(timer).second, 100);
        dialog->PollRow(timer);  // the 101st
        QCOMPARE(List()->count(), 1);
        DownloadRecTask* stalled = queue->FindTask(0, 0, first.constData());
        QVERIFY(stalled);
        QVERIFY(!stalled->handle);
        QCOMPARE(stalled->state, int(DownloadRecTask::StateEnded));
        QCOMPARE(Row(0)->GetState(), int(DownLoadItemWidget::StateDownloading));
        QVERIFY(queue->FindTask(0, 0, Row(0)->GetName().constData())->handle);
    }

    void stopStartsTheNext() {
        QueueAndShow(3, LongList());
        Button(Row(0), "pushButton_cancel")->click();
        QCOMPARE(List()->count(), 2);
        QCOMPARE(Row(0)->GetState(), int(DownLoadItemWidget::StateDownloading));
        QVERIFY(!OrderButtons(Row(1)));
        QCOMPARE(queue->GetTaskList()->size(), 2);
        QVERIFY(UiLog().filter("K3588_StopDownloadSuccess").size() == 1);
        QCOMPARE(QDir(P("out")).entryList(QDir::Files).size(), 1);  // the next one's .part only
    }

    void deleteRows() {
        QueueAndShow(3, LongList());
        Button(Row(2), "pushButton_deltask")->click();
        Button(Row(1), "pushButton_deltask")->click();
        QCOMPARE(List()->count(), 1);
        QCOMPARE(queue->GetTaskList()->size(), 1);
        QVERIFY(List()->isVisible() || !List()->isHidden());
        dialog->ClearAll();
        QVERIFY(!dialog->findChild<QLabel*>("label_noTask")->isHidden());
    }

    void moves() {
        QueueAndShow(4, LongList());
        const QStringList before = Names();
        Button(Row(3), "m_btnOrderDown")->click();  // the last: nothing
        QCOMPARE(Names(), before);
        Button(Row(2), "m_btnOrderUp")->click();
        QCOMPARE(Names(), (QStringList{before[0], before[2], before[1], before[3]}));
        QCOMPARE(List()->currentRow(), 1);
        QCOMPARE(Row(0)->GetState(), int(DownLoadItemWidget::StateDownloading));
        Button(Row(2), "m_btnOrderDown")->click();
        QCOMPARE(Names(), (QStringList{before[0], before[2], before[3], before[1]}));
        QCOMPARE(List()->currentRow(), 3);
        // Each task keeps its timer through the moves.
        for (int i = 0; i < 4; ++i)
            QCOMPARE(queue->FindTask(0, 0, Row(i)->GetName().constData())->timerId, TimerOf(i));
        // Quick top: the last lands right below the downloading one; the one it pushed is selected.
        emit Row(3)->signal_quicktop();
        QCOMPARE(Names(), (QStringList{before[0], before[1], before[2], before[3]}));
        QCOMPARE(List()->currentRow(), 2);
        QVERIFY(!OrderButtons(Row(1)));
        // The downloading row goes nowhere.
        emit Row(0)->signal_quicktop();
        QCOMPARE(Names()[0], before[0]);
    }

    // Clearing stops every download still open, frees every task and leaves no file behind.
    void clearAll() {
        QueueAndShow(3, LongList());
        QVERIFY(queue->StartDown(0, 0, url.constData(), "", Row(2)->GetName().constData()) == 0);
        QSignalSpy whole(dialog, &DownLoadDialog::signal_showwholeprogress);
        emit Row(1)->signal_clear();
        QCOMPARE(List()->count(), 0);
        QVERIFY(!queue->GetTaskList());
        QCOMPARE(whole.last().first().toInt(), 100);
        QCOMPARE(QDir(P("out")).entryList(QDir::Files).size(), 0);
    }

    // The ended row's folder button opens the download's folder in the file manager, making the
    // folder first when it went; a folder that cannot be made opens nothing and says so.
    void showFolder_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("opened");
        QTest::newRow("folder there") << "there" << true;
        QTest::newRow("folder gone") << "gone" << true;
        QTest::newRow("a plain file in its place") << "file" << false;
        QTest::newRow("parent read-only") << "read-only" << false;
    }
    void showFolder() {
        QFETCH(QString, where);
        QFETCH(bool, opened);
        if (where == "read-only" && geteuid() == 0) QSKIP("the superuser writes into read-only folders");
        UrlSink sink;
        QDesktopServices::setUrlHandler("file", &sink, "open");
        KeyTranslator tr({{"K7954_DownloadFolderFail", "cannot make %1"}});
        QCoreApplication::installTranslator(&tr);
        QueueAndShow(1, {rec});
        TickUntilDone(0);
        QCOMPARE(Row(0)->GetState(), int(DownLoadItemWidget::StateEnded));
        const QString out = P("out");
        if (where != "there") QVERIFY(QDir(out).removeRecursively());
        if (where == "file") {
            QFile plain(out);
            QVERIFY(plain.open(QIODevice::WriteOnly));
        }
        if (where == "read-only") {
            QFile log(P("ui.log"));  // made while it still can be
            QVERIFY(log.open(QIODevice::Append));
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        }
        Button(Row(0), "m_btnShowFile")->click();
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDesktopServices::unsetUrlHandler("file");
        QCoreApplication::removeTranslator(&tr);
        const QStringList told = UiLog().filter("cannot make");
        if (opened) {
            QCOMPARE(sink.urls, QList<QUrl>{QUrl::fromLocalFile(out)});
            QVERIFY(QFileInfo(out).isDir());
            QVERIFY2(told.isEmpty(), qPrintable(told.join('\n')));
        } else {
            QVERIFY(sink.urls.isEmpty());
            QCOMPARE(told.size(), 1);
            QVERIFY2(told.first().contains("cannot make " + out), qPrintable(told.first()));
            QVERIFY(UiLog().filter("K4711_Fail").size() == 1);
        }
    }

    // At its first size, in the console's font and style, the window shows every text whole:
    // the names, each state's text (the longest speed line too), the folder button, the title;
    // also after a switch to longer texts while it shows.
    void textsShowWhole_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("switchToLonger");
        QTest::newRow("English") << "English" << false;
        QTest::newRow("Chinese") << "Chinese" << false;
        QTest::newRow("longer texts while shown") << "English" << true;
    }
    void textsShowWhole() {
        QFETCH(QString, language);
        QFETCH(bool, switchToLonger);
        ConsoleLook look(language);
        VT_REQUIRE(look.translated, "the built languages (target vantel_runtime) and VANTEL_BIN_DIR");
        VT_REQUIRE(look.styled, "the console's style sheet under VANTEL_SOURCE_DIR");
        delete dialog;
        dialog = new DownLoadDialog();
        // Four waiting rows (nothing downloads), each then shown in one state.
        for (int i = 0; i < 4; ++i) {
            CLumoFileDescList list(1);
            list.Append(ProbedDesc(rec));
            QCOMPARE(queue->AddTasks(&list, 0, 0, 3, 0), 0);
        }
        dialog->slotDownloadStar(0, 0, url.constData(), "");
        QCOMPARE(List()->count(), 4);
        auto setTexts = [this] {
            Row(0)->UpdateText(0xFFFFFFFEu, 99999ull * 1048576 + 1, 99999ull * 1048576 + 1, 99 * 3600);
            Row(2)->SetFailText(QObject::tr("K7931_DownloadDiskFull"));
        };
        Row(0)->SetState(DownLoadItemWidget::StateDownloading);
        Row(1)->SetState(DownLoadItemWidget::StateEnded);
        Row(2)->SetState(DownLoadItemWidget::StateFailed);
        setTexts();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QTRY_COMPARE(Clipped(dialog), QString());
        QCOMPARE(Text(Row(3)), QObject::tr("K3557_Waiting"));
        if (!switchToLonger) return;
        KeyTranslator longer({{"K3558_ShowInFolder", "Show the downloaded record in the folder it was saved to"},
                              {"K7931_DownloadDiskFull", "The disk is full, so the download could not be saved "
                                                         "and what was written of it was removed."},
                              {"K3556_TotalFileSize", "of a total size of"},
                              {"K3584_Hours", "hours to go"}});
        const int before = dialog->width();
        QCoreApplication::installTranslator(&longer);
        setTexts();  // as the next tick and the next failure write them
        QTRY_VERIFY(dialog->width() > before);
        QTRY_COMPARE(Clipped(dialog), QString());
        QCoreApplication::removeTranslator(&longer);
    }

    // Shown, the window lies over its parent's window, also after the parent moved; its rows
    // follow the queue.
    void showsOverItsParent() {
        QWidget owner;
        owner.setGeometry(40, 50, 500, 400);  // inside the (offscreen) screen of 800x600 wherever it goes
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        auto* placed = new DownLoadDialog(&owner);
        placed->resize(300, 200);
        for (const QPoint& at : {QPoint(40, 50), QPoint(250, 150)}) {
            owner.move(at);
            QTRY_COMPARE(owner.pos(), at);
            placed->show();
            const QPoint off = placed->frameGeometry().center() - owner.frameGeometry().center();
            QVERIFY2(off.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2 off").arg(off.x()).arg(off.y())));
            QVERIFY(placed->findChild<QListWidget*>("listWidget")->isHidden());  // nothing queued
            placed->hide();
        }
        delete placed;
    }

    // Every way the window goes says so once; the downloads and their rows go on while it is hidden.
    void hidingSaysSo_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("hidden") << "hide";
        QTest::newRow("closed") << "close";
        QTest::newRow("escape key") << "escape";
        QTest::newRow("title bar close button") << "button";
    }
    void hidingSaysSo() {
        QFETCH(QString, how);
        QueueAndShow(2, LongList());
        QSignalSpy hidden(dialog, &DownLoadDialog::signal_hideDownLoadDialog);
        dialog->show();
        QCOMPARE(hidden.count(), 0);
        if (how == "hide")
            dialog->hide();
        else if (how == "close")
            dialog->close();
        else if (how == "escape")
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->findChild<QAbstractButton*>("InfraCloseButton")->click();
        QVERIFY(dialog->isHidden());
        QCOMPARE(hidden.count(), 1);
        dialog->hide();  // hidden already: no second word
        QCOMPARE(hidden.count(), 1);
        QCOMPARE(List()->count(), 2);
        QVERIFY(dialog->HasActiveTask());
        QCOMPARE(Row(0)->GetState(), int(DownLoadItemWidget::StateDownloading));
        // Its row is still polled: the bytes written move on.
        DownloadRecTask* task = queue->FindTask(0, 0, Row(0)->GetName().constData());
        const uint64_t before = task->bytesDone;
        QTRY_VERIFY_WITH_TIMEOUT(task->bytesDone > before, 30000);
    }

    // A tick that gets no progress leaves its row as it is, does not count towards the stall,
    // and gives the overall percent of what is queued (a task still waits: not 100).
    void noProgressLeavesTheRow() {
        QueueAndShow(2, LongList());
        const int timer = TimerOf(0);
        dialog->PollRow(timer);
        const QPair<int, int> entry = dialog->StallEntry(timer);
        QVERIFY(queue->RemoveTask(0, 0, Row(0)->GetName().constData()) == 0);  // behind the row's back
        QSignalSpy whole(dialog, &DownLoadDialog::signal_showwholeprogress);
        for (int i = 0; i < 3; ++i) dialog->PollRow(timer);
        QCOMPARE(whole.count(), 3);
        QCOMPARE(whole.last().first().toInt(), 0);
        QCOMPARE(List()->count(), 2);
        QCOMPARE(Row(0)->GetState(), int(DownLoadItemWidget::StateDownloading));
        QCOMPARE(Row(1)->GetState(), int(DownLoadItemWidget::StateWaiting));
        QCOMPARE(dialog->StallEntry(timer), entry);
    }
};

QTEST_MAIN(TestDownLoadDialog)
#include "tst_downloaddialog.moc"
