#include "shell/navigation.h"

#include "shell/session.h"

namespace corvatek::shell {

const Target kDispatchOrder[22] = {
    Target::Home,
    Target::Rules,
    Target::Alerts,
    Target::NetworkOptions,
    Target::Scan,
    Target::Quarantine,
    Target::Settings,
    Target::Backup,
    Target::Scrambling,
    Target::RulesDetail,
    Target::About,
    Target::Quit,
    Target::GuardOptions,
    Target::Modifications,
    Target::WebSite,
    Target::Cleanup,
    Target::DiskCheck,
    Target::Shortcuts,
    Target::Sites,
    Target::Address,
    Target::SystemInfo,
    Target::Links,
};

const Target kListOrder[22] = {
    Target::Home,
    Target::Rules,
    Target::Alerts,
    Target::NetworkOptions,
    Target::Quarantine,
    Target::Settings,
    Target::GuardOptions,
    Target::Modifications,
    Target::Cleanup,
    Target::Backup,
    Target::DiskCheck,
    Target::Shortcuts,
    Target::Sites,
    Target::Scan,
    Target::RulesDetail,
    Target::Scrambling,
    Target::Address,
    Target::About,
    Target::WebSite,
    Target::Links,
    Target::SystemInfo,
    Target::Quit,
};

QString targetText(Target target, const ProcessState& state)
{
    switch (target) {
    case Target::Home: return state.caption(Caption::Home);
    case Target::Rules: return state.caption(Caption::Rules);
    case Target::Alerts: return state.caption(Caption::Alerts);
    case Target::NetworkOptions: return state.caption(Caption::NetworkOptions);
    case Target::Scan: return state.caption(Caption::VirusScan);
    case Target::Quarantine: return state.caption(Caption::Quarantine);
    case Target::Settings: return state.caption(Caption::Settings);
    case Target::Backup: return state.caption(Caption::Backup);
    case Target::Scrambling: return state.caption(Caption::FileEncryption);
    case Target::RulesDetail: return state.caption(Caption::ProgramCheck);
    case Target::About: return state.caption(Caption::About);
    case Target::Quit: return state.caption(Caption::Quit);
    case Target::GuardOptions: return state.caption(Caption::GuardOptions);
    case Target::Modifications: return state.caption(Caption::Modifications);
    case Target::WebSite: return state.caption(Caption::WebSite);
    case Target::Cleanup: return state.caption(Caption::Cleanup);
    case Target::DiskCheck: return state.caption(Caption::DiskCheck);
    case Target::Shortcuts: return state.caption(Caption::Shortcuts);
    case Target::Sites: return state.caption(Caption::SiteControl);
    case Target::Address: return state.caption(Caption::InternetAddress);
    case Target::SystemInfo: return state.memoryWord;
    case Target::Links: return state.linksWord;
    }
    return {};
}

const PageFactory* PageRegistry::page(Target target) const
{
    const auto found = pages_.find(target);
    return found == pages_.end() ? nullptr : &found->second;
}

const ItemAction* PageRegistry::action(Target target) const
{
    const auto found = actions_.find(target);
    return found == actions_.end() ? nullptr : &found->second;
}

} // namespace corvatek::shell
