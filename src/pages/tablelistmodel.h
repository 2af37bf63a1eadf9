// A table file's rows as the rules and alerts lists show them: the row's
// number, then Champ1, Champ2, Champ3, Champ4 and Champ8. Texts are made
// only for the rows on screen, so a hundred thousand rows cost their loaded
// table and four bytes each.
#pragma once

#include "data/table.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvatek::localisation {
class DateTimeReader;
}

namespace corvatek::pages {

// -1, 0 or 1 for two moments; a missing moment (no date) sorts after any.
using MomentCompare = int (*)(const std::optional<qint64>& a, const std::optional<qint64>& b);

class TableListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 6;

    // `unknown` is shown in column 5 for a Champ4 of "?".
    TableListModel(data::Table table, QStringList headers, QString unknown, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QString text(int row, int column) const;
    // Champ1 of a shown row, as the file holds it.
    QString name(int row) const { return text(row, 1); }
    // Takes one shown row off the list; the others keep their numbers.
    void takeRow(int row);
    // Orders the rows by the date and time of column 3, earliest first;
    // rows without one go last, in table order. Stable, so sorting again
    // changes nothing.
    void sortByDate(const localisation::DateTimeReader& reader, MomentCompare compare);

private:
    data::Table table_;
    QStringList headers_;
    QString unknown_;
    // The fields of columns 2 to 6: name, moment, action, version, path; -1
    // for a field the file lacks.
    std::array<int, 5> fields_ {};
    std::vector<std::uint32_t> order_; // shown row -> table row
};

// The comparison both lists sort with.
int compareMoments(const std::optional<qint64>& a, const std::optional<qint64>& b);

} // namespace corvatek::pages
