// What the connection monitor says, in the five languages.
#include "common/texts.h"
#include "common/words.h"

namespace corvatek::companion {
namespace {

// One row per ReachText, in its order.
constexpr Words kReachTexts[] = {
    // KindNotListed
    {"Les ports {1} à l'écoute ne peuvent pas être listés : {2} ; la liste garde ceux vus avant",
        "The listening {1} ports cannot be listed: {2}; the list keeps those seen before",
        "Die lauschenden {1}-Ports können nicht aufgelistet werden: {2}; die Liste behält die zuvor gesehenen",
        "Los puertos {1} a la escucha no se pueden listar: {2}; la lista conserva los vistos antes",
        "Le porte {1} in ascolto non possono essere elencate: {2}; l'elenco mantiene quelle viste prima"},
    // ListedAgain
    {"Les ports {1} à l'écoute sont de nouveau listés", "The listening {1} ports are listed again",
        "Die lauschenden {1}-Ports werden wieder aufgelistet", "Los puertos {1} a la escucha se listan de nuevo",
        "Le porte {1} in ascolto sono di nuovo elencate"},
    // NotWritten
    {"{1} n'a pas pu être écrit : {2}", "{1} could not be written: {2}", "{1} konnte nicht geschrieben werden: {2}",
        "No se pudo escribir {1}: {2}", "Impossibile scrivere {1}: {2}"},
    // NewPort
    {"{1} écoute sur un nouveau port : {2}", "{1} listens on a new port: {2}", "{1} lauscht an einem neuen Port: {2}",
        "{1} escucha en un puerto nuevo: {2}", "{1} è in ascolto su una nuova porta: {2}"},
    // NewPorts
    {"Nouveaux ports à l'écoute : {1}", "New listening ports: {1}", "Neue lauschende Ports: {1}",
        "Nuevos puertos a la escucha: {1}", "Nuove porte in ascolto: {1}"},
    // UnknownProgram
    {"un programme inconnu", "an unknown program", "ein unbekanntes Programm", "un programa desconocido",
        "un programma sconosciuto"},
};
static_assert(std::size(kReachTexts) == std::size_t(ReachText::UnknownProgram) + 1, "one row per text");

} // namespace

std::string_view pattern(Language language, ReachText text)
{
    return kReachTexts[std::size_t(text)][std::size_t(language)];
}

} // namespace corvatek::companion
