#include "pages/tools/addresspage.h"
#include "pages/tools/linkspage.h"
#include "pages/tools/rulefilesmodel.h"
#include "pages/tools/rulesdetailpage.h"
#include "pages/tools/scramblingpage.h"
#include "shellfixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <sys/stat.h>

using namespace corvatek;
using corvatek::shell::Target;
using corvatek::test::ShellFixture;

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The wrapping sum of the little-endian words [first, first + count).
quint32 sumOfWords(const QByteArray& bytes, int first, int count)
{
    quint32 sum = 0;
    for (int word = first; word < first + count; ++word) {
        quint32 value = 0;
        for (int b = 3; b >= 0; --b)
            value = value << 8 | quint8(bytes[word * 4 + b]);
        sum += value;
    }
    return sum;
}

} // namespace

class TestToolFiles : public QObject {
    Q_OBJECT

    ShellFixture& started(ShellFixture& fixture, const QString& language = QStringLiteral("GB"))
    {
        fixture.installLanguageFiles();
        fixture.setLanguage(language);
        fixture.start();
        return fixture;
    }

    // Builds the rules detail page afresh and waits for its files' facts
    // (a fact still unread shows empty, failing the comparisons).
    pages::RuleFilesModel& detail(ShellFixture& fixture)
    {
        auto& page = fixture.open<pages::RulesDetailPage>(Target::RulesDetail);
        test::waitUntil([&] {
            QCoreApplication::processEvents();
            return !page.rules->readingFiles();
        });
        return *page.rules;
    }

private slots:
    void scramblingIsExactReversibleAndNeverLosesTheSource()
    {
        ShellFixture fixture;
        started(fixture);
        auto* page = &fixture.open<pages::ScramblingPage>(Target::Scrambling);
        const QString plain = fixture.folder.file(QStringLiteral("plain.bin"));
        const QString scrambled = fixture.folder.file(QStringLiteral("scrambled.bin"));
        const QString restored = fixture.folder.file(QStringLiteral("restored.bin"));
        page->plainField->setText(plain);
        page->scrambledField->setText(scrambled);

        const QByteArray bytes = randomBytes(2049, 1);
        write(plain, bytes);
        fixture.answer = false;
        page->scrambleButton->click();
        QVERIFY(!QFile::exists(scrambled));

        // Byte i meets the key 'q'+'z'+'j'+'w'+'v' + i, whatever the block.
        fixture.answer = true;
        page->scrambleButton->click();
        QByteArray expected = bytes;
        for (int i = 0; i < expected.size(); ++i)
            expected[i] = char((quint8(bytes[i]) + 578 + i) % 256);
        QCOMPARE(contents(scrambled), expected);
        page->scrambleButton->click();
        QCOMPARE(contents(scrambled), expected);

        page->plainField->setText(restored);
        for (const qsizetype size : {0, 1, 2047, 2048, 2049, 3 * 1024 * 1024 + 5}) {
            const QByteArray original = randomBytes(size, quint32(size));
            write(plain, original);
            page->plainField->setText(plain);
            page->scrambleButton->click();
            QCOMPARE(QFileInfo(scrambled).size(), size);
            page->plainField->setText(restored);
            page->restoreButton->click();
            QCOMPARE(contents(restored), original);
        }
        QVERIFY(fixture.reports.isEmpty());

        // The same file under other names is refused before anything is
        // written, so the source stays whole.
        write(plain, bytes);
        QVERIFY(QFile::link(plain, fixture.folder.file(QStringLiteral("link.bin"))));
        QDir().mkpath(fixture.folder.file(QStringLiteral("sub")));
        page->plainField->setText(plain);
        for (const QString& same : {fixture.folder.file(QStringLiteral("link.bin")),
                 fixture.folder.file(QStringLiteral("sub/../plain.bin")), plain}) {
            page->scrambledField->setText(same);
            page->scrambleButton->click();
            QVERIFY(fixture.reports.takeLast().contains(QLatin1String("same file")));
            QCOMPARE(contents(plain), bytes);
        }

        // Failures name the operation; what was written stays. A missing
        // source and a pipe (no writer) end without waiting.
        page->scrambledField->setText(QStringLiteral("/dev/full"));
        page->scrambleButton->click();
        QVERIFY(fixture.reports.takeLast().contains(QLatin1String("/dev/full could not be written")));
        page->scrambledField->setText(fixture.folder.file(QStringLiteral("no such folder/x")));
        page->scrambleButton->click();
        QVERIFY(fixture.reports.takeLast().contains(QLatin1String("could not be created")));
        // A relative path would land wherever the program was started.
        page->scrambledField->setText(QStringLiteral("out.bin"));
        page->scrambleButton->click();
        QVERIFY(fixture.reports.takeLast().contains(QLatin1String("no full path")));
        QVERIFY(!QFile::exists(QDir::current().filePath(QStringLiteral("out.bin"))));
        {
            const QString locked = fixture.folder.file(QStringLiteral("locked"));
            QDir().mkpath(locked);
            QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
            test::OrdinaryUserFileAccess ordinary;
            page->scrambledField->setText(locked + QStringLiteral("/out.bin"));
            page->scrambleButton->click();
            QVERIFY(fixture.reports.takeLast().contains(QLatin1String("Permission denied")));
        }
        const QString pipe = fixture.folder.file(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        page->plainField->setText(pipe);
        page->scrambledField->setText(scrambled);
        page->scrambleButton->click();
        QVERIFY(fixture.reports.takeLast().contains(QLatin1String("not a regular file")));
        page->plainField->setText(fixture.folder.file(QStringLiteral("missing")));
        page->scrambleButton->click();
        QVERIFY(fixture.reports.isEmpty());
        QCOMPARE(fixture.questions.size(), 24); // every press asked first
    }

    // What the control centre itself tells of files speaks the chosen
    // language, as the captions do.
    void ownMessagesSpeakTheLanguage()
    {
        ShellFixture fixture;
        started(fixture, QStringLiteral("DE"));
        auto& page = fixture.open<pages::ScramblingPage>(Target::Scrambling);
        const QString plain = fixture.folder.file(QStringLiteral("plain.bin"));
        write(plain, "plain");
        page.plainField->setText(plain);
        page.scrambledField->setText(plain);
        fixture.answer = true;
        page.scrambleButton->click();
        QVERIFY2(fixture.reports.value(0).contains(QStringLiteral("sind dieselbe Datei; sie blieb, wie sie war.")),
            qPrintable(fixture.reports.value(0)));

        data::ProgramFiles files(fixture.folder.path());
        files.setLanguage(localisation::Language::Italian);
        fixture.folder.write(QStringLiteral("portsfermes.txt"), "21\r\n");
        test::makeReadOnly(fixture.folder.file(QStringLiteral("portsfermes.txt")));
        test::OrdinaryUserFileAccess ordinary;
        const data::FileResult written = files.writeLines(u"portsfermes.txt", {QStringLiteral("22")});
        QVERIFY2(written.error.startsWith(QStringLiteral("Non è stato possibile aprire ")) &&
                written.error.contains(QStringLiteral(" in scrittura: ")),
            qPrintable(written.error));
    }

    void rulesDetailShowsEachProgramFilesFacts()
    {
        ShellFixture fixture;
        started(fixture);
        const auto& state = fixture.session->state;
        const QString unknown = state.caption(Caption::Unknown);
        const auto program = [&](const QString& name) { return fixture.folder.file(name); };
        const QByteArray forty = randomBytes(40, 40);
        const QByteArray megabyte = randomBytes(1024 * 1024, 7);
        write(program(QStringLiteral("forty")), forty);
        write(program(QStringLiteral("eleven")), randomBytes(11, 11));
        write(program(QStringLiteral("twelve")), randomBytes(12, 12));
        write(program(QStringLiteral("large.txt")), megabyte);
        QCOMPARE(::mkfifo(QFile::encodeName(program(QStringLiteral("pipe"))).constData(), 0600), 0);
        const QString longPath = QLatin1Char('/') + QString(4095, QLatin1Char('a'));
        const auto rule = [](const QString& path, const QString& champ4 = QStringLiteral("1.0")) {
            return QStringList {QStringLiteral("p.exe"), QStringLiteral("07/12/2026 10:15:30"), QStringLiteral("allow"),
                champ4, QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("TCP"), path, QStringLiteral("note"),
                QStringLiteral("0"), QStringLiteral("r")};
        };
        fixture.writeTable(data::TableId::Rules,
            {rule(program(QStringLiteral("forty"))), rule(program(QStringLiteral("eleven"))),
                rule(program(QStringLiteral("twelve"))), rule(program(QStringLiteral("large.txt"))),
                rule(QString(), QStringLiteral("?")), rule(program(QStringLiteral("gone"))),
                rule(program(QStringLiteral("pipe"))), rule(longPath), rule(program(QStringLiteral("forty")))});

        pages::RuleFilesModel* rules = &detail(fixture);
        QCOMPARE(rules->rowCount(), 9);
        QCOMPARE(rules->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(),
            state.caption(Caption::FileDateHeader) + QStringLiteral(" (a)"));
        QCOMPARE(rules->text(0, 8), QString::number(sumOfWords(forty, 5, 4)));
        QCOMPARE(rules->text(8, 8), rules->text(0, 8));
        QCOMPARE(rules->text(1, 8), unknown);
        QCOMPARE(rules->text(2, 8), QString::number(sumOfWords(randomBytes(12, 12), 1, 1)));
        QCOMPARE(rules->text(3, 8), QString::number(sumOfWords(megabyte, 131072, 500)));
        QCOMPARE(rules->text(3, 5), QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment());
        QCOMPARE(rules->text(3, 3), QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
        QCOMPARE(rules->text(3, 6), program(QStringLiteral("large.txt")));
        // No program file: Caption::Unknown wherever a fact of it would be.
        QCOMPARE((QStringList {rules->text(4, 3), rules->text(4, 4), rules->text(4, 5), rules->text(4, 6),
                     rules->text(4, 7), rules->text(4, 8), rules->text(4, 9)}),
            (QStringList {unknown, unknown, unknown, unknown, QString(), unknown, unknown}));
        // A program file that is gone, and one whose path no system takes.
        for (const int row : {5, 7}) {
            QCOMPARE(rules->text(row, 3), QLocale::system().toString(QDate(1899, 12, 30), QLocale::ShortFormat));
            QCOMPARE(rules->text(row, 5), QString());
            QCOMPARE(rules->text(row, 6), unknown);
            QCOMPARE(rules->text(row, 8), unknown);
        }
        QCOMPARE(rules->text(7, 7), longPath);
        // A pipe is there, but has no content to sum, and reading it waits for nobody.
        QCOMPARE(rules->text(6, 6), program(QStringLiteral("pipe")));
        QCOMPARE(rules->text(6, 8), unknown);
        QVERIFY(!rules->text(6, 5).isEmpty());

        // Only a word from the middle on moves the signature; so does a
        // length that moves the middle.
        const QString before = rules->text(3, 8);
        QByteArray changed = megabyte;
        changed[1000] = char(changed[1000] + 1);
        write(program(QStringLiteral("large.txt")), changed);
        QCOMPARE(detail(fixture).text(3, 8), before);
        changed[131072 * 4 + 1999] = char(changed[131072 * 4 + 1999] + 1);
        write(program(QStringLiteral("large.txt")), changed);
        QVERIFY(detail(fixture).text(3, 8) != before);
        write(program(QStringLiteral("large.txt")), changed + QByteArray(8, '\0'));
        QCOMPARE(detail(fixture).text(3, 8), QString::number(sumOfWords(changed + QByteArray(8, '\0'), 131073, 500)));
    }

    void linksAreTheLanguagesAndOpenWhenPicked()
    {
        ShellFixture fixture;
        fixture.installLanguageFiles();
        fixture.folder.write(QStringLiteral("liens_esp.txt"), "https://a.example/\r\nhttps://b.example/\n");
        started(fixture, QStringLiteral("ESP"));
        auto* page = &fixture.open<pages::LinksPage>(Target::Links);
        QListView* list = page->linkList;
        QCOMPARE(list->model()->rowCount(), 2);
        QVERIFY(fixture.opened.isEmpty());

        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        const QRect second = list->visualRect(list->model()->index(1, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(fixture.opened,
            (QStringList {QStringLiteral("https://a.example/"), QStringLiteral("https://b.example/"),
                QStringLiteral("https://b.example/")}));

        // Bytes that are no text still list, and nothing breaks.
        fixture.folder.write(QStringLiteral("liens_esp.txt"), randomBytes(64 * 1024, 3));
        page = &fixture.open<pages::LinksPage>(Target::Links);
        QVERIFY(page->linkList->model()->rowCount() > 0);
    }

    void addressLineAndWebPage()
    {
        ShellFixture fixture;
        started(fixture, QStringLiteral("DE"));
        auto* page = &fixture.open<pages::AddressPage>(Target::Address);
        QCOMPARE(page->webAddressButton->text(), QStringLiteral("Internet-IP"));
        page->machineAddressButton->click();
        page->machineAddressButton->click();
        QCOMPARE(page->addressBox->count(), 1);
        QVERIFY(page->addressBox->itemText(0).contains(QLatin1Char(' ')));
        QCOMPARE(page->addressBox->currentText(), QString());
        page->webAddressButton->click();
        QCOMPARE(fixture.opened.size(), 1);
        QVERIFY(fixture.opened.first().endsWith(QLatin1String(".example/logiciels-gratuits/ipinternet.php")));
    }
};

QTEST_MAIN(TestToolFiles)
#include "tst_toolfiles.moc"
