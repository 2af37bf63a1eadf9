// A Maildir folder's messages, known by their unique names (a mail program
// renames a message from new/ to cur/ when it has seen it, adding flags
// after a ':'), and moving one into the Junk folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvatek::vkmail {

struct MaildirMessage {
    std::string subfolder; // "new" or "cur"
    std::string name;
    std::string unique;
};

std::string_view uniqueOf(std::string_view name);

// The messages of new/, then of cur/: a message moved from one to the other
// while they are listed is listed at least once.
std::vector<MaildirMessage> listMaildir(const std::string& folder);

// Moves the message, by rename, into the same subfolder of `junk`, made
// (with tmp/, new/ and cur/) when missing. A message found under another
// name of its folder (read meanwhile) is moved all the same; one already in
// the Junk folder counts as moved, so that a move is never made twice.
struct Move {
    enum Outcome { Done, Gone, Failed } outcome = Done;
    std::string why; // when Failed
};
Move moveToJunk(
    const std::string& folder, const std::string& junk, const std::string& subfolder, const std::string& name);

} // namespace corvatek::vkmail
