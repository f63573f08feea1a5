#include "player/dialogs/adddiskfile.h"

#include <QCalendarWidget>
#include <QListView>
#include <QPushButton>
#include <QThread>
#include <QToolButton>

#include "LumoBase/LumoResult.h"
#include "player/diskmanager.h"
#include "player/dialogs/dialogtip.h"
#include "ui_AddDiskFile.h"

namespace {

const char* const kDiskListUrl = "lumofs://local/";

CLumoTime TimeOf(const QDate& date, const QTime& time) {
    CLumoTime t;
    t.SetYear(date.year());
    t.SetMonth(date.month());
    t.SetDay(date.day());
    t.SetHour(time.hour());
    t.SetMinute(time.minute());
    t.SetSecond(time.second());
    return t;
}

}  // namespace

AddDiskFile::AddDiskFile(QWidget* parent)
    : PlayerDialog(parent), ui(new Ui::AddDiskFile), m_result(new CLumoFileDescList(1)) {
    ui->setupUi(this);
    InitFrame(ui->widgetTittle, ui->btnClose, kWindowFlags);
    ui->comboBoxDisk->setView(new QListView(ui->comboBoxDisk));
    ui->comboBoxStream->setView(new QListView(ui->comboBoxStream));
    // The start date's month is stepped with the arrows only.
    if (QCalendarWidget* calendar = ui->dateEditS->calendarWidget())
        if (auto* month = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton")))
            month->setMenu(nullptr);

    for (int n = 1; n <= 64; ++n) {
        auto* button = findChild<QPushButton*>(QStringLiteral("btnChannal%1").arg(n));
        Q_ASSERT(button);
        m_channelButtons.push_back(button);
        connect(button, &QPushButton::clicked, this, [this, n] { OnChannelClicked(n); });
    }
    connect(ui->btnClose, &QPushButton::clicked, this, &AddDiskFile::on_btnClose_clicked);
    connect(ui->btnRefresh, &QPushButton::clicked, this, &AddDiskFile::on_btnRefresh_clicked);
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &AddDiskFile::on_buttonBox_clicked);
    connect(ui->btnChannalAll, &QPushButton::clicked, this, &AddDiskFile::on_btnChannalAll_clicked);

    InitControls();
    ScanDisks();
}

AddDiskFile::~AddDiskFile() {
    delete m_result;
    delete ui;
}

void AddDiskFile::InitControls() {
    if (m_bothStreams) ui->widgetStream->hide();
    // The record time word holds the years 2000 to 2063 only.
    for (QDateEdit* edit : {ui->dateEditS, ui->dateEditE})
        edit->setDateRange(QDate(kFirstYear, 1, 1), QDate(kLastYear, 12, 31));
    ui->dateEditS->setDate(QDate::currentDate());
    ui->dateEditE->setDate(QDate::currentDate());
    ui->timeEditS->setTime(QTime(0, 0, 0));
    ui->timeEditE->setTime(QTime(23, 59, 59));
    SetAllChannelsChecked(false);
    ui->btnChannalAll->setChecked(false);
    m_channelButtons[0]->setChecked(true);
    Retranslate();
    ui->btnChannalAll->setProperty("channel", true);
    for (QPushButton* b : m_channelButtons) b->setProperty("channel", true);
}

void AddDiskFile::Retranslate() {
    ui->labelTittle->setText(tr("add_disk_file"));
    ui->labelDisk->setText(tr("disk"));
    ui->btnRefresh->setText(tr("refresh"));
    ui->labelTime->setText(tr("time"));
    ui->labelStream->setText(tr("stream"));
    ui->labelChannel->setText(tr("channel"));
    ui->btnChannalAll->setText(tr("all"));
    if (QPushButton* ok = ui->buttonBox->button(QDialogButtonBox::Ok)) ok->setText(tr("OK"));
    if (QPushButton* cancel = ui->buttonBox->button(QDialogButtonBox::Cancel)) cancel->setText(tr("Cancel"));
    ui->comboBoxStream->clear();
    ui->comboBoxStream->addItem(tr("main_stream"));
    ui->comboBoxStream->addItem(tr("sub_stream"));
}

template <class Work, class Done>
void AddDiskFile::RunWorker(Work work, Done done) {
    QThread* thread = QThread::create(std::move(work));
    // finished comes from the worker: queued to this dialog, dropped when it is gone.
    connect(thread, &QThread::finished, this, std::move(done), Qt::QueuedConnection);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void AddDiskFile::ScanDisks() {
    if (m_busy) return;
    m_busy = true;
    SetControlsEnabled(false);
    struct Scan {
        CLumoList disks{10};
        int result = LUMO_ERR_FAIL;
    };
    auto scan = std::make_shared<Scan>();
    CDiskManager* manager = CDiskManager::Instance();
    RunWorker([scan, manager] { scan->result = manager->SearchDisks(kDiskListUrl, &scan->disks); },
              [this, scan] { OnScanDone(scan->result, scan->disks); });
}

void AddDiskFile::OnScanDone(int result, const CLumoList& disks) {
    m_busy = false;
    ui->comboBoxDisk->clear();
    const bool found = result == LUMO_OK && !disks.IsEmpty();
    if (found)
        for (int i = 0; i < disks.GetCount(); ++i) ui->comboBoxDisk->addItem(QString::fromUtf8(disks.GetAt(i)));
    SetControlsEnabled(found);
    emit scanFinished(found ? 0 : -1);
}

void AddDiskFile::on_btnRefresh_clicked() {
    ScanDisks();
}

void AddDiskFile::on_btnClose_clicked() {
    hide();
}

uint64_t AddDiskFile::GetSelectedChannels() const {
    if (ui->btnChannalAll->isChecked()) return ~uint64_t(0);
    uint64_t mask = 0;
    for (int i = 0; i < m_channelButtons.size(); ++i)
        if (m_channelButtons[i]->isChecked()) mask |= uint64_t(1) << i;
    return mask;
}

void AddDiskFile::SetAllChannelsChecked(bool checked) {
    for (QPushButton* b : m_channelButtons) b->setChecked(checked);
}

void AddDiskFile::SetChannelsEnabled(bool enabled) {
    for (QPushButton* b : m_channelButtons) b->setEnabled(enabled);
}

void AddDiskFile::SetControlsEnabled(bool enabled) {
    for (auto which : {QDialogButtonBox::Ok, QDialogButtonBox::Cancel})
        if (QPushButton* b = ui->buttonBox->button(which)) b->setEnabled(enabled);
    ui->dateEditS->setEnabled(enabled);
    ui->dateEditE->setEnabled(enabled);
    ui->timeEditS->setEnabled(enabled);
    ui->timeEditE->setEnabled(enabled);
    ui->comboBoxStream->setEnabled(enabled);
    ui->btnChannalAll->setEnabled(enabled);
    SetChannelsEnabled(enabled);
}

void AddDiskFile::on_btnChannalAll_clicked() {
    SetAllChannelsChecked(ui->btnChannalAll->isChecked());
}

void AddDiskFile::OnChannelClicked(int channel) {
    if (channel < 1 || channel > m_channelButtons.size()) return;
    if (!m_channelButtons[channel - 1]->isChecked())
        ui->btnChannalAll->setChecked(false);
    else if (GetSelectedChannels() == ~uint64_t(0))
        ui->btnChannalAll->setChecked(true);
}

int AddDiskFile::FillSearchParam(ILumoFSSearchParam* param) const {
    if (!param) return LUMO_ERR_BADPARAM;
    const CLumoTime start = TimeOf(ui->dateEditS->date(), ui->timeEditS->time());
    const CLumoTime end = TimeOf(ui->dateEditE->date(), ui->timeEditE->time());
    // Outside the years the time word holds a time would be stored wrongly: never searched.
    if (start.ToPacked() == 0 || end.ToPacked() == 0) return LUMO_ERR_BADPARAM;
    if (start - end >= 0) return kBadTimeRange;
    param->SetTimeS(start);
    param->SetTimeE(end);
    const uint64_t mask = GetSelectedChannels();
    if (mask == 0) return kNoChannel;
    if (m_bothStreams) {
        param->SetChannelMask(0, mask);
        param->SetChannelMask(1, mask);
    } else {
        param->SetChannelMask(ui->comboBoxStream->currentIndex(), mask);
    }
    return 0;
}

void AddDiskFile::on_buttonBox_clicked(QAbstractButton* button) {
    if (button == ui->buttonBox->button(QDialogButtonBox::Cancel)) {
        hide();
        return;
    }
    if (button != ui->buttonBox->button(QDialogButtonBox::Ok) || m_busy) return;
    m_busy = true;
    SetControlsEnabled(false);
    auto param = std::make_shared<ILumoFSSearchParam>(1);
    const int filled = FillSearchParam(param.get());
    if (filled != 0) {
        OnSearchDone(filled, CLumoFileDescList(1));
        return;
    }
    struct Search {
        CLumoFileDescList working{1};  // the worker's until it has ended
        int code = LUMO_ERR_FAIL;
    };
    auto search = std::make_shared<Search>();
    const QByteArray disk = ui->comboBoxDisk->currentText().toUtf8();
    CDiskManager* manager = CDiskManager::Instance();
    RunWorker([search, param, disk, manager] {
                  search->code = manager->SearchMedia(disk.constData(), param.get(), &search->working, 0);
              },
              [this, search] { OnSearchDone(search->code, search->working); });
}

void AddDiskFile::OnSearchDone(int code, const CLumoFileDescList& working) {
    const char* title = "tip";
    const char* text = nullptr;
    if (code == kBadTimeRange) {
        text = "error_search_time";
    } else if (code == kNoChannel) {
        text = "error_search_channel";
    } else if (code == LUMO_ERR_BADPARAM) {
        title = "warning";
        text = "error_search_param";
    } else if (code == LUMO_ERR_NOMORE && working.IsEmpty()) {
        text = "no_record";
    } else if (code != LUMO_OK && code != LUMO_ERR_NOMORE) {
        title = "warning";
        text = "fail_disk_file_search";
    }
    if (!text) {
        // A copy of its own: the working list goes with the search that made it.
        *m_result = working;
        hide();
        emit onAddDiskFile(m_result);
    } else {
        DialogTip tip(tr(title), tr(text), this, 0, false);
        tip.exec();
    }
    m_busy = false;
    SetControlsEnabled(true);
    emit searchFinished(code);
}
