// The player's one message box: a title, one line of text and, for results that wrote a file, a
// block with the file, the saving path and a button that opens that path's folder. A result tip
// (mode 1) may close itself after a while; every other tip waits for a button.
//
// Every tip shown is written to the suite's UI log, and a scripted reply answers it at once
// (VANTEL_UI_LOG / VANTEL_UI_REPLY, see VantelInfraAPI/testseams.h): "ok" or "yes" give 1,
// any other reply 0. A tip opens centred over the window it belongs to (its parent's, else the
// active window) and stays above it.
#pragma once

#include <QDialog>
#include <QString>

class QAbstractButton;

namespace Ui {
class DialogTip;
}

class DialogTip : public QDialog {
    Q_OBJECT
public:
    // title and text come translated. fileBlock: show the file and saving-path rows.
    DialogTip(const QString& title, const QString& text, QWidget* parent = nullptr, quint8 mode = 0,
              bool fileBlock = false);
    ~DialogTip() override;

    // Fills the file block; an empty text hides its row (an empty path also hides the open button).
    void SetFileInfo(const QString& fileText, const QString& pathText);
    // Mode 1 only: closes the tip after msec (exec() then returns 0).
    void StartAutoClose(int msec);

    // 1 when closed with Ok; 0 for Cancel, the close button, Escape and the auto-close.
    int exec() override;
    void setVisible(bool visible) override;

    void on_buttonBox_clicked(QAbstractButton* button);
    void on_btnClose_clicked();
    void on_btnOpen_clicked();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    Ui::DialogTip* ui;
    QString m_title, m_text;  // as given, for the UI log
    quint8 m_mode;
    bool m_fileBlock;
    QString m_fileText, m_pathText;
    int m_timerId = 0;  // the auto-close timer, 0 when none runs
};
