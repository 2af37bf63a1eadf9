#include "pages/protection/guardoptionspage.h"

#include "pages/configurationfamily.h"
#include "shell/session.h"

#include <QCheckBox>
#include <QGroupBox>

namespace corvatek::pages {

void GuardOptionsPage::build()
{
    shell::Session& session = this->session();
    groupBox = add<QGroupBox>(session.state.caption(Caption::GuardOptions));
    groupBox->setGeometry(56, 40, 505, 241);
    scanOnOpenBox = family::place(session, addTo<QCheckBox>(groupBox), family::kScanOnOpen, {16, 32, 400, 17});
    scanOnWriteBox = family::place(session, addTo<QCheckBox>(groupBox), family::kScanOnWrite, {16, 64, 400, 17});
    scanDownloadsBox = family::place(session, addTo<QCheckBox>(groupBox), family::kScanDownloads, {16, 88, 400, 17});
    family::showFlagOnly(session, scanOnOpenBox, family::kScanOnOpen);
    family::showFlagOnly(session, scanOnWriteBox, family::kScanOnWrite);
    family::showFlagOnly(session, scanDownloadsBox, family::kScanDownloads);
}

} // namespace corvatek::pages
