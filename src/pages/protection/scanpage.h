// The scan page: starts and stops the scanner in one of three modes, chooses
// whether the status monitor scans at every full hour, shows the last scan
// report (and, while the scanner runs, the report as it grows; one it left
// unfinished as interrupted) and offers a scan of any mounted volume.
#pragma once

#include "shell/page.h"
#include "shell/system.h"

#include <QDateTime>

#include <vector>

class QComboBox;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace corvatek::pages {

class ScanPage : public shell::Page {
    Q_OBJECT
public:
    using Page::Page;
    void build() override;
    // The status monitor found the scanner not running (the scan button is
    // usable again) or running (the report shows as far as it is written).
    void scannerIdle();
    void scannerRunning();

    void startScan();
    void stopScan();
    void chooseScanSchedule();
    void scanChosenDrive();

    QPushButton* scanButton = nullptr;
    QPushButton* stopButton = nullptr;
    QGroupBox* modeBox = nullptr;
    QRadioButton* quickChoice = nullptr;
    QRadioButton* fullChoice = nullptr;
    QRadioButton* memoryChoice = nullptr;
    QGroupBox* scheduleBox = nullptr;
    QRadioButton* hourlyChoice = nullptr;
    QRadioButton* manualChoice = nullptr;
    QPlainTextEdit* reportBox = nullptr;
    QComboBox* driveBox = nullptr;

private:
    // Steps shared by scan and stop: the mode digit to analyse.txt, every
    // scanner stopped. Returns the digit.
    QString writeModeAndStopScanner();

    // Shows anaviri.txt again when it was replaced since it was last shown:
    // the scanner rewrites it as it goes, and a short scan ends unseen by
    // any tick.
    void showReportIfChanged();
    // A report that ends in a progress line while no scanner runs was cut
    // short: a line of the page's own says so below it.
    void markInterruption(bool scannerRuns);

    struct ReportStamp {
        qint64 size = -1;
        QDateTime modified;
        QDateTime changed;
        bool operator==(const ReportStamp&) const = default;
    };
    ReportStamp reportStamp() const;

    std::vector<shell::Volume> volumes_; // the drive box's entries
    ReportStamp shownReport_;
    bool reportUnfinished_ = false; // the report shown ends in a progress line
    bool interruptionShown_ = false;
};

} // namespace corvatek::pages
