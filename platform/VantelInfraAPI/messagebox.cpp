#include "VantelInfraAPI/messagebox.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "VantelInfraAPI/frameless.h"
#include "VantelInfraAPI/testseams.h"

namespace INFRA {
namespace {

QList<QPointer<MessageBox>>& openBoxes() {
    static QList<QPointer<MessageBox>> boxes;
    return boxes;
}

QString buttonText(int button) {
    switch (button) {
        case MessageBox::Ok:
            return QCoreApplication::translate("INFRA", "OK");
        case MessageBox::Yes:
            return QCoreApplication::translate("INFRA", "Yes");
        case MessageBox::No:
            return QCoreApplication::translate("INFRA", "No");
        case MessageBox::Cancel:
            return QCoreApplication::translate("INFRA", "Cancel");
        default:
            return QString();
    }
}

}  // namespace

MessageBox::MessageBox(QWidget* parent, const QString& title, const QString& text, int buttons, bool warning)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("InfraMessageBox"));
    setModal(true);
    setMinimumSize(360, 160);
    setWindowTitle(title);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);

    m_title = new QWidget(this);
    m_title->setObjectName(QStringLiteral("InfraTitleBar"));
    m_title->setFixedHeight(30);
    auto* titleLayout = new QHBoxLayout(m_title);
    titleLayout->setContentsMargins(10, 0, 4, 0);
    auto* titleLabel = new QLabel(title, m_title);
    titleLabel->setObjectName(QStringLiteral("InfraTitleLabel"));
    titleLayout->addWidget(titleLabel, 1);
    auto* close = new QPushButton(QStringLiteral("\u2715"), m_title);
    close->setObjectName(QStringLiteral("InfraCloseButton"));
    close->setFixedSize(26, 26);
    close->setFocusPolicy(Qt::NoFocus);
    connect(close, &QPushButton::clicked, this, [this]() {
        m_answer = Closed;
        reject();
    });
    titleLayout->addWidget(close);
    outer->addWidget(m_title);

    auto* body = new QWidget(this);
    body->setObjectName(QStringLiteral("InfraMessageBody"));
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(18, 16, 18, 14);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(body);
    const QStyle::StandardPixmap sp =
        warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
    icon->setPixmap(style()->standardIcon(sp).pixmap(36, 36));
    icon->setAlignment(Qt::AlignTop);
    row->addWidget(icon);
    auto* textLabel = new QLabel(text, body);
    textLabel->setObjectName(QStringLiteral("InfraMessageText"));
    textLabel->setWordWrap(true);
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setMinimumWidth(260);
    row->addWidget(textLabel, 1);
    bodyLayout->addLayout(row, 1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    for (int b : {int(Ok), int(Yes), int(No), int(Cancel)}) {
        if (!(buttons & b)) continue;
        auto* btn = new QPushButton(buttonText(b), body);
        btn->setMinimumSize(80, 28);
        connect(btn, &QPushButton::clicked, this, [this, b]() {
            m_answer = b;
            accept();
        });
        buttonRow->addWidget(btn);
        m_buttons.append(qMakePair(b, btn));
    }
    if (!m_buttons.isEmpty()) m_buttons.first().second->setDefault(true);
    bodyLayout->addLayout(buttonRow);
    outer->addWidget(body, 1);

    openBoxes().append(this);
}

MessageBox::~MessageBox() {
    openBoxes().removeAll(this);
}

void MessageBox::retranslate() {
    for (const auto& p : qAsConst(m_buttons)) p.second->setText(buttonText(p.first));
}

void MessageBox::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) retranslate();
    QDialog::changeEvent(e);
}

void MessageBox::setVisible(bool visible) {
    // Over the window that asked (or the active one), and kept above it by the window manager.
    if (visible) TieToOwner(this);
    QDialog::setVisible(visible);
}

void MessageBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && m_title->geometry().contains(e->pos())) {
        m_dragging = true;
        m_dragOffset = e->globalPos() - frameGeometry().topLeft();
    }
    QDialog::mousePressEvent(e);
}

void MessageBox::mouseMoveEvent(QMouseEvent* e) {
    if (m_dragging && (e->buttons() & Qt::LeftButton)) move(e->globalPos() - m_dragOffset);
    QDialog::mouseMoveEvent(e);
}

void MessageBox::mouseReleaseEvent(QMouseEvent* e) {
    m_dragging = false;
    QDialog::mouseReleaseEvent(e);
}

int MessageBox::scripted(const QString& reply, int buttons) {
    auto offered = [buttons](int b) { return (buttons & b) != 0; };
    if (reply == QLatin1String("yes") || reply == QLatin1String("ok")) {
        const int first = reply == QLatin1String("yes") ? Yes : Ok;
        const int second = reply == QLatin1String("yes") ? Ok : Yes;
        if (offered(first)) return first;
        if (offered(second)) return second;
        return Closed;
    }
    if (reply == QLatin1String("no") || reply == QLatin1String("cancel")) {
        const int first = reply == QLatin1String("no") ? No : Cancel;
        const int second = reply == QLatin1String("no") ? Cancel : No;
        if (offered(first)) return first;
        if (offered(second)) return second;
        return Closed;
    }
    return Closed;  // "close" and anything unknown: closed without an answer
}

int MessageBox::show(QWidget* parent, const QString& title, const QString& text, int buttons, bool warning) {
    TestSeams::RecordUiEvent({QStringLiteral("messagebox"), title, text});
    const QString reply = TestSeams::ScriptedReply();
    if (!reply.isEmpty()) return scripted(reply, buttons);
    if (!(buttons & (Ok | Yes | No | Cancel))) buttons = Ok;
    QPointer<MessageBox> box = new MessageBox(parent, title, text, buttons, warning);
    box->exec();
    if (!box) return Closed;  // its parent went away under it
    const int answer = box->Answer();
    delete box;
    return answer;
}

int MessageBox::Information(QWidget* parent, const QString& title, const QString& text, int buttons) {
    return show(parent, title, text, buttons, false);
}

int MessageBox::Warning(QWidget* parent, const QString& title, const QString& text, int buttons) {
    return show(parent, title, text, buttons, true);
}

void MessageBox::CloseAll() {
    const auto boxes = openBoxes();
    for (const QPointer<MessageBox>& b : boxes) {
        if (!b) continue;
        b->m_answer = Closed;
        b->reject();
    }
}

}  // namespace INFRA
