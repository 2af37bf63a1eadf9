#include "pages/tools/linkspage.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "shell/navigationlist.h"
#include "shellfixture.h"

#include <QFileInfo>
#include <QListView>
#include <QScopeGuard>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QThread>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

using namespace corvatek;
using namespace corvatek::data;
using corvatek::test::ShellFixture;
using corvatek::test::waitUntil;

namespace {

void writeTable(const QString& folder, const QString& fileName, int fields, const QList<QStringList>& rows)
{
    QList<FieldDef> defs;
    for (int n = 1; n <= fields; ++n)
        defs.append({fieldName(n), 200});
    Table table(defs);
    for (const QStringList& row : rows)
        table.appendRow(row);
    QVERIFY(ProgramFiles(folder).saveTable(fileName, table).ok());
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void firstStartCreatesTheFilesAndLaterStartsKeepOrReset()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.start();
        const auto& folder = fixture.folder;
        for (const char* empty : {"spam.txt", "anaviri.txt", "portappli.txt", "viri.txt"}) {
            QVERIFY2(folder.exists(QString::fromLatin1(empty)), empty);
            QCOMPARE(folder.read(QString::fromLatin1(empty)), QByteArray());
        }
        QCOMPARE(folder.read(QStringLiteral("mode.txt")), QByteArray("0\r\n"));
        QCOMPARE(folder.read(QStringLiteral("track.txt")), QByteArray("2\r\n"));
        QCOMPARE(folder.read(QStringLiteral("firewall.txt")), QByteArray("2\r\n"));
        QCOMPARE(folder.read(QStringLiteral("ctrlpl.txt")), QByteArray("0\r\n"));
        for (const TableId id : kAllTables)
            QCOMPARE(test::tableRows(folder.path(), id), schemaOf(id).defaultRows);
        const auto& state = fixture.window->state();
        QCOMPARE(state.firewall, FirewallMode::Off);
        QVERIFY(!state.firewallOn() && !state.siteControlFlag && state.internetFlag && state.hourlyScanFlag);
        QVERIFY(fixture.reports.isEmpty() && fixture.window->startupProblems().isEmpty());
        // The flags are what the file just written holds.
        for (int n = 1; n <= 12; ++n)
            QVERIFY(state.configurationFlag(n));
        QCOMPARE(state.caption(Caption::Home), QStringLiteral("Accueil"));
        QCOMPARE(state.startTime, fixture.now);
        // Centred by its outer size before it is first shown.
        const QRect screen = fixture.window->screen()->geometry();
        QCOMPARE(fixture.window->pos(), QPoint(screen.width() / 2 - 802 / 2, screen.height() / 2 - 519 / 2));
        fixture.stop();

        folder.write(QStringLiteral("spam.txt"), "a@b\r\n");
        folder.write(QStringLiteral("mode.txt"), "1\r\n");
        folder.write(QStringLiteral("anaviri.txt"), "report\r\n");
        folder.write(QStringLiteral("viri.txt"), "virus\r\n");
        folder.write(QStringLiteral("portappli.txt"), "8080\r\n");
        folder.write(QStringLiteral("track.txt"), "3\r\n");
        fixture.start();
        for (int n = 1; n <= 12; ++n)
            QVERIFY(fixture.window->state().configurationFlag(n));
        QCOMPARE(folder.read(QStringLiteral("spam.txt")), QByteArray("a@b\r\n"));
        QCOMPARE(folder.read(QStringLiteral("mode.txt")), QByteArray("1\r\n"));
        QCOMPARE(folder.read(QStringLiteral("anaviri.txt")), QByteArray("report\r\n"));
        QCOMPARE(folder.read(QStringLiteral("viri.txt")), QByteArray());
        QCOMPARE(folder.read(QStringLiteral("portappli.txt")), QByteArray());
        QCOMPARE(folder.read(QStringLiteral("track.txt")), QByteArray("2\r\n"));
        QCOMPARE(fixture.window->levelSlider->value(), 2);
        QCOMPARE(fixture.window->state().protectionLevel, ProtectionLevel::Normal);
    }

    // An installed copy: its files in the user's folder, what ships (the
    // language and links files, the companions) beside the executable, a
    // copy in the user's folder first.
    void anInstalledCopyFindsWhatShipsBesideItsExecutable()
    {
        test::TestFolder installed;
        ShellFixture fixture;
        fixture.installFolder = installed.path();
        installed.installShippedFiles();
        installed.installCompanion(QStringLiteral("vkguard.exe"), {QStringLiteral("stay")});
        installed.installCompanion(QStringLiteral("vkprobe.exe"), {QStringLiteral("stay")});
        fixture.folder.installCompanion(QStringLiteral("vkprobe.exe"), {QStringLiteral("stay")});
        fixture.start();

        QCOMPARE(fixture.window->state().caption(Caption::Home), QStringLiteral("Accueil"));
        QVERIFY(fixture.reports.isEmpty() && fixture.window->startupProblems().isEmpty());
        for (const TableId id : kAllTables) {
            QVERIFY(fixture.folder.exists(schemaOf(id).fileName));
            QVERIFY(!installed.exists(schemaOf(id).fileName));
        }
        QVERIFY(waitUntil([&] { return installed.runningNames() == QStringList {"vkguard.exe"}; }));
        fixture.session->companions.consoleStart(QStringLiteral("vkprobe.exe 0"));
        QVERIFY(waitUntil([&] { return fixture.folder.runningNames() == QStringList {"vkprobe.exe"}; }));
        QCOMPARE(installed.runningNames(), QStringList {"vkguard.exe"});
        auto& links = fixture.open<pages::LinksPage>(shell::Target::Links);
        QVERIFY(links.linkList->model()->rowCount() > 0);
        fixture.stop();
    }

    void aFirstStartSpeaksTheUserLanguage_data()
    {
        QTest::addColumn<QByteArray>("all");
        QTest::addColumn<QByteArray>("messages");
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QByteArray>("languages");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("yes");
        QTest::newRow("LANG") << QByteArray() << QByteArray() << QByteArray("de_DE.UTF-8") << QByteArray() << "DE" << "&Ja";
        QTest::newRow("LC_MESSAGES before LANG")
            << QByteArray() << QByteArray("it_IT@euro") << QByteArray("de_DE") << QByteArray() << "ITA" << "&S\u00ec";
        QTest::newRow("LC_ALL first") << QByteArray("es_ES") << QByteArray("it_IT") << QByteArray("de_DE") << QByteArray()
                                      << "ESP" << "&S\u00ed";
        QTest::newRow("C locale") << QByteArray("C") << QByteArray() << QByteArray("de_DE") << QByteArray() << "FR"
                                  << "&Oui";
        QTest::newRow("not ours") << QByteArray() << QByteArray() << QByteArray("pt_BR.UTF-8") << QByteArray() << "FR"
                                  << "&Oui";
        QTest::newRow("English") << QByteArray() << QByteArray() << QByteArray("en_GB.UTF-8") << QByteArray() << "GB"
                                 << "&Yes";
        QTest::newRow("LANGUAGE's first of ours") << QByteArray() << QByteArray() << QByteArray("en_US.UTF-8")
                                                  << QByteArray("pt:de:en") << "DE" << "&Ja";
        QTest::newRow("LANGUAGE under C") << QByteArray() << QByteArray() << QByteArray("C") << QByteArray("de:en")
                                          << "FR" << "&Oui";
    }

    // The first of LC_ALL, LC_MESSAGES and LANG that is set names the first
    // start's language, unless LANGUAGE lists one of ours first (it counts
    // where that locale is not C); a language not ours, or none, gives
    // French. The toolkit's own texts follow.
    void aFirstStartSpeaksTheUserLanguage()
    {
        QFETCH(QByteArray, all);
        QFETCH(QByteArray, messages);
        QFETCH(QByteArray, lang);
        QFETCH(QByteArray, languages);
        QFETCH(QString, code);
        QFETCH(QString, yes);
        const auto restore = qScopeGuard([] {
            qputenv("LC_ALL", "");
            qputenv("LC_MESSAGES", "");
            qputenv("LANG", "C.UTF-8");
            qputenv("LANGUAGE", "");
        });
        qputenv("LC_ALL", all);
        qputenv("LC_MESSAGES", messages);
        qputenv("LANG", lang);
        qputenv("LANGUAGE", languages);
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.start();
        QCOMPARE(test::tableRows(fixture.folder.path(), TableId::Languages), QList<QStringList>({{code}}));
        QCOMPARE(fixture.window->state().languageCode, code);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), yes);
    }

    void settingsFilesAreReadAsTheyCome_data()
    {
        QTest::addColumn<QByteArray>("firewall");
        QTest::addColumn<std::optional<FirewallMode>>("mode");
        QTest::addColumn<bool>("on");
        QTest::newRow("always") << QByteArray("3\r\n") << std::optional(FirewallMode::Always) << true;
        QTest::newRow("unknown value") << QByteArray("7\r\n") << std::optional<FirewallMode>() << false;
        QTest::newRow("first line") << QByteArray("1\n2\n") << std::optional(FirewallMode::On) << true;
        QTest::newRow("empty") << QByteArray() << std::optional(FirewallMode::Off) << false;
    }

    void settingsFilesAreReadAsTheyCome()
    {
        QFETCH(QByteArray, firewall);
        QFETCH(std::optional<FirewallMode>, mode);
        QFETCH(bool, on);
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.folder.write(QStringLiteral("firewall.txt"), firewall);
        fixture.folder.write(QStringLiteral("ctrlpl.txt"), firewall.isEmpty() ? "" : "x\r\n");
        fixture.start();
        QVERIFY(fixture.window->state().firewall == mode);
        QCOMPARE(fixture.window->state().firewallOn(), on);
        // An empty file counts as missing: written with the default.
        if (firewall.isEmpty()) {
            QCOMPARE(fixture.folder.read(QStringLiteral("firewall.txt")), QByteArray("2\r\n"));
            QCOMPARE(fixture.folder.read(QStringLiteral("ctrlpl.txt")), QByteArray("0\r\n"));
            QVERIFY(!fixture.window->state().siteControlFlag);
        } else {
            QVERIFY(fixture.window->state().siteControlFlag);
        }
    }

    void aLanguageCodeWithBlanksIsKeptButMatchesNoLanguage()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral(" GB"));
        const QByteArray before = fixture.folder.read(QStringLiteral("langues.xml"));
        fixture.start();
        QCOMPARE(fixture.folder.read(QStringLiteral("langues.xml")), before);
        QCOMPARE(fixture.window->state().languageCode, QStringLiteral(" GB"));
        QCOMPARE(fixture.window->navigationList->count(), 22);
        for (int row = 0; row < 22; ++row)
            QCOMPARE(fixture.window->navigationList->text(row), QString());

        ShellFixture other;
        other.installLanguageFiles();
        other.setLanguage(QStringLiteral("XX"));
        other.start();
        QCOMPARE(
            test::tableRows(other.folder.path(), TableId::Languages), (QList<QStringList> {{QStringLiteral("FR")}}));
        QCOMPARE(other.window->state().caption(Caption::Home), QStringLiteral("Accueil"));
    }

    // Unreadable tables are kept aside and replaced by their defaults, and
    // the user hears once which file, where it went, and what is used.
    void aBrokenConfigurationIsKeptAsideAndRecreated()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.folder.write(QStringLiteral("configuration.xml"), "\x00\x01garbage");
        fixture.folder.write(QStringLiteral("regles.xml"), "");
        fixture.start();
        QVERIFY(fixture.folder.exists(QStringLiteral("configuration.xml.unreadable-20261207-101530")));
        const QStringList& told = fixture.window->startupProblems();
        QCOMPARE(told.size(), 2);
        for (const char* file : {"configuration.xml", "regles.xml"}) {
            const QString aside =
                fixture.folder.file(QString::fromLatin1(file)) + QStringLiteral(".unreadable-20261207-101530");
            // In the language stored at the first start: French.
            QCOMPARE(told.filter(aside + QStringLiteral(", et ses valeurs par défaut sont utilisées.")).size(), 1);
        }
        QCOMPARE(test::tableRows(fixture.folder.path(), TableId::Configuration),
            schemaOf(TableId::Configuration).defaultRows);
        for (int n = 1; n <= 12; ++n)
            QVERIFY(fixture.window->state().configurationFlag(n));
    }

    void aConfigurationWithEightFieldsIsReplacedAndFollowed()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        writeTable(
            fixture.folder.path(), QStringLiteral("configuration.xml"), 8, {{"1", "0", "1", "x", "1", "", "1", "1"}});
        fixture.start();
        for (int n = 1; n <= 12; ++n)
            QVERIFY(fixture.window->state().configurationFlag(n));
        QCOMPARE(test::tableRows(fixture.folder.path(), TableId::Configuration),
            schemaOf(TableId::Configuration).defaultRows);
        // What the file held is kept aside, not lost.
        const QString aside = QStringLiteral("configuration.xml.unreadable-20261207-101530");
        QVERIFY(fixture.folder.read(aside).contains("Champ8=\"1\""));
    }

    void aLanguageTableWithoutItsFieldIsKeptAsideAndRecreated()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        writeTable(
            fixture.folder.path(), QStringLiteral("configuration.xml"), 12, {QStringList(12, QStringLiteral("1"))});
        QList<FieldDef> other {{QStringLiteral("Code"), 200}};
        Table table(other);
        table.appendRow({QStringLiteral("GB")});
        QVERIFY(ProgramFiles(fixture.folder.path()).saveTable(u"langues.xml", table).ok());
        fixture.start();
        QVERIFY(fixture.folder.read(QStringLiteral("langues.xml.unreadable-20261207-101530")).contains("Code=\"GB\""));
        QCOMPARE(
            test::tableRows(fixture.folder.path(), TableId::Languages), (QList<QStringList> {{QStringLiteral("FR")}}));
        QCOMPARE(fixture.window->state().languageCode, QStringLiteral("FR"));
        QCOMPARE(fixture.window->startupProblems().size(), 1);
        QVERIFY(fixture.window->startupProblems().first().contains(QStringLiteral("n'a pas de champ Champ1")));
    }

    // A companion's extra field, and a raw NUL a companion wrote, survive
    // the clean-up and the next start.
    void quarantineKeepsTheFirstFormOfEachName()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        writeTable(fixture.folder.path(), QStringLiteral("quarantaines.xml"), 2,
            {{"Bad.exe", "a"}, {"other.exe", "b"}, {"BAD.EXE", "c"}, {"bad.exe ", "d"}, {"Other.exe", "e"}});
        QByteArray bytes = fixture.folder.read(QStringLiteral("quarantaines.xml"));
        bytes.replace("Champ2=\"b\"", QByteArray("Champ2=\"b\0\"", 11));
        fixture.folder.write(QStringLiteral("quarantaines.xml"), bytes);
        const QList<QStringList> kept {
            {"Bad.exe", "a"}, {"other.exe", QStringLiteral("b") + QChar(0)}, {"bad.exe ", "d"}};
        fixture.start();
        QCOMPARE(test::tableRows(fixture.folder.path(), TableId::Quarantine), kept);
        fixture.stop();
        fixture.start();
        QCOMPARE(test::tableRows(fixture.folder.path(), TableId::Quarantine), kept);
        QVERIFY(fixture.window->startupProblems().isEmpty());
    }

    // A file wait keeps the window painted, so timer events flow through it:
    // none may run the monitor inside start-up or a page build.
    void theMonitorNeverTicksInsideStartUpOrAPageBuild()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.folder.installCompanion(QStringLiteral("vkmail.exe"), {QStringLiteral("exit")});
        fixture.folder.write(QStringLiteral("viri.txt"), "old\r\n");
        int holds = 0;
        // vkhost.exe is not stopped at start; it holds viri.txt past one tick.
        const auto holdViruses = [&] {
            fixture.folder.installCompanion(
                QStringLiteral("vkhost.exe"), {QStringLiteral("lock viri.txt 1800"), QStringLiteral("exit")});
            QVERIFY(platform::startDetached(fixture.folder.file(QStringLiteral("vkhost.exe")).toStdString(), {}));
            ++holds;
            QVERIFY(waitUntil(
                [&] { return fixture.folder.journalLines().count(QStringLiteral("locked viri.txt")) == holds; }));
        };
        const auto mailStarts = [&] {
            QThread::msleep(300); // a companion started just now journals its start
            int count = 0;
            for (const auto& start : fixture.folder.starts())
                count += start.name == QStringLiteral("vkmail.exe") ? 1 : 0;
            return count;
        };
        holdViruses();
        fixture.start();
        QVERIFY(fixture.folder.journalLines().contains(QStringLiteral("unlocked viri.txt")));
        QCOMPARE(mailStarts(), 0);
        holdViruses();
        fixture.clickItem(0); // the first tick falls due while the page waits
        QCOMPARE(mailStarts(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(mailStarts() > 0, 5000);
    }

    // Companions that start-up leaves running hold the language, the
    // settings and the detections past the wait: the user is told once, and
    // each is taken up at the first tick on which it is free.
    void filesBusyAtStartAreToldAndReadAgainOnceFree()
    {
        ShellFixture fixture;
        fixture.fileWait = std::chrono::milliseconds(200);
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        writeTable(
            fixture.folder.path(), QStringLiteral("configuration.xml"), 12, {QStringList(12, QStringLiteral("1"))});
        fixture.folder.write(QStringLiteral("viri.txt"), "old\r\n");
        const QList<std::pair<QString, QString>> holders {
            {"vkhost.exe", "langues.xml"}, {"vknotify.exe", "configuration.xml"}, {"vkprobe.exe", "viri.txt"}};
        for (const auto& [name, file] : holders) {
            fixture.folder.installCompanion(name, {QStringLiteral("lock %1 -1").arg(file)});
            QVERIFY(platform::startDetached(fixture.folder.file(name).toStdString(), {}));
        }
        QVERIFY(waitUntil([&] { return fixture.folder.journalLines().filter(QStringLiteral("locked")).size() == 3; }));

        auto& window = fixture.start();
        const auto& state = window.state();
        QCOMPARE(state.caption(Caption::Home), QStringLiteral("Accueil"));
        QVERIFY(!state.configurationFlag(7));
        QCOMPARE(window.startupProblems().size(), 3);
        for (const auto& holder : holders)
            QCOMPARE(window.startupProblems().filter(holder.second).size(), 1);
        window.onMonitorTimer(); // still held
        QCOMPARE(state.caption(Caption::Home), QStringLiteral("Accueil"));

        for (const auto& holder : holders) {
            QVERIFY(platform::terminateByName(holder.first.toStdString()));
            const std::string path = fixture.folder.file(holder.second).toStdString();
            QVERIFY(waitUntil([&] { return !platform::fileInUse(path, platform::LockMode::Write); }));
        }
        // Untouched while held; a detection that arrives before the next
        // look is kept.
        QCOMPARE(fixture.folder.read(QStringLiteral("viri.txt")), QByteArray("old\r\n"));
        fixture.folder.write(QStringLiteral("viri.txt"), "old\r\nnew\r\n");
        window.onMonitorTimer();
        QCOMPARE(state.languageCode, QStringLiteral("GB"));
        QCOMPARE(window.navigationList->text(0), state.caption(Caption::Home));
        QVERIFY(state.caption(Caption::Home) != QStringLiteral("Accueil"));
        for (int n = 1; n <= 12; ++n)
            QVERIFY(state.configurationFlag(n));
#ifdef Q_OS_WIN
        // Held without sharing, it could not be read at start: nothing tells
        // what was there before, so nothing is taken away.
        QCOMPARE(fixture.folder.read(QStringLiteral("viri.txt")), QByteArray("old\r\nnew\r\n"));
#else
        QCOMPARE(fixture.folder.read(QStringLiteral("viri.txt")), QByteArray("new\r\n"));
#endif
    }

    // Files the user made read-only are read as they are and never replaced;
    // the quarantine they hold is enforced.
    void readOnlyFilesAreReadAndTheirQuarantineEnforced()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        QStringList flags(12, QStringLiteral("1"));
        flags[6] = QStringLiteral("0");
        writeTable(fixture.folder.path(), QStringLiteral("configuration.xml"), 12, {flags});
        writeTable(fixture.folder.path(), QStringLiteral("quarantaines.xml"), 1, {{"bad.exe"}, {"BAD.EXE"}});
        const QByteArray quarantine = fixture.folder.read(QStringLiteral("quarantaines.xml"));
        for (const char* file : {"langues.xml", "configuration.xml", "quarantaines.xml"})
            test::makeReadOnly(fixture.folder.file(QString::fromLatin1(file)));
        fixture.folder.installCompanion(QStringLiteral("bad.exe"));
        QVERIFY(platform::startDetached(fixture.folder.file(QStringLiteral("bad.exe")).toStdString(), {}));
        QVERIFY(waitUntil([] { return platform::isRunning("bad.exe"); }));

        const test::OrdinaryUserFileAccess ordinaryUser;
        auto& window = fixture.start();
        QCOMPARE(window.state().languageCode, QStringLiteral("GB"));
        for (int n = 1; n <= 12; ++n)
            QCOMPARE(window.state().configurationFlag(n), n != 7);
        // The duplicate stays, and the user hears why.
        QCOMPARE(fixture.folder.read(QStringLiteral("quarantaines.xml")), quarantine);
        QVERIFY(window.startupProblems()
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral("quarantaines.xml could not be opened for writing")));
        window.onMonitorTimer();
        QVERIFY(waitUntil([] { return !platform::isRunning("bad.exe"); }));
    }

    void leftoverCompanionsStopAndTheGuardStarts()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        const QStringList leftovers {"vkcheck.exe", "vkguard.exe", "vksites.exe", "vkwall.exe", "vkmail.exe",
            "vksave.exe", "vkupdate.exe", "vkreach.exe"};
        const QStringList spared {"vkprobe.exe", "vkhost.exe"};
        for (const QString& name : leftovers + spared) {
            fixture.folder.installCompanion(name);
            QVERIFY(platform::startDetached(fixture.folder.file(name).toStdString(), {}));
        }
        QVERIFY(waitUntil([&] { return fixture.folder.starts().size() == 10; }));
        const auto before = fixture.folder.starts();
        fixture.start();

        QVERIFY(waitUntil([&] { return fixture.folder.starts().size() == 12; }));
        // Started in this order, so with ids in this order.
        auto starts = fixture.folder.starts().mid(10);
#ifdef Q_OS_WIN
        // Windows hands process ids out in no order: which two, not in what order.
        std::sort(starts.begin(), starts.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
#else
        std::sort(starts.begin(), starts.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
#endif
        QCOMPARE(starts[0].name, QStringLiteral("vkguard.exe"));
        QCOMPARE(starts[1].name, QStringLiteral("vkreach.exe"));
        QVERIFY(starts[0].arguments.isEmpty() && starts[1].arguments.isEmpty());
        QList<int> expected {starts[0].pid, starts[1].pid};
        for (const auto& start : before) {
            if (spared.contains(start.name))
                expected.append(start.pid);
        }
        std::sort(expected.begin(), expected.end());
        QList<int> running;
        const bool settled = waitUntil([&] {
            running = fixture.folder.processes();
            std::sort(running.begin(), running.end());
            return running == expected;
        });
        QVERIFY2(settled,
            qPrintable(QStringLiteral("%1 running, %2 expected")
                           .arg(QString::number(running.size()), QString::number(expected.size()))));
    }

#ifdef Q_OS_LINUX
    // Named pipes and devices are Linux's.
    // Pipes and devices in place of the files start-up reads: the window
    // comes, each is told, and what start-up writes anyway becomes a file.
    void pipesAndDevicesNeitherHoldNorBreakTheStart()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        const auto fifo = [&](const char* name) {
            QFile::remove(fixture.folder.file(QString::fromLatin1(name)));
            QVERIFY(::mkfifo(fixture.folder.file(QString::fromLatin1(name)).toLocal8Bit().constData(), 0600) == 0);
        };
        fifo("crvtk_fr.txt");
        fifo("viri.txt");
        fifo("ctrlpl.txt");
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), fixture.folder.file(QStringLiteral("firewall.txt"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), fixture.folder.file(QStringLiteral("portappli.txt"))));
        fixture.start();
        const QString told = fixture.window->startupProblems().join(QLatin1Char('\n'));
        QVERIFY2(told.contains(QStringLiteral("crvtk_fr.txt est un tube")), qPrintable(told));
        QVERIFY(told.contains(QStringLiteral("firewall.txt is a device")));
        // Once the language is known (French, stored at the first start),
        // what the files meet is told in it.
        QVERIFY2(told.contains(QStringLiteral("ctrlpl.txt est un tube, pas un fichier")), qPrintable(told));
        QCOMPARE(fixture.window->state().firewall, FirewallMode::Off);
        for (const char* name : {"viri.txt", "ctrlpl.txt", "firewall.txt", "portappli.txt"}) {
            const QFileInfo written(fixture.folder.file(QString::fromLatin1(name)));
            QVERIFY2(written.isFile() && !written.isSymLink(), name);
        }
        QCOMPARE(fixture.folder.read(QStringLiteral("firewall.txt")), QByteArray("2\r\n"));
    }
#endif
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
