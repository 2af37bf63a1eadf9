// What a key pressed in passing answers: a question whose Yes deletes is
// answered No by Return and Escape; any other keeps Yes on Return.
#include "pages/foldertree.h"
#include "pages/tools/cleanuppage.h"
#include "shellfixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
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
        qputenv("HOME", QFile::encodeName(home_.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath(QStringLiteral(".config"))));
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
    }
};

QTEST_MAIN(TestQuestions)
#include "tst_questions.moc"
