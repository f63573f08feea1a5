// The dialog in which a camera stream's URL is entered: an editable history of the URLs entered
// before (newest first, ending with an item that clears it), two example URLs with buttons that
// copy them into the input, and the URL syntax. Ok hands a playable URL (LumoIsStreamUrl) to the
// main window.
//
// Passwords never show: the history's texts and tool tips, and the input once a URL is chosen,
// show "user:****@"; the URL stored and handed on stays whole. A masked password in the input
// stands for the password of the history URL with the same user, host and port.
#pragma once

#include <QString>

#include "player/dialogs/playerdialog.h"

class QStandardItem;
class QStandardItemModel;

namespace Ui {
class AddUrl;
}

class AddUrl : public PlayerDialog {
    Q_OBJECT
public:
    explicit AddUrl(QWidget* parent = nullptr);
    ~AddUrl() override;

    // url with its password replaced by "****" (unchanged when it has none).
    static QString MaskPassword(const QString& url);

    void on_btnClose_clicked();
    // Ok: refuses an empty, unplayable or unresolved input with a tip and stays; else puts a
    // new URL at the top of the history, hands the URL on (onAddUrl) and hides. Cancel hides.
    void on_buttonBox_clicked(QAbstractButton* button);
    void on_btnCopy1_clicked();
    void on_btnCopy2_clicked();
    // Choosing the clear item empties the input and the history.
    void on_comboBoxUrl_currentTextChanged(const QString& text);

signals:
    // On an accepted Ok: url points to the QString of the URL, valid during the emission only.
    void onAddUrl(void* url);

protected:
    void Retranslate() override;

private:
    QStandardItem* NewUrlItem(const QString& url) const;
    QStandardItem* NewClearItem() const;
    // The URL that text stands for (a masked password taken from the history); empty when a
    // masked password matches no history URL.
    QString Resolve(const QString& text) const;
    void StoreHistory() const;

    Ui::AddUrl* ui;
    QStandardItemModel* m_model;  // the history (full URL in Qt::UserRole), then the clear item
};
