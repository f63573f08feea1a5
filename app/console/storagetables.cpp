#include "storagetables.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QEvent>
#include <QLineEdit>
#include <QLocale>
#include <QObject>
#include <QTableView>
#include <QToolButton>

#include <algorithm>

#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/tableheaderview.h"
#include "VantelInfraAPI/vanteldatamodel.h"
#include "VantelInfraAPI/vantelutility.h"

namespace StorageTables {
namespace {

// One row button: its icon and the key of its tooltip.
struct ActionDef {
    const char* icon;
    const char* key;
};

const char kFormatIcon[] = ":res/default/image/remotecfg/icon_diskstatus.png";
const char kInfoIcon[] = ":res/default/image/remotecfg/information.png";
const char kPlayIcon[] = ":res/default/image/remotecfg/play.png";
const char kDownloadIcon[] = ":res/default/image/remotecfg/download.png";

// The disk-status table's first button loads the disk's storage blocks, so its tooltip says so
// (not "format").
const ActionDef kDiskActions[] = {{kFormatIcon, "K4777_DiskFormat"}, {kInfoIcon, "K3713_DiskStatus"}};
const ActionDef kChnActions[] = {{kInfoIcon, "K6054_ChannelStatus"}};
const ActionDef kDiskStatusActions[] = {{kFormatIcon, "K3724_BlockStatus"}, {kInfoIcon, "K3713_DiskStatus"}};
const ActionDef kBlockActions[] = {{kPlayIcon, "K3533_Play"}};
const ActionDef kFileActions[] = {{kPlayIcon, "K3533_Play"}};
const ActionDef kFileDownloadActions[] = {{kPlayIcon, "K3533_Play"}, {kDownloadIcon, "K0069_strDownLoad"}};

// Fills (first use) or re-translates a list from its definitions.
template <size_t N>
QList<ActionInfo>* translated(QList<ActionInfo>* list, const ActionDef (&defs)[N]) {
    if (list->isEmpty())
        for (const ActionDef& d : defs)
            *list << ActionInfo(20, QLatin1String(d.icon), QObject::tr(d.key), -1, QString(), QString());
    else
        for (size_t i = 0; i < N && int(i) < list->size(); ++i)
            (*list)[int(i)].tooltip = QObject::tr(defs[i].key);
    return list;
}

QList<ActionInfo> s_disk, s_chn, s_diskStatus, s_block, s_file, s_fileDownload;

// A click into a date-time edit only places the cursor, and a digit typed there would make the
// section too long, so the edit refuses it: the click selects the section under the cursor
// instead, and what is typed replaces it (the edit then moves on to the next section).
class SectionOnClick : public QObject {
public:
    explicit SectionOnClick(QDateTimeEdit* edit) : QObject(edit), m_edit(edit) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* line = qobject_cast<QLineEdit*>(watched);
            if (line && !line->hasSelectedText()) m_edit->setSelectedSection(m_edit->currentSection());
        }
        return false;
    }

private:
    QDateTimeEdit* m_edit;
};

}  // namespace

QList<ActionInfo>* DiskActions() {
    return s_disk.isEmpty() ? translated(&s_disk, kDiskActions) : &s_disk;
}
QList<ActionInfo>* ChnActions() {
    return s_chn.isEmpty() ? translated(&s_chn, kChnActions) : &s_chn;
}
QList<ActionInfo>* DiskStatusActions() {
    return s_diskStatus.isEmpty() ? translated(&s_diskStatus, kDiskStatusActions) : &s_diskStatus;
}
QList<ActionInfo>* BlockActions() {
    return s_block.isEmpty() ? translated(&s_block, kBlockActions) : &s_block;
}
QList<ActionInfo>* FileActions() {
    return s_file.isEmpty() ? translated(&s_file, kFileActions) : &s_file;
}
QList<ActionInfo>* FileDownloadActions() {
    return s_fileDownload.isEmpty() ? translated(&s_fileDownload, kFileDownloadActions) : &s_fileDownload;
}

void RetranslateActions() {
    translated(&s_disk, kDiskActions);
    translated(&s_chn, kChnActions);
    translated(&s_diskStatus, kDiskStatusActions);
    translated(&s_block, kBlockActions);
    translated(&s_file, kFileActions);
    translated(&s_fileDownload, kFileDownloadActions);
}

VantelDelegate::ActionButtonRepo RepoFor(QList<ActionInfo>* list, int column) {
    return [list, column](QAbstractItemView*, const QStyleOptionViewItem&,
                          const QModelIndex& i) -> QList<ActionInfo>* {
        return i.column() == column ? list : nullptr;
    };
}

void SetupTable(QTableView* view, INFRA::TableHeaderView** header, VantelTableDataModel* model,
                VantelTableDelegate* delegate, const QSet<int>& sortable, int columns,
                const QMap<int, int>& widths) {
    auto* h = new INFRA::TableHeaderView(0, Qt::Horizontal, view);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    h->setSortableColumns(sortable, columns, true);
    view->setHorizontalHeader(h);
    *header = h;

    view->verticalHeader()->hide();
    view->verticalHeader()->setMinimumSectionSize(20);  // the font would ask for more
    view->verticalHeader()->setDefaultSectionSize(20);
    h->setStretchLastSection(true);
    view->setShowGrid(false);
    view->setSortingEnabled(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    h->setVisible(true);

    view->setItemDelegate(delegate);
    view->setAlternatingRowColors(true);
    view->setModel(model);
    // Sorting was switched on before the model came; start in the engine's order.
    h->setSortIndicator(-1, Qt::AscendingOrder);
    model->sort(-1);
    view->show();

    for (auto it = widths.begin(); it != widths.end(); ++it) view->setColumnWidth(it.key(), it.value());
    h->setSectionResizeMode(0, QHeaderView::Fixed);
    FitColumns(view);
}

void FitColumns(QTableView* view, const QList<int>& contentColumns) {
    QHeaderView* h = view->horizontalHeader();
    const int last = h->count() - 1;
    for (int c = 1; c < last; ++c) {
        if (view->isColumnHidden(c)) continue;
        int wanted = h->sectionSizeHint(c);
        if (contentColumns.contains(c))
            wanted = qMax(wanted, static_cast<QAbstractItemView*>(view)->sizeHintForColumn(c) + 8);
        if (view->columnWidth(c) < wanted) view->setColumnWidth(c, wanted);
    }
}

void ShowColumnAt(QTableView* view, int column, int visualIndex) {
    QHeaderView* h = view->horizontalHeader();
    const int from = h->visualIndex(column);
    if (from >= 0 && from != visualIndex) h->moveSection(from, visualIndex);
}

void SyncHeaderCheck(INFRA::TableHeaderView* header, const VantelDataModel* model) {
    if (!header || !model) return;
    const int checked = model->GetDetailCheckedCount();
    const int total = model->GetRowCount();
    if (checked > 0 && checked == total)
        header->setChecked(Qt::Checked);
    else if (checked > 0)
        header->setChecked(Qt::PartiallyChecked);
    else
        header->setChecked(Qt::Unchecked);
}

QSet<qint64> CheckedIds(const VantelDataModel* model) {
    QSet<qint64> ids;
    if (!model) return ids;
    for (IVantelData* row : model->GetCheckedRowData()) ids.insert(row->GetID());
    return ids;
}

void RestoreChecks(VantelDataModel* model, const QSet<qint64>& ids) {
    if (!model || ids.isEmpty()) return;
    for (int r = 0; r < model->GetRowCount(); ++r)
        if (IVantelData* row = model->GetRowData(r))
            if (ids.contains(row->GetID())) model->SetItemCheckState(r, true);
}

int FindRowById(const VantelDataModel* model, qint64 id) {
    if (!model || id < 0) return -1;
    for (int r = 0; r < model->GetRowCount(); ++r)
        if (IVantelData* row = model->GetRowData(r))
            if (row->GetID() == id) return r;
    return -1;
}

QVector<qint64> CheckedDiskIds(const VantelDataModel* model) {
    QVector<qint64> ids;
    if (!model) return ids;
    for (IVantelData* row : model->GetCheckedRowData())
        if (auto* disk = dynamic_cast<IKestoDiskInfo*>(row)) ids << disk->GetID();
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool ConfirmFormat(QWidget* parent) {
    const int answer = INFRA::MessageBox::Warning(parent, QObject::tr("K4777_DiskFormat"),
                                                  QObject::tr("K4778_DiskFormatInfo"),
                                                  INFRA::MessageBox::Yes | INFRA::MessageBox::No);
    return answer == INFRA::MessageBox::Yes;
}

CLumoTime LumoTimeOf(const QDateTime& t) {
    CLumoTime out;
    out.SetYear(t.date().year());
    out.SetMonth(t.date().month());
    out.SetDay(t.date().day());
    out.SetHour(t.time().hour());
    out.SetMinute(t.time().minute());
    out.SetSecond(t.time().second());
    return out;
}

void SetupSearchDates(QDateTimeEdit* start, QDateTimeEdit* end, const QDateTime& minimum) {
    for (QDateTimeEdit* edit : {start, end}) {
        edit->setCalendarPopup(true);
        auto* calendar = new QCalendarWidget(edit);
        // The application's table frame would take the room of the weekday row.
        calendar->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
        edit->setCalendarWidget(calendar);
        // The month menu opens on a click and shows no indicator.
        for (QToolButton* b :
             calendar->findChildren<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"))) {
            b->setArrowType(Qt::NoArrow);
            b->setStyleSheet(QStringLiteral("::menu-indicator{ image: none;}"));
            b->setPopupMode(QToolButton::InstantPopup);
        }
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (minimum.isValid()) edit->setMinimumDateTime(minimum);
        edit->setKeyboardTracking(true);
        if (QLineEdit* line = edit->findChild<QLineEdit*>()) line->installEventFilter(new SectionOnClick(edit));
        // The whole time with its seconds: the text, the style's padding and frame, and the
        // calendar button beside it.
        edit->ensurePolished();
        const int text = edit->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00"));
        edit->setMinimumWidth(qMax(edit->minimumWidth(), qMax(edit->sizeHint().width(), text + 56)));
    }
    const QDateTime now = QDateTime::currentDateTime();
    start->setDateTime(now.addDays(-10));
    end->setDateTime(now.addDays(10));
    ApplyDateLocale(start, end);
}

void ApplyDateLocale(QDateTimeEdit* start, QDateTimeEdit* end) {
    const bool chinese = VantelUtility::CurrentLanguage() == QLatin1String("Chinese");
    const QLocale locale = chinese ? QLocale(QLocale::Chinese, QLocale::China)
                                   : QLocale(QLocale::English, QLocale::UnitedStates);
    for (QDateTimeEdit* edit : {start, end}) {
        edit->setLocale(locale);
        if (edit->calendarWidget()) edit->calendarWidget()->setLocale(locale);
    }
}

void FillStreamCombo(QComboBox* box) {
    const int index = box->currentIndex();
    const QSignalBlocker block(box);
    box->clear();
    box->addItem(QObject::tr("K0435_MainStream"), 0);
    box->addItem(QObject::tr("K0436_SubStream"), 1);
    box->setCurrentIndex(index < 0 ? 0 : index);
}

void ApplyCuidList(QComboBox* box, IVantelList* list, bool* filled) {
    const QString remembered = box->currentText();
    const bool fromList = box->findText(remembered) >= 0;
    box->clear();
    for (IVantelData* row : list->GetTable())
        if (auto* text = dynamic_cast<IVantelText*>(row)) box->addItem(QString::fromUtf8(text->GetText()));
    const int found = box->findText(remembered);
    if (found >= 0) {
        box->setCurrentIndex(found);
    } else if (!*filled || fromList) {
        box->setCurrentIndex(box->count() > 0 ? 0 : -1);  // first fill, or the chosen camera left
    } else {
        // A typed identity, or none ("every camera"): the refresh does not change the search.
        box->setCurrentIndex(-1);
        box->setEditText(remembered);
    }
    *filled = true;
}

}  // namespace StorageTables
