// A reusable strip of icon buttons, left-aligned in the order they were added; its owner connects
// to the buttons it gets back.
#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QWidget>

class QHBoxLayout;
class QToolButton;

class ToolWidget : public QWidget {
    Q_OBJECT
public:
    explicit ToolWidget(QWidget* parent = nullptr);

    // A new button of exactly `iconSize`, placed after the earlier ones; its object name is set
    // unless `name` is empty.
    QToolButton* AddButton(const QSize& iconSize, const QString& tip, const QString& name);
    QList<QToolButton*> GetButtons() const { return buttons; }

private:
    QList<QToolButton*> buttons;   // children of the strip
    QHBoxLayout* strip = nullptr;  // the buttons, then the spacer
};
