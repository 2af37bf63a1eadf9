// The three navigation items that act instead of showing a page: quit the
// suite, the about box with the web site, and the web site alone.
#pragma once

#include <QDialog>

namespace corvatek::shell {
class TForm2;
}

namespace corvatek::pages {

// The about box: non-modal, a new one at every choice of its item.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

void quitItem(shell::TForm2& window);
void aboutItem(shell::TForm2& window);
void webSiteItem(shell::TForm2& window);

} // namespace corvatek::pages
