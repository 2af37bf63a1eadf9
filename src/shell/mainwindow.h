// The control-centre window: a thin host for the frame controls, the
// navigation list and the current page. It owns the session (the state that
// outlives a page) and runs the start-up sequence when it is created.
#pragma once

#include "supervision/statusmonitor.h"
#include "shell/navigation.h"
#include "shell/session.h"
#include "shell/toolkittranslation.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QStatusBar;
class QTimer;

namespace corvatek::shell {

class NavigationList;
class VolumeWatch;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 786;
    static constexpr int kClientHeight = 481;
    static constexpr int kOuterWidth = 802;
    static constexpr int kOuterHeight = 519;

    // Runs the start-up sequence before it returns.
    MainWindow(Session& session, const PageRegistry& registry, QWidget* parent = nullptr);
    ~MainWindow() override;

    Session& session() const { return session_; }
    ProcessState& state() const { return session_.state; }
    // Pages follow the companions through its signals.
    const supervision::StatusMonitor& monitor() const { return monitor_; }

    // ---- Navigation and the page frame
    void onNavigationClicked();
    // A page target's action: freeze, frame reset, new page, build, thaw.
    void buildPage(Target target, bool startUp = false);
    // Replaces the page panel and destroys every page. The window stays where
    // the user put it.
    void frameReset();
    void fillNavigationList();
    QWidget* pagePanel() const { return panel_; }
    // The page of `target` while it is shown; null otherwise.
    Page* shownPage(Target target) const;
    // Sets the links and memory words for the current language code.
    void setLanguageWords();
    // The navigation list, the frame labels and the toolkit's own texts in
    // the current language.
    void showCaptionsInFrame();

    // ---- Frame controls' handlers
    void setProtectionLevel(int position);
    void toggleInternet();
    void onMonitorTimer();
    // A companion's registry-change message, with its first parameter.
    void registryChangeMessage(quint64 first);

    // ---- Ending
    // Asks the program body to end the message loop; the ordinary shutdown
    // follows.
    void endMessageLoop();
    // The program is ending (the session ends, or it was asked to quit): a
    // close from now on only hides the window, opening nothing.
    void endOfSession() { ending_ = true; }
    // The programs stopped whenever the program ends, in order.
    void stopProgramsAtEnd();
    void shutDown();

    // The watch on attached volumes; null when nothing handles them.
    VolumeWatch* volumeWatch() const { return volumeWatch_; }

    // Problems met at start that the user must hear of (shown once).
    const QStringList& startupProblems() const { return startupProblems_; }

    // Frame controls, by their names.
    QFrame* titleBand = nullptr;
    NavigationList* navigationList = nullptr;
    QFrame* sliderFrame = nullptr;
    QLabel* highLabel = nullptr;
    QLabel* normalLabel = nullptr;
    QLabel* lowLabel = nullptr;
    QSlider* levelSlider = nullptr;
    QPushButton* internetButton = nullptr;
    QStatusBar* statusBar = nullptr;
    QTimer* monitorTimer = nullptr;

signals:
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createFrameControls();
    void runStartUp();
    // Where the window first shows; never again, so that it stays where the
    // user moves it.
    void centreOnScreen();
    // Start-up steps on the program folder's files.
    void noteProblem(const data::FileResult& result);
    void prepareFlagFiles();
    void stopLeftoverCompanions();
    // These two return false when their file stayed in use past `wait`,
    // having read nothing.
    bool readConfiguration(std::chrono::milliseconds wait);
    void setConfigurationFlags(const data::Table& configuration);
    void prepareTables();
    bool prepareLanguage(std::chrono::milliseconds wait);
    void loadCaptions();
    // Files a companion held at start, read again at the first tick on which
    // they are free.
    void noteBusyAtStart(QStringView file, const char* what);
    // A table that could not be read was kept aside and its defaults written.
    void noteKeptAside(const QString& why, const QString& aside);
    data::FileResult replaceUnreadable(data::TableId id, const QString& why);
    void retryFilesBusyAtStart();
    void readSiteControl();
    void setInternetGlyph();
    void setSliderControlsVisible(bool visible);
    void destroyPages();
    // Ends a build's painting freeze, once.
    void thawPainting(QWidget* panel);

    Session& session_;
    const PageRegistry& registry_;
    supervision::StatusMonitor monitor_;
    QPointer<QWidget> panel_;
    QList<QPointer<QWidget>> droppedPanels_;
    VolumeWatch* volumeWatch_ = nullptr;
    std::map<Target, std::unique_ptr<Page>> shownPages_;
    QStringList startupProblems_;
    struct BusyAtStart {
        bool configuration = false;
        bool language = false;
        std::optional<QByteArray> viruses; // what viri.txt held, to be emptied of
    } busyAtStart_;
    ToolkitTranslation toolkitTranslation_;
    bool ending_ = false;
    bool destroyed_ = false;
};

} // namespace corvatek::shell
