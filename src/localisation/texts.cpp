#include "localisation/texts.h"

#include <array>
#include <iterator>

namespace corvatek::localisation {
namespace {

using Words = std::array<const char16_t*, kLanguageCount>;

// One row per Text, in its order: French, English, German, Spanish,
// Italian.
constexpr Words kTexts[] = {
    // ScanInterrupted
    {u"Analyse interrompue : le rapport s'arrête ici.", u"Scan interrupted: the report ends here.",
        u"Prüfung abgebrochen: der Bericht endet hier.", u"Análisis interrumpido: el informe termina aquí.",
        u"Scansione interrotta: il rapporto finisce qui."},
    // AboutSuite
    {u"Centre de contrôle de la suite Corvatek", u"Control centre of the Corvatek suite",
        u"Steuerzentrale der Corvatek-Suite", u"Centro de control de la suite Corvatek",
        u"Centro di controllo della suite Corvatek"},
    // AboutContact
    {u"Questions et signalements : %1", u"Questions and reports: %1", u"Fragen und Meldungen: %1",
        u"Preguntas e informes: %1", u"Domande e segnalazioni: %1"},
};
static_assert(std::size(kTexts) == std::size_t(Text::AboutContact) + 1, "one row per text");

} // namespace

QString text(Language language, Text id, std::initializer_list<QString> arguments)
{
    // All at once, so that an argument holding "%2" stays as it is.
    const QString pattern = QString::fromUtf16(kTexts[std::size_t(id)][std::size_t(language)]);
    QString said;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const qsizetype n = i + 1 < pattern.size() && pattern[i] == u'%' ? pattern[i + 1].digitValue() : -1;
        if (n >= 1 && std::size_t(n) <= arguments.size()) {
            said += arguments.begin()[n - 1];
            ++i;
        } else {
            said += pattern[i];
        }
    }
    return said;
}

} // namespace corvatek::localisation
