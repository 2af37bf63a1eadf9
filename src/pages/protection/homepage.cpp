#include "pages/protection/homepage.h"

#include "data/filenames.h"
#include "localisation/captions.h"
#include "localisation/timeformat.h"
#include "localisation/words.h"
#include "pages/linesmodel.h"
#include "shell/mainwindow.h"

#include <QComboBox>
#include <QLabel>

namespace corvatek::pages {
namespace {

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

    using localisation::Word;
    const auto language = localisation::languageOf(state.languageCode);
    // At start the French words come first, so the start and real-time lines
    // of an unknown language still read; a click leaves them empty.
    const auto startLanguage = language || !startUp() ? language : localisation::Language::French;
    const QString moment = localisation::shortDateLongTime(state.startTime);
    if (startLanguage)
        setLine(startLine,
            localisation::word(*startLanguage, Word::StartDate) + moment +
                localisation::word(*startLanguage, Word::DetectedViruses));

    // Green says something filters: a setting alone filters nothing while
    // no network tool runs.
    const bool firewallOff = state.firewall == FirewallMode::Off;
    const bool networkToolRunning = session.companions.isRunning(files::NetworkTool);
    colour(firewallLine, state.firewallOn() && networkToolRunning ? kGreen : kRed);
    if (language)
        setLine(firewallLine,
            localisation::word(*language, Word::FirewallLine) +
                state.caption(firewallOff ? Caption::Off : Caption::On));

    const bool guardRunning = session.companions.isRunning(files::Guard);
    colour(realTimeLine, guardRunning ? kGreen : kRed);
    if (startLanguage) {
        const Word lead = !startUp() && !guardRunning ? Word::RealTimeGuardDown : Word::RealTime;
        setLine(realTimeLine,
            localisation::word(*startLanguage, lead) + state.caption(guardRunning ? Caption::On : Caption::Off));
    }

    setLine(sitesLine,
        state.caption(Caption::SiteControl) + QStringLiteral(" :") +
            state.caption(state.configurationFlag(7) ? Caption::On : Caption::Off));
    colour(sitesLine, state.configurationFlag(7) && networkToolRunning ? kGreen : kRed);

    if (!startUp())
        session.openWebSite();
}

} // namespace corvatek::pages
