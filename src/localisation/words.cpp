#include "localisation/words.h"

#include "localisation/captions.h"

namespace corvatek::localisation {
namespace {

// Each word in the order of Language: French, English, German, Spanish,
// Italian.
constexpr const char16_t* kWords[][kLanguageCount] = {
    // StartDate
    {u"Date d\u00e9marrage :", u"Star date :", u"Stardatum :", u"Fecha de inicio :", u"Data di inicio :"},
    // DetectedViruses
    {u" virus d\u00e9tect\u00e9(s) ", u" detected virus ", u"erkanntum Virus ", u" virus detectato ",
        u" virus rilevato "},
    // FirewallLine
    {u"Parefeu : ", u"Firewall : ", u"Firewall : ", u"Firewall : ", u"Firewall : "},
    // RealTime
    {u"D\u00e9tection des virus en temps reel :", u"Virus detection in real time :", u"Virenerkennung in Echtzeit :",
        u"Diteccione de virus en tiempo real :", u"Rilevamento dei virus in tempo realte :"},
    // RealTimeGuardDown
    {u"D\u00e9tection des virus en temps reel :", u"Virus detection in real time :", u"Vrenerkennung in Echzeit :",
        u"Diteccione de virus en tiempo real :", u"Rilevamento dei virus in tiempo realte :"},
    // ClosedPorts
    {u"Ports ferm\u00e9s", u"Closed ports", u"Geschlossenen ports", u"Puerto cerrados", u"Porte chiuse"},
    // Firewall
    {u"Parefeu", u"Firewall", u"Firewall", u"Firewall", u"Firewall"},
    // FirewallAlways
    {u"toujours", u"Always", u"Immer", u"Siempre", u"Sempre"},
    // TotalMemory
    {u"la m\u00e9moire totale du syst\u00e8me: ", u" Total system memory: ", u"Gesamtsystemspeicher:",
        u"la memoria total del sistema:", u"memoria totale del sistema:"},
    // FreeMemory
    {u"m\u00e9moire physique libre:", u" Free physical memory: ", u"Free physischen Speicher:",
        u"memoria f\u00edsica libre:", u"memoria fisica libera:"},
    // ProcessMemory
    {u"Processus m\u00e9moire:", u" Process-Memory: ", u"Prozess-Memory", u"Proceso de memoria", u"Processo-memoria"},
    // MemoryLoss
    {u"Perte de m\u00e9moire:", u" Memory Loss: ", u"Ged\u00e4chtnisverlust", u"P\u00e9rdida de la memoria",
        u"perdita di memoria"},
    // WebAddress
    {u"IP internet", u"Internet ip", u"Internet-IP", u"IP internet", u"Internet ip"},
};
static_assert(std::size(kWords) == kWordCount);

} // namespace

QString word(Language language, Word which)
{
    return QString::fromUtf16(kWords[std::size_t(which)][std::size_t(language)]);
}

QString word(const QString& code, Word which)
{
    const auto language = languageOf(code);
    return language ? word(*language, which) : QString();
}

} // namespace corvatek::localisation
