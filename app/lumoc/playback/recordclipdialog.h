// The small modal dialog in which the operator confirms a record download or cut before it is
// queued: the clip's times, the output format and the save folder carried in the target URL of a
// clip description that the opener owns.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "LumoFS/LumoFS.h"
#include "VantelInfraAPI/frameless.h"

namespace Ui {
class RecordClipDialog;
}

// A clip: its record file, the range and the target URL ("filew://..." with "pathname=" and
// "format=").
class RecordClipInfo : public CLumoFileDesc {
public:
    RecordClipInfo() = default;
    // Empties both times and drops the URL.
    void Reset();
    const CLumoTime& GetClipStart() const { return clipStart; }
    const CLumoTime& GetClipEnd() const { return clipEnd; }
    void SetClipStart(const CLumoTime& t) { clipStart = t; }
    void SetClipEnd(const CLumoTime& t) { clipEnd = t; }
    // The target URL, or null when none is set.
    const char* GetUrl() const { return hasUrl ? url.c_str() : nullptr; }
    // Keeps a copy; null drops the URL.
    void SetUrl(const char* text);

private:
    CLumoTime clipStart, clipEnd;
    std::string url;
    bool hasUrl = false;
};

class RecordClipDialog : public INFRA::FrameLessDialog {
    Q_OBJECT
public:
    enum { ModeDownload = 0, ModeCut = 1 };
    // Chooses a folder: (parent, title, start folder) -> the folder, empty when cancelled.
    using FolderChooser = std::function<QString(QWidget*, const QString&, const QString&)>;

    RecordClipDialog(QWidget* parent, int mode);
    ~RecordClipDialog() override;

    void SetClipInfo(RecordClipInfo* info) { clip = info; }
    void Init();
    // The chosen format's code (3 mp4, 1 dav, 2 avi).
    int GetFormat() const;

    // The URL with the value of `key` ("pathname=" or "pathname") replaced; unchanged when the
    // URL is not a record address or has no such key. Keys match whole.
    static QString set_string_by_key(const QString& url, const QString& key, const QString& value);
    // The value of `key`; empty when absent.
    static QString get_string_by_key(const QString& url, const QString& key);

    // Test seam: the folder chooser (default: the desktop's folder dialog); null restores it.
    static void SetFolderChooser(FolderChooser chooser);

    Ui::RecordClipDialog* GetUi() const { return ui; }

public slots:
    void on_open_file();

protected:
    void OnConfirm() override;
    void changeEvent(QEvent* event) override;

private:
    void Retranslate();

    Ui::RecordClipDialog* ui = nullptr;
    RecordClipInfo* clip = nullptr;  // the opener's
    int mode;
};
