#include "alarmconfig.h"

#include <QDebug>
#include <QDir>
#include <QTableView>
#include <QHeaderView>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QStyle>

#include "VantelSound/alarmsound.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "sysconfig.h"
#include "ui_sysconfig.h"

AlarmModel::AlarmModel(QObject* parent) : QStandardItemModel(parent) {}

QVariant AlarmModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::ToolTipRole && (index.column() == 1 || index.column() == 2))
        return QStandardItemModel::data(index, Qt::DisplayRole).toString();
    return QStandardItemModel::data(index, role);
}

QWidget* AlarmNameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    m_editor = editor;
    return editor;
}

void AlarmNameDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (m_editor == editor) m_editor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void AlarmNameDelegate::CommitOpenEditor() {
    if (!m_editor) return;
    QWidget* editor = m_editor;
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
}

// ---------------------------------------------------------------------------------------------

AlarmConfig::AlarmConfig(int code, SysConfig* owner) : SysConfigPage(code, owner) {
    m_option = LumoCConfiguration::GetLumoCConfig()->GetAlarmOption();
    m_model = new AlarmModel(this);
    m_model->setColumnCount(ColumnCount);
    m_model->setHorizontalHeaderLabels({QObject::tr("K2210_HvNo"), QObject::tr("K2211_HvType"),
                                        QObject::tr("K2212_HvAudioFile"), QObject::tr("K6934_PathSelect"),
                                        QObject::tr("K0474_Operattion"), QString()});
    ui()->tvAlarmOption->setModel(m_model);
    m_delegate = new AlarmNameDelegate(this);
    ui()->tvAlarmOption->setItemDelegateForColumn(ColType, m_delegate);
    ApplyLook();
    ApplyColumnWidths();
    ui()->tvAlarmOption->viewport()->installEventFilter(this);
    connect(ui()->addAudio, &QPushButton::clicked, this, &AlarmConfig::OnAddAudioClicked);
    connect(m_model, &QStandardItemModel::itemChanged, this, &AlarmConfig::OnItemChanged);
    m_default.Reset(true);
    m_builtInCount = int(m_default.alarms.size());
}

QString AlarmConfig::TranslateAlarmType(const QString& name) {
    static const char* const keys[] = {
        "K2220_MobeileDetection", "K2221_AudioVedioAbnor", "K2222_AlarmIn",    "K2223_AIAlarm",
        "K2225_DeviceErr",        "K2226_AccessControl",   "K2227_OtherAlarm", "K2228_UserDefineType"};
    static QMap<QString, QString> table;  // built once, GUI thread only
    if (table.isEmpty())
        for (const char* k : keys) table.insert(QLatin1String(k), QObject::tr(k));
    return table.value(name, name);
}

void AlarmConfig::ApplyLook() {
    QTableView* tv = ui()->tvAlarmOption;
    tv->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tv->setSelectionMode(QAbstractItemView::NoSelection);
    tv->verticalHeader()->hide();
    tv->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    tv->verticalHeader()->setDefaultSectionSize(35);
    tv->setFocusPolicy(Qt::NoFocus);
    tv->setShowGrid(false);
    tv->setAlternatingRowColors(true);
    tv->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
}

void AlarmConfig::ApplyColumnWidths() {
    QTableView* tv = ui()->tvAlarmOption;
    QHeaderView* header = tv->horizontalHeader();
    int widths[] = {75, 260, 350, 180, 60};
    // No column is narrower than its label, in whatever language.
    for (int c = 0; c < 5; ++c) widths[c] = qMax(widths[c], header->sectionSizeHint(c));
    // The buttons of the last columns must stay within reach (there is no horizontal scroll
    // bar): a narrower table takes the room from the sound file's path first (it shows whole in
    // its tooltip), then from the choose button, then from the alarm type, each down to its label.
    const int room = tv->viewport()->width();
    int excess = room > 0 ? 40 - room : 0;
    for (int w : widths) excess += w;
    for (int c : {int(ColPath), int(ColChoose), int(ColType)}) {
        if (excess <= 0) break;
        const int give = qMin(excess, qMax(0, widths[c] - header->sectionSizeHint(c)));
        widths[c] -= give;
        excess -= give;
    }
    for (int c = 0; c < 5; ++c) tv->setColumnWidth(c, widths[c]);
    header->setStretchLastSection(true);
}

bool AlarmConfig::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui()->tvAlarmOption->viewport() && event->type() == QEvent::Resize) ApplyColumnWidths();
    return SysConfigPage::eventFilter(watched, event);
}

void AlarmConfig::SetRow(int row, int number, const QString& type, const QString& path) {
    auto* num = new QStandardItem(QString::number(number));
    num->setFlags(num->flags() & ~Qt::ItemIsEditable);
    auto* name = new QStandardItem(type);
    if (row < m_builtInCount) name->setFlags(name->flags() & ~Qt::ItemIsEditable);
    auto* file = new QStandardItem(path);
    file->setFlags(file->flags() & ~Qt::ItemIsEditable);
    m_model->setItem(row, ColNumber, num);
    m_model->setItem(row, ColType, name);
    m_model->setItem(row, ColPath, file);
    PlaceButtons(row);
}

void AlarmConfig::PlaceButtons(int row) {
    static const QStyle::StandardPixmap icons[] = {QStyle::SP_DialogOpenButton, QStyle::SP_MediaPlay,
                                                   QStyle::SP_TrashIcon};
    static const char* const tips[] = {"K2214_SelectAudioFile", "K2213_Play", "K2216_Delete"};
    for (int col = ColChoose; col <= ColDelete; ++col) {
        auto* button = new QPushButton;
        button->setIcon(button->style()->standardIcon(icons[col - ColChoose]));
        button->setToolTip(QObject::tr(tips[col - ColChoose]));
        button->setProperty("row", row);
        button->setProperty("col", col);
        if (col == ColDelete) {
            button->setFixedSize(29, 32);
            button->setEnabled(row >= m_builtInCount);
        }
        connect(button, &QPushButton::clicked, this, &AlarmConfig::ClickTvButton);
        ui()->tvAlarmOption->setIndexWidget(m_model->index(row, col), button);
    }
}

void AlarmConfig::LoadOption(LumoC::OptionBase* option) {
    auto* o = static_cast<LumoC::AlarmOption*>(option ? option : m_option);
    m_model->setRowCount(0);
    m_model->setRowCount(int(o->alarms.size()));
    for (int i = 0; i < int(o->alarms.size()); ++i) {
        const LumoC::CustomizeAlarm& a = o->alarms[size_t(i)];
        const QString type = QString::fromStdString(a.typeName);
        // The stored number is the alarm's identity: the row shows it, whatever its position.
        SetRow(i, a.number, i < m_builtInCount ? TranslateAlarmType(type) : type,
               QString::fromStdString(a.soundPath));
    }
}

void AlarmConfig::ShowPage() {
    LoadOption(nullptr);
    ApplyColumnWidths();
}

void AlarmConfig::RestoreDefaults() {
    // The rows show the built-in types; the live list changes at the next save.
    LoadOption(&m_default);
    ApplyColumnWidths();
}

QString AlarmConfig::ChooseWavFile() {
    const QString path = Choose(QObject::tr("K2214_SelectAudioFile"),
                                INFRA::AlarmSound::FileFilter(QObject::tr("K3544_Audio")));
    if (path.isEmpty()) return QString();
    if (!INFRA::AlarmSound::IsSoundFile(path)) {
        INFRA::MessageBox::Warning(m_owner, QObject::tr("K2356_Fail"), QObject::tr("K2215_NotAudioFile"));
        return QString();
    }
    return QDir::toNativeSeparators(path);
}

void AlarmConfig::OnAddAudioClicked() {
    const QString path = ChooseWavFile();
    if (!path.isEmpty()) {
        // A new alarm takes the next number after every number in use: numbers never repeat.
        int number = 0;
        for (int r = 0; r < m_model->rowCount(); ++r)
            number = std::max(number, m_model->item(r, ColNumber)->text().toInt());
        SetRow(m_model->rowCount(), number + 1, QObject::tr("K2228_UserDefineType"), path);
    }
    ApplyLook();
    ApplyColumnWidths();
}

void AlarmConfig::ClickTvButton() {
    QObject* button = sender();
    if (!button) return;
    const int row = button->property("row").toInt();
    const int col = button->property("col").toInt();
    if (row < 0 || row >= m_model->rowCount()) return;
    if (col == ColChoose) {
        const QString path = ChooseWavFile();
        if (!path.isEmpty()) {
            auto* file = new QStandardItem(path);
            file->setFlags(file->flags() & ~Qt::ItemIsEditable);
            m_model->setItem(row, ColPath, file);
        }
    } else if (col == ColPlay) {
        const int number = m_model->item(row, ColNumber)->text().toInt();
        const QString path =
            QString::fromUtf8(static_cast<LumoC::AlarmOption*>(m_option)->GetAlarmSound(number));
        qDebug() << "AlarmConfig::ClickTvButton"
                 << "audio==>" << path;
        INFRA::AlarmSound::Play(path);
    } else if (row >= m_builtInCount) {
        m_model->removeRow(row);
        // The rows below moved up: their buttons must name their new rows. Numbers stay.
        for (int r = row; r < m_model->rowCount(); ++r) PlaceButtons(r);
    }
    ApplyLook();
    ApplyColumnWidths();
}

void AlarmConfig::OnItemChanged(QStandardItem*) {}

bool AlarmConfig::RowsToRecords(std::vector<LumoC::CustomizeAlarm>* out, int* badRow) const {
    out->clear();
    for (int r = 0; r < m_model->rowCount(); ++r) {
        LumoC::CustomizeAlarm a;
        a.number = m_model->item(r, ColNumber)->text().toInt();
        QString type;
        if (r < m_builtInCount && r < int(m_default.alarms.size())) {
            type = QString::fromStdString(m_default.alarms[size_t(r)].typeName);
        } else {
            type = m_model->item(r, ColType)->text().trimmed();
            if (type.contains(QLatin1Char('|')) || type.contains(QLatin1Char('/')) ||
                type.contains(QLatin1Char('\\'))) {
                if (badRow) *badRow = r;
                return false;
            }
        }
        a.typeName = type.toStdString();
        a.soundPath = m_model->item(r, ColPath)->text().trimmed().toStdString();
        out->push_back(a);
    }
    return true;
}

int AlarmConfig::Save() {
    m_delegate->CommitOpenEditor();
    ui()->tvAlarmOption->reset();
    std::vector<LumoC::CustomizeAlarm> records;
    // Every row is checked before the live list changes: a refused name changes nothing.
    if (!RowsToRecords(&records, nullptr)) {
        INFRA::NotifierManager::instance()->notify(QObject::tr("K2356_Fail"), QObject::tr("K0103_SpecChars"),
                                                   1, QStringLiteral("#"));
        return -2;
    }
    auto* live = static_cast<LumoC::AlarmOption*>(m_option);
    live->alarms = records;
    const int result = live->Write();
    SyncSiblings();
    Commit();
    ApplyLook();
    ApplyColumnWidths();
    return result;
}

bool AlarmConfig::CheckUnsaved(bool warn) {
    if (!warn) return false;
    std::vector<LumoC::CustomizeAlarm> records;
    const auto& live = static_cast<LumoC::AlarmOption*>(m_option)->alarms;
    bool same = RowsToRecords(&records, nullptr) && records.size() == live.size();
    for (size_t i = 0; same && i < records.size(); ++i)
        same = records[i].number == live[i].number && records[i].typeName == live[i].typeName &&
               records[i].soundPath == live[i].soundPath;
    if (same) return false;
    NotifyUnsaved();
    return true;
}
