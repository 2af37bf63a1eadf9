// Saves two different rules tables over one file, alternately, until killed.
// Usage: table_saver <folder> <rows>
#include "data/programfiles.h"

#include <QCoreApplication>
#include <QFile>

using namespace corvatek::data;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const ProgramFiles files(QString::fromLocal8Bit(argv[1]));
    const int rows = QByteArray(argv[2]).toInt();
    Table tables[2] = {defaultTable(TableId::Rules), defaultTable(TableId::Rules)};
    for (int version = 0; version < 2; ++version) {
        for (int row = 0; row < rows + version; ++row)
            tables[version].appendRow(
                QStringList(11, QStringLiteral("version %1 row %2 \u00e9 & <>").arg(version).arg(row)));
    }
    QFile ready(files.path(QStringLiteral("saver-ready")));
    for (long n = 0;; ++n) {
        if (!files.saveTable(TableId::Rules, tables[n % 2]).ok())
            return 1;
        if (n == 0 && ready.open(QIODevice::WriteOnly))
            ready.close();
    }
}
