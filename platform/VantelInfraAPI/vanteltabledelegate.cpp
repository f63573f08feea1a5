#include "VantelInfraAPI/vanteltabledelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTableView>
#include <QToolTip>

#include "VantelInfraAPI/vanteldatamodel.h"

namespace {

// Marks a press on the row check box rather than on a button.
const int kCheckTarget = -2;

QStyle* styleOf(const QStyleOptionViewItem& option) {
    return option.widget ? option.widget->style() : QApplication::style();
}

QPixmap iconPixmap(const QPixmap& pixmap, const QString& path, int edge, QIcon::Mode mode) {
    if (!pixmap.isNull()) {
        if (mode == QIcon::Disabled) return QIcon(pixmap).pixmap(edge, edge, mode);
        return pixmap.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    if (path.isEmpty()) return QPixmap();
    return QIcon(path).pixmap(edge, edge, mode);
}

// The icon's shape in one colour.
QPixmap tinted(const QPixmap& pm, const QColor& color) {
    QPixmap out(pm.size());
    out.setDevicePixelRatio(pm.devicePixelRatio());
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.drawPixmap(0, 0, pm);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(out.rect(), color);
    return out;
}

}  // namespace

ActionInfo::ActionInfo(int size_, const QString& icon_, const QString& tooltip_, int id_, const QString& hoverIcon_,
                       const QString& pressedIcon_)
    : icon(icon_), hoverIcon(hoverIcon_), pressedIcon(pressedIcon_), size(size_), id(id_), tooltip(tooltip_) {}

VantelDelegate::VantelDelegate(QAbstractItemView* view, QObject* parent) : QStyledItemDelegate(parent), m_view(view) {
    // The signals carry the view; queued connections and spies need the type registered.
    qRegisterMetaType<QAbstractItemView*>("QAbstractItemView*");
    if (view) {
        // Hover looks of the buttons need the moves of a mouse that holds no button.
        view->setMouseTracking(true);
        m_viewport = view->viewport();
        view->viewport()->installEventFilter(this);
    }
}

VantelDelegate::~VantelDelegate() = default;

void VantelDelegate::SetActionButtonRepo(const ActionButtonRepo& repo) {
    m_repo = repo;
    if (m_view) m_view->viewport()->update();
}

QList<ActionInfo>* VantelDelegate::GetIndexAction(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (!m_repo || !index.isValid()) return nullptr;
    return m_repo(m_view, option, index);
}

bool VantelDelegate::IsActionButtonEnabled(const QModelIndex& index, int action) const {
    QList<ActionInfo>* actions = GetIndexAction(optionFor(index), index);
    if (!actions || action < 0 || action >= actions->size()) return false;
    return IsActionButtonEnabled(actions->at(action));
}

bool VantelDelegate::IsActionButtonEnabled(const ActionInfo& info) const { return !info.disabled; }

QVector<QRect> VantelDelegate::ActionButtonRects(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QVector<QRect> rects;
    QList<ActionInfo>* actions = GetIndexAction(option, index);
    if (!actions) return rects;
    int x = option.rect.left();
    for (const ActionInfo& a : qAsConst(*actions)) {
        x += qMax(0, a.spacing);
        const int edge = qMax(1, a.size);
        rects << QRect(x, option.rect.top() + (option.rect.height() - edge) / 2, edge, edge);
        x += edge;
    }
    return rects;
}

int VantelDelegate::ActionAt(const QStyleOptionViewItem& option, const QModelIndex& index, const QPoint& pos) const {
    const QVector<QRect> rects = ActionButtonRects(option, index);
    for (int i = 0; i < rects.size(); ++i)
        if (rects[i].contains(pos) && option.rect.contains(pos)) return i;
    return -1;
}

QRect VantelDelegate::CheckBoxRect(const QStyleOptionViewItem& option) const {
    QStyle* style = styleOf(option);
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget);
    return QRect(option.rect.left() + (option.rect.width() - w) / 2, option.rect.top() + (option.rect.height() - h) / 2,
                 w, h);
}

bool VantelDelegate::hasCheckBox(const QModelIndex& index) const {
    return index.isValid() && index.column() == 0 && index.data(VantelDataModel::CheckRole).isValid();
}

bool VantelDelegate::toggleCheck(QAbstractItemModel* model, const QModelIndex& index) {
    const QModelIndex first = index.sibling(index.row(), 0);
    if (!model || !hasCheckBox(first)) return false;
    const bool checked = first.data(VantelDataModel::CheckRole).toBool();
    if (!model->setData(first, !checked, VantelDataModel::CheckRole)) return false;
    emit SignalItemCheckStateChange(m_view, first);
    return true;
}

QStyleOptionViewItem VantelDelegate::optionFor(const QModelIndex& index) const {
    QStyleOptionViewItem opt;
    if (m_view) {
        opt.initFrom(m_view->viewport());
        opt.widget = m_view;
        opt.rect = m_view->visualRect(index);
    }
    return opt;
}

void VantelDelegate::paintBackground(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.state &= ~QStyle::State_HasFocus;
    opt.features &= ~(QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay |
                      QStyleOptionViewItem::HasDecoration);
    opt.text.clear();
    opt.icon = QIcon();
    styleOf(opt)->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
}

void VantelDelegate::paintCheckBox(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    opt.rect = CheckBoxRect(option);
    opt.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver | QStyle::State_On | QStyle::State_Off);
    const bool checked = index.data(VantelDataModel::CheckRole).toBool();
    opt.state |= checked ? QStyle::State_On : QStyle::State_Off;
    opt.checkState = checked ? Qt::Checked : Qt::Unchecked;
    styleOf(opt)->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &opt, painter, opt.widget);
}

void VantelDelegate::paintActionButtons(QPainter* painter, const QStyleOptionViewItem& option,
                                        const QModelIndex& index, const QList<ActionInfo>& actions) const {
    const QVector<QRect> rects = ActionButtonRects(option, index);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    for (int i = 0; i < rects.size() && i < actions.size(); ++i) {
        const ActionInfo& a = actions.at(i);
        const QRect r = rects.at(i);
        const bool enabled = IsActionButtonEnabled(a);
        const bool hovered = enabled && m_hoverIndex == index && m_hoverAction == i;
        const bool pressed = enabled && ((m_pressIndex == index && m_pressAction == i) || (a.checkable && a.checked));
        const int edge = qMax(1, r.width() - 2 * qMax(0, a.margin));
        const QIcon::Mode mode = enabled ? QIcon::Normal : QIcon::Disabled;

        QPixmap pm;
        if (pressed) pm = iconPixmap(a.pressedPixmap, a.pressedIcon, edge, mode);
        if (pm.isNull() && hovered) pm = iconPixmap(a.hoverPixmap, a.hoverIcon, edge, mode);
        const bool ownLook = !pm.isNull();
        if (pm.isNull()) pm = iconPixmap(a.pixmap, a.icon, edge, mode);
        // The icons are drawn in the accent colour that a selection fills the row with: on a
        // selected row they take the selection's text colour, or they would vanish.
        if (!pm.isNull() && (option.state & QStyle::State_Selected)) {
            QColor ink = option.palette.color(QPalette::HighlightedText);
            if (!enabled) ink.setAlpha(120);
            pm = tinted(pm, ink);
        }

        if ((hovered || pressed) && !ownLook) {
            QColor c = option.palette.color(QPalette::Highlight);
            c.setAlpha(pressed ? 110 : 60);
            painter->setPen(Qt::NoPen);
            painter->setBrush(c);
            painter->drawRoundedRect(r, 3, 3);
        }
        if (!pm.isNull()) {
            const QSize s = pm.size() / pm.devicePixelRatio();
            painter->drawPixmap(QRect(QPoint(r.center().x() - s.width() / 2 + 1, r.center().y() - s.height() / 2 + 1), s),
                                pm);
        } else {
            // The icon is missing: still show a button the operator can find and press.
            QColor frame = option.palette.color(enabled ? QPalette::Text : QPalette::Mid);
            painter->setPen(frame);
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(r.adjusted(1, 1, -1, -1), 3, 3);
            painter->drawText(r, Qt::AlignCenter, QString::number(i + 1));
        }
    }
    painter->restore();
}

QColor VantelDelegate::drawTextColor(const QStyleOptionViewItem&, const QModelIndex& index) const {
    const QVariant v = index.data(Qt::ForegroundRole);
    if (v.canConvert<QBrush>()) return v.value<QBrush>().color();
    if (v.canConvert<QColor>()) return v.value<QColor>();
    return QColor();
}

void VantelDelegate::drawFocus(QPainter*, const QStyleOptionViewItem&, const QRect&) const {}

void VantelDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (!index.isValid()) return;
    if (hasCheckBox(index)) {
        paintBackground(painter, option, index);
        paintCheckBox(painter, option, index);
        return;
    }
    if (QList<ActionInfo>* actions = GetIndexAction(option, index)) {
        paintBackground(painter, option, index);
        paintActionButtons(painter, option, index, *actions);
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const bool focused = opt.state & QStyle::State_HasFocus;
    opt.state &= ~QStyle::State_HasFocus;
    const QColor text = drawTextColor(option, index);
    if (text.isValid()) opt.palette.setColor(QPalette::Text, text);
    styleOf(opt)->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    if (focused) drawFocus(painter, opt, opt.rect);
}

QSize VantelDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    if (QList<ActionInfo>* actions = GetIndexAction(option, index)) {
        int w = 0, h = 0;
        for (const ActionInfo& a : qAsConst(*actions)) {
            w += qMax(0, a.spacing) + qMax(1, a.size);
            h = qMax(h, a.size);
        }
        if (!actions->isEmpty()) w += actions->last().spacing;
        s = QSize(qMax(s.width(), w), qMax(s.height(), h));
    }
    return s;
}

bool VantelDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::LeftButton) return false;
        if (hasCheckBox(index) && CheckBoxRect(option).contains(me->pos())) {
            m_pressIndex = index;
            m_pressAction = kCheckTarget;
            return true;
        }
        const int action = ActionAt(option, index, me->pos());
        if (action < 0) return false;
        if (IsActionButtonEnabled(index, action)) {
            m_pressIndex = index;
            m_pressAction = action;
            // The second click of a double click must not press the button a second time.
            m_swallowRelease = event->type() == QEvent::MouseButtonDblClick;
            if (m_view) m_view->viewport()->update(option.rect);
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::LeftButton) return false;
        const QPersistentModelIndex pressIndex = m_pressIndex;
        const int pressAction = m_pressAction;
        const bool swallow = m_swallowRelease;
        m_pressIndex = QPersistentModelIndex();
        m_pressAction = -1;
        m_swallowRelease = false;
        if (m_view) m_view->viewport()->update(option.rect);
        // A press that started elsewhere (another cell, another button) is no press here.
        if (hasCheckBox(index) && CheckBoxRect(option).contains(me->pos())) {
            if (pressIndex == index && pressAction == kCheckTarget) toggleCheck(model, index);
            return true;
        }
        const int action = ActionAt(option, index, me->pos());
        if (action < 0) return false;
        if (!swallow && pressIndex == index && pressAction == action && IsActionButtonEnabled(index, action)) {
            QList<ActionInfo>* actions = GetIndexAction(option, index);
            const int reported = (actions && actions->at(action).id >= 0) ? actions->at(action).id : action;
            emit SignalActionTriggered(m_view, index, reported);
        }
        return true;
    }
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() == Qt::Key_Space || ke->key() == Qt::Key_Select)
            return toggleCheck(model, index);
        return false;
    }
    default:
        return false;
    }
}

bool VantelDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                               const QModelIndex& index) {
    if (event && event->type() == QEvent::ToolTip) {
        const int action = ActionAt(option, index, event->pos());
        if (action >= 0) {
            QList<ActionInfo>* actions = GetIndexAction(option, index);
            const QString tip = actions ? actions->at(action).tooltip : QString();
            if (!tip.isEmpty()) {
                QToolTip::showText(event->globalPos(), tip, view, ActionButtonRects(option, index).value(action));
                return true;
            }
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

void VantelDelegate::setHover(const QModelIndex& index, int action) {
    if (m_hoverIndex == index && m_hoverAction == action) return;
    if (m_view) {
        if (m_hoverIndex.isValid()) m_view->viewport()->update(m_view->visualRect(m_hoverIndex));
        if (index.isValid()) m_view->viewport()->update(m_view->visualRect(index));
        if (action >= 0)
            m_view->viewport()->setCursor(Qt::PointingHandCursor);
        else if (m_hoverAction >= 0)
            m_view->viewport()->unsetCursor();
    }
    m_hoverIndex = index;
    m_hoverAction = action;
}

bool VantelDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (m_viewport && watched == m_viewport.data()) {
        // While the view is being destroyed its viewport still sends events, but the view is no
        // item view any more (qobject_cast asks the object itself): leave those alone.
        if (!qobject_cast<QAbstractItemView*>(m_viewport->parent())) return false;
        if (event->type() == QEvent::MouseMove) {
            const QPoint pos = static_cast<QMouseEvent*>(event)->pos();
            const QModelIndex index = m_view->indexAt(pos);
            int action = -1;
            if (index.isValid() && m_view->itemDelegate(index) == this) action = ActionAt(optionFor(index), index, pos);
            setHover(action >= 0 ? index : QModelIndex(), action);
        } else if (event->type() == QEvent::Leave) {
            setHover(QModelIndex(), -1);
        }
        // Only watched, never taken: the view handles every event of its viewport.
        return false;
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

VantelTableDelegate::VantelTableDelegate(QTableView* view, QObject* parent)
    : VantelDelegate(view, parent), m_tableView(view) {}

VantelTableDelegate::~VantelTableDelegate() = default;

void VantelTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    VantelDelegate::paint(painter, option, index);
}
