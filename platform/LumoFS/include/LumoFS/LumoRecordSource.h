// The registry through which a recording engine in this process offers its records to the media
// layer (search, playback, probe): the media layer asks the registry, never the engine itself,
// so a program without the engine (the stand-alone player) builds and runs without it.
#pragma once

#include <cstdint>

#include "LumoBase/LumoBase.h"
#include "LumoFS/LumoFS.h"

struct LumoFSRecordSource {
    // Appends up to max descriptors matching param, continuing after *cursor (start with 0);
    // the number appended, 0 at the end, or a negative result code.
    int (*search)(const ILumoFSSearchParam* param, uint64_t* cursor, CLumoFileDescList* out, int max);
    // The local path of a "lumofs://local/disk=...&path=...&filename=..." record; 0 or a
    // negative result code.
    int (*resolve)(const char* uri, CLumoString* path);
};

// Registers the source (copied); null withdraws it. Safe from any thread.
void LumoFSSetRecordSource(const LumoFSRecordSource* source);
// Through the registered source; LUMO_ERR_STATE when none is registered.
int LumoFSSearchRecords(const ILumoFSSearchParam* param, uint64_t* cursor, CLumoFileDescList* out, int max);
int LumoFSResolveRecord(const char* uri, CLumoString* path);
