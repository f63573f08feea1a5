#include "generalpages.h"

#include <QCheckBox>
#include <QListView>
#include <QStyle>

#include "VantelInfraAPI/vantelutility.h"
#include "sysconfig.h"
#include "ui_sysconfig.h"

// ---------------------------------------------------------------------------------------------
// General page

CommonConfig::CommonConfig(int code, SysConfig* owner) : SysConfigPage(code, owner) {
    m_option = LumoCConfiguration::GetLumoCConfig()->GetCommonOption();
    ui()->keeplogtime->hide();
    ui()->lLogExistTime->hide();
    ui()->restorelast->setChecked(false);
    ui()->cbxpreview->setEnabled(false);
    m_storedFullScreen = Live()->autoFullScreen;
    connect(ui()->openfullscreen, &QCheckBox::clicked, this, &CommonConfig::OnFullscreenPreview);
}

void CommonConfig::OnFullscreenPreview() {
    if (m_option) Live()->autoFullScreen = ui()->openfullscreen->isChecked();
}

void CommonConfig::Reload() {
    // The record was read again from the file: what it holds now is what is stored.
    m_storedFullScreen = Live()->autoFullScreen;
    SysConfigPage::Reload();
}

bool CommonConfig::CheckUnsaved(bool warn) {
    const bool unsaved = SysConfigPage::CheckUnsaved(warn);
    if (warn && m_option) Live()->autoFullScreen = m_storedFullScreen;
    return unsaved;
}

void CommonConfig::LoadOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::CommonOption*>(option ? option : m_option);
    m_loaded = *o;
    ui()->keeplogtime->setCurrentIndex(o->logKeepTime >= 1 && o->logKeepTime <= 7 ? o->logKeepTime - 1 : -1);
    ui()->restorelast->setChecked(o->startWithLast);
    ui()->runstartup->setChecked(o->autoRun);
    ui()->openfullscreen->setChecked(o->autoFullScreen);
    ui()->cbxpreview->clear();
    ui()->cbxpreview->addItem(QObject::tr("K0032_MainView"), QVariant(1u));
    ui()->cbxpreview->setCurrentIndex(0);
    // The system's own autostart state wins over the live record (defaults show the default).
    if (o == m_option) ui()->runstartup->setChecked(VantelUtility::AutoRunWithSystem());
    RememberShown({ui()->keeplogtime});
}

void CommonConfig::StoreOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::CommonOption*>(option ? option : m_option);
    const int index = ui()->keeplogtime->currentIndex();
    o->logKeepTime =
        Untouched(ui()->keeplogtime) ? m_loaded.logKeepTime : (index >= 0 && index <= 5 ? index + 1 : 7);
    o->startWithLast = ui()->restorelast->isChecked();
    o->autoRun = ui()->runstartup->isChecked();
    o->autoFullScreen = ui()->openfullscreen->isChecked();
}

int CommonConfig::Save() {
    StoreOption(nullptr);
    int result = m_option->Write();
    if (result == 0) m_storedFullScreen = Live()->autoFullScreen;
    // The system's autostart follows the record only once the record is stored.
    const bool autoRun = static_cast<LumoC::CommonOption*>(m_option)->autoRun;
    if (result == 0 && VantelUtility::AutoRunWithSystem() != autoRun &&
        !VantelUtility::AutoRunWithSystem(autoRun))
        result = -1;
    SyncSiblings();
    Commit();
    return result;
}

std::unique_ptr<LumoC::OptionBase> CommonConfig::NewDefault() const {
    return std::make_unique<LumoC::CommonOption>();
}

bool CommonConfig::SameAsLive(const LumoC::OptionBase& shown) const {
    const auto& a = static_cast<const LumoC::CommonOption&>(shown);
    const auto* b = Live();
    // The autostart box shows the system's state: an unsaved change of it is an unsaved edit too.
    // The full-screen box changes the live record at once: it is compared with what is stored.
    return a.logKeepTime == b->logKeepTime && a.startWithLast == b->startWithLast &&
           a.autoFullScreen == m_storedFullScreen && a.autoRun == VantelUtility::AutoRunWithSystem();
}

// ---------------------------------------------------------------------------------------------
// File page

FileConfig::FileConfig(int code, SysConfig* owner) : SysConfigPage(code, owner) {
    m_option = LumoCConfiguration::GetLumoCConfig()->GetFileOption();
    ui()->videoreg->setView(new QListView(ui()->videoreg));
    ui()->imgreg->setView(new QListView(ui()->imgreg));
    for (QPushButton* b : {ui()->videopathPb, ui()->imgpathPb})
        b->setIcon(b->style()->standardIcon(QStyle::SP_DirOpenIcon));
    connect(ui()->imgpath, &ClickLineEdit::clicked, this, &FileConfig::OnImgPathPbClicked);
    connect(ui()->imgpathPb, &QPushButton::clicked, this, &FileConfig::OnImgPathPbClicked);
    connect(ui()->videopath, &ClickLineEdit::clicked, this, &FileConfig::OnVideoPathPbClicked);
    connect(ui()->videopathPb, &QPushButton::clicked, this, &FileConfig::OnVideoPathPbClicked);
}

void FileConfig::LoadOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::FileSaveOption*>(option ? option : m_option);
    m_loaded = *o;
    ui()->videopath->setText(o->recordFolder);
    ui()->videoreg->setCurrentText(o->recordRule);
    ui()->imgpath->setText(o->pictureFolder);
    ui()->imgreg->setCurrentText(o->pictureRule);
    RememberShown({ui()->videoreg, ui()->imgreg});
}

void FileConfig::StoreOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::FileSaveOption*>(option ? option : m_option);
    o->recordFolder = ui()->videopath->text();
    // A stored rule the list does not offer stays as long as the operator leaves the list alone.
    o->recordRule = Untouched(ui()->videoreg) ? m_loaded.recordRule : ui()->videoreg->currentText();
    o->pictureFolder = ui()->imgpath->text();
    o->pictureRule = Untouched(ui()->imgreg) ? m_loaded.pictureRule : ui()->imgreg->currentText();
}

void FileConfig::OnVideoPathPbClicked() {
    const QString folder = ChooseFolder();
    if (!folder.isEmpty()) ui()->videopath->setText(folder);
}

void FileConfig::OnImgPathPbClicked() {
    const QString folder = ChooseFolder();
    if (!folder.isEmpty()) ui()->imgpath->setText(folder);
}

std::unique_ptr<LumoC::OptionBase> FileConfig::NewDefault() const {
    return std::make_unique<LumoC::FileSaveOption>();
}

bool FileConfig::SameAsLive(const LumoC::OptionBase& shown) const {
    const auto& a = static_cast<const LumoC::FileSaveOption&>(shown);
    const auto* b = static_cast<const LumoC::FileSaveOption*>(m_option);
    return a.recordFolder == b->recordFolder && a.recordRule == b->recordRule &&
           a.pictureFolder == b->pictureFolder && a.pictureRule == b->pictureRule;
}
