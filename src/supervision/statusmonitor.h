// The status monitor: every 1500 ms it brings the companions into the state
// the settings ask for and runs the suite's time-driven jobs (mail filter,
// hourly scan, backups, base update, network tool by protection level), and
// enforces the quarantine while the network tool is not running.
#pragma once

#include "supervision/companions.h"
#include "supervision/processstate.h"
#include "data/programfiles.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace corvatek::supervision {

struct HostAddress {
    QString name; // empty when the system will not tell
    QString address; // the machine's IPv4 address; empty when it cannot be told
};

// The machine's host name and its address on its network (that of the
// interface the default route leaves by; loopback when there is no network).
HostAddress localHostLookup();
// Whether an address is the machine's loopback (127.0.0.0/8); an empty
// address is not.
bool isLoopback(const QString& address);
// The thirteen network option flags, each as a blank and "1" or "0".
QString networkOptionText(const ProcessState& state);
// The hourly scan choice kept for later starts: on unless it was switched
// off, the first start's default.
bool storedHourlyScan(const data::ProgramFiles& files);
data::FileResult storeHourlyScan(const data::ProgramFiles& files, bool on);

// The backup page's entries, the chosen one and the schedule live in
// files::BackupSchedule: line 1 the schedule ("0" manual, "1" every minute,
// "2" every hour), line 2 the chosen entry (empty for none), then one entry a
// line. Loading sets the state only from a file that was read; a chosen entry
// missing from the list is dropped, so a removed entry is never backed up.
data::FileResult loadBackupSchedule(ProcessState& state, const data::ProgramFiles& files);
data::FileResult saveBackupSchedule(const ProcessState& state, const data::ProgramFiles& files);

class StatusMonitor {
public:
    struct Hooks {
        std::function<QDateTime()> now;
        std::function<HostAddress()> lookup = localHostLookup;
        // Told at every tick on which the scanner is not running, and on
        // which it runs.
        std::function<void()> scannerIdle;
        std::function<void()> scannerRunning;
    };

    // Takes the stored hourly scan choice into the state.
    StatusMonitor(ProcessState& state, const data::ProgramFiles& files, const Companions& companions, Hooks hooks);

    // One tick of the monitor timer.
    void tick();

    const QString& tickMinute() const { return tickMinute_; }

private:
    bool running(QStringView name) const;
    void start(QStringView name, const QString& parameters = {}) const;
    void enforceQuarantine();

    ProcessState& state_;
    const data::ProgramFiles& files_;
    const Companions& companions_;
    Hooks hooks_;
    QString tickMinute_;
    QString previousTickMinute_;
    QString idleMinute_;
    QString previousIdleMinute_;
    bool ticking_ = false;
};

} // namespace corvatek::supervision
