// The keyboard on the main window: Tab and Shift+Tab go round its fields and skin buttons, Space
// and Return press the skin button it is on, and Return in the URL field presses the job button
// pressed last (kept in the settings).
#pragma once

#include "download/job_kind.h"
#include "settings/settings_store.h"

#include <QObject>
#include <QPointer>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace ui {

class ButtonElement;
class LayoutElement;
class SkinWindow;
struct MainTree;
namespace pages {
class DownloadPage;
}

class KeyboardFocus : public QObject {
public:
    // Goes round window's tree and page (both built); puts the keyboard into the URL field. key
    // may be null (the last job button is then not kept between runs); it is copied. The owner
    // destroys it while window is whole.
    KeyboardFocus(SkinWindow& window, const MainTree& tree, pages::DownloadPage& page,
                  const settings::SettingsKey* key);

    // Notes the job button of kind as the one pressed last.
    void RememberJob(download::JobKind kind);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // A place Tab stops at: a native control, or skin elements that take turns in one spot. A
    // control's elements are what the skin rings while it has the focus (none: it shows its
    // own).
    struct Stop {
        QPointer<QWidget> widget;
        std::vector<std::weak_ptr<LayoutElement>> elements;
    };

    // Tab (next) or Shift+Tab from wherever the focus is; false when no place can take it.
    bool Move(bool next);
    bool Usable(const Stop& stop) const;
    std::optional<std::size_t> Current() const;
    void FocusOn(std::size_t index);
    // Space or Return on the skin: the press of the element the keyboard is on.
    bool PressFocused();
    void PressLastJob();

    SkinWindow& m_window;
    std::weak_ptr<LayoutElement> m_root;
    std::vector<Stop> m_stops;
    std::optional<std::size_t> m_onSkin; // the stop the keyboard is on while the window has it
    std::vector<std::pair<download::JobKind, std::weak_ptr<ButtonElement>>> m_jobButtons;
    std::optional<settings::SettingsKey> m_settingsKey;
    download::JobKind m_lastJob = download::JobKind::Download;
    bool m_toStopWhenDisabled = false; // Return in the URL field is starting a job
};

} // namespace ui
