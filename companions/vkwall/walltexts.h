// What the network tool's client writes to its log, its alerts and rules
// and its notifications, in the five languages.
#pragma once

#include "common/texts.h"

namespace corvatek::companion {

enum class WallText {
    NoService, // nothing filters: the service is not there
    Refused, // the service did not apply the rules
    Lost, // the service went
    BadArguments,
    // A rule's action; a rule is read in any of the languages.
    RuleAllowed,
    RuleRefused,
    // An alert's action, with the address and port.
    RefusedByRule,
    UnknownRefused,
    UnknownAllowed,
    QuarantinedRefused,
    ConnectionNotice, // the program's name, the alert's action
    ServiceStopped,
    ServiceBack, // since when
    NotWritten, // the file, why
    NotATable,
};

std::string_view pattern(Language language, WallText text);

} // namespace corvatek::companion
