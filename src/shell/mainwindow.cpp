#include "shell/mainwindow.h"

#include "platform/platform.h"
#include "shell/icons.h"
#include "shell/navigationlist.h"
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

TForm2::TForm2(Session& session, const PageRegistry& registry, QWidget* parent)
    : QWidget(parent), session_(session), registry_(registry),
      monitor_(session.state, session.files, session.companions,
          {.now = session.seams.now, .lookup = companions::localHostLookup, .scannerIdle = [this] {
               if (Page* scan = marker(Target::Scan))
                   scan->scannerIdle();
           }})
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    createFrameControls();
    session_.beforeWaiting = [this] { thawPainting(panel_); };
    FormCreate();
    // Attached volumes are offered for a scan whether or not the window shows.
    if (const VolumeArrival& arrival = registry_.volumeArrival())
        volumeWatch_ = new VolumeWatch(
            session_, [this, arrival](const platform::Volume& volume) { arrival(session_, this, volume); }, this);
    // The monitor relies on what start-up sets up: its first tick comes a
    // full interval after it, never inside it.
    Timer1->start();
}

TForm2::~TForm2()
{
    session_.beforeWaiting = nullptr;
    FormDestroy();
}

void TForm2::createFrameControls()
{
    Shape1 = new QFrame(this);
    Shape1->setGeometry(0, 0, 785, 49);
    Shape1->setAutoFillBackground(true);
    Shape1->setPalette(QPalette(QColor(128, 0, 128)));

    ListBox1 = new NavigationList(this);
    ListBox1->setGeometry(16, 48, 161, 385);
    ListBox1->setIcons(navigationIcons());
    connect(ListBox1, &NavigationList::itemChosen, this, &TForm2::ListBox1Click);

    Bevel2 = new QFrame(this);
    Bevel2->setGeometry(312, 416, 193, 41);
    Bevel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Label10 = frameLabel(this, 432, 416);
    Label11 = frameLabel(this, 384, 416);
    Label12 = frameLabel(this, 328, 416);

    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setGeometry(320, 432, 150, 17);
    TrackBar1->setRange(1, 3);
    TrackBar1->setPageStep(1);
    TrackBar1->setTickPosition(QSlider::NoTicks);
    TrackBar1->setValue(2);
    connect(TrackBar1, &QSlider::valueChanged, this, &TForm2::TrackBar1Change);

    BitBtn15 = new QPushButton(this);
    BitBtn15->setGeometry(256, 424, 49, 33);
    BitBtn15->setToolTip(QStringLiteral("Internet"));
    BitBtn15->setIconSize(QSize(22, 22));
    connect(BitBtn15, &QPushButton::clicked, this, &TForm2::BitBtn15Click);
    setInternetGlyph();

    setSliderControlsVisible(false);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);

    Timer1 = new QTimer(this);
    Timer1->setInterval(kMonitorIntervalMs);
    connect(Timer1, &QTimer::timeout, this, &TForm2::Timer1Timer);
}

void TForm2::keyPressEvent(QKeyEvent* event)
{
    // The window's cancel button: an Escape that no control took for itself
    // (an open list closing, say) clicks it.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BitBtn15->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm2::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    StatusBar1->setGeometry(0, height() - 19, width(), 19); // along the bottom, whatever the size
}

void TForm2::setSliderControlsVisible(bool visible)
{
    for (QWidget* control : std::initializer_list<QWidget*> {Bevel2, TrackBar1, BitBtn15, Label10, Label11, Label12})
        control->setVisible(visible);
}

// ---- Navigation and the page frame ------------------------------------

void TForm2::setLanguageWords()
{
    if (const auto word = localisation::linksWord(state().languageCode))
        state().linksWord = *word;
    if (const auto word = localisation::memoryWord(state().languageCode))
        state().memoryWord = *word;
}

void TForm2::fillNavigationList()
{
    ListBox1->clear();
    for (const Target target : kListOrder)
        ListBox1->addItem(targetText(target, state()));
}

void TForm2::ListBox1Click()
{
    setLanguageWords();
    droppedPanels_.append(panel_);
    panel_ = nullptr;
    if (ListBox1->currentRow() < 0)
        return;
    const QString text = ListBox1->text(ListBox1->currentRow());
    for (const Target target : kDispatchOrder) {
        if (text != targetText(target, state()))
            continue;
        if (registry_.page(target))
            buildPage(target);
        else if (const ItemAction* action = registry_.action(target))
            (*action)(*this);
    }
}

void TForm2::buildPage(Target target, bool startUp)
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
    markers_.erase(target);
    auto page = (*factory)(PageContext {session_, *this, panel, startUp});
    QPointer<Page> built = page.get();
    markers_[target] = std::move(page);
    built->build();
    thawPainting(panel);
    if (built)
        built->buildFinished();
}

void TForm2::thawPainting(QWidget* panel)
{
    if (updatesEnabled())
        return; // no build holds painting, or it was thawed already
    setPaintingFrozen(this, false);
    setPaintingFrozen(panel, false);
}

void TForm2::frameReset()
{
    setEnabled(true);
    setWindowState(Qt::WindowNoState);
    resize(kClientWidth, kClientHeight);
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->geometry();
        // Until the window is first shown its frame is unknown: centre it by
        // the outer size its frame usually gives it.
        const QSize outer = isVisible() ? frameGeometry().size() : QSize(kOuterWidth, kOuterHeight);
        move(area.width() / 2 - outer.width() / 2, area.height() / 2 - outer.height() / 2);
    }
    droppedPanels_.append(panel_);
    panel_ = new QWidget(this);
    panel_->setGeometry(176, 48, 609, 369);
    panel_->hide();
    destroyPages();
    // Nothing refers to the dropped panels once their pages are gone.
    for (const auto& dropped : std::exchange(droppedPanels_, {}))
        delete dropped.data();
}

void TForm2::destroyPages()
{
    for (auto& [target, page] : markers_)
        page.reset();
    markers_.clear();
}

Page* TForm2::marker(Target target) const
{
    const auto found = markers_.find(target);
    return found == markers_.end() ? nullptr : found->second.get();
}

// ---- Frame controls ----------------------------------------------------

void TForm2::TrackBar1Change(int position)
{
    state().protectionLevel = position;
    // The companions read the level from the file: a failed write must be told.
    const data::FileResult written = session_.files.writeFlag(u"track.txt", QString::number(position));
    if (!written.ok())
        session_.seams.report(this, written.error);
}

void TForm2::BitBtn15Click()
{
    state().internetFlag = !state().internetFlag;
    setInternetGlyph();
}

void TForm2::setInternetGlyph()
{
    BitBtn15->setIcon(icon(state().internetFlag ? QStringLiteral("internet-on") : QStringLiteral("internet-off")));
}

void TForm2::Timer1Timer()
{
    if (session_.windowBusy > 0)
        return;
    retryFilesBusyAtStart();
    monitor_.tick();
}

void TForm2::registryChangeMessage(quint64 first)
{
    if (first == 2997)
        session_.companions.notify(QStringLiteral("change registre"), state().levelText());
}

// ---- Ending ------------------------------------------------------------

void TForm2::closeEvent(QCloseEvent* event)
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

void TForm2::endMessageLoop()
{
    emit quitRequested();
}

void TForm2::stopProgramsAtEnd()
{
    session_.companions.stopAll({QStringLiteral("vkcheck.exe"), QStringLiteral("vkprobe.exe"),
        QStringLiteral("vkguard.exe"), QStringLiteral("vksites.exe"), QStringLiteral("vkwall.exe"),
        QStringLiteral("vkmail.exe"), QStringLiteral("vksave.exe"), QStringLiteral("vkupdate.exe"),
        QString::fromStdString(platform::networkStatisticsToolName()), QStringLiteral("vkreach.exe")});
}

void TForm2::FormDestroy()
{
    if (std::exchange(destroyed_, true))
        return;
    Timer1->stop();
    stopProgramsAtEnd();
    destroyPages();
}

} // namespace corvatek::shell
