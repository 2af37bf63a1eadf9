#include "pages/configurationfamily.h"

#include "data/filenames.h"
#include "data/valuetext.h"
#include "shell/dialogue.h"
#include "shell/session.h"

#include <QCheckBox>
#include <QSignalBlocker>

namespace corvatek::pages::family {
namespace {

void toggleFlag(shell::Session& session, QCheckBox* sender, int flag)
{
    bool& value = session.state.configurationFlags[std::size_t(flag - 1)];
    const bool before = value;
    value = sender->isChecked();
    if (saveConfiguration(session, sender->window()))
        return;
    // Not in the file, so not in force: the box shows what is.
    value = before;
    const QSignalBlocker quiet(sender);
    sender->setChecked(before);
}

// Rewrites the loaded table's one record from the flags; false when the
// table lacks a field or the file cannot be written.
bool writeFlags(const shell::Session& session, data::Table& table)
{
    QStringList values(table.fields().size());
    for (int n = 1; n <= shell::kConfigurationFlagCount; ++n) {
        const int field = table.fieldIndex(data::fieldName(n));
        if (field < 0)
            return false;
        values[field] = textOf(switchOf(session.state.configurationFlag(n)));
    }
    table.clearRows();
    table.appendRow(values);
    return session.files.saveTable(data::TableId::Configuration, table).ok();
}

} // namespace

QCheckBox* place(shell::Session& session, QCheckBox* box, const Member& member, const QRect& geometry)
{
    box->setChecked(true);
    box->setGeometry(geometry);
    box->setText(session.state.caption(member.caption));
    // Toggled, not clicked: setting the box from its flag runs the handler too.
    QObject::connect(
        box, &QCheckBox::toggled, box, [&session, box, flag = member.flag] { toggleFlag(session, box, flag); });
    return box;
}

void showFlag(const shell::Session& session, QCheckBox* box, const Member& member)
{
    box->setChecked(session.state.configurationFlag(member.flag));
}

void showFlagOnly(const shell::Session& session, QCheckBox* box, const Member& member)
{
    const QSignalBlocker quiet(box);
    showFlag(session, box, member);
}

bool saveConfiguration(shell::Session& session, QWidget* owner)
{
    session.companions.stop(files::Guard);
    data::TableLoad load = session.files.loadTable(data::TableId::Configuration);
    bool saved = false;
    if (!load.ok()) {
        // Nothing to rewrite the record into; the guard must not stay down
        // for it.
        shell::Dialogue(session, owner)
            .report(session.state.text(localisation::Text::SettingsNotSavedGuardRestarted, {load.error}));
    } else if (!writeFlags(session, load.table)) {
        session.companions.notify(QStringLiteral("erreur configuration checkb"), session.state.protectionLevel);
    } else {
        saved = true;
    }
    session.companions.shellStart(files::Guard);
    return saved;
}

} // namespace corvatek::pages::family
