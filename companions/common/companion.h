// What every companion program needs: where the program folder and the
// user's data are, and a log of its own in the program folder.
#pragma once

#include "data/programfiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace corvatek::companion {

// The folder of the suite's shared files, ending in '/': the one the control
// centre handed over, else found by the same rule (beside the executable, or
// the user's data folder for an installed copy).
QString programFolder();

// The suite's per-user data folder, $XDG_DATA_HOME/corvatek (by default
// ~/.local/share/corvatek), ending in '/'; not created here.
QString userDataFolder();

// A log's bytes with the line `entry` (ending in CR LF) appended, kept to
// their last 256 KiB of whole lines.
QByteArray appendedLog(const QByteArray& current, const QByteArray& entry);

// Appends a line, led by the local date and time, to the log file `name` of
// the program folder. The file is replaced whole under its lock, as every
// shared file is, and keeps only its last 256 KiB, so a log never grows
// without end. Control characters (a file name may hold a line end) are
// written as '?'. False when the line could not be written.
bool log(const data::ProgramFiles& files, QStringView name, const QString& line);
// A run's section: its first line led by the date and time, the others
// indented beneath it, written in one replacement.
bool log(const data::ProgramFiles& files, QStringView name, const QStringList& lines);

} // namespace corvatek::companion
