#include "pages/tools/actionitems.h"

#include "data/filenames.h"
#include "shell/icons.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace corvatek::pages {
namespace {

QLabel* aboutLabel(QWidget* parent, const QString& text, int left, int top)
{
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

AboutBox::AboutBox(const supervision::ProcessState& state, QWidget* parent) : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Corvatek"));
    setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    setFixedSize(298, 213);

    auto* panel = new QFrame(this);
    panel->setGeometry(8, 8, 281, 161);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* icon = new QLabel(panel);
    icon->setGeometry(8, 8, 65, 57);
    icon->setPixmap(shell::iconPixmap(QStringLiteral("corvatek-48")));
    icon->setScaledContents(true);
    QFont bold = font();
    bold.setBold(true);
    QLabel* name = aboutLabel(panel, QStringLiteral("Corvatek"), 88, 16);
    name->setFont(bold);
    name->adjustSize();
    aboutLabel(panel, QStringLiteral("Version :1.17.08.28"), 88, 40);
    // Longer in some languages than the panel is wide: two lines then.
    auto* suite = new QLabel(state.text(localisation::Text::AboutSuite), panel);
    suite->setGeometry(88, 66, 185, 30);
    suite->setWordWrap(true);
    aboutLabel(panel, QString::fromLatin1(shell::kProductWebSite), 88, 104);
    auto* contact =
        new QLabel(state.text(localisation::Text::AboutContact, {QStringLiteral("support@corvatek.example")}), panel);
    contact->setGeometry(88, 128, 185, 28);
    contact->setWordWrap(true);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(111, 180, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void quitItem(shell::MainWindow& window)
{
    shell::Session& session = window.session();
    if (!shell::Dialogue(session, &window).ask(session.state.caption(Caption::AreYouSure)))
        return;
    session.companions.stopAll(supervision::stoppedByQuit());
    window.endMessageLoop();
}

void aboutItem(shell::MainWindow& window)
{
    auto* box = new AboutBox(window.session().state, &window);
    box->setWindowFlag(Qt::Window);
    box->show();
    window.session().openWebSite();
}

void webSiteItem(shell::MainWindow& window)
{
    window.session().openWebSite();
}

} // namespace corvatek::pages
