// Where every page and action item plugs into the navigation list.
#pragma once

#include "shell/navigation.h"

namespace corvatek::pages {

void registerAll(shell::PageRegistry& registry);

} // namespace corvatek::pages
