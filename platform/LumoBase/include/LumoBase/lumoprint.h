// Where LumoPrintf (LumoBase.h) writes: stderr, until a program installs its log
// (VantelCore/VantelLog.h), which takes each text as one whole line of the program's log.
#pragma once

#include <cstddef>

// Receives each LumoPrintf text, formatted and without its trailing line end; called from any
// thread at once. nullptr: back to stderr.
using LumoPrintSink = void (*)(const char* text, size_t size);
void LumoSetPrintSink(LumoPrintSink sink);
