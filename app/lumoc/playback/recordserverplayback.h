// A plain single-file record player: a fixed-size frameless dialog with one video view and a
// position slider that only shows where playback is, playing one record-file row from its start
// to its end. The file is opened on a worker (an open probes the file); the answer comes back to
// the GUI thread, as does the media library's end-of-file event.
#pragma once

#include <QString>
#include <atomic>
#include <memory>

#include "LumoBase/LumoBase.h"
#include "VantelInfraAPI/frameless.h"

class IKestoFileInfoAV;
class QTimer;
namespace INFRA {
class VideoDisplayPanel;
}
namespace lumocore {
class PlayerOpener;
}
namespace Ui {
class RecordServerPlayback;
}

class RecordServerPlayback : public INFRA::FrameLessDialog, public CLumoObject {
    Q_OBJECT
public:
    enum { EventEndOfList = 2118, AppCodeVideoOptions = 3 };

    explicit RecordServerPlayback(QWidget* parent = nullptr);
    ~RecordServerPlayback() override;

    // Holds `row` (a reference is added), releasing the one held before. Always 0.
    int SetFileInfo(IKestoFileInfoAV* row);
    // Starts playing the row: -1 without a row or a player window, the media library's result when
    // no player could be made, else 0 (the open runs on a worker: OnSignalPlayed follows).
    int Play();

    // The short name of a record: disk, block, file index, channel and stream.
    static QString ShortName(const IKestoFileInfoAV* row);

    void* GetPlayer() const { return player.load(); }
    Ui::RecordServerPlayback* GetUi() const { return ui; }

    static int OnPlayerSignal(CLumoObject* owner, int code, void* sender, void* p1, void* p2);
    static int OnAppSignal(CLumoObject* owner, int code, void* sender, void* p1, void* p2);

signals:
    void OnEmitStopPlay();
    // The open's answer: 0 playing, else the media library's result.
    void OnSignalPlayed(int result);

public slots:
    void OnTimer();
    void OnStopPlay();

private:
    // The open's answer (GUI thread): starts the player at the record's start, or ends it.
    void OnOpenFinished(void* player, int result);
    // Ends the player (and gives up an open under way).
    void EndPlayer();

    Ui::RecordServerPlayback* ui = nullptr;
    INFRA::VideoDisplayPanel* panel = nullptr;
    void* task = nullptr;
    std::atomic<void*> player{nullptr};     // set on the GUI thread, compared on the library's thread
    std::unique_ptr<lumocore::PlayerOpener> opener;  // GUI thread: opens the record off it
    IKestoFileInfoAV* row = nullptr;        // a counted reference
    QTimer* timer = nullptr;
    CLumoTime recordStart, recordEnd;
    ILumoCallback* playerCallback = nullptr;
    ILumoCallback* appCallback = nullptr;
};
