// Dates and times as the user's system settings write them.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace corvatek::localisation {

// The locale's long time format without its time-zone part (hh:mm:ss).
QString longTimeFormat(const QLocale& locale = QLocale::system());
// Short date, a blank, then long time.
QString shortDateLongTime(const QDateTime& moment, const QLocale& locale = QLocale::system());

} // namespace corvatek::localisation
