// The owner-drawn navigation list.
#pragma once

#include <QAbstractScrollArea>
#include <QPixmap>
#include <QStringList>

namespace corvatek::shell {

// A plain list box drawn by hand. An item view with its model, selection
// model and delegate costs the window about a megabyte and some of its
// start-up for 22 fixed rows; this draws the same rows on a scroll area, and
// navigationlistaccessible.cpp shows them to assistive tools.
class NavigationList : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kItemHeight = 18;

    explicit NavigationList(QWidget* parent = nullptr);

    void clear();
    void addItem(const QString& text);
    int count() const { return int(items_.size()); }
    QString text(int row) const { return items_.value(row); }
    // -1 when no item is selected. Setting it does not count as a choice.
    int currentRow() const { return current_; }
    void setCurrentRow(int row);
    // The item's rectangle in the viewport, scrolled as shown.
    QRect itemRect(int row) const;
    int rowAt(QPoint viewportPoint) const;
    // Selects the item and reports the choice, as a click on it would.
    void chooseItem(int row);

    // Icon n belongs to item n.
    void setIcons(QList<QPixmap> icons) { icons_ = std::move(icons); }
    QPixmap iconAt(int index) const { return icons_.value(index); }

signals:
    // An item was clicked, or the keyboard moved the selection to one.
    void itemChosen();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // Alternating fills, the text 30 pixels in, the selected
    // item in yellow bold italic on light blue, and the item's 16 x 16 icon.
    void drawItem(QPainter& painter, int row, const QRect& rect) const;
    void updateScrollRange();
    void ensureVisible(int row);

    QStringList items_;
    QList<QPixmap> icons_;
    int current_ = -1;
};

} // namespace corvatek::shell
