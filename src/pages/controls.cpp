#include "pages/controls.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>

namespace corvatek::pages {

void setGlyph(QPushButton* button, Glyph glyph)
{
    const QStyle::StandardPixmap pictures[] = {QStyle::SP_DialogOkButton, QStyle::SP_DialogNoButton,
        QStyle::SP_DialogDiscardButton, QStyle::SP_DialogCancelButton};
    button->setIcon(QApplication::style()->standardIcon(pictures[int(glyph)]));
}

QPushButton* placeButton(QPushButton* button, const QRect& geometry, Glyph glyph)
{
    button->setGeometry(geometry);
    setGlyph(button, glyph);
    return button;
}

QString standardCaption(Glyph glyph)
{
    return glyph == Glyph::No ? QCoreApplication::translate("QPlatformTheme", "&No")
                              : QCoreApplication::translate("QPlatformTheme", "OK");
}

void keepTypedText(QComboBox* box)
{
    box->setEditable(true);
    // Qt's completer would give typed text a listed item's letter case, and
    // Enter would add it to the list: the text is stored as typed.
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    QObject::connect(box, &QComboBox::currentTextChanged, box, [box](const QString& text) { box->setToolTip(text); });
}

QTreeView* showAsReport(QTreeView* list)
{
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setSectionsClickable(true);
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(false);
    return list;
}

void showInTwoColumns(QListView* list)
{
    list->setFlow(QListView::TopToBottom);
    list->setWrapping(true);
    list->setUniformItemSizes(true);
    list->setLayoutMode(QListView::Batched);
    list->setGridSize(QSize(list->viewport()->width() / 2, list->fontMetrics().height() + 4));
    list->setTextElideMode(Qt::ElideMiddle);
}

bool typesNonDigit(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const QString typed = static_cast<const QKeyEvent*>(event)->text();
    return typed.size() == 1 && typed[0].isPrint() && !(typed[0] >= QLatin1Char('0') && typed[0] <= QLatin1Char('9'));
}

void showBothScrollBars(QPlainTextEdit* box)
{
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

} // namespace corvatek::pages
