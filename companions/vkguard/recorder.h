// Where a detection and a watched modification end up, in the program
// folder, whether the service or the client itself saw them: viri.txt and
// a row of alertes.xml (and the user told) for a detection, a line of its
// modification file for a change. Records are gathered for a moment and
// written together, each file replaced whole by rename under its lock.
#pragma once

#include "common/tablerows.h"
#include "common/texts.h"
#include "data/programfiles.h"
#include "scanning/guardprotocol.h"

#include <QStringList>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace corvatek::vkguard {

using Clock = std::chrono::steady_clock;
using scanning::guard::Change;
using scanning::guard::Event;
using scanning::guard::Watched;

class Recorder {
public:
    explicit Recorder(const data::ProgramFiles& files);

    void setLanguage(companion::Language language) { language_ = language; }
    // Whether a program run for the first time counts (switch 6).
    void setNewPrograms(bool on) { newPrograms_ = on; }
    // Told a line for the log when a record could not be written.
    void setProblemLog(std::function<void(const std::string&)> log) { problem_ = std::move(log); }

    // The same path and signature within a minute count once.
    void detection(const Event& event);
    // The same path and change within a second count once; a file made
    // counts as made, not also as changed, within that second.
    void modification(Watched kind, Change change, const std::string& path);
    // A modification the service told.
    void modification(const Event& event) { modification(event.watched, event.change, event.path); }

    // When what waits is to be written; nothing when nothing waits.
    std::optional<Clock::time_point> due() const;
    // Writes what is due, or everything waiting when `all`.
    void write(bool all = false);

private:
    struct Detection {
        Event event;
        std::string moment;
    };
    void writeDetections();
    void notify();
    companion::TableRow alertRow(const Detection& detection) const;
    void writeModifications();
    void told(const std::string& line);

    const data::ProgramFiles& files_;
    const std::string folder_;
    companion::Language language_ = companion::Language::English;
    bool newPrograms_ = false;
    std::function<void(const std::string&)> problem_;
    std::string lastProblem_;

    // Each record waits until its file was written.
    std::vector<std::string> pendingViri_;
    std::vector<Detection> pendingAlerts_;
    std::vector<Detection> unnotified_;
    Clock::time_point detectionsDue_ {};
    std::map<std::pair<std::string, std::string>, Clock::time_point> detected_;

    std::vector<std::pair<std::string, std::string>> lines_[4]; // path as written and line, by Watched
    Clock::time_point modificationsDue_ {};
    std::map<std::tuple<std::string, Change, Watched>, Clock::time_point> changed_;
};

// Tells the running control centre, on its instance socket, that settings
// of the system changed; never waits. False when no control centre took it.
bool tellControlCentre();

} // namespace corvatek::vkguard
