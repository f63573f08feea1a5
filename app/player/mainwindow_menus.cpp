// The main window's menus (main menu with the languages, add menu, play-list menu, view menu with
// its play-control and aspect submenus) and the dialogs they open.
//
// Every entry carries what it does in its data (an Entry value, or a language's index), and the
// slots decide on that: translated texts change with the language and may even coincide.
#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>

#include "LumoBase/LumoResult.h"
#include "common/playlist/playlistwidget.h"
#include "player/dialogs/adddiskfile.h"
#include "player/dialogs/about.h"
#include "player/dialogs/addurl.h"
#include "player/dialogs/backupmanager.h"
#include "player/dialogs/cuttip.h"
#include "player/dialogs/dialogtip.h"
#include "player/dialogs/fileinfo.h"
#include "player/dialogs/locatebyaccuratetime.h"
#include "player/dialogs/locatebytimestamp.h"
#include "player/dialogs/setting.h"
#include "player/downloadmanager.h"
#include "player/mainwindow.h"
#include "player/playcontroler.h"
#include "player/playercontext.h"
#include "VantelInfraAPI/videodisplaypanel.h"

namespace {

CPlayControler* Ctl() { return CPlayControler::Instance(); }
void* Panel() { return CPlayControler::Instance()->GetPanelHandle(); }

enum Entry {
    E_SETTING = 1, E_ABOUT,
    E_ADD_FILE, E_ADD_FOLDER, E_ADD_DISK_FILE, E_ADD_URL,
    E_DELETE, E_CLEAR, E_OPEN_SRC,
    E_SNAP, E_LOCATE_SECONDS, E_LOCATE_TIME, E_FILE_INFO,
    E_FRAME, E_FASTER, E_SLOWER, E_NORMAL_SPEED,
    E_ASPECT_FILL, E_ASPECT_ORIGINAL, E_ASPECT_4_3, E_ASPECT_16_9,
};

// The display-scale call of each aspect choice (ASPECT_* order), and its entry and key.
struct Aspect {
    int mode;
    float ratio;
    Entry entry;
    const char* key;
};
const Aspect kAspects[] = {{0, 0.0f, E_ASPECT_FILL, QT_TRANSLATE_NOOP("MainWindow", "aspect_ratio_fill")},
                           {2, 1.0f, E_ASPECT_ORIGINAL, QT_TRANSLATE_NOOP("MainWindow", "aspect_ratio_original")},
                           {1, 4.0f / 3.0f, E_ASPECT_4_3, QT_TRANSLATE_NOOP("MainWindow", "aspect_ratio_4_3")},
                           {1, 16.0f / 9.0f, E_ASPECT_16_9, QT_TRANSLATE_NOOP("MainWindow", "aspect_ratio_16_9")}};

// Language entries carry their display name instead, so they never read as an entry.
int EntryOf(const QAction* action) {
    return action && action->data().type() == QVariant::Int ? action->data().toInt() : 0;
}

// Three bars in the button's text colour: the style's own menu picture is its toolkit's logo.
QIcon MenuIcon(const QWidget* button) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(button->palette().color(QPalette::ButtonText), 1.5));
    for (int y : {4, 8, 12}) p.drawLine(QPointF(2, y + 0.5), QPointF(14, y + 0.5));
    return QIcon(pm);
}

QDateTime ToDateTime(const CLumoTime& t) {
    return t.IsEmpty() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(t.ToEpochMs());
}

}  // namespace

// An entry whose text is tr(key), named key, carrying what it does.
static QAction* AddEntry(QMenu* menu, const QString& text, const char* key, int entry) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QLatin1String(key));
    action->setData(entry);
    return action;
}

void MainWindow::InitMenus() {
    btnBasicMenu->setIcon(MenuIcon(btnBasicMenu));
    m_setting = new Setting(this);
    m_setting->setModal(true);
    m_setting->hide();
    m_about = new About(this);
    m_about->setModal(true);
    m_about->resize(310, 190);
    m_about->hide();
    m_backup = new BackupManager(this);
    m_backup->setModal(true);
    m_backup->hide();
    connect(m_setting, &Setting::onStickSel, this, &MainWindow::on_stick_sel);
    // Settings are written as soon as they change, so no way of ending the program loses them.
    connect(m_setting, &Setting::onSettingsStored, this, [this]() { SaveState(); });
    connect(btnBasicMenu, &QPushButton::clicked, this, &MainWindow::on_btnBasicMenu_clicked);
    connect(m_playfileList, &QWidget::customContextMenuRequested, this,
            &MainWindow::on_m_playfileList_customContextMenuRequested);
    connect(this, &MainWindow::onRightViewSel, this, &MainWindow::on_viewRight_sel);
}

void MainWindow::ShowKept(QWidget* dialog) {
    if (!dialog || !dialog->isHidden()) return;
    CenterDialog(dialog);
    dialog->show();
}

// ---------------------------------------------------------------------------------------------
// Main menu and languages.

QMenu* MainWindow::BuildBasicMenu() {
    auto* menu = new QMenu();
    menu->setObjectName(QStringLiteral("menuBasic"));
    QMenu* lang = menu->addMenu(tr("language"));
    lang->setObjectName(QStringLiteral("menuLanguage"));
    lang->menuAction()->setObjectName(QStringLiteral("language"));
    CPlayerContext* ctx = CPlayerContext::Instance();
    const QStringList& names = ctx->languageNames;
    for (int i = 0; i < names.size(); ++i) {
        QAction* action = lang->addAction(names.at(i));
        action->setObjectName(names.at(i));
        action->setData(names.at(i));
        action->setCheckable(true);
        action->setChecked(!names.at(i).isEmpty() && names.at(i) == ctx->settings.language);
        action->setVisible(!names.at(i).isEmpty());
        // A language without its file cannot be chosen.
        const QString key = i < CPlayerContext::LanguageKeys().size() ? CPlayerContext::LanguageKeys().at(i) : QString();
        action->setEnabled(!key.isEmpty() && QFileInfo::exists(QStringLiteral("%1/%2.qm").arg(ctx->languageDir, key)));
    }
    connect(lang, &QMenu::triggered, this, &MainWindow::on_menuLang_Triggered);
    AddEntry(menu, tr("setting"), "setting", E_SETTING);
    AddEntry(menu, tr("about"), "about", E_ABOUT);
    connect(menu, &QMenu::triggered, this, &MainWindow::on_menuBasic_Triggered);
    return menu;
}

void MainWindow::on_btnBasicMenu_clicked() {
    QMenu* menu = BuildBasicMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(btnBasicMenu->mapToGlobal(QPoint(0, btnBasicMenu->height())));
}

void MainWindow::on_menuBasic_Triggered(QAction* action) {
    // The language entries come here too (a submenu's triggers reach its parent menu) and match
    // no entry: their own slot handles them.
    switch (EntryOf(action)) {
    case E_SETTING: ShowKept(m_setting); break;
    case E_ABOUT: ShowKept(m_about); break;
    default: break;
    }
}

void MainWindow::on_menuLang_Triggered(QAction* action) {
    if (action && action->data().type() == QVariant::String) SwitchLanguage(action->data().toString());
}

int MainWindow::SwitchLanguage(const QString& displayName) {
    CPlayerContext* ctx = CPlayerContext::Instance();
    if (displayName.isEmpty() || !ctx->languageNames.contains(displayName)) return LUMO_ERR_NOTFOUND;
    if (displayName == ctx->settings.language) return LUMO_ERR_BADPARAM;
    // The setting names the language shown: a language that cannot be loaded is not taken.
    if (!ctx->LoadLanguage(displayName)) return LUMO_ERR_NOTFOUND;
    ctx->settings.language = displayName;
    SaveState();
    // Installing posts LanguageChange to every window; delivered now, the window and its dialogs
    // show the new language before this returns.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    return LUMO_OK;
}

void MainWindow::on_stick_sel(uint stick) {
    ApplyStick(int(stick));
}

// No button or menu entry leads here: the backup list opens only when this is called.
void MainWindow::on_btnBackupManager_clicked() {
    ShowKept(m_backup);
}

// ---------------------------------------------------------------------------------------------
// Add menu and the dialogs it opens.

QMenu* MainWindow::BuildAddMenu() {
    auto* menu = new QMenu();
    menu->setObjectName(QStringLiteral("menuAddFiles"));
    AddEntry(menu, tr("add_file"), "add_file", E_ADD_FILE);
    AddEntry(menu, tr("add_folder"), "add_folder", E_ADD_FOLDER);
    AddEntry(menu, tr("add_disk_file"), "add_disk_file", E_ADD_DISK_FILE)->setEnabled(HasDiskFileDialog());
    AddEntry(menu, tr("add_URL"), "add_URL", E_ADD_URL);
    connect(menu, &QMenu::triggered, this, &MainWindow::on_menuAddFiles_Triggered);
    return menu;
}

void MainWindow::on_btnAddFiles_clicked() {
    QMenu* menu = BuildAddMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(btnAddFiles->mapToGlobal(QPoint(0, btnAddFiles->height())));
}

void MainWindow::on_menuAddFiles_Triggered(QAction* action) {
    switch (EntryOf(action)) {
    case E_ADD_FILE: OpenFiles(); break;
    case E_ADD_FOLDER: OpenFolder(); break;
    case E_ADD_DISK_FILE: OpenDiskFileDialog(); break;
    case E_ADD_URL: OpenUrlDialog(); break;
    default: break;
    }
}

void MainWindow::OpenDiskFileDialog() {
    if (!m_addDiskFile) {
        m_addDiskFile = new AddDiskFile(this);
        m_addDiskFile->setModal(true);
        m_addDiskFile->hide();
        connect(m_addDiskFile, &AddDiskFile::onAddDiskFile, this, &MainWindow::on_diskFile_add);
    }
    if (m_addDiskFile->isHidden()) {
        CenterDialog(m_addDiskFile);
        m_addDiskFile->show();
    }
}

void MainWindow::on_diskFile_add(void* list) {
    const auto* found = static_cast<const CLumoFileDescList*>(list);
    if (!found || found->GetCount() == 0) return;
    // The dialog keeps its list (its next search overwrites it): the play list takes a copy.
    CLumoFileDescList copy;
    copy = *found;
    PlayAddFile(&copy, false, SelectedView());
}

void MainWindow::OpenUrlDialog() {
    if (!m_addUrl) {
        m_addUrl = new AddUrl(this);
        m_addUrl->setModal(true);
        m_addUrl->hide();
        connect(m_addUrl, &AddUrl::onAddUrl, this, &MainWindow::on_url_add);
    }
    ShowKept(m_addUrl);
}

void MainWindow::on_url_add(void* url) {
    const auto* text = static_cast<const QString*>(url);
    // Listed, not played: the operator starts it from the list.
    if (text && !text->isEmpty()) AddStreamUrl(*text, false);
    // The dialog has put the URL into the history: kept at once.
    SaveState();
}

// ---------------------------------------------------------------------------------------------
// Play-list menu.

QMenu* MainWindow::BuildListMenu() {
    m_menuRows.clear();
    for (const QModelIndex& index : m_playfileList->selectionModel()->selectedRows()) m_menuRows << index.row();
    std::sort(m_menuRows.begin(), m_menuRows.end());
    if (m_menuRows.isEmpty()) return nullptr;
    const CLumoFile* single = m_menuRows.size() == 1 ? RowFile(m_menuRows.first()) : nullptr;
    auto* menu = new QMenu();
    menu->setObjectName(QStringLiteral("menuListRight"));
    AddEntry(menu, tr("delete"), "delete", E_DELETE);
    AddEntry(menu, tr("clear"), "clear", E_CLEAR);
    // Only a single file on this machine has a folder to show.
    AddEntry(menu, tr("open_src"), "open_src", E_OPEN_SRC)
        ->setEnabled(single && single->type == CLumoFile::TYPE_LOCAL && !single->path.empty());
    connect(menu, &QMenu::triggered, this, &MainWindow::on_menuListRight_Triggered);
    return menu;
}

void MainWindow::on_m_playfileList_customContextMenuRequested(const QPoint& pos) {
    QMenu* menu = BuildListMenu();
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_playfileList->viewport()->mapToGlobal(pos));
}

void MainWindow::on_menuListRight_Triggered(QAction* action) {
    if (m_menuRows.isEmpty()) return;
    const QList<int> rows = m_menuRows;
    CLumoFile* single = rows.size() == 1 ? RowFile(rows.first()) : nullptr;
    switch (EntryOf(action)) {
    case E_DELETE: RemoveFiles(rows); break;
    case E_CLEAR: ClearPlayList(false); break;
    case E_OPEN_SRC:
        if (single && single->type == CLumoFile::TYPE_LOCAL) {
            QString path;
            CPlayerContext::FromLocal8Bit(single->path.c_str(), path);
            CPlayerContext::OpenInExplorer(path);
        }
        break;
    default: break;
    }
}

// ---------------------------------------------------------------------------------------------
// View menu.

QMenu* MainWindow::BuildViewMenu(int view) {
    if (view < 0 || view >= VIEW_COUNT) return nullptr;
    if ((ViewState(view) & (STATE_OPEN | STATE_END)) != STATE_OPEN) return nullptr;
    const CLumoFile* file = ViewFile(view);
    const bool record = file && file->type != CLumoFile::TYPE_UNKNOWN && file->type != CLumoFile::TYPE_STREAM;
    m_menuView = view;

    auto* menu = new QMenu();
    menu->setObjectName(QStringLiteral("menuViewRight"));
    AddEntry(menu, tr("snap"), "snap", E_SNAP);
    QMenu* control = menu->addMenu(tr("play_control"));
    control->setObjectName(QStringLiteral("menuPlayControl"));
    control->menuAction()->setObjectName(QStringLiteral("play_control"));
    AddEntry(control, tr("frame"), "frame", E_FRAME);
    AddEntry(control, tr("play_faster"), "play_faster", E_FASTER);
    AddEntry(control, tr("play_slower"), "play_slower", E_SLOWER);
    AddEntry(control, tr("play_normal_speed"), "play_normal_speed", E_NORMAL_SPEED);
    connect(control, &QMenu::triggered, this, &MainWindow::on_menuPlayControl_Triggered);
    QList<QAction*> recordOnly = {control->menuAction()};
    recordOnly << AddEntry(menu, tr("local_time_stamp"), "local_time_stamp", E_LOCATE_SECONDS);
    recordOnly << AddEntry(menu, tr("local_time_global"), "local_time_global", E_LOCATE_TIME);

    QMenu* aspect = menu->addMenu(tr("aspect_ratio"));
    aspect->setObjectName(QStringLiteral("menuAspectRatio"));
    aspect->menuAction()->setObjectName(QStringLiteral("aspect_ratio"));
    for (int i = 0; i < int(sizeof kAspects / sizeof kAspects[0]); ++i) {
        QAction* a = AddEntry(aspect, tr(kAspects[i].key), kAspects[i].key, kAspects[i].entry);
        a->setCheckable(true);
        a->setChecked(i == m_aspect[view]);
    }
    connect(aspect, &QMenu::triggered, this, &MainWindow::on_menuAspectRatio_Triggered);

    recordOnly << AddEntry(menu, tr("file_info"), "file_info", E_FILE_INFO);
    // A stream (or no file) has nothing to step through, locate in or describe: those entries
    // stay in the menu, greyed.
    for (QAction* a : recordOnly) a->setEnabled(record);
    connect(menu, &QMenu::triggered, this, &MainWindow::on_menuViewRight_Triggered);
    return menu;
}

void MainWindow::on_viewRight_sel(int view, const QPoint& globalPos) {
    if (view < 0 || view >= VIEW_COUNT) return;
    QMenu* menu = BuildViewMenu(view);
    if (!menu) {
        // Nothing plays there: whatever the view still names goes.
        if (!(m_playingViews & (1u << view))) {
            Ctl()->SetViewFile(Panel(), view, nullptr);
            Ctl()->SetViewUrl(Panel(), view, CLumoString());
            playlistClearPlayState(view);
        }
        RefreshControls(view, 0);
        return;
    }
    handlePlaySliderPerSec(view);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
    setFocusPolicy(Qt::ClickFocus);
    CLumoFile* file = ViewFile(view);
    RefreshControls(view, file ? file->type : 0);
    if (file) Ctl()->SetMute(Panel(), Ctl()->GetMute());
}

void MainWindow::on_menuViewRight_Triggered(QAction* action) {
    // Submenu entries come here too and match none of these: their own slots handle them.
    const int view = m_menuView;
    switch (EntryOf(action)) {
    case E_SNAP: Snapshot(view); break;
    case E_LOCATE_SECONDS: locatebyTimestamp(view); break;
    case E_LOCATE_TIME: locatebyAccurateTime(view); break;
    case E_FILE_INFO: ShowFileInfo(view); break;
    default: break;
    }
}

void MainWindow::on_menuPlayControl_Triggered(QAction* action) {
    const int view = m_menuView;
    switch (EntryOf(action)) {
    case E_FRAME: StepFrame(view); break;
    case E_FASTER: SpeedUpView(view); break;
    case E_SLOWER: SlowDownView(view); break;
    case E_NORMAL_SPEED:
        Ctl()->ResetSpeed(Panel(), view);
        UpdateFileInfo(view);
        break;
    default: break;
    }
}

void MainWindow::on_menuAspectRatio_Triggered(QAction* action) {
    const int entry = EntryOf(action);
    for (int i = 0; i < int(sizeof kAspects / sizeof kAspects[0]); ++i)
        if (kAspects[i].entry == entry) SetAspect(m_menuView, i);
}

int MainWindow::SetAspect(int view, int choice) {
    if (view < 0 || view >= VIEW_COUNT || choice < ASPECT_FILL || choice > ASPECT_16_9) return LUMO_ERR_PARAM;
    m_aspect[view] = choice;
    return Ctl()->SetDisplayScale(Panel(), view, kAspects[choice].mode, kAspects[choice].ratio);
}

int MainWindow::AspectChoice(int view) const {
    return view >= 0 && view < VIEW_COUNT ? m_aspect[view] : ASPECT_FILL;
}

// ---------------------------------------------------------------------------------------------
// Clips.

void MainWindow::on_btnCut_clicked() {
    CutClip(SelectedView());
}

bool MainWindow::BuildCutInfo(int view, const CLumoTime& mark, const CLumoTime& end, CutInfo* info) const {
    const CLumoFile* file = ViewFile(view);
    if (!file || !info) return false;
    CPlayerContext* ctx = CPlayerContext::Instance();
    info->cutStart = mark;
    info->cutEnd = end;
    info->fileStart = file->timeS;
    info->fileEnd = file->timeE;
    info->fileTimeText = QString::fromUtf8(CPlayerContext::FormatClipName(file->timeS, file->timeE).GetBuffer());
    CPlayerContext::FromLocal8Bit(file->path.c_str(), info->filePath);
    info->saveFolder = ctx->settings.cutRecordFolder;
    info->clipFormat = uint32_t(ctx->settings.cutRecordFormat);
    return true;
}

void MainWindow::CutClip(int view) {
    if (view < 0 || view >= VIEW_COUNT) return;
    const CLumoFile* file = ViewFile(view);
    if (!file || file->timeS.IsEmpty()) {
        m_cutMarked[view] = false;
        if (view == SelectedView()) btnCut->setChecked(false);
        return;
    }
    CLumoTime here = file->timeS;
    here.Add(qint64(sliderProgress->value()) * 1000);
    if (!m_cutMarked[view]) {
        m_cutMarked[view] = true;
        m_cutMarks[view] = here;
        if (view == SelectedView()) btnCut->setChecked(true);
        return;
    }
    CutInfo info;
    BuildCutInfo(view, m_cutMarks[view], here, &info);
    {
        CutTip dialog(this);
        dialog.SetInfo(info);
        if (dialog.exec() == 1) {
            dialog.GetResult(info);
            QueueClip(view, info);
        }
    }
    // Accepted or not, the next press starts a new mark.
    m_cutMarked[view] = false;
    m_cutMarks[view] = CLumoTime();
    if (view == SelectedView()) btnCut->setChecked(false);
}

int MainWindow::QueueClip(int view, const CutInfo& info) {
    const CLumoFile* file = ViewFile(view);
    if (!file) return LUMO_ERR_BADPARAM;
    // The dialog checked the range; a request from elsewhere is held to the same rule.
    if (info.cutStart.IsEmpty() || info.cutEnd.IsEmpty() || !(info.cutStart < info.cutEnd) ||
        info.cutStart < file->timeS || (!file->timeE.IsEmpty() && file->timeE < info.cutEnd))
        return LUMO_ERR_PARAM;
    std::unique_ptr<CLumoFile> clip(new CLumoFile());
    clip->SetUrl(file->url);
    clip->timeS = info.cutStart;
    clip->timeE = info.cutEnd;
    clip->length = file->length;
    // Paths are not cut to a fixed buffer: the folder goes over whole.
    const CLumoString folder(info.saveFolder.toLocal8Bit().toStdString());
    CLumoDownload* task = nullptr;
    // The result callback is attached before the clip can start, so a start that fails is told too.
    const int result = CDownloadManager::Instance()->AddTask(&task, clip.get(), folder, int(info.clipFormat),
                                                            m_clipCallback.get());
    return task ? 0 : (result != 0 ? result : LUMO_ERR_FAIL);
}

int MainWindow::OnClipEvent(CLumoObject* owner, int code, void* sender, void* p1, void* p2) {
    auto* window = dynamic_cast<MainWindow*>(owner);
    if (!window) return 0;
    // One result per clip: a task that reports again (after a failed start) reaches no one.
    if (sender)
        CDownloadManager::Instance()->DetachResult(dynamic_cast<CLumoDownload*>(static_cast<CLumoObject*>(sender)),
                                                   window->m_clipCallback.get());
    QString source, output;
    if (p1) CPlayerContext::FromLocal8Bit(static_cast<const char*>(p1), source);
    if (p2) CPlayerContext::FromLocal8Bit(static_cast<const char*>(p2), output);
    emit window->onCutDone(uint(code), source, output);
    return 0;
}

void MainWindow::on_cut_done(uint result, const QString& sourcePath, const QString& outputPath) {
    m_lastCut.result = result;
    m_lastCut.source = sourcePath;
    m_lastCut.output = outputPath;
    const char* key = result == CLumoDownload::RESULT_DONE        ? "cut_success"
                      : result == CLumoDownload::RESULT_DISK_FULL ? "cut_disk_full"
                                                                  : "cut_fail";
    DialogTip tip(tr("cut_done"), tr(key), this, 1, true);
    tip.resize(500, 185);
    tip.SetFileInfo(sourcePath, outputPath);
    tip.StartAutoClose(5000);
    tip.exec();
}

// ---------------------------------------------------------------------------------------------
// File information and locating.

bool MainWindow::ViewFileInfo(int view, PlayFileInfo* info) const {
    const CLumoFile* file = ViewFile(view);
    if (!file) return false;
    if (info) *info = PlayFileInfo::FromFile(*file);
    return true;
}

void MainWindow::ShowFileInfo(int view) {
    PlayFileInfo info;
    if (!ViewFileInfo(view, &info)) return;
    FileInfo dialog(this);
    dialog.SetFile(info);
    dialog.exec();
}

int MainWindow::LocateSeconds(int view, qint64 seconds) {
    CLumoFile* file = ViewFile(view);
    if (!file) return LUMO_ERR_BADPARAM;
    CLumoTime target = file->timeS;
    target.Add(qBound<qint64>(0, seconds, qMax<qint64>(0, file->timeE - file->timeS)) * 1000);
    CLumoString text;
    target.ToString(text, false);
    LumoPrintf("==== locate by Timestamp, tmc = %s\n", text.GetBuffer());
    const int result = SeekView(view, seconds);
    if (result == 0) {
        UpdateFileInfo(view);
        ShowPlayState(view);
    }
    return result;
}

int MainWindow::LocateTime(int view, const QDateTime& time) {
    CLumoFile* file = ViewFile(view);
    if (!file) return LUMO_ERR_BADPARAM;
    const QDateTime start = ToDateTime(file->timeS), end = ToDateTime(file->timeE);
    if (!time.isValid() || !start.isValid() || time < start || (end.isValid() && time > end)) return LUMO_ERR_PARAM;
    return LocateSeconds(view, start.secsTo(time));
}

void MainWindow::locatebyTimestamp(int view) {
    CLumoFile* file = ViewFile(view);
    if (!file || file->timeS.IsEmpty()) {
        qDebug("==== locatebyTimestamp::Get file time failed!");
        return;
    }
    LocateByTimeStamp dialog(this);
    dialog.SetMax(quint64(qMax<qint64>(0, file->timeE - file->timeS)));
    if (dialog.exec() != 1) return;
    int seconds = 0;
    dialog.GetSeconds(seconds);
    LocateSeconds(view, seconds);
}

void MainWindow::locatebyAccurateTime(int view) {
    CLumoFile* file = ViewFile(view);
    if (!file || file->timeS.IsEmpty()) {
        qDebug("==== locatebyAccurateTime::Get file time failed!");
        return;
    }
    CLumoTime now;
    if (Ctl()->GetPlaybackTime(Panel(), view, &now) != 0 || now.IsEmpty()) now = file->timeS;
    LocateByAccurateTime dialog(this);
    dialog.SetRange(ToDateTime(now), ToDateTime(file->timeS), ToDateTime(file->timeE));
    if (dialog.exec() != 1) return;
    QDateTime chosen;
    dialog.GetTime(chosen);
    LocateTime(view, chosen);
}
