// Table-file workloads as whole processes, to time and measure them beside a
// reference XML tool.
//   table_tool generate <file> <rows>   write a realistic rules table
//   table_tool generate-wide <file> <rows>
//                                       write a table of empty rows over as
//                                       many fields as a table may declare
//   table_tool load <file>              load it
//   table_tool roundtrip <file> <out>   load it and save it as <out>
//   table_tool save <file> <rounds>     load it, then save it over itself
//                                       each round: the median, in ms
//   table_tool idle                     start and end (the baseline)
#include "data/datapacket.h"
#include "data/programfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace corvatek::data;

namespace {

int generate(const QString& path, int rows)
{
    Table table = defaultTable(TableId::Rules);
    for (int row = 0; row < rows; ++row) {
        const QString program = QStringLiteral("program%1.exe").arg(row);
        table.appendRow({program,
            QStringLiteral("07/12/2026 10:%1:%2")
                .arg(row % 60, 2, 10, QLatin1Char('0'))
                .arg(row % 59, 2, 10, QLatin1Char('0')),
            QStringLiteral("autoriser"), QStringLiteral("1.%1.0.2").arg(row % 97), QStringLiteral("0"),
            QStringLiteral("1"), QStringLiteral("TCP"),
            QStringLiteral("/opt/vendor/app%1/bin/%2").arg(row % 1000).arg(program),
            QString::number(row * 7919 % 1000003), QStringLiteral("0"), QStringLiteral("r\u00e8gle")});
    }
    const QFileInfo info(path);
    return ProgramFiles(info.absolutePath()).saveTable(info.fileName(), table).ok() ? 0 : 1;
}

int generateWide(const QString& path, int rows)
{
    QList<FieldDef> fields;
    for (int n = 1; n <= Table::kMostFields; ++n)
        fields.append({fieldName(n), 200});
    Table table(fields);
    for (int row = 0; row < rows; ++row)
        table.appendRow({});
    const QFileInfo info(path);
    return ProgramFiles(info.absolutePath()).saveTable(info.fileName(), table).ok() ? 0 : 1;
}

TableLoad load(const QString& path)
{
    const QFileInfo info(path);
    return ProgramFiles(info.absolutePath()).loadTable(info.fileName());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("idle"))
        return 0;
    if (command == QLatin1String("generate") && args.size() == 3)
        return generate(args[1], args[2].toInt());
    if (command == QLatin1String("generate-wide") && args.size() == 3)
        return generateWide(args[1], args[2].toInt());
    if (command == QLatin1String("load") && args.size() == 2) {
        const TableLoad result = load(args[1]);
        std::printf("%lld rows\n", static_cast<long long>(result.table.rowCount()));
        return result.ok() ? 0 : 1;
    }
    if (command == QLatin1String("roundtrip") && args.size() == 3) {
        const TableLoad result = load(args[1]);
        const QFileInfo out(args[2]);
        return result.ok() && ProgramFiles(out.absolutePath()).saveTable(out.fileName(), result.table).ok() ? 0 : 1;
    }
    if (command == QLatin1String("save") && args.size() == 3) {
        const TableLoad result = load(args[1]);
        const QFileInfo info(args[1]);
        const ProgramFiles files(info.absolutePath());
        std::vector<double> times;
        for (int round = args[2].toInt(); round > 0 && result.ok(); --round) {
            QElapsedTimer timer;
            timer.start();
            if (!files.saveTable(info.fileName(), result.table).ok())
                return 1;
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        if (times.empty())
            return 1;
        std::sort(times.begin(), times.end());
        std::printf("%.3f\n", times[times.size() / 2]);
        return 0;
    }
    std::fprintf(stderr, "usage: table_tool generate|generate-wide|load|roundtrip|save|idle ...\n");
    return 2;
}
