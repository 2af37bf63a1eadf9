// The common operations on the suite's companion programs, which live in the
// program folder and are known by their executable names (vkguard.exe, ...).
#pragma once

#include "data/values.h"

#include <QString>
#include <QStringList>

namespace corvatek::supervision {

// Names and ids of every process, in the system's list order.
struct ProcessSnapshot {
    QStringList names;
    QStringList ids; // decimal
};

class Companions {
public:
    // A companion is looked for in the program folder, then in the folder
    // the control centre was installed to when that is another one.
    explicit Companions(QString programFolder, QString installFolder = {});

    const QString& programFolder() const { return folder_; }

    // Starts the companion with the parameter text, split into arguments as
    // a Windows program splits its command line. The result is not examined
    // by the callers that follow the shell's way of starting.
    bool shellStart(QStringView executableName, const QString& parameters = {}) const;
    // Starts a command line: an executable name without folder, then its
    // arguments; the name is found in the program folder first, then in the
    // install folder, then on the search path. True when the process was
    // created.
    bool consoleStart(const QString& commandLine) const;
    // True while a process of this executable name exists (case ignored).
    bool isRunning(QStringView executableName) const;
    // Terminates every process of that name except the control centre itself;
    // true when at least one was terminated.
    bool stop(QStringView executableName) const;
    // Stops each of these companions, in this order, with one look at the
    // process list.
    void stopAll(const QStringList& executableNames) const;
    ProcessSnapshot snapshot() const;
    // Tells the user through vknotify.exe, every blank of the text turned into
    // ";" and passed as the whole parameter text; nothing at the lowest level.
    void notify(const QString& text, ProtectionLevel level) const;

    // The folder holding what ships with the program under `name` (a
    // companion, a language file): the program folder, else the install
    // folder; the program folder when neither does.
    const QString& folderOf(QStringView name) const;

private:
    QString folder_;
    QString installFolder_;
};

// The parameter text that hands a backup entry ("<source>;<destination>") to
// vksave.exe as one argument that reads exactly as the entry, whatever
// blanks, quotes or letters its folders hold.
QString backupParameters(const QString& entry);

// The notification parameter text: every blank replaced by ";".
QString notificationText(const QString& text);

// The companions stopped together, each list in its own order: those an
// earlier run may have left, at start; every one (and the system's network
// statistics tool, which the network tool starts) when the program ends;
// those the quit item stops.
QStringList stoppedAtStart();
QStringList stoppedAtEnd();
QStringList stoppedByQuit();

} // namespace corvatek::supervision
