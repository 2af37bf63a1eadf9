#include "stores.h"

#include "platform/linux/folderentries.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::vkmail {
namespace {

// Mail programs nest folders a few levels; a deeper tree is no mail store.
constexpr std::size_t kDeepest = 16;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

struct Entry {
    std::string name;
    bool folder = false;
};

std::vector<Entry> entriesOf(int fd)
{
    std::vector<Entry> entries;
    platform::folders::forEachEntry(fd, [&](const char* name, unsigned char type) {
        if (type == DT_UNKNOWN) {
            struct stat info { };
            if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            type = IFTODT(info.st_mode);
        }
        if (type == DT_DIR || type == DT_REG)
            entries.push_back({name, type == DT_DIR});
    });
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

bool lists(const std::vector<Entry>& entries, const std::string& name, bool folder)
{
    const auto found = std::lower_bound(
        entries.begin(), entries.end(), name, [](const Entry& entry, const std::string& n) { return entry.name < n; });
    return found != entries.end() && found->name == name && found->folder == folder;
}

// A folder holding cur/ or new/ is a Maildir folder; a file beside its
// .msf index is Thunderbird's mbox. Links are never followed below a root.
void walk(int fd, const std::string& path, const std::string& junk, std::size_t depth, std::vector<Store>& found)
{
    const std::vector<Entry> entries = entriesOf(fd);
    const bool maildir = lists(entries, "cur", true) || lists(entries, "new", true);
    if (maildir)
        found.push_back({StoreKind::Maildir, path, junk});
    for (const Entry& entry : entries) {
        if (!entry.folder && lists(entries, entry.name + ".msf", false))
            found.push_back({StoreKind::Mbox, path + '/' + entry.name, {}});
    }
    if (depth + 1 >= kDeepest)
        return;
    for (const Entry& entry : entries) {
        if (!entry.folder || (maildir && (entry.name == "cur" || entry.name == "new" || entry.name == "tmp")))
            continue;
        const std::string child = path + '/' + entry.name;
        if (child == junk)
            continue;
        const int childFd = ::openat(fd, entry.name.c_str(), kFolderFlags);
        if (childFd < 0)
            continue;
        walk(childFd, child, junk, depth + 1, found);
        ::close(childFd);
    }
}

// A root may itself be a link (a Maildir kept elsewhere).
void walkRoot(const std::string& root, const std::string& junk, std::vector<Store>& found)
{
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    walk(fd, root, junk, 0, found);
    ::close(fd);
}

std::vector<std::string> subfolders(const std::string& path)
{
    std::vector<std::string> names;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return names;
    for (const Entry& entry : entriesOf(fd)) {
        if (entry.folder)
            names.push_back(entry.name);
    }
    ::close(fd);
    return names;
}

std::string absolute(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && *value == '/' ? std::string(value) : std::string();
}

} // namespace

MailPlaces mailPlaces()
{
    MailPlaces places;
    const passwd* user = ::getpwuid(::getuid());
    places.home = absolute("CORVATEK_MAIL_HOME");
    const bool elsewhere = !places.home.empty();
    if (!elsewhere)
        places.home = absolute("HOME");
    if (places.home.empty() && user && user->pw_dir)
        places.home = user->pw_dir;
    places.dataHome = elsewhere ? std::string() : absolute("XDG_DATA_HOME");
    if (places.dataHome.empty() && !places.home.empty())
        places.dataHome = places.home + "/.local/share";
    if (const char* spool = std::getenv("CORVATEK_MAIL_SPOOL"))
        places.spool = *spool == '/' ? spool : "";
    else if (user && user->pw_name && *user->pw_name)
        places.spool = std::string("/var/mail/") + user->pw_name;
    return places;
}

std::vector<Store> findStores(const MailPlaces& places)
{
    std::vector<Store> found;
    if (!places.home.empty()) {
        // Thunderbird: each account of each profile, its Junk folder beside
        // its others, as Thunderbird names it.
        const std::string thunderbird = places.home + "/.thunderbird";
        for (const std::string& profile : subfolders(thunderbird)) {
            for (const char* kind : {"/Mail", "/ImapMail"}) {
                const std::string accounts = thunderbird + '/' + profile + kind;
                for (const std::string& account : subfolders(accounts)) {
                    const std::string root = accounts + '/' + account;
                    walkRoot(root, root + "/Junk", found);
                }
            }
        }
        // Maildir++: the inbox at the root, folders as ".Name" beside it.
        walkRoot(places.home + "/Maildir", places.home + "/Maildir/.Junk", found);
    }
    if (!places.dataHome.empty()) {
        const std::string evolution = places.dataHome + "/evolution/mail/local";
        walkRoot(evolution, evolution + "/.Junk", found);
        // KMail: each folder a folder of the root.
        const std::string kmail = places.dataHome + "/local-mail";
        walkRoot(kmail, kmail + "/Junk", found);
    }
    struct stat info { };
    if (!places.spool.empty() && ::stat(places.spool.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        found.push_back({StoreKind::Mbox, places.spool, {}});
    return found;
}

} // namespace corvatek::vkmail
