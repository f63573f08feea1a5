// VantelCore: the platform's reference-counted data rows and lists, its log and the client number.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Object ids that rows report through GetObjectID.
enum VantelObjectId {
    VANTEL_OBJ_DATA = 0,
    VANTEL_OBJ_TEXT = 1,
    VANTEL_OBJ_DEVICE = 257,
    VANTEL_OBJ_CHANNEL_REF = 1281,
    VANTEL_OBJ_KESTO_STREAM = 1897,
    VANTEL_OBJ_KESTO_CHANNEL = 1898,
};

// A reference-counted row. Rows are created with a count of 1; Release frees at 0.
class IVantelData {
public:
    IVantelData() = default;
    IVantelData(const IVantelData&) = delete;
    IVantelData& operator=(const IVantelData&) = delete;

    int AddRef() { return ++m_refs; }
    int Release() {
        int left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    int GetRefCount() const { return m_refs.load(); }

    int64_t GetID() const { return m_id; }
    void SetID(int64_t id) { m_id = id; }
    virtual int GetObjectID() const { return VANTEL_OBJ_DATA; }

protected:
    virtual ~IVantelData() = default;

private:
    std::atomic<int> m_refs{1};
    int64_t m_id = 0;
};

class IVantelText : public IVantelData {
public:
    static IVantelText* CreateObject(const std::string& text = std::string()) { return new IVantelText(text); }
    const char* GetText() const { return m_text.c_str(); }
    void SetText(const std::string& text) { m_text = text; }
    int GetObjectID() const override { return VANTEL_OBJ_TEXT; }

protected:
    explicit IVantelText(const std::string& text) : m_text(text) {}

private:
    std::string m_text;
};

// A device row.
class IVantelDataDEV : public IVantelData {
public:
    static IVantelDataDEV* CreateObject() { return new IVantelDataDEV(); }
    int GetObjectID() const override { return VANTEL_OBJ_DEVICE; }
    const char* GetAddress() const { return m_address.c_str(); }
    void SetAddress(const std::string& v) { m_address = v; }
    const char* GetGUID() const { return m_guid.c_str(); }
    void SetGUID(const std::string& v) { m_guid = v; }

protected:
    IVantelDataDEV() = default;

private:
    std::string m_address, m_guid;
};

// A channel reference row: a channel index on a device.
class IVantelDataCHN : public IVantelData {
public:
    static IVantelDataCHN* CreateObject() { return new IVantelDataCHN(); }
    int GetObjectID() const override { return VANTEL_OBJ_CHANNEL_REF; }
    int GetChnIndex() const { return m_index; }
    void SetChnIndex(int v) { m_index = v; }
    int64_t GetDeviceId() const { return m_device; }
    void SetDeviceId(int64_t v) { m_device = v; }

protected:
    IVantelDataCHN() = default;

private:
    int m_index = 0;
    int64_t m_device = 0;
};

// A reference-counted, thread-safe list of rows. The list holds one reference on each row.
class IVantelList : public IVantelData {
public:
    static IVantelList* CreateObject() { return new IVantelList(); }

    // Appends the row. With addRef false the list takes over the caller's reference; with
    // true it takes its own. `unique` refuses a row that is already in the list.
    int Add(IVantelData* row, bool addRef, bool unique);
    int GetCount() const;
    // The rows in order (a snapshot; each row stays valid while the list holds it).
    std::vector<IVantelData*> GetTable() const;
    IVantelData* GetAt(int index) const;
    // Releases every row.
    void RemoveAll();

protected:
    IVantelList() = default;
    ~IVantelList() override;

private:
    mutable std::mutex m_mutex;
    std::vector<IVantelData*> m_rows;
};

// Log levels: 1 error, 2 warning, 3 info, 4..7 more detail. A line is written when its
// level is at or below the set level and its mask shares a bit with the set mask.
void VantelDBG_SetLevelMask(uint32_t mask, int level);
void VantelDBG_Printf_f(uint32_t mask, int level, const char* function, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// Where the log goes: the folder of the rotating log file (default: $VANTEL_LOG_DIR, else
// the XDG state folder). Empty disables the file (stderr only).
void VantelDBG_SetLogFile(const std::string& path);
std::string VantelDBG_GetLogFile();

class VantelCloudAccount {
public:
    static void SetClientNo(const std::string& number);
    static std::string GetClientNo();
};
