#include "shell/navigationlist.h"

#include <QKeyEvent>
#include <QPainter>

namespace corvatek::shell {

void NavigationItemDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* list = static_cast<const NavigationList*>(parent());
    const QRect rect = option.rect;
    const QString text = index.data(Qt::DisplayRole).toString();
    // The text's top 2 pixels below the item's, 30 pixels in.
    const auto write = [&](const QFont& font, const QColor& colour) {
        painter->setFont(font);
        painter->setPen(colour);
        painter->drawText(QPoint(rect.left() + 30, rect.top() + 2 + QFontMetrics(font).ascent()), text);
    };
    painter->save();
    painter->fillRect(rect, index.row() % 2 == 1 ? QColor(238, 243, 244) : QColor(Qt::white));
    write(option.font, option.palette.color(QPalette::Text));
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(rect, QColor(197, 209, 248));
        QFont emphasis = option.font;
        emphasis.setBold(true);
        emphasis.setItalic(true);
        write(emphasis, QColor(255, 255, 0));
    }
    const QPixmap icon = list->iconAt(index.row());
    if (!icon.isNull())
        painter->drawPixmap(rect.left() + 4, rect.top() + (rect.height() - icon.height()) / 2, icon);
    painter->restore();
}

QSize NavigationItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return {QStyledItemDelegate::sizeHint(option, index).width(), NavigationList::kItemHeight};
}

NavigationList::NavigationList(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new NavigationItemDelegate(this));
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &QListWidget::itemClicked, this, &NavigationList::itemChosen);
}

void NavigationList::keyPressEvent(QKeyEvent* event)
{
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentRow() >= 0)
        emit itemChosen();
}

} // namespace corvatek::shell
