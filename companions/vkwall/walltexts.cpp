#include "walltexts.h"

#include "common/words.h"

namespace corvatek::companion {
namespace {

// One row per WallText, in its order.
constexpr Words kWallTexts[] = {
    // NoService
    {"Pas de service réseau à {1} ({2}) : rien n'est filtré", "No network service at {1} ({2}): nothing is filtered",
        "Kein Netzwerkdienst unter {1} ({2}): nichts wird gefiltert",
        "No hay servicio de red en {1} ({2}): no se filtra nada",
        "Nessun servizio di rete in {1} ({2}): nulla viene filtrato"},
    // Refused
    {"Les règles n'ont pas été appliquées : {1}", "The rules were not applied: {1}",
        "Die Regeln wurden nicht angewendet: {1}", "Las reglas no se aplicaron: {1}",
        "Le regole non sono state applicate: {1}"},
    // Lost
    {"Le service réseau est parti : rien n'est plus filtré", "The network service went away: nothing is filtered now",
        "Der Netzwerkdienst ist weg: nichts wird mehr gefiltert", "El servicio de red se ha ido: ya no se filtra nada",
        "Il servizio di rete non c'è più: non viene più filtrato nulla"},
    // BadArguments
    {"Treize options attendues (1 ou 0), reçu : {1}", "Thirteen options expected (1 or 0), given: {1}",
        "Dreizehn Optionen erwartet (1 oder 0), erhalten: {1}", "Se esperaban trece opciones (1 o 0), recibido: {1}",
        "Attese tredici opzioni (1 o 0), ricevuto: {1}"},
    // RuleAllowed
    {"Autorisé", "Allowed", "Erlaubt", "Permitido", "Consentito"},
    // RuleRefused
    {"Refusé", "Refused", "Abgelehnt", "Rechazado", "Rifiutato"},
    // RefusedByRule
    {"Refusé par règle : {1}", "Refused by rule: {1}", "Durch Regel abgelehnt: {1}", "Rechazado por regla: {1}",
        "Rifiutato per regola: {1}"},
    // UnknownRefused
    {"Programme inconnu, refusé : {1}", "Unknown program, refused: {1}", "Unbekanntes Programm, abgelehnt: {1}",
        "Programa desconocido, rechazado: {1}", "Programma sconosciuto, rifiutato: {1}"},
    // UnknownAllowed
    {"Programme inconnu, autorisé : {1}", "Unknown program, allowed: {1}", "Unbekanntes Programm, erlaubt: {1}",
        "Programa desconocido, permitido: {1}", "Programma sconosciuto, consentito: {1}"},
    // QuarantinedRefused
    {"En quarantaine, refusé : {1}", "Quarantined, refused: {1}", "In Quarantäne, abgelehnt: {1}",
        "En cuarentena, rechazado: {1}", "In quarantena, rifiutato: {1}"},
    // ConnectionNotice
    {"{1} : {2}", "{1}: {2}", "{1}: {2}", "{1}: {2}", "{1}: {2}"},
    // ServiceStopped
    {"Le service réseau s'est arrêté : les connexions passent sans contrôle",
        "The network service stopped: connections pass unchecked",
        "Der Netzwerkdienst wurde beendet: Verbindungen gehen ungeprüft durch",
        "El servicio de red se detuvo: las conexiones pasan sin control",
        "Il servizio di rete si è fermato: le connessioni passano senza controllo"},
    // ServiceBack
    {"Le service réseau est revenu ; depuis {1}, les connexions passaient sans contrôle",
        "The network service is back; since {1}, connections passed unchecked",
        "Der Netzwerkdienst ist zurück; seit {1} gingen Verbindungen ungeprüft durch",
        "El servicio de red ha vuelto; desde {1}, las conexiones pasaban sin control",
        "Il servizio di rete è tornato; dal {1} le connessioni passavano senza controllo"},
    // NotWritten
    {"{1} n'a pas pu être écrit : {2}", "{1} could not be written: {2}", "{1} konnte nicht geschrieben werden: {2}",
        "No se pudo escribir {1}: {2}", "Impossibile scrivere {1}: {2}"},
    // NotATable
    {"ce n'est pas une table ; le centre de contrôle la mettra de côté",
        "it is no table; the control centre will set it aside",
        "es ist keine Tabelle; die Steuerzentrale legt sie beiseite",
        "no es una tabla; el centro de control la apartará",
        "non è una tabella; il centro di controllo la metterà da parte"},
};
static_assert(std::size(kWallTexts) == std::size_t(WallText::NotATable) + 1, "one row per text");

} // namespace

std::string_view pattern(Language language, WallText text)
{
    return kWallTexts[std::size_t(text)][std::size_t(language)];
}

} // namespace corvatek::companion
