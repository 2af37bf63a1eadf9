#include "supervision/statusmonitor.h"

#include "data/filenames.h"
#include "data/valuetext.h"
#include "localisation/timeformat.h"
#include "platform/processes.h"
#include "platform/system.h"

#include <QScopedValueRollback>
#include <QSet>

#include <optional>

namespace corvatek::supervision {
namespace {

// How long a tick waits for a quarantine file a companion holds. Past it the
// tick leaves the quarantine to the next one, so the window never stalls.
constexpr std::chrono::milliseconds kQuarantineWait {100};

} // namespace

HostAddress localHostLookup()
{
    HostAddress result;
    if (const auto name = platform::hostName())
        result.name = QString::fromStdString(*name);
    if (const auto address = platform::machineAddress())
        result.address = QString::fromStdString(*address);
    return result;
}

bool isLoopback(const QString& address)
{
    return address.startsWith(QLatin1String("127."));
}

QString networkOptionText(const ProcessState& state)
{
    const bool flags[] = {
        state.firewallOn(),
        state.protocolFlags[0],
        state.protocolFlags[1],
        state.protocolFlags[2],
        state.protocolFlags[3],
        state.protocolFlags[4],
        state.protocolFlags[5],
        state.protocolFlags[6],
        state.internetFlag,
        state.networkOption10,
        state.networkOption11,
        state.configurationFlag(7),
        state.siteControlFlag,
    };
    QString text;
    for (const bool flag : flags)
        text += u' ' + textOf(switchOf(flag));
    return text;
}

data::FileResult loadBackupSchedule(ProcessState& state, const data::ProgramFiles& files)
{
    const data::LinesRead read = files.readLinesWhenFree(files::BackupSchedule);
    if (!read.ok())
        return read;
    const QStringList lines = read.lines.toList();
    const std::optional<BackupSchedule> schedule = valueOf<BackupSchedule>(lines.value(0));
    state.everyMinuteBackupFlag = schedule == BackupSchedule::EveryMinute;
    state.hourlyBackupFlag = schedule == BackupSchedule::Hourly;
    state.manualBackupFlag = !state.everyMinuteBackupFlag && !state.hourlyBackupFlag;
    state.backupEntries.clear();
    for (const QString& line : lines.mid(2)) {
        if (!line.isEmpty())
            state.backupEntries.append(line);
    }
    const QString chosen = lines.value(1);
    state.selectedBackupEntry = state.backupEntries.contains(chosen) ? chosen : QString();
    return read;
}

data::FileResult saveBackupSchedule(const ProcessState& state, const data::ProgramFiles& files)
{
    const BackupSchedule schedule = state.hourlyBackupFlag ? BackupSchedule::Hourly
        : state.everyMinuteBackupFlag                      ? BackupSchedule::EveryMinute
                                                           : BackupSchedule::Manual;
    return files.writeLines(
        files::BackupSchedule, QStringList {textOf(schedule), state.selectedBackupEntry} + state.backupEntries);
}

bool storedHourlyScan(const data::ProgramFiles& files)
{
    const data::FlagRead read = files.readFlag(files::HourlyScan);
    return !read.value || valueOf<Switch>(*read.value) != Switch::Off;
}

data::FileResult storeHourlyScan(const data::ProgramFiles& files, bool on)
{
    return files.writeFlag(files::HourlyScan, textOf(switchOf(on)));
}

StatusMonitor::StatusMonitor(
    ProcessState& state, const data::ProgramFiles& files, const Companions& companions, Hooks hooks)
    : state_(state), files_(files), companions_(companions), hooks_(std::move(hooks))
{
    // The scan page may never be shown in this run: the hourly scan follows
    // the user's last choice from the start.
    state_.hourlyScanFlag = storedHourlyScan(files_);
}

bool StatusMonitor::running(QStringView name) const
{
    return companions_.isRunning(name);
}

void StatusMonitor::start(QStringView name, const QString& parameters) const
{
    companions_.shellStart(name, parameters);
}

void StatusMonitor::tick()
{
    // A wait inside a tick keeps the window painted; the timer must not start
    // a second tick meanwhile.
    if (ticking_)
        return;
    const QScopedValueRollback busy(ticking_, true);
    previousIdleMinute_ = idleMinute_;
    previousTickMinute_ = tickMinute_;
    loopback_.reset();

    using Step = Next (StatusMonitor::*)();
    static constexpr Step kSteps[] = {
        &StatusMonitor::keepReachabilityRunning,
        &StatusMonitor::startMailFilterOnNewMinute,
        &StatusMonitor::runHourlyScan,
        &StatusMonitor::runHourlyBackup,
        &StatusMonitor::runEveryMinuteBackup,
        &StatusMonitor::startSignatureUpdate,
        &StatusMonitor::waitForScanner, // what follows waits while a scan runs
        &StatusMonitor::startMailFilterOnNewIdleMinute,
        &StatusMonitor::keepNetworkToolByLevel,
        &StatusMonitor::enforceQuarantine,
    };
    for (const Step step : kSteps) {
        if ((this->*step)() == Next::EndTick)
            return;
    }
}

StatusMonitor::Next StatusMonitor::keepReachabilityRunning()
{
    if (!running(files::Reachability) && !onLoopback())
        start(files::Reachability);
    return Next::Step;
}

StatusMonitor::Next StatusMonitor::startMailFilterOnNewMinute()
{
    tickMinute_ = localisation::minuteOf(hooks_.now());
    if (minuteChanged())
        start(files::MailFilter);
    return Next::Step;
}

StatusMonitor::Next StatusMonitor::runHourlyScan()
{
    if (state_.hourlyScanFlag && localisation::isFullHour(tickMinute_, previousTickMinute_) &&
        !running(files::Scanner))
        companions_.consoleStart(QStringView(files::Scanner).toString() + u' ' + textOf(ScanMode::Quick));
    return Next::Step;
}

StatusMonitor::Next StatusMonitor::runHourlyBackup()
{
    const QString& entry = state_.selectedBackupEntry;
    if (state_.hourlyBackupFlag && localisation::isFullHour(tickMinute_, previousTickMinute_) && !entry.isEmpty() &&
        !running(files::BackupTool))
        start(files::BackupTool, backupParameters(entry));
    return Next::Step;
}

StatusMonitor::Next StatusMonitor::runEveryMinuteBackup()
{
    const QString& entry = state_.selectedBackupEntry;
    if (state_.everyMinuteBackupFlag && minuteChanged() && !entry.isEmpty() && !running(files::BackupTool))
        start(files::BackupTool, backupParameters(entry));
    return Next::Step;
}

StatusMonitor::Next StatusMonitor::startSignatureUpdate()
{
    // Once a run; a machine without a network tries again every hour.
    if (localisation::isHalfPast(tickMinute_) && !state_.baseUpdateStarted && !onLoopback()) {
        state_.baseUpdateStarted = true;
        companions_.consoleStart(QStringView(files::Updater).toString() + u' ' + QLatin1StringView(kUpdateArgument));
    }
    return Next::Step;
}

StatusMonitor::Next StatusMonitor::waitForScanner()
{
    if (running(files::Scanner)) {
        emit scannerRunning();
        return Next::EndTick;
    }
    emit scannerIdle();
    return Next::Step;
}

StatusMonitor::Next StatusMonitor::startMailFilterOnNewIdleMinute()
{
    idleMinute_ = localisation::minuteOf(hooks_.now());
    if (idleMinute_ != previousIdleMinute_)
        start(files::MailFilter);
    return Next::Step;
}

StatusMonitor::Next StatusMonitor::keepNetworkToolByLevel()
{
    // At the normal level the tool is started once a minute (not on the
    // first tick), at the high level whenever it is down; either way the
    // quarantine is left to it while it runs, and at the normal level to
    // the next minute.
    const ProtectionLevel level = state_.protectionLevel;
    const bool startNow = level == ProtectionLevel::High ||
        (level == ProtectionLevel::Normal && minuteChanged() && !previousTickMinute_.isEmpty());
    if (startNow) {
        if (running(files::NetworkTool))
            return Next::EndTick;
        start(files::NetworkTool, networkOptionText(state_));
    }
    if (level == ProtectionLevel::Normal && !minuteChanged())
        return Next::EndTick;
    return running(files::NetworkTool) ? Next::EndTick : Next::Step;
}

bool StatusMonitor::onLoopback()
{
    if (!loopback_)
        loopback_ = isLoopback(hooks_.lookup().address);
    return *loopback_;
}

StatusMonitor::Next StatusMonitor::enforceQuarantine()
{
    state_.snapshot = companions_.snapshot();
    const data::TableLoad quarantine = files_.loadTable(files::Quarantine, kQuarantineWait);
    if (!quarantine.ok())
        return Next::Step; // busy or unreadable: the next tick tries again
    QSet<QString> names;
    for (const QString& name : std::as_const(state_.snapshot.names))
        names.insert(name.toLower());
    const int field = quarantine.table.fieldIndex(data::fields::Name);
    for (qsizetype row = 0; field >= 0 && row < quarantine.table.rowCount(); ++row) {
        // Rows a companion or an older version stored with blanks around the
        // name are enforced too.
        const QString name = data::trimmedName(quarantine.table.value(row, field));
        // The list may show an ended process not yet reaped; only a live one
        // is stopped and reported.
        if (name.isEmpty() || !names.contains(name.toLower()) || !companions_.isRunning(name))
            continue;
        companions_.stop(name);
        companions_.notify(name, state_.protectionLevel);
    }
    return Next::Step;
}

} // namespace corvatek::supervision
