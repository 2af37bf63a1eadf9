// The navigation list's targets: which text selects what, in the order a
// click compares them, and the registry through which pages and the action
// items plug in.
#pragma once

#include "supervision/processstate.h"
#include "platform/volumes.h"
#include "shell/page.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>

namespace corvatek::shell {

using supervision::ProcessState;

enum class Target {
    Home,
    Rules,
    Alerts,
    NetworkOptions,
    Scan,
    Quarantine,
    Settings,
    Backup,
    Scrambling,
    RulesDetail,
    About,
    Quit,
    GuardOptions,
    Modifications,
    WebSite,
    Cleanup,
    DiskCheck,
    Shortcuts,
    Sites,
    Address,
    SystemInfo,
    Links,
};

// Targets in the order a clicked item's text is compared with them; every
// match runs.
extern const Target kDispatchOrder[22];
// Targets in the order of the list's items.
extern const Target kListOrder[22];

// The text that selects a target: a caption, or a language word.
QString targetText(Target target, const ProcessState& state);

using PageFactory = std::function<std::unique_ptr<Page>(PageContext)>;
using ItemAction = std::function<void(MainWindow&)>;
// What the window does when a volume is attached, page or no page.
using VolumeArrival = std::function<void(Session&, QWidget* owner, const platform::Volume&)>;

class PageRegistry {
public:
    template<typename PageClass> void addPage(Target target)
    {
        pages_[target] = [](PageContext context) { return std::make_unique<PageClass>(context); };
    }
    void addAction(Target target, ItemAction action) { actions_[target] = std::move(action); }
    void setVolumeArrival(VolumeArrival handler) { volumeArrival_ = std::move(handler); }

    const PageFactory* page(Target target) const;
    const ItemAction* action(Target target) const;
    const VolumeArrival& volumeArrival() const { return volumeArrival_; }

private:
    std::map<Target, PageFactory> pages_;
    std::map<Target, ItemAction> actions_;
    VolumeArrival volumeArrival_;
};

} // namespace corvatek::shell
