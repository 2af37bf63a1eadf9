#include "pages/registry.h"

#include "pages/protection/homepage.h"
#include "pages/tools/actionitems.h"

namespace corvatek::pages {

void registerAll(shell::PageRegistry& registry)
{
    using shell::Target;
    registry.addPage<Tpanel20>(Target::Home);
    registry.addAction(Target::About, aboutItem);
    registry.addAction(Target::WebSite, webSiteItem);
    registry.addAction(Target::Quit, quitItem);
}

} // namespace corvatek::pages
