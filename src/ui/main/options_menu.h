// The window's options for the jobs it starts (quality, subtitles, the browser to take cookies
// from): a context menu of three lists of exclusive choices, read from the user's settings and
// written back when one is chosen. It opens where the window is right-clicked, or in its middle
// for the Menu key; nothing of it is drawn on the skin.
#pragma once

#include "download/job_options.h"
#include "settings/settings_store.h"

#include <QMenu>

#include <array>
#include <optional>

namespace ui {

class OptionsMenu : public QMenu {
public:
    // key: the settings to read and write; without one the choices last as long as the window.
    OptionsMenu(std::optional<settings::SettingsKey> key, QWidget* window);

    // The choices for the next job.
    const download::JobOptions& Current() const { return m_options; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <typename T, std::size_t N>
    void AddList(const QString& title, const std::array<download::Choice<T>, N>& list,
                 const QString& name, T download::JobOptions::*member);

    std::optional<settings::SettingsKey> m_key;
    download::JobOptions m_options;
};

} // namespace ui
