// INFRA::FramelessForm and INFRA::FrameLessDialog: windows without the desktop's frame, with the
// suite's own title bar (title, maximise and close), dragging, optional resizing, and for the
// dialog a modal exec with confirm/cancel buttons. A dialog opens centred over the window it
// belongs to (its parent's, else the active one) and stays above it.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;
class QHBoxLayout;
class QSizeGrip;
class QEventLoop;

namespace INFRA {

// How FrameLessDialog::exec blocks: 0 no modality (still waits), 1 blocks its parent window,
// 2 blocks the whole application.
enum ShowModal { ShowModeless = 0, ShowWindowModal = 1, ShowApplicationModal = 2 };
// Kinds of notifier pop-ups.
enum NotifyType { NotifySuccess = 0, NotifyFailure = 1 };

// The window a dialog, tip or notice belongs to: its parent's window when that shows, else the
// active window (never `w` itself or a window of its own); null when there is none.
QWidget* OwnerWindow(const QWidget* w);
// Ties a top-level dialog, tip or notice that is about to show to its owner window: the window
// manager keeps it above that window (transient-for; the window's type must be one that the
// platform gives the hint, a dialog or a tool), and with `centre` it opens centred over it,
// inside the owner's screen (centred on the screen when it has no owner). Call it from the
// window's setVisible(true), before the base class shows it: a window moved from its show event
// on X11 keeps a wrong idea of its own position (it reads 0,0), and a tip centred over it would
// open in the screen's corner. Does nothing for a window already shown. `to`: the owner when
// the window knows it without being its child (else OwnerWindow(w)).
void TieToOwner(QWidget* w, bool centre = true, QWidget* to = nullptr);

// Base of the library's windows: the hook where an operator's permissions would hide controls.
class VantelPermWidget : public QWidget {
    Q_OBJECT
public:
    explicit VantelPermWidget(QWidget* parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());
    // Every operator of a console may do everything; kept as the single place to change that.
    virtual bool HasPermission(int right) const;
};

class FramelessForm : public VantelPermWidget {
    Q_OBJECT
public:
    // Movement modes: the window moves by dragging its title bar (0), by dragging anywhere
    // (1), or not at all (2).
    enum MovementMode { MoveByTitle = 0, MoveAnywhere = 1, MoveNone = 2 };

    explicit FramelessForm(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    // The widget under the title bar that holds the content (build forms on it).
    QWidget* GetMainWidget() const { return m_main; }
    // Replaces the content widget; the previous one is deleted. stretch: the widget takes all
    // the space below the title bar.
    void SetMainWidget(QWidget* w, bool stretch = true);
    void SetTitle(const QString& title);
    QString GetTitle() const;
    // A style sheet for this window and its children.
    void SetCascadingStyle(const QString& qss);
    void SetResizable(bool on);
    bool IsResizable() const { return m_resizable; }
    void SetMovementMode(int mode);
    int GetMovementMode() const { return m_moveMode; }
    QWidget* GetTitleBar() const { return m_titleBar; }

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    // The title bar's close button; a form closes, a dialog rejects.
    virtual void OnCloseButton();
    void ToggleMaximized();

    QVBoxLayout* m_outer = nullptr;
    QWidget* m_titleBar = nullptr;
    QLabel* m_titleLabel = nullptr;
    QPushButton* m_maxButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QWidget* m_main = nullptr;
    QWidget* m_bottom = nullptr;
    QSizeGrip* m_grip = nullptr;
    bool m_resizable = false;
    int m_moveMode = MoveByTitle;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

class FrameLessDialog : public FramelessForm {
    Q_OBJECT
public:
    // Button flags for SetDefaultButton.
    enum { ConfirmButton = 1, CancelButton = 2 };

    explicit FrameLessDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~FrameLessDialog() override;

    // Shows the dialog and waits until it is closed; 1 when accepted, 0 otherwise.
    int exec(ShowModal mode = ShowApplicationModal);
    // Shows confirm (1) and/or cancel (2) buttons under the content.
    void SetDefaultButton(int buttons);
    int result() const { return m_result; }

public slots:
    void accept() { done(1); }
    void reject() { done(0); }
    void done(int r);

signals:
    void accepted();
    void rejected();
    void finished(int result);

protected:
    // The confirm button: accepts by default; a dialog checks its input here first.
    virtual void OnConfirm();
    void OnCloseButton() override;
    void setVisible(bool visible) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    QPushButton* m_confirm = nullptr;
    QPushButton* m_cancel = nullptr;
    QEventLoop* m_loop = nullptr;
    int m_result = 0;
    bool m_done = false;
};

}  // namespace INFRA
