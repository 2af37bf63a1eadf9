#include "pages/checklistmodel.h"
#include "pages/foldertree.h"
#include "pages/tools/backuppage.h"
#include "pages/tools/cleanuppage.h"
#include "pages/tools/shortcutspage.h"
#include "pages/tools/systeminfopage.h"
#include "shellfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

using namespace corvatek;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;
using corvatek::test::waitUntil;

namespace {

#ifdef Q_OS_LINUX
void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray application(const QString& exec)
{
    return "[Desktop Entry]\nType=Application\nName=x\nExec=" + exec.toUtf8() + "\n";
}
#endif

} // namespace

class TestTools : public QObject {
    Q_OBJECT

    QTemporaryDir home_;
    QString home(const QString& name) const { return home_.filePath(name); }

    ShellFixture& started(ShellFixture& fixture)
    {
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        fixture.start();
        return fixture;
    }

private slots:
    void initTestCase()
    {
        // The pages work on the user's folders: never the real user's here.
        qputenv("HOME", QFile::encodeName(home_.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home(QStringLiteral(".config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home(QStringLiteral(".local/share"))));
    }

    void backupEntriesReachTheCompanionWhole()
    {
        ShellFixture fixture;
        started(fixture);
        fixture.folder.installCompanion(QStringLiteral("vksave.exe"), {QStringLiteral("exit")});
        auto& state = fixture.session->state;
        state.selectedBackupEntry = QStringLiteral("left over");
        auto* page = &fixture.open<pages::BackupPage>(Target::Backup);
        QVERIFY(state.selectedBackupEntry.isEmpty());
        QVERIFY(page->manualChoice->isChecked());

#ifdef Q_OS_WIN
        const QString source = home(QStringLiteral("My Docs été")); // no quotes in a Windows name
#else
        const QString source = home(QStringLiteral("My \"Docs\" été"));
#endif
        const QString destination = home(QStringLiteral("Save"));
        QDir().mkpath(source);
        QDir().mkpath(destination);
        const auto add = [&](const QString& from, const QString& to) {
            page->sourceField->setText(from);
            page->destinationField->setText(to);
            page->addButton->click();
        };
        add(source, destination);
        add(source, home(QStringLiteral("missing")));
        add(QStringLiteral("Save"), destination); // relative: not a folder the user chose
#ifndef Q_OS_WIN
        const QString twoLines = home(QStringLiteral("Two\nLines"));
        QDir().mkpath(twoLines);
        add(twoLines, destination); // its file keeps an entry a line
#endif
        add(source, destination);
        QCOMPARE(page->entryBox->count(), 2);
        const QString entry = source + QLatin1Char(';') + destination;
        QCOMPARE(page->entryBox->itemText(0), entry);
        // Added, not chosen: the list shows nothing and Run now starts nothing.
        QCOMPARE(page->entryBox->currentText(), QString());
        page->runButton->click();
        const auto choose = [&](int index) {
            page->entryBox->setCurrentIndex(index);
            emit page->entryBox->activated(index);
        };
        choose(0);
        page->runButton->click();
        QVERIFY(waitUntil([&] { return fixture.folder.argumentsOf(QStringLiteral("vksave.exe")).size() == 1; }));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vksave.exe")).first(), QStringList {entry});

        // The schedule, the list and the chosen entry outlive the page.
        page->everyMinuteChoice->click();
        choose(1);
        QCOMPARE(state.selectedBackupEntry, entry);
        QVERIFY(state.everyMinuteBackupFlag && !state.hourlyBackupFlag && !state.manualBackupFlag);
        page->removeButton->click();
        QCOMPARE(page->entryBox->count(), 2); // No
        fixture.answer = true;
        page->removeButton->click();
        QCOMPARE(page->entryBox->count(), 1);
        QCOMPARE(fixture.questions.last(), state.caption(Caption::AreYouSure));
        // The removed entry is no longer backed up when the minute changes
        // (once the first run has ended: a running one is never doubled).
        QCOMPARE(page->entryBox->currentText(), QString());
        QVERIFY(state.selectedBackupEntry.isEmpty());
        QVERIFY(waitUntil([&] { return !fixture.folder.runningNames().contains(QStringLiteral("vksave.exe")); }));
        const auto nextMinute = [&] {
            fixture.now = fixture.now.addSecs(60);
            fixture.window->onMonitorTimer();
        };
        fixture.window->onMonitorTimer();
        nextMinute();
        choose(0); // the control: a chosen entry is backed up at the next change
        nextMinute();
        QVERIFY(waitUntil([&] { return fixture.folder.argumentsOf(QStringLiteral("vksave.exe")).size() >= 2; }));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vksave.exe")).size(), 2);
        page->backupBox->click();

        page = &fixture.open<pages::BackupPage>(Target::Backup);
        QCOMPARE(page->entryBox->count(), 1);
        QCOMPARE(page->entryBox->currentText(), entry);
        QVERIFY(state.selectedBackupEntry == entry && state.everyMinuteBackupFlag);
        QVERIFY(page->everyMinuteChoice->isChecked()); // the schedule in force
        QVERIFY(!page->backupBox->isChecked());
        page->runButton->click(); // the chosen entry, as shown
        pages::selectFolder(page->sourceTree, source);
        page->takeSourceFolder();
        QCOMPARE(page->sourceField->text(), source);
        QVERIFY(waitUntil([&] { return fixture.folder.argumentsOf(QStringLiteral("vksave.exe")).size() == 3; }));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vksave.exe")).last(), QStringList {entry});
    }

    // The entries, the chosen one and the schedule are the user's: kept
    // across pages and starts, and run on from the start, page or no page.
    void backupScheduleOutlivesPagesAndStarts()
    {
        ShellFixture fixture;
        started(fixture);
        fixture.folder.installCompanion(QStringLiteral("vksave.exe"), {QStringLiteral("exit")});
        const QString source = home(QStringLiteral("Kept/From")), destination = home(QStringLiteral("Kept/To"));
        QDir().mkpath(source);
        QDir().mkpath(destination);
        const QString first = source + QLatin1Char(';') + destination;
        const QString second = destination + QLatin1Char(';') + source;
        const auto entries = [](pages::BackupPage* page) {
            QStringList shown;
            for (int n = 0; n < page->entryBox->count(); ++n)
                shown.append(page->entryBox->itemText(n));
            return shown;
        };
        const auto choose = [](pages::BackupPage* page, int index) {
            page->entryBox->setCurrentIndex(index);
            emit page->entryBox->activated(index);
        };
        const auto backups = [&] { return fixture.folder.argumentsOf(QStringLiteral("vksave.exe")); };

        auto* page = &fixture.open<pages::BackupPage>(Target::Backup);
        for (const auto& [from, to] : {std::pair {source, destination}, std::pair {destination, source}}) {
            page->sourceField->setText(from);
            page->destinationField->setText(to);
            page->addButton->click();
        }
        choose(page, 1);
        page->everyMinuteChoice->click();
        fixture.clickItem(ShellFixture::rowOf(Target::Home));
        page = &fixture.open<pages::BackupPage>(Target::Backup);
        QCOMPARE(entries(page), (QStringList {first, second}));
        QCOMPARE(page->entryBox->currentText(), second);
        QVERIFY(page->everyMinuteChoice->isChecked());

        fixture.stop();
        fixture.start();
        fixture.window->onMonitorTimer();
        QVERIFY(waitUntil([&] { return backups().size() == 1; }));
        QCOMPARE(backups().first(), QStringList {second});
        QCOMPARE(fixture.folder.read(QStringLiteral("sauvegardes.txt")),
            QStringLiteral("1\r\n%2\r\n%1\r\n%2\r\n").arg(first, second).toUtf8());

        // A removed entry stays removed, and is no longer backed up.
        fixture.answer = true;
        fixture.open<pages::BackupPage>(Target::Backup).removeButton->click();
        fixture.stop();
        fixture.start();
        page = &fixture.open<pages::BackupPage>(Target::Backup);
        QCOMPARE(entries(page), QStringList {first});
        QCOMPARE(page->entryBox->currentText(), QString());
        fixture.window->onMonitorTimer();
        choose(page, 0); // the control: a chosen entry is backed up at the next change
        fixture.now = fixture.now.addSecs(60);
        fixture.window->onMonitorTimer();
        QVERIFY(waitUntil([&] { return backups().size() >= 2; }));
        QCOMPARE(backups().mid(1), QList<QStringList> {{first}});
    }

    void systemInformation()
    {
        QCOMPARE(pages::SystemInfoPage::memoryFigure(
                     QStringLiteral(" Total system memory: "), 2147483648.0 / 1024, QStringLiteral(",")),
            QStringLiteral(" Total system memory: 2,097,152 KByte"));
        QCOMPARE(pages::SystemInfoPage::memoryFigure(QString(), 1536.0 / 1024, QStringLiteral(".")),
            QStringLiteral("2 KByte"));
        QCOMPARE(pages::SystemInfoPage::memoryFigure(QString(), 999999.5, QStringLiteral("\u202f")),
            QStringLiteral("1\u202f000\u202f000 KByte"));

        ShellFixture fixture;
        started(fixture);
        // The list leaves out its last process: another one comes after.
        for (const QString& name : {QStringLiteral("vkgood.exe"), QStringLiteral("vklater.exe")}) {
            fixture.folder.installCompanion(name, {QStringLiteral("stay")});
            fixture.session->companions.shellStart(name);
            QVERIFY(waitUntil([&] { return fixture.session->companions.isRunning(name); }));
        }
        QCOMPARE(fixture.session->state.memoryWord, QStringLiteral(" memory"));
        auto& page = fixture.open<pages::SystemInfoPage>(Target::SystemInfo);
        const auto* model = page.processList->model();
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral(" memory"));
        const auto rows = model->match(model->index(0, 1), Qt::DisplayRole, QStringLiteral("vkgood.exe"));
        QCOMPARE(rows.size(), 1);
        QVERIFY(model->index(rows[0].row(), 2).data().toULongLong() > 0);
        QCOMPARE(model->index(rows[0].row(), 0).data().toInt(), rows[0].row() + 1);
        QVERIFY(page.totalMemoryLabel->text().startsWith(QStringLiteral(" Total system memory: ")));
        QVERIFY(page.memoryLossLabel->text().startsWith(QStringLiteral(" Memory Loss: ")));
        QVERIFY(page.memoryLossLabel->text().endsWith(QStringLiteral(" KByte")));
    }

#ifdef Q_OS_LINUX
    // The user's folders, desktop entries and trash as Linux keeps them; the Windows backend's are driven by
    // tst_platform_windows.
    void cleanDeletesOnlyTheListedFilesAndIndexDat()
    {
        const QString downloads = home(QStringLiteral("Downloads"));
        const QString outside = home(QStringLiteral("outside.txt"));
        write(outside, "keep");
        for (const char* name : {"a.exe", "b c.zip", ".hidden", "index.dat", "sub/inner.txt"})
            write(downloads + QLatin1Char('/') + QLatin1String(name), "x");
        QVERIFY(QFile::link(outside, downloads + QStringLiteral("/link.txt")));
        const QString other = home(QStringLiteral("other"));
        write(other + QStringLiteral("/index.dat"), "x");
        write(other + QStringLiteral("/.cache"), "x");

        ShellFixture fixture;
        started(fixture);
        auto& page = fixture.open<pages::CleanupPage>(Target::Cleanup);
        QCOMPARE(page.rightFiles->folder(), downloads);
        const QStringList listed {QStringLiteral("a.exe"), QStringLiteral("b c.zip"), QStringLiteral("index.dat")};
        QCOMPARE(page.rightFiles->names(), listed);
        QVERIFY(page.leftFiles->folder().isEmpty()); // no cookies folder here

        page.cleanRightButton->click(); // No
        QCOMPARE(QDir(downloads).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 5);
        fixture.answer = true;
        page.cleanRightButton->click();
        QCOMPARE(QDir(downloads).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            (QStringList {QStringLiteral(".hidden"), QStringLiteral("link.txt"), QStringLiteral("sub")}));
        QVERIFY(QFile::exists(outside) && QFile::exists(downloads + QStringLiteral("/sub/inner.txt")));
        QCOMPARE(page.rightFiles->names(), listed); // until read again

        pages::selectFolder(page.leftTree, other);
        page.showLeftFolder();
        QCOMPARE(page.leftFiles->names(), QStringList {QStringLiteral("index.dat")});
        page.cleanLeftButton->click();
        QCOMPARE(QDir(other).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral(".cache")});
        for (int i = 0; i < 2100; ++i) // more than one batch of deletions
            write(other + QStringLiteral("/n%1").arg(i), "x");
        page.showLeftFolder();
        page.cleanLeftButton->click();
        QCOMPARE(QDir(other).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral(".cache")});
        // A folder gone from under the list: nothing to delete, nothing else touched.
        QVERIFY(QDir(other).removeRecursively());
        page.cleanLeftButton->click();
        QVERIFY(QFile::exists(outside));

        // No downloads folder: the list shows no folder at all, so a clear
        // can reach nothing, least of all the root of the program's volume.
        QVERIFY(QDir(downloads).removeRecursively());
        fixture.questions.clear();
        auto& again = fixture.open<pages::CleanupPage>(Target::Cleanup);
        QVERIFY(again.rightFiles->folder().isEmpty() && again.rightFiles->names().isEmpty());
        again.cleanRightButton->click();
        QVERIFY(fixture.questions.isEmpty());
    }

    void shortcutsAutostartAndTrash()
    {
        const QString desktop = home(QStringLiteral("Desktop/"));
        write(desktop + QStringLiteral("gone.desktop"), application(QStringLiteral("/opt/gone/run --x")));
        write(desktop + QStringLiteral("shell.desktop"), application(QStringLiteral("sh -c true")));
        write(desktop + QStringLiteral("notes.txt"), "not a shortcut");
        QVERIFY(QFile::link(home(QStringLiteral("nowhere")), desktop + QStringLiteral("dangling")));
        QVERIFY(QFile::link(QStringLiteral("/"), desktop + QStringLiteral("root")));
        const QString autostart = home(QStringLiteral(".config/autostart/"));
        const QString agent = home(QStringLiteral("agent"));
        write(agent, "#!/bin/sh\n");
        write(autostart + QStringLiteral("agent.desktop"), application(agent + QStringLiteral(" /autoRun")));
        write(autostart + QStringLiteral("dead.desktop"), application(QStringLiteral("/opt/dead/agent /autoRun")));
        write(autostart + QStringLiteral("empty.desktop"), application(QString()));
        write(autostart + QStringLiteral("Corvatek.desktop"), application(QStringLiteral("/opt/moved/corvatek")));
        const QString trash = home(QStringLiteral("trash/"));
        write(trash + QStringLiteral("files/old.doc"), "x");
        write(trash + QStringLiteral("info/old.doc.trashinfo"), "[Trash Info]\nPath=/x/old.doc\n");

        ShellFixture fixture;
        fixture.trashFolders = {trash.toStdString()};
        started(fixture);
        auto& page = fixture.open<pages::ShortcutsPage>(Target::Shortcuts);
        for (QCheckBox* box : {page.brokenShortcutsBox, page.autostartEntriesBox, page.emptyTrashBox})
            box->setChecked(true);
        page.findButton->click();
        QCOMPARE(page.broken->texts(), (QStringList {QStringLiteral("dangling"), QStringLiteral("gone.desktop")}));
        QCOMPARE(QDir(autostart).entryList(QDir::Files),
            (QStringList {
                QStringLiteral("agent.desktop"), QStringLiteral("Corvatek.desktop"), QStringLiteral("empty.desktop")}));

        page.brokenShortcutsBox->click(); // off: a new analysis leaves the list
        QFile::remove(agent);
        page.findButton->click();
        QCOMPARE(page.broken->rowCount(), 2);
        QVERIFY(!QFile::exists(autostart + QStringLiteral("agent.desktop")));

        page.broken->setChecked(0, true); // "dangling" stays
        page.deleteButton->click(); // No
        QVERIFY(QFile::exists(desktop + QStringLiteral("gone.desktop")));
        fixture.answer = true;
        page.deleteButton->click();
        QCOMPARE(QDir(desktop).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
            (QStringList {QStringLiteral("dangling"), QStringLiteral("notes.txt"), QStringLiteral("root"),
                QStringLiteral("shell.desktop")}));
        QVERIFY(QDir(trash + QStringLiteral("files")).isEmpty() && QDir(trash + QStringLiteral("info")).isEmpty());
    }
#endif
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
