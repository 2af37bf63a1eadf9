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
    registry.addPage<HomePage>(Target::Home);
    registry.addPage<RulesPage>(Target::Rules);
    registry.addPage<AlertsPage>(Target::Alerts);
    registry.addPage<QuarantinePage>(Target::Quarantine);
    registry.addPage<SettingsPage>(Target::Settings);
    registry.addPage<SitesPage>(Target::Sites);
    registry.addPage<NetworkOptionsPage>(Target::NetworkOptions);
    registry.addPage<GuardOptionsPage>(Target::GuardOptions);
    registry.addPage<ModificationsPage>(Target::Modifications);
    registry.addPage<DiskCheckPage>(Target::DiskCheck);
    registry.addPage<ScanPage>(Target::Scan);
    registry.addPage<BackupPage>(Target::Backup);
    registry.addPage<CleanupPage>(Target::Cleanup);
    registry.addPage<ShortcutsPage>(Target::Shortcuts);
    registry.addPage<SystemInfoPage>(Target::SystemInfo);
    registry.addPage<AddressPage>(Target::Address);
    registry.addPage<LinksPage>(Target::Links);
    registry.addPage<ScramblingPage>(Target::Scrambling);
    registry.addPage<RulesDetailPage>(Target::RulesDetail);
    registry.setVolumeArrival(volumeArrived);
    registry.addAction(Target::About, aboutItem);
    registry.addAction(Target::WebSite, webSiteItem);
    registry.addAction(Target::Quit, quitItem);
}

} // namespace corvatek::pages
