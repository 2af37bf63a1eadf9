#include "supervision/statusmonitor.h"

#include "data/filenames.h"
#include "localisation/timeformat.h"
#include "platform/platform.h"

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
        state.firewallOn,
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
        text += flag ? QLatin1String(" 1") : QLatin1String(" 0");
    return text;
}

namespace {

constexpr QLatin1StringView kManualBackups("0");
constexpr QLatin1StringView kBackupsEveryMinute("1");
constexpr QLatin1StringView kHourlyBackups("2");

} // namespace

data::FileResult loadBackupSchedule(ProcessState& state, const data::ProgramFiles& files)
{
    const data::LinesRead read = files.readLinesWhenFree(files::BackupSchedule);
    if (!read.ok())
        return read;
    const QStringList lines = read.lines.toList();
    const QString schedule = lines.value(0);
    state.everyMinuteBackupFlag = schedule == kBackupsEveryMinute;
    state.hourlyBackupFlag = schedule == kHourlyBackups;
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
    const QString schedule = state.hourlyBackupFlag ? kHourlyBackups
        : state.everyMinuteBackupFlag               ? kBackupsEveryMinute
                                                    : kManualBackups;
    return files.writeLines(
        files::BackupSchedule, QStringList {schedule, state.selectedBackupEntry} + state.backupEntries);
}

bool storedHourlyScan(const data::ProgramFiles& files)
{
    return files.readFlag(files::HourlyScan).value != QLatin1String("0");
}

data::FileResult storeHourlyScan(const data::ProgramFiles& files, bool on)
{
    return files.writeFlag(files::HourlyScan, on ? QStringLiteral("1") : QStringLiteral("0"));
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
    ticking_ = true;
    const struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done {ticking_};

    previousIdleMinute_ = idleMinute_;
    previousTickMinute_ = tickMinute_;

    // The host lookup may ask the network: once a tick at most.
    std::optional<bool> loopback;
    const auto onLoopback = [&] {
        if (!loopback)
            loopback = isLoopback(hooks_.lookup().address);
        return *loopback;
    };

    if (!running(files::Reachability) && !onLoopback())
        start(files::Reachability);

    tickMinute_ = localisation::minuteOf(hooks_.now());
    const bool minuteChanged = tickMinute_ != previousTickMinute_;
    const bool fullHour = tickMinute_ == QLatin1String("00") && previousTickMinute_ == QLatin1String("59");
    if (minuteChanged)
        start(files::MailFilter);

    if (state_.hourlyScanFlag && fullHour && !running(files::Scanner))
        companions_.consoleStart(QStringLiteral("vkprobe.exe 0"));

    const QString& entry = state_.selectedBackupEntry;
    if (state_.hourlyBackupFlag && fullHour && !entry.isEmpty() && !running(files::BackupTool))
        start(files::BackupTool, backupParameters(entry));
    if (state_.everyMinuteBackupFlag && minuteChanged && !entry.isEmpty() && !running(files::BackupTool))
        start(files::BackupTool, backupParameters(entry));

    if (tickMinute_ == QLatin1String("30") && !state_.baseUpdateStarted && !onLoopback()) {
        state_.baseUpdateStarted = true;
        companions_.consoleStart(files::Updater.toString() + QStringLiteral(" 0"));
    }

    // While the scanner runs, the rest waits for it.
    if (running(files::Scanner)) {
        if (hooks_.scannerRunning)
            hooks_.scannerRunning();
        return;
    }
    if (hooks_.scannerIdle)
        hooks_.scannerIdle();

    idleMinute_ = localisation::minuteOf(hooks_.now());
    if (idleMinute_ != previousIdleMinute_)
        start(files::MailFilter);

    const QString options = networkOptionText(state_);
    const int level = state_.protectionLevel;
    if (level == 2 && minuteChanged && !previousTickMinute_.isEmpty()) {
        if (running(files::NetworkTool))
            return;
        start(files::NetworkTool, options);
    }
    if (level == 3) {
        if (running(files::NetworkTool))
            return;
        start(files::NetworkTool, options);
    }
    if (level == 2 && !minuteChanged)
        return;
    if (running(files::NetworkTool))
        return;
    enforceQuarantine();
}

void StatusMonitor::enforceQuarantine()
{
    state_.snapshot = companions_.snapshot();
    const data::TableLoad quarantine = files_.loadTable(files::Quarantine, kQuarantineWait);
    if (!quarantine.ok())
        return; // busy or unreadable: the next tick tries again
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
        if (state_.protectionLevel != 1)
            companions_.notify(name, state_.levelText());
    }
}

} // namespace corvatek::supervision
