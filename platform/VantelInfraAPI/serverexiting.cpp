#include "VantelInfraAPI/serverexiting.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include "VantelInfraAPI/testseams.h"

namespace INFRA {

ServerExiting::ServerExiting(const QString& title, const QString& text, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_title(title),
      m_text(text) {
    setObjectName(QStringLiteral("InfraServerExiting"));
    setWindowTitle(title);
    setFixedSize(380, 150);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    auto* bar = new QLabel(title, this);
    bar->setObjectName(QStringLiteral("InfraTitleBar"));
    bar->setFixedHeight(30);
    bar->setContentsMargins(10, 0, 10, 0);
    bar->setTextFormat(Qt::PlainText);
    layout->addWidget(bar);
    auto* body = new QWidget(this);
    body->setObjectName(QStringLiteral("InfraMessageBody"));
    auto* bl = new QVBoxLayout(body);
    bl->setContentsMargins(18, 16, 18, 16);
    auto* label = new QLabel(text, body);
    label->setObjectName(QStringLiteral("InfraMessageText"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    bl->addWidget(label, 1);
    auto* progress = new QProgressBar(body);
    progress->setRange(0, 0);  // busy: the stop's length is not known
    progress->setTextVisible(false);
    progress->setFixedHeight(8);
    bl->addWidget(progress);
    layout->addWidget(body, 1);
}

void ServerExiting::showEvent(QShowEvent* e) {
    if (!m_recorded) {
        m_recorded = true;
        TestSeams::RecordUiEvent({QStringLiteral("exiting"), m_title, m_text});
        if (QScreen* s = QGuiApplication::primaryScreen())
            move(s->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(e);
}

}  // namespace INFRA
