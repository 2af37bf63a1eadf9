#include "pages/security/languagechoice.h"
#include "pages/security/settingspage.h"
#include "shell/application.h"
#include "shell/navigationlist.h"
#include "shellfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace corvatek;
using corvatek::data::TableId;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;
using corvatek::test::waitUntil;

namespace {

QStringList items(const QListView* list)
{
    QStringList texts;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        texts.append(list->model()->index(row, 0).data().toString());
    return texts;
}

pages::SettingsPage& openSettings(ShellFixture& fixture)
{
    fixture.installLanguageFiles();
    fixture.setLanguage(QStringLiteral("GB"));
    fixture.start();
    return fixture.open<pages::SettingsPage>(Target::Settings);
}

void choose(pages::SettingsPage& page, const char* code)
{
    page.languageBox->setCurrentText(QString::fromLatin1(code));
    page.applyLanguageButton->click();
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void firewallPortsAndClearing()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        fixture.writeTable(TableId::Alerts, {{QStringLiteral("a.exe")}});
        auto& window = fixture.start();
        // Written by a companion after the start emptied it.
        fixture.folder.write(QStringLiteral("portappli.txt"), "firefox 443\r\nmail 993\r\nlast\r\n");
        auto& page = fixture.open<pages::SettingsPage>(Target::Settings);
        QCOMPARE(items(page.applicationPorts), QStringList({"firefox 443", "mail 993"}));
        QCOMPARE(fixture.folder.read(QStringLiteral("portsfermes.txt")), QByteArray());
        QVERIFY(page.firewallOffChoice->isChecked());

        page.firewallAlwaysChoice->click();
        QCOMPARE(fixture.folder.read(QStringLiteral("firewall.txt")), QByteArray("3\r\n"));
        QVERIFY(window.state().firewallOn());
        page.firewallOffChoice->click();
        QCOMPARE(fixture.folder.read(QStringLiteral("firewall.txt")), QByteArray("2\r\n"));
        QVERIFY(!window.state().firewallOn());
        // A save that fails changes neither the screen nor what is in force.
        QVERIFY(QFile::remove(fixture.folder.file(QStringLiteral("firewall.txt"))));
        QVERIFY(QDir(fixture.folder.path()).mkdir(QStringLiteral("firewall.txt")));
        page.firewallOnChoice->click();
        QCOMPARE(fixture.reports.size(), 1);
        QVERIFY(page.firewallOffChoice->isChecked() && !page.firewallOnChoice->isChecked());
        QVERIFY(!window.state().firewallOn() && window.state().firewall == FirewallMode::Off);
        QVERIFY(QDir(fixture.folder.path()).rmdir(QStringLiteral("firewall.txt")));
        fixture.reports.clear();

        QTest::keyClicks(page.portField, QStringLiteral("8a0"));
        QCOMPARE(page.portField->text(), QStringLiteral("80"));
        page.addPortButton->click();
        QTest::keyClicks(page.portField, QStringLiteral("80"));
        page.addPortButton->click(); // already listed
        QCOMPARE(page.portField->text(), QStringLiteral("80"));
        page.portField->clear();
        QTest::keyClicks(page.portField, QStringLiteral("1234567"));
        QCOMPARE(page.portField->text(), QStringLiteral("12345"));
        page.addPortButton->click();
        QCOMPARE(fixture.folder.read(QStringLiteral("portsfermes.txt")), QByteArray("80\r\n12345\r\n"));
        page.closedPorts->clearSelection();
        page.removePortButton->click();
        QCOMPARE(fixture.folder.read(QStringLiteral("portsfermes.txt")), QByteArray("80\r\n12345\r\n"));
        page.closedPorts->setCurrentRow(0);
        page.removePortButton->click();
        QCOMPARE(fixture.folder.read(QStringLiteral("portsfermes.txt")), QByteArray("12345\r\n"));

        // Nothing is chosen until the user picks: a click clears nothing.
        QCOMPARE(page.clearingChoice->currentText(), QString());
        page.clearListButton->click();
        QVERIFY(fixture.questions.isEmpty());
        page.clearingChoice->setCurrentIndex(0);
        page.clearListButton->click();
        QCOMPARE(fixture.questions.last(),
            window.state().caption(Caption::ClearListQuestion) + window.state().caption(Caption::Alerts));
        QCOMPARE(fixture.readTable(TableId::Alerts).size(), 1);
        fixture.answer = true;
        page.clearListButton->click();
        QVERIFY(fixture.readTable(TableId::Alerts).isEmpty());
    }

    // Applying stores the code, then renames the frame and the toolkit's own
    // texts; a language file that cannot serve changes nothing and says why.
    void aLanguageIsAppliedOnlyWithItsWholeFile()
    {
        ShellFixture fixture;
        auto* page = &openSettings(fixture);
        auto& window = *fixture.window;
        const QString applyText = page->applyLanguageButton->text();
        page->applyLanguageButton->click(); // nothing chosen
        choose(*page, "DE");
        QCOMPARE(fixture.readTable(TableId::Languages), QList<QStringList>({{QStringLiteral("DE")}}));
        QCOMPARE(window.state().languageCode, QStringLiteral("DE"));
        QCOMPARE(window.navigationList->text(0), window.state().caption(Caption::Home));
        QCOMPARE(window.navigationList->currentRow(), -1);
        QCOMPARE(window.highLabel->text(), window.state().caption(Caption::High));
        QCOMPARE(page->applyLanguageButton->text(), applyText); // the page keeps its texts
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Ja"));
        const QString german = window.navigationList->text(0);
        choose(*page, "DE");
        QCOMPARE(window.navigationList->text(0), german);

        fixture.folder.write(QStringLiteral("crvtk_it.txt"), QByteArray("one\r\n").repeated(10));
        fixture.folder.write(QStringLiteral("crvtk_es.txt"),
            QByteArray("\x7f"
                       "ELF\x02\x01\x01\0\0\0\xff\xfe",
                12)
                .repeated(300));
        for (const char* code : {"ITA", "ESP"}) {
            const qsizetype told = fixture.reports.size();
            choose(*page, code);
            QCOMPARE(fixture.readTable(TableId::Languages), QList<QStringList>({{QStringLiteral("DE")}}));
            QCOMPARE(window.state().languageCode, QStringLiteral("DE"));
            QCOMPARE(window.navigationList->text(0), german);
            QCOMPARE(fixture.reports.size(), told + 1);
            QVERIFY(fixture.reports.last().contains(QStringLiteral("crvtk_")));
        }
        page = &fixture.open<pages::SettingsPage>(Target::Settings);
        choose(*page, "FR");
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&No"), QStringLiteral("&Non"));
        choose(*page, "GB");
        QCOMPARE(window.navigationList->text(0), QStringLiteral("Home"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Yes"));
    }

    // An Escape that closes an open list is the list's; one that no control
    // takes toggles the Internet switch.
    void escapeClicksTheInternetButtonOnlyWhenNoControlTakesIt()
    {
        ShellFixture fixture;
        auto& page = openSettings(fixture);
        auto& window = *fixture.window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        for (QComboBox* list : {page.clearingChoice, page.languageBox}) {
            list->showPopup();
            QVERIFY(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
            QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Escape);
            QVERIFY(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
            QVERIFY(window.state().internetFlag);
        }
        page.portField->setFocus();
        QTest::keyClick(page.portField, Qt::Key_Escape);
        QVERIFY(!window.state().internetFlag);
    }

    // A long list is shown as it is, costs a small multiple of its file, and
    // reading it keeps the window painting.
    void aLongListIsShownWithinBoundedMemory()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the address sanitizer's allocator says nothing of the program's memory");
#endif
        QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
        if (!clearRefs.open(QIODevice::WriteOnly))
            QSKIP("the peak resident memory cannot be reset here");
        ShellFixture fixture;
        openSettings(fixture);
        qsizetype lines = 0;
        {
            QByteArray bytes;
            bytes.reserve(50 * 1024 * 1024 + 64);
            for (; bytes.size() < 50 * 1024 * 1024; ++lines)
                bytes += "application-" + QByteArray::number(lines) + " 443\r\n";
            fixture.folder.write(QStringLiteral("portappli.txt"), bytes);
        }
        const qint64 size = QFileInfo(fixture.folder.file(QStringLiteral("portappli.txt"))).size();
        const auto peak = [] {
            QFile status(QStringLiteral("/proc/self/status"));
            status.open(QIODevice::ReadOnly);
            const QByteArray text = status.readAll();
            return text.mid(text.indexOf("VmHWM:") + 6).trimmed().split(' ').first().toLongLong() * 1024;
        };
        QVERIFY(clearRefs.write("5") == 1 && clearRefs.flush());
        const qint64 before = peak();
        bool painted = false;
        QTimer::singleShot(0, [&] { painted = true; });
        auto& page = fixture.open<pages::SettingsPage>(Target::Settings);
        QVERIFY(painted); // the event loop ran during the read
        QCOMPARE(page.applicationPorts->model()->rowCount(), lines - 1);
        QCOMPARE(page.applicationPorts->model()->index(7, 0).data().toString(), QStringLiteral("application-7 443"));
        const qint64 grown = peak() - before;
        qInfo("peak resident memory grew by %lld bytes for a list of %lld", grown, size);
        QVERIFY2(grown <= 3 * size, qPrintable(QStringLiteral("%1 bytes for a file of %2").arg(grown).arg(size)));
    }

    // Even rows white, odd ones light, the chosen one light blue.
    void languageItemsAreDrawnInBands()
    {
        QImage image(100, 54, QImage::Format_RGB32);
        QPainter painter(&image);
        for (int index = 0; index < 3; ++index)
            pages::drawLanguageItem(painter, QFont(), index, QRect(0, index * 18, 100, 18), index == 2,
                QString::fromLatin1(pages::kLanguageItems[index]));
        painter.end();
        QCOMPARE(image.pixelColor(98, 1), QColor(Qt::white));
        QCOMPARE(image.pixelColor(98, 19), QColor(238, 243, 244));
        QCOMPARE(image.pixelColor(98, 37), QColor(197, 209, 248));
        QVERIFY(image.pixelColor(5, 9) != QColor(Qt::white)); // the flag
    }

    // Only a message whose first parameter is 2997 is told, above level 1.
    void theRegistryChangeMessage()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.folder.installCompanion(QStringLiteral("vknotify.exe"));
        auto& window = fixture.start();
        const QString notifier = QStringLiteral("vknotify.exe");
        shell::handleInstanceMessage("2997 5 2997", false, window);
        shell::handleInstanceMessage("2997 2997", false, window);
        window.levelSlider->setValue(1);
        shell::handleInstanceMessage("2997 2997 0", false, window);
        window.levelSlider->setValue(3);
        shell::handleInstanceMessage("2997 2997 0", false, window);
        QVERIFY(waitUntil([&] { return !fixture.folder.argumentsOf(notifier).isEmpty(); }));
        QTest::qWait(300);
        QCOMPARE(fixture.folder.argumentsOf(notifier), QList<QStringList>({{QStringLiteral("change;registre")}}));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
