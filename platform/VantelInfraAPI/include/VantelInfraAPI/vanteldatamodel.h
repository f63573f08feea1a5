// Table models over IVantelList rows: the model holds its own reference on every row it shows,
// keeps one check flag per row, sorts by the cells' values and maps its rows back to the order
// in which the rows were handed over.
#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVector>

#include "VantelCore/VantelCore.h"

class VantelDataModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // Role of the per-row check flag (a bool) on column 0.
    enum { CheckRole = Qt::UserRole + 1000 };

    explicit VantelDataModel(IVantelList* list = nullptr, QObject* parent = nullptr);
    ~VantelDataModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Sorts the rows by the column's values; rows of equal value keep the order in which they
    // were handed over. A column below 0 restores that order. The order is kept and applied
    // again to the next rows given to SetupModelData.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Removes every row. With release true the model returns its references on the rows at
    // once; with false it keeps them alive until the next SetupModelData, Clear(true) or its
    // destruction, so row pointers taken just before stay valid a little longer.
    void Clear(bool release = true);
    // Shows the rows of the list in place of those shown before (a null list shows nothing).
    // The model takes its own reference on each row: the caller may release the list right
    // afterwards. The check flags start cleared; a sort order chosen before is applied.
    virtual void SetupModelData(IVantelList* list);

    // The row object at a model row (the row the view shows there, whatever the sorting), or
    // null. The pointer stays valid while the model shows the row.
    IVantelData* GetRowData(int row) const;
    int GetRowCount() const;
    // Position of the model row's object in the list as handed to SetupModelData (-1 if none).
    int GetSourceRow(int row) const;
    // The model row showing the source position / the object, or -1.
    int GetRowOfSource(int sourceRow) const;
    int FindRow(const IVantelData* object) const;

    bool GetItemCheckState(int row) const;
    void SetItemCheckState(int row, bool checked);
    void SetAllItemCheckState(bool checked);
    int GetDetailCheckedCount() const;
    // The checked model rows in model order, and their row objects.
    QList<int> GetCheckedRows() const;
    QList<IVantelData*> GetCheckedRowData() const;

    // Tells the views that every cell of the column has changed (cells are worked out anew).
    void RefreshColume(int column);

    int GetSortColumn() const { return m_sortColumn; }
    Qt::SortOrder GetSortOrder() const { return m_sortOrder; }

    // The value of a cell, answered for Qt::DisplayRole, worked out from the row object each
    // time (row may be null). The base shows nothing.
    virtual QVariant GetDisplayData(IVantelData* row, int column) const;

signals:
    // A row's check flag changed through setData or SetItemCheckState.
    void itemCheckStateChanged(int row, bool checked);

protected:
    // The tool tip of a cell: by default the display text when it is not empty.
    virtual QVariant GetToolTip(IVantelData* row, int column) const;
    // The value the rows are sorted by: by default the display value.
    virtual QVariant GetSortData(IVantelData* row, int column) const;

private:
    struct Row {
        IVantelData* data;
        int source;
        bool checked;
    };
    void applySort();
    void releaseRetired();

    QVector<Row> m_rows;
    QVector<IVantelData*> m_retired;
    int m_nextSource = 0;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// A table: header labels by column number. The column count defaults to one past the highest
// labelled column; models with a fixed count override columnCount.
class VantelTableDataModel : public VantelDataModel {
    Q_OBJECT
public:
    explicit VantelTableDataModel(IVantelList* list = nullptr, QObject* parent = nullptr);
    ~VantelTableDataModel() override;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Replaces every label (a language change re-sets them).
    void SetHeaderLabels(const QMap<int, QString>& labels);
    const QMap<int, QString>& GetHeaderLabels() const { return m_headerLabels; }

private:
    QMap<int, QString> m_headerLabels;
};
