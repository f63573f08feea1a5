#include "delegates/vmrdelegates.h"

#include <QStyleOptionViewItem>

#include "delegates/storagebars.h"

using StorageBars::Bar;

namespace {

int barWidth(const QStyleOptionViewItem& option) { return StorageBars::BarRect(option.rect).width(); }

QString cellText(const QModelIndex& index) { return index.data(Qt::DisplayRole).toString(); }

}  // namespace

VMRDiskDelegate::VMRDiskDelegate(QTableView* view, QObject* parent) : VantelTableDelegate(view, parent) {}
VMRDiskDelegate::~VMRDiskDelegate() = default;

void VMRDiskDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (index.column() == 3) {
        const Bar bar = StorageBars::SpaceBar(cellText(index), barWidth(option), true);
        if (bar.mode != Bar::Decline) return StorageBars::PaintBar(painter, option, bar);
    }
    VantelTableDelegate::paint(painter, option, index);
}

VMRDiskStatusDelegate::VMRDiskStatusDelegate(QTableView* view, QObject* parent) : VantelTableDelegate(view, parent) {}
VMRDiskStatusDelegate::~VMRDiskStatusDelegate() = default;

void VMRDiskStatusDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    if (index.column() == 3)
        return StorageBars::PaintBar(painter, option, StorageBars::DiskStateBar(index.data(), barWidth(option)));
    if (index.column() == 6) {
        const Bar bar = StorageBars::SpaceBar(cellText(index), barWidth(option), false);
        if (bar.mode != Bar::Decline) return StorageBars::PaintBar(painter, option, bar);
    }
    VantelTableDelegate::paint(painter, option, index);
}

VMRChnDelegate::VMRChnDelegate(QTableView* view, QObject* parent) : VantelTableDelegate(view, parent) {}
VMRChnDelegate::~VMRChnDelegate() = default;

void VMRChnDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (index.column() == 6)
        return StorageBars::PaintBar(painter, option, StorageBars::RecordStateBar(index.data(), barWidth(option)));
    VantelTableDelegate::paint(painter, option, index);
}

VMRStreamDelegate::VMRStreamDelegate(QTableView* view, QObject* parent) : VantelTableDelegate(view, parent) {}
VMRStreamDelegate::~VMRStreamDelegate() = default;

void VMRStreamDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (index.column() == 8)
        return StorageBars::PaintBar(painter, option, StorageBars::RecordStateBar(index.data(), barWidth(option)));
    VantelTableDelegate::paint(painter, option, index);
}

VMRBlockDelegate::VMRBlockDelegate(QTableView* view, QObject* parent) : VantelTableDelegate(view, parent) {}
VMRBlockDelegate::~VMRBlockDelegate() = default;

void VMRBlockDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (index.column() == 3) {
        // An empty or unsplittable cell stays blank: PaintBar draws nothing for it.
        return StorageBars::PaintBar(painter, option, StorageBars::BlockUsageBar(cellText(index), barWidth(option)));
    }
    VantelTableDelegate::paint(painter, option, index);
}

VMRRecordFileDelegate::VMRRecordFileDelegate(QTableView* view, QObject* parent) : VantelTableDelegate(view, parent) {}
VMRRecordFileDelegate::~VMRRecordFileDelegate() = default;
