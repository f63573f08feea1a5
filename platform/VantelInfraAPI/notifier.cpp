#include "VantelInfraAPI/notifier.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "VantelInfraAPI/frameless.h"
#include "VantelInfraAPI/testseams.h"

namespace INFRA {

NotifierPopup::NotifierPopup(const QString& title, const QString& text, int kind, int ms, QWidget* owner)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_owner(owner ? owner->window() : nullptr) {
    setObjectName(QStringLiteral("InfraNotifier"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedWidth(320);
    setProperty("kind",
                kind == NotifierManager::Failure ? QStringLiteral("failure") : QStringLiteral("success"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    auto* icon = new QLabel(this);
    const QStyle::StandardPixmap sp =
        kind == NotifierManager::Failure ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxInformation;
    icon->setPixmap(style()->standardIcon(sp).pixmap(28, 28));
    icon->setAlignment(Qt::AlignTop);
    layout->addWidget(icon);
    auto* texts = new QVBoxLayout;
    auto* t = new QLabel(title, this);
    t->setObjectName(QStringLiteral("InfraNotifierTitle"));
    QFont bold = t->font();
    bold.setBold(true);
    t->setFont(bold);
    t->setTextFormat(Qt::PlainText);
    texts->addWidget(t);
    auto* body = new QLabel(text, this);
    body->setObjectName(QStringLiteral("InfraNotifierText"));
    body->setWordWrap(true);
    body->setTextFormat(Qt::PlainText);
    texts->addWidget(body);
    layout->addLayout(texts, 1);
    adjustSize();
    QTimer::singleShot(ms > 0 ? ms : 5000, this, &QWidget::close);
}

void NotifierPopup::setVisible(bool visible) {
    // Kept above its window by the window manager; the manager places the column.
    if (visible && m_owner) TieToOwner(this, false, m_owner);
    QWidget::setVisible(visible);
}

void NotifierPopup::mousePressEvent(QMouseEvent*) {
    close();
}

void NotifierPopup::closeEvent(QCloseEvent* e) {
    emit closed();
    QWidget::closeEvent(e);
}

NotifierManager::NotifierManager(QObject* parent) : QObject(parent) {}

NotifierManager* NotifierManager::instance() {
    static QPointer<NotifierManager> mgr;
    if (!mgr) mgr = new NotifierManager(qApp);
    return mgr;
}

void NotifierManager::notify(const QString& title, const QString& text, int kind, const QString& target) {
    Q_UNUSED(target)
    TestSeams::RecordUiEvent({QStringLiteral("notify"), title, text, QString::number(kind)});
    popup(title, text, kind, 5000);
}

void NotifierManager::popup(const QString& title, const QString& text, int kind, int ms) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;  // no widgets in this process
    // The window the operator works in: the notice shows over it and stays above it.
    auto* p = new NotifierPopup(title, text, kind, ms, QApplication::activeWindow());
    connect(p, &NotifierPopup::closed, this,
            [this]() { QTimer::singleShot(0, this, &NotifierManager::relayout); });
    m_popups.append(p);
    relayout();
    p->show();
}

int NotifierManager::OpenCount() const {
    int n = 0;
    for (const auto& p : m_popups)
        if (p && p->isVisible()) ++n;
    return n;
}

void NotifierManager::relayout() {
    m_popups.removeAll(nullptr);
    // A notice still to be shown counts; one closed (waiting to be deleted) does not.
    auto placed = [](NotifierPopup* p) {
        return !p->isHidden() || !p->testAttribute(Qt::WA_WState_ExplicitShowHide);
    };
    auto ownerOf = [](NotifierPopup* p) { return p->Owner(); };
    QList<QWidget*> owners;
    for (const auto& p : qAsConst(m_popups))
        if (placed(p) && !owners.contains(ownerOf(p))) owners.append(ownerOf(p));
    // Each window's notices form one column, oldest on top: centred over the window, or in the
    // bottom-right corner of the screen for notices without one.
    for (QWidget* owner : qAsConst(owners)) {
        QList<NotifierPopup*> column;
        int height = 0;
        for (const auto& p : qAsConst(m_popups)) {
            if (!placed(p) || ownerOf(p) != owner) continue;
            p->adjustSize();
            height += (column.isEmpty() ? 0 : 8) + p->height();
            column.append(p);
        }
        QScreen* screen = owner && owner->windowHandle() ? owner->windowHandle()->screen() : nullptr;
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (!screen) return;
        const QRect avail = screen->availableGeometry();
        const QRect area = owner ? owner->frameGeometry() : QRect();
        int top = owner ? area.center().y() - height / 2 : avail.bottom() - 12 - height;
        top = qBound(avail.top(), top, qMax(avail.top(), avail.bottom() - height));
        for (NotifierPopup* p : qAsConst(column)) {
            int x = owner ? area.center().x() - p->width() / 2 : avail.right() - 12 - p->width();
            x = qBound(avail.left(), x, qMax(avail.left(), avail.right() - p->width()));
            p->move(x, top);
            top += p->height() + 8;
        }
    }
}

QString TrayIconName(QSystemTrayIcon::MessageIcon icon) {
    switch (icon) {
        case QSystemTrayIcon::Information:
            return QStringLiteral("information");
        case QSystemTrayIcon::Warning:
            return QStringLiteral("warning");
        case QSystemTrayIcon::Critical:
            return QStringLiteral("critical");
        default:
            return QStringLiteral("none");
    }
}

void ShowTrayMessage(QSystemTrayIcon* tray, const QString& title, const QString& text,
                     QSystemTrayIcon::MessageIcon icon, int ms) {
    TestSeams::RecordUiEvent({QStringLiteral("balloon"), title, text, TrayIconName(icon)});
    if (tray && QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages()) {
        tray->showMessage(title, text, icon, ms);
        return;
    }
    NotifierManager::instance()->popup(
        title, text, icon == QSystemTrayIcon::Critical ? NotifierManager::Failure : NotifierManager::Success,
        ms);
}

}  // namespace INFRA
