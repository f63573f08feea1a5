// The process-wide handle of the management engine and its running flag. The configuration page
// sets them on the GUI thread; the exit thread takes the handle. A released engine leaves no handle
// behind, so nothing can call the engine with it again.
#pragma once

namespace EngineHolder {

// The live handle, or null when no engine exists.
void* Handle();
void SetHandle(void* handle);
// Clears the handle and returns what it was (null when none): the caller stops and releases it.
void* Take();
bool IsRunning();
void SetRunning(bool running);

}  // namespace EngineHolder
