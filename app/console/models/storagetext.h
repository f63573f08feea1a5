// Texts of the storage tables that do not depend on a row object: codecs, sizes, disk space,
// stream and record kinds, record times.
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>

struct tag_LUMOFILEAVINFO;

namespace StorageText {

// The video codec's name ("H264", "H265", "MJPEG", "MPEG4", "H264P" for 16..31, "H265P" for
// 32..47) or the fallback, then "/" and the sound codec's name (PCMA, PCMU, ADPCM, MP3, AAC, PCM)
// when there is sound.
QString CodecText(int videoCodec, int audioCodec, const QString& fallback);

// Bytes as the tables have always shown them: unit steps at 1024, 2^20 and 2^30 bytes, each step
// dividing by 1000, three decimals, padded by one or two leading spaces below 100 and 10.
QString FileSizeText(quint64 bytes);
// The byte count of a record file: the 64-bit size when the engine gave one (files over 4 GiB
// overflow the 32-bit field), else the 32-bit field.
quint64 RecordFileBytes(const tag_LUMOFILEAVINFO& info);

// "used/total" with both values shifted right by 10 bits (the disk bars read this back).
QString SpaceText(qint64 used, qint64 total);

// Stream kind of a stream row's number: 1 main, 2 sub, 3 third, else "--" (translated).
QString StreamTypeText(qint64 streamId);
// Stream kind of a block's stream code: 0 main, 1 sub, 2 third, else "K4780_--" (translated).
QString BlockStreamText(int ids);
// Record mode of a stream: 16 manual, 1 schedule, 2 event, else "--" (translated).
QString StreamRecordModeText(int mode);
// Record type of a record file: 0 schedule, 1 event, 4 manual (translated text); any other value,
// or a translation that comes out empty, is the number itself.
QVariant RecordFileTypeValue(int type);

// A record time from the engine's packed word and its milliseconds, "yyyy-MM-dd HH:mm:ss.zzz".
QString PackedTimeText(uint32_t packed, int ms);

}  // namespace StorageText
