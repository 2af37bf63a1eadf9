#include "checktexts.h"

#include "common/words.h"

namespace corvatek::companion {
namespace {

// One row per CheckText, in its order: French, English, German, Spanish, Italian.
constexpr Words kCheckTexts[] = {
    {"Santé des disques", "Health of the disks", "Zustand der Laufwerke", "Estado de los discos", "Stato dei dischi"},
    {"Lecture de {1}", "Read check of {1}", "Lesetest von {1}", "Prueba de lectura de {1}",
        "Verifica di lettura di {1}"},
    {"Fichiers qui peuvent partir", "Files that can safely go", "Dateien, die weg können",
        "Archivos que se pueden borrar", "File che si possono eliminare"},
    {"{1} : en bonne santé", "{1}: healthy", "{1}: in Ordnung", "{1}: en buen estado", "{1}: in buono stato"},
    {"{1} : à surveiller, des secteurs sont abîmés", "{1}: at risk, some sectors are damaged",
        "{1}: gefährdet, einige Sektoren sind beschädigt", "{1}: en riesgo, hay sectores dañados",
        "{1}: a rischio, alcuni settori sono danneggiati"},
    {"{1} : DÉFAILLANT, sauvegardez ses données maintenant", "{1}: FAILING, back up its data now",
        "{1}: FÄLLT AUS, sichern Sie jetzt die Daten", "{1}: FALLANDO, haga ya una copia de sus datos",
        "{1}: GUASTO IMMINENTE, salvate subito i dati"},
    {"{1} : ne donne aucune information de santé", "{1}: reports nothing about its health",
        "{1}: meldet nichts über seinen Zustand", "{1}: no informa de su estado",
        "{1}: non riporta nulla sul suo stato"},
    {"  température {1} °C", "  temperature {1} °C", "  Temperatur {1} °C", "  temperatura {1} °C",
        "  temperatura {1} °C"},
    {"  secteurs réalloués {1}, en attente {2}, illisibles {3}",
        "  sectors reallocated {1}, pending {2}, uncorrectable {3}",
        "  Sektoren ersetzt {1}, ausstehend {2}, unlesbar {3}",
        "  sectores reasignados {1}, pendientes {2}, ilegibles {3}",
        "  settori riallocati {1}, in sospeso {2}, illeggibili {3}"},
    {"  dernières valeurs connues (le disque n'a pas été interrogé à nouveau)",
        "  last known values (the drive was not asked afresh)",
        "  zuletzt bekannte Werte (das Laufwerk wurde nicht neu abgefragt)",
        "  últimos valores conocidos (no se volvió a consultar el disco)",
        "  ultimi valori noti (il disco non è stato interrogato di nuovo)"},
    {"Aucun disque trouvé", "No drive found", "Kein Laufwerk gefunden", "No se encontró ningún disco",
        "Nessun disco trovato"},
    {"La santé des disques n'a pas pu être lue ({1})", "The disks' health could not be read ({1})",
        "Der Zustand der Laufwerke konnte nicht gelesen werden ({1})", "No se pudo leer el estado de los discos ({1})",
        "Non è stato possibile leggere lo stato dei dischi ({1})"},
    {"Système de fichiers {1} ({2}) : {3} erreurs enregistrées", "File system {1} ({2}): {3} errors recorded",
        "Dateisystem {1} ({2}): {3} Fehler verzeichnet", "Sistema de archivos {1} ({2}): {3} errores registrados",
        "File system {1} ({2}): {3} errori registrati"},
    {"Système de fichiers {1} ({2}) : aucune erreur enregistrée", "File system {1} ({2}): no errors recorded",
        "Dateisystem {1} ({2}): keine Fehler verzeichnet", "Sistema de archivos {1} ({2}): ningún error registrado",
        "File system {1} ({2}): nessun errore registrato"},
    {"{1} fichiers lus ({2}), {3} illisibles, {4} que vous ne pouvez pas lire, {5} autres échecs",
        "{1} files read ({2}), {3} unreadable, {4} you may not read, {5} other failures",
        "{1} Dateien gelesen ({2}), {3} unlesbar, {4} für Sie nicht lesbar, {5} andere Fehler",
        "{1} archivos leídos ({2}), {3} ilegibles, {4} que usted no puede leer, {5} otros fallos",
        "{1} file letti ({2}), {3} illeggibili, {4} che non potete leggere, {5} altri errori"},
    {"  illisible (erreur d'entrée-sortie) : {1}", "  unreadable (I/O error): {1}", "  unlesbar (E/A-Fehler): {1}",
        "  ilegible (error de E/S): {1}", "  illeggibile (errore di I/O): {1}"},
    {"{1} n'a pas pu être ouvert : {2}", "{1} could not be opened: {2}", "{1} konnte nicht geöffnet werden: {2}",
        "No se pudo abrir {1}: {2}", "Impossibile aprire {1}: {2}"},
    {"{1} fichiers peuvent partir ({2}), sur {3} examinés", "{1} files can safely go ({2}), of {3} looked at",
        "{1} Dateien können weg ({2}), von {3} geprüften", "{1} archivos se pueden borrar ({2}), de {3} examinados",
        "{1} file si possono eliminare ({2}), su {3} esaminati"},
    {"Le temps a manqué : la liste contient ce qui a été trouvé",
        "Time ran short: the list holds what was found so far",
        "Die Zeit wurde knapp: die Liste enthält, was bis dahin gefunden wurde",
        "Faltó tiempo: la lista contiene lo encontrado hasta entonces",
        "Il tempo non è bastato: l'elenco contiene quanto trovato finora"},
    {"La liste n'a pas pu être écrite : {1}", "The list could not be written: {1}",
        "Die Liste konnte nicht geschrieben werden: {1}", "No se pudo escribir la lista: {1}",
        "Impossibile scrivere l'elenco: {1}"},
    {"Attendu : 0 0, 1 <dossier> ou 2 ; reçu : {1}", "Expected 0 0, 1 <folder> or 2; given: {1}",
        "Erwartet: 0 0, 1 <Ordner> oder 2; erhalten: {1}", "Se esperaba 0 0, 1 <carpeta> o 2; recibido: {1}",
        "Atteso 0 0, 1 <cartella> o 2; ricevuto: {1}"},
    {"Disque défaillant : {1}. Sauvegardez vos données maintenant.", "Disk failing: {1}. Back up your data now.",
        "Laufwerk fällt aus: {1}. Sichern Sie jetzt Ihre Daten.",
        "Disco fallando: {1}. Haga ya una copia de sus datos.", "Disco in avaria: {1}. Salvate subito i vostri dati."},
    {"Disque à surveiller : {1}", "Disk at risk: {1}", "Laufwerk gefährdet: {1}", "Disco en riesgo: {1}",
        "Disco a rischio: {1}"},
    {"Erreurs du système de fichiers {1} : faites-le vérifier", "File system {1} has recorded errors: have it checked",
        "Dateisystem {1} hat Fehler verzeichnet: lassen Sie es prüfen",
        "El sistema de archivos {1} registró errores: hágalo comprobar",
        "Il file system {1} ha registrato errori: fatelo verificare"},
    {"{1} fichiers illisibles dans {2}", "{1} unreadable files in {2}", "{1} unlesbare Dateien in {2}",
        "{1} archivos ilegibles en {2}", "{1} file illeggibili in {2}"},
    {"{1} fichiers peuvent partir ({2})", "{1} files can safely go ({2})", "{1} Dateien können weg ({2})",
        "{1} archivos se pueden borrar ({2})", "{1} file si possono eliminare ({2})"},
    {"La vérification des disques n'a pas pu se faire : {1}", "The disk check could not run: {1}",
        "Die Laufwerksprüfung konnte nicht laufen: {1}", "No se pudo comprobar los discos: {1}",
        "Non è stato possibile verificare i dischi: {1}"},
};
static_assert(std::size(kCheckTexts) == std::size_t(CheckText::NoticeCannot) + 1, "one row per text");

} // namespace

std::string_view pattern(Language language, CheckText text)
{
    return kCheckTexts[std::size_t(text)][std::size_t(language)];
}

} // namespace corvatek::companion
