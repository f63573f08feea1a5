#include "player/dialogs/addurl.h"

#include <QListView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>

#include "LumoFS/LumoStreamUrl.h"
#include "player/dialogs/dialogtip.h"
#include "player/playercontext.h"
#include "VantelCore/urlmask.h"
#include "ui_AddUrl.h"

namespace {

const QString kMask = VantelUrlPasswordMask();
const QString kExampleHost = QStringLiteral("192.168.1.10");
constexpr int kUrlRole = Qt::UserRole;  // the whole URL; absent on the clear item

QString Example(const char* protocol, int port) {
    return QStringLiteral("%1://admin:482916@%2:%3/mode=real&idc=1&ids=1")
        .arg(QLatin1String(protocol), kExampleHost)
        .arg(port);
}

// The password's place, as every shown URL of the suite masks it.
bool FindPassword(const QString& url, int* begin, int* end, int* authorityEnd) {
    // A text without "://" is no stream URL to restore a password into.
    return url.contains(QLatin1String("://")) && VantelFindUrlPassword(url, begin, end, authorityEnd);
}

}  // namespace

AddUrl::AddUrl(QWidget* parent) : PlayerDialog(parent), ui(new Ui::AddUrl) {
    ui->setupUi(this);
    InitFrame(ui->widgetTittle, ui->btnClose, kWindowFlags);
    ui->comboBoxUrl->setView(new QListView(ui->comboBoxUrl));
    // Enter must not put the typed text into the history as an item of its own: it would show a
    // password and carry no URL; Ok decides what enters the history.
    ui->comboBoxUrl->setInsertPolicy(QComboBox::NoInsert);
    m_model = new QStandardItemModel(this);
    connect(ui->btnClose, &QPushButton::clicked, this, &AddUrl::on_btnClose_clicked);
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &AddUrl::on_buttonBox_clicked);
    connect(ui->btnCopy1, &QPushButton::clicked, this, &AddUrl::on_btnCopy1_clicked);
    connect(ui->btnCopy2, &QPushButton::clicked, this, &AddUrl::on_btnCopy2_clicked);

    ui->labelUrlExample1->setText(Example("quii", 34567));
    ui->labelUrlExample2->setText(Example("rtsp", 554));
    for (const QString& url : CPlayerContext::Instance()->settings.urlRecords) m_model->appendRow(NewUrlItem(url));
    m_model->appendRow(NewClearItem());
    ui->comboBoxUrl->setModel(m_model);
    if (ui->comboBoxUrl->count() > 1)
        ui->comboBoxUrl->setCurrentText(ui->comboBoxUrl->itemText(0));
    else
        ui->comboBoxUrl->setCurrentText(ui->labelUrlExample1->text());
    // Connected once the model is in place: filling it is no choice of the user's.
    connect(ui->comboBoxUrl, &QComboBox::currentTextChanged, this, &AddUrl::on_comboBoxUrl_currentTextChanged);
    Retranslate();
}

AddUrl::~AddUrl() {
    delete ui;
}

QString AddUrl::MaskPassword(const QString& url) {
    return VantelMaskUrl(url);
}

QStandardItem* AddUrl::NewUrlItem(const QString& url) const {
    const QString shown = MaskPassword(url);
    auto* item = new QStandardItem(shown);
    item->setToolTip(shown);
    item->setData(url, kUrlRole);
    return item;
}

QStandardItem* AddUrl::NewClearItem() const {
    auto* item = new QStandardItem(tr("url_clear"));
    item->setToolTip(item->text());
    return item;
}

QString AddUrl::Resolve(const QString& text) const {
    int begin = 0, end = 0, authorityEnd = 0;
    if (!FindPassword(text, &begin, &end, &authorityEnd) || text.mid(begin, end - begin) != kMask) return text;
    const QString user = text.left(begin);
    const QString hostPort = text.mid(end, authorityEnd - end);
    QString sameAccount;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QString url = m_model->item(row)->data(kUrlRole).toString();
        if (url.isEmpty()) continue;
        if (MaskPassword(url) == text) return url;  // the history URL itself
        int b = 0, e = 0, a = 0;
        if (sameAccount.isEmpty() && FindPassword(url, &b, &e, &a) && url.left(b) == user &&
            url.mid(e, a - e) == hostPort)
            sameAccount = text.left(begin) + url.mid(b, e - b) + text.mid(end);
    }
    return sameAccount;
}

void AddUrl::StoreHistory() const {
    QStringList history;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QString url = m_model->item(row)->data(kUrlRole).toString();
        if (!url.isEmpty()) history << url;
    }
    CPlayerContext::Instance()->settings.urlRecords = history;
}

void AddUrl::on_btnClose_clicked() {
    hide();
}

void AddUrl::on_buttonBox_clicked(QAbstractButton* button) {
    if (button == ui->buttonBox->button(QDialogButtonBox::Cancel)) {
        hide();
        return;
    }
    if (button != ui->buttonBox->button(QDialogButtonBox::Ok)) return;
    const QString text = ui->comboBoxUrl->currentText().trimmed();
    if (text.isEmpty()) {
        DialogTip(tr("tip"), tr("enter_valid_url"), this, 0, false).exec();
        return;
    }
    QString url = Resolve(text);
    if (url.isEmpty()) {
        DialogTip(tr("tip"), tr("url_enter_password"), this, 0, false).exec();
        return;
    }
    if (!LumoIsStreamUrl(url.toStdString())) {
        DialogTip(tr("tip"), tr("url_not_playable"), this, 0, false).exec();
        return;
    }
    int row = 0;
    while (row < m_model->rowCount() && m_model->item(row)->data(kUrlRole).toString() != url) ++row;
    if (row == m_model->rowCount()) {
        // A new URL goes to the top; one already listed keeps its place.
        m_model->insertRow(0, NewUrlItem(url));
        row = 0;
    }
    ui->comboBoxUrl->setCurrentIndex(row);  // the input shows the URL masked from now on
    emit onAddUrl(&url);
    hide();
    StoreHistory();
}

void AddUrl::on_btnCopy1_clicked() {
    ui->comboBoxUrl->setCurrentText(ui->labelUrlExample1->text());
}

void AddUrl::on_btnCopy2_clicked() {
    ui->comboBoxUrl->setCurrentText(ui->labelUrlExample2->text());
}

void AddUrl::on_comboBoxUrl_currentTextChanged(const QString& text) {
    if (text != tr("url_clear")) return;
    ui->comboBoxUrl->setCurrentText(QString());
    // Also ends the re-entry of the clearing below: the combo reports the clear item once more.
    if (ui->comboBoxUrl->count() < 2) return;
    m_model->clear();
    m_model->appendRow(NewClearItem());
    ui->comboBoxUrl->setCurrentText(QString());
    CPlayerContext::Instance()->settings.urlRecords.clear();
}

void AddUrl::Retranslate() {
    ui->labelTittle->setText(tr("add_URL"));
    ui->labelUrl->setText(tr("url"));
    ui->labelExample->setText(tr("url_example"));
    ui->labelUrlExampleDesc->setText(tr("protocol") + QLatin1String("://") + tr("username") + QLatin1String(":") +
                                     tr("password") + QLatin1String("@") + tr("ip") + QLatin1String(":") +
                                     tr("port") + QLatin1String("/mode=real&idc=") + tr("channel") +
                                     QLatin1String("&ids=") + tr("stream"));
    for (QPushButton* copy : {ui->btnCopy1, ui->btnCopy2}) {
        copy->setText(tr("copy"));
        copy->setToolTip(tr("url_copy"));
    }
    if (QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok)) ok->setText(tr("OK"));
    if (QPushButton* cancel = ui->buttonBox->button(QDialogButtonBox::Cancel)) cancel->setText(tr("Cancel"));
    // The clear item follows the language. The combo would copy a changed current item into the
    // input (and might take it for a choice of the clear item), so the input is kept as it is.
    const QString input = ui->comboBoxUrl->currentText();
    const QSignalBlocker blocker(ui->comboBoxUrl);
    QStandardItem* last = m_model->item(m_model->rowCount() - 1);
    if (last && !last->data(kUrlRole).isValid()) {
        last->setText(tr("url_clear"));
        last->setToolTip(last->text());
    } else {
        m_model->appendRow(NewClearItem());
    }
    ui->comboBoxUrl->setCurrentText(input);
}
