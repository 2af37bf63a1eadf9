#include "testfolder.h"

#include "data/programfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QThread>

namespace corvatek::test {

QString fakeCompanionPath()
{
    return QStringLiteral(CORVATEK_FAKE_COMPANION);
}

TestFolder::TestFolder()
{
    dir_.setAutoRemove(true);
}

TestFolder::~TestFolder()
{
    for (int pid : processes())
        killProcess(pid);
    waitUntil([this] { return processes().isEmpty(); }, 5000);
}

QString TestFolder::path() const
{
    return dir_.path() + QLatin1Char('/');
}

void TestFolder::speak(const QByteArray& code) const
{
    write(QStringLiteral("langues.xml"),
        "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
        "<FIELD attrname=\"Champ1\" fieldtype=\"string\" WIDTH=\"200\"/></FIELDS><PARAMS/></METADATA>"
        "<ROWDATA><ROW Champ1=\"" +
            code + "\"/></ROWDATA></DATAPACKET>\r\n");
}

void TestFolder::write(const QString& name, const QByteArray& bytes) const
{
    QFile file(this->file(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file");
}

QByteArray TestFolder::read(const QString& name) const
{
    QFile file(this->file(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestFolder::exists(const QString& name) const
{
    return QFileInfo::exists(file(name));
}

void TestFolder::installShippedFiles() const
{
    const QDir shipped(QStringLiteral(CORVATEK_SHIPPED_DATA));
    for (const QString& name : shipped.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        // What the test put there first stays.
        if (!exists(name) && !QFile::copy(shipped.filePath(name), file(name)))
            qFatal("cannot copy the shipped file %s", qPrintable(name));
    }
}

void TestFolder::installCompanion(const QString& name, const QStringList& behaviour) const
{
    QFile::remove(file(name));
    if (!QFile::copy(fakeCompanionPath(), file(name)))
        qFatal("cannot copy the fake companion");
    QFile::setPermissions(file(name), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setBehaviour(name, behaviour);
}

void TestFolder::setBehaviour(const QString& name, const QStringList& behaviour) const
{
    write(name + QStringLiteral(".behaviour"), behaviour.join(QLatin1Char('\n')).toUtf8() + "\n");
}

QStringList TestFolder::journalLines() const
{
    return QString::fromUtf8(read(QStringLiteral("journal.txt"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<JournalEntry> TestFolder::starts() const
{
    QList<JournalEntry> entries;
    for (const QString& line : journalLines()) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 5)
            continue;
        entries.append({fields[0], fields[1].toInt(), fields[2].toInt(), fields[3].toInt(), fields[4], fields.mid(5)});
    }
    return entries;
}

QList<int> TestFolder::processes() const
{
    return processesIn(QDir(dir_.path()).canonicalPath() + QLatin1Char('/'));
}

QList<QStringList> TestFolder::argumentsOf(const QString& name) const
{
    QList<QStringList> arguments;
    for (const JournalEntry& start : starts()) {
        if (start.name == name)
            arguments.append(start.arguments);
    }
    return arguments;
}

QStringList TestFolder::runningNames() const
{
    const QList<int> live = processes();
    QStringList names;
    for (const auto& start : starts()) {
        if (live.contains(start.pid))
            names.append(start.name);
    }
    names.sort();
    return names;
}

void makeReadOnly(const QString& path)
{
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(path));
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(10);
    }
    return true;
}

QList<QStringList> tableRows(const QString& folder, data::TableId id)
{
    const data::TableLoad load = data::ProgramFiles(folder).loadTable(id);
    QList<QStringList> rows;
    for (qsizetype row = 0; row < load.table.rowCount(); ++row) {
        QStringList values;
        for (int field = 0; field < load.table.fields().size(); ++field)
            values.append(load.table.value(row, field));
        rows.append(values);
    }
    return rows;
}

void useAsHome(const QString& folder)
{
    qputenv("HOME", QFile::encodeName(folder));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder + QStringLiteral("/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder + QStringLiteral("/.local/share")));
}

} // namespace corvatek::test
