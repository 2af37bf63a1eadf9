#include "localisation/captions.h"

#include "data/programfiles.h"

namespace corvatek::localisation {
namespace {

struct LanguageData {
    const char* code;
    const char* file;
    const char16_t* links;
    const char16_t* memory;
};

// In the order of Language.
constexpr LanguageData kLanguages[kLanguageCount] = {
    {"FR", "crvtk_fr.txt", u"liens", u"m\u00e9moire"},
    {"GB", "crvtk_gb.txt", u"connections", u" memory"},
    {"DE", "crvtk_de.txt", u"verbindungen", u"memory"},
    {"ESP", "crvtk_es.txt", u"conexiones", u"memoria"},
    {"ITA", "crvtk_it.txt", u"connessioni", u"memoria"},
};

} // namespace

std::optional<Language> languageOf(const QString& code)
{
    for (std::size_t i = 0; i < kLanguageCount; ++i) {
        if (code == QLatin1String(kLanguages[i].code))
            return Language(i);
    }
    return std::nullopt;
}

std::optional<QString> languageFileName(const QString& code)
{
    const LanguageData* language = entryFor(kLanguages, code);
    return language ? std::optional(QString::fromLatin1(language->file)) : std::nullopt;
}

std::optional<QString> linksWord(const QString& code)
{
    const LanguageData* language = entryFor(kLanguages, code);
    return language ? std::optional(QString::fromUtf16(language->links)) : std::nullopt;
}

std::optional<QString> memoryWord(const QString& code)
{
    const LanguageData* language = entryFor(kLanguages, code);
    return language ? std::optional(QString::fromUtf16(language->memory)) : std::nullopt;
}

const QString& CaptionTable::caption(int n) const
{
    static const QString none;
    return n >= 1 && n <= kCaptionCount ? entries_[std::size_t(n - 1)] : none;
}

CaptionLoad CaptionTable::load(const QString& folder, const QString& code)
{
    CaptionLoad result;
    const auto fileName = languageFileName(code);
    if (!fileName)
        return result;
    result.known = true;
    const auto read = data::ProgramFiles(folder).readLines(*fileName);
    result.fileFound = read.has_value();
    const QStringList lines = read.value_or(QStringList());
    result.linesRead = int(std::min<qsizetype>(lines.size(), kCaptionCount));
    for (int n = 1; n <= kCaptionCount; ++n)
        entries_[std::size_t(n - 1)] = n <= lines.size() ? lines[n - 1].left(kCaptionWidth) : QString();
    if (!result.fileFound)
        result.problem =
            QStringLiteral("The language file %1 is missing; the captions stay empty.").arg(folder + *fileName);
    else if (result.linesRead < kCaptionCount)
        result.problem =
            QStringLiteral("The language file %1 has only %2 of its %3 lines; the other captions stay empty.")
                .arg(folder + *fileName)
                .arg(result.linesRead)
                .arg(kCaptionCount);
    return result;
}

} // namespace corvatek::localisation
