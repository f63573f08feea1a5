#include "mediapages.h"

#include <QCoreApplication>
#include <QListView>

#include "sysconfig.h"
#include "ui_sysconfig.h"

void FillPacketTypes(QComboBox* combo) {
    combo->clear();
    combo->addItem(QStringLiteral("mp4"), 3);
    combo->addItem(QStringLiteral("dav"), 1);
    combo->addItem(QStringLiteral("avi"), 2);
}

void SelectPacketType(QComboBox* combo, int type) {
    const int index = combo->findData(type, Qt::UserRole);
    if (index >= 0) combo->setCurrentIndex(index);
}

// ---------------------------------------------------------------------------------------------
// Playback page

namespace {
const int kPriorPlaySeconds[] = {1, 5, 10, 30, 60, 90, 1800, 3600};
}

PlaybackConfig::PlaybackConfig(int code, SysConfig* owner) : SysConfigPage(code, owner) {
    m_option = LumoCConfiguration::GetLumoCConfig()->GetPlaybackOption();
    Ui::SysConfig* u = ui();
    for (QComboBox* c : {u->mergerate, u->wheresearch, u->priorplay}) c->setView(new QListView(c));
    for (QWidget* w : std::initializer_list<QWidget*>{
             u->lFileCodeMode, u->mergerate, u->lblrecordfmt, u->cbRecordFmt, u->lEventPlaybackTime,
             u->priorplay, u->lPriorityPlayback, u->kestopriority, u->lIntelligentVideoPlayback,
             u->smartrecord, u->lWindowPreview, u->offpreview})
        w->hide();
    FillPacketTypes(u->cbRecordFmt);
}

int PlaybackConfig::PriorPlayIndex(int seconds) {
    for (int i = 0; i < 7; ++i)
        if (kPriorPlaySeconds[i] == seconds) return i;
    return 7;
}

int PlaybackConfig::PriorPlaySeconds(int index) {
    return index >= 0 && index < 7 ? kPriorPlaySeconds[index] : 3600;
}

void PlaybackConfig::LoadOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::PlaybackOption*>(option ? option : m_option);
    m_loaded = *o;
    Ui::SysConfig* u = ui();
    u->mergerate->setCurrentIndex(o->mergeRate);
    u->wheresearch->setCurrentIndex(o->searchLocation);
    u->priorplay->setCurrentIndex(PriorPlayIndex(o->priorPlayTime));
    u->kestopriority->setChecked(o->recorderPriority);
    u->offpreview->setChecked(o->previewOff);
    u->smartrecord->setChecked(o->smartRecord);
    SelectPacketType(u->cbRecordFmt, o->packetType);
    RememberShown({u->mergerate, u->wheresearch, u->priorplay, u->cbRecordFmt});
}

void PlaybackConfig::StoreOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::PlaybackOption*>(option ? option : m_option);
    Ui::SysConfig* u = ui();
    const int merge = u->mergerate->currentIndex();
    // Values the combos cannot show (a prior play time of 45 s, say) stay while left alone.
    o->mergeRate = Untouched(u->mergerate) ? m_loaded.mergeRate : (merge == 0 ? 0 : merge == 1 ? 1 : 2);
    o->searchLocation =
        Untouched(u->wheresearch) ? m_loaded.searchLocation : (u->wheresearch->currentIndex() != 0 ? 1 : 0);
    o->priorPlayTime =
        Untouched(u->priorplay) ? m_loaded.priorPlayTime : PriorPlaySeconds(u->priorplay->currentIndex());
    o->recorderPriority = u->kestopriority->isChecked();
    o->previewOff = u->offpreview->isChecked();
    o->smartRecord = u->smartrecord->isChecked();
    o->packetType =
        Untouched(u->cbRecordFmt) ? m_loaded.packetType : u->cbRecordFmt->currentData(Qt::UserRole).toInt();
}

void PlaybackConfig::setSearchLocation(int index) {
    ui()->wheresearch->setCurrentIndex(index);
}

std::unique_ptr<LumoC::OptionBase> PlaybackConfig::NewDefault() const {
    return std::make_unique<LumoC::PlaybackOption>();
}

bool PlaybackConfig::SameAsLive(const LumoC::OptionBase& shown) const {
    const auto& a = static_cast<const LumoC::PlaybackOption&>(shown);
    const auto* b = static_cast<const LumoC::PlaybackOption*>(m_option);
    return a.mergeRate == b->mergeRate && a.searchLocation == b->searchLocation &&
           a.priorPlayTime == b->priorPlayTime && a.recorderPriority == b->recorderPriority &&
           a.previewOff == b->previewOff && a.smartRecord == b->smartRecord;
}

// ---------------------------------------------------------------------------------------------
// Video page

VideoConfig::VideoConfig(int code, SysConfig* owner) : SysConfigPage(code, owner) {
    m_option = LumoCConfiguration::GetLumoCConfig()->GetVideoOption();
    Ui::SysConfig* u = ui();
    u->framerate->setRange(1, 144);
    for (QComboBox* c : {static_cast<QComboBox*>(u->picfmt), static_cast<QComboBox*>(u->videoratio),
                         static_cast<QComboBox*>(u->quality)})
        c->setView(new QListView(c));
    u->quality->setEnabled(false);
    u->framerate->setEnabled(false);
    // The decoder switch is not offered; it still carries the stored flag, so a save keeps it.
    u->harddecoder->setEnabled(false);
    FillPacketTypes(u->cbxrecfmt);
    for (QWidget* w :
         std::initializer_list<QWidget*>{u->lPlaybackPerformance, u->quality, u->framerate, u->lFramerate})
        w->hide();
}

void VideoConfig::LoadOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::VideoOption*>(option ? option : m_option);
    m_loaded = *o;
    Ui::SysConfig* u = ui();
    u->picfmt->setCurrentIndex(o->captureFormat);
    u->videoratio->setCurrentIndex(o->displayScale);
    u->quality->setCurrentIndex(o->quality);
    u->framerate->setValue(o->frameRate);
    u->harddecoder->setChecked(o->hardDecoder);
    u->smartreg->setChecked(o->smartRuleDisplay);
    SelectPacketType(u->cbxrecfmt, o->packetType);
    RememberShown({u->picfmt, u->videoratio, u->quality, u->framerate, u->cbxrecfmt});
}

void VideoConfig::StoreOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::VideoOption*>(option ? option : m_option);
    Ui::SysConfig* u = ui();
    const int quality = u->quality->currentIndex();
    o->captureFormat =
        Untouched(u->picfmt) ? m_loaded.captureFormat : (u->picfmt->currentIndex() != 0 ? 1 : 0);
    o->displayScale = Untouched(u->videoratio) ? m_loaded.displayScale : u->videoratio->currentIndex();
    o->quality = Untouched(u->quality) ? m_loaded.quality : (quality == 0 ? 0 : quality == 1 ? 1 : 2);
    // A stored rate outside the box's range shows clamped; it stays as stored while left alone.
    o->frameRate = Untouched(u->framerate) ? m_loaded.frameRate : u->framerate->text().toInt(nullptr, 10);
    o->hardDecoder = u->harddecoder->isChecked();
    o->smartRuleDisplay = u->smartreg->isChecked();
    o->packetType =
        Untouched(u->cbxrecfmt) ? m_loaded.packetType : u->cbxrecfmt->currentData(Qt::UserRole).toInt();
}

std::unique_ptr<LumoC::OptionBase> VideoConfig::NewDefault() const {
    return std::make_unique<LumoC::VideoOption>();
}

bool VideoConfig::SameAsLive(const LumoC::OptionBase& shown) const {
    const auto& a = static_cast<const LumoC::VideoOption&>(shown);
    const auto* b = static_cast<const LumoC::VideoOption*>(m_option);
    return a.displayScale == b->displayScale && a.frameRate == b->frameRate &&
           a.smartRuleDisplay == b->smartRuleDisplay && a.hardDecoder == b->hardDecoder &&
           a.quality == b->quality && a.captureFormat == b->captureFormat;
}

// ---------------------------------------------------------------------------------------------
// Toolbar page

ToolbarConfig::ToolbarConfig(int code, SysConfig* owner) : SysConfigPage(code, owner) {
    m_option = LumoCConfiguration::GetLumoCConfig()->GetToolBarOption();
    Ui::SysConfig* u = ui();
    u->infoPreviewToobar->hide();
    u->infoPlaybackToobar->hide();
    m_preview = {{u->PPause, 0},   {u->PLocate, 1}, {u->PSnapshot, 2}, {u->PVideo, 3}, {u->PTalk, 4},
                 {u->PMagnify, 5}, {u->PLoop, 6},   {u->PSettings, 7}, {u->PRecord, 8}};
    m_playback = {{u->TSnapshot, 2},  {u->TVideo, 3}, {u->TMagnify, 5}, {u->TPlayback, 9},
                  {u->TDownload, 10}, {u->TTag, 11},  {u->TRecord, 8}};
    // The boxes name their buttons (the form gives each its translated name as a tool tip).
    for (const QList<Box>* boxes : {&m_preview, &m_playback})
        for (const Box& b : *boxes) b.box->setText(b.box->toolTip());
}

void ToolbarConfig::LoadOption(LumoC::OptionBase* option) {
    // The record is only read: the live lists stay as they are.
    auto* o = static_cast<LumoC::ToolbarOption*>(option ? option : m_option);
    m_loaded = *o;
    ui()->showonstartup->setChecked(o->showToolbar);
    for (const Box& b : m_preview) {
        b.box->setCheckState(o->previewButtons.contains(b.id) ? Qt::Checked : Qt::Unchecked);
        RememberShown({b.box});
    }
    for (const Box& b : m_playback) {
        b.box->setCheckState(o->playbackButtons.contains(b.id) ? Qt::Checked : Qt::Unchecked);
        RememberShown({b.box});
    }
}

QList<int> ToolbarConfig::StoreList(const QList<Box>& boxes, const QList<int>& loaded) const {
    bool untouched = true;
    for (const Box& b : boxes) untouched = untouched && Untouched(b.box);
    if (untouched) return loaded;  // the stored order (and any id without a box) stays
    QList<int> out;
    for (const Box& b : boxes)
        if (b.box->isChecked()) out << b.id;
    // Ids that no box of this toolbar offers are not the operator's to lose here.
    for (int id : loaded) {
        bool shown = false;
        for (const Box& b : boxes) shown = shown || b.id == id;
        if (!shown && !out.contains(id)) out << id;
    }
    return out;
}

void ToolbarConfig::StoreOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::ToolbarOption*>(option ? option : m_option);
    o->showToolbar = ui()->showonstartup->isChecked();
    o->previewButtons = StoreList(m_preview, m_loaded.previewButtons);
    o->playbackButtons = StoreList(m_playback, m_loaded.playbackButtons);
}

int ToolbarConfig::Save() {
    StoreOption(nullptr);
    const int result = m_option->Write();
    ShowPage();
    Commit();
    return result;
}

std::unique_ptr<LumoC::OptionBase> ToolbarConfig::NewDefault() const {
    return std::make_unique<LumoC::ToolbarOption>();
}

bool ToolbarConfig::SameAsLive(const LumoC::OptionBase& shown) const {
    const auto& a = static_cast<const LumoC::ToolbarOption&>(shown);
    const auto* b = static_cast<const LumoC::ToolbarOption*>(m_option);
    return a.previewButtons == b->previewButtons && a.playbackButtons == b->playbackButtons;
}
