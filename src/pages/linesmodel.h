// A list file's lines as a model: the lines stay as the file's bytes and a
// text is made only for a row on screen, so a list of millions of lines
// costs little more than its file. Each line is its own hint, so a long one
// shows whole.
#pragma once

#include "data/textlines.h"

#include <QAbstractListModel>

#include <algorithm>
#include <climits>

namespace corvatek::pages {

class LinesModel : public QAbstractListModel {
public:
    // `dropLast` lines at the end are not shown.
    explicit LinesModel(data::TextLines lines, QObject* parent = nullptr, qsizetype dropLast = 0)
        : QAbstractListModel(parent), lines_(std::move(lines)),
          rows_(int(std::clamp<qsizetype>(lines_.size() - dropLast, 0, INT_MAX)))
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        // An editable combo box reads its items as edit texts.
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole))
            return {};
        return lines_.at(index.row());
    }
    const data::TextLines& lines() const { return lines_; }

private:
    data::TextLines lines_;
    int rows_;
};

} // namespace corvatek::pages
