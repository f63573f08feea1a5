// The player's main window: a frameless frame around the play list and the multi-view video
// panel of the play controller, with the control row of the selected view. Its code is split by
// concern: mainwindow.cpp (frame, views, state poll, player events), mainwindow_intake.cpp (play
// list and file intake), mainwindow_controls.cpp (play controls), mainwindow_menus.cpp (menus and
// the dialogs they open).
//
// Threads: everything runs on the GUI thread except OnPlayerEvent (LumoCore's threads), which
// only emits queued signals, and the intake's probes (a pool thread), whose results come back
// through a QFutureWatcher on the GUI thread.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

#include "LumoBase/LumoBase.h"
#include "LumoFS/LumoFS.h"

class About;
class AddDiskFile;
class AddUrl;
class BackupManager;
class CLumoFile;
class CLumoPlayFileList;
class QAction;
class QDateTime;
class Setting;
struct CutInfo;
struct PlayFileInfo;
class PlayListWidget;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPushButton;
class QSizeGrip;
class QSlider;
class QWidget;

class MainWindow : public QMainWindow, public CLumoObject {
    Q_OBJECT
public:
    enum { VIEW_COUNT = 16 };
    // Bits of a view's state word.
    enum { STATE_OPEN = 0x10, STATE_END = 0x20, STATE_PAUSED = 0x40 };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window while it exists (read by the player-event handler on LumoCore's threads).
    static MainWindow* Current() { return s_current.load(); }

    // --- Shared view bookkeeping.
    int CloseView(int view);
    void RefreshControls(int view, int fileType);
    void UpdateFileInfo(int view);
    void handlePlaySliderPerSec(int view);
    // Seeks the selected view to `seconds` after its file's start: 0, -7 ended, -9 no file, or the
    // controller's result.
    int SeekSelectedView(int seconds);
    // The same on any view, with a 64-bit offset clamped to the file.
    int SeekView(int view, qint64 seconds);
    int playlistClearPlayState(int view);
    void ResetControlButtons();
    // The play button shows what the selected view does (playing or not), never what was asked.
    void ShowPlayState(int view);
    void ResetProgress();
    void SetControlButtonsEnabled(bool on);
    void SetProgressEnabled(bool on);
    void ApplyStick(int mode);
    void Retranslate();
    void CenterDialog(QWidget* dialog);
    void SetSplit(int n);  // 1, 2, 3 or 4 views a side
    // The views opened by this window (bit v for view v).
    quint16 PlayingViews() const { return m_playingViews; }
    int StickMode() const { return m_stick; }
    // The state word of a view (0 when it has no player).
    int ViewState(int view) const;
    int SelectedView() const;
    void SelectView(int view);

    // --- Play list and intake.
    static bool IsAcceptedSuffix(const QString& suffix);
    // Files by path or file: URL (relative paths against baseDir); the accepted ones are probed
    // off the GUI thread, then added; with playFirst the first of them plays in the selected view.
    // Returns the number of files handed to the probe.
    int OpenPaths(const QStringList& pathsOrUrls, bool playFirst, const QString& baseDir = QString());
    // A command-line argument: a record file (relative to the current folder), a stream URL, or a
    // folder whose record files (sub-folders included) are listed. `play`: play the file or stream.
    void OpenCommandLineFile(const QString& argument, bool play = true);
    // A stream URL entry; with play it opens in the selected view. 0, LUMO_ERR_EXISTS (-25)
    // already listed (its row is selected and, with play, played), or a failure code.
    int AddStreamUrl(const QString& url, bool play);
    void OpenFiles();
    void OpenFolder();
    // Intakes whose probe has not come back yet.
    int PendingIntakes() const { return m_pendingIntakes; }
    int FindRowByUrl(const std::string& url) const;
    int PlayRow(int row);
    int OpenRow(int view, int row);
    void RemoveFiles(QList<int> rows);
    // Asks for confirmation (unless confirmed is true) and clears the list: 0 cleared, -9 refused
    // or empty.
    int ClearPlayList(bool confirmed = false);
    void CycleListMode();
    void FilterList();
    PlayListWidget* PlayList() const { return m_playfileList; }
    // Writes the settings and the play list now; false when a file could not be written.
    bool SaveState();

    // --- Play controls (the selected view unless a view is named).
    void PlayOrPause();
    void StepFrame(int view);
    void SpeedUpView(int view);
    void SlowDownView(int view);
    void SetVolume(int volume);
    void ToggleMute();
    // Writes a picture of the view into the snapshot folder: 0 and *path, or a failure code.
    int Snapshot(int view, QString* path = nullptr, bool showTip = true);
    // The status part of the file line ("play", "pause", "speed x 2" ...).
    QString StatusText(int view) const;

    // --- Menus and dialog entries (mainwindow_menus.cpp). The menus are built when asked for;
    // the caller owns the menu (popped-up menus delete themselves when closed). Each entry's
    // object name is its translation key; the slots tell entries apart by the action's data.
    QMenu* BuildBasicMenu();
    QMenu* BuildAddMenu();
    QMenu* BuildListMenu();          // null without a selected row
    QMenu* BuildViewMenu(int view);  // null when the view is not open
    // Installs the language with this display name: 0, -9 it is the current one, -11 no such
    // language or its file cannot be loaded (the current one stays).
    int SwitchLanguage(const QString& displayName);
    // Aspect choices of a view: 0 fill, 1 original, 2 4:3, 3 16:9 (fill again once the view closes).
    enum { ASPECT_FILL, ASPECT_ORIGINAL, ASPECT_4_3, ASPECT_16_9 };
    int SetAspect(int view, int choice);
    int AspectChoice(int view) const;
    // Seeks the view to `seconds` after its file's start (clamped to the file) or to a time inside
    // the file: 0, -4 a time outside the file, -9 no file, -7 ended, or the controller's result.
    int LocateSeconds(int view, qint64 seconds);
    int LocateTime(int view, const QDateTime& time);
    // The view's file as the information dialog shows it; false without a file.
    bool ViewFileInfo(int view, PlayFileInfo* info) const;
    void ShowFileInfo(int view);
    void locatebyTimestamp(int view);
    void locatebyAccurateTime(int view);
    void OpenUrlDialog();
    bool HasDiskFileDialog() const { return true; }
    void OpenDiskFileDialog();

    // --- Clips. The cut button's first press marks the clip start at the progress slider's
    // second; the second press offers the range from the mark to the slider in the clip dialog,
    // and an accepted dialog queues the clip (one runs at a time). The result comes back through
    // on_cut_done as a tip.
    void CutClip(int view);
    // The request the second press hands to the clip dialog, for a clip from `mark` to `end` of
    // the view's file; false without a file.
    bool BuildCutInfo(int view, const CLumoTime& mark, const CLumoTime& end, CutInfo* info) const;
    // Queues the clip the dialog returned (range, folder, format) for the view's file: 0, -9 no
    // file, -4 a range that is not inside the file or not ordered, or the queue's failure.
    int QueueClip(int view, const CutInfo& info);
    // Whether the view holds a cut mark, and the mark.
    bool IsCutMarked(int view) const { return view >= 0 && view < VIEW_COUNT && m_cutMarked[view]; }
    CLumoTime CutMark(int view) const { return view >= 0 && view < VIEW_COUNT ? m_cutMarks[view] : CLumoTime(); }
    // The last clip result shown (result 0 before any).
    struct CutResult {
        uint result = 0;
        QString source, output;
    };
    const CutResult& LastCutResult() const { return m_lastCut; }
    // The observer attached to each queued clip's result signal, until that result comes.
    ILumoCallback* ClipCallback() const { return m_clipCallback.get(); }
    Setting* SettingDialog() const { return m_setting; }
    About* AboutDialog() const { return m_about; }
    BackupManager* BackupDialog() const { return m_backup; }
    AddUrl* UrlDialog() const { return m_addUrl; }

    // Widgets the tests and the control seam reach.
    QSlider* ProgressSlider() const { return sliderProgress; }
    QSlider* VolumeSlider() const { return sliderVoice; }
    QPushButton* PlayButton() const { return btnPlayorPause; }
    QPushButton* VoiceButton() const { return btnVoice; }
    QLabel* FileInfoLabel() const { return labelFileInfo; }
    QLabel* ListNameLabel() const { return labelListName; }
    QPushButton* SearchButton() const { return btnSearch; }
    QPushButton* MenuButton() const { return btnBasicMenu; }
    QPushButton* AddButton() const { return btnAddFiles; }
    QPushButton* CutButton() const { return btnCut; }

signals:
    void onViewSel(int view);
    void onRightViewSel(int view, QPoint globalPos);
    void onHandoffFile(int view, QString url);
    void onLoginResult(int view, QString text, int code);
    // An intake's files are in the list (added: how many were new).
    void intakeFinished(int added);
    // A clip ended (result 1 done, 2 failed, 3 disk full), with its source and output paths.
    void onCutDone(uint result, QString sourcePath, QString outputPath);

public slots:
    void on_playfile_handoff(int view, const QString& url);
    void on_login_result(int view, const QString& text, int code);
    void on_viewWindow_sel(int view);
    void on_btnClose_clicked();
    void on_btnMax_clicked();
    void on_btnStick_clicked();
    void on_btnSplit_clicked();
    void on_btnFullScreen_clicked();
    void on_btnHide_clicked();
    void on_btnAddFiles_clicked();
    void on_btnClearList_clicked();
    void on_btnListMode_clicked();
    void on_btnFilter_clicked();
    void on_btnSearch_clicked();
    void on_m_playfileList_doubleClicked(const QModelIndex& index);
    void on_item_deleted(const QModelIndex& index);
    void on_btnPlayorPause_clicked();
    void on_btnStop_clicked();
    void on_btnFrame_clicked();
    void on_btnFaster_clicked();
    void on_btnSlower_clicked();
    void on_sliderProgress_sliderPressed();
    void on_sliderProgress_sliderMoved(int value);
    void on_sliderProgress_sliderReleased();
    void on_sliderVoiceValue_changed(int value);
    void on_btnVoice_clicked();
    void on_btnSnap_clicked();
    void on_btnCut_clicked();
    void on_cut_done(uint result, const QString& sourcePath, const QString& outputPath);
    void on_btnBasicMenu_clicked();
    void on_menuBasic_Triggered(QAction* action);
    void on_menuLang_Triggered(QAction* action);
    void on_menuAddFiles_Triggered(QAction* action);
    void on_m_playfileList_customContextMenuRequested(const QPoint& pos);
    void on_menuListRight_Triggered(QAction* action);
    void on_viewRight_sel(int view, const QPoint& globalPos);
    void on_menuViewRight_Triggered(QAction* action);
    void on_menuPlayControl_Triggered(QAction* action);
    void on_menuAspectRatio_Triggered(QAction* action);
    void on_url_add(void* url);
    // The recorder-disk search's result (a CLumoFileDescList* the dialog keeps): listed, not played.
    void on_diskFile_add(void* list);
    void on_stick_sel(uint stick);
    void on_btnBackupManager_clicked();

protected:
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct Intake;

    void InitUi();
    void InitPanel();
    void InitPlayList();
    void InitMenus();
    void ShowKept(QWidget* dialog);
    void ToggleMaximized();
    void AddRows(const std::vector<CLumoFile*>& files);
    void PlayAddFile(CLumoFileDescList* descs, bool playFirst, int view);
    int PlayRowIn(int view, int row);
    void OnIntakeProbed(const std::shared_ptr<Intake>& intake);
    void MarkViewOpened(int view, int fileType);
    CLumoPlayFileList* CurrentList() const;
    CLumoFile* RowFile(int row) const;
    CLumoFile* ViewFile(int view) const;
    std::string ViewUrl(int view) const;
    void ShowTip(const QString& title, const QString& text, const QString& path, int autoCloseMs);
    void SetListModeButton(int mode);

    static int OnPlayerEvent(CLumoObject* owner, int code, void* sender, void* p1, void* p2);
    // A stream that broke off in view (played by player): logged, the view closed, the operator
    // told which view lost which stream. Nothing when the view has moved on (stopped by hand).
    void OnStreamLost(int view, void* player, const QString& url, int result);
    // A clip's result, on the clip's own thread: lets go of the clip's result signal (one result
    // per clip) and emits onCutDone (queued).
    static int OnClipEvent(CLumoObject* owner, int code, void* sender, void* p1, void* p2);

    static std::atomic<MainWindow*> s_current;

    // All fields below belong to the GUI thread.
    int m_stick = 0;
    bool m_titlePressed = false;
    bool m_pressOutsideTitle = false;
    QPoint m_dragOffset;
    bool m_sliderDragging = false;
    quint16 m_playingViews = 0;
    int m_timerId = 0;
    int m_pendingIntakes = 0;
    // Intakes in the order they came; each is added once it and all before it are probed.
    std::vector<std::shared_ptr<Intake>> m_intakes;
    bool m_cutMarked[VIEW_COUNT] = {};
    CLumoTime m_cutMarks[VIEW_COUNT];  // the first cut press per view (while m_cutMarked)
    CutResult m_lastCut;
    int m_aspect[VIEW_COUNT] = {};  // ASPECT_* per view
    int m_menuView = 0;             // the view whose menu was opened last
    QList<int> m_menuRows;          // the rows selected when the list's menu was opened
    About* m_about = nullptr;       // the kept dialogs: children of the window
    Setting* m_setting = nullptr;
    BackupManager* m_backup = nullptr;
    AddUrl* m_addUrl = nullptr;     // made on first use
    AddDiskFile* m_addDiskFile = nullptr;  // made on first use
    std::unique_ptr<ILumoCallback> m_playerCallback;
    std::unique_ptr<ILumoCallback> m_clipCallback;  // attached to every queued clip's result
    QPointer<QMenu> m_splitPopup;
    QSizeGrip* m_sizeGrip = nullptr;

    QWidget* widgetTittle = nullptr;
    QLabel* labelLogo = nullptr;
    QLabel* labelAppName = nullptr;
    QPushButton* btnBasicMenu = nullptr;
    QPushButton* btnStick = nullptr;
    QPushButton* btnMin = nullptr;
    QPushButton* btnMax = nullptr;
    QPushButton* btnClose = nullptr;
    QWidget* widgetList = nullptr;
    QLabel* labelListName = nullptr;
    QPushButton* btnAddFiles = nullptr;
    PlayListWidget* m_playfileList = nullptr;
    QWidget* widgetSearch = nullptr;
    QLabel* labelSearchName = nullptr;
    QLineEdit* lineEditSearchParam = nullptr;
    QPushButton* btnSearch = nullptr;
    QPushButton* btnClearList = nullptr;
    QPushButton* btnListMode = nullptr;
    QPushButton* btnFilter = nullptr;
    QWidget* widgetPlayWindow = nullptr;
    QLabel* labelFileInfo = nullptr;
    QLabel* labelProgressS = nullptr;
    QSlider* sliderProgress = nullptr;
    QLabel* labelProgressE = nullptr;
    QPushButton* btnHide = nullptr;
    QPushButton* btnSlower = nullptr;
    QPushButton* btnPlayorPause = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnFrame = nullptr;
    QPushButton* btnFaster = nullptr;
    QPushButton* btnSnap = nullptr;
    QPushButton* btnCut = nullptr;
    QPushButton* btnFullScreen = nullptr;
    QPushButton* btnSplit = nullptr;
    QPushButton* btnVoice = nullptr;
    QSlider* sliderVoice = nullptr;
};
