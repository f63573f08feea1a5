// INFRA::MessageBox: the suite's modal message box (frameless, styled like the consoles). It opens
// centred over its parent's window (without a parent: the active window) and stays above it.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

class QLabel;
class QPushButton;

namespace INFRA {

class MessageBox : public QDialog {
    Q_OBJECT
public:
    // Button values (the answers).
    enum Button { NoButton = 0, Ok = 0x400, Yes = 0x4000, No = 0x10000, Cancel = 0x400000 };
    // The answer when the box is closed without pressing a button (Escape, the close button).
    static constexpr int Closed = 0;

    // Modal boxes; they return the button pressed, or Closed. With VANTEL_UI_REPLY set (see
    // testseams.h) they answer at once; every box is recorded in the UI log.
    static int Information(QWidget* parent, const QString& title, const QString& text, int buttons = Ok);
    static int Warning(QWidget* parent, const QString& title, const QString& text, int buttons = Ok);
    // Closes every open box with the answer Closed (used when the program ends under them).
    static void CloseAll();

    MessageBox(QWidget* parent, const QString& title, const QString& text, int buttons, bool warning);
    ~MessageBox() override;
    int Answer() const { return m_answer; }
    void setVisible(bool visible) override;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    static int show(QWidget* parent, const QString& title, const QString& text, int buttons, bool warning);
    static int scripted(const QString& reply, int buttons);
    void retranslate();

    int m_answer = Closed;
    bool m_dragging = false;
    QPoint m_dragOffset;
    QWidget* m_title = nullptr;
    QList<QPair<int, QPushButton*>> m_buttons;
};

}  // namespace INFRA
