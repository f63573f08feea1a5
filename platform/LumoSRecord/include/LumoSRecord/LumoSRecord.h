// LumoSRecord: the recording engine. Its disks are storage folders, its record files real media
// files in block folders, and it listens on a real TCP port while started. Rows come back as
// reference-counted VantelCore rows; every list handed out through an out-parameter belongs to
// the caller, who releases it.
#pragma once

#include <cstdint>
#include <string>

#include "LumoBase/LumoResult.h"
#include "LumoFS/LumoFS.h"
#include "VantelCore/VantelCore.h"

// One stream of a channel. Offsets are fixed: callers read fields by offset.
struct tag_STMDATA {
    uint16_t recordMode;  // 0: 0 none, 1 schedule, 2 event, 16 manual
    uint8_t videoCodec;   // 2
    uint8_t audioCodec;   // 3
    uint16_t width;       // 4
    uint16_t height;      // 6
    uint16_t reserved8;   // 8
    uint16_t frameRate;   // 10
    int32_t bitRateKbps;  // 12
};
static_assert(sizeof(tag_STMDATA) == 16, "stream record layout");

// A disk row; GetID is the disk number N of its [diskN] group in the engine's settings (numbers may
// have gaps: a missing or ignored [diskN] leaves its number out).
class IKestoDiskInfo : public IVantelData {
public:
    static IKestoDiskInfo* CreateObject() { return new IKestoDiskInfo(); }
    CLumoFSDiskInfo* GetInfo() { return &m_info; }
    const CLumoFSDiskInfo* GetInfo() const { return &m_info; }

protected:
    IKestoDiskInfo() = default;

private:
    CLumoFSDiskInfo m_info;
};

// A stream row; GetID is 1 main, 2 sub, 3 third.
class IKestoStreamInfo : public IVantelData {
public:
    static IKestoStreamInfo* CreateObject() { return new IKestoStreamInfo(); }
    int GetObjectID() const override { return VANTEL_OBJ_KESTO_STREAM; }
    tag_STMDATA* GetData() { return &m_data; }
    const tag_STMDATA* GetData() const { return &m_data; }

protected:
    IKestoStreamInfo() : m_data() {}

private:
    tag_STMDATA m_data;
};

// A recording channel row; GetID is the channel number (from 1). The channel holds a
// reference on each of its streams.
class IKestoChanInfo : public IVantelData {
public:
    static IKestoChanInfo* CreateObject() { return new IKestoChanInfo(); }
    int GetObjectID() const override { return VANTEL_OBJ_KESTO_CHANNEL; }
    const char* GetCUID() const { return m_cuid.c_str(); }
    const char* GetName() const { return m_name.c_str(); }
    void SetCUID(const std::string& v) { m_cuid = v; }
    void SetName(const std::string& v) { m_name = v; }
    int GetStreamNum() const { return m_streams ? m_streams->GetCount() : 0; }
    // The stream at index i, or null past the last one.
    IKestoStreamInfo* GetStreamInfo(int i) const {
        return m_streams ? static_cast<IKestoStreamInfo*>(m_streams->GetAt(i)) : nullptr;
    }
    // Takes over the caller's reference.
    void AddStream(IKestoStreamInfo* s) {
        if (!m_streams) m_streams = IVantelList::CreateObject();
        m_streams->Add(s, false, false);
    }

protected:
    IKestoChanInfo() = default;
    ~IKestoChanInfo() override {
        if (m_streams) m_streams->Release();
    }

private:
    std::string m_cuid, m_name;
    IVantelList* m_streams = nullptr;
};

// A storage block row.
class IKestoBlockInfo : public IVantelData {
public:
    static IKestoBlockInfo* CreateObject() { return new IKestoBlockInfo(); }
    CLumoFSBlockInfo* GetInfo() { return &m_info; }
    const CLumoFSBlockInfo* GetInfo() const { return &m_info; }

protected:
    IKestoBlockInfo() = default;

private:
    CLumoFSBlockInfo m_info;
};

// A record file row; GetID is its serial number in the result (from 1).
class IKestoFileInfoAV : public IVantelData {
public:
    static IKestoFileInfoAV* CreateObject() { return new IKestoFileInfoAV(); }
    tag_LUMOFILEAVINFO* GetInfo() { return &m_info; }
    const tag_LUMOFILEAVINFO* GetInfo() const { return &m_info; }
    const char* GetFileName() const { return m_fileName.c_str(); }
    void SetFileName(const std::string& v) { m_fileName = v; }
    const char* GetURI() const { return m_uri.c_str(); }
    void SetURI(const std::string& v) { m_uri = v; }

protected:
    IKestoFileInfoAV() : m_info() {}

private:
    tag_LUMOFILEAVINFO m_info;
    std::string m_fileName, m_uri;
};

// A disk format request: SetID is the disk number (N of [diskN], as in the disk rows), SetAccess
// the access mode (0; a network recorder refuses any other with LUMOSR_ERR_PARAM).
class IKestoDiskFormat : public IVantelData {
public:
    static IKestoDiskFormat* CreateObject() { return new IKestoDiskFormat(); }
    void SetAccess(int v) { m_access = v; }
    int GetAccess() const { return m_access; }

protected:
    IKestoDiskFormat() = default;

private:
    int m_access = 0;
};

// Result codes: names of the engine for entries of the shared table (LumoBase/LumoResult.h).
enum {
    LUMOSR_OK = LUMO_OK,
    LUMOSR_ERR_FAIL = LUMO_ERR_FAIL,
    LUMOSR_ERR_PARAM = LUMO_ERR_PARAM,
    LUMOSR_ERR_STATE = LUMO_ERR_STATE,      // not initialised, or not started
    LUMOSR_ERR_BIND = LUMO_ERR_BIND,        // the port could not be bound (in use, no permission)
    LUMOSR_ERR_IO = LUMO_ERR_IO,            // a storage read or write failed
    LUMOSR_ERR_REFUSED = LUMO_ERR_REFUSED,  // e.g. formatting a folder that holds foreign files
    LUMOSR_ERR_NOTFOUND = LUMO_ERR_NOTFOUND,
    LUMOSR_ERR_TIMEOUT = LUMO_ERR_TIMEOUT,  // the storage stayed busy for the whole timeout
    LUMOSR_ERR_FULL = LUMO_ERR_DISKFULL,    // no disk has room and the disk-full policy is to stop
};

// Library life: Initialize reads the engine's settings (see LumoSRSetStorageConfig), starts
// reading the disks in the background and registers the engine as the record source of LumoFS
// (LumoFS/LumoRecordSource.h); it may be followed by Start/Stop any number of times. Invalidate
// withdraws the record source, ends the background reading and releases everything.
int LumoSRInitialize(void* reserved);
int LumoSRInvalidate();
// Points the engine at a settings file before Initialize (tests; default: "kestostorage.ini"
// next to the executable).
void LumoSRSetStorageConfig(const char* path);

// Starts the engine's HTTP API (README.md, "Recording engine on the network") on the port, on all
// IPv4 addresses; 0, or LUMOSR_ERR_BIND. Without a security file it answers clients on this machine
// only; with one, only the accounts it lists (HTTP Basic auth).
int LumoSRStart(uint16_t port);
// Stops the listener and ends at once the probes and the disk reading in progress (a later query
// or search reads again) and every network connection (a transfer in progress is cut). Safe from
// any thread, and when not started.
int LumoSRStop();
// How long a network client may take to send a whole request before the engine gives up on it,
// and the longest any read or write of a connection waits (default 5000 ms); applies from the next
// LumoSRStart.
void LumoSRSetRequestTimeout(int ms);
bool LumoSRIsStarted();
// The port the listener is bound to (the chosen one when started on port 0), 0 when stopped.
uint16_t LumoSRGetPort();

// Imports a security file (an XML document naming the trusted clients); 0, or negative when the
// file is missing, unreadable or not a valid security file. Each <Client name="account"
// password="secret"/> is an account of the network API (no password attribute: an empty
// password). The engine's copy is readable by its owner only; when it cannot be written the old
// copy stays and the call fails: LUMOSR_ERR_FULL for a full disk, LUMOSR_ERR_IO otherwise
// (LumoSRGetLastError names the file and the disk).
int LumoSRImportSecurityFile(const char* path);

// Recorder URLs (every call below that takes one):
//   null or ""                                         the engine in this process
//   "lumofs://localhost/media"                         this machine's recorder: the engine in this
//                                                      process when it is initialised, otherwise
//                                                      the one on 127.0.0.1:8431
//   "lumofs://[account[:password]@]host[:port][/media]"  a recorder on the network, through its
//   "http://[account[:password]@]host[:port]"          HTTP API (port 8431 when none is given)
// Account and password are percent-encoded where they hold ':', '@', '/' or '%'. A network call
// gives up after timeoutMs (connection, each read and write, and the whole call); it fails with
// LUMO_ERR_CONNECT or LUMOSR_ERR_TIMEOUT (reason LUMOSR_REASON_UNREACHABLE) when the recorder
// cannot be reached, LUMOSR_ERR_REFUSED (LUMOSR_REASON_ACCESS_DENIED) when it refuses the account
// or this machine, and otherwise with the recorder's own result and reason. A malformed URL gives
// LUMOSR_ERR_PARAM.
//
// Queries: rows in *out (left null on failure).
// The disk, channel, camera-identity and block queries answer at once from the engine's last
// reading of its disks, and ask for a new reading in the background; they never wait for a
// media file to be probed. Only the very first query after Initialize waits (at most timeoutMs)
// for the disks' first reading, which looks at folders and the engine's caches but probes
// nothing. Record files found since the last reading show up once the background has probed them.
int LumoSRGetDiskInfo(const char* url, int reserved, IVantelList** out, int timeoutMs);
int LumoSRGetChanInfo(const char* url, int reserved, IVantelList** out, int timeoutMs);
int LumoSRGetCUIDInfo(const char* url, int reserved, IVantelList** out, int timeoutMs);
// Fills the given (existing) list with the blocks of the disk numbered diskId (N of [diskN]);
// LUMOSR_ERR_NOTFOUND for a number that is not a disk of the engine.
int LumoSRGetBlockInfo(const char* url, int64_t diskId, int reserved, IVantelList** list, int timeoutMs);
// Formats the disk numbered request->GetID() (N of [diskN]): removes the engine's own files and
// writes a fresh marker. Refuses a folder that holds files but no marker (LUMOSR_ERR_REFUSED), a
// disk being written (LUMOSR_ERR_STATE), a missing folder and an unknown number
// (LUMOSR_ERR_NOTFOUND). LumoSRGetLastError tells why a format failed.
int LumoSRFormatDisk(const char* url, IKestoDiskFormat* request, IVantelData** out, int timeoutMs);

// clang-format off
// Why the calling thread's last failed engine call failed.
enum {
    LUMOSR_REASON_NONE = 0,
    LUMOSR_REASON_FOREIGN_FILES = 1,  // the folder holds files but not the engine's mark; detail: the folder
    LUMOSR_REASON_NOT_REMOVABLE = 2,  // a file or folder could not be removed; detail: its path and the system's reason
    LUMOSR_REASON_DISK_BUSY = 3,      // the disk stayed busy being written; detail: the disk's folder
    LUMOSR_REASON_NO_FOLDER = 4,      // the disk's folder does not exist or is not a folder; detail: the folder
    LUMOSR_REASON_IO = 5,             // a read or write failed; detail: the path and the system's reason
    LUMOSR_REASON_NO_DISK = 6,        // no disk of that number; detail: the number
    LUMOSR_REASON_ACCESS_DENIED = 7,  // a network recorder refused the account or this machine; detail: its words
    LUMOSR_REASON_UNREACHABLE = 8,    // a network recorder could not be reached or did not answer in time; detail: host, port and why
};
// The reason and detail of the calling thread's last failed engine call (LUMOSR_REASON_NONE after a success).
// Either pointer may be null; returns LUMOSR_OK.
int LumoSRGetLastError(int* reason, CLumoString* detail);

// Problems found when the engine last read its settings file and disks: one line each, in English,
// "<settings file>:<line>: <what and what the engine does instead>" (line 0 when no line applies), joined by '\n'.
// Returns the number of problems.
int LumoSRGetConfigProblems(CLumoString* text);
// clang-format on

// Record-file search over the engine's index (registered with LumoFS by LumoSRInitialize as the
// record source of the media library's "lumofs" search). Appends a descriptor per matching file,
// in start-time order, to `out`; at most `max` per call, continuing after `*cursor` (start with
// 0). A new search (cursor 0) first waits, at most a few seconds, for the index to take in what
// changed on the disks (LUMOSR_ERR_TIMEOUT when it could not, LUMOSR_ERR_STATE when the engine
// was stopped meanwhile). Returns the number appended, 0 at the end, or a negative error.
int LumoSRSearchFiles(const ILumoFSSearchParam* param, uint64_t* cursor, CLumoFileDescList* out, int max);

// Record-file search of the recorder named by url (see above): rows (IKestoFileInfoAV, in
// start-time order, serial numbers from 1) in *out, which may be empty when nothing matches; *out
// is left null on failure. Rows of a network recorder carry "http://[account:password@]host:port/
// records/<disk>/<block>/<file>" URIs, which the media layer plays and downloads as it does a
// local record.
int LumoSRGetFileInfo(const char* url, const ILumoFSSearchParam* param, IVantelList** out, int timeoutMs);

// Converts descriptors into record-file rows appended to `list` (serial numbers from 1).
int LumoSRFileDesc2KestoFileInfo(const CLumoFileDescList* descs, IVantelList* list);

// The local path of a record file named by a descriptor's "lumofs://local/..." URI (registered with
// LumoFS as the record source's resolver); 0, or LUMOSR_ERR_PARAM for a malformed URI,
// LUMOSR_ERR_NOTFOUND for an unknown disk.
int LumoSRGetRecordFilePath(const char* uri, CLumoString* path);

// Stores a finished media file (MPEG-TS ".dav"/".ts", ".mp4" or ".avi") as a record file of the
// channel (from 1), stream (0 main, 1 sub, 2 third) and record type (0 schedule, 1 event,
// 4 manual) starting at `start`: it is written and synced into a block, then indexed. When no
// disk has room the disk-full policy of the file system object decides: overwrite the oldest
// blocks, or LUMOSR_ERR_FULL. A file that cannot be read back is not kept (LUMOSR_ERR_PARAM).
// On success *uri (when given) names the stored file.
int LumoSRStoreRecordFile(const char* source, int channel, int stream, int recordType, const CLumoTime& start,
                          CLumoString* uri, int timeoutMs);
