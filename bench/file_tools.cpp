// File workloads of the tools pages as whole processes, to time and measure
// them beside a reference tool.
//   bench_file_tools scramble <source> <destination>
//                    scramble a file as the file scrambling page does
//   bench_file_tools signature <file>
//                    read a file's facts without its head; prints the bytes
//                    read by the calls (rchar) and from the storage (read_bytes)
//   bench_file_tools program-files <folder> <count> <regles.xml> <paths>
//                    make <count> program files under <folder>, a rules
//                    table naming each, and the list of their paths
#include "data/programfiles.h"
#include "data/scrambling.h"
#include "platform/filecontent.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

using namespace corvatek;

namespace {

// The counters "rchar" and "read_bytes" of /proc/self/io.
std::pair<long long, long long> readCounters()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    std::pair<long long, long long> counters {-1, -1};
    while (io >> key >> value) {
        if (key == "rchar:")
            counters.first = value;
        else if (key == "read_bytes:")
            counters.second = value;
    }
    return counters;
}

// Programs as a machine has them: compiled programs (the head of one of
// this machine's own), scripts and a few Windows programs, of varied sizes.
int programFiles(const QString& folder, int count, const QString& table, const QString& paths)
{
    QFile sample(QStringLiteral("/usr/bin/env"));
    if (!sample.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray compiled = sample.read(16384);
    const QByteArray script = QByteArrayLiteral("#!/bin/sh\nexec /usr/bin/env \"$@\"\n").repeated(40);
    data::Table rules = data::defaultTable(data::TableId::Rules);
    rules.clearRows();
    QFile list(paths);
    if (!list.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 0; i < count; ++i) {
        const QString dir = QStringLiteral("%1/app%2/bin").arg(folder).arg(i % 100);
        QDir().mkpath(dir);
        const QString name = i % 10 == 9 ? QStringLiteral("setup%1.exe").arg(i) : QStringLiteral("tool%1").arg(i);
        const QString path = dir + QLatin1Char('/') + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write((i % 3 == 2 ? script : compiled).left(4096 + i % 7 * 1500));
        if (!name.endsWith(QLatin1String(".exe")))
            file.setPermissions(
                file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther);
        list.write(QFile::encodeName(path) + '\n');
        rules.appendRow({name, QStringLiteral("07/12/2026 10:15:30"), QStringLiteral("autoriser"), QStringLiteral("?"),
            QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("TCP"), path, QString::number(i % 65536),
            QStringLiteral("0"), QStringLiteral("r\u00e8gle")});
    }
    const QFileInfo info(table);
    return data::ProgramFiles(info.absolutePath() + QLatin1Char('/')).saveTable(info.fileName(), rules).ok() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("scramble") && args.size() == 3) {
        const QString problem = data::transformFile(
            args[1], args[2], data::Direction::Scramble, data::kScrambleKey, localisation::Language::English);
        if (!problem.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(problem));
        return problem.isEmpty() ? 0 : 1;
    }
    if (command == QLatin1String("signature") && args.size() == 2) {
        const std::string path = QFile::encodeName(args[1]).toStdString();
        // Reading the counters counts too: what one reading costs is taken off.
        const auto first = readCounters();
        const auto before = readCounters();
        const platform::FileFacts facts = platform::fileFacts(path);
        const auto after = readCounters();
        const long long counting = before.first - first.first;
        std::printf("%lld %lld\n", after.first - before.first - counting, after.second - before.second);
        return facts.signature ? 0 : 1;
    }
    if (command == QLatin1String("program-files") && args.size() == 5)
        return programFiles(args[1], args[2].toInt(), args[3], args[4]);
    return 2;
}
