#include "VantelInfraAPI/tableheaderview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace INFRA {

TableHeaderView::TableHeaderView(int checkSection, Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent), m_checkSection(checkSection) {
    // Clickable like a table's own header, so that the view's sorting reacts to clicks.
    setSectionsClickable(true);
    // No column is sorted until the operator asks: the rows keep the order they came in.
    setSortIndicator(-1, Qt::AscendingOrder);
}

TableHeaderView::~TableHeaderView() = default;

void TableHeaderView::setChecked(Qt::CheckState state) {
    if (m_state == state) return;
    m_state = state;
    if (m_checkSection >= 0) viewport()->update(sectionRect(m_checkSection));
}

void TableHeaderView::setSortableColumns(const QSet<int>& columns, int count, bool exclude) {
    m_restrictSorting = true;
    m_columns = columns;
    m_count = count;
    m_exclude = exclude;
}

bool TableHeaderView::isSectionSortable(int logicalIndex) const {
    if (logicalIndex < 0) return false;
    if (!m_restrictSorting) return true;
    if (m_exclude) return logicalIndex < m_count && !m_columns.contains(logicalIndex);
    return m_columns.contains(logicalIndex);
}

QRect TableHeaderView::checkBoxRect(const QRect& section) const {
    QStyleOptionButton opt;
    const int w = style()->pixelMetric(QStyle::PM_IndicatorWidth, &opt, this);
    const int h = style()->pixelMetric(QStyle::PM_IndicatorHeight, &opt, this);
    return QRect(section.left() + (section.width() - w) / 2, section.top() + (section.height() - h) / 2, w, h);
}

QRect TableHeaderView::sectionRect(int logicalIndex) const {
    if (logicalIndex < 0 || logicalIndex >= count()) return QRect();
    const int pos = sectionViewportPosition(logicalIndex);
    const int size = sectionSize(logicalIndex);
    if (orientation() == Qt::Horizontal) return QRect(pos, 0, size, viewport()->height());
    return QRect(0, pos, viewport()->width(), size);
}

void TableHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (logicalIndex != m_checkSection) return;
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.rect = checkBoxRect(rect);
    opt.state |= QStyle::State_Enabled;
    if (m_state == Qt::Checked)
        opt.state |= QStyle::State_On;
    else if (m_state == Qt::PartiallyChecked)
        opt.state |= QStyle::State_NoChange;
    else
        opt.state |= QStyle::State_Off;
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, painter, this);
}

bool TableHeaderView::hitsCheckBox(const QPoint& pos) const {
    if (m_checkSection < 0) return false;
    const int at = orientation() == Qt::Horizontal ? pos.x() : pos.y();
    if (logicalIndexAt(at) != m_checkSection) return false;
    // A few pixels around the box count, so that a hurried click still hits it.
    return checkBoxRect(sectionRect(m_checkSection)).adjusted(-3, -3, 3, 3).contains(pos);
}

void TableHeaderView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && hitsCheckBox(event->pos())) {
        m_checkPressed = true;
        event->accept();
        return;
    }
    const int at = orientation() == Qt::Horizontal ? event->pos().x() : event->pos().y();
    const int section = logicalIndexAt(at);
    if (section >= 0 && !isSectionSortable(section) && sectionsClickable()) {
        setSectionsClickable(false);
        QHeaderView::mousePressEvent(event);
        setSectionsClickable(true);
        return;
    }
    QHeaderView::mousePressEvent(event);
}

void TableHeaderView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_checkPressed) {
        m_checkPressed = false;
        event->accept();
        if (event->button() == Qt::LeftButton && hitsCheckBox(event->pos())) {
            m_state = m_state == Qt::Checked ? Qt::Unchecked : Qt::Checked;
            viewport()->update(sectionRect(m_checkSection));
            emit checkStausChange(m_state == Qt::Checked);
        }
        return;
    }
    const int at = orientation() == Qt::Horizontal ? event->pos().x() : event->pos().y();
    const int section = logicalIndexAt(at);
    if (section >= 0 && !isSectionSortable(section) && sectionsClickable()) {
        // The section is not clickable for this release only: no sort, no sectionClicked.
        setSectionsClickable(false);
        QHeaderView::mouseReleaseEvent(event);
        setSectionsClickable(true);
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}

void TableHeaderView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (hitsCheckBox(event->pos())) {
        // A double click is two clicks on the box, not a sort or a resize.
        m_checkPressed = true;
        event->accept();
        return;
    }
    QHeaderView::mouseDoubleClickEvent(event);
}

}  // namespace INFRA
