// LumoPanel: the player table of a multi-view video panel. It knows which player plays in
// which view of an INFRA::VideoDisplayPanel, which view is selected, and each view's volume and
// file play mode; a volume or a play mode set on a view reaches the view's player at once, and
// the player registered there later.
//
// Handles are opaque. Every call fails harmlessly on a null or destroyed handle
// (LUMO_ERR_PARAM) or a view outside 0..LUMO_PANEL_VIEWS-1 (LUMO_ERR_PARAM). Results are the
// codes of LumoBase/LumoResult.h.
//
// Threads: LumoPanelCreate, LumoPanelDestroy and LumoPanelSetSize belong to the display's (GUI)
// thread. Every other call may come from any thread, the players' event threads included: the
// view table is guarded by the panel's own lock, never held while a player is called.
#pragma once

#include "LumoBase/LumoResult.h"

namespace INFRA {
class VideoDisplayPanel;
}

enum { LUMO_PANEL_VIEWS = 16 };

// A panel over `display` (not owned; it may be deleted before the panel: the size call then fails).
// The selected view follows the display's grid selection. The first panel made installs the
// display's player end hook (INFRA::VideoGrid::SetPlayerEndHook): a cell's OnStopPlay stops and
// closes the player through the media library.
int LumoPanelCreate(void** panel, INFRA::VideoDisplayPanel* display);
// Forgets the panel; its handle value is never handed out again.
int LumoPanelDestroy(void* panel);

// Resizes the display widget.
int LumoPanelSetSize(void* panel, int width, int height);

// Registers the player of a view (null: the view has none). The view's volume and play mode,
// when set, are applied to the new player.
int LumoPanelViewSetPlayer(void* panel, int view, void* player);
// The view's player (null when none).
int LumoPanelViewGetPlayer(void* panel, int view, void** player);
// The view whose player is `player`, or a negative code (LUMO_ERR_NOTFOUND when none plays it).
int LumoPanelFindView(void* panel, void* player);

// The selected view (0 at first), or a negative code.
int LumoPanelGetSelectView(void* panel);
int LumoPanelSetSelectView(void* panel, int view);

// Volume 0..100 of a view (more is taken as 100, less as 0); applied at once to its player.
int LumoPanelSetVolume(void* panel, int view, int volume);
// The view's volume, or LUMO_ERR_STATE when none was set.
int LumoPanelGetVolume(void* panel, int view, int* volume);

// File play mode of a view (LUMO_PLAYMODE_* of LumoCore: 0 single, 1 single loop, 2 list,
// 3 list loop; anything else is LUMO_ERR_PARAM); applied at once to its player.
int LumoPanelSetFilePlayMode(void* panel, int view, int mode);
// The view's play mode, or LUMO_ERR_STATE when none was set.
int LumoPanelGetFilePlayMode(void* panel, int view, int* mode);
