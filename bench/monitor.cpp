// The status monitor's cost in a program folder with a quarantine of 1,000
// entries (or as many as asked), at protection level 1 (the quarantine
// enforced at every tick).
//   bench_monitor tick <folder> <ticks> [entries]
//                                           mean time of one tick, in ms
//   bench_monitor run <folder> <seconds>    share of one core over that time,
//                                           the watch on attached volumes armed
#include "supervision/statusmonitor.h"
#include "platform/volumes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

using namespace corvatek;

namespace {

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 && args.size() != 5)
        return 2;
    const data::ProgramFiles files(args[2]);
    data::Table quarantine = data::defaultTable(data::TableId::Quarantine);
    const int entries = args.size() == 5 ? args[4].toInt() : 1000;
    for (int n = 0; n < entries; ++n)
        quarantine.appendRow({QStringLiteral("quarantined%1.exe").arg(n)});
    if (!files.saveTable(data::TableId::Quarantine, quarantine).ok())
        return 1;
    supervision::ProcessState state;
    state.protectionLevel = ProtectionLevel::Low;
    const supervision::Companions companions(files.folder());
    supervision::StatusMonitor monitor(state, files, companions,
        {.now = [] { return QDateTime::currentDateTime(); }, .lookup = supervision::localHostLookup});
    monitor.tick(); // starts what the first tick starts

    if (args[1] == QLatin1String("tick")) {
        const int ticks = args[3].toInt();
        QElapsedTimer timer;
        timer.start();
        for (int n = 0; n < ticks; ++n)
            monitor.tick();
        std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e6 / ticks);
        return 0;
    }
    // The watch on attached volumes runs beside the monitor, as in the window.
    platform::VolumeArrivals arrivals;
    QSocketNotifier volumes(arrivals.descriptor(), QSocketNotifier::Exception);
    QObject::connect(&volumes, &QSocketNotifier::activated, [&] { arrivals.takeArrivals(); });
    QTimer ticker;
    ticker.setInterval(1500);
    QObject::connect(&ticker, &QTimer::timeout, [&] { monitor.tick(); });
    ticker.start();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(args[3].toInt() * 1000, &app, [] { QCoreApplication::exit(0); });
    app.exec();
    std::printf("%.4f\n", (cpuSeconds() - cpuBefore) / (double(wall.nsecsElapsed()) / 1e9) * 100.0);
    return 0;
}
