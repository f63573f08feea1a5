#include "wire.h"

#include <QJsonDocument>
#include <charconv>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstring>

namespace kesto {
namespace wire {

namespace {

constexpr int64_t kIntMin = std::numeric_limits<int>::min(), kIntMax = std::numeric_limits<int>::max();

// The numbers of one row, each checked against the range of the field it fills; an absent (or
// null) number reads as 0. The first bad one is remembered, and the row is then refused whole.
class Fields {
public:
    Fields(const QJsonObject& o, const char* row) : m_o(o), m_row(row) {}

    template <class T>
    T Get(const char* key) {
        return static_cast<T>(Get(key, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
    }
    int64_t Get(const char* key, int64_t lo, int64_t hi) {
        const QJsonValue v = m_o.value(QLatin1String(key));
        int64_t n = 0;
        std::string why;
        if (v.isUndefined() || v.isNull() || IntFromJson(v, lo, hi, &n, &why)) return n;
        if (m_why.empty()) m_why = std::string(m_row) + " " + key + ": " + why;
        return 0;
    }
    // False, and *why names the row, the field and the fault, when a number was bad.
    bool Ok(std::string* why) const {
        if (m_why.empty()) return true;
        if (why) *why = m_why;
        return false;
    }

private:
    const QJsonObject& m_o;
    const char* m_row;
    std::string m_why;
};

template <class Row>
Row* Checked(Row* row, const Fields& f, std::string* why) {
    if (f.Ok(why)) return row;
    row->Release();
    return nullptr;
}

std::string textOf(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString().toStdString();
}

CLumoTime timeOf(const QJsonObject& o, const char* key) {
    CLumoTime t;
    TimeFromJson(o.value(QLatin1String(key)), &t);
    return t;
}

struct StateBit {
    uint32_t bit;
    const char* name;
};
const StateBit kStateBits[] = {
    {CLumoFSDiskInfo::STATE_MOUNTED, "mounted"},   {CLumoFSDiskInfo::STATE_FORMATTED, "formatted"},
    {CLumoFSDiskInfo::STATE_READY, "ready"},       {CLumoFSDiskInfo::STATE_READING, "reading"},
    {CLumoFSDiskInfo::STATE_WRITING, "writing"},   {CLumoFSDiskInfo::STATE_ASLEEP, "asleep"},
    {CLumoFSDiskInfo::STATE_FULL, "full"},         {CLumoFSDiskInfo::STATE_FAULTY, "faulty"},
    {CLumoFSDiskInfo::STATE_OPENING, "opening"},   {CLumoFSDiskInfo::STATE_CLOSED, "closed"},
    {CLumoFSDiskInfo::STATE_OBSOLETE, "obsolete"}, {CLumoFSDiskInfo::STATE_SWITCH_IP, "switchIp"},
};

}  // namespace

QJsonValue TimeToJson(const CLumoTime& t) {
    if (t.IsEmpty()) return QJsonValue(QJsonValue::Null);
    CLumoString s;
    t.BuildISO8601(s);
    return QString::fromLatin1(s.GetBuffer());
}

bool TimeFromJson(const QJsonValue& v, CLumoTime* t) {
    *t = CLumoTime();
    if (v.isNull() || v.isUndefined()) return true;
    if (!v.isString()) return false;
    // Exactly "yyyy-MM-dd" or "yyyy-MM-ddTHH:mm:ss" with up to three digits of a second after a
    // '.', and a day that the month has: nothing after it, no 30 February.
    const QString text = v.toString();
    static const char form[] = "dddd-dd-ddTdd:dd:dd";
    const int n = text.size();
    if (n != 10 && n != 19 && !(n >= 21 && n <= 23 && text.at(19) == QLatin1Char('.'))) return false;
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        const char want = i < 19 ? form[i] : i == 19 ? '.' : 'd';
        if (want == 'd' ? !(c >= QLatin1Char('0') && c <= QLatin1Char('9')) : c != QLatin1Char(want)) return false;
    }
    const QByteArray latin = text.toLatin1();
    const auto num = [&latin](int at, int len) { return latin.mid(at, len).toInt(); };
    const int year = num(0, 4), month = num(5, 2), day = num(8, 2);
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > days[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    if (n >= 19 && (num(11, 2) > 23 || num(14, 2) > 59 || num(17, 2) > 59)) return false;
    return t->ParseISO8601(latin.constData());
}

QJsonValue U64ToJson(uint64_t v) {
    return QString::number(v);
}

bool IntFromJson(const QJsonValue& v, int64_t lo, int64_t hi, int64_t* out, std::string* why) {
    const auto fail = [why](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    int64_t n = 0;
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (!std::isfinite(d)) return fail("not a finite number");
        if (std::trunc(d) != d) return fail("not a whole number");
        // 2^63 is the first double above every int64_t.
        if (d < -9223372036854775808.0 || d >= 9223372036854775808.0) return fail("out of range");
        n = static_cast<int64_t>(d);
    } else if (v.isString()) {
        const QString s = v.toString().trimmed();
        bool ok = false;
        if (s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
            const qulonglong u = s.mid(2).toULongLong(&ok, 16);
            ok = ok && u <= qulonglong(std::numeric_limits<int64_t>::max());
            n = static_cast<int64_t>(u);
        } else {
            n = s.toLongLong(&ok, 10);
        }
        if (!ok) return fail("not a whole number in range");
    } else {
        return fail("not a number");
    }
    if (n < lo || n > hi)
        return fail("out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    *out = n;
    return true;
}

bool U64FromJson(const QJsonValue& v, uint64_t* out) {
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (!(d >= 0 && d <= 9007199254740992.0) || std::trunc(d) != d) return false;
        *out = static_cast<uint64_t>(d);
        return true;
    }
    if (!v.isString()) return false;
    const QString s = v.toString().trimmed();
    bool ok = false;
    const qulonglong n = s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                             ? s.mid(2).toULongLong(&ok, 16)
                             : s.toULongLong(&ok, 10);
    if (ok) *out = n;
    return ok;
}

QJsonObject DiskToJson(const IKestoDiskInfo& row) {
    const CLumoFSDiskInfo* i = row.GetInfo();
    CLumoString shortName;
    i->GetShortName(shortName);
    QJsonObject o;
    o.insert("id", double(row.GetID()));
    o.insert("shortName", QString::fromUtf8(shortName.GetBuffer()));
    o.insert("name", QString::fromUtf8(i->GetName()));
    o.insert("type", double(i->GetType()));
    o.insert("totalKB", double(i->GetSpaceTotal()));
    o.insert("usedKB", double(i->GetSpaceUsed()));
    o.insert("state", double(i->GetState()));
    return o;
}

IKestoDiskInfo* DiskFromJson(const QJsonObject& o, std::string* why) {
    Fields f(o, "disk");
    IKestoDiskInfo* row = IKestoDiskInfo::CreateObject();
    row->SetID(f.Get<int64_t>("id"));
    CLumoFSDiskInfo* i = row->GetInfo();
    i->SetShortName(textOf(o, "shortName"));
    i->SetName(textOf(o, "name"));
    i->SetType(f.Get<uint32_t>("type"));
    const int64_t total = f.Get("totalKB", 0, std::numeric_limits<int64_t>::max());
    i->SetSpace(total, f.Get("usedKB", 0, std::numeric_limits<int64_t>::max()));
    i->SetState(f.Get<uint32_t>("state"));
    return Checked(row, f, why);
}

QJsonObject DiskStateToJson(const IKestoDiskInfo& row) {
    const uint32_t state = row.GetInfo()->GetState();
    QJsonObject bits;
    for (const StateBit& b : kStateBits) bits.insert(QLatin1String(b.name), (state & b.bit) != 0);
    QJsonObject o;
    o.insert("id", double(row.GetID()));
    o.insert("state", double(state));
    o.insert("bits", bits);
    return o;
}

QJsonObject ChannelToJson(const IKestoChanInfo& row) {
    QJsonArray streams;
    for (int i = 0; i < row.GetStreamNum(); ++i) {
        const IKestoStreamInfo* s = row.GetStreamInfo(i);
        if (!s) continue;
        const tag_STMDATA* d = s->GetData();
        QJsonObject so;
        so.insert("id", double(s->GetID()));
        so.insert("recordMode", d->recordMode);
        so.insert("videoCodec", d->videoCodec);
        so.insert("audioCodec", d->audioCodec);
        so.insert("width", d->width);
        so.insert("height", d->height);
        so.insert("frameRate", d->frameRate);
        so.insert("bitRateKbps", d->bitRateKbps);
        streams.append(so);
    }
    QJsonObject o;
    o.insert("id", double(row.GetID()));
    o.insert("name", QString::fromUtf8(row.GetName()));
    o.insert("cuid", QString::fromUtf8(row.GetCUID()));
    o.insert("streams", streams);
    return o;
}

IKestoChanInfo* ChannelFromJson(const QJsonObject& o, std::string* why) {
    Fields f(o, "channel");
    IKestoChanInfo* row = IKestoChanInfo::CreateObject();
    row->SetID(f.Get<int64_t>("id"));
    row->SetName(textOf(o, "name"));
    row->SetCUID(textOf(o, "cuid"));
    for (const QJsonValue& v : o.value("streams").toArray()) {
        const QJsonObject so = v.toObject();
        Fields sf(so, "stream");
        IKestoStreamInfo* s = IKestoStreamInfo::CreateObject();
        s->SetID(sf.Get<int64_t>("id"));
        tag_STMDATA* d = s->GetData();
        d->recordMode = sf.Get<uint16_t>("recordMode");
        d->videoCodec = sf.Get<uint8_t>("videoCodec");
        d->audioCodec = sf.Get<uint8_t>("audioCodec");
        d->width = sf.Get<uint16_t>("width");
        d->height = sf.Get<uint16_t>("height");
        d->frameRate = sf.Get<uint16_t>("frameRate");
        d->bitRateKbps = sf.Get<int32_t>("bitRateKbps");
        row->AddStream(s);
        if (!sf.Ok(why)) {
            row->Release();
            return nullptr;
        }
    }
    return Checked(row, f, why);
}

QJsonObject BlockToJson(const IKestoBlockInfo& row) {
    const CLumoFSBlockInfo* i = row.GetInfo();
    CLumoTime s, e;
    i->GetTimeS(s);
    i->GetTimeE(e);
    QJsonObject o;
    o.insert("id", double(row.GetID()));
    o.insert("idb", i->GetIDB());
    o.insert("idd", i->GetIDD());
    o.insert("state", double(i->GetState()));
    o.insert("clustersUsed", i->GetClusterUsed());
    o.insert("cuid", QString::fromUtf8(i->GetCUID()));
    o.insert("mediaType", i->GetMediaType());
    o.insert("stream", i->GetIDS());
    o.insert("recordTypes", i->GetRecType());
    o.insert("start", TimeToJson(s));
    o.insert("end", TimeToJson(e));
    o.insert("usedSeconds", double(i->GetUsedTime()));
    o.insert("files", i->GetFileNum());
    o.insert("frames", double(i->GetFrameNum()));
    return o;
}

IKestoBlockInfo* BlockFromJson(const QJsonObject& o, std::string* why) {
    Fields f(o, "block");
    IKestoBlockInfo* row = IKestoBlockInfo::CreateObject();
    row->SetID(f.Get<int64_t>("id"));
    CLumoFSBlockInfo* i = row->GetInfo();
    i->SetIDB(f.Get<int>("idb"));
    i->SetIDD(f.Get<int>("idd"));
    i->SetState(f.Get<uint32_t>("state"));
    i->SetClusterUsed(f.Get<int>("clustersUsed"));
    i->SetCUID(textOf(o, "cuid"));
    i->SetMediaType(f.Get<int>("mediaType"));
    i->SetIDS(f.Get<uint8_t>("stream"));
    i->SetRecType(f.Get<uint16_t>("recordTypes"));
    i->SetTimeS(timeOf(o, "start"));
    i->SetTimeE(timeOf(o, "end"));
    i->SetUsedTime(f.Get<uint32_t>("usedSeconds"));
    i->SetFileNum(f.Get<int>("files"));
    i->SetFrameNum(f.Get<uint32_t>("frames"));
    return Checked(row, f, why);
}

QJsonObject SearchParamToJson(const ILumoFSSearchParam& p) {
    QJsonObject o;
    o.insert("start", TimeToJson(p.GetTimeS()));
    o.insert("end", TimeToJson(p.GetTimeE()));
    QJsonArray masks;
    for (int s = 0; s < 3; ++s)
        masks.append(QStringLiteral("0x%1").arg(qulonglong(p.GetChannelMask(s)), 0, 16));
    o.insert("channelMask", masks);
    o.insert("mediaType", p.GetMediaType());
    o.insert("recordType", U64ToJson(p.GetRecordType()));
    o.insert("streamType", p.GetStreamType());
    QJsonArray cuids;
    for (const std::string& c : p.GetCUIDs()) cuids.append(QString::fromStdString(c));
    o.insert("cuids", cuids);
    return o;
}

bool SearchParamFromJson(const QJsonObject& o, ILumoFSSearchParam* p, QString* why) {
    CLumoTime t;
    if (!TimeFromJson(o.value("start"), &t)) {
        *why = QStringLiteral("start is not a time of the calendar (yyyy-MM-ddTHH:mm:ss[.zzz])");
        return false;
    }
    p->SetTimeS(t);
    if (!TimeFromJson(o.value("end"), &t)) {
        *why = QStringLiteral("end is not a time of the calendar (yyyy-MM-ddTHH:mm:ss[.zzz])");
        return false;
    }
    p->SetTimeE(t);
    const QJsonValue masks = o.value("channelMask");
    if (!masks.isUndefined()) {
        if (!masks.isArray() || masks.toArray().size() > 3) {
            *why = QStringLiteral("channelMask is not a list of up to three masks (main, sub, third)");
            return false;
        }
        const QJsonArray a = masks.toArray();
        for (int s = 0; s < a.size(); ++s) {
            uint64_t m = 0;
            if (!U64FromJson(a.at(s), &m)) {
                *why = QStringLiteral("channelMask[%1] is not a 64-bit mask").arg(s);
                return false;
            }
            p->SetChannelMask(s, m);
        }
    }
    const QJsonValue media = o.value("mediaType");
    int64_t mediaType = 0;
    std::string bad;
    if (!media.isUndefined() &&
        (!media.isDouble() || !IntFromJson(media, kIntMin, kIntMax, &mediaType, &bad))) {
        *why = QStringLiteral("mediaType is not a whole number");
        return false;
    }
    p->SetMediaType(int(mediaType));
    const QJsonValue types = o.value("recordType");
    if (!types.isUndefined()) {
        uint64_t m = 0;
        if (!U64FromJson(types, &m) || m > 0xFFFFFFFFull) {
            *why = QStringLiteral("recordType is not a 32-bit mask");
            return false;
        }
        p->SetRecordType(static_cast<uint32_t>(m));
    }
    const QJsonValue stream = o.value("streamType");
    int64_t streamType = -1;
    if (!stream.isUndefined() && (!stream.isDouble() || !IntFromJson(stream, -1, 2, &streamType, &bad))) {
        *why = QStringLiteral("streamType is not -1, 0, 1 or 2");
        return false;
    }
    p->SetStreamType(int(streamType));
    const QJsonValue cuids = o.value("cuids");
    if (!cuids.isUndefined()) {
        if (!cuids.isArray()) {
            *why = QStringLiteral("cuids is not a list of texts");
            return false;
        }
        for (const QJsonValue& c : cuids.toArray()) {
            if (!c.isString()) {
                *why = QStringLiteral("cuids is not a list of texts");
                return false;
            }
            p->AddCUID(c.toString().toUtf8().constData());
        }
    }
    return true;
}

const char* const kFileFields[] = {"disk",      "block",       "file",       "start",      "end",
                                   "channel",   "stream",      "recordType", "cuid",       "size",
                                   "width",     "height",      "videoCodec", "audioCodec", "frameRate",
                                   "diskIndex", "blockNumber", "fileIndex"};
const int kFileFieldCount = int(sizeof kFileFields / sizeof kFileFields[0]);

namespace {

void putString(std::string* out, const std::string& v) {
    out->push_back('"');
    bool plain = true;
    for (unsigned char c : v)
        if (c == '"' || c == '\\' || c < 0x20) plain = false;
    if (plain) {
        out->append(v);
        out->push_back('"');
        return;
    }
    for (unsigned char c : v) {
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(char(c));
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out->append(buf);
        } else {
            out->push_back(char(c));
        }
    }
    out->push_back('"');
}

void putInt(std::string* out, int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out->append(buf, r.ptr);
}

void putDigits(char* p, int v, int n) {
    for (int i = n - 1; i >= 0; --i, v /= 10) p[i] = char('0' + v % 10);
}

// As MakeBlockDirName, without its formatting call: this runs once per file of an answer.
void putBlockName(std::string* out, int number) {
    if (number < 0 || number > 99999) {
        out->append("\"\"");
        return;
    }
    char b[11] = "\"blk00000\"";
    putDigits(b + 4, number, 5);
    out->append(b, 10);
}

void putTime(std::string* out, const CLumoTime& t) {
    if (t.IsEmpty()) {
        out->append("null");
        return;
    }
    char b[26] = "\"0000-00-00T00:00:00.000\"";
    putDigits(b + 1, t.GetYear(), 4);
    putDigits(b + 6, t.GetMonth(), 2);
    putDigits(b + 9, t.GetDay(), 2);
    putDigits(b + 12, t.GetHour(), 2);
    putDigits(b + 15, t.GetMinute(), 2);
    putDigits(b + 18, t.GetSecond(), 2);
    putDigits(b + 21, t.GetMS(), 3);
    out->append(b, 25);
}

// A reader of just what the search answer holds: objects, arrays, strings, integers, true,
// false and null; anything else is an error.
class Reader {
public:
    explicit Reader(const std::string& s) : m_p(s.data()), m_end(s.data() + s.size()) {}
    bool ok() const { return m_ok; }
    void ws() {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t')) ++m_p;
    }
    bool peek(char c) {
        ws();
        return m_p < m_end && *m_p == c;
    }
    bool take(char c) {
        if (!peek(c)) return false;
        ++m_p;
        return true;
    }
    void expect(char c) {
        if (!take(c)) m_ok = false;
    }
    bool string(std::string* v) {
        v->clear();
        if (!take('"')) return m_ok = false;
        // Most texts hold no escape: take them in one piece.
        const char* q = m_p;
        while (q < m_end && *q != '"' && *q != '\\') ++q;
        if (q < m_end && *q == '"') {
            v->assign(m_p, q);
            m_p = q + 1;
            return true;
        }
        while (m_p < m_end && *m_p != '"') {
            if (*m_p != '\\') {
                v->push_back(*m_p++);
                continue;
            }
            if (++m_p >= m_end) return m_ok = false;
            const char e = *m_p++;
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    v->push_back(e);
                    break;
                case 'b':
                    v->push_back('\b');
                    break;
                case 'f':
                    v->push_back('\f');
                    break;
                case 'n':
                    v->push_back('\n');
                    break;
                case 'r':
                    v->push_back('\r');
                    break;
                case 't':
                    v->push_back('\t');
                    break;
                case 'u': {
                    unsigned cp = 0;
                    if (!hex4(&cp)) return m_ok = false;
                    if (cp >= 0xD800 && cp < 0xDC00) {
                        unsigned lo = 0;
                        if (m_end - m_p < 6 || m_p[0] != '\\' || m_p[1] != 'u') return m_ok = false;
                        m_p += 2;
                        if (!hex4(&lo) || lo < 0xDC00 || lo > 0xDFFF) return m_ok = false;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    }
                    utf8(cp, v);
                    break;
                }
                default:
                    return m_ok = false;
            }
        }
        if (m_p >= m_end) return m_ok = false;
        ++m_p;
        return true;
    }
    bool integer(int64_t* v) {
        ws();
        const auto r = std::from_chars(m_p, m_end, *v);
        if (r.ec != std::errc() || r.ptr == m_p) return m_ok = false;
        m_p = r.ptr;
        return true;
    }
    // A string or null.
    bool stringOrNull(std::string* v) {
        ws();
        if (m_end - m_p >= 4 && std::memcmp(m_p, "null", 4) == 0) {
            m_p += 4;
            v->clear();
            return true;
        }
        return string(v);
    }
    bool boolean(bool* v) {
        ws();
        if (m_end - m_p >= 4 && std::memcmp(m_p, "true", 4) == 0) {
            m_p += 4;
            *v = true;
            return true;
        }
        if (m_end - m_p >= 5 && std::memcmp(m_p, "false", 5) == 0) {
            m_p += 5;
            *v = false;
            return true;
        }
        return m_ok = false;
    }
    // Skips any value (for keys this reader does not know), nested at most 64 deep.
    void skip(int depth = 0) {
        ws();
        if (depth > 64 || m_p >= m_end) {
            m_ok = false;
            return;
        }
        std::string s;
        int64_t n;
        bool b;
        if (*m_p == '"') {
            string(&s);
        } else if (*m_p == '{' || *m_p == '[') {
            const char close = *m_p == '{' ? '}' : ']';
            const bool object = *m_p == '{';
            ++m_p;
            if (take(close)) return;
            do {
                if (object) {
                    string(&s);
                    expect(':');
                }
                skip(depth + 1);
            } while (m_ok && take(','));
            expect(close);
        } else if (*m_p == 't' || *m_p == 'f') {
            boolean(&b);
        } else if (*m_p == 'n') {
            stringOrNull(&s);
        } else {
            integer(&n);
        }
    }

private:
    bool hex4(unsigned* v) {
        if (m_end - m_p < 4) return false;
        *v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_p++;
            *v <<= 4;
            if (c >= '0' && c <= '9')
                *v |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                *v |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                *v |= unsigned(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }
    static void utf8(unsigned cp, std::string* v) {
        if (cp < 0x80) {
            v->push_back(char(cp));
        } else if (cp < 0x800) {
            v->push_back(char(0xC0 | (cp >> 6)));
            v->push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            v->push_back(char(0xE0 | (cp >> 12)));
            v->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            v->push_back(char(0x80 | (cp & 0x3F)));
        } else {
            v->push_back(char(0xF0 | (cp >> 18)));
            v->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            v->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            v->push_back(char(0x80 | (cp & 0x3F)));
        }
    }

    const char* m_p;
    const char* m_end;
    bool m_ok = true;
};

// The numbers of a search answer's file row in their order, with the range of what each fills.
struct NumberRange {
    int field;  // its index in kFileFields
    int64_t lo, hi;
};
const NumberRange kFileNumberRange[12] = {{5, kIntMin, kIntMax},  {6, kIntMin, kIntMax},
                                          {7, kIntMin, kIntMax},  {9, 0, std::numeric_limits<int64_t>::max()},
                                          {10, 0, 65535},         {11, 0, 65535},
                                          {12, 0, 255},           {13, 0, 255},
                                          {14, kIntMin, kIntMax}, {15, kIntMin, kIntMax},
                                          {16, kIntMin, kIntMax}, {17, kIntMin, kIntMax}};

// "yyyy-MM-ddTHH:mm:ss.zzz" at fixed places; empty text gives an empty time.
bool timeOfText(const std::string& s, CLumoTime* t) {
    *t = CLumoTime();
    if (s.empty()) return true;
    if (s.size() == 23 && s[4] == '-' && s[7] == '-' && s[10] == 'T' && s[13] == ':' && s[16] == ':' &&
        s[19] == '.') {
        auto num = [&](int at, int n) {
            int v = 0;
            for (int i = at; i < at + n; ++i) {
                if (s[size_t(i)] < '0' || s[size_t(i)] > '9') return -1;
                v = v * 10 + (s[size_t(i)] - '0');
            }
            return v;
        };
        const int y = num(0, 4), mo = num(5, 2), d = num(8, 2), h = num(11, 2), mi = num(14, 2),
                  se = num(17, 2), ms = num(20, 3);
        if (y > 0 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h >= 0 && h < 24 && mi >= 0 && mi < 60 &&
            se >= 0 && se < 62 && ms >= 0) {
            t->SetYear(y);
            t->SetMonth(mo);
            t->SetDay(d);
            t->SetHour(h);
            t->SetMinute(mi);
            t->SetSecond(se);
            t->SetMS(ms);
            return true;
        }
        return false;
    }
    return t->ParseISO8601(s.c_str());
}

}  // namespace

void AppendPercentEncoded(std::string* out, const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out->push_back(char(c));
        } else {
            out->push_back('%');
            out->push_back(hex[c >> 4]);
            out->push_back(hex[c & 15]);
        }
    }
}

SearchAnswerWriter::SearchAnswerWriter(std::string* out) : m_out(out) {
    out->clear();
    out->reserve(64 * 1024);
    out->append("{\"fields\":[");
    for (int i = 0; i < kFileFieldCount; ++i) {
        if (i) out->push_back(',');
        putString(out, kFileFields[i]);
    }
    out->append("],\"files\":[");
}

void SearchAnswerWriter::Add(const WireFile& f) {
    std::string* out = m_out;
    if (!m_first) out->push_back(',');
    m_first = false;
    out->push_back('[');
    putString(out, *f.disk);
    out->push_back(',');
    putBlockName(out, f.block);
    out->push_back(',');
    putString(out, *f.file);
    out->push_back(',');
    putTime(out, CLumoTime::FromEpochMs(f.startMs));
    out->push_back(',');
    putTime(out, CLumoTime::FromEpochMs(f.endMs));
    for (int64_t v : {int64_t(f.channel), int64_t(f.stream), int64_t(f.recordType)}) {
        out->push_back(',');
        putInt(out, v);
    }
    out->push_back(',');
    putString(out, *f.cuid);
    for (int64_t v :
         {int64_t(f.size), int64_t(f.width), int64_t(f.height), int64_t(f.videoCodec), int64_t(f.audioCodec),
          int64_t(f.frameRate), int64_t(f.diskIndex), int64_t(f.block), int64_t(f.fileIndex)}) {
        out->push_back(',');
        putInt(out, v);
    }
    out->push_back(']');
}

void SearchAnswerWriter::Finish(uint64_t cursor, bool more) {
    m_out->append("],\"cursor\":\"");
    putInt(m_out, int64_t(cursor));
    m_out->append(more ? "\",\"more\":true}" : "\",\"more\":false}");
}

bool ReadSearchAnswer(const std::string& body, const std::string& uriBase,
                      const std::function<void(const CLumoFileDesc&)>& each, uint64_t* cursor, bool* more,
                      std::string* why) {
    Reader r(body);
    *cursor = 0;
    *more = false;
    r.expect('{');
    std::string key, text;
    bool sawFiles = false;
    if (!r.take('}')) do {
            r.string(&key);
            r.expect(':');
            if (!r.ok()) break;
            if (key == "fields") {
                r.expect('[');
                int i = 0;
                if (!r.take(']')) do {
                        r.string(&text);
                        if (i >= kFileFieldCount || text != kFileFields[i]) {
                            *why = "the recorder describes its files otherwise (field " + text + ")";
                            return false;
                        }
                        ++i;
                    } while (r.ok() && r.take(','));
                r.expect(']');
                if (i != kFileFieldCount) {
                    *why = "the recorder describes its files otherwise";
                    return false;
                }
            } else if (key == "files") {
                sawFiles = true;
                r.expect('[');
                std::string disk, block, file, start, end, cuid, uri;
                CLumoFileDesc desc;  // one for all rows: its texts keep their room
                CLumoFileDesc* d = &desc;
                if (!r.take(']')) do {
                        int64_t v[12] = {0};
                        r.expect('[');
                        r.string(&disk);
                        r.expect(',');
                        r.string(&block);
                        r.expect(',');
                        r.string(&file);
                        r.expect(',');
                        r.stringOrNull(&start);
                        r.expect(',');
                        r.stringOrNull(&end);
                        for (int i = 0; i < 3; ++i) {
                            r.expect(',');
                            r.integer(&v[i]);
                        }
                        r.expect(',');
                        r.string(&cuid);
                        for (int i = 3; i < 12; ++i) {
                            r.expect(',');
                            r.integer(&v[i]);
                        }
                        r.expect(']');
                        if (!r.ok()) break;
                        for (int i = 0; i < 12; ++i)
                            if (v[i] < kFileNumberRange[i].lo || v[i] > kFileNumberRange[i].hi) {
                                *why = std::string("a file's ") + kFileFields[kFileNumberRange[i].field] +
                                       " is out of range: " + std::to_string(v[i]);
                                return false;
                            }
                        CLumoTime ts, te;
                        if (!timeOfText(start, &ts) || !timeOfText(end, &te)) {
                            *why = "a file's time is not a time";
                            return false;
                        }
                        d->SetTimeS(ts);
                        d->SetTimeE(te);
                        uri = uriBase;
                        AppendPercentEncoded(&uri, disk);
                        uri += '/';
                        AppendPercentEncoded(&uri, block);
                        uri += '/';
                        AppendPercentEncoded(&uri, file);
                        d->SetURI(uri.c_str());
                        d->SetFileName(file.c_str());
                        d->SetSaveFileName(file.c_str());
                        d->SetChannel(int(v[0]));
                        d->SetStreamType(int(v[1]));
                        d->SetRecordType(int(v[2]));
                        d->SetCUID(cuid.c_str());
                        d->SetSize(uint64_t(v[3]));
                        d->SetResolution(uint16_t(v[4]), uint16_t(v[5]));
                        d->SetCodecs(uint8_t(v[6]), uint8_t(v[7]));
                        d->SetFrameRate(int(v[8]));
                        d->SetLocation(int(v[9]), int(v[10]), int(v[11]));
                        each(desc);
                    } while (r.take(','));
                r.expect(']');
            } else if (key == "cursor") {
                r.string(&text);
                uint64_t c = 0;
                const auto res = std::from_chars(text.data(), text.data() + text.size(), c);
                if (res.ec != std::errc()) {
                    *why = "the cursor is not a number";
                    return false;
                }
                *cursor = c;
            } else if (key == "more") {
                r.boolean(more);
            } else {
                r.skip();
            }
        } while (r.ok() && r.take(','));
    r.expect('}');
    if (!r.ok() || !sawFiles) {
        *why = "the answer is not a search answer";
        return false;
    }
    return true;
}

QByteArray ErrorBody(const QString& text, int code, int reason, const std::string& detail) {
    QJsonObject o;
    o.insert("error", text);
    o.insert("code", code);
    o.insert("reason", reason);
    o.insert("detail", QString::fromStdString(detail));
    return Compact(o);
}

QByteArray Compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace wire
}  // namespace kesto
