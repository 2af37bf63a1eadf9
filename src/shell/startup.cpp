// The start-up sequence of the whole suite. It brings every file
// of the program folder into a known state, stops companions left from an
// earlier run, reads the settings and the language, and builds the home page.
#include "data/filenames.h"
#include "data/valuetext.h"
#include "shell/mainwindow.h"
#include "shell/navigationlist.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QSlider>

namespace corvatek::shell {

void MainWindow::runStartUp()
{
    state().startTime = session_.seams.now();
    prepareFlagFiles();
    stopLeftoverCompanions();
    {
        const QSignalBlocker quiet(levelSlider);
        levelSlider->setValue(int(ProtectionLevel::Normal));
    }
    state().protectionLevel = ProtectionLevel::Normal;
    state().internetFlag = true;
    setInternetGlyph();
    centreOnScreen();
    frameReset();
    setSliderControlsVisible(true);
    if (!readConfiguration(session_.files.fileWait())) {
        busyAtStart_.configuration = true;
        noteBusyAtStart(files::Configuration,
            " is in use by another program: every setting is off until it is free, "
            "then it is read again.");
    }
    prepareTables();
    if (!prepareLanguage(session_.files.fileWait())) {
        busyAtStart_.language = true;
        noteBusyAtStart(files::Languages,
            " is in use by another program: the window is in French until it is free, then "
            "the language is read again.");
    }
    session_.companions.shellStart(files::Guard);
    session_.companions.shellStart(files::Reachability);
    loadCaptions();
    setLanguageWords();
    showCaptionsInFrame();
    setWindowTitle(QStringLiteral("Corvatek "));
    QCoreApplication::setApplicationName(QStringLiteral("Corvatek"));
    readSiteControl();
    buildPage(Target::Home, true);
    // The reference for the memory the program gains while it runs.
    state().startResidentBytes = session_.seams.ownMemory();
}

void MainWindow::prepareFlagFiles()
{
    const data::ProgramFiles& files = session_.files;
    files.removeUnfinishedSaves();
    for (const QStringView name : {files::SpamList, files::ScanReport}) {
        if (!files.exists(name))
            noteProblem(files.writeLines(name, {}));
    }
    noteProblem(files.resetLines(files::ApplicationPorts, {}));
    const data::FileResult viruses = files.resetLines(files::Detections, {});
    if (viruses.status == data::FileStatus::Busy) {
        // Emptied later of what it holds now; a companion may add to it meanwhile.
        busyAtStart_.viruses = files.readBytes(files::Detections, data::kListFileLimit).bytes;
        noteBusyAtStart(files::Detections,
            " is in use by another program and could not be emptied: detections from before "
            "this start may show until it is free.");
    } else {
        noteProblem(viruses);
    }
    if (!files.exists(files::CompanionMode))
        noteProblem(files.writeFlag(files::CompanionMode, textOf(CompanionMode::Initial)));
    noteProblem(files.resetLines(files::ProtectionLevel, {textOf(ProtectionLevel::Normal)}));

    // An empty firewall.txt counts as a missing one, and so does one that is
    // refused (a pipe, a device, far too long): told, and replaced.
    const data::FlagRead firewall = files.readFlag(files::FirewallMode);
    if (firewall.status == data::FileStatus::Unreadable)
        noteProblem(firewall);
    if (firewall.value) {
        state().firewall = valueOf<FirewallMode>(*firewall.value);
    } else {
        noteProblem(files.writeFlag(files::FirewallMode, textOf(FirewallMode::Off)));
        state().firewall = FirewallMode::Off;
    }
}

void MainWindow::noteProblem(const data::FileResult& result)
{
    if (!result.ok())
        startupProblems_.append(result.error);
}

void MainWindow::noteKeptAside(const QString& why, const QString& aside)
{
    if (!aside.isEmpty())
        startupProblems_.append(state().text(localisation::Text::KeptAsideDefaultsInUse, {why, aside}));
}

data::FileResult MainWindow::replaceUnreadable(data::TableId id, const QString& why)
{
    QString aside;
    const data::FileResult written = session_.files.replaceWithDefaults(id, session_.seams.now(), &aside);
    noteKeptAside(why, aside);
    return written;
}

void MainWindow::noteBusyAtStart(QStringView file, const char* what)
{
    startupProblems_.append(QString(session_.folder).append(file).append(QString::fromUtf8(what)));
}

void MainWindow::retryFilesBusyAtStart()
{
    if (!busyAtStart_.configuration && !busyAtStart_.language && !busyAtStart_.viruses)
        return;
    constexpr std::chrono::milliseconds kNoWait {0};
    // What reading them now finds is told now: the start's report is past.
    const qsizetype told = startupProblems_.size();
    const auto tellNew = qScopeGuard([&] {
        if (startupProblems_.size() > told)
            session_.seams.report(this, startupProblems_.mid(told).join(QLatin1Char('\n')));
    });
    if (busyAtStart_.configuration && readConfiguration(kNoWait))
        busyAtStart_.configuration = false;
    if (busyAtStart_.language && prepareLanguage(kNoWait)) {
        busyAtStart_.language = false;
        // As a language change does: the page on screen keeps its texts.
        loadCaptions();
        setLanguageWords();
        showCaptionsInFrame();
    }
    if (const auto& before = busyAtStart_.viruses) {
        const data::FileResult emptied = session_.files.updateFile(
            files::Detections,
            [&](const QByteArray& now) -> std::optional<QByteArray> {
                // Rewritten by a companion meanwhile: its content is its own.
                if (!now.startsWith(*before))
                    return std::nullopt;
                return now.mid(before->size());
            },
            kNoWait);
        if (emptied.status != data::FileStatus::Busy)
            busyAtStart_.viruses.reset();
    }
}

void MainWindow::showCaptionsInFrame()
{
    toolkitTranslation_.use(state().languageCode);
    fillNavigationList();
    highLabel->setText(state().caption(Caption::High));
    normalLabel->setText(state().caption(Caption::Normal));
    lowLabel->setText(state().caption(Caption::Low));
    for (QLabel* label : {highLabel, normalLabel, lowLabel})
        label->adjustSize();
}

void MainWindow::stopLeftoverCompanions()
{
    session_.companions.stopAll(supervision::stoppedAtStart());
}

bool MainWindow::readConfiguration(std::chrono::milliseconds wait)
{
    using data::FileStatus;
    using data::TableId;
    const data::ProgramFiles& files = session_.files;
    data::FileResult written;
    if (!files.exists(files::Configuration)) {
        written = files.createTable(TableId::Configuration);
    } else {
        const data::TableLoad load = files.loadTable(schemaOf(TableId::Configuration).fileName, wait);
        if (load.status == FileStatus::Busy)
            return false;
        if (load.status == FileStatus::Unopenable) {
            // No wait would change it: left as it is, the flags stay off.
            noteProblem(load);
            return true;
        }
        QString why = load.error;
        for (int n = 1; why.isEmpty() && n <= kConfigurationFlagCount; ++n) {
            if (load.table.fieldIndex(data::fieldName(n)) < 0)
                why = state().text(
                    localisation::Text::NoField, {files.path(files::Configuration), data::fieldName(n)});
        }
        if (why.isEmpty()) {
            // A table without records reads as empty fields: every flag off.
            setConfigurationFlags(load.table);
            return true;
        }
        written = replaceUnreadable(TableId::Configuration, why);
    }
    if (written.ok()) {
        // What the pages show and save is what the file now holds, never the
        // flags left off by a file that was missing or unreadable.
        setConfigurationFlags(data::defaultTable(TableId::Configuration));
    } else {
        noteProblem(written);
        session_.companions.notify(QStringLiteral("erreur creation configuration"), state().protectionLevel);
    }
    return true;
}

void MainWindow::setConfigurationFlags(const data::Table& configuration)
{
    for (int n = 1; n <= kConfigurationFlagCount; ++n) {
        const int field = configuration.fieldIndex(data::fieldName(n));
        state().configurationFlags[std::size_t(n - 1)] =
            field >= 0 && configuration.rowCount() > 0 && valueOf<Switch>(configuration.value(0, field)) == Switch::On;
    }
}

void MainWindow::prepareTables()
{
    using data::TableId;
    const data::ProgramFiles& files = session_.files;
    const QDateTime now = session_.seams.now();
    data::TableLoad quarantine;
    for (const TableId id : {TableId::Sites, TableId::Rules, TableId::Alerts, TableId::Events, TableId::Quarantine}) {
        data::TableLoad load = files.ensureTable(id, now);
        noteProblem(load);
        noteKeptAside(load.unreadable, load.keptAsidePath);
        if (load.ok() && id == TableId::Quarantine)
            quarantine = std::move(load);
    }

    // The first form of a quarantined name wins; later ones that differ only
    // in letter case go.
    if (!quarantine.ok() || quarantine.table.isEmpty())
        return;
    // The file keeps its own fields: a companion may have added some.
    const data::Table& table = quarantine.table;
    const int field = table.fieldIndex(data::fields::Name);
    if (field < 0)
        return;
    QSet<QString> seen;
    data::Table kept(table.fields());
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        const QString name = table.value(row, field);
        if (!seen.contains(name.toLower())) {
            seen.insert(name.toLower());
            QStringList values;
            for (int n = 0; n < table.fields().size(); ++n)
                values.append(table.value(row, n));
            kept.appendRow(values);
        }
    }
    if (kept.rowCount() != quarantine.table.rowCount()) {
        noteProblem(files.saveTable(TableId::Quarantine, kept));
    }
}

bool MainWindow::prepareLanguage(std::chrono::milliseconds wait)
{
    using data::TableId;
    const data::ProgramFiles& files = session_.files;
    // The code is the one the file holds once this step is done: French
    // unless it keeps another. The file is read once.
    state().languageCode = QStringLiteral("FR");
    if (!files.exists(files::Languages)) {
        // A first start speaks the user's language where it is one of ours.
        data::Table languages = data::defaultTable(TableId::Languages);
        languages.clearRows();
        languages.appendRow({localisation::userLanguageCode()});
        noteProblem(files.saveTable(TableId::Languages, languages));
    }
    const data::TableLoad load = files.ensureTable(TableId::Languages, session_.seams.now(), wait);
    if (load.status == data::FileStatus::Busy)
        return false;
    noteKeptAside(load.unreadable, load.keptAsidePath);
    if (!load.ok()) {
        noteProblem(load);
        return true;
    }
    const bool hasRow = load.table.rowCount() > 0;
    const auto code = hasRow ? load.table.value(0, data::fields::Name) : std::optional<QString>(QString());
    if (!code) {
        noteProblem(replaceUnreadable(
            TableId::Languages,
            state().text(localisation::Text::NoField, {files.path(files::Languages), data::fieldName(1)})));
        return true;
    }
    if (localisation::languageFileName(code->trimmed())) {
        state().languageCode = *code;
        return true;
    }
    const data::FileResult rewritten = files.createTable(TableId::Languages);
    noteProblem(rewritten);
    if (!rewritten.ok() && hasRow)
        state().languageCode = *code; // the file still holds the unknown code
    return true;
}

void MainWindow::loadCaptions()
{
    const QString problem = session_.loadCaptions(state().captions, state().languageCode);
    if (!problem.isEmpty())
        startupProblems_.append(problem);
}

void MainWindow::readSiteControl()
{
    const data::FlagRead flag = session_.files.readFlag(files::SiteControl);
    if (flag.status == data::FileStatus::Unreadable)
        noteProblem(flag);
    if (!flag.value) {
        noteProblem(session_.files.writeFlag(files::SiteControl, textOf(Switch::Off)));
        state().siteControlFlag = false;
    } else {
        // Only an explicit off switches the control off.
        state().siteControlFlag = valueOf<Switch>(*flag.value) != Switch::Off;
    }
}

} // namespace corvatek::shell
