// What a run records of an infected message or one from a blocked sender:
// a viri.txt line, an alert, the move of a Maildir message to Junk, a log
// line, the user told. Each step may be done again without harm (viri.txt
// lists a line once, a moved message is found in Junk, alerts recorded
// again are compared with those written), so findings that could not all be
// recorded are given back, to be recorded again.
#pragma once

#include "positions.h"

#include "common/texts.h"
#include "data/programfiles.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvatek::vkmail {

// A header's text as the log and the alerts show it: cut at a character,
// with "…" when cut; control characters shown as '?'.
std::string shown(std::string_view text);
QString qText(const std::string& text);

class Recorder {
public:
    Recorder(std::string folder, const data::ProgramFiles& files, companion::Language language,
        std::function<void(const std::string&)> log);

    // `again`: findings a stopped run may have recorded in part.
    std::vector<Finding> record(const std::vector<Finding>& findings, bool again);
    // Findings past the first few are counted, not logged one by one.
    std::size_t unlogged() const;

private:
    std::string senderOf(const Finding& finding) const;
    std::string subjectOf(const Finding& finding) const;
    std::string dateOf(const Finding& finding) const;
    std::string alertText(const Finding& finding) const;
    void notify(const std::vector<Finding>& findings);

    const std::string folder_;
    const data::ProgramFiles& files_;
    const companion::Language language_;
    const std::function<void(const std::string&)> log_;
    std::size_t findingLines_ = 0;
};

} // namespace corvatek::vkmail
