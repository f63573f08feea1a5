#include "VantelInfraAPI/formwidgets.h"

#include <QEvent>
#include <QListView>
#include <QMouseEvent>
#include <QStyleOptionButton>

AutoPushButton::AutoPushButton(QWidget* parent) : QPushButton(parent) {}

AutoPushButton::AutoPushButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

QSize AutoPushButton::sizeHint() const {
    QSize s = QPushButton::sizeHint();
    const int textWidth =
        fontMetrics().horizontalAdvance(text()) + 28 + (icon().isNull() ? 0 : iconSize().width() + 6);
    s.setWidth(qMax(s.width(), qMax(textWidth, 80)));
    s.setHeight(qMax(s.height(), 28));
    return s;
}

QSize AutoPushButton::minimumSizeHint() const {
    return sizeHint();
}

void AutoPushButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange || e->type() == QEvent::LanguageChange) updateGeometry();
    QPushButton::changeEvent(e);
}

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent) {
    setView(new QListView(this));
}

ClickLineEdit::ClickLineEdit(QWidget* parent) : QLineEdit(parent) {}

void ClickLineEdit::mousePressEvent(QMouseEvent* e) {
    QLineEdit::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) emit clicked();
}

autoFitLabel::autoFitLabel(QWidget* parent) : QLabel(parent) {}

void autoFitLabel::SetElidedMode(int mode) {
    m_mode = mode;
    refit();
}

void autoFitLabel::SetFullText(const QString& text) {
    m_full = text;
    refit();
}

QSize autoFitLabel::minimumSizeHint() const {
    QSize s = QLabel::minimumSizeHint();
    s.setWidth(qMin(s.width(), 20));
    return s;
}

void autoFitLabel::resizeEvent(QResizeEvent* e) {
    QLabel::resizeEvent(e);
    refit();
}

void autoFitLabel::refit() {
    const QString shown = m_mode == Qt::ElideNone
                              ? m_full
                              : fontMetrics().elidedText(m_full, static_cast<Qt::TextElideMode>(m_mode),
                                                         qMax(0, contentsRect().width()));
    QLabel::setText(shown);
    setToolTip(shown == m_full ? QString() : m_full);
}
