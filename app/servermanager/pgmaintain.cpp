#include "pgmaintain.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QHeaderView>
#include <QStandardItemModel>

#include "VantelInfraAPI/messagebox.h"
#include "consoleutility.h"
#include "engineholder.h"
#include "excelexporter.h"
#include "vantelserver.h"

namespace {
void SetUpView(QTableView* view, QStandardItemModel* model, int w0, int w1) {
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->setFocusPolicy(Qt::NoFocus);
    view->setAlternatingRowColors(true);
    view->setColumnWidth(0, w0);
    view->setColumnWidth(1, w1);
    view->horizontalHeader()->setStretchLastSection(true);
}
}  // namespace

PgMaintain::PgMaintain(int index, VantelServer* owner) : VantelServerPages(index, owner) {
    Ui::VantelServer& ui = owner->GetForm();
    connect(owner, &VantelServer::SignalServerUser, this, &PgMaintain::OnShowOnlineClients);
    connect(owner, &VantelServer::SignalClientChanged, this, &PgMaintain::OnClientChanged);
    connect(ui.BtnExportClient, SIGNAL(clicked()), this, SLOT(OnBtnExportClientClicked()));
    connect(ui.BtnExportResource, SIGNAL(clicked()), this, SLOT(OnBtnExportResourceClicked()));
    Init();
}

void PgMaintain::Init() {
    Ui::VantelServer& ui = m_owner->GetForm();
    // The tables are built whatever the engine's state, so that an engine started later (or an
    // event arriving after a stop) always finds them.
    if (!m_clientModel) BuildClientTable();
    if (!m_resourceModel) BuildResourceTable();
    const bool running = EngineHolder::IsRunning();
    ui.BtnExportClient->setEnabled(running);
    ui.BtnExportResource->setEnabled(running);
}

void PgMaintain::BuildClientTable() {
    m_clientModel = new QStandardItemModel(0, 3, this);
    SetClientHeaders();
    SetUpView(m_owner->GetForm().TbvClient, m_clientModel, 140, 180);
    m_owner->GetForm().TbvClient->verticalHeader()->hide();
}

void PgMaintain::BuildResourceTable() {
    m_resourceModel = new QStandardItemModel(0, 3, this);
    SetResourceHeaders();
    m_resources.clear();
    for (int n = 10; n < 60; ++n)
        m_resources.push_back({"Equipment Resource NO.0000" + std::to_string(n), n, n + 200});
    m_resourceModel->setRowCount(static_cast<int>(m_resources.size()));
    int row = 0;
    for (const Resource& r : m_resources) {
        m_resourceModel->setItem(row, 0, new QStandardItem(QString::fromStdString(r.name)));
        m_resourceModel->setItem(row, 1, new QStandardItem(QString::number(r.used)));
        m_resourceModel->setItem(row, 2, new QStandardItem(QString::number(r.total)));
        ++row;
    }
    SetUpView(m_owner->GetForm().TbvResource, m_resourceModel, 270, 110);
}

void PgMaintain::SetClientHeaders() {
    m_clientModel->setHorizontalHeaderLabels(
        {QCoreApplication::translate("VantelServer", "K4552_HvIP"),
         QCoreApplication::translate("VantelServer", "K4553_HvAccount"),
         QCoreApplication::translate("VantelServer", "K4554_HvLogTime")});
}

void PgMaintain::SetResourceHeaders() {
    m_resourceModel->setHorizontalHeaderLabels(
        {QCoreApplication::translate("VantelServer", "K4561_HvResource"),
         QCoreApplication::translate("VantelServer", "K4562_HvUsed"),
         QCoreApplication::translate("VantelServer", "K4563_HvTotalResource")});
}

void PgMaintain::OnShowOnlineClients() {
    void* handle = EngineHolder::Handle();
    // An event queued before a stop finds no engine: nobody is logged in then.
    if (!EngineHolder::IsRunning() || !handle || LumoSOnlineClients(handle, m_clients) != LUMO_OK)
        m_clients.clear();
    OnUserChanged();
    m_owner->GetForm().BtnExportClient->setEnabled(EngineHolder::IsRunning());
}

void PgMaintain::OnUserChanged() {
    m_clientModel->setRowCount(0);
    for (const LumoSDTOClient& c : m_clients)
        m_clientModel->appendRow(MakeClientRow(c.id, QString::fromStdString(c.ip),
                                               QString::fromUtf8(c.account.c_str()),
                                               QString::fromStdString(c.loginTime)));
}

QList<QStandardItem*> PgMaintain::MakeClientRow(quint64 id, const QString& ip, const QString& account,
                                                const QString& loginTime) {
    auto* first = new QStandardItem(ip);
    first->setData(QVariant::fromValue(id), Qt::UserRole);
    QString when = QStringLiteral("---");
    if (!loginTime.isEmpty()) {
        CLumoTime t;
        CLumoString text;
        const QByteArray iso = loginTime.toUtf8();
        if (t.ParseISO8601(iso.constData())) {
            t.ToString(text, true);
            when = QString::fromUtf8(text.GetBuffer());
        } else {
            when = loginTime;
        }
    }
    return {first, new QStandardItem(account), new QStandardItem(when)};
}

int PgMaintain::LowerRow(quint64 id) const {
    int lo = 0, hi = m_clientModel->rowCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (m_clientModel->item(mid, 0)->data(Qt::UserRole).value<quint64>() < id)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void PgMaintain::OnClientChanged(bool loggedIn, quint64 id, const QString& ip, const QString& account,
                                 const QString& loginTime) {
    // An event queued before a stop belongs to an engine that is gone.
    if (!EngineHolder::IsRunning()) return;
    const int row = LowerRow(id);
    const bool present =
        row < m_clientModel->rowCount() && m_clientModel->item(row, 0)->data(Qt::UserRole).value<quint64>() == id;
    if (loggedIn && !present) {
        m_clientModel->insertRow(row, MakeClientRow(id, ip, account, loginTime));
    } else if (!loggedIn && present) {
        m_clientModel->removeRow(row);
    }
}

void PgMaintain::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) {
        if (m_clientModel) SetClientHeaders();
        if (m_resourceModel) SetResourceHeaders();
    }
    VantelServerPages::changeEvent(e);
}

void PgMaintain::OnBtnExportClientClicked() {
    const QString path = ConsoleUtility::Instance()->GetSaveFileName(
        QStringLiteral("*.xlsx"), QCoreApplication::translate("VantelServer", "K4551_TbClient"));
    if (path.isEmpty()) return;
    ExportTo(path, m_clientModel);
}

void PgMaintain::OnBtnExportResourceClicked() {
    const QString path = ConsoleUtility::Instance()->GetSaveFileName(
        QStringLiteral("*.xlsx"), QCoreApplication::translate("VantelServer", "K4560_TbResource"));
    if (path.isEmpty()) return;
    ExportTo(path, m_resourceModel);
}

int PgMaintain::ExportTo(const QString& path, QStandardItemModel* model) {
    QByteArray local;
    if (!ExportPath(path, &local)) return LUMO_ERR_PARAM;
    QString error;
    const int r = ExcelExporter::Instance()->Export(path, model, &error);
    if (r != LUMO_OK) qWarning().noquote() << "export to" << path << "failed:" << error;
    return ReportExport(r, path);
}
