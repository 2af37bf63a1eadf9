// Reading a folder through a descriptor, so that what is done to its
// entries afterwards stays in the folder that was read.
#pragma once

#include "platform/userfolders.h"

#include <functional>
#include <string>
#include <utility>

namespace corvatek::platform::folders {

// Closes its descriptor when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) { }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor();
    int get() const { return fd_; }
    // Closes now, for a caller that must know whether the close failed.
    int close();
    // Hands the descriptor over: it is no longer closed here.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Opens the folder at `path` for reading (-1 when it cannot be) and puts
// which folder it is into `identity`.
int open(const std::string& path, FolderFiles& identity);

// Calls `visit` with the name and the directory entry's type (DT_UNKNOWN
// when the file system does not tell) of every entry of the open folder
// but "." and ".."; the descriptor stays open. False when it cannot be read.
bool forEachEntry(int folder, const std::function<void(const char* name, unsigned char type)>& visit);

// The names of every entry of the open folder but "." and "..".
std::vector<std::string> names(int folder);

// Removes the folder `name` of `parent` with what it holds, never following
// a link; for the shallow temporary folders of a scan.
void removeTree(int parent, const char* name);

} // namespace corvatek::platform::folders
