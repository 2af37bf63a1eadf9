#include "common/texts.h"

#include "common/filename.h"
#include "common/words.h"

#include "platform/common/localevariables.h"
#include "platform/filecontent.h"
#include "platform/session.h"
#include "platform/system.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace corvatek::companion {
namespace {


// One row per Text, in its order; each row French, English, German,
// Spanish, Italian, as every per-language table is listed.
constexpr Words kTexts[] = {
    // ScanHead
    {"Analyse du {1}", "Scan of {1}", "Prüfung vom {1}", "Análisis del {1}", "Scansione del {1}"},
    // ModeOf
    {", mode {1}", ", mode {1}", ", Modus {1}", ", modo {1}", ", modalità {1}"},
    // ModeQuick
    {"0 (rapide)", "0 (quick)", "0 (schnell)", "0 (rápido)", "0 (rapida)"},
    // ModeFull
    {"1 (complète)", "1 (full)", "1 (vollständig)", "1 (completo)", "1 (completa)"},
    // ModeRunning
    {"2 (programmes en cours)", "2 (running programs)", "2 (laufende Programme)", "2 (programas en ejecución)",
        "2 (programmi in esecuzione)"},
    // ModeVolume
    {"3 (volume {1})", "3 (volume {1})", "3 (Datenträger {1})", "3 (volumen {1})", "3 (volume {1})"},
    // Scanning
    {"Analyse en cours : {1} fichiers analysés, {2} détections, {3}",
        "Scanning: {1} files scanned, {2} findings, {3}", "Prüfung läuft: {1} Dateien geprüft, {2} Funde, {3}",
        "Analizando: {1} archivos analizados, {2} detecciones, {3}",
        "Scansione in corso: {1} file analizzati, {2} rilevamenti, {3}"},
    // ScanningIn
    {"dans {1}", "in {1}", "in {1}", "en {1}", "in {1}"},
    // LoadingSignatures
    {"chargement des signatures", "loading the signatures", "Signaturen werden geladen", "cargando las firmas",
        "caricamento delle firme"},
    // Done
    {"Terminé : {1} fichiers analysés, {2} détections, {3} ignorés, {4} s",
        "Done: {1} files scanned, {2} findings, {3} skipped, {4} s",
        "Fertig: {1} Dateien geprüft, {2} Funde, {3} übersprungen, {4} s",
        "Terminado: {1} archivos analizados, {2} detecciones, {3} omitidos, {4} s",
        "Completata: {1} file analizzati, {2} rilevamenti, {3} saltati, {4} s"},
    // DoneIncomplete
    {"Terminé, pas tout analysé : {1} fichiers analysés, {2} détections, {3} ignorés, {4} non analysés, {5} s",
        "Done, not all scanned: {1} files scanned, {2} findings, {3} skipped, {4} not scanned, {5} s",
        "Fertig, nicht alles geprüft: {1} Dateien geprüft, {2} Funde, {3} übersprungen, {4} nicht geprüft, {5} s",
        "Terminado, no todo analizado: {1} archivos analizados, {2} detecciones, {3} omitidos, {4} sin analizar, "
        "{5} s",
        "Completata, non tutto analizzato: {1} file analizzati, {2} rilevamenti, {3} saltati, {4} non analizzati, "
        "{5} s"},
    // NotDone
    {"Non effectuée : {1}", "Not done: {1}", "Nicht durchgeführt: {1}", "No realizado: {1}", "Non eseguita: {1}"},
    // NotScannedDeep
    {"Non analysé : {1} dossiers à plus de {2} niveaux de profondeur, avec leur contenu",
        "Not scanned: {1} folders more than {2} levels deep, with what they hold",
        "Nicht geprüft: {1} Ordner mehr als {2} Ebenen tief, mit ihrem Inhalt",
        "Sin analizar: {1} carpetas a más de {2} niveles de profundidad, con su contenido",
        "Non analizzato: {1} cartelle a più di {2} livelli di profondità, con il loro contenuto"},
    // NotScannedLarge
    {"Non analysé : {1} fichiers de plus de {2} Mio, la limite du moteur",
        "Not scanned: {1} files larger than {2} MiB, the engine's limit",
        "Nicht geprüft: {1} Dateien größer als {2} MiB, die Grenze der Prüfung",
        "Sin analizar: {1} archivos de más de {2} MiB, el límite del motor",
        "Non analizzato: {1} file più grandi di {2} MiB, il limite del motore"},
    // NotFullyScanned
    {"Pas entièrement analysé : {1} archives ou documents au-delà des limites de décompression ({2})",
        "Not fully scanned: {1} archives or documents beyond the unpacking limits ({2})",
        "Nicht vollständig geprüft: {1} Archive oder Dokumente über den Grenzen des Entpackens ({2})",
        "No analizado por completo: {1} archivos comprimidos o documentos más allá de los límites de "
        "descompresión ({2})",
        "Non analizzato del tutto: {1} archivi o documenti oltre i limiti di decompressione ({2})"},
    // FindingsCut
    {"… et {1} autres détections", "… and {1} more findings", "… und {1} weitere Funde", "… y {1} detecciones más",
        "… e altri {1} rilevamenti"},
    // UnknownMode
    {"mode d'analyse inconnu « {1} » ; les modes vont de 0 à 3", "unknown scan mode \"{1}\"; the modes are 0 to 3",
        "unbekannter Prüfmodus „{1}“; die Modi sind 0 bis 3",
        "modo de análisis desconocido «{1}»; los modos van de 0 a 3",
        "modalità di scansione sconosciuta «{1}»; le modalità vanno da 0 a 3"},
    // VolumeNeedsMountPoint
    {"l'analyse d'un volume demande son point de montage", "a volume scan needs the volume's mount point",
        "die Prüfung eines Datenträgers braucht seinen Einhängepunkt",
        "el análisis de un volumen necesita su punto de montaje",
        "la scansione di un volume richiede il suo punto di montaggio"},
    // FolderUnreadable
    {"{1} ne peut pas être lu : {2}", "{1} cannot be read: {2}", "{1} kann nicht gelesen werden: {2}",
        "{1} no se puede leer: {2}", "{1} non può essere letto: {2}"},
    // HomeUnknown
    {"le dossier personnel est inconnu", "the home folder is unknown", "der persönliche Ordner ist unbekannt",
        "la carpeta personal es desconocida", "la cartella personale è sconosciuta"},
    // NoSignatures
    {"il n'y a pas de signatures dans {1}. Le centre de contrôle lance la mise à jour des signatures une fois après "
     "chaque démarrage, à la première demi-heure où la machine a une adresse réseau ; le paquet Debian "
     "clamav-freshclam garde à jour les signatures du système.",
        "there are no signatures in {1}. The control centre runs the signature update once after each start, at the "
        "first half past the hour while the machine has a network address; installing Debian's clamav-freshclam "
        "keeps the system's signatures current.",
        "in {1} gibt es keine Signaturen. Die Steuerzentrale aktualisiert die Signaturen einmal nach jedem Start, zur "
        "ersten halben Stunde, zu der der Rechner eine Netzwerkadresse hat; Debians Paket clamav-freshclam hält die "
        "Signaturen des Systems aktuell.",
        "no hay firmas en {1}. El centro de control actualiza las firmas una vez tras cada inicio, a la primera "
        "media hora en que el equipo tiene una dirección de red; el paquete de Debian clamav-freshclam mantiene al "
        "día las firmas del sistema.",
        "non ci sono firme in {1}. Il centro di controllo aggiorna le firme una volta dopo ogni avvio, alla prima "
        "mezz'ora in cui il computer ha un indirizzo di rete; il pacchetto Debian clamav-freshclam mantiene "
        "aggiornate le firme del sistema."},
    // SignaturesUnusable
    {"aucune signature n'a pu être chargée", "no signatures could be loaded", "keine Signaturen konnten geladen werden",
        "no se pudo cargar ninguna firma", "non è stato possibile caricare alcuna firma"},
    // SignaturesPassedOver
    {"Signatures de {1} laissées de côté : {2}", "Signatures in {1} passed over: {2}",
        "Signaturen in {1} übergangen: {2}", "Firmas de {1} descartadas: {2}", "Firme in {1} scartate: {2}"},
    // SignatureFolderUnreadable
    {"le dossier ne peut pas être lu ({1})", "the folder cannot be read ({1})",
        "der Ordner kann nicht gelesen werden ({1})", "la carpeta no se puede leer ({1})",
        "la cartella non può essere letta ({1})"},
    // SignatureFolderEmpty
    {"il ne contient pas de base de signatures", "it holds no signature database", "er enthält keine Signaturdatenbank",
        "no contiene ninguna base de firmas", "non contiene alcun database di firme"},
    // SignaturesNotLoaded
    {"la base est endommagée ({1})", "the database is damaged ({1})", "die Datenbank ist beschädigt ({1})",
        "la base está dañada ({1})", "il database è danneggiato ({1})"},
    // SignaturesNone
    {"la base ne contient aucune signature", "the database holds no signatures", "die Datenbank enthält keine Signaturen",
        "la base no contiene ninguna firma", "il database non contiene alcuna firma"},
    // EngineFailed
    {"le moteur d'analyse n'a pas pu démarrer ({1})", "the scan engine could not start ({1})",
        "die Prüfmaschine konnte nicht starten ({1})", "el motor de análisis no pudo arrancar ({1})",
        "il motore di scansione non è potuto partire ({1})"},
    // Or
    {" ni dans ", " nor in ", " noch in ", " ni en ", " né in "},
    // ScanFoundNotice
    {"L'analyse a trouvé {1} menaces : {2}", "The scan found {1} threats: {2}", "Die Prüfung hat {1} Bedrohungen gefunden: {2}",
        "El análisis encontró {1} amenazas: {2}", "La scansione ha trovato {1} minacce: {2}"},
    // ScanNotDoneNotice
    {"L'analyse n'a pas pu être faite : {1}", "The scan could not be done: {1}",
        "Die Prüfung konnte nicht durchgeführt werden: {1}", "No se pudo realizar el análisis: {1}",
        "Non è stato possibile eseguire la scansione: {1}"},
    // DiskCheckDone
    {"La vérification des disques est terminée.", "The disk check has finished.",
        "Die Prüfung der Laufwerke ist abgeschlossen.", "La comprobación de los discos ha terminado.",
        "Il controllo dei dischi è terminato."},
    // FolderCheckDone
    {"La vérification de lecture du dossier est terminée.", "The read check of the folder has finished.",
        "Die Leseprüfung des Ordners ist abgeschlossen.", "La comprobación de lectura de la carpeta ha terminado.",
        "Il controllo di lettura della cartella è terminato."},
    // SystemSettingChanged
    {"Un réglage du système a changé.", "A setting of the system has changed.",
        "Eine Einstellung des Systems hat sich geändert.", "Ha cambiado un ajuste del sistema.",
        "Un'impostazione del sistema è cambiata."},
    // SettingsNotSaved
    {"Les réglages n'ont pas pu être enregistrés.", "The settings could not be saved.",
        "Die Einstellungen konnten nicht gespeichert werden.", "No se pudieron guardar los ajustes.",
        "Non è stato possibile salvare le impostazioni."},
    // SettingsNotMade
    {"Le fichier des réglages n'a pas pu être créé.", "The settings file could not be made.",
        "Die Datei der Einstellungen konnte nicht angelegt werden.", "No se pudo crear el archivo de ajustes.",
        "Non è stato possibile creare il file delle impostazioni."},
    // QuarantineStopped
    {"{1}, un programme en quarantaine, a été arrêté.", "{1}, a program in quarantine, was stopped.",
        "{1}, ein Programm in Quarantäne, wurde beendet.", "{1}, un programa en cuarentena, ha sido detenido.",
        "{1}, un programma in quarantena, è stato fermato."},
    // UpdateFailedNotice
    {"La mise à jour des signatures a échoué : {1}", "The signature update failed: {1}",
        "Die Aktualisierung der Signaturen ist fehlgeschlagen: {1}", "La actualización de las firmas ha fallado: {1}",
        "L'aggiornamento delle firme non è riuscito: {1}"},
    // BackupDoneNotice
    {"Sauvegarde de {1} : {2} copiés, {3} inchangés.", "Backup of {1}: {2} copied, {3} unchanged.",
        "Sicherung von {1}: {2} kopiert, {3} unverändert.", "Copia de seguridad de {1}: {2} copiados, {3} sin cambios.",
        "Backup di {1}: {2} copiati, {3} invariati."},
    // BackupFailuresNotice
    {"Sauvegarde de {1} : {2} copiés, {3} échecs ; voir vksave.log.",
        "Backup of {1}: {2} copied, {3} failed; see vksave.log.",
        "Sicherung von {1}: {2} kopiert, {3} fehlgeschlagen; siehe vksave.log.",
        "Copia de seguridad de {1}: {2} copiados, {3} fallidos; véase vksave.log.",
        "Backup di {1}: {2} copiati, {3} non riusciti; vedere vksave.log."},
    // BackupRefusedNotice
    {"Sauvegarde refusée : {1}", "Backup refused: {1}", "Sicherung abgelehnt: {1}",
        "Copia de seguridad rechazada: {1}", "Backup rifiutato: {1}"},
};
static_assert(std::size(kTexts) == std::size_t(Text::BackupRefusedNotice) + 1, "one row per text");

// The first row's first value, read without Qt: the code is plain ASCII.
std::optional<std::string> firstValue(const std::string& table)
{
    const auto row = table.find("<ROW ");
    const std::string_view attribute = "Champ1=\"";
    const auto at = row == std::string::npos ? row : table.find(attribute, row);
    if (at == std::string::npos)
        return std::nullopt;
    const auto start = at + attribute.size();
    const auto end = table.find('"', start);
    return end == std::string::npos ? std::nullopt : std::optional(table.substr(start, end - start));
}

} // namespace

Language storedLanguage(const std::string& programFolder)
{
    const platform::FileRead read = platform::readRegularFile(programFolder + fileName(files::Languages), 64 * 1024);
    if (read.status == platform::FileRead::Ok) {
        if (const auto code = firstValue(read.bytes)) {
            if (const auto language = localisation::languageOfCode(*code))
                return *language;
        }
    }
    const char* languages = std::getenv("LANGUAGE");
    return localisation::userLanguage(platform::userLanguage(), languages ? languages : "");
}

std::string_view pattern(Language language, Text text)
{
    return kTexts[std::size_t(text)][std::size_t(language)];
}

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> arguments)
{
    std::string said;
    said.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::size_t n = i + 2 < pattern.size() && pattern[i] == '{' && pattern[i + 2] == '}'
            ? std::size_t(pattern[i + 1] - '0')
            : 0;
        if (n >= 1 && n <= arguments.size()) {
            said += arguments.begin()[n - 1];
            i += 2;
        } else {
            said += pattern[i];
        }
    }
    return said;
}

std::string decimal(Language language, double value, int digits)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    std::string written = text;
    if (language != Language::English) {
        if (const auto point = written.find('.'); point != std::string::npos)
            written[point] = ',';
    }
    return written;
}

} // namespace corvatek::companion
