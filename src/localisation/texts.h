// The control centre's own texts, those that are no caption: each in the
// five languages, in one table (the language files hold the captions
// alone, and stay as they ship).
#pragma once

#include "localisation/language.h"

#include <QString>

#include <initializer_list>

namespace corvatek::localisation {

enum class Text {
    ScanInterrupted,
    AboutSuite,
    AboutContact,
    // What the program folder's files met.
    FileMissing,
    FileNotAFile,
    KindFolder,
    KindPipe,
    KindDevice,
    KindSocket,
    KindOther,
    FileTooLarge,
    FileUnreadable,
    FileInUse,
    FileNotOpened,
    FileNotOpenedForWriting,
    FileNotSaved,
    TableUnreadable,
    TableNamesUnwritable,
    TableNotKeptAside,
    // Scrambling a file.
    SameFile,
    SourceNotAFile,
    SourceNotOpened,
    DestinationNotMade,
    SourceNotRead,
    DestinationNotWritten,
    DestinationNotClosed,
    BytesKept,
    NoFullPath,
    // What a page could not do.
    SettingsNotSavedGuardRestarted,
    SiteLookupTooSlow,
    SiteNotAdded,
    LanguageNotChanged,
    NoNameFieldLanguageNotChanged,
    NoNameFieldLeftAsItWas,
    // What a start met.
    KeptAsideDefaultsInUse,
    NoField,
    UnexpectedError,
    DataFolderNotMade,
    SingleInstanceOff,
    LanguageFileMissing,
    LanguageFileUnreadable,
    LanguageFileNotText,
    LanguageFileShort,
};

// The text in `language`, each %1, %2… filled with the arguments in turn.
QString text(Language language, Text id, std::initializer_list<QString> arguments = {});

} // namespace corvatek::localisation
