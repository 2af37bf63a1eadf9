// A control centre in a temporary program folder: the shipped language files,
// fake companions, and the seams answered by the test (Yes/No, the clock, the
// addresses opened).
#pragma once

#include "shell/mainwindow.h"
#include "testfolder.h"

#include <memory>

namespace corvatek::test {

class ShellFixture {
public:
    ShellFixture();
    ~ShellFixture();

    // Copies the shipped language and links files in.
    void installLanguageFiles() const;
    // Writes langues.xml with the code, as the language choice would.
    void setLanguage(const QString& code) const;
    // Writes a table file with its usual fields and these rows.
    void writeTable(data::TableId id, const QList<QStringList>& rows) const;
    // Every row of a table file, each value of each field.
    QList<QStringList> readTable(data::TableId id) const;
    // Creates the window with the real pages; runStartUp runs now.
    shell::MainWindow& start();
    // Ends the window as the application would (shutDown).
    void stop();
    // Selects the list item at `row` and handles the click.
    void clickItem(int row) const;
    // The row of the item whose action is `target`.
    static int rowOf(shell::Target target);
    // Builds the page of `target` as a click on its item does.
    template<typename PageClass> PageClass& open(shell::Target target) const
    {
        clickItem(rowOf(target));
        return *static_cast<PageClass*>(window->shownPage(target));
    }

    TestFolder folder;
    shell::PageRegistry registry;
    std::unique_ptr<shell::Session> session;
    std::unique_ptr<shell::MainWindow> window;
    bool answer = false; // what the user answers to Yes/No questions
    QStringList questions; // what was asked
    QStringList deletingQuestions; // what was asked of those whose Yes deletes
    QStringList opened; // what was opened
    QStringList reports; // what was reported
    QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(10, 15, 30));
    std::chrono::milliseconds fileWait = data::kFileFreeTimeout; // how long a held file is waited for
    std::chrono::milliseconds diskToolStep {10500}; // the disk check page's fixed wait step
    std::chrono::milliseconds siteLookupLimit {10000}; // how long vksites.exe is waited for
    std::vector<std::string> trashFolders; // what emptying the trash empties: never the user's
    QString installFolder; // the executable's folder, when not the program folder
};

} // namespace corvatek::test
