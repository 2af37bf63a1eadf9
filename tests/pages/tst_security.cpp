#include "localisation/timeformat.h"
#include "pages/checklistmodel.h"
#include "pages/security/alertspage.h"
#include "pages/security/quarantinepage.h"
#include "pages/security/rulespage.h"
#include "pages/security/sitespage.h"
#include "shellfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace corvatek;
using corvatek::data::TableId;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;
using corvatek::test::waitUntil;

namespace {

QString at(int day, int hour)
{
    return localisation::shortDateLongTime(QDateTime(QDate(2026, 11, day), QTime(hour, 0)));
}

// A rules or alerts row: Champ1, Champ2, Champ3, Champ4, then Champ5 and Champ9
// that no page shows, and Champ8.
QStringList row(const QString& name, const QString& when, const QString& kind = QStringLiteral("HTTP"))
{
    return {name, when, kind, QStringLiteral("?"), QStringLiteral("kept & \"quoted\""), {}, {},
        QStringLiteral("/usr/bin/") + name.trimmed(), QStringLiteral("x")};
}

QStringList shown(const pages::TableListModel& model, int column)
{
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts.append(model.text(r, column));
    return texts;
}

void click(QTreeView* list, int row)
{
    list->setCurrentIndex(list->model()->index(row, 1));
    emit list->clicked(list->currentIndex());
}

void prepare(ShellFixture& fixture)
{
    fixture.installLanguageFiles();
    fixture.setLanguage(QStringLiteral("GB"));
    fixture.start();
}

} // namespace

class TestSecurity : public QObject {
    Q_OBJECT

private slots:
    // Sorting by date moves numbers with their rows and puts non-dates last
    // in table order; a deletion removes every rule of the program from the
    // file but only the clicked row from the list.
    void rulesAreSortedAndDeletedByProgram()
    {
        ShellFixture fixture;
        const QString notADate = QStringLiteral("yesterday 10.0.0.7");
        fixture.writeTable(TableId::Rules,
            {row(QStringLiteral("a.exe"), at(9, 8)), row(QStringLiteral("z.exe"), notADate),
                row(QStringLiteral("b.exe"), at(2, 23)), row({}, at(1, 1)), row(QStringLiteral("a.exe"), at(2, 7)),
                row(QStringLiteral("y.exe"), QString(1000, QLatin1Char('\x01')))});
        prepare(fixture);
        auto& page = fixture.open<pages::RulesPage>(Target::Rules);
        auto& rules = *page.rows();
        QCOMPARE(shown(rules, 0), QStringList({"1", "2", "3", "4", "5", "6"}));
        QCOMPARE(rules.text(0, 4), fixture.window->state().caption(Caption::Unknown));
        QCOMPARE(rules.headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(),
            fixture.window->state().caption(Caption::PathHeader));

        page.ruleList->header()->sectionClicked(1);
        QCOMPARE(shown(rules, 0), QStringList({"1", "2", "3", "4", "5", "6"}));
        click(page.ruleList, 0); // the selection follows its row through the sort
        fixture.answer = false;
        page.ruleList->header()->sectionClicked(2);
        QCOMPARE(shown(rules, 0), QStringList({"4", "5", "3", "1", "2", "6"}));
        QCOMPARE(page.ruleList->currentIndex().row(), 3);
        page.ruleList->header()->sectionClicked(2);
        QCOMPARE(shown(rules, 0), QStringList({"4", "5", "3", "1", "2", "6"}));

        const QByteArray before = fixture.folder.read(QStringLiteral("regles.xml"));
        click(page.ruleList, 3); // a.exe, row 1
        QCOMPARE(fixture.questions.last(),
            fixture.window->state().caption(Caption::DeleteRuleQuestion) + QStringLiteral("a.exe"));
        QCOMPARE(fixture.folder.read(QStringLiteral("regles.xml")), before);
        fixture.answer = true;
        click(page.ruleList, 3);
        QCOMPARE(shown(rules, 0), QStringList({"4", "5", "3", "2", "6"}));
        const auto left = fixture.readTable(TableId::Rules);
        QCOMPARE(left.size(), 3); // both a.exe rules and the nameless one are gone
        QCOMPARE(left[0].mid(0, 9), row(QStringLiteral("z.exe"), notADate));
        QCOMPARE(left[1][0], QStringLiteral("b.exe"));
    }

    // An alert's program goes into quarantine once, by its trimmed name, and
    // its rules (by that name) leave regles.xml; the alert stays.
    void anAlertQuarantinesItsProgramOnce()
    {
        ShellFixture fixture;
        fixture.writeTable(TableId::Alerts,
            {row(QStringLiteral(" b.exe "), at(3, 3)), row(QStringLiteral("c.exe"), at(4, 4)),
                row(QStringLiteral("c.exe"), at(5, 5))});
        fixture.writeTable(TableId::Rules,
            {row(QStringLiteral("b.exe"), at(1, 1)), row(QStringLiteral(" b.exe "), at(1, 2)), row({}, at(1, 3)),
                row(QStringLiteral("c.exe"), at(1, 4))});
        fixture.writeTable(TableId::Quarantine, {{QStringLiteral("x.exe")}});
        prepare(fixture);
        fixture.answer = true;
        auto& page = fixture.open<pages::AlertsPage>(Target::Alerts);
        click(page.alertList, 0);
        QCOMPARE(fixture.questions.last(),
            fixture.window->state().caption(Caption::MoveToQuarantineQuestion) + QStringLiteral(" b.exe "));
        QCOMPARE(fixture.readTable(TableId::Quarantine),
            QList<QStringList>({{QStringLiteral("x.exe")}, {QStringLiteral("b.exe")}}));
        auto rules = fixture.readTable(TableId::Rules);
        QCOMPARE(rules.size(), 3);
        QCOMPARE(rules[0][0], QStringLiteral(" b.exe "));
        QCOMPARE(rules[1][0], QString());

        click(page.alertList, 0); // in quarantine already, blanks aside
        click(page.alertList, 1);
        click(page.alertList, 2); // the same program again: nothing changes, not even regles.xml
        QCOMPARE(fixture.readTable(TableId::Quarantine).size(), 3);
        QCOMPARE(fixture.readTable(TableId::Rules).size(), 2);
        QCOMPARE(page.rows()->rowCount(), 3);
        QCOMPARE(fixture.readTable(TableId::Alerts).size(), 3);
    }

    // The protocol marks start clear while the flags keep their values; the
    // quarantine stores names trimmed, removes by exact case and shows and
    // removes stored names trimmed.
    void quarantineEventsAndProtocols()
    {
        ShellFixture fixture;
        fixture.writeTable(TableId::Quarantine, {{QStringLiteral(" spaced.exe ")}, {QStringLiteral("B.EXE")}});
        prepare(fixture);
        auto& state = fixture.window->state();
        auto* page = &fixture.open<pages::QuarantinePage>(Target::Quarantine);
        QCOMPARE(page->tabs->currentIndex(), 1);
        QCOMPARE(page->tabs->tabText(2), state.caption(Caption::EventsTab));
        page->protocols->setChecked(2, true); // SMTP
        QVERIFY(state.protocolFlags[2]);
        page = &fixture.open<pages::QuarantinePage>(Target::Quarantine);
        QVERIFY(!page->protocols->isChecked(2));
        QVERIFY(state.protocolFlags[2]);
        page->protocols->setChecked(0, true);
        QCOMPARE(state.protocolFlags, (std::array<bool, 7> {true, false, false, false, false, false, false}));

        auto& quarantine = page->quarantine;
        QCOMPARE(quarantine.box->itemText(0), QStringLiteral("spaced.exe"));
        // Typed over a listed name that differs in case only: kept as typed.
        quarantine.box->setFocus();
        QTest::keyClicks(quarantine.box, QStringLiteral("b.exe"));
        QTest::keyClick(quarantine.box, Qt::Key_Return);
        QCOMPARE(quarantine.box->currentText(), QStringLiteral("b.exe"));
        page->removeQuarantineEntry();
        QCOMPARE(fixture.readTable(TableId::Quarantine).size(), 2);
        quarantine.entry->setText(QStringLiteral("b.exe"));
        page->addQuarantineEntry();
        quarantine.entry->setText(QStringLiteral(" b.exe\t"));
        page->addQuarantineEntry();
        page->addQuarantineEntry(); // the field was cleared: nothing added
        QCOMPARE(fixture.readTable(TableId::Quarantine).size(), 4);
        quarantine.box->setEditText(QStringLiteral("b.exe"));
        page->removeQuarantineEntry();
        QCOMPARE(fixture.readTable(TableId::Quarantine),
            QList<QStringList>({{QStringLiteral(" spaced.exe ")}, {QStringLiteral("B.EXE")}}));
        QCOMPARE(quarantine.box->count(), 2);
        quarantine.box->setEditText(QStringLiteral("spaced.exe")); // as shown
        page->removeQuarantineEntry();
        QCOMPARE(fixture.readTable(TableId::Quarantine), QList<QStringList>({{QStringLiteral("B.EXE")}}));

        page->events.entry->setText(QStringLiteral("USB stick & <\"drive\">"));
        page->addEvent();
        QCOMPARE(fixture.readTable(TableId::Events), QList<QStringList>({{QStringLiteral("USB stick & <\"drive\">")}}));
        page->clearEvents();
        page->clearEvents(); // on an empty table too
        QVERIFY(fixture.readTable(TableId::Events).isEmpty());
        QCOMPARE(page->events.box->count(), 0);
    }

    // A build that waits for held files shows its page meanwhile and tells
    // what it could not read only once it is over; an error that escapes a
    // build leaves the window painting.
    void aBuildWaitsVisiblyAndReportsAfterwards()
    {
        ShellFixture fixture;
        fixture.fileWait = std::chrono::milliseconds(300);
        prepare(fixture);
        for (const char* table : {"quarantaines.xml", "evenements.xml"}) {
            const QString holder = QStringLiteral("vkhold-%1.exe").arg(QLatin1String(table).left(4));
            fixture.folder.installCompanion(holder, {QStringLiteral("lock %1 -1").arg(QLatin1String(table))});
            QVERIFY(fixture.session->companions.shellStart(holder));
            QVERIFY(waitUntil([&] {
                return fixture.folder.journalLines().contains(QStringLiteral("locked %1").arg(QLatin1String(table)));
            }));
        }
        bool paintedWhileWaiting = false;
        QTimer::singleShot(0, [&] { paintedWhileWaiting = fixture.window->pagePanel()->updatesEnabled(); });
        fixture.open<pages::QuarantinePage>(Target::Quarantine);
        QVERIFY(paintedWhileWaiting);
        QVERIFY(fixture.reports.isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return fixture.reports.size() == 2; }));

        struct Failing : shell::Page {
            using Page::Page;
            void build() override { throw std::runtime_error("build failed"); }
        };
        fixture.registry.addPage<Failing>(Target::Links);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, fixture.clickItem(ShellFixture::rowOf(Target::Links)));
        QVERIFY(fixture.window->updatesEnabled() && fixture.window->pagePanel()->updatesEnabled());
    }

    // The lookup passes the text as typed, keeps the window going while
    // vksites.exe runs, stores the address found, and gives up on a lookup
    // that never ends, also when the page was left meanwhile.
    void sitesAreLookedUpStoredAndRemoved()
    {
        ShellFixture fixture;
        fixture.siteLookupLimit = std::chrono::milliseconds(1500);
        fixture.folder.installCompanion(QStringLiteral("vknotify.exe"));
        fixture.folder.installCompanion(
            QStringLiteral("vksites.exe"), {QStringLiteral("write ipcp.txt host-1 10.0.0.7"), QStringLiteral("exit")});
        fixture.writeTable(TableId::Sites,
            {{QStringLiteral("dup.example"), QStringLiteral("1.1.1.1")},
                {QStringLiteral("other.example"), QStringLiteral("2.2.2.2")},
                {QStringLiteral("dup.example"), QStringLiteral("3.3.3.3")}});
        prepare(fixture);
        auto* page = &fixture.open<pages::SitesPage>(Target::Sites);
        QCOMPARE(page->sites->count(), 3);
        page->siteField->setText(QStringLiteral("  new.example "));
        page->addSiteButton->click();
        QVERIFY(!page->addSiteButton->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return page->sites->count() == 4; }));
        QVERIFY(page->addSiteButton->isEnabled());
        QVERIFY(page->siteField->text().isEmpty());
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vksites.exe")).last(), QStringList {"new.example"});
        QCOMPARE(fixture.readTable(TableId::Sites).last(), QStringList({"new.example", "110.0.0.7"}));

        page->sites->setEditText(QStringLiteral("dup.example"));
        page->removeSite();
        QCOMPARE(fixture.readTable(TableId::Sites),
            QList<QStringList>({{"other.example", "2.2.2.2"}, {"new.example", "110.0.0.7"}}));
        QCOMPARE(page->addresses->itemText(0), QStringLiteral("2.2.2.2"));

        // An empty entry still asks vksites.exe, and garbage still yields
        // its dots and digits; the nameless row is not shown.
        fixture.folder.setBehaviour(QStringLiteral("vksites.exe"), {QStringLiteral("exit")});
        fixture.folder.write(QStringLiteral("ipcp.txt"),
            QByteArray("\x00\xff"
                       "9\r\n\xfe.1\x00 2\x80",
                12));
        page->addSiteButton->click();
        QVERIFY(QTest::qWaitFor([&] { return page->addSiteButton->isEnabled(); }));
        QCOMPARE(fixture.readTable(TableId::Sites).last(), QStringList({QString(), ".12"}));
        page = &fixture.open<pages::SitesPage>(Target::Sites);
        QCOMPARE(page->sites->count(), 2);
        // An empty answer is told.
        fixture.folder.write(QStringLiteral("ipcp.txt"), {});
        page->addSiteButton->click();
        QVERIFY(QTest::qWaitFor([&] { return page->addSiteButton->isEnabled(); }));
        QVERIFY(waitUntil([&] { return !fixture.folder.argumentsOf(QStringLiteral("vknotify.exe")).isEmpty(); }));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vknotify.exe")).last().join(QLatin1Char(' ')),
            QString(fixture.window->state().caption(Caption::NoAddressFound))
                .replace(QLatin1Char(' '), QLatin1Char(';')));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vksites.exe")).last(), QStringList());
        // One that cannot be read is told as such, not as "no address found".
        QVERIFY(QFile::remove(fixture.folder.file(QStringLiteral("ipcp.txt"))));
        QVERIFY(QDir(fixture.folder.path()).mkdir(QStringLiteral("ipcp.txt")));
        page->addSiteButton->click();
        QVERIFY(QTest::qWaitFor([&] { return page->addSiteButton->isEnabled(); }));
        QCOMPARE(fixture.reports.size(), 1);
        QVERIFY(fixture.reports.takeLast().contains(QStringLiteral("ipcp.txt is a folder")));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vknotify.exe")).size(), 1);
        QCOMPARE(fixture.readTable(TableId::Sites).size(), 3);

        fixture.folder.setBehaviour(QStringLiteral("vksites.exe"), {QStringLiteral("stay")});
        page->addSiteButton->click();
        fixture.open<pages::QuarantinePage>(Target::Quarantine); // the page goes meanwhile
        page = &fixture.open<pages::SitesPage>(Target::Sites);
        QVERIFY(!page->addSiteButton->isEnabled()); // the new page waits for the same lookup
        QVERIFY(QTest::qWaitFor([&] { return !fixture.reports.isEmpty(); }, 10000));
        QVERIFY(fixture.reports.last().contains(QStringLiteral("vksites.exe")));
        QVERIFY(page->addSiteButton->isEnabled());
        QVERIFY(waitUntil([&] { return !fixture.folder.runningNames().contains(QStringLiteral("vksites.exe")); }));
        QCOMPARE(fixture.readTable(TableId::Sites).size(), 3);

        page->removeAllSites();
        QVERIFY(fixture.readTable(TableId::Sites).isEmpty());
        QCOMPARE(page->sites->count() + page->addresses->count(), 0);
        page->siteControlFlagBox->setChecked(false);
        QCOMPARE(fixture.folder.read(QStringLiteral("ctrlpl.txt")), QByteArray("0\r\n"));
        QVERIFY(!fixture.window->state().siteControlFlag);
    }
};

QTEST_MAIN(TestSecurity)
#include "tst_security.moc"
