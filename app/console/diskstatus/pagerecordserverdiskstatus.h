// The disk status dialog: the state word of one disk as twelve yes/no values (formatted,
// mounted, ready, reading, writing, asleep, full, faulty, opening, closed, version obsolete,
// switch IP). Made on the stack for one showing.
#pragma once

#include <QtGlobal>
#include <memory>

#include "VantelInfraAPI/frameless.h"

namespace Ui {
class PageRecordServerDiskStatus;
}

class PageRecordServerDiskStatus : public INFRA::FrameLessDialog {
    Q_OBJECT
public:
    explicit PageRecordServerDiskStatus(QWidget* parent = nullptr);
    ~PageRecordServerDiskStatus() override;

    // Stores the state word; the labels change on UpdateStateLabels.
    void SetDiskState(quint32 state) { m_diskState = state; }
    quint32 GetDiskState() const { return m_diskState; }
    // Writes 0 or 1 beside each caption from the stored state word.
    void UpdateStateLabels();

private:
    std::unique_ptr<Ui::PageRecordServerDiskStatus> ui;
    quint32 m_diskState = 0x100;
};
