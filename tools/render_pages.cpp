// Renders the main window with each page that exists, in each language, to
// PNG files, so that captions can be checked by eye.
// Usage: render_pages <language-files-folder> <output-folder>
#include "localisation/timeformat.h"
#include "pages/checklistmodel.h"
#include "pages/protection/diskcheckpage.h"
#include "pages/registry.h"
#include "pages/security/quarantinepage.h"
#include "pages/tools/actionitems.h"
#include "pages/tools/rulefilesmodel.h"
#include "pages/tools/rulesdetailpage.h"
#include "pages/tools/scramblingpage.h"
#include "pages/tools/shortcutspage.h"
#include "shell/mainwindow.h"
#include "shell/navigationlist.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QTreeView>

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

    const data::ProgramFiles files(folder + QLatin1Char('/'));
    files.createTable(data::TableId::Configuration); // every switch on, as after a first start
    const auto when = [](int day, int hour, int minute) {
        return localisation::shortDateLongTime(QDateTime(QDate(2026, 12, day), QTime(hour, minute, 12)));
    };
    const struct {
        const char* program;
        int day, hour, minute;
        const char* kind;
        const char* detail;
        const char* path;
    } events[] = {
        {"updater.exe", 3, 14, 2, "Connexion", "?", "/opt/updater/updater.exe"},
        {"firefox", 7, 9, 41, "HTTPS", "443", "/usr/lib/firefox/firefox"},
        {"setup-2.4.exe", 5, 22, 17, "Run", "autostart", "/home/ann/Downloads/setup-2.4.exe"},
        {"thunderbird", 1, 8, 5, "SMTP", "25", "/usr/lib/thunderbird/thunderbird"},
        {"miner.js", 6, 3, 58, "CPU", "?", "/home/ann/.cache/tmp/miner.js"},
        {"backup-agent", 2, 18, 30, "FTP", "21", "/usr/local/bin/backup-agent"},
    };
    for (const data::TableId id : {data::TableId::Rules, data::TableId::Alerts}) {
        data::Table table = data::defaultTable(id);
        for (const auto& e : events) {
            QStringList row(11);
            row[0] = QString::fromLatin1(e.program);
            row[1] = when(e.day, e.hour, e.minute);
            row[2] = QString::fromLatin1(e.kind);
            row[3] = QString::fromLatin1(e.detail);
            row[7] = QString::fromLatin1(e.path);
            table.appendRow(row);
        }
        if (id == data::TableId::Rules) { // programs this machine has, for the detail page
            for (const char* path : {"/usr/bin/env", "/bin/sh"}) {
                QStringList row(11);
                row[0] = QFileInfo(QString::fromLatin1(path)).fileName();
                row[1] = when(7, 10, 15);
                row[2] = QStringLiteral("Run");
                row[3] = QStringLiteral("?");
                row[7] = QString::fromLatin1(path);
                row[8] = QStringLiteral("Allowed");
                table.appendRow(row);
            }
        }
        files.saveTable(id, table);
    }
    const auto names = [](data::TableId id, std::initializer_list<const char*> values) {
        data::Table table = data::defaultTable(id);
        for (const char* value : values)
            table.appendRow(QString::fromLatin1(value).split(QLatin1Char('|')));
        return table;
    };
    files.saveTable(data::TableId::Quarantine, names(data::TableId::Quarantine, {"miner.js", "setup-2.4.exe"}));
    files.saveTable(data::TableId::Events, names(data::TableId::Events, {"USB stick attached", "Login 08:02"}));
    files.saveTable(data::TableId::Sites,
        names(data::TableId::Sites, {"ads.example.com|93.184.216.34", "tracker.example.net|203.0.113.9"}));
    writeText(folder + QStringLiteral("/portsfermes.txt"), "23\r\n135\r\n445\r\n");
}

// The user's own folders, in the program folder standing in for the home
// folder: a desktop with a few shortcuts, two of them broken.
void makeHome(const QString& home)
{
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
    QDir(home).mkpath(QStringLiteral("Desktop"));
    QDir(home).mkpath(QStringLiteral("Documents/Photos 2026"));
    QDir(home).mkpath(QStringLiteral("Music"));
    const QString desktop = home + QStringLiteral("/Desktop/");
    writeText(desktop + QStringLiteral("Old Game.desktop"),
        "[Desktop Entry]\nType=Application\nName=Old Game\nExec=/opt/oldgame/start-game --fullscreen\n");
    writeText(
        desktop + QStringLiteral("Terminal.desktop"), "[Desktop Entry]\nType=Application\nName=Terminal\nExec=sh\n");
    writeText(desktop + QStringLiteral("Tax return 2025.desktop"),
        "[Desktop Entry]\nType=Link\nName=Tax return\nURL=file:///media/usb/tax-2025.pdf\n");
    QFile::link(home + QStringLiteral("/Documents"), desktop + QStringLiteral("Documents"));
}

// Written by companions after the start, which empties it.
void writeApplicationPorts(const QString& folder)
{
    writeText(folder + QStringLiteral("/portappli.txt"), "firefox 443\r\nthunderbird 993\r\nsyncthing 22000\r\n\r\n");
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
        // A fixed folder name, since the folder trees show it.
        QDir folder(QDir::temp().filePath(QStringLiteral("corvatek-") + code.toLower()));
        folder.removeRecursively();
        folder.mkpath(QStringLiteral("."));
        const struct Removal {
            QDir folder;
            ~Removal() { folder.removeRecursively(); }
        } removal {folder}; // after the window, which may still write there
        for (const QString& name : languages.entryList({QStringLiteral("*.txt")}, QDir::Files))
            QFile::copy(languages.filePath(name), folder.filePath(name));
        writeLanguage(folder.path(), code);
        writeRealisticRows(folder.path());
        makeHome(folder.path());
        shell::Seams seams = shell::Seams::system();
        seams.open = [](const QString&) {};
        seams.askYesNo = [](QWidget*, const QString&) { return false; };
        // Fixed figures where a page shows the clock or live processes, so
        // that two renderings of the same pages are the same pictures.
        seams.now = [] { return QDateTime(QDate(2026, 12, 7), QTime(9, 12, 30)); };
        seams.processes = [] {
            std::vector<platform::ProcessMemory> list;
            int id = 1;
            for (const char* name : {"systemd", "dbus-daemon", "Xorg", "pipewire", "firefox-esr", "thunderbird",
                     "gnome-shell", "nautilus", "corvatek", "bash"})
                list.push_back({name, id++, std::uint64_t(id) * 7'340'032});
            return list;
        };
        seams.machineMemory = [] { return platform::MemoryStatus {8'589'934'592, 5'368'709'120}; };
        seams.ownMemory = [] { return std::optional<std::uint64_t>(62'914'560); };
        shell::Session session(folder.path() + QLatin1Char('/'), seams);
        shell::MainWindow window(session, registry);
        window.show();
        writeApplicationPorts(folder.path());
        for (int row = 0; row < window.navigationList->count(); ++row) {
            const shell::Target target = shell::kListOrder[row];
            if (!registry.page(target))
                continue;
            window.navigationList->setCurrentRow(row);
            window.onNavigationClicked();
            if (target == shell::Target::DiskCheck)
                static_cast<pages::DiskCheckPage*>(window.shownPage(target))->refreshList();
            if (target == shell::Target::Shortcuts)
                static_cast<pages::ShortcutsPage*>(window.shownPage(target))->findBroken();
            if (target == shell::Target::Scrambling) {
                auto* page = static_cast<pages::ScramblingPage*>(window.shownPage(target));
                page->plainField->setText(QStringLiteral("/home/ann/Documents/tax-2025.pdf"));
                page->scrambledField->setText(QStringLiteral("/home/ann/Documents/tax-2025.vk"));
            }
            if (target == shell::Target::RulesDetail) {
                while (static_cast<pages::RulesDetailPage*>(window.shownPage(target))->rules->readingFiles())
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            }
            // The folder trees read their folders in the background.
            QElapsedTimer settling;
            settling.start();
            while ((target == shell::Target::Backup || target == shell::Target::Cleanup) && settling.elapsed() < 400)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QCoreApplication::processEvents();
            const QString name = QStringLiteral("%1-%2.png").arg(code.toLower()).arg(row + 1, 2, 10, QLatin1Char('0'));
            window.grab().save(output.filePath(name));
            if (target == shell::Target::RulesDetail) { // its right-hand columns too
                QTreeView* list = static_cast<pages::RulesDetailPage*>(window.shownPage(target))->ruleList;
                list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
                QCoreApplication::processEvents();
                window.grab().save(
                    output.filePath(QString(name).replace(QStringLiteral(".png"), QStringLiteral("-right.png"))));
            }
            if (target == shell::Target::Quarantine) { // its first tab too
                static_cast<pages::QuarantinePage*>(window.shownPage(target))->tabs->setCurrentIndex(0);
                QCoreApplication::processEvents();
                window.grab().save(
                    output.filePath(QString(name).replace(QStringLiteral(".png"), QStringLiteral("-protocols.png"))));
            }
        }
        pages::AboutBox about(window.state(), nullptr);
        about.show();
        QCoreApplication::processEvents();
        about.grab().save(output.filePath(code.toLower() + QStringLiteral("-about.png")));
    }
    return 0;
}
