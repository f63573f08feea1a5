#include "player/dialogs/setting.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QPushButton>

#include "player/playercontext.h"
#include "ui_Setting.h"

namespace {

struct Choice {
    const char* text;
    int value;
};

// The texts are format names, the same in every language.
constexpr Choice kSnapFormats[] = {{"BMP", 35}, {"JPEG", 3}};
constexpr Choice kCutFormats[] = {{"DAV", 0}, {"AVI", 1}};
constexpr Choice kBackupFormats[] = {{"DAV", 1}, {"AVI", 2}};

// Fills the combo with the choices and selects the one of value (the first when none matches).
template <size_t N>
void LoadChoices(QComboBox* combo, const Choice (&choices)[N], int value) {
    combo->clear();
    for (const Choice& c : choices) combo->addItem(QLatin1String(c.text), c.value);
    const int index = combo->findData(value);
    combo->setCurrentIndex(index < 0 ? 0 : index);
}

int ChosenValue(const QComboBox* combo) {
    return combo->currentData().toInt();
}

QString SystemFolderChooser(QWidget* parent, const QString& caption, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, caption, start, QFileDialog::ShowDirsOnly);
}

}  // namespace

Setting::Setting(QWidget* parent) : PlayerDialog(parent), ui(new Ui::Setting) {
    ui->setupUi(this);
    InitFrame(ui->widgetTittle, ui->btnClose, kCoverFlags);
    for (QComboBox* combo : {ui->comboBoxFormatSnap, ui->comboBoxFormatCut, ui->comboBoxFormatBackup})
        combo->setView(new QListView(combo));
    ui->widgetBackup->hide();
    ui->widgetBackupInfo->hide();
    connect(ui->btnClose, &QPushButton::clicked, this, &Setting::on_btnClose_clicked);
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &Setting::on_buttonBox_clicked);
    connect(ui->btnBrowseSnap, &QPushButton::clicked, this, &Setting::on_btnBrowseSnap_clicked);
    connect(ui->btnBrowseCut, &QPushButton::clicked, this, &Setting::on_btnBrowseCut_clicked);
    connect(ui->btnBrowseBackup, &QPushButton::clicked, this, &Setting::on_btnBrowseBackup_clicked);
    Retranslate();
    Load();
}

Setting::~Setting() {
    delete ui;
}

void Setting::SetFolderChooser(FolderChooser chooser) {
    m_chooser = std::move(chooser);
}

void Setting::Load() {
    const PlayerSettings& s = CPlayerContext::Instance()->settings;
    if (s.stick == 1)
        ui->radioButtonAlwaysStick->setChecked(true);
    else if (s.stick == 2)
        ui->radioButtonPlayStick->setChecked(true);
    else
        ui->radioButtonNerverStick->setChecked(true);
    LoadChoices(ui->comboBoxFormatSnap, kSnapFormats, s.capPicFormat);
    ui->lineEditFolderSnap->setText(s.capPicFolder);
    LoadChoices(ui->comboBoxFormatCut, kCutFormats, s.cutRecordFormat);
    ui->lineEditFolderCut->setText(s.cutRecordFolder);
    LoadChoices(ui->comboBoxFormatBackup, kBackupFormats, s.backupFormat);
    ui->lineEditFolderBackup->setText(s.backupFolder);
    ui->checkBoxSavePlayList->setCheckable(true);
    // Any non-zero value keeps the play list (as the context reads it), so the box shows that.
    ui->checkBoxSavePlayList->setChecked(s.exitKeepPlaylistFiles != 0);
}

void Setting::Store() {
    PlayerSettings& s = CPlayerContext::Instance()->settings;
    int stick = 0;
    if (ui->radioButtonPlayStick->isChecked())
        stick = 2;
    else if (ui->radioButtonAlwaysStick->isChecked())
        stick = 1;
    s.stick = stick;
    // At once, so the window takes the mode before the rest is stored.
    emit onStickSel(uint(stick));
    s.capPicFormat = ChosenValue(ui->comboBoxFormatSnap);
    s.capPicFolder = ui->lineEditFolderSnap->text();
    s.cutRecordFormat = ChosenValue(ui->comboBoxFormatCut);
    s.cutRecordFolder = ui->lineEditFolderCut->text();
    s.backupFormat = ChosenValue(ui->comboBoxFormatBackup);
    s.backupFolder = ui->lineEditFolderBackup->text();
    s.exitKeepPlaylistFiles = ui->checkBoxSavePlayList->isChecked() ? 1 : 0;
    emit onSettingsStored();
}

void Setting::on_buttonBox_clicked(QAbstractButton* button) {
    if (button == ui->buttonBox->button(QDialogButtonBox::Ok)) {
        Store();
        hide();
    } else if (button == ui->buttonBox->button(QDialogButtonBox::Cancel)) {
        Load();
        hide();
    }
}

void Setting::on_btnClose_clicked() {
    hide();
}

void Setting::on_btnBrowseSnap_clicked() {
    BrowseInto(ui->lineEditFolderSnap);
}

void Setting::on_btnBrowseCut_clicked() {
    BrowseInto(ui->lineEditFolderCut);
}

void Setting::on_btnBrowseBackup_clicked() {
    BrowseInto(ui->lineEditFolderBackup);
}

void Setting::BrowseInto(QLineEdit* target) {
    const FolderChooser& choose = m_chooser ? m_chooser : FolderChooser(&SystemFolderChooser);
    const QString folder = choose(this, tr("select_folder"), target->text());
    // A cancelled chooser keeps the folder shown. The platform's own separators: "/" on Linux.
    if (!folder.isEmpty()) target->setText(QDir::toNativeSeparators(QDir::cleanPath(folder)));
}

void Setting::showEvent(QShowEvent* event) {
    Load();
    qDebug("Setting:showevent");
    PlayerDialog::showEvent(event);
}

void Setting::Retranslate() {
    ui->labelTittle->setText(tr("setting"));
    if (QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok)) ok->setText(tr("OK"));
    if (QPushButton* cancel = ui->buttonBox->button(QDialogButtonBox::Cancel)) cancel->setText(tr("Cancel"));
    ui->labelStick->setText(tr("stick_set"));
    ui->radioButtonNerverStick->setText(tr("stick_never"));
    ui->radioButtonAlwaysStick->setText(tr("stick_always"));
    ui->radioButtonPlayStick->setText(tr("stick_playing"));
    ui->labelSnap->setText(tr("snap_set"));
    ui->labelCut->setText(tr("cut_set"));
    ui->labelBackup->setText(tr("backup_set"));
    ui->labelExit->setText(tr("exit_set"));
    for (QLabel* label : {ui->labelFormatSnap, ui->labelFormatCut, ui->labelFormatBackup}) label->setText(tr("format"));
    for (QLabel* label : {ui->labelFolderSnap, ui->labelFolderCut, ui->labelFolderBackup})
        label->setText(tr("saving_path"));
    ui->checkBoxSavePlayList->setText(tr("record_playlist"));
}
