// The play controller. Every view's player is registered with the LumoPanel handle made over the
// video panel, so that a player's events, the volume, the mute and the list mode reach the view
// that plays it; a player that cannot start is ended at once and leaves its view empty.
#include "player/playcontroler.h"

#include <cstring>

#include "LumoBase/LumoResult.h"
#include "LumoCore/LumoCore.h"
#include "LumoCore/playeropener.h"
#include "LumoPanel/LumoPanel.h"
#include "VantelInfraAPI/videodisplaypanel.h"

namespace {

bool IsRecordFile(const CLumoFile* f) {
    return f && (f->type == CLumoFile::TYPE_LOCAL || f->type == CLumoFile::TYPE_DISK);
}

}  // namespace

CPlayControler* CPlayControler::Instance() {
    static CPlayControler* instance = new CPlayControler();
    return instance;
}

CPlayControler::CPlayControler() {
    for (auto& opener : m_openers) opener = std::make_unique<lumocore::PlayerOpener>(this);
}

CPlayControler::~CPlayControler() {
    DestroyPanel();
}

// ---------------------------------------------------------------------------------------------
// Life cycle and panel

int CPlayControler::CoreInitialize() {
    return LumoCoreInitialize("CBBConfig.xml");
}

int CPlayControler::CoreInvalidate() {
    StopAllViews();
    return LumoCoreInvalidate();
}

int CPlayControler::CreatePanel(QWidget* parent, int rows, int columns, const QString& lostVideoLogo) {
    if (m_panel) return LUMO_ERR_STATE;
    InitViews(MAX_VIEWS);
    m_panel = new INFRA::VideoDisplayPanel(parent);
    connect(m_panel, &INFRA::VideoPanel::SignalGridSelected, this, &CPlayControler::OnGridSelected);
    m_panel->SetGridLayout(rows, columns, -1, -1);
    m_panel->SetCurrentGrid(0);
    m_panel->SetShowErrInfo(false);
    m_panel->SetVideoLostLogoJPG(QString());
    m_panel->SetVideoLostLogoPNG(lostVideoLogo);
    // Full screen is the main window's button and Escape only.
    m_panel->m_bDoubleClickFullScreen = false;
    void* handle = nullptr;
    if (LumoPanelCreate(&handle, m_panel) == LUMO_OK) {
        m_panelHandle = handle;
        LumoPanelSetSelectView(handle, m_selected);
        for (unsigned v = 0; v < m_viewCount; ++v) LumoPanelSetFilePlayMode(handle, int(v), int(m_listMode));
    }
    return LUMO_OK;
}

void CPlayControler::InitViews(unsigned count) {
    if (count > MAX_VIEWS) count = MAX_VIEWS;
    m_viewCount = count;
    m_speeds.assign(count, LUMO_SPEED_NORMAL);
    CLumoGuard guard(m_mutex);
    m_viewFiles.assign(count, nullptr);
    m_viewUrls.assign(count, CLumoString());
}

void CPlayControler::OnGridSelected(int index) {
    m_selected = index;
    LumoPanelSetSelectView(m_panelHandle.load(), index);
}

int CPlayControler::GetSelectedView(void*) const {
    return m_selected;
}

int CPlayControler::SetLayout(int rows, int columns) {
    if (!m_panel) return LUMO_ERR_STATE;
    return m_panel->SetGridLayout(rows, columns, -1, -1);
}

void CPlayControler::SetFullScreen(void*, bool on) {
    if (!m_panel) return;
    if (on)
        m_panel->FullScreen(nullptr);
    else
        m_panel->ExitFullScreen();
}

int CPlayControler::DestroyPanel() {
    StopAllViews();
    if (void* handle = m_panelHandle.exchange(nullptr)) LumoPanelDestroy(handle);
    delete m_panel;
    m_panel = nullptr;
    return LUMO_OK;
}

int CPlayControler::SetPanelSize(void* panel, int width, int height) {
    return LumoPanelSetSize(panel, width, height);
}

int CPlayControler::GetPanelViewPlayer(void* panel, int view, void** player) {
    return LumoPanelViewGetPlayer(panel, view, player);
}

void* CPlayControler::GetPlayer(int view) const {
    return view >= 0 && view < MAX_VIEWS ? m_players[view] : nullptr;
}

int CPlayControler::GetViewOfPlayer(void* player) const {
    return LumoPanelFindView(m_panelHandle.load(), player);
}

void CPlayControler::SetViewPlayer(int view, void* player) {
    m_players[view] = player;
    LumoPanelViewSetPlayer(m_panelHandle.load(), view, player);
}

bool CPlayControler::IsOpening(int view) const {
    return view >= 0 && view < MAX_VIEWS && m_openers[view]->Pending();
}

void CPlayControler::EndViewPlayer(int view) {
    m_openers[view]->Cancel();  // an open under way: the opener closes its player
    void* player = m_players[view];
    if (!player) return;
    // Stopped before it leaves the panel: every event it sent until then finds its view.
    LumoPlayerStop(player);
    LumoPlayerClose(player);
    SetViewPlayer(view, nullptr);
    m_openMask &= static_cast<unsigned short>(~(1u << view));
}

void CPlayControler::EmptyView(int view) {
    if (!ViewInside(view)) return;
    CLumoGuard guard(m_mutex);
    m_viewFiles[size_t(view)] = nullptr;
    m_viewUrls[size_t(view)].Empty();
}

int CPlayControler::StopAllViews() {
    for (int v = 0; v < MAX_VIEWS; ++v) {
        const bool had = m_players[v] != nullptr;
        EndViewPlayer(v);
        EmptyView(v);
        if (ViewInside(v)) m_speeds[size_t(v)] = LUMO_SPEED_NORMAL;
        if (had && m_panel) {
            if (INFRA::VideoGrid* grid = m_panel->GetIndexGrid(v)) {
                grid->DelegatePainting(nullptr);
                grid->StopVideo();
            }
        }
    }
    return LUMO_OK;
}

// ---------------------------------------------------------------------------------------------
// Play lists

int CPlayControler::ListIndex(const char* name) const {
    if (!name) return -1;
    for (size_t i = 0; i < m_lists.size(); ++i)
        if (m_lists[i]->GetName() == name) return int(i);
    return -1;
}

int CPlayControler::CreatePlayList(const char* name, unsigned blockSize) {
    if (!name) return LUMO_ERR_PARAM;
    if (!m_lists.empty()) return LUMO_ERR_EXISTS;  // one list at most
    m_lists.push_back(std::make_unique<CLumoPlayFileList>(name, blockSize, false));
    return LUMO_OK;
}

int CPlayControler::SelectPlayList(const char* name) {
    CLumoPlayFileList* list = FindPlayList(name);
    if (!list) return LUMO_ERR_NOTFOUND;
    m_current = list;
    return LUMO_OK;
}

CLumoPlayFileList* CPlayControler::FindPlayList(const char* name) const {
    const int i = ListIndex(name);
    return i < 0 ? nullptr : m_lists[size_t(i)].get();
}

int CPlayControler::ListPlayListNames(std::vector<std::string>* names) const {
    if (names && !m_lists.empty()) names->push_back(m_lists.front()->GetName());
    return LUMO_OK;
}

int CPlayControler::AddFileDesc(const char* name, CLumoFileDesc* desc, CLumoFile** added) {
    if (added) *added = nullptr;
    CLumoPlayFileList* list = FindPlayList(name);
    if (!list) return LUMO_ERR_NOTFOUND;
    if (!desc) return LUMO_ERR_PARAM;
    if (list->Find(desc->GetURI())) return LUMO_ERR_EXISTS;
    CLumoFile* file = nullptr;
    if (list->AddFromDesc(desc, &file) != 0) return LUMO_ERR_FAIL;
    if (added) *added = file;
    return LUMO_OK;
}

int CPlayControler::AddFileDescs(const char* name, CLumoFileDescList* descs, std::vector<CLumoFile*>* added) {
    if (!descs) return LUMO_ERR_PARAM;
    CLumoPlayFileList* list = FindPlayList(name);
    if (!list) return LUMO_ERR_NOTFOUND;
    return list->AddFromDescList(descs, added);
}

int CPlayControler::AddPlayListFiles(const char* name, CLumoPlayFileList* source, std::vector<CLumoFile*>* added) {
    if (!source) return LUMO_ERR_PARAM;
    CLumoPlayFileList* list = FindPlayList(name);
    if (!list) return LUMO_ERR_NOTFOUND;
    return list->AddFromList(source, added);
}

int CPlayControler::ClearPlayList(const char* name) {
    CLumoPlayFileList* list = FindPlayList(name);
    if (!list) return LUMO_ERR_NOTFOUND;
    {
        // No view may keep a file that is about to be freed.
        CLumoGuard guard(m_mutex);
        for (CLumoFile*& f : m_viewFiles)
            if (f && f->GetList() == list) f = nullptr;
    }
    list->RemoveAll();
    return LUMO_OK;
}

int CPlayControler::RemoveFile(const char* name, CLumoFile* file) {
    CLumoPlayFileList* list = FindPlayList(name);
    if (!list) return LUMO_ERR_NOTFOUND;
    if (!file) return LUMO_OK;
    if (file->GetList() != list) return LUMO_ERR_FAIL;
    {
        CLumoGuard guard(m_mutex);
        for (CLumoFile*& f : m_viewFiles)
            if (f == file) f = nullptr;
    }
    // Handed back to the caller, who owns it from now on.
    list->Remove(file).release();
    return LUMO_OK;
}

int CPlayControler::FindFile(const char* name, const char* url, CLumoFile** found) {
    if (found) *found = nullptr;
    CLumoPlayFileList* list = FindPlayList(name);
    if (!list || !url) return LUMO_ERR_NOTFOUND;
    CLumoFile* f = list->FindAddress(url);
    if (found) *found = f;
    return f ? LUMO_OK : LUMO_ERR_NOTFOUND;
}

// ---------------------------------------------------------------------------------------------
// Views

int CPlayControler::PlayFile(void*, int view, CLumoFile* file, ILumoCallback* callback, LumoSignalMember handler,
                             PlayDone done) {
    if (!file || view < 0 || view >= MAX_VIEWS) return LUMO_ERR_PARAM;
    if (!m_current) return LUMO_ERR_FAIL;
    if (!m_panel) return LUMO_ERR_STATE;

    CLumoFileDescList list(1);
    for (int i = 0; i < m_current->GetCount(); ++i) {
        const CLumoFile* f = m_current->GetAt(i);
        if (!IsRecordFile(f)) continue;
        auto* d = new CLumoFileDesc();
        f->ToDesc(d);
        list.Append(d);
    }
    EndViewPlayer(view);
    if (list.IsEmpty()) {  // no record file to open
        EmptyView(view);
        return LUMO_ERR_PARAM;
    }

    // The task carries the view's speed into the new player; the player keeps its share of it.
    void* task = nullptr;
    LumoPlayerTaskCreate(&task, 16);
    if (ViewInside(view)) LumoPlayerTaskSetSpeed(task, m_speeds[size_t(view)]);
    m_panel->CreatePlayerWnd(view);
    void* player = nullptr;
    const int r = LumoPlayerCreate(&player, m_panel->GetPlayerWnd(view), task);
    LumoPlayerTaskDelete(task);
    if (r != LUMO_OK) {
        EmptyView(view);
        return r;
    }
    // The view names its file from now on: a removal of the file from the list clears it, and
    // the answer then finds the file gone.
    SetViewFile(nullptr, view, file);
    SetViewUrl(nullptr, view, CLumoString(file->url));
    CLumoFileDesc desc;
    file->ToDesc(&desc);
    m_openers[view]->Open(player, list,
                          [this, view, file, desc, callback, handler, done](void* opened, int result) {
                              OnFileOpened(view, opened, result, file, desc, callback, handler, done);
                          });
    return LUMO_OK;
}

void CPlayControler::OnFileOpened(int view, void* player, int result, const CLumoFile* file,
                                  const CLumoFileDesc& desc, ILumoCallback* callback, LumoSignalMember handler,
                                  const PlayDone& done) {
    CLumoFile* now = nullptr;
    GetViewFile(nullptr, view, &now);
    if (result == LUMO_OK && now != file) result = LUMO_ERR_NOTFOUND;  // left the list meanwhile
    SetViewPlayer(view, player);
    int r = StartViewPlayer(view, player, result, callback, handler);
    if (r == LUMO_OK) {
        r = LumoPlayerSeekFile(player, &desc);
        ShowViewPlayer(view, player);
    }
    if (done) done(r);
}

int CPlayControler::StartViewPlayer(int view, void* player, int openResult, ILumoCallback* callback,
                                    LumoSignalMember handler) {
    int r = openResult;
    if (r == LUMO_OK) r = LumoPlayerAttachStream(player, callback, handler);
    if (r == LUMO_OK) r = LumoPlayerStart(player);
    if (r != LUMO_OK) {
        EndViewPlayer(view);
        EmptyView(view);
        return r;
    }
    if (LumoPlayerListen(player, 1) == LUMO_OK) {
        m_openMask |= static_cast<unsigned short>(1u << view);
        LumoPanelSetVolume(m_panelHandle.load(), view, CurrentVolume());
    }
    return LUMO_OK;
}

void CPlayControler::ShowViewPlayer(int view, void* player) {
    if (INFRA::VideoGrid* grid = m_panel->GetIndexGrid(view)) {
        grid->SetStop(false);
        grid->DelegatePainting(player);
    }
}

int CPlayControler::PlayUrl(void*, int view, CLumoFile* entry, ILumoCallback* callback, LumoSignalMember handler) {
    if (!entry || view < 0 || view >= MAX_VIEWS) return LUMO_ERR_PARAM;
    if (!m_panel) return LUMO_ERR_STATE;
    if (ViewInside(view)) m_speeds[size_t(view)] = LUMO_SPEED_NORMAL;
    EndViewPlayer(view);

    m_panel->CreatePlayerWnd(view);
    void* player = nullptr;
    int r = LumoPlayerCreate(&player, m_panel->GetPlayerWnd(view), nullptr);
    if (r != LUMO_OK) {
        EmptyView(view);
        return r;
    }
    SetViewPlayer(view, player);
    r = StartViewPlayer(view, player, LumoPlayerOpen(player, entry->url.c_str(), 0), callback, handler);
    if (r != LUMO_OK) return r;
    if (ViewInside(view)) {
        CLumoGuard guard(m_mutex);
        m_viewFiles[size_t(view)] = entry;
    }
    SetViewUrl(nullptr, view, CLumoString(entry->url));
    ShowViewPlayer(view, player);
    return LUMO_OK;
}

int CPlayControler::StopView(void*, int view, ILumoCallback*) {
    if (ViewInside(view)) m_speeds[size_t(view)] = LUMO_SPEED_NORMAL;
    EmptyView(view);
    INFRA::VideoGrid* grid = m_panel ? m_panel->GetIndexGrid(view) : nullptr;
    if (!grid) return LUMO_ERR_FAIL;
    m_openers[view]->Cancel();  // an open under way: the opener closes its player
    void* player = m_players[view];
    grid->DelegatePainting(nullptr);
    // The grid ends the player (stop and close); it leaves the panel only then.
    grid->OnStopPlay(player);
    if (player) {
        SetViewPlayer(view, nullptr);
        m_openMask &= static_cast<unsigned short>(~(1u << view));
    }
    return LUMO_OK;
}

int CPlayControler::Pause(void*, int view) {
    return LumoPlayerPause(GetPlayer(view));
}

int CPlayControler::Resume(void*, int view) {
    return LumoPlayerResume(GetPlayer(view));
}

void CPlayControler::Step(void*, int view) {
    LumoPlayerStep(GetPlayer(view));
}

int CPlayControler::ChangeSpeed(int view, int next, int* code) {
    if (next > LUMO_SPEED_FASTEST || next < LUMO_SPEED_SLOWEST) return LUMO_ERR_FAIL;
    m_speeds[size_t(view)] = next;
    if (code) *code = next;
    LumoPlayerSetSpeed(GetPlayer(view), next);
    return LUMO_OK;
}

int CPlayControler::SpeedUp(void*, int view, int* code) {
    if (!ViewInside(view)) return LUMO_ERR_PARAM;
    const int c = m_speeds[size_t(view)];
    return ChangeSpeed(view, c > 0 ? c * 2 : c == -2 ? LUMO_SPEED_NORMAL : c / 2, code);
}

int CPlayControler::SlowDown(void*, int view, int* code) {
    if (!ViewInside(view)) return LUMO_ERR_PARAM;
    const int c = m_speeds[size_t(view)];
    return ChangeSpeed(view, c <= 0 ? c * 2 : c == LUMO_SPEED_NORMAL ? -2 : c / 2, code);
}

int CPlayControler::ResetSpeed(void*, int view) {
    if (ViewInside(view)) m_speeds[size_t(view)] = LUMO_SPEED_NORMAL;
    return LumoPlayerSetSpeed(GetPlayer(view), LUMO_SPEED_NORMAL);
}

int CPlayControler::GetSpeed(void*, int view, int* code) const {
    if (!ViewInside(view)) return LUMO_ERR_PARAM;
    if (code) *code = m_speeds[size_t(view)];
    return LUMO_OK;
}

int CPlayControler::SeekFile(void*, int view, CLumoFile* file) {
    if (!file) return LUMO_ERR_FAIL;
    CLumoFileDesc desc;
    file->ToDesc(&desc);
    return LumoPlayerSeekFile(GetPlayer(view), &desc);
}

int CPlayControler::SeekTime(void*, int view, CLumoTime* time) {
    return LumoPlayerSeekTime(GetPlayer(view), time);
}

int CPlayControler::GetState(void*, int view, int* state) {
    return LumoPlayerGetState(GetPlayer(view), state);
}

int CPlayControler::GetPlaybackTime(void*, int view, CLumoTime* time) {
    return LumoPlayerGetPlaybackTime(GetPlayer(view), time);
}

int CPlayControler::Snapshot(void*, int view, CLumoString target, int pictureFormat, CLumoString* savedPath) {
    return LumoPlayerSnapshot(GetPlayer(view), 0, target, savedPath, pictureFormat);
}

int CPlayControler::SetDisplayScale(void*, int view, int mode, float scale) {
    return LumoPlayerSetDisplayScale(GetPlayer(view), mode, scale);
}

namespace {

// Descriptors of the record files among `files` (address, size and times only).
void DescsOf(const std::vector<CLumoFile*>& files, CLumoFileDescList* list) {
    for (const CLumoFile* f : files) {
        if (!IsRecordFile(f)) continue;
        auto* d = new CLumoFileDesc();
        d->SetURI(f->url.c_str());
        d->SetSize(f->length);
        d->SetTimeS(f->timeS);
        d->SetTimeE(f->timeE);
        list->Append(d);
    }
}

}  // namespace

int CPlayControler::AddFilesToView(void* panel, int view, const std::vector<CLumoFile*>* files) {
    if (!panel) return LUMO_ERR_FAIL;
    if (!files || files->empty()) return LUMO_OK;
    // A file without its times is one whose probe on the intake's worker failed: the running view
    // does not take it, since the player would probe it again on this (the GUI) thread. Played by
    // itself, it is opened off this thread and tells why it fails.
    std::vector<CLumoFile*> timed;
    for (CLumoFile* f : *files)
        if (f && !f->timeS.IsEmpty() && !f->timeE.IsEmpty()) timed.push_back(f);
    if (timed.empty()) return LUMO_OK;
    CLumoFileDescList list(1);
    DescsOf(timed, &list);
    void* player = nullptr;
    LumoPanelViewGetPlayer(panel, view, &player);
    return LumoPlayerAddFile(player, &list);
}

int CPlayControler::DeleteFilesFromView(void* panel, int view, const std::vector<CLumoFile*>* files) {
    if (!files || files->empty()) return LUMO_OK;
    // A file without its times is one whose probe on the intake's worker failed: the running view
    // does not take it, since the player would probe it again on this (the GUI) thread. Played by
    // itself, it is opened off this thread and tells why it fails.
    std::vector<CLumoFile*> timed;
    for (CLumoFile* f : *files)
        if (f && !f->timeS.IsEmpty() && !f->timeE.IsEmpty()) timed.push_back(f);
    if (timed.empty()) return LUMO_OK;
    CLumoFileDescList list(1);
    DescsOf(timed, &list);
    void* player = nullptr;
    if (panel)
        LumoPanelViewGetPlayer(panel, view, &player);
    else
        player = GetPlayer(view);
    return LumoPlayerDeleteFile(player, &list);
}

int CPlayControler::GetViewFile(void*, int view, CLumoFile** file) {
    if (!ViewInside(view)) return LUMO_ERR_PARAM;
    CLumoGuard guard(m_mutex);
    if (file) *file = m_viewFiles[size_t(view)];
    return LUMO_OK;
}

int CPlayControler::SetViewFile(void*, int view, CLumoFile* file) {
    if (!ViewInside(view)) return LUMO_ERR_PARAM;
    CLumoGuard guard(m_mutex);
    m_viewFiles[size_t(view)] = file;
    return LUMO_OK;
}

int CPlayControler::GetViewUrl(void*, int view, CLumoString* url) {
    if (!ViewInside(view)) return LUMO_ERR_PARAM;
    CLumoGuard guard(m_mutex);
    if (url) *url = m_viewUrls[size_t(view)];
    return LUMO_OK;
}

int CPlayControler::SetViewUrl(void*, int view, CLumoString url) {
    if (!ViewInside(view)) return LUMO_ERR_PARAM;
    CLumoGuard guard(m_mutex);
    m_viewUrls[size_t(view)] = std::move(url);
    return LUMO_OK;
}

// ---------------------------------------------------------------------------------------------
// Sound and modes

void CPlayControler::ApplySound() {
    void* panel = m_panelHandle.load();
    const int v = LumoPanelGetSelectView(panel);
    if (v >= 0) LumoPanelSetVolume(panel, v, CurrentVolume());
}

void CPlayControler::SetVolume(void*, unsigned short volume) {
    m_volume = volume;
    m_mute = false;
    ApplySound();
}

void CPlayControler::SetMute(void*, bool mute) {
    m_mute = mute;
    ApplySound();
}

int CPlayControler::SetPlayMode(void*, unsigned kind, unsigned mode) {
    if (mode > LUMO_PLAYMODE_LIST_LOOP) return LUMO_ERR_PARAM;
    m_playKind = kind;
    m_listMode = mode;
    void* panel = m_panelHandle.load();
    for (unsigned v = 0; v < m_viewCount; ++v) LumoPanelSetFilePlayMode(panel, int(v), int(mode));
    return LUMO_OK;
}
