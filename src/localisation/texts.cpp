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
};
static_assert(std::size(kTexts) == std::size_t(Text::BytesKept) + 1, "one row per text");

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
