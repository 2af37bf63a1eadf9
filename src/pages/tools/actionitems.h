// The three navigation items that act instead of showing a page: quit the
// suite, the about box with the web site, and the web site alone.
#pragma once

#include <QDialog>

namespace corvatek::shell {
class MainWindow;
}
namespace corvatek::supervision {
struct ProcessState;
}

namespace corvatek::pages {

// The about box: non-modal, a new one at every choice of its item.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    AboutBox(const supervision::ProcessState& state, QWidget* parent);
};

void quitItem(shell::MainWindow& window);
void aboutItem(shell::MainWindow& window);
void webSiteItem(shell::MainWindow& window);

} // namespace corvatek::pages
