// LumoSServer: the management engine. A secure WebSocket server on which management clients log
// in with an account and the default password; the console lists them and exports the engine's
// certificate so that clients can pin it.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "LumoBase/LumoBase.h"
#include "LumoBase/LumoResult.h"

// One logged-in client.
struct LumoSDTOClient {
    std::string ip;         // peer IPv4 address text (an IPv4-mapped IPv6 peer is shown as IPv4)
    std::string account;    // UTF-8
    std::string loginTime;  // ISO 8601 local time "yyyy-MM-ddTHH:mm:ss"; may be empty
    uint64_t id = 0;        // this login's number in the engine, growing in login order
};

// What LUMOS_SIGNAL_CLIENTS carries in p1 when one client came or went.
enum LumoSClientChangeKind { LUMOS_CLIENT_LOGGED_IN = 1, LUMOS_CLIENT_GONE = 2 };
struct LumoSClientChange {
    int kind;                // LumoSClientChangeKind
    LumoSDTOClient client;   // the client (id names it; for GONE the other fields are as at login)
};

// Callback codes handed to attached observers, always from the engine's own thread.
enum LumoSSignalCode {
    LUMOS_SIGNAL_LOG = 1,      // p1: CLumoString* log line, valid only during the call
    // The logged-in clients changed: p1 is the LumoSClientChange* of one login, logout or
    // disconnect (valid only during the call), or null when the list should be read again whole
    // (the engine stopped).
    LUMOS_SIGNAL_CLIENTS = 2,
};

// Library life: once per process. Invalidate stops and releases every engine still alive.
int LumoSInitialize();
int LumoSInvalidate();

// Settings for engines created afterwards (and the running ones for the password).
// The password is compared byte for byte; null counts as empty. An empty password serves clients
// on this machine only (loopback): a connection from elsewhere is closed and logged.
int LumoSSetDefaultPassword(const char* password);
// Refuses every login (logged) until LumoSSetDefaultPassword is called again: for a stored
// password that cannot be read, which must never turn into the empty one.
int LumoSRefusePasswordLogins();
// false: at most LUMOS_MAX_CLIENTS connections at once; true: LUMOS_MAX_CLIENTS_MANY.
int LumoSSetSupportManyDevices(bool many);
enum { LUMOS_MAX_CLIENTS = 256, LUMOS_MAX_CLIENTS_MANY = 4096 };
// Largest text message a client may send; a larger one closes that client's connection.
enum { LUMOS_MAX_MESSAGE_BYTES = 16 * 1024 };

// Folder of the engine's key and certificate (made when missing). Default: "LumoSData" in the
// executable's folder. Takes effect for engines created afterwards.
int LumoSSetDataPath(const char* utf8Folder);
// The folder in use (UTF-8).
std::string LumoSGetDataPath();

// A handle for an engine on the port; never null. Nothing is bound until Start. The key and the
// self-signed certificate are made on first use and kept in the data folder (key file 0600).
void* LumoSCreateServer(uint16_t port);
// Binds 0.0.0.0:port and serves. 0; LUMO_ERR_BIND when the port is taken or not allowed;
// LUMO_ERR_FAIL when no key or certificate can be had; LUMO_ERR_PARAM for an unknown handle;
// LUMO_ERR_STATE when already started.
int LumoSStartServer(void* handle);
// Closes every connection and the listener; waits for the engine's thread. 0, or LUMO_ERR_PARAM.
int LumoSStopServer(void* handle);
// Stops (when needed) and frees the engine; the handle is unknown afterwards. 0 or LUMO_ERR_PARAM.
int LumoSReleaseServer(void* handle);

// Observers. Detach waits for a call in flight to that observer, so the caller may delete it next.
int LumoSAttachServer(void* handle, ILumoCallback* callback, LumoSignalMember member);
int LumoSDetachServer(void* handle, ILumoCallback* callback, LumoSignalMember member);

// Writes the engine's certificate (PEM inside a small XML document) to the file at path
// (zero-terminated 8-bit local text). 0; LUMO_ERR_PARAM for an unknown handle or an empty path;
// LUMO_ERR_DISKFULL when the disk is full, LUMO_ERR_WRITE when the file cannot be written
// otherwise (a file already there is kept whole then).
int LumoSExportCertification(void* handle, const char* path);
// The engine's certificate as PEM text (empty for an unknown handle).
std::string LumoSCertificatePem(void* handle);
// The port actually bound (useful after Create(0)), 0 while stopped or for an unknown handle.
uint16_t LumoSBoundPort(void* handle);

// The number of engines created and not yet released.
int LumoSServerCount();

// Clears `out`, then fills it with the logged-in clients in login order. 0, or LUMO_ERR_PARAM.
int LumoSOnlineClients(void* handle, std::list<LumoSDTOClient>& out);

// Limits against hostile peers, process-wide, read by running engines at each use.
struct LumoSLimits {
    // Connections of one peer address that are not logged in (new, or logged out); more are closed.
    int maxPendingPerAddress = 32;
    // A connection not logged in this long after it opened or logged out is closed.
    int loginTimeoutMs = 30000;
    // After a wrong password, logins from that address are refused for base << (failures - 1)
    // ms, at most max; a good login clears the count. base 0: no waiting.
    int penaltyBaseMs = 1000;
    int penaltyMaxMs = 60000;
};
// LUMO_ERR_PARAM (nothing changed) for a negative field or a cap or timeout below 1.
int LumoSSetLimits(const LumoSLimits& limits);
LumoSLimits LumoSGetLimits();
// Whether a peer (address text) is on this machine; null restores the default (loopback only).
// For tests on machines without a second address.
int LumoSSetLocalPeerCheck(bool (*isLocal)(const char* ip));
