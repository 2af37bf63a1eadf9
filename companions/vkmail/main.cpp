// vkmail.exe (no arguments): the mail filter for the user who runs it. The
// control centre starts it at every change of minute, at times twice at
// once: a second run finds the lock held and ends at once. A run looks at
// the mail the user's mail programs keep on this machine, and does work
// only when something is new since vkmail.pos: it scans each new message,
// records and tells the infected ones and moves those and the messages of
// blocked senders (spam.txt) to Junk in Maildir folders; mbox files are
// only read. A run with nothing new stats the stores and ends. Safe to kill
// at any instant. Exit status: 0 done, 1 infected messages found, 2
// something waits for a later run.
#include "filter.h"
#include "news.h"
#include "positions.h"
#include "stores.h"

#include "common/filename.h"
#include "data/filenames.h"
#include "platform/datafolder.h"

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvatek;

int main()
{
    std::signal(SIGPIPE, SIG_IGN);
    const std::string folder = platform::dataFolder().path;
    if (folder.empty())
        return 2;
    // Held until the process ends, however it ends.
    const std::string lockPath = folder + companion::fileName(files::MailLock);
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0)
        return 0;
    // Run by root over a user's folder, the lock stays the user's file too.
    if (struct stat owner {}; ::geteuid() == 0 && ::stat(folder.c_str(), &owner) == 0 && owner.st_uid != 0)
        (void)::fchown(lock, owner.st_uid, owner.st_gid);
    const std::vector<vkmail::Store> stores = vkmail::findStores(vkmail::mailPlaces());
    const std::string positions = folder + companion::fileName(files::MailPositions);
    vkmail::PositionsRead read = vkmail::readPositions(positions, true);
    if (read.status == vkmail::PositionsRead::Ok) {
        if (!vkmail::anythingNew(stores, read.positions))
            return 0;
        read = vkmail::readPositions(positions, false);
    }
    return vkmail::filterMail(folder, stores, std::move(read));
}
