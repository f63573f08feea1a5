// The general page (log keep time, start options, autostart) and the file page (record and
// picture folders and naming rules) of the client settings dialog.
#pragma once

#include "sysconfigpage.h"

class CommonConfig : public SysConfigPage {
    Q_OBJECT
public:
    CommonConfig(int code, SysConfig* owner);
    // Stores the record and, once it is written, applies the autostart choice to the system.
    int Save() override;
    void LoadOption(LumoC::OptionBase* option) override;
    void StoreOption(LumoC::OptionBase* option) override;
    const char* TitleKey() const override { return "K2002_Base"; }
    void Reload() override;
    // Leaving the page with an unsaved full-screen choice also takes that choice back out of the
    // live record, which the check box changes at once.
    bool CheckUnsaved(bool warn) override;

public slots:
    // The full-screen choice reaches the live record as soon as it is clicked (the settings
    // file only with a save).
    void OnFullscreenPreview();

protected:
    std::unique_ptr<LumoC::OptionBase> NewDefault() const override;
    bool SameAsLive(const LumoC::OptionBase& shown) const override;

private:
    LumoC::CommonOption* Live() const { return static_cast<LumoC::CommonOption*>(m_option); }

    LumoC::CommonOption m_loaded;  // the record the controls were last loaded from
    bool m_storedFullScreen = false;  // the full-screen choice the settings file holds (GUI thread)
};

class FileConfig : public SysConfigPage {
    Q_OBJECT
public:
    FileConfig(int code, SysConfig* owner);
    void LoadOption(LumoC::OptionBase* option) override;
    void StoreOption(LumoC::OptionBase* option) override;
    const char* TitleKey() const override { return "K2050_FileSave"; }

public slots:
    void OnVideoPathPbClicked();
    void OnImgPathPbClicked();

protected:
    std::unique_ptr<LumoC::OptionBase> NewDefault() const override;
    bool SameAsLive(const LumoC::OptionBase& shown) const override;

private:
    LumoC::FileSaveOption m_loaded;
};
