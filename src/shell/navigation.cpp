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
    Target::Encryption,
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
    Target::IpAddress,
    Target::Memory,
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
    Target::Encryption,
    Target::IpAddress,
    Target::About,
    Target::WebSite,
    Target::Links,
    Target::Memory,
    Target::Quit,
};

QString targetText(Target target, const ProcessState& state)
{
    switch (target) {
    case Target::Home: return state.caption(1);
    case Target::Rules: return state.caption(2);
    case Target::Alerts: return state.caption(3);
    case Target::NetworkOptions: return state.caption(4);
    case Target::Scan: return state.caption(85);
    case Target::Quarantine: return state.caption(5);
    case Target::Settings: return state.caption(6);
    case Target::Backup: return state.caption(99);
    case Target::Encryption: return state.caption(96);
    case Target::RulesDetail: return state.caption(90);
    case Target::About: return state.caption(48);
    case Target::Quit: return state.caption(25);
    case Target::GuardOptions: return state.caption(57);
    case Target::Modifications: return state.caption(58);
    case Target::WebSite: return state.caption(64);
    case Target::Cleanup: return state.caption(59);
    case Target::DiskCheck: return state.caption(60);
    case Target::Shortcuts: return state.caption(61);
    case Target::Sites: return state.caption(62);
    case Target::IpAddress: return state.caption(63);
    case Target::Memory: return state.memoryWord;
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
