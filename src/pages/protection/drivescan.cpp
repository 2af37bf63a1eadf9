#include "pages/protection/drivescan.h"

#include "data/filenames.h"
#include "shell/dialogue.h"
#include "shell/session.h"

namespace corvatek::pages {

void driveScanRequest(shell::Session& session, QWidget* owner, const shell::Volume& volume)
{
    const shell::System& system = session.system;
    if (!shell::Dialogue(session, owner)
             .ask(session.state.caption(Caption::ScanDriveQuestion) + system.volumeName(volume) + QStringLiteral(" ?")))
        return;
    // The volume may have gone while the question was open: a listing of
    // the folder it leaves behind must not start a scan.
    if (!system.listVolumeRoot(volume))
        return;
    session.companions.shellStart(files::Scanner, QStringLiteral("3 ") + system.volumeArgument(volume));
}

void volumeArrived(shell::Session& session, QWidget* owner, const shell::Volume& volume)
{
    if (session.system.volumeReadable(volume))
        driveScanRequest(session, owner, volume);
}

} // namespace corvatek::pages
