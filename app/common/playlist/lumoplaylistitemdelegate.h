// Paints one play-list entry as a card (name, time span, size) with a delete button under the mouse.
#pragma once

#include <QColor>
#include <QDateTime>
#include <QPoint>
#include <QStyledItemDelegate>

#include <memory>

class QPushButton;

// Item data roles of a play-list entry, all set by PlayListWidget::AddItem.
enum PlayListItemRole {
    PlayListRoleId = Qt::UserRole + 1,     // quint64, chosen by the owner
    PlayListRoleName = Qt::UserRole + 2,   // QString
    PlayListRoleStart = Qt::UserRole + 3,  // QDateTime
    PlayListRoleEnd = Qt::UserRole + 4,    // QDateTime
    PlayListRoleSize = Qt::UserRole + 5,   // quint64, bytes
    PlayListRoleFlags = Qt::UserRole + 6,  // quint64 bit word; any set bit paints as playing
};

class LumoPlayListItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit LumoPlayListItemDelegate(QObject* parent = nullptr);
    ~LumoPlayListItemDelegate() override;

    bool eventFilter(QObject* object, QEvent* event) override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    void SetColors(const QColor& normal, const QColor& select, const QColor& hover, const QColor& playing,
                   const QColor& leftLine, const QColor& bottomLine);

    // The three text rows, as painted.
    QString NameText(const QString& name) const;
    static QString TimeText(const QDateTime& start, const QDateTime& end);
    static QString SizeText(quint64 bytes);
    // The colour the texts of an item are painted in.
    QColor TextColor(quint64 flags, QStyle::State state) const;
    // The delete button's place within an item's rectangle: at its right end.
    QRect ButtonRect(const QRect& item) const;
    // The width the texts of an item may take: the item's width, or up to the delete button
    // while the button shows (the item is hovered); never less than the rows were made for.
    int TextWidth(const QRect& item, bool hovered) const;
    // A row's text as painted in an item: cut with "..." where the font says it would not fit.
    QString FittedText(const QString& text, const QRect& item, bool hovered) const;
    // The font the rows are painted in.
    static QFont RowFont();
    int ButtonState() const { return buttonState; }

signals:
    void deleteItem(const QModelIndex& index);

private:
    QPoint mousePos;
    int buttonState = -1;                       // 0 none, 1 hovered, 2 pressed
    std::unique_ptr<QPushButton> deleteButton;  // lends its style sheet to the painted button
    int barWidth = 3, barHeight = 54, barTop = 6;
    int lineLength = 206;
    int nameRowHeight = 18, timeRowHeight = 18, sizeRowHeight = 18;
    int textWidth = 190;
    int textLeft = 20, textTop = 8;
    int buttonSize = 20;
    int buttonLeft = 208, buttonTop = 25;
    int itemHeight = 70, itemWidth = 240;
    QColor defaultColor, hoverColor, selectColor, playingColor, leftLineColor, bottomLineColor;
};
