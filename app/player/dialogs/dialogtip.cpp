#include "player/dialogs/dialogtip.h"

#include <QLabel>
#include <QPushButton>
#include <QTimerEvent>

#include "VantelInfraAPI/frameless.h"
#include "VantelInfraAPI/testseams.h"
#include "player/playercontext.h"
#include "ui_DialogTip.h"

namespace {

constexpr int kToolTipMs = 10000;
constexpr unsigned char kPixelsPerChar = 5;
constexpr int kReserveChars = 10;

// Shows text whole in the tool tip and shortened to the label's width in the label; an empty text
// hides the label and the rest of its row instead.
void ShowElided(QLabel* label, const QString& text, std::initializer_list<QWidget*> row) {
    if (text.isEmpty()) {
        label->hide();
        for (QWidget* w : row) w->hide();
        return;
    }
    label->setToolTip(text);
    label->setToolTipDuration(kToolTipMs);
    QString shown = text;
    CPlayerContext::ElideText(shown, unsigned(label->width()), kPixelsPerChar, kReserveChars);
    label->setText(shown);
}

}  // namespace

DialogTip::DialogTip(const QString& title, const QString& text, QWidget* parent, quint8 mode, bool fileBlock)
    : QDialog(parent), ui(new Ui::DialogTip), m_title(title), m_text(text), m_mode(mode), m_fileBlock(fileBlock) {
    ui->setupUi(this);
    setModal(true);
    // A dialog to the window manager: only a dialog gets the hint that keeps it above its window.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    if (fileBlock) {
        ui->labelFilePath->setText(tr("file_path"));
        ui->labelPath->setText(tr("saving_path"));
    } else {
        ui->widgetFileInfo->hide();
    }
    ui->labelTittle->setText(title);
    ui->labelTip->setText(text);
    if (QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok)) ok->setText(tr("OK"));
    if (QPushButton* cancel = ui->buttonBox->button(QDialogButtonBox::Cancel)) cancel->setText(tr("Cancel"));
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &DialogTip::on_buttonBox_clicked);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->btnClose, &QPushButton::clicked, this, &DialogTip::on_btnClose_clicked);
    connect(ui->btnOpen, &QPushButton::clicked, this, &DialogTip::on_btnOpen_clicked);
}

DialogTip::~DialogTip() {
    delete ui;
}

void DialogTip::SetFileInfo(const QString& fileText, const QString& pathText) {
    if (!fileText.isEmpty()) m_fileText = fileText;
    if (!pathText.isEmpty()) m_pathText = pathText;
    ShowElided(ui->labelFilePathInfo, fileText, {ui->labelFilePath});
    ShowElided(ui->labelPathInfo, pathText, {ui->labelPath, ui->btnOpen});
}

void DialogTip::StartAutoClose(int msec) {
    if (m_mode != 1) return;
    if (m_timerId) killTimer(m_timerId);
    m_timerId = startTimer(msec, Qt::CoarseTimer);
}

int DialogTip::exec() {
    INFRA::TestSeams::RecordUiEvent({QStringLiteral("tip"), m_title, m_text, m_fileText, m_pathText});
    const QString reply = INFRA::TestSeams::ScriptedReply();
    if (!reply.isEmpty()) return reply == QLatin1String("ok") || reply == QLatin1String("yes") ? 1 : 0;
    return QDialog::exec();
}

void DialogTip::on_buttonBox_clicked(QAbstractButton* button) {
    if (button == ui->buttonBox->button(QDialogButtonBox::Ok))
        done(1);
    else if (button == ui->buttonBox->button(QDialogButtonBox::Cancel))
        done(0);
}

void DialogTip::on_btnClose_clicked() {
    done(0);
}

void DialogTip::on_btnOpen_clicked() {
    if (!m_pathText.isEmpty()) CPlayerContext::OpenInExplorer(QString(m_pathText));
}

void DialogTip::timerEvent(QTimerEvent* event) {
    if (m_timerId == 0 || event->timerId() != m_timerId) return;
    killTimer(m_timerId);
    m_timerId = 0;
    close();
}

void DialogTip::setVisible(bool visible) {
    if (visible) INFRA::TieToOwner(this);
    QDialog::setVisible(visible);
}
