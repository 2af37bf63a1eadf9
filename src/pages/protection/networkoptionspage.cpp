#include "pages/protection/networkoptionspage.h"

#include "shell/session.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>

namespace corvatek::pages {

void NetworkOptionsPage::build()
{
    const auto& state = session().state;
    optionBox = add<QGroupBox>();
    optionBox->setGeometry(152, 80, 185, 105);
    stealthModeBox = addTo<QCheckBox>(optionBox);
    stealthModeBox->setGeometry(8, 24, 97, 17);
    stealthModeBox->setText(state.caption(Caption::StealthMode));
    blockUnknownChoice = addTo<QRadioButton>(optionBox);
    blockUnknownChoice->setGeometry(8, 56, 113, 17);
    blockUnknownChoice->setText(state.caption(Caption::BlockUnknown));
    askFirstChoice = addTo<QRadioButton>(optionBox);
    askFirstChoice->setGeometry(8, 80, 113, 17);
    askFirstChoice->setText(state.caption(Caption::AskFirst));
    // Shown unchecked whatever flag 10 holds; the build leaves the flag alone.
    stealthModeBox->setChecked(false);
    connect(stealthModeBox, &QCheckBox::toggled, this, &NetworkOptionsPage::toggleStealthMode);
    connect(blockUnknownChoice, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            chooseBlockUnknown();
    });
    connect(askFirstChoice, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            chooseAskFirst();
    });
    // Runs chooseBlockUnknown: every build turns flag 11 on again.
    blockUnknownChoice->setChecked(true);
}

void NetworkOptionsPage::toggleStealthMode()
{
    session().state.networkOption10 = stealthModeBox->isChecked();
}

void NetworkOptionsPage::chooseBlockUnknown()
{
    session().state.networkOption11 = !askFirstChoice->isChecked();
}

void NetworkOptionsPage::chooseAskFirst()
{
    session().state.networkOption11 = !askFirstChoice->isChecked();
}

} // namespace corvatek::pages
