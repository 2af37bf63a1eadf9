// One look at the listening sockets every round: portappli.txt replaced when
// what it lists changed, the user told of programs listening on new ports,
// problems logged once each.
#pragma once

#include "owners.h"
#include "sockets.h"

#include "common/texts.h"
#include "data/programfiles.h"

#include <QString>

#include <array>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <tuple>

namespace corvatek::vkreach {

// What a line of portappli.txt says, sorted by program, kind, then port.
struct Entry {
    std::string program; // kNoProgram when no readable process holds the socket
    Kind kind;
    std::uint16_t port;

    friend bool operator<(const Entry& a, const Entry& b)
    {
        return std::tie(a.program, a.kind, a.port) < std::tie(b.program, b.kind, b.port);
    }
    friend bool operator==(const Entry& a, const Entry& b) = default;
};

inline constexpr std::string_view kNoProgram = "-";

class Monitor {
public:
    explicit Monitor(QString folder);

    void round();

private:
    void write();
    void tellOfNew(const std::set<Entry>& fresh);
    void log(const std::string& line) const;
    companion::Language language() const;
    bool fileIsOurs() const;

    QString folder_;
    data::ProgramFiles files_;
    SocketLister lister_;
    Owners owners_;
    std::set<Entry> listed_;
    // Every entry seen in this run: a program listening again where it
    // listened before is nothing new.
    std::set<Entry> seen_;
    // Kinds listed at least once: what they held then was there at the start.
    std::array<bool, kKinds.size()> known_ {};
    std::array<std::optional<std::string>, kKinds.size()> kindProblem_ {};
    std::optional<std::string> writeProblem_;
    // The file as this run last wrote it; none until written.
    std::optional<std::set<Entry>> written_;
    struct stat writtenFile_ { };
};

} // namespace corvatek::vkreach
