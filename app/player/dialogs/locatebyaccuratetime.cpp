#include "player/dialogs/locatebyaccuratetime.h"

#include <QPushButton>

#include "player/dialogs/dialogtip.h"
#include "ui_LocateByAccurateTime.h"

namespace {

const QString kShownFormat = QStringLiteral("yyyy/MM/dd hh:mm:ss");

// Whole seconds: the editor shows no milliseconds, so none may decide a bound.
qint64 Seconds(const QDateTime& t) {
    return t.toMSecsSinceEpoch() / 1000 - (t.toMSecsSinceEpoch() % 1000 < 0 ? 1 : 0);
}

}  // namespace

LocateByAccurateTime::LocateByAccurateTime(QWidget* parent)
    : PlayerDialog(parent), ui(new Ui::LocateByAccurateTime) {
    ui->setupUi(this);
    InitFrame(ui->widgetTittle, ui->btnClose, kCoverFlags);
    ui->dateTimeEdit->setDisplayFormat(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    ui->dateTimeEdit->setCalendarPopup(false);
    // A year the packed time cannot hold would turn into another time on the way to the player.
    ui->dateTimeEdit->setDateTimeRange(EarliestTime(), LatestTime());
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &LocateByAccurateTime::on_buttonBox_clicked);
    connect(ui->btnClose, &QPushButton::clicked, this, &LocateByAccurateTime::on_btnClose_clicked);
    Retranslate();
}

LocateByAccurateTime::~LocateByAccurateTime() {
    delete ui;
}

QDateTime LocateByAccurateTime::EarliestTime() {
    return QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0));
}

QDateTime LocateByAccurateTime::LatestTime() {
    return QDateTime(QDate(2063, 12, 31), QTime(23, 59, 59));
}

void LocateByAccurateTime::SetRange(const QDateTime& current, const QDateTime& start, const QDateTime& end) {
    m_start = start;
    m_end = end;
    ui->labelS->setText(start.toString(kShownFormat));
    ui->labelE->setText(end.toString(kShownFormat));
    ui->dateTimeEdit->setDateTime(current);
}

void LocateByAccurateTime::GetTime(QDateTime& time) const {
    time = ui->dateTimeEdit->dateTime();
}

void LocateByAccurateTime::on_buttonBox_clicked(QAbstractButton* button) {
    if (button == ui->buttonBox->button(QDialogButtonBox::Cancel)) {
        done(0);
        return;
    }
    if (button != ui->buttonBox->button(QDialogButtonBox::Ok)) return;
    const qint64 t = Seconds(ui->dateTimeEdit->dateTime());
    if (!m_start.isValid() || !m_end.isValid() || t < Seconds(m_start) || t > Seconds(m_end)) {
        DialogTip(tr("tip"), tr("invalid_time"), this, 0, false).exec();
        return;
    }
    done(1);
}

void LocateByAccurateTime::on_btnClose_clicked() {
    done(0);
}

void LocateByAccurateTime::Retranslate() {
    ui->labelTittle->setText(tr("local_time_global"));
    ui->labelTip->setText(tr("enter_time"));
    ui->labelTipS->setText(tr("start"));
    ui->labelTipE->setText(tr("end"));
    if (QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok)) ok->setText(tr("OK"));
    if (QPushButton* cancel = ui->buttonBox->button(QDialogButtonBox::Cancel)) cancel->setText(tr("Cancel"));
}
