// Where the user's mail programs keep mail on this machine: each mbox file
// and each Maildir folder, found afresh at every run by listing folders
// alone, so that a run with nothing new costs little.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvatek::vkmail {

enum class StoreKind : std::uint8_t { Mbox, Maildir };

struct Store {
    StoreKind kind = StoreKind::Mbox;
    std::string path; // the mbox file, or the folder holding cur/ and new/
    // A Maildir folder's: the folder its infected messages and those of
    // blocked senders are moved to, never looked at.
    std::string junk;
};

struct MailPlaces {
    std::string home; // CORVATEK_MAIL_HOME, else the user's home
    std::string dataHome; // where Evolution and KMail keep theirs
    std::string spool; // CORVATEK_MAIL_SPOOL, else /var/mail/<user>; may be empty
};
MailPlaces mailPlaces();

// Thunderbird's profiles (mbox files beside their .msf index, Maildir
// folders), Evolution's and KMail's local folders, ~/Maildir and the spool.
std::vector<Store> findStores(const MailPlaces& places);

} // namespace corvatek::vkmail
