#include "pages/checklistmodel.h"

namespace corvatek::pages {

void CheckListModel::setItems(QStringList texts)
{
    beginResetModel();
    texts_ = std::move(texts);
    checked_.assign(std::size_t(texts_.size()), false);
    endResetModel();
}

void CheckListModel::setChecked(int row, bool checked)
{
    checked_[std::size_t(row)] = checked;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

int CheckListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(texts_.size());
}

QVariant CheckListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= texts_.size())
        return {};
    switch (role) {
    case Qt::DisplayRole: return texts_[index.row()];
    case Qt::CheckStateRole: return checked_[std::size_t(index.row())] ? Qt::Checked : Qt::Unchecked;
    default: return {};
    }
}

bool CheckListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole)
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags CheckListModel::flags(const QModelIndex& index) const
{
    return QAbstractListModel::flags(index) | Qt::ItemIsUserCheckable;
}

} // namespace corvatek::pages
