#include "delegates/vmrdelegates.h"

#include <QStyleOptionViewItem>

#include "delegates/storagebars.h"

using StorageBars::Bar;

VMRBarDelegate::VMRBarDelegate(QTableView* view, std::initializer_list<int> columnsAndBars, QObject* parent)
    : VantelTableDelegate(view, parent) {
    for (auto it = columnsAndBars.begin(); it != columnsAndBars.end() && it + 1 != columnsAndBars.end();
         it += 2) {
        if (*it < 0) continue;
        while (m_bars.size() <= *it) m_bars << -1;
        m_bars[*it] = *(it + 1);
    }
}

void VMRBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    const int kind = index.column() < m_bars.size() ? m_bars.at(index.column()) : -1;
    if (kind < 0) return VantelTableDelegate::paint(painter, option, index);
    const int width = StorageBars::BarRect(option.rect).width();
    const QString text = index.data(Qt::DisplayRole).toString();
    Bar bar;
    switch (kind) {
        case Space:
        case SpaceOrUnformatted:
            bar = StorageBars::SpaceBar(text, width, kind == SpaceOrUnformatted);
            break;
        case DiskState:
            bar = StorageBars::DiskStateBar(index.data(), width);
            break;
        case RecordState:
            bar = StorageBars::RecordStateBar(index.data(), width);
            break;
        default:
            // An empty or unsplittable cell stays blank: PaintBar draws nothing for it.
            bar = StorageBars::BlockUsageBar(text, width);
            break;
    }
    // A value that is no bar (a space without its two numbers) is painted as an ordinary cell.
    if (bar.mode == Bar::Decline) return VantelTableDelegate::paint(painter, option, index);
    StorageBars::PaintBar(painter, option, bar);
}
