#include "lumoc/playback/toolwidget.h"

#include <QHBoxLayout>
#include <QSpacerItem>
#include <QToolButton>

ToolWidget::ToolWidget(QWidget* parent) : QWidget(parent), strip(new QHBoxLayout(this)) {
    strip->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    strip->setSpacing(0);
    strip->setContentsMargins(0, 0, 0, 0);
    setContentsMargins(0, 0, 0, 0);
}

QToolButton* ToolWidget::AddButton(const QSize& iconSize, const QString& tip, const QString& name) {
    auto* button = new QToolButton(this);
    strip->insertWidget(buttons.size(), button);
    buttons.append(button);
    button->setIconSize(iconSize);
    if (!name.isEmpty()) button->setObjectName(name);
    button->setFixedSize(iconSize);
    button->setToolTip(tip);
    button->setToolTipDuration(10000);
    return button;
}
