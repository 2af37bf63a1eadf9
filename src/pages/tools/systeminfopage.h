// The system information page: the running processes with their working
// sets, and the machine's and the control centre's memory figures, read once
// per showing.
#pragma once

#include "shell/page.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

class QLabel;
class QTreeView;

namespace corvatek::pages {

// The processes shown: a row number, a name and a size in kilobytes each,
// texts made only for the rows on screen.
class ProcessListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Row {
        QString name;
        std::uint64_t kilobytes;
    };
    ProcessListModel(QStringList headers, std::vector<Row> rows, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList headers_;
    std::vector<Row> rows_;
};

class SystemInfoPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    // A memory label's text: the word, the kilobytes rounded to a whole
    // number with thousands grouped by `groupSeparator`, then " KByte".
    static QString memoryFigure(const QString& word, double kilobytes, const QString& groupSeparator);

    QTreeView* processList = nullptr;
    QLabel* memoryLossLabel = nullptr;
    QLabel* processMemoryLabel = nullptr;
    QLabel* freeMemoryLabel = nullptr;
    QLabel* totalMemoryLabel = nullptr;
};

} // namespace corvatek::pages
