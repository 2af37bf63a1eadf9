#include "pages/tablelistmodel.h"

#include "data/tables.h"
#include "localisation/timeformat.h"

#include <QScopeGuard>

#include <algorithm>
#include <numeric>

namespace corvatek::pages {

TableListModel::TableListModel(data::Table table, QStringList headers, QString unknown, QObject* parent)
    : QAbstractTableModel(parent), table_(std::move(table)), headers_(std::move(headers)), unknown_(std::move(unknown))
{
    const QStringView shown[] = {
        data::fields::Name, data::fields::Moment, data::fields::Action, data::fields::Version, data::fields::Path};
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i] = table_.fieldIndex(shown[i]);
    order_.resize(std::size_t(table_.rowCount()));
    std::iota(order_.begin(), order_.end(), 0U);
}

int TableListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(order_.size());
}

int TableListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QString TableListModel::text(int row, int column) const
{
    if (row < 0 || std::size_t(row) >= order_.size() || column < 0 || column >= kColumns)
        return {};
    const qsizetype tableRow = order_[std::size_t(row)];
    if (column == 0)
        return QString::number(tableRow + 1);
    const QString value = table_.value(tableRow, fields_[std::size_t(column - 1)]);
    return column == 4 && value == QLatin1String("?") ? unknown_ : value;
}

QVariant TableListModel::data(const QModelIndex& index, int role) const
{
    // The hint shows the whole text of a cell too narrow for it.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text(index.row(), index.column());
    return {};
}

QVariant TableListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
        return headers_[section];
    return {};
}

void TableListModel::takeRow(int row)
{
    if (row < 0 || std::size_t(row) >= order_.size())
        return;
    beginRemoveRows({}, row, row);
    order_.erase(order_.begin() + row);
    endRemoveRows();
}

void TableListModel::sortByDate(const localisation::DateTimeReader& reader, MomentCompare compare)
{
    std::vector<std::optional<qint64>> moments(std::size_t(table_.rowCount()));
    for (const std::uint32_t row : order_)
        moments[row] = reader.key(table_.value(row, fields_[1]));
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const std::vector<std::uint32_t> before = order_;
    const auto resume = qScopeGuard([&] {
        // Selections and the current row follow their rows.
        std::vector<int> shownAt(moments.size(), -1);
        for (std::size_t i = 0; i < order_.size(); ++i)
            shownAt[order_[i]] = int(i);
        const QModelIndexList persistent = persistentIndexList();
        QModelIndexList moved;
        for (const QModelIndex& index : persistent)
            moved.append(this->index(shownAt[before[std::size_t(index.row())]], index.column()));
        changePersistentIndexList(persistent, moved);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    });
    std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int order = compare(moments[a], moments[b]);
        // Rows without a date keep table order whatever the order before.
        return order < 0 || (order == 0 && !moments[a] && a < b);
    });
}

int compareMoments(const std::optional<qint64>& a, const std::optional<qint64>& b)
{
    if (!a || !b)
        return a ? -1 : b ? 1 : 0;
    return *a < *b ? -1 : *a > *b ? 1 : 0;
}

} // namespace corvatek::pages
