#include "emailconfig.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QStandardItemModel>

#include "VantelMail/lumocsmtp.h"
#include "VantelInfraAPI/notifier.h"
#include "sysconfig.h"
#include "ui_sysconfig.h"

QSize ComboBoxDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize s = QItemDelegate::sizeHint(option, index);
    s.setHeight(std::max(s.height(), 30));
    return s;
}

EmailConfig::EmailConfig(int code, SysConfig* owner) : SysConfigPage(code, owner) {
    m_option = LumoCConfiguration::GetLumoCConfig()->GetEmailOption();
    SetEmailFmt();
    ui()->ssl->hide();  // offered: none and STARTTLS
}

void EmailConfig::SetEmailFmt() {
    Ui::SysConfig* u = ui();
    u->port->setRange(1, 65535);
    if (!m_suggestions) {
        m_suggestions = new QStandardItemModel(0, 1, this);
        m_completer = new QCompleter(m_suggestions, this);
        m_completer->popup()->setStyleSheet(
            QStringLiteral("background-color:#232323;color:#ffffff;border:1px solid "
                           "#434343;selection-background-color:#434343;"));
        m_completer->popup()->setItemDelegate(new ComboBoxDelegate(m_completer->popup()));
        // The suggestions complete the sender's address; a choice writes the sender.
        u->sender->setCompleter(m_completer);
        connect(m_completer, QOverload<const QString&>::of(&QCompleter::activated), this,
                &EmailConfig::OnEmailChoosed);
        u->password->setEchoMode(QLineEdit::Password);
        for (QLineEdit* e : {u->sender, u->receiver1, u->receiver2, u->receiver3})
            connect(e, &QLineEdit::textChanged, this, &EmailConfig::OnEmailChanged);
        for (QRadioButton* r : {u->noEncrypt, u->ssl, u->smartTLS})
            connect(r, &QRadioButton::toggled, this, &EmailConfig::SwichPortNum);
    }
    connect(u->btnSendTestEmail, &QPushButton::clicked, this, &EmailConfig::SendTestEmail,
            Qt::UniqueConnection);
}

void EmailConfig::OnEmailChanged(const QString& text) {
    if (text.contains(QLatin1Char('@'))) return;
    static const char* const domains[] = {"@example.com",      "@example.net",      "@example.org",
                                          "@mail.example.com", "@mail.example.net", "@mail.example.org"};
    m_suggestions->removeRows(0, m_suggestions->rowCount());
    for (const char* d : domains) m_suggestions->insertRow(0, new QStandardItem(text + QLatin1String(d)));
}

void EmailConfig::OnEmailChoosed(const QString& text) {
    ui()->sender->clear();
    ui()->sender->setText(text);
}

int EmailConfig::ShownSecurity() const {
    return ui()->noEncrypt->isChecked() ? 0 : ui()->ssl->isChecked() ? 1 : 2;
}

quint16 EmailConfig::PortOf(const LumoC::EmailOption& option, int security) {
    auto it = option.ports.find(security);
    if (it != option.ports.end() && it->second != 0) return it->second;
    static const LumoC::EmailOption defaults;
    auto d = defaults.ports.find(security);
    return d != defaults.ports.end() ? d->second : 25;
}

void EmailConfig::SwichPortNum() {
    ui()->port->setValue(PortOf(*static_cast<LumoC::EmailOption*>(m_option), ShownSecurity()));
}

void EmailConfig::LoadOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::EmailOption*>(option ? option : m_option);
    m_loaded = *o;
    Ui::SysConfig* u = ui();
    u->smtpAddr->setText(QString::fromStdString(o->smtpServer));
    (o->security == 1 ? u->ssl : o->security == 2 ? u->smartTLS : u->noEncrypt)->setChecked(true);
    // The record is only read: a missing entry shows its security's usual port.
    u->port->setValue(PortOf(*o, o->security));
    u->sender->setText(QString::fromStdString(o->sender));
    u->user->setText(QString::fromStdString(o->user));
    u->password->setText(QString::fromStdString(o->password));
    u->subject->setText(QString::fromStdString(o->subject));
    u->receiver1->setText(QString::fromStdString(o->recipient1));
    u->receiver2->setText(QString::fromStdString(o->recipient2));
    u->receiver3->setText(QString::fromStdString(o->recipient3));
    RememberShown({u->noEncrypt, u->ssl, u->smartTLS, u->port});
}

void EmailConfig::StoreOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::EmailOption*>(option ? option : m_option);
    Ui::SysConfig* u = ui();
    o->smtpServer = u->smtpAddr->text().toStdString();
    const bool securityUntouched = Untouched(u->noEncrypt) && Untouched(u->ssl) && Untouched(u->smartTLS);
    o->security = securityUntouched ? m_loaded.security : ShownSecurity();
    o->ports = m_loaded.ports;
    if (!securityUntouched || !Untouched(u->port))
        o->ports[ShownSecurity()] = static_cast<uint16_t>(u->port->text().toUShort(nullptr, 10));
    o->sender = u->sender->text().toStdString();
    o->user = u->user->text().toStdString();
    o->password = u->password->text().toStdString();
    o->subject = u->subject->text().toStdString();
    o->recipient1 = u->receiver1->text().toStdString();
    o->recipient2 = u->receiver2->text().toStdString();
    o->recipient3 = u->receiver3->text().toStdString();
}

std::unique_ptr<LumoC::OptionBase> EmailConfig::NewDefault() const {
    return std::make_unique<LumoC::EmailOption>();
}

bool EmailConfig::SameAsLive(const LumoC::OptionBase& shown) const {
    const auto& a = static_cast<const LumoC::EmailOption&>(shown);
    const auto& b = *static_cast<const LumoC::EmailOption*>(m_option);
    return a.smtpServer == b.smtpServer && a.sender == b.sender && a.user == b.user &&
           a.password == b.password && a.subject == b.subject && a.recipient1 == b.recipient1 &&
           a.recipient2 == b.recipient2 && a.recipient3 == b.recipient3 && a.security == b.security &&
           PortOf(a, a.security) == PortOf(b, b.security);
}

int EmailConfig::SendTestEmail() {
    Ui::SysConfig* u = ui();
    auto refuse = [](const char* key) {
        INFRA::NotifierManager::instance()->notify(QObject::tr("K2356_Fail"), QObject::tr(key), 1,
                                                   QStringLiteral("#"));
        return -1;
    };
    const QString server = u->smtpAddr->text().trimmed();
    if (server.isEmpty()) return refuse("K6935_SMTPNotEmpty");
    const QString r1 = u->receiver1->text().trimmed();
    const QString r2 = u->receiver2->text().trimmed();
    const QString r3 = u->receiver3->text().trimmed();
    if (r1.isEmpty() && r2.isEmpty() && r3.isEmpty()) return refuse("K6929_EmailNotEmpty");
    const QString body = QStringLiteral("A test email from vantel!");
    const char security = u->ssl->isChecked() ? 1 : u->smartTLS->isChecked() ? 2 : 0;
    const quint16 port = u->port->text().toUShort(nullptr, 10);
    auto* smtp =
        new LumoCSmtp(server, u->user->text().trimmed(), u->password->text().trimmed(), port, security);
    connect(smtp, &LumoCSmtp::SignalStatus, this, &EmailConfig::EmailSendReturn);
    // One mail at a time: the button comes back with the report (which every SendMail gives,
    // an immediate refusal included).
    u->btnSendTestEmail->setEnabled(false);
    smtp->SendMail(u->sender->text().trimmed(), QStringList{r1, r2, r3}.join(QLatin1Char(';')),
                   u->subject->text().trimmed(), body);
    return 0;
}

void EmailConfig::EmailSendReturn(int status, bool, bool, void* object) {
    ui()->btnSendTestEmail->setEnabled(true);
    auto* notifier = INFRA::NotifierManager::instance();
    if (status == LumoCSmtp::StatusLoginDenied) {
        notifier->notify(QObject::tr("K2356_Fail"), QObject::tr("K0461_PasswordErr"), 1, QStringLiteral("#"));
    } else if (status != 0) {
        notifier->notify(QObject::tr("K2356_Fail"),
                         QStringLiteral("%1(%2)").arg(QObject::tr("K2359_SendErr")).arg(status), 1,
                         QStringLiteral("#"));
    } else {
        notifier->notify(QObject::tr("K2354_Success"), QObject::tr("K2359_SendSuccess"), 0,
                         QStringLiteral("#"));
    }
    if (object) static_cast<LumoCSmtp*>(object)->deleteLater();
}
