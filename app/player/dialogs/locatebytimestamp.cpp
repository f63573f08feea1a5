#include "player/dialogs/locatebytimestamp.h"

#include <QIntValidator>
#include <QPushButton>

#include <limits>

#include "player/dialogs/dialogtip.h"
#include "ui_LocateByTimeStamp.h"

LocateByTimeStamp::LocateByTimeStamp(QWidget* parent) : PlayerDialog(parent), ui(new Ui::LocateByTimeStamp) {
    ui->setupUi(this);
    InitFrame(ui->widgetTittle, ui->btnClose, kCoverFlags);
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &LocateByTimeStamp::on_buttonBox_clicked);
    connect(ui->btnClose, &QPushButton::clicked, this, &LocateByTimeStamp::on_btnClose_clicked);
    // The validator only keeps letters out: it lets a number above the top be typed, so Ok checks.
    m_validator = new QIntValidator(0, 0, ui->lineEdit);
    ui->lineEdit->setValidator(m_validator);
    Retranslate();
    SetMax(0);
}

LocateByTimeStamp::~LocateByTimeStamp() {
    delete ui;
}

void LocateByTimeStamp::SetMax(quint64 max) {
    constexpr quint64 kIntMax = quint64(std::numeric_limits<int>::max());
    m_max = int(qMin(max, kIntMax));
    ui->labelUnit->setText(QStringLiteral("( 0 ~ %1 s )").arg(m_max));
    m_validator->setTop(m_max);
}

void LocateByTimeStamp::GetSeconds(int& seconds) const {
    bool ok = false;
    const quint64 value = ui->lineEdit->text().toULongLong(&ok);
    seconds = ok && value <= quint64(m_max) ? int(value) : 0;
}

void LocateByTimeStamp::on_buttonBox_clicked(QAbstractButton* button) {
    if (button == ui->buttonBox->button(QDialogButtonBox::Cancel)) {
        done(0);
        return;
    }
    if (button != ui->buttonBox->button(QDialogButtonBox::Ok)) return;
    const QString text = ui->lineEdit->text().trimmed();
    bool ok = text.isEmpty();
    if (!ok) {
        const quint64 value = text.toULongLong(&ok);
        ok = ok && value <= quint64(m_max);
    }
    if (!ok) {
        DialogTip(tr("tip"), tr("invalid_time"), this, 0, false).exec();
        return;
    }
    done(1);
}

void LocateByTimeStamp::on_btnClose_clicked() {
    done(0);
}

void LocateByTimeStamp::Retranslate() {
    ui->labelTittle->setText(tr("local_time_stamp"));
    ui->labelTip->setText(tr("enter_time"));
    if (QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok)) ok->setText(tr("OK"));
    if (QPushButton* cancel = ui->buttonBox->button(QDialogButtonBox::Cancel)) cancel->setText(tr("Cancel"));
}
