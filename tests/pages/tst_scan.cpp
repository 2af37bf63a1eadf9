#include "pages/protection/scanpage.h"
#ifdef Q_OS_LINUX
#include "privatemounts.h"
#endif
#include "shell/volumewatch.h"
#include "shellfixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QTextBlock>

#include <memory>

using namespace corvatek;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;
using corvatek::test::waitUntil;

namespace {

const QString kScanner = QStringLiteral("vkprobe.exe");

// As the monitor sees it: a scanner still ending counts.
bool scannerRunning(const ShellFixture& fixture)
{
    return fixture.session->companions.isRunning(kScanner);
}

void prepare(ShellFixture& fixture, const QStringList& scanner = {})
{
    fixture.installLanguageFiles();
    fixture.setLanguage(QStringLiteral("GB"));
    fixture.folder.installCompanion(kScanner, scanner);
    fixture.start();
}

// As the user picks an item from the open list, the one shown included.
void choose(QComboBox* box, int row)
{
    box->showPopup();
    box->view()->setCurrentIndex(box->model()->index(row, 0));
    QTest::keyClick(box->view(), Qt::Key_Return);
}

} // namespace

class TestScan : public QObject {
    Q_OBJECT

#ifdef Q_OS_LINUX
    // Made first, so that the whole test process sees its mounts.
    std::unique_ptr<test::PrivateMounts> mounts;
#endif

private slots:
#ifdef Q_OS_LINUX
    void initTestCase()
    {
        mounts = std::make_unique<test::PrivateMounts>();
    }
#endif

    void scanStopAndTheHourlyChoice()
    {
        ShellFixture fixture;
        prepare(fixture);
        auto& state = fixture.window->state();
        QVERIFY(fixture.session->companions.shellStart(kScanner, QStringLiteral("0")));
        // Journalled, not merely listed: a process is listed before its own
        // code runs (under wine for a good while).
        QVERIFY(waitUntil([&] { return fixture.folder.argumentsOf(kScanner).size() == 1; }));
        const QList<int> before = fixture.folder.processes();

        auto* page = &fixture.open<pages::ScanPage>(Target::Scan);
        QVERIFY(page->quickChoice->isChecked() && page->hourlyChoice->isChecked());
        page->fullChoice->click();
        page->scanButton->click();
        QCOMPARE(fixture.folder.read(QStringLiteral("analyse.txt")), QByteArray("1\r\n"));
        QVERIFY(!page->scanButton->isEnabled());
        QVERIFY(waitUntil([&] { return fixture.folder.argumentsOf(kScanner).size() == 2 && scannerRunning(fixture); }));
        QCOMPARE(fixture.folder.argumentsOf(kScanner).last(), QStringList {QStringLiteral("1")});
        for (const int pid : before)
            QVERIFY(!fixture.folder.processes().contains(pid)); // the earlier scan was stopped
        fixture.window->onMonitorTimer();
        QVERIFY(!page->scanButton->isEnabled()); // greyed while the scanner runs

        page->memoryChoice->click();
        page->stopButton->click();
        QCOMPARE(fixture.folder.read(QStringLiteral("analyse.txt")), QByteArray("2\r\n"));
        QVERIFY(waitUntil([&] { return !scannerRunning(fixture); }));
        fixture.window->onMonitorTimer();
        QVERIFY(page->scanButton->isEnabled());
        QVERIFY(QFile::remove(fixture.folder.file(QStringLiteral("analyse.txt"))));
        page->stopButton->click(); // no scanner: the mode is written all the same
        QCOMPARE(fixture.folder.read(QStringLiteral("analyse.txt")), QByteArray("2\r\n"));
        QCOMPARE(fixture.folder.argumentsOf(kScanner).size(), 2);

        page->manualChoice->click();
        QVERIFY(!state.hourlyScanFlag);
        page = &fixture.open<pages::ScanPage>(Target::Scan);
        QVERIFY(!state.hourlyScanFlag && page->manualChoice->isChecked());

        // Kept for later starts, whose monitor follows it before any visit.
        const auto fullHour = [&](int hour) {
            fixture.now = QDateTime(QDate(2026, 12, 7), QTime(hour - 1, 59, 30));
            fixture.window->onMonitorTimer();
            fixture.now = QDateTime(QDate(2026, 12, 7), QTime(hour, 0, 30));
            fixture.window->onMonitorTimer();
        };
        fixture.stop();
        fixture.start();
        fullHour(11);
        QVERIFY(!scannerRunning(fixture)); // listed as soon as it is started
        page = &fixture.open<pages::ScanPage>(Target::Scan);
        QVERIFY(page->manualChoice->isChecked() && !page->hourlyChoice->isChecked());
        page->hourlyChoice->click();
        fullHour(12);
        QVERIFY(waitUntil([&] { return fixture.folder.argumentsOf(kScanner).size() == 3; }));
        QCOMPARE(fixture.folder.argumentsOf(kScanner).last(), QStringList {QStringLiteral("0")});
    }

    void theReportBoxTakesWhatTheScannerWrote()
    {
        ShellFixture fixture;
        prepare(fixture);
        QByteArray report = "EICAR found in /home/ann/x.com\r\n";
        for (int i = 0; i < 256; ++i)
            report += char(i);
        report += "\r\n" + QByteArray(1 << 20, 'x') + "\r\n";
        for (int i = 0; i < 100000; ++i)
            report += "line " + QByteArray::number(i) + "\r\n";
        fixture.folder.write(QStringLiteral("anaviri.txt"), report);
        auto* page = &fixture.open<pages::ScanPage>(Target::Scan);
        QCOMPARE(page->reportBox->document()->firstBlock().text(), QStringLiteral("EICAR found in /home/ann/x.com"));
        QCOMPARE(page->reportBox->document()->lastBlock().text(), QStringLiteral("line 99999"));

        QVERIFY(QFile::remove(fixture.folder.file(QStringLiteral("anaviri.txt"))));
        page = &fixture.open<pages::ScanPage>(Target::Scan);
        QVERIFY(page->reportBox->toPlainText().isEmpty());
    }

    // While the scanner runs, each tick shows the report as far as it is
    // written; the last one once it has ended; later ones as they come.
    void theReportFollowsTheScanAsItRuns()
    {
        ShellFixture fixture;
        prepare(fixture);
        fixture.folder.write(QStringLiteral("anaviri.txt"), "old report\r\n");
        auto& page = fixture.open<pages::ScanPage>(Target::Scan);
        QCOMPARE(page.reportBox->toPlainText(), QStringLiteral("old report"));
        page.scanButton->click();
        QVERIFY(waitUntil([&] { return scannerRunning(fixture); }));
        fixture.folder.write(QStringLiteral("anaviri.txt"), "Scan 1\r\n12 files so far\r\n");
        fixture.window->onMonitorTimer();
        QCOMPARE(page.reportBox->toPlainText(), QStringLiteral("Scan 1\n12 files so far"));

        fixture.folder.write(QStringLiteral("anaviri.txt"), "Scan 1\r\n/x : Eicar\r\n40 files, 1 found\r\n");
        QVERIFY(fixture.session->companions.stop(kScanner));
        QVERIFY(waitUntil([&] { return !scannerRunning(fixture); }));
        fixture.window->onMonitorTimer();
        QCOMPARE(page.reportBox->toPlainText(), QStringLiteral("Scan 1\n/x : Eicar\n40 files, 1 found"));
        QVERIFY(page.scanButton->isEnabled());
        fixture.folder.write(QStringLiteral("anaviri.txt"), "someone else's\r\n");
        fixture.window->onMonitorTimer();
        QCOMPARE(page.reportBox->toPlainText(), QStringLiteral("someone else's"));
    }

    // A report whose last line is still a progress line while no scanner
    // runs was cut short, whatever the language it was written in; the file
    // stays as the scanner left it.
    void anUnfinishedReportShowsAsInterrupted()
    {
        ShellFixture fixture;
        const QByteArray progress = "Prüfung läuft: 12 Dateien geprüft, 0 Funde, in /home/ann";
        prepare(fixture, {QStringLiteral("write anaviri.txt ") + QString::fromUtf8(progress), QStringLiteral("stay")});
        const QString interrupted = fixture.window->state().text(localisation::Text::ScanInterrupted);
        const QString shown = QString::fromUtf8(progress);
        auto* page = &fixture.open<pages::ScanPage>(Target::Scan);
        const auto ended = [&] {
            QVERIFY(waitUntil([&] { return !scannerRunning(fixture); }));
            fixture.window->onMonitorTimer();
            QCOMPARE(page->reportBox->toPlainText(), shown + u'\n' + interrupted);
            QCOMPARE(fixture.folder.read(QStringLiteral("anaviri.txt")), progress + "\r\n");
        };
        const auto runningAgain = [&] {
            page->scanButton->click();
            QVERIFY(waitUntil([&] { return scannerRunning(fixture); }));
            fixture.window->onMonitorTimer();
            QCOMPARE(page->reportBox->toPlainText(), shown);
        };

        page->scanButton->click();
        QVERIFY(waitUntil([&] { return fixture.folder.read(QStringLiteral("anaviri.txt")) == progress + "\r\n"; }));
        fixture.window->onMonitorTimer();
        QCOMPARE(page->reportBox->toPlainText(), shown);
        page->stopButton->click();
        ended();

        // From now on scans write nothing: the report stays the cut one.
        fixture.folder.setBehaviour(kScanner, {QStringLiteral("stay")});
        runningAgain();
        QVERIFY(fixture.session->companions.stop(kScanner)); // killed
        ended();

        runningAgain();
        fixture.stop(); // quit mid-scan
        fixture.start();
        page = &fixture.open<pages::ScanPage>(Target::Scan);
        QCOMPARE(page->reportBox->toPlainText(), shown + u'\n' + interrupted);
    }

    // A scan over before the next tick still shows its report, whether the
    // button started it or the drive shown in the box, chosen again.
    void aShortScanShowsItsReport()
    {
        ShellFixture fixture;
        prepare(fixture, {QStringLiteral("write anaviri.txt Not done: no signatures"), QStringLiteral("exit")});
        fixture.folder.write(QStringLiteral("anaviri.txt"), "old report\r\n");
        auto& page = fixture.open<pages::ScanPage>(Target::Scan);
        const auto endsAndShows = [&](int starts) {
            QVERIFY(waitUntil(
                [&] { return fixture.folder.argumentsOf(kScanner).size() == starts && !scannerRunning(fixture); }));
            fixture.window->onMonitorTimer();
            QCOMPARE(page.reportBox->toPlainText(), QStringLiteral("Not done: no signatures"));
        };
        page.scanButton->click();
        endsAndShows(1);

#ifdef Q_OS_LINUX
        // Under wine the drive's listing never answers as Windows does, and
        // no drive scan follows it.
        fixture.folder.write(QStringLiteral("anaviri.txt"), "old report\r\n");
        fixture.window->onMonitorTimer();
        if (page.driveBox->currentIndex() < 0)
            page.driveBox->setCurrentIndex(0);
        fixture.questions.clear();
        fixture.answer = true;
        choose(page.driveBox, page.driveBox->currentIndex());
        QCOMPARE(fixture.questions.size(), 1);
        endsAndShows(2);
        QCOMPARE(fixture.folder.argumentsOf(kScanner).last(),
            (QStringList {QStringLiteral("3"), page.driveBox->currentText()}));
#endif
    }

#ifdef Q_OS_LINUX
    // Volumes mounted for the test, in the test's own mount namespace.
    void aVolumeIsScannedAfterTheQuestion()
    {
        ShellFixture fixture;
        prepare(fixture);
        const auto& state = fixture.window->state();
        auto& page = fixture.open<pages::ScanPage>(Target::Scan);
        QCOMPARE(page.driveBox->itemText(0), QStringLiteral("/"));
        // Picking a drive asks first; No scans nothing.
        fixture.session->seams.askYesNo = [&](QWidget*, const QString& text) {
            fixture.questions.append(text);
            return false;
        };
        choose(page.driveBox, 0);
        QCOMPARE(fixture.questions, QStringList {state.caption(Caption::ScanDriveQuestion) + QStringLiteral("/ ?")});
        QVERIFY(fixture.folder.argumentsOf(kScanner).isEmpty());

        if (!mounts->available())
            QSKIP(qPrintable(QStringLiteral("attached volumes need real mounts: ") + mounts->problem()));
        const auto unmountFirst = qScopeGuard([&] { mounts->unmountAll(); });
        QDir media(fixture.folder.path());
        const QString stick = media.filePath(QStringLiteral("USB \"STICK\" \u00e9t\u00e9"));
        const QString card = media.filePath(QStringLiteral("CARD"));
        const QString other = media.filePath(QStringLiteral("other"));
        for (const QString& folder : {stick, card, other})
            QVERIFY(media.mkpath(folder));
        fixture.questions.clear();
        fixture.answer = true;
        fixture.session->seams.askYesNo = [&](QWidget*, const QString& text) {
            fixture.questions.append(text);
            // The card is pulled out while the question is open.
            if (text.endsWith(QStringLiteral("CARD ?")))
                mounts->unmount(card);
            return true;
        };
        const auto settle = [] { QTest::qWait(300); }; // the watch reacts within the event loop

        // Neither a memory file system nor a second view of a mounted one is
        // an attached volume.
        QVERIFY(mounts->mountTmpfs(other));
        settle();
        QVERIFY(fixture.questions.isEmpty());
        QVERIFY(mounts->unmount(other));

        QVERIFY(mounts->mountVolume(stick));
        QVERIFY(QTest::qWaitFor([&] { return !fixture.questions.isEmpty(); }, 5000));
        QCOMPARE(
            fixture.questions, QStringList {state.caption(Caption::ScanDriveQuestion) + stick + QStringLiteral(" ?")});
        QVERIFY(waitUntil([&] { return fixture.folder.argumentsOf(kScanner).size() == 1; }));
        QCOMPARE(fixture.folder.argumentsOf(kScanner).first(), (QStringList {QStringLiteral("3"), stick}));

        QVERIFY(mounts->bind(stick, other));
        settle();
        QCOMPARE(fixture.questions.size(), 1);

        QVERIFY(mounts->mountVolume(card));
        QVERIFY(QTest::qWaitFor([&] { return fixture.questions.size() == 2; }, 5000));
        settle();
        QCOMPARE(fixture.folder.argumentsOf(kScanner).size(), 1); // gone before the answer: no scan
    }
#endif
};

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
