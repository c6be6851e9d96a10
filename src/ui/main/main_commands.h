// The commands of the main window's buttons: each button of the tree gets the call it runs on
// the window's thread when pressed.
#pragma once

namespace ui {

class MainWindow;
struct MainTree;

// Gives tree's buttons their commands on window (which owns the tree).
void WireCommands(MainWindow& window, const MainTree& tree);

} // namespace ui
