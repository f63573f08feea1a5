#include "VantelInfraAPI/frameless.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QLayout>
#include <QSizeGrip>
#include <QVBoxLayout>
#include <QWindow>

namespace INFRA {

QWidget* OwnerWindow(const QWidget* w) {
    if (!w) return nullptr;
    // A window that is itself tied to w (a tip over this dialog) is no owner for it.
    auto usable = [w](QWidget* candidate) {
        if (!candidate || !candidate->isVisible()) return false;
        for (const QWidget* p = candidate; p; p = p->parentWidget())
            if (p == w) return false;
        return true;
    };
    // The parent's window, unless it is hidden (the player while its views fill the screen):
    // then the window the operator works in.
    if (QWidget* parent = w->parentWidget())
        if (parent->window()->isVisible()) return parent->window();
    QWidget* active = QApplication::activeWindow();
    if (usable(active)) return active;
    // Shown again while no window is active (it was the active one itself): the window it
    // belonged to before.
    if (const QWindow* before = w->windowHandle() ? w->windowHandle()->transientParent() : nullptr)
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->windowHandle() == before && usable(top)) return top;
    return nullptr;
}

namespace {

// Qt learns where a top-level window is from the X server's configure events. Under a window
// manager that frames it, an event that comes with the framing may be read while the frame still
// sits at the screen's corner, and when the window manager then leaves the window where it was
// asked to be, no later event says otherwise: the window believes it is at 0,0 (its pop-ups and
// drags go wrong, and a tip centred over it opens in the corner). While it shows where it was
// put, a window that is told it moved to the corner is told again where it is.
class PlacementKeeper : public QObject {
public:
    PlacementKeeper(QWidget* w, const QPoint& placed) : QObject(w), m_widget(w), m_placed(placed) {
        setObjectName(Name());
    }
    static QString Name() { return QStringLiteral("InfraPlacementKeeper"); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_widget) return false;
        if (event->type() == QEvent::Hide) {
            Leave();
        } else if (event->type() == QEvent::Move) {
            const QPoint at = m_widget->pos();
            if (!event->spontaneous()) {
                // The program moves it itself (a drag): where it goes is its own.
                if (at != m_placed) Leave();
            } else if (at == QPoint(0, 0) && m_placed != QPoint(0, 0)) {
                // After this event: the widget takes the position it was told first.
                QMetaObject::invokeMethod(this, [this]() { m_widget->move(m_placed); }, Qt::QueuedConnection);
            } else if (at != m_placed) {
                Leave();  // the window manager put it elsewhere, or the operator moved it
            }
        }
        return false;
    }

private:
    void Leave() {
        m_widget->removeEventFilter(this);
        deleteLater();
    }

    QWidget* m_widget;  // the window placed (this object's parent)
    QPoint m_placed;    // where it was put
};

}  // namespace

void TieToOwner(QWidget* w, bool centre, QWidget* to) {
    if (!w || !w->isWindow() || w->isVisible()) return;
    QWidget* owner = to ? to->window() : OwnerWindow(w);
    QWindow* handle = w->windowHandle();
    if (!handle) {
        w->winId();  // makes the native window, so that the hint goes out with its first map
        handle = w->windowHandle();
    }
    if (owner && handle && !owner->windowHandle()) owner->winId();
    // Qt only writes the hint for dialogs, tools and the like; the window type is the caller's.
    if (handle && owner && owner->windowHandle() && handle->transientParent() != owner->windowHandle())
        handle->setTransientParent(owner->windowHandle());
    if (!centre) return;

    QScreen* screen = owner && owner->windowHandle() ? owner->windowHandle()->screen() : nullptr;
    if (!screen) screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect();
    const QRect area = owner ? owner->frameGeometry() : avail;
    if (!area.isValid()) return;
    // The size the window will show with: its layout's limits, and the size Qt gives a window
    // nobody resized (without marking it resized, so that it keeps fitting its content).
    w->ensurePolished();
    if (QLayout* layout = w->layout()) layout->activate();
    if (!w->testAttribute(Qt::WA_Resized)) {
        w->adjustSize();
        w->setAttribute(Qt::WA_Resized, false);
    }
    QRect placed(QPoint(), w->frameGeometry().size());
    placed.moveCenter(area.center());
    // Never partly off the screen: a title bar out of reach cannot be dragged back.
    if (avail.isValid()) {
        if (placed.right() > avail.right()) placed.moveRight(avail.right());
        if (placed.bottom() > avail.bottom()) placed.moveBottom(avail.bottom());
        if (placed.left() < avail.left()) placed.moveLeft(avail.left());
        if (placed.top() < avail.top()) placed.moveTop(avail.top());
    }
    w->move(placed.topLeft());
    // One keeper per showing: one left from a showing that never came out goes.
    for (QObject* old : w->findChildren<QObject*>(PlacementKeeper::Name(), Qt::FindDirectChildrenOnly)) {
        w->removeEventFilter(old);
        delete old;
    }
    w->installEventFilter(new PlacementKeeper(w, placed.topLeft()));
}

VantelPermWidget::VantelPermWidget(QWidget* parent, Qt::WindowFlags f) : QWidget(parent, f) {}

bool VantelPermWidget::HasPermission(int) const {
    return true;
}

FramelessForm::FramelessForm(QWidget* parent, Qt::WindowFlags flags)
    : VantelPermWidget(parent, flags | Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("InfraFramelessForm"));
    m_outer = new QVBoxLayout(this);
    m_outer->setContentsMargins(1, 1, 1, 1);
    m_outer->setSpacing(0);

    m_titleBar = new QWidget(this);
    m_titleBar->setObjectName(QStringLiteral("InfraTitleBar"));
    m_titleBar->setFixedHeight(30);
    m_titleBar->installEventFilter(this);
    auto* tl = new QHBoxLayout(m_titleBar);
    tl->setContentsMargins(10, 0, 4, 0);
    tl->setSpacing(2);
    m_titleLabel = new QLabel(m_titleBar);
    m_titleLabel->setObjectName(QStringLiteral("InfraTitleLabel"));
    m_titleLabel->setTextFormat(Qt::PlainText);
    tl->addWidget(m_titleLabel, 1);
    m_maxButton = new QPushButton(QStringLiteral("\u25a1"), m_titleBar);
    m_maxButton->setObjectName(QStringLiteral("InfraMaxButton"));
    m_maxButton->setFixedSize(26, 26);
    m_maxButton->setFocusPolicy(Qt::NoFocus);
    m_maxButton->setVisible(flags.testFlag(Qt::WindowMaximizeButtonHint));
    connect(m_maxButton, &QPushButton::clicked, this, &FramelessForm::ToggleMaximized);
    tl->addWidget(m_maxButton);
    m_closeButton = new QPushButton(QStringLiteral("\u2715"), m_titleBar);
    m_closeButton->setObjectName(QStringLiteral("InfraCloseButton"));
    m_closeButton->setFixedSize(26, 26);
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    connect(m_closeButton, &QPushButton::clicked, this, [this]() { OnCloseButton(); });
    tl->addWidget(m_closeButton);
    m_outer->addWidget(m_titleBar);

    m_main = new QWidget(this);
    m_main->setObjectName(QStringLiteral("InfraMainWidget"));
    m_outer->addWidget(m_main, 1);

    m_bottom = new QWidget(this);
    m_bottom->setObjectName(QStringLiteral("InfraButtonBar"));
    auto* bl = new QHBoxLayout(m_bottom);
    bl->setContentsMargins(12, 6, 4, 6);
    bl->addStretch(1);
    // The grip lies over the bottom-right corner, so a resizable window without buttons keeps
    // no empty strip under its content.
    m_grip = new QSizeGrip(this);
    m_grip->setVisible(false);
    m_bottom->setVisible(false);
    m_outer->addWidget(m_bottom);
}

void FramelessForm::SetMainWidget(QWidget* w, bool stretch) {
    if (!w || w == m_main) return;
    QWidget* old = m_main;
    m_main = w;
    if (w->parentWidget() != this) w->setParent(this);
    const int index = m_outer->indexOf(old);
    m_outer->insertWidget(index >= 0 ? index : 1, w, stretch ? 1 : 0);
    w->show();
    if (old) {
        m_outer->removeWidget(old);
        old->deleteLater();
    }
}

void FramelessForm::SetTitle(const QString& title) {
    m_titleLabel->setText(title);
    setWindowTitle(title);
}

QString FramelessForm::GetTitle() const {
    return m_titleLabel->text();
}

void FramelessForm::SetCascadingStyle(const QString& qss) {
    setStyleSheet(qss);
}

void FramelessForm::SetResizable(bool on) {
    m_resizable = on;
    m_maxButton->setVisible(on || windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    m_grip->setVisible(on);
    if (on) {
        m_grip->adjustSize();
        m_grip->move(width() - m_grip->width() - 1, height() - m_grip->height() - 1);
        m_grip->raise();
    }
    m_bottom->setVisible(m_bottom->findChildren<QPushButton*>().size() > 0);
}

void FramelessForm::resizeEvent(QResizeEvent* e) {
    VantelPermWidget::resizeEvent(e);
    if (m_grip->isVisible()) {
        m_grip->move(width() - m_grip->width() - 1, height() - m_grip->height() - 1);
        m_grip->raise();
    }
}

void FramelessForm::SetMovementMode(int mode) {
    m_moveMode = mode;
}

void FramelessForm::ToggleMaximized() {
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void FramelessForm::OnCloseButton() {
    close();
}

bool FramelessForm::eventFilter(QObject* o, QEvent* e) {
    if (o == m_titleBar && e->type() == QEvent::MouseButtonDblClick &&
        (m_resizable || m_maxButton->isVisible())) {
        ToggleMaximized();
        return true;
    }
    return VantelPermWidget::eventFilter(o, e);
}

void FramelessForm::mousePressEvent(QMouseEvent* e) {
    const bool onTitle = m_titleBar->geometry().contains(e->pos());
    if (e->button() == Qt::LeftButton && !isMaximized() &&
        (m_moveMode == MoveAnywhere || (m_moveMode == MoveByTitle && onTitle))) {
        m_dragging = true;
        m_dragOffset = e->globalPos() - frameGeometry().topLeft();
    }
    VantelPermWidget::mousePressEvent(e);
}

void FramelessForm::mouseMoveEvent(QMouseEvent* e) {
    if (m_dragging && (e->buttons() & Qt::LeftButton)) move(e->globalPos() - m_dragOffset);
    VantelPermWidget::mouseMoveEvent(e);
}

void FramelessForm::mouseReleaseEvent(QMouseEvent* e) {
    m_dragging = false;
    VantelPermWidget::mouseReleaseEvent(e);
}

FrameLessDialog::FrameLessDialog(QWidget* parent, Qt::WindowFlags flags)
    : FramelessForm(parent, flags | Qt::Dialog) {
    setObjectName(QStringLiteral("InfraFrameLessDialog"));
}

FrameLessDialog::~FrameLessDialog() {
    if (m_loop) m_loop->exit(0);
}

void FrameLessDialog::SetDefaultButton(int buttons) {
    auto* bl = static_cast<QHBoxLayout*>(m_bottom->layout());
    if ((buttons & ConfirmButton) && !m_confirm) {
        m_confirm = new QPushButton(QCoreApplication::translate("INFRA", "OK"), m_bottom);
        m_confirm->setObjectName(QStringLiteral("InfraConfirmButton"));
        m_confirm->setMinimumSize(80, 28);
        m_confirm->setDefault(true);
        connect(m_confirm, &QPushButton::clicked, this, [this]() { OnConfirm(); });
        bl->addWidget(m_confirm);
    }
    if ((buttons & CancelButton) && !m_cancel) {
        m_cancel = new QPushButton(QCoreApplication::translate("INFRA", "Cancel"), m_bottom);
        m_cancel->setObjectName(QStringLiteral("InfraCancelButton"));
        m_cancel->setMinimumSize(80, 28);
        connect(m_cancel, &QPushButton::clicked, this, &FrameLessDialog::reject);
        bl->addWidget(m_cancel);
    }
    if (m_confirm) m_confirm->setVisible(buttons & ConfirmButton);
    if (m_cancel) m_cancel->setVisible(buttons & CancelButton);
    m_bottom->setVisible(buttons != 0);
}

void FrameLessDialog::OnConfirm() {
    accept();
}

void FrameLessDialog::OnCloseButton() {
    reject();
}

void FrameLessDialog::done(int r) {
    m_result = r;
    m_done = true;
    hide();
    emit finished(r);
    if (r == 1)
        emit accepted();
    else
        emit rejected();
    if (m_loop) m_loop->exit(r);
}

int FrameLessDialog::exec(ShowModal mode) {
    if (m_loop) return 0;  // already running
    m_done = false;
    m_result = 0;
    setWindowModality(mode == ShowApplicationModal ? Qt::ApplicationModal
                      : mode == ShowWindowModal    ? Qt::WindowModal
                                                   : Qt::NonModal);
    QPointer<FrameLessDialog> guard(this);
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    m_loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    if (!guard) return 0;  // destroyed while open
    m_loop = nullptr;
    setWindowModality(Qt::NonModal);
    return m_result;
}

void FrameLessDialog::setVisible(bool visible) {
    if (visible) TieToOwner(this);
    FramelessForm::setVisible(visible);
}

void FrameLessDialog::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    FramelessForm::keyPressEvent(e);
}

void FrameLessDialog::closeEvent(QCloseEvent* e) {
    if (!m_done && isVisible()) {
        m_result = 0;
        m_done = true;
        emit finished(0);
        emit rejected();
        if (m_loop) m_loop->exit(0);
    }
    FramelessForm::closeEvent(e);
}

void FrameLessDialog::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) {
        if (m_confirm) m_confirm->setText(QCoreApplication::translate("INFRA", "OK"));
        if (m_cancel) m_cancel->setText(QCoreApplication::translate("INFRA", "Cancel"));
    }
    FramelessForm::changeEvent(e);
}

}  // namespace INFRA
