// The window of the download queue while it works: one row per task in queue order, each polled
// once a second by a timer of its own; a finished or failed task starts the next waiting one. The
// operator stops, deletes, reorders, clears, plays the saved file or opens its folder. GUI thread
// only; the queue is called directly.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QPair>
#include <QString>

#include "VantelInfraAPI/frameless.h"

class DownLoadItemWidget;
class DownloadRecManager;
struct DownloadRecTask;
class QAction;
class QListWidgetItem;
class QMenu;
namespace Ui {
class DownLoadDialog;
}

class DownLoadDialog : public INFRA::FrameLessDialog {
    Q_OBJECT
public:
    // Ticks without a change of percent after which a downloading row is given up.
    enum { StallTicks = 100 };

    explicit DownLoadDialog(QWidget* parent = nullptr);
    ~DownLoadDialog() override;

    bool HasActiveTask() const;
    void ClearAll() { SlotClearAll(); }

    // One poll of the row whose timer has this id (what each timer tick does).
    void PollRow(int timerId);
    // Overall percent over every task of the queue (100 when nothing counts).
    int GetWholeProgress() const;

    Ui::DownLoadDialog* GetUi() const { return ui; }
    // The row widget of list row `row`, or null.
    DownLoadItemWidget* RowWidget(int row) const;
    // The stall table entry (last percent, unchanged ticks) of a timer.
    QPair<int, int> StallEntry(int timerId) const { return stall.value(timerId); }

signals:
    void signal_hideDownLoadDialog();
    void signal_showwholeprogress(int percent);
    void SignalDeviceKeyChanged(uint deviceId, QString key);

public slots:
    void slotDownloadStar(long deviceId, uint channelIndex, const char* saveUrl, const char* key);
    void slotDownloadStop();
    void checkIsHaveTask();
    void slotDelItemAndTask();
    void slotShowFile();
    void slotPlayFile();
    void slotOrderUp();
    void slotOrderDown();
    void SlotQuickTop();
    void SlotClearAll();
    void contextMenuEvent(QContextMenuEvent* event) override;
    void MenuTriggered(QAction* action);
    void OnDevKeyChanged(uint deviceId, QString key);

protected:
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Each show: the rows follow the queue and the window lies over its parent's window.
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct RowValues {
        int deviceId = 0;
        int channelIndex = -1;
        QByteArray saveUrl;
        QByteArray key;
    };

    DownLoadItemWidget* MakeRow(DownloadRecTask* task, const RowValues& values, int timerId);
    void ConnectRow(DownLoadItemWidget* w);
    void DisconnectRow(DownLoadItemWidget* w);
    DownLoadItemWidget* SenderRow() const;
    int RowOfTimer(int timerId, bool last) const;
    void RemoveRow(int row);
    // Starts the first waiting row from list row `from` on; rows whose start is refused are
    // marked failed and the next one is tried. The row after the started one loses its order
    // buttons.
    void StartNextWaiting(int from, const char* logFunction, const char* logFormat);
    // Marks a row failed and tells the operator why.
    void FailRow(DownLoadItemWidget* w, int code);
    void RemoveStalledRow(QListWidgetItem* item, int timerId);
    void RebuildRows(const QByteArray& selectName);
    // Swaps the sender row's task with the one `step` places away and rebuilds the rows.
    void MoveSenderRow(int step);
    // The saved file of a row: the file the download wrote, else the folder of the target + name.
    QString SavedPath(DownLoadItemWidget* w) const;
    void SwapTasks(DownloadRecTask* a, DownloadRecTask* b);
    // Widens the list (and so the window) to what its rows need to show their texts whole.
    void FitRows();
    // Centres the window over its parent's window (wherever that is now), kept on its screen.
    void PlaceOverParent();

    Ui::DownLoadDialog* ui = nullptr;
    DownloadRecManager* queue = nullptr;
    QMap<int, QPair<int, int>> stall;  // timer id -> (last percent, unchanged ticks)
    QMenu* menu = nullptr;             // no parent: deleted by the destructor
    QAction* clearAction = nullptr;
};
