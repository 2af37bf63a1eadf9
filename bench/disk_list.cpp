// The disk check page's list refresh as a whole process: the window starts,
// the page is built, liste2.txt is read, every file it names is looked up,
// and the list is filled and painted.
//   bench_disk_list <program folder> <expected count>
#include "pages/checklistmodel.h"
#include "pages/protection/diskcheckpage.h"
#include "shell/mainwindow.h"

#include <QApplication>

using namespace corvatek;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    shell::PageRegistry registry;
    registry.addPage<pages::DiskCheckPage>(shell::Target::DiskCheck);
    shell::Seams seams = shell::Seams::system();
    seams.open = [](const QString&) {};
    seams.report = [](QWidget*, const QString&) {};
    shell::Session session(args[1], seams);
    shell::MainWindow window(session, registry);
    window.buildPage(shell::Target::DiskCheck);
    auto* page = static_cast<pages::DiskCheckPage*>(window.shownPage(shell::Target::DiskCheck));
    page->refreshList();
    window.show();
    window.repaint();
    return page->checkList->rowCount() == args[2].toInt() ? 0 : 1;
}
