// The player's access to recorder disks: listing the disks the machine can reach and searching
// one of them for record files. It keeps no results; the caller gives the list to fill. Both
// calls only read files and are safe from a worker thread.
#pragma once

#include "LumoBase/LumoBase.h"
#include "LumoCore/LumoCore.h"

class CDiskManager : public CLumoObject {
public:
    // The manager in use, made on first use and never deleted (or the one a test put in place).
    static CDiskManager* Instance();
    // Test seam: puts another manager in place (null: the real one again); returns the previous.
    static CDiskManager* Replace(CDiskManager* manager);

    // Appends the names of the recorder disks to disks (url: "lumofs://local/"); LumoCore's result.
    virtual int SearchDisks(const char* url, CLumoList* disks);
    // Searches one disk (a name from SearchDisks) into found; LumoMediaSearch's result.
    virtual int SearchMedia(const char* disk, ILumoFSSearchParam* param, CLumoFileDescList* found, unsigned flag);

protected:
    CDiskManager() = default;
};
