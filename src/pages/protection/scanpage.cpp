#include "pages/protection/scanpage.h"

#include "data/filenames.h"
#include "data/valuetext.h"
#include "pages/controls.h"
#include "pages/protection/drivescan.h"
#include "shell/mainwindow.h"
#include "supervision/statusmonitor.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace corvatek::pages {
namespace {

// How the scanner's progress line begins, a count following, in the five
// languages it may write (companions/common/texts.cpp): a finished report
// ends in its summary instead.
constexpr QStringView kProgressLeads[] = {
    u"Analyse en cours : ", u"Scanning: ", u"Prüfung läuft: ", u"Analizando: ", u"Scansione in corso: "};

bool endsInProgress(const data::TextLines& report)
{
    if (report.isEmpty())
        return false;
    const QString last = report.last();
    for (const QStringView lead : kProgressLeads) {
        if (last.size() > lead.size() && last.startsWith(lead) && last[lead.size()].isDigit())
            return true;
    }
    return false;
}

} // namespace

void ScanPage::build()
{
    shell::Session& session = this->session();
    const auto& state = session.state;

    scanButton = placeButton(add<QPushButton>(state.caption(Caption::ScanButton)), {136, 24, 75, 25}, Glyph::Ok);
    stopButton = placeButton(add<QPushButton>(state.caption(Caption::StopScan)), {296, 24, 75, 25}, Glyph::No);

    // The first choice of each box is wider and checked.
    constexpr int kFirstChoiceTop = 24;
    const auto choice = [&](QGroupBox* box, Caption caption, int top) {
        const bool first = top == kFirstChoiceTop;
        auto* button = addTo<QRadioButton>(box, state.caption(caption));
        button->setGeometry(16, top, first ? 129 : 113, 17);
        button->setChecked(first);
        return button;
    };
    modeBox = add<QGroupBox>();
    modeBox->setGeometry(128, 72, 257, 151);
    quickChoice = choice(modeBox, Caption::QuickScan, kFirstChoiceTop);
    fullChoice = choice(modeBox, Caption::FullScan, 56);
    memoryChoice = choice(modeBox, Caption::MemoryScan, 88);
    scheduleBox = add<QGroupBox>();
    scheduleBox->setGeometry(128, 202, 257, 161);
    hourlyChoice = choice(scheduleBox, Caption::EveryHour, kFirstChoiceTop);
    manualChoice = choice(scheduleBox, Caption::NoSchedule, 56);
    manualChoice->setChecked(!state.hourlyScanFlag);

    reportBox = add<QPlainTextEdit>();
    reportBox->setGeometry(400, 77, 185, 189);
    showBothScrollBars(reportBox);

    driveBox = add<QComboBox>();
    driveBox->setGeometry(400, 277, 113, 18);
    volumes_ = session.system.scannableVolumes();
    const auto current = session.system.volumeOf(QDir::currentPath());
    int shown = -1; // the current drive; none shown when it is no scannable volume
    for (const shell::Volume& volume : volumes_) {
        driveBox->addItem(session.system.rootOf(volume));
        if (current && current->device == volume.device)
            shown = driveBox->count() - 1;
    }
    driveBox->setCurrentIndex(shown);

    connect(&window().monitor(), &supervision::StatusMonitor::scannerIdle, this, &ScanPage::scannerIdle);
    connect(&window().monitor(), &supervision::StatusMonitor::scannerRunning, this, &ScanPage::scannerRunning);
    connect(scanButton, &QPushButton::clicked, this, &ScanPage::startScan);
    connect(stopButton, &QPushButton::clicked, this, &ScanPage::stopScan);
    connect(hourlyChoice, &QRadioButton::toggled, this, &ScanPage::chooseScanSchedule);
    // Chosen, not changed: with one volume the item shown is the only one.
    connect(driveBox, &QComboBox::activated, this, &ScanPage::scanChosenDrive);

    reportBox->clear();
    shownReport_ = reportStamp();
    const data::LinesRead report = session.files.readLines(files::ScanReport);
    if (report.status == data::FileStatus::Unreadable)
        reportOnceShown(report.error);
    reportBox->setPlainText(report.lines.joined());
    reportUnfinished_ = endsInProgress(report.lines);
    markInterruption(session.companions.isRunning(files::Scanner));
}

QString ScanPage::writeModeAndStopScanner()
{
    const QString digit = textOf(fullChoice->isChecked() ? ScanMode::Full
            : memoryChoice->isChecked()                  ? ScanMode::RunningPrograms
                                                         : ScanMode::Quick);
    const data::FileResult written = session().files.writeFlag(files::ScanMode, digit);
    // The scanner reads its mode from the file: a mode it cannot see must be told.
    if (!written.ok())
        report(written.error);
    session().companions.stop(files::Scanner);
    return digit;
}

void ScanPage::startScan()
{
    const QString digit = writeModeAndStopScanner();
    session().companions.shellStart(files::Scanner, digit);
    // The monitor enables it again once the scanner has ended.
    scanButton->setEnabled(false);
}

void ScanPage::stopScan()
{
    writeModeAndStopScanner();
}

void ScanPage::chooseScanSchedule()
{
    const bool hourly = hourlyChoice->isChecked();
    session().state.hourlyScanFlag = hourly;
    // Lost at the next start otherwise, unknown to the user.
    const data::FileResult stored = supervision::storeHourlyScan(session().files, hourly);
    if (!stored.ok())
        report(stored.error);
}

void ScanPage::scanChosenDrive()
{
    const int index = driveBox->currentIndex();
    if (index >= 0 && std::size_t(index) < volumes_.size())
        driveScanRequest(session(), &window(), volumes_[std::size_t(index)]);
}

void ScanPage::scannerIdle()
{
    scanButton->setEnabled(true);
    showReportIfChanged();
    markInterruption(false);
}

void ScanPage::scannerRunning()
{
    showReportIfChanged();
    markInterruption(true);
}

ScanPage::ReportStamp ScanPage::reportStamp() const
{
    // Every rewrite renames a new file into place, so its times change.
    const QFileInfo file(session().files.path(files::ScanReport));
    if (!file.exists())
        return {};
    return {file.size(), file.lastModified(), file.metadataChangeTime()};
}

void ScanPage::showReportIfChanged()
{
    const ReportStamp stamp = reportStamp();
    if (stamp == shownReport_)
        return;
    const data::LinesRead report = session().files.readLines(files::ScanReport);
    if (!report.ok() && report.status != data::FileStatus::Missing)
        return; // held or refused: the next tick tries again
    shownReport_ = stamp;
    QScrollBar* bar = reportBox->verticalScrollBar();
    const bool followingEnd = bar->value() == bar->maximum();
    const int position = bar->value();
    reportBox->setPlainText(report.lines.joined());
    bar->setValue(followingEnd ? bar->maximum() : position);
    reportUnfinished_ = endsInProgress(report.lines);
    interruptionShown_ = false;
}

void ScanPage::markInterruption(bool scannerRuns)
{
    const bool wanted = reportUnfinished_ && !scannerRuns;
    if (wanted == interruptionShown_)
        return;
    interruptionShown_ = wanted;
    if (wanted) {
        reportBox->appendPlainText(session().state.text(localisation::Text::ScanInterrupted));
        return;
    }
    // A scanner runs: the report may be its own. The mark goes with its line end.
    QTextCursor cursor(reportBox->document()->lastBlock());
    cursor.movePosition(QTextCursor::PreviousCharacter);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

} // namespace corvatek::pages
