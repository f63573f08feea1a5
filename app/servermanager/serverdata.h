// The management console's page data: one record per page with settings, held by one process-wide
// store that reads and writes VantelServer.ini beside the executable.
#pragma once

#include <QString>
#include <QtGlobal>
#include <mutex>

class QSettings;

class ServerData {
public:
    virtual bool Save() { return true; }
    virtual bool Check() { return true; }

protected:
    ~ServerData() = default;
};

class PgConfigData : public ServerData {
public:
    enum : quint16 { DefaultPort = 8088 };
    PgConfigData() = default;
    PgConfigData(const PgConfigData& other) = default;
    PgConfigData& operator=(const PgConfigData& other) = default;

    bool Save() override;
    // A stored port that is not a number of 0..65535 reads as 8088 (logged); the file keeps it
    // until the next Save. 0 stays 0 (the page starts on 8088 then).
    virtual bool Load(bool useDefault);

    quint16 port = DefaultPort;
    bool runstartup = false;
};

class PgLogData : public ServerData {
public:
    virtual bool Load(bool) { return true; }
};

class PgMaintainData : public ServerData {
public:
    virtual bool Load(bool) { return true; }
};

class ServerDataStore {
public:
    static ServerDataStore& Instance();
    // VantelServer.ini in the executable's directory (found through /proc/self/exe, so it holds
    // before QApplication exists and whatever the working directory).
    static QString SettingsFile();
    // Points the store (and every reader of SettingsFile) at another file; only before first use
    // (tests that must not share the file beside their executable).
    static void UseSettingsFile(const QString& path);
    // The one settings object of the records (UTF-8, like every other reader of the file).
    static QSettings& Settings();

    PgConfigData& ConfigData() { return m_config; }
    PgLogData& LogData() { return m_log; }
    PgMaintainData& MaintainData() { return m_maintain; }
    // Reads the file again (picking up changes made by others) into the three records.
    bool LoadAll();
    bool SaveAll();

private:
    ServerDataStore() = default;
    PgConfigData m_config;
    PgLogData m_log;
    PgMaintainData m_maintain;
};
