// Dates and times as the user's system settings write them.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace corvatek::localisation {

// The locale's long time format without its time-zone part (hh:mm:ss).
QString longTimeFormat(const QLocale& locale = QLocale::system());
// The minute as the suite has always taken it: the time of day in the long
// format, the two characters after its first ":" (its first two characters
// when it has none).
QString minuteOf(const QDateTime& moment, const QLocale& locale = QLocale::system());
// The moments the time-driven jobs wait for, told from two such minutes: a
// minute in the locale's own digits is none of them.
bool isFullHour(QStringView minute, QStringView previousMinute);
bool isHalfPast(QStringView minute);
// A file's date as the rules show it: the short date alone.
QString shortDate(const QDate& date, const QLocale& locale = QLocale::system());
// Short date, a blank, then long time.
QString shortDateLongTime(const QDateTime& moment, const QLocale& locale = QLocale::system());

// Reads back what shortDateLongTime writes, as companions write it too: a
// sortable key for each text, fast enough to sort a hundred thousand rows.
// Numbers are read in the order of the locale's short date, then the time
// of day (seconds optional); month names, day names, the AM/PM words and the
// formats' own words are known by name.
class DateTimeReader {
public:
    explicit DateTimeReader(const QLocale& locale = QLocale::system());
    // Later moments give larger keys; nothing when the text is no date and
    // time of this locale.
    std::optional<qint64> key(QStringView text) const;

private:
    enum class Part { Day, Month, Year };
    // What a word of letters stands for: a month (1..12) or one of these.
    enum Word : int { Skipped = 0, Am = 100, Pm = 101 };
    std::optional<qint64> keyByFormat(QStringView text) const;

    QLocale locale_;
    std::array<Part, 3> order_ {Part::Day, Part::Month, Part::Year};
    bool numeric_ = true; // ASCII digits, the date in three parts
    bool wordyMeridiem_ = false; // AM/PM texts holding more than letters
    QHash<QString, int> words_; // lower case
    QString format_; // for the rest
};

} // namespace corvatek::localisation
