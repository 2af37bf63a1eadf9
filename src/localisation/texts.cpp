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
    // FileMissing
    {u"%1 n'existe pas.", u"%1 does not exist.", u"%1 existiert nicht.", u"%1 no existe.", u"%1 non esiste."},
    // FileNotAFile
    {u"%1 est %2, pas un fichier ; il n'a pas été lu.", u"%1 is %2, not a file; it was not read.",
        u"%1 ist %2, keine Datei; sie wurde nicht gelesen.", u"%1 es %2, no un archivo; no se ha leído.",
        u"%1 è %2, non un file; non è stato letto."},
    // KindFolder
    {u"un dossier", u"a folder", u"ein Ordner", u"una carpeta", u"una cartella"},
    // KindPipe
    {u"un tube", u"a pipe", u"eine Pipe", u"una tubería", u"una pipe"},
    // KindDevice
    {u"un périphérique", u"a device", u"ein Gerät", u"un dispositivo", u"un dispositivo"},
    // KindSocket
    {u"un socket", u"a socket", u"ein Socket", u"un socket", u"un socket"},
    // KindOther
    {u"autre chose qu'un fichier ordinaire", u"no regular file", u"keine gewöhnliche Datei",
        u"algo que no es un archivo normal", u"qualcosa che non è un file normale"},
    // FileTooLarge
    {u"%1 dépasse %2, plus qu'un tel fichier n'en contient ; il n'a pas été lu.",
        u"%1 is larger than %2, more than such a file holds; it was not read.",
        u"%1 ist größer als %2, mehr als eine solche Datei enthält; sie wurde nicht gelesen.",
        u"%1 supera %2, más de lo que contiene un archivo así; no se ha leído.",
        u"%1 supera %2, più di quanto contenga un file simile; non è stato letto."},
    // FileUnreadable
    {u"%1 n'a pas pu être lu : %2.", u"%1 could not be read: %2.", u"%1 konnte nicht gelesen werden: %2.",
        u"No se pudo leer %1: %2.", u"Non è stato possibile leggere %1: %2."},
    // FileInUse
    {u"%1 est utilisé par un autre programme ; rien n'a été changé.",
        u"%1 is in use by another program; nothing was changed.",
        u"%1 wird von einem anderen Programm verwendet; nichts wurde geändert.",
        u"%1 está en uso por otro programa; no se ha cambiado nada.",
        u"%1 è in uso da un altro programma; non è stato cambiato nulla."},
    // FileNotOpened
    {u"%1 n'a pas pu être ouvert : %2 ; rien n'a été changé.", u"%1 could not be opened: %2; nothing was changed.",
        u"%1 konnte nicht geöffnet werden: %2; nichts wurde geändert.",
        u"No se pudo abrir %1: %2; no se ha cambiado nada.",
        u"Non è stato possibile aprire %1: %2; non è stato cambiato nulla."},
    // FileNotOpenedForWriting
    {u"%1 n'a pas pu être ouvert en écriture : %2 ; rien n'a été changé.",
        u"%1 could not be opened for writing: %2; nothing was changed.",
        u"%1 konnte nicht zum Schreiben geöffnet werden: %2; nichts wurde geändert.",
        u"No se pudo abrir %1 para escribir: %2; no se ha cambiado nada.",
        u"Non è stato possibile aprire %1 in scrittura: %2; non è stato cambiato nulla."},
    // FileNotSaved
    {u"%1 n'a pas pu être enregistré : %2 ; il est resté tel quel.",
        u"%1 could not be saved: %2; it was left as it was.",
        u"%1 konnte nicht gespeichert werden: %2; sie blieb, wie sie war.",
        u"No se pudo guardar %1: %2; se ha dejado como estaba.",
        u"Non è stato possibile salvare %1: %2; è rimasto com'era."},
    // TableUnreadable
    {u"%1 n'est pas une table lisible : %2.", u"%1 is not a readable table: %2.",
        u"%1 ist keine lesbare Tabelle: %2.", u"%1 no es una tabla legible: %2.",
        u"%1 non è una tabella leggibile: %2."},
    // TableNamesUnwritable
    {u"%1 n'a pas été enregistré : ses champs ont des noms qui ne peuvent pas être écrits ; il est resté tel quel.",
        u"%1 was not saved: its fields have names that cannot be written; it was left as it is.",
        u"%1 wurde nicht gespeichert: ihre Felder haben Namen, die nicht geschrieben werden können; sie blieb, wie "
        u"sie ist.",
        u"%1 no se ha guardado: sus campos tienen nombres que no se pueden escribir; se ha dejado como está.",
        u"%1 non è stato salvato: i suoi campi hanno nomi che non si possono scrivere; è rimasto com'è."},
    // TableNotKeptAside
    {u"%1 n'a pas pu être lu ni mis de côté ; il est resté tel quel.",
        u"%1 could not be read and could not be kept aside; it was left as it is.",
        u"%1 konnte weder gelesen noch beiseitegelegt werden; sie blieb, wie sie ist.",
        u"%1 no se pudo leer ni apartar; se ha dejado como está.",
        u"Non è stato possibile né leggere né mettere da parte %1; è rimasto com'è."},
    // SameFile
    {u"%1 et %2 sont le même fichier ; il est resté tel quel. Choisissez un autre fichier où écrire.",
        u"%1 and %2 are the same file; it was left as it was. Choose another file to write to.",
        u"%1 und %2 sind dieselbe Datei; sie blieb, wie sie war. Wählen Sie eine andere Datei zum Schreiben.",
        u"%1 y %2 son el mismo archivo; se ha dejado como estaba. Elija otro archivo donde escribir.",
        u"%1 e %2 sono lo stesso file; è rimasto com'era. Scegliete un altro file in cui scrivere."},
    // SourceNotAFile
    {u"%1 n'est pas un fichier ordinaire ; rien n'a été écrit.", u"%1 is not a regular file; nothing was written.",
        u"%1 ist keine gewöhnliche Datei; nichts wurde geschrieben.",
        u"%1 no es un archivo normal; no se ha escrito nada.", u"%1 non è un file normale; non è stato scritto nulla."},
    // SourceNotOpened
    {u"%1 n'a pas pu être ouvert : %2.", u"%1 could not be opened: %2.", u"%1 konnte nicht geöffnet werden: %2.",
        u"No se pudo abrir %1: %2.", u"Non è stato possibile aprire %1: %2."},
    // DestinationNotMade
    {u"%1 n'a pas pu être créé : %2.", u"%1 could not be created: %2.", u"%1 konnte nicht angelegt werden: %2.",
        u"No se pudo crear %1: %2.", u"Non è stato possibile creare %1: %2."},
    // SourceNotRead
    {u"%1 n'a pas pu être lu", u"%1 could not be read", u"%1 konnte nicht gelesen werden", u"No se pudo leer %1",
        u"Non è stato possibile leggere %1"},
    // DestinationNotWritten
    {u"%1 n'a pas pu être écrit", u"%1 could not be written", u"%1 konnte nicht geschrieben werden",
        u"No se pudo escribir %1", u"Non è stato possibile scrivere %1"},
    // DestinationNotClosed
    {u"%1 n'a pas pu être fermé", u"%1 could not be closed", u"%1 konnte nicht geschlossen werden",
        u"No se pudo cerrar %1", u"Non è stato possibile chiudere %1"},
    // BytesKept
    {u"%1 : %2. Les %3 octets écrits avant restent dans %4.", u"%1: %2. The %3 bytes written before stay in %4.",
        u"%1: %2. Die %3 zuvor geschriebenen Bytes bleiben in %4.",
        u"%1: %2. Los %3 bytes escritos antes quedan en %4.",
        u"%1: %2. I %3 byte scritti prima restano in %4."},
    // NoFullPath
    {u"« %1 » n'est pas le chemin complet d'un fichier ; rien n'a été écrit.",
        u"\"%1\" is no full path of a file; nothing was written.",
        u"„%1“ ist kein vollständiger Pfad einer Datei; nichts wurde geschrieben.",
        u"«%1» no es la ruta completa de un archivo; no se ha escrito nada.",
        u"«%1» non è il percorso completo di un file; non è stato scritto nulla."},
    // SettingsNotSavedGuardRestarted
    {u"%1 Les réglages n'ont pas été enregistrés ; la protection en temps réel a été relancée.",
        u"%1 The settings were not saved; the real-time guard was started again.",
        u"%1 Die Einstellungen wurden nicht gespeichert; der Echtzeitschutz wurde neu gestartet.",
        u"%1 Los ajustes no se han guardado; la protección en tiempo real se ha iniciado de nuevo.",
        u"%1 Le impostazioni non sono state salvate; la protezione in tempo reale è stata riavviata."},
    // SiteLookupTooSlow
    {u"%1 n'a pas fini en %2 s et a été arrêté ; le site n'a pas été ajouté.",
        u"%1 did not end within %2 s and was stopped; the site was not added.",
        u"%1 war nicht innerhalb von %2 s fertig und wurde beendet; die Seite wurde nicht hinzugefügt.",
        u"%1 no terminó en %2 s y se detuvo; el sitio no se ha añadido.",
        u"%1 non è terminato entro %2 s ed è stato fermato; il sito non è stato aggiunto."},
    // SiteNotAdded
    {u"%1 Le site n'a pas été ajouté.", u"%1 The site was not added.", u"%1 Die Seite wurde nicht hinzugefügt.",
        u"%1 El sitio no se ha añadido.", u"%1 Il sito non è stato aggiunto."},
    // LanguageNotChanged
    {u"%1 ; la langue n'a pas été changée.", u"%1; the language was not changed.",
        u"%1; die Sprache wurde nicht geändert.", u"%1; el idioma no se ha cambiado.",
        u"%1; la lingua non è stata cambiata."},
    // NoNameFieldLanguageNotChanged
    {u"%1 n'a pas de champ Champ1 ; la langue n'a pas été changée.",
        u"%1 has no field Champ1; the language was not changed.",
        u"%1 hat kein Feld Champ1; die Sprache wurde nicht geändert.",
        u"%1 no tiene el campo Champ1; el idioma no se ha cambiado.",
        u"%1 non ha il campo Champ1; la lingua non è stata cambiata."},
    // NoNameFieldLeftAsItWas
    {u"%1 n'a pas de champ Champ1 ; il est resté tel quel.", u"%1 has no field Champ1; it was left as it was.",
        u"%1 hat kein Feld Champ1; sie blieb, wie sie war.", u"%1 no tiene el campo Champ1; se ha dejado como estaba.",
        u"%1 non ha il campo Champ1; è rimasto com'era."},
    // KeptAsideDefaultsInUse
    {u"%1 Il a été gardé sous %2, et ses valeurs par défaut sont utilisées.",
        u"%1 It was kept as %2, and its defaults are in use.",
        u"%1 Sie wurde als %2 aufbewahrt, und ihre Vorgaben gelten.",
        u"%1 Se ha guardado como %2, y se usan sus valores por defecto.",
        u"%1 È stato conservato come %2, e sono in uso i suoi valori predefiniti."},
    // NoField
    {u"%1 n'a pas de champ %2.", u"%1 has no field %2.", u"%1 hat kein Feld %2.", u"%1 no tiene el campo %2.",
        u"%1 non ha il campo %2."},
    // UnexpectedError
    {u"Une erreur inattendue s'est produite.", u"An unexpected error occurred.",
        u"Ein unerwarteter Fehler ist aufgetreten.", u"Se ha producido un error inesperado.",
        u"Si è verificato un errore imprevisto."},
    // DataFolderNotMade
    {u"Le dossier des données ne peut pas être créé : %1", u"The data folder cannot be made: %1",
        u"Der Datenordner kann nicht angelegt werden: %1", u"No se puede crear la carpeta de datos: %1",
        u"Non è possibile creare la cartella dei dati: %1"},
    // SingleInstanceOff
    {u"La garde contre un second lancement est inactive : %1.", u"The single-instance guard is off: %1.",
        u"Der Schutz vor einem zweiten Start ist aus: %1.", u"La protección contra un segundo inicio está desactivada: %1.",
        u"La protezione contro un secondo avvio è disattivata: %1."},
    // LanguageFileMissing
    {u"Le fichier de langue %1 manque ; les libellés restent vides.",
        u"The language file %1 is missing; the captions stay empty.",
        u"Die Sprachdatei %1 fehlt; die Beschriftungen bleiben leer.",
        u"Falta el archivo de idioma %1; los textos quedan vacíos.",
        u"Il file della lingua %1 manca; le didascalie restano vuote."},
    // LanguageFileUnreadable
    {u"Le fichier de langue %1 ; les libellés restent vides.", u"The language file %1; the captions stay empty.",
        u"Die Sprachdatei %1; die Beschriftungen bleiben leer.", u"El archivo de idioma %1; los textos quedan vacíos.",
        u"Il file della lingua %1; le didascalie restano vuote."},
    // LanguageFileNotText
    {u"Le fichier de langue %1 n'est pas un fichier de langue (pas du texte en lignes courtes) ; les libellés "
     u"restent vides.",
        u"The language file %1 is not a language file (not text of short lines); the captions stay empty.",
        u"Die Sprachdatei %1 ist keine Sprachdatei (kein Text aus kurzen Zeilen); die Beschriftungen bleiben leer.",
        u"El archivo de idioma %1 no es un archivo de idioma (no es texto de líneas cortas); los textos quedan "
        u"vacíos.",
        u"Il file della lingua %1 non è un file di lingua (non è testo di righe brevi); le didascalie restano vuote."},
    // LanguageFileShort
    {u"Le fichier de langue %1 n'a que %2 de ses %3 lignes ; les autres libellés restent vides.",
        u"The language file %1 has only %2 of its %3 lines; the other captions stay empty.",
        u"Die Sprachdatei %1 hat nur %2 ihrer %3 Zeilen; die übrigen Beschriftungen bleiben leer.",
        u"El archivo de idioma %1 solo tiene %2 de sus %3 líneas; los demás textos quedan vacíos.",
        u"Il file della lingua %1 ha solo %2 delle sue %3 righe; le altre didascalie restano vuote."},
};
static_assert(std::size(kTexts) == std::size_t(Text::LanguageFileShort) + 1, "one row per text");

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
