#include "findings.h"

#include "maildir.h"
#include "mailtexts.h"

#include "common/filename.h"
#include "common/notice.h"
#include "common/tablerows.h"
#include "data/filenames.h"
#include "localisation/timeformat.h"
#include "vkprobe/report.h"

#include <QDateTime>

#include <set>
#include <tuple>

namespace corvatek::vkmail {
namespace {

using companion::MailText;
using companion::say;

constexpr qsizetype kKeptAlerts = 1000;
constexpr std::size_t kLoggedFindings = 20;
constexpr std::size_t kShown = 200; // characters of a sender or a subject shown
constexpr std::size_t kNamesNotified = 3;

} // namespace

std::string shown(std::string_view text)
{
    std::string line = probe::lineText(text);
    std::size_t end = 0, count = 0;
    while (end < line.size() && count < kShown) {
        ++end;
        while (end < line.size() && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
            ++end;
        ++count;
    }
    if (end < line.size())
        line = line.substr(0, end) + "…";
    return line;
}

QString qText(const std::string& text)
{
    return QString::fromStdString(text);
}

Recorder::Recorder(std::string folder, const data::ProgramFiles& files, companion::Language language,
    std::function<void(const std::string&)> log)
    : folder_(std::move(folder)), files_(files), language_(language), log_(std::move(log))
{
}

std::size_t Recorder::unlogged() const
{
    return findingLines_ > kLoggedFindings ? findingLines_ - kLoggedFindings : 0;
}

std::string Recorder::senderOf(const Finding& finding) const
{
    if (!finding.from.empty())
        return shown(finding.from);
    return finding.sender.empty() ? say(language_, MailText::UnknownSender) : shown(finding.sender);
}

std::string Recorder::subjectOf(const Finding& finding) const
{
    return finding.subject.empty() ? say(language_, MailText::NoSubject) : shown(finding.subject);
}

// The message's date as the user's locale writes it, else as written.
std::string Recorder::dateOf(const Finding& finding) const
{
    if (finding.date.empty())
        return say(language_, MailText::NoDate);
    const QDateTime date = QDateTime::fromString(qText(finding.date), Qt::RFC2822Date);
    return date.isValid() ? localisation::shortDateLongTime(date.toLocalTime()).toStdString() : shown(finding.date);
}

std::string Recorder::alertText(const Finding& finding) const
{
    return say(language_, finding.maildir ? MailText::AlertMoved : MailText::AlertKept,
        {probe::lineText(finding.signature), senderOf(finding), subjectOf(finding)});
}

std::vector<Finding> Recorder::record(const std::vector<Finding>& findings, bool again)
{
    bool done = true;
    std::vector<std::string> lines;
    std::vector<companion::TableRow> rows;
    std::set<std::tuple<QString, QString, QString>> written;
    if (again) {
        const data::TableLoad alerts = files_.loadTable(data::TableId::Alerts);
        const int moment = alerts.table.fieldIndex(data::fields::Moment);
        const int action = alerts.table.fieldIndex(data::fields::Action);
        const int path = alerts.table.fieldIndex(data::fields::Path);
        for (qsizetype row = 0; alerts.ok() && moment >= 0 && action >= 0 && path >= 0 && row < alerts.table.rowCount();
             ++row)
            written.emplace(
                alerts.table.value(row, moment), alerts.table.value(row, action), alerts.table.value(row, path));
    }
    for (const Finding& finding : findings) {
        if (!finding.infected)
            continue;
        lines.push_back(probe::detectionLine(
            finding.store + " (" + senderOf(finding) + ", " + dateOf(finding) + ", " + subjectOf(finding) + ")",
            finding.signature));
        const QString moment = qText(finding.moment), action = qText(alertText(finding)),
                      path = qText(probe::lineText(finding.store));
        if (written.contains({moment, action, path}))
            continue;
        companion::TableRow row {
            {data::fields::Name,
                qText(shown(
                    finding.sender.empty() ? finding.store.substr(finding.store.rfind('/') + 1) : finding.sender))},
            {data::fields::Moment, moment}, {data::fields::Action, action}, {data::fields::Path, path}};
        const QDateTime date = QDateTime::fromString(qText(finding.date), Qt::RFC2822Date);
        if (date.isValid())
            row.emplace_back(data::fields::Version, localisation::shortDateLongTime(date.toLocalTime()));
        rows.push_back(std::move(row));
    }
    if (!lines.empty()) {
        const data::FileResult viri = files_.updateFile(
            files::Detections,
            [&](const QByteArray& current) -> std::optional<QByteArray> {
                return QByteArray::fromStdString(probe::withDetections(current.toStdString(), lines));
            },
            files_.fileWait());
        if (!viri.ok()) {
            done = false;
            log_(say(
                language_, MailText::NotWritten, {companion::fileName(files::Detections), viri.error.toStdString()}));
        }
    }
    if (!rows.empty()) {
        const companion::RowsAdded added = companion::appendRows(files_, data::TableId::Alerts, rows, kKeptAlerts);
        done = done && added.done();
        if (!added.done() || added.notATable)
            log_(say(language_, MailText::NotWritten,
                {companion::fileName(files::Alerts),
                    added.notATable ? say(language_, MailText::NotATable) : added.written.error.toStdString()}));
    }
    for (const Finding& finding : findings) {
        std::string line = finding.infected
            ? say(language_, MailText::Found,
                  {probe::lineText(finding.signature), senderOf(finding), dateOf(finding), subjectOf(finding),
                      shown(finding.store)})
            : say(language_, MailText::Blocked, {senderOf(finding), subjectOf(finding), shown(finding.store)});
        if (finding.maildir) {
            const Move move = moveToJunk(finding.store, finding.junk, finding.subfolder, finding.name);
            if (move.outcome == Move::Done)
                line += "; " + say(language_, MailText::MovedTo, {shown(finding.junk)});
            else
                line += "; " +
                    say(language_, MailText::NotMoved,
                        {shown(finding.name), shown(finding.junk),
                            move.outcome == Move::Gone ? say(language_, MailText::NoLongerThere) : move.why});
        } else {
            line += "; " + say(language_, MailText::LeftInMailbox);
        }
        if (findingLines_++ < kLoggedFindings)
            log_(line);
    }
    // Told as soon as recorded: a run killed before its end must not
    // keep them from the user.
    notify(findings);
    return done ? std::vector<Finding>() : findings;
}

void Recorder::notify(const std::vector<Finding>& findings)
{
    std::vector<const Finding*> infected;
    for (const Finding& finding : findings) {
        if (finding.infected)
            infected.push_back(&finding);
    }
    if (infected.empty())
        return;
    std::string message;
    if (infected.size() == 1) {
        const Finding& finding = *infected.front();
        message = say(language_, MailText::FoundNotice,
            {probe::lineText(finding.signature), senderOf(finding), subjectOf(finding)});
    } else {
        std::string senders;
        for (std::size_t i = 0; i < infected.size() && i < kNamesNotified; ++i)
            senders += (senders.empty() ? "" : ", ") + senderOf(*infected[i]);
        if (infected.size() > kNamesNotified)
            senders += ", …";
        message = say(language_, MailText::FoundSeveralNotice, {std::to_string(infected.size()), senders});
    }
    companion::tellUser(folder_, message);
}

} // namespace corvatek::vkmail
