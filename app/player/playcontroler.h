// The player's play controller: owns the multi-view video panel, one media player per view, the
// play list, and per view the speed code, the file and the URL being played. The main window
// sends every playback request through it on the GUI thread; results are ints (0 success,
// negative failure, codes of LumoBase/LumoResult.h or the media layer's, passed on unchanged).
//
// Threads: every operation runs on the GUI thread, except GetViewFile, SetViewFile, GetViewUrl,
// SetViewUrl and GetViewOfPlayer, which any thread may call (the player events arrive on the
// media layer's threads).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LumoBase/LumoBase.h"
#include "LumoFS/LumoFS.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "player/playfile.h"

namespace lumocore {
class PlayerOpener;
}

class CPlayControler : public QObject {
public:
    enum { MAX_VIEWS = 16 };

    // The one controller, made on first use (GUI thread only); never destroyed.
    static CPlayControler* Instance();

    CPlayControler();
    ~CPlayControler() override;
    CPlayControler(const CPlayControler&) = delete;
    CPlayControler& operator=(const CPlayControler&) = delete;

    // ---- life cycle and panel
    int CoreInitialize();
    // Ends every view's player first: nothing plays on once the media layer is gone.
    int CoreInvalidate();
    // Makes the panel on parent (rows x columns, the picture of a view without video) and the
    // panel handle that the view, sound and mode operations take. 0, or -1 when already made.
    int CreatePanel(QWidget* parent, int rows, int columns, const QString& lostVideoLogo);
    void InitViews(unsigned count);
    void OnGridSelected(int index);
    int GetSelectedView(void* panel) const;
    int SetLayout(int rows, int columns);
    void SetFullScreen(void* panel, bool on);
    // Stops and closes every view's player, then deletes the panel and its handle.
    int DestroyPanel();
    INFRA::VideoDisplayPanel* GetPanel() const { return m_panel; }
    // The handle of the panel made by CreatePanel (null before and after).
    void* GetPanelHandle() const { return m_panelHandle.load(); }
    int SetPanelSize(void* panel, int width, int height);
    int GetPanelViewPlayer(void* panel, int view, void** player);
    // The view's player handle (null if none). GUI thread.
    void* GetPlayer(int view) const;
    // The view whose player is `player`, or a negative code. Any thread.
    int GetViewOfPlayer(void* player) const;
    // Stops and closes every view's player and empties every view (file, URL, speed).
    int StopAllViews();

    // ---- play lists (by name, compared byte for byte; LUMO_ERR_NOTFOUND: no such list)
    int CreatePlayList(const char* name, unsigned blockSize);
    int SelectPlayList(const char* name);
    CLumoPlayFileList* FindPlayList(const char* name) const;
    CLumoPlayFileList* GetCurrentPlayList() const { return m_current; }
    int ListPlayListNames(std::vector<std::string>* names) const;
    int AddFileDesc(const char* name, CLumoFileDesc* desc, CLumoFile** added);
    int AddFileDescs(const char* name, CLumoFileDescList* descs, std::vector<CLumoFile*>* added);
    int AddPlayListFiles(const char* name, CLumoPlayFileList* source, std::vector<CLumoFile*>* added);
    int ClearPlayList(const char* name);
    // Takes the file out of the list (no view keeps it) and hands it to the caller, who deletes it.
    int RemoveFile(const char* name, CLumoFile* file);
    // The listed file of that address (CLumoPlayFileList::FindAddress: an address that came
    // through a QString is found too): 0, or LUMO_ERR_NOTFOUND (*found null).
    int FindFile(const char* name, const char* url, CLumoFile** found);

    // ---- views (0..15)
    // The outcome of a file open, on the GUI thread: 0 playing, else why not (the view is then
    // empty).
    using PlayDone = std::function<void(int result)>;
    // Plays the current list's record files on the view, from `file`. The list is opened off the
    // GUI thread: the result is at once a failure to begin (the view is then empty), or 0 with
    // `done` following once the open has answered. A later play or stop of the view, or the
    // file's removal from the list, gives the open up: `done` is then not called (a removal
    // answers LUMO_ERR_NOTFOUND).
    int PlayFile(void* panel, int view, CLumoFile* file, ILumoCallback* callback, LumoSignalMember handler,
                 PlayDone done = PlayDone());
    // A file open of the view is under way (GUI thread).
    bool IsOpening(int view) const;
    int PlayUrl(void* panel, int view, CLumoFile* entry, ILumoCallback* callback, LumoSignalMember handler);
    int StopView(void* panel, int view, ILumoCallback* callback = nullptr);
    int Pause(void* panel, int view);
    int Resume(void* panel, int view);
    void Step(void* panel, int view);
    int SpeedUp(void* panel, int view, int* code);
    int SlowDown(void* panel, int view, int* code);
    int ResetSpeed(void* panel, int view);
    int GetSpeed(void* panel, int view, int* code) const;
    int SeekFile(void* panel, int view, CLumoFile* file);
    int SeekTime(void* panel, int view, CLumoTime* time);
    int GetState(void* panel, int view, int* state);
    int GetPlaybackTime(void* panel, int view, CLumoTime* time);
    int Snapshot(void* panel, int view, CLumoString target, int pictureFormat, CLumoString* savedPath);
    int SetDisplayScale(void* panel, int view, int mode, float scale);
    int AddFilesToView(void* panel, int view, const std::vector<CLumoFile*>* files);
    int DeleteFilesFromView(void* panel, int view, const std::vector<CLumoFile*>* files);
    int GetViewFile(void* panel, int view, CLumoFile** file);
    int SetViewFile(void* panel, int view, CLumoFile* file);
    int GetViewUrl(void* panel, int view, CLumoString* url);
    int SetViewUrl(void* panel, int view, CLumoString url);

    // ---- sound and modes
    void SetVolume(void* panel, unsigned short volume);
    void SetMute(void* panel, bool mute);
    unsigned short GetVolume() const { return m_volume; }
    bool GetMute() const { return m_mute; }
    int SetPlayMode(void* panel, unsigned kind, unsigned mode);
    unsigned GetListMode() const { return m_listMode; }

private:
    bool ViewInside(int view) const { return view >= 0 && unsigned(view) < m_viewCount; }
    int ListIndex(const char* name) const;
    // Ends the view's player (stop + close) and forgets it everywhere. GUI thread.
    void EndViewPlayer(int view);
    // Registers the player with the view (before it starts, so that its first event, a stream's
    // login result too, finds the view).
    void SetViewPlayer(int view, void* player);
    // After the open (its result given): attaches the callback and starts; a failure ends the
    // player at once and leaves the view empty.
    int StartViewPlayer(int view, void* player, int openResult, ILumoCallback* callback, LumoSignalMember handler);
    void ShowViewPlayer(int view, void* player);
    // The answer to a file open of the view (GUI thread).
    void OnFileOpened(int view, void* player, int result, const CLumoFile* file, const CLumoFileDesc& desc,
                      ILumoCallback* callback, LumoSignalMember handler, const PlayDone& done);
    // Clears the view's file, URL and player slot (the player itself already ended).
    void EmptyView(int view);
    int CurrentVolume() const { return m_mute ? 0 : m_volume; }
    void ApplySound();
    int ChangeSpeed(int view, int next, int* code);

    std::vector<std::unique_ptr<CLumoPlayFileList>> m_lists;  // GUI thread
    CLumoPlayFileList* m_current = nullptr;                     // GUI thread
    unsigned m_playKind = 1;
    unsigned m_listMode = 0;
    unsigned short m_volume = 50;
    bool m_mute = false;
    unsigned short m_openMask = 0;
    unsigned m_viewCount = 0;
    std::vector<int> m_speeds;  // GUI thread

    // Guards m_viewFiles and m_viewUrls: the main window's queued event slots and the GUI read
    // them, and any thread may.
    mutable CLumoMutex m_mutex;
    std::vector<CLumoFile*> m_viewFiles;    // guarded by m_mutex; borrowed from the play list
    std::vector<CLumoString> m_viewUrls;    // guarded by m_mutex

    // Owned (deleted by DestroyPanel unless its parent widget went first); GUI thread.
    QPointer<INFRA::VideoDisplayPanel> m_panel;
    // LumoPanel handle over m_panel: set and cleared on the GUI thread while no player runs; the
    // panel guards its own view table, so other threads may look players up through it.
    std::atomic<void*> m_panelHandle{nullptr};
    int m_selected = 0;                   // GUI thread
    void* m_players[MAX_VIEWS] = {};      // GUI thread; other threads ask the panel
    // GUI thread: each view's file open; its player joins the view only once opened.
    std::unique_ptr<lumocore::PlayerOpener> m_openers[MAX_VIEWS];
};
