// Copies a folder's content into another folder, as `rsync -a source/
// destination/` would: new and changed files only, links as links, special
// files skipped, other file systems not entered. Every step goes through
// descriptors of folders already open, so no link or swapped folder leads
// the copy anywhere else.
#pragma once

#include "common/texts.h"
#include "fileaccess.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace corvatek::backup {

// Why something was not backed up, in words the log says in the user's
// language; `detail` is the system's reason where there is one.
struct Reason {
    companion::BackupText why;
    std::string detail;
};

struct Note {
    bool failed = false; // else skipped
    std::string path; // below the source folder; empty: the folder itself
    Reason reason;
};

struct Report {
    std::uint64_t copied = 0; // files, links and folders written
    std::uint64_t copiedBytes = 0;
    std::uint64_t unchanged = 0;
    std::uint64_t skipped = 0;
    std::uint64_t failed = 0;
    std::uint64_t leftoversRemoved = 0;
    std::vector<Note> notes;
};

class TreeCopy {
public:
    // Both folders open for reading; the destination's time granularity is
    // the one its file system keeps.
    TreeCopy(int sourceRoot, int destinationRoot, Report& report);

    // The whole tree, the source folder's own permissions and times too.
    void run();

private:
    void copyFolder(int source, int destination, const std::string& path);
    void copyEntry(int source, int destination, const std::string& name, const std::string& path);
    void copySubfolder(
        int source, int destination, const std::string& name, const std::string& path, const Facts& facts);
    void copyFile(int source, int destination, const std::string& name, const std::string& path, const Facts& facts);
    void copyLink(int source, int destination, const std::string& name, const std::string& path, const Facts& facts);
    // A copy of the file's size and time that a backup plainly made: counted
    // as unchanged, a permission change applied in place. False when the name
    // holds anything else, to be replaced by a new copy.
    bool keptAsIs(int destination, const std::string& name, const Facts& kept, const Facts& facts);
    bool plainlyOurs(const Facts& kept, const Facts& source) const;
    void removeLeftovers(int destination, const std::set<std::string>& sourceNames);
    // Makes room for a folder, or checks that no folder is in a file's way.
    bool clearFor(int destination, const std::string& name, bool folder, const std::string& path);

    // Permissions, owner (as root) and modification time, where the
    // destination's file system keeps them.
    void applyFacts(int fd, const Facts& facts) const;
    bool applyInPlace(int destination, const std::string& name, const Facts& kept, const Facts& facts) const;
    void applyToLink(int destination, const std::string& name, const Facts& facts) const;
    bool sameFacts(const Facts& kept, const Facts& source) const;

    void skip(const std::string& path, Reason reason);
    void fail(const std::string& path, Reason reason);

    int sourceRoot_;
    int destinationRoot_;
    Report& report_;
    Facts sourceFacts_;
    Facts destinationFacts_;
    TimeMatch times_;
    bool keepOwners_; // run as root, into a file system that keeps them
    std::vector<std::pair<dev_t, ino_t>> ancestors_;
};

} // namespace corvatek::backup
