// The client's one loop: the settings, the guard service's connection, the
// folders watched and the client's own engine, all on one poll().
#pragma once

#include "folderwatch.h"
#include "ownscan.h"
#include "recorder.h"
#include "settings.h"

#include "common/texts.h"
#include "data/programfiles.h"
#include "scanning/guardclient.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvatek::vkguard {

// How the run ended.
enum ExitStatus { Stopped = 0, NothingToProtect = 1, CannotCheck = 2 };

class Guard {
public:
    Guard();
    ExitStatus run();

private:
    enum class Service {
        Absent, // not connected; tried again at reconnectAt_
        Awaiting, // asked, no answer yet
        Blocking, // it checks files before they open
        NotBlocking, // it said it cannot, or did not answer in time
    };

    void log(const std::string& line) const;
    void readSettingsAgain();
    void logSettings() const;
    void watchModifications();
    void connectService(bool first);
    void serviceLost();
    void readService();
    void answered(const scanning::guard::Answer& answer);
    void enterServiceMode();
    void enterUserMode();
    void checkOwnFolders();
    void startOwnScan();
    void ownScanReported(OwnScan::Report report);
    void settingsFileChanged(const FolderWatch::Change& change);
    void fileWritten(const FolderWatch::Change& change);
    void entryChanged(const FolderWatch::Change& change);
    bool inProgramFolder(const std::string& path) const;
    int pollTimeout() const;

    const std::string folder_; // the program folder, without its last '/'
    data::ProgramFiles files_;
    companion::Language language_;
    Guarding settings_;
    Recorder recorder_;
    FolderWatch settingsWatch_;
    FolderWatch scanWatch_;
    FolderWatch modWatch_;

    std::string socketPath_;
    std::unique_ptr<scanning::guard::Client> client_;
    Service service_ = Service::Absent;
    bool everBlocking_ = false;
    Clock::time_point answerDeadline_ {};
    Clock::time_point reconnectAt_ {};
    std::chrono::seconds backoff_ {1};

    bool userMode_ = false;
    std::optional<std::vector<std::string>> scanned_; // the folders checked after writing, once told
    std::unique_ptr<OwnScan> own_;
    bool ownLoaded_ = false;
    bool ownFailed_ = false; // no signatures would load: not tried again until the next fallback
    std::optional<Clock::time_point> ownRestarted_;

    std::optional<Clock::time_point> settingsDue_;
    int signals_ = -1;
    std::optional<ExitStatus> exit_;
};

} // namespace corvatek::vkguard
