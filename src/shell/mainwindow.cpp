#include "shell/mainwindow.h"

#include "data/filenames.h"
#include "data/valuetext.h"
#include "platform/volumes.h"
#include "shell/icons.h"
#include "shell/navigationlist.h"
#include "shell/textfit.h"
#include "shell/volumewatch.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

namespace corvatek::shell {
namespace {

constexpr int kMonitorIntervalMs = 1500;

QLabel* frameLabel(QWidget* parent, int left, int top)
{
    auto* label = new QLabel(parent);
    label->move(left, top);
    return label;
}

void setPaintingFrozen(QWidget* widget, bool frozen)
{
    if (!widget)
        return;
    widget->setUpdatesEnabled(!frozen);
    if (!frozen)
        widget->repaint();
}

} // namespace

MainWindow::MainWindow(Session& session, const PageRegistry& registry, QWidget* parent)
    : QWidget(parent), session_(session), registry_(registry),
      monitor_(session.state, session.files, session.companions,
          {.now = session.seams.now, .lookup = supervision::localHostLookup})
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    createFrameControls();
    // The frame and the pages are laid out for this size alone.
    setFixedSize(kClientWidth, kClientHeight);
    session_.beforeWaiting = [this] { thawPainting(panel_); };
    runStartUp();
    // The backup schedule runs from the start, whether or not its page is built.
    const data::FileResult backups = supervision::loadBackupSchedule(state(), session_.files);
    if (backups.status != data::FileStatus::Missing)
        noteProblem(backups);
    // Attached volumes are offered for a scan whether or not the window shows.
    if (const VolumeArrival& arrival = registry_.volumeArrival())
        volumeWatch_ = new VolumeWatch(
            session_, [this, arrival](const platform::Volume& volume) { arrival(session_, this, volume); }, this);
    // The monitor relies on what start-up sets up: its first tick comes a
    // full interval after it, never inside it.
    monitorTimer->start();
}

MainWindow::~MainWindow()
{
    session_.beforeWaiting = nullptr;
    shutDown();
}

void MainWindow::createFrameControls()
{
    titleBand = new QFrame(this);
    titleBand->setGeometry(0, 0, 785, 49);
    titleBand->setAutoFillBackground(true);
    titleBand->setPalette(QPalette(QColor(128, 0, 128)));

    navigationList = new NavigationList(this);
    navigationList->setGeometry(16, 48, 161, 385);
    navigationList->setIcons(navigationIcons());
    connect(navigationList, &NavigationList::itemChosen, this, &MainWindow::onNavigationClicked);

    sliderFrame = new QFrame(this);
    sliderFrame->setGeometry(312, 416, 193, 41);
    sliderFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    highLabel = frameLabel(this, 432, 416);
    normalLabel = frameLabel(this, 384, 416);
    lowLabel = frameLabel(this, 328, 416);

    levelSlider = new QSlider(Qt::Horizontal, this);
    levelSlider->setGeometry(320, 432, 150, 17);
    const auto [lowest, highest] = valueRange(ProtectionLevel {});
    levelSlider->setRange(int(lowest), int(highest));
    levelSlider->setPageStep(1);
    levelSlider->setTickPosition(QSlider::NoTicks);
    levelSlider->setValue(int(ProtectionLevel::Normal));
    connect(levelSlider, &QSlider::valueChanged, this, &MainWindow::setProtectionLevel);

    internetButton = new QPushButton(this);
    internetButton->setGeometry(256, 424, 49, 33);
    internetButton->setToolTip(QStringLiteral("Internet"));
    internetButton->setIconSize(QSize(22, 22));
    connect(internetButton, &QPushButton::clicked, this, &MainWindow::toggleInternet);
    setInternetGlyph();

    setSliderControlsVisible(false);

    statusBar = new QStatusBar(this);
    statusBar->setSizeGripEnabled(false);

    monitorTimer = new QTimer(this);
    monitorTimer->setInterval(kMonitorIntervalMs);
    connect(monitorTimer, &QTimer::timeout, this, &MainWindow::onMonitorTimer);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // The window's cancel button: an Escape that no control took for itself
    // (an open list closing, say) clicks it.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        internetButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    statusBar->setGeometry(0, height() - 19, width(), 19); // along the bottom, whatever the size
}

void MainWindow::setSliderControlsVisible(bool visible)
{
    for (QWidget* control :
        std::initializer_list<QWidget*> {sliderFrame, levelSlider, internetButton, highLabel, normalLabel, lowLabel})
        control->setVisible(visible);
}

// ---- Navigation and the page frame ------------------------------------

void MainWindow::setLanguageWords()
{
    if (const auto word = localisation::linksWord(state().languageCode))
        state().linksWord = *word;
    if (const auto word = localisation::memoryWord(state().languageCode))
        state().memoryWord = *word;
}

void MainWindow::fillNavigationList()
{
    navigationList->clear();
    for (const Target target : kListOrder)
        navigationList->addItem(targetText(target, state()));
}

void MainWindow::onNavigationClicked()
{
    setLanguageWords();
    droppedPanels_.append(panel_);
    panel_ = nullptr;
    if (navigationList->currentRow() < 0)
        return;
    const QString text = navigationList->text(navigationList->currentRow());
    for (const Target target : kDispatchOrder) {
        if (text != targetText(target, state()))
            continue;
        if (registry_.page(target))
            buildPage(target);
        else if (const ItemAction* action = registry_.action(target))
            (*action)(*this);
    }
}

void MainWindow::buildPage(Target target, bool startUp)
{
    const PageFactory* factory = registry_.page(target);
    if (!factory)
        return;
    const QScopedValueRollback busy(session_.windowBusy, session_.windowBusy + 1);
    setPaintingFrozen(this, true);
    frameReset();
    panel_->show();
    QPointer<QWidget> panel = panel_;
    setPaintingFrozen(panel, true);
    // Whatever the build meets, even an error that escapes it, the window
    // paints again afterwards.
    const auto thaw = qScopeGuard([this, panel] { thawPainting(panel); });
    shownPages_.erase(target);
    auto page = (*factory)(PageContext {session_, *this, panel, startUp});
    QPointer<Page> built = page.get();
    shownPages_[target] = std::move(page);
    built->build();
    if (panel)
        fitTexts(panel);
    thawPainting(panel);
    if (built)
        built->buildFinished();
}

void MainWindow::thawPainting(QWidget* panel)
{
    if (updatesEnabled())
        return; // no build holds painting, or it was thawed already
    setPaintingFrozen(this, false);
    setPaintingFrozen(panel, false);
}

void MainWindow::centreOnScreen()
{
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->geometry();
        // Until the window is first shown its frame is unknown: centre it by
        // the outer size its frame usually gives it.
        move(area.width() / 2 - kOuterWidth / 2, area.height() / 2 - kOuterHeight / 2);
    }
}

void MainWindow::frameReset()
{
    setEnabled(true);
    setWindowState(Qt::WindowNoState);
    droppedPanels_.append(panel_);
    panel_ = new QWidget(this);
    panel_->setGeometry(176, 48, 609, 369);
    panel_->hide();
    destroyPages();
    // Nothing refers to the dropped panels once their pages are gone.
    for (const auto& dropped : std::exchange(droppedPanels_, {}))
        delete dropped.data();
}

void MainWindow::destroyPages()
{
    for (auto& [target, page] : shownPages_)
        page.reset();
    shownPages_.clear();
}

Page* MainWindow::shownPage(Target target) const
{
    const auto found = shownPages_.find(target);
    return found == shownPages_.end() ? nullptr : found->second.get();
}

// ---- Frame controls ----------------------------------------------------

void MainWindow::setProtectionLevel(int position)
{
    state().protectionLevel = ProtectionLevel(position);
    // The companions read the level from the file: a failed write must be told.
    const data::FileResult written =
        session_.files.writeFlag(files::ProtectionLevel, textOf(state().protectionLevel));
    if (!written.ok())
        session_.seams.report(this, written.error);
}

void MainWindow::toggleInternet()
{
    state().internetFlag = !state().internetFlag;
    setInternetGlyph();
}

void MainWindow::setInternetGlyph()
{
    internetButton->setIcon(
        icon(state().internetFlag ? QStringLiteral("internet-on") : QStringLiteral("internet-off")));
}

void MainWindow::onMonitorTimer()
{
    if (session_.windowBusy > 0)
        return;
    retryFilesBusyAtStart();
    monitor_.tick();
}

void MainWindow::registryChangeMessage(quint64 first)
{
    if (first == kRegistryChangeMessage)
        session_.companions.notify(QStringLiteral("change registre"), state().protectionLevel);
}

// ---- Ending ------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (ending_) {
        event->accept();
        return;
    }
    // Closing only hides the window: the suite goes on in the background.
    session_.openWebSite();
    frameReset();
    event->accept();
}

void MainWindow::endMessageLoop()
{
    emit quitRequested();
}

void MainWindow::stopProgramsAtEnd()
{
    session_.companions.stopAll(supervision::stoppedAtEnd());
}

void MainWindow::shutDown()
{
    if (std::exchange(destroyed_, true))
        return;
    monitorTimer->stop();
    stopProgramsAtEnd();
    destroyPages();
}

} // namespace corvatek::shell
