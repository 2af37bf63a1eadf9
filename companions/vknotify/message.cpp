#include "message.h"

#include "common/companion.h"
#include "common/texts.h"
#include "data/filenames.h"
#include "data/programfiles.h"
#include "data/tables.h"

#include <QFile>
#include <QTextBoundaryFinder>

#include <chrono>

namespace corvatek::notice {
namespace {

using namespace std::chrono_literals;

// A notification is read at a glance: what is longer is cut.
constexpr qsizetype kTextLimit = 1000; // characters (code points), "…" included

// The control centre's fixed messages, as it sends them, and the sentence
// each stands for.
struct FixedMessage {
    QLatin1StringView sent;
    companion::Text sentence;
};
constexpr FixedMessage kFixedMessages[] = {
    {QLatin1StringView("ok0"), companion::Text::DiskCheckDone},
    {QLatin1StringView("ok1"), companion::Text::FolderCheckDone},
    {QLatin1StringView("change;registre"), companion::Text::SystemSettingChanged},
    {QLatin1StringView("erreur;configuration;checkb"), companion::Text::SettingsNotSaved},
    {QLatin1StringView("erreur;creation;configuration"), companion::Text::SettingsNotMade},
};

// A program of quarantaines.xml by the name the control centre stopped it
// under; a file held past a moment counts as no list.
bool inQuarantine(const data::ProgramFiles& files, const QString& name)
{
    const data::TableLoad list = files.loadTable(files::Quarantine, 100ms);
    const int field = list.ok() ? list.table.fieldIndex(data::fields::Name) : -1;
    for (qsizetype row = 0; field >= 0 && row < list.table.rowCount(); ++row) {
        if (data::trimmedName(list.table.value(row, field)).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QString sentenceFor(const QString& sent)
{
    QString text = sent;
    text.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString folder = companion::programFolder();
    const companion::Language language = companion::storedLanguage(QFile::encodeName(folder).toStdString());
    const auto say = [language](companion::Text sentence, std::initializer_list<std::string_view> arguments = {}) {
        return QString::fromStdString(companion::say(language, sentence, arguments));
    };
    for (const FixedMessage& fixed : kFixedMessages) {
        if (sent == fixed.sent)
            return say(fixed.sentence);
    }
    const QString name = text.trimmed();
    if (!name.isEmpty() && inQuarantine(data::ProgramFiles(folder), name))
        return say(companion::Text::QuarantineStopped, {name.toStdString()});
    return text;
}

// The bus and the system log get one line of text of bounded length: each
// control character becomes a blank (a line end or a tab still parts words),
// and a longer text is cut at a whole character, an accent or a joined
// emoji never split from its letter, and ends in "…".
QString shownText(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    const auto next = [&text](qsizetype at) {
        return at + (text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2 : 1);
    };
    qsizetype end = 0; // past the characters that fit before the "…"
    for (qsizetype points = 0; end < text.size() && points < kTextLimit - 1; ++points)
        end = next(end);
    if (end == text.size() || next(end) == text.size())
        return text;
    // A boundary depends on what precedes it and on one character after it.
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, QStringView(text).left(end + 2).toString());
    boundaries.setPosition(end);
    const qsizetype cut = boundaries.isAtBoundary() ? end : boundaries.toPreviousBoundary();
    // One "character" of a thousand marks is cut among its marks.
    text.truncate(cut > 0 ? cut : end);
    return text + QChar(0x2026);
}

QString body(const QString& text, bool markup)
{
    return markup ? text.toHtmlEscaped() : text;
}

} // namespace corvatek::notice
