#include "player/dialogs/backupmanager.h"

#include <QHeaderView>
#include <QPushButton>

#include "ui_BackupManager.h"

BackupManager::BackupManager(QWidget* parent) : PlayerDialog(parent), ui(new Ui::BackupManager) {
    ui->setupUi(this);
    InitFrame(ui->widgetTittle, ui->btnClose, kWindowFlags);
    connect(ui->btnClose, &QPushButton::clicked, this, &BackupManager::on_btnClose_clicked);
    for (QTableWidget* table : {ui->tableWidgetIng, ui->tableWidgetDone}) {
        table->setColumnCount(4);
        table->setColumnWidth(0, 300);
        table->setColumnWidth(1, 160);
    }
    ui->tableWidgetIng->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->tableWidgetIng->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->tableWidgetIng->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ui->tableWidgetIng->horizontalHeader()->setSectionsClickable(false);
    Retranslate();
}

BackupManager::~BackupManager() {
    delete ui;
}

void BackupManager::on_btnClose_clicked() {
    hide();
}

void BackupManager::Retranslate() {
    ui->labelTittle->setText(tr("backup_list"));
    ui->btnDelete->setText(tr("delete"));
    ui->btnOpenSrc->setText(tr("open_src"));
    ui->btnClear->setText(tr("clear"));
    ui->tabWidget->setTabText(ui->tabWidget->indexOf(ui->tabIng), tr("backup_ing"));
    ui->tabWidget->setTabText(ui->tabWidget->indexOf(ui->tabDone), tr("backup_done"));
    ui->tableWidgetIng->setHorizontalHeaderLabels({tr("name"), tr("time"), tr("size"), tr("progress")});
    ui->tableWidgetDone->setHorizontalHeaderLabels({tr("name"), tr("time"), tr("size"), tr("result")});
}
