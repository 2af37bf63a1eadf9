#include "supervision/statusmonitor.h"
#include "pages/protection/guardoptionspage.h"
#include "pages/protection/modificationspage.h"
#include "pages/protection/networkoptionspage.h"
#include "pages/security/sitespage.h"
#include "pages/tools/cleanuppage.h"
#include "pages/tools/shortcutspage.h"
#include "platform/files.h"
#include "shellfixture.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

using namespace corvatek;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;
using corvatek::test::waitUntil;

namespace {

const QString kGuard = QStringLiteral("vkguard.exe");

// configuration.xml with these field values, Champ1 first.
void writeConfiguration(const ShellFixture& fixture, const QString& flags, int fields = 12)
{
    QList<data::FieldDef> defs;
    QStringList values;
    for (int n = 1; n <= fields; ++n) {
        defs.append({data::fieldName(n), 1});
        values.append(flags.mid(n - 1, 1));
    }
    data::Table table(defs);
    table.appendRow(values);
    QVERIFY(data::ProgramFiles(fixture.folder.path()).saveTable(data::TableId::Configuration, table).ok());
}

QString savedConfiguration(const ShellFixture& fixture)
{
    const data::TableLoad load = data::ProgramFiles(fixture.folder.path()).loadTable(data::TableId::Configuration);
    QString flags;
    for (int n = 1; n <= load.table.fields().size(); ++n)
        flags += load.table.value(0, load.table.fieldIndex(data::fieldName(n)));
    return load.table.rowCount() == 1 ? flags : QStringLiteral("rows: %1").arg(load.table.rowCount());
}

int starts(const ShellFixture& fixture, const QString& name)
{
    return int(fixture.folder.argumentsOf(name).size());
}

// Waits until `name` has been started `count` times and exactly one runs.
bool guardRestarted(const ShellFixture& fixture, int count)
{
    return waitUntil(
        [&] { return starts(fixture, kGuard) == count && fixture.folder.runningNames().count(kGuard) == 1; });
}

// Counts the saves of a file: each replaces it by a rename into the folder.
class SaveCounter {
public:
    SaveCounter(const QString& folder, const char* name) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), name_(name)
    {
        ::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_MOVED_FROM | IN_MOVED_TO);
    }
    ~SaveCounter() { ::close(fd_); }
    int count() const
    {
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                // Watching the temporary files' moves too keeps the kernel
                // from merging two saves into one event.
                count_ += (event->mask & IN_MOVED_TO) && std::strcmp(event->name, name_) == 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return count_;
    }

private:
    int fd_;
    const char* name_;
    mutable int count_ = 0;
};

void prepare(ShellFixture& fixture, const QString& flags)
{
    fixture.installLanguageFiles();
    fixture.setLanguage(QStringLiteral("GB"));
    fixture.folder.installCompanion(kGuard);
    fixture.folder.installCompanion(QStringLiteral("vknotify.exe"), {QStringLiteral("exit")});
    writeConfiguration(fixture, flags);
    fixture.start();
    QVERIFY(guardRestarted(fixture, 1)); // started once at start-up
}

} // namespace

class TestOptions : public QObject {
    Q_OBJECT

private slots:
    void theFamilySavesEveryFlagAndRestartsTheGuard()
    {
        ShellFixture fixture;
        prepare(fixture, QStringLiteral("011111110111"));
        auto& guard = fixture.open<pages::GuardOptionsPage>(Target::GuardOptions);
        // Each box shows its flag, and the build saves nothing.
        QVERIFY(guard.scanOnOpenBox->isChecked() && !guard.scanOnWriteBox->isChecked() &&
            guard.scanDownloadsBox->isChecked());
        QCOMPARE(guard.scanOnWriteBox->text(), fixture.window->state().caption(Caption::ScanOnWrite));
        QVERIFY(guardRestarted(fixture, 1));

        QTest::mouseClick(guard.scanDownloadsBox, Qt::LeftButton, {}, QPoint(4, 8));
        QCOMPARE(savedConfiguration(fixture), QStringLiteral("001111110111"));
        QVERIFY(guardRestarted(fixture, 2));
        QTest::mouseClick(guard.scanOnWriteBox, Qt::LeftButton, {}, QPoint(4, 8));
        QCOMPARE(savedConfiguration(fixture), QStringLiteral("101111110111"));
        QVERIFY(guardRestarted(fixture, 3));

        // A table the record cannot be written into: told above level 1 only,
        // the file left as it was, the guard started all the same.
        writeConfiguration(fixture, QStringLiteral("11111111111"), 11);
        const QByteArray before = fixture.folder.read(QStringLiteral("configuration.xml"));
        fixture.window->levelSlider->setValue(1);
        guard.scanOnOpenBox->click();
        QVERIFY(guardRestarted(fixture, 4));
        // Not saved, so not in force: flag and box as they were.
        QVERIFY(guard.scanOnOpenBox->isChecked() && fixture.window->state().configurationFlag(8));
        fixture.window->levelSlider->setValue(2);
        guard.scanOnOpenBox->click();
        QVERIFY(guardRestarted(fixture, 5));
        QVERIFY(waitUntil([&] { return starts(fixture, QStringLiteral("vknotify.exe")) == 1; }));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vknotify.exe")).last(),
            QStringList {QStringLiteral("erreur;configuration;checkb")});
        QCOMPARE(fixture.folder.read(QStringLiteral("configuration.xml")), before);
        QVERIFY(fixture.reports.isEmpty());

        // No file at all: the user is told, and the guard does not stay down.
        QVERIFY(QFile::remove(fixture.folder.file(QStringLiteral("configuration.xml"))));
        guard.scanOnOpenBox->click();
        QVERIFY(guardRestarted(fixture, 6));
        QCOMPARE(fixture.reports.size(), 1);
        QVERIFY(fixture.reports[0].contains(QStringLiteral("configuration.xml")));
    }

    // A first start writes every setting on: the pages that carry the family
    // then save nothing, one uncheck changes one field, and the network tool
    // hears what the file says.
    void aFirstStartKeepsTheSettingsItWrote()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.folder.installCompanion(kGuard);
        fixture.folder.installCompanion(QStringLiteral("vkwall.exe"));
        fixture.start();
        const SaveCounter saves(fixture.folder.path(), "configuration.xml");
        fixture.open<pages::SitesPage>(Target::Sites);
        fixture.open<pages::ShortcutsPage>(Target::Shortcuts);
        fixture.open<pages::CleanupPage>(Target::Cleanup);
        auto& page = fixture.open<pages::ModificationsPage>(Target::Modifications);
        QCOMPARE(saves.count(), 0);
        QCOMPARE(savedConfiguration(fixture), QStringLiteral("111111111111"));
        page.watchSettingsFilesBox->click();
        QCOMPARE(savedConfiguration(fixture), QStringLiteral("111011111111"));

        fixture.window->levelSlider->setValue(3);
        fixture.window->onMonitorTimer();
        QVERIFY(waitUntil([&] { return starts(fixture, QStringLiteral("vkwall.exe")) == 1; }));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vkwall.exe")).last().value(11), QStringLiteral("1"));
    }

    void theModificationWatchPage()
    {
        ShellFixture fixture;
        prepare(fixture, QStringLiteral("111010111111"));
        fixture.folder.write(QStringLiteral("modprocess.txt"), "vkguard.exe changed\r\nsecond line\r\n");
        fixture.folder.write(QStringLiteral("mode.txt"), "1\r\n");
        fixture.folder.write(QStringLiteral("modules.log"), "not a watch file\r\n");
        const SaveCounter saves(fixture.folder.path(), "configuration.xml");
        auto& page = fixture.open<pages::ModificationsPage>(Target::Modifications);
        // Flags 4 and 6 off: two saves during the build, each restarting the guard.
        // A guard killed by the second save right after the first started it
        // may not have written its start down: count the saves instead.
        QCOMPARE(saves.count(), 2);
        QVERIFY(waitUntil([&] { return fixture.folder.runningNames().count(kGuard) == 1; }));
        QCOMPARE(savedConfiguration(fixture), QStringLiteral("111010111111"));
        QVERIFY(page.watchSystemFilesBox->isChecked() && !page.watchSettingsFilesBox->isChecked());
        QVERIFY(page.watchAutostartBox->isChecked() && !page.watchProcessesBox->isChecked());

        QStringList listed;
        for (int row = 0; row < page.fileList->count(); ++row)
            listed.append(page.fileList->item(row)->text());
        QCOMPARE(listed, (QStringList {QStringLiteral("mode.txt"), QStringLiteral("modprocess.txt")}));

        page.fileList->setCurrentRow(1);
        page.showFileButton->click();
        QCOMPARE(page.contentBox->toPlainText(), QStringLiteral("vkguard.exe changed\nsecond line"));

        // Held by a companion: neither shown nor deleted, and nothing asked.
        fixture.folder.installCompanion(QStringLiteral("vkwatch.exe"), {QStringLiteral("lock modprocess.txt -1")});
        QVERIFY(fixture.session->companions.shellStart(QStringLiteral("vkwatch.exe")));
        QVERIFY(waitUntil(
            [&] { return platform::fileInUse(fixture.folder.file(QStringLiteral("modprocess.txt")).toStdString()); }));
        page.showFileButton->click();
        QCOMPARE(page.contentBox->toPlainText(), QString());
        fixture.answer = true;
        page.deleteFileButton->click();
        QVERIFY(fixture.questions.isEmpty());
        QVERIFY(fixture.folder.exists(QStringLiteral("modprocess.txt")));

        page.fileList->setCurrentRow(0);
        fixture.answer = false;
        page.deleteFileButton->click();
        QVERIFY(fixture.folder.exists(QStringLiteral("mode.txt")));
        fixture.answer = true;
        page.deleteFileButton->click();
        QCOMPARE(fixture.questions, QStringList(2, fixture.window->state().caption(Caption::AreYouSure)));
        QVERIFY(!fixture.folder.exists(QStringLiteral("mode.txt")));
        QCOMPARE(page.fileList->count(), 2); // listed until the page is built again
        page.showFileButton->click();
        QCOMPARE(page.contentBox->toPlainText(), QString());
    }

    void theNetworkOptionsReachTheNetworkTool()
    {
        ShellFixture fixture;
        prepare(fixture, QStringLiteral("111111111111"));
        fixture.folder.installCompanion(QStringLiteral("vkwall.exe"));
        auto& state = fixture.window->state();
        auto* page = &fixture.open<pages::NetworkOptionsPage>(Target::NetworkOptions);
        QVERIFY(state.networkOption11 && !state.networkOption10);
        page->askFirstChoice->click();
        page->stealthModeBox->click();
        QVERIFY(!state.networkOption11 && state.networkOption10);

        page = &fixture.open<pages::NetworkOptionsPage>(Target::NetworkOptions);
        QVERIFY(page->blockUnknownChoice->isChecked() && !page->stealthModeBox->isChecked());
        QVERIFY(state.networkOption11 && state.networkOption10); // flag 10 kept though shown off

        fixture.window->levelSlider->setValue(3);
        fixture.window->onMonitorTimer();
        QVERIFY(waitUntil([&] { return starts(fixture, QStringLiteral("vkwall.exe")) == 1; }));
        const QStringList options = fixture.folder.argumentsOf(QStringLiteral("vkwall.exe")).last();
        QCOMPARE(options.size(), 13);
        QCOMPARE(options[9], QStringLiteral("1"));
        QCOMPARE(options[10], QStringLiteral("1"));
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
