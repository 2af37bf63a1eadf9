// What the notifier shows of the message it is given.
#pragma once

#include <QString>

namespace corvatek::notice {

// The sentence in the user's language for one of the control centre's
// fixed messages (as it sends them, blanks as ';'), else the message as it
// came, every ';' a blank.
QString sentenceFor(const QString& sent);

// One line of bounded length, for the bus and the system log alike.
QString shownText(QString text);

// The notification's body: the text, as entities where the service reads
// markup, so that a file name stays text.
QString body(const QString& text, bool markup);

} // namespace corvatek::notice
