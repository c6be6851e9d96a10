// The round window's keyboard order follows the eye from the fields down to the job buttons, then
// the window's own buttons. Native fields keep Qt's focus; on the skin the window holds it and
// the host rings the element. Presses go through the elements, so they run a click's command.
#include "ui/main/keyboard_focus.h"

#include "ui/controls/button_element.h"
#include "ui/elements/tree_lock.h"
#include "ui/host/skin_accessible.h"
#include "ui/host/skin_window.h"
#include "ui/main/main_tree.h"
#include "ui/pages/download_page.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>
#include <utility>

namespace ui {
namespace {

std::vector<std::weak_ptr<LayoutElement>>
Place(std::initializer_list<std::shared_ptr<LayoutElement>> elements)
{
    return {elements.begin(), elements.end()};
}

QString OptionWord(const download::JobKindRow& row)
{
    return QString::fromUtf16(row.option.data(), static_cast<qsizetype>(row.option.size()));
}

// Space, Return and Enter without a modifier (the keypad's Enter carries its own).
bool IsPressKey(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::NoModifier &&
           (key.key() == Qt::Key_Space || key.key() == Qt::Key_Return ||
            key.key() == Qt::Key_Enter);
}

} // namespace

KeyboardFocus::KeyboardFocus(SkinWindow& window, const MainTree& tree, pages::DownloadPage& page,
                             const settings::SettingsKey* key)
    : m_window(window), m_root(tree.root),
      m_settingsKey(key ? std::optional<settings::SettingsKey>(*key) : std::nullopt)
{
    m_stops.push_back({page.UrlField(), {}});
    m_stops.push_back({page.FolderField(), {}});
    m_stops.push_back({nullptr, Place({tree.folderButton})});
    m_stops.push_back({nullptr, Place({tree.playAfterDownload})});
    for (const JobButton& job : tree.jobButtons) {
        m_stops.push_back({nullptr, Place({job.button})});
        m_jobButtons.emplace_back(job.kind, job.button);
    }
    // The log takes the keyboard so that Ctrl+C copies it and a screen reader reads it; it shows
    // no focus of its own, so the skin rings its place.
    m_stops.push_back({page.LogBox(), Place({tree.logWindow})});
    m_stops.push_back({nullptr, Place({tree.back})});
    m_stops.push_back({nullptr, Place({tree.minimise})});
    // The stop button takes the close button's place during a job.
    m_stops.push_back({nullptr, Place({tree.stop, tree.close})});

    if (m_settingsKey)
        if (const std::optional<QString> last =
                settings::ReadStringValue(*m_settingsKey, settings::names::kLastJobButton))
            for (const download::JobKindRow& row : download::kJobKinds)
                if (OptionWord(row) == *last)
                    m_lastJob = row.kind;

    m_window.SetTabHandler([keys = QPointer(this)](bool next) { return keys && keys->Move(next); });
    m_window.installEventFilter(this);
    page.UrlField()->installEventFilter(this);
    // A control of the window taking the focus (a click into a field) takes it off the skin; a
    // dialog over the window (the folder chooser) leaves it where it is.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        const bool handOver = std::exchange(m_toStopWhenDisabled, false);
        // Qt drops the focus of a field that a job disables; after Return there it goes on to
        // the stop button, so the keyboard can end the job it started.
        if (!now && handOver && old && !old->isEnabled())
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!QApplication::focusWidget() && Usable(m_stops.back()))
                        FocusOn(m_stops.size() - 1);
                },
                Qt::QueuedConnection);
        if (!now || now == &m_window || now->window() != &m_window)
            return;
        m_onSkin.reset();
        const auto stop = std::find_if(m_stops.begin(), m_stops.end(),
                                       [now](const Stop& s) { return s.widget == now; });
        m_window.SetKeyboardFocus(stop == m_stops.end() ? Place({}) : stop->elements);
    });
}

void KeyboardFocus::RememberJob(download::JobKind kind)
{
    m_lastJob = kind;
    const download::JobKindRow* row = download::FindJobKind(kind);
    if (m_settingsKey && row)
        settings::WriteStringValue(*m_settingsKey, settings::names::kLastJobButton,
                                   OptionWord(*row));
}

bool KeyboardFocus::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() != QEvent::KeyPress || !IsPressKey(*static_cast<QKeyEvent*>(e)))
        return false;
    const auto* key = static_cast<QKeyEvent*>(e);
    if (watched == &m_window && m_onSkin)
        return key->isAutoRepeat() || PressFocused();
    if (watched != &m_window && key->key() != Qt::Key_Space) {
        PressLastJob();
        return true;
    }
    return false;
}

std::optional<std::size_t> KeyboardFocus::Current() const
{
    const QWidget* focus = QApplication::focusWidget();
    if (focus == &m_window)
        return m_onSkin;
    for (std::size_t i = 0; i < m_stops.size(); ++i)
        if (m_stops[i].widget && m_stops[i].widget == focus)
            return i;
    return std::nullopt;
}

bool KeyboardFocus::Usable(const Stop& stop) const
{
    if (stop.widget)
        return stop.widget->isVisibleTo(&m_window) && stop.widget->isEnabledTo(&m_window);
    TreeLockGuard tree(TreeLock());
    const std::shared_ptr<LayoutElement> root = m_root.lock();
    for (const std::weak_ptr<LayoutElement>& candidate : stop.elements)
        if (const std::shared_ptr<LayoutElement> e = candidate.lock();
            e && IsShownUnder(e.get(), root.get(), true))
            return true;
    return false;
}

bool KeyboardFocus::Move(bool next)
{
    const std::size_t count = m_stops.size();
    const std::optional<std::size_t> current = Current();
    // Qt asks too when the control with the focus is being hidden (the page changes): the focus
    // then leaves it for no place in particular, and no ring shows until a key asks for one.
    if (current && m_stops[*current].widget && !Usable(m_stops[*current])) {
        m_stops[*current].widget->clearFocus();
        return true;
    }
    const std::size_t from = current.value_or(next ? count - 1 : 0);
    for (std::size_t step = 1; step <= count; ++step) {
        const std::size_t i = next ? (from + step) % count : (from + count - step) % count;
        if (Usable(m_stops[i])) {
            FocusOn(i);
            return true;
        }
    }
    return false;
}

void KeyboardFocus::FocusOn(std::size_t index)
{
    const Stop& stop = m_stops[index];
    if (stop.widget) {
        stop.widget->setFocus(Qt::TabFocusReason);
        return;
    }
    m_onSkin = index;
    if (!m_window.hasFocus())
        m_window.setFocus(Qt::TabFocusReason);
    m_window.SetKeyboardFocus(stop.elements);
}

bool KeyboardFocus::PressFocused()
{
    std::shared_ptr<LayoutElement> pressed;
    {
        TreeLockGuard tree(TreeLock());
        const std::shared_ptr<LayoutElement> root = m_root.lock();
        for (const std::weak_ptr<LayoutElement>& candidate : m_stops[*m_onSkin].elements) {
            const std::shared_ptr<LayoutElement> e = candidate.lock();
            if (e && IsShownUnder(e.get(), root.get(), true)) {
                if (auto* button = dynamic_cast<ButtonElement*>(e.get()))
                    button->Press();
                pressed = e;
                break;
            }
        }
    }
    // The checkbox's new state is heard at once.
    NotifyElementChanged(&m_window, pressed);
    return true;
}

void KeyboardFocus::PressLastJob()
{
    m_toStopWhenDisabled = true;
    TreeLockGuard tree(TreeLock());
    const std::shared_ptr<LayoutElement> root = m_root.lock();
    for (const auto& [kind, weak] : m_jobButtons) {
        const std::shared_ptr<ButtonElement> button = weak.lock();
        if (kind == m_lastJob && button && IsShownUnder(button.get(), root.get(), true))
            button->Press();
    }
}

} // namespace ui
