#include "mailtexts.h"

#include "common/words.h"

namespace corvatek::companion {
namespace {

// One row per MailText, in its order.
constexpr Words kMailTexts[] = {
    // Summary
    {"{1} boîtes regardées, {2} nouveaux messages dans {3} d'entre elles : {4} analysés, {5} infectés, "
     "{6} d'expéditeurs bloqués, {7} non analysés",
        "{1} mail stores looked at, {2} new messages in {3} of them: {4} scanned, {5} infected, "
        "{6} from blocked senders, {7} not scanned",
        "{1} Postfächer angesehen, {2} neue Nachrichten in {3} davon: {4} geprüft, {5} infiziert, "
        "{6} von blockierten Absendern, {7} nicht geprüft",
        "{1} buzones revisados, {2} mensajes nuevos en {3} de ellos: {4} analizados, {5} infectados, "
        "{6} de remitentes bloqueados, {7} sin analizar",
        "{1} caselle esaminate, {2} nuovi messaggi in {3} di esse: {4} analizzati, {5} infetti, "
        "{6} da mittenti bloccati, {7} non analizzati"},
    // ThroughService
    {"Analysés par le service de protection", "Scanned by the guard service", "Vom Schutzdienst geprüft",
        "Analizados por el servicio de protección", "Analizzati dal servizio di protezione"},
    // WithSignatures
    {"Analysés avec les signatures de {1}", "Scanned with the signatures of {1}", "Mit den Signaturen aus {1} geprüft",
        "Analizados con las firmas de {1}", "Analizzati con le firme di {1}"},
    // Found
    {"Menace {1} dans le message de {2} ({3}, « {4} ») dans {5}",
        "Threat {1} in the message from {2} ({3}, “{4}”) in {5}",
        "Bedrohung {1} in der Nachricht von {2} ({3}, „{4}“) in {5}",
        "Amenaza {1} en el mensaje de {2} ({3}, «{4}») en {5}",
        "Minaccia {1} nel messaggio di {2} ({3}, «{4}») in {5}"},
    // Blocked
    {"Message de l'expéditeur bloqué {1}, « {2} », dans {3}", "Message from the blocked sender {1}, “{2}”, in {3}",
        "Nachricht des blockierten Absenders {1}, „{2}“, in {3}", "Mensaje del remitente bloqueado {1}, «{2}», en {3}",
        "Messaggio del mittente bloccato {1}, «{2}», in {3}"},
    // MovedTo
    {"déplacé dans {1}", "moved to {1}", "verschoben nach {1}", "movido a {1}", "spostato in {1}"},
    // LeftInMailbox
    {"laissé dans la boîte : son logiciel de messagerie en tient l'index",
        "left in the mailbox: its mail program keeps an index over it",
        "im Postfach belassen: sein Mailprogramm führt einen Index darüber",
        "dejado en el buzón: su programa de correo lleva un índice de él",
        "lasciato nella casella: il suo programma di posta ne tiene un indice"},
    // NotMoved
    {"{1} n'a pas pu être déplacé dans {2} : {3}", "{1} could not be moved to {2}: {3}",
        "{1} konnte nicht nach {2} verschoben werden: {3}", "{1} no se pudo mover a {2}: {3}",
        "{1} non è stato possibile spostarlo in {2}: {3}"},
    // NoLongerThere
    {"il n'y est plus", "it is no longer there", "sie ist nicht mehr da", "ya no está", "non c'è più"},
    // More
    {"… et {1} de plus", "… and {1} more", "… und {1} weitere", "… y {1} más", "… e altri {1}"},
    // WaitingForEngine
    {"De nouveaux messages attendent d'être analysés : {1}", "New messages wait to be scanned: {1}",
        "Neue Nachrichten warten auf die Prüfung: {1}", "Hay mensajes nuevos esperando el análisis: {1}",
        "Nuovi messaggi attendono l'analisi: {1}"},
    // EngineLost
    {"Le moteur d'analyse est parti : la suite sera regardée la prochaine fois",
        "The scanning engine went away: the rest is looked at next time",
        "Die Prüfmaschine ist weg: der Rest wird beim nächsten Mal angesehen",
        "El motor de análisis se ha ido: el resto se revisará la próxima vez",
        "Il motore di analisi non c'è più: il resto sarà esaminato la prossima volta"},
    // StoppedAfter
    {"Arrêté après {1} s : la suite sera regardée la prochaine fois",
        "Stopped after {1} s: the rest is looked at next time",
        "Nach {1} s angehalten: der Rest wird beim nächsten Mal angesehen",
        "Detenido tras {1} s: el resto se revisará la próxima vez",
        "Fermato dopo {1} s: il resto sarà esaminato la prossima volta"},
    // NotWritten
    {"{1} n'a pas pu être écrit : {2}", "{1} could not be written: {2}", "{1} konnte nicht geschrieben werden: {2}",
        "No se pudo escribir {1}: {2}", "Impossibile scrivere {1}: {2}"},
    // NotATable
    {"il ne contient pas de table", "it holds no table", "sie enthält keine Tabelle", "no contiene ninguna tabla",
        "non contiene alcuna tabella"},
    // Unreadable
    {"{1} n'a pas pu être lu : {2}", "{1} could not be read: {2}", "{1} konnte nicht gelesen werden: {2}",
        "No se pudo leer {1}: {2}", "Impossibile leggere {1}: {2}"},
    // PositionsDamaged
    {"{1} est illisible : tout le courrier est regardé à nouveau", "{1} is unreadable: all mail is looked at again",
        "{1} ist unlesbar: alle Post wird erneut angesehen", "{1} es ilegible: se revisa de nuevo todo el correo",
        "{1} è illeggibile: tutta la posta viene esaminata di nuovo"},
    // PassedOver
    {"Un message dans {1} a arrêté le moteur {2} fois : passé, non analysé",
        "A message in {1} stopped the engine {2} times: passed over, not scanned",
        "Eine Nachricht in {1} hat die Prüfmaschine {2} Mal angehalten: übergangen, nicht geprüft",
        "Un mensaje en {1} detuvo el motor {2} veces: omitido, sin analizar",
        "Un messaggio in {1} ha fermato il motore {2} volte: saltato, non analizzato"},
    // Recorded
    {"Ce qu'une exécution interrompue avait trouvé est enregistré : {1} messages",
        "What a stopped run had found is recorded: {1} messages",
        "Was ein abgebrochener Lauf gefunden hatte, ist festgehalten: {1} Nachrichten",
        "Lo que encontró una ejecución interrumpida queda registrado: {1} mensajes",
        "Quanto trovato da un'esecuzione interrotta è registrato: {1} messaggi"},
    // AlertMoved
    {"Menace {1} dans un message de {2} ({3}), déplacé dans Junk",
        "Threat {1} in a message from {2} ({3}), moved to Junk",
        "Bedrohung {1} in einer Nachricht von {2} ({3}), nach Junk verschoben",
        "Amenaza {1} en un mensaje de {2} ({3}), movido a Junk",
        "Minaccia {1} in un messaggio di {2} ({3}), spostato in Junk"},
    // AlertKept
    {"Menace {1} dans un message de {2} ({3}), laissé dans la boîte",
        "Threat {1} in a message from {2} ({3}), left in the mailbox",
        "Bedrohung {1} in einer Nachricht von {2} ({3}), im Postfach belassen",
        "Amenaza {1} en un mensaje de {2} ({3}), dejado en el buzón",
        "Minaccia {1} in un messaggio di {2} ({3}), lasciato nella casella"},
    // FoundNotice
    {"Menace {1} trouvée dans un message de {2} : {3}", "Threat {1} found in a message from {2}: {3}",
        "Bedrohung {1} in einer Nachricht von {2} gefunden: {3}", "Amenaza {1} encontrada en un mensaje de {2}: {3}",
        "Minaccia {1} trovata in un messaggio di {2}: {3}"},
    // FoundSeveralNotice
    {"{1} messages infectés trouvés : {2}", "{1} infected messages found: {2}",
        "{1} infizierte Nachrichten gefunden: {2}", "{1} mensajes infectados encontrados: {2}",
        "{1} messaggi infetti trovati: {2}"},
    // UnknownSender
    {"un expéditeur inconnu", "an unknown sender", "einem unbekannten Absender", "un remitente desconocido",
        "un mittente sconosciuto"},
    // NoSubject
    {"sans objet", "no subject", "ohne Betreff", "sin asunto", "senza oggetto"},
    // NoDate
    {"date inconnue", "unknown date", "Datum unbekannt", "fecha desconocida", "data sconosciuta"},
};
static_assert(std::size(kMailTexts) == std::size_t(MailText::NoDate) + 1, "one row per text");

} // namespace

std::string_view pattern(Language language, MailText text)
{
    return kMailTexts[std::size_t(text)][std::size_t(language)];
}

} // namespace corvatek::companion
