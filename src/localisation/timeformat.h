// Dates and times as the user's system settings write them.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace corvatek::localisation {

// The locale's long time format without its time-zone part (hh:mm:ss).
QString longTimeFormat(const QLocale& locale = QLocale::system());
// The minute as the suite has always taken it: the time of day in the long
// format, the two characters after its first ":" (its first two characters
// when it has none).
QString minuteOf(const QDateTime& moment, const QLocale& locale = QLocale::system());
// Short date, a blank, then long time.
QString shortDateLongTime(const QDateTime& moment, const QLocale& locale = QLocale::system());

} // namespace corvatek::localisation
