// The window's storage pages: disks, channels and their streams, disk states and storage blocks,
// record search and playback, built by InitTables when the window is made (whether or not the
// engine started) and filled while the engine runs. StoragePages does the work, as for the
// record-server page; the window names the engine in this process, tells a failed read in a
// tray balloon and opens dialogs over its middle. The engine's settings problems are read here.
#include <QScreen>
#include <QWindow>

#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/testseams.h"
#include "backgroundreader.h"
#include "engineaccess.h"
#include "kestorecordserver.h"
#include "storagejobs.h"

StoragePages* KestoRecordServer::MakeStorage() {
    StoragePages::Host host;
    host.target = [](QByteArray* url) {
        url->clear();  // the engine in this process
        return true;
    };
    // A stopped engine has no storage to tell of: the tables stay empty until it runs.
    host.active = [this]() { return !IsExiting() && m_engineStarted; };
    host.tellReadFailure = [this](const QString& text) {
        ShowBalloon(QObject::tr("K3745_Error"), text, QSystemTrayIcon::Critical, 20000);
    };
    host.placeDialog = [this](QWidget* dialog) { CentreDialog(dialog); };
    host.search = &KestoRecordServer::SearchRecordFiles;
    return new StoragePages(StoragePages::WidgetsOf(this, ui), host, this);
}

void KestoRecordServer::InitTables() {
    Retranslate();
    m_storage->Init();
}

void KestoRecordServer::CentreDialog(QWidget* dialog) const {
    if (!dialog->testAttribute(Qt::WA_Resized)) dialog->adjustSize();
    QRect area = isVisible() ? frameGeometry() : QRect();
    if (area.isEmpty() && windowHandle() && windowHandle()->screen())
        area = windowHandle()->screen()->availableGeometry();
    if (area.isEmpty()) return;
    dialog->move(area.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
}

// ---- settings problems -------------------------------------------------------------------------

void KestoRecordServer::StartProblemsQuery() {
    m_problemsQueryRunning = true;
    auto job = std::make_shared<KestoProblemsQuery>();
    m_storage->Reader()->Post([job]() { job->lines = EngineAccess::ConfigProblems(); },
                              [this, job]() { OnProblemsQueryReturn(*job); });
}

void KestoRecordServer::OnProblemsQueryReturn(KestoProblemsQuery& job) {
    m_problemsQueryRunning = false;
    if (job.lines.isEmpty() || IsExiting()) return;
    for (const QString& line : qAsConst(job.lines))
        VantelDBG_Printf_f(0x7fff, 2, "KestoRecordServer", "settings problem: %s", line.toUtf8().constData());
    // A box that stays until the operator closes it, without holding the console: the lines are
    // long (file, line, what the engine did) and a passing notice would cut them.
    const QString title = QObject::tr("K7931_ConfigProblemsTitle");
    const QString text =
        QObject::tr("K7932_ConfigProblems") + QStringLiteral("\n\n") + job.lines.join(QLatin1Char('\n'));
    INFRA::TestSeams::RecordUiEvent({QStringLiteral("notice"), title, text});
    auto* box = new INFRA::MessageBox(this, title, text, INFRA::MessageBox::Ok, true);
    box->setModal(false);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setMinimumWidth(640);
    CentreDialog(box);
    box->QDialog::show();
    box->raise();
}

// ---- the slots of the storage pages ------------------------------------------------------------

void KestoRecordServer::OnDiskFormat() {
    m_storage->OnDiskFormat();
}
void KestoRecordServer::OnDiskRefresh() {
    m_storage->RefreshDiskList();
}
void KestoRecordServer::OnDiskStatusRefresh() {
    m_storage->RefreshDiskList();
}
void KestoRecordServer::OnChnRefresh() {
    m_storage->RefreshChannelList();
}
void KestoRecordServer::OnBlockRefresh() {
    m_storage->OnBlockRefresh();
}
void KestoRecordServer::OnRecordFileSearch() {
    m_storage->OnRecordFileSearch();
}
void KestoRecordServer::OnPlayback(int row) {
    m_storage->OnPlayback(row);
}
void KestoRecordServer::OnGetBlockInfoReturn(int result) {
    m_storage->OnGetBlockInfoReturn(result);
}
void KestoRecordServer::OnFormatReturn(int result) {
    m_storage->OnFormatReturn(result);
}
void KestoRecordServer::OnSearchReturn(int result) {
    m_storage->OnSearchReturn(result);
}
void KestoRecordServer::OnChnExport() {}
void KestoRecordServer::OnDiskStatusExport() {}
void KestoRecordServer::OnBlockExport() {}

void KestoRecordServer::OnActionTriggered(QAbstractItemView* view, const QModelIndex& index, int action) {
    m_storage->OnActionTriggered(view, index, action);
}

void KestoRecordServer::OnItemCheckStateChange(QAbstractItemView* view, const QModelIndex& index) {
    m_storage->OnItemCheckStateChange(view, index);
}

void KestoRecordServer::OnDiskHeaderCheckChange(bool checked) {
    m_storage->SetAllChecked(ui.m_table_vmr_disk, checked);
}
void KestoRecordServer::OnChnHeaderCheckChange(bool checked) {
    m_storage->SetAllChecked(ui.m_table_channel, checked);
}
void KestoRecordServer::OnStreamHeaderCheckChange(bool checked) {
    m_storage->SetAllChecked(ui.m_table_stream, checked);
}
void KestoRecordServer::OnDiskStatusHeaderCheckChange(bool checked) {
    m_storage->SetAllChecked(ui.m_table_disk_status, checked);
}
void KestoRecordServer::OnBlockHeaderCheckChange(bool checked) {
    m_storage->SetAllChecked(ui.m_table_block_status, checked);
}
void KestoRecordServer::OnFileHeaderCheckChange(bool checked) {
    m_storage->SetAllChecked(ui.m_table_record_files, checked);
}
