#include "storageconfig.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <algorithm>
#include <set>

#include "LumoFS/LumoFS.h"

namespace kesto {

namespace {

QString textValue(const QVariant& v) {
    // An unquoted value with commas comes back from QSettings as a list.
    if (v.type() == QVariant::StringList) return v.toStringList().join(QLatin1Char(' '));
    return v.toString();
}

int64_t intValue(QSettings& s, const QString& key, int64_t def, int64_t lo, int64_t hi, StorageConf& conf) {
    if (!s.contains(key)) return def;
    bool ok = false;
    const QString text = textValue(s.value(key)).trimmed();
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < lo || v > hi) {
        conf.problems << QStringLiteral("%1/%2: \"%3\" is not a number from %4 to %5; using %6")
                             .arg(s.group(), key, text)
                             .arg(lo)
                             .arg(hi)
                             .arg(def);
        return def;
    }
    return v;
}

std::string safeShortName(const QString& wanted) {
    std::string out;
    for (QChar c : wanted) {
        const ushort u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                        u == '.' || u == '_' || u == '-';
        out += ok ? static_cast<char>(u) : '_';
    }
    return out;
}

uint8_t videoCodecByName(const QString& n, bool* ok) {
    *ok = true;
    const QString u = n.toUpper();
    if (u == "H264" || u == "AVC") return LUMO_CODEC_H264;
    if (u == "H265" || u == "HEVC") return LUMO_CODEC_H265;
    if (u == "H264P") return 16;
    if (u == "H265P") return 32;
    if (u == "MPEG4") return LUMO_CODEC_MPEG4;
    if (u == "MJPEG" || u == "JPEG") return LUMO_CODEC_JPEG;
    *ok = false;
    return 0;
}

uint8_t audioCodecByName(const QString& n, bool* ok) {
    *ok = true;
    const QString u = n.toUpper();
    if (u == "NONE") return LUMO_CODEC_NONE;
    if (u == "PCMA" || u == "G711A") return LUMO_CODEC_PCMA;
    if (u == "PCMU" || u == "G711U") return LUMO_CODEC_PCMU;
    if (u == "ADPCM") return LUMO_CODEC_ADPCM;
    if (u == "MP3") return LUMO_CODEC_MP3;
    if (u == "AAC") return LUMO_CODEC_AAC;
    if (u == "PCM") return LUMO_CODEC_PCM;
    *ok = false;
    return 0;
}

}  // namespace

bool ParseStreamLine(const QString& line, StreamConf* out, QString* why) {
    QString text = line;
    text.replace(QLatin1Char(','), QLatin1Char(' '));
    const QStringList t = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (t.size() < 5 || t.size() > 6) {
        if (why) *why = QStringLiteral("expected \"codec WxH fps kbps mode [audio]\"");
        return false;
    }
    StreamConf s;
    bool ok = false;
    s.videoCodec = videoCodecByName(t[0], &ok);
    if (!ok) {
        if (why) *why = QStringLiteral("unknown video codec %1").arg(t[0]);
        return false;
    }
    const QStringList wh = t[1].toLower().split(QLatin1Char('x'));
    bool okW = false, okH = false;
    const int w = wh.size() == 2 ? wh[0].toInt(&okW) : 0;
    const int h = wh.size() == 2 ? wh[1].toInt(&okH) : 0;
    if (!okW || !okH || w <= 0 || h <= 0 || w > 65535 || h > 65535) {
        if (why) *why = QStringLiteral("bad size %1").arg(t[1]);
        return false;
    }
    const int fps = t[2].toInt(&ok);
    if (!ok || fps <= 0 || fps > 1000) {
        if (why) *why = QStringLiteral("bad frame rate %1").arg(t[2]);
        return false;
    }
    const int kbps = t[3].toInt(&ok);
    if (!ok || kbps < 0 || kbps > 10000000) {
        if (why) *why = QStringLiteral("bad bit rate %1").arg(t[3]);
        return false;
    }
    const QString m = t[4].toLower();
    if (m == "none" || m == "off")
        s.recordMode = 0;
    else if (m == "schedule")
        s.recordMode = 1;
    else if (m == "event")
        s.recordMode = 2;
    else if (m == "manual")
        s.recordMode = 16;
    else {
        if (why) *why = QStringLiteral("unknown record mode %1").arg(t[4]);
        return false;
    }
    if (t.size() == 6) {
        s.audioCodec = audioCodecByName(t[5], &ok);
        if (!ok) {
            if (why) *why = QStringLiteral("unknown audio codec %1").arg(t[5]);
            return false;
        }
    }
    s.width = static_cast<uint16_t>(w);
    s.height = static_cast<uint16_t>(h);
    s.frameRate = static_cast<uint16_t>(fps);
    s.bitRateKbps = kbps;
    s.present = true;
    if (out) *out = s;
    return true;
}

StorageConf LoadStorageConf(const QString& settingsFile) {
    StorageConf conf;
    conf.settingsFile = QFileInfo(settingsFile).absoluteFilePath();
    const QDir base = QFileInfo(conf.settingsFile).absoluteDir();
    conf.fileFound = QFileInfo(conf.settingsFile).isFile();
    conf.root = base.absolutePath();
    if (!conf.fileFound) {
        DiskConf d;
        d.number = 1;
        d.path = base.absoluteFilePath(QStringLiteral("storage"));
        d.shortName = "disk1";
        conf.disks.push_back(d);
        return conf;
    }

    QSettings s(conf.settingsFile, QSettings::IniFormat);
    s.setIniCodec("UTF-8");
    if (s.status() != QSettings::NoError)
        conf.problems << QStringLiteral("%1 could not be read completely").arg(conf.settingsFile);

    s.beginGroup(QStringLiteral("storage"));
    const QString root = textValue(s.value(QStringLiteral("root"))).trimmed();
    if (!root.isEmpty()) conf.root = QDir::cleanPath(base.absoluteFilePath(root));
    conf.freeSpaceFloorMB = intValue(s, QStringLiteral("freeSpaceFloorMB"), 256, 0, int64_t(1) << 40, conf);
    conf.blockCapacityMB = intValue(s, QStringLiteral("blockCapacityMB"), 256, 1, int64_t(1) << 30, conf);
    s.endGroup();

    const QDir rootDir(conf.root);
    static const QRegularExpression diskRe(QStringLiteral("^disk(\\d{1,4})$"));
    static const QRegularExpression chanRe(QStringLiteral("^channel(\\d{1,4})$"));
    std::set<std::string> names;
    const QStringList groups = s.childGroups();
    for (const QString& g : groups) {
        QRegularExpressionMatch m = diskRe.match(g);
        if (m.hasMatch()) {
            s.beginGroup(g);
            DiskConf d;
            d.number = m.captured(1).toInt();
            const QString path = textValue(s.value(QStringLiteral("path"))).trimmed();
            if (path.isEmpty()) {
                conf.problems << QStringLiteral("%1 has no path; ignored").arg(g);
                s.endGroup();
                continue;
            }
            d.path = QDir::cleanPath(rootDir.absoluteFilePath(path));
            QString name = textValue(s.value(QStringLiteral("name"))).trimmed();
            if (name.isEmpty()) name = g;
            d.shortName = safeShortName(name);
            if (QString::fromStdString(d.shortName) != name)
                conf.problems << QStringLiteral("%1/name \"%2\" shown as \"%3\"")
                                     .arg(g, name, QString::fromStdString(d.shortName));
            d.type = static_cast<uint32_t>(intValue(s, QStringLiteral("type"), 0, 0, 0xFFFFFFFFll, conf));
            d.capacityMB = intValue(s, QStringLiteral("capacityMB"), 0, 0, int64_t(1) << 40, conf);
            s.endGroup();
            conf.disks.push_back(d);
            continue;
        }
        m = chanRe.match(g);
        if (m.hasMatch()) {
            ChannelConf c;
            c.number = m.captured(1).toInt();
            if (c.number < 1 || c.number > 64) {
                conf.problems << QStringLiteral("%1: channels are numbered 1 to 64; ignored").arg(g);
                continue;
            }
            s.beginGroup(g);
            c.cuid = textValue(s.value(QStringLiteral("cuid"))).trimmed().toStdString();
            c.name = textValue(s.value(QStringLiteral("name"))).trimmed().toStdString();
            static const char* const keys[3] = {"main", "sub", "third"};
            for (int i = 0; i < 3; ++i) {
                const QString key = QLatin1String(keys[i]);
                if (!s.contains(key)) continue;
                QString why;
                if (!ParseStreamLine(textValue(s.value(key)), &c.streams[i], &why))
                    conf.problems << QStringLiteral("%1/%2: %3; stream ignored").arg(g, key, why);
            }
            s.endGroup();
            conf.channels.push_back(c);
        }
    }
    std::sort(conf.disks.begin(), conf.disks.end(),
              [](const DiskConf& a, const DiskConf& b) { return a.number < b.number; });
    std::sort(conf.channels.begin(), conf.channels.end(),
              [](const ChannelConf& a, const ChannelConf& b) { return a.number < b.number; });
    // A disk inside another (or the same folder twice) would be indexed twice and emptied by the
    // other's format: keep the first, drop the rest.
    std::vector<DiskConf> kept;
    for (const DiskConf& d : conf.disks) {
        bool clash = false;
        for (const DiskConf& k : kept) {
            auto slashed = [](const QString& p) {
                return p.endsWith(QLatin1Char('/')) ? p : p + QLatin1Char('/');
            };
            const QString a = slashed(d.path), b = slashed(k.path);
            if (a.startsWith(b) || b.startsWith(a)) {
                conf.problems << QStringLiteral("disk%1: %2 overlaps disk%3; ignored")
                                     .arg(d.number)
                                     .arg(d.path)
                                     .arg(k.number);
                clash = true;
                break;
            }
        }
        if (!clash) kept.push_back(d);
    }
    conf.disks.swap(kept);
    // Short names address disks in record URIs: keep them unique.
    for (DiskConf& d : conf.disks) {
        std::string name = d.shortName;
        for (int n = 2; names.count(name); ++n) name = d.shortName + "-" + std::to_string(n);
        if (name != d.shortName)
            conf.problems << QStringLiteral("disk%1: name %2 is taken; shown as %3")
                                 .arg(d.number)
                                 .arg(QString::fromStdString(d.shortName), QString::fromStdString(name));
        d.shortName = name;
        names.insert(name);
    }
    return conf;
}

}  // namespace kesto
