// A record file whose name is not valid UTF-8 ("caf\xe9.dav", as a Latin-1 system names it):
// whichever way it comes in (file dialog, drop, command line, a folder), it is listed, it plays,
// and the kept play list names the same bytes; one that is gone is refused with a failure.
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "../../platform/media/mediafixture.h"
#include "LumoBase/LumoResult.h"
#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/testseams.h"
#include "common/playlist/playlistwidget.h"
#include "player/mainwindow.h"
#include "player/playcontroler.h"
#include "player/playercontext.h"
#include "testsupport.h"
#include "windowtesting.h"

namespace {

QTemporaryDir* g_home = nullptr;

void* Panel() {
    return CPlayControler::Instance()->GetPanelHandle();
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestIntakeNames : public QObject {
    Q_OBJECT
    MainWindow* w = nullptr;
    QByteArray folder;  // holds the one record file, under a name that is not UTF-8 either
    QByteArray target;
    std::string url;

    std::string ViewUrl(int view) {
        CLumoString u;
        CPlayControler::Instance()->GetViewUrl(Panel(), view, &u);
        return u.Str();
    }
    bool Open(int view) { return (w->ViewState(view) & 0x30) == 0x10; }
    std::string RowUrl(int row) {
        auto* f = reinterpret_cast<CLumoFile*>(quintptr(w->PlayList()->GetItemId(row)));
        return f ? f->url : std::string();
    }
    void Drop(const QByteArray& path) {
        auto* mime = new QMimeData();
        // A file manager's URI list: the name's bytes as escapes.
        mime->setData("text/uri-list", "file://" + path.toPercentEncoding("/") + "\r\n");
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &drop);
        delete mime;
    }

private slots:
    void initTestCase() {
        INFRA::TestSeams::SetUiLogPath(g_home->filePath("ui.log"));
        INFRA::TestSeams::SetScriptedReply("ok");
        VT_REQUIRE(mediafixture::HaveFfmpeg(), "the ffmpeg tool makes the record file");
        const QString made = g_home->filePath("made.dav");
        QVERIFY(mediafixture::Ffmpeg(mediafixture::Source(20, "320x240", 25, false) + mediafixture::Mpeg4() +
                                         QStringList{"-f", "mpegts"},
                                     made));
        folder = QFile::encodeName(g_home->path()) +
                 "/m\xfc"
                 "ll";
        target = folder + "/caf\xe9.dav";
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        QCOMPARE(std::rename(QFile::encodeName(made).constData(), target.constData()), 0);
        url = LocalRecordUrl(target);
        QVERIFY(
            QByteArray::fromStdString(url).contains("/m\xfc"
                                                    "ll/caf\xe9.dav"));

        w = new MainWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }

    void cleanupTestCase() {
        delete w;
        CPlayControler::Instance()->CoreInvalidate();
    }

    void cleanup() {
        w->SelectView(0);
        w->ClearPlayList(true);
    }

    void listedPlayedAndKept_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("file dialog") << "dialog";
        QTest::newRow("drop") << "drop";
        QTest::newRow("command line, relative") << "command";
        QTest::newRow("command line, a folder") << "folder";
    }

    void listedPlayedAndKept() {
        QFETCH(QString, how);
        w->SelectView(0);
        if (how == "dialog") {
            // What the file dialog hands over: the name as a QString, its byte lost.
            w->OpenPaths({QFile::decodeName(target)}, true);
        } else if (how == "drop") {
            Drop(target);
        } else if (how == "command") {
            const QString before = QDir::currentPath();
            QVERIFY(QDir::setCurrent(QFile::decodeName(folder)) || ::chdir(folder.constData()) == 0);
            w->OpenCommandLineFile(QFile::decodeName("caf\xe9.dav"), true);
            QVERIFY(QDir::setCurrent(before));
        } else {
            w->OpenCommandLineFile(QFile::decodeName(folder), true);
        }
        QTRY_COMPARE_WITH_TIMEOUT(w->PendingIntakes(), 0, 30000);
        QCOMPARE(w->PlayList()->count(), 1);
        QCOMPARE(RowUrl(0), url);
        const auto* row = reinterpret_cast<CLumoFile*>(quintptr(w->PlayList()->GetItemId(0)));
        QCOMPARE(QByteArray::fromStdString(row->path), target);
        QVERIFY(row->length > 0);  // the probe opened it

        // It plays: the player opens it and stays on it.
        if (how == "folder") QCOMPARE(w->PlayRow(0), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Open(0) && ViewUrl(0) == url, 30000);
        QCOMPARE(w->PlayList()->GetItemFlags(w->PlayList()->item(0)), quint64(1));

        // The kept list reads back the same bytes.
        CPlayerContext* ctx = CPlayerContext::Instance();
        CPlayerContext again(ctx->appDir, ctx->userDir, ctx->userDataDir);
        QString error;
        QVERIFY2(again.LoadConfig(&error), qPrintable(error));
        QCOMPARE(again.loadedPlayList.GetCount(), 1);
        QCOMPARE(again.loadedPlayList.GetHead()->url, url);
        QCOMPARE(QByteArray::fromStdString(again.loadedPlayList.GetHead()->path), target);
    }

    // The player goes on from another file of the list to this one: its report of the file
    // it moved to is taken for this row, and the view stays open on it.
    void playerMovesOnToIt() {
        const QString other = g_home->filePath("other.dav");
        QVERIFY(mediafixture::Ffmpeg(mediafixture::Source(20, "320x240", 25, false) + mediafixture::Mpeg4() +
                                         QStringList{"-f", "mpegts"},
                                     other));
        w->OpenPaths({other, NativeFileUrl(target)}, false);
        QTRY_COMPARE_WITH_TIMEOUT(w->PendingIntakes(), 0, 30000);
        QCOMPARE(w->PlayList()->count(), 2);
        QCOMPARE(RowUrl(1), url);
        QCOMPARE(w->PlayRow(0), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Open(0) && ViewUrl(0) == LocalRecordUrl(other, QString()), 30000);
        QCOMPARE(w->PlayRow(1), 0);
        QTRY_VERIFY_WITH_TIMEOUT(w->PlayList()->GetItemFlags(w->PlayList()->item(1)) == 1, 30000);
        QVERIFY(Open(0));
        QCOMPARE(ViewUrl(0), url);
        CLumoFile* viewing = nullptr;
        QCOMPARE(CPlayControler::Instance()->GetViewFile(Panel(), 0, &viewing), 0);
        QCOMPARE(viewing, reinterpret_cast<CLumoFile*>(quintptr(w->PlayList()->GetItemId(1))));
    }

    // Listed, then gone: the play, whose open runs off the GUI thread, ends in a failure, not
    // taken for a success, and the operator is told which file.
    void goneFileRefused() {
        w->OpenPaths({NativeFileUrl(target)}, false);
        QTRY_COMPARE_WITH_TIMEOUT(w->PendingIntakes(), 0, 30000);
        QCOMPARE(w->PlayList()->count(), 1);
        const QByteArray moved = folder + "/moved.dav";
        QCOMPARE(std::rename(target.constData(), moved.constData()), 0);
        QCOMPARE(w->PlayRow(0), 0);
        const QByteArray told = "tip\ttip\t" + QByteArray(LumoResultText(LUMO_ERR_NOTFOUND));
        const bool wasTold =
            vt::WaitUntil([&told] { return ReadAll(g_home->filePath("ui.log")).contains(told); }, 30000);
        QCOMPARE(std::rename(moved.constData(), target.constData()), 0);
        QVERIFY(wasTold);
        QVERIFY(!Open(0));
        const QByteArray ui = ReadAll(g_home->filePath("ui.log"));
        QVERIFY(ui.mid(ui.indexOf(told)).split('\n').first().contains(QFile::decodeName(target).toUtf8()));
    }
};

int main(int argc, char** argv) {
    return RunWindowTest<TestIntakeNames>(argc, argv, &g_home);
}

#include "tst_intakenames.moc"
