// The rules page over a large regles.xml, inside one process so that the
// window's start-up is not counted: each round copies the file in, builds
// the page until it is shown, sorts it by date and deletes one rule (load,
// remove, save). Prints the median milliseconds of each step and the
// resident memory the first shown page added, in KiB.
//   bench_rules_page <program folder> <regles.xml to copy in> <rounds>
#include "pages/security/rulespage.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace corvatek;

namespace {

long residentKib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    shell::PageRegistry registry;
    registry.addPage<pages::RulesPage>(shell::Target::Rules);
    shell::Seams seams = shell::Seams::system();
    seams.open = [](const QString&) {};
    seams.report = [](QWidget*, const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    seams.askYesNo = [](QWidget*, const QString&) { return true; };
    seams.askBeforeDeleting = seams.askYesNo;
    shell::Session session(args[1], seams);
    shell::MainWindow window(session, registry);
    window.show();
    QCoreApplication::processEvents();
    const QString rules = session.files.path(u"regles.xml");

    std::vector<double> build, sort, remove;
    long added = 0;
    for (int round = 0; round < args[3].toInt(); ++round) {
        QFile::remove(rules);
        if (!QFile::copy(args[2], rules))
            return 1;
        window.frameReset(); // the previous round's page goes first
        QCoreApplication::processEvents();
        const long before = residentKib();
        QElapsedTimer timer;
        timer.start();
        window.buildPage(shell::Target::Rules);
        window.repaint();
        build.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (round == 0) // later rounds reuse what the first freed
            added = residentKib() - before;
        auto* page = static_cast<pages::RulesPage*>(window.shownPage(shell::Target::Rules));
        const int rows = page->rows()->rowCount();

        timer.restart();
        page->onColumnClicked(2);
        window.repaint();
        sort.push_back(double(timer.nsecsElapsed()) / 1e6);

        page->ruleList->setCurrentIndex(page->rows()->index(rows / 2, 1));
        timer.restart();
        page->deleteSelectedRule();
        window.repaint();
        remove.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (page->rows()->rowCount() != rows - 1)
            return 1;
    }
    std::printf("%.3f %.3f %.3f %ld\n", median(build), median(sort), median(remove), added);
    return 0;
}
