// The embedded record player: one video window, a progress slider with elapsed and total time,
// and the snapshot, slower, play, pause, stop and faster buttons. Plays one list of record-file
// descriptions through one media-library player and polls it once a second. The list is opened
// on a worker thread (opening and probing a file may take seconds): meanwhile the widget shows
// that it is opening, and the result comes back to the GUI thread (lumocore::PlayerOpener).
#pragma once

#include <QMutex>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>

#include "LumoBase/LumoBase.h"
#include "LumoFS/LumoFS.h"

class IVantelData;
class QTimer;
namespace Ui {
class lumocplayer;
}
namespace INFRA {
class VideoDisplayPanel;
class VideoGrid;
}  // namespace INFRA
namespace lumocore {
class PlayerOpener;
}

class PlayerWidget : public QWidget, public CLumoObject {
    Q_OBJECT
public:
    // Bit values: exactly one is set at a time (0 when nothing is loaded).
    enum State {
        StateIdle = 0,
        StatePlaying = 1,
        StatePaused = 2,
        StateStopped = 4,
        StateLoaded = 8,
        StateOpening = 16,  // the list is being opened on a worker; only stop is offered
    };
    Q_ENUM(State)

    // Media-library event: the player reached the end of its list.
    enum { EventEndOfList = 2118 };
    // Program-wide settings code after the display options were saved.
    enum { AppCodeVideoOptions = 3 };

    explicit PlayerWidget(int mode, QWidget* parent = nullptr);
    ~PlayerWidget() override;

    // Appends the record-file row (an IKestoFileInfoAV) to the list; always 0.
    int SetFileInfo(IVantelData* row);
    // Replaces the list by a copy of `list`; the state stays as it is. Always 0.
    int SetFileList(CLumoFileDescList* list);
    // Appends `desc`, which the list takes over; -1 for a null description, else 0.
    int AddFile(CLumoFileDesc* desc);
    void SetTitle(const QString& text) { title = text; }
    QString GetTitle() const { return title; }
    void SetPlayMode(int value) { playMode = value; }
    int GetPlayMode() const { return playMode; }
    int GetMode() const { return mode; }
    State GetState() const { return state; }
    // The media library's handles (null while none exists).
    void* GetPlayer() const { return player.load(); }
    void* GetTask() const { return task; }
    const CLumoFileDescList& GetFiles() const { return files; }
    INFRA::VideoDisplayPanel* GetPanel() const { return panel; }
    // The text shown on the video window after a failed play (empty after a good one).
    QString GetLastError() const { return lastError; }

    // Callback handlers handed to ILumoCallback with the widget as owner; both return 0.
    static int OnPlayerSignal(CLumoObject* owner, int code, void* sender, void* p1, void* p2);
    static int OnAppSignal(CLumoObject* owner, int code, void* sender, void* p1, void* p2);

    // "h:mm:ss"-style clock text of a millisecond count (two-digit fields; hours may grow;
    // a negative count reads as 0).
    static QString ClockText(qint64 ms);
    // The display title of a list whose first description is `head`.
    static QString MakeTitle(const CLumoFileDesc& head);
    // Slider position 0..99 of `elapsed` within `span` (both milliseconds); 0 for an empty span.
    static int SliderValue(qint64 elapsed, qint64 span);
    // The record time that slider position `value` (0..100) stands for, within [start, end].
    static CLumoTime SeekTarget(const CLumoTime& start, const CLumoTime& end, int value);
    // The next speed code up or down the ladder -8, -4, -2, 1, 2, 4, 8; `current` itself at
    // either end.
    static int FasterSpeed(int current);
    static int SlowerSpeed(int current);

signals:
    void OnSignalStopPlay();
    void OnSignalStarted();
    // The list could not be opened: the media library's result (the text is on the video window).
    void OnSignalPlayFailed(int code);
    void SignalPanelFullScreen();
    void SignalPanelExitFullScreen();

public slots:
    // Starts playing: resumes when paused, else opens the list on a worker and returns at once.
    // 0 (resumed, or the open started: OnSignalStarted or OnSignalPlayFailed follows), -1 (no
    // window or nothing to play), or the media library's result when no player could be made.
    int Play();
    void OnTimer();
    void OnStopPlay();
    void OnPause();
    void OnFaster();
    void OnSlower();
    void OnSnap();
    void OnSetProgress(int value);
    void OnUpdateState(PlayerWidget::State s);
    void OnUpdateState() { OnUpdateState(StateIdle); }
    void OnSliderPressed() { sliderHeld = true; }
    void OnSliderReleased() { sliderHeld = false; }

    // The player's scale mode and ratio for a display scale of the client's video options.
    static void ScaleOfOption(int displayScale, int* mode, float* ratio);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetUp();
    void RetranslateTips();
    INFRA::VideoGrid* Cell() const;
    QWidget* CellWindow() const;
    // Shows `text` on the video window (empty clears it).
    void ShowError(const QString& text);
    static QString PlayErrorText(int code);
    static void ApplyDisplayScale(void* player);
    // Sets the slider without seeking: only the operator's moves seek.
    void SetSliderQuietly(int value);
    // The worker's answer to the open (GUI thread): starts the player, or shows why not. An open
    // that was given up never answers.
    void OnOpenFinished(void* player, int result);
    // Gives up the open that runs (stop, a new play, the widget's end): the opener closes its
    // player.
    void CancelOpen();

    int playMode = 0;
    INFRA::VideoDisplayPanel* panel = nullptr;
    void* task = nullptr;
    std::atomic<void*> player{nullptr};      // set on the GUI thread, compared on the media library's thread
    std::unique_ptr<lumocore::PlayerOpener> opener;  // GUI thread: opens the list off it
    State stateBeforeOpen = StateIdle;       // GUI thread: shown again when the open fails
    QTimer* timer = nullptr;
    bool sliderHeld = false;
    CLumoTime timeStart;
    CLumoTime timeEnd;
    CLumoFileDescList files{1};
    ILumoCallback* playerCallback = nullptr;
    ILumoCallback* appCallback = nullptr;
    QMutex seekMutex;
    Ui::lumocplayer* ui = nullptr;
    int mode;
    QString title;
    State state = StateIdle;
    QString lastError;
};
