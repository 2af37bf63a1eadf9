// Renders the main window with each page that exists, in each language, to
// PNG files, so that captions can be checked by eye.
// Usage: render_pages <language-files-folder> <output-folder>
#include "pages/checklistmodel.h"
#include "pages/protection/diskcheckpage.h"
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

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

// What the companions leave in the folder after a while: a scan report,
// watched modifications, the disk tool's list of files.
void writeRealisticRows(const QString& folder)
{
    writeText(folder + QStringLiteral("/anaviri.txt"),
        "Scan 07/12/2026 09:00\r\n/home/ann/Downloads/setup.exe : EICAR-Test-File\r\n"
        "/home/ann/.cache/tmp/x.js : JS.Miner.A\r\n2 infected / 48213 files\r\n");
    writeText(folder + QStringLiteral("/modprocess.txt"), "vkguard.exe 1203\r\n");
    writeText(folder + QStringLiteral("/modregistre.txt"), "Run: updater\r\n");
    writeText(folder + QStringLiteral("/mode.txt"), "0\r\n");
    QDir(folder).mkpath(QStringLiteral("Downloads"));
    QByteArray list;
    for (const char* name : {"setup-2.4.exe", "invoice_0412.pdf.exe", "readme.txt", "photos.zip", "driver.inf",
             "archive-old.tar.gz", "thumbs.db", "desktop.ini", "notes.tmp", "report.docx.lnk", "~temp0001.tmp"}) {
        const QString path = folder + QStringLiteral("/Downloads/") + QString::fromLatin1(name);
        writeText(path, "x");
        list += path.toUtf8() + "\r\n";
    }
    writeText(folder + QStringLiteral("/liste2.txt"), list);
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
        writeRealisticRows(folder.path());
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
            if (target == shell::Target::DiskCheck)
                static_cast<pages::Tpanel8*>(window.marker(target))->refreshList();
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
