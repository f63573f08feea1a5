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

// ---------------------------------------------------------------------------- column tables

VMRColumnTable::VMRColumnTable(int columns, const QMap<int, QString>& labels, IVantelList* list,
                               QObject* parent)
    : VantelTableDataModel(list, parent), m_columns(columns) {
    SetHeaderLabels(labels);
}

int VMRColumnTable::columnCount(const QModelIndex&) const {
    return m_columns;
}

QMap<int, QString> VMRColumnTable::Labels(const char* const* keys, int count) {
    QMap<int, QString> labels;
    for (int c = 0; c < count; ++c) labels.insert(c, *keys[c] ? QObject::tr(keys[c]) : QString());
    return labels;
}

// ---------------------------------------------------------------------------- disks, disk states

namespace {

// What a cell of the two disk tables shows.
enum class DiskCell { None, Number, Name, State, Type, Space, Path };

QVariant diskCell(IVantelData* row, DiskCell what) {
    auto* disk = dynamic_cast<IKestoDiskInfo*>(row);
    if (!disk) return QVariant();
    const CLumoFSDiskInfo* info = disk->GetInfo();
    switch (what) {
        case DiskCell::Number:
            return uintValue(disk->GetID());
        case DiskCell::Name: {
            CLumoString name;
            info->GetShortName(name);
            return utf8(name.GetBuffer());
        }
        case DiskCell::State:
            return static_cast<uint>(info->GetState());
        case DiskCell::Type:
            return static_cast<uint>(info->GetType());
        case DiskCell::Space:
            return StorageText::SpaceText(info->GetSpaceUsed(), info->GetSpaceTotal());
        case DiskCell::Path:
            return utf8(info->GetName());
        case DiskCell::None:
            break;
    }
    return QVariant();
}

template <size_t N>
QVariant diskCell(IVantelData* row, int column, const DiskCell (&columns)[N]) {
    return column >= 0 && size_t(column) < N ? diskCell(row, columns[column]) : QVariant();
}

}  // namespace

QVariant VMRDiskModel::GetDisplayData(IVantelData* row, int column) const {
    using C = DiskCell;
    static const DiskCell columns[] = {C::None, C::Number, C::Name, C::Space, C::None};
    return diskCell(row, column, columns);
}

QVariant VMRDiskStatusModel::GetDisplayData(IVantelData* row, int column) const {
    using C = DiskCell;
    static const DiskCell columns[] = {C::None, C::Number, C::Name,  C::State,
                                       C::Type, C::None,   C::Space, C::Path};
    return diskCell(row, column, columns);
}

// ---------------------------------------------------------------------------- channels

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
