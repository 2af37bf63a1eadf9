// What the disk check writes to its log and tells the user, in the five
// languages.
#pragma once

#include "common/texts.h"

namespace corvatek::companion {

enum class CheckText {
    HealthHeader,
    ReadHeader, // the folder
    ListHeader,
    DriveHealthy, // the drive's name
    DriveAtRisk,
    DriveFailing,
    DriveNoReport,
    Temperature, // degrees Celsius
    Sectors, // reallocated, pending, uncorrectable
    NotRefreshed,
    NoDrives,
    HealthUnavailable, // why
    FileSystemErrors, // device, mount point, count
    FileSystemClean, // device, mount point
    ReadSummary, // files, size, unreadable, not readable by the user, other failures
    Unreadable, // path
    FolderUnopened, // folder, why
    ListSummary, // files, size, files looked at
    ListCut,
    ListNotWritten, // why
    BadArguments, // what was given
    NoticeFailing, // drive
    NoticeAtRisk, // drive
    NoticeFileSystem, // device
    NoticeUnreadable, // count, folder
    NoticeListed, // count, size
    NoticeCannot, // why
};

std::string_view pattern(Language language, CheckText text);

} // namespace corvatek::companion
