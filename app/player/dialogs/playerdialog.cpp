#include "player/dialogs/playerdialog.h"

#include <QAbstractButton>
#include <QEvent>
#include <QMouseEvent>

#include "VantelInfraAPI/frameless.h"

PlayerDialog::PlayerDialog(QWidget* parent) : QDialog(parent) {}

void PlayerDialog::InitFrame(QWidget* titleBar, QAbstractButton* closeButton, Qt::WindowFlags flags) {
    setWindowFlags(flags);
    m_titleBar = titleBar;
    m_closeButton = closeButton;
    if (m_closeButton) m_closeButton->installEventFilter(this);
    if (m_titleBar) m_titleBar->installEventFilter(this);
}

bool PlayerDialog::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Only mouse presses and moves matter; any other event is not a mouse event.
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove) return QDialog::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (watched == m_closeButton && m_closeButton && type == QEvent::MouseButtonPress &&
        mouse->buttons() == Qt::LeftButton)
        m_closePressed = true;
    if (watched == m_titleBar && m_titleBar) {
        if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
            m_dragOffset = mouse->globalPos() - pos();
            m_closePressed = false;
            return true;
        }
        if (type == QEvent::MouseMove && mouse->buttons() == Qt::LeftButton && !m_closePressed) {
            move(mouse->globalPos() - m_dragOffset);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void PlayerDialog::changeEvent(QEvent* event) {
    // Queued: the button box resets its standard buttons' texts on its own language change, which
    // may come after the dialog's.
    if (event->type() == QEvent::LanguageChange)
        QMetaObject::invokeMethod(this, &PlayerDialog::Retranslate, Qt::QueuedConnection);
    QDialog::changeEvent(event);
}

void PlayerDialog::setVisible(bool visible) {
    if (visible) INFRA::TieToOwner(this);
    QDialog::setVisible(visible);
}
