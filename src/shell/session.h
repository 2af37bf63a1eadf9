// Everything that outlives a page: the process-wide state, the program
// folder's files, the companions, and the few seams through which tests
// answer questions, watch what is opened and set the clock.
#pragma once

#include "data/programfiles.h"
#include "platform/memory.h"
#include "shell/system.h"
#include "supervision/companions.h"
#include "supervision/processstate.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace corvatek::shell {

using supervision::kConfigurationFlagCount;
using supervision::kProtocolCount;
using supervision::ProcessState;

// The product web site, opened on several occasions.
inline constexpr char kProductWebSite[] = "https://www.corvatek.example/";

struct Seams {
    std::function<QDateTime()> now;
    // A Yes/No question of the information kind; true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> askYesNo;
    // The same for a question whose Yes deletes, empties or overwrites: No
    // is what Return and Escape answer, so that a key pressed in passing
    // loses nothing.
    std::function<bool(QWidget* parent, const QString& text)> askBeforeDeleting;
    // Opens an address or a document with the user's default handler.
    std::function<void(const QString& target)> open;
    // Tells the user about an unexpected error or a problem found at start.
    std::function<void(QWidget* parent, const QString& text)> report;

    // The trash folders that emptying the trash empties: the user's, on
    // every mounted volume.
    std::function<std::vector<std::string>()> trashFolders;
    // What the system page shows: the running processes and the memory
    // figures, live unless a test or a rendering fixes them.
    std::function<std::vector<platform::ProcessMemory>()> processes = platform::processMemoryList;
    std::function<std::optional<platform::MemoryStatus>()> machineMemory = platform::memoryStatus;
    std::function<std::optional<std::uint64_t>()> ownMemory = platform::ownResidentBytes;
    static Seams system();
};

// How long the pages wait for companions they give a fixed time; tests
// shorten them.
struct Waits {
    // The disk tool's fixed wait, in steps of this length: a run waits two,
    // a list refresh four, as the tool has always been given.
    std::chrono::milliseconds diskToolStep {10500};
    // How long the sites page waits for vksites.exe to end before it gives
    // the lookup up.
    std::chrono::milliseconds siteLookupLimit {30000};
};

struct Session {
    // The suite's files are read and written in `programFolder`; what ships
    // with the program (the language and links files, the companions) is
    // looked for there first, then in `installFolder`, the executable's own.
    Session(QString programFolder, Seams seams, std::chrono::milliseconds fileWait = data::kFileFreeTimeout,
        QString installFolder = {});

    const QString folder;
    ProcessState state;
    data::ProgramFiles files;
    supervision::Companions companions;
    System system; // the operating system, as the pages reach it
    Seams seams;
    Waits waits;
    // How deep the window thread is in a page build or a file wait. Events
    // keep flowing there, so a monitor tick may arrive: it is skipped rather
    // than run on half-changed state.
    int windowBusy = 0;
    // Called before the window paints during a wait: a page build that must
    // wait shows its page as far as it is built rather than a dead window.
    std::function<void()> beforeWaiting;

    // Lets the window paint itself during a long piece of work on its thread;
    // no input is taken meanwhile, so no page changes under that work.
    void keepPainted();
    void openWebSite() const { seams.open(QString::fromLatin1(kProductWebSite)); }
    // Empties the trash folders of the seam, the window painted meanwhile.
    void emptyTrash();
    // The folder holding the shipped file `name`, as above; `folder` when
    // neither does. The companions keep both folders.
    QString shippedFolderOf(QStringView name) const;
    // Loads language `code`'s captions from where its file ships: the
    // problem, or empty.
    QString loadCaptions(localisation::CaptionTable& captions, const QString& code);
};

} // namespace corvatek::shell
