#include "lumoc/playback/downloaddialog.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOption>
#include <QTimerEvent>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <memory>

#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoRecordAddress.h"
#include "LumoRecord/LumoRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/notifier.h"
#include "lumoc/playback/downloaditemwidget.h"
#include "lumoc/playback/downloadrecmanager.h"
#include "lumoc/playback/lumocplayer.h"
#include "lumoc/playback/playerwidget.h"
#include "ui_downloaddialog.h"

DownLoadDialog::DownLoadDialog(QWidget* parent) : INFRA::FrameLessDialog(parent), ui(new Ui::DownLoadDialog) {
    ui->setupUi(GetMainWidget());
    setWindowFlags(Qt::Popup | Qt::NoDropShadowWindowHint);
    SetTitle(QObject::tr("K3581_PlayBackDownload"));
    SetMovementMode(0);

    menu = new QMenu();
    clearAction = new QAction(menu);
    clearAction->setText(QObject::tr("K6498_ClearAll"));
    clearAction->setData(QStringLiteral("clear"));
    connect(menu, &QMenu::triggered, this, &DownLoadDialog::MenuTriggered);
    menu->addAction(clearAction);

    queue = DownloadRecManager::Instance();
    ui->label_noTask->setText(QObject::tr("K3515_NoTask"));
    checkIsHaveTask();
    connect(this, &DownLoadDialog::SignalDeviceKeyChanged, this, &DownLoadDialog::OnDevKeyChanged);
    // The form's size, title bar included; the rows widen it as far as their texts need.
    resize(QSize(281, 306).expandedTo(minimumSizeHint()));
}

DownLoadDialog::~DownLoadDialog() {
    // Rows go before the queue is asked anything more; downloads go on (the queue owns them).
    ui->listWidget->clear();
    delete menu;
    delete ui;
}

bool DownLoadDialog::HasActiveTask() const {
    return queue && queue->HasActiveTask();
}

void DownLoadDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        SetTitle(QObject::tr("K3581_PlayBackDownload"));
        ui->label_noTask->setText(QObject::tr("K3515_NoTask"));
        clearAction->setText(QObject::tr("K6498_ClearAll"));
        // The rows hear of the language after the window: they are fitted once they did.
        QMetaObject::invokeMethod(this, &DownLoadDialog::FitRows, Qt::QueuedConnection);
    }
    INFRA::FrameLessDialog::changeEvent(event);
}

void DownLoadDialog::paintEvent(QPaintEvent*) {
    // Lets a style sheet's background show.
    QStyleOption opt;
    opt.initFrom(this);
    QPainter p(this);
    style()->drawPrimitive(QStyle::PE_Widget, &opt, &p, this);
}

void DownLoadDialog::hideEvent(QHideEvent*) {
    // Every hide, closing included, says so and nothing more: downloads, timers and rows go on.
    emit signal_hideDownLoadDialog();
}

void DownLoadDialog::showEvent(QShowEvent* event) {
    checkIsHaveTask();
    FitRows();
    ui->listWidget->doItemsLayout();
    PlaceOverParent();
    INFRA::FrameLessDialog::showEvent(event);
}

void DownLoadDialog::PlaceOverParent() {
    // A pop-up window of its own: nothing places it, and the parent may have moved since the
    // last show.
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner) return;
    const QRect area = owner->frameGeometry();
    QRect placed(QPoint(0, 0), frameGeometry().size());
    placed.moveCenter(area.center());
    if (QScreen* screen = owner->screen()) {
        const QRect avail = screen->availableGeometry();
        placed.moveLeft(qBound(avail.left(), placed.left(), qMax(avail.left(), avail.right() - placed.width() + 1)));
        placed.moveTop(qBound(avail.top(), placed.top(), qMax(avail.top(), avail.bottom() - placed.height() + 1)));
    }
    move(placed.topLeft());
}

void DownLoadDialog::FitRows() {
    // The list is at least as wide as its widest row needs, with room for its scroll bar; the
    // window grows with it, up to most of its screen (beyond that, names are cut in the middle).
    int need = 0;
    for (int i = 0; i < ui->listWidget->count(); ++i)
        if (DownLoadItemWidget* w = RowWidget(i)) need = qMax(need, w->NeededWidth());
    QListWidget* list = ui->listWidget;
    list->ensurePolished();
    int width = need + 2 * list->frameWidth() +
                list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list->verticalScrollBar());
    QWidget* owner = parentWidget() ? parentWidget()->window() : this;
    if (QScreen* screen = owner->screen()) width = qMin(width, screen->availableGeometry().width() * 3 / 4);
    list->setMinimumWidth(need > 0 ? width : 0);
}

void DownLoadDialog::contextMenuEvent(QContextMenuEvent*) {
    menu->exec(QCursor::pos());
}

void DownLoadDialog::MenuTriggered(QAction* action) {
    if (action && action->data().toString() == QLatin1String("clear")) SlotClearAll();
}

void DownLoadDialog::checkIsHaveTask() {
    const bool rows = ui->listWidget->count() > 0;
    ui->listWidget->setVisible(rows);
    ui->label_noTask->setVisible(!rows);
}

DownLoadItemWidget* DownLoadDialog::RowWidget(int row) const {
    QListWidgetItem* item = ui->listWidget->item(row);
    return item ? qobject_cast<DownLoadItemWidget*>(ui->listWidget->itemWidget(item)) : nullptr;
}

DownLoadItemWidget* DownLoadDialog::SenderRow() const {
    return qobject_cast<DownLoadItemWidget*>(sender());
}

int DownLoadDialog::RowOfTimer(int timerId, bool last) const {
    int found = -1;
    for (int i = 0; i < ui->listWidget->count(); ++i) {
        if (ui->listWidget->item(i)->data(Qt::UserRole).toInt() != timerId) continue;
        found = i;
        if (!last) break;
    }
    return found;
}

// ---------------------------------------------------------------------------------------------
// Rows.

void DownLoadDialog::ConnectRow(DownLoadItemWidget* w) {
    connect(w, &DownLoadItemWidget::signal_stopDown, this, &DownLoadDialog::slotDownloadStop);
    connect(w, &DownLoadItemWidget::signal_delTask, this, &DownLoadDialog::slotDelItemAndTask);
    connect(w, &DownLoadItemWidget::signal_showFile, this, &DownLoadDialog::slotShowFile);
    connect(w, &DownLoadItemWidget::signal_playfile, this, &DownLoadDialog::slotPlayFile);
    connect(w, &DownLoadItemWidget::signal_orderUp, this, &DownLoadDialog::slotOrderUp);
    connect(w, &DownLoadItemWidget::signal_orderDown, this, &DownLoadDialog::slotOrderDown);
    connect(w, &DownLoadItemWidget::signal_quicktop, this, &DownLoadDialog::SlotQuickTop);
    connect(w, &DownLoadItemWidget::signal_clear, this, &DownLoadDialog::SlotClearAll);
}

void DownLoadDialog::DisconnectRow(DownLoadItemWidget* w) {
    if (w) disconnect(w, nullptr, this, nullptr);
}

DownLoadItemWidget* DownLoadDialog::MakeRow(DownloadRecTask* task, const RowValues& v, int timerId) {
    auto* w = new DownLoadItemWidget();
    w->SetDeviceId(v.deviceId);
    w->SetChannelIndex(v.channelIndex);
    w->SetSaveUrl(v.saveUrl.constData());
    w->SetKey(v.key.constData());
    w->SetName(task->name.constData());
    auto* item = new QListWidgetItem(nullptr, 0);
    item->setSizeHint(QSize(0, DownLoadItemWidget::MinRowHeight));
    ui->listWidget->addItem(item);
    ui->listWidget->setItemWidget(item, w);
    w->SetListItem(item);
    w->SetItemName(QString::fromUtf8(task->name));
    ConnectRow(w);
    item->setData(Qt::UserRole, timerId);
    stall[timerId] = qMakePair(0, 0);
    return w;
}

void DownLoadDialog::RemoveRow(int row) {
    QListWidgetItem* item = ui->listWidget->item(row);
    if (!item) return;
    ui->listWidget->removeItemWidget(item);  // deletes the row widget
    delete item;
}

void DownLoadDialog::slotDownloadStar(long deviceId, uint channelIndex, const char* saveUrl,
                                      const char* key) {
    DownloadRecTaskList* list = queue->GetTaskList();
    if (list) {
        RowValues v;
        v.deviceId = int(deviceId);
        v.channelIndex = int(channelIndex);
        v.saveUrl = saveUrl ? QByteArray(saveUrl) : QByteArray();
        v.key = key ? QByteArray(key) : QByteArray();
        for (int i = 0; i < list->size(); ++i) {
            DownloadRecTask* task = list->at(i);
            if (!task ||
                (task->state != DownloadRecTask::StateQueued && task->state != DownloadRecTask::StateTaken))
                continue;
            const int timerId = startTimer(1000, Qt::CoarseTimer);
            DownLoadItemWidget* w = MakeRow(task, v, timerId);
            task->timerId = timerId;
            if (task->state == DownloadRecTask::StateTaken) {
                task->state = DownloadRecTask::StateDownloading;
                w->SetState(DownLoadItemWidget::StateDownloading);
            } else {
                task->state = DownloadRecTask::StateWaiting;
                w->SetState(DownLoadItemWidget::StateWaiting);
                w->UpdateText(0, 0, 0, 0);
            }
            const bool fixed = i == 0 || list->at(i - 1)->state == DownloadRecTask::StateDownloading ||
                               task->state == DownloadRecTask::StateDownloading;
            w->SetOrderButtonsVisible(!fixed);
            task->canMoveUp = !fixed;
        }
        FitRows();
    }
    checkIsHaveTask();
}

// ---------------------------------------------------------------------------------------------
// The poll.

void DownLoadDialog::timerEvent(QTimerEvent* event) {
    PollRow(event->timerId());
}

int DownLoadDialog::GetWholeProgress() const {
    uint64_t done = 0, whole = 0;
    for (const auto& group : queue->GetTaskGroups())
        for (const auto& sub : group.second)
            for (const DownloadRecTask* t : sub.second) {
                if (!t) continue;
                const uint64_t total = t->fileList ? t->fileList->GetTotalSize() : 0;
                switch (t->state) {
                    case DownloadRecTask::StateEnded:
                        done += t->bytesDone;
                        whole += t->bytesDone;
                        break;
                    case DownloadRecTask::StateDownloading:
                        done += t->bytesDone;
                        if (t->bytesDone < total)
                            whole += total;
                        else if (t->percent < 100)
                            whole += t->bytesDone + 1;
                        else if (t->percent == 100)
                            whole += t->bytesDone;
                        else
                            whole += total;
                        break;
                    case DownloadRecTask::StateWaiting:
                        whole += total;
                        break;
                    default:
                        break;  // failed tasks weigh nothing
                }
            }
    if (whole == 0) return 100;  // nothing left that counts
    return int(qMin<uint64_t>(100, done * 100 / whole));
}

void DownLoadDialog::PollRow(int timerId) {
    const int row = RowOfTimer(timerId, false);
    if (row < 0) return;
    QListWidgetItem* item = ui->listWidget->item(row);
    DownLoadItemWidget* w = RowWidget(row);
    if (!w || w->GetState() != DownLoadItemWidget::StateDownloading) return;

    const QByteArray name = w->GetName();
    int flags = 0;
    unsigned percent = 0, speed = 0;
    uint64_t done = 0, total = 0, seconds = 0;
    const int r = queue->GetProgress(w->GetDeviceId(), w->GetChannelIndex(), &flags, &percent, &speed, &done,
                                     &total, &seconds, name.constData());
    const int format = queue->GetTaskFormat(w->GetDeviceId(), w->GetChannelIndex(), name.constData());
    DownloadRecTask* task = queue->FindTask(w->GetDeviceId(), w->GetChannelIndex(), name.constData());
    // The flags are written only by an answer of the download itself.
    const bool finished = flags & DownloadRecManager::FlagFinished;

    if (!finished && r < 0) {
        // A task whose download was refused has nothing to poll: the row says so and the queue
        // moves on. Other answers without progress are asked again on the next tick.
        if (task && task->state == DownloadRecTask::StateFailed) {
            FailRow(w, task->result);
            StartNextWaiting(row + 1, "DownLoadDialog::timerEvent", "dl[4]================>key = %s");
        }
        emit signal_showwholeprogress(GetWholeProgress());
        return;
    }

    w->SetProgress(int(percent));
    if (format == DownloadRecManager::FormatJpg)
        w->UpdateText(DownLoadItemWidget::NoSpeed, 0, 0, 0);
    else
        w->UpdateText(speed, done, total, seconds);

    if (finished) {
        if (queue->StopTask(w->GetDeviceId(), w->GetChannelIndex(), name.constData()) < 0) {
            emit signal_showwholeprogress(GetWholeProgress());
            return;
        }
        if (task && task->state == DownloadRecTask::StateFailed)
            FailRow(w, task->result);
        else
            w->SetState(DownLoadItemWidget::StateEnded);
        VantelDBG_Printf_f(0x7fff, 1, "DownLoadDialog::timerEvent", "dl[4]================>key = %s",
                           w->GetKey().constData());
        StartNextWaiting(row + 1, nullptr, nullptr);
        emit signal_showwholeprogress(GetWholeProgress());
        return;
    }
    emit signal_showwholeprogress(GetWholeProgress());

    QPair<int, int>& entry = stall[timerId];
    if (entry.second >= StallTicks) {
        RemoveStalledRow(item, timerId);
        return;
    }
    if (int(percent) != entry.first)
        entry = qMakePair(int(percent), 0);
    else
        ++entry.second;
}

void DownLoadDialog::FailRow(DownLoadItemWidget* w, int code) {
    const QString why = code == LUMO_ERR_DISKFULL ? QObject::tr("K7931_DownloadDiskFull")
                                                  : QObject::tr("K3522_MsgDownloadFileErr");
    w->SetFailText(why);
    w->SetState(DownLoadItemWidget::StateFailed);
    INFRA::NotifierManager::instance()->notify(QObject::tr("K4711_Fail"),
                                               why + QStringLiteral("\n") + QString::fromUtf8(w->GetName()),
                                               INFRA::NotifierManager::Failure, QStringLiteral("#"));
}

void DownLoadDialog::StartNextWaiting(int from, const char* logFunction, const char* logFormat) {
    for (int i = from; i < ui->listWidget->count(); ++i) {
        DownLoadItemWidget* next = RowWidget(i);
        if (!next || next->GetState() != DownLoadItemWidget::StateWaiting) continue;
        if (logFunction) VantelDBG_Printf_f(0x7fff, 1, logFunction, logFormat, next->GetKey().constData());
        const int r =
            queue->StartDown(next->GetDeviceId(), next->GetChannelIndex(), next->GetSaveUrl().constData(),
                             next->GetKey().constData(), next->GetName().constData());
        if (r != 0) {
            DownloadRecTask* t = queue->FindTask(0, 0, next->GetName().constData());
            FailRow(next, t ? t->result : r);
            continue;  // the queue moves on
        }
        next->SetState(DownLoadItemWidget::StateDownloading);
        next->SetOrderButtonsVisible(false);
        if (DownloadRecTask* t = queue->FindTask(0, 0, next->GetName().constData())) t->canMoveUp = false;
        if (DownLoadItemWidget* after = RowWidget(i + 1)) {
            after->SetOrderButtonsVisible(false);
            if (DownloadRecTask* t = queue->FindTask(0, 0, after->GetName().constData()))
                t->canMoveUp = false;
        }
        return;
    }
}

void DownLoadDialog::RemoveStalledRow(QListWidgetItem* item, int timerId) {
    killTimer(timerId);
    stall.remove(timerId);
    const int row = ui->listWidget->row(item);
    auto* w = qobject_cast<DownLoadItemWidget*>(ui->listWidget->itemWidget(item));
    const QByteArray name = w ? w->GetName() : QByteArray();
    const int devId = w ? w->GetDeviceId() : 0, chn = w ? w->GetChannelIndex() : -1;
    DisconnectRow(w);
    RemoveRow(row);
    // The stalled task's own download, not whichever holds one; the queue then moves on.
    if (!name.isEmpty()) queue->StopTask(devId, chn, name.constData());
    StartNextWaiting(row, nullptr, nullptr);
    checkIsHaveTask();
}

// ---------------------------------------------------------------------------------------------
// The operator's actions.

void DownLoadDialog::slotDownloadStop() {
    DownLoadItemWidget* w = SenderRow();
    if (!w || !queue || !w->GetListItem()) return;
    const int timerId = w->GetListItem()->data(Qt::UserRole).toInt();
    int index = RowOfTimer(timerId, true);
    if (index < 0) index = 0;
    killTimer(timerId);
    stall.remove(timerId);
    const QByteArray name = w->GetName();
    const int devId = w->GetDeviceId(), chn = w->GetChannelIndex();
    DisconnectRow(w);
    RemoveRow(ui->listWidget->row(w->GetListItem()));  // the widget goes with its row
    checkIsHaveTask();

    const int r = queue->StopTask(devId, chn, name.constData());
    if (r == 0)
        INFRA::NotifierManager::instance()->notify(QObject::tr("K4712_Success"),
                                                   QObject::tr("K3588_StopDownloadSuccess"),
                                                   INFRA::NotifierManager::Success, QStringLiteral("#"));
    else
        INFRA::NotifierManager::instance()->notify(QObject::tr("K4711_Fail"),
                                                   QObject::tr("K3589_StopDownloadFail"),
                                                   INFRA::NotifierManager::Failure, QStringLiteral("#"));
    const int removed = queue->RemoveTask(devId, chn, name.constData());
    emit signal_showwholeprogress(GetWholeProgress());
    if (removed < 0) return;
    StartNextWaiting(index, "DownLoadDialog::slotDownloadStop", "dl[3]===============>key = %s");
}

void DownLoadDialog::slotDelItemAndTask() {
    DownLoadItemWidget* w = SenderRow();
    if (!w || !w->GetListItem()) return;
    const int timerId = w->GetListItem()->data(Qt::UserRole).toInt();
    killTimer(timerId);
    stall.remove(timerId);
    const int index = ui->listWidget->row(w->GetListItem());
    DisconnectRow(w);
    DownloadRecTaskList* list = queue->GetTaskList();
    if (!list) return;
    const QByteArray name = w->GetName();
    bool canMoveUp = true;
    const int at = [&] {
        for (int i = 0; i < list->size(); ++i)
            if (list->at(i) && list->at(i)->name == name) return i;
        return -1;
    }();
    if (at >= 0) {
        canMoveUp = list->at(at)->canMoveUp;
        if (at + 1 < list->size() && list->at(at + 1)) list->at(at + 1)->canMoveUp = canMoveUp;
    }
    if (DownLoadItemWidget* after = RowWidget(index + 1)) after->SetOrderButtonsVisible(canMoveUp);
    queue->RemoveTask(w->GetDeviceId(), w->GetChannelIndex(), name.constData());
    RemoveRow(index);
    checkIsHaveTask();
    emit signal_showwholeprogress(GetWholeProgress());
}

void DownLoadDialog::SlotClearAll() {
    if (ui->listWidget->count() == 0 || !RowWidget(0) || !queue->GetTaskList()) return;
    for (int i = 0; i < ui->listWidget->count(); ++i) {
        const int timerId = ui->listWidget->item(i)->data(Qt::UserRole).toInt();
        if (timerId) killTimer(timerId);
    }
    stall.clear();
    ui->listWidget->clear();
    // Every download still open is stopped (and leaves no file); every task is freed.
    queue->ClearTasks();
    emit signal_showwholeprogress(GetWholeProgress());
    checkIsHaveTask();
}

void DownLoadDialog::SwapTasks(DownloadRecTask* a, DownloadRecTask* b) {
    std::swap(a->deviceId, b->deviceId);
    std::swap(a->channelIndex, b->channelIndex);
    std::swap(a->fileList, b->fileList);
    std::swap(a->state, b->state);
    std::swap(a->handle, b->handle);
    std::swap(a->format, b->format);
    std::swap(a->timerId, b->timerId);
    std::swap(a->name, b->name);
    std::swap(a->nameInUrl, b->nameInUrl);
    // What belongs to the download goes with it too.
    std::swap(a->result, b->result);
    std::swap(a->complete, b->complete);
    std::swap(a->filePath, b->filePath);
    std::swap(a->bytesDone, b->bytesDone);
    std::swap(a->percent, b->percent);
    std::swap(a->withinSize, b->withinSize);
}

void DownLoadDialog::MoveSenderRow(int step) {
    DownLoadItemWidget* w = SenderRow();
    DownloadRecTaskList* list = queue->GetTaskList();
    if (!w || !list) return;
    const QByteArray name = w->GetName();
    for (int i = 0; i < list->size(); ++i) {
        if (!list->at(i)) return;
        if (list->at(i)->name != name) continue;
        const int other = i + step;
        if (other < 0 || other >= list->size()) return;  // the first up, the last down: nothing
        SwapTasks(list->at(i), list->at(other));
        RebuildRows(name);
        return;
    }
}

void DownLoadDialog::slotOrderUp() {
    MoveSenderRow(-1);
}

void DownLoadDialog::slotOrderDown() {
    MoveSenderRow(1);
}

void DownLoadDialog::SlotQuickTop() {
    DownLoadItemWidget* w = SenderRow();
    DownloadRecTaskList* list = queue->GetTaskList();
    if (!w || !list) return;
    DownloadRecTask* own = nullptr;
    for (DownloadRecTask* t : *list) {
        if (!t) return;
        if (t->name == w->GetName()) {
            own = t;
            break;
        }
    }
    if (!own || own->state == DownloadRecTask::StateDownloading || own->state == DownloadRecTask::StateEnded)
        return;
    int running = -1;
    for (int i = 0; i < list->size(); ++i)
        if (list->at(i) && list->at(i)->state == DownloadRecTask::StateDownloading) {
            running = i;
            break;
        }
    if (running < 0 || running + 1 >= list->size()) return;
    DownloadRecTask* pushed = list->at(running + 1);
    if (pushed == own) return;
    list->removeOne(own);
    list->insert(list->indexOf(pushed), own);
    own->canMoveUp = false;
    pushed->canMoveUp = true;
    RebuildRows(pushed->name);
}

void DownLoadDialog::RebuildRows(const QByteArray& selectName) {
    const int scroll = ui->listWidget->verticalScrollBar()->value();
    // Each row keeps its own batch's values (device, target, key).
    QMap<QByteArray, RowValues> values;
    for (int i = 0; i < ui->listWidget->count(); ++i)
        if (DownLoadItemWidget* w = RowWidget(i)) {
            RowValues v;
            v.deviceId = w->GetDeviceId();
            v.channelIndex = w->GetChannelIndex();
            v.saveUrl = w->GetSaveUrl();
            v.key = w->GetKey();
            values.insert(w->GetName(), v);
        }
    ui->listWidget->clear();
    DownloadRecTaskList* list = queue->GetTaskList();
    if (list) {
        for (DownloadRecTask* t : *list) {
            if (!t) break;
            DownLoadItemWidget* w = MakeRow(t, values.value(t->name), t->timerId);
            w->SetState(t->state == DownloadRecTask::StateFailed ? DownLoadItemWidget::StateFailed
                                                                 : t->state);
            if (t->state == DownloadRecTask::StateFailed)
                w->SetFailText(t->result == LUMO_ERR_DISKFULL ? QObject::tr("K7931_DownloadDiskFull")
                                                              : QObject::tr("K3522_MsgDownloadFileErr"));
            w->SetOrderButtonsVisible(t->canMoveUp);
            w->SetProgress(t->percent);
            if (t->state != DownloadRecTask::StateDownloading) w->UpdateText(0, 0, 0, 0);
            if (t->name == selectName) ui->listWidget->setCurrentItem(w->GetListItem());
        }
        FitRows();
    }
    ui->listWidget->verticalScrollBar()->setValue(scroll);
}

QString DownLoadDialog::SavedPath(DownLoadItemWidget* w) const {
    DownloadRecTask* t = queue->FindTask(w->GetDeviceId(), w->GetChannelIndex(), w->GetName().constData());
    if (t && !t->filePath.isEmpty()) return t->filePath;
    LumoRecordAddress a;
    if (!LumoRecordAddress::Parse(w->GetSaveUrl().toStdString(), &a) || !a.Has("pathname")) return QString();
    return QDir(QString::fromUtf8(a.Get("pathname").c_str())).filePath(QString::fromUtf8(w->GetName()));
}

void DownLoadDialog::OnDevKeyChanged(uint deviceId, QString key) {
    for (int i = 0; i < ui->listWidget->count(); ++i) {
        DownLoadItemWidget* w = RowWidget(i);
        if (w && w->GetDeviceId() == int(deviceId)) {
            w->SetKey(key.toLatin1().constData());
            return;
        }
    }
}

void DownLoadDialog::slotShowFile() {
    DownLoadItemWidget* w = SenderRow();
    if (!w) return;
    const QString path = SavedPath(w);
    if (path.isEmpty()) return;
    // The desktop's file manager shows the file's folder, made anew (with its parents) when it
    // went since; no shell is involved. A folder that cannot be made is not opened: the operator
    // hears why, with the folder.
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        INFRA::NotifierManager::instance()->notify(QObject::tr("K4711_Fail"),
                                                   QObject::tr("K7954_DownloadFolderFail").arg(folder),
                                                   INFRA::NotifierManager::Failure, QStringLiteral("#"));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void DownLoadDialog::slotPlayFile() {
    DownLoadItemWidget* w = SenderRow();
    if (!w) return;
    const QString path = SavedPath(w);
    if (path.isEmpty()) return;
    auto list = std::make_shared<CLumoFileDescList>(1);
    auto* desc = new CLumoFileDesc();
    desc->SetURI(
        LumoRecordAddress::ReadFile(QFileInfo(path).suffix().toStdString(), path.toUtf8().toStdString())
            .Build()
            .c_str());
    desc->SetFileName(QFileInfo(path).completeBaseName().toUtf8().constData());
    list->Append(desc);
    // The probe reads the file: off the GUI thread (a pool job under a watcher, the dialog's child);
    // the player opens when it is done, never once the dialog is gone. The job owns its list.
    auto* watcher = new QFutureWatcher<int>(this);
    connect(watcher, &QFutureWatcher<int>::finished, this, [watcher, list]() {
        watcher->deleteLater();
        LumoCPlayer player;
        if (PlayerWidget* pw = player.GetPlayerWidget()) pw->SetPlayMode(1);
        player.SetFileList(list.get());
        player.Play();
        player.exec(INFRA::ShowApplicationModal);
    });
    watcher->setFuture(QtConcurrent::run([list]() { return LumoRecordGetFileDesc(list.get()); }));
}
