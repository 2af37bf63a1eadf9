#include "pages/protection/homepage.h"
#include "pages/tools/actionitems.h"
#include "shell/navigationlist.h"
#include "shellfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <algorithm>

using namespace corvatek;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;

namespace {

int aboutBoxes()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<pages::AboutBox*>(widget) && widget->isVisible() ? 1 : 0;
    return count;
}

// A language file whose lines are the given captions, the rest "cN".
QByteArray languageFile(const QMap<int, QByteArray>& captions)
{
    QByteArray bytes;
    for (int n = 1; n <= 101; ++n)
        bytes += captions.value(n, "c" + QByteArray::number(n)) + "\r\n";
    return bytes;
}

// A stand-in for the scan page, counting what the monitor tells it.
class ScanStandIn : public shell::Page {
public:
    using Page::Page;
    void build() override
    {
        connect(&window().monitor(), &supervision::StatusMonitor::scannerIdle, this, [] { ++told; });
    }
    static inline int told = 0;
};

} // namespace

class TestNavigation : public QObject {
    Q_OBJECT

private slots:
    void theListHoldsTheItemsInOrder()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        auto& window = fixture.start();
        const QList<Caption> captions {Caption::Home, Caption::Rules, Caption::Alerts, Caption::NetworkOptions,
            Caption::Quarantine, Caption::Settings, Caption::GuardOptions, Caption::Modifications, Caption::Cleanup,
            Caption::Backup, Caption::DiskCheck, Caption::Shortcuts, Caption::SiteControl, Caption::VirusScan,
            Caption::ProgramCheck, Caption::FileEncryption, Caption::InternetAddress, Caption::About, Caption::WebSite};
        QCOMPARE(window.navigationList->count(), 22);
        for (int row = 0; row < captions.size(); ++row)
            QCOMPARE(window.navigationList->text(row), window.state().caption(captions[row]));
        QCOMPARE(window.navigationList->text(19), QStringLiteral("connections"));
        QCOMPARE(window.navigationList->text(20), QStringLiteral(" memory"));
        QCOMPARE(window.navigationList->text(21), window.state().caption(Caption::Quit));
        QCOMPARE(window.navigationList->itemRect(1).height(), 18);
        for (int row = 0; row < 22; ++row)
            QVERIFY(!window.navigationList->iconAt(row).isNull());
        QCOMPARE(window.highLabel->text(), window.state().caption(Caption::High));
        QCOMPARE(window.lowLabel->text(), window.state().caption(Caption::Low));
        QCOMPARE(window.windowTitle(), QStringLiteral("Corvatek "));
        QCOMPARE(window.navigationList->currentRow(), -1);
    }

    // One click runs every target whose text matches, in the fixed order.
    void identicalCaptionsRunEveryMatchInOrder()
    {
        ShellFixture fixture;
        fixture.folder.write(QStringLiteral("crvtk_fr.txt"), languageFile({{48, "Same"}, {64, "Same"}, {1, "Same"}}));
        QStringList ran;
        fixture.registry = {};
        fixture.registry.addAction(Target::Home, [&](shell::MainWindow&) { ran << QStringLiteral("home"); });
        fixture.registry.addAction(Target::About, [&](shell::MainWindow&) { ran << QStringLiteral("about"); });
        fixture.registry.addAction(Target::WebSite, [&](shell::MainWindow&) { ran << QStringLiteral("site"); });
        fixture.registry.addAction(Target::Quit, [&](shell::MainWindow&) { ran << QStringLiteral("quit"); });
        fixture.start();
        fixture.clickItem(ShellFixture::rowOf(Target::WebSite));
        QCOMPARE(ran, (QStringList {"home", "about", "site"}));
        ran.clear();
        fixture.clickItem(ShellFixture::rowOf(Target::Quit));
        QCOMPARE(ran, QStringList {"quit"});
    }

    // Unknown language: every item is empty, so any click runs every action,
    // the quit question included.
    void anUnknownLanguageRunsEveryAction()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral(" GB"));
        auto& window = fixture.start();
        const int boxes = aboutBoxes();
        fixture.clickItem(3);
        QCOMPARE(fixture.questions, QStringList {QString()});
        QCOMPARE(aboutBoxes(), boxes + 1);
        // Each page's build resets the frame: the last one built stays.
        Target last = Target::Home;
        for (const Target target : shell::kDispatchOrder) {
            if (fixture.registry.page(target))
                last = target;
        }
        QVERIFY(last != Target::Home && !window.shownPage(Target::Home) && window.shownPage(last));
        QCOMPARE(fixture.opened.size(), 3); // the home page, the about item, the web site item
    }

    void theHomeItemTwiceBuildsTheHomePageTwice()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        auto& window = fixture.start();
        QPointer<QLabel> first = static_cast<pages::HomePage*>(window.shownPage(Target::Home))->startLine;
        QVERIFY(first);
        fixture.clickItem(0);
        QVERIFY(!first);
        QPointer<QLabel> second = static_cast<pages::HomePage*>(window.shownPage(Target::Home))->startLine;
        fixture.clickItem(0);
        QVERIFY(!second);
        QVERIFY(window.shownPage(Target::Home));
        QCOMPARE(window.pagePanel()->geometry(), QRect(176, 48, 609, 369));
        QCOMPARE(fixture.opened.size(), 2);
    }

    // Where the user puts it, whatever page follows or however often it is
    // shown, and always the one size its pages are laid out for.
    void theWindowKeepsItsPlaceAndItsSize()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        auto& window = fixture.start();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint moved = window.pos() + QPoint(37, 23);
        window.move(moved);
        fixture.clickItem(ShellFixture::rowOf(Target::Settings));
        window.resize(900, 600);
        QCOMPARE(window.pos(), moved);
        QCOMPARE(window.size(), QSize(786, 481));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        window.close(); // hides it only
        window.show();
        QCOMPARE(window.pos(), moved);
    }

    void itemsWithoutAPageOnlyDropThePanel()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        auto& window = fixture.start();
        QPointer<QWidget> page = static_cast<pages::HomePage*>(window.shownPage(Target::Home))->startLine;
        const auto without = std::find_if(std::begin(shell::kListOrder), std::end(shell::kListOrder),
            [&](Target target) { return !fixture.registry.page(target) && !fixture.registry.action(target); });
        if (without == std::end(shell::kListOrder))
            QSKIP("every item has a page or an action");
        fixture.clickItem(ShellFixture::rowOf(*without));
        QVERIFY(page); // the home page stays on screen
        QVERIFY(!window.pagePanel());
    }

    // As a list box does: a press chooses, even the item already chosen, and
    // the keys move the choice and keep it in view.
    void mouseAndKeysChooseItems()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        QStringList ran;
        fixture.registry = {};
        fixture.registry.addAction(Target::Rules, [&](shell::MainWindow&) { ran << QStringLiteral("rules"); });
        fixture.registry.addAction(Target::Quit, [&](shell::MainWindow&) { ran << QStringLiteral("quit"); });
        auto& window = fixture.start();
        window.show();
        shell::NavigationList* list = window.navigationList;
        QWidget* items = list->viewport();
        const int rules = ShellFixture::rowOf(Target::Rules);

        QTest::mouseClick(items, Qt::LeftButton, {}, list->itemRect(rules).center());
        QTest::mouseClick(items, Qt::LeftButton, {}, list->itemRect(rules).center());
        QCOMPARE(list->currentRow(), rules);
        QCOMPARE(ran, QStringList(2, QStringLiteral("rules")));
        QTest::mouseClick(items, Qt::RightButton, {}, list->itemRect(rules + 1).center());
        QCOMPARE(list->currentRow(), rules);
        QCOMPARE(ran.size(), 2);

        // The last item lies below the bottom: End scrolls it into view.
        QVERIFY(list->itemRect(21).bottom() >= items->height());
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(list->currentRow(), 21);
        QVERIFY(items->rect().contains(list->itemRect(21)));
        QCOMPARE(list->rowAt(list->itemRect(21).center()), 21);
        QCOMPARE(ran.last(), QStringLiteral("quit"));
        QTest::keyClick(list, Qt::Key_Down); // already last: nothing chosen
        QCOMPARE(ran.size(), 3);
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(list->itemRect(0).top(), 0);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentRow(), 1);
        QCOMPARE(ran.last(), QStringLiteral("rules"));
    }

    // The scroll bar, drawn in bands, shows what the style draws in one go.
    void theScrollBarLooksAsTheStyleDrawsIt()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        auto& window = fixture.start();
        window.show();
        QScrollBar* bar = window.navigationList->verticalScrollBar();
        QVERIFY(bar->isVisible());
        QVERIFY(bar->height() > 3 * 64);
        for (const int value : {bar->minimum(), bar->maximum() / 2, bar->maximum()}) {
            bar->setValue(value);
            const QImage banded = bar->grab().toImage();
            QStyle* bandedStyle = bar->style();
            bar->setStyle(QApplication::style());
            const QImage whole = bar->grab().toImage();
            bar->setStyle(bandedStyle);
            QCOMPARE(banded, whole);
        }
    }

    // Assistive tools read the items, see the choice, and can press an item.
    void assistiveToolsSeeTheItems()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        QStringList ran;
        fixture.registry = {};
        fixture.registry.addAction(Target::Rules, [&](shell::MainWindow&) { ran << QStringLiteral("rules"); });
        auto& window = fixture.start();
        window.show();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window.navigationList);
        QVERIFY(list);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->childCount(), 22);
        const int row = ShellFixture::rowOf(Target::Rules);
        QAccessibleInterface* rules = list->child(row);
        QVERIFY(rules && rules->isValid());
        QCOMPARE(rules->role(), QAccessible::ListItem);
        QCOMPARE(rules->text(QAccessible::Name), window.state().caption(Caption::Rules));
        QCOMPARE(rules->parent(), list);
        QCOMPARE(list->indexOfChild(rules), row);
        QCOMPARE(list->child(row), rules);
        QVERIFY(!list->child(22));
        QCOMPARE(list->childAt(rules->rect().center().x(), rules->rect().center().y()), rules);
        QVERIFY(!rules->state().selected);

        rules->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(ran, QStringList {QStringLiteral("rules")});
        QCOMPARE(window.navigationList->currentRow(), row);
        QVERIFY(rules->state().selected);
        QVERIFY(!list->child(0)->state().selected);
    }

    // The monitor's tick tells the scan page, and only while it is built.
    void theTimerTellsTheScanPageWhileItIsBuilt()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.registry.addPage<ScanStandIn>(Target::Scan);
        auto& window = fixture.start();
        QCOMPARE(window.monitorTimer->interval(), 1500);
        QVERIFY(window.monitorTimer->isActive());
        ScanStandIn::told = 0;
        window.onMonitorTimer();
        QCOMPARE(ScanStandIn::told, 0);
        fixture.clickItem(ShellFixture::rowOf(Target::Scan));
        QVERIFY(window.shownPage(Target::Scan));
        window.onMonitorTimer();
        QCOMPARE(ScanStandIn::told, 1);
        fixture.clickItem(0);
        window.onMonitorTimer();
        QCOMPARE(ScanStandIn::told, 1);
    }

    void aboutBoxesAreNonModalAndOnePerChoice()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.start();
        const int boxes = aboutBoxes();
        fixture.clickItem(ShellFixture::rowOf(Target::About));
        fixture.clickItem(ShellFixture::rowOf(Target::About));
        QCOMPARE(aboutBoxes(), boxes + 2);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(fixture.opened, QStringList(2, QString::fromLatin1(shell::kProductWebSite)));
        fixture.clickItem(ShellFixture::rowOf(Target::WebSite));
        QCOMPARE(fixture.opened.size(), 3);
    }
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
