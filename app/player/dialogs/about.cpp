#include "player/dialogs/about.h"

#include <QPushButton>

#include "player/playercontext.h"
#include "ui_About.h"

About::About(QWidget* parent) : PlayerDialog(parent), ui(new Ui::About) {
    ui->setupUi(this);
    InitFrame(ui->widgetTittle, ui->btnClose, kCoverFlags);
    connect(ui->btnClose, &QPushButton::clicked, this, &About::on_btnClose_clicked);
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &About::on_buttonBox_clicked);
    Retranslate();
    const CPlayerContext* context = CPlayerContext::Instance();
    ui->labelAboutName->setText(context->appName);
    ui->labelAboutVersion->setText(context->appVersion);
    ui->labelAboutBuild->setText(context->appBuild);
}

About::~About() {
    delete ui;
}

void About::on_btnClose_clicked() {
    hide();
}

void About::on_buttonBox_clicked(QAbstractButton*) {
    hide();
}

void About::Retranslate() {
    ui->labelTittle->setText(tr("about"));
    if (QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok)) ok->setText(tr("OK"));
}
