#include "localisation/timeformat.h"
#include "pages/protection/homepage.h"
#include "shell/navigationlist.h"
#include "shellfixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <cerrno>
#include <cstring>

using namespace corvatek;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;
using corvatek::test::waitUntil;

namespace {

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

pages::HomePage& home(const ShellFixture& fixture)
{
    return *static_cast<pages::HomePage*>(fixture.window->shownPage(Target::Home));
}

QColor background(const QLabel* label)
{
    return label->palette().color(QPalette::Window);
}

} // namespace

class TestHome : public QObject {
    Q_OBJECT

private slots:
    void linesFollowTheFirewallTheGuardAndSiteControl_data()
    {
        QTest::addColumn<QByteArray>("firewall");
        QTest::addColumn<bool>("flag7");
        QTest::addColumn<bool>("networkTool");
        QTest::addColumn<bool>("firewallGreen");
        QTest::addColumn<bool>("sitesGreen");
        QTest::newRow("on, tool running") << QByteArray("1") << true << true << true << true;
        QTest::newRow("on, no tool") << QByteArray("1") << true << false << false << false;
        QTest::newRow("off, tool running") << QByteArray("2") << true << true << false << true;
        QTest::newRow("always, site control off") << QByteArray("3") << false << true << true << false;
        QTest::newRow("always, no tool") << QByteArray("3") << false << false << false << false;
        QTest::newRow("another text") << QByteArray("x") << true << true << false << true;
    }

    void linesFollowTheFirewallTheGuardAndSiteControl()
    {
        QFETCH(QByteArray, firewall);
        QFETCH(bool, flag7);
        QFETCH(bool, networkTool);
        QFETCH(bool, firewallGreen);
        QFETCH(bool, sitesGreen);
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        fixture.folder.write(QStringLiteral("firewall.txt"), firewall + "\r\n");
        QStringList flags(12, QStringLiteral("1"));
        flags[6] = flag7 ? QStringLiteral("1") : QStringLiteral("0");
        fixture.writeTable(data::TableId::Configuration, {flags});
        fixture.start();
        const auto& state = fixture.window->state();
        const auto& page = home(fixture);
        QCOMPARE(page.startLine->text(),
            QStringLiteral("Star date :") + localisation::shortDateLongTime(fixture.now) +
                QStringLiteral(" detected virus "));
        QCOMPARE(background(page.startLine), kGreen);
        QCOMPARE(page.virusBox->count(), 0);
        // The text says what is set, whatever runs.
        const bool firewallOff = firewall == "2";
        QCOMPARE(page.firewallLine->text(),
            QStringLiteral("Firewall : ") + state.caption(firewallOff ? Caption::Off : Caption::On));
        QCOMPARE(page.sitesLine->text(),
            state.caption(Caption::SiteControl) + QStringLiteral(" :") +
                state.caption(flag7 ? Caption::On : Caption::Off));
        // The network tool is stopped at start: nothing filters yet.
        QCOMPARE(background(page.firewallLine), kRed);
        QCOMPARE(background(page.sitesLine), kRed);
        QVERIFY(fixture.opened.isEmpty()); // the start-up variant opens nothing

        if (networkTool) {
            fixture.folder.installCompanion(QStringLiteral("vkwall.exe"));
            QVERIFY(fixture.session->companions.shellStart(QStringLiteral("vkwall.exe")));
            QVERIFY(waitUntil([&] { return fixture.session->companions.isRunning(QStringLiteral("vkwall.exe")); }));
        }
        fixture.clickItem(0);
        QCOMPARE(background(home(fixture).firewallLine), firewallGreen ? kGreen : kRed);
        QCOMPARE(background(home(fixture).sitesLine), sitesGreen ? kGreen : kRed);
    }

    void theClickVariantShowsDetectionsAndTheGuardsState()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("DE"));
        fixture.start(); // no guard to start yet
        const auto& state = fixture.window->state();
        QCOMPARE(home(fixture).realTimeLine->text(),
            QStringLiteral("Virenerkennung in Echtzeit :") + state.caption(Caption::Off));
        QVERIFY(!home(fixture).virusBox->isEditable());

        fixture.folder.write(QStringLiteral("viri.txt"), "EICAR\r\nTrojan.A\r\nWorm.B\r\n");
        fixture.clickItem(0);
        QCOMPARE(home(fixture).realTimeLine->text(),
            QStringLiteral("Vrenerkennung in Echzeit :") + state.caption(Caption::Off));
        QCOMPARE(background(home(fixture).realTimeLine), kRed);
        QCOMPARE(home(fixture).virusBox->count(), 3);
        QCOMPARE(home(fixture).virusBox->itemText(2), QStringLiteral("Worm.B"));
        QVERIFY(home(fixture).virusBox->currentText().isEmpty()); // until the user opens the list
        QVERIFY(home(fixture).virusBox->isEditable());
        QCOMPARE(background(home(fixture).startLine), kRed);
        QCOMPARE(fixture.opened, QStringList {QString::fromLatin1(shell::kProductWebSite)});

        fixture.folder.installCompanion(QStringLiteral("vkguard.exe"));
        QVERIFY(fixture.session->companions.shellStart(QStringLiteral("vkguard.exe")));
        QVERIFY(waitUntil([&] { return fixture.session->companions.isRunning(QStringLiteral("vkguard.exe")); }));
        fixture.clickItem(0);
        QCOMPARE(home(fixture).realTimeLine->text(),
            QStringLiteral("Virenerkennung in Echtzeit :") + state.caption(Caption::On));
        QCOMPARE(background(home(fixture).realTimeLine), kGreen);
    }

    void anUnknownLanguageShowsFrenchAtStartAndNothingOnClick()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral(" GB"));
        // Every item's text is empty then, so a click builds every page; only
        // the home page is kept here to look at it afterwards.
        fixture.registry = {};
        fixture.registry.addPage<pages::HomePage>(Target::Home);
        fixture.start();
        QVERIFY(home(fixture).startLine->text().startsWith(QStringLiteral("Date d\u00e9marrage :")));
        QCOMPARE(home(fixture).realTimeLine->text(), QStringLiteral("D\u00e9tection des virus en temps reel :"));
        QCOMPARE(home(fixture).firewallLine->text(), QString());
        QCOMPARE(home(fixture).sitesLine->text(), QStringLiteral(" :"));
        fixture.clickItem(0);
        QCOMPARE(home(fixture).startLine->text(), QString());
        QCOMPARE(home(fixture).realTimeLine->text(), QString());
        QCOMPARE(home(fixture).firewallLine->text(), QString());
    }

    void theSliderAndTheInternetButton()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        auto& window = fixture.start();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.levelSlider->setFocus();
        QTest::keyClick(window.levelSlider, Qt::Key_Left);
        QCOMPARE(fixture.folder.read(QStringLiteral("track.txt")), QByteArray("1\r\n"));
        QCOMPARE(window.state().protectionLevel, ProtectionLevel::Low);
        window.levelSlider->setValue(3);
        QCOMPARE(fixture.folder.read(QStringLiteral("track.txt")), QByteArray("3\r\n"));
        QVERIFY(fixture.reports.isEmpty());
        // A level that cannot be written is told, not lost silently.
        QVERIFY(QFile::remove(fixture.folder.file(QStringLiteral("track.txt"))));
        QVERIFY(QDir(fixture.folder.path()).mkdir(QStringLiteral("track.txt")));
        window.levelSlider->setValue(2);
        QCOMPARE(fixture.reports.size(), 1);
        QVERIFY(fixture.reports[0].contains(QStringLiteral("track.txt")));
        QVERIFY(fixture.reports[0].contains(QString::fromLocal8Bit(std::strerror(EISDIR))));
        QVERIFY(QDir(fixture.folder.path()).rmdir(QStringLiteral("track.txt")));

        const QImage on = window.internetButton->icon().pixmap(16).toImage();
        QTest::mouseClick(window.internetButton, Qt::LeftButton);
        QVERIFY(!window.state().internetFlag);
        QVERIFY(window.internetButton->icon().pixmap(16).toImage() != on);
        QTest::mouseClick(window.internetButton, Qt::LeftButton);
        QVERIFY(window.state().internetFlag);
        QCOMPARE(window.internetButton->icon().pixmap(16).toImage(), on);
        QCOMPARE(window.internetButton->toolTip(), QStringLiteral("Internet"));

        window.navigationList->setFocus();
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.state().internetFlag);
    }
};

QTEST_MAIN(TestHome)
#include "tst_home.moc"
