// The panel table: one entry per handle, each with its own lock over its views. Players are
// called only after that lock is let go, so an event thread asking for a view never waits on a
// player, and a player never waits on the table.
#include "LumoPanel/LumoPanel.h"

#include <QPointer>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/videodisplaypanel.h"

namespace {

struct View {
    void* player = nullptr;
    int volume = -1;  // -1: not set
    int mode = -1;    // -1: not set
};

struct Panel {
    QPointer<INFRA::VideoDisplayPanel> display;  // GUI thread only
    std::mutex m;
    View views[LUMO_PANEL_VIEWS];  // guarded by m
    int selected = 0;              // guarded by m
};

// Handles are serial numbers, never reused, so a destroyed handle stays dead.
struct Registry {
    std::mutex m;
    std::map<uintptr_t, std::shared_ptr<Panel>> panels;  // guarded by m
    uintptr_t next = 1;                                   // guarded by m
};

Registry& Panels() {
    static Registry r;
    return r;
}

std::shared_ptr<Panel> Find(void* h) {
    if (!h) return nullptr;
    Registry& r = Panels();
    std::lock_guard<std::mutex> lock(r.m);
    auto it = r.panels.find(reinterpret_cast<uintptr_t>(h));
    return it == r.panels.end() ? nullptr : it->second;
}

bool ViewOk(int view) {
    return view >= 0 && view < LUMO_PANEL_VIEWS;
}

void Apply(void* player, int volume, int mode) {
    if (!player) return;
    if (volume >= 0) LumoPlayerSetVolume(player, volume);
    if (mode >= 0) LumoPlayerSetPlayMode(player, mode);
}

// A cell told to stop its player (VideoGrid::OnStopPlay) ends it through the media library.
void EndPlayer(void* player) {
    LumoPlayerStop(player);
    LumoPlayerClose(player);
}

}  // namespace

int LumoPanelCreate(void** panel, INFRA::VideoDisplayPanel* display) {
    if (!panel || !display) return LUMO_ERR_PARAM;
    // This layer joins the panel to the media library: the library itself knows no widget.
    static std::once_flag hookOnce;
    std::call_once(hookOnce, [] { INFRA::VideoGrid::SetPlayerEndHook(&EndPlayer); });
    auto p = std::make_shared<Panel>();
    p->display = display;
    p->selected = display->GetCurrentGrid();
    uintptr_t id;
    {
        Registry& r = Panels();
        std::lock_guard<std::mutex> lock(r.m);
        id = r.next++;
        r.panels[id] = p;
    }
    void* h = reinterpret_cast<void*>(id);
    // The selection follows the display; a destroyed panel ignores it.
    QObject::connect(display, &INFRA::VideoPanel::SignalGridSelected, display,
                     [h](int index) { LumoPanelSetSelectView(h, index); });
    *panel = h;
    return LUMO_OK;
}

int LumoPanelDestroy(void* panel) {
    if (!panel) return LUMO_ERR_PARAM;
    Registry& r = Panels();
    std::lock_guard<std::mutex> lock(r.m);
    return r.panels.erase(reinterpret_cast<uintptr_t>(panel)) ? LUMO_OK : LUMO_ERR_PARAM;
}

int LumoPanelSetSize(void* panel, int width, int height) {
    auto p = Find(panel);
    if (!p || width < 0 || height < 0) return LUMO_ERR_PARAM;
    if (!p->display) return LUMO_ERR_STATE;
    p->display->resize(width, height);
    return LUMO_OK;
}

int LumoPanelViewSetPlayer(void* panel, int view, void* player) {
    auto p = Find(panel);
    if (!p || !ViewOk(view)) return LUMO_ERR_PARAM;
    int volume, mode;
    {
        std::lock_guard<std::mutex> lock(p->m);
        p->views[view].player = player;
        volume = p->views[view].volume;
        mode = p->views[view].mode;
    }
    Apply(player, volume, mode);
    return LUMO_OK;
}

int LumoPanelViewGetPlayer(void* panel, int view, void** player) {
    if (player) *player = nullptr;
    auto p = Find(panel);
    if (!p || !ViewOk(view) || !player) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    *player = p->views[view].player;
    return LUMO_OK;
}

int LumoPanelFindView(void* panel, void* player) {
    auto p = Find(panel);
    if (!p || !player) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    for (int v = 0; v < LUMO_PANEL_VIEWS; ++v)
        if (p->views[v].player == player) return v;
    return LUMO_ERR_NOTFOUND;
}

int LumoPanelGetSelectView(void* panel) {
    auto p = Find(panel);
    if (!p) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    return p->selected;
}

int LumoPanelSetSelectView(void* panel, int view) {
    auto p = Find(panel);
    if (!p || !ViewOk(view)) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    p->selected = view;
    return LUMO_OK;
}

int LumoPanelSetVolume(void* panel, int view, int volume) {
    auto p = Find(panel);
    if (!p || !ViewOk(view)) return LUMO_ERR_PARAM;
    volume = volume < 0 ? 0 : volume > 100 ? 100 : volume;
    void* player;
    {
        std::lock_guard<std::mutex> lock(p->m);
        p->views[view].volume = volume;
        player = p->views[view].player;
    }
    Apply(player, volume, -1);
    return LUMO_OK;
}

int LumoPanelGetVolume(void* panel, int view, int* volume) {
    auto p = Find(panel);
    if (!p || !ViewOk(view) || !volume) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (p->views[view].volume < 0) return LUMO_ERR_STATE;
    *volume = p->views[view].volume;
    return LUMO_OK;
}

int LumoPanelSetFilePlayMode(void* panel, int view, int mode) {
    auto p = Find(panel);
    if (!p || !ViewOk(view) || mode < LUMO_PLAYMODE_SINGLE || mode > LUMO_PLAYMODE_LIST_LOOP) return LUMO_ERR_PARAM;
    void* player;
    {
        std::lock_guard<std::mutex> lock(p->m);
        p->views[view].mode = mode;
        player = p->views[view].player;
    }
    Apply(player, -1, mode);
    return LUMO_OK;
}

int LumoPanelGetFilePlayMode(void* panel, int view, int* mode) {
    auto p = Find(panel);
    if (!p || !ViewOk(view) || !mode) return LUMO_ERR_PARAM;
    std::lock_guard<std::mutex> lock(p->m);
    if (p->views[view].mode < 0) return LUMO_ERR_STATE;
    *mode = p->views[view].mode;
    return LUMO_OK;
}
