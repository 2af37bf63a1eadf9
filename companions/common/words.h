// A text in the five languages, as the companions' tables list them.
#pragma once

#include "localisation/language.h"

#include <array>
#include <string_view>

namespace corvatek::companion {

// French, English, German, Spanish, Italian, as every per-language table
// is listed.
using Words = std::array<std::string_view, localisation::kLanguageCount>;

} // namespace corvatek::companion
