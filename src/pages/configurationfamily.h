// The configuration check-box family: twelve check boxes spread over five
// pages, each bound to one configuration flag and one field of
// configuration.xml. A click stores the whole set of flags and restarts the
// real-time guard, which reads that file only when it starts.
#pragma once

#include "localisation/caption.h"

#include <QRect>

class QCheckBox;
class QWidget;

namespace corvatek::shell {
struct Session;
}

namespace corvatek::pages::family {

struct Member {
    int flag; // configuration flag N, field ChampN
    Caption caption;
};

inline constexpr Member kScanOnOpen {8, Caption::ScanOnOpen};
inline constexpr Member kScanOnWrite {1, Caption::ScanOnWrite};
inline constexpr Member kScanDownloads {2, Caption::ScanDownloads};
inline constexpr Member kSiteControl {7, Caption::SiteControl};
inline constexpr Member kWatchSystemFiles {3, Caption::WatchSystemFiles};
inline constexpr Member kWatchSettingsFiles {4, Caption::WatchSettingsFiles};
inline constexpr Member kWatchAutostart {5, Caption::WatchAutostart};
inline constexpr Member kWatchProcesses {6, Caption::WatchProcesses};
inline constexpr Member kBrokenShortcuts {9, Caption::BrokenShortcuts};
inline constexpr Member kAutostartEntries {10, Caption::AutostartEntries};
inline constexpr Member kEmptyTrash {11, Caption::EmptyTrash};
inline constexpr Member kTempFiles {12, Caption::ClearTempFiles};

// Makes `box` (a control the page has just added) a member: placed,
// captioned, checked. A click sets the flag to the box's state and saves
// the configuration; a save that fails puts flag and box back. Returns `box`.
QCheckBox* place(shell::Session& session, QCheckBox* box, const Member& member, const QRect& geometry);
// The page-build rule: the box takes its flag's state. Unchecking counts as
// a click, so an off flag costs one save and one guard restart.
void showFlag(const shell::Session& session, QCheckBox* box, const Member& member);
// The guard options page's rule: the box shows its flag, and showing it
// saves nothing and restarts nothing.
void showFlagOnly(const shell::Session& session, QCheckBox* box, const Member& member);

// Stops every vkguard.exe, rewrites configuration.xml's one record from the
// twelve flags, and starts vkguard.exe again. False when the file was not
// rewritten.
bool saveConfiguration(shell::Session& session, QWidget* owner);

} // namespace corvatek::pages::family
