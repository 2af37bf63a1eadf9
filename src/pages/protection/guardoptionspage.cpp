#include "pages/protection/guardoptionspage.h"

#include "pages/configurationfamily.h"
#include "shell/session.h"

#include <QCheckBox>
#include <QGroupBox>

namespace corvatek::pages {

void Tpanel6::build()
{
    shell::Session& session = this->session();
    groupBox = add<QGroupBox>(session.state.caption(57));
    groupBox->setGeometry(56, 40, 505, 241);
    CheckBox2 = family::place(session, addTo<QCheckBox>(groupBox), family::CheckBox2, {16, 32, 400, 17});
    CheckBox3 = family::place(session, addTo<QCheckBox>(groupBox), family::CheckBox3, {16, 64, 400, 17});
    CheckBox4 = family::place(session, addTo<QCheckBox>(groupBox), family::CheckBox4, {16, 88, 400, 17});
    family::showFlagOnly(session, CheckBox2, family::CheckBox2);
    family::showFlagOnly(session, CheckBox3, family::CheckBox3);
    family::showFlagOnly(session, CheckBox4, family::CheckBox4);
}

} // namespace corvatek::pages
