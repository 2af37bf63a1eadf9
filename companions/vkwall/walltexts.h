// What the network tool's client writes to its log, in the five languages.
#pragma once

#include "common/texts.h"

namespace corvatek::companion {

enum class WallText {
    NoService, // nothing filters: the service is not there
    Refused, // the service did not apply the rules
    Lost, // the service went
    BadArguments,
};

std::string_view pattern(Language language, WallText text);

} // namespace corvatek::companion
