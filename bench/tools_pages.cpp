// The cleanup, system information and rules detail pages built until shown,
// inside one process so that the window's start-up is not counted. Prints the
// median milliseconds of the build.
//   bench_tools_pages cleanup <rounds> <files expected in the downloads list>
//   bench_tools_pages memory <rounds> <processes expected at least>
//   bench_tools_pages rules <rounds> <regles.xml to copy in>
// The cleanup page lists $HOME/Downloads, so HOME is set by the caller. The
// rules detail page counts as built once every file it names has been read.
#include "pages/tools/cleanuppage.h"
#include "pages/tools/rulefilesmodel.h"
#include "pages/tools/rulesdetailpage.h"
#include "pages/tools/systeminfopage.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace corvatek;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    const bool cleanup = args[1] == QLatin1String("cleanup");
    const bool rules = args[1] == QLatin1String("rules");
    const shell::Target target = cleanup ? shell::Target::Cleanup
        : rules                          ? shell::Target::RulesDetail
                                         : shell::Target::SystemInfo;
    shell::PageRegistry registry;
    registry.addPage<pages::CleanupPage>(shell::Target::Cleanup);
    registry.addPage<pages::SystemInfoPage>(shell::Target::SystemInfo);
    registry.addPage<pages::RulesDetailPage>(shell::Target::RulesDetail);
    shell::Seams seams = shell::Seams::system();
    seams.open = [](const QString&) {};
    seams.report = [](QWidget*, const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    QTemporaryDir folder;
    shell::Session session(folder.path() + QLatin1Char('/'), seams);
    if (rules && !QFile::copy(args[3], session.files.path(u"regles.xml")))
        return 1;
    shell::MainWindow window(session, registry);
    window.show();
    QCoreApplication::processEvents();

    std::vector<double> times;
    for (int round = 0; round < args[2].toInt(); ++round) {
        window.frameReset(); // the previous round's page goes first
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        window.buildPage(target);
        auto* page = window.shownPage(target);
        if (rules) {
            const pages::RuleFilesModel* model = static_cast<pages::RulesDetailPage*>(page)->rules;
            QEventLoop untilRead;
            QObject::connect(model, &pages::RuleFilesModel::filesRead, &untilRead, &QEventLoop::quit);
            if (model->readingFiles())
                untilRead.exec();
        }
        window.repaint();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (rules) {
            const pages::RuleFilesModel* model = static_cast<pages::RulesDetailPage*>(page)->rules;
            // Every file was found and summed.
            for (int row = 0; row < model->rowCount(); ++row) {
                if (model->text(row, 6) != model->text(row, 7) || model->text(row, 8).toUInt() == 0) {
                    std::fprintf(stderr, "row %d: %s\n", row, qPrintable(model->text(row, 8)));
                    return 1;
                }
            }
            continue;
        }
        const int rows = cleanup ? int(static_cast<pages::CleanupPage*>(page)->rightFiles->names().size())
                                 : static_cast<pages::SystemInfoPage*>(page)->processList->model()->rowCount();
        if (cleanup ? rows != args[3].toInt() : rows < args[3].toInt()) {
            std::fprintf(stderr, "%d rows\n", rows);
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("%.3f\n", times[times.size() / 2]);
    return 0;
}
