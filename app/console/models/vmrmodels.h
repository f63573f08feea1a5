// The six storage tables of the recording console: disks, disk states, channels, the streams of
// one channel, the storage blocks of one disk and the record files of a search. Each model only
// names its columns (the keys of their labels) and works out each cell from the engine's row
// object when it is asked for.
#pragma once

#include <QMap>
#include <QString>
#include <iterator>

#include "VantelInfraAPI/vanteldatamodel.h"

// A table whose columns are its label keys, one a column (an empty key: a column without label).
class VMRColumnTable : public VantelTableDataModel {
    Q_OBJECT
public:
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;

protected:
    VMRColumnTable(int columns, const QMap<int, QString>& labels, IVantelList* list, QObject* parent);
    // The labels of the keys in the current language.
    static QMap<int, QString> Labels(const char* const* keys, int count);

private:
    int m_columns;
};

// The model of a table: Self states its columns in `static constexpr const char* kColumns[]`.
template <class Self>
class VMRColumnModel : public VMRColumnTable {
public:
    explicit VMRColumnModel(IVantelList* list = nullptr, QObject* parent = nullptr)
        : VMRColumnTable(int(std::size(Self::kColumns)), HeaderLabels(), list, parent) {}
    // The labels in the current language (the window re-sets them on a language change).
    static QMap<int, QString> HeaderLabels() {
        return Labels(Self::kColumns, int(std::size(Self::kColumns)));
    }
};

class VMRDiskModel : public VMRColumnModel<VMRDiskModel> {
public:
    static constexpr const char* kColumns[] = {"", "K3711_DiskNo", "K3715_DiskName", "K3712_DiskSpace",
                                               "K0474_Operattion"};
    using VMRColumnModel::VMRColumnModel;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
};

class VMRDiskStatusModel : public VMRColumnModel<VMRDiskStatusModel> {
public:
    static constexpr const char* kColumns[] = {"",
                                               "K3711_DiskNo",
                                               "K3715_DiskName",
                                               "K3713_DiskStatus",
                                               "K3714_DiskType",
                                               "K0474_Operattion",
                                               "K3712_DiskSpace",
                                               "K3716_DiskPath"};
    using VMRColumnModel::VMRColumnModel;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
};

class VMRChnModel : public VMRColumnModel<VMRChnModel> {
public:
    // The last column has no label.
    static constexpr const char* kColumns[] = {"",
                                               "K0478_Channel",
                                               "K4763_CUID",
                                               "K3725_ChnName",
                                               "K0474_Operattion",
                                               "K3734_BitRate",
                                               "K3726_RecordStatus",
                                               ""};
    using VMRColumnModel::VMRColumnModel;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
};

class VMRStreamModel : public VMRColumnModel<VMRStreamModel> {
public:
    static constexpr const char* kColumns[] = {"",
                                               "K4779_ID",
                                               "K0637_StreamType",
                                               "K3705_RecordType",
                                               "K3527_EncodeingFormat",
                                               "K3734_BitRate",
                                               "K3735_FPS",
                                               "K3702_Resolution",
                                               "K3726_RecordStatus",
                                               ""};
    using VMRColumnModel::VMRColumnModel;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
};

class VMRBlockModel : public VMRColumnModel<VMRBlockModel> {
public:
    static constexpr const char* kColumns[] = {"",
                                               "K4779_ID",
                                               "K3711_DiskNo",
                                               "K3724_BlockStatus",
                                               "K4763_CUID",
                                               "K3738_MediaType",
                                               "K0637_StreamType",
                                               "K0474_Operattion",
                                               "K3703_StartTime",
                                               "K3704_EndTime",
                                               "K3705_RecordType",
                                               "K3727_TotalTime",
                                               "K3728_FileNum",
                                               "K3729_FrameNum"};
    using VMRColumnModel::VMRColumnModel;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
    // The number of the disk whose blocks the rows are (the settings' own N of [diskN]), shown
    // in the disk column; -1: the rows' own disk index + 1. Disk numbers may have gaps: a
    // block's position among the disks is not its disk's number.
    void SetDiskId(qint64 id);

private:
    qint64 m_diskId = -1;
};

class VMRRecordFileModel : public VMRColumnModel<VMRRecordFileModel> {
public:
    static constexpr const char* kColumns[] = {"",
                                               "K3526_SerialNumber",
                                               "K3703_StartTime",
                                               "K3704_EndTime",
                                               "K4763_CUID",
                                               "K3701_FileSize",
                                               "K3702_Resolution",
                                               "K3527_EncodeingFormat",
                                               "K0474_Operattion",
                                               "K3705_RecordType",
                                               "K3706_FileName",
                                               ""};
    using VMRColumnModel::VMRColumnModel;
    QVariant GetDisplayData(IVantelData* row, int column) const override;

protected:
    // The size column sorts by bytes, not by its text.
    QVariant GetSortData(IVantelData* row, int column) const override;
};
