#include "models/vmrmodels.h"

#include <QObject>
#include <cstring>

#include "LumoSRecord/LumoSRecord.h"
#include "models/storagetext.h"

// The row objects are reached through dynamic_cast: a row of another kind in a list (or a null
// row) shows an empty row instead of being read as something it is not.

namespace {

QVariant uintValue(qint64 v) {
    return static_cast<uint>(v);
}

QString utf8(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

}  // namespace

// ---------------------------------------------------------------------------- disks

VMRDiskModel::VMRDiskModel(IVantelList* list, QObject* parent) : VantelTableDataModel(list, parent) {
    SetHeaderLabels(HeaderLabels());
}

VMRDiskModel::~VMRDiskModel() = default;

QMap<int, QString> VMRDiskModel::HeaderLabels() {
    return {{0, QString()},
            {1, QObject::tr("K3711_DiskNo")},
            {2, QObject::tr("K3715_DiskName")},
            {3, QObject::tr("K3712_DiskSpace")},
            {4, QObject::tr("K0474_Operattion")}};
}

int VMRDiskModel::columnCount(const QModelIndex&) const {
    return 5;
}

QVariant VMRDiskModel::GetDisplayData(IVantelData* row, int column) const {
    auto* disk = dynamic_cast<IKestoDiskInfo*>(row);
    if (!disk) return QVariant();
    const CLumoFSDiskInfo* info = disk->GetInfo();
    switch (column) {
        case 1:
            return uintValue(disk->GetID());
        case 2: {
            CLumoString name;
            info->GetShortName(name);
            return utf8(name.GetBuffer());
        }
        case 3:
            return StorageText::SpaceText(info->GetSpaceUsed(), info->GetSpaceTotal());
        default:
            return QVariant();
    }
}

// ---------------------------------------------------------------------------- disk states

VMRDiskStatusModel::VMRDiskStatusModel(IVantelList* list, QObject* parent)
    : VantelTableDataModel(list, parent) {
    SetHeaderLabels(HeaderLabels());
}

VMRDiskStatusModel::~VMRDiskStatusModel() = default;

QMap<int, QString> VMRDiskStatusModel::HeaderLabels() {
    return {{0, QString()},
            {1, QObject::tr("K3711_DiskNo")},
            {2, QObject::tr("K3715_DiskName")},
            {3, QObject::tr("K3713_DiskStatus")},
            {4, QObject::tr("K3714_DiskType")},
            {5, QObject::tr("K0474_Operattion")},
            {6, QObject::tr("K3712_DiskSpace")},
            {7, QObject::tr("K3716_DiskPath")}};
}

int VMRDiskStatusModel::columnCount(const QModelIndex&) const {
    return 8;
}

QVariant VMRDiskStatusModel::GetDisplayData(IVantelData* row, int column) const {
    auto* disk = dynamic_cast<IKestoDiskInfo*>(row);
    if (!disk) return QVariant();
    const CLumoFSDiskInfo* info = disk->GetInfo();
    switch (column) {
        case 1:
            return uintValue(disk->GetID());
        case 2: {
            CLumoString name;
            info->GetShortName(name);
            return utf8(name.GetBuffer());
        }
        case 3:
            return static_cast<uint>(info->GetState());
        case 4:
            return static_cast<uint>(info->GetType());
        case 6:
            return StorageText::SpaceText(info->GetSpaceUsed(), info->GetSpaceTotal());
        case 7:
            return utf8(info->GetName());
        default:
            return QVariant();
    }
}

// ---------------------------------------------------------------------------- channels

VMRChnModel::VMRChnModel(IVantelList* list, QObject* parent) : VantelTableDataModel(list, parent) {
    SetHeaderLabels(HeaderLabels());
}

VMRChnModel::~VMRChnModel() = default;

QMap<int, QString> VMRChnModel::HeaderLabels() {
    return {{0, QString()},
            {1, QObject::tr("K0478_Channel")},
            {2, QObject::tr("K4763_CUID")},
            {3, QObject::tr("K3725_ChnName")},
            {4, QObject::tr("K0474_Operattion")},
            {5, QObject::tr("K3734_BitRate")},
            {6, QObject::tr("K3726_RecordStatus")}};
}

int VMRChnModel::columnCount(const QModelIndex&) const {
    return 8;
}

QVariant VMRChnModel::GetDisplayData(IVantelData* row, int column) const {
    if (!row || row->GetObjectID() != VANTEL_OBJ_KESTO_CHANNEL) return QVariant();
    auto* chn = dynamic_cast<IKestoChanInfo*>(row);
    if (!chn) return QVariant();
    switch (column) {
        case 1:
            return uintValue(chn->GetID());
        case 2:
            return utf8(chn->GetCUID());
        case 3:
            return utf8(chn->GetName());
        case 5:
        case 6: {
            qint64 bitRate = 0;
            int modes = 0;
            const int n = chn->GetStreamNum();
            for (int i = 0; i < n; ++i) {
                IKestoStreamInfo* s = chn->GetStreamInfo(i);
                if (!s) continue;
                bitRate += s->GetData()->bitRateKbps;
                modes += s->GetData()->recordMode;
            }
            if (column == 5) return QStringLiteral("%1Kbps").arg(bitRate);
            return modes;
        }
        default:
            return QVariant();
    }
}

// ---------------------------------------------------------------------------- streams

VMRStreamModel::VMRStreamModel(IVantelList* list, QObject* parent) : VantelTableDataModel(list, parent) {
    SetHeaderLabels(HeaderLabels());
}

VMRStreamModel::~VMRStreamModel() = default;

QMap<int, QString> VMRStreamModel::HeaderLabels() {
    return {{0, QString()},
            {1, QObject::tr("K4779_ID")},
            {2, QObject::tr("K0637_StreamType")},
            {3, QObject::tr("K3705_RecordType")},
            {4, QObject::tr("K3527_EncodeingFormat")},
            {5, QObject::tr("K3734_BitRate")},
            {6, QObject::tr("K3735_FPS")},
            {7, QObject::tr("K3702_Resolution")},
            {8, QObject::tr("K3726_RecordStatus")},
            {9, QString()}};
}

int VMRStreamModel::columnCount(const QModelIndex&) const {
    return 10;
}

QVariant VMRStreamModel::GetDisplayData(IVantelData* row, int column) const {
    if (!row || row->GetObjectID() != VANTEL_OBJ_KESTO_STREAM) return QVariant();
    auto* stream = dynamic_cast<IKestoStreamInfo*>(row);
    if (!stream) return QVariant();
    const tag_STMDATA* d = stream->GetData();
    const int mode = d->recordMode;
    const QString none = QStringLiteral("--");  // not recording: plain text, no translation
    switch (column) {
        case 1:
            return uintValue(stream->GetID());
        case 2:
            return StorageText::StreamTypeText(stream->GetID());
        case 3:
            return StorageText::StreamRecordModeText(mode);
        case 4:
            return mode == 0 ? none : StorageText::CodecText(d->videoCodec, d->audioCodec, none);
        case 5:
            return mode == 0 ? QVariant(none) : QVariant(QStringLiteral("%1Kbps").arg(d->bitRateKbps));
        case 6:
            return mode == 0 ? QVariant(none) : QVariant(static_cast<int>(d->frameRate));
        case 7:
            return mode == 0 ? QVariant(none)
                             : QVariant(QStringLiteral("%1X%2").arg(d->width).arg(d->height));
        case 8:
            return mode;
        default:
            return QVariant();
    }
}

// ---------------------------------------------------------------------------- storage blocks

VMRBlockModel::VMRBlockModel(IVantelList* list, QObject* parent) : VantelTableDataModel(list, parent) {
    SetHeaderLabels(HeaderLabels());
}

VMRBlockModel::~VMRBlockModel() = default;

QMap<int, QString> VMRBlockModel::HeaderLabels() {
    return {{0, QString()},
            {1, QObject::tr("K4779_ID")},
            {2, QObject::tr("K3711_DiskNo")},
            {3, QObject::tr("K3724_BlockStatus")},
            {4, QObject::tr("K4763_CUID")},
            {5, QObject::tr("K3738_MediaType")},
            {6, QObject::tr("K0637_StreamType")},
            {7, QObject::tr("K0474_Operattion")},
            {8, QObject::tr("K3703_StartTime")},
            {9, QObject::tr("K3704_EndTime")},
            {10, QObject::tr("K3705_RecordType")},
            {11, QObject::tr("K3727_TotalTime")},
            {12, QObject::tr("K3728_FileNum")},
            {13, QObject::tr("K3729_FrameNum")}};
}

int VMRBlockModel::columnCount(const QModelIndex&) const {
    return 14;
}

void VMRBlockModel::SetDiskId(qint64 id) {
    if (m_diskId == id) return;
    m_diskId = id;
    if (GetRowCount() > 0) emit dataChanged(index(0, 2), index(GetRowCount() - 1, 2));
}

QVariant VMRBlockModel::GetDisplayData(IVantelData* row, int column) const {
    auto* block = dynamic_cast<IKestoBlockInfo*>(row);
    if (!block) return QVariant();
    const CLumoFSBlockInfo* b = block->GetInfo();
    const bool inUse = (b->GetState() & 0x10) != 0 || b->GetClusterUsed() != 0;
    switch (column) {
        case 1:
            return static_cast<uint>(b->GetIDB() + 1);
        case 2:
            return m_diskId >= 0 ? static_cast<uint>(m_diskId) : static_cast<uint>(b->GetIDD() + 1);
        case 3:
            return QStringLiteral("%1/%2").arg(b->GetState()).arg(b->GetClusterUsed());
        case 4:
            return utf8(b->GetCUID());
        case 11:
            return static_cast<uint>(b->GetUsedTime());
        case 12:
            return b->GetFileNum();
        case 13:
            return static_cast<uint>(b->GetFrameNum());
        default:
            break;
    }
    if (!inUse) return QVariant();
    switch (column) {
        case 5:
            return static_cast<uint>(b->GetMediaType());
        case 6:
            return StorageText::BlockStreamText(b->GetIDS());
        case 8:
        case 9: {
            CLumoTime t;
            if (column == 8)
                b->GetTimeS(t);
            else
                b->GetTimeE(t);
            CLumoString text;
            t.ToString(text, true);
            return utf8(text.GetBuffer());
        }
        case 10:
            return b->GetRecType() == 1 ? QVariant(QObject::tr("K3732_ScheduleRecord")) : QVariant();
        default:
            return QVariant();
    }
}

// ---------------------------------------------------------------------------- record files

VMRRecordFileModel::VMRRecordFileModel(IVantelList* list, QObject* parent)
    : VantelTableDataModel(list, parent) {
    SetHeaderLabels(HeaderLabels());
}

VMRRecordFileModel::~VMRRecordFileModel() = default;

QMap<int, QString> VMRRecordFileModel::HeaderLabels() {
    return {{0, QString()},
            {1, QObject::tr("K3526_SerialNumber")},
            {2, QObject::tr("K3703_StartTime")},
            {3, QObject::tr("K3704_EndTime")},
            {4, QObject::tr("K4763_CUID")},
            {5, QObject::tr("K3701_FileSize")},
            {6, QObject::tr("K3702_Resolution")},
            {7, QObject::tr("K3527_EncodeingFormat")},
            {8, QObject::tr("K0474_Operattion")},
            {9, QObject::tr("K3705_RecordType")},
            {10, QObject::tr("K3706_FileName")},
            {11, QString()}};
}

int VMRRecordFileModel::columnCount(const QModelIndex&) const {
    return 12;
}

QVariant VMRRecordFileModel::GetDisplayData(IVantelData* row, int column) const {
    auto* file = dynamic_cast<IKestoFileInfoAV*>(row);
    if (!file) return QVariant();
    const tag_LUMOFILEAVINFO* info = file->GetInfo();
    switch (column) {
        case 1:
            return uintValue(file->GetID());
        case 2:
            return StorageText::PackedTimeText(info->timeStart, info->msStart);
        case 3:
            return StorageText::PackedTimeText(info->timeEnd, info->msEnd);
        case 4:
            // The field is fixed-size: never read past it, even when the engine left no NUL.
            return QString::fromUtf8(info->cuid, static_cast<int>(strnlen(info->cuid, sizeof info->cuid)));
        case 5:
            return StorageText::FileSizeText(StorageText::RecordFileBytes(*info));
        case 6:
            return QString::asprintf("%4dX%4d", info->width, info->height);
        case 7:
            return StorageText::CodecText(info->videoCodec, info->audioCodec, QStringLiteral("N/A"));
        case 9:
            return StorageText::RecordFileTypeValue(info->recordType);
        case 10:
            return utf8(file->GetFileName());
        default:
            return QVariant();
    }
}

QVariant VMRRecordFileModel::GetSortData(IVantelData* row, int column) const {
    if (column == 5) {
        auto* file = dynamic_cast<IKestoFileInfoAV*>(row);
        if (!file) return QVariant();
        return static_cast<qulonglong>(StorageText::RecordFileBytes(*file->GetInfo()));
    }
    return VantelTableDataModel::GetSortData(row, column);
}
