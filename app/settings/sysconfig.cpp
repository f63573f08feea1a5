#include "sysconfig.h"

#include <QHideEvent>

#include "LumoCClient/LumoCClient.h"
#include "VantelInfraAPI/notifier.h"
#include "alarmconfig.h"
#include "emailconfig.h"
#include "generalpages.h"
#include "mediapages.h"
#include "ui_sysconfig.h"

namespace {
const char* const kRowKeys[] = {"K2002_Base",         "K2050_FileSave",   "K6861_PlaybackConfig",
                                "K6860_VideoSetting", "K2200_AlarmSound", "K2250_ToolBar",
                                "K2300_E-MAIL"};

std::vector<int> AllRows() {
    return {0, 1, 2, 3, 4, 5, 6};
}
}  // namespace

SysConfig::SysConfig(QWidget* parent) : SysConfig(parent, AllRows()) {}

SysConfig::SysConfig(QWidget* parent, const std::vector<int>& rows) : QWidget(parent) {
    setObjectName(QStringLiteral("SysConfig"));
    m_ui = new Ui::SysConfig;
    m_ui->setupUi(this);
    InitPages(rows);
    m_callback = new ILumoCallback(this, &SysConfig::OnConfigChanged);
    LumoCConfiguration::GetLumoCConfig()->Attach(m_callback, &ILumoCallback::OnSignal);
}

SysConfig::~SysConfig() {
    LumoCConfiguration::GetLumoCConfig()->Detach(m_callback, &ILumoCallback::OnSignal);
    delete m_callback;
    for (auto& entry : m_pages) {
        UnregisterPage(entry.second);
        delete entry.second;
    }
    m_pages.clear();
    delete m_ui;
}

QWidget* SysConfig::PageWidget(int row) const {
    QWidget* widgets[] = {m_ui->CommonOption, m_ui->FileSaveOption, m_ui->PreviewOption, m_ui->VideoOption,
                          m_ui->AlarmOption,  m_ui->ToolbarOption,  m_ui->EmailOption};
    return row >= 0 && row < RowCount ? widgets[row] : nullptr;
}

SysConfigPage* SysConfig::GetPage(int row) const {
    auto it = m_pages.find(row);
    return it != m_pages.end() ? it->second : nullptr;
}

void SysConfig::InitPages(const std::vector<int>& rows) {
    m_ui->listWidget->setDragEnabled(false);
    for (int row : rows) {
        SysConfigPage* page = nullptr;
        switch (row) {
            case RowCommon:
                page = new CommonConfig(SysConfigPage::CodeCommon, this);
                break;
            case RowFile:
                page = new FileConfig(SysConfigPage::CodeFile, this);
                break;
            case RowPlayback:
                page = new PlaybackConfig(SysConfigPage::CodePlayback, this);
                break;
            case RowVideo:
                page = new VideoConfig(SysConfigPage::CodeVideo, this);
                break;
            case RowAlarm:
                page = new AlarmConfig(SysConfigPage::CodeAlarm, this);
                break;
            case RowToolbar:
                page = new ToolbarConfig(SysConfigPage::CodeToolbar, this);
                break;
            case RowEmail:
                page = new EmailConfig(SysConfigPage::CodeEmail, this);
                break;
            default:
                break;
        }
        if (page) m_pages[row] = page;
    }
    m_ui->listWidget->setRowHidden(RowToolbar, true);
    for (int row = 0; row < RowCount && row < m_ui->listWidget->count(); ++row)
        m_ui->listWidget->item(row)->setToolTip(QObject::tr(kRowKeys[row]));
    m_ui->lHardDecode->hide();
    m_ui->harddecoder->hide();
    connect(m_ui->listWidget, &QListWidget::currentRowChanged, this, &SysConfig::OnSwitchPage);
    connect(m_ui->btnSave, &QPushButton::clicked, this, &SysConfig::OnSave);
    connect(m_ui->btnDefault, &QPushButton::clicked, this, &SysConfig::OnRestore);
    m_currentRow = m_pages.empty() ? 0 : m_pages.begin()->first;
    m_ui->listWidget->setCurrentRow(m_currentRow);
    m_ui->btnDefault->setFocusPolicy(Qt::NoFocus);
    m_ui->btnSave->setFocusPolicy(Qt::NoFocus);
    // Show the first page even when selecting its row did not change the list's current row.
    OnSwitchPage(m_currentRow);
}

void SysConfig::OnSwitchPage(int row) {
    // Rows outside the dialog's pages (-1 when the list has no current row, a notice's row
    // beyond the list) are ignored.
    SysConfigPage* page = GetPage(row);
    if (!page) return;
    if (row != m_currentRow) {
        if (SysConfigPage* old = GetPage(m_currentRow)) old->CheckUnsaved(false);
    }
    m_currentRow = row;
    page->ShowPage();
    m_ui->stackWidgetSysConfig->setCurrentWidget(PageWidget(row));
}

void SysConfig::OnSave() {
    SysConfigPage* page = GetPage(m_currentRow);
    const int result = page ? page->Save() : -1;
    emit sigSave();
    auto* notifier = INFRA::NotifierManager::instance();
    if (result == 0)
        notifier->notify(QObject::tr("K2354_Success"), QObject::tr("K2355_SaveSuccessfully"), 0,
                         QStringLiteral("#"));
    else if (result == -1)
        notifier->notify(QObject::tr("K2356_Fail"), QObject::tr("K2357_SaveFailed"), 1, QStringLiteral("#"));
}

void SysConfig::OnRestore() {
    if (SysConfigPage* page = GetPage(m_currentRow)) page->RestoreDefaults();
}

int SysConfig::OnConfigChanged(CLumoObject* owner, int code, void*, void*, void*) {
    auto* dialog = dynamic_cast<SysConfig*>(owner);
    if (!dialog) return 0;
    if (code & LumoCConfiguration::NOTICE_RELOAD)
        for (auto& entry : dialog->m_pages) entry.second->Reload();
    if (code & LumoCConfiguration::NOTICE_SELECT_PAGE) {
        const int row = code & 0xff;
        // The list ignores rows it does not have; a hidden row (the toolbar page) is selected
        // all the same.
        if (dialog->GetPage(row)) {
            if (row < dialog->m_ui->listWidget->count()) dialog->m_ui->listWidget->setCurrentRow(row);
            if (dialog->m_currentRow != row) dialog->OnSwitchPage(row);
        }
    }
    return 0;
}

void SysConfig::LeaveCurrentPage() {
    SysConfigPage* page = GetPage(m_currentRow);
    if (!page) return;
    page->CheckUnsaved(true);
    page->ShowPage();
}

void SysConfig::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A spontaneous hide is the window system's (minimising): the edits wait for the operator.
    if (!event->spontaneous()) LeaveCurrentPage();
}

void SysConfig::SelectPageByCode(int code) {
    for (auto& entry : m_pages)
        if (entry.second->GetPageCode() == code) {
            OnSwitchPage(entry.first);
            return;
        }
}

void SysConfig::SetPreviewMargins() {
    m_ui->formLayoutPreview->setContentsMargins(18, 26, 18, 0);
}

void SysConfig::ShowPageList() {
    m_ui->listWidget->show();
}

void SysConfig::HidePageList() {
    m_ui->listWidget->hide();
}

// ---------------------------------------------------------------------------------------------

PreviewPageConfigure::PreviewPageConfigure(QWidget* parent) : SysConfig(parent, {RowPlayback}) {
    // Only the playback page is built; the other page widgets go.
    Ui::SysConfig* u = GetUi();
    for (QWidget* w : {u->CommonOption, u->FileSaveOption, u->VideoOption, u->EmailOption, u->ToolbarOption,
                       u->AlarmOption}) {
        u->stackWidgetSysConfig->removeWidget(w);
        delete w;
    }
    HidePageList();
}
