#include "pages/security/sitespage.h"

#include "data/filenames.h"
#include "data/valuetext.h"
#include "pages/configurationfamily.h"
#include "pages/controls.h"
#include "pages/tableedits.h"
#include "shell/mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalBlocker>

namespace corvatek::pages {
namespace {

constexpr int kPollMs = 100;

// The address in what vksites.exe wrote: the dots and digits of its line.
QString addressOf(const QString& line)
{
    QString address;
    for (const QChar c : line) {
        if (c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            address.append(c);
    }
    return address;
}

} // namespace

SiteLookup::SiteLookup(shell::Session& session, QWidget* window, QString typed)
    : QObject(window), session_(session), dialogue_(session, window), typed_(std::move(typed)),
      limit_(session.waits.siteLookupLimit)
{
    setObjectName(QStringLiteral("siteLookup"));
    session_.companions.shellStart(files::SiteLookup, typed_);
    connect(&poll_, &QTimer::timeout, this, &SiteLookup::check);
    poll_.start(kPollMs);
}

void SiteLookup::attach(SitesPage* page)
{
    page_ = page;
    page->addSiteButton->setEnabled(false); // one lookup at a time
}

void SiteLookup::check()
{
    if (!session_.companions.isRunning(files::SiteLookup))
        return finish();
    if (!limit_.hasExpired())
        return;
    poll_.stop();
    session_.companions.stop(files::SiteLookup);
    dialogue_.report(session_.state.text(localisation::Text::SiteLookupTooSlow,
        {QStringView(files::SiteLookup).toString(), QString::number(session_.waits.siteLookupLimit.count() / 1000.0)}));
    if (page_)
        page_->addSiteButton->setEnabled(true);
    deleteLater();
}

void SiteLookup::finish()
{
    poll_.stop();
    deleteLater();
    const auto enable = qScopeGuard([this] {
        if (page_)
            page_->addSiteButton->setEnabled(true);
    });
    const data::ProgramFiles& files = session_.files;
    const data::LinesRead read = files.readLines(files::SiteAddress);
    if (read.status == data::FileStatus::Missing)
        return;
    if (!read.ok()) {
        // Not "no address found": the lookup's answer was there but unreadable.
        dialogue_.report(session_.state.text(localisation::Text::SiteNotAdded, {read.error}));
        return;
    }
    const data::TextLines& lines = read.lines;
    if (lines.isEmpty()) {
        session_.companions.notify(session_.state.caption(Caption::NoAddressFound), session_.state.protectionLevel);
    } else {
        const QString site = trimmedName(typed_);
        const QString address = addressOf(lines.last());
        if (!dialogue_.check(appendRow(files, data::TableId::Sites, site, address)))
            return;
        if (page_) {
            page_->sites->addItem(site);
            page_->addresses->addItem(address);
        }
    }
    if (page_)
        page_->siteField->clear();
}

void SitesPage::build()
{
    shell::Session& session = this->session();
    const auto& state = session.state;
    siteControlBox = family::place(session, add<QCheckBox>(), family::kSiteControl, {32, 32, 137, 17});
    siteField = add<QLineEdit>();
    siteField->setGeometry(160, 56, 257, 21);
    addSiteButton = placeButton(add<QPushButton>(standardCaption(Glyph::Ok)), {104, 96, 75, 25}, Glyph::Ok);
    removeSiteButton = placeButton(add<QPushButton>(state.caption(Caption::Remove)), {256, 96, 75, 25}, Glyph::No);
    removeAllSitesButton =
        placeButton(add<QPushButton>(state.caption(Caption::ClearAll)), {400, 96, 75, 25}, Glyph::Abort);
    sites = add<QComboBox>();
    sites->setGeometry(112, 160, 361, 21);
    keepTypedText(sites);
    addresses = add<QComboBox>();
    addresses->setGeometry(112, 192, 361, 21);
    addresses->hide();
    siteControlFlagBox =
        add<QCheckBox>(state.caption(Caption::SiteControl) + QStringLiteral("  ") + state.caption(Caption::Cleanup));
    siteControlFlagBox->setGeometry(32, 220, 137, 17);
    siteControlFlagBox->hide();
    connect(addSiteButton, &QPushButton::clicked, this, &SitesPage::addSite);
    connect(removeSiteButton, &QPushButton::clicked, this, &SitesPage::removeSite);
    connect(removeAllSitesButton, &QPushButton::clicked, this, &SitesPage::removeAllSites);
    // Set from the flag below, which writes the flag's file as a click does.
    connect(siteControlFlagBox, &QCheckBox::toggled, this, &SitesPage::saveSiteControlFlag);

    fillSites();
    family::showFlag(session, siteControlBox, family::kSiteControl);
    siteControlFlagBox->setChecked(state.siteControlFlag);
    if (auto* running = window().findChild<SiteLookup*>(QStringLiteral("siteLookup")))
        running->attach(this);
}

bool SitesPage::fillSites()
{
    sites->clear();
    addresses->clear();
    const data::TableLoad load = session().files.loadTable(data::TableId::Sites);
    if (!load.ok()) {
        reportOnceShown(load.error);
        return false;
    }
    const data::Table& table = load.table;
    const int site = table.fieldIndex(data::fields::Name);
    const int address = table.fieldIndex(data::fields::Address);
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        const QString name = table.value(row, site);
        if (name.isEmpty())
            continue;
        sites->addItem(name);
        addresses->addItem(table.value(row, address));
    }
    sites->setCurrentIndex(-1);
    return true;
}

void SitesPage::addSite()
{
    (new SiteLookup(session(), &window(), siteField->text()))->attach(this);
}

void SitesPage::removeSite()
{
    const QString shown = sites->currentText();
    if (check(keepRows(session().files, data::TableId::Sites, [&](QStringView kept) { return kept != shown; })))
        fillSites();
}

void SitesPage::removeAllSites()
{
    if (!check(emptyTable(session().files, data::TableId::Sites)))
        return;
    sites->clear();
    addresses->clear();
}

void SitesPage::saveSiteControlFlag()
{
    auto& state = session().state;
    const bool on = siteControlFlagBox->isChecked();
    // The network tool takes the flag from the monitor, the next run from the
    // file: a flag the file does not hold is not put in force.
    if (!check(session().files.writeFlag(files::SiteControl, textOf(switchOf(on))))) {
        const QSignalBlocker quiet(siteControlFlagBox);
        siteControlFlagBox->setChecked(state.siteControlFlag);
        return;
    }
    state.siteControlFlag = on;
}

} // namespace corvatek::pages
