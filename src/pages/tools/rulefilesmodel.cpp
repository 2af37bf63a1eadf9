#include "pages/tools/rulefilesmodel.h"

#include "data/tables.h"
#include "localisation/timeformat.h"
#include "shell/system.h"

#include <QDateTime>
#include <QHash>
#include <QMimeDatabase>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>

namespace corvatek::pages {
namespace {

constexpr int kLongestTypeName = 80;

const char* inodeType(shell::FileKind kind)
{
    switch (kind) {
    case shell::FileKind::Folder: return "inode/directory";
    case shell::FileKind::Pipe: return "inode/fifo";
    case shell::FileKind::CharacterDevice: return "inode/chardevice";
    case shell::FileKind::BlockDevice: return "inode/blockdevice";
    case shell::FileKind::Socket: return "inode/socket";
    case shell::FileKind::Missing:
    case shell::FileKind::Regular: break;
    }
    return nullptr;
}

// The type a file's name gives it in the shared MIME database, as a file's
// extension gives its type elsewhere; nothing of the content is read. The
// database takes some 60 us to match a name without a known extension, so
// answers are kept per name ending: a name that only plain "*.<suffix>"
// patterns can match has the type of its ending from its first dot.
class TypeByName {
public:
    explicit TypeByName(const QMimeDatabase& types) : types_(types) { }

    QMimeType operator()(const QString& fileName)
    {
        const qsizetype dot = fileName.indexOf(QLatin1Char('.'));
        const QString stand = QLatin1Char('x') + (dot < 0 ? QString() : fileName.mid(dot));
        const QRegularExpression& special = specialPatterns(types_);
        if (special.match(fileName).hasMatch() || special.match(stand).hasMatch())
            return types_.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
        auto known = byEnding_.constFind(stand);
        if (known == byEnding_.cend())
            known = byEnding_.insert(stand, types_.mimeTypeForFile(stand, QMimeDatabase::MatchExtension));
        return *known;
    }

private:
    // Every pattern of the database but the plain "*.<suffix>" ones, as one
    // expression. Made once per process: it reads every type's patterns.
    static const QRegularExpression& specialPatterns(const QMimeDatabase& types)
    {
        static const QRegularExpression special = [&] {
            const QRegularExpression plain(QStringLiteral("^\\*\\.[^*?\\[]+$"));
            QStringList alternatives;
            for (const QMimeType& type : types.allMimeTypes()) {
                for (const QString& pattern : type.globPatterns()) {
                    if (!plain.match(pattern).hasMatch())
                        alternatives.append(QRegularExpression::wildcardToRegularExpression(pattern));
                }
            }
            // An expression that matches nothing when there are none.
            return QRegularExpression(
                alternatives.isEmpty() ? QStringLiteral("(?!)") : alternatives.join(QLatin1Char('|')),
                QRegularExpression::CaseInsensitiveOption);
        }();
        return special;
    }

    const QMimeDatabase& types_;
    QHash<QString, QMimeType> byEnding_;
};

} // namespace

// What the window and the reading thread share. The thread holds it as long
// as it runs, so the page may go at any time.
struct RuleFilesModel::Reading {
    std::vector<QString> paths;
    std::atomic<bool> stopped {false};
    std::atomic<bool> running {true};

    std::mutex mutex; // guards what follows
    QObject* receiver = nullptr; // the model, until it goes
    bool wakePosted = false;
    std::vector<std::pair<std::uint32_t, Fact>> ready;
    QStringList newTypeNames; // appended in the order their indexes were given
};

RuleFilesModel::RuleFilesModel(data::Table table, QStringList headers, QString unknown, QObject* parent)
    : QAbstractTableModel(parent), table_(std::move(table)), headers_(std::move(headers)), unknown_(std::move(unknown)),
      locale_(QLocale::system()), reading_(std::make_shared<Reading>())
{
    field_ = {table_.fieldIndex(data::fields::Name), table_.fieldIndex(data::fields::Moment),
        table_.fieldIndex(data::fields::Version), table_.fieldIndex(data::fields::Path),
        table_.fieldIndex(data::fields::StoredSignature)};

    // Each file is read once, however many rules name it.
    QHash<QString, std::int32_t> fileIndex;
    fileOf_.resize(std::size_t(table_.rowCount()), -1);
    for (qsizetype row = 0; row < table_.rowCount(); ++row) {
        const QString path = table_.value(row, field_.path);
        if (path.isEmpty())
            continue;
        auto found = fileIndex.find(path);
        if (found == fileIndex.end()) {
            found = fileIndex.insert(path, std::int32_t(reading_->paths.size()));
            reading_->paths.push_back(path);
        }
        fileOf_[std::size_t(row)] = *found;
    }
    facts_.resize(reading_->paths.size());
    // The rows of each file, file after file, for telling views what changed.
    firstRowOf_.assign(facts_.size() + 1, 0);
    for (const std::int32_t file : fileOf_) {
        if (file >= 0)
            ++firstRowOf_[std::size_t(file) + 1];
    }
    std::partial_sum(firstRowOf_.begin(), firstRowOf_.end(), firstRowOf_.begin());
    rowsOfFile_.resize(firstRowOf_.back());
    std::vector<std::uint32_t> filled(firstRowOf_.begin(), firstRowOf_.end() - 1);
    for (std::size_t row = 0; row < fileOf_.size(); ++row) {
        if (fileOf_[row] >= 0)
            rowsOfFile_[filled[std::size_t(fileOf_[row])]++] = std::uint32_t(row);
    }
    unread_ = facts_.size();
    if (unread_ == 0) {
        reading_->running = false;
        return;
    }
    reading_->receiver = this;
    std::thread(readFiles, reading_).detach(); // the thread holds its own copy
}

RuleFilesModel::~RuleFilesModel()
{
    {
        const std::lock_guard lock(reading_->mutex);
        reading_->receiver = nullptr;
    }
    reading_->stopped = true;
    // The thread ends after the file in hand; one caught on a mount that no
    // longer answers is left to end when it can, holding nothing of ours.
    for (int i = 0; i < 200 && reading_->running; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void RuleFilesModel::readFiles(const std::shared_ptr<Reading>& reading)
{
    readEachFile(*reading);
    // Only once nothing of Qt's is held any more: the program may end now.
    reading->running = false;
}

void RuleFilesModel::readEachFile(Reading& reading)
{
    const QMimeDatabase types;
    TypeByName typeByName(types);
    QHash<QString, std::uint16_t> typeIndex; // by MIME type name
    std::uint16_t typeCount = 1; // 0 is the empty name
    for (std::size_t i = 0; i < reading.paths.size() && !reading.stopped; ++i) {
        const QString& path = reading.paths[i];
        const shell::FileFacts file = shell::System::fileFacts(path);
        if (reading.stopped)
            break;

        Fact fact;
        fact.read = true;
        fact.found = file.kind != shell::FileKind::Missing;
        fact.exists = fact.found && file.kind != shell::FileKind::Folder;
        fact.modified = file.modified;
        fact.signed_ = file.signature.has_value();
        fact.signature = file.signature.value_or(0);
        std::optional<QString> newName;
        if (fact.found) {
            QMimeType type;
            if (const char* inode = inodeType(file.kind)) {
                type = types.mimeTypeForName(QLatin1String(inode));
            } else {
                type = typeByName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
                // A program without an extension, as programs here are.
                if (type.isDefault() && file.executable)
                    type = types.mimeTypeForName(QStringLiteral("application/x-executable"));
            }
            const auto known = typeIndex.constFind(type.name());
            if (known != typeIndex.cend()) {
                fact.type = *known;
            } else if (typeCount < UINT16_MAX) {
                fact.type = typeCount++;
                typeIndex.insert(type.name(), fact.type);
                newName = type.comment().left(kLongestTypeName);
            }
        }

        const std::lock_guard lock(reading.mutex);
        if (!reading.receiver)
            break;
        reading.ready.emplace_back(std::uint32_t(i), fact);
        if (newName)
            reading.newTypeNames.append(*newName);
        if (!reading.wakePosted) {
            reading.wakePosted = true;
            QMetaObject::invokeMethod(
                reading.receiver,
                [receiver = static_cast<RuleFilesModel*>(reading.receiver)] { receiver->takeFacts(); },
                Qt::QueuedConnection);
        }
    }
}

void RuleFilesModel::takeFacts()
{
    std::vector<std::pair<std::uint32_t, Fact>> ready;
    {
        const std::lock_guard lock(reading_->mutex);
        ready.swap(reading_->ready);
        typeNames_ += reading_->newTypeNames;
        reading_->newTypeNames.clear();
        reading_->wakePosted = false;
    }
    if (ready.empty())
        return;
    std::vector<std::uint32_t> rows;
    for (const auto& [file, fact] : ready) {
        facts_[file] = fact;
        rows.insert(rows.end(), rowsOfFile_.begin() + firstRowOf_[file], rowsOfFile_.begin() + firstRowOf_[file + 1]);
    }
    unread_ -= ready.size();
    // Only the rows whose facts arrived, run by run: a view's work for a
    // change grows with the rows it spans.
    std::sort(rows.begin(), rows.end());
    for (std::size_t first = 0; first < rows.size();) {
        std::size_t last = first;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1)
            ++last;
        emit dataChanged(index(int(rows[first]), 3), index(int(rows[last]), 8), {Qt::DisplayRole, Qt::ToolTipRole});
        first = last + 1;
    }
    if (unread_ == 0)
        emit filesRead();
}

int RuleFilesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(fileOf_.size());
}

int RuleFilesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QString RuleFilesModel::text(int row, int column) const
{
    if (row < 0 || std::size_t(row) >= fileOf_.size() || column < 0 || column >= kColumns)
        return {};
    const auto value = [&](int field) { return table_.value(row, field); };
    const std::int32_t file = fileOf_[std::size_t(row)];
    switch (column) {
    case 0: return QString::number(row + 1);
    case 1: return value(field_.name);
    case 2: return value(field_.moment);
    case 4: {
        const QString text = value(field_.version);
        return text == QLatin1String("?") ? unknown_ : text;
    }
    case 7: return value(field_.path);
    case 9: return file < 0 ? unknown_ : value(field_.storedSignature);
    default: break;
    }
    if (file < 0)
        return unknown_;
    const Fact& fact = facts_[std::size_t(file)];
    if (!fact.read)
        return {};
    switch (column) {
    case 3: {
        // What the system's own file dates start from, for a file not found.
        const QDate date = fact.found ? QDateTime::fromSecsSinceEpoch(fact.modified).date() : QDate(1899, 12, 30);
        return localisation::shortDate(date, locale_);
    }
    case 5: return typeNames_.value(fact.type);
    case 6: return fact.exists ? value(field_.path) : unknown_;
    case 8: return fact.signed_ ? QString::number(fact.signature) : unknown_;
    default: return {};
    }
}

QVariant RuleFilesModel::data(const QModelIndex& index, int role) const
{
    // The hint shows the whole text of a cell too narrow for it.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text(index.row(), index.column());
    return {};
}

QVariant RuleFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
        return headers_[section];
    return {};
}

} // namespace corvatek::pages
