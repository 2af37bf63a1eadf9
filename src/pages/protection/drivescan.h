// The drive scan request, made from the scan page's drive box and when a
// volume is attached: ask, list the volume's root, hand it to the scanner.
#pragma once

#include "shell/system.h"

class QWidget;

namespace corvatek::shell {
struct Session;
}

namespace corvatek::pages {

// Asks Caption::ScanDriveQuestion + the volume's root + " ?"; on Yes, when the root can
// still be listed, starts vkprobe.exe with "3 " and the root, quoted when
// it holds blanks so that the scanner receives it as one argument.
void driveScanRequest(shell::Session& session, QWidget* owner, const shell::Volume& volume);

// The device-change handler: an attached volume whose file system answers
// is offered for a scan.
void volumeArrived(shell::Session& session, QWidget* owner, const shell::Volume& volume);

} // namespace corvatek::pages
