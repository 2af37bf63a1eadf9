#include "report.h"

#include "data/eightbit.h"
#include "platform/filecontent.h"
#include "platform/files.h"

#include <algorithm>
#include <unordered_set>

namespace corvatek::probe {
namespace {

using data::isValidUtf8;

using Clock = std::chrono::steady_clock;

constexpr auto kProgressInterval = std::chrono::seconds(1);
// Findings come in bursts in an infected folder: each is in viri.txt within
// this time, without rewriting the file for every one of them.
constexpr auto kRecordInterval = std::chrono::milliseconds(250);
// A page shows the report whole: past this many findings only their number.
constexpr std::size_t kListedFindings = 10000;
// A notification names this many of the files found.
constexpr std::size_t kNamesNotified = 3;
// viri.txt keeps its newest lines within this size.
constexpr std::size_t kDetectionsLimit = 4 * 1024 * 1024;
// How long a shared file may stay in use before a write gives up: the
// control centre's wait.
constexpr std::chrono::milliseconds kFileFreeTimeout {4000};
constexpr std::size_t kFlagFileLimit = 4 * 1024;
constexpr std::size_t kListFileLimit = 64 * 1024 * 1024;

} // namespace

std::string lineText(std::string_view text)
{
    std::string line = data::validUtf8(text);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return line;
}

std::string detectionLine(std::string_view path, std::string_view signature)
{
    return lineText(path) + " : " + lineText(signature);
}

std::string SharedFiles::readFlag(std::string_view name) const
{
    platform::FileRead read = platform::readRegularFile(path(name), kFlagFileLimit);
    if (read.status != platform::FileRead::Ok)
        return {};
    const std::string& bytes = read.bytes;
    const std::size_t end = bytes.find_first_of("\r\n");
    // A file that ends in a line end holds no line past it.
    if (bytes.empty())
        return {};
    const std::string_view first = std::string_view(bytes).substr(0, end);
    if (isValidUtf8(bytes))
        return std::string(first);
    std::string text;
    data::appendWindows1252AsUtf8(text, first);
    return text;
}

bool SharedFiles::replaceFile(std::string_view name, std::string_view bytes) const
{
    const std::string target = path(name);
    // Held on the file being replaced until the new one is in place, so a
    // companion that follows the lock never reads a half-written file.
    const auto held = platform::FileLock::acquire(target, platform::LockMode::Write, kFileFreeTimeout);
    if (!held.lock) {
        // Nobody can hold a pipe or a device; the rename puts a regular file
        // in its place (in place of a link, never through it).
        const auto kind = platform::fileFacts(target).kind;
        if (held.unusable.empty() || kind == platform::FileKind::Regular || kind == platform::FileKind::Folder ||
            kind == platform::FileKind::Missing)
            return false;
    }
    return !platform::replaceFileContents(target, bytes);
}

bool SharedFiles::updateFile(std::string_view name, const std::function<std::string(const std::string&)>& change) const
{
    const std::string target = path(name);
    const auto held = platform::FileLock::acquire(target, platform::LockMode::Write, kFileFreeTimeout);
    if (!held.lock)
        return false;
    std::string current;
    if (held.lock->descriptor() >= 0) {
        platform::FileRead read = platform::readRegularFile(held.lock->descriptor(), kListFileLimit);
        if (read.status != platform::FileRead::Ok)
            return false;
        current = std::move(read.bytes);
    }
    return !platform::replaceFileContents(target, change(current));
}

Report::Report(const SharedFiles& files, companion::Language language, std::string head)
    : files_(files), language_(language), head_(std::move(head))
{
}

Report::~Report()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

void Report::startProgress()
{
    writer_ = std::thread([this] { run(); });
}

void Report::setActivity(std::string activity)
{
    const std::lock_guard lock(mutex_);
    activity_ = std::move(activity);
}

void Report::enterFolder(const std::string& folder)
{
    setActivity(companion::say(language_, companion::Text::ScanningIn,
        {lineText(folder.empty() ? std::string_view("/") : std::string_view(folder))}));
}

void Report::countScanned()
{
    const std::lock_guard lock(mutex_);
    ++scanned_;
}

void Report::countSkipped()
{
    const std::lock_guard lock(mutex_);
    ++skipped_;
}

void Report::countUnscanned(Unscanned why)
{
    const std::lock_guard lock(mutex_);
    ++unscanned_[std::size_t(why)];
}

void Report::addNote(const std::string& note)
{
    const std::lock_guard lock(mutex_);
    notes_.push_back(lineText(note));
}

void Report::found(const std::string& path, const std::string& signature)
{
    const std::string line = detectionLine(path, signature);
    {
        const std::lock_guard lock(mutex_);
        ++scanned_;
        ++findings_;
        if (foundPaths_.size() < kNamesNotified)
            foundPaths_.push_back(lineText(path));
        if (listed_.size() < kListedFindings)
            listed_.push_back(line);
        unrecorded_.push_back(line);
    }
    wake_.notify_all();
}

std::size_t Report::scanned() const
{
    const std::lock_guard lock(mutex_);
    return scanned_;
}

std::size_t Report::skipped() const
{
    const std::lock_guard lock(mutex_);
    return skipped_;
}

std::size_t Report::findings() const
{
    const std::lock_guard lock(mutex_);
    return findings_;
}

std::size_t Report::unscanned(Unscanned why) const
{
    const std::lock_guard lock(mutex_);
    return unscanned_[std::size_t(why)];
}

std::size_t Report::unscanned() const
{
    const std::lock_guard lock(mutex_);
    return unscanned_[0] + unscanned_[1] + unscanned_[2];
}

std::vector<std::string> Report::firstFindings(std::size_t count) const
{
    const std::lock_guard lock(mutex_);
    return {foundPaths_.begin(), foundPaths_.begin() + std::ptrdiff_t(std::min(count, foundPaths_.size()))};
}

std::string Report::reportBytes(const std::string& last) const
{
    std::string bytes = head_ + "\r\n";
    for (const std::string& line : listed_)
        bytes += line + "\r\n";
    if (findings_ > listed_.size())
        bytes += companion::say(language_, companion::Text::FindingsCut, {std::to_string(findings_ - listed_.size())}) +
            "\r\n";
    for (const std::string& line : notes_)
        bytes += line + "\r\n";
    return bytes + last + "\r\n";
}

std::string withDetections(const std::string& current, const std::vector<std::string>& lines)
{
    std::string text = current;
    if (!text.empty() && text.back() != '\n')
        text += "\r\n";
    // A file found again by a later scan is listed once.
    std::unordered_set<std::string_view> listed;
    for (std::size_t start = 0; start < current.size();) {
        const std::size_t end = std::min(current.find('\n', start), current.size());
        std::string_view line = std::string_view(current).substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        listed.insert(line);
        start = end + 1;
    }
    std::vector<std::string_view> fresh;
    for (const std::string& line : lines) {
        if (listed.insert(line).second)
            fresh.push_back(line);
    }
    for (const std::string_view line : fresh) {
        text += line;
        text += "\r\n";
    }
    if (text.size() > kDetectionsLimit) {
        const std::size_t cut = text.find('\n', text.size() - kDetectionsLimit);
        text.erase(0, cut == std::string::npos ? text.size() : cut + 1);
    }
    return text;
}

bool Report::writeDetections(const std::vector<std::string>& lines) const
{
    return files_.updateFile(
        fileName(files::Detections), [&lines](const std::string& current) { return withDetections(current, lines); });
}

void Report::run()
{
    std::unique_lock lock(mutex_);
    Clock::time_point nextProgress = Clock::now();
    while (!stopping_) {
        const Clock::time_point now = Clock::now();
        if (!unrecorded_.empty() && now >= lastRecorded_ + kRecordInterval) {
            std::vector<std::string> lines = std::move(unrecorded_);
            unrecorded_.clear();
            lock.unlock();
            const bool recorded = writeDetections(lines);
            lock.lock();
            // Kept for the next try; finish tells when they never made it.
            if (!recorded)
                unrecorded_.insert(unrecorded_.begin(), lines.begin(), lines.end());
            lastRecorded_ = Clock::now();
        }
        if (now >= nextProgress) {
            const std::string bytes = reportBytes(companion::say(language_, companion::Text::Scanning,
                {std::to_string(scanned_), std::to_string(findings_), activity_}));
            lock.unlock();
            files_.replaceFile(fileName(files::ScanReport), bytes);
            lock.lock();
            nextProgress = now + kProgressInterval;
        }
        Clock::time_point wakeAt = nextProgress;
        if (!unrecorded_.empty())
            wakeAt = std::min(wakeAt, lastRecorded_ + kRecordInterval);
        wake_.wait_until(lock, wakeAt);
    }
}

bool Report::finish(const std::string& last)
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable())
        writer_.join();
    const std::lock_guard lock(mutex_);
    bool recorded = unrecorded_.empty() || writeDetections(unrecorded_);
    if (recorded)
        unrecorded_.clear();
    return files_.replaceFile(fileName(files::ScanReport), reportBytes(last)) && recorded;
}

} // namespace corvatek::probe
