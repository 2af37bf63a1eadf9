// The five languages and how files and locales name them, free of Qt so
// that the companions speak the language the control centre stores.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace corvatek::localisation {

// In the order every per-language table lists them.
enum class Language { French, English, German, Spanish, Italian };
inline constexpr std::size_t kLanguageCount = 5;

struct LanguageName {
    std::string_view code; // as langues.xml stores it
    std::string_view iso; // ISO 639, as locales and translations name it
};

inline constexpr std::array<LanguageName, kLanguageCount> kLanguageNames {{
    {"FR", "fr"},
    {"GB", "en"},
    {"DE", "de"},
    {"ESP", "es"},
    {"ITA", "it"},
}};

// The language of a stored code, compared exactly.
constexpr std::optional<Language> languageOfCode(std::string_view code)
{
    for (std::size_t i = 0; i < kLanguageCount; ++i) {
        if (code == kLanguageNames[i].code)
            return Language(i);
    }
    return std::nullopt;
}

// The language a locale name speaks ("de_DE.UTF-8@euro", "de-DE"): French
// for one of none of the five, as a first start chooses.
constexpr Language languageOfLocale(std::string_view locale)
{
    const std::string_view iso = locale.substr(0, locale.find_first_of("_.@-"));
    for (std::size_t i = 0; i < kLanguageCount; ++i) {
        if (iso == kLanguageNames[i].iso)
            return Language(i);
    }
    return Language::French;
}

constexpr std::string_view codeOf(Language language)
{
    return kLanguageNames[std::size_t(language)].code;
}

} // namespace corvatek::localisation
