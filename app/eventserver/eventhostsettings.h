// The event engine's settings in PavoServer.ini (group EventHost): reading them as the operator
// typed them, turning them into the engine's limits, checking them before a save, and writing.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QSettings;

// The five values as text, the form the settings page edits and the file keeps.
struct EventHostSettings {
    QString maxDevNum;
    QString maxEventRows;
    QString maxPicDays;
    QString pathDbs;
    QString pathPic;
    bool operator==(const EventHostSettings& o) const {
        return maxDevNum == o.maxDevNum && maxEventRows == o.maxEventRows && maxPicDays == o.maxPicDays &&
               pathDbs == o.pathDbs && pathPic == o.pathPic;
    }
    bool operator!=(const EventHostSettings& o) const { return !(*this == o); }
};

// What the engine is started with (0: the engine's default).
struct EventEngineLimits {
    quint16 maxDevNum = 0;
    quint16 maxPicDays = 0;
    quint32 maxEventRows = 0;
    QString pathDbs;
    QString pathPic;
};

namespace EventHost {

enum : quint32 { MinEventRows = 100000, MaxEventRows = 2147483647 };

// The stored values (a missing key is empty text). UTF-8 file.
EventHostSettings Read(const QString& iniFile);
// Read, with an empty folder replaced by `workPath` and written back (the first start).
EventHostSettings Load(const QString& iniFile, const QString& workPath);
// Writes the five keys whole; false when the file could not be written (the old file stays).
bool Write(const QString& iniFile, const EventHostSettings& s);
// Changes the file through `edit` (UTF-8) and replaces it whole, or not at all: false when it
// could not be written, a full disk included; every other key is kept.
bool EditIni(const QString& iniFile, const std::function<void(QSettings&)>& edit);

// The event-row limit pulled into 100000..2147483647 (text that is no number counts as 0).
QString ClampEventRows(const QString& text);

// Checks values for the engine; empty when they are fine, else the translation key of the first
// problem: a device count above 65535 (or not a number), picture days negative, above 65535 or
// not a number. Empty numbers stand for the engine's defaults.
QString CheckForSave(const EventHostSettings& s);
// The device count as a number (0 when empty; -1 when no valid count).
qint64 DeviceLimit(const EventHostSettings& s);

// The limits for the engine start. A stored value that is broken (not a number, out of range)
// gives the engine's default or the clamp, and is written back repaired; *repaired lists the
// keys that were.
EventEngineLimits LimitsForStart(const QString& iniFile, QStringList* repaired = nullptr);

}  // namespace EventHost
