// One run of the mail filter over the stores found: what is new since
// vkmail.pos is scanned, infected messages are recorded and told, those of
// infected messages and blocked senders in Maildir folders moved to Junk.
#pragma once

#include "positions.h"
#include "stores.h"

#include <string>
#include <vector>

namespace corvatek::vkmail {

// Exit status: 0 done, 1 infected messages found, 2 something waits (no
// engine, vkmail.pos not written).
int filterMail(const std::string& programFolder, const std::vector<Store>& stores, PositionsRead positions);

} // namespace corvatek::vkmail
