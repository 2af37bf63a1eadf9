#include "pages/checklistmodel.h"
#include "pages/protection/diskcheckpage.h"
#include "platform/files.h"
#include "shellfixture.h"

#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using namespace corvatek;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;
using corvatek::test::waitUntil;

namespace {

pages::DiskCheckPage& prepare(ShellFixture& fixture)
{
    fixture.installLanguageFiles();
    fixture.setLanguage(QStringLiteral("GB"));
    fixture.folder.installCompanion(QStringLiteral("vkcheck.exe"), {QStringLiteral("exit")});
    fixture.folder.installCompanion(QStringLiteral("vknotify.exe"), {QStringLiteral("exit")});
    fixture.diskToolStep = std::chrono::milliseconds(40);
    fixture.start();
    return fixture.open<pages::DiskCheckPage>(Target::DiskCheck);
}

void chooseFolder(pages::DiskCheckPage& page, const QString& folder)
{
    page.folderTree->setCurrentIndex(page.folders->index(folder));
    QCOMPARE(page.folderField->text(), folder);
}

// Waits out the operation the page shows as running.
bool finished(const pages::DiskCheckPage& page)
{
    return QTest::qWaitFor([&] { return page.checkDiskButton->isEnabled(); }, 5000);
}

} // namespace

class TestDiskCheck : public QObject {
    Q_OBJECT

private slots:
    void theToolRunsWhileTheWindowStaysUsable()
    {
        ShellFixture fixture;
        auto& page = prepare(fixture);
        const auto& state = fixture.window->state();
        QVERIFY(page.folderField->text().isEmpty() && page.statusLabel->text().isEmpty());

        page.checkFolderButton->click();
        QCOMPARE(page.statusLabel->text(), state.caption(Caption::PleaseWait));
        for (const QPushButton* button :
            {page.checkDiskButton, page.checkFolderButton, page.listFilesButton, page.deleteFilesButton})
            QVERIFY(!button->isEnabled());
        QVERIFY(finished(page));
        QCOMPARE(page.statusLabel->text(), state.caption(Caption::Done));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vkcheck.exe")), QList<QStringList> {{QStringLiteral("1")}});
        QVERIFY(waitUntil([&] { return fixture.folder.argumentsOf(QStringLiteral("vknotify.exe")).size() == 1; }));
        QCOMPARE(
            fixture.folder.argumentsOf(QStringLiteral("vknotify.exe")).first(), QStringList {QStringLiteral("ok1")});

        // A chosen folder with a blank reaches the tool as one argument.
        const QString folder = fixture.folder.file(QStringLiteral("My Documents"));
        QVERIFY(QDir().mkpath(folder));
        chooseFolder(page, folder);
        fixture.window->levelSlider->setValue(1);
        page.checkFolderButton->click();
        QVERIFY(finished(page));
        page.checkDiskButton->click();
        QVERIFY(finished(page));
        QVERIFY(waitUntil([&] { return fixture.folder.argumentsOf(QStringLiteral("vkcheck.exe")).size() == 3; }));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vkcheck.exe")).mid(1),
            (QList<QStringList> {{QStringLiteral("1"), folder}, {QStringLiteral("0"), QStringLiteral("0")}}));
        QTest::qWait(100);
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vknotify.exe")).size(), 1); // level 1 tells nothing

        // Leaving the page during the wait: the run still reports, the page's
        // controls are left alone.
        fixture.window->levelSlider->setValue(2);
        page.checkDiskButton->click();
        fixture.clickItem(test::ShellFixture::rowOf(Target::Home));
        QVERIFY(
            QTest::qWaitFor([&] { return fixture.folder.argumentsOf(QStringLiteral("vknotify.exe")).size() == 2; }));
        QCOMPARE(
            fixture.folder.argumentsOf(QStringLiteral("vknotify.exe")).last(), QStringList {QStringLiteral("ok0")});

        // Typed characters: digits and backspace only, into a read-only field.
        auto& again = fixture.open<pages::DiskCheckPage>(Target::DiskCheck);
        QTest::keyClicks(again.folderField, QStringLiteral("a1"));
        QVERIFY(again.folderField->text().isEmpty());
    }

    void theListAndTheDeletion()
    {
        ShellFixture fixture;
        auto& page = prepare(fixture);
        QDir data(fixture.folder.file(QStringLiteral("data")));
        QVERIFY(data.mkpath(QStringLiteral("keep")) && data.mkpath(QStringLiteral("c:")));
        const QString a = data.filePath(QStringLiteral("a.tmp"));
        const QString b = data.filePath(QStringLiteral("b.tmp"));
        const QString c = data.filePath(QStringLiteral("c.tmp"));
        const QString d = data.filePath(QStringLiteral("c:/d.tmp"));
        const QString kept = data.filePath(QStringLiteral("keep/k.tmp"));
        for (const QString& file : {a, b, c, d, kept})
            fixture.folder.write(QDir(fixture.folder.path()).relativeFilePath(file), "x");
        QByteArray list = a.toUtf8() + "\r\n" + data.filePath(QStringLiteral("c://d.tmp")).toUtf8() + "\r\n" +
            data.filePath(QStringLiteral("gone.tmp")).toUtf8() + "\r\n" + kept.toUtf8() + "\r\n" +
            data.path().toUtf8() + "\r\n" + b.toUtf8() + "\r\n" + QByteArray("\x01\x00\xff\xfe", 4) + "\r\n" +
            QByteArray(1 << 20, '/') + "\r\n" + c.toUtf8() + "\r\n";
        fixture.folder.write(QStringLiteral("liste2.txt"), list);

        chooseFolder(page, data.filePath(QStringLiteral("keep")));
        page.listFilesButton->click();
        QVERIFY(finished(page));
        QCOMPARE(fixture.folder.argumentsOf(QStringLiteral("vkcheck.exe")), QList<QStringList> {{QStringLiteral("2")}});
        QCOMPARE(page.checkList->texts(), (QStringList {a, d, b, c}));

        page.checkList->setData(page.checkList->index(2), Qt::Checked, Qt::CheckStateRole);
        fixture.answer = false;
        page.deleteFilesButton->click();
        for (const QString& file : {a, b, c, d})
            QVERIFY(QFile::exists(file));

        // Held by a program: spared like a checked file.
        fixture.folder.installCompanion(QStringLiteral("vkhold.exe"), {QStringLiteral("lock data/c.tmp -1")});
        QVERIFY(fixture.session->companions.shellStart(QStringLiteral("vkhold.exe")));
        QVERIFY(waitUntil([&] { return platform::fileInUse(c.toStdString()); }));
        fixture.answer = true;
        page.deleteFilesButton->click();
        QCOMPARE(fixture.questions, QStringList(2, fixture.window->state().caption(Caption::AreYouSure)));
        QVERIFY(!QFile::exists(a) && !QFile::exists(d));
        QVERIFY(QFile::exists(b) && QFile::exists(c) && QFile::exists(kept));
        QCOMPARE(page.checkList->rowCount(), 4); // listed until the next refresh

        // No list from the tool: the list keeps what it shows.
        QVERIFY(QFile::remove(fixture.folder.file(QStringLiteral("liste2.txt"))));
        page.listFilesButton->click();
        QVERIFY(finished(page));
        QCOMPARE(page.checkList->rowCount(), 4);
    }
};

QTEST_MAIN(TestDiskCheck)
#include "tst_diskcheck.moc"
