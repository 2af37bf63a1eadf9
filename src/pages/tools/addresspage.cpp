#include "pages/tools/addresspage.h"

#include "localisation/words.h"
#include "pages/controls.h"
#include "shell/session.h"
#include "supervision/statusmonitor.h"

#include <QComboBox>
#include <QPushButton>

namespace corvatek::pages {

void AddressPage::build()
{
    addressBox = add<QComboBox>();
    addressBox->setGeometry(140, 80, 345, 21);
    keepTypedText(addressBox);
    machineAddressButton = placeButton(add<QPushButton>(standardCaption(Glyph::Ok)), {280, 144, 75, 25}, Glyph::Ok);
    webAddressButton =
        placeButton(add<QPushButton>(localisation::word(session().state.languageCode, localisation::Word::WebAddress)),
            {280, 204, 75, 25}, Glyph::Ok);
    connect(machineAddressButton, &QPushButton::clicked, this, &AddressPage::showMachineAddress);
    connect(webAddressButton, &QPushButton::clicked, this, &AddressPage::openAddressWebPage);
}

void AddressPage::showMachineAddress()
{
    const supervision::HostAddress host = supervision::localHostLookup();
    addressBox->clear();
    addressBox->addItem(host.name + QLatin1Char(' ') + host.address);
    // The line is seen by opening the list; the box's own text stays empty.
    addressBox->setCurrentIndex(-1);
}

void AddressPage::openAddressWebPage()
{
    QString address = QString::fromLatin1(shell::kProductWebSite);
    address.chop(1); // its closing "/" starts the path
    session().seams.open(address + QStringLiteral("/logiciels-gratuits/ipinternet.php"));
}

} // namespace corvatek::pages
