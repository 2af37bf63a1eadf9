#include "pages/tools/systeminfopage.h"

#include "shell/mainwindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTreeView>

#include <cmath>

namespace corvatek::pages {
namespace {

using localisation::entryFor;

// Per-language label words, in the order French, English, German, Spanish,
// Italian, each exactly as shown (blanks included).
struct LabelWords {
    const char16_t* total;
    const char16_t* free;
    const char16_t* process;
    const char16_t* loss;
};
const LabelWords kLabelWords[] = {
    {u"la mémoire totale du système: ", u"mémoire physique libre:", u"Processus mémoire:", u"Perte de mémoire:"},
    {u" Total system memory: ", u" Free physical memory: ", u" Process-Memory: ", u" Memory Loss: "},
    {u"Gesamtsystemspeicher:", u"Free physischen Speicher:", u"Prozess-Memory", u"Gedächtnisverlust"},
    {u"la memoria total del sistema:", u"memoria física libre:", u"Proceso de memoria", u"Pérdida de la memoria"},
    {u"memoria totale del sistema:", u"memoria fisica libera:", u"Processo-memoria", u"perdita di memoria"},
};

QString word(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QString();
}

void showFigure(QLabel* label, const char16_t* text, std::uint64_t bytes)
{
    label->setText(
        SystemInfoPage::memoryFigure(word(text), double(bytes) / 1024.0, QLocale::system().groupSeparator()));
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

    const LabelWords* words = entryFor(kLabelWords, state.languageCode);
    const LabelWords none {};
    if (!words)
        words = &none;
    if (const auto machine = session().seams.machineMemory()) {
        showFigure(totalMemoryLabel, words->total, machine->totalBytes);
        showFigure(freeMemoryLabel, words->free, machine->availableBytes);
    }
    if (const auto own = session().seams.ownMemory()) {
        showFigure(processMemoryLabel, words->process, *own);
        // What the program has gained since it started; never below nothing.
        if (state.startResidentBytes)
            showFigure(
                memoryLossLabel, words->loss, *own > *state.startResidentBytes ? *own - *state.startResidentBytes : 0);
    }
}

} // namespace corvatek::pages
