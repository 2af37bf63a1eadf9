#include "shell/navigationlist.h"

#include "shell/navigationlistaccessible.h"

#include <algorithm>

#include <QAccessible>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionComplex>
#include <QToolTip>

namespace corvatek::shell {
namespace {

// Qt's raster engine hands any fill of 96 rows or more to a thread pool, and
// the style fills the scroll bar's groove and handle with gradients: the
// window's first paint would start two threads and wait on them for a strip
// 16 pixels wide. Drawn in bands of fewer rows, each into an image of its own
// (the style sets its own clip, so a clip cannot bound the band), the same
// pixels stay on the window thread.
class BandedScrollBarStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
        const QWidget* widget) const override
    {
        if (control != CC_ScrollBar)
            return QProxyStyle::drawComplexControl(control, option, painter, widget);
        const qreal ratio = painter->device()->devicePixelRatio();
        const int bandRows = std::max(1, int(64 / ratio));
        const QRect area = option->rect;
        for (int top = area.top(); top <= area.bottom(); top += bandRows) {
            const QRect band(area.left(), top, area.width(), std::min(bandRows, area.bottom() + 1 - top));
            QImage image(band.size() * ratio, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::transparent);
            QPainter bandPainter(&image);
            bandPainter.setRenderHints(painter->renderHints());
            bandPainter.translate(-band.topLeft());
            QProxyStyle::drawComplexControl(control, option, &bandPainter, widget);
            bandPainter.end();
            painter->drawImage(band.topLeft(), image);
        }
    }
};

} // namespace

NavigationList::NavigationList(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(kItemHeight);
    // The same style as the rest of the window, in its own instance: a proxy
    // owns the style it wraps.
    auto* scrollBarStyle = new BandedScrollBarStyle(QStyleFactory::create(style()->name()));
    scrollBarStyle->setParent(this);
    verticalScrollBar()->setStyle(scrollBarStyle);
    viewport()->setBackgroundRole(QPalette::Base);
    installNavigationListAccessibility();
}

void NavigationList::clear()
{
    items_.clear();
    current_ = -1;
    updateScrollRange();
    viewport()->update();
}

void NavigationList::addItem(const QString& text)
{
    items_.append(text);
    updateScrollRange();
    viewport()->update();
}

void NavigationList::setCurrentRow(int row)
{
    const int chosen = row >= 0 && row < count() ? row : -1;
    if (chosen == current_)
        return;
    current_ = chosen;
    ensureVisible(current_);
    viewport()->update();
}

QRect NavigationList::itemRect(int row) const
{
    return {0, row * kItemHeight - verticalScrollBar()->value(), viewport()->width(), kItemHeight};
}

int NavigationList::rowAt(QPoint viewportPoint) const
{
    if (viewportPoint.y() < 0)
        return -1;
    const int row = (viewportPoint.y() + verticalScrollBar()->value()) / kItemHeight;
    return row < count() ? row : -1;
}

void NavigationList::drawItem(QPainter& painter, int row, const QRect& rect) const
{
    const QString& text = items_[row];
    // The text's top 2 pixels below the item's, 30 pixels in.
    const auto write = [&](const QFont& font, const QColor& colour) {
        painter.setFont(font);
        painter.setPen(colour);
        painter.drawText(QPoint(rect.left() + 30, rect.top() + 2 + QFontMetrics(font).ascent()), text);
    };
    painter.fillRect(rect, row % 2 == 1 ? QColor(238, 243, 244) : QColor(Qt::white));
    write(font(), palette().color(QPalette::Text));
    if (row == current_) {
        painter.fillRect(rect, QColor(197, 209, 248));
        QFont emphasis = font();
        emphasis.setBold(true);
        emphasis.setItalic(true);
        write(emphasis, QColor(255, 255, 0));
    }
    const QPixmap icon = iconAt(row);
    if (!icon.isNull())
        painter.drawPixmap(rect.left() + 4, rect.top() + (rect.height() - icon.height()) / 2, icon);
}

void NavigationList::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    for (int row = std::max(0, rowAt(dirty.topLeft())); row < count(); ++row) {
        const QRect rect = itemRect(row);
        if (rect.top() > dirty.bottom())
            break;
        drawItem(painter, row, rect);
    }
}

void NavigationList::chooseItem(int row)
{
    if (row < 0 || row >= count())
        return;
    current_ = row;
    ensureVisible(row);
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleEvent selection(this, QAccessible::Selection);
        selection.setChild(row);
        QAccessible::updateAccessibility(&selection);
        if (hasFocus()) {
            QAccessibleEvent focus(this, QAccessible::Focus);
            focus.setChild(row);
            QAccessible::updateAccessibility(&focus);
        }
    }
    emit itemChosen();
}

void NavigationList::mousePressEvent(QMouseEvent* event)
{
    // As a list box does, a press chooses, even the item already chosen.
    const int row = rowAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && row >= 0)
        chooseItem(row);
}

void NavigationList::keyPressEvent(QKeyEvent* event)
{
    if (count() == 0) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int perPage = std::max(1, viewport()->height() / kItemHeight);
    int row = current_;
    switch (event->key()) {
    case Qt::Key_Up: row = current_ < 0 ? 0 : current_ - 1; break;
    case Qt::Key_Down: row = current_ + 1; break;
    case Qt::Key_PageUp: row = current_ - perPage; break;
    case Qt::Key_PageDown: row = current_ + perPage; break;
    case Qt::Key_Home: row = 0; break;
    case Qt::Key_End: row = count() - 1; break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    row = std::clamp(row, 0, count() - 1);
    if (row != current_)
        chooseItem(row);
}

void NavigationList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

bool NavigationList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int row = rowAt(help->pos());
        if (row >= 0)
            QToolTip::showText(help->globalPos(), items_[row], viewport(), itemRect(row));
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void NavigationList::updateScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, count() * kItemHeight - viewport()->height()));
}

void NavigationList::ensureVisible(int row)
{
    if (row < 0)
        return;
    const QRect rect = itemRect(row);
    QScrollBar* bar = verticalScrollBar();
    if (rect.top() < 0)
        bar->setValue(bar->value() + rect.top());
    else if (rect.bottom() >= viewport()->height())
        bar->setValue(bar->value() + rect.bottom() + 1 - viewport()->height());
}

} // namespace corvatek::shell
