// LumoCClient: the client side of the platform: the client configuration (option records kept
// in an ini file under the user's configuration folder) and the device lookups of the record
// pages.
#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "LumoBase/LumoBase.h"
#include "VantelCore/VantelCore.h"

class QSettings;

namespace LumoC {

// Base of the option records. Write stores the record (0, or -1 when the file could not be
// written); Reset(true) gives the record its default values.
class OptionBase {
public:
    virtual ~OptionBase() = default;
    virtual int Write();
    virtual void Reset(bool defaults) = 0;
    // The ini group the record lives in.
    virtual const char* Group() const = 0;

    // Reads and writes the record's values in its group of the settings (the group is opened
    // by the caller).
    virtual void Load(const QSettings& s) = 0;
    virtual void Save(QSettings& s) const = 0;
};

// General options.
class CommonOption : public OptionBase {
public:
    CommonOption() { Reset(true); }
    int logKeepTime;      // 1 one day, 2 one week, 3 half a month, 4 one month, 5 two, 6 three, 7 six months
    bool autoRun;         // start with the system
    bool startWithLast;   // start with the last state
    bool autoFullScreen;  // full screen at start
    void Reset(bool defaults) override;
    const char* Group() const override { return "Common"; }
    void Load(const QSettings& s) override;
    void Save(QSettings& s) const override;
};

// Where records and pictures are saved and how they are named.
class FileSaveOption : public OptionBase {
public:
    FileSaveOption() { Reset(true); }
    QString recordFolder;   // default <home>/Videos/Vantel/Record
    QString recordRule;     // "GUID-CHN-STREAM-YYYYMMDD-HHMMSS"
    QString clipFolder;     // folder of clips (not shown by the file page)
    QString pictureFolder;  // default <home>/Pictures/Vantel
    QString pictureRule;    // "GUID-CHN-STREAM-YYYYMMDD-HHMMSS"
    void Reset(bool defaults) override;
    const char* Group() const override { return "File"; }
    void Load(const QSettings& s) override;
    void Save(QSettings& s) const override;
};

// Playback options.
class PlaybackOption : public OptionBase {
public:
    PlaybackOption() { Reset(true); }
    int packetType;      // 3 mp4, 1 dav, 2 avi
    int mergeRate;       // 0 to 2
    int searchLocation;  // 0 or 1
    int priorPlayTime;   // seconds: 1, 5, 10, 30, 60, 90, 1800 or 3600
    bool recorderPriority;
    bool previewOff;
    bool smartRecord;
    void Reset(bool defaults) override;
    const char* Group() const override { return "Playback"; }
    void Load(const QSettings& s) override;
    void Save(QSettings& s) const override;
};

// Video options.
class VideoOption : public OptionBase {
public:
    VideoOption() { Reset(true); }
    int captureFormat;  // snapshot format: 0 JPEG, 1 BMP
    int displayScale;   // 0 fill, 1 4:3, 2 16:9, 3 original
    int quality;        // 0 to 2
    int frameRate;
    bool hardDecoder;
    bool smartRuleDisplay;
    int packetType;  // 3 mp4, 1 dav, 2 avi
    void Reset(bool defaults) override;
    const char* Group() const override { return "Video"; }
    void Load(const QSettings& s) override;
    void Save(QSettings& s) const override;
};

// Tool bar options.
class ToolbarOption : public OptionBase {
public:
    ToolbarOption() { Reset(true); }
    bool showToolbar;
    QList<int> previewButtons;   // button ids in order
    QList<int> playbackButtons;  // button ids in order
    void Reset(bool defaults) override;
    const char* Group() const override { return "Toolbar"; }
    void Load(const QSettings& s) override;
    void Save(QSettings& s) const override;
};

// One alarm sound.
struct CustomizeAlarm {
    int number = 0;         // alarm number
    std::string typeName;   // UTF-8; a translation key for the built-in types
    std::string soundPath;  // UTF-8
};

// Alarm sounds.
class AlarmOption : public OptionBase {
public:
    AlarmOption() { Reset(true); }
    std::vector<CustomizeAlarm> alarms;
    // The sound file of an alarm number ("" when none).
    const char* GetAlarmSound(int number) const;
    void Reset(bool defaults) override;
    const char* Group() const override { return "Alarm"; }
    void Load(const QSettings& s) override;
    void Save(QSettings& s) const override;
};

// E-mail options. Texts are UTF-8.
class EmailOption : public OptionBase {
public:
    EmailOption() { Reset(true); }
    std::string smtpServer;
    int security;                   // 0 none, 1 SSL, 2 STARTTLS
    std::map<int, uint16_t> ports;  // security value -> port
    std::string sender, user, password, subject;
    std::string recipient1, recipient2, recipient3;
    void Reset(bool defaults) override;
    const char* Group() const override { return "Email"; }
    void Load(const QSettings& s) override;
    void Save(QSettings& s) const override;
};

}  // namespace LumoC

// The client configuration: one object per process holding the live option records. Records are
// read from "<AppConfigLocation>/lumoc.ini" on first use (a missing or broken value keeps its
// default) and each Write stores the whole file (written through a temporary file).
// Change notices go to attached callbacks on the calling thread (the GUI thread): code 0x2 asks
// observers to reload every option (after Reload), 0x10000 | row asks a settings dialog to show
// the page in that row.
class LumoCConfiguration {
public:
    enum { NOTICE_RELOAD = 0x2, NOTICE_SELECT_PAGE = 0x10000 };

    static LumoCConfiguration* GetLumoCConfig();

    LumoC::CommonOption* GetCommonOption() { return &m_common; }
    LumoC::FileSaveOption* GetFileOption() { return &m_file; }
    LumoC::PlaybackOption* GetPlaybackOption() { return &m_playback; }
    LumoC::VideoOption* GetVideoOption() { return &m_video; }
    LumoC::ToolbarOption* GetToolBarOption() { return &m_toolbar; }
    LumoC::AlarmOption* GetAlarmOption() { return &m_alarm; }
    LumoC::EmailOption* GetEmailOption() { return &m_email; }

    int Attach(ILumoCallback* observer, LumoSignalMember member);
    int Detach(ILumoCallback* observer, LumoSignalMember member);
    // Re-reads the file and sends NOTICE_RELOAD.
    int Reload();
    // Asks observers to show the page in `row`.
    int SelectPage(int row);

    // The ini file in use.
    QString GetFilePath() const;
    // Test seam: use another ini file (re-read at once; empty restores the default).
    void SetFilePath(const QString& path);

    // Stores one record into the file (called by the records' Write); 0 or -1.
    int WriteOption(const LumoC::OptionBase* option);

private:
    LumoCConfiguration();
    void LoadAll();

    QString m_path;
    LumoC::CommonOption m_common;
    LumoC::FileSaveOption m_file;
    LumoC::PlaybackOption m_playback;
    LumoC::VideoOption m_video;
    LumoC::ToolbarOption m_toolbar;
    LumoC::AlarmOption m_alarm;
    LumoC::EmailOption m_email;
    ILumoSignal m_signal;
};

// Devices the client knows. Device id 0 is this machine's recorder.
// Fills `dev` (address, GUID) for a device id; 0, or -1 when unknown.
int LumoCGetDev(void* context, int64_t deviceId, IVantelDataDEV* dev);
// A row for (object type, id): type 1281 gives an IVantelDataCHN whose id is
// (device id << 16) | channel index. The caller releases it; null when unknown.
IVantelData* LumoCGetVantelObject(void* context, int objectType, int64_t id);
// The record-device URL of a device ("lumofs://localhost/media" for the local recorder).
int LumoCRECGetDeviceURL(void* context, int64_t deviceId, CLumoString* url);
// Registers a device (tests and the hosts); replaces one of the same id.
int LumoCAddDev(int64_t deviceId, const char* address, const char* guid);
// Registers a network recorder by its URL (a LumoRecorderUrl: "http://[account[:password]@]host[:port]"
// or "lumofs://[account[:password]@]host[:port][/media]", kLumoRecorderDefaultPort when none is
// given): its address and GUID are "host:port" (never the account), its record-device URL the URL
// as given. The device id (1 or more; the same id again for a URL already registered), or -1 for
// a URL that LumoRecorderUrl refuses.
int64_t LumoCAddRecorder(const char* recorderUrl);
