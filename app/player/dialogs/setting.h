// The player's settings: stay-on-top mode, snapshot and clip formats and folders, the (hidden)
// backup format and folder, and whether the play list is kept on exit. The controls are loaded
// from the application context on construction, on every show and on Cancel; Ok stores them
// back (the main window writes the settings file when it closes).
#pragma once

#include <functional>

#include "player/dialogs/playerdialog.h"

class QComboBox;
class QLineEdit;

namespace Ui {
class Setting;
}

class Setting : public PlayerDialog {
    Q_OBJECT
public:
    // Picks a folder: (parent, caption, folder to start in) -> the folder, empty when cancelled.
    using FolderChooser = std::function<QString(QWidget*, const QString&, const QString&)>;

    explicit Setting(QWidget* parent = nullptr);
    ~Setting() override;

    // Replaces the system folder chooser (an empty function restores it).
    void SetFolderChooser(FolderChooser chooser);

    // Ok: stores the controls into the context, emits onStickSel and hides. Cancel: reloads the
    // controls from the context and hides.
    void on_buttonBox_clicked(QAbstractButton* button);
    // Hides without storing; the next show reloads.
    void on_btnClose_clicked();
    void on_btnBrowseSnap_clicked();
    void on_btnBrowseCut_clicked();
    void on_btnBrowseBackup_clicked();

signals:
    // The stay-on-top mode stored by Ok (0 never, 1 always, 2 while playing), on every Ok.
    void onStickSel(uint stick);
    // Ok stored every value into the context (after onStickSel).
    void onSettingsStored();

protected:
    void Retranslate() override;
    void showEvent(QShowEvent* event) override;

private:
    void Load();
    void Store();
    void BrowseInto(QLineEdit* target);

    Ui::Setting* ui;
    FolderChooser m_chooser;
};
