// The backup list window: backups under way and finished ones, each in a table of its own tab.
// Nothing in the player fills the tables yet, and its three buttons do nothing.
#pragma once

#include "player/dialogs/playerdialog.h"

namespace Ui {
class BackupManager;
}

class BackupManager : public PlayerDialog {
    Q_OBJECT
public:
    explicit BackupManager(QWidget* parent = nullptr);
    ~BackupManager() override;

    void on_btnClose_clicked();

protected:
    void Retranslate() override;

private:
    Ui::BackupManager* ui;
};
