#include "diskstatus/pagerecordserverdiskstatus.h"

#include <QLabel>

#include "VantelInfraAPI/vantelutility.h"
#include "ui_pagerecordserverdiskstatus.h"

PageRecordServerDiskStatus::PageRecordServerDiskStatus(QWidget* parent)
    : INFRA::FrameLessDialog(parent, Qt::WindowCloseButtonHint), ui(new Ui::PageRecordServerDiskStatus) {
    ui->setupUi(GetMainWidget());
    m_diskState = 0x100;
    setMinimumWidth(220);
    setMaximumWidth(450);
    SetCascadingStyle(VantelUtility::GetAppStylebyQssFile(QStringLiteral("RecordServerConfig")));
    SetTitle(QObject::tr("K3713_DiskStatus"));
}

PageRecordServerDiskStatus::~PageRecordServerDiskStatus() = default;

void PageRecordServerDiskStatus::UpdateStateLabels() {
    // Bit 8 has no label, nor have bits 13 and above.
    const struct {
        int bit;
        QLabel* label;
    } values[] = {
        {1, ui->m_label_format}, {0, ui->m_label_mount},     {2, ui->m_label_ready},     {3, ui->m_label_read},
        {4, ui->m_label_write},  {5, ui->m_label_sleep},     {6, ui->m_label_diskfull},  {7, ui->m_label_diskerror},
        {9, ui->m_label_open},   {10, ui->m_label_close},    {11, ui->m_label_overtime}, {12, ui->m_label_switchip},
    };
    for (const auto& v : values) v.label->setText(QStringLiteral("%1").arg((m_diskState >> v.bit) & 1u));
}
