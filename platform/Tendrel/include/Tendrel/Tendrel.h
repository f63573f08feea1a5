// Tendrel: the watchdog client. A process registers itself (executable path and process id)
// at start and unregisters at a regular exit; a registration left behind marks a process that
// ended without its exit sequence. Records live in "<runtime folder>/vantel-watchdog/<pid>.reg".
#pragma once

#include <cstdint>
#include <string>

class Tendrel {
public:
    Tendrel() = default;
    ~Tendrel() = default;
    Tendrel(const Tendrel&) = delete;
    Tendrel& operator=(const Tendrel&) = delete;

    // Writes the registration record; false when it cannot be written.
    bool Init(const std::string& path, int64_t pid);
    // Removes the record of that process; false when there was none.
    bool TearDown(int64_t pid);

    // The folder of the records: $XDG_RUNTIME_DIR/vantel-watchdog, else
    // <temporary folder>/vantel-watchdog-<uid>. It is used only as a private folder of this
    // user (VantelCore/privatefolder.h): a link or another user's folder there is refused.
    static std::string RecordFolder();
    static std::string RecordPath(int64_t pid);
};
