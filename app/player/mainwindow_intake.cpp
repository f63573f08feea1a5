// The main window's play list: files and stream URLs coming in, rows, playing a row, removing,
// clearing, the list mode and the filter.
//
// Every way a local file comes in (dialog, folder, drop, command line) goes through OpenPaths:
// one address per file (LocalRecordUrl), probed on a pool thread, added on the GUI thread.
// A file's name is kept as the file system's bytes all the way (see NativePath): folders are
// listed as bytes, and their files reach OpenPaths as file: URLs that hold those bytes.
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>

#include <sys/stat.h>

#include "LumoBase/LumoResult.h"
#include "LumoFS/LumoStreamUrl.h"
#include "LumoRecord/LumoRecord.h"
#include "common/playlist/playlistwidget.h"
#include "player/dialogs/dialogtip.h"
#include "player/mainwindow.h"
#include "player/playcontroler.h"
#include "player/playercontext.h"

namespace {

CPlayControler* Ctl() { return CPlayControler::Instance(); }
void* Panel() { return CPlayControler::Instance()->GetPanelHandle(); }
QByteArray ListName() { return CPlayerContext::Instance()->settings.currentListName.toUtf8(); }

QDateTime ToDateTime(const CLumoTime& t) {
    if (t.IsEmpty()) return QDateTime();
    return QDateTime(QDate(t.GetYear(), t.GetMonth(), t.GetDay()), QTime(t.GetHour(), t.GetMinute(), t.GetSecond()));
}

// The local path of a path or file: URL.
QString LocalPath(const QString& pathOrUrl) {
    if (pathOrUrl.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) return QUrl(pathOrUrl).toLocalFile();
    return pathOrUrl;
}

}  // namespace

// One intake: its descriptors travel to the probe and back; nothing else touches them meanwhile.
struct MainWindow::Intake {
    std::unique_ptr<CLumoFileDescList> descs{new CLumoFileDescList(1)};
    bool playFirst = false;
    int view = 0;  // the view selected when the files came: the one they play in
    bool probed = false;
};

bool MainWindow::IsAcceptedSuffix(const QString& suffix) {
    const QString s = suffix.toLower();
    return s == QLatin1String("mp4") || s == QLatin1String("dav") || s == QLatin1String("avi") ||
           s == QLatin1String("lumofs");
}

int MainWindow::OpenPaths(const QStringList& pathsOrUrls, bool playFirst, const QString& baseDir) {
    auto intake = std::make_shared<Intake>();
    intake->playFirst = playFirst;
    intake->view = SelectedView();
    const QString base = baseDir.isEmpty() ? QDir::currentPath() : baseDir;
    std::vector<std::string> seen;
    for (const QString& item : pathsOrUrls) {
        const QString path = LocalPath(item);
        if (path.isEmpty() || !IsAcceptedSuffix(QFileInfo(path).suffix())) continue;
        const std::string url = LocalRecordUrl(item, base);
        if (url.empty() || std::find(seen.begin(), seen.end(), url) != seen.end()) continue;
        seen.push_back(url);
        auto* desc = new CLumoFileDesc();
        desc->SetURI(url.c_str());
        intake->descs->Append(desc);
    }
    const int count = intake->descs->GetCount();
    if (count == 0) return 0;
    ++m_pendingIntakes;
    // Probing opens every file: a pool thread does it, the result comes back queued.
    auto* watcher = new QFutureWatcher<void>(this);
    m_intakes.push_back(intake);
    connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher, intake]() {
        watcher->deleteLater();
        intake->probed = true;
        // Rows follow the order in which the files came, whichever probe ends first.
        while (!m_intakes.empty() && m_intakes.front()->probed) {
            std::shared_ptr<Intake> next = m_intakes.front();
            m_intakes.erase(m_intakes.begin());
            --m_pendingIntakes;
            OnIntakeProbed(next);
        }
    });
    CLumoFileDescList* descs = intake->descs.get();
    watcher->setFuture(QtConcurrent::run([intake, descs]() { LumoRecordGetFileDesc(descs); }));
    return count;
}

void MainWindow::OnIntakeProbed(const std::shared_ptr<Intake>& intake) {
    PlayAddFile(intake->descs.get(), intake->playFirst, intake->view);
}

void MainWindow::OpenCommandLineFile(const QString& argument, bool play) {
    if (argument.isEmpty()) return;
    if (LumoIsStreamUrl(argument.toStdString())) {
        AddStreamUrl(argument, play);
        return;
    }
    const QByteArray native = NativePath(argument, QDir::currentPath());
    struct stat st;
    if (::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        // A folder (a recorder's storage, say): its record files and those of its sub-folders
        // are listed, in name order, ready to play.
        QStringList paths;
        for (const QByteArray& path : NativeFolderFiles(native, true, true, &MainWindow::IsAcceptedSuffix))
            paths << NativeFileUrl(path);
        OpenPaths(paths, false);
        return;
    }
    OpenPaths(QStringList{argument}, play, QDir::currentPath());
}

void MainWindow::OpenFiles() {
    const QStringList files =
        QFileDialog::getOpenFileNames(this, QString(), QString(), QStringLiteral("Video Files (*.dav *.avi *.mp4)"));
    if (!files.isEmpty()) OpenPaths(files, false);
}

void MainWindow::OpenFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, tr("add_folder"), QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return;
    // The dialog's QString may have lost bytes of the folder's name; its files are listed as bytes.
    QStringList paths;
    for (const QByteArray& path :
         NativeFolderFiles(NativePath(folder, QString()), false, false, &MainWindow::IsAcceptedSuffix))
        paths << NativeFileUrl(path);
    OpenPaths(paths, false);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasFormat(QStringLiteral("text/uri-list"))) return;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && IsAcceptedSuffix(QFileInfo(url.toLocalFile()).suffix())) {
            // A copy: the player only reads the file, and a move could make a file manager
            // delete the source.
            event->setDropAction(Qt::CopyAction);
            event->accept();
            return;
        }
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    // As URLs: their escapes hold names that are not UTF-8, which toLocalFile would lose.
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toString(QUrl::FullyEncoded);
    if (paths.isEmpty()) return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    OpenPaths(paths, true);
}

void MainWindow::PlayAddFile(CLumoFileDescList* descs, bool playFirst, int view) {
    CLumoPlayFileList* list = CurrentList();
    if (!list || !descs) {
        emit intakeFinished(0);
        return;
    }
    std::vector<CLumoFile*> added;
    CLumoFile* picked = list->AddAndPick(descs, &added);
    AddRows(added);
    int row = -1;
    for (int i = 0; i < list->GetCount(); ++i)
        if (list->GetAt(i) == picked) row = i;
    if (row >= 0) m_playfileList->setCurrentRow(row);
    if (!added.empty()) {
        for (int v = 0; v < VIEW_COUNT; ++v) {
            if (ViewState(v) & STATE_OPEN) {
                LumoPrintf("PlayAddFile , idv = %d, count = %d\n", v, int(added.size()));
                Ctl()->AddFilesToView(Panel(), v, &added);
            }
        }
        SaveState();
    }
    if (playFirst && row >= 0) {
        CloseView(view);
        PlayRowIn(view, row);
    }
    emit intakeFinished(int(added.size()));
}

void MainWindow::AddRows(const std::vector<CLumoFile*>& files) {
    for (CLumoFile* f : files) {
        if (!f) continue;
        m_playfileList->AddItem(quint64(reinterpret_cast<quintptr>(f)), QString::fromUtf8(f->name.c_str()),
                                ToDateTime(f->timeS), ToDateTime(f->timeE), f->length);
    }
}

int MainWindow::AddStreamUrl(const QString& url, bool play) {
    const QByteArray name = ListName();
    CLumoFileDesc desc;
    const QByteArray text = url.trimmed().toUtf8();
    desc.SetURI(text.constData());
    CLumoFile* file = nullptr;
    int result = LUMO_ERR_FAIL;
    if (CurrentList() && CurrentList()->Find(text.toStdString())) {
        result = LUMO_ERR_EXISTS;  // already listed
    } else {
        result = Ctl()->AddFileDesc(name.constData(), &desc, &file);
        if (result == 0 && file) {
            AddRows({file});
            SaveState();
        }
    }
    const int row = FindRowByUrl(text.toStdString());
    if (row >= 0) {
        m_playfileList->setCurrentRow(row);
        if (play) {
            const int played = PlayRow(row);
            if (played != 0) return played;
        }
    }
    return result;
}

CLumoPlayFileList* MainWindow::CurrentList() const {
    return Ctl()->FindPlayList(ListName().constData());
}

CLumoFile* MainWindow::RowFile(int row) const {
    return reinterpret_cast<CLumoFile*>(quintptr(m_playfileList->GetItemId(row)));
}

int MainWindow::FindRowByUrl(const std::string& url) const {
    if (url.empty()) return -1;
    for (int row = 0; row < m_playfileList->count(); ++row) {
        const CLumoFile* f = RowFile(row);
        if (f && f->url == url) return row;
    }
    // An address that came through a QString: the row of the one file it reads as.
    const CLumoPlayFileList* list = CurrentList();
    const CLumoFile* file = list ? list->FindAddress(url) : nullptr;
    for (int row = 0; file && row < m_playfileList->count(); ++row)
        if (RowFile(row) == file) return row;
    return -1;
}

void MainWindow::on_m_playfileList_doubleClicked(const QModelIndex& index) {
    PlayRow(index.row());
}

int MainWindow::PlayRow(int row) {
    return PlayRowIn(SelectedView(), row);
}

int MainWindow::PlayRowIn(int view, int row) {
    CLumoFile* current = ViewFile(view);
    if ((ViewState(view) & STATE_OPEN) && current && current->type != CLumoFile::TYPE_STREAM) {
        CLumoFile* entry = RowFile(row);
        if (!entry || entry->type == CLumoFile::TYPE_UNKNOWN) {
            handlePlaySliderPerSec(view);
            return LUMO_ERR_FAIL;
        }
        int result;
        if (entry->type == CLumoFile::TYPE_STREAM) {
            playlistClearPlayState(view);
            result = Ctl()->PlayUrl(Panel(), view, entry, m_playerCallback.get(), &ILumoCallback::OnSignal);
            if (result == 0) m_playfileList->SetItemFlag(row, unsigned(view), true);
        } else {
            // Within the player's open list; the mark follows with the player's file change.
            result = Ctl()->SeekFile(Panel(), view, entry);
        }
        if (result != 0) {
            handlePlaySliderPerSec(view);
            return result;
        }
        MarkViewOpened(view, entry->type);
        handlePlaySliderPerSec(view);
        return 0;
    }
    const int result = OpenRow(view, row);
    handlePlaySliderPerSec(view);
    return result;
}

int MainWindow::OpenRow(int view, int row) {
    CLumoFile* entry = RowFile(row);
    if (!entry || entry->type == CLumoFile::TYPE_UNKNOWN) return LUMO_ERR_FAIL;
    const bool stream = entry->type == CLumoFile::TYPE_STREAM;
    const int type = entry->type;
    const QString path = QFile::decodeName(QByteArray::fromStdString(entry->path));
    const auto failed = [this, view, stream, path](int result) {
        // Whatever the view played before is gone: say so rather than keep a stale row.
        if (!(ViewState(view) & STATE_OPEN)) CloseView(view);
        if (!stream) {
            // The operator is told which file and why (a stream is told by its login report).
            // Queued: the tip's own loop must not run inside an intake or a control's handler.
            const QString why = QString::fromUtf8(LumoResultText(result));
            QTimer::singleShot(0, this, [this, why, path]() { ShowTip(tr("tip"), why, path, 0); });
        }
    };
    const auto opened = [this, view, type](CLumoFile* file) {
        for (int r = 0; r < m_playfileList->count(); ++r)
            if (RowFile(r) == file) m_playfileList->SetItemFlag(r, unsigned(view), true);
        MarkViewOpened(view, type);
    };
    int result;
    playlistClearPlayState(view);
    if (stream) {
        result = Ctl()->PlayUrl(Panel(), view, entry, m_playerCallback.get(), &ILumoCallback::OnSignal);
    } else {
        // Opened off the GUI thread: the row is marked, or the failure told, when it answers (a
        // later play or stop of the view gives it up; the file is still listed when it succeeds).
        QPointer<MainWindow> self(this);
        result = Ctl()->PlayFile(Panel(), view, entry, m_playerCallback.get(), &ILumoCallback::OnSignal,
                                 [self, view, entry, failed, opened](int r) {
                                     if (!self) return;
                                     if (r != 0)
                                         failed(r);
                                     else
                                         opened(entry);
                                     self->handlePlaySliderPerSec(view);
                                 });
    }
    if (result != 0) {
        failed(result);
        return result;
    }
    if (stream) opened(entry);
    return 0;
}

void MainWindow::on_item_deleted(const QModelIndex& index) {
    if (index.row() < 0 || !RowFile(index.row())) return;
    RemoveFiles({index.row()});
}

void MainWindow::RemoveFiles(QList<int> rows) {
    const int scroll = m_playfileList->verticalScrollBar()->value();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<CLumoFile*> files;
    for (int row : rows)
        if (CLumoFile* f = RowFile(row)) files.push_back(f);
    if (files.empty()) return;
    // The players and the views let go of the files before the list frees them.
    quint64 affected = 0;
    for (int row : rows) affected |= m_playfileList->GetItemFlags(m_playfileList->item(row));
    for (int v = 0; v < VIEW_COUNT; ++v) {
        CLumoFile* current = ViewFile(v);
        const bool holds = current && std::find(files.begin(), files.end(), current) != files.end();
        if (holds) affected |= quint64(1) << v;
        // A stream has nothing else to play: its view closes.
        if (holds && current->type == CLumoFile::TYPE_STREAM) {
            CloseView(v);
            continue;
        }
        // A player keeps the file it plays and goes on with it; the others leave its list.
        if (ViewState(v) & STATE_OPEN) Ctl()->DeleteFilesFromView(Panel(), v, &files);
        // The view forgets the entry (it is freed below) until the player reports its next file.
        if (holds) {
            Ctl()->SetViewFile(Panel(), v, nullptr);
            Ctl()->SetViewUrl(Panel(), v, CLumoString());
        }
    }
    CLumoPlayFileList* list = CurrentList();
    // Rows from the bottom up, so the row numbers still hold.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        CLumoFile* f = RowFile(*it);
        if (!f || !list) continue;
        std::unique_ptr<CLumoFile> owned = list->Remove(f);
        if (!owned) continue;
        delete m_playfileList->takeItem(*it);
    }
    for (int v = 0; v < VIEW_COUNT; ++v) {
        if (!(affected & (quint64(1) << v))) continue;
        playlistClearPlayState(v);
        if (v == SelectedView()) RefreshControls(v, ViewFile(v) ? ViewFile(v)->type : 0);
    }
    m_playfileList->verticalScrollBar()->setValue(scroll);
    SaveState();
}

void MainWindow::on_btnClearList_clicked() {
    if (m_playfileList->count() > 0) ClearPlayList(false);
}

int MainWindow::ClearPlayList(bool confirmed) {
    if (!confirmed) {
        DialogTip tip(tr("tip"), tr("ensure_clear_list"), this, 0, false);
        if (tip.exec() != 1) return LUMO_ERR_BADPARAM;
    }
    // Through CloseView, so the marks, the playing views and the stay-on-top mode follow.
    for (int v = 0; v < VIEW_COUNT; ++v)
        if ((ViewState(v) & STATE_OPEN) || (m_playingViews & (1u << v))) CloseView(v);
    const QByteArray name = ListName();
    if (Ctl()->ClearPlayList(name.constData()) == 0) m_playfileList->clear();
    for (bool& marked : m_cutMarked) marked = false;
    RefreshControls(SelectedView(), 0);
    SaveState();
    return 0;
}

void MainWindow::on_btnListMode_clicked() {
    CycleListMode();
}

void MainWindow::CycleListMode() {
    const unsigned next = (Ctl()->GetListMode() + 1) % 4;
    Ctl()->SetPlayMode(Panel(), 1, next);
    SetListModeButton(int(next));
}

void MainWindow::on_btnFilter_clicked() {
    if (widgetSearch->isHidden()) {
        widgetSearch->show();
        return;
    }
    widgetSearch->hide();
    for (int row = 0; row < m_playfileList->count(); ++row) m_playfileList->item(row)->setHidden(false);
}

void MainWindow::on_btnSearch_clicked() {
    FilterList();
}

void MainWindow::FilterList() {
    const QString text = lineEditSearchParam->text().toLower();
    if (text.isEmpty()) return;
    const QStringList parts = text.split(QLatin1Char('*'));
    for (int row = 0; row < m_playfileList->count(); ++row) {
        const QString name = m_playfileList->GetItemName(row).toLower();
        int from = 0;
        bool match = true;
        for (const QString& part : parts) {
            const int at = name.indexOf(part, from);
            if (at < 0) {
                match = false;
                break;
            }
            from = at + part.size();
        }
        m_playfileList->item(row)->setHidden(!match);
    }
}

bool MainWindow::SaveState() {
    CPlayerContext* ctx = CPlayerContext::Instance();
    QString error;
    const bool ok = ctx->SaveConfig(CurrentList(), &error);
    if (!ok) qWarning("player: %s", qPrintable(error));
    return ok;
}
