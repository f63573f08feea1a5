#include "storageconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>

#include "LumoFS/LumoFS.h"

namespace kesto {

namespace {

// Where each group and key stands in the file: QSettings reads the values but knows no lines.
struct IniScan {
    std::map<QString, std::vector<int>> groups;                   // header lines, in file order
    std::map<QString, std::map<QString, std::vector<int>>> keys;  // per group, per key
    std::vector<int> badUtf8;                                     // lines that are not UTF-8
    bool hasContent = false;                                      // a setting or a header at all

    int groupLine(const QString& g) const {
        auto it = groups.find(g);
        return it == groups.end() || it->second.empty() ? 0 : it->second.front();
    }
    // QSettings keeps the last value of a key given twice: that line.
    int keyLine(const QString& g, const QString& k) const {
        auto it = keys.find(g);
        if (it != keys.end()) {
            auto kt = it->second.find(k);
            if (kt != it->second.end() && !kt->second.empty()) return kt->second.back();
        }
        return groupLine(g);
    }
};

bool validUtf8(const char* p, int n) {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    for (int i = 0; i < n;) {
        const unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned min = 0, v = 0;
        if ((c & 0xE0) == 0xC0) {
            more = 1;
            min = 0x80;
            v = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            min = 0x800;
            v = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            min = 0x10000;
            v = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= n) return false;
        for (int k = 1; k <= more; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            v = (v << 6) | (s[i + k] & 0x3F);
        }
        if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
        i += more + 1;
    }
    return true;
}

IniScan scanIni(const QByteArray& raw) {
    IniScan scan;
    QString group = QStringLiteral("General");
    const QList<QByteArray> lines = raw.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        const QByteArray& bytes = lines[i];
        if (!validUtf8(bytes.constData(), bytes.size())) scan.badUtf8.push_back(number);
        const QString line = QString::fromUtf8(bytes).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        scan.hasContent = true;
        if (line.startsWith(QLatin1Char('['))) {
            const int close = line.lastIndexOf(QLatin1Char(']'));
            group = line.mid(1, close > 0 ? close - 1 : -1).trimmed();
            scan.groups[group].push_back(number);
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0) scan.keys[group][line.left(eq).trimmed()].push_back(number);
    }
    return scan;
}

QString textValue(const QVariant& v) {
    // An unquoted value with commas comes back from QSettings as a list.
    if (v.type() == QVariant::StringList) return v.toStringList().join(QLatin1Char(' '));
    return v.toString();
}

struct Reader {
    QSettings& s;
    const IniScan& scan;
    StorageConf& conf;

    void problem(int line, const QString& text) { conf.problems.push_back({line, text}); }

    // A number of the group the settings object is in.
    int64_t intValue(const QString& key, int64_t def, int64_t lo, int64_t hi) {
        if (!s.contains(key)) return def;
        bool ok = false;
        const QString text = textValue(s.value(key)).trimmed();
        const qlonglong v = text.toLongLong(&ok);
        if (!ok || v < lo || v > hi) {
            problem(scan.keyLine(s.group(), key),
                    QStringLiteral("[%1] %2: \"%3\" is not a number from %4 to %5; the engine uses %6")
                        .arg(s.group(), key, text)
                        .arg(lo)
                        .arg(hi)
                        .arg(def));
            return def;
        }
        return v;
    }
};

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

struct NumberedGroup {
    QString name;
    int number = 0;
    int line = 0;
};

// Groups matching `re` in file order; a number given twice ([channel1] and [channel01]) keeps the
// first and reports the rest.
std::vector<NumberedGroup> numberedGroups(const QStringList& groups, const QRegularExpression& re,
                                          const IniScan& scan, const QString& what, int lo, int hi,
                                          StorageConf& conf) {
    std::vector<NumberedGroup> found;
    for (const QString& g : groups) {
        const QRegularExpressionMatch m = re.match(g);
        if (m.hasMatch()) found.push_back({g, m.captured(1).toInt(), scan.groupLine(g)});
    }
    std::sort(found.begin(), found.end(),
              [](const NumberedGroup& a, const NumberedGroup& b) { return a.line < b.line; });
    std::vector<NumberedGroup> kept;
    std::map<int, int> firstLine;
    for (const NumberedGroup& g : found) {
        if (g.number < lo || g.number > hi) {
            conf.problems.push_back(
                {g.line, QStringLiteral("[%1]: %2s are numbered %3 to %4; the group is ignored")
                             .arg(g.name, what)
                             .arg(lo)
                             .arg(hi)});
            continue;
        }
        auto it = firstLine.find(g.number);
        if (it != firstLine.end()) {
            conf.problems.push_back(
                {g.line, QStringLiteral("[%1] names %2 %3 again (first at line %4); the group is ignored")
                             .arg(g.name, what)
                             .arg(g.number)
                             .arg(it->second)});
            continue;
        }
        firstLine[g.number] = g.line;
        kept.push_back(g);
    }
    return kept;
}

DiskConf defaultDisk(const QDir& base) {
    DiskConf d;
    d.number = 1;
    d.path = base.absoluteFilePath(QStringLiteral("storage"));
    d.realPath = ResolveRealPath(d.path);
    d.shortName = "disk1";
    return d;
}

bool isPrefixFolder(const std::string& outer, const std::string& inner) {
    const std::string prefix = outer == "/" ? outer : outer + "/";
    return inner.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::string ResolveRealPath(const QString& path) {
    const QString abs = QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path);
    QStringList rest;
    QString cur = abs;
    for (;;) {
        char buf[PATH_MAX];
        if (::realpath(QFile::encodeName(cur).constData(), buf)) {
            QString real = QFile::decodeName(QByteArray(buf));
            if (!rest.isEmpty())
                real = QDir::cleanPath(real + QLatin1Char('/') + rest.join(QLatin1Char('/')));
            return QFile::encodeName(real).toStdString();
        }
        const int slash = cur.lastIndexOf(QLatin1Char('/'));
        if (slash < 0 || cur == QLatin1String("/"))
            return QFile::encodeName(QDir::cleanPath(abs)).toStdString();
        rest.prepend(cur.mid(slash + 1));
        cur = slash == 0 ? QStringLiteral("/") : cur.left(slash);
    }
}

QString ProblemLine(const StorageConf& conf, const ConfProblem& p) {
    return QStringLiteral("%1:%2: %3").arg(conf.settingsFile).arg(p.line).arg(p.text);
}

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
    conf.root = base.absolutePath();
    const QFileInfo info(conf.settingsFile);
    if (!info.exists() && !info.isSymLink()) {
        conf.disks.push_back(defaultDisk(base));
        return conf;
    }
    conf.fileFound = true;
    const QString nothing = QStringLiteral("; no disk and no channel is configured");
    if (!info.isFile()) {
        conf.problems.push_back(
            {0, QStringLiteral("the settings file is not a file that can be read") + nothing});
        return conf;
    }
    QFile file(conf.settingsFile);
    QByteArray raw;
    if (file.open(QIODevice::ReadOnly)) raw = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        conf.problems.push_back(
            {0, QStringLiteral("the settings file cannot be read (%1)").arg(file.errorString()) + nothing});
        return conf;
    }
    file.close();
    const IniScan scan = scanIni(raw);
    if (!scan.hasContent) {
        conf.problems.push_back(
            {0, QStringLiteral("the settings file is empty; the engine uses its defaults: one "
                               "disk, the folder \"storage\" beside the settings file")});
        conf.disks.push_back(defaultDisk(base));
        return conf;
    }

    QSettings s(conf.settingsFile, QSettings::IniFormat);
    s.setIniCodec("UTF-8");
    if (s.status() != QSettings::NoError)
        conf.problems.push_back(
            {0,
             QStringLiteral("the settings file could not be read completely; what could be read is used")});
    Reader r{s, scan, conf};
    std::set<int> reportedLines;  // lines whose bad bytes are already reported with what they cost

    s.beginGroup(QStringLiteral("storage"));
    const QString root = textValue(s.value(QStringLiteral("root"))).trimmed();
    if (!root.isEmpty()) conf.root = QDir::cleanPath(base.absoluteFilePath(root));
    conf.freeSpaceFloorMB = r.intValue(QStringLiteral("freeSpaceFloorMB"), 256, 0, int64_t(1) << 40);
    conf.blockCapacityMB = r.intValue(QStringLiteral("blockCapacityMB"), 256, 1, int64_t(1) << 30);
    s.endGroup();

    const QDir rootDir(conf.root);
    const QStringList groups = s.childGroups();
    static const QRegularExpression diskRe(QStringLiteral("^disk(\\d{1,4})$"));
    static const QRegularExpression chanRe(QStringLiteral("^channel(\\d{1,4})$"));

    for (const NumberedGroup& g :
         numberedGroups(groups, diskRe, scan, QStringLiteral("disk"), 1, 9999, conf)) {
        s.beginGroup(g.name);
        DiskConf d;
        d.number = g.number;
        d.line = g.line;
        d.pathLine = scan.keyLine(g.name, QStringLiteral("path"));
        const QString path = textValue(s.value(QStringLiteral("path"))).trimmed();
        const bool badBytes =
            std::find(scan.badUtf8.begin(), scan.badUtf8.end(), d.pathLine) != scan.badUtf8.end();
        if (path.isEmpty() || badBytes) {
            if (badBytes) reportedLines.insert(d.pathLine);
            r.problem(
                path.isEmpty() ? g.line : d.pathLine,
                path.isEmpty()
                    ? QStringLiteral("[%1] has no path; the disk is ignored").arg(g.name)
                    : QStringLiteral("the path of [%1] is not valid UTF-8; the disk is ignored").arg(g.name));
            s.endGroup();
            continue;
        }
        d.path = QDir::cleanPath(rootDir.absoluteFilePath(path));
        // Links and ".." are resolved as the system does, on the path as written.
        d.realPath = ResolveRealPath(rootDir.absoluteFilePath(path));
        QString name = textValue(s.value(QStringLiteral("name"))).trimmed();
        if (name.isEmpty()) name = g.name;
        d.shortName = safeShortName(name);
        if (QString::fromStdString(d.shortName) != name)
            r.problem(
                scan.keyLine(g.name, QStringLiteral("name")),
                QStringLiteral("[%1] name \"%2\" may only hold letters, digits, '.', '_' and '-'; it is "
                               "shown as \"%3\"")
                    .arg(g.name, name, QString::fromStdString(d.shortName)));
        d.type = static_cast<uint32_t>(r.intValue(QStringLiteral("type"), 0, 0, 0xFFFFFFFFll));
        d.capacityMB = r.intValue(QStringLiteral("capacityMB"), 0, 0, int64_t(1) << 40);
        s.endGroup();
        conf.disks.push_back(d);
    }

    for (const NumberedGroup& g :
         numberedGroups(groups, chanRe, scan, QStringLiteral("channel"), 1, 64, conf)) {
        ChannelConf c;
        c.number = g.number;
        s.beginGroup(g.name);
        c.cuid = textValue(s.value(QStringLiteral("cuid"))).trimmed().toStdString();
        c.name = textValue(s.value(QStringLiteral("name"))).trimmed().toStdString();
        static const char* const keys[3] = {"main", "sub", "third"};
        for (int i = 0; i < 3; ++i) {
            const QString key = QLatin1String(keys[i]);
            if (!s.contains(key)) continue;
            QString why;
            if (!ParseStreamLine(textValue(s.value(key)), &c.streams[i], &why))
                r.problem(scan.keyLine(g.name, key),
                          QStringLiteral("[%1] %2: %3; the stream is left out").arg(g.name, key, why));
        }
        s.endGroup();
        conf.channels.push_back(c);
    }

    std::sort(conf.disks.begin(), conf.disks.end(),
              [](const DiskConf& a, const DiskConf& b) { return a.number < b.number; });
    std::sort(conf.channels.begin(), conf.channels.end(),
              [](const ChannelConf& a, const ChannelConf& b) { return a.number < b.number; });

    // A disk whose folder is another's (the same folder under another name, through a link or
    // "..") or lies inside or around another's would be indexed twice and emptied by the other's
    // format: compared by real paths, the first in number order is kept, the later one ignored.
    std::vector<DiskConf> kept;
    for (const DiskConf& d : conf.disks) {
        const DiskConf* clash = nullptr;
        QString how;
        for (const DiskConf& k : kept) {
            if (d.realPath == k.realPath)
                how = QStringLiteral("is the same folder as disk %1's (%2)");
            else if (isPrefixFolder(k.realPath, d.realPath))
                how = QStringLiteral("lies inside disk %1's folder %2");
            else if (isPrefixFolder(d.realPath, k.realPath))
                how = QStringLiteral("holds disk %1's folder %2");
            if (!how.isEmpty()) {
                clash = &k;
                break;
            }
        }
        if (clash) {
            r.problem(d.pathLine, QStringLiteral("disk %1's folder %2 %3; disk %1 is ignored")
                                      .arg(d.number)
                                      .arg(d.path)
                                      .arg(how.arg(clash->number).arg(clash->path)));
            continue;
        }
        kept.push_back(d);
    }
    conf.disks.swap(kept);

    // Short names address disks in record URIs: keep them unique.
    std::set<std::string> names;
    for (DiskConf& d : conf.disks) {
        std::string name = d.shortName;
        for (int n = 2; names.count(name); ++n) name = d.shortName + "-" + std::to_string(n);
        if (name != d.shortName)
            r.problem(scan.keyLine(QStringLiteral("disk%1").arg(d.number), QStringLiteral("name")),
                      QStringLiteral("disk %1's name %2 is taken by another disk; it is shown as %3")
                          .arg(d.number)
                          .arg(QString::fromStdString(d.shortName), QString::fromStdString(name)));
        d.shortName = name;
        names.insert(name);
    }

    for (int line : scan.badUtf8)
        if (!reportedLines.count(line))
            r.problem(line, QStringLiteral("the line is not valid UTF-8; its invalid bytes read as U+FFFD"));
    if (conf.disks.empty()) r.problem(0, QStringLiteral("no usable [diskN] group: the engine has no disk"));

    std::stable_sort(conf.problems.begin(), conf.problems.end(),
                     [](const ConfProblem& a, const ConfProblem& b) { return a.line < b.line; });
    return conf;
}

}  // namespace kesto
