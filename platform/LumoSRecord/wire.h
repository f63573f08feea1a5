// The engine's rows, search criteria and found files as JSON: the one encoding that the HTTP API
// writes and the remote LumoSR* calls read back, so both ends always agree.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "LumoSRecord/LumoSRecord.h"

namespace kesto {
namespace wire {

// Times travel as the engine's local wall-clock text "yyyy-MM-ddTHH:mm:ss.zzz"; an empty time as null.
QJsonValue TimeToJson(const CLumoTime& t);
// False for text that is not such a time (null and absent give an empty time and true).
bool TimeFromJson(const QJsonValue& v, CLumoTime* t);

// 64-bit values (masks, cursors, sizes above 2^53) travel as decimal or "0x" hex text; small
// numbers are accepted as JSON numbers too.
QJsonValue U64ToJson(uint64_t v);
bool U64FromJson(const QJsonValue& v, uint64_t* out);

// Every whole number read from the other end: a JSON number without a fraction, or decimal or
// "0x" hex text, within [lo, hi]. False, and *why says what is wrong (not a number, not finite,
// a fraction, out of range), for anything else; *out is then left alone.
bool IntFromJson(const QJsonValue& v, int64_t lo, int64_t hi, int64_t* out, std::string* why);

// The row readers take a row whole or not at all: null (and *why names the row, the field and the
// fault) when a number in it is not one its field can hold. An absent number reads as 0.
QJsonObject DiskToJson(const IKestoDiskInfo& row);
IKestoDiskInfo* DiskFromJson(const QJsonObject& o, std::string* why);
// The state word with its bits by name.
QJsonObject DiskStateToJson(const IKestoDiskInfo& row);

QJsonObject ChannelToJson(const IKestoChanInfo& row);
IKestoChanInfo* ChannelFromJson(const QJsonObject& o, std::string* why);

QJsonObject BlockToJson(const IKestoBlockInfo& row);
IKestoBlockInfo* BlockFromJson(const QJsonObject& o, std::string* why);

QJsonObject SearchParamToJson(const ILumoFSSearchParam& p);
// False (and *why) for criteria that cannot be read.
bool SearchParamFromJson(const QJsonObject& o, ILumoFSSearchParam* p, QString* why);

// Search answers are written and read by hand: a day of every channel is thousands of files,
// and a general JSON object per file costs many times the search itself. The answer is
//   {"fields":[<kFileFields>],"files":[[...one value per field...],...],"cursor":"<n>","more":<bool>}
extern const char* const kFileFields[];
// Appends text with every byte but letters, digits and "-._~" as %XX (URL path parts, accounts).
void AppendPercentEncoded(std::string* out, const std::string& text);
extern const int kFileFieldCount;

struct WireFile {
    const std::string* disk;  // the disk's short name
    int block;                // block number
    const std::string* file;
    int64_t startMs, endMs;  // CLumoTime::ToEpochMs
    int channel, stream, recordType;
    const std::string* cuid;
    uint64_t size;
    int width, height, videoCodec, audioCodec, frameRate;
    int diskIndex, fileIndex;  // diskIndex: N - 1 of [diskN]
};
class SearchAnswerWriter {
public:
    explicit SearchAnswerWriter(std::string* out);
    void Add(const WireFile& f);
    void Finish(uint64_t cursor, bool more);

private:
    std::string* m_out;
    bool m_first = true;
};
// Hands each file to `each` as a descriptor (valid during the call only) whose URI is `uriBase` +
// "<disk>/<block>/<file>" (each part percent-encoded); false (and *why) for an answer that is not
// one.
bool ReadSearchAnswer(const std::string& body, const std::string& uriBase,
                      const std::function<void(const CLumoFileDesc&)>& each, uint64_t* cursor, bool* more,
                      std::string* why);

// An error answer: {"error": text, "code": LUMOSR_*, "reason": LUMOSR_REASON_*, "detail": text}.
QByteArray ErrorBody(const QString& text, int code, int reason = LUMOSR_REASON_NONE,
                     const std::string& detail = std::string());
QByteArray Compact(const QJsonObject& o);

}  // namespace wire
}  // namespace kesto
