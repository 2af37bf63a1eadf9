#include "shell/navigationlistaccessible.h"

#include "shell/navigationlist.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QScrollBar>

namespace corvatek::shell {
namespace {

class ItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ItemAccessible(NavigationList* list, int row) : list_(list), row_(row) { }

    bool isValid() const override { return list_ && row_ < list_->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(list_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name && isValid() ? list_->text(row_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect item = list_->itemRect(row_);
        return {list_->viewport()->mapToGlobal(item.topLeft()), item.size()};
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.selectable = true;
        state.focusable = true;
        if (!isValid())
            return state;
        state.selected = list_->currentRow() == row_;
        state.focused = state.selected && list_->hasFocus();
        state.invisible = !list_->viewport()->rect().intersects(list_->itemRect(row_));
        state.offscreen = state.invisible;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && isValid())
            list_->chooseItem(row_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<NavigationList> list_;
    const int row_;
};

class ListAccessible : public QAccessibleWidget {
public:
    explicit ListAccessible(NavigationList* list) : QAccessibleWidget(list, QAccessible::List) { }
    ~ListAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(items_))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return list()->count(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        auto found = items_.constFind(index);
        if (found == items_.cend())
            found = items_.insert(index, QAccessible::registerAccessibleInterface(new ItemAccessible(list(), index)));
        return QAccessible::accessibleInterface(*found);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (auto it = items_.cbegin(); it != items_.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint point = list()->viewport()->mapFromGlobal(QPoint(x, y));
        return list()->viewport()->rect().contains(point) ? child(list()->rowAt(point)) : nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        return list()->hasFocus() ? child(list()->currentRow()) : nullptr;
    }

private:
    NavigationList* list() const { return static_cast<NavigationList*>(widget()); }

    mutable QHash<int, QAccessible::Id> items_;
};

QAccessibleInterface* createAccessible(const QString& className, QObject* object)
{
    auto* list = qobject_cast<NavigationList*>(object);
    if (list && className == QLatin1String(NavigationList::staticMetaObject.className()))
        return new ListAccessible(list);
    return nullptr;
}

} // namespace

void installNavigationListAccessibility()
{
    static const bool installed = (QAccessible::installFactory(createAccessible), true);
    Q_UNUSED(installed);
}

} // namespace corvatek::shell
