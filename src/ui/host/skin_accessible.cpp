// Screen readers reach the skin through Qt's accessibility interfaces: the window's own lists its
// named elements after its child widgets, and each element's answers from the tree, read under
// the tree lock. Qt's accessibility cache owns every interface made here; an element's is
// made on first use and deleted with the window's.
#include "ui/host/skin_accessible.h"

#include "ui/controls/button_element.h"
#include "ui/controls/progress_ring.h"
#include "ui/elements/panel.h"
#include "ui/elements/tree_lock.h"
#include "ui/host/skin_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace ui {
namespace {

// Every element under e with an accessible name, depth first in drawing order. Tree lock held.
void CollectNamed(const std::shared_ptr<LayoutElement>& e,
                  std::vector<std::shared_ptr<LayoutElement>>& named)
{
    if (!e)
        return;
    if (!e->AccessibleName().isEmpty())
        named.push_back(e);
    if (const auto* panel = dynamic_cast<const Panel*>(e.get()))
        for (const std::shared_ptr<LayoutElement>& child : panel->Children())
            CollectNamed(child, named);
}

class ElementAccessible : public QAccessibleInterface,
                          public QAccessibleActionInterface,
                          public QAccessibleValueInterface {
public:
    ElementAccessible(SkinWindow* window, const std::shared_ptr<LayoutElement>& element)
        : m_window(window), m_element(element)
    {
    }

    bool isValid() const override { return m_window && !m_element.expired(); }
    // None: an element is no QObject, and the cache keys objects to their widget's interface.
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_window ? m_window->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_window.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        TreeLockGuard tree(TreeLock());
        const std::shared_ptr<LayoutElement> e = m_element.lock();
        if (!e)
            return {};
        if (t == QAccessible::Name)
            return e->AccessibleName();
        if (t == QAccessible::Value && dynamic_cast<const ProgressRing*>(e.get()))
            return QStringLiteral("%1%").arg(currentValue().toInt());
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        TreeLockGuard tree(TreeLock());
        const std::shared_ptr<LayoutElement> e = m_element.lock();
        if (!e || !m_window || !IsShownUnder(e.get(), m_window->Root().get()))
            return {};
        const Rect r = e->ActualRect();
        return {m_window->mapToGlobal(QPoint(r.x, r.y)), QSize(r.width, r.height)};
    }

    QAccessible::Role role() const override
    {
        const std::shared_ptr<LayoutElement> e = m_element.lock();
        if (dynamic_cast<const CheckboxElement*>(e.get()))
            return QAccessible::CheckBox;
        if (dynamic_cast<const ButtonElement*>(e.get()))
            return QAccessible::Button;
        if (dynamic_cast<const ProgressRing*>(e.get()))
            return QAccessible::ProgressBar;
        return QAccessible::Graphic;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        TreeLockGuard tree(TreeLock());
        const std::shared_ptr<LayoutElement> e = m_element.lock();
        if (!e || !m_window)
            return state;
        const std::shared_ptr<LayoutElement> root = m_window->Root();
        state.invisible = !IsShownUnder(e.get(), root.get());
        state.disabled = !IsShownUnder(e.get(), root.get(), true);
        if (dynamic_cast<const ButtonElement*>(e.get())) {
            state.focusable = true;
            state.focused = m_window->hasFocus() && m_window->FocusedElement() == e;
        }
        if (const auto* box = dynamic_cast<const CheckboxElement*>(e.get())) {
            state.checkable = true;
            state.checked = box->IsChecked();
        }
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        const std::shared_ptr<LayoutElement> e = m_element.lock();
        if (t == QAccessible::ActionInterface && dynamic_cast<const ButtonElement*>(e.get()))
            return static_cast<QAccessibleActionInterface*>(this);
        if (t == QAccessible::ValueInterface && dynamic_cast<const ProgressRing*>(e.get()))
            return static_cast<QAccessibleValueInterface*>(this);
        return nullptr;
    }

    QStringList actionNames() const override
    {
        if (role() == QAccessible::CheckBox)
            return {toggleAction()};
        return {pressAction()};
    }
    // The click's own press: the command is posted to the window and runs after this returns.
    void doAction(const QString& name) override
    {
        if (!actionNames().contains(name) || !m_window)
            return;
        const std::shared_ptr<LayoutElement> e = m_element.lock();
        {
            TreeLockGuard tree(TreeLock());
            auto* button = dynamic_cast<ButtonElement*>(e.get());
            if (button && IsShownUnder(button, m_window->Root().get(), true))
                button->Press();
        }
        NotifyElementChanged(m_window, e);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // Percent; the turning segment (a conversion) counts as a range of 0 to 0, as an endless
    // progress bar does.
    QVariant currentValue() const override
    {
        TreeLockGuard tree(TreeLock());
        const std::shared_ptr<LayoutElement> e = m_element.lock();
        const auto* ring = dynamic_cast<const ProgressRing*>(e.get());
        return ring ? std::max(ring->Progress(), 0) * 100 / ProgressRing::kFull : 0;
    }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override
    {
        TreeLockGuard tree(TreeLock());
        const std::shared_ptr<LayoutElement> e = m_element.lock();
        const auto* ring = dynamic_cast<const ProgressRing*>(e.get());
        return ring && ring->Progress() == ProgressRing::kIndeterminate ? 0 : 100;
    }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    QPointer<SkinWindow> m_window;
    std::weak_ptr<LayoutElement> m_element;
};

class SkinAccessible : public QAccessibleWidget {
public:
    explicit SkinAccessible(SkinWindow* window)
        : QAccessibleWidget(window, QAccessible::Dialog), m_window(window)
    {
    }

    // The element's interface, made on first use.
    QAccessibleInterface* InterfaceOf(const std::shared_ptr<LayoutElement>& e) const
    {
        const auto found = m_elements.find(e->Id());
        if (found != m_elements.end())
            if (QAccessibleInterface* made = QAccessible::accessibleInterface(found->second))
                return made;
        // Owned by Qt's cache from here on; the destructor below gives it back.
        auto* made = new ElementAccessible(m_window, e);
        m_elements[e->Id()] = QAccessible::registerAccessibleInterface(made);
        return made;
    }

    int childCount() const override
    {
        return QAccessibleWidget::childCount() + static_cast<int>(Named().size());
    }

    QAccessibleInterface* child(int index) const override
    {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets)
            return QAccessibleWidget::child(index);
        const std::vector<std::shared_ptr<LayoutElement>> named = Named();
        const auto at = static_cast<std::size_t>(index - widgets);
        return at < named.size() ? InterfaceOf(named[at]) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!dynamic_cast<const ElementAccessible*>(child))
            return QAccessibleWidget::indexOfChild(child);
        const std::vector<std::shared_ptr<LayoutElement>> named = Named();
        for (std::size_t i = 0; i < named.size(); ++i)
            if (InterfaceOf(named[i]) == child)
                return QAccessibleWidget::childCount() + static_cast<int>(i);
        return -1;
    }

    // The native controls lie over the skin, so they answer first; then the topmost element.
    QAccessibleInterface* childAt(int x, int y) const override
    {
        if (QAccessibleInterface* widget = QAccessibleWidget::childAt(x, y))
            return widget;
        const std::vector<std::shared_ptr<LayoutElement>> named = Named();
        for (auto it = named.rbegin(); it != named.rend(); ++it) {
            QAccessibleInterface* element = InterfaceOf(*it);
            if (element->rect().contains(x, y))
                return element;
        }
        return nullptr;
    }

    QAccessibleInterface* focusChild() const override
    {
        if (m_window && m_window->hasFocus())
            if (const std::shared_ptr<LayoutElement> focused = m_window->FocusedElement())
                if (!focused->AccessibleName().isEmpty())
                    return InterfaceOf(focused);
        return QAccessibleWidget::focusChild();
    }

protected:
    ~SkinAccessible() override
    {
        for (const auto& [element, id] : m_elements)
            QAccessible::deleteAccessibleInterface(id);
    }

private:
    std::vector<std::shared_ptr<LayoutElement>> Named() const
    {
        std::vector<std::shared_ptr<LayoutElement>> named;
        if (!m_window)
            return named;
        TreeLockGuard tree(TreeLock());
        CollectNamed(m_window->Root(), named);
        return named;
    }

    QPointer<SkinWindow> m_window;
    mutable std::map<std::uint32_t, QAccessible::Id> m_elements; // element Id to interface
};

QAccessibleInterface* SkinFactory(const QString&, QObject* object)
{
    if (auto* window = dynamic_cast<SkinWindow*>(object))
        return new SkinAccessible(window); // owned by Qt's cache, which deletes it with window
    return nullptr;
}

// The interface of e, a named element of window's tree; null while no screen reader listens,
// so none is made for nothing.
QAccessibleInterface* ListenedInterface(SkinWindow* window, const std::shared_ptr<LayoutElement>& e)
{
    if (!QAccessible::isActive() || !e || !window)
        return nullptr;
    {
        TreeLockGuard tree(TreeLock());
        if (e->AccessibleName().isEmpty())
            return nullptr;
    }
    auto* skin = dynamic_cast<SkinAccessible*>(QAccessible::queryAccessibleInterface(window));
    return skin ? skin->InterfaceOf(e) : nullptr;
}

} // namespace

void InstallSkinAccessibility()
{
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(&SkinFactory);
        return true;
    }();
}

void NotifyElementFocus(SkinWindow* window, const std::shared_ptr<LayoutElement>& e)
{
    if (QAccessibleInterface* element = ListenedInterface(window, e)) {
        QAccessibleEvent event(element, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void NotifyElementChanged(SkinWindow* window, const std::shared_ptr<LayoutElement>& e)
{
    QAccessibleInterface* element = ListenedInterface(window, e);
    if (!element)
        return;
    if (element->role() == QAccessible::CheckBox) {
        QAccessible::State checked;
        checked.checked = true;
        QAccessibleStateChangeEvent event(element, checked);
        QAccessible::updateAccessibility(&event);
    } else if (QAccessibleValueInterface* value = element->valueInterface()) {
        QAccessibleValueChangeEvent event(element, value->currentValue());
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace ui
