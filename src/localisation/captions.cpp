#include "localisation/captions.h"
#include "localisation/texts.h"

#include "data/programfiles.h"
#include "data/textcodec.h"
#include "platform/session.h"

#include <algorithm>
#include <cstdlib>

namespace corvatek::localisation {
namespace {

struct LanguageData {
    const char* file;
    const char* linksFile;
    const char16_t* links;
    const char16_t* memory;
};

// In the order of Language.
constexpr LanguageData kLanguages[kLanguageCount] = {
    {"crvtk_fr.txt", "liens_fr.txt", u"liens", u"m\u00e9moire"},
    {"crvtk_gb.txt", "liens_gb.txt", u"connections", u" memory"},
    {"crvtk_de.txt", "liens_de.txt", u"verbindungen", u"memory"},
    {"crvtk_es.txt", "liens_esp.txt", u"conexiones", u"memoria"},
    {"crvtk_it.txt", "liens_ita.txt", u"connessioni", u"memoria"},
};

// Far more than 101 lines of captions need; a larger file is something else.
constexpr qsizetype kLongestLanguageFile = 256 * 1024;
// A caption line is short; a line this long in the caption range is no caption.
constexpr qsizetype kLongestCaptionLine = 1000;

bool isControl(QChar c)
{
    return c.unicode() < 0x20 && c != QLatin1Char('\t');
}

// The first `width` characters; a character outside the basic plane takes
// two UTF-16 units and is kept whole or not at all.
QString cut(const QString& line, qsizetype width)
{
    if (line.size() <= width)
        return line;
    return line.left(line.at(width - 1).isHighSurrogate() ? width - 1 : width);
}

} // namespace

std::optional<QStringList> captionsOfLanguageFile(QByteArrayView bytes)
{
    if (bytes.size() > kLongestLanguageFile)
        return std::nullopt;
    QStringList lines = data::splitLines(data::decode8Bit(bytes));
    if (lines.size() > kCaptionCount)
        lines.resize(kCaptionCount);
    for (QString& line : lines) {
        if (line.size() > kLongestCaptionLine || std::any_of(line.cbegin(), line.cend(), isControl))
            return std::nullopt;
        line = cut(line, kCaptionWidth);
    }
    return lines;
}

std::optional<Language> languageOf(const QString& code)
{
    return code.size() <= 3 ? languageOfCode(code.toLatin1().toStdString()) : std::nullopt;
}

std::optional<QString> languageFileName(const QString& code)
{
    const LanguageData* language = entryFor(kLanguages, code);
    return language ? std::optional(QString::fromLatin1(language->file)) : std::nullopt;
}

std::optional<QString> linksFileName(const QString& code)
{
    const LanguageData* language = entryFor(kLanguages, code);
    return language ? std::optional(QString::fromLatin1(language->linksFile)) : std::nullopt;
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

std::optional<QString> isoLanguage(const QString& code)
{
    const auto language = languageOf(code);
    return language ? std::optional(QString::fromLatin1(kLanguageNames[std::size_t(*language)].iso)) : std::nullopt;
}

QString userLanguageCode()
{
    const char* languages = std::getenv("LANGUAGE");
    const std::string_view code = codeOf(userLanguage(platform::userLanguage(), languages ? languages : ""));
    return QString::fromLatin1(code.data(), qsizetype(code.size()));
}

const QString& CaptionTable::caption(int n) const
{
    static const QString none;
    return n >= 1 && n <= kCaptionCount ? entries_[std::size_t(n - 1)] : none;
}

QString CaptionTable::load(const QString& folder, const QString& code)
{
    const auto fileName = languageFileName(code);
    if (!fileName)
        return {};
    const QString path = folder + *fileName;
    const Language language = languageOf(code).value_or(Language::French);
    data::ProgramFiles files(folder);
    files.setLanguage(language);
    const data::BytesRead bytes = files.readBytes(*fileName, data::kLanguageFileLimit);
    const auto lines = bytes.ok() ? captionsOfLanguageFile(bytes.bytes) : std::nullopt;
    const int count = lines ? int(lines->size()) : 0;
    for (int n = 1; n <= kCaptionCount; ++n)
        entries_[std::size_t(n - 1)] = n <= count ? lines->at(n - 1) : QString();
    if (bytes.status == data::FileStatus::Missing)
        return text(language, Text::LanguageFileMissing, {path});
    if (!bytes.ok()) // what it is instead, or why it could not be read
        return text(language, Text::LanguageFileUnreadable, {bytes.error.chopped(1)});
    if (!lines)
        return text(language, Text::LanguageFileNotText, {path});
    if (count < kCaptionCount)
        return text(language, Text::LanguageFileShort,
            {path, QString::number(count), QString::number(kCaptionCount)});
    return {};
}

} // namespace corvatek::localisation
