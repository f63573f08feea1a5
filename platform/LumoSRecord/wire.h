// The engine's rows, search criteria and found files as JSON: the one encoding that the HTTP API
// writes and the remote LumoSR* calls read back, so both ends always agree.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <string>

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

QJsonObject DiskToJson(const IKestoDiskInfo& row);
IKestoDiskInfo* DiskFromJson(const QJsonObject& o);
// The state word with its bits by name.
QJsonObject DiskStateToJson(const IKestoDiskInfo& row);

QJsonObject ChannelToJson(const IKestoChanInfo& row);
IKestoChanInfo* ChannelFromJson(const QJsonObject& o);

QJsonObject BlockToJson(const IKestoBlockInfo& row);
IKestoBlockInfo* BlockFromJson(const QJsonObject& o);

QJsonObject SearchParamToJson(const ILumoFSSearchParam& p);
// False (and *why) for criteria that cannot be read.
bool SearchParamFromJson(const QJsonObject& o, ILumoFSSearchParam* p, QString* why);

// A found file. `disk`, `block` and `file` name it on the recorder; the descriptor's own URI is
// not sent (it is the recorder's local address).
QJsonObject FileToJson(const CLumoFileDesc& d, const std::string& disk, const std::string& block,
                       const std::string& file);
// Fills the descriptor (its URI left empty) and the three names; false when a name is missing.
bool FileFromJson(const QJsonObject& o, CLumoFileDesc* d, std::string* disk, std::string* block,
                  std::string* file);

// An error answer: {"error": text, "code": LUMOSR_*, "reason": LUMOSR_REASON_*, "detail": text}.
QByteArray ErrorBody(const QString& text, int code, int reason = LUMOSR_REASON_NONE,
                     const std::string& detail = std::string());
QByteArray Compact(const QJsonObject& o);

}  // namespace wire
}  // namespace kesto
