// LumoSEvent: the event engine. Devices connect over WebSocket, register by name and type, and
// send events (with an optional JPEG picture); events go into one SQLite file, pictures into a
// folder per day. The host reads the device table and hears of changes through a callback.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LumoBase/LumoBase.h"
#include "LumoBase/LumoResult.h"

// One row of the device table.
struct LumoSDTODevice {
    std::string name;     // as registered (UTF-8)
    std::string ip;       // peer address of its socket
    int32_t type = 0;     // 0 IPC, 1 NVR, 2 UVR, 50 recording server, 51 event server, others
    bool online = false;  // its socket is open
};

// Device types a register message may carry. Servers (50, 51) bind the engine to a server
// (callback code 2); a client (60) logs in (code 3) and takes no row in the device table.
enum LumoSEDeviceType {
    LUMOSE_TYPE_IPC = 0,
    LUMOSE_TYPE_NVR = 1,
    LUMOSE_TYPE_UVR = 2,
    LUMOSE_TYPE_RECORDSERVER = 50,
    LUMOSE_TYPE_EVENTSERVER = 51,
    LUMOSE_TYPE_CLIENT = 60,
};

// The record behind callback codes 2 and 3 (first pointer). Its second pointer-sized field is
// the registered name; it lives only during the call.
struct LumoSELoginRecord {
    intptr_t type;
    const char* name;
    const char* address;
};

// Callback codes: 1 the device table changed (pointers null); 2 a server bound; 3 a client
// logged in (first pointer: LumoSELoginRecord). The sender is the engine (opaque).
enum LumoSECallbackCode { LUMOSE_CB_DEVICES = 1, LUMOSE_CB_SERVER = 2, LUMOSE_CB_CLIENT = 3 };

// Limits of the engine: a value of 0 takes these defaults.
enum : uint32_t {
    LUMOSE_DEFAULT_MAXDEVNUM = 256,
    LUMOSE_DEFAULT_MAXPICDAYS = 30,
    LUMOSE_DEFAULT_MAXEVENTROWS = 100000,
    LUMOSE_MAX_MESSAGE = 1024 * 1024,  // larger messages close the socket
    LUMOSE_MAX_NAME = 128,             // bytes of UTF-8
};

// Once per process before the first start; 0.
int LumoSEInitialize(void* reserved);
// Stops every engine (joining its thread and closing its database); 0.
int LumoSEInvalidate();

// Starts an engine listening on `port` (all addresses). Who is served: with a security file
// ("<work path>/security.xml", read again when it changes) a device registers only with the
// name and password of one of its <Client> elements, from any address, and an address whose
// logins keep failing waits longer and longer; without one, only peers of this machine
// (loopback) are served and others are refused at connection. A connection that does not
// register within 10 s is closed, and one address holds at most 64 connections. Null when the
// port is 0 or taken, or a folder or the database cannot be made. pathPic/pathDbs: UTF-8; empty
// means the work path.
void* LumoSEStart(uint16_t port, uint16_t maxDevNum, uint16_t maxPicDays, uint32_t maxEventRows,
                  const char* pathPic, const char* pathDbs);
// Stops the engine on that port: 0, or LUMO_ERR_PARAM when none listens there. Its handle is
// refused from then on.
int LumoSEStop(uint16_t port);

// The callback hears the engine's codes on the engine's thread. Detach waits for a call in
// flight, so the caller may delete the callback once it returns. 0, or LUMO_ERR_PARAM for a
// null, stopped or unknown handle or callback, or one already (not) attached.
int LumoSAttachEventServer(void* handle, ILumoCallback* callback, LumoSignalMember member);
int LumoSDetachEventServer(void* handle, ILumoCallback* callback, LumoSignalMember member);

// Appends one record per registered device (online or not): 0, or LUMO_ERR_PARAM.
int LumoSGetDeviceTable(void* handle, std::vector<LumoSDTODevice>* out);

// The engine's default folder (UTF-8): "<program dir>/EventData".
const char* LumoSEGetWorkPath();

// Checks that the file is a security file (<SecurityFile> with at least one <Client name=.../>,
// at most 1 MiB) and copies it whole to "<work path>/security.xml" (owner-only), replacing the
// old copy only once the new one is fully written: 0, LUMO_ERR_PARAM, LUMO_ERR_NOTFOUND,
// LUMO_ERR_FORMAT, LUMO_ERR_DISKFULL or LUMO_ERR_WRITE. Running engines apply it to the next
// register.
int LumoSEImportSecurityFile(const char* path);

// The database file of an engine that keeps its events in `pathDbs`.
std::string LumoSEDatabaseFile(const char* pathDbs);
