#include "sysconfigpage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>

#include "VantelInfraAPI/notifier.h"
#include "sysconfig.h"

std::vector<SysConfigPage*> AllPages;

namespace {
SysConfigPage::Chooser g_chooser;  // GUI thread only
}

int UnregisterPage(SysConfigPage* page) {
    auto it = std::find(AllPages.begin(), AllPages.end(), page);
    if (it != AllPages.end()) AllPages.erase(it);
    return 0;
}

SysConfigPage::SysConfigPage(int code, SysConfig* owner) : QObject(nullptr), m_code(code), m_owner(owner) {
    AllPages.push_back(this);
}

Ui::SysConfig* SysConfigPage::ui() const {
    return m_owner->GetUi();
}

void SysConfigPage::Reload() {
    LoadOption(nullptr);
}

void SysConfigPage::ShowPage() {
    LoadOption(nullptr);
}

int SysConfigPage::Save() {
    if (!m_option) return -1;
    StoreOption(nullptr);
    const int result = m_option->Write();
    SyncSiblings();
    Commit();
    return result;
}

void SysConfigPage::RestoreDefaults() {
    // Only the controls take the defaults: the live record, which other parts of the program
    // read, changes when the operator saves them.
    std::unique_ptr<LumoC::OptionBase> defaults = NewDefault();
    if (defaults) LoadOption(defaults.get());
}

bool SysConfigPage::CheckUnsaved(bool warn) {
    if (!warn || !m_option) return false;
    std::unique_ptr<LumoC::OptionBase> shown = NewDefault();
    if (!shown) return false;
    StoreOption(shown.get());
    if (SameAsLive(*shown)) return false;
    NotifyUnsaved();
    return true;
}

void SysConfigPage::LoadOption(LumoC::OptionBase*) {}

void SysConfigPage::StoreOption(LumoC::OptionBase*) {}

void SysConfigPage::SyncSiblings() {
    // Copy: a page's load never changes the list, but keep the walk independent of it anyway.
    const std::vector<SysConfigPage*> pages = AllPages;
    for (SysConfigPage* page : pages)
        if (page != this && page->GetPageCode() == m_code) page->LoadOption(m_option);
}

int SysConfigPage::Commit() {
    return AppSignal.Commit(nullptr, m_code, nullptr, nullptr);
}

void SysConfigPage::NotifyUnsaved() const {
    const QString text =
        QStringLiteral("%1 %2").arg(QObject::tr("K2353_ChangesLost"), QObject::tr(TitleKey()));
    INFRA::NotifierManager::instance()->notify(QObject::tr("K2352_Unsaved"), text, 1, QStringLiteral("#"));
}

void SysConfigPage::SetChooser(Chooser chooser) {
    g_chooser = std::move(chooser);
}

QString SysConfigPage::Choose(const QString& caption, const QString& filter) {
    if (g_chooser) return g_chooser(m_owner, caption, filter);
    if (filter.isEmpty())
        return QFileDialog::getExistingDirectory(m_owner, caption, QDir::currentPath(),
                                                 QFileDialog::ShowDirsOnly);
    return QFileDialog::getOpenFileName(m_owner, caption, QDir::currentPath(), filter);
}

QString SysConfigPage::ChooseFolder() {
    // Forward slashes where the system writes backslashes; on this system a backslash is part
    // of a name and stays.
    return QDir::fromNativeSeparators(Choose(QObject::tr("K2056_SelectFilePath"), QString()));
}

QVariant SysConfigPage::StateOf(QObject* control) {
    if (auto* c = qobject_cast<QComboBox*>(control)) return QVariantList{c->currentIndex(), c->currentText()};
    if (auto* b = qobject_cast<QAbstractButton*>(control)) return b->isChecked();
    if (auto* s = qobject_cast<QSpinBox*>(control)) return s->text();
    if (auto* e = qobject_cast<QLineEdit*>(control)) return e->text();
    return QVariant();
}

void SysConfigPage::RememberShown(std::initializer_list<QObject*> controls) {
    for (QObject* c : controls) m_shown[c] = StateOf(c);
}

bool SysConfigPage::Untouched(QObject* control) const {
    auto it = m_shown.constFind(control);
    return it != m_shown.constEnd() && *it == StateOf(control);
}
