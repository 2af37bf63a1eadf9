// What a key pressed in passing answers: a question whose Yes deletes is
// answered No by Return and Escape; any other keeps Yes on Return.
#include "pages/foldertree.h"
#include "pages/protection/diskcheckpage.h"
#include "pages/protection/modificationspage.h"
#include "pages/security/settingspage.h"
#include "pages/tools/cleanuppage.h"
#include "pages/tools/shortcutspage.h"
#include "shellfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using corvatek::shell::Seams;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;

namespace {

// Presses `key` on the question once it shows.
void pressOnQuestion(Qt::Key key)
{
    QTimer::singleShot(0, [key] {
        QWidget* box = QApplication::activeModalWidget();
        if (box)
            QTest::keyClick(box, key);
    });
}

} // namespace

class TestQuestions : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

private slots:
    void initTestCase()
    {
        corvatek::test::useAsHome(home_.path());
    }

    void keysInPassingNeverDelete()
    {
        const Seams system = Seams::system();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            pressOnQuestion(key);
            QVERIFY(!system.askBeforeDeleting(nullptr, QStringLiteral("Delete?")));
        }
        pressOnQuestion(Qt::Key_Return);
        QVERIFY(system.askYesNo(nullptr, QStringLiteral("Scan the volume?")));

#ifdef Q_OS_LINUX
        // The downloads folder is found under HOME on Linux only.
        // Through the page: Return on "clear the downloads folder?" leaves it.
        const QString downloads = home_.filePath(QStringLiteral("Downloads"));
        QDir().mkpath(downloads);
        QFile file(downloads + QStringLiteral("/setup.exe"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        fixture.start();
        fixture.session->seams.askBeforeDeleting = system.askBeforeDeleting;
        auto& page = fixture.open<corvatek::pages::CleanupPage>(Target::Cleanup);
        QCOMPARE(page.rightFiles->folder(), downloads);
        pressOnQuestion(Qt::Key_Return);
        page.cleanRightButton->click();
        QVERIFY(QFile::exists(downloads + QStringLiteral("/setup.exe")));
#endif
    }

    // Each page's question whose Yes deletes or empties is asked as such.
    void deletingQuestionsAreAskedAsSuch_data()
    {
        QTest::addColumn<int>("target");
        QTest::newRow("shortcuts and trash") << int(Target::Shortcuts);
        QTest::newRow("disk check list") << int(Target::DiskCheck);
        QTest::newRow("lists to clear") << int(Target::Settings);
        QTest::newRow("events") << int(Target::Modifications);
    }

    void deletingQuestionsAreAskedAsSuch()
    {
        QFETCH(int, target);
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.setLanguage(QStringLiteral("GB"));
        fixture.folder.write(QStringLiteral("Modifications.txt"), "a change\r\n");
        fixture.start();
        switch (Target(target)) {
        case Target::Shortcuts:
            fixture.open<corvatek::pages::ShortcutsPage>(Target::Shortcuts).deleteButton->click();
            break;
        case Target::DiskCheck:
            fixture.open<corvatek::pages::DiskCheckPage>(Target::DiskCheck).deleteFilesButton->click();
            break;
        case Target::Settings: {
            auto& page = fixture.open<corvatek::pages::SettingsPage>(Target::Settings);
            page.clearingChoice->setCurrentIndex(0);
            page.clearListButton->click();
            break;
        }
        default: {
            auto& page = fixture.open<corvatek::pages::ModificationsPage>(Target::Modifications);
            QVERIFY(page.fileList->count() > 0);
            page.fileList->setCurrentRow(0);
            page.deleteFileButton->click();
            break;
        }
        }
        QCOMPARE(fixture.deletingQuestions.size(), 1);
        QCOMPARE(fixture.questions, fixture.deletingQuestions);
    }
};

QTEST_MAIN(TestQuestions)
#include "tst_questions.moc"
