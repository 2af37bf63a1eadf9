// What the companions tell the user (reports, logs, notifications), in the
// language the control centre stores, from one table of their own. Free of
// Qt, so that the scanner uses it too.
#pragma once

#include "localisation/language.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace corvatek::companion {

using localisation::Language;

// The language stored in langues.xml of the program folder; where there is
// none (a companion started before the first start of the control centre),
// the one the control centre would choose from the user's locale.
Language storedLanguage(const std::string& programFolder);

// Each text, with {1}, {2}… where its arguments go.
enum class Text {
    // The scan report.
    ScanHead,
    ModeOf,
    ModeQuick,
    ModeFull,
    ModeRunning,
    ModeVolume,
    Scanning,
    ScanningIn,
    LoadingSignatures,
    Done,
    DoneIncomplete,
    NotDone,
    NotScannedDeep,
    NotScannedLarge,
    NotFullyScanned,
    FindingsCut,
    UnknownMode,
    VolumeNeedsMountPoint,
    FolderUnreadable,
    HomeUnknown,
    NoSignatures,
    SignaturesUnusable,
    SignaturesPassedOver,
    SignatureFolderUnreadable,
    SignatureFolderEmpty,
    SignaturesNotLoaded,
    SignaturesNone,
    EngineFailed,
    Or,
    // Notifications.
    ScanFoundNotice,
    ScanNotDoneNotice,
    DiskCheckDone,
    FolderCheckDone,
    SystemSettingChanged,
    SettingsNotSaved,
    SettingsNotMade,
    QuarantineStopped,
    UpdateFailedNotice,
    BackupDoneNotice,
    BackupFailuresNotice,
    BackupRefusedNotice,
};

// What the backup writes to its log.
enum class BackupText {
    Summary,
    LeftoversRemoved,
    Took,
    Refused,
    OneArgument,
    NoSplit,
    FolderNotOpened,
    InsideSource,
    AnotherRunning,
    Skipped,
    Failed,
    More,
    DiskFlushFailed,
    ReadingFailed,
    WritingFailed,
    NamedPipe,
    Socket,
    Device,
    CannotList,
    OldCopyNotRemoved,
    FolderInPlace,
    IsDestination,
    LeadsBack,
    ChangedDuring,
    CannotMake,
    CannotOpen,
    OtherFileSystem,
    OtherOwner,
    CannotWrite,
    CannotPutInPlace,
};

// What the signature update writes to its log and tells the user.
enum class UpdateText {
    Started,
    NotPrepared,
    NoFreshclam,
    FolderNotMade,
    ConfigurationNotWritten,
    NotStarted,
    FreshclamSaid,
    ToldToStop,
    PastLimit,
    EndedBySignal,
    EndedWith,
    Current,
    NoConnection,
    NotVerified,
    ConfigurationRefused,
    CannotWrite,
    ServerBusy,
    UpdateFailed,
    StoppedAfter,
};

// What the real-time guard's client writes to its log, to the alerts list,
// to the modification files and tells the user.
enum class GuardText {
    SettingsRead,
    Connected,
    NoService,
    Blocking,
    Unavailable,
    NoAnswer,
    ServiceLost,
    AfterWriting,
    NotScanning,
    SignaturesLoaded,
    CannotCheck,
    EngineRestarted,
    EngineEnded,
    Watching,
    NothingToProtect,
    NoSignaturesEnding,
    ToldToStop,
    NotWritten,
    NotATable,
    RefusedRun,
    RefusedOpen,
    FoundWritten,
    FoundLate,
    UnknownProgram,
    FoundNotice,
    FoundSeveralNotice,
    Created,
    Deleted,
    Modified,
    Renamed,
    FirstRun,
};

// What the connection monitor writes to its log and tells the user.
enum class ReachText {
    KindNotListed,
    ListedAgain,
    NotWritten,
    NewPort,
    NewPorts,
    UnknownProgram,
};

// Each text's pattern in `language`.
std::string_view pattern(Language language, Text text);
std::string_view pattern(Language language, GuardText text);
std::string_view pattern(Language language, ReachText text);
std::string_view pattern(Language language, BackupText text);
std::string_view pattern(Language language, UpdateText text);

// The pattern with each {n} replaced by the n-th argument.
std::string fill(std::string_view pattern, std::initializer_list<std::string_view> arguments);

// The text in `language`, each {n} replaced by the n-th argument.
template<typename Id> std::string say(Language language, Id text, std::initializer_list<std::string_view> arguments = {})
{
    return fill(pattern(language, text), arguments);
}

// A number with `digits` decimals, written as the language writes it
// (95.2, 95,2).
std::string decimal(Language language, double value, int digits = 1);

} // namespace corvatek::companion
