#include "pages/protection/drivescan.h"

#include "data/filenames.h"
#include "shell/session.h"

namespace corvatek::pages {

void driveScanRequest(shell::Session& session, QWidget* owner, const platform::Volume& volume)
{
    const std::string name = platform::volumeName(volume);
    if (!session.seams.askYesNo(owner,
            session.state.caption(Caption::ScanDriveQuestion) + QString::fromStdString(name) + QStringLiteral(" ?")))
        return;
    // The volume may have gone while the question was open: a listing of
    // the folder it leaves behind must not start a scan.
    if (!platform::listVolumeRoot(volume))
        return;
    session.companions.shellStart(
        files::Scanner, QStringLiteral("3 ") + QString::fromStdString(platform::quoteArgument(name)));
}

void volumeArrived(shell::Session& session, QWidget* owner, const platform::Volume& volume)
{
    if (platform::volumeReadable(volume))
        driveScanRequest(session, owner, volume);
}

} // namespace corvatek::pages
