// The looks several pages' controls share.
#pragma once

class QComboBox;
class QEvent;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QRect;
class QString;
class QTreeView;

namespace corvatek::pages {

enum class Glyph { Ok, No, All, Abort };

// Gives a button a page has just made its place and picture; returns it.
QPushButton* placeButton(QPushButton* button, const QRect& geometry, Glyph glyph);
// The toolkit's own caption of a standard button ("OK", "No"), for the
// buttons that show no caption of the language file.
QString standardCaption(Glyph glyph);

// The picture beside a button's text: a tick for going ahead, a stop sign
// for stopping or deleting one, "all" for emptying a list, abort for
// dropping everything at once.
void setGlyph(QPushButton* button, Glyph glyph);

// An editable drop-down whose text is taken exactly as typed (no case
// completion, nothing added by Enter), its hint the whole text.
void keepTypedText(QComboBox* box);

// A read-only list in report style: whole rows selected one at a time,
// every row the same height (none is measured, so long lists stay fast),
// headers clickable but fixed in place. Returns it.
QTreeView* showAsReport(QTreeView* list);

// A check list in two columns of fixed-height items, scrolled sideways.
void showInTwoColumns(QListView* list);

// The key filter of the number fields: true for a key press that types a
// character other than a digit (backspace and shortcuts pass; pasted text is
// not a key press).
bool typesNonDigit(const QEvent* event);

// A box for reading what a companion wrote: long lines stay whole, and both
// scroll bars are always there.
void showBothScrollBars(QPlainTextEdit* box);

} // namespace corvatek::pages
