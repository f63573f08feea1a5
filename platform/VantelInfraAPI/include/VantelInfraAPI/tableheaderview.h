// A table header with a tri-state check box in one section (ticks or unticks every row) and a
// choice of the columns that sort when their section is clicked.
#pragma once

#include <QHeaderView>
#include <QSet>

namespace INFRA {

class TableHeaderView : public QHeaderView {
    Q_OBJECT
public:
    // checkSection: the section that carries the check box (-1: none).
    TableHeaderView(int checkSection, Qt::Orientation orientation, QWidget* parent = nullptr);
    ~TableHeaderView() override;

    // Shows the state; does not emit checkStausChange (the rows already are in that state).
    void setChecked(Qt::CheckState state);
    Qt::CheckState checkState() const { return m_state; }
    int checkSection() const { return m_checkSection; }

    // Which sections sort when clicked. With exclude true every section below count sorts
    // except those in the set; with false only the sections in the set sort. Until this is
    // called every section sorts.
    void setSortableColumns(const QSet<int>& columns, int count, bool exclude);
    bool isSectionSortable(int logicalIndex) const;

    // Where the check box is drawn (and clicked) within a section's rectangle.
    QRect checkBoxRect(const QRect& sectionRect) const;
    // The rectangle of a section in viewport coordinates.
    QRect sectionRect(int logicalIndex) const;

signals:
    // The operator clicked the check box: true ticks every row, false unticks them.
    void checkStausChange(bool checked);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool hitsCheckBox(const QPoint& pos) const;

    int m_checkSection;
    Qt::CheckState m_state = Qt::Unchecked;
    bool m_checkPressed = false;
    bool m_restrictSorting = false;
    bool m_exclude = true;
    int m_count = 0;
    QSet<int> m_columns;
};

}  // namespace INFRA
