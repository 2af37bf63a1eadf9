#include "pages/registry.h"

#include "pages/protection/diskcheckpage.h"
#include "pages/protection/drivescan.h"
#include "pages/protection/guardoptionspage.h"
#include "pages/protection/homepage.h"
#include "pages/protection/modificationspage.h"
#include "pages/protection/networkoptionspage.h"
#include "pages/protection/scanpage.h"
#include "pages/security/alertspage.h"
#include "pages/security/quarantinepage.h"
#include "pages/security/rulespage.h"
#include "pages/security/settingspage.h"
#include "pages/security/sitespage.h"
#include "pages/tools/actionitems.h"
#include "pages/tools/addresspage.h"
#include "pages/tools/backuppage.h"
#include "pages/tools/cleanuppage.h"
#include "pages/tools/linkspage.h"
#include "pages/tools/rulesdetailpage.h"
#include "pages/tools/scramblingpage.h"
#include "pages/tools/shortcutspage.h"
#include "pages/tools/systeminfopage.h"

namespace corvatek::pages {

void registerAll(shell::PageRegistry& registry)
{
    using shell::Target;
    registry.addPage<Tpanel20>(Target::Home);
    registry.addPage<Tpanel1>(Target::Rules);
    registry.addPage<Tpanel2>(Target::Alerts);
    registry.addPage<Tpanel4>(Target::Quarantine);
    registry.addPage<Tpanel5>(Target::Settings);
    registry.addPage<Tpanel10>(Target::Sites);
    registry.addPage<Tpanel3>(Target::NetworkOptions);
    registry.addPage<Tpanel6>(Target::GuardOptions);
    registry.addPage<Tpanel7>(Target::Modifications);
    registry.addPage<Tpanel8>(Target::DiskCheck);
    registry.addPage<Tpanel13>(Target::Scan);
    registry.addPage<Tpanel16>(Target::Backup);
    registry.addPage<Tpanel12>(Target::Cleanup);
    registry.addPage<Tpanel9>(Target::Shortcuts);
    registry.addPage<Tpanel19>(Target::Memory);
    registry.addPage<Tpanel11>(Target::IpAddress);
    registry.addPage<Tpanel18>(Target::Links);
    registry.addPage<Tpanel15>(Target::Encryption);
    registry.addPage<Tpanel14>(Target::RulesDetail);
    registry.setVolumeArrival(volumeArrived);
    registry.addAction(Target::About, aboutItem);
    registry.addAction(Target::WebSite, webSiteItem);
    registry.addAction(Target::Quit, quitItem);
}

} // namespace corvatek::pages
