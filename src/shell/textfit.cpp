#include "shell/textfit.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace corvatek::shell {
namespace {

// The text as the user reads it: no mnemonic marks.
QString readable(QString text)
{
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}


// The siblings a control shares its parent with, but for panels behind it.
template<typename Visit> void forOthers(const QWidget* control, Visit visit)
{
    const QWidget* parent = control->parentWidget();
    if (!parent)
        return;
    for (const QObject* child : parent->children()) {
        const auto* other = qobject_cast<const QWidget*>(child);
        if (other && other != control && !other->isHidden() && !other->geometry().contains(control->geometry()))
            visit(other->geometry());
    }
}

} // namespace

QString captionOf(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->wordWrap() || label->textFormat() == Qt::RichText ? QString() : label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return readable(button->text());
    if (const auto* box = qobject_cast<const QGroupBox*>(control))
        return readable(box->title());
    return {};
}

int neededWidth(const QWidget* control)
{
    const QString text = captionOf(control);
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        // The style's least width for a button is no need of its text.
        const QStyle* style = button->style();
        return button->fontMetrics().horizontalAdvance(text) +
            2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button));
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(control))
        return box->fontMetrics().horizontalAdvance(text) + 16;
    return control->sizeHint().width();
}

int visibleWidth(const QWidget* control)
{
    // What covers the line the text is drawn on: a control that only
    // grazes the top or the bottom hides no letter.
    const QRect own = control->geometry();
    const QRect line(own.left(), own.center().y() - 2, own.width(), 5);
    int visible = own.width();
    forOthers(control, [&](const QRect& other) {
        if (other.intersects(line) && other.left() > own.left())
            visible = std::min(visible, other.left() - own.left());
    });
    return visible;
}

namespace {

// Whether the control may take `wanted` without covering another control
// or leaving its parent.
bool roomFor(const QWidget* control, const QRect& wanted)
{
    const QWidget* parent = control->parentWidget();
    bool free = parent && parent->rect().contains(wanted);
    forOthers(control, [&](const QRect& other) { free = free && !other.intersects(wanted); });
    return free;
}

void fitControl(QWidget* control)
{
    const QString text = captionOf(control);
    if (text.isEmpty())
        return;
    const int needed = neededWidth(control);
    const int visible = visibleWidth(control);
    if (needed <= visible) {
        control->setToolTip(QString());
        return;
    }
    // Right-aligned labels grow to the left, the others to the right.
    const auto* label = qobject_cast<const QLabel*>(control);
    QRect wanted = control->geometry();
    if (label && (label->alignment() & Qt::AlignRight))
        wanted.setLeft(wanted.right() - needed + 1);
    else
        wanted.setWidth(needed);
    if (visible == control->width() && roomFor(control, wanted))
        control->setGeometry(wanted);
    else
        control->setToolTip(text);
}

// Every item of a view shows its whole text as a tooltip, whatever the
// view shows of it, items added later too.
class ItemTips : public QObject {
public:
    explicit ItemTips(QAbstractItemView* view) : QObject(view), view_(view) { view->viewport()->installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip || watched != view_->viewport())
            return false;
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = view_->indexAt(help->pos());
        QString tip = index.data(Qt::ToolTipRole).toString();
        if (tip.isEmpty())
            tip = index.data(Qt::DisplayRole).toString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, view_->viewport());
        return true;
    }

private:
    QAbstractItemView* view_;
};

void tipItems(QAbstractItemView* view)
{
    static const char kTipped[] = "corvatek-item-tips";
    if (!view->property(kTipped).toBool()) {
        new ItemTips(view);
        view->setProperty(kTipped, true);
    }
}

// A choice box shows its choice whole as a tooltip, and its list each item.
void tipChoices(QComboBox* box)
{
    tipItems(box->view());
    const auto tip = [box] { box->setToolTip(box->currentText()); };
    QObject::connect(box, &QComboBox::currentTextChanged, box, tip);
    tip();
}

} // namespace

void fitTexts(QWidget* page)
{
    for (QWidget* control : page->findChildren<QWidget*>()) {
        fitControl(control);
        if (auto* box = qobject_cast<QComboBox*>(control))
            tipChoices(box);
        else if (auto* view = qobject_cast<QAbstractItemView*>(control))
            tipItems(view);
    }
}

} // namespace corvatek::shell
