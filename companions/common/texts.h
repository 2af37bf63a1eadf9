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

// The text in `language`, each {n} replaced by the n-th argument.
std::string say(Language language, Text text, std::initializer_list<std::string_view> arguments = {});

// A number with one decimal, written as the language writes it (95.2, 95,2).
std::string decimal(Language language, double value);

} // namespace corvatek::companion
