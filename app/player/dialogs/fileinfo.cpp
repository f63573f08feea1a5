#include "player/dialogs/fileinfo.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "common/playlist/lumoplaylistitemdelegate.h"
#include "player/playercontext.h"
#include "player/playfile.h"
#include "ui_FileInfo.h"

namespace {

constexpr int kToolTipMs = 10000;

// As the play list shows it: a time read as local time.
QDateTime ToDateTime(const CLumoTime& t) {
    return t.IsEmpty() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(t.ToEpochMs());
}

}  // namespace

PlayFileInfo PlayFileInfo::FromFile(const CLumoFile& file) {
    PlayFileInfo info;
    CPlayerContext::FromLocal8Bit(file.name.c_str(), info.name);
    if (file.type == CLumoFile::TYPE_LOCAL) CPlayerContext::FromLocal8Bit(file.path.c_str(), info.path);
    info.startTime = file.timeS;
    info.endTime = file.timeE;
    info.videoCodec = file.videoCodec;
    info.audioCodec = file.audioCodec;
    info.width = file.width;
    info.height = file.height;
    info.frameRate = file.frameRate;
    info.size = file.length;
    return info;
}

void ShowElidedInLabel(QLabel* label, const QString& text) {
    label->setToolTip(text);
    label->setToolTipDuration(kToolTipMs);
    const int width = qMax(label->width(), label->minimumWidth());
    label->setText(QFontMetrics(label->font()).elidedText(text, Qt::ElideMiddle, width));
}

FileInfo::FileInfo(QWidget* parent) : PlayerDialog(parent), ui(new Ui::FileInfo) {
    ui->setupUi(this);
    InitFrame(ui->widgetTittle, ui->btnClose, kCoverFlags);
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &FileInfo::on_buttonBox_clicked);
    connect(ui->btnClose, &QPushButton::clicked, this, &FileInfo::on_btnClose_clicked);
    connect(ui->btnOpen, &QPushButton::clicked, this, &FileInfo::on_btnOpen_clicked);
    Retranslate();
}

FileInfo::~FileInfo() {
    delete ui;
}

QString FileInfo::CodecName(quint8 code) {
    static const char* const kNames[] = {"NONE", "H264", "H265", "JPEG",  "PCMA", "PCMU",
                                         "ADPCM", "MP3", "AAC",  "PCM",   "SMART", "CURRC"};
    if (code < sizeof(kNames) / sizeof(kNames[0])) return QLatin1String(kNames[code]);
    switch (code) {
    case 33: return QStringLiteral("UYVY");
    case 34: return QStringLiteral("YV12");
    case 35: return QStringLiteral("RGB");
    case 36: return QStringLiteral("ARGB");
    default: break;
    }
    if (code >= 16 && code <= 31) return QStringLiteral("H264+");
    return QStringLiteral("H265+");
}

QString FileInfo::FrameRateText(qint32 frameRate) {
    return frameRate >= 0 ? QString::number(frameRate) : QStringLiteral("--");
}

void FileInfo::SetFile(const PlayFileInfo& info) {
    ShowElidedInLabel(ui->labelFileName, info.name);
    // The time span and the size read as in the play list.
    ui->labelFileTime->setText(
        LumoPlayListItemDelegate::TimeText(ToDateTime(info.startTime), ToDateTime(info.endTime)));
    ui->labelFileLength->setText(LumoPlayListItemDelegate::SizeText(info.size));
    ui->labelResolutionInfo->setText(QStringLiteral("%1*%2").arg(info.width).arg(info.height));
    ui->labelVidoeFormatInfo->setText(CodecName(info.videoCodec));
    ui->labelAudioFormatInfo->setText(CodecName(info.audioCodec));
    ui->labelFrameRateInfo->setText(FrameRateText(info.frameRate));
    m_path = info.path;
    const bool local = !m_path.isEmpty();
    ui->labelFilePath->setVisible(local);
    ui->labelFilePathInfo->setVisible(local);
    ui->btnOpen->setVisible(local);
    if (local) {
        ShowElidedInLabel(ui->labelFilePathInfo, m_path);
    } else {
        ui->labelFilePathInfo->clear();
        ui->labelFilePathInfo->setToolTip(QString());
    }
}

void FileInfo::on_buttonBox_clicked(QAbstractButton* button) {
    if (button == ui->buttonBox->button(QDialogButtonBox::Ok)) done(1);
}

void FileInfo::on_btnClose_clicked() {
    done(0);
}

void FileInfo::on_btnOpen_clicked() {
    if (!m_path.isEmpty()) CPlayerContext::OpenInExplorer(m_path);
}

void FileInfo::Retranslate() {
    ui->labelTittle->setText(tr("file_info"));
    ui->labelName->setText(tr("file_name"));
    ui->labelTime->setText(tr("time"));
    ui->labelLength->setText(tr("size"));
    ui->labelResolution->setText(tr("resolution"));
    ui->labelVidoeFormat->setText(tr("video_format"));
    ui->labelAudioFormat->setText(tr("audio_format"));
    ui->labelFrameRate->setText(tr("frame_rate"));
    ui->labelFilePath->setText(tr("file_path"));
    ui->btnOpen->setToolTip(tr("open_folder"));
    if (QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok)) ok->setText(tr("OK"));
}
