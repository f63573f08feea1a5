// LineWidget: the configuration page's container, which draws the separator under its first row.
#pragma once

#include <QWidget>

class LineWidget : public QWidget {
    Q_OBJECT
public:
    explicit LineWidget(QWidget* parent = nullptr) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};
