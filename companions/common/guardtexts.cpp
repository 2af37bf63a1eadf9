// What the real-time guard's client says, in the five languages.
#include "common/texts.h"
#include "common/words.h"

namespace corvatek::companion {
namespace {

// One row per GuardText, in its order.
constexpr Words kGuardTexts[] = {
    // SettingsRead
    {"Réglages lus : cases {1}, niveau de protection {2}, dossier des téléchargements « {3} »",
        "Settings read: switches {1}, protection level {2}, downloads folder \"{3}\"",
        "Einstellungen gelesen: Schalter {1}, Schutzstufe {2}, Download-Ordner „{3}“",
        "Ajustes leídos: casillas {1}, nivel de protección {2}, carpeta de descargas «{3}»",
        "Impostazioni lette: caselle {1}, livello di protezione {2}, cartella dei download «{3}»"},
    // Connected
    {"Connecté au service de garde {1}", "Connected to the guard service at {1}", "Mit dem Wächterdienst {1} verbunden",
        "Conectado al servicio de guardia {1}", "Connesso al servizio di guardia {1}"},
    // NoService
    {"Pas de service de garde à {1} ({2})", "No guard service at {1} ({2})", "Kein Wächterdienst unter {1} ({2})",
        "No hay servicio de guardia en {1} ({2})", "Nessun servizio di guardia in {1} ({2})"},
    // Blocking
    {"Les fichiers sont vérifiés avant leur ouverture, par le service de garde",
        "Files are checked before they open, by the guard service",
        "Dateien werden vor dem Öffnen geprüft, durch den Wächterdienst",
        "Los archivos se comprueban antes de abrirse, mediante el servicio de guardia",
        "I file vengono controllati prima dell'apertura, dal servizio di guardia"},
    // Unavailable
    {"Le service de garde ne peut pas bloquer les fichiers : {1}", "The guard service cannot block files: {1}",
        "Der Wächterdienst kann keine Dateien sperren: {1}", "El servicio de guardia no puede bloquear archivos: {1}",
        "Il servizio di guardia non può bloccare i file: {1}"},
    // NoAnswer
    {"Le service de garde n'a pas répondu en {1} s", "The guard service did not answer within {1} s",
        "Der Wächterdienst hat nicht innerhalb von {1} s geantwortet",
        "El servicio de guardia no respondió en {1} s", "Il servizio di guardia non ha risposto entro {1} s"},
    // ServiceLost
    {"La connexion au service de garde est perdue ; nouvel essai dans {1} s",
        "The connection to the guard service was lost; trying again in {1} s",
        "Die Verbindung zum Wächterdienst ist verloren; neuer Versuch in {1} s",
        "Se perdió la conexión con el servicio de guardia; nuevo intento en {1} s",
        "La connessione al servizio di guardia è persa; nuovo tentativo tra {1} s"},
    // AfterWriting
    {"Sans le service de garde : les fichiers écrits dans {1} sont vérifiés après l'écriture, pas bloqués",
        "Without the guard service: files written into {1} are checked after writing, not blocked",
        "Ohne den Wächterdienst: in {1} geschriebene Dateien werden nach dem Schreiben geprüft, nicht gesperrt",
        "Sin el servicio de guardia: los archivos escritos en {1} se comprueban tras la escritura, sin bloquearse",
        "Senza il servizio di guardia: i file scritti in {1} vengono controllati dopo la scrittura, non bloccati"},
    // NotScanning
    {"Sans le service de garde : aucun fichier n'est vérifié, l'analyse à l'écriture est désactivée",
        "Without the guard service: no file is checked, scanning on writing is off",
        "Ohne den Wächterdienst: keine Datei wird geprüft, die Prüfung beim Schreiben ist aus",
        "Sin el servicio de guardia: no se comprueba ningún archivo, el análisis al escribir está desactivado",
        "Senza il servizio di guardia: nessun file viene controllato, la scansione in scrittura è disattivata"},
    // SignaturesLoaded
    {"Signatures chargées depuis {1} : {2}", "Signatures loaded from {1}: {2}", "Signaturen aus {1} geladen: {2}",
        "Firmas cargadas desde {1}: {2}", "Firme caricate da {1}: {2}"},
    // CannotCheck
    {"Les fichiers ne peuvent pas être vérifiés : {1}", "Files cannot be checked: {1}",
        "Dateien können nicht geprüft werden: {1}", "Los archivos no se pueden comprobar: {1}",
        "I file non possono essere controllati: {1}"},
    // EngineRestarted
    {"Le moteur qui vérifie les fichiers s'est arrêté ({1}) ; il est relancé",
        "The engine that checks files ended ({1}); it is started again",
        "Die Prüfmaschine für Dateien wurde beendet ({1}); sie wird neu gestartet",
        "El motor que comprueba los archivos terminó ({1}); se vuelve a iniciar",
        "Il motore che controlla i file è terminato ({1}); viene riavviato"},
    // EngineEnded
    {"le moteur qui vérifie les fichiers s'est arrêté ({1})", "the engine that checks files ended ({1})",
        "die Prüfmaschine für Dateien wurde beendet ({1})", "el motor que comprueba los archivos terminó ({1})",
        "il motore che controlla i file è terminato ({1})"},
    // Watching
    {"Modifications surveillées dans {1}", "Watching for changes in {1}", "Änderungen werden überwacht in {1}",
        "Se vigilan los cambios en {1}", "Modifiche sorvegliate in {1}"},
    // NothingToProtect
    {"Fin : sans le service de garde il n'y a rien à protéger, l'analyse à l'écriture et toutes les "
     "surveillances sont désactivées",
        "Ending: without the guard service there is nothing to protect, scanning on writing and every watch are off",
        "Ende: ohne den Wächterdienst gibt es nichts zu schützen, die Prüfung beim Schreiben und alle Überwachungen "
        "sind aus",
        "Fin: sin el servicio de guardia no hay nada que proteger, el análisis al escribir y todas las vigilancias "
        "están desactivados",
        "Fine: senza il servizio di guardia non c'è nulla da proteggere, la scansione in scrittura e ogni "
        "sorveglianza sono disattivate"},
    // NoSignaturesEnding
    {"Fin : ni le service de garde ni des signatures propres ne permettent de vérifier les fichiers",
        "Ending: neither the guard service nor signatures of its own can check files",
        "Ende: weder der Wächterdienst noch eigene Signaturen können Dateien prüfen",
        "Fin: ni el servicio de guardia ni unas firmas propias pueden comprobar archivos",
        "Fine: né il servizio di guardia né firme proprie possono controllare i file"},
    // ToldToStop
    {"Fin : arrêt demandé (signal {1})", "Ending: told to stop (signal {1})", "Ende: zum Beenden aufgefordert (Signal {1})",
        "Fin: se pidió detenerse (señal {1})", "Fine: richiesta di arresto (segnale {1})"},
    // NotWritten
    {"{1} n'a pas pu être écrit : {2}", "{1} could not be written: {2}", "{1} konnte nicht geschrieben werden: {2}",
        "No se pudo escribir {1}: {2}", "Non è stato possibile scrivere {1}: {2}"},
    // NotATable
    {"ce n'est pas un fichier de table", "it is no table file", "es ist keine Tabellendatei",
        "no es un archivo de tabla", "non è un file di tabella"},
    // RefusedRun
    {"Lancement refusé : {1} voulait le lancer", "Run refused: {1} tried to start it",
        "Start verweigert: {1} wollte es starten", "Ejecución rechazada: {1} intentó iniciarlo",
        "Avvio rifiutato: {1} tentava di avviarlo"},
    // RefusedOpen
    {"Ouverture refusée : {1} voulait l'ouvrir", "Opening refused: {1} tried to open it",
        "Öffnen verweigert: {1} wollte es öffnen", "Apertura rechazada: {1} intentó abrirlo",
        "Apertura rifiutata: {1} tentava di aprirlo"},
    // FoundWritten
    {"Trouvé après l'écriture par {1}, pas bloqué", "Found after {1} wrote it, not blocked",
        "Nach dem Schreiben durch {1} gefunden, nicht gesperrt", "Encontrado después de que {1} lo escribiera, sin bloquear",
        "Trovato dopo la scrittura da parte di {1}, non bloccato"},
    // FoundLate
    {"Trouvé après l'ouverture par {1}, laissé passer à l'échéance",
        "Found after {1} opened it, let through at the deadline",
        "Nach dem Öffnen durch {1} gefunden, bei Fristablauf durchgelassen",
        "Encontrado después de que {1} lo abriera, dejado pasar al vencer el plazo",
        "Trovato dopo l'apertura da parte di {1}, lasciato passare alla scadenza"},
    // UnknownProgram
    {"un programme inconnu", "an unknown program", "ein unbekanntes Programm", "un programa desconocido",
        "un programma sconosciuto"},
    // FoundNotice
    {"Menace {1} trouvée dans {2}. {3}.", "Threat {1} found in {2}. {3}.", "Bedrohung {1} in {2} gefunden. {3}.",
        "Amenaza {1} encontrada en {2}. {3}.", "Minaccia {1} trovata in {2}. {3}."},
    // FoundSeveralNotice
    {"{1} menaces trouvées : {2}", "{1} threats found: {2}", "{1} Bedrohungen gefunden: {2}",
        "{1} amenazas encontradas: {2}", "{1} minacce trovate: {2}"},
    // Created
    {"créé", "created", "angelegt", "creado", "creato"},
    // Deleted
    {"supprimé", "deleted", "gelöscht", "eliminado", "eliminato"},
    // Modified
    {"modifié", "modified", "geändert", "modificado", "modificato"},
    // Renamed
    {"renommé", "renamed", "umbenannt", "renombrado", "rinominato"},
    // FirstRun
    {"lancé pour la première fois", "run for the first time", "zum ersten Mal gestartet",
        "ejecutado por primera vez", "avviato per la prima volta"},
};
static_assert(std::size(kGuardTexts) == std::size_t(GuardText::FirstRun) + 1, "one row per text");

} // namespace

std::string_view pattern(Language language, GuardText text)
{
    return kGuardTexts[std::size_t(text)][std::size_t(language)];
}

} // namespace corvatek::companion
