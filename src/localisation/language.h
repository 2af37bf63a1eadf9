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

// The language a locale name speaks ("de_DE.UTF-8@euro", "de-DE"), when it
// is one of the five.
constexpr std::optional<Language> spokenLanguage(std::string_view locale)
{
    const std::string_view iso = locale.substr(0, locale.find_first_of("_.@-"));
    for (std::size_t i = 0; i < kLanguageCount; ++i) {
        if (iso == kLanguageNames[i].iso)
            return Language(i);
    }
    return std::nullopt;
}

// The same, French for a locale of none of the five, as a first start
// chooses.
constexpr Language languageOfLocale(std::string_view locale)
{
    return spokenLanguage(locale).value_or(Language::French);
}

// The user's language for messages, from the messages locale ("de_DE.UTF-8")
// and the user's ordered list of languages (LANGUAGE, "de:en"): the first of
// the list the suite speaks, as the list takes precedence wherever the
// locale is not C; else the locale's.
constexpr Language userLanguage(std::string_view locale, std::string_view languages)
{
    if (!locale.empty() && locale != "C" && locale != "POSIX" && !locale.starts_with("C.")) {
        while (!languages.empty()) {
            const std::size_t colon = languages.find(':');
            if (const auto language = spokenLanguage(languages.substr(0, colon)); language)
                return *language;
            languages.remove_prefix(colon == std::string_view::npos ? languages.size() : colon + 1);
        }
    }
    return languageOfLocale(locale);
}

constexpr std::string_view codeOf(Language language)
{
    return kLanguageNames[std::size_t(language)].code;
}

} // namespace corvatek::localisation
