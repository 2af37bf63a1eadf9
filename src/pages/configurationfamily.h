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

// The click handlers, named after their check boxes: each sets its flag to
// the box's checked state, then saves the configuration; a save that fails
// puts flag and box back.
void toggleScanOnOpen(shell::Session& session, QCheckBox* sender);
void toggleScanOnWrite(shell::Session& session, QCheckBox* sender);
void toggleScanDownloads(shell::Session& session, QCheckBox* sender);
void toggleSiteControl(shell::Session& session, QCheckBox* sender);
void toggleWatchSystemFiles(shell::Session& session, QCheckBox* sender);
void toggleWatchSettingsFiles(shell::Session& session, QCheckBox* sender);
void toggleWatchAutostart(shell::Session& session, QCheckBox* sender);
void toggleWatchProcesses(shell::Session& session, QCheckBox* sender);
void toggleBrokenShortcuts(shell::Session& session, QCheckBox* sender);
void toggleAutostartEntries(shell::Session& session, QCheckBox* sender);
void toggleEmptyTrash(shell::Session& session, QCheckBox* sender);
void toggleTempFiles(shell::Session& session, QCheckBox* sender);

struct Member {
    int flag; // configuration flag N, field ChampN
    Caption caption;
    void (*click)(shell::Session&, QCheckBox*);
};

inline constexpr Member kScanOnOpen {8, Caption::ScanOnOpen, toggleScanOnOpen};
inline constexpr Member kScanOnWrite {1, Caption::ScanOnWrite, toggleScanOnWrite};
inline constexpr Member kScanDownloads {2, Caption::ScanDownloads, toggleScanDownloads};
inline constexpr Member kSiteControl {7, Caption::SiteControl, toggleSiteControl};
inline constexpr Member kWatchSystemFiles {3, Caption::WatchSystemFiles, toggleWatchSystemFiles};
inline constexpr Member kWatchSettingsFiles {4, Caption::WatchSettingsFiles, toggleWatchSettingsFiles};
inline constexpr Member kWatchAutostart {5, Caption::WatchAutostart, toggleWatchAutostart};
inline constexpr Member kWatchProcesses {6, Caption::WatchProcesses, toggleWatchProcesses};
inline constexpr Member kBrokenShortcuts {9, Caption::BrokenShortcuts, toggleBrokenShortcuts};
inline constexpr Member kAutostartEntries {10, Caption::AutostartEntries, toggleAutostartEntries};
inline constexpr Member kEmptyTrash {11, Caption::EmptyTrash, toggleEmptyTrash};
inline constexpr Member kTempFiles {12, Caption::ClearTempFiles, toggleTempFiles};

// Makes `box` (a control the page has just added) a member: placed,
// captioned, checked, its click handler attached. Returns `box`.
QCheckBox* place(shell::Session& session, QCheckBox* box, const Member& member, const QRect& geometry);
// The page-build rule: the box takes its flag's state. Unchecking runs the
// click handler, so an off flag costs one save and one guard restart.
void showFlag(const shell::Session& session, QCheckBox* box, const Member& member);
// The guard options page's rule: the box shows its flag, and showing it
// saves nothing and restarts nothing.
void showFlagOnly(const shell::Session& session, QCheckBox* box, const Member& member);

// Stops every vkguard.exe, rewrites configuration.xml's one record from the
// twelve flags, and starts vkguard.exe again. False when the file was not
// rewritten.
bool saveConfiguration(shell::Session& session, QWidget* owner);

} // namespace corvatek::pages::family
