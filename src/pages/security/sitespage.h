// The sites page: the controlled sites of site.xml, each with the address
// vksites.exe found for it, and the site control switches.
#pragma once

#include "shell/page.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace corvatek::pages {

class SitesPage;

// One run of vksites.exe, from its start until it has ended and its answer
// is stored. It belongs to the window, not the page: a page left meanwhile
// loses nothing, and the page built next takes its place.
class SiteLookup : public QObject {
    Q_OBJECT
public:
    SiteLookup(shell::Session& session, QWidget* window, QString typed);
    void attach(SitesPage* page);

private:
    void check();
    void finish();

    shell::Session& session_;
    shell::Dialogue dialogue_;
    const QString typed_;
    QPointer<SitesPage> page_;
    QTimer poll_;
    QDeadlineTimer limit_;
};

class SitesPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void addSite();
    void removeSite();
    void removeAllSites();
    void saveSiteControlFlag();

    QCheckBox* siteControlBox = nullptr;
    QLineEdit* siteField = nullptr;
    QPushButton* addSiteButton = nullptr;
    QPushButton* removeSiteButton = nullptr;
    QPushButton* removeAllSitesButton = nullptr;
    QComboBox* sites = nullptr;
    QComboBox* addresses = nullptr; // hidden, in step with sites
    QCheckBox* siteControlFlagBox = nullptr; // hidden

private:
    friend class SiteLookup;
    // Fills both drop-downs from site.xml; false when it could not be read.
    bool fillSites();
};

} // namespace corvatek::pages
