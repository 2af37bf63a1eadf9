// Texts that would be cut where they stand: a control grows to its whole
// text where nothing else is in the way, and otherwise shows it whole as a
// tooltip; so does every item of a list or a choice box.
#pragma once

class QString;
class QWidget;

namespace corvatek::shell {

// Over the controls below `page`, laid out at fixed places.
void fitTexts(QWidget* page);

// The caption a control shows as the user reads it (no mnemonic marks);
// empty for controls that show none or wrap it.
QString captionOf(const QWidget* control);

// The width a control's caption needs, and the width of it that shows:
// a control laid over it hides the rest.
int neededWidth(const QWidget* control);
int visibleWidth(const QWidget* control);

} // namespace corvatek::shell
