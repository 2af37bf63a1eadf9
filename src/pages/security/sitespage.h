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

class Tpanel10;

// One run of vksites.exe, from its start until it has ended and its answer
// is stored. It belongs to the window, not the page: a page left meanwhile
// loses nothing, and the page built next takes its place.
class SiteLookup : public QObject {
    Q_OBJECT
public:
    SiteLookup(shell::Session& session, QWidget* window, QString typed);
    void attach(Tpanel10* page);

private:
    void check();
    void finish();

    shell::Session& session_;
    QWidget* window_;
    const QString typed_;
    QPointer<Tpanel10> page_;
    QTimer poll_;
    QDeadlineTimer limit_;
};

class Tpanel10 : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;

    void BitBtn14Click();
    void BitBtn16Click();
    void BitBtn17Click();
    void CheckBox14Click();

    QCheckBox* CheckBox5 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn14 = nullptr; // add
    QPushButton* BitBtn16 = nullptr; // remove
    QPushButton* BitBtn17 = nullptr; // remove all
    QComboBox* sites = nullptr;
    QComboBox* addresses = nullptr; // hidden, in step with sites
    QCheckBox* CheckBox14 = nullptr; // hidden

private:
    friend class SiteLookup;
    // Fills both drop-downs from site.xml; false when it could not be read.
    bool fillSites();
};

} // namespace corvatek::pages
