#include "localisation/timeformat.h"

namespace corvatek::localisation {

QString longTimeFormat(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    // Qt's long format ends with the zone ("t"); the time of day is wanted.
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

QString minuteOf(const QDateTime& moment, const QLocale& locale)
{
    const QString text = locale.toString(moment.time(), longTimeFormat(locale));
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    return colon < 0 ? text.left(2) : text.mid(colon + 1, 2);
}

QString shortDateLongTime(const QDateTime& moment, const QLocale& locale)
{
    return locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
        locale.toString(moment.time(), longTimeFormat(locale));
}

} // namespace corvatek::localisation
