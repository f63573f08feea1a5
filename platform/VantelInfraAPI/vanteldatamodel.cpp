#include "VantelInfraAPI/vanteldatamodel.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

namespace {

bool isUnsignedType(int t) { return t == QMetaType::UInt || t == QMetaType::ULongLong || t == QMetaType::UShort || t == QMetaType::UChar || t == QMetaType::ULong; }

bool isSignedType(int t) {
    return t == QMetaType::Int || t == QMetaType::LongLong || t == QMetaType::Short || t == QMetaType::Char ||
           t == QMetaType::SChar || t == QMetaType::Long || t == QMetaType::Bool;
}

bool isNumberType(int t) { return isUnsignedType(t) || isSignedType(t) || t == QMetaType::Double || t == QMetaType::Float; }

template <typename T>
int threeWay(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Texts in natural order: runs of digits compare by their value ("9/20" before "10/20"),
// the rest without regard to case, by the locale.
int naturalCompare(const QString& a, const QString& b) {
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = a[i].isDigit(), db = b[j].isDigit();
        int ei = i, ej = j;
        while (ei < a.size() && a[ei].isDigit() == da) ++ei;
        while (ej < b.size() && b[ej].isDigit() == db) ++ej;
        if (da && db) {
            // Compare the digit runs by value without converting them (they may be long).
            int zi = i, zj = j;
            while (zi < ei - 1 && a[zi] == QLatin1Char('0')) ++zi;
            while (zj < ej - 1 && b[zj] == QLatin1Char('0')) ++zj;
            if ((ei - zi) != (ej - zj)) return (ei - zi) < (ej - zj) ? -1 : 1;
            const int c = QStringRef(&a, zi, ei - zi).compare(QStringRef(&b, zj, ej - zj));
            if (c != 0) return c < 0 ? -1 : 1;
        } else if (da != db) {
            return da ? -1 : 1;  // digits before other text
        } else {
            const QString ra = a.mid(i, ei - i).toCaseFolded(), rb = b.mid(j, ej - j).toCaseFolded();
            int c = QString::localeAwareCompare(ra, rb);
            if (c == 0) c = QString::compare(ra, rb);
            if (c != 0) return c < 0 ? -1 : 1;
        }
        i = ei;
        j = ej;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

// Orders two cell values: empty first, numbers by value, texts naturally ("9" before "10").
int compareValues(const QVariant& a, const QVariant& b) {
    const bool aEmpty = !a.isValid() || (a.type() == QVariant::String && a.toString().isEmpty());
    const bool bEmpty = !b.isValid() || (b.type() == QVariant::String && b.toString().isEmpty());
    if (aEmpty || bEmpty) return aEmpty == bEmpty ? 0 : (aEmpty ? -1 : 1);
    const int ta = a.userType(), tb = b.userType();
    if (isNumberType(ta) && isNumberType(tb)) {
        if (isUnsignedType(ta) && isUnsignedType(tb)) return threeWay(a.toULongLong(), b.toULongLong());
        if (!(ta == QMetaType::Double || ta == QMetaType::Float || tb == QMetaType::Double || tb == QMetaType::Float)) {
            // Mixed signed and unsigned: a negative value is below any unsigned one.
            const bool aNeg = isSignedType(ta) && a.toLongLong() < 0;
            const bool bNeg = isSignedType(tb) && b.toLongLong() < 0;
            if (aNeg || bNeg) return aNeg && bNeg ? threeWay(a.toLongLong(), b.toLongLong()) : (aNeg ? -1 : 1);
            return threeWay(a.toULongLong(), b.toULongLong());
        }
        return threeWay(a.toDouble(), b.toDouble());
    }
    return naturalCompare(a.toString(), b.toString());
}

}  // namespace

VantelDataModel::VantelDataModel(IVantelList* list, QObject* parent) : QAbstractItemModel(parent) {
    if (list) SetupModelData(list);
}

VantelDataModel::~VantelDataModel() {
    for (const Row& r : qAsConst(m_rows)) r.data->Release();
    m_rows.clear();
    releaseRetired();
}

QModelIndex VantelDataModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= m_rows.size() || column < 0 || column >= columnCount(parent))
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex VantelDataModel::parent(const QModelIndex&) const { return QModelIndex(); }

int VantelDataModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows.size(); }

int VantelDataModel::columnCount(const QModelIndex&) const { return 1; }

QVariant VantelDataModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this || index.row() >= m_rows.size()) return QVariant();
    const Row& r = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return GetDisplayData(r.data, index.column());
    case Qt::ToolTipRole:
        return GetToolTip(r.data, index.column());
    case CheckRole:
        return index.column() == 0 ? QVariant(r.checked) : QVariant();
    case Qt::CheckStateRole:
        return index.column() == 0 ? QVariant(int(r.checked ? Qt::Checked : Qt::Unchecked)) : QVariant();
    default:
        return QVariant();
    }
}

bool VantelDataModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.model() != this || index.column() != 0 || index.row() >= m_rows.size())
        return false;
    bool checked;
    if (role == CheckRole)
        checked = value.toBool();
    else if (role == Qt::CheckStateRole)
        checked = value.toInt() != Qt::Unchecked;
    else
        return false;
    SetItemCheckState(index.row(), checked);
    return true;
}

Qt::ItemFlags VantelDataModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

void VantelDataModel::sort(int column, Qt::SortOrder order) {
    m_sortColumn = column < 0 ? -1 : column;
    m_sortOrder = order;
    if (m_rows.size() < 2) return;

    emit layoutAboutToBeChanged(QList<QPersistentModelIndex>(), QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QVector<int> sourceOfOldRow(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i) sourceOfOldRow[i] = m_rows[i].source;

    applySort();

    std::unordered_map<int, int> newRowOfSource;
    for (int i = 0; i < m_rows.size(); ++i) newRowOfSource[m_rows[i].source] = i;
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& p : before) {
        const int newRow = newRowOfSource[sourceOfOldRow[p.row()]];
        after << createIndex(newRow, p.column());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged(QList<QPersistentModelIndex>(), QAbstractItemModel::VerticalSortHint);
}

void VantelDataModel::applySort() {
    if (m_sortColumn < 0) {
        std::sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) { return a.source < b.source; });
        return;
    }
    // Keys are worked out once per row, not once per comparison.
    QVector<QVariant> keys(m_rows.size());
    QVector<int> order(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i) {
        keys[i] = GetSortData(m_rows[i].data, m_sortColumn);
        order[i] = i;
    }
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    const QVector<Row> rows = m_rows;
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        int c = compareValues(keys[a], keys[b]);
        if (descending) c = -c;
        if (c != 0) return c < 0;
        return rows[a].source < rows[b].source;
    });
    for (int i = 0; i < order.size(); ++i) m_rows[i] = rows[order[i]];
}

void VantelDataModel::Clear(bool release) {
    beginResetModel();
    for (const Row& r : qAsConst(m_rows)) {
        if (release)
            r.data->Release();
        else
            m_retired.push_back(r.data);
    }
    m_rows.clear();
    m_nextSource = 0;
    if (release) releaseRetired();
    endResetModel();
}

void VantelDataModel::releaseRetired() {
    for (IVantelData* d : qAsConst(m_retired)) d->Release();
    m_retired.clear();
}

void VantelDataModel::SetupModelData(IVantelList* list) {
    beginResetModel();
    releaseRetired();
    // Replacing, never appending: a refresh that forgot its Clear must not show rows twice.
    for (const Row& r : qAsConst(m_rows)) r.data->Release();
    m_rows.clear();
    m_nextSource = 0;
    if (list) {
        for (IVantelData* d : list->GetTable()) {
            if (!d) continue;
            d->AddRef();
            m_rows.push_back(Row{d, m_nextSource++, false});
        }
    }
    if (m_sortColumn >= 0) applySort();
    endResetModel();
}

IVantelData* VantelDataModel::GetRowData(int row) const {
    return (row >= 0 && row < m_rows.size()) ? m_rows[row].data : nullptr;
}

int VantelDataModel::GetRowCount() const { return m_rows.size(); }

int VantelDataModel::GetSourceRow(int row) const {
    return (row >= 0 && row < m_rows.size()) ? m_rows[row].source : -1;
}

int VantelDataModel::GetRowOfSource(int sourceRow) const {
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].source == sourceRow) return i;
    return -1;
}

int VantelDataModel::FindRow(const IVantelData* object) const {
    if (!object) return -1;
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].data == object) return i;
    return -1;
}

bool VantelDataModel::GetItemCheckState(int row) const {
    return row >= 0 && row < m_rows.size() && m_rows[row].checked;
}

void VantelDataModel::SetItemCheckState(int row, bool checked) {
    if (row < 0 || row >= m_rows.size()) return;
    if (m_rows[row].checked == checked) return;
    m_rows[row].checked = checked;
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, {CheckRole, Qt::CheckStateRole});
    emit itemCheckStateChanged(row, checked);
}

void VantelDataModel::SetAllItemCheckState(bool checked) {
    if (m_rows.isEmpty()) return;
    for (Row& r : m_rows) r.checked = checked;
    emit dataChanged(index(0, 0), index(m_rows.size() - 1, 0), {CheckRole, Qt::CheckStateRole});
}

int VantelDataModel::GetDetailCheckedCount() const {
    return static_cast<int>(std::count_if(m_rows.begin(), m_rows.end(), [](const Row& r) { return r.checked; }));
}

QList<int> VantelDataModel::GetCheckedRows() const {
    QList<int> rows;
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].checked) rows << i;
    return rows;
}

QList<IVantelData*> VantelDataModel::GetCheckedRowData() const {
    QList<IVantelData*> rows;
    for (const Row& r : m_rows)
        if (r.checked) rows << r.data;
    return rows;
}

void VantelDataModel::RefreshColume(int column) {
    if (m_rows.isEmpty() || column < 0 || column >= columnCount()) return;
    emit dataChanged(index(0, column), index(m_rows.size() - 1, column));
}

QVariant VantelDataModel::GetDisplayData(IVantelData*, int) const { return QVariant(); }

QVariant VantelDataModel::GetToolTip(IVantelData* row, int column) const {
    const QVariant v = GetDisplayData(row, column);
    if (!v.isValid()) return QVariant();
    const QString text = v.toString().trimmed();
    return text.isEmpty() ? QVariant() : QVariant(text);
}

QVariant VantelDataModel::GetSortData(IVantelData* row, int column) const { return GetDisplayData(row, column); }

VantelTableDataModel::VantelTableDataModel(IVantelList* list, QObject* parent) : VantelDataModel(list, parent) {}

VantelTableDataModel::~VantelTableDataModel() = default;

int VantelTableDataModel::columnCount(const QModelIndex&) const {
    return m_headerLabels.isEmpty() ? 0 : m_headerLabels.lastKey() + 1;
}

QVariant VantelTableDataModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0) return QVariant();
    if (orientation == Qt::Horizontal) {
        if (section >= columnCount()) return QVariant();
        return m_headerLabels.value(section);
    }
    if (section >= GetRowCount()) return QVariant();
    return section + 1;
}

void VantelTableDataModel::SetHeaderLabels(const QMap<int, QString>& labels) {
    QMap<int, QString> clean;
    for (auto it = labels.cbegin(); it != labels.cend(); ++it)
        if (it.key() >= 0) clean.insert(it.key(), it.value());
    const int before = columnCount();
    const QMap<int, QString> old = m_headerLabels;
    m_headerLabels = clean;
    const int after = columnCount();
    if (before != after) {
        // The column count follows the labels here: the views must hear of it as a reset.
        m_headerLabels = old;
        beginResetModel();
        m_headerLabels = clean;
        endResetModel();
    } else if (after > 0) {
        emit headerDataChanged(Qt::Horizontal, 0, after - 1);
    }
}
