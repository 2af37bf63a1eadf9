// The looks several pages' controls share.
#pragma once

class QPlainTextEdit;
class QPushButton;

namespace corvatek::pages {

enum class Glyph { Ok, No };

// The picture beside a button's text: a tick for going ahead, a stop sign
// for stopping or deleting.
void setGlyph(QPushButton* button, Glyph glyph);

// A box for reading what a companion wrote: long lines stay whole, and both
// scroll bars are always there.
void showBothScrollBars(QPlainTextEdit* box);

} // namespace corvatek::pages
