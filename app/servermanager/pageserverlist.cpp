#include "pageserverlist.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QtConcurrent>
#include <cstring>

#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/messagebox.h"
#include "consoleshell.h"
#include "consoleutility.h"
#include "vantelserver.h"

namespace {

const char kSwitchOpen[] =
    "QPushButton{ background-color: rgba(0,0,0,0); "
    "background-image:url(:res/default/image/common/switch_open_normal.png);background-repeat:none; "
    "background-position: left; background-origin: content; padding-left: 0px;}";
const char kSwitchClose[] =
    "QPushButton{  background-color: rgba(0,0,0,0); "
    "background-image:url(:res/default/image/common/switch_close_normal.png);background-repeat:none; "
    "background-position: left; background-origin: content; padding-left: 0px;}";

QString Tr(const char* key) {
    return QCoreApplication::translate("VantelServer", key);
}

}  // namespace

StatusWidget::StatusWidget() : QWidget(nullptr), m_label(new QLabel(this)) {
    m_label->setObjectName(QStringLiteral("labelserverStatus"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 2, 10, 2);
    layout->addWidget(m_label);
}

void StatusWidget::SetState(bool running) {
    m_running = running;
    if (running) {
        m_label->setText(QLatin1Char(' ') + Tr("K8597_Running"));
        m_label->setStyleSheet(QStringLiteral("#labelserverStatus{background: rgb(56,182,71);}"));
    } else {
        m_label->setText(QLatin1Char(' ') + Tr("K8598_NotRunning"));
        m_label->setStyleSheet(QStringLiteral("#labelserverStatus{background: rgb(87,89,93);}"));
    }
}

OpeWidget::OpeWidget(int row) : QWidget(nullptr), m_button(new QPushButton(this)), m_row(row) {
    m_button->setFixedSize(42, 22);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 2, 10, 2);
    layout->addWidget(m_button);
    connect(m_button, &QPushButton::pressed, this, &OpeWidget::OnClicked);
}

void OpeWidget::OnClicked() {
    emit clicked(m_row, m_state);
}

void OpeWidget::SetState(int state) {
    switch (state) {
        case Running:
            if (m_state != Stopping) {
                m_button->setToolTip(Tr("K4522_BtnStopServer"));
                m_button->setStyleSheet(kSwitchOpen);
                m_button->setEnabled(true);
                m_state = Running;
            } else {
                m_button->setToolTip(Tr("K4522_BtnStopServer") + QStringLiteral("..."));
                m_button->setEnabled(false);
            }
            break;
        case Stopped:
            m_button->setToolTip(Tr("K7019_Open"));
            m_button->setStyleSheet(kSwitchClose);
            m_button->setEnabled(true);
            m_state = Stopped;
            break;
        case Stopping:
            m_button->setToolTip(Tr("K4522_BtnStopServer") + QStringLiteral("..."));
            m_button->setEnabled(false);
            m_state = Stopping;
            break;
        default:
            m_state = state;
            break;
    }
}

PageServerList::PageServerList(int index, VantelServer* owner) : VantelServerPages(index, owner) {
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &PageServerList::CheckStatus);
    m_timer->start(5000);
    connect(owner->GetForm().btnFresh, &QPushButton::pressed, this, &PageServerList::CheckStatus);
    connect(&m_watch, &QFutureWatcher<QVector<ProcessWatch::HostState>>::finished, this,
            &PageServerList::ApplyScan);
    m_mem[RowEvent] = ShareMemoryCreate(
        ConsoleShell::StopChannelName(INFRA::Customization::GetEventServerLnkName()).constData(), 1);
    m_mem[RowRecorder] = ShareMemoryCreate(
        ConsoleShell::StopChannelName(INFRA::Customization::GetRecorderServerLnkName()).constData(), 1);
    InitTable();
}

PageServerList::~PageServerList() {
    m_timer->stop();
    // A scan in flight only reads /proc and two files; its result is not wanted any more.
    m_watch.disconnect(this);
    m_watch.waitForFinished();
    ShareMemoryDelete(m_mem[RowEvent]);
    ShareMemoryDelete(m_mem[RowRecorder]);
}

QString PageServerList::ServerName(int row) const {
    return row == RowEvent ? INFRA::Customization::GetEventServerName()
                           : INFRA::Customization::GetRecorderServerName();
}

void PageServerList::InitTable() {
    QTableView* view = m_owner->GetForm().tableView_ServerList;
    m_model = new QStandardItemModel(0, 4, this);
    view->setModel(m_model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_model->setHorizontalHeaderLabels(
        {Tr("K4521_LbServer"), Tr("K6208_Status"), Tr("K4512_LbPort"), Tr("K0474_Operattion")});
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->verticalHeader()->hide();
    view->setFocusPolicy(Qt::NoFocus);
    view->setAlternatingRowColors(true);
    view->setColumnWidth(0, 140);
    view->setColumnWidth(1, 150);
    view->setColumnWidth(2, 60);
    view->setColumnWidth(3, 120);
    view->horizontalHeader()->setStretchLastSection(false);
    view->setShowGrid(false);

    m_model->setRowCount(2);
    const QString links[2] = {INFRA::Customization::GetEventServerLnkName(),
                              INFRA::Customization::GetRecorderServerLnkName()};
    const char* defaults[2] = {"8432", "8431"};
    for (int row = 0; row < 2; ++row) {
        m_model->setItem(row, 0, new QStandardItem(links[row]));
        auto* status = new StatusWidget;
        view->setIndexWidget(m_model->index(row, 1), status);
        status->SetState(false);
        m_model->setItem(row, 2, new QStandardItem(QString::fromLatin1(defaults[row])));
        auto* ope = new OpeWidget(row);
        view->setIndexWidget(m_model->index(row, 3), ope);
        ope->SetState(OpeWidget::Stopped);
        connect(ope, &OpeWidget::clicked, this, &PageServerList::OnOpeClicked);
    }
    // The real states and ports come from the first check, on the worker.
    CheckStatus();
}

StatusWidget* PageServerList::Status(int row) const {
    return qobject_cast<StatusWidget*>(
        m_owner->GetForm().tableView_ServerList->indexWidget(m_model->index(row, 1)));
}

OpeWidget* PageServerList::Ope(int row) const {
    return qobject_cast<OpeWidget*>(
        m_owner->GetForm().tableView_ServerList->indexWidget(m_model->index(row, 3)));
}

void PageServerList::CheckStatus() {
    m_checking = true;
    if (m_watch.isRunning()) {
        m_checkAgain = true;
        return;
    }
    const QString dir = ConsoleUtility::Instance()->GetAppDir();
    const QStringList names{ServerName(RowEvent), ServerName(RowRecorder)};
    const QStringList inis{dir + QStringLiteral("PavoServer.ini"), dir + QStringLiteral("kestoconfig.ini")};
    const QStringList defaults{QStringLiteral("8432"), QStringLiteral("8431")};
    const QString procRoot = m_procRoot;
    // A pool job under the page's watcher, one at a time: the job holds copies only, so a page
    // gone while it runs is safe (its watcher drops the result without waiting).
    m_watch.setFuture(QtConcurrent::run([=] { return ProcessWatch::Scan(names, inis, defaults, procRoot); }));
}

void PageServerList::ApplyScan() {
    const QVector<ProcessWatch::HostState> states = m_watch.result();
    for (int row = 0; row < 2 && row < states.size(); ++row) {
        if (QStandardItem* item = m_model->item(row, 2)) item->setText(QString::number(states[row].port));
        if (StatusWidget* s = Status(row)) s->SetState(states[row].running);
        if (OpeWidget* o = Ope(row))
            o->SetState(states[row].running ? OpeWidget::Running : OpeWidget::Stopped);
    }
    if (m_checkAgain) {
        m_checkAgain = false;
        CheckStatus();
    } else {
        m_checking = false;
    }
}

void PageServerList::OnOpeClicked(int row, int state) {
    if (row != RowEvent && row != RowRecorder) return;
    if (state != OpeWidget::Stopped) {
        // Stopping ends that host's work (the recording, the events served): the operator says so.
        if (!ConfirmStop(row)) return;
        // A host that ended while the question was open gets no stop: it would lie unread.
        if (OpeWidget* o = Ope(row); o && o->State() == OpeWidget::Stopped) return;
        SendStop(row);
    } else {
        StartServerProcess(row);
    }
    CheckStatus();
}

bool PageServerList::ConfirmStop(int row) {
    const char* key = row == RowRecorder ? "K4596_StopRecorderQuestion" : "K4597_StopEventQuestion";
    const int answer =
        INFRA::MessageBox::Warning(this, Tr("K4595_StopHostTitle"), Tr(key).arg(ServerName(row)),
                                   INFRA::MessageBox::Yes | INFRA::MessageBox::No);
    return answer == INFRA::MessageBox::Yes;
}

bool PageServerList::StartServerProcess(int row) {
    const QString name = ServerName(row);
    if (m_mem[row]) {
        char zeros[SHAREMEM_DEFAULT_SIZE];
        std::memset(zeros, 0, sizeof zeros);
        ShareMemoryWrite(m_mem[row], SHAREMEM_DEFAULT_SIZE, 1, zeros, sizeof zeros);
    }
    const QString dir = ConsoleUtility::Instance()->GetAppDir();
    const bool started = QProcess::startDetached(dir + name, {}, dir);
    if (!started)
        VantelDBG_Printf_f(0x7fff, 1, "PageServerList::StartServerProcess", "cannot start %s",
                           (dir + name).toUtf8().constData());
    return started;
}

bool PageServerList::SendStop(int row) {
    const bool written = m_mem[row] && ConsoleShell::WriteStopCommand(m_mem[row]) == 0;
    if (!written) {
        VantelDBG_Printf_f(0x7fff, 1, "PageServerList::SendStop", "cannot write the stop of %s",
                           ServerName(row).toUtf8().constData());
        return false;
    }
    if (OpeWidget* o = Ope(row)) o->SetState(OpeWidget::Stopping);
    return true;
}

void PageServerList::Retranslate() {
    m_model->setHorizontalHeaderLabels(
        {Tr("K4521_LbServer"), Tr("K6208_Status"), Tr("K4512_LbPort"), Tr("K0474_Operattion")});
    for (int row = 0; row < 2; ++row)
        if (StatusWidget* s = Status(row)) s->SetState(s->IsRunning());
    CheckStatus();
}
