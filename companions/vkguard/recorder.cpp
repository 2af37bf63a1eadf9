#include "recorder.h"

#include "common/companion.h"
#include "common/filename.h"
#include "common/notice.h"
#include "data/filenames.h"
#include "data/values.h"
#include "localisation/timeformat.h"
#include "platform/session.h"
#include "vkprobe/report.h"

#include <QDateTime>
#include <QFile>


namespace corvatek::vkguard {
namespace {

using companion::GuardText;
using companion::say;

// A detection is written within this time, a burst of them together.
constexpr auto kDetectionDelay = std::chrono::milliseconds(250);
// An editor's save or a package upgrade is a burst of changes.
constexpr auto kModificationDelay = std::chrono::milliseconds(500);
// A record whose file could not be written is tried again after this.
constexpr auto kRetryDelay = std::chrono::seconds(2);
constexpr auto kSameDetection = std::chrono::minutes(1);
constexpr auto kSameChange = std::chrono::seconds(1);
// The alerts list keeps its newest rows.
constexpr qsizetype kKeptAlerts = 1000;
// What waits for a file that stays unwritable is bounded too.
constexpr std::size_t kMostWaiting = 1000;
// A notification names this many files.
constexpr std::size_t kNamesNotified = 3;

QString now()
{
    return localisation::shortDateLongTime(QDateTime::currentDateTime());
}

std::string fileNameOf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

files::FileName modificationFile(Watched kind)
{
    switch (kind) {
    case Watched::System: return files::SystemModifications;
    case Watched::Settings: return files::SettingsModifications;
    case Watched::Autostart: return files::AutostartModifications;
    case Watched::Programs: break;
    }
    return files::ProcessModifications;
}

GuardText changeText(Change change)
{
    switch (change) {
    case Change::Created: return GuardText::Created;
    case Change::Deleted: return GuardText::Deleted;
    case Change::Modified: return GuardText::Modified;
    case Change::Renamed: return GuardText::Renamed;
    case Change::FirstRun: break;
    }
    return GuardText::FirstRun;
}

std::string actionText(companion::Language language, const Event& event)
{
    GuardText text = GuardText::FoundWritten;
    switch (event.action) {
    case scanning::guard::Action::RefusedRun: text = GuardText::RefusedRun; break;
    case scanning::guard::Action::RefusedOpen: text = GuardText::RefusedOpen; break;
    case scanning::guard::Action::FoundWritten: text = GuardText::FoundWritten; break;
    case scanning::guard::Action::FoundLate: text = GuardText::FoundLate; break;
    }
    const std::string program =
        event.program.empty() ? say(language, GuardText::UnknownProgram) : probe::lineText(event.program);
    return say(language, text, {program});
}

template<typename Key> void forgetBefore(std::map<Key, Clock::time_point>& seen, Clock::time_point oldest)
{
    std::erase_if(seen, [oldest](const auto& item) { return item.second < oldest; });
}

bool seenSince(const auto& seen, const auto& key, Clock::time_point since)
{
    const auto found = seen.find(key);
    return found != seen.end() && found->second >= since;
}

template<typename Item> void bound(std::vector<Item>& waiting)
{
    if (waiting.size() > kMostWaiting)
        waiting.erase(waiting.begin(), waiting.end() - std::ptrdiff_t(kMostWaiting));
}

// Whether modprocess.txt names the program already, as the last word of a line.
bool lists(const QByteArray& file, const std::string& path)
{
    const QByteArray ending = ' ' + QByteArray::fromStdString(path);
    for (qsizetype start = 0; start < file.size();) {
        qsizetype end = file.indexOf('\n', start);
        if (end < 0)
            end = file.size();
        QByteArrayView line(file.constData() + start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.endsWith(ending))
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

bool tellControlCentre()
{
    return platform::tellInstance(companion::fileName(files::ControlCentre),
        std::to_string(kRegistryChangeMessage) + ' ' + std::to_string(kRegistryChangeMessage) + " 0");
}

Recorder::Recorder(const data::ProgramFiles& files)
    : files_(files), folder_(QFile::encodeName(files.folder()).toStdString())
{
}

void Recorder::told(const std::string& line)
{
    // Tried again every few seconds: the log keeps room for other lines.
    if (problem_ && line != lastProblem_)
        problem_(line);
    lastProblem_ = line;
}

void Recorder::detection(const Event& event)
{
    const Clock::time_point at = Clock::now();
    forgetBefore(detected_, at - kSameDetection);
    const auto key = std::pair(event.path, event.signature);
    if (seenSince(detected_, key, at - kSameDetection))
        return;
    detected_[key] = at;
    if (pendingViri_.empty() && pendingAlerts_.empty() && unnotified_.empty())
        detectionsDue_ = at + kDetectionDelay;
    Detection detection {event, now().toStdString()};
    pendingViri_.push_back(probe::detectionLine(event.path, event.signature));
    unnotified_.push_back(detection);
    pendingAlerts_.push_back(std::move(detection));
    bound(pendingViri_);
    bound(pendingAlerts_);
    bound(unnotified_);
}

void Recorder::modification(Watched kind, Change change, const std::string& path)
{
    if (kind == Watched::Programs && !newPrograms_)
        return;
    const Clock::time_point at = Clock::now();
    forgetBefore(changed_, at - kSameChange);
    const auto key = std::tuple(path, change, kind);
    if (seenSince(changed_, key, at - kSameChange) ||
        (change == Change::Modified && seenSince(changed_, std::tuple(path, Change::Created, kind), at - kSameChange)))
        return;
    changed_[key] = at;
    bool waiting = false;
    for (const auto& lines : lines_)
        waiting = waiting || !lines.empty();
    if (!waiting)
        modificationsDue_ = at + kModificationDelay;
    auto& lines = lines_[std::size_t(kind)];
    const std::string shown = probe::lineText(path);
    lines.push_back({shown, now().toStdString() + ' ' + say(language_, changeText(change)) + ' ' + shown});
    bound(lines);
}

std::optional<Clock::time_point> Recorder::due() const
{
    std::optional<Clock::time_point> when;
    if (!pendingViri_.empty() || !pendingAlerts_.empty() || !unnotified_.empty())
        when = detectionsDue_;
    for (const auto& lines : lines_) {
        if (!lines.empty())
            when = std::min(when.value_or(modificationsDue_), modificationsDue_);
    }
    return when;
}

void Recorder::write(bool all)
{
    const Clock::time_point at = Clock::now();
    if ((all || at >= detectionsDue_) && (!pendingViri_.empty() || !pendingAlerts_.empty() || !unnotified_.empty()))
        writeDetections();
    bool waiting = false;
    for (const auto& lines : lines_)
        waiting = waiting || !lines.empty();
    if (waiting && (all || at >= modificationsDue_))
        writeModifications();
}

void Recorder::writeDetections()
{
    notify();
    if (!pendingViri_.empty()) {
        const data::FileResult written = files_.updateFile(
            files::Detections,
            [this](const QByteArray& current) -> std::optional<QByteArray> {
                return QByteArray::fromStdString(probe::withDetections(current.toStdString(), pendingViri_));
            },
            files_.fileWait());
        if (written.ok())
            pendingViri_.clear();
        else
            told(say(language_, GuardText::NotWritten, {companion::fileName(files::Detections), written.error.toStdString()}));
    }
    if (!pendingAlerts_.empty()) {
        std::vector<companion::TableRow> rows;
        for (const Detection& detection : pendingAlerts_)
            rows.push_back(alertRow(detection));
        const companion::RowsAdded added = companion::appendRows(files_, data::TableId::Alerts, rows, kKeptAlerts);
        // The detections are in viri.txt meanwhile.
        if (added.done())
            pendingAlerts_.clear();
        if (added.notATable)
            told(say(language_, GuardText::NotWritten,
                {companion::fileName(files::Alerts), say(language_, GuardText::NotATable)}));
        else if (!added.written.ok())
            told(say(language_, GuardText::NotWritten,
                {companion::fileName(files::Alerts), added.written.error.toStdString()}));
    }
    if (!pendingViri_.empty() || !pendingAlerts_.empty())
        detectionsDue_ = Clock::now() + kRetryDelay;
}

companion::TableRow Recorder::alertRow(const Detection& detection) const
{
    const Event& event = detection.event;
    companion::TableRow row {{data::fields::Name, QString::fromStdString(probe::lineText(fileNameOf(event.path)))},
        {data::fields::Moment, QString::fromStdString(detection.moment)},
        {data::fields::Action, QString::fromStdString(actionText(language_, event))},
        {data::fields::Path, QString::fromStdString(probe::lineText(event.path))}};
    if (event.modified > 0)
        row.emplace_back(data::fields::Version, localisation::shortDateLongTime(QDateTime::fromSecsSinceEpoch(event.modified)));
    return row;
}

void Recorder::notify()
{
    if (unnotified_.empty())
        return;
    std::string message;
    if (unnotified_.size() == 1) {
        const Event& event = unnotified_.front().event;
        message = say(language_, GuardText::FoundNotice,
            {probe::lineText(event.signature), probe::lineText(fileNameOf(event.path)), actionText(language_, event)});
    } else {
        std::string names;
        for (std::size_t i = 0; i < unnotified_.size() && i < kNamesNotified; ++i)
            names += (names.empty() ? "" : ", ") + probe::lineText(fileNameOf(unnotified_[i].event.path));
        if (unnotified_.size() > kNamesNotified)
            names += ", …";
        message = say(language_, GuardText::FoundSeveralNotice, {std::to_string(unnotified_.size()), names});
    }
    unnotified_.clear();
    companion::tellUser(folder_, message);
}

void Recorder::writeModifications()
{
    bool settingsChanged = false;
    bool failed = false;
    for (std::size_t kind = 0; kind < std::size(lines_); ++kind) {
        auto& lines = lines_[kind];
        if (lines.empty())
            continue;
        const bool programs = Watched(kind) == Watched::Programs;
        const data::FileResult written = files_.updateFile(
            modificationFile(Watched(kind)),
            [&](const QByteArray& current) -> std::optional<QByteArray> {
                QByteArray added;
                for (const auto& [path, line] : lines) {
                    // A program is new once: the list keeps it from then on.
                    if (programs && (lists(current, path) || lists(added, path)))
                        continue;
                    added += QByteArray::fromStdString(line) + "\r\n";
                }
                if (added.isEmpty())
                    return std::nullopt;
                return companion::appendedLog(current, added);
            },
            files_.fileWait());
        if (!written.ok()) {
            failed = true;
            told(say(language_, GuardText::NotWritten,
                {companion::fileName(modificationFile(Watched(kind))), written.error.toStdString()}));
            continue;
        }
        settingsChanged = settingsChanged || Watched(kind) == Watched::Settings || Watched(kind) == Watched::Autostart;
        lines.clear();
    }
    if (settingsChanged)
        tellControlCentre();
    if (failed)
        modificationsDue_ = Clock::now() + kRetryDelay;
}

} // namespace corvatek::vkguard
