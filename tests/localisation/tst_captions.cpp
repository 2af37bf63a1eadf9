#include "data/textcodec.h"
#include "localisation/captions.h"
#include "localisation/timeformat.h"
#include "localisation/words.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace corvatek;
using namespace corvatek::localisation;
using corvatek::test::TestFolder;

namespace {

QByteArray numberedLines(int count)
{
    QByteArray bytes;
    for (int n = 1; n <= count; ++n)
        bytes += "line " + QByteArray::number(n) + "\r\n";
    return bytes;
}

const QStringList kCodes {
    QStringLiteral("FR"), QStringLiteral("GB"), QStringLiteral("DE"), QStringLiteral("ESP"), QStringLiteral("ITA")};

// The navigation list: captions in list order, then the two words in their
// places; see the navigation item table.
const int kNavigationCaptions[] = {1, 2, 3, 4, 5, 6, 57, 58, 59, 99, 60, 61, 62, 85, 90, 96, 63, 48, 64, 25};

} // namespace

class TestCaptions : public QObject {
    Q_OBJECT

private slots:
    void captionsComeFromTheLinesOfTheFile()
    {
        TestFolder folder;
        QByteArray bytes = numberedLines(150);
        bytes.replace("line 7\r\n", QByteArray(80, 'x') + "\r\n");
        bytes.replace("line 9\r\n", "\r\n");
        // A character outside the basic plane at the cut stays whole.
        bytes.replace("line 8\r\n", QByteArray(49, 'y') + "\xf0\x9f\x98\x80z\r\n");
        folder.write(QStringLiteral("crvtk_gb.txt"), bytes);
        CaptionTable captions;
        QCOMPARE(captions.load(folder.path(), QStringLiteral("GB")), QString());
        QCOMPARE(captions.caption(Caption::Home), QStringLiteral("line 1"));
        QCOMPARE(captions.caption(Caption::Unused7), QString(50, QLatin1Char('x')));
        QCOMPARE(captions.caption(Caption::Unused8), QString(49, QLatin1Char('y')));
        QCOMPARE(captions.caption(Caption::NumberHeader), QString());
        QCOMPARE(captions.caption(Caption::EveryHour), QStringLiteral("line 101"));
        for (const int outside : {0, localisation::kCaptionCount + 1})
            QCOMPARE(captions.caption(outside), QString());
    }

    // Short, missing and binary files leave the captions they do not reach
    // empty, and say which file it was.
    void shortMissingOrGarbageFilesLeaveEmptyCaptionsAndSaySo()
    {
        TestFolder folder;
        folder.write(QStringLiteral("crvtk_fr.txt"), numberedLines(101));
        folder.write(QStringLiteral("crvtk_de.txt"), "eins\ncaf\xe9");
        QByteArray garbage = numberedLines(101);
        garbage[20] = '\0';
        folder.write(QStringLiteral("crvtk_es.txt"), garbage);
        CaptionTable captions;
        QCOMPARE(captions.load(folder.path(), QStringLiteral("FR")), QString());

        // Said in the language asked for, from the program's own words.
        QVERIFY(captions.load(folder.path(), QStringLiteral("DE")).contains(QStringLiteral("crvtk_de.txt hat nur 2")));
        QCOMPARE(captions.caption(Caption::Rules), QStringLiteral("caf\u00e9"));
        QCOMPARE(captions.caption(Caption::Alerts), QString()); // not kept from the French load

        QVERIFY(
            captions.load(folder.path(), QStringLiteral("ESP")).contains(QStringLiteral("no es un archivo de idioma")));
        QVERIFY(captions.load(folder.path(), QStringLiteral("ITA")).contains(QStringLiteral("crvtk_it.txt manca")));
        QCOMPARE(captions.caption(Caption::Home), QString());
    }

    void unknownCodesLoadNothing()
    {
        TestFolder folder;
        folder.write(QStringLiteral("crvtk_gb.txt"), numberedLines(101));
        CaptionTable captions;
        captions.load(folder.path(), QStringLiteral("GB"));
        for (const QString& code : {QStringLiteral(" GB"), QStringLiteral("gb"), QStringLiteral("ES"), QString()}) {
            QCOMPARE(captions.load(folder.path(), code), QString());
            QCOMPARE(captions.caption(Caption::Quarantine), QStringLiteral("line 5"));
            QVERIFY(!linksWord(code) && !memoryWord(code) && !languageFileName(code));
        }
        QCOMPARE(languageFileName(QStringLiteral("ESP")).value_or(QString()), QStringLiteral("crvtk_es.txt"));
        QCOMPARE(languageFileName(QStringLiteral("ITA")).value_or(QString()), QStringLiteral("crvtk_it.txt"));
        QCOMPARE(memoryWord(QStringLiteral("GB")).value_or(QString()), QStringLiteral(" memory"));
        QCOMPARE(memoryWord(QStringLiteral("FR")).value_or(QString()), QStringLiteral("m\u00e9moire"));
    }

    // Every word has a text in each language, found by the language's code;
    // any other code shows none.
    void wordsFollowTheLanguageCode()
    {
        for (std::size_t n = 0; n < kWordCount; ++n) {
            const Word which = Word(n);
            for (qsizetype language = 0; language < kCodes.size(); ++language) {
                const QString text = word(Language(language), which);
                QVERIFY(!text.isEmpty());
                QCOMPARE(word(kCodes[language], which), text);
            }
            for (const QString& code : {QStringLiteral(" GB"), QStringLiteral("gb"), QStringLiteral("ES"), QString()})
                QVERIFY(word(code, which).isNull());
        }
        QCOMPARE(word(Language::German, Word::RealTimeGuardDown), QStringLiteral("Vrenerkennung in Echzeit :"));
        QCOMPARE(word(Language::English, Word::TotalMemory), QStringLiteral(" Total system memory: "));
    }

    // Every shipped language file keeps navigation working: twenty distinct,
    // non-empty navigation captions that differ from the language's words.
    void shippedLanguageFilesKeepNavigationWorking()
    {
        const QString shipped = QStringLiteral(CORVATEK_SHIPPED_DATA);
        for (const QString& code : kCodes) {
            const QString file = shipped + *languageFileName(code);
            QFile raw(file);
            QVERIFY2(raw.open(QIODevice::ReadOnly), qPrintable(file));
            const QByteArray bytes = raw.readAll();
            QVERIFY2(
                !data::isValidUtf8(bytes.toStdString()) || !bytes.contains('\xc3'), "language files are Windows-1252");
            QCOMPARE(bytes.count("\r\n"), 101);
            QCOMPARE(bytes.count('\n'), 101);

            CaptionTable captions;
            const QString problem = captions.load(shipped, code);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            for (const QByteArray& line : bytes.split('\n'))
                QVERIFY2(line.size() <= 51, qPrintable(file + QStringLiteral(": a line over 50 characters")));

            QStringList keys;
            for (const int n : kNavigationCaptions)
                keys.append(captions.caption(n));
            keys.append(*linksWord(code));
            keys.append(*memoryWord(code));
            for (const QString& key : keys)
                QVERIFY2(!key.trimmed().isEmpty(), qPrintable(file));
            QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
            QVERIFY(captions.caption(Caption::Alerts) != QLatin1String("Modifications"));
            QVERIFY(!captions.caption(Caption::SiteControl).endsWith(QLatin1Char(' ')) &&
                !captions.caption(Caption::SiteControl).endsWith(QLatin1Char(':')));
            for (const int n : {20, 22, 23, 91})
                QVERIFY2(captions.caption(n).endsWith(QLatin1Char(' ')), qPrintable(file));
        }
    }

    // Dates written in a locale's short date and long time read back in
    // order, whatever the order of day, month and year, the separators or an
    // AM/PM word; other texts are no date.
    void datesReadBackInTheirLocale()
    {
        const QDateTime moments[] = {QDateTime(QDate(2026, 1, 31), QTime(0, 5, 1)),
            QDateTime(QDate(2026, 2, 1), QTime(12, 30, 0)), QDateTime(QDate(2026, 2, 1), QTime(23, 59, 59))};
        for (const char* name :
            {"C", "en_US", "de_DE", "fr_FR", "fr_CA", "ja_JP", "fi_FI", "ko_KR", "ar_EG", "zh_CN"}) {
            const QLocale locale {QLatin1String(name)};
            const localisation::DateTimeReader reader(locale);
            std::optional<qint64> previous;
            for (const QDateTime& moment : moments) {
                const auto key = reader.key(localisation::shortDateLongTime(moment, locale));
                QVERIFY2(key && (!previous || *key > *previous),
                    qPrintable(
                        QLatin1String(name) + QLatin1Char(' ') + localisation::shortDateLongTime(moment, locale)));
                previous = key;
            }
            for (const char* text : {"", "?", "host 10.0.0.7", "31/31/2026 10:00:00", "1/2/2026 25:00:00", "1/2"})
                QVERIFY2(!reader.key(QString::fromLatin1(text)), text);
        }
    }

    // The time of day alone, whatever the locale wraps its zone in.
    void timesCarryNoEmptyZone_data()
    {
        QTest::addColumn<QLocale>("locale");
        for (const char* name : {"es_ES", "fr_FR", "de_DE", "it_IT", "en_GB", "en_US", "pt_BR"})
            QTest::newRow(name) << QLocale(QString::fromLatin1(name));
    }

    void timesCarryNoEmptyZone()
    {
        QFETCH(QLocale, locale);
        const QDateTime moment(QDate(2026, 12, 8), QTime(16, 11, 29));
        const QString time = locale.toString(moment.time(), localisation::longTimeFormat(locale));
        QVERIFY2(time.contains(u"11") && time.contains(u"29"), qPrintable(time));
        QVERIFY2(!time.contains(u'(') && !time.contains(u'[') && time == time.simplified(), qPrintable(time));
        QCOMPARE(localisation::minuteOf(moment, locale), QStringLiteral("11"));
    }

    void everyLanguageHasALinksFile()
    {
        const QDir shipped(QStringLiteral(CORVATEK_SHIPPED_DATA));
        for (const char* name : {"liens_fr.txt", "liens_gb.txt", "liens_de.txt", "liens_esp.txt", "liens_ita.txt"}) {
            QFile file(shipped.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = file.readAll().split('\n');
            QVERIFY(lines.size() > 3);
            for (const QByteArray& line : lines)
                QVERIFY(line.isEmpty() || line.startsWith("https://"));
        }
    }
};

QTEST_GUILESS_MAIN(TestCaptions)
#include "tst_captions.moc"
