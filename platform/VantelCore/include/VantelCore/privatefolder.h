// Private folders of the user: the one place the suite makes and checks a folder that only this
// user may use (the single-instance guard and stop channels, the watchdog records), and opens
// files in it. A folder in a place others can write (/tmp) may have been planted: a link to
// elsewhere, or a folder of another user. Such a folder is refused, never written into.
#pragma once

#include <string>
#include <sys/types.h>

// Makes `path` a private folder of this user (mkdir mode 0700), or checks the one there: a real
// folder (not a symbolic link) owned by this user, with no access for others (a looser mode of
// our own folder is tightened to 0700). The checks and the tightening are made on the opened
// folder, so a folder swapped in between cannot slip through. False, with *error (English: the
// path and why), when it is missing and cannot be made, or is not ours.
bool VantelPreparePrivateFolder(const std::string& path, std::string* error = nullptr);

// Creates a new file in a private folder for writing: O_CREAT | O_EXCL | O_NOFOLLOW, so a name
// planted there (a link, a file) is never opened. Returns the descriptor (close-on-exec), or -1
// with errno set.
int VantelCreatePrivateFile(const std::string& path, mode_t mode = 0600);

// Opens (creating when missing) a file in a private folder that is opened again by later runs,
// such as a lock file: never through a link (O_NOFOLLOW), and only a regular file owned by this
// user. flags: O_RDONLY, O_WRONLY or O_RDWR, with O_CREAT and others as needed. Returns the
// descriptor (close-on-exec), or -1 with errno set (EPERM for a file of someone else).
int VantelOpenPrivateFile(const std::string& path, int flags, mode_t mode = 0600);
