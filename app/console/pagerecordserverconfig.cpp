// The record-server page: device binding and the page's frame around the storage pages, which
// it shares with the recording console's window. Every request goes to the bound recorder; a
// failed read is told in a box that stays without holding the page.
#include "pagerecordserverconfig.h"

#include <QEvent>
#include <QListWidget>
#include <QTableView>
#include <QTimer>

#include "LumoCClient/LumoCClient.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/busyloading.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/testseams.h"

namespace {

const int kDeviceObject = 257;

}  // namespace

PageRecordServerConfig::PageRecordServerConfig(QWidget* parent)
    : INFRA::FrameLessDialog(parent, Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      ui(new Ui::PageRecordServerConfig) {
    ui->setupUi(GetMainWidget());
    setObjectName(QStringLiteral("RecordServerConfig"));
    setMinimumSize(1024, 600);
    SetResizable(true);
    ui->m_listWidget->setFixedWidth(180);
    ui->m_listWidget->setIconSize(QSize(30, 30));
    for (QPushButton* b :
         {static_cast<QPushButton*>(ui->m_button_format), static_cast<QPushButton*>(ui->m_button_refresh)})
        b->setProperty("uitype", QStringLiteral("LiteButton"));
    ui->m_lbl_stream_status->clear();

    m_timer = new QTimer(this);
    connect(m_timer, SIGNAL(timeout()), this, SLOT(OnTimer()));
    m_timer->start(1000);
    m_storage = MakeStorage();
    connect(m_storage, &StoragePages::DownloadRequested, this, &PageRecordServerConfig::OnDownload);
}

PageRecordServerConfig::~PageRecordServerConfig() {
    // Workers under a busy indicator call into this page: they end before any of it goes.
    INFRA::BusyLoading::WaitForWorkers(this);
    // The workers and the read in flight end (their answers are dropped) before the tables go.
    delete m_storage;
    m_storage = nullptr;
    if (m_device) m_device->Release();
}

StoragePages* PageRecordServerConfig::MakeStorage() {
    StoragePages::Host host;
    host.target = [this](QByteArray* url) {
        *url = RequestUrl();
        return !url->isEmpty();
    };
    host.active = []() { return true; };
    host.tellReadFailure = [this](const QString& text) {
        // A box that stays until it is closed, without holding the page: the reads run by themselves.
        const QString title = QObject::tr("K3737_RecordServer");
        INFRA::TestSeams::RecordUiEvent({QStringLiteral("messagebox"), title, text});
        auto* box = new INFRA::MessageBox(this, title, text, INFRA::MessageBox::Ok, true);
        box->setModal(false);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->QDialog::show();
    };
    host.search = &PageRecordServerConfig::SearchRecordFiles;
    host.downloads = true;
    return new StoragePages(StoragePages::WidgetsOf(this, *ui), host, this);
}

// ---- device -----------------------------------------------------------------------------------

int PageRecordServerConfig::SetDevice(IVantelData* device) {
    if (!device) return -1;
    if (device->GetObjectID() != kDeviceObject) return -4;
    device->AddRef();
    if (m_device) m_device->Release();
    m_device = device;
    InitTitle();
    return 0;
}

void PageRecordServerConfig::InitTitle() {
    if (m_device)
        SetTitle(QObject::tr("K3737_RecordServer") + QStringLiteral(" : ") +
                 QString::fromUtf8(static_cast<IVantelDataDEV*>(m_device)->GetAddress()));
}

qint64 PageRecordServerConfig::GetDeviceId() const {
    return m_device ? m_device->GetID() : -1;
}

int PageRecordServerConfig::GetDeviceUrl(CLumoString* url) const {
    if (!m_device || !url) return -1;
    return LumoCRECGetDeviceURL(nullptr, m_device->GetID(), url);
}

QByteArray PageRecordServerConfig::RequestUrl() {
    CLumoString url;
    if (GetDeviceUrl(&url) == 0 && *url.GetBuffer()) {
        m_noDeviceTold = false;
        return QByteArray(url.GetBuffer());
    }
    // Without a recorder every request would go to no one: said once.
    if (!m_noDeviceTold) {
        m_noDeviceTold = true;
        INFRA::MessageBox::Warning(this, QObject::tr("K3737_RecordServer"), QObject::tr("K7952_NoRecorder"));
    }
    return QByteArray();
}

// ---- set-up ------------------------------------------------------------------------------------

void PageRecordServerConfig::Init() {
    InitTitle();
    m_storage->Init();
}

void PageRecordServerConfig::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange && GetDiskModel()) {
        InitTitle();
        m_storage->Retranslate();
    }
    INFRA::FrameLessDialog::changeEvent(e);
}

void PageRecordServerConfig::OnTimer() {}

// ---- the slots of the storage pages ------------------------------------------------------------

void PageRecordServerConfig::OnGetBlockInfoReturn(int result) {
    m_storage->OnGetBlockInfoReturn(result);
}
void PageRecordServerConfig::OnSearchReturn(int result) {
    m_storage->OnSearchReturn(result);
}
void PageRecordServerConfig::OnDiskFormat() {
    m_storage->OnDiskFormat();
}
void PageRecordServerConfig::OnDiskRefresh() {
    m_storage->RefreshDiskList();
}
void PageRecordServerConfig::OnRecordFileSearch() {
    m_storage->OnRecordFileSearch();
}
void PageRecordServerConfig::OnChnRefresh() {
    m_storage->RefreshChannelList();
}
void PageRecordServerConfig::OnChnExport() {}
void PageRecordServerConfig::OnDiskStatusRefresh() {
    m_storage->RefreshDiskList();
}
void PageRecordServerConfig::OnDiskStatusExport() {}
void PageRecordServerConfig::OnBlockRefresh() {
    m_storage->OnBlockRefresh();
}
void PageRecordServerConfig::OnBlockExport() {}
void PageRecordServerConfig::OnPlayback(int row) {
    m_storage->OnPlayback(row);
}

void PageRecordServerConfig::OnActionTriggered(QAbstractItemView* view, const QModelIndex& index,
                                               int action) {
    m_storage->OnActionTriggered(view, index, action);
}

void PageRecordServerConfig::OnItemCheckStateChange(QAbstractItemView* view, const QModelIndex& index) {
    m_storage->OnItemCheckStateChange(view, index);
}

// The header check boxes of the six tables, in the form's order.
void PageRecordServerConfig::OnDiskHeaderCheckChange(bool on) {
    m_storage->SetAllChecked(ui->m_table_vmr_disk, on);
}
void PageRecordServerConfig::OnChnHeaderCheckChange(bool on) {
    m_storage->SetAllChecked(ui->m_table_channel, on);
}
void PageRecordServerConfig::OnStreamHeaderCheckChange(bool on) {
    m_storage->SetAllChecked(ui->m_table_stream, on);
}
void PageRecordServerConfig::OnDiskStatusHeaderCheckChange(bool on) {
    m_storage->SetAllChecked(ui->m_table_disk_status, on);
}
void PageRecordServerConfig::OnBlockHeaderCheckChange(bool on) {
    m_storage->SetAllChecked(ui->m_table_block_status, on);
}
void PageRecordServerConfig::OnFileHeaderCheckChange(bool on) {
    m_storage->SetAllChecked(ui->m_table_record_files, on);
}
