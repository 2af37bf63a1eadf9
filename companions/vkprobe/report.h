// What a scan tells while it runs and when it ends: anaviri.txt, the report
// the scan page shows, replaced whole at least every second, and viri.txt,
// the home page's detections, one more line per finding. Both are replaced
// by rename under their lock, so a scan killed at any instant leaves whole
// files.
#pragma once

#include "data/programfiles.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace corvatek::probe {

// A path or a name as one line of a list file: UTF-8, control characters
// (a file name may hold a line end) shown as '?'.
QByteArray lineText(std::string_view text);

class Report {
public:
    Report(const data::ProgramFiles& files, QByteArray head);
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    // From now on anaviri.txt holds the findings so far and a progress line,
    // replaced every second until finish.
    void startProgress();
    // What the progress line says the scan is doing: "in <folder>", say.
    void setActivity(QByteArray activity);
    void enterFolder(const std::string& folder);
    void countScanned();
    void countSkipped();
    void found(const std::string& path, const std::string& signature);

    std::size_t scanned() const;
    std::size_t skipped() const;
    std::size_t findings() const;

    // Stops the progress, records the findings not yet in viri.txt and puts
    // `last` in place of the progress line. False when either file could
    // not be written.
    bool finish(const QByteArray& last);

private:
    void run();
    QByteArray reportBytes(const QByteArray& last) const; // mutex_ held
    bool writeDetections(const std::vector<QByteArray>& lines) const;

    const data::ProgramFiles& files_;
    const QByteArray head_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread writer_;
    bool stopping_ = false;
    std::size_t scanned_ = 0;
    std::size_t skipped_ = 0;
    std::size_t findings_ = 0;
    QByteArray activity_;
    std::vector<QByteArray> listed_; // the report's finding lines
    std::vector<QByteArray> unrecorded_; // findings not yet in viri.txt
    std::chrono::steady_clock::time_point lastRecorded_ {};
};

} // namespace corvatek::probe
