// The program-wide settings signal: a settings page commits its page code on it after a save,
// and the record players listen for code 3 (display options) to re-apply their display scale.
#pragma once

#include "LumoBase/LumoBase.h"

// Code committed after the display (video) options were saved.
enum { APPSIGNAL_VIDEO_OPTIONS = 3 };

// Alive for the whole run of the program.
extern ILumoSignal AppSignal;

// Attach or detach an observer; both give ILumoSignal's result (0, or -1).
int AttachAppSignal(ILumoCallback* observer, LumoSignalMember member);
int DetachAppSignal(ILumoCallback* observer, LumoSignalMember member);
