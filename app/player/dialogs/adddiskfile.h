// The disk-file search dialog: lists the recorder disks the machine can reach, lets the user
// choose one, a time range and up to 64 channels, searches the disk and hands the found record
// files on (onAddDiskFile). The disk scan and the search run on a worker thread; their results
// come back queued to the GUI thread, which keeps the controls disabled meanwhile.
#pragma once

#include <QVector>

#include <cstdint>
#include <memory>

#include "LumoCore/LumoCore.h"
#include "player/dialogs/playerdialog.h"

class QPushButton;

namespace Ui {
class AddDiskFile;
}

class AddDiskFile : public PlayerDialog {
    Q_OBJECT
public:
    // FillSearchParam's own codes.
    enum { kBadTimeRange = 100, kNoChannel = 101 };
    // The years the record time word can hold; the date editors keep to them.
    static constexpr int kFirstYear = 2000;
    static constexpr int kLastYear = 2063;

    explicit AddDiskFile(QWidget* parent = nullptr);
    ~AddDiskFile() override;

    // The 64-bit channel mask: all bits with "all" checked, else bit N-1 per checked channel N.
    uint64_t GetSelectedChannels() const;
    // Start, end and channel mask (on the main and the sub stream) from the controls: 0, or
    // kBadTimeRange (start not before end), kNoChannel, LUMO_ERR_BADPARAM (no object).
    int FillSearchParam(ILumoFSSearchParam* param) const;
    // The descriptors of the last search that succeeded (owned by the dialog).
    const CLumoFileDescList* Result() const { return m_result; }
    bool IsBusy() const { return m_busy; }

signals:
    // After a successful search: the dialog's result list (a CLumoFileDescList*, still the
    // dialog's; copy what is needed before returning: the next success overwrites it).
    void onAddDiskFile(void* list);
    // A disk scan ended: 0 when it listed at least one disk, else -1.
    void scanFinished(int result);
    // A search ended with this code (FillSearchParam's or the media search's), after its tip.
    void searchFinished(int code);

public:
    void on_btnClose_clicked();
    void on_btnRefresh_clicked();
    void on_buttonBox_clicked(QAbstractButton* button);
    void on_btnChannalAll_clicked();
    void OnChannelClicked(int channel);

protected:
    void Retranslate() override;

private:
    void InitControls();
    // Starts the disk scan on a worker; the combo box is filled when it ends.
    void ScanDisks();
    void OnScanDone(int result, const CLumoList& disks);
    void OnSearchDone(int code, const CLumoFileDescList& working);
    void SetAllChannelsChecked(bool checked);
    void SetChannelsEnabled(bool enabled);
    void SetControlsEnabled(bool enabled);
    // Runs work on a new thread and done on this dialog's thread once it has ended (never, when
    // the dialog is gone by then). The thread is its own (QThread::create, deleted when it ends),
    // not the pool's: a disk search may take long. work holds only what it shares with done
    // (a shared_ptr) and the disk manager, which outlives every dialog.
    template <class Work, class Done>
    void RunWorker(Work work, Done done);

    Ui::AddDiskFile* ui;
    const bool m_bothStreams = true;        // every search asks for the main and the sub stream
    CLumoFileDescList* m_result;            // GUI thread
    QVector<QPushButton*> m_channelButtons;  // channel N at N-1
    bool m_busy = false;                     // GUI thread: a scan or a search runs
};
