#include "pages/tools/systeminfopage.h"

#include "localisation/words.h"
#include "shell/mainwindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTreeView>

#include <cmath>

namespace corvatek::pages {
namespace {

void showFigure(QLabel* label, const QString& word, std::uint64_t bytes)
{
    label->setText(SystemInfoPage::memoryFigure(word, double(bytes) / 1024.0, QLocale::system().groupSeparator()));
    label->adjustSize();
}

} // namespace

ProcessListModel::ProcessListModel(QStringList headers, std::vector<Row> rows, QObject* parent)
    : QAbstractTableModel(parent), headers_(std::move(headers)), rows_(std::move(rows))
{
}

int ProcessListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int ProcessListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant ProcessListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const Row& row = rows_[std::size_t(index.row())];
    switch (index.column()) {
    case 0: return QString::number(index.row() + 1);
    case 1: return row.name;
    default: return QString::number(row.kilobytes);
    }
}

QVariant ProcessListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= headers_.size())
        return {};
    return headers_[section];
}

QString SystemInfoPage::memoryFigure(const QString& word, double kilobytes, const QString& groupSeparator)
{
    // Rounded half away from zero; grouped by threes from the right.
    const QString digits = QString::number(std::llround(kilobytes));
    QString grouped;
    const qsizetype sign = digits.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > sign && (digits.size() - i) % 3 == 0)
            grouped += groupSeparator;
        grouped += digits[i];
    }
    return word + grouped + QStringLiteral(" KByte");
}

void SystemInfoPage::build()
{
    const auto& state = session().state;

    processList = add<QTreeView>();
    processList->setGeometry(8, 24, 585, 220);
    processList->setRootIsDecorated(false);
    processList->setUniformRowHeights(true);
    processList->setSelectionBehavior(QAbstractItemView::SelectRows);
    processList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    processList->header()->setSectionsClickable(true);
    processList->header()->setSortIndicatorShown(false);
    const auto label = [&](int top) {
        auto* shown = add<QLabel>(state.caption(Caption::MemoryPlaceholder));
        shown->move(56, top);
        return shown;
    };
    memoryLossLabel = label(262);
    processMemoryLabel = label(282);
    freeMemoryLabel = label(302);
    totalMemoryLabel = label(322);

    // The first and the last process of the list are left out.
    const auto processes = session().seams.processes();
    std::vector<ProcessListModel::Row> rows;
    if (processes.size() >= 3) {
        rows.reserve(processes.size() - 2);
        for (std::size_t i = 1; i + 1 < processes.size(); ++i)
            rows.push_back({QString::fromStdString(processes[i].name), processes[i].residentBytes / 1024});
    }
    processList->setModel(new ProcessListModel(
        {state.caption(Caption::NumberHeader), state.caption(Caption::ProgramHeader), state.memoryWord},
        std::move(rows), processList));

    using localisation::Word;
    const auto word = [&](Word which) { return localisation::word(state.languageCode, which); };
    if (const auto machine = session().seams.machineMemory()) {
        showFigure(totalMemoryLabel, word(Word::TotalMemory), machine->totalBytes);
        showFigure(freeMemoryLabel, word(Word::FreeMemory), machine->availableBytes);
    }
    if (const auto own = session().seams.ownMemory()) {
        showFigure(processMemoryLabel, word(Word::ProcessMemory), *own);
        // What the program has gained since it started; never below nothing.
        if (state.startResidentBytes)
            showFigure(memoryLossLabel, word(Word::MemoryLoss),
                *own > *state.startResidentBytes ? *own - *state.startResidentBytes : 0);
    }
}

} // namespace corvatek::pages
