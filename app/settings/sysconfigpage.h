// SysConfigPage: base of the client settings dialog's option pages (load, check, store and
// commit one option record of the client configuration), the program-wide page list and the
// choosers the pages open.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

#include "LumoCClient/LumoCClient.h"
#include "lumoc/appsignal.h"

class SysConfig;
class SysConfigPage;
namespace Ui {
class SysConfig;
}

// Every live page, in the order of construction (GUI thread only).
extern std::vector<SysConfigPage*> AllPages;

// Removes the first entry equal to page; 0 in every case.
int UnregisterPage(SysConfigPage* page);

class SysConfigPage : public QObject {
    Q_OBJECT
public:
    // Page codes (what a page commits on AppSignal after a save).
    enum {
        CodeEmail = 0,
        CodeFile = 1,
        CodePlayback = 2,
        CodeVideo = 3,
        CodeCommon = 4,
        CodeToolbar = 5,
        CodeAlarm = 6
    };

    SysConfigPage(int code, SysConfig* owner);
    ~SysConfigPage() override = default;

    virtual void Reload();
    virtual void ShowPage();
    // 0 saved, -1 failed (the dialog reports it), another negative value: the page reported it.
    virtual int Save();
    // Shows the default values in the controls; nothing is stored or changed until a save.
    virtual void RestoreDefaults();
    // With warn: shows the unsaved-changes notice when the controls differ from the live option.
    // Returns whether they differ (false without warn).
    virtual bool CheckUnsaved(bool warn);
    // Sets the controls from the record (the page's own live option when null).
    virtual void LoadOption(LumoC::OptionBase* option);
    // Writes the controls into the record (the page's own live option when null).
    virtual void StoreOption(LumoC::OptionBase* option);
    void SyncSiblings();
    int Commit();

    int GetPageCode() const { return m_code; }
    LumoC::OptionBase* GetOption() const { return m_option; }
    // The translation key of the page's title.
    virtual const char* TitleKey() const = 0;

    // The folder chooser of the file page: empty when cancelled.
    QString ChooseFolder();

    // Test seam: a replacement for the folder and file choosers (filter empty: a folder).
    using Chooser = std::function<QString(QWidget* parent, const QString& caption, const QString& filter)>;
    static void SetChooser(Chooser chooser);

protected:
    Ui::SysConfig* ui() const;
    QString Choose(const QString& caption, const QString& filter);
    void NotifyUnsaved() const;

    // Untouched-control bookkeeping: what each control showed right after the last load, so a
    // store keeps a stored value the operator did not change even where a control cannot show
    // it exactly (a value out of the control's range, an entry the control has no item for).
    void RememberShown(std::initializer_list<QObject*> controls);
    // A default-valued record of the page's kind, and whether a record holds what the live one
    // holds in the fields the page compares.
    virtual std::unique_ptr<LumoC::OptionBase> NewDefault() const { return nullptr; }
    virtual bool SameAsLive(const LumoC::OptionBase&) const { return true; }
    bool Untouched(QObject* control) const;

    int m_code;
    SysConfig* m_owner;                     // not owned
    LumoC::OptionBase* m_option = nullptr;  // the live record; not owned

private:
    static QVariant StateOf(QObject* control);
    QHash<QObject*, QVariant> m_shown;
};
