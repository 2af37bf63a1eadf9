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
    QFont font = option.font;
    painter->save();
    painter->fillRect(rect, index.row() % 2 == 1 ? QColor(238, 243, 244) : QColor(Qt::white));
    const QPoint textOrigin(rect.left() + 30, rect.top() + 2);
    const QRect textRect(textOrigin, QSize(rect.width() - 30, rect.height() - 2));
    painter->setPen(option.palette.color(QPalette::Text));
    painter->setFont(font);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(rect, QColor(197, 209, 248));
        font.setBold(true);
        font.setItalic(true);
        painter->setFont(font);
        painter->setPen(QColor(255, 255, 0));
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
    const QIcon icon = list->iconAt(index.row());
    if (!icon.isNull())
        icon.paint(painter, QRect(rect.left() + 4, rect.top() + (rect.height() - 16) / 2, 16, 16));
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
