#include "pages/security/settingspage.h"

#include "data/filenames.h"
#include "data/valuetext.h"
#include "localisation/words.h"
#include "pages/controls.h"
#include "pages/linesmodel.h"
#include "pages/security/languagechoice.h"
#include "pages/tableedits.h"
#include "shell/mainwindow.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace corvatek::pages {
namespace {

template<typename List> List* oneLineList(List* list, int top)
{
    list->setGeometry(186, top, 152, 23);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return list;
}

} // namespace

void SettingsPage::build()
{
    shell::Session& session = this->session();
    const auto& state = session.state;
    const QString& code = state.languageCode;
    using localisation::Word;

    add<QLabel>(state.caption(Caption::ListToClear))->move(56, 80);
    clearingChoice = add<QComboBox>();
    clearingChoice->setGeometry(176, 72, 233, 21);
    clearListButton = placeButton(add<QPushButton>(state.caption(Caption::ClearAll)), {416, 72, 145, 25}, Glyph::No);

    add<QLabel>(state.caption(Caption::Language))->setGeometry(56, 136, 112, 17);
    languageBox = add<QComboBox>();
    languageBox->setGeometry(176, 136, 233, 22);
    applyLanguageButton = placeButton(add<QPushButton>(state.caption(Caption::Apply)), {416, 136, 145, 25}, Glyph::Ok);

    applicationPorts = oneLineList(add<QListView>(), 200);
    applicationPorts->setUniformItemSizes(true); // a long list is not measured line by line
    applicationPorts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    closedPortsLabel = add<QLabel>(localisation::word(code, Word::ClosedPorts));
    closedPortsLabel->move(56, 240);
    closedPorts = oneLineList(add<QListWidget>(), 240);
    portField = add<QLineEdit>();
    portField->setGeometry(350, 240, 41, 21);
    portField->setMaxLength(5);
    portField->installEventFilter(this);
    addPortButton = placeButton(add<QPushButton>(state.caption(Caption::Add)), {416, 240, 145, 25}, Glyph::No);
    removePortButton = placeButton(add<QPushButton>(state.caption(Caption::Remove)), {416, 280, 145, 25}, Glyph::No);

    firewallGroup = add<QGroupBox>(localisation::word(code, Word::Firewall));
    firewallGroup->setGeometry(168, 270, 150, 90);
    const auto choice = [&](const QString& text, int top, int width, FirewallMode mode) {
        auto* button = addTo<QRadioButton>(firewallGroup, text);
        button->setGeometry(16, top, width, 17);
        button->setChecked(state.firewall == mode);
        return button;
    };
    firewallOnChoice = choice(state.caption(Caption::FirewallOn), 20, 129, FirewallMode::On);
    firewallOffChoice = choice(state.caption(Caption::FirewallOff), 34, 113, FirewallMode::Off);
    firewallAlwaysChoice = choice(localisation::word(code, Word::FirewallAlways), 50, 113, FirewallMode::Always);
    connect(firewallOnChoice, &QRadioButton::clicked, this, &SettingsPage::chooseFirewallOn);
    connect(firewallOffChoice, &QRadioButton::clicked, this, &SettingsPage::chooseFirewallOff);
    connect(firewallAlwaysChoice, &QRadioButton::clicked, this, &SettingsPage::chooseFirewallAlways);
    connect(clearListButton, &QPushButton::clicked, this, &SettingsPage::clearChosenList);
    connect(applyLanguageButton, &QPushButton::clicked, this, &SettingsPage::applyLanguage);
    connect(addPortButton, &QPushButton::clicked, this, &SettingsPage::addClosedPort);
    connect(removePortButton, &QPushButton::clicked, this, &SettingsPage::removeClosedPort);

    clearingChoice->addItem(state.caption(Caption::Alerts));
    clearingChoice->setCurrentIndex(-1); // one click must not empty the alerts
    fillLanguageList(languageBox);

    // The network tool's last line is no port: it is left out.
    data::LinesRead applications = session.files.readLines(files::ApplicationPorts);
    if (applications.status == data::FileStatus::Unreadable)
        reportOnceShown(applications.error);
    applicationPorts->setModel(new LinesModel(std::move(applications.lines), applicationPorts, 1));

    const data::LinesRead closed = session.files.readLines(files::ClosedPorts);
    if (closed.ok())
        closedPorts->addItems(closed.lines.toList());
    else if (closed.status == data::FileStatus::Missing)
        session.files.writeLines(files::ClosedPorts, {});
    else
        reportOnceShown(closed.error);
}

bool SettingsPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == portField && typesNonDigit(event))
        return true;
    return Page::eventFilter(watched, event);
}

void SettingsPage::chooseFirewall(FirewallMode mode)
{
    auto& state = session().state;
    // The network tool reads the file: a value it cannot see must be told,
    // and is not put in force, so the screen says what the file says.
    if (!check(session().files.writeFlag(files::FirewallMode, textOf(mode)))) {
        for (const auto& [button, shown] :
            {std::pair {firewallOnChoice, FirewallMode::On}, std::pair {firewallOffChoice, FirewallMode::Off},
                std::pair {firewallAlwaysChoice, FirewallMode::Always}}) {
            button->setAutoExclusive(false); // a value none of them shows unchecks all
            button->setChecked(state.firewall == shown);
            button->setAutoExclusive(true);
        }
        return;
    }
    state.firewall = mode;
}

bool SettingsPage::saveClosedPorts()
{
    QStringList ports;
    for (int row = 0; row < closedPorts->count(); ++row)
        ports.append(closedPorts->item(row)->text());
    return check(session().files.writeLines(files::ClosedPorts, ports));
}

void SettingsPage::addClosedPort()
{
    const QString port = portField->text();
    if (port.isEmpty())
        return;
    for (int row = 0; row < closedPorts->count(); ++row) {
        if (closedPorts->item(row)->text().compare(port, Qt::CaseInsensitive) == 0)
            return;
    }
    closedPorts->addItem(port);
    if (saveClosedPorts())
        portField->clear();
    else
        delete closedPorts->takeItem(closedPorts->count() - 1); // the list shows what the file holds
}

void SettingsPage::removeClosedPort()
{
    if (closedPorts->count() == 0)
        return;
    const int row = closedPorts->currentRow();
    QListWidgetItem* removed = row >= 0 && closedPorts->item(row)->isSelected() ? closedPorts->takeItem(row) : nullptr;
    if (!saveClosedPorts() && removed)
        closedPorts->insertItem(row, removed);
    else
        delete removed;
}

void SettingsPage::clearChosenList()
{
    shell::Session& session = this->session();
    const QString chosen = clearingChoice->currentText();
    if (chosen.isEmpty())
        return;
    if (!askBeforeDeleting(session.state.caption(Caption::ClearListQuestion) + chosen))
        return;
    if (chosen == session.state.caption(Caption::Alerts))
        check(emptyTable(session.files, data::TableId::Alerts));
    if (chosen == session.state.caption(Caption::EventsListName))
        check(emptyTable(session.files, data::TableId::Events));
    if (chosen == QLatin1String("Modifications"))
        check(session.files.writeLines(files::ProcessModifications, {}));
}

void SettingsPage::applyLanguage()
{
    pages::applyLanguage(window(), languageBox->currentText());
}

} // namespace corvatek::pages
