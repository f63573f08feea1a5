// The frame every player dialog shares: no system frame, an own title bar that drags the window
// (only with the left button alone, and never after a press on the close button), and texts that
// follow a language change through the dialog's own Retranslate. Every dialog opens centred over
// the window it belongs to (its parent's, else the active window) and the window manager keeps it
// above that window.
#pragma once

#include <QDialog>
#include <QPoint>

class QAbstractButton;

class PlayerDialog : public QDialog {
    Q_OBJECT
public:
    // Window flags of the frame: dialogs that cover part of the main window, and the larger ones
    // that hold lists. Both are dialogs to the window manager: a plain or cover window would get
    // no transient-for hint and could fall behind the player while holding its input.
    static constexpr Qt::WindowFlags kCoverFlags = Qt::FramelessWindowHint | Qt::Dialog;
    static constexpr Qt::WindowFlags kWindowFlags = Qt::FramelessWindowHint | Qt::Dialog;

    // Ties the dialog to its window (see INFRA::TieToOwner) before it shows.
    void setVisible(bool visible) override;

protected:
    explicit PlayerDialog(QWidget* parent);

    // Called by the dialog's constructor once its form is built: sets the flags and watches the
    // close button and then the title bar for the drag.
    void InitFrame(QWidget* titleBar, QAbstractButton* closeButton, Qt::WindowFlags flags);
    // Sets the dialog's visible texts from its translation keys (context: the dialog's class).
    virtual void Retranslate() = 0;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* m_titleBar = nullptr;
    QAbstractButton* m_closeButton = nullptr;
    QPoint m_dragOffset;          // cursor minus window position at the last left press on the title
    bool m_closePressed = false;  // a left press on the close button, not yet followed by one on the title
};
