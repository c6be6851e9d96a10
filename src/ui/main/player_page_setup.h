// The player page as the main window uses it: a Flash video whose codecs the page's player
// does not read is first copied into a form it does by the carried converter, and what the
// page says goes to the download page's log.
#pragma once

#include <QString>

namespace ui {

class MainWindow;
namespace pages {
class PlayerPage;
}

// A new player page of window (which owns it), whose tools are in workspace; window's download
// page must exist already.
pages::PlayerPage* MakePlayerPage(MainWindow& window, const QString& workspace);

} // namespace ui
