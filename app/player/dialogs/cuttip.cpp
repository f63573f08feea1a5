#include "player/dialogs/cuttip.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QPushButton>

#include "player/dialogs/dialogtip.h"
#include "player/playercontext.h"
#include "ui_cuttip.h"

namespace {

constexpr int kToolTipMs = 10000;
constexpr unsigned char kPixelsPerChar = 2;
constexpr int kReserveChars = 5;

QString g_chosenFolderForTest;  // GUI thread only

void ShowElided(QLabel* label, const QString& text) {
    label->setToolTip(text);
    label->setToolTipDuration(kToolTipMs);
    QString shown = text;
    CPlayerContext::ElideText(shown, unsigned(label->width()), kPixelsPerChar, kReserveChars);
    label->setText(shown);
}

CLumoTime WithTimeOfDay(CLumoTime day, const QTime& t) {
    day.SetHour(t.hour());
    day.SetMinute(t.minute());
    day.SetSecond(t.second());
    day.SetMS(0);
    return day;
}

QTime TimeOfDay(const CLumoTime& t) {
    return QTime(t.GetHour(), t.GetMinute(), t.GetSecond());
}

bool SameDay(const CLumoTime& a, const CLumoTime& b) {
    return a.GetYear() == b.GetYear() && a.GetMonth() == b.GetMonth() && a.GetDay() == b.GetDay();
}

}  // namespace

CutTip::CutTip(QWidget* parent) : PlayerDialog(parent), ui(new Ui::CutTip) {
    ui->setupUi(this);
    InitFrame(ui->widgetTittle, ui->btnClose, kCoverFlags);
    ui->comboBoxFormatCut->setView(new QListView(ui->comboBoxFormatCut));
    ui->comboBoxFormatCut->clear();
    ui->comboBoxFormatCut->addItem(QStringLiteral("DAV"), 0);
    ui->comboBoxFormatCut->addItem(QStringLiteral("AVI"), 1);
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &CutTip::on_buttonBox_clicked);
    connect(ui->btnBrowseCut, &QPushButton::clicked, this, &CutTip::on_btnBrowseCut_clicked);
    connect(ui->btnClose, &QPushButton::clicked, this, &CutTip::on_btnClose_clicked);
    Retranslate();
}

CutTip::~CutTip() {
    delete ui;
}

void CutTip::SetChosenFolderForTest(const QString& folder) {
    g_chosenFolderForTest = folder;
}

void CutTip::Retranslate() {
    ui->labelTittle->setText(tr("cut_Info"));
    if (QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok)) ok->setText(tr("cut_start"));
    if (QPushButton* cancel = ui->buttonBox->button(QDialogButtonBox::Cancel)) cancel->setText(tr("Cancel"));
    ui->labelCutTime->setText(tr("cut_time"));
    ui->labelFileTime->setText(tr("file_time"));
    ui->labelFilePath->setText(tr("file_path"));
    ui->labelPath->setText(tr("saving_path"));
    ui->labelFormat->setText(tr("format"));
}

void CutTip::SetInfo(CutInfo info) {
    m_fileStart = info.fileStart;
    m_fileEnd = info.fileEnd;
    m_folder = info.saveFolder;
    ShowElided(ui->labelFilePathInfo, info.filePath);
    ShowElided(ui->labelPathInfo, m_folder);
    ui->labelFileTimeInfo->setText(info.fileTimeText);
    const int item = ui->comboBoxFormatCut->findData(int(info.clipFormat));
    ui->comboBoxFormatCut->setCurrentIndex(item >= 0 ? item : 0);
    const bool swapped = info.cutStart > info.cutEnd;
    ui->timeEditS->setTime(TimeOfDay(swapped ? info.cutEnd : info.cutStart));
    ui->timeEditE->setTime(TimeOfDay(swapped ? info.cutStart : info.cutEnd));
}

CutTip::RangeCheck CutTip::ClipRange(const CLumoTime& fileStart, const CLumoTime& fileEnd, const QTime& start,
                                     const QTime& end, CLumoTime* clipStart, CLumoTime* clipEnd) {
    const bool overMidnight = !SameDay(fileStart, fileEnd);
    const QTime fileStartTime = TimeOfDay(fileStart);
    const auto place = [&](const QTime& t) {
        return WithTimeOfDay(overMidnight && t < fileStartTime ? fileEnd : fileStart, t);
    };
    const CLumoTime s = place(start);
    const CLumoTime e = place(end);
    if (clipStart) *clipStart = s;
    if (clipEnd) *clipEnd = e;
    if (s - e >= 0) return RANGE_NOT_ORDERED;
    if (s < fileStart || e > fileEnd) return RANGE_OUTSIDE_FILE;
    return RANGE_OK;
}

void CutTip::GetResult(CutInfo& info) const {
    ClipRange(m_fileStart, m_fileEnd, ui->timeEditS->time(), ui->timeEditE->time(), &info.cutStart, &info.cutEnd);
    info.clipFormat = ui->comboBoxFormatCut->currentData().toUInt();
    info.saveFolder = m_folder;
}

void CutTip::on_buttonBox_clicked(QAbstractButton* button) {
    if (button == ui->buttonBox->button(QDialogButtonBox::Ok)) {
        const RangeCheck check =
            ClipRange(m_fileStart, m_fileEnd, ui->timeEditS->time(), ui->timeEditE->time(), nullptr, nullptr);
        if (check != RANGE_OK) {
            DialogTip tip(tr("tip"), check == RANGE_NOT_ORDERED ? tr("error_cut_time") : tr("enter_valid_cut_time"),
                          this, 0, false);
            tip.exec();
            return;
        }
        CPlayerContext* context = CPlayerContext::Instance();
        const int format = ui->comboBoxFormatCut->currentData().toInt();
        if (format != context->settings.cutRecordFormat) context->settings.cutRecordFormat = format;
        if (m_folder != context->settings.cutRecordFolder) context->settings.cutRecordFolder = m_folder;
        done(1);
    } else if (button == ui->buttonBox->button(QDialogButtonBox::Cancel)) {
        done(0);
    }
}

void CutTip::on_btnBrowseCut_clicked() {
    QString folder = g_chosenFolderForTest;
    if (folder.isEmpty())
        folder = QFileDialog::getExistingDirectory(this, tr("select_folder"), QString(), QFileDialog::ShowDirsOnly);
    else if (folder == QLatin1String("-"))
        folder.clear();
    if (folder.isEmpty()) return;
    SetFolder(folder);
}

void CutTip::SetFolder(const QString& folder) {
    m_folder = QDir::toNativeSeparators(folder);
    ShowElided(ui->labelPathInfo, m_folder);
}

void CutTip::on_btnClose_clicked() {
    done(0);
}
