#include "report.h"

#include "data/filenames.h"

#include <QString>

#include <algorithm>

namespace corvatek::probe {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kProgressInterval = std::chrono::seconds(1);
// Findings come in bursts in an infected folder: each is in viri.txt within
// this time, without rewriting the file for every one of them.
constexpr auto kRecordInterval = std::chrono::milliseconds(250);
// A page shows the report whole: past this many findings only their number.
constexpr std::size_t kListedFindings = 10000;
// viri.txt keeps its newest lines within this size.
constexpr qsizetype kDetectionsLimit = 4 * 1024 * 1024;

} // namespace

QByteArray lineText(std::string_view text)
{
    QString line = QString::fromUtf8(text.data(), qsizetype(text.size()));
    for (QChar& c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return line.toUtf8();
}

Report::Report(const data::ProgramFiles& files, QByteArray head) : files_(files), head_(std::move(head)) { }

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

void Report::setActivity(QByteArray activity)
{
    const std::lock_guard lock(mutex_);
    activity_ = std::move(activity);
}

void Report::enterFolder(const std::string& folder)
{
    setActivity("in " + lineText(folder.empty() ? std::string_view("/") : std::string_view(folder)));
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

void Report::found(const std::string& path, const std::string& signature)
{
    const QByteArray line = lineText(path) + " : " + lineText(signature);
    {
        const std::lock_guard lock(mutex_);
        ++scanned_;
        ++findings_;
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

QByteArray Report::reportBytes(const QByteArray& last) const
{
    QByteArray bytes = head_ + "\r\n";
    for (const QByteArray& line : listed_)
        bytes += line + "\r\n";
    if (findings_ > listed_.size())
        bytes += "... and " + QByteArray::number(qulonglong(findings_ - listed_.size())) + " more findings\r\n";
    return bytes + last + "\r\n";
}

bool Report::writeDetections(const std::vector<QByteArray>& lines) const
{
    const auto added = [&lines](const QByteArray& current) -> std::optional<QByteArray> {
        QByteArray text = current;
        if (!text.isEmpty() && !text.endsWith('\n'))
            text += "\r\n";
        for (const QByteArray& line : lines)
            text += line + "\r\n";
        if (text.size() > kDetectionsLimit) {
            const qsizetype cut = text.indexOf('\n', text.size() - kDetectionsLimit);
            text.remove(0, cut < 0 ? text.size() : cut + 1);
        }
        return text;
    };
    return files_.updateFile(files::Detections, added, files_.fileWait()).ok();
}

void Report::run()
{
    std::unique_lock lock(mutex_);
    Clock::time_point nextProgress = Clock::now();
    while (!stopping_) {
        const Clock::time_point now = Clock::now();
        if (!unrecorded_.empty() && now >= lastRecorded_ + kRecordInterval) {
            std::vector<QByteArray> lines = std::move(unrecorded_);
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
            const QByteArray bytes = reportBytes("Scanning: " + QByteArray::number(qulonglong(scanned_)) +
                " files scanned, " + QByteArray::number(qulonglong(findings_)) + " findings, " + activity_);
            lock.unlock();
            files_.replaceFile(files::ScanReport, bytes);
            lock.lock();
            nextProgress = now + kProgressInterval;
        }
        Clock::time_point wakeAt = nextProgress;
        if (!unrecorded_.empty())
            wakeAt = std::min(wakeAt, lastRecorded_ + kRecordInterval);
        wake_.wait_until(lock, wakeAt);
    }
}

bool Report::finish(const QByteArray& last)
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
    return files_.replaceFile(files::ScanReport, reportBytes(last)).ok() && recorded;
}

} // namespace corvatek::probe
