// The words the pages show that no language file holds, fixed in the program
// for each of the five languages.
#pragma once

#include "localisation/language.h"

#include <QString>

#include <cstddef>

namespace corvatek::localisation {

enum class Word {
    // The home page's lines.
    StartDate, // before the start moment
    DetectedViruses, // after it
    FirewallLine,
    RealTime,
    RealTimeGuardDown, // the same line on a click while the guard is not running
    // The settings page.
    ClosedPorts,
    Firewall,
    FirewallAlways,
    // The system information page's figures.
    TotalMemory,
    FreeMemory,
    ProcessMemory,
    MemoryLoss,
    // The Internet address page's web address button.
    WebAddress,
};
inline constexpr std::size_t kWordCount = std::size_t(Word::WebAddress) + 1;

// The word in `language`, exactly as the suite has always shown it, blanks
// included.
QString word(Language language, Word which);
// The same for a language code; empty for a code of none of the five.
QString word(const QString& code, Word which);

} // namespace corvatek::localisation
