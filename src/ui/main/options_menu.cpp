// The options menu: one submenu per option, its choices checkable and exclusive, the stored word
// of each read once and written at every choice.
#include "ui/main/options_menu.h"

#include <QActionGroup>
#include <QContextMenuEvent>

namespace ui {

namespace {

QString Text(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

} // namespace

OptionsMenu::OptionsMenu(std::optional<settings::SettingsKey> key, QWidget* window)
    : QMenu(window), m_key(std::move(key))
{
    AddList(QStringLiteral("Quality"), download::kQualities, settings::names::kQuality,
            &download::JobOptions::quality);
    AddList(QStringLiteral("Subtitles"), download::kSubtitleChoices, settings::names::kSubtitles,
            &download::JobOptions::subtitles);
    AddList(QStringLiteral("Cookies from"), download::kCookieSources, settings::names::kCookiesFrom,
            &download::JobOptions::cookies);
    window->installEventFilter(this);
}

template <typename T, std::size_t N>
void OptionsMenu::AddList(const QString& title, const std::array<download::Choice<T>, N>& list,
                          const QString& name, T download::JobOptions::*member)
{
    // A word of no row (a hand-edited file, a newer version's) leaves the default.
    if (m_key) {
        if (const std::optional<QString> word = settings::ReadStringValue(*m_key, name)) {
            if (const std::optional<T> value = download::ChoiceOfWord(list, *word))
                m_options.*member = *value;
        }
    }
    QMenu* submenu = addMenu(title);
    auto* group = new QActionGroup(submenu);
    for (const download::Choice<T>& choice : list) {
        QAction* action = submenu->addAction(Text(choice.label));
        action->setCheckable(true);
        action->setChecked(choice.value == m_options.*member);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, member, name, value = choice.value, word = Text(choice.word)] {
                    m_options.*member = value;
                    if (m_key)
                        settings::WriteStringValue(*m_key, name, word);
                });
    }
}

bool OptionsMenu::eventFilter(QObject* watched, QEvent* event)
{
    QWidget* window = parentWidget();
    if (watched != window || event->type() != QEvent::ContextMenu)
        return QMenu::eventFilter(watched, event);
    const auto* request = static_cast<QContextMenuEvent*>(event);
    // The Menu key has no place of its own on a round window: its middle.
    popup(request->reason() == QContextMenuEvent::Keyboard
              ? window->mapToGlobal(window->rect().center())
              : request->globalPos());
    return true;
}

} // namespace ui
