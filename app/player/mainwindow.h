// The player's main window: a frameless frame around the play list and the multi-view video
// panel of the play controller, with the control row of the selected view. Its code is split by
// concern: mainwindow.cpp (frame, views, state poll, player events), mainwindow_intake.cpp (play
// list and file intake), mainwindow_controls.cpp (play controls).
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

class CLumoFile;
class CLumoPlayFileList;
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
    int playlistClearPlayState(int view);
    void ResetControlButtons();
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
    // A stream URL entry; with play it opens in the selected view. 0, -17 already listed (its
    // row is selected and, with play, played), or a failure code.
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

    // Widgets the tests and the control seam reach.
    QSlider* ProgressSlider() const { return sliderProgress; }
    QSlider* VolumeSlider() const { return sliderVoice; }
    QPushButton* PlayButton() const { return btnPlayorPause; }
    QPushButton* VoiceButton() const { return btnVoice; }
    QLabel* FileInfoLabel() const { return labelFileInfo; }

signals:
    void onViewSel(int view);
    void onRightViewSel(int view, QPoint globalPos);
    void onHandoffFile(int view, QString url);
    void onLoginResult(int view, QString text, int code);
    // An intake's files are in the list (added: how many were new).
    void intakeFinished(int added);

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
    std::unique_ptr<ILumoCallback> m_playerCallback;
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
    QPushButton* btnFullScreen = nullptr;
    QPushButton* btnSplit = nullptr;
    QPushButton* btnVoice = nullptr;
    QSlider* sliderVoice = nullptr;
};
