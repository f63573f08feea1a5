#include <QDir>
#include <QFileInfo>
#include "LumoBase/atomicfile.h"
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <mutex>

#include "LumoCClient/LumoCClient.h"

namespace {

// Values read from the file are trusted only within their range; anything else keeps the default.
int ReadInt(const QSettings& s, const char* key, int def, int lo, int hi) {
    bool ok = false;
    int v = s.value(QLatin1String(key)).toInt(&ok);
    return (ok && v >= lo && v <= hi) ? v : def;
}

int ReadIntIn(const QSettings& s, const char* key, int def, std::initializer_list<int> allowed) {
    bool ok = false;
    int v = s.value(QLatin1String(key)).toInt(&ok);
    if (!ok) return def;
    for (int a : allowed)
        if (a == v) return v;
    return def;
}

bool ReadBool(const QSettings& s, const char* key, bool def) {
    QVariant v = s.value(QLatin1String(key));
    if (!v.isValid()) return def;
    QString t = v.toString().trimmed().toLower();
    if (t == "true" || t == "1") return true;
    if (t == "false" || t == "0") return false;
    return def;
}

QString ReadString(const QSettings& s, const char* key, const QString& def) {
    QVariant v = s.value(QLatin1String(key));
    return v.isValid() ? v.toString() : def;
}

std::string ReadStd(const QSettings& s, const char* key, const std::string& def) {
    QVariant v = s.value(QLatin1String(key));
    return v.isValid() ? v.toString().toStdString() : def;
}

QList<int> ReadIntList(const QSettings& s, const char* key, const QList<int>& def) {
    QVariant v = s.value(QLatin1String(key));
    if (!v.isValid()) return def;
    QList<int> out;
    const QStringList parts = v.toStringList();
    for (const QString& p : parts) {
        bool ok = false;
        int n = p.trimmed().toInt(&ok);
        if (!ok) return def;
        out.append(n);
    }
    return out;
}

QStringList IntListToStrings(const QList<int>& l) {
    QStringList out;
    for (int v : l) out << QString::number(v);
    return out;
}

QString HomeSub(const char* location, const char* sub) {
    QString base = QStandardPaths::writableLocation(location[0] == 'P' ? QStandardPaths::PicturesLocation
                                                                       : QStandardPaths::MoviesLocation);
    if (base.isEmpty()) base = QDir::homePath() + (location[0] == 'P' ? "/Pictures" : "/Videos");
    return QDir::cleanPath(base + "/" + QLatin1String(sub));
}

}  // namespace

namespace LumoC {

int OptionBase::Write() {
    return LumoCConfiguration::GetLumoCConfig()->WriteOption(this);
}

void CommonOption::Reset(bool) {
    logKeepTime = 4;
    autoRun = false;
    startWithLast = false;
    autoFullScreen = false;
}
void CommonOption::Load(const QSettings& s) {
    logKeepTime = ReadInt(s, "LogKeepTime", logKeepTime, 1, 7);
    autoRun = ReadBool(s, "AutoRun", autoRun);
    startWithLast = ReadBool(s, "StartWithLast", startWithLast);
    autoFullScreen = ReadBool(s, "AutoFullScreen", autoFullScreen);
}
void CommonOption::Save(QSettings& s) const {
    s.setValue("LogKeepTime", logKeepTime);
    s.setValue("AutoRun", autoRun);
    s.setValue("StartWithLast", startWithLast);
    s.setValue("AutoFullScreen", autoFullScreen);
}

void FileSaveOption::Reset(bool) {
    recordFolder = HomeSub("V", "Vantel/Record");
    recordRule = "GUID-CHN-STREAM-YYYYMMDD-HHMMSS";
    clipFolder = HomeSub("V", "Vantel/Clip");
    pictureFolder = HomeSub("P", "Vantel");
    pictureRule = "GUID-CHN-STREAM-YYYYMMDD-HHMMSS";
}
void FileSaveOption::Load(const QSettings& s) {
    recordFolder = ReadString(s, "RecordFolder", recordFolder);
    recordRule = ReadString(s, "RecordRule", recordRule);
    clipFolder = ReadString(s, "ClipFolder", clipFolder);
    pictureFolder = ReadString(s, "PictureFolder", pictureFolder);
    pictureRule = ReadString(s, "PictureRule", pictureRule);
}
void FileSaveOption::Save(QSettings& s) const {
    s.setValue("RecordFolder", recordFolder);
    s.setValue("RecordRule", recordRule);
    s.setValue("ClipFolder", clipFolder);
    s.setValue("PictureFolder", pictureFolder);
    s.setValue("PictureRule", pictureRule);
}

void PlaybackOption::Reset(bool) {
    packetType = 3;
    mergeRate = 0;
    searchLocation = 0;
    priorPlayTime = 30;
    recorderPriority = false;
    previewOff = false;
    smartRecord = false;
}
void PlaybackOption::Load(const QSettings& s) {
    packetType = ReadIntIn(s, "PacketType", packetType, {1, 2, 3});
    mergeRate = ReadInt(s, "MergeRate", mergeRate, 0, 2);
    searchLocation = ReadInt(s, "SearchLocation", searchLocation, 0, 1);
    priorPlayTime = ReadIntIn(s, "PriorPlayTime", priorPlayTime, {1, 5, 10, 30, 60, 90, 1800, 3600});
    recorderPriority = ReadBool(s, "RecorderPriority", recorderPriority);
    previewOff = ReadBool(s, "PreviewOff", previewOff);
    smartRecord = ReadBool(s, "SmartRecord", smartRecord);
}
void PlaybackOption::Save(QSettings& s) const {
    s.setValue("PacketType", packetType);
    s.setValue("MergeRate", mergeRate);
    s.setValue("SearchLocation", searchLocation);
    s.setValue("PriorPlayTime", priorPlayTime);
    s.setValue("RecorderPriority", recorderPriority);
    s.setValue("PreviewOff", previewOff);
    s.setValue("SmartRecord", smartRecord);
}

void VideoOption::Reset(bool) {
    captureFormat = 0;
    displayScale = 3;
    quality = 1;
    frameRate = 25;
    hardDecoder = false;
    smartRuleDisplay = false;
    packetType = 3;
}
void VideoOption::Load(const QSettings& s) {
    captureFormat = ReadInt(s, "CaptureFormat", captureFormat, 0, 1);
    displayScale = ReadInt(s, "DisplayScale", displayScale, 0, 3);
    quality = ReadInt(s, "Quality", quality, 0, 2);
    frameRate = ReadInt(s, "FrameRate", frameRate, 1, 144);
    hardDecoder = ReadBool(s, "HardDecoder", hardDecoder);
    smartRuleDisplay = ReadBool(s, "SmartRuleDisplay", smartRuleDisplay);
    packetType = ReadIntIn(s, "PacketType", packetType, {1, 2, 3});
}
void VideoOption::Save(QSettings& s) const {
    s.setValue("CaptureFormat", captureFormat);
    s.setValue("DisplayScale", displayScale);
    s.setValue("Quality", quality);
    s.setValue("FrameRate", frameRate);
    s.setValue("HardDecoder", hardDecoder);
    s.setValue("SmartRuleDisplay", smartRuleDisplay);
    s.setValue("PacketType", packetType);
}

void ToolbarOption::Reset(bool) {
    showToolbar = true;
    previewButtons = {0, 1, 2, 3, 4, 5};
    playbackButtons = {0, 1, 2, 3, 4, 5};
}
void ToolbarOption::Load(const QSettings& s) {
    showToolbar = ReadBool(s, "ShowToolbar", showToolbar);
    previewButtons = ReadIntList(s, "PreviewButtons", previewButtons);
    playbackButtons = ReadIntList(s, "PlaybackButtons", playbackButtons);
}
void ToolbarOption::Save(QSettings& s) const {
    s.setValue("ShowToolbar", showToolbar);
    s.setValue("PreviewButtons", IntListToStrings(previewButtons));
    s.setValue("PlaybackButtons", IntListToStrings(playbackButtons));
}

const char* AlarmOption::GetAlarmSound(int number) const {
    for (const CustomizeAlarm& a : alarms)
        if (a.number == number) return a.soundPath.c_str();
    return "";
}
void AlarmOption::Reset(bool) {
    // The built-in alarm types, numbered from 1; their names are translation keys.
    static const struct {
        int number;
        const char* name;
    } builtIn[] = {{1, "K2220_MobeileDetection"}, {2, "K2221_AudioVedioAbnor"}, {3, "K2222_AlarmIn"},
                   {4, "K2223_AIAlarm"},          {5, "K2225_DeviceErr"},       {6, "K2226_AccessControl"},
                   {7, "K2227_OtherAlarm"},       {8, "K2228_UserDefineType"}};
    alarms.clear();
    for (const auto& b : builtIn) alarms.push_back(CustomizeAlarm{b.number, b.name, std::string()});
}
void AlarmOption::Load(const QSettings& s) {
    QVariant count = s.value("Count");
    if (!count.isValid()) return;
    bool ok = false;
    int n = count.toInt(&ok);
    if (!ok || n < 0 || n > 1024) return;
    std::vector<CustomizeAlarm> loaded;
    for (int i = 0; i < n; ++i) {
        QString prefix = QString("Alarm%1/").arg(i);
        bool numOk = false;
        int number = s.value(prefix + "Number").toInt(&numOk);
        if (!numOk) continue;
        loaded.push_back(CustomizeAlarm{number, s.value(prefix + "Type").toString().toStdString(),
                                        s.value(prefix + "Sound").toString().toStdString()});
    }
    alarms = loaded;
}
void AlarmOption::Save(QSettings& s) const {
    s.setValue("Count", int(alarms.size()));
    for (size_t i = 0; i < alarms.size(); ++i) {
        QString prefix = QString("Alarm%1/").arg(i);
        s.setValue(prefix + "Number", alarms[i].number);
        s.setValue(prefix + "Type", QString::fromStdString(alarms[i].typeName));
        s.setValue(prefix + "Sound", QString::fromStdString(alarms[i].soundPath));
    }
}

void EmailOption::Reset(bool) {
    smtpServer.clear();
    security = 0;
    ports = {{0, 25}, {1, 465}, {2, 587}};
    sender.clear();
    user.clear();
    password.clear();
    subject.clear();
    recipient1.clear();
    recipient2.clear();
    recipient3.clear();
}
void EmailOption::Load(const QSettings& s) {
    smtpServer = ReadStd(s, "SmtpServer", smtpServer);
    security = ReadInt(s, "Security", security, 0, 2);
    for (int k = 0; k <= 2; ++k) {
        int p = ReadInt(s, QString("Port%1").arg(k).toLatin1().constData(), ports[k], 1, 65535);
        ports[k] = static_cast<uint16_t>(p);
    }
    sender = ReadStd(s, "Sender", sender);
    user = ReadStd(s, "User", user);
    password = ReadStd(s, "Password", password);
    subject = ReadStd(s, "Subject", subject);
    recipient1 = ReadStd(s, "Recipient1", recipient1);
    recipient2 = ReadStd(s, "Recipient2", recipient2);
    recipient3 = ReadStd(s, "Recipient3", recipient3);
}
void EmailOption::Save(QSettings& s) const {
    s.setValue("SmtpServer", QString::fromStdString(smtpServer));
    s.setValue("Security", security);
    for (const auto& kv : ports) s.setValue(QString("Port%1").arg(kv.first), int(kv.second));
    s.setValue("Sender", QString::fromStdString(sender));
    s.setValue("User", QString::fromStdString(user));
    s.setValue("Password", QString::fromStdString(password));
    s.setValue("Subject", QString::fromStdString(subject));
    s.setValue("Recipient1", QString::fromStdString(recipient1));
    s.setValue("Recipient2", QString::fromStdString(recipient2));
    s.setValue("Recipient3", QString::fromStdString(recipient3));
}

}  // namespace LumoC

// ---------------------------------------------------------------------------------------------

static QString DefaultConfigPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (dir.isEmpty()) dir = QDir::homePath() + "/.config/Vantel";
    return dir + "/lumoc.ini";
}

LumoCConfiguration* LumoCConfiguration::GetLumoCConfig() {
    static LumoCConfiguration* config = new LumoCConfiguration();  // lives to the end of the process
    return config;
}

LumoCConfiguration::LumoCConfiguration() : m_path(DefaultConfigPath()), m_signal(0) {
    LoadAll();
}

void LumoCConfiguration::LoadAll() {
    LumoC::OptionBase* options[] = {&m_common,  &m_file,  &m_playback, &m_video,
                                    &m_toolbar, &m_alarm, &m_email};
    for (LumoC::OptionBase* o : options) o->Reset(true);
    if (!QFileInfo::exists(m_path)) return;
    QSettings s(m_path, QSettings::IniFormat);
    s.setIniCodec("UTF-8");
    for (LumoC::OptionBase* o : options) {
        s.beginGroup(QLatin1String(o->Group()));
        o->Load(s);
        s.endGroup();
    }
}

int LumoCConfiguration::WriteOption(const LumoC::OptionBase* option) {
    if (!option) return -1;
    QFileInfo fi(m_path);
    if (!QDir().mkpath(fi.absolutePath())) return -1;
    // Build the whole new file beside the old one, then replace it in one step, so that a crash
    // or a full disk never leaves a half-written settings file.
    QTemporaryFile tmp(fi.absolutePath() + "/.lumoc-XXXXXX.ini");
    if (!tmp.open()) return -1;
    tmp.close();
    if (QFileInfo::exists(m_path)) {
        QFile::remove(tmp.fileName());
        if (!QFile::copy(m_path, tmp.fileName())) return -1;
    }
    {
        QSettings s(tmp.fileName(), QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        s.beginGroup(QLatin1String(option->Group()));
        s.remove(QString());
        option->Save(s);
        s.endGroup();
        s.sync();
        if (s.status() != QSettings::NoError) return -1;
    }
    QFile in(tmp.fileName());
    if (!in.open(QIODevice::ReadOnly)) return -1;
    QByteArray data = in.readAll();
    in.close();
    // The file holds the mail account's password: only its owner may read it.
    const LumoSaveResult saved =
        LumoSaveFileAtomic(QFile::encodeName(m_path).toStdString(), data.constData(), size_t(data.size()), 0600);
    if (!saved.ok()) {
        LumoPrintf("LumoCConfiguration: %s\n", saved.message.c_str());
        return -1;
    }
    return 0;
}

int LumoCConfiguration::Attach(ILumoCallback* observer, LumoSignalMember member) {
    return m_signal.Attach(observer, member);
}

int LumoCConfiguration::Detach(ILumoCallback* observer, LumoSignalMember member) {
    return m_signal.Detach(observer, member);
}

int LumoCConfiguration::Reload() {
    LoadAll();
    m_signal.Commit(this, NOTICE_RELOAD, nullptr, nullptr);
    return 0;
}

int LumoCConfiguration::SelectPage(int row) {
    if (row < 0 || row > 0xff) return -1;
    m_signal.Commit(this, NOTICE_SELECT_PAGE | row, nullptr, nullptr);
    return 0;
}

QString LumoCConfiguration::GetFilePath() const {
    return m_path;
}

void LumoCConfiguration::SetFilePath(const QString& path) {
    m_path = path.isEmpty() ? DefaultConfigPath() : path;
    LoadAll();
}
