#include "common/playlist/lumoplaylistitemdelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

namespace {
// The button picture holds three 20-pixel-wide states side by side: normal, hovered, pressed.
const char kDeleteButtonStyle[] =
    "QPushButton {border: none; background-color: transparent; "
    "border-image:url(data/skin/picture/delete.png) 0 40 0 0;}    "
    "QPushButton:hover {border-image:url(data/skin/picture/delete.png) 0 20 0 20;}    "
    "QPushButton:pressed {border-image:url(data/skin/picture/delete.png) 0 0 0 40;}";
}  // namespace

LumoPlayListItemDelegate::LumoPlayListItemDelegate(QObject* parent)
    : QStyledItemDelegate(parent), mousePos(0, 0), deleteButton(new QPushButton) {
    deleteButton->setStyleSheet(QString::fromLatin1(kDeleteButtonStyle));
}

LumoPlayListItemDelegate::~LumoPlayListItemDelegate() = default;

bool LumoPlayListItemDelegate::eventFilter(QObject* object, QEvent* event) {
    return QStyledItemDelegate::eventFilter(object, event);
}

QSize LumoPlayListItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(itemHeight);
    size.setWidth(itemWidth);
    return size;
}

void LumoPlayListItemDelegate::SetColors(const QColor& normal, const QColor& select, const QColor& hover,
                                         const QColor& playing, const QColor& leftLine,
                                         const QColor& bottomLine) {
    defaultColor = normal;
    selectColor = select;
    hoverColor = hover;
    playingColor = playing;
    leftLineColor = leftLine;
    bottomLineColor = bottomLine;
}

QString LumoPlayListItemDelegate::NameText(const QString& name) const {
    const int limit = textWidth / 5;
    if (name.size() > limit) return name.left(limit - 10) + QStringLiteral("...");
    return name;
}

QString LumoPlayListItemDelegate::TimeText(const QDateTime& start, const QDateTime& end) {
    if (!start.isNull()) {
        const QString tail = end.isNull() ? QString() : end.toString(QStringLiteral("hh:mm:ss"));
        return start.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")) + QLatin1Char('_') + tail;
    }
    if (!end.isNull()) return end.toString(QStringLiteral("hh:mm:ss"));
    return QString();
}

QString LumoPlayListItemDelegate::SizeText(quint64 bytes) {
    // Whole units step by 1024 while the value exceeds 1024, up to GB; the fraction is a true
    // decimal tenth (truncated), and the value stays 64-bit so files over 4 GiB read right.
    static const char* const units[] = {"B", "KB", "MB", "GB"};
    quint64 whole = bytes;
    int step = 0;
    while (whole > 1024 && step < 3) {
        whole /= 1024;
        ++step;
    }
    const quint64 divisor = quint64(1) << (10 * step);
    const quint64 tenths = (bytes % divisor) * 10 / divisor;
    return QStringLiteral("%1.%2 %3").arg(bytes / divisor).arg(tenths).arg(QLatin1String(units[step]));
}

QColor LumoPlayListItemDelegate::TextColor(quint64 flags, QStyle::State state) const {
    if (flags != 0) return playingColor;
    if (state & QStyle::State_Selected) return selectColor;
    if (state & QStyle::State_MouseOver) return hoverColor;
    return defaultColor;
}

QRect LumoPlayListItemDelegate::ButtonRect(const QRect& item) const {
    // At the item's right end, so that a wider list gives its texts the room.
    const int left = qMax(item.left() + buttonLeft, item.right() - buttonSize - 6);
    return QRect(left, item.top() + buttonTop, buttonSize, buttonSize);
}

int LumoPlayListItemDelegate::TextWidth(const QRect& item, bool hovered) const {
    const int end = hovered ? ButtonRect(item).left() - 4 : item.right() - 4;
    return qMax(textWidth, end - (item.left() + textLeft));
}

QFont LumoPlayListItemDelegate::RowFont() {
    return QFont(QStringLiteral("Microsoft Yahei"));
}

QString LumoPlayListItemDelegate::FittedText(const QString& text, const QRect& item, bool hovered) const {
    return QFontMetrics(RowFont()).elidedText(text, Qt::ElideRight, TextWidth(item, hovered));
}

void LumoPlayListItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    const QRect r = option.rect;
    painter->save();
    painter->setFont(RowFont());
    const bool hovered = option.state & QStyle::State_MouseOver;  // the delete button shows
    const int width = TextWidth(r, hovered);

    if (option.state & QStyle::State_Selected) {
        painter->setPen(leftLineColor);
        painter->setBrush(QBrush(leftLineColor, Qt::SolidPattern));
        painter->drawRect(QRect(r.left(), r.top() + barTop, barWidth, barHeight));
        painter->setBrush(Qt::NoBrush);
    }

    const quint64 flags = index.data(PlayListRoleFlags).toULongLong();
    painter->setPen(TextColor(flags, option.state));

    // Each row fits its width: what would not is cut with "...", never clipped mid-letter.
    QRect row(r.left() + textLeft, r.top() + textTop, width, nameRowHeight);
    painter->drawText(row, Qt::AlignLeft | Qt::AlignTop,
                      FittedText(NameText(index.data(PlayListRoleName).toString()), r, hovered));

    row.setTop(row.bottom());
    row.setBottom(row.top() + timeRowHeight);
    painter->drawText(row, Qt::AlignLeft | Qt::AlignVCenter,
                      FittedText(TimeText(index.data(PlayListRoleStart).toDateTime(),
                                          index.data(PlayListRoleEnd).toDateTime()),
                                 r, hovered));

    row.setTop(row.bottom());
    row.setBottom(row.top() + sizeRowHeight);
    painter->drawText(row, Qt::AlignLeft | Qt::AlignBottom,
                      FittedText(SizeText(index.data(PlayListRoleSize).toULongLong()), r, hovered));

    painter->setPen(bottomLineColor);
    painter->drawLine(QPoint(15, r.bottom()), QPoint(qMax(15 + lineLength, r.right() - 15), r.bottom()));

    if (option.state & QStyle::State_MouseOver) {
        QStyleOptionButton button;
        button.rect = ButtonRect(r);
        button.state = QStyle::State_Enabled;
        if (button.rect.contains(mousePos)) {
            if (buttonState == 1)
                button.state |= QStyle::State_MouseOver;
            else if (buttonState == 2)
                button.state |= QStyle::State_Sunken;
        }
        QApplication::style()->drawControl(QStyle::CE_PushButton, &button, painter, deleteButton.get());
    }
    painter->restore();
}

bool LumoPlayListItemDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                           const QStyleOptionViewItem& option, const QModelIndex& index) {
    const int before = buttonState;
    buttonState = 0;
    auto* mouse = dynamic_cast<QMouseEvent*>(event);
    if (mouse) mousePos = mouse->pos();

    // Only mouse events carry a position; the others never hit the button.
    const bool inside = mouse && ButtonRect(option.rect).contains(mousePos);
    bool result = true;
    if (inside) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                buttonState = 2;
                break;
            case QEvent::MouseButtonRelease:
                if (mouse->button() == Qt::LeftButton) {
                    // The base goes first: the owner may remove the row in its deleteItem slot.
                    result = QStyledItemDelegate::editorEvent(event, model, option, index);
                    emit deleteItem(index);
                }
                break;
            case QEvent::MouseMove:
                buttonState = 1;
                break;
            default:
                break;
        }
    } else if (event->type() == QEvent::MouseButtonPress) {
        result = QStyledItemDelegate::editorEvent(event, model, option, index);
    }

    // The view repaints an item only when the hovered item changes; the button's own state
    // change inside one item needs an explicit repaint.
    if (before != buttonState) {
        if (auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
            view->viewport()->update(option.rect);
    }
    return result;
}
