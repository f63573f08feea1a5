#include "common/playlist/playlistwidget.h"

#include "common/playlist/lumoplaylistitemdelegate.h"

PlayListWidget::PlayListWidget(QWidget* parent)
    : QListWidget(parent), delegate(new LumoPlayListItemDelegate(this)) {
    setItemDelegate(delegate);
    // Mouse moves reach the delegate only with tracking on: they drive the delete button's hover.
    viewport()->setMouseTracking(true);
    connect(delegate, SIGNAL(deleteItem(const QModelIndex&)), this,
            SLOT(on_item_deleted(const QModelIndex&)));
}

void PlayListWidget::on_item_deleted(const QModelIndex& index) {
    emit deleteItem(index);
}

void PlayListWidget::AddItem(quint64 id, const QString& name, const QDateTime& start, const QDateTime& end,
                             quint64 size) {
    auto* it = new QListWidgetItem();
    it->setData(PlayListRoleId, QVariant::fromValue<quint64>(id));
    it->setData(PlayListRoleName, name);
    it->setData(PlayListRoleStart, start);
    it->setData(PlayListRoleEnd, end);
    it->setData(PlayListRoleSize, QVariant::fromValue<quint64>(size));
    it->setData(PlayListRoleFlags, QVariant::fromValue<quint64>(0));
    it->setToolTip(name);
    addItem(it);
}

quint64 PlayListWidget::GetItemId(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(PlayListRoleId).toULongLong() : 0;
}

QString PlayListWidget::GetItemName(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(PlayListRoleName).toString() : QString();
}

quint64 PlayListWidget::GetItemFlags(QListWidgetItem* it) const {
    return it ? it->data(PlayListRoleFlags).toULongLong() : 0;
}

void PlayListWidget::SetItemFlag(int row, unsigned bit, bool on) {
    if (bit > 16) return;
    QListWidgetItem* it = item(row);
    if (!it) return;
    quint64 flags = GetItemFlags(it);
    const quint64 mask = quint64(1) << bit;
    flags = on ? (flags | mask) : (flags & ~mask);
    it->setData(PlayListRoleFlags, QVariant::fromValue<quint64>(flags));
}

void PlayListWidget::SetColors(const QColor& normal, const QColor& select, const QColor& hover,
                               const QColor& playing, const QColor& leftLine, const QColor& bottomLine) {
    delegate->SetColors(normal, select, hover, playing, leftLine, bottomLine);
}
