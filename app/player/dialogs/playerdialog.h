// The frame every player dialog shares: no system frame, an own title bar that drags the window
// (only with the left button alone, and never after a press on the close button), and texts that
// follow a language change through the dialog's own Retranslate.
#pragma once

#include <QDialog>
#include <QPoint>

class QAbstractButton;

class PlayerDialog : public QDialog {
    Q_OBJECT
public:
    // Window flags of the frame: dialogs that float over the main window, and free windows.
    static constexpr Qt::WindowFlags kCoverFlags = Qt::FramelessWindowHint | Qt::CoverWindow;  // 0x841
    static constexpr Qt::WindowFlags kWindowFlags = Qt::FramelessWindowHint | Qt::Window;      // 0x801

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
