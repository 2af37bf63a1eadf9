#include "pages/tools/scramblingpage.h"

#include "pages/controls.h"
#include "shell/mainwindow.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace corvatek::pages {

void Tpanel15::build()
{
    const auto& state = session().state;
    key = data::kScrambleKey;
    plainField = add<QLineEdit>();
    plainField->setGeometry(32, 32, 121, 21);
    scrambledField = add<QLineEdit>();
    scrambledField->setGeometry(220, 32, 121, 21);
    BitBtn25 = placeButton(add<QPushButton>(state.caption(97)), {32, 62, 75, 25}, Glyph::Ok);
    BitBtn26 = placeButton(add<QPushButton>(state.caption(98)), {220, 62, 75, 25}, Glyph::Ok);
    connect(BitBtn25, &QPushButton::clicked, this, &Tpanel15::BitBtn25Click);
    connect(BitBtn26, &QPushButton::clicked, this, &Tpanel15::BitBtn26Click);
}

void Tpanel15::BitBtn25Click()
{
    transform(plainField, scrambledField, data::Direction::Scramble);
}

void Tpanel15::BitBtn26Click()
{
    transform(scrambledField, plainField, data::Direction::Restore);
}

void Tpanel15::transform(const QLineEdit* from, const QLineEdit* to, data::Direction direction)
{
    if (!session().seams.askYesNo(&window(), session().state.caption(65)))
        return;
    const QString source = from->text();
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists() || sourceInfo.isDir())
        return;
    // A relative path would name a file of wherever the program was started.
    if (!QFileInfo(to->text()).isAbsolute()) {
        session().seams.report(
            &window(), QStringLiteral("\"%1\" is no full path of a file; nothing was written.").arg(to->text()));
        return;
    }
    // A large file keeps the window painted; no input is taken meanwhile, so
    // the page and its fields stay as they are until the end.
    const QString problem =
        data::transformFile(source, to->text(), direction, key, [this] { session().keepPainted(); });
    if (!problem.isEmpty())
        session().seams.report(&window(), problem);
}

} // namespace corvatek::pages
