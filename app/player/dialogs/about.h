// The About dialog: the program's name, version and build from the application context.
#pragma once

#include "player/dialogs/playerdialog.h"

namespace Ui {
class About;
}

class About : public PlayerDialog {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);
    ~About() override;

    // Both hide the dialog; it is shown again as it was.
    void on_btnClose_clicked();
    void on_buttonBox_clicked(QAbstractButton* button);

protected:
    void Retranslate() override;

private:
    Ui::About* ui;
};
