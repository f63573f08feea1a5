// Delegates of the six storage tables: each paints its bar columns (disk space, disk state,
// record state, block usage) and leaves every other cell, check boxes and action buttons to
// VantelTableDelegate.
#pragma once

#include "VantelInfraAPI/vanteltabledelegate.h"

class VMRDiskDelegate : public VantelTableDelegate {
    Q_OBJECT
public:
    explicit VMRDiskDelegate(QTableView* view, QObject* parent = nullptr);
    ~VMRDiskDelegate() override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class VMRDiskStatusDelegate : public VantelTableDelegate {
    Q_OBJECT
public:
    explicit VMRDiskStatusDelegate(QTableView* view, QObject* parent = nullptr);
    ~VMRDiskStatusDelegate() override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class VMRChnDelegate : public VantelTableDelegate {
    Q_OBJECT
public:
    explicit VMRChnDelegate(QTableView* view, QObject* parent = nullptr);
    ~VMRChnDelegate() override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class VMRStreamDelegate : public VantelTableDelegate {
    Q_OBJECT
public:
    explicit VMRStreamDelegate(QTableView* view, QObject* parent = nullptr);
    ~VMRStreamDelegate() override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class VMRBlockDelegate : public VantelTableDelegate {
    Q_OBJECT
public:
    explicit VMRBlockDelegate(QTableView* view, QObject* parent = nullptr);
    ~VMRBlockDelegate() override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class VMRRecordFileDelegate : public VantelTableDelegate {
    Q_OBJECT
public:
    explicit VMRRecordFileDelegate(QTableView* view, QObject* parent = nullptr);
    ~VMRRecordFileDelegate() override;
};
