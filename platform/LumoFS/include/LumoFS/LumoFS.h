// LumoFS: the recorder file system's records (disk and block info), the record-file descriptor
// and its list, the search parameters, and the file system object the recording engine runs on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "LumoBase/LumoBase.h"

// Codec codes carried by descriptors and engine records.
enum LumoCodecCode {
    LUMO_CODEC_NONE = 0,
    LUMO_CODEC_H264 = 1,
    LUMO_CODEC_H265 = 2,
    LUMO_CODEC_JPEG = 3,
    LUMO_CODEC_PCMA = 4,
    LUMO_CODEC_PCMU = 5,
    LUMO_CODEC_ADPCM = 6,
    LUMO_CODEC_MP3 = 7,
    LUMO_CODEC_AAC = 8,
    LUMO_CODEC_PCM = 9,
    LUMO_CODEC_MPEG4 = 12,  // our addition: MPEG-4 part 2 video
};

// One record file as the engine describes it. Offsets are fixed: callers read fields by offset.
struct tag_LUMOFILEAVINFO {
    uint16_t fileIndex;    // 0: index of the file within its block
    uint8_t stream;        // 2: stream, 0 main, 1 sub, 2 third
    uint8_t channel;       // 3: channel, 0-based
    uint16_t block;        // 4: block number on its disk, 0-based
    uint8_t reserved6;     // 6
    uint8_t disk;          // 7: disk number, 0-based
    uint8_t videoCodec;    // 8
    uint8_t audioCodec;    // 9
    uint16_t width;        // 10
    uint16_t height;       // 12
    uint16_t frameRate;    // 14
    uint32_t timeStart;    // 16: packed CLumoTime word
    uint32_t timeEnd;      // 20: packed CLumoTime word
    uint16_t msStart;      // 24
    uint16_t msEnd;        // 26
    uint32_t size;         // 28: file size in bytes, capped at 0xFFFFFFFF (see size64)
    uint16_t recordType;   // 32: 0 schedule, 1 event, 4 manual
    uint16_t reserved34;   // 34
    uint32_t reserved36;   // 36
    uint64_t size64;       // 40: the true file size in bytes
    uint16_t reserved48;   // 48
    char cuid[64];         // 50: camera identity, NUL-terminated
};
static_assert(offsetof(tag_LUMOFILEAVINFO, videoCodec) == 8, "record layout");
static_assert(offsetof(tag_LUMOFILEAVINFO, timeStart) == 16, "record layout");
static_assert(offsetof(tag_LUMOFILEAVINFO, size) == 28, "record layout");
static_assert(offsetof(tag_LUMOFILEAVINFO, recordType) == 32, "record layout");
static_assert(offsetof(tag_LUMOFILEAVINFO, cuid) == 50, "record layout");

// A disk of the recorder file system. Space values are in KB.
class CLumoFSDiskInfo {
public:
    // Disk state bits.
    enum {
        STATE_MOUNTED = 0x1,
        STATE_FORMATTED = 0x2,
        STATE_READY = 0x4,
        STATE_READING = 0x8,
        STATE_WRITING = 0x10,
        STATE_ASLEEP = 0x20,
        STATE_FULL = 0x40,
        STATE_FAULTY = 0x80,
        STATE_OPENING = 0x200,
        STATE_CLOSED = 0x400,
        STATE_OBSOLETE = 0x800,
        STATE_SWITCH_IP = 0x1000,
    };
    bool GetShortName(CLumoString& out) const {
        out.Copy(m_shortName.c_str());
        return !m_shortName.empty();
    }
    const char* GetName() const { return m_name.c_str(); }
    int64_t GetSpaceTotal() const { return m_total; }
    int64_t GetSpaceUsed() const { return m_used; }
    uint32_t GetState() const { return m_state; }
    uint32_t GetType() const { return m_type; }

    void SetShortName(const std::string& v) { m_shortName = v; }
    void SetName(const std::string& v) { m_name = v; }
    void SetSpace(int64_t totalKB, int64_t usedKB) {
        m_total = totalKB;
        m_used = usedKB;
    }
    void SetState(uint32_t v) { m_state = v; }
    void SetType(uint32_t v) { m_type = v; }

private:
    std::string m_shortName, m_name;
    int64_t m_total = 0, m_used = 0;
    uint32_t m_state = 0, m_type = 0;
};

// A storage block: one block folder of a disk.
class CLumoFSBlockInfo {
public:
    enum { STATE_IN_USE = 0x10 };
    int GetIDB() const { return m_idb; }
    int GetIDD() const { return m_idd; }
    uint32_t GetState() const { return m_state; }
    int GetClusterUsed() const { return m_clusters; }  // 0..256, 256 = full
    const char* GetCUID() const { return m_cuid.c_str(); }
    int GetMediaType() const { return m_mediaType; }
    uint8_t GetIDS() const { return m_ids; }
    uint16_t GetRecType() const { return m_recType; }
    void GetTimeS(CLumoTime& t) const { t = m_timeS; }
    void GetTimeE(CLumoTime& t) const { t = m_timeE; }
    uint32_t GetUsedTime() const { return m_usedTime; }  // seconds recorded
    int GetFileNum() const { return m_fileNum; }
    uint32_t GetFrameNum() const { return m_frameNum; }

    void SetIDB(int v) { m_idb = v; }
    void SetIDD(int v) { m_idd = v; }
    void SetState(uint32_t v) { m_state = v; }
    void SetClusterUsed(int v) { m_clusters = v; }
    void SetCUID(const std::string& v) { m_cuid = v; }
    void SetMediaType(int v) { m_mediaType = v; }
    void SetIDS(uint8_t v) { m_ids = v; }
    void SetRecType(uint16_t v) { m_recType = v; }
    void SetTimeS(const CLumoTime& t) { m_timeS = t; }
    void SetTimeE(const CLumoTime& t) { m_timeE = t; }
    void SetUsedTime(uint32_t v) { m_usedTime = v; }
    void SetFileNum(int v) { m_fileNum = v; }
    void SetFrameNum(uint32_t v) { m_frameNum = v; }

private:
    int m_idb = 0, m_idd = 0;
    uint32_t m_state = 0;
    int m_clusters = 0;
    std::string m_cuid;
    int m_mediaType = 0;
    uint8_t m_ids = 0;
    uint16_t m_recType = 0;
    CLumoTime m_timeS, m_timeE;
    uint32_t m_usedTime = 0;
    int m_fileNum = 0;
    uint32_t m_frameNum = 0;
};

// Descriptor of one record file: the unit that search, playback and download pass around.
class CLumoFileDesc {
public:
    CLumoFileDesc() = default;
    CLumoFileDesc(const CLumoFileDesc&) = default;
    CLumoFileDesc& operator=(const CLumoFileDesc&) = default;

    // Fills times, codecs, size, channel, stream, record type and CUID from an engine record.
    void Setup(const tag_LUMOFILEAVINFO* info);

    const char* GetURI() const { return m_uri.c_str(); }
    void SetURI(const char* uri) { m_uri = uri ? uri : ""; }
    const char* GetFileName() const { return m_fileName.c_str(); }
    void SetFileName(const char* v) { m_fileName = v ? v : ""; }
    const char* GetSaveFileName() const { return m_saveFileName.c_str(); }
    void SetSaveFileName(const char* v) { m_saveFileName = v ? v : ""; }

    const CLumoTime& GetTimeS() const { return m_timeS; }
    const CLumoTime& GetTimeE() const { return m_timeE; }
    void SetTimeS(const CLumoTime& t) { m_timeS = t; }
    void SetTimeE(const CLumoTime& t) { m_timeE = t; }

    int GetChannel() const { return m_channel; }  // 0-based
    void SetChannel(int v) { m_channel = v; }
    int GetStreamType() const { return m_streamType; }  // 0 main, 1 sub, 2 third
    void SetStreamType(int v) { m_streamType = v; }
    int GetRecordType() const { return m_recordType; }
    void SetRecordType(int v) { m_recordType = v; }
    CLumoString GetCUID() const { return CLumoString(m_cuid); }
    void SetCUID(const char* v) { m_cuid = v ? v : ""; }

    uint64_t GetSize() const { return m_size; }
    void SetSize(uint64_t v) { m_size = v; }
    uint16_t GetWidth() const { return m_width; }
    uint16_t GetHeight() const { return m_height; }
    void SetResolution(uint16_t w, uint16_t h) {
        m_width = w;
        m_height = h;
    }
    uint8_t GetVideoCodec() const { return m_vcodec; }
    uint8_t GetAudioCodec() const { return m_acodec; }
    void SetCodecs(uint8_t video, uint8_t audio) {
        m_vcodec = video;
        m_acodec = audio;
    }
    int GetFrameRate() const { return m_frameRate; }  // negative: unknown
    void SetFrameRate(int v) { m_frameRate = v; }
    uint16_t GetAttribute() const { return m_attribute; }
    void SetAttribute(uint16_t v) { m_attribute = v; }

    // Where the file lies in the engine's storage (-1 when it is not an engine file).
    int GetDisk() const { return m_disk; }
    int GetBlock() const { return m_block; }
    int GetFileIndex() const { return m_fileIndex; }
    void SetLocation(int disk, int block, int fileIndex) {
        m_disk = disk;
        m_block = block;
        m_fileIndex = fileIndex;
    }

    // The engine record of this descriptor (the reverse of Setup).
    void ToAVInfo(tag_LUMOFILEAVINFO* info) const;

private:
    std::string m_uri, m_fileName, m_saveFileName, m_cuid;
    CLumoTime m_timeS, m_timeE;
    int m_channel = 0, m_streamType = 0, m_recordType = 0;
    uint64_t m_size = 0;
    uint16_t m_width = 0, m_height = 0;
    uint8_t m_vcodec = 0, m_acodec = 0;
    int m_frameRate = -1;
    uint16_t m_attribute = 0;
    int m_disk = -1, m_block = -1, m_fileIndex = -1;
};

// A list of descriptors. With owning 1 the list deletes its descriptors; Append takes over.
class CLumoFileDescList {
public:
    explicit CLumoFileDescList(int owning = 1) : m_owning(owning != 0) {}
    ~CLumoFileDescList() { Clear(); }
    // Copies are deep: the copy owns copies of the descriptors.
    CLumoFileDescList(const CLumoFileDescList& o);
    CLumoFileDescList& operator=(const CLumoFileDescList& o);

    void Append(CLumoFileDesc* desc);
    // Removes (and, when owning, deletes) the descriptor; 0, or -1 when it is not in the list.
    int Del(CLumoFileDesc* desc);
    void Clear();
    int GetCount() const { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    CLumoFileDesc* GetAt(int i) const { return (i >= 0 && i < GetCount()) ? m_items[static_cast<size_t>(i)] : nullptr; }
    CLumoFileDesc* GetHead() const { return GetAt(0); }
    CLumoFileDesc* GetTail() const { return GetAt(GetCount() - 1); }
    uint64_t GetTotalSize() const;
    std::vector<CLumoFileDesc*>::const_iterator begin() const { return m_items.begin(); }
    std::vector<CLumoFileDesc*>::const_iterator end() const { return m_items.end(); }

private:
    bool m_owning;
    std::vector<CLumoFileDesc*> m_items;
};

// Record search criteria. A file passes when it overlaps [start, end], its channel's bit is set
// in the mask of its stream (bit n-1 = channel n), its record type's bit is set in the record
// type mask (type t passes when bit t is set), its stream equals the stream type (when one is
// set), and its CUID is one of the CUIDs (when any are given).
class ILumoFSSearchParam {
public:
    explicit ILumoFSSearchParam(int version = 1) : m_version(version) {}
    void SetTimeS(const CLumoTime& t) { m_timeS = t; }
    void SetTimeE(const CLumoTime& t) { m_timeE = t; }
    const CLumoTime& GetTimeS() const { return m_timeS; }
    const CLumoTime& GetTimeE() const { return m_timeE; }
    // stream: 0 main, 1 sub, 2 third.
    void SetChannelMask(int stream, uint64_t mask) {
        if (stream >= 0 && stream < 3) m_mask[stream] = mask;
    }
    uint64_t GetChannelMask(int stream) const { return (stream >= 0 && stream < 3) ? m_mask[stream] : 0; }
    void SetMediaType(int v) { m_mediaType = v; }
    int GetMediaType() const { return m_mediaType; }
    void SetRecordType(uint32_t mask) { m_recordType = mask; }
    uint32_t GetRecordType() const { return m_recordType; }
    void SetStreamType(int v) { m_streamType = v; }
    int GetStreamType() const { return m_streamType; }  // -1: any
    void AddCUID(const char* cuid) {
        if (cuid && *cuid) m_cuids.emplace_back(cuid);
    }
    const std::vector<std::string>& GetCUIDs() const { return m_cuids; }
    int GetVersion() const { return m_version; }

private:
    int m_version;
    CLumoTime m_timeS, m_timeE;
    uint64_t m_mask[3] = {0, 0, 0};
    int m_mediaType = 0;
    uint32_t m_recordType = 0xFFFFFFFFu;
    int m_streamType = -1;
    std::vector<std::string> m_cuids;
};

// The recorder file system object the recording engine runs on. Reached through
// LumoFSGetFileSystem; each reference is returned with Release.
class ILumoFS {
public:
    // Set-up calls made in this order before the engine starts: the block-size word (256),
    // the open flags (0), then Open() which mounts the disks.
    virtual int SetBlockClusters(int clusters) = 0;
    virtual int SetOpenFlags(int flags) = 0;
    virtual int Open() = 0;
    // Unmounts the disks (after the engine has stopped).
    virtual int Close() = 0;
    // Disk-full policy: *overwrite 1 overwrites the oldest records, 0 stops recording.
    virtual int SetDiskFullPolicy(const int32_t* overwrite) = 0;
    virtual int GetDiskFullPolicy() const = 0;
    virtual int AddRef() = 0;
    virtual int Release() = 0;
    // State read back by the engine: the block-size word (clusters per block) and whether the
    // disks are mounted.
    virtual int GetBlockClusters() const = 0;
    virtual int GetOpenFlags() const = 0;
    virtual bool IsOpen() const = 0;

protected:
    virtual ~ILumoFS() = default;
};

// Gives a reference to the process's file system object in *fs (null on failure); 0 or -1.
int LumoFSGetFileSystem(ILumoFS** fs);

// The engine that serves the disks registers here: Open calls the handler with mount 1 and
// Close with mount 0, and they return its result. Without a handler they only record the state.
// A null handler unregisters.
typedef int (*LumoFSMountHandler)(void* context, int mount);
void LumoFSSetMountHandler(LumoFSMountHandler handler, void* context);
