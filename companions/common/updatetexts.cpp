// What the signature update writes to its log, in the five languages.
#include "common/texts.h"
#include "common/words.h"

namespace corvatek::companion {
namespace {

// One row per UpdateText, in its order.
constexpr Words kUpdateTexts[] = {
    // Started
    {"Mise à jour des signatures commencée pour {1}.", "Signature update started for {1}.",
        "Aktualisierung der Signaturen für {1} begonnen.", "Actualización de las firmas iniciada para {1}.",
        "Aggiornamento delle firme avviato per {1}."},
    // NotPrepared
    {"La mise à jour n'a pas pu être préparée : {1}.", "The update could not be prepared: {1}.",
        "Die Aktualisierung konnte nicht vorbereitet werden: {1}.", "No se pudo preparar la actualización: {1}.",
        "Non è stato possibile preparare l'aggiornamento: {1}."},
    // NoFreshclam
    {"freshclam de ClamAV n'est pas installé (il n'est pas dans le chemin de recherche) : les signatures ne "
     "peuvent pas être mises à jour. Installez-le (sous Debian et Ubuntu, le paquet clamav-freshclam).",
        "ClamAV's freshclam is not installed (it is not on the search path): the signatures cannot be updated. "
        "Install it (on Debian and Ubuntu the package clamav-freshclam).",
        "freshclam von ClamAV ist nicht installiert (es liegt nicht im Suchpfad): die Signaturen können nicht "
        "aktualisiert werden. Installieren Sie es (unter Debian und Ubuntu das Paket clamav-freshclam).",
        "freshclam de ClamAV no está instalado (no está en la ruta de búsqueda): las firmas no se pueden "
        "actualizar. Instálelo (en Debian y Ubuntu, el paquete clamav-freshclam).",
        "freshclam di ClamAV non è installato (non è nel percorso di ricerca): le firme non possono essere "
        "aggiornate. Installatelo (su Debian e Ubuntu il pacchetto clamav-freshclam)."},
    // FolderNotMade
    {"Le dossier des signatures {1} n'a pas pu être créé : {2}.", "The signature folder {1} could not be made: {2}.",
        "Der Signaturordner {1} konnte nicht angelegt werden: {2}.",
        "No se pudo crear la carpeta de firmas {1}: {2}.",
        "Non è stato possibile creare la cartella delle firme {1}: {2}."},
    // ConfigurationNotWritten
    {"La configuration de freshclam {1} n'a pas pu être écrite : {2}.",
        "freshclam's configuration {1} could not be written: {2}.",
        "Die Konfiguration von freshclam {1} konnte nicht geschrieben werden: {2}.",
        "No se pudo escribir la configuración de freshclam {1}: {2}.",
        "Non è stato possibile scrivere la configurazione di freshclam {1}: {2}."},
    // NotStarted
    {"freshclam ({1}) n'a pas pu être lancé : {2}.", "freshclam ({1}) could not be started: {2}.",
        "freshclam ({1}) konnte nicht gestartet werden: {2}.", "No se pudo iniciar freshclam ({1}): {2}.",
        "Non è stato possibile avviare freshclam ({1}): {2}."},
    // FreshclamSaid
    {"freshclam : {1}", "freshclam: {1}", "freshclam: {1}", "freshclam: {1}", "freshclam: {1}"},
    // ToldToStop
    {"vkupdate.exe a reçu l'ordre de s'arrêter (signal {1}) : freshclam a été arrêté après {2} s.",
        "vkupdate.exe was told to stop (signal {1}): freshclam was stopped after {2} s.",
        "vkupdate.exe wurde zum Beenden aufgefordert (Signal {1}): freshclam wurde nach {2} s beendet.",
        "Se pidió a vkupdate.exe que se detuviera (señal {1}): freshclam se detuvo tras {2} s.",
        "A vkupdate.exe è stato chiesto di fermarsi (segnale {1}): freshclam è stato fermato dopo {2} s."},
    // PastLimit
    {"freshclam a été arrêté après {1} s : il n'avait pas fini en {2} s.",
        "freshclam was stopped after {1} s: it had not ended within {2} s.",
        "freshclam wurde nach {1} s beendet: es war nicht innerhalb von {2} s fertig.",
        "freshclam se detuvo tras {1} s: no había terminado en {2} s.",
        "freshclam è stato fermato dopo {1} s: non era terminato entro {2} s."},
    // EndedBySignal
    {"freshclam s'est terminé par le signal {1} après {2} s.", "freshclam ended by signal {1} after {2} s.",
        "freshclam endete durch Signal {1} nach {2} s.", "freshclam terminó por la señal {1} tras {2} s.",
        "freshclam è terminato per il segnale {1} dopo {2} s."},
    // EndedWith
    {"freshclam s'est terminé avec le statut {1} après {2} s : {3}.",
        "freshclam ended with status {1} after {2} s: {3}.", "freshclam endete mit Status {1} nach {2} s: {3}.",
        "freshclam terminó con el estado {1} tras {2} s: {3}.",
        "freshclam è terminato con lo stato {1} dopo {2} s: {3}."},
    // Current
    {"les signatures sont à jour", "the signatures are current", "die Signaturen sind aktuell",
        "las firmas están al día", "le firme sono aggiornate"},
    // NoConnection
    {"pas de connexion au serveur des signatures", "no connection to the signature server",
        "keine Verbindung zum Signaturserver", "sin conexión con el servidor de firmas",
        "nessuna connessione al server delle firme"},
    // NotVerified
    {"un téléchargement n'a pas passé sa vérification", "a download did not pass its verification",
        "ein Download hat seine Prüfung nicht bestanden", "una descarga no superó su verificación",
        "un download non ha superato la verifica"},
    // ConfigurationRefused
    {"sa configuration a été refusée", "its configuration was refused", "seine Konfiguration wurde abgelehnt",
        "su configuración fue rechazada", "la sua configurazione è stata rifiutata"},
    // CannotWrite
    {"il n'a pas pu écrire dans le dossier des signatures", "it could not write into the signature folder",
        "es konnte nicht in den Signaturordner schreiben", "no pudo escribir en la carpeta de firmas",
        "non ha potuto scrivere nella cartella delle firme"},
    // ServerBusy
    {"le serveur n'a pas pu fournir les signatures ; réessayez plus tard",
        "the server could not give the signatures; try later",
        "der Server konnte die Signaturen nicht liefern; später erneut versuchen",
        "el servidor no pudo dar las firmas; inténtelo más tarde",
        "il server non ha potuto fornire le firme; riprovare più tardi"},
    // UpdateFailed
    {"la mise à jour a échoué", "the update failed", "die Aktualisierung ist fehlgeschlagen",
        "la actualización ha fallado", "l'aggiornamento non è riuscito"},
    // StoppedAfter
    {"elle a été arrêtée après {1} s", "it was stopped after {1} s", "sie wurde nach {1} s abgebrochen",
        "se detuvo tras {1} s", "è stato fermato dopo {1} s"},
};
static_assert(std::size(kUpdateTexts) == std::size_t(UpdateText::StoppedAfter) + 1, "one row per text");

} // namespace

std::string_view pattern(Language language, UpdateText text)
{
    return kUpdateTexts[std::size_t(text)][std::size_t(language)];
}

} // namespace corvatek::companion
