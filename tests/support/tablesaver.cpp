// Table workloads the tests run as processes of their own.
//   table_saver <folder> <rows>   saves two different rules tables over one
//                                 file, alternately, until killed
//   table_saver --load <file>     loads the file under a 2 GiB address-space
//                                 limit (none under AddressSanitizer); prints
//                                 its rows and how much the peak resident
//                                 memory grew, in KiB
#include "data/programfiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#ifdef Q_OS_WIN
#include <windows.h>
// after windows.h
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

using namespace corvatek::data;

namespace {

long peakKiB()
{
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters {};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return long(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}

int load(const QString& path)
{
#if !defined(__SANITIZE_ADDRESS__) && !defined(Q_OS_WIN) // ASan reserves far more address space at start
    const rlimit limit {2L << 30, 2L << 30};
    ::setrlimit(RLIMIT_AS, &limit);
#endif
    const QFileInfo info(path);
    const ProgramFiles files(info.absolutePath());
    const long before = peakKiB();
    const TableLoad load = files.loadTable(info.fileName());
    std::printf("%lld %ld\n", static_cast<long long>(load.table.rowCount()), peakKiB() - before);
    return load.ok() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--load")
        return load(QString::fromLocal8Bit(argv[2]));
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
