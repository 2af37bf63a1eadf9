#include "pages/protection/modificationspage.h"

#include "pages/configurationfamily.h"
#include "pages/controls.h"
#include "platform/platform.h"
#include "shell/mainwindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace corvatek::pages {
namespace {

// In use by another program. A file the user made read-only is not: it is
// shown, and deleted after the question, as its folder allows.
bool busy(const QString& path)
{
    return platform::fileInUse(QFile::encodeName(path).toStdString(), platform::LockMode::Read);
}

} // namespace

void Tpanel7::build()
{
    shell::Session& session = this->session();
    BitBtn7 = add<QPushButton>();
    BitBtn8 = add<QPushButton>();
    contentBox = add<QPlainTextEdit>();
    CheckBox6 = family::place(session, add<QCheckBox>(), family::CheckBox6, {48, 160, 169, 17});
    CheckBox7 = family::place(session, add<QCheckBox>(), family::CheckBox7, {48, 192, 145, 17});
    CheckBox8 = family::place(session, add<QCheckBox>(), family::CheckBox8, {48, 224, 153, 17});
    CheckBox9 = family::place(session, add<QCheckBox>(), family::CheckBox9, {48, 248, 145, 17});
    fileList = add<QListWidget>();

    placeButton(BitBtn7, {32, 32, 75, 25}, Glyph::Ok)->setText(standardCaption(Glyph::Ok));
    connect(BitBtn7, &QPushButton::clicked, this, &Tpanel7::BitBtn7Click);
    placeButton(BitBtn8, {32, 64, 75, 25}, Glyph::No)->setText(standardCaption(Glyph::No));
    connect(BitBtn8, &QPushButton::clicked, this, &Tpanel7::BitBtn8Click);

    fileList->setGeometry(120, 32, 153, 109);
    // Matched as the suite has always matched file names: letter case aside.
    const QDir folder(session.folder);
    fileList->addItems(folder.entryList({QStringLiteral("*mod*.txt")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
    contentBox->setGeometry(280, 32, 300, 310);
    showBothScrollBars(contentBox);

    for (const auto& [box, member] :
        {std::pair {CheckBox6, family::CheckBox6}, std::pair {CheckBox7, family::CheckBox7},
            std::pair {CheckBox8, family::CheckBox8}, std::pair {CheckBox9, family::CheckBox9}})
        family::showFlag(session, box, member);
}

QString Tpanel7::chosenName() const
{
    const QListWidgetItem* item = fileList->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void Tpanel7::BitBtn7Click()
{
    const QString name = chosenName();
    if (name.isEmpty())
        return;
    contentBox->clear();
    if (busy(session().files.path(name)))
        return;
    const data::LinesRead read = session().files.readLines(name);
    if (read.status == data::FileStatus::Unreadable)
        session().seams.report(&window(), read.error);
    contentBox->setPlainText(read.lines.joined());
}

void Tpanel7::BitBtn8Click()
{
    const QString name = chosenName();
    const QString path = session().files.path(name);
    if (name.isEmpty() || busy(path))
        return;
    if (!session().seams.askYesNo(&window(), session().state.caption(65)))
        return;
    contentBox->clear();
    // A companion may have taken the file while the question was open.
    if (!busy(path))
        QFile::remove(path);
}

} // namespace corvatek::pages
