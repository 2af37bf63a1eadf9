// Which program holds each socket: the socket's inode looked for among the
// /proc/<id>/fd links of the processes this user may read, the program named
// as the control centre's process list names it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvatek::vkreach {

class Owners {
public:
    Owners();
    ~Owners();
    Owners(const Owners&) = delete;
    Owners& operator=(const Owners&) = delete;

    // The program of each of these socket inodes, for those whose holder was
    // found. Called once a round.
    std::unordered_map<std::uint64_t, std::string> programsOf(const std::vector<std::uint64_t>& inodes);

private:
    struct Holder {
        int id;
        int fd;
    };
    struct Looked {
        unsigned round; // when its fd folder was last read
        std::string shortName; // what it was called then
        unsigned seen; // the last round it was listed in
    };

    bool stillHolds(const Holder& holder, std::uint64_t inode) const;

    int proc_ = -1;
    unsigned round_ = 0;
    std::unordered_map<std::uint64_t, Holder> held_;
    // Inodes whose holder is not known, each with the round since which it
    // is looked for: a process whose folder was read in that round or later
    // holds none of them.
    std::unordered_map<std::uint64_t, unsigned> sought_;
    std::unordered_map<int, Looked> looked_;
};

} // namespace corvatek::vkreach
