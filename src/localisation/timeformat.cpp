#include "localisation/timeformat.h"

#include <algorithm>

namespace corvatek::localisation {

QString longTimeFormat(const QLocale& locale)
{
    // Qt's long format holds the zone ("t"), in brackets for some locales
    // ("H:mm:ss (t)"); the time of day is wanted, with nothing left of the
    // zone. Quoted words keep their letters.
    const QString given = locale.timeFormat(QLocale::LongFormat);
    QString format;
    bool quoted = false;
    for (const QChar c : given) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t'))
            format += c;
    }
    for (const QLatin1StringView empty : {QLatin1StringView("()"), QLatin1StringView("[]")}) {
        for (qsizetype at = format.indexOf(empty); at >= 0; at = format.indexOf(empty))
            format.remove(at, empty.size());
    }
    return format.simplified();
}

QString minuteOf(const QDateTime& moment, const QLocale& locale)
{
    const QString text = locale.toString(moment.time(), longTimeFormat(locale));
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    return colon < 0 ? text.left(2) : text.mid(colon + 1, 2);
}

namespace {

std::optional<int> minuteNumber(QStringView minute)
{
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9' ? std::optional<int>(c.unicode() - u'0') : std::nullopt; };
    if (minute.size() != 2 || !digit(minute[0]) || !digit(minute[1]))
        return std::nullopt;
    return *digit(minute[0]) * 10 + *digit(minute[1]);
}

constexpr int kLastMinute = 59;
constexpr int kHalfPast = 30;

} // namespace

bool isFullHour(QStringView minute, QStringView previousMinute)
{
    return minuteNumber(minute) == 0 && minuteNumber(previousMinute) == kLastMinute;
}

bool isHalfPast(QStringView minute)
{
    return minuteNumber(minute) == kHalfPast;
}

QString shortDate(const QDate& date, const QLocale& locale)
{
    return locale.toString(date, QLocale::ShortFormat);
}

QString shortDateLongTime(const QDateTime& moment, const QLocale& locale)
{
    return shortDate(moment.date(), locale) + QLatin1Char(' ') +
        locale.toString(moment.time(), longTimeFormat(locale));
}

} // namespace corvatek::localisation

namespace corvatek::localisation {
namespace {

constexpr qint64 kMsPerDay = 24 * 60 * 60 * 1000;

qint64 keyOf(const QDate& date, int msecsOfDay)
{
    return date.toJulianDay() * kMsPerDay + msecsOfDay;
}

// Takes the AM or PM text out of the text, wherever the locale puts it; -1
// for none, 0 for AM, 1 for PM.
int takeMeridiem(QString& text, const QLocale& locale)
{
    const QString words[] = {locale.amText(), locale.pmText()};
    for (int i = 0; i < 2; ++i) {
        const qsizetype at = words[i].isEmpty() ? -1 : text.indexOf(words[i], 0, Qt::CaseInsensitive);
        if (at >= 0) {
            text.replace(at, words[i].size(), QLatin1Char(' '));
            return i;
        }
    }
    return -1;
}

bool onlyLetters(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
}

} // namespace

DateTimeReader::DateTimeReader(const QLocale& locale) : locale_(locale)
{
    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    format_ = shortDate + QLatin1Char(' ') + longTimeFormat(locale);
    int parts = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < shortDate.size();) {
        const QChar c = shortDate[i];
        qsizetype run = 1;
        while (i + run < shortDate.size() && shortDate[i + run] == c)
            ++run;
        i += run;
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || (c == QLatin1Char('d') && run >= 3)) // a day name: no number
            continue;
        if (c == QLatin1Char('d') || c == QLatin1Char('M') || c == QLatin1Char('y')) {
            if (parts == 3)
                numeric_ = false;
            else
                order_[std::size_t(parts++)] = c == QLatin1Char('d') ? Part::Day
                    : c == QLatin1Char('M')                          ? Part::Month
                                                                     : Part::Year;
        }
    }
    if (parts != 3 || locale.zeroDigit() != QLatin1String("0"))
        numeric_ = false;

    for (int month = 1; month <= 12; ++month) {
        for (const auto format : {QLocale::LongFormat, QLocale::ShortFormat, QLocale::NarrowFormat}) {
            if (format != QLocale::NarrowFormat) {
                words_.insert(locale.monthName(month, format).toLower(), month);
                words_.insert(locale.standaloneMonthName(month, format).toLower(), month);
            }
        }
    }
    for (int day = 1; day <= 7; ++day) {
        words_.insert(locale.dayName(day, QLocale::LongFormat).toLower(), Skipped);
        words_.insert(locale.dayName(day, QLocale::ShortFormat).toLower(), Skipped);
    }
    // Words the formats write as they are: quoted text, letters outside ASCII.
    quoted = false;
    QString word;
    const auto endWord = [&] {
        if (!word.isEmpty())
            words_.insert(std::exchange(word, {}).toLower(), Skipped);
    };
    for (const QChar c : std::as_const(format_)) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c.isLetter() && (quoted || c.unicode() > 0x7f))
            word.append(c);
        else
            endWord();
    }
    endWord();
    wordyMeridiem_ = !onlyLetters(locale.amText()) || !onlyLetters(locale.pmText());
    for (const QString& am : {locale.amText(), QStringLiteral("am")})
        words_.insert(am.toLower(), Am);
    for (const QString& pm : {locale.pmText(), QStringLiteral("pm")})
        words_.insert(pm.toLower(), Pm);
    words_.remove(QString());
}

std::optional<qint64> DateTimeReader::key(QStringView text) const
{
    if (!numeric_)
        return keyByFormat(text);
    int meridiem = -1;
    QString spaced;
    if (wordyMeridiem_) {
        spaced = text.toString();
        meridiem = takeMeridiem(spaced, locale_);
        text = spaced;
    }
    int numbers[6] = {};
    int digits[6] = {};
    int count = 0;
    bool inNumber = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            if (!inNumber) {
                if (count == 6)
                    return std::nullopt;
                ++count;
                inNumber = true;
            }
            if (++digits[count - 1] > 4)
                return std::nullopt;
            numbers[count - 1] = numbers[count - 1] * 10 + (c.unicode() - '0');
            continue;
        }
        inNumber = false;
        if (!c.isLetterOrNumber())
            continue;
        qsizetype end = i;
        while (end < text.size() && text[end].isLetter())
            ++end;
        const auto found = end > i ? words_.constFind(text.sliced(i, end - i).toString().toLower()) : words_.cend();
        if (found == words_.cend())
            return std::nullopt; // other words, other digits
        if (*found == Am || *found == Pm) {
            meridiem = *found - Am;
        } else if (*found != Skipped) {
            if (count == 6)
                return std::nullopt;
            numbers[count] = *found; // a month by name
            digits[count++] = 2;
        }
        i = end - 1;
    }
    if (count != 3 && count != 5 && count != 6)
        return std::nullopt;
    int day = 0, month = 0, year = 0;
    for (int i = 0; i < 3; ++i) {
        switch (order_[std::size_t(i)]) {
        case Part::Day: day = numbers[i]; break;
        case Part::Month: month = numbers[i]; break;
        case Part::Year: year = digits[i] <= 2 ? 2000 + numbers[i] : numbers[i]; break;
        }
    }
    const QDate date(year, month, day);
    int hour = numbers[3], minute = numbers[4], second = numbers[5];
    if (meridiem >= 0) {
        if (count == 3 || hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (meridiem == 1 ? 12 : 0);
    }
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return keyOf(date, ((hour * 60 + minute) * 60 + second) * 1000);
}

std::optional<qint64> DateTimeReader::keyByFormat(QStringView text) const
{
    const QDateTime moment = locale_.toDateTime(text.toString(), format_);
    if (!moment.isValid())
        return std::nullopt;
    return keyOf(moment.date(), moment.time().msecsSinceStartOfDay());
}

} // namespace corvatek::localisation
