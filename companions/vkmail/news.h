// Whether there is anything new since the last run, at the cost of a stat
// or two per store: a run with nothing new must end in a few milliseconds.
#pragma once

#include "positions.h"
#include "stores.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace corvatek::vkmail {

std::int64_t nanoseconds(const timespec& time);
// The wall clock, in the file times' terms.
std::int64_t now();

// A Maildir folder's new/ and cur/ times; -1 for one that is not there.
struct FolderTimes {
    std::int64_t fresh = -1;
    std::int64_t seen = -1;
};
FolderTimes folderTimes(const std::string& folder);

// Whether the store may hold something new: one not seen before, an mbox
// whose size or time changed, a Maildir folder whose new/ or cur/ changed.
bool changed(const Store& store, const Positions& positions);
// Whether any store may, or a stopped run left findings to record.
bool anythingNew(const std::vector<Store>& stores, const Positions& positions);

} // namespace corvatek::vkmail
