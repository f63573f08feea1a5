// The playback, video and toolbar pages of the client settings dialog.
#pragma once

#include <QList>

#include "sysconfigpage.h"

class QCheckBox;
class QComboBox;

class PlaybackConfig : public SysConfigPage {
    Q_OBJECT
public:
    PlaybackConfig(int code, SysConfig* owner);
    void LoadOption(LumoC::OptionBase* option) override;
    void StoreOption(LumoC::OptionBase* option) override;
    const char* TitleKey() const override { return "K6861_PlaybackConfig"; }

    // The combo index of a prior play time (unknown times: the last item), and back.
    static int PriorPlayIndex(int seconds);
    static int PriorPlaySeconds(int index);

public slots:
    void setSearchLocation(int index);

signals:
    void searchLocationChanged(int index);

protected:
    std::unique_ptr<LumoC::OptionBase> NewDefault() const override;
    bool SameAsLive(const LumoC::OptionBase& shown) const override;

private:
    LumoC::PlaybackOption m_loaded;
};

class VideoConfig : public SysConfigPage {
    Q_OBJECT
public:
    VideoConfig(int code, SysConfig* owner);
    void LoadOption(LumoC::OptionBase* option) override;
    void StoreOption(LumoC::OptionBase* option) override;
    const char* TitleKey() const override { return "K6860_VideoSetting"; }

protected:
    std::unique_ptr<LumoC::OptionBase> NewDefault() const override;
    bool SameAsLive(const LumoC::OptionBase& shown) const override;

private:
    LumoC::VideoOption m_loaded;
};

class ToolbarConfig : public SysConfigPage {
    Q_OBJECT
public:
    ToolbarConfig(int code, SysConfig* owner);
    int Save() override;
    void LoadOption(LumoC::OptionBase* option) override;
    void StoreOption(LumoC::OptionBase* option) override;
    const char* TitleKey() const override { return "K2250_ToolBar"; }

protected:
    std::unique_ptr<LumoC::OptionBase> NewDefault() const override;
    bool SameAsLive(const LumoC::OptionBase& shown) const override;

private:
    struct Box {
        QCheckBox* box;
        int id;
    };
    QList<int> StoreList(const QList<Box>& boxes, const QList<int>& loaded) const;
    QList<Box> m_preview;  // in the order their ids are stored
    QList<Box> m_playback;
    LumoC::ToolbarOption m_loaded;
};

// Fills a packet-type combo with "mp4" (3), "dav" (1) and "avi" (2), and selects by that number
// (an unknown number leaves the current item).
void FillPacketTypes(QComboBox* combo);
void SelectPacketType(QComboBox* combo, int type);
