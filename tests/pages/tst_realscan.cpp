// The control centre with the real scanner laid out beside it: a scan
// started from the scan page, its report shown as it runs and once it has
// ended, and the finding among the home page's detections; a scan cut short
// shown as interrupted.
#include "pages/protection/homepage.h"
#include "pages/protection/scanpage.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "shellfixture.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QUuid>

using namespace corvatek;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;
using corvatek::test::writeFile;
using corvatek::test::waitUntil;

namespace {

const QString kScanner = QStringLiteral("vkprobe.exe");
const QString kSignature = QStringLiteral("Corvatek.Test.Whole");

// A home with enough clean files that a scan takes a few ticks, one file
// the test's own signature matches, and that signature. Returns the home.
QString prepareHome(const QTemporaryDir& user)
{
    const QString home = user.filePath(QStringLiteral("home"));
    const QByteArray bad = "bad-" + QUuid::createUuid().toRfc4122().toHex();
    for (int i = 0; i < 3000; ++i)
        writeFile(home + QStringLiteral("/Documents/note-%1.txt").arg(i), "note " + QByteArray::number(i));
    writeFile(home + QStringLiteral("/Downloads/setup.bin"), bad);
    const QString signatures = user.filePath(QStringLiteral("signatures"));
    writeFile(signatures + QStringLiteral("/test.hdb"),
        QCryptographicHash::hash(bad, QCryptographicHash::Md5).toHex() + ':' + QByteArray::number(bad.size()) + ':' +
            kSignature.toUtf8() + '\n');
    QDir().mkpath(user.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(user.filePath(QStringLiteral("runtime")),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The control centre starts its companions with its own environment.
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(user.filePath(QStringLiteral("runtime"))));
    qputenv("CORVATEK_SIGNATURES", QFile::encodeName(signatures));
    return home;
}

void startWithScanner(ShellFixture& fixture)
{
    fixture.installLanguageFiles();
    fixture.setLanguage(QStringLiteral("GB"));
    QVERIFY(QFile::copy(QStringLiteral(CORVATEK_VKPROBE), fixture.folder.file(kScanner)));
    fixture.start();
}

} // namespace

class TestRealScan : public QObject {
    Q_OBJECT

private slots:
    void aScanFromThePageReachesTheHomePage()
    {
        QTemporaryDir user;
        const QString home = prepareHome(user);
        ShellFixture fixture;
        startWithScanner(fixture);
        auto& page = fixture.open<pages::ScanPage>(Target::Scan);
        page.fullChoice->click();
        page.scanButton->click();

        // Ticks as the monitor gives them, only faster.
        bool shownWhileRunning = false;
        QVERIFY(waitUntil(
            [&] {
                const bool running = fixture.session->companions.isRunning(kScanner);
                fixture.window->onMonitorTimer();
                shownWhileRunning = shownWhileRunning || (running && !page.reportBox->toPlainText().isEmpty());
                return !running;
            },
            120000));
        fixture.window->onMonitorTimer();
        const QString report = page.reportBox->toPlainText();
        QVERIFY2(report.contains(home + QStringLiteral("/Downloads/setup.bin : ") + kSignature), qPrintable(report));
        QVERIFY(!report.endsWith(fixture.window->state().text(localisation::Text::ScanInterrupted)));
        QVERIFY(page.scanButton->isEnabled());
        QVERIFY(shownWhileRunning);

        auto& homePage = fixture.open<pages::HomePage>(Target::Home);
        QCOMPARE(homePage.virusBox->count(), 1);
        QVERIFY(homePage.virusBox->itemText(0).contains(kSignature));
    }

    // Stopped or killed mid-scan, whatever language it writes in, the scanner
    // leaves a report the page shows as interrupted, and the file as it was.
    void aScanCutShortShowsAsInterrupted()
    {
        QTemporaryDir user;
        prepareHome(user);
        ShellFixture fixture;
        startWithScanner(fixture);
        auto& page = fixture.open<pages::ScanPage>(Target::Scan);
        page.fullChoice->click();
        const QString report = fixture.folder.file(QStringLiteral("anaviri.txt"));
        bool killed = false;
        for (const char* code : {"FR", "GB", "DE", "ESP", "ITA"}) {
            fixture.setLanguage(QString::fromLatin1(code));
            // Its finding waits for this lock, so the scan cannot end before
            // the test cuts it short.
            const auto held = platform::FileLock::acquire(
                QFile::encodeName(fixture.folder.file(QStringLiteral("viri.txt"))).toStdString(),
                platform::LockMode::Write, std::chrono::seconds(5));
            QVERIFY(held.lock);
            QVERIFY(QFile::remove(report));
            page.scanButton->click();
            QVERIFY(waitUntil([&] { return QFile::exists(report); }));
            if ((killed = !killed))
                QVERIFY(fixture.session->companions.stop(kScanner));
            else
                page.stopButton->click();
            QVERIFY(waitUntil([&] { return !fixture.session->companions.isRunning(kScanner); }));
            const QByteArray left = fixture.folder.read(QStringLiteral("anaviri.txt"));
            fixture.window->onMonitorTimer();
            QVERIFY2(page.reportBox->document()->lastBlock().text() ==
                    fixture.window->state().text(localisation::Text::ScanInterrupted),
                qPrintable(QString::fromLatin1(code) + u'\n' + page.reportBox->toPlainText()));
            QCOMPARE(fixture.folder.read(QStringLiteral("anaviri.txt")), left);
        }
    }
};

QTEST_MAIN(TestRealScan)
#include "tst_realscan.moc"
