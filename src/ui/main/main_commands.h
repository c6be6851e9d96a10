// The commands of the main window's buttons: each button of the tree gets the call it runs on
// the window's thread when pressed.
#pragma once

#include "download/job_kind.h"

#include <functional>

namespace ui {

class MainWindow;
struct MainTree;

// Gives tree's buttons their commands on window (which owns the tree). A job button's command
// tells onJobPressed its kind first.
void WireCommands(MainWindow& window, const MainTree& tree,
                  std::function<void(download::JobKind)> onJobPressed = {});

} // namespace ui
