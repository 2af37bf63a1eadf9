#include "pages/protection/homepage.h"

#include "data/filenames.h"
#include "localisation/captions.h"
#include "localisation/timeformat.h"
#include "pages/linesmodel.h"
#include "shell/mainwindow.h"

#include <QComboBox>
#include <QLabel>

namespace corvatek::pages {
namespace {

struct HomeWords {
    const char16_t* beforeTime;
    const char16_t* afterTime;
    const char16_t* firewall;
    const char16_t* realTime;
    const char16_t* realTimeGuardDown; // the click variant, guard not running
};

// The words of each language, in the order of localisation::Language,
// exactly as the suite has always shown them.
constexpr HomeWords kWords[localisation::kLanguageCount] = {
    {u"Date d\u00e9marrage :", u" virus d\u00e9tect\u00e9(s) ", u"Parefeu : ",
        u"D\u00e9tection des virus en temps reel :", u"D\u00e9tection des virus en temps reel :"},
    {u"Star date :", u" detected virus ", u"Firewall : ", u"Virus detection in real time :",
        u"Virus detection in real time :"},
    {u"Stardatum :", u"erkanntum Virus ", u"Firewall : ", u"Virenerkennung in Echtzeit :",
        u"Vrenerkennung in Echzeit :"},
    {u"Fecha de inicio :", u" virus detectato ", u"Firewall : ", u"Diteccione de virus en tiempo real :",
        u"Diteccione de virus en tiempo real :"},
    {u"Data di inicio :", u" virus rilevato ", u"Firewall : ", u"Rilevamento dei virus in tempo realte :",
        u"Rilevamento dei virus in tiempo realte :"},
};

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

void colour(QLabel* label, const QColor& background)
{
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, background);
    label->setPalette(palette);
}

void setLine(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize();
}

} // namespace

void HomePage::build()
{
    shell::Session& session = this->session();
    const shell::ProcessState& state = session.state;

    startLine = add<QLabel>();
    startLine->move(56, 156);
    virusBox = add<QComboBox>();
    virusBox->setGeometry(372, 156, 145, 21);
    virusBox->setEditable(!startUp());
    firewallLine = add<QLabel>();
    firewallLine->setGeometry(56, 176, 107, 13);
    realTimeLine = add<QLabel>();
    realTimeLine->setGeometry(56, 216, 107, 13);
    sitesLine = add<QLabel>();
    sitesLine->setGeometry(56, 246, 107, 13);

    // A file that cannot be read leaves the box empty.
    data::LinesRead viruses = session.files.readLinesWhenFree(files::Detections);
    if (viruses.status == data::FileStatus::Unreadable)
        reportOnceShown(viruses.error);
    // A hint of a few lines says what was found; the list holds them all.
    QStringList hint;
    for (qsizetype line = 0; line < std::min<qsizetype>(viruses.lines.size(), 20); ++line)
        hint.append(viruses.lines.at(line));
    if (viruses.lines.size() > hint.size())
        hint.append(QStringLiteral("…"));
    virusBox->setModel(new LinesModel(std::move(viruses.lines), virusBox));
    virusBox->setCurrentIndex(-1); // the list shows when the user opens it
    if (!hint.isEmpty())
        virusBox->setToolTip(hint.join(QLatin1Char('\n')));
    colour(startLine, virusBox->count() == 0 ? kGreen : kRed);

    const HomeWords* words = localisation::entryFor(kWords, state.languageCode);
    // At start the French words come first, so the start and real-time lines
    // of an unknown language still read; a click leaves them empty.
    const HomeWords* startWords =
        words ? words : (startUp() ? &kWords[std::size_t(localisation::Language::French)] : nullptr);
    const QString moment = localisation::shortDateLongTime(state.startTime);
    if (startWords)
        setLine(
            startLine, QString::fromUtf16(startWords->beforeTime) + moment + QString::fromUtf16(startWords->afterTime));

    const bool firewallOff = state.firewall == FirewallMode::Off;
    colour(firewallLine, firewallOff ? kRed : kGreen);
    if (words)
        setLine(firewallLine,
            QString::fromUtf16(words->firewall) + state.caption(firewallOff ? Caption::Off : Caption::On));

    const bool guardRunning = session.companions.isRunning(files::Guard);
    colour(realTimeLine, guardRunning ? kGreen : kRed);
    if (startWords) {
        const char16_t* word = !startUp() && !guardRunning ? startWords->realTimeGuardDown : startWords->realTime;
        setLine(realTimeLine, QString::fromUtf16(word) + state.caption(guardRunning ? Caption::On : Caption::Off));
    }

    setLine(sitesLine,
        state.caption(Caption::SiteControl) + QStringLiteral(" :") +
            state.caption(state.configurationFlag(7) ? Caption::On : Caption::Off));
    colour(sitesLine, firewallOff ? kRed : kGreen);

    if (!startUp())
        session.openWebSite();
}

} // namespace corvatek::pages
