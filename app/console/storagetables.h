// What every window showing the recorder's storage tables shares: the row buttons of each table
// (built once, re-translated on a language change), the table set-up, column fitting, the header
// check box and the engine-id lookups that keep rows named by their disk or channel number.
#pragma once

#include <QList>
#include <QMap>
#include <QSet>

#include "VantelInfraAPI/vanteltabledelegate.h"

class QTableView;
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
// Shows in the header check box whether none, some or all rows of the model are ticked.
void SyncHeaderCheck(INFRA::TableHeaderView* header, const VantelDataModel* model);

// Engine ids (GetID) of ticked rows, ticks put back by id after a refresh, and the row showing
// an id (-1: none).
QSet<qint64> CheckedIds(const VantelDataModel* model);
void RestoreChecks(VantelDataModel* model, const QSet<qint64>& ids);
int FindRowById(const VantelDataModel* model, qint64 id);

}  // namespace StorageTables
