// Delegates of the six storage tables: each paints its bar columns (disk space, disk state,
// record state, block usage) and leaves every other cell, check boxes and action buttons to
// VantelTableDelegate. Each table's delegate only names its bar columns.
#pragma once

#include <QVector>
#include <initializer_list>

#include "VantelInfraAPI/vanteltabledelegate.h"

class VMRBarDelegate : public VantelTableDelegate {
    Q_OBJECT
public:
    enum BarKind {
        Space,               // "used/total" of a disk
        SpaceOrUnformatted,  // the same, saying "unformatted" over a disk without space
        DiskState,           // a disk's state word
        RecordState,         // a channel's or a stream's record mode
        BlockUsage,          // a block's "state/used clusters"
    };
    // columnsAndBars: a column, its bar, the next column, its bar...
    VMRBarDelegate(QTableView* view, std::initializer_list<int> columnsAndBars, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    QVector<int> m_bars;  // the bar of each column (-1: none)
};

// A table's delegate with its bar columns: column, bar, column, bar...
template <int... ColumnsAndBars>
class VMRTableDelegate : public VMRBarDelegate {
public:
    explicit VMRTableDelegate(QTableView* view, QObject* parent = nullptr)
        : VMRBarDelegate(view, {ColumnsAndBars...}, parent) {}
};

using VMRDiskDelegate = VMRTableDelegate<3, VMRBarDelegate::SpaceOrUnformatted>;
using VMRDiskStatusDelegate = VMRTableDelegate<3, VMRBarDelegate::DiskState, 6, VMRBarDelegate::Space>;
using VMRChnDelegate = VMRTableDelegate<6, VMRBarDelegate::RecordState>;
using VMRStreamDelegate = VMRTableDelegate<8, VMRBarDelegate::RecordState>;
using VMRBlockDelegate = VMRTableDelegate<3, VMRBarDelegate::BlockUsage>;
using VMRRecordFileDelegate = VMRTableDelegate<>;
