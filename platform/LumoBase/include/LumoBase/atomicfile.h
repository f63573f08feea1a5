// Whole-file saves that either replace the file with every byte written and synced, or leave
// the old file (or none) in place and say why. Every small file the suite saves (settings,
// lists, keys, certificates, event pictures, exports) goes through here: a save never reports
// success for a file it did not fully write, and a full disk is named as such.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

struct LumoSaveResult {
    int code = 0;        // 0, LUMO_ERR_DISKFULL (no space or quota), or LUMO_ERR_WRITE
    int sysError = 0;    // errno of the step that failed, 0 on success
    std::string message; // English, for logs and as the operator's text: "the disk is full: <path>"
    bool ok() const { return code == 0; }
};

// Writes data to a new file beside path (same folder, so the rename is atomic), checks every
// write, flushes it to the disk (fsync), checks the size on disk, then renames it over path and
// syncs the folder. On any failure the temporary file is removed and path is untouched.
// mode: the permission bits of the new file (0600 for secrets); the umask does not widen them.
LumoSaveResult LumoSaveFileAtomic(const std::string& path, const void* data, size_t size,
                                  mode_t mode = 0644);

// Same, for a file produced by a writer that needs a path of its own (a library that writes
// the file itself): write(tempPath) makes the file, returning false on failure; it is then
// synced, checked to be non-empty (unless allowEmpty) and renamed over path.
template <typename Writer>
LumoSaveResult LumoSaveFileAtomicVia(const std::string& path, Writer&& write, mode_t mode = 0644,
                                     bool allowEmpty = false);

namespace lumobase_detail {
// The temporary name used beside path, and the commit/cleanup steps of LumoSaveFileAtomicVia.
std::string TempPathBeside(const std::string& path);
LumoSaveResult CommitTemp(const std::string& temp, const std::string& path, mode_t mode, bool allowEmpty);
LumoSaveResult WriterFailed(const std::string& temp, const std::string& path);
}  // namespace lumobase_detail

template <typename Writer>
LumoSaveResult LumoSaveFileAtomicVia(const std::string& path, Writer&& write, mode_t mode, bool allowEmpty) {
    const std::string temp = lumobase_detail::TempPathBeside(path);
    if (!write(temp)) return lumobase_detail::WriterFailed(temp, path);
    return lumobase_detail::CommitTemp(temp, path, mode, allowEmpty);
}
