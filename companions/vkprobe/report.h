// What a scan tells while it runs and when it ends: anaviri.txt, the report
// the scan page shows, replaced whole at least every second, and viri.txt,
// the home page's detections, one more line per finding. Both are replaced
// by rename under their lock, so a scan killed at any instant leaves whole
// files.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/filename.h"
#include "common/texts.h"

namespace corvatek::probe {

using companion::fileName;

// A path or a name as one line of a list file: UTF-8, control characters
// (a file name may hold a line end) shown as '?'.
std::string lineText(std::string_view text);

// A finding's line in viri.txt and the report: "<path> : <signature>".
std::string detectionLine(std::string_view path, std::string_view signature);

// viri.txt with `lines` added: those it lists already are not added
// again, and only its newest 4 MiB of lines are kept.
std::string withDetections(const std::string& current, const std::vector<std::string>& lines);

// The files of the program folder a scan shares with the control centre,
// each replaced whole under the lock the rest of the suite takes.
class SharedFiles {
public:
    explicit SharedFiles(std::string folder) : folder_(std::move(folder)) { }
    std::string path(std::string_view name) const { return folder_ + std::string(name); }
    // The first line of a small flag file, as UTF-8; empty when unreadable.
    std::string readFlag(std::string_view name) const;
    bool replaceFile(std::string_view name, std::string_view bytes) const;
    // Reads the file under its held lock; `change` gives the new content.
    bool updateFile(std::string_view name, const std::function<std::string(const std::string&)>& change) const;

private:
    std::string folder_;
};

// What a scan could not look at, each told with its reason.
enum class Unscanned { TooDeep, TooLarge, BeyondLimits };

class Report {
public:
    Report(const SharedFiles& files, companion::Language language, std::string head);
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    // From now on anaviri.txt holds the findings so far and a progress line,
    // replaced every second until finish.
    void startProgress();
    // What the progress line says the scan is doing: "in <folder>", say.
    void setActivity(std::string activity);
    void enterFolder(const std::string& folder);
    void countScanned();
    void countSkipped();
    void countUnscanned(Unscanned why);
    void found(const std::string& path, const std::string& signature);
    // A line of its own between the findings and the last line.
    void addNote(const std::string& note);

    std::size_t scanned() const;
    std::size_t skipped() const;
    std::size_t findings() const;
    std::size_t unscanned(Unscanned why) const;
    std::size_t unscanned() const;
    // The names of the first findings' files, for a notification.
    std::vector<std::string> firstFindings(std::size_t count) const;
    companion::Language language() const { return language_; }

    // Stops the progress, records the findings not yet in viri.txt and puts
    // `last` in place of the progress line. False when either file could
    // not be written.
    bool finish(const std::string& last);

private:
    void run();
    std::string reportBytes(const std::string& last) const; // mutex_ held
    bool writeDetections(const std::vector<std::string>& lines) const;

    const SharedFiles& files_;
    const companion::Language language_;
    const std::string head_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread writer_;
    bool stopping_ = false;
    std::size_t scanned_ = 0;
    std::size_t skipped_ = 0;
    std::size_t findings_ = 0;
    std::size_t unscanned_[3] = {};
    std::string activity_;
    std::vector<std::string> listed_; // the report's finding lines
    std::vector<std::string> notes_;
    std::vector<std::string> foundPaths_; // the first few, for the notification
    std::vector<std::string> unrecorded_; // findings not yet in viri.txt
    std::chrono::steady_clock::time_point lastRecorded_ {};
};

} // namespace corvatek::probe
