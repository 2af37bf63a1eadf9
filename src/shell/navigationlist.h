// ListBox1: the owner-drawn navigation list.
#pragma once

#include <QListWidget>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace corvatek::shell {

// Draws an item: alternating fills, the text 30 pixels in, the selected item
// in yellow bold italic on light blue, and the item's 16 x 16 icon.
class NavigationItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class NavigationList : public QListWidget {
    Q_OBJECT
public:
    static constexpr int kItemHeight = 18;

    explicit NavigationList(QWidget* parent = nullptr);
    // Icon n belongs to item n.
    void setIcons(QList<QPixmap> icons) { icons_ = std::move(icons); }
    QPixmap iconAt(int index) const { return icons_.value(index); }

signals:
    // An item was clicked, or the keyboard moved the selection to one.
    void itemChosen();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QList<QPixmap> icons_;
};

} // namespace corvatek::shell
