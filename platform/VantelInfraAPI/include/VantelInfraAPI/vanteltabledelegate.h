// Item delegates for VantelDataModel tables: row check boxes in column 0 and per-cell action
// buttons (icons with tool tips), with hover, press and keyboard handling. Presses and check
// changes are reported by signal with the view and the cell.
#pragma once

#include <QAbstractItemView>
#include <QList>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStyledItemDelegate>
#include <QVector>
#include <functional>

class QTableView;

// One action button of a cell.
struct ActionInfo {
    ActionInfo(int size = 20, const QString& icon = QString(), const QString& tooltip = QString(), int id = -1,
               const QString& hoverIcon = QString(), const QString& pressedIcon = QString());

    // Resource paths of the icon and of its hovered and pressed looks (empty: the icon).
    QString icon;
    QString hoverIcon;
    QString pressedIcon;
    // Pixmaps that take the place of the paths when set.
    QPixmap pixmap;
    QPixmap hoverPixmap;
    QPixmap pressedPixmap;
    int size;          // edge of the square button in pixels
    int margin = 1;    // pixels between the button's edge and its icon
    int spacing = 4;   // pixels before each button
    bool disabled = false;
    int id;            // number reported when pressed; -1: the button's position in its list
    bool checkable = false;
    bool checked = false;  // a checkable button shows its pressed look while checked
    QString tooltip;
};

class VantelDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // Gives the buttons of a cell, or null for none. The list must outlive the painting and
    // the events of the cell (the callers keep it in static storage).
    using ActionButtonRepo =
        std::function<QList<ActionInfo>*(QAbstractItemView*, const QStyleOptionViewItem&, const QModelIndex&)>;

    explicit VantelDelegate(QAbstractItemView* view, QObject* parent = nullptr);
    ~VantelDelegate() override;

    void SetActionButtonRepo(const ActionButtonRepo& repo);
    QAbstractItemView* GetView() const { return m_view; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // The buttons of a cell (null: none).
    virtual QList<ActionInfo>* GetIndexAction(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    virtual bool IsActionButtonEnabled(const QModelIndex& index, int action) const;
    virtual bool IsActionButtonEnabled(const ActionInfo& info) const;

    // Geometry, in the view's viewport coordinates: the button rectangles of a cell, the button
    // at a point (-1: none) and the row check box of a column-0 cell.
    QVector<QRect> ActionButtonRects(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    int ActionAt(const QStyleOptionViewItem& option, const QModelIndex& index, const QPoint& pos) const;
    QRect CheckBoxRect(const QStyleOptionViewItem& option) const;

signals:
    // A button was pressed; action is its position in the cell's list (or its id when set).
    void SignalActionTriggered(QAbstractItemView* view, const QModelIndex& index, int action);
    // The row check box of the cell's row was toggled (the model already holds the new state).
    void SignalItemCheckStateChange(QAbstractItemView* view, const QModelIndex& index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Paints the cell's buttons over what is already drawn.
    void paintActionButtons(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                            const QList<ActionInfo>& actions) const;
    // Paints the row check box of a column-0 cell.
    void paintCheckBox(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // Paints the cell's background (selection, alternating colour) without text or check mark.
    void paintBackground(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // Colour of the cell's text (invalid: the palette's).
    virtual QColor drawTextColor(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // Focus frame of a cell: none by default, rows show their selection instead.
    virtual void drawFocus(QPainter* painter, const QStyleOptionViewItem& option, const QRect& rect) const;

    bool hasCheckBox(const QModelIndex& index) const;
    bool toggleCheck(QAbstractItemModel* model, const QModelIndex& index);

private:
    QStyleOptionViewItem optionFor(const QModelIndex& index) const;
    void setHover(const QModelIndex& index, int action);

    QPointer<QAbstractItemView> m_view;
    // The viewport whose events are watched. Compared as a plain object: while the view is being
    // destroyed its viewport still sends events, and the view is no item view any more.
    QPointer<QObject> m_viewport;
    ActionButtonRepo m_repo;
    QPersistentModelIndex m_hoverIndex;
    int m_hoverAction = -1;
    QPersistentModelIndex m_pressIndex;
    int m_pressAction = -1;
    bool m_swallowRelease = false;
};

// The table flavour: made for a QTableView, paints ordinary cells without a focus frame.
class VantelTableDelegate : public VantelDelegate {
    Q_OBJECT
public:
    explicit VantelTableDelegate(QTableView* view, QObject* parent = nullptr);
    ~VantelTableDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    QTableView* m_tableView;
};
