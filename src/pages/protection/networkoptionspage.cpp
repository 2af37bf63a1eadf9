#include "pages/protection/networkoptionspage.h"

#include "shell/session.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>

namespace corvatek::pages {

void Tpanel3::build()
{
    const auto& state = session().state;
    optionBox = add<QGroupBox>();
    optionBox->setGeometry(152, 80, 185, 105);
    CheckBox1 = addTo<QCheckBox>(optionBox);
    CheckBox1->setGeometry(8, 24, 97, 17);
    CheckBox1->setText(state.caption(53));
    radiobutton1 = addTo<QRadioButton>(optionBox);
    radiobutton1->setGeometry(8, 56, 113, 17);
    radiobutton1->setText(state.caption(55));
    radiobutton2 = addTo<QRadioButton>(optionBox);
    radiobutton2->setGeometry(8, 80, 113, 17);
    radiobutton2->setText(state.caption(56));
    // Shown unchecked whatever flag 10 holds; the build leaves the flag alone.
    CheckBox1->setChecked(false);
    connect(CheckBox1, &QCheckBox::toggled, this, &Tpanel3::CheckBox1Click);
    connect(radiobutton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            radiobutton1Click();
    });
    connect(radiobutton2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            radiobutton2Click();
    });
    // Runs radiobutton1Click: every build turns flag 11 on again.
    radiobutton1->setChecked(true);
}

void Tpanel3::CheckBox1Click()
{
    session().state.networkOption10 = CheckBox1->isChecked();
}

void Tpanel3::radiobutton1Click()
{
    session().state.networkOption11 = !radiobutton2->isChecked();
}

void Tpanel3::radiobutton2Click()
{
    session().state.networkOption11 = !radiobutton2->isChecked();
}

} // namespace corvatek::pages
