// Watches the signature folder for changes (freshclam replaces its files by
// rename). A folder that is missing, or went, is looked for again now and
// then.
#pragma once

#include <string>

namespace corvatek::guard {

class DatabaseWatch {
public:
    explicit DatabaseWatch(std::string folder);
    ~DatabaseWatch();
    DatabaseWatch(const DatabaseWatch&) = delete;
    DatabaseWatch& operator=(const DatabaseWatch&) = delete;

    int fd() const { return fd_; }
    bool watching() const { return watch_ >= 0; }
    // Reads what waits; true when the folder's files changed.
    bool readChanges();
    // Watches again when the folder was missing; true when it now is.
    bool rewatch();

private:
    std::string folder_;
    int fd_ = -1;
    int watch_ = -1;
};

} // namespace corvatek::guard
