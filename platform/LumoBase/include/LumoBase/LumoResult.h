// Result codes of the media, record and engine layers: one table, so that a code means the same
// thing whichever layer returns it and whichever layer shows it. 0 is success, negative failure.
#pragma once

enum LumoResultCode {
    LUMO_OK = 0,
    LUMO_ERR_FAIL = -1,          // general failure
    LUMO_ERR_NOMORE = -3,        // a search has nothing more to hand out
    LUMO_ERR_PARAM = -4,         // null or bad argument, unknown handle, malformed address
    LUMO_ERR_STATE = -7,         // not possible in the current state (not open, not started)
    LUMO_ERR_BADPARAM = -9,      // search criteria that cannot be searched
    LUMO_ERR_NOTFOUND = -11,     // the file, folder or disk does not exist
    LUMO_ERR_EMPTY = -12,        // the file holds no data (zero bytes)
    LUMO_ERR_FORMAT = -13,       // not a media file we can read (wrong extension, garbage)
    LUMO_ERR_NOVIDEO = -14,      // no stream we can decode
    LUMO_ERR_TIMEOUT = -15,      // open, read or lock took longer than allowed
    LUMO_ERR_CONNECT = -16,      // the source refused or could not be reached
    LUMO_ERR_IO = -17,           // read error or truncated data
    LUMO_ERR_UNSUPPORTED = -18,  // a scheme or format this build cannot handle
    LUMO_ERR_WRITE = -19,        // the target could not be written
    LUMO_ERR_NOFRAME = -20,      // no decoded picture (yet), or none at all in the file
    LUMO_ERR_DISKFULL = -22,     // no room left on the target disk(s)
    LUMO_ERR_BIND = -23,         // a port could not be bound (in use, no permission)
    LUMO_ERR_REFUSED = -24,      // refused to protect data (e.g. formatting a foreign folder)
    LUMO_ERR_EXISTS = -25,       // already present (a list of that name, an entry of that address)
};

// A readable text for a result code (English, for logs and as a fallback for the operator).
const char* LumoResultText(int code);
