// The first page and what it does: the download page with the address, a missing file named
// on it, or the player page (or the user's program) with the file.
#include "ui/main/start_values.h"

#include "ui/elements/tree_lock.h"
#include "ui/main/main_window.h"
#include "ui/pages/download_page.h"
#include "ui/pages/player_page.h"

#include <QFileInfo>
#include <QLineEdit>

namespace ui {

void ApplyStartValues(MainWindow& window, const StartValues& values)
{
    pages::DownloadPage& downloads = *window.DownloadPage();
    TreeLockGuard tree(TreeLock());
    if (!values.url.isEmpty()) {
        downloads.UrlField()->setText(values.url);
        window.SwitchPage(MainWindow::kDownloadPage);
        if (values.jobKind != download::JobKind::None)
            window.StartJob(values.jobKind);
    } else if (values.playerFile.startsWith(u'/') && !QFileInfo(values.playerFile).isFile()) {
        // Nothing to play or to hand to a program (a folder, a fifo or a device is no video
        // either): the download page says so, and the window is of use at once.
        window.SwitchPage(MainWindow::kDownloadPage);
        downloads.AddLogText(QStringLiteral("There is no file %1 to play.").arg(values.playerFile));
    } else if (!values.playerFile.isEmpty()) {
        // A file that goes to the user's own program leaves no page current: the window shows
        // the skin and its two window buttons.
        if (window.PlayerPage()->Play(values.playerFile))
            window.SwitchPage(MainWindow::kPlayerPage);
    } else {
        window.SwitchPage(MainWindow::kDownloadPage);
    }
    // The keyboard starts in the URL field, given now that its page shows: left to the window's
    // first activation it would come as a Tab, which selects the address given.
    if (window.CurrentPage() == MainWindow::kDownloadPage)
        downloads.UrlField()->setFocus(Qt::OtherFocusReason);
}

} // namespace ui
