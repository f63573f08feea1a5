#include "player/playerfiles.h"

#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

#include "LumoBase/atomicfile.h"
#include "player/playfile.h"

namespace {

// Longest encoded list name; with ".xml" it stays well inside a file name's 255 bytes.
const int kMaxListFileName = 240;

void SetError(QString* error, const QString& text) {
    if (error) *error = text;
}

// C's "%d": leading blanks and a sign, stops at the first non-digit.
bool ScanInt(const QString& text, int* value) {
    const QByteArray bytes = text.toUtf8();
    return std::sscanf(bytes.constData(), "%d", value) == 1;
}

bool ScanRange(const QString& text, int low, int high, int* value) {
    int v = 0;
    if (!ScanInt(text, &v) || v < low || v > high) return false;
    *value = v;
    return true;
}

// Unsigned 64-bit with the base read from the text (0x hexadecimal, leading 0 octal).
bool ScanU64(const QString& text, uint64_t* value) {
    const QByteArray bytes = text.trimmed().toUtf8();
    if (bytes.isEmpty() || bytes.startsWith('-')) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(bytes.constData(), &end, 0);
    if (end == bytes.constData() || errno == ERANGE) return false;
    *value = v;
    return true;
}

// XML 1.0 can not carry control characters (but tab and line breaks) or unpaired surrogates;
// they are left out rather than make the whole file unreadable.
QString XmlSafe(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(c).append(text.at(++i));
            continue;
        }
        const ushort u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || c.isSurrogate() || u == 0xFFFE ||
            u == 0xFFFF)
            continue;
        out.append(c);
    }
    return out;
}

// The player's XML files in the form every version has written: the header with a blank
// before "?>", one element a line, one tab a nesting level, lines ended by "\r\n" (none after
// the root's end). Texts are escaped; attributes are written only where a value needs one.
class XmlLines {
public:
    XmlLines() { m_out = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>"; }

    void Open(const char* name) {
        Line(m_depth) += '<' + QByteArray(name) + '>';
        m_open.append(name);
        ++m_depth;
    }
    void Close() {
        --m_depth;
        Line(m_depth) += "</" + m_open.takeLast() + '>';
    }
    // extraDepth indents a leaf deeper than its nesting (the stream URLs, as they always were).
    void Leaf(const char* name, const QString& text, int extraDepth = 0,
              const QByteArray& attribute = QByteArray()) {
        QByteArray& line = Line(m_depth + extraDepth);
        line += '<' + QByteArray(name);
        if (!attribute.isEmpty()) line += ' ' + attribute;
        line += '>' + XmlSafe(text).toHtmlEscaped().toUtf8() + "</" + name + '>';
    }
    void Leaf(const char* name, qint64 value, int extraDepth = 0) {
        Leaf(name, QString::number(value), extraDepth);
    }
    QByteArray Take() { return std::move(m_out); }

private:
    QByteArray& Line(int depth) {
        m_out += "\r\n" + QByteArray(depth, '\t');
        return m_out;
    }

    QByteArray m_out;
    QList<QByteArray> m_open;
    int m_depth = 0;
};

// Files of earlier versions were written by hand, one leaf a line, with "&" and "<" left raw
// in folder and list names (only addresses had "&" written as "&amp;"). Escape each leaf's text
// so the file parses; the enclosing tags are on lines of their own and stay as they are.
QByteArray RepairLegacyXml(const QByteArray& bytes) {
    static const QRegularExpression leaf(QStringLiteral("^(\\s*)<([A-Za-z_][\\w.-]*)>(.*)</\\2>\\s*$"));
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        const QRegularExpressionMatch m = leaf.match(line);
        if (!m.hasMatch()) continue;
        const QString tag = m.captured(2);
        QString text = m.captured(3);
        if (tag == QLatin1String("Url") || tag == QLatin1String("Uri"))
            text.replace(QLatin1String("&amp;"), QLatin1String("&"));
        line = m.captured(1) + QLatin1Char('<') + tag + QLatin1Char('>') + text.toHtmlEscaped() +
               QLatin1String("</") + tag + QLatin1Char('>');
    }
    return lines.join(QLatin1Char('\n')).toUtf8();
}

bool LoadXml(const QString& path, QDomDocument* doc, QString* error) {
    QFile file(path);
    if (!file.exists()) {
        SetError(error, QStringLiteral("%1 does not exist").arg(path));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(error, QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError) {
        SetError(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    QString parseError;
    int line = 0;
    if (doc->setContent(bytes, &parseError, &line)) return true;
    if (doc->setContent(RepairLegacyXml(bytes))) return true;
    SetError(
        error,
        QStringLiteral("%1 is not a readable XML file (line %2: %3)").arg(path).arg(line).arg(parseError));
    return false;
}

QList<QDomElement> Children(const QDomElement& parent, const QString& name = QString()) {
    QList<QDomElement> out;
    for (QDomElement e = parent.firstChildElement(name); !e.isNull(); e = e.nextSiblingElement(name))
        out.append(e);
    return out;
}

// A folder as stored. An earlier clip dialog wrote Linux folders with backslashes ("\\tmp\\Cut"),
// which would name a folder in the working directory: such a value (no '/' at all, starting with
// a backslash) is read with slashes. Any other value is taken as it is, so a real folder whose
// name holds a backslash still resolves.
QString StoredFolder(const QString& stored) {
    if (stored.startsWith(QLatin1Char('\\')) && !stored.contains(QLatin1Char('/'))) {
        QString fixed = stored;
        return fixed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    return stored;
}

void ParseCommon(const QDomElement& common, PlayerSettings* s) {
    // Each value comes from its first usable occurrence; an unusable one leaves it open.
    struct IntField {
        const char* name;
        int* value;
    };
    struct TextField {
        const char* name;
        QString* value;
    };
    const IntField ints[] = {{"CapPicFormat", &s->capPicFormat},
                             {"CutRecordFormat", &s->cutRecordFormat},
                             {"CutRecordSize", &s->cutRecordSize},
                             {"BackupFormat", &s->backupFormat},
                             {"ExitKeepPlaylistFiles", &s->exitKeepPlaylistFiles},
                             {"Stick", &s->stick}};
    const TextField texts[] = {{"Language", &s->language},
                               {"CapPicFolder", &s->capPicFolder},
                               {"CutRecordFolder", &s->cutRecordFolder},
                               {"BackupFolder", &s->backupFolder}};
    for (const IntField& f : ints)
        for (const QDomElement& e : Children(common, QLatin1String(f.name)))
            if (ScanInt(e.text(), f.value)) break;
    for (const TextField& f : texts)
        for (const QDomElement& e : Children(common, QLatin1String(f.name))) {
            const QString t = e.text();
            if (!t.isEmpty() && t != QLatin1String("(null)")) {
                *f.value = f.value == &s->language ? t : StoredFolder(t);
                break;
            }
        }
}

void ParsePlayFileLists(const QDomElement& lists, PlayerSettings* s) {
    s->listNames.clear();
    for (const QDomElement& e : Children(lists, QStringLiteral("ListItem")))
        if (!e.text().isEmpty()) s->listNames.append(e.text());
    QString current;
    for (const QDomElement& e : Children(lists, QStringLiteral("CurrentListName")))
        if (!e.text().isEmpty()) {
            current = e.text();
            break;
        }
    s->currentListName = current.isEmpty() ? QStringLiteral("Playlist") : current;
}

// An address is the file system's bytes, which need not be UTF-8 nor XML text (a file named
// "caf\xe9.dav"). Such an address is stored with every byte outside printable ASCII, and every
// '%', written as "%XX", marked by the attribute; any other is stored as it reads.
const char kPercentAttribute[] = "encoding=\"percent\"";

bool IsXmlText(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    return text.toUtf8() == bytes && XmlSafe(text) == text;
}

QByteArray PercentText(const QByteArray& bytes) {
    static const QByteArray printable = [] {
        QByteArray p;
        for (char c = 0x20; c < 0x7F; ++c)
            if (c != '%') p += c;
        return p;
    }();
    return bytes.toPercentEncoding(printable);
}

QByteArray StoredAddress(const QDomElement& e) {
    if (e.attribute(QStringLiteral("encoding")) == QLatin1String("percent"))
        return QByteArray::fromPercentEncoding(e.text().toLatin1());
    return e.text().toUtf8();
}

bool ParseFileItem(const QDomElement& item, CLumoFile* file) {
    // Each field comes from its first occurrence that reads.
    auto take = [&](const char* name, const std::function<bool(const QString&)>& read) {
        for (const QDomElement& e : Children(item, QLatin1String(name)))
            if (read(e.text())) return true;
        return false;
    };
    auto nonEmpty = [](QString* out) {
        return [out](const QString& t) {
            *out = t;
            return !t.isEmpty();
        };
    };
    auto range = [](int low, int high, int* out) {
        return [=](const QString& t) { return ScanRange(t, low, high, out); };
    };
    QByteArray uri;
    for (const QDomElement& e : Children(item, QStringLiteral("Uri"))) {
        uri = StoredAddress(e);
        if (!uri.isEmpty()) break;
    }
    QString ts, te;
    uint64_t length = 0;
    int width = 0, height = 0, vcodec = 0, acodec = 0, rate = 0;
    if (uri.isEmpty() || !take("TimeS", nonEmpty(&ts)) || !take("TimeE", nonEmpty(&te)) ||
        !take("Length", [&](const QString& t) { return ScanU64(t, &length); }) ||
        !take("Width", range(0, 65535, &width)) || !take("Height", range(0, 65535, &height)) ||
        !take("Codev", range(0, 255, &vcodec)) || !take("Codea", range(0, 255, &acodec)) ||
        !take("FrameRate", [&](const QString& t) { return ScanInt(t, &rate); }))
        return false;
    file->SetUrl(uri.toStdString());
    // An entry saved with empty times keeps empty ones.
    file->timeS.ParseISO8601(ts.toUtf8().constData());
    file->timeE.ParseISO8601(te.toUtf8().constData());
    file->length = length;
    file->width = static_cast<uint16_t>(width);
    file->height = static_cast<uint16_t>(height);
    file->videoCodec = static_cast<uint8_t>(vcodec);
    file->audioCodec = static_cast<uint8_t>(acodec);
    file->frameRate = rate;
    return true;
}

QString Iso(const CLumoTime& t) {
    CLumoString s;
    t.BuildISO8601(s);
    return QString::fromUtf8(s.GetBuffer());
}

}  // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error,
                         const CommitGate& beforeCommit) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        SetError(error, QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
        return false;
    }
    bool abandoned = false;
    // The suite's whole-file save (QSaveFile reports success for a short write on a full disk).
    // The player's files hold stream passwords: readable by their owner only, from the start.
    const LumoSaveResult saved = LumoSaveFileAtomicVia(
        QFile::encodeName(path).toStdString(),
        [&](const std::string& temp) {
            const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0) return false;
            const char* p = data.constData();
            size_t left = static_cast<size_t>(data.size());
            while (left > 0) {
                const ssize_t n = ::write(fd, p, left);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    const int err = n < 0 ? errno : ENOSPC;
                    ::close(fd);
                    errno = err;
                    return false;
                }
                p += n;
                left -= static_cast<size_t>(n);
            }
            if (::close(fd) != 0) return false;
            if (beforeCommit && !beforeCommit()) {
                abandoned = true;
                errno = 0;
                return false;
            }
            return true;
        },
        0600, data.isEmpty());
    if (abandoned) {
        SetError(error, QStringLiteral("saving %1 was abandoned").arg(path));
        return false;
    }
    if (!saved.ok()) {
        SetError(error, QString::fromLocal8Bit(saved.message.c_str()));
        return false;
    }
    return true;
}

bool operator==(const PlayerSettings& a, const PlayerSettings& b) {
    return a.language == b.language && a.capPicFormat == b.capPicFormat && a.capPicFolder == b.capPicFolder &&
           a.cutRecordFormat == b.cutRecordFormat && a.cutRecordSize == b.cutRecordSize &&
           a.cutRecordFolder == b.cutRecordFolder && a.backupFormat == b.backupFormat &&
           a.backupFolder == b.backupFolder && a.exitKeepPlaylistFiles == b.exitKeepPlaylistFiles &&
           a.stick == b.stick && a.listNames == b.listNames && a.currentListName == b.currentListName &&
           a.urlRecords == b.urlRecords;
}

QByteArray SettingsXml(const PlayerSettings& s) {
    XmlLines w;
    w.Open("Config");
    w.Open("Setting");
    w.Open("Common");
    w.Leaf("Language", s.language);
    w.Leaf("CapPicFormat", s.capPicFormat);
    w.Leaf("CapPicFolder", s.capPicFolder);
    w.Leaf("CutRecordFormat", s.cutRecordFormat);
    w.Leaf("CutRecordSize", s.cutRecordSize);
    w.Leaf("CutRecordFolder", s.cutRecordFolder);
    w.Leaf("BackupFormat", s.backupFormat);
    w.Leaf("BackupFolder", s.backupFolder);
    w.Leaf("ExitKeepPlaylistFiles", s.exitKeepPlaylistFiles);
    w.Leaf("Stick", s.stick);
    w.Close();  // Common
    w.Close();  // Setting
    w.Open("Play");
    w.Open("PlayFileLists");
    if (s.exitKeepPlaylistFiles) {
        w.Leaf("ListNum", s.listNames.size());
        for (const QString& name : s.listNames) w.Leaf("ListItem", name);
        w.Leaf("CurrentListName", s.currentListName);
    } else {
        w.Leaf("ListNum", 0);
    }
    w.Close();  // PlayFileLists
    w.Close();  // Play
    w.Open("UrlRecords");
    w.Leaf("ItemCount", s.urlRecords.size());
    for (const QString& url : s.urlRecords) w.Leaf("Url", url, 1);
    w.Close();  // UrlRecords
    w.Close();  // Config
    return w.Take();
}

bool ReadSettings(const QString& path, PlayerSettings* s, QString* error) {
    QDomDocument doc;
    if (!LoadXml(path, &doc, error)) return false;
    const QDomElement root = doc.documentElement();
    const QDomElement setting = root.firstChildElement(QStringLiteral("Setting"));
    if (!setting.isNull()) {
        const QDomElement common = setting.firstChildElement(QStringLiteral("Common"));
        if (!common.isNull()) ParseCommon(common, s);
    }
    const QDomElement play = root.firstChildElement(QStringLiteral("Play"));
    if (!play.isNull()) {
        const QDomElement lists = play.firstChildElement(QStringLiteral("PlayFileLists"));
        if (!lists.isNull()) ParsePlayFileLists(lists, s);
    }
    const QDomElement urls = root.firstChildElement(QStringLiteral("UrlRecords"));
    if (!urls.isNull()) {
        s->urlRecords.clear();
        for (const QDomElement& e : Children(urls, QStringLiteral("Url")))
            if (!e.text().isEmpty()) s->urlRecords.append(e.text());
    }
    if (setting.isNull() || play.isNull() || urls.isNull()) {
        SetError(error, QStringLiteral("%1 lacks a section").arg(path));
        return false;
    }
    return true;
}

QByteArray PlayListXml(const CLumoPlayFileList& list) {
    XmlLines w;
    w.Open("PlayList");
    w.Leaf("ListName", QString::fromStdString(list.GetName()));
    w.Leaf("FileNum", list.GetCount());
    w.Open("PlayFiles");
    for (int i = 0; i < list.GetCount(); ++i) {
        const CLumoFile* f = list.GetAt(i);
        w.Open("FileItem");
        const QByteArray url = QByteArray::fromStdString(f->url);
        if (IsXmlText(url))
            w.Leaf("Uri", QString::fromUtf8(url));
        else
            w.Leaf("Uri", QString::fromLatin1(PercentText(url)), 0, kPercentAttribute);
        w.Leaf("TimeS", Iso(f->timeS));
        w.Leaf("TimeE", Iso(f->timeE));
        w.Leaf("Length", QString::number(f->length));
        w.Leaf("Width", f->width);
        w.Leaf("Height", f->height);
        w.Leaf("Codev", f->videoCodec);
        w.Leaf("Codea", f->audioCodec);
        w.Leaf("FrameRate", f->frameRate);
        w.Close();  // FileItem
    }
    w.Close();  // PlayFiles
    w.Close();  // PlayList
    return w.Take();
}

bool ReadPlayList(const QString& path, CLumoPlayFileList* list, QString* error) {
    if (!list) return false;
    QDomDocument doc;
    if (!LoadXml(path, &doc, error)) return false;
    const QDomElement files = doc.documentElement().firstChildElement(QStringLiteral("PlayFiles"));
    if (files.isNull()) {
        SetError(error, QStringLiteral("%1 holds no play files").arg(path));
        return false;
    }
    for (const QDomElement& item : Children(files, QStringLiteral("FileItem"))) {
        auto file = std::make_unique<CLumoFile>();
        if (ParseFileItem(item, file.get())) list->AddTail(file);
    }
    return true;
}

QString PlayListPath(const QString& listsDir, const QString& listName, QString* error) {
    if (listName.isEmpty()) {
        SetError(error, QStringLiteral("a play list needs a name"));
        return QString();
    }
    for (const QChar c : listName)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            SetError(error, QStringLiteral("a play-list name holds no control characters"));
            return QString();
        }
    // Everything but letters, digits, "-" and "_" is percent-encoded, so the name can hold no
    // separator, no "." of its own and no "%" that could make two names meet.
    const QByteArray encoded = QUrl::toPercentEncoding(listName, QByteArray(), QByteArrayLiteral(".~"));
    if (encoded.size() > kMaxListFileName) {
        SetError(error, QStringLiteral("the play-list name \"%1\" is too long").arg(listName));
        return QString();
    }
    return QDir(listsDir).filePath(QString::fromLatin1(encoded) + QStringLiteral(".xml"));
}
