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

#include "VantelInfraAPI/testseams.h"

namespace INFRA {

NotifierPopup::NotifierPopup(const QString& title, const QString& text, int kind, int ms)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
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
    auto* p = new NotifierPopup(title, text, kind, ms);
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
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    int bottom = area.bottom() - 12;
    for (int i = m_popups.size() - 1; i >= 0; --i) {
        NotifierPopup* p = m_popups.at(i);
        if (!p) continue;
        p->adjustSize();
        p->move(area.right() - 12 - p->width(), bottom - p->height());
        bottom -= p->height() + 8;
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
