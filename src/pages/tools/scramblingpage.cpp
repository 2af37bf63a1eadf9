#include "pages/tools/scramblingpage.h"

#include "pages/controls.h"
#include "shell/mainwindow.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace corvatek::pages {

void ScramblingPage::build()
{
    const auto& state = session().state;
    key = data::kScrambleKey;
    plainField = add<QLineEdit>();
    plainField->setGeometry(32, 32, 121, 21);
    scrambledField = add<QLineEdit>();
    scrambledField->setGeometry(220, 32, 121, 21);
    scrambleButton = placeButton(add<QPushButton>(state.caption(Caption::Encrypt)), {32, 62, 75, 25}, Glyph::Ok);
    restoreButton = placeButton(add<QPushButton>(state.caption(Caption::Decrypt)), {220, 62, 75, 25}, Glyph::Ok);
    connect(scrambleButton, &QPushButton::clicked, this, &ScramblingPage::scramble);
    connect(restoreButton, &QPushButton::clicked, this, &ScramblingPage::restore);
}

void ScramblingPage::scramble()
{
    transform(plainField, scrambledField, data::Direction::Scramble);
}

void ScramblingPage::restore()
{
    transform(scrambledField, plainField, data::Direction::Restore);
}

void ScramblingPage::transform(const QLineEdit* from, const QLineEdit* to, data::Direction direction)
{
    if (!askBeforeDeleting(session().state.caption(Caption::AreYouSure)))
        return;
    const QString source = from->text();
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists() || sourceInfo.isDir())
        return;
    // A relative path would name a file of wherever the program was started.
    if (!QFileInfo(to->text()).isAbsolute()) {
        report(session().state.text(localisation::Text::NoFullPath, {to->text()}));
        return;
    }
    // A large file keeps the window painted; no input is taken meanwhile, so
    // the page and its fields stay as they are until the end.
    const QString problem = data::transformFile(
        source, to->text(), direction, key, session().files.language(), [this] { session().keepPainted(); });
    if (!problem.isEmpty())
        report(problem);
}

} // namespace corvatek::pages
