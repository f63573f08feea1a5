// INFRA::NotifierManager: short pop-up notices over the window that was active when they came
// (kept above it by the window manager; in the screen's corner when no window is active);
// INFRA::ShowTrayMessage: a tray balloon that falls back to such a notice where the desktop has
// no tray.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

class QTimer;

namespace INFRA {

class NotifierPopup : public QWidget {
    Q_OBJECT
public:
    // owner: the window the notice belongs to (null: none, the notice sits in the screen's corner).
    // It is not the notice's parent: a notice outlives a message box it was shown over.
    NotifierPopup(const QString& title, const QString& text, int kind, int ms, QWidget* owner = nullptr);
    void setVisible(bool visible) override;
    QWidget* Owner() const { return m_owner; }

signals:
    void closed();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QPointer<QWidget> m_owner;  // the owner's top-level window; GUI thread only
};

class NotifierManager : public QObject {
    Q_OBJECT
public:
    enum Kind { Success = 0, Failure = 1 };
    static NotifierManager* instance();

    // Shows a notice for a few seconds (stacked with earlier ones of its window) and records it in
    // the UI log.
    // target: where a click should lead ("#": nowhere).
    void notify(const QString& title, const QString& text, int kind, const QString& target);
    // The same without recording (for callers that recorded it themselves).
    void popup(const QString& title, const QString& text, int kind, int ms);
    int OpenCount() const;

private:
    explicit NotifierManager(QObject* parent = nullptr);
    void relayout();
    QList<QPointer<NotifierPopup>> m_popups;
};

// A tray balloon: recorded in the UI log ("balloon", title, text, icon name); shown by the tray
// icon when the desktop has a tray, else as a notifier pop-up, so the operator sees it anyway.
void ShowTrayMessage(QSystemTrayIcon* tray, const QString& title, const QString& text,
                     QSystemTrayIcon::MessageIcon icon, int ms);
QString TrayIconName(QSystemTrayIcon::MessageIcon icon);

}  // namespace INFRA
