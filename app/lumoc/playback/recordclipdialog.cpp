#include "lumoc/playback/recordclipdialog.h"

#include <QDebug>
#include <QEvent>
#include <QFileDialog>

#include "LumoFS/LumoRecordAddress.h"
#include "VantelCore/urlmask.h"
#include "ui_recordclipdialog.h"

namespace {

RecordClipDialog::FolderChooser& Chooser() {
    static RecordClipDialog::FolderChooser chooser;
    return chooser;
}

// "pathname=" and "pathname" name the same key.
std::string KeyName(const QString& key) {
    QString k = key;
    if (k.endsWith('=')) k.chop(1);
    return k.toStdString();
}

QString ClockText(const CLumoTime& t) {
    return QString::asprintf("%02d:%02d:%02d", t.GetHour(), t.GetMinute(), t.GetSecond());
}

}  // namespace

void RecordClipInfo::Reset() {
    clipStart.Empty();
    clipEnd.Empty();
    SetUrl(nullptr);
}

void RecordClipInfo::SetUrl(const char* text) {
    hasUrl = text != nullptr;
    url = text ? text : "";
}

RecordClipDialog::RecordClipDialog(QWidget* parent, int mode)
    : INFRA::FrameLessDialog(parent, Qt::WindowCloseButtonHint), ui(new Ui::RecordClipDialog), mode(mode) {
    ui->setupUi(GetMainWidget());
    SetDefaultButton(ConfirmButton | CancelButton);
    ui->comboBox_format->addItem(QStringLiteral("mp4"), 3);
    ui->comboBox_format->addItem(QStringLiteral("dav"), 1);
    ui->comboBox_format->addItem(QStringLiteral("avi"), 2);
    connect(ui->toolButton, &QToolButton::clicked, this, &RecordClipDialog::on_open_file);
    ui->label_savePath->hide();
    ui->label_savePathContent->hide();
    ui->toolButton->hide();
    if (mode == ModeDownload) {
        ui->label_begin->hide();
        ui->timeEdit_start->hide();
        ui->label_end->hide();
        ui->timeEdit_end->hide();
    }
    Retranslate();
    setFixedWidth(500);
}

RecordClipDialog::~RecordClipDialog() {
    delete ui;
}

void RecordClipDialog::Retranslate() {
    if (mode == ModeDownload)
        SetTitle(QObject::tr("K0069_strDownLoad"));
    else if (mode == ModeCut)
        SetTitle(QObject::tr("K3539_Cut"));
    ui->label_begin->setText(QStringLiteral("%1 :").arg(QObject::tr("K3703_StartTime")));
    ui->label_end->setText(QStringLiteral("%1 :").arg(QObject::tr("K3704_EndTime")));
    ui->label_savePath->setText(QObject::tr("K2051_RecPath"));
    ui->label_format->setText(QObject::tr("K3524_FileFormat"));
}

void RecordClipDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) Retranslate();
    INFRA::FrameLessDialog::changeEvent(event);
}

void RecordClipDialog::Init() {
    if (!clip) return;
    ui->timeEdit_start->setText(ClockText(clip->GetClipStart()));
    ui->timeEdit_end->setText(ClockText(clip->GetClipEnd()));
    const char* url = clip->GetUrl();
    ui->label_savePathContent->setText(get_string_by_key(QString::fromUtf8(url ? url : ""), "pathname="));
    Retranslate();
}

int RecordClipDialog::GetFormat() const {
    return ui->comboBox_format->currentData().toInt();
}

void RecordClipDialog::SetFolderChooser(FolderChooser chooser) {
    Chooser() = std::move(chooser);
}

void RecordClipDialog::on_open_file() {
    // The folder shown is where the chooser starts (the URL's until the operator picks one).
    QString start = ui->label_savePathContent->text();
    if (start.isEmpty() && clip && clip->GetUrl())
        start = get_string_by_key(QString::fromUtf8(clip->GetUrl()), "pathname=");
    const QString title = QObject::tr("K2350_Save");
    const QString chosen =
        Chooser() ? Chooser()(this, title, start)
                  : QFileDialog::getExistingDirectory(this, title, start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return;  // cancelled: the previous folder stays
    ui->label_savePathContent->setText(chosen.endsWith('/') ? chosen : chosen + '/');
}

void RecordClipDialog::OnConfirm() {
    LumoPrintf("%s====>(Func = %s, line = %d)\n", __FILE__, "RecordClipDialog::OnConfirm", __LINE__);
    if (!clip) {
        accept();
        return;
    }
    const QString folder = ui->label_savePathContent->text();
    qDebug() << "save_path_text " << folder;
    const char* old = clip->GetUrl();
    QString url = set_string_by_key(QString::fromUtf8(old ? old : ""), "pathname=", folder);
    qDebug() << "save_path:" << VantelMaskUrl(url);
    static const char* const extensions[] = {"", "dav", "avi", "mp4"};
    const int format = GetFormat();
    if (format >= 1 && format <= 3)
        url = set_string_by_key(url, "format=", QString::fromLatin1(extensions[format]));
    clip->SetUrl(url.toUtf8().constData());
    accept();
}

QString RecordClipDialog::get_string_by_key(const QString& url, const QString& key) {
    LumoRecordAddress a;
    if (!LumoRecordAddress::Parse(url.toStdString(), &a)) return QString();
    return QString::fromUtf8(a.Get(KeyName(key)).c_str());
}

QString RecordClipDialog::set_string_by_key(const QString& url, const QString& key, const QString& value) {
    LumoPrintf("%s====>(Func = %s, line = %d)\n", __FILE__, "RecordClipDialog::set_string_by_key", __LINE__);
    qDebug() << QStringLiteral("path_value:\u3000") + value;
    LumoRecordAddress a;
    const std::string k = KeyName(key);
    if (!LumoRecordAddress::Parse(url.toStdString(), &a) || !a.Has(k)) return url;
    a.Set(k, value.toStdString());
    return QString::fromUtf8(a.Build().c_str());
}
