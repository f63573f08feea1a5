// File system helpers that never follow a symbolic link and never leave the folder they are given.
#pragma once

#include <string>

namespace kesto {

// Removes `name` inside the open directory `parentFd` (whose path is `parentPath`, for messages):
// a file or a link is unlinked (a link's target is never touched), a directory is emptied
// depth-first and removed. A mount point inside (another file system, or a bind mount of the same
// one: told apart by mount IDs, not by device numbers) is neither entered nor removed. Returns 0,
// or -1 when something could not be removed; *error then names the first failure as
// "<full path>: <the system's reason>", or "<full path>: a mount point ...".
int RemoveEntryAt(int parentFd, const std::string& parentPath, const std::string& name, std::string* error);

// Writes `data` to `path` whole or not at all (LumoSaveFileAtomic: a temporary file beside it,
// synced, checked and renamed into place; the old file kept on failure). 0, or -1 with *error
// saying why ("the disk is full: <path>" for a full disk).
int WriteFileDurably(const std::string& path, const std::string& data, std::string* error);

// Copies `source` to `target` (a new file), syncs it; 0 or -1 (a partial target is removed).
int CopyFileDurably(const std::string& source, const std::string& target, std::string* error);

// Syncs a directory so that renames and removals inside it are on the disk.
int SyncDirectory(const std::string& path);

}  // namespace kesto
