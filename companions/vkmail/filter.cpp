#include "filter.h"

#include "engines.h"
#include "findings.h"
#include "headers.h"
#include "maildir.h"
#include "mailtexts.h"
#include "mbox.h"
#include "news.h"

#include "common/companion.h"
#include "common/filename.h"
#include "data/filenames.h"
#include "localisation/timeformat.h"
#include "platform/files.h"
#include "scanning/engine.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

namespace corvatek::vkmail {
namespace {

using Clock = std::chrono::steady_clock;
using companion::MailText;
using companion::say;

// A run's work is bounded: the control centre starts one every minute.
constexpr auto kWorkTime = std::chrono::seconds(20);
// What was scanned is recorded this often, so that a kill loses little.
constexpr auto kRecordEvery = std::chrono::seconds(1);
// An mbox written this recently may be being written still: its last
// message waits for the next run.
constexpr std::int64_t kSettling = 2'000'000'000;
// A folder's time is the kernel's coarse clock: a folder changed within
// this of its listing may change again without its time changing, so it is
// listed again next run.
constexpr std::int64_t kFolderSettling = 100'000'000;
// A message the engine was lost on this many runs in a row is passed over.
constexpr int kStuckRuns = 3;
// Messages scanned together: the engine's cost per scan is mostly its own,
// whatever the size of what it scans.
constexpr std::size_t kBatchMessages = 32;
constexpr std::uint64_t kBatchBytes = 4 << 20;
// A larger message gains nothing from company.
constexpr std::uint64_t kAlone = 1 << 20;
constexpr int kOpenFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

struct Job {
    std::size_t work = 0;
    // An mbox message: its bytes, and what a place after it keeps.
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t check = 0;
    // A Maildir message.
    std::string subfolder;
    std::string name;
    std::string unique;
    MessageHead head;
    bool blocked = false;
    Verdict verdict;
};

// A store being looked at in this run.
struct Work {
    std::size_t store = 0;
    // The file or folders as they were when looking started.
    struct stat file { };
    FolderTimes times;
    std::vector<std::string> present; // Maildir: the unique names listed, sorted
    std::size_t jobs = 0; // not yet recorded
    bool listed = false; // every message handed over
    bool incomplete = false; // something is left for another run
    bool finished = false;
};

class Filter {
public:
    Filter(const std::string& folder, const std::vector<Store>& stores, PositionsRead read)
        : folder_(folder), files_(QFile::decodeName(QByteArray::fromStdString(folder))), stores_(stores),
          positions_(std::move(read.positions)), damaged_(read.status == PositionsRead::Damaged)
    {
    }

    ~Filter()
    {
        // The threads go before the engine they ask.
        pool_.reset();
        engine_.reset();
        if (batch_.fd >= 0)
            ::close(batch_.fd);
    }

    int run()
    {
        language_ = companion::storedLanguage(folder_);
        files_.setLanguage(language_);
        if (damaged_)
            log(say(language_, MailText::PositionsDamaged, {companion::fileName(files::MailPositions)}));
        if (!recordPending())
            return finish();
        readBlockedSenders();
        batching_ = positions_.stuckAt.empty();
        deadline_ = Clock::now() + kWorkTime;
        lastRecord_ = Clock::now();
        for (std::size_t index = 0; index < stores_.size() && !stopped_; ++index) {
            if (!changed(stores_[index], positions_))
                continue;
            if (stores_[index].kind == StoreKind::Mbox)
                lookAtMbox(index);
            else
                lookAtMaildir(index);
        }
        // Stores no longer there are forgotten.
        std::set<std::string> found;
        for (const Store& store : stores_)
            found.insert(store.path);
        std::erase_if(positions_.mboxes, [&](const auto& place) { return !found.contains(place.first); });
        std::erase_if(positions_.maildirs, [&](const auto& place) { return !found.contains(place.first); });
        record();
        return finish();
    }

private:
    // ---- What a run looks at.

    void readBlockedSenders()
    {
        const data::LinesRead read = files_.readLines(files::SpamList);
        for (qsizetype i = 0; read.ok() && i < read.lines.size(); ++i) {
            const std::string sender = listedSender(read.lines.at(i).toStdString());
            if (!sender.empty())
                blocked_.insert(sender);
        }
    }

    Job& newJob(std::size_t work, const std::string& head)
    {
        Job& job = jobs_.emplace_back();
        job.work = work;
        job.head = readHead(head);
        job.blocked = !job.head.sender.empty() && blocked_.contains(job.head.sender);
        ++works_[work].jobs;
        return job;
    }

    void lookAtMbox(std::size_t index)
    {
        const Store& store = stores_[index];
        const int fd = ::open(store.path.c_str(), kOpenFlags);
        const std::size_t work = works_.size();
        Work& looking = works_.emplace_back();
        looking.store = index;
        if (fd < 0 || ::fstat(fd, &looking.file) != 0 || !S_ISREG(looking.file.st_mode)) {
            if (fd >= 0)
                ::close(fd);
            else if (errno != ENOENT)
                logOnce(say(language_, MailText::Unreadable, {shown(store.path), std::strerror(errno)}));
            looking.incomplete = looking.listed = true;
            return;
        }
        MboxPlace& place = positions_.mboxes[store.path];
        const auto size = std::uint64_t(looking.file.st_size);
        // Rewritten before the place (compacted, messages deleted): from
        // the start again. Infected messages told before are not told again.
        if (size < place.offset || (place.offset > 0 && checkAt(fd, place.lastStart, place.offset) != place.check)) {
            place.offset = place.lastStart = place.check = 0;
        }
        place.device = looking.file.st_dev;
        place.inode = looking.file.st_ino;
        place.complete = false;
        const bool settling = now() - nanoseconds(looking.file.st_mtim) < kSettling;
        MboxReader reader(fd, place.offset, size);
        bool noMemory = false;
        while (!stopped_) {
            const int sink = batchFile();
            const std::uint64_t at = batchSize_;
            noMemory = sink < 0;
            std::optional<MboxMessage> message;
            if (!noMemory)
                message = reader.next(sink);
            if (!message)
                break;
            // Its mail program may be adding to it still.
            if (message->last && settling) {
                works_[work].incomplete = true;
                cutBatch(at);
                break;
            }
            Job& job = newJob(work, message->head);
            job.start = message->start;
            job.end = message->end;
            job.check = message->check;
            batchSize_ += message->written;
            if (message->tooLarge) {
                job.verdict = {Verdict::NotScanned, {}};
            } else if (passedOver(job)) {
                cutBatch(at);
            } else if (message->written > kAlone && at > 0) {
                // Alone, out of the batch it was read into.
                const int alone = memoryCopy(sink, at, message->written);
                cutBatch(at);
                if (alone >= 0)
                    scanAlone(job, alone);
                else
                    stopped_ = true; // its verdict waits for another run
            } else if (message->written > kAlone) {
                addToBatch(job, at, message->written);
                handBatch();
            } else {
                addToBatch(job, at, message->written);
            }
            afterJob();
        }
        if (noMemory) {
            log(say(language_, MailText::Unreadable, {shown(store.path), std::strerror(errno)}));
            works_[work].incomplete = true;
        } else if (!reader.error().empty()) {
            log(say(language_, MailText::Unreadable, {shown(store.path), reader.error()}));
            works_[work].incomplete = true;
        }
        ::close(fd);
        works_[work].listed = true;
        works_[work].incomplete = works_[work].incomplete || stopped_;
    }

    void lookAtMaildir(std::size_t index)
    {
        const Store& store = stores_[index];
        const std::size_t work = works_.size();
        Work& looking = works_.emplace_back();
        looking.store = index;
        // Taken before listing: a message delivered meanwhile changes them.
        looking.times = folderTimes(store.path);
        const MaildirPlace& place = positions_.maildirs[store.path];
        std::vector<MaildirMessage> fresh;
        std::unordered_set<std::string> taken;
        for (MaildirMessage& message : listMaildir(store.path)) {
            looking.present.push_back(message.unique);
            if (!std::binary_search(place.seen.begin(), place.seen.end(), message.unique) &&
                taken.insert(message.unique).second)
                fresh.push_back(std::move(message));
        }
        std::sort(looking.present.begin(), looking.present.end());
        const std::int64_t latest = std::max(looking.times.fresh, looking.times.seen);
        looking.incomplete = now() - latest < kFolderSettling;
        for (const MaildirMessage& message : fresh) {
            if (stopped_) {
                works_[work].incomplete = true;
                break;
            }
            const std::string path = store.path + '/' + message.subfolder + '/' + message.name;
            const int fd = ::open(path.c_str(), kOpenFlags);
            struct stat info { };
            if (fd < 0 && errno == ENOENT) {
                // Read and renamed meanwhile: found again next run.
                works_[work].incomplete = true;
                continue;
            }
            std::string head;
            const bool file = fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
            if (file) {
                head.resize(std::min<std::size_t>(kHeadKept, std::size_t(info.st_size)));
                const ssize_t n = ::pread(fd, head.data(), head.size(), 0);
                head.resize(n > 0 ? std::size_t(n) : 0);
            }
            Job& job = newJob(work, head);
            job.subfolder = message.subfolder;
            job.name = message.name;
            job.unique = message.unique;
            const bool tooLarge = file && std::uint64_t(info.st_size) > scanning::kMaxFileSize;
            if (!file || tooLarge || passedOver(job)) {
                if (fd >= 0)
                    ::close(fd);
                job.verdict = {Verdict::NotScanned, {}};
            } else if (!batching_ || std::uint64_t(info.st_size) > kAlone ||
                (job.head.from.empty() && job.head.date.empty() && job.head.subject.empty()) || !addFile(job, fd)) {
                // What is no mail as a mail program writes it, or could be
                // read as several messages, is scanned as it is.
                scanAlone(job, fd);
            }
            afterJob();
        }
        works_[work].listed = true;
    }

    std::string stuckKey(const Job& job) const
    {
        const Store& store = stores_[works_[job.work].store];
        return store.path + '\t' + (store.kind == StoreKind::Mbox ? std::to_string(job.start) : job.unique);
    }

    // A message the engine was lost on in run after run is passed over.
    bool passedOver(Job& job)
    {
        if (positions_.stuckTimes < kStuckRuns || stuckKey(job) != positions_.stuckAt)
            return false;
        job.verdict = {Verdict::NotScanned, {}};
        log(say(language_, MailText::PassedOver,
            {shown(stores_[works_[job.work].store].path), std::to_string(positions_.stuckTimes)}));
        return true;
    }

    // ---- Batches: messages are handed to the engine a few dozen at once.

    int batchFile()
    {
        if (batch_.fd < 0) {
            batch_.fd = ::memfd_create("vkmail-messages", MFD_CLOEXEC);
            batchSize_ = 0;
        }
        return batch_.fd;
    }

    // Drops what was written past `size`.
    void cutBatch(std::uint64_t size)
    {
        if (::ftruncate(batch_.fd, off_t(size)) == 0 && ::lseek(batch_.fd, off_t(size), SEEK_SET) >= 0)
            batchSize_ = size;
    }

    void addToBatch(Job& job, std::uint64_t offset, std::uint64_t size)
    {
        batch_.members.push_back({&job.verdict, offset, size});
        // Where a message was lost the last run, each is asked about alone.
        if (!batching_ || batch_.members.size() >= kBatchMessages || batchSize_ >= kBatchBytes)
            handBatch();
    }

    // A Maildir message into the batch, as an mbox holds it; false when it
    // holds a line an mbox would take for the start of another.
    bool addFile(Job& job, int fd)
    {
        const int sink = batchFile();
        if (sink < 0)
            return false;
        const std::uint64_t start = batchSize_;
        const off_t written = appendAsMboxMessage(sink, fd) ? ::lseek(sink, 0, SEEK_CUR) : -1;
        if (written < 0) {
            cutBatch(start);
            return false;
        }
        ::close(fd);
        batchSize_ = std::uint64_t(written);
        addToBatch(job, start, batchSize_ - start);
        return true;
    }

    void handBatch()
    {
        if (batch_.members.empty())
            return;
        Batch batch = std::exchange(batch_, Batch {});
        batch.alone = batch.members.size() == 1;
        ::lseek(batch.fd, 0, SEEK_SET);
        handOver(std::move(batch));
    }

    void scanAlone(Job& job, int fd) { handOver(Batch {fd, true, {{&job.verdict, 0, 0}}}); }

    // To the engine, loaded for the first message.
    void handOver(Batch batch)
    {
        if (!startEngine()) {
            ::close(batch.fd);
            stopped_ = true;
            return;
        }
        pool_->submit(std::move(batch));
    }

    void afterJob()
    {
        const auto at = Clock::now();
        if (at >= deadline_) {
            stopped_ = timedOut_ = true;
        } else if (at - lastRecord_ >= kRecordEvery) {
            record();
            lastRecord_ = Clock::now();
        }
    }

    bool startEngine()
    {
        if (engine_)
            return true;
        if (noEngine_)
            return false;
        const auto before = Clock::now();
        OpenedEngine opened = openEngine(folder_, language_);
        for (const std::string& note : opened.notes)
            log(note);
        if (!opened.engine) {
            noEngine_ = true;
            // Said once, though every run finds the messages waiting.
            logOnce(say(language_, MailText::WaitingForEngine, {opened.problem}));
            return false;
        }
        engine_ = std::move(opened.engine);
        pool_ = std::make_unique<ScanPool>(*engine_);
        // Loading signatures is no work on messages.
        deadline_ += Clock::now() - before;
        return true;
    }

    // ---- Recording.

    // What the verdicts so far change: the places moved on past every
    // message with a verdict, in order, up to one the engine was lost on;
    // then vkmail.pos written with the findings, which are then recorded.
    void record()
    {
        handBatch();
        if (pool_)
            pool_->drain();
        std::vector<Finding> found;
        std::set<std::string> added; // Maildir folders with names to sort in
        bool halted = false;
        for (Job& job : jobs_) {
            Work& work = works_[job.work];
            --work.jobs;
            if (halted) {
                work.incomplete = true;
                continue;
            }
            const Store& store = stores_[work.store];
            if (job.verdict.kind == Verdict::Pending || job.verdict.kind == Verdict::Lost) {
                halted = true;
                work.incomplete = true;
                if (job.verdict.kind == Verdict::Lost && !noEngine_) {
                    lost_ = true;
                    // Lost on a batch, the next run asks about each message
                    // alone, so that one that stops the engine is known.
                    const std::string key = stuckKey(job);
                    if (batching_ && key != positions_.stuckAt)
                        positions_.stuckTimes = 0;
                    else if (!batching_)
                        positions_.stuckTimes = key == positions_.stuckAt ? positions_.stuckTimes + 1 : 1;
                    positions_.stuckAt = key;
                }
                continue;
            }
            if (stuckKey(job) == positions_.stuckAt) {
                positions_.stuckAt.clear();
                positions_.stuckTimes = 0;
            }
            if (store.kind == StoreKind::Mbox) {
                MboxPlace& place = positions_.mboxes[store.path];
                place.offset = job.end;
                place.lastStart = job.start;
                place.check = job.check;
            } else {
                positions_.maildirs[store.path].seen.push_back(job.unique);
                added.insert(store.path);
            }
            ++messages_;
            storesWithNews_.insert(work.store);
            if (job.verdict.kind == Verdict::NotScanned)
                ++notScanned_;
            else
                ++scanned_;
            if (job.verdict.kind == Verdict::Found) {
                ++infected_;
                Finding finding = findingOf(job, true);
                if (std::find(positions_.told.begin(), positions_.told.end(), finding.key) == positions_.told.end()) {
                    positions_.told.push_back(finding.key);
                    found.push_back(std::move(finding));
                }
            } else if (job.blocked) {
                ++blockedCount_;
                // An mbox is never changed: its message is only counted.
                if (store.kind == StoreKind::Maildir)
                    found.push_back(findingOf(job, false));
            }
        }
        jobs_.clear();
        for (const std::string& folder : added) {
            std::vector<std::string>& seen = positions_.maildirs[folder].seen;
            std::sort(seen.begin(), seen.end());
            seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
        }
        for (Work& work : works_) {
            if (work.finished || !work.listed || work.jobs > 0)
                continue;
            work.finished = true;
            const Store& store = stores_[work.store];
            if (store.kind == StoreKind::Mbox) {
                MboxPlace& place = positions_.mboxes[store.path];
                place.complete = !work.incomplete && place.offset == std::uint64_t(work.file.st_size);
                place.size = std::uint64_t(work.file.st_size);
                place.modified = nanoseconds(work.file.st_mtim);
            } else {
                MaildirPlace& place = positions_.maildirs[store.path];
                // Names no longer there are forgotten.
                std::vector<std::string> kept;
                std::set_intersection(place.seen.begin(), place.seen.end(), work.present.begin(), work.present.end(),
                    std::back_inserter(kept));
                place.seen = std::move(kept);
                place.complete = !work.incomplete;
                place.newModified = work.times.fresh;
                place.curModified = work.times.seen;
            }
        }
        if (halted)
            stopped_ = true;
        positions_.pending.insert(positions_.pending.end(), found.begin(), found.end());
        if (!writePositions())
            return;
        if (!positions_.pending.empty()) {
            positions_.pending = recorder().record(positions_.pending, false);
            writePositions();
        }
    }

    bool writePositions()
    {
        const std::string text = positionsText(positions_);
        const data::FileResult written = files_.replaceFileInPieces(files::MailPositions, platform::wholePiece(text));
        if (written.ok())
            return true;
        // Nothing of this run is told, so nothing is told twice: its
        // messages are looked at again next run.
        log(say(
            language_, MailText::NotWritten, {companion::fileName(files::MailPositions), written.error.toStdString()}));
        stopped_ = positionsUnwritten_ = true;
        positions_.pending.clear();
        return false;
    }

    Finding findingOf(const Job& job, bool infected) const
    {
        const Store& store = stores_[works_[job.work].store];
        Finding finding;
        finding.infected = infected;
        finding.maildir = store.kind == StoreKind::Maildir;
        finding.store = store.path;
        finding.junk = store.junk;
        finding.subfolder = job.subfolder;
        finding.name = job.name;
        finding.from = job.head.from;
        finding.sender = job.head.sender;
        finding.date = job.head.date;
        finding.subject = job.head.subject;
        finding.signature = job.verdict.signature;
        finding.moment = localisation::shortDateLongTime(QDateTime::currentDateTime()).toStdString();
        // The same message found again once its mbox was rewritten. Its size
        // tells apart messages without a header of their own.
        std::uint64_t key = hashOf(store.path);
        for (const std::string* part :
            {&job.head.messageId, &job.head.date, &job.head.from, &job.head.subject, &job.verdict.signature})
            key = hashOf(*part, hashOf("\n", key));
        if (job.head.messageId.empty() && job.head.date.empty())
            key = hashOf(std::to_string(job.end - job.start), key);
        finding.key = key;
        return finding;
    }

    // What a stopped run found, and what could not be recorded then.
    bool recordPending()
    {
        if (positions_.pending.empty())
            return true;
        const std::size_t count = positions_.pending.size();
        positions_.pending = recorder().record(positions_.pending, true);
        if (positions_.pending.empty())
            log(say(language_, MailText::Recorded, {std::to_string(count)}));
        return writePositions();
    }

    Recorder& recorder()
    {
        if (!recorder_)
            recorder_.emplace(folder_, files_, language_, [this](const std::string& line) { log(line); });
        return *recorder_;
    }

    // ---- The end.

    int finish()
    {
        pool_.reset();
        if (recorder_ && recorder_->unlogged() > 0)
            log(say(language_, MailText::More, {std::to_string(recorder_->unlogged())}));
        if (messages_ > 0) {
            log(say(language_, MailText::Summary,
                {std::to_string(stores_.size()), std::to_string(messages_), std::to_string(storesWithNews_.size()),
                    std::to_string(scanned_), std::to_string(infected_), std::to_string(blockedCount_),
                    std::to_string(notScanned_)}));
            if (engine_ && scanned_ > 0)
                log(engine_->description(language_));
        }
        if (timedOut_)
            log(say(language_, MailText::StoppedAfter, {std::to_string(kWorkTime.count())}));
        if (lost_)
            log(say(language_, MailText::EngineLost));
        writeLog();
        if (noEngine_ || lost_ || positionsUnwritten_ || !positions_.pending.empty())
            return 2;
        return infected_ > 0 ? 1 : 0;
    }

    // ---- The log, written once at the end.

    void log(const std::string& line) { lines_.push_back(line); }

    void logOnce(const std::string& line)
    {
        const data::LinesRead read = files_.readLines(files::MailLog);
        if (read.ok() && !read.lines.isEmpty() && read.lines.last().endsWith(qText(line)))
            return;
        log(line);
    }

    // One dated section per run.
    void writeLog()
    {
        if (lines_.empty())
            return;
        QStringList lines;
        for (const std::string& line : lines_)
            lines << qText(line);
        companion::log(files_, files::MailLog, lines);
    }

    const std::string folder_;
    data::ProgramFiles files_;
    const std::vector<Store>& stores_;
    Positions positions_;
    const bool damaged_;
    companion::Language language_ = companion::Language::English;
    std::unordered_set<std::string> blocked_;

    std::unique_ptr<Engine> engine_;
    std::unique_ptr<ScanPool> pool_;
    bool noEngine_ = false;
    bool batching_ = true;
    Batch batch_; // being filled
    std::uint64_t batchSize_ = 0;
    std::deque<Job> jobs_; // handed over, not yet recorded; they stay in place
    std::vector<Work> works_;
    Clock::time_point deadline_ {};
    Clock::time_point lastRecord_ {};
    bool stopped_ = false;
    bool timedOut_ = false;
    bool lost_ = false;
    bool positionsUnwritten_ = false;

    std::size_t messages_ = 0;
    std::set<std::size_t> storesWithNews_;
    std::size_t scanned_ = 0;
    std::size_t notScanned_ = 0;
    std::size_t infected_ = 0;
    std::size_t blockedCount_ = 0;
    std::optional<Recorder> recorder_;
    std::vector<std::string> lines_;
};

} // namespace

int filterMail(const std::string& programFolder, const std::vector<Store>& stores, PositionsRead positions)
{
    Filter filter(programFolder, stores, std::move(positions));
    return filter.run();
}

} // namespace corvatek::vkmail
