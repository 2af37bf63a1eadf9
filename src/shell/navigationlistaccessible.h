// How assistive tools see the navigation list: a list of items that can be read,
// selected and pressed, as they would see an item view.
#pragma once

namespace corvatek::shell {

// Once per process, before any list is shown to an assistive tool.
void installNavigationListAccessibility();

} // namespace corvatek::shell
