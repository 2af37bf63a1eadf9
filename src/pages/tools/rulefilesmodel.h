// The rules table once more, read-only, with facts about the program file
// each rule names: its date, its type, whether it still exists and its
// signature number. The facts are read by a thread of their own, each file
// once however many rules name it, so a table naming files on a slow mount
// or a pipe never holds the window; a cell shows its fact once it is read.
#pragma once

#include "data/table.h"

#include <QAbstractTableModel>
#include <QLocale>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace corvatek::pages {

class RuleFilesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 10;

    // `unknown` (Caption::Unknown) is shown where there is nothing to show.
    RuleFilesModel(data::Table table, QStringList headers, QString unknown, QObject* parent = nullptr);
    ~RuleFilesModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QString text(int row, int column) const;
    // Whether some files are still being read.
    bool readingFiles() const { return unread_ > 0; }

signals:
    void filesRead();

private:
    struct Fact {
        std::int64_t modified = 0;
        std::uint32_t signature = 0;
        std::uint16_t type = 0; // in typeNames_
        bool read = false;
        bool exists = false; // a file, not a folder
        bool found = false; // anything at all at the path
        bool signed_ = false;
    };
    struct Reading;
    static void readFiles(const std::shared_ptr<Reading>& reading);
    static void readEachFile(Reading& reading);
    void takeFacts();

    data::Table table_;
    QStringList headers_;
    QString unknown_;
    QLocale locale_;
    // Where the rules' fields are; -1 for a field the file lacks.
    struct {
        int name = -1, moment = -1, version = -1, path = -1, storedSignature = -1;
    } field_;
    std::vector<std::int32_t> fileOf_; // row -> its file in facts_, -1 for an empty Champ8
    std::vector<std::uint32_t> firstRowOf_; // file -> where its rows start in rowsOfFile_
    std::vector<std::uint32_t> rowsOfFile_;
    std::vector<Fact> facts_;
    QStringList typeNames_ {QString()};
    std::size_t unread_ = 0;
    std::shared_ptr<Reading> reading_;
};

} // namespace corvatek::pages
