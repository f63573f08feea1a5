#include "eventhostsettings.h"

#include <QFile>
#include <QHash>
#include <QSettings>
#include <algorithm>

#include "LumoBase/atomicfile.h"

namespace {

const char kGroup[] = "EventHost/";

QString key(const char* name) {
    return QLatin1String(kGroup) + QLatin1String(name);
}

// One codec for every key of the file, so that folders with non-ASCII names survive.
void utf8(QSettings& s) {
    s.setIniCodec("UTF-8");
}

// A whole number within 0..max; -1 when the text is none.
qint64 parseBounded(const QString& text, qint64 max) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < 0 || v > max) return -1;
    return v;
}

}  // namespace

namespace EventHost {

EventHostSettings Read(const QString& iniFile) {
    QSettings s(iniFile, QSettings::IniFormat);
    utf8(s);
    EventHostSettings r;
    r.maxDevNum = s.value(key("MaxDevNum")).toString();
    r.maxEventRows = s.value(key("MaxEventRows")).toString();
    r.maxPicDays = s.value(key("MaxPicDays")).toString();
    r.pathDbs = s.value(key("PathDbs")).toString();
    r.pathPic = s.value(key("PathPic")).toString();
    return r;
}

bool EditIni(const QString& iniFile, const std::function<void(QSettings&)>& edit) {
    // The edit is made on a copy beside the file, which then replaces it whole: QSettings alone
    // reports success for a file it left empty on a full disk.
    const LumoSaveResult saved = LumoSaveFileAtomicVia(
        QFile::encodeName(iniFile).toStdString(),
        [&](const std::string& temp) {
            const QString copy = QFile::decodeName(temp.c_str());
            if (QFile::exists(iniFile) && !QFile::copy(iniFile, copy)) return false;
            QSettings s(copy, QSettings::IniFormat);
            utf8(s);
            edit(s);
            s.sync();
            return s.status() == QSettings::NoError;
        },
        0644);
    return saved.ok();
}

EventHostSettings Load(const QString& iniFile, const QString& workPath) {
    EventHostSettings r = Read(iniFile);
    if (r.pathDbs.isEmpty() || r.pathPic.isEmpty()) {
        if (r.pathDbs.isEmpty()) r.pathDbs = workPath;
        if (r.pathPic.isEmpty()) r.pathPic = workPath;
        EditIni(iniFile, [&](QSettings& s) {
            s.setValue(key("PathDbs"), r.pathDbs);
            s.setValue(key("PathPic"), r.pathPic);
        });
    }
    return r;
}

bool Write(const QString& iniFile, const EventHostSettings& v) {
    return EditIni(iniFile, [&](QSettings& s) {
        s.setValue(key("MaxDevNum"), v.maxDevNum);
        s.setValue(key("MaxEventRows"), v.maxEventRows);
        s.setValue(key("MaxPicDays"), v.maxPicDays);
        s.setValue(key("PathDbs"), v.pathDbs);
        s.setValue(key("PathPic"), v.pathPic);
    });
}

QString ClampEventRows(const QString& text) {
    bool ok = false;
    // Wider than 32 bits, so that a long text is not wrapped before it is compared.
    const QString t = text.trimmed();
    const qint64 v = t.toLongLong(&ok);
    // Digits beyond 64 bits are still a number far above the top.
    if (!ok && !t.isEmpty() && std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); }))
        return QString::number(MaxEventRows);
    if (!ok || v < qint64(MinEventRows)) return QString::number(MinEventRows);
    if (v > qint64(MaxEventRows)) return QString::number(MaxEventRows);
    return QString::number(v);
}

QString CheckForSave(const EventHostSettings& s) {
    if (!s.maxDevNum.trimmed().isEmpty() && parseBounded(s.maxDevNum, 65535) < 0)
        return QStringLiteral("PV001_MaxDevNumRange");
    if (!s.maxPicDays.trimmed().isEmpty() && parseBounded(s.maxPicDays, 65535) < 0)
        return QStringLiteral("PV002_MaxPicDayRange");
    return QString();
}

qint64 DeviceLimit(const EventHostSettings& s) {
    if (s.maxDevNum.trimmed().isEmpty()) return 0;
    return parseBounded(s.maxDevNum, 65535);
}

EventEngineLimits LimitsForStart(const QString& iniFile, QStringList* repaired) {
    const EventHostSettings stored = Read(iniFile);
    EventEngineLimits l;
    l.pathDbs = stored.pathDbs;
    l.pathPic = stored.pathPic;
    QStringList fixed;
    QHash<QString, QString> repairs;
    // A 16-bit value from its text; a broken one is removed, so that the engine's default applies.
    auto small = [&](const QString& text, const char* name) -> quint16 {
        if (text.trimmed().isEmpty()) return 0;
        const qint64 v = parseBounded(text, 65535);
        if (v >= 0) return quint16(v);
        repairs.insert(key(name), QString());
        fixed << QLatin1String(name);
        return 0;
    };
    l.maxDevNum = small(stored.maxDevNum, "MaxDevNum");
    l.maxPicDays = small(stored.maxPicDays, "MaxPicDays");
    if (!stored.maxEventRows.trimmed().isEmpty()) {
        const QString clamped = ClampEventRows(stored.maxEventRows);
        if (clamped != stored.maxEventRows) {
            repairs.insert(key("MaxEventRows"), clamped);
            fixed << QStringLiteral("MaxEventRows");
        }
        l.maxEventRows = clamped.toUInt();
    }
    if (!repairs.isEmpty())
        EditIni(iniFile, [&](QSettings& s) {
            for (auto it = repairs.constBegin(); it != repairs.constEnd(); ++it)
                s.setValue(it.key(), it.value());
        });
    if (repaired) *repaired = fixed;
    return l;
}

}  // namespace EventHost
