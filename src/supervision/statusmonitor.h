// The status monitor: every 1500 ms it brings the companions into the state
// the settings ask for and runs the suite's time-driven jobs (mail filter,
// hourly scan, backups, base update, network tool by protection level), and
// enforces the quarantine while the network tool is not running.
#pragma once

#include "supervision/companions.h"
#include "supervision/processstate.h"
#include "data/programfiles.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

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
// The thirteen network option flags, each as a blank and its Switch.
QString networkOptionText(const ProcessState& state);
// The hourly scan choice kept for later starts: on unless it was switched
// off, the first start's default.
bool storedHourlyScan(const data::ProgramFiles& files);
data::FileResult storeHourlyScan(const data::ProgramFiles& files, bool on);

// The backup page's entries, the chosen one and the schedule live in
// files::BackupSchedule: line 1 the schedule (a BackupSchedule), line 2 the
// chosen entry (empty for none), then one entry a line. Loading sets the state only from a file that was read; a chosen entry
// missing from the list is dropped, so a removed entry is never backed up.
data::FileResult loadBackupSchedule(ProcessState& state, const data::ProgramFiles& files);
data::FileResult saveBackupSchedule(const ProcessState& state, const data::ProgramFiles& files);

// One tick is a list of steps in a fixed order; a step may end the tick.
class StatusMonitor : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<QDateTime()> now;
        std::function<HostAddress()> lookup = localHostLookup;
    };

    // Takes the stored hourly scan choice into the state.
    StatusMonitor(ProcessState& state, const data::ProgramFiles& files, const Companions& companions, Hooks hooks);

    // One tick of the monitor timer.
    void tick();

signals:
    // At every tick on which the scanner is not running, and on which it runs.
    void scannerIdle();
    void scannerRunning();

private:
    enum class Next { Step, EndTick };

    Next keepReachabilityRunning();
    Next startMailFilterOnNewMinute();
    Next runHourlyScan();
    Next runHourlyBackup();
    Next runEveryMinuteBackup();
    Next startSignatureUpdate();
    Next waitForScanner();
    Next startMailFilterOnNewIdleMinute();
    Next keepNetworkToolByLevel();
    Next enforceQuarantine();

    bool running(QStringView name) const;
    void start(QStringView name, const QString& parameters = {}) const;
    // The host lookup may ask the network: once a tick at most.
    bool onLoopback();
    bool minuteChanged() const { return tickMinute_ != previousTickMinute_; }

    ProcessState& state_;
    const data::ProgramFiles& files_;
    const Companions& companions_;
    Hooks hooks_;
    QString tickMinute_;
    QString previousTickMinute_;
    QString idleMinute_;
    QString previousIdleMinute_;
    std::optional<bool> loopback_; // this tick's lookup, once made
    bool ticking_ = false;
};

} // namespace corvatek::supervision
