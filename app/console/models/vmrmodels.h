// The six storage tables of the recording console: disks, disk states, channels, the streams of
// one channel, the storage blocks of one disk and the record files of a search. Each model only
// names its columns and works out each cell from the engine's row object when it is asked for.
#pragma once

#include <QMap>
#include <QString>

#include "VantelInfraAPI/vanteldatamodel.h"

class VMRDiskModel : public VantelTableDataModel {
    Q_OBJECT
public:
    explicit VMRDiskModel(IVantelList* list = nullptr, QObject* parent = nullptr);
    ~VMRDiskModel() override;
    // The labels in the current language (the window re-sets them on a language change).
    static QMap<int, QString> HeaderLabels();
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
};

class VMRDiskStatusModel : public VantelTableDataModel {
    Q_OBJECT
public:
    explicit VMRDiskStatusModel(IVantelList* list = nullptr, QObject* parent = nullptr);
    ~VMRDiskStatusModel() override;
    static QMap<int, QString> HeaderLabels();
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
};

class VMRChnModel : public VantelTableDataModel {
    Q_OBJECT
public:
    explicit VMRChnModel(IVantelList* list = nullptr, QObject* parent = nullptr);
    ~VMRChnModel() override;
    static QMap<int, QString> HeaderLabels();
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
};

class VMRStreamModel : public VantelTableDataModel {
    Q_OBJECT
public:
    explicit VMRStreamModel(IVantelList* list = nullptr, QObject* parent = nullptr);
    ~VMRStreamModel() override;
    static QMap<int, QString> HeaderLabels();
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
};

class VMRBlockModel : public VantelTableDataModel {
    Q_OBJECT
public:
    explicit VMRBlockModel(IVantelList* list = nullptr, QObject* parent = nullptr);
    ~VMRBlockModel() override;
    static QMap<int, QString> HeaderLabels();
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant GetDisplayData(IVantelData* row, int column) const override;
    // The number of the disk whose blocks the rows are (the settings' own N of [diskN]), shown
    // in the disk column; -1: the rows' own disk index + 1. Disk numbers may have gaps: a
    // block's position among the disks is not its disk's number.
    void SetDiskId(qint64 id);

private:
    qint64 m_diskId = -1;
};

class VMRRecordFileModel : public VantelTableDataModel {
    Q_OBJECT
public:
    explicit VMRRecordFileModel(IVantelList* list = nullptr, QObject* parent = nullptr);
    ~VMRRecordFileModel() override;
    static QMap<int, QString> HeaderLabels();
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant GetDisplayData(IVantelData* row, int column) const override;

protected:
    // The size column sorts by bytes, not by its text.
    QVariant GetSortData(IVantelData* row, int column) const override;
};
