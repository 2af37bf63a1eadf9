// A temporary program folder for tests: real files, real companion processes
// (the fake companion copied under each companion's name), cleaned up after.
#pragma once

#include "data/tables.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace corvatek::test {

struct JournalEntry {
    QString name;
    int pid = 0;
    int openDescriptors = 0;
    int session = 0;
    QString standardInput;
    QStringList arguments;
};

class TestFolder {
public:
    TestFolder();
    ~TestFolder(); // terminates every process started from the folder

    QString path() const; // ends with "/"
    QString file(const QString& name) const { return path() + name; }

    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;
    bool exists(const QString& name) const;

    // Stores the language code ("GB", "DE"…) as the control centre does,
    // for companions that speak the user's language.
    void speak(const QByteArray& code) const;
    // Copies in the language and links files the program ships with, but
    // for those already there.
    void installShippedFiles() const;
    // Copies the fake companion in under `name`, with its behaviour lines.
    void installCompanion(const QString& name, const QStringList& behaviour = {}) const;
    void setBehaviour(const QString& name, const QStringList& behaviour) const;
    // Journal entries of starts, oldest first (other journal lines skipped).
    QList<JournalEntry> starts() const;
    // The arguments of each start of the companion `name`, oldest first.
    QList<QStringList> argumentsOf(const QString& name) const;
    QStringList journalLines() const;
    // Ids of live processes whose program lies in this folder.
    QList<int> processes() const;
    // Names of the companions started from this folder that still run, sorted.
    QStringList runningNames() const;

private:
    QTemporaryDir dir_;
};

// While it lives, the calling thread's file access is checked as an
// ordinary user's, also when the tests run as root: a file without write
// permission then cannot be opened for writing.
class OrdinaryUserFileAccess {
public:
    OrdinaryUserFileAccess();
    ~OrdinaryUserFileAccess();
    OrdinaryUserFileAccess(const OrdinaryUserFileAccess&) = delete;
    OrdinaryUserFileAccess& operator=(const OrdinaryUserFileAccess&) = delete;
};

// Makes `folder` the user's home for the pages and companions this process
// starts (HOME and the XDG configuration and data folders below it), so
// that no test reaches the real user's files.
void useAsHome(const QString& folder);

// Takes every write permission away from a file of the folder.
void makeReadOnly(const QString& path);

// Polls `condition` until it holds or `timeoutMs` passed; for waiting on
// other processes, never for measuring time.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// Writes a file whole, making its folder; a failure fails the test.
void writeFile(const QString& path, const QByteArray& bytes);

// Every row of a table file in `folder`, each value of each field.
QList<QStringList> tableRows(const QString& folder, data::TableId id);

// Ids of live processes whose program lies in `folder` (ending with "/").
QList<int> processesIn(const QString& folder);
void killProcess(int pid);

// The fake companion program built beside the tests.
QString fakeCompanionPath();

} // namespace corvatek::test
