#include "wire.h"

#include <QJsonDocument>
#include <cstring>

namespace kesto {
namespace wire {

namespace {

int intOf(const QJsonObject& o, const char* key, int fallback = 0) {
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? v.toInt(fallback) : fallback;
}

int64_t i64Of(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isDouble()) return static_cast<int64_t>(v.toDouble());
    uint64_t u = 0;
    return U64FromJson(v, &u) ? static_cast<int64_t>(u) : 0;
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
    const QByteArray text = v.toString().toLatin1();
    return !text.isEmpty() && t->ParseISO8601(text.constData());
}

QJsonValue U64ToJson(uint64_t v) {
    return QString::number(v);
}

bool U64FromJson(const QJsonValue& v, uint64_t* out) {
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (d < 0 || d > 9007199254740992.0 || d != static_cast<double>(static_cast<uint64_t>(d))) return false;
        *out = static_cast<uint64_t>(d);
        return true;
    }
    if (!v.isString()) return false;
    const QString s = v.toString().trimmed();
    bool ok = false;
    const qulonglong n = s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? s.mid(2).toULongLong(&ok, 16)
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

IKestoDiskInfo* DiskFromJson(const QJsonObject& o) {
    IKestoDiskInfo* row = IKestoDiskInfo::CreateObject();
    row->SetID(i64Of(o, "id"));
    CLumoFSDiskInfo* i = row->GetInfo();
    i->SetShortName(textOf(o, "shortName"));
    i->SetName(textOf(o, "name"));
    i->SetType(static_cast<uint32_t>(i64Of(o, "type")));
    i->SetSpace(i64Of(o, "totalKB"), i64Of(o, "usedKB"));
    i->SetState(static_cast<uint32_t>(i64Of(o, "state")));
    return row;
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

IKestoChanInfo* ChannelFromJson(const QJsonObject& o) {
    IKestoChanInfo* row = IKestoChanInfo::CreateObject();
    row->SetID(i64Of(o, "id"));
    row->SetName(textOf(o, "name"));
    row->SetCUID(textOf(o, "cuid"));
    for (const QJsonValue& v : o.value("streams").toArray()) {
        const QJsonObject so = v.toObject();
        IKestoStreamInfo* s = IKestoStreamInfo::CreateObject();
        s->SetID(i64Of(so, "id"));
        tag_STMDATA* d = s->GetData();
        d->recordMode = static_cast<uint16_t>(intOf(so, "recordMode"));
        d->videoCodec = static_cast<uint8_t>(intOf(so, "videoCodec"));
        d->audioCodec = static_cast<uint8_t>(intOf(so, "audioCodec"));
        d->width = static_cast<uint16_t>(intOf(so, "width"));
        d->height = static_cast<uint16_t>(intOf(so, "height"));
        d->frameRate = static_cast<uint16_t>(intOf(so, "frameRate"));
        d->bitRateKbps = intOf(so, "bitRateKbps");
        row->AddStream(s);
    }
    return row;
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

IKestoBlockInfo* BlockFromJson(const QJsonObject& o) {
    IKestoBlockInfo* row = IKestoBlockInfo::CreateObject();
    row->SetID(i64Of(o, "id"));
    CLumoFSBlockInfo* i = row->GetInfo();
    i->SetIDB(intOf(o, "idb"));
    i->SetIDD(intOf(o, "idd"));
    i->SetState(static_cast<uint32_t>(i64Of(o, "state")));
    i->SetClusterUsed(intOf(o, "clustersUsed"));
    i->SetCUID(textOf(o, "cuid"));
    i->SetMediaType(intOf(o, "mediaType"));
    i->SetIDS(static_cast<uint8_t>(intOf(o, "stream")));
    i->SetRecType(static_cast<uint16_t>(intOf(o, "recordTypes")));
    i->SetTimeS(timeOf(o, "start"));
    i->SetTimeE(timeOf(o, "end"));
    i->SetUsedTime(static_cast<uint32_t>(i64Of(o, "usedSeconds")));
    i->SetFileNum(intOf(o, "files"));
    i->SetFrameNum(static_cast<uint32_t>(i64Of(o, "frames")));
    return row;
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
        *why = QStringLiteral("start is not a time (yyyy-MM-ddTHH:mm:ss)");
        return false;
    }
    p->SetTimeS(t);
    if (!TimeFromJson(o.value("end"), &t)) {
        *why = QStringLiteral("end is not a time (yyyy-MM-ddTHH:mm:ss)");
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
    if (!media.isUndefined() && !media.isDouble()) {
        *why = QStringLiteral("mediaType is not a number");
        return false;
    }
    p->SetMediaType(media.toInt(0));
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
    if (!stream.isUndefined() && (!stream.isDouble() || stream.toInt(-2) < -1 || stream.toInt(-2) > 2)) {
        *why = QStringLiteral("streamType is not -1, 0, 1 or 2");
        return false;
    }
    p->SetStreamType(stream.isUndefined() ? -1 : stream.toInt());
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

QJsonObject FileToJson(const CLumoFileDesc& d, const std::string& disk, const std::string& block,
                       const std::string& file) {
    QJsonObject o;
    o.insert("disk", QString::fromStdString(disk));
    o.insert("block", QString::fromStdString(block));
    o.insert("file", QString::fromStdString(file));
    o.insert("start", TimeToJson(d.GetTimeS()));
    o.insert("end", TimeToJson(d.GetTimeE()));
    o.insert("channel", d.GetChannel());
    o.insert("stream", d.GetStreamType());
    o.insert("recordType", d.GetRecordType());
    o.insert("cuid", QString::fromUtf8(d.GetCUID().GetBuffer()));
    o.insert("size", U64ToJson(d.GetSize()));
    o.insert("width", d.GetWidth());
    o.insert("height", d.GetHeight());
    o.insert("videoCodec", d.GetVideoCodec());
    o.insert("audioCodec", d.GetAudioCodec());
    o.insert("frameRate", d.GetFrameRate());
    o.insert("location", QJsonArray{d.GetDisk(), d.GetBlock(), d.GetFileIndex()});
    return o;
}

bool FileFromJson(const QJsonObject& o, CLumoFileDesc* d, std::string* disk, std::string* block,
                  std::string* file) {
    *disk = textOf(o, "disk");
    *block = textOf(o, "block");
    *file = textOf(o, "file");
    if (disk->empty() || block->empty() || file->empty()) return false;
    d->SetFileName(file->c_str());
    d->SetSaveFileName(file->c_str());
    d->SetTimeS(timeOf(o, "start"));
    d->SetTimeE(timeOf(o, "end"));
    d->SetChannel(intOf(o, "channel"));
    d->SetStreamType(intOf(o, "stream"));
    d->SetRecordType(intOf(o, "recordType"));
    d->SetCUID(o.value("cuid").toString().toUtf8().constData());
    uint64_t size = 0;
    U64FromJson(o.value("size"), &size);
    d->SetSize(size);
    d->SetResolution(static_cast<uint16_t>(intOf(o, "width")), static_cast<uint16_t>(intOf(o, "height")));
    d->SetCodecs(static_cast<uint8_t>(intOf(o, "videoCodec")), static_cast<uint8_t>(intOf(o, "audioCodec")));
    d->SetFrameRate(intOf(o, "frameRate", -1));
    const QJsonArray loc = o.value("location").toArray();
    if (loc.size() == 3) d->SetLocation(loc.at(0).toInt(-1), loc.at(1).toInt(-1), loc.at(2).toInt(-1));
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
