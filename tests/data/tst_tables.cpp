#include "data/datapacket.h"
#include "data/programfiles.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "testfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

using namespace corvatek;
using namespace corvatek::data;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

namespace {

QList<QStringList> rowsOf(const Table& table)
{
    QList<QStringList> rows;
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        QStringList values;
        for (int field = 0; field < table.fields().size(); ++field)
            values.append(table.value(row, field));
        rows.append(values);
    }
    return rows;
}

const QByteArray kOneField = R"(<FIELD attrname="Champ1" fieldtype="string" WIDTH="200"/>)";

QByteArray packetBody(const QByteArray& rows, const QByteArray& fields = kOneField)
{
    return R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>)" + fields + "</FIELDS><PARAMS/></METADATA><ROWDATA>" +
        rows + "</ROWDATA></DATAPACKET>";
}

QByteArray packet(const QByteArray& rows, const QByteArray& fields = kOneField)
{
    return R"(<?xml version="1.0" standalone="yes"?>)" + packetBody(rows, fields);
}

#ifdef Q_OS_LINUX
// What a reference XML reader makes of an attribute of the file.
QString xmllintValue(const QString& file, const QString& xpath)
{
    QProcess xmllint;
    xmllint.start(
        QStringLiteral("xmllint"), {QStringLiteral("--xpath"), QStringLiteral("string(%1)").arg(xpath), file});
    xmllint.waitForFinished();
    QString value = QString::fromUtf8(xmllint.readAllStandardOutput());
    value.chop(1); // the line end xmllint adds
    return value;
}
#endif

} // namespace

class TestTables : public QObject {
    Q_OBJECT

private slots:
    void everyTableRoundTripsWithItsDefaults()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        for (const TableId id : kAllTables) {
            const TableSchema& schema = schemaOf(id);
            QVERIFY(files.createTable(id).ok());
            const QByteArray bytes = folder.read(schema.fileName);
            QVERIFY(bytes.startsWith("<?xml version=\"1.0\" standalone=\"yes\"?>"));
            QVERIFY(bytes.contains("<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"Champ1\" "
                                   "fieldtype=\"string\" WIDTH=\"200\"/>"));
            const TableLoad load = files.loadTable(id);
            QVERIFY2(load.ok(), qPrintable(load.error));
            QCOMPARE(load.table.fields().size(), schema.fields.size());
            for (int i = 0; i < schema.fields.size(); ++i) {
                QCOMPARE(load.table.fields()[i].name, schema.fields[i].name);
                QCOMPARE(load.table.fields()[i].width, schema.fields[i].width);
            }
            QCOMPARE(rowsOf(load.table), schema.defaultRows);
        }
        QCOMPARE(schemaOf(TableId::Rules).fields[7].width, 5000);
        QCOMPARE(schemaOf(TableId::Alerts).fields[8].width, 5000);
        QCOMPARE(files.loadTable(TableId::Configuration).table.value(0, u"champ12").value_or(QString()),
            QStringLiteral("1"));
    }

    void awkwardValuesComeBackFieldForField()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        const QString awkward = QStringLiteral("a \"quoted\" & <tag> 'x' caf\u00e9 \u20ac \U0001F600 end");
        const QString controls = QStringLiteral("tab\there\r\nline\x01\x1f end ");
        const QString longPath = QStringLiteral("C:\\") + QString(6000, QLatin1Char('p'));
        Table table = defaultTable(TableId::Rules);
        table.appendRow({awkward, controls, QString(), QStringLiteral("  blanks  "), {}, {}, {}, longPath,
            QString(300, QChar(0xE9))});
        table.appendRow({QStringLiteral("second")});
        QVERIFY(files.saveTable(TableId::Rules, table).ok());

        const QByteArray bytes = folder.read(QStringLiteral("regles.xml"));
        for (const char c : bytes)
            QVERIFY2(uchar(c) < 0x80, "the file holds only ASCII");

        const TableLoad load = files.loadTable(TableId::Rules);
        QVERIFY2(load.ok(), qPrintable(load.error));
        QCOMPARE(load.table.rowCount(), 2);
        QCOMPARE(load.table.value(0, u"CHAMP1"), awkward);
        QCOMPARE(load.table.value(0, u"champ2"), controls);
        QCOMPARE(load.table.value(0, u"Champ3"), QString());
        QCOMPARE(load.table.value(0, u"Champ4"), QStringLiteral("  blanks  "));
        QCOMPARE(load.table.value(0, u"Champ8"), longPath.left(5000));
        QCOMPARE(load.table.value(0, u"Champ9"), QString(200, QChar(0xE9)));
        QCOMPARE(load.table.value(1, u"Champ1"), QStringLiteral("second"));
        QCOMPARE(load.table.value(1, u"Champ11"), QString());
        QVERIFY(!load.table.value(0, u"Champ12"));
    }

    // One rule for every character, both ways: what the reader accepts, the
    // writer writes so that the reader accepts it again, field for field; a
    // table whose field names would not read back is never written.
    void whatTheReaderAcceptsSurvivesASave()
    {
        const QStringList names {
            "Champ1", "Champ2", "champ2", "Champ12", "Code", "_x-1.y", "x y", "caf\u00e9", "a\"b", "1st", ""};
        const QList<char32_t> awkward {0, 1, 9, 10, 13, 0x1F, ' ', '&', '<', '>', '"', '\'', ';', '#', 0x7F, 0x80, 0x9F,
            0xA0, 0xE9, 0xFEFF, 0xFFFD, 0x20AC, 0x1F600, 0x10FFFF};
        QRandomGenerator generator(20261207);
        int written = 0;
        for (int round = 0; round < 2000; ++round) {
            QList<FieldDef> fields;
            QSet<QString> seen;
            bool writable = true;
            for (int n = 1 + generator.bounded(5); n > 0; --n) {
                const QString name = names[generator.bounded(int(names.size()))];
                writable = writable && isWritableFieldName(name) && !seen.contains(name.toLower());
                seen.insert(name.toLower());
                fields.append({name, generator.bounded(3) == 0 ? -1 : generator.bounded(12)});
            }
            Table table(fields);
            for (int row = generator.bounded(4); row > 0; --row) {
                QStringList values;
                for (int n = 0; n < fields.size(); ++n) {
                    QString value;
                    for (int k = generator.bounded(10); k > 0; --k) {
                        const char32_t c =
                            generator.bounded(2) ? awkward[generator.bounded(int(awkward.size()))] : U'a';
                        value += QString::fromUcs4(&c, 1);
                    }
                    values.append(value);
                }
                table.appendRow(values);
            }
            const auto bytes = writeDataPacket(table);
            QCOMPARE(bytes.has_value(), writable);
            if (!bytes)
                continue;
            ++written;
            const auto read = readDataPacket(*bytes);
            QVERIFY2(read.table, qPrintable(read.error));
            for (int n = 0; n < fields.size(); ++n) {
                QCOMPARE(read.table->fields()[n].name, fields[n].name);
                QCOMPARE(read.table->fields()[n].width, fields[n].width);
            }
            QCOMPARE(rowsOf(*read.table), rowsOf(table));
        }
        QVERIFY(written > 200);

        // Raw bytes a companion may write: a NUL, a leading U+FEFF, kept too.
        static constexpr char row[] = "<ROW Champ1=\"\xEF\xBB\xBF"
                                      "a\0b\"/>";
        const auto raw = readDataPacket(packet(QByteArray(row, sizeof row - 1)));
        QVERIFY2(raw.table, qPrintable(raw.error));
        const QString expected = QStringLiteral("\uFEFFa") + QChar(0) + QLatin1Char('b');
        QCOMPARE(raw.table->value(0, 0), expected);
        QCOMPARE(readDataPacket(*writeDataPacket(*raw.table)).table->value(0, 0), expected);
    }

    // However a file is shaped, reading it costs memory in proportion to its
    // size: empty rows over many fields cost nothing per field. (A file
    // declaring more fields than that is refused, as the bad inputs show.)
    void anyShapeOfTableCostsMemoryInProportionToItsFile()
    {
        TestFolder folder;
        QByteArray fields;
        for (int n = 1; n <= Table::kMostFields; ++n)
            fields += "<FIELD attrname=\"F" + QByteArray::number(n) + "\" fieldtype=\"string\" WIDTH=\"200\"/>";
        folder.write(QStringLiteral("wide.xml"), packet(QByteArray("<ROW/>\r\n").repeated(150000), fields));
        const auto size = QFileInfo(folder.file(QStringLiteral("wide.xml"))).size();

        QProcess loader;
        loader.start(
            QStringLiteral(CORVATEK_TABLE_SAVER), {QStringLiteral("--load"), folder.file(QStringLiteral("wide.xml"))});
        QVERIFY(loader.waitForFinished(60000));
        const QList<QByteArray> printed = loader.readAllStandardOutput().trimmed().split(' ');
        QCOMPARE(loader.exitCode(), 0);
        QCOMPARE(printed.value(0), QByteArray("150000"));
        QVERIFY2(printed.value(1).toLong() * 1024 <= 3 * size, printed.value(1).constData());
    }

    void readsWhatOtherWritersWrite()
    {
        // Windows-1252 bytes, a row state attribute, a missing attribute,
        // whitespace and comments between elements, single quotes.
        const QByteArray bytes = packet("\r\n  <!-- from an older writer -->\r\n"
                                        "<ROW RowState='4' Champ1='caf\xe9 na\xefve \x80'/>\r\n<ROW Champ2=\"x\"/>",
            R"(<FIELD attrname="Champ1" fieldtype="string" WIDTH="20"/><FIELD attrname="Champ2" fieldtype="string" WIDTH="20"/>)");
        const auto read = readDataPacket(bytes);
        QVERIFY2(read.table, qPrintable(read.error));
        QCOMPARE(read.table->rowCount(), 2);
        QCOMPARE(read.table->value(0, 0), QStringLiteral("caf\u00e9 na\u00efve \u20ac"));
        QCOMPARE(read.table->value(0, 1), QString());
        QCOMPARE(read.table->value(1, 1), QStringLiteral("x"));

        const auto utf8 = readDataPacket(packet("<ROW Champ1=\"caf\xc3\xa9\"/>"));
        QVERIFY(utf8.table);
        QCOMPARE(utf8.table->value(0, 0), QStringLiteral("caf\u00e9"));

        const auto noRows = readDataPacket(
            R"(<?xml version="1.0"?><DATAPACKET Version="2.0"><METADATA><FIELDS><FIELD attrname="Champ1" WIDTH="9"/></FIELDS></METADATA></DATAPACKET>)");
        QVERIFY(noRows.table);
        QCOMPARE(noRows.table->fields().size(), 1);
        QCOMPARE(noRows.table->rowCount(), 0);
    }

    void badInputsAreRejectedWithoutHarm_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not xml") << QByteArray("FR\r\nGB\r\n");
        QTest::newRow("wrong root") << QByteArray("<?xml version=\"1.0\"?><TABLE><ROW Champ1=\"x\"/></TABLE>");
        QTest::newRow("two roots") << packet("") + packet("");
        QTest::newRow("bad nesting") << QByteArray("<DATAPACKET><METADATA></ROWDATA></DATAPACKET>");
        QTest::newRow("unknown entity") << packet("<ROW Champ1=\"&nbsp;\"/>");
        QTest::newRow("more fields than any table") << packet(
            "<ROW/>", QByteArray("<FIELD attrname=\"F\" fieldtype=\"string\"/>").repeated(Table::kMostFields + 1));
        QTest::newRow("reference too large") << packet("<ROW Champ1=\"&#x110000;\"/>");
        QTest::newRow("unquoted attribute") << packet("<ROW Champ1=x/>");
        QTest::newRow("rows before fields")
            << QByteArray("<DATAPACKET><ROWDATA><ROW Champ1=\"x\"/></ROWDATA></DATAPACKET>");
        QTest::newRow("entity expansion")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE DATAPACKET [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
                          "\"&a;&a;&a;&a;&a;&a;&a;&a;\">"
                          "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">]>" +
                   packetBody("<ROW Champ1=\"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"/>"));
        QTest::newRow("external entity") << QByteArray(
            "<!DOCTYPE DATAPACKET [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + packetBody("<ROW Champ1=\"&x;\"/>"));
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(20261207);
        for (char& c : garbage)
            c = char(generator.bounded(256));
        QTest::newRow("binary garbage") << garbage;
        QTest::newRow("garbage after a tag") << QByteArray("<DATAPACKET>") + garbage;
        QTest::newRow("deep nesting") << QByteArray("<DATAPACKET>") + QByteArray("<a>").repeated(100000);
    }
    void badInputsAreRejectedWithoutHarm()
    {
        QFETCH(QByteArray, bytes);
        const auto read = readDataPacket(bytes);
        QVERIFY(!read.table);
        QVERIFY(!read.error.isEmpty());

        // Loading it never touches the file.
        TestFolder folder;
        folder.write(QStringLiteral("regles.xml"), bytes);
        const TableLoad load = ProgramFiles(folder.path()).loadTable(TableId::Rules);
        QCOMPARE(load.status, FileStatus::Unreadable);
        QCOMPARE(folder.read(QStringLiteral("regles.xml")), bytes);
    }

    void everyTruncationIsNoticed()
    {
        Table table = defaultTable(TableId::Sites);
        table.appendRow({QStringLiteral("a & b"), QStringLiteral("c")});
        const QByteArray whole = *writeDataPacket(table);
        const qsizetype end = whole.lastIndexOf('>') + 1;
        for (qsizetype length = 0; length < end; ++length)
            QVERIFY2(!readDataPacket(whole.left(length)).table, qPrintable(QString::number(length)));
        QVERIFY(readDataPacket(whole.left(end)).table);
    }

    void hugeValuesAreCutToTheirWidth()
    {
        const QByteArray big(10 * 1024 * 1024, 'v');
        const auto read = readDataPacket(packet("<ROW Champ1=\"" + big + "\"/>"));
        QVERIFY(read.table);
        QCOMPARE(read.table->value(0, 0), QString(200, QLatin1Char('v')));
    }

    // A table lacking fields loads; reading an absent field reports it, as a
    // configuration with only eight fields must be noticed at its ninth.
    void missingFieldsAreReported()
    {
        QByteArray fields;
        QByteArray row = "<ROW";
        for (int n = 1; n <= 8; ++n) {
            fields += QStringLiteral(R"(<FIELD attrname="Champ%1" fieldtype="string" WIDTH="200"/>)").arg(n).toLatin1();
            row += QStringLiteral(" Champ%1=\"%2\"").arg(n).arg(n % 2).toLatin1();
        }
        const auto read = readDataPacket(packet(row + "/>", fields));
        QVERIFY(read.table);
        for (int n = 1; n <= 8; ++n)
            QCOMPARE(read.table->value(0, fieldName(n)).value_or(QStringLiteral("?")), QString::number(n % 2));
        QVERIFY(!read.table->value(0, fieldName(9)));
    }

    void unreadableFileIsKeptAsideBeforeDefaultsAreWritten()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        const QDateTime now(QDate(2026, 12, 7), QTime(10, 15, 0));
        folder.write(QStringLiteral("configuration.xml"), "not a table");
        TableLoad load = files.ensureTable(TableId::Configuration, now);
        QVERIFY2(load.ok(), qPrintable(load.error));
        QCOMPARE(load.keptAsidePath, folder.file(QStringLiteral("configuration.xml.unreadable-20261207-101500")));
        QCOMPARE(
            folder.read(QStringLiteral("configuration.xml.unreadable-20261207-101500")), QByteArray("not a table"));
        QCOMPARE(rowsOf(files.loadTable(TableId::Configuration).table), schemaOf(TableId::Configuration).defaultRows);

        // A second bad file in the same second gets a name of its own.
        folder.write(QStringLiteral("configuration.xml"), "again");
        load = files.ensureTable(TableId::Configuration, now);
        QCOMPARE(load.keptAsidePath, folder.file(QStringLiteral("configuration.xml.unreadable-20261207-101500-2")));
        QCOMPARE(
            folder.read(QStringLiteral("configuration.xml.unreadable-20261207-101500")), QByteArray("not a table"));

        // Missing: created; readable: left as it is.
        load = files.ensureTable(TableId::Languages, now);
        QVERIFY(load.ok() && load.keptAsidePath.isEmpty());
        QCOMPARE(load.table.value(0, 0), QStringLiteral("FR"));
        Table gb = defaultTable(TableId::Languages);
        gb.clearRows();
        gb.appendRow({QStringLiteral("GB")});
        QVERIFY(files.saveTable(TableId::Languages, gb).ok());
        QCOMPARE(files.ensureTable(TableId::Languages, now).table.value(0, 0), QStringLiteral("GB"));
    }

    void aCompanionsLockDelaysTheReader()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        QVERIFY(files.createTable(TableId::Quarantine).ok());
        folder.installCompanion(QStringLiteral("vkwall.exe"), {QStringLiteral("lock quarantaines.xml 400")});
        QVERIFY(platform::startDetached(folder.file(QStringLiteral("vkwall.exe")).toStdString(), {}));
        QVERIFY(waitUntil([&] { return folder.journalLines().contains(QStringLiteral("locked quarantaines.xml")); }));
        const TableLoad load = files.loadTable(TableId::Quarantine);
        QVERIFY2(load.ok(), qPrintable(load.error));
        QVERIFY(folder.journalLines().contains(QStringLiteral("unlocked quarantaines.xml")));
    }

    void aLockNeverReleasedEndsTheWaitAndChangesNothing()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path(), {std::chrono::milliseconds(300), {}});
        QVERIFY(files.createTable(TableId::Events).ok());
        const QByteArray before = folder.read(QStringLiteral("evenements.xml"));
        folder.installCompanion(QStringLiteral("vkguard.exe"), {QStringLiteral("lock evenements.xml -1")});
        QVERIFY(platform::startDetached(folder.file(QStringLiteral("vkguard.exe")).toStdString(), {}));
        QVERIFY(waitUntil([&] { return folder.journalLines().contains(QStringLiteral("locked evenements.xml")); }));

        QCOMPARE(files.loadTable(TableId::Events).status, FileStatus::Busy);
        QCOMPARE(files.readLinesWhenFree(u"evenements.xml").status, FileStatus::Busy);
        Table table = defaultTable(TableId::Events);
        table.appendRow({QStringLiteral("new")});
        const FileResult save = files.saveTable(TableId::Events, table);
        QCOMPARE(save.status, FileStatus::Busy);
        QVERIFY(!save.error.isEmpty());
        QCOMPARE(files.ensureTable(TableId::Events, QDateTime::currentDateTime()).status, FileStatus::Busy);
        // Read once let go: where the lock is the open file (Windows), a
        // held file cannot be read at all.
        QVERIFY(platform::terminateByName("vkguard.exe"));
        QVERIFY(waitUntil(
            [&] { return !platform::fileInUse(folder.file(QStringLiteral("evenements.xml")).toStdString()); }));
        QCOMPARE(folder.read(QStringLiteral("evenements.xml")), before);
    }

    // A save killed at any moment leaves the old file or the new one, and
    // what it left beside it goes at the next start.
    // CORVATEK_KILL_ROUNDS sets how many saves are killed (25 by default).
    void aKilledSaveNeverBreaksTheFile()
    {
        TestFolder folder;
        const int rows = 20000;
        const ProgramFiles files(folder.path());
        QRandomGenerator generator(7);
        const int rounds = qEnvironmentVariableIntValue("CORVATEK_KILL_ROUNDS") > 0
            ? qEnvironmentVariableIntValue("CORVATEK_KILL_ROUNDS")
            : 25;
        int leftovers = 0;
        for (int round = 0; round < rounds; ++round) {
            QFile::remove(folder.file(QStringLiteral("saver-ready")));
            QProcess saver;
            saver.start(QStringLiteral(CORVATEK_TABLE_SAVER), {folder.path(), QString::number(rows)});
            QVERIFY(saver.waitForStarted());
            QVERIFY(waitUntil([&] { return folder.exists(QStringLiteral("saver-ready")); }));
            QThread::msleep(generator.bounded(120));
            saver.kill();
            QVERIFY(saver.waitForFinished());
            const QStringList unfinished = QDir(folder.path()).entryList({QStringLiteral("*corvatek-new*")});
            leftovers += int(unfinished.size());
#ifdef Q_OS_WIN
            // ReplaceFileW moves the old file aside before it moves the new
            // one in: a save killed between the two leaves the old file
            // aside until the next start puts it back, as this does.
            files.removeUnfinishedSaves();
#endif
            const TableLoad load = files.loadTable(TableId::Rules);
            QVERIFY2(load.ok(), qPrintable(load.error));
            QVERIFY(load.table.rowCount() == rows || load.table.rowCount() == rows + 1);
            const qsizetype last = load.table.rowCount() - 1;
            QCOMPARE(load.table.value(last, 10),
                QStringLiteral("version %1 row %2 \u00e9 & <>").arg(last - rows + 1).arg(last));
            files.removeUnfinishedSaves();
            QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*corvatek-new*")}), QStringList());
        }
        qInfo("%d saves killed, %d left a temporary file, every table whole", rounds, leftovers);
    }

#ifdef Q_OS_LINUX
    // xmllint is a Linux program.
    // Companions read the files with ordinary XML readers.
    void aReferenceReaderSeesTheSameValues()
    {
        TestFolder folder;
        const ProgramFiles files(folder.path());
        Table table = defaultTable(TableId::Sites);
        const QString value = QStringLiteral("<a href=\"x\">&amp; caf\u00e9 \u20ac</a>\ttab");
        table.appendRow({value, QStringLiteral("second")});
        QVERIFY(files.saveTable(TableId::Sites, table).ok());
        const QString file = folder.file(QStringLiteral("site.xml"));
        QCOMPARE(xmllintValue(file, QStringLiteral("//ROW[1]/@Champ1")), value);
        QCOMPARE(xmllintValue(file, QStringLiteral("//FIELD[2]/@WIDTH")), QStringLiteral("200"));
    }
#endif
};

QTEST_GUILESS_MAIN(TestTables)
#include "tst_tables.moc"
