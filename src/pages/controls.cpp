#include "pages/controls.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

namespace corvatek::pages {

void setGlyph(QPushButton* button, Glyph glyph)
{
    button->setIcon(QApplication::style()->standardIcon(
        glyph == Glyph::Ok ? QStyle::SP_DialogOkButton : QStyle::SP_DialogNoButton));
}

void showBothScrollBars(QPlainTextEdit* box)
{
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

} // namespace corvatek::pages
