#include "models/storagetext.h"

#include <QObject>

#include "LumoBase/LumoBase.h"
#include "LumoFS/LumoFS.h"

namespace StorageText {

QString CodecText(int videoCodec, int audioCodec, const QString& fallback) {
    QString text;
    switch (videoCodec) {
        case LUMO_CODEC_H264:
            text = QStringLiteral("H264");
            break;
        case LUMO_CODEC_H265:
            text = QStringLiteral("H265");
            break;
        case LUMO_CODEC_JPEG:
            text = QStringLiteral("MJPEG");
            break;
        case LUMO_CODEC_MPEG4:
            text = QStringLiteral("MPEG4");
            break;
        default:
            if (videoCodec >= 16 && videoCodec <= 31)
                text = QStringLiteral("H264P");
            else if (videoCodec >= 32 && videoCodec <= 47)
                text = QStringLiteral("H265P");
            else
                text = fallback;
            break;
    }
    switch (audioCodec) {
        case LUMO_CODEC_PCMA:
            return text + QStringLiteral("/PCMA");
        case LUMO_CODEC_PCMU:
            return text + QStringLiteral("/PCMU");
        case LUMO_CODEC_ADPCM:
            return text + QStringLiteral("/ADPCM");
        case LUMO_CODEC_MP3:
            return text + QStringLiteral("/MP3");
        case LUMO_CODEC_AAC:
            return text + QStringLiteral("/AAC");
        case LUMO_CODEC_PCM:
            return text + QStringLiteral("/PCM");
        default:
            return text;  // none, or a code that is not a sound codec
    }
}

QString FileSizeText(quint64 bytes) {
    // Single precision with each step rounded back, as the stored habit of this column is.
    float v = static_cast<float>(bytes);
    const char* unit = "B";
    if (bytes >= 1024) {
        v = static_cast<float>(v / 1000.0);
        unit = "KB";
        if (bytes >= (quint64(1) << 20)) {
            v = static_cast<float>(v / 1000.0);
            unit = "MB";
            if (bytes >= (quint64(1) << 30)) {
                v = static_cast<float>(v / 1000.0);
                unit = "GB";
            }
        }
    }
    const char* pad = v < 10.0f ? "  " : (v < 100.0f ? " " : "");
    return QString::asprintf("%s%.3f%s", pad, static_cast<double>(v), unit);
}

quint64 RecordFileBytes(const tag_LUMOFILEAVINFO& info) {
    return info.size64 != 0 ? info.size64 : info.size;
}

QString SpaceText(qint64 used, qint64 total) {
    return QStringLiteral("%1/%2").arg(used >> 10).arg(total >> 10);
}

QString StreamTypeText(qint64 streamId) {
    switch (streamId) {
        case 1:
            return QObject::tr("K0435_MainStream");
        case 2:
            return QObject::tr("K0436_SubStream");
        case 3:
            return QObject::tr("K0642_ThirdStream");
        default:
            return QObject::tr("--");
    }
}

QString BlockStreamText(int ids) {
    switch (ids) {
        case 0:
            return QObject::tr("K0435_MainStream");
        case 1:
            return QObject::tr("K0436_SubStream");
        case 2:
            return QObject::tr("K0642_ThirdStream");
        default:
            return QObject::tr("K4780_--");
    }
}

QString StreamRecordModeText(int mode) {
    switch (mode) {
        case 16:
            return QObject::tr("K3731_ManualRecord");
        case 1:
            return QObject::tr("K3732_ScheduleRecord");
        case 2:
            return QObject::tr("K3733_EventRecord");
        default:
            return QObject::tr("--");
    }
}

QVariant RecordFileTypeValue(int type) {
    QString text;
    if (type == 0)
        text = QObject::tr("K3732_ScheduleRecord");
    else if (type == 1)
        text = QObject::tr("K3733_EventRecord");
    else if (type == 4)
        text = QObject::tr("K3731_ManualRecord");
    if (text.isEmpty()) return type;
    return text;
}

QString PackedTimeText(uint32_t packed, int ms) {
    CLumoTime t(packed, 0);
    t.SetMS(ms);
    CLumoString text;
    t.ToString(text, true);
    return QString::fromUtf8(text.GetBuffer());
}

}  // namespace StorageText
