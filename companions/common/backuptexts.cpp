// What the backup writes to its log, in the five languages.
#include "common/texts.h"
#include "common/words.h"

namespace corvatek::companion {
namespace {

// One row per BackupText, in its order.
constexpr Words kBackupTexts[] = {
    // Summary
    {"Sauvegarde de « {1} » dans « {2} » : {3} copiés ({4} octets), {5} inchangés, {6} ignorés, {7} échecs",
        "Backup of \"{1}\" into \"{2}\": {3} copied ({4} bytes), {5} unchanged, {6} skipped, {7} failed",
        "Sicherung von „{1}“ nach „{2}“: {3} kopiert ({4} Bytes), {5} unverändert, {6} übersprungen, "
        "{7} fehlgeschlagen",
        "Copia de seguridad de «{1}» en «{2}»: {3} copiados ({4} bytes), {5} sin cambios, {6} omitidos, "
        "{7} fallidos",
        "Backup di «{1}» in «{2}»: {3} copiati ({4} byte), {5} invariati, {6} saltati, {7} non riusciti"},
    // LeftoversRemoved
    {", fichiers inachevés de sauvegardes arrêtées supprimés : {1}",
        ", unfinished files of stopped runs removed: {1}",
        ", unfertige Dateien abgebrochener Läufe entfernt: {1}",
        ", archivos inacabados de copias detenidas eliminados: {1}",
        ", file incompleti di backup interrotti rimossi: {1}"},
    // Took
    {", en {1} s", ", in {1} s", ", in {1} s", ", en {1} s", ", in {1} s"},
    // Refused
    {"Sauvegarde de « {1} » refusée : {2}", "Backup of \"{1}\" refused: {2}", "Sicherung von „{1}“ abgelehnt: {2}",
        "Copia de seguridad de «{1}» rechazada: {2}", "Backup di «{1}» rifiutato: {2}"},
    // OneArgument
    {"un seul argument « <source>;<destination> » est attendu",
        "one argument \"<source>;<destination>\" is expected",
        "ein Argument „<Quelle>;<Ziel>“ wird erwartet", "se espera un argumento «<origen>;<destino>»",
        "è atteso un solo argomento «<origine>;<destinazione>»"},
    // NoSplit
    {"aucun « ; » n'y laisse deux dossiers absolus existants",
        "no \";\" in it leaves two existing absolute folders",
        "kein „;“ darin lässt zwei bestehende absolute Ordner übrig",
        "ningún «;» deja dos carpetas absolutas existentes",
        "nessun «;» lascia due cartelle assolute esistenti"},
    // FolderNotOpened
    {"un dossier ne peut pas être ouvert : {1}", "a folder cannot be opened: {1}",
        "ein Ordner kann nicht geöffnet werden: {1}", "no se puede abrir una carpeta: {1}",
        "una cartella non può essere aperta: {1}"},
    // InsideSource
    {"la destination est le dossier source ou se trouve dedans",
        "the destination is the source folder or lies inside it",
        "das Ziel ist der Quellordner oder liegt darin", "el destino es la carpeta de origen o está dentro de ella",
        "la destinazione è la cartella di origine o si trova al suo interno"},
    // AnotherRunning
    {"une autre sauvegarde dans ce dossier est en cours", "another backup into that folder is running",
        "eine andere Sicherung in diesen Ordner läuft", "otra copia de seguridad en esa carpeta está en curso",
        "un altro backup in quella cartella è in corso"},
    // Skipped
    {"Non sauvegardé (ignoré) : « {1} », {2}", "Not backed up (skipped): \"{1}\", {2}",
        "Nicht gesichert (übersprungen): „{1}“, {2}", "Sin copia (omitido): «{1}», {2}",
        "Non salvato (saltato): «{1}», {2}"},
    // Failed
    {"Non sauvegardé (échec) : « {1} », {2}", "Not backed up (failed): \"{1}\", {2}",
        "Nicht gesichert (fehlgeschlagen): „{1}“, {2}", "Sin copia (fallido): «{1}», {2}",
        "Non salvato (non riuscito): «{1}», {2}"},
    // More
    {"… et {1} autres non sauvegardés", "... and {1} more not backed up", "… und {1} weitere nicht gesichert",
        "… y {1} más sin copia", "… e altri {1} non salvati"},
    // DiskFlushFailed
    {"l'écriture de la sauvegarde sur le disque a échoué : {1}", "writing the backup to the disk failed: {1}",
        "das Schreiben der Sicherung auf den Datenträger ist fehlgeschlagen: {1}",
        "la escritura de la copia en el disco ha fallado: {1}",
        "la scrittura del backup sul disco non è riuscita: {1}"},
    // ReadingFailed
    {"la lecture a échoué : {1}", "reading failed: {1}", "das Lesen ist fehlgeschlagen: {1}",
        "la lectura ha fallado: {1}", "la lettura non è riuscita: {1}"},
    // WritingFailed
    {"l'écriture de la copie a échoué : {1}", "writing the copy failed: {1}",
        "das Schreiben der Kopie ist fehlgeschlagen: {1}", "la escritura de la copia ha fallado: {1}",
        "la scrittura della copia non è riuscita: {1}"},
    // NamedPipe
    {"un tube nommé", "a named pipe", "eine benannte Pipe", "una tubería con nombre", "una pipe con nome"},
    // Socket
    {"un socket", "a socket", "ein Socket", "un socket", "un socket"},
    // Device
    {"un périphérique", "a device", "ein Gerät", "un dispositivo", "un dispositivo"},
    // CannotList
    {"ne peut pas être listé : {1}", "cannot be listed: {1}", "kann nicht aufgelistet werden: {1}",
        "no se puede listar: {1}", "non può essere elencato: {1}"},
    // OldCopyNotRemoved
    {"l'ancienne copie ne peut pas être supprimée : {1}", "the old copy cannot be removed: {1}",
        "die alte Kopie kann nicht entfernt werden: {1}", "la copia antigua no se puede eliminar: {1}",
        "la copia precedente non può essere rimossa: {1}"},
    // FolderInPlace
    {"un dossier est à sa place dans la sauvegarde", "a folder is in its place in the backup",
        "an seiner Stelle liegt in der Sicherung ein Ordner", "una carpeta ocupa su lugar en la copia",
        "al suo posto nel backup c'è una cartella"},
    // IsDestination
    {"c'est la destination de la sauvegarde", "it is the backup's destination", "es ist das Ziel der Sicherung",
        "es el destino de la copia", "è la destinazione del backup"},
    // LeadsBack
    {"il ramène à un dossier au-dessus de lui", "it leads back to a folder above it",
        "er führt zu einem Ordner über ihm zurück", "lleva de vuelta a una carpeta superior",
        "riporta a una cartella superiore"},
    // ChangedDuring
    {"il a changé pendant la sauvegarde", "it changed during the backup", "es hat sich während der Sicherung geändert",
        "cambió durante la copia", "è cambiato durante il backup"},
    // CannotMake
    {"ne peut pas être créé dans la sauvegarde : {1}", "cannot be made in the backup: {1}",
        "kann in der Sicherung nicht angelegt werden: {1}", "no se puede crear en la copia: {1}",
        "non può essere creato nel backup: {1}"},
    // CannotOpen
    {"ne peut pas être ouvert dans la sauvegarde : {1}", "cannot be opened in the backup: {1}",
        "kann in der Sicherung nicht geöffnet werden: {1}", "no se puede abrir en la copia: {1}",
        "non può essere aperto nel backup: {1}"},
    // OtherFileSystem
    {"un autre système de fichiers, non parcouru", "another file system, not entered",
        "ein anderes Dateisystem, nicht betreten", "otro sistema de archivos, no recorrido",
        "un altro file system, non visitato"},
    // OtherOwner
    {"propriétaire et droits : le dossier de la sauvegarde appartient à un autre propriétaire",
        "owner and permissions: the folder in the backup belongs to another owner",
        "Eigentümer und Rechte: der Ordner in der Sicherung gehört einem anderen Eigentümer",
        "propietario y permisos: la carpeta de la copia pertenece a otro propietario",
        "proprietario e permessi: la cartella nel backup appartiene a un altro proprietario"},
    // CannotWrite
    {"ne peut pas être écrit dans la sauvegarde : {1}", "cannot be written in the backup: {1}",
        "kann in der Sicherung nicht geschrieben werden: {1}", "no se puede escribir en la copia: {1}",
        "non può essere scritto nel backup: {1}"},
    // CannotPutInPlace
    {"ne peut pas être mis en place : {1}", "cannot be put in place: {1}", "kann nicht an seinen Platz gebracht werden: {1}",
        "no se puede colocar en su sitio: {1}", "non può essere messo al suo posto: {1}"},
};
static_assert(std::size(kBackupTexts) == std::size_t(BackupText::CannotPutInPlace) + 1, "one row per text");

} // namespace

std::string_view pattern(Language language, BackupText text)
{
    return kBackupTexts[std::size_t(text)][std::size_t(language)];
}

} // namespace corvatek::companion
