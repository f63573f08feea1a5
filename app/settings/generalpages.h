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

protected:
    std::unique_ptr<LumoC::OptionBase> NewDefault() const override;
    bool SameAsLive(const LumoC::OptionBase& shown) const override;

private:
    LumoC::CommonOption m_loaded;  // the record the controls were last loaded from
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
