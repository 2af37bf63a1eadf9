// The language choice of the settings page: a list of the five language
// codes, each drawn with its flag, and the apply button's handler.
#pragma once

#include <QStyledItemDelegate>

class QComboBox;
class QPainter;

namespace corvatek::shell {
class MainWindow;
}

namespace corvatek::pages {

// The codes in list order; an item's index is also its picture's.
inline constexpr const char* kLanguageItems[] = {"FR", "GB", "ESP", "DE", "ITA"};

// Draws item `index` of the list: alternate white and light rows, the flag at
// the left, and the chosen item blue, bold and italic on light blue.
void drawLanguageItem(
    QPainter& painter, const QFont& font, int index, const QRect& rect, bool selected, const QString& text);

// Fills the list with the five codes, none chosen, drawn by drawLanguageItem.
void fillLanguageList(QComboBox* list);

// Makes `chosen` the language, stored in langues.xml, and
// renames the navigation list, the frame labels and the window. The page on
// screen keeps its texts until it is built again.
void applyLanguage(shell::MainWindow& window, const QString& chosen);

} // namespace corvatek::pages
