// The e-mail page of the client settings dialog: the SMTP account and recipients of the client
// configuration, and a test mail sent with the values on screen.
#pragma once

#include <QItemDelegate>

#include "sysconfigpage.h"

class QCompleter;
class QStandardItemModel;

// Rows of the address suggestion list at least 30 pixels high.
class ComboBoxDelegate : public QItemDelegate {
    Q_OBJECT
public:
    using QItemDelegate::QItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class EmailConfig : public SysConfigPage {
    Q_OBJECT
public:
    EmailConfig(int code, SysConfig* owner);
    void LoadOption(LumoC::OptionBase* option) override;
    void StoreOption(LumoC::OptionBase* option) override;
    const char* TitleKey() const override { return "K2300_E-MAIL"; }

    QStandardItemModel* GetSuggestions() const { return m_suggestions; }
    // The port the page shows for a security value: the record's entry, or the default port of
    // that security when the record has none.
    static quint16 PortOf(const LumoC::EmailOption& option, int security);

public slots:
    void OnEmailChoosed(const QString& text);
    void OnEmailChanged(const QString& text);
    void SetEmailFmt();
    void SwichPortNum();
    // 0 when the mail was handed to a sender, -1 when it was refused (reported).
    int SendTestEmail();
    void EmailSendReturn(int status, bool finished, bool secured, void* object);

protected:
    std::unique_ptr<LumoC::OptionBase> NewDefault() const override;
    bool SameAsLive(const LumoC::OptionBase& shown) const override;

private:
    int ShownSecurity() const;

    QStandardItemModel* m_suggestions = nullptr;  // child of the page
    QCompleter* m_completer = nullptr;            // child of the page
    LumoC::EmailOption m_loaded;
};
