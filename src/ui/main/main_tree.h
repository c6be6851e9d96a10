// The main window's element tree: the skin, the two page panels with their pictures, buttons
// and places for native controls, and the window buttons. Built in one place for the window and
// for the tests that render it.
#pragma once

#include "download/job_kind.h"
#include "ui/controls/button_element.h"
#include "ui/controls/image_element.h"
#include "ui/controls/progress_ring.h"
#include "ui/elements/panel.h"
#include "ui/elements/window_element.h"

#include <QObject>

#include <array>
#include <memory>

namespace ui {

// The picture of the round skin under everything else.
inline constexpr std::uint16_t kMainSkinPicture = 132;
// The status picture beside the log while idle, and while a job runs.
inline constexpr std::uint16_t kIdleStatusPicture = 174;
inline constexpr std::uint16_t kBusyStatusPicture = 178;

// The native controls that window elements place; any may be null (the element then only
// takes its place in the layout).
struct MainTreeWindows {
    QObject* urlField = nullptr;
    QObject* folderField = nullptr;
    QObject* logBox = nullptr;
    QObject* browser = nullptr;
};

// A job button and the kind of job it starts.
struct JobButton {
    download::JobKind kind = download::JobKind::None;
    std::shared_ptr<ButtonElement> button;
};

// The tree, with the elements that the window changes later kept at hand. The root owns them.
struct MainTree {
    std::shared_ptr<GridPanel> root;
    std::shared_ptr<GridPanel> skin;
    std::shared_ptr<CanvasPanel> downloadPanel; // shown for the download page
    std::shared_ptr<CanvasPanel> playerPanel;   // shown for the player page
    std::shared_ptr<WindowElement> urlWindow, folderWindow, logWindow, browserWindow;
    std::shared_ptr<CheckboxElement> playAfterDownload;
    std::shared_ptr<ImageElement> statusImage;
    std::shared_ptr<ProgressRing> progressRing; // around the logo's mark; hidden while idle
    std::array<JobButton, download::kJobKinds.size()> jobButtons; // in the table's order
    // The stop button takes the close button's place while a job runs.
    std::shared_ptr<ButtonElement> folderButton, back, minimise, close, stop;
};

// Builds the tree; its buttons carry no command yet (the window gives them theirs). Both page
// panels, the progress ring and the stop button start hidden. GUI thread (window handles are
// tracked there).
MainTree BuildMainTree(const MainTreeWindows& windows);

// Decodes every picture of the tree into the picture cache, where BuildMainTree then finds
// them; any thread, also while the application is being made.
void PreloadMainTreePictures();

} // namespace ui
