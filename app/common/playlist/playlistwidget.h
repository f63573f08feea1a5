// A list of files to play: each entry has an owner's identifier, a name, a time span, a size
// and a word of flag bits (any set bit paints the entry as playing).
#pragma once

#include <QDateTime>
#include <QListWidget>

class LumoPlayListItemDelegate;

class PlayListWidget : public QListWidget {
    Q_OBJECT
public:
    explicit PlayListWidget(QWidget* parent = nullptr);

    void AddItem(quint64 id, const QString& name, const QDateTime& start, const QDateTime& end, quint64 size);
    quint64 GetItemId(int row) const;                   // 0 when the row has no item
    QString GetItemName(int row) const;                 // empty when the row has no item
    quint64 GetItemFlags(QListWidgetItem* item) const;  // 0 for a null item
    // Sets or clears flag bit 0..16 of the row's item; other bits and missing rows are ignored.
    void SetItemFlag(int row, unsigned bit, bool on);
    void SetColors(const QColor& normal, const QColor& select, const QColor& hover, const QColor& playing,
                   const QColor& leftLine, const QColor& bottomLine);
    LumoPlayListItemDelegate* GetDelegate() const { return delegate; }

signals:
    void deleteItem(const QModelIndex& index);

public slots:
    void on_item_deleted(const QModelIndex& index);

private:
    LumoPlayListItemDelegate* delegate;
};
