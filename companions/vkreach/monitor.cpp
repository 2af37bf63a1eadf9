#include "monitor.h"

#include "common/companion.h"
#include "common/filename.h"
#include "common/notice.h"
#include "common/texts.h"
#include "data/filenames.h"
#include "localisation/timeformat.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>

#include <chrono>

namespace corvatek::vkreach {
namespace {

using companion::ReachText;
using companion::say;

// A companion must not hold the settings page's read up for long.
constexpr std::chrono::milliseconds kFileWait {1000};
// A notification names this many entries.
constexpr std::size_t kEntriesTold = 5;
// Past this, what was seen is forgotten but for what listens now, so that
// programs opening port after port cannot grow the monitor without end.
constexpr std::size_t kMostSeen = 4096;

// Names come from processes: one may hold a line end, or bytes that are no
// UTF-8, and must not forge a line or spoil the file's encoding.
std::string shown(const std::string& name)
{
    QString text = QString::fromUtf8(name);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = u'?';
    }
    return text.toStdString();
}

std::string portText(const Entry& entry)
{
    return std::string(kindText(entry.kind)) + '/' + std::to_string(entry.port);
}

std::string lineOf(const Entry& entry)
{
    return entry.program + ' ' + portText(entry);
}

} // namespace

Monitor::Monitor(QString folder) : folder_(std::move(folder)), files_(folder_, {kFileWait, {}}) { }

void Monitor::round()
{
    const Listing listing = lister_.list();
    std::vector<std::uint64_t> inodes;
    inodes.reserve(listing.sockets.size());
    for (const Socket& socket : listing.sockets)
        inodes.push_back(socket.inode);
    const auto programs = owners_.programsOf(inodes);

    std::set<Entry> now;
    for (const Socket& socket : listing.sockets) {
        const auto program = programs.find(socket.inode);
        now.insert(
            {program == programs.end() ? std::string(kNoProgram) : shown(program->second), socket.kind, socket.port});
    }
    bool anyKnown = false;
    std::set<Entry> fresh;
    for (const Kind kind : kKinds) {
        const std::size_t k = std::size_t(kind);
        const auto& failed = listing.failed[k];
        if (failed) {
            if (kindProblem_[k] != failed)
                log(say(language(), ReachText::KindNotListed, {kindText(kind), *failed}));
            kindProblem_[k] = failed;
            // A round that cannot see them says nothing of them: they stay
            // as last seen.
            for (const Entry& entry : listed_) {
                if (entry.kind == kind)
                    now.insert(entry);
            }
        } else {
            if (kindProblem_[k])
                log(say(language(), ReachText::ListedAgain, {kindText(kind)}));
            kindProblem_[k].reset();
            for (const Entry& entry : now) {
                if (entry.kind == kind && known_[k] && seen_.count(entry) == 0)
                    fresh.insert(entry);
            }
            known_[k] = true;
        }
        anyKnown = anyKnown || known_[k];
    }
    if (!anyKnown)
        return; // nothing known is better than a list that says nothing listens
    seen_.insert(now.begin(), now.end());
    if (seen_.size() > kMostSeen)
        seen_ = now;
    listed_ = std::move(now);
    if (!written_ || *written_ != listed_ || !fileIsOurs())
        write();
    if (!fresh.empty())
        tellOfNew(fresh);
}

companion::Language Monitor::language() const
{
    return companion::storedLanguage(QFile::encodeName(folder_).toStdString());
}

void Monitor::write()
{
    QStringList lines;
    lines.reserve(qsizetype(listed_.size()) + 1);
    for (const Entry& entry : listed_)
        lines.append(QString::fromStdString(lineOf(entry)));
    lines.append(localisation::shortDateLongTime(QDateTime::currentDateTime()));
    files_.setLanguage(language());
    const data::FileResult written = files_.writeLines(files::ApplicationPorts, lines);
    if (!written.ok()) {
        const std::string why = written.error.toStdString();
        if (writeProblem_ != why)
            log(say(language(), ReachText::NotWritten, {companion::fileName(files::ApplicationPorts), why}));
        writeProblem_ = why;
        return;
    }
    writeProblem_.reset();
    written_ = listed_;
    if (::lstat(QFile::encodeName(files_.path(files::ApplicationPorts)).constData(), &writtenFile_) != 0)
        writtenFile_ = {};
}

// The control centre empties the file at its start, and anyone may replace
// it: a file this run did not write is written again.
bool Monitor::fileIsOurs() const
{
    struct stat now { };
    return ::lstat(QFile::encodeName(files_.path(files::ApplicationPorts)).constData(), &now) == 0 &&
        now.st_dev == writtenFile_.st_dev && now.st_ino == writtenFile_.st_ino && now.st_size == writtenFile_.st_size &&
        now.st_mtim.tv_sec == writtenFile_.st_mtim.tv_sec && now.st_mtim.tv_nsec == writtenFile_.st_mtim.tv_nsec;
}

void Monitor::tellOfNew(const std::set<Entry>& fresh)
{
    const companion::Language language = this->language();
    const auto programOf = [&](const Entry& entry) {
        return entry.program == kNoProgram ? say(language, ReachText::UnknownProgram) : entry.program;
    };
    std::string message;
    if (fresh.size() == 1) {
        const Entry& entry = *fresh.begin();
        message = say(language, ReachText::NewPort, {programOf(entry), portText(entry)});
    } else {
        std::string list;
        std::size_t named = 0;
        for (const Entry& entry : fresh) {
            if (named++ == kEntriesTold) {
                list += ", …";
                break;
            }
            if (!list.empty())
                list += ", ";
            list += programOf(entry) + ' ' + portText(entry);
        }
        message = say(language, ReachText::NewPorts, {list});
    }
    companion::tellUser(QFile::encodeName(folder_).toStdString(), message);
}

void Monitor::log(const std::string& line) const
{
    companion::log(files_, files::ReachabilityLog, QString::fromStdString(line));
}

} // namespace corvatek::vkreach
