// What every window showing the recorder's storage tables shares: the row buttons of each table
// (built once, re-translated on a language change), the table set-up, column fitting, the header
// check box and the engine-id lookups that keep rows named by their disk or channel number.
#pragma once

#include <QList>
#include <QMap>
#include <QSet>
#include <QVector>

#include "LumoBase/LumoBase.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/vanteltabledelegate.h"

class QComboBox;
class QDateTime;
class QDateTimeEdit;
class QTableView;
class QWidget;
class VantelDataModel;
class VantelTableDataModel;
class VantelTableDelegate;
namespace INFRA {
class TableHeaderView;
}

namespace StorageTables {

// The row buttons of each table. The lists live for the whole run (delegates keep pointers to
// them); their tooltips follow RetranslateActions. GUI thread only.
QList<ActionInfo>* DiskActions();          // format, disk state
QList<ActionInfo>* ChnActions();           // streams of the channel
QList<ActionInfo>* DiskStatusActions();    // storage blocks, disk state
QList<ActionInfo>* BlockActions();         // play (the column is hidden)
QList<ActionInfo>* FileActions();          // play
QList<ActionInfo>* FileDownloadActions();  // play, download
void RetranslateActions();

// A delegate function giving `list` for cells of `column` and nothing elsewhere.
VantelDelegate::ActionButtonRepo RepoFor(QList<ActionInfo>* list, int column);

// Installs a check-box header, the delegate and the model on a view, in the engine's order;
// `sortable` is the set handed to the header, `widths` column widths applied in order.
void SetupTable(QTableView* view, INFRA::TableHeaderView** header, VantelTableDataModel* model,
                VantelTableDelegate* delegate, const QSet<int>& sortable, int columns,
                const QMap<int, int>& widths);
// Widens (never narrows) the columns whose label, or for the given columns whose cells, would
// not fit; the check-box column and the stretching last column keep their widths.
void FitColumns(QTableView* view, const QList<int>& contentColumns = {});
// Shows the column at that visual place (the others keep their order): the row buttons of a wide
// table are reachable without scrolling.
void ShowColumnAt(QTableView* view, int column, int visualIndex);
// Shows in the header check box whether none, some or all rows of the model are ticked.
void SyncHeaderCheck(INFRA::TableHeaderView* header, const VantelDataModel* model);

// Engine ids (GetID) of ticked rows, ticks put back by id after a refresh, and the row showing
// an id (-1: none).
QSet<qint64> CheckedIds(const VantelDataModel* model);
void RestoreChecks(VantelDataModel* model, const QSet<qint64>& ids);
int FindRowById(const VantelDataModel* model, qint64 id);
// The engine numbers of the ticked disk rows, in ascending order.
QVector<qint64> CheckedDiskIds(const VantelDataModel* model);
// Asks the operator before a format; true only for Yes (No, or a box closed, stops).
bool ConfirmFormat(QWidget* parent);

// The record-search form. A bound as shown in its edit (local time, whole seconds).
CLumoTime LumoTimeOf(const QDateTime& t);
// Date-time edits with a calendar pop-up and the form's display format, from now - 10 days to
// now + 10 days; `minimum` (when valid) is the earliest time they take. They are wide enough for
// the whole time, and a click selects the section under it, so that typed digits replace it.
void SetupSearchDates(QDateTimeEdit* start, QDateTimeEdit* end, const QDateTime& minimum);
// The calendars' month and day names follow the language in use.
void ApplyDateLocale(QDateTimeEdit* start, QDateTimeEdit* end);
// The stream choice (main 0, sub 1), keeping the one chosen.
void FillStreamCombo(QComboBox* box);
// Puts the recorder's camera identities into the box. The choice stays when the camera is still
// listed; the first is chosen at the first fill or when the chosen one left; a typed identity (or
// none: every camera) stays as typed. *filled says whether the box was filled before.
void ApplyCuidList(QComboBox* box, IVantelList* list, bool* filled);

}  // namespace StorageTables
