// PageServerList: the server list page: whether the event and recording hosts run and on which
// port, starting a stopped one and telling a running one to stop through its shared memory.
#pragma once

#include <QFutureWatcher>
#include <QVector>
#include <QWidget>

#include "VantelProcess/sharememory.h"
#include "pages.h"
#include "processwatch.h"

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTimer;

class StatusWidget : public QWidget {
    Q_OBJECT
public:
    StatusWidget();
    void SetState(bool running);
    bool IsRunning() const { return m_running; }
    QLabel* Label() const { return m_label; }

private:
    QLabel* m_label;
    bool m_running = false;
};

class OpeWidget : public QWidget {
    Q_OBJECT
public:
    enum { Stopped = 0, Running = 1, Stopping = 2 };
    explicit OpeWidget(int row);
    void SetState(int state);
    int State() const { return m_state; }
    QPushButton* Button() const { return m_button; }

signals:
    void clicked(int row, int state);

public slots:
    void OnClicked();

private:
    QPushButton* m_button;
    int m_row;
    int m_state = Stopped;
};

class PageServerList : public VantelServerPages {
    Q_OBJECT
public:
    enum { RowEvent = 0, RowRecorder = 1 };
    PageServerList(int index, VantelServer* owner);
    ~PageServerList() override;

    void Init() override { InitTable(); }
    void Retranslate() override;
    void InitTable();
    QStandardItemModel* Model() const { return m_model; }
    StatusWidget* Status(int row) const;
    OpeWidget* Ope(int row) const;
    // True from the start of a check until its result is shown in the list (the worker is done
    // a moment before its result reaches this thread).
    bool IsChecking() const { return m_checking; }
    // Where the hosts are looked for (tests point it at a fixture).
    void SetProcRoot(const QString& root) { m_procRoot = root; }

    // Clears the host's channel (a "stop" nobody read would end the new host at once), then
    // starts "<program dir>/<name>" detached. False when it could not be started.
    bool StartServerProcess(int row);
    // Writes "stop" into the row's shared memory; false when it could not be written.
    bool SendStop(int row);
    // Asks the operator whether the row's host is to be stopped, naming it; true on Yes only.
    bool ConfirmStop(int row);

public slots:
    void CheckStatus();
    // The switch of a row: a stopped host starts; a running one stops once the operator confirms.
    void OnOpeClicked(int row, int state);

private:
    void ApplyScan();
    QString ServerName(int row) const;

    QStandardItemModel* m_model = nullptr;
    QTimer* m_timer = nullptr;
    SHAREMEMHANDLE m_mem[2] = {nullptr, nullptr};
    QFutureWatcher<QVector<ProcessWatch::HostState>> m_watch;  // results come back on the GUI thread
    bool m_checkAgain = false;                                 // a check was asked for while one ran
    bool m_checking = false;  // GUI thread: a check runs, or its result is not shown yet
    QString m_procRoot = QStringLiteral("/proc");
};
