// A check list's items as a model: texts with a check mark each, so that a
// list of a hundred thousand files costs a string and a bit per item rather
// than a widget item.
#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include <vector>

namespace corvatek::pages {

class CheckListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Replaces every item; all unchecked.
    void setItems(QStringList texts);
    const QStringList& texts() const { return texts_; }
    bool isChecked(int row) const { return checked_[std::size_t(row)]; }
    void setChecked(int row, bool checked);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QStringList texts_;
    std::vector<bool> checked_;
};

} // namespace corvatek::pages
