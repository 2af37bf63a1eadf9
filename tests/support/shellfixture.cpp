#include "shellfixture.h"

#include "pages/registry.h"
#include "shell/navigationlist.h"

#include <QFile>
#include <QTest>

namespace corvatek::test {

ShellFixture::ShellFixture()
{
    pages::registerAll(registry);
}

ShellFixture::~ShellFixture()
{
    stop();
}

void ShellFixture::installLanguageFiles() const
{
    folder.installShippedFiles();
}

void ShellFixture::setLanguage(const QString& code) const
{
    data::Table table = data::defaultTable(data::TableId::Languages);
    table.clearRows();
    table.appendRow({code});
    data::ProgramFiles(folder.path()).saveTable(data::TableId::Languages, table);
}

shell::MainWindow& ShellFixture::start()
{
    shell::Seams seams;
    seams.now = [this] { return now; };
    seams.askYesNo = [this](QWidget*, const QString& text) {
        questions.append(text);
        return answer;
    };
    seams.askBeforeDeleting = [this](QWidget*, const QString& text) {
        questions.append(text);
        deletingQuestions.append(text);
        return answer;
    };
    seams.open = [this](const QString& target) { opened.append(target); };
    seams.report = [this](QWidget*, const QString& text) { reports.append(text); };
    seams.trashFolders = [this] { return trashFolders; };
    session = std::make_unique<shell::Session>(folder.path(), seams, fileWait, installFolder);
    session->waits = {diskToolStep, siteLookupLimit};
    window = std::make_unique<shell::MainWindow>(*session, registry);
    return *window;
}

void ShellFixture::stop()
{
    window.reset();
    session.reset();
}

void ShellFixture::clickItem(int row) const
{
    window->navigationList->setCurrentRow(row);
    window->onNavigationClicked();
}

int ShellFixture::rowOf(shell::Target target)
{
    return int(
        std::find(std::begin(shell::kListOrder), std::end(shell::kListOrder), target) - std::begin(shell::kListOrder));
}

void ShellFixture::writeTable(data::TableId id, const QList<QStringList>& rows) const
{
    data::Table table(data::schemaOf(id).fields);
    for (const QStringList& row : rows)
        table.appendRow(row);
    QVERIFY(data::ProgramFiles(folder.path()).saveTable(id, table).ok());
}

QList<QStringList> ShellFixture::readTable(data::TableId id) const
{
    return tableRows(folder.path(), id);
}

} // namespace corvatek::test
