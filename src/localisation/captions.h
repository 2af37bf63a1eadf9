// The caption table: 101 short texts, line N of the language file of the
// current language being caption N, and the two per-language words that the
// navigation list compares with its items.
#pragma once

#include "localisation/caption.h"
#include "localisation/language.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace corvatek::localisation {

inline constexpr int kCaptionCount = 101;
inline constexpr int kCaptionWidth = 50;


// The language of a code ("FR", "GB", "DE", "ESP", "ITA"), compared exactly;
// nothing for any other code, blanks and letter case included.
std::optional<Language> languageOf(const QString& code);
// The entry of a per-language table (listed in the order of Language) for a
// language code; null for any other code.
template<typename Entry> const Entry* entryFor(const Entry (&table)[kLanguageCount], const QString& code)
{
    const auto language = languageOf(code);
    return language ? &table[std::size_t(*language)] : nullptr;
}

// The language file of a language code; nothing for any other code.
std::optional<QString> languageFileName(const QString& code);
// The links file of a language code; nothing for any other code.
std::optional<QString> linksFileName(const QString& code);
// Words fixed in the program for a language code; nothing for other codes.
std::optional<QString> linksWord(const QString& code);
std::optional<QString> memoryWord(const QString& code);
// The ISO 639 language ("fr", "en"…) of a language code; nothing for others.
std::optional<QString> isoLanguage(const QString& code);
// The language code of the user's locale (the first of LC_ALL, LC_MESSAGES
// and LANG that is set), French for a locale of none of the five languages.
QString userLanguageCode();

// The captions 1..101 of a language file's bytes, each cut to at most 50
// characters (never inside one), fewer when the file has fewer lines;
// nothing when the bytes are not text of short lines (binary data, a file
// far too large), which is then treated as no language file at all.
std::optional<QStringList> captionsOfLanguageFile(QByteArrayView bytes);

class CaptionTable {
public:
    // Caption n, 1..101; empty before any load and for any other n.
    const QString& caption(int n) const;
    const QString& caption(Caption c) const { return caption(int(c)); }
    // Fills the table from the language file of `code` in `folder`. An unknown
    // code leaves the table as it was; a missing or short file leaves the
    // captions it does not reach empty. Returns a problem the user should be
    // told about once, or nothing.
    QString load(const QString& folder, const QString& code);

private:
    std::array<QString, kCaptionCount> entries_;
};

} // namespace corvatek::localisation
