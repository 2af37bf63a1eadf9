// Renders the main window with each page that exists, in each language, to
// PNG files, so that captions can be checked by eye.
// Usage: render_pages <language-files-folder> <output-folder>
#include "pages/registry.h"
#include "pages/tools/actionitems.h"
#include "shell/mainwindow.h"
#include "shell/navigationlist.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace corvatek;

namespace {

void writeLanguage(const QString& folder, const QString& code)
{
    data::Table table = data::defaultTable(data::TableId::Languages);
    table.clearRows();
    table.appendRow({code});
    data::ProgramFiles(folder).saveTable(data::TableId::Languages, table);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    const QDir languages(args[1]);
    const QDir output(args[2]);
    output.mkpath(QStringLiteral("."));
    shell::PageRegistry registry;
    pages::registerAll(registry);

    for (const QString& code : {QStringLiteral("FR"), QStringLiteral("GB"), QStringLiteral("DE"), QStringLiteral("ESP"),
             QStringLiteral("ITA")}) {
        QTemporaryDir folder;
        for (const QString& name : languages.entryList({QStringLiteral("*.txt")}, QDir::Files))
            QFile::copy(languages.filePath(name), folder.filePath(name));
        writeLanguage(folder.path(), code);
        QFile viruses(folder.filePath(QStringLiteral("viri.txt")));
        shell::Seams seams = shell::Seams::system();
        seams.open = [](const QString&) {};
        seams.askYesNo = [](QWidget*, const QString&) { return false; };
        shell::Session session(folder.path() + QLatin1Char('/'), seams);
        shell::TForm2 window(session, registry);
        window.show();
        for (int row = 0; row < window.ListBox1->count(); ++row) {
            const shell::Target target = shell::kListOrder[row];
            if (!registry.page(target))
                continue;
            window.ListBox1->setCurrentRow(row);
            window.ListBox1Click();
            QCoreApplication::processEvents();
            const QString name = QStringLiteral("%1-%2.png").arg(code.toLower()).arg(row + 1, 2, 10, QLatin1Char('0'));
            window.grab().save(output.filePath(name));
        }
        pages::TAboutBox about;
        about.show();
        QCoreApplication::processEvents();
        about.grab().save(output.filePath(code.toLower() + QStringLiteral("-about.png")));
    }
    return 0;
}
