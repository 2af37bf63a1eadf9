#include "maildir.h"

#include "platform/linux/folderentries.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvatek::vkmail {
namespace {

std::string baseName(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

// Made with what a Maildir folder holds; a Maildir++ folder (".Junk") is
// marked as one, as Courier and Dovecot make theirs.
std::string makeJunk(const std::string& junk)
{
    for (const std::string& folder : {junk, junk + "/tmp", junk + "/new", junk + "/cur"}) {
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return folder + ": " + std::strerror(errno);
    }
    if (baseName(junk).starts_with('.')) {
        const int fd = ::open((junk + "/maildirfolder").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    return {};
}

// Never over a message already there.
int moveOnce(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    // A file system without that flag: a link fails where a file is.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    ::unlink(from.c_str());
    return 0;
}

const MaildirMessage* findUnique(const std::vector<MaildirMessage>& messages, std::string_view unique)
{
    for (const MaildirMessage& message : messages) {
        if (message.unique == unique)
            return &message;
    }
    return nullptr;
}

} // namespace

std::string_view uniqueOf(std::string_view name)
{
    return name.substr(0, name.find(':'));
}

std::vector<MaildirMessage> listMaildir(const std::string& folder)
{
    std::vector<MaildirMessage> messages;
    for (const char* subfolder : {"new", "cur"}) {
        const int fd = ::open((folder + '/' + subfolder).c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        platform::folders::forEachEntry(fd, [&](const char* name, unsigned char type) {
            // Dot files are no messages; links and folders neither.
            if (name[0] == '.' || (type != DT_REG && type != DT_UNKNOWN))
                return;
            messages.push_back({subfolder, name, std::string(uniqueOf(name))});
        });
        ::close(fd);
    }
    return messages;
}

Move moveToJunk(
    const std::string& folder, const std::string& junk, const std::string& subfolder, const std::string& name)
{
    if (std::string problem = makeJunk(junk); !problem.empty())
        return {Move::Failed, problem};
    int error = moveOnce(folder + '/' + subfolder + '/' + name, junk + '/' + subfolder + '/' + name);
    if (error == ENOENT) {
        const std::string_view unique = uniqueOf(name);
        const std::vector<MaildirMessage> here = listMaildir(folder);
        if (const MaildirMessage* now = findUnique(here, unique)) {
            error = moveOnce(
                folder + '/' + now->subfolder + '/' + now->name, junk + '/' + now->subfolder + '/' + now->name);
        } else {
            return {findUnique(listMaildir(junk), unique) ? Move::Done : Move::Gone, {}};
        }
    }
    if (error != 0)
        return {Move::Failed, std::strerror(error)};
    return {};
}

} // namespace corvatek::vkmail
